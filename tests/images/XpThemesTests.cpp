#include "graphics/pixels/pxXPThemes.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct TChangeCounter {
  int Count = 0;
  void Changed() { ++Count; }
};

// The user's choice of visual styles as the library reads it when it is loaded.
void SetThemeActive(bool AActive) {
  const wchar_t* value = AActive ? L"1" : L"0";
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager", L"ThemeActive",
                  REG_SZ, value, 2 * sizeof(wchar_t));
}

class VisualStyles : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeXPThemes();
    ASSERT_NE(ThemeNexus(), nullptr);
  }
  void TearDown() override {
    SetThemeActive(true);
    FinalizeXPThemes();
  }
};

TEST_F(VisualStyles, NexusOpensBothHandlesWhileStylesAreActive) {
  ASSERT_TRUE(VisualStylesActive());
  EXPECT_TRUE(UseThemes());
  EXPECT_NE(ScrollBarTheme(), nullptr);
  EXPECT_NE(GlobalsTheme(), nullptr);
  EXPECT_NE(VisualStyleApi().DrawThemeBackground, nullptr);
}

TEST_F(VisualStyles, ThemeChangeReopensHandlesAndTellsHandlers) {
  TChangeCounter counter;
  AddThemeChangeHandler(MakeMethod<&TChangeCounter::Changed>(&counter));
  SendMessageW(ThemeNexus()->Handle(), WM_THEMECHANGED, 0, 0);
  EXPECT_EQ(counter.Count, 1);
  EXPECT_TRUE(UseThemes());
  EXPECT_NE(ScrollBarTheme(), nullptr);
  EXPECT_NE(GlobalsTheme(), nullptr);
  RemoveThemeChangeHandler(MakeMethod<&TChangeCounter::Changed>(&counter));
  SendMessageW(ThemeNexus()->Handle(), WM_THEMECHANGED, 0, 0);
  EXPECT_EQ(counter.Count, 1);
}

// Handles opened through the bound functions elsewhere must be closed while the library they came from is bound.
struct TClosingProbe {
  int Calls = 0;
  int WhileBound = 0;
  void Closing() {
    ++Calls;
    if (VisualStyleApi().CloseThemeData && ScrollBarTheme() && GlobalsTheme()) ++WhileBound;
  }
};

TEST_F(VisualStyles, ClosingHandlersRunWhileTheLibraryIsStillBound) {
  TClosingProbe probe;
  AddThemeClosingHandler(MakeMethod<&TClosingProbe::Closing>(&probe));
  SendMessageW(ThemeNexus()->Handle(), WM_THEMECHANGED, 0, 0);
  FinalizeXPThemes();
  EXPECT_EQ(probe.Calls, 2);
  EXPECT_EQ(probe.WhileBound, 2);
  RemoveThemeClosingHandler(MakeMethod<&TClosingProbe::Closing>(&probe));
  InitializeXPThemes();
  FinalizeXPThemes();
  EXPECT_EQ(probe.Calls, 2);
  InitializeXPThemes();
}

// The library cannot turn styles on again inside the process that turned them off, so the switch runs in a child
// process. The choice is kept in the registry, which the child and the fixture set back.
TEST_F(VisualStyles, SwitchingStylesOffClosesTheHandles) {
  ASSERT_TRUE(UseThemes());
  EXPECT_EXIT(
      {
        VisualStyleApi().EnableTheming(FALSE);
        SendMessageW(ThemeNexus()->Handle(), WM_THEMECHANGED, 0, 0);
        const bool closed = !UseThemes() && !ScrollBarTheme() && !GlobalsTheme();
        SetThemeActive(true);
        std::exit(closed ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(VisualStyles, EndingTheUnitReleasesEverything) {
  FinalizeXPThemes();
  EXPECT_EQ(ThemeNexus(), nullptr);
  EXPECT_FALSE(UseThemes());
  EXPECT_EQ(ScrollBarTheme(), nullptr);
  EXPECT_EQ(VisualStyleApi().OpenThemeData, nullptr);
  InitializeXPThemes();
}

}  // namespace
