#include "framework/fwPrinters.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>

#include "framework/fwApplication.h"
#include "framework/fwRuntime.h"

TPrinter* Printer = nullptr;

namespace {

// An open printer handle for one scope.
class TPrinterHandle {
 public:
  explicit TPrinterHandle(const std::u16string& AName) {
    if (!OpenPrinterW(const_cast<wchar_t*>(WStr(AName)), &FHandle, nullptr))
      RaiseLastOSError(u"Cannot open the printer \"" + AName + u"\"");
  }
  ~TPrinterHandle() { ClosePrinter(FHandle); }
  TPrinterHandle(const TPrinterHandle&) = delete;
  TPrinterHandle& operator=(const TPrinterHandle&) = delete;
  HANDLE Handle() const { return FHandle; }

 private:
  HANDLE FHandle = nullptr;
};

// A locked global block for one scope.
class TGlobalLock {
 public:
  explicit TGlobalLock(HGLOBAL AHandle) : FHandle(AHandle), FData(AHandle ? GlobalLock(AHandle) : nullptr) {}
  ~TGlobalLock() {
    if (FData) GlobalUnlock(FHandle);
  }
  TGlobalLock(const TGlobalLock&) = delete;
  TGlobalLock& operator=(const TGlobalLock&) = delete;
  void* Data() const { return FData; }
  size_t Size() const { return FData ? GlobalSize(FHandle) : 0; }

 private:
  HGLOBAL FHandle;
  void* FData;
};

HGLOBAL GlobalCopy(const void* AData, size_t ASize) {
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, ASize);
  if (!handle) throw EOutOfMemory(u"Out of memory for a printer record");
  TGlobalLock lock(handle);
  std::memcpy(lock.Data(), AData, ASize);
  return handle;
}

size_t DevModeSize(const DEVMODEW& AMode) { return size_t(AMode.dmSize) + AMode.dmDriverExtra; }

}  // namespace

TPrinter::TPrinter() = default;

TPrinter::~TPrinter() {
  Abort();
  FreeInfoDC();
}

std::vector<std::u16string> TPrinter::Printers() const {
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0, count = 0;
  EnumPrintersW(flags, nullptr, 4, nullptr, 0, &needed, &count);
  std::vector<std::u16string> names;
  if (needed == 0) return names;
  std::vector<std::byte> buffer(needed);
  if (!EnumPrintersW(flags, nullptr, 4, reinterpret_cast<BYTE*>(buffer.data()), needed, &needed, &count))
    RaiseLastOSError(u"Cannot list the printers");
  const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) names.push_back(FromWide(info[i].pPrinterName));
  return names;
}

bool TPrinter::EnsurePrinter() {
  if (!FName.empty()) return true;
  DWORD size = 0;
  GetDefaultPrinterW(nullptr, &size);
  if (size == 0) return false;
  std::u16string name(size, u'\0');
  if (!GetDefaultPrinterW(WBuf(name), &size)) return false;
  name.resize(size > 0 ? size - 1 : 0);
  SetPrinter(name);
  return true;
}

void TPrinter::SetPrinter(const std::u16string& AName) {
  if (Printing()) throw EPrinter(u"The printer cannot be changed while a job is printing");
  TPrinterHandle printer(AName);
  HANDLE h = printer.Handle();
  wchar_t* name = const_cast<wchar_t*>(WStr(AName));
  LONG size = DocumentPropertiesW(nullptr, h, name, nullptr, nullptr, 0);
  if (size <= 0) RaiseLastOSError(u"Cannot read the device mode of the printer \"" + AName + u"\"");
  std::vector<std::byte> mode(static_cast<size_t>(size));
  if (DocumentPropertiesW(nullptr, h, name, reinterpret_cast<DEVMODEW*>(mode.data()), nullptr, DM_OUT_BUFFER) != IDOK)
    RaiseLastOSError(u"Cannot read the device mode of the printer \"" + AName + u"\"");
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<std::byte> info(needed ? needed : 1);
  if (!GetPrinterW(h, 2, reinterpret_cast<BYTE*>(info.data()), needed, &needed))
    RaiseLastOSError(u"Cannot read the printer \"" + AName + u"\"");
  const auto* details = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
  FreeInfoDC();
  FName = AName;
  FDriver = FromWide(details->pDriverName);
  FPort = FromWide(details->pPortName);
  FDevMode = std::move(mode);
}

std::u16string TPrinter::PrinterName() {
  EnsurePrinter();
  return FName;
}

std::u16string TPrinter::DriverName() {
  EnsurePrinter();
  return FDriver;
}

std::u16string TPrinter::PortName() {
  EnsurePrinter();
  return FPort;
}

const DEVMODEW* TPrinter::DevMode() {
  if (!EnsurePrinter()) return nullptr;
  return reinterpret_cast<const DEVMODEW*>(FDevMode.data());
}

void TPrinter::SetPrinterFromGlobals(HGLOBAL ADevMode, HGLOBAL ADevNames) {
  if (Printing()) throw EPrinter(u"The printer cannot be changed while a job is printing");
  TGlobalLock names(ADevNames);
  if (names.Data()) {
    const auto* dn = static_cast<const DEVNAMES*>(names.Data());
    const wchar_t* base = static_cast<const wchar_t*>(names.Data());
    std::u16string device = FromWide(base + dn->wDeviceOffset);
    if (!device.empty()) SetPrinter(device);
  }
  TGlobalLock mode(ADevMode);
  if (mode.Data() && mode.Size() >= offsetof(DEVMODEW, dmFields)) {
    const auto* dm = static_cast<const DEVMODEW*>(mode.Data());
    size_t size = std::min(DevModeSize(*dm), mode.Size());
    const auto* bytes = static_cast<const std::byte*>(mode.Data());
    FDevMode.assign(bytes, bytes + size);
    FreeInfoDC();
  }
}

HGLOBAL TPrinter::DevModeGlobal() {
  if (!EnsurePrinter()) return nullptr;
  return GlobalCopy(FDevMode.data(), FDevMode.size());
}

HGLOBAL TPrinter::DevNamesGlobal() {
  if (!EnsurePrinter()) return nullptr;
  // DEVNAMES counts its offsets in characters from the start of the block.
  const size_t header = (sizeof(DEVNAMES) + sizeof(wchar_t) - 1) / sizeof(wchar_t);
  std::u16string block(header, u'\0');
  DEVNAMES dn{};
  dn.wDriverOffset = static_cast<WORD>(block.size());
  block += FDriver + u'\0';
  dn.wDeviceOffset = static_cast<WORD>(block.size());
  block += FName + u'\0';
  dn.wOutputOffset = static_cast<WORD>(block.size());
  block += FPort + u'\0';
  std::memcpy(block.data(), &dn, sizeof(dn));
  return GlobalCopy(block.data(), block.size() * sizeof(char16_t));
}

HDC TPrinter::Handle() {
  if (FJobDC) return FJobDC;
  if (!FInfoDC) {
    if (!EnsurePrinter()) throw EPrinter(u"There is no printer installed");
    FInfoDC = CreateICW(nullptr, WStr(FName), nullptr, reinterpret_cast<const DEVMODEW*>(FDevMode.data()));
    if (!FInfoDC) RaiseLastOSError(u"Cannot open the printer \"" + FName + u"\"");
  }
  return FInfoDC;
}

int TPrinter::Caps(int AIndex) { return GetDeviceCaps(Handle(), AIndex); }

void TPrinter::FreeInfoDC() {
  if (FInfoDC) DeleteDC(FInfoDC);
  FInfoDC = nullptr;
}

TCanvas& TPrinter::Canvas() {
  if (!Printing()) throw EPrinter(u"The printer's canvas exists only while a job is printing");
  return FCanvas;
}

void TPrinter::BeginDoc(const std::u16string& AOutputFile) {
  if (Printing()) throw EPrinter(u"A print job is already running");
  if (!EnsurePrinter()) throw EPrinter(u"There is no printer installed");
  HDC dc = CreateDCW(nullptr, WStr(FName), nullptr, reinterpret_cast<const DEVMODEW*>(FDevMode.data()));
  if (!dc) RaiseLastOSError(u"Cannot open the printer \"" + FName + u"\"");
  DOCINFOW info{};
  info.cbSize = sizeof(info);
  info.lpszDocName = WStr(FTitle);
  info.lpszOutput = WStrOrNull(AOutputFile);
  if (StartDocW(dc, &info) <= 0) {
    const DWORD error = GetLastError();
    DeleteDC(dc);
    throw EOSError(u"Cannot start the print job on \"" + FName + u"\". " + SysErrorMessage(error), error);
  }
  if (StartPage(dc) <= 0) {
    const DWORD error = GetLastError();
    AbortDoc(dc);
    DeleteDC(dc);
    throw EOSError(u"Cannot start a page on \"" + FName + u"\". " + SysErrorMessage(error), error);
  }
  FJobDC = dc;
  FPageNumber = 1;
  FCanvas.SetHandle(dc);
}

void TPrinter::NewPage() {
  if (!Printing()) throw EPrinter(u"No print job is running");
  // The context's objects go back before the page ends; some drivers reset the context with each page.
  FCanvas.SetHandle(nullptr);
  if (EndPage(FJobDC) <= 0 || StartPage(FJobDC) <= 0) RaiseLastOSError(u"Cannot start a new page");
  FCanvas.SetHandle(FJobDC);
  ++FPageNumber;
}

void TPrinter::EndDoc() {
  if (!Printing()) throw EPrinter(u"No print job is running");
  FCanvas.SetHandle(nullptr);
  const bool ok = EndPage(FJobDC) > 0 && ::EndDoc(FJobDC) > 0;
  const DWORD error = GetLastError();
  if (!ok) AbortDoc(FJobDC);
  EndJob();
  if (!ok) throw EOSError(u"Cannot end the print job. " + SysErrorMessage(error), error);
}

void TPrinter::Abort() noexcept {
  if (!Printing()) return;
  FCanvas.SetHandle(nullptr);
  AbortDoc(FJobDC);
  EndJob();
}

void TPrinter::EndJob() {
  DeleteDC(FJobDC);
  FJobDC = nullptr;
  FPageNumber = 0;
}

// ---------------------------------------------------------------------------------------------------------------

TPrintJob::TPrintJob(TPrinter& APrinter, const std::u16string& AOutputFile)
    : FPrinter(APrinter), FExceptions(std::uncaught_exceptions()) {
  FPrinter.BeginDoc(AOutputFile);
}

TPrintJob::~TPrintJob() {
  if (!FPrinter.Printing()) return;
  if (std::uncaught_exceptions() > FExceptions)
    FPrinter.Abort();
  else
    CallGuarded([this] { FPrinter.EndDoc(); });
}

// ---------------------------------------------------------------------------------------------------------------

void StartPrinter() { Printer = new TPrinter(); }

void EndPrinter() {
  delete Printer;
  Printer = nullptr;
}
