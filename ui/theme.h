#pragma once
// The window's looks and their colours in high contrast: which system colour paints each part,
// as pure functions of the look and the theme's table, and the reading of the theme.
#include <windows.h>

#include "ui/app_context.h"

// Every look a loader button can have.
enum class ButtonState {
    Plain,
    PlainHover,
    PlainPressed,
    Installed, // also the running action
    InstalledHover,
    InstalledPressed,
    Grey, // the other buttons while an action runs, all of them while a box is open
};

// GDI colour values of one loader button, ready for brushes and text; a wide frame marks the
// button under the pointer in high contrast.
struct ButtonLook {
    COLORREF face;
    COLORREF border;
    COLORREF text;
    bool wideFrame = false;
};

// A caption button's fill and glyph.
struct CaptionLook {
    COLORREF fill;
    COLORREF glyph;
};

// Everything but the loader buttons and the caption buttons.
struct FrameColors {
    COLORREF background;
    COLORREF header;
    COLORREF title;
    COLORREF subtitle;
    COLORREF groupLabel;
};

// In high contrast: faces in COLOR_BTNFACE with labels in COLOR_BTNTEXT and frames in
// COLOR_WINDOWTEXT; under the pointer a wide frame in COLOR_HOTLIGHT; the installed loader (and
// the running action) on COLOR_HIGHLIGHT with COLOR_HIGHLIGHTTEXT; grey labels in COLOR_GRAYTEXT.
ButtonLook ContrastButtonLook(ButtonState state, const Theme& theme);
// The header in COLOR_ACTIVECAPTION with its texts in COLOR_CAPTIONTEXT; a caption button under
// the pointer in COLOR_HIGHLIGHT with COLOR_HIGHLIGHTTEXT.
CaptionLook ContrastCaptionLook(bool lit, const Theme& theme);
// The background in COLOR_WINDOW with the group labels in COLOR_WINDOWTEXT.
FrameColors ContrastFrameColors(const Theme& theme);

// The theme as Windows reports it now.
Theme ReadTheme();
// WM_SETTINGCHANGE and WM_SYSCOLORCHANGE: the theme is read again and the window repainted.
void RereadTheme(AppContext& context);
