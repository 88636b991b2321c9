#pragma once
// The window's system menu (Alt+Space, the taskbar button's menu): Windows' own Move, Minimise
// and Close, and the undo of the last switch; the window has no size to restore, change or
// maximise.
#include <windows.h>

#include <cstdint>

// The undo's command: below 0xF000 with the low four bits zero, as WM_SYSCOMMAND requires.
constexpr UINT UndoCommandId = 0x0100;
// The index RunAction takes for the undo: no button's, and not -1, which means none runs.
constexpr int32_t UndoActionIndex = -2;

// At creation: drops Restore, Size and Maximise and adds the undo above Close.
void PrepareSystemMenu(HWND window);

// When the menu opens: Close and the undo are grey while an action runs, the undo also while
// there is nothing to undo.
void UpdateSystemMenu(HWND window, bool busy, bool undoAvailable);

// Whether a WM_SYSCOMMAND's wParam is the undo (Windows uses the low four bits itself).
bool IsUndoCommand(WPARAM wParam);
