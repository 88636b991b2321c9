// The loader actions run in this process against a simulated drive K: with the stand-in
// boot-sector tool; a second thread answers their message boxes and records the texts.
#include "app/app_context.h"
#include "sys/handles.h"
#include "tests/support/box_answerer.h"
#include "tests/support/sim_drive.h"
#include "tests/support/test_window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Install = void (AppContext::*)();

const wchar_t* const Boot = L"\\efi\\Telvorn\\Boot";
const wchar_t* const StandInVariables[] = {
    L"QUILLMERE_STANDIN_LOG",        L"QUILLMERE_STANDIN_EVENTS",   L"QUILLMERE_STANDIN_WATCH",
    L"QUILLMERE_STANDIN_SLEEP_MS",   L"QUILLMERE_STANDIN_EXIT_MBR", L"QUILLMERE_STANDIN_EXIT_PBR",
    L"QUILLMERE_STANDIN_DISK_IMAGE",
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string Ascii(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// Removes everything below `folder`, read-only files included.
bool EmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search.Valid()) {
        return true;
    }
    bool emptied = true;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        std::wstring path = folder + L"\\" + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            emptied = EmptyFolder(path) && RemoveDirectoryW(path.c_str()) && emptied;
        } else {
            emptied = DeleteFileW(path.c_str()) && emptied;
        }
    } while (FindNextFileW(search.Get(), &found));
    return emptied;
}

class LoaderActions : public ::testing::Test {
  protected:
    static SimDrive drive;
    ProgramWindow program;
    AppContext& context = program.context;
    std::wstring logPath = BuildDir() + L"\\scratch\\loaders-unit-tool.log";
    std::wstring eventsPath = BuildDir() + L"\\scratch\\loaders-unit-events.log";

    static void SetUpTestSuite() { ASSERT_TRUE(drive.Map(L'K', L"loaders-unit")); }
    static void TearDownTestSuite() { drive.Unmap(); }

    // A fresh drive and context for one case; the tests with tables call it per row. The drive
    // stays mapped: emptying it from this side is much quicker than mapping it again.
    void Fresh() {
        program.Destroy();
        context = AppContext();
        ASSERT_TRUE(drive.letter != 0);
        ASSERT_TRUE(EmptyFolder(drive.Root()));
        ASSERT_TRUE(drive.Write(std::wstring(Boot) + L"\\NOT.DEL", ""));
        ASSERT_TRUE(
            CopyProgram(HelperPath(L"bootice"), drive.Path(std::wstring(Boot) + L"\\bootice.exe")));
        ASSERT_TRUE(LayOutLoaderSources(drive));
        MakeFolders(BuildDir() + L"\\scratch");
        DeleteFileW(logPath.c_str());
        DeleteFileW(eventsPath.c_str());
        ClearStandInVariables();
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_LOG", logPath.c_str());
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_EVENTS", eventsPath.c_str());
        context.installerRoot = drive.Root();
        context.bootDir = drive.Root() + Boot;
        context.bootIcePath = context.bootDir + L"\\bootice.exe";
        ASSERT_TRUE(program.Create(false));
    }

    void TearDown() override { ClearStandInVariables(); }

    static void ClearStandInVariables() {
        for (const wchar_t* name : StandInVariables) {
            SetEnvironmentVariableW(name, nullptr);
        }
    }

    std::vector<std::wstring> Run(Install install) {
        BoxAnswerer answerer;
        answerer.Start();
        (context.*install)();
        std::vector<std::wstring> texts = answerer.Finish();
        for (const MessageBoxInfo& box : answerer.boxes) {
            EXPECT_EQ(box.caption, L"Quillmere");
            EXPECT_EQ(box.icon, "information");
        }
        return texts;
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
    // A fresh drive with an earlier loader's root files and state file, as the context knows it.
    void FreshAfterLegacy(const std::string& state, int32_t legacy) {
        ASSERT_NO_FATAL_FAILURE(Fresh());
        ASSERT_NO_FATAL_FAILURE(PutRootFiles());
        ASSERT_NO_FATAL_FAILURE(SetState(state));
        context.legacyLoader = legacy;
    }
    void PutRootFiles() const {
        ASSERT_TRUE(drive.Write(L"\\bootmgr", "old bootmgr"));
        ASSERT_TRUE(drive.Write(L"\\grldr", "old grldr"));
    }
};

SimDrive LoaderActions::drive;

struct LegacyCase {
    int32_t stateValue; // recorded in bootstate.txt and the context
    Install install;
    const char* mbr;
    const char* pbr;
    const wchar_t* name;
    const wchar_t* copiedRootFile; // null for XorBoot
    const wchar_t* source;
};

const LegacyCase LegacyCases[] = {
    {0, &AppContext::InstallXorBootLegacy,
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /mbr /restore "
     "/file=K:\\efi\\Telvorn\\Boot\\xor\\xmbr.bin /keep_dpt /quiet",
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /pbr /restore "
     "/file=K:\\efi\\Telvorn\\Boot\\xor\\xpbr.bin /keep_bpb /quiet",
     L"XorBoot", nullptr, nullptr},
    {1, &AppContext::InstallBootmgrLegacy,
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /mbr /install /type=nt60 /quiet",
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /pbr /install /type=bootmgr /quiet",
     L"Bootmgr", L"\\bootmgr", L"\\mgr\\bootmgr"},
    {2, &AppContext::InstallGrub4DosLegacy,
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /mbr /install /type=GRUB4DOS /quiet",
     "K:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=K: /pbr /install /type=GRUB4DOS /quiet",
     L"Grub4Dos", L"\\grldr", L"\\g4d\\grldr"},
};

TEST_F(LoaderActions, LegacyToolRunsFollowEachOtherThenTheStateIsRecorded) {
    for (const LegacyCase& c : LegacyCases) {
        SCOPED_TRACE(testing::Message() << c.name);
        ASSERT_NO_FATAL_FAILURE(FreshAfterLegacy("legacy=3\nuefi=2\n", 3));
        context.uefiLoader = 0; // the file, not the context, gives the other mode's value
        // A slow tool: a run started before the previous one ended would show in the events.
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_SLEEP_MS", L"300");
        std::wstring statePath = context.bootDir + L"\\bootstate.txt";
        SetEnvironmentVariableW(L"QUILLMERE_STANDIN_WATCH", statePath.c_str());

        std::vector<std::wstring> boxes = Run(c.install);

        EXPECT_EQ(boxes, std::vector<std::wstring>{L"Загрузчик изменён: " + std::wstring(c.name)});
        EXPECT_EQ(ToolLog(), (std::vector<std::string>{c.mbr, c.pbr})) << c.stateValue;
        EXPECT_EQ(Events(),
                  (std::vector<std::string>{"begin mbr watch=legacy=3\\nuefi=2\\n", "end mbr 0",
                                            "begin pbr watch=legacy=3\\nuefi=2\\n", "end pbr 0"}))
            << c.stateValue;
        EXPECT_EQ(State(), "legacy=" + std::to_string(c.stateValue) + "\nuefi=2\n");
        EXPECT_EQ(context.legacyLoader, c.stateValue);
        EXPECT_EQ(context.uefiLoader, 0);
        for (const wchar_t* root : {L"\\bootmgr", L"\\grldr"}) {
            bool copied = c.copiedRootFile && std::wstring(root) == c.copiedRootFile;
            EXPECT_EQ(drive.Exists(root), copied) << c.stateValue << Ascii(root);
            if (copied) {
                EXPECT_EQ(drive.Read(root), Source(c.source));
            }
        }
    }
}

TEST_F(LoaderActions, FirstLegacyInstallWritesTheSeventeenByteState) {
    ASSERT_NO_FATAL_FAILURE(Fresh());
    std::vector<std::wstring> boxes = Run(&AppContext::InstallGrub4DosLegacy);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Загрузчик изменён: Grub4Dos"});
    EXPECT_EQ(State(), std::string("legacy=2\nuefi=-1\n", 17));
    // Neither root file was there before: the missing deletions pass unnoticed.
    EXPECT_EQ(drive.Read(L"\\grldr"), Source(L"\\g4d\\grldr"));
}

TEST_F(LoaderActions, LegacyMissingSourceStopsBeforeTheDriveChanges) {
    struct Case {
        Install install;
        const wchar_t* missing;
    } cases[] = {
        {&AppContext::InstallXorBootLegacy, L"\\xor\\xmbr.bin"},
        {&AppContext::InstallXorBootLegacy, L"\\xor\\xpbr.bin"},
        {&AppContext::InstallBootmgrLegacy, L"\\mgr\\bootmgr"},
        {&AppContext::InstallGrub4DosLegacy, L"\\g4d\\grldr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "missing " << c.missing);
        ASSERT_NO_FATAL_FAILURE(FreshAfterLegacy("legacy=1\nuefi=1\n", 1));
        ASSERT_TRUE(DeleteFileW((context.bootDir + c.missing).c_str()));

        std::vector<std::wstring> boxes = Run(c.install);

        EXPECT_EQ(boxes, std::vector<std::wstring>{L"Файлы загрузчика не найдены:\r\nK:" +
                                                   std::wstring(Boot) + c.missing});
        EXPECT_TRUE(ToolLog().empty()) << Ascii(c.missing);
        EXPECT_EQ(drive.Read(L"\\bootmgr"), "old bootmgr");
        EXPECT_EQ(drive.Read(L"\\grldr"), "old grldr");
        EXPECT_EQ(State(), "legacy=1\nuefi=1\n");
        EXPECT_EQ(context.legacyLoader, 1);
    }
}

TEST_F(LoaderActions, LegacyCopyThatCannotReplaceTheRootFileStopsBeforeTheTool) {
    for (const LegacyCase& c : LegacyCases) {
        for (bool folderInTheWay : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << c.name << (folderInTheWay ? ": folder in the way" : ": read-only"));
            if (!c.copiedRootFile) {
                continue;
            }
            ASSERT_NO_FATAL_FAILURE(Fresh());
            ASSERT_NO_FATAL_FAILURE(PutRootFiles());
            if (folderInTheWay) {
                ASSERT_TRUE(DeleteFileW(drive.Path(c.copiedRootFile).c_str()));
                ASSERT_TRUE(drive.MakeDir(c.copiedRootFile));
            } else {
                ASSERT_NO_FATAL_FAILURE(MakeReadOnly(c.copiedRootFile));
            }

            std::vector<std::wstring> boxes = Run(c.install);

            EXPECT_EQ(boxes,
                      std::vector<std::wstring>{L"Не удалось скопировать файл загрузчика:\r\nK:" +
                                                std::wstring(c.copiedRootFile)})
                << folderInTheWay;
            EXPECT_TRUE(ToolLog().empty());
            if (folderInTheWay) {
                EXPECT_TRUE(IsFolder(drive.Path(c.copiedRootFile)));
            } else {
                EXPECT_EQ(drive.Read(c.copiedRootFile), "old " + Ascii(c.copiedRootFile).substr(1));
            }
            // The previous loader's root file is still there for its boot records.
            const wchar_t* other =
                std::wstring(c.copiedRootFile) == L"\\bootmgr" ? L"\\grldr" : L"\\bootmgr";
            EXPECT_EQ(drive.Read(other), "old " + Ascii(other).substr(1));
            EXPECT_FALSE(drive.Exists(std::wstring(Boot) + L"\\bootstate.txt"));
            EXPECT_EQ(context.legacyLoader, -1);
        }
    }
}

TEST_F(LoaderActions, LegacyReadOnlyRootFileOfAnotherLoaderStaysAndTheInstallGoesOn) {
    struct Case {
        Install install;
        const wchar_t* readOnly;
        const wchar_t* copied;
        const wchar_t* source;
    } cases[] = {
        {&AppContext::InstallGrub4DosLegacy, L"\\bootmgr", L"\\grldr", L"\\g4d\\grldr"},
        {&AppContext::InstallBootmgrLegacy, L"\\grldr", L"\\bootmgr", L"\\mgr\\bootmgr"},
        {&AppContext::InstallXorBootLegacy, L"\\grldr", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "read-only " << c.readOnly << ", copied "
                                        << (c.copied ? c.copied : L"nothing"));
        ASSERT_NO_FATAL_FAILURE(Fresh());
        ASSERT_NO_FATAL_FAILURE(PutRootFiles());
        ASSERT_NO_FATAL_FAILURE(MakeReadOnly(c.readOnly));

        std::vector<std::wstring> boxes = Run(c.install);

        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].rfind(L"Загрузчик изменён: ", 0), 0u) << boxes[0].size();
        EXPECT_EQ(ToolLog().size(), 2u);
        EXPECT_EQ(drive.Read(c.readOnly), "old " + Ascii(c.readOnly).substr(1));
        if (c.copied) {
            EXPECT_EQ(drive.Read(c.copied), Source(c.source));
        }
    }
}

TEST_F(LoaderActions, LegacyToolFailureStopsWithItsCode) {
    struct Failure {
        int legacyCase;          // row of LegacyCases
        const wchar_t* variable; // null: the tool is missing
        const wchar_t* code;
        const wchar_t* message;
        size_t runs;
    } failures[] = {
        {0, L"QUILLMERE_STANDIN_EXIT_MBR", L"5", L"Ошибка записи MBR (код 5).", 1},
        {1, L"QUILLMERE_STANDIN_EXIT_MBR", L"-3", L"Ошибка записи MBR (код -3).", 1},
        {2, L"QUILLMERE_STANDIN_EXIT_MBR", L"1", L"Ошибка записи MBR (код 1).", 1},
        {0, L"QUILLMERE_STANDIN_EXIT_PBR", L"7", L"Ошибка записи PBR (код 7).", 2},
        {1, L"QUILLMERE_STANDIN_EXIT_PBR", L"2", L"Ошибка записи PBR (код 2).", 2},
        {2, L"QUILLMERE_STANDIN_EXIT_PBR", L"255", L"Ошибка записи PBR (код 255).", 2},
        {1, nullptr, nullptr, L"Ошибка записи MBR (код -1).", 0},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(testing::Message() << f.message);
        const LegacyCase& c = LegacyCases[f.legacyCase];
        ASSERT_NO_FATAL_FAILURE(FreshAfterLegacy("legacy=3\nuefi=0\n", 3));
        if (f.variable) {
            SetEnvironmentVariableW(f.variable, f.code);
        } else {
            ASSERT_TRUE(DeleteFileW(context.bootIcePath.c_str()));
        }

        std::vector<std::wstring> boxes = Run(c.install);

        EXPECT_EQ(boxes, std::vector<std::wstring>{f.message}) << c.stateValue;
        std::vector<std::string> expectedRuns = {c.mbr, c.pbr};
        expectedRuns.resize(f.runs);
        EXPECT_EQ(ToolLog(), expectedRuns) << c.stateValue;
        EXPECT_EQ(State(), "legacy=3\nuefi=0\n");
        EXPECT_EQ(context.legacyLoader, 3);
        // Nothing is removed before both records are written; only the action's own root file
        // is already the new one.
        for (const wchar_t* root : {L"\\bootmgr", L"\\grldr"}) {
            bool own = c.copiedRootFile && std::wstring(root) == c.copiedRootFile;
            EXPECT_EQ(drive.Read(root), own ? Source(c.source) : "old " + Ascii(root).substr(1))
                << c.stateValue << Ascii(root);
        }
    }
}

TEST_F(LoaderActions, UnwritableStateFileIsToldWithTheSuccess) {
    ASSERT_NO_FATAL_FAILURE(Fresh());
    ASSERT_TRUE(drive.MakeDir(std::wstring(Boot) + L"\\bootstate.txt"));
    EXPECT_EQ(Run(&AppContext::InstallXorBootLegacy),
              std::vector<std::wstring>{
                  L"Загрузчик изменён: XorBoot\r\nНе удалось записать bootstate.txt."});
    EXPECT_EQ(context.legacyLoader, 0);
}

// Loader files taken from an ISO are read-only; the copies must not be, or the next install of
// the same loader would stop at its own copy.
TEST_F(LoaderActions, TwoInstallsInARowFromReadOnlySources) {
    ASSERT_NO_FATAL_FAILURE(Fresh());
    for (const wchar_t* source :
         {L"\\mgr\\bootmgr", L"\\mgr\\UEFI\\bootx64.efi", L"\\mgr\\UEFI\\bootia32.efi"}) {
        ASSERT_NO_FATAL_FAILURE(MakeReadOnly(std::wstring(Boot) + source));
    }
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Run(&AppContext::InstallBootmgrLegacy),
                  std::vector<std::wstring>{L"Загрузчик изменён: Bootmgr"})
            << round;
        EXPECT_EQ(Run(&AppContext::InstallBootmgrUefi),
                  std::vector<std::wstring>{L"Загрузчик изменён: UEFI Bootmgr"})
            << round;
    }
    for (const wchar_t* copy :
         {L"\\bootmgr", L"\\efi\\boot\\bootx64.efi", L"\\efi\\boot\\bootia32.efi"}) {
        EXPECT_EQ(GetFileAttributesW(drive.Path(copy).c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
            << Ascii(copy);
    }
    EXPECT_EQ(drive.Read(L"\\bootmgr"), Source(L"\\mgr\\bootmgr"));
}

struct UefiCase {
    int32_t stateValue; // recorded in bootstate.txt and the context
    Install install;
    const wchar_t* name;
    const wchar_t* sourceFolder;
    std::vector<const wchar_t*> installed; // file names in \efi\boot after the action
};

const UefiCase UefiCases[] = {
    {0,
     &AppContext::InstallBootmgrUefi,
     L"UEFI Bootmgr",
     L"\\mgr\\UEFI",
     {L"\\bootx64.efi", L"\\bootia32.efi"}},
    {1,
     &AppContext::InstallGrub2Uefi,
     L"UEFI GRUB2",
     L"\\loaders\\grub2",
     {L"\\bootx64.efi", L"\\fbx64.efi", L"\\mmx64.efi"}},
    {2,
     &AppContext::InstallXorbootUefi,
     L"UEFI Xorboot",
     L"\\xor\\UEFI",
     {L"\\bootx64.efi", L"\\bootia32.efi"}},
};

const wchar_t* const EfiFiles[] = {L"\\bootx64.efi", L"\\bootia32.efi", L"\\fbx64.efi",
                                   L"\\mmx64.efi"};

std::wstring EfiBoot(const wchar_t* name) {
    return std::wstring(L"\\efi\\boot") + name;
}

class UefiActions : public LoaderActions {
  protected:
    void PutOldEfiFiles() const {
        for (const wchar_t* name : EfiFiles) {
            ASSERT_TRUE(drive.Write(EfiBoot(name), "old" + Ascii(name)));
        }
        ASSERT_TRUE(drive.Write(EfiBoot(L"\\keep.txt"), "not a loader"));
    }
};

TEST_F(UefiActions, ReplaceTheLoaderFilesAndKeepTheLegacyEntry) {
    for (const UefiCase& c : UefiCases) {
        SCOPED_TRACE(testing::Message() << c.name);
        ASSERT_NO_FATAL_FAILURE(Fresh());
        ASSERT_NO_FATAL_FAILURE(PutOldEfiFiles());
        // Left by a run that was cut off between its copies and its moves.
        ASSERT_TRUE(drive.Write(EfiBoot(L"\\bootia32.efi.quillmere-new"), "stale"));
        ASSERT_NO_FATAL_FAILURE(SetState("legacy=3\nuefi=-1\n"));
        context.legacyLoader = 0;

        std::vector<std::wstring> boxes = Run(c.install);

        EXPECT_EQ(boxes, std::vector<std::wstring>{L"Загрузчик изменён: " + std::wstring(c.name)});
        for (const wchar_t* name : EfiFiles) {
            bool installed = false;
            for (const wchar_t* mine : c.installed) {
                installed = installed || std::wstring(mine) == name;
            }
            if (installed) {
                EXPECT_EQ(drive.Read(EfiBoot(name)), Source(c.sourceFolder + std::wstring(name)))
                    << c.stateValue << Ascii(name);
            } else if (c.install == &AppContext::InstallGrub2Uefi &&
                       std::wstring(name) == L"\\bootia32.efi") {
                EXPECT_EQ(drive.Read(EfiBoot(name)), "old\\bootia32.efi");
            } else {
                EXPECT_FALSE(drive.Exists(EfiBoot(name))) << c.stateValue << Ascii(name);
            }
        }
        EXPECT_EQ(drive.Read(EfiBoot(L"\\keep.txt")), "not a loader");
        for (const wchar_t* name : EfiFiles) {
            EXPECT_FALSE(drive.Exists(EfiBoot(name) + L".quillmere-new")) << Ascii(name);
            EXPECT_FALSE(drive.Exists(EfiBoot(name) + L".quillmere-old")) << Ascii(name);
        }
        std::string expected = "legacy=3\nuefi=" + std::to_string(c.stateValue) + "\n";
        EXPECT_EQ(State(), expected);
        EXPECT_EQ(context.uefiLoader, c.stateValue);
        EXPECT_EQ(context.legacyLoader, 0);
        EXPECT_TRUE(ToolLog().empty());
    }
}

TEST_F(UefiActions, Grub2KeepsTheEarlier32BitLoaderAndTheOthersDropGrub2sCompanions) {
    ASSERT_NO_FATAL_FAILURE(Fresh());
    ASSERT_NO_FATAL_FAILURE(PutOldEfiFiles());
    ASSERT_EQ(Run(&AppContext::InstallBootmgrUefi).size(), 1u);
    ASSERT_EQ(Run(&AppContext::InstallGrub2Uefi).size(), 1u);
    EXPECT_EQ(drive.Read(EfiBoot(L"\\bootia32.efi")), Source(L"\\mgr\\UEFI\\bootia32.efi"));
    EXPECT_EQ(drive.Read(EfiBoot(L"\\bootx64.efi")), Source(L"\\loaders\\grub2\\bootx64.efi"));
    EXPECT_EQ(drive.Read(EfiBoot(L"\\mmx64.efi")), Source(L"\\loaders\\grub2\\mmx64.efi"));

    ASSERT_EQ(Run(&AppContext::InstallXorbootUefi).size(), 1u);
    EXPECT_FALSE(drive.Exists(EfiBoot(L"\\fbx64.efi")));
    EXPECT_FALSE(drive.Exists(EfiBoot(L"\\mmx64.efi")));
    EXPECT_EQ(drive.Read(EfiBoot(L"\\bootia32.efi")), Source(L"\\xor\\UEFI\\bootia32.efi"));
    EXPECT_EQ(State(), "legacy=-1\nuefi=2\n");
}

TEST_F(UefiActions, MissingSourceStopsBeforeAnyFileIsDeleted) {
    for (const UefiCase& c : UefiCases) {
        SCOPED_TRACE(testing::Message() << c.name);
        for (const wchar_t* name : c.installed) {
            SCOPED_TRACE(testing::Message() << "missing " << name);
            ASSERT_NO_FATAL_FAILURE(Fresh());
            ASSERT_NO_FATAL_FAILURE(PutOldEfiFiles());
            ASSERT_NO_FATAL_FAILURE(SetState("legacy=2\nuefi=0\n"));
            context.uefiLoader = 0;
            std::wstring missing = std::wstring(Boot) + c.sourceFolder + name;
            ASSERT_TRUE(DeleteFileW(drive.Path(missing).c_str()));

            std::vector<std::wstring> boxes = Run(c.install);

            EXPECT_EQ(boxes,
                      std::vector<std::wstring>{L"Файлы загрузчика не найдены:\r\nK:" + missing});
            for (const wchar_t* old : EfiFiles) {
                EXPECT_EQ(drive.Read(EfiBoot(old)), "old" + Ascii(old)) << c.stateValue;
            }
            EXPECT_EQ(State(), "legacy=2\nuefi=0\n");
            EXPECT_EQ(context.uefiLoader, 0);
        }
    }
}

TEST_F(UefiActions, FailedCopyStopsWithoutRecording) {
    for (const UefiCase& c : UefiCases) {
        SCOPED_TRACE(testing::Message() << c.name);
        // No \efi\boot at all: the first copy fails and the folder is not made.
        ASSERT_NO_FATAL_FAILURE(Fresh());
        ASSERT_TRUE(RemoveTreeForTest(drive.Path(L"\\efi\\boot")));
        std::vector<std::wstring> boxes = Run(c.install);
        EXPECT_EQ(boxes,
                  std::vector<std::wstring>{
                      L"Не удалось скопировать файл загрузчика:\r\nK:\\efi\\boot\\bootx64.efi"});
        EXPECT_FALSE(drive.Exists(L"\\efi\\boot"));
        EXPECT_FALSE(drive.Exists(std::wstring(Boot) + L"\\bootstate.txt"));
        EXPECT_EQ(context.uefiLoader, -1);

        // A target the copy refuses (read-only: the first; hidden: the last of the set), a copy
        // that fails after another one succeeded (a folder in the place of its temporary), or a
        // move that fails after another one succeeded (a folder where the last old file would
        // wait): the whole old set stays, and nothing the action made is left.
        const wchar_t* last = c.installed.back();
        struct Failure {
            const wchar_t* name;
            DWORD attribute;        // 0: a folder blocks one of the action's own names instead
            const wchar_t* blocked; // that name's ending
        } failures[] = {
            {L"\\bootx64.efi", FILE_ATTRIBUTE_READONLY, nullptr},
            {last, FILE_ATTRIBUTE_HIDDEN, nullptr},
            {last, 0, L".quillmere-new"},
            {last, 0, L".quillmere-old"},
        };
        for (const Failure& f : failures) {
            SCOPED_TRACE(testing::Message() << f.name << " attribute " << f.attribute);
            ASSERT_NO_FATAL_FAILURE(Fresh());
            ASSERT_NO_FATAL_FAILURE(PutOldEfiFiles());
            if (f.attribute) {
                ASSERT_TRUE(SetFileAttributesW(drive.Path(EfiBoot(f.name)).c_str(), f.attribute));
            } else {
                ASSERT_TRUE(drive.MakeDir(EfiBoot(f.name) + f.blocked));
            }
            boxes = Run(c.install);
            EXPECT_EQ(boxes,
                      std::vector<std::wstring>{
                          L"Не удалось скопировать файл загрузчика:\r\nK:\\efi\\boot" +
                          std::wstring(f.name)})
                << c.stateValue << " " << f.attribute;
            for (const wchar_t* old : EfiFiles) {
                EXPECT_EQ(drive.Read(EfiBoot(old)), "old" + Ascii(old))
                    << c.stateValue << Ascii(old);
                for (const wchar_t* made : {L".quillmere-new", L".quillmere-old"}) {
                    if (f.attribute || std::wstring(old) != f.name ||
                        made != std::wstring(f.blocked)) {
                        EXPECT_FALSE(drive.Exists(EfiBoot(old) + made)) << Ascii(old) << made;
                    }
                }
            }
            EXPECT_FALSE(drive.Exists(std::wstring(Boot) + L"\\bootstate.txt"));
            EXPECT_EQ(context.uefiLoader, -1);
        }
    }
}

TEST_F(UefiActions, Grub2LeavesAReadOnly32BitLoaderAloneAndSucceeds) {
    ASSERT_NO_FATAL_FAILURE(Fresh());
    ASSERT_NO_FATAL_FAILURE(PutOldEfiFiles());
    ASSERT_NO_FATAL_FAILURE(MakeReadOnly(EfiBoot(L"\\bootia32.efi")));
    EXPECT_EQ(Run(&AppContext::InstallGrub2Uefi),
              std::vector<std::wstring>{L"Загрузчик изменён: UEFI GRUB2"});
    EXPECT_EQ(drive.Read(EfiBoot(L"\\bootia32.efi")), "old\\bootia32.efi");
    EXPECT_EQ(State(), "legacy=-1\nuefi=1\n");
}

TEST_F(LoaderActions, Grub2LegacyRefusesBeforeChangingAnything) {
    const std::wstring source = std::wstring(Boot) + L"\\loaders\\grub2-bios";
    const std::wstring grub = std::wstring(Boot) + L"\\grub2\\bios";
    const std::wstring core = source + L"\\core.img";
    const std::wstring unfit =
        L"Файл core.img не подходит (нужно от 1 до 591 секторов):\r\nK:" + core;
    struct Case {
        const wchar_t* removed; // relative to the drive; null: nothing removed
        std::wstring message;
        long coreBytes = -1; // 0 or more: core.img is rewritten with this many bytes
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
        // This program's disk query knows no disk for a simulated drive.
        {nullptr, L"Не удалось определить номер физического диска для K:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.message);
        ASSERT_NO_FATAL_FAILURE(FreshAfterLegacy("legacy=0\nuefi=1\n", 0));
        if (c.removed) {
            ASSERT_TRUE(RemoveTreeForTest(drive.Path(c.removed)));
        }
        if (c.coreBytes >= 0) {
            ASSERT_TRUE(drive.Write(core, std::string(static_cast<size_t>(c.coreBytes), 'c')));
        }

        std::vector<std::wstring> boxes = Run(&AppContext::InstallGrub2Legacy);

        EXPECT_EQ(boxes, std::vector<std::wstring>{c.message});
        EXPECT_EQ(drive.Read(L"\\bootmgr"), "old bootmgr");
        EXPECT_EQ(drive.Read(L"\\grldr"), "old grldr");
        bool grubFolderRemoved = c.message.find(L"grub.cfg") != std::wstring::npos;
        EXPECT_NE(drive.Exists(grub), grubFolderRemoved);
        EXPECT_FALSE(drive.Exists(grub + L"\\boot.img"));
        EXPECT_FALSE(drive.Exists(grub + L"\\i386-pc"));
        EXPECT_TRUE(ToolLog().empty());
        EXPECT_EQ(State(), "legacy=0\nuefi=1\n");
        EXPECT_EQ(context.legacyLoader, 0);
    }
}

} // namespace
