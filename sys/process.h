#pragma once
// Hidden child processes, and work on a thread of its own, waited for while the thread's window
// messages keep flowing.
#include <windows.h>

#include <functional>
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
// Waits until `handle` is signalled while this thread's messages are dispatched, waking at least
// every 30 ms; a quit request that comes meanwhile is posted again once the wait is over.
void WaitWhileAnswering(HANDLE handle);
// Runs `work` on a thread of its own and waits for its end as WaitWhileAnswering does, so this
// thread's window answers however long a single call of the work blocks. Where no thread can be
// made, the work runs on this thread.
void RunOnWorker(const std::function<void()>& work);
// For long work on the thread that owns the window (copies, compares, removals): lets the
// window answer, at most one pumping pass every few milliseconds so a walk of many small files
// pays almost nothing for it. A quit request that comes meanwhile is put back in the queue. It
// pumps only while an AnsweringWork lives on this thread: elsewhere (a file read while the
// system menu opens, or before a switch has marked the window busy) a key or click dispatched
// from inside would start a switch nobody saw asked for.
void AnswerPendingMessages();
struct AnsweringWork {
    AnsweringWork();
    ~AnsweringWork();
    AnsweringWork(const AnsweringWork&) = delete;
    AnsweringWork& operator=(const AnsweringWork&) = delete;
};
std::wstring GetCommandInterpreterPath();

// Waits, at most timeoutMs, until every process this one started and that still runs has ended.
void WaitForOwnChildren(unsigned long timeoutMs);
