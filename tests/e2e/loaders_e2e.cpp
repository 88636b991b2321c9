// The loader buttons clicked in the real test-build program, on a simulated drive L: whose disk
// is a disk image that the stand-in tool and the stand-in PowerShell read and write, or on a
// real FAT drive M: inside its disk image.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/app_runner.h"
#include "tests/support/fat_drive.h"
#include "tests/support/sim_drive.h"
#include "tests/support/window_driver.h"
#include "tests/support/window_looks.h"
#include "ui/system_menu.h"

namespace {

const std::wstring Boot = L"\\efi\\Telvorn\\Boot";
const std::wstring Source = Boot + L"\\loaders\\grub2-bios";
const std::wstring Grub = Boot + L"\\grub2\\bios";
constexpr size_t Sector = 512;

const std::string PowerShellLine =
    "powershell.exe -NoProfile -ExecutionPolicy Bypass -File "
    "\"L:\\efi\\Telvorn\\Boot\\grub2\\bios\\make-telvorn-mbr.ps1\" -Disk 3 "
    "-Boot \"L:\\efi\\Telvorn\\Boot\\grub2\\bios\\boot.img\" "
    "-Out \"L:\\efi\\Telvorn\\Boot\\grub2\\bios\\telvorn-mbr-table.img\"";
const std::string MbrWriteLine =
    "\"L:\\efi\\Telvorn\\Boot\\bootice.exe\" /DEVICE=L: /sectors /restore "
    "/file=\"L:\\efi\\Telvorn\\Boot\\grub2\\bios\\telvorn-mbr-table.img\" /lba=0 /sectors=1 "
    "/quiet";
const std::string DiskRestoreLine =
    "\"L:\\efi\\Telvorn\\Boot\\bootice.exe\" /DEVICE=L: /sectors /restore "
    "/file=\"L:\\efi\\Telvorn\\Boot\\backup\\disk-sectors.bin\" /lba=0 /sectors=2048 /quiet";
const std::string CoreWriteLine =
    "\"L:\\efi\\Telvorn\\Boot\\bootice.exe\" /DEVICE=L: /sectors /restore "
    "/file=\"L:\\efi\\Telvorn\\Boot\\grub2\\bios\\core.img\" /lba=1 /sectors=591 /quiet";

struct LoaderSession {
    SimDrive folder;
    FatDrive* fat = nullptr;
    SimDrive& drive;
    AppRun app; // after the drive: killed before it is unmapped
    HWND window = nullptr;
    std::wstring logPath = BuildDir() + L"\\scratch\\loaders-e2e-runs.log";
    std::wstring eventsPath = BuildDir() + L"\\scratch\\loaders-e2e-events.log";
    std::wstring imagePath = BuildDir() + L"\\scratch\\loaders-e2e-disk.img";

    explicit LoaderSession(FatDrive* onFat = nullptr)
        : fat(onFat), drive(onFat ? onFat->drive : folder) {
        if (fat) {
            imagePath = fat->imagePath;
        }
    }

    bool Prepare(const std::string& disk = ValidDiskImage()) {
        MakeFolders(BuildDir() + L"\\scratch");
        DeleteFileW(logPath.c_str());
        DeleteFileW(eventsPath.c_str());
        const bool fresh = fat ? RemoveTreeForTest(drive.hostFolder, true) && fat->ResetBootCode()
                               : drive.Map(L'L', L"loaders_e2e") && WriteBytes(imagePath, disk);
        return fresh && LayOutInstaller(drive, L"quillmere-testdisk") &&
               LayOutLoaderSources(drive) && LayOutDataMarker(drive) &&
               CopyProgram(HelperPath(L"powershell"), drive.Path(Boot + L"\\powershell.exe")) &&
               drive.Write(L"\\bootmgr", "old bootmgr") && drive.Write(L"\\grldr", "old grldr");
    }

    // The test build's and the stand-ins' disk variables.
    EnvironmentOverrides DiskEnvironment() const {
        EnvironmentOverrides environment = fat ? fat->Variables(3) : DiskVariables(3, imagePath);
        environment.push_back({L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"3"});
        return environment;
    }

    bool Launch(EnvironmentOverrides extra = {}) {
        EnvironmentOverrides environment = DiskEnvironment();
        environment.push_back({L"QUILLMERE_STANDIN_LOG", logPath});
        environment.push_back({L"QUILLMERE_STANDIN_EVENTS", eventsPath});
        environment.insert(environment.end(), extra.begin(), extra.end());
        MovePointerToScreen(2, 790);
        if (!app.Start(InstalledProgram(drive, L"quillmere-testdisk"), environment)) {
            return false;
        }
        window = WaitForAppWindow(app.processId, 20000);
        return window != nullptr;
    }

    // Clicks loader button `index`, answers its box and waits until the action has returned.
    std::wstring Click(int index) {
        const POINT centre = ButtonCentre(index);
        // The program polls with the pointer over the button before the press: its start-up is
        // over and the press is its window's.
        MovePointerToClient(window, centre.x, centre.y);
        EXPECT_TRUE(PolledSince(window));
        ClickClient(window, centre.x, centre.y);
        MessageBoxInfo box;
        if (!WaitForMessageBox(app.processId, 30000, box)) {
            // Where a run that shows no box stopped: before the click, in a tool, or elsewhere.
            POINT at = centre;
            ClientToScreen(window, &at);
            DWORD owner = 0;
            GetWindowThreadProcessId(WindowFromPoint(at), &owner);
            ADD_FAILURE() << "program " << (app.Running() ? "running" : "ended") << ", window "
                          << (IsWindowEnabled(window) ? "enabled" : "disabled")
                          << ", under the click "
                          << (owner == app.processId ? "its own" : "another")
                          << " window; stand-in events:\n"
                          << ReadBytes(eventsPath);
            return L"<no box>";
        }
        EXPECT_EQ(box.caption, L"Quillmere");
        EXPECT_EQ(box.icon, "information");
        MovePointerToClient(window, 5, 60);
        // Only once the box is destroyed has the program's message box call, and with it the
        // action, returned; a click before that would be lost.
        EXPECT_TRUE(PressOk(box));
        // A click counts again once the window is enabled after the message.
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(window) != FALSE; }, 10000));
        return box.text;
    }

    std::vector<std::string> Runs() const { return Lines(ReadBytes(logPath)); }
    // The disk image; on FAT its head and the boot sector, the rest being the file system's.
    std::string Disk() const {
        return fat ? ReadBytesAt(imagePath, 0, 2048 * Sector) + fat->PartitionSectors(0, 1)
                   : ReadBytes(imagePath);
    }
    std::string State() const { return drive.Read(Boot + L"\\bootstate.txt"); }
};

const std::wstring Restored = L"\r\nПрежний загрузчик восстановлен.";

std::wstring ScriptFailure(int code) {
    return L"Не удалось сформировать MBR-образ (код " + std::to_wstring(code) + L")." + Restored;
}

TEST(LoadersE2e, EachButtonInstallsReportsAndMarksItsLoader) {
    LoaderSession session;
    ASSERT_TRUE(session.Prepare());
    ASSERT_TRUE(session.Launch());
    int legacy = -1, uefi = -1;
    for (int index = 0; index < LoaderCount; ++index) {
        EXPECT_EQ(session.Click(index), L"Загрузчик изменён: " + std::wstring(Loaders[index].name));
        (index <= 3 ? legacy : uefi) = index <= 3 ? index : index - 4;
        ButtonColours marks[LoaderCount];
        for (int i = 0; i < LoaderCount; ++i) {
            bool installed = i <= 3 ? i == legacy : i - 4 == uefi;
            marks[i] = installed ? looks::Installed : looks::Plain;
        }
        EXPECT_EQ(WaitForLook(session.window, WindowSamples(looks::Header, looks::Header, marks),
                              TextAreas(marks), 5000),
                  "")
            << "after button " << index;
        EXPECT_EQ(session.State(),
                  "legacy=" + std::to_string(legacy) + "\nuefi=" + std::to_string(uefi) + "\n");
    }
    EXPECT_EQ(session.Runs().size(), 9u); // two per tool loader, three for GRUB2
}

// The system menu's command, as the menu sends it: the question first, then the undo.
TEST(LoadersE2e, TheSystemMenusUndoAsksThenPutsTheLastSwitchBack) {
    LoaderSession session;
    ASSERT_TRUE(session.Prepare());
    const std::string disk = session.Disk();
    ASSERT_TRUE(session.Launch());
    EXPECT_EQ(session.Click(1), L"Загрузчик изменён: Bootmgr");
    ASSERT_NE(session.Disk(), disk);

    ASSERT_TRUE(PostMessageW(session.window, WM_SYSCOMMAND, UndoCommandId, 0));
    MessageBoxInfo question;
    ASSERT_TRUE(WaitForMessageBox(session.app.processId, 20000, question));
    EXPECT_EQ(question.text, L"Вернуть загрузчики, бывшие до последней смены?\r\nLegacy BIOS: не "
                             L"записан\r\nUEFI: не записан");
    EXPECT_EQ(question.icon, "question");
    ASSERT_TRUE(PressOk(question));
    MessageBoxInfo result;
    ASSERT_TRUE(WaitForMessageBox(session.app.processId, 30000, result));
    EXPECT_EQ(result.text, L"Последняя смена загрузчика отменена.");
    EXPECT_EQ(result.icon, "information");
    ASSERT_TRUE(PressOk(result));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(session.window) != FALSE; }, 10000));
    EXPECT_TRUE(session.Disk() == disk) << "the disk differs from before the switch";
    EXPECT_EQ(session.drive.Read(L"\\bootmgr"), "old bootmgr");
    EXPECT_FALSE(session.drive.Exists(Boot + L"\\bootstate.txt"));
}

TEST(LoadersE2e, Grub2PutsBootCodeOverTheTableAndCoreImageBehindIt) {
    LoaderSession session;
    ASSERT_TRUE(session.Prepare());
    // The largest core image the layout has room for, sector n filled with n.
    std::string core(591 * Sector, '\0');
    for (size_t i = 0; i < core.size(); ++i) {
        core[i] = static_cast<char>((i / Sector + 1) & 0xFF);
    }
    ASSERT_TRUE(session.drive.Write(Source + L"\\core.img", core));
    const std::string before = session.Disk();
    const std::string boot = session.drive.Read(Source + L"\\boot.img");
    const std::string config = session.drive.Read(Grub + L"\\grub.cfg");
    ASSERT_TRUE(session.Launch());

    EXPECT_EQ(session.Click(3), L"Загрузчик изменён: Grub2 (Legacy)");

    const std::string after = session.Disk();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, 0x66), boot.substr(0, 0x66));
    EXPECT_EQ(after.substr(0x66, 2), "\x90\x90");
    EXPECT_EQ(after.substr(0x68, 440 - 0x68), boot.substr(0x68, 440 - 0x68));
    EXPECT_EQ(after.substr(440, 72), before.substr(440, 72)); // signature, table, 55 AA
    EXPECT_EQ(after.substr(Sector, core.size()), core);
    EXPECT_EQ(after.substr(592 * Sector), before.substr(592 * Sector));
    EXPECT_EQ(session.drive.Read(Grub + L"\\telvorn-mbr-table.img"), after.substr(0, Sector));
    EXPECT_EQ(session.Runs(),
              (std::vector<std::string>{PowerShellLine, CoreWriteLine, MbrWriteLine}));
    EXPECT_EQ(session.drive.Read(Grub + L"\\grub.cfg"), config);
    EXPECT_EQ(session.drive.Read(Grub + L"\\i386-pc\\normal.mod"),
              session.drive.Read(Source + L"\\i386-pc\\normal.mod"));
    EXPECT_EQ(session.drive.Read(Grub + L"\\core.img"), core);
    EXPECT_FALSE(session.drive.Exists(L"\\bootmgr"));
    EXPECT_FALSE(session.drive.Exists(L"\\grldr"));
    EXPECT_EQ(session.State(), "legacy=3\nuefi=-1\n");
}

TEST(LoadersE2e, Grub2ScriptRefusalsStopBeforeAnySectorIsWritten) {
    LoaderSession session;
    ASSERT_TRUE(session.Prepare());
    ASSERT_TRUE(session.drive.Write(Boot + L"\\bootstate.txt", "legacy=1\nuefi=2\n"));
    ASSERT_TRUE(session.Launch());
    const std::string goodBoot = session.drive.Read(Source + L"\\boot.img");
    std::string wrongBoot = goodBoot;
    wrongBoot[0x64] = '\x80';
    struct Case {
        const char* name;
        std::string disk;
        std::string boot;
        int code;
    } cases[] = {
        {"partition below sector 592", DiskImage({{0, 0x80, 0x0C, 591}}), goodBoot, 9},
        {"low partition in a later slot", DiskImage({{0, 0x80, 0x0C, 2048}, {2, 0x00, 0x05, 63}}),
         goodBoot, 9},
        {"no partition table", DiskImage({}), goodBoot, 9},
        {"GPT protective entry", DiskImage({{0, 0x00, 0xEE, 1}}), goodBoot, 8},
        {"GPT header", DiskImage({{0, 0x80, 0x0C, 2048}}, true), goodBoot, 8},
        {"no boot signature", DiskImage({{0, 0x80, 0x0C, 2048}}).replace(510, 2, "\0\0", 2),
         goodBoot, 7},
        {"wrong boot image", ValidDiskImage(), wrongBoot, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(session.imagePath, c.disk));
        ASSERT_TRUE(session.drive.Write(Source + L"\\boot.img", c.boot));
        DeleteFileW(session.logPath.c_str());
        // An earlier run's image must not survive a refusal, where it could reach sector 0.
        ASSERT_TRUE(session.drive.Write(Grub + L"\\telvorn-mbr-table.img",
                                        ValidDiskImage().substr(0, Sector)));

        EXPECT_EQ(session.Click(3), ScriptFailure(c.code));

        EXPECT_EQ(session.Disk(), c.disk);
        EXPECT_EQ(session.Runs(), std::vector<std::string>{PowerShellLine});
        // The switch is undone: the earlier image is back, and nothing it copied stays.
        EXPECT_EQ(session.drive.Read(Grub + L"\\telvorn-mbr-table.img"),
                  ValidDiskImage().substr(0, Sector));
        EXPECT_FALSE(session.drive.Exists(Grub + L"\\boot.img"));
        EXPECT_FALSE(session.drive.Exists(Grub + L"\\i386-pc"));
        EXPECT_EQ(session.drive.Read(L"\\bootmgr"), "old bootmgr");
        EXPECT_EQ(session.State(), "legacy=1\nuefi=2\n");
    }
}

TEST(LoadersE2e, Grub2StopsAtTheFirstFailingChildWithItsCode) {
    const std::wstring imageName = Grub + L"\\telvorn-mbr-table.img";
    enum Setup {
        Plain,
        StaleImage, // an earlier run's image lies in the GRUB2 directory
        NoPowerShell,
        BrokenTool,
    };
    struct Case {
        const char* name;
        EnvironmentOverrides environment;
        Setup setup;
        std::wstring message;
        std::vector<std::string> runs;
    } cases[] = {
        {"script exits with 1",
         {{L"QUILLMERE_STANDIN_PS_EXIT", L"1"}},
         StaleImage,
         ScriptFailure(1),
         {PowerShellLine}},
        {"script exits with 0 without writing its image",
         {{L"QUILLMERE_STANDIN_PS_EXIT", L"0"}},
         StaleImage,
         L"MBR-образ не создан или повреждён:\r\nL:" + imageName + Restored,
         {PowerShellLine}},
        {"script refuses the disk as the system disk",
         {{L"QUILLMERE_STANDIN_SYSTEM_DISK", L"3"}},
         Plain,
         ScriptFailure(5),
         {PowerShellLine}},
        {"script finds its drive on another disk",
         {{L"QUILLMERE_STANDIN_DRIVE_DISK", L"4"}},
         Plain,
         ScriptFailure(5),
         {PowerShellLine}},
        {"no PowerShell to start",
         {{L"PATH", L"C:\\windows\\system32;C:\\windows"}},
         NoPowerShell,
         ScriptFailure(-1),
         {}},
        {"core image write fails",
         {{L"QUILLMERE_STANDIN_EXIT_LBA1", L"6"}},
         Plain,
         L"Ошибка записи core.img (код 6)." + Restored,
         {PowerShellLine, CoreWriteLine}},
        {"tool cannot be started",
         {},
         BrokenTool,
         L"Ошибка записи core.img (код -1)." + Restored,
         {PowerShellLine}},
        // The core image is already behind sector 0: the tool puts the saved sectors back.
        {"MBR write fails",
         {{L"QUILLMERE_STANDIN_FAIL_RUN", L"3=4"}},
         Plain,
         L"Ошибка записи MBR (код 4)." + Restored,
         {PowerShellLine, CoreWriteLine, MbrWriteLine, DiskRestoreLine}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoaderSession session;
        ASSERT_TRUE(session.Prepare());
        ASSERT_TRUE(session.drive.Write(Boot + L"\\bootstate.txt", "legacy=0\nuefi=1\n"));
        if (c.setup == NoPowerShell) {
            ASSERT_TRUE(DeleteFileW(session.drive.Path(Boot + L"\\powershell.exe").c_str()));
        }
        if (c.setup == BrokenTool) {
            ASSERT_TRUE(session.drive.Write(Boot + L"\\bootice.exe", "MZ"));
        }
        if (c.setup == StaleImage) {
            ASSERT_TRUE(session.drive.Write(imageName, ValidDiskImage().substr(0, Sector)));
        }
        const std::string before = session.Disk();
        const auto files = DriveFiles(session.drive);
        ASSERT_TRUE(session.Launch(c.environment));

        EXPECT_EQ(session.Click(3), c.message);

        EXPECT_EQ(session.Runs(), c.runs);
        EXPECT_EQ(session.Disk(), before);
        EXPECT_TRUE(DriveFiles(session.drive) == files);
    }
}

// An older core.img that cannot be replaced must not reach the disk as if it were the new one.
TEST(LoadersE2e, Grub2StopsWhenItsImagesCannotBeCopied) {
    for (const wchar_t* file : {L"\\boot.img", L"\\core.img", L"\\make-telvorn-mbr.ps1"}) {
        LoaderSession session;
        ASSERT_TRUE(session.Prepare());
        ASSERT_TRUE(session.drive.Write(Boot + L"\\bootstate.txt", "legacy=0\nuefi=1\n"));
        ASSERT_TRUE(session.drive.Write(Grub + file, "older copy"));
        const std::wstring stale = session.drive.Path(Grub + file);
        ASSERT_TRUE(SetFileAttributesW(stale.c_str(), FILE_ATTRIBUTE_READONLY));
        const std::string before = session.Disk();
        ASSERT_TRUE(session.Launch());

        EXPECT_EQ(session.Click(3), L"Не удалось скопировать файл загрузчика:\r\n" + stale);

        EXPECT_TRUE(session.Runs().empty());
        EXPECT_EQ(session.Disk(), before);
        EXPECT_EQ(session.drive.Read(Grub + file), "older copy");
        EXPECT_EQ(session.State(), "legacy=0\nuefi=1\n");
        SetFileAttributesW(stale.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(LoadersE2e, Grub2GoesOnWhenTheModuleCopyFails) {
    struct Case {
        const char* name;
        EnvironmentOverrides environment;
        bool removeModules;
    } cases[] = {
        {"interpreter cannot be started", {{L"ComSpec", L"C:\\nowhere\\cmd.exe"}}, false},
        {"module folder missing", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoaderSession session;
        ASSERT_TRUE(session.Prepare());
        if (c.removeModules) {
            ASSERT_TRUE(RemoveTreeForTest(session.drive.Path(Source + L"\\i386-pc")));
        }
        ASSERT_TRUE(session.Launch(c.environment));
        EXPECT_EQ(session.Click(3), L"Загрузчик изменён: Grub2 (Legacy)");
        EXPECT_FALSE(session.drive.Exists(Grub + L"\\i386-pc\\normal.mod"));
        EXPECT_EQ(session.State(), "legacy=3\nuefi=-1\n");
    }
}

TEST(LoadersE2e, Grub2RunsItsFourChildrenInOrderOnDiskZero) {
    LoaderSession session;
    ASSERT_TRUE(session.Prepare());
    // The stand-in tool, posing as the command interpreter, logs the module copy too.
    std::wstring interpreter = BuildDir() + L"\\scratch\\interpreter\\cmd.exe";
    ASSERT_TRUE(CopyProgram(HelperPath(L"bootice"), interpreter));
    // A read-only root file of another loader stays, without a word.
    ASSERT_TRUE(
        SetFileAttributesW(session.drive.Path(L"\\grldr").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(session.Launch({{L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"0"},
                                {L"QUILLMERE_TEST_DISK_0", session.imagePath},
                                {L"ComSpec", interpreter}}));

    EXPECT_EQ(session.Click(3), L"Загрузчик изменён: Grub2 (Legacy)");

    std::string diskZero = PowerShellLine;
    diskZero.replace(diskZero.find(" -Disk 3 "), 9, " -Disk 0 ");
    std::string interpreterUtf8(interpreter.begin(), interpreter.end());
    EXPECT_EQ(session.Runs(), (std::vector<std::string>{
                                  "\"" + interpreterUtf8 +
                                      "\" /c xcopy /E /I /Y /Q "
                                      "\"L:\\efi\\Telvorn\\Boot\\loaders\\grub2-bios\\i386-pc\" "
                                      "\"L:\\efi\\Telvorn\\Boot\\grub2\\bios\\i386-pc\" > nul 2>&1",
                                  diskZero, CoreWriteLine, MbrWriteLine}));
    EXPECT_EQ(session.State(), "legacy=3\nuefi=-1\n");
    EXPECT_EQ(session.drive.Read(L"\\grldr"), "old grldr");
    EXPECT_FALSE(session.drive.Exists(L"\\bootmgr"));
    EXPECT_TRUE(NothingHappenedBy([&] { return PolledIdleSince(session.window); },
                                  [&] { return MessageBoxShown(session.app.processId); }));
}

// A real FAT32 drive for the program, mounted for each test and found clean by fsck.fat -n after.
class LoadersOnFatE2e : public ::testing::Test {
  protected:
    static FatDrive fat;
    static std::string missing;

    static void SetUpTestSuite() {
        missing = FatDrive::Missing();
        if (missing.empty()) {
            ASSERT_TRUE(fat.Make(L'M', L"loaders_e2e_fat", 32));
        }
    }
    static void TearDownTestSuite() { fat.Remove(); }
    void SetUp() override {
        if (!missing.empty()) {
            GTEST_SKIP() << missing;
        }
        ASSERT_TRUE(fat.Mount());
    }
    void TearDown() override {
        if (missing.empty()) {
            std::string report;
            EXPECT_TRUE(fat.UnmountAndCheck(report)) << report;
        }
    }
};

FatDrive LoadersOnFatE2e::fat;
std::string LoadersOnFatE2e::missing;

// A forced shutdown or a pulled plug ends the program anywhere inside a switch; the next start
// puts the drive back as it was before the switch and says so.
TEST_F(LoadersOnFatE2e, ASwitchStoppedAnywhereIsUndoneAtTheNextStart) {
    struct Case {
        const char* name;
        int index;
        int run;             // the program ends while this stand-in run sleeps after its writes
        const wchar_t* stop; // or the test build ends itself at this point
    } cases[] = {
        {"Bootmgr PBR run", 1, 1, nullptr},
        {"Bootmgr MBR run", 1, 2, nullptr},
        {"GRUB2 script", 3, 1, nullptr},
        {"GRUB2 core write", 3, 2, nullptr},
        {"GRUB2 MBR write", 3, 3, nullptr},
        {"UEFI GRUB2 after its first replace", 5, 0, L"replace"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoaderSession session(&fat);
        ASSERT_TRUE(session.Prepare());
        ASSERT_TRUE(session.drive.Write(Boot + L"\\bootstate.txt", "legacy=0\nuefi=1\n"));
        ASSERT_TRUE(session.drive.Write(L"\\efi\\boot\\bootx64.efi", "old bootx64"));
        const std::string disk = session.Disk();
        const auto files = DriveFiles(session.drive);
        ASSERT_TRUE(session.Launch(
            c.stop ? EnvironmentOverrides{{L"QUILLMERE_TEST_STOP_AT", c.stop}}
                   : EnvironmentOverrides{{L"QUILLMERE_STANDIN_SLEEP_MS", L"3000"}}));
        ClickClient(session.window, ButtonCentre(c.index).x, ButtonCentre(c.index).y);
        if (c.stop) {
            EXPECT_EQ(session.app.Wait(30000), 99);
        } else {
            EXPECT_TRUE(WaitUntil(
                [&] {
                    const std::vector<std::string> events = Lines(ReadBytes(session.eventsPath));
                    return std::count_if(events.begin(), events.end(), [](const std::string& e) {
                               return e.rfind("wrote ", 0) == 0;
                           }) >= c.run;
                },
                30000))
                << ReadBytes(session.eventsPath);
            session.app.Kill();
        }
        // The stop came after the switch had changed the drive; a UEFI switch replaces the
        // companions first, so the entry file is still the old one.
        ASSERT_FALSE(session.Disk() == disk && DriveFiles(session.drive) == files);
        if (c.stop) {
            EXPECT_EQ(session.drive.Read(L"\\efi\\boot\\bootx64.efi"), "old bootx64");
        }

        AppRun again;
        ASSERT_TRUE(again.Start(InstalledProgram(session.drive, L"quillmere-testdisk"),
                                session.DiskEnvironment()));
        MessageBoxInfo box;
        ASSERT_TRUE(WaitForMessageBox(again.processId, 30000, box));
        EXPECT_EQ(box.text, L"Прошлая смена загрузчика была прервана." + Restored);
        EXPECT_EQ(box.icon, "information");
        EXPECT_TRUE(PressOk(box));
        EXPECT_NE(WaitForAppWindow(again.processId, 20000), nullptr);
        EXPECT_EQ(session.Disk(), disk);
        EXPECT_TRUE(DriveFiles(session.drive) == files);
    }
}

} // namespace
