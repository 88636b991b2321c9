#include "ui/placement.h"

#include <algorithm>

namespace {

// How far a point lies outside a rectangle, squared; 0 inside.
long long DistanceSquared(const RECT& r, POINT p) {
    const long long dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - r.right + 1 : 0;
    const long long dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - r.bottom + 1 : 0;
    return dx * dx + dy * dy;
}

const MonitorArea* MonitorNearest(const std::vector<MonitorArea>& monitors, POINT point) {
    const MonitorArea* nearest = nullptr;
    long long best = 0;
    for (const MonitorArea& m : monitors) {
        const long long d = DistanceSquared(m.monitor, point);
        if (!nearest || d < best) {
            nearest = &m;
            best = d;
        }
    }
    return nearest;
}

bool Overlaps(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// `value` within [low, high]; a range turned over by a tiny work area keeps its low end.
LONG Clamp(LONG value, LONG low, LONG high) {
    return std::max(low, std::min(value, std::max(low, high)));
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        reinterpret_cast<std::vector<MonitorArea>*>(data)->push_back({info.rcMonitor, info.rcWork});
    }
    return TRUE;
}

} // namespace

POINT CenteredOrigin(const RECT& workArea, int width, int height) {
    POINT origin;
    origin.x = workArea.left + (workArea.right - width - workArea.left) / 2;
    origin.y = workArea.top + (workArea.bottom - height - workArea.top) / 2;
    return origin;
}

RECT WorkAreaAt(const std::vector<MonitorArea>& monitors, POINT point) {
    const MonitorArea* m = MonitorNearest(monitors, point);
    return m ? m->work : RECT{};
}

POINT OpeningOrigin(const std::vector<MonitorArea>& monitors, POINT pointer, int width,
                    int height) {
    return CenteredOrigin(WorkAreaAt(monitors, pointer), width, height);
}

POINT KeptOnWorkArea(const std::vector<MonitorArea>& monitors, POINT pointer, POINT wanted,
                     int width, int headerHeight) {
    if (monitors.empty()) {
        return wanted;
    }
    const RECT work = WorkAreaAt(monitors, pointer);
    const LONG keepX = std::min<LONG>(HeaderKeptInside, width);
    const LONG keepY = std::min<LONG>(HeaderKeptInside, headerHeight);
    return {Clamp(wanted.x, work.left - width + keepX, work.right - keepX),
            Clamp(wanted.y, work.top - headerHeight + keepY, work.bottom - keepY)};
}

POINT BroughtBack(const std::vector<MonitorArea>& monitors, const RECT& frame) {
    const POINT where{frame.left, frame.top};
    for (const MonitorArea& m : monitors) {
        if (Overlaps(frame, m.work)) {
            return where;
        }
    }
    if (monitors.empty()) {
        return where;
    }
    const POINT middle{frame.left + (frame.right - frame.left) / 2,
                       frame.top + (frame.bottom - frame.top) / 2};
    return CenteredOrigin(WorkAreaAt(monitors, middle), frame.right - frame.left,
                          frame.bottom - frame.top);
}

std::vector<MonitorArea> CurrentMonitors() {
    std::vector<MonitorArea> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) {
        // The primary work area still places the window as well as it can.
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        monitors.push_back({work, work});
    }
    return monitors;
}
