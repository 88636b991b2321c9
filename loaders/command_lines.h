#pragma once
// What the loader switches hand to the outside programs, built from values only: command lines,
// the loader files each switch needs and copies, and the checks of the GRUB2 images.
#include <string>
#include <utility>
#include <vector>

#include "loaders/loader_table.h"

// Boot-sector tool runs of the XorBoot, Bootmgr and Grub4Dos actions; empty for any
// other action. Nothing is quoted: the tool takes its arguments as the drive's users know them.
std::wstring BuildLegacyMbrCommandLine(Loader loader, const std::wstring& bootIcePath,
                                       const std::wstring& installerRoot,
                                       const std::wstring& bootDir);
std::wstring BuildLegacyPbrCommandLine(Loader loader, const std::wstring& bootIcePath,
                                       const std::wstring& installerRoot,
                                       const std::wstring& bootDir);

// GRUB2 for Legacy BIOS: the module copy, the MBR script and the raw sector writes.
std::wstring BuildModuleCopyCommandLine(const std::wstring& interpreterPath,
                                        const std::wstring& sourceDir, const std::wstring& grubDir);
std::wstring BuildMbrScriptCommandLine(const std::wstring& grubDir, int disk);
std::wstring BuildSectorWriteCommandLine(const std::wstring& bootIcePath,
                                         const std::wstring& installerRoot,
                                         const std::wstring& file, int lba, int sectors);
// Puts saved partition sectors back from the partition's first sector on, BPB included.
std::wstring BuildPbrRestoreCommandLine(const std::wstring& bootIcePath,
                                        const std::wstring& installerRoot,
                                        const std::wstring& file);

// The files under bootDir an action copies, which must all exist before it touches the drive.
// Empty for the GRUB2 Legacy action, which checks its sources itself.
std::vector<std::wstring> LoaderSourceFiles(Loader loader, const std::wstring& bootDir);

using FileCopy = std::pair<std::wstring, std::wstring>; // source, target
// The copies of an action, in order.
std::vector<FileCopy> LoaderFileCopies(Loader loader, const std::wstring& installerRoot,
                                       const std::wstring& bootDir);

// GRUB2's core image goes to the sectors between sector 0 and the first partition.
constexpr int CoreImageSectors = 591;
constexpr unsigned long long SectorBytes = 512;
// At least one sector, and no more than the sector write takes (a longer one would be cut).
bool CoreImageSizeFits(unsigned long long bytes);
// The image the MBR script leaves must be one whole sector ending in the boot signature.
bool IsMbrImage(const std::string& bytes);
