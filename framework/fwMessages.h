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

// Control messages (fwControls, fwWinControls, fwForms). Parameters are given where a message has any.
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 0x01;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 0x02;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 0x03;
constexpr UINT CM_COLORCHANGED = CM_BASE + 0x04;
constexpr UINT CM_FONTCHANGED = CM_BASE + 0x05;
constexpr UINT CM_CURSORCHANGED = CM_BASE + 0x06;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 0x07;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 0x08;
constexpr UINT CM_SHOWHINTCHANGED = CM_BASE + 0x09;
constexpr UINT CM_PARENTSHOWHINTCHANGED = CM_BASE + 0x0A;
// A windowed control became shown or hidden together with its parents.
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 0x0B;
constexpr UINT CM_MOUSEENTER = CM_BASE + 0x0C;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 0x0D;
// A press or drag must end: the focus moves away (LParam: the control that takes it) or the mouse capture was
// taken (LParam: the control that holds it now, or nil).
constexpr UINT CM_CANCELMODE = CM_BASE + 0x0E;
// LParam: THintInfo*; a non-zero result keeps the hint from showing.
constexpr UINT CM_HINTSHOW = CM_BASE + 0x0F;
// WParam: the virtual key, LParam: the key data; a non-zero result consumes the key.
constexpr UINT CM_DIALOGKEY = CM_BASE + 0x10;
// WParam: the character, LParam: the key data; a non-zero result consumes it.
constexpr UINT CM_DIALOGCHAR = CM_BASE + 0x11;
// LParam: the windowed control that now has the focus (nil: the form itself).
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 0x12;
constexpr UINT CM_ENTER = CM_BASE + 0x13;
constexpr UINT CM_EXIT = CM_BASE + 0x14;
constexpr UINT CM_TABSTOPCHANGED = CM_BASE + 0x15;
// Posted to a form by Release: the form frees itself.
constexpr UINT CM_RELEASE = CM_BASE + 0x16;
// WParam: the group index, LParam: the button; sent among the buttons of one parent.
constexpr UINT CM_BUTTONPRESSED = CM_BASE + 0x18;
// The 3-D look of a windowed control changed; a child with ParentCtl3D takes its parent's.
constexpr UINT CM_CTL3DCHANGED = CM_BASE + 0x19;
constexpr UINT CM_PARENTCTL3DCHANGED = CM_BASE + 0x1A;
// CM_BASE + 0x52 belongs to the window-procedure hooker of the control library.

// Notifications a parent window receives for a child window (WM_COMMAND, WM_NOTIFY, owner-draw, colours, scroll
// bars) are reflected to the child's control under these numbers, with the original parameters.
constexpr UINT CN_BASE = CM_BASE + 0xC0;
constexpr UINT CN_COMMAND = CN_BASE + 0x00;
constexpr UINT CN_NOTIFY = CN_BASE + 0x01;
constexpr UINT CN_DRAWITEM = CN_BASE + 0x02;
constexpr UINT CN_MEASUREITEM = CN_BASE + 0x03;
constexpr UINT CN_DELETEITEM = CN_BASE + 0x04;
constexpr UINT CN_COMPAREITEM = CN_BASE + 0x05;
constexpr UINT CN_HSCROLL = CN_BASE + 0x06;
constexpr UINT CN_VSCROLL = CN_BASE + 0x07;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + 0x08;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + 0x09;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + 0x0A;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + 0x0B;
constexpr UINT CN_CTLCOLORSCROLLBAR = CN_BASE + 0x0C;
constexpr UINT CN_CHARTOITEM = CN_BASE + 0x0D;
constexpr UINT CN_VKEYTOITEM = CN_BASE + 0x0E;
