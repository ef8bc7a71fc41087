#include "web/url_parts.h"
