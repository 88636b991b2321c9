// A click's switch and the message boxes over the window.
#include "app/app_context.h"
#include "loaders/loader_plans.h"
#include "loaders/user_texts.h"
#include "res/resource_ids.h"
#include "sys/debug_log.h"
#include "sys/handles.h"
#include "sys/process.h"

void AppContext::RunAction(int32_t index) {
    if (status.busy) {
        return;
    }
    const SwitchTarget target = LocateTarget(installerRoot, bootDir, bootIcePath);
    DebugLog(L"RunAction index=%d disk=%ls physical=%d", index, installerRoot.c_str(), target.disk);
    const std::wstring refusal = TargetRefusal(target, TargetUse::Click);
    if (!refusal.empty()) {
        ShowModalMessage(refusal, MB_ICONINFORMATION);
        return;
    }
    status.busy = true;
    status.runningAction = index;
    // The running look must be on screen even for an action that pumps no messages.
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    SwitchOutcome outcome;
    if (const LoaderFacts* facts = FactsAtIndex(index)) {
        // Held for the switch itself, not for its result box: a user who walks away from the
        // result must not block a logoff.
        ShutdownBlock holdOffLogoff(window, ShutdownBlockText);
        switching = true;
        // On a thread of its own: a single call of the switch that blocks (a tool's start, a
        // flush on a slow stick) must not keep the window from answering.
        RunOnWorker([&] { outcome = InstallLoader(facts->loader, target); });
        switching = false;
        if (outcome.switched) {
            (facts->mode == BootMode::Uefi ? status.uefiLoader : status.legacyLoader) =
                facts->stateValue;
        }
    }
    if (!outcome.text.empty()) {
        ShowModalMessage(outcome.text, MB_ICONINFORMATION);
    }
    status.busy = false;
    status.runningAction = -1;
    InvalidateRect(window, nullptr, FALSE);
    // A quit that came while the action ran ends the program only now, after its last message.
    PostHeldQuit(heldQuit);
}

void AppContext::ShowModalMessage(const std::wstring& text, UINT style) {
    bool wasShown = status.modalShown;
    status.modalShown = true;
    EnableWindow(window, FALSE);
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    SetForegroundWindow(window);
    // A waiting quit would close the box at once, unread: it is posted again after the box, or
    // by RunAction once the running action is over.
    HoldQueuedQuit(heldQuit);
    MessageBoxW(window, text.c_str(), AppCaption, style | MB_SETFOREGROUND | MB_TOPMOST);
    EnableWindow(window, TRUE);
    SetForegroundWindow(window);
    status.modalShown = wasShown;
    InvalidateRect(window, nullptr, FALSE);
    if (!status.busy) {
        PostHeldQuit(heldQuit);
    }
}
