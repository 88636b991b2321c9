#include "loaders/boot_state.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ui/app_context.h"
#include "sys/handles.h"
#include "tests/support/debug_log_capture.h"
#include "tests/support/sim_drive.h"

namespace {

// A fresh boot directory under the build tree, with the debug log switched on and pointed into
// a scratch temporary directory beside it.
class BootStateFile : public ::testing::Test {
  protected:
    std::wstring folder =
        BuildDir() + L"\\scratch\\bootstate-" + std::to_wstring(GetCurrentProcessId());
    std::wstring bootDir = folder + L"\\Boot";
    std::wstring tempDir = folder + L"\\temp";
    std::wstring statePath = bootDir + L"\\bootstate.txt";
    DebugLogCapture log{tempDir};

    void SetUp() override {
        ASSERT_TRUE(RemoveTreeForTest(folder));
        ASSERT_TRUE(MakeFolders(bootDir));
        ASSERT_TRUE(MakeFolders(tempDir));
    }
    void TearDown() override { RemoveTreeForTest(folder); }

    std::string Log() const { return log.Text(); }
    static bool HasLogLine(const std::string& log, const std::string& message) {
        return log.find("] " + message + "\r\n") != std::string::npos;
    }
};

// Written independently of the code under test: string search, then the digit run compared as
// text against the largest 32-bit value.
int32_t ReferenceValue(const std::string& bytes, const std::string& key) {
    std::string seen = bytes.substr(0, 255);
    size_t found = seen.find(key + "=");
    if (found == std::string::npos) {
        return -1;
    }
    size_t begin = found + key.size() + 1;
    size_t end = begin;
    while (end < seen.size() && seen[end] >= '0' && seen[end] <= '9') {
        ++end;
    }
    if (end == begin) {
        return -1;
    }
    std::string digits = seen.substr(begin, end - begin);
    digits.erase(0, digits.find_first_not_of('0'));
    if (digits.empty()) {
        return 0;
    }
    if (digits.size() > 10 || (digits.size() == 10 && digits > "2147483647")) {
        return 2147483647;
    }
    return static_cast<int32_t>(std::stoll(digits));
}

int32_t Parse(const std::string& bytes, const char* key) {
    return ParseBootStateValue(bytes.data(), bytes.size(), key);
}

} // namespace

TEST(FormatBootState, WritesTwoLinesWithBareLineFeeds) {
    struct Case {
        int32_t legacy, uefi;
        std::string bytes;
    } cases[] = {
        {2, -1, "legacy=2\nuefi=-1\n"},
        {2, 1, "legacy=2\nuefi=1\n"},
        {-1, -1, "legacy=-1\nuefi=-1\n"},
        {0, 0, "legacy=0\nuefi=0\n"},
        {INT32_MIN, INT32_MAX, "legacy=-2147483648\nuefi=2147483647\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatBootState(c.legacy, c.uefi), c.bytes) << c.legacy << " " << c.uefi;
    }
    EXPECT_EQ(FormatBootState(2, -1).size(), 17u);
    EXPECT_EQ(FormatBootState(2, 1).size(), 16u);
}

TEST(ParseBootStateValue, ReadsTheFirstEntryOfEachKeyLeniently) {
    struct Case {
        std::string content;
        int32_t legacy, uefi;
    } cases[] = {
        {"", -1, -1},
        {"legacy=2\nuefi=-1\n", 2, -1},
        {"legacy=3\r\nuefi=1\r\n", 3, 1},
        {"uefi=0\nlegacy=1", 1, 0},
        {"legacy= 1\nuefi=\t2", -1, -1},
        {"Legacy=1\nUEFI=1\n", -1, -1},
        {"legacy=007abc", 7, -1},
        {"#legacy=1", 1, -1},
        {"legacy=\nlegacy=2\n", -1, -1},
        {"legacy=", -1, -1},
        {"legacy", -1, -1},
        {"legacy=+4\nuefi=2", -1, 2},
        {"legacy=1\xB2"
         "3",
         1, -1},
        {"legacy=12", 12, -1},
        {"uefi=5legacy=6", 6, 5},
        {"x\nlegacy=0\n", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.content));
        EXPECT_EQ(Parse(c.content, "legacy"), c.legacy);
        EXPECT_EQ(Parse(c.content, "uefi"), c.uefi);
    }
}

TEST(ParseBootStateValue, SeesNoByteBeyondTheFirst255) {
    // "legacy=" occupies bytes 249 to 255 (1-based): its equals sign is byte 256.
    std::string late = std::string(249, 'x') + "legacy=5\n";
    EXPECT_EQ(Parse(late, "legacy"), -1);
    // One byte earlier the sign is byte 255 but the digit is byte 256.
    std::string signAtEdge = std::string(248, 'x') + "legacy=5\n";
    EXPECT_EQ(Parse(signAtEdge, "legacy"), -1);
    // Digits on bytes 253 to 258: only 253 to 255 count.
    std::string cut = std::string(245, 'x') + "legacy=123456\n";
    EXPECT_EQ(Parse(cut, "legacy"), 123);
    // A NUL byte is content like any other: it ends a digit run and does not hide what follows.
    std::string withNul = std::string("a\0b", 3) + "uefi=4";
    EXPECT_EQ(Parse(withNul, "uefi"), 4);
}

TEST(ParseBootStateValue, SaturatesRunsBeyondThirtyTwoBits) {
    struct Case {
        std::string content;
        int32_t value;
    } cases[] = {
        {"legacy=2147483647", 2147483647},
        {"legacy=2147483646", 2147483646},
        {"legacy=2147483648", 2147483647},
        {"legacy=4294967297", 2147483647},
        {"legacy=99999999999999999999999999999999", 2147483647},
        {"legacy=000000000000000000002147483647", 2147483647},
        {"legacy=00000000000000000000000000000003", 3},
        {"legacy=214748364", 214748364},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.content, "legacy"), c.value) << c.content;
    }
}

TEST(ParseBootStateValue, AgreesWithAnIndependentReaderOnGeneratedBuffers) {
    const std::vector<std::string> pieces = {
        "legacy=", "uefi=",    "Legacy=", "UEFI=", "legacy =", "legac=", "egacy=",
        "uefi:",   "#legacy=", "legacy",  "=",     "\r\n",     "\n",     "\r",
        " ",       "-",        "-1",      "+",     "\xC3\xA9", "\xFF",   std::string(1, '\0'),
        "abc",     "0"};
    std::mt19937 random(20240611u);
    for (int round = 0; round < 20000; ++round) {
        std::string buffer;
        if (random() % 4 == 0) {
            buffer.assign(230 + random() % 40, random() % 2 ? 'x' : '\x80');
        }
        int count = 1 + random() % 12;
        for (int i = 0; i < count; ++i) {
            buffer += pieces[random() % pieces.size()];
            int digits = random() % 3 == 0 ? 0 : random() % 14;
            if (random() % 10 == 0) {
                digits = 20 + random() % 20;
            }
            for (int d = 0; d < digits; ++d) {
                buffer += static_cast<char>('0' + random() % 10);
            }
        }
        for (const char* key : {"legacy", "uefi"}) {
            ASSERT_EQ(Parse(buffer, key), ReferenceValue(buffer, key))
                << "round " << round << " key " << key;
        }
    }
}

TEST_F(BootStateFile, ReadingAFileAgreesWithTheIndependentReader) {
    std::mt19937 random(77u);
    const char* const heads[] = {"legacy=", "uefi=", "\r\n", "x", "\xE2\x80\x94", "9"};
    for (int round = 0; round < 60; ++round) {
        std::string bytes(random() % 300, 'p');
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (random() % 9 == 0) {
                bytes[i] = static_cast<char>('0' + random() % 10);
            }
        }
        for (int i = 0; i < 4; ++i) {
            size_t at = bytes.empty() ? 0 : random() % (bytes.size() + 1);
            bytes.insert(at, heads[random() % 6]);
        }
        ASSERT_TRUE(WriteBytes(statePath, bytes));
        for (const char* key : {"legacy", "uefi"}) {
            ASSERT_EQ(ReadBootStateValue(statePath, key), ReferenceValue(bytes, key))
                << "round " << round << " key " << key;
        }
    }
}

TEST_F(BootStateFile, ReadingStopsAtThe255thByteOfTheFile) {
    ASSERT_TRUE(WriteBytes(statePath, std::string(249, ' ') + "legacy=5\nuefi=1\n"));
    EXPECT_EQ(ReadBootStateValue(statePath, "legacy"), -1);
    ASSERT_TRUE(WriteBytes(statePath, std::string(245, ' ') + "legacy=123456\n"));
    EXPECT_EQ(ReadBootStateValue(statePath, "legacy"), 123);
    ASSERT_TRUE(WriteBytes(statePath, "uefi=99999999999\n"));
    EXPECT_EQ(ReadBootStateValue(statePath, "uefi"), 2147483647);
}

TEST_F(BootStateFile, MissingOrEmptyFileReadsAsNothingRecorded) {
    EXPECT_EQ(ReadBootStateValue(statePath, "legacy"), -1);
    EXPECT_EQ(ReadBootStateValue(statePath, "uefi"), -1);
    ASSERT_TRUE(WriteBytes(statePath, ""));
    EXPECT_EQ(ReadBootStateValue(statePath, "legacy"), -1);
    EXPECT_EQ(ReadBootStateValue(statePath, "uefi"), -1);
}

TEST_F(BootStateFile, LoadSetsBothFieldsAndLogsThem) {
    AppContext context;
    context.bootDir = bootDir;
    context.status.legacyLoader = 3;
    context.status.uefiLoader = 2;
    context.LoadBootState();
    EXPECT_EQ(context.status.legacyLoader, -1);
    EXPECT_EQ(context.status.uefiLoader, -1);
    EXPECT_TRUE(HasLogLine(Log(), "bootstate loaded: legacy=-1 uefi=-1")) << Log();

    ASSERT_TRUE(WriteBytes(statePath, "uefi=0\nlegacy=1"));
    context.LoadBootState();
    EXPECT_EQ(context.status.legacyLoader, 1);
    EXPECT_EQ(context.status.uefiLoader, 0);
    EXPECT_TRUE(HasLogLine(Log(), "bootstate loaded: legacy=1 uefi=0")) << Log();
}

TEST_F(BootStateFile, SaveWritesExactBytesAndKeepsTheOtherModeFromTheFile) {
    EXPECT_TRUE(SaveBootState(bootDir, 2, -1));
    EXPECT_EQ(ReadBytes(statePath), "legacy=2\nuefi=-1\n");
    EXPECT_TRUE(HasLogLine(Log(), "bootstate: legacy=2 uefi=-1")) << Log();

    SaveBootState(bootDir, -1, 1);
    EXPECT_EQ(ReadBytes(statePath), "legacy=2\nuefi=1\n");
    EXPECT_TRUE(HasLogLine(Log(), "bootstate: legacy=2 uefi=1")) << Log();

    // The window may believe something else; the file's own value is what is kept.
    AppContext context;
    context.bootDir = bootDir;
    context.status.legacyLoader = 3;
    ASSERT_TRUE(WriteBytes(statePath, "legacy=0\n"));
    SaveBootState(context.bootDir, -1, 2);
    EXPECT_EQ(ReadBytes(statePath), "legacy=0\nuefi=2\n");
    EXPECT_EQ(context.status.legacyLoader, 3);

    ASSERT_TRUE(WriteBytes(statePath, "legacy=-1\nuefi=0\n"));
    SaveBootState(bootDir, -1, 1);
    EXPECT_EQ(ReadBytes(statePath), "legacy=-1\nuefi=1\n");
}

TEST_F(BootStateFile, SaveDropsHandWrittenTextAroundTheEntries) {
    ASSERT_TRUE(WriteBytes(statePath, "# drive of Anna\r\nuefi=1\r\nlegacy=3\r\nextra=5\r\n"));
    SaveBootState(bootDir, -1, 0);
    EXPECT_EQ(ReadBytes(statePath), "legacy=3\nuefi=0\n");
    ASSERT_TRUE(WriteBytes(statePath, std::string(300, 'z') + "legacy=1\n"));
    SaveBootState(bootDir, 2, -1);
    EXPECT_EQ(ReadBytes(statePath), "legacy=2\nuefi=-1\n");
}

TEST_F(BootStateFile, FileThatCannotBeReplacedKeepsItsContentAndIsLogged) {
    const std::string old = "legacy=1\nuefi=1\n";
    ASSERT_TRUE(WriteBytes(statePath, old));
    ASSERT_TRUE(SetFileAttributesW(statePath.c_str(), FILE_ATTRIBUTE_READONLY));
    // Run as root, Wine lets a read-only file be rewritten; the host then protects it instead.
    bool immutable = false;
    if (FileHandle(CreateFileW(statePath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr))
            .Valid()) {
        immutable = RunHostCommand("chattr +i '" + UnixPath(statePath) + "'");
    }
    bool writable = FileHandle(CreateFileW(statePath.c_str(), GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
                        .Valid();
    if (!writable) {
        EXPECT_FALSE(SaveBootState(bootDir, 2, -1));
    }
    if (immutable) {
        RunHostCommand("chattr -i '" + UnixPath(statePath) + "'");
    }
    SetFileAttributesW(statePath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_FALSE(writable) << "the file could not be protected against writing";
    EXPECT_EQ(ReadBytes(statePath), old);
    std::string log = Log();
    std::string path(statePath.begin(), statePath.end());
    EXPECT_TRUE(HasLogLine(log, "bootstate: cannot write " + path)) << log;
    EXPECT_EQ(log.find("bootstate: legacy="), std::string::npos) << log;
}

TEST_F(BootStateFile, FolderInThePlaceOfTheFileIsLeftAlone) {
    ASSERT_TRUE(MakeFolders(statePath));
    ASSERT_TRUE(WriteBytes(statePath + L"\\keep", "k"));
    EXPECT_FALSE(SaveBootState(bootDir, 0, 0));
    EXPECT_TRUE(IsFolder(statePath));
    EXPECT_EQ(ReadBytes(statePath + L"\\keep"), "k");
    std::string path(statePath.begin(), statePath.end());
    EXPECT_TRUE(HasLogLine(Log(), "bootstate: cannot write " + path)) << Log();
}

TEST_F(BootStateFile, FileHeldOpenByAnotherWriterIsNotReplaced) {
    const std::string old = "legacy=0\nuefi=2\n";
    ASSERT_TRUE(WriteBytes(statePath, old));
    FileHandle holder(CreateFileW(statePath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.Valid());
    EXPECT_EQ(ReadBootStateValue(statePath, "legacy"), -1);
    EXPECT_FALSE(SaveBootState(bootDir, 3, 1));
    holder.Reset();
    EXPECT_EQ(ReadBytes(statePath), old);
    std::string path(statePath.begin(), statePath.end());
    EXPECT_TRUE(HasLogLine(Log(), "bootstate: cannot write " + path)) << Log();
}
