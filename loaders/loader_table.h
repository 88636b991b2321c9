#pragma once
// The seven loader buttons and what makes each what it is. Nothing outside this table knows a
// loader by number. No window state: every layer from the loaders up reads it.
#include <cstdint>

constexpr int LoaderCount = 7;

// The seven loader buttons, in button order (index 0 to 6); LoaderFacts below says what each is.
enum class Loader : int32_t {
    XorBoot,
    Bootmgr,
    Grub4Dos,
    Grub2,
    UefiBootmgr,
    UefiGrub2,
    UefiXorboot
};
enum class BootMode { Legacy, Uefi };

// A rectangle in pixels: x, y, width, height.
struct PixelRect {
    int32_t x, y, width, height;
};

// The window's size at 96 dpi, around the buttons' places below; the layout (ui/layout.h)
// scales it with everything else.
constexpr int32_t WindowWidth96 = 376;
constexpr int32_t WindowHeight96 = 208;

struct LoaderFacts {
    Loader loader;
    const wchar_t* label; // on the button
    PixelRect place;      // at 96 dpi; the layout scales it
    BootMode mode;
    int32_t stateValue;  // in bootstate.txt and in legacyLoader or uefiLoader
    const wchar_t* name; // in the success message
};

extern const LoaderFacts Loaders[LoaderCount];

const LoaderFacts& FactsOf(Loader loader);
// The facts of button `index`; null for an index outside 0 to 6.
const LoaderFacts* FactsAtIndex(int32_t index);
// Whether the boot state values mark `loader` as the one installed in its mode.
bool IsInstalled(Loader loader, int32_t legacyLoader, int32_t uefiLoader);
