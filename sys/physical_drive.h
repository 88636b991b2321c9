#pragma once
// The number N of \\.\PhysicalDriveN that holds a drive letter's volume; -1 on failure.
#include <windows.h>
#include <winioctl.h>

#include <string>

int GetPhysicalDriveNumber(wchar_t driveLetter);
// The same for a volume named by its device path ("\\.\E:", "\\?\GLOBALROOT\Device\...").
int DiskNumberOfVolume(const std::wstring& device);

// The disk-extents answer as read from the volume: the record with its first extent, then room
// for 16 more (416 bytes).
struct DiskExtentsAnswer {
    VOLUME_DISK_EXTENTS head;
    DISK_EXTENT more[16];
};

// The disk of the first extent when the query succeeded with at least one whole extent; else -1.
int DiskNumberFromExtents(bool succeeded, DWORD bytesReturned, const DiskExtentsAnswer& answer);
