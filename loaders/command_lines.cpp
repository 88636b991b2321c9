#include "loaders/command_lines.h"

#include <initializer_list>

#include "loaders/file_names.h"

namespace {

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

// One record the boot-sector tool writes: the head of its arguments, a file under bootDir
// (null when the tool installs a type of its own) and the tail.
struct ToolRecordArguments {
    const wchar_t* head;
    const wchar_t* file;
    const wchar_t* tail;
};

struct ToolLoaderArguments {
    ToolRecordArguments mbr;
    ToolRecordArguments pbr;
};

// Only XorBoot, Bootmgr and Grub4Dos are installed through the tool's own record commands.
const ToolLoaderArguments* ToolArgumentsOf(Loader loader) {
    static const ToolLoaderArguments XorBoot = {
        {L" /mbr /restore /file=", L"\\xor\\xmbr.bin", L" /keep_dpt /quiet"},
        {L" /pbr /restore /file=", L"\\xor\\xpbr.bin", L" /keep_bpb /quiet"}};
    static const ToolLoaderArguments Bootmgr = {
        {L" /mbr /install /type=nt60 /quiet", nullptr, L""},
        {L" /pbr /install /type=bootmgr /quiet", nullptr, L""}};
    static const ToolLoaderArguments Grub4Dos = {
        {L" /mbr /install /type=GRUB4DOS /quiet", nullptr, L""},
        {L" /pbr /install /type=GRUB4DOS /quiet", nullptr, L""}};
    switch (loader) {
    case Loader::XorBoot:
        return &XorBoot;
    case Loader::Bootmgr:
        return &Bootmgr;
    case Loader::Grub4Dos:
        return &Grub4Dos;
    default:
        return nullptr;
    }
}

std::wstring ToolCommandLine(const std::wstring& bootIcePath, const std::wstring& installerRoot,
                             const std::wstring& bootDir, const ToolRecordArguments& record) {
    std::wstring line = bootIcePath + L" /DEVICE=" + installerRoot + record.head;
    if (record.file != nullptr) {
        line += bootDir + record.file;
    }
    return line + record.tail;
}

std::vector<FileCopy> UefiCopies(const std::wstring& installerRoot, const std::wstring& bootDir,
                                 const wchar_t* sourceFolder,
                                 std::initializer_list<const wchar_t*> names) {
    std::vector<FileCopy> copies;
    for (const wchar_t* name : names) {
        copies.emplace_back(bootDir + sourceFolder + name,
                            installerRoot + UefiBootFolderName + name);
    }
    return copies;
}

} // namespace

std::wstring BuildLegacyMbrCommandLine(Loader loader, const std::wstring& bootIcePath,
                                       const std::wstring& installerRoot,
                                       const std::wstring& bootDir) {
    const ToolLoaderArguments* arguments = ToolArgumentsOf(loader);
    return arguments ? ToolCommandLine(bootIcePath, installerRoot, bootDir, arguments->mbr) : L"";
}

std::wstring BuildLegacyPbrCommandLine(Loader loader, const std::wstring& bootIcePath,
                                       const std::wstring& installerRoot,
                                       const std::wstring& bootDir) {
    const ToolLoaderArguments* arguments = ToolArgumentsOf(loader);
    return arguments ? ToolCommandLine(bootIcePath, installerRoot, bootDir, arguments->pbr) : L"";
}

std::wstring BuildModuleCopyCommandLine(const std::wstring& interpreterPath,
                                        const std::wstring& sourceDir,
                                        const std::wstring& grubDir) {
    return Quoted(interpreterPath) + L" /c xcopy /E /I /Y /Q " +
           Quoted(sourceDir + ModuleFolderName) + L" " + Quoted(grubDir + ModuleFolderName) +
           L" > nul 2>&1";
}

std::wstring BuildMbrScriptCommandLine(const std::wstring& grubDir, int disk) {
    return L"powershell.exe -NoProfile -ExecutionPolicy Bypass -File " +
           Quoted(grubDir + MbrScriptName) + L" -Disk " + std::to_wstring(disk) + L" -Boot " +
           Quoted(grubDir + BootImageName) + L" -Out " + Quoted(grubDir + MbrImageName);
}

std::wstring BuildSectorWriteCommandLine(const std::wstring& bootIcePath,
                                         const std::wstring& installerRoot,
                                         const std::wstring& file, int lba, int sectors) {
    return Quoted(bootIcePath) + L" /DEVICE=" + installerRoot + L" /sectors /restore /file=" +
           Quoted(file) + L" /lba=" + std::to_wstring(lba) + L" /sectors=" +
           std::to_wstring(sectors) + L" /quiet";
}

std::wstring BuildPbrRestoreCommandLine(const std::wstring& bootIcePath,
                                        const std::wstring& installerRoot,
                                        const std::wstring& file) {
    return Quoted(bootIcePath) + L" /DEVICE=" + installerRoot + L" /pbr /restore /file=" +
           Quoted(file) + L" /quiet";
}

std::vector<std::wstring> LoaderSourceFiles(Loader loader, const std::wstring& bootDir) {
    if (loader == Loader::XorBoot) {
        return {bootDir + L"\\xor\\xmbr.bin", bootDir + L"\\xor\\xpbr.bin"};
    }
    std::vector<std::wstring> sources;
    for (const FileCopy& copy : LoaderFileCopies(loader, L"", bootDir)) {
        sources.push_back(copy.first);
    }
    return sources;
}

std::vector<FileCopy> LoaderFileCopies(Loader loader, const std::wstring& installerRoot,
                                       const std::wstring& bootDir) {
    switch (loader) {
    case Loader::Bootmgr:
        return {{bootDir + L"\\mgr\\bootmgr", installerRoot + RootBootmgrName}};
    case Loader::Grub4Dos:
        return {{bootDir + L"\\g4d\\grldr", installerRoot + RootGrldrName}};
    case Loader::UefiBootmgr:
        return UefiCopies(installerRoot, bootDir, L"\\mgr\\UEFI", {BootX64Name, BootIa32Name});
    case Loader::UefiGrub2:
        return UefiCopies(installerRoot, bootDir, L"\\loaders\\grub2",
                          {BootX64Name, FallbackX64Name, MokManagerX64Name});
    case Loader::UefiXorboot:
        return UefiCopies(installerRoot, bootDir, L"\\xor\\UEFI", {BootX64Name, BootIa32Name});
    default:
        return {};
    }
}

bool CoreImageSizeFits(unsigned long long bytes) {
    return bytes >= SectorBytes && bytes <= CoreImageSectors * SectorBytes;
}

bool IsMbrImage(const std::string& bytes) {
    return bytes.size() == SectorBytes && bytes[510] == '\x55' && bytes[511] == '\xAA';
}
