// The child runs the program's own services, not copies of them; helpers link only the system
// libraries, so their sources are compiled in here.
#include "sys/debug_log.cpp"
#include "sys/file_utils.cpp"
#include "sys/physical_drive_testdisk.cpp"
