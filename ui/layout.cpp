#include "ui/layout.h"

namespace {

// The window at 96 dpi, apart from the loader buttons (Loaders).
constexpr PixelRect Window96 = {0, 0, WindowWidth96, WindowHeight96};
constexpr PixelRect Header96 = {0, 0, WindowWidth96, 48};
constexpr PixelRect Title96 = {16, 2, 300, 24};
constexpr PixelRect Subtitle96 = {18, 27, 300, 14};
constexpr PixelRect Minimize96 = {306, 2, 30, 18};
constexpr PixelRect Close96 = {338, 2, 30, 18};
constexpr PixelRect LegacyLabel96 = {15, 56, 200, 14};
constexpr PixelRect UefiLabel96 = {15, 152, 200, 14};
constexpr int32_t ButtonBorder96 = 1;
constexpr int32_t WideBorder96 = 2;

PixelRect Scaled(const PixelRect& r, int32_t dpi) {
    const int32_t left = ScaleTo(r.x, dpi);
    const int32_t top = ScaleTo(r.y, dpi);
    return {left, top, ScaleTo(r.x + r.width, dpi) - left, ScaleTo(r.y + r.height, dpi) - top};
}

} // namespace

int32_t ScaleTo(int32_t value96, int32_t dpi) {
    return MulDiv(value96, dpi, 96);
}

WindowLayout LayoutAt(int32_t dpi) {
    if (dpi <= 0) {
        dpi = 96;
    }
    WindowLayout layout;
    layout.dpi = dpi;
    layout.window = Scaled(Window96, dpi);
    layout.header = Scaled(Header96, dpi);
    layout.title = Scaled(Title96, dpi);
    layout.subtitle = Scaled(Subtitle96, dpi);
    layout.minimize = Scaled(Minimize96, dpi);
    layout.close = Scaled(Close96, dpi);
    layout.legacyLabel = Scaled(LegacyLabel96, dpi);
    layout.uefiLabel = Scaled(UefiLabel96, dpi);
    for (int32_t i = 0; i < LoaderCount; ++i) {
        layout.buttons[i] = Scaled(Loaders[i].place, dpi);
    }
    layout.buttonBorder = ScaleTo(ButtonBorder96, dpi);
    layout.wideBorder = ScaleTo(WideBorder96, dpi);
    return layout;
}
