#include "sys/physical_drive.h"
int GetPhysicalDriveNumber(wchar_t) { return -1; } // PLACEHOLDER
