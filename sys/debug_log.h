#pragma once
// Optional trace to %TEMP%\quillmere_cpp_debug.log, on while TELVORN_DEBUG_LOG is non-empty.
// Formats are wide: %ls takes a wide string, %d an int, %lu an unsigned long.
#include <cstdarg>
#include <string>

void DebugLog(const wchar_t* format, ...);
std::wstring FormatWideString(const wchar_t* format, ...);

// One line of the log as it goes to the file, before the UTF-8 conversion.
std::wstring DebugLogLine(unsigned hour, unsigned minute, unsigned second, unsigned millisecond,
                          unsigned long threadId, const std::wstring& message);
// Where the log goes: the temporary directory with its trailing separator, then the file name;
// the file name alone when no temporary directory is reported.
std::wstring DebugLogFilePath();
