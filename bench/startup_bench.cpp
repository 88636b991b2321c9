// Start-up and idle cost of the program against the least a window of the same shape costs.
//
// Time to first paint: from just before CreateProcessW until a header pixel of the centred
// window shows the header colour on screen; both programs are measured the same way, started
// from the same simulated drive, interleaved, and the median of the runs is reported.
// Idle CPU: user + kernel time of the process over 10 s, the two programs measured one after
// the other in the same run: with the pointer outside the window (the program's poll rests, the
// minimal window repaints every 40 ms), and with the pointer resting over the window's body.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/startup.h"
#include "ui/placement.h"
#include "sys/handles.h"
#include "bench/clock.h"
#include "tests/support/sim_drive.h"
#include "tests/support/window_driver.h"

namespace {

const uint32_t HeaderColour = 0x1E2A44;
// In the header band, right of the subtitle and below the caption buttons.
const int ProbeX = 300;
const int ProbeY = 44;
const int StartRuns = 7;
const DWORD IdleMs = 10000;

struct Program {
    const wchar_t* label;
    std::wstring path;
    const wchar_t* windowClass;
};

struct Started {
    ChildProcess child;
    double firstPaintMs = -1;
};

POINT ProbePoint() {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    POINT origin = CenteredOrigin(area, 376, 208);
    return POINT{origin.x + ProbeX, origin.y + ProbeY};
}

bool Launch(const Program& program, Started& started) {
    std::wstring commandLine = L"\"" + program.path + L"\"";
    std::wstring directory = program.path.substr(0, program.path.find_last_of(L'\\'));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const POINT probe = ProbePoint();
    const double begin = NowMs();
    if (!CreateProcessW(program.path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &info)) {
        return false;
    }
    started.child = ChildProcess(info);
    while (NowMs() - begin < 20000) {
        if (ReadScreenPixel(probe.x, probe.y) == HeaderColour) {
            started.firstPaintMs = NowMs() - begin;
            return true;
        }
        if (WaitForSingleObject(info.hProcess, 1) == WAIT_OBJECT_0) {
            return false;
        }
    }
    return false;
}

// Closes the window as the system would and waits until the screen no longer shows it, so
// the next run starts from a black screen.
void Close(const Program& program, Started& started) {
    if (HWND window = FindWindowW(program.windowClass, nullptr)) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(started.child.process.Get(), 10000) != WAIT_OBJECT_0) {
        TerminateProcess(started.child.process.Get(), 1);
        WaitForSingleObject(started.child.process.Get(), 5000);
    }
    const POINT probe = ProbePoint();
    for (int i = 0; i < 200 && ReadScreenPixel(probe.x, probe.y) == HeaderColour; ++i) {
        Sleep(10);
    }
    Sleep(200);
}

double WindowsCpuMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return -1;
    }
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

// The scheduler's own count of the time every thread of a host process has run, in
// nanoseconds (the first field of each task's schedstat); -1 where the host keeps none. The ticks
// of the stat line come in steps of 10 ms: an idle window earns only a dozen of them in 10 s.
double ScheduledCpuMs(const std::wstring& processFolder) {
    WIN32_FIND_DATAW entry;
    FindHandle tasks(FindFirstFileW((processFolder + L"\\task\\*").c_str(), &entry));
    if (!tasks.Valid()) {
        return -1;
    }
    double total = 0;
    bool any = false;
    do {
        if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9') {
            continue;
        }
        const std::string line =
            ReadBytes(processFolder + L"\\task\\" + entry.cFileName + L"\\schedstat");
        unsigned long long ns = 0;
        if (std::sscanf(line.c_str(), "%llu", &ns) == 1) {
            total += static_cast<double>(ns) / 1e6;
            any = true;
        }
    } while (FindNextFileW(tasks.Get(), &entry));
    return any ? total : -1;
}

// Under Wine another process's times read as zero, so they come from the host's process table:
// the process whose command line names the program, its threads' scheduled time, or else the
// user + system ticks of its stat line.
double HostCpuMs(const std::wstring& exeName) {
    std::string name(exeName.begin(), exeName.end());
    WIN32_FIND_DATAW entry;
    FindHandle search(FindFirstFileW(L"Z:\\proc\\*", &entry));
    if (!search.Valid()) {
        return -1;
    }
    do {
        if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9') {
            continue;
        }
        const std::wstring folder = std::wstring(L"Z:\\proc\\") + entry.cFileName;
        std::string commandLine = ReadBytes(folder + L"\\cmdline");
        const size_t end = commandLine.find('\0');
        commandLine = commandLine.substr(0, end);
        if (commandLine.size() < name.size() ||
            commandLine.compare(commandLine.size() - name.size(), name.size(), name) != 0) {
            continue;
        }
        const double scheduled = ScheduledCpuMs(folder);
        if (scheduled >= 0) {
            return scheduled;
        }
        const std::string stat = ReadBytes(folder + L"\\stat");
        const size_t afterName = stat.rfind(')');
        if (afterName == std::string::npos) {
            continue;
        }
        // Fields after the command name: state is the 3rd field, utime and stime the 14th and
        // 15th.
        unsigned long long user = 0, system = 0;
        if (std::sscanf(stat.c_str() + afterName + 1,
                        " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                        &system) == 2) {
            return static_cast<double>(user + system) * 10.0; // 100 ticks per second
        }
    } while (FindNextFileW(search.Get(), &entry));
    return -1;
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name") != nullptr;
}

double CpuMs(const Program& program, HANDLE process) {
    if (!UnderWine()) {
        return WindowsCpuMs(process);
    }
    const std::wstring exeName = program.path.substr(program.path.find_last_of(L'\\') + 1);
    return HostCpuMs(exeName);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

enum class Idle { PointerAway, PointerOver, Minimised };

// Minimised: nothing is painted, which tells the cost of painting from the rest of each tick.
double IdleCpu(const Program& program, Idle how) {
    MovePointerToScreen(0, 0);
    Started started;
    if (!Launch(program, started)) {
        return -1;
    }
    HWND window = FindWindowW(program.windowClass, nullptr);
    if (how == Idle::Minimised) {
        ShowWindow(window, SW_MINIMIZE);
    } else if (how == Idle::PointerOver) {
        // Over the body, below the header and between the buttons' columns.
        MovePointerToClient(window, 187, 150);
    }
    Sleep(1000);
    const double before = CpuMs(program, started.child.process.Get());
    Sleep(IdleMs);
    const double after = CpuMs(program, started.child.process.Get());
    if (before < 0 || after < 0) {
        Close(program, started);
        return -1;
    }
    Close(program, started);
    return after - before;
}

// A target of 0 means the figure is printed for information only.
void Report(const char* what, double program, double yardstick, double target) {
    const double ratio = yardstick > 0 ? program / yardstick : 0.0;
    std::printf("%-34s quillmere %9.1f   minimal window %9.1f   ratio %.2f", what, program,
                yardstick, ratio);
    if (target > 0) {
        std::printf("  (target <= %.2f) %s", target, ratio <= target ? "met" : "NOT met");
    } else {
        std::printf("  (no target)");
    }
    std::printf("\n");
}

} // namespace

int wmain() {
    SimDrive drive;
    if (!drive.Map(L'T', L"bench-startup") || !LayOutInstaller(drive, L"quillmere") ||
        !LayOutDataMarker(drive) ||
        !CopyProgram(BuildDir() + L"\\bench\\minimal_window.exe",
                     drive.Path(L"\\efi\\Telvorn\\Boot\\minimal_window.exe"))) {
        std::printf("cannot lay out the simulated drive\n");
        return 1;
    }
    const Program programs[2] = {
        {L"quillmere", InstalledProgram(drive, L"quillmere"), L"QuillmereCpp"},
        {L"minimal", drive.Path(L"\\efi\\Telvorn\\Boot\\minimal_window.exe"),
         L"QuillmereBenchMinimal"},
    };
    MovePointerToScreen(0, 0);

    std::vector<double> firstPaint[2];
    for (int run = -1; run < StartRuns; ++run) { // run -1 warms the caches, uncounted
        for (int p = 0; p < 2; ++p) {
            Started started;
            if (!Launch(programs[p], started)) {
                std::printf("%ls never painted its header\n", programs[p].label);
                return 1;
            }
            if (run >= 0) {
                firstPaint[p].push_back(started.firstPaintMs);
            }
            Close(programs[p], started);
        }
    }
    Report("start to first paint, ms (median)", Median(firstPaint[0]), Median(firstPaint[1]), 1.3);

    const double away[2] = {IdleCpu(programs[0], Idle::PointerAway),
                            IdleCpu(programs[1], Idle::PointerAway)};
    const double over[2] = {IdleCpu(programs[0], Idle::PointerOver),
                            IdleCpu(programs[1], Idle::PointerOver)};
    const double minimised[2] = {IdleCpu(programs[0], Idle::Minimised),
                                 IdleCpu(programs[1], Idle::Minimised)};
    for (const double* figures : {away, over, minimised}) {
        if (figures[0] < 0 || figures[1] < 0) {
            std::printf("idle measurement failed\n");
            return 1;
        }
    }
    Report("idle CPU over 10 s, pointer away, ms", away[0], away[1], 0.5);
    Report("  the same, pointer over the window", over[0], over[1], 0);
    Report("  the same, minimised", minimised[0], minimised[1], 0);
    return 0;
}
