#pragma once
// Owners for Windows objects, so every object is released on every path by the scope that
// acquired it. Owners move but never copy: a copy would close twice.
#include <windows.h>

#include <utility>

enum class HandleKind { File, Process, Find };

template <HandleKind Kind> struct HandleTraits;
template <> struct HandleTraits<HandleKind::File> {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
template <> struct HandleTraits<HandleKind::Process> {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
template <> struct HandleTraits<HandleKind::Find> {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};

template <HandleKind Kind> struct UniqueHandle {
    HANDLE value = HandleTraits<Kind>::Invalid();

    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : value(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value(std::exchange(other.value, Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            value = std::exchange(other.value, Invalid());
        }
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    static HANDLE Invalid() { return HandleTraits<Kind>::Invalid(); }
    bool Valid() const { return value != Invalid() && value != nullptr; }
    HANDLE Get() const { return value; }
    void Reset(HANDLE h = HandleTraits<Kind>::Invalid()) {
        if (Valid()) {
            HandleTraits<Kind>::Close(value);
        }
        value = h;
    }
};

using FileHandle = UniqueHandle<HandleKind::File>;       // CreateFileW: INVALID_HANDLE_VALUE
using ProcessHandle = UniqueHandle<HandleKind::Process>; // processes, threads, mutexes: null
using FindHandle = UniqueHandle<HandleKind::Find>;       // FindFirstFileW

// A GDI object of one type (font, bitmap) that outlives a single call: deleted when the owner
// is reset or ends.
template <typename T> struct GdiHandle {
    T value = nullptr;

    GdiHandle() = default;
    explicit GdiHandle(T v) : value(v) {}
    GdiHandle(const GdiHandle&) = delete;
    GdiHandle& operator=(const GdiHandle&) = delete;
    GdiHandle(GdiHandle&& other) noexcept : value(std::exchange(other.value, nullptr)) {}
    GdiHandle& operator=(GdiHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.value, nullptr));
        }
        return *this;
    }
    ~GdiHandle() { Reset(); }

    T Get() const { return value; }
    void Reset(T v = nullptr) {
        if (value) {
            DeleteObject(value);
        }
        value = v;
    }
};

using FontHandle = GdiHandle<HFONT>;
using BitmapHandle = GdiHandle<HBITMAP>;

// A memory device context that outlives a single call (CreateCompatibleDC/DeleteDC).
struct MemoryDcHandle {
    HDC value = nullptr;

    MemoryDcHandle() = default;
    MemoryDcHandle(const MemoryDcHandle&) = delete;
    MemoryDcHandle& operator=(const MemoryDcHandle&) = delete;
    MemoryDcHandle(MemoryDcHandle&& other) noexcept : value(std::exchange(other.value, nullptr)) {}
    MemoryDcHandle& operator=(MemoryDcHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.value, nullptr));
        }
        return *this;
    }
    ~MemoryDcHandle() { Reset(); }

    HDC Get() const { return value; }
    void Reset(HDC v = nullptr) {
        if (value) {
            DeleteDC(value);
        }
        value = v;
    }
};

// A shutdown block reason on a window from construction to scope end. Logoff and shutdown then
// show the reason and wait for the user instead of ending the program mid-write.
struct ShutdownBlock {
    HWND window;
    bool held;
    ShutdownBlock(HWND w, const wchar_t* reason)
        : window(w), held(ShutdownBlockReasonCreate(w, reason) != FALSE) {}
    ShutdownBlock(const ShutdownBlock&) = delete;
    ShutdownBlock& operator=(const ShutdownBlock&) = delete;
    ~ShutdownBlock() {
        if (held) {
            ShutdownBlockReasonDestroy(window);
        }
    }
};

// BeginPaint/EndPaint as one scope.
struct PaintDc {
    HWND window;
    PAINTSTRUCT ps{};
    HDC dc;
    explicit PaintDc(HWND w) : window(w), dc(BeginPaint(w, &ps)) {}
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() { EndPaint(window, &ps); }
};

// GetDC/ReleaseDC as one scope.
struct WindowDc {
    HWND window;
    HDC dc;
    explicit WindowDc(HWND w) : window(w), dc(GetDC(w)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc) {
            ReleaseDC(window, dc);
        }
    }
};

// Selects a GDI object into a device context and puts the previous one back at scope end.
struct SelectGuard {
    HDC dc;
    HGDIOBJ previous;
    SelectGuard(HDC d, HGDIOBJ object)
        : dc(d), previous(object ? SelectObject(d, object) : nullptr) {}
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    ~SelectGuard() {
        if (previous) {
            SelectObject(dc, previous);
        }
    }
};

// A GDI object (brush, bitmap, font) deleted at scope end.
struct GdiObject {
    HGDIOBJ value;
    explicit GdiObject(HGDIOBJ v) : value(v) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() {
        if (value) {
            DeleteObject(value);
        }
    }
};

// A memory device context deleted at scope end.
struct MemoryDc {
    HDC dc;
    explicit MemoryDc(HDC compatible) : dc(CreateCompatibleDC(compatible)) {}
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (dc) {
            DeleteDC(dc);
        }
    }
};
