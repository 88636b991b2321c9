#include "ui/paint.h"

#include "app/app_context.h"
#include "sys/handles.h"

namespace {

constexpr COLORREF HeaderColor = ToColorRef(0x1E2A44);
constexpr COLORREF SubtitleColor = ToColorRef(0xC7D0E0);
constexpr COLORREF GroupColor = ToColorRef(0x6B7280);
constexpr COLORREF HoverFace = ToColorRef(0xE4EEFF);
constexpr COLORREF PressedFace = ToColorRef(0xCFE0FF);
constexpr ButtonLook RunningLook = {ToColorRef(0xD8E4F8), ToColorRef(0x9BB8E8),
                                    ToColorRef(0x2E4A78)};
constexpr ButtonLook GreyLook = {ToColorRef(0xE9ECF1), ToColorRef(0xD5DAE2), ToColorRef(0xA7AEBA)};
constexpr COLORREF InstalledText = ToColorRef(0x2E4A78);
constexpr COLORREF PlainBorder = ToColorRef(0xBFC9D6);
constexpr COLORREF PlainText = ToColorRef(0x14202E);

void FillSolid(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, COLORREF color) {
    GdiObject brush(CreateSolidBrush(color));
    if (!brush.value) {
        return;
    }
    RECT area{x, y, x + width, y + height};
    FillRect(dc, &area, static_cast<HBRUSH>(brush.value));
}

void DrawHeader(const AppContext& context, HDC dc) {
    FillSolid(dc, 0, 0, 376, 48, HeaderColor);
    DrawLabel(dc, L"Telvorn Flash", context.titleFont, 16, 2, 300, 24, 0xFFFFFF, DT_LEFT | DT_TOP);
    DrawLabel(dc, L"Смена загрузчика", context.subtitleFont, 18, 27, 300, 14, SubtitleColor,
              DT_LEFT | DT_TOP);
    FillSolid(dc, 306, 2, 30, 18, context.minimizeColor);
    DrawLabel(dc, L"\u2014", context.minimizeFont, 306, 2, 30, 18, SubtitleColor,
              DT_CENTER | DT_VCENTER);
    FillSolid(dc, 338, 2, 30, 18, context.closeColor);
    DrawLabel(dc, L"\u2715", context.closeFont, 338, 2, 30, 18, SubtitleColor,
              DT_CENTER | DT_VCENTER);
}

void DrawButtons(const AppContext& context, HDC dc) {
    for (int32_t i = 0; i < LoaderCount; ++i) {
        const ButtonRect& r = ButtonRects[i];
        ButtonLook look =
            ChooseButtonLook(context.busy, context.runningAction, context.modalShown,
                             context.legacyLoader, context.uefiLoader, context.buttonFace[i], i);
        FillSolid(dc, r.x - 1, r.y - 1, r.width + 2, r.height + 2, look.border);
        FillSolid(dc, r.x, r.y, r.width, r.height, look.face);
        DrawLabel(dc, ButtonLabels[i], context.buttonFont, r.x, r.y, r.width, r.height, look.text,
                  DT_CENTER | DT_VCENTER);
    }
}

} // namespace

bool ShowsInstalledLoader(int32_t index, int32_t legacyLoader, int32_t uefiLoader) {
    return (index <= 3 && index == legacyLoader) || (index >= 4 && index - 4 == uefiLoader);
}

ButtonLook ChooseButtonLook(bool busy, int32_t runningAction, bool modalShown, int32_t legacyLoader,
                            int32_t uefiLoader, COLORREF storedFace, int32_t index) {
    if (busy) {
        return index == runningAction ? RunningLook : GreyLook;
    }
    if (modalShown) {
        return GreyLook;
    }
    if (ShowsInstalledLoader(index, legacyLoader, uefiLoader)) {
        if (storedFace == PressedFace) {
            return {ToColorRef(0xB9CEF0), ToColorRef(0x6C93D0), InstalledText};
        }
        if (storedFace == HoverFace) {
            return {ToColorRef(0xC9DAF5), ToColorRef(0x7FA5DC), InstalledText};
        }
        return {ToColorRef(0xD8E4F8), ToColorRef(0x9BB8E8), InstalledText};
    }
    return {storedFace, PlainBorder, PlainText};
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
    MemoryDc memory(dc);
    GdiObject bitmap(CreateCompatibleBitmap(dc, width, height));
    if (!memory.dc || !bitmap.value) {
        return;
    }
    SelectGuard selectedBitmap(memory.dc, bitmap.value);
    FillSolid(memory.dc, 0, 0, 376, 208, ToColorRef(0xF1F4F9));
    DrawHeader(*this, memory.dc);
    DrawLabel(memory.dc, L"LEGACY BIOS", groupFont, 15, 56, 200, 14, GroupColor, DT_LEFT | DT_TOP);
    DrawLabel(memory.dc, L"UEFI", groupFont, 15, 152, 200, 14, GroupColor, DT_LEFT | DT_TOP);
    DrawButtons(*this, memory.dc);
    BitBlt(dc, 0, 0, width, height, memory.dc, 0, 0, SRCCOPY);
}
