#include "graphics/pixels/pxThemeServices.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "framework/fwBitmaps.h"
#include "framework/fwThemes.h"
#include "graphics/pixels/pxXPThemes.h"

namespace {

constexpr int kWidth = 60;
constexpr int kHeight = 24;
constexpr RECT kBounds{0, 0, kWidth, kHeight};

void SetThemeActive(bool AActive) {
  const wchar_t* value = AActive ? L"1" : L"0";
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager", L"ThemeActive",
                  REG_SZ, value, 2 * sizeof(wchar_t));
}

std::vector<uint32_t> Pixels(TBitmap& ABitmap) {
  std::vector<uint32_t> pixels;
  for (int y = 0; y < ABitmap.Height(); ++y) {
    const auto* row = static_cast<const uint32_t*>(ABitmap.ScanLine(y));
    pixels.insert(pixels.end(), row, row + ABitmap.Width());
  }
  return pixels;
}

std::vector<uint32_t> DrawnByServices(const TThemedElementDetails& ADetails) {
  TBitmap bitmap(kWidth, kHeight, TPixelFormat::pf32bit);
  ThemeServices->DrawElement(bitmap.Canvas().Handle(), ADetails, kBounds);
  return Pixels(bitmap);
}

bool AllWhite(const std::vector<uint32_t>& APixels) {
  for (uint32_t pixel : APixels)
    if (pixel != 0xFFFFFFFFu) return false;
  return true;
}

// The same element drawn and measured through the binding itself, with a handle of its own.
struct TDirectElement {
  std::vector<uint32_t> Pixels;
  RECT Content;
  bool Transparent;
};

TDirectElement DrawnByBinding(const wchar_t* AClass, const TThemedElementDetails& ADetails) {
  const TVisualStyleApi& api = VisualStyleApi();
  HTHEME theme = api.OpenThemeData(ThemeNexus()->Handle(), AClass);
  EXPECT_NE(theme, nullptr) << "class " << static_cast<int>(ADetails.Element);
  TBitmap bitmap(kWidth, kHeight, TPixelFormat::pf32bit);
  TDirectElement direct{{}, kBounds, false};
  if (theme) {
    HDC dc = bitmap.Canvas().Handle();
    api.DrawThemeBackground(theme, dc, ADetails.Part, ADetails.State, &kBounds, nullptr);
    api.GetThemeBackgroundContentRect(theme, dc, ADetails.Part, ADetails.State, &kBounds, &direct.Content);
    direct.Transparent = api.IsThemeBackgroundPartiallyTransparent(theme, ADetails.Part, ADetails.State);
    api.CloseThemeData(theme);
  }
  direct.Pixels = Pixels(bitmap);
  return direct;
}

// The program's order: the binding, the framework's services, then ours in their place; ended in reverse.
class XPThemeServices : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeXPThemes();
    StartThemeServices();
    InstallXPThemeServices();
    ASSERT_TRUE(UseThemes()) << "visual styles are off in this prefix";
  }
  void TearDown() override {
    UninstallXPThemeServices();
    EndThemeServices();
    SetThemeActive(true);
    FinalizeXPThemes();
  }
};

TEST_F(XPThemeServices, ElementsAreDrawnAndMeasuredAsTheBindingDoes) {
  struct TCase {
    const wchar_t* Class;
    TThemedElementDetails Details;
  };
  const TCase cases[] = {
      {L"BUTTON", GetElementDetails(TThemedButton::tbPushButtonNormal)},
      {L"BUTTON", GetElementDetails(TThemedButton::tbPushButtonPressed)},
      {L"HEADER", GetElementDetails(TThemedHeader::thHeaderItemHot)},
      {L"TOOLBAR", GetElementDetails(TThemedToolBar::ttbButtonHot)},
      {L"STATUS", GetElementDetails(TThemedStatus::tsGripper)},
      {L"EDIT", GetElementDetails(TThemedEdit::teEditTextNormal)},
  };
  ASSERT_TRUE(ThemeServices->Available());
  ASSERT_TRUE(ThemeServices->Enabled());
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "element " << static_cast<int>(c.Details.Element) << " state "
                                    << c.Details.State);
    const TDirectElement direct = DrawnByBinding(c.Class, c.Details);
    EXPECT_EQ(DrawnByServices(c.Details), direct.Pixels);
    TBitmap bitmap(kWidth, kHeight, TPixelFormat::pf32bit);
    const RECT content = ThemeServices->ContentRect(bitmap.Canvas().Handle(), c.Details, kBounds);
    EXPECT_TRUE(EqualRect(&content, &direct.Content));
    EXPECT_EQ(ThemeServices->HasTransparentParts(c.Details), direct.Transparent);
  }
  // Two blank pictures would also be equal: the push button must really have been drawn, inside a border.
  EXPECT_FALSE(AllWhite(DrawnByServices(GetElementDetails(TThemedButton::tbPushButtonNormal))));
  const TDirectElement button = DrawnByBinding(L"BUTTON", GetElementDetails(TThemedButton::tbPushButtonNormal));
  EXPECT_GT(button.Content.left, kBounds.left);
  EXPECT_LT(button.Content.bottom, kBounds.bottom);
}

TEST_F(XPThemeServices, ThemeChangeReopensTheHandlesAndDrawsTheSame) {
  const TThemedElementDetails button = GetElementDetails(TThemedButton::tbPushButtonDefaulted);
  const std::vector<uint32_t> before = DrawnByServices(button);
  SendMessageW(ThemeNexus()->Handle(), WM_THEMECHANGED, 0, 0);
  EXPECT_TRUE(ThemeServices->Enabled());
  EXPECT_EQ(DrawnByServices(button), before);
  EXPECT_EQ(DrawnByServices(button), DrawnByBinding(L"BUTTON", button).Pixels);
  ThemeServices->ThemeChanged();
  EXPECT_EQ(DrawnByServices(button), before);
}

// Styles cannot be turned on again inside the process that turned them off, so the switch runs in a child.
TEST_F(XPThemeServices, StylesSwitchedOffLeaveTheClassicLook) {
  EXPECT_EXIT(
      {
        const TThemedElementDetails button = GetElementDetails(TThemedButton::tbPushButtonNormal);
        const bool drawnBefore = !AllWhite(DrawnByServices(button));
        VisualStyleApi().EnableTheming(FALSE);
        SendMessageW(ThemeNexus()->Handle(), WM_THEMECHANGED, 0, 0);
        TBitmap bitmap(kWidth, kHeight, TPixelFormat::pf32bit);
        const RECT content = ThemeServices->ContentRect(bitmap.Canvas().Handle(), button, kBounds);
        const bool classic = !ThemeServices->Enabled() && AllWhite(DrawnByServices(button)) &&
                             EqualRect(&content, &kBounds) && !ThemeServices->HasTransparentParts(button);
        SetThemeActive(true);
        std::exit(drawnBefore && classic ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(XPThemeServices, EndingTheBindingFirstLeavesTheServicesInert) {
  const TThemedElementDetails button = GetElementDetails(TThemedButton::tbPushButtonNormal);
  ASSERT_FALSE(AllWhite(DrawnByServices(button)));
  FinalizeXPThemes();
  EXPECT_FALSE(ThemeServices->Enabled());
  EXPECT_FALSE(ThemeServices->Available());
  EXPECT_TRUE(AllWhite(DrawnByServices(button)));
  InitializeXPThemes();
  EXPECT_TRUE(ThemeServices->Enabled());
  EXPECT_EQ(DrawnByServices(button), DrawnByBinding(L"BUTTON", button).Pixels);
}

TEST_F(XPThemeServices, UninstallingPutsTheClassicServicesBack) {
  UninstallXPThemeServices();
  ASSERT_NE(ThemeServices, nullptr);
  EXPECT_FALSE(ThemeServices->Enabled());
  EXPECT_TRUE(AllWhite(DrawnByServices(GetElementDetails(TThemedButton::tbPushButtonNormal))));
  InstallXPThemeServices();
  EXPECT_TRUE(ThemeServices->Enabled());
}

}  // namespace
