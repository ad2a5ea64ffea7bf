// The application's fixed actions: made by name when their list is loaded, captioned from the string tables and
// again on a language change, an action of the same name reused, and Exit closing the main form.
#include <gtest/gtest.h>

#include "controls/baAppActns.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuWin32.h"
#include "tests/framework/FormTestSupport.h"

namespace {

class AppActionTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    InitializeLocalization();
    Localization->SetDefaultLanguage(LangEnglishUS);
  }
  void TearDown() override {
    FinalizeLocalization();
    FrameworkTest::TearDown();
  }
};

// A form whose own construction already put a help action into the list, under another spelling.
class TActionsForm : public TForm {
 public:
  explicit TActionsForm(TComponent* AOwner, bool AOwnHelp = false) : TForm(AOwner) {
    NewInto(Actions, this);
    if (AOwnHelp) {
      NewInto(OwnHelp, this);
      OwnHelp->SetName(u"helphelp");
      OwnHelp->SetActionList(Actions);
    }
    OnCloseQuery = MakeMethod<&TActionsForm::Query>(this);
  }
  void Query(TObject*, bool& ACanClose) {
    ++Queries;
    ACanClose = true;
  }
  TAppActions* Actions = nullptr;
  TFixAction* OwnHelp = nullptr;
  int Queries = 0;
};

}  // namespace

TEST_F(AppActionTest, LoadingMakesTheThreeActionsCaptionedAndALanguageChangeCaptionsThemAgain) {
  auto form = MakeForm<TActionsForm>();
  TAppActions* list = form->Actions;
  ASSERT_EQ(list->ActionCount(), 3);
  struct Expected {
    TFixAction* Action;
    const char16_t* Name;
    TShortCut ShortCut;
    const char16_t* Caption;
  };
  const Expected expected[] = {{list->ExitAction(), u"FileExit", {}, u"Exit"},
                               {list->HelpAction(), u"HelpHelp", MakeShortCut(VK_F1), u"Contents"},
                               {list->AboutAction(), u"HelpAbout", {}, u"About"}};
  for (const Expected& e : expected) {
    ASSERT_NE(e.Action, nullptr) << std::string(e.Name, e.Name + 8);
    EXPECT_EQ(e.Action->Name(), e.Name);
    EXPECT_EQ(e.Action->Owner(), form.get());
    EXPECT_EQ(e.Action->ShortCut(), e.ShortCut);
    EXPECT_EQ(e.Action->Caption(), e.Caption);
    e.Action->SetCaption(u"stale");
  }
  Localization->SetLanguage(LangEnglishUS);
  for (const Expected& e : expected) EXPECT_EQ(e.Action->Caption(), e.Caption);

  // A freed action leaves its property empty.
  list->AboutAction()->Free();
  EXPECT_EQ(list->AboutAction(), nullptr);
}

TEST_F(AppActionTest, AnActionOfTheSameNameIsReusedAndGetsTheShortCut) {
  auto form = MakeForm<TActionsForm>(true);
  EXPECT_EQ(form->Actions->ActionCount(), 3);
  EXPECT_EQ(form->Actions->HelpAction(), form->OwnHelp);
  EXPECT_EQ(form->OwnHelp->ShortCut(), MakeShortCut(VK_F1));
  EXPECT_EQ(form->OwnHelp->Caption(), u"Contents");
}

TEST_F(AppActionTest, ExitWithoutAHandlerClosesTheMainFormAndStaysEnabled) {
  TActionsForm* main = nullptr;  // the application frees it
  Application->CreateForm(main);
  ASSERT_EQ(Application->MainForm(), main);
  TFixAction* exit = main->Actions->ExitAction();
  main->Actions->UpdateActions();
  EXPECT_TRUE(exit->Enabled());
  EXPECT_FALSE(main->Actions->HelpAction()->Enabled());

  EXPECT_TRUE(exit->Execute(nullptr));
  EXPECT_EQ(main->Queries, 1);
  Application->ProcessMessages();
  EXPECT_TRUE(Application->Terminated());
}
