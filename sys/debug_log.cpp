#ifdef _MSC_VER
// _vsnwprintf is the counted formatter every CRT has; wide strings are passed as %ls, which
// means a wide string in msvcrt and the UCRT alike.
#define _CRT_SECURE_NO_WARNINGS
#endif
#include "sys/debug_log.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "sys/handles.h"
#include "sys/utf8.h"

namespace {

constexpr size_t MessageCapacity = 4096;

std::wstring FormatMessageText(const wchar_t* format, va_list args) {
    // Zero-filled and written with room for one character less, so a cut message still ends
    // in a terminator after its first 4095 characters.
    std::wstring buffer(MessageCapacity, L'\0');
    _vsnwprintf(&buffer[0], MessageCapacity - 1, format, args);
    buffer.resize(wcslen(buffer.c_str()));
    return buffer;
}

std::wstring FormatWideStringV(const wchar_t* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int count = _vscwprintf(format, measure);
    va_end(measure);
    if (count < 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(count), L'\0');
    _vsnwprintf(&text[0], static_cast<size_t>(count) + 1, format, args);
    return text;
}

} // namespace

std::wstring FormatWideString(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWideStringV(format, args);
    va_end(args);
    return text;
}

std::wstring DebugLogLine(unsigned hour, unsigned minute, unsigned second, unsigned millisecond,
                          unsigned long threadId, const std::wstring& message) {
    return FormatWideString(L"%02d:%02d:%02d.%03d [%lu] %ls\r\n", static_cast<int>(hour),
                            static_cast<int>(minute), static_cast<int>(second),
                            static_cast<int>(millisecond), threadId, message.c_str());
}

std::wstring DebugLogFilePath() {
    std::wstring directory(MAX_PATH, L'\0');
    DWORD length = GetTempPathW(MAX_PATH, &directory[0]);
    // A longer temporary path is answered with the size it needs; the log still belongs there.
    while (length >= directory.size()) {
        directory.assign(length + 1, L'\0');
        length = GetTempPathW(static_cast<DWORD>(directory.size()), &directory[0]);
    }
    directory.resize(length);
    return directory + L"quillmere_cpp_debug.log";
}

void DebugLog(const wchar_t* format, ...) {
    wchar_t switchValue[8] = {};
    if (GetEnvironmentVariableW(L"TELVORN_DEBUG_LOG", switchValue, 8) == 0) {
        return;
    }
    va_list args;
    va_start(args, format);
    const std::wstring message = FormatMessageText(format, args);
    va_end(args);

    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::string bytes = ToUtf8(DebugLogLine(
        now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, GetCurrentThreadId(), message));
    if (bytes.empty()) {
        return;
    }
    // Append-only access makes each line land at the end in one write, so lines of another
    // process sharing the file interleave only as whole lines.
    FileHandle file(CreateFileW(DebugLogFilePath().c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return;
    }
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
