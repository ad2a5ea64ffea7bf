// The message record every window procedure of the framework hands to its handlers, and the framework's own
// message numbers.
#pragma once

#include "foundation/cuWin32.h"

// One window message as a handler sees it. A handler that answers sets Handled and, where the message has one,
// Result; an unhandled message goes on to the default processing.
struct TMessage {
  HWND Wnd = nullptr;
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
  bool Handled = false;
};

// Messages between framework objects live in 0xB000..0xB0FF, inside the application range (WM_APP and above);
// WM_USER..WM_USER+2 belong to the program's own windows. Each number is fixed here when its user is built.
constexpr UINT CM_BASE = 0xB000;
