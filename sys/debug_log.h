#pragma once
// Optional trace to %TEMP%\quillmere_cpp_debug.log, on while TELVORN_DEBUG_LOG is non-empty.
// Formats use the wide dialect: %s takes a wide string, %d an int, %lu an unsigned long.
#include <cstdarg>
#include <string>

void DebugLog(const wchar_t* format, ...);
std::wstring FormatWideString(const wchar_t* format, ...);
std::wstring FormatWideStringV(const wchar_t* format, va_list args);
