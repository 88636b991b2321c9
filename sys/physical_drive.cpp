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

VolumeLocation LocationFromExtents(bool succeeded, DWORD bytesReturned,
                                   const DiskExtentsAnswer& answer) {
    VolumeLocation location;
    location.disk = DiskNumberFromExtents(succeeded, bytesReturned, answer);
    const LONGLONG offset = answer.head.Extents[0].StartingOffset.QuadPart;
    if (location.disk >= 0 && offset >= 0 && offset % 512 == 0) {
        location.startSector = offset / 512;
    }
    return location;
}

VolumeLocation GetVolumeLocation(wchar_t driveLetter) {
    return LocationOfVolume(std::wstring(L"\\\\.\\") + driveLetter + L':');
}

int DiskNumberOfVolume(const std::wstring& device) {
    return LocationOfVolume(device).disk;
}

VolumeLocation LocationOfVolume(const std::wstring& device) {
    // A query-only handle needs no rights on the volume; reading is the fallback for systems
    // that refuse it.
    FileHandle volume(CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!volume.Valid()) {
        volume.Reset(CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    }
    if (!volume.Valid()) {
        return {};
    }
    DiskExtentsAnswer answer{};
    DWORD bytesReturned = 0;
    const BOOL succeeded =
        DeviceIoControl(volume.Get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &answer,
                        sizeof(answer), &bytesReturned, nullptr);
    return LocationFromExtents(succeeded != FALSE, bytesReturned, answer);
}

int GetPhysicalDriveNumber(wchar_t driveLetter) {
    return GetVolumeLocation(driveLetter).disk;
}

std::wstring PhysicalDrivePath(int disk) {
    return disk < 0 ? std::wstring() : L"\\\\.\\PhysicalDrive" + std::to_wstring(disk);
}

unsigned long DiskSectorBytes(const std::wstring& diskPath) {
    FileHandle disk(CreateFileW(diskPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!disk.Valid()) {
        return 0;
    }
    DISK_GEOMETRY_EX geometry{};
    DWORD bytesReturned = 0;
    if (!DeviceIoControl(disk.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry,
                         sizeof(geometry), &bytesReturned, nullptr) ||
        bytesReturned < sizeof(DISK_GEOMETRY)) {
        return 0;
    }
    return geometry.Geometry.BytesPerSector;
}

void AtTestStopPoint(const wchar_t*) {}
