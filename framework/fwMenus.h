// Menus: items in a tree (caption, shortcut, action, image, check and radio marks, default), the main menu that
// is a form's real menu bar, popup menus shown at a point or for a control, the WM_COMMAND ids that click items,
// and the close item of the system menu.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuWin32.h"
#include "framework/fwActions.h"
#include "framework/fwComponents.h"
#include "framework/fwControls.h"

class TMenu;
class TImageList;
class TWinControl;

// Items with a command id below this one got it from their creator; the others are counted from here, per menu.
constexpr uint16_t FirstCountedCommand = 0x8000;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  // With "&" before the accelerator; "-" makes a separator.
  const std::u16string& Caption() const { return FCaption; }
  void SetCaption(std::u16string AValue);
  bool IsLine() const { return FCaption == u"-"; }
  // Shown after a TAB; an item without an action also answers the key (after all action lists).
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut AValue);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  bool Visible() const { return FVisible; }
  void SetVisible(bool AValue);
  // Checking a radio item clears the other radio items of its parent with the same GroupIndex.
  bool Checked() const { return FChecked; }
  void SetChecked(bool AValue);
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool AValue);
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int AValue) { FGroupIndex = AValue; }
  // Drawn in bold; the item a double click on a tray icon means.
  bool Default() const { return FDefault; }
  void SetDefault(bool AValue);
  // In the menu's Images; -1 none. A disabled item shows it grey.
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int AValue);
  const std::u16string& Hint() const { return FHint; }
  void SetHint(std::u16string AValue) { FHint = std::move(AValue); }

  // The item mirrors the action (caption, shortcut, enabled, checked, visible, image, hint) and a click runs it.
  TAction* Action() const;
  void SetAction(TAction* AValue);

  // The WM_COMMAND id: fixed by the creator (below FirstCountedCommand), else counted when the item enters a menu.
  uint16_t Command() const { return FCommand; }
  void SetCommand(uint16_t AValue);

  // Children, in order. An item frees its children with itself.
  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem* Items(int AIndex) const { return FItems.at(static_cast<size_t>(AIndex)); }
  TMenuItem* Parent() const { return FParent; }
  int MenuIndex() const;
  void Add(TMenuItem* AItem);
  void Insert(int AIndex, TMenuItem* AItem);
  void Remove(TMenuItem* AItem);
  void Clear();
  // The menu the item's tree belongs to, nil while it is in none.
  TMenu* Menu() const;
  // The item's submenu (made on demand), which the menu fills with the children.
  HMENU Handle();

  // OnClick, else the action (with this item as sender).
  virtual void Click();
  TNotifyEvent OnClick;

 protected:
  void BeforeDestruction() override;
  // The text the menu shows: caption, then the shortcut's text after a TAB.
  std::u16string DisplayText() const;

 private:
  friend class TMenu;
  class TLink;

  // Something the menu shows changed: the entry in the parent's submenu is made again.
  void Changed();
  void ActionChanged(const TAction& AAction, TActionParts AParts);
  void UncheckRadioSiblings();

  TMenuItem* FParent = nullptr;
  TMenu* FMenu = nullptr;  // set on the root item only
  std::vector<TMenuItem*> FItems;
  std::u16string FCaption;
  TShortCut FShortCut;
  bool FEnabled = true;
  bool FVisible = true;
  bool FChecked = false;
  bool FRadioItem = false;
  int FGroupIndex = 0;
  bool FDefault = false;
  int FImageIndex = -1;
  std::u16string FHint;
  uint16_t FCommand = 0;
  HMENU FHandle = nullptr;
  std::unique_ptr<TLink> FLink;
};

// A menu: a root item whose children are its entries. A menu owned by a windowed control (its form) clicks the
// item of a WM_COMMAND that window receives, and the shortcut walk asks it for its items without an action.
class TMenu : public TComponent, public IShortCutHandler {
 public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;

  TMenuItem* Items() const { return FItems; }
  // The items' pictures, drawn from this list when the window the menu shows for asks (HBMMENU_CALLBACK): the
  // owning control's, or a popup's owner window while the popup shows.
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* AValue);
  HMENU Handle() { return FItems->Handle(); }

  // The item with that command id, nil when none.
  TMenuItem* FindItem(uint16_t ACommand) const;
  // Clicks the item with that command id; false when none has it.
  bool DispatchCommand(uint16_t ACommand);
  // The item whose submenu is AMenu, nil when none.
  TMenuItem* FindPopup(HMENU AMenu) const;
  // Fills the menu handles from the items again.
  void Rebuild();

  bool HandleShortCut(uint16_t AKey, TShiftState AShift, TShortCutPass APass) override;

 protected:
  void BeforeDestruction() override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;
  // Handles for the root: a menu bar or a popup.
  virtual HMENU CreateRootHandle() { return CreatePopupMenu(); }
  // An entry of AParent's submenu was made again (a main menu shows its bar anew).
  virtual void SubmenuRebuilt(TMenuItem* AParent) {}
  // Messages of the control the menu belongs to, before the control sees them.
  virtual void ControlMessage(TMessage& AMessage);
  // WM_MEASUREITEM and WM_DRAWITEM of an item's picture: answered when the item is this menu's.
  void PictureMessage(TMessage& AMessage);
  TWinControl* Control() const { return FControl; }

 private:
  friend class TMenuItem;
  void Attach(TWinControl* AControl);
  void Detach();
  void FillSubmenu(TMenuItem* AParent);
  // A command id for AItem unique in this menu (fixed ids are kept).
  void AssignCommands(TMenuItem* AItem);
  uint16_t NextFreeCommand() const;
  // The item whose pointer is AData (a menu entry's item data), nil when none of this menu's is.
  TMenuItem* FindData(ULONG_PTR AData) const;

  TMenuItem* FItems;
  TImageList* FImages = nullptr;
  TWinControl* FControl = nullptr;
};

// A form's menu bar: the menu of the form that owns it, put on the window whenever the window is made. Changes
// of bar items rebuild the bar, then OnChange runs (code that modified the bar by hand applies that again).
// Opening a bar item's submenu (WM_INITMENUPOPUP) clicks the item.
class TMainMenu : public TMenu {
 public:
  explicit TMainMenu(TComponent* AOwner);

  TNotifyEvent OnChange;

 protected:
  void BeforeDestruction() override;
  HMENU CreateRootHandle() override { return CreateMenu(); }
  void SubmenuRebuilt(TMenuItem* AParent) override;
  void ControlMessage(TMessage& AMessage) override;

 private:
  HWND BarWindow() const;
};

enum class TPopupAlignment : uint8_t { paLeft, paRight, paCenter };

// A menu shown at a point; controls show it on WM_CONTEXTMENU through IPopupMenu.
class TPopupMenu : public TMenu, public IPopupMenu {
 public:
  explicit TPopupMenu(TComponent* AOwner);

  TPopupAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TPopupAlignment AValue) { FAlignment = AValue; }
  // The control the menu was last shown for (nil when shown by Popup alone).
  TControl* PopupComponent() const { return FPopupComponent; }

  // OnPopup, then the menu at a screen point, aligned to it as Alignment says; the chosen item is clicked after
  // the menu closed. A handler's exception goes to the application's report. When the window the menu belongs
  // to is not the foreground window (a form living in the notification area) it is brought to the foreground
  // first and WM_NULL is posted to it after, so the menu closes when the user clicks elsewhere.
  void Popup(int X, int Y);
  void PopupFor(TControl* AControl, POINT AScreenPos) override;

  TNotifyEvent OnPopup;

 protected:
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  HWND OwnerWindow() const;
  void DrawerMessage(TMessage& AMessage);

  TPopupAlignment FAlignment = TPopupAlignment::paLeft;
  TControl* FPopupComponent = nullptr;
  // The owner window's control while the menu shows for it (when that is not the menu's own).
  TWinControl* FDrawer = nullptr;
};

// Greys or enables the close item (SC_CLOSE) of a window's system menu.
void EnableSystemMenuClose(HWND AWindow, bool AEnabled);
