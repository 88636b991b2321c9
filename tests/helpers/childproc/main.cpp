// A child for the process-runner tests and benchmark. One mode per run:
//   exit CODE              exit with CODE (decimal or 0x hex, any 32-bit value)
//   sleep MS [CODE]        sleep MS milliseconds, then exit with CODE (default 0)
//   cmdline FILE           write the command line as received (UTF-16) to FILE
//   startup FILE           write "flags=F show=S" from the start-up information to FILE
//   stamp FILE             write the performance counter (8 bytes) to FILE just before exiting
//   log MESSAGE [COUNT]    write MESSAGE COUNT times (default 1) through the real debug log
//   moduledir FILE         write GetModuleDirectory's answer (UTF-16) to FILE
//   testdisk LETTER        exit with the test build's disk number for LETTER
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "sys/debug_log.h"
#include "sys/file_utils.h"
#include "sys/physical_drive.h"

namespace {

unsigned long ParseCode(const wchar_t* text) {
    return std::wcstoul(text, nullptr, 0);
}

bool WriteFileBytes(const wchar_t* path, const void* bytes, DWORD size) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes, size, &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

int Usage() {
    std::fwprintf(
        stderr, L"usage: childproc exit|sleep|cmdline|startup|stamp|log|moduledir|testdisk ...\n");
    return 120;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return Usage();
    }
    const std::wstring mode = argv[1];
    if (mode == L"exit") {
        ExitProcess(static_cast<UINT>(ParseCode(argv[2])));
    }
    if (mode == L"sleep") {
        Sleep(static_cast<DWORD>(ParseCode(argv[2])));
        ExitProcess(argc > 3 ? static_cast<UINT>(ParseCode(argv[3])) : 0u);
    }
    if (mode == L"cmdline") {
        const wchar_t* line = GetCommandLineW();
        return WriteFileBytes(argv[2], line, static_cast<DWORD>(wcslen(line) * sizeof(wchar_t)))
                   ? 0
                   : 121;
    }
    if (mode == L"startup") {
        STARTUPINFOW startup{};
        GetStartupInfoW(&startup);
        char text[64];
        const int length = std::snprintf(text, sizeof(text), "flags=%lu show=%u",
                                         static_cast<unsigned long>(startup.dwFlags),
                                         static_cast<unsigned>(startup.wShowWindow));
        return WriteFileBytes(argv[2], text, static_cast<DWORD>(length)) ? 0 : 121;
    }
    if (mode == L"stamp") {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return WriteFileBytes(argv[2], &now.QuadPart, sizeof(now.QuadPart)) ? 0 : 121;
    }
    if (mode == L"log") {
        const unsigned long count = argc > 3 ? ParseCode(argv[3]) : 1;
        for (unsigned long i = 0; i < count; ++i) {
            DebugLog(L"%ls", argv[2]);
        }
        return 0;
    }
    if (mode == L"moduledir") {
        const std::wstring directory = GetModuleDirectory();
        return WriteFileBytes(argv[2], directory.data(),
                              static_cast<DWORD>(directory.size() * sizeof(wchar_t)))
                   ? 0
                   : 121;
    }
    if (mode == L"testdisk") {
        ExitProcess(static_cast<UINT>(GetPhysicalDriveNumber(argv[2][0])));
    }
    return Usage();
}
