#include "loaders/backup.h"

#include <algorithm>

#include "loaders/boot_region.h"
#include "loaders/file_names.h"
#include "loaders/user_texts.h"
#include "sys/directory_tree.h"
#include "sys/file_utils.h"
#include "sys/physical_drive.h"
#include "sys/process.h"

namespace {

constexpr size_t Sector = static_cast<size_t>(SectorBytes);
// How many times a restore runs the tool for one range of sectors.
constexpr int RestoreRuns = 2;

std::wstring Relative(const SwitchTarget& target, const std::wstring& path) {
    return path.compare(0, target.installerRoot.size(), target.installerRoot) == 0
               ? path.substr(target.installerRoot.size())
               : path;
}

bool HasItem(const std::vector<SavedItem>& items, const std::wstring& relative) {
    return std::any_of(items.begin(), items.end(),
                       [&](const SavedItem& item) { return item.relative == relative; });
}

// Puts saved disk sectors back through the tool when the disk no longer holds them, then reads
// them again. For the partition's sectors (`liveCopy` not empty) what the mounted file system
// keeps rewriting by itself is taken from the disk as it is now into a copy of its own, which the
// tool writes, so the backup itself is never rewritten. The tool gets a second run when the
// first leaves the sectors unlike the backup: a tool that could not start or lost the disk for a
// moment would otherwise leave the drive unbootable until the next start.
bool RestoreSectors(const SwitchTarget& target, const std::wstring& saved, unsigned long long first,
                    const std::wstring& commandLine, const std::wstring& liveCopy) {
    std::string expected, current;
    if (!ReadWholeFile(saved, expected) || expected.empty()) {
        return false;
    }
    if (!liveCopy.empty()) {
        // A backup an older version made may hold a FAT volume's first 16 sectors: behind the
        // boot region they are a FAT long out of date.
        expected.resize(std::min(expected.size(), BootRegionSectors(expected) * Sector));
    }
    const unsigned count = static_cast<unsigned>(expected.size() / Sector);
    auto fits = [&] {
        return ReadDiskSectors(target.diskPath, first, count, current) &&
               current == (liveCopy.empty() ? expected : WithLiveFatFields(expected, current));
    };
    for (int run = 0; run < RestoreRuns; ++run) {
        if (fits()) {
            return true;
        }
        // Made anew each time, not written over: a file system that cannot cut a file short
        // would keep the old one's tail.
        if (!liveCopy.empty() &&
            (!DiscardFile(liveCopy) ||
             !WriteFileFlushed(liveCopy, WithLiveFatFields(expected, current)))) {
            return false;
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

} // namespace

std::wstring SavedCopyPath(const std::wstring& backupFolder, const std::wstring& relative) {
    return backupFolder + L"\\files" + relative;
}

std::wstring DiskBackupPath(const std::wstring& backupFolder) {
    return backupFolder + L"\\disk-sectors.bin";
}

std::wstring PartitionBackupPath(const std::wstring& backupFolder) {
    return backupFolder + L"\\partition-sectors.bin";
}

std::wstring LivePartitionCopyPath(const std::wstring& backupFolder) {
    return backupFolder + L"\\partition-sectors-live.bin";
}

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
    for (const SavedItem& file : plan.undoRecord.files) {
        add(target.installerRoot + file.relative);
    }
    add(target.bootDir + BootStateFileName);
    return files;
}

// A pending journal (a restore that failed) keeps what it saved: that is the drive before the
// failed switch.
std::wstring SaveBackup(const SwitchTarget& target, const SwitchPlan& plan, Journal& journal) {
    const std::wstring folder = BackupFolderOf(target.bootDir);
    if (plan.readBack != ReadBack::None && !journal.hasDisk) {
        std::string sector0, head, partition;
        if (!ReadDiskSectors(target.diskPath, 0, 1, sector0)) {
            return target.diskPath.empty() ? PhysicalDrivePath(target.disk) : target.diskPath;
        }
        // A volume from sector 0 on (a stick without a partition table) has no disk head: what
        // would be saved and written back as one is the volume itself, its live FAT among it.
        if (target.partitionStart == 0) {
            return target.diskPath;
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
        // Only the boot region: behind it a FAT volume keeps its live FAT, which every file the
        // switch writes changes.
        const unsigned long long start = static_cast<unsigned long long>(target.partitionStart);
        std::string first;
        if (target.partitionStart < 0 || !ReadDiskSectors(target.diskPath, start, 1, first) ||
            !ReadDiskSectors(target.diskPath, start, BootRegionSectors(first), partition) ||
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

bool RestoreBackup(const SwitchTarget& target, const Journal& journal) {
    return RestoreBackupFrom(target, BackupFolderOf(target.bootDir), journal, nullptr);
}

bool RestoreBackupFrom(const SwitchTarget& target, const std::wstring& folder,
                       const Journal& journal, std::wstring* failure) {
    bool restored = true;
    // Every part is tried, whatever failed before it; the first failure is the one told.
    auto note = [&](bool done, const std::wstring& text) {
        if (!done && restored && failure) {
            *failure = text;
        }
        restored = done && restored;
    };
    if (journal.hasDisk) {
        note(RestoreSectors(target, DiskBackupPath(folder), 0,
                            BuildSectorWriteCommandLine(target.bootIcePath, target.installerRoot,
                                                        DiskBackupPath(folder), 0,
                                                        static_cast<int>(journal.headSectors)),
                            L""),
             SectorMismatchText(0));
        note(target.partitionStart >= 0 &&
                 RestoreSectors(target, PartitionBackupPath(folder),
                                static_cast<unsigned long long>(target.partitionStart),
                                BuildPbrRestoreCommandLine(target.bootIcePath, target.installerRoot,
                                                           LivePartitionCopyPath(folder)),
                                LivePartitionCopyPath(folder)),
             SectorMismatchText(target.partitionStart));
    }
    for (const SavedItem& tree : journal.trees) {
        const std::wstring path = target.installerRoot + tree.relative;
        note(RestoreTree(folder, path, tree), CopyFailedText(path));
    }
    for (const SavedItem& file : journal.files) {
        const std::wstring path = target.installerRoot + file.relative;
        note(RestoreFile(folder, path, file), CopyFailedText(path));
    }
    return restored;
}
