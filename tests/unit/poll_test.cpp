#include "ui/poll.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char* ZoneName(ZoneKind kind) {
    switch (kind) {
    case ZoneKind::None:
        return "None";
    case ZoneKind::Header:
        return "Header";
    case ZoneKind::Minimize:
        return "Minimize";
    case ZoneKind::Close:
        return "Close";
    case ZoneKind::Button:
        return "Button";
    }
    return "?";
}

const WindowLayout At96 = LayoutAt(96);

TEST(HitTest, BoundariesOfEveryZone) {
    struct Row {
        int x, y;
        ZoneKind kind;
        int button;
        int dpi = 96;
    } rows[] = {
        {306, 2, ZoneKind::Minimize, -1},
        {305, 2, ZoneKind::Header, -1},
        {336, 2, ZoneKind::Header, -1},
        {335, 19, ZoneKind::Minimize, -1},
        {306, 1, ZoneKind::Header, -1},
        {306, 20, ZoneKind::Header, -1},
        {337, 10, ZoneKind::Header, -1},
        {338, 2, ZoneKind::Close, -1},
        {367, 19, ZoneKind::Close, -1},
        {368, 2, ZoneKind::Header, -1},
        {0, 0, ZoneKind::Header, -1},
        {375, 47, ZoneKind::Header, -1},
        {376, 10, ZoneKind::None, -1},
        {-1, 10, ZoneKind::None, -1},
        {100, 48, ZoneKind::None, -1},
        {13, 71, ZoneKind::Button, 0},
        {12, 71, ZoneKind::None, -1},
        {13, 70, ZoneKind::None, -1},
        {184, 104, ZoneKind::Button, 0},
        {185, 80, ZoneKind::None, -1},
        {191, 71, ZoneKind::Button, 1},
        {362, 104, ZoneKind::Button, 1},
        {363, 104, ZoneKind::None, -1},
        {100, 105, ZoneKind::None, -1},
        {100, 109, ZoneKind::Button, 2},
        {300, 142, ZoneKind::Button, 3},
        {300, 143, ZoneKind::None, -1},
        {13, 167, ZoneKind::Button, 4},
        {124, 200, ZoneKind::Button, 4},
        {125, 180, ZoneKind::None, -1},
        {131, 180, ZoneKind::Button, 5},
        {243, 180, ZoneKind::None, -1},
        {249, 167, ZoneKind::Button, 6},
        {360, 200, ZoneKind::Button, 6},
        {361, 200, ZoneKind::None, -1},
        {360, 201, ZoneKind::None, -1},
        {200, 60, ZoneKind::None, -1},
        // At 144 dpi every edge moves by 3/2 and the one-pixel frame becomes two pixels.
        {459, 3, ZoneKind::Minimize, -1, 144},
        {458, 3, ZoneKind::Header, -1, 144},
        {503, 29, ZoneKind::Minimize, -1, 144},
        {504, 29, ZoneKind::Header, -1, 144},
        {507, 3, ZoneKind::Close, -1, 144},
        {563, 71, ZoneKind::Header, -1, 144},
        {564, 10, ZoneKind::None, -1, 144},
        {10, 72, ZoneKind::None, -1, 144},
        {19, 106, ZoneKind::Button, 0, 144},
        {18, 106, ZoneKind::None, -1, 144},
        {19, 105, ZoneKind::None, -1, 144},
        {277, 157, ZoneKind::Button, 0, 144},
        {278, 157, ZoneKind::None, -1, 144},
        {541, 301, ZoneKind::Button, 6, 144},
        {541, 302, ZoneKind::None, -1, 144},
        {383, 3, ZoneKind::Minimize, -1, 120},
        {383, 2, ZoneKind::Header, -1, 120},
        {17, 89, ZoneKind::Button, 0, 120},
        {16, 89, ZoneKind::None, -1, 120},
    };
    for (const Row& row : rows) {
        HitZone zone = HitTest(LayoutAt(row.dpi), row.x, row.y);
        EXPECT_EQ(zone.kind, row.kind) << "(" << row.x << ", " << row.y << ") at " << row.dpi
                                       << " dpi gave " << ZoneName(zone.kind);
        EXPECT_EQ(zone.button, row.button)
            << "(" << row.x << ", " << row.y << ") at " << row.dpi << " dpi";
    }
}

TEST(LayoutAt, ScalesTheWindowAndKeepsItAt96) {
    struct Row {
        int dpi, width, height, header, border;
    } rows[] = {
        {96, 376, 208, 48, 1},  {0, 376, 208, 48, 1},   {120, 470, 260, 60, 1},
        {144, 564, 312, 72, 2}, {192, 752, 416, 96, 2},
    };
    for (const Row& row : rows) {
        const WindowLayout layout = LayoutAt(row.dpi);
        EXPECT_EQ(layout.window.width, row.width) << row.dpi;
        EXPECT_EQ(layout.window.height, row.height) << row.dpi;
        EXPECT_EQ(layout.header.height, row.header) << row.dpi;
        EXPECT_EQ(layout.buttonBorder, row.border) << row.dpi;
    }
    for (int i = 0; i < LoaderCount; ++i) {
        const PixelRect& r = At96.buttons[i];
        EXPECT_TRUE(r.x == Loaders[i].place.x && r.y == Loaders[i].place.y &&
                    r.width == Loaders[i].place.width && r.height == Loaders[i].place.height)
            << i;
    }
}

TEST(PrimaryButtonKey, FollowsTheSwappedButtons) {
    const int rows[][2] = {{0, VK_LBUTTON}, {1, VK_RBUTTON}, {-1, VK_RBUTTON}, {7, VK_RBUTTON}};
    for (const auto& row : rows) {
        EXPECT_EQ(PrimaryButtonKey(row[0]), row[1]) << row[0];
    }
}

TEST(SampleZone, AnotherWindowOverTheProgramHidesEveryZone) {
    const int points[][2] = {{13, 71}, {320, 10}, {350, 10}, {100, 10}, {250, 180}};
    for (const auto& p : points) {
        EXPECT_EQ(SampleZone(At96, p[0], p[1], false).kind, ZoneKind::None);
    }
}

// Sample places in client pixels.
struct Place {
    int x, y;
};
Place ButtonCentre(int i) {
    const PixelRect& r = Loaders[i].place;
    return {r.x + r.width / 2, r.y + r.height / 2};
}
constexpr Place InHeader = {100, 10};
constexpr Place OnMinimize = {320, 10};
constexpr Place OnClose = {350, 10};
constexpr Place Nowhere = {5, 60};

struct Tick {
    Place at;
    bool down;
    bool ownWindow = true;
    bool began = true; // the held press went down over the window
};

std::vector<PollOutcome> RunTicks(const std::vector<Tick>& ticks, PointerState state = {}) {
    std::vector<PollOutcome> outcomes;
    for (const Tick& tick : ticks) {
        PollInput input;
        input.zone = SampleZone(At96, tick.at.x, tick.at.y, tick.ownWindow);
        input.down = tick.down;
        input.pressBeganHere = tick.began;
        outcomes.push_back(StepPointer(state, input));
        state = outcomes.back().state;
    }
    return outcomes;
}

TEST(StepPointer, ClicksFireOnlyOnTheFirstTickAfterReleaseOverTheLastPressedButton) {
    struct Row {
        const char* name;
        std::vector<Tick> ticks;
        int click; // expected on the last tick; no earlier tick may click
        int pressedAfterSecondTick;
    } rows[] = {
        {"press and release on 2", {{ButtonCentre(2), true}, {ButtonCentre(2), false}}, 2, -1},
        {"press on 2, slide to 5, release",
         {{ButtonCentre(2), true}, {ButtonCentre(5), true}, {ButtonCentre(5), false}},
         5,
         5},
        {"press on 2, slide off, release",
         {{ButtonCentre(2), true}, {Nowhere, true}, {Nowhere, false}},
         -1,
         -1},
        {"press on 2, released first seen over 5",
         {{ButtonCentre(2), true}, {ButtonCentre(5), false}},
         -1,
         -1},
        {"press elsewhere, slide onto 3, release",
         {{Nowhere, true}, {ButtonCentre(3), true}, {ButtonCentre(3), false}},
         3,
         3},
        {"hover only", {{ButtonCentre(1), false}, {ButtonCentre(1), false}}, -1, -1},
        {"press and release on 6 in another window",
         {{ButtonCentre(6), true, false}, {ButtonCentre(6), false, false}},
         -1,
         -1},
        {"press on 6, another window appears before release",
         {{ButtonCentre(6), true}, {ButtonCentre(6), false, false}},
         -1,
         -1},
        {"pressed in another window, dragged onto 3, released",
         {{Nowhere, true, false, false},
          {ButtonCentre(3), true, true, false},
          {ButtonCentre(3), false}},
         -1,
         -1},
        {"a press from elsewhere released, then a press of its own on 3",
         {{ButtonCentre(3), true, true, false},
          {ButtonCentre(3), false},
          {ButtonCentre(3), true},
          {ButtonCentre(3), false}},
         3,
         -1},
    };
    for (const Row& row : rows) {
        std::vector<PollOutcome> outcomes = RunTicks(row.ticks);
        for (size_t i = 0; i + 1 < outcomes.size(); ++i) {
            EXPECT_EQ(outcomes[i].clickButton, -1) << row.name << ", tick " << i;
        }
        EXPECT_EQ(outcomes.back().clickButton, row.click) << row.name;
        EXPECT_EQ(outcomes.back().state.pressedButton, -1) << row.name;
        EXPECT_EQ(outcomes[1].state.pressedButton, row.pressedAfterSecondTick) << row.name;
        for (const PollOutcome& outcome : outcomes) {
            EXPECT_TRUE(outcome.repaint) << row.name;
            EXPECT_FALSE(outcome.minimize || outcome.destroy) << row.name;
        }
    }
}

TEST(StepPointer, CaptionButtonsActOnlyWhenReleasedOverThemselves) {
    struct Row {
        const char* name;
        std::vector<Tick> ticks;
        bool minimize, destroy;
    } rows[] = {
        {"minimise press and release", {{OnMinimize, true}, {OnMinimize, false}}, true, false},
        {"minimise press, slide away, release",
         {{OnMinimize, true}, {Nowhere, true}, {Nowhere, false}},
         false,
         false},
        {"minimise press, slide away and back, release",
         {{OnMinimize, true}, {OnClose, true}, {OnMinimize, false}},
         false,
         false},
        {"minimise released over close", {{OnMinimize, true}, {OnClose, false}}, false, false},
        {"close press and release", {{OnClose, true}, {OnClose, false}}, false, true},
        {"close press, slide away, release",
         {{OnClose, true}, {Nowhere, true}, {Nowhere, false}},
         false,
         false},
        {"close released over another window",
         {{OnClose, true}, {OnClose, false, false}},
         false,
         false},
        {"close release without a press", {{OnClose, false}, {OnClose, false}}, false, false},
        {"close pressed elsewhere, released over it",
         {{OnClose, true, true, false}, {OnClose, false}},
         false,
         false},
        {"minimise pressed elsewhere, released over it",
         {{OnMinimize, true, true, false}, {OnMinimize, false}},
         false,
         false},
    };
    for (const Row& row : rows) {
        std::vector<PollOutcome> outcomes = RunTicks(row.ticks);
        for (size_t i = 0; i + 1 < outcomes.size(); ++i) {
            EXPECT_FALSE(outcomes[i].minimize || outcomes[i].destroy) << row.name << " " << i;
        }
        const PollOutcome& last = outcomes.back();
        EXPECT_EQ(last.minimize, row.minimize) << row.name;
        EXPECT_EQ(last.destroy, row.destroy) << row.name;
        // A destroyed window must not be touched again, not even repainted.
        EXPECT_EQ(last.repaint, !row.destroy) << row.name;
        EXPECT_FALSE(last.state.minimizePressed || last.state.closePressed) << row.name;
    }
}

TEST(StepPointer, RecordsTheZoneUnderThePointerAndTheButtonNotColours) {
    struct Row {
        Place at;
        bool down;
        HitZone zone;
    } rows[] = {
        {OnMinimize, false, {ZoneKind::Minimize, -1}},
        {OnClose, true, {ZoneKind::Close, -1}},
        {ButtonCentre(4), true, {ZoneKind::Button, 4}},
        {ButtonCentre(0), false, {ZoneKind::Button, 0}},
        {Nowhere, true, {}},
    };
    PointerState lit;
    lit.hover = {ZoneKind::Button, 6};
    lit.down = true;
    for (const Row& row : rows) {
        PollOutcome outcome = RunTicks({{row.at, row.down}}, lit).back();
        EXPECT_EQ(outcome.state.hover, row.zone) << row.at.x << ", " << row.at.y;
        EXPECT_EQ(outcome.state.down, row.down) << row.at.x << ", " << row.at.y;
    }
}

// The window's button messages between two polls, then what the poll steps through.
TEST(TickSamples, APressAndReleaseBetweenTwoPollsIsAClickAtTheLatchedPoints) {
    const POINT on2 = {ButtonCentre(2).x, ButtonCentre(2).y};
    const POINT on5 = {ButtonCentre(5).x, ButtonCentre(5).y};
    const POINT off = {Nowhere.x, Nowhere.y};
    struct Event {
        bool down;
        POINT at;
    };
    struct Row {
        const char* name;
        std::vector<Event> events;
        bool liveDown;
        POINT liveAt;
        int click;
        int held; // the button left pressed for the release a later poll sees
    } rows[] = {
        {"tap on 2, pointer gone since", {{true, on2}, {false, on2}}, false, off, 2, -1},
        {"tap pressed on 2, released on 5", {{true, on2}, {false, on5}}, false, on5, -1, -1},
        {"tap released off every button", {{true, on2}, {false, off}}, false, on2, -1, -1},
        {"second tap counts, on 5",
         {{true, on2}, {false, on2}, {true, on5}, {false, on5}},
         false,
         off,
         5,
         -1},
        {"press only, still held", {{true, on2}}, true, on2, -1, 2},
        // The button's live reading can lag the window's own message (under Wine a cached
        // reading tens of milliseconds old): the press still counts, or its release finds
        // nothing armed.
        {"press only, live reading not yet down", {{true, on2}}, false, on2, -1, 2},
        {"release only, of a press an earlier poll saw", {{false, on2}}, false, on2, -1, -1},
        {"nothing latched", {}, false, on2, -1, -1},
    };
    for (const Row& row : rows) {
        PointerLatch latch;
        for (const Event& event : row.events) {
            latch = LatchButton(latch, event.down, event.at);
        }
        PointerSample samples[2];
        const int count = TickSamples(latch, {true, row.liveAt, row.liveDown, true}, samples);
        ASSERT_TRUE(count == 1 || count == 2) << row.name;
        PointerState state;
        int click = -1;
        for (int i = 0; i < count; ++i) {
            PollInput input;
            // The sample's point taken as client pixels: the window sits at the screen's origin.
            input.zone = SampleZone(At96, samples[i].screen.x, samples[i].screen.y, true);
            input.down = samples[i].down;
            input.pressBeganHere = samples[i].pressBeganHere;
            PollOutcome outcome = StepPointer(state, input);
            state = outcome.state;
            if (outcome.clickButton >= 0) {
                EXPECT_EQ(click, -1) << row.name << ": two clicks";
                EXPECT_EQ(i, count - 1) << row.name << ": click before the release";
                click = outcome.clickButton;
            }
        }
        EXPECT_EQ(click, row.click) << row.name;
        EXPECT_EQ(state.pressedButton, row.held) << row.name;
    }
}

TEST(StepPointer, HeaderDragStartsOnceAndFollowsUntilRelease) {
    std::vector<PollOutcome> outcomes = RunTicks({{InHeader, true},
                                                  {InHeader, true},
                                                  {Nowhere, true},
                                                  {ButtonCentre(0), false},
                                                  {InHeader, false}});
    EXPECT_TRUE(outcomes[0].startDrag);
    EXPECT_TRUE(outcomes[0].moveWindow);
    EXPECT_FALSE(outcomes[1].startDrag);
    EXPECT_TRUE(outcomes[1].moveWindow);
    // The cursor may outrun the window: the drag does not depend on the zone once begun.
    EXPECT_FALSE(outcomes[2].startDrag);
    EXPECT_TRUE(outcomes[2].moveWindow);
    EXPECT_TRUE(outcomes[2].state.dragging);
    EXPECT_FALSE(outcomes[3].moveWindow);
    EXPECT_FALSE(outcomes[3].state.dragging);
    EXPECT_EQ(outcomes[3].clickButton, -1);
    EXPECT_FALSE(outcomes[4].startDrag || outcomes[4].moveWindow);

    // Neither a caption button, a loader button, another window nor a press begun in one starts
    // a drag.
    for (Tick start : {Tick{OnMinimize, true}, Tick{OnClose, true}, Tick{ButtonCentre(1), true},
                       Tick{InHeader, true, false}, Tick{InHeader, true, true, false}}) {
        PollOutcome outcome = RunTicks({start}).back();
        EXPECT_FALSE(outcome.startDrag || outcome.moveWindow || outcome.state.dragging);
    }

    // Pressed on the header at (110, 20) with the window at (10, 10); the poll sees it only once
    // the cursor has moved on to (140, 25).
    EXPECT_EQ(DragOffset({110, 20}, true, {140, 25}, {10, 10}).x, 100);
    EXPECT_EQ(DragOffset({110, 20}, true, {140, 25}, {10, 10}).y, 10);
    // Slid onto the header from a button: the grabbed point is where the cursor is now.
    EXPECT_EQ(DragOffset({110, 90}, false, {140, 25}, {10, 10}).x, 130);
    EXPECT_EQ(DragOffset({110, 90}, false, {140, 25}, {10, 10}).y, 15);
}

PointerState MidGesture() {
    PointerState state;
    state.minimizePressed = true;
    state.closePressed = true;
    state.dragging = true;
    state.pressedButton = 3;
    state.hover = {ZoneKind::Button, 3};
    state.down = true;
    return state;
}

TEST(StepPointer, WhileBusyNothingIsLitOrPressed) {
    const Tick ticks[] = {{OnClose, false},
                          {OnMinimize, false},
                          {InHeader, true},
                          {ButtonCentre(3), false},
                          {ButtonCentre(2), true}};
    for (const Tick& tick : ticks) {
        PollInput input;
        input.zone = SampleZone(At96, tick.at.x, tick.at.y, true);
        input.down = tick.down;
        input.busy = true;
        PollOutcome outcome = StepPointer(MidGesture(), input);
        EXPECT_FALSE(outcome.minimize || outcome.destroy || outcome.startDrag ||
                     outcome.moveWindow);
        EXPECT_EQ(outcome.clickButton, -1);
        EXPECT_TRUE(outcome.repaint);
        EXPECT_EQ(outcome.state.pressedButton, -1);
        EXPECT_TRUE(outcome.state.minimizePressed && outcome.state.closePressed &&
                    outcome.state.dragging);
        // So the first frame after the action shows no stale hover or press.
        EXPECT_EQ(outcome.state.hover, HitZone{});
        EXPECT_FALSE(outcome.state.down);
    }
}

TEST(StepPointer, WhileAMessageIsOpenNothingChangesAndNothingRepaints) {
    const Tick ticks[] = {
        {OnClose, false}, {InHeader, true}, {ButtonCentre(3), false}, {Nowhere, false}};
    for (bool busy : {false, true}) {
        for (const Tick& tick : ticks) {
            PollInput input;
            input.zone = SampleZone(At96, tick.at.x, tick.at.y, true);
            input.down = tick.down;
            input.busy = busy;
            input.modalShown = true;
            PointerState before = MidGesture();
            PollOutcome outcome = StepPointer(before, input);
            EXPECT_FALSE(outcome.repaint || outcome.minimize || outcome.destroy ||
                         outcome.startDrag || outcome.moveWindow);
            EXPECT_EQ(outcome.clickButton, -1);
            EXPECT_EQ(outcome.state.pressedButton, 3);
            EXPECT_TRUE(outcome.state.minimizePressed && outcome.state.closePressed &&
                        outcome.state.dragging);
            EXPECT_EQ(outcome.state.hover, before.hover);
            EXPECT_EQ(outcome.state.down, before.down);
        }
    }
}

TEST(MayRest, OnlyWithThePointerAwayAndNothingHeldPressedDraggedRunningOrInABox) {
    PointerState pressed;
    pressed.pressedButton = 2;
    PointerState dragging;
    dragging.dragging = true;
    PointerState minimizing;
    minimizing.minimizePressed = true;
    PointerState closing;
    closing.closePressed = true;
    struct Row {
        const char* name;
        PointerState state;
        bool over, down, busy, modal, rests;
    } rows[] = {
        {"pointer away, all idle", {}, false, false, false, false, true},
        {"pointer over the window", {}, true, false, false, false, false},
        {"button held elsewhere", {}, false, true, false, false, false},
        {"an action runs", {}, false, false, true, false, false},
        {"a box is open", {}, false, false, false, true, false},
        {"a loader button pressed", pressed, false, false, false, false, false},
        {"a drag goes on", dragging, false, false, false, false, false},
        {"minimise pressed", minimizing, false, false, false, false, false},
        {"close pressed", closing, false, false, false, false, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MayRest(row.state, row.over, row.down, row.busy, row.modal), row.rests)
            << row.name;
    }
}

} // namespace
