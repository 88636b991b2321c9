#pragma once
// The pointer polling's pure parts: the hit test and one tick's state change.
#include <windows.h>

#include <cstdint>

#include "app/app_context.h"

enum class ZoneKind { None, Header, Minimize, Close, Button };

struct HitZone {
    ZoneKind kind = ZoneKind::None;
    int32_t button = -1; // 0 to 6 for ZoneKind::Button, else -1

    bool operator==(const HitZone& other) const {
        return kind == other.kind && button == other.button;
    }
};

// The zone of a client point; the caption buttons cut their places out of the header.
HitZone HitTest(int32_t x, int32_t y);

// Only the program's own window reacts: a press in another window lying over a button must
// not rewrite the boot records.
HitZone SampleZone(int32_t clientX, int32_t clientY, bool overOwnWindow);

// The pointer fields of the context that one tick rewrites.
struct PointerState {
    bool minimizePressed = false;
    bool closePressed = false;
    bool dragging = false;
    int32_t pressedButton = -1;
    COLORREF minimizeColor = ToColorRef(0x1E2A44);
    COLORREF closeColor = ToColorRef(0x1E2A44);
    COLORREF buttonFace[LoaderCount] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                        0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
};

struct PollInput {
    HitZone zone;
    bool down = false; // left button held now
    bool busy = false;
    bool modalShown = false;
    int32_t runningAction = -1;
};

// What the sampler must do after storing the new state, in this order.
struct PollOutcome {
    PointerState state;
    bool minimize = false;    // released over the minimise button
    bool destroy = false;     // released over the close button; nothing follows
    bool startDrag = false;   // take the drag offsets from the cursor and the window now
    bool moveWindow = false;  // put the window at cursor minus drag offsets
    int32_t clickButton = -1; // released over the button last seen pressed: run its action
    bool repaint = false;
};

PollOutcome StepPointer(const PointerState& previous, const PollInput& input);

PointerState PointerStateOf(const AppContext& context);
void StorePointerState(AppContext& context, const PointerState& state);
