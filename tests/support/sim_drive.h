#pragma once
// Simulated drives for tests under Wine: a folder of the build tree mapped to a drive letter
// through the Wine prefix's dosdevices, plus the layouts of a Telvorn drive.
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "loaders/target.h"

// True when the tests run under Wine rather than Windows.
bool UnderWine();
// Folder that holds quillmere.exe (the build directory), as a Windows path.
std::wstring BuildDir();
// A test helper program: BuildDir()\test-helpers\<name>.exe.
std::wstring HelperPath(const std::wstring& name);
// The Unix path of a Windows path (Wine only); empty when it cannot be converted.
std::string UnixPath(const std::wstring& windowsPath);
// `text` in single quotes for /bin/sh; a quote inside is closed, escaped and reopened.
std::string ShellQuote(const std::string& text);
// Runs a host (Unix) command line through /bin/sh -c and waits for it, at most timeoutMs; true
// when it ended with status 0. Wine cannot wait for Unix processes: the command writes its
// status to a marker file that is polled.
bool RunHostCommand(const std::string& shellCommand, unsigned long timeoutMs = 20000);
// Creates a Unix symbolic link at linkPath (a Windows path on a simulated drive) pointing to
// targetPath (a Windows path) and waits until Wine sees it.
bool MakeHostSymlink(const std::wstring& targetPath, const std::wstring& linkPath);

// Small file helpers on Windows paths, used to lay out and inspect drives.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path); // empty when missing
// `length` bytes from `offset`; empty when the file is missing or shorter.
std::string ReadBytesAt(const std::wstring& path, unsigned long long offset, size_t length);
bool PathExists(const std::wstring& path); // file or folder
bool IsFolder(const std::wstring& path);
bool MakeFolders(const std::wstring& path); // like mkdir -p
// Test-side removal of a whole tree; with `keepFolder` only what lies below `path` goes.
bool RemoveTreeForTest(const std::wstring& path, bool keepFolder = false);
// The lines of `text` split at LF, without the LFs; a last line without LF counts too.
std::vector<std::string> Lines(const std::string& text);
bool CopyProgram(const std::wstring& source, const std::wstring& target); // creates folders

struct SimDrive {
    wchar_t letter = 0;
    std::wstring hostFolder; // the backing folder, as a Windows path through Z:

    SimDrive() = default;
    SimDrive(const SimDrive&) = delete;
    SimDrive& operator=(const SimDrive&) = delete;
    ~SimDrive() { Unmap(); }

    // Maps `driveLetter` to a fresh, empty folder build\drives\<name>. False when Wine does
    // not see the letter within a few seconds.
    bool Map(wchar_t driveLetter, const std::wstring& name);
    void Unmap();

    std::wstring Root() const;                             // "E:"
    std::wstring Path(const std::wstring& relative) const; // "E:" + relative ("\a\b")
    bool Write(const std::wstring& relative, const std::string& bytes) const;
    std::string Read(const std::wstring& relative) const;
    bool Exists(const std::wstring& relative) const;
    bool MakeDir(const std::wstring& relative) const;
    // Writes each file, with a few bytes of no meaning, and makes each folder; false when one
    // fails. For layouts where only the names matter.
    bool Put(std::initializer_list<const wchar_t*> files,
             std::initializer_list<const wchar_t*> folders = {}) const;
};

// Every file on the drive (its path below the root to its content) and every folder (to
// "<folder>"), except the loader switch's backup folder: what a switch may change.
std::map<std::string, std::string> DriveFiles(const SimDrive& drive);

// The boot partition of a Telvorn drive: \efi\Telvorn\Boot with a boot-sector tool (the
// stand-in when `withTool`), NOT.DEL, and the program copied in as \efi\Telvorn\Boot\quillmere.exe.
// `program` is "quillmere" or "quillmere-testdisk".
bool LayOutInstaller(const SimDrive& drive, const std::wstring& program = L"quillmere",
                     bool withTool = true);
// The loader source files every action copies (small recognisable contents).
bool LayOutLoaderSources(const SimDrive& drive);
// A GRUB2 boot image as the MBR rules expect it: a jump EB 63 90, LBA 1 at 0x5C, 0xFF at 0x64,
// the boot-drive check at 0x66 and 55 AA.
std::string GrubBootImage();
// One used entry of a disk image's MBR partition table.
struct PartitionSlot {
    int index;
    uint8_t flag, type;
    uint32_t start;
};
// A disk image of 4096 sectors, each filled with its own number, under an MBR with old loader
// code, signature 0x4C4F4144 and the given table; every partition within the image starts with
// a FAT32 boot sector (its BPB and 55 AA). With `gptHeader` sector 1 starts "EFI PART".
std::string DiskImage(std::initializer_list<PartitionSlot> slots, bool gptHeader = false);
// The disk image of a Telvorn drive: one partition at sector 2048.
std::string ValidDiskImage();
// The test build's disk variables for disk `disk` read from the image at `imagePath`, its
// installer partition at sector 2048, and the stand-in tool writing into the same image.
std::vector<std::pair<std::wstring, std::wstring>> DiskVariables(int disk,
                                                                 const std::wstring& imagePath);
// The switch target of the Telvorn drive `drive` whose disk 3 is the image at `imagePath`: its
// installer partition at sector 2048, 512-byte sectors, the tool in the boot directory.
SwitchTarget SimulatedTarget(const SimDrive& drive, const std::wstring& imagePath);
// Writes `value` as four little-endian bytes at `offset`, as disk structures hold numbers.
void PutLittleEndian(std::string& bytes, size_t offset, uint32_t value);
// The data partition marker ISO\Ventoy\NOT.DEL.
bool LayOutDataMarker(const SimDrive& drive);
// Path of the program on the installer drive, as LayOutInstaller placed it.
std::wstring InstalledProgram(const SimDrive& drive, const std::wstring& program = L"quillmere");
