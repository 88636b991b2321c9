// Cost of the message-pumping wait of RunProcessAndWait.
//
// Throughput: wall time for 50 runs of a child that exits at once, through RunProcessAndWait and
// through a plain CreateProcessW + WaitForSingleObject loop with the same start-up flags; the
// two loops alternate in rounds of 10 so drift of the machine hits both alike.
// Latency: a watcher thread finds the child, waits on its handle with a plain blocking wait and
// reads the performance counter when it is signalled; the delay is from that moment to the
// return of the wait under test. A second figure runs from the child's own last counter reading
// before it exits, so it includes the process teardown, which the plain wait pays alike.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdio>
#include <string>
#include <vector>

#include "sys/handles.h"
#include "sys/process.h"
#include "bench/clock.h"
#include "tests/support/sim_drive.h"

namespace {

const int Runs = 50;
const int RoundSize = 10;
const int LatencyRuns = 30;
const double ThroughputTarget = 1.10;
const double LatencyTargetMs = 35.0;

int PlainRun(const std::wstring& commandLine) {
    std::wstring writable = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        return -1;
    }
    ChildProcess child(info);
    WaitForSingleObject(child.process.Get(), INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(child.process.Get(), &code);
    return static_cast<int>(code);
}

// Milliseconds from the child's last counter reading to the wait's return; -1 on failure.
double ExitDelayMs(int (*run)(const std::wstring&), const std::wstring& child,
                   const std::wstring& stampFile) {
    DeleteFileW(stampFile.c_str());
    if (run(L"\"" + child + L"\" stamp \"" + stampFile + L"\"") != 0) {
        return -1;
    }
    const LONGLONG returned = CounterTicks();
    const std::string bytes = ReadBytes(stampFile);
    if (bytes.size() != sizeof(LONGLONG)) {
        return -1;
    }
    LONGLONG stamped = 0;
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(&stamped));
    return TicksToMs(returned - stamped);
}

// The first child of this process named childproc.exe, opened for waiting.
HANDLE OpenRunningChild() {
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid()) {
        return nullptr;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() &&
            _wcsicmp(entry.szExeFile, L"childproc.exe") == 0) {
            return OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
        }
    }
    return nullptr;
}

// Milliseconds from the child's end, as a blocking wait in another thread sees it, to the
// return of `run`; the child lives 300 ms so the watcher finds it first. -1e9 on failure.
double SignalToReturnMs(int (*run)(const std::wstring&), const std::wstring& child) {
    std::atomic<LONGLONG> signalled{0};
    std::thread watcher([&signalled] {
        const DWORD start = GetTickCount();
        KernelHandle process;
        while (!process.Valid() && GetTickCount() - start < 5000) {
            process.Reset(OpenRunningChild());
            if (!process.Valid()) {
                Sleep(5);
            }
        }
        if (process.Valid() && WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0) {
            signalled = CounterTicks();
        }
    });
    const int code = run(L"\"" + child + L"\" sleep 300 0");
    const LONGLONG returned = CounterTicks();
    watcher.join();
    if (code != 0 || signalled == 0) {
        return -1e9;
    }
    return TicksToMs(returned - signalled);
}

struct Spread {
    double median;
    double max;
};

Spread Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return Spread{values[values.size() / 2], values.back()};
}

} // namespace

int wmain() {
    const std::wstring child = HelperPath(L"childproc");
    const std::wstring noop = L"\"" + child + L"\" exit 0";
    if (RunProcessAndWait(noop) != 0 || PlainRun(noop) != 0) {
        std::printf("cannot run %ls\n", child.c_str());
        return 1;
    }

    LONGLONG runnerTicks = 0;
    LONGLONG plainTicks = 0;
    int failures = 0;
    for (int done = 0; done < Runs; done += RoundSize) {
        LONGLONG start = CounterTicks();
        for (int i = 0; i < RoundSize; ++i) {
            failures += PlainRun(noop) != 0;
        }
        plainTicks += CounterTicks() - start;
        start = CounterTicks();
        for (int i = 0; i < RoundSize; ++i) {
            failures += RunProcessAndWait(noop) != 0;
        }
        runnerTicks += CounterTicks() - start;
    }
    const double runnerMs = TicksToMs(runnerTicks);
    const double plainMs = TicksToMs(plainTicks);
    const double ratio = runnerMs / plainMs;
    std::printf("%d no-op children: RunProcessAndWait %.1f ms, plain wait %.1f ms\n", Runs,
                runnerMs, plainMs);
    std::printf("  ratio %.3f (target <= %.2f) %s\n", ratio, ThroughputTarget,
                ratio <= ThroughputTarget ? "met" : "MISSED");

    std::vector<double> runnerSignal;
    std::vector<double> plainSignal;
    for (int i = 0; i < LatencyRuns; ++i) {
        const double runner = SignalToReturnMs(RunProcessAndWait, child);
        const double plain = SignalToReturnMs(PlainRun, child);
        failures += runner < -1e8 || plain < -1e8;
        if (runner > -1e8 && plain > -1e8) {
            runnerSignal.push_back(runner);
            plainSignal.push_back(plain);
        }
    }

    const std::wstring stampFile = BuildDir() + L"\\scratch\\process-bench-stamp.bin";
    MakeFolders(BuildDir() + L"\\scratch");
    std::vector<double> runnerStamp;
    std::vector<double> plainStamp;
    for (int i = 0; i < LatencyRuns; ++i) {
        const double runner = ExitDelayMs(RunProcessAndWait, child, stampFile);
        const double plain = ExitDelayMs(PlainRun, child, stampFile);
        failures += runner < 0 || plain < 0;
        if (runner >= 0 && plain >= 0) {
            runnerStamp.push_back(runner);
            plainStamp.push_back(plain);
        }
    }
    DeleteFileW(stampFile.c_str());
    if (runnerSignal.empty() || runnerStamp.empty()) {
        std::printf("no latency figures\n");
        return 1;
    }
    const Spread runner = Summarise(runnerSignal);
    const Spread plain = Summarise(plainSignal);
    std::printf("child's end (handle signalled) to return, %zu runs: RunProcessAndWait median %.2f"
                " ms, max %.2f ms; plain wait median %.2f ms, max %.2f ms\n",
                runnerSignal.size(), runner.median, runner.max, plain.median, plain.max);
    std::printf("  largest delay %.2f ms (target <= %.0f ms) %s\n", runner.max, LatencyTargetMs,
                runner.max <= LatencyTargetMs ? "met" : "MISSED");
    const Spread runnerLast = Summarise(runnerStamp);
    const Spread plainLast = Summarise(plainStamp);
    std::printf("child's last counter reading to return (teardown included), %zu runs:"
                " RunProcessAndWait median %.1f ms, max %.1f ms; plain wait median %.1f ms, max"
                " %.1f ms; ratio of medians %.2f\n",
                runnerStamp.size(), runnerLast.median, runnerLast.max, plainLast.median,
                plainLast.max, runnerLast.median / plainLast.median);
    if (failures) {
        std::printf("%d runs failed\n", failures);
        return 1;
    }
    return 0;
}
