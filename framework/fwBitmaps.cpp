#include "framework/fwBitmaps.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> ReadRest(TStream& AStream) {
  int64_t left = AStream.Size() - AStream.Position();
  std::vector<uint8_t> data(left > 0 ? static_cast<size_t>(left) : 0);
  if (!data.empty()) AStream.ReadBuffer(data.data(), data.size());
  return data;
}

uint16_t Get16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
uint32_t Get32(const uint8_t* P) { return P[0] | (P[1] << 8) | (P[2] << 16) | (static_cast<uint32_t>(P[3]) << 24); }
void Put16(std::vector<uint8_t>& AOut, uint16_t AValue) {
  AOut.push_back(static_cast<uint8_t>(AValue));
  AOut.push_back(static_cast<uint8_t>(AValue >> 8));
}
void Put32(std::vector<uint8_t>& AOut, uint32_t AValue) {
  for (int i = 0; i < 4; ++i) AOut.push_back(static_cast<uint8_t>(AValue >> (8 * i)));
}

int Stride(int AWidth, int ABitsPerPixel) { return ((AWidth * ABitsPerPixel + 31) / 32) * 4; }

// A memory DC with one bitmap selected, freed with the scope.
class TMemoryDC {
 public:
  explicit TMemoryDC(HBITMAP ABitmap) : FDC(CreateCompatibleDC(nullptr)), FOld(SelectObject(FDC, ABitmap)) {}
  ~TMemoryDC() {
    SelectObject(FDC, FOld);
    DeleteDC(FDC);
  }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  HDC Handle() const { return FDC; }

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

HBITMAP CreateTopDownDIB(int AWidth, int AHeight, int ABitsPerPixel, uint8_t** ABits) {
  const BITMAPINFO bi = TopDownBitmapInfo(AWidth, AHeight, ABitsPerPixel);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) throw EOutOfMemory(u"Cannot allocate the bitmap's pixels");
  *ABits = static_cast<uint8_t*>(bits);
  return bitmap;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// TGraphic

void TGraphic::SetTransparent(bool AValue) {
  if (AValue == FTransparent) return;
  FTransparent = AValue;
  Changed();
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

void TGraphic::LoadFromFile(const std::u16string& AFileName) {
  TFileStream stream(AFileName, TFileMode::fmOpenRead);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::u16string& AFileName) {
  TFileStream stream(AFileName, TFileMode::fmCreate);
  SaveToStream(stream);
}

// ---------------------------------------------------------------------------------------------------------------
// TBitmap

class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* ABitmap) : FBitmap(ABitmap) {}
  ~TBitmapCanvas() override { FreeContext(); }

  // Gives the DIB back and frees the memory DC; the next drawing makes a new one.
  void FreeContext() {
    if (!FDC) return;
    HDC dc = FDC;
    FDC = nullptr;
    SetHandle(nullptr);
    if (FOldBitmap) SelectObject(dc, FOldBitmap);
    FOldBitmap = nullptr;
    DeleteDC(dc);
  }

 protected:
  void CreateHandle() override {
    FDC = CreateCompatibleDC(nullptr);
    if (!FDC) throw EOSError(u"Cannot create a memory device context", GetLastError());
    if (FBitmap->FHandle) FOldBitmap = SelectObject(FDC, FBitmap->FHandle);
    SetHandle(FDC);
  }

 private:
  TBitmap* FBitmap;
  HDC FDC = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
};

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int AWidth, int AHeight, TPixelFormat AFormat) : FPixelFormat(AFormat) {
  NewSurface(AWidth, AHeight, AFormat, true);
}

TBitmap::~TBitmap() {
  FCanvas.reset();
  if (FHandle) DeleteObject(FHandle);
}

TCanvas& TBitmap::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TBitmapCanvas>(this);
    FCanvas->OnChange = MakeMethod<&TBitmap::CanvasChanged>(this);
  }
  return *FCanvas;
}

void TBitmap::CanvasChanged(TObject*) { Changed(); }

void TBitmap::FreeCanvasContext() const {
  if (FCanvas) FCanvas->FreeContext();
}

void TBitmap::NewSurface(int AWidth, int AHeight, TPixelFormat AFormat, bool AWhite) {
  FreeCanvasContext();
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
  FBits = nullptr;
  FWidth = FHeight = 0;
  FPixelFormat = AFormat;
  if (AWidth <= 0 || AHeight <= 0) return;
  FHandle = CreateTopDownDIB(AWidth, AHeight, AFormat == TPixelFormat::pf32bit ? 32 : 24, &FBits);
  FWidth = AWidth;
  FHeight = AHeight;
  if (AWhite) std::memset(FBits, 0xFF, static_cast<size_t>(BytesPerLine()) * AHeight);
}

int TBitmap::BytesPerLine() const { return Stride(FWidth, FPixelFormat == TPixelFormat::pf32bit ? 32 : 24); }

void* TBitmap::ScanLine(int Y) {
  if (Y < 0 || Y >= FHeight) throw EProgrammingError(Format(u"Scan line out of range (%d)", {Y}));
  GdiFlush();
  return FBits + static_cast<size_t>(Y) * BytesPerLine();
}

const void* TBitmap::ScanLine(int Y) const { return const_cast<TBitmap*>(this)->ScanLine(Y); }

void TBitmap::SetSize(int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (AWidth == FWidth && AHeight == FHeight) return;
  NewSurface(AWidth, AHeight, FPixelFormat, true);
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat AValue) {
  if (AValue == FPixelFormat) return;
  if (Empty()) {
    FPixelFormat = AValue;
    Changed();
    return;
  }
  GdiFlush();
  uint8_t* newBits = nullptr;
  HBITMAP newHandle = CreateTopDownDIB(FWidth, FHeight, AValue == TPixelFormat::pf32bit ? 32 : 24, &newBits);
  int oldStride = BytesPerLine();
  int newStride = Stride(FWidth, AValue == TPixelFormat::pf32bit ? 32 : 24);
  for (int y = 0; y < FHeight; ++y) {
    const uint8_t* s = FBits + static_cast<size_t>(y) * oldStride;
    uint8_t* d = newBits + static_cast<size_t>(y) * newStride;
    for (int x = 0; x < FWidth; ++x) {
      if (AValue == TPixelFormat::pf32bit) {
        d[4 * x] = s[3 * x];
        d[4 * x + 1] = s[3 * x + 1];
        d[4 * x + 2] = s[3 * x + 2];
        d[4 * x + 3] = 0xFF;
      } else {
        d[3 * x] = s[4 * x];
        d[3 * x + 1] = s[4 * x + 1];
        d[3 * x + 2] = s[4 * x + 2];
      }
    }
  }
  FreeCanvasContext();
  DeleteObject(FHandle);
  FHandle = newHandle;
  FBits = newBits;
  FPixelFormat = AValue;
  Changed();
}

void TBitmap::SetAlphaFormat(TAlphaFormat AValue) {
  if (AValue == FAlphaFormat) return;
  FAlphaFormat = AValue;
  Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode AValue) {
  if (AValue == FTransparentMode) return;
  FTransparentMode = AValue;
  Changed();
}

TColor TBitmap::TransparentColor() const {
  if (FTransparentMode == TTransparentMode::tmFixed) return FTransparentColor;
  if (Empty()) return clDefault;
  GdiFlush();
  const uint8_t* p = FBits + static_cast<size_t>(FHeight - 1) * BytesPerLine();
  return RGBToColor(p[2], p[1], p[0]);
}

void TBitmap::SetTransparentColor(TColor AValue) {
  if (FTransparentMode == TTransparentMode::tmFixed && AValue == FTransparentColor) return;
  FTransparentColor = AValue;
  FTransparentMode = TTransparentMode::tmFixed;
  Changed();
}

void TBitmap::Assign(const TPersistent* ASource) {
  if (auto* bitmap = dynamic_cast<const TBitmap*>(ASource)) {
    if (bitmap == this) return;
    NewSurface(bitmap->FWidth, bitmap->FHeight, bitmap->FPixelFormat, false);
    if (!Empty()) {
      GdiFlush();
      std::memcpy(FBits, bitmap->FBits, static_cast<size_t>(BytesPerLine()) * FHeight);
    }
    FAlphaFormat = bitmap->FAlphaFormat;
    FTransparent = bitmap->FTransparent;
    FTransparentMode = bitmap->FTransparentMode;
    FTransparentColor = bitmap->FTransparentColor;
    Changed();
    return;
  }
  if (auto* graphic = dynamic_cast<const TGraphic*>(ASource)) {
    NewSurface(graphic->Width(), graphic->Height(), FPixelFormat, true);
    if (!Empty()) Canvas().Draw(0, 0, const_cast<TGraphic&>(*graphic));
    Changed();
    return;
  }
  TGraphic::Assign(ASource);
}

void TBitmap::Draw(TCanvas& ACanvas, const RECT& ARect) {
  if (Empty()) return;
  HDC dest = ACanvas.Handle();
  HDC source = Canvas().Handle();
  int w = ARect.right - ARect.left, h = ARect.bottom - ARect.top;
  if (Transparent()) {
    TransparentBlt(dest, ARect.left, ARect.top, w, h, source, 0, 0, FWidth, FHeight, ColorToRef(TransparentColor()));
    return;
  }
  if (FPixelFormat == TPixelFormat::pf32bit && FAlphaFormat != TAlphaFormat::afIgnored) {
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    if (FAlphaFormat == TAlphaFormat::afPremultiplied) {
      AlphaBlend(dest, ARect.left, ARect.top, w, h, source, 0, 0, FWidth, FHeight, blend);
      return;
    }
    // Straight alpha: AlphaBlend wants the colours multiplied by alpha first.
    GdiFlush();
    uint8_t* bits = nullptr;
    HBITMAP premultiplied = CreateTopDownDIB(FWidth, FHeight, 32, &bits);
    size_t count = static_cast<size_t>(FWidth) * FHeight;
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* s = FBits + 4 * i;
      uint8_t* d = bits + 4 * i;
      unsigned a = s[3];
      d[0] = static_cast<uint8_t>((s[0] * a + 127) / 255);
      d[1] = static_cast<uint8_t>((s[1] * a + 127) / 255);
      d[2] = static_cast<uint8_t>((s[2] * a + 127) / 255);
      d[3] = static_cast<uint8_t>(a);
    }
    {
      TMemoryDC dc(premultiplied);
      AlphaBlend(dest, ARect.left, ARect.top, w, h, dc.Handle(), 0, 0, FWidth, FHeight, blend);
    }
    DeleteObject(premultiplied);
    return;
  }
  if (w == FWidth && h == FHeight) {
    BitBlt(dest, ARect.left, ARect.top, w, h, source, 0, 0, SRCCOPY);
  } else {
    int oldMode = SetStretchBltMode(dest, COLORONCOLOR);
    StretchBlt(dest, ARect.left, ARect.top, w, h, source, 0, 0, FWidth, FHeight, SRCCOPY);
    SetStretchBltMode(dest, oldMode);
  }
}

void TBitmap::LoadFromDIB(const void* AData, size_t ASize) {
  const auto* data = static_cast<const uint8_t*>(AData);
  if (ASize < sizeof(BITMAPINFOHEADER)) throw EInvalidGraphic(u"Bitmap data is too short");
  BITMAPINFOHEADER header;
  std::memcpy(&header, data, sizeof(header));
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > ASize || header.biWidth <= 0 ||
      header.biHeight == 0 || header.biPlanes != 1)
    throw EInvalidGraphic(u"Bitmap data is not a device-independent bitmap");
  size_t colors = header.biClrUsed;
  if (colors == 0 && header.biBitCount <= 8) colors = size_t{1} << header.biBitCount;
  size_t masks = (header.biCompression == BI_BITFIELDS && header.biSize == sizeof(BITMAPINFOHEADER)) ? 3 : 0;
  size_t bitsOffset = header.biSize + (masks + colors) * 4;
  if (bitsOffset > ASize) throw EInvalidGraphic(u"Bitmap data is too short");

  int width = header.biWidth;
  int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  bool bottomUp = header.biHeight > 0;
  bool raw32 = header.biBitCount == 32 && header.biCompression == BI_RGB;
  if (header.biBitCount == 32 && header.biCompression == BI_BITFIELDS) {
    const uint8_t* m = data + (masks ? header.biSize : 40);
    raw32 = Get32(m) == 0x00FF0000 && Get32(m + 4) == 0x0000FF00 && Get32(m + 8) == 0x000000FF;
  }

  if (raw32) {
    size_t stride = static_cast<size_t>(width) * 4;
    if (bitsOffset + stride * height > ASize) throw EInvalidGraphic(u"Bitmap data is too short");
    NewSurface(width, height, TPixelFormat::pf32bit, false);
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = data + bitsOffset + stride * (bottomUp ? height - 1 - y : y);
      std::memcpy(FBits + static_cast<size_t>(y) * BytesPerLine(), row, stride);
    }
  } else {
    if (header.biCompression == BI_RGB || header.biCompression == BI_BITFIELDS) {
      size_t need = static_cast<size_t>(Stride(width, header.biBitCount)) * height;
      if (bitsOffset + need > ASize) throw EInvalidGraphic(u"Bitmap data is too short");
    }
    NewSurface(width, height, TPixelFormat::pf24bit, true);
    TMemoryDC dc(FHandle);
    if (StretchDIBits(dc.Handle(), 0, 0, width, height, 0, 0, width, height, data + bitsOffset,
                      reinterpret_cast<const BITMAPINFO*>(data), DIB_RGB_COLORS, SRCCOPY) == 0) {
      NewSurface(0, 0, FPixelFormat, false);
      throw EInvalidGraphic(u"Bitmap data cannot be read");
    }
    GdiFlush();
  }
  FAlphaFormat = TAlphaFormat::afIgnored;
  Changed();
}

void TBitmap::LoadFromStream(TStream& AStream) {
  std::vector<uint8_t> data = ReadRest(AStream);
  if (data.size() < 14 + sizeof(BITMAPINFOHEADER) || data[0] != 'B' || data[1] != 'M')
    throw EInvalidGraphic(u"Not a bitmap file");
  uint32_t offBits = Get32(data.data() + 10);
  uint32_t headerSize = Get32(data.data() + 14);
  // Pixels may start later than the header and colour table say: rebuild a packed DIB when there is a gap.
  const uint8_t* dib = data.data() + 14;
  size_t dibSize = data.size() - 14;
  BITMAPINFOHEADER header;
  std::memcpy(&header, dib, sizeof(header));
  size_t colors = header.biClrUsed;
  if (colors == 0 && header.biBitCount <= 8) colors = size_t{1} << header.biBitCount;
  size_t masks = (header.biCompression == BI_BITFIELDS && headerSize == sizeof(BITMAPINFOHEADER)) ? 3 : 0;
  size_t packedOffset = 14 + headerSize + (masks + colors) * 4;
  if (offBits > packedOffset && offBits <= data.size()) {
    std::vector<uint8_t> packed(data.begin() + 14, data.begin() + packedOffset);
    packed.insert(packed.end(), data.begin() + offBits, data.end());
    LoadFromDIB(packed.data(), packed.size());
    return;
  }
  LoadFromDIB(dib, dibSize);
}

void TBitmap::SaveToStream(TStream& AStream) {
  int bpp = FPixelFormat == TPixelFormat::pf32bit ? 32 : 24;
  int stride = Stride(FWidth, bpp);
  uint32_t imageSize = static_cast<uint32_t>(stride) * FHeight;
  std::vector<uint8_t> out;
  out.reserve(54 + imageSize);
  out.push_back('B');
  out.push_back('M');
  Put32(out, 54 + imageSize);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(FWidth));
  Put32(out, static_cast<uint32_t>(FHeight));
  Put16(out, 1);
  Put16(out, static_cast<uint16_t>(bpp));
  Put32(out, BI_RGB);
  Put32(out, imageSize);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  if (!Empty()) GdiFlush();
  for (int y = FHeight - 1; y >= 0; --y) {
    const uint8_t* row = FBits + static_cast<size_t>(y) * stride;
    out.insert(out.end(), row, row + stride);
  }
  AStream.WriteBuffer(out.data(), out.size());
}

void TBitmap::LoadFromResourceName(HINSTANCE AInstance, std::u16string_view AName) {
  std::u16string name(AName);
  HRSRC info = FindResourceW(AInstance, WStr(name), MAKEINTRESOURCEW(2));  // RT_BITMAP
  if (!info) throw EInvalidGraphic(u"Bitmap resource not found: " + name);
  HGLOBAL res = LoadResource(AInstance, info);
  const void* data = res ? LockResource(res) : nullptr;
  if (!data) throw EInvalidGraphic(u"Bitmap resource cannot be loaded: " + name);
  LoadFromDIB(data, SizeofResource(AInstance, info));
}

void TBitmap::LoadFromResourceID(HINSTANCE AInstance, int AId) {
  HRSRC info = FindResourceW(AInstance, MAKEINTRESOURCEW(AId), MAKEINTRESOURCEW(2));
  if (!info) throw EInvalidGraphic(Format(u"Bitmap resource not found: %d", {AId}));
  HGLOBAL res = LoadResource(AInstance, info);
  const void* data = res ? LockResource(res) : nullptr;
  if (!data) throw EInvalidGraphic(Format(u"Bitmap resource cannot be loaded: %d", {AId}));
  LoadFromDIB(data, SizeofResource(AInstance, info));
}

void TBitmap::LoadFromHandle(HBITMAP ABitmap) {
  BITMAP info{};
  if (!ABitmap || !GetObjectW(ABitmap, sizeof(info), &info)) throw EInvalidGraphic(u"Not a bitmap handle");
  TPixelFormat format = info.bmBitsPixel == 32 ? TPixelFormat::pf32bit : TPixelFormat::pf24bit;
  NewSurface(info.bmWidth, info.bmHeight, format, true);
  if (!Empty()) {
    BITMAPINFO bi = TopDownBitmapInfo(FWidth, FHeight, format == TPixelFormat::pf32bit ? 32 : 24);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, ABitmap, 0, FHeight, FBits, &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
  }
  FAlphaFormat = TAlphaFormat::afIgnored;
  Changed();
}

// ---------------------------------------------------------------------------------------------------------------
// TIcon

TIcon::TIcon() { FTransparent = true; }

TIcon::~TIcon() {
  if (FHandle) DestroyIcon(FHandle);
}

void TIcon::Assign(const TPersistent* ASource) {
  if (auto* icon = dynamic_cast<const TIcon*>(ASource)) {
    if (icon == this) return;
    SetHandle(icon->FHandle ? CopyIcon(icon->FHandle) : nullptr);
    return;
  }
  TGraphic::Assign(ASource);
}

void TIcon::SetSize(int AWidth, int AHeight) {
  FRequestWidth = std::max(AWidth, 0);
  FRequestHeight = std::max(AHeight, 0);
}

void TIcon::TakeHandle(HICON AIcon) {
  if (FHandle && FHandle != AIcon) DestroyIcon(FHandle);
  FHandle = AIcon;
  FWidth = FHeight = 0;
  if (!FHandle) return;
  ICONINFO info{};
  if (GetIconInfo(FHandle, &info)) {
    BITMAP bm{};
    if (info.hbmColor && GetObjectW(info.hbmColor, sizeof(bm), &bm)) {
      FWidth = bm.bmWidth;
      FHeight = bm.bmHeight;
    } else if (info.hbmMask && GetObjectW(info.hbmMask, sizeof(bm), &bm)) {
      FWidth = bm.bmWidth;
      FHeight = bm.bmHeight / 2;
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
  }
}

void TIcon::SetHandle(HICON AIcon) {
  TakeHandle(AIcon);
  Changed();
}

HICON TIcon::ReleaseHandle() {
  HICON icon = FHandle;
  FHandle = nullptr;
  FWidth = FHeight = 0;
  Changed();
  return icon;
}

void TIcon::LoadFromResourceName(HINSTANCE AInstance, std::u16string_view AName) {
  std::u16string name(AName);
  UINT flags = (FRequestWidth == 0 || FRequestHeight == 0) ? LR_DEFAULTSIZE : 0;
  auto icon = static_cast<HICON>(LoadImageW(AInstance, WStr(name), IMAGE_ICON, FRequestWidth, FRequestHeight, flags));
  if (!icon) throw EInvalidGraphic(u"Icon resource not found: " + name);
  SetHandle(icon);
}

void TIcon::LoadFromStream(TStream& AStream) {
  std::vector<uint8_t> data = ReadRest(AStream);
  if (data.size() < 6 || Get16(data.data()) != 0 || (Get16(data.data() + 2) != 1 && Get16(data.data() + 2) != 2))
    throw EInvalidGraphic(u"Not an icon file");
  int count = Get16(data.data() + 4);
  if (count == 0 || data.size() < 6 + 16 * static_cast<size_t>(count)) throw EInvalidGraphic(u"Not an icon file");
  int wantW = FRequestWidth ? FRequestWidth : GetSystemMetrics(SM_CXICON);
  int wantH = FRequestHeight ? FRequestHeight : GetSystemMetrics(SM_CYICON);
  int best = -1, bestDistance = 0, bestBits = 0;
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = data.data() + 6 + 16 * i;
    int w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
    int bits = Get16(e + 6);
    uint32_t size = Get32(e + 8), offset = Get32(e + 12);
    if (offset > data.size() || size > data.size() - offset) continue;
    int distance = std::abs(w - wantW) + std::abs(h - wantH);
    if (best < 0 || distance < bestDistance || (distance == bestDistance && bits > bestBits)) {
      best = i;
      bestDistance = distance;
      bestBits = bits;
    }
  }
  if (best < 0) throw EInvalidGraphic(u"Icon file holds no readable image");
  const uint8_t* e = data.data() + 6 + 16 * best;
  int w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
  HICON icon = CreateIconFromResourceEx(const_cast<uint8_t*>(data.data()) + Get32(e + 12), Get32(e + 8), TRUE,
                                        0x00030000, w, h, LR_DEFAULTCOLOR);
  if (!icon) throw EInvalidGraphic(u"Icon image cannot be read");
  SetHandle(icon);
}

void TIcon::SaveToStream(TStream& AStream) {
  if (!FHandle) throw EInvalidGraphic(u"Cannot save an empty icon");
  ICONINFO info{};
  if (!GetIconInfo(FHandle, &info)) throw EInvalidGraphic(u"Cannot read the icon");
  struct TIconBitmaps {
    ICONINFO& Info;
    ~TIconBitmaps() {
      if (Info.hbmColor) DeleteObject(Info.hbmColor);
      if (Info.hbmMask) DeleteObject(Info.hbmMask);
    }
  } cleanup{info};
  if (!info.hbmColor) throw EInvalidGraphic(u"Monochrome icons cannot be saved");
  int w = FWidth, h = FHeight;
  HDC screen = GetDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up, as the file wants it
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint8_t> color(static_cast<size_t>(w) * h * 4);
  GetDIBits(screen, info.hbmColor, 0, h, color.data(), &bi, DIB_RGB_COLORS);
  const TMaskBits mask = ReadMaskBits(screen, info.hbmMask, w, h, 0, h);
  ReleaseDC(nullptr, screen);
  // Without alpha in the colour image, the mask decides which pixels show.
  bool hasAlpha = false;
  for (size_t i = 3; i < color.size(); i += 4) hasAlpha = hasAlpha || color[i] != 0;
  if (!hasAlpha) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        color[(static_cast<size_t>(y) * w + x) * 4 + 3] = mask.Transparent(x, y) ? 0 : 0xFF;
      }
  }
  uint32_t imageSize = 40 + static_cast<uint32_t>(color.size() + mask.Bits.size());
  std::vector<uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, 1);
  out.push_back(static_cast<uint8_t>(w < 256 ? w : 0));
  out.push_back(static_cast<uint8_t>(h < 256 ? h : 0));
  out.push_back(0);
  out.push_back(0);
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, imageSize);
  Put32(out, 22);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(w));
  Put32(out, static_cast<uint32_t>(h * 2));
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, BI_RGB);
  Put32(out, static_cast<uint32_t>(color.size() + mask.Bits.size()));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  out.insert(out.end(), color.begin(), color.end());
  out.insert(out.end(), mask.Bits.begin(), mask.Bits.end());
  AStream.WriteBuffer(out.data(), out.size());
}

void TIcon::Draw(TCanvas& ACanvas, const RECT& ARect) {
  if (!FHandle) return;
  DrawIconEx(ACanvas.Handle(), ARect.left, ARect.top, FHandle, ARect.right - ARect.left, ARect.bottom - ARect.top, 0,
             nullptr, DI_NORMAL);
}

// ---------------------------------------------------------------------------------------------------------------
// TMetafile

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;

// The window extent a Windows metafile sets for itself (its logical size), when it sets one.
bool FindWindowExtent(const uint8_t* AData, size_t ASize, int& AWidth, int& AHeight) {
  if (ASize < 18) return false;
  size_t pos = static_cast<size_t>(Get16(AData + 2)) * 2;  // header size in words
  while (pos + 6 <= ASize) {
    uint32_t words = Get32(AData + pos);
    uint16_t function = Get16(AData + pos + 4);
    if (words < 3 || pos + static_cast<size_t>(words) * 2 > ASize) break;
    if (function == 0x020C && words >= 5) {  // META_SETWINDOWEXT: y, then x
      AHeight = static_cast<int16_t>(Get16(AData + pos + 6));
      AWidth = static_cast<int16_t>(Get16(AData + pos + 8));
      return AWidth > 0 && AHeight > 0;
    }
    if (function == 0) break;
    pos += static_cast<size_t>(words) * 2;
  }
  return false;
}

}  // namespace

TMetafile::TMetafile() { FTransparent = true; }

TMetafile::~TMetafile() { Clear(); }

void TMetafile::Clear() {
  if (FHandle) DeleteEnhMetaFile(FHandle);
  FHandle = nullptr;
  FWidth = FHeight = 0;
}

void TMetafile::Assign(const TPersistent* ASource) {
  if (auto* metafile = dynamic_cast<const TMetafile*>(ASource)) {
    if (metafile == this) return;
    bool enhanced = metafile->FEnhanced;
    SetHandle(metafile->FHandle ? CopyEnhMetaFileW(metafile->FHandle, nullptr) : nullptr);
    FEnhanced = enhanced;
    return;
  }
  TGraphic::Assign(ASource);
}

void TMetafile::SetHandle(HENHMETAFILE AMetafile) {
  if (FHandle != AMetafile) Clear();
  FHandle = AMetafile;
  if (FHandle) {
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(FHandle, sizeof(header), &header);
    int ppi = ScreenPixelsPerInch();
    FWidth = MulDiv(header.rclFrame.right - header.rclFrame.left, ppi, 2540);
    FHeight = MulDiv(header.rclFrame.bottom - header.rclFrame.top, ppi, 2540);
    if (FWidth <= 0 || FHeight <= 0) {
      FWidth = header.rclBounds.right - header.rclBounds.left + 1;
      FHeight = header.rclBounds.bottom - header.rclBounds.top + 1;
    }
  }
  Changed();
}

void TMetafile::LoadFromMetafilePict(const METAFILEPICT& APict) {
  UINT size = GetMetaFileBitsEx(APict.hMF, 0, nullptr);
  if (size == 0) throw EInvalidGraphic(u"Cannot read the metafile");
  std::vector<uint8_t> bits(size);
  GetMetaFileBitsEx(APict.hMF, size, bits.data());
  HENHMETAFILE handle = SetWinMetaFileBits(size, bits.data(), nullptr, &APict);
  if (!handle) throw EInvalidGraphic(u"Cannot read the metafile");
  SetHandle(handle);
  FEnhanced = false;
}

void TMetafile::LoadFromStream(TStream& AStream) {
  std::vector<uint8_t> data = ReadRest(AStream);
  if (data.size() >= 44 && Get32(data.data()) == EMR_HEADER && Get32(data.data() + 40) == ENHMETA_SIGNATURE) {
    HENHMETAFILE handle = SetEnhMetaFileBits(static_cast<UINT>(data.size()), data.data());
    if (!handle) throw EInvalidGraphic(u"Enhanced metafile cannot be read");
    SetHandle(handle);
    FEnhanced = true;
    return;
  }
  if (data.size() > 22 + 18 && Get32(data.data()) == kPlaceableKey) {
    int left = static_cast<int16_t>(Get16(data.data() + 6)), top = static_cast<int16_t>(Get16(data.data() + 8));
    int right = static_cast<int16_t>(Get16(data.data() + 10)), bottom = static_cast<int16_t>(Get16(data.data() + 12));
    int inch = Get16(data.data() + 14);
    if (inch == 0) inch = 1440;
    METAFILEPICT pict{MM_ANISOTROPIC, MulDiv(right - left, 2540, inch), MulDiv(bottom - top, 2540, inch), nullptr};
    HENHMETAFILE handle = SetWinMetaFileBits(static_cast<UINT>(data.size() - 22), data.data() + 22, nullptr, &pict);
    if (!handle) throw EInvalidGraphic(u"Windows metafile cannot be read");
    SetHandle(handle);
    FEnhanced = false;
    return;
  }
  throw EInvalidGraphic(u"Not a metafile");
}

void TMetafile::SaveToStream(TStream& AStream) {
  if (!FHandle) throw EInvalidGraphic(u"Cannot save an empty metafile");
  if (FEnhanced) {
    UINT size = GetEnhMetaFileBits(FHandle, 0, nullptr);
    std::vector<uint8_t> bits(size);
    GetEnhMetaFileBits(FHandle, size, bits.data());
    AStream.WriteBuffer(bits.data(), bits.size());
    return;
  }
  HDC screen = GetDC(nullptr);
  UINT size = GetWinMetaFileBits(FHandle, 0, nullptr, MM_ANISOTROPIC, screen);
  std::vector<uint8_t> bits(size);
  if (size) GetWinMetaFileBits(FHandle, size, bits.data(), MM_ANISOTROPIC, screen);
  ReleaseDC(nullptr, screen);
  if (size == 0) throw EInvalidGraphic(u"Cannot convert the metafile");
  // The placeable header gives the picture's size: its logical extent and how many units make an inch.
  int extentW = 0, extentH = 0, inch = 1440;
  ENHMETAHEADER header{};
  GetEnhMetaFileHeader(FHandle, sizeof(header), &header);
  int frameW = header.rclFrame.right - header.rclFrame.left;
  if (FindWindowExtent(bits.data(), bits.size(), extentW, extentH) && frameW > 0) {
    inch = std::clamp(MulDiv(extentW, 2540, frameW), 1, 0xFFFF);
  } else {
    extentW = MulDiv(FWidth, inch, ScreenPixelsPerInch());
    extentH = MulDiv(FHeight, inch, ScreenPixelsPerInch());
  }
  std::vector<uint8_t> out;
  Put32(out, kPlaceableKey);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint16_t>(extentW));
  Put16(out, static_cast<uint16_t>(extentH));
  Put16(out, static_cast<uint16_t>(inch));
  Put32(out, 0);
  uint16_t checksum = 0;
  for (size_t i = 0; i < out.size(); i += 2) checksum ^= Get16(out.data() + i);
  Put16(out, checksum);
  out.insert(out.end(), bits.begin(), bits.end());
  AStream.WriteBuffer(out.data(), out.size());
}

void TMetafile::Draw(TCanvas& ACanvas, const RECT& ARect) {
  if (FHandle) PlayEnhMetaFile(ACanvas.Handle(), FHandle, &ARect);
}

// ---------------------------------------------------------------------------------------------------------------
// Device-independent bitmap helpers

BITMAPINFO TopDownBitmapInfo(int AWidth, int AHeight, int ABitsPerPixel) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = AWidth;
  info.bmiHeader.biHeight = -AHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(ABitsPerPixel);
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

TMaskBits ReadMaskBits(HDC ADC, HBITMAP AMask, int AWidth, int AHeight, int AFirstScan, int ALines) {
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colors[2];
  } info{};
  info.Header.biSize = sizeof(BITMAPINFOHEADER);
  info.Header.biWidth = AWidth;
  info.Header.biHeight = AHeight;
  info.Header.biPlanes = 1;
  info.Header.biBitCount = 1;
  info.Header.biCompression = BI_RGB;
  TMaskBits mask;
  mask.Stride = Stride(AWidth, 1);
  mask.Bits.resize(static_cast<size_t>(mask.Stride) * ALines);
  GetDIBits(ADC, AMask, AFirstScan, ALines, mask.Bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  return mask;
}
