#include "loaders/switch.h"

#include <algorithm>

#include "loaders/backup.h"
#include "loaders/boot_region.h"
#include "loaders/boot_state.h"
#include "loaders/file_names.h"
#include "loaders/journal.h"
#include "loaders/user_texts.h"
#include "sys/directory_tree.h"
#include "sys/file_utils.h"
#include "sys/physical_drive.h"
#include "sys/process.h"

namespace {

// The sector size, as a string index.
constexpr size_t Sector = static_cast<size_t>(SectorBytes);

// Sector 0 and the partition's first sector as the switch found them, from the backup.
bool SavedBootRecords(const std::wstring& folder, std::string& sector0, std::string& partition) {
    return ReadWholeFile(DiskBackupPath(folder), sector0) && sector0.size() >= Sector &&
           ReadWholeFile(PartitionBackupPath(folder), partition) && partition.size() >= Sector;
}

bool SameBytes(const std::string& a, const std::string& b, size_t from, size_t to) {
    return a.size() >= to && b.size() >= to && a.compare(from, to - from, b, from, to - from) == 0;
}

// The first sector, counted from `first`, where `actual` differs from `expected`; -1 if none.
long long FirstMismatch(const std::string& expected, const std::string& actual, long long first) {
    for (size_t at = 0; at < expected.size(); at += Sector) {
        const size_t length = std::min(Sector, expected.size() - at);
        if (actual.size() < at + length || actual.compare(at, length, expected, at, length) != 0) {
            return first + static_cast<long long>(at / Sector);
        }
    }
    return -1;
}

// Whether `record`'s code is the code of the file `source` names (none: any new code).
bool CodeWritten(BootRecord record, const std::string& written, const std::string& saved,
                 const std::wstring& source, bool reinstall) {
    std::string code;
    if (source.empty()) {
        return BootCodeWritten(record, written, saved, nullptr, reinstall);
    }
    return ReadWholeFile(source, code) && BootCodeWritten(record, written, saved, &code, reinstall);
}

// The failure text when what the runs left on the disk is not what they had to leave. Windows
// refuses a write into a mounted volume that is neither locked nor dismounted, and a tool may
// still exit 0: unchanged boot code would go on loading a root file the switch then removes.
// `reinstall`: the loader installed is the one already recorded, whose code may stay as it was;
// `pbrMayStay`: the recorded loader never wrote the partition's code (GRUB2), so it may still be
// the code of the loader installed now.
std::wstring ReadBackFailure(const SwitchTarget& target, const SwitchPlan& plan, bool reinstall,
                             bool pbrMayStay) {
    const std::wstring folder = BackupFolderOf(target.bootDir);
    if (plan.readBack == ReadBack::BootRecords) {
        std::string saved0, savedPartition, sector0, partition;
        SavedBootRecords(folder, saved0, savedPartition);
        if (!ReadDiskSectors(target.diskPath, 0, 1, sector0) ||
            !SameBytes(sector0, saved0, 440, 512)) {
            return SectorMismatchText(0);
        }
        if (!ReadDiskSectors(target.diskPath,
                             static_cast<unsigned long long>(target.partitionStart), 1,
                             partition)) {
            return SectorMismatchText(target.partitionStart);
        }
        const std::string expected = WithLiveFatFields(savedPartition.substr(0, Sector), partition);
        if (!SameBytes(partition, expected, 11, ParameterBlockEnd(savedPartition)) ||
            !SameBytes(partition, expected, 510, 512) ||
            !CodeWritten(BootRecord::Pbr, partition, savedPartition, plan.pbrCode,
                         reinstall || pbrMayStay)) {
            return SectorMismatchText(target.partitionStart);
        }
        if (!CodeWritten(BootRecord::Mbr, sector0, saved0, plan.mbrCode, reinstall)) {
            return SectorMismatchText(0);
        }
    } else if (plan.readBack == ReadBack::RawSectors) {
        std::string image, core, sector0, written;
        if (!ReadWholeFile(plan.mbrImage, image) ||
            !ReadDiskSectors(target.diskPath, 0, 1, sector0) || sector0 != image) {
            return SectorMismatchText(0);
        }
        if (!ReadWholeFile(plan.coreImage, core) || core.empty()) {
            return SectorMismatchText(1);
        }
        const unsigned coreSectors = static_cast<unsigned>((core.size() + Sector - 1) / Sector);
        ReadDiskSectors(target.diskPath, 1, coreSectors, written);
        const long long mismatch = FirstMismatch(core, written, 1);
        if (mismatch >= 0) {
            return SectorMismatchText(mismatch);
        }
    }
    return {};
}

// Applies the plan; the failure text of the first step that fails, empty when all succeeded.
std::wstring ApplyPlan(const SwitchTarget& target, const SwitchPlan& plan, bool reinstall,
                       bool pbrMayStay) {
    for (const std::wstring& tree : plan.trees) {
        CreateDirectories(tree);
    }
    std::wstring undoFailure;
    if (plan.undo && !RestoreBackupFrom(target, plan.undoSource, plan.undoRecord, &undoFailure)) {
        return undoFailure;
    }
    for (const FileCopy& copy : plan.copies) {
        const std::wstring temporary = TemporaryName(copy.second);
        DiscardFile(temporary);
        if (!CopyFileOverwrite(copy.first, temporary) ||
            !MoveFileReplacing(temporary, copy.second)) {
            return CopyFailedText(copy.second);
        }
        AtTestStopPoint(L"replace");
    }
    for (const ToolRun& run : plan.runs) {
        if (!run.freshOutput.empty()) {
            // An older image (with an older partition table) must never reach sector 0.
            DeleteFileIfAny(run.freshOutput);
            if (FileExists(run.freshOutput)) {
                return MbrImageBadText(run.freshOutput);
            }
        }
        const int result = RunProcessAndWait(run.commandLine);
        if (!run.failurePrefix.empty() && result != 0) {
            return ExitCodeText(run.failurePrefix, result);
        }
        if (!run.freshOutput.empty()) {
            unsigned long long bytes = 0;
            std::string content;
            if (FileSizeOf(run.freshOutput, bytes) && bytes == SectorBytes) {
                content = ReadFileStart(run.freshOutput, SectorBytes);
            }
            if (!IsMbrImage(content)) {
                return MbrImageBadText(run.freshOutput);
            }
        }
    }
    const std::wstring readBack = ReadBackFailure(target, plan, reinstall, pbrMayStay);
    if (!readBack.empty()) {
        return readBack;
    }
    for (const std::wstring& removal : plan.removals) {
        DeleteFileIfAny(removal);
    }
    return {};
}

// The restored drive reaches the stick before its journal goes, and the removal before the box.
// A removal that may not have reached the stick leaves the journal whole again: the next start
// then restores once more, which changes nothing on a drive already restored.
bool FinishRestore(const SwitchTarget& target, const Journal& journal) {
    const std::wstring folder = BackupFolderOf(target.bootDir);
    if (!FlushDrive(target.installerRoot) || !RemoveJournal(folder)) {
        return false;
    }
    if (!FlushDrive(target.installerRoot)) {
        ReplaceJournal(folder, journal);
        return false;
    }
    return true;
}

// A failed step: the backup goes back; a restore that did not reach the stick keeps its journal.
SwitchOutcome Undone(const SwitchTarget& target, const Journal& journal,
                     const std::wstring& failure) {
    const bool restored = RestoreBackup(target, journal) && FinishRestore(target, journal);
    return {false, failure + RestoreLine(restored, BackupFolderOf(target.bootDir))};
}

// Only once every change is on the stick does the journal change, and the result is told only
// once that change is there too. What this switch wrote is now as it should be; what an earlier
// failed restore left behind stays journaled for the next start. The failure text of the step
// that failed, empty when all of it reached the stick.
std::wstring Commit(const SwitchTarget& target, const SwitchPlan& plan, const Journal& journal,
                    bool pending) {
    const std::wstring folder = BackupFolderOf(target.bootDir);
    Journal left = journal;
    const bool keep = pending && ForgetWhatThePlanWrote(target, plan, left);
    if (!FlushDrive(target.installerRoot)) {
        return FlushFailedText;
    }
    if (!(keep ? ReplaceJournal(folder, left) : KeepJournalAsRecord(folder))) {
        // A journal left behind would undo this switch at the next start.
        return BackupFailedText(JournalPath(folder));
    }
    if (!FlushDrive(target.installerRoot)) {
        // The journal may be gone from the cache but not from the stick: it must be whole again
        // before the restore.
        ReplaceJournal(folder, journal);
        return FlushFailedText;
    }
    return {};
}

} // namespace

std::wstring BackupFolderOf(const std::wstring& bootDir) {
    return bootDir + BackupFolderName;
}

SwitchOutcome RunSwitch(const SwitchTarget& target, const SwitchPlan& plan) {
    if (!plan.refusal.empty()) {
        return {false, plan.refusal};
    }
    // Targets Windows' copy would refuse stop the switch before anything changes.
    for (const FileCopy& copy : plan.copies) {
        if (CopyTargetRefused(GetFileAttributesW(copy.first.c_str()),
                              GetFileAttributesW(copy.second.c_str()))) {
            return {false, CopyFailedText(copy.second)};
        }
    }
    if (plan.readBack != ReadBack::None && target.sectorBytes != 0 &&
        target.sectorBytes != Sector) {
        return {false, SectorSizeRefusedText};
    }
    const std::wstring folder = BackupFolderOf(target.bootDir);
    Journal journal;
    const JournalState state = ReadJournal(folder, journal);
    if (state == JournalState::Unreadable) {
        return {false, BackupFailedText(JournalPath(folder))};
    }
    const bool pending = state == JournalState::Pending;
    const DiskFit fit = pending ? JournalFitsDisk(target, journal) : DiskFit::Fits;
    if (fit == DiskFit::Unreadable) {
        // Not knowing the disk is no reason to give up the backup that may be needed on it.
        return {false, BackupFailedText(target.diskPath)};
    }
    if (fit == DiskFit::Changed) {
        // The saved sectors belong to another layout: writing them back would break this one.
        RemoveJournal(folder);
        return {false, LayoutChangedText(folder)};
    }
    if (!pending) {
        journal = Journal();
        if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
            DeleteTree(folder);
        }
    }
    if (!CreateDirectories(folder)) {
        return {false, BackupFailedText(folder)};
    }
    journal.action = static_cast<int32_t>(plan.loader);
    const std::wstring failedPath = SaveBackup(target, plan, journal);
    if (!failedPath.empty()) {
        return {false, BackupFailedText(failedPath)};
    }
    if (!ReplaceJournal(folder, journal)) {
        return {false, BackupFailedText(JournalPath(folder))};
    }
    if (!FlushDrive(target.installerRoot)) {
        return Undone(target, journal, FlushFailedText);
    }

    const LoaderFacts& facts = FactsOf(plan.loader);
    const int32_t recorded = ReadBootStateValue(target.bootDir + BootStateFileName, "legacy");
    const bool reinstall = facts.mode == BootMode::Legacy && recorded == facts.stateValue;
    const bool pbrMayStay = recorded == FactsOf(Loader::Grub2).stateValue;
    const std::wstring failure = ApplyPlan(target, plan, reinstall, pbrMayStay);
    if (!failure.empty()) {
        return Undone(target, journal, failure);
    }
    // An undo brought the boot state file back with the rest of its backup.
    const bool saved = plan.undo || (facts.mode == BootMode::Uefi
                                         ? SaveBootState(target.bootDir, -1, facts.stateValue)
                                         : SaveBootState(target.bootDir, facts.stateValue, -1));
    const std::wstring uncommitted = Commit(target, plan, journal, pending);
    if (!uncommitted.empty()) {
        return Undone(target, journal, uncommitted);
    }
    if (plan.undo) {
        return {true, UndoDoneText};
    }
    // The loader did change; the user must learn that its mark will not survive a restart.
    const std::wstring changed = LoaderChangedText(facts.name);
    return {true, saved ? changed : StateNotSavedText(changed)};
}

PendingSwitch RestorePendingSwitch(const SwitchTarget& target) {
    const std::wstring folder = BackupFolderOf(target.bootDir);
    Journal journal;
    switch (ReadJournal(folder, journal)) {
    case JournalState::None:
        return PendingSwitch::None;
    case JournalState::Unreadable:
        return PendingSwitch::NotRestored;
    case JournalState::Malformed:
        RemoveJournal(folder);
        return PendingSwitch::None;
    case JournalState::Pending:
        break;
    }
    const DiskFit fit = JournalFitsDisk(target, journal);
    if (fit == DiskFit::Unreadable) {
        return PendingSwitch::NotRestored;
    }
    if (fit == DiskFit::Changed) {
        RemoveJournal(folder);
        return PendingSwitch::LayoutChanged;
    }
    return RestoreBackup(target, journal) && FinishRestore(target, journal)
               ? PendingSwitch::Restored
               : PendingSwitch::NotRestored;
}
