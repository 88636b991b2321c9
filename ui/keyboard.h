#pragma once
// The window's keys: the focus order of the loader buttons, the arrows' nearest button, and one
// key's effect as a function of values.
#include <windows.h>

#include <cstdint>

#include "ui/layout.h"
#include "ui/window_state.h"

// Where the focus starts: the recorded Legacy BIOS loader's button, else button 0. The cue shows
// from the start only when the user's setting shows keyboard cues always.
KeyboardFocus InitialFocus(int32_t legacyLoader, bool cuesAlwaysShown);

// Tab's next button (Shift+Tab's previous), in index order, wrapping.
int32_t NextInTabOrder(int32_t button, bool backwards);

// The nearest button from `button` in the direction of an arrow key (VK_LEFT, VK_RIGHT, VK_UP,
// VK_DOWN); `button` itself when none lies that way.
int32_t NearestInDirection(const WindowLayout& layout, int32_t button, UINT arrowKey);

struct KeyOutcome {
    KeyboardFocus focus;
    bool handled = false; // the key is one of the window's
    int32_t click = -1;   // a click on this button
    bool close = false;   // close as the close glyph does
};

// One key down (`repeat`: the key was already down, an auto-repeat). The first Tab or arrow
// only shows a hidden cue; until it shows, Enter and Space do nothing, so a stray key at start
// runs nothing. A held Enter, Space or Esc acts once: the key that closed a box, still held,
// neither clicks again nor closes the window.
KeyOutcome StepKey(const WindowLayout& layout, const KeyboardFocus& focus, UINT key, bool shift,
                   bool repeat);

// Whether the user's setting shows keyboard cues from the start (SPI_GETKEYBOARDCUES).
bool KeyboardCuesAlwaysShown();
