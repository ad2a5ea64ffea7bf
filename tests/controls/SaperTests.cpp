// The range box on a shown form, driven through the loop: the limits of every clipping, the bars and their
// messages, arrow keys and the wheel, dragging with the mouse from the input queue (its threshold, the hidden and
// pinned cursor, the release and the loss of the capture), the caret following the focus, painting straight onto
// the window, and bars that settle when the range is about the size of the window.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "controls/baSaper.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwStdCtrls.h"
#include "tests/framework/ActionTestSupport.h"
#include "tests/framework/FormTestSupport.h"

// Points compare and print by their coordinates.
bool operator==(POINT A, POINT B) { return A.x == B.x && A.y == B.y; }
void PrintTo(POINT APoint, std::ostream* AStream) { *AStream << "(" << APoint.x << ", " << APoint.y << ")"; }

namespace {

// A form with one range box of 300 x 200 pixels (no border, no bars unless a test asks) and an edit to give the
// focus to.
class TSaperForm : public TForm {
 public:
  TSaperForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner), Journal(AJournal) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetBounds(200, 150, 420, 320);
  }
  void Rebuild(TJournal*) {
    while (ControlCount() > 0) Controls(ControlCount() - 1)->Free();
    NewInto(Box, this);
    Box->SetBounds(10, 10, 300, 200);
    Box->SetTabStop(true);
    Box->SetParent(this);
    Box->OnMouseDown = MakeMethod<&TSaperForm::BoxMouseDown>(this);
    Box->OnMouseMove = MakeMethod<&TSaperForm::BoxMouseMove>(this);
    Box->OnMouseUp = MakeMethod<&TSaperForm::BoxMouseUp>(this);
    Box->OnClick = MakeMethod<&TSaperForm::BoxClick>(this);
    Box->OnCancelMode = MakeMethod<&TSaperForm::BoxCancelMode>(this);
    Box->OnContextPopup = MakeMethod<&TSaperForm::BoxContextPopup>(this);
    NewInto(Edit, this);
    Edit->SetBounds(10, 260, 100, 24);
    Edit->SetParent(this);
  }

  void BoxMouseDown(TObject*, TMouseButton, TShiftState, int X, int Y) { Note("down", X, Y); }
  void BoxMouseMove(TObject*, TShiftState, int X, int Y) { Note("move", X, Y); }
  void BoxMouseUp(TObject*, TMouseButton, TShiftState, int X, int Y) { Note("up", X, Y); }
  void BoxClick(TObject*) { Journal->push_back("click"); }
  void BoxCancelMode(TObject*, TWinControl*) { Journal->push_back("cancel mode"); }
  void BoxContextPopup(TObject*, POINT, bool& AHandled) {
    Journal->push_back("popup");
    AHandled = true;
  }
  // Only the test's own input is written down: Wine adds moves of its own at the pointer's place (a capture let go,
  // a window changed under it), late on a loaded machine.
  void Note(const char* AWhat, int X, int Y) {
    if (GetMessageExtraInfo() != TestInput) return;
    Journal->push_back(std::string(AWhat) + " " + std::to_string(X) + "," + std::to_string(Y));
  }

  // The mark the test's own input carries.
  static constexpr LPARAM TestInput = 0x5A9E;

  TJournal* Journal;
  TRangeBox* Box = nullptr;
  TEdit* Edit = nullptr;
};

using RangeBoxTest = SharedFormTest<TSaperForm>;

POINT CursorPos() {
  POINT p;
  GetCursorPos(&p);
  return p;
}

// The pointer moved to a screen point (absolute coordinates that land on exactly that pixel), with the buttons
// given, from the input queue and marked as the test's; then the loop handles what it caused.
void SendMouse(POINT AScreen, DWORD AButtons = 0) {
  const LONGLONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = static_cast<LONG>((AScreen.x * 65536LL + width - 1) / width);
  input.mi.dy = static_cast<LONG>((AScreen.y * 65536LL + height - 1) / height);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | AButtons;
  input.mi.dwExtraInfo = TSaperForm::TestInput;
  SendInput(1, &input, sizeof(INPUT));
  HandleInput();
}

SCROLLINFO BarInfo(HWND AWindow, int ABar) {
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  GetScrollInfo(AWindow, ABar, &info);
  return info;
}

bool BarShown(HWND AWindow, int ABar) {
  return (GetWindowLongW(AWindow, GWL_STYLE) & (ABar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL)) != 0;
}

HWND CaretWindow(RECT& ARect) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetCurrentThreadId(), &info);
  ARect = info.rcCaret;
  return info.hwndCaret;
}

// ---------------------------------------------------------------------------------------------------------------

TEST_F(RangeBoxTest, EachClippingKeepsTheRangeBetweenItsLimits) {
  struct TCase {
    TRangeBoxClipping Clipping;
    int Spacing;
    POINT Low, High;
  };
  // A 100 x 100 range in a 300 x 200 window.
  const TCase cases[] = {
      {rbcCenter, 0, {-100, -50}, {-100, -50}}, {rbcTopLeft, 0, {0, 0}, {0, 0}},
      {rbcTopLeft, 10, {-10, -10}, {-10, -10}}, {rbcClip, 0, {-200, -100}, {0, 0}},
      {rbcFree, 10, {-290, -190}, {90, 90}},
  };
  TRangeBox& box = *form->Box;
  ASSERT_EQ(box.ClientWidth(), 300);
  ASSERT_EQ(box.ClientHeight(), 200);
  for (const TCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Clipping));
    box.SetClipping(c.Clipping);
    box.SetSpacing(c.Spacing);
    box.SetPosition(POINT{-100000, -100000});
    EXPECT_EQ(box.Position(), c.Low);
    box.SetPosition(POINT{100000, 100000});
    EXPECT_EQ(box.Position(), c.High);
  }

  // Sizes are never negative; a range taller than the window is shown by its top.
  box.SetRangeSize(-5, 10);
  EXPECT_EQ(box.RangeWidth(), 0);
  EXPECT_EQ(box.RangeHeight(), 10);
  box.SetClipping(rbcTopLeft);
  box.SetSpacing(0);
  box.SetRangeSize(1000, 1000);
  box.ScrollRectIntoView(RECT{400, 500, 450, 900});
  EXPECT_EQ(box.Position(), (POINT{150, 500}));
}

TEST_F(RangeBoxTest, TheBarsCarryTheRangeAndTheirMessagesScrollByLinesAndToTheEnd) {
  TRangeBox& box = *form->Box;
  box.SetClipping(rbcTopLeft);
  box.SetScrollBars(TScrollStyle::ssBoth);
  box.SetRangeSize(100, 1000);
  box.SetClientSize(300, 200);
  const HWND window = box.Handle();
  ASSERT_EQ(box.ClientHeight(), 200);
  EXPECT_FALSE(BarShown(window, SB_HORZ));
  ASSERT_TRUE(BarShown(window, SB_VERT));
  SCROLLINFO bar = BarInfo(window, SB_VERT);
  EXPECT_EQ(bar.nMin, 0);
  EXPECT_EQ(bar.nMax, 999);
  EXPECT_EQ(bar.nPage, 200u);

  SendMessageW(window, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(box.Position(), (POINT{0, 10}));
  EXPECT_EQ(BarInfo(window, SB_VERT).nPos, 10);
  SendMessageW(window, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(box.Position(), (POINT{0, 800}));
  EXPECT_EQ(BarInfo(window, SB_VERT).nPos, 800);
  // The bar's press took the focus for the tab stop.
  EXPECT_TRUE(box.Focused());
}

TEST_F(RangeBoxTest, ArrowKeysScrollTwelvePixelsAndAWheelNotchTwentySix) {
  TRangeBox& box = *form->Box;
  box.SetClipping(rbcTopLeft);
  box.SetRangeSize(1000, 1000);
  box.SetPosition(POINT{100, 100});
  box.SetFocus();
  const HWND window = box.Handle();
  // Without Ctrl held the Ctrl option moves nothing.
  box.SetOptions(rboCtrlKeysMove);
  PressKey(window, VK_DOWN);
  EXPECT_EQ(box.Position(), (POINT{100, 100}));

  box.SetOptions(rboKeysMove);
  const struct {
    UINT Key;
    POINT Position;
  } keys[] = {{VK_DOWN, {100, 112}}, {VK_RIGHT, {112, 112}}, {VK_UP, {112, 100}}, {VK_LEFT, {100, 100}}};
  for (const auto& k : keys) {
    PressKey(window, k.Key);
    EXPECT_EQ(box.Position(), k.Position) << k.Key;
  }

  const POINT over = box.ClientToScreen(POINT{50, 50});
  const LPARAM at = MAKELPARAM(over.x, over.y);
  PostMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), at);
  Application->ProcessMessages();
  EXPECT_EQ(box.Position(), (POINT{100, 126}));
  PostMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), at);
  Application->ProcessMessages();
  EXPECT_EQ(box.Position(), (POINT{100, 100}));
}

// The press point, its moves and the release of a drag with the left button.
class RangeBoxDragTest : public RangeBoxTest {
 protected:
  void SetUp() override {
    RangeBoxTest::SetUp();
    TRangeBox& box = *form->Box;
    box.SetClipping(rbcTopLeft);
    box.SetRangeSize(1000, 1000);
    box.SetPosition(POINT{100, 100});
    box.SetOptions(rboLeftBtnMove);
    press = box.ClientToScreen(POINT{50, 50});
    centre = box.ClientToScreen(POINT{150, 100});
    SendMouse(press);
    journal.clear();
  }
  void TearDown() override {
    SetScreenCursor(crDefault);
    if (GetKeyState(VK_LBUTTON) < 0) SendMouse(CursorPos(), MOUSEEVENTF_LEFTUP);
    if (GetKeyState(VK_RBUTTON) < 0) SendMouse(CursorPos(), MOUSEEVENTF_RIGHTUP);
    RangeBoxTest::TearDown();
  }
  // Presses, moves 3 pixels (nothing yet), then 10 pixels from the press: the drag begins.
  void BeginDrag(DWORD AButtonDown = MOUSEEVENTF_LEFTDOWN) {
    TRangeBox& box = *form->Box;
    SendMouse(press, AButtonDown);
    SendMouse(POINT{press.x + 3, press.y});
    EXPECT_FALSE(box.DragScrolling());
    EXPECT_EQ(GetScreenCursor(), crDefault);
    EXPECT_EQ(box.Position(), (POINT{100, 100}));
    SendMouse(POINT{press.x + 10, press.y});
    ASSERT_TRUE(box.DragScrolling());
  }

  // The journal without the moves to a client point (in range coordinates in the journal).
  static TJournal WithoutMovesTo(const TRangeBox& ABox, POINT AClient) {
    const POINT p = ABox.ClientToRange(AClient);
    const std::string move = "move " + std::to_string(p.x) + "," + std::to_string(p.y);
    TJournal rest;
    for (const std::string& entry : journal)
      if (entry != move) rest.push_back(entry);
    return rest;
  }

  POINT press{}, centre{};
};

TEST_F(RangeBoxDragTest, TheContentFollowsTheHiddenPinnedCursorAndTheReleaseRestoresItReportingNothing) {
  TRangeBox& box = *form->Box;
  BeginDrag();
  EXPECT_EQ(GetScreenCursor(), crNone);
  EXPECT_EQ(CursorPos(), centre);
  EXPECT_EQ(box.Position(), (POINT{100, 100}));

  SendMouse(POINT{centre.x - 20, centre.y - 5});
  EXPECT_EQ(box.Position(), (POINT{120, 105}));
  EXPECT_EQ(CursorPos(), centre);

  SendMouse(centre, MOUSEEVENTF_LEFTUP);
  EXPECT_FALSE(box.DragScrolling());
  EXPECT_EQ(GetScreenCursor(), crDefault);
  EXPECT_EQ(CursorPos(), (POINT{press.x + 10, press.y}));
  EXPECT_NE(GetCapture(), box.Handle());
  // No press, move, release or click of the drag reached the events; the pointer put back may move there.
  EXPECT_EQ(WithoutMovesTo(box, POINT{60, 50}), TJournal{});
}

TEST_F(RangeBoxDragTest, TheRightButtonDragsWithACaptureOfItsOwnAndItsReleaseBringsNoMenu) {
  TRangeBox& box = *form->Box;
  box.SetOptions(rboRightBtnMove);
  BeginDrag(MOUSEEVENTF_RIGHTDOWN);
  EXPECT_EQ(GetCapture(), box.Handle());
  SendMouse(POINT{centre.x + 7, centre.y + 9});
  EXPECT_EQ(box.Position(), (POINT{93, 91}));
  SendMouse(centre, MOUSEEVENTF_RIGHTUP);
  EXPECT_FALSE(box.DragScrolling());
  EXPECT_EQ(GetScreenCursor(), crDefault);
  EXPECT_NE(GetCapture(), box.Handle());
  EXPECT_EQ(WithoutMovesTo(box, POINT{60, 50}), TJournal{});

  // Its capture taken away ends the drag as well.
  box.SetPosition(POINT{100, 100});
  SendMouse(press);
  journal.clear();
  BeginDrag(MOUSEEVENTF_RIGHTDOWN);
  ReleaseCapture();
  Application->ProcessMessages();
  EXPECT_FALSE(box.DragScrolling());
  EXPECT_EQ(GetScreenCursor(), crDefault);
  EXPECT_EQ(CursorPos(), (POINT{press.x + 10, press.y}));
  EXPECT_EQ(WithoutMovesTo(box, POINT{60, 50}), TJournal{"cancel mode"});
}

TEST_F(RangeBoxDragTest, LosingTheCaptureEndsTheDragAndRestoresTheCursor) {
  TRangeBox& box = *form->Box;
  BeginDrag();
  ReleaseCapture();
  Application->ProcessMessages();
  EXPECT_FALSE(box.DragScrolling());
  EXPECT_EQ(GetScreenCursor(), crDefault);
  EXPECT_EQ(CursorPos(), (POINT{press.x + 10, press.y}));
  EXPECT_EQ(WithoutMovesTo(box, POINT{60, 50}), TJournal{"cancel mode"});
}

TEST_F(RangeBoxTest, APlainClickReportsRangeCoordinatesAndGivesTheCaptureBack) {
  TRangeBox& box = *form->Box;  // the 100 x 100 range centred: client (50, 50) is range (-50, 0)
  const POINT p = box.ClientToScreen(POINT{50, 50});
  SendMouse(p);
  SendMouse(p, MOUSEEVENTF_LEFTDOWN);
  EXPECT_EQ(GetCapture(), box.Handle());
  SendMouse(p, MOUSEEVENTF_LEFTUP);
  EXPECT_NE(GetCapture(), box.Handle());
  // The system may add a move after the capture goes.
  std::erase_if(journal, [](const std::string& AEntry) { return AEntry.starts_with("move"); });
  EXPECT_EQ(journal, (TJournal{"down -50,0", "up -50,0", "click"}));
}

TEST_F(RangeBoxTest, TheCaretShowsInClientCoordinatesWhileTheBoxHasTheFocus) {
  TRangeBox& box = *form->Box;
  box.SetClipping(rbcTopLeft);
  box.SetRangeSize(300, 1000);
  box.SetPosition(POINT{0, 5});
  box.SetCaretRect(RECT{10, 20, 12, 36});
  RECT caret;
  EXPECT_NE(CaretWindow(caret), box.Handle());

  box.SetFocus();
  ASSERT_EQ(CaretWindow(caret), box.Handle());
  EXPECT_EQ(caret.left, 10);
  EXPECT_EQ(caret.top, 15);
  EXPECT_EQ(caret.right, 12);
  EXPECT_EQ(caret.bottom, 31);

  form->Edit->SetFocus();
  EXPECT_NE(CaretWindow(caret), box.Handle());
  box.SetFocus();
  ASSERT_EQ(CaretWindow(caret), box.Handle());
  EXPECT_EQ(caret.left, 10);
  EXPECT_EQ(caret.top, 15);
}

struct TPaintJournal : TObject {
  void Painted(TObject*, HDC ADC, const RECT& ARect) {
    Window = WindowFromDC(ADC);
    GetViewportOrgEx(ADC, &Origin);
    Rect = ARect;
    ++Count;
  }
  HWND Window = nullptr;
  POINT Origin{};
  RECT Rect{};
  int Count = 0;
};

TEST_F(RangeBoxTest, UnbufferedPaintingGetsTheWindowsContextInRangeCoordinates) {
  TRangeBox& box = *form->Box;
  box.SetClipping(rbcTopLeft);
  box.SetRangeSize(1000, 1000);
  box.SetPosition(POINT{30, 40});
  box.SetOptions(rboNotBuffered);
  TPaintJournal painted;
  box.OnPaintDC = MakeMethod<&TPaintJournal::Painted>(&painted);
  box.Invalidate();
  box.Update();
  ASSERT_EQ(painted.Count, 1);
  EXPECT_EQ(painted.Window, box.Handle());
  EXPECT_EQ(painted.Origin, (POINT{-30, -40}));
  EXPECT_EQ(painted.Rect.left, 30);
  EXPECT_EQ(painted.Rect.top, 40);
  EXPECT_EQ(painted.Rect.right, 330);
  EXPECT_EQ(painted.Rect.bottom, 240);
}

struct TResizeCount : TObject {
  void Resized(TObject*) { ++Count; }
  int Count = 0;
};

TEST_F(RangeBoxTest, BarsSettleWithoutLoopingWhenTheRangeIsAboutTheWindowsSize) {
  TRangeBox& box = *form->Box;
  box.SetClipping(rbcTopLeft);
  box.SetScrollBars(TScrollStyle::ssBoth);
  TResizeCount resized;
  box.OnResize = MakeMethod<&TResizeCount::Resized>(&resized);
  const HWND window = box.Handle();
  const int barWidth = GetSystemMetrics(SM_CXVSCROLL), barHeight = GetSystemMetrics(SM_CYHSCROLL);
  // From no bars and from both bars, to each range near the window's size with and without the bars.
  for (const SIZE start : {SIZE{10, 10}, SIZE{2000, 2000}}) {
    for (const int width : {300 - barWidth - 1, 300 - barWidth, 300 - barWidth + 1, 300, 301}) {
      for (const int height : {200 - barHeight - 1, 200 - barHeight, 200 - barHeight + 1, 200, 201}) {
        box.SetRangeSize(start.cx, start.cy);
        resized.Count = 0;
        box.SetRangeSize(width, height);
        SCOPED_TRACE(std::to_string(start.cx) + " to " + std::to_string(width) + " x " + std::to_string(height));
        EXPECT_LE(resized.Count, 2);
        const SIZE client = box.GetClientSize();
        // Each bar shows exactly when its axis of the range does not fit the client area it left.
        EXPECT_EQ(BarShown(window, SB_HORZ), width > client.cx);
        EXPECT_EQ(BarShown(window, SB_VERT), height > client.cy);
        if (BarShown(window, SB_VERT)) {
          EXPECT_EQ(BarInfo(window, SB_VERT).nPage, static_cast<UINT>(client.cy));
        }
        if (BarShown(window, SB_HORZ)) {
          EXPECT_EQ(BarInfo(window, SB_HORZ).nPage, static_cast<UINT>(client.cx));
        }
      }
    }
  }

  // Clipped, a range exactly as wide as the window and as high as it is with a horizontal bar wants the
  // horizontal bar exactly while the vertical one shows, and the vertical bar exactly while the horizontal one
  // does not: every bar that comes or goes asks for the other one to change. The exchange ends.
  box.SetClipping(rbcClip);
  for (const SIZE start : {SIZE{10, 10}, SIZE{300, 200}, SIZE{2000, 2000}}) {
    box.SetRangeSize(start.cx, start.cy);
    resized.Count = 0;
    box.SetRangeSize(300, 200 - barHeight);
    EXPECT_LE(resized.Count, 4);
  }
}

TEST_F(RangeBoxTest, APanelPaintsItsBackgroundAndIsTransparentExactlyWhileTheBackgroundIs) {
  TPanelEx* panel = nullptr;
  NewInto(panel, form);
  panel->SetBounds(320, 10, 80, 60);
  panel->SetParent(form);
  TBackground solid;
  solid.SetFillKind(fkSolid);
  solid.SetFillColor(RGB(0, 128, 255));
  panel->SetBackground(solid);
  EXPECT_FALSE(panel->Transparent());
  panel->Update();
  const HDC dc = GetDC(panel->Handle());
  EXPECT_EQ(GetPixel(dc, 40, 30), RGB(0, 128, 255));
  ReleaseDC(panel->Handle(), dc);

  panel->Background().SetFillKind(fkClear);
  EXPECT_TRUE(panel->Transparent());
  EXPECT_TRUE(GetWindowLongW(panel->Handle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
  panel->Background().SetFillKind(fkSolid);
  EXPECT_FALSE(panel->Transparent());
  EXPECT_FALSE(GetWindowLongW(panel->Handle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
}

}  // namespace
