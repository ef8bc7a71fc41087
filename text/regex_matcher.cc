#include "text/regex_matcher.h"
