#pragma once
// Which disk holds a drive letter's volume, where on it the volume starts, and how that disk is
// read. The test build answers these from its environment (physical_drive_testdisk.cpp).
#include <windows.h>
#include <winioctl.h>

#include <string>

// The disk N of \\.\PhysicalDriveN and the 512-byte sector the volume's first extent starts
// at; -1 for what is unknown.
struct VolumeLocation {
    int disk = -1;
    long long startSector = -1;
};

VolumeLocation GetVolumeLocation(wchar_t driveLetter);
// The same for a volume named by its device path ("\\.\E:", "\\?\GLOBALROOT\Device\...").
VolumeLocation LocationOfVolume(const std::wstring& device);
int DiskNumberOfVolume(const std::wstring& device);
// The disk of GetVolumeLocation; -1 on failure.
int GetPhysicalDriveNumber(wchar_t driveLetter);
// The path the sectors of disk N are read through; empty when the disk cannot be read.
std::wstring PhysicalDrivePath(int disk);
// The disk's logical sector size in bytes; 0 when it cannot be asked.
unsigned long DiskSectorBytes(const std::wstring& diskPath);
// Flushes every file and directory of the volume `root` ("E:") to its disk, renames included,
// through "\\.\E:" (administrator rights); false when the volume cannot be opened or the flush
// fails. The test build flushes the drive's disk image, or its root folder, instead
// (volume_flush_testdisk.cpp).
bool FlushVolume(const std::wstring& root);
// Where the test build may end the program to show what a stop there leaves; nothing in the
// real program.
void AtTestStopPoint(const wchar_t* point);

// The disk-extents answer as read from the volume: the record with its first extent, then room
// for 16 more (416 bytes).
struct DiskExtentsAnswer {
    VOLUME_DISK_EXTENTS head;
    DISK_EXTENT more[16];
};

// The disk of the first extent when the query succeeded with at least one whole extent; else -1.
int DiskNumberFromExtents(bool succeeded, DWORD bytesReturned, const DiskExtentsAnswer& answer);
// The same answer with the first extent's start in 512-byte sectors (-1 when not whole sectors).
VolumeLocation LocationFromExtents(bool succeeded, DWORD bytesReturned,
                                   const DiskExtentsAnswer& answer);
