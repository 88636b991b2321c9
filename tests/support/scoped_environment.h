#pragma once
// An environment variable of the test process, put back as it was when the scope ends.
#include <windows.h>

#include <string>

struct ScopedEnvironment {
    std::wstring name;
    std::wstring saved;
    bool hadValue = false;

    explicit ScopedEnvironment(const std::wstring& variable) : name(variable) {
        SetLastError(ERROR_SUCCESS);
        const DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
        hadValue = needed != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        saved.assign(needed, L'\0');
        saved.resize(needed ? GetEnvironmentVariableW(name.c_str(), &saved[0], needed) : 0);
    }
    // Remembers the variable, then sets it (nullptr removes it).
    ScopedEnvironment(const std::wstring& variable, const wchar_t* value)
        : ScopedEnvironment(variable) {
        SetEnvironmentVariableW(name.c_str(), value);
    }
    ScopedEnvironment(const std::wstring& variable, const std::wstring& value)
        : ScopedEnvironment(variable, value.c_str()) {}
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        SetEnvironmentVariableW(name.c_str(), hadValue ? saved.c_str() : nullptr);
    }
};
