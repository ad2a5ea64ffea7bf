#include "document/elements/diCustomElements.h"

#include "document/model/diCanvas.h"
#include "document/model/diDropDown.h"
#include "document/model/diSheet.h"

#include <windows.h>

namespace {
enum : uint16_t { vkReturn = 13 };
}  // namespace

const TElementClassInfo TCustomDropDownElement::ClassInfo{u"TCustomDropDownElement", &TVisualElement::ClassInfo,
                                                          nullptr};

void TCustomDropDownElement::OpenDropDown() {
  TSheet* sheet = Sheet();
  if (!sheet) return;
  auto list = std::make_unique<TDropDownList>(sheet, [this](TDropDownList* AList) {
    if (!ApplyDropDownItem(AList->Selected())) MessageBeep(MB_OK);
  });
  list->BeginChange();
  TDropDownItem* selected = FillDropDown(list->RootItem());
  if (selected) list->SetSelected(selected);
  const TVisualPoint origin = ClientToSheet({0, 0});
  list->SetBounds({origin.X, origin.Y, origin.X + Width(), origin.Y + Height()});
  list->EndChange();
  sheet->OpenDropDown(std::move(list));
}

bool TCustomDropDownElement::Activate() {
  const bool result = TVisualElement::Activate();
  TSheet* sheet = Sheet();
  if (IsFocused() && sheet && sheet->Settings() && sheet->Settings()->DropDownOnFocusNew->Value() &&
      !HasVisualOptions(voNoDropDownOnActivation) && HasDropDown())
    OpenDropDown();
  return result;
}

void TCustomDropDownElement::KeyDown(uint16_t& AKey, TShiftState AShift) {
  if (AKey == vkReturn && !AShift.Contains(skCtrl) && HasDropDown()) {
    OpenDropDown();
    AKey = 0;
    return;
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
