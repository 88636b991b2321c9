#pragma once
// Every text the program shows a person, in one place: the window's own words, the start-up
// messages and the messages of the loader switches. The caption, which the resource script
// shares, is AppCaption in res/resource_ids.h. Texts with a value are built by pure
// functions, so tests compare them byte for byte.
#include <cstdint>
#include <string>

// In the window.
extern const wchar_t* const HeaderTitleText;
extern const wchar_t* const HeaderSubtitleText;
extern const wchar_t* const MinimizeGlyphText;
extern const wchar_t* const CloseGlyphText;
extern const wchar_t* const LegacyGroupText;
extern const wchar_t* const UefiGroupText;
// Held as the shutdown block reason while a switch runs.
extern const wchar_t* const ShutdownBlockText;

// Start-up.
extern const wchar_t* const AlreadyRunningText;
extern const wchar_t* const NoInstallerDriveText;
extern const wchar_t* const NoDataMarkerText;
std::wstring NotTelvornDriveText(const std::wstring& installerRoot);
std::wstring WindowsDiskText(const std::wstring& installerRoot);
// Shown when the drive can no longer be confirmed as the assembly's drive.
std::wstring TargetRefusalText(const std::wstring& installerRoot);

// The loader switches. Prefixes end in "(код ", for ExitCodeText.
extern const wchar_t* const MbrWriteFailedPrefix;
extern const wchar_t* const PbrWriteFailedPrefix;
extern const wchar_t* const CoreWriteFailedPrefix;
extern const wchar_t* const MbrScriptFailedPrefix;
std::wstring Grub2SourcesMissingText(const std::wstring& sourceDir);
std::wstring GrubConfigMissingText(const std::wstring& configPath);
std::wstring DiskNumberUnknownText(const std::wstring& installerRoot);
std::wstring LoaderChangedText(const std::wstring& loaderName);
std::wstring BackupFailedText(const std::wstring& path);
extern const wchar_t* const SectorSizeRefusedText;
extern const wchar_t* const FlushFailedText;
std::wstring SectorMismatchText(long long sector);
// The line a failed switch's text gains: the old loader is back, or where its backup lies.
std::wstring RestoreLine(bool restored, const std::wstring& backupFolder);
// What the start tells of a switch that was stopped before it ended.
std::wstring InterruptedSwitchText(bool restored, const std::wstring& backupFolder);
std::wstring LayoutChangedText(const std::wstring& backupFolder);
std::wstring MissingSourceText(const std::wstring& path);
std::wstring CoreImageUnfitText(const std::wstring& path);
std::wstring MbrImageBadText(const std::wstring& path);
// The success text followed by the warning that bootstate.txt was not written.
std::wstring StateNotSavedText(const std::wstring& changedText);
std::wstring CopyFailedText(const std::wstring& target);
// prefix + the code in signed decimal + ")."; the prefixes end in "(код ".
std::wstring ExitCodeText(const std::wstring& prefix, int code);

// What a screen reader says of the window's parts.
// "Legacy BIOS: XorBoot" and the like: the button's mode and its label.
std::wstring LoaderButtonName(int32_t index);
extern const wchar_t* const MinimizeName;
extern const wchar_t* const CloseName;
extern const wchar_t* const InstalledDescription;
extern const wchar_t* const PressActionName;

// The undo of the last switch, from the system menu.
extern const wchar_t* const UndoMenuText;
// The question before the undo; the names are the button labels the backup's bootstate.txt
// records, empty for none recorded.
std::wstring UndoQuestionText(const std::wstring& legacyLabel, const std::wstring& uefiLabel);
extern const wchar_t* const UndoDoneText;
extern const wchar_t* const UndoLayoutChangedText;
