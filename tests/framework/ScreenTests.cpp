#include <gtest/gtest.h>

#include "foundation/cuUtilsWin.h"
#include "framework/fwApplication.h"
#include "framework/fwScreen.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace {

using ScreenTest = FrameworkTest;

TEST_F(ScreenTest, SystemCursorNumbersMapToSystemCursors) {
  struct TCase {
    TCursor Id;
    LPCWSTR Name;
  };
  const TCase cases[] = {{crDefault, IDC_ARROW},  {crArrow, IDC_ARROW},    {crIBeam, IDC_IBEAM},
                         {crHourGlass, IDC_WAIT}, {crHandPoint, IDC_HAND}, {crNoDrop, IDC_NO},
                         {crSizeWE, IDC_SIZEWE},  {crSizeNS, IDC_SIZENS},  {crSizeAll, IDC_SIZEALL}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Id);
    EXPECT_EQ(Screen->Cursors(c.Id), LoadCursorW(nullptr, c.Name));
  }
  EXPECT_EQ(Screen->Cursors(crNone), nullptr);
  EXPECT_EQ(Screen->Cursors(999), LoadCursorW(nullptr, IDC_ARROW));  // unknown numbers show the default
}

TEST_F(ScreenTest, ProgramCursorsRegisteredFromResourcesAreFoundByNumber) {
  HCURSOR probe = LoadCursorW(GetModuleHandleW(nullptr), L"ProbeCursor");
  ASSERT_NE(probe, nullptr);
  Screen->SetCursors(10, probe);
  EXPECT_EQ(Screen->Cursors(10), probe);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(Screen->Cursors(10), &info));
  EXPECT_EQ(info.xHotspot, 3u);
  EXPECT_EQ(info.yHotspot, 4u);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  EXPECT_EQ(Screen->Cursors(11), Screen->Cursors(crDefault));
}

TEST_F(ScreenTest, ReplacingOwnedCursorDestroysTheOldOne) {
  const BYTE andMask[128] = {0xFF}, xorMask[128] = {0};
  HCURSOR first = CreateCursor(GetModuleHandleW(nullptr), 0, 0, 32, 32, andMask, xorMask);
  HCURSOR second = CreateCursor(GetModuleHandleW(nullptr), 0, 0, 32, 32, andMask, xorMask);
  Screen->SetCursors(30, first, true);
  Screen->SetCursors(30, second, true);
  EXPECT_EQ(Screen->Cursors(30), second);
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(first, &info));
}

TEST_F(ScreenTest, ScreenCursorIsShownAndDefaultLeavesItToWindows) {
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  EXPECT_TRUE(Screen->ApplyCursor());
  Screen->SetCursor(crDefault);
  EXPECT_FALSE(Screen->ApplyCursor());
}

TEST_F(ScreenTest, MetricsDescribeTheScreen) {
  RECT work = Screen->WorkAreaRect();
  EXPECT_GT(Screen->Width(), 0);
  EXPECT_GE(work.left, 0);
  EXPECT_LE(work.right, Screen->Width());
  EXPECT_GT(work.bottom - work.top, 0);
  RECT desktop = Screen->DesktopRect();
  EXPECT_GE(desktop.right - desktop.left, Screen->Width());
  EXPECT_EQ(Screen->PixelsPerInch(), ScreenPixelsPerInch());
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  EXPECT_EQ(Screen->MessageFont().Name(), FromWide(metrics.lfMessageFont.lfFaceName));
  EXPECT_EQ(Screen->MessageFont().Height(), metrics.lfMessageFont.lfHeight);
}

class TStayOnTopForm : public TComponent, public IApplicationForm {
 public:
  using TComponent::TComponent;
  HWND FormHandle() override { return nullptr; }
  void FormShow() override {}
  bool FormCloseQuery() override { return true; }
  bool FormStaysOnTop() override { return true; }
};

TEST_F(ScreenTest, ActiveFormIsForgottenWhenFreed) {
  auto* form = new TStayOnTopForm(nullptr);
  Screen->SetActiveForm(form);
  EXPECT_TRUE(Screen->ActiveFormStaysOnTop());
  form->Free();
  EXPECT_EQ(Screen->ActiveForm(), nullptr);
  EXPECT_FALSE(Screen->ActiveFormStaysOnTop());
}

TEST_F(ScreenTest, DragStartsBeyondTheThresholdOnEitherAxis) {
  struct TCase {
    POINT To;
    bool Beyond;
  };
  const TCase cases[] = {{{5, 0}, false}, {{6, 0}, true}, {{-5, 5}, false}, {{0, -6}, true}, {{4, 4}, false}};
  EXPECT_EQ(Mouse->DragThreshold(), 5);
  for (const TCase& c : cases) EXPECT_EQ(Mouse->BeyondDragThreshold(POINT{0, 0}, c.To), c.Beyond);
  Mouse->SetDragThreshold(2);
  EXPECT_TRUE(Mouse->BeyondDragThreshold(POINT{0, 0}, POINT{3, 0}));
}

TEST_F(ScreenTest, BusyCursorOfTheFoundationShowsThroughTheScreen) {
  BeginBusyCursor();
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  BeginBusyCursor();
  SetScreenCursor(crHandPoint);  // while busy only the cursor to come back changes
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  EndBusyCursor();
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  EndBusyCursor();
  EXPECT_EQ(Screen->Cursor(), crHandPoint);
  EXPECT_EQ(GetCursorHandle(crHandPoint), Screen->Cursors(crHandPoint));
  SetScreenCursor(crDefault);
  EXPECT_EQ(Screen->Cursor(), crDefault);
}

TEST_F(ScreenTest, ResourceCursorsLoadedByTheFoundationLandInTheTable) {
  HCURSOR probe = LoadCursorW(GetModuleHandleW(nullptr), L"ProbeCursor");
  LoadResourceCursor(12, L"ProbeCursor");
  EXPECT_EQ(Screen->Cursors(12), probe);
  EXPECT_EQ(GetCursorHandle(12), probe);
  // One loaded while no screen exists is handed over when the screen starts.
  EndScreen();
  LoadResourceCursor(13, L"ProbeCursor");
  StartScreen();
  EXPECT_EQ(Screen->Cursors(13), probe);
  // Loaded only when asked for, but a name the program lacks is refused when registered.
  EXPECT_THROW(LoadResourceCursor(14, L"NoSuchCursor"), EOSError);
  EXPECT_EQ(Screen->Cursors(14), Screen->Cursors(crDefault));
  // One set on the screen comes before the foundation's.
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  Screen->SetCursors(13, arrow);
  EXPECT_EQ(Screen->Cursors(13), arrow);
}

}  // namespace
