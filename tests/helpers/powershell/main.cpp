// Stand-in for powershell.exe running make-telvorn-mbr.ps1, placed in the program's own folder
// so the search for "powershell.exe" finds it first. It applies the script's byte rules
// (tests/helpers/mbr_image.h) with a disk image in place of \\.\PhysicalDrive<n>:
//
//   QUILLMERE_STANDIN_LOG          raw command line appended as a UTF-8 line, as the tool's
//                                  stand-in does, so one log shows every run in order
//   QUILLMERE_STANDIN_EVENTS       "begin powershell", "wrote powershell" once the image is
//                                  written, "end powershell <exit code>" after the sleep time
//   QUILLMERE_STANDIN_FAIL_RUN     "N=C": when this is the Nth stand-in run, exits with C
//   QUILLMERE_STANDIN_PS_EXIT      forces this exit code; nothing is read or written
//   QUILLMERE_STANDIN_SLEEP_MS     the run lasts at least this long
//   QUILLMERE_STANDIN_DISK_IMAGE   the disk whose sectors 0 and 1 are read
//   QUILLMERE_STANDIN_DRIVE_DISK   when set, the disk number of the script's own drive: any
//                                  other -Disk is refused as the script refuses it; unset, the
//                                  test build's answer for the script's drive letter from
//                                  QUILLMERE_TEST_PHYSICAL_DRIVE (what the program was told); a
//                                  negative answer is the script's "disk information unavailable"
//   QUILLMERE_STANDIN_SYSTEM_DISK  when set, the number of the system disk, refused likewise;
//                                  unset, the test build's answer for the Windows drive
//
// A -File script that does not exist ends with -196608, the code PowerShell itself gives.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sys/file_utils.h"
#include "sys/test_disk_number.h"
#include "tests/helpers/mbr_image.h"
#include "tests/helpers/standin_common.h"

namespace {

constexpr int MissingScriptExit = -196608;

// The token after `name` (case-insensitive, as PowerShell matches parameter names).
bool ArgumentAfter(const std::vector<std::wstring>& tokens, const wchar_t* name,
                   std::wstring& value) {
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (_wcsicmp(tokens[i].c_str(), name) == 0) {
            value = tokens[i + 1];
            return true;
        }
    }
    return false;
}

bool IsDecimal(const std::wstring& text) {
    return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

std::wstring FolderOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

wchar_t WindowsDriveLetter() {
    wchar_t windows[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    return length >= 2 && windows[1] == L':' ? windows[0] : L'\0';
}

// A number from the stand-in's own variable when set, else what the test build answers for the
// drive letter.
int DiskOf(const wchar_t* variable, wchar_t letter) {
    std::wstring value = standin::EnvValue(variable);
    if (!value.empty()) {
        return ParseTestDiskNumber(value);
    }
    return TestDiskNumber(standin::EnvValue(L"QUILLMERE_TEST_PHYSICAL_DRIVE"), letter,
                          WindowsDriveLetter());
}

int MakeImage(const std::vector<std::wstring>& tokens, const std::wstring& script) {
    std::wstring disk, boot, out;
    if (!ArgumentAfter(tokens, L"-Disk", disk) || !IsDecimal(disk) ||
        !ArgumentAfter(tokens, L"-Boot", boot) || boot.empty() ||
        !ArgumentAfter(tokens, L"-Out", out) || out.empty()) {
        return mbr::BadArguments;
    }
    std::string bootBytes;
    if (!standin::ReadWholeFile(boot, bootBytes)) {
        return mbr::NotGrubBootImage;
    }
    if (int refusal = mbr::CheckBootImage(bootBytes)) {
        return refusal;
    }
    std::string core;
    if (!standin::ReadWholeFile(FolderOf(boot) + L"\\core.img", core)) {
        return mbr::CoreImageUnfit;
    }
    if (int refusal = mbr::CheckCoreImageSize(core.size())) {
        return refusal;
    }
    const int ownDisk = DiskOf(L"QUILLMERE_STANDIN_DRIVE_DISK", script[0]);
    const int systemDisk = DiskOf(L"QUILLMERE_STANDIN_SYSTEM_DISK", WindowsDriveLetter());
    if (int refusal = mbr::CheckDiskChoice(ParseTestDiskNumber(disk), ownDisk, systemDisk)) {
        return refusal;
    }
    std::string head;
    if (!standin::ReadAt(standin::EnvValue(L"QUILLMERE_STANDIN_DISK_IMAGE"), 0, 2 * mbr::SectorSize,
                         head)) {
        return mbr::DiskUnreadable;
    }
    if (int refusal = mbr::CheckDiskHead(head)) {
        return refusal;
    }
    if (!WriteFileFlushed(out, mbr::ComposeMbrImage(bootBytes, head))) {
        return mbr::OutputNotWritten;
    }
    return mbr::Written;
}

int Run(const std::vector<std::wstring>& tokens) {
    int forced = 0;
    if (standin::EnvInt(L"QUILLMERE_STANDIN_PS_EXIT", forced)) {
        return forced;
    }
    std::wstring script;
    if (!ArgumentAfter(tokens, L"-File", script) ||
        GetFileAttributesW(script.c_str()) == INVALID_FILE_ATTRIBUTES) {
        fprintf(stderr, "The argument to the -File parameter does not exist.\n");
        return MissingScriptExit;
    }
    int code = MakeImage(tokens, script);
    if (code != mbr::Written) {
        fprintf(stderr, "%s\n", mbr::RefusalText(code));
    }
    return code;
}

} // namespace

int wmain() {
    DWORD started = GetTickCount();
    std::wstring commandLine = GetCommandLineW();
    standin::AppendLine(standin::EnvValue(L"QUILLMERE_STANDIN_LOG"), ToUtf8(commandLine));
    std::wstring events = standin::EnvValue(L"QUILLMERE_STANDIN_EVENTS");
    standin::AppendLine(events, "begin powershell");

    int failRun = 0, failCode = 0;
    int code = standin::FailRunRequested(failRun, failCode) && standin::RunsBegun(events) == failRun
                   ? failCode
                   : Run(standin::SplitCommandLine(commandLine));
    standin::AppendLine(events, "wrote powershell");

    standin::LastAtLeastSleepTime(started, events);
    standin::AppendLine(events, "end powershell " + std::to_string(code));
    return code;
}
