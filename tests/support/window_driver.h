#pragma once
// Drives the program's window from a test as a person would: finds the window and its message
// boxes, reads them, presses OK, moves and clicks the pointer, and reads screen pixels.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The program's main window (class "QuillmereCpp") of process `processId` (0: any), waiting up
// to timeoutMs for it to appear and be visible.
HWND WaitForAppWindow(DWORD processId, DWORD timeoutMs);

struct MessageBoxInfo {
    HWND box = nullptr;
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text; // the static control with id 0xFFFF
    // Which standard icon the box shows: "error", "information", "warning", "question" or "".
    std::string icon;
};

// A visible message box (#32770) of process `processId`, waiting up to timeoutMs.
bool WaitForMessageBox(DWORD processId, DWORD timeoutMs, MessageBoxInfo& out);
// True when no message box of the process appears within timeoutMs.
bool NoMessageBoxWithin(DWORD processId, DWORD timeoutMs);
// Presses the box's OK button and waits until the box is gone.
bool PressOk(const MessageBoxInfo& box);

// Screen pixels as 0xRRGGBB.
uint32_t ReadScreenPixel(int x, int y);
// The whole client area of `window` read from the screen, row by row, as 0xRRGGBB.
std::vector<uint32_t> ReadClientPixels(HWND window, int width, int height);
// Client pixel (x, y) of `window` on screen, as 0xRRGGBB.
uint32_t ReadClientPixel(HWND window, int x, int y);
// Waits until the client pixel has `rgb`, at most timeoutMs.
bool WaitForClientPixel(HWND window, int x, int y, uint32_t rgb, DWORD timeoutMs);

// Pointer input through SetCursorPos and SendInput. Positions are client coordinates of
// `window` unless said otherwise.
void MovePointerToClient(HWND window, int x, int y);
void MovePointerToScreen(int x, int y);
void LeftDown();
void LeftUp();
// Press, hold holdMs (a 40 ms poll must see it), release, then wait afterMs.
void ClickClient(HWND window, int x, int y, DWORD holdMs = 100, DWORD afterMs = 150);
void Pause(DWORD ms);
// Checks `condition` every 20 ms until it holds or timeoutMs has passed; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
