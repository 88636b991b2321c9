#include "ui/window.h"

#include <windowsx.h>

#include "ui/accessible.h"
#include "ui/app_context.h"
#include "ui/keyboard.h"
#include "ui/system_menu.h"
#include "loaders/boot_state.h"
#include "loaders/file_names.h"
#include "loaders/undo_plan.h"
#include "res/resource_ids.h"
#include "sys/debug_log.h"
#include "sys/handles.h"
#include "sys/process.h"
#include "ui/dpi.h"
#include "ui/poll.h"
#include "ui/theme.h"

int32_t FontHeight(int32_t points, int32_t dpi) {
    if (dpi <= 0) {
        dpi = 96;
    }
    return -(points * dpi) / 72;
}

HICON LoadSmallIcon(HINSTANCE instance) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUILLMERE), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON),
                                         GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

namespace {

const DWORD ForcedEndWaitMs = 5000;

AppContext* ContextOf(HWND window) {
    // The slot holds a full pointer: the 32-bit long would cut it on 64-bit Windows.
    return reinterpret_cast<AppContext*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT OnCreateMessage(HWND window, LPARAM lParam) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* context = static_cast<AppContext*>(create ? create->lpCreateParams : nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context));
    // -1 makes CreateWindowExW fail, which start-up reports as its own failure.
    return context && !context->OnCreate(window) ? -1 : 0;
}

LRESULT OnDestroyMessage(AppContext* context) {
    if (context) {
        DisconnectAccessible(*context);
        context->titleFont.Reset();
        context->subtitleFont.Reset();
        context->minimizeFont.Reset();
        context->closeFont.Reset();
        context->groupFont.Reset();
        context->buttonFont.Reset();
        context->keptFrame.Release();
    }
    PostQuitMessage(0);
    return 0;
}

LRESULT OnPaintMessage(HWND window, AppContext* context) {
    PaintDc paint(window);
    if (context) {
        context->PaintWindow(paint.dc);
    }
    return 0;
}

LRESULT OnCloseMessage(HWND window, AppContext* context) {
    if (context) {
        context->RequestClose();
    } else {
        DebugLog(L"WM_CLOSE busy=%d", 0);
        DestroyWindow(window);
    }
    return 0;
}

// What a reader's default action asks for, run here rather than inside the reader's call and
// under every rule a click has.
void OnAccessibleAction(AppContext& context, LONG child) {
    if (context.status.modalShown) {
        return; // as for the pointer: nothing while a box is open
    }
    if (child == CloseChildId) {
        context.RequestClose(); // refused with a beep while busy
    } else if (context.status.busy) {
        return;
    } else if (child == MinimizeChildId) {
        ShowWindow(context.window, SW_MINIMIZE);
    } else if (child >= 1 && child <= LoaderCount) {
        context.RunAction(child - 1);
    }
}

// A press or release between two polls would go unseen by the poll alone; it is kept for the
// next one. These messages come for the primary button, swapped or not. Only a press the window
// got itself may act; the capture brings its release here wherever it happens, so the mark
// never outlives the press.
LRESULT OnButtonMessage(HWND window, AppContext* context, bool down, LPARAM lParam) {
    if (context) {
        POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(window, &screen);
        context->pointerLatch = LatchButton(context->pointerLatch, down, screen);
        context->pressBeganHere = down;
        if (down) {
            context->pressPoint = screen;
        }
    }
    if (down) {
        SetCapture(window);
    } else if (GetCapture() == window) {
        ReleaseCapture();
    }
    return 0;
}

} // namespace

bool AppContext::OnCreate(HWND newWindow) {
    window = newWindow;
    dpi = WindowDpi(window);
    theme = ReadTheme();
    // Without its fonts the window could show no text at all.
    if (!CreateWindowFonts(*this, dpi)) {
        return false;
    }

    if (HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUILLMERE))) {
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    }
    if (HICON small = LoadSmallIcon(instance)) {
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }
    LoadBootState();
    keyboard = InitialFocus(status.legacyLoader, KeyboardCuesAlwaysShown());
    PrepareSystemMenu(window);
    return true;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    AppContext* context = ContextOf(window);
    switch (message) {
    case WM_CREATE:
        return OnCreateMessage(window, lParam);
    case WM_DESTROY:
        return OnDestroyMessage(context);
    case WM_PAINT:
        return OnPaintMessage(window, context);
    case WM_CLOSE:
        return OnCloseMessage(window, context);
    case WM_ERASEBKGND:
        // The paint covers every pixel; erasing first would flicker.
        return 1;
    case WM_TIMER:
        if (context && wParam == PollTimerId) {
            context->PollPointer();
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        if (context) {
            context->WakePoll();
        }
        return OnButtonMessage(window, context, message == WM_LBUTTONDOWN, lParam);
    case WM_MOUSEMOVE:
    case WM_ACTIVATE:
        // The pointer came back, or the window did: the next tick shows what lies under it.
        if (context && (message == WM_MOUSEMOVE || LOWORD(wParam) != WA_INACTIVE)) {
            context->WakePoll();
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_KEYDOWN:
        // Bit 30 of lParam: the key was already down.
        if (context && context->OnKey(static_cast<UINT>(wParam), GetKeyState(VK_SHIFT) < 0,
                                      (lParam & (LPARAM{1} << 30)) != 0)) {
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SETFOCUS:
        // Readers learn which button has the focus when the window gets it.
        if (context) {
            NotifyAccessibleFocus(*context);
        }
        return 0;
    case WM_GETOBJECT:
        return context ? AnswerGetObject(*context, wParam, lParam)
                       : DefWindowProcW(window, message, wParam, lParam);
    case AccessibleActionMessage:
        if (context) {
            OnAccessibleAction(*context, static_cast<LONG>(wParam));
        }
        return 0;
    case WM_INITMENUPOPUP:
        if (context && HIWORD(lParam)) {
            UpdateSystemMenu(window, context->status.busy, UndoAvailable(context->bootDir));
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SYSCOMMAND:
        if (context && IsUndoCommand(wParam)) {
            // As greyed in the menu: a command sent from elsewhere is held to the same rules.
            if (!context->status.busy && !context->status.modalShown &&
                UndoAvailable(context->bootDir)) {
                context->RunAction(UndoActionIndex);
            }
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_CAPTURECHANGED:
        if (context) {
            context->pressBeganHere = false;
        }
        return 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        // High contrast may have come or gone, or its colours changed.
        if (context) {
            RereadTheme(*context);
        }
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_DPICHANGED:
        // The window reached a monitor of other scaling, or the scaling changed.
        if (context && lParam) {
            ApplyWindowDpi(*context, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        }
        return 0;
    case WM_QUERYENDSESSION:
        // A logoff or shutdown must not cut a boot-record write short.
        return context && context->switching ? FALSE : TRUE;
    case WM_ENDSESSION:
        // The session ends once this returns, forced past the refusal: the tool at work gets
        // the time to finish its write; the switch's journal restores the rest at the next start.
        if (wParam && context && context->switching) {
            WaitForOwnChildren(ForcedEndWaitMs);
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void AppContext::LoadBootState() {
    const std::wstring path = bootDir + BootStateFileName;
    status.legacyLoader = ReadBootStateValue(path, "legacy");
    status.uefiLoader = ReadBootStateValue(path, "uefi");
    DebugLog(L"bootstate loaded: legacy=%d uefi=%d", status.legacyLoader, status.uefiLoader);
}
