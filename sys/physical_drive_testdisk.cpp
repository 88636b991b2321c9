// The disk query of the test build: tests under Wine, where a drive letter has no disk, name the
// disks in QUILLMERE_TEST_PHYSICAL_DRIVE. Linked only into quillmere-testdisk.exe.
#include "sys/physical_drive.h"
#include "sys/test_disk_number.h"

int GetPhysicalDriveNumber(wchar_t driveLetter) {
    const DWORD needed = GetEnvironmentVariableW(L"QUILLMERE_TEST_PHYSICAL_DRIVE", nullptr, 0);
    if (needed == 0) {
        return -1;
    }
    std::wstring value(needed, L'\0');
    const DWORD length =
        GetEnvironmentVariableW(L"QUILLMERE_TEST_PHYSICAL_DRIVE", &value[0], needed);
    if (length == 0 || length >= needed) {
        return -1;
    }
    value.resize(length);
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    const wchar_t windowsLetter = windowsLength >= 2 && windows[1] == L':' ? windows[0] : L'\0';
    return TestDiskNumber(value, driveLetter, windowsLetter);
}
