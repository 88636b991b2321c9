#include "sys/file_utils.h"

#include <windows.h>

#include <algorithm>

#include "sys/handles.h"
#include "sys/process.h"

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// Longest path the system can hand back; beyond it growing the buffer cannot help.
constexpr unsigned LongestModulePath = 32768;
// Whole files are read and written in blocks of this size, the window answering between them.
constexpr DWORD FileBlockBytes = 65536;

} // namespace

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CopyTargetRefused(DWORD sourceAttributes, DWORD targetAttributes) {
    if (targetAttributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const DWORD guarded = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD carried = sourceAttributes == INVALID_FILE_ATTRIBUTES ? 0 : sourceAttributes;
    return (targetAttributes & FILE_ATTRIBUTE_READONLY) != 0 ||
           (targetAttributes & guarded & ~carried) != 0;
}

bool CopyFileOverwrite(const std::wstring& source, const std::wstring& target) {
    // Windows' CopyFileW refuses these targets; Wine run with full rights writes through them,
    // and the protection of a read-only or hidden file must not depend on that.
    if (CopyTargetRefused(GetFileAttributesW(source.c_str()), GetFileAttributesW(target.c_str()))) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(source.c_str());
    std::string bytes;
    if (attributes == INVALID_FILE_ATTRIBUTES || !ReadWholeFile(source, bytes)) {
        return false;
    }
    // Windows creates over a hidden or system file only when the new one carries the same marks.
    const DWORD carried = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    return WriteFileFlushed(target, bytes, carried != 0 ? carried : FILE_ATTRIBUTE_NORMAL);
}

bool MoveFileReplacing(const std::wstring& source, const std::wstring& target) {
    return MoveFileExW(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::string ReadFileStart(const std::wstring& path, size_t maxBytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes(maxBytes, '\0');
    DWORD got = 0;
    if (!file.Valid() ||
        !ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(maxBytes), &got, nullptr)) {
        return {};
    }
    bytes.resize(got);
    return bytes;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return false;
    }
    bytes.clear();
    char buffer[FileBlockBytes];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes.append(buffer, got);
        AnswerPendingMessages();
    }
}

bool WriteFileFlushed(const std::wstring& path, const std::string& bytes, DWORD attributes) {
    FileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
    if (!file.Valid()) {
        return false;
    }
    for (size_t at = 0; at < bytes.size(); at += FileBlockBytes) {
        const DWORD block = static_cast<DWORD>(std::min<size_t>(FileBlockBytes, bytes.size() - at));
        DWORD written = 0;
        if (!WriteFile(file.Get(), bytes.data() + at, block, &written, nullptr) ||
            written != block) {
            return false;
        }
        AnswerPendingMessages();
    }
    return FlushFileBuffers(file.Get()) != FALSE;
}

bool CopyFileFlushed(const std::wstring& from, const std::wstring& to) {
    std::string bytes;
    return ReadWholeFile(from, bytes) && WriteFileFlushed(to, bytes);
}

std::wstring TemporaryName(const std::wstring& target) {
    return target + L".quillmere-new";
}

bool ReplaceFileContent(const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = TemporaryName(path);
    // One a stop left behind may be read-only, or longer than the new content on a file system
    // that cannot cut a file short.
    DiscardFile(temporary);
    if (WriteFileFlushed(temporary, bytes) && MoveFileReplacing(temporary, path)) {
        return true;
    }
    DiscardFile(temporary);
    return false;
}

// Attributes are reset only when a first attempt fails: whatever survives ends with normal
// attributes, exactly as if they had been reset first, at one call per file instead of two.
bool DiscardFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) {
        return true;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool ReadDiskSectors(const std::wstring& diskPath, unsigned long long first, unsigned count,
                     std::string& bytes) {
    constexpr DWORD SectorBytes = 512;
    // Windows lets a disk be read under its mounted volumes only with both kinds of sharing.
    FileHandle disk(CreateFileW(diskPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!disk.Valid() || count == 0) {
        return false;
    }
    // A page-aligned buffer meets any alignment a disk driver asks of direct reads.
    const SIZE_T size = static_cast<SIZE_T>(count) * SectorBytes;
    void* buffer = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (buffer == nullptr) {
        return false;
    }
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(first * SectorBytes);
    DWORD got = 0;
    const bool read = SetFilePointerEx(disk.Get(), offset, nullptr, FILE_BEGIN) &&
                      ReadFile(disk.Get(), buffer, static_cast<DWORD>(size), &got, nullptr) &&
                      got == size;
    if (read) {
        bytes.assign(static_cast<const char*>(buffer), size);
    }
    VirtualFree(buffer, 0, MEM_RELEASE);
    return read;
}

bool FileSizeOf(const std::wstring& path, unsigned long long& bytes) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool DeleteFileIfAny(const std::wstring& path) {
    return DeleteFileW(path.c_str()) != FALSE;
}

std::vector<std::wstring> DirectoryCreationSteps(const std::wstring& path) {
    std::vector<std::wstring> steps;
    if (path.empty()) {
        return steps;
    }
    size_t start = 0;
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])) {
        start = 3;
    } else if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        start = 2;
    }
    std::wstring accumulated = path.substr(0, start);
    for (;;) {
        size_t p = start;
        while (p < path.size() && !IsSeparator(path[p])) {
            ++p;
        }
        accumulated.append(path, start, p - start);
        if (p == path.size()) {
            break;
        }
        if (!accumulated.empty()) {
            steps.push_back(accumulated);
        }
        accumulated += L'\\';
        start = p + 1;
    }
    if (!accumulated.empty()) {
        steps.push_back(accumulated);
    }
    return steps;
}

bool CreateDirectories(const std::wstring& path) {
    if (path.empty()) {
        return false;
    }
    // Every level is tried: one that exists already is the common case, and only the final
    // check says whether the whole path is there.
    for (const std::wstring& step : DirectoryCreationSteps(path)) {
        CreateDirectoryW(step.c_str(), nullptr);
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring DirectoryPart(const std::wstring& path) {
    const size_t last = path.find_last_of(L"\\/");
    return last == std::wstring::npos ? path : path.substr(0, last);
}

std::wstring GetModulePath(unsigned firstBufferSize) {
    // A full buffer may hold a cut path (the call then returns the buffer size), so the buffer
    // grows until the answer is shorter than it: the drive letter must come from the real path.
    for (unsigned size = firstBufferSize < 2 ? 2 : firstBufferSize;; size *= 2) {
        std::wstring buffer(size, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], size);
        if (length == 0) {
            return {};
        }
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
        if (size >= LongestModulePath) {
            return {};
        }
    }
}

std::wstring GetModuleDirectory() {
    const std::wstring path = GetModulePath(1040);
    return path.empty() ? path : DirectoryPart(path);
}
