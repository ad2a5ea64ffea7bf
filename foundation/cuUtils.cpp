#include "foundation/cuUtils.h"

#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <gdiplus.h>

#include <atomic>
#include <exception>
#include <map>
#endif

namespace {

bool IsPathDelimiter(char16_t C) { return C == u'\\' || C == u'/'; }

// Index of the dot that starts the extension of the name part, or npos.
size_t ExtensionDot(std::u16string_view AName) {
  for (size_t i = AName.size(); i > 0; --i) {
    const char16_t c = AName[i - 1];
    if (c == u'.') return i - 1;
    if (IsPathDelimiter(c) || c == u':') break;
  }
  return std::u16string_view::npos;
}

std::u16string WithTrailingPathDelimiter(std::u16string APath) {
  if (!HasTrailingPathDelimiter(APath)) {
#ifdef _WIN32
    APath += u'\\';
#else
    APath += u'/';
#endif
  }
  return APath;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// File names

std::u16string ExtractFileExtNoDot(std::u16string_view AName) {
  const size_t dot = ExtensionDot(AName);
  return dot == std::u16string_view::npos ? std::u16string() : std::u16string(AName.substr(dot + 1));
}

std::u16string ExtractFileTitle(std::u16string_view AName) {
  std::u16string name = ExtractFileName(AName);
  const size_t dot = ExtensionDot(name);
  if (dot != std::u16string_view::npos) name.resize(dot);
  return name;
}

bool HasTrailingPathDelimiter(std::u16string_view APath) { return !APath.empty() && IsPathDelimiter(APath.back()); }

std::u16string CreateUniqueFile(std::u16string_view AMask, std::u16string_view AExt,
                                std::unique_ptr<TFileStream>& AStream, std::u16string_view AFolder) {
  const std::u16string folder = AFolder.empty() ? GetTempFolder() : WithTrailingPathDelimiter(std::u16string(AFolder));
  return CreateNumberedFile(folder, AMask, AExt, AStream);
}

bool SplitNameValue(std::u16string_view AText, std::u16string& AName, std::u16string& AValue) {
  const size_t eq = AText.find(u'=');
  if (eq == std::u16string_view::npos) {
    AName = std::u16string(AText);
    AValue.clear();
    return false;
  }
  AName = std::u16string(AText.substr(0, eq));
  std::u16string_view value = AText.substr(eq + 1);
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') value = value.substr(1, value.size() - 2);
  AValue = std::u16string(value);
  return true;
}

std::u16string ProgramFromCommand(std::u16string_view ACommand) {
  if (ACommand.size() >= 2 && ACommand[0] == u'"') {
    const size_t close = ACommand.find(u'"', 1);
    return std::u16string(ACommand.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
  }
  size_t start = 0;
  while (start < ACommand.size() && ACommand[start] <= u' ') ++start;
  size_t end = start;
  while (end < ACommand.size() && ACommand[end] > u' ') ++end;
  return std::u16string(ACommand.substr(start, end - start));
}

bool IsBrowsableUrl(std::u16string_view AURL) {
  const bool scheme = (AURL.size() > 7 && SameTextAscii(AURL.substr(0, 7), u"http://")) ||
                      (AURL.size() > 8 && SameTextAscii(AURL.substr(0, 8), u"https://"));
  if (!scheme) return false;
  return std::none_of(AURL.begin(), AURL.end(), [](char16_t c) { return c < u' ' || c == u'"' || c == 0x7F; });
}

std::u16string MessageBoxText(std::u16string_view AText) {
  std::u16string text(AText);
  if (!text.empty()) {
    const char16_t last = text.back();
    if (last != u'.' && last != u'?' && last > u'!') text += u'.';
  }
  return text;
}

void FreeAndClearStrings(TStringList& AStrings) {
  for (int i = AStrings.Count() - 1; i >= 0; --i) {
    delete AStrings.Objects(i);
    AStrings.SetObject(i, nullptr);
  }
  AStrings.Clear();
}

// ---------------------------------------------------------------------------------------------------------------
// Stream packing

namespace {

constexpr size_t PackBufferSize = 64 * 1024;

struct TDeflater {
  z_stream Z{};
  TDeflater() {
    if (deflateInit2(&Z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw EOutOfMemory(u"Cannot start packing");
  }
  ~TDeflater() { deflateEnd(&Z); }
};

struct TInflater {
  z_stream Z{};
  TInflater() {
    if (inflateInit2(&Z, 15) != Z_OK) throw EOutOfMemory(u"Cannot start unpacking");
  }
  ~TInflater() { inflateEnd(&Z); }
};

}  // namespace

void CompressStream(TStream& ASource, TStream& ADest) {
  const int64_t size = ASource.Size();
  if (size <= 0) return;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&ADest)) memory->SetCapacity(static_cast<size_t>(size));
  ASource.SetPosition(0);
  TDeflater deflater;
  z_stream& z = deflater.Z;
  std::vector<uint8_t> in(PackBufferSize), out(PackBufferSize);
  int flush = Z_NO_FLUSH;
  do {
    if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
      const size_t count = ASource.Read(in.data(), in.size());
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(count);
      if (count == 0) flush = Z_FINISH;
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, flush);
    if (result == Z_STREAM_ERROR) throw EStreamError(u"Packing failed");
    ADest.WriteBuffer(out.data(), out.size() - z.avail_out);
    if (result == Z_STREAM_END) break;
  } while (true);
  ADest.SetPosition(0);
}

void DecompressStream(TStream& ASource, TStream& ADest, int64_t ALimit) {
  if (ASource.Size() <= 0) return;
  ASource.SetPosition(0);
  TInflater inflater;
  z_stream& z = inflater.Z;
  std::vector<uint8_t> in(PackBufferSize), out(PackBufferSize);
  bool sourceEnded = false;
  int64_t total = 0;
  for (;;) {
    if (z.avail_in == 0 && !sourceEnded) {
      const size_t count = ASource.Read(in.data(), in.size());
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(count);
      sourceEnded = count == 0;
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_NO_FLUSH);
    const size_t produced = out.size() - z.avail_out;
    total += static_cast<int64_t>(produced);
    if (total > ALimit)
      throw EDecompressionError(Format(u"The packed data unpacks to more than %d bytes", {ALimit}));
    ADest.WriteBuffer(out.data(), produced);
    if (result == Z_STREAM_END) break;
    if (result == Z_OK) continue;
    // No progress was possible: more input is needed, and there is none.
    if (result == Z_BUF_ERROR) {
      if (sourceEnded) throw EDecompressionError(u"The packed data is cut short");
      continue;
    }
    throw EDecompressionError(u"The packed data is damaged");
  }
  ADest.SetPosition(0);
}

#ifndef _WIN32

std::u16string GetTempFolder() {
  return WithTrailingPathDelimiter(std::filesystem::temp_directory_path().u16string());
}

#else

// ---------------------------------------------------------------------------------------------------------------
// Folders and files

std::u16string GetTempFolder() {
  std::u16string buffer(MAX_PATH + 1, u'\0');
  const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), WBuf(buffer));
  buffer.resize(length <= buffer.size() ? length : 0);
  return WithTrailingPathDelimiter(std::move(buffer));
}

std::u16string GetApplicationFolder() {
  std::u16string buffer(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, WBuf(buffer), static_cast<DWORD>(buffer.size()));
    if (length == 0) throw EOSError(u"Cannot find the program file", GetLastError());
    if (length < buffer.size()) {
      buffer.resize(length);
      return ExtractFilePath(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

void ListFiles(std::u16string_view AFolder, std::u16string_view AMask, TStringList& AList, bool AWithExt,
               bool AWithFolder) {
  const std::u16string folder = AFolder.empty() ? std::u16string() : WithTrailingPathDelimiter(std::u16string(AFolder));
  const std::u16string pattern = folder + std::u16string(AMask);
  TUpdateGuard<TStringList> update(AList);
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(WStr(pattern), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return;
  struct TFindCloser {
    HANDLE Handle;
    ~TFindCloser() { FindClose(Handle); }
  } closer{find};
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::u16string name = FromWide(data.cFileName);
    if (!AWithExt) {
      const size_t dot = ExtensionDot(name);
      if (dot != std::u16string::npos) name.resize(dot);
    }
    AList.Add(AWithFolder ? folder + name : name);
  } while (FindNextFileW(find, &data));
}

TDateTime GetFileDateTime(const std::u16string& AName) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WStr(AName), GetFileExInfoStandard, &data)) return 0;
  SYSTEMTIME utc, local;
  FILETIME localTime;
  if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
      !SystemTimeToFileTime(&local, &localTime))
    return 0;
  const uint64_t ticks = (uint64_t(localTime.dwHighDateTime) << 32) | localTime.dwLowDateTime;
  // File times count 100 ns from 1601-01-01, which lies 109205 days before 1899-12-30.
  return static_cast<double>(ticks) / 864000000000.0 - 109205.0;
}

// ---------------------------------------------------------------------------------------------------------------
// Geometry and clipping

bool RectsOverlap(const RECT& A, const RECT& B) {
  return !(B.left >= A.right || B.right < A.left || B.top >= A.bottom || B.bottom < A.top);
}

SIZE GetRectSize(const RECT& ARect) { return SIZE{ARect.right - ARect.left, ARect.bottom - ARect.top}; }

void SaveClipRegion(HDC ADC, HRGN& ARegion, bool& AHadRegion) {
  ARegion = CreateRectRgn(0, 0, 0, 0);
  AHadRegion = ARegion && GetClipRgn(ADC, ARegion) == 1;
}

void RestoreClipRegion(HDC ADC, HRGN ARegion, bool AHadRegion) {
  SelectClipRgn(ADC, AHadRegion ? ARegion : nullptr);
  if (ARegion) DeleteObject(ARegion);
}

// ---------------------------------------------------------------------------------------------------------------
// Errors and shell

namespace {

[[noreturn]] void RaiseAccessDenied(const std::u16string& AName) {
  throw EFileError(FormatLocStrOr(2068, u"Access denied: %1", {AName}), ERROR_ACCESS_DENIED);
}

}  // namespace

void RaisePathNotFound(const std::u16string& AName) {
  throw EFileError(FormatLocStrOr(2067, u"Path not found: %1", {AName}), ERROR_PATH_NOT_FOUND);
}

bool ShellExecuteFile(const std::u16string& AFileName, const std::u16string& AParams, const std::u16string& AVerb,
                      bool ARaise, int AShowCmd) {
  intptr_t result;
  {
    TBusyCursor busy;
    result = reinterpret_cast<intptr_t>(
        ShellExecuteW(nullptr, WStrOrNull(AVerb), WStr(AFileName), WStrOrNull(AParams), nullptr, AShowCmd));
  }
  if (result == SE_ERR_NOASSOC || result == SE_ERR_ASSOCINCOMPLETE) result = ShellOpenWithDialog(AFileName, AShowCmd);
  if (result > 32) return true;
  if (!ARaise) return false;
  switch (result) {
    case ERROR_PATH_NOT_FOUND:
      RaisePathNotFound(AFileName);
    case ERROR_FILE_NOT_FOUND:
      if (HasTrailingPathDelimiter(AFileName)) RaisePathNotFound(AFileName);
      RaiseFileNotFound(AFileName);
    case ERROR_ACCESS_DENIED:
      RaiseAccessDenied(AFileName);
    default:
      throw EOSError(Format(u"ShellExecute error (%d) to launch \"%s\"", {result, AFileName}),
                     static_cast<uint32_t>(result));
  }
}

intptr_t ShellOpenWithDialog(const std::u16string& AFileName, int AShowCmd) {
  // The dialog takes the rest of its command line as the one file name, so nothing else may follow it.
  const std::u16string params = u"shell32,OpenAs_RunDLL " + AFileName;
  TBusyCursor busy;
  return reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, nullptr, L"rundll32.exe", WStr(params), nullptr, AShowCmd));
}

std::u16string GetDefaultBrowser() {
  DWORD size = 0;
  const wchar_t* key = L"http\\shell\\open\\command";
  if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size < sizeof(wchar_t))
    return {};
  std::u16string command(size / sizeof(wchar_t), u'\0');
  if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, WBuf(command),
                   &size) != ERROR_SUCCESS)
    return {};
  command.resize(std::min<size_t>(command.size(), size / sizeof(wchar_t)));
  while (!command.empty() && command.back() == u'\0') command.pop_back();
  return ProgramFromCommand(command);
}

bool OpenInDefaultBrowser(const std::u16string& AURL, int AShowCmd) {
  if (!IsBrowsableUrl(AURL)) return false;
  const std::u16string browser = GetDefaultBrowser();
  if (!browser.empty() && ShellExecuteFile(browser, u"\"" + AURL + u"\"", {}, false, AShowCmd)) return true;
  TBusyCursor busy;
  return reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, L"open", WStr(AURL), nullptr, nullptr, AShowCmd)) > 32;
}

int ApplicationTitleId = 0;

namespace {
IUserInterfaceHost* UserInterfaceHost = nullptr;
}  // namespace

int ShowMessageBox(std::u16string AText, std::u16string ACaption, UINT AFlags) {
  if (ACaption.empty() && ApplicationTitleId != 0 && Localization) ACaption = Localization->GetLocStr(ApplicationTitleId);
  HWND owner = GetActiveWindow();
  if (owner && (GetWindowLongPtrW(owner, GWL_EXSTYLE) & WS_EX_TOPMOST)) AFlags |= MB_TOPMOST;
  const std::u16string text = MessageBoxText(AText);
  if (UserInterfaceHost) return UserInterfaceHost->MessageBox(text, ACaption, AFlags);
  return MessageBoxW(owner, WStr(text), WStr(ACaption), AFlags);
}

bool IsWindowsVistaOrLater() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  return GetVersionExW(&info) && info.dwMajorVersion >= 6;
}

// ---------------------------------------------------------------------------------------------------------------
// Windows

void SetFormClientSize(HWND AWindow, int AWidth, int AHeight) {
  RECT outer, client;
  if (!GetWindowRect(AWindow, &outer) || !GetClientRect(AWindow, &client)) return;
  const int extraWidth = (outer.right - outer.left) - (client.right - client.left);
  const int extraHeight = (outer.bottom - outer.top) - (client.bottom - client.top);
  SetWindowPos(AWindow, nullptr, 0, 0, AWidth + extraWidth, AHeight + extraHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------------------------------------------
// Image strips

namespace {

// Pixels as 32-bit ARGB words, top row first, alpha not premultiplied.
struct TPixels {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Data;

  bool HasPartialAlpha() const {
    return std::any_of(Data.begin(), Data.end(), [](uint32_t p) { return (p >> 24) != 0xFF; });
  }
};

struct TScreenDC {
  HDC DC = GetDC(nullptr);
  ~TScreenDC() { ReleaseDC(nullptr, DC); }
};

struct TGdiObject {
  HGDIOBJ Handle;
  ~TGdiObject() {
    if (Handle) DeleteObject(Handle);
  }
};

void AddTiles(const TPixels& APixels, bool AAlpha, HIMAGELIST AImageList) {
  int tileWidth = 0, tileHeight = 0;
  if (!ImageList_GetIconSize(AImageList, &tileWidth, &tileHeight) || tileWidth <= 0 || tileHeight <= 0)
    throw EProgrammingError(u"The image list has no image size");
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = tileWidth;
  info.bmiHeader.biHeight = -tileHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  TScreenDC screen;
  for (int row = 0; row < APixels.Height / tileHeight; ++row)
    for (int column = 0; column < APixels.Width / tileWidth; ++column) {
      void* bits = nullptr;
      TGdiObject tile{CreateDIBSection(screen.DC, &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
      if (!tile.Handle) throw EOSError(u"Cannot create an image tile", GetLastError());
      auto* target = static_cast<uint32_t*>(bits);
      for (int y = 0; y < tileHeight; ++y) {
        const uint32_t* source = &APixels.Data[size_t(row * tileHeight + y) * APixels.Width + size_t(column) * tileWidth];
        for (int x = 0; x < tileWidth; ++x) target[y * tileWidth + x] = AAlpha ? source[x] : source[x] & 0x00FFFFFF;
      }
      int added;
      if (AAlpha) {
        added = ImageList_Add(AImageList, static_cast<HBITMAP>(tile.Handle), nullptr);
      } else {
        const uint32_t corner = target[(tileHeight - 1) * tileWidth];
        const COLORREF transparent = RGB((corner >> 16) & 0xFF, (corner >> 8) & 0xFF, corner & 0xFF);
        added = ImageList_AddMasked(AImageList, static_cast<HBITMAP>(tile.Handle), transparent);
      }
      if (added < 0) throw EOSError(u"Cannot add an image to the image list", GetLastError());
    }
}

// GDI+ for the one call that needs it; nested start-ups are allowed.
class TGdiPlusSession {
public:
  TGdiPlusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&FToken, &input, nullptr) != Gdiplus::Ok) throw EOSError(u"Cannot start GDI+", 0);
  }
  ~TGdiPlusSession() { Gdiplus::GdiplusShutdown(FToken); }
  TGdiPlusSession(const TGdiPlusSession&) = delete;
  TGdiPlusSession& operator=(const TGdiPlusSession&) = delete;

private:
  ULONG_PTR FToken = 0;
};

TPixels DecodePng(TStream& APng) {
  std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(APng.Size(), 0)));
  APng.SetPosition(0);
  APng.ReadBuffer(bytes.data(), bytes.size());
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() ? bytes.size() : 1);
  if (!memory) throw EOutOfMemory(u"Cannot hold the image");
  std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
    GlobalFree(memory);
    throw EOutOfMemory(u"Cannot hold the image");
  }
  struct TStreamRelease {
    IStream* Stream;
    ~TStreamRelease() { Stream->Release(); }
  } release{stream};

  TGdiPlusSession session;
  namespace flat = Gdiplus::DllExports;
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (flat::GdipCreateBitmapFromStream(stream, &bitmap) != Gdiplus::Ok || !bitmap)
    throw EStreamError(u"The image strip cannot be decoded");
  struct TBitmapDispose {
    Gdiplus::GpBitmap* Bitmap;
    ~TBitmapDispose() { Gdiplus::DllExports::GdipDisposeImage(Bitmap); }
  } dispose{bitmap};
  UINT width = 0, height = 0;
  flat::GdipGetImageWidth(bitmap, &width);
  flat::GdipGetImageHeight(bitmap, &height);
  TPixels pixels;
  pixels.Width = static_cast<int>(width);
  pixels.Height = static_cast<int>(height);
  pixels.Data.resize(size_t(width) * height);
  if (pixels.Data.empty()) return pixels;
  Gdiplus::BitmapData data{};
  data.Width = width;
  data.Height = height;
  data.Stride = static_cast<INT>(width * 4);
  data.PixelFormat = PixelFormat32bppARGB;
  data.Scan0 = pixels.Data.data();
  Gdiplus::GpRect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  if (flat::GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                               PixelFormat32bppARGB, &data) != Gdiplus::Ok)
    throw EStreamError(u"The image strip cannot be decoded");
  flat::GdipBitmapUnlockBits(bitmap, &data);
  return pixels;
}

}  // namespace

void AddImageStrip(HBITMAP ABitmap, HIMAGELIST AImageList) {
  BITMAP header{};
  if (!GetObjectW(ABitmap, sizeof(header), &header)) throw EProgrammingError(u"Not a bitmap");
  TPixels pixels;
  pixels.Width = header.bmWidth;
  pixels.Height = header.bmHeight;
  pixels.Data.resize(size_t(pixels.Width) * pixels.Height);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = pixels.Width;
  info.bmiHeader.biHeight = -pixels.Height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  TScreenDC screen;
  if (!pixels.Data.empty() &&
      GetDIBits(screen.DC, ABitmap, 0, pixels.Height, pixels.Data.data(), &info, DIB_RGB_COLORS) != pixels.Height)
    throw EOSError(u"Cannot read the image strip", GetLastError());
  // Only a 32-bit bitmap carries alpha; one whose alpha is all zero carries none.
  bool alpha = header.bmBitsPixel == 32 &&
               std::any_of(pixels.Data.begin(), pixels.Data.end(), [](uint32_t p) { return (p >> 24) != 0; }) &&
               pixels.HasPartialAlpha();
  AddTiles(pixels, alpha, AImageList);
}

void AddImageStripPng(TStream& APng, HIMAGELIST AImageList) {
  const TPixels pixels = DecodePng(APng);
  AddTiles(pixels, pixels.HasPartialAlpha(), AImageList);
}

// ---------------------------------------------------------------------------------------------------------------
// Cursors

namespace {

struct TCursorState {
  std::atomic<int> BusyCount{0};
  TCursor Screen = crDefault;
  TCursor Restore = crDefault;
  std::map<TCursor, HCURSOR> Registered;
};

TCursorState& Cursors() {
  static TCursorState state;
  return state;
}

void ShowScreenCursor(TCursor ACursor) {
  TCursorState& state = Cursors();
  const bool wasDefault = state.Screen == crDefault;
  state.Screen = ACursor;
  if (UserInterfaceHost) {
    UserInterfaceHost->ShowScreenCursor(ACursor);
  } else if (ACursor != crDefault) {
    SetCursor(GetCursorHandle(ACursor));
  } else if (!wasDefault) {
    // Moving the mouse onto its own place makes the window under it set its own cursor again.
    POINT point;
    if (GetCursorPos(&point)) SetCursorPos(point.x, point.y);
  }
}

}  // namespace

TCursor GetScreenCursor() { return Cursors().Screen; }

void SetScreenCursor(TCursor ACursor) {
  TCursorState& state = Cursors();
  if (state.BusyCount > 0) state.Restore = ACursor;
  else ShowScreenCursor(ACursor);
}

HCURSOR GetCursorHandle(TCursor ACursor) {
  if (UserInterfaceHost) return UserInterfaceHost->CursorHandle(ACursor);
  TCursorState& state = Cursors();
  const auto found = state.Registered.find(ACursor);
  if (found != state.Registered.end()) return found->second;
  LPCWSTR id;
  switch (ACursor) {
    case crCross: id = IDC_CROSS; break;
    case crIBeam: id = IDC_IBEAM; break;
    case crSizeNESW: id = IDC_SIZENESW; break;
    case crSizeNS: id = IDC_SIZENS; break;
    case crSizeNWSE: id = IDC_SIZENWSE; break;
    case crSizeWE: id = IDC_SIZEWE; break;
    case crHourGlass: id = IDC_WAIT; break;
    case crNo: id = IDC_NO; break;
    case crNoDrop: id = IDC_NO; break;
    case crNone: return nullptr;
    case crHandPoint: id = IDC_HAND; break;
    case crSizeAll: id = IDC_SIZEALL; break;
    default: id = IDC_ARROW; break;
  }
  return LoadCursorW(nullptr, id);
}

void LoadResourceCursor(TCursor AId, LPCWSTR AName) {
  HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), AName);
  if (!cursor) throw EOSError(Format(u"Cannot load the cursor %d", {AId}), GetLastError());
  Cursors().Registered[AId] = cursor;
  if (UserInterfaceHost) UserInterfaceHost->RegisterCursor(AId, cursor);
}

void SetUserInterfaceHost(IUserInterfaceHost* AHost) {
  UserInterfaceHost = AHost;
  if (AHost)
    for (const auto& [id, cursor] : Cursors().Registered) AHost->RegisterCursor(id, cursor);
}

void BeginBusyCursor() {
  TCursorState& state = Cursors();
  if (++state.BusyCount == 1) {
    state.Restore = state.Screen;
    ShowScreenCursor(crHourGlass);
  }
}

void EndBusyCursor() {
  TCursorState& state = Cursors();
  if (state.BusyCount <= 0) throw EProgrammingError(u"EndBusyCursor without BeginBusyCursor");
  if (--state.BusyCount == 0) ShowScreenCursor(state.Restore);
}

bool IsBusyCursor() { return Cursors().BusyCount > 0; }

// ---------------------------------------------------------------------------------------------------------------
// Languages

namespace {

struct TLocaleCollector {
  std::vector<TInstalledLanguage> List;
  std::exception_ptr Error;
};

BOOL CALLBACK CollectLocale(LPWSTR AName, DWORD, LPARAM AContext) {
  auto* collector = reinterpret_cast<TLocaleCollector*>(AContext);
  try {
    wchar_t abbreviation[16];
    if (!GetLocaleInfoEx(AName, LOCALE_SABBREVLANGNAME, abbreviation, 16)) return TRUE;
    const LCID locale = LocaleNameToLCID(AName, 0);
    if (locale != 0) collector->List.push_back(TInstalledLanguage{LANGIDFROMLCID(locale), FromWide(abbreviation)});
    return TRUE;
  } catch (...) {
    collector->Error = std::current_exception();
    return FALSE;
  }
}

}  // namespace

std::vector<TInstalledLanguage> GetInstalledLanguages() {
  TLocaleCollector collector;
  EnumSystemLocalesEx(&CollectLocale, LOCALE_WINDOWS | LOCALE_SPECIFICDATA, reinterpret_cast<LPARAM>(&collector),
                      nullptr);
  if (collector.Error) std::rethrow_exception(collector.Error);
  return std::move(collector.List);
}

bool FindLanguageLocale(std::u16string_view AAbbreviation, LANGID& ALangId) {
  for (const TInstalledLanguage& language : GetInstalledLanguages())
    if (language.Abbreviation == AAbbreviation) {
      ALangId = language.Id;
      return true;
    }
  return false;
}

#endif  // _WIN32
