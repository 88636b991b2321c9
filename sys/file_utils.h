#pragma once
// Small file-system operations shared by start-up and the loader actions. None shows or logs.
#include <windows.h>

#include <string>
#include <vector>

bool FileExists(const std::wstring& path);
bool CopyFileOverwrite(const std::wstring& source, const std::wstring& target);
bool DeleteFileIfAny(const std::wstring& path);
bool CreateDirectories(const std::wstring& path);
std::wstring GetModuleDirectory();

// The paths CreateDirectories passes to CreateDirectoryW for `path`, outermost first. The root
// prefix ("X:\" or "\\") is never among them; empty for an empty path.
std::vector<std::wstring> DirectoryCreationSteps(const std::wstring& path);
// Whether an existing target would be refused by CopyFileW on Windows: a read-only target, or a
// hidden or system one whose attribute the source does not carry.
bool CopyTargetRefused(DWORD sourceAttributes, DWORD targetAttributes);
// `path` cut before its last backslash or slash; the whole path when it has none.
std::wstring DirectoryPart(const std::wstring& path);
// The running executable's full path, read with a first buffer of `firstBufferSize` characters
// that grows until the path fits; empty on failure.
std::wstring GetModulePath(unsigned firstBufferSize);
