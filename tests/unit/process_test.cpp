#include "sys/process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/support/import_swap.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/sim_drive.h"
#include "tests/support/window_driver.h"

namespace {

std::wstring Child(const std::wstring& arguments) {
    return L"\"" + HelperPath(L"childproc") + L"\" " + arguments;
}

std::wstring ScratchFolder() {
    const std::wstring folder = BuildDir() + L"\\scratch\\sys-process";
    MakeFolders(folder);
    return folder;
}

std::wstring ReadWide(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                        bytes.size() / sizeof(wchar_t));
}

TEST(RunProcessAndWait, ReturnsTheChildsExitCodeAsSignedValue) {
    const std::pair<const wchar_t*, int> cases[] = {
        {L"exit 0", 0},
        {L"exit 3", 3},
        {L"exit 255", 255},
        {L"exit 259", 259},
        {L"exit 0x7FFFFFFF", INT_MAX},
        {L"exit 0x80000000", INT_MIN},
        {L"exit 0xC0000135", static_cast<int>(0xC0000135u)},
        {L"exit 0xFFFFFFFF", -1},
        {L"sleep 200 7", 7},
    };
    for (const auto& [arguments, code] : cases) {
        EXPECT_EQ(RunProcessAndWait(Child(arguments)), code)
            << testing::PrintToString(std::wstring(arguments));
    }
}

TEST(RunProcessAndWait, ReturnsMinusOneSilentlyWhenNothingStarts) {
    const std::wstring cases[] = {
        L"",
        L"Z:\\no\\such\\folder\\program.exe",
        L"quillmere-no-such-program-anywhere",
        L"\"" + BuildDir() + L"\\scratch\" exit 0",
        L"\"" + BuildDir() + L"\\test-helpers\\childproc.exe exit 0", // unclosed quote
    };
    for (const std::wstring& commandLine : cases) {
        EXPECT_EQ(RunProcessAndWait(commandLine), -1) << testing::PrintToString(commandLine);
    }
    // A box would have held the calls above until answered: they have all returned.
    EXPECT_FALSE(MessageBoxShown(GetCurrentProcessId()));
}

TEST(RunProcessAndWait, ChildGetsTheCommandLineAsWrittenAndTheCallersStringStays) {
    const std::wstring folder = ScratchFolder() + L"\\with space";
    const std::wstring program = folder + L"\\child proc.exe";
    ASSERT_TRUE(CopyProgram(HelperPath(L"childproc"), program));
    const std::wstring answer = folder + L"\\command line.txt";
    const std::wstring commandLine = L"\"" + program + L"\" cmdline \"" + answer + L"\"";
    const std::wstring before = commandLine;
    ASSERT_EQ(RunProcessAndWait(commandLine), 0);
    EXPECT_EQ(ReadWide(answer), before);
    EXPECT_EQ(commandLine, before);
}

TEST(RunProcessAndWait, FindsTheProgramByTheUsualSearchFromTheFirstToken) {
    wchar_t saved[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW((BuildDir() + L"\\test-helpers").c_str()));
    const int code = RunProcessAndWait(L"childproc exit 4");
    SetCurrentDirectoryW(saved);
    EXPECT_EQ(code, 4);
}

TEST(RunProcessAndWait, StartsTheChildHidden) {
    const std::wstring answer = ScratchFolder() + L"\\startup.txt";
    DeleteFileW(answer.c_str());
    ASSERT_EQ(RunProcessAndWait(Child(L"startup \"" + answer + L"\"")), 0);
    EXPECT_EQ(ReadBytes(answer), "flags=1 show=0");
}

// A window of the test's own thread with the program's 40 ms tick; it repaints on every tick.
struct WindowTraffic {
    int timers = 0;
    int paints = 0;
    int posted = 0;
    int quitAtTick = 0; // 0: never
    int quitCode = 0;
};

LRESULT CALLBACK TrafficProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* traffic = reinterpret_cast<WindowTraffic*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (traffic) {
        switch (message) {
        case WM_TIMER:
            if (++traffic->timers == traffic->quitAtTick) {
                PostQuitMessage(traffic->quitCode);
            }
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(window, &ps);
            EndPaint(window, &ps);
            ++traffic->paints;
            return 0;
        }
        case WM_APP:
            ++traffic->posted;
            return 0;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class PumpingWindow : public testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = TrafficProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QuillmereProcessTestWindow";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, windowClass.lpszClassName, L"pump", WS_POPUP, 10, 10, 120, 80,
                                 nullptr, nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&traffic));
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
        traffic = WindowTraffic{};
        ASSERT_NE(SetTimer(window, 1, 40, nullptr), 0u);
    }
    void TearDown() override {
        KillTimer(window, 1);
        DestroyWindow(window);
        // Nothing of this test may reach the next one, a quit request least of all.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // The code of the WM_QUIT a main loop would end with; -1 when none comes within 5 s.
    static int RunMainLoopUntilQuit() {
        int code = -1;
        WaitUntil(
            [&] {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                    if (message.message == WM_QUIT) {
                        code = static_cast<int>(message.wParam);
                        return true;
                    }
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
                return false;
            },
            5000);
        return code;
    }
    HWND window = nullptr;
    WindowTraffic traffic;
};

TEST_F(PumpingWindow, KeepsTickingAndPaintingWhileTheChildRuns) {
    PostMessageW(window, WM_APP, 0, 0);
    EXPECT_EQ(RunProcessAndWait(Child(L"sleep 2000 6")), 6);
    EXPECT_EQ(traffic.posted, 1);
    // About 50 ticks in 2 s; a loaded machine delivers fewer but never none.
    EXPECT_GE(traffic.timers, 10);
    EXPECT_GE(traffic.paints, 10);
}

TEST_F(PumpingWindow, AQuitDuringTheWaitIsHandedBackAfterTheChildEnds) {
    traffic.quitAtTick = 3;
    traffic.quitCode = 91;
    // The wait must not end at the quit: a running child would report STILL_ACTIVE (259).
    EXPECT_EQ(RunProcessAndWait(Child(L"sleep 1500 5")), 5);
    EXPECT_GE(traffic.timers, 3);
    EXPECT_EQ(RunMainLoopUntilQuit(), 91);
}

TEST_F(PumpingWindow, AQuitPostedBeforeTheCallSurvivesIt) {
    PostQuitMessage(33);
    EXPECT_EQ(RunProcessAndWait(Child(L"sleep 300 2")), 2);
    EXPECT_EQ(RunMainLoopUntilQuit(), 33);
}

TEST_F(PumpingWindow, NoQuitAppearsWhenNoneWasPosted) {
    EXPECT_EQ(RunProcessAndWait(Child(L"sleep 100 0")), 0);
    KillTimer(window, 1);
    MSG message;
    EXPECT_FALSE(WaitUntil(
        [&] { return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE; },
        300));
}

// The test's stand-in for CreateProcessW: creates the child running (not suspended), then
// returns only once it has ended, so the runner's first wait finds it ended.
decltype(&CreateProcessW) realCreateProcess = nullptr;

BOOL WINAPI CreateProcessAndAwaitItsEnd(LPCWSTR application, LPWSTR commandLine,
                                        LPSECURITY_ATTRIBUTES processAttributes,
                                        LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit,
                                        DWORD flags, LPVOID environment, LPCWSTR directory,
                                        LPSTARTUPINFOW startup, LPPROCESS_INFORMATION created) {
    const BOOL ok =
        realCreateProcess(application, commandLine, processAttributes, threadAttributes, inherit,
                          flags & ~CREATE_SUSPENDED, environment, directory, startup, created);
    if (ok) {
        WaitForSingleObject(created->hProcess, 10000);
    }
    return ok;
}

// The child has ended before the runner first waits, with a message already queued: the message
// stays for the main loop, whichever of the two the system's combined wait would report first.
TEST_F(PumpingWindow, AChildThatHasEndedBeforeTheFirstWaitGetsNoPumpingPass) {
    ImportSwap swap("kernel32.dll", "CreateProcessW",
                    reinterpret_cast<void*>(&CreateProcessAndAwaitItsEnd));
    ASSERT_NE(swap.slot, nullptr) << "the program imports no CreateProcessW";
    realCreateProcess = reinterpret_cast<decltype(&CreateProcessW)>(swap.saved);
    PostMessageW(window, WM_APP, 0, 0);
    EXPECT_EQ(RunProcessAndWait(Child(L"exit 8")), 8);
    EXPECT_EQ(traffic.posted, 0);
    // The message is still queued for the main loop.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    EXPECT_EQ(traffic.posted, 1);
}

TEST(GetCommandInterpreterPath, TakesComSpecBelow520CharactersElseTheSystemShell) {
    ScopedEnvironment saved{L"ComSpec"};
    const std::wstring fallback = L"C:\\Windows\\System32\\cmd.exe";
    const std::wstring longest = L"D:\\" + std::wstring(516, L's');
    ASSERT_EQ(longest.size(), 519u);
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {nullptr, fallback},
        {L"", fallback},
        {L"D:\\Tools\\my shell.exe", L"D:\\Tools\\my shell.exe"},
        {L"%SystemRoot%\\system32\\cmd.exe", L"%SystemRoot%\\system32\\cmd.exe"},
        {L"\"C:\\quoted\\cmd.exe\"", L"\"C:\\quoted\\cmd.exe\""},
        {L"x", L"x"},
    };
    for (const auto& [value, expected] : cases) {
        SetEnvironmentVariableW(L"ComSpec", value);
        EXPECT_EQ(GetCommandInterpreterPath(), expected)
            << testing::PrintToString(std::wstring(value ? value : L"(unset)"));
    }
    for (size_t length : {519u, 520u, 521u, 2000u}) {
        const std::wstring value = L"D:\\" + std::wstring(length - 3, L's');
        SetEnvironmentVariableW(L"ComSpec", value.c_str());
        EXPECT_EQ(GetCommandInterpreterPath(), length < 520 ? value : fallback) << length;
    }
}

} // namespace
