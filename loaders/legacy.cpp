#include "app/app_context.h"
#include "loaders/command_lines.h"
#include "loaders/loader_steps.h"
#include "sys/file_utils.h"

namespace {

// Nothing on the drive changes before the sources are known to be there, and every later step
// that fails stops the action, so a working loader is never replaced by a broken one in silence.
void InstallThroughBootSectorTool(AppContext& context, LoaderAction action) {
    if (!LoaderSourcesPresent(context, action)) {
        return;
    }
    DeleteFileIfAny(context.installerRoot + L"\\bootmgr");
    DeleteFileIfAny(context.installerRoot + L"\\grldr");
    if (!CopyLoaderFiles(context, action)) {
        return;
    }
    if (!RunCheckedTool(context,
                        BuildLegacyMbrCommandLine(action, context.bootIcePath,
                                                  context.installerRoot, context.bootDir),
                        L"Ошибка записи MBR (код ")) {
        return;
    }
    if (!RunCheckedTool(context,
                        BuildLegacyPbrCommandLine(action, context.bootIcePath,
                                                  context.installerRoot, context.bootDir),
                        L"Ошибка записи PBR (код ")) {
        return;
    }
    RecordInstalledLoader(context, action);
}

} // namespace

void AppContext::InstallXorBootLegacy() {
    InstallThroughBootSectorTool(*this, 0);
}

void AppContext::InstallBootmgrLegacy() {
    InstallThroughBootSectorTool(*this, 1);
}

void AppContext::InstallGrub4DosLegacy() {
    InstallThroughBootSectorTool(*this, 2);
}
