#include "app/app_context.h"
#include "loaders/command_lines.h"
#include "loaders/loader_steps.h"
#include "sys/file_utils.h"

namespace {

// Every loader file an action may put into or remove from \efi\boot.
const std::initializer_list<const wchar_t*> UefiBootFiles = {
    L"\\efi\\boot\\bootx64.efi",
    L"\\efi\\boot\\bootia32.efi",
    L"\\efi\\boot\\fbx64.efi",
    L"\\efi\\boot\\mmx64.efi",
};

// A new file waits under this name beside its target until the whole set has been copied.
std::wstring PendingName(const std::wstring& target) {
    return target + L".quillmere-new";
}

// Also clears what an interrupted run left behind.
void RemovePendingFiles(const AppContext& context) {
    for (const wchar_t* file : UefiBootFiles) {
        DeleteFileIfAny(PendingName(context.installerRoot + file));
    }
}

bool StopAt(AppContext& context, const std::wstring& target) {
    RemovePendingFiles(context);
    context.ShowModalMessage(CopyFailedText(target), MB_ICONINFORMATION);
    return false;
}

// All or nothing: every target is checked against the rule the copy applies, then the new set
// is copied beside the old one, and only when all of it is there does it replace the old set.
// A failure before the moves leaves \efi\boot exactly as it was.
bool ReplaceBootFiles(AppContext& context, const std::vector<FileCopy>& copies) {
    for (const FileCopy& copy : copies) {
        if (CopyTargetRefused(GetFileAttributesW(copy.first.c_str()),
                              GetFileAttributesW(copy.second.c_str()))) {
            return StopAt(context, copy.second);
        }
    }
    for (const FileCopy& copy : copies) {
        if (!CopyFileOverwrite(copy.first, PendingName(copy.second))) {
            return StopAt(context, copy.second);
        }
    }
    for (const FileCopy& copy : copies) {
        if (!MoveFileReplacing(PendingName(copy.second), copy.second)) {
            return StopAt(context, copy.second);
        }
    }
    return true;
}

// The known loader files the new set does not bring (GRUB2's companions after Bootmgr or
// Xorboot) go only once the new set is in place. GRUB2 brings no 32-bit loader and removes
// none: whatever bootia32.efi was installed stays usable.
void RemoveFilesOutsideTheSet(const AppContext& context, Loader loader,
                              const std::vector<FileCopy>& copies) {
    if (loader == Loader::UefiGrub2) {
        return;
    }
    DeleteFilesNotCopied(context.installerRoot, UefiBootFiles, copies);
}

void InstallReplacingBootFiles(AppContext& context, Loader loader) {
    if (!LoaderSourcesPresent(context, loader)) {
        return;
    }
    const std::vector<FileCopy> copies =
        LoaderFileCopies(loader, context.installerRoot, context.bootDir);
    RemovePendingFiles(context);
    if (!ReplaceBootFiles(context, copies)) {
        return;
    }
    RemoveFilesOutsideTheSet(context, loader, copies);
    RecordInstalledLoader(context, loader);
}

} // namespace

void AppContext::InstallBootmgrUefi() {
    InstallReplacingBootFiles(*this, Loader::UefiBootmgr);
}

void AppContext::InstallGrub2Uefi() {
    InstallReplacingBootFiles(*this, Loader::UefiGrub2);
}

void AppContext::InstallXorbootUefi() {
    InstallReplacingBootFiles(*this, Loader::UefiXorboot);
}
