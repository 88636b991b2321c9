#pragma once
// The window's system menu (Alt+Space, the taskbar button's menu): Windows' own Move, Minimise
// and Close; the window has no size to restore, change or maximise.
#include <windows.h>

// At creation: drops Restore, Size and Maximise from the window's copy of the menu.
void PrepareSystemMenu(HWND window);

// When the menu opens: Close is grey while an action runs, as the close request is refused then.
void UpdateSystemMenu(HWND window, bool busy);
