#include "ui/dispatch.h"

#include "app/app_context.h"
#include "tests/support/test_window.h"
#include "tests/support/sim_drive.h"
#include "tests/support/window_driver.h"
#include "ui/window.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(DispatchTexts, AreTheUsersWordsAroundTheirValue) {
    EXPECT_EQ(TargetRefusalText(L"E:"),
              L"Целевой диск не подтверждён:\r\nE:\r\nнет \\efi\\Telvorn\\Boot\\NOT.DEL или не "
              L"найден PhysicalDrive.");
    EXPECT_EQ(TargetRefusalText(L"Q:").substr(28, 6), L"\r\nQ:\r\n");
    EXPECT_EQ(LoaderChangedText(L"UEFI Xorboot"), L"Загрузчик изменён: UEFI Xorboot");
    EXPECT_EQ(LoaderChangedText(L"Grub2 (Legacy)"), L"Загрузчик изменён: Grub2 (Legacy)");
}

// What another thread saw of the box the window's thread was blocked in.
struct SeenBox {
    bool found = false;
    MessageBoxInfo info;
    bool ownerEnabled = true;
};

// Answers the next box of this process from a second thread, as the user would.
std::thread AnswerNextBox(HWND window, SeenBox& seen) {
    return std::thread([window, &seen] {
        seen.found = WaitForMessageBox(GetCurrentProcessId(), 10000, seen.info);
        if (!seen.found) {
            return;
        }
        seen.ownerEnabled = IsWindowEnabled(window) != FALSE;
        PressOk(seen.info);
    });
}

struct TestWindow {
    AppContext context;
    HWND window = nullptr;
    TestWindow() {
        RegisterMainWindowClass(L"QuillmereDispatchTest");
        context.bootDir = BuildDir() + L"\\drives\\dispatch_test\\efi\\Telvorn\\Boot";
        MakeFolders(context.bootDir);
        context.installerRoot = L"Q:";
        window = CreateWindowExW(0, L"QuillmereDispatchTest", L"", WS_POPUP | WS_VISIBLE, 40, 40,
                                 376, 208, nullptr, nullptr, GetModuleHandleW(nullptr), &context);
    }
    ~TestWindow() {
        DestroyWindow(window);
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
};

TEST(RunAction, RefusesAnUnconfirmedTargetWithoutGoingBusy) {
    for (bool marker : {false, true}) {
        // With the marker present the disk number still fails: Q: is no volume.
        TestWindow test;
        ASSERT_NE(test.window, nullptr);
        std::wstring markerPath = test.context.bootDir + L"\\NOT.DEL";
        if (marker) {
            ASSERT_TRUE(WriteBytes(markerPath, ""));
        } else {
            DeleteFileW(markerPath.c_str());
        }
        SeenBox seen;
        std::thread answer = AnswerNextBox(test.window, seen);
        test.context.RunAction(4);
        answer.join();
        ASSERT_TRUE(seen.found) << marker;
        EXPECT_EQ(seen.info.text, TargetRefusalText(L"Q:"));
        EXPECT_EQ(seen.info.caption, L"Quillmere");
        EXPECT_EQ(seen.info.icon, "information");
        EXPECT_EQ(seen.info.owner, test.window);
        EXPECT_FALSE(seen.ownerEnabled);
        EXPECT_FALSE(test.context.busy);
        EXPECT_EQ(test.context.runningAction, -1);
        EXPECT_FALSE(test.context.modalShown);
        EXPECT_TRUE(IsWindowEnabled(test.window));
        DeleteFileW(markerPath.c_str());
    }
}

TEST(RunAction, DoesNothingWhileBusy) {
    TestWindow test;
    ASSERT_NE(test.window, nullptr);
    test.context.busy = true;
    test.context.runningAction = 1;
    SeenBox seen;
    std::thread answer([&] { seen.found = !NoMessageBoxWithin(GetCurrentProcessId(), 1000); });
    test.context.RunAction(4);
    answer.join();
    EXPECT_FALSE(seen.found);
    EXPECT_TRUE(test.context.busy);
    EXPECT_EQ(test.context.runningAction, 1);
}

TEST(ShowModalMessage, LeavesTheModalFlagAsItFoundIt) {
    for (bool alreadyShown : {false, true}) {
        TestWindow test;
        ASSERT_NE(test.window, nullptr);
        test.context.modalShown = alreadyShown;
        SeenBox seen;
        std::thread answer = AnswerNextBox(test.window, seen);
        test.context.ReportLoaderChanged(L"UEFI Xorboot");
        answer.join();
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.info.text, L"Загрузчик изменён: UEFI Xorboot");
        EXPECT_EQ(seen.info.caption, L"Quillmere");
        EXPECT_EQ(seen.info.icon, "information");
        EXPECT_FALSE(seen.ownerEnabled);
        EXPECT_EQ(test.context.modalShown, alreadyShown);
        EXPECT_TRUE(IsWindowEnabled(test.window));
    }
}

} // namespace
