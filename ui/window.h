#pragma once
// The main window's procedure and the DPI rule of its fonts.
#include <windows.h>

#include <cstdint>

// A popup without caption or border; the system menu and the minimise box give it Alt+Space and
// the taskbar button's minimise and restore, and show nothing of their own.
constexpr DWORD MainWindowStyle = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Character height in device units for a point size: negative, truncated toward zero.
// A dpi of 0 or less counts as 96.
int32_t FontHeight(int32_t points, int32_t dpi);

// Icon resource 1 at the small-icon size, drawn for it rather than the large one scaled down;
// shared, so nobody destroys it. Null when it does not load.
HICON LoadSmallIcon(HINSTANCE instance);
