#include "controls/baSaper.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "foundation/cuUtilsWin.h"

namespace {

// Sums and differences of positions and sizes may leave the 32-bit range (SB_BOTTOM asks for the largest integer).
int Saturate(int64_t AValue) {
  return static_cast<int>(
      std::clamp<int64_t>(AValue, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

RECT OffsetBy(const RECT& ARect, int ADeltaX, int ADeltaY) {
  return RECT{ARect.left + ADeltaX, ARect.top + ADeltaY, ARect.right + ADeltaX, ARect.bottom + ADeltaY};
}

// The scroll code of WM_HSCROLL and WM_VSCROLL.
int ScrollCode(const TMessage& AMessage) { return LOWORD(AMessage.WParam); }

// Unbinds the event canvas also when OnPaint raises.
class TCanvasBinding {
 public:
  TCanvasBinding(TCanvas& ACanvas, HDC ADC) : FCanvas(ACanvas) { FCanvas.SetHandle(ADC); }
  ~TCanvasBinding() { FCanvas.SetHandle(nullptr); }
  TCanvasBinding(const TCanvasBinding&) = delete;
  TCanvasBinding& operator=(const TCanvasBinding&) = delete;

 private:
  TCanvas& FCanvas;
};

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Place box

TPlaceBox::TPlaceBox(TComponent* AOwner) : TBorderedControl(AOwner) {
  SetControlStyle(ControlStyle() | csCaptureMouse | csClickEvents | csOpaque | csDoubleClicks);
  SetBounds(0, 0, 185, 105);
}

TPlaceBox::~TPlaceBox() = default;

void TPlaceBox::Paint() {
  TBufPainter buffer(Canvas(), ClientRect());
  if (!buffer.Empty()) PaintDC(buffer.DC(), buffer.Rect());
}

void TPlaceBox::PaintDC(HDC ADC, const RECT& ARect) { DoPaint(ADC, ARect); }

void TPlaceBox::DoPaint(HDC ADC, const RECT& ARect) {
  if (OnPaintDC) OnPaintDC(this, ADC, ARect);
  if (!OnPaint) return;
  if (!FPaintCanvas) FPaintCanvas = std::make_unique<TCanvas>();
  TCanvasBinding binding(*FPaintCanvas, ADC);
  FPaintCanvas->Font().Assign(&Font());
  OnPaint(this, *FPaintCanvas, ARect);
}

void TPlaceBox::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_ERASEBKGND:
      return AMessage.Answer(1);
    case CM_FONTCHANGED:
      TBorderedControl::WndProc(AMessage);
      Canvas().Font().Assign(&Font());
      return;
    default:
      TBorderedControl::WndProc(AMessage);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Range box: coordinates and limits

TRangeBox::TRangeBox(TComponent* AOwner) : TPlaceBox(AOwner) {}

TRangeBox::~TRangeBox() {
  // The cursor is never left hidden, whatever ends the drag.
  EndMouseMove();
}

POINT TRangeBox::RangeToClient(POINT APoint) const { return POINT{APoint.x - FPosition.x, APoint.y - FPosition.y}; }

RECT TRangeBox::RangeToClientRect(const RECT& ARect) const { return OffsetBy(ARect, -FPosition.x, -FPosition.y); }

POINT TRangeBox::ClientToRange(POINT APoint) const { return POINT{APoint.x + FPosition.x, APoint.y + FPosition.y}; }

RECT TRangeBox::ClientToRangeRect(const RECT& ARect) const { return OffsetBy(ARect, FPosition.x, FPosition.y); }

SIZE TRangeBox::GetClientSize() const {
  if (!HandleAllocated()) return SIZE{Width(), Height()};
  const RECT r = ClientRect();
  return SIZE{r.right - r.left, r.bottom - r.top};
}

TScrollLimits TRangeBox::GetScrollLimits(int ARangeSize, int AClientSize) const {
  const int64_t range = ARangeSize, client = AClientSize, spacing = FSpacing;
  int64_t low = 0, high = 0;
  if (FClipping == rbcFree) {
    // The range may leave the window until Spacing pixels of it remain.
    low = spacing - client;
    high = range - spacing;
  } else if (range + 2 * spacing >= client) {
    low = -spacing;
    high = range - client + spacing;
  } else {
    switch (FClipping) {
      case rbcTopLeft:
        low = high = -spacing;
        break;
      case rbcCenter:
        low = high = (range - client) / 2;
        break;
      default:  // rbcClip: anywhere inside the window
        low = range - client + spacing;
        high = -spacing;
        break;
    }
  }
  return TScrollLimits{Saturate(low), Saturate(std::max(high, low))};
}

void TRangeBox::SetRangeSize(int AWidth, int AHeight) { ChangeRangeSize(AWidth, AHeight, false); }

void TRangeBox::ResizeRange(int AWidth, int AHeight) { ChangeRangeSize(AWidth, AHeight, true); }

void TRangeBox::ChangeRangeSize(int AWidth, int AHeight, bool AKeepPicture) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (AWidth == FRangeWidth && AHeight == FRangeHeight) return;
  FRangeWidth = AWidth;
  FRangeHeight = AHeight;
  UpdateScrollBars(AKeepPicture);
}

// ---------------------------------------------------------------------------------------------------------------
// Range box: scrolling

void TRangeBox::SetPosition(POINT APosition) {
  const SIZE client = GetClientSize();
  const TScrollLimits horz = GetScrollLimits(FRangeWidth, client.cx);
  const TScrollLimits vert = GetScrollLimits(FRangeHeight, client.cy);
  const POINT clamped{std::clamp(static_cast<int>(APosition.x), horz.Low, horz.High),
                      std::clamp(static_cast<int>(APosition.y), vert.Low, vert.High)};
  if (clamped.x == FPosition.x && clamped.y == FPosition.y) return;
  if (OnScrolling) OnScrolling(this);
  const POINT old = FPosition;
  FPosition = clamped;
  if (FOptions.Contains(rboScrollFullRepaint) || !HandleAllocated()) {
    Invalidate();
  } else {
    const RECT r = ClientRect();
    ScrollWindowEx(HandleIfAllocated(), Saturate(int64_t{old.x} - clamped.x), Saturate(int64_t{old.y} - clamped.y), &r,
                   &r, nullptr, nullptr, SW_INVALIDATE);
  }
  UpdateScrollPos();
  UpdateCaret();
  if (OnScrolled) OnScrolled(this);
}

void TRangeBox::ScrollRangeBelow(int ATop, int ADistance) {
  const HWND window = HandleIfAllocated();
  if (!window || ADistance == 0) return;
  const RECT client = ClientRect();
  const int64_t top = int64_t{ATop} - FPosition.y;
  RECT band = client;
  band.top = static_cast<LONG>(std::clamp<int64_t>(top, client.top, client.bottom));
  // A band that moves up covers the rows above it: the clip reaches them.
  RECT clip = client;
  clip.top = static_cast<LONG>(std::clamp<int64_t>(top + std::min(ADistance, 0), client.top, client.bottom));
  if (clip.top >= clip.bottom) return;
  if (band.top >= band.bottom || FOptions.Contains(rboScrollFullRepaint)) {
    TPlaceBox::InvalidateRect(clip);
    return;
  }
  // Wine moves a waiting repaint along with the pixels and keeps it where it was too; asked for in both places
  // here, it is lost on no platform.
  HRGN waiting = CreateRectRgn(0, 0, 0, 0);
  const bool pending = GetUpdateRgn(window, waiting, FALSE) > NULLREGION;
  RECT uncovered{};
  ScrollWindowEx(window, 0, ADistance, &band, &clip, nullptr, &uncovered, 0);
  // What the move uncovered is painted now: left to the next paint, it and the rows changed above it would be
  // painted as the one rectangle around both, most of the view when the band moved up.
  if (!IsRectEmpty(&uncovered)) {
    HDC dc = GetDC(window);
    HideCaret(window);
    PaintDC(dc, uncovered);
    ShowCaret(window);
    ReleaseDC(window, dc);
  }
  if (pending) {
    InvalidateRgn(window, waiting, FALSE);
    HRGN moved = CreateRectRgnIndirect(&band);
    CombineRgn(moved, moved, waiting, RGN_AND);
    OffsetRgn(moved, 0, ADistance);
    HRGN kept = CreateRectRgnIndirect(&clip);
    CombineRgn(moved, moved, kept, RGN_AND);
    DeleteObject(kept);
    InvalidateRgn(window, moved, FALSE);
    DeleteObject(moved);
  }
  DeleteObject(waiting);
  // A scroll moves the system caret when it covers it: it goes back where the range puts it.
  if (!IsRectEmpty(&FShownCaret)) SetCaretPos(FShownCaret.left, FShownCaret.top);
}

void TRangeBox::ScrollBy(int ADeltaX, int ADeltaY) {
  SetPosition(POINT{Saturate(int64_t{FPosition.x} + ADeltaX), Saturate(int64_t{FPosition.y} + ADeltaY)});
}

void TRangeBox::ScrollRectIntoView(const RECT& ARect) {
  const SIZE client = GetClientSize();
  int64_t x = FPosition.x, y = FPosition.y;
  if (ARect.right > x + client.cx) x = int64_t{ARect.right} - client.cx;
  if (ARect.left < x) x = ARect.left;
  if (ARect.bottom > y + client.cy) y = int64_t{ARect.bottom} - client.cy;
  if (ARect.top < y) y = ARect.top;
  SetPosition(POINT{Saturate(x), Saturate(y)});
}

void TRangeBox::UpdateScrollBars(bool AKeepPicture) {
  if (FBarsDepth > 0) {
    FBarsAgain = true;
    return;
  }
  struct TDepth {
    int& Depth;
    ~TDepth() { --Depth; }
  } depth{++FBarsDepth};
  const SIZE client = GetClientSize();
  if (HandleAllocated()) {
    // A bar that comes or goes changes the client size and brings us back through WM_SIZE: that asks for one
    // more run with the new size, never for an endless exchange between the bars.
    FBarsAgain = false;
    ApplyScrollBars();
    if (FBarsAgain) ApplyScrollBars();
    FBarsAgain = false;
  }
  SetPosition(FPosition);
  // A move of the position scrolled what it moved.
  const SIZE now = GetClientSize();
  if (AKeepPicture && now.cx == client.cx && now.cy == client.cy && !FOptions.Contains(rboShowPageRect)) return;
  Invalidate();
}

void TRangeBox::ApplyScrollBars() {
  const HWND window = HandleIfAllocated();
  struct TBar {
    int Bar;
    TScrollStyle Kind;
    TRangeBoxOption DisableNoScroll;
  };
  for (const TBar bar : {TBar{SB_HORZ, TScrollStyle::ssHorizontal, rboDisableNoScrollHorz},
                         TBar{SB_VERT, TScrollStyle::ssVertical, rboDisableNoScrollVert}}) {
    if (FScrollBars != TScrollStyle::ssBoth && FScrollBars != bar.Kind) {
      SetScrollBarRange(window, bar.Bar, 0, 0, 0, false);
      // Wine keeps a bar of range 0..0 with page 0 on the screen.
      ShowScrollBar(window, bar.Bar, FALSE);
      continue;
    }
    const SIZE client = GetClientSize();
    const bool horz = bar.Bar == SB_HORZ;
    const int clientSize = horz ? client.cx : client.cy;
    const TScrollLimits limits = GetScrollLimits(horz ? FRangeWidth : FRangeHeight, clientSize);
    SetScrollBarRange(window, bar.Bar, limits.Low, Saturate(int64_t{limits.High} + clientSize - 1), clientSize,
                      FOptions.Contains(bar.DisableNoScroll));
  }
}

void TRangeBox::UpdateScrollPos() {
  const HWND window = HandleIfAllocated();
  if (!window) return;
  SetScrollPos(window, SB_HORZ, FPosition.x, TRUE);
  SetScrollPos(window, SB_VERT, FPosition.y, TRUE);
}

void TRangeBox::ScrollMessage(TMessage& AMessage, int ABar) {
  if (TabStop() && CanFocus()) SetFocus();
  const SIZE client = GetClientSize();
  const HWND window = Handle();
  if (ABar == SB_HORZ)
    SetPosition(POINT{ScrollCodeToPos(window, SB_HORZ, ScrollCode(AMessage), FPosition.x, 10, client.cx), FPosition.y});
  else
    SetPosition(POINT{FPosition.x, ScrollCodeToPos(window, SB_VERT, ScrollCode(AMessage), FPosition.y, 10, client.cy)});
  AMessage.Answer();
}

// ---------------------------------------------------------------------------------------------------------------
// Range box: properties

void TRangeBox::SetClipping(TRangeBoxClipping AValue) {
  if (AValue == FClipping) return;
  FClipping = AValue;
  UpdateScrollBars();
}

void TRangeBox::SetOptions(TRangeBoxOptions AValue) {
  if (AValue == FOptions) return;
  const TRangeBoxOptions changed = (AValue - FOptions) | (FOptions - AValue);
  FOptions = AValue;
  if (changed.ContainsAny(rboDisableNoScrollHorz | rboDisableNoScrollVert)) UpdateScrollBars();
  if (changed.ContainsAny(rboNotBuffered | rboShowPageRect)) Invalidate();
}

void TRangeBox::SetScrollBars(TScrollStyle AValue) {
  if (AValue == FScrollBars) return;
  FScrollBars = AValue;
  UpdateScrollBars();
}

void TRangeBox::SetSpacing(int AValue) {
  if (AValue == FSpacing) return;
  FSpacing = AValue;
  UpdateScrollBars();
}

void TRangeBox::InvalidateRect(const RECT& ARect) { TPlaceBox::InvalidateRect(RangeToClientRect(ARect)); }

// ---------------------------------------------------------------------------------------------------------------
// Range box: caret

void TRangeBox::SetCaretRect(const RECT& ARect) {
  if (EqualRect(&ARect, &FCaretRect)) return;
  FCaretRect = ARect;
  UpdateCaret();
}

void TRangeBox::UpdateCaret() {
  RECT wanted{};
  if (Focused() && !IsRectEmpty(&FCaretRect)) wanted = RangeToClientRect(FCaretRect);
  if (IsRectEmpty(&wanted)) return DestroyShownCaret();
  if (EqualRect(&wanted, &FShownCaret)) return;
  const int width = wanted.right - wanted.left, height = wanted.bottom - wanted.top;
  const HWND window = HandleIfAllocated();
  if (IsRectEmpty(&FShownCaret) || width != FShownCaret.right - FShownCaret.left ||
      height != FShownCaret.bottom - FShownCaret.top) {
    DestroyShownCaret();
    CreateCaret(window, nullptr, width, height);
    SetCaretPos(wanted.left, wanted.top);
    ShowCaret(window);
  } else {
    SetCaretPos(wanted.left, wanted.top);
  }
  FShownCaret = wanted;
}

void TRangeBox::DestroyShownCaret() {
  if (IsRectEmpty(&FShownCaret)) return;
  if (const HWND window = HandleIfAllocated()) HideCaret(window);
  DestroyCaret();
  FShownCaret = RECT{};
}

// ---------------------------------------------------------------------------------------------------------------
// Range box: painting

void TRangeBox::BeginRangePaint(HDC ADC) const { OffsetViewportOrgEx(ADC, -FPosition.x, -FPosition.y, nullptr); }

void TRangeBox::EndRangePaint(HDC ADC) const { OffsetViewportOrgEx(ADC, FPosition.x, FPosition.y, nullptr); }

void TRangeBox::Paint() {
  if (FOptions.Contains(rboNotBuffered))
    PaintDC(Canvas().Handle(), Canvas().ClipRect());
  else
    TPlaceBox::Paint();
}

void TRangeBox::PaintDC(HDC ADC, const RECT& ARect) {
  struct TRangePaint {
    const TRangeBox& Box;
    HDC DC;
    ~TRangePaint() { Box.EndRangePaint(DC); }
  } scope{*this, ADC};
  BeginRangePaint(ADC);
  TPlaceBox::PaintDC(ADC, ClientToRangeRect(ARect));
}

void TRangeBox::DoPaint(HDC ADC, const RECT& ARect) {
  if (FOptions.Contains(rboShowPageRect)) {
    const RECT page{-1, -1, FRangeWidth + 1, FRangeHeight + 1};
    DrawFocusRect(ADC, &page);
  }
  TPlaceBox::DoPaint(ADC, ARect);
}

void TRangeBox::DoShowHint(bool& ACanShow, THintInfo& AHintInfo) {
  if (FDragging) {
    ACanShow = false;
    return;
  }
  AHintInfo.CursorPos = ClientToRange(AHintInfo.CursorPos);
  AHintInfo.CursorRect = ClientToRangeRect(AHintInfo.CursorRect);
  TPlaceBox::DoShowHint(ACanShow, AHintInfo);
  AHintInfo.CursorPos = RangeToClient(AHintInfo.CursorPos);
  AHintInfo.CursorRect = RangeToClientRect(AHintInfo.CursorRect);
}

// ---------------------------------------------------------------------------------------------------------------
// Range box: window, size and messages

void TRangeBox::CreateWnd() {
  TPlaceBox::CreateWnd();
  ShowScrollBar(HandleIfAllocated(), SB_BOTH, TRUE);
  UpdateScrollBars();
  UpdateScrollPos();
  UpdateCaret();
}

void TRangeBox::DestroyWnd() {
  EndMouseMove();
  TPlaceBox::DestroyWnd();
  UpdateCaret();
}

bool TRangeBox::CanResize(int& ANewWidth, int& ANewHeight) {
  if (!TPlaceBox::CanResize(ANewWidth, ANewHeight)) return false;
  if (FOptions.Contains(rboResizeCenter)) ScrollBy((Width() - ANewWidth) / 2, (Height() - ANewHeight) / 2);
  return true;
}

void TRangeBox::Resize() {
  TPlaceBox::Resize();
  UpdateScrollBars();
}

void TRangeBox::ClientSizeChanged(TMessage& AMessage) {
  TPlaceBox::WndProc(AMessage);
  const HWND window = HandleIfAllocated();
  if (!window) return;
  if (ControlState().Contains(csCreating)) return UpdateScrollBars();
  // A new window size is told by the framework once the bounds are stored; a bar that came or went changes only
  // the client area, which is told here.
  RECT r;
  GetWindowRect(window, &r);
  if (r.right - r.left == Width() && r.bottom - r.top == Height()) Resize();
}

void TRangeBox::CancelMode(TMessage& AMessage) {
  FLeftHeld = false;
  FRightHeld = false;
  EndMouseMove();
  if (OnCancelMode) OnCancelMode(this, LParamObject<TWinControl>(AMessage));
}

void TRangeBox::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_HSCROLL:
      return ScrollMessage(AMessage, SB_HORZ);
    case WM_VSCROLL:
      return ScrollMessage(AMessage, SB_VERT);
    case WM_SIZE:
      return ClientSizeChanged(AMessage);
    case WM_GETDLGCODE: {
      TPlaceBox::WndProc(AMessage);
      if (!AMessage.Handled) DefaultHandler(AMessage);
      LRESULT code = AMessage.Result;
      if (FOptions.ContainsAny(rboWantArrows | rboKeysMove | rboCtrlKeysMove)) code |= DLGC_WANTARROWS;
      if (FOptions.Contains(rboWantTab)) code |= DLGC_WANTTAB;
      return AMessage.Answer(code);
    }
    case WM_SETFOCUS:
      TPlaceBox::WndProc(AMessage);
      return UpdateCaret();
    case WM_KILLFOCUS:
      UpdateCaret();
      return TPlaceBox::WndProc(AMessage);
    case CM_CANCELMODE:
      TPlaceBox::WndProc(AMessage);
      return CancelMode(AMessage);
    case WM_CAPTURECHANGED: {
      const HWND taker = TWindowParamMessage(AMessage).Window;
      TPlaceBox::WndProc(AMessage);
      // The framework tells the loss only while the left button is down; a drag by the right button holds a
      // capture of its own.
      if (FDragging && taker != HandleIfAllocated())
        Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(FindControl(taker)));
      return;
    }
    case WM_LBUTTONUP:
      // The drag ends before the framework gives the capture back, which would otherwise read as its loss; the
      // release itself reports nothing.
      if (!FDragging) return TPlaceBox::WndProc(AMessage);
      FLeftHeld = false;
      FControlState -= csLButtonDown | csClicked;
      EndMouseMove();
      return AMessage.Answer();
    case WM_RBUTTONUP: {
      // A release that ends a drag brings no context menu.
      const bool dragging = FDragging;
      TPlaceBox::WndProc(AMessage);
      if (dragging) AMessage.Answer();
      return;
    }
    default:
      return TPlaceBox::WndProc(AMessage);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Range box: keys, wheel and mouse

void TRangeBox::KeyDown(uint16_t& AKey, TShiftState AShift) {
  if (!FDragging &&
      (FOptions.Contains(rboKeysMove) || (FOptions.Contains(rboCtrlKeysMove) && AShift.Contains(ssCtrl)))) {
    constexpr int kStep = 12;
    switch (AKey) {
      case VK_LEFT:
        ScrollBy(-kStep, 0);
        AKey = 0;
        break;
      case VK_UP:
        ScrollBy(0, -kStep);
        AKey = 0;
        break;
      case VK_RIGHT:
        ScrollBy(kStep, 0);
        AKey = 0;
        break;
      case VK_DOWN:
        ScrollBy(0, kStep);
        AKey = 0;
        break;
      default:
        break;
    }
  }
  TPlaceBox::KeyDown(AKey, AShift);
}

bool TRangeBox::DoMouseWheelDown(TShiftState AShift, POINT AMousePos) {
  if (!TPlaceBox::DoMouseWheelDown(AShift, AMousePos)) ScrollBy(0, 26);
  return true;
}

bool TRangeBox::DoMouseWheelUp(TShiftState AShift, POINT AMousePos) {
  if (!TPlaceBox::DoMouseWheelUp(AShift, AMousePos)) ScrollBy(0, -26);
  return true;
}

void TRangeBox::FocusOnPress() {
  if (TabStop() && CanFocus()) SetFocus();
}

void TRangeBox::MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  if (FDragging) return;
  FocusOnPress();
  const bool dragButton = (AButton == TMouseButton::mbLeft && FOptions.Contains(rboLeftBtnMove)) ||
                          (AButton == TMouseButton::mbRight && FOptions.Contains(rboRightBtnMove));
  if (!dragButton) return TPlaceBox::MouseDown(AButton, AShift, X + FPosition.x, Y + FPosition.y);
  (AButton == TMouseButton::mbLeft ? FLeftHeld : FRightHeld) = true;
  FDownOrSaved = POINT{X, Y};
}

void TRangeBox::MouseMove(TShiftState AShift, int X, int Y) {
  if (FDragging) return DragStep();
  if (FLeftHeld || FRightHeld) {
    constexpr int kThreshold = 4;
    if (std::abs(X - FDownOrSaved.x) >= kThreshold || std::abs(Y - FDownOrSaved.y) >= kThreshold) BeginMouseMove();
    return;
  }
  TPlaceBox::MouseMove(AShift, X + FPosition.x, Y + FPosition.y);
}

void TRangeBox::MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y) {
  if (AButton == TMouseButton::mbLeft) FLeftHeld = false;
  if (AButton == TMouseButton::mbRight) FRightHeld = false;
  if (FDragging) return EndMouseMove();
  TBorderedControl::MouseUp(AButton, AShift, X + FPosition.x, Y + FPosition.y);
}

void TRangeBox::DoContextPopup(POINT AMousePos, bool& AHandled) {
  if (FDragging) {
    AHandled = true;
    return;
  }
  TPlaceBox::DoContextPopup(AMousePos, AHandled);
}

void TRangeBox::BeginMouseMove() {
  FDragging = true;
  // A press that became a drag is no click.
  FControlState -= csClicked;
  SetScreenCursor(crNone);
  GetCursorPos(&FDownOrSaved);
  const RECT client = ClientRect();
  const POINT origin = ClientToScreen(POINT{client.left, client.top});
  FPinned = POINT{origin.x + (client.right - client.left) / 2, origin.y + (client.bottom - client.top) / 2};
  // Hears of the capture's loss for either button: the framework captures only for the left one.
  if (GetCapture() != Handle()) SetMouseCapture(true);
  SetCursorPos(FPinned.x, FPinned.y);
}

void TRangeBox::DragStep() {
  POINT p;
  GetCursorPos(&p);
  // Putting the cursor back where it is would bring another move, and so on.
  if (p.x == FPinned.x && p.y == FPinned.y) return;
  SetCursorPos(FPinned.x, FPinned.y);
  // The content follows the hand.
  ScrollBy(FPinned.x - p.x, FPinned.y - p.y);
  Update();
}

void TRangeBox::EndMouseMove() {
  if (!FDragging) return;
  FDragging = false;
  SetCursorPos(FDownOrSaved.x, FDownOrSaved.y);
  SetScreenCursor(crDefault);
  SetMouseCapture(false);
}

// ---------------------------------------------------------------------------------------------------------------
// Panel

TPanelEx::TPanelEx(TComponent* AOwner) : TTransparencyControl(AOwner), FBackground(std::make_unique<TBackground>()) {
  SetControlStyle(ControlStyle() | csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks);
  SetBounds(0, 0, 200, 105);
  FBackground->OnChange = MakeMethod<&TPanelEx::BackgroundChanged>(this);
}

TPanelEx::~TPanelEx() { FBackground->OnChange = TNotifyEvent(); }

void TPanelEx::Paint() { PaintBackground(*FBackground, Canvas(), ClientRect(), nullptr, false, Color()); }

void TPanelEx::BackgroundChanged(TObject*) {
  SetTransparent(FBackground->IsTransparent());
  Invalidate();
}
