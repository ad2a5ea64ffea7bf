// The items of a list control (combo box, list box): texts in order, each with an object the list does not own.
// The list is the control's own record of its items, so a window made again gets them back; every change is
// mirrored into the window through the control (IItemListHost). Also the state an owner-drawn item is drawn in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/cuSet.h"
#include "foundation/cuSystem.h"
#include "foundation/cuWin32.h"
#include "framework/fwControls.h"

// The state an owner-drawn item is drawn in (from the ODS_... bits of DRAWITEMSTRUCT).
enum class TOwnerDrawStateFlag : uint16_t {
  odSelected = 0x01,
  odFocused = 0x02,
  odDisabled = 0x04,
  odComboBoxEdit = 0x08,  // the selection field of a combo box, not a row of its list
};
constexpr bool IsFlagFamily(TOwnerDrawStateFlag) { return true; }
using enum TOwnerDrawStateFlag;
using TOwnerDrawState = TSet<TOwnerDrawStateFlag>;

TOwnerDrawState OwnerDrawState(UINT AItemState);

// Paints one owner-drawn row of a list window on ACanvas: bound to the record's context with the control's font and
// colour, the selection's colours on a selected row, then APaintRow(item index, state), then the focus frame over a
// focused row.
void PaintOwnerDrawnRow(TControlCanvas& ACanvas, const DRAWITEMSTRUCT& AItem,
                        const std::function<void(int AIndex, TOwnerDrawState AState)>& APaintRow);

// Draws item AIndex into ARect (the control's client coordinates) on the control's canvas.
using TDrawItemEvent = TMethod<void(TObject* ASender, int AIndex, const RECT& ARect, TOwnerDrawState AState)>;

// What a control does when its items change: it puts the change into its window, when it has one.
class IItemListHost {
 public:
  virtual void ItemInserted(int AIndex) = 0;
  virtual void ItemDeleted(int AIndex) = 0;
  virtual void ItemsCleared() = 0;
  // The outermost BeginUpdate and EndUpdate: the window stops and resumes drawing.
  virtual void ItemsUpdating(bool AUpdating) = 0;

 protected:
  ~IItemListHost() = default;
};

// The messages by which a list window mirrors a TItemList (a list box's or a combo box's).
struct TListWindowMessages {
  UINT InsertString;
  UINT DeleteString;
  UINT GetCurSel;
  UINT SetCurSel;
};
inline constexpr TListWindowMessages ListBoxMessages{LB_INSERTSTRING, LB_DELETESTRING, LB_GETCURSEL, LB_SETCURSEL};
inline constexpr TListWindowMessages ComboBoxMessages{CB_INSERTSTRING, CB_DELETESTRING, CB_GETCURSEL, CB_SETCURSEL};

// Puts an inserted or deleted item into AWindow; without a window, AChosen (the choice remembered for the next
// window) moves with its item, and goes when its item goes.
void MirrorItemInserted(HWND AWindow, const TListWindowMessages& AMessages, const std::u16string& AText, int AIndex,
                        int& AChosen);
void MirrorItemDeleted(HWND AWindow, const TListWindowMessages& AMessages, int AIndex, int& AChosen);
// The chosen item: the window's, or without a window the one remembered (AChosen); -1 for none.
int MirroredItemIndex(HWND AWindow, const TListWindowMessages& AMessages, int AChosen);
// Chooses item AValue (-1: none) of ACount, remembered in AChosen and put into the window when there is one.
void SetMirroredItemIndex(HWND AWindow, const TListWindowMessages& AMessages, int ACount, int AValue, int& AChosen);

class TItemList {
 public:
  explicit TItemList(IItemListHost& AHost) : FHost(AHost) {}
  TItemList(const TItemList&) = delete;
  TItemList& operator=(const TItemList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  const std::u16string& operator[](int AIndex) const { return Item(AIndex).Text; }
  const std::u16string& Strings(int AIndex) const { return Item(AIndex).Text; }
  TObject* Objects(int AIndex) const { return Item(AIndex).Object; }
  void SetObject(int AIndex, TObject* AObject) { Item(AIndex).Object = AObject; }

  int Add(std::u16string AText, TObject* AObject = nullptr);
  void Insert(int AIndex, std::u16string AText, TObject* AObject = nullptr);
  void Delete(int AIndex);
  void Clear();
  // The first item with exactly this text (case counts), or -1.
  int IndexOf(std::u16string_view AText) const;
  int IndexOfObject(const TObject* AObject) const;
  // One item per line (CR LF, LF or CR end a line); replaces the items.
  void SetText(std::u16string_view AText);

  // Counted: the window redraws once, after the outermost EndUpdate.
  void BeginUpdate();
  void EndUpdate();

 private:
  struct TItem {
    std::u16string Text;
    TObject* Object = nullptr;
  };
  TItem& Item(int AIndex);
  const TItem& Item(int AIndex) const;

  IItemListHost& FHost;
  std::vector<TItem> FItems;
  int FUpdateCount = 0;
};
