// How long the window takes to answer while a GRUB2 switch replaces an installed module folder of
// 300 files (3 MB): a second thread sends the window a message every 10 ms and times each answer,
// during the switch run as the window runs it (on a worker thread), during the same switch on the
// window's own thread (answering only between files and blocks), during the window's switch whose
// last sector write fails and is undone, and while the thread only waits for messages (the
// floor). Prints figures; decides nothing.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/clock.h"
#include "loaders/loader_plans.h"
#include "sys/process.h"
#include "tests/support/sim_drive.h"

namespace {

const std::wstring Boot = L"\\efi\\Telvorn\\Boot";
constexpr int Modules = 300;
constexpr size_t ModuleBytes = 10 * 1024;
constexpr int Rounds = 3;
constexpr DWORD ProbePeriodMs = 10;

// Answers, in milliseconds, to messages sent every 10 ms from another thread until stopped.
struct AnswerProbe {
    HWND window = nullptr;
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::vector<double> answers;
    std::thread thread;

    void Start(HWND target) {
        window = target;
        stop = false;
        ended = false;
        answers.clear();
        thread = std::thread([this] {
            while (!stop) {
                const double sent = NowMs();
                SendMessageW(window, WM_NULL, 0, 0);
                answers.push_back(NowMs() - sent);
                Sleep(ProbePeriodMs);
            }
            ended = true;
        });
    }
    // The longest answer; the thread may wait in a send until this thread takes it.
    double Finish() {
        stop = true;
        while (!ended) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
            Sleep(1);
        }
        thread.join();
        return answers.empty() ? -1 : *std::max_element(answers.begin(), answers.end());
    }
};

struct Bench {
    SimDrive drive;
    SwitchTarget target;
    std::wstring imagePath = BuildDir() + L"\\scratch\\switch-bench-disk.img";
    std::wstring eventsPath = BuildDir() + L"\\scratch\\switch-bench-events.log";
    // Found before Wine's own powershell.exe: the program's folder is searched first.
    std::wstring powerShell = BuildDir() + L"\\bench\\powershell.exe";

    bool Prepare() {
        MakeFolders(BuildDir() + L"\\scratch");
        if (!drive.Map(L'M', L"switch_bench") ||
            !CopyProgram(HelperPath(L"powershell"), powerShell)) {
            return false;
        }
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_DISK_IMAGE", imagePath.c_str());
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_EVENTS", eventsPath.c_str());
        SetEnvironmentVariableW(L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"3");
        target = SimulatedTarget(drive, imagePath);
        return true;
    }

    // A drive with GRUB2 installed from older modules than the sources hold.
    bool Fresh() {
        if (!RemoveTreeForTest(drive.hostFolder, true) || !drive.Write(Boot + L"\\NOT.DEL", "") ||
            !CopyProgram(HelperPath(L"bootice"), drive.Path(Boot + L"\\bootice.exe")) ||
            !LayOutLoaderSources(drive) || !WriteBytes(imagePath, ValidDiskImage())) {
            return false;
        }
        DeleteFileW(eventsPath.c_str());
        for (int i = 0; i < Modules; ++i) {
            const std::wstring name = L"\\m" + std::to_wstring(i) + L".mod";
            if (!drive.Write(Boot + L"\\loaders\\grub2-bios\\i386-pc" + name,
                             std::string(ModuleBytes, 'n')) ||
                !drive.Write(Boot + L"\\grub2\\bios\\i386-pc" + name,
                             std::string(ModuleBytes, 'o'))) {
                return false;
            }
        }
        return true;
    }

    ~Bench() {
        DeleteFileW(powerShell.c_str());
        for (const wchar_t* name :
             {L"QUILLMERE_STANDIN_DISK_IMAGE", L"QUILLMERE_STANDIN_EVENTS",
              L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"QUILLMERE_STANDIN_FAIL_RUN"}) {
            SetEnvironmentVariableW(name, nullptr);
        }
    }
};

void PlainWait(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
}

void Report(const char* what, const std::vector<double>& longest, double floor) {
    std::printf("%-42s", what);
    for (double ms : longest) {
        std::printf(" %7.1f", ms);
    }
    const double worst = *std::max_element(longest.begin(), longest.end());
    std::printf("   worst %7.1f ms", worst);
    if (floor > 0) {
        std::printf("  (%.1f x the plain wait)", worst / floor);
    }
    std::printf("\n");
}

} // namespace

int wmain() {
    Bench bench;
    if (!bench.Prepare()) {
        std::printf("cannot prepare the drive\n");
        return 1;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuillmereSwitchBench";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    // How the window runs a switch (on a worker thread), the switch on the window's own thread
    // answering between files and blocks, and the worker's switch failing and undone.
    struct Scenario {
        const char* name;
        bool onWorker, fail;
        std::vector<double> longest, took;
    } scenarios[] = {
        {"GRUB2 switch, as the window runs it", true, false, {}, {}},
        {"the same on the window's own thread", false, false, {}, {}},
        {"the window's switch failing and undone", true, true, {}, {}},
    };
    AnswerProbe probe;
    std::vector<double> plain;
    for (int round = 0; round < Rounds; ++round) {
        probe.Start(window);
        PlainWait(1000);
        plain.push_back(probe.Finish());

        for (Scenario& scenario : scenarios) {
            if (!bench.Fresh()) {
                std::printf("cannot lay out the drive\n");
                return 1;
            }
            // The stand-ins' third run is the sector 0 write: failing, it makes the switch undo
            // everything, the module folder included.
            SetEnvironmentVariableW(L"QUILLMERE_STANDIN_FAIL_RUN",
                                    scenario.fail ? L"3=5" : nullptr);
            probe.Start(window);
            const double start = NowMs();
            SwitchOutcome outcome;
            auto work = [&] { outcome = InstallLoader(Loader::Grub2, bench.target); };
            if (scenario.onWorker) {
                RunOnWorker(work);
            } else {
                const AnsweringWork answering; // as where no worker thread can be made
                work();
            }
            scenario.took.push_back(NowMs() - start);
            scenario.longest.push_back(probe.Finish());
            if (outcome.switched == scenario.fail) {
                std::printf("round %d: unexpected outcome: %ls\n", round + 1, outcome.text.c_str());
                return 1;
            }
        }
    }
    DestroyWindow(window);
    const double floor = *std::max_element(plain.begin(), plain.end());
    std::printf("longest answer to a message sent every %lu ms, per round (ms):\n", ProbePeriodMs);
    Report("plain message wait", plain, 0);
    for (const Scenario& scenario : scenarios) {
        Report(scenario.name, scenario.longest, floor);
    }
    std::printf("duration of each run (ms):\n");
    for (const Scenario& scenario : scenarios) {
        Report(scenario.name, scenario.took, 0);
    }
    return 0;
}
