// The control utilities on real windows: scroll codes against a live scroll bar, the buffer painter on a clipped
// context, the border a bordered control's window gets with visual styles on and off, re-creation for
// transparency, and the hint hook under the application's own loop.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>

#include "controls/baUtils.h"
#include "framework/fwHints.h"
#include "graphics/pixels/pxThemeServices.h"
#include "graphics/pixels/pxXPThemes.h"
#include "tests/framework/FormTestSupport.h"

namespace {

constexpr int kPause = 100;

// A bordered control whose hint hook answers as told and counts the questions.
class THookedControl : public TBorderedControl {
 public:
  explicit THookedControl(TComponent* AOwner) : TBorderedControl(AOwner) {
    OnShowHint = MakeMethod<&THookedControl::ShowHint>(this);
  }
  bool Allow = true;
  int Asked = 0;

 private:
  void ShowHint(TObject*, bool& ACanShow, THintInfo& AHintInfo) {
    ++Asked;
    ACanShow = Allow;
    AHintInfo.HintStr = u"from the hook";
  }
};

class TUtilsForm : public TForm {
 public:
  TUtilsForm(TComponent* AOwner, TJournal*) : TForm(AOwner) {
    SetCaption(u"Control utilities");
    SetBounds(200, 150, 340, 160);
    NewInto(Refusing, this);
    Refusing->SetParent(this);
    NewInto(Allowing, this);
    Allowing->SetParent(this);
    NewInto(Transparent, this);
    Transparent->SetParent(this);
  }
  void Rebuild(TJournal*) {
    for (THookedControl* c : {Refusing, Allowing}) {
      c->SetBorderStyle(TControlBorderStyle::bsNone);
      c->SetCtl3D(true);
      c->SetHint(u"own hint");
      c->SetShowHint(true);
      c->Asked = 0;
    }
    Refusing->Allow = false;
    Refusing->SetBounds(10, 10, 100, 60);
    Allowing->SetBounds(120, 10, 100, 60);
    Transparent->SetBounds(230, 10, 80, 60);
    Transparent->SetTransparent(false);
  }

  THookedControl* Refusing = nullptr;
  THookedControl* Allowing = nullptr;
  TTransparencyControl* Transparent = nullptr;
};

bool LoopUntil(const std::function<bool()>& ACondition, unsigned ATimeoutMs = HangMs) {
  const UINT_PTR tick = SetTimer(nullptr, 0, 10, nullptr);
  const ULONGLONG end = GetTickCount64() + ATimeoutMs;
  bool held = false;
  while (!(held = ACondition()) && GetTickCount64() < end) Application->HandleMessage();
  KillTimer(nullptr, tick);
  return held;
}

bool HintUp() {
  THintWindow* window = Application->HintWindow();
  return window && window->HandleAllocated() && IsWindowVisible(window->HandleIfAllocated());
}

class UtilsTest : public SharedFormTest<TUtilsForm> {
 protected:
  void SetUp() override {
    SharedFormTest::SetUp();
    Application->SetHintPause(kPause);
    Application->SetHintShortPause(kPause);
    Application->CancelHint();
  }
  void TearDown() override {
    Application->CancelHint();
    InstallThemeServices(nullptr);
    FinalizeXPThemes();
  }
};

TEST_F(UtilsTest, ScrollCodesGiveLinesPagesTheTrackPositionAndTheEnds) {
  const HWND bar = CreateWindowExW(0, L"SCROLLBAR", L"", WS_CHILD | WS_VISIBLE | SBS_VERT, 0, 0, 16, 100,
                                   form->Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(bar, nullptr);
  SetScrollBarRange(bar, SB_CTL, 0, 1000, 200, false);
  SetScrollPos(bar, SB_CTL, 77, TRUE);
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  GetScrollInfo(bar, SB_CTL, &info);
  EXPECT_EQ(info.nMin, 0);
  EXPECT_EQ(info.nMax, 1000);
  EXPECT_EQ(info.nPage, 200u);

  const struct {
    int Code;
    int Expected;
  } cases[] = {{SB_LINEUP, 40},        {SB_LINEDOWN, 60}, {SB_PAGEUP, -150},    {SB_PAGEDOWN, 250}, {SB_THUMBTRACK, 77},
               {SB_THUMBPOSITION, 77}, {SB_TOP, 0},       {SB_BOTTOM, INT_MAX}, {SB_ENDSCROLL, 50}};
  for (const auto& c : cases)
    EXPECT_EQ(ScrollCodeToPos(bar, SB_CTL, c.Code, 50, 10, 200), c.Expected) << "code " << c.Code;
  DestroyWindow(bar);
}

TEST(BufPainterTest, PaintsOnlyTheClipBoxPartOfItsRectangleAndCopiesItBack) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 60;
  bi.bmiHeader.biHeight = -60;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const HDC dc = CreateCompatibleDC(nullptr);
  const HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  const RECT all{0, 0, 60, 60};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  IntersectClipRect(dc, 0, 0, 50, 50);
  const HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  {
    TBufPainter painter(dc, RECT{-10, -10, 30, 30});
    ASSERT_FALSE(painter.Empty());
    EXPECT_EQ(painter.Rect().left, 0);
    EXPECT_EQ(painter.Rect().bottom, 30);
    const RECT asked{-10, -10, 30, 30};
    FillRect(painter.DC(), &asked, red);
    // Nothing reaches the target before the painter goes.
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 255, 255));
  }
  {
    TBufPainter outside(dc, RECT{50, 50, 60, 60});
    EXPECT_TRUE(outside.Empty());
    EXPECT_EQ(outside.DC(), nullptr);
  }
  SelectClipRgn(dc, nullptr);
  const struct {
    int X, Y;
    COLORREF Expected;
  } pixels[] = {{5, 5, RGB(255, 0, 0)},       {0, 0, RGB(255, 0, 0)},       {29, 29, RGB(255, 0, 0)},
                {30, 30, RGB(255, 255, 255)}, {35, 35, RGB(255, 255, 255)}, {55, 55, RGB(255, 255, 255)}};
  for (const auto& p : pixels) EXPECT_EQ(GetPixel(dc, p.X, p.Y), p.Expected) << p.X << "," << p.Y;
  DeleteObject(red);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(UtilsTest, TheBorderIsAClientEdgeWithStylesAndCtl3DAndAPlainLineOtherwise) {
  THookedControl& c = *form->Allowing;
  InitializeXPThemes();
  const struct {
    bool Styles;
    bool Ctl3D;
    TControlBorderStyle Style;
    bool Border, ClientEdge;
  } cases[] = {
      {true, true, TControlBorderStyle::bsNone, false, false},
      {true, true, TControlBorderStyle::bsSingle, false, true},
      {true, true, TControlBorderStyle::bsTheme, false, true},
      {true, false, TControlBorderStyle::bsSingle, true, false},
      {false, true, TControlBorderStyle::bsNone, false, false},
      {false, true, TControlBorderStyle::bsSingle, true, false},
      {false, true, TControlBorderStyle::bsTheme, true, false},
  };
  for (const auto& t : cases) {
    if (t.Styles)
      InstallXPThemeServices();
    else
      InstallThemeServices(nullptr);
    ASSERT_EQ(ThemeServices->Enabled(), t.Styles);
    c.SetBorderStyle(TControlBorderStyle::bsNone);
    c.SetCtl3D(t.Ctl3D);
    c.SetBorderStyle(t.Style);
    const HWND w = c.Handle();
    EXPECT_EQ((GetWindowLongW(w, GWL_STYLE) & WS_BORDER) != 0, t.Border) << static_cast<int>(t.Style);
    EXPECT_EQ((GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, t.ClientEdge) << static_cast<int>(t.Style);
    EXPECT_EQ(c.ControlStyle().Contains(csNeedsBorderPaint), t.Style == TControlBorderStyle::bsTheme);
  }

  // Turning the 3-D look off makes the window again with a plain border while styles are on.
  InstallXPThemeServices();
  c.SetBorderStyle(TControlBorderStyle::bsNone);
  c.SetCtl3D(true);
  c.SetBorderStyle(TControlBorderStyle::bsSingle);
  ASSERT_TRUE(GetWindowLongW(c.Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  c.SetCtl3D(false);
  EXPECT_TRUE(GetWindowLongW(c.Handle(), GWL_STYLE) & WS_BORDER);
  EXPECT_FALSE(GetWindowLongW(c.Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

TEST_F(UtilsTest, TransparentMakesTheWindowAgainWithTheTransparentStyleAndDropsTheOpaqueFlag) {
  TTransparencyControl& c = *form->Transparent;
  ASSERT_TRUE(c.ControlStyle().Contains(csOpaque));
  const HWND opaque = c.Handle();
  EXPECT_FALSE(GetWindowLongW(opaque, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
  // An opaque control paints all of itself, so its background is never erased.
  EXPECT_EQ(c.Perform(WM_ERASEBKGND, 0, 0), 1);

  c.SetTransparent(true);
  EXPECT_FALSE(IsWindow(opaque));
  EXPECT_TRUE(GetWindowLongW(c.Handle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
  EXPECT_FALSE(c.ControlStyle().Contains(csOpaque));
  EXPECT_TRUE(IsWindowVisible(c.Handle()));

  c.SetTransparent(false);
  EXPECT_FALSE(GetWindowLongW(c.Handle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
  EXPECT_TRUE(c.ControlStyle().Contains(csOpaque));
}

TEST_F(UtilsTest, ARefusingHintHookAnswersOneAndNoHintShows) {
  THintInfo info;
  info.HintControl = form->Refusing;
  EXPECT_EQ(form->Refusing->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info)), 1);
  EXPECT_EQ(form->Refusing->Asked, 1);

  SetCursorPos(form->Refusing->ClientToScreen(POINT{30, 20}).x, form->Refusing->ClientToScreen(POINT{30, 20}).y);
  ASSERT_TRUE(LoopUntil([&] { return form->Refusing->Asked == 2; }));
  LoopUntil([] { return false; }, 3 * kPause);
  EXPECT_FALSE(HintUp());

  // The same path with a hook that lets it through shows the hook's text.
  const POINT p = form->Allowing->ClientToScreen(POINT{30, 20});
  SetCursorPos(p.x, p.y);
  ASSERT_TRUE(LoopUntil(HintUp));
  EXPECT_EQ(form->Allowing->Asked, 1);
  EXPECT_EQ(Application->HintWindow()->Caption(), u"from the hook");
}

TEST_F(UtilsTest, FindParentFormWalksTheOwnersNotTheParents) {
  TComponent* holder = New<TComponent>(form);
  TComponent* inner = New<TComponent>(holder);
  EXPECT_EQ(FindParentForm(inner), form);
  EXPECT_EQ(FindParentForm(form), form);
  // Placed on the form but owned by nobody.
  std::unique_ptr<TBorderedControl, TComponentDeleter> stray(New<TBorderedControl>(nullptr));
  stray->SetParent(form);
  EXPECT_EQ(FindParentForm(stray.get()), nullptr);
  EXPECT_EQ(FindParentForm(nullptr), nullptr);
  holder->Free();
}

}  // namespace
