#include "search/site_table.h"
