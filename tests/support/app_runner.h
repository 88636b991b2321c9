#pragma once
// Starts the real program (or any test program) and waits for it.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "sys/handles.h"

using EnvironmentOverrides = std::vector<std::pair<std::wstring, std::wstring>>;

struct AppRun {
    ChildProcess child;
    DWORD processId = 0;

    AppRun() = default;
    AppRun(const AppRun&) = delete;
    AppRun& operator=(const AppRun&) = delete;
    ~AppRun() { Kill(); }

    // Starts `exePath` with the test's environment plus `environment` (a value of empty string
    // removes the variable). The current directory is the program's own folder.
    bool Start(const std::wstring& exePath, const EnvironmentOverrides& environment = {},
               const std::wstring& arguments = L"");
    // The exit code, or -1 when the process is still running after timeoutMs.
    int Wait(DWORD timeoutMs);
    bool Running() const;
    void Kill();
};

// The debug log the program writes when TELVORN_DEBUG_LOG is set: %TEMP%\quillmere_cpp_debug.log.
std::wstring DebugLogPath();
