#include "tests/support/fat_drive.h"

#include <windows.h>

#include "tests/helpers/standin_common.h"

namespace {

constexpr unsigned long long Sector = 512;
constexpr unsigned long long PartitionStart = 2048;

// Big enough for FAT32's least cluster count at one sector per cluster, small as a sparse file.
unsigned long long PartitionSectorsFor(int bits) {
    return bits == 32 ? 131072 : 65536;
}

std::string Unix(const std::wstring& path) {
    return ShellQuote(UnixPath(path));
}

} // namespace

std::string FatDrive::Missing() {
    if (!UnderWine()) {
        return "no real FAT drive outside Wine";
    }
    return RunHostCommand("test -c /dev/fuse && test -c /dev/loop-control && command -v fusefat "
                          "mkfs.fat fsck.fat >/dev/null && losetup -f >/dev/null")
               ? ""
               : "no real FAT drive here: /dev/fuse, a free loop device, fusefat or dosfstools "
                 "missing";
}

std::wstring FatDrive::LoopPath() const {
    std::wstring path = L"Z:";
    for (char c : loop) {
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    }
    return path;
}

bool FatDrive::Make(wchar_t letter, const std::wstring& name, int bits) {
    Remove();
    fatBits = bits;
    const std::wstring scratch = BuildDir() + L"\\scratch";
    MakeFolders(scratch);
    imagePath = scratch + L"\\" + name + L".img";
    const std::wstring loopFile = scratch + L"\\" + name + L".loop";
    // A mount or loop device left by a test program that did not end.
    RunHostCommand("fusermount -u " + Unix(BuildDir() + L"\\drives\\" + name) +
                   " 2>/dev/null; for l in $(losetup -n -O NAME -j " + Unix(imagePath) +
                   " 2>/dev/null); do losetup -d $l; done; true");
    if (!drive.Map(letter, name)) {
        return false;
    }
    const unsigned long long sectors = PartitionSectorsFor(bits);
    head = ValidDiskImage().substr(0, PartitionStart * Sector);
    head[446 + 4] = bits == 32 ? '\x0C' : '\x0E';
    PutLittleEndian(head, 446 + 12, static_cast<uint32_t>(sectors));
    if (!WriteBytes(imagePath, head) ||
        !RunHostCommand("truncate -s " + std::to_string((PartitionStart + sectors) * Sector) + " " +
                        Unix(imagePath) + " && losetup -f --show -o " +
                        std::to_string(PartitionStart * Sector) + " --sizelimit " +
                        std::to_string(sectors * Sector) + " " + Unix(imagePath) + " > " +
                        Unix(loopFile))) {
        return false;
    }
    loop = ReadBytes(loopFile);
    loop = loop.substr(0, loop.find('\n'));
    DeleteFileW(loopFile.c_str());
    return loop.rfind("/dev/loop", 0) == 0 &&
           RunHostCommand("mkfs.fat -F " + std::to_string(bits) + " " + loop + " >/dev/null") &&
           KeepBootSector() && ResetBootCode() && Mount();
}

bool FatDrive::KeepBootSector() {
    bootSector = PartitionSectors(0, 1);
    if (bootSector.size() != Sector) {
        return false;
    }
    std::fill(bootSector.begin() + 90, bootSector.begin() + 510, '\xC3');
    return true;
}

bool FatDrive::Mount() {
    if (mounted) {
        return true;
    }
    const std::string point = Unix(drive.hostFolder);
    const std::string pidFile = Unix(imagePath + L".pid");
    mounted = RunHostCommand("fusefat -f -s -o rw+ " + loop + " " + point +
                             " >/dev/null 2>&1 & echo $! > " + pidFile +
                             "; for i in $(seq 200); do mountpoint -q " + point +
                             " && exit 0; sleep 0.05; done; exit 1");
    return mounted;
}

bool FatDrive::UnmountAndCheck(std::string& report) {
    const std::wstring reportFile = imagePath + L".fsck";
    const std::string pidFile = Unix(imagePath + L".pid");
    // fsck may look only once fusefat has written everything and let go of the device.
    const bool clean =
        RunHostCommand("fusermount -u " + Unix(drive.hostFolder) + " && while kill -0 $(cat " +
                           pidFile + ") 2>/dev/null; do sleep 0.05; done; fsck.fat -n " + loop +
                           " > " + Unix(reportFile) + " 2>&1",
                       60000);
    mounted = false;
    report = ReadBytes(reportFile);
    DeleteFileW(reportFile.c_str());
    return clean;
}

void FatDrive::Remove() {
    if (mounted) {
        std::string report;
        UnmountAndCheck(report);
    }
    if (!loop.empty()) {
        RunHostCommand("losetup -d " + loop);
        loop.clear();
    }
    drive.Unmap();
    if (!imagePath.empty()) {
        DeleteFileW(imagePath.c_str());
        DeleteFileW((imagePath + L".pid").c_str());
    }
}

bool FatDrive::ResetBootCode() const {
    return bootSector.size() == Sector && standin::WriteAt(imagePath, 0, head) &&
           standin::WriteAt(LoopPath(), 0, bootSector);
}

std::string FatDrive::PartitionSectors(unsigned first, unsigned count) const {
    return ReadBytesAt(LoopPath(), first * Sector, count * Sector);
}

std::vector<std::pair<std::wstring, std::wstring>> FatDrive::Variables(int disk) const {
    auto variables = DiskVariables(disk, imagePath);
    variables.push_back({L"QUILLMERE_STANDIN_PARTITION_DEVICE", LoopPath()});
    return variables;
}
