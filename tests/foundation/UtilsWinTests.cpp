#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "tests/foundation/TestFolder.h"

namespace {

TEST(Geometry, RectsOverlapCountsTouchingTheLeftOrTopEdge) {
  struct TCase {
    RECT A, B;
    bool Overlap;
  } cases[] = {
      {{0, 0, 10, 10}, {10, 0, 20, 10}, false}, {{10, 0, 20, 10}, {0, 0, 10, 10}, true},
      {{0, 0, 10, 10}, {0, 10, 10, 20}, false}, {{0, 10, 10, 20}, {0, 0, 10, 10}, true},
      {{0, 0, 10, 10}, {2, 2, 3, 3}, true},     {{0, 0, 10, 10}, {20, 20, 30, 30}, false},
  };
  for (const TCase& c : cases) EXPECT_EQ(RectsOverlap(c.A, c.B), c.Overlap);
  const SIZE size = GetRectSize(RECT{5, 7, 25, 10});
  EXPECT_EQ(size.cx, 20);
  EXPECT_EQ(size.cy, 3);
}

TEST(Files, ListFilesSkipsFoldersAndCanDropExtensionsOrAddTheFolder) {
  TTestFolder folder;
  for (const char16_t* name : {u"b.txt", u"a.txt", u"c.dat"}) TFileStream(folder.Path(name), TFileMode::fmCreate);
  ASSERT_TRUE(CreateDirectoryW(WStr(folder.Path(u"sub.txt")), nullptr));
  const std::u16string path = folder.Path(u"");
  auto listed = [&](bool AWithExt, bool AWithFolder) {
    TStringList list;
    list.Add(u"kept");
    ListFiles(path, u"*.txt", list, AWithExt, AWithFolder);
    EXPECT_EQ(list.UpdateCount(), 0);
    std::vector<std::u16string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list[i]);
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::u16string withDelimiter = HasTrailingPathDelimiter(path) ? path : path + u"\\";
  EXPECT_EQ(listed(true, false), (std::vector<std::u16string>{u"a.txt", u"b.txt", u"kept"}));
  EXPECT_EQ(listed(false, false), (std::vector<std::u16string>{u"a", u"b", u"kept"}));
  EXPECT_EQ(listed(true, true),
            (std::vector<std::u16string>{withDelimiter + u"a.txt", withDelimiter + u"b.txt", u"kept"}));
}

TDateTime LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME time;
  SystemTimeToFileTime(&now, &time);
  return static_cast<double>((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 864000000000.0 - 109205.0;
}

TEST(Files, FileDateTimeIsLocalTimeAndZeroForAMissingFile) {
  TTestFolder folder;
  const std::u16string name = folder.Path(u"stamp.txt");
  TFileStream(name, TFileMode::fmCreate).WriteBytes("x");
  EXPECT_NEAR(GetFileDateTime(name), LocalNow(), 2.0 / 1440);
  EXPECT_EQ(GetFileDateTime(folder.Path(u"missing.txt")), 0);
  // 2000-01-01 is day 36526.
  EXPECT_GT(GetFileDateTime(name), 36526);
}

TEST(Files, ApplicationFolderHoldsTheProgram) {
  const std::u16string folder = GetApplicationFolder();
  ASSERT_TRUE(HasTrailingPathDelimiter(folder));
  EXPECT_TRUE(FileExists(folder + u"foundation_tests.exe"));
}

TEST(Clipping, SavedClipRegionComesBack) {
  HDC dc = CreateCompatibleDC(nullptr);
  HRGN region;
  bool had;
  SaveClipRegion(dc, region, had);
  EXPECT_FALSE(had);
  IntersectClipRect(dc, 1, 2, 5, 6);
  RestoreClipRegion(dc, region, had);
  HRGN probe = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(dc, probe), 0) << "no clipping again";
  IntersectClipRect(dc, 1, 2, 5, 6);
  {
    TClipRegionGuard guard(dc);
    IntersectClipRect(dc, 3, 3, 4, 4);
  }
  ASSERT_EQ(GetClipRgn(dc, probe), 1);
  RECT box;
  GetRgnBox(probe, &box);
  EXPECT_EQ(box.left, 1);
  EXPECT_EQ(box.top, 2);
  EXPECT_EQ(box.right, 5);
  EXPECT_EQ(box.bottom, 6);
  DeleteObject(probe);
  DeleteDC(dc);
}

TEST(BusyCursor, NestsAndRestoresTheCursorShownBeforeOnlyAtTheOutermostEnd) {
  SetScreenCursor(crIBeam);
  BeginBusyCursor();
  EXPECT_EQ(GetScreenCursor(), crHourGlass);
  {
    TBusyCursor inner;
    EXPECT_TRUE(IsBusyCursor());
  }
  EXPECT_EQ(GetScreenCursor(), crHourGlass);
  SetScreenCursor(crSizeAll);  // while busy: only what comes back changes
  EXPECT_EQ(GetScreenCursor(), crHourGlass);
  EndBusyCursor();
  EXPECT_FALSE(IsBusyCursor());
  EXPECT_EQ(GetScreenCursor(), crSizeAll);
  SetScreenCursor(crDefault);
  EXPECT_THROW(EndBusyCursor(), EProgrammingError);
}

TEST(BusyCursor, EndsWhenAnExceptionLeavesItsScope) {
  try {
    TBusyCursor busy;
    throw EStreamError(u"fails");
  } catch (const EStreamError&) {
  }
  EXPECT_FALSE(IsBusyCursor());
  EXPECT_EQ(GetScreenCursor(), crDefault);
  EXPECT_NE(GetCursorHandle(crHourGlass), nullptr);
}

TEST(Shell, FailuresRaiseLocalizedFileAndPathErrors) {
  InitializeLocalization();
  Localization->SetLanguage(LangEnglishUS);
  TTestFolder folder;
  const std::u16string missing = folder.Path(u"missing.qbx");
  try {
    ShellExecuteFile(missing, {}, {}, true, SW_HIDE);
    ADD_FAILURE() << "no error";
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Message(), u"File not found: " + missing);
    EXPECT_EQ(e.ErrorCode(), 2u);
  }
  EXPECT_FALSE(ShellExecuteFile(missing, {}, {}, false, SW_HIDE));
  try {
    RaisePathNotFound(u"C:\\Nowhere\\");
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Message(), u"Path not found: C:\\Nowhere\\");
    EXPECT_EQ(e.ErrorCode(), 3u);
  }
  FinalizeLocalization();
}

TEST(Shell, NoBrowserIsStartedForAnythingButAPlainWebAddress) {
  EXPECT_FALSE(OpenInDefaultBrowser(u"file:///C:/windows/system32/calc.exe", SW_HIDE));
  EXPECT_FALSE(OpenInDefaultBrowser(u"http://a\" --evil", SW_HIDE));
}

TEST(Languages, AbbreviationsFindTheirLanguageExactly) {
  LANGID id = 0;
  ASSERT_TRUE(FindLanguageLocale(u"ENU", id));
  EXPECT_EQ(id, 0x0409);
  ASSERT_TRUE(FindLanguageLocale(u"DEU", id));
  EXPECT_EQ(id, 0x0407);
  ASSERT_TRUE(FindLanguageLocale(u"RUS", id));
  EXPECT_EQ(id, 0x0419);
  EXPECT_FALSE(FindLanguageLocale(u"enu", id));
  EXPECT_FALSE(FindLanguageLocale(u"XYZ", id));
  EXPECT_FALSE(FindLanguageLocale(u"", id));
}

TEST(Platform, IsVistaOrLater) { EXPECT_TRUE(IsWindowsVistaOrLater()); }

}  // namespace
