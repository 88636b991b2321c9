#include "loaders/undo_plan.h"

#include "loaders/backup.h"
#include "loaders/boot_state.h"
#include "loaders/file_names.h"
#include "loaders/user_texts.h"
#include "sys/directory_tree.h"
#include "sys/file_utils.h"

namespace {

// The label of the loader `key` records in a bootstate.txt's text; empty for none.
std::wstring RecordedLabel(const std::string& state, const char* key, BootMode mode) {
    const int32_t value = ParseBootStateValue(state.data(), state.size(), key);
    for (const LoaderFacts& facts : Loaders) {
        if (facts.mode == mode && facts.stateValue == value) {
            return facts.label;
        }
    }
    return {};
}

// A switch whose one change is the restore of the backup set aside in `source`: the restore a
// failed switch runs (sectors through the tool's two restore command lines, the partition's from
// a live copy made right before the run, files and folders put back or removed, all read again).
// The switch backs up first what that restore will overwrite, so a second undo redoes.
SwitchPlan UndoPlan(const Journal& record, const std::wstring& source, const SwitchTarget& target) {
    SwitchPlan plan;
    plan.undo = true;
    plan.undoSource = source;
    plan.undoRecord = record;
    for (const SavedItem& tree : record.trees) {
        plan.trees.push_back(target.installerRoot + tree.relative);
    }
    if (record.hasDisk) {
        plan.readBack = ReadBack::Restored;
        plan.diskSectorsWritten = record.headSectors;
    }
    return plan;
}

// A journal, or a new one beside it, means a switch was stopped or its restore failed: the next
// start restores that, and an undo would work from a backup that is not the drive's last. Only
// looked at: the menu asks this while it opens, and nothing may change the drive then.
bool JournalPending(const std::wstring& bootDir) {
    const std::wstring journal = JournalPath(BackupFolderOf(bootDir));
    return GetFileAttributesW(journal.c_str()) != INVALID_FILE_ATTRIBUTES ||
           GetFileAttributesW(TemporaryName(journal).c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

bool UndoAvailable(const std::wstring& bootDir) {
    Journal record;
    return !JournalPending(bootDir) && ReadSwitchRecord(BackupFolderOf(bootDir), record);
}

std::wstring UndoQuestion(const std::wstring& bootDir) {
    Journal record;
    std::string state;
    if (ReadSwitchRecord(BackupFolderOf(bootDir), record)) {
        const std::wstring relative = std::wstring(BootDirName) + BootStateFileName;
        for (const SavedItem& file : record.files) {
            if (file.relative == relative && file.existed) {
                ReadWholeFile(SavedCopyPath(BackupFolderOf(bootDir), relative), state);
            }
        }
    }
    return UndoQuestionText(RecordedLabel(state, "legacy", BootMode::Legacy),
                            RecordedLabel(state, "uefi", BootMode::Uefi));
}

SwitchOutcome UndoLastSwitch(const SwitchTarget& target) {
    const std::wstring backup = BackupFolderOf(target.bootDir);
    Journal record;
    if (JournalPending(target.bootDir) || !ReadSwitchRecord(backup, record)) {
        return {false, BackupFailedText(backup)};
    }
    // Saved sectors written to another layout would break it.
    switch (JournalFitsDisk(target, record)) {
    case DiskFit::Fits:
        break;
    case DiskFit::Changed:
        return {false, UndoLayoutChangedText};
    case DiskFit::Unreadable:
        return {false, BackupFailedText(target.diskPath)};
    }
    // The switch starts its own backup where this one lies: it is set aside first, whole.
    const std::wstring source = target.bootDir + UndoSourceFolderName;
    if (GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DeleteTree(source);
    }
    if (!CopyTree(backup, source) || !TreesEqual(backup, source)) {
        DeleteTree(source);
        return {false, BackupFailedText(source)};
    }
    const SwitchOutcome outcome = RunSwitch(target, UndoPlan(record, source, target));
    if (JournalPending(target.bootDir)) {
        // The next start restores from the new backup; the set-aside one stays beside it.
        return outcome;
    }
    if (!outcome.switched) {
        // Nothing changed, or the restore put it all back: the set-aside backup returns, so the
        // undo can be tried again. Until it is back whole, the set-aside copy is the only one.
        if (GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES) {
            DeleteTree(backup);
        }
        if (!CopyTree(source, backup) || !TreesEqual(source, backup)) {
            return outcome;
        }
    }
    DeleteTree(source);
    return outcome;
}
