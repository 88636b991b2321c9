#include "ui/window.h"

#include "ui/app_context.h"
#include "res/resource_ids.h"
#include "tests/support/debug_log_capture.h"
#include "tests/support/import_swap.h"
#include "tests/support/test_window.h"
#include "tests/support/app_runner.h"
#include "tests/support/sim_drive.h"
#include "tests/support/window_driver.h"
#include "ui/poll.h"
#include "ui/system_menu.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace {

TEST(FontHeight, ScalesWithDpiAndTruncatesTowardZero) {
    struct Row {
        int points, dpi, height;
    } rows[] = {
        {15, 96, -20}, {9, 96, -12},    {10, 96, -13},  {8, 96, -10},  {15, 120, -25},
        {8, 120, -13}, {10, 144, -20},  {15, 144, -30}, {9, 100, -12}, {8, 100, -11},
        {15, 0, -20},  {15, -120, -20}, {10, 1, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FontHeight(row.points, row.dpi), row.height)
            << row.points << " pt at " << row.dpi << " dpi";
    }
}

// A context as high as the address space allows (above 4 GiB where pointers have 64 bits), so a
// slot narrower than a pointer would lose its upper half.
struct HighContext {
    void* memory = nullptr;
    AppContext* context = nullptr;
    HighContext() {
        memory = VirtualAlloc(nullptr, sizeof(AppContext), MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN,
                              PAGE_READWRITE);
        if (memory) {
            context = new (memory) AppContext();
        }
    }
    ~HighContext() {
        if (context) {
            context->~AppContext();
        }
        if (memory) {
            VirtualFree(memory, 0, MEM_RELEASE);
        }
    }
};

// Takes the quit message that WM_DESTROY posts; false when none was posted.
bool TakeQuit(WPARAM& code) {
    MSG message{};
    if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        return false;
    }
    code = message.wParam;
    return true;
}

std::wstring TestBootDir() {
    std::wstring dir = BuildDir() + L"\\drives\\window_test";
    MakeFolders(dir);
    return dir;
}

// The six fonts of a context, with what each must be.
struct FontRow {
    HFONT font;
    const wchar_t* face;
    int points, weight;
};

std::vector<FontRow> FontRows(const AppContext& context) {
    return {
        {context.titleFont.Get(), L"Tahoma", 15, 700},
        {context.subtitleFont.Get(), L"Tahoma", 9, 400},
        {context.minimizeFont.Get(), L"Tahoma", 10, 400},
        {context.closeFont.Get(), L"Tahoma", 9, 400},
        {context.groupFont.Get(), L"Tahoma", 8, 700},
        {context.buttonFont.Get(), L"Segoe UI Semibold", 10, 400},
    };
}

void ExpectFontsAt(const std::vector<FontRow>& rows, int dpi) {
    for (const FontRow& row : rows) {
        LOGFONTW font{};
        ASSERT_EQ(GetObjectW(row.font, sizeof font, &font), static_cast<int>(sizeof font));
        EXPECT_EQ(font.lfHeight, FontHeight(row.points, dpi)) << row.points << " pt at " << dpi;
        EXPECT_EQ(font.lfWeight, row.weight) << row.points;
        EXPECT_STREQ(font.lfFaceName, row.face);
        EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
        EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
    }
}

TEST(MainWndProc, KeepsTheWholeContextAddressAndCreatesTheFonts) {
    HighContext high;
    ASSERT_NE(high.context, nullptr);
    if (sizeof(void*) == 8) {
        ASSERT_GT(reinterpret_cast<uint64_t>(high.context), uint64_t{0xFFFFFFFF});
    }
    AppContext& context = *high.context;
    context.instance = GetModuleHandleW(nullptr);
    context.bootDir = TestBootDir();
    HWND window = CreateProgramWindow(&context);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&context));
    EXPECT_EQ(context.window, window);

    int dpi = 96;
    {
        HDC screen = GetDC(window);
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(window, screen);
    }
    const std::vector<FontRow> rows = FontRows(context);
    ExpectFontsAt(rows, dpi);

    DestroyWindow(window);
    WPARAM code = 99;
    EXPECT_TRUE(TakeQuit(code));
    EXPECT_EQ(code, 0u);
    for (const FontRow& row : rows) {
        EXPECT_EQ(GetObjectType(row.font), 0u) << "font of " << row.points << " pt not deleted";
    }
    EXPECT_EQ(context.titleFont.Get(), nullptr);
    EXPECT_EQ(context.subtitleFont.Get(), nullptr);
    EXPECT_EQ(context.minimizeFont.Get(), nullptr);
    EXPECT_EQ(context.closeFont.Get(), nullptr);
    EXPECT_EQ(context.groupFont.Get(), nullptr);
    EXPECT_EQ(context.buttonFont.Get(), nullptr);
}

// Dragged onto a monitor scaled to 150 %: the window takes the rectangle Windows suggests, makes
// its fonts at the new dpi, paints its frame anew, and a drag keeps the grabbed point.
TEST(MainWndProc, TakesTheNewDpiOfWmDpiChanged) {
    ProgramWindow test;
    test.context.bootDir = TestBootDir();
    ASSERT_TRUE(test.Create(true));
    AppContext& context = test.context;
    UpdateWindow(test.window);
    ASSERT_TRUE(context.keptFrame.drawn);
    ASSERT_EQ(context.keptFrame.shows.dpi, 96) << "not the 96-dpi prefix";
    context.dragOffsetX = 30;
    context.dragOffsetY = 20;
    RECT suggested{100, 60, 100 + 564, 60 + 312};

    SendMessageW(test.window, WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));

    RECT frame{};
    GetWindowRect(test.window, &frame);
    EXPECT_EQ(frame.left, 100);
    EXPECT_EQ(frame.top, 60);
    EXPECT_EQ(frame.right - frame.left, 564);
    EXPECT_EQ(frame.bottom - frame.top, 312);
    ExpectFontsAt(FontRows(context), 144);
    EXPECT_EQ(context.dragOffsetX, 45);
    EXPECT_EQ(context.dragOffsetY, 30);
    EXPECT_TRUE(GetUpdateRect(test.window, nullptr, FALSE));
    UpdateWindow(test.window);
    EXPECT_EQ(context.keptFrame.shows.dpi, 144);
    EXPECT_EQ(context.keptFrame.shows.width, 564);
    EXPECT_EQ(context.keptFrame.shows.height, 312);
}

TEST(MainWndProc, LoadsTheBootStateAtCreation) {
    AppContext context;
    context.instance = GetModuleHandleW(nullptr);
    context.bootDir = TestBootDir();
    ASSERT_TRUE(WriteBytes(context.bootDir + L"\\bootstate.txt", "legacy=2\nuefi=1\n"));
    HWND window = CreateProgramWindow(&context);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(context.status.legacyLoader, 2);
    EXPECT_EQ(context.status.uefiLoader, 1);
    DestroyWindow(window);
    WPARAM code = 0;
    TakeQuit(code);
    DeleteFileW((context.bootDir + L"\\bootstate.txt").c_str());
}

TEST(MainWndProc, SetsTheProgramsIconOnlyWhenItLoads) {
    // The program's own file as a resource module; this test program has no icon 1.
    HMODULE program = LoadLibraryExW((BuildDir() + L"\\quillmere.exe").c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    struct Row {
        HINSTANCE instance;
        bool icon;
    } rows[] = {{program, true}, {GetModuleHandleW(nullptr), false}};
    for (const Row& row : rows) {
        AppContext context;
        context.instance = row.instance;
        context.bootDir = TestBootDir();
        HWND window = CreateProgramWindow(&context);
        ASSERT_NE(window, nullptr);
        // WM_GETICON answers only what WM_SETICON gave, never the class icon.
        EXPECT_EQ(SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0, row.icon);
        const auto small = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
        EXPECT_EQ(small != nullptr, row.icon);
        ICONINFO info{};
        if (small && GetIconInfo(small, &info)) {
            BITMAP image{};
            GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof image, &image);
            // Drawn at the small-icon size, not the large image scaled down.
            EXPECT_EQ(image.bmWidth, GetSystemMetrics(SM_CXSMICON));
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
        }
        DestroyWindow(window);
        WPARAM code = 0;
        TakeQuit(code);
    }
    FreeLibrary(program);
}

TEST(MainWndProc, AnswersEraseWithoutErasing) {
    AppContext context;
    context.bootDir = TestBootDir();
    HWND window = CreateProgramWindow(&context);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    EXPECT_EQ(SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    WPARAM code = 0;
    TakeQuit(code);
}

TEST(MainWndProc, PollsOnlyOnTimerOne) {
    AppContext context;
    context.bootDir = TestBootDir();
    HWND window = CreateProgramWindow(&context); // never shown: the pointer is never over it
    ASSERT_NE(window, nullptr);
    for (WPARAM id : {WPARAM{0}, WPARAM{2}, WPARAM{41}}) {
        context.pointer.pressedButton = 3;
        context.pointer.hover = {ZoneKind::Close, -1};
        SendMessageW(window, WM_TIMER, id, 0);
        EXPECT_EQ(context.pointer.pressedButton, 3) << "timer " << id;
        EXPECT_EQ(context.pointer.hover.kind, ZoneKind::Close) << "timer " << id;
    }
    SendMessageW(window, WM_TIMER, 1, 0);
    if ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) == 0) {
        EXPECT_EQ(context.pointer.pressedButton, -1);
    }
    EXPECT_EQ(context.pointer.hover.kind, ZoneKind::None);
    DestroyWindow(window);
    WPARAM code = 0;
    TakeQuit(code);
}

// Counts the warning beeps of a refused close instead of sounding them.
struct BeepCount {
    static inline int warnings = 0;
    ImportSwap swap{"user32.dll", "MessageBeep", reinterpret_cast<void*>(&Beep)};
    BeepCount() { warnings = 0; }
    static BOOL WINAPI Beep(UINT type) {
        warnings += type == MB_ICONWARNING ? 1 : 0;
        return TRUE;
    }
};

TEST(MainWndProc, RefusesToCloseWhileBusyAndToEndTheSessionWhileTheSwitchRuns) {
    BeepCount beeps;
    ASSERT_NE(beeps.swap.slot, nullptr);
    const std::wstring logFolder = BuildDir() + L"\\scratch\\window-test-log";
    ASSERT_TRUE(MakeFolders(logFolder));
    DebugLogCapture log{logFolder};
    log.Clear();
    AppContext context;
    context.bootDir = TestBootDir();
    HWND window = CreateProgramWindow(&context);
    ASSERT_NE(window, nullptr);

    context.status.busy = true;
    context.status.runningAction = 2;
    context.switching = true;
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
    context.switching = false;
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE) << "after the switch";
    EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(window));
    WPARAM code = 0;
    EXPECT_FALSE(TakeQuit(code));
    std::string text = log.Text();
    EXPECT_NE(text.find("WM_CLOSE busy=1\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("WM_CLOSE busy=0"), std::string::npos) << text;
    EXPECT_EQ(BeepCount::warnings, 1) << "a refused close is heard";

    context.status.busy = false;
    context.status.runningAction = -1;
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_EQ(SendMessageW(window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(TakeQuit(code));
    EXPECT_EQ(code, 0u);
    EXPECT_NE(log.Text().find("WM_CLOSE busy=0\r\n"), std::string::npos);
}

TEST(MainWndProc, AForcedSessionEndWaitsForTheRunningTool) {
    AppContext context;
    context.bootDir = TestBootDir();
    HWND window = CreateProgramWindow(&context);
    ASSERT_NE(window, nullptr);
    std::wstring commandLine = L"\"" + HelperPath(L"childproc") + L"\" sleep 1500";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &created));
    ChildProcess tool(created);
    context.status.busy = true;
    context.switching = true;
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(WaitForSingleObject(tool.process.Get(), 0), WAIT_OBJECT_0)
        << "the session end came back while the tool still wrote";
    context.switching = false;
    context.status.busy = false;
    DestroyWindow(window);
    WPARAM code = 0;
    TakeQuit(code);
}

// Dispatches what is queued for this thread; true so that it can stand in a WaitUntil.
bool PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    return true;
}

TEST(MainWndProc, ThePollRestsWhileThePointerIsAwayAndWakesWhenItComesBack) {
    ProgramWindow test;
    test.context.bootDir = TestBootDir();
    ASSERT_TRUE(test.Create(true));
    ASSERT_NE(SetTimer(test.window, PollTimerId, PollPeriodMs, nullptr), 0u);
    RECT frame{};
    GetWindowRect(test.window, &frame);
    MovePointerToScreen(frame.right + 200, frame.bottom + 200);
    ASSERT_TRUE(WaitUntil([&] { return PumpMessages() && test.context.pollResting; }, 5000));
    // No timer is left to wake the thread: killing it again finds none.
    EXPECT_FALSE(KillTimer(test.window, PollTimerId));

    const PixelRect& button = Loaders[1].place;
    MovePointerToClient(test.window, button.x + button.width / 2, button.y + button.height / 2);
    EXPECT_TRUE(WaitUntil(
        [&] {
            return PumpMessages() && test.context.pointer.hover == HitZone{ZoneKind::Button, 1};
        },
        5000))
        << "no poll since the pointer came back";
    EXPECT_FALSE(test.context.pollResting);
    KillTimer(test.window, PollTimerId);
}

// Under Wine the system menu can be read only inside the window's own process: here.
TEST(MainWndProc, TheSystemMenuHasMoveMinimiseTheUndoAndCloseGreyedWhenTheyCannotRun) {
    ProgramWindow test;
    test.context.bootDir = TestBootDir();
    const std::wstring backup = test.context.bootDir + L"\\backup";
    const std::wstring record = backup + L"\\last-switch.txt";
    const std::wstring journal = backup + L"\\journal.txt";
    ASSERT_TRUE(test.Create(false));
    HMENU menu = GetSystemMenu(test.window, FALSE);
    ASSERT_NE(menu, nullptr);
    struct Item {
        UINT command;
        bool present;
    } items[] = {{SC_MOVE, true},       {SC_MINIMIZE, true}, {SC_CLOSE, true},
                 {UndoCommandId, true}, {SC_RESTORE, false}, {SC_SIZE, false},
                 {SC_MAXIMIZE, false}};
    for (const Item& item : items) {
        EXPECT_EQ(GetMenuState(menu, item.command, MF_BYCOMMAND) != static_cast<UINT>(-1),
                  item.present)
            << std::hex << item.command;
    }
    wchar_t text[80] = {};
    GetMenuStringW(menu, UndoCommandId, text, 80, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Отменить последнюю смену загрузчика…");
    int close = 0;
    while (close < GetMenuItemCount(menu) && GetMenuItemID(menu, close) != SC_CLOSE) {
        ++close;
    }
    ASSERT_GE(close, 1);
    EXPECT_EQ(GetMenuItemID(menu, close - 1), UndoCommandId) << "the undo lies above Close";

    struct Row {
        const char* name;
        bool busy;
        const char* record;  // the backup's record of the last switch; null: none
        const char* journal; // a pending journal; null: none
        bool closeGrey, undoGrey;
    } rows[] = {
        {"no backup", false, nullptr, nullptr, false, true},
        {"a switch to undo", false, "action=0\nend\n", nullptr, false, false},
        {"busy", true, "action=0\nend\n", nullptr, true, true},
        {"a journal pending", false, "action=0\nend\n", "action=1\nend\n", false, true},
    };
    for (const Row& row : rows) {
        DeleteFileW(record.c_str());
        DeleteFileW(journal.c_str());
        ASSERT_TRUE(MakeFolders(backup));
        if (row.record) {
            ASSERT_TRUE(WriteBytes(record, row.record));
        }
        if (row.journal) {
            ASSERT_TRUE(WriteBytes(journal, row.journal));
        }
        test.context.status.busy = row.busy;
        SendMessageW(test.window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                     MAKELPARAM(0, TRUE));
        EXPECT_EQ((GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) != 0, row.closeGrey)
            << row.name;
        EXPECT_EQ((GetMenuState(menu, UndoCommandId, MF_BYCOMMAND) & MF_GRAYED) != 0, row.undoGrey)
            << row.name;
    }
    test.context.status.busy = false;
    DeleteFileW(record.c_str());
    DeleteFileW(journal.c_str());
    RemoveDirectoryW(backup.c_str());
}

TEST(MainWndProc, WithoutAContextOnlyPaintsCloseAndQuit) {
    HWND window = CreateProgramWindow(nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), 0);
    EXPECT_EQ(SendMessageW(window, WM_TIMER, 1, 0), 0);
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(SendMessageW(window, WM_PAINT, 0, 0), 0);
    RECT pending{};
    EXPECT_FALSE(GetUpdateRect(window, &pending, FALSE));
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    WPARAM code = 7;
    EXPECT_TRUE(TakeQuit(code));
    EXPECT_EQ(code, 0u);
}

} // namespace
