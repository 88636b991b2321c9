#pragma once
// Points one of the test program's own imports at a replacement for a scope, so a test can give
// the product code an answer the system under test cannot give (Wine has no disk behind a
// simulated drive, and cannot order a wait the way Windows does).
#include <windows.h>

#include <cstring>

// One import slot of this program pointed at `replacement` until scope end; `slot` is null when
// the program does not import the function.
struct ImportSwap {
    void** slot = nullptr;
    void* saved = nullptr;

    ImportSwap(const char* dll, const char* function, void* replacement) {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        auto* module =
            reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
        for (; imports.VirtualAddress && module->Name && !slot; ++module) {
            if (_stricmp(reinterpret_cast<const char*>(base + module->Name), dll) != 0) {
                continue;
            }
            auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
                base +
                (module->OriginalFirstThunk ? module->OriginalFirstThunk : module->FirstThunk));
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
            for (; names->u1.AddressOfData && !slot; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                    continue;
                }
                const auto* byName =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                    slot = reinterpret_cast<void**>(&slots->u1.Function);
                }
            }
        }
        if (slot) {
            saved = *slot;
            Write(replacement);
        }
    }
    ImportSwap(const ImportSwap&) = delete;
    ImportSwap& operator=(const ImportSwap&) = delete;
    ~ImportSwap() {
        if (slot) {
            Write(saved);
        }
    }
    void Write(void* value) {
        DWORD old = 0;
        VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
        *slot = value;
        VirtualProtect(slot, sizeof *slot, old, &old);
    }
};
