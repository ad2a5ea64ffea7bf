#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/cuUtilsWin.h"
#include "framework/fwApplication.h"
#include "framework/fwTimer.h"
#include "framework/fwUtilityWindow.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace {

// A stand-in form: a plain top-level window with a close query the test decides.
class TProbeForm : public TComponent, public IApplicationForm {
 public:
  TProbeForm(TComponent* AOwner, std::vector<std::u16string>* AJournal = nullptr)
      : TComponent(AOwner), FJournal(AJournal) {}
  ~TProbeForm() override {
    if (FJournal) FJournal->push_back(u"free " + Name());
    if (FWindow) DestroyWindow(FWindow);
  }
  HWND FormHandle() override {
    if (!FWindow)
      FWindow = CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
                                nullptr, nullptr);
    return FWindow;
  }
  void FormShow() override { ShowWindow(FormHandle(), SW_SHOWNORMAL); }
  bool FormCloseQuery() override {
    ++CloseQueries;
    return MayClose;
  }
  bool FormStaysOnTop() override { return false; }

  bool MayClose = true;
  int CloseQueries = 0;

 private:
  std::vector<std::u16string>* FJournal;
  HWND FWindow = nullptr;
};

class TDataModule : public TComponent {
 public:
  TDataModule(TComponent* AOwner, std::vector<std::u16string>* AJournal = nullptr)
      : TComponent(AOwner), FJournal(AJournal) {}
  ~TDataModule() override {
    if (FJournal) FJournal->push_back(u"free " + Name());
  }

 private:
  std::vector<std::u16string>* FJournal;
};

using ApplicationTest = FrameworkTest;

TEST_F(ApplicationTest, FirstFormCreatedBecomesMainFormDataModulesDoNot) {
  TDataModule* global = nullptr;
  Application->CreateForm(global);
  TProbeForm* main = nullptr;
  Application->CreateForm(main);
  TProbeForm* second = nullptr;
  Application->CreateForm(second);
  EXPECT_NE(global, nullptr);
  EXPECT_EQ(Application->MainForm(), main);
  EXPECT_EQ(global->Owner(), Application);
}

// Every entry into the program's code that the loop makes: a handler that throws is reported in a message box
// (caption the title, text the message) and the loop goes on.
class TThrower : public TObject {
 public:
  std::vector<std::u16string> Reports;  // caption | text | modal level, per box seen
  bool LaterTickRan = false;
  std::u16string Source;

  void Throw() {
    std::u16string source = Source;
    Source.clear();  // each source throws once
    throw EProgrammingError(u"Broken in " + source);
  }
  void FailingTick(TObject* ASender) {
    static_cast<TTimer*>(ASender)->SetEnabled(false);
    Throw();
  }
  void FailingIdle(TObject*, bool&) {
    if (Source == u"idle") Throw();
  }
  bool FailingHook(MSG& AMessage) {
    if (Source == u"hook" && AMessage.message == WM_APP + 7) Throw();
    return false;
  }
  void FailingWindow(TMessage& AMessage) {
    if (AMessage.Msg == WM_APP + 7 && Source == u"window") Throw();
  }
  // Ticks inside the message box's own loop: reads the box and closes it.
  void CloserTick(TObject*) {
    if (HWND box = FindThreadMessageBox()) {
      Reports.push_back(WindowCaption(box) + u"|" + MessageBoxText(box) + u"|" + IntToStr(Application->ModalLevel()));
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  }
  void LaterTick(TObject* ASender) {
    static_cast<TTimer*>(ASender)->SetEnabled(false);
    LaterTickRan = true;
    Application->Terminate();
  }
};

TEST_F(ApplicationTest, ExceptionInHandlerIsReportedInMessageBoxAndLoopGoesOn) {
  struct TCase {
    const char16_t* Source;
  };
  const TCase cases[] = {{u"tick"}, {u"idle"}, {u"hook"}, {u"window"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.Source));
    TThrower thrower;
    thrower.Source = c.Source;
    Application->SetTitle(u"Probe Title");
    TUtilityWindow target(MakeMethod<&TThrower::FailingWindow>(&thrower));
    Application->AddIdleHandler(MakeMethod<&TThrower::FailingIdle>(&thrower));
    Application->AddMessageHook(MakeMethod<&TThrower::FailingHook>(&thrower));

    auto* failing = new TTimer(Application);
    failing->SetInterval(30);
    failing->SetEnabled(thrower.Source == u"tick");
    failing->SetOnTimer(MakeMethod<&TThrower::FailingTick>(&thrower));
    auto* closer = new TTimer(Application);
    closer->SetInterval(50);
    closer->SetOnTimer(MakeMethod<&TThrower::CloserTick>(&thrower));
    auto* later = new TTimer(Application);
    later->SetInterval(700);
    later->SetOnTimer(MakeMethod<&TThrower::LaterTick>(&thrower));
    PostMessageW(target.Handle(), WM_APP + 7, 0, 0);

    Application->Run();

    EXPECT_TRUE(thrower.LaterTickRan);
    ASSERT_EQ(thrower.Reports.size(), 1u);
    EXPECT_EQ(thrower.Reports[0], u"Probe Title|Broken in " + std::u16string(c.Source) + u"|1");
    EXPECT_EQ(Application->ModalLevel(), 0);

    Application->RemoveIdleHandler(MakeMethod<&TThrower::FailingIdle>(&thrower));
    Application->RemoveMessageHook(MakeMethod<&TThrower::FailingHook>(&thrower));
    Application->DestroyComponents();
    // The next case runs a fresh loop.
    EndApplication();
    StartApplication();
  }
}

class TReportCatcher : public TObject {
 public:
  std::vector<std::u16string> Messages;
  void Report(TObject*, const std::u16string& AMessage) { Messages.push_back(AMessage); }
  void Tick(TObject* ASender) {
    static_cast<TTimer*>(ASender)->SetEnabled(false);
    throw std::runtime_error("plain failure");
  }
};

TEST_F(ApplicationTest, OnExceptionReplacesTheMessageBox) {
  TReportCatcher catcher;
  Application->OnException = MakeMethod<&TReportCatcher::Report>(&catcher);
  auto* timer = new TTimer(Application);
  timer->SetInterval(20);
  timer->SetOnTimer(MakeMethod<&TReportCatcher::Tick>(&catcher));
  ASSERT_TRUE(PumpUntil([&] { return !catcher.Messages.empty(); }));
  EXPECT_EQ(catcher.Messages[0], u"plain failure");
  EXPECT_EQ(FindThreadMessageBox(), nullptr);
}

class THookProbe : public TObject {
 public:
  int Seen = 0;
  int Dispatched = 0;
  int IdleCalls = 0;
  int IdleWanted = 0;
  bool Swallow(MSG& AMessage) {
    if (AMessage.message != WM_APP + 3) return false;
    ++Seen;
    return true;
  }
  void Window(TMessage& AMessage) {
    if (AMessage.Msg == WM_APP + 3 || AMessage.Msg == WM_APP + 4) ++Dispatched;
  }
  void Idle(TObject*, bool& ADone) {
    ++IdleCalls;
    if (IdleCalls < IdleWanted)
      ADone = false;  // asks to be called again before waiting
    else
      Application->Terminate();
  }
};

TEST_F(ApplicationTest, MessageHookRunsBeforeDispatchAndCanKeepMessage) {
  THookProbe probe;
  TUtilityWindow target(MakeMethod<&THookProbe::Window>(&probe));
  Application->AddMessageHook(MakeMethod<&THookProbe::Swallow>(&probe));
  PostMessageW(target.Handle(), WM_APP + 3, 0, 0);
  PostMessageW(target.Handle(), WM_APP + 4, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(probe.Seen, 1);
  EXPECT_EQ(probe.Dispatched, 1);  // only the message the hook let through
  Application->RemoveMessageHook(MakeMethod<&THookProbe::Swallow>(&probe));
  PostMessageW(target.Handle(), WM_APP + 3, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(probe.Dispatched, 2);
}

TEST_F(ApplicationTest, IdleHandlersRunWhenQueueEmptiesAndCanAskToRunAgain) {
  THookProbe probe;
  probe.IdleWanted = 3;
  Application->AddIdleHandler(MakeMethod<&THookProbe::Idle>(&probe));
  Application->Run();  // the third idle call terminates
  EXPECT_EQ(probe.IdleCalls, 3);
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(ApplicationTest, QueryEndSessionAsksMainFormAndEndSessionFreesInReverseOrder) {
  std::vector<std::u16string> journal;
  TDataModule* global = nullptr;
  Application->CreateForm(global, &journal);
  global->SetName(u"Global");
  TProbeForm* main = nullptr;
  Application->CreateForm(main, &journal);
  main->SetName(u"MainForm");

  main->MayClose = false;
  EXPECT_EQ(SendMessageW(Application->Handle(), WM_QUERYENDSESSION, 0, 0), FALSE);
  main->MayClose = true;
  EXPECT_EQ(SendMessageW(Application->Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(main->CloseQueries, 2);

  struct TEnd : TObject {
    std::vector<std::u16string>* Journal;
    void Ended(TObject*) { Journal->push_back(u"end session"); }
  } end;
  end.Journal = &journal;
  Application->OnEndSession = MakeMethod<&TEnd::Ended>(&end);
  SendMessageW(Application->Handle(), WM_ENDSESSION, TRUE, 0);
  std::vector<std::u16string> expected{u"free MainForm", u"free Global", u"end session"};
  EXPECT_EQ(journal, expected);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST_F(ApplicationTest, FreeingMainFormEndsTheLoop) {
  TProbeForm* main = nullptr;
  Application->CreateForm(main);
  Application->SetShowMainForm(false);
  struct TKiller : TObject {
    TProbeForm* Form;
    void Tick(TObject* ASender) {
      static_cast<TTimer*>(ASender)->SetEnabled(false);
      Form->Free();
    }
  } killer;
  killer.Form = main;
  auto* timer = new TTimer(Application);
  timer->SetInterval(20);
  timer->SetOnTimer(MakeMethod<&TKiller::Tick>(&killer));
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST_F(ApplicationTest, RestoreShowsMinimisedMainForm) {
  TProbeForm* main = nullptr;
  Application->CreateForm(main);
  main->FormShow();
  ShowWindow(main->FormHandle(), SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(main->FormHandle()));
  Application->Restore();
  EXPECT_FALSE(IsIconic(main->FormHandle()));
}

}  // namespace

namespace {

int gDialogOk = 0;

INT_PTR CALLBACK ProbeDialogProc(HWND, UINT AMsg, WPARAM AWParam, LPARAM) {
  if (AMsg == WM_INITDIALOG) return TRUE;
  if (AMsg == WM_COMMAND && LOWORD(AWParam) == IDOK) {
    ++gDialogOk;
    return TRUE;
  }
  return FALSE;
}

TEST_F(ApplicationTest, ModelessDialogsGetTheirKeysThroughIsDialogMessage) {
  // An empty dialog template: Enter in a dialog becomes its OK command only through IsDialogMessage.
  alignas(4) WORD templ[32] = {};
  auto* dlg = reinterpret_cast<DLGTEMPLATE*>(templ);
  dlg->style = WS_POPUP | DS_MODALFRAME;
  dlg->cx = 100;
  dlg->cy = 50;
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dlg, nullptr, ProbeDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  gDialogOk = 0;
  PostMessageW(dialog, WM_KEYDOWN, VK_RETURN, 0);
  Application->ProcessMessages();
  EXPECT_EQ(gDialogOk, 0);
  Application->AddDialogWindow(dialog);
  PostMessageW(dialog, WM_KEYDOWN, VK_RETURN, 0);
  Application->ProcessMessages();
  EXPECT_EQ(gDialogOk, 1);
  Application->RemoveDialogWindow(dialog);
  DestroyWindow(dialog);
}

}  // namespace

namespace {

class TBoxReader : public TObject {
 public:
  std::u16string Seen;
  void Tick(TObject*) {
    if (HWND box = FindThreadMessageBox(); box && Seen.empty()) {
      Seen = WindowCaption(box) + u"|" + MessageBoxText(box) + u"|" + IntToStr(Application->ModalLevel());
      PostMessageW(box, WM_COMMAND, IDYES, 0);
    }
  }
};

TEST_F(ApplicationTest, FoundationMessageBoxIsShownByTheApplication) {
  Application->SetTitle(u"Probe Title");
  TBoxReader reader;
  auto* timer = new TTimer(Application);
  timer->SetInterval(30);
  timer->SetOnTimer(MakeMethod<&TBoxReader::Tick>(&reader));
  EXPECT_EQ(ShowMessageBox(u"Save the changes", u"", MB_YESNO), IDYES);
  EXPECT_EQ(reader.Seen, u"Probe Title|Save the changes.|1");
  EXPECT_EQ(Application->ModalLevel(), 0);
}

}  // namespace
