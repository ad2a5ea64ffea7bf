// The sheet form on one shown window for the whole suite, bound to a fresh scripted sheet per test: presses counted
// into clicks, scrolling a rectangle into view, the drop-down window's size, place and mouse, replace, collapse
// and expand in one undo step, the undo captions, the key road's beeps and routing, Tab, jumps to elements and
// the hook on a re-created range box. Keys and clicks go through SendInput, so the modifiers are really held.
#include "app/diSheetForm.h"
#include "controls/baAppCmpns.h"
#include "controls/baSaper.h"
#include "document/elements/diCommonElements.h"
#include "document/elements/diCustomElements.h"
#include "document/elements/diTableElement.h"
#include "document/elements/plElements.h"
#include "document/elements/unDocument.h"
#include "document/model/diDropDown.h"
#include "document/text/diTextorElement.h"
#include "document/text/diTextorInteractive.h"
#include "foundation/cuSystem.h"
#include "foundation/cuUndoRedo.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwActions.h"
#include "framework/fwApplication.h"
#include "framework/fwMenus.h"
#include "framework/fwScreen.h"
#include "tests/app/AppFixture.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(SheetFormClicks, PressesCountWithinTheThresholdAndTheDoubleClickTime) {
  const struct {
    const char* Name;
    int Count;
    bool Left;
    POINT Point;
    int64_t Elapsed;
    int Expected;
  } cases[] = {
      {"a first press", 0, true, {0, 0}, -1, 0},
      {"a second quick press", 0, true, {0, 0}, 100, 2},
      {"the third", 2, true, {0, 0}, 100, 3},
      {"the fifth", 4, true, {0, 0}, 100, 5},
      {"5 pixels away on both axes", 2, true, {5, -5}, 100, 3},
      {"6 pixels away", 2, true, {6, 0}, 100, 0},
      {"6 pixels up", 2, true, {0, -6}, 100, 0},
      {"at the double-click time", 2, true, {0, 0}, 500, 0},
      {"a right press", 2, false, {0, 0}, 100, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NextClickCount(c.Count, c.Left, {0, 0}, c.Point, c.Elapsed, 500, 5), c.Expected) << c.Name;
}

TEST(SheetFormScrolling, ARectangleComesIntoViewByItsEdgesAndTheMargin) {
  const struct {
    const char* Name;
    TRect Rect;
    bool Margin;
    POINT From;
    POINT Expected;
  } cases[] = {
      {"below and right, with margin", {350, 500, 420, 520}, true, {0, 0}, {50, 220}},
      {"below and right, without", {350, 500, 420, 520}, false, {0, 0}, {20, 220}},
      {"already shown", {10, 10, 20, 20}, false, {0, 0}, {0, 0}},
      {"the margin may go past the range's start", {10, 10, 20, 20}, true, {0, 0}, {-20, 0}},
      {"left of the view: the left edge wins", {100, 0, 600, 10}, false, {300, 0}, {100, 0}},
      {"taller than the view, scrolling down: its top", {0, 400, 10, 1000}, false, {0, 0}, {0, 400}},
      {"taller than the view, scrolling up: its bottom", {0, 400, 10, 1000}, false, {0, 900}, {0, 700}},
  };
  for (const auto& c : cases) {
    const POINT p = ScrollPositionFor(c.Rect, c.Margin, c.From, {400, 300});
    EXPECT_EQ(p.x, c.Expected.x) << c.Name;
    EXPECT_EQ(p.y, c.Expected.y) << c.Name;
  }
}

TEST(SheetFormDropDown, TheWindowTakesUpToSeventeenRowsAndOpensAboveWhereThereIsMoreRoom) {
  const RECT work{0, 0, 1280, 1000};
  const struct {
    const char* Name;
    RECT Element;
    int Count;
    int Rows;
    bool Above;
    int Top;
  } cases[] = {
      {"one item", {10, 100, 110, 120}, 1, 1, false, 120},
      {"no item still shows a row", {10, 100, 110, 120}, 0, 1, false, 120},
      {"forty items", {10, 100, 110, 120}, 40, 17, false, 120},
      {"near the bottom: above", {10, 900, 110, 920}, 40, 17, true, 900 - 17 * 16 - 2},
      {"little room either way: fewer rows below", {10, 50, 110, 950}, 40, 3, false, 950},
  };
  for (const auto& c : cases) {
    const TDropDownPlacement p = PlaceDropDown(c.Element, c.Count, 16, 2, 200, work);
    EXPECT_EQ(p.Rows, c.Rows) << c.Name;
    EXPECT_EQ(p.Above, c.Above) << c.Name;
    EXPECT_EQ(p.Bounds.top, c.Top) << c.Name;
    EXPECT_EQ(p.Bounds.bottom - p.Bounds.top, c.Rows * 16 + 2) << c.Name;
  }
  EXPECT_EQ(PlaceDropDown({1200, 0, 1250, 20}, 1, 16, 2, 200, work).Bounds.left, 1080) << "kept inside on the right";
}

// Records what presses reach it.
class TClickLeaf : public TTestVisualLeaf {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTestVisualLeaf::TTestVisualLeaf;
  void MouseDown(TVisualPoint APoint, bool ALeft, bool ADouble, bool ATriple, bool AQuadruple, bool AShift, bool ACtrl,
                 bool AAlt) override {
    Presses.push_back(ADouble ? "double" : ATriple ? "triple" : AQuadruple ? "quadruple" : "none");
    TTestVisualLeaf::MouseDown(APoint, ALeft, ADouble, ATriple, AQuadruple, AShift, ACtrl, AAlt);
  }
  std::vector<std::string> Presses;
};
const TElementClassInfo TClickLeaf::ClassInfo{u"TClickLeaf", &TTestVisualLeaf::ClassInfo, &ElementFactory<TClickLeaf>};

// An operation that changes nothing, with the flags and caption it is given.
class TMarkOperation : public TOperation {
 public:
  TMarkOperation(int AFlags, std::u16string ACaption) : FFlags(AFlags), FCaption(std::move(ACaption)) {}
  int GetFlags() const override { return FFlags; }
  std::u16string GetCaption() const override { return FCaption; }

 private:
  int FFlags;
  std::u16string FCaption;
};

// The screen's own routines again once a test is done.
class TScreenHost : public IUserInterfaceHost {
 public:
  void ShowScreenCursor(TCursor ACursor) override { Screen->SetCursor(ACursor); }
  HCURSOR CursorHandle(TCursor ACursor) override { return Screen->Cursors(ACursor); }
  int MessageBox(const std::u16string& AText, const std::u16string& ACaption, UINT AFlags) override {
    return Application->MessageBox(AText, ACaption, AFlags);
  }
};

void Pump(DWORD AMilliseconds = 60) {
  const ULONGLONG end = GetTickCount64() + AMilliseconds;
  do {
    Application->ProcessMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (GetTickCount64() < end);
}

INPUT KeyInput(uint16_t AKey, bool AUp) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = AKey;
  input.ki.dwFlags = AUp ? KEYEVENTF_KEYUP : 0;
  return input;
}

// Presses the modifiers, the key, then lets everything go, and handles what that caused.
void Type(uint16_t AKey, std::vector<uint16_t> AModifiers = {}) {
  std::vector<INPUT> inputs;
  for (uint16_t modifier : AModifiers) inputs.push_back(KeyInput(modifier, false));
  inputs.push_back(KeyInput(AKey, false));
  inputs.push_back(KeyInput(AKey, true));
  for (auto it = AModifiers.rbegin(); it != AModifiers.rend(); ++it) inputs.push_back(KeyInput(*it, true));
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Pump();
}

void Press(POINT AScreen, bool ALeft = true) {
  SetCursorPos(AScreen.x, AScreen.y);
  INPUT inputs[2]{};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = ALeft ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN;
  inputs[1].mi.dwFlags = ALeft ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP;
  SendInput(2, inputs, sizeof(INPUT));
  Pump(20);
}

void Wheel(int ADelta) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_WHEEL;
  input.mi.mouseData = static_cast<DWORD>(ADelta);
  SendInput(1, &input, sizeof(INPUT));
  Pump();
}

class SheetFormTest : public TStartedUnitsTest {
 protected:
  static void SetUpTestSuite() {
    TStartedUnitsTest::SetUpTestSuite();
    Form = New<TSheetForm>(nullptr);
    Form->rb1->SetBorderStyle(TControlBorderStyle::bsNone);
    Form->SetBounds(40, 40, 420, 320);
    Form->Show();
    SetForegroundWindow(Form->Handle());
    Pump(200);
  }
  static void TearDownTestSuite() {
    Form->Free();
    Form = nullptr;
    TStartedUnitsTest::TearDownTestSuite();
  }

  void SetUp() override {
    TStartedUnitsTest::SetUp();
    SetUserInterfaceHost(&Boxes);
    FPreviousBeeper = SetElementBeeper([this] {
      ++Beeps;
      if (OnBeep) OnBeep();
    });
    Host = std::make_unique<TSheetHostFixture>();
    Form->SetSheet(&Host->Scheme, Host->Sheet.get());
    SetForegroundWindow(Form->Handle());
    Form->rb1->SetFocus();
    Pump();
  }
  void TearDown() override {
    Form->OnKeyDownHook = {};
    Form->SetSheet(nullptr, nullptr);
    Host.reset();
    SetElementBeeper(FPreviousBeeper);
    static TScreenHost screen;
    SetUserInterfaceHost(&screen);
    TStartedUnitsTest::TearDown();
  }

  // Sizes the form until its range box's client is AWidth x AHeight.
  static void SizeView(int AWidth, int AHeight) {
    for (int i = 0; i < 3; ++i) {
      const SIZE client = Form->rb1->GetClientSize();
      Form->SetBounds(Form->Left(), Form->Top(), Form->Width() + AWidth - client.cx,
                      Form->Height() + AHeight - client.cy);
    }
  }
  POINT ScreenOf(TVisualPoint ASheetPoint) const {
    return Form->rb1->ClientToScreen(Form->rb1->RangeToClient({ASheetPoint.X, ASheetPoint.Y}));
  }

  TTextorElement* AddText(const std::u16string& AText, int ATop = 0) {
    auto* text = AddVisual<TTextorElement>(Host->Root, 0, ATop, 300, 20);
    text->SetTextorOptions(xoRich);
    text->SetTextOptions(AnyTextOptions);
    text->SetText(AText);
    return text;
  }
  TElement_LogicFrame* EmbedFrame(TTextorElement* ARich) {
    auto* frame = Host->EmbedAtEnd<TElement_LogicFrame>(ARich);
    frame->Caption()->SetText(u"C");
    static_cast<TTextorElement*>(frame->Content())->SetText(u"D");
    return frame;
  }
  // A list of ACount rows under the root, the element at ABounds (sheet coordinates), opened on the sheet.
  TDropDownList* OpenList(int ACount, const TRect& ABounds, int ABranchRows = 0) {
    auto list = std::make_unique<TDropDownList>(Host->Sheet.get(), [this](TDropDownList*) { ++Applied; });
    for (int i = 0; i < ACount; ++i) {
      auto* item = new TDropDownItem(list.get(), list->RootItem());
      item->SetCaption(u"Row " + IntToStr(i));
      if (i == 0)
        for (int j = 0; j < ABranchRows; ++j) (new TDropDownItem(list.get(), item))->SetCaption(u"Sub " + IntToStr(j));
    }
    list->SetBounds(ABounds);
    TDropDownList* raw = list.get();
    Host->Sheet->OpenDropDown(std::move(list));
    Pump();
    return raw;
  }
  static RECT WindowRect(HWND AWindow) {
    RECT r{};
    GetWindowRect(AWindow, &r);
    return r;
  }
  int VisibleRows() const {
    RECT client{};
    GetClientRect(Form->DropDown()->Handle(), &client);
    return (client.bottom - client.top) / Form->DropDown()->ItemHeight();
  }

  static inline TSheetForm* Form = nullptr;
  TRecordingHost Boxes;
  std::unique_ptr<TSheetHostFixture> Host;
  int Beeps = 0;
  std::function<void()> OnBeep;
  int Applied = 0;

 private:
  TElementBeeper FPreviousBeeper;
};

TEST_F(SheetFormTest, QuickPressesOnOneSpotCountUpToAQuadrupleClickAndARightPressOrAMoveResets) {
  auto* leaf = AddVisual<TClickLeaf>(Host->Root, 20, 20, 100, 40);
  Pump();
  const POINT spot = ScreenOf({40, 30});
  for (int i = 0; i < 5; ++i) Press(spot);
  EXPECT_EQ(leaf->Presses, (std::vector<std::string>{"none", "double", "triple", "quadruple", "none"}));

  Sleep(GetDoubleClickTime() + 50);
  leaf->Presses.clear();
  // The right release would open the edit menu and wait in its loop.
  Form->rb1->SetPopupMenu(nullptr);
  Press(spot);
  Press(spot);
  Press(spot, false);
  Press(spot);
  Press({spot.x + 6, spot.y});
  Press({spot.x + 6, spot.y});
  Form->rb1->SetPopupMenu(Form->pmEdit);
  EXPECT_EQ(leaf->Presses, (std::vector<std::string>{"none", "double", "none", "none", "none", "double"}));
}

TEST_F(SheetFormTest, ARectangleScrollsIntoAFourHundredByThreeHundredViewWithItsMargin) {
  SizeView(400, 300);
  ASSERT_EQ(Form->rb1->GetClientSize().cx, 400);
  ASSERT_EQ(Form->rb1->GetClientSize().cy, 300);
  Form->rb1->SetPosition({0, 0});
  Form->ScrollRectIntoView({350, 500, 420, 520}, true);
  EXPECT_EQ(Form->rb1->Position().x, 50);
  EXPECT_EQ(Form->rb1->Position().y, 220);
  EXPECT_EQ(Host->Sheet->ScreenPos().X, 50) << "the sheet hears the new position";
  EXPECT_EQ(Host->Sheet->ScreenPos().Y, 220);
}

TEST_F(SheetFormTest, TheDropDownOpensOneRowForOneItemAndSeventeenForForty) {
  OpenList(1, {10, 10, 110, 30});
  ASSERT_NE(Form->DropDown(), nullptr);
  EXPECT_EQ(VisibleRows(), 1);
  const RECT one = WindowRect(Form->DropDown()->Handle());
  EXPECT_EQ(one.top, ScreenOf({10, 30}).y) << "below the element";
  OpenList(40, {10, 10, 110, 30});
  EXPECT_EQ(VisibleRows(), 17);
}

TEST_F(SheetFormTest, NearTheWorkAreasBottomTheDropDownOpensAboveTheElement) {
  const RECT work = Screen->WorkAreaRect();
  const int top = Form->rb1->ScreenToClient({0, work.bottom - 30}).y + Form->rb1->Position().y;
  OpenList(40, {10, top, 110, top + 20});
  ASSERT_NE(Form->DropDown(), nullptr);
  const RECT list = WindowRect(Form->DropDown()->Handle());
  EXPECT_EQ(list.bottom, ScreenOf({10, top}).y);
  EXPECT_EQ(VisibleRows(), 17);
}

TEST_F(SheetFormTest, RefillingTheOpenDropDownNeverShrinksIt) {
  TDropDownList* list = OpenList(3, {10, 10, 110, 30}, 10);
  list->RootItem()->FirstItem()->SetExpanded(true);
  Pump();
  const RECT open = WindowRect(Form->DropDown()->Handle());
  EXPECT_EQ(Form->DropDown()->Items().Count(), 13);
  list->RootItem()->FirstItem()->SetExpanded(false);
  Pump();
  EXPECT_EQ(Form->DropDown()->Items().Count(), 3);
  const RECT after = WindowRect(Form->DropDown()->Handle());
  EXPECT_EQ(after.bottom - after.top, open.bottom - open.top);
  EXPECT_EQ(after.right - after.left, open.right - open.left);
}

TEST_F(SheetFormTest, ReleasingLeftOfTheIndentPlusTwentyTogglesTheBranchAndElsewhereApplies) {
  TDropDownList* list = OpenList(3, {10, 10, 110, 30}, 2);
  HWND window = Form->DropDown()->Handle();
  const int rowHeight = Form->DropDown()->ItemHeight();
  auto click = [&](int X, int ARow) {
    POINT p{X, ARow * rowHeight + rowHeight / 2};
    ClientToScreen(window, &p);
    Press(p);
  };
  click(10, 0);
  EXPECT_TRUE(list->RootItem()->FirstItem()->Expanded());
  ASSERT_NE(Form->DropDown(), nullptr) << "the list stays";
  EXPECT_EQ(GetFocus(), Form->rb1->Handle()) << "the sheet keeps the keyboard";
  EXPECT_EQ(GetForegroundWindow(), Form->Handle());
  click(10, 0);
  EXPECT_FALSE(list->RootItem()->FirstItem()->Expanded());
  click(60, 1);
  EXPECT_EQ(Form->DropDown(), nullptr);
  EXPECT_EQ(Applied, 1);
}

TEST_F(SheetFormTest, AListOpenedUnderARestingPointerKeepsItsRowUntilThePointerMoves) {
  const int rowHeight = 20;
  // Where the fourth row will be.
  const POINT resting = ScreenOf({40, 30 + 3 * rowHeight + rowHeight / 2});
  SetCursorPos(resting.x, resting.y);
  auto list = std::make_unique<TDropDownList>(Host->Sheet.get(), nullptr);
  for (int i = 0; i < 6; ++i) (new TDropDownItem(list.get(), list->RootItem()))->SetCaption(u"Row " + IntToStr(i));
  list->SetRowHeight(rowHeight);
  list->SetSelected(list->RootItem()->FirstItem());
  list->SetBounds({10, 10, 110, 30});
  TDropDownList* raw = list.get();
  Host->Sheet->OpenDropDown(std::move(list));
  Pump();
  ASSERT_NE(Form->DropDown(), nullptr);
  EXPECT_EQ(Form->DropDown()->ItemIndex(), 0);
  const int hovered = Form->DropDown()->ItemAtPos(Form->DropDown()->ScreenToClient({resting.x + 3, resting.y}), true);
  ASSERT_GT(hovered, 0);
  SetCursorPos(resting.x + 3, resting.y);
  Pump();
  EXPECT_EQ(Form->DropDown()->ItemIndex(), hovered);
  EXPECT_EQ(raw->Selected(), Form->DropDown()->CurrentItem());
}

TEST_F(SheetFormTest, TheDropDownWindowIsATopMostToolWindowOfItsOwnShadowedClass) {
  OpenList(2, {10, 10, 110, 30});
  HWND window = Form->DropDown()->Handle();
  wchar_t name[64]{};
  GetClassNameW(window, name, 64);
  EXPECT_EQ(std::wstring(name), L"TDropDownControl");
  const auto classStyle = static_cast<UINT>(GetClassLongPtrW(window, GCL_STYLE));
  EXPECT_EQ(classStyle & (CS_SAVEBITS | CS_DROPSHADOW), UINT(CS_SAVEBITS | CS_DROPSHADOW));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
  EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetParent(window) == Form->Handle() || GetWindow(window, GW_OWNER) != nullptr, true);
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_STYLE) & WS_POPUP);
}

TEST_F(SheetFormTest, WithAListOpenTheNavigationKeysAndTheWheelGoToTheList) {
  auto* leaf = AddVisual<TTestVisualLeaf>(Host->Root, 10, 10, 100, 20);
  AddVisual<TTestVisualLeaf>(Host->Root, 10, 40, 100, 20);
  Host->Sheet->SetFocused(leaf);
  // Away from where the list opens: the row under the pointer would become the current one.
  SetCursorPos(Screen->Width() - 1, Screen->Height() - 1);
  TDropDownList* list = OpenList(40, {10, 10, 110, 30});
  list->SetSelected(list->RootItem()->FirstItem());
  Pump();
  // A page is the shown rows less one.
  const struct {
    uint16_t Key;
    int Index;
  } keys[] = {{VK_DOWN, 1}, {VK_DOWN, 2}, {VK_NEXT, 18}, {VK_END, 39}, {VK_PRIOR, 23}, {VK_HOME, 0}, {VK_UP, 0}};
  for (const auto& k : keys) {
    Type(k.Key);
    ASSERT_NE(Form->DropDown(), nullptr) << k.Key;
    EXPECT_EQ(Form->DropDown()->ItemIndex(), k.Index) << k.Key;
    EXPECT_EQ(list->Selected(), Form->DropDown()->CurrentItem()) << "the sheet's list follows";
  }
  EXPECT_EQ(Host->Sheet->Focused(), leaf) << "the sheet never saw them";
  EXPECT_EQ(Beeps, 0);
  const POINT view = Form->rb1->Position();
  SetCursorPos(ScreenOf({200, 200}).x, ScreenOf({200, 200}).y);
  Wheel(-WHEEL_DELTA);
  EXPECT_GT(Form->DropDown()->TopIndex(), 0);
  EXPECT_EQ(Form->rb1->Position().y, view.y);
}

TEST_F(SheetFormTest, WithoutAListTheWheelScrollsTheRangeBox) {
  Form->rb1->SetPosition({0, 0});
  SetCursorPos(ScreenOf({100, 100}).x, ScreenOf({100, 100}).y);
  Wheel(-WHEEL_DELTA);
  EXPECT_EQ(Form->rb1->Position().y, 26);
}

TEST_F(SheetFormTest, ReplaceAllReportsItsCountOnceAndUndoesInOneStep) {
  TTextorElement* text = AddText(u"a x a x a");
  text->SetFocus(fdForward, {}, nullptr, nullptr);
  TFindData data;
  data.FindScope = Host->Root;
  data.FindText = u"a";
  Form->Replace(&data, u"bb", true, true);
  EXPECT_EQ(text->GetText(), u"bb x bb x bb");
  EXPECT_EQ(Boxes.Boxes, (std::vector<std::u16string>{u"The program has made 3 replacements."}));
  EXPECT_EQ(Boxes.Flags, (std::vector<UINT>{MB_OK | MB_ICONINFORMATION}));
  Type('Z', {VK_CONTROL});
  EXPECT_EQ(text->GetText(), u"a x a x a");
  EXPECT_FALSE(Host->History.CanUndo());
}

TEST_F(SheetFormTest, ReplaceWithoutAMatchSaysOnlyNotFoundAndOnAReadOnlySheetOnlyBeeps) {
  TTextorElement* text = AddText(u"a x a");
  AddText(u"y", 40);
  text->SetFocus(fdForward, {}, nullptr, nullptr);
  TFindData data;
  data.FindScope = Host->Root;
  data.FindText = u"zz";
  Form->Replace(&data, u"b", true, true);
  EXPECT_EQ(Boxes.Boxes, (std::vector<std::u16string>{u"Could not find \"zz\"."}));
  EXPECT_EQ(Beeps, 0);
  EXPECT_EQ(Host->Sheet->Focused(), text) << "the search left the focus where it began";

  Boxes.Boxes.clear();
  Host->Sheet->SetReadOnly(true);
  data.FindText = u"a";
  Form->Replace(&data, u"b", true, true);
  EXPECT_TRUE(Boxes.Boxes.empty());
  EXPECT_EQ(Beeps, 1);
  EXPECT_EQ(text->GetText(), u"a x a");
}

TEST_F(SheetFormTest, ReplacingOnceTakesTheSelectedMatchAndMovesToTheNext) {
  TTextorElement* text = AddText(u"a x a");
  text->SetFocus(fdForward, {}, nullptr, nullptr);
  TFindData data;
  data.FindScope = Host->Root;
  data.FindText = u"a";
  ASSERT_TRUE(Form->FindNext(1, &data, true));
  Form->Replace(&data, u"b", false, true);
  EXPECT_EQ(text->GetText(), u"b x a");
  EXPECT_EQ(text->Interactive()->GetSelectedText(), u"a");
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(SheetFormTest, CollapseAllThenOneUndoOpensEveryBranch) {
  TTextorElement* text = AddText(u"");
  std::vector<TElement_LogicFrame*> frames{EmbedFrame(text), EmbedFrame(text)};
  frames.push_back(EmbedFrame(static_cast<TTextorElement*>(frames[0]->Content())));
  for (auto* frame : frames) ASSERT_TRUE(frame->IsExpanded());
  Form->ExpandCollapseAll(false, false);
  for (auto* frame : frames) EXPECT_FALSE(frame->IsExpanded());
  Form->EditUndo->Execute(nullptr);
  for (auto* frame : frames) EXPECT_TRUE(frame->IsExpanded());
  EXPECT_FALSE(Host->History.CanUndo());
}

TEST_F(SheetFormTest, TheUndoCaptionNamesTheOperationWhileThePopupKeepsTheWord) {
  EXPECT_EQ(Form->EditUndo->Caption(), u"Undo");
  EXPECT_FALSE(Form->EditUndo->Enabled());
  Host->History.Perform(TNodePtr<TOperation>(new TMarkOperation(ofChangesDocument, u"Typing")));
  EXPECT_EQ(Form->EditUndo->Caption(), u"Undo: Typing");
  EXPECT_EQ(Form->miUndo->Caption(), u"Undo");
  EXPECT_TRUE(Form->EditUndo->Enabled());
  EXPECT_TRUE(Form->miUndo->Enabled());
  Host->History.Undo();
  EXPECT_EQ(Form->EditRedo->Caption(), u"Redo: Typing");
  EXPECT_EQ(Form->EditUndo->Caption(), u"Undo");
}

TEST_F(SheetFormTest, OnAReadOnlySheetUndoStaysOnlyForOperationsThatLeaveTheDocumentAlone) {
  const struct {
    const char* Name;
    int Flags;
    bool Enabled;
  } cases[] = {{"a change of the document", ofChangesDocument, false}, {"a view change", 0, true}};
  Host->Sheet->SetReadOnly(true);
  for (const auto& c : cases) {
    Host->History.Perform(TNodePtr<TOperation>(new TMarkOperation(c.Flags, u"x")));
    EXPECT_EQ(Form->EditUndo->Enabled(), c.Enabled) << c.Name;
  }
}

TEST_F(SheetFormTest, AnUnconsumedEnterOrArrowBeepsAndALetterBeepsAfterItsKeyPress) {
  auto* leaf = AddVisual<TTestVisualLeaf>(Host->Root, 10, 10, 100, 20);
  Host->Sheet->SetFocused(leaf);
  std::vector<std::u16string> typedAtBeep;
  OnBeep = [&] { typedAtBeep.push_back(leaf->Typed); };
  Type(VK_LEFT, {VK_SHIFT});
  EXPECT_EQ(typedAtBeep, (std::vector<std::u16string>{u""})) << "an arrow: at its key down";
  typedAtBeep.clear();
  Type('Q');
  EXPECT_EQ(typedAtBeep, (std::vector<std::u16string>{u"q"})) << "a letter: after the element saw it";
  typedAtBeep.clear();
  leaf->Typed.clear();
  Type(VK_RETURN);
  EXPECT_EQ(typedAtBeep, (std::vector<std::u16string>{u""})) << "Enter: once, at its key down";
}

TEST_F(SheetFormTest, TabIsWantedOnlyByTextsThatHoldTabs) {
  auto* leaf = AddVisual<TTestVisualLeaf>(Host->Root, 10, 10, 100, 20);
  TTextorElement* tabs = AddText(u"t", 40);
  TTextorElement* plain = AddText(u"p", 70);
  plain->SetTextOptions(AnyTextOptions - toTabs);
  const struct {
    const char* Name;
    TVisualElement* Focused;
    bool Wanted;
  } cases[] = {{"a leaf", leaf, false}, {"a text with tabs", tabs, true}, {"a text without", plain, false}};
  for (const auto& c : cases) {
    Host->Sheet->SetFocused(c.Focused);
    EXPECT_EQ(Form->rb1->Options().Contains(rboWantTab), c.Wanted) << c.Name;
    const LRESULT code = SendMessageW(Form->rb1->Handle(), WM_GETDLGCODE, 0, 0);
    EXPECT_EQ((code & DLGC_WANTTAB) != 0, c.Wanted) << c.Name;
  }
}

TEST_F(SheetFormTest, GoingToElementsMarksTheFoundAndTellsOfAnUnknownIdentifier) {
  auto* leaf = AddVisual<TTestVisualLeaf>(Host->Root, 10, 700, 100, 20);
  Form->rb1->SetPosition({0, 0});
  EXPECT_EQ(Form->GoToElements({leaf->ID(), 999999}), 1);
  EXPECT_TRUE(leaf->IsMarked());
  EXPECT_EQ(Boxes.Boxes, (std::vector<std::u16string>{u"Element with identifier 999999 not found."}));
  EXPECT_GT(Form->rb1->Position().y, 0) << "the first found comes into view";
  EXPECT_TRUE(Host->Sheet->ClearMarksOnFocus);
}

// The sheet form on a real document: a plain root holding a comment, a table and a logic frame, with "twin" in the
// comment, a table cell and the frame's content.
class SheetFormDocumentTest : public SheetFormTest {
 protected:
  void SetUp() override {
    SheetFormTest::SetUp();
    Load(
        "<Chars Value=\"Root Alpha \"/><Comment><Chars Value=\"note Beta twin\"/><Br/></Comment>"
        "<Chars Value=\" mid\"/><Br/>\r\n"
        "\t<Table><Row><Cell><Chars Value=\"x\"/><Br/></Cell><Cell><Chars Value=\"cell Gamma twin\"/><Br/></Cell></Row>"
        "<Row><Cell/><Cell><Chars Value=\"y\"/><Br/></Cell></Row></Table><Br/>\r\n"
        "\t<LogicFrame><Content><Chars Value=\"in Delta twin\"/><Br/></Content>"
        "<Caption><Chars Value=\"cap\"/><Br/></Caption></LogicFrame><Br/>\r\n"
        "\t<Chars Value=\"end Omega\"/><Br/>\r\n");
  }
  void TearDown() override {
    Form->SetSheet(nullptr, nullptr);
    Document.reset();
    SheetFormTest::TearDown();
  }

  // A document whose root holds AContent, bound to the form in place of the one before.
  void Load(const std::string& AContent) {
    WriteFile(u"notes.qbx", "<Quillbox FormatVersion=\"1.1\">\r\n\t" + AContent + "</Quillbox>\r\n");
    auto document = std::make_unique<TPlainDocument>(&Settings);
    document->LoadFromFile(Scratch() + u"notes.qbx");
    Form->SetSheet(document->DocumentScheme(), document->DocumentSheet());
    Document = std::move(document);
    Pump();
  }
  void WriteFile(const std::u16string& AName, const std::string& ABytes) {
    std::ofstream(Path(Scratch() + AName), std::ios::binary) << ABytes;
  }
  std::string Saved() {
    Document->SaveToFile(Scratch() + u"saved.qbx", true);
    std::ifstream in(Path(Scratch() + u"saved.qbx"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // A search over the whole sheet, as the dialogs make it.
  std::unique_ptr<TFindData> Search(std::u16string AText, bool AMatchCase) {
    auto data = std::make_unique<TFindData>();
    data->FindScope = Document->DocumentSheet()->Root();
    data->FindText = std::move(AText);
    data->MatchCase = AMatchCase;
    return data;
  }

  TSheetSettings Settings{nullptr};
  std::unique_ptr<TPlainDocument> Document;
};

TEST_F(SheetFormDocumentTest, FindReachesWordsInTheRootTextTableCellsCommentsAndFrameContents) {
  static constexpr const char16_t* InRoot = u"(the root)";
  const struct {
    const char16_t* Find;
    bool MatchCase;
    bool Down;
    // The focused text's whole text (InRoot for the root) and its selection afterwards; nil when nothing is found.
    const char16_t* Text;
    const char16_t* Selected;
  } cases[] = {
      {u"alpha", false, true, InRoot, u"Alpha"},
      {u"beta", false, true, u"note Beta twin", u"Beta"},
      {u"Beta", true, true, u"note Beta twin", u"Beta"},
      {u"beta", true, true, nullptr, nullptr},
      {u"gamma", false, true, u"cell Gamma twin", u"Gamma"},
      {u"delta", false, true, u"in Delta twin", u"Delta"},
      {u"omega", false, true, InRoot, u"Omega"},
      {u"twin", false, true, u"note Beta twin", u"twin"},
      {u"alpha", false, false, InRoot, u"Alpha"},
      {u"beta", false, false, u"note Beta twin", u"Beta"},
      {u"gamma", false, false, u"cell Gamma twin", u"Gamma"},
      {u"Gamma", true, false, u"cell Gamma twin", u"Gamma"},
      {u"GAMMA", true, false, nullptr, nullptr},
      {u"delta", false, false, u"in Delta twin", u"Delta"},
      {u"twin", false, false, u"in Delta twin", u"twin"},
  };
  TTextorElement* root = Document->DocumentRoot();
  for (const auto& c : cases) {
    const std::string name = Utf16ToUtf8(c.Find) + (c.MatchCase ? " matching case" : "") + (c.Down ? " down" : " up");
    // From the start going down, from the end going up.
    root->SetFocus(c.Down ? TFocusDirections(fdForward) : TFocusDirections(), {}, nullptr, nullptr);
    const auto data = Search(c.Find, c.MatchCase);
    EXPECT_EQ(Form->FindNext(1, data.get(), c.Down), c.Text != nullptr) << name;
    auto* text = dynamic_cast<TTextorElement*>(Document->DocumentSheet()->Focused());
    ASSERT_NE(text, nullptr) << name;
    if (!c.Text) {
      EXPECT_EQ(text, root) << name << ": the focus stays where the search began";
      continue;
    }
    if (c.Text == InRoot)
      EXPECT_EQ(text, root) << name;
    else
      EXPECT_EQ(text->GetText(), c.Text) << name;
    ASSERT_NE(text->Interactive(), nullptr) << name;
    EXPECT_EQ(text->Interactive()->GetSelectedText(), c.Selected) << name;
  }
}

TEST_F(SheetFormDocumentTest, ReplaceAllReachesEveryElementAndUndoesAndRedoesInOneStep) {
  const std::string before = Saved();
  Document->DocumentRoot()->SetFocus(fdForward, {}, nullptr, nullptr);
  Form->Replace(Search(u"TWIN", false).get(), u"pair", true, true);
  EXPECT_EQ(Boxes.Boxes, (std::vector<std::u16string>{u"The program has made 3 replacements."}));
  std::string expected = before;
  for (size_t at = expected.find("twin"); at != std::string::npos; at = expected.find("twin", at))
    expected.replace(at, 4, "pair");
  const std::string replaced = Saved();
  EXPECT_EQ(replaced, expected);
  Form->EditUndo->Execute(nullptr);
  EXPECT_EQ(Saved(), before) << "one undo restores every occurrence";
  EXPECT_FALSE(Document->UndoRedo()->CanUndo());
  Form->EditRedo->Execute(nullptr);
  EXPECT_EQ(Saved(), replaced) << "one redo replaces them again";
}

// Fails a run that performs more steps than it may, so that a replace that never ends fails rather than hangs.
struct TStepLimit : public TObject {
  explicit TStepLimit(int ALimit) : Limit(ALimit) {}
  void Notified(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
    if (ANotify == urPerformed && ++Steps > Limit) throw std::runtime_error("the replace ran past its step limit");
  }
  int Limit;
  int Steps = 0;
};

TEST_F(SheetFormDocumentTest, ReplaceAllReplacesEveryOccurrenceOnceInEitherDirectionAndEnds) {
  // "ba" holds the search text "a"; "A" equals it but for case, which the search ignores.
  const struct {
    bool Down;
    const char16_t* Replacement;
    bool InCell;
    const char16_t* Expected;
  } cases[] = {
      {true, u"ba", false, u"ba bab\r\nbba ba"},
      {false, u"ba", false, u"ba bab\r\nbba ba"},
      {true, u"A", false, u"A Ab\r\nbA A"},
      {false, u"A", false, u"A Ab\r\nbA A"},
      {true, u"ba", true, u"ba bab ba"},
      {false, u"ba", true, u"ba bab ba"},
      {true, u"A", true, u"A Ab A"},
      {false, u"A", true, u"A Ab A"},
  };
  for (const auto& c : cases) {
    const std::string name =
        Utf16ToUtf8(c.Replacement) + (c.InCell ? " in a cell" : " in the root") + (c.Down ? " down" : " up");
    if (c.InCell)
      Load(
          "<Chars Value=\"x \"/><Table><Row><Cell><Chars Value=\"x\"/><Br/></Cell>"
          "<Cell><Chars Value=\"a ab a\"/><Br/></Cell></Row></Table><Chars Value=\" end\"/><Br/>\r\n");
    else
      Load("<Chars Value=\"a ab\"/><Br/><Chars Value=\"ba a\"/><Br/>\r\n");
    TTextorElement* root = Document->DocumentRoot();
    TTextorElement* text = root;
    if (c.InCell) {
      auto* table = dynamic_cast<TCustomTableElement*>(root->FirstVisualChild());
      ASSERT_NE(table, nullptr) << name;
      text = dynamic_cast<TTextorElement*>(table->GetCell(1, 0));
      ASSERT_NE(text, nullptr) << name;
    }
    const std::u16string before = text->GetText();
    const int occurrences = c.InCell ? 3 : 4;
    Boxes.Boxes.clear();
    root->SetFocus(c.Down ? TFocusDirections(fdForward) : TFocusDirections(), {}, nullptr, nullptr);
    TStepLimit limit(occurrences * 4);
    Document->UndoRedo()->AddNotifyEvent(MakeMethod<&TStepLimit::Notified>(&limit));
    EXPECT_NO_THROW(Form->Replace(Search(u"a", false).get(), c.Replacement, true, c.Down)) << name;
    Document->UndoRedo()->RemoveNotifyEvent(MakeMethod<&TStepLimit::Notified>(&limit));
    EXPECT_EQ(Boxes.Boxes,
              (std::vector<std::u16string>{u"The program has made " + IntToStr(occurrences) + u" replacements."}))
        << name;
    EXPECT_EQ(text->GetText(), c.Expected) << name;
    Form->EditUndo->Execute(nullptr);
    EXPECT_EQ(text->GetText(), before) << name << ": one undo restores it";
    EXPECT_FALSE(Document->UndoRedo()->CanUndo()) << name;
  }
}

TEST_F(SheetFormDocumentTest, FindAndReplaceRevealTextInACollapsedFrameAndFindButKeepADisabledOne) {
  // "needle" in a collapsed frame's content, then in a disabled comment.
  const std::string flat =
      "<Chars Value=\"start \"/><LogicFrame Expanded=\"0\"><Content><Chars Value=\"one needle here\"/><Br/>"
      "</Content><Caption><Chars Value=\"cap\"/><Br/></Caption></LogicFrame>"
      "<Chars Value=\" mid \"/><Comment Disabled=\"1\"><Chars Value=\"a needle too\"/><Br/></Comment>"
      "<Chars Value=\" end\"/><Br/>\r\n";
  // A collapsed frame (the first "Expanded") holding a described collapsed frame (the second), then a described
  // collapsed frame (the third): each word stands in one place.
  const std::string nested =
      "<Chars Value=\"start \"/><LogicFrame Expanded=\"0\"><Content><Chars Value=\"outer \"/>"
      "<LogicFrame Expanded=\"0\"><Description><Chars Value=\"about alpha\"/><Br/></Description>"
      "<Content><Chars Value=\"inner beta\"/><Br/></Content><Caption><Chars Value=\"cap gamma\"/><Br/></Caption>"
      "</LogicFrame><Br/></Content><Caption><Chars Value=\"outer cap\"/><Br/></Caption></LogicFrame>"
      "<Chars Value=\" mid \"/><LogicFrame Expanded=\"0\"><Description><Chars Value=\"own delta\"/><Br/>"
      "</Description><Content><Chars Value=\"x\"/><Br/></Content><Caption><Chars Value=\"y\"/><Br/></Caption>"
      "</LogicFrame><Chars Value=\" end\"/><Br/>\r\n";
  enum TAction { aFind, aReplace, aReplaceAll };
  const struct {
    const char* Name;
    const std::string& Content;
    const char16_t* Word;
    TAction Action;
    int Times;
    // The focused text afterwards, its selection, and what was told.
    const char16_t* Focused;
    const char16_t* Selected;
    std::vector<std::u16string> Told;
    // The frames opened, by the order of their "Expanded" in the file, and the text the word was replaced in.
    std::vector<int> Opened;
    const char* Replaced;
  } cases[] = {
      {"find", flat, u"needle", aFind, 1, u"one needle here", u"needle", {}, {0}, nullptr},
      {"find twice", flat, u"needle", aFind, 2, u"a needle too", u"needle", {}, {0}, nullptr},
      {"find past the last", flat, u"needle", aFind, 3, u"a needle too", u"needle",
       {u"Could not find \"needle\"."}, {0}, nullptr},
      {"replace", flat, u"needle", aReplace, 1, u"a needle too", u"needle", {}, {0}, "one needle"},
      {"replace twice", flat, u"needle", aReplace, 2, u"a needle too", u"needle",
       {u"Could not find \"needle\"."}, {0}, "one needle"},
      {"replace all", flat, u"needle", aReplaceAll, 1, nullptr, nullptr,
       {u"The program has made 1 replacements."}, {0}, "one needle"},
      {"find a nested frame's description", nested, u"alpha", aFind, 1, u"about alpha", u"alpha", {}, {0}, nullptr},
      {"replace all in a nested frame's description", nested, u"alpha", aReplaceAll, 1, nullptr, nullptr,
       {u"The program has made 1 replacements."}, {0}, "about alpha"},
      {"find a nested frame's content", nested, u"beta", aFind, 1, u"inner beta", u"beta", {}, {0, 1}, nullptr},
      {"replace all in a nested frame's content", nested, u"beta", aReplaceAll, 1, nullptr, nullptr,
       {u"The program has made 1 replacements."}, {0, 1}, "inner beta"},
      {"find a nested frame's caption", nested, u"gamma", aFind, 1, u"cap gamma", u"gamma", {}, {0}, nullptr},
      {"find a collapsed frame's description", nested, u"delta", aFind, 1, u"own delta", u"delta", {}, {}, nullptr},
      {"replace a collapsed frame's description", nested, u"delta", aReplace, 1, u"own pin", u"",
       {u"Could not find \"delta\"."}, {}, "own delta"},
  };
  for (const auto& c : cases) {
    Load(c.Content);
    const std::string before = Saved();
    Boxes.Boxes.clear();
    Document->DocumentRoot()->SetFocus(fdForward, {}, nullptr, nullptr);
    for (int i = 0; i < c.Times; ++i) {
      const auto data = Search(c.Word, false);
      if (c.Action == aFind)
        Form->FindAgain(1, data.get(), true);
      else
        Form->Replace(data.get(), u"pin", c.Action == aReplaceAll, true);
    }
    EXPECT_EQ(Boxes.Boxes, c.Told) << c.Name;
    if (c.Focused) {
      auto* text = dynamic_cast<TTextorElement*>(Document->DocumentSheet()->Focused());
      ASSERT_NE(text, nullptr) << c.Name;
      EXPECT_EQ(text->GetText(), c.Focused) << c.Name;
      ASSERT_NE(text->Interactive(), nullptr) << c.Name;
      EXPECT_EQ(text->Interactive()->GetSelectedText(), c.Selected) << c.Name;
      EXPECT_TRUE(text->IsVisible()) << c.Name;
    }
    std::string expected = before;
    const std::string collapsed = " Expanded=\"0\"";
    for (auto opened = c.Opened.rbegin(); opened != c.Opened.rend(); ++opened) {
      size_t at = expected.find(collapsed);
      for (int i = 0; i < *opened; ++i) at = expected.find(collapsed, at + 1);
      expected.erase(at, collapsed.size());
    }
    if (c.Replaced) {
      std::string replaced = c.Replaced;
      const std::string word = Utf16ToUtf8(c.Word);
      replaced.replace(replaced.find(word), word.size(), "pin");
      expected.replace(expected.find(c.Replaced), std::string(c.Replaced).size(), replaced);
    }
    const std::string after = Saved();
    EXPECT_EQ(after, expected) << c.Name << ": only what hides the match opens, the disabled comment keeps its text";
    // The frames opened and the replacements are one step.
    if (Document->UndoRedo()->CanUndo()) Form->EditUndo->Execute(nullptr);
    EXPECT_FALSE(Document->UndoRedo()->CanUndo()) << c.Name;
    EXPECT_EQ(Saved(), before) << c.Name << ": undone, the frames are collapsed again";
    if (Document->UndoRedo()->CanRedo()) Form->EditRedo->Execute(nullptr);
    EXPECT_EQ(Saved(), after) << c.Name << ": redone";
  }
}

// Counts the key downs the form hands to its hook.
struct TKeyCounter : public TObject {
  int Count = 0;
  void KeyDown(TObject*, uint16_t&, TShiftState) { ++Count; }
};

TEST_F(SheetFormTest, TheHookSurvivesARangeBoxRecreation) {
  TKeyCounter counter;
  Form->OnKeyDownHook = MakeMethod<&TKeyCounter::KeyDown>(&counter);
  Type('Q');
  EXPECT_EQ(counter.Count, 2) << "the hooker and the key road each pass it on";
  Form->rb1->RecreateWnd();
  Pump(100);
  Form->rb1->SetFocus();
  Pump();
  ASSERT_TRUE(Form->hk1->Hooked());
  counter.Count = 0;
  Type('Q');
  EXPECT_EQ(counter.Count, 2);
}

}  // namespace
