#include "tests/support/sim_drive.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "sys/handles.h"
#include "tests/helpers/standin_common.h"
#include "tests/support/window_driver.h"

namespace {

std::wstring ParentOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring ExeDirectory() {
    wchar_t buffer[2048] = {};
    DWORD length = GetModuleFileNameW(nullptr, buffer, 2048);
    return ParentOf(std::wstring(buffer, length));
}

// One argument in the quoting the command-line splitter undoes (the Unix program's argv).
std::string QuoteWindowsArgument(const std::string& text) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::wstring Widen(const std::string& text) {
    std::wstring wide;
    for (char c : text) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return wide;
}

} // namespace

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring BuildDir() {
    std::wstring dir = ExeDirectory();
    // Test programs live one level below the build directory (tests\, bench\, test-helpers\).
    if (GetFileAttributesW((dir + L"\\quillmere.exe").c_str()) != INVALID_FILE_ATTRIBUTES) {
        return dir;
    }
    return ParentOf(dir);
}

std::wstring HelperPath(const std::wstring& name) {
    return BuildDir() + L"\\test-helpers\\" + name + L".exe";
}

std::string UnixPath(const std::wstring& windowsPath) {
    using Converter = char*(CDECL*)(LPCWSTR);
    auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) {
        return {};
    }
    char* unixPath = convert(windowsPath.c_str());
    if (!unixPath) {
        return {};
    }
    std::string result(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

bool RunHostCommand(const std::string& shellCommand, unsigned long timeoutMs) {
    static std::atomic<int> counter{0};
    std::wstring scratch = BuildDir() + L"\\scratch";
    MakeFolders(scratch);
    std::wstring marker = scratch + L"\\host-done-" + std::to_wstring(GetCurrentProcessId()) +
                          L"-" + std::to_wstring(counter++);
    DeleteFileW(marker.c_str());
    std::string markerUnix = UnixPath(marker);
    if (markerUnix.empty()) {
        return false;
    }
    // Wine starts Unix programs but cannot wait for them: the command touches a marker at its end.
    std::string script = "(" + shellCommand + "); echo $? > " + ShellQuote(markerUnix);
    std::wstring commandLine = L"Z:\\bin\\sh -c " + Widen(QuoteWindowsArgument(script));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // For a Unix program Wine fills the process information with stray values, not handles of
    // this process: closing them would close whatever handle of the test has that number (under
    // 32-bit Wine one the window system needs: later windows then failed or hung).
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    if (!WaitUntil([&] { return ReadBytes(marker).size() >= 2; }, timeoutMs)) {
        return false;
    }
    std::string status = ReadBytes(marker);
    DeleteFileW(marker.c_str());
    return status.rfind("0\n", 0) == 0;
}

bool MakeHostSymlink(const std::wstring& targetPath, const std::wstring& linkPath) {
    std::string target = UnixPath(targetPath);
    std::string link = UnixPath(linkPath);
    if (target.empty() || link.empty()) {
        return false;
    }
    if (!RunHostCommand("ln -sfn " + ShellQuote(target) + " " + ShellQuote(link))) {
        return false;
    }
    return WaitUntil([&] { return PathExists(linkPath); }, 10000);
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return {};
    }
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    return content;
}

std::string ReadBytesAt(const std::wstring& path, unsigned long long offset, size_t length) {
    std::string bytes;
    return standin::ReadAt(path, offset, length, bytes) ? bytes : std::string();
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolders(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\' || path[i] == L'/') {
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
        }
    }
    return IsFolder(path);
}

bool RemoveTreeForTest(const std::wstring& path, bool keepFolder) {
    if (!PathExists(path)) {
        return true;
    }
    // The host removes what Wine cannot: read-only files and Unix symbolic links.
    std::string unixPath = UnixPath(path);
    if (unixPath.empty() || unixPath == "/") {
        return false;
    }
    if (!keepFolder) {
        RunHostCommand("rm -rf " + ShellQuote(unixPath));
        return WaitUntil([&] { return !PathExists(path); }, 10000);
    }
    RunHostCommand("find " + ShellQuote(unixPath) + " -mindepth 1 -delete");
    return WaitUntil(
        [&] {
            WIN32_FIND_DATAW found;
            FindHandle search(FindFirstFileW((path + L"\\*").c_str(), &found));
            bool empty = true;
            for (bool more = search.Valid(); more && empty;
                 more = FindNextFileW(search.Get(), &found) != FALSE) {
                const std::wstring name = found.cFileName;
                empty = name == L"." || name == L"..";
            }
            return empty;
        },
        10000);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool CopyProgram(const std::wstring& source, const std::wstring& target) {
    MakeFolders(ParentOf(target));
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != 0;
}

bool SimDrive::Map(wchar_t driveLetter, const std::wstring& name) {
    Unmap();
    std::wstring folder = BuildDir() + L"\\drives\\" + name;
    if (!RemoveTreeForTest(folder) || !MakeFolders(folder)) {
        return false;
    }
    std::string unixFolder = UnixPath(folder);
    wchar_t lower = static_cast<wchar_t>(towlower(driveLetter));
    std::string device = "\"${WINEPREFIX:-$HOME/.wine}/dosdevices/" +
                         std::string(1, static_cast<char>(lower)) + ":\"";
    if (unixFolder.empty() || !RunHostCommand("ln -sfn " + ShellQuote(unixFolder) + " " + device)) {
        return false;
    }
    letter = static_cast<wchar_t>(towupper(driveLetter));
    hostFolder = folder;
    // The letter counts as mapped once a probe written to the folder shows through it.
    std::wstring probe = L"\\.quillmere-probe-" + name;
    WriteBytes(folder + probe, "probe");
    bool seen = WaitUntil([&] { return PathExists(Root() + probe); }, 15000);
    DeleteFileW((folder + probe).c_str());
    return seen;
}

void SimDrive::Unmap() {
    if (!letter) {
        return;
    }
    wchar_t lower = static_cast<wchar_t>(towlower(letter));
    // A letter left mapped would hand its drive to later tests that scan the letters; on a
    // loaded machine the host command may need longer than its usual ceiling.
    RunHostCommand("rm -f \"${WINEPREFIX:-$HOME/.wine}/dosdevices/" +
                       std::string(1, static_cast<char>(lower)) + ":\"",
                   60000);
    letter = 0;
    hostFolder.clear();
}

std::wstring SimDrive::Root() const {
    return std::wstring(1, letter) + L":";
}

std::wstring SimDrive::Path(const std::wstring& relative) const {
    return Root() + relative;
}

bool SimDrive::Write(const std::wstring& relative, const std::string& bytes) const {
    std::wstring path = Path(relative);
    MakeFolders(ParentOf(path));
    return WriteBytes(path, bytes);
}

std::string SimDrive::Read(const std::wstring& relative) const {
    return ReadBytes(Path(relative));
}

bool SimDrive::Exists(const std::wstring& relative) const {
    return PathExists(Path(relative));
}

bool SimDrive::MakeDir(const std::wstring& relative) const {
    return MakeFolders(Path(relative));
}

bool SimDrive::Put(std::initializer_list<const wchar_t*> files,
                   std::initializer_list<const wchar_t*> folders) const {
    bool all = true;
    for (const wchar_t* relative : files) {
        all = Write(relative, "x") && all;
    }
    for (const wchar_t* relative : folders) {
        all = MakeDir(relative) && all;
    }
    return all;
}

std::wstring InstalledProgram(const SimDrive& drive, const std::wstring& program) {
    return drive.Path(L"\\efi\\Telvorn\\Boot\\" + program + L".exe");
}

bool LayOutInstaller(const SimDrive& drive, const std::wstring& program, bool withTool) {
    const std::wstring boot = L"\\efi\\Telvorn\\Boot";
    if (!drive.MakeDir(boot) || !drive.Write(boot + L"\\NOT.DEL", "")) {
        return false;
    }
    if (withTool) {
        std::wstring standIn = HelperPath(L"bootice");
        bool copied =
            PathExists(standIn) && CopyProgram(standIn, drive.Path(boot + L"\\bootice.exe"));
        if (!copied && !drive.Write(boot + L"\\bootice.exe", "MZ")) {
            return false;
        }
    }
    return CopyProgram(BuildDir() + L"\\" + program + L".exe", InstalledProgram(drive, program));
}

bool LayOutDataMarker(const SimDrive& drive) {
    return drive.Write(L"\\ISO\\Ventoy\\NOT.DEL", "");
}

void PutLittleEndian(std::string& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

namespace {

void CollectFiles(const std::wstring& root, const std::wstring& relative,
                  std::map<std::string, std::string>& out) {
    WIN32_FIND_DATAW found;
    FindHandle search(FindFirstFileW((root + relative + L"\\*").c_str(), &found));
    if (!search.Valid()) {
        return;
    }
    do {
        const std::wstring name = found.cFileName;
        const std::wstring path = relative + L"\\" + name;
        if (name == L"." || name == L".." || path == L"\\efi\\Telvorn\\Boot\\backup") {
            continue;
        }
        const std::string key(path.begin(), path.end());
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[key] = "<folder>";
            CollectFiles(root, path, out);
        } else {
            out[key] = ReadBytes(root + path);
        }
    } while (FindNextFileW(search.Get(), &found));
}

} // namespace

std::map<std::string, std::string> DriveFiles(const SimDrive& drive) {
    std::map<std::string, std::string> files;
    CollectFiles(drive.Root(), L"", files);
    return files;
}

std::string DiskImage(std::initializer_list<PartitionSlot> slots, bool gptHeader) {
    constexpr size_t Sector = 512;
    std::string image(4096 * Sector, '\0');
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(0x80 | ((i / Sector) & 0x7F));
    }
    std::fill(image.begin(), image.begin() + 440, '\xC3');
    PutLittleEndian(image, 440, 0x4C4F4144);
    std::fill(image.begin() + 444, image.begin() + 510, '\0');
    for (const PartitionSlot& s : slots) {
        const size_t entry = 446 + 16 * static_cast<size_t>(s.index);
        image[entry] = static_cast<char>(s.flag);
        image[entry + 4] = static_cast<char>(s.type);
        PutLittleEndian(image, entry + 8, s.start);
        PutLittleEndian(image, entry + 12, 1000);
        const size_t boot = s.start * Sector;
        if (s.start > 0 && boot + Sector <= image.size()) {
            image.replace(boot, 11, "\xEB\x58\x90MSWIN4.1");
            std::fill(image.begin() + boot + 11, image.begin() + boot + 90, '\x42');
            image[boot + 510] = '\x55';
            image[boot + 511] = '\xAA';
        }
    }
    image[510] = '\x55';
    image[511] = '\xAA';
    if (gptHeader) {
        image.replace(Sector, 8, "EFI PART");
    }
    return image;
}

std::string ValidDiskImage() {
    return DiskImage({{0, 0x80, 0x0C, 2048}});
}

std::vector<std::pair<std::wstring, std::wstring>> DiskVariables(int disk,
                                                                 const std::wstring& imagePath) {
    return {{L"QUILLMERE_TEST_DISK_" + std::to_wstring(disk), imagePath},
            {L"QUILLMERE_TEST_PARTITION_START", L"2048"},
            {L"QUILLMERE_STANDIN_DISK_IMAGE", imagePath}};
}

std::string GrubBootImage() {
    std::string image(512, '\0');
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(0x20 + i % 64);
    }
    image[0] = '\xEB';
    image[1] = '\x63';
    image[2] = '\x90';
    for (int i = 0; i < 8; ++i) {
        image[0x5C + i] = i == 0 ? '\x01' : '\0';
    }
    image[0x64] = '\xFF';
    image[0x66] = '\x75'; // the boot-drive check: jnz over the drive fix-up
    image[0x67] = '\x02';
    image[510] = '\x55';
    image[511] = '\xAA';
    return image;
}

bool LayOutLoaderSources(const SimDrive& drive) {
    const std::wstring boot = L"\\efi\\Telvorn\\Boot";
    const wchar_t* files[] = {
        L"\\xor\\xmbr.bin",
        L"\\xor\\xpbr.bin",
        L"\\mgr\\bootmgr",
        L"\\g4d\\grldr",
        L"\\mgr\\UEFI\\bootx64.efi",
        L"\\mgr\\UEFI\\bootia32.efi",
        L"\\loaders\\grub2\\bootx64.efi",
        L"\\loaders\\grub2\\fbx64.efi",
        L"\\loaders\\grub2\\mmx64.efi",
        L"\\xor\\UEFI\\bootx64.efi",
        L"\\xor\\UEFI\\bootia32.efi",
        L"\\loaders\\grub2-bios\\make-telvorn-mbr.ps1",
        L"\\loaders\\grub2-bios\\i386-pc\\normal.mod",
    };
    for (const wchar_t* file : files) {
        std::string content = "source";
        for (const wchar_t* c = file; *c; ++c) {
            content += static_cast<char>(*c == L'\\' ? '/' : *c);
        }
        if (!drive.Write(boot + file, content + "\n")) {
            return false;
        }
    }
    std::string core(40 * 512, '\0');
    for (size_t i = 0; i < core.size(); ++i) {
        core[i] = static_cast<char>((i / 512 + i) & 0xFF);
    }
    return drive.Write(boot + L"\\loaders\\grub2-bios\\boot.img", GrubBootImage()) &&
           drive.Write(boot + L"\\loaders\\grub2-bios\\core.img", core) &&
           drive.Write(boot + L"\\grub2\\bios\\grub.cfg", "set timeout=5\n") &&
           drive.MakeDir(L"\\efi\\boot");
}

SwitchTarget SimulatedTarget(const SimDrive& drive, const std::wstring& imagePath) {
    SwitchTarget target;
    target.installerRoot = drive.Root();
    target.bootDir = drive.Root() + L"\\efi\\Telvorn\\Boot";
    target.bootIcePath = target.bootDir + L"\\bootice.exe";
    target.disk = 3;
    target.partitionStart = 2048;
    target.diskPath = imagePath;
    target.sectorBytes = 512;
    return target;
}
