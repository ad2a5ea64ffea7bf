#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "framework/fwBitmaps.h"
#include "framework/fwThemes.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace {

using ThemeTest = FrameworkTest;

TEST_F(ThemeTest, ElementDetailsNameThePlatformsPartsAndStates) {
  struct TCase {
    TThemedElementDetails Details;
    TThemedElement Element;
    int Part;
    int State;
  };
  const TCase cases[] = {
      {GetElementDetails(TThemedButton::tbPushButtonDefaulted), TThemedElement::teButton, BP_PUSHBUTTON, PBS_DEFAULTED},
      {GetElementDetails(TThemedHeader::thHeaderItemPressed), TThemedElement::teHeader, HP_HEADERITEM, HIS_PRESSED},
      {GetElementDetails(TThemedToolBar::ttbButtonCheckedHot), TThemedElement::teToolBar, TP_BUTTON, TS_HOTCHECKED},
      {GetElementDetails(TThemedStatus::tsPane), TThemedElement::teStatus, SP_PANE, 0},
      {GetElementDetails(TThemedEdit::teEditTextDisabled), TThemedElement::teEdit, EP_EDITTEXT, ETS_DISABLED},
      {GetElementDetails(TThemedToolTip::tttStandardNormal), TThemedElement::teToolTip, TTP_STANDARD, TTSS_NORMAL},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(c.Details.Element, c.Element);
    EXPECT_EQ(c.Details.Part, c.Part);
    EXPECT_EQ(c.Details.State, c.State);
  }
}

TEST_F(ThemeTest, OwnServicesKeepToTheClassicLook) {
  ASSERT_NE(ThemeServices, nullptr);
  EXPECT_FALSE(ThemeServices->Enabled());
  TBitmap bitmap(40, 20, TPixelFormat::pf32bit);
  const RECT bounds{0, 0, 40, 20};
  const TThemedElementDetails button = GetElementDetails(TThemedButton::tbPushButtonNormal);
  ThemeServices->DrawElement(bitmap.Canvas().Handle(), button, bounds);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(static_cast<const uint32_t*>(bitmap.ScanLine(y))[x], 0xFFFFFFFFu);
  const RECT content = ThemeServices->ContentRect(bitmap.Canvas().Handle(), button, bounds);
  EXPECT_TRUE(EqualRect(&content, &bounds));
  EXPECT_FALSE(ThemeServices->HasTransparentParts(button));
}

TEST_F(ThemeTest, ServicesCanBeReplacedAndTheClassicOnesPutBack) {
  InstallThemeServices(std::make_unique<TStubThemeServices>());
  EXPECT_TRUE(ThemeServices->Enabled());
  InstallThemeServices(nullptr);
  ASSERT_NE(ThemeServices, nullptr);
  EXPECT_FALSE(ThemeServices->Enabled());
}

}  // namespace
