// quillmere-driver: drives the program's window from a shell, for the demo and for people
// checking a build by hand. Every command prints one line (UTF-8) and exits 0 on success.
//   window [ms]          wait for the window; print its handle and screen rectangle
//   box [ms]             wait for a message box; print caption, icon and text
//   ok [ms]              wait for a message box and press its OK button
//   pixel X Y            the client pixel (X, Y) as RRGGBB
//   click X Y            press and release the left button at client (X, Y)
//   move X Y             move the pointer to client (X, Y)
//   close                ask the window to close (WM_CLOSE)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/window_driver.h"

namespace {

void PrintLine(const std::wstring& text) {
    std::wstring line = text + L"\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &bytes[0], size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

std::wstring Escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        out += c == L'\r'   ? std::wstring(L"\\r")
               : c == L'\n' ? std::wstring(L"\\n")
                            : std::wstring(1, c);
    }
    return out;
}

DWORD Timeout(int argc, wchar_t** argv, int index) {
    return argc > index ? static_cast<DWORD>(_wtoi(argv[index])) : 5000;
}

int Fail(const std::wstring& why) {
    PrintLine(L"error: " + why);
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Fail(L"usage: quillmere-driver window|box|ok|pixel|click|move|close ...");
    }
    // Screen and client pixels as they are, also on a screen scaled above 96 dpi.
    SetProcessDPIAware();
    std::wstring command = argv[1];
    if (command == L"box" || command == L"ok") {
        MessageBoxInfo box;
        if (!WaitForMessageBox(0, Timeout(argc, argv, 2), box)) {
            return Fail(L"no message box");
        }
        PrintLine(L"caption=" + box.caption + L" icon=" +
                  std::wstring(box.icon.begin(), box.icon.end()) + L" text=" + Escaped(box.text));
        return command == L"ok" && !PressOk(box) ? Fail(L"box did not close") : 0;
    }
    HWND window = WaitForAppWindow(0, command == L"window" ? Timeout(argc, argv, 2) : 5000);
    if (!window) {
        return Fail(L"no window");
    }
    if (command == L"window") {
        RECT rect{};
        GetWindowRect(window, &rect);
        wchar_t line[128];
        _snwprintf(line, 128, L"window=%p rect=%ld,%ld,%ld,%ld", static_cast<void*>(window),
                   rect.left, rect.top, rect.right, rect.bottom);
        PrintLine(line);
        return 0;
    }
    if (command == L"close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (argc < 4) {
        return Fail(L"missing X Y");
    }
    int x = _wtoi(argv[2]), y = _wtoi(argv[3]);
    if (command == L"pixel") {
        wchar_t line[32];
        _snwprintf(line, 32, L"%06X", ReadClientPixel(window, x, y));
        PrintLine(line);
        return 0;
    }
    if (command == L"click") {
        ClickClient(window, x, y);
        return 0;
    }
    if (command == L"move") {
        MovePointerToClient(window, x, y);
        return 0;
    }
    return Fail(L"unknown command " + command);
}
