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

TEST(CenteredOrigin, CentresInTheWorkAreaTruncatingTowardZero) {
    struct Case {
        RECT workArea;
        LONG x, y;
    };
    const Case cases[] = {
        {{0, 0, 1280, 800}, 452, 296},      {{0, 0, 1920, 1040}, 772, 416}, // taskbar at the bottom
        {{0, 40, 1920, 1080}, 772, 456},                                    // taskbar at the top
        {{1280, 0, 2560, 1024}, 1732, 408}, // second monitor on the right
        {{-1920, 0, 0, 1080}, -1148, 436},  // second monitor on the left
        {{0, 0, 377, 209}, 0, 0},           // one spare pixel: rounds down
        {{0, 0, 375, 207}, 0, 0},           // one pixel short: -1 / 2 is 0, not -1
        {{0, 0, 300, 200}, -38, -4},        // smaller than the window
        {{0, 0, 0, 0}, -188, -104},         // the query failed and left the rectangle zero
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.workArea.left << "," << c.workArea.top << " "
                                        << c.workArea.right << "x" << c.workArea.bottom);
        const POINT origin = CenteredOrigin(c.workArea, 376, 208);
        EXPECT_EQ(origin.x, c.x);
        EXPECT_EQ(origin.y, c.y);
    }
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
