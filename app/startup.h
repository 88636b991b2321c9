#pragma once
// Start-up: single instance, drive validation, data partition, cleanup, window, message loop.
#include <windows.h>

#include <string>

// Keeps DLLs from the program's own folder (the removable drive) out of the process where the
// system can, and stops the system from asking for a medium while empty drive letters are
// probed. Runs first.
void HardenProcess();

// "E:" for a module directory on drive e or E; empty when the directory does not start with a
// drive letter and a colon (network share, \\?\ path, empty result).
std::wstring InstallerRootFromDirectory(const std::wstring& moduleDirectory);

// The data partition marker on drive `letter`.
std::wstring DataMarkerPath(wchar_t letter);

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
std::wstring WindowsDiskText(const std::wstring& installerRoot);

// The data partition's root for the cleanup: with the installer's disk unknown, the marker
// found may lie on any disk, so none is cleaned (the debug log says why).
std::wstring DataRootToClean(const std::wstring& dataRoot, int installerDisk);

// Top-left corner of a width x height window centred in the work area.
POINT CenteredOrigin(const RECT& workArea, int width, int height);

std::wstring NotTelvornDriveText(const std::wstring& installerRoot);

// The whole start-up and message loop; returns the process exit code.
int RunQuillmere(HINSTANCE instance);
