#pragma once
// The one way a loader switch changes the drive. An action only says what it changes; the switch
// backs all of it up, marks itself in progress with a journal, applies the changes in order,
// reads the disk back, and puts the backup back after any failure, at once or at the next start.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "loaders/loader_table.h"
#include "loaders/command_lines.h"
#include "loaders/target.h"

// One outside program run. A run with a failure prefix stops the switch on a result other than
// 0 (-1: not started) with prefix + result + ").".
struct ToolRun {
    std::wstring commandLine;
    std::wstring failurePrefix;
    std::wstring freshOutput; // a file the run makes: an older one goes first, and after the
                              // run it must be a whole MBR image
};

// What the switch reads back once the runs are done.
enum class ReadBack {
    None,
    BootRecords,  // the tool composed the boot code: only the table and the BPB are known
    RawSectors,   // sector 0 is the MBR image and core.img follows it
    SavedSectors, // the disk's first sectors and the partition's are the saved ones (an undo)
};

struct SwitchPlan {
    Loader loader = Loader::XorBoot;
    std::wstring refusal;            // a check of the sources failed: nothing is done
    std::vector<std::wstring> trees; // folders a run fills, saved and restored whole
    std::vector<FileCopy> copies;    // each through a temporary, then a replace, in order
    std::vector<ToolRun> runs;       // in order, after the copies
    ReadBack readBack = ReadBack::None;
    std::wstring mbrImage;              // RawSectors: the file sector 0 must equal
    std::wstring coreImage;             // RawSectors: the file the sectors from 1 on must equal
    std::vector<std::wstring> removals; // only once everything else has succeeded
    unsigned diskSectorsWritten = 0;    // the tool may write sectors 0 to this; the backup must
                                        // hold them all
    // SavedSectors: the files the disk's first sectors and the partition's must equal.
    std::wstring headImage;
    std::wstring partitionImage;
    // Whole folders put in place after the copies (an empty source: the folder goes).
    std::vector<FileCopy> treeReplacements;
    bool undo = false; // puts a backup back: its copies bring bootstate.txt with them
};

struct SwitchOutcome {
    bool switched = false; // the loader changed and the context's mark must follow
    std::wstring text;     // what the user is told; empty: nothing
};

SwitchOutcome RunSwitch(const SwitchTarget& target, const SwitchPlan& plan);

// What the journal knows of one file or folder the switch may change: its path below the
// installer root, and whether (with which attributes) it was there before.
struct SavedItem {
    std::wstring relative;
    bool existed = false;
    DWORD attributes = 0;
};

// A switch under way, as its journal holds it; a switch that succeeded keeps it beside the
// backup as the record of what the backup holds.
struct Journal {
    int32_t action = -1;
    bool hasDisk = false;
    int disk = -1;
    long long start = -1;
    std::string signature; // bytes 440-443 of sector 0
    std::string table;     // bytes 446-511 of sector 0
    unsigned headSectors = 0;
    std::vector<SavedItem> files;
    std::vector<SavedItem> trees;
};

// The record of the last switch that succeeded; false when there is none or it does not parse.
bool ReadLastSwitchRecord(const std::wstring& bootDir, Journal& record);
// Whether a journal lies in the backup folder: a switch was stopped or its restore failed.
bool SwitchJournalPending(const std::wstring& bootDir);

// The backup's parts below a backup folder.
std::wstring DiskBackupPath(const std::wstring& folder);
std::wstring PartitionBackupPath(const std::wstring& folder);
std::wstring SavedCopyPath(const std::wstring& folder, const std::wstring& relative);

// What the start found of a switch that was stopped before it ended.
enum class PendingSwitch {
    None,
    Restored,
    NotRestored,   // the journal stays for the next start
    LayoutChanged, // the disk is no longer the one journaled: nothing restored, journal gone
};

PendingSwitch RestorePendingSwitch(const SwitchTarget& target);

std::wstring BackupFolderOf(const std::wstring& bootDir);

// `saved`, the first sectors of a FAT partition, with what the mounted file system rewrites by
// itself (the boot sectors' dirty flag, the FSInfo sectors) taken from `current`: only the rest
// tells whether a tool changed the partition.
std::string WithLiveFatFields(std::string saved, const std::string& current);
