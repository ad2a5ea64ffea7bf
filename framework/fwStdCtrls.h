// Standard controls: the label (windowless), and over the system's window classes the check box, the combo box,
// the single-line edit and the memo. Each window class is a superclass named after the control's class; the
// notifications the parent receives come back to the control reflected (CN_COMMAND, CN_DRAWITEM...). What a
// window holds (check state, items, selection, text) is kept by the control while there is no window, so a
// window made again shows the same.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/fwControls.h"
#include "framework/fwItemList.h"
#include "framework/fwWinControls.h"

// A text that fits itself to its caption, and whose "&" letter gives the focus to another control.
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  ~TLabel() override;

  // On by default: the bounds follow the caption and the font (with WordWrap only the height, for the width
  // the label has).
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool AValue);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool AValue);
  // Off by default: the label fills its rectangle with its colour (its parent's while ParentColor, the default).
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool AValue);
  // On by default: "&" underlines the next letter, "&&" shows one ampersand.
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool AValue);
  // The control that takes the focus when the label's letter is typed as an accelerator.
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* AValue);

  // Fits the bounds to the caption now (AutoSize does this after every change).
  void AdjustBounds();

 protected:
  void Paint() override;
  void WndProc(TMessage& AMessage) override;
  void Resize() override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  UINT TextFlags() const;
  bool DialogChar(TMessage& AMessage);

  bool FAutoSize = true;
  bool FWordWrap = false;
  bool FTransparent = false;
  bool FShowAccelChar = true;
  TWinControl* FFocusControl = nullptr;
};

// ---------------------------------------------------------------------------------------------------------------

// A two-state check box (BUTTON, BS_AUTOCHECKBOX). A user's click toggles it and then runs OnClick; setting
// Checked from code runs no event.
class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* AOwner);

  bool Checked() const;
  void SetChecked(bool AValue);

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& AMessage) override;

 private:
  bool FChecked = false;
};

// ---------------------------------------------------------------------------------------------------------------

enum class TComboBoxStyle : uint8_t {
  csDropDown,        // a field to type in, with a list that drops down
  csSimple,          // a field to type in over a list that always shows
  csDropDownList,    // a list that drops down; the field shows the chosen item
  csOwnerDrawFixed,  // as csDropDownList, every item drawn by OnDrawItem at ItemHeight
};

// A combo box (COMBOBOX) with items that carry objects.
class TComboBox : public TWinControl, private IItemListHost {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;

  // A change makes the window again (items, selection and text stay).
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle AValue);
  // The two list styles: the field shows only items.
  bool IsListStyle() const { return FStyle >= TComboBoxStyle::csDropDownList; }

  TItemList& Items() { return FItems; }
  const TItemList& Items() const { return FItems; }
  // The chosen item, -1 for none. Setting it from code runs no OnChange.
  int ItemIndex() const;
  void SetItemIndex(int AValue);
  // Text (the control's Text): for the list styles the chosen item's text, and setting it chooses the first item
  // with that exact text (none when there is none); for the others the field's text.

  // Rows the dropped list shows before it scrolls (default 8).
  int DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int AValue);
  bool DroppedDown() const;
  void SetDroppedDown(bool AValue);
  // Height of an owner-drawn item (default 16).
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int AValue);

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  // Painting an owner-drawn item, on the control's canvas bound to the item's context.
  TCanvas& Canvas() { return *FCanvas; }

  // The user chose an item (the Text already shows it) or typed in the field.
  TNotifyEvent OnChange;
  TDrawItemEvent OnDrawItem;

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& AMessage) override;
  std::u16string GetText() const override;
  void SetTextValue(const std::u16string& AValue) override;
  void FreeContexts() override;

  virtual void Change();
  // Fills the rectangle and writes the item's text unless OnDrawItem draws it.
  virtual void DrawItem(int AIndex, const RECT& ARect, TOwnerDrawState AState);

 private:
  void ItemInserted(int AIndex) override;
  void ItemDeleted(int AIndex) override;
  void ItemsCleared() override;
  void ItemsUpdating(bool AUpdating) override;
  void Command(WORD ACode);
  void DrawItemMessage(TDrawItemMessage& AMessage);
  // The window's height with its list dropped: DropDownCount rows under the field.
  void ApplyDropDownCount();

  TComboBoxStyle FStyle = TComboBoxStyle::csDropDown;
  TItemList FItems{*this};
  int FItemIndex = -1;  // while there is no window
  int FDropDownCount = 8;
  int FItemHeight = 16;
  std::unique_ptr<TControlCanvas> FCanvas;
};

// ---------------------------------------------------------------------------------------------------------------

enum class TBorderStyle : uint8_t { bsNone, bsSingle };

// The edit (EDIT) base of TEdit and TMemo.
class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* AOwner);

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool AValue);
  // bsSingle (default): a sunken client edge with the 3-D look, else a flat line; bsNone: no border. A change
  // makes the window again.
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle AValue);

  // The text changed, by the user or by code.
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void WndProc(TMessage& AMessage) override;
  virtual void Change();

 private:
  bool FReadOnly = false;
  TBorderStyle FBorderStyle = TBorderStyle::bsSingle;
};

// A single-line edit.
class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

// A multi-line edit. Lines end in CR LF in its Text.
class TMemo : public TCustomEdit {
 public:
  explicit TMemo(TComponent* AOwner);

  // On by default: long lines wrap at the right edge (and no horizontal scroll bar shows). A change makes the
  // window again.
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool AValue);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle AValue);

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void WndProc(TMessage& AMessage) override;

 private:
  bool FWordWrap = true;
  TScrollStyle FScrollBars = TScrollStyle::ssNone;
};
