#include "loaders/loader_steps.h"

#include "loaders/boot_state.h"
#include "loaders/command_lines.h"
#include "sys/file_utils.h"
#include "sys/process.h"

namespace {

bool IsUefiLoader(LoaderAction action) {
    return action >= 4 && action < LoaderCount;
}

} // namespace

bool LoaderSourcesPresent(AppContext& context, LoaderAction action) {
    for (const std::wstring& source : LoaderSourceFiles(action, context.bootDir)) {
        if (!FileExists(source)) {
            context.ShowModalMessage(MissingSourceMessage(source), MB_ICONINFORMATION);
            return false;
        }
    }
    return true;
}

bool CopyLoaderFiles(AppContext& context, LoaderAction action) {
    for (const FileCopy& copy : LoaderFileCopies(action, context.installerRoot, context.bootDir)) {
        if (!CopyFileOverwrite(copy.first, copy.second)) {
            context.ShowModalMessage(CopyFailedMessage(copy.second), MB_ICONINFORMATION);
            return false;
        }
    }
    return true;
}

bool RunCheckedTool(AppContext& context, const std::wstring& commandLine,
                    const std::wstring& failurePrefix) {
    const int result = RunProcessAndWait(commandLine);
    if (result != 0) {
        context.ShowModalMessage(ExitCodeMessage(failurePrefix, result), MB_ICONINFORMATION);
        return false;
    }
    return true;
}

void RecordInstalledLoader(AppContext& context, LoaderAction action) {
    if (IsUefiLoader(action)) {
        SaveBootState(context.bootDir, -1, action - 4);
        context.uefiLoader = action - 4;
    } else {
        SaveBootState(context.bootDir, action, -1);
        context.legacyLoader = action;
    }
    context.ReportLoaderChanged(LoaderNames[action]);
}
