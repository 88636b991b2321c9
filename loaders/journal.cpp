#include "loaders/journal.h"

#include <cstdio>
#include <cstdlib>

#include "sys/debug_log.h"
#include "sys/file_utils.h"
#include "sys/physical_drive.h"
#include "sys/utf8.h"

namespace {

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

} // namespace

std::wstring JournalPath(const std::wstring& backupFolder) {
    return backupFolder + L"\\journal.txt";
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

// The journal is written through a temporary and a rename, so one that does not parse was never
// this program's; one that exists but cannot be read may still be, and is kept. On FAT a rename
// over a file is a removal and a new entry: a stop between the two leaves only the new journal,
// which counts once it is whole and then becomes the journal.
JournalState ReadJournal(const std::wstring& backupFolder, Journal& journal) {
    const std::wstring path = JournalPath(backupFolder);
    std::string text;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (!ReadWholeFile(TemporaryName(path), text) || !ParseJournal(text, journal)) {
            return JournalState::None;
        }
        // Moved into place first: the next replacement of the journal begins by removing
        // whatever new one lies beside it.
        return MoveFileReplacing(TemporaryName(path), path) ? JournalState::Pending
                                                            : JournalState::Unreadable;
    }
    if (!ReadWholeFile(path, text)) {
        return JournalState::Unreadable;
    }
    return ParseJournal(text, journal) ? JournalState::Pending : JournalState::Malformed;
}

bool ReplaceJournal(const std::wstring& backupFolder, const Journal& journal) {
    return ReplaceFileContent(JournalPath(backupFolder), FormatJournal(journal));
}

// The new one first: alone, it would count as the journal.
bool RemoveJournal(const std::wstring& backupFolder) {
    const std::wstring path = JournalPath(backupFolder);
    const bool removed = DiscardFile(TemporaryName(path)) && DiscardFile(path);
    DebugLog(L"switch journal %ls", removed ? L"removed" : L"not removed");
    return removed;
}

std::wstring RecordPath(const std::wstring& backupFolder) {
    return backupFolder + L"\\last-switch.txt";
}

bool KeepJournalAsRecord(const std::wstring& backupFolder) {
    const std::wstring path = JournalPath(backupFolder);
    const bool kept = DiscardFile(TemporaryName(path)) &&
                      MoveFileReplacing(path, RecordPath(backupFolder)) &&
                      GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    DebugLog(L"switch journal %ls", kept ? L"kept as the record" : L"not removed");
    return kept;
}

bool ReadSwitchRecord(const std::wstring& backupFolder, Journal& record) {
    std::string text;
    return ReadWholeFile(RecordPath(backupFolder), text) && ParseJournal(text, record);
}

bool FlushDrive(const std::wstring& installerRoot) {
    const bool flushed = FlushVolume(installerRoot);
    DebugLog(L"flush volume %ls %ls", installerRoot.c_str(), flushed ? L"ok" : L"failed");
    return flushed;
}

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
