#include "framework/fwWindowlessChildren.h"

#include <algorithm>

#include "framework/fwWinControls.h"

namespace {

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

void TWindowlessChildren::Remove(TControl* AControl) {
  if (FCapture == AControl) {
    FCapture = nullptr;
    HWND window = FOwner.HandleIfAllocated();
    if (window && GetCapture() == window) ReleaseCapture();
  }
  if (FHover == AControl) FHover = nullptr;
  auto it = std::find(FList.begin(), FList.end(), AControl);
  if (it != FList.end()) FList.erase(it);
}

void TWindowlessChildren::BringToFront(TControl* AControl) {
  auto it = std::find(FList.begin(), FList.end(), AControl);
  if (it == FList.end()) return;
  FList.erase(it);
  FList.push_back(AControl);
}

void TWindowlessChildren::SendToBack(TControl* AControl) {
  auto it = std::find(FList.begin(), FList.end(), AControl);
  if (it == FList.end()) return;
  FList.erase(it);
  FList.insert(FList.begin(), AControl);
}

TControl* TWindowlessChildren::At(POINT APos, bool AAllowDisabled) const {
  for (auto it = FList.rbegin(); it != FList.rend(); ++it) {
    const TControl* c = *it;
    const RECT bounds = c->BoundsRect();
    if (c->FVisible && (c->FEnabled || AAllowDisabled) && PtInRect(&bounds, APos)) return *it;
  }
  return nullptr;
}

void TWindowlessChildren::PaintWithOwner(HDC ADC) const {
  {
    TSavedDC saved(ADC);
    for (const TControl* c : FList)
      if (c->FVisible && c->ControlStyle().Contains(csOpaque))
        ExcludeClipRect(ADC, c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height());
    FOwner.PaintWindow(ADC);
  }
  Paint(ADC);
}

void TWindowlessChildren::Paint(HDC ADC) const {
  RECT clip;
  GetClipBox(ADC, &clip);
  for (TControl* c : std::vector<TControl*>(FList)) {
    if (c->Parent() != &FOwner || !c->FVisible) continue;
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

TControl* TWindowlessChildren::CaptureHolder() const {
  HWND window = FOwner.HandleIfAllocated();
  return FCapture && window && GetCapture() == window ? FCapture : nullptr;
}

bool TWindowlessChildren::HoldsCapture(const TControl* AControl) const {
  return AControl && CaptureHolder() == AControl;
}

void TWindowlessChildren::SetCapture(TControl* AControl, bool AValue) {
  if (AValue) {
    HWND window = FOwner.HandleIfAllocated();
    if (!window) return;
    FCapture = AControl;
    if (GetCapture() != window) ::SetCapture(window);
  } else if (HoldsCapture(AControl)) {
    FCapture = nullptr;
    ReleaseCapture();
  }
}

void TWindowlessChildren::CaptureChanged(HWND ATaker) {
  TControl* child = FCapture;
  FCapture = nullptr;
  if (child && child->ControlState().Contains(csLButtonDown))
    child->Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(FindControl(ATaker)));
}

void TWindowlessChildren::CancelMode() {
  if (FCapture) FCapture->Perform(CM_CANCELMODE);
}

void TWindowlessChildren::SetHover(TControl* AControl) {
  if (AControl == FHover) return;
  TControl* old = FHover;
  FHover = AControl;
  if (old) old->Perform(CM_MOUSELEAVE);
  if (AControl && AControl == FHover) AControl->Perform(CM_MOUSEENTER);
}

void TWindowlessChildren::TrackMouse(POINT APos) {
  HWND window = FOwner.HandleIfAllocated();
  if (!FMouseInside) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
    TrackMouseEvent(&track);
    FMouseInside = true;
    FOwner.Perform(CM_MOUSEENTER);
  }
  // While a windowless child holds the capture, only it can be under the pointer.
  TControl* hover = nullptr;
  const RECT client = FOwner.ClientRect();
  if (TControl* holder = CaptureHolder()) {
    const RECT bounds = holder->BoundsRect();
    if (PtInRect(&bounds, APos)) hover = holder;
  } else if (PtInRect(&client, APos)) {
    hover = At(APos, false);
  }
  SetHover(hover);
}

void TWindowlessChildren::MouseLeft() {
  FMouseInside = false;
  SetHover(nullptr);
  FOwner.Perform(CM_MOUSELEAVE);
}

bool TWindowlessChildren::Route(const TMouseMessage& AMessage) {
  const POINT p = AMessage.Pos;
  TControl* holder = CaptureHolder();
  TControl* target = holder ? holder : At(p, false);
  if (!target) return false;
  TMessage routed = AMessage.Message;
  routed.LParam = MAKELPARAM(static_cast<WORD>(p.x - target->Left()), static_cast<WORD>(p.y - target->Top()));
  target->Dispatch(routed);
  return true;
}

bool TWindowlessChildren::RouteContextMenu(TMessage& AMessage, POINT AClientPos) {
  TControl* child = At(AClientPos, false);
  if (!child) return false;
  TMessage routed = AMessage;
  child->Dispatch(routed);
  if (!routed.Handled) return false;
  AMessage.Answer(routed.Result);
  return true;
}

TControl* TWindowlessChildren::CursorTarget(POINT APos) const {
  TControl* holder = CaptureHolder();
  return holder ? holder : At(APos, false);
}

void TWindowlessChildren::WindowGone() {
  FCapture = nullptr;
  FHover = nullptr;
  FMouseInside = false;
}
