#include "cleanup/android_cleanup.h"
#include "sys/directory_tree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sys/handles.h"
#include "tests/support/debug_log_capture.h"
#include "tests/support/sim_drive.h"

namespace {

// Keeps files open without sharing from another process, as a media player or an indexer would.
struct FileHolder {
    ChildProcess child;
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
        child = ChildProcess(info);
        HANDLE waitFor[] = {ready.Get(), child.process.Get()};
        return WaitForMultipleObjects(2, waitFor, FALSE, 20000) == WAIT_OBJECT_0;
    }
    void Release() {
        if (child.process.Valid()) {
            SetEvent(stop.Get());
            WaitForSingleObject(child.process.Get(), 20000);
            child = ChildProcess();
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
    DebugLogCapture log{tempDir};
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

    std::vector<std::string> CleanupLines() const {
        return SortedLogMessages(log.Text(), "cleanup: ");
    }
};

void ExpectPaths(const SimDrive& drive, std::initializer_list<const wchar_t*> kept,
                 std::initializer_list<const wchar_t*> gone) {
    for (const wchar_t* path : kept) {
        EXPECT_TRUE(drive.Exists(path)) << "gone: " << testing::PrintToString(drive.Path(path));
    }
    for (const wchar_t* path : gone) {
        EXPECT_FALSE(drive.Exists(path)) << "kept: " << testing::PrintToString(drive.Path(path));
    }
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

TEST(ClassifyRootFolder, MatchesWholeNamesIgnoringOnlyAsciiCase) {
    // Among the others: a Cyrillic capital A, a fullwidth A, a dotted capital I, a dotless i.
    const std::pair<RootFolderKind, std::vector<const wchar_t*>> groups[] = {
        {RootFolderKind::Junk,
         {L"Android", L"android", L"ANDROID", L".thumbnails", L".THUMBNAILS", L".android_secure",
          L".trash-storage", L".Trash-1000", L".trash-1000", L".Trash-"}},
        {RootFolderKind::Other,
         {L".Trash", L".Trash_1000", L"Trash-1000", L"Androids", L"Android ", L"Andro",
          L"\x0410ndroid", L"\xFF21ndroid", L"LOST.DIR2", L"LOST_DIR", L"MUS\u0130C",
          L"P\u0131ctures", L"Downloads", L"ISO", L"Books", L"System Volume Information", L""}},
        {RootFolderKind::LostDir, {L"LOST.DIR", L"lost.dir"}},
        {RootFolderKind::Media,
         {L"Music", L"MUSIC", L"Podcasts", L"Ringtones", L"Alarms", L"Notifications", L"Pictures",
          L"Movies", L"Download", L"dcim", L"Documents", L"Audiobooks", L"Recordings"}},
    };
    for (const auto& [kind, names] : groups) {
        for (const wchar_t* name : names) {
            EXPECT_EQ(ClassifyRootFolder(name), kind) << testing::PrintToString(std::wstring(name));
        }
    }
}

TEST_F(Cleanup, RootsKeepUserDataAndLoseTheLeftovers) {
    const std::string photo = "\xFF\xD8 photo of the sea";
    ASSERT_TRUE(first.Write(L"\\Android", "a file, not a folder"));
    ASSERT_TRUE(first.Write(L"\\DCIM\\Camera\\IMG_0001.jpg", photo));
    ASSERT_TRUE(first.Write(L"\\Documents\\letter.txt", "Dear"));
    // \\Movies\\.thumbnails is a file named like the cache.
    ASSERT_TRUE(first.Put(
        {L"\\.Trash-1000\\files\\old.txt", L"\\.Trash-1000\\info\\old.txt.trashinfo",
         L"\\.Trash\\keep.txt", L"\\.trash-storage\\x.bin", L"\\DCIM\\.thumbnails\\t1.jpg",
         L"\\DCIM\\.thumbnails\\deeper\\t2.jpg", L"\\Pictures\\.nomedia", L"\\Movies\\.thumbnails",
         L"\\LOST.DIR\\0001", L"\\LOST.DIR\\sub\\0002", L"\\ISO\\Music\\song.mp3",
         L"\\System Volume Information\\IndexerVolumeGuid"},
        {L"\\Music\\a\\b\\c", L"\\Music\\d", L"\\Documents\\empty\\emptier", L"\\ISO\\Music\\empty",
         L"\\ISO\\Android\\empty", L"\\Books\\empty"}));
    ASSERT_TRUE(
        SetFileAttributesW(first.Path(L"\\Pictures\\.nomedia").c_str(), FILE_ATTRIBUTE_HIDDEN));

    ASSERT_TRUE(second.Put({L"\\android\\data\\com.app\\cache\\c.bin", L"\\android\\readonly.txt",
                            L"\\android\\hidden.txt", L"\\android\\locked\\inner.txt",
                            L"\\.thumbnails\\1.jpg", L"\\ISO\\Ventoy\\NOT.DEL"},
                           {L"\\lost.dir"}));
    ASSERT_TRUE(SetFileAttributesW(second.Path(L"\\android\\readonly.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(second.Path(L"\\android\\hidden.txt").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesW(second.Path(L"\\android\\locked").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    CleanupAndroidLeftovers(RootOf(first), RootOf(second));

    ExpectPaths(first,
                {L"\\Android", L"\\.Trash\\keep.txt", L"\\DCIM\\Camera\\IMG_0001.jpg",
                 L"\\Pictures\\.nomedia", L"\\Documents\\letter.txt", L"\\LOST.DIR",
                 L"\\ISO\\Music\\song.mp3", L"\\ISO\\Music\\empty", L"\\ISO\\Android\\empty",
                 L"\\Books\\empty", L"\\System Volume Information\\IndexerVolumeGuid"},
                {L"\\.Trash-1000", L"\\.trash-storage", L"\\DCIM\\.thumbnails", L"\\Music",
                 L"\\Movies", L"\\Documents\\empty", L"\\LOST.DIR\\0001", L"\\LOST.DIR\\sub"});
    EXPECT_EQ(first.Read(L"\\Android"), "a file, not a folder");
    EXPECT_EQ(first.Read(L"\\DCIM\\Camera\\IMG_0001.jpg"), photo);
    EXPECT_EQ(first.Read(L"\\Documents\\letter.txt"), "Dear");
    ExpectPaths(second, {L"\\lost.dir", L"\\ISO\\Ventoy\\NOT.DEL"},
                {L"\\android", L"\\.thumbnails"});
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

    ExpectPaths(
        first,
        {L"\\Android\\obb\\game\\main.obb", L"\\LOST.DIR\\held", L"\\Ringtones\\sub\\held.ogg"},
        {L"\\Android\\obb\\game\\patch.obb", L"\\Android\\data", L"\\Android\\top.txt",
         L"\\LOST.DIR\\free"});
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
        {L"K:", L"K:\\", {"cleanup: cleared LOST.DIR in K:\\"}},
        {L"", L"L:\\", {"cleanup: cleared LOST.DIR in L:\\"}},
        {L"K:\\",
         L"L:\\",
         {"cleanup: cleared LOST.DIR in K:\\", "cleanup: cleared LOST.DIR in L:\\"}},
    };
    for (const Case& c : cases) {
        log.Clear();
        CleanupAndroidLeftovers(c.firstRoot, c.secondRoot);
        EXPECT_EQ(CleanupLines(), Sorted(c.lines))
            << std::string(c.firstRoot.begin(), c.firstRoot.end()) << " / "
            << std::string(c.secondRoot.begin(), c.secondRoot.end());
    }
}

TEST_F(Cleanup, ARootGivenWithoutItsSeparatorIsStillTheRoot) {
    // "K:" alone names K's current directory: the cleanup must still act on K:\ only.
    ASSERT_TRUE(first.MakeDir(L"\\Android"));
    ASSERT_TRUE(first.MakeDir(L"\\user\\Android"));
    wchar_t previous[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(first.Path(L"\\user").c_str()));
    CleanupDriveRoot(first.Root());
    SetCurrentDirectoryW(previous);
    EXPECT_FALSE(first.Exists(L"\\Android"));
    EXPECT_TRUE(first.Exists(L"\\user\\Android"));
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
    ExpectPaths(first, {}, {L"\\Android\\own.txt", L"\\Pictures\\empty", L"\\LOST.DIR\\own"});
    // A link that is not entered stays. One in a place that is cleaned goes itself; Wine cannot
    // remove a host link to a folder that holds anything, so that shows on Windows only.
    ExpectPaths(first, {L"\\Music", L"\\Podcasts", L"\\Pictures\\elsewhere"}, {});
    if (!UnderWine()) {
        ExpectPaths(first, {}, {L"\\.Trash-1000", L"\\LOST.DIR\\linked", L"\\DCIM\\.thumbnails"});
    }
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

    ExpectPaths(first, {L"\\held\\x\\in.txt"}, {L"\\single.txt", L"\\a", L"\\held\\y.txt"});
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

    ExpectPaths(first, {L"\\m\\k\\l", L"\\m\\top.txt", L"\\solo"},
                {L"\\m\\a", L"\\m\\k\\empty", L"\\m\\k\\l\\keep.txt", L"\\solo\\x"});
}
