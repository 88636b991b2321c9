#include "loaders/switch.h"

#include <algorithm>
#include <cstdio>

#include "loaders/boot_state.h"
#include "loaders/file_names.h"
#include "loaders/user_texts.h"
#include "sys/directory_tree.h"
#include "sys/file_utils.h"
#include "sys/physical_drive.h"
#include "sys/process.h"
#include "sys/utf8.h"

namespace {

// Boot code between sector 0 and the first partition ends, on any disk partitioned since
// Windows Vista, at sector 2048.
constexpr long long DiskHeadLimit = 2048;
// The partition's boot record, FAT32's backup copy at sector 6 and its information sectors.
constexpr unsigned PartitionSectors = 16;
// The sector size, as a string index.
constexpr size_t Sector = static_cast<size_t>(SectorBytes);
// How many times a restore runs the tool for one range of sectors.
constexpr int RestoreRuns = 2;

std::wstring JournalPath(const std::wstring& folder) {
    return folder + L"\\journal.txt";
}
std::wstring RecordPath(const std::wstring& folder) {
    return folder + L"\\last-switch.txt";
}

std::string Hex(const std::string& bytes) {
    static const char Digits[] = "0123456789abcdef";
    std::string hex;
    for (char c : bytes) {
        hex += Digits[(static_cast<unsigned char>(c) >> 4) & 0xF];
        hex += Digits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

bool FromHex(const std::string& hex, std::string& bytes) {
    auto value = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    bytes.clear();
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        if (value(hex[i]) < 0 || value(hex[i + 1]) < 0) {
            return false;
        }
        bytes += static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1]));
    }
    return hex.size() % 2 == 0;
}

std::string FormatItems(const char* key, const std::vector<SavedItem>& items) {
    std::string text;
    char head[64];
    for (const SavedItem& item : items) {
        std::snprintf(head, sizeof head, "%s=%d %lu ", key, item.existed ? 1 : 0,
                      static_cast<unsigned long>(item.attributes));
        text += head + ToUtf8(item.relative) + "\n";
    }
    return text;
}

std::string FormatJournal(const Journal& journal) {
    std::string text = "action=" + std::to_string(journal.action) + "\n";
    if (journal.hasDisk) {
        text += "disk=" + std::to_string(journal.disk) +
                "\nstart=" + std::to_string(journal.start) +
                "\nsignature=" + Hex(journal.signature) + "\ntable=" + Hex(journal.table) +
                "\nhead=" + std::to_string(journal.headSectors) + "\n";
    }
    return text + FormatItems("file", journal.files) + FormatItems("tree", journal.trees) + "end\n";
}

// False for a journal cut short or written by something else: the "end" line comes last.
bool ParseJournal(const std::string& text, Journal& journal) {
    journal = Journal();
    size_t position = 0;
    bool ended = false;
    while (position < text.size() && !ended) {
        size_t end = text.find('\n', position);
        if (end == std::string::npos) {
            return false;
        }
        const std::string line = text.substr(position, end - position);
        position = end + 1;
        const size_t equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
        if (line == "end") {
            ended = true;
        } else if (key == "action") {
            journal.action = std::atoi(value.c_str());
        } else if (key == "disk") {
            journal.hasDisk = true;
            journal.disk = std::atoi(value.c_str());
        } else if (key == "start") {
            journal.start = std::atoll(value.c_str());
        } else if (key == "signature" && !FromHex(value, journal.signature)) {
            return false;
        } else if (key == "table" && !FromHex(value, journal.table)) {
            return false;
        } else if (key == "head") {
            journal.headSectors = static_cast<unsigned>(std::atol(value.c_str()));
        } else if (key == "file" || key == "tree") {
            int existed = 0;
            unsigned long attributes = 0;
            int consumed = 0;
            if (std::sscanf(value.c_str(), "%d %lu %n", &existed, &attributes, &consumed) < 2) {
                return false;
            }
            SavedItem item{FromUtf8(value.substr(static_cast<size_t>(consumed))), existed != 0,
                           static_cast<DWORD>(attributes)};
            (key == "file" ? journal.files : journal.trees).push_back(item);
        }
    }
    return ended && (!journal.hasDisk || (journal.signature.size() == 4 &&
                                          journal.table.size() == 66 && journal.headSectors > 0));
}

enum class JournalState { None, Unreadable, Malformed, Pending };

// The journal is written through a temporary and a rename, so one that does not parse was never
// this program's; one that exists but cannot be read may still be, and is kept.
JournalState ReadJournal(const std::wstring& folder, Journal& journal) {
    std::string text;
    if (GetFileAttributesW(JournalPath(folder).c_str()) == INVALID_FILE_ATTRIBUTES) {
        return JournalState::None;
    }
    if (!ReadWholeFile(JournalPath(folder), text)) {
        return JournalState::Unreadable;
    }
    return ParseJournal(text, journal) ? JournalState::Pending : JournalState::Malformed;
}

enum class DiskFit { Fits, Changed, Unreadable };

// Whether the disk is still the one the journal saved: the same signature, table and partition
// start. A journal without disk facts fits any disk.
DiskFit JournalFitsDisk(const SwitchTarget& target, const Journal& journal) {
    if (!journal.hasDisk) {
        return DiskFit::Fits;
    }
    std::string sector0;
    if (!ReadDiskSectors(target.diskPath, 0, 1, sector0)) {
        return DiskFit::Unreadable;
    }
    return sector0.compare(440, 4, journal.signature) == 0 &&
                   sector0.compare(446, 66, journal.table) == 0 &&
                   target.partitionStart == journal.start
               ? DiskFit::Fits
               : DiskFit::Changed;
}

// The journal on the stick before the tool writes: the rename that put it in place is flushed
// with the volume, since a write-through move guarantees only moves made as copies.
bool WriteJournal(const SwitchTarget& target, const Journal& journal) {
    const std::wstring folder = BackupFolderOf(target.bootDir);
    if (!ReplaceFileContent(JournalPath(folder), FormatJournal(journal))) {
        return false;
    }
    FlushVolume(target.installerRoot);
    return true;
}

// The sectors before the first partition (at most 2048): where loaders keep their code.
unsigned DiskHeadSectors(const std::string& sector0) {
    long long lowest = DiskHeadLimit;
    for (size_t slot = 0; slot < 4; ++slot) {
        const size_t entry = 446 + 16 * slot;
        if (sector0[entry + 4] == 0) {
            continue; // an unused entry
        }
        long long start = 0;
        for (int i = 3; i >= 0; --i) {
            start = (start << 8) | static_cast<unsigned char>(sector0[entry + 8 + i]);
        }
        lowest = start > 0 && start < lowest ? start : lowest;
    }
    return static_cast<unsigned>(lowest);
}

std::wstring Relative(const SwitchTarget& target, const std::wstring& path) {
    return path.compare(0, target.installerRoot.size(), target.installerRoot) == 0
               ? path.substr(target.installerRoot.size())
               : path;
}

// Every file the plan may create, overwrite or delete, the boot state file included.
std::vector<std::wstring> ChangedFiles(const SwitchTarget& target, const SwitchPlan& plan) {
    std::vector<std::wstring> files;
    auto add = [&](const std::wstring& path) {
        if (!path.empty() && std::find(files.begin(), files.end(), path) == files.end()) {
            files.push_back(path);
        }
    };
    for (const FileCopy& copy : plan.copies) {
        add(copy.second);
    }
    for (const ToolRun& run : plan.runs) {
        add(run.freshOutput);
    }
    for (const std::wstring& removal : plan.removals) {
        add(removal);
    }
    add(target.bootDir + BootStateFileName);
    return files;
}

bool HasItem(const std::vector<SavedItem>& items, const std::wstring& relative) {
    return std::any_of(items.begin(), items.end(),
                       [&](const SavedItem& item) { return item.relative == relative; });
}

// Saves what the plan may change and the journal does not hold yet. A pending journal (a
// restore that failed) keeps what it saved: that is the drive before the failed switch.
std::wstring SaveBackup(const SwitchTarget& target, const SwitchPlan& plan, Journal& journal) {
    const std::wstring folder = BackupFolderOf(target.bootDir);
    if (plan.readBack != ReadBack::None && !journal.hasDisk) {
        std::string sector0, head, partition;
        if (!ReadDiskSectors(target.diskPath, 0, 1, sector0)) {
            return target.diskPath.empty() ? PhysicalDrivePath(target.disk) : target.diskPath;
        }
        journal.headSectors = DiskHeadSectors(sector0);
        // A tool that may write more sectors than lie before the first partition (a GPT disk's
        // protective entry starts at sector 1) could not be undone.
        if (journal.headSectors < plan.diskSectorsWritten ||
            !ReadDiskSectors(target.diskPath, 0, journal.headSectors, head)) {
            return target.diskPath;
        }
        if (!WriteFileFlushed(DiskBackupPath(folder), head)) {
            return DiskBackupPath(folder);
        }
        if (target.partitionStart < 0 ||
            !ReadDiskSectors(target.diskPath,
                             static_cast<unsigned long long>(target.partitionStart),
                             PartitionSectors, partition) ||
            !WriteFileFlushed(PartitionBackupPath(folder), partition)) {
            return PartitionBackupPath(folder);
        }
        journal.hasDisk = true;
        journal.disk = target.disk;
        journal.start = target.partitionStart;
        journal.signature = sector0.substr(440, 4);
        journal.table = sector0.substr(446, 66);
    }
    for (const std::wstring& path : ChangedFiles(target, plan)) {
        const SavedItem item{Relative(target, path), FileExists(path),
                             GetFileAttributesW(path.c_str())};
        if (HasItem(journal.files, item.relative)) {
            continue;
        }
        const std::wstring copy = SavedCopyPath(folder, item.relative);
        if (item.existed &&
            (!CreateDirectories(DirectoryPart(copy)) || !CopyFileFlushed(path, copy))) {
            return copy;
        }
        journal.files.push_back(item);
    }
    for (const std::wstring& tree : plan.trees) {
        const SavedItem item{Relative(target, tree), IsFolder(GetFileAttributesW(tree.c_str())), 0};
        if (HasItem(journal.trees, item.relative)) {
            continue;
        }
        const std::wstring copy = SavedCopyPath(folder, item.relative);
        if (item.existed && (!CreateDirectories(DirectoryPart(copy)) || !CopyTree(tree, copy))) {
            return copy;
        }
        journal.trees.push_back(item);
    }
    return {};
}

// Drops from a pending journal what a switch that succeeded has just written anew; false when
// nothing is left to restore.
bool ForgetWhatThePlanWrote(const SwitchTarget& target, const SwitchPlan& plan, Journal& journal) {
    auto written = [&](const std::vector<std::wstring>& paths) {
        return [&, paths](const SavedItem& item) {
            return std::any_of(paths.begin(), paths.end(), [&](const std::wstring& path) {
                return Relative(target, path) == item.relative;
            });
        };
    };
    const std::vector<std::wstring> files = ChangedFiles(target, plan);
    journal.files.erase(std::remove_if(journal.files.begin(), journal.files.end(), written(files)),
                        journal.files.end());
    journal.trees.erase(
        std::remove_if(journal.trees.begin(), journal.trees.end(), written(plan.trees)),
        journal.trees.end());
    if (plan.readBack != ReadBack::None) {
        journal.hasDisk = false;
    }
    return journal.hasDisk || !journal.files.empty() || !journal.trees.empty();
}

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

// The failure text when what the runs left on the disk is not what they had to leave.
std::wstring ReadBackFailure(const SwitchTarget& target, const SwitchPlan& plan) {
    const std::wstring folder = BackupFolderOf(target.bootDir);
    if (plan.readBack == ReadBack::BootRecords) {
        // The tool composes the boot code itself: only what it must keep can be checked.
        std::string saved0, savedPartition, sector0, partition;
        SavedBootRecords(folder, saved0, savedPartition);
        if (!ReadDiskSectors(target.diskPath, 0, 1, sector0) ||
            !SameBytes(sector0, saved0, 446, 512)) {
            return SectorMismatchText(0);
        }
        if (!ReadDiskSectors(target.diskPath,
                             static_cast<unsigned long long>(target.partitionStart), 1,
                             partition)) {
            return SectorMismatchText(target.partitionStart);
        }
        const std::string expected = WithLiveFatFields(savedPartition.substr(0, Sector), partition);
        if (!SameBytes(partition, expected, 11, 90) || !SameBytes(partition, expected, 510, 512)) {
            return SectorMismatchText(target.partitionStart);
        }
    } else if (plan.readBack == ReadBack::SavedSectors) {
        std::string head, partition, sectors;
        ReadWholeFile(plan.headImage, head);
        ReadWholeFile(plan.partitionImage, partition);
        if (head.empty() ||
            !ReadDiskSectors(target.diskPath, 0, static_cast<unsigned>(head.size() / Sector),
                             sectors) ||
            FirstMismatch(head, sectors, 0) >= 0) {
            return SectorMismatchText(std::max(0LL, FirstMismatch(head, sectors, 0)));
        }
        if (partition.empty() ||
            !ReadDiskSectors(target.diskPath,
                             static_cast<unsigned long long>(target.partitionStart),
                             static_cast<unsigned>(partition.size() / Sector), sectors) ||
            sectors != WithLiveFatFields(partition, sectors)) {
            return SectorMismatchText(target.partitionStart);
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
std::wstring ApplyPlan(const SwitchTarget& target, const SwitchPlan& plan) {
    for (const std::wstring& tree : plan.trees) {
        CreateDirectories(tree);
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
    for (const FileCopy& tree : plan.treeReplacements) {
        if (GetFileAttributesW(tree.second.c_str()) != INVALID_FILE_ATTRIBUTES &&
            !DeleteTree(tree.second)) {
            return CopyFailedText(tree.second);
        }
        if (!tree.first.empty() && !CopyTree(tree.first, tree.second)) {
            return CopyFailedText(tree.second);
        }
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
    const std::wstring readBack = ReadBackFailure(target, plan);
    if (!readBack.empty()) {
        return readBack;
    }
    for (const std::wstring& removal : plan.removals) {
        DeleteFileIfAny(removal);
    }
    return {};
}

// Puts saved disk sectors back through the tool when the disk no longer holds them, then reads
// them again. For the partition's sectors what the mounted file system keeps rewriting by itself
// is taken from the disk as it is now, into the saved file too, so the tool writes it unchanged.
// The tool gets a second run when the first leaves the sectors unlike the backup: a tool that
// could not start or lost the disk for a moment would otherwise leave the drive unbootable
// until the next start.
bool RestoreSectors(const SwitchTarget& target, const std::wstring& saved, unsigned long long first,
                    const std::wstring& commandLine, bool fileSystemSectors) {
    std::string expected, current;
    if (!ReadWholeFile(saved, expected) || expected.empty()) {
        return false;
    }
    const unsigned count = static_cast<unsigned>(expected.size() / Sector);
    auto fits = [&] {
        return ReadDiskSectors(target.diskPath, first, count, current) &&
               current == (fileSystemSectors ? WithLiveFatFields(expected, current) : expected);
    };
    for (int run = 0; run < RestoreRuns; ++run) {
        if (fits()) {
            return true;
        }
        if (fileSystemSectors && !current.empty()) {
            // Replaced, never rewritten in place: a stop here must not empty the backup.
            const std::string live = WithLiveFatFields(expected, current);
            if (live != expected && !ReplaceFileContent(saved, live)) {
                return false;
            }
            expected = live;
        }
        RunProcessAndWait(commandLine);
    }
    return fits();
}

bool RestoreFile(const std::wstring& folder, const std::wstring& path, const SavedItem& item) {
    DiscardFile(TemporaryName(path));
    if (!item.existed) {
        if (FileExists(path)) {
            DiscardFile(path);
        }
        return !FileExists(path) && !FileExists(TemporaryName(path));
    }
    std::string saved, current;
    if (!ReadWholeFile(SavedCopyPath(folder, item.relative), saved)) {
        return false;
    }
    if (!ReadWholeFile(path, current) || current != saved) {
        ReplaceFileContent(path, saved);
    }
    if (item.attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(path.c_str(), item.attributes);
    }
    return ReadWholeFile(path, current) && current == saved && !FileExists(TemporaryName(path));
}

bool RestoreTree(const std::wstring& folder, const std::wstring& path, const SavedItem& item) {
    const std::wstring saved = SavedCopyPath(folder, item.relative);
    if (!item.existed) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            DeleteTree(path);
        }
        return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    }
    if (TreesEqual(saved, path)) {
        return true;
    }
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DeleteTree(path);
    }
    CopyTree(saved, path);
    return TreesEqual(saved, path);
}

// Puts back everything the journal saved and reads it back; true when all of it is as saved.
bool RestoreBackup(const SwitchTarget& target, const Journal& journal) {
    const std::wstring folder = BackupFolderOf(target.bootDir);
    bool restored = true;
    if (journal.hasDisk) {
        restored =
            RestoreSectors(target, DiskBackupPath(folder), 0,
                           BuildSectorWriteCommandLine(target.bootIcePath, target.installerRoot,
                                                       DiskBackupPath(folder), 0,
                                                       static_cast<int>(journal.headSectors)),
                           false) &&
            restored;
        restored =
            target.partitionStart >= 0 &&
            RestoreSectors(target, PartitionBackupPath(folder),
                           static_cast<unsigned long long>(target.partitionStart),
                           BuildPbrRestoreCommandLine(target.bootIcePath, target.installerRoot,
                                                      PartitionBackupPath(folder)),
                           true) &&
            restored;
    }
    for (const SavedItem& tree : journal.trees) {
        restored = RestoreTree(folder, target.installerRoot + tree.relative, tree) && restored;
    }
    for (const SavedItem& file : journal.files) {
        restored = RestoreFile(folder, target.installerRoot + file.relative, file) && restored;
    }
    return restored;
}

} // namespace

std::wstring DiskBackupPath(const std::wstring& folder) {
    return folder + L"\\disk-sectors.bin";
}
std::wstring PartitionBackupPath(const std::wstring& folder) {
    return folder + L"\\partition-sectors.bin";
}
std::wstring SavedCopyPath(const std::wstring& folder, const std::wstring& relative) {
    return folder + L"\\files" + relative;
}

bool ReadLastSwitchRecord(const std::wstring& bootDir, Journal& record) {
    std::string text;
    return ReadWholeFile(RecordPath(BackupFolderOf(bootDir)), text) && ParseJournal(text, record);
}

bool SwitchJournalPending(const std::wstring& bootDir) {
    return GetFileAttributesW(JournalPath(BackupFolderOf(bootDir)).c_str()) !=
           INVALID_FILE_ATTRIBUTES;
}

std::string WithLiveFatFields(std::string saved, const std::string& current) {
    auto field = [](const std::string& sector, size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(sector[at])) |
               static_cast<unsigned>(static_cast<unsigned char>(sector[at + 1])) << 8;
    };
    auto take = [&](size_t from, size_t length) {
        if (from + length <= saved.size() && from + length <= current.size()) {
            saved.replace(from, length, current, from, length);
        }
    };
    if (saved.size() < Sector || current.size() < Sector) {
        return saved;
    }
    // FAT32 has no 16-bit FAT size; its dirty flag sits after the extended BPB, FAT12/16's
    // earlier, and the FSInfo sector and the backup boot sector are named in the BPB.
    const bool fat32 = field(saved, 22) == 0;
    const size_t dirty = fat32 ? 0x41 : 0x25;
    const size_t backupBoot = fat32 ? field(saved, 50) : 0;
    const size_t fsInfo = fat32 ? field(saved, 48) : 0;
    take(dirty, 1);
    if (backupBoot > 0) {
        take(backupBoot * Sector + dirty, 1);
    }
    if (fsInfo > 0) {
        take(fsInfo * Sector, Sector);
        if (backupBoot > 0) {
            take((backupBoot + fsInfo) * Sector, Sector);
        }
    }
    return saved;
}

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
        DiscardFile(JournalPath(folder));
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
    if (!WriteJournal(target, journal)) {
        return {false, BackupFailedText(JournalPath(folder))};
    }

    const std::wstring failure = ApplyPlan(target, plan);
    if (!failure.empty()) {
        const bool restored = RestoreBackup(target, journal);
        if (restored) {
            DiscardFile(JournalPath(folder));
        }
        return {false, failure + RestoreLine(restored, folder)};
    }
    const LoaderFacts& facts = FactsOf(plan.loader);
    const bool saved = plan.undo ? true
                       : facts.mode == BootMode::Uefi
                           ? SaveBootState(target.bootDir, -1, facts.stateValue)
                           : SaveBootState(target.bootDir, facts.stateValue, -1);
    if (!pending) {
        // The journal stays as the record of what the backup holds: the undo puts that back.
        if (!MoveFileReplacing(JournalPath(folder), RecordPath(folder))) {
            DiscardFile(JournalPath(folder));
        }
    } else if (!ForgetWhatThePlanWrote(target, plan, journal) || !WriteJournal(target, journal)) {
        // What this switch wrote is now as it should be; what an earlier failed restore left
        // behind stays journaled for the next start.
        DiscardFile(JournalPath(folder));
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
        DiscardFile(JournalPath(folder));
        return PendingSwitch::None;
    case JournalState::Pending:
        break;
    }
    const DiskFit fit = JournalFitsDisk(target, journal);
    if (fit == DiskFit::Unreadable) {
        return PendingSwitch::NotRestored;
    }
    if (fit == DiskFit::Changed) {
        DiscardFile(JournalPath(folder));
        return PendingSwitch::LayoutChanged;
    }
    if (!RestoreBackup(target, journal)) {
        return PendingSwitch::NotRestored;
    }
    DiscardFile(JournalPath(folder));
    return PendingSwitch::Restored;
}
