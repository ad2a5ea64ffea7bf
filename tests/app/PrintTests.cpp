// Printing the document sheet: the page rectangle's arithmetic, then whole jobs on Wine's PostScript driver
// written to files (the printer is installed for the suite and removed after it).
#include <gtest/gtest.h>

#include "foundation/cuWin32.h"

#include <psapi.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/diPrint.h"
#include "app/unStartup.h"
#include "document/model/diCanvas.h"
#include "foundation/cuFiles.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwBitmaps.h"
#include "framework/fwGraphics.h"
#include "framework/fwPrinters.h"
#include "tests/app/AppFixture.h"
#include "tests/document/TestVisualElements.h"
#include "tests/framework/PrinterTestSupport.h"

namespace {

TEST(PrintPage, MarginsOfAnInchAtSixHundredDotsLeaveTheOffsetsOut) {
  const TPrinterMeasures printer{600, 600, 50, 50, 5100, 6600, 5200, 6700};
  const RECT page = PrintPageRect(printer, {2500, 2500, 2500, 2500});
  EXPECT_EQ(page.left, 541);
  EXPECT_EQ(page.top, 541);
  EXPECT_EQ(page.right, 4559);
  EXPECT_EQ(page.bottom, 6059);
}

TEST(PrintPage, RightAndBottomUseThePrintersOwnOffsetsThere) {
  // Offsets 30 and 40 on the left and top leave 70 and 60 on the right and bottom.
  const TPrinterMeasures printer{600, 300, 30, 40, 5100, 6600, 5200, 6700};
  const RECT page = PrintPageRect(printer, {2500, 1000, 1000, 2500});
  EXPECT_EQ(page.left, 591 - 30);
  EXPECT_EQ(page.top, 118 - 40);
  EXPECT_EQ(page.right, 5100 - (236 - 70));
  EXPECT_EQ(page.bottom, 6600 - (296 - 60));
}

TEST(PrintPage, PagesCoverTheWorkspaceAndAViewPageIsAtLeastOnePixel) {
  const RECT page{0, 0, 1000, 1000};
  EXPECT_EQ(PrintPageViewHeight(page, 6.25), 160);
  EXPECT_EQ(PrintPageCount(page, 6.25, 400), 3);
  EXPECT_EQ(PrintPageCount(page, 6.25, 320), 2);
  EXPECT_EQ(PrintPageCount(page, 6.25, 100), 1);
  EXPECT_EQ(PrintPageCount(page, 6.25, 0), 1);
  EXPECT_EQ(PrintPageViewHeight({0, 0, 10, 2}, 6.25), 1);
  EXPECT_EQ(PrintPageCount({0, 0, 10, 2}, 6.25, 3), 3);
  EXPECT_EQ(PrintPageCount({0, 10, 10, 10}, 6.25, 300), 1);
}

// A bar that paints itself black, so a page shows where it landed.
class TBlackBar : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TVisualElement::TVisualElement;
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags) override { ACanvas->FillRect(GetSizeRect(), 0xFF000000); }
};
const TElementClassInfo TBlackBar::ClassInfo{u"TElement_BlackBar", &TVisualElement::ClassInfo,
                                             &ElementFactory<TBlackBar>};

bool IsBlack(const TBitmap& APage, int X, int Y) {
  const auto* pixel = static_cast<const unsigned char*>(APage.ScanLine(Y)) + X * 3;
  return pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
}

int BlackInRow(const TBitmap& APage, int Y) {
  int n = 0;
  for (int x = 0; x < APage.Width(); ++x) n += IsBlack(APage, x, Y);
  return n;
}

int BlackInColumn(const TBitmap& APage, int X) {
  int n = 0;
  for (int y = 0; y < APage.Height(); ++y) n += IsBlack(APage, X, y);
  return n;
}

// Scale 100 on a 600 dpi printer over a 96 dpi screen: 6.25 printer pixels a view pixel, 160 view rows a page.
TEST(PrintBand, EachPageShowsItsOwnSliceScaledByTheZoom) {
  TStartupList units(ProgramStartupSteps());
  units.StartAll();
  {
    TSheetHostFixture host;
    AddVisual<TBlackBar>(host.Root, 20, 170, 100, 10);
    const RECT page{0, 0, 1000, 1000};
    TBitmap first(1000, 1000), second(1000, 1000);
    PrintSheetBand(first.Canvas().Handle(), *host.Sheet, page, 6.25, 0);
    PrintSheetBand(second.Canvas().Handle(), *host.Sheet, page, 6.25, 1);
    EXPECT_EQ(BlackInRow(first, 999), 0);
    // View rows 170..180 are rows 10..20 of the second page: printer rows 62.5..125, columns 125..750.
    EXPECT_NEAR(BlackInRow(second, 90), 625, 1);
    EXPECT_NEAR(BlackInColumn(second, 400), 62, 1);
    EXPECT_TRUE(IsBlack(second, 130, 70));
    EXPECT_FALSE(IsBlack(second, 130, 55));
    EXPECT_FALSE(IsBlack(second, 130, 130));
    EXPECT_FALSE(IsBlack(second, 760, 90));
    // The context is left as it was found.
    HDC dc = second.Canvas().Handle();
    POINT origin;
    GetViewportOrgEx(dc, &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    EXPECT_EQ(GetGraphicsMode(dc), GM_COMPATIBLE);
  }
  units.EndAll();
}

// ---------------------------------------------------------------------------------------------------------------

const wchar_t* const TestPrinter = L"Quillbox Print Test Printer";

std::u16string TempFile(const char16_t* AName) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::u16string path = FromWide(temp) + AName;
  DeleteFileW(WStr(path));
  return path;
}

int PagesIn(const std::u16string& AFile) {
  std::ifstream in(std::wstring(WStr(AFile)).c_str(), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string text = bytes.str();
  int n = 0;
  for (size_t at = text.find("%%Page:"); at != std::string::npos; at = text.find("%%Page:", at + 1)) ++n;
  return n;
}

bool AllWhite(const TBitmap& APage) {
  for (int y = 0; y < APage.Height(); ++y) {
    const auto* row = static_cast<const unsigned char*>(APage.ScanLine(y));
    for (int x = 0; x < APage.Width() * 3; ++x)
      if (row[x] != 0xFF) return false;
  }
  return true;
}

size_t WorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.WorkingSetSize;
}

TEST(PrintCheck, WithoutAPrinterTheCommandsSayThereAreNoneAndWithOneNothingIsSaid) {
  RemoveTestPrinter(TestPrinter);
  TRecordingHost host;
  SetUserInterfaceHost(&host);
  StartPrinter();
  const bool none = CheckPrinters();
  EndPrinter();
  ASSERT_TRUE(InstallTestPrinter(TestPrinter));
  StartPrinter();
  const bool one = CheckPrinters();
  EndPrinter();
  SetUserInterfaceHost(nullptr);
  RemoveTestPrinter(TestPrinter);

  EXPECT_FALSE(none);
  EXPECT_TRUE(one);
  EXPECT_EQ(host.Boxes, (std::vector<std::u16string>{u"There are no printers."}));
  EXPECT_EQ(host.Flags, (std::vector<UINT>{MB_OK | MB_ICONINFORMATION}));
}

class PrintJobTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RemoveTestPrinter(TestPrinter);
    Installed = InstallTestPrinter(TestPrinter);
    Units = new TStartupList(ProgramStartupSteps());
    Units->StartAll();
  }
  static void TearDownTestSuite() {
    Units->EndAll();
    delete Units;
    RemoveTestPrinter(TestPrinter);
  }
  void SetUp() override {
    ASSERT_TRUE(Installed);
    Print.Scale->SetValue(50);
  }

  // The page rectangle and zoom the job will use.
  RECT Page() { return PrintPageRect(ReadPrinterMeasures(*Printer), Margins); }
  double Zoom() { return Print.Scale->Value() * (double(Printer->FontPixelsPerInch()) / ScreenPixelsPerInch()) / 100; }
  int ViewPage() { return PrintPageViewHeight(Page(), Zoom()); }

  static inline bool Installed = false;
  static inline TStartupList* Units = nullptr;
  TSheetHostFixture Host;
  TPrintSettings Print{nullptr};
  RECT Margins{2500, 2500, 2500, 2500};
};

TEST_F(PrintJobTest, ADocumentTwoAndAHalfPagesTallPrintsThreePagesAndAShortOneOne) {
  const std::u16string file = TempFile(u"quillbox-print-long.ps");
  const int view = ViewPage();
  Host.Root->SetBounds(0, 0, 300, view * 5 / 2, Host.Root->Descent());
  // A bar from 0.6 to 1.9 pages: the third page's lower part, below the document, must not keep the second's.
  AddVisual<TBlackBar>(Host.Root, 10, view * 6 / 10, 50, view * 13 / 10);
  std::vector<bool> barAtThreeQuarters;
  PrintDocument(u"Quillbox long", *Host.Sheet, Print, Margins,
                {file, [&](const TBitmap& APage, int) {
                   const int x = static_cast<int>(35 * Zoom());
                   barAtThreeQuarters.push_back(IsBlack(APage, x, APage.Height() * 3 / 4));
                 }});
  EXPECT_EQ(PagesIn(file), 3);
  EXPECT_EQ(barAtThreeQuarters, (std::vector<bool>{true, true, false}));
  DeleteFileW(WStr(file));

  Host.Root->SetBounds(0, 0, 300, view / 3, Host.Root->Descent());
  PrintDocument(u"Quillbox short", *Host.Sheet, Print, Margins, {file, {}});
  EXPECT_EQ(PagesIn(file), 1);
  DeleteFileW(WStr(file));
}

TEST_F(PrintJobTest, AnEmptySheetsPagesReachThePrinterWhite) {
  const std::u16string file = TempFile(u"quillbox-print-empty.ps");
  Host.Root->SetBounds(0, 0, 0, 0, Host.Root->Descent());
  int pages = 0, white = 0;
  PrintDocument(u"Quillbox empty", *Host.Sheet, Print, Margins, {file, [&](const TBitmap& APage, int) {
                                                                   ++pages;
                                                                   white += AllWhite(APage);
                                                                 }});
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(white, 1);
  EXPECT_EQ(PagesIn(file), 1);
  DeleteFileW(WStr(file));
}

TEST_F(PrintJobTest, FocusAndTopElementComeBackAlsoWhenTheJobFails) {
  TTestVisualLeaf* leaf = AddVisual<TTestVisualLeaf>(Host.Root, 10, 10, 100, 20);
  leaf->SetFocus({}, {}, nullptr, nullptr);
  ASSERT_EQ(Host.Sheet->Focused(), leaf);
  const std::u16string file = TempFile(u"quillbox-print-focus.ps");
  PrintDocument(u"Quillbox focus", *Host.Sheet, Print, Margins, {file, {}});
  EXPECT_EQ(Host.Sheet->Root()->FirstVisualChild(), Host.Root);
  EXPECT_EQ(Host.Sheet->Focused(), leaf);

  // A page that fails aborts the job; the element and the focus come back all the same. The job writes a file of
  // its own: under load Wine's spooler may still hold the first job's when the second starts.
  const std::u16string failing = TempFile(u"quillbox-print-failing.ps");
  EXPECT_THROW(PrintDocument(u"Quillbox failing", *Host.Sheet, Print, Margins,
                             {failing, [](const TBitmap&, int) { throw EPrinter(u"page failed"); }}),
               EPrinter);
  EXPECT_FALSE(Printer->Printing());
  EXPECT_EQ(Host.Sheet->Root()->FirstVisualChild(), Host.Root);
  EXPECT_EQ(Host.Root->Sheet(), Host.Sheet.get());
  EXPECT_EQ(Host.Sheet->Focused(), leaf);
  DeleteFileW(WStr(file));
  DeleteFileW(WStr(failing));
}

TEST_F(PrintJobTest, ATwentyPageJobKeepsItsWorkingSetWithinAFewPageBitmaps) {
  const std::u16string file = TempFile(u"quillbox-print-twenty.ps");
  const RECT page = Page();
  const size_t bitmap = size_t(page.right - page.left) * size_t(page.bottom - page.top) * 3;
  // Half a page short of twenty: the sheet's padding comes on top.
  Host.Root->SetBounds(0, 0, 300, ViewPage() * 20 - ViewPage() / 2, Host.Root->Descent());
  const size_t before = WorkingSet();
  size_t peak = before;
  int pages = 0;
  PrintDocument(u"Quillbox twenty", *Host.Sheet, Print, Margins, {file, [&](const TBitmap&, int) {
                                                                    ++pages;
                                                                    peak = std::max(peak, WorkingSet());
                                                                  }});
  EXPECT_EQ(pages, 20);
  EXPECT_EQ(PagesIn(file), 20);
  EXPECT_LE(peak - before, 3 * bitmap) << "page bitmap " << bitmap << " bytes";
  DeleteFileW(WStr(file));
}

}  // namespace
