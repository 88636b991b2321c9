#include "loaders/loader_table.h"

const LoaderFacts Loaders[LoaderCount] = {
    {Loader::XorBoot, L"XorBoot", {14, 72, 170, 32}, BootMode::Legacy, 0, L"XorBoot"},
    {Loader::Bootmgr, L"Bootmgr", {192, 72, 170, 32}, BootMode::Legacy, 1, L"Bootmgr"},
    {Loader::Grub4Dos, L"Grub4Dos", {14, 110, 170, 32}, BootMode::Legacy, 2, L"Grub4Dos"},
    {Loader::Grub2, L"Grub2", {192, 110, 170, 32}, BootMode::Legacy, 3, L"Grub2 (Legacy)"},
    {Loader::UefiBootmgr, L"Bootmgr", {14, 168, 110, 32}, BootMode::Uefi, 0, L"UEFI Bootmgr"},
    {Loader::UefiGrub2, L"Grub2", {132, 168, 110, 32}, BootMode::Uefi, 1, L"UEFI GRUB2"},
    {Loader::UefiXorboot, L"Xorboot", {250, 168, 110, 32}, BootMode::Uefi, 2, L"UEFI Xorboot"},
};

const LoaderFacts& FactsOf(Loader loader) {
    return Loaders[static_cast<int32_t>(loader)];
}

const LoaderFacts* FactsAtIndex(int32_t index) {
    return index >= 0 && index < LoaderCount ? &Loaders[index] : nullptr;
}

bool IsInstalled(Loader loader, int32_t legacyLoader, int32_t uefiLoader) {
    const LoaderFacts& facts = FactsOf(loader);
    return facts.stateValue == (facts.mode == BootMode::Legacy ? legacyLoader : uefiLoader);
}
