// The user buttons on a shown form, driven through the loop: groups, automatic width, partners, the drop-down
// corner, the forced checked state, and the windowed button's focus, default look, Enter and Esc. Keys are
// posted, the mouse comes through SendInput.
#include "controls/baUserButtons.h"

#include <gtest/gtest.h>

#include "controls/baStyledPainter.h"
#include "framework/fwMenus.h"
#include "framework/fwStdCtrls.h"
#include "tests/framework/FormTestSupport.h"

namespace {

class TButtonsForm : public TForm {
 public:
  TButtonsForm(TComponent* AOwner, TJournal*) : TForm(AOwner) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetBounds(200, 150, 320, 200);
  }
  void Rebuild(TJournal*) {
    SetModalResult(mrNone);
    while (ControlCount() > 0) Controls(ControlCount() - 1)->Free();
  }
};

class UserButtonTest : public SharedFormTest<TButtonsForm> {
 protected:
  void SetUp() override {
    SharedFormTest::SetUp();
    styler.reset(New<TPushStyler>(nullptr));
    painter.reset(New<TStyledPainter>(nullptr));
    painter->SetStyler(styler.get());
    painter->Padding().SetBounds(4, 2, 4, 2);
  }
  // The buttons go before the painter they hold.
  void TearDown() override { form->Rebuild(nullptr); }

  template <class T>
  T* Add(int ALeft, int ATop, int AWidth = 60, int AHeight = 22) {
    T* control = New<T>(form);
    control->SetBounds(ALeft, ATop, AWidth, AHeight);
    control->SetParent(form);
    return control;
  }
  TUserButton* AddButton(int ALeft, int ATop, int AGroup = 0) {
    auto* button = Add<TUserButton>(ALeft, ATop);
    button->SetPainter(painter.get());
    button->SetGroupIndex(AGroup);
    return button;
  }
  TUserWinButton* AddWinButton(int ALeft, int ATop, const char16_t* ACaption) {
    auto* button = Add<TUserWinButton>(ALeft, ATop, 73, 25);
    button->SetPainter(painter.get());
    button->SetCaption(ACaption);
    button->OnClick = MakeMethod<&UserButtonTest::Clicked>(this);
    return button;
  }
  void Clicked(TObject* ASender) {
    journal.push_back(std::string("click ") + Narrow(static_cast<TControl*>(ASender)->Caption()));
  }
  static std::string Narrow(const std::u16string& AText) { return std::string(AText.begin(), AText.end()); }

  static void MoveTo(const TControl& AControl, int X, int Y) {
    const POINT p = AControl.ClientToScreen(POINT{X, Y});
    SetCursorPos(p.x, p.y);
    Application->ProcessMessages();
  }
  static void MouseButton(bool ADown) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = ADown ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof(input));
    Application->ProcessMessages();
  }
  static void ClickOn(const TControl& AControl) {
    MoveTo(AControl, AControl.Width() / 2, AControl.Height() / 2);
    MouseButton(true);
    MouseButton(false);
  }
  static bool Has(const TButtonPainterClient& AClient, TClientStateFlag AFlag) {
    return AClient.GetState().Contains(AFlag);
  }

  std::unique_ptr<TPushStyler, TComponentDeleter> styler;
  std::unique_ptr<TStyledPainter, TComponentDeleter> painter;
};

TEST_F(UserButtonTest, GroupMembersCheckOneAnother) {
  TUserButton* first = AddButton(10, 10, 1);
  TUserButton* second = AddButton(80, 10, 1);
  TUserButton* loose = AddButton(150, 10, 0);

  ClickOn(*first);
  EXPECT_TRUE(first->Checked());
  ClickOn(*second);
  EXPECT_TRUE(second->Checked());
  EXPECT_FALSE(first->Checked());
  // The checked one stays down without boAllowAllUp, for clicks and for the property alike.
  ClickOn(*second);
  EXPECT_TRUE(second->Checked());
  second->SetChecked(false);
  EXPECT_TRUE(second->Checked());

  // boAllowAllUp set on one member reaches the others through the broadcast.
  first->SetOptions(boAllowAllUp);
  EXPECT_TRUE(second->Options().Contains(boAllowAllUp));
  ClickOn(*second);
  EXPECT_FALSE(second->Checked());
  EXPECT_FALSE(first->Checked());

  // Outside a group nothing checks.
  ClickOn(*loose);
  loose->SetChecked(true);
  EXPECT_FALSE(loose->Checked());
}

TEST_F(UserButtonTest, ForcedSetterClearsARadioButton) {
  TUserButton* first = AddButton(10, 10, 2);
  TUserButton* second = AddButton(80, 10, 2);
  TUserButton* loose = AddButton(150, 10, 0);
  first->ForceChecked(true);
  first->SetChecked(false);
  EXPECT_TRUE(first->Checked());
  first->ForceChecked(false);
  EXPECT_FALSE(first->Checked());
  // Forcing a member down still tells the group.
  first->ForceChecked(true);
  second->ForceChecked(true);
  EXPECT_FALSE(first->Checked());
  EXPECT_TRUE(second->Checked());
  loose->ForceChecked(true);
  EXPECT_FALSE(loose->Checked());
}

TEST_F(UserButtonTest, AutoWidthResizesOnceForANewCaption) {
  TUserButton* button = AddButton(10, 10);
  button->SetOptions(boAutoWidth);
  button->SetCaption(u"OK");
  int resizes = 0;
  struct TCounter {
    int* Count;
    void Resized(TObject*) { ++*Count; }
  } counter{&resizes};
  button->OnResize = MakeMethod<&TCounter::Resized>(&counter);
  const int before = button->Width();

  button->SetCaption(u"A much longer caption");
  EXPECT_EQ(resizes, 1);
  EXPECT_GT(button->Width(), before);
  SIZE measured{};
  painter->Measure(button->Client(), button->Canvas(), measured, 0);
  EXPECT_EQ(button->Width(), measured.cx);
  button->OnResize = nullptr;
}

TEST_F(UserButtonTest, HotKeepsTheBottomRowAndLeavesTheRightColumn) {
  TUserButton* button = AddButton(10, 10);
  const TButtonPainterClient& client = button->Client();
  MoveTo(*button, 5, 5);
  EXPECT_TRUE(Has(client, stHot));
  MouseButton(true);
  EXPECT_TRUE(Has(client, stPressed));
  MoveTo(*button, 5, button->ClientHeight());
  EXPECT_TRUE(Has(client, stHot));
  MoveTo(*button, button->ClientWidth(), 5);
  EXPECT_FALSE(Has(client, stHot));
  MouseButton(false);
  EXPECT_FALSE(Has(client, stPressed));
}

TEST_F(UserButtonTest, PartnersLightUpTogether) {
  TUserButton* first = AddButton(10, 10);
  TUserButton* second = AddButton(70, 10);
  TUserButton* third = AddButton(150, 10);
  first->SetPartnerButton(second);
  EXPECT_EQ(second->PartnerButton(), first);

  MoveTo(*second, 5, 5);
  EXPECT_TRUE(Has(first->Client(), stHot));
  EXPECT_TRUE(Has(second->Client(), stHot));
  MoveTo(*third, 5, 5);
  EXPECT_FALSE(Has(first->Client(), stHot));
  EXPECT_FALSE(Has(second->Client(), stHot));

  // Partners stay mutual: a new partner takes the old one's place on both sides; nobody partners itself.
  third->SetPartnerButton(second);
  EXPECT_EQ(first->PartnerButton(), nullptr);
  EXPECT_EQ(second->PartnerButton(), third);
  first->SetPartnerButton(first);
  EXPECT_EQ(first->PartnerButton(), nullptr);
  third->Free();
  EXPECT_EQ(second->PartnerButton(), nullptr);
}

TEST_F(UserButtonTest, DropdownMenuHangsFromTheCornerItsSignPointsTo) {
  TUserButton* button = AddButton(20, 30);
  auto* menu = New<TPopupMenu>(form);
  button->SetDropdownMenu(menu);
  const POINT topRight = button->ClientToScreen(POINT{button->Width(), 0});
  const POINT bottomLeft = button->ClientToScreen(POINT{0, button->Height()});
  struct TCase {
    TSignPlace Place;
    TSignAt Sign;
    TPopupAlignment Alignment;
    POINT Expected;
  };
  const TCase cases[] = {
      {spRight, saArrowRight, TPopupAlignment::paLeft, topRight},
      {spCenter, saArrowRight, TPopupAlignment::paLeft, topRight},
      {spRight, saArrowDown, TPopupAlignment::paLeft, bottomLeft},
      {spBottom, saArrowRight, TPopupAlignment::paLeft, bottomLeft},
      {spBottom, saArrowDown, TPopupAlignment::paRight, POINT{bottomLeft.x + button->Width(), bottomLeft.y}},
  };
  for (const TCase& c : cases) {
    button->SetSignAt(c.Place, c.Sign);
    menu->SetAlignment(c.Alignment);
    const POINT p = button->DropdownPoint();
    EXPECT_EQ(p.x, c.Expected.x) << static_cast<int>(c.Place) << "/" << static_cast<int>(c.Sign);
    EXPECT_EQ(p.y, c.Expected.y) << static_cast<int>(c.Place) << "/" << static_cast<int>(c.Sign);
    button->SetSignAt(c.Place, saNone);
  }
  menu->Free();
  EXPECT_EQ(button->DropdownMenu(), nullptr);
}

TEST_F(UserButtonTest, TabShowsFocusAndDefaultAClickShowsNoFocus) {
  auto* edit = Add<TEdit>(10, 10, 100, 22);
  TUserWinButton* ok = AddWinButton(10, 50, u"OK");
  TUserWinButton* apply = AddWinButton(100, 50, u"Apply");
  ok->SetDefault(true);
  edit->SetFocus();
  Application->ProcessMessages();
  EXPECT_TRUE(ok->Client().IsDefault());
  EXPECT_FALSE(apply->Client().IsDefault());

  PressKey(edit->Handle(), VK_TAB);
  ASSERT_TRUE(ok->Focused());
  EXPECT_TRUE(Has(ok->Client(), stFocused));
  EXPECT_TRUE(ok->Client().IsDefault());
  PressKey(ok->Handle(), VK_TAB);
  ASSERT_TRUE(apply->Focused());
  EXPECT_TRUE(Has(apply->Client(), stFocused));
  EXPECT_TRUE(apply->Client().IsDefault());
  EXPECT_FALSE(Has(ok->Client(), stFocused));
  EXPECT_FALSE(ok->Client().IsDefault());

  ClickOn(*ok);
  EXPECT_TRUE(ok->Focused());
  EXPECT_FALSE(Has(ok->Client(), stFocused));
  EXPECT_TRUE(ok->Client().IsDefault());
  EXPECT_EQ(journal, TJournal{"click OK"});
  // Telling the focus again (a Default change) keeps the clicked button's focus unshown.
  apply->SetDefault(true);
  EXPECT_FALSE(Has(ok->Client(), stFocused));
}

TEST_F(UserButtonTest, EnterAndEscClickTheDefaultAndCancelButtonsOnce) {
  auto* edit = Add<TEdit>(10, 10, 100, 22);
  TUserWinButton* ok = AddWinButton(10, 50, u"OK");
  TUserWinButton* cancel = AddWinButton(100, 50, u"Cancel");
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  edit->SetFocus();
  Application->ProcessMessages();

  PressKey(edit->Handle(), VK_RETURN);
  EXPECT_EQ(journal, TJournal{"click OK"});
  EXPECT_EQ(form->ModalResult(), mrOk);
  journal.clear();
  PressKey(edit->Handle(), VK_ESCAPE);
  EXPECT_EQ(journal, TJournal{"click Cancel"});
  EXPECT_EQ(form->ModalResult(), mrCancel);

  // On the focused button Enter is its dialog key and Space its character: one click each.
  journal.clear();
  cancel->SetFocus();
  PressKey(cancel->Handle(), VK_RETURN);
  PressKey(cancel->Handle(), VK_SPACE);
  EXPECT_EQ(journal, (TJournal{"click Cancel", "click Cancel"}));
}

TEST_F(UserButtonTest, ActionLinksImageGroupAndCheckedState) {
  auto* action = New<TAction>(form);
  action->SetImageIndex(3);
  action->SetGroupIndex(5);
  action->SetChecked(true);
  int runs = 0;
  struct TCounter {
    int* Count;
    void Executed(TObject*) { ++*Count; }
  } counter{&runs};
  action->OnExecute = MakeMethod<&TCounter::Executed>(&counter);

  TUserButton* button = AddButton(10, 10);
  button->SetOptions(boAllowAllUp);
  button->SetAction(action);
  EXPECT_EQ(button->ImageIndex(), 3);
  EXPECT_EQ(button->GroupIndex(), 5);
  EXPECT_TRUE(button->Checked());
  action->SetChecked(false);
  EXPECT_FALSE(button->Checked());
  action->SetImageIndex(4);
  EXPECT_EQ(button->ImageIndex(), 4);

  // Without OnClick the click runs the action.
  ClickOn(*button);
  EXPECT_EQ(runs, 1);
  button->SetAction(nullptr);
  action->Free();
}

}  // namespace
