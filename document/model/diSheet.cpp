#include "document/model/diSheet.h"

#include "document/model/diCanvas.h"
#include "document/model/diSounds.h"
#include "foundation/cuKeys.h"
#include "foundation/cuKnot.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwTimer.h"
#include "graphics/pixels/pxBitmap.h"

#include <algorithm>

namespace {

// The framework's timer behind the sheet's seam. A tick may free it: the framework allows that.
class TFrameworkSheetTimer : public ISheetTimer {
 public:
  TFrameworkSheetTimer(unsigned AInterval, std::function<void()> ATick) : FTick(std::move(ATick)), FTimer(nullptr) {
    FTimer.SetInterval(AInterval);
    FTimer.SetOnTimer(MakeMethod<&TFrameworkSheetTimer::Tick>(this));
  }

 private:
  void Tick(TObject*) {
    const std::function<void()> tick = FTick;
    tick();
  }

  std::function<void()> FTick;
  TTimer FTimer;
};

bool AsyncLeftButtonDown() { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Sheet element

const TElementClassInfo TSheetElement::ClassInfo{u"TSheetElement", &TPanelElement::ClassInfo,
                                                 &ElementFactory<TSheetElement>};

TSheetElement::TSheetElement(TScheme* AScheme) : TPanelElement(AScheme) {
  SetVisualOptions(VisualOptions() | voPlaceIndexed);
}

void TSheetElement::GetPadding(TRect& ARect) {
  ARect = Sheet() ? Sheet()->Canvas()->GetThemePadding(teSheet) : TRect();
}

void TSheetElement::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  ACanvas->DrawThemeElement(teSheet, GetSizeRect());
}

// ---------------------------------------------------------------------------------------------------------------
// Sheet

TSheet::TSheet(TSheetSettings* ASettings)
    : FSettings(ASettings),
      FCanvas(std::make_unique<TSheetCanvas>(ASettings)),
      FTimerFactory([](unsigned AInterval, std::function<void()> ATick) -> std::unique_ptr<ISheetTimer> {
        return std::make_unique<TFrameworkSheetTimer>(AInterval, std::move(ATick));
      }),
      FLeftButtonDown(&AsyncLeftButtonDown),
      FBrowser([](const std::u16string& AURL) { return OpenInDefaultBrowser(AURL); }) {
  FRoot = TElement::CreateIn<TSheetElement>(nullptr, nullptr);
  FRoot->NotifyInitNew(0);
  FRoot->SetSheet(this);
  FSettings->AddNotifyEvent(MakeMethod<&TSheet::SettingsHandler>(this));
}

TSheet::~TSheet() {
  FSettings->RemoveNotifyEvent(MakeMethod<&TSheet::SettingsHandler>(this));
  CloseDropDown(false);
  FFocusTimer.reset();
  FDelayedFocusTimer.reset();
  // The tree goes without telling the host of each element that leaves.
  FDestroying = true;
  FRoot->Destroy();
}

void TSheet::Signal(TSheetPending APending, int ACode) {
  if (FUpdateCount > 0)
    FPending.Include(APending);
  else
    Notify(ACode, 0, 0);
}

void TSheet::EndUpdate() {
  if (FUpdateCount <= 0 || --FUpdateCount > 0) return;
  if (FPending.ContainsAny(spViewWidth | spViewHeight)) {
    const bool width = FPending.Contains(spViewWidth);
    const bool height = FPending.Contains(spViewHeight);
    FPending.Exclude(spViewWidth | spViewHeight);
    BeginUpdate();
    FRoot->SettingsChanged(false, false, width, height);
    EndUpdate();
  }
  if (!FDelayedLayouts.empty()) {
    // A layout may start another (an inner panel grows its outer one); the nested end delivers those as well.
    BeginUpdate();
    while (!FDelayedLayouts.empty()) {
      TPanelElement* panel = FDelayedLayouts.back();
      FDelayedLayouts.pop_back();
      panel->DeliverLayout();
    }
    EndUpdate();
  }
  auto take = [this](TSheetPending ABit) {
    const bool set = FPending.Contains(ABit);
    FPending.Exclude(ABit);
    return set;
  };
  if (take(spWorkspaceSize)) Notify(snWorkspaceSize, 0, 0);
  if (take(spFocusTimer) && FFocused) FFocusTimer = FTimerFactory(FocusTimerInterval, [this] { FocusTick(); });
  if (take(spFocus)) {
    // The focus change covers the focused element's content, availability and edit state.
    FPending.Exclude(spFocusedContent | spFocusedAvailability | spFocusedEditState);
    Notify(snFocusChanged, 0, 0);
  }
  if (take(spCaret)) UpdateCaret();
  if (take(spScrollToCaret)) Notify(snScrollToCaret, 0, 0);
  if (take(spFocusedContent)) {
    FPending.Exclude(spFocusedAvailability);
    Notify(snCommandState, 0, 0);
  }
  if (take(spFocusedAvailability)) Notify(snAvailability, 0, 0);
  if (take(spFocusedEditState)) Notify(snEditState, 0, 0);
  if (take(spRepaintAll)) {
    FPending.Exclude(spRepaintArea | spScrollBand);
    Notify(snRepaint, 0, 0);
  }
  if (take(spScrollBand)) {
    const TSheetScroll scroll = FScroll;
    Notify(snScrollBand, reinterpret_cast<intptr_t>(&scroll), 0);
  }
  if (take(spRepaintArea)) {
    const TRect area = FRepaintArea;
    Notify(snRepaint, reinterpret_cast<intptr_t>(&area), 0);
  }
}

void TSheet::InvalidateRect(const TRect* ARect) {
  FLastHit.Valid = false;
  if (FUpdateCount == 0) {
    Notify(snRepaint, reinterpret_cast<intptr_t>(ARect), 0);
  } else if (ARect && RepaintsByArea()) {
    FRepaintArea = FPending.Contains(spRepaintArea) ? UnionRect(FRepaintArea, *ARect) : *ARect;
    FPending.Include(spRepaintArea);
    // An area as tall as the view gains little over all of it, and later requests then need no rectangle worked
    // out (a row that wraps moves every element below it).
    if (FRepaintArea.Height() >= FViewSize.Height) FPending.Include(spRepaintAll);
  } else {
    FPending.Include(spRepaintAll);
  }
}

void TSheet::ScrollBand(TVisualElement* AElement, int32_t ATop, int32_t ADistance) {
  if (ADistance == 0) return;
  FLastHit.Valid = false;
  // The sheet's root shows below the band's element and beside it, and an open list stands over the view.
  if (FUpdateCount == 0 || !RepaintsByArea() || FPending.Contains(spScrollBand) || FDropDown ||
      !FCanvas->Theme().GetElement(teSheet).EvenDown()) {
    InvalidateRect(nullptr);
    return;
  }
  // What waits for a repaint in the band moves with it; both places are repainted.
  if (FPending.Contains(spRepaintArea) && FRepaintArea.Bottom > ATop) {
    const TRect moved{FRepaintArea.Left, std::max(FRepaintArea.Top, ATop) + ADistance, FRepaintArea.Right,
                      FRepaintArea.Bottom + ADistance};
    FRepaintArea = UnionRect(FRepaintArea, moved);
  }
  FScroll = {ATop, ADistance};
  FScrollElement = AElement;
  FPending.Include(spScrollBand);
  FRoot->InvalidateAcross(ATop - FRoot->Top(), ADistance, AElement);
  const int32_t top = AElement->ClientToSheet({0, 0}).Y;
  AElement->InvalidateAcross(ATop - top, ADistance, nullptr);
}

bool TSheet::ScrollExplains(const TVisualElement* AElement, const TRect& AOld, const TRect& ANew) const {
  if (!FPending.Contains(spScrollBand) || FPending.Contains(spRepaintAll)) return false;
  if (AOld.Top >= FScroll.Top) return ANew == OffsetRect(AOld, 0, FScroll.Distance);
  return (AElement == FRoot || AElement == FScrollElement) && AOld.Bottom >= FScroll.Top &&
         ANew == TRect{AOld.Left, AOld.Top, AOld.Right, AOld.Bottom + FScroll.Distance};
}

void TSheet::DelayLayout(TPanelElement* APanel) { FDelayedLayouts.push_back(APanel); }

void TSheet::CancelLayout(TPanelElement* APanel) { std::erase(FDelayedLayouts, APanel); }

void TSheet::WorkspaceSizeChanged() { Signal(spWorkspaceSize, snWorkspaceSize); }
void TSheet::ScrollToCaret() { Signal(spScrollToCaret, snScrollToCaret); }
void TSheet::FocusedEditStateChanged() { Signal(spFocusedEditState, snEditState); }
void TSheet::FocusedAvailabilityChanged() { Signal(spFocusedAvailability, snAvailability); }
void TSheet::FocusedCommandStateChanged() { Signal(spFocusedContent, snCommandState); }

void TSheet::UpdateCaret() {
  // Inside an update the caret is recomputed once, at the end, after the focus change is told.
  if (FUpdateCount > 0) {
    FPending.Include(spCaret);
    return;
  }
  uint8_t kind = ckNoCaret;
  TRect rect;
  if (FFocused && FFocused->IsVisible()) {
    kind = FFocused->GetCaret(rect);
    const TVisualPoint origin = FFocused->ClientToSheet({0, 0});
    rect = {rect.Left + origin.X, rect.Top + origin.Y, rect.Right + origin.X, rect.Bottom + origin.Y};
  }
  if (kind == ckNoCaret) rect = TRect();
  if (kind == FCaretKind && rect == FCaretRect) return;
  FCaretKind = kind;
  FCaretRect = rect;
  Notify(snCaret, 0, 0);
}

int32_t TSheet::GetWorkspaceWidth() const { return FRoot->Left() + FRoot->Width(); }
int32_t TSheet::GetWorkspaceHeight() const { return FRoot->Top() + FRoot->Height(); }

// ---------------------------------------------------------------------------------------------------------------
// Focus

void TSheet::SetFocused(TVisualElement* AElement) {
  if (AElement == FFocused) return;
  BeginUpdate();
  try {
    CloseDropDown(false);
    if (AElement) {
      AElement->SetBeingFocused(true);
      if (AElement->HasVisualOptions(voShownOnDemand)) AElement->UpdateVisible();
      if (RevealOnFocus) AElement->MakeVisible();
      AElement->SetBeingFocused(false);
      if (RevealOnFocus && !AElement->IsVisible()) AElement = nullptr;
    }
    if (AElement != FFocused) {
      TVisualElement* old = FFocused;
      if (old) old->FocusChanging();
      if (AElement) AElement->FocusChanging();
      FFocused = AElement;
      if (old) old->FocusChanged();
      if (AElement) AElement->FocusChanged();
      if (ClearMarksOnFocus && !(FFocused && FFocused->IsMarked())) ClearMarked();
      UpdateCaret();
      // The wait starts when the update ends: a find steps the focus through thousands of elements in one, and
      // each timer is a window of the system's.
      FFocusTimer.reset();
      FPending.Include(spFocus | spFocusTimer);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TSheet::FocusTick() {
  // A mouse selection still in progress: the view follows the caret only once the button is released.
  if (FLeftButtonDown && FLeftButtonDown()) return;
  FFocusTimer.reset();
  Notify(snScrollToCaret, 1, 0);
}

void TSheet::DelayFocus(TVisualElement* AElement) {
  if (!FDelayedFocus) FDelayedFocus = AElement;
  FDelayedFocusTimer = FTimerFactory(DelayedFocusInterval, [this] { DelayedFocusTick(); });
}

void TSheet::CancelDelayedFocus() {
  FDelayedFocusTimer.reset();
  FDelayedFocus = nullptr;
}

void TSheet::DelayedFocusTick() {
  FDelayedFocusTimer.reset();
  if (TVisualElement* e = std::exchange(FDelayedFocus, nullptr)) e->Activate();
}

void TSheet::FocusFirst() {
  TVisualElement* found = nullptr;
  if (FRoot->FindFocusable(true, found, false, true)) found->SetFocus(fdForward, {}, nullptr, nullptr);
}

void TSheet::MoveFocus(bool AHorizontal, bool AForward) {
  if (!FFocused) return;
  TFocusDirections direction;
  if (AHorizontal) direction.Include(fdHorizontal);
  if (AForward) direction.Include(fdForward);
  TVisualElement* origin = nullptr;
  if (TVisualElement* found = FFocused->FindNextFocusable(direction, origin, false, true))
    found->SetFocus(direction, {}, origin, nullptr);
}

void TSheet::CommitFocusedValue() {
  if (FFocused && FFocused->HasVisualState(vsValueModified)) FFocused->CommitValue();
}

// ---------------------------------------------------------------------------------------------------------------
// Hover, capture, marks

void TSheet::SetHovered(TVisualElement* AElement) {
  if (AElement == FHovered) return;
  TVisualElement* old = std::exchange(FHovered, AElement);
  if (old) old->MouseLeave();
  if (AElement) AElement->MouseEnter();
  Notify(snHovered, 0, 0);
  UpdateCursor();
}

void TSheet::SetCaptured(TVisualElement* AElement) {
  if (AElement == FCaptured) return;
  TVisualElement* old = std::exchange(FCaptured, AElement);
  if (old) old->CaptureChanged();
  if (AElement) AElement->CaptureChanged();
  UpdateCursor();
}

void TSheet::UpdateCursor() {
  TVisualElement* e = FCaptured ? FCaptured : FHovered;
  const int cursor = e ? e->GetCursor(e->SheetToClient(FMousePos)) : 0;
  if (cursor == FCursor) return;
  FCursor = cursor;
  Notify(snCursor, 0, 0);
}

void TSheet::SetMarked(TVisualElement* AElement, bool AValue) {
  if (!AValue) {
    RemoveMarked(AElement);
    return;
  }
  if (std::find(FMarked.begin(), FMarked.end(), AElement) == FMarked.end()) FMarked.push_back(AElement);
  AElement->SetMarked(true);
  AElement->MakeVisible();
}

void TSheet::RemoveMarked(TVisualElement* AElement) {
  auto it = std::find(FMarked.begin(), FMarked.end(), AElement);
  if (it != FMarked.end()) FMarked.erase(it);
  AElement->SetMarked(false);
}

void TSheet::ClearMarked() {
  while (!FMarked.empty()) RemoveMarked(FMarked.front());
}

void TSheet::ElementLeaving(TVisualElement* AElement) {
  if (FDestroying) return;
  FLastHit.Valid = false;
  if (FCaptured == AElement) SetCaptured(nullptr);
  if (FHovered == AElement) SetHovered(nullptr);
  if (FFocused == AElement) SetFocused(nullptr);
  if (AElement->IsMarked()) RemoveMarked(AElement);
  if (FDelayedFocus == AElement) CancelDelayedFocus();
}

// ---------------------------------------------------------------------------------------------------------------
// Input

void TSheet::KeyDown(uint16_t& AKey, TShiftKeys AShift) {
  if (AKey == vkReturn && FDropDown) {
    // Enter on a row that cannot be chosen is spent all the same; the list stays for another choice.
    switch (FDropDown->EnterAction()) {
      case TDropDownEnter::deApply:
        CloseDropDown(true);
        break;
      case TDropDownEnter::deClose:
        CloseDropDown(false);
        break;
      case TDropDownEnter::deStayOpen:
        break;
    }
    AKey = 0;
    return;
  }
  if (AKey == vkEscape) {
    CancelMode();
    AKey = 0;
    return;
  }
  if (FFocused) FFocused->KeyDown(AKey, AShift);
  if (AKey >= vkLeft && AKey <= vkDown && !AShift.Contains(skShift)) {
    MoveFocus(AKey == vkLeft || AKey == vkRight, AKey == vkRight || AKey == vkDown);
    AKey = 0;
  }
}

void TSheet::KeyPress(char16_t& AChar) {
  if (AChar == u' ' && FDropDown) {
    FDropDown->ToggleSelected();
    AChar = 0;
    return;
  }
  if (AChar < 32 && AChar != u'\t' && AChar != u'\r') {
    AChar = 0;
    return;
  }
  if (FFocused) FFocused->KeyPress(AChar);
}

void TSheet::KeyUp(uint16_t& AKey, TShiftKeys AShift) {
  if (FFocused) FFocused->KeyUp(AKey, AShift);
}

TVisualElement* TSheet::ElementAt(TVisualPoint APoint, bool AAllowSelected, bool ASkipTransparent) {
  THitTestFlags flags = htSelf | htChildren | htDeep;
  if (AAllowSelected) flags.Include(htSelected);
  if (!ASkipTransparent) flags.Include(htTransparent);
  // Kept only with selected elements allowed: a change of the selection repaints nothing by itself.
  if (!AAllowSelected) return FRoot->HitTest(FRoot->ParentToClient(APoint), flags);
  if (FLastHit.Valid && FLastHit.Point == APoint && FLastHit.Flags == flags) return FLastHit.Element;
  TVisualElement* hit = FRoot->HitTest(FRoot->ParentToClient(APoint), flags);
  FLastHit = {true, APoint, flags, hit};
  return hit;
}

void TSheet::MouseDown(TVisualPoint APoint, bool ALeft, TShiftKeys AShift, bool ATriple, bool AQuadruple) {
  FMousePos = APoint;
  // A press while an element holds the capture belongs to that element, as the moves and the release do.
  TVisualElement* target = FCaptured;
  if (!target) {
    target = ElementAt(APoint, true, true);
    SetHovered(target);
  }
  if (target)
    target->MouseDown(target->SheetToClient(APoint), ALeft, AShift.Contains(skDouble), ATriple, AQuadruple,
                      AShift.Contains(skShift), AShift.Contains(skCtrl), AShift.Contains(skAlt));
}

void TSheet::MouseMove(TVisualPoint APoint, TShiftKeys AShift) {
  FMousePos = APoint;
  TVisualElement* target = FCaptured;
  if (!target) {
    SetHovered(ElementAt(APoint, true, true));
    target = FHovered;
  }
  if (target) target->MouseMove(target->SheetToClient(APoint), AShift.Contains(skLeft), AShift);
}

void TSheet::MouseUp(TVisualPoint APoint, bool ALeft, TShiftKeys AShift) {
  FMousePos = APoint;
  if (TVisualElement* target = FCaptured ? FCaptured : FHovered)
    target->MouseUp(target->SheetToClient(APoint), ALeft, AShift);
}

void TSheet::CancelMode() {
  CloseDropDown(false);
  if (FCaptured) FCaptured->CancelMode();
}

// ---------------------------------------------------------------------------------------------------------------
// Drop-down list

void TSheet::OpenDropDown(std::unique_ptr<TDropDownList> AList) {
  CloseDropDown(false);
  if (!AList) return;
  PlaySound(u"diClassesDropDownSound");
  FDropDown = std::move(AList);
  FDropDown->SetOpen(true);
  Notify(snDropDownOpened, 0, 0);
}

void TSheet::CloseDropDown(bool AApply) {
  if (!FDropDown) return;
  // Apply with no row selected would hand the apply handler nothing to apply.
  AApply = AApply && FDropDown->Selected() != nullptr;
  if (AApply) PlaySound(u"diClassesValueSound");
  // Taken first: the apply handler may open another list or move the focus, which closes this one again.
  const std::unique_ptr<TDropDownList> list = std::move(FDropDown);
  list->SetOpen(false);
  Notify(snDropDownClosed, 0, 0);
  if (AApply) list->Apply();
}

TTextSize TSheet::MeasureDropDownText(const std::u16string& AText) {
  const SIZE size = FCanvas->TextExtent(ckCode, AText);
  return {static_cast<int>(size.cx), static_cast<int>(size.cy)};
}

void TSheet::DropDownChanged(TDropDownList* AList) {
  if (AList == FDropDown.get()) Notify(snDropDownChanged, 0, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// Painting and view

void TSheet::PaintTo(void* ADC, const TRect& ARect, TSheetPaintFlags AFlags) {
  if (ARect.Left >= ARect.Right || ARect.Top >= ARect.Bottom) return;
  if (!FActive) AFlags.Include(spInactive);
  FCanvas->BeginPaint(static_cast<HDC>(ADC), ARect);
  FRoot->PaintElement(FCanvas.get(), AFlags);
  if (!AFlags.Contains(spNoFocusFrames)) {
    if (FCaretKind == ckButtonFrame) FCanvas->DrawButtonFocus(FCaretRect);
    if (FCaretKind == ckDataFrame) FCanvas->DrawDataFocus(FCaretRect);
  }
  if (!AFlags.Contains(spNoDirectPaint)) PaintFocused(FCanvas->GetHandle());
  FCanvas->EndPaint(static_cast<HDC>(ADC));
}

void TSheet::PaintFocused(void* ADC) {
  if (!FFocused || !ADC) return;
  HDC dc = static_cast<HDC>(ADC);
  const TVisualPoint p = FFocused->ClientToSheet({0, 0});
  const int saved = SaveDC(dc);
  POINT origin;
  GetViewportOrgEx(dc, &origin);
  SetViewportOrgEx(dc, origin.x + p.X, origin.y + p.Y, nullptr);
  IntersectClipRect(dc, 0, 0, FFocused->Width(), FFocused->Height());
  FFocused->PaintDirect(dc);
  RestoreDC(dc, saved);
}

void TSheet::SetViewSize(TVisualSize ASize) {
  const bool width = ASize.Width != FViewSize.Width;
  const bool height = ASize.Height != FViewSize.Height;
  if (!width && !height) return;
  FViewSize = ASize;
  if (FUpdateCount > 0) {
    if (width) FPending.Include(spViewWidth);
    if (height) FPending.Include(spViewHeight);
    return;
  }
  BeginUpdate();
  try {
    FRoot->SettingsChanged(false, false, width, height);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TSheet::SetScreenPos(TVisualPoint APoint) {
  if (APoint == FScreenPos) return;
  FScreenPos = APoint;
  Notify(snScrollPos, 0, 0);
}

void TSheet::SetReadOnly(bool AValue) {
  if (AValue == FReadOnly) return;
  FReadOnly = AValue;
  Notify(snReadOnly, 0, 0);
}

void TSheet::SetActive(bool AValue) {
  if (AValue == FActive) return;
  FActive = AValue;
  CommitFocusedValue();
  if (FFocused && FFocused->HasSelection()) FFocused->Invalidate();
  Notify(snActive, 0, 0);
}

void TSheet::SettingsHandler(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  if (ANotify != 1) return;
  FCanvas->ResetCaches();
  BeginUpdate();
  try {
    FRoot->SettingsChanged(false, true, false, false);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  InvalidateRect(nullptr);
}

void TSheet::PlaySound(std::u16string_view AName) { PlaySchemeSound(AName); }

// ---------------------------------------------------------------------------------------------------------------
// View state

void TSheet::SaveState(TKnot* AKnot) {
  if (FFocused) {
    AKnot->WriteInteger(u"FocusedElement", FFocused->GetAbsoluteIndex());
    AKnot->WriteString(u"FocusedElementType", FFocused->ClassRef()->Name());
    std::u16string data;
    FFocused->GetFocusData(data);
    AKnot->WriteString(u"FocusData", data);
  }
  AKnot->WriteInteger(u"ScreenPosX", FScreenPos.X);
  AKnot->WriteInteger(u"ScreenPosY", FScreenPos.Y);
}

void TSheet::LoadState(TKnot* AKnot) {
  // The session file is untrusted: an index that is out of range, not a number or of another class focuses
  // nothing, and the scroll position is restored all the same.
  if (TVisualElement* top = FRoot->FirstVisualChild()) {
    const int index = AKnot->ReadInteger(u"FocusedElement", -1, 0, 0);
    if (index >= 0) {
      std::vector<TNode*> nodes;
      top->CollectNodes(nodes, true);
      auto* e = index < static_cast<int>(nodes.size()) ? dynamic_cast<TVisualElement*>(nodes[index]) : nullptr;
      if (e && e->HasVisualOptions(voFocusable) && e->IsVisible() &&
          e->ClassRef()->Name() == AKnot->ReadString(u"FocusedElementType", u""))
        e->SetFocus(fdForward, AKnot->ReadString(u"FocusData", u""), nullptr, nullptr);
    }
  }
  SetScreenPos({AKnot->ReadInteger(u"ScreenPosX", 0, 0, 0), AKnot->ReadInteger(u"ScreenPosY", 0, 0, 0)});
}
