#pragma once
// Colour choice of the loader buttons and the one text-drawing routine of the window.
#include <windows.h>

#include <cstdint>

// GDI colour values, ready for brushes and text.
struct ButtonLook {
    COLORREF face;
    COLORREF border;
    COLORREF text;
};

// The look of button `index`: the running and modal looks first, then the installed loader
// (shaded by the pointer state held in `storedFace`), then the plain button with `storedFace`.
ButtonLook ChooseButtonLook(bool busy, int32_t runningAction, bool modalShown, int32_t legacyLoader,
                            int32_t uefiLoader, COLORREF storedFace, int32_t index);

// Whether button `index` marks the loader recorded for its boot mode.
bool ShowsInstalledLoader(int32_t index, int32_t legacyLoader, int32_t uefiLoader);

// One line of text, transparent, in (x, y)-(x + width, y + height); restores the colour,
// background mode and font of `dc` afterwards.
void DrawLabel(HDC dc, const wchar_t* text, HFONT font, int32_t x, int32_t y, int32_t width,
               int32_t height, COLORREF color, UINT format);
