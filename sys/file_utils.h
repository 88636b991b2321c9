#pragma once
// Small file-system operations shared by start-up and the loader actions. None shows or logs.
#include <string>

bool FileExists(const std::wstring& path);
bool CopyFileOverwrite(const std::wstring& source, const std::wstring& target);
bool DeleteFileIfAny(const std::wstring& path);
bool CreateDirectories(const std::wstring& path);
std::wstring GetModuleDirectory();
