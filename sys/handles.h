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
    SelectGuard(HDC d, HGDIOBJ object) : dc(d), previous(object ? SelectObject(d, object) : nullptr) {}
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
