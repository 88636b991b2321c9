#include "app/app_context.h"
void AppContext::InstallXorBootLegacy() {} // PLACEHOLDER
void AppContext::InstallBootmgrLegacy() {}
void AppContext::InstallGrub4DosLegacy() {}
