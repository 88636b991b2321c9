#include "ui/poll.h"

#include "res/resource_ids.h"
#include "ui/placement.h"

namespace {

bool Inside(int32_t value, int32_t low, int32_t high) {
    return value >= low && value < high;
}

bool InsideRect(int32_t x, int32_t y, const PixelRect& r, int32_t grow) {
    return Inside(x, r.x - grow, r.x + r.width + grow) &&
           Inside(y, r.y - grow, r.y + r.height + grow);
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

void StepLoaderButtons(PointerState& state, HitZone zone, bool down, PollOutcome& outcome) {
    bool overButton = zone.kind == ZoneKind::Button;
    if (down) {
        state.pressedButton = overButton ? zone.button : -1;
        return;
    }
    if (state.pressedButton >= 0) {
        int32_t released = state.pressedButton;
        state.pressedButton = -1;
        if (overButton && zone.button == released) {
            outcome.clickButton = released;
        }
    }
}

} // namespace

HitZone HitTest(const WindowLayout& layout, int32_t x, int32_t y) {
    if (InsideRect(x, y, layout.minimize, 0)) {
        return {ZoneKind::Minimize, -1};
    }
    if (InsideRect(x, y, layout.close, 0)) {
        return {ZoneKind::Close, -1};
    }
    if (InsideRect(x, y, layout.header, 0)) {
        return {ZoneKind::Header, -1};
    }
    // The hit area of a button is its painted frame.
    for (int32_t i = 0; i < LoaderCount; ++i) {
        if (InsideRect(x, y, layout.buttons[i], layout.buttonBorder)) {
            return {ZoneKind::Button, i};
        }
    }
    return {};
}

HitZone SampleZone(const WindowLayout& layout, int32_t clientX, int32_t clientY,
                   bool overOwnWindow) {
    return overOwnWindow ? HitTest(layout, clientX, clientY) : HitZone{};
}

int PrimaryButtonKey(int swapButton) {
    return swapButton != 0 ? VK_RBUTTON : VK_LBUTTON;
}

PointerLatch LatchButton(PointerLatch latch, bool down, POINT screen) {
    if (down) {
        latch.pressed = true;
        latch.released = false;
        latch.pressAt = screen;
    } else if (latch.pressed && !latch.released) {
        latch.released = true;
        latch.releaseAt = screen;
    }
    return latch;
}

int TickSamples(const PointerLatch& latch, const PointerSample& live, PointerSample (&out)[2]) {
    if (latch.pressed && latch.released) {
        // The window's own messages latched both: the press began over it.
        out[0] = {true, latch.pressAt, true, true};
        out[1] = {true, latch.releaseAt, false, true};
        return 2;
    }
    out[0] = live;
    if (latch.pressed && !latch.released) {
        // The window got the press and no release since: it is held, whatever the live reading
        // says yet, so the release a later poll sees finds the button it was pressed on.
        out[0].down = true;
    }
    return 1;
}

PollOutcome StepPointer(const PointerState& previous, const PollInput& input) {
    PollOutcome outcome;
    outcome.state = previous;
    if (input.modalShown) {
        return outcome;
    }
    PointerState& state = outcome.state;
    if (input.busy) {
        // Nothing is lit while an action runs, so nothing stale shows once it has ended.
        state.pressedButton = -1;
        state.hover = {};
        state.down = false;
        outcome.repaint = true;
        return outcome;
    }
    // A press begun elsewhere counts as no press at all: it lights, arms and drags nothing.
    const bool down = input.down && input.pressBeganHere;
    state.hover = input.zone;
    state.down = down;
    bool onMinimize = input.zone.kind == ZoneKind::Minimize;
    bool onClose = input.zone.kind == ZoneKind::Close;
    outcome.minimize = StepCaptionButton(state.minimizePressed, onMinimize, down);
    if (StepCaptionButton(state.closePressed, onClose, down)) {
        outcome.destroy = true;
        return outcome;
    }
    if (input.zone.kind == ZoneKind::Header && down && !state.dragging) {
        outcome.startDrag = true;
        state.dragging = true;
    }
    if (state.dragging) {
        if (down) {
            outcome.moveWindow = true;
        } else {
            state.dragging = false;
        }
    }
    StepLoaderButtons(state, input.zone, down, outcome);
    outcome.repaint = true;
    return outcome;
}

POINT DragOffset(POINT pressPoint, bool pressedOnHeader, POINT cursor, POINT windowCorner) {
    const POINT from = pressedOnHeader ? pressPoint : cursor;
    return {from.x - windowCorner.x, from.y - windowCorner.y};
}

bool MayRest(const PointerState& state, bool pointerOverWindow, bool down, bool busy,
             bool modalShown) {
    return !pointerOverWindow && !down && !busy && !modalShown && !state.minimizePressed &&
           !state.closePressed && !state.dragging && state.pressedButton < 0;
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
    POINT pressed = context.pressPoint;
    ScreenToClient(context.window, &pressed);
    const bool onHeader =
        HitTest(LayoutAt(context.dpi), pressed.x, pressed.y).kind == ZoneKind::Header;
    const POINT offset = DragOffset(context.pressPoint, onHeader, cursor, {frame.left, frame.top});
    context.dragOffsetX = offset.x;
    context.dragOffsetY = offset.y;
}

void FollowDrag(const AppContext& context) {
    POINT cursor{};
    GetCursorPos(&cursor);
    // The header stays within reach: never under the taskbar or off every monitor.
    const WindowLayout layout = LayoutAt(context.dpi);
    const POINT corner = KeptOnWorkArea(
        CurrentMonitors(), cursor, {cursor.x - context.dragOffsetX, cursor.y - context.dragOffsetY},
        layout.window.width, layout.header.height);
    SetWindowPos(context.window, nullptr, corner.x, corner.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

PointerSample LiveSample(bool pressBeganHere) {
    PointerSample live;
    live.pressBeganHere = pressBeganHere;
    live.valid = GetCursorPos(&live.screen) != FALSE;
    live.down = (GetAsyncKeyState(PrimaryButtonKey(GetSystemMetrics(SM_SWAPBUTTON))) & 0x8000) != 0;
    return live;
}

// One step with its effects; false when the window has been destroyed.
bool StepAndAct(AppContext& context, const PointerSample& sample, bool& repaint) {
    POINT client = sample.screen;
    ScreenToClient(context.window, &client);
    const WindowLayout layout = LayoutAt(context.dpi);
    // Which window lies under the pointer is a trip to the window system: asked only for a
    // point inside one of the zones.
    const bool inZone = HitTest(layout, client.x, client.y).kind != ZoneKind::None;
    PollInput input;
    input.zone =
        SampleZone(layout, client.x, client.y,
                   sample.valid && inZone && PointerOverWindow(context.window, sample.screen));
    input.down = sample.down;
    input.pressBeganHere = sample.pressBeganHere;
    input.busy = context.status.busy;
    input.modalShown = context.status.modalShown;

    PollOutcome outcome = StepPointer(context.pointer, input);
    // Stored before any effect: minimise, move and the action dispatch nested polls.
    context.pointer = outcome.state;
    if (outcome.minimize) {
        ShowWindow(context.window, SW_MINIMIZE);
    }
    if (outcome.destroy) {
        DestroyWindow(context.window);
        return false;
    }
    if (outcome.startDrag) {
        StartDrag(context);
    }
    if (outcome.moveWindow) {
        FollowDrag(context);
    }
    if (outcome.clickButton >= 0) {
        context.RunAction(outcome.clickButton);
    }
    repaint = repaint || outcome.repaint;
    return true;
}

} // namespace

void AppContext::PollPointer() {
    // Taken on every poll, also under a message, so a tap from before a message never acts
    // after it.
    const PointerLatch latch = pointerLatch;
    pointerLatch = PointerLatch{};
    if (status.modalShown) {
        return;
    }
    PointerSample samples[2];
    const int count = TickSamples(latch, LiveSample(pressBeganHere), samples);
    bool repaint = false;
    for (int i = 0; i < count; ++i) {
        if (!StepAndAct(*this, samples[i], repaint)) {
            return;
        }
    }
    if (repaint) {
        InvalidateRect(window, nullptr, FALSE);
    }
    const PointerSample& last = samples[count - 1];
    POINT client = last.screen;
    ScreenToClient(window, &client);
    RECT area{};
    GetClientRect(window, &area);
    const bool over =
        last.valid && PtInRect(&area, client) && PointerOverWindow(window, last.screen);
    // A laptop's processor rests only when nothing wakes it 25 times a second.
    if (MayRest(pointer, over, last.down, status.busy, status.modalShown) &&
        KillTimer(window, PollTimerId)) {
        pollResting = true;
    }
}

void AppContext::WakePoll() {
    if (pollResting && SetTimer(window, PollTimerId, PollPeriodMs, nullptr)) {
        pollResting = false;
    }
}
