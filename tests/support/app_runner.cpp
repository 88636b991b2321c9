#include "tests/support/app_runner.h"
