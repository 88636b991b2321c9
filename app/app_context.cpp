#include "app/app_context.h"

const ButtonRect ButtonRects[LoaderCount] = {
    {14, 72, 170, 32},  {192, 72, 170, 32},  {14, 110, 170, 32}, {192, 110, 170, 32},
    {14, 168, 110, 32}, {132, 168, 110, 32}, {250, 168, 110, 32},
};

const wchar_t* const ButtonLabels[LoaderCount] = {
    L"XorBoot", L"Bootmgr", L"Grub4Dos", L"Grub2", L"Bootmgr", L"Grub2", L"Xorboot",
};

const wchar_t* const LoaderNames[LoaderCount] = {
    L"XorBoot",      L"Bootmgr",    L"Grub4Dos",     L"Grub2 (Legacy)",
    L"UEFI Bootmgr", L"UEFI GRUB2", L"UEFI Xorboot",
};
