#pragma once
// The one way a loader switch changes the drive. An action only says what it changes; the switch
// backs all of it up, marks itself in progress with a journal, applies the changes in order,
// reads the disk back, and puts the backup back after any failure, at once or at the next start.
#include <string>
#include <vector>

#include "loaders/loader_table.h"
#include "loaders/command_lines.h"
#include "loaders/journal.h"
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
    BootRecords, // the tool wrote the boot records: the table, the disk signature and the BPB
                 // stay, and the boot code changes (to the sources' code where they are named)
    RawSectors,  // sector 0 is the MBR image and core.img follows it
    Restored,    // an undo: the restore of the set-aside backup read everything back itself
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
    std::wstring mbrCode;               // BootRecords: the file whose code sector 0 must carry
    std::wstring pbrCode;               // BootRecords: the same for the partition's first sector
    std::vector<std::wstring> removals; // only once everything else has succeeded
    unsigned diskSectorsWritten = 0;    // the tool may write sectors 0 to this; the backup must
                                        // hold them all
    // An undo: its one change is the restore of this set-aside backup, as its record says.
    bool undo = false;
    std::wstring undoSource;
    Journal undoRecord;
};

struct SwitchOutcome {
    bool switched = false; // the loader changed and the context's mark must follow
    std::wstring text;     // what the user is told; empty: nothing
};

SwitchOutcome RunSwitch(const SwitchTarget& target, const SwitchPlan& plan);

// What the start found of a switch that was stopped before it ended.
enum class PendingSwitch {
    None,
    Restored,
    NotRestored,   // the journal stays for the next start
    LayoutChanged, // the disk is no longer the one journaled: nothing restored, journal gone
};

PendingSwitch RestorePendingSwitch(const SwitchTarget& target);

std::wstring BackupFolderOf(const std::wstring& bootDir);
