// Menus on a shown form's real menu bar: items that follow their actions, their pictures, the after-rebuild event,
// radio items, a WM_COMMAND posted by a second process, Alt+letter opening a bar item, and the system menu's close
// item.
#include <gtest/gtest.h>

#include "framework/fwImageList.h"
#include "framework/fwMenus.h"
#include "framework/fwTimer.h"
#include "tests/framework/ActionTestSupport.h"

namespace {

std::u16string MenuText(HMENU AMenu, UINT ACommand) {
  wchar_t buffer[256];
  const int length = GetMenuStringW(AMenu, ACommand, buffer, 256, MF_BYCOMMAND);
  return FromWide(buffer, length);
}

// A form with a menu bar: "&File" holding an item of the action "save" (fixed id 0x123), a separator and three
// radio items; "&View" without items.
class TMenuForm : public TForm {
 public:
  TMenuForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner), Runs(AJournal) {
    SetBounds(100, 100, 360, 200);
    SetCaption(u"Menus");
    Build();
  }

  void Rebuild(TJournal* AJournal) {
    while (ComponentCount() > 0) Components(ComponentCount() - 1)->Free();
    Runs.Journal = AJournal;
    Build();
  }

  TMenuItem* AddItem(TMenuItem* AParent, const char16_t* ACaption) {
    auto* item = New<TMenuItem>(this);
    item->SetCaption(ACaption);
    AParent->Add(item);
    return item;
  }

  void BarRebuilt(TObject*) { Runs.Journal->push_back("bar rebuilt"); }
  void Opened(TObject* ASender) {
    Runs.Journal->push_back(Utf8(static_cast<TMenuItem*>(ASender)->Caption()) + " opened");
    Closer->SetEnabled(true);
  }
  void CloseMenu(TObject*) {
    Closer->SetEnabled(false);
    EndMenu();
  }
  // Chooses the first item of an open popup by keyboard; a second tick closes a menu the keys did not reach.
  void PopupShown(TObject*) {
    Runs.Journal->push_back("popup");
    Chooser->SetEnabled(true);
  }
  void Choose(TObject*) {
    if (Chose) {
      Chooser->SetEnabled(false);
      EndMenu();
      return;
    }
    Chose = true;
    INPUT keys[4]{};
    const WORD order[4][2] = {{VK_DOWN, 0}, {VK_DOWN, KEYEVENTF_KEYUP}, {VK_RETURN, 0}, {VK_RETURN, KEYEVENTF_KEYUP}};
    for (int i = 0; i < 4; ++i) {
      keys[i].type = INPUT_KEYBOARD;
      keys[i].ki.wVk = order[i][0];
      keys[i].ki.dwFlags = order[i][1];
    }
    SendInput(4, keys, sizeof(INPUT));
  }

  TRunJournal Runs;
  TActionList* List = nullptr;
  TAction* Save = nullptr;
  TMainMenu* Menu = nullptr;
  TMenuItem* File = nullptr;
  TMenuItem* View = nullptr;
  TMenuItem* SaveItem = nullptr;
  TMenuItem* Radio[3] = {};
  TTimer* Closer = nullptr;
  TTimer* Chooser = nullptr;
  bool Chose = false;

 private:
  void Build() {
    List = New<TActionList>(this);
    Save = New<TAction>(this);
    Save->SetName(u"save");
    Save->SetCaption(u"&Save");
    Save->SetShortCut(MakeShortCut('S', ssCtrl));
    Save->SetActionList(List);
    Save->OnExecute = MakeMethod<&TRunJournal::Executed>(&Runs);
    Menu = New<TMainMenu>(this);
    File = AddItem(Menu->Items(), u"&File");
    View = AddItem(Menu->Items(), u"&View");
    SaveItem = New<TMenuItem>(this);
    SaveItem->SetName(u"saveItem");
    SaveItem->SetCommand(0x123);
    SaveItem->SetAction(Save);
    File->Add(SaveItem);
    AddItem(File, u"-");
    for (int i = 0; i < 3; ++i) {
      Radio[i] = AddItem(File, u"Radio");
      Radio[i]->SetRadioItem(true);
      Radio[i]->SetGroupIndex(1);
    }
    Closer = New<TTimer>(this);
    Closer->SetEnabled(false);
    Closer->SetInterval(30);
    Closer->SetOnTimer(MakeMethod<&TMenuForm::CloseMenu>(this));
    Chooser = New<TTimer>(this);
    Chooser->SetEnabled(false);
    Chooser->SetInterval(50);
    Chooser->SetOnTimer(MakeMethod<&TMenuForm::Choose>(this));
    Chose = false;
  }
};

using MenuTest = SharedFormTest<TMenuForm>;

TEST_F(MenuTest, ItemsShowTheirActionsCaptionShortCutAndStateAndFollowLaterChanges) {
  ASSERT_EQ(GetMenu(form->Handle()), form->Menu->Handle());
  HMENU file = form->File->Handle();
  EXPECT_EQ(MenuText(file, 0x123), u"&Save\tCtrl+S");
  form->Save->SetCaption(u"Save &All");
  form->Save->SetShortCut(MakeShortCut(VK_F5, ssCtrl | ssShift));
  EXPECT_EQ(MenuText(file, 0x123), u"Save &All\tCtrl+Shift+F5");
  form->Save->SetEnabled(false);
  EXPECT_TRUE(GetMenuState(file, 0x123, MF_BYCOMMAND) & MF_GRAYED);
  form->Save->SetEnabled(true);
  form->Save->SetChecked(true);
  EXPECT_EQ(GetMenuState(file, 0x123, MF_BYCOMMAND) & (MF_GRAYED | MF_CHECKED), UINT(MF_CHECKED));
  form->Save->SetVisible(false);
  EXPECT_EQ(GetMenuState(file, 0x123, MF_BYCOMMAND), UINT(-1));
  form->Save->SetVisible(true);
  // Counted ids start at 0x8000 and stay unique in the menu.
  EXPECT_GE(form->Radio[0]->Command(), FirstCountedCommand);
  EXPECT_NE(form->Radio[0]->Command(), form->Radio[1]->Command());
  // Clicking the item runs the action with the item as sender.
  EXPECT_TRUE(form->Menu->DispatchCommand(0x123));
  EXPECT_EQ(journal, TJournal{"saveItem"});
}

TEST_F(MenuTest, AnItemsPictureIsDrawnByTheMenuWithItsAlphaAndGreyWhileTheItemIsDisabled) {
  // One 4 x 4 picture, opaque red in its top-left pixel, transparent elsewhere.
  TBitmap picture(4, 4, TPixelFormat::pf32bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) static_cast<uint32_t*>(picture.ScanLine(y))[x] = 0;
  static_cast<uint32_t*>(picture.ScanLine(0))[0] = 0xFFC00000u;
  auto* images = New<TImageList>(form, 4, 4);
  images->Add(picture);
  form->Menu->SetImages(images);
  form->Save->SetImageIndex(0);
  HMENU file = form->File->Handle();
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_BITMAP | MIIM_DATA;
  ASSERT_TRUE(GetMenuItemInfoW(file, 0x123, FALSE, &info));
  EXPECT_EQ(info.hbmpItem, HBMMENU_CALLBACK);

  // The system asks the window for the picture's size, then has it drawn over what it painted (white here).
  MEASUREITEMSTRUCT measure{ODT_MENU, 0, 0x123, 0, 0, info.dwItemData};
  EXPECT_TRUE(SendMessageW(form->Handle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)));
  EXPECT_EQ(measure.itemWidth, 8u);
  EXPECT_EQ(measure.itemHeight, 4u);
  auto drawn = [&](HMENU AMenu, UINT AState, LRESULT& AAnswer) {
    TBitmap target(4, 4, TPixelFormat::pf32bit);
    target.Canvas().Brush().SetColor(clWhite);
    target.Canvas().FillRect(RECT{0, 0, 4, 4});
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_MENU;
    draw.itemID = 0x123;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = AState;
    draw.hwndItem = reinterpret_cast<HWND>(AMenu);
    draw.hDC = target.Canvas().Handle();
    draw.rcItem = RECT{0, 0, 4, 4};
    draw.itemData = info.dwItemData;
    AAnswer = SendMessageW(form->Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(static_cast<const uint32_t*>(target.ScanLine(1))[1] & 0xFFFFFF, 0xFFFFFFu);
    return static_cast<const uint32_t*>(target.ScanLine(0))[0] & 0xFFFFFF;
  };
  LRESULT answer = 0;
  EXPECT_EQ(drawn(file, 0, answer), 0xC00000u);
  EXPECT_TRUE(answer);
  // 0xC0 greys to 57; at half opacity over white: 57 * 128 / 255 + 255 * 127 / 255 = 156.
  const uint32_t grey = drawn(file, ODS_GRAYED | ODS_DISABLED, answer);
  for (int shift : {0, 8, 16}) EXPECT_NEAR(static_cast<int>((grey >> shift) & 0xFF), 156, 2);
  // An entry of another submenu is not this item, whatever its data says.
  EXPECT_EQ(drawn(form->Menu->Handle(), 0, answer), 0xFFFFFFu);
  EXPECT_FALSE(answer);
}

TEST_F(MenuTest, ABarRebuildFiresTheAfterRebuildEventButAChangeInsideASubmenuDoesNot) {
  form->Menu->OnChange = MakeMethod<&TMenuForm::BarRebuilt>(form);
  form->Save->SetCaption(u"Keep");
  EXPECT_TRUE(journal.empty());
  form->View->SetCaption(u"&Look");
  EXPECT_EQ(journal, TJournal{"bar rebuilt"});
  wchar_t buffer[32];
  GetMenuStringW(form->Menu->Handle(), 1, buffer, 32, MF_BYPOSITION);
  EXPECT_EQ(FromWide(buffer, static_cast<int>(wcslen(buffer))), u"&Look");
}

TEST_F(MenuTest, RadioItemsOfAGroupKeepOneChecked) {
  HMENU file = form->File->Handle();
  auto checked = [&] {
    std::string marks;
    for (TMenuItem* item : form->Radio)
      marks += (GetMenuState(file, item->Command(), MF_BYCOMMAND) & MF_CHECKED) ? 'x' : '-';
    return marks;
  };
  form->Radio[0]->SetChecked(true);
  EXPECT_EQ(checked(), "x--");
  form->Radio[2]->SetChecked(true);
  EXPECT_EQ(checked(), "--x");
  form->Radio[1]->SetGroupIndex(2);
  form->Radio[1]->SetChecked(true);
  EXPECT_EQ(checked(), "-xx");
}

TEST_F(MenuTest, AWMCommandWithAFixedIdPostedByAnotherProcessRunsItsActionOnce) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring helper(path, length);
  helper = helper.substr(0, helper.find_last_of(L"\\/") + 1) + L"post_command.exe";
  wchar_t window[32];
  swprintf(window, 32, L"%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(form->Handle())));
  std::wstring command = L"\"" + helper + L"\" " + window + L" " + std::to_wstring(0x123);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(
      CreateProcessW(helper.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  EXPECT_TRUE(WaitPumping(process.hProcess, 10000));
  DWORD exitCode = 99;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_TRUE(PumpApplication([&] { return !journal.empty(); }));
  PumpApplication([] { return false; }, 100);
  EXPECT_EQ(journal, TJournal{"saveItem"});
}

TEST_F(MenuTest, AltAndALetterOpenTheBarItemWhichHearsItsOpeningAndCtrlKeysOfItemsWithoutActionClickThem) {
  form->File->OnClick = MakeMethod<&TMenuForm::Opened>(form);
  // An action with another Alt shortcut does not take the menu's letter.
  auto* other = New<TAction>(form);
  other->SetShortCut(MakeShortCut('G', ssAlt));
  other->SetActionList(form->List);
  other->OnExecute = MakeMethod<&TRunJournal::Executed>(&form->Runs);
  TypeKeys('F', {VK_MENU});
  PumpApplication([&] { return !journal.empty() && !form->Closer->Enabled(); });
  EXPECT_EQ(journal, TJournal{"&File opened"});

  // The item's own shortcut runs it after the action lists had their turn.
  form->Radio[0]->SetShortCut(MakeShortCut('R', ssCtrl));
  form->Radio[0]->SetName(u"radio");
  form->Radio[0]->OnClick = MakeMethod<&TRunJournal::Executed>(&form->Runs);
  journal.clear();
  TypeKeys('R', {VK_CONTROL});
  EXPECT_EQ(journal, TJournal{"radio"});
}

TEST_F(MenuTest, APopupForAControlRunsOnPopupThenClicksTheChosenItemAfterItClosed) {
  auto* popup = New<TPopupMenu>(form);
  popup->OnPopup = MakeMethod<&TMenuForm::PopupShown>(form);
  TMenuItem* first = form->AddItem(popup->Items(), u"First");
  first->SetName(u"first");
  first->OnClick = MakeMethod<&TRunJournal::Executed>(&form->Runs);
  form->AddItem(popup->Items(), u"Second");
  form->SetPopupMenu(popup);
  PostMessageW(form->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form->Handle()), MAKELPARAM(150, 150));
  PumpApplication([&] { return journal.size() >= 2; });
  EXPECT_EQ(journal, (TJournal{"popup", "first"}));
  EXPECT_EQ(popup->PopupComponent(), form);
  form->SetPopupMenu(nullptr);
}

TEST_F(MenuTest, TheSystemMenusCloseItemIsGreyedAndEnabledAgain) {
  HMENU system = GetSystemMenu(form->Handle(), FALSE);
  ASSERT_NE(system, nullptr);
  EnableSystemMenuClose(form->Handle(), false);
  EXPECT_TRUE(GetMenuState(system, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED);
  EnableSystemMenuClose(form->Handle(), true);
  EXPECT_FALSE(GetMenuState(system, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED);
}

}  // namespace
