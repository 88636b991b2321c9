#include "ui/keyboard.h"

#include "sys/debug_log.h"
#include "ui/accessible.h"
#include "ui/app_context.h"

namespace {

struct Center {
    int32_t x, y;
};

Center CenterOf(const PixelRect& r) {
    return {r.x + r.width / 2, r.y + r.height / 2};
}

bool IsArrow(UINT key) {
    return key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN;
}

} // namespace

KeyboardFocus InitialFocus(int32_t legacyLoader, bool cuesAlwaysShown) {
    const LoaderFacts* facts = FactsAtIndex(legacyLoader);
    const bool recorded = facts && facts->mode == BootMode::Legacy;
    return {recorded ? legacyLoader : 0, cuesAlwaysShown};
}

int32_t NextInTabOrder(int32_t button, bool backwards) {
    return (button + (backwards ? LoaderCount - 1 : 1)) % LoaderCount;
}

int32_t NearestInDirection(const WindowLayout& layout, int32_t button, UINT arrowKey) {
    const PixelRect& start = layout.buttons[button];
    const Center from = CenterOf(start);
    const bool horizontal = arrowKey == VK_LEFT || arrowKey == VK_RIGHT;
    const int32_t sign = arrowKey == VK_LEFT || arrowKey == VK_UP ? -1 : 1;
    int32_t best = button;
    int32_t bestScore = 0;
    for (int32_t i = 0; i < LoaderCount; ++i) {
        const PixelRect& r = layout.buttons[i];
        // Only a button wholly beyond the edge the arrow points at lies that way.
        const bool beyond =
            horizontal ? (sign < 0 ? r.x + r.width <= start.x : r.x >= start.x + start.width)
                       : (sign < 0 ? r.y + r.height <= start.y : r.y >= start.y + start.height);
        if (!beyond) {
            continue;
        }
        const Center to = CenterOf(r);
        const int32_t along = sign * (horizontal ? to.x - from.x : to.y - from.y);
        const int32_t across = horizontal ? to.y - from.y : to.x - from.x;
        // A step sideways counts twice: Right from a row's first button is its second, not the
        // nearer button of the row below.
        const int32_t score = along + 2 * (across < 0 ? -across : across);
        if (best == button || score < bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}

KeyOutcome StepKey(const WindowLayout& layout, const KeyboardFocus& focus, UINT key, bool shift,
                   bool repeat) {
    KeyOutcome outcome;
    outcome.focus = focus;
    if (key == VK_TAB || IsArrow(key)) {
        outcome.handled = true;
        if (!focus.cueShown) {
            outcome.focus.cueShown = true;
        } else {
            outcome.focus.button = key == VK_TAB ? NextInTabOrder(focus.button, shift)
                                                 : NearestInDirection(layout, focus.button, key);
        }
    } else if (key == VK_RETURN || key == VK_SPACE) {
        outcome.handled = true;
        if (focus.cueShown && !repeat) {
            outcome.click = focus.button;
        }
    } else if (key == VK_ESCAPE) {
        outcome.handled = true;
        outcome.close = !repeat;
    }
    return outcome;
}

bool KeyboardCuesAlwaysShown() {
    BOOL shown = FALSE;
    return SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &shown, 0) && shown;
}

bool AppContext::OnKey(UINT key, bool shift, bool repeat) {
    const KeyOutcome outcome = StepKey(LayoutAt(dpi), keyboard, key, shift, repeat);
    if (!outcome.handled) {
        return false;
    }
    const bool moved = outcome.focus.button != keyboard.button;
    if (outcome.focus != keyboard) {
        keyboard = outcome.focus;
        InvalidateRect(window, nullptr, FALSE);
    }
    if (moved) {
        NotifyAccessibleFocus(*this);
    }
    if (outcome.close) {
        RequestClose();
    } else if (outcome.click >= 0 && !status.busy && !status.modalShown) {
        RunAction(outcome.click);
    }
    return true;
}

void AppContext::RequestClose() {
    // The action's child process or box would be orphaned mid-write: the user closes later.
    if (status.busy) {
        DebugLog(L"WM_CLOSE busy=%d", 1);
        MessageBeep(MB_ICONWARNING);
        return;
    }
    DebugLog(L"WM_CLOSE busy=%d", 0);
    DestroyWindow(window);
}
