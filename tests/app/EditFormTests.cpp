#include "app/diEditForm.h"
#include "app/diSheetForm.h"
#include "controls/baSaper.h"
#include "document/elements/diLog.h"
#include "document/elements/plElements.h"
#include "document/elements/unDocument.h"
#include "document/model/diCanvas.h"
#include "document/model/diClasses.h"
#include "document/model/diMessages.h"
#include "document/model/diSheet.h"
#include "document/text/diTextorElement.h"
#include "document/text/diTextorInteractive.h"
#include "foundation/cuKnot.h"
#include "framework/fwActions.h"
#include "framework/fwApplication.h"
#include "framework/fwDialogs.h"
#include "framework/fwExtCtrls.h"
#include "framework/fwThemes.h"
#include "graphics/pixels/pxThemeServices.h"
#include "tests/app/AppFixture.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

namespace {

// Handles messages through the application (so that its hooks, the shortcut walk among them, see the keys) until
// ACondition holds or AMilliseconds pass.
bool PumpAppUntil(const std::function<bool()>& ACondition, DWORD AMilliseconds = HangMs) {
  const DWORD start = GetTickCount();
  while (!ACondition()) {
    if (GetTickCount() - start > AMilliseconds) return false;
    Application->ProcessMessages();
    Sleep(1);
  }
  return true;
}

void PumpFor(DWORD AMilliseconds) {
  PumpAppUntil([] { return false; }, AMilliseconds);
}

void SendKey(WORD AKey, bool ACtrl = false) {
  if (ACtrl)
    SendKeys({AKey}, {VK_CONTROL});
  else
    SendKeys({AKey});
}

// Counts the change notifications (code 1) a node sends.
struct TChangeCounter {
  int Count = 0;
  void Handler(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
    if (ANotify == 1) ++Count;
  }
};

// Counts the paintings of the log button and paints as the form does.
struct TPaintCounter {
  int Count = 0;
  TPlaceBoxPaintEvent Inner;
  void Paint(TObject* ASender, TCanvas& ACanvas, const RECT& ARect) {
    ++Count;
    Inner(ASender, ACanvas, ARect);
  }
};

class EditFormTest : public TStartedUnitsTest {
 protected:
  void SetUp() override {
    TStartedUnitsTest::SetUp();
    Open();
  }
  void TearDown() override {
    Close();
    TStartedUnitsTest::TearDown();
  }

  // An empty document and the edit window in a host of the designed size, as the main window reads the layout
  // before it is placed.
  void Open() {
    Document = std::make_unique<TPlainDocument>(&Settings);
    Document->LoadFromFile(Scratch() + u"notes.qbx");
    Host = New<TForm>(nullptr);
    Host->SetBorderStyle(TFormBorderStyle::bsNone);
    Host->SetBounds(40, 40, 400, 300);
    CreateEmbeddedForm(Edit, *Host, TAlign::alClient, true);
  }
  // The window first, then the document, as the main window goes.
  void Close() {
    if (Host) Host->Free();
    Host = nullptr;
    Edit = nullptr;
    Document.reset();
  }

  // The placed window: 800 x 600, shown and active.
  void Place() {
    Host->SetBounds(40, 40, 800, 600);
    Host->Show();
    SetForegroundWindow(Host->Handle());
    PumpFor(50);
  }
  void Bind() {
    Edit->SetDocument(Document->DocumentScheme(), Document->DocumentSheet(), Document->LogScheme(),
                      Document->LogSheet());
  }
  TElementMessages& Messages() { return *Document->DocumentScheme()->Messages(); }
  void FocusDocument() {
    Edit->SheetForm()->rb1->SetFocus();
    PumpAppUntil([&] { return GetFocus() == Edit->SheetForm()->rb1->Handle(); });
  }

  TSheetSettings Settings{nullptr};
  std::unique_ptr<TPlainDocument> Document;
  TForm* Host = nullptr;
  TEditForm* Edit = nullptr;
};

TEST_F(EditFormTest, TheFirstMessageShowsTheLogAtTheStoredHeightAndClearingHidesIt) {
  // Each row reads the layout at the designed 400 x 300, then the window is placed at 800 x 600: a stored height
  // from 10 to 300 is taken (above half the designed height too); anything else, or none, keeps the present one.
  struct TCase {
    std::optional<int> Stored;
    std::optional<int> Taken;
  };
  const TCase cases[] = {
      {std::nullopt, std::nullopt}, {5, std::nullopt}, {250, 250}, {9, std::nullopt}, {10, 10}, {300, 300},
      {301, std::nullopt}};
  Place();
  Bind();
  EXPECT_EQ(Edit->LogForm()->Height(), TEditForm::DefaultLogHeight);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Stored ? *c.Stored : -1);
    Host->SetBounds(40, 40, 400, 300);
    TKnot session(u"MainForm");
    if (c.Stored) session.FindOrAddKnot(u"Log")->WriteInteger(u"Height", *c.Stored);
    Edit->LoadLayout(session);
    Host->SetBounds(40, 40, 800, 600);
    TSheetForm* log = Edit->LogForm();
    const int expected = c.Taken ? *c.Taken : log->Height();
    EXPECT_FALSE(Edit->LogVisible());
    EXPECT_FALSE(log->Visible());
    EXPECT_FALSE(Edit->splLog->Visible());
    EXPECT_FALSE(Edit->ToolsClearLog->Enabled());

    Messages().Add(mkWarning, u"First");
    ASSERT_TRUE(Edit->LogVisible());
    EXPECT_TRUE(log->Visible());
    EXPECT_TRUE(Edit->splLog->Visible());
    EXPECT_TRUE(Edit->pbLogButton->Visible());
    EXPECT_TRUE(Edit->ToolsClearLog->Enabled());
    EXPECT_EQ(log->Height(), expected);
    EXPECT_EQ(log->Top() + log->Height(), Edit->ClientHeight());
    EXPECT_EQ(Edit->splLog->Top() + TEditForm::SplitterHeight, log->Top());
    EXPECT_EQ(Edit->SheetForm()->Top() + Edit->SheetForm()->Height(), Edit->splLog->Top());

    TKnot saved(u"MainForm");
    Edit->SaveLayout(saved);
    EXPECT_EQ(saved.FindOrAddKnot(u"Log")->ReadInteger(u"Height", 0, 0, 10000), expected);

    Edit->ToolsClearLog->Execute(nullptr);
    EXPECT_EQ(Messages().GetCount(), 0);
    EXPECT_FALSE(Edit->LogVisible());
    EXPECT_FALSE(log->Visible());
    EXPECT_FALSE(Edit->splLog->Visible());
    EXPECT_FALSE(Edit->pbLogButton->Visible());
    EXPECT_EQ(Edit->SheetForm()->Top() + Edit->SheetForm()->Height(), Edit->ClientHeight());
  }
}

TEST_F(EditFormTest, ALogFilledAtLoadTakesTheStoredHeightOnceTheWindowIsPlaced) {
  TKnot session(u"MainForm");
  session.FindOrAddKnot(u"Log")->WriteInteger(u"Height", 250);
  Edit->LoadLayout(session);
  Messages().Add(mkError, u"Unknown element");
  Bind();
  ASSERT_TRUE(Edit->LogVisible());
  Place();
  TSheetForm* log = Edit->LogForm();
  EXPECT_EQ(log->Height(), 250);
  EXPECT_EQ(log->Top() + log->Height(), Edit->ClientHeight());
  EXPECT_EQ(Edit->splLog->Top() + TEditForm::SplitterHeight, log->Top());
  EXPECT_EQ(Edit->pbLogButton->Top(),
            Edit->splLog->Top() + (TEditForm::SplitterHeight - Edit->pbLogButton->Height()) / 2);
}

TEST_F(EditFormTest, AHeightStoredButNeverShownIsWrittenBackAsItWas) {
  TKnot session(u"MainForm");
  session.FindOrAddKnot(u"Log")->WriteInteger(u"Height", 260);
  Edit->LoadLayout(session);
  TKnot saved(u"MainForm");
  Edit->SaveLayout(saved);
  EXPECT_EQ(saved.FindOrAddKnot(u"Log")->ReadInteger(u"Height", 0, 0, 10000), 260);
  EXPECT_FALSE(saved.FindOrAddKnot(u"Palette")->ReadBool(u"Visible", true));
}

TEST_F(EditFormTest, TheLogButtonRepaintsOnlyWhenTheWorstKindChanges) {
  TPaintCounter counter;
  counter.Inner = Edit->pbLogButton->OnPaint;
  Edit->pbLogButton->OnPaint = MakeMethod<&TPaintCounter::Paint>(&counter);
  Place();
  Bind();
  Messages().Add(mkHint, u"A hint");
  Edit->pbLogButton->Update();
  PumpFor(50);
  EXPECT_EQ(Edit->LogSeverity(), 1);
  const int shown = counter.Count;
  EXPECT_GE(shown, 1);

  struct TStep {
    uint8_t Kind;
    int Severity;
    int NewPaintings;
  };
  const TStep steps[] = {{mkHint, 1, 0}, {mkInformation, 1, 0}, {mkWarning, 2, 1},
                         {mkHint, 2, 0}, {mkError, 3, 1},       {mkWarning, 3, 0}};
  for (const TStep& step : steps) {
    const int before = counter.Count;
    Messages().Add(step.Kind, u"More");
    Edit->pbLogButton->Update();
    EXPECT_EQ(Edit->LogSeverity(), step.Severity);
    EXPECT_EQ(counter.Count - before, step.NewPaintings) << int(step.Kind);
  }
}

TEST_F(EditFormTest, TheLogButtonsHintNamesItsShortcut) {
  EXPECT_EQ(Edit->pbLogButton->Hint(), u"Clear and close log (Ctrl+F5)");
}

TEST_F(EditFormTest, TheDocumentSheetIsActiveWhenItsBoxTakesTheFirstFocus) {
  // Embedding made the box's window again; its sheet form hears of the focus only once its hook is back.
  Bind();
  Host->SetBounds(40, 40, 800, 600);
  Host->SetActiveControl(Edit->SheetForm()->rb1);
  Host->Show();
  SetForegroundWindow(Host->Handle());
  ASSERT_TRUE(PumpAppUntil([&] { return GetFocus() == Edit->SheetForm()->rb1->Handle(); }));
  EXPECT_TRUE(Document->DocumentSheet()->Active());
  EXPECT_FALSE(Document->LogSheet()->Active());
}

TEST_F(EditFormTest, F5RefreshesTheSettingsOnceThoughTwoActionsCarryIt) {
  Place();
  Bind();
  FocusDocument();
  TChangeCounter counter;
  Settings.AddNotifyEvent(MakeMethod<&TChangeCounter::Handler>(&counter));
  SendKey(VK_F5);
  PumpFor(200);
  Settings.RemoveNotifyEvent(MakeMethod<&TChangeCounter::Handler>(&counter));
  EXPECT_EQ(counter.Count, 1);
}

TEST_F(EditFormTest, F3OpensTheFindDialogOnlyWithoutAText) {
  Document->DocumentRoot()->SetText(u"alpha beta gamma");
  Place();
  Bind();
  FocusDocument();
  SendKey(VK_F3);
  ASSERT_TRUE(PumpAppUntil([&] { return Edit->fd1->Handle() != nullptr; }));
  Edit->fd1->CloseDialog();
  PumpFor(50);

  Edit->fd1->SetFindText(u"beta");
  SetForegroundWindow(Host->Handle());
  FocusDocument();
  SendKey(VK_F3);
  TTextorElement* root = Document->DocumentRoot();
  EXPECT_TRUE(PumpAppUntil([&] { return root->Interactive() && root->Interactive()->GetSelectedText() == u"beta"; }));
  EXPECT_EQ(Edit->fd1->Handle(), nullptr);
}

TEST_F(EditFormTest, AForcedFrameWidthOfOnePaintsTheSunkenFrame) {
  // The classic look: DrawEdge's sunken edge has the shadow colour outside on the left and at the top.
  InstallThemeServices(nullptr);
  Place();
  Bind();
  auto leftColumn = [&](int Y) {
    Edit->Invalidate();
    Edit->Update();
    Edit->SheetForm()->Update();
    HDC dc = GetDC(Edit->Handle());
    const COLORREF pixel = GetPixel(dc, 0, Y);
    ReleaseDC(Edit->Handle(), dc);
    return pixel;
  };
  const int middle = Edit->SheetForm()->Top() + Edit->SheetForm()->Height() / 2;
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  EXPECT_NE(leftColumn(middle), shadow);
  Edit->SetFrameWidth(1);
  EXPECT_EQ(Edit->SheetForm()->Left(), 1);
  EXPECT_EQ(Edit->SheetForm()->Width(), Edit->ClientWidth() - 2);
  EXPECT_EQ(leftColumn(middle), shadow);
  EXPECT_EQ(leftColumn(Edit->ClientHeight() - 1 - 1), shadow);
  InstallXPThemeServices();
}

TEST_F(EditFormTest, FreeingTheEditWindowUnbindsTheSheetsBeforeTheDocumentGoes) {
  TSheet* sheet = Document->DocumentSheet();
  const int handlers = sheet->NotifyEventCount();
  Bind();
  EXPECT_GT(sheet->NotifyEventCount(), handlers);
  Host->Free();
  Host = nullptr;
  EXPECT_EQ(sheet->NotifyEventCount(), handlers);
  EXPECT_FALSE(Document->LogRoot()->OnChange);
  // The log is written after the window went: nothing of it is called.
  Messages().Add(mkError, u"After");
}

}  // namespace
