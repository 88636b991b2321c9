#include "sys/process.h"
int RunProcessAndWait(const std::wstring&) { return -1; } // PLACEHOLDER
std::wstring GetCommandInterpreterPath() { return L"C:\\Windows\\System32\\cmd.exe"; }
