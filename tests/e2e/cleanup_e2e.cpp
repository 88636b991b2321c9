// The real program's start on a drive full of user data and Android leftovers: every file of the
// user survives byte for byte, every leftover that must go is gone, and the log says so.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sys/handles.h"
#include "tests/support/app_runner.h"
#include "tests/support/debug_log_capture.h"
#include "tests/support/sim_drive.h"
#include "tests/support/window_driver.h"

namespace {

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

uint64_t Checksum(const std::string& bytes) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return hash;
}

// Deterministic filler so large files differ everywhere, not only at their start.
std::string Filler(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

// Every file below `relative`, by path relative to the drive root, with its checksum. Walked here
// independently of the code under test.
void Walk(const std::wstring& drive, const std::wstring& relative,
          std::map<std::wstring, uint64_t>& files, std::set<std::wstring>& folders) {
    WIN32_FIND_DATAW data;
    FindHandle search(FindFirstFileW((drive + relative + L"\\*").c_str(), &data));
    if (!search.Valid()) {
        return;
    }
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        std::wstring child = relative + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders.insert(child);
            Walk(drive, child, files, folders);
        } else {
            files[child] = Checksum(ReadBytes(drive + child));
        }
    } while (FindNextFileW(search.Get(), &data));
}

bool Below(const std::wstring& path, const std::vector<std::wstring>& prefixes) {
    for (const std::wstring& prefix : prefixes) {
        if (path == prefix || path.rfind(prefix + L"\\", 0) == 0) {
            return true;
        }
    }
    return false;
}

struct Partition {
    SimDrive drive;
    // Folders whose whole content is a leftover (the folder itself may stay, as LOST.DIR does).
    std::vector<std::wstring> leftovers;
    std::map<std::wstring, uint64_t> kept;

    void Record() {
        std::map<std::wstring, uint64_t> files;
        std::set<std::wstring> folders;
        Walk(drive.Root(), L"", files, folders);
        for (const auto& [path, sum] : files) {
            if (!Below(path, leftovers)) {
                kept[path] = sum;
            }
        }
    }
};

void LayOutUserData(const SimDrive& d, uint32_t seed) {
    struct File {
        const wchar_t* path;
        size_t size;
    } files[] = {
        {L"\\ISO\\Ventoy\\ventoy.json", 300},
        {L"\\ISO\\Ventoy\\themes\\blur\\theme.txt", 900},
        {L"\\ISO\\Linux\\debian-12.5.0-amd64-netinst.iso", 3 << 20},
        {L"\\ISO\\Windows\\Win10_22H2_Russian_x64.iso", 1 << 20},
        {L"\\ISO\\Music\\mix.mp3", 40000},
        {L"\\ISO\\Android\\android-x86_64-9.0-r2.iso", 200000},
        {L"\\Documents\\Work\\report 2023.docx", 25000},
        {L"\\Documents\\Отчёт.txt", 120},
        {L"\\Books\\Толстой\\Война и мир.fb2", 60000},
        {L"\\DCIM\\Camera\\IMG_20230801_101500.jpg", 150000},
        {L"\\DCIM\\Camera\\2022\\IMG_20220101_000001.jpg", 90000},
        {L"\\Pictures\\Holidays\\2019\\beach.jpg", 70000},
        {L"\\Pictures\\Holidays\\desktop.ini", 80},
        {L"\\Music\\Artist\\Album\\01 Intro.flac", 110000},
        {L"\\Download\\setup.exe", 50000},
        {L"\\Android.txt", 10},
        {L"\\LOST.DIR.txt", 10},
    };
    for (const File& f : files) {
        ASSERT_TRUE(d.Write(f.path, Filler(f.size, seed++))) << Narrow(f.path);
    }
    ASSERT_TRUE(SetFileAttributesW(d.Path(L"\\Pictures\\Holidays\\desktop.ini").c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(
        SetFileAttributesW(d.Path(L"\\Documents\\Отчёт.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(d.MakeDir(L"\\Books\\empty"));
    ASSERT_TRUE(d.MakeDir(L"\\ISO\\Music\\empty"));
}

class CleanupAtStart : public ::testing::Test {
  protected:
    Partition installer;
    Partition data;
    std::wstring scratch = BuildDir() + L"\\scratch\\cleanup-e2e";
    std::wstring tempDir = scratch + L"\\temp";
    DebugLogCapture log{tempDir}; // the program inherits the test's environment

    void SetUp() override {
        ASSERT_TRUE(RemoveTreeForTest(scratch));
        ASSERT_TRUE(MakeFolders(tempDir));
        ASSERT_TRUE(installer.drive.Map(L'G', L"cleanup_installer"));
        ASSERT_TRUE(data.drive.Map(L'H', L"cleanup_data"));
        // The data partition is the first letter from C with the marker: nothing before H may
        // carry one, or the program would clean another drive.
        for (wchar_t letter = L'C'; letter < L'H'; ++letter) {
            std::wstring marker = std::wstring(1, letter) + L":\\ISO\\Ventoy\\NOT.DEL";
            ASSERT_FALSE(PathExists(marker)) << Narrow(marker);
        }
    }
    void TearDown() override { RemoveTreeForTest(scratch); }

    std::vector<std::string> CleanupLines() const {
        return SortedLogMessages(log.Text(), "cleanup: ");
    }
};

} // namespace

TEST_F(CleanupAtStart, NothingOfTheUserIsLost) {
    const SimDrive& g = installer.drive;
    const SimDrive& h = data.drive;
    ASSERT_TRUE(LayOutInstaller(g, L"quillmere-testdisk"));
    ASSERT_TRUE(LayOutLoaderSources(g));
    ASSERT_TRUE(g.Write(L"\\efi\\Telvorn\\Boot\\bootstate.txt", "legacy=1\nuefi=0\n"));
    ASSERT_TRUE(LayOutDataMarker(h));
    ASSERT_NO_FATAL_FAILURE(LayOutUserData(h, 1));
    ASSERT_TRUE(g.Write(L"\\Pictures\\wallpaper.png", Filler(30000, 99)));

    // Leftovers of the installer partition. DCIM holds only a cache: it becomes empty and goes.
    ASSERT_TRUE(g.Put({L"\\Android\\data\\com.android.providers.media\\albumthumbs\\1",
                       L"\\Android\\obb\\readme.txt", L"\\.Trash-1000\\files\\old.iso",
                       L"\\LOST.DIR\\0000001", L"\\DCIM\\.thumbnails\\1690000000000.jpg",
                       L"\\Pictures\\.thumbnails\\x.jpg"},
                      {L"\\Music\\Playlists\\Empty"}));
    ASSERT_TRUE(SetFileAttributesW(g.Path(L"\\Android\\obb\\readme.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    installer.leftovers = {L"\\Android", L"\\.Trash-1000", L"\\LOST.DIR",
                           L"\\DCIM",    L"\\Music",       L"\\Pictures\\.thumbnails"};

    // Leftovers of the data partition, names in other letter cases.
    // \\ALARMS\\.thumbnails is a file named like the cache; the cache below Camera is not at the
    // media level.
    ASSERT_TRUE(h.Put({L"\\android\\media\\com.whatsapp\\voice.opus",
                       L"\\.thumbnails\\.database_uuid", L"\\.android_secure\\app.asec",
                       L"\\.trash-storage\\x", L"\\DCIM\\.thumbnails\\a.jpg",
                       L"\\DCIM\\Camera\\.thumbnails\\deeper.jpg", L"\\ALARMS\\.thumbnails"},
                      {L"\\lost.dir", L"\\Movies\\a\\b", L"\\Documents\\Empty",
                       L"\\Pictures\\Holidays\\Nothing"}));
    data.leftovers = {L"\\android",        L"\\.thumbnails",       L"\\.android_secure",
                      L"\\.trash-storage", L"\\DCIM\\.thumbnails", L"\\ALARMS",
                      L"\\Movies",         L"\\Documents\\Empty",  L"\\Pictures\\Holidays\\Nothing",
                      L"\\lost.dir"};

    installer.Record();
    data.Record();
    ASSERT_GT(installer.kept.size(), 10u);
    ASSERT_GT(data.kept.size(), 15u);
    ASSERT_TRUE(data.kept.count(L"\\DCIM\\Camera\\.thumbnails\\deeper.jpg"));

    AppRun app;
    // Both partitions on one known disk: only then is the data partition cleaned.
    ASSERT_TRUE(app.Start(InstalledProgram(g, L"quillmere-testdisk"),
                          {{L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"1"}}));
    HWND window = WaitForAppWindow(app.processId, 30000);
    ASSERT_NE(window, nullptr) << "the program did not open its window";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.Wait(20000), 0);

    for (Partition* p : {&installer, &data}) {
        std::map<std::wstring, uint64_t> after;
        std::set<std::wstring> folders;
        Walk(p->drive.Root(), L"", after, folders);
        for (const auto& [path, sum] : p->kept) {
            auto found = after.find(path);
            ASSERT_NE(found, after.end()) << "lost " << p->drive.Root() << Narrow(path);
            EXPECT_EQ(found->second, sum) << "changed " << p->drive.Root() << Narrow(path);
        }
        for (const auto& [path, sum] : after) {
            EXPECT_TRUE(p->kept.count(path)) << "left over " << p->drive.Root() << Narrow(path);
        }
        for (const std::wstring& leftover : p->leftovers) {
            bool lostDir = leftover == L"\\LOST.DIR" || leftover == L"\\lost.dir";
            EXPECT_EQ(folders.count(leftover), lostDir ? 1u : 0u)
                << p->drive.Root() << Narrow(leftover);
        }
        for (const wchar_t* kept : {L"\\Books\\empty", L"\\ISO\\Music\\empty", L"\\DCIM\\Camera"}) {
            if (p == &data) {
                EXPECT_TRUE(folders.count(kept)) << "removed " << Narrow(kept);
            }
        }
    }
    EXPECT_TRUE(IsFolder(h.Path(L"\\lost.dir")));
    DWORD lostDir = GetFileAttributesW(g.Path(L"\\LOST.DIR").c_str());
    EXPECT_EQ(lostDir & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(GetFileAttributesW(h.Path(L"\\Documents\\Отчёт.txt").c_str()) &
                  FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));

    std::vector<std::string> expected = {
        "cleanup: removed G:\\Android",        "cleanup: removed G:\\.Trash-1000",
        "cleanup: cleared LOST.DIR in G:\\",   "cleanup: removed G:\\Music",
        "cleanup: removed G:\\DCIM",           "cleanup: removed H:\\android",
        "cleanup: removed H:\\.thumbnails",    "cleanup: removed H:\\.android_secure",
        "cleanup: removed H:\\.trash-storage", "cleanup: cleared LOST.DIR in H:\\",
        "cleanup: removed H:\\ALARMS",         "cleanup: removed H:\\Movies",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(CleanupLines(), expected);
}
