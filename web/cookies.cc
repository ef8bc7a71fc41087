#include "web/cookies.h"
