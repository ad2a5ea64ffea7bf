// The timer component: OnTimer every Interval milliseconds while Enabled. Ticks are window messages, so they
// also arrive inside modal loops (message boxes, modal forms, menus).
#pragma once

#include <memory>

#include "framework/fwComponents.h"

class TUtilityWindow;
struct TMessage;

class TTimer : public TComponent {
 public:
  // Enabled, 1000 ms, no handler: a timer runs only while it is enabled, has a non-zero interval and a handler.
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool Enabled() const { return FEnabled; }
  // Disabling and enabling again restarts the full interval.
  void SetEnabled(bool AValue);
  unsigned Interval() const { return FInterval; }
  // A new interval restarts the timer.
  void SetInterval(unsigned AValue);
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent AValue);

  // Disable + enable: the next tick comes one full interval from now.
  void Restart();

 private:
  void UpdateTimer();
  void WindowMessage(TMessage& AMessage);

  bool FEnabled = true;
  unsigned FInterval = 1000;
  TNotifyEvent FOnTimer;
  bool FRunning = false;
  std::unique_ptr<TUtilityWindow> FWindow;
};
