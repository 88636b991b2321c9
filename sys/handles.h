#pragma once
// Owners for Windows objects, so every object is released on every path by the scope that
// acquired it. Owners move but never copy: a copy would close twice.
#include <windows.h>

#include <utility>

// One owner for every kind of handle; Traits gives the handle type, its invalid value and how
// it is released.
template <typename Traits> struct Owner {
    using Value = typename Traits::Value;
    Value value = Traits::Invalid();

    Owner() = default;
    explicit Owner(Value v) : value(v) {}
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : value(std::exchange(other.value, Traits::Invalid())) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.value, Traits::Invalid()));
        }
        return *this;
    }
    ~Owner() { Reset(); }

    bool Valid() const { return value != Traits::Invalid() && value != nullptr; }
    Value Get() const { return value; }
    void Reset(Value v = Traits::Invalid()) {
        if (Valid()) {
            Traits::Close(value);
        }
        value = v;
    }
};

struct FileTraits { // CreateFileW answers INVALID_HANDLE_VALUE on failure
    using Value = HANDLE;
    static Value Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Value h) { CloseHandle(h); }
};
struct KernelTraits { // processes, threads, mutexes, events: null on failure
    using Value = HANDLE;
    static Value Invalid() { return nullptr; }
    static void Close(Value h) { CloseHandle(h); }
};
struct FindTraits {
    using Value = HANDLE;
    static Value Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Value h) { FindClose(h); }
};
template <typename T> struct GdiTraits {
    using Value = T;
    static Value Invalid() { return nullptr; }
    static void Close(Value h) { DeleteObject(h); }
};
struct RegistryKeyTraits { // RegOpenKeyExW leaves null on failure
    using Value = HKEY;
    static Value Invalid() { return nullptr; }
    static void Close(Value h) { RegCloseKey(h); }
};
struct MemoryDcTraits {
    using Value = HDC;
    static Value Invalid() { return nullptr; }
    static void Close(Value h) { DeleteDC(h); }
};

using FileHandle = Owner<FileTraits>;
using KernelHandle = Owner<KernelTraits>;
using FindHandle = Owner<FindTraits>;
using FontHandle = Owner<GdiTraits<HFONT>>;
using BitmapHandle = Owner<GdiTraits<HBITMAP>>;
using BrushHandle = Owner<GdiTraits<HBRUSH>>;
using MemoryDcHandle = Owner<MemoryDcTraits>; // CreateCompatibleDC
using RegistryKey = Owner<RegistryKeyTraits>;

// Both handles CreateProcessW gives for a child, released together.
struct ChildProcess {
    KernelHandle process;
    KernelHandle thread;

    ChildProcess() = default;
    explicit ChildProcess(const PROCESS_INFORMATION& created)
        : process(created.hProcess), thread(created.hThread) {}
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
