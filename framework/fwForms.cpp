#include "framework/fwForms.h"

#include <algorithm>
#include <vector>

#include "framework/fwScreen.h"

namespace {

// Top-level windows of this thread that a modal form disables.
struct TEnabledWindows {
  HWND Keep;
  std::vector<HWND> List;
  bool Failed = false;
};

BOOL CALLBACK CollectEnabledWindow(HWND AWindow, LPARAM AParam) {
  auto* windows = reinterpret_cast<TEnabledWindows*>(AParam);
  try {
    if (AWindow != windows->Keep && IsWindowVisible(AWindow) && IsWindowEnabled(AWindow))
      windows->List.push_back(AWindow);
    return TRUE;
  } catch (...) {
    windows->Failed = true;
    return FALSE;
  }
}

// Window placements are in workspace coordinates (relative to the work area) unless the window is a tool window.
POINT WorkspaceOffset(HWND AWindow) {
  if (GetWindowLongW(AWindow, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) return POINT{0, 0};
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(MonitorFromWindow(AWindow, MONITOR_DEFAULTTOPRIMARY), &info)) return POINT{0, 0};
  return POINT{info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

RECT WorkArea() {
  RECT area;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
    area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return area;
}

// A shown, not minimised form's window rectangle.
bool ShownRect(TCustomForm* AForm, RECT& ARect) {
  if (!AForm) return false;
  HWND window = AForm->HandleIfAllocated();
  return window && IsWindowVisible(window) && !IsIconic(window) && GetWindowRect(window, &ARect);
}

TCustomForm* MainFormOf() { return Application ? dynamic_cast<TCustomForm*>(Application->MainForm()) : nullptr; }

}  // namespace

TCustomForm::TCustomForm(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(csAcceptsControls | csClickEvents | csDoubleClicks);
  SetVisible(false);
  SetParentFont(false);
  SetParentShowHint(false);
  SetBounds(0, 0, 320, 240);
}

TCustomForm::~TCustomForm() = default;

void TCustomForm::AfterConstruction() {
  TCustomControl::AfterConstruction();
  if (FCreated) return;
  FCreated = true;
  DoCreate();
}

void TCustomForm::BeforeDestruction() {
  Destroying();
  if (!FDestroyed) {
    FDestroyed = true;
    // The form goes whatever OnDestroy does: a failure is reported, not passed on.
    CallGuarded([this] { DoDestroy(); });
  }
  TCustomControl::BeforeDestruction();
}

void TCustomForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TCustomForm::DoDestroy() {
  if (OnDestroy) OnDestroy(this);
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& AAction) {
  if (OnClose) OnClose(this, AAction);
}

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

bool TCustomForm::IsMainForm() const { return Application && Application->MainForm() == this; }

// ---------------------------------------------------------------------------------------------------------------
// Window

void TCustomForm::CreateParams(TCreateParams& AParams) {
  TCustomControl::CreateParams(AParams);
  const bool embedded = Parent() != nullptr;
  if (embedded) {
    AParams.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    if (Visible()) AParams.Style |= WS_VISIBLE;
  } else {
    // Shown by ShowWindowState, never by its style.
    AParams.Style = WS_CLIPCHILDREN;
    TCustomForm* main = MainFormOf();
    AParams.WndParent = main && main != this ? main->HandleIfAllocated() : nullptr;
    AParams.ClassIcon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
    if (FPosition == TPosition::poDefault) AParams.X = AParams.Y = CW_USEDEFAULT;
    if (FFormStyle == TFormStyle::fsStayOnTop) AParams.ExStyle |= WS_EX_TOPMOST;
  }
  if (!Enabled()) AParams.Style |= WS_DISABLED;
  switch (FBorderStyle) {
    case TFormBorderStyle::bsNone:
      if (!embedded) AParams.Style |= WS_POPUP;
      break;
    case TFormBorderStyle::bsSingle:
      AParams.Style |= WS_CAPTION;
      break;
    case TFormBorderStyle::bsSizeable:
      AParams.Style |= WS_CAPTION | WS_THICKFRAME;
      break;
    case TFormBorderStyle::bsDialog:
      AParams.Style |= WS_CAPTION;
      AParams.ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
    case TFormBorderStyle::bsToolWindow:
      AParams.Style |= WS_CAPTION;
      AParams.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case TFormBorderStyle::bsSizeToolWin:
      AParams.Style |= WS_CAPTION | WS_THICKFRAME;
      AParams.ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (FBorderStyle != TFormBorderStyle::bsNone) {
    if (FBorderIcons.Contains(biSystemMenu)) AParams.Style |= WS_SYSMENU;
    const bool minMax = FBorderStyle == TFormBorderStyle::bsSingle || FBorderStyle == TFormBorderStyle::bsSizeable;
    if (minMax && FBorderIcons.Contains(biMinimize)) AParams.Style |= WS_MINIMIZEBOX;
    if (minMax && FBorderIcons.Contains(biMaximize)) AParams.Style |= WS_MAXIMIZEBOX;
    if (FBorderIcons.Contains(biHelp) && !(AParams.Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)))
      AParams.ExStyle |= WS_EX_CONTEXTHELP;
  }
}

void TCustomForm::DestroyWnd() {
  // A window made again shows its restored rectangle in its state.
  if (HWND window = HandleIfAllocated(); window && !Parent() && FWindowState != TFormWindowState::wsNormal) {
    const RECT r = RestoredBounds();
    StoreBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
  TCustomControl::DestroyWnd();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle AValue) {
  if (AValue == FBorderStyle) return;
  FBorderStyle = AValue;
  RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons AValue) {
  if (AValue == FBorderIcons) return;
  FBorderIcons = AValue;
  RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle AValue) {
  if (AValue == FFormStyle) return;
  FFormStyle = AValue;
  if (!Parent()) RecreateWnd();
}

void TCustomForm::SetPosition(TPosition AValue) { FPosition = AValue; }

// ---------------------------------------------------------------------------------------------------------------
// Bounds and state

RECT TCustomForm::RestoredBounds() const {
  HWND window = HandleIfAllocated();
  if (window && !Parent()) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (GetWindowPlacement(window, &placement)) {
      RECT r = placement.rcNormalPosition;
      const POINT offset = WorkspaceOffset(window);
      OffsetRect(&r, offset.x, offset.y);
      return r;
    }
  }
  return BoundsRect();
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  HWND window = HandleIfAllocated();
  if (!window || Parent() || !(IsIconic(window) || IsZoomed(window))) {
    TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    return;
  }
  // Minimised or maximised: the rectangle to restore to changes.
  Constraints().Apply(AWidth, AHeight);
  WINDOWPLACEMENT placement{};
  placement.length = sizeof(placement);
  GetWindowPlacement(window, &placement);
  const POINT offset = WorkspaceOffset(window);
  placement.rcNormalPosition =
      RECT{ALeft - offset.x, ATop - offset.y, ALeft - offset.x + AWidth, ATop - offset.y + AHeight};
  if (!IsWindowVisible(window)) placement.showCmd = SW_HIDE;
  SetWindowPlacement(window, &placement);
  if (IsIconic(window)) StoreBounds(ALeft, ATop, AWidth, AHeight);
}

void TCustomForm::SetWindowState(TFormWindowState AValue) {
  if (AValue == FWindowState) return;
  FWindowState = AValue;
  HWND window = HandleIfAllocated();
  if (!window || Parent() || !IsWindowVisible(window)) return;
  switch (AValue) {
    case TFormWindowState::wsMinimized:
      ShowWindow(window, SW_MINIMIZE);
      break;
    case TFormWindowState::wsMaximized:
      ShowWindow(window, SW_MAXIMIZE);
      break;
    case TFormWindowState::wsNormal:
      ShowWindow(window, SW_RESTORE);
      break;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Showing and closing

void TCustomForm::Show() {
  SetVisible(true);
  BringToFront();
}

void TCustomForm::SetVisible(bool AValue) {
  if (AValue == Visible()) {
    // Shown again after its window was hidden from outside (or made again).
    HWND window = HandleIfAllocated();
    if (AValue && !Parent() && window && !IsWindowVisible(window)) ShowWindowState(true);
    return;
  }
  if (AValue && !Parent()) {
    HandleNeeded();
    ApplyPosition();
  }
  TCustomControl::SetVisible(AValue);
}

void TCustomForm::ShowWindowState(bool AVisible) {
  if (Parent()) {
    TCustomControl::ShowWindowState(AVisible);
    return;
  }
  if (!AVisible) {
    if (HWND window = HandleIfAllocated()) ShowWindow(window, SW_HIDE);
    return;
  }
  HWND window = Handle();
  int command = SW_SHOWNORMAL;
  if (FWindowState == TFormWindowState::wsMinimized)
    command = SW_SHOWMINIMIZED;
  else if (FWindowState == TFormWindowState::wsMaximized)
    command = SW_SHOWMAXIMIZED;
  ShowWindow(window, command);
}

void TCustomForm::ApplyPosition() {
  const RECT area = WorkArea();
  RECT target = area;
  switch (FPosition) {
    case TPosition::poDesigned:
    case TPosition::poDefault:
      return;
    case TPosition::poScreenCenter:
      break;
    case TPosition::poOwnerFormCenter:
      if (auto* owner = dynamic_cast<TCustomForm*>(Owner()); owner != this && ShownRect(owner, target)) break;
      [[fallthrough]];
    case TPosition::poMainFormCenter: {
      TCustomForm* main = MainFormOf();
      if (main == this || !ShownRect(main, target)) target = area;
      break;
    }
  }
  int left = target.left + ((target.right - target.left) - Width()) / 2;
  int top = target.top + ((target.bottom - target.top) - Height()) / 2;
  left = std::max<int>(area.left, std::min<int>(left, area.right - Width()));
  top = std::max<int>(area.top, std::min<int>(top, area.bottom - Height()));
  SetBounds(left, top, Width(), Height());
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = IsMainForm() ? TCloseAction::caFree : TCloseAction::caHide;
  DoClose(action);
  if (action == TCloseAction::caNone) return;
  if (IsMainForm()) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case TCloseAction::caHide:
      Hide();
      break;
    case TCloseAction::caMinimize:
      SetWindowState(TFormWindowState::wsMinimized);
      break;
    case TCloseAction::caFree:
      Release();
      break;
    case TCloseAction::caNone:
      break;
  }
}

void TCustomForm::Release() { PostMessageW(Handle(), CM_RELEASE, 0, 0); }

void TCustomForm::CloseModal() {
  TCloseAction action = TCloseAction::caNone;
  if (CloseQuery()) {
    action = TCloseAction::caHide;
    DoClose(action);
  }
  if (action == TCloseAction::caNone) FModalResult = mrNone;
}

TModalResult TCustomForm::ShowModal() {
  if (Visible() || !Enabled() || FModal || Parent()) throw EInvalidOperation(u"Cannot make a visible window modal");
  if (!Application) throw EInvalidOperation(u"A modal form needs the application's message loop");
  if (HWND capture = GetCapture()) {
    SendMessageW(capture, WM_CANCELMODE, 0, 0);
    ReleaseCapture();
  }
  const HWND activeBefore = GetActiveWindow();
  TEnabledWindows others{Handle(), {}};
  EnumThreadWindows(GetCurrentThreadId(), &CollectEnabledWindow, reinterpret_cast<LPARAM>(&others));
  if (others.Failed) throw EOutOfMemory(u"Cannot list the windows a modal form disables");
  for (HWND window : others.List) EnableWindow(window, FALSE);
  FModal = true;
  FModalResult = mrNone;
  Application->ModalStarted();
  // Other windows come back before this one hides, so the activation returns to them.
  auto finish = [&] {
    for (HWND window : others.List)
      if (IsWindow(window)) EnableWindow(window, TRUE);
    Hide();
    if (activeBefore && IsWindow(activeBefore)) SetActiveWindow(activeBefore);
    FModal = false;
    Application->ModalFinished();
  };
  try {
    Show();
    while (FModalResult == mrNone) {
      Application->HandleMessage();
      if (Application->Terminated())
        FModalResult = mrCancel;
      else if (FModalResult != mrNone)
        CloseModal();
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return FModalResult;
}

bool TCustomForm::Active() const {
  HWND window = HandleIfAllocated();
  return window && GetActiveWindow() == window;
}

// ---------------------------------------------------------------------------------------------------------------
// Focus

void TCustomForm::SetActiveControl(TWinControl* AControl) {
  if (AControl && AControl != this && !ContainsControl(AControl))
    throw EInvalidOperation(u"The control " + AControl->Name() + u" is not on the form " + Name());
  FActiveControl = AControl == this ? nullptr : AControl;
  if (!FActiveControl) return;
  // The focus moves only while the form's top-level window is active; else it waits for the activation.
  TCustomForm* top = GetParentForm(this);
  HWND topWindow = top->HandleIfAllocated();
  if (topWindow && GetActiveWindow() == topWindow && FActiveControl->CanFocus()) ::SetFocus(FActiveControl->Handle());
}

void TCustomForm::FocusChild(TWinControl* AControl) {
  if (!AControl->CanFocus()) throw EInvalidOperation(u"Cannot focus a disabled or invisible window");
  if (AControl == this) {
    ::SetFocus(Handle());
    return;
  }
  SetActiveControl(AControl);
}

void TCustomForm::SelectFirst() {
  if (TWinControl* first = FindNextControl(nullptr, true, true, false)) first->SetFocus();
}

void TCustomForm::SetFocusedControl(TWinControl* AControl) {
  if (IsDestroying()) return;
  TWinControl* old = FFocusedControl;
  if (AControl == old) return;
  FFocusedControl = AControl;
  if (AControl != this) FActiveControl = AControl;
  if (old) old->Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(AControl));
  if (FFocusedControl != AControl) return;
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(AControl == this ? nullptr : AControl));
  if (FFocusedControl != AControl) return;
  // The old control and its containers that lose the focus hear it now, after the focus has moved.
  for (TWinControl* c = old; c && c != this && c != AControl && !c->ContainsControl(AControl); c = c->Parent()) {
    c->Perform(CM_EXIT);
    if (FFocusedControl != AControl) return;
  }
  std::vector<TWinControl*> entered;
  for (TWinControl* c = AControl; c && c != this && c != old && !(old && c->ContainsControl(old)); c = c->Parent())
    entered.push_back(c);
  for (auto it = entered.rbegin(); it != entered.rend(); ++it) {
    (*it)->Perform(CM_ENTER);
    if (FFocusedControl != AControl) return;
  }
}

void TCustomForm::DefocusControl(TControl* AControl, bool) {
  auto* container = dynamic_cast<TWinControl*>(AControl);
  auto inside = [&](TWinControl* c) { return c && (c == AControl || (container && container->ContainsControl(c))); };
  if (inside(FActiveControl)) FActiveControl = nullptr;
  if (!inside(FFocusedControl)) return;
  FFocusedControl = nullptr;
  // The keyboard focus leaves the control for the form before the control's window goes.
  HWND window = HandleIfAllocated();
  if (window && !IsDestroying() && inside(FindControl(GetFocus()))) ::SetFocus(window);
}

// ---------------------------------------------------------------------------------------------------------------
// Messages

void TCustomForm::Activated(TActivateMessage& AMessage) {
  if (AMessage.Inactive()) {
    if (OnDeactivate) OnDeactivate(this);
    return AnswerByDefault(AMessage.Message);
  }
  if (Screen) Screen->SetActiveForm(this);
  // Not minimised: the focus goes back to the active control (else the first one in tab order, else the form).
  if (!AMessage.Minimized) {
    TWinControl* target =
        FActiveControl && FActiveControl->CanFocus() ? FActiveControl : FindNextControl(nullptr, true, true, false);
    ::SetFocus(target ? target->Handle() : Handle());
  }
  if (OnActivate) OnActivate(this);
  AMessage.Message.Answer();
}

void TCustomForm::Sized(const TSizeMessage& AMessage) {
  if (Parent() || !IsWindowVisible(HandleIfAllocated())) return;
  switch (AMessage.Kind) {
    case SIZE_MINIMIZED:
      FWindowState = TFormWindowState::wsMinimized;
      break;
    case SIZE_MAXIMIZED:
      FWindowState = TFormWindowState::wsMaximized;
      break;
    case SIZE_RESTORED:
      FWindowState = TFormWindowState::wsNormal;
      break;
    default:
      break;
  }
}

void TCustomForm::LimitTracking(TMinMaxInfoMessage& AMessage) {
  MINMAXINFO& info = AMessage.Record;
  const TSizeConstraints& limits = Constraints();
  if (limits.MinWidth() > 0) info.ptMinTrackSize.x = limits.MinWidth();
  if (limits.MinHeight() > 0) info.ptMinTrackSize.y = limits.MinHeight();
  if (limits.MaxWidth() > 0) info.ptMaxTrackSize.x = limits.MaxWidth();
  if (limits.MaxHeight() > 0) info.ptMaxTrackSize.y = limits.MaxHeight();
  AMessage.Message.Answer();
}

bool TCustomForm::DialogKey(TMessage& AMessage) {
  const uint16_t key = static_cast<uint16_t>(AMessage.WParam);
  switch (key) {
    case VK_TAB:
      SelectNext(FActiveControl, !KeyboardShiftState().Contains(ssShift), true);
      AMessage.Answer(1);
      return true;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
      // Arrows move among the siblings of the active control.
      if (FActiveControl && FActiveControl->Parent()) {
        const bool forward = key == VK_RIGHT || key == VK_DOWN;
        if (TWinControl* next = FActiveControl->Parent()->FindNextControl(FActiveControl, forward, false, true))
          next->SetFocus();
      }
      AMessage.Answer(1);
      return true;
    default:
      return false;
  }
}

void TCustomForm::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_CLOSE:
      Close();
      return AMessage.Answer();
    case WM_ACTIVATE:
      if (!Parent()) {
        TActivateMessage activate(AMessage);
        return Activated(activate);
      }
      break;
    case WM_SETFOCUS:
      if (FActiveControl && FActiveControl->CanFocus()) {
        ::SetFocus(FActiveControl->Handle());
        return AMessage.Answer(AMessage.Result);
      }
      break;
    case WM_SIZE:
      Sized(TSizeMessage(AMessage));
      break;
    case WM_GETMINMAXINFO: {
      TMinMaxInfoMessage limits(AMessage);
      return LimitTracking(limits);
    }
    case CM_RELEASE:
      AMessage.Answer();
      Free();  // nothing of the form may be used after this
      return;
    case CM_DIALOGKEY:
      if (DialogKey(AMessage)) return;
      break;
    case CM_FOCUSCHANGED:
      // An embedded form keeps the control inside it that has the focus.
      if (Parent()) {
        auto* control = LParamObject<TWinControl>(AMessage);
        if (control && ContainsControl(control)) FActiveControl = control;
      }
      break;
    case CM_SHOWINGCHANGED:
      if (Showing())
        DoShow();
      else
        DoHide();
      break;
    default:
      break;
  }
  TCustomControl::WndProc(AMessage);
}

// ---------------------------------------------------------------------------------------------------------------

TCustomForm* GetParentForm(const TControl* AControl, bool ATopForm) {
  TCustomForm* found = nullptr;
  for (auto* c = const_cast<TControl*>(AControl); c; c = c->Parent()) {
    if (auto* form = dynamic_cast<TCustomForm*>(c)) {
      if (!ATopForm) return form;
      found = form;
    }
  }
  return found;
}

void EmbedForm(TCustomForm& AForm, TWinControl& AParent, TAlign AAlign, bool AVisible) {
  AForm.SetAlign(AAlign);
  const int width = AForm.ClientWidth();
  const int height = AForm.ClientHeight();
  AForm.SetBorderStyle(TFormBorderStyle::bsNone);
  AForm.SetClientSize(width, height);
  AForm.SetParent(&AParent);
  AForm.SetVisible(AVisible);
}

namespace {

// The form as the knot's placement code sees it.
class TFormPlacementAdapter final : public IFormPlacement {
 public:
  explicit TFormPlacementAdapter(TCustomForm& AForm) : FForm(AForm) {}
  TFormBorderStyle BorderStyle() const override { return FForm.BorderStyle(); }
  bool HasMaximizeIcon() const override { return FForm.BorderIcons().Contains(biMaximize); }
  TFormWindowState WindowState() const override { return FForm.WindowState(); }
  TPlacementRect RestoredBounds() const override {
    const RECT r = FForm.RestoredBounds();
    return TPlacementRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
  }
  TPlacementRect VirtualScreen() const override {
    return TPlacementRect{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                          GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  }
  void Maximize() override { FForm.SetWindowState(TFormWindowState::wsMaximized); }
  void SetDesignedPosition() override { FForm.SetPosition(TPosition::poDesigned); }
  void SetBounds(const TPlacementRect& ABounds) override {
    FForm.SetBounds(ABounds.Left, ABounds.Top, ABounds.Width, ABounds.Height);
  }

 private:
  TCustomForm& FForm;
};

}  // namespace

void WriteFormPlacement(TKnot& AKnot, TCustomForm& AForm) {
  TFormPlacementAdapter adapter(AForm);
  AKnot.WriteFormPlacement(adapter);
}

void ReadFormPlacement(TKnot& AKnot, TCustomForm& AForm) {
  TFormPlacementAdapter adapter(AForm);
  AKnot.ReadFormPlacement(adapter);
}
