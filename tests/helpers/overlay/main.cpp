// A plain top-most window over a screen rectangle, standing for another program's window that
// happens to lie over the main window. Usage: overlay X Y WIDTH HEIGHT (screen pixels).
// It runs until closed or killed; its client area is filled with 0xFF00FF.
#include <windows.h>

#include <cwchar>

namespace {

LRESULT CALLBACK OverlayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        return 2;
    }
    int x = _wtoi(argv[1]), y = _wtoi(argv[2]), width = _wtoi(argv[3]), height = _wtoi(argv[4]);
    HBRUSH brush = CreateSolidBrush(RGB(0xFF, 0x00, 0xFF));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OverlayProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = brush;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"QuillmereTestOverlay";
    if (!RegisterClassExW(&wc)) {
        DeleteObject(brush);
        return 3;
    }
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"overlay",
                                  WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    if (!window) {
        DeleteObject(brush);
        return 4;
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DeleteObject(brush);
    return 0;
}
