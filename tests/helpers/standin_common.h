#pragma once
// What the stand-ins for the outside programs share: environment switches, the run log, raw
// file access and the picking apart of their command lines. Header only, so each stand-in stays
// one folder of sources.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sys/handles.h"
#include "sys/utf8.h"

namespace standin {

inline std::wstring EnvValue(const wchar_t* name) {
    wchar_t buffer[2048] = {};
    DWORD length = GetEnvironmentVariableW(name, buffer, 2048);
    return length > 0 && length < 2048 ? std::wstring(buffer, length) : std::wstring();
}

// A signed decimal value of the variable; false when unset or not a number.
inline bool EnvInt(const wchar_t* name, int& value) {
    std::wstring text = EnvValue(name);
    if (text.empty()) {
        return false;
    }
    wchar_t* end = nullptr;
    long parsed = wcstol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != L'\0') {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

// Appends `line` and a line feed; the runs of one action are strictly sequential, so plain
// appends never interleave.
inline void AppendLine(const std::wstring& path, const std::string& line) {
    if (path.empty()) {
        return;
    }
    FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return;
    }
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

inline bool ReadWholeFile(const std::wstring& path, std::string& out) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return false;
    }
    out.clear();
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        out.append(buffer, got);
    }
    return true;
}

// Reads `length` bytes at `offset`; false when the file is missing or shorter.
inline bool ReadAt(const std::wstring& path, uint64_t offset, size_t length, std::string& out) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    std::string bytes(length, '\0');
    DWORD got = 0;
    if (!file.Valid() || !SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN) ||
        (length > 0 &&
         !ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(length), &got, nullptr)) ||
        got != length) {
        return false;
    }
    out = bytes;
    return true;
}

// Overwrites bytes of an existing file in place, as a disk write does: nothing is truncated.
// Flushed, so that a device below a mounted file system passes them on at once.
inline bool WriteAt(const std::wstring& path, uint64_t offset, const std::string& bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return false;
    }
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    return SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN) &&
           WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size() && FlushFileBuffers(file.Get());
}

// Splits a command line at blanks outside quotation marks and drops the marks; enough for the
// command lines the program builds (no escaped quotes).
inline std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
    std::vector<std::wstring> tokens;
    std::wstring current;
    bool quoted = false;
    bool inToken = false;
    for (wchar_t c : line) {
        if (c == L'"') {
            quoted = !quoted;
            inToken = true;
        } else if ((c == L' ' || c == L'\t') && !quoted) {
            if (inToken) {
                tokens.push_back(current);
                current.clear();
                inToken = false;
            }
        } else {
            current += c;
            inToken = true;
        }
    }
    if (inToken) {
        tokens.push_back(current);
    }
    return tokens;
}

// The value of the first token that starts with `prefix` (case-insensitive), without the
// prefix; `found` tells an empty value from a missing option.
inline std::wstring OptionValue(const std::vector<std::wstring>& tokens, const wchar_t* prefix,
                                bool& found) {
    size_t length = wcslen(prefix);
    for (const std::wstring& token : tokens) {
        if (token.size() >= length && _wcsnicmp(token.c_str(), prefix, length) == 0) {
            found = true;
            return token.substr(length);
        }
    }
    found = false;
    return {};
}

inline bool HasToken(const std::vector<std::wstring>& tokens, const wchar_t* name) {
    for (const std::wstring& token : tokens) {
        if (_wcsicmp(token.c_str(), name) == 0) {
            return true;
        }
    }
    return false;
}

// QUILLMERE_STANDIN_FAIL_RUN as "N=C": run number N exits with code C.
inline bool FailRunRequested(int& run, int& code) {
    const std::wstring value = EnvValue(L"QUILLMERE_STANDIN_FAIL_RUN");
    return swscanf(value.c_str(), L"%d=%d", &run, &code) == 2;
}

// How many stand-in runs have begun, this one included, by the events file's begin lines.
inline int RunsBegun(const std::wstring& events) {
    std::string text;
    if (events.empty() || !ReadWholeFile(events, text)) {
        return 0;
    }
    int runs = 0;
    for (size_t at = 0; (at = text.find("begin ", at)) != std::string::npos; at += 6) {
        runs += at == 0 || text[at - 1] == '\n';
    }
    return runs;
}

// Whether the variable's comma-separated run numbers hold `run`.
inline bool RunListed(const wchar_t* name, int run) {
    const std::wstring value = L"," + EnvValue(name) + L",";
    return run > 0 && value.find(L"," + std::to_wstring(run) + L",") != std::wstring::npos;
}

// Keeps a run going until QUILLMERE_STANDIN_SLEEP_MS have passed since `startedTicks`; with
// QUILLMERE_STANDIN_SLEEP_RUN set, only the run of that number (counted in `events`) does.
inline void LastAtLeastSleepTime(DWORD startedTicks, const std::wstring& events) {
    int sleepMs = 0, onlyRun = 0;
    if (EnvInt(L"QUILLMERE_STANDIN_SLEEP_RUN", onlyRun) && RunsBegun(events) != onlyRun) {
        return;
    }
    if (EnvInt(L"QUILLMERE_STANDIN_SLEEP_MS", sleepMs) && sleepMs > 0) {
        DWORD elapsed = GetTickCount() - startedTicks;
        if (elapsed < static_cast<DWORD>(sleepMs)) {
            Sleep(static_cast<DWORD>(sleepMs) - elapsed);
        }
    }
}

} // namespace standin
