// The yardstick for the start-up benchmark: the least a Win32 program of this shape does. A
// 376 x 208 borderless window centred in the work area, a header band in the program's header
// colour, and a full repaint on a 40 ms timer.
#include <windows.h>

namespace {

const wchar_t* const ClassName = L"QuillmereBenchMinimal";

LRESULT CALLBACK MinimalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        HBRUSH body = CreateSolidBrush(RGB(0xF1, 0xF4, 0xF9));
        HBRUSH header = CreateSolidBrush(RGB(0x1E, 0x2A, 0x44));
        RECT all = {0, 0, 376, 208};
        RECT band = {0, 0, 376, 48};
        FillRect(dc, &all, body);
        FillRect(dc, &band, header);
        DeleteObject(header);
        DeleteObject(body);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_TIMER:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MinimalProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = ClassName;
    if (!RegisterClassExW(&wc)) {
        return 1;
    }
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    HWND window = CreateWindowExW(WS_EX_APPWINDOW, ClassName, L"Minimal", WS_POPUP,
                                  area.left + (area.right - 376 - area.left) / 2,
                                  area.top + (area.bottom - 208 - area.top) / 2, 376, 208, nullptr,
                                  nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetForegroundWindow(window);
    SetTimer(window, 1, 40, nullptr);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
