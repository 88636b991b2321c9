#include "ui/accessible.h"

#include <oleacc.h>

#include <string>

#include "loaders/user_texts.h"
#include "res/resource_ids.h"
#include "ui/app_context.h"
#include "ui/layout.h"
#include "ui/poll.h"

namespace {

bool IsChild(LONG child) {
    return child >= 1 && child <= AccessibleChildCount;
}

bool IsLoaderChild(LONG child) {
    return child >= 1 && child <= LoaderCount;
}

// The child a VARIANT names: CHILDID_SELF (0), 1 to 9, or -1 for anything else.
LONG ChildOf(const VARIANT& v) {
    if (v.vt != VT_I4) {
        return -1;
    }
    return v.lVal == CHILDID_SELF || IsChild(v.lVal) ? v.lVal : -1;
}

LONG ChildOfZone(const HitZone& zone) {
    switch (zone.kind) {
    case ZoneKind::Button:
        return zone.button + 1;
    case ZoneKind::Minimize:
        return MinimizeChildId;
    case ZoneKind::Close:
        return CloseChildId;
    default:
        return CHILDID_SELF;
    }
}

HRESULT ReturnString(const std::wstring& text, BSTR* out) {
    if (!out) {
        return E_INVALIDARG;
    }
    *out = nullptr;
    if (text.empty()) {
        return S_FALSE;
    }
    *out = SysAllocString(text.c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
}

void SetChildVariant(VARIANT* out, LONG child) {
    out->vt = VT_I4;
    out->lVal = child;
}

} // namespace

// The program's only COM object; everything it says is read from the context at the call.
struct WindowAccessible final : public IAccessible {
    LONG refCount = 1;
    AppContext* context; // null once the window is gone

    explicit WindowAccessible(AppContext* owner) : context(owner) {}
    virtual ~WindowAccessible() = default;

    bool HasFocus() const { return GetFocus() == context->window; }

    // RPC_E_DISCONNECTED once the window is gone, E_INVALIDARG for a child that is none of ours;
    // else S_OK with `id` the child (CHILDID_SELF for the client itself).
    HRESULT Resolve(const VARIANT& child, LONG& id) const {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        id = ChildOf(child);
        return id < 0 ? E_INVALIDARG : S_OK;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (id == __uuidof(IUnknown) || id == __uuidof(IDispatch) || id == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refCount); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&refCount);
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IDispatch: readers use the interface's own calls.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) {
            return E_INVALIDARG;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        return AccessibleObjectFromWindow(context->window, static_cast<DWORD>(OBJID_WINDOW),
                                          __uuidof(IDispatch), reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        *count = AccessibleChildCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        *out = nullptr;
        // The children are simple elements, answered through this object.
        return IsChild(ChildOf(child)) ? S_FALSE : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        LONG id = 0;
        if (const HRESULT refused = Resolve(child, id); FAILED(refused)) {
            return refused;
        }
        const std::wstring text = id == CHILDID_SELF      ? std::wstring(AppCaption)
                                  : id == MinimizeChildId ? std::wstring(MinimizeName)
                                  : id == CloseChildId    ? std::wstring(CloseName)
                                                          : LoaderButtonName(id - 1);
        return ReturnString(text, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        *value = nullptr;
        return ChildOf(child) < 0 ? E_INVALIDARG : DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        LONG id = 0;
        if (const HRESULT refused = Resolve(child, id); FAILED(refused)) {
            return refused;
        }
        const bool marked =
            IsLoaderChild(id) && IsInstalled(Loaders[id - 1].loader, context->status.legacyLoader,
                                             context->status.uefiLoader);
        return ReturnString(marked ? InstalledDescription : L"", description);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        LONG id = 0;
        if (const HRESULT refused = Resolve(child, id); FAILED(refused)) {
            return refused;
        }
        role->vt = VT_I4;
        role->lVal = id == CHILDID_SELF ? ROLE_SYSTEM_CLIENT : ROLE_SYSTEM_PUSHBUTTON;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        LONG id = 0;
        if (const HRESULT refused = Resolve(child, id); FAILED(refused)) {
            return refused;
        }
        state->vt = VT_I4;
        state->lVal = AccessibleChildState(*context, id, HasFocus());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        *help = nullptr;
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        *file = nullptr;
        *topic = 0;
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* shortcut) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        *shortcut = nullptr;
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        VariantInit(focus);
        if (!HasFocus()) {
            return S_FALSE;
        }
        SetChildVariant(focus, context->keyboard.button + 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        VariantInit(selection);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        LONG id = 0;
        if (const HRESULT refused = Resolve(child, id); FAILED(refused)) {
            return refused;
        }
        return ReturnString(IsChild(id) ? PressActionName : L"", action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override {
        return context ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        LONG id = 0;
        if (const HRESULT refused = Resolve(child, id); FAILED(refused)) {
            return refused;
        }
        const WindowLayout layout = LayoutAt(context->dpi);
        const PixelRect r = id == CHILDID_SELF      ? layout.window
                            : id == MinimizeChildId ? layout.minimize
                            : id == CloseChildId    ? layout.close
                                                    : layout.buttons[id - 1];
        POINT corner{r.x, r.y};
        ClientToScreen(context->window, &corner);
        *left = corner.x;
        *top = corner.y;
        *width = r.width;
        *height = r.height;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        VariantInit(end);
        const LONG from = ChildOf(start);
        LONG to = 0;
        if (from == CHILDID_SELF && direction == NAVDIR_FIRSTCHILD) {
            to = 1;
        } else if (from == CHILDID_SELF && direction == NAVDIR_LASTCHILD) {
            to = AccessibleChildCount;
        } else if (IsChild(from) && (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN)) {
            to = from + 1;
        } else if (IsChild(from) && (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP)) {
            to = from - 1;
        }
        if (!IsChild(to)) {
            return S_FALSE;
        }
        SetChildVariant(end, to);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        if (!context) {
            return RPC_E_DISCONNECTED;
        }
        VariantInit(child);
        POINT client{x, y};
        ScreenToClient(context->window, &client);
        RECT area{};
        GetClientRect(context->window, &area);
        if (!PtInRect(&area, client)) {
            return S_FALSE;
        }
        SetChildVariant(child, ChildOfZone(HitTest(LayoutAt(context->dpi), client.x, client.y)));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        LONG id = 0;
        if (const HRESULT refused = Resolve(child, id); FAILED(refused)) {
            return refused;
        }
        if (!IsChild(id)) {
            return DISP_E_MEMBERNOTFOUND;
        }
        return PostMessageW(context->window, AccessibleActionMessage, static_cast<WPARAM>(id), 0)
                   ? S_OK
                   : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }
};

LONG AccessibleChildState(const AppContext& context, LONG child, bool hasFocus) {
    LONG state = 0;
    if (context.status.busy || context.status.modalShown) {
        state |= STATE_SYSTEM_UNAVAILABLE;
    }
    if (child == CHILDID_SELF) {
        return state | STATE_SYSTEM_FOCUSABLE | (hasFocus ? STATE_SYSTEM_FOCUSED : 0);
    }
    if (IsLoaderChild(child)) {
        state |= STATE_SYSTEM_FOCUSABLE;
        if (hasFocus && context.keyboard.button == child - 1) {
            state |= STATE_SYSTEM_FOCUSED;
        }
    }
    if (IsChild(child) && ChildOfZone(context.pointer.hover) == child) {
        state |= STATE_SYSTEM_HOTTRACKED;
    }
    return state;
}

LRESULT AnswerGetObject(AppContext& context, WPARAM wParam, LPARAM lParam) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT) {
        return DefWindowProcW(context.window, WM_GETOBJECT, wParam, lParam);
    }
    if (!context.accessible) {
        context.accessible = new WindowAccessible(&context);
    }
    // Marshals the object; fails on a thread that has not initialised COM.
    return LresultFromObject(__uuidof(IAccessible), wParam, context.accessible);
}

void DisconnectAccessible(AppContext& context) {
    WindowAccessible* accessible = context.accessible;
    if (!accessible) {
        return;
    }
    context.accessible = nullptr;
    accessible->context = nullptr;
    CoDisconnectObject(accessible, 0);
    accessible->Release();
}

void NotifyAccessibleFocus(const AppContext& context) {
    NotifyWinEvent(EVENT_OBJECT_FOCUS, context.window, OBJID_CLIENT, context.keyboard.button + 1);
}

void NotifyAccessibleMarks(const AppContext& context) {
    for (LONG child = 1; child <= LoaderCount; ++child) {
        NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, context.window, OBJID_CLIENT, child);
    }
}

void NotifyAccessibleStates(const AppContext& context) {
    for (LONG child = 1; child <= AccessibleChildCount; ++child) {
        NotifyWinEvent(EVENT_OBJECT_STATECHANGE, context.window, OBJID_CLIENT, child);
    }
}
