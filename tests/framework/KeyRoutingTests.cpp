// Keys and focus through the real message loop: the routing stages and their order, a key consumed at any stage,
// dialog keys and characters, WM_GETDLGCODE per control, and the focus-changed broadcast with exit after the
// move.
#include <gtest/gtest.h>

#include <memory>

#include "framework/fwSubclass.h"
#include "tests/framework/FormTestSupport.h"

namespace {

std::string Utf8(const std::u16string& AText) { return std::string(AText.begin(), AText.end()); }

// A focusable control that writes down what reaches it.
class TKeyProbe : public TCustomControl {
 public:
  TKeyProbe(TComponent* AOwner, TJournal* AJournal, std::string ATag)
      : TCustomControl(AOwner), FJournal(AJournal), FTag(std::move(ATag)) {
    SetTabStop(true);
    SetBounds(10, 10, 80, 24);
  }

  bool ZeroInKeyDown = false;
  LRESULT DialogCode = -1;  // -1: the framework's answer
  bool PumpInClick = false;
  int Clicks = 0;

 protected:
  void KeyDown(uint16_t& AKey, TShiftState AShift) override {
    FJournal->push_back(FTag + " key down");
    if (ZeroInKeyDown) AKey = 0;
    TCustomControl::KeyDown(AKey, AShift);
  }
  void KeyPress(char16_t& AKey) override {
    FJournal->push_back(FTag + " char " + std::to_string(static_cast<int>(AKey)));
    // A button clicks on Enter as a character too.
    if (AKey == u'\r') ++Clicks;
    TCustomControl::KeyPress(AKey);
  }
  void DefaultHandler(TMessage& AMessage) override {
    if (AMessage.Msg == WM_KEYDOWN) FJournal->push_back(FTag + " default");
    TCustomControl::DefaultHandler(AMessage);
  }
  void WndProc(TMessage& AMessage) override {
    if (AMessage.Msg == WM_GETDLGCODE && DialogCode >= 0) {
      AMessage.Result = DialogCode;
      AMessage.Handled = true;
      return;
    }
    // Drawn as the default button while focused: Enter clicks it as a dialog key.
    if (AMessage.Msg == CM_DIALOGKEY && AMessage.WParam == VK_RETURN && Focused()) {
      FJournal->push_back(FTag + " dialog key");
      ++Clicks;
      // A click that runs a loop of its own (a modal dialog) must not see the key's character either.
      if (PumpInClick) Application->ProcessMessages();
      AMessage.Result = 1;
      return;
    }
    if (AMessage.Msg == CM_DIALOGCHAR && IsAccel(static_cast<char16_t>(AMessage.WParam), Caption())) {
      FJournal->push_back(FTag + " accelerator");
      AMessage.Result = 1;
      return;
    }
    if (AMessage.Msg == CM_CANCELMODE) {
      auto* taker = reinterpret_cast<TControl*>(AMessage.LParam);
      FJournal->push_back(FTag + " cancels its press for " + (taker ? Utf8(taker->Name()) : "nothing"));
    }
    if (AMessage.Msg == CM_FOCUSCHANGED) {
      auto* focused = reinterpret_cast<TControl*>(AMessage.LParam);
      FJournal->push_back(FTag + " hears focus on " + (focused ? Utf8(focused->Name()) : "form"));
    }
    TCustomControl::WndProc(AMessage);
  }

 private:
  TJournal* FJournal;
  std::string FTag;
};

// A windowless control with an accelerator in its caption.
class TAccelLabel : public TGraphicControl {
 public:
  TAccelLabel(TComponent* AOwner, TJournal* AJournal) : TGraphicControl(AOwner), FJournal(AJournal) {}

 protected:
  void WndProc(TMessage& AMessage) override {
    if (AMessage.Msg == CM_DIALOGCHAR && IsAccel(static_cast<char16_t>(AMessage.WParam), Caption())) {
      FJournal->push_back("label accelerator");
      AMessage.Result = 1;
      return;
    }
    TGraphicControl::WndProc(AMessage);
  }

 private:
  TJournal* FJournal;
};

class TKeyForm : public TForm {
 public:
  TKeyForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner), Journal(AJournal) {
    SetBounds(100, 100, 300, 200);
    SetCaption(u"Keys");
    AddProbes();
  }

  // Starts again with two new probes writing into AJournal and no preview (for a form shared by several tests).
  void Rebuild(TJournal* AJournal) {
    while (ControlCount() > 0) Controls(ControlCount() - 1)->Free();
    Journal = AJournal;
    SetKeyPreview(false);
    OnKeyDown = TKeyEvent();
    OnKeyPress = TKeyPressEvent();
    AddProbes();
  }

  TJournal* Journal;
  TKeyProbe* First = nullptr;
  TKeyProbe* Second = nullptr;

 private:
  void AddProbes() {
    NewInto(First, this, Journal, "first");
    First->SetName(u"First");
    First->SetParent(this);
    NewInto(Second, this, Journal, "second");
    Second->SetName(u"Second");
    Second->SetLeft(100);
    Second->SetParent(this);
  }
};

// The tests share one shown form (see SharedFormTest), rebuilt before each.
using KeyRoutingTest = SharedFormTest<TKeyForm>;

// The stages of the routing, each able to consume the key.
enum class TStage { None, PreDispatch, WindowHook, Preview, Control };

struct TStages : public TObject {
  TJournal* Journal = nullptr;
  TStage ConsumeAt = TStage::None;

  bool PreDispatch(MSG& AMessage) {
    if (AMessage.message != WM_KEYDOWN) return false;
    Journal->push_back("pre-dispatch");
    return ConsumeAt == TStage::PreDispatch;
  }
  void Preview(TObject*, uint16_t& AKey, TShiftState) {
    Journal->push_back("preview");
    if (ConsumeAt == TStage::Preview) AKey = 0;
  }
  void Control(TObject*, uint16_t& AKey, TShiftState) {
    Journal->push_back("control");
    if (ConsumeAt == TStage::Control) AKey = 0;
  }
  void WindowHook(TMessage& AMessage) {
    if (AMessage.Msg != WM_KEYDOWN) return;
    Journal->push_back("window hook");
    if (ConsumeAt == TStage::WindowHook) AMessage.Answer();
  }
};

TEST_F(KeyRoutingTest, KeyDownPassesTheStagesInOrderAndAZeroKeyStopsItAtAnyStage) {
  struct TCase {
    TStage ConsumeAt;
    TJournal Expected;
  };
  const TCase cases[] = {
      {TStage::None, {"pre-dispatch", "window hook", "preview", "first key down", "control", "first default"}},
      {TStage::PreDispatch, {"pre-dispatch"}},
      {TStage::WindowHook, {"pre-dispatch", "window hook"}},
      {TStage::Preview, {"pre-dispatch", "window hook", "preview"}},
      {TStage::Control, {"pre-dispatch", "window hook", "preview", "first key down", "control"}},
  };
  for (const TCase& c : cases) {
    form->Rebuild(&journal);
    TStages stages;
    stages.Journal = &journal;
    stages.ConsumeAt = c.ConsumeAt;
    form->SetKeyPreview(true);
    form->OnKeyDown = MakeMethod<&TStages::Preview>(&stages);
    form->First->OnKeyDown = MakeMethod<&TStages::Control>(&stages);
    form->First->SetFocus();
    ASSERT_TRUE(form->First->Focused());
    auto windowHook =
        std::make_unique<TWindowSubclass>(form->First->Handle(), MakeMethod<&TStages::WindowHook>(&stages));
    const TMessageHook hook = MakeMethod<&TStages::PreDispatch>(&stages);
    Application->AddMessageHook(hook);
    journal.clear();
    PressKey(form->First->Handle(), 'K');
    Application->RemoveMessageHook(hook);
    windowHook.reset();
    // The character of an unconsumed letter follows; only the key-down stages are compared.
    TJournal keyDown;
    for (const std::string& entry : journal)
      if (entry.find(" char ") == std::string::npos) keyDown.push_back(entry);
    EXPECT_EQ(keyDown, c.Expected) << "consumed at stage " << static_cast<int>(c.ConsumeAt);
  }
}

TEST_F(KeyRoutingTest, AKeyConsumedInKeyDownStillProducesItsCharacter) {
  form->First->SetFocus();
  form->First->ZeroInKeyDown = true;
  journal.clear();
  PressKey(form->First->Handle(), 'K');
  EXPECT_EQ(journal, (TJournal{"first key down", "first char 107"}));
}

TEST_F(KeyRoutingTest, EnterConsumedAsDialogKeyClicksAFocusedDefaultButtonOnceAndBringsNoCharacter) {
  form->First->SetFocus();
  journal.clear();
  PressKey(form->First->Handle(), VK_RETURN);
  EXPECT_EQ(form->First->Clicks, 1);
  EXPECT_EQ(journal, (TJournal{"first key down", "first dialog key"}));

  form->First->PumpInClick = true;
  journal.clear();
  PressKey(form->First->Handle(), VK_RETURN);
  EXPECT_EQ(form->First->Clicks, 2);
  EXPECT_EQ(journal, (TJournal{"first key down", "first dialog key"}));

  // An Escape nobody takes keeps its character.
  journal.clear();
  PressKey(form->First->Handle(), VK_ESCAPE);
  EXPECT_EQ(journal, (TJournal{"first key down", "first default", "first char 27"}));

  // A control that wants every key gets Enter itself, with its character.
  form->Second->DialogCode = DLGC_WANTALLKEYS;
  form->Second->SetFocus();
  journal.clear();
  PressKey(form->Second->Handle(), VK_RETURN);
  EXPECT_EQ(journal, (TJournal{"second key down", "second default", "second char 13"}));
}

TEST_F(KeyRoutingTest, TabMovesTheFocusInTabOrderUnlessTheControlAsksForTabs) {
  form->First->SetFocus();
  journal.clear();
  PressKey(form->First->Handle(), VK_TAB);
  EXPECT_TRUE(form->Second->Focused());
  EXPECT_EQ(form->ActiveControl(), form->Second);
  for (const std::string& entry : journal) EXPECT_EQ(entry.find(" char "), std::string::npos) << entry;

  // Tab order, not creation order, decides; Tab wraps around.
  form->Second->SetTabOrder(0);
  form->First->SetFocus();
  PressKey(form->First->Handle(), VK_TAB);
  EXPECT_TRUE(form->Second->Focused());
  PressKey(form->Second->Handle(), VK_TAB);
  EXPECT_TRUE(form->First->Focused());

  form->First->DialogCode = DLGC_WANTTAB;
  journal.clear();
  PressKey(form->First->Handle(), VK_TAB);
  EXPECT_TRUE(form->First->Focused());
  EXPECT_EQ(journal, (TJournal{"first key down", "first default", "first char 9"}));
}

TEST_F(KeyRoutingTest, AcceleratorsReachWindowedAndWindowlessControlsThroughTheDialogCharacterBroadcast) {
  TAccelLabel* label = nullptr;
  NewInto(label, form, &journal);
  label->SetCaption(u"&Open");
  label->SetParent(form);
  form->Second->SetCaption(u"Sa&ve");
  form->First->SetFocus();

  journal.clear();
  PressKey(form->First->Handle(), 'O', true);
  EXPECT_EQ(journal, (TJournal{"first key down", "label accelerator"}));
  journal.clear();
  PressKey(form->First->Handle(), 'V', true);
  EXPECT_EQ(journal, (TJournal{"first key down", "second accelerator"}));

  // Our own controls take typed characters: a plain letter is no accelerator for them...
  journal.clear();
  PressKey(form->First->Handle(), 'O');
  EXPECT_EQ(journal, (TJournal{"first key down", "first default", "first char 111"}));
  // ...but it is for a control that does not want characters.
  form->First->DialogCode = DLGC_BUTTON;
  journal.clear();
  PressKey(form->First->Handle(), 'O');
  EXPECT_EQ(journal, (TJournal{"first key down", "first default", "first char 111", "label accelerator"}));
}

// What an Alt character meets besides the controls: the previewing form, the window hook, and the menu's keyboard
// entry that the default procedure starts (answered here, so no menu loop runs).
struct TAltWatch : public TObject {
  TJournal* Journal = nullptr;
  void PreviewChar(TObject*, char16_t& AKey) { Journal->push_back("preview char " + std::to_string(int(AKey))); }
  void WindowHook(TMessage& AMessage) {
    if (AMessage.Msg == WM_SYSCHAR) Journal->push_back("window hook alt char " + std::to_string(AMessage.WParam));
    if (AMessage.Msg == WM_SYSCOMMAND && (AMessage.WParam & 0xFFF0) == SC_KEYMENU) {
      Journal->push_back("menu key " + std::to_string(AMessage.LParam));
      AMessage.Answer();
    }
  }
};

TEST_F(KeyRoutingTest, AltCharactersReachTheWindowHookAcceleratorsAndTheMenuButNeverKeyPressWhileAltGrTypes) {
  TAccelLabel* label = nullptr;
  NewInto(label, form, &journal);
  label->SetCaption(u"&Open");
  label->SetParent(form);
  TAltWatch watch;
  watch.Journal = &journal;
  form->SetKeyPreview(true);
  form->OnKeyPress = MakeMethod<&TAltWatch::PreviewChar>(&watch);
  form->First->SetFocus();
  const TWindowHookEvent hook = MakeMethod<&TAltWatch::WindowHook>(&watch);
  auto controlHook = std::make_unique<TWindowSubclass>(form->First->Handle(), hook);
  auto formHook = std::make_unique<TWindowSubclass>(form->Handle(), hook);

  journal.clear();
  PressKey(form->First->Handle(), 'S', true);
  EXPECT_EQ(journal, (TJournal{"first key down", "window hook alt char 115", "menu key 115"}));
  journal.clear();
  PressKey(form->First->Handle(), 'O', true);
  EXPECT_EQ(journal, (TJournal{"first key down", "window hook alt char 111", "label accelerator"}));

  // AltGr characters come as WM_CHAR with Ctrl and Alt down: they are typed.
  journal.clear();
  PostMessageW(form->First->Handle(), WM_CHAR, u'@', KeyData('Q', true));
  Application->ProcessMessages();
  EXPECT_EQ(journal, (TJournal{"preview char 64", "first char 64"}));
}

TEST_F(KeyRoutingTest, EveryFormOnTheParentChainPreviewsKeysOutermostFirst) {
  TKeyForm* host = form;
  TKeyForm* inner = nullptr;
  CreateEmbeddedForm(inner, *host, TAlign::alBottom, true, &journal);
  struct TPreview : public TObject {
    TJournal* Journal;
    std::string Tag;
    void KeyDown(TObject*, uint16_t&, TShiftState) { Journal->push_back(Tag); }
  } outerPreview, innerPreview;
  outerPreview.Journal = innerPreview.Journal = &journal;
  outerPreview.Tag = "outer preview";
  innerPreview.Tag = "inner preview";
  host->SetKeyPreview(true);
  host->OnKeyDown = MakeMethod<&TPreview::KeyDown>(&outerPreview);
  inner->SetKeyPreview(true);
  inner->OnKeyDown = MakeMethod<&TPreview::KeyDown>(&innerPreview);
  inner->First->SetFocus();
  EXPECT_EQ(host->ActiveControl(), inner->First);
  EXPECT_EQ(inner->ActiveControl(), inner->First);
  journal.clear();
  PressKey(inner->First->Handle(), VK_F5);
  EXPECT_EQ(journal, (TJournal{"outer preview", "inner preview", "first key down", "first default"}));
}

// Focus notifications in the order a control sees them.
struct TFocusWatch : public TObject {
  TJournal* Journal;
  TKeyForm* Form;
  void Exit(TObject* ASender) {
    auto* control = static_cast<TWinControl*>(ASender);
    Journal->push_back(Utf8(control->Name()) + " exit; focus on " + (Form->Second->Focused() ? "second" : "other") +
                       "; active " + Utf8(Form->ActiveControl()->Name()));
  }
  void Enter(TObject* ASender) { Journal->push_back(Utf8(static_cast<TWinControl*>(ASender)->Name()) + " enter"); }
};

TEST_F(KeyRoutingTest, FocusChangeCancelsTheOldPressIsBroadcastThenTheOldControlExitsAfterTheMoveAndTheNewOneEnters) {
  TFocusWatch watch;
  watch.Journal = &journal;
  watch.Form = form;
  form->First->OnExit = MakeMethod<&TFocusWatch::Exit>(&watch);
  form->Second->OnEnter = MakeMethod<&TFocusWatch::Enter>(&watch);
  form->First->SetFocus();
  journal.clear();
  form->Second->SetFocus();
  EXPECT_EQ(journal,
            (TJournal{"first cancels its press for Second", "first hears focus on Second",
                      "second hears focus on Second", "First exit; focus on second; active Second", "Second enter"}));
}

TEST_F(KeyRoutingTest, DisablingTheFocusedControlOrHidingOrDisablingItsContainerGivesTheFocusToTheFormWithoutAnExit) {
  TFocusWatch watch;
  watch.Journal = &journal;
  watch.Form = form;
  form->First->OnExit = MakeMethod<&TFocusWatch::Exit>(&watch);
  form->First->SetFocus();
  ASSERT_TRUE(form->First->Focused());
  form->First->SetEnabled(false);
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_EQ(GetFocus(), form->Handle());

  // A probe inside a container: hiding or disabling the container takes the focus away from the probe.
  TKeyProbe* container = nullptr;
  NewInto(container, form, &journal, "container");
  container->SetControlStyle(container->ControlStyle() | csAcceptsControls);
  container->SetBounds(10, 60, 200, 60);
  container->SetParent(form);
  TKeyProbe* inner = nullptr;
  NewInto(inner, form, &journal, "inner");
  inner->SetParent(container);
  inner->SetFocus();
  ASSERT_TRUE(inner->Focused());
  EXPECT_EQ(form->ActiveControl(), inner);
  container->Hide();
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_EQ(GetFocus(), form->Handle());
  container->Show();
  inner->SetFocus();
  ASSERT_TRUE(inner->Focused());
  container->SetEnabled(false);
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_EQ(GetFocus(), form->Handle());
  // The probes hear that the focus went to the form itself, but no exit notification runs.
  for (const std::string& entry : journal) EXPECT_EQ(entry.find("exit"), std::string::npos) << entry;
}

TEST_F(KeyRoutingTest, ActiveControlSetBeforeShowingGetsTheFocusWhenTheFormIsActivated) {
  auto own = MakeForm<TKeyForm>(&journal);  // not shown yet, unlike the shared one
  own->SetActiveControl(own->Second);
  EXPECT_FALSE(own->HandleAllocated());
  ASSERT_TRUE(ShowActive(*own));
  EXPECT_TRUE(PumpUntil([&] { return own->Second->Focused(); }, 2000));

  // Hiding the focused control gives the focus up; a removed control is forgotten.
  own->Second->Hide();
  EXPECT_EQ(own->ActiveControl(), nullptr);
  EXPECT_FALSE(own->Second->Focused());
  own->First->SetFocus();
  own->First->Free();
  own->First = nullptr;
  EXPECT_EQ(own->ActiveControl(), nullptr);
}

}  // namespace
