#pragma once
// The program's window procedure under a window class of the caller's own, so tests and
// benchmarks can create the real window inside their own process.
#include <windows.h>

#include <string>

#include "tests/support/sim_drive.h"
#include "ui/app_context.h"
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

// The program's window procedure as a 376 x 208 popup of this process over `context` (null: no
// context), at (x, y); null when it could not be created.
inline HWND CreateProgramWindow(AppContext* context, DWORD style = WS_POPUP, int x = 0, int y = 0) {
    const wchar_t* const className = L"QuillmereTestWindow";
    if (!RegisterMainWindowClass(className)) {
        return nullptr;
    }
    return CreateWindowExW(0, className, L"", style, x, y, 376, 208, nullptr, nullptr,
                           GetModuleHandleW(nullptr), context);
}

// The program's real window in the test's own thread, over a context of the test's own. Fields
// the window reads when it is created (bootDir) are set on `context` before Create.
struct ProgramWindow {
    AppContext context;
    HWND window = nullptr;

    ProgramWindow() = default;
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;
    ~ProgramWindow() { Destroy(); }

    // A window never shown stays out of the pointer's way, and under Wine without a window
    // manager hiding a shown window costs seconds.
    bool Create(bool shown) {
        window = CreateProgramWindow(&context, MainWindowStyle | (shown ? WS_VISIBLE : 0), 40, 40);
        return window != nullptr;
    }
    // Destroys the window and takes back the quit request its destruction posts, so it cannot
    // end a later wait of the same thread.
    void Destroy() {
        if (window) {
            DestroyWindow(window);
            window = nullptr;
            context.window = nullptr;
            MSG quit;
            PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        }
    }
};

// The window over the boot folder <build>\drives\<name>\efi\Telvorn\Boot, whose bootstate.txt
// holds `bootState`, on Q:, which is no volume: a click ends in the target refusal.
inline bool OpenWithBootState(ProgramWindow& test, const std::wstring& name,
                              const std::string& bootState, bool shown) {
    test.context.bootDir = BuildDir() + L"\\drives\\" + name + L"\\efi\\Telvorn\\Boot";
    test.context.installerRoot = L"Q:";
    return MakeFolders(test.context.bootDir) &&
           WriteBytes(test.context.bootDir + L"\\bootstate.txt", bootState) && test.Create(shown);
}
