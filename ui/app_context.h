#pragma once
// The one record of application state. Its window operations live beside it in ui/; it includes
// only ui/window_state.h, the loaders and sys, so the window and the start-up may both read it.
#include <windows.h>

#include <cstdint>
#include <string>

#include "sys/handles.h"
#include "sys/process.h"
#include "ui/window_state.h"
#include "loaders/loader_table.h"

struct WindowAccessible; // ui/accessible.cpp

struct AppContext {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    FontHandle titleFont;
    FontHandle subtitleFont;
    FontHandle minimizeFont;
    FontHandle closeFont;
    FontHandle groupFont;
    FontHandle buttonFont;
    int32_t clientWidth = WindowWidth96;
    int32_t clientHeight = WindowHeight96;
    int32_t dpi = 96; // LOGPIXELSY of the window, read once at creation
    std::wstring installerRoot;
    std::wstring bootDir;
    std::wstring bootIcePath;
    ActionStatus status;
    PointerState pointer;
    int32_t dragOffsetX = 0;
    int32_t dragOffsetY = 0;
    PointerLatch pointerLatch;
    KeyboardFocus keyboard;
    bool pressBeganHere = false; // from the window's down message to its up or a lost capture
    POINT pressPoint{};          // where that press began, in screen pixels
    bool switching = false;      // the switch itself runs (set by RunAction, its box excluded)
    bool pollResting = false;    // the poll's timer stopped, the pointer away
    KeptFrame keptFrame;
    WindowAccessible* accessible = nullptr; // made at the first WM_GETOBJECT, cut off at WM_DESTROY
    Theme theme;       // read at creation and again when Windows announces a change of settings
    HeldQuit heldQuit; // a quit request kept back until the running action has ended

    // Window (ui/window.cpp, ui/paint.cpp, ui/poll.cpp).
    bool OnCreate(HWND newWindow);
    void PaintWindow(HDC dc);
    void PollPointer();
    void WakePoll(); // restarts a resting poll: a mouse message or an activation came

    // Keyboard (ui/keyboard.cpp): true when the key was the window's; `repeat` for an
    // auto-repeat of a key already down.
    bool OnKey(UINT key, bool shift, bool repeat);
    // A close asked for by a key, the system menu or another program: refused with a beep
    // while an action runs.
    void RequestClose();

    // Dispatch and messages (ui/dispatch.cpp). `index` is a loader button's, or UndoActionIndex
    // (ui/system_menu.h) for the undo of the last switch, which asks first.
    void RunAction(int32_t index);
    // The box's answer (IDOK, IDCANCEL...), 0 when it could not be shown.
    int ShowModalMessage(const std::wstring& text, UINT style);

    // Boot state (ui/window.cpp, through loaders/boot_state.h).
    void LoadBootState();
};
