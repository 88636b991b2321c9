#include "loaders/undo_plan.h"

#include "loaders/boot_state.h"
#include "loaders/command_lines.h"
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

// Whether the disk is still the one the record saved: the same signature, table and partition
// start. Saved sectors written to another layout would break it.
bool RecordFitsDisk(const SwitchTarget& target, const Journal& record) {
    if (!record.hasDisk) {
        return true;
    }
    std::string sector0;
    return ReadDiskSectors(target.diskPath, 0, 1, sector0) && sector0.size() >= 512 &&
           sector0.compare(440, 4, record.signature) == 0 &&
           sector0.compare(446, 66, record.table) == 0 && target.partitionStart == record.start;
}

// What the backup set aside in `source` holds, as a switch: the saved files back through
// temporaries, those the last switch created removed, folders whole, and the sectors through
// the tool's two restore command lines, partition first as a switch writes it.
SwitchPlan UndoPlan(const SwitchTarget& target, const Journal& record, const std::wstring& source) {
    SwitchPlan plan;
    plan.undo = true;
    for (const SavedItem& file : record.files) {
        const std::wstring path = target.installerRoot + file.relative;
        if (file.existed) {
            plan.copies.emplace_back(SavedCopyPath(source, file.relative), path);
        } else {
            plan.removals.push_back(path);
        }
    }
    for (const SavedItem& tree : record.trees) {
        const std::wstring path = target.installerRoot + tree.relative;
        plan.trees.push_back(path);
        plan.treeReplacements.emplace_back(
            tree.existed ? SavedCopyPath(source, tree.relative) : std::wstring(), path);
    }
    if (record.hasDisk) {
        plan.runs = {
            {BuildPbrRestoreCommandLine(target.bootIcePath, target.installerRoot,
                                        PartitionBackupPath(source)),
             PbrWriteFailedPrefix, L""},
            {BuildSectorWriteCommandLine(target.bootIcePath, target.installerRoot,
                                         DiskBackupPath(source), 0,
                                         static_cast<int>(record.headSectors)),
             MbrWriteFailedPrefix, L""},
        };
        plan.readBack = ReadBack::SavedSectors;
        plan.headImage = DiskBackupPath(source);
        plan.partitionImage = PartitionBackupPath(source);
        plan.diskSectorsWritten = record.headSectors;
    }
    return plan;
}

// The set-aside partition sectors take what the mounted file system keeps rewriting by itself
// from the disk as it is now, so the tool writes that unchanged.
bool TakeLiveFatFields(const SwitchTarget& target, const std::wstring& source) {
    std::string saved, current;
    if (!ReadWholeFile(PartitionBackupPath(source), saved) || saved.empty() ||
        target.partitionStart < 0 ||
        !ReadDiskSectors(target.diskPath, static_cast<unsigned long long>(target.partitionStart),
                         static_cast<unsigned>(saved.size() / SectorBytes), current)) {
        return false;
    }
    const std::string live = WithLiveFatFields(saved, current);
    return live == saved || ReplaceFileContent(PartitionBackupPath(source), live);
}

} // namespace

bool UndoAvailable(const std::wstring& bootDir) {
    Journal record;
    return !SwitchJournalPending(bootDir) && ReadLastSwitchRecord(bootDir, record);
}

std::wstring UndoQuestion(const std::wstring& bootDir) {
    Journal record;
    std::string state;
    if (ReadLastSwitchRecord(bootDir, record)) {
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
    Journal record;
    if (SwitchJournalPending(target.bootDir) || !ReadLastSwitchRecord(target.bootDir, record)) {
        return {false, BackupFailedText(BackupFolderOf(target.bootDir))};
    }
    if (!RecordFitsDisk(target, record)) {
        return {false, UndoLayoutChangedText};
    }
    // The switch starts its own backup where this one lies: it is set aside first.
    const std::wstring backup = BackupFolderOf(target.bootDir);
    const std::wstring source = target.bootDir + UndoSourceFolderName;
    if (GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DeleteTree(source);
    }
    if (!CopyTree(backup, source) || !TreesEqual(backup, source) ||
        (record.hasDisk && !TakeLiveFatFields(target, source))) {
        DeleteTree(source);
        return {false, BackupFailedText(source)};
    }
    const SwitchOutcome outcome = RunSwitch(target, UndoPlan(target, record, source));
    if (!outcome.switched && !SwitchJournalPending(target.bootDir)) {
        // Nothing changed, or the restore put it all back: the undo can be tried again.
        DeleteTree(backup);
        if (!MoveFileExW(source.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) {
            CopyTree(source, backup);
        }
    }
    if (GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !SwitchJournalPending(target.bootDir)) {
        DeleteTree(source);
    }
    return outcome;
}
