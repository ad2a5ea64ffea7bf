#include "framework/fwControls.h"

#include <algorithm>

#include "framework/fwWinControls.h"

namespace {

char16_t UpperChar(char16_t AChar) {
  return static_cast<char16_t>(
      reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(AChar)))));
}

// Marks a font change as coming from the parent for one scope.
class TFlagScope {
 public:
  explicit TFlagScope(bool& AFlag) : FFlag(AFlag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
};

}  // namespace

bool IsAccel(char16_t AKey, const std::u16string& ACaption) {
  for (size_t i = 0; i + 1 < ACaption.size(); ++i) {
    if (ACaption[i] != u'&') continue;
    ++i;
    if (ACaption[i] == u'&') continue;  // "&&" is a plain ampersand
    return UpperChar(ACaption[i]) == UpperChar(AKey);
  }
  return false;
}

// ---------------------------------------------------------------------------------------------------------------

void TSizeConstraints::Assign(const TPersistent* ASource) {
  if (auto* source = dynamic_cast<const TSizeConstraints*>(ASource)) {
    FMinWidth = source->FMinWidth;
    FMinHeight = source->FMinHeight;
    FMaxWidth = source->FMaxWidth;
    FMaxHeight = source->FMaxHeight;
    Changed();
    return;
  }
  TPersistent::Assign(ASource);
}

void TSizeConstraints::SetMinWidth(int AValue) {
  if (AValue == FMinWidth) return;
  FMinWidth = AValue;
  Changed();
}

void TSizeConstraints::SetMinHeight(int AValue) {
  if (AValue == FMinHeight) return;
  FMinHeight = AValue;
  Changed();
}

void TSizeConstraints::SetMaxWidth(int AValue) {
  if (AValue == FMaxWidth) return;
  FMaxWidth = AValue;
  Changed();
}

void TSizeConstraints::SetMaxHeight(int AValue) {
  if (AValue == FMaxHeight) return;
  FMaxHeight = AValue;
  Changed();
}

void TSizeConstraints::Apply(int& AWidth, int& AHeight) const {
  if (FMaxWidth > 0) AWidth = std::min(AWidth, FMaxWidth);
  if (FMaxHeight > 0) AHeight = std::min(AHeight, FMaxHeight);
  AWidth = std::max(AWidth, FMinWidth);
  AHeight = std::max(AHeight, FMinHeight);
}

void TSizeConstraints::Changed() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------------------------------------------

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::TakeControlLook() {
  Font().Assign(&FControl->Font());
  Brush().SetColor(FControl->Color());
}

void TControlCanvas::BindDC(HDC ADC) {
  FreeHandle();
  SetHandle(ADC);
}

void TControlCanvas::FreeHandle() {
  if (!FOwnDC) return;
  HDC dc = FOwnDC;
  FOwnDC = nullptr;
  SetHandle(nullptr);
  if (FOwnWindow)
    ReleaseDC(FOwnWindow, dc);
  else
    DeleteDC(dc);
  FOwnWindow = nullptr;
}

void TControlCanvas::CreateHandle() {
  HWND window = nullptr;
  bool windowless = false;
  if (auto* win = dynamic_cast<TWinControl*>(FControl)) {
    window = win->HandleIfAllocated();
  } else if (TWinControl* parent = FControl->Parent()) {
    window = parent->HandleIfAllocated();
    windowless = true;
  }
  HDC dc = window ? GetDCEx(window, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS) : CreateCompatibleDC(nullptr);
  if (!dc) throw EOSError(u"Cannot get a device context for a control", GetLastError());
  if (windowless) {
    SetViewportOrgEx(dc, FControl->Left(), FControl->Top(), nullptr);
    IntersectClipRect(dc, 0, 0, FControl->Width(), FControl->Height());
  }
  FOwnDC = dc;
  FOwnWindow = window;
  SetHandle(dc);
}

// ---------------------------------------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  FFont.OnChange = MakeMethod<&TControl::FontChanged>(this);
  FConstraints.OnChange = MakeMethod<&TControl::ConstraintsChanged>(this);
}

TControl::~TControl() {
  // Free() has left the parent already; a control deleted directly leaves it here.
  Destroying();
  if (FParent) FParent->RemoveControl(this);
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
}

void TControl::BeforeDestruction() {
  Destroying();
  if (FParent) SetParent(nullptr);
  TComponent::BeforeDestruction();
}

void TControl::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TComponent::Notification(AComponent, AOperation);
  if (AOperation == TComponentOperation::opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TControl::SetParent(TWinControl* AParent) {
  if (FParent == AParent) return;
  if (AParent && static_cast<TControl*>(AParent) == this)
    throw EInvalidOperation(u"A control cannot be its own parent");
  // A context the canvas made itself belongs to the old parent's window.
  FreeContexts();
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  FConstraints.Apply(AWidth, AHeight);
  if ((AWidth != FWidth || AHeight != FHeight) && !CanResize(AWidth, AHeight)) {
    AWidth = FWidth;
    AHeight = FHeight;
  }
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  const bool sized = AWidth != FWidth || AHeight != FHeight;
  Invalidate();
  StoreBounds(ALeft, ATop, AWidth, AHeight);
  // A context the canvas made itself is placed and clipped at the old bounds.
  FreeContexts();
  Invalidate();
  if (sized) Resize();
  RequestParentAlign();
}

void TControl::StoreBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  // Bounds the parent's alignment gives keep the rules; bounds set from outside make new ones.
  if (!FParent || !FParent->FControlState.Contains(csAligning)) UpdateAnchorRules();
}

void TControl::UpdateAnchorRules() {
  FAnchorBounds = BoundsRect();
  if (FParent) {
    RECT client = FParent->ClientRect();
    FAnchorParentSize = SIZE{client.right - client.left, client.bottom - client.top};
  }
}

void TControl::RequestParentAlign() {
  if (FParent && FAlign != TAlign::alNone && FVisible) FParent->Realign();
}

RECT TControl::GetClientRect() const { return RECT{0, 0, FWidth, FHeight}; }

int TControl::ClientWidth() const {
  RECT r = GetClientRect();
  return r.right - r.left;
}

int TControl::ClientHeight() const {
  RECT r = GetClientRect();
  return r.bottom - r.top;
}

void TControl::SetClientSize(int AWidth, int AHeight) {
  RECT client = GetClientRect();
  SetBounds(FLeft, FTop, FWidth - (client.right - client.left) + AWidth,
            FHeight - (client.bottom - client.top) + AHeight);
}

POINT TControl::ClientOrigin() const {
  POINT origin{FLeft, FTop};
  if (FParent) {
    POINT parent = FParent->ClientOrigin();
    origin.x += parent.x;
    origin.y += parent.y;
  }
  return origin;
}

POINT TControl::ClientToScreen(POINT APoint) const {
  POINT origin = ClientOrigin();
  return POINT{APoint.x + origin.x, APoint.y + origin.y};
}

POINT TControl::ScreenToClient(POINT APoint) const {
  POINT origin = ClientOrigin();
  return POINT{APoint.x - origin.x, APoint.y - origin.y};
}

void TControl::SetAlign(TAlign AValue) {
  if (AValue == FAlign) return;
  const bool wasAligned = FAlign != TAlign::alNone;
  FAlign = AValue;
  if (AValue == TAlign::alNone) UpdateAnchorRules();
  if (FParent && FVisible && (wasAligned || AValue != TAlign::alNone)) FParent->Realign();
}

void TControl::SetAnchors(TAnchors AValue) {
  FAnchors = AValue;
  UpdateAnchorRules();
}

void TControl::ConstraintsChanged(TObject*) { SetBounds(FLeft, FTop, FWidth, FHeight); }

bool TControl::CanResize(int& ANewWidth, int& ANewHeight) {
  bool resize = true;
  if (OnCanResize) OnCanResize(this, ANewWidth, ANewHeight, resize);
  return resize;
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::SetVisible(bool AValue) {
  if (AValue == FVisible) return;
  if (!AValue) Invalidate();
  FVisible = AValue;
  if (AValue) Invalidate();
  Perform(CM_VISIBLECHANGED, AValue);
  if (FParent && FAlign != TAlign::alNone) FParent->Realign();
}

bool TControl::Showing() const { return FVisible && FParent && FParent->Showing(); }

void TControl::SetEnabled(bool AValue) {
  if (AValue == FEnabled) return;
  FEnabled = AValue;
  Perform(CM_ENABLEDCHANGED);
}

void TControl::SetText(const std::u16string& AValue) {
  if (GetText() == AValue) return;
  SetTextValue(AValue);
  Perform(CM_TEXTCHANGED);
}

void TControl::SetColor(TColor AValue) {
  if (FColor.Set(AValue)) Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool AValue) {
  if (FColor.SetFromParent(AValue) && FParent) Perform(CM_PARENTCOLORCHANGED);
}

void TControl::FontChanged(TObject*) {
  if (!FFontFromParent) FParentFont = false;
  Perform(CM_FONTCHANGED);
}

void TControl::SetParentFont(bool AValue) {
  if (AValue == FParentFont) return;
  FParentFont = AValue;
  if (AValue && FParent) Perform(CM_PARENTFONTCHANGED);
}

void TControl::SetCursor(TCursor AValue) {
  if (AValue == FCursor) return;
  FCursor = AValue;
  Perform(CM_CURSORCHANGED);
  RefreshCursor();
}

void TControl::RefreshCursor() {
  if (!Showing() || GetCapture()) return;
  POINT point;
  if (!GetCursorPos(&point) || FindDragTarget(point, true) != this) return;
  HWND window = WindowFromPoint(point);
  SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void TControl::SetShowHint(bool AValue) {
  if (FShowHint.Set(AValue)) Perform(CM_SHOWHINTCHANGED);
}

void TControl::SetParentShowHint(bool AValue) {
  if (FShowHint.SetFromParent(AValue) && FParent) Perform(CM_PARENTSHOWHINTCHANGED);
}

void TControl::TakeParentValues() {
  if (FColor.FromParent()) Perform(CM_PARENTCOLORCHANGED);
  if (FParentFont) Perform(CM_PARENTFONTCHANGED);
  if (FShowHint.FromParent()) Perform(CM_PARENTSHOWHINTCHANGED);
}

void TControl::AnswerByDefault(TMessage& AMessage) {
  DefaultHandler(AMessage);
  AMessage.Handled = true;
}

void TControl::SetPopupMenu(TComponent* AValue) {
  if (AValue == FPopupMenu) return;
  if (AValue && !dynamic_cast<IPopupMenu*>(AValue)) throw EComponentError(u"A popup menu must be a menu component");
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = AValue;
  if (FPopupMenu) FPopupMenu->FreeNotification(this);
}

void TControl::Invalidate() {
  if (FParent && FVisible) FParent->InvalidateRect(BoundsRect(), !FControlStyle.Contains(csOpaque));
}

void TControl::Update() {
  if (FParent) FParent->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (!FParent) return;
  FParent->FWindowless.BringToFront(this);
  Invalidate();
}

void TControl::SendToBack() {
  if (!FParent) return;
  FParent->FWindowless.SendToBack(this);
  Invalidate();
}

LRESULT TControl::Perform(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  auto* win = dynamic_cast<TWinControl*>(this);
  TMessage message{win ? win->HandleIfAllocated() : nullptr, AMsg, AWParam, ALParam, 0, false};
  Dispatch(message);
  return message.Result;
}

void TControl::Dispatch(TMessage& AMessage) {
  if (!FFilters.empty()) {
    std::vector<TMessageEvent> filters = FFilters;
    for (const TMessageEvent& filter : filters) {
      filter(AMessage);
      if (AMessage.Handled) return;
    }
  }
  WndProc(AMessage);
  if (!AMessage.Handled) DefaultHandler(AMessage);
}

void TControl::AddMessageFilter(TMessageEvent AFilter) { FFilters.push_back(AFilter); }

void TControl::RemoveMessageFilter(TMessageEvent AFilter) {
  auto it = std::find(FFilters.begin(), FFilters.end(), AFilter);
  if (it != FFilters.end()) FFilters.erase(it);
}

void TControl::DefaultHandler(TMessage&) {}

bool TControl::MouseCapture() const { return FParent && FParent->FWindowless.HoldsCapture(this); }

void TControl::SetMouseCapture(bool AValue) {
  if (FParent) FParent->FWindowless.SetCapture(this, AValue);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, AButton, AShift, X, Y);
}

void TControl::MouseMove(TShiftState AShift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, AShift, X, Y);
}

void TControl::MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, AButton, AShift, X, Y);
}

void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::DoContextPopup(POINT AMousePos, bool& AHandled) {
  if (OnContextPopup) OnContextPopup(this, AMousePos, AHandled);
}

void TControl::MouseButtonDown(const TMouseMessage& AMessage, TMouseButton AButton, bool ADouble) {
  TShiftState shift = AMessage.Shift;
  const bool dbl = ADouble && FControlStyle.Contains(csDoubleClicks);
  if (dbl) shift |= ssDouble;
  if (AButton == TMouseButton::mbLeft && MakesOwnClicks()) {
    if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(true);
    FControlState |= csLButtonDown;
    // The press that completes a double click is no second click.
    if (!dbl && FControlStyle.Contains(csClickEvents)) FControlState |= csClicked;
  }
  MouseDown(AButton, shift, AMessage.Pos.x, AMessage.Pos.y);
  if (dbl && AButton == TMouseButton::mbLeft) DblClick();
}

void TControl::MouseButtonUp(const TMouseMessage& AMessage, TMouseButton AButton) {
  const POINT p = AMessage.Pos;
  if (AButton != TMouseButton::mbLeft) {
    MouseUp(AButton, AMessage.Shift, p.x, p.y);
    return;
  }
  const bool clicked = FControlState.Contains(csClicked);
  FControlState -= csLButtonDown | csClicked;
  // A system class keeps its own capture until its own handling of the release.
  if (MakesOwnClicks() && MouseCapture()) SetMouseCapture(false);
  MouseUp(AButton, AMessage.Shift, p.x, p.y);
  const RECT client = GetClientRect();
  // The click comes last: its handler may free the control.
  if (clicked && PtInRect(&client, p)) Click();
}

void TControl::ContextMenu(TContextMenuMessage& AMessage) {
  POINT screen = AMessage.ScreenPos;
  const bool fromKeyboard = AMessage.FromKeyboard();
  bool handled = false;
  DoContextPopup(fromKeyboard ? screen : ScreenToClient(screen), handled);
  if (handled) return AMessage.Message.Answer();
  if (auto* menu = dynamic_cast<IPopupMenu*>(FPopupMenu)) {
    if (fromKeyboard) screen = ClientToScreen(POINT{0, 0});
    menu->PopupFor(this, screen);
    AMessage.Message.Answer();
  }
}

void TControl::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_MOUSEMOVE: {
      const TMouseMessage mouse(AMessage);
      MouseMove(mouse.Shift, mouse.Pos.x, mouse.Pos.y);
      break;
    }
    case WM_LBUTTONDOWN:
      MouseButtonDown(TMouseMessage(AMessage), TMouseButton::mbLeft, false);
      break;
    case WM_LBUTTONDBLCLK:
      MouseButtonDown(TMouseMessage(AMessage), TMouseButton::mbLeft, true);
      break;
    case WM_RBUTTONDOWN:
      MouseButtonDown(TMouseMessage(AMessage), TMouseButton::mbRight, false);
      break;
    case WM_RBUTTONDBLCLK:
      MouseButtonDown(TMouseMessage(AMessage), TMouseButton::mbRight, true);
      break;
    case WM_MBUTTONDOWN:
      MouseButtonDown(TMouseMessage(AMessage), TMouseButton::mbMiddle, false);
      break;
    case WM_MBUTTONDBLCLK:
      MouseButtonDown(TMouseMessage(AMessage), TMouseButton::mbMiddle, true);
      break;
    case WM_LBUTTONUP:
      MouseButtonUp(TMouseMessage(AMessage), TMouseButton::mbLeft);
      break;
    case WM_RBUTTONUP:
      MouseButtonUp(TMouseMessage(AMessage), TMouseButton::mbRight);
      break;
    case WM_MBUTTONUP:
      MouseButtonUp(TMouseMessage(AMessage), TMouseButton::mbMiddle);
      break;
    case WM_CONTEXTMENU: {
      TContextMenuMessage menu(AMessage);
      ContextMenu(menu);
      break;
    }
    case CM_MOUSEENTER:
      MouseEnter();
      break;
    case CM_MOUSELEAVE:
      MouseLeave();
      break;
    case CM_CANCELMODE:
      FControlState -= csLButtonDown | csClicked;
      if (MouseCapture()) SetMouseCapture(false);
      break;
    case CM_ENABLEDCHANGED:
    case CM_COLORCHANGED:
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED:
      Invalidate();
      break;
    case CM_PARENTCOLORCHANGED:
      if (FParent && FColor.Inherit(FParent->Color())) Perform(CM_COLORCHANGED);
      break;
    case CM_PARENTFONTCHANGED:
      if (FParentFont && FParent) {
        TFlagScope fromParent(FFontFromParent);
        FFont.Assign(&FParent->Font());
      }
      break;
    case CM_PARENTSHOWHINTCHANGED:
      if (FParent && FShowHint.Inherit(FParent->ShowHint())) Perform(CM_SHOWHINTCHANGED);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), FCanvas(std::make_unique<TControlCanvas>(this)) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::WndProc(TMessage& AMessage) {
  // Painted by the parent, into the parent's context.
  if (AMessage.Msg == WM_PAINT) {
    const TPaintMessage paint(AMessage);
    if (paint.DC) {
      FCanvas->PaintOn(paint.DC, [this] { Paint(); });
      return AMessage.Answer();
    }
  }
  TControl::WndProc(AMessage);
}

TControl* FindDragTarget(POINT AScreenPos, bool AAllowDisabled) {
  TWinControl* control = nullptr;
  for (HWND window = WindowFromPoint(AScreenPos); window && !control; window = GetParent(window))
    control = FindControl(window);
  if (!control) return nullptr;
  TControl* child = control->ControlAtPos(control->ScreenToClient(AScreenPos), AAllowDisabled);
  return child ? child : control;
}
