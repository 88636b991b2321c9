#include "sys/physical_drive.h"

#include <climits>
#include <string>

#include "sys/handles.h"

static_assert(sizeof(DiskExtentsAnswer) == 416, "the count and 17 extents");

int DiskNumberFromExtents(bool succeeded, DWORD bytesReturned, const DiskExtentsAnswer& answer) {
    if (!succeeded || bytesReturned < sizeof(VOLUME_DISK_EXTENTS) ||
        answer.head.NumberOfDiskExtents == 0) {
        return -1;
    }
    const DWORD disk = answer.head.Extents[0].DiskNumber;
    return disk > static_cast<DWORD>(INT_MAX) ? -1 : static_cast<int>(disk);
}

int GetPhysicalDriveNumber(wchar_t driveLetter) {
    return DiskNumberOfVolume(std::wstring(L"\\\\.\\") + driveLetter + L':');
}

int DiskNumberOfVolume(const std::wstring& device) {
    // A query-only handle needs no rights on the volume; reading is the fallback for systems
    // that refuse it.
    FileHandle volume(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!volume.Valid()) {
        volume.Reset(CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    }
    if (!volume.Valid()) {
        return -1;
    }
    DiskExtentsAnswer answer{};
    DWORD bytesReturned = 0;
    const BOOL succeeded =
        DeviceIoControl(volume.Get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &answer,
                        sizeof(answer), &bytesReturned, nullptr);
    return DiskNumberFromExtents(succeeded != FALSE, bytesReturned, answer);
}
