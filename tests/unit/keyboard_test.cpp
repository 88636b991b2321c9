#include "ui/keyboard.h"

#include "loaders/user_texts.h"
#include "tests/support/box_answerer.h"
#include "tests/support/sim_drive.h"
#include "tests/support/test_window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Keyboard, TabWrapsInIndexOrderAndArrowsTakeTheNearestButtonThatWay) {
    struct TabRow {
        int from;
        bool backwards;
        int to;
    } tabs[] = {{0, false, 1}, {5, false, 6}, {6, false, 0}, {0, true, 6}, {3, true, 2}};
    for (const TabRow& row : tabs) {
        EXPECT_EQ(NextInTabOrder(row.from, row.backwards), row.to)
            << row.from << (row.backwards ? " Shift+Tab" : " Tab");
    }
    // Row 1: 0 1; row 2: 2 3; row 3 (UEFI): 4 5 6.
    struct ArrowRow {
        int from;
        UINT key;
        int to;
    } arrows[] = {
        {0, VK_RIGHT, 1}, {1, VK_RIGHT, 1}, {1, VK_LEFT, 0},  {2, VK_RIGHT, 3}, {5, VK_LEFT, 4},
        {4, VK_LEFT, 4},  {5, VK_RIGHT, 6}, {6, VK_RIGHT, 6}, {0, VK_DOWN, 2},  {2, VK_DOWN, 4},
        {3, VK_DOWN, 6},  {4, VK_DOWN, 4},  {4, VK_UP, 2},    {5, VK_UP, 2},    {6, VK_UP, 3},
        {2, VK_UP, 0},    {0, VK_UP, 0},
    };
    for (int dpi : {96, 144}) {
        const WindowLayout layout = LayoutAt(dpi);
        for (const ArrowRow& row : arrows) {
            EXPECT_EQ(NearestInDirection(layout, row.from, row.key), row.to)
                << "from " << row.from << " key " << row.key << " at " << dpi << " dpi";
        }
    }
}

TEST(Keyboard, TheFirstKeyOnlyShowsTheCueAndEnterClicksOnlyOnceItShows) {
    const WindowLayout layout = LayoutAt(96);
    struct Row {
        KeyboardFocus focus;
        UINT key;
        bool shift;
        bool repeat;
        KeyboardFocus after;
        bool handled;
        int click;
        bool close;
    } rows[] = {
        {{2, false}, VK_TAB, false, false, {2, true}, true, -1, false},
        {{2, false}, VK_RIGHT, false, false, {2, true}, true, -1, false},
        {{2, true}, VK_TAB, false, false, {3, true}, true, -1, false},
        {{2, true}, VK_TAB, true, false, {1, true}, true, -1, false},
        {{2, true}, VK_RIGHT, false, false, {3, true}, true, -1, false},
        {{2, false}, VK_RETURN, false, false, {2, false}, true, -1, false},
        {{2, false}, VK_SPACE, false, false, {2, false}, true, -1, false},
        {{2, true}, VK_RETURN, false, false, {2, true}, true, 2, false},
        {{5, true}, VK_SPACE, false, false, {5, true}, true, 5, false},
        {{2, false}, VK_ESCAPE, false, false, {2, false}, true, -1, true},
        {{2, true}, 'A', false, false, {2, true}, false, -1, false},
        {{2, true}, VK_F4, false, false, {2, true}, false, -1, false},
        {{2, true}, VK_RETURN, false, true, {2, true}, true, -1, false},
        {{2, true}, VK_SPACE, false, true, {2, true}, true, -1, false},
        {{2, false}, VK_ESCAPE, false, true, {2, false}, true, -1, false},
        {{2, true}, VK_TAB, false, true, {3, true}, true, -1, false},
    };
    for (const Row& row : rows) {
        const KeyOutcome outcome = StepKey(layout, row.focus, row.key, row.shift, row.repeat);
        SCOPED_TRACE(testing::Message() << "key " << row.key << " on " << row.focus.button
                                        << (row.focus.cueShown ? " cue" : " no cue")
                                        << (row.repeat ? " repeated" : ""));
        EXPECT_EQ(outcome.focus, row.after);
        EXPECT_EQ(outcome.handled, row.handled);
        EXPECT_EQ(outcome.click, row.click);
        EXPECT_EQ(outcome.close, row.close);
    }
    struct StartRow {
        int legacy;
        bool always;
        KeyboardFocus focus;
    } starts[] = {{-1, false, {0, false}},
                  {1, false, {1, false}},
                  {3, true, {3, true}},
                  {4, false, {0, false}},
                  {2147483647, false, {0, false}}};
    for (const StartRow& row : starts) {
        EXPECT_EQ(InitialFocus(row.legacy, row.always), row.focus) << row.legacy;
    }
}

// Windows' default: keyboard cues hidden until a key asks for them; the setting is put back.
struct CuesHidden {
    BOOL saved = FALSE;
    CuesHidden() {
        SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &saved, 0);
        SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, reinterpret_cast<void*>(FALSE), 0);
    }
    ~CuesHidden() {
        SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0,
                              reinterpret_cast<void*>(static_cast<INT_PTR>(saved)), 0);
    }
};

// A key down as Windows sends it; `repeat` sets bit 30, the key already down.
std::vector<std::wstring> Press(ProgramWindow& test, UINT key, bool repeat = false) {
    BoxAnswerer answerer;
    answerer.Start();
    SendMessageW(test.window, WM_KEYDOWN, key, repeat ? LPARAM{1} << 30 : 0);
    return answerer.Finish();
}

TEST(KeyboardWindow, KeysMoveTheFocusClickTheFocusedButtonAndEscapeCloses) {
    CuesHidden cues;
    ProgramWindow test;
    ASSERT_TRUE(OpenWithBootState(test, L"keyboard_test", "legacy=2\nuefi=1\n", false));
    EXPECT_EQ(test.context.keyboard, (KeyboardFocus{2, false}));

    EXPECT_TRUE(Press(test, VK_RETURN).empty()) << "Enter before the cue shows";
    EXPECT_TRUE(Press(test, VK_TAB).empty());
    EXPECT_EQ(test.context.keyboard, (KeyboardFocus{2, true})) << "the first Tab only shows";
    Press(test, VK_TAB);
    Press(test, VK_UP);
    EXPECT_EQ(test.context.keyboard, (KeyboardFocus{1, true}));
    EXPECT_TRUE(Press(test, VK_SPACE, true).empty()) << "a held Space";
    EXPECT_EQ(Press(test, VK_SPACE), std::vector<std::wstring>{TargetRefusalText(L"Q:")});

    test.context.status.modalShown = true;
    EXPECT_TRUE(Press(test, VK_RETURN).empty()) << "while a box is open";
    test.context.status.modalShown = false;
    test.context.status.busy = true;
    EXPECT_TRUE(Press(test, VK_RETURN).empty()) << "while busy";
    Press(test, VK_ESCAPE);
    EXPECT_TRUE(IsWindow(test.window)) << "Esc while busy";
    test.context.status.busy = false;
    Press(test, VK_ESCAPE);
    EXPECT_FALSE(IsWindow(test.window));
    test.Destroy();
    DeleteFileW((test.context.bootDir + L"\\bootstate.txt").c_str());
}

} // namespace
