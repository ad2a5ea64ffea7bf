#include "document/model/diDropDown.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include "document/model/diCanvas.h"
#include "document/model/diSchemeImages.h"
#include "document/model/diSchemeImagesWin.h"
#include "foundation/cuWin32.h"
#include "graphics/pixels/pxBitmap.h"
#endif

// ---------------------------------------------------------------------------------------------------------------
// Rows

TDropDownItem::TDropDownItem(TDropDownList* AOwnerList, TDropDownItem* AParent) : FOwnerList(AOwnerList) {
  if (AParent) SetParent(AParent);
}

TDropDownItem::~TDropDownItem() {
  if (FOwnerList) FOwnerList->ItemDestroying(this);
}

void TDropDownItem::SetExpanded(bool AValue) {
  if (FExpanded == AValue) return;
  FExpanded = AValue;
  if (FOwnerList) FOwnerList->ItemExpanded(this);
}

int TDropDownItem::GetRowWidth() const {
  IDropDownHost* host = FOwnerList ? FOwnerList->Host() : nullptr;
  const int text = host ? host->MeasureDropDownText(ShownText()).Width : 0;
  const int image = FImageIndex >= 0 ? DropDownImageSize + DropDownImageGap : 0;
  return GetIndent() + DropDownGlyphColumn + text + DropDownTextEnd + image;
}

// ---------------------------------------------------------------------------------------------------------------
// List

TDropDownList::TDropDownList(IDropDownHost* AHost, TApplyEvent AOnApply)
    : FHost(AHost), FOnApply(std::move(AOnApply)), FRootItem(new TDropDownItem(this, nullptr)) {
  FRootItem->SetExpanded(true);
}

TDropDownList::~TDropDownList() {
  FOpen = false;
  FSelected = nullptr;
  FRootItem.reset();
}

void TDropDownList::ItemDestroying(TDropDownItem* AItem) {
  if (FSelected == AItem) FSelected = nullptr;
}

void TDropDownList::Changed() {
  if (FOpen && FChangeLock == 0 && FHost) FHost->DropDownChanged(this);
}

void TDropDownList::EndChange() {
  if (--FChangeLock == 0) Changed();
}

void TDropDownList::ItemExpanded(TDropDownItem* AItem) {
  // The collapses of the siblings come back here; the outermost call measures and signals for all of them.
  if (FExpandNesting > 0) return;
  ++FExpandNesting;
  BeginChange();
  if (AItem->Expanded() && AItem->Parent()) {
    for (TNode* n = AItem->Parent()->FirstChild(); n; n = n->NextSibling())
      if (n != AItem) static_cast<TDropDownItem*>(n)->SetExpanded(false);
  }
  UpdateListWidth();
  --FExpandNesting;
  EndChange();
}

void TDropDownList::GetVisibleRows(std::vector<TDropDownItem*>& AList) const {
  // Depth first without recursion: a row's sub-rows are visited before its next sibling.
  TDropDownItem* item = FRootItem->FirstItem();
  while (item) {
    AList.push_back(item);
    if (item->Expanded() && item->HasSubItems()) {
      item = item->FirstItem();
      continue;
    }
    while (item && !item->NextItem()) {
      item = item->ParentItem();
      if (item == FRootItem.get()) item = nullptr;
    }
    if (item) item = item->NextItem();
  }
}

void TDropDownList::UpdateListWidth() {
  std::vector<TDropDownItem*> rows;
  GetVisibleRows(rows);
  int width = 0;
  for (TDropDownItem* row : rows) width = std::max(width, row->GetRowWidth());
  SetListWidth(width);
}

void TDropDownList::SetSelected(TDropDownItem* AItem) {
  if (FSelected == AItem) return;
  BeginChange();
  if (AItem)
    for (TDropDownItem* a = AItem->ParentItem(); a; a = a->ParentItem()) a->SetExpanded(true);
  FSelected = AItem;
  EndChange();
}

void TDropDownList::SetRowHeight(int AValue) {
  FRowHeight = AValue;
  Changed();
}

void TDropDownList::SetBounds(const TRect& AValue) {
  FBounds = AValue;
  Changed();
}

void TDropDownList::SetListWidth(int AValue) {
  FListWidth = AValue;
  Changed();
}

int TDropDownList::MeasureRowHeight() const {
  const int text = FHost ? FHost->MeasureDropDownText(u"0").Height : 0;
  return std::max(DropDownImageSize, text + 6);
}

void TDropDownList::SetOpen(bool AValue) {
  // Measured while still closed: the host learns of the opening itself, not through a change.
  if (AValue && !FOpen) UpdateListWidth();
  FOpen = AValue;
}

TDropDownEnter TDropDownList::EnterAction() const {
  if (!FSelected) return TDropDownEnter::deClose;
  return FSelected->Selectable() ? TDropDownEnter::deApply : TDropDownEnter::deStayOpen;
}

bool TDropDownList::ToggleSelected() {
  if (!FSelected || !FSelected->HasSubItems()) return false;
  FSelected->SetExpanded(!FSelected->Expanded());
  return true;
}

bool TDropDownList::Apply() {
  if (!FSelected) return false;
  if (FOnApply) FOnApply(this);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Painting

#ifdef _WIN32

namespace {

// The pictures of the expand glyph in the engine's 12-pixel strip, after element, Disabled and Other.
constexpr int CollapsedCharImage = 3;
constexpr int ExpandedCharImage = 4;
constexpr TColor32 GreyText = 0xFF808080;

TColor32 SystemColor(int AIndex) { return Color32(GetSysColor(AIndex)); }

}  // namespace

TSchemeImages* TDropDownList::GreyedImages() {
  if (!SchemeCharImages) return nullptr;
  if (!FGreyedImages || FGreyedImages->Count() != SchemeCharImages->Count())
    FGreyedImages = SchemeCharImages->CreateGreyed();
  return FGreyedImages.get();
}

void TDropDownItem::PaintImage(TCustomSheetCanvas& ACanvas, const TRect& ARect, int& AX) {
  if (FImageIndex < 0) return;
  TSchemeImages* images = FEnabled ? SchemeCharImages.get() : FOwnerList->GreyedImages();
  const int y = ARect.Top + (static_cast<int>(ARect.Height()) - DropDownImageSize) / 2;
  if (images && FImageIndex < images->Count()) ACanvas.DrawImage(*images, FImageIndex, AX, y);
  AX += DropDownImageSize + DropDownImageGap;
}

void TDropDownItem::PaintRow(TCustomSheetCanvas& ACanvas, const TRect& ARect, bool ASelected) {
  const TColor32 window = SystemColor(COLOR_WINDOW), highlight = SystemColor(COLOR_HIGHLIGHT);
  const TColor32 rowColor = ASelected && FSelectable ? highlight : window;
  int x = ARect.Left + GetIndent();
  const int glyphEnd = x + DropDownGlyphColumn;
  if (HasSubItems()) {
    // The glyph column shows the selection even on a row that cannot be chosen: its branch can still be toggled.
    ACanvas.FillRect(TRect{ARect.Left, ARect.Top, glyphEnd, ARect.Bottom}, ASelected ? highlight : window);
    ACanvas.FillRect(TRect{glyphEnd, ARect.Top, ARect.Right, ARect.Bottom}, rowColor);
    if (SchemeCharImages) {
      const int glyph = ClassesCharImagesIndex + (FExpanded ? ExpandedCharImage : CollapsedCharImage);
      const int y = ARect.Top + (static_cast<int>(ARect.Height()) - DropDownImageSize) / 2;
      if (glyph < SchemeCharImages->Count())
        ACanvas.DrawImage(*SchemeCharImages, glyph, x + (DropDownGlyphColumn - DropDownImageSize) / 2, y);
    }
  } else {
    ACanvas.FillRect(ARect, rowColor);
  }
  x = glyphEnd;
  PaintImage(ACanvas, ARect, x);

  const std::u16string& text = ShownText();
  if (text.empty()) return;
  TColor32 color;
  if (ASelected && FSelectable)
    color = FEnabled ? SystemColor(COLOR_HIGHLIGHTTEXT) : GreyText;
  else
    color = FEnabled ? SystemColor(COLOR_WINDOWTEXT) : GreyText;
  const int height = ACanvas.TextExtent(ckCode, text).cy;
  HFONT font = ACanvas.Settings()->GetTextAttributes(tfCodeFont)->Font();
  ACanvas.DrawText(x, ARect.Top + (static_cast<int>(ARect.Height()) - height) / 2, text, font, color);
}

#endif
