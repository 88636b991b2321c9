#pragma once
#include <windows.h>

// The whole start-up and message loop; returns the process exit code.
int RunQuillmere(HINSTANCE instance);
