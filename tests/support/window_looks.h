#pragma once
// Where the main window's drawing can be checked pixel for pixel: points inside every filled
// rectangle of the drawing and away from every glyph, with the colour each must have, plus the
// text areas whose glyphs must show their colour. Shared by the in-process painting tests and
// the end-to-end tests that read the screen. Colours are 0xRRGGBB.
#include <windows.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "ui/app_context.h"
#include "tests/support/window_driver.h"

struct PixelSample {
    int x, y;
    uint32_t rgb;
};

struct TextArea {
    int x, y, width, height;
    uint32_t rgb;
};

// The colours a loader button is drawn in.
struct ButtonColours {
    uint32_t face, border, text;
};

namespace looks {
constexpr ButtonColours Plain = {0xFFFFFF, 0xBFC9D6, 0x14202E};
constexpr ButtonColours PlainHover = {0xE4EEFF, 0xBFC9D6, 0x14202E};
constexpr ButtonColours PlainPressed = {0xCFE0FF, 0xBFC9D6, 0x14202E};
constexpr ButtonColours Installed = {0xD8E4F8, 0x9BB8E8, 0x2E4A78};
constexpr ButtonColours InstalledHover = {0xC9DAF5, 0x7FA5DC, 0x2E4A78};
constexpr ButtonColours InstalledPressed = {0xB9CEF0, 0x6C93D0, 0x2E4A78};
constexpr ButtonColours Running = {0xD8E4F8, 0x9BB8E8, 0x2E4A78};
constexpr ButtonColours Grey = {0xE9ECF1, 0xD5DAE2, 0xA7AEBA};
constexpr uint32_t Header = 0x1E2A44;
constexpr uint32_t MinimizeHover = 0x2C3A57;
constexpr uint32_t MinimizePressed = 0x3A4A6B;
constexpr uint32_t CloseHover = 0xE04B3F;
constexpr uint32_t ClosePressed = 0xC0392B;
} // namespace looks

// Centre of loader button i, in client pixels at 96 dpi.
inline POINT ButtonCentre(int i) {
    const PixelRect& r = Loaders[i].place;
    return {r.x + r.width / 2, r.y + r.height / 2};
}

// Header band, caption buttons, and the background around the group labels and buttons.
inline std::vector<PixelSample> FrameSamples(uint32_t minimize, uint32_t close) {
    const uint32_t header = looks::Header, background = 0xF1F4F9;
    return {
        {2, 45, header},        {373, 46, header},      {340, 30, header},
        {305, 2, header},       {300, 1, header},       {336, 10, header},
        {337, 10, header},      {368, 19, header},      {339, 20, header},
        {306, 2, minimize},     {307, 3, minimize},     {335, 19, minimize},
        {306, 19, minimize},    {338, 2, close},        {339, 3, close},
        {367, 19, close},       {2, 48, background},    {200, 60, background},
        {200, 160, background}, {188, 88, background},  {375, 207, background},
        {0, 207, background},   {12, 71, background},   {128, 184, background},
        {100, 106, background}, {370, 120, background},
    };
}

// Face pixels at the corners and the middle of the left edge, frame pixels on all four sides.
inline void AddButtonSamples(std::vector<PixelSample>& samples, int index,
                             const ButtonColours& look) {
    const PixelRect& r = Loaders[index].place;
    samples.push_back({r.x, r.y, look.face});
    samples.push_back({r.x + 2, r.y + 2, look.face});
    samples.push_back({r.x + r.width - 1, r.y + r.height - 1, look.face});
    samples.push_back({r.x + 3, r.y + r.height / 2, look.face});
    samples.push_back({r.x - 1, r.y - 1, look.border});
    samples.push_back({r.x + r.width, r.y + r.height, look.border});
    samples.push_back({r.x - 1, r.y + r.height / 2, look.border});
    samples.push_back({r.x + r.width / 2, r.y - 1, look.border});
}

// Every sample of a whole window in one look.
inline std::vector<PixelSample> WindowSamples(uint32_t minimize, uint32_t close,
                                              const ButtonColours (&buttons)[LoaderCount]) {
    std::vector<PixelSample> samples = FrameSamples(minimize, close);
    for (int i = 0; i < LoaderCount; ++i) {
        AddButtonSamples(samples, i, buttons[i]);
    }
    return samples;
}

// The texts of the drawing: each area must hold at least one pixel of its exact colour.
inline std::vector<TextArea> TextAreas(const ButtonColours (&buttons)[LoaderCount]) {
    std::vector<TextArea> areas = {
        {16, 2, 300, 24, 0xFFFFFF}, {18, 27, 300, 14, 0xC7D0E0}, {306, 2, 30, 18, 0xC7D0E0},
        {338, 2, 30, 18, 0xC7D0E0}, {15, 56, 200, 14, 0x6B7280}, {15, 152, 200, 14, 0x6B7280},
    };
    for (int i = 0; i < LoaderCount; ++i) {
        const PixelRect& r = Loaders[i].place;
        areas.push_back({r.x, r.y, r.width, r.height, buttons[i].text});
    }
    return areas;
}

// Text areas in a client-sized pixel array (row by row) that lack their colour.
inline std::vector<TextArea> MissingTexts(const std::vector<uint32_t>& pixels, int width,
                                          const std::vector<TextArea>& areas) {
    std::vector<TextArea> missing;
    for (const TextArea& a : areas) {
        bool found = false;
        for (int y = a.y; y < a.y + a.height && !found; ++y) {
            for (int x = a.x; x < a.x + a.width && !found; ++x) {
                size_t at = static_cast<size_t>(y) * width + x;
                found = at < pixels.size() && (pixels[at] & 0xFFFFFF) == a.rgb;
            }
        }
        if (!found) {
            missing.push_back(a);
        }
    }
    return missing;
}

// A look's samples and text areas moved from 96 dpi to `dpi`: every point and every edge
// multiplied by dpi / 96 and rounded, as the program scales its own table.
inline std::vector<PixelSample> ScaledSamples(const std::vector<PixelSample>& samples, int dpi) {
    std::vector<PixelSample> scaled;
    for (const PixelSample& s : samples) {
        scaled.push_back({MulDiv(s.x, dpi, 96), MulDiv(s.y, dpi, 96), s.rgb});
    }
    return scaled;
}

inline std::vector<TextArea> ScaledTextAreas(const std::vector<TextArea>& areas, int dpi) {
    std::vector<TextArea> scaled;
    for (const TextArea& a : areas) {
        const int x = MulDiv(a.x, dpi, 96);
        const int y = MulDiv(a.y, dpi, 96);
        scaled.push_back(
            {x, y, MulDiv(a.x + a.width, dpi, 96) - x, MulDiv(a.y + a.height, dpi, 96) - y, a.rgb});
    }
    return scaled;
}

// What of the samples and texts the pixels fail; empty when all hold.
inline std::string LookMismatch(const std::vector<uint32_t>& pixels, int width,
                                const std::vector<PixelSample>& samples,
                                const std::vector<TextArea>& areas) {
    std::ostringstream out;
    for (const PixelSample& s : samples) {
        size_t at = static_cast<size_t>(s.y) * width + s.x;
        uint32_t seen = at < pixels.size() ? pixels[at] & 0xFFFFFF : 0xFFFFFFFF;
        if (seen != s.rgb) {
            out << std::hex << "(" << std::dec << s.x << "," << s.y << ")=" << std::hex << seen
                << " not " << s.rgb << "; ";
        }
    }
    for (const TextArea& a : MissingTexts(pixels, width, areas)) {
        out << "no " << std::hex << a.rgb << std::dec << " text at (" << a.x << "," << a.y << "); ";
    }
    return out.str();
}

// Reads the window's client area from the screen until the look holds, at most timeoutMs;
// returns the last mismatch, empty on success.
inline std::string WaitForLook(HWND window, const std::vector<PixelSample>& samples,
                               const std::vector<TextArea>& areas, DWORD timeoutMs) {
    RECT client{};
    GetClientRect(window, &client);
    std::string mismatch;
    WaitUntil(
        [&] {
            mismatch = LookMismatch(ReadClientPixels(window, client.right, client.bottom),
                                    client.right, samples, areas);
            return mismatch.empty();
        },
        timeoutMs);
    return mismatch;
}
