#include "web/transport.h"
