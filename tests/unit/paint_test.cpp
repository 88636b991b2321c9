#include "ui/paint.h"

#include "app/app_context.h"
#include "sys/handles.h"
#include "tests/support/test_window.h"
#include "tests/support/window_looks.h"
#include "ui/window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ChooseButtonLook, EveryLook) {
    const uint32_t white = 0xFFFFFF, hover = 0xE4EEFF, pressed = 0xCFE0FF;
    struct Row {
        const char* name;
        bool busy;
        int running;
        bool modal;
        int legacy, uefi;
        uint32_t stored; // 0xRRGGBB, converted before the call
        int index;
        uint32_t face, border, text;
    } rows[] = {
        {"plain at rest", false, -1, false, -1, -1, white, 0, white, 0xBFC9D6, 0x14202E},
        {"plain hover", false, -1, false, -1, -1, hover, 2, hover, 0xBFC9D6, 0x14202E},
        {"plain pressed", false, -1, false, -1, -1, pressed, 4, pressed, 0xBFC9D6, 0x14202E},
        {"plain keeps a leftover busy face", false, -1, false, -1, -1, 0xE9ECF1, 5, 0xE9ECF1,
         0xBFC9D6, 0x14202E},
        {"installed legacy at rest", false, -1, false, 1, -1, white, 1, 0xD8E4F8, 0x9BB8E8,
         0x2E4A78},
        {"installed legacy hover", false, -1, false, 1, -1, hover, 1, 0xC9DAF5, 0x7FA5DC, 0x2E4A78},
        {"installed legacy pressed", false, -1, false, 1, -1, pressed, 1, 0xB9CEF0, 0x6C93D0,
         0x2E4A78},
        {"installed uefi at rest", false, -1, false, -1, 2, white, 6, 0xD8E4F8, 0x9BB8E8, 0x2E4A78},
        {"installed uefi pressed", false, -1, false, -1, 0, pressed, 4, 0xB9CEF0, 0x6C93D0,
         0x2E4A78},
        {"uefi value marks only the uefi group", false, -1, false, -1, 2, white, 2, white, 0xBFC9D6,
         0x14202E},
        {"legacy value marks only the legacy group", false, -1, false, 4, -1, white, 4, white,
         0xBFC9D6, 0x14202E},
        {"legacy 5 marks nothing", false, -1, false, 5, -1, white, 5, white, 0xBFC9D6, 0x14202E},
        {"uefi 3 marks nothing", false, -1, false, -1, 3, white, 6, white, 0xBFC9D6, 0x14202E},
        {"other button of the same group", false, -1, false, 1, 2, hover, 0, hover, 0xBFC9D6,
         0x14202E},
        {"running button", true, 3, false, -1, -1, 0xE9ECF1, 3, 0xD8E4F8, 0x9BB8E8, 0x2E4A78},
        {"busy greys an installed loader", true, 3, false, 1, -1, white, 1, 0xE9ECF1, 0xD5DAE2,
         0xA7AEBA},
        {"busy greys a hovered button", true, 3, false, -1, -1, hover, 0, 0xE9ECF1, 0xD5DAE2,
         0xA7AEBA},
        {"busy wins over modal for the running button", true, 6, true, -1, 2, white, 6, 0xD8E4F8,
         0x9BB8E8, 0x2E4A78},
        {"modal greys an installed loader", false, -1, true, 1, 2, white, 1, 0xE9ECF1, 0xD5DAE2,
         0xA7AEBA},
        {"modal greys a pressed button", false, -1, true, -1, -1, pressed, 5, 0xE9ECF1, 0xD5DAE2,
         0xA7AEBA},
    };
    for (const Row& row : rows) {
        ButtonLook look = ChooseButtonLook(row.busy, row.running, row.modal, row.legacy, row.uefi,
                                           ToColorRef(row.stored), row.index);
        EXPECT_EQ(look.face, ToColorRef(row.face)) << row.name;
        EXPECT_EQ(look.border, ToColorRef(row.border)) << row.name;
        EXPECT_EQ(look.text, ToColorRef(row.text)) << row.name;
    }
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
        RegisterMainWindowClass(L"QuillmerePaintTest");
        context.instance = GetModuleHandleW(nullptr);
        window = CreateWindowExW(0, L"QuillmerePaintTest", L"", WS_POPUP, 0, 0, 376, 208, nullptr,
                                 nullptr, context.instance, &context);
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

TEST(PaintWindow, DrawsTheTableForEveryLook) {
    using namespace looks;
    struct Look {
        const char* name;
        bool busy, modal;
        int running, legacy, uefi;
        uint32_t minimize, close;
        int pointerButton;
        uint32_t pointerFace;
        ButtonColours buttons[LoaderCount];
    };
    const ButtonColours P = Plain, I = Installed, G = Grey;
    const Look all[] = {
        {"idle", false, false, -1, -1, -1, Header, Header, -1, 0, {P, P, P, P, P, P, P}},
        {"installed",
         false,
         false,
         -1,
         1,
         2,
         MinimizeHover,
         ClosePressed,
         -1,
         0,
         {P, I, P, P, P, P, I}},
        {"installed hover",
         false,
         false,
         -1,
         1,
         2,
         Header,
         CloseHover,
         1,
         0xE4EEFF,
         {P, InstalledHover, P, P, P, P, I}},
        {"installed pressed",
         false,
         false,
         -1,
         1,
         2,
         MinimizePressed,
         Header,
         1,
         0xCFE0FF,
         {P, InstalledPressed, P, P, P, P, I}},
        {"plain hover",
         false,
         false,
         -1,
         1,
         2,
         Header,
         Header,
         0,
         0xE4EEFF,
         {PlainHover, I, P, P, P, P, I}},
        {"plain pressed",
         false,
         false,
         -1,
         1,
         2,
         Header,
         Header,
         4,
         0xCFE0FF,
         {P, I, P, P, PlainPressed, P, I}},
        {"running 3", true, false, 3, 1, 2, Header, Header, -1, 0, {G, G, G, Running, G, G, G}},
        {"running 6 under a message",
         true,
         true,
         6,
         1,
         2,
         Header,
         Header,
         -1,
         0,
         {G, G, G, G, G, G, Running}},
        {"modal", false, true, -1, 1, 2, Header, Header, -1, 0, {G, G, G, G, G, G, G}},
    };
    PaintedWindow painted;
    ASSERT_NE(painted.window, nullptr);
    ASSERT_NE(painted.pixels, nullptr);
    for (const Look& look : all) {
        AppContext& c = painted.context;
        c.busy = look.busy;
        c.modalShown = look.modal;
        c.runningAction = look.running;
        c.legacyLoader = look.legacy;
        c.uefiLoader = look.uefi;
        c.minimizeColor = ToColorRef(look.minimize);
        c.closeColor = ToColorRef(look.close);
        for (int i = 0; i < LoaderCount; ++i) {
            c.buttonFace[i] = i == look.pointerButton ? ToColorRef(look.pointerFace) : 0xFFFFFF;
        }
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

TEST(PaintWindow, LeavesTheDeviceContextAsItFoundIt) {
    PaintedWindow painted;
    ASSERT_NE(painted.window, nullptr);
    SetTextColor(painted.dc, RGB(1, 2, 3));
    SetBkMode(painted.dc, OPAQUE);
    HGDIOBJ font = GetCurrentObject(painted.dc, OBJ_FONT);
    painted.Paint();
    DrawLabel(painted.dc, L"XorBoot", painted.context.buttonFont, 0, 0, 100, 20, 0x00FF00,
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
