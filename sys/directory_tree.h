#pragma once
// Walks that list and remove directory trees without ever following a link out of them. The
// window of the calling thread answers between entries.
#include <windows.h>

#include <string>
#include <vector>

inline bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Junctions, directory symbolic links and mount points lead out of the tree being walked.
inline bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The names in `folder` without "." and "..", in the order the file system lists them.
std::vector<std::wstring> ListDirectoryEntries(const std::wstring& folder);
// Removes a file, a link (never what it points to) or a whole folder; false when `path` is
// missing or something in it stays.
bool DeleteTree(const std::wstring& path);
// Removes everything inside `folder` and keeps the folder.
void ClearDirectory(const std::wstring& folder);
// Removes every folder below `folder` that holds, once its own empty folders are gone, nothing.
void RemoveEmptySubdirectories(const std::wstring& folder);
// Copies the folder `from` with everything in it to `to`, which must not exist yet; each file
// is on the disk before the call returns. Links are not followed.
bool CopyTree(const std::wstring& from, const std::wstring& to);
// Whether two folders hold the same names, folders and file contents, however deep.
bool TreesEqual(const std::wstring& left, const std::wstring& right);
