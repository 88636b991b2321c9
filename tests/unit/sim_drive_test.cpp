#include "tests/support/sim_drive.h"

#include <windows.h>

#include <gtest/gtest.h>

// The simulated drives every end-to-end test stands on.
TEST(SimDrive, MapsAFreshFolderToALetterAndUnmapsIt) {
    SimDrive drive;
    ASSERT_TRUE(drive.Map(L'q', L"simdrive-q"));
    EXPECT_EQ(drive.Root(), L"Q:");
    ASSERT_TRUE(drive.Write(L"\\a\\b\\file.txt", "content"));
    EXPECT_EQ(ReadBytes(drive.hostFolder + L"\\a\\b\\file.txt"), "content");
    EXPECT_EQ(drive.Read(L"\\a\\b\\file.txt"), "content");

    // Mapping again starts empty.
    SimDrive again;
    ASSERT_TRUE(again.Map(L'r', L"simdrive-q"));
    EXPECT_FALSE(again.Exists(L"\\a"));
    again.Unmap();
    drive.Unmap();
    EXPECT_FALSE(PathExists(L"R:\\"));
}

TEST(SimDrive, HostSymlinkShowsAsReparsePointAndTreeRemovalHandlesIt) {
    SimDrive drive;
    ASSERT_TRUE(drive.Map(L'q', L"simdrive-links"));
    ASSERT_TRUE(drive.Write(L"\\target\\keep.txt", "keep"));
    ASSERT_TRUE(drive.MakeDir(L"\\holder"));
    ASSERT_TRUE(MakeHostSymlink(drive.Path(L"\\target"), drive.Path(L"\\holder\\link")));
    DWORD attributes = GetFileAttributesW(drive.Path(L"\\holder\\link").c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(drive.Read(L"\\holder\\link\\keep.txt"), "keep");

    ASSERT_TRUE(RemoveTreeForTest(drive.Path(L"\\holder")));
    EXPECT_FALSE(drive.Exists(L"\\holder"));
    EXPECT_EQ(drive.Read(L"\\target\\keep.txt"), "keep");
}

TEST(SimDrive, TelvornLayoutPlacesMarkersToolAndProgram) {
    SimDrive drive;
    ASSERT_TRUE(drive.Map(L'q', L"simdrive-layout"));
    ASSERT_TRUE(LayOutInstaller(drive));
    ASSERT_TRUE(LayOutLoaderSources(drive));
    ASSERT_TRUE(LayOutDataMarker(drive));
    EXPECT_TRUE(drive.Exists(L"\\efi\\Telvorn\\Boot\\NOT.DEL"));
    EXPECT_TRUE(drive.Exists(L"\\efi\\Telvorn\\Boot\\bootice.exe"));
    EXPECT_TRUE(drive.Exists(L"\\ISO\\Ventoy\\NOT.DEL"));
    EXPECT_TRUE(IsFolder(drive.Path(L"\\efi\\boot")));
    std::string program = ReadBytes(InstalledProgram(drive));
    ASSERT_GT(program.size(), 2u);
    EXPECT_EQ(program.substr(0, 2), "MZ");
    EXPECT_EQ(drive.Read(L"\\efi\\Telvorn\\Boot\\mgr\\bootmgr"), "source/mgr/bootmgr\n");
}
