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
//   QUILLMERE_STANDIN_SLEEP_RUN   only the run of this number (as FAIL_RUN counts) sleeps
//   QUILLMERE_STANDIN_EXIT_MBR    exit code of a /mbr run (default 0)
//   QUILLMERE_STANDIN_EXIT_PBR    exit code of a /pbr run (default 0)
//   QUILLMERE_STANDIN_EXIT_SECTORS  exit code of a /sectors run (default 0)
//   QUILLMERE_STANDIN_EXIT_LBA<L> exit code of a /sectors run at /lba=L; wins over _SECTORS
//   QUILLMERE_STANDIN_FAIL_RUN    "N=C": the Nth run of the stand-ins (counted by the begin
//                                 lines of QUILLMERE_STANDIN_EVENTS) exits with C
//   QUILLMERE_STANDIN_SKIP_RUN    "N,M,...": those runs write nothing and still exit 0
//   QUILLMERE_STANDIN_SPOIL       "N,M,...": those runs also write what they should not (an
//                                 /mbr run the table, a /pbr run the BPB, a /sectors run its
//                                 first sector) and still exit 0, as a faulty tool would
//   QUILLMERE_STANDIN_EXIT_OTHER  exit code of any other command line (default 0), so the
//                                 stand-in can also pose as a logging command interpreter
//   QUILLMERE_STANDIN_DISK_IMAGE  disk image file that the runs write into
//   QUILLMERE_STANDIN_PARTITION_DEVICE  the loop device below a mounted FAT volume in that
//                                 image (a Windows path, Z:\dev\loop0): the runs read and write
//                                 the partition (from the first table entry on) through it
//
// A run whose chosen exit code is not 0 writes nothing. Otherwise:
//   /sectors /restore /file=F /lba=L /sectors=N writes F's bytes at byte L*512 of the disk
//     image; exit 2 when F cannot be read or an option is malformed, 3 when F is larger than
//     N sectors, 4 when the image is missing or cannot be written. Without a disk image the
//     checks on F are still made and nothing is written.
//   /mbr writes boot code of its own into sector 0 keeping bytes 440-511 (/restore: the file's
//     first 440 bytes); /type=GRUB4DOS also fills sectors 1-17.
//   /pbr writes the partition's first sector keeping bytes 3-89 (the BPB; 3-61 on FAT12/16)
//     and ending in 55 AA
//     (/restore with /keep_bpb: the file's first sector so); /pbr /restore without /keep_bpb
//     writes the whole file from the partition's first sector on. The partition starts where
//     QUILLMERE_TEST_PARTITION_START puts the /DEVICE= letter's, else at the first table entry.
//   A record run without a disk image writes nothing and exits 0; one that cannot write exits 4.
//   After its writes every run adds "wrote <kind>" to the events, then lasts its sleep time.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sys/test_disk_number.h"
#include "tests/helpers/standin_common.h"

namespace {

constexpr uint64_t SectorSize = 512;

// The disk the runs write: the image, except inside the partition where the test names the loop
// device below its mounted FAT volume. The file system caches its sectors there, and only
// writes through the same device meet them, as on a stick.
struct Disk {
    std::wstring image;
    std::wstring partitionDevice;
    uint64_t partitionByte = 0;
    bool empty() const { return image.empty(); }
};

bool ReadDisk(const Disk& disk, uint64_t at, size_t length, std::string& out) {
    return disk.partitionDevice.empty() || at < disk.partitionByte
               ? standin::ReadAt(disk.image, at, length, out)
               : standin::ReadAt(disk.partitionDevice, at - disk.partitionByte, length, out);
}

bool WriteDisk(const Disk& disk, uint64_t at, const std::string& bytes) {
    if (disk.partitionDevice.empty() || at + bytes.size() <= disk.partitionByte) {
        return standin::WriteAt(disk.image, at, bytes);
    }
    if (at < disk.partitionByte) {
        const size_t before = static_cast<size_t>(disk.partitionByte - at);
        return standin::WriteAt(disk.image, at, bytes.substr(0, before)) &&
               standin::WriteAt(disk.partitionDevice, 0, bytes.substr(before));
    }
    return standin::WriteAt(disk.partitionDevice, at - disk.partitionByte, bytes);
}

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

int WriteSectors(const std::vector<std::wstring>& tokens, const Disk& image) {
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
    return WriteDisk(image, lba * SectorSize, bytes) ? 0 : 4;
}

// What the install kinds name: the /type= value or the /file= path.
std::string RecordLabel(const std::vector<std::wstring>& tokens) {
    bool found = false;
    std::wstring value = standin::OptionValue(tokens, L"/type=", found);
    if (!found) {
        value = standin::OptionValue(tokens, L"/file=", found);
    }
    return ToUtf8(value);
}

// The first sector of the partition /DEVICE= names: the test build's partition start when the
// test gave one, else the first entry of the image's partition table.
bool PartitionStart(const std::vector<std::wstring>& tokens, const Disk& image, uint64_t& start) {
    bool found = false;
    const std::wstring device = standin::OptionValue(tokens, L"/DEVICE=", found);
    const long long named = TestPartitionStart(standin::EnvValue(L"QUILLMERE_TEST_PARTITION_START"),
                                               found && !device.empty() ? device[0] : 0);
    if (named >= 0) {
        start = static_cast<uint64_t>(named);
        return true;
    }
    std::string sector0;
    if (!ReadDisk(image, 0, SectorSize, sector0)) {
        return false;
    }
    start = 0;
    for (int i = 0; i < 4; ++i) {
        start |= static_cast<uint64_t>(static_cast<uint8_t>(sector0[0x1C6 + i])) << (8 * i);
    }
    return start > 0;
}

// Writes `sector` at `at`, keeping the image's own bytes [keepFrom, keepTo).
bool WriteKeeping(const Disk& image, uint64_t at, std::string sector, size_t keepFrom,
                  size_t keepTo) {
    std::string old;
    if (!ReadDisk(image, at, SectorSize, old)) {
        return false;
    }
    sector.resize(SectorSize, '\0');
    sector.replace(keepFrom, keepTo - keepFrom, old, keepFrom, keepTo - keepFrom);
    return WriteDisk(image, at, sector);
}

// What a real tool writes, as far as a test can see it: boot code of its own around what each
// record must keep (the MBR's signature and table, the partition's BPB).
int WriteRecord(const std::string& kind, const std::vector<std::wstring>& tokens,
                const Disk& image) {
    if (image.empty()) {
        return 0;
    }
    const bool restore = standin::HasToken(tokens, L"/restore");
    bool hasFile = false;
    const std::wstring file = standin::OptionValue(tokens, L"/file=", hasFile);
    std::string content;
    if (restore && (!hasFile || !standin::ReadWholeFile(file, content))) {
        return 2;
    }
    if (kind == "mbr") {
        std::string code = restore ? content.substr(0, 440) : "STANDIN MBR " + RecordLabel(tokens);
        if (!WriteKeeping(image, 0, code, 440, SectorSize)) {
            return 4;
        }
        // GRUB4DOS keeps the rest of its loader in the sectors behind the MBR.
        if (RecordLabel(tokens) == "GRUB4DOS") {
            std::string rest = std::string(17 * SectorSize, 'G');
            return WriteDisk(image, SectorSize, rest) ? 0 : 4;
        }
        return 0;
    }
    uint64_t start = 0;
    if (!PartitionStart(tokens, image, start)) {
        return 4;
    }
    if (restore && !standin::HasToken(tokens, L"/keep_bpb")) {
        return WriteDisk(image, start * SectorSize, content) ? 0 : 4;
    }
    std::string record =
        restore ? content.substr(0, SectorSize)
                : "\xEB\x58\x90" + std::string(87, '\0') + "STANDIN PBR " + RecordLabel(tokens);
    record.resize(SectorSize, '\0');
    record[510] = '\x55';
    record[511] = '\xAA';
    // A FAT12/16 BPB (512-byte sectors, its 16-bit FAT size set) ends at byte 62: the code
    // starts there.
    std::string old;
    if (!ReadDisk(image, start * SectorSize, SectorSize, old)) {
        return 4;
    }
    const bool fat16 = old[11] == 0 && old[12] == 2 && (old[22] != 0 || old[23] != 0);
    const size_t bpbEnd = fat16 ? 62 : 90;
    return WriteKeeping(image, start * SectorSize, record, 3, bpbEnd) ? 0 : 4;
}

// Damages what a run of `kind` must leave alone: the partition table, the BPB, or the first
// sector a sector write was given.
void Spoil(const std::string& kind, const std::vector<std::wstring>& tokens, const Disk& image) {
    uint64_t at = 0;
    if (kind == "mbr") {
        at = 446;
    } else if (kind == "pbr") {
        if (!PartitionStart(tokens, image, at)) {
            return;
        }
        at = at * SectorSize + 11;
    } else {
        bool found = false;
        uint64_t lba = 0;
        ParseUnsigned(standin::OptionValue(tokens, L"/lba=", found), lba);
        at = lba * SectorSize;
    }
    WriteDisk(image, at, "SPOILT");
}

} // namespace

int wmain() {
    DWORD started = GetTickCount();
    std::wstring commandLine = GetCommandLineW();
    std::vector<std::wstring> tokens = standin::SplitCommandLine(commandLine);
    std::string kind = KindOf(tokens);

    standin::AppendLine(standin::EnvValue(L"QUILLMERE_STANDIN_LOG"), ToUtf8(commandLine));
    std::wstring events = standin::EnvValue(L"QUILLMERE_STANDIN_EVENTS");
    std::string begin = "begin " + kind;
    std::wstring watch = standin::EnvValue(L"QUILLMERE_STANDIN_WATCH");
    if (!watch.empty()) {
        std::string watched;
        begin += " watch=" +
                 (standin::ReadWholeFile(watch, watched) ? EscapeLineFeeds(watched) : "<none>");
    }
    standin::AppendLine(events, begin);

    Disk image{standin::EnvValue(L"QUILLMERE_STANDIN_DISK_IMAGE"), L"", 0};
    const std::wstring device = standin::EnvValue(L"QUILLMERE_STANDIN_PARTITION_DEVICE");
    uint64_t partitionStart = 0;
    if (!device.empty() && PartitionStart(tokens, image, partitionStart)) {
        image.partitionDevice = device;
        image.partitionByte = partitionStart * SectorSize;
    }
    int code = ChosenExitCode(kind, tokens);
    int failRun = 0, failCode = 0;
    if (standin::FailRunRequested(failRun, failCode) && standin::RunsBegun(events) == failRun) {
        code = failCode;
    }
    const bool skip = standin::RunListed(L"QUILLMERE_STANDIN_SKIP_RUN", standin::RunsBegun(events));
    if (code == 0 && skip) {
        // A faulty tool: it reports success and writes nothing.
    } else if (code == 0 && kind == "sectors") {
        code = WriteSectors(tokens, image);
    } else if (code == 0 && (kind == "mbr" || kind == "pbr")) {
        code = WriteRecord(kind, tokens, image);
    }
    if (code == 0 && !image.empty() &&
        standin::RunListed(L"QUILLMERE_STANDIN_SPOIL", standin::RunsBegun(events))) {
        Spoil(kind, tokens, image);
    }
    standin::AppendLine(events, "wrote " + kind);

    standin::LastAtLeastSleepTime(started, events);
    standin::AppendLine(events, "end " + kind + " " + std::to_string(code));
    return code;
}
