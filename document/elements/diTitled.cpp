#include "document/elements/diTitled.h"

#include "document/model/diCanvas.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSheet.h"
#include "foundation/cuKnot.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

namespace {

// Sets a bit of a state byte for the life of the scope, however it ends.
class TStateBit {
 public:
  TStateBit(uint8_t& AState, uint8_t ABit) : FState(AState), FBit(ABit) { FState |= FBit; }
  ~TStateBit() { FState &= ~FBit; }
  TStateBit(const TStateBit&) = delete;
  TStateBit& operator=(const TStateBit&) = delete;

 private:
  uint8_t& FState;
  uint8_t FBit;
};

// tsWritten: the title was written for the parts to show as they join a sheet, and the layout that follows their
// settings takes it as it is.
enum : uint8_t { tsLayingOut = 0x01, tsWritten = 0x02 };

// Texts that size themselves by what their parent offers make the title depend on the available size.
constexpr TTextorOptions SizeBoundTextorOptions = xoHosted | xoMinWidthAvailable | xoMinHeightAvailable;

void AddWithGroup(TPaletteList& AList, TPaletteNode* AItem) {
  if (auto* group = dynamic_cast<TPaletteNode*>(AItem->Parent());
      group && std::find(AList.begin(), AList.end(), group) == AList.end())
    AList.push_back(group);
  AList.push_back(AItem);
}

TSchemeImages* ImagesOfKind(TTitleItemKind AKind) {
  switch (AKind) {
    case tkCharImage:
      return SchemeCharImages.get();
    case tkSmallImage:
      return SchemeSmallImages.get();
    case tkLargeImage:
      return SchemeLargeImages.get();
    default:
      return nullptr;
  }
}

// An item's baseline from its top; one without a baseline of its own stands on its bottom.
int32_t BaselineOf(const TTitleItem& AItem) { return AItem.Baseline ? AItem.Baseline : AItem.Height; }

// The container interface of a title item's element; the title's own text container is told by its class, for
// MinGW's dynamic_cast compares type names and a layout asks for every container of a document.
ITitleContainer* TitleContainerOf(TVisualElement* AElement) {
  if (auto* text = AsElementOfClass<TTitledTextContainer>(AElement)) return text;
  return dynamic_cast<ITitleContainer*>(AElement);
}

}  // namespace

TSchemePaletteItem* PaletteDescriptionItem = nullptr;
TCollapsedPaletteItem* PaletteCollapsedItem = nullptr;
int TitledLargeImagesIndex = -1;

// ---------------------------------------------------------------------------------------------------------------
// Described element

TVisualElement* GetDescribedElement(const TVisualElement* ADescription) {
  if (!ADescription || !ADescription->IsPart()) return nullptr;
  auto* owner = dynamic_cast<TCustomDescribedElement*>(ADescription->ParentElement());
  return owner && owner->Description() == ADescription ? owner : nullptr;
}

const TElementClassInfo TCustomDescribedElement::ClassInfo{u"TCustomDescribedElement", &TVisualElement::ClassInfo,
                                                           nullptr};

TCustomDescribedElement::TCustomDescribedElement(TScheme* AScheme, TElementClass ADescriptionClass)
    : TVisualElement(AScheme) {
  if (!ADescriptionClass) return;
  FDescription = static_cast<TVisualElement*>(CreatePart(ADescriptionClass, this, nullptr));
  FDescription->SetVisualOptions(FDescription->VisualOptions() | DescriptionVisualOptions);
}

void TCustomDescribedElement::PlaceDescription() {
  if (!FDescription || IsDestroying()) return;
  TSheet* sheet = Sheet();
  // On the sheet with the element even while hidden with it, so that a search can reach its text.
  TVisualElement* parent = sheet ? sheet->Root() : nullptr;
  if (FDescription->VisualParent() != parent) {
    FDescription->SetVisualParent(parent);
    if (parent) PlaceFollowed();
  }
  if (!parent || !IsVisible()) return;
  TRect own, other;
  GetMargins(own);
  FDescription->GetMargins(other);
  const TVisualPoint p = ClientToSheet({Width(), 0});
  const int32_t left = std::max(0, p.X - parent->Left() + std::max(own.Right, other.Left));
  const int32_t top = std::max(0, p.Y - parent->Top());
  FDescription->SetBounds(left, top, FDescription->Width(), FDescription->Height(), FDescription->Descent());
}

void TCustomDescribedElement::BoundsChanged(const TRect& AOldRect, int32_t AOldDescent) {
  TVisualElement::BoundsChanged(AOldRect, AOldDescent);
  if (AOldRect.Top != Top() || AOldRect.Right != Left() + Width()) PlaceDescription();
}

void TCustomDescribedElement::FollowPlace() {
  TVisualElement::FollowPlace();
  PlaceDescription();
}

void TCustomDescribedElement::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                              bool AHeightChanged) {
  TVisualElement::SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
  if (ASheetChanged) PlaceDescription();
}

void TCustomDescribedElement::EffectivelyDisabledChanged() {
  TVisualElement::EffectivelyDisabledChanged();
  if (FDescription) {
    FDescription->UpdateEffectivelyDisabled();
    FDescription->Invalidate();
  }
}

void TCustomDescribedElement::VisibleChanged() {
  TVisualElement::VisibleChanged();
  PlaceDescription();
  if (FDescription) FDescription->UpdateVisible();
}

void TCustomDescribedElement::DetachFromSheet() {
  TVisualElement::DetachFromSheet();
  if (FDescription && FDescription->VisualParent()) FDescription->SetVisualParent(nullptr);
}

TVisualElement* TCustomDescribedElement::GetNextChild(TVisualElement* AChild, bool AForward) {
  TVisualElement* description = FDescription && FDescription->VisualParent() ? FDescription : nullptr;
  if (!description) return TVisualElement::GetNextChild(AChild, AForward);
  if (AForward) {
    if (AChild == description) return nullptr;
    TVisualElement* next = TVisualElement::GetNextChild(AChild, true);
    return next ? next : description;
  }
  if (!AChild) return description;
  return TVisualElement::GetNextChild(AChild == description ? nullptr : AChild, false);
}

void TCustomDescribedElement::GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) {
  if (APart && APart == FDescription)
    AName = u"Description";
  else
    TVisualElement::GetPartNodeName(APart, AFiler, AName);
}

bool TCustomDescribedElement::ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) {
  if (!AItem || AItem != PaletteDescriptionItem || !FDescription)
    return TVisualElement::ExecutePaletteItem(ATarget, AItem, AValue);
  PlaceDescription();
  // Hidden while empty: it shows itself for the focus it is about to get.
  FDescription->SetBeingFocused(true);
  FDescription->UpdateVisible();
  FDescription->Focus();
  FDescription->SetBeingFocused(false);
  FDescription->SelectAll();
  return true;
}

void TCustomDescribedElement::GetPaletteItems(TPaletteList& AList) {
  TVisualElement::GetPaletteItems(AList);
  if (FDescription && PaletteDescriptionItem) AddWithGroup(AList, PaletteDescriptionItem);
}

bool TCustomDescribedElement::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  // Off the root before the subtree goes, so the root never lays out a description being freed.
  if (AMsg == nmDestroying && FDescription && FDescription->VisualParent() && !IsDestroying())
    FDescription->SetVisualParent(nullptr);
  return TVisualElement::HandleMessage(AMsg, AParam1, AParam2);
}

// ---------------------------------------------------------------------------------------------------------------
// Title writer

void TTitleWriter::Clear() {
  FItems.clear();
  FRows.clear();
}

TTitleItem& TTitleWriter::AddItem(TTitleItemKind AKind) {
  // The scratch item is written and never read.
  if (FScratch) {
    ++FCounted;
    return *FScratch;
  }
  if (FItems.size() == FItems.capacity()) FItems.reserve(FItems.size() + 10);
  TTitleItem& item = FItems.emplace_back();
  item.Kind = AKind;
  return item;
}

TTitleItem& TTitleWriter::AddText(std::u16string AText) {
  TTitleItem& item = AddItem(tkText);
  item.Text = std::move(AText);
  return item;
}

TTitleItem& TTitleWriter::AddElement(TVisualElement* AElement, TTitleAlignment AAlignment) {
  TTitleItem& item = AddItem(tkElement);
  item.Element = AElement;
  item.Alignment = AAlignment;
  return item;
}

TTitleItem& TTitleWriter::AddLineElement(TVisualElement* AElement) {
  TTitleItem& item = AddItem(tkLineElement);
  item.Element = AElement;
  item.Alignment = taCenter;
  return item;
}

TTitleItem& TTitleWriter::AddContainer(TVisualElement* AElement) {
  TTitleItem& item = AddItem(tkContainer);
  item.Element = AElement;
  return item;
}

TTitleItem& TTitleWriter::AddGap(int32_t AWidth) {
  TTitleItem& item = AddItem(tkGap);
  item.Value = AWidth;
  return item;
}

TTitleItem& TTitleWriter::AddImage(TTitleItemKind AKind, int AIndex) {
  TTitleItem& item = AddItem(AKind);
  item.Value = AIndex;
  return item;
}

TTitleItem& TTitleWriter::AddLine() { return AddItem(tkLine); }

void TTitleWriter::NewLine() {
  if (!FScratch && !FItems.empty()) FItems.back().LineBreakAfter = true;
}

bool TTitleWriter::Contains(const TVisualElement* AElement) const {
  return std::any_of(FItems.begin(), FItems.end(), [AElement](const TTitleItem& AItem) {
    return AItem.Element == AElement &&
           (AItem.Kind == tkLineElement || AItem.Kind == tkContainer || AItem.Kind == tkElement);
  });
}

// ---------------------------------------------------------------------------------------------------------------
// Custom titled element

const TElementClassInfo TCustomTitledElement::ClassInfo{u"TCustomTitledElement", &TCustomDescribedElement::ClassInfo,
                                                        nullptr};

TCustomTitledElement::~TCustomTitledElement() = default;

void TCustomTitledElement::SetTitleFlags(TTitleFlags AValue) {
  if (AValue == FTitleFlags) return;
  FTitleFlags = AValue;
  RelayoutTitle();
}

void TCustomTitledElement::MeasureItem(TTitleItem& AItem) {
  if (AItem.Measured) return;
  AItem.Measured = true;
  TSheetCanvas* canvas = Sheet()->Canvas();
  TSheetTheme& theme = canvas->Theme();
  switch (AItem.Kind) {
    case tkText: {
      const SIZE size = canvas->TextExtent(ckElement, AItem.Text);
      AItem.Width = size.cx;
      AItem.Height = size.cy;
      AItem.Baseline = canvas->TextAscent(ckElement);
      AItem.Margins = theme.TextMargins();
      break;
    }
    case tkLineElement:
    case tkElement:
    case tkContainer: {
      TVisualElement* e = AItem.Element;
      TVisualSize size{e->Width(), e->Height()};
      if (AItem.Kind == tkContainer)
        if (ITitleContainer* container = TitleContainerOf(e)) size = container->GetNaturalSize();
      if (AItem.Kind == tkLineElement)
        size.Height = std::max<int32_t>(size.Height, canvas->TextExtent(ckElement, u"0").cy);
      AItem.Width = size.Width;
      AItem.Height = size.Height;
      // A text answers where its first row's baseline lies; other elements stand on their bottom.
      e->Perform(nmAskBaseline, reinterpret_cast<intptr_t>(&AItem.Baseline), 0);
      e->GetMargins(AItem.Margins);
      break;
    }
    case tkGap:
      AItem.Width = AItem.Value;
      break;
    case tkCharImage:
    case tkSmallImage:
    case tkLargeImage:
      if (TSchemeImages* images = ImagesOfKind(AItem.Kind)) {
        AItem.Width = images->Width();
        AItem.Height = images->Height();
      }
      AItem.Margins =
          theme.GetImage(tiCharImages + (static_cast<int>(AItem.Kind) - static_cast<int>(tkCharImage))).ScaledMargins;
      break;
    case tkLine:
      AItem.Height = canvas->GetThemeImageSize(teLine).cy;
      AItem.Margins = canvas->GetThemeMargins(teLine);
      break;
  }
  TRect& m = AItem.Margins;
  AItem.Shift = {std::min(m.Left, 0), std::min(m.Top, 0)};
  m = {std::abs(m.Left), std::abs(m.Top), std::abs(m.Right), std::abs(m.Bottom)};
}

void TCustomTitledElement::WriteTitleItems() {
  // Counted first, so that the items take one block of their number, and written over the last title: a document's
  // first layout writes every title twice.
  TTitleItem scratch;
  TTitleWriter counter(&scratch);
  WriteTitle(counter);
  if (FTitle)
    FTitle->Clear();
  else
    FTitle = std::make_unique<TTitleWriter>();
  FTitle->ReserveItems(counter.Count());
  WriteTitle(*FTitle);
  for (int i = 0; i < FTitle->Count(); ++i)
    if (auto* text = AsTextorElement(FTitle->Item(i).Element);
        text && text->HasTextorOptions(SizeBoundTextorOptions))
      FTitleFlags.Include(tlSizeDependent);
  for (TVisualElement* c = FirstVisualChild(); c; c = c->NextVisualSibling()) c->UpdateVisible();
}

void TCustomTitledElement::RelayoutTitle() {
  TSheet* sheet = Sheet();
  if (!sheet || IsDestroying() || !IsVisible() || (FTitleState & tsLayingOut)) return;
  TStateBit running(FTitleState, tsLayingOut);
  TSheetUpdate update(sheet);

  if (!(FTitleState & tsWritten)) WriteTitleItems();
  FTitleState &= ~tsWritten;
  TTitleWriter& items = *FTitle;

  TRect padding;
  GetPadding(padding);
  const int32_t spacingY = sheet->Canvas()->Theme().SpacingY();
  // Rows: horizontal places first, the widest row sets the width a container spans to.
  int32_t right = padding.Left;
  int32_t y = padding.Top;
  int rows = items.Count() > 0 ? 1 : 0;
  for (int i = 0; i + 1 < items.Count(); ++i)
    if (items.Item(i).LineBreakAfter) ++rows;
  items.ReserveRows(rows);
  int first = 0;
  while (first < items.Count()) {
    int last = first;
    while (last < items.Count() - 1 && !items.Item(last).LineBreakAfter) ++last;
    int32_t x = padding.Left;
    int32_t height = 0, baseline = 0;
    for (int i = first; i <= last; ++i) {
      TTitleItem& item = items.Item(i);
      MeasureItem(item);
      if (i > first) x += std::max(items.Item(i - 1).Margins.Right, item.Margins.Left);
      item.Bounds.Left = x;
      x += item.Width;
      height = std::max(height, item.Height);
      baseline = std::max(baseline, BaselineOf(item));
    }
    right = std::max(right, x);
    if (items.RowCount()) y += spacingY;
    items.AddRow() = {first, last, y, height, baseline};
    y += height;
    first = last + 1;
  }
  TVisualSize minimum;
  GetMinimumSize(minimum);
  const int32_t width = std::max(right + padding.Right, minimum.Width);
  const int32_t height = std::max(y + padding.Bottom, minimum.Height);

  for (int r = 0; r < items.RowCount(); ++r) {
    const int32_t top = items.Row(r).Top;
    const int32_t rowHeight = items.Row(r).Height;
    for (int i = items.Row(r).First; i <= items.Row(r).Last; ++i) {
      TTitleItem& item = items.Item(i);
      int32_t itemTop = top + (rowHeight - item.Height) / 2;
      int32_t itemWidth = item.Width;
      int32_t itemHeight = item.Height;
      switch (item.Kind) {
        case tkLineElement:
        case tkElement:
          itemHeight = item.Element->Height();
          itemTop = item.Alignment == taTop      ? top
                    : item.Alignment == taBottom ? top + rowHeight - itemHeight
                                                 : top + (rowHeight - itemHeight) / 2;
          break;
        case tkContainer:
        case tkLine:
          itemTop = top;
          itemWidth = std::max(item.Width, width - padding.Right - item.Bounds.Left);
          break;
        default:
          break;
      }
      const int32_t itemLeft = item.Bounds.Left + item.Shift.X;
      itemTop += item.Shift.Y;
      item.Bounds = {itemLeft, itemTop, itemLeft + itemWidth, itemTop + itemHeight};
      if (item.Kind == tkContainer) {
        if (ITitleContainer* container = TitleContainerOf(item.Element))
          container->SetTitleBounds(item.Bounds);
        else
          item.Element->SetBounds(item.Bounds.Left, itemTop, itemWidth, itemHeight, item.Element->Descent());
      } else if (item.Element) {
        item.Element->SetBounds(item.Bounds.Left, itemTop, item.Element->Width(), itemHeight, item.Element->Descent());
      }
    }
  }
  SetBounds(Left(), Top(), width, height, Descent());
  Invalidate();
}

void TCustomTitledElement::TitleChanged(TVisualElement* ASender) { RelayoutTitle(); }

bool TCustomTitledElement::IsChildShown(TVisualElement* AChild) {
  if (FTitle && FTitle->Contains(AChild)) return true;
  return AChild->HasVisualOptions(voShownOnDemand) && AChild->HasVisualState(vsBeingFocused);
}

void TCustomTitledElement::ChildBoundsChanged(TVisualElement* AChild, const TRect& AOldRect, int32_t AOldDescent) {
  TCustomDescribedElement::ChildBoundsChanged(AChild, AOldRect, AOldDescent);
  if (IsDestroying() || !AChild->IsVisible()) return;
  if (AOldRect.Right - AOldRect.Left != AChild->Width() || AOldRect.Bottom - AOldRect.Top != AChild->Height())
    RelayoutTitle();
}

void TCustomTitledElement::ChildVisibleChanged(TVisualElement* AChild) {
  TCustomDescribedElement::ChildVisibleChanged(AChild);
  RelayoutTitle();
}

void TCustomTitledElement::VisibleChanged() {
  TCustomDescribedElement::VisibleChanged();
  RelayoutTitle();
}

void TCustomTitledElement::UpdateControllingButtons(TVisualElement* AChild) {
  for (TVisualElement* c = FirstVisualChild(); c; c = c->NextVisualSibling())
    if (auto* button = AsExpandButton(c); button && button->Controls(AChild)) button->UpdateState();
}

bool TCustomTitledElement::VisualChildNotify(TVisualElement* AChild, int ACode, intptr_t AParam1, intptr_t AParam2) {
  switch (ACode) {
    case nmHasValueChanged:
    case nmBaselineChanged:
      RelayoutTitle();
      break;
    case nmEmptyChanged:
      UpdateControllingButtons(AChild);
      break;
    case nmPartChanged:
      TitleChanged(AChild);
      break;
    default:
      break;
  }
  return TCustomDescribedElement::VisualChildNotify(AChild, ACode, AParam1, AParam2);
}

void TCustomTitledElement::FocusChanged() {
  TCustomDescribedElement::FocusChanged();
  Invalidate();
}

uint8_t TCustomTitledElement::GetCaret(TRect& ARect) {
  GetClientRect(ARect);
  return ckButtonFrame;
}

void TCustomTitledElement::GetAvailableSize(TVisualElement* AChild, TVisualSize& ASize) {
  TCustomDescribedElement::GetAvailableSize(AChild, ASize);
  if (!AChild) return;
  TRect padding, margins;
  GetPadding(padding);
  AChild->GetMargins(margins);
  const auto less = [](int32_t AValue, int32_t ATaken) { return AValue == INT32_MAX ? AValue : AValue - ATaken; };
  ASize.Width = less(ASize.Width, std::max(padding.Left, margins.Left) + std::max(padding.Right, margins.Right));
  ASize.Height = less(ASize.Height, std::max(padding.Top, margins.Top) + std::max(padding.Bottom, margins.Bottom));
}

void TCustomTitledElement::RevealChild(TVisualElement* AChild) {
  for (TVisualElement* c = FirstVisualChild(); c; c = c->NextVisualSibling())
    if (auto* button = dynamic_cast<TExpandButton*>(c); button && !button->Expanded() && button->Controls(AChild))
      button->SetExpandedUndoable(true);
}

void TCustomTitledElement::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  PaintFrame(ACanvas, GetSizeRect());
  if (!FTitle) return;
  for (int i = 0; i < FTitle->Count(); ++i) {
    const TTitleItem& item = FTitle->Item(i);
    switch (item.Kind) {
      case tkText:
        ACanvas->ElementTextOut(item.Bounds.Left, item.Bounds.Top, item.Text);
        break;
      case tkCharImage:
      case tkSmallImage:
      case tkLargeImage:
        if (TSchemeImages* images = ImagesOfKind(item.Kind))
          ACanvas->DrawImage(*images, item.Value, item.Bounds.Left, item.Bounds.Top);
        break;
      case tkLine:
        ACanvas->DrawThemeElement(teLine, item.Bounds);
        break;
      default:
        break;
    }
  }
}

void TCustomTitledElement::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                           bool AHeightChanged) {
  {
    // The children resize one by one; the title is laid out once, after them.
    TStateBit children(FTitleState, tsLayingOut);
    // The parts the title places are shown before they reach the sheet, so that a text lays out once there and
    // not again when it is shown.
    if (!FTitle && Sheet() && IsVisible() && !IsDestroying()) {
      WriteTitleItems();
      FTitleState |= tsWritten;
    }
    TCustomDescribedElement::SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
  }
  if (ASheetChanged || ASettingsChanged || ((AWidthChanged || AHeightChanged) && FTitleFlags.Contains(tlSizeDependent)))
    RelayoutTitle();
  FTitleState &= ~tsWritten;
}

void TCustomTitledElement::UpdateChildrenVisible() {
  TSheetUpdate update(Sheet());
  TCustomDescribedElement::UpdateChildrenVisible();
  RelayoutTitle();
}

// ---------------------------------------------------------------------------------------------------------------
// Titled element

const TElementClassInfo TTitledElement::ClassInfo{u"TTitledElement", &TCustomTitledElement::ClassInfo, nullptr};

void TTitledElement::CreateExpandButton(bool AExpanded) {
  if (FExpandButton) return;
  FExpandButton = TExpandButton::CreateAt(this, nullptr, this, FirstVisualChild(), AExpanded);
  FExpandButton->SetOptions(FExpandButton->Options() | eoInlinePart);
}

bool TTitledElement::IsExpanded() const { return !FExpandButton || FExpandButton->Expanded(); }

void TTitledElement::SetStoredSize(int32_t AWidth, int32_t AHeight) {
  if (AWidth == FStoredWidth && AHeight == FStoredHeight) return;
  FStoredWidth = AWidth;
  FStoredHeight = AHeight;
  if (IsExpanded()) RelayoutTitle();
}

int TTitledElement::GetThemeElement() {
  if (TitleFlags().Contains(tlCommand)) return teElementCommand;
  if (TitleFlags().Contains(tlTechnical)) return teElementTechnical;
  if (TitleFlags().Contains(tlExpression)) return teElementExpression;
  return teElement;
}

void TTitledElement::WriteTitle(TTitleWriter& AWriter) {
  if (FExpandButton) AWriter.AddElement(FExpandButton, taCenter);
}

void TTitledElement::TitleChanged(TVisualElement* ASender) {
  TCustomTitledElement::TitleChanged(ASender);
  if (ASender && ASender == FExpandButton) AvailabilityChanged();
}

void TTitledElement::GetMinimumSize(TVisualSize& ASize) {
  ASize = TVisualSize();
  if (TSheet* sheet = Sheet()) {
    const SIZE size = sheet->Canvas()->GetThemeImageSize(GetThemeElement());
    ASize = {size.cx, size.cy};
  }
  if (IsExpanded()) {
    ASize.Width = std::max(ASize.Width, FStoredWidth);
    ASize.Height = std::max(ASize.Height, FStoredHeight);
  }
}

void TTitledElement::PaintFrame(TSheetCanvas* ACanvas, const TRect& ARect) {
  ACanvas->DrawThemeElement(GetThemeElement(), ARect);
}

void TTitledElement::GetPadding(TRect& ARect) {
  ARect = Sheet() ? Sheet()->Canvas()->GetThemePadding(GetThemeElement()) : TRect();
}

bool TTitledElement::ExecutePaletteItem(TVisualElement* ATarget, TPaletteItem* AItem, intptr_t AValue) {
  if (!AItem || AItem != PaletteCollapsedItem || !FExpandButton)
    return TCustomTitledElement::ExecutePaletteItem(ATarget, AItem, AValue);
  const bool expand = AValue == 0;
  // The same state again would leave an undo step that changes nothing.
  if (expand != FExpandButton->Expanded()) FExpandButton->SetExpandedUndoable(expand);
  return true;
}

void TTitledElement::GetPaletteItems(TPaletteList& AList) {
  TCustomTitledElement::GetPaletteItems(AList);
  if (FExpandButton && PaletteCollapsedItem) AddWithGroup(AList, PaletteCollapsedItem);
}

void TTitledElement::GetPaletteItemState(TPaletteItem* AItem, TPaletteItemState& AState) {
  TCustomTitledElement::GetPaletteItemState(AItem, AState);
  if (AItem && AItem == PaletteCollapsedItem) AState.Ticked = !IsExpanded();
}

bool TTitledElement::Activate() {
  for (TVisualElement* c = GetNextChild(nullptr, true); c; c = GetNextChild(c, true)) {
    if (c == FExpandButton) continue;
    TVisualElement* found = nullptr;
    if (c->FindFocusable(true, found, false, true)) return found->Activate();
  }
  return false;
}

void TTitledElement::GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) {
  if (APart && APart == FExpandButton)
    AName = u"Expanded";
  else
    TCustomTitledElement::GetPartNodeName(APart, AFiler, AName);
}

void TTitledElement::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TCustomTitledElement::LoadFromKnot(ALoader, AKnot);
  if (HasVisualOptions(voStoresPosition) && !ALoader->HasFlags(ffNoPositions))
    SetStoredSize(AKnot->ReadInteger(u"Width", 0, 0, INT_MAX), AKnot->ReadInteger(u"Height", 0, 0, INT_MAX));
}

void TTitledElement::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TCustomTitledElement::SaveToKnot(ASaver, AKnot);
  if (!HasVisualOptions(voStoresPosition) || ASaver->HasFlags(ffNoPositions)) return;
  if (FStoredWidth) AKnot->WriteInteger(u"Width", FStoredWidth);
  if (FStoredHeight) AKnot->WriteInteger(u"Height", FStoredHeight);
}

// ---------------------------------------------------------------------------------------------------------------
// Title text container

const TElementClassInfo TTitledTextContainer::ClassInfo{u"TTitledTextContainer", &TTextorElement::ClassInfo,
                                                        &ElementFactory<TTitledTextContainer>};

TTitledTextContainer::TTitledTextContainer(TScheme* AScheme) : TTextorElement(AScheme) {
  SetTextOptions(AnyTextOptions | toTabs | toLineBreaks);
  SetTextorOptions(TextorOptions() | xoRich | xoFormatCommands | xoLinks);
}

void TTitledTextContainer::SetTitleBounds(const TRect& ARect) {
  SetBounds(ARect.Left, ARect.Top, ARect.Right - ARect.Left, ARect.Bottom - ARect.Top, FBottomOffset);
}

void TTitledTextContainer::UpdateSize() {
  auto* titled = AsElementOfClass<TCustomTitledElement>(VisualParent());
  if (!titled) {
    TTextorElement::UpdateSize();
    return;
  }
  TSchemeTextor* textor = Textor();
  if (!Sheet() || !IsVisible() || textor->FormatLock() > 0 || textor->LayoutPending()) return;
  TTextWidthLimits limits;
  GetMinimumLimits(limits);
  TRect padding;
  GetPadding(padding);
  const int32_t width = std::max(textor->GetWidth() + padding.Left + padding.Right, limits.MinWidth);
  const int32_t height = std::max(textor->GetHeight() + padding.Top + padding.Bottom, limits.MinHeight);
  TRow* last = textor->LastParagraph() ? textor->LastParagraph()->LastRow() : nullptr;
  FBottomOffset = padding.Bottom + (last ? last->Descent : 0);
  if (width == FNaturalSize.Width && height == FNaturalSize.Height) return;
  FNaturalSize = {width, height};
  titled->RelayoutTitle();
}

void TTitledTextContainer::GetMargins(TRect& ARect) {
  ARect = Sheet() ? Sheet()->Canvas()->GetThemeMargins(teContainer) : TRect();
}

// ---------------------------------------------------------------------------------------------------------------
// Titled element with content

const TElementClassInfo TTitledElementWithContent::ClassInfo{u"TTitledElementWithContent", &TTitledElement::ClassInfo,
                                                             nullptr};

TTitledElementWithContent::TTitledElementWithContent(TScheme* AScheme, TElementClass ADescriptionClass,
                                                     TElementClass AContentClass)
    : TTitledElement(AScheme, ADescriptionClass) {
  CreateExpandButton(true);
  FContent = CreatePartAt(AContentClass, this, nullptr, this, nullptr);
  ExpandButton()->AddControlled(FContent);
}

void TTitledElementWithContent::WriteContent(TTitleWriter& AWriter) {
  if (!FContent || !IsExpanded()) return;
  AWriter.NewLine();
  AWriter.AddGap(ContentGap);
  AWriter.AddContainer(FContent);
}

void TTitledElementWithContent::WriteTitle(TTitleWriter& AWriter) {
  TTitledElement::WriteTitle(AWriter);
  WriteContent(AWriter);
}

bool TTitledElementWithContent::Activate() {
  if (FContent && FContent->HasVisualOptions(voFocusable) && FContent->IsVisible()) return FContent->Activate();
  return TTitledElement::Activate();
}

void TTitledElementWithContent::GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) {
  if (APart && APart == FContent)
    AName = u"Content";
  else
    TTitledElement::GetPartNodeName(APart, AFiler, AName);
}

// ---------------------------------------------------------------------------------------------------------------
// Palette

void TCollapsedPaletteItem::Execute(IPaletteTarget* AElement, intptr_t AValue) {
  AElement->PlayPaletteSound(AValue ? ExpandButtonCollapseSound : ExpandButtonExpandSound);
  AElement->RunPaletteItem(this, AValue);
}

void TCollapsedPaletteItem::ExecuteFor(const TPaletteTargetList& AList, intptr_t AValue) {
  if (AList.empty()) return;
  AList.front()->PlayPaletteSound(AValue ? ExpandButtonCollapseSound : ExpandButtonExpandSound);
  for (IPaletteTarget* element : AList) {
    TPaletteItemState state;
    element->QueryPaletteItemState(this, state);
    if (state.Accepted) element->RunPaletteItem(this, AValue);
  }
}

void InitializeTitled() {
  TitledLargeImagesIndex = SchemeLargeImages ? SchemeLargeImages->AddFromResource(u"diTitledLargeImages") : -1;
  PaletteDescriptionItem =
      new TSchemePaletteItem(PaletteActionsGroup, 30, IdPaletteDescription, IdPaletteDescriptionHint,
                             TitledLargeImagesIndex + 1, pfSingleChild | pfNeedsWritable | pfLargeImage);
  PaletteDescriptionItem->SetKeyText(u"M");
  PaletteCollapsedItem = new TCollapsedPaletteItem(PaletteStateGroup, 20, IdPaletteCollapsed, IdPaletteCollapsedHint,
                                                   TitledLargeImagesIndex, pfLargeImage | pfToggleButton);
  PaletteCollapsedItem->SetKeyText(u"E");
}

void FinalizeTitled() {
  if (PaletteDescriptionItem) PaletteDescriptionItem->Free();
  if (PaletteCollapsedItem) PaletteCollapsedItem->Free();
  PaletteDescriptionItem = nullptr;
  PaletteCollapsedItem = nullptr;
  TitledLargeImagesIndex = -1;
}
