#include "app/app_context.h"
void AppContext::PaintWindow(HDC) {} // PLACEHOLDER
