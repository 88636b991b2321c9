#include "app/app_context.h"
#include "loaders/command_lines.h"
#include "loaders/loader_steps.h"
#include "sys/file_utils.h"

namespace {

// Nothing on the drive changes before the sources are known to be there, every later step that
// fails stops the action, and the other loaders' root files go only after both records are
// written: a stop at any step leaves the previous loader's records pointing at its own file.
void InstallThroughBootSectorTool(AppContext& context, Loader loader) {
    if (!LoaderSourcesPresent(context, loader)) {
        return;
    }
    if (!CopyLoaderFiles(context, loader)) {
        return;
    }
    if (!RunCheckedTool(context,
                        BuildLegacyMbrCommandLine(loader, context.bootIcePath,
                                                  context.installerRoot, context.bootDir),
                        L"Ошибка записи MBR (код ")) {
        return;
    }
    if (!RunCheckedTool(context,
                        BuildLegacyPbrCommandLine(loader, context.bootIcePath,
                                                  context.installerRoot, context.bootDir),
                        L"Ошибка записи PBR (код ")) {
        return;
    }
    RemoveOtherLegacyRootFiles(context, loader);
    RecordInstalledLoader(context, loader);
}

} // namespace

void AppContext::InstallXorBootLegacy() {
    InstallThroughBootSectorTool(*this, Loader::XorBoot);
}

void AppContext::InstallBootmgrLegacy() {
    InstallThroughBootSectorTool(*this, Loader::Bootmgr);
}

void AppContext::InstallGrub4DosLegacy() {
    InstallThroughBootSectorTool(*this, Loader::Grub4Dos);
}
