#pragma once
// The program's window procedure under a window class of the caller's own, so tests and
// benchmarks can create the real window inside their own process.
#include <windows.h>

#include "ui/window.h"

// True when the class is registered (now or by an earlier call).
inline bool RegisterMainWindowClass(const wchar_t* className) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
