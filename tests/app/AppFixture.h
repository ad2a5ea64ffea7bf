// What the tests of the application units share: the program's units started once per suite, and a scratch
// folder per test.
#pragma once

#include "app/unStartup.h"
#include "foundation/cuUtils.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"
#include "framework/fwScreen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class TStartedUnitsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FUnits = std::make_unique<TStartupList>(ProgramStartupSteps());
    FUnits->StartAll();
  }
  static void TearDownTestSuite() {
    FUnits->EndAll();
    FUnits.reset();
  }

  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FScratch = GetTempFolder() + u"qb_app_" + ToU16(info->name()) + u"_" + IntToStr(GetCurrentProcessId()) + u"\\";
    std::filesystem::remove_all(Path(FScratch));
    std::filesystem::create_directories(Path(FScratch));
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(Path(FScratch), ignored);
  }

  // With a trailing delimiter.
  const std::u16string& Scratch() const { return FScratch; }
  static std::filesystem::path Path(const std::u16string& AName) { return std::filesystem::path(WStr(AName)); }
  static std::u16string ToU16(const char* AText) { return std::u16string(AText, AText + std::strlen(AText)); }

 private:
  static inline std::unique_ptr<TStartupList> FUnits;
  std::u16string FScratch;
};

// Keeps the message boxes instead of showing them; the cursors still go to the screen when there is one.
class TRecordingHost : public IUserInterfaceHost {
 public:
  void ShowScreenCursor(TCursor ACursor) override {
    if (Screen) Screen->SetCursor(ACursor);
  }
  HCURSOR CursorHandle(TCursor ACursor) override { return Screen ? Screen->Cursors(ACursor) : nullptr; }
  int MessageBox(const std::u16string& AText, const std::u16string&, UINT AFlags) override {
    Boxes.push_back(AText);
    Flags.push_back(AFlags);
    return IDOK;
  }
  std::vector<std::u16string> Boxes;
  std::vector<UINT> Flags;
};
