#include "text/code_page.h"
