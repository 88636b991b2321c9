#pragma once
// Hidden child processes, waited for while the thread's window messages keep flowing.
#include <string>

// The child's exit code; -1 when no process was created.
int RunProcessAndWait(const std::wstring& commandLine);
std::wstring GetCommandInterpreterPath();
