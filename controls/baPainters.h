// Painters and their clients. An owner-drawn control shows what it is through a painter client (caption, image,
// state, colour, signs, default look); a shared painter component measures and paints any number of clients and
// tells them all of a change of its settings through its notifier, with change flags.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/cuNotifier.h"
#include "foundation/cuSet.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"
#include "framework/fwComponents.h"
#include "framework/fwGraphics.h"

class TPainterClient;

// The state of a client, one byte as stored: pressed, hot (the mouse over it), checked (toggled down), disabled,
// focused.
enum class TClientStateFlag : uint8_t { stPressed = 1, stHot = 2, stChecked = 4, stDisabled = 8, stFocused = 16 };
constexpr bool IsFlagFamily(TClientStateFlag) { return true; }
using enum TClientStateFlag;
using TClientState = TSet<TClientStateFlag>;

// What a painter's change asks of its clients: repaint, measure again (the control may change its size), ask
// again whether it is transparent, take the cursor again. A painter that is replaced or given asks for all.
enum class TPainterChange : uint32_t { pcRepaint = 1, pcRemeasure = 2, pcTransparency = 4, pcCursor = 8 };
constexpr bool IsFlagFamily(TPainterChange) { return true; }
using enum TPainterChange;
using TPainterChanges = TSet<TPainterChange>;
constexpr TPainterChanges pcAll = pcRepaint | pcRemeasure | pcTransparency | pcCursor;

// A small sign drawn at one of a client's places.
enum class TSignAt : uint8_t { saNone, saBox, saCircle, saCheck, saArrowLeft, saArrowRight, saArrowUp, saArrowDown };
using enum TSignAt;
enum class TSignPlace : uint8_t { spLeft, spRight, spTop, spBottom, spCenter };
using enum TSignPlace;
constexpr int SignPlaceCount = 5;

// Where a client's image comes from: the painter's image list (at the image index), a colour swatch (the image
// index is the colour), or the client's own PaintImage.
enum class TImageKind : uint8_t { ikListImage, ikColorSwatch, ikClientImage };
using enum TImageKind;

// A black frame around a white rectangle: what a client without a painter shows.
void PaintDefaultFrame(TCanvas& ACanvas, const RECT& ARect);

// The abstract painter. Its notifier lives as long as the painter; when the painter is freed (in its destroying
// phase, while it is whole) the notifier calls every subscriber once with nil.
class TPainter : public TComponent {
 public:
  explicit TPainter(TComponent* AOwner);
  ~TPainter() override;

  // Nil once the painter is being freed.
  TNotifier* Notifier() const { return FNotifier.get(); }

  // The size AClient needs; AWidth 0 leaves the width free. Here AWidth (20 when free) by 20.
  virtual void Measure(TPainterClient& AClient, TCanvas& ACanvas, SIZE& ASize, int AWidth);
  // Here PaintDefaultFrame.
  virtual void Paint(TPainterClient& AClient, TCanvas& ACanvas, const RECT& ARect);
  // Here crDefault.
  virtual TCursor GetCursor(TPainterClient& AClient);
  // Whether a change of a client's caption, state or image index needs a repaint or a new measure. The caller
  // clears both answers first; here they stay false.
  virtual void QueryUpdate(TPainterClient& AClient, bool ACaptionChanged, TClientState AOldState,
                           TClientState ANewState, int AOldImageIndex, int ANewImageIndex, bool& ANeedRepaint,
                           bool& ANeedRemeasure);
  // Whether the painted control lets its parent show through; here false.
  virtual bool IsTransparent(TPainterClient& AClient);

  // Tells the clients through the notifier (one flag notification; queued ones merge); nothing for no flags.
  void Changed(TPainterChanges AFlags);

 protected:
  void BeforeDestruction() override;

 private:
  std::unique_ptr<TNotifier> FNotifier;
};

// The base of the concrete painters.
class TSinglePainter : public TPainter {
 public:
  using TPainter::TPainter;
};

// What a painter asks of the thing it paints. The hooks run while the painter paints (all empty here).
class TPainterClient {
 public:
  TPainterClient() = default;
  TPainterClient(const TPainterClient&) = delete;
  TPainterClient& operator=(const TPainterClient&) = delete;
  virtual ~TPainterClient() = default;

  virtual void AfterPaintBackground(TCanvas& ACanvas, const RECT& ARect) {}
  virtual void AfterPaintContent(TCanvas& ACanvas, const RECT& ARect) {}
  virtual void BeforePaintBackground(TCanvas& ACanvas, const RECT& ARect) {}
  virtual void BeforePaintContent(TCanvas& ACanvas, const RECT& ARect) {}
  // The image of ikClientImage.
  virtual void PaintImage(TCanvas& ACanvas, const RECT& ARect) {}
  virtual void PaintParentBackground(TCanvas& ACanvas, const RECT& ARect) {}

  virtual std::u16string GetCaption() const { return {}; }
  virtual bool IsDefault() const { return false; }
  virtual int GetImageIndex() const { return -1; }
  virtual TImageKind GetImageKind() const { return ikListImage; }
  virtual TPainter* GetPainter() const = 0;
  // The control's background colour, for fills that take the parent's colour; yellow here, to show it is unset.
  virtual TColor GetColor() const { return clYellow; }
  virtual TSignAt GetSignAt(TSignPlace APlace) const { return saNone; }
  virtual TClientState GetState() const { return {}; }

  // AWidth brought into [AMinWidth, AMaxWidth] (AMaxWidth 0 or less: no upper limit); then, with a painter and
  // AAutoWidth or AAutoHeight, measured (free width with AAutoWidth) and the automatic sides taken.
  void CalcSize(TCanvas& ACanvas, bool AAutoWidth, bool AAutoHeight, int AMinWidth, int AMaxWidth, int& AWidth,
                int& AHeight);
  // Through the painter, or PaintDefaultFrame without one.
  void Paint(TCanvas& ACanvas, const RECT& ARect);
};

// A client that keeps caption, image index and state for its control, and its painter: subscribed to the
// painter's notifier while set (also when the client goes first: its destructor unsubscribes).
class TControlPainterClient : public TPainterClient {
 public:
  TControlPainterClient() = default;
  ~TControlPainterClient() override;

  std::u16string GetCaption() const override { return FCaption; }
  int GetImageIndex() const override { return FImageIndex; }
  TClientState GetState() const override { return FState; }
  TPainter* GetPainter() const override { return FPainter; }

  // Moves the subscription to APainter's notifier and asks for everything (Changed(pcAll)). A painter that goes
  // away leaves the client without one; its flag notifications reach Changed.
  void SetPainter(TPainter* APainter);

  // What a change asks of the control.
  virtual void Changed(TPainterChanges AFlags) = 0;

  // Both answers false, then the painter's QueryUpdate when there is one.
  void AskPainter(bool ACaptionChanged, TClientState AOldState, TClientState ANewState, int AOldImageIndex,
                  int ANewImageIndex, bool& ANeedRepaint, bool& ANeedRemeasure);
  // Changed with pcRemeasure and pcRepaint as asked (no flags when neither).
  void NotifyChange(bool ARemeasure, bool ARepaint);

  // Each, when the value differs: asks the painter, stores, NotifyChange with its answers.
  void SetCaption(const std::u16string& AValue);
  void SetImageIndex(int AValue);
  void SetState(TClientState AValue);

  // State bits, each through SetState.
  void Press();
  void CancelPress();
  // Clears the press; true (a click) when the client was pressed and hot.
  bool Release();
  void SetHot(bool AValue);
  bool GetChecked() const { return FState.Contains(stChecked); }
  void SetChecked(bool AValue);
  void SetEnabled(bool AValue);
  void SetFocused(bool AValue);

 private:
  void PainterNotified(TNotifier* ASender, TNotify* AFirst);

  std::u16string FCaption;
  int FImageIndex = -1;
  TClientState FState;
  TPainter* FPainter = nullptr;
};
