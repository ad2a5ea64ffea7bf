#include "framework/fwExtCtrls.h"

#include <algorithm>

#include "framework/fwWinControls.h"

TPaintBox::TPaintBox(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetParentColor(true);
  SetBounds(0, 0, 105, 105);
}

void TPaintBox::Paint() {
  if (OnPaint) OnPaint(this);
}

// ---------------------------------------------------------------------------------------------------------------

TSplitter::TSplitter(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetControlStyle(ControlStyle() | csOpaque);
  SetParentColor(true);
  SetCursor(crSizeWE);
  SetAlign(TAlign::alLeft);
  SetBounds(0, 0, 3, 100);
}

TSplitter::~TSplitter() {
  if (FPane) FPane->RemoveFreeNotification(this);
}

void TSplitter::SetMinSize(int AValue) { FMinSize = std::max(AValue, 0); }

void TSplitter::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TGraphicControl::Notification(AComponent, AOperation);
  if (AOperation == TComponentOperation::opRemove && AComponent == FPane) FPane = nullptr;
}

bool TSplitter::Vertical() const { return Align() == TAlign::alTop || Align() == TAlign::alBottom; }

int TSplitter::AxisPos(int X, int Y) const { return Vertical() ? Y + Top() : X + Left(); }

TControl* TSplitter::FindPane() const {
  TWinControl* parent = Parent();
  if (!parent) return nullptr;
  const RECT bar = BoundsRect();
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (c == this || !c->Visible() || c->Align() != Align()) continue;
    const RECT r = c->BoundsRect();
    switch (Align()) {
      case TAlign::alTop:
        if (r.bottom == bar.top) return c;
        break;
      case TAlign::alBottom:
        if (r.top == bar.bottom) return c;
        break;
      case TAlign::alLeft:
        if (r.right == bar.left) return c;
        break;
      case TAlign::alRight:
        if (r.left == bar.right) return c;
        break;
      default:
        return nullptr;
    }
  }
  return nullptr;
}

int TSplitter::FarRoom() const {
  TWinControl* parent = Parent();
  const RECT area = parent->Padding().Inset(parent->ClientRect());
  const RECT bar = BoundsRect();
  const bool vertical = Vertical();
  // The far side's limit: the area's edge, or the nearest control aligned along the same axis that lies there.
  int limit = 0;
  switch (Align()) {
    case TAlign::alTop:
      limit = area.bottom;
      break;
    case TAlign::alBottom:
      limit = area.top;
      break;
    case TAlign::alLeft:
      limit = area.right;
      break;
    default:
      limit = area.left;
      break;
  }
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (c == this || c == FPane || !c->Visible()) continue;
    const TAlign a = c->Align();
    const bool sameAxis =
        vertical ? (a == TAlign::alTop || a == TAlign::alBottom) : (a == TAlign::alLeft || a == TAlign::alRight);
    if (!sameAxis) continue;
    const RECT r = c->BoundsRect();
    switch (Align()) {
      case TAlign::alTop:
        if (r.top >= bar.bottom) limit = std::min(limit, static_cast<int>(r.top));
        break;
      case TAlign::alBottom:
        if (r.bottom <= bar.top) limit = std::max(limit, static_cast<int>(r.bottom));
        break;
      case TAlign::alLeft:
        if (r.left >= bar.right) limit = std::min(limit, static_cast<int>(r.left));
        break;
      default:
        if (r.right <= bar.left) limit = std::max(limit, static_cast<int>(r.right));
        break;
    }
  }
  switch (Align()) {
    case TAlign::alTop:
      return limit - bar.bottom;
    case TAlign::alBottom:
      return bar.top - limit;
    case TAlign::alLeft:
      return limit - bar.right;
    default:
      return bar.left - limit;
  }
}

int TSplitter::PaneSize() const { return Vertical() ? FPane->Height() : FPane->Width(); }

void TSplitter::SetPaneSize(int ASize) {
  if (Vertical())
    FPane->SetHeight(ASize);
  else
    FPane->SetWidth(ASize);
}

int TSplitter::LimitedSize(int ARequested) const {
  const int current = PaneSize();
  const int largest = current + FarRoom() - FMinSize;
  if (largest < FMinSize) return current;
  return std::clamp(ARequested, FMinSize, largest);
}

void TSplitter::MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  TGraphicControl::MouseDown(AButton, AShift, X, Y);
  if (AButton != TMouseButton::mbLeft || FPane) return;
  FPane = FindPane();
  if (!FPane) return;
  FPane->FreeNotification(this);
  FDownPos = AxisPos(X, Y);
  FStartSize = PaneSize();
}

void TSplitter::MouseMove(TShiftState AShift, int X, int Y) {
  TGraphicControl::MouseMove(AShift, X, Y);
  if (!FPane || !MouseCapture()) return;
  const int delta = AxisPos(X, Y) - FDownPos;
  const bool growsForward = Align() == TAlign::alTop || Align() == TAlign::alLeft;
  const int size = LimitedSize(growsForward ? FStartSize + delta : FStartSize - delta);
  if (size != PaneSize()) SetPaneSize(size);
}

void TSplitter::MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  TGraphicControl::MouseUp(AButton, AShift, X, Y);
  if (AButton == TMouseButton::mbLeft) EndDrag();
}

void TSplitter::EndDrag() {
  if (!FPane) return;
  const bool moved = PaneSize() != FStartSize;
  FPane->RemoveFreeNotification(this);
  FPane = nullptr;
  if (moved && OnMoved) OnMoved(this);
}

void TSplitter::MouseEnter() {
  SetCursor(Vertical() ? crSizeNS : crSizeWE);
  TGraphicControl::MouseEnter();
}

void TSplitter::WndProc(TMessage& AMessage) {
  // A drag that loses the mouse ends where it is (the pane keeps the size it has by now).
  if (AMessage.Msg == CM_CANCELMODE) EndDrag();
  TGraphicControl::WndProc(AMessage);
}

void TSplitter::Paint() {
  if (OnPaint) return OnPaint(this);
  Canvas().FillRect(ClientRect());
}
