// The message record every window procedure of the framework hands to its handlers, the typed views handlers
// read it through, and the framework's own message numbers.
#pragma once

#include <cstdint>

#include "foundation/cuSet.h"
#include "foundation/cuWin32.h"

// One window message as a handler sees it. A handler that answers calls Answer (the message is handled, with
// that result); an unhandled message goes on to the default processing.
struct TMessage {
  HWND Wnd = nullptr;
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
  bool Handled = false;

  void Answer(LRESULT AResult = 0) {
    Result = AResult;
    Handled = true;
  }
};

// The keys and buttons held during a key or mouse message, and whether a press completes a double click.
enum class TShiftFlag : uint16_t {
  ssShift = 0x01,
  ssAlt = 0x02,
  ssCtrl = 0x04,
  ssLeft = 0x08,
  ssRight = 0x10,
  ssMiddle = 0x20,
  ssDouble = 0x40
};
constexpr bool IsFlagFamily(TShiftFlag) { return true; }
using enum TShiftFlag;
using TShiftState = TSet<TShiftFlag>;

// Key state of a key message's data (Alt from the data, Shift and Ctrl from the keyboard state).
TShiftState KeyDataToShiftState(LPARAM AKeyData);
// Mouse message key bits (MK_...) with the Alt state.
TShiftState KeysToShiftState(WPARAM AKeys);
// The keyboard's present Shift, Ctrl and Alt state.
TShiftState KeyboardShiftState();
// The point of a mouse message (signed coordinates).
inline POINT PointFromLParam(LPARAM AValue) {
  return POINT{static_cast<short>(LOWORD(AValue)), static_cast<short>(HIWORD(AValue))};
}

// ---------------------------------------------------------------------------------------------------------------
// Typed views: each decodes its message once where it is dispatched; the handler takes the view and answers
// through its Message.

// WM_MOUSEMOVE and the button messages: the client point and the keys held.
struct TMouseMessage {
  explicit TMouseMessage(TMessage& AMessage)
      : Message(AMessage), Pos(PointFromLParam(AMessage.LParam)), Shift(KeysToShiftState(AMessage.WParam)) {}
  TMessage& Message;
  POINT Pos;
  TShiftState Shift;
};

// WM_MOUSEWHEEL: the signed delta (WHEEL_DELTA per step), the keys held and the screen point.
struct TWheelMessage {
  explicit TWheelMessage(TMessage& AMessage)
      : Message(AMessage),
        Delta(GET_WHEEL_DELTA_WPARAM(AMessage.WParam)),
        Shift(KeysToShiftState(GET_KEYSTATE_WPARAM(AMessage.WParam))),
        ScreenPos(PointFromLParam(AMessage.LParam)) {}
  TMessage& Message;
  int Delta;
  TShiftState Shift;
  POINT ScreenPos;
};

// WM_CONTEXTMENU: the screen point, or none when the menu was asked for from the keyboard.
struct TContextMenuMessage {
  explicit TContextMenuMessage(TMessage& AMessage) : Message(AMessage), ScreenPos(PointFromLParam(AMessage.LParam)) {}
  bool FromKeyboard() const { return ScreenPos.x == -1 && ScreenPos.y == -1; }
  TMessage& Message;
  POINT ScreenPos;
};

// WM_KEYDOWN, WM_KEYUP and their WM_SYS... forms: the virtual key (a handler may change it; 0 consumes it), the
// key data and the shift state.
struct TKeyMessage {
  explicit TKeyMessage(TMessage& AMessage)
      : Message(AMessage),
        Key(static_cast<uint16_t>(AMessage.WParam)),
        KeyData(AMessage.LParam),
        Shift(KeyDataToShiftState(AMessage.LParam)) {}
  bool Down() const { return Message.Msg == WM_KEYDOWN || Message.Msg == WM_SYSKEYDOWN; }
  bool System() const { return Message.Msg == WM_SYSKEYDOWN || Message.Msg == WM_SYSKEYUP; }
  TMessage& Message;
  uint16_t Key;
  LPARAM KeyData;
  TShiftState Shift;
};

// WM_CHAR and WM_SYSCHAR: the character (a handler may change it; 0 consumes it) and the key data.
struct TCharMessage {
  explicit TCharMessage(TMessage& AMessage)
      : Message(AMessage), Char(static_cast<char16_t>(AMessage.WParam)), KeyData(AMessage.LParam) {}
  bool System() const { return Message.Msg == WM_SYSCHAR; }
  TMessage& Message;
  char16_t Char;
  LPARAM KeyData;
};

// WM_SETCURSOR: the window under the pointer and the hit-test code.
struct TSetCursorMessage {
  explicit TSetCursorMessage(TMessage& AMessage)
      : Message(AMessage), Window(reinterpret_cast<HWND>(AMessage.WParam)), HitTest(LOWORD(AMessage.LParam)) {}
  TMessage& Message;
  HWND Window;
  UINT HitTest;
};

// WM_ACTIVATE: whether the window is being activated or left, and whether it is minimised.
struct TActivateMessage {
  explicit TActivateMessage(TMessage& AMessage)
      : Message(AMessage), State(LOWORD(AMessage.WParam)), Minimized(HIWORD(AMessage.WParam) != 0) {}
  bool Inactive() const { return State == WA_INACTIVE; }
  TMessage& Message;
  UINT State;
  bool Minimized;
};

// WM_SIZE: the kind of change (SIZE_...) and the new client size.
struct TSizeMessage {
  explicit TSizeMessage(TMessage& AMessage)
      : Message(AMessage),
        Kind(static_cast<UINT>(AMessage.WParam)),
        Width(LOWORD(AMessage.LParam)),
        Height(HIWORD(AMessage.LParam)) {}
  TMessage& Message;
  UINT Kind;
  int Width, Height;
};

// Messages whose WParam is a device context or nothing and whose LParam is a window: WM_COMMAND, WM_HSCROLL,
// WM_VSCROLL, WM_CTLCOLOR..., WM_CHARTOITEM, WM_VKEYTOITEM, WM_CAPTURECHANGED, and their reflections.
struct TWindowParamMessage {
  explicit TWindowParamMessage(TMessage& AMessage)
      : Message(AMessage),
        Window(reinterpret_cast<HWND>(AMessage.LParam)),
        DC(reinterpret_cast<HDC>(AMessage.WParam)) {}
  TMessage& Message;
  HWND Window;
  HDC DC;  // the context of WM_CTLCOLOR...; meaningless for the others
};

// WM_PAINT (a context given when a parent paints a child into its own) and WM_ERASEBKGND.
struct TPaintMessage {
  explicit TPaintMessage(TMessage& AMessage) : Message(AMessage), DC(reinterpret_cast<HDC>(AMessage.WParam)) {}
  TMessage& Message;
  HDC DC;
};

// Messages whose LParam points to a record: WM_NOTIFY, WM_GETMINMAXINFO and the owner-draw messages.
template <class TRecord>
struct TRecordMessage {
  explicit TRecordMessage(TMessage& AMessage)
      : Message(AMessage), Record(*reinterpret_cast<TRecord*>(AMessage.LParam)) {}
  TMessage& Message;
  TRecord& Record;
};
using TNotifyMessage = TRecordMessage<NMHDR>;
using TMinMaxInfoMessage = TRecordMessage<MINMAXINFO>;
using TDrawItemMessage = TRecordMessage<DRAWITEMSTRUCT>;
using TMeasureItemMessage = TRecordMessage<MEASUREITEMSTRUCT>;
using TDeleteItemMessage = TRecordMessage<DELETEITEMSTRUCT>;
using TCompareItemMessage = TRecordMessage<COMPAREITEMSTRUCT>;

// The framework's messages that carry an object in LParam (CM_FOCUSCHANGED, CM_CANCELMODE, CM_HINTSHOW...).
template <class T>
T* LParamObject(const TMessage& AMessage) {
  return reinterpret_cast<T*>(AMessage.LParam);
}

// Messages between framework objects live in 0xB000..0xB0FF, inside the application range (WM_APP and above);
// WM_USER..WM_USER+3 belong to the program's own windows. Each number is fixed here when its user is built.
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

// Standard controls (fwStdCtrls, fwExtCtrls, fwListBox, fwTreeView) take CM_BASE + 0x40 .. 0x4F.
// Posted by a tree view to itself after its OnCollapsing refused a collapse: the branch is opened again should the
// system have closed it anyway (Wine's tree view ignores the refusal). No parameters.
constexpr UINT CM_KEEPBRANCHOPEN = CM_BASE + 0x40;

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
