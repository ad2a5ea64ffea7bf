// Printing the document sheet: the top element moves for the time of the job into a sheet of its own, laid out
// for the printable width with the "Print" settings, and is painted page by page, one band of the workspace at a
// time, into a white page bitmap that is stretched onto the printer's page.
#pragma once

#include "foundation/cuWin32.h"

#include <functional>
#include <string>

class TBitmap;
class TPrinter;
class TPrintSettings;
class TSheet;

// The printer's measures a page is laid out with, in device pixels.
struct TPrinterMeasures {
  int PixelsPerInchX = 0;
  int PixelsPerInchY = 0;
  int OffsetX = 0;  // where the printable area begins on the sheet
  int OffsetY = 0;
  int PageWidth = 0;  // the printable area
  int PageHeight = 0;
  int PhysicalWidth = 0;  // the whole sheet
  int PhysicalHeight = 0;
};
TPrinterMeasures ReadPrinterMeasures(TPrinter& APrinter);

// Hundredths of a millimetre as device pixels.
int PrintScaleX(const TPrinterMeasures& AMeasures, int AValue);
int PrintScaleY(const TPrinterMeasures& AMeasures, int AValue);
// The area inside AMargins (hundredths of a millimetre from each edge of the sheet), in the coordinates of the
// printable area. The right and bottom offsets are what the sheet has beyond the printable area there.
RECT PrintPageRect(const TPrinterMeasures& AMeasures, const RECT& AMargins);

// Without a printer: false after the message "There are no printers".
bool CheckPrinters();

struct TPrintOptions {
  // The job is written to this file when given (a FILE: port would ask for a name otherwise).
  std::u16string OutputFile;
  // Sees each page's bitmap just before it is stretched onto the page.
  std::function<void(const TBitmap& APage, int AIndex)> OnPage;
};

// Prints ASheet's document on the global Printer with the settings of APrint (theme, font size, scale) inside
// AMargins (hundredths of a millimetre). Focus and top element come back also when printing fails; a failed job
// is aborted and the exception goes on to the caller.
void PrintDocument(const std::u16string& ATitle, TSheet& ASheet, TPrintSettings& APrint, const RECT& AMargins,
                   const TPrintOptions& AOptions = {});

// Pages of a sheet laid out for printing, on the running job of APrinter inside APage, at AZoom printer pixels
// per view pixel.
void PrintSheetPages(TPrinter& APrinter, TSheet& ASheet, const RECT& APage, double AZoom,
                     const TPrintOptions& AOptions = {});
// Paints the slice of ASheet's workspace that page AIndex shows onto ADC, a page-sized bitmap's context.
void PrintSheetBand(HDC ADC, TSheet& ASheet, const RECT& APage, double AZoom, int AIndex);
// The page height in view pixels (at least 1) and the number of pages (at least 1).
int PrintPageViewHeight(const RECT& APage, double AZoom);
int PrintPageCount(const RECT& APage, double AZoom, int AWorkspaceHeight);
