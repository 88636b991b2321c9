#pragma once
// The real test-build program on a simulated Telvorn drive, with its window found and the
// pointer parked off it. Shared by the window's end-to-end tests.
#include <windows.h>

#include <string>

#include "tests/support/app_runner.h"
#include "tests/support/sim_drive.h"
#include "tests/support/window_driver.h"
#include "tests/support/window_looks.h"

struct WindowSession {
    SimDrive installer;
    SimDrive data;
    AppRun app; // declared after the drives: killed before they are unmapped
    HWND window = nullptr;

    static constexpr const wchar_t* Boot = L"\\efi\\Telvorn\\Boot";

    // `bootState` empty: no bootstate.txt.
    bool Prepare(const std::string& bootState = "", bool loaderSources = true) {
        if (!MakeFolders(BuildDir() + L"\\scratch") || !WriteBytes(DiskPath(), ValidDiskImage()) ||
            !installer.Map(L'E', L"ui_installer") ||
            !LayOutInstaller(installer, L"quillmere-testdisk") || !data.Map(L'F', L"ui_data") ||
            !LayOutDataMarker(data)) {
            return false;
        }
        if (loaderSources && !LayOutLoaderSources(installer)) {
            return false;
        }
        return bootState.empty() ||
               installer.Write(std::wstring(Boot) + L"\\bootstate.txt", bootState);
    }

    bool Launch(EnvironmentOverrides environment = {}) {
        ParkPointer();
        environment.push_back({L"QUILLMERE_TEST_PHYSICAL_DRIVE", L"2"});
        for (const auto& variable : DiskVariables(2, DiskPath())) {
            environment.push_back(variable);
        }
        if (!app.Start(InstalledProgram(installer, L"quillmere-testdisk"), environment)) {
            return false;
        }
        window = WaitForAppWindow(app.processId, 20000);
        return window != nullptr;
    }

    // Prepared and launched with nothing overridden.
    bool Open(const std::string& bootState = "") { return Prepare(bootState) && Launch(); }

    // The image that stands for the installer's disk 2.
    static std::wstring DiskPath() { return BuildDir() + L"\\scratch\\ui-disk.img"; }

    static void ParkPointer() { MovePointerToScreen(2, 790); }

    std::string BootState() const {
        return installer.Read(std::wstring(Boot) + L"\\bootstate.txt");
    }

    RECT Frame() const {
        RECT frame{};
        GetWindowRect(window, &frame);
        return frame;
    }

    // Moves an open box off the window so the window's own pixels can be read; true once the
    // box stands at the screen's corner.
    bool MoveAside(const MessageBoxInfo& box) const {
        SetWindowPos(box.box, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return WaitUntil(
            [&] {
                RECT at{};
                return GetWindowRect(box.box, &at) && at.left == 0 && at.top == 0;
            },
            5000);
    }
};

// A client place that belongs to no zone.
constexpr POINT Nowhere = {5, 60};
