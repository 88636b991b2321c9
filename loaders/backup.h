#pragma once
// The backup of what a switch may change, beside its journal in the boot directory's backup
// folder, and the restore that puts it back and reads it again.
#include <string>

#include "loaders/journal.h"
#include "loaders/switch.h"

std::wstring DiskBackupPath(const std::wstring& backupFolder);
std::wstring PartitionBackupPath(const std::wstring& backupFolder);
// Where the backup keeps its copy of the file or folder at `relative` below the installer root.
std::wstring SavedCopyPath(const std::wstring& backupFolder, const std::wstring& relative);
// The saved partition sectors with the live FAT fields of the moment, which a restore writes.
std::wstring LivePartitionCopyPath(const std::wstring& backupFolder);

// Every file the plan may create, overwrite or delete, the boot state file included.
std::vector<std::wstring> ChangedFiles(const SwitchTarget& target, const SwitchPlan& plan);

// Saves what the plan may change and the journal does not hold yet, and notes it in `journal`.
// The path that could not be read or saved; empty when all is saved.
std::wstring SaveBackup(const SwitchTarget& target, const SwitchPlan& plan, Journal& journal);

// Drops from a pending journal what a switch that succeeded has just written anew; false when
// nothing is left to restore.
bool ForgetWhatThePlanWrote(const SwitchTarget& target, const SwitchPlan& plan, Journal& journal);

// Puts back everything the journal saved and reads it back; true when all of it is as saved.
bool RestoreBackup(const SwitchTarget& target, const Journal& journal);
// The same from the backup in `folder` (an undo's set-aside copy); `failure`, when given, gets
// the text of the first part that is not as saved.
bool RestoreBackupFrom(const SwitchTarget& target, const std::wstring& folder,
                       const Journal& journal, std::wstring* failure);
