#include "app/app_context.h"
#include "ui/window.h"
LRESULT CALLBACK MainWndProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); } // PLACEHOLDER
bool AppContext::OnCreate(HWND) { return true; }
