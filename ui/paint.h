#pragma once
// The choice of every colour of the window, and the one text-drawing routine of the window.
#include <windows.h>

#include <cstdint>

#include "ui/app_context.h"

// GDI colour values, ready for brushes and text.
struct ButtonLook {
    COLORREF face;
    COLORREF border;
    COLORREF text;
};

// What the window shows now, read from the context; `width` and `height` are the client size.
FrameState FrameStateOf(const AppContext& context, int32_t width, int32_t height);

// The look of button `index`: the running and modal looks first, then the installed loader
// shaded by the pointer, then the plain button shaded by the pointer.
ButtonLook ChooseButtonLook(const FrameState& frame, int32_t index);

// The fill of a caption button (`caption` is ZoneKind::Minimize or ZoneKind::Close).
COLORREF ChooseCaptionColor(const FrameState& frame, ZoneKind caption);

// One line of text, transparent, in (x, y)-(x + width, y + height); restores the colour,
// background mode and font of `dc` afterwards.
void DrawLabel(HDC dc, const wchar_t* text, HFONT font, int32_t x, int32_t y, int32_t width,
               int32_t height, COLORREF color, UINT format);
