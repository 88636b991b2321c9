#include "loaders/loader_steps.h"

#include "loaders/boot_state.h"
#include "loaders/command_lines.h"
#include "sys/file_utils.h"
#include "sys/process.h"
#include "ui/dispatch.h"

namespace {

bool IsUefiLoader(LoaderAction action) {
    return action >= 4 && action < LoaderCount;
}

} // namespace

bool LoaderSourcesPresent(AppContext& context, LoaderAction action) {
    for (const std::wstring& source : LoaderSourceFiles(action, context.bootDir)) {
        if (!FileExists(source)) {
            context.ShowModalMessage(MissingSourceText(source), MB_ICONINFORMATION);
            return false;
        }
    }
    return true;
}

bool CopyLoaderFiles(AppContext& context, LoaderAction action) {
    for (const FileCopy& copy : LoaderFileCopies(action, context.installerRoot, context.bootDir)) {
        if (!CopyFileOverwrite(copy.first, copy.second)) {
            context.ShowModalMessage(CopyFailedText(copy.second), MB_ICONINFORMATION);
            return false;
        }
    }
    return true;
}

void RemoveOtherLegacyRootFiles(AppContext& context, LoaderAction action) {
    const std::vector<FileCopy> copies =
        LoaderFileCopies(action, context.installerRoot, context.bootDir);
    for (const wchar_t* file : {L"\\bootmgr", L"\\grldr"}) {
        const std::wstring path = context.installerRoot + file;
        bool own = false;
        for (const FileCopy& copy : copies) {
            own = own || copy.second == path;
        }
        if (!own) {
            DeleteFileIfAny(path);
        }
    }
}

bool RunCheckedTool(AppContext& context, const std::wstring& commandLine,
                    const std::wstring& failurePrefix) {
    const int result = RunProcessAndWait(commandLine);
    if (result != 0) {
        context.ShowModalMessage(ExitCodeText(failurePrefix, result), MB_ICONINFORMATION);
        return false;
    }
    return true;
}

void RecordInstalledLoader(AppContext& context, LoaderAction action) {
    bool saved;
    if (IsUefiLoader(action)) {
        saved = SaveBootState(context.bootDir, -1, action - 4);
        context.uefiLoader = action - 4;
    } else {
        saved = SaveBootState(context.bootDir, action, -1);
        context.legacyLoader = action;
    }
    // The loader did change; the user must learn that its mark will not survive a restart.
    if (saved) {
        context.ReportLoaderChanged(LoaderNames[action]);
    } else {
        context.ShowModalMessage(StateNotSavedText(LoaderChangedText(LoaderNames[action])),
                                 MB_ICONINFORMATION);
    }
}
