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

// The data partition's root for the cleanup: with the installer's disk unknown, the marker
// found may lie on any disk, so none is cleaned (the debug log says why).
std::wstring DataRootToClean(const std::wstring& dataRoot, int installerDisk);

// The whole start-up and message loop; returns the process exit code.
int RunQuillmere(HINSTANCE instance);
