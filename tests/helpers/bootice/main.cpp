// Stand-in for the boot-sector tool, installed as bootice.exe in a simulated boot directory.
// It never touches a real disk; everything it does is steered by the environment:
//
//   QUILLMERE_STANDIN_LOG         file to which the raw command line (GetCommandLineW) of every
//                                 run is appended as one UTF-8 line ending in a line feed, at
//                                 the start of the run
//   QUILLMERE_STANDIN_EVENTS      file that gets "begin <kind>" at the start and
//                                 "end <kind> <exit code>" at the end of every run; kind is
//                                 mbr, pbr, sectors or other
//   QUILLMERE_STANDIN_WATCH       a file whose content is added to each begin line as
//                                 " watch=<content>" (line feeds as \n, "<none>" when missing),
//                                 so a test sees what that file held when the run started
//   QUILLMERE_STANDIN_SLEEP_MS    the run lasts at least this long (a slow tool)
//   QUILLMERE_STANDIN_EXIT_MBR    exit code of a /mbr run (default 0)
//   QUILLMERE_STANDIN_EXIT_PBR    exit code of a /pbr run (default 0)
//   QUILLMERE_STANDIN_EXIT_SECTORS  exit code of a /sectors run (default 0)
//   QUILLMERE_STANDIN_EXIT_LBA<L> exit code of a /sectors run at /lba=L; wins over _SECTORS
//   QUILLMERE_STANDIN_EXIT_OTHER  exit code of any other command line (default 0), so the
//                                 stand-in can also pose as a logging command interpreter
//   QUILLMERE_STANDIN_DISK_IMAGE  disk image file that the runs write into
//
// A run whose chosen exit code is not 0 writes nothing. Otherwise:
//   /sectors /restore /file=F /lba=L /sectors=N writes F's bytes at byte L*512 of the disk
//     image; exit 2 when F cannot be read or an option is malformed, 3 when F is larger than
//     N sectors, 4 when the image is missing or cannot be written. Without a disk image the
//     checks on F are still made and nothing is written.
//   /mbr writes "STANDIN MBR <type or file>" at byte 0 of the image (the partition table and
//     signature stay); /pbr writes "STANDIN PBR <type or file>" at the first sector of the
//     first partition when the image reaches it. Missing image: nothing written, exit 0.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/helpers/standin_common.h"

namespace {

constexpr uint64_t SectorSize = 512;

std::string EscapeLineFeeds(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

const char* KindOf(const std::vector<std::wstring>& tokens) {
    if (standin::HasToken(tokens, L"/sectors")) {
        return "sectors";
    }
    if (standin::HasToken(tokens, L"/mbr")) {
        return "mbr";
    }
    if (standin::HasToken(tokens, L"/pbr")) {
        return "pbr";
    }
    return "other";
}

bool ParseUnsigned(const std::wstring& text, uint64_t& value) {
    if (text.empty()) {
        return false;
    }
    value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(c - L'0');
    }
    return true;
}

int ChosenExitCode(const std::string& kind, const std::vector<std::wstring>& tokens) {
    int code = 0;
    if (kind == "mbr") {
        standin::EnvInt(L"QUILLMERE_STANDIN_EXIT_MBR", code);
    } else if (kind == "pbr") {
        standin::EnvInt(L"QUILLMERE_STANDIN_EXIT_PBR", code);
    } else if (kind == "sectors") {
        standin::EnvInt(L"QUILLMERE_STANDIN_EXIT_SECTORS", code);
        bool found = false;
        std::wstring lba = standin::OptionValue(tokens, L"/lba=", found);
        if (found) {
            standin::EnvInt((L"QUILLMERE_STANDIN_EXIT_LBA" + lba).c_str(), code);
        }
    } else {
        standin::EnvInt(L"QUILLMERE_STANDIN_EXIT_OTHER", code);
    }
    return code;
}

int WriteSectors(const std::vector<std::wstring>& tokens, const std::wstring& image) {
    bool hasFile = false, hasLba = false, hasCount = false;
    std::wstring file = standin::OptionValue(tokens, L"/file=", hasFile);
    std::wstring lbaText = standin::OptionValue(tokens, L"/lba=", hasLba);
    std::wstring countText = standin::OptionValue(tokens, L"/sectors=", hasCount);
    uint64_t lba = 0, count = 0;
    std::string bytes;
    if (!hasFile || !hasLba || !hasCount || !ParseUnsigned(lbaText, lba) ||
        !ParseUnsigned(countText, count) || !standin::ReadWholeFile(file, bytes)) {
        return 2;
    }
    if (bytes.size() > count * SectorSize) {
        return 3;
    }
    if (image.empty()) {
        return 0;
    }
    return standin::WriteAt(image, lba * SectorSize, bytes) ? 0 : 4;
}

// What the install kinds name: the /type= value or the /file= path.
std::string RecordLabel(const std::vector<std::wstring>& tokens) {
    bool found = false;
    std::wstring value = standin::OptionValue(tokens, L"/type=", found);
    if (!found) {
        value = standin::OptionValue(tokens, L"/file=", found);
    }
    return standin::ToUtf8(value);
}

void WriteRecordMarker(const std::string& kind, const std::vector<std::wstring>& tokens,
                       const std::wstring& image) {
    if (image.empty()) {
        return;
    }
    std::string marker = (kind == "mbr" ? "STANDIN MBR " : "STANDIN PBR ") + RecordLabel(tokens);
    marker.resize(std::min<size_t>(marker.size(), 440));
    if (kind == "mbr") {
        standin::WriteAt(image, 0, marker);
        return;
    }
    std::string sector0;
    if (!standin::ReadAt(image, 0, SectorSize, sector0)) {
        return;
    }
    uint64_t start = 0;
    for (int i = 0; i < 4; ++i) {
        start |= static_cast<uint64_t>(static_cast<uint8_t>(sector0[0x1C6 + i])) << (8 * i);
    }
    std::string probe;
    if (start > 0 && standin::ReadAt(image, start * SectorSize, SectorSize, probe)) {
        standin::WriteAt(image, start * SectorSize, marker);
    }
}

} // namespace

int wmain() {
    DWORD started = GetTickCount();
    std::wstring commandLine = GetCommandLineW();
    std::vector<std::wstring> tokens = standin::SplitCommandLine(commandLine);
    std::string kind = KindOf(tokens);

    standin::AppendLine(standin::EnvValue(L"QUILLMERE_STANDIN_LOG"), standin::ToUtf8(commandLine));
    std::wstring events = standin::EnvValue(L"QUILLMERE_STANDIN_EVENTS");
    std::string begin = "begin " + kind;
    std::wstring watch = standin::EnvValue(L"QUILLMERE_STANDIN_WATCH");
    if (!watch.empty()) {
        std::string watched;
        begin += " watch=" +
                 (standin::ReadWholeFile(watch, watched) ? EscapeLineFeeds(watched) : "<none>");
    }
    standin::AppendLine(events, begin);

    std::wstring image = standin::EnvValue(L"QUILLMERE_STANDIN_DISK_IMAGE");
    int code = ChosenExitCode(kind, tokens);
    if (code == 0 && kind == "sectors") {
        code = WriteSectors(tokens, image);
    } else if (code == 0 && (kind == "mbr" || kind == "pbr")) {
        WriteRecordMarker(kind, tokens, image);
    }

    standin::LastAtLeastSleepTime(started);
    standin::AppendLine(events, "end " + kind + " " + std::to_string(code));
    return code;
}
