#include "search/site_search.h"
