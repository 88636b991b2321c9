#include "ui/accessible.h"

#include "loaders/user_texts.h"
#include "tests/support/box_answerer.h"
#include "tests/support/debug_log_capture.h"
#include "tests/support/sim_drive.h"
#include "tests/support/test_window.h"
#include "ui/layout.h"

#include <gtest/gtest.h>

#include <oleacc.h>

#include <string>
#include <vector>

namespace {

// COM on the test's thread for one test, as the program's start-up has it.
struct ComApartment {
    HRESULT result = OleInitialize(nullptr);
    ~ComApartment() {
        if (SUCCEEDED(result)) {
            OleUninitialize();
        }
    }
};

VARIANT Child(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring Take(BSTR text) {
    std::wstring value = text ? text : L"";
    SysFreeString(text);
    return value;
}

LONG StateOf(IAccessible* object, LONG id) {
    VARIANT state;
    VariantInit(&state);
    return object->get_accState(Child(id), &state) == S_OK && state.vt == VT_I4 ? state.lVal : -1;
}

// Reads the tree as a reader does, from the window's client object, over a window whose
// bootstate.txt marks Bootmgr (Legacy BIOS) and Xorboot (UEFI).
TEST(AccessibleWindow, ReadersFindTheButtonsTheirStatesAndPressThemFromTheWindowProcedure) {
    ComApartment com;
    ASSERT_TRUE(SUCCEEDED(com.result));
    const std::wstring logFolder = BuildDir() + L"\\scratch\\accessible-test-log";
    ASSERT_TRUE(MakeFolders(logFolder));
    DebugLogCapture log{logFolder};
    log.Clear();
    ProgramWindow test;
    ASSERT_TRUE(OpenWithBootState(test, L"accessible_test", "legacy=1\nuefi=2\n", true));
    SetFocus(test.window);

    IAccessible* object = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(test.window, static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible), reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_NE(object, nullptr);
    LONG count = 0;
    EXPECT_EQ(object->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 9);

    const WindowLayout layout = LayoutAt(test.context.dpi);
    struct Row {
        LONG id;
        const wchar_t* name;
        const wchar_t* description;
        PixelRect place;
    } rows[] = {
        {1, L"Legacy BIOS: XorBoot", L"", layout.buttons[0]},
        {2, L"Legacy BIOS: Bootmgr", L"установлен", layout.buttons[1]},
        {3, L"Legacy BIOS: Grub4Dos", L"", layout.buttons[2]},
        {4, L"Legacy BIOS: Grub2", L"", layout.buttons[3]},
        {5, L"UEFI: Bootmgr", L"", layout.buttons[4]},
        {6, L"UEFI: Grub2", L"", layout.buttons[5]},
        {7, L"UEFI: Xorboot", L"установлен", layout.buttons[6]},
        {8, L"Свернуть", L"", layout.minimize},
        {9, L"Закрыть", L"", layout.close},
    };
    POINT origin{0, 0};
    ClientToScreen(test.window, &origin);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        BSTR text = nullptr;
        EXPECT_EQ(object->get_accName(Child(row.id), &text), S_OK);
        EXPECT_EQ(Take(text), row.name);
        object->get_accDescription(Child(row.id), &text);
        EXPECT_EQ(Take(text), row.description);
        EXPECT_EQ(object->get_accDefaultAction(Child(row.id), &text), S_OK);
        EXPECT_EQ(Take(text), L"Нажать");
        VARIANT role;
        VariantInit(&role);
        EXPECT_EQ(object->get_accRole(Child(row.id), &role), S_OK);
        EXPECT_EQ(role.lVal, ROLE_SYSTEM_PUSHBUTTON);
        LONG x = 0, y = 0, w = 0, h = 0;
        EXPECT_EQ(object->accLocation(&x, &y, &w, &h, Child(row.id)), S_OK);
        EXPECT_EQ(x, origin.x + row.place.x);
        EXPECT_EQ(y, origin.y + row.place.y);
        EXPECT_EQ(w, row.place.width);
        EXPECT_EQ(h, row.place.height);
    }

    // The focus starts on the recorded Legacy BIOS loader: Bootmgr, child 2.
    const bool focused = GetFocus() == test.window;
    EXPECT_EQ(StateOf(object, 2), STATE_SYSTEM_FOCUSABLE | (focused ? STATE_SYSTEM_FOCUSED : 0));
    EXPECT_EQ(StateOf(object, 3), STATE_SYSTEM_FOCUSABLE);
    EXPECT_EQ(StateOf(object, 9), 0);
    test.context.pointer.hover = {ZoneKind::Button, 4};
    EXPECT_EQ(StateOf(object, 5), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_HOTTRACKED);
    test.context.pointer.hover = {};
    for (bool busy : {true, false}) {
        test.context.status.busy = busy;
        test.context.status.modalShown = !busy;
        EXPECT_EQ(StateOf(object, 3), STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_UNAVAILABLE) << busy;
        EXPECT_EQ(StateOf(object, 8), STATE_SYSTEM_UNAVAILABLE) << busy;
    }
    test.context.status.modalShown = false;

    // The press only posts: the click runs when the window procedure takes the message.
    BoxAnswerer answerer;
    answerer.Start();
    EXPECT_EQ(object->accDoDefaultAction(Child(5)), S_OK);
    EXPECT_TRUE(answerer.boxes.empty()) << "the click ran inside the reader's call";
    MSG message;
    while (PeekMessageW(&message, test.window, AccessibleActionMessage, AccessibleActionMessage,
                        PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    EXPECT_EQ(answerer.Finish(), std::vector<std::wstring>{TargetRefusalText(L"Q:")});
    EXPECT_NE(log.Text().find("RunAction index=4 "), std::string::npos) << log.Text();

    test.Destroy();
    BSTR text = nullptr;
    EXPECT_EQ(object->get_accName(Child(1), &text), RPC_E_DISCONNECTED);
    EXPECT_EQ(object->accDoDefaultAction(Child(1)), RPC_E_DISCONNECTED);
    object->Release();
    DeleteFileW((test.context.bootDir + L"\\bootstate.txt").c_str());
}

} // namespace
