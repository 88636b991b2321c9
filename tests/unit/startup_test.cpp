#include "app/startup.h"
#include "loaders/target.h"
#include "loaders/user_texts.h"

#include <gtest/gtest.h>

TEST(InstallerRootFromDirectory, TakesTheDriveLetterOfTheProgramFolder) {
    struct Case {
        const wchar_t* directory;
        const wchar_t* root;
    };
    const Case cases[] = {
        {L"e:\\x", L"E:"},
        {L"E:", L"E:"},
        {L"e:", L"E:"},
        {L"E:\\efi\\Telvorn\\Boot", L"E:"},
        {L"z:/efi/Telvorn/Boot", L"Z:"},
        {L"a:\\", L"A:"},
        // Only a-z are mapped; anything else before the colon is kept as it is.
        {L"1:\\tool", L"1:"},
        {L"\\\\server\\share\\x", L""},
        {L"\\\\?\\unix\\tmp\\drive", L""},
        {L"\\\\?\\E:\\efi", L""},
        {L"", L""},
        {L"E", L""},
        {L"EE:\\x", L""},
        {L"relative\\dir", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InstallerRootFromDirectory(c.directory), std::wstring(c.root)) << c.directory;
    }
}

TEST(DataMarkerPath, NamesTheVentoyMarkerOnTheDrive) {
    EXPECT_EQ(DataMarkerPath(L'D'), L"D:\\ISO\\Ventoy\\NOT.DEL");
    EXPECT_EQ(DataMarkerPath(L'Z'), L"Z:\\ISO\\Ventoy\\NOT.DEL");
}

TEST(NotTelvornDriveText, EndsWithTheInstallerRootOnItsOwnLine) {
    EXPECT_EQ(NotTelvornDriveText(L"E:"),
              L"Этот диск не является сборкой Telvorn (нет bootice.exe или NOT.DEL):\r\nE:");
}

TEST(IsSystemDisk, NeedsAKnownNumberEqualToTheInstallersAndNoWinPe) {
    struct Row {
        int installer;
        SystemDisks disks; // Windows directory's disk, system partition's disk, WinPE
        bool refused;
    } rows[] = {
        {0, {0, -1, false}, true},
        {2, {2, -1, false}, true},
        {2, {0, -1, false}, false},
        {-1, {-1, -1, false}, false},
        {0, {-1, -1, false}, false},
        {-1, {0, 0, false}, false},
        // Setup put the system partition on a drive that was plugged in: that drive boots Windows.
        {1, {0, 1, false}, true},
        {1, {0, 2, false}, false},
        {0, {-1, 0, false}, true},
        // WinPE started from this very drive: nothing is the installed Windows' to keep.
        {0, {0, -1, true}, false},
        {1, {0, 1, true}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsSystemDisk(row.installer, row.disks), row.refused)
            << row.installer << " against " << row.disks.windowsDisk << ", "
            << row.disks.systemPartitionDisk << (row.disks.winPe ? " under WinPE" : "");
    }
    EXPECT_EQ(WindowsDiskText(L"E:"), L"Диск E: находится на системном диске Windows.\r\n"
                                      L"Загрузчик системного диска Quillmere не меняет.");
}
