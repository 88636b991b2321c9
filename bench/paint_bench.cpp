// What the window's 25-a-second refresh costs: a paint of an unchanged frame (the kept frame
// copied), a paint of a changed frame (drawn again, then copied), and one pointer tick, against
// the 40 ms tick period and against a yardstick paint of the two background fills drawn
// directly. Prints figures; decides nothing.
#include <windows.h>

#include <cstdio>

#include "ui/app_context.h"
#include "sys/handles.h"
#include "bench/clock.h"
#include "tests/support/test_window.h"
#include "ui/window.h"

namespace {

constexpr int Rounds = 2000;

void YardstickPaint(HDC dc) {
    BrushHandle body(CreateSolidBrush(RGB(0xF1, 0xF4, 0xF9)));
    BrushHandle header(CreateSolidBrush(RGB(0x1E, 0x2A, 0x44)));
    RECT all = {0, 0, 376, 208};
    RECT band = {0, 0, 376, 48};
    FillRect(dc, &all, body.Get());
    FillRect(dc, &band, header.Get());
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
    AppContext context;
    context.instance = GetModuleHandleW(nullptr);
    context.status.legacyLoader = 1;
    context.status.uefiLoader = 2;
    HWND window = CreateProgramWindow(&context);
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    double changed = 0, unchanged = 0, yardstick = 0, tick = 0;
    {
        WindowDc screen(nullptr);
        MemoryDcHandle target(CreateCompatibleDC(screen.dc));
        BitmapHandle bitmap(CreateCompatibleBitmap(screen.dc, 376, 208));
        SelectGuard selected(target.Get(), bitmap.Get());
        // The pointer moving between two buttons: every paint shows something new.
        int round = 0;
        changed = MicrosecondsPerRound([&] {
            context.pointer.hover = {ZoneKind::Button, ++round % 2};
            context.PaintWindow(target.Get());
        });
        unchanged = MicrosecondsPerRound([&] { context.PaintWindow(target.Get()); });
        yardstick = MicrosecondsPerRound([&] { YardstickPaint(target.Get()); });
        tick = MicrosecondsPerRound([&] { context.PollPointer(); });
    }
    DestroyWindow(window);
    std::printf("paint of a changed frame (drawn, then copied):    %8.1f us\n", changed);
    std::printf("paint of an unchanged frame (kept frame copied):  %8.1f us  (unchanged / "
                "changed %.2f)\n",
                unchanged, unchanged / changed);
    std::printf("yardstick paint (two direct fills):               %8.1f us  (unchanged / "
                "yardstick %.1fx)\n",
                yardstick, unchanged / yardstick);
    std::printf("pointer tick (sample, step, invalidate):          %8.1f us\n", tick);
    std::printf("share of the 40 ms tick period used by an idle paint + tick: %.3f %% (no "
                "target; explains the idle CPU of the start-up benchmark)\n",
                (unchanged + tick) / 400.0);
    return 0;
}
