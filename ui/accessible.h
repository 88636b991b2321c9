#pragma once
// The window's one accessible object, for screen readers: the seven loader buttons and the two
// caption glyphs as simple children of the client object, with names, states, places and a
// default action.
#include <windows.h>

#include <cstdint>

struct AppContext;

// Child ids: 1 to 7 are the loader buttons 0 to 6, then the caption glyphs.
constexpr LONG MinimizeChildId = 8;
constexpr LONG CloseChildId = 9;
constexpr LONG AccessibleChildCount = 9;

// Posted by the default action, so the click runs from the window procedure and never inside
// the reader's call; wParam is the child id.
constexpr UINT AccessibleActionMessage = WM_APP + 1;

// The answer to WM_GETOBJECT: the object for OBJID_CLIENT (made at the first ask), else what
// DefWindowProcW answers.
LRESULT AnswerGetObject(AppContext& context, WPARAM wParam, LPARAM lParam);

// At WM_DESTROY: the object keeps nothing of the window and answers every later call with
// RPC_E_DISCONNECTED; readers holding it are cut off.
void DisconnectAccessible(AppContext& context);

// What readers are told: the keyboard focus moved, the marks moved, busy or a box came or went.
void NotifyAccessibleFocus(const AppContext& context);
void NotifyAccessibleMarks(const AppContext& context);
void NotifyAccessibleStates(const AppContext& context);

// The state bits of a child as the context shows it (`hasFocus`: the window has the keyboard
// focus).
LONG AccessibleChildState(const AppContext& context, LONG child, bool hasFocus);
