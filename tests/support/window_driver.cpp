#include "tests/support/window_driver.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sys/handles.h"

namespace {

struct WindowQuery {
    const wchar_t* className;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* query = reinterpret_cast<WindowQuery*>(parameter);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (wcscmp(name, query->className) == 0 && IsWindowVisible(window) &&
        (query->processId == 0 || owner == query->processId)) {
        query->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindVisible(const wchar_t* className, DWORD processId) {
    WindowQuery query{className, processId, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND WaitForVisible(const wchar_t* className, DWORD processId, DWORD timeoutMs) {
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindVisible(className, processId)) != nullptr; }, timeoutMs);
    return window;
}

std::wstring WindowText(HWND window) {
    wchar_t buffer[4096] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return buffer;
}

// A top-down 32-bit bitmap whose pixels the caller reads through `bits`.
HBITMAP CreatePixelBitmap(HDC dc, int width, int height, void*& bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// Screen pixels of a rectangle as 0xRRGGBB, through one BitBlt from the screen.
std::vector<uint32_t> CaptureScreen(int x, int y, int width, int height) {
    std::vector<uint32_t> pixels;
    WindowDc screen(nullptr);
    MemoryDcHandle memory(CreateCompatibleDC(screen.dc));
    void* bits = nullptr;
    BitmapHandle bitmap(CreatePixelBitmap(screen.dc, width, height, bits));
    if (!bitmap.Valid() || !bits) {
        return pixels;
    }
    {
        SelectGuard select(memory.Get(), bitmap.Get());
        BitBlt(memory.Get(), 0, 0, width, height, screen.dc, x, y, SRCCOPY);
        GdiFlush();
    }
    const uint32_t* raw = static_cast<const uint32_t*>(bits);
    pixels.assign(raw, raw + static_cast<size_t>(width) * height);
    for (uint32_t& pixel : pixels) {
        pixel &= 0xFFFFFF;
    }
    return pixels;
}

struct IconMatch {
    std::string name;        // empty: the box shows no icon, or the screen could not be read
    long long distance = -1; // summed channel differences from the closest standard icon
};

// Which standard icon a box shows: the icon control's pixels are compared with each standard
// icon drawn on the box's own background.
IconMatch IdentifyIcon(HWND box) {
    HWND iconControl = GetDlgItem(box, 0x440);
    if (!iconControl || !IsWindowVisible(iconControl)) {
        return {};
    }
    RECT rect{};
    GetWindowRect(iconControl, &rect);
    const int size = GetSystemMetrics(SM_CXICON);
    std::vector<uint32_t> shown = CaptureScreen(rect.left, rect.top, size, size);
    if (shown.empty()) {
        return {};
    }
    std::vector<uint32_t> corner = CaptureScreen(rect.left - 1, rect.top - 1, 1, 1);
    if (corner.empty()) {
        return {};
    }
    uint32_t background = corner[0];
    struct Candidate {
        const char* name;
        LPCWSTR id;
    } candidates[] = {{"error", IDI_ERROR},
                      {"information", IDI_INFORMATION},
                      {"warning", IDI_WARNING},
                      {"question", IDI_QUESTION}};
    std::string best;
    long long bestDistance = -1;
    for (const Candidate& candidate : candidates) {
        HICON icon = LoadIconW(nullptr, candidate.id);
        WindowDc screen(nullptr);
        MemoryDcHandle memory(CreateCompatibleDC(screen.dc));
        void* bits = nullptr;
        BitmapHandle bitmap(CreatePixelBitmap(screen.dc, size, size, bits));
        if (!bitmap.Valid() || !bits) {
            continue;
        }
        SelectGuard select(memory.Get(), bitmap.Get());
        BrushHandle brush(CreateSolidBrush(
            RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF)));
        RECT all{0, 0, size, size};
        FillRect(memory.Get(), &all, brush.Get());
        DrawIconEx(memory.Get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
        GdiFlush();
        const uint32_t* drawn = static_cast<const uint32_t*>(bits);
        long long distance = 0;
        for (size_t i = 0; i < shown.size(); ++i) {
            uint32_t a = shown[i], b = drawn[i] & 0xFFFFFF;
            for (int shift = 0; shift < 24; shift += 8) {
                distance += std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                     static_cast<int>((b >> shift) & 0xFF));
            }
        }
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = candidate.name;
        }
    }
    return {best, bestDistance};
}

} // namespace

HWND WaitForAppWindow(DWORD processId, DWORD timeoutMs) {
    return WaitForVisible(L"QuillmereCpp", processId, timeoutMs);
}

bool WaitForMessageBox(DWORD processId, DWORD timeoutMs, MessageBoxInfo& out) {
    HWND box = WaitForVisible(L"#32770", processId, timeoutMs);
    if (!box) {
        return false;
    }
    // The icon is read from the screen, where a box may show up before it has painted: a
    // shown icon matches its standard icon pixel for pixel, a half-painted one matches none.
    IconMatch icon;
    WaitUntil(
        [&] {
            icon = IdentifyIcon(box);
            return icon.distance <= 0;
        },
        timeoutMs);
    out.box = box;
    out.owner = GetWindow(box, GW_OWNER);
    out.caption = WindowText(box);
    HWND text = GetDlgItem(box, 0xFFFF);
    out.text = text ? WindowText(text) : std::wstring();
    out.icon = icon.name;
    return true;
}

bool MessageBoxShown(DWORD processId) {
    return FindVisible(L"#32770", processId) != nullptr;
}

bool PressOk(const MessageBoxInfo& box) {
    if (!IsWindow(box.box)) {
        return false;
    }
    PostMessageW(box.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    // The box is destroyed only when the program's message box call returns; a box merely
    // hidden still holds the program inside that call.
    return WaitUntil([&] { return !IsWindow(box.box); }, 10000);
}

uint32_t ReadScreenPixel(int x, int y) {
    std::vector<uint32_t> pixel = CaptureScreen(x, y, 1, 1);
    return pixel.empty() ? 0xFFFFFFFFu : pixel[0];
}

std::vector<uint32_t> ReadClientPixels(HWND window, int width, int height) {
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    return CaptureScreen(origin.x, origin.y, width, height);
}

uint32_t ReadClientPixel(HWND window, int x, int y) {
    POINT point{x, y};
    ClientToScreen(window, &point);
    return ReadScreenPixel(point.x, point.y);
}

bool WaitForClientPixel(HWND window, int x, int y, uint32_t rgb, DWORD timeoutMs) {
    return WaitUntil([&] { return ReadClientPixel(window, x, y) == rgb; }, timeoutMs);
}

void MovePointerToScreen(int x, int y) {
    SetCursorPos(x, y);
}

void MovePointerToClient(HWND window, int x, int y) {
    POINT point{x, y};
    ClientToScreen(window, &point);
    MovePointerToScreen(point.x, point.y);
}

namespace {
void SendButton(DWORD flag) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    SendInput(1, &input, sizeof input);
}
} // namespace

void LeftDown() {
    SendButton(MOUSEEVENTF_LEFTDOWN);
}

void LeftUp() {
    SendButton(MOUSEEVENTF_LEFTUP);
}

void ClickClient(HWND window, int x, int y, DWORD holdMs) {
    MovePointerToClient(window, x, y);
    // A person's pointer rests on the spot before the press.
    Hold(60);
    LeftDown();
    Hold(holdMs);
    LeftUp();
}

void Hold(DWORD ms) {
    Sleep(ms);
}

namespace {

// The innermost wait of the test's thread, read by the watchdog's thread.
std::atomic<const char*> waitFile{nullptr};
std::atomic<int> waitLine{0};
std::atomic<DWORD> waitCeiling{0};

const char* ShortPlace(const char* file) {
    const char* tests = std::strstr(file, "tests/");
    return tests ? tests : file;
}

} // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD ceilingMs, const char* file,
               int line) {
    const char* outerFile = waitFile.exchange(file);
    const int outerLine = waitLine.exchange(line);
    const DWORD outerCeiling = waitCeiling.exchange(ceilingMs);
    const DWORD start = GetTickCount();
    bool held = true;
    while (!condition()) {
        if (GetTickCount() - start >= ceilingMs) {
            held = condition();
            if (!held && ceilingMs > 0) { // a ceiling of 0 is a look, not a wait
                std::fprintf(stderr, "wait at %s:%d ended unmet after %lu ms\n", ShortPlace(file),
                             line, static_cast<unsigned long>(ceilingMs));
            }
            break;
        }
        Sleep(20);
    }
    waitFile = outerFile;
    waitLine = outerLine;
    waitCeiling = outerCeiling;
    return held;
}

std::string CurrentWaitPlace() {
    const char* file = waitFile;
    if (!file) {
        return "no wait";
    }
    return std::string(ShortPlace(file)) + ":" + std::to_string(waitLine.load()) + " (ceiling " +
           std::to_string(waitCeiling.load()) + " ms)";
}

bool NothingHappenedBy(const std::function<bool()>& passed, const std::function<bool()>& happened,
                       DWORD ceilingMs, const char* file, int line) {
    return WaitUntil(passed, ceilingMs, file, line) && !happened();
}

namespace {

// A mark on a patch of background that only the program's own paint removes.
const int MarkX = 196, MarkY = 156, MarkSize = 6;
const uint32_t Mark = 0xFF00FF;

void PutMark(HWND window) {
    WindowDc dc(window);
    BrushHandle brush(CreateSolidBrush(RGB(0xFF, 0x00, 0xFF)));
    RECT area{MarkX, MarkY, MarkX + MarkSize, MarkY + MarkSize};
    FillRect(dc.dc, &area, brush.Get());
    GdiFlush();
}

bool MarkPaintedOver(HWND window, DWORD ceilingMs) {
    PutMark(window);
    return WaitUntil(
        [&] { return ReadClientPixel(window, MarkX + MarkSize / 2, MarkY + MarkSize / 2) != Mark; },
        ceilingMs);
}

} // namespace

bool PolledSince(HWND window, DWORD ceilingMs) {
    // The first paint may be one the poll asked for before this call; the second is not.
    return MarkPaintedOver(window, ceilingMs) && MarkPaintedOver(window, ceilingMs);
}

bool PolledIdleSince(HWND window, DWORD ceilingMs) {
    if (!PolledSince(window, ceilingMs)) {
        return false;
    }
    // A face pixel of button 6 at 96 dpi; greyed it is 0xE9ECF1.
    return IsWindowEnabled(window) && ReadClientPixel(window, 252, 170) != 0xE9ECF1;
}
