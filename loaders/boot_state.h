#pragma once
// bootstate.txt in the boot directory: which loader each boot mode last received.
#include <cstddef>
#include <cstdint>
#include <string>

// Pure reading rule over the file's first bytes (at most 255 are ever read).
int32_t ParseBootStateValue(const char* content, size_t length, const char* key);
// Pure writing rule: "legacy=N\nuefi=M\n".
std::string FormatBootState(int32_t legacy, int32_t uefi);

int32_t ReadBootStateValue(const std::wstring& path, const char* key);
void SaveBootState(const std::wstring& bootDir, int32_t legacy, int32_t uefi);
