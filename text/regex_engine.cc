#include "text/regex_engine.h"
