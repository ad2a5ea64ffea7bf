#include "framework/fwWinControls.h"

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

#include "framework/fwApplication.h"
#include "framework/fwKeyRouting.h"
#include "framework/fwScreen.h"
#include "framework/fwThemes.h"
#include "framework/fwWindowObjects.h"

namespace {

// The class name without namespaces: the window class name of a control ("TMainForm").
std::u16string ShortClassName(const TObject* AObject) {
  const char* mangled = typeid(*AObject).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  const size_t scope = name.rfind("::");
  if (scope != std::string::npos) name.erase(0, scope + 2);
  return AsciiToString(name);
}

template <class T>
void EraseItem(std::vector<T*>& AList, const void* AItem) {
  auto it = std::find(AList.begin(), AList.end(), AItem);
  if (it != AList.end()) AList.erase(it);
}

// EndPaint also when the painting raises.
class TPaintScope {
 public:
  explicit TPaintScope(HWND AWindow) : FWindow(AWindow), FDC(BeginPaint(AWindow, &FPaint)) {}
  ~TPaintScope() { EndPaint(FWindow, &FPaint); }
  TPaintScope(const TPaintScope&) = delete;
  TPaintScope& operator=(const TPaintScope&) = delete;
  HDC DC() const { return FDC; }

 private:
  HWND FWindow;
  PAINTSTRUCT FPaint{};
  HDC FDC;
};

// The message numbers a parent reflects to the child control that sent them.
UINT ReflectedNumber(UINT AMsg) {
  switch (AMsg) {
    case WM_COMMAND:
      return CN_COMMAND;
    case WM_NOTIFY:
      return CN_NOTIFY;
    case WM_DRAWITEM:
      return CN_DRAWITEM;
    case WM_MEASUREITEM:
      return CN_MEASUREITEM;
    case WM_DELETEITEM:
      return CN_DELETEITEM;
    case WM_COMPAREITEM:
      return CN_COMPAREITEM;
    case WM_HSCROLL:
      return CN_HSCROLL;
    case WM_VSCROLL:
      return CN_VSCROLL;
    case WM_CTLCOLOREDIT:
      return CN_CTLCOLOREDIT;
    case WM_CTLCOLORSTATIC:
      return CN_CTLCOLORSTATIC;
    case WM_CTLCOLORBTN:
      return CN_CTLCOLORBTN;
    case WM_CTLCOLORLISTBOX:
      return CN_CTLCOLORLISTBOX;
    case WM_CTLCOLORSCROLLBAR:
      return CN_CTLCOLORSCROLLBAR;
    case WM_CHARTOITEM:
      return CN_CHARTOITEM;
    case WM_VKEYTOITEM:
      return CN_VKEYTOITEM;
    default:
      return 0;
  }
}

}  // namespace

TWinControl* FindControl(HWND AWindow) { return WindowObjectAs<TWinControl>(AWindow); }

// ---------------------------------------------------------------------------------------------------------------
// The window class and the window procedure

WNDPROC TWinControl::RegisterWindowClass(const TCreateParams& AParams) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW system{};
  system.cbSize = sizeof(system);
  WNDPROC base = DefWindowProcW;
  if (!AParams.SysClassName.empty()) {
    if (!GetClassInfoExW(nullptr, WStr(AParams.SysClassName), &system))
      throw EOSError(u"Unknown window class " + AParams.SysClassName, GetLastError());
    base = system.lpfnWndProc;
  }
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, WStr(AParams.WinClassName), &existing)) {
    if (existing.lpfnWndProc != &TWinControl::WindowProc)
      throw EInvalidOperation(u"The window class name " + AParams.WinClassName + u" is taken");
    return base;
  }
  WNDCLASSEXW wc{};
  if (AParams.SysClassName.empty()) {
    wc.style = AParams.WindowClassStyle;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = AParams.ClassIcon;
  } else {
    wc = system;
    wc.style = (system.style & ~CS_GLOBALCLASS) | AParams.WindowClassStyle;
  }
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &TWinControl::WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = WStr(AParams.WinClassName);
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EOSError(u"Cannot register the window class " + AParams.WinClassName, GetLastError());
  return base;
}

LRESULT CALLBACK TWinControl::WindowProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  TWinControl* control = FindControl(AWindow);
  if (!control && AMsg == WM_NCCREATE) {
    control = static_cast<TWinControl*>(reinterpret_cast<CREATESTRUCTW*>(ALParam)->lpCreateParams);
    if (control) control->AttachHandle(AWindow);
  }
  if (!control) return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
  TMessage message{AWindow, AMsg, AWParam, ALParam, 0, false};
  // The handler may free the control (a form released by its own message): only locals are used after it,
  // except on WM_NCDESTROY, whose control is alive while its window goes.
  if (!CallGuarded([&] { control->Dispatch(message); })) message.Answer();
  if (AMsg == WM_NCDESTROY && FindControl(AWindow) == control) {
    UnlinkWindowObject(AWindow, control);
    if (control->FHandle == AWindow) control->DetachHandle();
  }
  return message.Result;
}

void TWinControl::AttachHandle(HWND AWindow) {
  FHandle = AWindow;
  LinkWindowObject(AWindow, this);
}

void TWinControl::DetachHandle() {
  UnlinkWindowObject(FHandle, this);
  FHandle = nullptr;
  FWindowless.WindowGone();
}

// ---------------------------------------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {
  FPadding.OnChange = MakeMethod<&TWinControl::PaddingChanged>(this);
  FBrush.SetColor(Color());
}

TWinControl::~TWinControl() {
  // Free() has done this already; a control deleted directly takes its children and window with it.
  FreeChildren();
  if (FHandle) {
    HWND window = FHandle;
    DetachHandle();
    DestroyWindow(window);
  }
}

void TWinControl::BeforeDestruction() {
  Destroying();
  RemoveFocus(true);
  FreeChildren();
  DestroyHandle();
  TControl::BeforeDestruction();
}

void TWinControl::FreeChildren() {
  while (!FWinControls.empty() || !FWindowless.List().empty()) {
    TControl* child = !FWinControls.empty() ? static_cast<TControl*>(FWinControls.back()) : FWindowless.List().back();
    child->Free();
    EraseItem(FWinControls, child);
    EraseItem(FTabList, child);
    FWindowless.Remove(child);
  }
}

TWinControl* TWinControl::TopParent() {
  TWinControl* top = this;
  while (top->Parent()) top = top->Parent();
  return top;
}

// ---------------------------------------------------------------------------------------------------------------
// Window handle

HWND TWinControl::Handle() {
  HandleNeeded();
  return FHandle;
}

void TWinControl::HandleNeeded() {
  if (FHandle) return;
  if (Parent()) {
    Parent()->HandleNeeded();  // a parent's new window makes its children's
    if (FHandle) return;
  }
  CreateHandle();
}

void TWinControl::CreateParams(TCreateParams& AParams) {
  AParams.Caption = FText;
  AParams.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (ControlStyle().Contains(csAcceptsControls)) AParams.Style |= WS_CLIPCHILDREN;
  if (Visible()) AParams.Style |= WS_VISIBLE;
  if (!Enabled()) AParams.Style |= WS_DISABLED;
  if (FTabStop) AParams.Style |= WS_TABSTOP;
  AParams.X = Left();
  AParams.Y = Top();
  AParams.Width = Width();
  AParams.Height = Height();
  AParams.WndParent = Parent() ? Parent()->FHandle : FParentWindow;
  AParams.WindowClassStyle = CS_DBLCLKS;
  AParams.WinClassName = ShortClassName(this);
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if ((params.Style & WS_CHILD) && !params.WndParent)
    throw EInvalidOperation(u"Control " + Name() + u" has no parent window");
  FDefWndProc = RegisterWindowClass(params);
  FOwnClass = params.SysClassName.empty();
  HMENU id = (params.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(FControlId)) : nullptr;
  HWND window =
      CreateWindowExW(params.ExStyle, WStr(params.WinClassName), WStr(params.Caption), params.Style, params.X, params.Y,
                      params.Width, params.Height, params.WndParent, id, GetModuleHandleW(nullptr), this);
  if (!window) throw EOSError(u"Cannot create a window of the class " + params.WinClassName, GetLastError());
  if (FHandle != window) AttachHandle(window);
  SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), FALSE);
  // The system may have chosen or corrected the bounds.
  UpdateBounds();
}

void TWinControl::CreateHandle() {
  if (FHandle || IsDestroying()) return;
  FControlState |= csCreating;
  try {
    CreateWnd();
  } catch (...) {
    FControlState -= csCreating;
    throw;
  }
  FControlState -= csCreating;
  if (!FHandle) return;
  PlaceInZOrder();
  for (TWinControl* child : std::vector<TWinControl*>(FWinControls)) child->CreateHandle();
  Realign();
}

void TWinControl::PlaceInZOrder() {
  if (!Parent()) return;
  const auto& siblings = Parent()->FWinControls;
  auto it = std::find(siblings.begin(), siblings.end(), this);
  if (it == siblings.end()) return;
  // Right below the next sibling in the list that has a window (the list runs bottom to top).
  for (++it; it != siblings.end(); ++it) {
    if ((*it)->FHandle) {
      SetWindowPos(FHandle, (*it)->FHandle, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      return;
    }
  }
  SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWinControl::DestroyWnd() {
  FText = GetText();
  FreeContexts();
  HWND window = FHandle;
  if (window && !DestroyWindow(window)) DetachHandle();
  if (FHandle) DetachHandle();
}

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  for (TWinControl* child : std::vector<TWinControl*>(FWinControls)) child->DestroyHandle();
  DestroyWnd();
}

void TWinControl::RecreateWnd() {
  if (!FHandle || IsDestroying()) return;
  HWND focus = GetFocus();
  TWinControl* focused = nullptr;
  if (focus && (focus == FHandle || IsChild(FHandle, focus))) focused = FindControl(focus);
  FControlState |= csRecreating;
  try {
    DestroyHandle();
    HandleNeeded();
  } catch (...) {
    FControlState -= csRecreating;
    throw;
  }
  FControlState -= csRecreating;
  if (!Parent() && Visible()) ShowWindowState(true);
  if (focused && focused->FHandle && focused->CanFocus()) ::SetFocus(focused->FHandle);
}

void TWinControl::SetParentWindow(HWND AValue) {
  if (AValue == FParentWindow) return;
  if (!Parent()) DestroyHandle();
  FParentWindow = AValue;
}

void TWinControl::SetCtl3D(bool AValue) {
  if (FCtl3D.Set(AValue)) Perform(CM_CTL3DCHANGED);
}

void TWinControl::SetParentCtl3D(bool AValue) {
  if (FCtl3D.SetFromParent(AValue) && Parent()) Perform(CM_PARENTCTL3DCHANGED);
}

void TWinControl::TakeParentValues() {
  TControl::TakeParentValues();
  if (FCtl3D.FromParent()) Perform(CM_PARENTCTL3DCHANGED);
}

void TWinControl::FreeContexts() {
  for (TControl* child : FWindowless.List()) child->FreeContexts();
}

// ---------------------------------------------------------------------------------------------------------------
// Children

TControl* TWinControl::Controls(int AIndex) const {
  if (AIndex < 0 || AIndex >= ControlCount())
    throw EProgrammingError(Format(u"Control index out of range (%d)", {AIndex}));
  const size_t i = static_cast<size_t>(AIndex);
  const auto& windowless = FWindowless.List();
  return i < windowless.size() ? windowless[i] : FWinControls[i - windowless.size()];
}

bool TWinControl::ContainsControl(const TControl* AControl) const {
  for (const TControl* p = AControl ? AControl->Parent() : nullptr; p; p = p->Parent())
    if (p == this) return true;
  return false;
}

void TWinControl::InsertControl(TControl* AControl) {
  AControl->FParent = this;
  if (auto* win = dynamic_cast<TWinControl*>(AControl)) {
    FWinControls.push_back(win);
    FTabList.push_back(win);
    win->FControlId = FNextChildId++;
  } else {
    FWindowless.Add(AControl);
  }
  AControl->UpdateAnchorRules();
  AControl->TakeParentValues();
  if (AControl->FAlign != TAlign::alNone) Realign();
  AControl->Invalidate();
}

void TWinControl::RemoveControl(TControl* AControl) {
  // Pointer comparisons only: the control may be half destroyed.
  for (TWinControl* p = this; p; p = p->Parent()) p->DefocusControl(AControl, true);
  FWindowless.Remove(AControl);
  if (!IsDestroying() && !AControl->IsDestroying()) AControl->Invalidate();
  EraseItem(FWinControls, AControl);
  EraseItem(FTabList, AControl);
  AControl->FParent = nullptr;
  if (AControl->FAlign != TAlign::alNone && !IsDestroying()) Realign();
}

void TWinControl::SetParent(TWinControl* AParent) {
  if (Parent() == AParent) return;
  if (AParent && (AParent == this || ContainsControl(AParent)))
    throw EInvalidOperation(u"A control cannot be placed inside itself");
  if (Parent()) RemoveFocus(true);
  // The window belongs to the old parent (or is a top-level window): the new parent makes a new one.
  DestroyHandle();
  TControl::SetParent(AParent);
  if (IsDestroying()) return;
  if (AParent && AParent->FHandle) CreateHandle();
  UpdateShowing();
}

TControl* TWinControl::ControlAtPos(POINT APos, bool AAllowDisabled, bool AAllowWinControls) const {
  auto hit = [&](const TControl* c) {
    const RECT bounds = c->BoundsRect();
    return c->FVisible && (c->FEnabled || AAllowDisabled) && PtInRect(&bounds, APos);
  };
  if (AAllowWinControls)
    for (auto it = FWinControls.rbegin(); it != FWinControls.rend(); ++it)
      if (hit(*it)) return *it;
  return FWindowless.At(APos, AAllowDisabled);
}

void TWinControl::Broadcast(TMessage& AMessage) {
  std::vector<TControl*> children;
  children.reserve(static_cast<size_t>(ControlCount()));
  for (int i = 0; i < ControlCount(); ++i) children.push_back(Controls(i));
  for (TControl* child : children) {
    if (child->Parent() != this) continue;  // left meanwhile
    child->Dispatch(AMessage);
    if (AMessage.Result != 0) return;
  }
}

void TWinControl::NotifyChildren(UINT ANotice) {
  TMessage message{FHandle, ANotice, 0, 0, 0, false};
  Broadcast(message);
}

// ---------------------------------------------------------------------------------------------------------------
// Bounds, alignment, visibility

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  Constraints().Apply(AWidth, AHeight);
  if ((AWidth != Width() || AHeight != Height()) && !CanResize(AWidth, AHeight)) {
    AWidth = Width();
    AHeight = Height();
  }
  if (ALeft == Left() && ATop == Top() && AWidth == Width() && AHeight == Height()) return;
  if (FHandle) {
    SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateBounds();
  } else {
    const bool sized = AWidth != Width() || AHeight != Height();
    StoreBounds(ALeft, ATop, AWidth, AHeight);
    if (sized) {
      Realign();
      Resize();
    }
  }
  RequestParentAlign();
}

void TWinControl::UpdateBounds() {
  if (!FHandle) return;
  const LONG style = GetWindowLongW(FHandle, GWL_STYLE);
  if (!(style & WS_CHILD) && IsIconic(FHandle)) return;
  RECT r;
  GetWindowRect(FHandle, &r);
  if (style & WS_CHILD) MapWindowPoints(HWND_DESKTOP, GetParent(FHandle), reinterpret_cast<POINT*>(&r), 2);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const bool sized = width != Width() || height != Height();
  if (!sized && r.left == Left() && r.top == Top()) return;
  StoreBounds(r.left, r.top, width, height);
  if (sized) {
    Realign();
    Resize();
  }
  RequestParentAlign();
}

RECT TWinControl::GetClientRect() const {
  if (FHandle) {
    RECT r;
    ::GetClientRect(FHandle, &r);
    return r;
  }
  // No window yet: the frame its style will give it.
  TCreateParams params;
  const_cast<TWinControl*>(this)->CreateParams(params);
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, params.Style, FALSE, params.ExStyle);
  int width = Width() - (frame.right - frame.left);
  int height = Height() - (frame.bottom - frame.top);
  if (params.Style & WS_VSCROLL) width -= GetSystemMetrics(SM_CXVSCROLL);
  if (params.Style & WS_HSCROLL) height -= GetSystemMetrics(SM_CYHSCROLL);
  return RECT{0, 0, std::max(width, 0), std::max(height, 0)};
}

POINT TWinControl::ClientOrigin() const {
  if (FHandle) {
    POINT origin{0, 0};
    ::ClientToScreen(FHandle, &origin);
    return origin;
  }
  return TControl::ClientOrigin();
}

void TWinControl::PaddingChanged(TObject*) { Realign(); }

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0 && --FAlignLevel == 0 && FAlignPending) Realign();
}

void TWinControl::Realign() {
  if (FControlState.Contains(csAligning)) return;
  if (FAlignLevel > 0) {
    FAlignPending = true;
    return;
  }
  FAlignPending = false;
  if (IsDestroying()) return;
  RECT area = FPadding.Inset(ClientRect());
  FControlState |= csAligning;
  try {
    AlignControls(area);
  } catch (...) {
    FControlState -= csAligning;
    throw;
  }
  FControlState -= csAligning;
}

void TWinControl::AlignControls(RECT& ARect) {
  std::vector<TControl*> children;
  for (int i = 0; i < ControlCount(); ++i) children.push_back(Controls(i));
  TAlignment::Place(children, ARect, ClientRect());
}

void TWinControl::SetVisible(bool AValue) {
  if (AValue == Visible()) return;
  if (AValue) {
    FVisible = true;
    UpdateShowing();
    ShowWindowState(true);
  } else {
    RemoveFocus(false);
    ShowWindowState(false);
    FVisible = false;
    UpdateShowing();
  }
  Perform(CM_VISIBLECHANGED, AValue);
  if (Parent() && Align() != TAlign::alNone) Parent()->Realign();
}

void TWinControl::ShowWindowState(bool AVisible) {
  if (FHandle) ShowWindow(FHandle, AVisible ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::UpdateShowing() {
  const bool showing = Visible() && (Parent() ? Parent()->FShowing : true);
  if (showing != FShowing) {
    FShowing = showing;
    Perform(CM_SHOWINGCHANGED);
  }
  for (TWinControl* child : std::vector<TWinControl*>(FWinControls))
    if (child->Parent() == this) child->UpdateShowing();
}

// ---------------------------------------------------------------------------------------------------------------
// Text, painting, capture, z-order

std::u16string TWinControl::GetText() const {
  if (!FHandle) return FText;
  const int length = GetWindowTextLengthW(FHandle);
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  const int copied = GetWindowTextW(FHandle, WBuf(text), length + 1);
  text.resize(static_cast<size_t>(std::max(copied, 0)));
  return text;
}

void TWinControl::SetTextValue(const std::u16string& AValue) {
  FText = AValue;
  if (FHandle) SetWindowTextW(FHandle, WStr(AValue));
}

void TWinControl::Invalidate() {
  if (FHandle) ::InvalidateRect(FHandle, nullptr, !ControlStyle().Contains(csOpaque));
}

void TWinControl::InvalidateRect(const RECT& ARect, bool AErase) {
  if (FHandle) ::InvalidateRect(FHandle, &ARect, AErase);
}

void TWinControl::Update() {
  if (FHandle) UpdateWindow(FHandle);
}

void TWinControl::PaintHandler(HDC ADC) { FWindowless.PaintWithOwner(ADC); }

void TWinControl::PaintControls(HDC ADC) { FWindowless.Paint(ADC); }

bool TWinControl::MouseCapture() const { return FHandle && GetCapture() == FHandle; }

void TWinControl::SetMouseCapture(bool AValue) {
  if (AValue) {
    ::SetCapture(Handle());
  } else if (FHandle && GetCapture() == FHandle) {
    ReleaseCapture();
  }
}

void TWinControl::BringToFront() {
  if (Parent()) {
    auto& list = Parent()->FWinControls;
    EraseItem(list, this);
    list.push_back(this);
  }
  if (FHandle) SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWinControl::SendToBack() {
  if (Parent()) {
    auto& list = Parent()->FWinControls;
    EraseItem(list, this);
    list.insert(list.begin(), this);
  }
  if (FHandle) SetWindowPos(FHandle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------------------------------------------
// Focus and tab order

void TWinControl::SetFocus() { TopParent()->FocusChild(this); }

void TWinControl::FocusChild(TWinControl* AControl) {
  if (!AControl->CanFocus()) throw EInvalidOperation(u"Cannot focus a disabled or invisible window");
  ::SetFocus(AControl->Handle());
}

bool TWinControl::Focused() const { return FHandle && GetFocus() == FHandle; }

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->FVisible || !c->FEnabled) return false;
  return true;
}

void TWinControl::SetTabStop(bool AValue) {
  if (AValue == FTabStop) return;
  FTabStop = AValue;
  if (FHandle) {
    LONG style = GetWindowLongW(FHandle, GWL_STYLE);
    SetWindowLongW(FHandle, GWL_STYLE, AValue ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
  }
  Perform(CM_TABSTOPCHANGED);
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& list = Parent()->FTabList;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int AValue) {
  if (!Parent()) return;
  auto& list = Parent()->FTabList;
  EraseItem(list, this);
  const int index = std::clamp(AValue, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + index, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& AList) const { TKeyRouting::TabOrderList(*this, AList); }

TWinControl* TWinControl::FindNextControl(TWinControl* ACurrent, bool AForward, bool ACheckTabStop,
                                          bool ACheckParent) const {
  return TKeyRouting::FindNext(*this, ACurrent, AForward, ACheckTabStop, ACheckParent);
}

void TWinControl::SelectNext(TWinControl* ACurrent, bool AForward, bool ACheckTabStop) {
  if (TWinControl* next = FindNextControl(ACurrent, AForward, ACheckTabStop, false)) next->SetFocus();
}

void TWinControl::SetFocusedControl(TWinControl*) {}

void TWinControl::DefocusControl(TControl*, bool) {}

void TWinControl::RemoveFocus(bool ARemoving) {
  for (TWinControl* p = Parent(); p; p = p->Parent()) p->DefocusControl(this, ARemoving);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// ---------------------------------------------------------------------------------------------------------------
// Keys

void TWinControl::KeyDown(uint16_t& AKey, TShiftState AShift) {
  if (OnKeyDown) OnKeyDown(this, AKey, AShift);
}

void TWinControl::KeyUp(uint16_t& AKey, TShiftState AShift) {
  if (OnKeyUp) OnKeyUp(this, AKey, AShift);
}

void TWinControl::KeyPress(char16_t& AKey) {
  if (OnKeyPress) OnKeyPress(this, AKey);
}

// ---------------------------------------------------------------------------------------------------------------
// Mouse

void TWinControl::MouseWheel(TWheelMessage& AMessage) {
  if (DoMouseWheel(AMessage.Shift, AMessage.Delta, AMessage.ScreenPos)) AMessage.Message.Answer();
}

bool TWinControl::DoMouseWheel(TShiftState AShift, int AWheelDelta, POINT AMousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, AShift, AWheelDelta, AMousePos, handled);
  if (handled) return true;
  // A turn the other way starts counting anew.
  if ((FWheelAccumulator > 0 && AWheelDelta < 0) || (FWheelAccumulator < 0 && AWheelDelta > 0)) FWheelAccumulator = 0;
  FWheelAccumulator += AWheelDelta;
  while (FWheelAccumulator >= WHEEL_DELTA || FWheelAccumulator <= -WHEEL_DELTA) {
    if (FWheelAccumulator < 0) {
      FWheelAccumulator += WHEEL_DELTA;
      handled = DoMouseWheelDown(AShift, AMousePos) || handled;
    } else {
      FWheelAccumulator -= WHEEL_DELTA;
      handled = DoMouseWheelUp(AShift, AMousePos) || handled;
    }
  }
  return handled;
}

bool TWinControl::DoMouseWheelDown(TShiftState AShift, POINT AMousePos) {
  bool handled = false;
  if (OnMouseWheelDown) OnMouseWheelDown(this, AShift, AMousePos, handled);
  return handled;
}

bool TWinControl::DoMouseWheelUp(TShiftState AShift, POINT AMousePos) {
  bool handled = false;
  if (OnMouseWheelUp) OnMouseWheelUp(this, AShift, AMousePos, handled);
  return handled;
}

void TWinControl::CursorRequested(TSetCursorMessage& AMessage) {
  if (Screen && Screen->ApplyCursor()) return AMessage.Message.Answer(TRUE);
  if (AMessage.Window != FHandle || AMessage.HitTest != HTCLIENT) return;
  POINT p;
  GetCursorPos(&p);
  TControl* target = FWindowless.CursorTarget(ScreenToClient(p));
  TCursor cursor = target ? target->Cursor() : crDefault;
  if (cursor == crDefault) cursor = Cursor();
  if (cursor == crDefault) return;
  ::SetCursor(GetCursorHandle(cursor));
  AMessage.Message.Answer(TRUE);
}

void TWinControl::RouteContextMenu(TContextMenuMessage& AMessage) {
  if (!AMessage.FromKeyboard()) FWindowless.RouteContextMenu(AMessage.Message, ScreenToClient(AMessage.ScreenPos));
}

void TWinControl::CaptureChanged(TWindowParamMessage& AMessage) {
  const HWND taker = AMessage.Window;
  FWindowless.CaptureChanged(taker);
  if (FControlState.Contains(csLButtonDown) && taker != FHandle)
    Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(FindControl(taker)));
}

// ---------------------------------------------------------------------------------------------------------------
// Reflected notifications

bool TWinControl::ReflectNotification(TMessage& AMessage) {
  const UINT reflected = ReflectedNumber(AMessage.Msg);
  if (!reflected) return false;
  HWND child = nullptr;
  switch (AMessage.Msg) {
    case WM_NOTIFY:
      child = TNotifyMessage(AMessage).Record.hwndFrom;
      break;
    case WM_DRAWITEM:
      if (const DRAWITEMSTRUCT& item = TDrawItemMessage(AMessage).Record; item.CtlType != ODT_MENU)
        child = item.hwndItem;
      break;
    case WM_MEASUREITEM:
      // The record names no window: the child is the first one whose window has the item's id.
      if (const MEASUREITEMSTRUCT& item = TMeasureItemMessage(AMessage).Record; item.CtlType != ODT_MENU) {
        auto it = std::find_if(FWinControls.begin(), FWinControls.end(), [&](const TWinControl* c) {
          return c->FHandle && static_cast<UINT>(GetDlgCtrlID(c->FHandle)) == item.CtlID;
        });
        if (it != FWinControls.end()) child = (*it)->FHandle;
      }
      break;
    case WM_DELETEITEM:
      child = TDeleteItemMessage(AMessage).Record.hwndItem;
      break;
    case WM_COMPAREITEM:
      child = TCompareItemMessage(AMessage).Record.hwndItem;
      break;
    default:
      child = TWindowParamMessage(AMessage).Window;
      break;
  }
  if (!child || child == FHandle) return false;
  TWinControl* control = FindControl(child);
  if (!control) return false;
  TMessage message{child, reflected, AMessage.WParam, AMessage.LParam, 0, false};
  control->Dispatch(message);
  if (!message.Handled) return false;
  AMessage.Answer(message.Result);
  return true;
}

void TWinControl::ControlColor(TWindowParamMessage& AMessage) {
  SetTextColor(AMessage.DC, ColorToRef(Font().Color()));
  SetBkColor(AMessage.DC, ColorToRef(Color()));
  AMessage.Message.Answer(reinterpret_cast<LRESULT>(FBrush.Handle()));
}

void TWinControl::PaintMessage(TPaintMessage& AMessage) {
  if (AMessage.DC) {
    PaintHandler(AMessage.DC);
  } else {
    TPaintScope paint(FHandle);
    PaintHandler(paint.DC());
  }
  AMessage.Message.Answer();
}

void TWinControl::EraseBackground(TPaintMessage& AMessage) {
  RECT r;
  ::GetClientRect(FHandle, &r);
  FillRect(AMessage.DC, &r, FBrush.Handle());
  AMessage.Message.Answer(1);
}

// ---------------------------------------------------------------------------------------------------------------
// The window procedure of every windowed control

void TWinControl::DefaultHandler(TMessage& AMessage) {
  if (AMessage.Msg >= CM_BASE && AMessage.Msg <= CM_BASE + 0xFF) return;
  if (!FHandle) return;
  AMessage.Result = CallWindowProcW(FDefWndProc ? FDefWndProc : DefWindowProcW, FHandle, AMessage.Msg, AMessage.WParam,
                                    AMessage.LParam);
}

// Decodes each message once into its view and hands it to its handler; nothing else here switches on numbers.
void TWinControl::WndProc(TMessage& AMessage) {
  // A notification about a child window goes to the child's control first.
  if (ReflectNotification(AMessage)) return;
  switch (AMessage.Msg) {
    case WM_PAINT: {
      if (!FOwnClass) break;  // a system class paints itself
      TPaintMessage paint(AMessage);
      return PaintMessage(paint);
    }
    case WM_ERASEBKGND: {
      if (!FOwnClass) break;
      TPaintMessage erase(AMessage);
      return EraseBackground(erase);
    }
    case WM_NCPAINT:
      if (ControlStyle().Contains(csNeedsBorderPaint) && ThemeServices && ThemeServices->Enabled() &&
          (GetWindowLongW(FHandle, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) {
        AnswerByDefault(AMessage);
        const LONG style = GetWindowLongW(FHandle, GWL_STYLE);
        ThemeServices->PaintBorder(FHandle, (style & WS_HSCROLL) && (style & WS_VSCROLL));
        return;
      }
      break;
    case WM_WINDOWPOSCHANGED:
      AnswerByDefault(AMessage);
      UpdateBounds();
      return;
    case WM_SETFOCUS:
      AnswerByDefault(AMessage);
      TopParent()->SetFocusedControl(this);
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      TKeyMessage key(AMessage);
      return TKeyRouting::KeyDown(*this, key);
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      TKeyMessage key(AMessage);
      return TKeyRouting::KeyUp(*this, key);
    }
    case WM_CHAR:
    case WM_SYSCHAR: {
      TCharMessage key(AMessage);
      return TKeyRouting::Char(*this, key);
    }
    case WM_GETDLGCODE:
      // Our own controls take typed characters; a control made from a system class answers as that class.
      if (FOwnClass) AMessage.Answer(DLGC_WANTCHARS);
      return;
    case WM_MOUSEMOVE: {
      const TMouseMessage mouse(AMessage);
      FWindowless.TrackMouse(mouse.Pos);
      if (FWindowless.Route(mouse)) return;
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MBUTTONUP:
      if (FWindowless.Route(TMouseMessage(AMessage))) return;
      break;
    case WM_MOUSELEAVE:
      FWindowless.MouseLeft();
      return AMessage.Answer();
    case WM_MOUSEWHEEL: {
      TWheelMessage wheel(AMessage);
      return MouseWheel(wheel);
    }
    case WM_SETCURSOR: {
      TSetCursorMessage cursor(AMessage);
      return CursorRequested(cursor);
    }
    case WM_CONTEXTMENU: {
      TContextMenuMessage menu(AMessage);
      RouteContextMenu(menu);
      if (AMessage.Handled) return;
      break;
    }
    case WM_CANCELMODE:
      FWindowless.CancelMode();
      Perform(CM_CANCELMODE);
      break;
    case WM_CAPTURECHANGED: {
      TWindowParamMessage capture(AMessage);
      CaptureChanged(capture);
      break;
    }
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORSTATIC:
    case CN_CTLCOLORBTN:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORSCROLLBAR: {
      TWindowParamMessage color(AMessage);
      return ControlColor(color);
    }
    case CM_COLORCHANGED:
      FBrush.SetColor(Color());
      Invalidate();
      NotifyChildren(CM_PARENTCOLORCHANGED);
      return;
    case CM_FONTCHANGED:
      if (FHandle) SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), TRUE);
      NotifyChildren(CM_PARENTFONTCHANGED);
      break;
    case CM_SHOWHINTCHANGED:
      NotifyChildren(CM_PARENTSHOWHINTCHANGED);
      return;
    case CM_CTL3DCHANGED:
      NotifyChildren(CM_PARENTCTL3DCHANGED);
      return;
    case CM_PARENTCTL3DCHANGED:
      if (Parent() && FCtl3D.Inherit(Parent()->Ctl3D())) Perform(CM_CTL3DCHANGED);
      return;
    case CM_ENABLEDCHANGED:
      // The focus leaves first: a disabled window that holds the focus loses it to nobody.
      if (!Enabled()) RemoveFocus(false);
      if (FHandle) EnableWindow(FHandle, Enabled());
      break;
    case CM_ENTER:
      DoEnter();
      return;
    case CM_EXIT:
      DoExit();
      return;
    case CM_FOCUSCHANGED:
    case CM_DIALOGKEY:
    case CM_DIALOGCHAR:
      Broadcast(AMessage);
      return;
    default:
      break;
  }
  TControl::WndProc(AMessage);
}

// ---------------------------------------------------------------------------------------------------------------

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), FCanvas(std::make_unique<TControlCanvas>(this)) {}

TCustomControl::~TCustomControl() = default;

void TCustomControl::PaintWindow(HDC ADC) {
  FCanvas->PaintOn(ADC, [this] { Paint(); });
}

void TCustomControl::FreeContexts() {
  FCanvas->FreeHandle();
  TWinControl::FreeContexts();
}
