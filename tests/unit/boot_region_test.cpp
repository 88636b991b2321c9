// The boot region of a partition and the live FAT fields, from sector bytes alone.
#include "loaders/boot_region.h"

#include <gtest/gtest.h>

namespace {

// A FAT boot sector as mkfs.fat writes it, with `reserved` sectors before the first FAT and
// `fatSectors` per FAT in the 16-bit field (0 on FAT32).
std::string FatBootSector(unsigned reserved, char fatSectors) {
    std::string sector(512, '\0');
    sector.replace(0, 3, "\xEB\x3C\x90");
    sector[11] = 0, sector[12] = 2; // 512 bytes per sector
    sector[13] = 4;
    sector[14] = static_cast<char>(reserved & 0xFF), sector[15] = static_cast<char>(reserved >> 8);
    sector[16] = 2; // two FATs
    sector[22] = fatSectors;
    sector[510] = '\x55', sector[511] = '\xAA';
    return sector;
}

TEST(BootRegionSectors, AFatVolumeKeepsItsReservedSectorsAndAnyOtherVolumeSixteen) {
    std::string noSignature = FatBootSector(1, 32);
    noSignature[511] = 0;
    std::string bigSectors = FatBootSector(1, 32);
    bigSectors[12] = 8; // 2048 bytes per sector
    std::string noFat = FatBootSector(4, 32);
    noFat[16] = 0;
    // NTFS: 512-byte sectors and 55 AA, but no reserved sectors and no FAT.
    std::string ntfs(512, '\0');
    ntfs.replace(0, 11, "\xEB\x52\x90NTFS    ");
    ntfs[12] = 2, ntfs[510] = '\x55', ntfs[511] = '\xAA';
    const struct {
        const char* name;
        std::string sector;
        unsigned sectors;
        size_t codeFrom; // where the parameter block ends
    } cases[] = {
        {"FAT12, 1 reserved", FatBootSector(1, 2), 1, 62},
        {"FAT16, 1 reserved", FatBootSector(1, 32), 1, 62},
        {"FAT16, 4 reserved", FatBootSector(4, 32), 4, 62},
        {"FAT32, 32 reserved", FatBootSector(32, 0), 16, 90},
        {"FAT32, 6 reserved", FatBootSector(6, 0), 6, 90},
        {"no reserved sector", FatBootSector(0, 32), 16, 90},
        {"no FAT", noFat, 16, 90},
        {"not 512-byte sectors", bigSectors, 16, 90},
        {"no 55 AA", noSignature, 16, 90},
        {"NTFS", ntfs, 16, 90},
        {"too short", std::string(100, '\0'), 16, 90},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BootRegionSectors(c.sector), c.sectors) << c.name;
        EXPECT_EQ(ParameterBlockEnd(c.sector), c.codeFrom) << c.name;
    }
}

// The mounted file system rewrites its dirty flag and FSInfo sectors by itself; nothing else of
// the saved sectors may be taken from the disk.
TEST(WithLiveFatFields, TakesOnlyWhatTheFileSystemRewritesItself) {
    std::string fat32(16 * 512, 's');
    fat32.replace(0, 512, FatBootSector(32, 0));
    fat32[48] = 1, fat32[49] = '\0'; // FSInfo in sector 1
    fat32[50] = 6, fat32[51] = '\0'; // backup boot sector 6
    std::string fat16 = fat32;
    fat16[22] = 9;
    // Not FAT: no reserved sector, no FAT, though 512-byte sectors and 55 AA.
    std::string ntfs = fat32;
    ntfs[14] = ntfs[16] = '\0';
    const std::string current(16 * 512, 'c');
    for (const std::string* saved : {&fat32, &fat16, &ntfs}) {
        const bool is32 = saved == &fat32, is16 = saved == &fat16;
        SCOPED_TRACE(is32 ? "FAT32" : is16 ? "FAT16" : "not FAT");
        const std::string mixed = WithLiveFatFields(*saved, current);
        for (size_t at = 0; at < mixed.size(); ++at) {
            const size_t sector = at / 512;
            const bool live = is32
                                  ? at == 0x41 || at == 6 * 512 + 0x41 || sector == 1 || sector == 7
                                  : is16 && at == 0x25;
            ASSERT_EQ(mixed[at], live ? 'c' : (*saved)[at]) << at;
        }
    }
}

// New boot code is code unlike the saved one in the bytes the tool writes, or the source's.
TEST(BootCodeWritten, AsksForNewCodeWhereTheToolWritesIt) {
    const std::string saved = FatBootSector(32, 0);
    std::string pbr = saved;
    std::fill(pbr.begin() + 90, pbr.begin() + 510, 'P');
    std::string bpbOnly = saved;
    bpbOnly[40] = 'B';
    std::string mbr = saved;
    mbr[439] = 'M';
    // A FAT16 boot sector's code starts at byte 62, behind its shorter extended BPB.
    const std::string saved16 = FatBootSector(4, 32);
    std::string pbr16 = saved16;
    pbr16[70] = 'P';
    std::string signatureOnly = saved;
    signatureOnly[440] = 'S';
    const std::string source = pbr.substr(0, 200); // shorter than a sector: padded with zeros
    std::string fromSource = saved;
    fromSource.replace(0, 3, source, 0, 3);
    fromSource.replace(90, 110, source, 90, 110);
    std::fill(fromSource.begin() + 200, fromSource.begin() + 510, '\0');
    const struct {
        const char* name;
        BootRecord record;
        std::string written;
        const std::string* source;
        bool mayStay;
        bool expected;
    } cases[] = {
        {"new PBR code", BootRecord::Pbr, pbr, nullptr, false, true},
        {"PBR as it was", BootRecord::Pbr, saved, nullptr, false, false},
        {"PBR as it was, reinstalled", BootRecord::Pbr, saved, nullptr, true, true},
        {"only the BPB changed", BootRecord::Pbr, bpbOnly, nullptr, false, false},
        {"new MBR code", BootRecord::Mbr, mbr, nullptr, false, true},
        {"only the disk signature changed", BootRecord::Mbr, signatureOnly, nullptr, false, false},
        {"the source's PBR code", BootRecord::Pbr, fromSource, &source, false, true},
        {"other code than the source's", BootRecord::Pbr, pbr, &source, false, false},
        {"the source's MBR code, as it was", BootRecord::Mbr, saved, &saved, false, true},
        {"a short read", BootRecord::Mbr, mbr.substr(0, 300), nullptr, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BootCodeWritten(c.record, c.written, saved, c.source, c.mayStay), c.expected)
            << c.name;
    }
    EXPECT_TRUE(BootCodeWritten(BootRecord::Pbr, pbr16, saved16, nullptr, false));
    EXPECT_FALSE(BootCodeWritten(BootRecord::Pbr, pbr16, saved, nullptr, false))
        << "byte 70 lies in FAT32's parameter block";
}

} // namespace
