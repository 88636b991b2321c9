#pragma once
// The records of the window that live in the context: the zone under the pointer, a press and
// release latched between two polls, and the kept frame with the values it shows.
#include <windows.h>

#include <array>
#include <cstdint>

#include "sys/handles.h"

enum class ZoneKind { None, Header, Minimize, Close, Button };

struct HitZone {
    ZoneKind kind = ZoneKind::None;
    int32_t button = -1; // 0 to 6 for ZoneKind::Button, else -1

    bool operator==(const HitZone& other) const {
        return kind == other.kind && button == other.button;
    }
    bool operator!=(const HitZone& other) const { return !(*this == other); }
};

// The pointer as the last poll left it, the one record of it the context holds: zones and
// flags, never colours. One poll step rewrites it.
struct PointerState {
    bool minimizePressed = false;
    bool closePressed = false;
    bool dragging = false;
    int32_t pressedButton = -1;
    HitZone hover;     // where the pointer was
    bool down = false; // and whether the primary button was held there
};

// A press and release of the primary button that the window's own messages saw, in screen
// pixels, kept for the next poll: a tap can begin and end between two polls.
struct PointerLatch {
    bool pressed = false;
    bool released = false;
    POINT pressAt{};
    POINT releaseAt{};
};

// The marked loaders and what runs or is open over the window: the context holds it, every
// frame shows a copy.
struct ActionStatus {
    bool busy = false;          // an action runs
    bool modalShown = false;    // a message box is open over the window
    int32_t runningAction = -1; // the button whose action runs
    int32_t legacyLoader = -1;  // bootstate.txt's choices; -1 none
    int32_t uefiLoader = -1;

    bool operator==(const ActionStatus& other) const {
        return busy == other.busy && modalShown == other.modalShown &&
               runningAction == other.runningAction && legacyLoader == other.legacyLoader &&
               uefiLoader == other.uefiLoader;
    }
};

// The keyboard focus among the loader buttons, and whether its cue shows: Windows hides focus
// cues until a key asks for them, unless the user's setting shows them always.
struct KeyboardFocus {
    int32_t button = 0;
    bool cueShown = false;

    bool operator==(const KeyboardFocus& other) const {
        return button == other.button && cueShown == other.cueShown;
    }
    bool operator!=(const KeyboardFocus& other) const { return !(*this == other); }
};

// The look Windows asks for. In high contrast only the system colours (GetSysColor, indexed by
// COLOR_*) paint the window; outside it the table stays empty and the window's palette paints.
struct Theme {
    bool highContrast = false;
    std::array<COLORREF, COLOR_MENUBAR + 1> systemColors{};

    bool operator==(const Theme& other) const {
        return highContrast == other.highContrast && systemColors == other.systemColors;
    }
};

// Everything a frame shows, as values: two equal records paint the same pixels.
struct FrameState {
    int32_t width = 0;
    int32_t height = 0;
    int32_t dpi = 96;
    ActionStatus status;
    HitZone hover;
    bool down = false;     // primary button held over `hover`
    int32_t focusCue = -1; // the button showing the focus cue; -1 none
    Theme theme;

    bool operator==(const FrameState& other) const {
        return width == other.width && height == other.height && dpi == other.dpi &&
               status == other.status && hover == other.hover && down == other.down &&
               focusCue == other.focusCue && theme == other.theme;
    }
    bool operator!=(const FrameState& other) const { return !(*this == other); }
};

// The last frame drawn, in a memory bitmap of the window's size that stays selected into its
// memory device context; redrawn only when what it shows has changed.
struct KeptFrame {
    // Members die in reverse order: the device context before the bitmap it holds selected.
    BitmapHandle bitmap;
    MemoryDcHandle dc;
    FrameState shows;
    bool drawn = false;

    // The device context goes first: a bitmap still selected into one cannot be deleted.
    void Release() {
        dc.Reset();
        bitmap.Reset();
        drawn = false;
    }
};
