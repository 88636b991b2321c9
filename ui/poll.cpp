#include "app/app_context.h"
void AppContext::PollPointer() {} // PLACEHOLDER
