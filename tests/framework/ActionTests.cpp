// Actions through the real loop: the shortcut walk over the forms and their lists, keys typed with SendInput so
// the modifiers are held; the idle update's rule for actions without a handler; running, auto-check and groups;
// the fixed texts of shortcuts.
#include <gtest/gtest.h>

#include "framework/fwTimer.h"
#include "tests/framework/ActionTestSupport.h"

namespace {

// A focusable control that writes down the keys and characters that reach it.
class TKeyProbe : public TCustomControl {
 public:
  TKeyProbe(TComponent* AOwner, TJournal* AJournal) : TCustomControl(AOwner), FJournal(AJournal) {
    SetTabStop(true);
    SetBounds(10, 10, 80, 24);
  }

 protected:
  void KeyDown(uint16_t& AKey, TShiftState AShift) override {
    // The modifiers typed around a key come down on their own.
    if (AKey != VK_CONTROL && AKey != VK_SHIFT && AKey != VK_MENU) FJournal->push_back("probe key down");
    TCustomControl::KeyDown(AKey, AShift);
  }
  void KeyPress(char16_t& AKey) override {
    FJournal->push_back("probe char " + std::to_string(static_cast<int>(AKey)));
    TCustomControl::KeyPress(AKey);
  }

 private:
  TJournal* FJournal;
};

// A list that runs the actions named "overridden" itself.
class TRunningList : public TActionList {
 public:
  TRunningList(TComponent* AOwner, TJournal* AJournal) : TActionList(AOwner), FJournal(AJournal) {}
  bool ExecuteAction(TAction* AAction) override {
    if (!HandlesAction(*AAction)) return TActionList::ExecuteAction(AAction);
    FJournal->push_back("list runs " + Utf8(AAction->Name()));
    return true;
  }
  bool HandlesAction(const TAction& AAction) const override {
    return AAction.Name() == u"overridden" || TActionList::HandlesAction(AAction);
  }

 private:
  TJournal* FJournal;
};

// A main form with two action lists and two embedded forms with one list each; the probe in the first embedded
// form has the focus.
class TShortCutForm : public TForm {
 public:
  TShortCutForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner), Runs(AJournal) {
    SetBounds(100, 100, 400, 200);
    SetCaption(u"Shortcuts");
    Build(AJournal);
  }

  void Rebuild(TJournal* AJournal) {
    // Children first (the embedded forms with their lists), then the form's own lists and actions.
    FreeAndNil(Inner);
    FreeAndNil(Other);
    while (ComponentCount() > 0) Components(ComponentCount() - 1)->Free();
    Runs.Journal = AJournal;
    Build(AJournal);
  }

  // An action of AList's form, named and keyed, that writes its sender's name down when run.
  TAction* Add(TActionList* AList, const char16_t* AName, TShortCut AShortCut) {
    auto* action = New<TAction>(AList->Owner());
    action->SetName(AName);
    action->SetShortCut(AShortCut);
    action->SetActionList(AList);
    action->OnExecute = MakeMethod<&TRunJournal::Executed>(&Runs);
    return action;
  }

  // Handlers the tests hang on actions and lists.
  void DisableSender(TObject* ASender) { static_cast<TAction*>(ASender)->SetEnabled(false); }
  void ListRuns(TAction* AAction, bool& AHandled) {
    Runs.Journal->push_back("list runs " + Utf8(AAction->Name()));
    AHandled = true;
  }
  void CheckedWhenRun(TObject*) { Runs.Journal->push_back(Watched->Checked() ? "checked" : "unchecked"); }

  TRunJournal Runs;
  TAction* Watched = nullptr;
  TActionList* Main1 = nullptr;
  TActionList* Main2 = nullptr;
  TForm* Inner = nullptr;
  TForm* Other = nullptr;
  TActionList* InnerList = nullptr;
  TActionList* OtherList = nullptr;
  TKeyProbe* Probe = nullptr;

 private:
  void Build(TJournal* AJournal) {
    Main1 = New<TActionList>(this);
    Main2 = New<TActionList>(this);
    CreateEmbeddedForm(Inner, *this, TAlign::alLeft, true);
    Inner->SetWidth(150);
    CreateEmbeddedForm(Other, *this, TAlign::alRight, true);
    Other->SetWidth(150);
    InnerList = New<TActionList>(Inner);
    OtherList = New<TActionList>(Other);
    NewInto(Probe, Inner, AJournal);
    Probe->SetName(u"probe");
    Probe->SetParent(Inner);
  }
};

class ShortCutTest : public SharedFormTest<TShortCutForm> {
 protected:
  void SetUp() override {
    SharedFormTest<TShortCutForm>::SetUp();
    form->Probe->SetFocus();
    ASSERT_TRUE(form->Probe->Focused());
  }
  TJournal Type(uint16_t AKey, std::initializer_list<uint16_t> AModifiers = {}) {
    journal.clear();
    EXPECT_TRUE(TypeKeys(AKey, AModifiers));
    return journal;
  }
};

TEST_F(ShortCutTest, TheFocusedFormWinsThenTheEnclosingFormsThenTheOtherEmbeddedFormsEachListInCreationOrder) {
  form->Add(form->InnerList, u"innerF5", MakeShortCut(VK_F5));
  form->Add(form->Main1, u"mainF5", MakeShortCut(VK_F5));
  form->Add(form->OtherList, u"otherF5", MakeShortCut(VK_F5));
  form->Add(form->Main2, u"mainF6", MakeShortCut(VK_F6));
  form->Add(form->OtherList, u"otherF6", MakeShortCut(VK_F6));
  form->Add(form->Main2, u"secondF7", MakeShortCut(VK_F7));
  form->Add(form->Main1, u"firstF7", MakeShortCut(VK_F7));
  form->Add(form->OtherList, u"otherF8", MakeShortCut(VK_F8));
  form->Add(form->InnerList, u"copyText", MakeShortCut('C', ssCtrl | ssShift));
  form->Add(form->Main1, u"copy", MakeShortCut('C', ssCtrl));

  // Each key runs one action once; a consumed key reaches no control and makes no character.
  EXPECT_EQ(Type(VK_F5), TJournal{"innerF5"});
  EXPECT_EQ(Type(VK_F6), TJournal{"mainF6"});
  EXPECT_EQ(Type(VK_F7), TJournal{"firstF7"});
  EXPECT_EQ(Type(VK_F8), TJournal{"otherF8"});
  EXPECT_EQ(Type('C', {VK_CONTROL, VK_SHIFT}), TJournal{"copyText"});
  EXPECT_EQ(Type('C', {VK_CONTROL}), TJournal{"copy"});
  // A key no action has goes on to the control as usual.
  EXPECT_EQ(Type('Q'), (TJournal{"probe key down", "probe char 113"}));
}

TEST_F(ShortCutTest, ADisabledMatchPassesOnAHiddenActionRunsAndSecondaryShortCutsCount) {
  form->Add(form->InnerList, u"disabled", MakeShortCut(VK_F5))->SetEnabled(false);
  form->Add(form->Main1, u"fallback", MakeShortCut(VK_F5));
  form->Add(form->OtherList, u"hidden", MakeShortCut(VK_F6))->SetVisible(false);
  TAction* secondary = form->Add(form->InnerList, u"secondary", MakeShortCut(VK_F9));
  secondary->SetSecondaryShortCuts({MakeShortCut(VK_F11), MakeShortCut('C', ssCtrl | ssShift)});

  EXPECT_EQ(Type(VK_F5), TJournal{"fallback"});
  EXPECT_EQ(Type(VK_F6), TJournal{"hidden"});
  EXPECT_EQ(Type('C', {VK_CONTROL, VK_SHIFT}), TJournal{"secondary"});
  EXPECT_EQ(Type(VK_F9), TJournal{"secondary"});
  // An update that disables the action lets the key pass to the control.
  secondary->OnUpdate = MakeMethod<&TShortCutForm::DisableSender>(form);
  EXPECT_EQ(Type(VK_F9), TJournal{"probe key down"});
}

TEST_F(ShortCutTest, UnderAModalFormOnlyItsOwnListsAnswer) {
  form->Add(form->Main1, u"mainF5", MakeShortCut(VK_F5));
  auto modal = MakeForm<TForm>();
  modal->SetBorderStyle(TFormBorderStyle::bsNone);
  modal->SetBounds(150, 150, 120, 80);
  auto* modalList = New<TActionList>(modal.get());
  auto* own = New<TAction>(modal.get());
  own->SetName(u"modalF6");
  own->SetShortCut(MakeShortCut(VK_F6));
  own->SetActionList(modalList);
  own->OnExecute = MakeMethod<&TRunJournal::Executed>(&form->Runs);

  struct TDriver : public TObject {
    TShortCutForm* Main;
    TForm* Modal;
    TJournal Seen;
    void Tick(TObject* ASender) {
      static_cast<TTimer*>(ASender)->SetEnabled(false);
      if (!PumpApplication([&] { return Modal->Active(); })) Seen.push_back("modal form not active");
      Main->Runs.Journal->clear();
      TypeKeys(VK_F5);
      // A key that reaches the main form's control meanwhile finds no shortcut either.
      PostMessageW(Main->Probe->Handle(), WM_KEYDOWN, VK_F5, KeyData(VK_F5));
      PumpApplication([] { return false; }, 50);
      TypeKeys(VK_F6);
      Seen = *Main->Runs.Journal;
      Modal->SetModalResult(mrOk);
    }
  } driver;
  driver.Main = form;
  driver.Modal = modal.get();
  auto* timer = New<TTimer>(modal.get());
  timer->SetInterval(20);
  timer->SetOnTimer(MakeMethod<&TDriver::Tick>(&driver));
  modal->ShowModal();
  EXPECT_EQ(driver.Seen, (TJournal{"probe key down", "modalF6"}));
}

TEST_F(ShortCutTest, IdleUpdateDisablesOnlyAnActionThatNothingExecutes) {
  TAction* bare = form->Add(form->Main1, u"bare", TShortCut{});
  bare->OnExecute = TNotifyEvent();
  form->Add(form->Main1, u"own", TShortCut{});
  TAction* listed = form->Add(form->Main2, u"listed", TShortCut{});
  listed->OnExecute = TNotifyEvent();
  form->Main2->OnExecute = MakeMethod<&TShortCutForm::ListRuns>(form);
  auto* running = New<TRunningList>(form, &journal);
  TAction* overridden = form->Add(running, u"overridden", MakeShortCut(VK_F5));
  overridden->OnExecute = TNotifyEvent();

  RunIdle();
  EXPECT_FALSE(bare->Enabled());
  EXPECT_TRUE(form->Main1->FindAction(u"own")->Enabled());
  EXPECT_TRUE(listed->Enabled());
  EXPECT_TRUE(overridden->Enabled());
  // Each of them runs through what keeps it enabled.
  journal.clear();
  EXPECT_TRUE(listed->Execute(nullptr));
  EXPECT_EQ(journal, TJournal{"list runs listed"});
  EXPECT_EQ(Type(VK_F5), TJournal{"list runs overridden"});
}

TEST_F(ShortCutTest, ExecuteHandsOnItsSenderAndAutoCheckTogglesBeforeTheHandlerRuns) {
  TAction* plain = form->Add(form->Main1, u"plain", TShortCut{});
  EXPECT_TRUE(plain->Execute(nullptr));
  EXPECT_TRUE(plain->Execute(form->Probe));
  plain->SetEnabled(false);
  EXPECT_FALSE(plain->Execute(nullptr));
  EXPECT_EQ(journal, (TJournal{"nil", "probe"}));

  TAction* first = form->Add(form->Main1, u"first", TShortCut{});
  TAction* second = form->Add(form->Main1, u"second", TShortCut{});
  TAction* toggle = form->Add(form->Main1, u"toggle", TShortCut{});
  for (TAction* a : {first, second, toggle}) a->SetAutoCheck(true);
  first->SetGroupIndex(1);
  second->SetGroupIndex(1);
  first->OnExecute = MakeMethod<&TShortCutForm::CheckedWhenRun>(form);
  toggle->OnExecute = MakeMethod<&TShortCutForm::CheckedWhenRun>(form);
  journal.clear();
  form->Watched = first;
  first->Execute(nullptr);
  second->Execute(nullptr);
  EXPECT_FALSE(first->Checked());
  EXPECT_TRUE(second->Checked());
  second->Execute(nullptr);  // a checked group member stays checked
  EXPECT_TRUE(second->Checked());
  form->Watched = toggle;
  toggle->Execute(nullptr);
  toggle->Execute(nullptr);
  EXPECT_FALSE(toggle->Checked());
  EXPECT_EQ(journal, (TJournal{"checked", "nil", "nil", "checked", "unchecked"}));
}

TEST(ShortCutText, FixedEnglishNamesAndTheInverseRoundTripEveryKeyWithEveryModifierSet) {
  struct TCase {
    TShortCut ShortCut;
    const char16_t* Text;
  };
  const TCase fixed[] = {
      {MakeShortCut(VK_F5, ssCtrl), u"Ctrl+F5"},
      {MakeShortCut('C', ssShift | ssCtrl), u"Ctrl+Shift+C"},
      {MakeShortCut(VK_DELETE, ssShift), u"Shift+Del"},
      {MakeShortCut(VK_F1), u"F1"},
      {MakeShortCut('E', ssCtrl | ssShift | ssAlt), u"Ctrl+Shift+Alt+E"},
      {MakeShortCut(VK_ADD, ssCtrl), u"Ctrl+Num +"},
      {MakeShortCut(VK_F24, ssAlt), u"Alt+F24"},
      {MakeShortCut(VK_INSERT, ssCtrl), u"Ctrl+Ins"},
      {MakeShortCut(VK_SPACE), u"Space"},
  };
  for (const TCase& c : fixed) {
    EXPECT_EQ(ShortCutToText(c.ShortCut), c.Text);
    EXPECT_EQ(TextToShortCut(c.Text), c.ShortCut) << Utf8(c.Text);
  }

  const uint16_t keys[] = {'A',       'Z',         '0',          '9',          VK_F1,        VK_F12,      VK_F24,
                           VK_BACK,   VK_TAB,      VK_RETURN,    VK_ESCAPE,    VK_SPACE,     VK_PRIOR,    VK_NEXT,
                           VK_END,    VK_HOME,     VK_LEFT,      VK_UP,        VK_RIGHT,     VK_DOWN,     VK_INSERT,
                           VK_DELETE, VK_NUMPAD0,  VK_NUMPAD9,   VK_MULTIPLY,  VK_ADD,       VK_SUBTRACT, VK_DECIMAL,
                           VK_DIVIDE, VK_OEM_PLUS, VK_OEM_MINUS, VK_OEM_COMMA, VK_OEM_PERIOD};
  for (uint16_t key : keys) {
    for (uint16_t bits = 0; bits < 8; ++bits) {
      TShiftState shift;
      if (bits & 1) shift |= ssShift;
      if (bits & 2) shift |= ssCtrl;
      if (bits & 4) shift |= ssAlt;
      const TShortCut shortCut = MakeShortCut(key, shift);
      const std::u16string text = ShortCutToText(shortCut);
      ASSERT_FALSE(text.empty()) << "key " << key;
      EXPECT_EQ(TextToShortCut(text), shortCut) << Utf8(text);
      EXPECT_EQ(TextToShortCut(LowerCaseAscii(text)), shortCut) << Utf8(text);
    }
  }

  // Modifiers in any order; text that names no key is no shortcut.
  EXPECT_EQ(TextToShortCut(u"shift+ctrl+c"), MakeShortCut('C', ssCtrl | ssShift));
  for (const char16_t* bad : {u"", u"Ctrl+", u"Ctrl", u"F0", u"F25", u"F05", u"Ctrl+Foo", u"Ctrl+Shift+", u"+"})
    EXPECT_TRUE(TextToShortCut(bad).None()) << Utf8(bad);
  EXPECT_EQ(ShortCutToText(TShortCut{}), u"");
  EXPECT_EQ(ShortCutToText(MakeShortCut(VK_SHIFT, ssCtrl)), u"");
  EXPECT_EQ(MakeShortCut('A', ssCtrl | ssLeft | ssDouble), MakeShortCut('A', ssCtrl));
}

}  // namespace
