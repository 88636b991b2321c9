#pragma once
// Ids shared by the resource script and the code, and the name both show: a number or a name
// changed here changes in both.
#define QUILLMERE_NAME "Quillmere"
#define IDI_QUILLMERE 1

#ifndef RC_INVOKED
#include <windows.h>

// The caption of the window and of every message box.
constexpr const wchar_t* AppCaption = L"" QUILLMERE_NAME;
constexpr UINT_PTR PollTimerId = 1;
#endif
