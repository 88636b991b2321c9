#include "app/app_context.h"
#include "loaders/boot_state.h"
int32_t ParseBootStateValue(const char*, size_t, const char*) { return -1; } // PLACEHOLDER
std::string FormatBootState(int32_t, int32_t) { return {}; }
int32_t ReadBootStateValue(const std::wstring&, const char*) { return -1; }
void SaveBootState(const std::wstring&, int32_t, int32_t) {}
void AppContext::LoadBootState() {}
