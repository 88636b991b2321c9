#include "sys/debug_log.h"
void DebugLog(const wchar_t*, ...) {} // PLACEHOLDER
std::wstring FormatWideString(const wchar_t*, ...) { return {}; }
std::wstring FormatWideStringV(const wchar_t*, va_list) { return {}; }
