#include "ui/poll.h"

namespace {

constexpr COLORREF HeaderColor = ToColorRef(0x1E2A44);

bool Inside(int32_t value, int32_t low, int32_t high) {
    return value >= low && value < high;
}

COLORREF CaptionColor(bool over, bool down, COLORREF pressed, COLORREF hover) {
    if (!over) {
        return HeaderColor;
    }
    return down ? pressed : hover;
}

// Shared by both caption buttons: returns true when the press has just been released over it.
bool StepCaptionButton(bool& pressed, bool over, bool down) {
    if (over && down) {
        pressed = true;
        return false;
    }
    if (!pressed) {
        return false;
    }
    pressed = false;
    return over;
}

void StepLoaderButtons(PointerState& state, const PollInput& input, PollOutcome& outcome) {
    bool overButton = input.zone.kind == ZoneKind::Button;
    for (int32_t i = 0; i < LoaderCount; ++i) {
        bool over = overButton && input.zone.button == i;
        state.buttonFace[i] =
            over ? (input.down ? ToColorRef(0xCFE0FF) : ToColorRef(0xE4EEFF)) : 0xFFFFFF;
    }
    if (input.down) {
        state.pressedButton = overButton ? input.zone.button : -1;
        return;
    }
    if (state.pressedButton >= 0) {
        int32_t released = state.pressedButton;
        state.pressedButton = -1;
        if (overButton && input.zone.button == released) {
            outcome.clickButton = released;
        }
    }
}

} // namespace

HitZone HitTest(int32_t x, int32_t y) {
    if (Inside(x, 306, 336) && Inside(y, 2, 20)) {
        return {ZoneKind::Minimize, -1};
    }
    if (Inside(x, 338, 368) && Inside(y, 2, 20)) {
        return {ZoneKind::Close, -1};
    }
    if (Inside(x, 0, 376) && Inside(y, 0, 48)) {
        return {ZoneKind::Header, -1};
    }
    for (int32_t i = 0; i < LoaderCount; ++i) {
        const ButtonRect& r = ButtonRects[i];
        if (Inside(x, r.x - 1, r.x + r.width + 1) && Inside(y, r.y - 1, r.y + r.height + 1)) {
            return {ZoneKind::Button, i};
        }
    }
    return {};
}

HitZone SampleZone(int32_t clientX, int32_t clientY, bool overOwnWindow) {
    return overOwnWindow ? HitTest(clientX, clientY) : HitZone{};
}

PollOutcome StepPointer(const PointerState& previous, const PollInput& input) {
    PollOutcome outcome;
    outcome.state = previous;
    if (input.modalShown) {
        return outcome;
    }
    PointerState& state = outcome.state;
    if (input.busy) {
        state.pressedButton = -1;
        for (int32_t i = 0; i < LoaderCount; ++i) {
            state.buttonFace[i] =
                i == input.runningAction ? ToColorRef(0xD8E4F8) : ToColorRef(0xE9ECF1);
        }
        state.minimizeColor = HeaderColor;
        state.closeColor = HeaderColor;
        outcome.repaint = true;
        return outcome;
    }
    bool onMinimize = input.zone.kind == ZoneKind::Minimize;
    bool onClose = input.zone.kind == ZoneKind::Close;
    state.minimizeColor =
        CaptionColor(onMinimize, input.down, ToColorRef(0x3A4A6B), ToColorRef(0x2C3A57));
    state.closeColor =
        CaptionColor(onClose, input.down, ToColorRef(0xC0392B), ToColorRef(0xE04B3F));
    outcome.minimize = StepCaptionButton(state.minimizePressed, onMinimize, input.down);
    if (StepCaptionButton(state.closePressed, onClose, input.down)) {
        outcome.destroy = true;
        return outcome;
    }
    if (input.zone.kind == ZoneKind::Header && input.down && !state.dragging) {
        outcome.startDrag = true;
        state.dragging = true;
    }
    if (state.dragging) {
        if (input.down) {
            outcome.moveWindow = true;
        } else {
            state.dragging = false;
        }
    }
    StepLoaderButtons(state, input, outcome);
    outcome.repaint = true;
    return outcome;
}

PointerState PointerStateOf(const AppContext& context) {
    PointerState state;
    state.minimizePressed = context.minimizePressed;
    state.closePressed = context.closePressed;
    state.dragging = context.dragging;
    state.pressedButton = context.pressedButton;
    state.minimizeColor = context.minimizeColor;
    state.closeColor = context.closeColor;
    for (int32_t i = 0; i < LoaderCount; ++i) {
        state.buttonFace[i] = context.buttonFace[i];
    }
    return state;
}

void StorePointerState(AppContext& context, const PointerState& state) {
    context.minimizePressed = state.minimizePressed;
    context.closePressed = state.closePressed;
    context.dragging = state.dragging;
    context.pressedButton = state.pressedButton;
    context.minimizeColor = state.minimizeColor;
    context.closeColor = state.closeColor;
    for (int32_t i = 0; i < LoaderCount; ++i) {
        context.buttonFace[i] = state.buttonFace[i];
    }
}

namespace {

bool PointerOverWindow(HWND window, POINT screen) {
    HWND under = WindowFromPoint(screen);
    return under && GetAncestor(under, GA_ROOT) == window;
}

void StartDrag(AppContext& context) {
    POINT cursor{};
    RECT frame{};
    GetCursorPos(&cursor);
    GetWindowRect(context.window, &frame);
    context.dragOffsetX = cursor.x - frame.left;
    context.dragOffsetY = cursor.y - frame.top;
}

void FollowDrag(const AppContext& context) {
    POINT cursor{};
    GetCursorPos(&cursor);
    SetWindowPos(context.window, nullptr, cursor.x - context.dragOffsetX,
                 cursor.y - context.dragOffsetY, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

void AppContext::PollPointer() {
    if (modalShown) {
        return;
    }
    POINT cursor{};
    bool sampled = GetCursorPos(&cursor) != FALSE;
    bool down = (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0;
    POINT client = cursor;
    ScreenToClient(window, &client);
    PollInput input;
    input.zone = SampleZone(client.x, client.y, sampled && PointerOverWindow(window, cursor));
    input.down = down;
    input.busy = busy;
    input.modalShown = modalShown;
    input.runningAction = runningAction;

    PollOutcome outcome = StepPointer(PointerStateOf(*this), input);
    // Stored before any effect: minimise, move and the action dispatch nested ticks.
    StorePointerState(*this, outcome.state);
    if (outcome.minimize) {
        ShowWindow(window, SW_MINIMIZE);
    }
    if (outcome.destroy) {
        DestroyWindow(window);
        return;
    }
    if (outcome.startDrag) {
        StartDrag(*this);
    }
    if (outcome.moveWindow) {
        FollowDrag(*this);
    }
    if (outcome.clickButton >= 0) {
        RunAction(outcome.clickButton);
    }
    if (outcome.repaint) {
        InvalidateRect(window, nullptr, FALSE);
    }
}
