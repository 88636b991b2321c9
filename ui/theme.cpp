#include "ui/theme.h"

namespace {

COLORREF System(const Theme& theme, int index) {
    return theme.systemColors[static_cast<size_t>(index)];
}

} // namespace

ButtonLook ContrastButtonLook(ButtonState state, const Theme& theme) {
    const COLORREF frame = System(theme, COLOR_WINDOWTEXT);
    const COLORREF pointer = System(theme, COLOR_HOTLIGHT);
    const COLORREF face = System(theme, COLOR_BTNFACE);
    const COLORREF label = System(theme, COLOR_BTNTEXT);
    const COLORREF marked = System(theme, COLOR_HIGHLIGHT);
    const COLORREF markedLabel = System(theme, COLOR_HIGHLIGHTTEXT);
    switch (state) {
    case ButtonState::PlainHover:
    case ButtonState::PlainPressed:
        return {face, pointer, label, true};
    case ButtonState::Installed:
        return {marked, frame, markedLabel, false};
    case ButtonState::InstalledHover:
    case ButtonState::InstalledPressed:
        return {marked, pointer, markedLabel, true};
    case ButtonState::Grey:
        return {face, frame, System(theme, COLOR_GRAYTEXT), false};
    case ButtonState::Plain:
        break;
    }
    return {face, frame, label, false};
}

CaptionLook ContrastCaptionLook(bool lit, const Theme& theme) {
    return lit ? CaptionLook{System(theme, COLOR_HIGHLIGHT), System(theme, COLOR_HIGHLIGHTTEXT)}
               : CaptionLook{System(theme, COLOR_ACTIVECAPTION), System(theme, COLOR_CAPTIONTEXT)};
}

FrameColors ContrastFrameColors(const Theme& theme) {
    return {System(theme, COLOR_WINDOW), System(theme, COLOR_ACTIVECAPTION),
            System(theme, COLOR_CAPTIONTEXT), System(theme, COLOR_CAPTIONTEXT),
            System(theme, COLOR_WINDOWTEXT)};
}

Theme ReadTheme() {
    Theme theme;
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    theme.highContrast =
        SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
        (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    if (theme.highContrast) {
        for (size_t i = 0; i < theme.systemColors.size(); ++i) {
            theme.systemColors[i] = GetSysColor(static_cast<int>(i));
        }
    }
    return theme;
}

void RereadTheme(AppContext& context) {
    context.theme = ReadTheme();
    context.keptFrame.Release();
    InvalidateRect(context.window, nullptr, FALSE);
}
