#include "app/diPrint.h"

#include "document/model/diCanvas.h"
#include "document/model/diSheet.h"
#include "document/model/diVisualElement.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwApplication.h"
#include "framework/fwBitmaps.h"
#include "framework/fwGraphics.h"
#include "framework/fwPrinters.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double InchPerMillimetre = 0.0394;
// No marks, selections, focus frames or direct drawing: what is on paper is the document alone.
constexpr TSheetPaintFlags PrintPaintFlags = spNoMarks | spNoSelection | spNoFocusFrames | spPrinting | spNoDirectPaint;

int RoundToInt(double AValue) { return static_cast<int>(std::lround(AValue)); }

void FillWhite(TBitmap& ABitmap) {
  for (int y = 0; y < ABitmap.Height(); ++y) std::memset(ABitmap.ScanLine(y), 0xFF, ABitmap.BytesPerLine());
}

// Scales a context by the zoom with its viewport moved up to the page's band, and resets both at the end.
class TZoomedContext {
 public:
  TZoomedContext(HDC ADC, int AOriginY, double AZoom) : FDC(ADC) {
    SetViewportOrgEx(FDC, 0, AOriginY, nullptr);
    SetGraphicsMode(FDC, GM_ADVANCED);
    GetWorldTransform(FDC, &FSaved);
    const XFORM zoom{static_cast<FLOAT>(AZoom), 0, 0, static_cast<FLOAT>(AZoom), 0, 0};
    ModifyWorldTransform(FDC, &zoom, MWT_RIGHTMULTIPLY);
  }
  ~TZoomedContext() {
    SetWorldTransform(FDC, &FSaved);
    SetGraphicsMode(FDC, GM_COMPATIBLE);
    SetViewportOrgEx(FDC, 0, 0, nullptr);
  }
  TZoomedContext(const TZoomedContext&) = delete;
  TZoomedContext& operator=(const TZoomedContext&) = delete;

 private:
  HDC FDC;
  XFORM FSaved;
};

// Puts the top element back under its own sheet and the focus where it was, whatever way the job ends.
class TRestoreSheet {
 public:
  TRestoreSheet(TSheet& ASheet, TVisualElement* AFocused, std::u16string AFocusData)
      : FSheet(ASheet), FFocused(AFocused), FFocusData(std::move(AFocusData)) {}
  ~TRestoreSheet() {
    CallGuarded([this] {
      if (FMoved) FMoved->SetVisualParent(FSheet.Root());
      if (FFocused) FFocused->SetFocus({}, FFocusData, nullptr, nullptr);
    });
  }
  TRestoreSheet(const TRestoreSheet&) = delete;
  TRestoreSheet& operator=(const TRestoreSheet&) = delete;

  void MoveTop(TSheet& ATo) {
    TVisualElement* top = FSheet.Root()->FirstVisualChild();
    if (!top) return;
    FMoved = top;
    top->SetVisualParent(ATo.Root());
  }

 private:
  TSheet& FSheet;
  TVisualElement* FFocused;
  std::u16string FFocusData;
  TVisualElement* FMoved = nullptr;
};

}  // namespace

TPrinterMeasures ReadPrinterMeasures(TPrinter& APrinter) {
  return {APrinter.PixelsPerInchX(), APrinter.PixelsPerInchY(), APrinter.PhysicalOffsetX(), APrinter.PhysicalOffsetY(),
          APrinter.PageWidth(),      APrinter.PageHeight(),     APrinter.PhysicalWidth(),   APrinter.PhysicalHeight()};
}

int PrintScaleX(const TPrinterMeasures& AMeasures, int AValue) {
  return RoundToInt(AValue / 100.0 * AMeasures.PixelsPerInchX * InchPerMillimetre);
}

int PrintScaleY(const TPrinterMeasures& AMeasures, int AValue) {
  return RoundToInt(AValue / 100.0 * AMeasures.PixelsPerInchY * InchPerMillimetre);
}

RECT PrintPageRect(const TPrinterMeasures& AMeasures, const RECT& AMargins) {
  const int offsetRight = AMeasures.PhysicalWidth - AMeasures.PageWidth - AMeasures.OffsetX;
  const int offsetBottom = AMeasures.PhysicalHeight - AMeasures.PageHeight - AMeasures.OffsetY;
  return {PrintScaleX(AMeasures, AMargins.left) - AMeasures.OffsetX,
          PrintScaleY(AMeasures, AMargins.top) - AMeasures.OffsetY,
          AMeasures.PageWidth - (PrintScaleX(AMeasures, AMargins.right) - offsetRight),
          AMeasures.PageHeight - (PrintScaleY(AMeasures, AMargins.bottom) - offsetBottom)};
}

bool CheckPrinters() {
  if (Printer && Printer->PrinterCount() > 0) return true;
  ShowMessageBox(u"There are no printers", {}, MB_OK | MB_ICONINFORMATION);
  return false;
}

int PrintPageViewHeight(const RECT& APage, double AZoom) {
  return std::max(1, RoundToInt((APage.bottom - APage.top) / AZoom));
}

int PrintPageCount(const RECT& APage, double AZoom, int AWorkspaceHeight) {
  if (APage.bottom <= APage.top) return 1;
  const int height = PrintPageViewHeight(APage, AZoom);
  return std::max(1, (AWorkspaceHeight + height - 1) / height);
}

void PrintSheetBand(HDC ADC, TSheet& ASheet, const RECT& APage, double AZoom, int AIndex) {
  // Page i shows view rows [h·i, h·(i+1)); only those are painted, so a band costs one page whatever the length.
  const int height = PrintPageViewHeight(APage, AZoom);
  const TRect band{0, height * AIndex, ASheet.GetWorkspaceWidth(),
                   std::min(ASheet.GetWorkspaceHeight(), height * (AIndex + 1))};
  TZoomedContext zoomed(ADC, -RoundToInt(double(height) * AIndex * AZoom), AZoom);
  ASheet.PaintTo(ADC, band, PrintPaintFlags);
}

void PrintSheetPages(TPrinter& APrinter, TSheet& ASheet, const RECT& APage, double AZoom,
                     const TPrintOptions& AOptions) {
  const int pages = PrintPageCount(APage, AZoom, ASheet.GetWorkspaceHeight());
  const int width = std::max<int>(1, APage.right - APage.left);
  const int height = std::max<int>(1, APage.bottom - APage.top);
  // Born white: a page the sheet does not cover stays paper-coloured.
  TBitmap page(width, height, TPixelFormat::pf24bit);
  const RECT whole{0, 0, width, height};
  for (int i = 0; i < pages; ++i) {
    if (i > 0) {
      APrinter.NewPage();
      FillWhite(page);
    }
    PrintSheetBand(page.Canvas().Handle(), ASheet, APage, AZoom, i);
    if (AOptions.OnPage) AOptions.OnPage(page, i);
    APrinter.Canvas().CopyRect(APage, page.Canvas(), whole);
  }
}

void PrintDocument(const std::u16string& ATitle, TSheet& ASheet, TPrintSettings& APrint, const RECT& AMargins,
                   const TPrintOptions& AOptions) {
  if (!Printer) throw EPrinter(u"There are no printers");
  TBusyCursor busy;
  const RECT page = PrintPageRect(ReadPrinterMeasures(*Printer), AMargins);

  std::u16string focusData;
  TVisualElement* focused = ASheet.Focused();
  if (focused) focused->GetFocusData(focusData);

  TSheetSettings settings(nullptr);
  settings.NonPrintingCharacters->SetValue(ASheet.Settings()->NonPrintingCharacters->Value());
  settings.IncreaseWorkspaceHeight->SetValue(false);
  settings.Theme->SetValue(APrint.Theme->Value());
  settings.FontSize->SetValue(APrint.FontSize->Value());
  TSheet sheet(&settings);

  // Declared after the temporary sheet and before the job: the job ends first, then the element goes home, then
  // the temporary sheet is freed.
  TRestoreSheet restore(ASheet, focused, std::move(focusData));
  Printer->SetTitle(ATitle);
  TPrintJob job(*Printer, AOptions.OutputFile);
  const double zoom = APrint.Scale->Value() * (double(Printer->FontPixelsPerInch()) / ScreenPixelsPerInch()) / 100;
  sheet.SetViewSize({std::max(1, RoundToInt((page.right - page.left) / zoom)), 10});
  restore.MoveTop(sheet);
  PrintSheetPages(*Printer, sheet, page, zoom, AOptions);
}
