// The disk queries of the test build: tests under Wine, where a drive letter has no disk, name
// the disks in QUILLMERE_TEST_PHYSICAL_DRIVE, the partition starts in
// QUILLMERE_TEST_PARTITION_START, the file standing for disk N in QUILLMERE_TEST_DISK_<N> and
// the disk of Windows' system partition, which Wine lacks, in
// QUILLMERE_TEST_SYSTEM_PARTITION_DISK. Linked only into quillmere-testdisk.exe.
#include "sys/physical_drive.h"
#include "sys/system_partition.h"
#include "sys/test_disk_number.h"

VolumeLocation GetVolumeLocation(wchar_t driveLetter) {
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    const wchar_t windowsLetter = windowsLength >= 2 && windows[1] == L':' ? windows[0] : L'\0';
    VolumeLocation location;
    location.disk =
        TestDiskNumber(TestVariable(L"QUILLMERE_TEST_PHYSICAL_DRIVE"), driveLetter, windowsLetter);
    if (location.disk >= 0) {
        location.startSector =
            TestPartitionStart(TestVariable(L"QUILLMERE_TEST_PARTITION_START"), driveLetter);
    }
    return location;
}

int GetPhysicalDriveNumber(wchar_t driveLetter) {
    return GetVolumeLocation(driveLetter).disk;
}

std::wstring PhysicalDrivePath(int disk) {
    return disk < 0 ? std::wstring()
                    : TestVariable(L"QUILLMERE_TEST_DISK_" + std::to_wstring(disk));
}

// A disk image has the sectors of the disks the program supports.
unsigned long DiskSectorBytes(const std::wstring& diskPath) {
    return GetFileAttributesW(diskPath.c_str()) == INVALID_FILE_ATTRIBUTES ? 0 : 512;
}

// QUILLMERE_TEST_STOP_AT names the point at which the program ends at once, as a forced
// shutdown or a pulled plug would end it.
void AtTestStopPoint(const wchar_t* point) {
    if (TestVariable(L"QUILLMERE_TEST_STOP_AT") == point) {
        TerminateProcess(GetCurrentProcess(), 99);
    }
}

int SystemPartitionDiskNumber() {
    return ParseTestDiskNumber(TestVariable(L"QUILLMERE_TEST_SYSTEM_PARTITION_DISK"));
}
