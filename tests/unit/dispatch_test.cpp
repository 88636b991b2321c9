#include "loaders/target.h"
#include "loaders/user_texts.h"

#include "ui/app_context.h"
#include "app/startup.h"
#include "tests/support/box_answerer.h"
#include "tests/support/import_swap.h"
#include "tests/support/sim_drive.h"
#include "tests/support/test_window.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <cwctype>
#include <thread>
#include <vector>

namespace {

TEST(DispatchTexts, AreTheUsersWordsAroundTheirValue) {
    EXPECT_EQ(TargetRefusalText(L"E:"),
              L"Целевой диск не подтверждён:\r\nE:\r\nнет \\efi\\Telvorn\\Boot\\NOT.DEL или не "
              L"найден PhysicalDrive.");
    EXPECT_EQ(TargetRefusalText(L"Q:").substr(28, 6), L"\r\nQ:\r\n");
}

// The program's window over a boot folder that may carry the marker; Q: is no volume.
bool OpenOnUnknownVolume(ProgramWindow& test) {
    test.context.bootDir = BuildDir() + L"\\drives\\dispatch_test\\efi\\Telvorn\\Boot";
    test.context.installerRoot = L"Q:";
    return MakeFolders(test.context.bootDir) && test.Create(true);
}

TEST(RunAction, RefusesAnUnconfirmedTargetWithoutGoingBusy) {
    for (bool marker : {false, true}) {
        SCOPED_TRACE(marker ? "marker present, no disk number" : "no marker");
        ProgramWindow test;
        ASSERT_TRUE(OpenOnUnknownVolume(test));
        std::wstring markerPath = test.context.bootDir + L"\\NOT.DEL";
        if (marker) {
            ASSERT_TRUE(WriteBytes(markerPath, ""));
        } else {
            DeleteFileW(markerPath.c_str());
        }
        BoxAnswerer answerer;
        answerer.Start();
        test.context.RunAction(4);
        EXPECT_EQ(answerer.Finish(), std::vector<std::wstring>{TargetRefusalText(L"Q:")});
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].caption, L"Quillmere");
        EXPECT_EQ(answerer.boxes[0].icon, "information");
        EXPECT_EQ(answerer.boxes[0].owner, test.window);
        EXPECT_FALSE(test.context.status.busy);
        EXPECT_EQ(test.context.status.runningAction, -1);
        EXPECT_FALSE(test.context.status.modalShown);
        EXPECT_TRUE(IsWindowEnabled(test.window));
        DeleteFileW(markerPath.c_str());
    }
}

// Disk numbers by drive letter for the volume query, which under Wine has no disk to answer
// with: "\\.\X:" opens as a stand-in handle and the extents query names the letter's disk.
struct DiskAnswers {
    static inline int installerDisk = -1;
    static inline int windowsDisk = -1;         // drive C, which holds Wine's Windows directory
    static inline int systemPartitionDisk = -1; // the volume SystemPartitionValue names
    static inline wchar_t openedLetter = 0;     // '#' for the system partition
    static inline decltype(&CreateFileW) realCreateFile = nullptr;

    ImportSwap open;
    ImportSwap query;
    DiskAnswers(int installer, int windows, int systemPartition = -1)
        : open("kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&OpenVolume)),
          query("kernel32.dll", "DeviceIoControl", reinterpret_cast<void*>(&QueryExtents)) {
        installerDisk = installer;
        windowsDisk = windows;
        systemPartitionDisk = systemPartition;
        realCreateFile = reinterpret_cast<decltype(&CreateFileW)>(open.saved);
    }

    static HANDLE WINAPI OpenVolume(LPCWSTR path, DWORD access, DWORD share,
                                    LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                    HANDLE model) {
        if (wcsncmp(path, L"\\\\.\\", 4) == 0 && wcslen(path) == 6 && path[5] == L':') {
            openedLetter = static_cast<wchar_t>(towupper(path[4]));
            return CreateEventW(nullptr, FALSE, FALSE, nullptr);
        }
        if (wcscmp(path, L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume9") == 0) {
            openedLetter = L'#';
            return CreateEventW(nullptr, FALSE, FALSE, nullptr);
        }
        return realCreateFile(path, access, share, security, disposition, flags, model);
    }
    static BOOL WINAPI QueryExtents(HANDLE, DWORD code, LPVOID, DWORD, LPVOID out, DWORD outSize,
                                    LPDWORD returned, LPOVERLAPPED) {
        const int disk = openedLetter == L'C'   ? windowsDisk
                         : openedLetter == L'#' ? systemPartitionDisk
                                                : installerDisk;
        if (code != IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS || disk < 0 ||
            outSize < sizeof(VOLUME_DISK_EXTENTS)) {
            return FALSE;
        }
        auto* answer = static_cast<VOLUME_DISK_EXTENTS*>(out);
        *answer = {};
        answer->NumberOfDiskExtents = 1;
        answer->Extents[0].DiskNumber = static_cast<DWORD>(disk);
        *returned = sizeof(VOLUME_DISK_EXTENTS);
        return TRUE;
    }
};

// The marker present and the installer's disk known: the target is confirmed.
bool OpenConfirmed(ProgramWindow& test) {
    return OpenOnUnknownVolume(test) && WriteBytes(test.context.bootDir + L"\\NOT.DEL", "");
}

TEST(RunAction, AnIndexWithoutALoaderGoesBusyPaintsAndRunsNothing) {
    DiskAnswers disks(3, -1);
    ASSERT_TRUE(disks.open.slot && disks.query.slot);
    for (int32_t index : {7, -1}) {
        SCOPED_TRACE(index);
        ProgramWindow test;
        ASSERT_TRUE(OpenConfirmed(test));
        BoxAnswerer answerer;
        answerer.Start();
        test.context.RunAction(index);
        EXPECT_TRUE(answerer.Finish().empty());
        EXPECT_FALSE(test.context.status.busy);
        EXPECT_EQ(test.context.status.runningAction, -1);
        // The frame painted last is the one RunAction put on screen before the action: an
        // action that pumps no messages would otherwise run behind the previous look.
        EXPECT_TRUE(test.context.keptFrame.shows.status.busy);
        EXPECT_EQ(test.context.keptFrame.shows.status.runningAction, index);
    }
}

// Windows Setup's record of its system partition, as Windows keeps it, for one test.
struct SystemPartitionValue {
    bool set = false;
    SystemPartitionValue() {
        const wchar_t value[] = L"\\Device\\HarddiskVolume9";
        set = RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", L"SystemPartition", REG_SZ,
                              value, sizeof value) == ERROR_SUCCESS;
    }
    ~SystemPartitionValue() {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", L"SystemPartition");
    }
};

TEST(RunAction, RefusesTheDiskWindowsStartsFrom) {
    SystemPartitionValue systemPartition;
    ASSERT_TRUE(systemPartition.set);
    const struct {
        const char* name;
        int windowsDisk, systemPartitionDisk;
    } rows[] = {{"the Windows directory's disk", 3, -1}, {"the system partition's disk", 0, 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DiskAnswers disks(3, row.windowsDisk, row.systemPartitionDisk);
        ASSERT_TRUE(disks.open.slot && disks.query.slot);
        ProgramWindow test;
        ASSERT_TRUE(OpenConfirmed(test));
        test.context.status.uefiLoader = 1;
        BoxAnswerer answerer;
        answerer.Start();
        test.context.RunAction(4);
        EXPECT_EQ(answerer.Finish(), std::vector<std::wstring>{WindowsDiskText(L"Q:")});
        EXPECT_FALSE(test.context.status.busy);
        EXPECT_EQ(test.context.status.uefiLoader, 1);
    }
}

TEST(RunAction, DoesNothingWhileBusy) {
    ProgramWindow test;
    ASSERT_TRUE(OpenOnUnknownVolume(test));
    test.context.status.busy = true;
    test.context.status.runningAction = 1;
    // A box would hold RunAction until answered: once it has returned, the answerer has seen
    // every box it showed.
    BoxAnswerer answerer;
    answerer.Start();
    test.context.RunAction(4);
    EXPECT_EQ(answerer.Finish(), std::vector<std::wstring>{});
    EXPECT_TRUE(test.context.status.busy);
    EXPECT_EQ(test.context.status.runningAction, 1);
}

TEST(RunAction, EndsTheSessionHoldBeforeTheResultIsShown) {
    DiskAnswers disks(3, -1);
    ASSERT_TRUE(disks.open.slot && disks.query.slot);
    ProgramWindow test;
    ASSERT_TRUE(OpenConfirmed(test));
    LRESULT underTheBox = FALSE;
    BoxAnswerer answerer;
    answerer.onBox = [&](const MessageBoxInfo&) {
        underTheBox = SendMessageW(test.window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    };
    answerer.Start();
    test.context.RunAction(4); // its sources are missing: the switch ends with a text
    EXPECT_EQ(answerer.Finish().size(), 1u);
    EXPECT_EQ(underTheBox, TRUE) << "a user away from the result would block the logoff";
}

TEST(ShowModalMessage, LeavesTheModalFlagAsItFoundIt) {
    for (bool alreadyShown : {false, true}) {
        SCOPED_TRACE(alreadyShown ? "already shown" : "not shown before");
        ProgramWindow test;
        ASSERT_TRUE(OpenOnUnknownVolume(test));
        test.context.status.modalShown = alreadyShown;
        BoxAnswerer answerer;
        answerer.Start();
        test.context.ShowModalMessage(L"Загрузчик изменён: UEFI Xorboot", MB_ICONINFORMATION);
        EXPECT_EQ(answerer.Finish(), std::vector<std::wstring>{L"Загрузчик изменён: UEFI Xorboot"});
        ASSERT_EQ(answerer.boxes.size(), 1u);
        EXPECT_EQ(answerer.boxes[0].caption, L"Quillmere");
        EXPECT_EQ(answerer.boxes[0].icon, "information");
        EXPECT_EQ(test.context.status.modalShown, alreadyShown);
        EXPECT_TRUE(IsWindowEnabled(test.window));
    }
}

} // namespace
