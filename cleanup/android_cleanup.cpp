#include "cleanup/android_cleanup.h"

#include <windows.h>

#include "sys/debug_log.h"
#include "sys/handles.h"

namespace {

const wchar_t* const JunkFolderNames[] = {L"Android", L".thumbnails", L".android_secure",
                                          L".trash-storage"};
const wchar_t* const TrashPrefix = L".Trash-";
const size_t TrashPrefixLength = 7;

const wchar_t* const MediaFolderNames[] = {
    L"Music",  L"Podcasts", L"Ringtones", L"Alarms",    L"Notifications", L"Pictures",
    L"Movies", L"Download", L"DCIM",      L"Documents", L"Audiobooks",    L"Recordings"};

wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool StartsWithIgnoringAsciiCase(const std::wstring& text, const wchar_t* prefix, size_t length) {
    if (text.size() < length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (AsciiLower(text[i]) != AsciiLower(prefix[i])) {
            return false;
        }
    }
    return true;
}

struct DirectoryEntry {
    std::wstring name;
    DWORD attributes;
};

// The listing with the attributes the search already returned, so the removal walk does not
// ask the file system a second time for every entry.
std::vector<DirectoryEntry> ListEntriesWithAttributes(const std::wstring& folder) {
    std::vector<DirectoryEntry> entries;
    WIN32_FIND_DATAW data;
    FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!search.Valid()) {
        return entries;
    }
    do {
        if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0) {
            entries.push_back({data.cFileName, data.dwFileAttributes});
        }
    } while (FindNextFileW(search.Get(), &data));
    return entries;
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Junctions, directory symbolic links and mount points lead out of the tree being walked.
bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// SetFileAttributesW may act on a link's target; a handle opened on the link itself cannot.
void ResetLinkAttributes(const std::wstring& path) {
    FileHandle link(
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!link.Valid()) {
        return;
    }
    FILE_BASIC_INFO info{};
    info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(link.Get(), FileBasicInfo, &info, sizeof info);
}

// Removes the link alone; what it points to is outside the tree and is left as it is.
bool RemoveLink(const std::wstring& path, DWORD attributes) {
    auto remove = [&] {
        return IsFolder(attributes) ? RemoveDirectoryW(path.c_str()) != 0
                                    : DeleteFileW(path.c_str()) != 0;
    };
    if (remove()) {
        return true;
    }
    ResetLinkAttributes(path);
    return remove();
}

// Attributes are reset only when a first attempt fails: whatever survives ends with normal
// attributes, exactly as if they had been reset first, at one call per entry instead of two.
bool RemoveFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) {
        return true;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) != 0;
}

bool DeleteTreeKnown(const std::wstring& path, DWORD attributes) {
    if (IsLink(attributes)) {
        return RemoveLink(path, attributes);
    }
    if (!IsFolder(attributes)) {
        return RemoveFile(path);
    }
    // A read-only folder is opened up first: some file systems refuse to unlink inside it.
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    for (const DirectoryEntry& entry : ListEntriesWithAttributes(path)) {
        DeleteTreeKnown(path + L"\\" + entry.name, entry.attributes);
    }
    if (RemoveDirectoryW(path.c_str())) {
        return true;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryW(path.c_str()) != 0;
}

void CleanMediaFolder(const std::wstring& path) {
    const std::wstring thumbnails = path + L"\\.thumbnails";
    if (GetFileAttributesW(thumbnails.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DeleteTree(thumbnails);
    }
    RemoveEmptySubdirectories(path);
    if (ListDirectoryEntries(path).empty() && RemoveDirectoryW(path.c_str())) {
        DebugLog(L"cleanup: removed %s", path.c_str());
    }
}

void ClearLostDir(const std::wstring& root, const std::wstring& path) {
    ClearDirectory(path);
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(path.c_str(),
                           attributes | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
    DebugLog(L"cleanup: cleared LOST.DIR in %s", root.c_str());
}

} // namespace

bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && StartsWithIgnoringAsciiCase(a, b.c_str(), b.size());
}

RootFolderKind ClassifyRootFolder(const std::wstring& name) {
    if (EqualsIgnoringAsciiCase(name, L"LOST.DIR")) {
        return RootFolderKind::LostDir;
    }
    for (const wchar_t* junk : JunkFolderNames) {
        if (EqualsIgnoringAsciiCase(name, junk)) {
            return RootFolderKind::Junk;
        }
    }
    if (StartsWithIgnoringAsciiCase(name, TrashPrefix, TrashPrefixLength)) {
        return RootFolderKind::Junk;
    }
    for (const wchar_t* media : MediaFolderNames) {
        if (EqualsIgnoringAsciiCase(name, media)) {
            return RootFolderKind::Media;
        }
    }
    return RootFolderKind::Other;
}

std::vector<std::wstring> ListDirectoryEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (DirectoryEntry& entry : ListEntriesWithAttributes(folder)) {
        names.push_back(std::move(entry.name));
    }
    return names;
}

bool DeleteTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    return DeleteTreeKnown(path, attributes);
}

void ClearDirectory(const std::wstring& folder) {
    for (const DirectoryEntry& entry : ListEntriesWithAttributes(folder)) {
        DeleteTreeKnown(folder + L"\\" + entry.name, entry.attributes);
    }
}

void RemoveEmptySubdirectories(const std::wstring& folder) {
    for (const std::wstring& name : ListDirectoryEntries(folder)) {
        const std::wstring child = folder + L"\\" + name;
        DWORD attributes = GetFileAttributesW(child.c_str());
        if (!IsFolder(attributes) || IsLink(attributes)) {
            continue;
        }
        RemoveEmptySubdirectories(child);
        if (ListDirectoryEntries(child).empty()) {
            RemoveDirectoryW(child.c_str());
        }
    }
}

void CleanupDriveRoot(const std::wstring& root) {
    if (root.empty()) {
        return;
    }
    for (const std::wstring& name : ListDirectoryEntries(root)) {
        const std::wstring path = root + name;
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (!IsFolder(attributes)) {
            continue;
        }
        RootFolderKind kind = ClassifyRootFolder(name);
        // A linked LOST.DIR or media folder leads off the partition: it is not entered. A
        // linked junk folder goes as a link only.
        if (IsLink(attributes) && kind != RootFolderKind::Junk) {
            continue;
        }
        switch (kind) {
        case RootFolderKind::LostDir:
            ClearLostDir(root, path);
            break;
        case RootFolderKind::Junk:
            if (DeleteTree(path)) {
                DebugLog(L"cleanup: removed %s", path.c_str());
            }
            break;
        case RootFolderKind::Media:
            CleanMediaFolder(path);
            break;
        case RootFolderKind::Other:
            break;
        }
    }
}

void CleanupAndroidLeftovers(const std::wstring& firstRoot, const std::wstring& secondRoot) {
    CleanupDriveRoot(firstRoot);
    if (!secondRoot.empty() && !EqualsIgnoringAsciiCase(firstRoot, secondRoot)) {
        CleanupDriveRoot(secondRoot);
    }
}
