#include "loaders/target.h"

#include <windows.h>

#include "loaders/file_names.h"
#include "loaders/user_texts.h"
#include "sys/file_utils.h"
#include "sys/handles.h"
#include "sys/physical_drive.h"
#include "sys/system_partition.h"

SwitchTarget LocateTarget(const std::wstring& installerRoot, const std::wstring& bootDir,
                          const std::wstring& bootIcePath) {
    SwitchTarget target;
    target.installerRoot = installerRoot;
    target.bootDir = bootDir;
    target.bootIcePath = bootIcePath;
    const VolumeLocation location =
        installerRoot.empty() ? VolumeLocation() : GetVolumeLocation(installerRoot[0]);
    target.disk = location.disk;
    target.partitionStart = location.startSector;
    target.diskPath = PhysicalDrivePath(location.disk);
    target.sectorBytes = target.diskPath.empty() ? 0 : DiskSectorBytes(target.diskPath);
    return target;
}

int WindowsDiskNumber() {
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    if (length < 2 || length > MAX_PATH || windows[1] != L':') {
        return -1;
    }
    return GetPhysicalDriveNumber(windows[0]);
}

bool RunningUnderWinPe() {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\MiniNT", 0,
                      KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegistryKey miniNt(opened);
    return true;
}

SystemDisks ReadSystemDisks() {
    SystemDisks disks;
    disks.winPe = RunningUnderWinPe();
    if (!disks.winPe) {
        disks.windowsDisk = WindowsDiskNumber();
        disks.systemPartitionDisk = SystemPartitionDiskNumber();
    }
    return disks;
}

bool IsSystemDisk(int installerDisk, const SystemDisks& disks) {
    return !disks.winPe && installerDisk >= 0 &&
           (installerDisk == disks.windowsDisk || installerDisk == disks.systemPartitionDisk);
}

std::wstring TargetRefusal(const SwitchTarget& target, TargetUse use) {
    if (use == TargetUse::Click &&
        (!FileExists(target.bootDir + MarkerFileName) || target.disk < 0)) {
        return TargetRefusalText(target.installerRoot);
    }
    // The loader of a disk Windows boots from is never this program's to change.
    return IsSystemDisk(target.disk, ReadSystemDisks()) ? WindowsDiskText(target.installerRoot)
                                                        : std::wstring();
}
