#include "ui/dispatch.h"

#include "app/app_context.h"
#include "app/startup.h"
#include "sys/debug_log.h"
#include "sys/file_utils.h"
#include "sys/handles.h"
#include "sys/physical_drive.h"
#include "sys/process.h"

std::wstring TargetRefusalText(const std::wstring& installerRoot) {
    return L"Целевой диск не подтверждён:\r\n" + installerRoot +
           L"\r\nнет \\efi\\Telvorn\\Boot\\NOT.DEL или не найден PhysicalDrive.";
}

std::wstring LoaderChangedText(const std::wstring& loaderName) {
    return L"Загрузчик изменён: " + loaderName;
}

namespace {

const wchar_t* const ShutdownBlockText = L"Идёт смена загрузчика. Дождитесь её окончания.";

} // namespace

void AppContext::RunAction(int32_t index) {
    if (busy) {
        return;
    }
    int disk = installerRoot.empty() ? -1 : GetPhysicalDriveNumber(installerRoot[0]);
    DebugLog(L"RunAction index=%d disk=%ls physical=%d", index, installerRoot.c_str(), disk);
    bool confirmed = FileExists(bootDir + L"\\NOT.DEL") && disk >= 0;
    if (!confirmed) {
        ShowModalMessage(TargetRefusalText(installerRoot), MB_ICONINFORMATION);
        return;
    }
    if (IsSystemDisk(disk, ReadSystemDisks())) {
        ShowModalMessage(WindowsDiskText(installerRoot), MB_ICONINFORMATION);
        return;
    }
    busy = true;
    runningAction = index;
    // Held for the switch itself: the first box, its result, ends it (ShowModalMessage), so a
    // user who walks away from the result does not block logoff.
    ShutdownBlock holdOffLogoff(window, ShutdownBlockText);
    sessionHold = &holdOffLogoff;
    // The running look must be on screen even for an action that pumps no messages.
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    if (const LoaderFacts* facts = FactsAtIndex(index)) {
        (this->*facts->install)();
    }
    sessionHold = nullptr;
    busy = false;
    runningAction = -1;
    InvalidateRect(window, nullptr, FALSE);
    // A quit that came while the action ran ends the program only now, after its last message.
    PostHeldQuit(heldQuit);
}

void AppContext::ShowModalMessage(const std::wstring& text, UINT style) {
    if (sessionHold) {
        sessionHold->Release();
    }
    bool wasShown = modalShown;
    modalShown = true;
    EnableWindow(window, FALSE);
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    SetForegroundWindow(window);
    // A waiting quit would close the box at once, unread: it is posted again after the box, or
    // by RunAction once the running action is over.
    HoldQueuedQuit(heldQuit);
    MessageBoxW(window, text.c_str(), L"Quillmere", style | MB_SETFOREGROUND | MB_TOPMOST);
    EnableWindow(window, TRUE);
    SetForegroundWindow(window);
    modalShown = wasShown;
    InvalidateRect(window, nullptr, FALSE);
    if (!busy) {
        PostHeldQuit(heldQuit);
    }
}

void AppContext::ReportLoaderChanged(const std::wstring& loaderName) {
    ShowModalMessage(LoaderChangedText(loaderName), MB_ICONINFORMATION);
}
