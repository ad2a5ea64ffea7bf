#include "framework/fwTimer.h"

#include "framework/fwUtilityWindow.h"

namespace {
constexpr UINT_PTR kTimerId = 1;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() {
  if (FRunning && FWindow) KillTimer(FWindow->Handle(), kTimerId);
}

void TTimer::SetEnabled(bool AValue) {
  if (AValue == FEnabled) return;
  FEnabled = AValue;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned AValue) {
  if (AValue == FInterval) return;
  FInterval = AValue;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent AValue) {
  FOnTimer = AValue;
  UpdateTimer();
}

void TTimer::Restart() {
  SetEnabled(false);
  SetEnabled(true);
}

void TTimer::UpdateTimer() {
  if (FRunning) {
    KillTimer(FWindow->Handle(), kTimerId);
    FRunning = false;
  }
  if (!FEnabled || FInterval == 0 || !FOnTimer) return;
  if (!FWindow)
    FWindow = std::make_unique<TUtilityWindow>(MakeMethod<&TTimer::WindowMessage>(this),
                                               TUtilityWindow::TKind::ukMessageOnly);
  if (!SetTimer(FWindow->Handle(), kTimerId, FInterval, nullptr))
    throw EOSError(u"Cannot start a timer", GetLastError());
  FRunning = true;
}

void TTimer::WindowMessage(TMessage& AMessage) {
  if (AMessage.Msg != WM_TIMER) return;
  AMessage.Answer();
  // The handler may free this timer: nothing of it is touched afterwards.
  if (FRunning && FOnTimer) {
    TNotifyEvent handler = FOnTimer;
    handler(this);
  }
}
