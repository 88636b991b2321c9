#pragma once
// The one record of application state, and the fixed vocabulary of the seven loader buttons.
#include <windows.h>

#include <cstdint>
#include <string>

#include "sys/handles.h"
#include "sys/process.h"
#include "ui/window_state.h"

constexpr int LoaderCount = 7;

// The window's size at 96 dpi; the layout (ui/layout.h) scales it with everything else.
constexpr int32_t WindowWidth96 = 376;
constexpr int32_t WindowHeight96 = 208;

// The seven loader buttons, in button order (index 0 to 6); LoaderFacts below says what each is.
enum class Loader : int32_t {
    XorBoot,
    Bootmgr,
    Grub4Dos,
    Grub2,
    UefiBootmgr,
    UefiGrub2,
    UefiXorboot
};
enum class BootMode { Legacy, Uefi };

// A rectangle in pixels: x, y, width, height.
struct PixelRect {
    int32_t x, y, width, height;
};

// 0xRRGGBB to a GDI colour value (0x00BBGGRR); bits 24-31 are dropped.
constexpr COLORREF ToColorRef(uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

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
    bool busy = false;
    bool modalShown = false;
    int32_t runningAction = -1;
    int32_t legacyLoader = -1;
    int32_t uefiLoader = -1;
    bool minimizePressed = false;
    bool closePressed = false;
    bool dragging = false;
    int32_t dragOffsetX = 0;
    int32_t dragOffsetY = 0;
    int32_t pressedButton = -1;
    HitZone hoverZone;        // where the pointer was at the last poll
    bool pointerDown = false; // and whether the primary button was held there
    PointerLatch pointerLatch;
    bool pressBeganHere = false; // from the window's down message to its up or a lost capture
    bool switching = false; // the switch itself runs (set by RunAction, its box excluded)
    bool pollResting = false;             // the poll's timer stopped, the pointer away
    KeptFrame keptFrame;
    HeldQuit heldQuit; // a quit request kept back until the running action has ended

    // Window (ui/window.cpp, ui/paint.cpp, ui/poll.cpp).
    bool OnCreate(HWND newWindow);
    void PaintWindow(HDC dc);
    void PollPointer();
    void WakePoll(); // restarts a resting poll: a mouse message or an activation came

    // Dispatch and messages (ui/dispatch.cpp).
    void RunAction(int32_t index);
    void ShowModalMessage(const std::wstring& text, UINT style);

    // Boot state (loaders/boot_state.cpp).
    void LoadBootState();
};

// What makes a loader button what it is. Nothing outside this table knows a loader by number.
struct LoaderFacts {
    Loader loader;
    const wchar_t* label; // on the button
    PixelRect place;      // at 96 dpi; the layout scales it
    BootMode mode;
    int32_t stateValue;  // in bootstate.txt and in legacyLoader or uefiLoader
    const wchar_t* name; // in the success message
};

extern const LoaderFacts Loaders[LoaderCount];

const LoaderFacts& FactsOf(Loader loader);
// The facts of button `index`; null for an index outside 0 to 6.
const LoaderFacts* FactsAtIndex(int32_t index);
// Whether the boot state values mark `loader` as the one installed in its mode.
bool IsInstalled(Loader loader, int32_t legacyLoader, int32_t uefiLoader);
