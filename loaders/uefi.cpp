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

// An old file waits under this name while the new set moves in, so a failure can put it back.
std::wstring SetAsideName(const std::wstring& target) {
    return target + L".quillmere-old";
}

// A leftover may carry a read-only mark (a copy interrupted before the mark was cleared) that
// would otherwise block every later install under that name.
void Discard(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileIfAny(path);
}

// What an interrupted run left behind: its new files go, and an old file set aside returns
// where nothing has replaced it.
void RecoverInterruptedRun(const AppContext& context) {
    for (const wchar_t* file : UefiBootFiles) {
        const std::wstring target = context.installerRoot + file;
        Discard(PendingName(target));
        if (FileExists(SetAsideName(target)) && !FileExists(target)) {
            MoveFileReplacing(SetAsideName(target), target);
        }
        Discard(SetAsideName(target));
    }
}

struct Placement {
    bool setAside = false; // the old target now waits under SetAsideName
    bool placed = false;   // the new file now stands at the target
};

// Undoes the moves made so far, so the old set stands as it was.
void RestoreOldSet(const std::vector<FileCopy>& copies, const std::vector<Placement>& done) {
    for (size_t i = 0; i < copies.size(); ++i) {
        const std::wstring& target = copies[i].second;
        if (done[i].setAside) {
            MoveFileReplacing(SetAsideName(target), target);
        } else if (done[i].placed) {
            DeleteFileIfAny(target);
        }
        Discard(PendingName(target));
    }
}

bool StopAt(AppContext& context, const std::vector<FileCopy>& copies,
            const std::vector<Placement>& done, const std::wstring& target) {
    RestoreOldSet(copies, done);
    context.ShowModalMessage(CopyFailedText(target), MB_ICONINFORMATION);
    return false;
}

// All or nothing: every target is checked against the rule the copy applies, the new set is
// copied beside the old one, the old set is moved aside and the new one moved in; a failure at
// any step puts the old set back, and only a complete new set lets the old one go.
bool ReplaceBootFiles(AppContext& context, const std::vector<FileCopy>& copies) {
    std::vector<Placement> done(copies.size());
    for (const FileCopy& copy : copies) {
        if (CopyTargetRefused(GetFileAttributesW(copy.first.c_str()),
                              GetFileAttributesW(copy.second.c_str()))) {
            return StopAt(context, copies, done, copy.second);
        }
    }
    for (const FileCopy& copy : copies) {
        if (!CopyFileOverwrite(copy.first, PendingName(copy.second))) {
            return StopAt(context, copies, done, copy.second);
        }
    }
    for (size_t i = 0; i < copies.size(); ++i) {
        const std::wstring& target = copies[i].second;
        if (FileExists(target)) {
            if (!MoveFileReplacing(target, SetAsideName(target))) {
                return StopAt(context, copies, done, target);
            }
            done[i].setAside = true;
        }
    }
    for (size_t i = 0; i < copies.size(); ++i) {
        const std::wstring& target = copies[i].second;
        if (!MoveFileReplacing(PendingName(target), target)) {
            return StopAt(context, copies, done, target);
        }
        done[i].placed = true;
    }
    for (const FileCopy& copy : copies) {
        Discard(SetAsideName(copy.second));
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
    RecoverInterruptedRun(context);
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
