#include "document/elements/diCustomElements.h"

#include "document/model/diCanvas.h"
#include "document/model/diSheet.h"
#include "foundation/cuWin32.h"

#include <memory>
#include <utility>

namespace {

enum : uint16_t { vkReturn = 13 };

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

void TCustomDropDownElement::KeyDown(uint16_t& AKey, TShiftState AShift) {
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
