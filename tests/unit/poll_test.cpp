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

TEST(HitTest, BoundariesOfEveryZone) {
    struct Row {
        int x, y;
        ZoneKind kind;
        int button;
    } rows[] = {
        {306, 2, ZoneKind::Minimize, -1}, {305, 2, ZoneKind::Header, -1},
        {336, 2, ZoneKind::Header, -1},   {335, 19, ZoneKind::Minimize, -1},
        {306, 1, ZoneKind::Header, -1},   {306, 20, ZoneKind::Header, -1},
        {337, 10, ZoneKind::Header, -1},  {338, 2, ZoneKind::Close, -1},
        {367, 19, ZoneKind::Close, -1},   {368, 2, ZoneKind::Header, -1},
        {0, 0, ZoneKind::Header, -1},     {375, 47, ZoneKind::Header, -1},
        {376, 10, ZoneKind::None, -1},    {-1, 10, ZoneKind::None, -1},
        {100, 48, ZoneKind::None, -1},    {13, 71, ZoneKind::Button, 0},
        {12, 71, ZoneKind::None, -1},     {13, 70, ZoneKind::None, -1},
        {184, 104, ZoneKind::Button, 0},  {185, 80, ZoneKind::None, -1},
        {191, 71, ZoneKind::Button, 1},   {362, 104, ZoneKind::Button, 1},
        {363, 104, ZoneKind::None, -1},   {100, 105, ZoneKind::None, -1},
        {100, 109, ZoneKind::Button, 2},  {300, 142, ZoneKind::Button, 3},
        {300, 143, ZoneKind::None, -1},   {13, 167, ZoneKind::Button, 4},
        {124, 200, ZoneKind::Button, 4},  {125, 180, ZoneKind::None, -1},
        {131, 180, ZoneKind::Button, 5},  {243, 180, ZoneKind::None, -1},
        {249, 167, ZoneKind::Button, 6},  {360, 200, ZoneKind::Button, 6},
        {361, 200, ZoneKind::None, -1},   {360, 201, ZoneKind::None, -1},
        {200, 60, ZoneKind::None, -1},
    };
    for (const Row& row : rows) {
        HitZone zone = HitTest(row.x, row.y);
        EXPECT_EQ(zone.kind, row.kind)
            << "(" << row.x << ", " << row.y << ") gave " << ZoneName(zone.kind);
        EXPECT_EQ(zone.button, row.button) << "(" << row.x << ", " << row.y << ")";
    }
}

TEST(SampleZone, AnotherWindowOverTheProgramHidesEveryZone) {
    const int points[][2] = {{13, 71}, {320, 10}, {350, 10}, {100, 10}, {250, 180}};
    for (const auto& p : points) {
        EXPECT_EQ(SampleZone(p[0], p[1], true), HitTest(p[0], p[1]));
        EXPECT_EQ(SampleZone(p[0], p[1], false).kind, ZoneKind::None);
    }
}

// Sample places in client pixels.
struct Place {
    int x, y;
};
Place ButtonCentre(int i) {
    const ButtonRect& r = ButtonRects[i];
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
};

std::vector<PollOutcome> RunTicks(const std::vector<Tick>& ticks, PointerState state = {}) {
    std::vector<PollOutcome> outcomes;
    for (const Tick& tick : ticks) {
        PollInput input;
        input.zone = SampleZone(tick.at.x, tick.at.y, tick.ownWindow);
        input.down = tick.down;
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

TEST(StepPointer, CaptionColoursFollowThePointerAndTheButton) {
    struct Row {
        Place at;
        bool down;
        uint32_t minimize, close;
    } rows[] = {
        {OnMinimize, false, 0x2C3A57, 0x1E2A44}, {OnMinimize, true, 0x3A4A6B, 0x1E2A44},
        {OnClose, false, 0x1E2A44, 0xE04B3F},    {OnClose, true, 0x1E2A44, 0xC0392B},
        {InHeader, true, 0x1E2A44, 0x1E2A44},    {Nowhere, false, 0x1E2A44, 0x1E2A44},
    };
    for (const Row& row : rows) {
        PollOutcome outcome = RunTicks({{row.at, row.down}}).back();
        EXPECT_EQ(outcome.state.minimizeColor, ToColorRef(row.minimize)) << row.at.x;
        EXPECT_EQ(outcome.state.closeColor, ToColorRef(row.close)) << row.at.x;
    }
}

TEST(StepPointer, OnlyTheButtonUnderThePointerChangesFace) {
    struct Row {
        Place at;
        bool down;
        int button;
        uint32_t face;
    } rows[] = {
        {ButtonCentre(0), false, 0, 0xE4EEFF},
        {ButtonCentre(4), true, 4, 0xCFE0FF},
        {ButtonCentre(6), true, 6, 0xCFE0FF},
        {Nowhere, true, -1, 0},
    };
    for (const Row& row : rows) {
        PointerState lit;
        for (COLORREF& face : lit.buttonFace) {
            face = ToColorRef(0xCFE0FF);
        }
        PollOutcome outcome = RunTicks({{row.at, row.down}}, lit).back();
        for (int i = 0; i < LoaderCount; ++i) {
            COLORREF expected = i == row.button ? ToColorRef(row.face) : 0xFFFFFF;
            EXPECT_EQ(outcome.state.buttonFace[i], expected) << "button " << i;
        }
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

    // Neither a caption button, a loader button nor another window starts a drag.
    for (Tick start : {Tick{OnMinimize, true}, Tick{OnClose, true}, Tick{ButtonCentre(1), true},
                       Tick{InHeader, true, false}}) {
        PollOutcome outcome = RunTicks({start}).back();
        EXPECT_FALSE(outcome.startDrag || outcome.moveWindow || outcome.state.dragging);
    }
}

PointerState MidGesture() {
    PointerState state;
    state.minimizePressed = true;
    state.closePressed = true;
    state.dragging = true;
    state.pressedButton = 3;
    state.minimizeColor = ToColorRef(0x3A4A6B);
    state.closeColor = ToColorRef(0xC0392B);
    for (COLORREF& face : state.buttonFace) {
        face = ToColorRef(0xE4EEFF);
    }
    return state;
}

TEST(StepPointer, WhileBusyOnlyTheBusyLookIsWritten) {
    const Tick ticks[] = {{OnClose, false},
                          {OnMinimize, false},
                          {InHeader, true},
                          {ButtonCentre(3), false},
                          {ButtonCentre(2), true}};
    for (const Tick& tick : ticks) {
        PollInput input;
        input.zone = SampleZone(tick.at.x, tick.at.y, true);
        input.down = tick.down;
        input.busy = true;
        input.runningAction = 2;
        PollOutcome outcome = StepPointer(MidGesture(), input);
        EXPECT_FALSE(outcome.minimize || outcome.destroy || outcome.startDrag ||
                     outcome.moveWindow);
        EXPECT_EQ(outcome.clickButton, -1);
        EXPECT_TRUE(outcome.repaint);
        EXPECT_EQ(outcome.state.pressedButton, -1);
        EXPECT_TRUE(outcome.state.minimizePressed && outcome.state.closePressed &&
                    outcome.state.dragging);
        EXPECT_EQ(outcome.state.minimizeColor, ToColorRef(0x1E2A44));
        EXPECT_EQ(outcome.state.closeColor, ToColorRef(0x1E2A44));
        for (int i = 0; i < LoaderCount; ++i) {
            EXPECT_EQ(outcome.state.buttonFace[i], ToColorRef(i == 2 ? 0xD8E4F8 : 0xE9ECF1)) << i;
        }
    }
}

TEST(StepPointer, WhileAMessageIsOpenNothingChangesAndNothingRepaints) {
    const Tick ticks[] = {
        {OnClose, false}, {InHeader, true}, {ButtonCentre(3), false}, {Nowhere, false}};
    for (bool busy : {false, true}) {
        for (const Tick& tick : ticks) {
            PollInput input;
            input.zone = SampleZone(tick.at.x, tick.at.y, true);
            input.down = tick.down;
            input.busy = busy;
            input.runningAction = busy ? 1 : -1;
            input.modalShown = true;
            PointerState before = MidGesture();
            PollOutcome outcome = StepPointer(before, input);
            EXPECT_FALSE(outcome.repaint || outcome.minimize || outcome.destroy ||
                         outcome.startDrag || outcome.moveWindow);
            EXPECT_EQ(outcome.clickButton, -1);
            EXPECT_EQ(outcome.state.pressedButton, 3);
            EXPECT_TRUE(outcome.state.minimizePressed && outcome.state.closePressed &&
                        outcome.state.dragging);
            EXPECT_EQ(outcome.state.minimizeColor, before.minimizeColor);
            EXPECT_EQ(outcome.state.closeColor, before.closeColor);
            for (int i = 0; i < LoaderCount; ++i) {
                EXPECT_EQ(outcome.state.buttonFace[i], before.buttonFace[i]);
            }
        }
    }
}

TEST(PointerState, RoundTripsThroughTheContext) {
    AppContext context;
    PointerState state = MidGesture();
    state.buttonFace[5] = ToColorRef(0xCFE0FF);
    StorePointerState(context, state);
    EXPECT_EQ(context.pressedButton, 3);
    EXPECT_TRUE(context.minimizePressed && context.closePressed && context.dragging);
    EXPECT_EQ(context.closeColor, ToColorRef(0xC0392B));
    PointerState back = PointerStateOf(context);
    EXPECT_EQ(back.minimizeColor, ToColorRef(0x3A4A6B));
    EXPECT_EQ(back.buttonFace[5], ToColorRef(0xCFE0FF));
    EXPECT_EQ(back.buttonFace[4], ToColorRef(0xE4EEFF));
}

} // namespace
