#pragma once
// Where the window may lie: centred on the pointer's monitor at start, never dragged out of
// reach, brought back by a second start. Functions of monitors, work areas and points.
#include <windows.h>

#include <cstdint>
#include <vector>

// One monitor: its whole rectangle and its work area (less the taskbar and docked bars).
struct MonitorArea {
    RECT monitor;
    RECT work;
};

// How much of the header a drag keeps inside a work area, in both directions.
constexpr int32_t HeaderKeptInside = 40;

// Top-left corner of a width x height window centred in the work area (truncating toward zero).
POINT CenteredOrigin(const RECT& workArea, int width, int height);

// The work area of the monitor holding `point`, else of the monitor nearest to it; all zeros
// when there is no monitor.
RECT WorkAreaAt(const std::vector<MonitorArea>& monitors, POINT point);

// Where the window opens: centred on the work area of the monitor under the pointer.
POINT OpeningOrigin(const std::vector<MonitorArea>& monitors, POINT pointer, int width, int height);

// Where a header drag puts the window's corner when the pointer at `pointer` asks for `wanted`:
// moved just enough that at least 40 px of the header (`width` x `headerHeight`) in each
// direction stay inside the work area of the monitor the pointer is on.
POINT KeptOnWorkArea(const std::vector<MonitorArea>& monitors, POINT pointer, POINT wanted,
                     int width, int headerHeight);

// Where a second start puts a window lying at `frame`: where it is while it overlaps a work
// area, else centred on the work area of the monitor nearest to it.
POINT BroughtBack(const std::vector<MonitorArea>& monitors, const RECT& frame);

// The monitors as Windows has them now.
std::vector<MonitorArea> CurrentMonitors();
