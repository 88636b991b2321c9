// The boot region of a partition and the live FAT fields, from sector bytes alone.
#include "loaders/boot_region.h"

#include <gtest/gtest.h>

namespace {

// The mounted file system rewrites its dirty flag and FSInfo sectors by itself; nothing else of
// the saved sectors may be taken from the disk.
TEST(WithLiveFatFields, TakesOnlyWhatTheFileSystemRewritesItself) {
    std::string fat32(16 * 512, 's');
    fat32[22] = fat32[23] = '\0';    // no 16-bit FAT size
    fat32[48] = 1, fat32[49] = '\0'; // FSInfo in sector 1
    fat32[50] = 6, fat32[51] = '\0'; // backup boot sector 6
    std::string fat16 = fat32;
    fat16[22] = 9;
    const std::string current(16 * 512, 'c');
    for (const std::string* saved : {&fat32, &fat16}) {
        const bool is32 = saved == &fat32;
        SCOPED_TRACE(is32 ? "FAT32" : "FAT16");
        const std::string mixed = WithLiveFatFields(*saved, current);
        for (size_t at = 0; at < mixed.size(); ++at) {
            const size_t sector = at / 512;
            const bool live = is32
                                  ? at == 0x41 || at == 6 * 512 + 0x41 || sector == 1 || sector == 7
                                  : at == 0x25;
            ASSERT_EQ(mixed[at], live ? 'c' : (*saved)[at]) << at;
        }
    }
}

} // namespace
