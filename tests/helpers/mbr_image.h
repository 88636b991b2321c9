#pragma once
// The byte rules of make-telvorn-mbr.ps1, as pure functions over byte strings, so that the
// PowerShell stand-in follows them exactly and the tests can check them without PowerShell.
// The exit codes and their order of checking are those of the script.
#include <cstdint>
#include <string>

namespace mbr {

constexpr size_t SectorSize = 512;
constexpr uint64_t CoreImageSectors = 591;
// The first sector a partition may start at: sector 0 and the core image come before it.
constexpr uint64_t FirstFreeSector = 1 + CoreImageSectors;
// Bytes of the boot image that reach the disk; from here on sector 0 keeps the disk's own
// signature, partition table and 55 AA.
constexpr size_t BootCodeBytes = 440;
// In the boot image: the 8-byte start sector of the core image, and the boot drive (FF: the
// drive the BIOS booted from).
constexpr size_t KernelSectorOffset = 0x5C;
constexpr size_t BootDriveOffset = 0x64;
constexpr size_t DriveCheckOffset = 0x66;
constexpr size_t PartitionTableOffset = 446;

enum ExitCode : int {
    Written = 0,
    BadArguments = 2,
    NotGrubBootImage = 3, // not 512 bytes, or not set for a core image at sector 1
    CoreImageUnfit = 4,   // core.img missing beside the boot image, under 1 or over 591 sectors
    WrongDisk = 5,        // not the disk of the script's own drive, or the system/boot disk
    DiskUnreadable = 6,   // sectors 0 and 1 cannot be read (or are not 512 bytes)
    NoValidMbr = 7,       // no 55 AA, or a boot flag other than 00 or 80
    GptDisk = 8,          // a type EE entry, or "EFI PART" at the start of sector 1
    NoRoomForCore = 9,    // a partition starts below sector 592, or there is none
    OutputNotWritten = 10,
    DiskInfoUnavailable = 11, // neither Get-Partition nor WMI names the disk of the own drive
    DiskReaderUnbuilt = 12,   // Add-Type failed: no compiler, Constrained Language mode
};

inline const char* RefusalText(int code) {
    switch (code) {
    case BadArguments:
        return "usage: -Disk <number> -Boot <boot.img> -Out <file>";
    case NotGrubBootImage:
        return "the boot image is not a 512-byte GRUB boot image for a core image at sector 1";
    case CoreImageUnfit:
        return "core.img is missing beside the boot image, or not 1 to 591 sectors";
    case WrongDisk:
        return "the disk is not the one of this drive, or it is the system or boot disk";
    case DiskUnreadable:
        return "the first two 512-byte sectors of the disk cannot be read";
    case NoValidMbr:
        return "sector 0 is not a valid MBR (signature or boot flag)";
    case GptDisk:
        return "the disk is partitioned with GPT";
    case NoRoomForCore:
        return "no room for core.img: a partition starts below sector 592";
    case OutputNotWritten:
        return "the output image cannot be written";
    case DiskInfoUnavailable:
        return "disk information unavailable";
    case DiskReaderUnbuilt:
        return "the disk reader cannot be built (Add-Type failed)";
    default:
        return "";
    }
}

inline uint8_t ByteAt(const std::string& bytes, size_t offset) {
    return static_cast<uint8_t>(bytes[offset]);
}

inline uint64_t LittleEndian(const std::string& bytes, size_t offset, int width) {
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | ByteAt(bytes, offset + static_cast<size_t>(i));
    }
    return value;
}

inline int CheckBootImage(const std::string& boot) {
    if (boot.size() != SectorSize) {
        return NotGrubBootImage;
    }
    bool grubJump = ByteAt(boot, 0) == 0xEB && ByteAt(boot, 1) == 0x63 && ByteAt(boot, 2) == 0x90;
    if (!grubJump || LittleEndian(boot, KernelSectorOffset, 8) != 1 ||
        ByteAt(boot, BootDriveOffset) != 0xFF) {
        return NotGrubBootImage;
    }
    return Written;
}

// Less than a sector is no core image; more than 591 would be cut by the sector write.
inline int CheckCoreImageSize(uint64_t bytes) {
    return bytes >= SectorSize && bytes <= CoreImageSectors * SectorSize ? Written : CoreImageUnfit;
}

// `ownDisk`: the disk of the script's own drive, negative when nothing could tell it;
// `systemDisk`: the disk of the Windows directory's drive, negative when unknown (a RAM disk).
inline int CheckDiskChoice(int64_t disk, int64_t ownDisk, int64_t systemDisk) {
    if (ownDisk < 0) {
        return DiskInfoUnavailable;
    }
    return ownDisk != disk || (systemDisk >= 0 && systemDisk == disk) ? WrongDisk : Written;
}

// Windows' word that the disk is its system or boot disk refuses it, except under WinPE, which may
// say so of the drive it started from.
inline int CheckSystemFlag(bool systemOrBoot, bool winPe) {
    return systemOrBoot && !winPe ? WrongDisk : Written;
}

// `head` is sectors 0 and 1 of the disk.
inline int CheckDiskHead(const std::string& head) {
    if (head.size() < 2 * SectorSize) {
        return DiskUnreadable;
    }
    if (ByteAt(head, 510) != 0x55 || ByteAt(head, 511) != 0xAA) {
        return NoValidMbr;
    }
    for (size_t slot = 0; slot < 4; ++slot) {
        uint8_t flag = ByteAt(head, PartitionTableOffset + 16 * slot);
        if (flag != 0x00 && flag != 0x80) {
            return NoValidMbr;
        }
    }
    for (size_t slot = 0; slot < 4; ++slot) {
        if (ByteAt(head, PartitionTableOffset + 16 * slot + 4) == 0xEE) {
            return GptDisk;
        }
    }
    if (head.compare(SectorSize, 8, "EFI PART") == 0) {
        return GptDisk;
    }
    bool anyEntry = false;
    uint64_t lowest = UINT64_MAX;
    for (size_t slot = 0; slot < 4; ++slot) {
        size_t entry = PartitionTableOffset + 16 * slot;
        if (head.find_first_not_of('\0', entry) >= entry + 16) {
            continue;
        }
        anyEntry = true;
        uint64_t start = LittleEndian(head, entry + 8, 4);
        lowest = start < lowest ? start : lowest;
    }
    return anyEntry && lowest >= FirstFreeSector ? Written : NoRoomForCore;
}

// The boot image's code with the disk's own table and signature; the boot-drive check jump
// becomes two NOPs, since the BIOS drive number is trusted on a hard disk.
inline std::string ComposeMbrImage(const std::string& boot, const std::string& sector0) {
    std::string image =
        boot.substr(0, BootCodeBytes) + sector0.substr(BootCodeBytes, SectorSize - BootCodeBytes);
    image[DriveCheckOffset] = '\x90';
    image[DriveCheckOffset + 1] = '\x90';
    return image;
}

} // namespace mbr
