#include "ui/paint.h"

#include "loaders/user_texts.h"
#include "sys/handles.h"
#include "ui/layout.h"

namespace {

constexpr int32_t FocusCueInset96 = 3;

void FillSolid(HDC dc, const PixelRect& r, COLORREF color) {
    BrushHandle brush(CreateSolidBrush(color));
    if (!brush.Valid()) {
        return;
    }
    RECT area{r.x, r.y, r.x + r.width, r.y + r.height};
    FillRect(dc, &area, brush.Get());
}

void DrawLabelIn(HDC dc, const wchar_t* text, HFONT font, const PixelRect& r, uint32_t rgb,
                 UINT format) {
    DrawLabel(dc, text, font, r.x, r.y, r.width, r.height, ToColorRef(rgb), format);
}

void DrawHeader(const AppContext& context, const WindowLayout& layout, const FrameState& frame,
                HDC dc) {
    FillSolid(dc, layout.header, ToColorRef(palette::Header));
    DrawLabelIn(dc, HeaderTitleText, context.titleFont.Get(), layout.title, palette::Title,
                DT_LEFT | DT_TOP);
    DrawLabelIn(dc, HeaderSubtitleText, context.subtitleFont.Get(), layout.subtitle,
                palette::Subtitle, DT_LEFT | DT_TOP);
    FillSolid(dc, layout.minimize, ChooseCaptionColor(frame, ZoneKind::Minimize));
    DrawLabelIn(dc, MinimizeGlyphText, context.minimizeFont.Get(), layout.minimize,
                palette::Subtitle, DT_CENTER | DT_VCENTER);
    FillSolid(dc, layout.close, ChooseCaptionColor(frame, ZoneKind::Close));
    DrawLabelIn(dc, CloseGlyphText, context.closeFont.Get(), layout.close, palette::Subtitle,
                DT_CENTER | DT_VCENTER);
}

void DrawButtons(const AppContext& context, const WindowLayout& layout, const FrameState& frame,
                 HDC dc) {
    const int32_t b = layout.buttonBorder;
    for (int32_t i = 0; i < LoaderCount; ++i) {
        const PixelRect& r = layout.buttons[i];
        ButtonLook look = ChooseButtonLook(frame, i);
        FillSolid(dc, {r.x - b, r.y - b, r.width + 2 * b, r.height + 2 * b}, look.border);
        FillSolid(dc, r, look.face);
        DrawLabel(dc, Loaders[i].label, context.buttonFont.Get(), r.x, r.y, r.width, r.height,
                  look.text, DT_CENTER | DT_VCENTER);
        if (i == frame.focusCue) {
            // Windows' dotted focus cue, 3 px inside the frame.
            const int32_t inset = ScaleTo(FocusCueInset96, frame.dpi);
            RECT cue{r.x + inset, r.y + inset, r.x + r.width - inset, r.y + r.height - inset};
            DrawFocusRect(dc, &cue);
        }
    }
}

void DrawFrame(const AppContext& context, const FrameState& frame, HDC dc) {
    const WindowLayout layout = LayoutAt(frame.dpi);
    FillSolid(dc, layout.window, ToColorRef(palette::Background));
    DrawHeader(context, layout, frame, dc);
    DrawLabelIn(dc, LegacyGroupText, context.groupFont.Get(), layout.legacyLabel,
                palette::GroupLabel, DT_LEFT | DT_TOP);
    DrawLabelIn(dc, UefiGroupText, context.groupFont.Get(), layout.uefiLabel, palette::GroupLabel,
                DT_LEFT | DT_TOP);
    DrawButtons(context, layout, frame, dc);
}

// A bitmap of the client's size, compatible with `dc`, for the kept frame; false when GDI
// cannot give one.
bool PrepareKeptFrame(KeptFrame& kept, HDC dc, const FrameState& frame) {
    if (kept.drawn && kept.shows.width == frame.width && kept.shows.height == frame.height) {
        return true;
    }
    kept.Release();
    kept.dc.Reset(CreateCompatibleDC(dc));
    kept.bitmap.Reset(CreateCompatibleBitmap(dc, frame.width, frame.height));
    if (!kept.dc.Get() || !kept.bitmap.Get()) {
        kept.Release();
        return false;
    }
    SelectObject(kept.dc.Get(), kept.bitmap.Get());
    return true;
}

// The running and modal looks first, then the installed loader shaded by the pointer, then
// the plain button shaded by the pointer.
palette::ButtonPaint ChooseButtonPaint(const FrameState& frame, int32_t index) {
    using namespace palette;
    if (frame.status.busy) {
        return index == frame.status.runningAction ? Installed : Grey;
    }
    if (frame.status.modalShown) {
        return Grey;
    }
    const bool hovered = frame.hover.kind == ZoneKind::Button && frame.hover.button == index;
    const bool pressed = hovered && frame.down;
    if (IsInstalled(Loaders[index].loader, frame.status.legacyLoader, frame.status.uefiLoader)) {
        return pressed ? InstalledPressed : hovered ? InstalledHover : Installed;
    }
    ButtonPaint plain = Plain;
    plain.face = pressed ? PlainPressedFace : hovered ? PlainHoverFace : Plain.face;
    return plain;
}

} // namespace

FrameState FrameStateOf(const AppContext& context, int32_t width, int32_t height) {
    // No cue while an action runs or a box is open: the buttons then take no key.
    const bool cue =
        context.keyboard.cueShown && !context.status.busy && !context.status.modalShown;
    return {width,
            height,
            context.dpi,
            context.status,
            context.pointer.hover,
            context.pointer.down,
            cue ? context.keyboard.button : -1};
}

ButtonLook ChooseButtonLook(const FrameState& frame, int32_t index) {
    const palette::ButtonPaint paint = ChooseButtonPaint(frame, index);
    return {ToColorRef(paint.face), ToColorRef(paint.border), ToColorRef(paint.text)};
}

COLORREF ChooseCaptionColor(const FrameState& frame, ZoneKind caption) {
    if (frame.status.busy || frame.hover.kind != caption) {
        return ToColorRef(palette::Header);
    }
    const palette::CaptionPaint& paint =
        caption == ZoneKind::Minimize ? palette::Minimize : palette::Close;
    return ToColorRef(frame.down ? paint.pressed : paint.hover);
}

void DrawLabel(HDC dc, const wchar_t* text, HFONT font, int32_t x, int32_t y, int32_t width,
               int32_t height, COLORREF color, UINT format) {
    SelectGuard selectedFont(dc, font);
    int previousMode = SetBkMode(dc, TRANSPARENT);
    COLORREF previousColor = SetTextColor(dc, color);
    RECT area{x, y, x + width, y + height};
    DrawTextW(dc, text, -1, &area, format | DT_SINGLELINE | DT_NOPREFIX);
    SetTextColor(dc, previousColor);
    SetBkMode(dc, previousMode);
}

void AppContext::PaintWindow(HDC dc) {
    RECT client{};
    GetClientRect(window, &client);
    int32_t width = client.right - client.left;
    int32_t height = client.bottom - client.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    // Every poll repaints; only a frame that shows something new is drawn again.
    const FrameState now = FrameStateOf(*this, width, height);
    if (!keptFrame.drawn || keptFrame.shows != now) {
        if (!PrepareKeptFrame(keptFrame, dc, now)) {
            // Without memory for a kept frame the window is still drawn, only not off screen.
            DrawFrame(*this, now, dc);
            return;
        }
        DrawFrame(*this, now, keptFrame.dc.Get());
        keptFrame.shows = now;
        keptFrame.drawn = true;
    }
    BitBlt(dc, 0, 0, width, height, keptFrame.dc.Get(), 0, 0, SRCCOPY);
}
