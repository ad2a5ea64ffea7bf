#include "tests/framework/PrinterTestSupport.h"

#include <string>

#include "foundation/cuWin32.h"

const wchar_t* const PostScriptDriver = L"Wine PostScript Driver";

namespace {

// The generic PPD that winspool.drv carries, written where the driver files go; empty when it cannot be.
std::wstring WriteGenericPpd() {
  HMODULE spool = LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!spool) return {};
  std::wstring path;
  HRSRC resource = FindResourceW(spool, MAKEINTRESOURCEW(1), L"PPDFILE");
  wchar_t folder[MAX_PATH];
  DWORD needed = 0;
  if (resource &&
      GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof(folder), &needed)) {
    const void* data = LockResource(LoadResource(spool, resource));
    const DWORD size = SizeofResource(spool, resource);
    path = std::wstring(folder) + L"\\quillbox-generic.ppd";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, data, size, &written, nullptr)) path.clear();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  FreeLibrary(spool);
  return path;
}

}  // namespace

bool InstallTestPrinter(const wchar_t* APrinter) {
  std::wstring ppd = WriteGenericPpd();
  if (ppd.empty()) return false;
  DRIVER_INFO_3W driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<wchar_t*>(PostScriptDriver);
  driver.pDriverPath = const_cast<wchar_t*>(L"wineps.drv");
  driver.pConfigFile = const_cast<wchar_t*>(L"wineps.drv");
  driver.pDataFile = ppd.data();
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES)) return false;
  PRINTER_INFO_2W info{};
  info.pPrinterName = const_cast<wchar_t*>(APrinter);
  info.pPortName = const_cast<wchar_t*>(L"FILE:");
  info.pDriverName = const_cast<wchar_t*>(PostScriptDriver);
  info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
  info.pDatatype = const_cast<wchar_t*>(L"RAW");
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (!printer) return false;
  ClosePrinter(printer);
  return SetDefaultPrinterW(APrinter);
}

void RemoveTestPrinter(const wchar_t* APrinter) {
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(APrinter), &printer, &access)) return;
  DeletePrinter(printer);
  ClosePrinter(printer);
}
