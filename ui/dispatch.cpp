// A click's switch and the message boxes over the window.
#include "ui/accessible.h"
#include "ui/app_context.h"
#include "ui/system_menu.h"
#include "loaders/loader_plans.h"
#include "loaders/undo_plan.h"
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
    if (index == UndoActionIndex &&
        ShowModalMessage(UndoQuestion(bootDir), MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) !=
            IDOK) {
        return;
    }
    status.busy = true;
    status.runningAction = index;
    NotifyAccessibleStates(*this);
    // The running look must be on screen even for an action that pumps no messages.
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    SwitchOutcome outcome;
    const LoaderFacts* facts = FactsAtIndex(index);
    if (facts || index == UndoActionIndex) {
        // Held for the switch itself, not for its result box: a user who walks away from the
        // result must not block a logoff.
        ShutdownBlock holdOffLogoff(window, ShutdownBlockText);
        switching = true;
        // On a thread of its own: a single call of the switch that blocks (a tool's start, a
        // flush on a slow stick) must not keep the window from answering.
        RunOnWorker(
            [&] { outcome = facts ? InstallLoader(facts->loader, target) : UndoLastSwitch(target); });
        switching = false;
        if (outcome.switched && facts) {
            (facts->mode == BootMode::Uefi ? status.uefiLoader : status.legacyLoader) =
                facts->stateValue;
        } else if (outcome.switched) {
            // The marks show what the restored bootstate.txt holds.
            LoadBootState();
        }
        if (outcome.switched) {
            NotifyAccessibleMarks(*this);
        }
    }
    if (!outcome.text.empty()) {
        ShowModalMessage(outcome.text, MB_ICONINFORMATION);
    }
    status.busy = false;
    status.runningAction = -1;
    NotifyAccessibleStates(*this);
    InvalidateRect(window, nullptr, FALSE);
    // A quit that came while the action ran ends the program only now, after its last message.
    PostHeldQuit(heldQuit);
}

int AppContext::ShowModalMessage(const std::wstring& text, UINT style) {
    bool wasShown = status.modalShown;
    status.modalShown = true;
    NotifyAccessibleStates(*this);
    EnableWindow(window, FALSE);
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    SetForegroundWindow(window);
    // A waiting quit would close the box at once, unread: it is posted again after the box, or
    // by RunAction once the running action is over.
    HoldQueuedQuit(heldQuit);
    const int answer =
        MessageBoxW(window, text.c_str(), AppCaption, style | MB_SETFOREGROUND | MB_TOPMOST);
    EnableWindow(window, TRUE);
    SetForegroundWindow(window);
    status.modalShown = wasShown;
    NotifyAccessibleStates(*this);
    InvalidateRect(window, nullptr, FALSE);
    if (!status.busy) {
        PostHeldQuit(heldQuit);
    }
    return answer;
}
