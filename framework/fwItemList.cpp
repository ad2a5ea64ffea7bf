#include "framework/fwItemList.h"

#include <algorithm>

TOwnerDrawState OwnerDrawState(UINT AItemState) {
  TOwnerDrawState state;
  if (AItemState & ODS_SELECTED) state |= odSelected;
  if (AItemState & ODS_FOCUS) state |= odFocused;
  if (AItemState & ODS_DISABLED) state |= odDisabled;
  if (AItemState & ODS_COMBOBOXEDIT) state |= odComboBoxEdit;
  return state;
}

int TItemList::Add(std::u16string AText, TObject* AObject) {
  Insert(Count(), std::move(AText), AObject);
  return Count() - 1;
}

void TItemList::Insert(int AIndex, std::u16string AText, TObject* AObject) {
  if (AIndex < 0 || AIndex > Count()) throw EProgrammingError(Format(u"Item index out of range (%d)", {AIndex}));
  FItems.insert(FItems.begin() + AIndex, TItem{std::move(AText), AObject});
  FHost.ItemInserted(AIndex);
}

void TItemList::Delete(int AIndex) {
  Item(AIndex);  // range check
  FItems.erase(FItems.begin() + AIndex);
  FHost.ItemDeleted(AIndex);
}

void TItemList::Clear() {
  FItems.clear();
  FHost.ItemsCleared();
}

int TItemList::IndexOf(std::u16string_view AText) const {
  auto it = std::find_if(FItems.begin(), FItems.end(), [&](const TItem& i) { return i.Text == AText; });
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

int TItemList::IndexOfObject(const TObject* AObject) const {
  auto it = std::find_if(FItems.begin(), FItems.end(), [&](const TItem& i) { return i.Object == AObject; });
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TItemList::SetText(std::u16string_view AText) {
  TStringList lines;
  lines.SetText(AText);
  BeginUpdate();
  try {
    Clear();
    for (int i = 0; i < lines.Count(); ++i) Add(lines[i]);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TItemList::BeginUpdate() {
  if (FUpdateCount++ == 0) FHost.ItemsUpdating(true);
}

void TItemList::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) FHost.ItemsUpdating(false);
}

TItemList::TItem& TItemList::Item(int AIndex) {
  if (AIndex < 0 || AIndex >= Count()) throw EProgrammingError(Format(u"Item index out of range (%d)", {AIndex}));
  return FItems[static_cast<size_t>(AIndex)];
}

const TItemList::TItem& TItemList::Item(int AIndex) const { return const_cast<TItemList*>(this)->Item(AIndex); }

void MirrorItemInserted(HWND AWindow, const TListWindowMessages& AMessages, const std::u16string& AText, int AIndex,
                        int& AChosen) {
  if (AWindow)
    SendMessageW(AWindow, AMessages.InsertString, static_cast<WPARAM>(AIndex), reinterpret_cast<LPARAM>(WStr(AText)));
  else if (AChosen >= AIndex)
    ++AChosen;
}

void MirrorItemDeleted(HWND AWindow, const TListWindowMessages& AMessages, int AIndex, int& AChosen) {
  if (AWindow)
    SendMessageW(AWindow, AMessages.DeleteString, static_cast<WPARAM>(AIndex), 0);
  else if (AChosen == AIndex)
    AChosen = -1;
  else if (AChosen > AIndex)
    --AChosen;
}

int MirroredItemIndex(HWND AWindow, const TListWindowMessages& AMessages, int AChosen) {
  if (!AWindow) return AChosen;
  // LB_ERR and CB_ERR are both -1, the answer for no choice.
  const LRESULT index = SendMessageW(AWindow, AMessages.GetCurSel, 0, 0);
  return index < 0 ? -1 : static_cast<int>(index);
}

void SetMirroredItemIndex(HWND AWindow, const TListWindowMessages& AMessages, int ACount, int AValue, int& AChosen) {
  if (AValue < -1 || AValue >= ACount) throw EProgrammingError(Format(u"Item index out of range (%d)", {AValue}));
  AChosen = AValue;
  if (AWindow) SendMessageW(AWindow, AMessages.SetCurSel, static_cast<WPARAM>(AValue), 0);
}

void PaintOwnerDrawnRow(TControlCanvas& ACanvas, const DRAWITEMSTRUCT& AItem,
                        const std::function<void(int AIndex, TOwnerDrawState AState)>& APaintRow) {
  const TOwnerDrawState state = OwnerDrawState(AItem.itemState);
  ACanvas.PaintOn(AItem.hDC, [&] {
    ACanvas.Brush().SetStyle(TBrushStyle::bsSolid);
    if (state.Contains(odSelected)) {
      ACanvas.Brush().SetColor(clHighlight);
      ACanvas.Font().SetColor(clHighlightText);
    }
    APaintRow(static_cast<int>(AItem.itemID), state);
    if (state.Contains(odFocused)) DrawFocusRect(AItem.hDC, &AItem.rcItem);
  });
}
