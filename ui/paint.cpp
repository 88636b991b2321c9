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

void DrawLabelIn(HDC dc, const wchar_t* text, HFONT font, const PixelRect& r, COLORREF color,
                 UINT format) {
    DrawLabel(dc, text, font, r.x, r.y, r.width, r.height, color, format);
}

void DrawCaptionButton(HDC dc, const wchar_t* glyph, HFONT font, const PixelRect& r,
                       const CaptionLook& look) {
    FillSolid(dc, r, look.fill);
    DrawLabelIn(dc, glyph, font, r, look.glyph, DT_CENTER | DT_VCENTER);
}

void DrawHeader(const AppContext& context, const WindowLayout& layout, const FrameState& frame,
                const FrameColors& colors, HDC dc) {
    FillSolid(dc, layout.header, colors.header);
    DrawLabelIn(dc, HeaderTitleText, context.titleFont.Get(), layout.title, colors.title,
                DT_LEFT | DT_TOP);
    DrawLabelIn(dc, HeaderSubtitleText, context.subtitleFont.Get(), layout.subtitle,
                colors.subtitle, DT_LEFT | DT_TOP);
    DrawCaptionButton(dc, MinimizeGlyphText, context.minimizeFont.Get(), layout.minimize,
                      ChooseCaptionLook(frame, ZoneKind::Minimize));
    DrawCaptionButton(dc, CloseGlyphText, context.closeFont.Get(), layout.close,
                      ChooseCaptionLook(frame, ZoneKind::Close));
}

void DrawButtons(const AppContext& context, const WindowLayout& layout, const FrameState& frame,
                 HDC dc) {
    for (int32_t i = 0; i < LoaderCount; ++i) {
        const PixelRect& r = layout.buttons[i];
        ButtonLook look = ChooseButtonLook(frame, i);
        const int32_t b = look.wideFrame ? layout.wideBorder : layout.buttonBorder;
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
    const FrameColors colors = ChooseFrameColors(frame);
    FillSolid(dc, layout.window, colors.background);
    DrawHeader(context, layout, frame, colors, dc);
    DrawLabelIn(dc, LegacyGroupText, context.groupFont.Get(), layout.legacyLabel, colors.groupLabel,
                DT_LEFT | DT_TOP);
    DrawLabelIn(dc, UefiGroupText, context.groupFont.Get(), layout.uefiLabel, colors.groupLabel,
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

palette::ButtonPaint PaletteOf(ButtonState state) {
    using namespace palette;
    switch (state) {
    case ButtonState::PlainHover:
        return {PlainHoverFace, Plain.border, Plain.text};
    case ButtonState::PlainPressed:
        return {PlainPressedFace, Plain.border, Plain.text};
    case ButtonState::Installed:
        return Installed;
    case ButtonState::InstalledHover:
        return InstalledHover;
    case ButtonState::InstalledPressed:
        return InstalledPressed;
    case ButtonState::Grey:
        return Grey;
    case ButtonState::Plain:
        break;
    }
    return Plain;
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
            cue ? context.keyboard.button : -1,
            context.theme};
}

ButtonState ButtonStateOf(const FrameState& frame, int32_t index) {
    if (frame.status.busy) {
        return index == frame.status.runningAction ? ButtonState::Installed : ButtonState::Grey;
    }
    if (frame.status.modalShown) {
        return ButtonState::Grey;
    }
    const bool hovered = frame.hover.kind == ZoneKind::Button && frame.hover.button == index;
    const bool pressed = hovered && frame.down;
    if (IsInstalled(Loaders[index].loader, frame.status.legacyLoader, frame.status.uefiLoader)) {
        return pressed   ? ButtonState::InstalledPressed
               : hovered ? ButtonState::InstalledHover
                         : ButtonState::Installed;
    }
    return pressed   ? ButtonState::PlainPressed
           : hovered ? ButtonState::PlainHover
                     : ButtonState::Plain;
}

ButtonLook ChooseButtonLook(const FrameState& frame, int32_t index) {
    const ButtonState state = ButtonStateOf(frame, index);
    if (frame.theme.highContrast) {
        return ContrastButtonLook(state, frame.theme);
    }
    const palette::ButtonPaint paint = PaletteOf(state);
    return {ToColorRef(paint.face), ToColorRef(paint.border), ToColorRef(paint.text)};
}

CaptionLook ChooseCaptionLook(const FrameState& frame, ZoneKind caption) {
    const bool lit = !frame.status.busy && frame.hover.kind == caption;
    if (frame.theme.highContrast) {
        return ContrastCaptionLook(lit, frame.theme);
    }
    const palette::CaptionPaint& paint =
        caption == ZoneKind::Minimize ? palette::Minimize : palette::Close;
    const uint32_t fill = !lit ? palette::Header : frame.down ? paint.pressed : paint.hover;
    return {ToColorRef(fill), ToColorRef(palette::Subtitle)};
}

FrameColors ChooseFrameColors(const FrameState& frame) {
    if (frame.theme.highContrast) {
        return ContrastFrameColors(frame.theme);
    }
    using namespace palette;
    return {ToColorRef(Background), ToColorRef(Header), ToColorRef(Title), ToColorRef(Subtitle),
            ToColorRef(GroupLabel)};
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
