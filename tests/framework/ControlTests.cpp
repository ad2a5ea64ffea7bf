// Controls on real windows: windowless children painted in order and clipped, mouse routing with capture,
// synthesised enter and leave, hint targets, alignment, anchors and constraints, opaque invalidation, the wheel
// accumulator, reflected notifications and windows made again with their children and state.
#include <gtest/gtest.h>

#include "framework/fwBitmaps.h"
#include "framework/fwScreen.h"
#include "framework/fwThemes.h"
#include "tests/framework/FormTestSupport.h"

namespace {

using ControlTest = FrameworkTest;

// A windowless control that paints itself in one colour (over a much larger area than its own, so clipping
// shows) and writes down its mouse events.
class TSwatch : public TGraphicControl {
 public:
  TSwatch(TComponent* AOwner, TJournal* AJournal, std::string ATag, TColor AColor)
      : TGraphicControl(AOwner), FJournal(AJournal), FTag(std::move(ATag)) {
    SetColor(AColor);
  }

  void Click() override {
    FJournal->push_back(FTag + " click");
    TGraphicControl::Click();
  }

 protected:
  void Paint() override {
    FJournal->push_back(FTag + " paint");
    Canvas().FillRect(RECT{-1000, -1000, 1000, 1000});
  }
  void MouseDown(TMouseButton, TShiftState, int X, int Y) override {
    FJournal->push_back(FTag + " down " + std::to_string(X) + "," + std::to_string(Y));
  }
  void MouseMove(TShiftState, int X, int Y) override {
    FJournal->push_back(FTag + " move " + std::to_string(X) + "," + std::to_string(Y));
  }
  void MouseUp(TMouseButton, TShiftState, int X, int Y) override {
    FJournal->push_back(FTag + " up " + std::to_string(X) + "," + std::to_string(Y));
  }
  void MouseEnter() override { FJournal->push_back(FTag + " enter"); }
  void MouseLeave() override { FJournal->push_back(FTag + " leave"); }

 private:
  TJournal* FJournal;
  std::string FTag;
};

class TSwatchForm : public TForm {
 public:
  TSwatchForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetBounds(200, 150, 120, 100);
    SetColor(clWhite);
    AddSwatches(AJournal);
  }

  // Starts again with two new swatches writing into AJournal and the form's own cursor and hints back to their
  // defaults (for a form shared by several tests).
  void Rebuild(TJournal* AJournal) {
    while (ControlCount() > 0) Controls(ControlCount() - 1)->Free();
    SetCursor(crDefault);
    SetShowHint(false);
    AddSwatches(AJournal);
  }

  TSwatch* Red = nullptr;
  TSwatch* Blue = nullptr;

 private:
  void AddSwatches(TJournal* AJournal) {
    NewInto(Red, this, AJournal, "red", clRed);
    Red->SetBounds(10, 10, 50, 50);
    Red->SetParent(this);
    NewInto(Blue, this, AJournal, "blue", clBlue);
    Blue->SetBounds(30, 30, 50, 50);
    Blue->SetParent(this);
  }
};

// Tests on a shown window share one form (see SharedFormTest), rebuilt before each.
using ShownControlTest = SharedFormTest<TSwatchForm>;

TEST_F(ControlTest, WindowlessChildrenArePaintedInOrderClippedToThemselves) {
  TJournal journal;
  auto form = MakeForm<TSwatchForm>(&journal);
  form->HandleNeeded();
  TBitmap bitmap(120, 100);
  bitmap.Canvas().Brush().SetColor(clWhite);
  bitmap.Canvas().FillRect(RECT{0, 0, 120, 100});
  form->Perform(WM_PAINT, reinterpret_cast<WPARAM>(bitmap.Canvas().Handle()), 0);
  EXPECT_EQ(journal, (TJournal{"red paint", "blue paint"}));
  EXPECT_EQ(bitmap.Canvas().Pixel(15, 15), clRed);
  EXPECT_EQ(bitmap.Canvas().Pixel(40, 40), clBlue);  // the later one lies on top
  EXPECT_EQ(bitmap.Canvas().Pixel(5, 5), clWhite);   // each paints only its own rectangle
  EXPECT_EQ(bitmap.Canvas().Pixel(90, 90), clWhite);

  form->Red->BringToFront();
  journal.clear();
  form->Perform(WM_PAINT, reinterpret_cast<WPARAM>(bitmap.Canvas().Handle()), 0);
  EXPECT_EQ(journal, (TJournal{"blue paint", "red paint"}));
  EXPECT_EQ(bitmap.Canvas().Pixel(40, 40), clRed);

  // A hidden child is neither painted nor hit.
  form->Red->Hide();
  journal.clear();
  form->Perform(WM_PAINT, reinterpret_cast<WPARAM>(bitmap.Canvas().Handle()), 0);
  EXPECT_EQ(journal, (TJournal{"blue paint"}));
  EXPECT_EQ(form->ControlAtPos(POINT{15, 15}, true), nullptr);
  EXPECT_EQ(form->ControlAtPos(POINT{40, 40}, true), form->Blue);
}

TEST_F(ShownControlTest, TheWindowsOwnPaintReachesWindowlessChildren) {
  form->Update();  // whatever is still to be painted
  journal.clear();
  form->Blue->Invalidate();
  form->Update();
  EXPECT_EQ(journal, (TJournal{"red paint", "blue paint"}));  // both intersect the invalid area
}

TEST_F(ShownControlTest, APressOnAWindowlessChildCapturesTheMouseUntilTheRelease) {
  HWND window = form->Handle();
  journal.clear();
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));  // on blue, above red
  EXPECT_EQ(GetCapture(), window);
  EXPECT_TRUE(form->Blue->MouseCapture());
  SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(15, 15));             // over red, still blue's
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(static_cast<WORD>(-5), 200));  // outside: no click
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(journal, (TJournal{"blue down 10,10", "blue move -15,-15", "blue up -35,170"}));

  journal.clear();
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(25, 25));
  EXPECT_EQ(journal, (TJournal{"red down 10,10", "red up 15,15", "red click"}));

  // A disabled child lets the press through to its parent.
  form->Red->SetEnabled(false);
  journal.clear();
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
  EXPECT_TRUE(journal.empty());
}

TEST_F(ShownControlTest, LosingTheCaptureCancelsAWindowlessChildsPress) {
  HWND window = form->Handle();
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 40));
  ASSERT_TRUE(form->Blue->ControlState().Contains(csLButtonDown));
  ReleaseCapture();
  EXPECT_FALSE(form->Blue->ControlState().ContainsAny(csLButtonDown | csClicked));
  journal.clear();
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(40, 40));
  EXPECT_EQ(journal, (TJournal{"blue up 10,10"}));  // the press was cancelled: no click
}

TEST_F(ShownControlTest, ThePointerEntersAndLeavesWindowlessChildrenOneAtATime) {
  // A form of its own: the pointer tracking of the shared one carries over from the tests before.
  auto own = MakeForm<TSwatchForm>(&journal);
  own->Blue->SetLeft(70);  // no overlap: red 10..60, blue 70..120
  ASSERT_TRUE(ShowActive(*own));
  const POINT origin = own->ClientOrigin();
  auto moveTo = [&](int X, int Y) {
    SetCursorPos(origin.x + X, origin.y + Y);
    SendMessageW(own->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(X, Y));
  };
  // Only entering and leaving counts here (the pointer's own moves and paints come in between).
  auto hover = [&] {
    TJournal list;
    for (const std::string& entry : journal)
      if (entry.find(" enter") != std::string::npos || entry.find(" leave") != std::string::npos) list.push_back(entry);
    return list;
  };
  moveTo(5, 5);
  journal.clear();
  moveTo(20, 20);
  moveTo(25, 25);
  moveTo(80, 40);
  moveTo(65, 40);
  EXPECT_EQ(hover(), (TJournal{"red enter", "red leave", "blue enter", "blue leave"}));

  // Leaving the window leaves the child under the pointer too.
  moveTo(80, 40);
  journal.clear();
  SetCursorPos(origin.x + 400, origin.y + 400);
  EXPECT_TRUE(PumpUntil([&] { return !hover().empty(); }));
  EXPECT_EQ(hover(), (TJournal{"blue leave"}));
}

struct TFilter : public TObject {
  TJournal* Journal = nullptr;
  std::string Tag;
  bool Swallow = false;
  void See(TMessage& AMessage) {
    if (AMessage.Msg != WM_LBUTTONDOWN) return;
    Journal->push_back(Tag);
    AMessage.Handled = Swallow;
  }
};

TEST_F(ControlTest, MessageFiltersSeeAMessageFirstInTheOrderAddedAndMayEndIt) {
  TJournal journal;
  auto form = MakeForm<TSwatchForm>(&journal);
  TFilter first, second;
  first.Journal = second.Journal = &journal;
  first.Tag = "first filter";
  second.Tag = "second filter";
  form->Red->AddMessageFilter(MakeMethod<&TFilter::See>(&first));
  form->Red->AddMessageFilter(MakeMethod<&TFilter::See>(&second));
  form->Red->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 2));
  form->Red->Perform(WM_LBUTTONUP, 0, MAKELPARAM(1, 2));
  EXPECT_EQ(journal, (TJournal{"first filter", "second filter", "red down 1,2", "red up 1,2", "red click"}));

  first.Swallow = true;
  journal.clear();
  form->Red->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 2));
  EXPECT_EQ(journal, (TJournal{"first filter"}));

  form->Red->RemoveMessageFilter(MakeMethod<&TFilter::See>(&first));
  journal.clear();
  form->Red->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 2));
  EXPECT_EQ(journal, (TJournal{"second filter", "red down 1,2"}));
}

TEST_F(ShownControlTest, TheCursorIsTheScreenCursorElseTheOneOfTheChildUnderThePointer) {
  form->Blue->SetCursor(crHandPoint);
  form->Red->SetCursor(crIBeam);
  HWND window = form->Handle();
  const POINT origin = form->ClientOrigin();
  auto cursorAt = [&](int X, int Y) {
    SetCursorPos(origin.x + X, origin.y + Y);
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  EXPECT_EQ(cursorAt(40, 40), GetCursorHandle(crHandPoint));
  EXPECT_EQ(cursorAt(15, 15), GetCursorHandle(crIBeam));
  form->SetCursor(crCross);
  EXPECT_EQ(cursorAt(100, 5), GetCursorHandle(crCross));
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(cursorAt(40, 40), GetCursorHandle(crHourGlass));
  Screen->SetCursor(crDefault);
}

TEST_F(ShownControlTest, TheHintTargetIsTheWindowlessChildUnderThePointer) {
  form->Blue->SetHint(u"blue hint");
  const POINT origin = form->ClientOrigin();
  EXPECT_EQ(FindDragTarget(POINT{origin.x + 40, origin.y + 40}, false), form->Blue);
  EXPECT_EQ(FindDragTarget(POINT{origin.x + 15, origin.y + 15}, false), form->Red);
  EXPECT_EQ(FindDragTarget(POINT{origin.x + 100, origin.y + 5}, false), form);

  // ShowHint follows the parent until it is set on the control itself.
  form->SetShowHint(true);
  EXPECT_TRUE(form->Blue->ShowHint());
  form->Blue->SetShowHint(false);
  EXPECT_FALSE(form->Blue->ParentShowHint());
  form->SetShowHint(false);
  form->SetShowHint(true);
  EXPECT_FALSE(form->Blue->ShowHint());
  EXPECT_TRUE(form->Red->ShowHint());
}

TEST_F(ControlTest, AlignedChildrenFillTheClientAreaLessThePaddingInTheirOrder) {
  TJournal journal;
  auto panel = MakeForm<TSwatchForm>(&journal);  // no window needed: alignment works on the bounds
  panel->SetBounds(0, 0, 200, 100);
  panel->Padding().SetBounds(5, 5, 5, 5);
  auto add = [&](TAlign AAlign, int ASize) {
    TSwatch* s = nullptr;
    NewInto(s, panel.get(), &journal, "s", clBlack);
    s->SetBounds(0, 0, ASize, ASize);
    s->SetAlign(AAlign);
    s->SetParent(panel.get());
    return s;
  };
  panel->Red->Hide();
  panel->Blue->Hide();
  TSwatch* client = add(TAlign::alClient, 1);
  TSwatch* right = add(TAlign::alRight, 30);
  TSwatch* left = add(TAlign::alLeft, 20);
  TSwatch* bottom = add(TAlign::alBottom, 15);
  TSwatch* top = add(TAlign::alTop, 10);
  auto bounds = [](TControl* c) { return std::vector<int>{c->Left(), c->Top(), c->Width(), c->Height()}; };
  EXPECT_EQ(bounds(top), (std::vector<int>{5, 5, 190, 10}));
  EXPECT_EQ(bounds(bottom), (std::vector<int>{5, 80, 190, 15}));
  EXPECT_EQ(bounds(left), (std::vector<int>{5, 15, 20, 65}));
  EXPECT_EQ(bounds(right), (std::vector<int>{165, 15, 30, 65}));
  EXPECT_EQ(bounds(client), (std::vector<int>{25, 15, 140, 65}));

  panel->SetBounds(0, 0, 300, 120);
  EXPECT_EQ(bounds(client), (std::vector<int>{25, 15, 240, 85}));
  EXPECT_EQ(bounds(bottom), (std::vector<int>{5, 100, 290, 15}));

  // Of two top-aligned controls the upper one stays on top; a hidden one gives its place up.
  TSwatch* second = add(TAlign::alTop, 7);
  second->SetTop(0);
  panel->Realign();
  EXPECT_EQ(bounds(second), (std::vector<int>{5, 5, 290, 7}));
  EXPECT_EQ(bounds(top), (std::vector<int>{5, 12, 290, 10}));
  second->Hide();
  EXPECT_EQ(bounds(top), (std::vector<int>{5, 5, 290, 10}));
}

TEST_F(ControlTest, AnchorsKeepDistancesAndConstraintsLimitTheSize) {
  TJournal journal;
  auto panel = MakeForm<TSwatchForm>(&journal);
  panel->SetBounds(0, 0, 200, 100);
  panel->Red->SetBounds(150, 70, 30, 20);
  panel->Red->SetAnchors(akRight | akBottom);
  panel->Blue->SetBounds(10, 10, 100, 20);
  panel->Blue->SetAnchors(akLeft | akTop | akRight);
  panel->Blue->Constraints().SetMaxWidth(180);
  panel->SetBounds(0, 0, 300, 150);
  EXPECT_EQ(panel->Red->BoundsRect().left, 250);
  EXPECT_EQ(panel->Red->BoundsRect().top, 120);
  EXPECT_EQ(panel->Red->Width(), 30);
  EXPECT_EQ(panel->Blue->Width(), 180);  // 200 wanted, limited
  panel->SetBounds(0, 0, 150, 100);
  EXPECT_EQ(panel->Red->Left(), 100);
  EXPECT_EQ(panel->Blue->Width(), 50);

  panel->Red->Constraints().SetMinWidth(40);
  EXPECT_EQ(panel->Red->Width(), 40);
}

// A windowed control that counts background erasures and wheel steps.
class TCounter : public TCustomControl {
 public:
  explicit TCounter(TComponent* AOwner) : TCustomControl(AOwner) { SetBounds(0, 0, 50, 50); }
  int Erases = 0;
  int Downs = 0;
  int Ups = 0;

 protected:
  void WndProc(TMessage& AMessage) override {
    if (AMessage.Msg == WM_ERASEBKGND) ++Erases;
    TCustomControl::WndProc(AMessage);
  }
  bool DoMouseWheelDown(TShiftState, POINT) override {
    ++Downs;
    return true;
  }
  bool DoMouseWheelUp(TShiftState, POINT) override {
    ++Ups;
    return true;
  }
};

TEST_F(ShownControlTest, AWindowedControlThatCapturesThePressGivesTheCaptureBackAtTheRelease) {
  TCounter* control = nullptr;
  NewInto(control, form);
  control->SetControlStyle(control->ControlStyle() | csCaptureMouse | csClickEvents);
  control->SetParent(form);
  HWND window = control->Handle();
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(GetCapture(), window);
  EXPECT_TRUE(control->MouseCapture());
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_FALSE(control->MouseCapture());
  control->Free();
}

TEST_F(ShownControlTest, InvalidatingAnOpaqueControlRepaintsWithoutErasing) {
  TCounter* counter = nullptr;
  NewInto(counter, form);
  counter->SetParent(form);
  form->Update();
  counter->Update();
  for (bool opaque : {false, true}) {
    counter->SetControlStyle(opaque ? (counter->ControlStyle() | csOpaque) : (counter->ControlStyle() - csOpaque));
    counter->Erases = 0;
    counter->Invalidate();
    counter->Update();
    EXPECT_EQ(counter->Erases, opaque ? 0 : 1) << "opaque " << opaque;
  }
}

TEST_F(ControlTest, WheelDeltasAccumulateToWholeStepsAndATurnBackStartsAgain) {
  TJournal journal;
  auto form = MakeForm<TSwatchForm>(&journal);
  TCounter* counter = nullptr;
  NewInto(counter, form.get());
  counter->SetParent(form.get());
  HWND window = counter->Handle();
  auto wheel = [&](int ADelta) {
    return SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(ADelta))), 0);
  };
  struct TStep {
    int Delta, Downs, Ups;
  };
  const TStep steps[] = {{-40, 0, 0}, {-40, 0, 0}, {-40, 1, 0}, {-240, 3, 0},
                         {-60, 3, 0}, {90, 3, 0},  {30, 3, 1},  {360, 3, 4}};
  for (const TStep& s : steps) {
    wheel(s.Delta);
    EXPECT_EQ(counter->Downs, s.Downs) << "after " << s.Delta;
    EXPECT_EQ(counter->Ups, s.Ups) << "after " << s.Delta;
  }
}

// A push button made from the system class; its parent's WM_COMMAND comes back to it.
class TSystemButton : public TWinControl {
 public:
  explicit TSystemButton(TComponent* AOwner) : TWinControl(AOwner) {
    SetBounds(5, 5, 60, 24);
    SetTabStop(true);
  }
  int Clicks = 0;

 protected:
  void CreateParams(TCreateParams& AParams) override {
    TWinControl::CreateParams(AParams);
    AParams.SysClassName = u"BUTTON";
    AParams.Style |= BS_PUSHBUTTON;
  }
  void WndProc(TMessage& AMessage) override {
    if (AMessage.Msg == CN_COMMAND && HIWORD(AMessage.WParam) == BN_CLICKED) {
      ++Clicks;
      AMessage.Handled = true;
      return;
    }
    TWinControl::WndProc(AMessage);
  }
};

TEST_F(ShownControlTest, AParentsNotificationIsReflectedToTheChildControlThatSentIt) {
  TSystemButton* button = nullptr;
  NewInto(button, form);
  button->SetCaption(u"Push");
  button->SetParent(form);
  HWND window = button->Handle();
  wchar_t className[64];
  GetClassNameW(window, className, 64);
  EXPECT_EQ(std::wstring(className), L"TSystemButton");
  EXPECT_EQ(button->Caption(), u"Push");
  SendMessageW(window, BM_CLICK, 0, 0);
  EXPECT_EQ(button->Clicks, 1);
  // The system class answers for itself.
  EXPECT_TRUE(SendMessageW(window, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON);
}

// A windowed child that answers the measuring of its owner-drawn items with its own item height.
class TMeasuredList : public TCustomControl {
 public:
  TMeasuredList(TComponent* AOwner, UINT AItemHeight) : TCustomControl(AOwner), FItemHeight(AItemHeight) {}
  int Measured = 0;

 protected:
  void WndProc(TMessage& AMessage) override {
    if (AMessage.Msg == CN_MEASUREITEM) {
      ++Measured;
      TMeasureItemMessage(AMessage).Record.itemHeight = FItemHeight;
      return AMessage.Answer(TRUE);
    }
    TCustomControl::WndProc(AMessage);
  }

 private:
  UINT FItemHeight;
};

TEST_F(ControlTest, MeasuringAnItemIsReflectedToTheFirstChildWithItsIdAndNeverForAMenu) {
  auto parent = MakeForm<TForm>();  // never shown
  TMeasuredList* lists[3] = {};
  for (UINT i = 0; i < 3; ++i) {
    NewInto(lists[i], parent.get(), 11 * (i + 1));
    lists[i]->SetParent(parent.get());
  }
  // The last child's window takes the middle one's id: the first child with it answers.
  const int id = GetDlgCtrlID(lists[1]->Handle());
  SetWindowLongPtrW(lists[2]->Handle(), GWLP_ID, id);
  MEASUREITEMSTRUCT item{ODT_LISTBOX, static_cast<UINT>(id), 0, 0, 0, 0};
  EXPECT_EQ(SendMessageW(parent->Handle(), WM_MEASUREITEM, id, reinterpret_cast<LPARAM>(&item)), TRUE);
  EXPECT_EQ(item.itemHeight, 22u);
  MEASUREITEMSTRUCT menuItem{ODT_MENU, static_cast<UINT>(id), 0, 0, 0, 0};
  SendMessageW(parent->Handle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&menuItem));
  EXPECT_EQ(lists[0]->Measured, 0);
  EXPECT_EQ(lists[1]->Measured, 1);
  EXPECT_EQ(lists[2]->Measured, 0);
}

// Flags of two families do not mix; a family's own members do.
template <class A, class B>
concept Mixable = requires(A a, B b) {
  a | b;
};
static_assert(Mixable<TShiftFlag, TShiftFlag> && Mixable<TControlStyle, TControlStyleFlag>);
static_assert(!Mixable<TShiftFlag, TControlStyleFlag> && !Mixable<TControlStyle, TControlStateFlag> &&
              !Mixable<TComponentStateFlag, TControlStateFlag> && !Mixable<TAnchors, TShiftFlag>);

// A container with a child: windows made again keep both.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner) : TCustomControl(AOwner) { SetControlStyle(ControlStyle() | csAcceptsControls); }
};

TEST_F(ShownControlTest, RecreatingAWindowMakesItsChildrenAgainWithTheirTextBoundsStateAndFocus) {
  TPanel* panel = nullptr;
  NewInto(panel, form);
  panel->SetBounds(0, 60, 120, 40);
  panel->SetParent(form);
  TSystemButton* first = nullptr;
  NewInto(first, form);
  first->SetCaption(u"one");
  first->SetParent(panel);
  TSystemButton* second = nullptr;
  NewInto(second, form);
  second->SetBounds(70, 5, 40, 24);
  second->SetCaption(u"two");
  second->SetEnabled(false);
  second->SetParent(panel);
  TSystemButton* hidden = nullptr;
  NewInto(hidden, form);
  hidden->Hide();
  hidden->SetParent(panel);
  first->SetFocus();
  SetWindowTextW(first->Handle(), L"typed");  // text that lives only in the window so far

  const HWND oldForm = form->Handle();
  const HWND oldFirst = first->Handle();
  form->RecreateWnd();
  EXPECT_NE(form->Handle(), oldForm);
  EXPECT_FALSE(IsWindow(oldForm));
  EXPECT_FALSE(IsWindow(oldFirst));
  EXPECT_EQ(GetParent(panel->Handle()), form->Handle());
  EXPECT_EQ(GetParent(first->Handle()), panel->Handle());
  EXPECT_EQ(first->Caption(), u"typed");
  EXPECT_EQ(second->Caption(), u"two");
  EXPECT_FALSE(IsWindowEnabled(second->Handle()));
  EXPECT_FALSE(IsWindowVisible(hidden->Handle()));
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  RECT r;
  GetWindowRect(second->Handle(), &r);
  MapWindowPoints(HWND_DESKTOP, panel->Handle(), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 70);
  EXPECT_EQ(r.top, 5);
  EXPECT_EQ(r.right - r.left, 40);
  // Creation order is kept as the order of the windows, bottom to top.
  EXPECT_EQ(GetWindow(hidden->Handle(), GW_HWNDNEXT), second->Handle());
  EXPECT_EQ(GetWindow(second->Handle(), GW_HWNDNEXT), first->Handle());
  EXPECT_TRUE(PumpUntil([&] { return first->Focused(); }));
  EXPECT_EQ(form->ActiveControl(), first);
  // The windowless children are still there and routed to.
  EXPECT_EQ(form->ControlAtPos(POINT{15, 15}, false), form->Red);
}

TEST_F(ControlTest, ChildrenTakeTheirParentsColourFontHintsAnd3DLookUntilGivenTheirOwn) {
  TJournal journal;
  auto parent = MakeForm<TPanel>();
  parent->SetColor(clYellow);
  parent->Font().SetName(u"Arial");
  parent->Font().SetColor(clRed);
  parent->SetShowHint(true);
  parent->SetCtl3D(false);
  TPanel* windowed = nullptr;
  NewInto(windowed, parent.get());
  windowed->SetParentColor(true);
  TSwatch* windowless = nullptr;
  NewInto(windowless, parent.get(), &journal, "windowless", clBlack);
  windowless->SetParentColor(true);
  TSwatch* grandchild = nullptr;
  NewInto(grandchild, parent.get(), &journal, "grandchild", clBlack);
  grandchild->SetParentColor(true);
  grandchild->SetParent(windowed);
  windowed->SetParent(parent.get());
  windowless->SetParent(parent.get());

  // Taken when they join the parent...
  for (TControl* c : std::vector<TControl*>{windowed, windowless, grandchild}) {
    EXPECT_EQ(c->Color(), clYellow);
    EXPECT_EQ(c->Font().Name(), u"Arial");
    EXPECT_EQ(c->Font().Color(), clRed);
    EXPECT_TRUE(c->ShowHint());
    EXPECT_TRUE(c->ParentColor() && c->ParentFont() && c->ParentShowHint());
  }
  EXPECT_FALSE(windowed->Ctl3D());
  EXPECT_TRUE(windowed->ParentCtl3D());

  // ...and followed when the parent changes...
  parent->SetColor(clLime);
  parent->Font().SetSize(14);
  parent->SetShowHint(false);
  parent->SetCtl3D(true);
  for (TControl* c : std::vector<TControl*>{windowed, windowless, grandchild}) {
    EXPECT_EQ(c->Color(), clLime);
    EXPECT_EQ(c->Font().Size(), 14);
    EXPECT_FALSE(c->ShowHint());
  }
  EXPECT_TRUE(windowed->Ctl3D());

  // ...until a value is set on the child itself.
  windowed->SetColor(clBlue);
  windowed->Font().SetStyle(fsBold);
  windowed->SetShowHint(true);
  windowed->SetCtl3D(false);
  EXPECT_FALSE(windowed->ParentColor() || windowed->ParentFont() || windowed->ParentShowHint() ||
               windowed->ParentCtl3D());
  parent->SetColor(clAqua);
  parent->Font().SetName(u"Courier New");
  parent->SetShowHint(true);
  parent->SetShowHint(false);
  parent->SetCtl3D(false);
  parent->SetCtl3D(true);
  EXPECT_EQ(windowed->Color(), clBlue);
  EXPECT_EQ(windowed->Font().Name(), u"Arial");
  EXPECT_TRUE(windowed->ShowHint());
  EXPECT_FALSE(windowed->Ctl3D());
  EXPECT_EQ(grandchild->Color(), clBlue);  // its parent is the windowed child now
  EXPECT_EQ(windowless->Color(), clAqua);
  EXPECT_EQ(windowless->Font().Name(), u"Courier New");

  // Following the parent again takes its present value.
  windowed->SetParentColor(true);
  windowed->SetParentFont(true);
  windowed->SetParentCtl3D(true);
  EXPECT_EQ(windowed->Color(), clAqua);
  EXPECT_EQ(grandchild->Color(), clAqua);
  EXPECT_EQ(windowed->Font().Name(), u"Courier New");
  EXPECT_EQ(windowed->Font().Style(), 0);
  EXPECT_TRUE(windowed->Ctl3D());
}

// Writes down each change notification with the value the control reports while it is told.
struct TChangeNotes : public TObject {
  TJournal* Journal = nullptr;
  TControl* Control = nullptr;
  void See(TMessage& AMessage) {
    auto* win = dynamic_cast<TWinControl*>(Control);
    switch (AMessage.Msg) {
      case CM_ENABLEDCHANGED:
        Journal->push_back(Control->Enabled() ? "enabled" : "disabled");
        break;
      case CM_VISIBLECHANGED:
        Journal->push_back(Control->Visible() ? "shown" : "hidden");
        break;
      case CM_TEXTCHANGED: {
        const std::u16string text = Control->Text();
        Journal->push_back("text " + std::string(text.begin(), text.end()));
        break;
      }
      case CM_COLORCHANGED:
        Journal->push_back("colour " + std::to_string(Control->Color()));
        break;
      case CM_FONTCHANGED:
        Journal->push_back("font size " + std::to_string(Control->Font().Size()));
        break;
      case CM_CURSORCHANGED:
        Journal->push_back("cursor " + std::to_string(Control->Cursor()));
        break;
      case CM_SHOWHINTCHANGED:
        Journal->push_back(Control->ShowHint() ? "hints on" : "hints off");
        break;
      case CM_CTL3DCHANGED:
        Journal->push_back(win && win->Ctl3D() ? "3-D" : "flat");
        break;
      default:
        break;
    }
  }
};

TEST_F(ControlTest, ChangesAreToldAfterTheValueChangedAndOnlyWhenItChanged) {
  TJournal journal;
  auto parent = MakeForm<TPanel>();
  TPanel* windowed = nullptr;
  NewInto(windowed, parent.get());
  TSwatch* windowless = nullptr;
  NewInto(windowless, parent.get(), &journal, "s", clBlack);
  for (TControl* control : std::vector<TControl*>{windowed, windowless}) {
    control->SetParent(parent.get());
    TChangeNotes notes;
    notes.Journal = &journal;
    notes.Control = control;
    control->AddMessageFilter(MakeMethod<&TChangeNotes::See>(&notes));
    journal.clear();
    // Each value is set twice: only the first time is a change.
    for (int twice = 0; twice < 2; ++twice) control->SetEnabled(false);
    for (int twice = 0; twice < 2; ++twice) control->SetText(u"a");
    for (int twice = 0; twice < 2; ++twice) control->SetCaption(u"b");
    for (int twice = 0; twice < 2; ++twice) control->SetColor(clRed);
    for (int twice = 0; twice < 2; ++twice) control->Font().SetSize(12);
    for (int twice = 0; twice < 2; ++twice) control->SetCursor(crHandPoint);
    for (int twice = 0; twice < 2; ++twice) control->SetShowHint(true);
    for (int twice = 0; twice < 2; ++twice) control->SetVisible(false);
    TJournal expected{"disabled", "text a", "text b", "colour 255", "font size 12", "cursor -21", "hints on", "hidden"};
    if (auto* win = dynamic_cast<TWinControl*>(control)) {
      win->SetCtl3D(false);
      win->SetCtl3D(false);
      expected.push_back("flat");
    }
    EXPECT_EQ(journal, expected) << (control == windowed ? "windowed" : "windowless");
    control->RemoveMessageFilter(MakeMethod<&TChangeNotes::See>(&notes));
  }
}

// A windowless control that writes down presses, releases and the clicks made of them.
class TClicker : public TGraphicControl {
 public:
  TClicker(TComponent* AOwner, TJournal* AJournal) : TGraphicControl(AOwner), FJournal(AJournal) {
    SetBounds(0, 0, 20, 20);
  }
  void Click() override { FJournal->push_back("click"); }
  void DblClick() override { FJournal->push_back("double click"); }

 protected:
  void MouseDown(TMouseButton, TShiftState AShift, int, int) override {
    FJournal->push_back(AShift.Contains(ssDouble) ? "down double" : "down");
  }
  void MouseUp(TMouseButton, TShiftState, int, int) override { FJournal->push_back("up"); }

 private:
  TJournal* FJournal;
};

TEST_F(ControlTest, TheSecondPressOfADoubleClickIsADoubleClickAndNoClickUnlessTheControlTakesNoDoubleClicks) {
  for (bool doubleClicks : {true, false}) {
    TJournal journal;
    auto parent = MakeForm<TPanel>();
    TClicker* clicker = nullptr;
    NewInto(clicker, parent.get(), &journal);
    clicker->SetParent(parent.get());
    if (!doubleClicks) clicker->SetControlStyle(clicker->ControlStyle() - csDoubleClicks);
    clicker->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    clicker->Perform(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    clicker->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    clicker->Perform(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    // A release outside the control is no click.
    clicker->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    clicker->Perform(WM_LBUTTONUP, 0, MAKELPARAM(25, 5));
    const TJournal expected = doubleClicks
                                  ? TJournal{"down", "up", "click", "down double", "double click", "up", "down", "up"}
                                  : TJournal{"down", "up", "click", "down", "up", "click", "down", "up"};
    EXPECT_EQ(journal, expected) << "double clicks " << doubleClicks;
  }
}

// A popup menu that writes down where it was asked to show.
class TMenuProbe : public TComponent, public IPopupMenu {
 public:
  TMenuProbe(TComponent* AOwner, TJournal* AJournal) : TComponent(AOwner), FJournal(AJournal) {}
  void PopupFor(TControl* AControl, POINT AScreenPos) override {
    FJournal->push_back("popup for " + std::string(AControl->Name().begin(), AControl->Name().end()) + " at " +
                        std::to_string(AScreenPos.x) + "," + std::to_string(AScreenPos.y));
  }

 private:
  TJournal* FJournal;
};

struct TContextWatch : public TObject {
  TJournal* Journal = nullptr;
  bool Handle = false;
  void Popup(TObject*, POINT AMousePos, bool& AHandled) {
    Journal->push_back("context at " + std::to_string(AMousePos.x) + "," + std::to_string(AMousePos.y));
    AHandled = Handle;
  }
};

TEST_F(ControlTest, AContextMenuRequestAsksOnContextPopupThenShowsThePopupMenuOfTheControlUnderThePointer) {
  TJournal journal;
  auto parent = MakeForm<TPanel>();
  parent->SetName(u"parent");
  parent->SetBounds(100, 50, 200, 100);  // no window: screen coordinates come from the bounds
  TSwatch* child = nullptr;
  NewInto(child, parent.get(), &journal, "child", clBlack);
  child->SetName(u"child");
  child->SetBounds(10, 10, 30, 30);
  child->SetParent(parent.get());
  TMenuProbe* menu = nullptr;
  NewInto(menu, nullptr, &journal);
  TContextWatch watch;
  watch.Journal = &journal;
  parent->OnContextPopup = MakeMethod<&TContextWatch::Popup>(&watch);
  parent->SetPopupMenu(menu);
  auto request = [&](int X, int Y) {
    journal.clear();
    parent->Perform(WM_CONTEXTMENU, 0, MAKELPARAM(static_cast<WORD>(X), static_cast<WORD>(Y)));
    return journal;
  };
  EXPECT_EQ(request(180, 90), (TJournal{"context at 80,40", "popup for parent at 180,90"}));
  // From the keyboard the menu shows at the client area's corner.
  EXPECT_EQ(request(-1, -1), (TJournal{"context at -1,-1", "popup for parent at 100,50"}));
  watch.Handle = true;
  EXPECT_EQ(request(180, 90), (TJournal{"context at 80,40"}));
  watch.Handle = false;
  // Over a windowless child without a menu of its own the parent's shows; with one, the child's.
  EXPECT_EQ(request(115, 65), (TJournal{"context at 15,15", "popup for parent at 115,65"}));
  child->SetPopupMenu(menu);
  EXPECT_EQ(request(115, 65), (TJournal{"popup for child at 115,65"}));

  TComponent plain(nullptr);
  EXPECT_THROW(child->SetPopupMenu(&plain), EComponentError);
  menu->Free();
  EXPECT_EQ(child->PopupMenu(), nullptr);
  EXPECT_EQ(parent->PopupMenu(), nullptr);
  EXPECT_EQ(request(180, 90), (TJournal{"context at 80,40"}));
}

class TBorderThemes : public TStubThemeServices {
 public:
  void PaintBorder(HWND AWindow, bool AEraseLRCorner) override {
    Borders->push_back(std::string(AWindow == Expected ? "border" : "other border") +
                       (AEraseLRCorner ? " with corner" : ""));
  }
  TJournal* Borders = nullptr;
  HWND Expected = nullptr;
};

// A control with a client edge, asking for the themed border or not, with both scroll bars or none.
class TEdged : public TCustomControl {
 public:
  TEdged(TComponent* AOwner, bool ABorderPaint, bool AScrollBars) : TCustomControl(AOwner), FScrollBars(AScrollBars) {
    SetBounds(0, 0, 80, 60);
    if (ABorderPaint) SetControlStyle(ControlStyle() | csNeedsBorderPaint);
  }

 protected:
  void CreateParams(TCreateParams& AParams) override {
    TCustomControl::CreateParams(AParams);
    AParams.ExStyle |= WS_EX_CLIENTEDGE;
    if (FScrollBars) AParams.Style |= WS_HSCROLL | WS_VSCROLL;
  }

 private:
  bool FScrollBars;
};

TEST_F(ControlTest, TheThemeServicesPaintTheClientEdgeOfControlsThatAskForItWhileStylesAreOn) {
  TJournal borders;
  auto form = MakeForm<TForm>();  // never shown
  auto* themes = new TBorderThemes;
  themes->Borders = &borders;
  InstallThemeServices(std::unique_ptr<IThemeServices>(themes));
  struct TCase {
    bool BorderPaint, ScrollBars, Styles;
    TJournal Expected;
  };
  const TCase cases[] = {
      {true, false, true, {"border"}},
      {true, true, true, {"border with corner"}},
      {false, false, true, {}},
      {true, false, false, {}},
  };
  for (const TCase& c : cases) {
    TEdged* edged = nullptr;
    NewInto(edged, form.get(), c.BorderPaint, c.ScrollBars);
    edged->SetParent(form.get());
    themes->Expected = edged->Handle();
    if (!c.Styles) InstallThemeServices(nullptr);
    borders.clear();
    SendMessageW(edged->Handle(), WM_NCPAINT, 1, 0);
    EXPECT_EQ(borders, c.Expected) << c.BorderPaint << c.ScrollBars << c.Styles;
    edged->Free();
  }
  InstallThemeServices(nullptr);
}

TEST_F(ControlTest, AWindowlessControlsOwnCanvasFollowsItWhenItMovesOrChangesParent) {
  TJournal journal;
  auto form = MakeForm<TSwatchForm>(&journal);  // never shown
  TPanel* panel = nullptr;
  NewInto(panel, form.get());
  panel->SetBounds(0, 60, 120, 40);
  panel->SetParent(form.get());
  form->HandleNeeded();
  // The context's origin, its clip rectangle (in the window's coordinates) and whether it is the parent's.
  auto placement = [](TSwatch* ASwatch) {
    HDC dc = ASwatch->Canvas().Handle();
    POINT origin;
    GetViewportOrgEx(dc, &origin);
    RECT clip{};
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (GetClipRgn(dc, region) == 1) GetRgnBox(region, &clip);
    DeleteObject(region);
    return std::vector<long>{origin.x,
                             origin.y,
                             clip.left,
                             clip.top,
                             clip.right,
                             clip.bottom,
                             static_cast<long>(WindowFromDC(dc) == ASwatch->Parent()->Handle())};
  };
  EXPECT_EQ(placement(form->Red), (std::vector<long>{10, 10, 10, 10, 60, 60, 1}));
  form->Red->SetBounds(20, 15, 30, 25);
  EXPECT_EQ(placement(form->Red), (std::vector<long>{20, 15, 20, 15, 50, 40, 1}));
  form->Red->SetParent(panel);
  EXPECT_EQ(placement(form->Red), (std::vector<long>{20, 15, 20, 15, 50, 40, 1}));
}

}  // namespace
