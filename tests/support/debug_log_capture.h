#pragma once
// The program's debug log switched on for one test and pointed, through TEMP and TMP, into a
// folder of the test's own, so the user's real log is never touched. The environment is put back
// when the capture ends; the folder itself is the test's to make and remove.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/scoped_environment.h"
#include "tests/support/sim_drive.h"

struct DebugLogCapture {
    std::wstring tempDir;
    ScopedEnvironment logSwitch{L"TELVORN_DEBUG_LOG", L"1"};
    ScopedEnvironment temp{L"TEMP", tempDir};
    ScopedEnvironment tmp{L"TMP", tempDir};

    explicit DebugLogCapture(const std::wstring& folder) : tempDir(folder) {}

    std::wstring Path() const { return tempDir + L"\\quillmere_cpp_debug.log"; }
    std::string Text() const { return ReadBytes(Path()); }
    void Clear() const { DeleteFileW(Path().c_str()); }
};

// The messages of the lines of `log` whose message starts with `prefix`, in the log's order.
std::vector<std::string> LogMessages(const std::string& log, const std::string& prefix);
// The same, sorted: the order of
// a directory walk is the file system's, not the program's.
std::vector<std::string> SortedLogMessages(const std::string& log, const std::string& prefix);
