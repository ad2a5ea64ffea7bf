// Bases of element kinds: the element with a drop-down list of choices.
#pragma once

#include "document/model/diDropDown.h"
#include "document/model/diVisualElement.h"

#include <cstdint>
#include <functional>

// The system beep of a refused choice or an action with nothing to act on. Tests replace it to count beeps;
// SetElementBeeper returns the previous one, and an empty beeper is silent.
using TElementBeeper = std::function<void()>;
TElementBeeper SetElementBeeper(TElementBeeper ABeeper);
void ElementBeep();

// An element that offers a list of choices under itself: the list opens on Enter, on a double click and, with
// "DropDownOnFocusNew", when a new element is activated.
class TCustomDropDownElement : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TVisualElement::TVisualElement;

  // Takes the chosen row; false when it could not (the user hears a beep).
  virtual bool ApplyDropDownItem(TDropDownItem* AItem) { return false; }
  virtual bool HasDropDown() { return HasVisualOptions(voDropDown); }
  // Fills the list under ARoot and answers the row to preselect, nil for none.
  virtual TDropDownItem* FillDropDown(TDropDownItem* ARoot) { return nullptr; }

  // Hands a new list, placed over the element, to the sheet; nothing off a sheet.
  void OpenDropDown();

  bool Activate() override;
  void KeyDown(uint16_t& AKey, TShiftState AShift) override;
  void KeyPress(char16_t& AChar) override;
  void DblClick() override;
};
