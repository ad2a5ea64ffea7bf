// Hooks on a window's procedure through comctl32's id-based subclassing (SetWindowSubclass, DefSubclassProc,
// RemoveWindowSubclass), never a swap of the window procedure: hooks on one window stack, the latest first, and
// come off in any order.
#pragma once

#include "foundation/cuSystem.h"
#include "framework/fwMessages.h"

using TWindowHookEvent = TMethod<void(TMessage& AMessage)>;

// One hook, on from construction until destruction or until its window goes (then it comes off by itself and
// Window() is nil). The handler sees each message before the hooks installed earlier and the window's own
// procedure; a message it answers stops there, with its result; what it leaves unhandled goes on. An exception
// that escapes the handler is reported by the application's exception report and the message counts as handled
// with result 0. The handler may free the hook.
class TWindowSubclass : public TObject {
 public:
  TWindowSubclass(HWND AWindow, TWindowHookEvent AHandler);
  ~TWindowSubclass() override;

  HWND Window() const { return FWindow; }

 private:
  static LRESULT CALLBACK HookProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam, UINT_PTR AId,
                                   DWORD_PTR AData);
  UINT_PTR Id() const { return reinterpret_cast<UINT_PTR>(this); }

  HWND FWindow;
  TWindowHookEvent FHandler;
};
