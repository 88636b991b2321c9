// The loader switches run in this process against a simulated drive K: whose disk is a disk
// image: the stand-in boot-sector tool writes into it and the switch reads it back.
#include "loaders/loader_plans.h"
#include "loaders/undo_plan.h"
#include "loaders/user_texts.h"
#include "sys/handles.h"
#include "tests/helpers/standin_common.h"
#include "tests/support/debug_log_capture.h"
#include "tests/support/fat_drive.h"
#include "sys/process.h"
#include "tests/support/sim_drive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

namespace {

const wchar_t* const Boot = L"\\efi\\Telvorn\\Boot";
const wchar_t* const StandInVariables[] = {
    L"QUILLMERE_STANDIN_LOG",        L"QUILLMERE_STANDIN_EVENTS",
    L"QUILLMERE_STANDIN_WATCH",      L"QUILLMERE_STANDIN_SLEEP_MS",
    L"QUILLMERE_STANDIN_DISK_IMAGE", L"QUILLMERE_STANDIN_FAIL_RUN",
    L"QUILLMERE_STANDIN_SPOIL",      L"QUILLMERE_STANDIN_PS_EXIT",
    L"QUILLMERE_STANDIN_SKIP_RUN",   L"QUILLMERE_TEST_PHYSICAL_DRIVE",
    L"QUILLMERE_TEST_FLUSH_FAIL",    L"QUILLMERE_STANDIN_PARTITION_DEVICE",
};
const std::wstring Restored = L"\r\nПрежний загрузчик восстановлен.";
const std::wstring FlushFailed =
    L"Не удалось записать изменения на диск (сброс кэша тома не выполнен).";

std::string Ascii(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// On a folder drive whose disk is a separate image, or on a real FAT drive (SwitchesOnFat).
class Switches : public ::testing::Test {
  protected:
    static SimDrive folderDrive;
    SimDrive& drive;
    FatDrive* fat = nullptr;
    SwitchTarget target;
    std::wstring imagePath = BuildDir() + L"\\scratch\\switch-disk.img";

    Switches() : drive(folderDrive) {}
    explicit Switches(FatDrive& onFat)
        : drive(onFat.drive), fat(&onFat), imagePath(onFat.imagePath) {}
    std::wstring logPath = BuildDir() + L"\\scratch\\loaders-unit-tool.log";
    std::wstring eventsPath = BuildDir() + L"\\scratch\\loaders-unit-events.log";

    static void SetUpTestSuite() { ASSERT_TRUE(folderDrive.Map(L'K', L"loaders-unit")); }
    static void TearDownTestSuite() { folderDrive.Unmap(); }

    // A fresh drive, disk image and target for one case; the tests with tables call it per row.
    // The drive stays mapped: emptying it from this side is much quicker than mapping it again.
    void Fresh() {
        ASSERT_TRUE(drive.letter != 0);
        ASSERT_TRUE(RemoveTreeForTest(drive.hostFolder, true));
        ASSERT_TRUE(drive.Write(std::wstring(Boot) + L"\\NOT.DEL", ""));
        ASSERT_TRUE(
            CopyProgram(HelperPath(L"bootice"), drive.Path(std::wstring(Boot) + L"\\bootice.exe")));
        ASSERT_TRUE(LayOutLoaderSources(drive));
        MakeFolders(BuildDir() + L"\\scratch");
        if (fat) {
            ASSERT_TRUE(fat->ResetBootCode());
        } else {
            ASSERT_TRUE(WriteBytes(imagePath, ValidDiskImage()));
        }
        DeleteFileW(logPath.c_str());
        DeleteFileW(eventsPath.c_str());
        ClearStandInVariables();
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_LOG", logPath.c_str());
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_EVENTS", eventsPath.c_str());
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_DISK_IMAGE", imagePath.c_str());
        if (fat) {
            SetEnvironmentVariableW(L"QUILLMERE_STANDIN_PARTITION_DEVICE", fat->LoopPath().c_str());
        }
        // The PowerShell stand-in answers for "powershell.exe" and for the script's own disk.
        SetEnvironmentVariableW(L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"3");
        target = SimulatedTarget(drive, imagePath);
    }

    void SetUp() override {
        static const std::wstring path = [] {
            wchar_t old[8192] = {};
            GetEnvironmentVariableW(L"PATH", old, 8192);
            return BuildDir() + L"\\test-helpers;" + old;
        }();
        SetEnvironmentVariableW(L"PATH", path.c_str());
    }
    void TearDown() override { ClearStandInVariables(); }

    static void ClearStandInVariables() {
        for (const wchar_t* name : StandInVariables) {
            SetEnvironmentVariableW(name, nullptr);
        }
    }

    SwitchOutcome Run(Loader loader) { return InstallLoader(loader, target); }
    // `text`, written for K:, with this drive's letter.
    std::wstring OnDrive(std::wstring text) const {
        for (size_t at = text.find(L"K:"); at != std::wstring::npos; at = text.find(L"K:", at)) {
            text.replace(at, 2, drive.Root());
        }
        return text;
    }

    std::vector<std::string> ToolLog() const { return Lines(ReadBytes(logPath)); }
    std::vector<std::string> Events() const { return Lines(ReadBytes(eventsPath)); }
    std::string State() const { return drive.Read(std::wstring(Boot) + L"\\bootstate.txt"); }
    void SetState(const std::string& text) const {
        ASSERT_TRUE(drive.Write(std::wstring(Boot) + L"\\bootstate.txt", text));
    }
    std::string Source(const std::wstring& relative) const {
        return drive.Read(std::wstring(Boot) + relative);
    }
    void MakeReadOnly(const std::wstring& relative) const {
        ASSERT_TRUE(SetFileAttributesW(drive.Path(relative).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    bool JournalPending() const {
        return drive.Exists(std::wstring(Boot) + L"\\backup\\journal.txt");
    }
    // The disk image and every file and folder on the drive but the backup. On FAT only the
    // disk's head and the boot sectors: the rest of the image is the file system's.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files = DriveFiles(drive);
        if (!fat) {
            files["<disk>"] = ReadBytes(imagePath);
            return files;
        }
        files["<disk>"] = ReadBytesAt(imagePath, 0, 2048 * 512);
        files["<boot sector>"] = fat->PartitionSectors(0, 1);
        if (fat->fatBits == 32) {
            files["<backup boot sector>"] = fat->PartitionSectors(6, 1);
        }
        return files;
    }
    // A drive with an earlier loader's root files, \efi\boot files and state file.
    void FreshWithOldLoaders(const std::string& state) {
        ASSERT_NO_FATAL_FAILURE(Fresh());
        ASSERT_TRUE(drive.Write(L"\\bootmgr", "old bootmgr"));
        ASSERT_TRUE(drive.Write(L"\\grldr", "old grldr"));
        for (const wchar_t* name :
             {L"\\bootx64.efi", L"\\bootia32.efi", L"\\fbx64.efi", L"\\mmx64.efi"}) {
            ASSERT_TRUE(drive.Write(std::wstring(L"\\efi\\boot") + name, "old" + Ascii(name)));
        }
        ASSERT_TRUE(drive.Write(L"\\efi\\boot\\keep.txt", "not a loader"));
        ASSERT_NO_FATAL_FAILURE(SetState(state));
    }
};

SimDrive Switches::folderDrive;

// One FAT32 and one FAT16 volume for the program, each mounted for a test and found clean by
// fsck.fat -n after it.
class SwitchesOnFat : public Switches, public ::testing::WithParamInterface<int> {
  protected:
    static FatDrive fat32, fat16;
    static std::string missing;

    SwitchesOnFat() : Switches(GetParam() == 32 ? fat32 : fat16) {}

    static void SetUpTestSuite() {
        missing = FatDrive::Missing();
        if (missing.empty()) {
            ASSERT_TRUE(fat32.Make(L'Q', L"loaders-fat32", 32));
            ASSERT_TRUE(fat16.Make(L'R', L"loaders-fat16", 16));
        }
    }
    static void TearDownTestSuite() {
        fat32.Remove();
        fat16.Remove();
    }
    void SetUp() override {
        if (!missing.empty()) {
            GTEST_SKIP() << missing;
        }
        ASSERT_TRUE(fat->Mount());
        Switches::SetUp();
    }
    void TearDown() override {
        Switches::TearDown();
        if (missing.empty()) {
            std::string report;
            EXPECT_TRUE(fat->UnmountAndCheck(report)) << report;
        }
    }
};

FatDrive SwitchesOnFat::fat32;
FatDrive SwitchesOnFat::fat16;
std::string SwitchesOnFat::missing;

INSTANTIATE_TEST_SUITE_P(Fat, SwitchesOnFat, ::testing::Values(32, 16),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Fat" + std::to_string(info.param);
                         });

struct LegacyCase {
    Loader loader;
    const char* mbr;
    const char* pbr;
    const wchar_t* copiedRootFile; // null for XorBoot
    const wchar_t* source;
};

const LegacyCase LegacyCases[] = {
    {Loader::XorBoot,
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /mbr /restore "
     "/file=K:\\efi\\Telvorn\\Boot\\xor\\xmbr.bin /keep_dpt /quiet",
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /pbr /restore "
     "/file=K:\\efi\\Telvorn\\Boot\\xor\\xpbr.bin /keep_bpb /quiet",
     nullptr, nullptr},
    {Loader::Bootmgr,
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /mbr /install /type=nt60 /quiet",
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /pbr /install /type=bootmgr /quiet",
     L"\\bootmgr", L"\\mgr\\bootmgr"},
    {Loader::Grub4Dos,
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /mbr /install /type=GRUB4DOS /quiet",
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /pbr /install /type=GRUB4DOS /quiet",
     L"\\grldr", L"\\g4d\\grldr"},
};

TEST_F(Switches, LegacyRunsThePbrThenTheMbrThenRecords) {
    for (const LegacyCase& c : LegacyCases) {
        const LoaderFacts& facts = FactsOf(c.loader);
        SCOPED_TRACE(testing::Message() << Ascii(facts.name));
        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=3\nuefi=2\n"));
        // A slow tool: a run started before the previous one ended would show in the events.
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_SLEEP_MS", L"300");
        std::wstring statePath = target.bootDir + L"\\bootstate.txt";
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_WATCH", statePath.c_str());
        const std::string before = ReadBytes(imagePath);

        SwitchOutcome outcome = Run(c.loader);

        EXPECT_TRUE(outcome.switched);
        EXPECT_EQ(outcome.text, L"Загрузчик изменён: " + std::wstring(facts.name));
        EXPECT_EQ(ToolLog(), (std::vector<std::string>{c.pbr, c.mbr}));
        EXPECT_EQ(Events(), (std::vector<std::string>{
                                "begin pbr watch=legacy=3\\nuefi=2\\n", "wrote pbr", "end pbr 0",
                                "begin mbr watch=legacy=3\\nuefi=2\\n", "wrote mbr", "end mbr 0"}));
        EXPECT_EQ(State(), "legacy=" + std::to_string(facts.stateValue) + "\nuefi=2\n");
        // The tool's own boot code went in; the table and the BPB it had to keep are there.
        const std::string after = ReadBytes(imagePath);
        EXPECT_NE(after.substr(0, 440), before.substr(0, 440));
        EXPECT_EQ(after.substr(440, 72), before.substr(440, 72));
        EXPECT_EQ(after.substr(2048 * 512 + 3, 87), before.substr(2048 * 512 + 3, 87));
        for (const wchar_t* root : {L"\\bootmgr", L"\\grldr"}) {
            bool copied = c.copiedRootFile && std::wstring(root) == c.copiedRootFile;
            EXPECT_EQ(drive.Read(root), copied ? Source(c.source) : "") << Ascii(root);
            EXPECT_FALSE(drive.Exists(std::wstring(root) + L".quillmere-new"));
        }
        EXPECT_FALSE(JournalPending());
    }
}

// GRUB2 never writes the partition's boot sector: the code an earlier Bootmgr left there may
// stay when Bootmgr comes back, and the switch must not take that for a refused write.
TEST_F(Switches, TheLoaderWhosePartitionCodeGrub2LeftInPlaceComesBack) {
    ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=0\nuefi=0\n"));
    ASSERT_TRUE(Run(Loader::Bootmgr).switched);
    ASSERT_TRUE(Run(Loader::Grub2).switched);
    EXPECT_EQ(Run(Loader::Bootmgr).text, L"Загрузчик изменён: Bootmgr");
    EXPECT_EQ(State(), "legacy=1\nuefi=0\n");
}

TEST_F(Switches, FirstLegacyInstallWritesTheSeventeenByteState) {
    ASSERT_NO_FATAL_FAILURE(Fresh());
    EXPECT_EQ(Run(Loader::Grub4Dos).text, L"Загрузчик изменён: Grub4Dos");
    EXPECT_EQ(State(), std::string("legacy=2\nuefi=-1\n", 17));
    // Neither root file was there before: the missing deletions pass unnoticed.
    EXPECT_EQ(drive.Read(L"\\grldr"), Source(L"\\g4d\\grldr"));
}

TEST_F(Switches, ChecksThatFailStopBeforeAnythingChanges) {
    const std::wstring backup = L"K:" + std::wstring(Boot) + L"\\backup";
    struct Case {
        const char* name;
        Loader loader;
        const wchar_t* missingSource; // relative to the boot directory
        const wchar_t* readOnly;      // relative to the drive
        unsigned long sectorBytes;
        long long partitionStart;
        const wchar_t* diskPath;
        std::wstring message;
    } cases[] = {
        {"XorBoot source", Loader::XorBoot, L"\\xor\\xpbr.bin", nullptr, 512, 2048, nullptr,
         L"Файлы загрузчика не найдены:\r\nK:" + std::wstring(Boot) + L"\\xor\\xpbr.bin"},
        {"UEFI source", Loader::UefiGrub2, L"\\loaders\\grub2\\mmx64.efi", nullptr, 512, 2048,
         nullptr,
         L"Файлы загрузчика не найдены:\r\nK:" + std::wstring(Boot) +
             L"\\loaders\\grub2\\mmx64.efi"},
        {"read-only root file", Loader::Bootmgr, nullptr, L"\\bootmgr", 512, 2048, nullptr,
         L"Не удалось скопировать файл загрузчика:\r\nK:\\bootmgr"},
        {"read-only entry file", Loader::UefiXorboot, nullptr, L"\\efi\\boot\\bootia32.efi", 512,
         2048, nullptr, L"Не удалось скопировать файл загрузчика:\r\nK:\\efi\\boot\\bootia32.efi"},
        {"4096-byte sectors", Loader::Grub4Dos, nullptr, nullptr, 4096, 2048, nullptr,
         L"Диск с секторами не по 512 байт не поддерживается."},
        {"partition start unknown", Loader::Bootmgr, nullptr, nullptr, 512, -1, nullptr,
         L"Не удалось сохранить резервную копию загрузчика:\r\n" + backup +
             L"\\partition-sectors.bin"},
        {"a volume from sector 0 on, without a table", Loader::Grub4Dos, nullptr, nullptr, 512, 0,
         nullptr, L"Не удалось сохранить резервную копию загрузчика:\r\n" + imagePath},
        {"disk unreadable", Loader::Grub2, nullptr, nullptr, 512, 2048, L"K:\\no-such-disk.img",
         L"Не удалось сохранить резервную копию загрузчика:\r\nK:\\no-such-disk.img"},
        // A GPT disk's protective entry leaves no room to save what a GRUB4DOS MBR overwrites.
        {"GPT disk", Loader::Grub4Dos, nullptr, nullptr, 512, 2048, nullptr,
         L"Не удалось сохранить резервную копию загрузчика:\r\n" + imagePath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=1\nuefi=1\n"));
        if (c.missingSource) {
            ASSERT_TRUE(DeleteFileW((target.bootDir + c.missingSource).c_str()));
        }
        if (c.readOnly) {
            ASSERT_NO_FATAL_FAILURE(MakeReadOnly(c.readOnly));
        }
        target.sectorBytes = c.sectorBytes;
        target.partitionStart = c.partitionStart;
        if (c.diskPath) {
            target.diskPath = c.diskPath;
        }
        if (std::string(c.name) == "GPT disk") {
            ASSERT_TRUE(WriteBytes(imagePath, DiskImage({{0, 0x00, 0xEE, 1}})));
        }
        const auto before = Snapshot();

        SwitchOutcome outcome = Run(c.loader);

        EXPECT_FALSE(outcome.switched);
        EXPECT_EQ(outcome.text, c.message);
        EXPECT_TRUE(ToolLog().empty());
        EXPECT_TRUE(Snapshot() == before);
        EXPECT_FALSE(JournalPending());
    }
}

// Whatever step fails once something has changed, the disk's first sectors, the partition's,
// the root files, \efi\boot, the GRUB2 folder and bootstate.txt are put back byte for byte.
TEST_P(SwitchesOnFat, AFailedStepPutsTheDriveBackByteForByte) {
    struct Case {
        const char* name;
        Loader loader;
        const wchar_t* variable; // null: `blocked` is made a folder instead
        const wchar_t* value;
        const wchar_t* blocked; // a folder in the place of one of the switch's temporaries
        std::wstring message;
    } cases[] = {
        {"XorBoot PBR run", Loader::XorBoot, L"QUILLMERE_STANDIN_FAIL_RUN", L"1=7", nullptr,
         L"Ошибка записи PBR (код 7)."},
        {"XorBoot MBR run", Loader::XorBoot, L"QUILLMERE_STANDIN_FAIL_RUN", L"2=5", nullptr,
         L"Ошибка записи MBR (код 5)."},
        {"Bootmgr root copy", Loader::Bootmgr, nullptr, nullptr, L"\\bootmgr.quillmere-new",
         L"Не удалось скопировать файл загрузчика:\r\nK:\\bootmgr"},
        {"Bootmgr PBR run", Loader::Bootmgr, L"QUILLMERE_STANDIN_FAIL_RUN", L"1=2", nullptr,
         L"Ошибка записи PBR (код 2)."},
        // As after a write Windows refused into the mounted volume: the old code would go on
        // loading the root file the switch removes.
        {"Bootmgr PBR run that exits 0 writing nothing", Loader::Bootmgr,
         L"QUILLMERE_STANDIN_SKIP_RUN", L"1", nullptr,
         L"Записанные секторы не совпадают с ожидаемыми (сектор 2048)."},
        {"Bootmgr MBR run", Loader::Bootmgr, L"QUILLMERE_STANDIN_FAIL_RUN", L"2=3", nullptr,
         L"Ошибка записи MBR (код 3)."},
        {"Grub4Dos MBR run", Loader::Grub4Dos, L"QUILLMERE_STANDIN_FAIL_RUN", L"2=1", nullptr,
         L"Ошибка записи MBR (код 1)."},
        {"Grub4Dos table read back", Loader::Grub4Dos, L"QUILLMERE_STANDIN_SPOIL", L"2", nullptr,
         L"Записанные секторы не совпадают с ожидаемыми (сектор 0)."},
        {"Grub4Dos BPB read back", Loader::Grub4Dos, L"QUILLMERE_STANDIN_SPOIL", L"1", nullptr,
         L"Записанные секторы не совпадают с ожидаемыми (сектор 2048)."},
        {"Bootmgr PBR read back, the restore's first PBR run going wrong too", Loader::Bootmgr,
         L"QUILLMERE_STANDIN_SPOIL", L"1,4", nullptr,
         L"Записанные секторы не совпадают с ожидаемыми (сектор 2048)."},
        {"GRUB2 image copy", Loader::Grub2, nullptr, nullptr,
         L"\\efi\\Telvorn\\Boot\\grub2\\bios\\core.img.quillmere-new",
         L"Не удалось скопировать файл "
         L"загрузчика:\r\nK:\\efi\\Telvorn\\Boot\\grub2\\bios\\core.img"},
        {"GRUB2 script", Loader::Grub2, L"QUILLMERE_STANDIN_FAIL_RUN", L"1=1", nullptr,
         L"Не удалось сформировать MBR-образ (код 1)."},
        {"GRUB2 core write", Loader::Grub2, L"QUILLMERE_STANDIN_FAIL_RUN", L"2=6", nullptr,
         L"Ошибка записи core.img (код 6)."},
        {"GRUB2 MBR write after the core", Loader::Grub2, L"QUILLMERE_STANDIN_FAIL_RUN", L"3=4",
         nullptr, L"Ошибка записи MBR (код 4)."},
        {"GRUB2 core read back", Loader::Grub2, L"QUILLMERE_STANDIN_SPOIL", L"2", nullptr,
         L"Записанные секторы не совпадают с ожидаемыми (сектор 1)."},
        {"GRUB2 MBR write that writes nothing", Loader::Grub2, L"QUILLMERE_STANDIN_SKIP_RUN", L"3",
         nullptr, L"Записанные секторы не совпадают с ожидаемыми (сектор 0)."},
        {"UEFI Bootmgr second replace", Loader::UefiBootmgr, nullptr, nullptr,
         L"\\efi\\boot\\bootia32.efi.quillmere-new",
         L"Не удалось скопировать файл загрузчика:\r\nK:\\efi\\boot\\bootia32.efi"},
        {"UEFI GRUB2 entry file after its companions", Loader::UefiGrub2, nullptr, nullptr,
         L"\\efi\\boot\\bootx64.efi.quillmere-new",
         L"Не удалось скопировать файл загрузчика:\r\nK:\\efi\\boot\\bootx64.efi"},
        {"UEFI Xorboot first replace", Loader::UefiXorboot, nullptr, nullptr,
         L"\\efi\\boot\\bootx64.efi.quillmere-new",
         L"Не удалось скопировать файл загрузчика:\r\nK:\\efi\\boot\\bootx64.efi"},
        {"volume flush after the journal", Loader::Grub4Dos, L"QUILLMERE_TEST_FLUSH_FAIL", L"1",
         nullptr, FlushFailed},
        {"volume flush before the journal goes", Loader::Bootmgr, L"QUILLMERE_TEST_FLUSH_FAIL",
         L"2", nullptr, FlushFailed},
        {"volume flush after the journal went", Loader::UefiGrub2, L"QUILLMERE_TEST_FLUSH_FAIL",
         L"3", nullptr, FlushFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=2\nuefi=0\n"));
        // An earlier GRUB2 install's copies and modules, which the switch replaces.
        ASSERT_TRUE(drive.Write(std::wstring(Boot) + L"\\grub2\\bios\\core.img", "old core"));
        ASSERT_TRUE(drive.Write(std::wstring(Boot) + L"\\grub2\\bios\\i386-pc\\old.mod", "old"));
        if (c.variable) {
            SetEnvironmentVariableW(c.variable, c.value);
        } else {
            ASSERT_TRUE(drive.MakeDir(c.blocked));
        }
        const auto before = Snapshot();

        SwitchOutcome outcome = Run(c.loader);

        EXPECT_FALSE(outcome.switched);
        EXPECT_EQ(outcome.text, OnDrive(c.message + Restored));
        EXPECT_TRUE(Snapshot() == before);
        EXPECT_FALSE(JournalPending());
    }
}

// A restore that cannot read back what it saved keeps the journal; each later start tries
// again, and a switch meanwhile keeps the backup of the drive before the failed switch.
TEST_F(Switches, AFailedRestoreKeepsItsBackupUntilARestoreSucceeds) {
    ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=0\nuefi=2\n"));
    const auto original = Snapshot();
    // The PBR run and both of the restore's own PBR runs (after the restore's sector write).
    SetEnvironmentVariableW(L"QUILLMERE_STANDIN_SPOIL", L"1,4,5");

    SwitchOutcome outcome = Run(Loader::Bootmgr);

    EXPECT_EQ(outcome.text,
              L"Записанные секторы не совпадают с ожидаемыми (сектор 2048).\r\nВосстановить "
              L"прежний загрузчик не удалось. Резервная копия: K:" +
                  std::wstring(Boot) + L"\\backup");
    EXPECT_TRUE(JournalPending());
    SetEnvironmentVariableW(L"QUILLMERE_STANDIN_SPOIL", L"1,4,5,6,7"); // the next start's PBR runs
    EXPECT_EQ(RestorePendingSwitch(target), PendingSwitch::NotRestored);
    EXPECT_TRUE(JournalPending());

    // A UEFI switch meanwhile succeeds; the disk it did not touch stays journaled.
    SetEnvironmentVariableW(L"QUILLMERE_STANDIN_SPOIL", nullptr);
    EXPECT_TRUE(Run(Loader::UefiBootmgr).switched);
    EXPECT_TRUE(JournalPending());
    const auto afterUefi = Snapshot();

    SetEnvironmentVariableW(L"QUILLMERE_STANDIN_FAIL_RUN", L"2=9"); // the next MBR run
    DeleteFileW(eventsPath.c_str());
    EXPECT_EQ(Run(Loader::Grub4Dos).text, L"Ошибка записи MBR (код 9)." + Restored);
    EXPECT_TRUE(ReadBytes(imagePath) == original.at("<disk>"));
    EXPECT_EQ(drive.Read(L"\\efi\\boot\\bootx64.efi"), afterUefi.at("\\efi\\boot\\bootx64.efi"));
    EXPECT_EQ(drive.Read(L"\\bootmgr"), "old bootmgr");
    EXPECT_FALSE(JournalPending());
}

// The journal goes only once every change is on the stick, and the box comes only once its
// removal is; a restore whose own flush fails keeps the journal for the next start.
TEST_F(Switches, TheVolumeIsFlushedBeforeTheJournalGoesAndAfter) {
    const std::wstring temp = BuildDir() + L"\\scratch\\switch-log";
    ASSERT_TRUE(RemoveTreeForTest(temp));
    ASSERT_TRUE(MakeFolders(temp));
    {
        DebugLogCapture log{temp};
        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=1\nuefi=0\n"));
        EXPECT_TRUE(Run(Loader::UefiGrub2).switched);
        const std::vector<std::string> order = {
            "flush volume K: ok", "bootstate: legacy=1 uefi=1", "flush volume K: ok",
            "switch journal kept as the record", "flush volume K: ok"};
        std::vector<std::string> seen;
        for (const std::string& message : LogMessages(log.Text(), "")) {
            if (message.rfind("flush", 0) == 0 || message.rfind("switch", 0) == 0 ||
                message.rfind("bootstate:", 0) == 0) {
                seen.push_back(message);
            }
        }
        EXPECT_EQ(seen, order);

        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=1\nuefi=0\n"));
        const auto before = Snapshot();
        SetEnvironmentVariableW(L"QUILLMERE_TEST_FLUSH_FAIL", L"2,3");
        EXPECT_EQ(Run(Loader::UefiBootmgr).text,
                  FlushFailed +
                      L"\r\nВосстановить прежний загрузчик не удалось. Резервная "
                      L"копия: K:" +
                      std::wstring(Boot) + L"\\backup");
        EXPECT_TRUE(JournalPending());
        SetEnvironmentVariableW(L"QUILLMERE_TEST_FLUSH_FAIL", nullptr);
        EXPECT_EQ(RestorePendingSwitch(target), PendingSwitch::Restored);
        EXPECT_FALSE(JournalPending());
        EXPECT_TRUE(Snapshot() == before);
    }
    RemoveTreeForTest(temp);
}

TEST_P(SwitchesOnFat, AStoppedSwitchIsRestoredAtTheNextStartUnlessTheDiskChanged) {
    for (bool layoutChanged : {false, true}) {
        SCOPED_TRACE(layoutChanged ? "table changed since" : "same disk");
        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=1\nuefi=0\n"));
        const auto original = Snapshot();
        // The core write and then both of the restore's sector writes go wrong: the journal
        // stays, as after a stop.
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_SPOIL", L"2,4,5");
        EXPECT_NE(Run(Loader::Grub2).text.find(L"Резервная копия"), std::wstring::npos);
        ASSERT_TRUE(JournalPending());
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_SPOIL", nullptr);
        // Only the disk's head: the rest of the image is the mounted file system's.
        std::string disk = ReadBytesAt(imagePath, 0, 2048 * 512);
        if (layoutChanged) {
            disk[446 + 16 + 4] = 0x07;
            ASSERT_TRUE(standin::WriteAt(imagePath, 0, disk));
        }

        const PendingSwitch pending = RestorePendingSwitch(target);

        EXPECT_FALSE(JournalPending());
        if (layoutChanged) {
            EXPECT_EQ(pending, PendingSwitch::LayoutChanged);
            EXPECT_EQ(ReadBytesAt(imagePath, 0, 2048 * 512), disk);
        } else {
            EXPECT_EQ(pending, PendingSwitch::Restored);
            EXPECT_TRUE(Snapshot() == original);
        }
        EXPECT_EQ(RestorePendingSwitch(target), PendingSwitch::None);
    }
}

TEST_F(Switches, LegacyReadOnlyRootFileOfAnotherLoaderStaysAndTheSwitchGoesOn) {
    struct Case {
        Loader loader;
        const wchar_t* readOnly;
        const wchar_t* copied;
        const wchar_t* source;
    } cases[] = {
        {Loader::Grub4Dos, L"\\bootmgr", L"\\grldr", L"\\g4d\\grldr"},
        {Loader::Bootmgr, L"\\grldr", L"\\bootmgr", L"\\mgr\\bootmgr"},
        {Loader::XorBoot, L"\\grldr", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "read-only " << c.readOnly);
        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=3\nuefi=0\n"));
        ASSERT_NO_FATAL_FAILURE(MakeReadOnly(c.readOnly));

        EXPECT_TRUE(Run(c.loader).switched);
        EXPECT_EQ(drive.Read(c.readOnly), "old " + Ascii(c.readOnly).substr(1));
        if (c.copied) {
            EXPECT_EQ(drive.Read(c.copied), Source(c.source));
        }
    }
}

TEST_F(Switches, UnwritableStateFileIsToldWithTheSuccess) {
    ASSERT_NO_FATAL_FAILURE(Fresh());
    ASSERT_TRUE(drive.MakeDir(std::wstring(Boot) + L"\\bootstate.txt"));
    SwitchOutcome outcome = Run(Loader::XorBoot);
    EXPECT_TRUE(outcome.switched);
    EXPECT_EQ(outcome.text, L"Загрузчик изменён: XorBoot\r\nНе удалось записать bootstate.txt.");
}

// Loader files taken from an ISO are read-only; the copies must not be, or the next install of
// the same loader would stop at its own copy.
TEST_F(Switches, TwoInstallsInARowFromReadOnlySources) {
    ASSERT_NO_FATAL_FAILURE(Fresh());
    for (const wchar_t* source :
         {L"\\mgr\\bootmgr", L"\\mgr\\UEFI\\bootx64.efi", L"\\mgr\\UEFI\\bootia32.efi"}) {
        ASSERT_NO_FATAL_FAILURE(MakeReadOnly(std::wstring(Boot) + source));
    }
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Run(Loader::Bootmgr).text, L"Загрузчик изменён: Bootmgr") << round;
        EXPECT_EQ(Run(Loader::UefiBootmgr).text, L"Загрузчик изменён: UEFI Bootmgr") << round;
    }
    for (const wchar_t* copy :
         {L"\\bootmgr", L"\\efi\\boot\\bootx64.efi", L"\\efi\\boot\\bootia32.efi"}) {
        EXPECT_EQ(GetFileAttributesW(drive.Path(copy).c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
            << Ascii(copy);
    }
    EXPECT_EQ(drive.Read(L"\\bootmgr"), Source(L"\\mgr\\bootmgr"));
}

struct UefiCase {
    Loader loader;
    const wchar_t* sourceFolder;
    std::vector<const wchar_t*> installed; // file names in \efi\boot after the switch
};

const UefiCase UefiCases[] = {
    {Loader::UefiBootmgr, L"\\mgr\\UEFI", {L"\\bootx64.efi", L"\\bootia32.efi"}},
    {Loader::UefiGrub2, L"\\loaders\\grub2", {L"\\bootx64.efi", L"\\fbx64.efi", L"\\mmx64.efi"}},
    {Loader::UefiXorboot, L"\\xor\\UEFI", {L"\\bootx64.efi", L"\\bootia32.efi"}},
};

const wchar_t* const EfiFiles[] = {L"\\bootx64.efi", L"\\bootia32.efi", L"\\fbx64.efi",
                                   L"\\mmx64.efi"};

std::wstring EfiBoot(const wchar_t* name) {
    return std::wstring(L"\\efi\\boot") + name;
}

TEST_F(Switches, UefiReplacesTheLoaderFilesAndKeepsTheLegacyEntry) {
    for (const UefiCase& c : UefiCases) {
        const LoaderFacts& facts = FactsOf(c.loader);
        SCOPED_TRACE(testing::Message() << Ascii(facts.name));
        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=3\nuefi=-1\n"));
        const std::string disk = ReadBytes(imagePath);

        SwitchOutcome outcome = Run(c.loader);

        EXPECT_EQ(outcome.text, L"Загрузчик изменён: " + std::wstring(facts.name));
        for (const wchar_t* name : EfiFiles) {
            bool installed = false;
            for (const wchar_t* mine : c.installed) {
                installed = installed || std::wstring(mine) == name;
            }
            if (installed) {
                EXPECT_EQ(drive.Read(EfiBoot(name)), Source(c.sourceFolder + std::wstring(name)))
                    << Ascii(name);
            } else if (c.loader == Loader::UefiGrub2 && std::wstring(name) == L"\\bootia32.efi") {
                EXPECT_EQ(drive.Read(EfiBoot(name)), "old\\bootia32.efi");
            } else {
                EXPECT_FALSE(drive.Exists(EfiBoot(name))) << Ascii(name);
            }
            EXPECT_FALSE(drive.Exists(EfiBoot(name) + L".quillmere-new")) << Ascii(name);
        }
        EXPECT_EQ(drive.Read(EfiBoot(L"\\keep.txt")), "not a loader");
        EXPECT_EQ(State(), "legacy=3\nuefi=" + std::to_string(facts.stateValue) + "\n");
        EXPECT_TRUE(ToolLog().empty());
        EXPECT_EQ(ReadBytes(imagePath), disk); // a UEFI switch reads no disk and writes none
    }
}

TEST_F(Switches, Grub2LegacyRefusesBeforeChangingAnything) {
    const std::wstring source = std::wstring(Boot) + L"\\loaders\\grub2-bios";
    const std::wstring grub = std::wstring(Boot) + L"\\grub2\\bios";
    const std::wstring core = source + L"\\core.img";
    const std::wstring unfit =
        L"Файл core.img не подходит (нужно от 1 до 591 секторов):\r\nK:" + core;
    struct Case {
        const wchar_t* removed; // relative to the drive; null: nothing removed
        std::wstring message;
        long coreBytes = -1; // 0 or more: core.img is rewritten with this many bytes
        int disk = 3;
    } cases[] = {
        {nullptr, unfit, 0},
        {nullptr, unfit, 511},
        {nullptr, unfit, 591 * 512 + 1},
        {L"\\efi\\Telvorn\\Boot\\loaders\\grub2-bios\\boot.img",
         L"Файлы GRUB2 для Legacy BIOS не найдены:\r\nK:" + source},
        {L"\\efi\\Telvorn\\Boot\\loaders\\grub2-bios\\core.img",
         L"Файлы GRUB2 для Legacy BIOS не найдены:\r\nK:" + source},
        {L"\\efi\\Telvorn\\Boot\\grub2",
         L"Не найден основной grub.cfg:\r\nK:" + grub + L"\\grub.cfg"},
        {nullptr, L"Не удалось определить номер физического диска для K:", -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << Ascii(c.message));
        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=0\nuefi=1\n"));
        if (c.removed) {
            ASSERT_TRUE(RemoveTreeForTest(drive.Path(c.removed)));
        }
        if (c.coreBytes >= 0) {
            ASSERT_TRUE(drive.Write(core, std::string(static_cast<size_t>(c.coreBytes), 'c')));
        }
        target.disk = c.disk;
        const auto before = Snapshot();

        EXPECT_EQ(Run(Loader::Grub2).text, c.message);

        EXPECT_TRUE(Snapshot() == before);
        EXPECT_TRUE(ToolLog().empty());
    }
}

// What a window of this thread saw of the backup of an installed module folder each time it
// answered a message sent from another thread during a GRUB2 switch.
struct BackupWatch {
    std::wstring copy;    // the backup's copy of the module folder
    std::wstring journal; // written once the backup is complete
    int answersDuringCopy = 0;
};

LRESULT CALLBACK BackupWatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* watch = reinterpret_cast<BackupWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (watch && message == WM_APP) {
        size_t copied = 0;
        WIN32_FIND_DATAW data;
        FindHandle search(FindFirstFileW((watch->copy + L"\\*.mod").c_str(), &data));
        for (bool more = search.Valid(); more; more = FindNextFileW(search.Get(), &data) != 0) {
            ++copied;
        }
        if (copied > 0 && copied < 300 && !PathExists(watch->journal)) {
            ++watch->answersDuringCopy;
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The switch as the window runs it, on a worker thread, and on the window's own thread, where
// only the answers between files and blocks keep the window alive.
TEST_F(Switches, TheWindowAnswersWhileTheBackupCopiesTheModuleFolder) {
    const std::wstring modules = std::wstring(Boot) + L"\\grub2\\bios\\i386-pc";
    BackupWatch watch{drive.Path(std::wstring(Boot) + L"\\backup\\files") + modules,
                      drive.Path(std::wstring(Boot) + L"\\backup\\journal.txt")};
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = BackupWatchProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuillmereBackupWatch";
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    EXPECT_NE(window, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&watch));
    for (bool onWorker : {true, false}) {
        SCOPED_TRACE(onWorker ? "on a worker thread" : "on the window's thread");
        ASSERT_NO_FATAL_FAILURE(Fresh());
        for (int i = 0; i < 300; ++i) {
            ASSERT_TRUE(drive.Write(modules + L"\\m" + std::to_wstring(i) + L".mod", "module"));
        }
        watch.answersDuringCopy = 0;
        std::atomic<bool> stop{false};
        // The time-out only lets the sender end while this thread waits for it.
        std::thread sender([&] {
            while (!stop) {
                DWORD_PTR result = 0;
                SendMessageTimeoutW(window, WM_APP, 0, 0, SMTO_NORMAL, 100, &result);
            }
        });

        if (onWorker) {
            RunOnWorker([&] { Run(Loader::Grub2); });
        } else {
            const AnsweringWork answering; // as where no worker thread can be made
            Run(Loader::Grub2);
        }

        stop = true;
        sender.join();
        EXPECT_GT(watch.answersDuringCopy, 0);
    }
    DestroyWindow(window);
    UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}

} // namespace

namespace {

// The undo is a switch of its own: it puts back what the last switch replaced, created or
// removed, sectors included, and backs up what it replaces, so a second undo redoes.
TEST_F(Switches, AnUndoPutsTheLastSwitchBackByteForByteAndASecondOneRedoesIt) {
    struct Case {
        Loader loader;
        const char* state; // before the switch; null: no bootstate.txt
        const wchar_t* question;
    } cases[] = {
        {Loader::Bootmgr, "legacy=2\nuefi=0\n",
         L"Вернуть загрузчики, бывшие до последней смены?\r\nLegacy BIOS: Grub4Dos\r\nUEFI: "
         L"Bootmgr"},
        {Loader::XorBoot, nullptr,
         L"Вернуть загрузчики, бывшие до последней смены?\r\nLegacy BIOS: не записан\r\nUEFI: "
         L"не записан"},
        {Loader::Grub2, "legacy=0\nuefi=2\n", nullptr},
        {Loader::UefiBootmgr, "legacy=3\nuefi=1\n", nullptr},
        {Loader::UefiGrub2, "legacy=1\n", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.loader));
        ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders(c.state ? c.state : ""));
        if (!c.state) {
            ASSERT_TRUE(DeleteFileW(drive.Path(std::wstring(Boot) + L"\\bootstate.txt").c_str()));
        }
        ASSERT_TRUE(drive.Write(std::wstring(Boot) + L"\\grub2\\bios\\i386-pc\\old.mod", "old"));
        EXPECT_FALSE(UndoAvailable(target.bootDir)) << "nothing switched yet";
        const auto before = Snapshot();
        ASSERT_TRUE(Run(c.loader).switched);
        const auto after = Snapshot();
        ASSERT_TRUE(UndoAvailable(target.bootDir));
        if (c.question) {
            EXPECT_EQ(UndoQuestion(target.bootDir), c.question);
        }

        const SwitchOutcome undone = UndoLastSwitch(target);
        EXPECT_TRUE(undone.switched);
        EXPECT_EQ(undone.text, UndoDoneText);
        EXPECT_TRUE(Snapshot() == before) << "the undo left the drive unlike before the switch";
        const SwitchOutcome redone = UndoLastSwitch(target);
        EXPECT_TRUE(redone.switched);
        EXPECT_TRUE(Snapshot() == after) << "the second undo did not redo the switch";
        EXPECT_FALSE(JournalPending());
        EXPECT_TRUE(UndoAvailable(target.bootDir));
    }
}

TEST_F(Switches, AnUndoRefusesAChangedLayoutAndWaitsForAPendingJournal) {
    ASSERT_NO_FATAL_FAILURE(FreshWithOldLoaders("legacy=2\nuefi=0\n"));
    ASSERT_TRUE(Run(Loader::XorBoot).switched);
    std::string image = ReadBytes(imagePath);
    image[446 + 8] = static_cast<char>(image[446 + 8] + 1); // the first partition moved
    ASSERT_TRUE(WriteBytes(imagePath, image));
    const auto changed = Snapshot();
    const SwitchOutcome outcome = UndoLastSwitch(target);
    EXPECT_FALSE(outcome.switched);
    EXPECT_EQ(outcome.text, UndoLayoutChangedText);
    EXPECT_TRUE(Snapshot() == changed);
    EXPECT_TRUE(UndoAvailable(target.bootDir)) << "the backup is kept";

    ASSERT_TRUE(drive.Write(std::wstring(Boot) + L"\\backup\\journal.txt", "action=0\nend\n"));
    EXPECT_FALSE(UndoAvailable(target.bootDir));
}

} // namespace
