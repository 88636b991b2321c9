#pragma once
// bootstate.txt in the boot directory: which loader each boot mode last received.
#include <cstddef>
#include <cstdint>
#include <string>

// Only this many bytes from the start of the file are ever looked at.
constexpr size_t BootStateReadLimit = 255;

// Pure reading rule over the file's first bytes (bytes past BootStateReadLimit are ignored).
// The value after the first "key=" as a run of decimal digits; -1 when there is none. A run too
// large for 32 bits saturates at 2147483647.
int32_t ParseBootStateValue(const char* content, size_t length, const char* key);
// Pure writing rule: "legacy=N\nuefi=M\n".
std::string FormatBootState(int32_t legacy, int32_t uefi);

int32_t ReadBootStateValue(const std::wstring& path, const char* key);
// False when the file could not be written whole. The new text replaces the old one through a
// temporary, so a stop never leaves the file cut or empty.
bool SaveBootState(const std::wstring& bootDir, int32_t legacy, int32_t uefi);
