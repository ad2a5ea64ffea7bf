// What the owner-drawn controls share: the form a component belongs to, scroll-bar routines, an off-screen
// buffer for painting through a device context, the bordered control with its hint hook and the control that
// may let its parent show through.
#pragma once

#include <cstdint>

#include "foundation/cuSystem.h"
#include "foundation/cuWin32.h"
#include "framework/fwControls.h"
#include "framework/fwWinControls.h"

class TCanvas;
class TComponent;
class TCustomForm;

// The first form on AComponent's owner chain, AComponent itself included; nil when there is none.
TCustomForm* FindParentForm(TComponent* AComponent);

// Range and page of a scroll bar (SB_HORZ, SB_VERT, SB_CTL), redrawn; with ADisableNoScroll a bar that is not
// needed stays visible, disabled.
void SetScrollBarRange(HWND AWnd, int ABar, int AMin, int AMax, int APage, bool ADisableNoScroll);
// The position a scroll code (SB_LINEUP...) asks for: a line or a page either way, the bar's track position, 0 or
// the largest integer; any other code keeps APos. The caller clamps.
int ScrollCodeToPos(HWND AWnd, int ABar, int ACode, int APos, int ALine, int APage);

// Double buffering of one rectangle of a device context. The buffer covers the target's clip box within the
// rectangle; its context is shifted so that the caller paints in the target's coordinates, and the buffer goes
// to the target when the painter is destroyed. An empty buffer rectangle makes no buffer (DC() is nil) and copies
// nothing back.
class TBufPainter {
 public:
  TBufPainter(TCanvas& ACanvas, const RECT& ARect);
  TBufPainter(HDC ATarget, const RECT& ARect);
  ~TBufPainter();
  TBufPainter(const TBufPainter&) = delete;
  TBufPainter& operator=(const TBufPainter&) = delete;

  // The buffer's context, in the target's coordinates; nil when the buffer rectangle is empty.
  HDC DC() const { return FDC; }
  // The target's clip box within the rectangle given: what is buffered and copied back.
  const RECT& Rect() const { return FRect; }
  bool Empty() const { return FDC == nullptr; }

 private:
  void Create(const RECT& ARect);

  HDC FTarget;
  RECT FRect{};
  HDC FDC = nullptr;
  HBITMAP FBitmap = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
};

// How a bordered control draws its edge. bsSingle and bsTheme are a plain border, or a client edge on a 3-D control
// while visual styles are on; bsTheme also has the theme services paint that edge (csNeedsBorderPaint).
enum class TControlBorderStyle : uint8_t { bsNone, bsSingle, bsTheme };

// Before a hint shows: clearing ACanShow keeps it back; AHintInfo may be changed.
using TShowHintEvent = TMethod<void(TObject* ASender, bool& ACanShow, THintInfo& AHintInfo)>;

// A custom control with its own border style and a hook on the hints it shows.
class TBorderedControl : public TCustomControl {
 public:
  explicit TBorderedControl(TComponent* AOwner);

  TControlBorderStyle BorderStyle() const { return FBorderStyle; }
  // Re-creates the window.
  void SetBorderStyle(TControlBorderStyle AValue);

  // Invalidates ARect (client coordinates here; subclasses may take other ones) without erasing, while the
  // window exists.
  using TWinControl::InvalidateRect;
  virtual void InvalidateRect(const RECT& ARect);

  TShowHintEvent OnShowHint;

 protected:
  // Fires OnShowHint.
  virtual void DoShowHint(bool& ACanShow, THintInfo& AHintInfo);

  void CreateParams(TCreateParams& AParams) override;
  void WndProc(TMessage& AMessage) override;

 private:
  TControlBorderStyle FBorderStyle = TControlBorderStyle::bsNone;
};

// A bordered control that can let its parent show through: opaque (csOpaque) exactly while not transparent.
class TTransparencyControl : public TBorderedControl {
 public:
  explicit TTransparencyControl(TComponent* AOwner);

  bool Transparent() const { return FTransparent; }
  // Re-creates the window (WS_EX_TRANSPARENT while transparent).
  void SetTransparent(bool AValue);

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void WndProc(TMessage& AMessage) override;

 private:
  bool FTransparent = false;
};
