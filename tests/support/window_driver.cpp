#include "tests/support/window_driver.h"
