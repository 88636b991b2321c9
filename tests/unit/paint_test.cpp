#include "ui/paint.h"

#include "app/app_context.h"
#include "sys/handles.h"
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
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = MainWndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillmerePaintTest";
        RegisterClassExW(&wc);
        context.instance = wc.hInstance;
        window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 376, 208, nullptr,
                                 nullptr, wc.hInstance, &context);
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
    bool AreaHas(int x, int y, int w, int h, uint32_t rgb) const {
        for (int j = y; j < y + h; ++j) {
            for (int i = x; i < x + w; ++i) {
                if (At(i, j) == rgb) {
                    return true;
                }
            }
        }
        return false;
    }
};

struct Sample {
    int x, y;
    uint32_t rgb;
};

// Pixels of the fills of the drawing table, away from every glyph.
std::vector<Sample> FrameSamples(uint32_t minimize, uint32_t close) {
    return {
        {2, 45, 0x1E2A44},    {373, 46, 0x1E2A44},  {340, 30, 0x1E2A44},  {305, 2, 0x1E2A44},
        {300, 1, 0x1E2A44},   {307, 3, minimize},   {306, 2, minimize},   {335, 19, minimize},
        {336, 10, 0x1E2A44},  {337, 10, 0x1E2A44},  {338, 2, close},      {367, 19, close},
        {368, 19, 0x1E2A44},  {339, 20, 0x1E2A44},  {2, 48, 0xF1F4F9},    {200, 60, 0xF1F4F9},
        {200, 160, 0xF1F4F9}, {188, 88, 0xF1F4F9},  {375, 207, 0xF1F4F9}, {0, 207, 0xF1F4F9},
        {12, 71, 0xF1F4F9},   {128, 184, 0xF1F4F9}, {100, 106, 0xF1F4F9},
    };
}

void AddButtonSamples(std::vector<Sample>& samples, int i, uint32_t face, uint32_t border) {
    const ButtonRect& r = ButtonRects[i];
    samples.push_back({r.x, r.y, face});
    samples.push_back({r.x + 2, r.y + 2, face});
    samples.push_back({r.x + r.width - 1, r.y + r.height - 1, face});
    samples.push_back({r.x + 3, r.y + r.height / 2, face});
    samples.push_back({r.x - 1, r.y - 1, border});
    samples.push_back({r.x + r.width, r.y + r.height, border});
    samples.push_back({r.x - 1, r.y + r.height / 2, border});
    samples.push_back({r.x + r.width / 2, r.y - 1, border});
}

void ExpectSamples(const PaintedWindow& painted, const std::vector<Sample>& samples,
                   const char* look) {
    for (const Sample& s : samples) {
        EXPECT_EQ(painted.At(s.x, s.y), s.rgb)
            << look << " at (" << s.x << ", " << s.y << ") " << std::hex << painted.At(s.x, s.y)
            << " instead of " << s.rgb;
    }
}

TEST(PaintWindow, DrawsTheTableForEveryLook) {
    struct Look {
        const char* name;
        bool busy, modal;
        int running, legacy, uefi;
        uint32_t minimize, close;
        int pointerButton;
        uint32_t pointerFace;
        uint32_t face[7], border[7], text[7];
    };
    const uint32_t W = 0xFFFFFF, B = 0xBFC9D6, T = 0x14202E, IF = 0xD8E4F8, IB = 0x9BB8E8,
                   IT = 0x2E4A78, GF = 0xE9ECF1, GB = 0xD5DAE2, GT = 0xA7AEBA;
    const Look looks[] = {
        {"idle",
         false,
         false,
         -1,
         -1,
         -1,
         0x1E2A44,
         0x1E2A44,
         -1,
         0,
         {W, W, W, W, W, W, W},
         {B, B, B, B, B, B, B},
         {T, T, T, T, T, T, T}},
        {"installed",
         false,
         false,
         -1,
         1,
         2,
         0x2C3A57,
         0xC0392B,
         -1,
         0,
         {W, IF, W, W, W, W, IF},
         {B, IB, B, B, B, B, IB},
         {T, IT, T, T, T, T, IT}},
        {"installed hover",
         false,
         false,
         -1,
         1,
         2,
         0x1E2A44,
         0xE04B3F,
         1,
         0xE4EEFF,
         {W, 0xC9DAF5, W, W, W, W, IF},
         {B, 0x7FA5DC, B, B, B, B, IB},
         {T, IT, T, T, T, T, IT}},
        {"installed pressed",
         false,
         false,
         -1,
         1,
         2,
         0x3A4A6B,
         0x1E2A44,
         1,
         0xCFE0FF,
         {W, 0xB9CEF0, W, W, W, W, IF},
         {B, 0x6C93D0, B, B, B, B, IB},
         {T, IT, T, T, T, T, IT}},
        {"plain pressed",
         false,
         false,
         -1,
         1,
         2,
         0x1E2A44,
         0x1E2A44,
         4,
         0xCFE0FF,
         {W, IF, W, W, 0xCFE0FF, W, IF},
         {B, IB, B, B, B, B, IB},
         {T, IT, T, T, T, T, IT}},
        {"running 3",
         true,
         false,
         3,
         1,
         2,
         0x1E2A44,
         0x1E2A44,
         -1,
         0,
         {GF, GF, GF, IF, GF, GF, GF},
         {GB, GB, GB, IB, GB, GB, GB},
         {GT, GT, GT, IT, GT, GT, GT}},
        {"modal",
         false,
         true,
         -1,
         1,
         2,
         0x1E2A44,
         0x1E2A44,
         -1,
         0,
         {GF, GF, GF, GF, GF, GF, GF},
         {GB, GB, GB, GB, GB, GB, GB},
         {GT, GT, GT, GT, GT, GT, GT}},
    };
    PaintedWindow painted;
    ASSERT_NE(painted.window, nullptr);
    ASSERT_NE(painted.pixels, nullptr);
    for (const Look& look : looks) {
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
        std::vector<Sample> samples = FrameSamples(look.minimize, look.close);
        for (int i = 0; i < LoaderCount; ++i) {
            AddButtonSamples(samples, i, look.face[i], look.border[i]);
        }
        ExpectSamples(painted, samples, look.name);
        for (int i = 0; i < LoaderCount; ++i) {
            const ButtonRect& r = ButtonRects[i];
            EXPECT_TRUE(painted.AreaHas(r.x, r.y, r.width, r.height, look.text[i]))
                << look.name << ": no label pixel of the text colour on button " << i;
        }
        EXPECT_TRUE(painted.AreaHas(16, 2, 300, 24, 0xFFFFFF)) << look.name << ": heading";
        EXPECT_TRUE(painted.AreaHas(18, 27, 300, 14, 0xC7D0E0)) << look.name << ": subtitle";
        EXPECT_TRUE(painted.AreaHas(306, 2, 30, 18, 0xC7D0E0)) << look.name << ": minimise glyph";
        EXPECT_TRUE(painted.AreaHas(338, 2, 30, 18, 0xC7D0E0)) << look.name << ": close glyph";
        EXPECT_TRUE(painted.AreaHas(15, 56, 200, 14, 0x6B7280)) << look.name << ": LEGACY BIOS";
        EXPECT_TRUE(painted.AreaHas(15, 152, 200, 14, 0x6B7280)) << look.name << ": UEFI";
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
