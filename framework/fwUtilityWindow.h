// A hidden window that hands its messages to one handler: the message target of components without a window of
// their own (timers, the clipboard, the application, theme services).
#pragma once

#include "foundation/cuSystem.h"
#include "framework/fwMessages.h"

using TMessageEvent = TMethod<void(TMessage& AMessage)>;

class TUtilityWindow : public TObject {
 public:
  enum class TKind {
    ukBroadcasts,  // a hidden top-level window: also receives setting, theme and session broadcasts (falls back
                   // to a message-only window where no top-level window can be made, as without a display)
    ukMessageOnly  // a message-only window: timers, clipboard ownership, posted work
  };
  // AHandler sees every message; what it leaves unhandled goes to DefWindowProcW. An exception that escapes the
  // handler is reported by the application's exception report and the message counts as handled.
  explicit TUtilityWindow(TMessageEvent AHandler, TKind AKind = TKind::ukBroadcasts);
  ~TUtilityWindow() override;

  HWND Handle() const { return FHandle; }
  void SetHandler(TMessageEvent AHandler) { FHandler = AHandler; }

 private:
  static LRESULT CALLBACK WindowProc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam);

  HWND FHandle = nullptr;
  TMessageEvent FHandler;
};
