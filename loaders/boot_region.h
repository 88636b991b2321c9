#pragma once
// What the sectors of a disk's head and of a FAT partition's start hold, read from their bytes
// alone: how many of them a switch must save, and which fields the mounted file system keeps
// rewriting by itself.
#include <cstddef>
#include <string>

// The sectors before the first partition of `sector0`'s table (at most 2048): where loaders
// keep their code.
unsigned DiskHeadSectors(const std::string& sector0);

// How many sectors from the partition's first on a switch saves and restores: for a FAT volume
// (55 AA, 512 bytes per sector, at least one reserved sector and one FAT) its reserved sectors,
// at most 16, since behind them lies the live FAT; 16 for any other volume.
unsigned BootRegionSectors(const std::string& firstSector);

// Where a partition's boot sector's parameter block ends and its code begins: byte 62 on FAT12
// and FAT16, whose extended BPB is shorter, byte 90 on FAT32 and any other volume.
size_t ParameterBlockEnd(const std::string& firstSector);

// Where a boot record's code lies: sector 0 bytes 0-439 before the disk signature, a partition's
// first sector bytes 0-2 (the jump) and from the parameter block's end to byte 509.
enum class BootRecord { Mbr, Pbr };
// Whether `written`, a boot record as read back after a tool's run, carries new code: the code of
// `source` when one is given (a whole sector, shorter ones padded with zeros), else any code
// other than `saved`'s, or `saved`'s too when `mayStay` (the same loader installed again).
bool BootCodeWritten(BootRecord record, const std::string& written, const std::string& saved,
                     const std::string* source, bool mayStay);

// `saved`, the first sectors of a FAT partition, with what the mounted file system rewrites by
// itself (the boot sectors' dirty flag, the FSInfo sectors) taken from `current`: only the rest
// tells whether a tool changed the partition. Any other volume's sectors stay as saved.
std::string WithLiveFatFields(std::string saved, const std::string& current);
