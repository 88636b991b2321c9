#include "ui/dpi.h"

#include <utility>

#include "ui/app_context.h"
#include "sys/handles.h"
#include "ui/layout.h"
#include "ui/window.h"

namespace {

struct FontSpec {
    FontHandle AppContext::*field;
    const wchar_t* face;
    int32_t points;
    int32_t weight;
};

const FontSpec WindowFonts[] = {
    {&AppContext::titleFont, L"Tahoma", 15, FW_BOLD},
    {&AppContext::subtitleFont, L"Tahoma", 9, FW_NORMAL},
    {&AppContext::minimizeFont, L"Tahoma", 10, FW_NORMAL},
    {&AppContext::closeFont, L"Tahoma", 9, FW_NORMAL},
    {&AppContext::groupFont, L"Tahoma", 8, FW_BOLD},
    {&AppContext::buttonFont, L"Segoe UI Semibold", 10, FW_NORMAL},
};
constexpr size_t WindowFontCount = sizeof WindowFonts / sizeof WindowFonts[0];

} // namespace

int32_t WindowDpi(HWND window) {
    using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
    HMODULE user = GetModuleHandleW(L"user32.dll");
    auto getDpiForWindow = reinterpret_cast<GetDpiForWindowCall>(
        reinterpret_cast<void*>(user ? GetProcAddress(user, "GetDpiForWindow") : nullptr));
    if (window && getDpiForWindow) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0) {
            return static_cast<int32_t>(dpi);
        }
    }
    WindowDc screen(window);
    const int32_t dpi = screen.dc ? GetDeviceCaps(screen.dc, LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

int32_t RescaleLength(int32_t value, int32_t oldDpi, int32_t newDpi) {
    return oldDpi > 0 && newDpi > 0 ? MulDiv(value, newDpi, oldDpi) : value;
}

bool CreateWindowFonts(AppContext& context, int32_t dpi) {
    FontHandle made[WindowFontCount];
    for (size_t i = 0; i < WindowFontCount; ++i) {
        const FontSpec& spec = WindowFonts[i];
        made[i].Reset(CreateFontW(FontHeight(spec.points, dpi), 0, 0, 0, spec.weight, FALSE, FALSE,
                                  FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, spec.face));
        if (!made[i].Valid()) {
            return false;
        }
    }
    for (size_t i = 0; i < WindowFontCount; ++i) {
        context.*WindowFonts[i].field = std::move(made[i]);
    }
    return true;
}

void ApplyWindowDpi(AppContext& context, int32_t dpi, const RECT& suggested) {
    if (dpi <= 0) {
        dpi = 96;
    }
    // Without new fonts the old ones stay: text of the old size rather than none.
    CreateWindowFonts(context, dpi);
    const PixelRect size = LayoutAt(dpi).window;
    context.clientWidth = size.width;
    context.clientHeight = size.height;
    // The drag's next step puts the window at the cursor less these offsets.
    context.dragOffsetX = RescaleLength(context.dragOffsetX, context.dpi, dpi);
    context.dragOffsetY = RescaleLength(context.dragOffsetY, context.dpi, dpi);
    context.dpi = dpi;
    context.keptFrame.Release();
    SetWindowPos(context.window, nullptr, suggested.left, suggested.top,
                 suggested.right - suggested.left, suggested.bottom - suggested.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(context.window, nullptr, FALSE);
}
