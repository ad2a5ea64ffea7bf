// Hints through the application's own loop (its message hooks and idle handlers) with the real pointer: the pause,
// a suppressed hint, the cursor rectangle, focus and foreground left alone, a hint window class of a control's own,
// and what takes a hint away. Pauses are set short on the application so the tests stay quick.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "framework/fwHints.h"
#include "tests/framework/FormTestSupport.h"

namespace {

constexpr int kPause = 120;
constexpr int kShortPause = 30;

// How a probe answers CM_HINTSHOW.
struct THintAnswer {
  int Asked = 0;
  ULONGLONG AskedAt = 0;  // the tick count of the last question
  bool Suppress = false;
  bool Fail = false;
  RECT CursorRect{};  // empty: the one the machinery offers
  THintWindowClass WindowClass = nullptr;
  int Reshow = 0;
  std::vector<std::u16string> Texts;  // the text of each answer in turn, while there are any

  LRESULT Answer(THintInfo& AInfo) {
    if (static_cast<size_t>(Asked) < Texts.size()) AInfo.HintStr = Texts[static_cast<size_t>(Asked)];
    ++Asked;
    AskedAt = GetTickCount64();
    if (Fail) throw Exception(u"No hint today");
    AInfo.ReshowTimeout = Reshow;
    if (!IsRectEmpty(&CursorRect)) AInfo.CursorRect = CursorRect;
    if (WindowClass) AInfo.HintWindowClass = WindowClass;
    return Suppress ? 1 : 0;
  }
};

// A control of either kind that answers CM_HINTSHOW as told.
template <class TBase>
class THintProbe : public TBase {
 public:
  using TBase::TBase;
  THintAnswer HintAnswer;

 protected:
  void WndProc(TMessage& AMessage) override {
    if (AMessage.Msg == CM_HINTSHOW) return AMessage.Answer(HintAnswer.Answer(*LParamObject<THintInfo>(AMessage)));
    TBase::WndProc(AMessage);
  }
};
using TWindowlessProbe = THintProbe<TGraphicControl>;
using TWindowedProbe = THintProbe<TCustomControl>;

// A windowless probe on the left, a windowed one on the right, both with hints.
class THintForm : public TForm {
 public:
  THintForm(TComponent* AOwner, TJournal* AJournal) : TForm(AOwner) {
    SetCaption(u"Hints");
    SetBounds(200, 150, 320, 160);
    NewInto(Windowless, this);
    Windowless->SetParent(this);
    NewInto(Windowed, this);
    Windowed->SetParent(this);
    Windowed->SetTabStop(true);
    Rebuild(AJournal);
  }
  void Rebuild(TJournal*) {
    Windowless->SetBounds(10, 10, 120, 60);
    Windowless->SetHint(u"windowless hint");
    Windowless->SetShowHint(true);
    Windowless->HintAnswer = THintAnswer();
    Windowed->SetBounds(170, 10, 120, 60);
    Windowed->SetHint(u"windowed hint");
    Windowed->SetShowHint(true);
    Windowed->HintAnswer = THintAnswer();
  }

  TWindowlessProbe* Windowless = nullptr;
  TWindowedProbe* Windowed = nullptr;
};

// Fills itself with lime, so its own painting can be seen on the screen.
class TLimeHintWindow : public THintWindow {
 public:
  using THintWindow::THintWindow;
  int Paints = 0;

 protected:
  void Paint() override {
    ++Paints;
    Canvas().Brush().SetColor(clLime);
    Canvas().FillRect(ClientRect());
  }
};

struct TReports : public TObject {
  std::vector<std::u16string> Messages;
  void Report(TObject*, const std::u16string& AMessage) { Messages.push_back(AMessage); }
};

// Runs the application's own loop, its message hooks and idle handlers included, until ACondition holds or
// ATimeoutMs pass.
bool LoopUntil(const std::function<bool()>& ACondition, unsigned ATimeoutMs = HangMs) {
  // Wakes the idle wait, so the condition is looked at often.
  const UINT_PTR tick = SetTimer(nullptr, 0, 10, nullptr);
  const ULONGLONG end = GetTickCount64() + ATimeoutMs;
  bool held = false;
  while (!(held = ACondition()) && GetTickCount64() < end) Application->HandleMessage();
  KillTimer(nullptr, tick);
  return held;
}

void LoopFor(unsigned AMs) {
  LoopUntil([] { return false; }, AMs);
}

void PointTo(const TControl& AControl, int X, int Y) {
  const POINT p = AControl.ClientToScreen(POINT{X, Y});
  SetCursorPos(p.x, p.y);
}

bool HintUp() {
  THintWindow* window = Application->HintWindow();
  return window && window->HandleAllocated() && IsWindowVisible(window->HandleIfAllocated());
}

std::u16string HintText() { return HintUp() ? Application->HintWindow()->Caption() : std::u16string(); }

void SendKey(WORD AKey) {
  INPUT input[2]{};
  input[0].type = INPUT_KEYBOARD;
  input[0].ki.wVk = AKey;
  input[1] = input[0];
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
}

void SendMouse(DWORD AFlags, DWORD AData = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = AFlags;
  input.mi.mouseData = AData;
  SendInput(1, &input, sizeof(INPUT));
}

class HintTest : public SharedFormTest<THintForm> {
 protected:
  void SetUp() override {
    SharedFormTest::SetUp();
    Application->SetHintPause(kPause);
    Application->SetHintShortPause(kShortPause);
    Application->SetHintHidePause(HangMs);  // a hint never goes by itself while a busy machine runs a test
    Application->CancelHint();
  }
  void TearDown() override {
    Application->OnException = TExceptionEvent();
    Application->CancelHint();
  }
};

TEST_F(HintTest, AHintShowsAfterThePauseBelowThePointerInTheHintColour) {
  Application->SetHintPause(300);
  PointTo(*form->Windowless, 30, 20);
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(LoopUntil(HintUp));
  // Asked once, no sooner than the pause after the pointer came: a busy machine can only make it later.
  EXPECT_EQ(form->Windowless->HintAnswer.Asked, 1);
  EXPECT_GE(form->Windowless->HintAnswer.AskedAt - start, 280u);
  EXPECT_EQ(HintText(), u"windowless hint");
  THintWindow* window = Application->HintWindow();
  EXPECT_EQ(typeid(*window), typeid(THintWindow));
  EXPECT_EQ(window->Color(), Application->HintColor());
  RECT r;
  GetWindowRect(window->Handle(), &r);
  const POINT pointer = form->Windowless->ClientToScreen(POINT{30, 20});
  EXPECT_EQ(r.left, pointer.x);
  EXPECT_GT(r.top, pointer.y);

  // Asked for at once (an info tip), with no pause.
  Application->CancelHint();
  Application->ActivateHint(pointer);
  EXPECT_TRUE(HintUp());
  EXPECT_EQ(form->Windowless->HintAnswer.Asked, 2);
}

TEST_F(HintTest, ASuppressedHintStaysAwayWhileTheNextControlShowsItsOwn) {
  form->Windowless->HintAnswer.Suppress = true;
  PointTo(*form->Windowless, 30, 20);
  ASSERT_TRUE(LoopUntil([&] { return form->Windowless->HintAnswer.Asked == 1; }));
  LoopFor(2 * kPause);
  EXPECT_FALSE(HintUp());
  EXPECT_EQ(form->Windowless->HintAnswer.Asked, 1);

  PointTo(*form->Windowed, 30, 20);
  ASSERT_TRUE(LoopUntil(HintUp));
  EXPECT_EQ(HintText(), u"windowed hint");
  EXPECT_EQ(form->Windowed->HintAnswer.Asked, 1);
}

TEST_F(HintTest, AHintStaysWhileThePointerMovesInsideItsCursorRectAndIsAskedAgainAfterLeavingIt) {
  form->Windowless->HintAnswer.CursorRect = RECT{0, 0, 60, 60};  // the left half
  PointTo(*form->Windowless, 20, 20);
  ASSERT_TRUE(LoopUntil(HintUp));
  for (POINT p : {POINT{40, 30}, POINT{55, 50}, POINT{10, 5}}) {
    PointTo(*form->Windowless, p.x, p.y);
    LoopFor(2 * kShortPause);
  }
  LoopFor(kPause);
  EXPECT_TRUE(HintUp());
  EXPECT_EQ(form->Windowless->HintAnswer.Asked, 1);

  // Out of the rectangle but on the same control, then onto the other control.
  PointTo(*form->Windowless, 90, 30);
  ASSERT_TRUE(LoopUntil([&] { return form->Windowless->HintAnswer.Asked == 2 && HintUp(); }));
  PointTo(*form->Windowed, 30, 30);
  ASSERT_TRUE(LoopUntil([&] { return form->Windowed->HintAnswer.Asked == 1 && HintUp(); }));
  EXPECT_EQ(HintText(), u"windowed hint");
  EXPECT_EQ(form->Windowless->HintAnswer.Asked, 2);
}

TEST_F(HintTest, AReshowAsksAgainAndOnlyAnotherTextReplacesTheHint) {
  THintAnswer& answer = form->Windowless->HintAnswer;
  answer.Reshow = 40;
  answer.Texts = {u"one", u"", u"one", u"two"};
  PointTo(*form->Windowless, 30, 20);
  ASSERT_TRUE(LoopUntil([&] { return answer.Asked == 1; }));
  EXPECT_EQ(HintText(), u"one");
  for (int asked : {2, 3}) {
    ASSERT_TRUE(LoopUntil([&] { return answer.Asked == asked; }));
    EXPECT_EQ(HintText(), u"one") << "after answer " << asked;
  }
  ASSERT_TRUE(LoopUntil([&] { return answer.Asked == 4; }));
  EXPECT_EQ(HintText(), u"two");
}

TEST_F(HintTest, AShownHintLeavesFocusActivationAndTheForegroundWindowAlone) {
  form->Windowed->SetFocus();
  ASSERT_TRUE(LoopUntil([&] { return form->Windowed->Focused(); }));
  const HWND foreground = GetForegroundWindow();
  const HWND active = GetActiveWindow();
  ASSERT_EQ(foreground, form->Handle());

  PointTo(*form->Windowless, 30, 20);
  ASSERT_TRUE(LoopUntil(HintUp));
  LoopFor(50);
  const HWND hint = Application->HintWindow()->Handle();
  EXPECT_EQ(GetForegroundWindow(), foreground);
  EXPECT_EQ(GetActiveWindow(), active);
  EXPECT_EQ(GetFocus(), form->Windowed->Handle());
  EXPECT_TRUE(form->Active());
  EXPECT_TRUE(GetWindowLongW(hint, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_FALSE(GetWindowLongW(hint, GWL_STYLE) & WS_CHILD);
  // The pointer passes through the hint: the control below stays the one under it.
  RECT r;
  GetWindowRect(hint, &r);
  EXPECT_EQ(FindDragTarget(POINT{r.left + 2, r.top + 2}, true), form->Windowless);
}

TEST_F(HintTest, AHintWindowClassOfTheControlsOwnPaintsTheHint) {
  form->Windowless->HintAnswer.WindowClass = HintWindowClassOf<TLimeHintWindow>();
  PointTo(*form->Windowless, 30, 20);
  ASSERT_TRUE(LoopUntil(HintUp));
  auto* lime = dynamic_cast<TLimeHintWindow*>(Application->HintWindow());
  ASSERT_NE(lime, nullptr);
  EXPECT_TRUE(LoopUntil([&] { return lime->Paints > 0; }));
  HDC dc = GetDC(lime->Handle());
  EXPECT_EQ(GetPixel(dc, 3, 3), RGB(0, 255, 0));
  ReleaseDC(lime->Handle(), dc);

  // The next hint without a class of its own is a plain one again.
  PointTo(*form->Windowed, 30, 20);
  ASSERT_TRUE(LoopUntil([&] { return form->Windowed->HintAnswer.Asked == 1 && HintUp(); }));
  EXPECT_EQ(typeid(*Application->HintWindow()), typeid(THintWindow));
}

TEST_F(HintTest, AKeyAClickAWheelTurnAndTheHideTimeoutTakeTheHintAway) {
  int x = 30;
  auto showAgain = [&] {
    PointTo(*form->Windowless, ++x, 20);
    return LoopUntil(HintUp);
  };
  ASSERT_TRUE(showAgain());
  SendKey(VK_SHIFT);
  EXPECT_TRUE(LoopUntil([] { return !HintUp(); }));
  ASSERT_TRUE(showAgain());
  SendMouse(MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  EXPECT_TRUE(LoopUntil([] { return !HintUp(); }));
  ASSERT_TRUE(showAgain());
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  SendMouse(MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(LoopUntil([] { return !HintUp(); }));

  // Gone after its time, and not back while the pointer stays.
  Application->SetHintHidePause(150);
  ASSERT_TRUE(showAgain());
  const int asked = form->Windowless->HintAnswer.Asked;
  EXPECT_TRUE(LoopUntil([] { return !HintUp(); }));
  LoopFor(2 * kPause);
  EXPECT_FALSE(HintUp());
  EXPECT_EQ(form->Windowless->HintAnswer.Asked, asked);
}

TEST_F(HintTest, AnExceptionWhileAskingIsReportedOnceAndTheNextHintShows) {
  TReports reports;
  Application->OnException = MakeMethod<&TReports::Report>(&reports);
  form->Windowless->HintAnswer.Fail = true;
  PointTo(*form->Windowless, 30, 20);
  ASSERT_TRUE(LoopUntil([&] { return !reports.Messages.empty(); }));
  LoopFor(2 * kPause);
  EXPECT_EQ(reports.Messages, (std::vector<std::u16string>{u"No hint today"}));
  EXPECT_FALSE(HintUp());

  form->Windowless->HintAnswer.Fail = false;
  PointTo(*form->Windowless, 35, 20);
  EXPECT_TRUE(LoopUntil(HintUp));
}

}  // namespace
