#include "cleanup/android_cleanup.h"
void CleanupAndroidLeftovers(const std::wstring&, const std::wstring&) {} // PLACEHOLDER
void CleanupDriveRoot(const std::wstring&) {}
std::vector<std::wstring> ListDirectoryEntries(const std::wstring&) { return {}; }
bool DeleteTree(const std::wstring&) { return false; }
void ClearDirectory(const std::wstring&) {}
void RemoveEmptySubdirectories(const std::wstring&) {}
