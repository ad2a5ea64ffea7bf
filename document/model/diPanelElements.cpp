#include "document/model/diPanelElements.h"

#include "document/model/diCanvas.h"
#include "document/model/diMessages.h"
#include "document/model/diSheet.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtils.h"

#include <algorithm>
#include <cstdint>

// ---------------------------------------------------------------------------------------------------------------
// Panel

const TElementClassInfo TPanelElement::ClassInfo{u"TPanelElement", &TVisualElement::ClassInfo,
                                                 &ElementFactory<TPanelElement>};

TPanelElement::~TPanelElement() { CancelLayout(); }

void TPanelElement::UpdateLayout() {
  if (IsDestroying() || !Sheet() || !IsVisible()) return;
  if (Sheet()->UpdateCount() > 0) {
    if (!FLayoutPending) {
      FLayoutPending = true;
      Sheet()->DelayLayout(this);
    }
    return;
  }
  Layout();
}

void TPanelElement::DeliverLayout() {
  FLayoutPending = false;
  if (!IsDestroying() && Sheet() && IsVisible()) Layout();
}

void TPanelElement::CancelLayout() {
  if (!FLayoutPending) return;
  FLayoutPending = false;
  if (Sheet()) Sheet()->CancelLayout(this);
}

void TPanelElement::TExtentEdge::Add(int32_t AEdge) {
  if (AEdge > Value) {
    Value = AEdge;
    Count = 1;
  } else if (AEdge == Value) {
    ++Count;
  }
}

bool TPanelElement::TExtentEdge::Remove(int32_t AEdge) {
  if (AEdge > Value) return false;
  // Below the edge, or the edge is the 0 that no child pushed out: it stays.
  if (AEdge < Value || Value == 0) return true;
  return --Count > 0;
}

void TPanelElement::AddToExtent(const TRect& ARect) {
  if (!FExtentValid) return;
  FRight.Add(ARect.Right);
  FBottom.Add(ARect.Bottom);
}

void TPanelElement::RemoveFromExtent(const TRect& ARect) {
  if (!FExtentValid) return;
  // Both edges are counted down before the answer is taken.
  const bool right = FRight.Remove(ARect.Right);
  const bool bottom = FBottom.Remove(ARect.Bottom);
  FExtentValid = right && bottom;
}

void TPanelElement::Layout() {
  if (!FExtentValid) {
    FRight = {};
    FBottom = {};
    FExtentValid = true;
    // A sheet's root holds a description for every described element, shown or not: its index lists the shown.
    ForEachVisibleChild([this](TVisualElement* c) { AddToExtent(c->GetBoundsRect()); });
  }
  TRect padding;
  GetPadding(padding);
  const int32_t width = FRight.Value ? FRight.Value + padding.Right : Width();
  const int32_t height = FBottom.Value ? FBottom.Value + padding.Bottom : Height();
  SetBounds(Left(), Top(), width, height, Descent());
}

void TPanelElement::ChildBoundsChanged(TVisualElement* AChild, const TRect& AOldRect, int32_t AOldDescent) {
  if (!AChild->IsVisible()) return;
  // The new place is counted before the old one is taken out: a child at the edge that grows keeps the extent
  // known, where counting it out first left the edge without a child and the extent to a walk of all of them.
  AddToExtent(AChild->GetBoundsRect());
  RemoveFromExtent(AOldRect);
  // A child moved at its size (a description following its element) can still change the extent.
  if (AOldRect.Width() != AChild->Width() || AOldRect.Height() != AChild->Height() ||
      AOldRect.Right != AChild->Left() + AChild->Width() || AOldRect.Bottom != AChild->Top() + AChild->Height())
    UpdateLayout();
}

void TPanelElement::ChildVisibleChanged(TVisualElement* AChild) {
  if (AChild->IsVisible())
    AddToExtent(AChild->GetBoundsRect());
  else
    RemoveFromExtent(AChild->GetBoundsRect());
  UpdateLayout();
}

void TPanelElement::InsertVisualChild(TVisualElement* AChild, TVisualElement* ABefore) {
  // Counted before it is linked: joining the sheet may resize it, and that change is counted against this.
  if (AChild->IsVisible()) AddToExtent(AChild->GetBoundsRect());
  TVisualElement::InsertVisualChild(AChild, ABefore);
  if (AChild->IsVisible()) UpdateLayout();
}

void TPanelElement::RemoveVisualChild(TVisualElement* AChild) {
  const bool visible = AChild->IsVisible();
  TVisualElement::RemoveVisualChild(AChild);
  // As it was unlinked: leaving the sheet may have changed it, with this told.
  if (AChild->IsVisible()) RemoveFromExtent(AChild->GetBoundsRect());
  if (visible) UpdateLayout();
}

void TPanelElement::VisibleChanged() {
  // Hidden while its layout waits: done now, with the children still shown, as it would have been before.
  if (!IsVisible() && FLayoutPending) {
    CancelLayout();
    if (!IsDestroying()) Layout();
  }
  TVisualElement::VisibleChanged();
  UpdateLayout();
}

void TPanelElement::DetachFromSheet() {
  // Leaving the sheet while its layout waits: done now, while the sheet is still there.
  if (FLayoutPending) {
    CancelLayout();
    if (!IsDestroying() && IsVisible()) Layout();
  }
  TVisualElement::DetachFromSheet();
}

void TPanelElement::GetAvailableSize(TVisualElement* AChild, TVisualSize& ASize) {
  TVisualElement::GetAvailableSize(AChild, ASize);
  TRect padding;
  GetPadding(padding);
  if (ASize.Width != INT32_MAX) ASize.Width -= padding.Left + padding.Right;
  if (ASize.Height != INT32_MAX) ASize.Height -= padding.Top + padding.Bottom;
}

// ---------------------------------------------------------------------------------------------------------------
// Unaccepted element

const TElementClassInfo TElement_Unaccepted::ClassInfo{u"TElement_Unaccepted", &TVisualElement::ClassInfo,
                                                       &ElementFactory<TElement_Unaccepted>};

TElement_Unaccepted::TElement_Unaccepted(TScheme* AScheme) : TVisualElement(AScheme) {
  SetOptions(Options() | eoUnaccepted | eoValue);
}

std::u16string TElement_Unaccepted::DisplayLine(std::u16string_view ALine) {
  std::u16string r;
  r.reserve(ALine.size());
  for (char16_t c : ALine)
    if (c == u'\t')
      r.append(8, u' ');
    else
      r.push_back(c);
  if (r.size() > MaxLineLength) {
    r.resize(MaxLineLength - 3);
    r += u"...";
  }
  return r;
}

void TElement_Unaccepted::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TVisualElement::LoadFromKnot(ALoader, AKnot);
  TKnot* stored = AKnot;
  if (ALoader->Mode() == fmRecord && AKnot->Name() == GetNodeName()) stored = AKnot->FirstKnot();
  FKnotText.clear();
  FKnotName.clear();
  if (stored) {
    FKnotName = stored->Name();
    const std::u16string text = stored->SaveToString();
    FKnotText.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), u'\n')) + 1);
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(u'\n', start);
      if (end == std::u16string::npos) end = text.size();
      size_t stop = end;
      if (stop > start && text[stop - 1] == u'\r') --stop;
      FKnotText.emplace_back(text, start, stop - start);
      start = end + 1;
    }
    stored->SetUsedDeep(true);
  }
  AKnot->SetUsedDeep(true);
  UpdateState();
  Measure();
}

void TElement_Unaccepted::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TVisualElement::SaveToKnot(ASaver, AKnot);
  std::u16string text;
  for (const std::u16string& line : FKnotText) text += line + u"\r\n";
  TNodePtr<TKnot> parsed(new TKnot);
  parsed->LoadFromString(text);
  if (ASaver->Mode() == fmRecord) {
    AKnot->AddKnot(parsed->Name())->Assign(*parsed);
    return;
  }
  // The stored knot takes the place of this element's own: name, attributes and children come back.
  AKnot->SetName(parsed->Name());
  for (TKnotParam* p = parsed->FirstParam(); p; p = p->Next()) AKnot->WriteString(p->Name(), p->GetAsString());
  for (TKnot* k = parsed->FirstKnot(); k; k = k->NextKnot()) AKnot->AddKnot(k->Name())->Assign(*k);
}

void TElement_Unaccepted::CheckValue() {
  GetMessages()->AddLinked(mkElementError,
                           FormatLocStrOr(IdUnsupportedElement, u"[Unsupported] element \"%1\" in this editor",
                                          {QuoteMessageValue(FKnotName)}),
                           IntToStr(ID()));
}

void TElement_Unaccepted::Measure() {
  TSheet* sheet = Sheet();
  if (!sheet || !IsVisible()) return;
  TSheetCanvas* canvas = sheet->Canvas();
  const int lineHeight = canvas->TextExtent(ckFixed, u"0").cy;
  size_t count = FKnotText.size();
  while (count > 0 && FKnotText[count - 1].empty()) --count;
  int32_t width = 0;
  for (size_t i = 0; i < count; ++i)
    width = std::max<int32_t>(width, canvas->TextExtent(ckFixed, DisplayLine(FKnotText[i])).cx);
  int32_t height = static_cast<int32_t>(count) * lineHeight;
  if (count == 0) {
    height = lineHeight;
    width = lineHeight * 2 / 3;
  }
  const TRect padding = canvas->GetThemePadding(teUnaccepted);
  const int descent = sheet->Settings()->GetTextAttributes(tfFixedFont)->GetDescent();
  SetBounds(Left(), Top(), width + padding.Left + padding.Right, height + padding.Top + padding.Bottom, descent);
}

void TElement_Unaccepted::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  ACanvas->DrawThemeElement(teUnaccepted, GetSizeRect());
  const TRect padding = ACanvas->GetThemePadding(teUnaccepted);
  const int lineHeight = ACanvas->TextExtent(ckFixed, u"0").cy;
  const TColor32 color = ACanvas->Theme().GetFont(tfFixedFont).FontColor;
  int y = padding.Top;
  for (const std::u16string& line : FKnotText) {
    ACanvas->TextOut(padding.Left, y, DisplayLine(line), color);
    y += lineHeight;
  }
}

void TElement_Unaccepted::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                          bool AHeightChanged) {
  TVisualElement::SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
  if (ASheetChanged || ASettingsChanged) Measure();
}

void TElement_Unaccepted::VisibleChanged() {
  TVisualElement::VisibleChanged();
  if (IsVisible()) Measure();
}

// ---------------------------------------------------------------------------------------------------------------
// Messages sign

const TElementClassInfo TMessagesSignElement::ClassInfo{u"TMessagesSignElement", &TVisualElement::ClassInfo,
                                                        &ElementFactory<TMessagesSignElement>};

TMessagesSignElement::TMessagesSignElement(TScheme* AScheme) : TVisualElement(AScheme) {
  SetOptions(Options() | eoTransientPart);
  SetVisualOptions(VisualOptions() | voHitTransparent);
}

TMessagesSignElement::~TMessagesSignElement() {
  // Freed with the sheet's root before the element it signs: that element must not free it again.
  if (FSignedElement) FSignedElement->FMessagesSign = nullptr;
}

void TMessagesSignElement::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  const TElementMessages* messages = FSignedElement ? FSignedElement->Messages() : nullptr;
  const bool error = messages && messages->HasKinds(MessageKinds({mkElementError}));
  ACanvas->DrawThemeIcon(error ? teError : teNeedValue, 0, 0);
}

void TMessagesSignElement::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                           bool AHeightChanged) {
  TVisualElement::SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
  if ((ASheetChanged || ASettingsChanged) && Sheet()) {
    const SIZE size = Sheet()->Canvas()->GetThemeImageSize(teError);
    SetBounds(Left(), Top(), size.cx, size.cy, Descent());
  }
}

void TMessagesSignElement::GetHint(std::u16string& AText) {
  TVisualElement::GetHint(AText);
  if (!AText.empty() || !FSignedElement || !FSignedElement->Messages()) return;
  const TElementMessages* messages = FSignedElement->Messages();
  for (int i = 0; i < messages->GetCount(); ++i) {
    if (i > 0) AText += u"\r\n";
    AText += u"\u2022 " + messages->GetItem(i)->GetText();
  }
}
