#pragma once
// Hidden child processes, waited for while the thread's window messages keep flowing.
#include <string>

// The child's exit code; -1 when no process was created. A WM_QUIT that arrives meanwhile is
// handed back to the thread's queue when the child has ended.
int RunProcessAndWait(const std::wstring& commandLine);

// A quit request taken off the thread's queue so that a nested loop (the runner's pump, a
// message box) does not end on it, to be posted again once that loop is over.
struct HeldQuit {
    bool held = false;
    int exitCode = 0;
};
// Takes a WM_QUIT already waiting in this thread's queue into `quit`.
void HoldQueuedQuit(HeldQuit& quit);
// Posts a held quit request again and forgets it.
void PostHeldQuit(HeldQuit& quit);
// Dispatches what is queued for this thread's windows, sent messages included; a WM_QUIT among
// it is taken into `quit` rather than ending anything.
void PumpPendingMessages(HeldQuit& quit);
// For long work on the thread that owns the window (copies, compares, removals): lets the
// window answer, at most one pumping pass every few milliseconds so a walk of many small files
// pays almost nothing for it. A quit request that comes meanwhile is put back in the queue.
void AnswerPendingMessages();
std::wstring GetCommandInterpreterPath();

// Waits, at most timeoutMs, until every process this one started and that still runs has ended.
void WaitForOwnChildren(unsigned long timeoutMs);
