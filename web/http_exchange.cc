#include "web/http_exchange.h"
