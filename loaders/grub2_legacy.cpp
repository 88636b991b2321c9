#include "app/app_context.h"
void AppContext::InstallGrub2Legacy() {} // PLACEHOLDER
