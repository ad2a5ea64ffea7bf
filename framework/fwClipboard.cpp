#include "framework/fwClipboard.h"

#include <cstring>

#include "framework/fwUtilityWindow.h"

TClipboard* Clipboard = nullptr;

namespace {

// Opens the clipboard for one operation unless an outer bracket already did.
class TOpenScope {
 public:
  explicit TOpenScope(TClipboard& AClipboard) : FClipboard(AClipboard) { FClipboard.Open(); }
  ~TOpenScope() { FClipboard.Close(); }
  TOpenScope(const TOpenScope&) = delete;
  TOpenScope& operator=(const TOpenScope&) = delete;

 private:
  TClipboard& FClipboard;
};

HGLOBAL GlobalCopy(const void* AData, size_t ASize) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, ASize ? ASize : 1);
  if (!memory) throw EOutOfMemory(u"Cannot allocate clipboard memory");
  void* p = GlobalLock(memory);
  if (ASize) std::memcpy(p, AData, ASize);
  GlobalUnlock(memory);
  return memory;
}

}  // namespace

TClipboard::TClipboard() = default;

TClipboard::~TClipboard() {
  if (FOpenCount > 0) CloseClipboard();
}

HWND TClipboard::Window() const { return FWindow->Handle(); }

void TClipboard::Open() {
  if (FOpenCount == 0) {
    if (!FWindow) FWindow = std::make_unique<TUtilityWindow>(TMessageEvent(), TUtilityWindow::TKind::ukMessageOnly);
    bool opened = false;
    for (int attempt = 0; attempt < 100 && !(opened = OpenClipboard(Window())); ++attempt) Sleep(10);
    if (!opened) throw EClipboardError(u"Cannot open the clipboard: another program holds it");
    FEmptied = false;
  }
  ++FOpenCount;
}

void TClipboard::Close() {
  if (FOpenCount == 0) return;
  if (--FOpenCount == 0) CloseClipboard();
}

void TClipboard::Clear() {
  TOpenScope scope(*this);
  EmptyClipboard();
  FEmptied = true;
}

void TClipboard::Adding() {
  if (!FEmptied) {
    EmptyClipboard();
    FEmptied = true;
  }
}

bool TClipboard::HasFormat(UINT AFormat) { return IsClipboardFormatAvailable(AFormat) != 0; }

UINT TClipboard::RegisterFormat(std::u16string_view AName) {
  std::u16string name(AName);
  UINT format = RegisterClipboardFormatW(WStr(name));
  if (!format) throw EClipboardError(u"Cannot register the clipboard format " + name);
  return format;
}

HANDLE TClipboard::GetAsHandle(UINT AFormat) {
  TOpenScope scope(*this);
  return GetClipboardData(AFormat);
}

void TClipboard::SetAsHandle(UINT AFormat, HANDLE AData) {
  TOpenScope scope(*this);
  Adding();
  if (!SetClipboardData(AFormat, AData)) {
    DWORD error = GetLastError();
    throw EClipboardError(Format(u"The clipboard refused the data (%u)", {error}));
  }
}

std::u16string TClipboard::AsText() {
  TOpenScope scope(*this);
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (!data) return {};
  const auto* text = static_cast<const char16_t*>(GlobalLock(data));
  if (!text) return {};
  size_t limit = GlobalSize(data) / sizeof(char16_t);
  size_t length = 0;
  while (length < limit && text[length]) ++length;
  std::u16string result(text, length);
  GlobalUnlock(data);
  return result;
}

void TClipboard::SetAsText(std::u16string_view AText) {
  std::u16string text(AText);
  HGLOBAL memory = GlobalCopy(text.c_str(), (text.size() + 1) * sizeof(char16_t));
  try {
    SetAsHandle(CF_UNICODETEXT, memory);
  } catch (...) {
    GlobalFree(memory);
    throw;
  }
}

bool TClipboard::GetBuffer(UINT AFormat, std::vector<uint8_t>& AData) {
  TOpenScope scope(*this);
  HANDLE data = GetClipboardData(AFormat);
  if (!data) return false;
  const void* p = GlobalLock(data);
  if (!p) return false;
  size_t size = GlobalSize(data);
  AData.assign(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + size);
  GlobalUnlock(data);
  return true;
}

bool TClipboard::GetBuffer(UINT AFormat, TStream& AStream) {
  std::vector<uint8_t> data;
  if (!GetBuffer(AFormat, data)) return false;
  if (!data.empty()) AStream.WriteBuffer(data.data(), data.size());
  return true;
}

void TClipboard::SetBuffer(UINT AFormat, const void* AData, size_t ASize) {
  HGLOBAL memory = GlobalCopy(AData, ASize);
  try {
    SetAsHandle(AFormat, memory);
  } catch (...) {
    GlobalFree(memory);
    throw;
  }
}

bool TClipboard::GetBitmap(TBitmap& ABitmap) {
  TOpenScope scope(*this);
  if (HANDLE dib = GetClipboardData(CF_DIB)) {
    const void* p = GlobalLock(dib);
    if (p) {
      try {
        ABitmap.LoadFromDIB(p, GlobalSize(dib));
      } catch (...) {
        GlobalUnlock(dib);
        throw;
      }
      GlobalUnlock(dib);
      return true;
    }
  }
  if (HANDLE ddb = GetClipboardData(CF_BITMAP)) {
    ABitmap.LoadFromHandle(static_cast<HBITMAP>(ddb));
    return true;
  }
  return false;
}

void TClipboard::SetBitmap(const TBitmap& ABitmap) {
  if (ABitmap.Empty()) throw EClipboardError(u"Cannot put an empty bitmap on the clipboard");
  int bpp = ABitmap.PixelFormat() == TPixelFormat::pf32bit ? 32 : 24;
  size_t stride = static_cast<size_t>(ABitmap.BytesPerLine());
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = ABitmap.Width();
  header.biHeight = ABitmap.Height();  // bottom-up, the form every reader takes
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bpp);
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(stride * ABitmap.Height());
  std::vector<uint8_t> packed(sizeof(header) + header.biSizeImage);
  std::memcpy(packed.data(), &header, sizeof(header));
  for (int y = 0; y < ABitmap.Height(); ++y)
    std::memcpy(packed.data() + sizeof(header) + stride * (ABitmap.Height() - 1 - y), ABitmap.ScanLine(y), stride);
  SetBuffer(CF_DIB, packed.data(), packed.size());
}

bool TClipboard::GetMetafile(TMetafile& AMetafile) {
  TOpenScope scope(*this);
  if (HANDLE emf = GetClipboardData(CF_ENHMETAFILE)) {
    HENHMETAFILE copy = CopyEnhMetaFileW(static_cast<HENHMETAFILE>(emf), nullptr);
    if (!copy) return false;
    AMetafile.SetHandle(copy);
    AMetafile.SetEnhanced(true);
    return true;
  }
  if (HANDLE pict = GetClipboardData(CF_METAFILEPICT)) {
    const auto* p = static_cast<const METAFILEPICT*>(GlobalLock(pict));
    if (!p) return false;
    METAFILEPICT copy = *p;
    GlobalUnlock(pict);
    AMetafile.LoadFromMetafilePict(copy);
    return true;
  }
  return false;
}

void TClipboard::SetMetafile(const TMetafile& AMetafile) {
  if (AMetafile.Empty()) throw EClipboardError(u"Cannot put an empty metafile on the clipboard");
  HENHMETAFILE copy = CopyEnhMetaFileW(AMetafile.Handle(), nullptr);
  try {
    SetAsHandle(CF_ENHMETAFILE, copy);
  } catch (...) {
    DeleteEnhMetaFile(copy);
    throw;
  }
}

void StartClipboard() { Clipboard = new TClipboard; }

void EndClipboard() {
  delete Clipboard;
  Clipboard = nullptr;
}
