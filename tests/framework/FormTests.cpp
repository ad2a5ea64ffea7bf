// Forms on real windows: the window class name, lazy window creation after construction, the creation and
// destruction events, closing with the close query, modal forms, window state with the restored rectangle and
// its placement in knots, positions, and forms embedded in other controls.
#include <gtest/gtest.h>

#include "framework/fwBitmaps.h"
#include "framework/fwTimer.h"
#include "tests/framework/FormTestSupport.h"

namespace {

using FormTest = FrameworkTest;

class TChild : public TCustomControl {
 public:
  explicit TChild(TComponent* AOwner) : TCustomControl(AOwner) {
    SetBounds(5, 5, 40, 20);
    SetTabStop(true);
  }
};

// Writes down its life: construction, OnCreate, window creation (and whether construction had finished by
// then), OnShow, OnDestroy (with its window and child still there) and the end.
class TLifeForm : public TForm {
 public:
  TLifeForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner), FJournal(AJournal) {
    SetCaption(u"Life");
    SetBounds(100, 100, 200, 150);
    NewInto(Child, this);
    Child->SetParent(this);
    SetActiveControl(Child);  // stored only: no window yet
    OnCreate = MakeMethod<&TLifeForm::Created>(this);
    OnDestroy = MakeMethod<&TLifeForm::Destroyed>(this);
    OnShow = MakeMethod<&TLifeForm::Shown>(this);
    FJournal->push_back("constructed");
    FConstructed = true;
  }
  ~TLifeForm() override { FJournal->push_back("freed"); }

  TChild* Child = nullptr;

 protected:
  void CreateWnd() override {
    TForm::CreateWnd();
    FJournal->push_back(std::string("window made") + (FConstructed ? " after construction" : " too early") +
                        (Child->HandleAllocated() ? ", child first" : ""));
  }

 private:
  void Created(TObject*) { FJournal->push_back("OnCreate"); }
  void Shown(TObject*) { FJournal->push_back("OnShow"); }
  void Destroyed(TObject*) {
    FJournal->push_back(std::string("OnDestroy") + (HandleAllocated() ? " with window" : "") +
                        (Child && Child->Parent() == this ? " and child" : ""));
  }

  TJournal* FJournal;
  bool FConstructed = false;
};

TEST_F(FormTest, WindowsAreMadeOnFirstUseAfterConstructionAndGoAfterOnDestroy) {
  TJournal journal;
  auto form = MakeForm<TLifeForm>(&journal);
  EXPECT_EQ(journal, (TJournal{"constructed", "OnCreate"}));
  EXPECT_FALSE(form->HandleAllocated());
  EXPECT_FALSE(form->Child->HandleAllocated());
  // Text, bounds and the active control wait for the window.
  form->SetCaption(u"Life again");
  form->SetBounds(110, 120, 220, 160);
  EXPECT_FALSE(form->HandleAllocated());

  HWND window = form->Handle();
  EXPECT_EQ(journal.back(), "window made after construction");
  EXPECT_TRUE(form->Child->HandleAllocated());
  EXPECT_EQ(GetParent(form->Child->Handle()), window);
  EXPECT_EQ(form->Caption(), u"Life again");
  RECT r;
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 110);
  EXPECT_EQ(r.right - r.left, 220);
  EXPECT_FALSE(IsWindowVisible(window));

  ASSERT_TRUE(ShowActive(*form));
  EXPECT_EQ(journal.back(), "OnShow");
  EXPECT_TRUE(PumpUntil([&] { return form->Child->Focused(); }, 2000));
  form.reset();
  EXPECT_EQ(journal.end()[-2], "OnDestroy with window and child");
  EXPECT_EQ(journal.back(), "freed");
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(FormTest, TheWindowClassNameIsTheFormsClassNameSoEvenAHiddenFormIsFoundByIt) {
  TJournal journal;
  auto form = MakeForm<TLifeForm>(&journal);
  form->SetCaption(u"Find me");
  // A second instance looks for the first, which may well be hidden in the notification area.
  EXPECT_EQ(FindWindowW(L"TLifeForm", L"Find me"), nullptr);
  const HWND window = form->Handle();
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(FindWindowW(L"TLifeForm", L"Find me"), window);
  auto plain = MakeForm<TForm>();
  wchar_t name[32];
  GetClassNameW(plain->Handle(), name, 32);
  EXPECT_EQ(std::wstring(name), L"TForm");
}

// Answers the close query and chooses the close action as the test says.
class TClosingForm : public TForm {
 public:
  TClosingForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner), FJournal(AJournal) {
    SetBounds(150, 150, 200, 120);
    OnCloseQuery = MakeMethod<&TClosingForm::Query>(this);
    OnClose = MakeMethod<&TClosingForm::Closing>(this);
  }
  ~TClosingForm() override { FJournal->push_back("freed"); }

  int Refusals = 0;  // how many close queries say no before one says yes
  TCloseAction Action = TCloseAction::caHide;
  int Queries = 0;

 private:
  void Query(TObject*, bool& ACanClose) {
    ++Queries;
    ACanClose = Refusals == 0;
    if (Refusals > 0) --Refusals;
    FJournal->push_back(ACanClose ? "query yes" : "query no");
  }
  void Closing(TObject*, TCloseAction& AAction) {
    FJournal->push_back("close");
    AAction = Action;
  }
  TJournal* FJournal;
};

TEST_F(FormTest, CloseAsksTheCloseQueryAndThenDoesWhatOnCloseChooses) {
  TJournal journal;
  auto form = MakeForm<TClosingForm>(&journal);
  ASSERT_TRUE(ShowActive(*form));
  form->Refusals = 1;
  SendMessageW(form->Handle(), WM_CLOSE, 0, 0);  // the close box
  EXPECT_TRUE(form->Visible());
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(IsWindowVisible(form->Handle()));
  EXPECT_EQ(journal, (TJournal{"query no", "query yes", "close"}));

  form->Show();
  form->Action = TCloseAction::caNone;
  form->Close();
  EXPECT_TRUE(form->Visible());

  // Freed once the messages already queued are handled.
  form->Action = TCloseAction::caFree;
  form->Close();
  TClosingForm* released = form.release();
  EXPECT_NE(journal.back(), "freed");
  Application->ProcessMessages();
  EXPECT_EQ(journal.back(), "freed");
  (void)released;
}

// Tells the modal loop's state from inside it, then ends it.
struct TModalDriver : public TObject {
  TClosingForm* Modal = nullptr;
  HWND Owner = nullptr;
  bool OwnerEnabledInside = true;
  int LevelInside = 0;
  TModalResult ResultOfClose = mrNone;
  int Ticks = 0;
  // The first tick closes the form (the close box), the later ones set a button's result.
  void Tick(TObject*) {
    ++Ticks;
    if (Ticks == 1) {
      OwnerEnabledInside = IsWindowEnabled(Owner);
      LevelInside = Application->ModalLevel();
      Modal->Close();
      ResultOfClose = Modal->ModalResult();
      return;
    }
    if (Modal->ModalResult() == mrNone) Modal->SetModalResult(mrOk);
  }
};

TEST_F(FormTest, ShowModalReturnsTheModalResultOnceTheCloseQueryAgreesAndGivesTheOwnerBack) {
  TJournal journal;
  TForm* main = nullptr;  // the application frees it, after this test's journal is gone
  Application->CreateForm(main);
  main->SetBounds(100, 100, 300, 200);
  ASSERT_EQ(Application->MainForm(), main);
  ASSERT_TRUE(ShowActive(*main));
  auto modal = MakeForm<TClosingForm>(&journal);
  modal->Refusals = 1;
  TModalDriver driver;
  driver.Modal = modal.get();
  driver.Owner = main->Handle();
  TTimer timer(nullptr);
  timer.SetInterval(30);
  timer.SetOnTimer(MakeMethod<&TModalDriver::Tick>(&driver));

  journal.clear();
  const TModalResult result = modal->ShowModal();
  timer.SetEnabled(false);
  EXPECT_EQ(result, mrOk);
  EXPECT_FALSE(driver.OwnerEnabledInside);
  EXPECT_EQ(driver.LevelInside, 1);
  EXPECT_EQ(driver.ResultOfClose, mrCancel);
  EXPECT_EQ(journal, (TJournal{"query no", "query yes", "close"}));  // the refusal kept the loop running
  EXPECT_GE(driver.Ticks, 2);
  EXPECT_EQ(GetWindow(modal->Handle(), GW_OWNER), main->Handle());
  EXPECT_TRUE(IsWindowEnabled(main->Handle()));
  EXPECT_EQ(Application->ModalLevel(), 0);
  EXPECT_FALSE(modal->Visible());
  EXPECT_FALSE(modal->Modal());

  // A visible form cannot be made modal.
  EXPECT_THROW(main->ShowModal(), EInvalidOperation);
  EXPECT_FALSE(main->Modal());
  EXPECT_EQ(Application->ModalLevel(), 0);
}

struct TCloser : public TObject {
  TCustomForm* Form = nullptr;
  bool WasVisible = false;
  void Tick(TObject* ASender) {
    static_cast<TTimer*>(ASender)->SetEnabled(false);
    WasVisible = Form->Visible();
    Form->Close();
  }
};

TEST_F(FormTest, RunShowsTheMainFormAndClosingItEndsTheLoop) {
  TForm* main = nullptr;
  Application->CreateForm(main);
  main->SetBounds(100, 100, 200, 100);
  TCloser closer;
  closer.Form = main;
  TTimer timer(nullptr);
  timer.SetInterval(50);
  timer.SetOnTimer(MakeMethod<&TCloser::Tick>(&closer));
  Application->Run();
  EXPECT_TRUE(closer.WasVisible);
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(FormTest, AMinimisedFormReportsAndStoresItsRestoredRectangle) {
  TJournal journal;
  auto form = MakeForm<TClosingForm>(&journal);
  form->SetBounds(60, 70, 300, 200);
  ASSERT_TRUE(ShowActive(*form));
  form->SetWindowState(TFormWindowState::wsMinimized);
  ASSERT_TRUE(PumpUntil([&] { return IsIconic(form->Handle()) != FALSE; }, 2000));
  EXPECT_EQ(form->WindowState(), TFormWindowState::wsMinimized);
  EXPECT_EQ(form->Left(), 60);
  EXPECT_EQ(form->Top(), 70);
  const RECT restored = form->RestoredBounds();
  EXPECT_EQ(restored.left, 60);
  EXPECT_EQ(restored.top, 70);
  EXPECT_EQ(restored.right, 360);
  EXPECT_EQ(restored.bottom, 270);

  TKnot knot(u"Place");
  WriteFormPlacement(knot, *form);
  EXPECT_EQ(knot.ReadString(u"Maximized", u"?"), u"0");
  EXPECT_EQ(knot.ReadInteger(u"Left", -1, 0, 0), 60);
  EXPECT_EQ(knot.ReadInteger(u"Top", -1, 0, 0), 70);
  EXPECT_EQ(knot.ReadInteger(u"Width", -1, 0, 0), 300);
  EXPECT_EQ(knot.ReadInteger(u"Height", -1, 0, 0), 200);

  // Moving a minimised form moves the rectangle it comes back to.
  form->SetBounds(80, 90, 250, 180);
  form->SetWindowState(TFormWindowState::wsNormal);
  ASSERT_TRUE(PumpUntil([&] { return !IsIconic(form->Handle()); }, 2000));
  RECT r;
  GetWindowRect(form->Handle(), &r);
  EXPECT_EQ(r.left, 80);
  EXPECT_EQ(r.bottom - r.top, 180);
  EXPECT_EQ(form->Width(), 250);
}

TEST_F(FormTest, APlacementReadFromAKnotPlacesAndMaximisesAHiddenFormWhenItIsShown) {
  TJournal journal;
  auto form = MakeForm<TClosingForm>(&journal);
  form->SetPosition(TPosition::poScreenCenter);
  TKnot place(u"Place");
  place.WriteBool(u"Maximized", false);
  place.WriteInteger(u"Left", 40);
  place.WriteInteger(u"Top", 30);
  place.WriteInteger(u"Width", 260);
  place.WriteInteger(u"Height", 170);
  ReadFormPlacement(place, *form);
  EXPECT_EQ(form->Position(), TPosition::poDesigned);
  EXPECT_EQ(form->BoundsRect().left, 40);
  EXPECT_EQ(form->Width(), 260);

  TKnot max(u"Place");
  max.WriteBool(u"Maximized", true);
  ReadFormPlacement(max, *form);
  EXPECT_EQ(form->WindowState(), TFormWindowState::wsMaximized);
  ASSERT_TRUE(ShowActive(*form));
  EXPECT_TRUE(IsZoomed(form->Handle()));
  EXPECT_EQ(form->WindowState(), TFormWindowState::wsMaximized);
  const RECT restored = form->RestoredBounds();
  EXPECT_EQ(restored.left, 40);
  EXPECT_EQ(restored.top, 30);
  EXPECT_EQ(restored.right, 300);
  EXPECT_EQ(restored.bottom, 200);
  TKnot written(u"Place");
  WriteFormPlacement(written, *form);
  EXPECT_EQ(written.ReadString(u"Maximized", u"?"), u"1");
  EXPECT_FALSE(written.ParamExists(u"Left"));

  // Restored, it stands where the placement put it, not in the centre of the screen.
  form->SetWindowState(TFormWindowState::wsNormal);
  ASSERT_TRUE(PumpUntil([&] { return !IsZoomed(form->Handle()); }, 2000));
  RECT r;
  GetWindowRect(form->Handle(), &r);
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.top, 30);
  EXPECT_EQ(r.right - r.left, 260);
}

TEST_F(FormTest, AFormShownWithACentredPositionIsCentredOnTheMainFormOrOnItsOwner) {
  TJournal journal;
  TForm* main = nullptr;
  Application->CreateForm(main);
  main->SetBounds(100, 100, 400, 300);
  ASSERT_TRUE(ShowActive(*main));
  auto dialog = MakeForm<TClosingForm>(&journal);
  dialog->SetBounds(0, 0, 200, 100);
  dialog->SetPosition(TPosition::poMainFormCenter);
  dialog->Show();
  EXPECT_EQ(dialog->Left(), 200);
  EXPECT_EQ(dialog->Top(), 200);

  // Centred on its owner when that is a shown form, freed with it.
  dialog->SetBounds(500, 400, 200, 100);
  TClosingForm* owned = nullptr;
  NewInto(owned, dialog.get(), &journal);
  owned->SetBounds(0, 0, 150, 60);
  owned->SetPosition(TPosition::poOwnerFormCenter);
  owned->Show();
  EXPECT_EQ(owned->Left(), 525);
  EXPECT_EQ(owned->Top(), 420);
}

TEST_F(FormTest, StayingOnTopMakesTheWindowAgainWithItsControls) {
  TJournal journal;
  auto form = MakeForm<TLifeForm>(&journal);
  ASSERT_TRUE(ShowActive(*form));
  const HWND before = form->Handle();
  form->SetFormStyle(TFormStyle::fsStayOnTop);
  EXPECT_NE(form->Handle(), before);
  EXPECT_TRUE(GetWindowLongW(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(form->FormStaysOnTop());
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_EQ(GetParent(form->Child->Handle()), form->Handle());
  EXPECT_EQ(form->BoundsRect().left, 100);
  form->SetFormStyle(TFormStyle::fsNormal);
  EXPECT_FALSE(GetWindowLongW(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(FormTest, BorderStyleAndBorderIconsChooseTheWindowStylesAndAChangeMakesTheWindowAgain) {
  struct TCase {
    TFormBorderStyle Border;
    TBorderIcons Icons;
    DWORD Style;    // expected among the bits checked
    DWORD ExStyle;  // expected among the bits checked
  };
  constexpr DWORD kStyleBits = WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_POPUP;
  constexpr DWORD kExBits = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW | WS_EX_CONTEXTHELP;
  const TBorderIcons all = biSystemMenu | biMinimize | biMaximize;
  const TCase cases[] = {
      {TFormBorderStyle::bsSizeable, all, WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0},
      {TFormBorderStyle::bsSingle, biSystemMenu | biMinimize, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0},
      {TFormBorderStyle::bsSingle, biMaximize, WS_CAPTION | WS_MAXIMIZEBOX, 0},
      {TFormBorderStyle::bsDialog, all, WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME},
      {TFormBorderStyle::bsDialog, biSystemMenu | biHelp, WS_CAPTION | WS_SYSMENU,
       WS_EX_DLGMODALFRAME | WS_EX_CONTEXTHELP},
      {TFormBorderStyle::bsToolWindow, biSystemMenu, WS_CAPTION | WS_SYSMENU, WS_EX_TOOLWINDOW},
      {TFormBorderStyle::bsSizeToolWin, all, WS_CAPTION | WS_THICKFRAME | WS_SYSMENU, WS_EX_TOOLWINDOW},
      {TFormBorderStyle::bsNone, all, WS_POPUP, 0},
  };
  auto form = MakeForm<TForm>();                     // never shown
  form->SetBorderStyle(TFormBorderStyle::bsDialog);  // every case starts from a change of the border
  HWND window = form->Handle();
  for (const TCase& c : cases) {
    form->SetBorderIcons(c.Icons);
    form->SetBorderStyle(c.Border);
    EXPECT_FALSE(IsWindow(window));
    window = form->Handle();
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & kStyleBits, c.Style)
        << static_cast<int>(c.Border) << " " << static_cast<int>(c.Icons.Bits());
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)) & kExBits, c.ExStyle)
        << static_cast<int>(c.Border) << " " << static_cast<int>(c.Icons.Bits());
    form->SetBorderStyle(c.Border == TFormBorderStyle::bsDialog ? TFormBorderStyle::bsSingle
                                                                : TFormBorderStyle::bsDialog);
    window = form->Handle();
  }
}

struct TFormEvents : public TObject {
  TJournal* Journal = nullptr;
  void Resized(TObject* ASender) {
    auto* form = static_cast<TCustomForm*>(ASender);
    Journal->push_back("resize " + std::to_string(form->Width()) + "x" + std::to_string(form->Height()));
  }
  void Painted(TObject* ASender) {
    auto* form = static_cast<TCustomForm*>(ASender);
    Journal->push_back("paint");
    form->Canvas().Brush().SetColor(clRed);
    form->Canvas().FillRect(RECT{0, 0, 10, 10});
  }
};

TEST_F(FormTest, OnResizeFollowsEverySizeChangeAndOnPaintDrawsOnTheFormsCanvas) {
  TJournal journal;
  TFormEvents events;
  events.Journal = &journal;
  auto form = MakeForm<TForm>();  // never shown
  form->OnResize = MakeMethod<&TFormEvents::Resized>(&events);
  form->OnPaint = MakeMethod<&TFormEvents::Painted>(&events);
  form->SetBounds(10, 10, 200, 100);
  form->SetBounds(20, 30, 200, 100);  // a move alone
  form->HandleNeeded();
  form->SetBounds(20, 30, 210, 110);
  SetWindowPos(form->Handle(), nullptr, 0, 0, 220, 120, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(journal, (TJournal{"resize 200x100", "resize 210x110", "resize 220x120"}));

  journal.clear();
  TBitmap bitmap(20, 20);
  form->Perform(WM_PAINT, reinterpret_cast<WPARAM>(bitmap.Canvas().Handle()), 0);
  EXPECT_EQ(journal, (TJournal{"paint"}));
  EXPECT_EQ(bitmap.Canvas().Pixel(5, 5), clRed);
  EXPECT_EQ(bitmap.Canvas().Pixel(15, 15), clWhite);
}

class TEmbeddedForm : public TForm {
 public:
  TEmbeddedForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner), FJournal(AJournal) {
    SetBounds(0, 0, 300, 300);
    SetClientSize(200, 100);
    NewInto(Child, this);
    Child->SetParent(this);
    OnShow = MakeMethod<&TEmbeddedForm::Shown>(this);
  }
  TChild* Child = nullptr;

 private:
  void Shown(TObject*) { FJournal->push_back("embedded shown"); }
  TJournal* FJournal;
};

TEST_F(FormTest, AnEmbeddedFormLosesItsBorderKeepsItsClientSizeAndIsShownWithItsHost) {
  TJournal journal;
  auto host = MakeForm<TClosingForm>(&journal);
  host->SetBounds(100, 100, 400, 300);
  TEmbeddedForm* embedded = nullptr;
  CreateEmbeddedForm(embedded, *host, TAlign::alTop, true, &journal);
  EXPECT_EQ(embedded->Owner(), host.get());
  EXPECT_EQ(embedded->Parent(), host.get());
  EXPECT_EQ(embedded->BorderStyle(), TFormBorderStyle::bsNone);
  EXPECT_EQ(embedded->Height(), 100);
  EXPECT_EQ(embedded->Width(), host->ClientWidth());
  EXPECT_TRUE(journal.empty());  // the host is not shown yet
  EXPECT_EQ(GetParentForm(embedded->Child), host.get());
  EXPECT_EQ(GetParentForm(embedded->Child, false), embedded);

  ASSERT_TRUE(ShowActive(*host));
  EXPECT_EQ(journal, (TJournal{"embedded shown"}));
  HWND window = embedded->Handle();
  EXPECT_EQ(GetParent(window), host->Handle());
  EXPECT_TRUE(GetWindowLongW(window, GWL_STYLE) & WS_CHILD);
  EXPECT_FALSE(GetWindowLongW(window, GWL_STYLE) & WS_CAPTION);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.bottom, 100);
  EXPECT_EQ(client.right, host->ClientWidth());

  // The host's window made again takes the embedded one along.
  host->RecreateWnd();
  EXPECT_EQ(GetParent(embedded->Handle()), host->Handle());
  EXPECT_TRUE(IsWindowVisible(embedded->Handle()));

  // Freeing the host frees the embedded form with it.
  host.reset();
}

}  // namespace
