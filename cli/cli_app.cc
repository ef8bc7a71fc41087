#include "cli/table_port.h"
