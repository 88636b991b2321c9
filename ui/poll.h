#pragma once
// The pointer polling's pure parts: the hit test, the choice of the primary button, the latch of
// a tap between two polls, and one step's state change.
#include <windows.h>

#include <cstdint>

#include "ui/app_context.h"
#include "ui/layout.h"

// The zone of a client point; the caption buttons cut their places out of the header.
HitZone HitTest(const WindowLayout& layout, int32_t x, int32_t y);

// Only the program's own window reacts: a press in another window lying over a button must
// not rewrite the boot records.
HitZone SampleZone(const WindowLayout& layout, int32_t clientX, int32_t clientY,
                   bool overOwnWindow);

// The key whose state is the primary button: GetAsyncKeyState reads the physical buttons, and
// a left-handed user's primary button is the right one (`swapButton` is SM_SWAPBUTTON).
int PrimaryButtonKey(int swapButton);

// The window's own primary-button message at a screen point, added to what the next poll finds.
PointerLatch LatchButton(PointerLatch latch, bool down, POINT screen);

// One look at the pointer: where it is on screen and whether the primary button is held.
struct PointerSample {
    bool valid = false; // false when the position could not be read
    POINT screen{};
    bool down = false;
    bool pressBeganHere = false; // the window got the down message of the press held now
};

// The samples one poll steps through, in order, into `out`; returns how many. A press and its
// release that both came between two polls are a press at the latched point followed by a
// release at the latched point; a press the window got without its release is held, whatever
// the live reading says yet; otherwise the live sample alone counts.
int TickSamples(const PointerLatch& latch, const PointerSample& live, PointerSample (&out)[2]);

struct PollInput {
    HitZone zone;
    bool down = false; // primary button held now
    // The window got the primary button's down message for the press now held: a press begun in
    // another window (a file dragged from elsewhere) arms nothing when released over a button.
    bool pressBeganHere = false;
    bool busy = false;
    bool modalShown = false;
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

// The poll's timer period; its id is in res/resource_ids.h.
constexpr UINT PollPeriodMs = 40;

// Where the window's corner lies from the point that drags it: from the point the press began at
// when it began on the header, so the grabbed point stays under the cursor however late a poll
// saw the press; else from the cursor now (a press slid onto the header from elsewhere).
POINT DragOffset(POINT pressPoint, bool pressedOnHeader, POINT cursor, POINT windowCorner);

// Whether the poll may stop until the next mouse message or activation: nothing on screen can
// change while the pointer is away and nothing is held, pressed, dragged, running or in a box.
bool MayRest(const PointerState& state, bool pointerOverWindow, bool down, bool busy,
             bool modalShown);
