#pragma once
// The disk of Windows' system partition, the one holding \bootmgr and \Boot\BCD: Windows Setup
// may have put it on a USB drive that was plugged in during setup, and that drive then boots the
// internal Windows.
#include <string>

// The disk number; -1 when unknown.
int SystemPartitionDiskNumber();

// The registry's "\Device\HarddiskVolume1" as a path the volume query can open; empty for a
// value that is no NT device path.
std::wstring SystemPartitionDevice(const std::wstring& ntPath);
