#include "loaders/loader_steps.h"

#include <algorithm>

#include "loaders/boot_state.h"
#include "loaders/command_lines.h"
#include "sys/file_utils.h"
#include "sys/process.h"
#include "ui/dispatch.h"

bool LoaderSourcesPresent(AppContext& context, Loader loader) {
    for (const std::wstring& source : LoaderSourceFiles(loader, context.bootDir)) {
        if (!FileExists(source)) {
            context.ShowModalMessage(MissingSourceText(source), MB_ICONINFORMATION);
            return false;
        }
    }
    return true;
}

bool CopyLoaderFiles(AppContext& context, Loader loader) {
    for (const FileCopy& copy : LoaderFileCopies(loader, context.installerRoot, context.bootDir)) {
        if (!CopyFileOverwrite(copy.first, copy.second)) {
            context.ShowModalMessage(CopyFailedText(copy.second), MB_ICONINFORMATION);
            return false;
        }
    }
    return true;
}

void DeleteFilesNotCopied(const std::wstring& installerRoot,
                          std::initializer_list<const wchar_t*> files,
                          const std::vector<FileCopy>& copies) {
    for (const wchar_t* file : files) {
        const std::wstring path = installerRoot + file;
        const bool copied = std::any_of(copies.begin(), copies.end(),
                                        [&](const FileCopy& copy) { return copy.second == path; });
        if (!copied) {
            DeleteFileIfAny(path);
        }
    }
}

void RemoveOtherLegacyRootFiles(AppContext& context, Loader loader) {
    DeleteFilesNotCopied(context.installerRoot, {L"\\bootmgr", L"\\grldr"},
                         LoaderFileCopies(loader, context.installerRoot, context.bootDir));
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

void RecordInstalledLoader(AppContext& context, Loader loader) {
    const LoaderFacts& facts = FactsOf(loader);
    bool saved;
    if (facts.mode == BootMode::Uefi) {
        saved = SaveBootState(context.bootDir, -1, facts.stateValue);
        context.uefiLoader = facts.stateValue;
    } else {
        saved = SaveBootState(context.bootDir, facts.stateValue, -1);
        context.legacyLoader = facts.stateValue;
    }
    // The loader did change; the user must learn that its mark will not survive a restart.
    if (saved) {
        context.ReportLoaderChanged(facts.name);
    } else {
        context.ShowModalMessage(StateNotSavedText(LoaderChangedText(facts.name)),
                                 MB_ICONINFORMATION);
    }
}
