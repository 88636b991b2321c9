#pragma once
// The names of the drive's files and folders, each joined to a drive root ("E:"), the boot
// directory or a folder below it, as the comments say.

// Below a drive root.
constexpr const wchar_t* BootDirName = L"\\efi\\Telvorn\\Boot";
constexpr const wchar_t* RootBootmgrName = L"\\bootmgr";
constexpr const wchar_t* RootGrldrName = L"\\grldr";
constexpr const wchar_t* UefiBootFolderName = L"\\efi\\boot";
// Below a drive letter.
constexpr const wchar_t* DataMarkerName = L":\\ISO\\Ventoy\\NOT.DEL";

// Below the boot directory.
constexpr const wchar_t* BootIceName = L"\\bootice.exe";
constexpr const wchar_t* MarkerFileName = L"\\NOT.DEL";
constexpr const wchar_t* BootStateFileName = L"\\bootstate.txt";
constexpr const wchar_t* BackupFolderName = L"\\backup";
// The backup an undo puts back, set aside while the undo's own switch backs up the drive.
constexpr const wchar_t* UndoSourceFolderName = L"\\backup-undo";
constexpr const wchar_t* Grub2SourceFolderName = L"\\loaders\\grub2-bios";
constexpr const wchar_t* Grub2FolderName = L"\\grub2\\bios";

// Below the GRUB2 source folder and the GRUB2 folder.
constexpr const wchar_t* BootImageName = L"\\boot.img";
constexpr const wchar_t* CoreImageName = L"\\core.img";
constexpr const wchar_t* MbrScriptName = L"\\make-telvorn-mbr.ps1";
constexpr const wchar_t* ModuleFolderName = L"\\i386-pc";
constexpr const wchar_t* GrubConfigName = L"\\grub.cfg";
// The MBR image the script writes into the GRUB2 folder and the tool writes to sector 0.
constexpr const wchar_t* MbrImageName = L"\\telvorn-mbr-table.img";

// Below \efi\boot: the entry files firmware starts, and GRUB2's companions.
constexpr const wchar_t* BootX64Name = L"\\bootx64.efi";
constexpr const wchar_t* BootIa32Name = L"\\bootia32.efi";
constexpr const wchar_t* FallbackX64Name = L"\\fbx64.efi";
constexpr const wchar_t* MokManagerX64Name = L"\\mmx64.efi";
