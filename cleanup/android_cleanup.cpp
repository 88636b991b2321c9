#include "cleanup/android_cleanup.h"

#include <windows.h>

#include "sys/debug_log.h"
#include "sys/directory_tree.h"

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

bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && StartsWithIgnoringAsciiCase(a, b.c_str(), b.size());
}

// "K:" alone names the current directory of drive K, not its root: every path built on it would
// land somewhere else than the listing it came from.
std::wstring WithRootSeparator(const std::wstring& root) {
    if (root.empty() || root.back() == L'\\' || root.back() == L'/') {
        return root;
    }
    return root + L"\\";
}

void CleanMediaFolder(const std::wstring& path) {
    const std::wstring thumbnails = path + L"\\.thumbnails";
    if (GetFileAttributesW(thumbnails.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DeleteTree(thumbnails);
    }
    RemoveEmptySubdirectories(path);
    if (ListDirectoryEntries(path).empty() && RemoveDirectoryW(path.c_str())) {
        DebugLog(L"cleanup: removed %ls", path.c_str());
    }
}

void ClearLostDir(const std::wstring& root, const std::wstring& path) {
    ClearDirectory(path);
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(path.c_str(),
                           attributes | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
    DebugLog(L"cleanup: cleared LOST.DIR in %ls", root.c_str());
}

} // namespace

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

void CleanupDriveRoot(const std::wstring& givenRoot) {
    if (givenRoot.empty()) {
        return;
    }
    const std::wstring root = WithRootSeparator(givenRoot);
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
                DebugLog(L"cleanup: removed %ls", path.c_str());
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
    if (!secondRoot.empty() &&
        !EqualsIgnoringAsciiCase(WithRootSeparator(firstRoot), WithRootSeparator(secondRoot))) {
        CleanupDriveRoot(secondRoot);
    }
}
