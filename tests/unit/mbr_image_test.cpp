#include "tests/helpers/mbr_image.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "loaders/command_lines.h"
#include "tests/support/sim_drive.h"

namespace {

struct Entry {
    uint8_t flag;
    uint8_t type;
    uint32_t start;
    uint32_t count;
};

// Sectors 0 and 1 of a disk: old loader code, signature 0xDEC0ADDE, the four slots, 55 AA.
std::string DiskHead(std::initializer_list<std::pair<int, Entry>> slots, bool gptHeader = false) {
    std::string head(1024, '\0');
    for (size_t i = 0; i < 440; ++i) {
        head[i] = static_cast<char>(0xC3);
    }
    PutLittleEndian(head, 440, 0xDEC0ADDE);
    for (const auto& slot : slots) {
        size_t entry = 446 + 16 * static_cast<size_t>(slot.first);
        head[entry] = static_cast<char>(slot.second.flag);
        head[entry + 1] = '\x20'; // CHS start, never read
        head[entry + 4] = static_cast<char>(slot.second.type);
        PutLittleEndian(head, entry + 8, slot.second.start);
        PutLittleEndian(head, entry + 12, slot.second.count);
    }
    head[510] = '\x55';
    head[511] = '\xAA';
    if (gptHeader) {
        head.replace(512, 8, "EFI PART");
    }
    return head;
}

TEST(MbrBootImage, AcceptsOnlyAGrubImageSetForSectorOne) {
    struct Case {
        const char* name;
        size_t offset;
        char value;
        size_t size;
        int expected;
    } cases[] = {
        {"as built", 0, '\xEB', 512, mbr::Written},
        {"one byte short", 0, '\xEB', 511, mbr::NotGrubBootImage},
        {"one byte long", 0, '\xEB', 513, mbr::NotGrubBootImage},
        {"other jump", 1, '\x3C', 512, mbr::NotGrubBootImage},
        {"no nop after the jump", 2, '\x00', 512, mbr::NotGrubBootImage},
        {"core image at sector 2", 0x5C, '\x02', 512, mbr::NotGrubBootImage},
        {"core image sector with a high byte", 0x63, '\x01', 512, mbr::NotGrubBootImage},
        {"fixed boot drive", 0x64, '\x80', 512, mbr::NotGrubBootImage},
        {"unchecked byte changed", 0x65, '\x00', 512, mbr::Written},
    };
    for (const Case& c : cases) {
        std::string boot = GrubBootImage();
        boot[c.offset] = c.value;
        boot.resize(c.size, '\0');
        EXPECT_EQ(mbr::CheckBootImage(boot), c.expected) << c.name;
    }
    EXPECT_EQ(mbr::CheckBootImage(""), mbr::NotGrubBootImage);
}

TEST(MbrCoreImage, MustFillOneToTheSectorsBeforeTheFirstPartition) {
    EXPECT_EQ(mbr::CheckCoreImageSize(0), mbr::CoreImageUnfit);
    EXPECT_EQ(mbr::CheckCoreImageSize(511), mbr::CoreImageUnfit);
    EXPECT_EQ(mbr::CheckCoreImageSize(512), mbr::Written);
    EXPECT_EQ(mbr::CheckCoreImageSize(591 * 512), mbr::Written);
    EXPECT_EQ(mbr::CheckCoreImageSize(591 * 512 + 1), mbr::CoreImageUnfit);
    EXPECT_EQ(mbr::CheckCoreImageSize(1u << 20), mbr::CoreImageUnfit);
}

TEST(MbrDiskHead, JudgesEveryLayoutByItsLowestStartAndItsKind) {
    struct Case {
        const char* name;
        std::string head;
        int expected;
    } cases[] = {
        {"one partition at 2048", DiskHead({{0, {0x80, 0x0C, 2048, 100000}}}), mbr::Written},
        {"first free sector exactly", DiskHead({{0, {0x00, 0x07, 592, 100}}}), mbr::Written},
        {"one sector too low", DiskHead({{0, {0x80, 0x07, 591, 100}}}), mbr::NoRoomForCore},
        {"lowest start in a later slot",
         DiskHead({{0, {0x80, 0x0C, 4096, 10}}, {3, {0x00, 0x07, 63, 10}}}), mbr::NoRoomForCore},
        {"slots out of order, all high",
         DiskHead({{0, {0x80, 0x0C, 8192, 10}},
                   {1, {0x00, 0x07, 2048, 10}},
                   {2, {0x00, 0x0F, 16384, 10}}}),
         mbr::Written},
        {"low extended partition",
         DiskHead({{0, {0x80, 0x0C, 2048, 10}}, {1, {0x00, 0x05, 100, 10}}}), mbr::NoRoomForCore},
        {"only the last slot used", DiskHead({{3, {0x00, 0x83, 2048, 10}}}), mbr::Written},
        {"start 0", DiskHead({{0, {0x80, 0x07, 0, 100}}}), mbr::NoRoomForCore},
        {"no partition table", DiskHead({}), mbr::NoRoomForCore},
        {"a typeless entry still occupies", DiskHead({{1, {0x00, 0x00, 63, 10}}}),
         mbr::NoRoomForCore},
        {"protective GPT entry", DiskHead({{0, {0x00, 0xEE, 1, 0xFFFFFFFF}}}), mbr::GptDisk},
        {"GPT entry in the last slot",
         DiskHead({{0, {0x80, 0x0C, 2048, 10}}, {3, {0x00, 0xEE, 4096, 10}}}), mbr::GptDisk},
        {"GPT header behind a valid table", DiskHead({{0, {0x80, 0x0C, 2048, 10}}}, true),
         mbr::GptDisk},
        {"boot flag 01", DiskHead({{0, {0x01, 0x0C, 2048, 10}}}), mbr::NoValidMbr},
        {"boot flag 81", DiskHead({{0, {0x81, 0x0C, 2048, 10}}}), mbr::NoValidMbr},
        {"stray flag in an empty slot",
         DiskHead({{0, {0x80, 0x0C, 2048, 10}}, {2, {0x7F, 0x00, 0, 0}}}), mbr::NoValidMbr},
        {"short read", DiskHead({{0, {0x80, 0x0C, 2048, 10}}}).substr(0, 1023),
         mbr::DiskUnreadable},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mbr::CheckDiskHead(c.head), c.expected) << c.name;
    }
    std::string unsigned0 = DiskHead({{0, {0x80, 0x0C, 2048, 10}}});
    for (int which : {510, 511}) {
        std::string head = unsigned0;
        head[which] = '\0';
        EXPECT_EQ(mbr::CheckDiskHead(head), mbr::NoValidMbr) << which;
    }
}

TEST(MbrDiskHead, ASignatureFaultWinsOverGptAndGptOverRoom) {
    std::string gpt = DiskHead({{0, {0x00, 0xEE, 1, 100}}});
    gpt[511] = '\0';
    EXPECT_EQ(mbr::CheckDiskHead(gpt), mbr::NoValidMbr);
    // The protective entry starts at sector 1, which alone would be a lack of room.
    EXPECT_EQ(mbr::CheckDiskHead(DiskHead({{0, {0x00, 0xEE, 1, 100}}})), mbr::GptDisk);
}

TEST(MbrImage, KeepsTheDiskTableAndSignatureUnderTheBootCode) {
    const std::string boot = GrubBootImage();
    const std::string layouts[] = {
        DiskHead({{0, {0x80, 0x0C, 2048, 100000}}}),
        DiskHead({{0, {0x00, 0x07, 592, 7}}, {2, {0x80, 0x0F, 9000, 70}}}),
    };
    for (const std::string& head : layouts) {
        ASSERT_EQ(mbr::CheckDiskHead(head), mbr::Written);
        std::string image = mbr::ComposeMbrImage(boot, head);
        ASSERT_EQ(image.size(), 512u);
        EXPECT_EQ(image.substr(0, 0x66), boot.substr(0, 0x66));
        EXPECT_EQ(image.substr(0x66, 2), "\x90\x90");
        EXPECT_EQ(image.substr(0x68, 440 - 0x68), boot.substr(0x68, 440 - 0x68));
        EXPECT_EQ(image.substr(440, 4), "\xDE\xAD\xC0\xDE");
        EXPECT_EQ(image.substr(446, 64), head.substr(446, 64));
        EXPECT_EQ(image.substr(510, 2), "\x55\xAA");
        EXPECT_NE(image.substr(440), boot.substr(440));
    }
}

// The source tree as Wine sees it.
std::wstring SourcePath(const std::wstring& relative) {
    std::wstring path = L"Z:";
    for (const char* c = QUILLMERE_SOURCE_DIR; *c; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return path + relative;
}

const wchar_t* const ShippedScript = L"\\loaders\\grub2-bios\\make-telvorn-mbr.ps1";

// The script keeps its numbers in lines "$Name = value" that the stand-in must share.
TEST(MbrScript, NamesTheStandInsExitCodesAndBounds) {
    const std::string text = ReadBytes(SourcePath(ShippedScript));
    ASSERT_FALSE(text.empty());
    const std::pair<const char*, uint64_t> facts[] = {
        {"SectorSize", mbr::SectorSize},
        {"CoreImageSectors", mbr::CoreImageSectors},
        {"FirstFreeSector", mbr::FirstFreeSector},
        {"KernelSectorOffset", mbr::KernelSectorOffset},
        {"BootDriveOffset", mbr::BootDriveOffset},
        {"DriveCheckOffset", mbr::DriveCheckOffset},
        {"BootCodeBytes", mbr::BootCodeBytes},
        {"PartitionTableOffset", mbr::PartitionTableOffset},
        {"Written", mbr::Written},
        {"BadArguments", mbr::BadArguments},
        {"NotGrubBootImage", mbr::NotGrubBootImage},
        {"CoreImageUnfit", mbr::CoreImageUnfit},
        {"WrongDisk", mbr::WrongDisk},
        {"DiskUnreadable", mbr::DiskUnreadable},
        {"NoValidMbr", mbr::NoValidMbr},
        {"GptDisk", mbr::GptDisk},
        {"NoRoomForCore", mbr::NoRoomForCore},
        {"OutputNotWritten", mbr::OutputNotWritten},
        {"DiskInfoUnavailable", mbr::DiskInfoUnavailable},
        {"DiskReaderUnbuilt", mbr::DiskReaderUnbuilt},
    };
    for (const auto& [name, value] : facts) {
        const std::string head = "\n$" + std::string(name) + " = ";
        const size_t at = text.find(head);
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_EQ(std::stoull(text.substr(at + head.size()), nullptr, 0), value) << name;
        EXPECT_EQ(text.find(head, at + 1), std::string::npos) << name << " is set twice";
    }
    // The program and the stand-in agree on the sectors the core write covers.
    EXPECT_EQ(static_cast<uint64_t>(CoreImageSectors), mbr::CoreImageSectors);
    EXPECT_EQ(SectorBytes, mbr::SectorSize);
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (char c : bytes) {
        hex += digits[static_cast<uint8_t>(c) >> 4];
        hex += digits[static_cast<uint8_t>(c) & 15];
    }
    return hex;
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// The shipped script's own functions, run by PowerShell 7 on the host. PowerShell 7 is not
// Windows PowerShell 5.1 (its FileStream does take device paths), so this proves the syntax and
// the byte rules, not the read of a real disk.
TEST(MbrScript, ItsOwnRulesUnderPowerShellAgreeWithTheStandIn) {
    wchar_t pwsh[1024] = {};
    if (GetEnvironmentVariableW(L"QUILLMERE_PWSH", pwsh, 1024) == 0) {
        GTEST_SKIP() << "no PowerShell 7 (installed by scripts/test.sh through dotnet, absent "
                        "here): the MBR script's own rules were not run";
    }
    const std::string grubBoot = ReadBytes(L"Z:\\usr\\lib\\grub\\i386-pc\\boot.img");
    ASSERT_EQ(grubBoot.size(), 512u) << "GRUB's boot.img (Debian grub-pc-bin) is missing";
    ASSERT_EQ(mbr::CheckBootImage(grubBoot), mbr::Written);

    const std::wstring dir = BuildDir() + L"\\scratch\\mbr-script";
    ASSERT_TRUE(MakeFolders(dir));
    std::ostringstream cases;
    std::map<std::string, std::string> expected;
    auto file = [&](const std::string& name, const std::string& bytes) {
        const std::wstring path = dir + L"\\" + std::wstring(name.begin(), name.end());
        EXPECT_TRUE(WriteBytes(path, bytes));
        return UnixPath(path);
    };

    std::string boot = grubBoot;
    const std::pair<const char*, std::string> boots[] = {
        {"boot as built", grubBoot},
        {"boot one byte short", grubBoot.substr(0, 511)},
        {"boot other jump", std::string(boot).replace(1, 1, "\x3C")},
        {"boot core at sector 2", std::string(boot).replace(mbr::KernelSectorOffset, 1, "\x02")},
        {"boot high kernel byte",
         std::string(boot).replace(mbr::KernelSectorOffset + 7, 1, "\x01")},
        {"boot fixed drive", std::string(boot).replace(mbr::BootDriveOffset, 1, "\x80")},
    };
    int n = 0;
    for (const auto& [name, bytes] : boots) {
        cases << "boot|" << name << "|" << file("boot" + std::to_string(n++) + ".img", bytes)
              << "\n";
        expected[name] = std::to_string(mbr::CheckBootImage(bytes));
    }
    for (uint64_t length : {0ull, 511ull, 512ull, 591ull * 512, 591ull * 512 + 1}) {
        const std::string name = "core " + std::to_string(length);
        cases << "core|" << name << "|" << length << "\n";
        expected[name] = std::to_string(mbr::CheckCoreImageSize(length));
    }
    const int64_t choices[][3] = {{3, 3, -1}, {3, -1, -1}, {3, 4, -1}, {3, 3, 3}, {0, 0, 1}};
    for (const auto& c : choices) {
        const std::string name = "choice " + std::to_string(c[0]) + "," + std::to_string(c[1]) +
                                 "," + std::to_string(c[2]);
        cases << "choice|" << name << "|" << c[0] << "," << c[1] << "," << c[2] << "\n";
        expected[name] = std::to_string(mbr::CheckDiskChoice(c[0], c[1], c[2]));
    }
    for (int system : {0, 1}) {
        for (int winPe : {0, 1}) {
            const std::string name = "flag " + std::to_string(system) + "," + std::to_string(winPe);
            cases << "flag|" << name << "|" << system << "," << winPe << "\n";
            expected[name] = std::to_string(mbr::CheckSystemFlag(system, winPe));
        }
    }
    // An empty WMI answer that PowerShell 2.0 walks once, as $null: no disk, not disk 0.
    cases << "index|index of an empty answer|1\n";
    expected["index of an empty answer"] = "-1";
    std::string unsigned0 = DiskHead({{0, {0x80, 0x0C, 2048, 10}}});
    unsigned0[511] = '\0';
    const std::pair<const char*, std::string> heads[] = {
        {"head accepted", DiskHead({{0, {0x80, 0x0C, 2048, 100000}}})},
        {"head two partitions", DiskHead({{0, {0x00, 0x07, 592, 7}}, {2, {0x80, 0x0F, 9000, 70}}})},
        {"head one sector too low", DiskHead({{0, {0x80, 0x07, 591, 100}}})},
        {"head low later slot", DiskHead({{0, {0x80, 0x0C, 4096, 10}}, {3, {0x00, 0x07, 63, 10}}})},
        {"head no table", DiskHead({})},
        {"head GPT entry", DiskHead({{0, {0x00, 0xEE, 1, 0xFFFFFFFF}}})},
        {"head GPT header", DiskHead({{0, {0x80, 0x0C, 2048, 10}}}, true)},
        {"head no signature", unsigned0},
        {"head bad flag", DiskHead({{0, {0x81, 0x0C, 2048, 10}}})},
        {"head short", DiskHead({{0, {0x80, 0x0C, 2048, 10}}}).substr(0, 1023)},
    };
    n = 0;
    const std::string bootFile = file("grub-boot.img", grubBoot);
    for (const auto& [name, bytes] : heads) {
        const std::string headFile = file("head" + std::to_string(n++) + ".bin", bytes);
        cases << "head|" << name << "|" << headFile << "\n";
        expected[name] = std::to_string(mbr::CheckDiskHead(bytes));
        if (mbr::CheckDiskHead(bytes) == mbr::Written) {
            const std::string imageName = std::string(name) + " image";
            cases << "image|" << imageName << "|" << bootFile << "|" << headFile << "\n";
            expected[imageName] = Hex(mbr::ComposeMbrImage(grubBoot, bytes));
        }
    }
    // The whole script on this host, which has neither Get-Partition nor WMI: it gets past its
    // file checks and stops where it asks Windows for the disk of its own drive.
    file("core.img", std::string(4 * 512, 'c'));
    cases << "run|run without disk information|3|" << bootFile << "|"
          << UnixPath(dir + L"\\out.img") << "\n";
    expected["run without disk information"] = std::to_string(mbr::DiskInfoUnavailable);
    cases << "run|run with a wrong boot image|3|" << file("boot1.img", grubBoot.substr(0, 511))
          << "|" << UnixPath(dir + L"\\out.img") << "\n";
    expected["run with a wrong boot image"] = std::to_string(mbr::NotGrubBootImage);
    cases << "run|run with a disk beyond int|99999999999|" << bootFile << "|"
          << UnixPath(dir + L"\\out.img") << "\n";
    expected["run with a disk beyond int"] = std::to_string(mbr::BadArguments);
    const std::string caseFile = file("cases.txt", cases.str());
    const std::wstring resultPath = dir + L"\\results.txt";
    DeleteFileW(resultPath.c_str());
    const std::wstring pwshPath(pwsh);
    const std::string command =
        ShellQuoted(std::string(pwshPath.begin(), pwshPath.end())) +
        " -NoProfile -NonInteractive -File " +
        ShellQuoted(UnixPath(SourcePath(L"\\tests\\scripts\\mbr_script_rules.ps1"))) +
        " -ScriptPath " + ShellQuoted(UnixPath(SourcePath(ShippedScript))) + " -CaseFile " +
        ShellQuoted(caseFile) + " -ResultFile " + ShellQuoted(UnixPath(resultPath));
    ASSERT_TRUE(RunHostCommand(command, 180000)) << command;

    std::map<std::string, std::string> got;
    std::istringstream results(ReadBytes(resultPath));
    for (std::string line; std::getline(results, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const size_t bar = line.rfind('|');
        if (bar != std::string::npos) {
            got[line.substr(0, bar)] = line.substr(bar + 1);
        }
    }
    EXPECT_EQ(got["parse"], "0") << "the script does not parse";
    EXPECT_EQ(got["native"], "1") << "the script's Add-Type block does not compile";
    EXPECT_EQ(got["reader"], std::to_string(mbr::DiskReaderUnbuilt)) << "a failing Add-Type";
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(got[name], value) << name;
    }
}

} // namespace
