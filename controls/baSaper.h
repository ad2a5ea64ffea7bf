// Boxes the program paints itself: the place box, painted through events into an off-screen buffer; the range
// box, a scrollable window onto a larger area (the range) with its own bars, wheel, key and drag scrolling, a
// caret and a page frame given in range coordinates; and the panel painted by a background.
#pragma once

#include <cstdint>
#include <memory>

#include "controls/baPainterStyles.h"
#include "controls/baUtils.h"
#include "foundation/cuSet.h"
#include "foundation/cuWin32.h"
#include "framework/fwControls.h"
#include "framework/fwGraphics.h"
#include "framework/fwMessages.h"

using TPlaceBoxPaintEvent = TMethod<void(TObject* ASender, TCanvas& ACanvas, const RECT& ARect)>;
using TPlaceBoxPaintDCEvent = TMethod<void(TObject* ASender, HDC ADC, const RECT& ARect)>;

// A bordered box its owner paints: OnPaintDC on a device context, then OnPaint on a canvas bound to the same
// context, both into a buffer that reaches the screen in one copy. The background is never erased.
class TPlaceBox : public TBorderedControl {
 public:
  explicit TPlaceBox(TComponent* AOwner);
  ~TPlaceBox() override;

  TPlaceBoxPaintEvent OnPaint;
  TPlaceBoxPaintDCEvent OnPaintDC;

 protected:
  void Paint() override;
  virtual void PaintDC(HDC ADC, const RECT& ARect);
  // OnPaintDC, then OnPaint.
  virtual void DoPaint(HDC ADC, const RECT& ARect);
  void WndProc(TMessage& AMessage) override;

 private:
  std::unique_ptr<TCanvas> FPaintCanvas;  // made for the first OnPaint
};

// Where the range sits when it is smaller than the window: centred, at the top-left corner, anywhere inside it,
// or free to leave it until Spacing pixels of it remain.
enum class TRangeBoxClipping : uint8_t { rbcCenter, rbcTopLeft, rbcClip, rbcFree };
using enum TRangeBoxClipping;

enum class TRangeBoxOption : uint16_t {
  rboLeftBtnMove = 0x0001,          // the left button drags the range
  rboRightBtnMove = 0x0002,         // the right button drags the range
  rboWantArrows = 0x0004,           // the arrow keys come to the box (not the dialog)
  rboWantTab = 0x0008,              // so does Tab
  rboResizeCenter = 0x0010,         // a new size keeps the view's centre
  rboKeysMove = 0x0020,             // the arrow keys scroll
  rboCtrlKeysMove = 0x0040,         // the arrow keys scroll while Ctrl is held
  rboNotBuffered = 0x0080,          // painting goes straight to the window
  rboScrollFullRepaint = 0x0100,    // a scroll repaints everything instead of moving the pixels
  rboShowPageRect = 0x0200,         // a focus frame around the range
  rboDisableNoScrollHorz = 0x0400,  // a horizontal bar that is not needed stays, disabled
  rboDisableNoScrollVert = 0x0800,  // so does a vertical one
};
constexpr bool IsFlagFamily(TRangeBoxOption) { return true; }
using enum TRangeBoxOption;
using TRangeBoxOptions = TSet<TRangeBoxOption>;

// ACausing: the control that takes the focus or the mouse capture (nil when none of ours).
using TCancelModeEvent = TMethod<void(TObject* ASender, TWinControl* ACausing)>;

// The positions one axis of the view may take.
struct TScrollLimits {
  int Low;
  int High;
};

// A place box that shows a window onto the range. Position is the range point shown at the client's top-left
// corner: client = range - Position. Paint events, mouse events, hints and InvalidateRect use range coordinates.
class TRangeBox : public TPlaceBox {
 public:
  explicit TRangeBox(TComponent* AOwner);
  ~TRangeBox() override;

  POINT RangeToClient(POINT APoint) const;
  RECT RangeToClientRect(const RECT& ARect) const;
  POINT ClientToRange(POINT APoint) const;
  RECT ClientToRangeRect(const RECT& ARect) const;
  // The client area's size; Width and Height while there is no window.
  SIZE GetClientSize() const;

  int RangeWidth() const { return FRangeWidth; }
  int RangeHeight() const { return FRangeHeight; }
  // Negative sizes count as 0.
  void SetRangeSize(int AWidth, int AHeight);
  // SetRangeSize for a range whose owner repaints what its new size changed: the picture shown stays unless the
  // view changed its size or shows the range's frame.
  void ResizeRange(int AWidth, int AHeight);

  POINT Position() const { return FPosition; }
  // Clamped into the limits of each axis; OnScrolling before anything moves, OnScrolled after.
  void SetPosition(POINT APosition);
  void ScrollBy(int ADeltaX, int ADeltaY);
  // The range from row ATop down (range coordinates) moved ADistance down, up when negative: the pixels shown of it
  // move, what the move uncovers is painted at once, and what waited for a repaint there is repainted where it was
  // and where it went.
  void ScrollRangeBelow(int ATop, int ADistance);
  // Scrolls as little as shows ARect (range coordinates); its top-left edge wins when it is larger than the view.
  void ScrollRectIntoView(const RECT& ARect);
  // The positions an axis of ARangeSize may take in a client of AClientSize.
  TScrollLimits GetScrollLimits(int ARangeSize, int AClientSize) const;

  // The caret, in range coordinates; shown while the box has the focus and the rectangle is not empty.
  const RECT& CaretRect() const { return FCaretRect; }
  void SetCaretRect(const RECT& ARect);

  // Moves ADC's viewport origin so that drawing on it uses range coordinates, and back.
  void BeginRangePaint(HDC ADC) const;
  void EndRangePaint(HDC ADC) const;

  TRangeBoxClipping Clipping() const { return FClipping; }
  void SetClipping(TRangeBoxClipping AValue);
  TRangeBoxOptions Options() const { return FOptions; }
  void SetOptions(TRangeBoxOptions AValue);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle AValue);
  // A margin around the range, in pixels.
  int Spacing() const { return FSpacing; }
  void SetSpacing(int AValue);

  // The range is being dragged with the mouse.
  bool DragScrolling() const { return FDragging; }

  // Range coordinates.
  void InvalidateRect(const RECT& ARect) override;

  TCancelModeEvent OnCancelMode;
  TNotifyEvent OnScrolled;
  TNotifyEvent OnScrolling;

 protected:
  void Paint() override;
  void PaintDC(HDC ADC, const RECT& ARect) override;
  void DoPaint(HDC ADC, const RECT& ARect) override;
  void DoShowHint(bool& ACanShow, THintInfo& AHintInfo) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& AMessage) override;
  bool CanResize(int& ANewWidth, int& ANewHeight) override;
  void Resize() override;
  void KeyDown(uint16_t& AKey, TShiftState AShift) override;
  bool DoMouseWheelDown(TShiftState AShift, POINT AMousePos) override;
  bool DoMouseWheelUp(TShiftState AShift, POINT AMousePos) override;
  void MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y) override;
  void MouseMove(TShiftState AShift, int X, int Y) override;
  void MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y) override;
  void DoContextPopup(POINT AMousePos, bool& AHandled) override;

 private:
  // Range and page of both bars from the limits, then the position clamped again. Re-entered while it runs (a
  // bar that appears or goes changes the client size), it runs once more after the present run, never deeper.
  // AKeepPicture: the view is repainted only when its client size changed or it shows the range's frame.
  void UpdateScrollBars(bool AKeepPicture = false);
  // SetRangeSize, or ResizeRange when AKeepPicture.
  void ChangeRangeSize(int AWidth, int AHeight, bool AKeepPicture);
  void ApplyScrollBars();
  void UpdateScrollPos();
  void UpdateCaret();
  void DestroyShownCaret();
  // The scroll bars' own messages: the new position of one axis from the scroll code.
  void ScrollMessage(TMessage& AMessage, int ABar);
  void ClientSizeChanged(TMessage& AMessage);
  void CancelMode(TMessage& AMessage);
  void FocusOnPress();
  bool& HeldFlag(TMouseButton AButton);
  void BeginMouseMove();
  void DragStep();
  void EndMouseMove();

  TRangeBoxClipping FClipping = rbcCenter;
  TRangeBoxOptions FOptions;
  int FRangeWidth = 100;
  int FRangeHeight = 100;
  POINT FPosition{};
  RECT FCaretRect{};   // range coordinates
  RECT FShownCaret{};  // client coordinates; empty when no caret is shown
  TScrollStyle FScrollBars = TScrollStyle::ssNone;
  int FSpacing = 0;
  int FBarsDepth = 0;  // runs of UpdateScrollBars in progress
  bool FBarsAgain = false;
  bool FDragging = false;
  bool FLeftHeld = false;
  bool FRightHeld = false;
  POINT FPinned{};       // screen point the cursor is held at while dragging
  POINT FDownOrSaved{};  // the press point (client) until the drag begins, then the cursor's screen point
};

// A panel painted by its background (without themed element or default frame, its colour standing for the
// parent's), transparent exactly while the background is.
class TPanelEx : public TTransparencyControl {
 public:
  explicit TPanelEx(TComponent* AOwner);
  ~TPanelEx() override;

  // Owned; a change in place repaints the panel and sets Transparent.
  TBackground& Background() { return *FBackground; }
  // Copies AValue.
  void SetBackground(const TBackground& AValue) { FBackground->Assign(&AValue); }

 protected:
  void Paint() override;

 private:
  void BackgroundChanged(TObject* ASender);

  std::unique_ptr<TBackground> FBackground;
};
