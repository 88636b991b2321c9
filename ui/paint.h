#pragma once
// The choice of every colour of the window, and the one text-drawing routine of the window.
#include <windows.h>

#include <cstdint>

#include "ui/app_context.h"
#include "ui/theme.h"

// What the window shows now, read from the context; `width` and `height` are the client size.
FrameState FrameStateOf(const AppContext& context, int32_t width, int32_t height);

// The state of button `index`: the running and modal looks first, then the installed loader
// shaded by the pointer, then the plain button shaded by the pointer.
ButtonState ButtonStateOf(const FrameState& frame, int32_t index);

// The colours of button `index`, from the palette or, in high contrast, the system's.
ButtonLook ChooseButtonLook(const FrameState& frame, int32_t index);

// A caption button (`caption` is ZoneKind::Minimize or ZoneKind::Close): lit only under the
// pointer and never while an action runs.
CaptionLook ChooseCaptionLook(const FrameState& frame, ZoneKind caption);

// The background, the header and the texts outside the buttons.
FrameColors ChooseFrameColors(const FrameState& frame);

// One line of text, transparent, in (x, y)-(x + width, y + height); restores the colour,
// background mode and font of `dc` afterwards.
void DrawLabel(HDC dc, const wchar_t* text, HFONT font, int32_t x, int32_t y, int32_t width,
               int32_t height, COLORREF color, UINT format);
