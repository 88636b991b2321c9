#include "ui/system_menu.h"

#include "loaders/user_texts.h"

void PrepareSystemMenu(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    if (!menu) {
        return;
    }
    DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    InsertMenuW(menu, SC_CLOSE, MF_BYCOMMAND | MF_STRING, UndoCommandId, UndoMenuText);
}

void UpdateSystemMenu(HWND window, bool busy, bool undoAvailable) {
    if (HMENU menu = GetSystemMenu(window, FALSE)) {
        EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (busy ? MF_GRAYED : MF_ENABLED));
        EnableMenuItem(menu, UndoCommandId,
                       MF_BYCOMMAND | (busy || !undoAvailable ? MF_GRAYED : MF_ENABLED));
    }
}

bool IsUndoCommand(WPARAM wParam) {
    return (wParam & 0xFFF0) == UndoCommandId;
}
