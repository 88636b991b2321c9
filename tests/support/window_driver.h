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
// True when a message box of the process is visible now.
bool MessageBoxShown(DWORD processId);
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
// Move, rest 60 ms, press, hold holdMs (a 40 ms poll must see it), release.
void ClickClient(HWND window, int x, int y, DWORD holdMs = 100);
// How long a press is held down: part of the input, never a wait for the program.
void Hold(DWORD ms);

// Positive checks: checks `condition` every 20 ms until it holds or ceilingMs has passed; true
// when it held. The ceiling is generous: it only bounds a failing test. A wait that runs out
// says where it stood (the caller's file and line) on stderr.
bool WaitUntil(const std::function<bool()>& condition, DWORD ceilingMs,
               const char* file = __builtin_FILE(), int line = __builtin_LINE());
// The wait in progress, as "file:line (ceiling N ms)", or "no wait": what a hung run reports.
std::string CurrentWaitPlace();
// Absence checks: waits for `passed`, the program's own sign that it has gone past the point
// where `happened` would have become true, then says whether `happened` stayed false. False as
// well when the sign does not come within ceilingMs.
bool NothingHappenedBy(const std::function<bool()>& passed, const std::function<bool()>& happened,
                       DWORD ceilingMs = 20000, const char* file = __builtin_FILE(),
                       int line = __builtin_LINE());

// A sign that the window's pointer poll has run since this call: the program paints over a mark
// twice, the second paint following a tick begun after the call. Needs the pointer over the
// window, where the poll never rests.
bool PolledSince(HWND window, DWORD ceilingMs = 20000);
// A sign that the window's pointer poll has run since this call without starting an action: the
// program paints over a mark twice (the second paint follows a tick begun after the call), the
// window is enabled and loader button 6 is not greyed as while an action runs or a box is open.
// Needs the pointer over the window, where the poll never rests.
bool PolledIdleSince(HWND window, DWORD ceilingMs = 20000);
