#include "framework/fwMenus.h"

#include <algorithm>
#include <cstring>

#include "framework/fwApplication.h"
#include "framework/fwForms.h"
#include "framework/fwGraphics.h"
#include "framework/fwImageList.h"
#include "framework/fwWinControls.h"

namespace {

void EmptyMenu(HMENU AMenu) {
  // RemoveMenu leaves the submenus alone: each item destroys its own.
  while (GetMenuItemCount(AMenu) > 0)
    if (!RemoveMenu(AMenu, 0, MF_BYPOSITION)) break;
}

}  // namespace

// The item's link to its action.
class TMenuItem::TLink : public TActionLink {
 public:
  explicit TLink(TMenuItem* AItem) : FItem(AItem) {}

 protected:
  void ActionChanged(const TAction& AAction, TActionParts AParts) override { FItem->ActionChanged(AAction, AParts); }

 private:
  TMenuItem* FItem;
};

// ---------------------------------------------------------------------------------------------------------------
// Items

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  FLink.reset();
  if (FHandle) {
    EmptyMenu(FHandle);
    DestroyMenu(FHandle);
  }
}

void TMenuItem::BeforeDestruction() {
  if (FParent) FParent->Remove(this);
  Clear();
  TComponent::BeforeDestruction();
}

TMenu* TMenuItem::Menu() const {
  const TMenuItem* root = this;
  while (root->FParent) root = root->FParent;
  return root->FMenu;
}

HMENU TMenuItem::Handle() {
  if (!FHandle) {
    TMenu* menu = Menu();
    FHandle = menu && !FParent ? menu->CreateRootHandle() : CreatePopupMenu();
    if (!FHandle) throw EOSError(u"Cannot create a menu", GetLastError());
    if (menu) menu->FillSubmenu(this);
  }
  return FHandle;
}

std::u16string TMenuItem::DisplayText() const {
  const std::u16string shortCut = ShortCutToText(FShortCut);
  return shortCut.empty() ? FCaption : FCaption + u"\t" + shortCut;
}

void TMenuItem::Changed() {
  TMenu* menu = Menu();
  if (FParent && FParent->FHandle && menu && !menu->IsDestroying()) menu->FillSubmenu(FParent);
}

void TMenuItem::SetCaption(std::u16string AValue) {
  if (AValue == FCaption) return;
  FCaption = std::move(AValue);
  Changed();
}

void TMenuItem::SetShortCut(TShortCut AValue) {
  if (AValue == FShortCut) return;
  FShortCut = AValue;
  Changed();
}

void TMenuItem::SetEnabled(bool AValue) {
  if (AValue == FEnabled) return;
  FEnabled = AValue;
  Changed();
}

void TMenuItem::SetVisible(bool AValue) {
  if (AValue == FVisible) return;
  FVisible = AValue;
  Changed();
}

void TMenuItem::SetChecked(bool AValue) {
  if (AValue == FChecked) return;
  FChecked = AValue;
  if (FChecked) UncheckRadioSiblings();
  Changed();
}

void TMenuItem::UncheckRadioSiblings() {
  if (!FRadioItem || !FParent) return;
  for (TMenuItem* sibling : FParent->FItems)
    if (sibling != this && sibling->FRadioItem && sibling->FGroupIndex == FGroupIndex) sibling->SetChecked(false);
}

void TMenuItem::SetRadioItem(bool AValue) {
  if (AValue == FRadioItem) return;
  FRadioItem = AValue;
  if (FChecked) UncheckRadioSiblings();
  Changed();
}

void TMenuItem::SetDefault(bool AValue) {
  if (AValue == FDefault) return;
  FDefault = AValue;
  Changed();
}

void TMenuItem::SetImageIndex(int AValue) {
  if (AValue == FImageIndex) return;
  FImageIndex = AValue;
  Changed();
}

void TMenuItem::SetCommand(uint16_t AValue) {
  if (AValue == FCommand) return;
  FCommand = AValue;
  Changed();
}

TAction* TMenuItem::Action() const { return FLink ? FLink->Action() : nullptr; }

void TMenuItem::SetAction(TAction* AValue) {
  if (!AValue) {
    FLink.reset();
    return;
  }
  if (!FLink) FLink = std::make_unique<TLink>(this);
  FLink->SetAction(AValue);
}

void TMenuItem::ActionChanged(const TAction& AAction, TActionParts AParts) {
  if (AParts.Contains(apCaption)) FCaption = AAction.Caption();
  if (AParts.Contains(apShortCut)) FShortCut = AAction.ShortCut();
  if (AParts.Contains(apEnabled)) FEnabled = AAction.Enabled();
  if (AParts.Contains(apVisible)) FVisible = AAction.Visible();
  if (AParts.Contains(apImageIndex)) FImageIndex = AAction.ImageIndex();
  if (AParts.Contains(apHint)) FHint = AAction.Hint();
  if (AParts.Contains(apChecked) && AAction.Checked() != FChecked) {
    FChecked = AAction.Checked();
    if (FChecked) UncheckRadioSiblings();
  }
  Changed();
}

int TMenuItem::MenuIndex() const {
  if (!FParent) return -1;
  auto it = std::find(FParent->FItems.begin(), FParent->FItems.end(), this);
  return static_cast<int>(it - FParent->FItems.begin());
}

void TMenuItem::Add(TMenuItem* AItem) { Insert(Count(), AItem); }

void TMenuItem::Insert(int AIndex, TMenuItem* AItem) {
  if (!AItem || AItem == this) throw EComponentError(u"A menu item cannot hold itself");
  if (AItem->FParent) AItem->FParent->Remove(AItem);
  AIndex = std::clamp(AIndex, 0, Count());
  FItems.insert(FItems.begin() + AIndex, AItem);
  AItem->FParent = this;
  TMenu* menu = Menu();
  if (!menu) return;
  menu->AssignCommands(AItem);
  if (FHandle) menu->FillSubmenu(this);
  // The first child turns this entry into a submenu.
  if (Count() == 1) Changed();
}

void TMenuItem::Remove(TMenuItem* AItem) {
  auto it = std::find(FItems.begin(), FItems.end(), AItem);
  if (it == FItems.end()) return;
  FItems.erase(it);
  AItem->FParent = nullptr;
  TMenu* menu = Menu();
  if (!menu || menu->IsDestroying()) return;
  if (FHandle) menu->FillSubmenu(this);
  if (FItems.empty()) Changed();
}

void TMenuItem::Clear() {
  while (!FItems.empty()) FItems.back()->Free();
}

void TMenuItem::Click() {
  if (OnClick)
    OnClick(this);
  else if (FLink)
    FLink->Execute(this);
}

// ---------------------------------------------------------------------------------------------------------------
// Menus

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner) {
  FItems = New<TMenuItem>(this);
  FItems->FMenu = this;
  if (auto* control = dynamic_cast<TWinControl*>(AOwner)) Attach(control);
  TKeyRouting::InstallShortCuts();
}

TMenu::~TMenu() = default;

void TMenu::BeforeDestruction() {
  Destroying();
  Detach();
  FreeAndNil(FItems);
  TComponent::BeforeDestruction();
}

void TMenu::Attach(TWinControl* AControl) {
  FControl = AControl;
  FControl->AddMessageFilter(MakeMethod<&TMenu::ControlMessage>(this));
  FreeNotification(FControl);
}

void TMenu::Detach() {
  if (!FControl) return;
  FControl->RemoveMessageFilter(MakeMethod<&TMenu::ControlMessage>(this));
  RemoveFreeNotification(FControl);
  FControl = nullptr;
}

void TMenu::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TComponent::Notification(AComponent, AOperation);
  if (AOperation != TComponentOperation::opRemove) return;
  if (AComponent == FImages) FImages = nullptr;
  if (AComponent == FControl) Detach();
}

void TMenu::SetImages(TImageList* AValue) {
  if (AValue == FImages) return;
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = AValue;
  if (FImages) FImages->FreeNotification(this);
  Rebuild();
}

void TMenu::Rebuild() {
  // Submenus deeper down are filled as their entries are made.
  std::vector<TMenuItem*> pending{FItems};
  while (!pending.empty()) {
    TMenuItem* item = pending.back();
    pending.pop_back();
    if (item->FHandle) FillSubmenu(item);
    for (TMenuItem* child : item->FItems) pending.push_back(child);
  }
}

void TMenu::FillSubmenu(TMenuItem* AParent) {
  HMENU menu = AParent->FHandle;
  if (!menu) return;
  EmptyMenu(menu);
  for (TMenuItem* item : AParent->FItems) {
    if (!item->FVisible) continue;
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA;
    info.wID = item->FCommand;
    info.dwItemData = reinterpret_cast<ULONG_PTR>(item);
    std::u16string text;
    if (item->IsLine()) {
      info.fType = MFT_SEPARATOR;
    } else {
      info.fMask |= MIIM_STRING | MIIM_SUBMENU | MIIM_BITMAP;
      info.fType = item->FRadioItem ? MFT_RADIOCHECK : MFT_STRING;
      info.fState = (item->FEnabled ? MFS_ENABLED : MFS_GRAYED) | (item->FChecked ? MFS_CHECKED : 0) |
                    (item->FDefault ? MFS_DEFAULT : 0);
      text = item->DisplayText();
      info.dwTypeData = const_cast<wchar_t*>(WStr(text));
      info.hSubMenu = item->FItems.empty() ? nullptr : item->Handle();
      // Menus copy an item's bitmap as it is (Wine neither blends its alpha nor leaves it alone when the item is
      // highlighted): the menu's window draws the picture, over whatever the system painted behind it.
      info.hbmpItem =
          FImages && item->FImageIndex >= 0 && item->FImageIndex < FImages->Count() ? HBMMENU_CALLBACK : nullptr;
    }
    InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &info);
  }
  SubmenuRebuilt(AParent);
}

uint16_t TMenu::NextFreeCommand() const {
  std::vector<uint16_t> used;
  std::vector<const TMenuItem*> pending{FItems};
  while (!pending.empty()) {
    const TMenuItem* item = pending.back();
    pending.pop_back();
    if (item->FCommand >= FirstCountedCommand) used.push_back(item->FCommand);
    for (const TMenuItem* child : item->FItems) pending.push_back(child);
  }
  std::sort(used.begin(), used.end());
  uint32_t next = FirstCountedCommand;
  for (uint16_t id : used) {
    if (id > next) break;
    if (id == next) ++next;
  }
  if (next > 0xFFFF) throw EComponentError(u"A menu has no command ids left");
  return static_cast<uint16_t>(next);
}

void TMenu::AssignCommands(TMenuItem* AItem) {
  std::vector<TMenuItem*> pending{AItem};
  while (!pending.empty()) {
    TMenuItem* item = pending.back();
    pending.pop_back();
    // A counted id taken over from another menu may clash here; it is counted again.
    if (item->FCommand >= FirstCountedCommand) {
      const uint16_t own = item->FCommand;
      item->FCommand = 0;
      item->FCommand = FindItem(own) ? NextFreeCommand() : own;
    }
    if (item->FCommand == 0) item->FCommand = NextFreeCommand();
    for (TMenuItem* child : item->FItems) pending.push_back(child);
  }
}

TMenuItem* TMenu::FindItem(uint16_t ACommand) const {
  std::vector<TMenuItem*> pending{FItems};
  while (!pending.empty()) {
    TMenuItem* item = pending.back();
    pending.pop_back();
    if (item != FItems && item->FCommand == ACommand) return item;
    for (TMenuItem* child : item->FItems) pending.push_back(child);
  }
  return nullptr;
}

TMenuItem* TMenu::FindData(ULONG_PTR AData) const {
  std::vector<TMenuItem*> pending{FItems};
  while (!pending.empty()) {
    TMenuItem* item = pending.back();
    pending.pop_back();
    if (item != FItems && reinterpret_cast<ULONG_PTR>(item) == AData) return item;
    for (TMenuItem* child : item->FItems) pending.push_back(child);
  }
  return nullptr;
}

TMenuItem* TMenu::FindPopup(HMENU AMenu) const {
  std::vector<TMenuItem*> pending{FItems};
  while (!pending.empty()) {
    TMenuItem* item = pending.back();
    pending.pop_back();
    if (item != FItems && item->FHandle == AMenu) return item;
    for (TMenuItem* child : item->FItems) pending.push_back(child);
  }
  return nullptr;
}

bool TMenu::DispatchCommand(uint16_t ACommand) {
  TMenuItem* item = ACommand ? FindItem(ACommand) : nullptr;
  if (!item) return false;
  item->Click();
  return true;
}

bool TMenu::HandleShortCut(uint16_t AKey, TShiftState AShift, TShortCutPass APass) {
  if (APass != TShortCutPass::spMenuItems) return false;
  const TShortCut shortCut = MakeShortCut(AKey, AShift);
  std::vector<TMenuItem*> pending{FItems};
  while (!pending.empty()) {
    TMenuItem* item = pending.front();
    pending.erase(pending.begin());
    if (item != FItems && !item->Action() && item->FEnabled && item->FShortCut == shortCut) {
      item->Click();
      return true;
    }
    pending.insert(pending.end(), item->FItems.begin(), item->FItems.end());
  }
  return false;
}

void TMenu::PictureMessage(TMessage& AMessage) {
  if (!FImages) return;
  if (AMessage.Msg == WM_MEASUREITEM) {
    MEASUREITEMSTRUCT& measure = TMeasureItemMessage(AMessage).Record;
    if (measure.CtlType != ODT_MENU || !FindData(measure.itemData)) return;
    // Two pixels each side: Wine sets the text right after the picture.
    measure.itemWidth = static_cast<UINT>(FImages->Width() + 4);
    measure.itemHeight = static_cast<UINT>(FImages->Height());
    AMessage.Answer(TRUE);
  } else if (AMessage.Msg == WM_DRAWITEM) {
    const DRAWITEMSTRUCT& draw = TDrawItemMessage(AMessage).Record;
    if (draw.CtlType != ODT_MENU) return;
    // Only an item of this menu, in the submenu that holds it: the data alone could be another menu's.
    TMenuItem* item = FindData(draw.itemData);
    if (!item || !item->FParent || reinterpret_cast<HWND>(item->FParent->FHandle) != draw.hwndItem) return;
    const RECT& r = draw.rcItem;
    TCanvas canvas;
    canvas.SetHandle(draw.hDC);
    FImages->Draw(canvas, r.left + (r.right - r.left - FImages->Width()) / 2,
                  r.top + (r.bottom - r.top - FImages->Height()) / 2, item->FImageIndex,
                  !(draw.itemState & (ODS_GRAYED | ODS_DISABLED)));
    AMessage.Answer(TRUE);
  }
}

void TMenu::ControlMessage(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
      PictureMessage(AMessage);
      break;
    case WM_COMMAND:
      // From a menu (0) or an accelerator (1), with no control: also posted by another process.
      if (AMessage.LParam == 0 && HIWORD(AMessage.WParam) <= 1 && DispatchCommand(LOWORD(AMessage.WParam)))
        AMessage.Answer();
      break;
    case WM_INITMENUPOPUP:
      if (TMenuItem* item = FindPopup(reinterpret_cast<HMENU>(AMessage.WParam))) item->Click();
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------------------------

TMainMenu::TMainMenu(TComponent* AOwner) : TMenu(AOwner) {
  if (HWND window = BarWindow()) SetMenu(window, Handle());
}

void TMainMenu::BeforeDestruction() {
  // The window keeps living without its bar.
  if (HWND window = BarWindow(); window && GetMenu(window) == Handle()) SetMenu(window, nullptr);
  TMenu::BeforeDestruction();
}

HWND TMainMenu::BarWindow() const {
  TWinControl* control = Control();
  return control && !control->Parent() ? control->HandleIfAllocated() : nullptr;
}

void TMainMenu::SubmenuRebuilt(TMenuItem* AParent) {
  if (AParent != Items()) return;
  if (HWND window = BarWindow(); window && GetMenu(window) == Items()->Handle()) DrawMenuBar(window);
  if (OnChange) OnChange(this);
}

void TMainMenu::ControlMessage(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_CREATE:
      if (!Control()->Parent()) SetMenu(AMessage.Wnd, Handle());
      break;
    case WM_DESTROY:
      // A window destroys the menu it holds: the bar is taken off first, for the next window.
      if (GetMenu(AMessage.Wnd) == Handle()) SetMenu(AMessage.Wnd, nullptr);
      break;
    default:
      break;
  }
  TMenu::ControlMessage(AMessage);
}

// ---------------------------------------------------------------------------------------------------------------

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}

void TPopupMenu::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TMenu::Notification(AComponent, AOperation);
  if (AOperation != TComponentOperation::opRemove) return;
  if (AComponent == FPopupComponent) FPopupComponent = nullptr;
  if (AComponent == FDrawer) FDrawer = nullptr;
}

void TPopupMenu::DrawerMessage(TMessage& AMessage) {
  if (AMessage.Msg == WM_MEASUREITEM || AMessage.Msg == WM_DRAWITEM) PictureMessage(AMessage);
}

HWND TPopupMenu::OwnerWindow() const {
  TControl* control = FPopupComponent ? FPopupComponent : Control();
  if (TCustomForm* form = control ? GetParentForm(control) : nullptr) return form->Handle();
  return Application ? Application->Handle() : nullptr;
}

void TPopupMenu::PopupFor(TControl* AControl, POINT AScreenPos) {
  if (FPopupComponent) FPopupComponent->RemoveFreeNotification(this);
  FPopupComponent = AControl;
  if (FPopupComponent) FPopupComponent->FreeNotification(this);
  Popup(AScreenPos.x, AScreenPos.y);
}

void TPopupMenu::Popup(int X, int Y) {
  if (OnPopup) OnPopup(this);
  HMENU menu = Handle();
  const HWND owner = OwnerWindow();
  const bool background = owner && GetForegroundWindow() != owner;
  if (background) SetForegroundWindow(owner);
  UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON;
  switch (FAlignment) {
    case TPopupAlignment::paLeft:
      flags |= TPM_LEFTALIGN;
      break;
    case TPopupAlignment::paRight:
      flags |= TPM_RIGHTALIGN;
      break;
    case TPopupAlignment::paCenter:
      flags |= TPM_CENTERALIGN;
      break;
  }
  // The owner window is asked for the pictures: while the menu shows, this menu hears its messages.
  TWinControl* drawer = FindControl(owner);
  if (drawer == Control()) drawer = nullptr;
  if (drawer) {
    FDrawer = drawer;
    FreeNotification(drawer);
    drawer->AddMessageFilter(MakeMethod<&TPopupMenu::DrawerMessage>(this));
  }
  const auto command = static_cast<uint16_t>(TrackPopupMenuEx(menu, flags, X, Y, owner, nullptr));
  if (FDrawer) {
    FDrawer->RemoveMessageFilter(MakeMethod<&TPopupMenu::DrawerMessage>(this));
    RemoveFreeNotification(FDrawer);
    FDrawer = nullptr;
  }
  if (background) PostMessageW(owner, WM_NULL, 0, 0);
  if (command) CallGuarded([&] { DispatchCommand(command); });
}

void EnableSystemMenuClose(HWND AWindow, bool AEnabled) {
  if (HMENU menu = AWindow ? GetSystemMenu(AWindow, FALSE) : nullptr)
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (AEnabled ? MF_ENABLED : MF_GRAYED));
}
