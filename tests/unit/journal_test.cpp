// The journal's text and which file on the drive counts as the journal.
#include "loaders/journal.h"

#include <gtest/gtest.h>

#include "sys/file_utils.h"
#include "tests/support/sim_drive.h"

namespace {

Journal DiskJournal(int32_t action) {
    Journal journal;
    journal.action = action;
    journal.hasDisk = true;
    journal.disk = 3;
    journal.start = 2048;
    journal.signature = "DAOL";
    journal.table = std::string(64, '\x01') + "\x55\xAA";
    journal.headSectors = 2048;
    journal.files = {{L"\\bootmgr", true, FILE_ATTRIBUTE_ARCHIVE}, {L"\\grldr", false, 0}};
    journal.trees = {{L"\\efi\\Telvorn\\Boot\\grub2\\bios\\i386-pc", true, 0}};
    return journal;
}

TEST(ParseJournal, ReadsWhatFormatWroteAndNothingCutBeforeItsEndLine) {
    const std::string text = FormatJournal(DiskJournal(1));
    Journal read;
    ASSERT_TRUE(ParseJournal(text, read));
    EXPECT_EQ(FormatJournal(read), text);
    for (size_t cut = 0; cut < text.size(); ++cut) {
        EXPECT_FALSE(ParseJournal(text.substr(0, cut), read)) << cut;
    }
}

TEST(ReadJournal, AWholeNewJournalCountsOnlyWhereTheJournalIsMissing) {
    const std::wstring folder =
        BuildDir() + L"\\scratch\\journal-" + std::to_wstring(GetCurrentProcessId());
    const std::string first = FormatJournal(DiskJournal(1));
    const std::string second = FormatJournal(DiskJournal(2));
    const std::string cut = second.substr(0, second.size() - 4);
    const struct {
        const char* name;
        const char* journal; // null: no journal.txt
        const char* fresh;   // null: no journal.txt.quillmere-new
        JournalState state;
        int32_t action;
    } cases[] = {
        {"neither", nullptr, nullptr, JournalState::None, -1},
        {"journal", first.c_str(), nullptr, JournalState::Pending, 1},
        {"cut journal", cut.c_str(), nullptr, JournalState::Malformed, -1},
        {"a stop between the removal and the new entry", nullptr, second.c_str(),
         JournalState::Pending, 2},
        {"a stop while the new one was written", nullptr, cut.c_str(), JournalState::None, -1},
        {"a stop before the replace", first.c_str(), second.c_str(), JournalState::Pending, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(RemoveTreeForTest(folder));
        ASSERT_TRUE(MakeFolders(folder));
        if (c.journal) {
            ASSERT_TRUE(WriteBytes(JournalPath(folder), c.journal));
        }
        if (c.fresh) {
            ASSERT_TRUE(WriteBytes(TemporaryName(JournalPath(folder)), c.fresh));
        }
        Journal journal;
        EXPECT_EQ(ReadJournal(folder, journal), c.state);
        if (c.state == JournalState::Pending) {
            EXPECT_EQ(journal.action, c.action);
            // A whole new one alone is moved into place, before anything may replace it.
            EXPECT_EQ(ReadBytes(JournalPath(folder)), c.journal ? c.journal : c.fresh);
        }
    }
    // The new one goes first: left alone it would count.
    EXPECT_TRUE(RemoveJournal(folder));
    EXPECT_FALSE(PathExists(JournalPath(folder)));
    EXPECT_FALSE(PathExists(TemporaryName(JournalPath(folder))));
    RemoveTreeForTest(folder);
}

} // namespace
