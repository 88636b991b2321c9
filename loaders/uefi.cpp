#include "app/app_context.h"
void AppContext::InstallBootmgrUefi() {} // PLACEHOLDER
void AppContext::InstallGrub2Uefi() {}
void AppContext::InstallXorbootUefi() {}
void AppContext::RemoveUefiBootFiles() {}
