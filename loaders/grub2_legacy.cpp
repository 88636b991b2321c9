#include "app/app_context.h"
#include "loaders/command_lines.h"
#include "loaders/loader_steps.h"
#include "sys/file_utils.h"
#include "sys/physical_drive.h"
#include "sys/process.h"

namespace {

// Steps 1 to 3 change nothing, so a refusal there leaves the drive as it was.
bool Grub2SourcesPresent(AppContext& context, const std::wstring& sourceDir,
                         const std::wstring& grubDir) {
    if (!FileExists(sourceDir + L"\\boot.img") || !FileExists(sourceDir + L"\\core.img")) {
        context.ShowModalMessage(L"Файлы GRUB2 для Legacy BIOS не найдены:\r\n" + sourceDir,
                                 MB_ICONINFORMATION);
        return false;
    }
    // An empty or short core.img would leave sectors 1-591 as they are while sector 0 jumps
    // into them; a longer one would be cut by the sector write.
    unsigned long long coreBytes = 0;
    if (!FileSizeOf(sourceDir + L"\\core.img", coreBytes) || !CoreImageSizeFits(coreBytes)) {
        context.ShowModalMessage(CoreImageUnfitText(sourceDir + L"\\core.img"), MB_ICONINFORMATION);
        return false;
    }
    if (!FileExists(grubDir + L"\\grub.cfg")) {
        context.ShowModalMessage(L"Не найден основной grub.cfg:\r\n" + grubDir + L"\\grub.cfg",
                                 MB_ICONINFORMATION);
        return false;
    }
    return true;
}

// A copy that fails would leave an older boot.img, core.img or script in the GRUB2 directory,
// and the sector writes would then put a stale loader on the disk while reporting success.
bool PrepareGrub2Directory(AppContext& context, const std::wstring& sourceDir,
                           const std::wstring& grubDir) {
    CreateDirectories(grubDir);
    CreateDirectories(grubDir + L"\\i386-pc");
    for (const wchar_t* file : {L"\\boot.img", L"\\core.img", L"\\make-telvorn-mbr.ps1"}) {
        if (!CopyFileOverwrite(sourceDir + file, grubDir + file)) {
            context.ShowModalMessage(CopyFailedText(grubDir + file), MB_ICONINFORMATION);
            return false;
        }
    }
    // Missing modules show at boot, not here: the sector writes do not depend on them.
    RunProcessAndWait(BuildModuleCopyCommandLine(GetCommandInterpreterPath(), sourceDir, grubDir));
    return true;
}

// The image of an earlier run (with that run's partition table) must never reach sector 0: it
// goes before the script runs, and what the script leaves is checked before any sector write.
bool BuildMbrImage(AppContext& context, const std::wstring& grubDir, int disk) {
    const std::wstring image = grubDir + MbrImageFile;
    DeleteFileIfAny(image);
    if (FileExists(image)) {
        context.ShowModalMessage(MbrImageBadText(image), MB_ICONINFORMATION);
        return false;
    }
    if (!RunCheckedTool(context, BuildMbrScriptCommandLine(grubDir, disk),
                        L"Не удалось сформировать MBR-образ (код ")) {
        return false;
    }
    unsigned long long bytes = 0;
    std::string content;
    if (FileSizeOf(image, bytes) && bytes == SectorBytes) {
        content = ReadFileStart(image, SectorBytes);
    }
    if (!IsMbrImage(content)) {
        context.ShowModalMessage(MbrImageBadText(image), MB_ICONINFORMATION);
        return false;
    }
    return true;
}

} // namespace

void AppContext::InstallGrub2Legacy() {
    const std::wstring sourceDir = bootDir + L"\\loaders\\grub2-bios";
    const std::wstring grubDir = bootDir + L"\\grub2\\bios";
    if (!Grub2SourcesPresent(*this, sourceDir, grubDir)) {
        return;
    }
    const int disk = installerRoot.empty() ? -1 : GetPhysicalDriveNumber(installerRoot[0]);
    if (disk < 0) {
        ShowModalMessage(L"Не удалось определить номер физического диска для " + installerRoot,
                         MB_ICONINFORMATION);
        return;
    }
    if (!PrepareGrub2Directory(*this, sourceDir, grubDir) || !BuildMbrImage(*this, grubDir, disk)) {
        return;
    }
    // Boot code last, as GRUB's own installer does: a failed core write leaves sector 0, and
    // with it the previous loader, untouched.
    if (!RunCheckedTool(*this,
                        BuildSectorWriteCommandLine(bootIcePath, installerRoot,
                                                    grubDir + L"\\core.img", 1, CoreImageSectors),
                        L"Ошибка записи core.img (код ")) {
        return;
    }
    if (!RunCheckedTool(
            *this,
            BuildSectorWriteCommandLine(bootIcePath, installerRoot, grubDir + MbrImageFile, 0, 1),
            L"Ошибка записи MBR (код ")) {
        return;
    }
    RemoveOtherLegacyRootFiles(*this, Loader::Grub2);
    RecordInstalledLoader(*this, Loader::Grub2);
}
