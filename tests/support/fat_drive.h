#pragma once
// A real FAT drive for tests under Wine: a disk image with an MBR and one partition at sector
// 2048, formatted by mkfs.fat on a loop device at the partition's offset, mounted by fusefat and
// mapped as a drive letter. The stand-in tool writes sectors before the partition into the image
// and those inside it through the loop device, so they meet the file system's own writes on one
// disk, as on a stick. Made once per test program; mounted for each test and checked with
// fsck.fat -n after it.
#include <string>
#include <utility>
#include <vector>

#include "tests/support/sim_drive.h"

struct FatDrive {
    SimDrive drive;         // the mount point, mapped to the letter
    std::wstring imagePath; // the disk image, for QUILLMERE_TEST_DISK_<N>
    std::string loop;       // the partition's loop device, /dev/loopN
    std::string head;       // the image's sectors before the partition, as made
    std::string bootSector; // the partition's boot sector as mkfs.fat made it, old code behind
                            // its BPB
    int fatBits = 32;
    bool mounted = false;

    FatDrive() = default;
    FatDrive(const FatDrive&) = delete;
    FatDrive& operator=(const FatDrive&) = delete;
    ~FatDrive() { Remove(); }

    // Why no FAT drive can be made here (one line), empty when one can: /dev/fuse, loop
    // devices, fusefat and mkfs.fat/fsck.fat.
    static std::string Missing();
    // A fresh image of FAT32 or FAT16 (`bits`), mounted at build\drives\<name> and mapped.
    bool Make(wchar_t letter, const std::wstring& name, int bits);
    bool Mount();
    // Unmounts, waits until fusefat has ended, and runs fsck.fat -n: true when it finds the
    // volume clean; `report` gets fsck's output.
    bool UnmountAndCheck(std::string& report);
    // Unmounts, detaches the loop device and unmaps the letter.
    void Remove();

    // The image's first sectors and the partition's boot sector as Make left them: old loader
    // code, the signature, the one partition, the BPB of mkfs.fat.
    bool ResetBootCode() const;
    bool KeepBootSector();
    // The loop device as a Windows path, for QUILLMERE_STANDIN_PARTITION_DEVICE.
    std::wstring LoopPath() const;
    // The partition's sectors from `first`, as the stand-in and the file system see them.
    std::string PartitionSectors(unsigned first, unsigned count) const;
    // The test build's and the stand-in's variables for disk `disk`: this image, the partition
    // at 2048 and the stand-in writing through the loop device.
    std::vector<std::pair<std::wstring, std::wstring>> Variables(int disk) const;
};
