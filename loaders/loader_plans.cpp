#include "loaders/loader_plans.h"

#include <algorithm>

#include "loaders/file_names.h"
#include "loaders/user_texts.h"
#include "sys/file_utils.h"
#include "sys/process.h"

namespace {

// The root files of the Legacy BIOS loaders; the other loaders' go only once the new one is on
// the disk, so a stop keeps the previous loader's records pointing at its own file.
const wchar_t* const LegacyRootFiles[] = {RootBootmgrName, RootGrldrName};

// Every loader file a UEFI switch may put into or remove from \efi\boot; the entry files, which
// firmware starts, are the last two.
const wchar_t* const UefiBootFiles[] = {FallbackX64Name, MokManagerX64Name, BootX64Name,
                                        BootIa32Name};

bool IsCopied(const std::vector<FileCopy>& copies, const std::wstring& target) {
    return std::any_of(copies.begin(), copies.end(),
                       [&](const FileCopy& copy) { return copy.second == target; });
}

std::vector<std::wstring> NotCopied(const std::wstring& installerRoot,
                                    const std::vector<const wchar_t*>& files,
                                    const std::vector<FileCopy>& copies) {
    std::vector<std::wstring> removals;
    for (const wchar_t* file : files) {
        if (!IsCopied(copies, installerRoot + file)) {
            removals.push_back(installerRoot + file);
        }
    }
    return removals;
}

std::wstring FirstMissingSource(Loader loader, const std::wstring& bootDir) {
    for (const std::wstring& source : LoaderSourceFiles(loader, bootDir)) {
        if (!FileExists(source)) {
            return MissingSourceText(source);
        }
    }
    return {};
}

// The PBR goes first: a previous GRUB2, Grub4Dos or XorBoot MBR ignores it, and a previous nt60
// MBR then reaches a new PBR whose root file is already in place.
SwitchPlan ToolPlan(Loader loader, const SwitchTarget& target) {
    SwitchPlan plan;
    plan.loader = loader;
    plan.refusal = FirstMissingSource(loader, target.bootDir);
    plan.copies = LoaderFileCopies(loader, target.installerRoot, target.bootDir);
    plan.runs = {
        {BuildLegacyPbrCommandLine(loader, target.bootIcePath, target.installerRoot,
                                   target.bootDir),
         PbrWriteFailedPrefix, L""},
        {BuildLegacyMbrCommandLine(loader, target.bootIcePath, target.installerRoot,
                                   target.bootDir),
         MbrWriteFailedPrefix, L""},
    };
    plan.readBack = ReadBack::BootRecords;
    if (loader == Loader::XorBoot) {
        const std::vector<std::wstring> sources = LoaderSourceFiles(loader, target.bootDir);
        plan.mbrCode = sources[0];
        plan.pbrCode = sources[1];
    }
    // A GRUB4DOS MBR fills sectors 0 to 17.
    plan.diskSectorsWritten = 18;
    plan.removals =
        NotCopied(target.installerRoot, {std::begin(LegacyRootFiles), std::end(LegacyRootFiles)},
                  plan.copies);
    return plan;
}

std::wstring Grub2Refusal(const SwitchTarget& target, const std::wstring& sourceDir,
                          const std::wstring& grubDir) {
    if (!FileExists(sourceDir + BootImageName) || !FileExists(sourceDir + CoreImageName)) {
        return Grub2SourcesMissingText(sourceDir);
    }
    // An empty or short core.img would leave sectors 1-591 as they are while sector 0 jumps
    // into them; a longer one would be cut by the sector write.
    unsigned long long coreBytes = 0;
    if (!FileSizeOf(sourceDir + CoreImageName, coreBytes) || !CoreImageSizeFits(coreBytes)) {
        return CoreImageUnfitText(sourceDir + CoreImageName);
    }
    if (!FileExists(grubDir + GrubConfigName)) {
        return GrubConfigMissingText(grubDir + GrubConfigName);
    }
    if (target.disk < 0) {
        return DiskNumberUnknownText(target.installerRoot);
    }
    return {};
}

// Boot code last, as GRUB's own installer does: core.img goes behind sector 0 first.
SwitchPlan Grub2Plan(const SwitchTarget& target) {
    const std::wstring sourceDir = target.bootDir + Grub2SourceFolderName;
    const std::wstring grubDir = target.bootDir + Grub2FolderName;
    const std::wstring image = grubDir + MbrImageName;
    SwitchPlan plan;
    plan.loader = Loader::Grub2;
    plan.refusal = Grub2Refusal(target, sourceDir, grubDir);
    plan.trees = {grubDir + ModuleFolderName};
    for (const wchar_t* file : {BootImageName, CoreImageName, MbrScriptName}) {
        plan.copies.emplace_back(sourceDir + file, grubDir + file);
    }
    plan.runs = {
        // Missing modules show at boot, not here: the sector writes do not depend on them.
        {BuildModuleCopyCommandLine(GetCommandInterpreterPath(), sourceDir, grubDir), L"", L""},
        {BuildMbrScriptCommandLine(grubDir, target.disk), MbrScriptFailedPrefix, image},
        {BuildSectorWriteCommandLine(target.bootIcePath, target.installerRoot,
                                     grubDir + CoreImageName, 1, CoreImageSectors),
         CoreWriteFailedPrefix, L""},
        {BuildSectorWriteCommandLine(target.bootIcePath, target.installerRoot, image, 0, 1),
         MbrWriteFailedPrefix, L""},
    };
    plan.readBack = ReadBack::RawSectors;
    plan.mbrImage = image;
    plan.coreImage = grubDir + CoreImageName;
    plan.removals =
        NotCopied(target.installerRoot, {std::begin(LegacyRootFiles), std::end(LegacyRootFiles)},
                  plan.copies);
    return plan;
}

// Each new file replaces its target on its own: first the companions, then the entry files,
// last the removal of what only the old set used, so no moment lacks an entry file. GRUB2
// brings no 32-bit loader and removes none: whatever bootia32.efi was installed stays usable.
SwitchPlan UefiPlan(Loader loader, const SwitchTarget& target) {
    SwitchPlan plan;
    plan.loader = loader;
    plan.refusal = FirstMissingSource(loader, target.bootDir);
    const std::vector<FileCopy> copies =
        LoaderFileCopies(loader, target.installerRoot, target.bootDir);
    for (const wchar_t* file : UefiBootFiles) {
        for (const FileCopy& copy : copies) {
            if (copy.second == target.installerRoot + UefiBootFolderName + file) {
                plan.copies.push_back(copy);
            }
        }
    }
    if (loader != Loader::UefiGrub2) {
        plan.removals =
            NotCopied(target.installerRoot + UefiBootFolderName,
                      {std::begin(UefiBootFiles), std::end(UefiBootFiles)}, plan.copies);
    }
    return plan;
}

} // namespace

SwitchPlan PlanOf(Loader loader, const SwitchTarget& target) {
    switch (loader) {
    case Loader::XorBoot:
    case Loader::Bootmgr:
    case Loader::Grub4Dos:
        return ToolPlan(loader, target);
    case Loader::Grub2:
        return Grub2Plan(target);
    default:
        return UefiPlan(loader, target);
    }
}

SwitchOutcome InstallLoader(Loader loader, const SwitchTarget& target) {
    return RunSwitch(target, PlanOf(loader, target));
}
