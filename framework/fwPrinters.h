// The printer object: the installed printers, the current printer with its device mode and names, print jobs
// with a canvas on the printer's context, and the page measures the printing code lays pages out with.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "foundation/cuWin32.h"
#include "framework/fwGraphics.h"

// A printing call was made at the wrong moment, or there is no printer to print on.
class EPrinter : public Exception {
 public:
  using Exception::Exception;
};

class TPrinter : public TObject {
 public:
  TPrinter();
  // An open job is aborted.
  ~TPrinter() override;

  // The names of the installed printers (local ones and connections), asked of the system on every call.
  std::vector<std::u16string> Printers() const;
  int PrinterCount() const { return static_cast<int>(Printers().size()); }

  // The current printer: the system's default until one is chosen. Empty when there is none.
  std::u16string PrinterName();
  std::u16string DriverName();
  std::u16string PortName();
  // Chooses a printer by name with its default device mode; not while a job runs.
  void SetPrinter(const std::u16string& AName);
  // The current printer's device mode (nullptr without a printer). Owned by the printer object.
  const DEVMODEW* DevMode();
  // Takes a dialog's answer: the device mode and the DEVNAMES block are copied (either may be nullptr; a missing
  // device mode means the printer's default one). The handles stay the caller's.
  void SetPrinterFromGlobals(HGLOBAL ADevMode, HGLOBAL ADevNames);
  // Movable global copies for a dialog's record (nullptr without a printer); the dialog's caller frees them.
  HGLOBAL DevModeGlobal();
  HGLOBAL DevNamesGlobal();

  // The job's name in the spooler.
  const std::u16string& Title() const { return FTitle; }
  void SetTitle(std::u16string AValue) { FTitle = std::move(AValue); }

  // Starts a job on the current printer, on its first page. With AOutputFile the job is written to that file
  // (a printer on the FILE: port asks for a name otherwise). Raises EPrinter without a printer or while a job
  // runs, EOSError with the system's text when the job cannot start.
  void BeginDoc(const std::u16string& AOutputFile = {});
  // Ends the page and starts the next one.
  void NewPage();
  // Ends the last page and the job.
  void EndDoc();
  // Throws the job away; nothing when none runs. Never raises.
  void Abort() noexcept;
  bool Printing() const { return FJobDC != nullptr; }
  // The number of the page being printed (1 for the first).
  int PageNumber() const { return FPageNumber; }

  // Drawing on the page; only while a job runs.
  TCanvas& Canvas();
  // The job's context while printing, else an information context of the current printer.
  HDC Handle();

  // The printable area in device pixels (HORZRES, VERTRES).
  int PageWidth() { return Caps(HORZRES); }
  int PageHeight() { return Caps(VERTRES); }
  // The whole sheet and where the printable area begins on it, in device pixels.
  int PhysicalWidth() { return Caps(PHYSICALWIDTH); }
  int PhysicalHeight() { return Caps(PHYSICALHEIGHT); }
  int PhysicalOffsetX() { return Caps(PHYSICALOFFSETX); }
  int PhysicalOffsetY() { return Caps(PHYSICALOFFSETY); }
  int PixelsPerInchX() { return Caps(LOGPIXELSX); }
  int PixelsPerInchY() { return Caps(LOGPIXELSY); }
  // Font heights are vertical measures: the resolution fonts are made for.
  int FontPixelsPerInch() { return Caps(LOGPIXELSY); }

 private:
  // Loads the default printer when none is chosen; false when the system has none.
  bool EnsurePrinter();
  int Caps(int AIndex);
  void FreeInfoDC();
  void EndJob();

  std::u16string FName, FDriver, FPort;
  std::vector<std::byte> FDevMode;
  std::u16string FTitle;
  HDC FInfoDC = nullptr;
  HDC FJobDC = nullptr;
  int FPageNumber = 0;
  TCanvas FCanvas;
};

// Ends the printer's job when it leaves its scope: EndDoc on a normal exit, Abort when an exception leaves the
// scope. The constructor starts the job.
class TPrintJob {
 public:
  explicit TPrintJob(TPrinter& APrinter, const std::u16string& AOutputFile = {});
  // An EndDoc that fails here is reported through the application's exception report.
  ~TPrintJob();
  TPrintJob(const TPrintJob&) = delete;
  TPrintJob& operator=(const TPrintJob&) = delete;

 private:
  TPrinter& FPrinter;
  int FExceptions;
};

// The program's printer object; exists between StartPrinter and EndPrinter.
extern TPrinter* Printer;
void StartPrinter();
void EndPrinter();
