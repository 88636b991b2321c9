#include "sys/file_utils.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sys/process.h"
#include "tests/support/sim_drive.h"

namespace {

struct CreationCase {
    const wchar_t* path;
    std::vector<std::wstring> steps;
};

TEST(DirectoryCreationSteps, WalksEveryComponentBelowTheRootPrefix) {
    const CreationCase cases[] = {
        {L"X:\\a\\b\\c", {L"X:\\a", L"X:\\a\\b", L"X:\\a\\b\\c"}},
        // The prefix keeps the input's slash; later separators become backslashes.
        {L"X:/a/b", {L"X:/a", L"X:/a\\b"}},
        {L"X:/a\\b/", {L"X:/a", L"X:/a\\b", L"X:/a\\b\\"}},
        // The bare root is tried once and fails harmlessly.
        {L"X:\\", {L"X:\\"}},
        {L"\\\\server\\share\\dir",
         {L"\\\\server", L"\\\\server\\share", L"\\\\server\\share\\dir"}},
        // The empty first component is skipped.
        {L"\\a", {L"\\a"}},
        {L"\\a\\b", {L"\\a", L"\\a\\b"}},
        // Without a separator after the colon there is no prefix.
        {L"X:abc", {L"X:abc"}},
        {L"X:abc\\d", {L"X:abc", L"X:abc\\d"}},
        {L"X:", {L"X:"}},
        {L"a", {L"a"}},
        {L"a/b", {L"a", L"a\\b"}},
        // A trailing separator repeats the last level with a backslash.
        {L"X:\\a\\", {L"X:\\a", L"X:\\a\\"}},
        // A doubled separator gives an empty component.
        {L"X:\\a\\\\b", {L"X:\\a", L"X:\\a\\", L"X:\\a\\\\b"}},
        {L"\\\\", {L"\\\\"}},
        {L"", {}},
    };
    for (const CreationCase& c : cases) {
        EXPECT_EQ(DirectoryCreationSteps(c.path), c.steps)
            << "path: " << testing::PrintToString(std::wstring(c.path));
    }
}

TEST(DirectoryPart, CutsBeforeTheLastSeparator) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"X:\\efi\\dir\\tool.exe", L"X:\\efi\\dir"},
        {L"X:\\tool.exe", L"X:"},
        {L"X:/efi/tool.exe", L"X:/efi"},
        {L"X:\\efi/dir\\tool.exe", L"X:\\efi/dir"},
        {L"\\\\server\\share\\tool.exe", L"\\\\server\\share"},
        {L"tool.exe", L"tool.exe"},
        {L"X:\\dir\\", L"X:\\dir"},
        {L"", L""},
    };
    for (const auto& [path, directory] : cases) {
        EXPECT_EQ(DirectoryPart(path), directory) << testing::PrintToString(std::wstring(path));
    }
}

// A simulated drive with a few objects of every kind the operations meet.
class FileUtilsOnDrive : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(drive.Map(L'K', L"sys-file-utils"));
        ASSERT_TRUE(drive.Write(L"\\plain.txt", "plain"));
        ASSERT_TRUE(drive.Write(L"\\source.bin", "new content"));
        ASSERT_TRUE(drive.MakeDir(L"\\folder"));
    }
    void TearDown() override {
        // Read-only files made here would stop the next mapping from clearing the folder.
        for (const wchar_t* name : {L"\\readonly.txt", L"\\hidden.txt"}) {
            SetFileAttributesW(drive.Path(name).c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
    void MakeWithAttribute(const wchar_t* relative, DWORD attribute) {
        ASSERT_TRUE(drive.Write(relative, "guarded"));
        ASSERT_TRUE(SetFileAttributesW(drive.Path(relative).c_str(), attribute));
        ASSERT_TRUE(GetFileAttributesW(drive.Path(relative).c_str()) & attribute);
    }
    SimDrive drive;
};

TEST_F(FileUtilsOnDrive, FileExistsOnlyForObjectsThatAreNotDirectories) {
    ASSERT_NO_FATAL_FAILURE(MakeWithAttribute(L"\\readonly.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_NO_FATAL_FAILURE(MakeWithAttribute(L"\\hidden.txt", FILE_ATTRIBUTE_HIDDEN));
    const std::pair<std::wstring, bool> cases[] = {
        {drive.Path(L"\\plain.txt"), true},
        {drive.Path(L"\\readonly.txt"), true},
        {drive.Path(L"\\hidden.txt"), true},
        {drive.Path(L"/plain.txt"), true},
        {drive.Path(L"\\folder"), false},
        {drive.Path(L"\\"), false},
        {drive.Path(L"\\missing.txt"), false},
        {drive.Path(L"\\missing\\plain.txt"), false},
        {L"", false},
    };
    for (const auto& [path, exists] : cases) {
        EXPECT_EQ(FileExists(path), exists) << testing::PrintToString(path);
    }
}

TEST_F(FileUtilsOnDrive, CopyReplacesAnOrdinaryTarget) {
    EXPECT_TRUE(CopyFileOverwrite(drive.Path(L"\\source.bin"), drive.Path(L"\\plain.txt")));
    EXPECT_EQ(drive.Read(L"\\plain.txt"), "new content");
    EXPECT_TRUE(CopyFileOverwrite(drive.Path(L"\\source.bin"), drive.Path(L"\\folder\\fresh.bin")));
    EXPECT_EQ(drive.Read(L"\\folder\\fresh.bin"), "new content");
    EXPECT_EQ(drive.Read(L"\\source.bin"), "new content");
}

// Files taken from an ISO are read-only; their copies must stay replaceable.
TEST_F(FileUtilsOnDrive, CopyOfAReadOnlySourceIsNotReadOnlyAndCanBeReplacedAgain) {
    ASSERT_NO_FATAL_FAILURE(
        MakeWithAttribute(L"\\readonly.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(CopyFileOverwrite(drive.Path(L"\\readonly.txt"), drive.Path(L"\\hidden.txt")))
            << round;
        const DWORD copied = GetFileAttributesW(drive.Path(L"\\hidden.txt").c_str());
        EXPECT_EQ(copied & FILE_ATTRIBUTE_READONLY, 0u) << round;
        EXPECT_NE(copied & FILE_ATTRIBUTE_HIDDEN, 0u) << round;
        EXPECT_EQ(drive.Read(L"\\hidden.txt"), "guarded");
    }
}

TEST(CopyTargetRefused, GuardsReadOnlyTargetsAndHiddenOrSystemOnesTheSourceDoesNotMatch) {
    const DWORD none = INVALID_FILE_ATTRIBUTES;
    const DWORD normal = FILE_ATTRIBUTE_NORMAL;
    const DWORD archive = FILE_ATTRIBUTE_ARCHIVE;
    const DWORD readOnly = FILE_ATTRIBUTE_READONLY;
    const DWORD hidden = FILE_ATTRIBUTE_HIDDEN;
    const DWORD system = FILE_ATTRIBUTE_SYSTEM;
    struct Case {
        DWORD source;
        DWORD target;
        bool refused;
    };
    const Case cases[] = {
        {archive, none, false},
        {none, none, false},
        {archive, normal, false},
        {archive, archive, false},
        {archive, readOnly, true},
        {readOnly, readOnly, true},
        {archive, readOnly | archive, true},
        {archive, hidden, true},
        {archive, system, true},
        {hidden, hidden, false},
        {hidden | system, hidden | system, false},
        {hidden, hidden | system, true},
        {hidden, hidden | readOnly, true},
        {none, hidden, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CopyTargetRefused(c.source, c.target), c.refused)
            << std::hex << "source " << c.source << " target " << c.target;
    }
}

TEST_F(FileUtilsOnDrive, CopyFailsWithoutHarmOntoReadOnlyOrHiddenTarget) {
    ASSERT_NO_FATAL_FAILURE(MakeWithAttribute(L"\\readonly.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_NO_FATAL_FAILURE(MakeWithAttribute(L"\\hidden.txt", FILE_ATTRIBUTE_HIDDEN));
    for (const wchar_t* target : {L"\\readonly.txt", L"\\hidden.txt"}) {
        EXPECT_FALSE(CopyFileOverwrite(drive.Path(L"\\source.bin"), drive.Path(target)));
        EXPECT_EQ(drive.Read(target), "guarded");
    }
}

TEST_F(FileUtilsOnDrive, CopyFailsWithoutHarmWhenSourceOrTargetFolderIsMissing) {
    EXPECT_FALSE(
        CopyFileOverwrite(drive.Path(L"\\source.bin"), drive.Path(L"\\absent\\deeper\\copy.bin")));
    EXPECT_FALSE(drive.Exists(L"\\absent"));

    EXPECT_FALSE(CopyFileOverwrite(drive.Path(L"\\no-source.bin"), drive.Path(L"\\plain.txt")));
    EXPECT_EQ(drive.Read(L"\\plain.txt"), "plain");
}

TEST_F(FileUtilsOnDrive, DeleteRemovesOrdinaryFilesOnly) {
    ASSERT_NO_FATAL_FAILURE(MakeWithAttribute(L"\\readonly.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(DeleteFileIfAny(drive.Path(L"\\plain.txt")));
    EXPECT_FALSE(drive.Exists(L"\\plain.txt"));

    EXPECT_FALSE(DeleteFileIfAny(drive.Path(L"\\plain.txt")));
    EXPECT_FALSE(DeleteFileIfAny(drive.Path(L"\\missing\\file.txt")));
    EXPECT_FALSE(drive.Exists(L"\\missing"));

    EXPECT_FALSE(DeleteFileIfAny(drive.Path(L"\\readonly.txt")));
    EXPECT_EQ(drive.Read(L"\\readonly.txt"), "guarded");

    EXPECT_FALSE(DeleteFileIfAny(drive.Path(L"\\folder")));
    EXPECT_TRUE(IsFolder(drive.Path(L"\\folder")));
}

TEST_F(FileUtilsOnDrive, CreateDirectoriesBuildsEveryMissingLevel) {
    ASSERT_TRUE(drive.MakeDir(L"\\a"));
    ASSERT_TRUE(drive.Write(L"\\file", "in the way"));
    struct Case {
        std::wstring path;
        bool result;
        std::wstring mustBeFolder; // empty: nothing to look for
    };
    const Case cases[] = {
        {drive.Path(L"\\a\\b\\c"), true, drive.Path(L"\\a\\b\\c")},
        {drive.Root() + L"/s/t", true, drive.Path(L"\\s\\t")},
        {drive.Path(L"\\trail\\ing\\"), true, drive.Path(L"\\trail\\ing")},
        {drive.Path(L"\\dou\\\\ble"), true, drive.Path(L"\\dou\\ble")},
        {drive.Path(L"\\"), true, drive.Path(L"\\")},
        {drive.Path(L"\\a"), true, drive.Path(L"\\a")},
        {drive.Path(L"\\file"), false, L""},
        {drive.Path(L"\\file\\below"), false, L""},
        {L"", false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        EXPECT_EQ(CreateDirectories(c.path), c.result);
        if (!c.mustBeFolder.empty()) {
            EXPECT_TRUE(IsFolder(c.mustBeFolder)) << testing::PrintToString(c.mustBeFolder);
        }
    }
    EXPECT_EQ(drive.Read(L"\\file"), "in the way");
}

TEST_F(FileUtilsOnDrive, CreateDirectoriesOfDriveRelativeFormsWorksBelowTheCurrentDirectory) {
    wchar_t saved[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(drive.Path(L"\\folder").c_str()));
    // A single leading backslash names the current drive's root; X:abc is relative to the
    // current directory of drive X.
    const bool rooted = CreateDirectories(L"\\rooted\\deep");
    const bool relative = CreateDirectories(drive.Root() + L"abc\\d");
    SetCurrentDirectoryW(saved);
    EXPECT_TRUE(rooted);
    EXPECT_TRUE(IsFolder(drive.Path(L"\\rooted\\deep")));
    EXPECT_TRUE(relative);
    EXPECT_TRUE(IsFolder(drive.Path(L"\\folder\\abc\\d")));
}

TEST(CreateDirectories, FailsOnADriveThatDoesNotExist) {
    wchar_t letter = 0;
    const DWORD drives = GetLogicalDrives();
    for (wchar_t c = L'Z'; c >= L'D' && !letter; --c) {
        if (!(drives & (1u << (c - L'A')))) {
            letter = c;
        }
    }
    ASSERT_NE(letter, 0);
    EXPECT_FALSE(CreateDirectories(std::wstring(1, letter) + L":\\nowhere\\deep"));
    EXPECT_FALSE(FileExists(std::wstring(1, letter) + L":\\nowhere"));
}

TEST(GetModulePath, GrowsUntilTheWholePathFits) {
    const std::wstring full = GetModulePath(1040);
    ASSERT_GT(full.size(), 8u);
    EXPECT_TRUE(FileExists(full));
    const unsigned length = static_cast<unsigned>(full.size());
    // A buffer of exactly the path's length holds a cut path and must not be taken as the answer.
    for (unsigned first : {1u, 2u, 4u, length - 1, length, length + 1, 32768u}) {
        EXPECT_EQ(GetModulePath(first), full) << "first buffer " << first;
    }
}

TEST(GetModuleDirectory, IsTheRunningProgramsFolderWithoutSeparator) {
    const std::wstring directory = GetModuleDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), L'\\');
    EXPECT_EQ(directory[1], L':');
    EXPECT_TRUE(FileExists(directory + L"\\quillmere_unit_tests.exe"));
    EXPECT_EQ(directory, BuildDir() + L"\\tests");
}

// The helper answers GetModuleDirectory from wherever it is copied to.
TEST(GetModuleDirectory, FromAFolderOnADriveAndFromTheDrivesRoot) {
    SimDrive drive;
    ASSERT_TRUE(drive.Map(L'L', L"sys-module-dir"));
    const std::wstring answer = BuildDir() + L"\\scratch\\sys-module-dir.txt";
    ASSERT_TRUE(MakeFolders(BuildDir() + L"\\scratch"));
    const std::pair<std::wstring, std::wstring> cases[] = {
        {drive.Path(L"\\efi\\dir\\tool.exe"), drive.Path(L"\\efi\\dir")},
        {drive.Path(L"\\tool.exe"), drive.Root()},
    };
    for (const auto& [program, directory] : cases) {
        ASSERT_TRUE(CopyProgram(HelperPath(L"childproc"), program));
        DeleteFileW(answer.c_str());
        ASSERT_EQ(RunProcessAndWait(L"\"" + program + L"\" moduledir \"" + answer + L"\""), 0);
        const std::string bytes = ReadBytes(answer);
        EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                               bytes.size() / sizeof(wchar_t)),
                  directory);
    }
}

} // namespace
