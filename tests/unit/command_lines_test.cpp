#include "loaders/command_lines.h"
#include "loaders/user_texts.h"

#include <gtest/gtest.h>

namespace {

const std::wstring Root = L"E:";
const std::wstring BootDir = L"E:\\efi\\Telvorn\\Boot";
const std::wstring Tool = L"E:\\efi\\Telvorn\\Boot\\bootice.exe";
const std::wstring SourceDir = L"E:\\efi\\Telvorn\\Boot\\loaders\\grub2-bios";
const std::wstring GrubDir = L"E:\\efi\\Telvorn\\Boot\\grub2\\bios";

TEST(LegacyToolCommandLines, MatchTheDocumentedRunsByteForByte) {
    struct Case {
        Loader loader;
        const wchar_t* mbr;
        const wchar_t* pbr;
    } cases[] = {
        {Loader::XorBoot,
         L"E:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=E: /mbr /restore "
         L"/file=E:\\efi\\Telvorn\\Boot\\xor\\xmbr.bin /keep_dpt /quiet",
         L"E:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=E: /pbr /restore "
         L"/file=E:\\efi\\Telvorn\\Boot\\xor\\xpbr.bin /keep_bpb /quiet"},
        {Loader::Bootmgr,
         L"E:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=E: /mbr /install /type=nt60 /quiet",
         L"E:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=E: /pbr /install /type=bootmgr /quiet"},
        {Loader::Grub4Dos,
         L"E:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=E: /mbr /install /type=GRUB4DOS /quiet",
         L"E:\\efi\\Telvorn\\Boot\\bootice.exe /DEVICE=E: /pbr /install /type=GRUB4DOS /quiet"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.loader));
        EXPECT_EQ(BuildLegacyMbrCommandLine(c.loader, Tool, Root, BootDir), c.mbr);
        EXPECT_EQ(BuildLegacyPbrCommandLine(c.loader, Tool, Root, BootDir), c.pbr);
    }
}

TEST(LegacyToolCommandLines, JoinTheContextStringsWithoutQuotesOrSeparators) {
    // A boot directory with a blank stays unquoted: the tool's own parsing is what the drive
    // was built for.
    EXPECT_EQ(BuildLegacyMbrCommandLine(Loader::XorBoot, L"Z:\\a b\\t.exe", L"Z:", L"Z:\\a b"),
              L"Z:\\a b\\t.exe /DEVICE=Z: /mbr /restore /file=Z:\\a b\\xor\\xmbr.bin /keep_dpt "
              L"/quiet");
    for (Loader other :
         {Loader::Grub2, Loader::UefiBootmgr, Loader::UefiGrub2, Loader::UefiXorboot}) {
        EXPECT_EQ(BuildLegacyMbrCommandLine(other, Tool, Root, BootDir), L"")
            << static_cast<int>(other);
        EXPECT_EQ(BuildLegacyPbrCommandLine(other, Tool, Root, BootDir), L"")
            << static_cast<int>(other);
    }
}

TEST(Grub2CommandLines, MatchTheDocumentedRunsByteForByte) {
    EXPECT_EQ(BuildModuleCopyCommandLine(L"C:\\Windows\\System32\\cmd.exe", SourceDir, GrubDir),
              L"\"C:\\Windows\\System32\\cmd.exe\" /c xcopy /E /I /Y /Q "
              L"\"E:\\efi\\Telvorn\\Boot\\loaders\\grub2-bios\\i386-pc\" "
              L"\"E:\\efi\\Telvorn\\Boot\\grub2\\bios\\i386-pc\" > nul 2>&1");
    EXPECT_EQ(BuildMbrScriptCommandLine(GrubDir, 2),
              L"powershell.exe -NoProfile -ExecutionPolicy Bypass -File "
              L"\"E:\\efi\\Telvorn\\Boot\\grub2\\bios\\make-telvorn-mbr.ps1\" -Disk 2 "
              L"-Boot \"E:\\efi\\Telvorn\\Boot\\grub2\\bios\\boot.img\" "
              L"-Out \"E:\\efi\\Telvorn\\Boot\\grub2\\bios\\telvorn-mbr-table.img\"");
    EXPECT_EQ(BuildSectorWriteCommandLine(Tool, Root, GrubDir + L"\\telvorn-mbr-table.img", 0, 1),
              L"\"E:\\efi\\Telvorn\\Boot\\bootice.exe\" /DEVICE=E: /sectors /restore "
              L"/file=\"E:\\efi\\Telvorn\\Boot\\grub2\\bios\\telvorn-mbr-table.img\" /lba=0 "
              L"/sectors=1 /quiet");
    EXPECT_EQ(BuildSectorWriteCommandLine(Tool, Root, GrubDir + L"\\core.img", 1, 591),
              L"\"E:\\efi\\Telvorn\\Boot\\bootice.exe\" /DEVICE=E: /sectors /restore "
              L"/file=\"E:\\efi\\Telvorn\\Boot\\grub2\\bios\\core.img\" /lba=1 /sectors=591 "
              L"/quiet");
}

TEST(LoaderFiles, NameEverySourceAndTargetOfEachAction) {
    struct Case {
        Loader loader;
        std::vector<FileCopy> copies;
    } cases[] = {
        {Loader::XorBoot, {}},
        {Loader::Bootmgr, {{BootDir + L"\\mgr\\bootmgr", L"E:\\bootmgr"}}},
        {Loader::Grub4Dos, {{BootDir + L"\\g4d\\grldr", L"E:\\grldr"}}},
        {Loader::Grub2, {}},
        {Loader::UefiBootmgr,
         {{BootDir + L"\\mgr\\UEFI\\bootx64.efi", L"E:\\efi\\boot\\bootx64.efi"},
          {BootDir + L"\\mgr\\UEFI\\bootia32.efi", L"E:\\efi\\boot\\bootia32.efi"}}},
        {Loader::UefiGrub2,
         {{BootDir + L"\\loaders\\grub2\\bootx64.efi", L"E:\\efi\\boot\\bootx64.efi"},
          {BootDir + L"\\loaders\\grub2\\fbx64.efi", L"E:\\efi\\boot\\fbx64.efi"},
          {BootDir + L"\\loaders\\grub2\\mmx64.efi", L"E:\\efi\\boot\\mmx64.efi"}}},
        {Loader::UefiXorboot,
         {{BootDir + L"\\xor\\UEFI\\bootx64.efi", L"E:\\efi\\boot\\bootx64.efi"},
          {BootDir + L"\\xor\\UEFI\\bootia32.efi", L"E:\\efi\\boot\\bootia32.efi"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoaderFileCopies(c.loader, Root, BootDir), c.copies)
            << static_cast<int>(c.loader);
    }
}

TEST(LoaderFiles, SourcesAreTheCopiedFilesOrTheRecordsTheToolRestores) {
    EXPECT_EQ(
        LoaderSourceFiles(Loader::XorBoot, BootDir),
        (std::vector<std::wstring>{BootDir + L"\\xor\\xmbr.bin", BootDir + L"\\xor\\xpbr.bin"}));
    EXPECT_EQ(LoaderSourceFiles(Loader::Grub4Dos, BootDir),
              std::vector<std::wstring>{BootDir + L"\\g4d\\grldr"});
    EXPECT_EQ(LoaderSourceFiles(Loader::UefiGrub2, BootDir),
              (std::vector<std::wstring>{BootDir + L"\\loaders\\grub2\\bootx64.efi",
                                         BootDir + L"\\loaders\\grub2\\fbx64.efi",
                                         BootDir + L"\\loaders\\grub2\\mmx64.efi"}));
    EXPECT_TRUE(LoaderSourceFiles(Loader::Grub2, BootDir).empty());
}

TEST(StopMessages, PutTheValueAfterTheUsersWords) {
    EXPECT_EQ(MissingSourceText(L"E:\\x"), L"Файлы загрузчика не найдены:\r\nE:\\x");
    EXPECT_EQ(CopyFailedText(L"E:\\bootmgr"),
              L"Не удалось скопировать файл загрузчика:\r\nE:\\bootmgr");
}

TEST(Grub2Images, CoreFillsOneTo591SectorsAndTheMbrImageIsOneSignedSector) {
    const std::pair<unsigned long long, bool> cores[] = {{0, false},        {511, false},
                                                         {512, true},       {513, true},
                                                         {591 * 512, true}, {591 * 512 + 1, false}};
    for (const auto& [bytes, fits] : cores) {
        EXPECT_EQ(CoreImageSizeFits(bytes), fits) << bytes;
    }
    std::string image(512, '\0');
    image[510] = '\x55';
    image[511] = '\xAA';
    EXPECT_TRUE(IsMbrImage(image));
    EXPECT_FALSE(IsMbrImage(image + "x"));
    EXPECT_FALSE(IsMbrImage(image.substr(0, 511)));
    EXPECT_FALSE(IsMbrImage(""));
    image[511] = '\0';
    EXPECT_FALSE(IsMbrImage(image));
    EXPECT_EQ(CoreImageUnfitText(L"E:\\c.img"),
              L"Файл core.img не подходит (нужно от 1 до 591 секторов):\r\nE:\\c.img");
    EXPECT_EQ(MbrImageBadText(L"E:\\m.img"), L"MBR-образ не создан или повреждён:\r\nE:\\m.img");
}

} // namespace
