// Small abstract bases of visual elements. The drop-down base gives an element a list of choices that opens over
// it on the sheet.
#pragma once

#include "document/model/diVisualElement.h"

class TDropDownItem;

class TCustomDropDownElement : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TVisualElement::TVisualElement;

  // Hands the sheet a list filled by FillDropDown over the element's rectangle; a failed apply beeps.
  void OpenDropDown();

  virtual bool ApplyDropDownItem(TDropDownItem* AItem) { return false; }
  virtual bool HasDropDown() { return HasVisualOptions(voDropDown); }
  // Fills the list under ARoot and answers the row to preselect, nil for none.
  virtual TDropDownItem* FillDropDown(TDropDownItem* ARoot) { return nullptr; }

  bool Activate() override;
  void KeyDown(uint16_t& AKey, TShiftState AShift) override;
  void KeyPress(char16_t& AChar) override;
  void DblClick() override;
};
