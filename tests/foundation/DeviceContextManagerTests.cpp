#include <gtest/gtest.h>

#include "foundation/cuDeviceContextManager.h"

namespace {

TEST(DeviceContextManager, HoldsAMemoryDCWithTheScreensResolution) {
  TDeviceContextManager manager;
  ASSERT_NE(manager.DC(), nullptr);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(manager.LogPixelsY(), GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(GetObjectType(manager.DC()), static_cast<DWORD>(OBJ_MEMDC));
  BITMAP bitmap{};
  ASSERT_TRUE(GetObjectW(GetCurrentObject(manager.DC(), OBJ_BITMAP), sizeof(bitmap), &bitmap));
  EXPECT_EQ(bitmap.bmWidth, 1);
  EXPECT_EQ(bitmap.bmHeight, 1);
  manager.Reset();
  EXPECT_NE(manager.DC(), nullptr);
}

TEST(DeviceContextManager, FontHeightIsThePointSizeAtTheDCsResolution) {
  TDeviceContextManager manager;
  const LOGFONTW font = manager.MakeFont(u"Tahoma", 9, 0, DEFAULT_CHARSET, fpDefault);
  EXPECT_EQ(font.lfHeight, -MulDiv(9, manager.LogPixelsY(), 72));
  if (manager.LogPixelsY() == 96) {
    EXPECT_EQ(font.lfHeight, -12);
  }
  EXPECT_EQ(font.lfWidth, 0);
  EXPECT_EQ(font.lfWeight, FW_NORMAL);
  EXPECT_EQ(font.lfQuality, DEFAULT_QUALITY);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(font.lfFaceName)), u"Tahoma");
}

TEST(DeviceContextManager, StylePitchAndAnglesReachTheLogicalFont) {
  TDeviceContextManager manager;
  const LOGFONTW styled = manager.MakeFont(u"Arial", 12, fsBold | fsItalic | fsUnderline | fsStrikeOut, RUSSIAN_CHARSET,
                                           fpVariable, 900, 450);
  EXPECT_EQ(styled.lfWeight, FW_BOLD);
  EXPECT_EQ(styled.lfItalic, 1);
  EXPECT_EQ(styled.lfUnderline, 1);
  EXPECT_EQ(styled.lfStrikeOut, 1);
  EXPECT_EQ(styled.lfCharSet, RUSSIAN_CHARSET);
  EXPECT_EQ(styled.lfEscapement, 900);
  EXPECT_EQ(styled.lfOrientation, 450);
  EXPECT_EQ(styled.lfPitchAndFamily, VARIABLE_PITCH);
  EXPECT_EQ(manager.MakeFont(u"Courier New", 10, 0, 0, fpFixed).lfPitchAndFamily, FIXED_PITCH);
  EXPECT_EQ(manager.MakeFont(u"Courier New", 10, 0, 0, fpDefault).lfPitchAndFamily, DEFAULT_PITCH);
  const std::u16string longName(40, u'x');
  EXPECT_EQ(
      std::u16string(reinterpret_cast<const char16_t*>(manager.MakeFont(longName, 10, 0, 0, fpDefault).lfFaceName)),
      longName.substr(0, LF_FACESIZE - 1));
}

TEST(DeviceContextManager, AFontIsSelectedForAScopeAndNeverDeletedWhileSelected) {
  TDeviceContextManager manager;
  HGDIOBJ original = GetCurrentObject(manager.DC(), OBJ_FONT);
  HFONT font = manager.CreateFont(u"Arial", 10, fsBold, DEFAULT_CHARSET, fpDefault);
  ASSERT_NE(font, nullptr);
  LOGFONTW made{};
  ASSERT_TRUE(GetObjectW(font, sizeof(made), &made));
  EXPECT_EQ(made.lfWeight, FW_BOLD);
  {
    TSelectObjectGuard selected = manager.SelectFont(font);
    EXPECT_EQ(GetCurrentObject(manager.DC(), OBJ_FONT), font);
    TEXTMETRICW metrics;
    EXPECT_TRUE(GetTextMetricsW(manager.DC(), &metrics));
  }
  EXPECT_EQ(GetCurrentObject(manager.DC(), OBJ_FONT), original);

  SelectObject(manager.DC(), font);
  manager.DeleteFont(font);
  EXPECT_EQ(GetCurrentObject(manager.DC(), OBJ_FONT), original);
  EXPECT_EQ(GetObjectType(font), 0u) << "deleted";
}

TEST(DeviceContextManager, InitializeAndFinalizeCreateAndFreeTheGlobal) {
  InitializeDeviceContextManager();
  ASSERT_TRUE(DeviceContextManager != nullptr);
  EXPECT_NE(DeviceContextManager->DC(), nullptr);
  FinalizeDeviceContextManager();
  EXPECT_TRUE(DeviceContextManager == nullptr);
}

}  // namespace
