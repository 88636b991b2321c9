#include "cleanup/android_cleanup.h"
#include "sys/directory_tree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sys/handles.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/sim_drive.h"

namespace {

// Keeps files open without sharing from another process, as a media player or an indexer would.
struct FileHolder {
    KernelHandle process;
    KernelHandle stop;
    std::wstring eventName = L"quillmere-cleanup-holder-" + std::to_wstring(GetCurrentProcessId());

    bool Hold(const std::vector<std::wstring>& files) {
        KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, (eventName + L"-ready").c_str()));
        stop.Reset(CreateEventW(nullptr, TRUE, FALSE, (eventName + L"-stop").c_str()));
        std::wstring commandLine = L"\"" + HelperPath(L"fileholder") + L"\" " + eventName;
        for (const std::wstring& file : files) {
            commandLine += L" \"" + file + L"\"";
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!ready.Valid() || !stop.Valid() ||
            !CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info)) {
            return false;
        }
        process.Reset(info.hProcess);
        KernelHandle thread(info.hThread);
        HANDLE waitFor[] = {ready.Get(), process.Get()};
        return WaitForMultipleObjects(2, waitFor, FALSE, 20000) == WAIT_OBJECT_0;
    }
    void Release() {
        if (process.Valid()) {
            SetEvent(stop.Get());
            WaitForSingleObject(process.Get(), 20000);
            process.Reset();
        }
    }
    ~FileHolder() { Release(); }
};

// Drives mapped to letters, the debug log on and pointed into a scratch temporary directory.
class Cleanup : public ::testing::Test {
  protected:
    std::wstring scratch =
        BuildDir() + L"\\scratch\\cleanup-" + std::to_wstring(GetCurrentProcessId());
    std::wstring tempDir = scratch + L"\\temp";
    ScopedEnvironment logSwitch{L"TELVORN_DEBUG_LOG", L"1"};
    ScopedEnvironment temp{L"TEMP", tempDir};
    ScopedEnvironment tmp{L"TMP", tempDir};
    SimDrive first;
    SimDrive second;

    void SetUp() override {
        ASSERT_TRUE(RemoveTreeForTest(scratch));
        ASSERT_TRUE(MakeFolders(tempDir));
        ASSERT_TRUE(first.Map(L'K', L"cleanup-first"));
        ASSERT_TRUE(second.Map(L'L', L"cleanup-second"));
    }
    void TearDown() override {
        first.Unmap();
        second.Unmap();
        RemoveTreeForTest(scratch);
    }

    static std::wstring RootOf(const SimDrive& drive) { return drive.Root() + L"\\"; }

    // The messages of the cleanup's log lines, in the order they were written.
    std::vector<std::string> CleanupLines() const {
        std::string log = ReadBytes(tempDir + L"\\quillmere_cpp_debug.log");
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < log.size()) {
            size_t end = log.find("\r\n", start);
            std::string line = log.substr(start, end - start);
            size_t message = line.find("] cleanup: ");
            if (message != std::string::npos) {
                lines.push_back(line.substr(message + 2));
            }
            if (end == std::string::npos) {
                break;
            }
            start = end + 2;
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }
};

struct Expected {
    const wchar_t* path;
    bool exists;
};

void ExpectPaths(const SimDrive& drive, const std::vector<Expected>& table) {
    for (const Expected& e : table) {
        EXPECT_EQ(drive.Exists(e.path), e.exists)
            << drive.Root() << std::string(e.path, e.path + wcslen(e.path));
    }
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

TEST(ClassifyRootFolder, MatchesWholeNamesIgnoringOnlyAsciiCase) {
    struct Case {
        const wchar_t* name;
        RootFolderKind kind;
    } cases[] = {
        {L"Android", RootFolderKind::Junk},
        {L"android", RootFolderKind::Junk},
        {L"ANDROID", RootFolderKind::Junk},
        {L".thumbnails", RootFolderKind::Junk},
        {L".THUMBNAILS", RootFolderKind::Junk},
        {L".android_secure", RootFolderKind::Junk},
        {L".trash-storage", RootFolderKind::Junk},
        {L".Trash-1000", RootFolderKind::Junk},
        {L".trash-1000", RootFolderKind::Junk},
        {L".Trash-", RootFolderKind::Junk},
        {L".Trash", RootFolderKind::Other},
        {L".Trash_1000", RootFolderKind::Other},
        {L"Trash-1000", RootFolderKind::Other},
        {L"Androids", RootFolderKind::Other},
        {L"Android ", RootFolderKind::Other},
        {L"Andro", RootFolderKind::Other},
        {L"\x0410ndroid", RootFolderKind::Other}, // Cyrillic capital A
        {L"\xFF21ndroid", RootFolderKind::Other}, // fullwidth A
        {L"LOST.DIR", RootFolderKind::LostDir},
        {L"lost.dir", RootFolderKind::LostDir},
        {L"LOST.DIR2", RootFolderKind::Other},
        {L"LOST_DIR", RootFolderKind::Other},
        {L"Music", RootFolderKind::Media},
        {L"MUSIC", RootFolderKind::Media},
        {L"MUS\x0130"
         L"C",
         RootFolderKind::Other}, // dotted capital I
        {L"Podcasts", RootFolderKind::Media},
        {L"Ringtones", RootFolderKind::Media},
        {L"Alarms", RootFolderKind::Media},
        {L"Notifications", RootFolderKind::Media},
        {L"Pictures", RootFolderKind::Media},
        {L"P\x0131"
         L"ctures",
         RootFolderKind::Other}, // dotless i
        {L"Movies", RootFolderKind::Media},
        {L"Download", RootFolderKind::Media},
        {L"Downloads", RootFolderKind::Other},
        {L"dcim", RootFolderKind::Media},
        {L"Documents", RootFolderKind::Media},
        {L"Audiobooks", RootFolderKind::Media},
        {L"Recordings", RootFolderKind::Media},
        {L"ISO", RootFolderKind::Other},
        {L"Books", RootFolderKind::Other},
        {L"System Volume Information", RootFolderKind::Other},
        {L"", RootFolderKind::Other},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyRootFolder(c.name), c.kind)
            << std::string(c.name, c.name + wcslen(c.name));
    }
}

TEST_F(Cleanup, RootsKeepUserDataAndLoseTheLeftovers) {
    const std::string photo = "\xFF\xD8 photo of the sea";
    ASSERT_TRUE(first.Write(L"\\Android", "a file, not a folder"));
    ASSERT_TRUE(first.Write(L"\\.Trash-1000\\files\\old.txt", "t"));
    ASSERT_TRUE(first.Write(L"\\.Trash-1000\\info\\old.txt.trashinfo", "i"));
    ASSERT_TRUE(first.Write(L"\\.Trash\\keep.txt", "k"));
    ASSERT_TRUE(first.Write(L"\\.trash-storage\\x.bin", "x"));
    ASSERT_TRUE(first.Write(L"\\DCIM\\Camera\\IMG_0001.jpg", photo));
    ASSERT_TRUE(first.Write(L"\\DCIM\\.thumbnails\\t1.jpg", "t"));
    ASSERT_TRUE(first.Write(L"\\DCIM\\.thumbnails\\deeper\\t2.jpg", "t"));
    ASSERT_TRUE(first.MakeDir(L"\\Music\\a\\b\\c"));
    ASSERT_TRUE(first.MakeDir(L"\\Music\\d"));
    ASSERT_TRUE(first.Write(L"\\Pictures\\.nomedia", ""));
    ASSERT_TRUE(
        SetFileAttributesW(first.Path(L"\\Pictures\\.nomedia").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(first.Write(L"\\Movies\\.thumbnails", "a file named like the cache"));
    ASSERT_TRUE(first.Write(L"\\Documents\\letter.txt", "Dear"));
    ASSERT_TRUE(first.MakeDir(L"\\Documents\\empty\\emptier"));
    ASSERT_TRUE(first.Write(L"\\LOST.DIR\\0001", "lost"));
    ASSERT_TRUE(first.Write(L"\\LOST.DIR\\sub\\0002", "lost"));
    ASSERT_TRUE(first.Write(L"\\ISO\\Music\\song.mp3", "ID3"));
    ASSERT_TRUE(first.MakeDir(L"\\ISO\\Music\\empty"));
    ASSERT_TRUE(first.MakeDir(L"\\ISO\\Android\\empty"));
    ASSERT_TRUE(first.MakeDir(L"\\Books\\empty"));
    ASSERT_TRUE(first.Write(L"\\System Volume Information\\IndexerVolumeGuid", "g"));

    ASSERT_TRUE(second.Write(L"\\android\\data\\com.app\\cache\\c.bin", "c"));
    ASSERT_TRUE(second.Write(L"\\android\\readonly.txt", "r"));
    ASSERT_TRUE(second.Write(L"\\android\\hidden.txt", "h"));
    ASSERT_TRUE(second.Write(L"\\android\\locked\\inner.txt", "l"));
    ASSERT_TRUE(SetFileAttributesW(second.Path(L"\\android\\readonly.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(second.Path(L"\\android\\hidden.txt").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesW(second.Path(L"\\android\\locked").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(second.MakeDir(L"\\lost.dir"));
    ASSERT_TRUE(second.Write(L"\\.thumbnails\\1.jpg", "t"));
    ASSERT_TRUE(second.Write(L"\\ISO\\Ventoy\\NOT.DEL", ""));

    CleanupAndroidLeftovers(RootOf(first), RootOf(second));

    ExpectPaths(first, {
                           {L"\\Android", true},
                           {L"\\.Trash-1000", false},
                           {L"\\.Trash\\keep.txt", true},
                           {L"\\.trash-storage", false},
                           {L"\\DCIM\\Camera\\IMG_0001.jpg", true},
                           {L"\\DCIM\\.thumbnails", false},
                           {L"\\Music", false},
                           {L"\\Pictures\\.nomedia", true},
                           {L"\\Movies", false},
                           {L"\\Documents\\letter.txt", true},
                           {L"\\Documents\\empty", false},
                           {L"\\LOST.DIR", true},
                           {L"\\LOST.DIR\\0001", false},
                           {L"\\LOST.DIR\\sub", false},
                           {L"\\ISO\\Music\\song.mp3", true},
                           {L"\\ISO\\Music\\empty", true},
                           {L"\\ISO\\Android\\empty", true},
                           {L"\\Books\\empty", true},
                           {L"\\System Volume Information\\IndexerVolumeGuid", true},
                       });
    EXPECT_EQ(first.Read(L"\\Android"), "a file, not a folder");
    EXPECT_EQ(first.Read(L"\\DCIM\\Camera\\IMG_0001.jpg"), photo);
    EXPECT_EQ(first.Read(L"\\Documents\\letter.txt"), "Dear");
    ExpectPaths(second, {
                            {L"\\android", false},
                            {L"\\lost.dir", true},
                            {L"\\.thumbnails", false},
                            {L"\\ISO\\Ventoy\\NOT.DEL", true},
                        });
    for (const SimDrive* drive : {&first, &second}) {
        std::wstring lostDir = drive->Path(drive == &first ? L"\\LOST.DIR" : L"\\lost.dir");
        DWORD attributes = GetFileAttributesW(lostDir.c_str());
        EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
                  DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
        EXPECT_TRUE(ListDirectoryEntries(lostDir).empty());
    }
    EXPECT_EQ(CleanupLines(), Sorted({
                                  "cleanup: removed K:\\.Trash-1000",
                                  "cleanup: removed K:\\.trash-storage",
                                  "cleanup: removed K:\\Music",
                                  "cleanup: removed K:\\Movies",
                                  "cleanup: cleared LOST.DIR in K:\\",
                                  "cleanup: removed L:\\android",
                                  "cleanup: cleared LOST.DIR in L:\\",
                                  "cleanup: removed L:\\.thumbnails",
                              }));
}

TEST_F(Cleanup, FileThatCannotBeDeletedKeepsItsFoldersUnlogged) {
    ASSERT_TRUE(first.Write(L"\\Android\\obb\\game\\main.obb", "held"));
    ASSERT_TRUE(first.Write(L"\\Android\\obb\\game\\patch.obb", "p"));
    ASSERT_TRUE(first.Write(L"\\Android\\data\\x.bin", "x"));
    ASSERT_TRUE(first.Write(L"\\Android\\top.txt", "t"));
    ASSERT_TRUE(first.Write(L"\\LOST.DIR\\held", "held"));
    ASSERT_TRUE(first.Write(L"\\LOST.DIR\\free", "f"));
    ASSERT_TRUE(first.Write(L"\\Ringtones\\sub\\held.ogg", "held"));
    FileHolder holder;
    ASSERT_TRUE(
        holder.Hold({first.Path(L"\\Android\\obb\\game\\main.obb"), first.Path(L"\\LOST.DIR\\held"),
                     first.Path(L"\\Ringtones\\sub\\held.ogg")}));

    CleanupDriveRoot(RootOf(first));
    holder.Release();

    ExpectPaths(first, {
                           {L"\\Android\\obb\\game\\main.obb", true},
                           {L"\\Android\\obb\\game\\patch.obb", false},
                           {L"\\Android\\data", false},
                           {L"\\Android\\top.txt", false},
                           {L"\\LOST.DIR\\held", true},
                           {L"\\LOST.DIR\\free", false},
                           {L"\\Ringtones\\sub\\held.ogg", true},
                       });
    EXPECT_EQ(first.Read(L"\\Android\\obb\\game\\main.obb"), "held");
    EXPECT_EQ(ListDirectoryEntries(first.Path(L"\\Android")), std::vector<std::wstring>{L"obb"});
    EXPECT_EQ(CleanupLines(), Sorted({"cleanup: cleared LOST.DIR in K:\\"}));
}

TEST_F(Cleanup, OnePartitionGivenTwiceIsCleanedOnce) {
    // LOST.DIR is logged at every visit, so the log counts the visits.
    ASSERT_TRUE(first.MakeDir(L"\\LOST.DIR"));
    ASSERT_TRUE(second.MakeDir(L"\\LOST.DIR"));
    struct Case {
        std::wstring firstRoot, secondRoot;
        std::vector<std::string> lines;
    } cases[] = {
        {L"K:\\", L"k:\\", {"cleanup: cleared LOST.DIR in K:\\"}},
        {L"k:\\", L"K:\\", {"cleanup: cleared LOST.DIR in k:\\"}},
        {L"K:\\", L"", {"cleanup: cleared LOST.DIR in K:\\"}},
        {L"", L"L:\\", {"cleanup: cleared LOST.DIR in L:\\"}},
        {L"K:\\",
         L"L:\\",
         {"cleanup: cleared LOST.DIR in K:\\", "cleanup: cleared LOST.DIR in L:\\"}},
    };
    for (const Case& c : cases) {
        DeleteFileW((tempDir + L"\\quillmere_cpp_debug.log").c_str());
        CleanupAndroidLeftovers(c.firstRoot, c.secondRoot);
        EXPECT_EQ(CleanupLines(), Sorted(c.lines))
            << std::string(c.firstRoot.begin(), c.firstRoot.end()) << " / "
            << std::string(c.secondRoot.begin(), c.secondRoot.end());
    }
}

TEST_F(Cleanup, LinksAreNeverEnteredAndTheirTargetsSurvive) {
    const std::wstring outside = scratch + L"\\outside";
    struct Target {
        const wchar_t* relative;
        const char* content;
    } targets[] = {
        {L"\\apps\\app.apk", "apk"},
        {L"\\apps\\deep\\lib.so", "so"},
        {L"\\media\\song.mp3", "song"},
        {L"\\media\\.thumbnails\\t.jpg", "thumb"},
        {L"\\pics\\p.jpg", "pic"},
        {L"\\thumbs\\cache.jpg", "cache"},
        {L"\\lost\\keep.txt", "lost"},
        {L"\\trash\\trashed.txt", "trashed"},
        {L"\\music\\album\\track.flac", "flac"},
    };
    for (const Target& t : targets) {
        std::wstring path = outside + t.relative;
        ASSERT_TRUE(MakeFolders(path.substr(0, path.find_last_of(L'\\'))));
        ASSERT_TRUE(WriteBytes(path, t.content));
    }
    ASSERT_TRUE(MakeFolders(outside + L"\\media\\empty"));
    ASSERT_TRUE(MakeFolders(outside + L"\\pics\\empty"));
    ASSERT_TRUE(MakeFolders(outside + L"\\music\\empty"));

    ASSERT_TRUE(first.Write(L"\\Android\\own.txt", "o"));
    ASSERT_TRUE(MakeHostSymlink(outside + L"\\apps", first.Path(L"\\Android\\linked")));
    ASSERT_TRUE(MakeHostSymlink(outside + L"\\media", first.Path(L"\\Music")));
    ASSERT_TRUE(first.MakeDir(L"\\Pictures\\empty"));
    ASSERT_TRUE(MakeHostSymlink(outside + L"\\pics", first.Path(L"\\Pictures\\elsewhere")));
    ASSERT_TRUE(first.MakeDir(L"\\DCIM"));
    ASSERT_TRUE(MakeHostSymlink(outside + L"\\thumbs", first.Path(L"\\DCIM\\.thumbnails")));
    ASSERT_TRUE(first.Write(L"\\LOST.DIR\\own", "o"));
    ASSERT_TRUE(MakeHostSymlink(outside + L"\\lost", first.Path(L"\\LOST.DIR\\linked")));
    ASSERT_TRUE(MakeHostSymlink(outside + L"\\trash", first.Path(L"\\.Trash-1000")));
    ASSERT_TRUE(MakeHostSymlink(outside + L"\\music", first.Path(L"\\Podcasts")));

    CleanupDriveRoot(RootOf(first));

    for (const Target& t : targets) {
        EXPECT_EQ(ReadBytes(outside + t.relative), t.content)
            << std::string(t.relative, t.relative + wcslen(t.relative));
    }
    for (const wchar_t* empty : {L"\\media\\empty", L"\\pics\\empty", L"\\music\\empty"}) {
        EXPECT_TRUE(IsFolder(outside + empty)) << std::string(empty, empty + wcslen(empty));
    }
    // What is the drive's own still goes.
    ExpectPaths(first, {
                           {L"\\Android\\own.txt", false},
                           {L"\\Pictures\\empty", false},
                           {L"\\LOST.DIR\\own", false},
                       });
}

TEST_F(Cleanup, DeleteTreeReportsWhetherThePathItselfWent) {
    ASSERT_TRUE(first.Write(L"\\a\\file.txt", "f"));
    ASSERT_TRUE(first.Write(L"\\a\\b\\c\\d.txt", "d"));
    ASSERT_TRUE(
        SetFileAttributesW(first.Path(L"\\a\\b\\c\\d.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(first.Write(L"\\single.txt", "s"));
    ASSERT_TRUE(first.Write(L"\\held\\x\\in.txt", "held"));
    ASSERT_TRUE(first.Write(L"\\held\\y.txt", "y"));
    FileHolder holder;
    ASSERT_TRUE(holder.Hold({first.Path(L"\\held\\x\\in.txt")}));

    EXPECT_TRUE(DeleteTree(first.Path(L"\\single.txt")));
    EXPECT_TRUE(DeleteTree(first.Path(L"\\a")));
    EXPECT_FALSE(DeleteTree(first.Path(L"\\missing")));
    EXPECT_FALSE(DeleteTree(first.Path(L"\\held")));
    holder.Release();

    ExpectPaths(first, {
                           {L"\\single.txt", false},
                           {L"\\a", false},
                           {L"\\held\\x\\in.txt", true},
                           {L"\\held\\y.txt", false},
                       });
}

TEST_F(Cleanup, ListingShowsHiddenEntriesButNotTheDotEntries) {
    ASSERT_TRUE(first.Write(L"\\f\\visible.txt", "v"));
    ASSERT_TRUE(first.Write(L"\\f\\hidden.txt", "h"));
    ASSERT_TRUE(first.MakeDir(L"\\f\\sub"));
    ASSERT_TRUE(SetFileAttributesW(first.Path(L"\\f\\hidden.txt").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    std::vector<std::wstring> names = ListDirectoryEntries(first.Path(L"\\f"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"hidden.txt", L"sub", L"visible.txt"}));
    EXPECT_TRUE(ListDirectoryEntries(first.Path(L"\\none")).empty());
    EXPECT_TRUE(ListDirectoryEntries(first.Path(L"\\f\\sub")).empty());
    // A root with its backslash still lists.
    std::vector<std::wstring> root = ListDirectoryEntries(RootOf(first));
    EXPECT_NE(std::find(root.begin(), root.end(), L"f"), root.end());
}

TEST_F(Cleanup, EmptySubfoldersGoButFilesAndTheFolderStay) {
    ASSERT_TRUE(first.MakeDir(L"\\m\\a\\b\\c"));
    ASSERT_TRUE(first.Write(L"\\m\\k\\l\\keep.txt", "k"));
    ASSERT_TRUE(first.MakeDir(L"\\m\\k\\empty"));
    ASSERT_TRUE(first.Write(L"\\m\\top.txt", "t"));
    ASSERT_TRUE(first.MakeDir(L"\\solo\\x"));

    RemoveEmptySubdirectories(first.Path(L"\\m"));
    RemoveEmptySubdirectories(first.Path(L"\\solo"));
    ClearDirectory(first.Path(L"\\m\\k\\l"));

    ExpectPaths(first, {
                           {L"\\m\\a", false},
                           {L"\\m\\k\\empty", false},
                           {L"\\m\\k\\l", true},
                           {L"\\m\\k\\l\\keep.txt", false},
                           {L"\\m\\top.txt", true},
                           {L"\\solo", true},
                           {L"\\solo\\x", false},
                       });
}
