// The list box (LISTBOX): a single-choice list of items with objects, plain or owner-drawn at a fixed item
// height, that can also float free of its parent's window (the sheet's drop-down list).
#pragma once

#include <cstdint>
#include <memory>

#include "framework/fwControls.h"
#include "framework/fwItemList.h"
#include "framework/fwWinControls.h"

enum class TListBoxStyle : uint8_t {
  lbStandard,       // the system draws the items' texts
  lbOwnerDrawFixed  // OnDrawItem draws each item at ItemHeight
};

// OnClick runs when the chosen item changes by the user's hand (LBN_SELCHANGE); the mouse events are the
// control's. Setting ItemIndex from code runs no event.
class TListBox : public TWinControl, private IItemListHost {
 public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;

  // A change makes the window again (items, choice and top row stay).
  TListBoxStyle Style() const { return FStyle; }
  void SetStyle(TListBoxStyle AValue);
  // Height of every item (default 16; the standard style takes the system's).
  int ItemHeight() const;
  void SetItemHeight(int AValue);

  TItemList& Items() { return FItems; }
  const TItemList& Items() const { return FItems; }
  // The window draws again once, after the outermost EndUpdate.
  void BeginUpdate() { FItems.BeginUpdate(); }
  void EndUpdate() { FItems.EndUpdate(); }

  // The chosen item, -1 for none.
  int ItemIndex() const;
  void SetItemIndex(int AValue);
  // The item in the top row.
  int TopIndex() const;
  void SetTopIndex(int AValue);
  // The item at a client point: with AExisting only an item whose row holds the point, else -1; without it the
  // nearest one (or -1 for an empty list).
  int ItemAtPos(POINT APos, bool AExisting) const;
  // The row of an item in client coordinates (empty when it does not exist).
  RECT ItemRect(int AIndex) const;

  // Without a parent window (default off): the window is a pop-up owned by the parent's window, placed in screen
  // coordinates above other windows' children, while the control stays its parent's child (owned, notified,
  // freed with it). It is shown without being activated. A change makes the window again.
  bool Floating() const { return FFloating; }
  void SetFloating(bool AValue);

  // Painting an owner-drawn item, on the control's canvas bound to the item's context.
  TCanvas& Canvas() { return *FCanvas; }

  // Draws the item in the state's colours (the brush and the font are set for it); the focus frame follows.
  TDrawItemEvent OnDrawItem;

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& AMessage) override;
  void FreeContexts() override;

  // Fills the rectangle and writes the item's text unless OnDrawItem draws it.
  virtual void DrawItem(int AIndex, const RECT& ARect, TOwnerDrawState AState);

 private:
  void ItemInserted(int AIndex) override;
  void ItemDeleted(int AIndex) override;
  void ItemsCleared() override;
  void ItemsUpdating(bool AUpdating) override;
  void DrawItemMessage(TDrawItemMessage& AMessage);

  TListBoxStyle FStyle = TListBoxStyle::lbStandard;
  TItemList FItems{*this};
  int FItemHeight = 16;
  int FItemIndex = -1;  // while there is no window
  int FTopIndex = 0;    // while there is no window
  bool FFloating = false;
  std::unique_ptr<TControlCanvas> FCanvas;
};
