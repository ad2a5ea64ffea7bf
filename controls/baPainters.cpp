#include "controls/baPainters.h"

#include <algorithm>

void PaintDefaultFrame(TCanvas& ACanvas, const RECT& ARect) {
  ACanvas.Pen().SetColor(clBlack);
  ACanvas.Pen().SetStyle(TPenStyle::psSolid);
  ACanvas.Brush().SetColor(clWhite);
  ACanvas.Rectangle(ARect);
}

// ---------------------------------------------------------------------------------------------------------------

TPainter::TPainter(TComponent* AOwner) : TComponent(AOwner), FNotifier(std::make_unique<TNotifier>()) {}

TPainter::~TPainter() = default;

void TPainter::BeforeDestruction() {
  // The clients drop this painter while it is still whole: the farewell call may reach code that asks it.
  FNotifier.reset();
  TComponent::BeforeDestruction();
}

void TPainter::Measure(TPainterClient&, TCanvas&, SIZE& ASize, int AWidth) {
  ASize.cx = AWidth > 0 ? AWidth : 20;
  ASize.cy = 20;
}

void TPainter::Paint(TPainterClient&, TCanvas& ACanvas, const RECT& ARect) { PaintDefaultFrame(ACanvas, ARect); }

TCursor TPainter::GetCursor(TPainterClient&) { return crDefault; }

void TPainter::QueryUpdate(TPainterClient&, bool, TClientState, TClientState, int, int, bool&, bool&) {}

bool TPainter::IsTransparent(TPainterClient&) { return false; }

void TPainter::Changed(TPainterChanges AFlags) {
  if (!AFlags.Empty() && FNotifier) FNotifier->PostFlags(AFlags.Bits());
}

// ---------------------------------------------------------------------------------------------------------------

void TPainterClient::CalcSize(TCanvas& ACanvas, bool AAutoWidth, bool AAutoHeight, int AMinWidth, int AMaxWidth,
                              int& AWidth, int& AHeight) {
  if (AMaxWidth > 0) AWidth = std::min(AMaxWidth, AWidth);
  AWidth = std::max(AWidth, AMinWidth);
  TPainter* painter = GetPainter();
  if (!(AAutoWidth || AAutoHeight) || !painter) return;
  SIZE size{};
  painter->Measure(*this, ACanvas, size, AAutoWidth ? 0 : AWidth);
  if (AAutoWidth) AWidth = size.cx;
  if (AAutoHeight) AHeight = size.cy;
}

void TPainterClient::Paint(TCanvas& ACanvas, const RECT& ARect) {
  if (TPainter* painter = GetPainter())
    painter->Paint(*this, ACanvas, ARect);
  else
    PaintDefaultFrame(ACanvas, ARect);
}

// ---------------------------------------------------------------------------------------------------------------

TControlPainterClient::~TControlPainterClient() {
  // The painter outlives many of its clients (the palette frees its buttons on every rebuild): a notification
  // must not reach a client that is gone.
  if (FPainter && FPainter->Notifier())
    FPainter->Notifier()->Unsubscribe(MakeMethod<&TControlPainterClient::PainterNotified>(this));
}

void TControlPainterClient::SetPainter(TPainter* APainter) {
  // A painter in its destroying phase has let its clients go already.
  if (APainter && !APainter->Notifier()) APainter = nullptr;
  if (APainter == FPainter) return;
  const TNotifierHandler handler = MakeMethod<&TControlPainterClient::PainterNotified>(this);
  if (FPainter && FPainter->Notifier()) FPainter->Notifier()->Unsubscribe(handler);
  FPainter = APainter;
  if (FPainter) FPainter->Notifier()->Subscribe(handler);
  Changed(pcAll);
}

void TControlPainterClient::PainterNotified(TNotifier*, TNotify* AFirst) {
  if (!AFirst) {
    FPainter = nullptr;
    return;
  }
  // One call for the whole queue: Changed may free this client.
  uint32_t flags = 0;
  bool any = false;
  for (TNotify* n = AFirst; n; n = n->Next())
    if (auto* notify = dynamic_cast<TFlagsNotify*>(n)) {
      flags |= notify->Flags();
      any = true;
    }
  if (any) Changed(TPainterChanges::FromBits(flags));
}

void TControlPainterClient::AskPainter(bool ACaptionChanged, TClientState AOldState, TClientState ANewState,
                                       int AOldImageIndex, int ANewImageIndex, bool& ANeedRepaint,
                                       bool& ANeedRemeasure) {
  ANeedRepaint = false;
  ANeedRemeasure = false;
  if (FPainter)
    FPainter->QueryUpdate(*this, ACaptionChanged, AOldState, ANewState, AOldImageIndex, ANewImageIndex, ANeedRepaint,
                          ANeedRemeasure);
}

void TControlPainterClient::NotifyChange(bool ARemeasure, bool ARepaint) {
  TPainterChanges flags;
  if (ARemeasure) flags |= pcRemeasure;
  if (ARepaint) flags |= pcRepaint;
  Changed(flags);
}

void TControlPainterClient::SetCaption(const std::u16string& AValue) {
  if (AValue == FCaption) return;
  bool repaint, remeasure;
  AskPainter(true, FState, FState, FImageIndex, FImageIndex, repaint, remeasure);
  FCaption = AValue;
  NotifyChange(remeasure, repaint);
}

void TControlPainterClient::SetImageIndex(int AValue) {
  if (AValue == FImageIndex) return;
  bool repaint, remeasure;
  AskPainter(false, FState, FState, FImageIndex, AValue, repaint, remeasure);
  FImageIndex = AValue;
  NotifyChange(remeasure, repaint);
}

void TControlPainterClient::SetState(TClientState AValue) {
  if (AValue == FState) return;
  bool repaint, remeasure;
  AskPainter(false, FState, AValue, FImageIndex, FImageIndex, repaint, remeasure);
  FState = AValue;
  NotifyChange(remeasure, repaint);
}

void TControlPainterClient::Press() { SetState(FState | stPressed); }

void TControlPainterClient::CancelPress() { SetState(FState - stPressed); }

bool TControlPainterClient::Release() {
  const bool click = FState.ContainsAll(stPressed | stHot);
  SetState(FState - stPressed);
  return click;
}

void TControlPainterClient::SetHot(bool AValue) { SetState(TClientState(FState).Set(stHot, AValue)); }

void TControlPainterClient::SetChecked(bool AValue) { SetState(TClientState(FState).Set(stChecked, AValue)); }

void TControlPainterClient::SetEnabled(bool AValue) { SetState(TClientState(FState).Set(stDisabled, !AValue)); }

void TControlPainterClient::SetFocused(bool AValue) { SetState(TClientState(FState).Set(stFocused, AValue)); }
