#pragma once
// The journal of a switch under way: what it saved, in a text format of its own, and where it
// lies. Its presence on the drive says that the backup beside it must be put back.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "loaders/target.h"

// What the journal knows of one file or folder the switch may change: its path below the
// installer root, and whether (with which attributes) it was there before.
struct SavedItem {
    std::wstring relative;
    bool existed = false;
    DWORD attributes = 0;
};

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

std::wstring JournalPath(const std::wstring& backupFolder);

std::string FormatJournal(const Journal& journal);
// False for a journal cut short or written by something else: the "end" line comes last.
bool ParseJournal(const std::string& text, Journal& journal);

enum class JournalState { None, Unreadable, Malformed, Pending };
JournalState ReadJournal(const std::wstring& backupFolder, Journal& journal);
// Writes the journal whole beside the old one, flushed, then moves it over it; the volume flush
// that makes the move last is the caller's.
bool ReplaceJournal(const std::wstring& backupFolder, const Journal& journal);
// Removes the journal and any new one waiting beside it; true when both are gone.
bool RemoveJournal(const std::wstring& backupFolder);

// The journal of the last switch that succeeded, kept beside its backup as the record of what
// that backup holds: the undo puts it back.
std::wstring RecordPath(const std::wstring& backupFolder);
// Ends a switch that succeeded: any new journal goes, then the journal becomes the record; true
// when no journal is left. The volume flushes around it are the caller's.
bool KeepJournalAsRecord(const std::wstring& backupFolder);
// The record of the last switch; false when there is none or it is not whole.
bool ReadSwitchRecord(const std::wstring& backupFolder, Journal& record);

// Flushes the installer volume ("E:") and logs "flush volume E: ok" or "... failed": a switch
// counts every flush, since a change still in the cache is not yet on the stick.
bool FlushDrive(const std::wstring& installerRoot);

enum class DiskFit { Fits, Changed, Unreadable };
// Whether the disk is still the one the journal saved: the same signature, table and partition
// start. A journal without disk facts fits any disk.
DiskFit JournalFitsDisk(const SwitchTarget& target, const Journal& journal);
