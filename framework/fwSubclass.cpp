#include "framework/fwSubclass.h"

#include <commctrl.h>

#include "framework/fwApplication.h"

// The hook's address is its id: two hooks with the same handler on one window stay apart.
TWindowSubclass::TWindowSubclass(HWND AWindow, TWindowHookEvent AHandler) : FWindow(AWindow), FHandler(AHandler) {
  if (!SetWindowSubclass(AWindow, &TWindowSubclass::HookProc, Id(), reinterpret_cast<DWORD_PTR>(this)))
    throw EOSError(u"Cannot hook the window procedure", GetLastError());
}

TWindowSubclass::~TWindowSubclass() {
  if (FWindow) RemoveWindowSubclass(FWindow, &TWindowSubclass::HookProc, Id());
}

LRESULT CALLBACK TWindowSubclass::HookProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam, UINT_PTR AId,
                                           DWORD_PTR AData) {
  auto* self = reinterpret_cast<TWindowSubclass*>(AData);
  // The hook comes off before the window's last message, while it is surely alive.
  if (AMsg == WM_NCDESTROY) {
    RemoveWindowSubclass(AWindow, &TWindowSubclass::HookProc, AId);
    self->FWindow = nullptr;
  }
  TMessage message{AWindow, AMsg, AWParam, ALParam, 0, false};
  const TWindowHookEvent handler = self->FHandler;
  // The handler may free the hook: only locals are used after it.
  if (handler && !CallGuarded([&] { handler(message); })) message.Answer(0);
  return message.Handled ? message.Result : DefSubclassProc(AWindow, AMsg, AWParam, ALParam);
}
