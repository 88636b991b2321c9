#include "app/startup.h"

#include <ole2.h>

#include "ui/app_context.h"
#include "cleanup/android_cleanup.h"
#include "loaders/file_names.h"
#include "loaders/switch.h"
#include "loaders/user_texts.h"
#include "res/resource_ids.h"
#include "sys/debug_log.h"
#include "sys/file_utils.h"
#include "sys/handles.h"
#include "sys/physical_drive.h"
#include "ui/dpi.h"
#include "ui/layout.h"
#include "ui/placement.h"
#include "ui/poll.h"
#include "ui/window.h"

namespace {

const wchar_t* const MutexName = L"Local\\Quillmere_SingleInstance";
const wchar_t* const WindowClassName = L"QuillmereCpp";

// COM on the window's thread for the whole run.
struct OleSession {
    bool started = SUCCEEDED(OleInitialize(nullptr));
    OleSession() = default;
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;
    ~OleSession() {
        if (started) {
            OleUninitialize();
        }
    }
};

void ShowStartupMessage(const std::wstring& text, UINT icon) {
    MessageBoxW(nullptr, text.c_str(), AppCaption, MB_OK | icon | MB_SETFOREGROUND | MB_TOPMOST);
}

// The first copy's window, restored, back on a work area if it lies off every one, and with its
// open box in front.
void BringForward(HWND other) {
    if (IsIconic(other)) {
        ShowWindow(other, SW_RESTORE);
    }
    RECT frame{};
    if (GetWindowRect(other, &frame)) {
        const POINT back = BroughtBack(CurrentMonitors(), frame);
        if (back.x != frame.left || back.y != frame.top) {
            SetWindowPos(other, nullptr, back.x, back.y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    SetForegroundWindow(GetLastActivePopup(other));
}

// True when this process is the only copy; `mutex` then holds the flag for the whole run.
bool ClaimSingleInstance(KernelHandle& mutex) {
    HANDLE created = CreateMutexW(nullptr, FALSE, MutexName);
    const DWORD error = GetLastError();
    mutex.Reset(created);
    if (!mutex.Valid() || error != ERROR_ALREADY_EXISTS) {
        // Without a mutex the program still runs, only unprotected.
        return true;
    }
    HWND other = FindWindowW(WindowClassName, nullptr);
    if (other) {
        BringForward(other);
    } else {
        // The other copy is still starting or shows a start-up message.
        ShowStartupMessage(AlreadyRunningText, MB_ICONINFORMATION);
    }
    return false;
}

bool RegisterMainClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    // The size of the structure on this platform: a fixed 48 is only right for 32-bit builds,
    // and RegisterClassExW refuses any other value.
    wc.cbSize = sizeof(wc);
    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLMERE));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr;
    wc.lpszClassName = WindowClassName;
    wc.hIconSm = LoadSmallIcon(instance);
    return RegisterClassExW(&wc) != 0;
}

bool CreateMainWindow(AppContext& context) {
    // The window grows with the screen's scaling like everything drawn in it.
    const PixelRect size = LayoutAt(WindowDpi(nullptr)).window;
    context.clientWidth = size.width;
    context.clientHeight = size.height;
    // It opens where the user looks: on the monitor under the pointer.
    POINT pointer{};
    GetCursorPos(&pointer);
    const POINT origin =
        OpeningOrigin(CurrentMonitors(), pointer, context.clientWidth, context.clientHeight);
    HWND window = CreateWindowExW(WS_EX_APPWINDOW, WindowClassName, AppCaption, MainWindowStyle,
                                  origin.x, origin.y, context.clientWidth, context.clientHeight,
                                  nullptr, nullptr, context.instance, &context);
    if (!window) {
        return false;
    }
    context.window = window;
    // The monitor it opened on may be scaled unlike the system's dpi, which sized it.
    const PixelRect opened = LayoutAt(context.dpi).window;
    if (opened.width != size.width || opened.height != size.height) {
        const POINT centred = OpeningOrigin(CurrentMonitors(), pointer, opened.width, opened.height);
        ApplyWindowDpi(context, context.dpi,
                       {centred.x, centred.y, centred.x + opened.width, centred.y + opened.height});
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetForegroundWindow(window);
    SetTimer(window, PollTimerId, PollPeriodMs, nullptr);
    return true;
}

int RunMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

// The root ("D:\") of the first drive C to Z holding the data marker; with the installer's disk
// known, only a drive on that disk counts, so the cleanup never reaches another disk.
std::wstring FindDataRoot(int installerDisk) {
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        const std::wstring marker = DataMarkerPath(letter);
        if (FileExists(marker) &&
            (installerDisk < 0 || GetPhysicalDriveNumber(letter) == installerDisk)) {
            return marker.substr(0, 3);
        }
    }
    return {};
}

void ReportPendingSwitch(PendingSwitch pending, const std::wstring& backupFolder) {
    switch (pending) {
    case PendingSwitch::Restored:
        ShowStartupMessage(InterruptedSwitchText(true, backupFolder), MB_ICONINFORMATION);
        break;
    case PendingSwitch::NotRestored:
        ShowStartupMessage(InterruptedSwitchText(false, backupFolder), MB_ICONERROR);
        break;
    case PendingSwitch::LayoutChanged:
        ShowStartupMessage(LayoutChangedText(backupFolder), MB_ICONERROR);
        break;
    case PendingSwitch::None:
        break;
    }
}

} // namespace

void HardenProcess() {
    // Windows 7 SP1 has SetDefaultDllDirectories only with a later update, and importing it would
    // keep the program from loading at all there.
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(
            kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        // The best an unpatched Windows 7 offers: the current directory leaves the search, the
        // program's own folder stays in it.
        SetDllDirectoryW(L"");
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

std::wstring InstallerRootFromDirectory(const std::wstring& moduleDirectory) {
    if (moduleDirectory.size() < 2 || moduleDirectory[1] != L':') {
        return {};
    }
    wchar_t letter = moduleDirectory[0];
    if (letter >= L'a' && letter <= L'z') {
        letter = static_cast<wchar_t>(letter - L'a' + L'A');
    }
    return std::wstring(1, letter) + L":";
}

std::wstring DataMarkerPath(wchar_t letter) {
    return std::wstring(1, letter) + DataMarkerName;
}

std::wstring DataRootToClean(const std::wstring& dataRoot, int installerDisk) {
    if (installerDisk >= 0) {
        return dataRoot;
    }
    DebugLog(L"cleanup: installer disk unknown, data partition %ls not cleaned", dataRoot.c_str());
    return {};
}

int RunQuillmere(HINSTANCE instance) {
    KernelHandle mutex;
    if (!ClaimSingleInstance(mutex)) {
        return 0;
    }

    AppContext context;
    context.instance = instance;

    context.installerRoot = InstallerRootFromDirectory(GetModuleDirectory());
    if (context.installerRoot.empty()) {
        ShowStartupMessage(NoInstallerDriveText, MB_ICONERROR);
        return 1;
    }
    context.bootDir = context.installerRoot + BootDirName;
    context.bootIcePath = context.bootDir + BootIceName;

    if (!FileExists(context.bootIcePath) || !FileExists(context.bootDir + MarkerFileName)) {
        ShowStartupMessage(NotTelvornDriveText(context.installerRoot), MB_ICONERROR);
        return 0;
    }

    const SwitchTarget target =
        LocateTarget(context.installerRoot, context.bootDir, context.bootIcePath);
    const int installerDisk = target.disk;
    const std::wstring refusal = TargetRefusal(target, TargetUse::Start);
    if (!refusal.empty()) {
        ShowStartupMessage(refusal, MB_ICONERROR);
        return 1;
    }

    // A switch that was stopped halfway (a pulled plug, a forced shutdown) is undone before
    // anything else touches the drive; the window then shows the restored state.
    ReportPendingSwitch(RestorePendingSwitch(target), BackupFolderOf(context.bootDir));

    const std::wstring dataRoot = FindDataRoot(installerDisk);
    if (dataRoot.empty()) {
        ShowStartupMessage(NoDataMarkerText, MB_ICONERROR);
        return 0;
    }

    CleanupAndroidLeftovers(context.installerRoot + L"\\",
                            DataRootToClean(dataRoot, installerDisk));

    // The window hands its accessible object to screen readers through COM, which needs this
    // thread initialised before the window exists.
    OleSession ole;
    if (!RegisterMainClass(instance) || !CreateMainWindow(context)) {
        return 1;
    }
    return RunMessageLoop();
}
