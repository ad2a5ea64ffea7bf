// Bases of element kinds: the element with a drop-down list of choices, the element that looks like one small
// scheme image, the push button, and the expand button that shows or hides the content of titled elements.
#pragma once

#include "document/model/diDropDown.h"
#include "document/model/diElementOperations.h"
#include "document/model/diVisualElement.h"
#include "foundation/cuUtils.h"

#include <cstdint>
#include <functional>
#include <vector>

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
  void KeyDown(uint16_t& AKey, TShiftKeys AShift) override;
  void KeyPress(char16_t& AChar) override;
  void DblClick() override;
};

// An element drawn as one picture of the 16-pixel scheme images; over it the mouse keeps its parent's cursor.
class TCustomSmallImageElement : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  // Can be disabled; sized to the 16-pixel list's images.
  explicit TCustomSmallImageElement(TScheme* AScheme);

  // The picture's index in SchemeSmallImages.
  virtual int GetImageIndex() = 0;

  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
  int GetCursor(TVisualPoint APoint) override;
};

// A push button: Enter, Space and a click run Click.
class TCustomButtonElement : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  // Takes the click focus and the mouse capture.
  explicit TCustomButtonElement(TScheme* AScheme);

  virtual void Click() = 0;

  void KeyDown(uint16_t& AKey, TShiftKeys AShift) override;
  void KeyPress(char16_t& AChar) override;
  void MouseClick() override;
};

// The expand button's screen cursor, loaded from "diExpandButtonCursor" by InitializeExpandButtonCursor.
constexpr TCursor crExpandButton = 2;
// "Collapse/Expand".
constexpr int IdExpandButtonHint = 2605;
inline constexpr std::u16string_view ExpandButtonCollapseSound = u"diExpandButtonCollapseSound";
inline constexpr std::u16string_view ExpandButtonExpandSound = u"diExpandButtonExpandSound";
void InitializeExpandButtonCursor();

// Shows or hides the content of its owner: the elements it controls are what the owner lays out only while the
// button is expanded. The state is stored only when it differs from the default (as "Value", or under the
// owner's part name when the button is stored inline) and never under ffNoPositions.
class TExpandButton : public TCustomButtonElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TExpandButton(TScheme* AScheme);
  ~TExpandButton() override;

  // A part of AParent placed among AVisualParent's children, expanded by default when AExpanded.
  static TExpandButton* CreateAt(TElement* AParent, TElement* ABefore, TVisualElement* AVisualParent,
                                 TVisualElement* AVisualBefore, bool AExpanded);

  bool Expanded() const { return FExpanded; }
  bool ExpandedByDefault() const { return FExpandedByDefault; }
  // Not owned; an element leaves the list before it is freed (RemoveControlled), or with the button.
  const std::vector<TElement*>& Controlled() const { return FControlled; }
  void AddControlled(TElement* AElement);
  void RemoveControlled(TElement* AElement);
  bool Controls(const TElement* AElement) const;

  // Without undo: node message 8 on the button (its owner lays out again) and a repaint.
  void SetExpanded(bool AValue);
  // One undo step that leaves Modified alone.
  void SetExpandedUndoable(bool AValue);
  // Sized to the theme's "Collapsed" while on a sheet and visible.
  void UpdateSize();
  // The theme element the button paints: Collapsed, CollapsedData, Expanded or ExpandedData.
  int GetThemeElement() const;

  void Click() override;
  bool CalcIsEmpty() override;
  void EmptyChanged() override;
  void FocusChanged() override;
  uint8_t GetCaret(TRect& ARect) override;
  void GetHint(std::u16string& AText) override;
  void GetMargins(TRect& ARect) override;
  int GetCursor(TVisualPoint APoint) override;
  void VisibleChanged() override;
  void SettingsChanged(bool ASheetChanged, bool ASettingsChanged, bool AWidthChanged, bool AHeightChanged) override;
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
  using TPassesNodeMessages = TExpandButton;

 private:
  bool FExpandedByDefault = false;
  bool FExpanded = false;
  std::vector<TElement*> FControlled;
};

// The class mark of TExpandButton (TElement::ClassMarks).
constexpr uint8_t cmExpandButton = 0x04;

// AElement as an expand button; nil for nil and for any other element.
inline TExpandButton* AsExpandButton(TElement* AElement) {
  return AElement && (AElement->ClassMarks() & cmExpandButton) ? static_cast<TExpandButton*>(AElement) : nullptr;
}

// Collapsing or expanding: undoable, but not a change of the document (the state reaches the file with the next
// save).
class TExpandButtonOperation : public TElementOperation {
 public:
  explicit TExpandButtonOperation(TExpandButton* AButton) : TElementOperation(AButton, false) {}

  bool NewExpanded = false;
  // Taken when the operation runs.
  bool OldExpanded = false;

  int GetFlags() const override;

 protected:
  void DoElement(TElement* AElement) override;
  void UndoElement(TElement* AElement) override;
};
