#include "tests/support/app_runner.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <map>

namespace {

struct Caseless {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](wchar_t x, wchar_t y) { return std::towupper(x) < std::towupper(y); });
    }
};

// The test's own environment with the overrides applied, as a sorted environment block.
std::wstring BuildEnvironment(const EnvironmentOverrides& overrides) {
    std::map<std::wstring, std::wstring, Caseless> variables;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry && *entry; entry += wcslen(entry) + 1) {
        std::wstring line(entry);
        size_t equals = line.find(L'=', 1); // "=C:=C:\..." entries start with '='
        if (equals != std::wstring::npos) {
            variables[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    FreeEnvironmentStringsW(strings);
    for (const auto& [name, value] : overrides) {
        if (value.empty()) {
            variables.erase(name);
        } else {
            variables[name] = value;
        }
    }
    std::wstring block;
    for (const auto& [name, value] : variables) {
        block += name + L"=" + value;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

} // namespace

bool AppRun::Start(const std::wstring& exePath, const EnvironmentOverrides& environment,
                   const std::wstring& arguments) {
    Kill();
    std::wstring commandLine = L"\"" + exePath + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    std::wstring directory = exePath.substr(0, exePath.find_last_of(L"\\/"));
    std::wstring block = BuildEnvironment(environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, &block[0],
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        std::fprintf(stderr, "starting %ls failed with error %lu\n", exePath.c_str(),
                     GetLastError());
        return false;
    }
    child = ChildProcess(info);
    processId = info.dwProcessId;
    return true;
}

int AppRun::Wait(DWORD timeoutMs) {
    if (!child.process.Valid() ||
        WaitForSingleObject(child.process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 1;
    GetExitCodeProcess(child.process.Get(), &code);
    return static_cast<int>(code);
}

bool AppRun::Running() const {
    return child.process.Valid() && WaitForSingleObject(child.process.Get(), 0) == WAIT_TIMEOUT;
}

void AppRun::Kill() {
    if (Running()) {
        TerminateProcess(child.process.Get(), 99);
        WaitForSingleObject(child.process.Get(), 5000);
    }
}

std::wstring DebugLogPath() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, length) + L"quillmere_cpp_debug.log";
}
