// The printer object and the printer dialogs on Wine's PostScript driver: first with no printer at all, then with
// a printer on FILE: that the tests install and remove. Jobs always name their output file (a FILE: job without
// one waits for the user to type a name).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "foundation/cuFiles.h"
#include "framework/fwApplication.h"
#include "framework/fwDialogs.h"
#include "framework/fwPrinters.h"
#include "tests/framework/DialogTestSupport.h"
#include "tests/framework/FormTestSupport.h"
#include "tests/framework/PrinterTestSupport.h"

namespace {

const wchar_t* const TestPrinter = L"Quillbox Test Printer";

std::u16string TempFile(const char16_t* AName) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::u16string path = FromWide(temp) + AName;
  DeleteFileW(WStr(path));
  return path;
}

std::string ReadAll(const std::u16string& APath) {
  std::ifstream in(std::wstring(WStr(APath)).c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int CountOf(const std::string& AText, const std::string& APart) {
  int n = 0;
  for (size_t at = AText.find(APart); at != std::string::npos; at = AText.find(APart, at + 1)) ++n;
  return n;
}

int SpooledJobs() {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(TestPrinter), &printer, nullptr)) return -1;
  DWORD needed = 0, count = 0;
  EnumJobsW(printer, 0, 100, 1, nullptr, 0, &needed, &count);
  ClosePrinter(printer);
  return static_cast<int>(count);
}

// ---------------------------------------------------------------------------------------------------------------

class NoPrinterTest : public FrameworkTest {
 protected:
  void SetUp() override {
    RemoveTestPrinter(TestPrinter);
    FrameworkTest::SetUp();
    StartPrinter();
  }
  void TearDown() override {
    EndPrinter();
    FrameworkTest::TearDown();
  }
};

TEST_F(NoPrinterTest, CountIsZeroAndNothingPrints) {
  EXPECT_EQ(Printer->PrinterCount(), 0);
  EXPECT_EQ(Printer->PrinterName(), u"");
  EXPECT_EQ(Printer->DevMode(), nullptr);
  EXPECT_THROW(Printer->BeginDoc(TempFile(u"quillbox-none.ps")), EPrinter);
  EXPECT_FALSE(Printer->Printing());
  // The system's page set-up would wait for a printer forever: it is refused before it shows.
  auto pageSetup = MakeForm<TPageSetupDialog>();
  EXPECT_THROW(pageSetup->Execute(), EPrinter);
}

// ---------------------------------------------------------------------------------------------------------------

class PrinterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RemoveTestPrinter(TestPrinter);
    ASSERT_TRUE(InstallTestPrinter(TestPrinter)) << GetLastError();
    StartFramework();
  }
  static void TearDownTestSuite() {
    EndFramework();
    RemoveTestPrinter(TestPrinter);
  }
  void SetUp() override { StartPrinter(); }
  void TearDown() override {
    EndPrinter();
    DialogRunners = TDialogRunners{};
  }
};

TEST_F(PrinterTest, TheInstalledPrinterIsTheCurrentOneWithItsNamesAndMeasures) {
  EXPECT_EQ(Printer->PrinterCount(), 1);
  ASSERT_EQ(Printer->Printers().size(), 1u);
  EXPECT_EQ(Printer->Printers()[0], FromWide(TestPrinter));
  EXPECT_EQ(Printer->PrinterName(), FromWide(TestPrinter));
  EXPECT_EQ(Printer->DriverName(), FromWide(PostScriptDriver));
  EXPECT_EQ(Printer->PortName(), u"FILE:");
  ASSERT_NE(Printer->DevMode(), nullptr);
  EXPECT_EQ(Printer->DevMode()->dmSize, sizeof(DEVMODEW));

  const int dpiX = Printer->PixelsPerInchX(), dpiY = Printer->PixelsPerInchY();
  EXPECT_GT(dpiX, 96);
  EXPECT_EQ(Printer->FontPixelsPerInch(), dpiY);
  // The printable area sits inside the sheet, after its offsets.
  EXPECT_GT(Printer->PhysicalOffsetX(), 0);
  EXPECT_GT(Printer->PhysicalOffsetY(), 0);
  EXPECT_LE(Printer->PhysicalOffsetX() + Printer->PageWidth(), Printer->PhysicalWidth());
  EXPECT_LE(Printer->PhysicalOffsetY() + Printer->PageHeight(), Printer->PhysicalHeight());
  // A4 or Letter: the sheet is between 8 and 9 inches wide and between 11 and 12 inches high.
  EXPECT_GE(Printer->PhysicalWidth(), 8 * dpiX);
  EXPECT_LE(Printer->PhysicalWidth(), 9 * dpiX);
  EXPECT_GE(Printer->PhysicalHeight(), 11 * dpiY);
  EXPECT_LE(Printer->PhysicalHeight(), 12 * dpiY);
}

TEST_F(PrinterTest, TwoPagesWriteTwoPagesIntoTheJobsFile) {
  const std::u16string file = TempFile(u"quillbox-two-pages.ps");
  Printer->SetTitle(u"Quillbox two pages");
  {
    TPrintJob job(*Printer, file);
    EXPECT_TRUE(Printer->Printing());
    EXPECT_EQ(Printer->PageNumber(), 1);
    Printer->Canvas().TextOut(100, 100, u"first");
    Printer->NewPage();
    EXPECT_EQ(Printer->PageNumber(), 2);
    Printer->Canvas().Rectangle(100, 100, 400, 400);
  }
  EXPECT_FALSE(Printer->Printing());
  EXPECT_THROW(Printer->Canvas(), EPrinter);
  const std::string text = ReadAll(file);
  EXPECT_EQ(CountOf(text, "%%Page: "), 2);
  EXPECT_NE(text.find("%%Title: Quillbox two pages"), std::string::npos);
  DeleteFileW(WStr(file));
}

TEST_F(PrinterTest, AThrowingPageLeavesNoOpenJob) {
  const std::u16string file = TempFile(u"quillbox-thrown.ps");
  try {
    TPrintJob job(*Printer, file);
    Printer->Canvas().TextOut(100, 100, u"half a page");
    throw std::runtime_error("page failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(Printer->Printing());
  EXPECT_EQ(SpooledJobs(), 0);
  EXPECT_EQ(CountOf(ReadAll(file), "%%Page: "), 0);
  // The printer takes the next job.
  Printer->BeginDoc(file);
  EXPECT_THROW(Printer->BeginDoc(file), EPrinter);
  Printer->EndDoc();
  EXPECT_EQ(CountOf(ReadAll(file), "%%Page: "), 1);
  DeleteFileW(WStr(file));
}

// Wine's StartDocW succeeds even for an output file that cannot be written (the file is written at the end), so
// the failure here is the printer gone from the system after the printer object chose it.
TEST_F(PrinterTest, AJobThatCannotStartRaisesWithTheSystemsText) {
  ASSERT_EQ(Printer->PrinterName(), FromWide(TestPrinter));
  RemoveTestPrinter(TestPrinter);
  try {
    Printer->BeginDoc(TempFile(u"quillbox-gone.ps"));
    Printer->Abort();
    ADD_FAILURE() << "the job started";
  } catch (const EOSError& e) {
    EXPECT_NE(e.Message().find(u"Quillbox Test Printer"), std::u16string::npos);
    EXPECT_NE(e.Message().find(SysErrorMessage(e.ErrorCode())), std::u16string::npos);
  }
  EXPECT_FALSE(Printer->Printing());
  ASSERT_TRUE(InstallTestPrinter(TestPrinter)) << GetLastError();
}

TEST_F(PrinterTest, ThePrintDialogSetsThePrintersDeviceModeAndTheDialogMemoryGoes) {
  auto dialog = MakeForm<TPrintDialog>();
  HGLOBAL given = nullptr;
  DialogRunners.Print = [&](PRINTDLGW& r) {
    EXPECT_NE(r.hDevMode, nullptr);
    EXPECT_NE(r.hDevNames, nullptr);
    auto* names = static_cast<DEVNAMES*>(GlobalLock(r.hDevNames));
    EXPECT_EQ(std::wstring(reinterpret_cast<wchar_t*>(names) + names->wDeviceOffset), TestPrinter);
    GlobalUnlock(r.hDevNames);
    // The dialog hands back a device mode of its own.
    auto* mode = static_cast<DEVMODEW*>(GlobalLock(r.hDevMode));
    const SIZE_T size = GlobalSize(r.hDevMode);
    given = GlobalAlloc(GMEM_MOVEABLE, size);
    auto* copy = static_cast<DEVMODEW*>(GlobalLock(given));
    memcpy(copy, mode, size);
    copy->dmOrientation = DMORIENT_LANDSCAPE;
    copy->dmFields |= DM_ORIENTATION;
    GlobalUnlock(given);
    GlobalUnlock(r.hDevMode);
    GlobalFree(r.hDevMode);
    r.hDevMode = given;
    return TDialogAnswer{true, 0};
  };
  const int portraitWidth = Printer->PageWidth();
  ASSERT_TRUE(dialog->Execute());
  EXPECT_EQ(Printer->DevMode()->dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_GT(Printer->PageWidth(), portraitWidth);
  EXPECT_EQ(GlobalFlags(given), UINT(GMEM_INVALID_HANDLE));
}

TEST_F(PrinterTest, RealPageSetupReturnsTheMarginsInHundredthsOfAMillimetre) {
  auto dialog = MakeForm<TPageSetupDialog>();
  EXPECT_EQ(dialog->Margins().left, 2500);
  TDialogDriver driver(GetCurrentThreadId(), [](HWND ADialog) { PostMessageW(ADialog, WM_COMMAND, IDOK, 0); });
  ASSERT_TRUE(dialog->Execute());
  EXPECT_TRUE(driver.Found());
  const RECT& m = dialog->Margins();
  EXPECT_EQ(m.left, 2500);
  EXPECT_EQ(m.top, 2500);
  EXPECT_EQ(m.right, 2500);
  EXPECT_EQ(m.bottom, 2500);
  EXPECT_GT(dialog->PaperSize().cx, 20000);  // A4 21000, Letter 21590
  EXPECT_EQ(Printer->PrinterName(), FromWide(TestPrinter));
}

}  // namespace
