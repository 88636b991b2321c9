#include "tests/support/sim_drive.h"
