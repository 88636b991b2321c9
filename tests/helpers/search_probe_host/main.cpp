// A window program with the default DLL search order: it shows that a DLL beside an
// executable is picked up when the search is not limited, so a test that finds no marker
// beside the real program has proved something.
#include <windows.h>

int wmain() {
    HWND window = CreateWindowExW(0, L"STATIC", L"probe host", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40,
                                  nullptr, nullptr, nullptr, nullptr);
    if (!window) {
        return 1;
    }
    UpdateWindow(window);
    const DWORD end = GetTickCount() + 1000;
    MSG message;
    while (GetTickCount() < end) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
    DestroyWindow(window);
    return 0;
}
