// The system partition's disk in the test build: tests under Wine, which has no such partition,
// name it in QUILLMERE_TEST_SYSTEM_PARTITION_DISK. Linked only into quillmere-testdisk.exe.
#include <windows.h>

#include "sys/system_partition.h"
#include "sys/test_disk_number.h"

int SystemPartitionDiskNumber() {
    wchar_t value[32] = {};
    const DWORD length =
        GetEnvironmentVariableW(L"QUILLMERE_TEST_SYSTEM_PARTITION_DISK", value, 32);
    if (length == 0 || length >= 32) {
        return -1;
    }
    return ParseTestDiskNumber(std::wstring(value, length));
}
