// What the window's 25-a-second refresh costs: one full double-buffered paint and one pointer
// tick, against the 40 ms tick period and against a yardstick paint of the two background
// fills drawn directly. Prints figures; decides nothing.
#include <windows.h>

#include <cstdio>

#include "app/app_context.h"
#include "sys/handles.h"
#include "tests/support/clock.h"
#include "tests/support/test_window.h"
#include "ui/window.h"

namespace {

constexpr int Rounds = 2000;

void YardstickPaint(HDC dc) {
    GdiObject body(CreateSolidBrush(RGB(0xF1, 0xF4, 0xF9)));
    GdiObject header(CreateSolidBrush(RGB(0x1E, 0x2A, 0x44)));
    RECT all = {0, 0, 376, 208};
    RECT band = {0, 0, 376, 48};
    FillRect(dc, &all, static_cast<HBRUSH>(body.value));
    FillRect(dc, &band, static_cast<HBRUSH>(header.value));
}

template <typename Work> double MicrosecondsPerRound(Work work) {
    for (int i = 0; i < 50; ++i) {
        work();
    }
    GdiFlush();
    double start = NowSeconds();
    for (int i = 0; i < Rounds; ++i) {
        work();
    }
    GdiFlush();
    return (NowSeconds() - start) * 1e6 / Rounds;
}

} // namespace

int wmain() {
    RegisterMainWindowClass(L"QuillmerePaintBench");
    AppContext context;
    context.instance = GetModuleHandleW(nullptr);
    context.legacyLoader = 1;
    context.uefiLoader = 2;
    HWND window = CreateWindowExW(0, L"QuillmerePaintBench", L"", WS_POPUP, 0, 0, 376, 208, nullptr,
                                  nullptr, context.instance, &context);
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    double paint = 0, yardstick = 0, tick = 0;
    {
        WindowDc screen(nullptr);
        MemoryDc target(screen.dc);
        GdiObject bitmap(CreateCompatibleBitmap(screen.dc, 376, 208));
        SelectGuard selected(target.dc, bitmap.value);
        paint = MicrosecondsPerRound([&] { context.PaintWindow(target.dc); });
        yardstick = MicrosecondsPerRound([&] { YardstickPaint(target.dc); });
        tick = MicrosecondsPerRound([&] { context.PollPointer(); });
    }
    DestroyWindow(window);
    std::printf("full paint (double-buffered, 7 buttons, 13 texts):%8.1f us\n", paint);
    std::printf("yardstick paint (two direct fills):               %8.1f us  (paint / yardstick "
                "%.1fx)\n",
                yardstick, paint / yardstick);
    std::printf("pointer tick (sample, step, invalidate):          %8.1f us\n", tick);
    std::printf("share of the 40 ms tick period used by paint + tick: %.2f %% (no target; "
                "explains the idle CPU of the start-up benchmark)\n",
                (paint + tick) / 400.0);
    return 0;
}
