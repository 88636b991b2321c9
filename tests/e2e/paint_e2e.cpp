// The window as it appears on screen in each of its looks, read pixel by pixel.
#include <gtest/gtest.h>

#include "tests/e2e/window_session.h"

namespace {

using namespace looks;
const ButtonColours P = Plain, I = Installed, G = Grey;

std::string ExpectLook(HWND window, uint32_t minimize, uint32_t close,
                       const ButtonColours (&buttons)[LoaderCount]) {
    return WaitForLook(window, WindowSamples(minimize, close, buttons), TextAreas(buttons), 5000);
}

TEST(PaintE2e, IdleWindowWithNothingInstalled) {
    WindowSession session;
    ASSERT_TRUE(session.Prepare());
    ASSERT_TRUE(session.Launch());
    const ButtonColours idle[LoaderCount] = {P, P, P, P, P, P, P};
    EXPECT_EQ(ExpectLook(session.window, Header, Header, idle), "");
}

TEST(PaintE2e, InstalledLoadersAtRestUnderThePointerAndPressed) {
    WindowSession session;
    ASSERT_TRUE(session.Prepare("legacy=1\nuefi=2\n"));
    ASSERT_TRUE(session.Launch());
    HWND window = session.window;
    const ButtonColours rest[LoaderCount] = {P, I, P, P, P, P, I};
    EXPECT_EQ(ExpectLook(window, Header, Header, rest), "");

    POINT one = ButtonCentre(1);
    MovePointerToClient(window, one.x, one.y);
    const ButtonColours hover[LoaderCount] = {P, InstalledHover, P, P, P, P, I};
    EXPECT_EQ(ExpectLook(window, Header, Header, hover), "") << "installed under the pointer";

    LeftDown();
    const ButtonColours pressed[LoaderCount] = {P, InstalledPressed, P, P, P, P, I};
    EXPECT_EQ(ExpectLook(window, Header, Header, pressed), "") << "installed pressed";

    POINT four = ButtonCentre(4);
    MovePointerToClient(window, four.x, four.y);
    const ButtonColours plainPressed[LoaderCount] = {P, I, P, P, PlainPressed, P, I};
    EXPECT_EQ(ExpectLook(window, Header, Header, plainPressed), "") << "plain pressed";

    MovePointerToClient(window, Nowhere.x, Nowhere.y);
    LeftUp();
    EXPECT_EQ(ExpectLook(window, Header, Header, rest), "") << "released off every button";

    POINT zero = ButtonCentre(0);
    MovePointerToClient(window, zero.x, zero.y);
    const ButtonColours hoverZero[LoaderCount] = {PlainHover, I, P, P, P, P, I};
    EXPECT_EQ(ExpectLook(window, Header, Header, hoverZero), "") << "plain under the pointer";
    EXPECT_TRUE(NoMessageBoxWithin(session.app.processId, 300));
}

TEST(PaintE2e, CaptionButtonsLightUnderThePointer) {
    WindowSession session;
    ASSERT_TRUE(session.Prepare());
    ASSERT_TRUE(session.Launch());
    HWND window = session.window;
    const ButtonColours idle[LoaderCount] = {P, P, P, P, P, P, P};
    MovePointerToClient(window, 320, 10);
    EXPECT_EQ(ExpectLook(window, MinimizeHover, Header, idle), "");
    LeftDown();
    EXPECT_EQ(ExpectLook(window, MinimizePressed, Header, idle), "");
    MovePointerToClient(window, Nowhere.x, Nowhere.y);
    LeftUp();
    MovePointerToClient(window, 350, 10);
    EXPECT_EQ(ExpectLook(window, Header, CloseHover, idle), "");
    LeftDown();
    EXPECT_EQ(ExpectLook(window, Header, ClosePressed, idle), "");
    MovePointerToClient(window, Nowhere.x, Nowhere.y);
    LeftUp();
    EXPECT_EQ(ExpectLook(window, Header, Header, idle), "");
    EXPECT_FALSE(IsIconic(window));
    EXPECT_TRUE(session.app.Running());
}

TEST(PaintE2e, RunningActionGreysTheOthersAlsoBehindItsMessage) {
    WindowSession session;
    ASSERT_TRUE(session.Prepare("legacy=1\nuefi=2\n"));
    ASSERT_TRUE(session.Launch({{L"QUILLMERE_STANDIN_SLEEP_MS", L"2500"}}));
    HWND window = session.window;
    POINT zero = ButtonCentre(0);
    ClickClient(window, zero.x, zero.y, 100, 0);
    const ButtonColours running[LoaderCount] = {Running, G, G, G, G, G, G};
    EXPECT_EQ(ExpectLook(window, Header, Header, running), "") << "while the tool runs";

    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(session.app.processId, 20000, box));
    EXPECT_EQ(box.text, L"Загрузчик изменён: XorBoot");
    EXPECT_EQ(box.caption, L"Quillmere");
    EXPECT_EQ(box.icon, "information");
    EXPECT_EQ(box.owner, window);
    session.MoveAside(box);
    EXPECT_EQ(ExpectLook(window, Header, Header, running), "") << "behind the success message";
    EXPECT_FALSE(IsWindowEnabled(window));

    ASSERT_TRUE(PressOk(box));
    // The pointer still rests on button 0, now the installed Legacy BIOS loader.
    const ButtonColours after[LoaderCount] = {InstalledHover, P, P, P, P, P, I};
    EXPECT_EQ(ExpectLook(window, Header, Header, after), "") << "after the message";
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(session.BootState(), "legacy=0\nuefi=2\n");
}

TEST(PaintE2e, RefusalMessageGreysEveryButton) {
    WindowSession session;
    ASSERT_TRUE(session.Prepare("legacy=1\nuefi=2\n"));
    ASSERT_TRUE(session.Launch());
    HWND window = session.window;
    ASSERT_TRUE(DeleteFileW(session.installer.Path(L"\\efi\\Telvorn\\Boot\\NOT.DEL").c_str()));
    POINT four = ButtonCentre(4);
    ClickClient(window, four.x, four.y);

    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(session.app.processId, 5000, box));
    EXPECT_EQ(box.text, L"Целевой диск не подтверждён:\r\nE:\r\nнет "
                        L"\\efi\\Telvorn\\Boot\\NOT.DEL или не найден PhysicalDrive.");
    EXPECT_EQ(box.caption, L"Quillmere");
    EXPECT_EQ(box.icon, "information");
    EXPECT_EQ(box.owner, window);
    session.MoveAside(box);
    const ButtonColours grey[LoaderCount] = {G, G, G, G, G, G, G};
    EXPECT_EQ(ExpectLook(window, Header, Header, grey), "") << "while the refusal is open";

    ASSERT_TRUE(PressOk(box));
    const ButtonColours after[LoaderCount] = {P, I, P, P, PlainHover, P, I};
    EXPECT_EQ(ExpectLook(window, Header, Header, after), "") << "after the refusal";
    EXPECT_EQ(session.BootState(), "legacy=1\nuefi=2\n");
}

} // namespace
