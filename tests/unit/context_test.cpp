#include "ui/app_context.h"
#include "ui/layout.h"

#include <gtest/gtest.h>

#include <vector>

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
    EXPECT_FALSE(context.status.busy);
    EXPECT_EQ(context.status.runningAction, -1);
    EXPECT_EQ(context.status.legacyLoader, -1);
    EXPECT_EQ(context.status.uefiLoader, -1);
    EXPECT_EQ(context.pointer.pressedButton, -1);
    EXPECT_EQ(context.pointer.hover.kind, ZoneKind::None);
    EXPECT_FALSE(context.pointer.down);
}

TEST(Loaders, AValueMarksOnlyTheButtonOfItsOwnMode) {
    struct Row {
        int32_t legacyLoader, uefiLoader;
        std::vector<Loader> marked;
    } rows[] = {
        {-1, -1, {}},
        {1, 2, {Loader::Bootmgr, Loader::UefiXorboot}},
        {3, 0, {Loader::Grub2, Loader::UefiBootmgr}},
        {0, 1, {Loader::XorBoot, Loader::UefiGrub2}},
        // What a hand-edited state file can hold marks nothing.
        {5, 3, {}},
        {4, -2, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "legacy " << row.legacyLoader << " uefi " << row.uefiLoader);
        std::vector<Loader> marked;
        for (const LoaderFacts& facts : Loaders) {
            if (IsInstalled(facts.loader, row.legacyLoader, row.uefiLoader)) {
                marked.push_back(facts.loader);
            }
        }
        EXPECT_EQ(marked, row.marked);
    }
}

TEST(Loaders, AnIndexOutsideTheButtonsHasNoLoader) {
    for (int32_t index : {-1, 7, 100}) {
        EXPECT_EQ(FactsAtIndex(index), nullptr) << index;
    }
    for (int32_t index = 0; index < LoaderCount; ++index) {
        ASSERT_NE(FactsAtIndex(index), nullptr) << index;
        EXPECT_EQ(static_cast<int32_t>(FactsAtIndex(index)->loader), index);
    }
}
