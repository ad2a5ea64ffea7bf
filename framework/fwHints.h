// Hints: the hint window, and the application's hint machinery that asks the control under a resting pointer for
// its hint (CM_HINTSHOW), shows it, keeps it while the pointer stays in its cursor rectangle and takes it away
// again after a time, on a key, click or wheel turn, or when the application is deactivated.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "foundation/cuWin32.h"
#include "framework/fwControls.h"
#include "framework/fwWinControls.h"

class TApplication;
class TUtilityWindow;

// A borderless-looking topmost popup that shows one hint. It is never activated and never takes the focus; the
// pointer passes through it. The application keeps one; code may own more of its own (free-standing hints).
class THintWindow : public TCustomControl {
 public:
  explicit THintWindow(TComponent* AOwner);

  // The window rectangle, at (0, 0), that AHint needs when its lines wrap at AMaxWidth (0: the screen width).
  // AData is what the hint's THintInfo carried, for subclasses that lay out more than text.
  virtual RECT CalcHintRect(int AMaxWidth, const std::u16string& AHint, void* AData);
  // Shows AHint in ARect (screen coordinates), on top of everything, without activating anything.
  void ActivateHint(const RECT& ARect, const std::u16string& AHint);
  virtual void ActivateHintData(const RECT& ARect, const std::u16string& AHint, void* AData);
  // Hides the hint and lets its window go (a new one is made when the hint is activated again).
  void ReleaseHandle();
  // The data given with the hint now shown.
  void* HintData() const { return FData; }

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void WndProc(TMessage& AMessage) override;
  // The hint's text is kept here, never put into the window's title.
  std::u16string GetText() const override { return FText; }
  void SetTextValue(const std::u16string& AValue) override { FText = AValue; }
  // The text, wrapped, inside the border.
  void Paint() override;
  void ShowWindowState(bool AVisible) override;

 private:
  void* FData = nullptr;
};

template <class T>
THintWindow* MakeHintWindow(TComponent* AOwner) {
  return New<T>(AOwner);
}
// The class of hint window a CM_HINTSHOW handler asks for (THintInfo::HintWindowClass).
template <class T>
constexpr THintWindowClass HintWindowClassOf() {
  return &MakeHintWindow<T>;
}

// The application's hint machinery: one per application (TApplication makes it; use the application's ActivateHint,
// CancelHint and HideHint). A pointer move onto a control that shows hints (itself or the nearest parent with
// ShowHint) starts the pause; then CM_HINTSHOW asks the control under the pointer, a windowless one too. The hint
// stays while the pointer is in the cursor rectangle; leaving it asks again after the short pause, and so does the
// reshow time-out. Its timers, hook and idle handler run the program's code behind the exception boundary.
class TApplicationHints : public TComponent {
 public:
  explicit TApplicationHints(TApplication& AApplication);
  ~TApplicationHints() override;

  // Asks the control under AScreenPos now and shows its hint.
  void ActivateHint(POINT AScreenPos);
  // Hides the hint and forgets its control: the next pointer move starts the pause again.
  void CancelHint();
  // Hides the hint window only; the control stays asked.
  void HideHint();
  // The window of the last hint shown (nil before the first).
  THintWindow* HintWindow() const { return FWindow; }
  bool HintShowing() const;

 protected:
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  enum class TTimerKind : UINT_PTR { tkShow = 1, tkHide = 2 };

  // The control whose hint counts at a screen point: the one under it or its nearest parent with ShowHint.
  static TControl* HintControlAt(POINT AScreenPos);
  void PointerMoved(POINT AScreenPos);
  // Sends CM_HINTSHOW and shows what it answers. A reshow keeps the hint shown when the answer brings no other
  // text.
  void Ask(POINT AScreenPos, bool AReshow);
  void Show(const THintInfo& AInfo, POINT AScreenPos);
  void SetHintControl(TControl* AControl);
  void StartTimer(TTimerKind AKind, int AInterval);
  void StopTimer(TTimerKind AKind);
  void TimerMessage(TMessage& AMessage);
  bool MessageHook(MSG& AMessage);
  void Idle(TObject* ASender, bool& ADone);

  TApplication& FApplication;
  std::unique_ptr<TUtilityWindow> FTimerWindow;
  THintWindow* FWindow = nullptr;
  THintWindowClass FWindowClass = nullptr;
  TControl* FHintControl = nullptr;  // the control the pointer rests on (asked or waiting for the pause)
  TControl* FAsking = nullptr;       // the control inside CM_HINTSHOW; cleared when it is freed meanwhile
  bool FAsked = false;               // FHintControl answered; FCursorRect holds
  RECT FCursorRect{};                // screen coordinates
  bool FReshowPending = false;       // the show timer asks again for the control already asked
  std::u16string FShownText;         // the hint last shown for FHintControl since it was asked afresh
  // Where the pointer rested when asking failed: mouse moves that are no move (the system sends some) must not
  // ask, and fail, again.
  std::optional<POINT> FFailedAt;
};
