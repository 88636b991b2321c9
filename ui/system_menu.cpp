#include "ui/system_menu.h"

void PrepareSystemMenu(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    if (!menu) {
        return;
    }
    DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
}

void UpdateSystemMenu(HWND window, bool busy) {
    if (HMENU menu = GetSystemMenu(window, FALSE)) {
        EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (busy ? MF_GRAYED : MF_ENABLED));
    }
}
