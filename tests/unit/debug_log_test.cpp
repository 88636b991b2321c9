#include "sys/debug_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sys/handles.h"
#include "sys/process.h"
#include "tests/support/debug_log_capture.h"
#include "tests/support/sim_drive.h"

namespace {

const wchar_t* const Switch = L"TELVORN_DEBUG_LOG";

std::string Utf8(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes,
                        nullptr, nullptr);
    return out;
}

std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(content.substr(start, end - start));
    }
    EXPECT_EQ(start, content.size()) << "text after the last CR LF";
    return lines;
}

bool IsDigits(const std::string& text, size_t from, size_t count) {
    if (from + count > text.size()) {
        return false;
    }
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

// "HH:MM:SS.mmm [tid] message": checks the stamp and returns the thread id and the message.
bool ParseLine(const std::string& line, unsigned long& threadId, std::string& message) {
    if (!IsDigits(line, 0, 2) || line[2] != ':' || !IsDigits(line, 3, 2) || line[5] != ':' ||
        !IsDigits(line, 6, 2) || line[8] != '.' || !IsDigits(line, 9, 3) ||
        line.compare(12, 2, " [") != 0) {
        return false;
    }
    if (std::stoi(line.substr(0, 2)) > 23 || std::stoi(line.substr(3, 2)) > 59 ||
        std::stoi(line.substr(6, 2)) > 59) {
        return false;
    }
    const size_t close = line.find("] ", 14);
    if (close == std::string::npos || close == 14 || !IsDigits(line, 14, close - 14)) {
        return false;
    }
    threadId = std::stoul(line.substr(14, close - 14));
    message = line.substr(close + 2);
    return true;
}

// The messages of the lines in `content`, each checked for its stamp and, unless 0, its thread.
std::vector<std::string> MessagesIn(const std::string& content, unsigned long expectedThread) {
    std::vector<std::string> messages;
    for (const std::string& line : SplitLines(content)) {
        unsigned long thread = 0;
        std::string message;
        EXPECT_TRUE(ParseLine(line, thread, message)) << line;
        if (expectedThread != 0) {
            EXPECT_EQ(thread, expectedThread);
        }
        messages.push_back(message);
    }
    return messages;
}

// The log captured in a scratch folder of its own.
class DebugLogFile : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(RemoveTreeForTest(scratch));
        ASSERT_TRUE(MakeFolders(scratch));
        ASSERT_EQ(DebugLogFilePath(), logPath);
    }
    std::string Content() const { return ReadBytes(logPath); }
    std::vector<std::string> Messages(unsigned long expectedThread) const {
        return MessagesIn(Content(), expectedThread);
    }

    std::wstring scratch = BuildDir() + L"\\scratch\\sys-debug-log";
    DebugLogCapture log{scratch};
    std::wstring logPath = log.Path();
};

TEST_F(DebugLogFile, OffWhenTheSwitchIsUnsetOrEmpty) {
    for (const wchar_t* value : {static_cast<const wchar_t*>(nullptr), L""}) {
        SetEnvironmentVariableW(Switch, value);
        DebugLog(L"must not appear %d", 1);
        EXPECT_FALSE(PathExists(logPath));
    }
    // An existing log is not touched either.
    ASSERT_TRUE(WriteBytes(logPath, "earlier\r\n"));
    SetEnvironmentVariableW(Switch, nullptr);
    DebugLog(L"must not appear %ls", L"either");
    EXPECT_EQ(Content(), "earlier\r\n");
}

TEST_F(DebugLogFile, AnyNonEmptyValueSwitchesItOn) {
    const wchar_t* values[] = {L"1",
                               L"0",
                               L"false",
                               L"off",
                               L"1234567",
                               L"12345678",
                               L"a value far longer than the eight-character buffer"};
    std::vector<std::string> expected;
    for (const wchar_t* value : values) {
        SetEnvironmentVariableW(Switch, value);
        DebugLog(L"switch=%ls", value);
        expected.push_back(Utf8(std::wstring(L"switch=") + value));
    }
    EXPECT_EQ(Messages(GetCurrentThreadId()), expected);
}

TEST_F(DebugLogFile, LinesAreStampedWithTimeAndThreadAndAppendInOrder) {
    DebugLog(L"RunAction index=%d disk=%ls physical=%d", 3, L"E:", -1);
    DebugLog(L"bootstate loaded: legacy=%d uefi=%d", 1, 2);
    DebugLog(L"no arguments at all");
    const std::vector<std::string> expected = {"RunAction index=3 disk=E: physical=-1",
                                               "bootstate loaded: legacy=1 uefi=2",
                                               "no arguments at all"};
    EXPECT_EQ(Messages(GetCurrentThreadId()), expected);
}

TEST_F(DebugLogFile, CyrillicIsStoredAsUtf8WithoutByteOrderMark) {
    DebugLog(L"cleanup: removed %ls", L"E:\\Папка Android");
    const std::string content = Content();
    ASSERT_FALSE(content.empty());
    EXPECT_TRUE(IsDigits(content, 0, 2)) << "the file starts with the first line's stamp";
    EXPECT_EQ(Messages(GetCurrentThreadId()),
              std::vector<std::string>{"cleanup: removed E:\\\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA"
                                       "\xD0\xB0 Android"});
}

TEST_F(DebugLogFile, MessagesAreCutToTheirFirst4095Characters) {
    const std::pair<size_t, size_t> cases[] = {
        {4094, 4094}, {4095, 4095}, {4096, 4095}, {9000, 4095}};
    std::vector<std::string> expected;
    for (const auto& [length, kept] : cases) {
        std::wstring message(length, L'x');
        for (size_t i = 0; i < length; i += 100) {
            message[i] = static_cast<wchar_t>(L'a' + (i / 100) % 26);
        }
        DebugLog(L"%ls", message.c_str());
        expected.push_back(Utf8(message.substr(0, kept)));
    }
    EXPECT_EQ(Messages(GetCurrentThreadId()), expected);
}

TEST_F(DebugLogFile, AnUnopenableLogDropsTheLineSilently) {
    ASSERT_TRUE(CreateDirectoryW(logPath.c_str(), nullptr));
    DebugLog(L"dropped");
    EXPECT_TRUE(IsFolder(logPath));
    EXPECT_TRUE(RemoveDirectoryW(logPath.c_str())) << "something was written into the folder";

    // A reader holding the file open does not keep lines out.
    ASSERT_TRUE(WriteBytes(logPath, "kept\r\n"));
    FileHandle viewer(CreateFileW(logPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(viewer.Valid());
    DebugLog(L"while viewed");
    const std::string content = Content();
    EXPECT_EQ(content.substr(0, 6), "kept\r\n");
    EXPECT_EQ(content.substr(content.size() - 16), "] while viewed\r\n");
}

TEST_F(DebugLogFile, TheLongestTemporaryPathThatFitsIsUsed) {
    // 258 characters: with its trailing backslash the answer just fits 260 characters.
    std::wstring deep = scratch + L"\\";
    while (deep.size() < 258) {
        deep += L'd';
    }
    ASSERT_TRUE(MakeFolders(deep));
    SetEnvironmentVariableW(L"TMP", deep.c_str());
    SetEnvironmentVariableW(L"TEMP", deep.c_str());
    EXPECT_EQ(DebugLogFilePath(), deep + L"\\quillmere_cpp_debug.log");
    DebugLog(L"deep");
    EXPECT_NE(ReadBytes(deep + L"\\quillmere_cpp_debug.log").find("] deep\r\n"), std::string::npos);
}

TEST_F(DebugLogFile, WithoutATemporaryDirectoryTheLogGoesToTheCurrentDirectory) {
    std::wstring tooLong = scratch;
    while (tooLong.size() < 400) {
        tooLong += L"\\longer";
    }
    SetEnvironmentVariableW(L"TMP", tooLong.c_str());
    SetEnvironmentVariableW(L"TEMP", tooLong.c_str());
    wchar_t probe[MAX_PATH] = {};
    const DWORD reported = GetTempPathW(MAX_PATH, probe);
    const std::wstring here = scratch + L"\\current";
    ASSERT_TRUE(MakeFolders(here));
    wchar_t saved[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(here.c_str()));
    const std::wstring path = DebugLogFilePath();
    DebugLog(L"nowhere else");
    SetCurrentDirectoryW(saved);
    if (reported == 0) {
        EXPECT_EQ(path, L"quillmere_cpp_debug.log");
        EXPECT_NE(ReadBytes(here + L"\\quillmere_cpp_debug.log").find("] nowhere else\r\n"),
                  std::string::npos);
    } else {
        // Windows reports the length it needs; the log still belongs in that directory.
        EXPECT_GT(reported, static_cast<DWORD>(MAX_PATH));
        EXPECT_EQ(path, tooLong + L"\\quillmere_cpp_debug.log");
    }
}

TEST_F(DebugLogFile, AnotherProcessAppendsBelowTheLinesOfThisOne) {
    ASSERT_TRUE(WriteBytes(logPath, "earlier run\r\n"));
    DebugLog(L"this run");
    const std::wstring child = L"\"" + HelperPath(L"childproc") + L"\" log ";
    ASSERT_EQ(RunProcessAndWait(child + L"\"next run\" 2"), 0);
    ASSERT_EQ(RunProcessAndWait(child + L"\"Загрузчик изменён\""), 0);
    DebugLog(L"this run again");
    const std::string content = Content();
    ASSERT_EQ(content.substr(0, 13), "earlier run\r\n");
    EXPECT_EQ(MessagesIn(content.substr(13), 0),
              (std::vector<std::string>{"this run", "next run", "next run",
                                        Utf8(L"Загрузчик изменён"), "this run again"}));
}

TEST(DebugLogLine, HasTheFixedStampLayout) {
    EXPECT_EQ(DebugLogLine(9, 5, 3, 7, 4242, L"WM_CLOSE busy=1"),
              L"09:05:03.007 [4242] WM_CLOSE busy=1\r\n");
    EXPECT_EQ(DebugLogLine(23, 59, 59, 999, 4294967295ul, L""), L"23:59:59.999 [4294967295] \r\n");
    EXPECT_EQ(DebugLogLine(0, 0, 0, 0, 1, L"100% готово"), L"00:00:00.000 [1] 100% готово\r\n");
}

TEST(FormatWideString, TakesWideStringsAndReturnsTheExactLength) {
    EXPECT_EQ(FormatWideString(L"[%ls]", L"wide"), L"[wide]");
    EXPECT_EQ(FormatWideString(L"%ls|%ls", L"Загрузчик изменён: ", L"Bootmgr"),
              L"Загрузчик изменён: |Bootmgr");
    EXPECT_EQ(FormatWideString(L"%d %lu %03d %02d", -5, 4000000000ul, 7, 42),
              L"-5 4000000000 007 42");
    EXPECT_EQ(FormatWideString(L""), L"");
    EXPECT_EQ(FormatWideString(L"100%%"), L"100%");

    const std::wstring text = FormatWideString(L"%ls", L"abc");
    EXPECT_EQ(text.size(), 3u);
    EXPECT_EQ(wcslen(text.c_str()), 3u);

    // No cut for long results: only DebugLog limits its messages.
    const std::wstring longText(10000, L'ж');
    EXPECT_EQ(FormatWideString(L"<%ls>", longText.c_str()), L"<" + longText + L">");
}

} // namespace
