#include "sys/directory_tree.h"

#include "sys/file_utils.h"
#include "sys/handles.h"
#include "sys/process.h"

#include <algorithm>

namespace {

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

bool DeleteTreeKnown(const std::wstring& path, DWORD attributes) {
    if (IsLink(attributes)) {
        return RemoveLink(path, attributes);
    }
    if (!IsFolder(attributes)) {
        return DiscardFile(path);
    }
    // A read-only folder is opened up first: some file systems refuse to unlink inside it.
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    for (const DirectoryEntry& entry : ListEntriesWithAttributes(path)) {
        AnswerPendingMessages();
        DeleteTreeKnown(path + L"\\" + entry.name, entry.attributes);
    }
    if (RemoveDirectoryW(path.c_str())) {
        return true;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryW(path.c_str()) != 0;
}

} // namespace

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
        AnswerPendingMessages();
        DeleteTreeKnown(folder + L"\\" + entry.name, entry.attributes);
    }
}

void RemoveEmptySubdirectories(const std::wstring& folder) {
    for (const std::wstring& name : ListDirectoryEntries(folder)) {
        AnswerPendingMessages();
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

bool CopyTree(const std::wstring& from, const std::wstring& to) {
    if (!CreateDirectoryW(to.c_str(), nullptr)) {
        return false;
    }
    for (const DirectoryEntry& entry : ListEntriesWithAttributes(from)) {
        AnswerPendingMessages();
        const std::wstring source = from + L"\\" + entry.name;
        const std::wstring target = to + L"\\" + entry.name;
        const bool copied = IsLink(entry.attributes)     ? true
                            : IsFolder(entry.attributes) ? CopyTree(source, target)
                                                         : CopyFileFlushed(source, target);
        if (!copied) {
            return false;
        }
    }
    return true;
}

bool TreesEqual(const std::wstring& left, const std::wstring& right) {
    // Links are never copied, so they do not count.
    auto withoutLinks = [](std::vector<DirectoryEntry> entries) {
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [](const DirectoryEntry& e) { return IsLink(e.attributes); }),
                      entries.end());
        return entries;
    };
    std::vector<DirectoryEntry> a = withoutLinks(ListEntriesWithAttributes(left));
    std::vector<DirectoryEntry> b = withoutLinks(ListEntriesWithAttributes(right));
    if (!IsFolder(GetFileAttributesW(left.c_str())) ||
        !IsFolder(GetFileAttributesW(right.c_str())) || a.size() != b.size()) {
        return false;
    }
    auto byName = [](const DirectoryEntry& x, const DirectoryEntry& y) { return x.name < y.name; };
    std::sort(a.begin(), a.end(), byName);
    std::sort(b.begin(), b.end(), byName);
    for (size_t i = 0; i < a.size(); ++i) {
        AnswerPendingMessages();
        if (a[i].name != b[i].name || IsFolder(a[i].attributes) != IsFolder(b[i].attributes)) {
            return false;
        }
        const std::wstring l = left + L"\\" + a[i].name;
        const std::wstring r = right + L"\\" + b[i].name;
        if (IsFolder(a[i].attributes)) {
            if (!TreesEqual(l, r)) {
                return false;
            }
            continue;
        }
        std::string lb, rb;
        if (!ReadWholeFile(l, lb) || !ReadWholeFile(r, rb) || lb != rb) {
            return false;
        }
    }
    return true;
}
