#include "framework/fwWinControls.h"

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

#include "framework/fwApplication.h"
#include "framework/fwScreen.h"
#include "framework/fwThemes.h"

namespace {

// The window property that names a window's control.
constexpr wchar_t kControlProp[] = L"QbWinControl";

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

bool IsDialogKeyCandidate(uint16_t AKey, TShiftState AShift) {
  switch (AKey) {
    case VK_TAB: return !(AShift & (ssCtrl | ssAlt));
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: return !(AShift & ssAlt);
    default: return false;
  }
}

bool WantsDialogKey(uint16_t AKey, LRESULT ACode) {
  if (ACode & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return true;
  switch (AKey) {
    case VK_TAB: return ACode & DLGC_WANTTAB;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: return ACode & DLGC_WANTARROWS;
    default: return false;
  }
}

void Consume(TMessage& AMessage) {
  AMessage.Result = 0;
  AMessage.Handled = true;
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

class TSavedDC {
public:
  explicit TSavedDC(HDC ADC) : FDC(ADC), FSaved(SaveDC(ADC)) {}
  ~TSavedDC() { RestoreDC(FDC, FSaved); }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

private:
  HDC FDC;
  int FSaved;
};

}  // namespace

TWinControl* FindControl(HWND AWindow) {
  if (!AWindow) return nullptr;
  DWORD process = 0;
  GetWindowThreadProcessId(AWindow, &process);
  if (process != GetCurrentProcessId()) return nullptr;
  return static_cast<TWinControl*>(GetPropW(AWindow, kControlProp));
}

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
  auto* control = static_cast<TWinControl*>(GetPropW(AWindow, kControlProp));
  if (!control && AMsg == WM_NCCREATE) {
    control = static_cast<TWinControl*>(reinterpret_cast<CREATESTRUCTW*>(ALParam)->lpCreateParams);
    if (control) control->AttachHandle(AWindow);
  }
  if (!control) return DefWindowProcW(AWindow, AMsg, AWParam, ALParam);
  TMessage message{AWindow, AMsg, AWParam, ALParam, 0, false};
  // The handler may free the control (a form released by its own message): only locals are used after it,
  // except on WM_NCDESTROY, whose control is alive while its window goes.
  if (!CallGuarded([&] { control->Dispatch(message); })) message.Result = 0;
  if (AMsg == WM_NCDESTROY && GetPropW(AWindow, kControlProp) == control) {
    RemovePropW(AWindow, kControlProp);
    if (control->FHandle == AWindow) control->DetachHandle();
  }
  return message.Result;
}

void TWinControl::AttachHandle(HWND AWindow) {
  FHandle = AWindow;
  SetPropW(AWindow, kControlProp, this);
}

void TWinControl::DetachHandle() {
  if (FHandle && GetPropW(FHandle, kControlProp) == this) RemovePropW(FHandle, kControlProp);
  FHandle = nullptr;
  FCaptureControl = nullptr;
  FHoverControl = nullptr;
  FMouseInside = false;
}

// ---------------------------------------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {
  FPadding.OnChange = MakeMethod<&TWinControl::PaddingChanged>(this);
  FBrush.SetColor(Color());
}

TWinControl::~TWinControl() {
  // Free() has done this already; a control deleted directly takes its children and window with it.
  while (!FWinControls.empty() || !FControls.empty()) {
    TControl* child = !FWinControls.empty() ? static_cast<TControl*>(FWinControls.back()) : FControls.back();
    child->Free();
    EraseItem(FWinControls, child);
    EraseItem(FTabList, child);
    EraseItem(FControls, child);
  }
  if (FHandle) {
    HWND window = FHandle;
    DetachHandle();
    DestroyWindow(window);
  }
}

void TWinControl::BeforeDestruction() {
  Destroying();
  RemoveFocus(true);
  while (!FWinControls.empty() || !FControls.empty()) {
    TControl* child = !FWinControls.empty() ? static_cast<TControl*>(FWinControls.back()) : FControls.back();
    child->Free();
    EraseItem(FWinControls, child);
    EraseItem(FTabList, child);
    EraseItem(FControls, child);
  }
  DestroyHandle();
  TControl::BeforeDestruction();
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
  if (ControlStyle() & csAcceptsControls) AParams.Style |= WS_CLIPCHILDREN;
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
  HWND window = CreateWindowExW(params.ExStyle, WStr(params.WinClassName), WStr(params.Caption), params.Style,
                                params.X, params.Y, params.Width, params.Height, params.WndParent, id,
                                GetModuleHandleW(nullptr), this);
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
    FControlState &= ~csCreating;
    throw;
  }
  FControlState &= ~csCreating;
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
    FControlState &= ~csRecreating;
    throw;
  }
  FControlState &= ~csRecreating;
  if (!Parent() && Visible()) ShowWindowState(true);
  if (focused && focused->FHandle && focused->CanFocus()) ::SetFocus(focused->FHandle);
}

void TWinControl::SetParentWindow(HWND AValue) {
  if (AValue == FParentWindow) return;
  if (!Parent()) DestroyHandle();
  FParentWindow = AValue;
}

void TWinControl::SetCtl3D(bool AValue) {
  FParentCtl3D = false;
  if (AValue == FCtl3D) return;
  FCtl3D = AValue;
  Perform(CM_CTL3DCHANGED);
}

void TWinControl::SetParentCtl3D(bool AValue) {
  if (AValue == FParentCtl3D) return;
  FParentCtl3D = AValue;
  if (AValue && Parent()) Perform(CM_PARENTCTL3DCHANGED);
}

void TWinControl::FreeContexts() {
  for (TControl* child : FControls) child->FreeContexts();
}

// ---------------------------------------------------------------------------------------------------------------
// Children

TControl* TWinControl::Controls(int AIndex) const {
  if (AIndex < 0 || AIndex >= ControlCount())
    throw EProgrammingError(Format(u"Control index out of range (%d)", {AIndex}));
  const size_t i = static_cast<size_t>(AIndex);
  return i < FControls.size() ? FControls[i] : FWinControls[i - FControls.size()];
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
    FControls.push_back(AControl);
  }
  AControl->UpdateAnchorRules();
  if (AControl->FParentColor) AControl->Perform(CM_PARENTCOLORCHANGED);
  if (AControl->FParentFont) AControl->Perform(CM_PARENTFONTCHANGED);
  if (AControl->FParentShowHint) AControl->Perform(CM_PARENTSHOWHINTCHANGED);
  if (auto* win = dynamic_cast<TWinControl*>(AControl); win && win->FParentCtl3D)
    win->Perform(CM_PARENTCTL3DCHANGED);
  if (AControl->FAlign != TAlign::alNone) Realign();
  AControl->Invalidate();
}

void TWinControl::RemoveControl(TControl* AControl) {
  // Pointer comparisons only: the control may be half destroyed.
  for (TWinControl* p = this; p; p = p->Parent()) p->DefocusControl(AControl, true);
  if (FCaptureControl == AControl) {
    FCaptureControl = nullptr;
    if (FHandle && GetCapture() == FHandle) ReleaseCapture();
  }
  if (FHoverControl == AControl) FHoverControl = nullptr;
  if (!IsDestroying() && !AControl->IsDestroying()) AControl->Invalidate();
  EraseItem(FWinControls, AControl);
  EraseItem(FTabList, AControl);
  EraseItem(FControls, AControl);
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
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it)
    if (hit(*it)) return *it;
  return nullptr;
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

void TWinControl::PaddingChanged(TObject*) {
  Realign();
}

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0 && --FAlignLevel == 0 && FAlignPending) Realign();
}

void TWinControl::Realign() {
  if (FControlState & csAligning) return;
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
    FControlState &= ~csAligning;
    throw;
  }
  FControlState &= ~csAligning;
}

void TWinControl::AlignControls(RECT& ARect) {
  std::vector<TControl*> children;
  for (int i = 0; i < ControlCount(); ++i) children.push_back(Controls(i));
  auto aligned = [&](TAlign AAlign) {
    std::vector<TControl*> list;
    for (TControl* c : children)
      if (c->FVisible && c->FAlign == AAlign) list.push_back(c);
    return list;
  };
  auto width = [&] { return std::max<int>(ARect.right - ARect.left, 0); };
  auto height = [&] { return std::max<int>(ARect.bottom - ARect.top, 0); };

  std::vector<TControl*> list = aligned(TAlign::alTop);
  std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) { return a->Top() < b->Top(); });
  for (TControl* c : list) {
    c->SetBounds(ARect.left, ARect.top, width(), c->Height());
    ARect.top += c->Height();
  }
  list = aligned(TAlign::alBottom);
  std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) {
    return a->Top() + a->Height() > b->Top() + b->Height();
  });
  for (TControl* c : list) {
    c->SetBounds(ARect.left, ARect.bottom - c->Height(), width(), c->Height());
    ARect.bottom -= c->Height();
  }
  list = aligned(TAlign::alLeft);
  std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) { return a->Left() < b->Left(); });
  for (TControl* c : list) {
    c->SetBounds(ARect.left, ARect.top, c->Width(), height());
    ARect.left += c->Width();
  }
  list = aligned(TAlign::alRight);
  std::stable_sort(list.begin(), list.end(), [](TControl* a, TControl* b) {
    return a->Left() + a->Width() > b->Left() + b->Width();
  });
  for (TControl* c : list) {
    c->SetBounds(ARect.right - c->Width(), ARect.top, c->Width(), height());
    ARect.right -= c->Width();
  }
  for (TControl* c : aligned(TAlign::alClient)) c->SetBounds(ARect.left, ARect.top, width(), height());

  // Anchored children keep their distances to the anchored edges of the client area.
  const RECT client = ClientRect();
  const int clientWidth = client.right - client.left;
  const int clientHeight = client.bottom - client.top;
  for (TControl* c : children) {
    if (c->FAlign != TAlign::alNone || c->FAnchors == (akLeft | akTop)) continue;
    const RECT b = c->FAnchorBounds;
    const int dx = clientWidth - c->FAnchorParentSize.cx;
    const int dy = clientHeight - c->FAnchorParentSize.cy;
    int left = b.left, top = b.top, w = b.right - b.left, h = b.bottom - b.top;
    if (c->FAnchors & akRight) {
      if (c->FAnchors & akLeft) w += dx;
      else left += dx;
    } else if (!(c->FAnchors & akLeft)) {
      left += dx / 2;
    }
    if (c->FAnchors & akBottom) {
      if (c->FAnchors & akTop) h += dy;
      else top += dy;
    } else if (!(c->FAnchors & akTop)) {
      top += dy / 2;
    }
    c->SetBounds(left, top, w, h);
  }
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
  if (FHandle) ::InvalidateRect(FHandle, nullptr, !(ControlStyle() & csOpaque));
}

void TWinControl::InvalidateRect(const RECT& ARect, bool AErase) {
  if (FHandle) ::InvalidateRect(FHandle, &ARect, AErase);
}

void TWinControl::Update() {
  if (FHandle) UpdateWindow(FHandle);
}

void TWinControl::PaintHandler(HDC ADC) {
  {
    TSavedDC saved(ADC);
    // Opaque windowless children cover their part themselves.
    for (TControl* c : FControls)
      if (c->FVisible && (c->ControlStyle() & csOpaque))
        ExcludeClipRect(ADC, c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height());
    PaintWindow(ADC);
  }
  PaintControls(ADC);
}

void TWinControl::PaintControls(HDC ADC) {
  RECT clip;
  GetClipBox(ADC, &clip);
  for (TControl* c : std::vector<TControl*>(FControls)) {
    if (c->Parent() != this || !c->FVisible) continue;
    const RECT bounds = c->BoundsRect();
    RECT common;
    if (!IntersectRect(&common, &bounds, &clip)) continue;
    TSavedDC saved(ADC);
    POINT origin;
    GetViewportOrgEx(ADC, &origin);
    SetViewportOrgEx(ADC, origin.x + c->Left(), origin.y + c->Top(), nullptr);
    IntersectClipRect(ADC, 0, 0, c->Width(), c->Height());
    c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(ADC), 0);
  }
}

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

void TWinControl::SetFocus() {
  TopParent()->FocusChild(this);
}

void TWinControl::FocusChild(TWinControl* AControl) {
  if (!AControl->CanFocus()) throw EInvalidOperation(u"Cannot focus a disabled or invisible window");
  ::SetFocus(AControl->Handle());
}

bool TWinControl::Focused() const {
  return FHandle && GetFocus() == FHandle;
}

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

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& AList) const {
  for (TWinControl* child : FTabList) {
    AList.push_back(child);
    child->GetTabOrderList(AList);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* ACurrent, bool AForward, bool ACheckTabStop,
                                          bool ACheckParent) const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  const int count = static_cast<int>(list.size());
  if (count == 0) return nullptr;
  auto found = std::find(list.begin(), list.end(), ACurrent);
  const int start = found == list.end() ? (AForward ? -1 : count) : static_cast<int>(found - list.begin());
  for (int step = 1; step <= count; ++step) {
    const int i = ((AForward ? start + step : start - step) % count + count) % count;
    TWinControl* c = list[static_cast<size_t>(i)];
    if (c == ACurrent) continue;
    if (c->CanFocus() && (!ACheckTabStop || c->FTabStop) && (!ACheckParent || c->Parent() == this)) return c;
  }
  return nullptr;
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

bool TWinControl::PreviewKey(uint16_t& AKey, TShiftState AShift, UINT AMsg) {
  std::vector<TWinControl*> previewers;
  for (TWinControl* p = Parent(); p; p = p->Parent())
    if (p->PreviewsKeys()) previewers.push_back(p);
  const bool down = AMsg == WM_KEYDOWN || AMsg == WM_SYSKEYDOWN;
  for (auto it = previewers.rbegin(); it != previewers.rend(); ++it) {
    if (down)
      (*it)->KeyDown(AKey, AShift);
    else
      (*it)->KeyUp(AKey, AShift);
    if (AKey == 0) return true;
  }
  return false;
}

bool TWinControl::PreviewChar(char16_t& AKey) {
  std::vector<TWinControl*> previewers;
  for (TWinControl* p = Parent(); p; p = p->Parent())
    if (p->PreviewsKeys()) previewers.push_back(p);
  for (auto it = previewers.rbegin(); it != previewers.rend(); ++it) {
    (*it)->KeyPress(AKey);
    if (AKey == 0) return true;
  }
  return false;
}

LRESULT TWinControl::DialogCode(const TMessage& AMessage) {
  if (!FHandle) return 0;
  MSG msg{AMessage.Wnd, AMessage.Msg, AMessage.WParam, AMessage.LParam, 0, {0, 0}};
  return SendMessageW(FHandle, WM_GETDLGCODE, AMessage.WParam, reinterpret_cast<LPARAM>(&msg));
}

void TWinControl::HandleKeyDown(TMessage& AMessage) {
  uint16_t key = static_cast<uint16_t>(AMessage.WParam);
  const TShiftState shift = KeyDataToShiftState(AMessage.LParam);
  const HWND window = AMessage.Wnd;
  if (PreviewKey(key, shift, AMessage.Msg)) return Consume(AMessage);
  KeyDown(key, shift);
  if (key == 0) return Consume(AMessage);
  if (IsDialogKeyCandidate(key, shift) && !WantsDialogKey(key, DialogCode(AMessage))) {
    // The translation of this key is already queued. It is taken out before the dialog key runs (a click may
    // run a nested loop that would deliver it) and put back only when the key was not consumed.
    const UINT charMsg = AMessage.Msg == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    MSG pending;
    const bool hadChar = PeekMessageW(&pending, window, charMsg, charMsg, PM_REMOVE | PM_NOYIELD);
    if (TopParent()->Perform(CM_DIALOGKEY, key, AMessage.LParam) != 0) return Consume(AMessage);
    if (hadChar) PostMessageW(pending.hwnd, pending.message, pending.wParam, pending.lParam);
  }
  AMessage.WParam = key;
  DefaultHandler(AMessage);
  AMessage.Handled = true;
}

void TWinControl::HandleKeyUp(TMessage& AMessage) {
  uint16_t key = static_cast<uint16_t>(AMessage.WParam);
  const TShiftState shift = KeyDataToShiftState(AMessage.LParam);
  if (PreviewKey(key, shift, AMessage.Msg)) return Consume(AMessage);
  KeyUp(key, shift);
  if (key == 0) return Consume(AMessage);
  AMessage.WParam = key;
  DefaultHandler(AMessage);
  AMessage.Handled = true;
}

void TWinControl::HandleChar(TMessage& AMessage) {
  char16_t key = static_cast<char16_t>(AMessage.WParam);
  if (PreviewChar(key)) return Consume(AMessage);
  KeyPress(key);
  if (key == 0) return Consume(AMessage);
  if (AMessage.Msg == WM_SYSCHAR || !(DialogCode(AMessage) & DLGC_WANTCHARS)) {
    if (TopParent()->Perform(CM_DIALOGCHAR, key, AMessage.LParam) != 0) return Consume(AMessage);
  }
  AMessage.WParam = key;
  DefaultHandler(AMessage);
  AMessage.Handled = true;
}

// ---------------------------------------------------------------------------------------------------------------
// Mouse

void TWinControl::SetHoverControl(TControl* AControl) {
  if (AControl == FHoverControl) return;
  TControl* old = FHoverControl;
  FHoverControl = AControl;
  if (old) old->Perform(CM_MOUSELEAVE);
  if (AControl && AControl == FHoverControl) AControl->Perform(CM_MOUSEENTER);
}

void TWinControl::TrackMouse(POINT APos) {
  if (!FMouseInside) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, FHandle, 0};
    TrackMouseEvent(&track);
    FMouseInside = true;
    Perform(CM_MOUSEENTER);
  }
  // While a windowless child holds the capture, only it can be under the pointer.
  TControl* hover = nullptr;
  const RECT client = ClientRect();
  if (FCaptureControl && GetCapture() == FHandle) {
    const RECT bounds = FCaptureControl->BoundsRect();
    if (PtInRect(&bounds, APos)) hover = FCaptureControl;
  } else if (PtInRect(&client, APos)) {
    hover = ControlAtPos(APos, false);
  }
  SetHoverControl(hover);
}

bool TWinControl::RouteMouse(TMessage& AMessage) {
  const POINT p = PointFromLParam(AMessage.LParam);
  TControl* target = FCaptureControl && FHandle && GetCapture() == FHandle ? FCaptureControl
                                                                           : ControlAtPos(p, false);
  if (!target) return false;
  TMessage routed = AMessage;
  routed.LParam = MAKELPARAM(static_cast<WORD>(p.x - target->Left()), static_cast<WORD>(p.y - target->Top()));
  target->Dispatch(routed);
  return true;
}

void TWinControl::HandleMouseWheel(TMessage& AMessage) {
  const TShiftState shift = KeysToShiftState(GET_KEYSTATE_WPARAM(AMessage.WParam));
  const int delta = GET_WHEEL_DELTA_WPARAM(AMessage.WParam);
  if (DoMouseWheel(shift, delta, PointFromLParam(AMessage.LParam))) Consume(AMessage);
}

bool TWinControl::DoMouseWheel(TShiftState AShift, int AWheelDelta, POINT AMousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, AShift, AWheelDelta, AMousePos, handled);
  if (handled) return true;
  // A turn the other way starts counting anew.
  if ((FWheelAccumulator > 0 && AWheelDelta < 0) || (FWheelAccumulator < 0 && AWheelDelta > 0))
    FWheelAccumulator = 0;
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

void TWinControl::HandleSetCursor(TMessage& AMessage) {
  if (Screen && Screen->ApplyCursor()) {
    AMessage.Result = TRUE;
    AMessage.Handled = true;
    return;
  }
  if (reinterpret_cast<HWND>(AMessage.WParam) != FHandle || LOWORD(AMessage.LParam) != HTCLIENT) return;
  POINT p;
  GetCursorPos(&p);
  p = ScreenToClient(p);
  TControl* target = FCaptureControl && GetCapture() == FHandle ? FCaptureControl : ControlAtPos(p, false);
  TCursor cursor = target ? target->Cursor() : crDefault;
  if (cursor == crDefault) cursor = Cursor();
  if (cursor == crDefault) return;
  ::SetCursor(GetCursorHandle(cursor));
  AMessage.Result = TRUE;
  AMessage.Handled = true;
}

// ---------------------------------------------------------------------------------------------------------------
// Reflected notifications

bool TWinControl::ReflectNotification(TMessage& AMessage) {
  HWND child = nullptr;
  UINT reflected = 0;
  switch (AMessage.Msg) {
    case WM_COMMAND: child = reinterpret_cast<HWND>(AMessage.LParam); reflected = CN_COMMAND; break;
    case WM_NOTIFY: child = reinterpret_cast<NMHDR*>(AMessage.LParam)->hwndFrom; reflected = CN_NOTIFY; break;
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(AMessage.LParam);
      if (item->CtlType != ODT_MENU) child = item->hwndItem;
      reflected = CN_DRAWITEM;
      break;
    }
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(AMessage.LParam);
      if (item->CtlType != ODT_MENU) {
        for (TWinControl* c : FWinControls)
          if (c->FControlId == item->CtlID) child = c->FHandle;
      }
      reflected = CN_MEASUREITEM;
      break;
    }
    case WM_DELETEITEM:
      child = reinterpret_cast<DELETEITEMSTRUCT*>(AMessage.LParam)->hwndItem;
      reflected = CN_DELETEITEM;
      break;
    case WM_COMPAREITEM:
      child = reinterpret_cast<COMPAREITEMSTRUCT*>(AMessage.LParam)->hwndItem;
      reflected = CN_COMPAREITEM;
      break;
    case WM_HSCROLL: child = reinterpret_cast<HWND>(AMessage.LParam); reflected = CN_HSCROLL; break;
    case WM_VSCROLL: child = reinterpret_cast<HWND>(AMessage.LParam); reflected = CN_VSCROLL; break;
    case WM_CTLCOLOREDIT: child = reinterpret_cast<HWND>(AMessage.LParam); reflected = CN_CTLCOLOREDIT; break;
    case WM_CTLCOLORSTATIC: child = reinterpret_cast<HWND>(AMessage.LParam); reflected = CN_CTLCOLORSTATIC; break;
    case WM_CTLCOLORBTN: child = reinterpret_cast<HWND>(AMessage.LParam); reflected = CN_CTLCOLORBTN; break;
    case WM_CTLCOLORLISTBOX:
      child = reinterpret_cast<HWND>(AMessage.LParam);
      reflected = CN_CTLCOLORLISTBOX;
      break;
    case WM_CTLCOLORSCROLLBAR:
      child = reinterpret_cast<HWND>(AMessage.LParam);
      reflected = CN_CTLCOLORSCROLLBAR;
      break;
    case WM_CHARTOITEM: child = reinterpret_cast<HWND>(AMessage.LParam); reflected = CN_CHARTOITEM; break;
    case WM_VKEYTOITEM: child = reinterpret_cast<HWND>(AMessage.LParam); reflected = CN_VKEYTOITEM; break;
    default: return false;
  }
  if (!child || child == FHandle) return false;
  TWinControl* control = FindControl(child);
  if (!control) return false;
  TMessage message{child, reflected, AMessage.WParam, AMessage.LParam, 0, false};
  control->Dispatch(message);
  if (!message.Handled) return false;
  AMessage.Result = message.Result;
  AMessage.Handled = true;
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// The window procedure of every windowed control

void TWinControl::DefaultHandler(TMessage& AMessage) {
  if (AMessage.Msg >= CM_BASE && AMessage.Msg <= CM_BASE + 0xFF) return;
  if (!FHandle) return;
  AMessage.Result = CallWindowProcW(FDefWndProc ? FDefWndProc : DefWindowProcW, FHandle, AMessage.Msg,
                                    AMessage.WParam, AMessage.LParam);
}

void TWinControl::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_PAINT:
      if (!FOwnClass) break;  // a system class paints itself
      if (AMessage.WParam) {
        PaintHandler(reinterpret_cast<HDC>(AMessage.WParam));
      } else {
        TPaintScope paint(FHandle);
        PaintHandler(paint.DC());
      }
      return Consume(AMessage);
    case WM_ERASEBKGND: {
      if (!FOwnClass) break;
      RECT r;
      ::GetClientRect(FHandle, &r);
      FillRect(reinterpret_cast<HDC>(AMessage.WParam), &r, FBrush.Handle());
      AMessage.Result = 1;
      AMessage.Handled = true;
      return;
    }
    case WM_NCPAINT:
      if ((ControlStyle() & csNeedsBorderPaint) && ThemeServices && ThemeServices->Enabled() &&
          (GetWindowLongW(FHandle, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) {
        DefaultHandler(AMessage);
        const LONG style = GetWindowLongW(FHandle, GWL_STYLE);
        ThemeServices->PaintBorder(FHandle, (style & WS_HSCROLL) && (style & WS_VSCROLL));
        AMessage.Handled = true;
        return;
      }
      break;
    case WM_WINDOWPOSCHANGED:
      DefaultHandler(AMessage);
      AMessage.Handled = true;
      UpdateBounds();
      return;
    case WM_SETFOCUS:
      DefaultHandler(AMessage);
      AMessage.Handled = true;
      TopParent()->SetFocusedControl(this);
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: return HandleKeyDown(AMessage);
    case WM_KEYUP:
    case WM_SYSKEYUP: return HandleKeyUp(AMessage);
    case WM_CHAR:
    case WM_SYSCHAR: return HandleChar(AMessage);
    case WM_GETDLGCODE:
      // Our own controls take typed characters; a control made from a system class answers as that class.
      if (FOwnClass) {
        AMessage.Result = DLGC_WANTCHARS;
        AMessage.Handled = true;
      }
      return;
    case WM_MOUSEMOVE:
      TrackMouse(PointFromLParam(AMessage.LParam));
      if (RouteMouse(AMessage)) return;
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MBUTTONUP:
      if (RouteMouse(AMessage)) return;
      break;
    case WM_MOUSELEAVE:
      FMouseInside = false;
      SetHoverControl(nullptr);
      Perform(CM_MOUSELEAVE);
      return Consume(AMessage);
    case WM_MOUSEWHEEL: return HandleMouseWheel(AMessage);
    case WM_SETCURSOR: return HandleSetCursor(AMessage);
    case WM_CONTEXTMENU: {
      const POINT screen = PointFromLParam(AMessage.LParam);
      if (screen.x != -1 || screen.y != -1) {
        if (TControl* child = ControlAtPos(ScreenToClient(screen), false)) {
          TMessage routed = AMessage;
          child->Dispatch(routed);
          if (routed.Handled) {
            AMessage.Result = routed.Result;
            AMessage.Handled = true;
            return;
          }
        }
      }
      break;
    }
    case WM_CANCELMODE:
      if (FCaptureControl) FCaptureControl->Perform(CM_CANCELMODE);
      Perform(CM_CANCELMODE);
      break;
    case WM_CAPTURECHANGED: {
      TControl* child = FCaptureControl;
      FCaptureControl = nullptr;
      const HWND taker = reinterpret_cast<HWND>(AMessage.LParam);
      const LPARAM takerControl = reinterpret_cast<LPARAM>(FindControl(taker));
      if (child && (child->FControlState & csLButtonDown)) child->Perform(CM_CANCELMODE, 0, takerControl);
      if ((FControlState & csLButtonDown) && taker != FHandle) Perform(CM_CANCELMODE, 0, takerControl);
      break;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
      if (ReflectNotification(AMessage)) return;
      break;
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORSTATIC:
    case CN_CTLCOLORBTN:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORSCROLLBAR: {
      HDC dc = reinterpret_cast<HDC>(AMessage.WParam);
      SetTextColor(dc, ColorToRef(Font().Color()));
      SetBkColor(dc, ColorToRef(Color()));
      AMessage.Result = reinterpret_cast<LRESULT>(FBrush.Handle());
      AMessage.Handled = true;
      return;
    }
    case CM_COLORCHANGED: {
      FBrush.SetColor(Color());
      Invalidate();
      TMessage message{FHandle, CM_PARENTCOLORCHANGED, 0, 0, 0, false};
      Broadcast(message);
      return;
    }
    case CM_FONTCHANGED: {
      if (FHandle) SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font().Handle()), TRUE);
      TMessage message{FHandle, CM_PARENTFONTCHANGED, 0, 0, 0, false};
      Broadcast(message);
      break;
    }
    case CM_SHOWHINTCHANGED: {
      TMessage message{FHandle, CM_PARENTSHOWHINTCHANGED, 0, 0, 0, false};
      Broadcast(message);
      return;
    }
    case CM_CTL3DCHANGED: {
      TMessage message{FHandle, CM_PARENTCTL3DCHANGED, 0, 0, 0, false};
      Broadcast(message);
      return;
    }
    case CM_PARENTCTL3DCHANGED:
      if (FParentCtl3D && Parent() && FCtl3D != Parent()->FCtl3D) {
        FCtl3D = Parent()->FCtl3D;
        Perform(CM_CTL3DCHANGED);
      }
      return;
    case CM_ENABLEDCHANGED:
      // The focus leaves first: a disabled window that holds the focus loses it to nobody.
      if (!Enabled()) RemoveFocus(false);
      if (FHandle) EnableWindow(FHandle, Enabled());
      break;
    case CM_ENTER: DoEnter(); return;
    case CM_EXIT: DoExit(); return;
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
  FCanvas->BindDC(ADC);
  try {
    FCanvas->Font().Assign(&Font());
    FCanvas->Brush().SetColor(Color());
    Paint();
  } catch (...) {
    FCanvas->UnbindDC();
    throw;
  }
  FCanvas->UnbindDC();
}

void TCustomControl::FreeContexts() {
  FCanvas->FreeHandle();
  TWinControl::FreeContexts();
}
