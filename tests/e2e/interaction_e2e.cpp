// The pointer as a person uses it on the real window: clicks, drags, the caption buttons, and
// what must not react while an action or a message runs.
#include <gtest/gtest.h>

#include "res/resource_ids.h"
#include "sys/handles.h"
#include "tests/e2e/window_session.h"

namespace {

using namespace looks;
const ButtonColours P = Plain, G = Grey;

std::wstring EventsPath() {
    std::wstring path = BuildDir() + L"\\drives\\ui_standin_events.txt";
    DeleteFileW(path.c_str());
    return path;
}

bool WaitForText(const std::wstring& path, const std::string& text, DWORD timeoutMs) {
    return WaitUntil([&] { return ReadBytes(path).find(text) != std::string::npos; }, timeoutMs);
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// A tick that begins after the input repaints the window: the poll has seen it. While a box is
// open nothing repaints, and the input is only given.
void PressAt(HWND window, POINT at, bool seen = true) {
    MovePointerToClient(window, at.x, at.y);
    Hold(60); // the pointer rests on the spot before the press, as in ClickClient
    LeftDown();
    if (seen) {
        EXPECT_TRUE(PolledSince(window));
    }
}

void SlideTo(HWND window, POINT at, bool seen = true) {
    MovePointerToClient(window, at.x, at.y);
    if (seen) {
        EXPECT_TRUE(PolledSince(window));
    }
}

void ReleaseHere() {
    LeftUp();
}

// The poll's own tick, sent: once this returns, the poll has run after everything done before.
// The timer's ticks are no sign while a box is open: they change nothing to be seen.
bool SendTick(HWND window) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_TIMER, PollTimerId, 0, SMTO_BLOCK, 10000, &ignored) != 0;
}

bool NoBoxBy(const WindowSession& session) {
    return NothingHappenedBy([&] { return PolledIdleSince(session.window); },
                             [&] { return MessageBoxShown(session.app.processId); });
}

// Paints over part of the window behind its back; only a repaint of the window removes it.
void Scribble(HWND window, int x, int y, int width, int height) {
    WindowDc dc(window);
    BrushHandle brush(CreateSolidBrush(RGB(0xFF, 0x00, 0xFF)));
    RECT area{x, y, x + width, y + height};
    FillRect(dc.dc, &area, brush.Get());
    GdiFlush();
}

void ExpectSuccessBox(const WindowSession& session, const wchar_t* text) {
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(session.app.processId, 10000, box)) << "no box";
    EXPECT_EQ(box.text, text);
    EXPECT_TRUE(PressOk(box));
}

TEST(InteractionE2e, ClickRunsTheButtonsActionAndLogsItsTarget) {
    WindowSession session;
    ASSERT_TRUE(session.Prepare());
    DeleteFileW(DebugLogPath().c_str());
    ASSERT_TRUE(session.Launch({{L"TELVORN_DEBUG_LOG", L"1"}}));
    POINT four = ButtonCentre(4);
    // A tap, as a touchpad sends it: press and release with no pause, between two polls.
    ClickClient(session.window, four.x, four.y, 0);
    ExpectSuccessBox(session, L"Загрузчик изменён: UEFI Bootmgr");
    EXPECT_EQ(session.BootState(), "legacy=-1\nuefi=0\n");
    std::string log = ReadBytes(DebugLogPath());
    EXPECT_EQ(Count(log, "RunAction index=4 disk=E: physical=2\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "RunAction "), 1u) << log;
    EXPECT_TRUE(NoBoxBy(session)) << "one click, one action";
}

// Keys as the X server sends them. No window manager runs under Xvfb to give the window the
// keyboard: xdotool does, before it types.
TEST(InteractionE2e, RealKeysShowTheCueMoveTheFocusClickAndClose) {
    WindowSession session;
    ASSERT_TRUE(session.Open());
    // Wine keeps the X window of a window in this property.
    const auto xWindow =
        reinterpret_cast<uintptr_t>(GetPropW(session.window, L"__wine_x11_whole_window"));
    ASSERT_NE(xWindow, 0u);
    const std::string focus =
        "xdotool windowfocus --sync " + std::to_string(xWindow) + " key --delay 40 ";
    // Tab only shows the cue on button 0, Down moves it to Grub4Dos, Return clicks it.
    ASSERT_TRUE(RunHostCommand(focus + "Tab Down Return"));
    ExpectSuccessBox(session, L"Загрузчик изменён: Grub4Dos");
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(session.window) != FALSE; }, 10000));
    ASSERT_TRUE(RunHostCommand(focus + "Escape"));
    EXPECT_EQ(session.app.Wait(10000), 0);
}

TEST(InteractionE2e, ReleaseDecidesWhichButtonRuns) {
    WindowSession session;
    ASSERT_TRUE(session.Open());
    HWND window = session.window;

    PressAt(window, ButtonCentre(4));
    SlideTo(window, ButtonCentre(5));
    ReleaseHere();
    ExpectSuccessBox(session, L"Загрузчик изменён: UEFI GRUB2");
    EXPECT_EQ(session.BootState(), "legacy=-1\nuefi=1\n");

    PressAt(window, ButtonCentre(6));
    SlideTo(window, Nowhere);
    ReleaseHere();
    EXPECT_TRUE(NoBoxBy(session)) << "slid off before release";
    EXPECT_EQ(session.BootState(), "legacy=-1\nuefi=1\n");

    // The hit area is the painted frame: (13, 71) is button 0's corner, (12, 71) is outside.
    PressAt(window, {12, 71});
    ReleaseHere();
    EXPECT_TRUE(NoBoxBy(session)) << "(12, 71) is no button";
    PressAt(window, {13, 71});
    ReleaseHere();
    ExpectSuccessBox(session, L"Загрузчик изменён: XorBoot");
    EXPECT_EQ(session.BootState(), "legacy=0\nuefi=1\n");
}

TEST(InteractionE2e, HoverFollowsTheZoneBoundaries) {
    WindowSession session;
    ASSERT_TRUE(session.Open());
    HWND window = session.window;
    struct Row {
        POINT at;
        int x, y; // a pixel that shows the zone's hover
        uint32_t rgb;
    } rows[] = {
        {{306, 2}, 308, 4, MinimizeHover}, {{305, 2}, 308, 4, Header},
        {{336, 2}, 308, 4, Header},        {{336, 2}, 340, 4, Header},
        {{338, 2}, 340, 4, CloseHover},    {{13, 71}, 20, 80, 0xE4EEFF},
        {{12, 71}, 20, 80, 0xFFFFFF},      {{185, 80}, 20, 80, 0xFFFFFF},
    };
    for (const Row& row : rows) {
        MovePointerToClient(window, row.at.x, row.at.y);
        EXPECT_TRUE(WaitForClientPixel(window, row.x, row.y, row.rgb, 2000))
            << "pointer at (" << row.at.x << ", " << row.at.y << ") pixel " << std::hex
            << ReadClientPixel(window, row.x, row.y);
    }
}

TEST(InteractionE2e, HeaderDragMovesTheWindowWithTheCursor) {
    WindowSession session;
    ASSERT_TRUE(session.Open());
    HWND window = session.window;
    RECT before = session.Frame();
    PressAt(window, {100, 10});
    POINT grab{};
    GetCursorPos(&grab);
    MovePointerToScreen(grab.x + 30, grab.y + 5);
    EXPECT_TRUE(PolledSince(window));
    MovePointerToScreen(grab.x + 50, grab.y + 20);
    // The window follows on the next ticks; a loaded machine may take several of them.
    WaitUntil(
        [&] {
            const RECT now = session.Frame();
            return now.left - before.left == 50 && now.top - before.top == 20;
        },
        3000);
    ReleaseHere();
    RECT after = session.Frame();
    EXPECT_EQ(after.left - before.left, 50);
    EXPECT_EQ(after.top - before.top, 20);
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    EXPECT_EQ(cursor.x, 100);
    EXPECT_EQ(cursor.y, 10);

    // Released: moving on leaves the window where it is.
    MovePointerToScreen(grab.x + 120, grab.y + 60);
    EXPECT_TRUE(NothingHappenedBy([&] { return PolledIdleSince(window); },
                                  [&] {
                                      const RECT now = session.Frame();
                                      return now.left != after.left || now.top != after.top;
                                  }));
}

TEST(InteractionE2e, CaptionButtonsMinimiseAndCloseOnlyWhenReleasedOnThem) {
    WindowSession session;
    ASSERT_TRUE(session.Open());
    HWND window = session.window;

    PressAt(window, {320, 10});
    SlideTo(window, Nowhere);
    ReleaseHere();
    EXPECT_TRUE(NothingHappenedBy([&] { return PolledIdleSince(window); },
                                  [&] { return IsIconic(window) != FALSE; }))
        << "slid away from minimise";

    PressAt(window, {350, 10});
    SlideTo(window, Nowhere);
    ReleaseHere();
    EXPECT_TRUE(NothingHappenedBy([&] { return PolledIdleSince(window); },
                                  [&] { return !session.app.Running(); }))
        << "slid away from close";

    ClickClient(window, 320, 10);
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(window) != FALSE; }, 10000));
    ShowWindow(window, SW_RESTORE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(window) == FALSE; }, 10000));

    ClickClient(window, 350, 10);
    EXPECT_EQ(session.app.Wait(5000), 0);
}

TEST(InteractionE2e, NothingReactsWhileAnActionRunsButTheWindowStaysAlive) {
    WindowSession session;
    ASSERT_TRUE(session.Prepare());
    std::wstring events = EventsPath();
    DeleteFileW(DebugLogPath().c_str());
    ASSERT_TRUE(session.Launch({{L"QUILLMERE_STANDIN_SLEEP_MS", L"5000"},
                                {L"QUILLMERE_STANDIN_EVENTS", events},
                                {L"TELVORN_DEBUG_LOG", L"1"}}));
    HWND window = session.window;
    POINT zero = ButtonCentre(0);
    ClickClient(window, zero.x, zero.y);
    ASSERT_TRUE(WaitForText(events, "begin mbr", 20000));
    RECT frame = session.Frame();

    PostMessageW(window, WM_CLOSE, 0, 0);
    ClickClient(window, ButtonCentre(4).x, ButtonCentre(4).y);
    PressAt(window, {100, 10});
    SlideTo(window, {160, 40});
    ReleaseHere();
    ClickClient(window, 320, 10);
    ClickClient(window, 350, 10);
    MovePointerToClient(window, ButtonCentre(5).x, ButtonCentre(5).y);

    const ButtonColours running[LoaderCount] = {Running, G, G, G, G, G, G};
    EXPECT_EQ(WaitForLook(window, WindowSamples(Header, Header, running), TextAreas(running), 500),
              "");
    // Every tick repaints the whole window, also while the action waits for its child.
    Scribble(window, 200, 150, 40, 40);
    EXPECT_TRUE(WaitForClientPixel(window, 210, 160, 0xF1F4F9, 1000));
    EXPECT_EQ(ReadBytes(events).find("end mbr"), std::string::npos) << "the tool ended early";
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(session.Frame().left, frame.left);
    EXPECT_EQ(session.Frame().top, frame.top);

    ExpectSuccessBox(session, L"Загрузчик изменён: XorBoot");
    EXPECT_TRUE(NoBoxBy(session)) << "a second action ran";
    std::string ran = ReadBytes(events);
    EXPECT_EQ(Count(ran, "begin "), 2u) << ran;
    EXPECT_EQ(session.BootState(), "legacy=0\nuefi=-1\n");
    std::string log = ReadBytes(DebugLogPath());
    EXPECT_EQ(Count(log, "RunAction "), 1u) << log;
    EXPECT_GE(Count(log, "WM_CLOSE busy=1\r\n"), 1u) << log;
    EXPECT_EQ(Count(log, "WM_CLOSE busy=0"), 0u) << log;

    // Once the action is over a close request is obeyed.
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(session.app.Wait(5000), 0);
    EXPECT_EQ(Count(ReadBytes(DebugLogPath()), "WM_CLOSE busy=0\r\n"), 1u);
}

TEST(InteractionE2e, AQuitDuringAnActionEndsTheProgramOnlyAfterItsLastMessage) {
    WindowSession session;
    ASSERT_TRUE(session.Prepare());
    std::wstring events = EventsPath();
    ASSERT_TRUE(session.Launch(
        {{L"QUILLMERE_STANDIN_SLEEP_MS", L"1000"}, {L"QUILLMERE_STANDIN_EVENTS", events}}));
    HWND window = session.window;
    ClickClient(window, ButtonCentre(1).x, ButtonCentre(1).y);
    ASSERT_TRUE(WaitForText(events, "begin mbr", 20000));
    // Taken while the first of the action's two tool runs is under way.
    ASSERT_TRUE(PostThreadMessageW(GetWindowThreadProcessId(window, nullptr), WM_QUIT, 7, 0));

    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(session.app.processId, 10000, box)) << "no closing message";
    EXPECT_EQ(box.text, L"Загрузчик изменён: Bootmgr");
    // Two sent messages answered by the box's loop: a quit waiting in the queue would have ended
    // that loop at the first of them.
    auto answered = [&] {
        DWORD_PTR ignored = 0;
        return SendMessageTimeoutW(box.box, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &ignored) != 0;
    };
    EXPECT_TRUE(NothingHappenedBy([&] { return answered() && answered(); },
                                  [&] { return !IsWindow(box.box); }))
        << "the message closed by itself";
    EXPECT_TRUE(session.app.Running());
    EXPECT_EQ(Count(ReadBytes(events), "end "), 2u) << "the action was cut short";
    ASSERT_TRUE(PressOk(box));
    EXPECT_EQ(session.app.Wait(5000), 7);
    EXPECT_EQ(session.BootState(), "legacy=1\nuefi=-1\n");
}

TEST(InteractionE2e, AnOpenMessageFreezesThePointerAndThePoll) {
    WindowSession session;
    ASSERT_TRUE(session.Open());
    HWND window = session.window;
    ASSERT_TRUE(DeleteFileW(session.installer.Path(L"\\efi\\Telvorn\\Boot\\NOT.DEL").c_str()));
    ClickClient(window, ButtonCentre(2).x, ButtonCentre(2).y);
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(session.app.processId, 5000, box));
    ASSERT_TRUE(session.MoveAside(box));
    const ButtonColours grey[LoaderCount] = {G, G, G, G, G, G, G};
    EXPECT_EQ(WaitForLook(window, WindowSamples(Header, Header, grey), TextAreas(grey), 2000), "");

    MovePointerToClient(window, 320, 10);
    Scribble(window, 200, 150, 40, 40);
    ASSERT_TRUE(SendTick(window));
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE)) << "the poll asked for a repaint";
    EXPECT_EQ(ReadClientPixel(window, 308, 4), Header) << "the caption lit under a message";
    EXPECT_EQ(ReadClientPixel(window, 210, 160), 0xFF00FFu) << "the poll repainted";
    ClickClient(window, 350, 10);
    ASSERT_TRUE(SendTick(window));
    EXPECT_TRUE(session.app.Running());

    ASSERT_TRUE(PressOk(box));
    MovePointerToClient(window, Nowhere.x, Nowhere.y);
    // Without a window manager, closing a box holds the program's thread up to 2 s while X
    // withdraws it.
    EXPECT_TRUE(WaitForClientPixel(window, 210, 160, 0xF1F4F9, 5000));
    const ButtonColours idle[LoaderCount] = {P, P, P, P, P, P, P};
    EXPECT_EQ(WaitForLook(window, WindowSamples(Header, Header, idle), TextAreas(idle), 2000), "");
    EXPECT_EQ(session.BootState(), "");
    EXPECT_TRUE(session.app.Running()) << "the close button reacted under the message";
}

// Another program's window over a screen rectangle, until `other` ends.
bool OpenOtherWindow(AppRun& other, RECT at) {
    return other.Start(HelperPath(L"overlay"), {},
                       std::to_wstring(at.left) + L" " + std::to_wstring(at.top) + L" " +
                           std::to_wstring(at.right - at.left) + L" " +
                           std::to_wstring(at.bottom - at.top));
}

TEST(InteractionE2e, APressInAnotherWindowStartsNothing) {
    WindowSession session;
    ASSERT_TRUE(session.Prepare());
    std::wstring events = EventsPath();
    ASSERT_TRUE(session.Launch({{L"QUILLMERE_STANDIN_EVENTS", events}}));
    HWND window = session.window;
    const PixelRect& r = Loaders[0].place;
    {
        SCOPED_TRACE("another window over the button");
        POINT corner{r.x - 4, r.y - 4};
        ClientToScreen(window, &corner);
        AppRun over;
        ASSERT_TRUE(OpenOtherWindow(
            over, {corner.x, corner.y, corner.x + r.width + 8, corner.y + r.height + 8}));
        ASSERT_TRUE(
            WaitForClientPixel(window, ButtonCentre(0).x, ButtonCentre(0).y, 0xFF00FF, 5000));
        ClickClient(window, ButtonCentre(0).x, ButtonCentre(0).y);
        // The pointer is over the other window, where the poll rests: its own tick is sent, and an
        // action it started would hold the send until its box is answered.
        PressAt(window, ButtonCentre(0), false);
        SlideTo(window, {r.x + 5, r.y + 5}, false);
        ReleaseHere();
        EXPECT_TRUE(NothingHappenedBy([&] { return SendTick(window); },
                                      [&] { return MessageBoxShown(session.app.processId); }));
    }
    {
        // A file dragged from another program and dropped on a button.
        SCOPED_TRACE("press begun in another window beside this one, released over the button");
        POINT left{-110, r.y};
        ClientToScreen(window, &left);
        AppRun beside;
        ASSERT_TRUE(OpenOtherWindow(beside, {left.x, left.y, left.x + 100, left.y + r.height}));
        ASSERT_TRUE(
            WaitUntil([&] { return ReadScreenPixel(left.x + 50, left.y + 5) == 0xFF00FF; }, 5000));
        // The other window holds the press, and with it every pointer message.
        PressAt(window, {-60, r.y + 5}, false);
        SlideTo(window, {r.x + 10, r.y + 5}, false);
        SlideTo(window, ButtonCentre(0), false);
        ReleaseHere();
        EXPECT_TRUE(NothingHappenedBy([&] { return SendTick(window); },
                                      [&] { return MessageBoxShown(session.app.processId); }));
    }
    EXPECT_FALSE(PathExists(events)) << "the tool ran";
    EXPECT_EQ(session.BootState(), "");

    // The same click with the other windows gone is a click on the button.
    ASSERT_TRUE(WaitForClientPixel(window, 20, 80, 0xE4EEFF, 3000));
    ClickClient(window, ButtonCentre(0).x, ButtonCentre(0).y);
    ExpectSuccessBox(session, L"Загрузчик изменён: XorBoot");
}

} // namespace
