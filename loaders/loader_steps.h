#pragma once
// Steps the loader actions share. The checked ones show their stop message themselves and
// answer false, so an action only returns on a stop.
#include <initializer_list>
#include <vector>

#include "app/app_context.h"
#include "loaders/command_lines.h"

// Every file the action needs exists under bootDir; otherwise the first missing one is named.
bool LoaderSourcesPresent(AppContext& context, Loader loader);
// The action's copies in order; the first that fails stops them and is named.
bool CopyLoaderFiles(AppContext& context, Loader loader);
// Runs one tool command line; a result other than 0 (-1: not started) is shown as
// failurePrefix + code + ").".
bool RunCheckedTool(AppContext& context, const std::wstring& commandLine,
                    const std::wstring& failurePrefix);
// Deletes the root files of the Legacy BIOS loaders other than the action's own ("\bootmgr",
// "\grldr"); run only once the new loader is written, so a stop keeps the old one bootable.
void RemoveOtherLegacyRootFiles(AppContext& context, Loader loader);
// Deletes installerRoot + each of `files` that none of `copies` has just put in place.
void DeleteFilesNotCopied(const std::wstring& installerRoot,
                          std::initializer_list<const wchar_t*> files,
                          const std::vector<FileCopy>& copies);
// The boot state file, then the context's field of the action's mode, then the success message
// (which also says when the boot state file could not be written).
void RecordInstalledLoader(AppContext& context, Loader loader);
