#include "app/app_context.h"

#include <gtest/gtest.h>

TEST(ToColorRef, SwapsRedAndBlueAndDropsTheTopByte) {
    EXPECT_EQ(ToColorRef(0xE04B3F), 0x3F4BE0u);
    EXPECT_EQ(ToColorRef(0x12345678), 0x785634u);
    EXPECT_EQ(ToColorRef(0x1E2A44), 0x442A1Eu);
    EXPECT_EQ(ToColorRef(0xFFFFFF), 0xFFFFFFu);
}

TEST(AppContext, StartsIdleWithNothingInstalled) {
    AppContext context;
    EXPECT_EQ(context.clientWidth, 376);
    EXPECT_EQ(context.clientHeight, 208);
    EXPECT_FALSE(context.busy);
    EXPECT_EQ(context.runningAction, -1);
    EXPECT_EQ(context.legacyLoader, -1);
    EXPECT_EQ(context.uefiLoader, -1);
    EXPECT_EQ(context.pressedButton, -1);
    EXPECT_EQ(context.hoverZone.kind, ZoneKind::None);
    EXPECT_FALSE(context.pointerDown);
}
