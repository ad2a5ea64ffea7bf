#include "framework/fwHints.h"

#include <algorithm>

#include "framework/fwApplication.h"
#include "framework/fwUtilityWindow.h"

namespace {

// Text inside the border: the window is the text's size plus these on each side (the 1-pixel border included).
constexpr int kMarginX = 4;
constexpr int kMarginY = 2;

RECT WorkAreaAt(POINT AScreenPos) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (GetMonitorInfoW(MonitorFromPoint(AScreenPos, MONITOR_DEFAULTTONEAREST), &info)) return info.rcWork;
  return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// How far below the pointer's hot spot the cursor image reaches: a hint placed there does not cover the arrow.
int CursorDepth() {
  int depth = GetSystemMetrics(SM_CYCURSOR);
  ICONINFO info{};
  if (HCURSOR cursor = GetCursor(); cursor && GetIconInfo(cursor, &info)) {
    depth -= static_cast<int>(info.yHotspot);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
  }
  return std::max(depth, 0);
}

// ARect moved into the work area; a hint that would leave it at the bottom goes above the pointer instead.
void KeepOnScreen(RECT& ARect, POINT AScreenPos) {
  const RECT work = WorkAreaAt(AScreenPos);
  const int width = ARect.right - ARect.left;
  const int height = ARect.bottom - ARect.top;
  if (ARect.bottom > work.bottom) OffsetRect(&ARect, 0, AScreenPos.y - height - ARect.top);
  if (ARect.right > work.right) OffsetRect(&ARect, work.right - ARect.right, 0);
  if (ARect.left < work.left) OffsetRect(&ARect, work.left - ARect.left, 0);
  if (ARect.top < work.top) OffsetRect(&ARect, 0, work.top - ARect.top);
  ARect.right = ARect.left + width;
  ARect.bottom = ARect.top + height;
}

bool IsKeyOrClick(UINT AMsg) {
  switch (AMsg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
    case WM_NCXBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
  SetVisible(false);
  SetColor(Application ? Application->HintColor() : clInfoBk);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    Font().AssignLogFont(metrics.lfStatusFont);
  Font().SetColor(clInfoText);
}

void THintWindow::CreateParams(TCreateParams& AParams) {
  TCustomControl::CreateParams(AParams);
  AParams.Style = WS_POPUP | WS_BORDER;
  // WS_EX_NOACTIVATE keeps clicks from activating it. No taskbar lists it: Wine's passes over owned windows but
  // not over tool windows, and would title the button with the text, line breaks drawn as boxes.
  AParams.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
  AParams.WndParent = Application ? Application->Handle() : nullptr;
  AParams.Caption.clear();
  AParams.WindowClassStyle |= CS_SAVEBITS | CS_DROPSHADOW;
}

void THintWindow::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_NCHITTEST:
      // The pointer reaches whatever lies below, and the hint is never the control under it.
      return AMessage.Answer(HTTRANSPARENT);
    case WM_MOUSEACTIVATE:
      return AMessage.Answer(MA_NOACTIVATE);
    default:
      TCustomControl::WndProc(AMessage);
  }
}

RECT THintWindow::CalcHintRect(int AMaxWidth, const std::u16string& AHint, void*) {
  if (AMaxWidth <= 0) AMaxWidth = GetSystemMetrics(SM_CXSCREEN);
  RECT r{0, 0, std::max(AMaxWidth - 2 * kMarginX, 1), 0};
  Canvas().Font().Assign(&Font());
  Canvas().DrawText(AHint, r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  return RECT{0, 0, r.right + 2 * kMarginX, r.bottom + 2 * kMarginY};
}

void THintWindow::ActivateHint(const RECT& ARect, const std::u16string& AHint) {
  ActivateHintData(ARect, AHint, nullptr);
}

void THintWindow::ActivateHintData(const RECT& ARect, const std::u16string& AHint, void* AData) {
  FData = AData;
  SetCaption(AHint);
  HandleNeeded();
  SetBoundsRect(ARect);
  if (Visible()) {
    ShowWindowState(true);  // back on top
    Invalidate();
  } else {
    SetVisible(true);
  }
  Update();
}

void THintWindow::ReleaseHandle() {
  SetVisible(false);
  DestroyHandle();
}

void THintWindow::ShowWindowState(bool AVisible) {
  if (!HandleAllocated()) return;
  if (AVisible)
    SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  else
    ShowWindow(Handle(), SW_HIDE);
}

void THintWindow::Paint() {
  RECT r = ClientRect();
  InflateRect(&r, -(kMarginX - 1), -(kMarginY - 1));
  Canvas().Brush().SetStyle(TBrushStyle::bsClear);
  Canvas().DrawText(Caption(), r, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

// ---------------------------------------------------------------------------------------------------------------

TApplicationHints::TApplicationHints(TApplication& AApplication) : TComponent(nullptr), FApplication(AApplication) {
  FApplication.AddMessageHook(MakeMethod<&TApplicationHints::MessageHook>(this));
  FApplication.AddIdleHandler(MakeMethod<&TApplicationHints::Idle>(this));
}

TApplicationHints::~TApplicationHints() {
  FApplication.RemoveIdleHandler(MakeMethod<&TApplicationHints::Idle>(this));
  FApplication.RemoveMessageHook(MakeMethod<&TApplicationHints::MessageHook>(this));
}

bool TApplicationHints::HintShowing() const { return FWindow && FWindow->Visible(); }

void TApplicationHints::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TComponent::Notification(AComponent, AOperation);
  if (AOperation != TComponentOperation::opRemove) return;
  if (AComponent == FAsking) FAsking = nullptr;
  if (AComponent == FWindow) FWindow = nullptr;
  if (AComponent == FHintControl) {
    FHintControl = nullptr;
    CancelHint();
  }
}

TControl* TApplicationHints::HintControlAt(POINT AScreenPos) {
  TControl* control = FindDragTarget(AScreenPos, true);
  while (control && !control->ShowHint()) control = control->Parent();
  return control;
}

void TApplicationHints::SetHintControl(TControl* AControl) {
  if (AControl == FHintControl) return;
  if (FHintControl) FHintControl->RemoveFreeNotification(this);
  FHintControl = AControl;
  if (FHintControl) FHintControl->FreeNotification(this);
}

void TApplicationHints::HideHint() {
  StopTimer(TTimerKind::tkHide);
  if (HintShowing()) FWindow->Hide();
}

void TApplicationHints::CancelHint() {
  StopTimer(TTimerKind::tkShow);
  HideHint();
  SetHintControl(nullptr);
  FAsked = false;
  FReshowPending = false;
  FShownText.clear();
}

void TApplicationHints::PointerMoved(POINT AScreenPos) {
  TControl* control = HintControlAt(AScreenPos);
  if (!control) return CancelHint();
  if (control == FHintControl && (!FAsked || PtInRect(&FCursorRect, AScreenPos))) return;
  // Onto another control, or out of the cursor rectangle: ask afresh, sooner when a hint was up.
  const int pause = HintShowing() ? FApplication.HintShortPause() : FApplication.HintPause();
  CancelHint();
  SetHintControl(control);
  StartTimer(TTimerKind::tkShow, pause);
}

void TApplicationHints::ActivateHint(POINT AScreenPos) { Ask(AScreenPos, false); }

void TApplicationHints::Ask(POINT AScreenPos, bool AReshow) {
  StopTimer(TTimerKind::tkShow);
  FReshowPending = false;
  TControl* control = HintControlAt(AScreenPos);
  if (!control) return CancelHint();
  if (control != FHintControl) {
    AReshow = false;
    CancelHint();
    SetHintControl(control);
  }
  if (!AReshow) FShownText.clear();

  THintInfo info;
  info.HintControl = control;
  info.HintPos = POINT{AScreenPos.x, AScreenPos.y + CursorDepth()};
  const RECT work = WorkAreaAt(AScreenPos);
  info.HintMaxWidth = work.right - work.left;
  info.HintColor = FApplication.HintColor();
  info.CursorRect = control->ClientRect();
  info.CursorPos = control->ScreenToClient(AScreenPos);
  info.HideTimeout = FApplication.HintHidePause();
  info.HintStr = control->Hint();
  FAsking = control;
  const bool suppressed = control->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
  // The handler may have freed the control, or cancelled the hint; only a freed control ends the question.
  if (!FAsking) return;
  FAsking = nullptr;
  SetHintControl(control);
  FAsked = true;
  const POINT topLeft = control->ClientToScreen(POINT{info.CursorRect.left, info.CursorRect.top});
  FCursorRect = RECT{topLeft.x, topLeft.y, topLeft.x + info.CursorRect.right - info.CursorRect.left,
                     topLeft.y + info.CursorRect.bottom - info.CursorRect.top};

  if (suppressed) {
    HideHint();
    FShownText.clear();
  } else if (!info.HintStr.empty() && !(AReshow && info.HintStr == FShownText)) {
    Show(info, AScreenPos);
  } else if (!AReshow) {
    HideHint();
  }
  if (info.ReshowTimeout > 0) {
    StartTimer(TTimerKind::tkShow, info.ReshowTimeout);
    FReshowPending = true;
  }
}

void TApplicationHints::Show(const THintInfo& AInfo, POINT AScreenPos) {
  const THintWindowClass windowClass = AInfo.HintWindowClass ? AInfo.HintWindowClass : HintWindowClassOf<THintWindow>();
  if (!FWindow || windowClass != FWindowClass) {
    FreeAndNil(FWindow);
    FWindow = windowClass(this);
    FWindowClass = windowClass;
  }
  FWindow->SetColor(AInfo.HintColor);
  RECT r = FWindow->CalcHintRect(AInfo.HintMaxWidth, AInfo.HintStr, AInfo.HintData);
  OffsetRect(&r, AInfo.HintPos.x, AInfo.HintPos.y);
  KeepOnScreen(r, AScreenPos);
  FWindow->ActivateHintData(r, AInfo.HintStr, AInfo.HintData);
  FShownText = AInfo.HintStr;
  StartTimer(TTimerKind::tkHide, AInfo.HideTimeout > 0 ? AInfo.HideTimeout : FApplication.HintHidePause());
}

void TApplicationHints::StartTimer(TTimerKind AKind, int AInterval) {
  if (!FTimerWindow)
    FTimerWindow = std::make_unique<TUtilityWindow>(MakeMethod<&TApplicationHints::TimerMessage>(this),
                                                    TUtilityWindow::TKind::ukMessageOnly);
  if (!SetTimer(FTimerWindow->Handle(), static_cast<UINT_PTR>(AKind), static_cast<UINT>(std::max(AInterval, 1)),
                nullptr))
    throw EOSError(u"Cannot start the hint timer", GetLastError());
}

void TApplicationHints::StopTimer(TTimerKind AKind) {
  if (FTimerWindow) KillTimer(FTimerWindow->Handle(), static_cast<UINT_PTR>(AKind));
}

void TApplicationHints::TimerMessage(TMessage& AMessage) {
  if (AMessage.Msg != WM_TIMER) return;
  AMessage.Answer();
  const auto kind = static_cast<TTimerKind>(AMessage.WParam);
  // One-shot: stopped before the handler runs, so a report shown from it cannot bring the tick again.
  StopTimer(kind);
  const bool done = CallGuarded([&] {
    if (kind == TTimerKind::tkHide) {
      HideHint();
    } else {
      POINT p;
      if (GetCursorPos(&p)) {
        FFailedAt = p;
        Ask(p, FReshowPending);
        FFailedAt.reset();
      }
    }
  });
  if (!done) CancelHint();
}

bool TApplicationHints::MessageHook(MSG& AMessage) {
  // Never consumes: the hint only watches what goes by.
  CallGuarded([&] {
    if (AMessage.message == WM_MOUSEMOVE) {
      if (FFailedAt && FFailedAt->x == AMessage.pt.x && FFailedAt->y == AMessage.pt.y) return;
      FFailedAt.reset();
      PointerMoved(AMessage.pt);
    } else if (IsKeyOrClick(AMessage.message))
      CancelHint();
  });
  return false;
}

void TApplicationHints::Idle(TObject*, bool&) {
  // The pointer may have left for a window that tells us nothing, or the control under it may have gone: the
  // hint goes. Idle never starts a hint; a key after which the pointer has not moved brings none back.
  if (!FHintControl) return;
  CallGuarded([&] {
    POINT p;
    if (GetCursorPos(&p) && HintControlAt(p) != FHintControl) CancelHint();
  });
}
