#include "document/elements/diCustomElements.h"

#include "document/model/diCanvas.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSheet.h"
#include "foundation/cuKeys.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"

#include <algorithm>

#include <memory>
#include <utility>

namespace {

TElementBeeper& Beeper() {
  static TElementBeeper beeper = [] { MessageBeep(0); };
  return beeper;
}

}  // namespace

TElementBeeper SetElementBeeper(TElementBeeper ABeeper) { return std::exchange(Beeper(), std::move(ABeeper)); }

void ElementBeep() {
  if (Beeper()) Beeper()();
}

const TElementClassInfo TCustomDropDownElement::ClassInfo{u"TCustomDropDownElement", &TVisualElement::ClassInfo,
                                                          nullptr};

void TCustomDropDownElement::OpenDropDown() {
  TSheet* sheet = Sheet();
  if (!sheet) return;
  // The list may outlive the element (a focus change closes it, a repaint may not come first): the chosen row
  // finds the element again by its identifier.
  TScheme* scheme = Scheme();
  const int32_t id = ID();
  auto list = std::make_unique<TDropDownList>(sheet, [scheme, id](TDropDownList* ASender) {
    auto* e = dynamic_cast<TCustomDropDownElement*>(scheme ? scheme->FindByID(id) : nullptr);
    if (!e || !e->ApplyDropDownItem(ASender->Selected())) ElementBeep();
  });
  list->BeginChange();
  TDropDownItem* preselected = FillDropDown(list->RootItem());
  if (preselected) list->SetSelected(preselected);
  const TVisualPoint origin = ClientToSheet({0, 0});
  list->SetBounds({origin.X, origin.Y, origin.X + Width(), origin.Y + Height()});
  list->EndChange();
  sheet->OpenDropDown(std::move(list));
}

bool TCustomDropDownElement::Activate() {
  const bool result = TVisualElement::Activate();
  if (IsFocused() && Sheet()->Settings()->DropDownOnFocusNew->Value() && !HasVisualOptions(voNoDropDownOnActivation) &&
      HasDropDown())
    OpenDropDown();
  return result;
}

void TCustomDropDownElement::KeyDown(uint16_t& AKey, TShiftKeys AShift) {
  if (AKey == vkReturn && !AShift.Contains(skCtrl) && HasDropDown()) {
    OpenDropDown();
    AKey = 0;
  }
  TVisualElement::KeyDown(AKey, AShift);
}

void TCustomDropDownElement::KeyPress(char16_t& AChar) {
  if (AChar == u'\r' && HasDropDown()) {
    AChar = 0;
    return;
  }
  TVisualElement::KeyPress(AChar);
}

void TCustomDropDownElement::DblClick() {
  TVisualElement::DblClick();
  if (HasDropDown()) OpenDropDown();
}

// ---------------------------------------------------------------------------------------------------------------
// Small image

const TElementClassInfo TCustomSmallImageElement::ClassInfo{u"TCustomSmallImageElement", &TVisualElement::ClassInfo,
                                                            nullptr};

TCustomSmallImageElement::TCustomSmallImageElement(TScheme* AScheme) : TVisualElement(AScheme) {
  SetVisualOptions(VisualOptions() | voCanBeDisabled);
  const int size = SchemeSmallImages ? SchemeSmallImages->Width() : 16;
  SetBounds(Left(), Top(), size, SchemeSmallImages ? SchemeSmallImages->Height() : size, Descent());
}

void TCustomSmallImageElement::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  if (SchemeSmallImages) ACanvas->DrawImage(*SchemeSmallImages, GetImageIndex(), 0, 0);
}

int TCustomSmallImageElement::GetCursor(TVisualPoint APoint) {
  TVisualElement* parent = VisualParent();
  if (!parent) return TVisualElement::GetCursor(APoint);
  return parent->GetCursor({APoint.X + Left(), APoint.Y + Top()});
}

// ---------------------------------------------------------------------------------------------------------------
// Button

const TElementClassInfo TCustomButtonElement::ClassInfo{u"TCustomButtonElement", &TVisualElement::ClassInfo, nullptr};

TCustomButtonElement::TCustomButtonElement(TScheme* AScheme) : TVisualElement(AScheme) {
  SetVisualOptions(VisualOptions() | voClickFocus);
}

void TCustomButtonElement::KeyDown(uint16_t& AKey, TShiftKeys AShift) {
  if (AKey == vkReturn || AKey == vkSpace) {
    AKey = 0;
    Click();
    return;
  }
  TVisualElement::KeyDown(AKey, AShift);
}

void TCustomButtonElement::KeyPress(char16_t& AChar) {
  if (AChar == u'\r' || AChar == u' ') {
    AChar = 0;
    return;
  }
  TVisualElement::KeyPress(AChar);
}

void TCustomButtonElement::MouseClick() {
  TVisualElement::MouseClick();
  Click();
}

// ---------------------------------------------------------------------------------------------------------------
// Expand button

void InitializeExpandButtonCursor() { LoadResourceCursor(crExpandButton, L"diExpandButtonCursor"); }

const TElementClassInfo TExpandButton::ClassInfo{u"TExpandButton", &TCustomButtonElement::ClassInfo,
                                                 &ElementFactory<TExpandButton>};

TExpandButton::TExpandButton(TScheme* AScheme) : TCustomButtonElement(AScheme) {
  SetClassMark(cmExpandButton, true);
  SetVisualOptions(VisualOptions() | voFocusable);
}

TExpandButton::~TExpandButton() { SetClassMark(cmExpandButton, false); }

TExpandButton* TExpandButton::CreateAt(TElement* AParent, TElement* ABefore, TVisualElement* AVisualParent,
                                       TVisualElement* AVisualBefore, bool AExpanded) {
  auto* button = static_cast<TExpandButton*>(CreatePartAt(&ClassInfo, AParent, ABefore, AVisualParent, AVisualBefore));
  button->FExpandedByDefault = AExpanded;
  button->FExpanded = AExpanded;
  return button;
}

void TExpandButton::AddControlled(TElement* AElement) {
  if (!Controls(AElement)) FControlled.push_back(AElement);
  UpdateState();
}

void TExpandButton::RemoveControlled(TElement* AElement) {
  std::erase(FControlled, AElement);
  if (!IsDestroying()) UpdateState();
}

bool TExpandButton::Controls(const TElement* AElement) const {
  return std::find(FControlled.begin(), FControlled.end(), AElement) != FControlled.end();
}

void TExpandButton::SetExpanded(bool AValue) {
  if (AValue == FExpanded) return;
  FExpanded = AValue;
  Perform(nmPartChanged, 0, 0);
  Invalidate();
}

void TExpandButton::SetExpandedUndoable(bool AValue) {
  auto* op = new TExpandButtonOperation(this);
  op->NewExpanded = AValue;
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(op));
}

void TExpandButton::UpdateSize() {
  TSheet* sheet = Sheet();
  if (!sheet || !IsVisible()) return;
  const SIZE size = sheet->Canvas()->GetThemeImageSize(teCollapsed);
  if (size.cx != Width() || size.cy != Height()) SetBounds(Left(), Top(), size.cx, size.cy, Descent());
}

int TExpandButton::GetThemeElement() const {
  const bool content = !IsEmpty();
  if (FExpanded) return content ? teExpandedData : teExpanded;
  return content ? teCollapsedData : teCollapsed;
}

void TExpandButton::Click() {
  if (TSheet* sheet = Sheet()) sheet->PlaySound(FExpanded ? ExpandButtonCollapseSound : ExpandButtonExpandSound);
  SetExpandedUndoable(!FExpanded);
}

bool TExpandButton::CalcIsEmpty() {
  for (TElement* e : FControlled)
    if (!e->IsDestroying() && e->HasOptions(eoValue) && !e->IsEmpty()) return false;
  return true;
}

void TExpandButton::EmptyChanged() {
  TCustomButtonElement::EmptyChanged();
  Invalidate();
}

void TExpandButton::FocusChanged() {
  TCustomButtonElement::FocusChanged();
  Invalidate();
}

uint8_t TExpandButton::GetCaret(TRect& ARect) {
  GetClientRect(ARect);
  return ckButtonFrame;
}

void TExpandButton::GetHint(std::u16string& AText) {
  AText = FormatLocStrOr(IdExpandButtonHint, u"Collapse/Expand", {});
}

void TExpandButton::GetMargins(TRect& ARect) {
  ARect = Sheet() ? Sheet()->Canvas()->GetThemeMargins(teCollapsed) : TRect();
}

int TExpandButton::GetCursor(TVisualPoint APoint) { return crExpandButton; }

void TExpandButton::VisibleChanged() {
  TCustomButtonElement::VisibleChanged();
  UpdateSize();
}

void TExpandButton::SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged,
                                    bool AHeightChanged) {
  TCustomButtonElement::SettingsChanged(ASheetChanged, ASettingsChanged, AWidthChanged, AHeightChanged);
  if (ASheetChanged || ASettingsChanged) UpdateSize();
}

void TExpandButton::Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) {
  ACanvas->DrawThemeIcon(GetThemeElement(), 0, 0);
}

void TExpandButton::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TCustomButtonElement::LoadFromKnot(ALoader, AKnot);
  if (ALoader->HasFlags(ffNoPositions)) return;
  std::u16string& name = ALoader->NameBuffer();
  name = u"Value";
  if (IsStoredInline(ALoader)) GetStorageNodeName(ALoader, name);
  SetExpanded(AKnot->ReadBool(name, FExpandedByDefault));
}

void TExpandButton::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TCustomButtonElement::SaveToKnot(ASaver, AKnot);
  if (ASaver->HasFlags(ffNoPositions) || FExpanded == FExpandedByDefault) return;
  std::u16string name = u"Value";
  if (IsStoredInline(ASaver)) GetStorageNodeName(ASaver, name);
  AKnot->WriteBool(name, FExpanded);
}

bool TExpandButton::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  // A controlled element going away must not be asked for its emptiness afterwards.
  if (AMsg == nmDestroying) FControlled.clear();
  return TCustomButtonElement::HandleMessage(AMsg, AParam1, AParam2);
}

int TExpandButtonOperation::GetFlags() const { return TElementOperation::GetFlags() & ~ofChangesDocument; }

void TExpandButtonOperation::DoElement(TElement* AElement) {
  TElementOperation::DoElement(AElement);
  auto* button = static_cast<TExpandButton*>(AElement);
  OldExpanded = button->Expanded();
  button->SetExpanded(NewExpanded);
  button->RequestScrollToCaret();
}

void TExpandButtonOperation::UndoElement(TElement* AElement) {
  TElementOperation::UndoElement(AElement);
  auto* button = static_cast<TExpandButton*>(AElement);
  button->SetExpanded(OldExpanded);
  button->RequestScrollToCaret();
}
