#include "ui/dispatch.h"

#include "app/app_context.h"
#include "tests/support/box_answerer.h"
#include "tests/support/sim_drive.h"
#include "tests/support/test_window.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(DispatchTexts, AreTheUsersWordsAroundTheirValue) {
    EXPECT_EQ(TargetRefusalText(L"E:"),
              L"Целевой диск не подтверждён:\r\nE:\r\nнет \\efi\\Telvorn\\Boot\\NOT.DEL или не "
              L"найден PhysicalDrive.");
    EXPECT_EQ(TargetRefusalText(L"Q:").substr(28, 6), L"\r\nQ:\r\n");
    EXPECT_EQ(LoaderChangedText(L"UEFI Xorboot"), L"Загрузчик изменён: UEFI Xorboot");
    EXPECT_EQ(LoaderChangedText(L"Grub2 (Legacy)"), L"Загрузчик изменён: Grub2 (Legacy)");
}

// The program's window over a boot folder that may carry the marker; Q: is no volume.
bool OpenOnUnknownVolume(ProgramWindow& test) {
    test.context.bootDir = BuildDir() + L"\\drives\\dispatch_test\\efi\\Telvorn\\Boot";
    test.context.installerRoot = L"Q:";
    return MakeFolders(test.context.bootDir) && test.Create(true);
}

TEST(RunAction, RefusesAnUnconfirmedTargetWithoutGoingBusy) {
    for (bool marker : {false, true}) {
        SCOPED_TRACE(marker ? "marker present, no disk number" : "no marker");
        ProgramWindow test;
        ASSERT_TRUE(OpenOnUnknownVolume(test));
        std::wstring markerPath = test.context.bootDir + L"\\NOT.DEL";
        if (marker) {
            ASSERT_TRUE(WriteBytes(markerPath, ""));
        } else {
            DeleteFileW(markerPath.c_str());
        }
        BoxAnswerer answerer;
        answerer.Start();
        test.context.RunAction(4);
        EXPECT_EQ(answerer.Finish(), std::vector<std::wstring>{TargetRefusalText(L"Q:")});
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].caption, L"Quillmere");
        EXPECT_EQ(answerer.boxes[0].icon, "information");
        EXPECT_EQ(answerer.boxes[0].owner, test.window);
        EXPECT_FALSE(test.context.busy);
        EXPECT_EQ(test.context.runningAction, -1);
        EXPECT_FALSE(test.context.modalShown);
        EXPECT_TRUE(IsWindowEnabled(test.window));
        DeleteFileW(markerPath.c_str());
    }
}

TEST(RunAction, DoesNothingWhileBusy) {
    ProgramWindow test;
    ASSERT_TRUE(OpenOnUnknownVolume(test));
    test.context.busy = true;
    test.context.runningAction = 1;
    bool boxShown = false;
    std::thread watch([&] { boxShown = !NoMessageBoxWithin(GetCurrentProcessId(), 1000); });
    test.context.RunAction(4);
    watch.join();
    EXPECT_FALSE(boxShown);
    EXPECT_TRUE(test.context.busy);
    EXPECT_EQ(test.context.runningAction, 1);
}

TEST(ShowModalMessage, LeavesTheModalFlagAsItFoundIt) {
    for (bool alreadyShown : {false, true}) {
        SCOPED_TRACE(alreadyShown ? "already shown" : "not shown before");
        ProgramWindow test;
        ASSERT_TRUE(OpenOnUnknownVolume(test));
        test.context.modalShown = alreadyShown;
        BoxAnswerer answerer;
        answerer.Start();
        test.context.ReportLoaderChanged(L"UEFI Xorboot");
        EXPECT_EQ(answerer.Finish(), std::vector<std::wstring>{L"Загрузчик изменён: UEFI Xorboot"});
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].caption, L"Quillmere");
        EXPECT_EQ(answerer.boxes[0].icon, "information");
        EXPECT_EQ(test.context.modalShown, alreadyShown);
        EXPECT_TRUE(IsWindowEnabled(test.window));
    }
}

} // namespace
