#include "ui/paint.h"

#include "ui/app_context.h"
#include "sys/handles.h"
#include "ui/layout.h"
#include "tests/support/test_window.h"
#include "tests/support/window_looks.h"
#include "ui/window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr HitZone NoZone = {};
constexpr HitZone OnMinimize = {ZoneKind::Minimize, -1};
constexpr HitZone OnClose = {ZoneKind::Close, -1};
constexpr HitZone OnHeader = {ZoneKind::Header, -1};
constexpr HitZone OnButton(int i) {
    return {ZoneKind::Button, i};
}

// Puts what a frame shows into the context, as the poll and the actions would.
void Show(AppContext& c, bool busy, bool modal, int running, int legacy, int uefi, HitZone hover,
          bool down) {
    c.status.busy = busy;
    c.status.modalShown = modal;
    c.status.runningAction = running;
    c.status.legacyLoader = legacy;
    c.status.uefiLoader = uefi;
    c.pointer.hover = hover;
    c.pointer.down = down;
}

TEST(ChooseButtonLook, EveryLook) {
    struct Row {
        const char* name;
        bool busy;
        int running;
        bool modal;
        int legacy, uefi;
        HitZone hover;
        bool down;
        int index;
        uint32_t face, border, text;
    } rows[] = {
        {"plain at rest", false, -1, false, -1, -1, NoZone, false, 0, 0xFFFFFF, 0xBFC9D6, 0x14202E},
        {"plain hover", false, -1, false, -1, -1, OnButton(2), false, 2, 0xE4EEFF, 0xBFC9D6,
         0x14202E},
        {"plain pressed", false, -1, false, -1, -1, OnButton(4), true, 4, 0xCFE0FF, 0xBFC9D6,
         0x14202E},
        {"another button pressed", false, -1, false, -1, -1, OnButton(4), true, 5, 0xFFFFFF,
         0xBFC9D6, 0x14202E},
        {"held down in the header", false, -1, false, -1, -1, OnHeader, true, 0, 0xFFFFFF, 0xBFC9D6,
         0x14202E},
        {"installed legacy at rest", false, -1, false, 1, -1, NoZone, false, 1, 0xD8E4F8, 0x9BB8E8,
         0x2E4A78},
        {"installed legacy hover", false, -1, false, 1, -1, OnButton(1), false, 1, 0xC9DAF5,
         0x7FA5DC, 0x2E4A78},
        {"installed legacy pressed", false, -1, false, 1, -1, OnButton(1), true, 1, 0xB9CEF0,
         0x6C93D0, 0x2E4A78},
        {"installed uefi at rest", false, -1, false, -1, 2, NoZone, false, 6, 0xD8E4F8, 0x9BB8E8,
         0x2E4A78},
        {"installed uefi pressed", false, -1, false, -1, 0, OnButton(4), true, 4, 0xB9CEF0,
         0x6C93D0, 0x2E4A78},
        {"uefi value marks only the uefi group", false, -1, false, -1, 2, NoZone, false, 2,
         0xFFFFFF, 0xBFC9D6, 0x14202E},
        {"legacy value marks only the legacy group", false, -1, false, 4, -1, NoZone, false, 4,
         0xFFFFFF, 0xBFC9D6, 0x14202E},
        {"legacy 5 marks nothing", false, -1, false, 5, -1, NoZone, false, 5, 0xFFFFFF, 0xBFC9D6,
         0x14202E},
        {"uefi 3 marks nothing", false, -1, false, -1, 3, NoZone, false, 6, 0xFFFFFF, 0xBFC9D6,
         0x14202E},
        {"other button of the same group", false, -1, false, 1, 2, OnButton(0), false, 0, 0xE4EEFF,
         0xBFC9D6, 0x14202E},
        {"running button", true, 3, false, -1, -1, NoZone, false, 3, 0xD8E4F8, 0x9BB8E8, 0x2E4A78},
        {"busy greys an installed loader", true, 3, false, 1, -1, NoZone, false, 1, 0xE9ECF1,
         0xD5DAE2, 0xA7AEBA},
        {"busy greys a hovered button", true, 3, false, -1, -1, OnButton(0), false, 0, 0xE9ECF1,
         0xD5DAE2, 0xA7AEBA},
        {"busy wins over modal for the running button", true, 6, true, -1, 2, NoZone, false, 6,
         0xD8E4F8, 0x9BB8E8, 0x2E4A78},
        {"modal greys an installed loader", false, -1, true, 1, 2, NoZone, false, 1, 0xE9ECF1,
         0xD5DAE2, 0xA7AEBA},
        {"modal greys a pressed button", false, -1, true, -1, -1, OnButton(5), true, 5, 0xE9ECF1,
         0xD5DAE2, 0xA7AEBA},
    };
    for (const Row& row : rows) {
        AppContext context;
        Show(context, row.busy, row.modal, row.running, row.legacy, row.uefi, row.hover, row.down);
        ButtonLook look = ChooseButtonLook(FrameStateOf(context, 376, 208), row.index);
        EXPECT_EQ(look.face, ToColorRef(row.face)) << row.name;
        EXPECT_EQ(look.border, ToColorRef(row.border)) << row.name;
        EXPECT_EQ(look.text, ToColorRef(row.text)) << row.name;
    }
}

TEST(ChooseCaptionLook, LitOnlyUnderThePointerAndNeverWhileBusy) {
    struct Row {
        HitZone hover;
        bool down, busy;
        uint32_t minimize, close;
    } rows[] = {
        {OnMinimize, false, false, 0x2C3A57, 0x1E2A44},
        {OnMinimize, true, false, 0x3A4A6B, 0x1E2A44},
        {OnClose, false, false, 0x1E2A44, 0xE04B3F},
        {OnClose, true, false, 0x1E2A44, 0xC0392B},
        {OnHeader, true, false, 0x1E2A44, 0x1E2A44},
        {NoZone, false, false, 0x1E2A44, 0x1E2A44},
        {OnButton(3), true, false, 0x1E2A44, 0x1E2A44},
        {OnClose, true, true, 0x1E2A44, 0x1E2A44},
    };
    for (const Row& row : rows) {
        FrameState frame;
        frame.hover = row.hover;
        frame.down = row.down;
        frame.status.busy = row.busy;
        frame.status.runningAction = row.busy ? 2 : -1;
        EXPECT_EQ(ChooseCaptionLook(frame, ZoneKind::Minimize).fill, ToColorRef(row.minimize))
            << static_cast<int>(row.hover.kind) << row.down << row.busy;
        EXPECT_EQ(ChooseCaptionLook(frame, ZoneKind::Close).fill, ToColorRef(row.close))
            << static_cast<int>(row.hover.kind) << row.down << row.busy;
    }
}

// In high contrast every colour is the system's: each look names the COLOR_* index of each part.
TEST(HighContrast, EveryLookPaintsWithItsSystemColours) {
    FrameState frame;
    frame.theme.highContrast = true;
    for (size_t i = 0; i < frame.theme.systemColors.size(); ++i) {
        frame.theme.systemColors[i] = static_cast<COLORREF>(0x010203 * (i + 1));
    }
    auto system = [&](int index) { return frame.theme.systemColors[static_cast<size_t>(index)]; };
    struct ButtonRow {
        const char* name;
        bool busy, modal;
        int running, legacy;
        HitZone hover;
        bool down;
        int index;
        int face, border, text;
        bool wide;
    } buttons[] = {
        {"plain", false, false, -1, -1, NoZone, false, 0, COLOR_BTNFACE, COLOR_WINDOWTEXT,
         COLOR_BTNTEXT, false},
        {"plain hover", false, false, -1, -1, OnButton(0), false, 0, COLOR_BTNFACE, COLOR_HOTLIGHT,
         COLOR_BTNTEXT, true},
        {"plain pressed", false, false, -1, -1, OnButton(0), true, 0, COLOR_BTNFACE, COLOR_HOTLIGHT,
         COLOR_BTNTEXT, true},
        {"installed", false, false, -1, 1, NoZone, false, 1, COLOR_HIGHLIGHT, COLOR_WINDOWTEXT,
         COLOR_HIGHLIGHTTEXT, false},
        {"installed hover", false, false, -1, 1, OnButton(1), false, 1, COLOR_HIGHLIGHT,
         COLOR_HOTLIGHT, COLOR_HIGHLIGHTTEXT, true},
        {"installed pressed", false, false, -1, 1, OnButton(1), true, 1, COLOR_HIGHLIGHT,
         COLOR_HOTLIGHT, COLOR_HIGHLIGHTTEXT, true},
        {"running", true, false, 3, 1, NoZone, false, 3, COLOR_HIGHLIGHT, COLOR_WINDOWTEXT,
         COLOR_HIGHLIGHTTEXT, false},
        {"busy", true, false, 3, 1, NoZone, false, 1, COLOR_BTNFACE, COLOR_WINDOWTEXT,
         COLOR_GRAYTEXT, false},
        {"box open", false, true, -1, 1, OnButton(1), false, 1, COLOR_BTNFACE, COLOR_WINDOWTEXT,
         COLOR_GRAYTEXT, false},
    };
    for (const ButtonRow& row : buttons) {
        frame.status.busy = row.busy;
        frame.status.modalShown = row.modal;
        frame.status.runningAction = row.running;
        frame.status.legacyLoader = row.legacy;
        frame.hover = row.hover;
        frame.down = row.down;
        const ButtonLook look = ChooseButtonLook(frame, row.index);
        EXPECT_EQ(look.face, system(row.face)) << row.name;
        EXPECT_EQ(look.border, system(row.border)) << row.name;
        EXPECT_EQ(look.text, system(row.text)) << row.name;
        EXPECT_EQ(look.wideFrame, row.wide) << row.name;
    }

    frame.status = ActionStatus{};
    struct CaptionRow {
        HitZone hover;
        bool busy;
        int fill, glyph;
    } captions[] = {
        {NoZone, false, COLOR_ACTIVECAPTION, COLOR_CAPTIONTEXT},
        {OnClose, false, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT},
        {OnClose, true, COLOR_ACTIVECAPTION, COLOR_CAPTIONTEXT},
    };
    for (const CaptionRow& row : captions) {
        frame.hover = row.hover;
        frame.status.busy = row.busy;
        const CaptionLook look = ChooseCaptionLook(frame, ZoneKind::Close);
        EXPECT_EQ(look.fill, system(row.fill)) << row.fill;
        EXPECT_EQ(look.glyph, system(row.glyph)) << row.fill;
    }

    const FrameColors colors = ChooseFrameColors(frame);
    EXPECT_EQ(colors.background, system(COLOR_WINDOW));
    EXPECT_EQ(colors.header, system(COLOR_ACTIVECAPTION));
    EXPECT_EQ(colors.title, system(COLOR_CAPTIONTEXT));
    EXPECT_EQ(colors.subtitle, system(COLOR_CAPTIONTEXT));
    EXPECT_EQ(colors.groupLabel, system(COLOR_WINDOWTEXT));
}

// The real window class in this process, painted into a 32-bit bitmap whose pixels read
// directly as 0xRRGGBB.
struct PaintedWindow {
    AppContext context;
    HWND window = nullptr;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint32_t* pixels = nullptr;

    PaintedWindow() {
        context.instance = GetModuleHandleW(nullptr);
        window = CreateProgramWindow(&context);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 376;
        info.bmiHeader.biHeight = -208;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<uint32_t*>(bits);
        previous = SelectObject(dc, bitmap);
    }
    ~PaintedWindow() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
        DestroyWindow(window);
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    void Fill(uint32_t rgb) {
        for (int i = 0; i < 376 * 208; ++i) {
            pixels[i] = rgb;
        }
    }
    void Paint() {
        context.PaintWindow(dc);
        GdiFlush();
    }
    uint32_t At(int x, int y) const { return pixels[y * 376 + x] & 0xFFFFFF; }
};

std::vector<uint32_t> Pixels(const PaintedWindow& painted) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < 208; ++y) {
        for (int x = 0; x < 376; ++x) {
            pixels.push_back(painted.At(x, y));
        }
    }
    return pixels;
}

struct Look {
    const char* name;
    bool busy, modal;
    int running, legacy, uefi;
    HitZone hover;
    bool down;
    uint32_t minimize, close;
    ButtonColours buttons[LoaderCount];
};

void Show(AppContext& c, const Look& look) {
    Show(c, look.busy, look.modal, look.running, look.legacy, look.uefi, look.hover, look.down);
}

TEST(PaintWindow, DrawsTheTableForEveryLook) {
    using namespace looks;
    const ButtonColours P = Plain, I = Installed, G = Grey;
    const Look all[] = {
        {"idle", false, false, -1, -1, -1, NoZone, false, Header, Header, {P, P, P, P, P, P, P}},
        {"installed, minimise under the pointer",
         false,
         false,
         -1,
         1,
         2,
         OnMinimize,
         false,
         MinimizeHover,
         Header,
         {P, I, P, P, P, P, I}},
        {"installed, close pressed",
         false,
         false,
         -1,
         1,
         2,
         OnClose,
         true,
         Header,
         ClosePressed,
         {P, I, P, P, P, P, I}},
        {"minimise pressed",
         false,
         false,
         -1,
         -1,
         -1,
         OnMinimize,
         true,
         MinimizePressed,
         Header,
         {P, P, P, P, P, P, P}},
        {"close under the pointer",
         false,
         false,
         -1,
         -1,
         -1,
         OnClose,
         false,
         Header,
         CloseHover,
         {P, P, P, P, P, P, P}},
        {"installed hover",
         false,
         false,
         -1,
         1,
         2,
         OnButton(1),
         false,
         Header,
         Header,
         {P, InstalledHover, P, P, P, P, I}},
        {"installed pressed",
         false,
         false,
         -1,
         1,
         2,
         OnButton(1),
         true,
         Header,
         Header,
         {P, InstalledPressed, P, P, P, P, I}},
        {"plain hover",
         false,
         false,
         -1,
         1,
         2,
         OnButton(0),
         false,
         Header,
         Header,
         {PlainHover, I, P, P, P, P, I}},
        {"plain pressed",
         false,
         false,
         -1,
         1,
         2,
         OnButton(4),
         true,
         Header,
         Header,
         {P, I, P, P, PlainPressed, P, I}},
        {"running 3",
         true,
         false,
         3,
         1,
         2,
         NoZone,
         false,
         Header,
         Header,
         {G, G, G, Running, G, G, G}},
        {"running 6 under a message",
         true,
         true,
         6,
         1,
         2,
         NoZone,
         false,
         Header,
         Header,
         {G, G, G, G, G, G, Running}},
        {"modal", false, true, -1, 1, 2, OnButton(2), false, Header, Header, {G, G, G, G, G, G, G}},
    };
    PaintedWindow painted;
    ASSERT_NE(painted.window, nullptr);
    ASSERT_NE(painted.pixels, nullptr);
    for (const Look& look : all) {
        Show(painted.context, look);
        painted.Fill(0x123456);
        painted.Paint();
        for (const PixelSample& s : WindowSamples(look.minimize, look.close, look.buttons)) {
            EXPECT_EQ(painted.At(s.x, s.y), s.rgb)
                << look.name << " at (" << s.x << ", " << s.y << "): " << std::hex
                << painted.At(s.x, s.y) << " instead of " << s.rgb;
        }
        for (const TextArea& a : MissingTexts(Pixels(painted), 376, TextAreas(look.buttons))) {
            ADD_FAILURE() << look.name << ": no pixel of " << std::hex << a.rgb << " in text at ("
                          << std::dec << a.x << ", " << a.y << ")";
        }
    }
}

// The kept frame is drawn again only when what it shows changes: every change of the context
// that shows must reach the very next paint. Each step is checked against a window that paints
// the same state for the first time.
TEST(PaintWindow, EveryVisibleChangeReachesTheNextKeptFrame) {
    struct Step {
        const char* name;
        void (*change)(AppContext&);
    } steps[] = {
        {"first paint", [](AppContext&) {}},
        {"legacy loader recorded", [](AppContext& c) { c.status.legacyLoader = 2; }},
        {"uefi loader recorded", [](AppContext& c) { c.status.uefiLoader = 0; }},
        {"pointer over a button", [](AppContext& c) { c.pointer.hover = OnButton(5); }},
        {"pointer over the next button", [](AppContext& c) { c.pointer.hover = OnButton(6); }},
        {"button held", [](AppContext& c) { c.pointer.down = true; }},
        {"pointer to the close button", [](AppContext& c) { c.pointer.hover = OnClose; }},
        {"pointer to the minimise button", [](AppContext& c) { c.pointer.hover = OnMinimize; }},
        {"button released", [](AppContext& c) { c.pointer.down = false; }},
        {"focus cue asked for", [](AppContext& c) { c.keyboard.cueShown = true; }},
        {"focus moved", [](AppContext& c) { c.keyboard.button = 3; }},
        {"action starts",
         [](AppContext& c) {
             c.status.busy = true;
             c.status.runningAction = 1;
             c.pointer.hover = {};
         }},
        {"other action running", [](AppContext& c) { c.status.runningAction = 3; }},
        {"action over, a message still open",
         [](AppContext& c) {
             c.status.busy = false;
             c.status.runningAction = -1;
             c.status.modalShown = true;
         }},
        {"message closed", [](AppContext& c) { c.status.modalShown = false; }},
        {"high contrast",
         [](AppContext& c) {
             c.theme.highContrast = true;
             for (size_t i = 0; i < c.theme.systemColors.size(); ++i) {
                 c.theme.systemColors[i] = GetSysColor(static_cast<int>(i));
             }
         }},
        {"high contrast off", [](AppContext& c) { c.theme = Theme{}; }},
        {"screen scaled", [](AppContext& c) { c.dpi = 144; }},
    };
    PaintedWindow kept;
    ASSERT_NE(kept.window, nullptr);
    std::vector<uint32_t> previous;
    for (const Step& step : steps) {
        step.change(kept.context);
        kept.Fill(0x123456);
        kept.Paint();
        std::vector<uint32_t> shown = Pixels(kept);

        PaintedWindow fresh;
        ASSERT_NE(fresh.window, nullptr);
        const AppContext& c = kept.context;
        Show(fresh.context, {step.name,
                             c.status.busy,
                             c.status.modalShown,
                             c.status.runningAction,
                             c.status.legacyLoader,
                             c.status.uefiLoader,
                             c.pointer.hover,
                             c.pointer.down,
                             0,
                             0,
                             {}});
        fresh.context.dpi = c.dpi;
        fresh.context.keyboard = c.keyboard;
        fresh.context.theme = c.theme;
        fresh.Fill(0x123456);
        fresh.Paint();
        EXPECT_TRUE(shown == Pixels(fresh)) << step.name << ": the kept frame is stale";
        if (!previous.empty()) {
            EXPECT_TRUE(shown != previous) << step.name << ": the step changes nothing that shows";
        }
        previous = shown;
    }

    // A new size is a new frame too.
    SetWindowPos(kept.window, nullptr, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    kept.Fill(0x123456);
    kept.Paint();
    EXPECT_EQ(kept.At(250, 150), 0x123456u) << "painted beyond the new size";
    EXPECT_EQ(kept.At(5, 90), 0xF1F4F9u);
}

TEST(PaintWindow, TheFocusCueIsDotted3PixelsInsideTheFocusedButtonOnlyWhenItShows) {
    PaintedWindow painted;
    ASSERT_NE(painted.window, nullptr);
    const PixelRect r = Loaders[4].place;
    struct Row {
        KeyboardFocus focus;
        bool busy;
        bool drawn;
    } rows[] = {{{4, false}, false, false},
                {{4, true}, false, true},
                {{4, true}, true, false},
                {{5, true}, false, false}};
    for (const Row& row : rows) {
        painted.context.keyboard = row.focus;
        painted.context.status.busy = row.busy;
        painted.context.status.runningAction = row.busy ? 0 : -1;
        painted.Fill(0x123456);
        painted.Paint();
        // The cue's top edge: every other pixel of the row 3 px inside, none of the row above.
        const uint32_t face = painted.At(r.x + 2, r.y + 2);
        int dots = 0, above = 0;
        for (int x = r.x + 3; x < r.x + r.width - 3; ++x) {
            dots += painted.At(x, r.y + 3) != face ? 1 : 0;
            above += painted.At(x, r.y + 2) != face ? 1 : 0;
        }
        const int length = r.width - 6;
        SCOPED_TRACE(testing::Message()
                     << "focus on " << row.focus.button << (row.busy ? ", busy" : ""));
        EXPECT_EQ(above, 0);
        if (row.drawn) {
            EXPECT_GE(dots, length / 2 - 1);
            EXPECT_LE(dots, length / 2 + 1);
        } else {
            EXPECT_EQ(dots, 0);
        }
    }
}

TEST(PaintWindow, LeavesTheDeviceContextAsItFoundIt) {
    PaintedWindow painted;
    ASSERT_NE(painted.window, nullptr);
    SetTextColor(painted.dc, RGB(1, 2, 3));
    SetBkMode(painted.dc, OPAQUE);
    HGDIOBJ font = GetCurrentObject(painted.dc, OBJ_FONT);
    painted.Paint();
    DrawLabel(painted.dc, L"XorBoot", painted.context.buttonFont.Get(), 0, 0, 100, 20, 0x00FF00,
              DT_CENTER);
    EXPECT_EQ(GetTextColor(painted.dc), RGB(1, 2, 3));
    EXPECT_EQ(GetBkMode(painted.dc), OPAQUE);
    EXPECT_EQ(GetCurrentObject(painted.dc, OBJ_FONT), font);
    EXPECT_EQ(GetCurrentObject(painted.dc, OBJ_BITMAP), painted.bitmap);
}

TEST(PaintWindow, PaintsNothingWithoutAClientArea) {
    {
        PaintedWindow minimised;
        ASSERT_NE(minimised.window, nullptr);
        ShowWindow(minimised.window, SW_SHOWMINNOACTIVE);
        minimised.Fill(0x123456);
        minimised.Paint();
        EXPECT_EQ(minimised.At(2, 45), 0x123456u);
        EXPECT_EQ(minimised.At(20, 80), 0x123456u);
    }
    for (int width : {0, 376}) {
        PaintedWindow flat;
        ASSERT_NE(flat.window, nullptr);
        SetWindowPos(flat.window, nullptr, 0, 0, width, 376 - width,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        flat.Fill(0x123456);
        flat.Paint();
        EXPECT_EQ(flat.At(2, 45), 0x123456u) << width;
    }
}

} // namespace
