#include "search/result_details.h"
