#pragma once
// The window's dpi: where it is read, and what a change of it remakes. On Windows 8.1 and later
// every monitor has a dpi of its own, and the window follows the one it lies on.
#include <windows.h>

#include <cstdint>

struct AppContext;

// GetDpiForWindow where Windows has it (Windows 10 1607 on), looked up at run time so the
// program still starts on Windows 7; elsewhere, and for no window, LOGPIXELSY of the window's
// (the screen's) device context. 96 when neither answers.
int32_t WindowDpi(HWND window);

// A length measured at `oldDpi`, such as a drag's offset from the window's corner, at `newDpi`.
int32_t RescaleLength(int32_t value, int32_t oldDpi, int32_t newDpi);

// The six fonts of the window at `dpi`, into the context only when every one was made; false,
// and the fonts the context held stay, when one could not be.
bool CreateWindowFonts(AppContext& context, int32_t dpi);

// The window at `dpi` (a WM_DPICHANGED): new fonts, layout and kept frame, the window on the
// rectangle Windows suggests, and a drag in progress keeping the grabbed point under the
// pointer. A dpi of 0 or less counts as 96.
void ApplyWindowDpi(AppContext& context, int32_t dpi, const RECT& suggested);
