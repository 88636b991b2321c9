#pragma once
// The window's geometry and colours: one table of 96-dpi pixels and 0xRRGGBB colours, shared by
// painting and hit testing, and its scaling to the screen's dpi.
#include <windows.h>

#include <cstdint>

#include "loaders/loader_table.h"

// 0xRRGGBB to a GDI colour value (0x00BBGGRR); bits 24-31 are dropped.
constexpr COLORREF ToColorRef(uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

// Every rectangle of the window at one dpi.
struct WindowLayout {
    int32_t dpi = 96;
    PixelRect window;
    PixelRect header; // also the drag area, less the two caption buttons
    PixelRect title;
    PixelRect subtitle;
    PixelRect minimize; // button and glyph
    PixelRect close;
    PixelRect legacyLabel;
    PixelRect uefiLabel;
    PixelRect buttons[LoaderCount];
    int32_t buttonBorder = 1; // the frame around each loader button, which is part of its hit area
    int32_t wideBorder = 2;   // in high contrast, the frame of the button under the pointer
};

// The 96-dpi table (with the loader buttons' places from Loaders) scaled by dpi / 96 with MulDiv.
// Edges are scaled, not sizes, so rectangles that touch at 96 dpi still touch. A dpi of 0 or
// less counts as 96; at 96 every value is the table's own.
WindowLayout LayoutAt(int32_t dpi);

// One value scaled from 96 dpi to `dpi`.
int32_t ScaleTo(int32_t value96, int32_t dpi);

// The palette, 0xRRGGBB; painting converts with ToColorRef where it draws.
namespace palette {
// A loader button's face, frame and label.
struct ButtonPaint {
    uint32_t face, border, text;
};
// A caption button under the pointer, without and with the primary button held.
struct CaptionPaint {
    uint32_t hover, pressed;
};

constexpr uint32_t Background = 0xF1F4F9;
constexpr uint32_t Header = 0x1E2A44; // also the caption buttons at rest
constexpr uint32_t Title = 0xFFFFFF;
constexpr uint32_t Subtitle = 0xC7D0E0; // also the caption glyphs
constexpr uint32_t GroupLabel = 0x6B7280;
constexpr CaptionPaint Minimize = {0x2C3A57, 0x3A4A6B};
constexpr CaptionPaint Close = {0xE04B3F, 0xC0392B};
// A plain button keeps its frame and label colours under the pointer; only the face changes.
constexpr ButtonPaint Plain = {0xFFFFFF, 0xBFC9D6, 0x14202E};
constexpr uint32_t PlainHoverFace = 0xE4EEFF;
constexpr uint32_t PlainPressedFace = 0xCFE0FF;
constexpr ButtonPaint Installed = {0xD8E4F8, 0x9BB8E8, 0x2E4A78}; // also the running action
constexpr ButtonPaint InstalledHover = {0xC9DAF5, 0x7FA5DC, 0x2E4A78};
constexpr ButtonPaint InstalledPressed = {0xB9CEF0, 0x6C93D0, 0x2E4A78};
constexpr ButtonPaint Grey = {0xE9ECF1, 0xD5DAE2, 0xA7AEBA}; // busy and modal
} // namespace palette
