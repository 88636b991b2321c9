#include "sys/physical_drive.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "sys/process.h"
#include "sys/test_disk_number.h"
#include "tests/support/sim_drive.h"

namespace {

DiskExtentsAnswer Answer(DWORD count, DWORD firstDisk, DWORD secondDisk = 0) {
    DiskExtentsAnswer answer{};
    answer.head.NumberOfDiskExtents = count;
    answer.head.Extents[0].DiskNumber = firstDisk;
    answer.head.Extents[0].ExtentLength.QuadPart = 1 << 20;
    answer.more[0].DiskNumber = secondDisk;
    return answer;
}

TEST(DiskNumberFromExtents, NeedsASuccessfulAnswerWithAWholeExtent) {
    struct Case {
        bool succeeded;
        DWORD bytes;
        DiskExtentsAnswer answer;
        int disk;
    };
    const Case cases[] = {
        {true, 32, Answer(1, 2), 2},
        {true, 32, Answer(1, 0), 0},
        {true, 416, Answer(1, 7), 7},
        // A volume over several disks counts for the disk of its first extent.
        {true, 56, Answer(2, 3, 1), 3},
        {false, 32, Answer(1, 2), -1},
        {true, 31, Answer(1, 2), -1},
        {true, 8, Answer(1, 2), -1},
        {true, 0, Answer(1, 2), -1},
        {true, 32, Answer(0, 2), -1},
        {true, 32, Answer(1, 0x80000000u), -1},
        {true, 32, Answer(1, INT_MAX), INT_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DiskNumberFromExtents(c.succeeded, c.bytes, c.answer), c.disk)
            << "succeeded=" << c.succeeded << " bytes=" << c.bytes
            << " count=" << c.answer.head.NumberOfDiskExtents;
    }
}

wchar_t UnusedDriveLetter() {
    const DWORD drives = GetLogicalDrives();
    for (wchar_t c = L'Y'; c >= L'D'; --c) {
        if (!(drives & (1u << (c - L'A')))) {
            return c;
        }
    }
    return 0;
}

TEST(GetPhysicalDriveNumber, FailsForLettersWithoutADiskVolume) {
    const wchar_t unused = UnusedDriveLetter();
    ASSERT_NE(unused, 0);
    EXPECT_EQ(GetPhysicalDriveNumber(unused), -1);
    EXPECT_EQ(GetPhysicalDriveNumber(static_cast<wchar_t>(unused + (L'a' - L'A'))), -1);
    EXPECT_EQ(GetPhysicalDriveNumber(L'?'), -1);
    EXPECT_EQ(GetPhysicalDriveNumber(L'\0'), -1);
}

// Under Wine a drive letter is a link to a folder and has no disk behind it.
TEST(GetPhysicalDriveNumber, ASimulatedDriveHasNoDiskAndCaseDoesNotMatter) {
    SimDrive drive;
    ASSERT_TRUE(drive.Map(L'M', L"sys-physical-drive"));
    const int upper = GetPhysicalDriveNumber(L'M');
    EXPECT_EQ(upper, -1);
    EXPECT_EQ(GetPhysicalDriveNumber(L'm'), upper);
}

TEST(ParseTestDiskNumber, AcceptsPlainDecimalWithinIntOnly) {
    const std::pair<const wchar_t*, int> accepted[] = {
        {L"0", 0}, {L"2", 2}, {L"007", 7}, {L"17", 17}, {L"2147483647", INT_MAX}};
    for (const auto& [text, disk] : accepted) {
        EXPECT_EQ(ParseTestDiskNumber(text), disk) << testing::PrintToString(std::wstring(text));
    }
    // Beyond int, or not plain decimal (the last is ARABIC-INDIC DIGIT THREE).
    for (const wchar_t* text : {L"2147483648", L"99999999999999999999999", L"", L"2x", L"x2", L"-3",
                                L"-0", L"+3", L" 2", L"2 ", L"0x10", L"1.0", L"\x0663"}) {
        EXPECT_EQ(ParseTestDiskNumber(text), -1) << testing::PrintToString(std::wstring(text));
    }
}

TEST(TestDiskNumber, OneNumberSparesTheWindowsDriveAndAListNamesEachLetter) {
    struct Case {
        const wchar_t* value;
        wchar_t letter;
        int disk;
    };
    const Case cases[] = {
        {L"3", L'E', 3},           {L"3", L'C', -1}, // the Windows directory's drive
        {L"3", L'c', -1},          {L"x", L'E', -1},          {L"C=0,E=1,F=1", L'E', 1},
        {L"C=0,E=1,F=1", L'C', 0}, {L"C=0,E=1,F=1", L'F', 1}, {L"C=0,E=1,F=1", L'D', -1},
        {L"c=0,e=1", L'E', 1},     {L"C=0,E=1", L'e', 1},     {L"E=12", L'E', 12},
        {L"E=1,E=2", L'E', 1},     {L"C=0,E=1,", L'E', -1},   {L"C=0,,E=1", L'E', -1},
        {L"C=0, E=1", L'E', -1},   {L"C=0,E=-1", L'C', -1},   {L"C=0,E=", L'C', -1},
        {L"C=0,EF=1", L'C', -1},   {L"C=0,1=1", L'C', -1},    {L"C=0,E:1", L'C', -1},
        {L"=1", L'E', -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TestDiskNumber(c.value, c.letter, L'C'), c.disk)
            << testing::PrintToString(std::wstring(c.value)) << " " << static_cast<char>(c.letter);
    }
}

// The test build's disk query, run in a child so the real one stays linked here. Wine's Windows
// directory lies on C:.
TEST(TestBuildDiskNumber, AnswersFromTheEnvironment) {
    const wchar_t* const name = L"QUILLMERE_TEST_PHYSICAL_DRIVE";
    struct Case {
        const wchar_t* value;
        const wchar_t* letter;
        int disk;
    };
    const Case cases[] = {
        {nullptr, L"E", -1},   {L"", L"E", -1},       {L"2", L"E", 2},        {L"0", L"E", 0},
        {L"2x", L"E", -1},     {L"-3", L"E", -1},     {L"12", L"E", 12},      {L"12", L"C", -1},
        {L"C=4,E=5", L"C", 4}, {L"C=4,E=5", L"e", 5}, {L"C=4,E=5", L"F", -1},
    };
    for (const Case& c : cases) {
        SetEnvironmentVariableW(name, c.value);
        const std::wstring command = L"\"" + HelperPath(L"childproc") + L"\" testdisk " + c.letter;
        EXPECT_EQ(RunProcessAndWait(command), c.disk)
            << testing::PrintToString(std::wstring(c.value ? c.value : L"(unset)")) << " "
            << testing::PrintToString(std::wstring(c.letter));
    }
    SetEnvironmentVariableW(name, nullptr);
}

} // namespace
