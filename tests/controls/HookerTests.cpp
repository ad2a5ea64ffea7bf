// The window-procedure hooker on real windows: reports before and after the control, a handled message stopped
// (WM_DESTROY never), the watch following a window made again, and nothing reaching a hooker that is gone.
#include <gtest/gtest.h>

#include <string>

#include "controls/baAppCmpns.h"
#include "framework/fwStdCtrls.h"
#include "tests/framework/FormTestSupport.h"

namespace {

class THookForm : public TForm {
 public:
  THookForm(TComponent* AOwner, TJournal*) : TForm(AOwner) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetBounds(200, 150, 240, 120);
  }
  void Rebuild(TJournal*) {
    while (ComponentCount() > 0) Components(ComponentCount() - 1)->Free();
    NewInto(Edit, this);
    Edit->SetParent(this);
  }
  TEdit* Edit = nullptr;
};

using HookerTest = SharedFormTest<THookForm>;

// Journals WM_CHAR and WM_DESTROY reports; swallows what it is told to.
class TWatcher : public TObject {
 public:
  TWatcher(TJournal& AJournal) : FJournal(AJournal) {}
  UINT Swallow = 0;
  int Rehooks = 0;
  void Before(TObject*, TMessage& AMessage, bool& AHandled) {
    Note("before", AMessage);
    if (AMessage.Msg == Swallow) AHandled = true;
  }
  void After(TObject*, TMessage& AMessage, bool&) { Note("after", AMessage); }

 private:
  void Note(const char* AWhen, const TMessage& AMessage) {
    if (AMessage.Msg == WM_CHAR) FJournal.push_back(std::string(AWhen) + " char " + char(AMessage.WParam));
    if (AMessage.Msg == WM_DESTROY) FJournal.push_back(std::string(AWhen) + " destroy");
  }
  TJournal& FJournal;
};

class TCountingHooker : public THooker {
 public:
  using THooker::THooker;
  int Rehooks = 0;

 protected:
  void Rehooked() override { ++Rehooks; }
};

THooker* Watch(TComponent* AOwner, TWinControl* AControl, TWatcher& AWatcher) {
  TCountingHooker* hooker = nullptr;
  NewInto(hooker, AOwner);
  hooker->OnBeforeMessage = MakeMethod<&TWatcher::Before>(&AWatcher);
  hooker->OnAfterMessage = MakeMethod<&TWatcher::After>(&AWatcher);
  hooker->SetControl(AControl);
  return hooker;
}

// At the end of the text (a window made again puts the caret at its start).
void Type(HWND AWindow, char16_t AChar) {
  SendMessageW(AWindow, EM_SETSEL, 32767, 32767);
  PostMessageW(AWindow, WM_CHAR, AChar, 1);
  Application->ProcessMessages();
}

}  // namespace

TEST_F(HookerTest, AHandledMessageStopsWithoutAnAfterReportButWmDestroyAlwaysGoesOn) {
  TWatcher watcher(journal);
  auto* hooker = static_cast<TCountingHooker*>(Watch(form, form->Edit, watcher));
  EXPECT_TRUE(hooker->Hooked());
  Type(form->Edit->Handle(), u'a');
  EXPECT_EQ(form->Edit->Text(), u"a");
  EXPECT_EQ(journal, (TJournal{"before char a", "after char a"}));

  journal.clear();
  watcher.Swallow = WM_CHAR;
  Type(form->Edit->Handle(), u'x');
  EXPECT_EQ(form->Edit->Text(), u"a");
  EXPECT_EQ(journal, (TJournal{"before char x"}));

  // Made again: WM_DESTROY reaches the control though handled, and the new window is watched after one pump.
  journal.clear();
  watcher.Swallow = WM_DESTROY;
  form->Edit->RecreateWnd();
  form->Edit->HandleNeeded();
  EXPECT_EQ(journal, (TJournal{"before destroy", "after destroy"}));
  EXPECT_FALSE(hooker->Hooked());
  Application->ProcessMessages();
  EXPECT_TRUE(hooker->Hooked());
  EXPECT_EQ(hooker->Rehooks, 1);
  journal.clear();
  watcher.Swallow = 0;
  Type(form->Edit->Handle(), u'b');
  EXPECT_EQ(form->Edit->Text(), u"ab");
  EXPECT_EQ(journal, (TJournal{"before char b", "after char b"}));

  // Freed, it watches no more.
  hooker->Free();
  journal.clear();
  Type(form->Edit->Handle(), u'c');
  EXPECT_EQ(form->Edit->Text(), u"abc");
  EXPECT_TRUE(journal.empty());
}

TEST_F(HookerTest, AHookerFreedWithARehookPendingOrWithItsFormHearsNothingMore) {
  TWatcher watcher(journal);
  auto* hooker = static_cast<TCountingHooker*>(Watch(form, form->Edit, watcher));
  form->Edit->RecreateWnd();
  form->Edit->HandleNeeded();
  hooker->Free();
  journal.clear();
  Application->ProcessMessages();
  Type(form->Edit->Handle(), u'a');
  EXPECT_TRUE(journal.empty());

  // A form freed with its control and its hooker schedules no re-hook for either.
  auto other = MakeForm<THookForm>(nullptr);
  other->Rebuild(nullptr);
  other->Edit->HandleNeeded();
  EXPECT_TRUE(Watch(other.get(), other->Edit, watcher)->Hooked());
  journal.clear();
  other.reset();
  Application->ProcessMessages();
  EXPECT_EQ(journal, (TJournal{"before destroy", "after destroy"}));
}
