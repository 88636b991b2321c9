#pragma once
// What the sectors of a disk's head and of a FAT partition's start hold, read from their bytes
// alone: how many of them a switch must save, and which fields the mounted file system keeps
// rewriting by itself.
#include <string>

// The sectors before the first partition of `sector0`'s table (at most 2048): where loaders
// keep their code.
unsigned DiskHeadSectors(const std::string& sector0);

// How many sectors from the partition's first on a switch saves and restores: for a FAT volume
// (55 AA, 512 bytes per sector, at least one reserved sector and one FAT) its reserved sectors,
// at most 16, since behind them lies the live FAT; 16 for any other volume.
unsigned BootRegionSectors(const std::string& firstSector);

// `saved`, the first sectors of a FAT partition, with what the mounted file system rewrites by
// itself (the boot sectors' dirty flag, the FSInfo sectors) taken from `current`: only the rest
// tells whether a tool changed the partition.
std::string WithLiveFatFields(std::string saved, const std::string& current);
