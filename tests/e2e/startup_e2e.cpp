// The real program started from simulated drives: what it refuses, which data partition it
// takes, how a second copy behaves, the window it opens and how it ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/app_runner.h"
#include "tests/support/debug_log_capture.h"
#include "tests/support/sim_drive.h"
#include "tests/support/window_driver.h"

namespace {

const DWORD StartTimeoutMs = 20000;

const wchar_t* const NoDataMarkerText =
    L"Не найден маркер ISO\\Ventoy\\NOT.DEL на разделе DATA.\r\n"
    L"Диск не похож на сборку Telvorn.";

std::wstring NotTelvornText(const SimDrive& drive) {
    return L"Этот диск не является сборкой Telvorn (нет bootice.exe или NOT.DEL):\r\n" +
           drive.Root();
}

// Starts the program, expects exactly one start-up box, closes it and returns the exit code.
void ExpectStartupBox(const std::wstring& program, const std::wstring& text, const char* icon,
                      int exitCode) {
    AppRun run;
    ASSERT_TRUE(run.Start(program));
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(run.processId, StartTimeoutMs, box));
    EXPECT_EQ(box.caption, L"Quillmere");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.icon, icon);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(WaitForAppWindow(run.processId, 0), nullptr);
    ASSERT_TRUE(PressOk(box));
    EXPECT_EQ(run.Wait(10000), exitCode);
}

// Closes the program's window as another program would and returns the exit code.
int CloseFromOutside(AppRun& run, HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return run.Wait(10000);
}

// A Wine per-program DLL override (native first), removed again at scope end.
struct PreferNativeDll {
    std::wstring programKey;
    bool set = false;
    PreferNativeDll(const std::wstring& program, const std::wstring& dll)
        : programKey(L"Software\\Wine\\AppDefaults\\" + program) {
        const std::wstring key = programKey + L"\\DllOverrides";
        HKEY handle = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &handle, nullptr) != ERROR_SUCCESS) {
            return;
        }
        const wchar_t value[] = L"native,builtin";
        set = RegSetValueExW(handle, dll.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             sizeof value) == ERROR_SUCCESS;
        RegCloseKey(handle);
    }
    PreferNativeDll(const PreferNativeDll&) = delete;
    PreferNativeDll& operator=(const PreferNativeDll&) = delete;
    ~PreferNativeDll() { RegDeleteTreeW(HKEY_CURRENT_USER, programKey.c_str()); }
};

struct StartupTest : testing::Test {
    SimDrive installer;
    SimDrive data;

    void SetUp() override {
        ASSERT_TRUE(installer.Map(L'E', L"startup-installer"));
        ASSERT_TRUE(data.Map(L'F', L"startup-data"));
    }
    // The usual assembly: the program and its tool on E:, the data marker on F:.
    void LayOut(const std::wstring& program = L"quillmere") {
        ASSERT_TRUE(LayOutInstaller(installer, program));
        ASSERT_TRUE(LayOutDataMarker(data));
    }
    // Starts the installed program and waits for its window.
    void StartWithWindow(AppRun& run, HWND& window, const std::wstring& program = L"quillmere",
                         const EnvironmentOverrides& environment = {}) {
        ASSERT_TRUE(run.Start(InstalledProgram(installer, program), environment))
            << "CreateProcessW error " << GetLastError();
        window = WaitForAppWindow(run.processId, StartTimeoutMs);
        ASSERT_NE(window, nullptr);
    }
};

} // namespace

TEST_F(StartupTest, RefusesADriveThatIsNotATelvornAssembly) {
    ASSERT_TRUE(LayOutDataMarker(data));
    const std::wstring boot = L"\\efi\\Telvorn\\Boot";
    const std::wstring program = InstalledProgram(installer);

    struct Case {
        const char* name;
        bool withTool;
        bool toolAsFolder;
        bool withMarker;
    };
    const Case cases[] = {
        {"no boot-sector tool", false, false, true},
        {"a folder named bootice.exe", false, true, true},
        {"no NOT.DEL", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(RemoveTreeForTest(installer.Path(L"\\efi")));
        ASSERT_TRUE(LayOutInstaller(installer, L"quillmere", c.withTool));
        if (c.toolAsFolder) {
            ASSERT_TRUE(installer.MakeDir(boot + L"\\bootice.exe"));
        }
        if (!c.withMarker) {
            ASSERT_TRUE(DeleteFileW(installer.Path(boot + L"\\NOT.DEL").c_str()));
        }
        // A leftover that the cleanup would remove shows that nothing was touched.
        ASSERT_TRUE(installer.MakeDir(L"\\Android"));
        ASSERT_NO_FATAL_FAILURE(ExpectStartupBox(program, NotTelvornText(installer), "error", 0));
        EXPECT_TRUE(installer.Exists(L"\\Android"));
    }
}

TEST_F(StartupTest, RefusesWhenNoDriveCarriesTheDataMarker) {
    ASSERT_TRUE(LayOutInstaller(installer));
    ASSERT_TRUE(data.MakeDir(L"\\ISO\\Ventoy"));
    ASSERT_TRUE(data.Write(L"\\ISO\\NOT.DEL", "")); // one level too high
    ASSERT_TRUE(installer.MakeDir(L"\\Android"));
    ASSERT_TRUE(data.MakeDir(L"\\Android"));
    ASSERT_NO_FATAL_FAILURE(
        ExpectStartupBox(InstalledProgram(installer), NoDataMarkerText, "error", 0));
    EXPECT_TRUE(installer.Exists(L"\\Android"));
    EXPECT_TRUE(data.Exists(L"\\Android"));
}

TEST_F(StartupTest, RefusesAProgramPathWithoutADriveLetter) {
    ASSERT_NO_FATAL_FAILURE(LayOut());
    // Wine names a file through its Unix path when it is reached as \\?\unix\..., so the module
    // path starts with \\ like a network share.
    const std::string unixPath = UnixPath(InstalledProgram(installer));
    ASSERT_FALSE(unixPath.empty());
    std::wstring program = L"\\\\?\\unix";
    for (char c : unixPath) {
        program += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    ASSERT_NO_FATAL_FAILURE(
        ExpectStartupBox(program, L"Не удалось определить диск установщика.", "error", 1));
}

TEST_F(StartupTest, TakesTheFirstDataMarkerInLetterOrderAndCleansItOnlyOnAKnownDisk) {
    SimDrive lower;
    ASSERT_TRUE(lower.Map(L'D', L"startup-data-d"));
    ASSERT_NO_FATAL_FAILURE(LayOut(L"quillmere-testdisk"));
    ASSERT_TRUE(LayOutDataMarker(lower));
    const std::wstring temp = BuildDir() + L"\\scratch\\startup-e2e-temp";
    ASSERT_TRUE(MakeFolders(temp));
    DebugLogCapture log(temp);
    // One number: every drive but C: lies on disk 1. None: the installer's disk is unknown, and
    // the marker found might lie on any disk.
    for (const wchar_t* disk : {L"1", L""}) {
        SCOPED_TRACE(*disk ? "installer's disk known" : "installer's disk unknown");
        log.Clear();
        // Only the chosen data partition is cleaned: its leftovers show which one was taken.
        for (const SimDrive* drive : {&installer, &data, &lower}) {
            ASSERT_TRUE(drive->Write(L"\\Android\\data\\cache.bin", "x"));
        }
        AppRun run;
        HWND window = nullptr;
        ASSERT_NO_FATAL_FAILURE(StartWithWindow(run, window, L"quillmere-testdisk",
                                                {{L"QUILLMERE_TEST_PHYSICAL_DRIVE", disk}}));
        EXPECT_EQ(lower.Exists(L"\\Android"), !*disk);
        EXPECT_TRUE(data.Exists(L"\\Android\\data\\cache.bin"));
        EXPECT_FALSE(installer.Exists(L"\\Android"));
        EXPECT_EQ(
            log.Text().find("cleanup: installer disk unknown, data partition D:\\ not cleaned") !=
                std::string::npos,
            !*disk)
            << log.Text();
        EXPECT_EQ(CloseFromOutside(run, window), 0);
    }
}

// The test build reads disk numbers per letter; Wine's Windows directory lies on C:.
TEST_F(StartupTest, RefusesADriveOnTheDiskWindowsStartsFromBeforeTouchingIt) {
    ASSERT_NO_FATAL_FAILURE(LayOut(L"quillmere-testdisk"));
    const struct {
        const char* name;
        EnvironmentOverrides environment;
    } rows[] = {
        {"the Windows directory's disk", {{L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"C=1,E=1,F=1"}}},
        {"the system partition's disk",
         {{L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"C=0,E=1,F=1"},
          {L"QUILLMERE_TEST_SYSTEM_PARTITION_DISK", L"1"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(installer.MakeDir(L"\\Android"));
        AppRun run;
        ASSERT_TRUE(run.Start(InstalledProgram(installer, L"quillmere-testdisk"), row.environment));
        MessageBoxInfo box;
        ASSERT_TRUE(WaitForMessageBox(run.processId, StartTimeoutMs, box));
        EXPECT_EQ(box.text, L"Диск E: находится на системном диске Windows.\r\n"
                            L"Загрузчик системного диска Quillmere не меняет.");
        EXPECT_EQ(box.icon, "error");
        EXPECT_EQ(WaitForAppWindow(run.processId, 0), nullptr);
        ASSERT_TRUE(PressOk(box));
        EXPECT_EQ(run.Wait(10000), 1);
        EXPECT_TRUE(installer.Exists(L"\\Android"));
    }
}

// A data marker on another disk is not this drive's data partition, even in an earlier letter.
TEST_F(StartupTest, TakesTheDataPartitionOnTheInstallersOwnDisk) {
    SimDrive other;
    ASSERT_TRUE(other.Map(L'D', L"startup-data-d"));
    ASSERT_NO_FATAL_FAILURE(LayOut(L"quillmere-testdisk"));
    ASSERT_TRUE(LayOutDataMarker(other));
    for (const SimDrive* drive : {&data, &other}) {
        ASSERT_TRUE(drive->Write(L"\\Android\\data\\cache.bin", "x"));
    }
    AppRun run;
    HWND window = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(run, window, L"quillmere-testdisk",
                                            {{L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"D=2,E=1,F=1"}}));
    EXPECT_TRUE(other.Exists(L"\\Android\\data\\cache.bin"));
    EXPECT_FALSE(data.Exists(L"\\Android"));
    EXPECT_EQ(CloseFromOutside(run, window), 0);
}

TEST_F(StartupTest, AcceptsTheInstallerDriveAsTheDataPartition) {
    ASSERT_TRUE(LayOutInstaller(installer));
    ASSERT_TRUE(LayOutDataMarker(installer));
    ASSERT_TRUE(installer.Write(L"\\Android\\data\\cache.bin", "x"));
    ASSERT_TRUE(data.Write(L"\\Android\\data\\cache.bin", "x"));

    AppRun run;
    HWND window = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(run, window));
    EXPECT_FALSE(installer.Exists(L"\\Android"));
    EXPECT_TRUE(data.Exists(L"\\Android\\data\\cache.bin"));
    EXPECT_EQ(CloseFromOutside(run, window), 0);
}

TEST_F(StartupTest, OpensABorderless376By208WindowCentredInTheWorkArea) {
    ASSERT_NO_FATAL_FAILURE(LayOut());
    AppRun run;
    HWND window = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(run, window));

    RECT area{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
    RECT frame{};
    ASSERT_TRUE(GetWindowRect(window, &frame));
    EXPECT_EQ(frame.right - frame.left, 376);
    EXPECT_EQ(frame.bottom - frame.top, 208);
    EXPECT_EQ(frame.left, area.left + (area.right - area.left - 376) / 2);
    EXPECT_EQ(frame.top, area.top + (area.bottom - area.top - 208) / 2);
    RECT client{};
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 376);
    EXPECT_EQ(client.bottom, 208);

    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER));
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Quillmere");
    // Visible comes before activated: the activation arrives through the window's own queue.
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window; }, 5000));

    EXPECT_EQ(CloseFromOutside(run, window), 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(StartupTest, SecondStartBringsTheFirstWindowForwardAndShowsNothing) {
    ASSERT_NO_FATAL_FAILURE(LayOut());
    AppRun first;
    HWND window = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(first, window));

    // A window of the test's own takes the foreground, so bringing the first one back shows.
    HWND other = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    for (bool minimised : {false, true}) {
        SCOPED_TRACE(minimised ? "first window minimised" : "first window behind another");
        if (minimised) {
            ShowWindow(window, SW_MINIMIZE);
            ASSERT_TRUE(IsIconic(window));
        }
        // Asked again until it holds: the program's window may still be handing the activation
        // on after its minimising, and this thread has to take in its own window's activation.
        ASSERT_TRUE(WaitUntil(
            [&] {
                SetForegroundWindow(other);
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                    DispatchMessageW(&message);
                }
                return GetForegroundWindow() == other;
            },
            5000));
        AppRun second;
        ASSERT_TRUE(second.Start(InstalledProgram(installer)));
        // A box would keep the second copy from ending.
        EXPECT_EQ(second.Wait(10000), 0);
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window; }, 5000));
        EXPECT_FALSE(IsIconic(window));
        EXPECT_TRUE(first.Running());
    }
    DestroyWindow(other);
    EXPECT_EQ(CloseFromOutside(first, window), 0);
}

TEST_F(StartupTest, SecondStartWithoutAWindowToShowSaysAlreadyRunning) {
    ASSERT_NO_FATAL_FAILURE(LayOut());
    // Holding the flag here stands for a first copy that has no window yet.
    HANDLE flag = CreateMutexW(nullptr, FALSE, L"Local\\Quillmere_SingleInstance");
    ASSERT_NE(flag, nullptr);
    ASSERT_NO_FATAL_FAILURE(
        ExpectStartupBox(InstalledProgram(installer), L"Quillmere уже запущен.", "information", 0));
    CloseHandle(flag);
}

TEST_F(StartupTest, LoadsNoDllFromTheProgramFolder) {
    ASSERT_NO_FATAL_FAILURE(LayOut());
    const std::wstring boot = installer.Path(L"\\efi\\Telvorn\\Boot");
    const std::wstring planted = boot + L"\\uxtheme.dll";
    const std::wstring marker = planted + L".loaded";
    ASSERT_TRUE(CopyProgram(BuildDir() + L"\\test-helpers\\search_probe_dll.dll", planted));
    ASSERT_TRUE(CopyProgram(HelperPath(L"search_probe_host"), boot + L"\\host.exe"));

    // Wine prefers its own uxtheme unless told, per program, to take a native one first.
    PreferNativeDll preferHost(L"host.exe", L"uxtheme");
    PreferNativeDll preferProgram(L"quillmere.exe", L"uxtheme");
    ASSERT_TRUE(preferHost.set && preferProgram.set);

    {
        // A program with the default search order picks the planted DLL up: the check below
        // can fail.
        AppRun host;
        ASSERT_TRUE(host.Start(boot + L"\\host.exe"));
        EXPECT_EQ(host.Wait(StartTimeoutMs), 0);
        ASSERT_TRUE(PathExists(marker)) << "the planted DLL is not picked up at all";
        ASSERT_TRUE(DeleteFileW(marker.c_str()));
    }

    AppRun run;
    HWND window = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartWithWindow(run, window));
    // Painted: the theme library, if any, has been loaded by now.
    ASSERT_TRUE(WaitForClientPixel(window, 2, 45, 0x1E2A44, 10000));
    EXPECT_EQ(CloseFromOutside(run, window), 0);
    EXPECT_FALSE(PathExists(marker));
}
