#include "ui/placement.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CenteredOrigin, CentresInTheWorkAreaTruncatingTowardZero) {
    struct Case {
        RECT workArea;
        LONG x, y;
    };
    const Case cases[] = {
        {{0, 0, 1280, 800}, 452, 296},      {{0, 0, 1920, 1040}, 772, 416}, // taskbar at the bottom
        {{0, 40, 1920, 1080}, 772, 456},                                    // taskbar at the top
        {{1280, 0, 2560, 1024}, 1732, 408}, // second monitor on the right
        {{-1920, 0, 0, 1080}, -1148, 436},  // second monitor on the left
        {{0, 0, 377, 209}, 0, 0},           // one spare pixel: rounds down
        {{0, 0, 375, 207}, 0, 0},           // one pixel short: -1 / 2 is 0, not -1
        {{0, 0, 300, 200}, -38, -4},        // smaller than the window
        {{0, 0, 0, 0}, -188, -104},         // the query failed and left the rectangle zero
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.workArea.left << "," << c.workArea.top << " "
                                        << c.workArea.right << "x" << c.workArea.bottom);
        const POINT origin = CenteredOrigin(c.workArea, 376, 208);
        EXPECT_EQ(origin.x, c.x);
        EXPECT_EQ(origin.y, c.y);
    }
}

// A primary monitor with the taskbar at the bottom and a second one on its right without one.
const std::vector<MonitorArea> TwoMonitors = {
    {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
    {{1920, 0, 3200, 1024}, {1920, 0, 3200, 1024}},
};

TEST(OpeningOrigin, CentresOnTheWorkAreaOfTheMonitorUnderThePointer) {
    struct Row {
        POINT pointer;
        LONG x, y;
    } rows[] = {
        {{100, 100}, 772, 416},
        {{2000, 500}, 2372, 408},
        {{5000, 500}, 2372, 408}, // off every monitor: the nearest
        {{-50, 1200}, 772, 416},
    };
    for (const Row& row : rows) {
        const POINT origin = OpeningOrigin(TwoMonitors, row.pointer, 376, 208);
        EXPECT_EQ(origin.x, row.x) << row.pointer.x << "," << row.pointer.y;
        EXPECT_EQ(origin.y, row.y) << row.pointer.x << "," << row.pointer.y;
    }
    const POINT none = OpeningOrigin({}, {100, 100}, 376, 208);
    EXPECT_EQ(none.x, -188);
    EXPECT_EQ(none.y, -104);
}

TEST(KeptOnWorkArea, AHeaderDragKeeps40PixelsOfTheHeaderOnThePointersWorkArea) {
    struct Row {
        const char* name;
        POINT pointer, wanted;
        LONG x, y;
    } rows[] = {
        {"inside", {110, 110}, {100, 100}, 100, 100},
        {"under the taskbar", {110, 1039}, {100, 1030}, 100, 1000},
        {"above the top", {110, 0}, {100, -30}, 100, -8},
        {"off the left edge", {0, 110}, {-400, 100}, -336, 100},
        {"off the right edge", {1910, 110}, {1900, 100}, 1880, 100},
        {"over to the second monitor", {2000, 500}, {1700, 490}, 1700, 490},
        {"below the second monitor", {2000, 1050}, {1990, 1040}, 1990, 984},
    };
    for (const Row& row : rows) {
        const POINT corner = KeptOnWorkArea(TwoMonitors, row.pointer, row.wanted, 376, 48);
        EXPECT_EQ(corner.x, row.x) << row.name;
        EXPECT_EQ(corner.y, row.y) << row.name;
    }
    const POINT none = KeptOnWorkArea({}, {0, 0}, {-5000, 7000}, 376, 48);
    EXPECT_EQ(none.x, -5000);
    EXPECT_EQ(none.y, 7000);
}

TEST(BroughtBack, AWindowOffEveryWorkAreaIsCentredOnTheNearestOneElseStays) {
    struct Row {
        const char* name;
        POINT corner;
        LONG x, y;
    } rows[] = {
        {"on a work area", {100, 100}, 100, 100},
        {"partly off the left edge", {-300, 100}, -300, 100},
        {"on a monitor that was unplugged", {-1000, 100}, 772, 416},
        {"far away", {5000, 5000}, 2372, 408},
        {"under the taskbar", {100, 1045}, 772, 416},
    };
    for (const Row& row : rows) {
        const RECT frame{row.corner.x, row.corner.y, row.corner.x + 376, row.corner.y + 208};
        const POINT back = BroughtBack(TwoMonitors, frame);
        EXPECT_EQ(back.x, row.x) << row.name;
        EXPECT_EQ(back.y, row.y) << row.name;
    }
}

} // namespace
