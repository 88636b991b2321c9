// The window as it appears on screen in each of its looks, read pixel by pixel.
#include <gtest/gtest.h>

#include "sys/handles.h"
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
    ASSERT_TRUE(session.Open());
    const ButtonColours idle[LoaderCount] = {P, P, P, P, P, P, P};
    EXPECT_EQ(ExpectLook(session.window, Header, Header, idle), "");
}

TEST(PaintE2e, InstalledLoadersAtRestUnderThePointerAndPressed) {
    WindowSession session;
    ASSERT_TRUE(session.Open("legacy=1\nuefi=2\n"));
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
    // The look above was painted after the release: an action would have greyed it.
    EXPECT_FALSE(MessageBoxShown(session.app.processId));
}

TEST(PaintE2e, CaptionButtonsLightUnderThePointer) {
    WindowSession session;
    ASSERT_TRUE(session.Open());
    HWND window = session.window;
    const ButtonColours idle[LoaderCount] = {P, P, P, P, P, P, P};
    // Each glyph lights under the pointer and while pressed; released elsewhere, it does nothing.
    struct Glyph {
        int x;
        uint32_t hover[2], pressed[2]; // minimise's and close's colours
    } glyphs[] = {{320, {MinimizeHover, Header}, {MinimizePressed, Header}},
                  {350, {Header, CloseHover}, {Header, ClosePressed}}};
    for (const Glyph& glyph : glyphs) {
        SCOPED_TRACE(glyph.x);
        MovePointerToClient(window, glyph.x, 10);
        EXPECT_EQ(ExpectLook(window, glyph.hover[0], glyph.hover[1], idle), "");
        LeftDown();
        EXPECT_EQ(ExpectLook(window, glyph.pressed[0], glyph.pressed[1], idle), "");
        MovePointerToClient(window, Nowhere.x, Nowhere.y);
        LeftUp();
    }
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
    ClickClient(window, zero.x, zero.y);
    const ButtonColours running[LoaderCount] = {Running, G, G, G, G, G, G};
    EXPECT_EQ(ExpectLook(window, Header, Header, running), "") << "while the tool runs";

    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(session.app.processId, 20000, box));
    EXPECT_EQ(box.text, L"Загрузчик изменён: XorBoot");
    EXPECT_EQ(box.caption, L"Quillmere");
    EXPECT_EQ(box.icon, "information");
    EXPECT_EQ(box.owner, window);
    ASSERT_TRUE(session.MoveAside(box));
    EXPECT_EQ(ExpectLook(window, Header, Header, running), "") << "behind the success message";

    ASSERT_TRUE(PressOk(box));
    // The pointer still rests on button 0, now the installed Legacy BIOS loader.
    const ButtonColours after[LoaderCount] = {InstalledHover, P, P, P, P, P, I};
    EXPECT_EQ(ExpectLook(window, Header, Header, after), "") << "after the message";
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(session.BootState(), "legacy=0\nuefi=2\n");
}

TEST(PaintE2e, RefusalMessageGreysEveryButton) {
    WindowSession session;
    ASSERT_TRUE(session.Open("legacy=1\nuefi=2\n"));
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
    ASSERT_TRUE(session.MoveAside(box));
    const ButtonColours grey[LoaderCount] = {G, G, G, G, G, G, G};
    EXPECT_EQ(ExpectLook(window, Header, Header, grey), "") << "while the refusal is open";

    ASSERT_TRUE(PressOk(box));
    const ButtonColours after[LoaderCount] = {P, I, P, P, PlainHover, P, I};
    EXPECT_EQ(ExpectLook(window, Header, Header, after), "") << "after the refusal";
    EXPECT_EQ(session.BootState(), "legacy=1\nuefi=2\n");
}

// On a screen scaled to 150 %. ctest runs this alone, as paint_e2e_144dpi, in a Wine prefix of
// its own whose LogPixels is 144; the plain paint_e2e run leaves it out.
TEST(Dpi144E2e, WindowTextsAndClicksScaleWithTheScreen) {
    // Otherwise Wine would show this test the program's window in 96-dpi coordinates.
    SetProcessDPIAware();
    {
        WindowDc screen(nullptr);
        ASSERT_EQ(GetDeviceCaps(screen.dc, LOGPIXELSY), 144) << "not the 144-dpi prefix";
    }
    WindowSession session;
    ASSERT_TRUE(session.Open("legacy=1\nuefi=2\n"));
    HWND window = session.window;

    RECT area{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
    const RECT frame = session.Frame();
    EXPECT_EQ(frame.right - frame.left, 564);
    EXPECT_EQ(frame.bottom - frame.top, 312);
    EXPECT_EQ(frame.left, area.left + (area.right - area.left - 564) / 2);
    EXPECT_EQ(frame.top, area.top + (area.bottom - area.top - 312) / 2);

    // Every fill and every text in its own band, at one and a half times its place.
    const ButtonColours rest[LoaderCount] = {P, I, P, P, P, P, I};
    EXPECT_EQ(WaitForLook(window, ScaledSamples(WindowSamples(Header, Header, rest), 144),
                          ScaledTextAreas(TextAreas(rest), 144), 5000),
              "");

    // Button 5's centre lies below the whole window as it would be at 96 dpi.
    const POINT five = {MulDiv(ButtonCentre(5).x, 144, 96), MulDiv(ButtonCentre(5).y, 144, 96)};
    ASSERT_GT(five.y, 208);
    MovePointerToClient(window, five.x, five.y);
    const ButtonColours hover[LoaderCount] = {P, I, P, P, P, PlainHover, I};
    EXPECT_EQ(WaitForLook(window, ScaledSamples(WindowSamples(Header, Header, hover), 144),
                          ScaledTextAreas(TextAreas(hover), 144), 5000),
              "");
    ClickClient(window, five.x, five.y);
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(session.app.processId, 10000, box));
    EXPECT_EQ(box.text, L"Загрузчик изменён: UEFI GRUB2");
    ASSERT_TRUE(PressOk(box));
    EXPECT_EQ(session.BootState(), "legacy=1\nuefi=1\n");
}

} // namespace
