#pragma once
// Removes what Android devices leave at the roots of the drive's partitions.
#include <string>
#include <vector>

void CleanupAndroidLeftovers(const std::wstring& firstRoot, const std::wstring& secondRoot);
void CleanupDriveRoot(const std::wstring& root);
std::vector<std::wstring> ListDirectoryEntries(const std::wstring& folder);
bool DeleteTree(const std::wstring& path);
void ClearDirectory(const std::wstring& folder);
void RemoveEmptySubdirectories(const std::wstring& folder);

// What a folder at a root is, by its name alone (ASCII letters compared without case).
enum class RootFolderKind { Other, LostDir, Junk, Media };
RootFolderKind ClassifyRootFolder(const std::wstring& name);
bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b);
