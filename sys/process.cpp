#include "sys/process.h"

#include <windows.h>

#include <process.h>
#include <tlhelp32.h>

#include <vector>

#include "sys/handles.h"

namespace {

// Every input kind Windows 7 knows. The touch and pointer bits of newer headers (0x1CFF) make
// Windows 7 refuse the wait, which would then return at once and spin for the whole child run.
constexpr DWORD WakeOnAnyInput = 0x04FF;
constexpr DWORD PumpIntervalMs = 30;

// Well below the 60 ms a window may take to answer, and above the timer's resolution.
constexpr ULONGLONG AnswerIntervalMs = 10;

// Dispatches what is queued for this thread, sent messages included. A WM_QUIT is kept back
// rather than posted again at once: posting it would make the very next PeekMessage return it
// again and never drain.
void PumpPendingMessages(HeldQuit& quit) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit.held = true;
            quit.exitCode = static_cast<int>(message.wParam);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// How many AnsweringWork records live on this thread.
thread_local int answeringWorks = 0;

} // namespace

AnsweringWork::AnsweringWork() {
    ++answeringWorks;
}

AnsweringWork::~AnsweringWork() {
    --answeringWorks;
}

void AnswerPendingMessages() {
    thread_local ULONGLONG lastPass = 0;
    if (answeringWorks == 0) {
        return;
    }
    const ULONGLONG now = GetTickCount64();
    if (now - lastPass < AnswerIntervalMs) {
        return;
    }
    lastPass = now;
    HeldQuit quit;
    PumpPendingMessages(quit);
    PostHeldQuit(quit);
}

int RunProcessAndWait(const std::wstring& commandLine) {
    if (commandLine.empty()) {
        return -1;
    }
    // CreateProcessW may write into its command line, and the caller's string stays untouched.
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &created)) {
        return -1;
    }
    ChildProcess child(created);
    // A child outliving this program could still write after the next start has put the drive
    // back; the job ends it with the program. Where this program already runs in a job that
    // allows no other (Windows 7), the child runs without one.
    KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job.Valid() && SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation,
                                               &limits, sizeof limits)) {
        AssignProcessToJobObject(job.Get(), child.process.Get());
    }
    ResumeThread(child.thread.Get());

    WaitWhileAnswering(child.process.Get());
    DWORD exitCode = 1;
    GetExitCodeProcess(child.process.Get(), &exitCode);
    return static_cast<int>(exitCode);
}

void WaitWhileAnswering(HANDLE handle) {
    HeldQuit quit;
    // An ended child is looked at first: some systems answer the combined wait with queued input
    // before a handle that is already signalled, and an ended child needs no pumping pass.
    while (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0 &&
           MsgWaitForMultipleObjects(1, &handle, FALSE, PumpIntervalMs, WakeOnAnyInput) !=
               WAIT_OBJECT_0) {
        PumpPendingMessages(quit);
    }
    // Handed back only now, so the main loop ends with the carried code; an action that still has
    // its closing message to show takes it back until that message is closed.
    PostHeldQuit(quit);
}

namespace {

unsigned __stdcall RunWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

} // namespace

void RunOnWorker(const std::function<void()>& work) {
    // The C runtime's own thread start: the work formats strings and uses its streams.
    KernelHandle worker(reinterpret_cast<HANDLE>(_beginthreadex(
        nullptr, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr)));
    if (!worker.Valid()) {
        const AnsweringWork answering;
        work();
        return;
    }
    WaitWhileAnswering(worker.Get());
}

void HoldQueuedQuit(HeldQuit& quit) {
    MSG message{};
    if (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        quit.held = true;
        quit.exitCode = static_cast<int>(message.wParam);
    }
}

void PostHeldQuit(HeldQuit& quit) {
    if (quit.held) {
        PostQuitMessage(quit.exitCode);
    }
    quit = HeldQuit{};
}

std::wstring GetCommandInterpreterPath() {
    wchar_t buffer[520] = {};
    const DWORD length = GetEnvironmentVariableW(L"ComSpec", buffer, 520);
    if (length >= 1 && length <= 519) {
        return std::wstring(buffer, length);
    }
    return L"C:\\Windows\\System32\\cmd.exe";
}

namespace {

ULONGLONG CreationTime(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

} // namespace

void WaitForOwnChildren(unsigned long timeoutMs) {
    // The snapshot answers INVALID_HANDLE_VALUE on failure, as a file does.
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid()) {
        return;
    }
    const DWORD self = GetCurrentProcessId();
    const ULONGLONG selfCreated = CreationTime(GetCurrentProcess());
    std::vector<KernelHandle> children;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry);
         more && children.size() < MAXIMUM_WAIT_OBJECTS;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID != self) {
            continue;
        }
        KernelHandle child(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       entry.th32ProcessID));
        // A process id is reused: one that was started before this process is no child of it.
        if (child.Valid() && CreationTime(child.Get()) >= selfCreated) {
            children.push_back(std::move(child));
        }
    }
    if (children.empty()) {
        return;
    }
    std::vector<HANDLE> handles;
    for (const KernelHandle& child : children) {
        handles.push_back(child.Get());
    }
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, timeoutMs);
}
