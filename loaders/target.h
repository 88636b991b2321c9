#pragma once
// The one confirmation of the drive a switch may change: the disk and partition start the disk
// queries answer now, and the refusals of a disk Windows needs. Start-up, a click and the switch
// all take it from here.
#include <string>

// The drive a switch works on.
struct SwitchTarget {
    std::wstring installerRoot; // "E:"
    std::wstring bootDir;
    std::wstring bootIcePath;
    int disk = -1;                 // N of \\.\PhysicalDriveN
    long long partitionStart = -1; // the installer partition's first sector
    std::wstring diskPath;         // where the disk's sectors are read
    unsigned long sectorBytes = 0; // the disk's logical sector size
};

// The target of the drive `installerRoot` as the disk queries answer now.
SwitchTarget LocateTarget(const std::wstring& installerRoot, const std::wstring& bootDir,
                          const std::wstring& bootIcePath);

// The disk of the drive that holds the Windows directory; -1 when unknown (WinPE's RAM disk).
int WindowsDiskNumber();
// WinPE marks itself with HKLM\SYSTEM\CurrentControlSet\Control\MiniNT.
bool RunningUnderWinPe();

// The disks the running Windows needs to start; -1 where unknown.
struct SystemDisks {
    int windowsDisk = -1;         // the Windows directory's drive
    int systemPartitionDisk = -1; // \bootmgr and \Boot\BCD
    bool winPe = false;
};
SystemDisks ReadSystemDisks();
// Only a known number equal to the installer's refuses it. Under WinPE nothing does: the drive
// it started from is the user's to change.
bool IsSystemDisk(int installerDisk, const SystemDisks& disks);

enum class TargetUse {
    Start, // only a disk Windows needs is refused; an unknown disk lets the start go on
    Click, // the marker must still be there and the disk known, too
};
// The text that refuses the target, empty when the drive may be changed.
std::wstring TargetRefusal(const SwitchTarget& target, TargetUse use);
