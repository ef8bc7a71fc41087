#include "text/text_ops.h"
