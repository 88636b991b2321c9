#pragma once
// The high-resolution counter the benchmarks time with.
#include <windows.h>

inline LONGLONG CounterTicks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

inline double TicksToMs(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

inline double NowMs() {
    return TicksToMs(CounterTicks());
}

inline double NowSeconds() {
    return NowMs() / 1000.0;
}
