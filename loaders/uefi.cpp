#include "app/app_context.h"
#include "loaders/loader_steps.h"
#include "sys/file_utils.h"

namespace {

const wchar_t* const UefiBootFiles[] = {
    L"\\efi\\boot\\bootx64.efi",
    L"\\efi\\boot\\bootia32.efi",
    L"\\efi\\boot\\fbx64.efi",
    L"\\efi\\boot\\mmx64.efi",
};

// GRUB2 brings no 32-bit loader, so whatever bootia32.efi was installed stays usable.
const wchar_t* const Grub2BootFiles[] = {
    L"\\efi\\boot\\bootx64.efi",
    L"\\efi\\boot\\fbx64.efi",
    L"\\efi\\boot\\mmx64.efi",
};

// The old files go only once the new ones are known to exist; a copy that fails stops before
// the success is recorded.
void InstallReplacingBootFiles(AppContext& context, LoaderAction action) {
    if (!LoaderSourcesPresent(context, action)) {
        return;
    }
    if (action == 5) {
        for (const wchar_t* file : Grub2BootFiles) {
            DeleteFileIfAny(context.installerRoot + file);
        }
    } else {
        context.RemoveUefiBootFiles();
    }
    if (!CopyLoaderFiles(context, action)) {
        return;
    }
    RecordInstalledLoader(context, action);
}

} // namespace

void AppContext::RemoveUefiBootFiles() {
    for (const wchar_t* file : UefiBootFiles) {
        DeleteFileIfAny(installerRoot + file);
    }
}

void AppContext::InstallBootmgrUefi() {
    InstallReplacingBootFiles(*this, 4);
}

void AppContext::InstallGrub2Uefi() {
    InstallReplacingBootFiles(*this, 5);
}

void AppContext::InstallXorbootUefi() {
    InstallReplacingBootFiles(*this, 6);
}
