#pragma once
// Removes what Android devices leave at the roots of the drive's partitions.
#include <string>

// Each root is a drive's root ("E:\\" or "E:"; the separator is added when it is missing).
void CleanupAndroidLeftovers(const std::wstring& firstRoot, const std::wstring& secondRoot);
void CleanupDriveRoot(const std::wstring& root);

// What a folder at a root is, by its name alone (ASCII letters compared without case).
enum class RootFolderKind { Other, LostDir, Junk, Media };
RootFolderKind ClassifyRootFolder(const std::wstring& name);
