#include "loaders/boot_state.h"

#include <cstring>

#include "loaders/file_names.h"
#include "sys/debug_log.h"
#include "sys/file_utils.h"
#include "sys/handles.h"

int32_t ParseBootStateValue(const char* content, size_t length, const char* key) {
    if (content == nullptr || key == nullptr) {
        return -1;
    }
    if (length > BootStateReadLimit) {
        length = BootStateReadLimit;
    }
    const std::string needle = std::string(key) + "=";
    if (length < needle.size()) {
        return -1;
    }
    size_t start = 0;
    bool found = false;
    for (; start + needle.size() <= length; ++start) {
        if (std::memcmp(content + start, needle.data(), needle.size()) == 0) {
            found = true;
            break;
        }
    }
    if (!found) {
        return -1;
    }
    size_t position = start + needle.size();
    if (position >= length || content[position] < '0' || content[position] > '9') {
        return -1;
    }
    // Computed in 64 bits and capped, so a long run can never overflow.
    int64_t value = 0;
    for (; position < length && content[position] >= '0' && content[position] <= '9'; ++position) {
        value = value * 10 + (content[position] - '0');
        if (value > INT32_MAX) {
            value = INT32_MAX;
        }
    }
    return static_cast<int32_t>(value);
}

std::string FormatBootState(int32_t legacy, int32_t uefi) {
    return "legacy=" + std::to_string(legacy) + "\nuefi=" + std::to_string(uefi) + "\n";
}

int32_t ReadBootStateValue(const std::wstring& path, const char* key) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return -1;
    }
    char content[BootStateReadLimit + 1] = {};
    DWORD length = 0;
    if (!ReadFile(file.Get(), content, static_cast<DWORD>(BootStateReadLimit), &length, nullptr)) {
        length = 0;
    }
    return ParseBootStateValue(content, length, key);
}

bool SaveBootState(const std::wstring& bootDir, int32_t legacy, int32_t uefi) {
    const std::wstring path = bootDir + BootStateFileName;
    // The other mode's value comes from the file, never from the window's context.
    if (legacy < 0) {
        legacy = ReadBootStateValue(path, "legacy");
    }
    if (uefi < 0) {
        uefi = ReadBootStateValue(path, "uefi");
    }
    if (!ReplaceFileContent(path, FormatBootState(legacy, uefi))) {
        DebugLog(L"bootstate: cannot write %ls", path.c_str());
        return false;
    }
    DebugLog(L"bootstate: legacy=%d uefi=%d", legacy, uefi);
    return true;
}
