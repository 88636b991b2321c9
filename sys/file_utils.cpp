#include "sys/file_utils.h"
bool FileExists(const std::wstring&) { return false; } // PLACEHOLDER
bool CopyFileOverwrite(const std::wstring&, const std::wstring&) { return false; }
bool DeleteFileIfAny(const std::wstring&) { return false; }
bool CreateDirectories(const std::wstring&) { return false; }
std::wstring GetModuleDirectory() { return {}; }
