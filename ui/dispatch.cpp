#include "app/app_context.h"
void AppContext::RunAction(int32_t) {} // PLACEHOLDER
void AppContext::ShowModalMessage(const std::wstring&, UINT) {}
void AppContext::ReportLoaderChanged(const std::wstring&) {}
