#include "loaders/boot_region.h"

#include <algorithm>
#include <iterator>

#include "loaders/command_lines.h"

namespace {

// Boot code between sector 0 and the first partition ends, on any disk partitioned since
// Windows Vista, at sector 2048.
constexpr long long DiskHeadLimit = 2048;
constexpr size_t Sector = static_cast<size_t>(SectorBytes);
// The partition's boot record, FAT32's backup copy at sector 6 and its information sectors.
constexpr unsigned MostBootRegionSectors = 16;

unsigned Field16(const std::string& sector, size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(sector[at])) |
           static_cast<unsigned>(static_cast<unsigned char>(sector[at + 1])) << 8;
}

// 55 AA, 512 bytes per sector, at least one reserved sector and one FAT.
bool IsFatBootSector(const std::string& sector) {
    return sector.size() >= Sector && sector[510] == '\x55' && sector[511] == '\xAA' &&
           Field16(sector, 11) == Sector && Field16(sector, 14) != 0 && sector[16] != 0;
}

} // namespace

unsigned DiskHeadSectors(const std::string& sector0) {
    long long lowest = DiskHeadLimit;
    for (size_t slot = 0; slot < 4; ++slot) {
        const size_t entry = 446 + 16 * slot;
        if (sector0[entry + 4] == 0) {
            continue; // an unused entry
        }
        long long start = 0;
        for (int i = 3; i >= 0; --i) {
            start = (start << 8) | static_cast<unsigned char>(sector0[entry + 8 + i]);
        }
        lowest = start > 0 && start < lowest ? start : lowest;
    }
    return static_cast<unsigned>(lowest);
}

unsigned BootRegionSectors(const std::string& firstSector) {
    if (!IsFatBootSector(firstSector)) {
        return MostBootRegionSectors;
    }
    return std::min(Field16(firstSector, 14), MostBootRegionSectors);
}

size_t ParameterBlockEnd(const std::string& firstSector) {
    // FAT32 has no 16-bit FAT size.
    return IsFatBootSector(firstSector) && Field16(firstSector, 22) != 0 ? 62 : 90;
}

bool BootCodeWritten(BootRecord record, const std::string& written, const std::string& saved,
                     const std::string* source, bool mayStay) {
    struct Range {
        size_t from, to;
    };
    static const Range MbrCode[] = {{0, 440}};
    const Range PbrCode[] = {{0, 3}, {ParameterBlockEnd(saved), 510}};
    const Range* begin = record == BootRecord::Mbr ? std::begin(MbrCode) : std::begin(PbrCode);
    const Range* end = record == BootRecord::Mbr ? std::end(MbrCode) : std::end(PbrCode);
    auto sameCode = [&](std::string other) {
        other.resize(Sector, '\0');
        return written.size() >= Sector && std::all_of(begin, end, [&](const Range& range) {
                   return written.compare(range.from, range.to - range.from, other, range.from,
                                          range.to - range.from) == 0;
               });
    };
    if (source != nullptr) {
        return sameCode(*source);
    }
    return written.size() >= Sector && (mayStay || !sameCode(saved));
}

std::string WithLiveFatFields(std::string saved, const std::string& current) {
    auto take = [&](size_t from, size_t length) {
        if (from + length <= saved.size() && from + length <= current.size()) {
            saved.replace(from, length, current, from, length);
        }
    };
    if (current.size() < Sector || !IsFatBootSector(saved)) {
        return saved;
    }
    // FAT32 has no 16-bit FAT size; its dirty flag sits after the extended BPB, FAT12/16's
    // earlier, and the FSInfo sector and the backup boot sector are named in the BPB.
    const bool fat32 = Field16(saved, 22) == 0;
    const size_t dirty = fat32 ? 0x41 : 0x25;
    const size_t backupBoot = fat32 ? Field16(saved, 50) : 0;
    const size_t fsInfo = fat32 ? Field16(saved, 48) : 0;
    take(dirty, 1);
    if (backupBoot > 0) {
        take(backupBoot * Sector + dirty, 1);
    }
    if (fsInfo > 0) {
        take(fsInfo * Sector, Sector);
        if (backupBoot > 0) {
            take((backupBoot + fsInfo) * Sector, Sector);
        }
    }
    return saved;
}
