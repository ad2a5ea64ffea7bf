#include "framework/fwImageList.h"

#include <algorithm>

TChangeLink::~TChangeLink() {
  if (FSender) FSender->UnRegisterChanges(this);
}

TImageList::TImageList(TComponent* AOwner, int AWidth, int AHeight)
    : TComponent(AOwner), FWidth(std::max(AWidth, 1)), FHeight(std::max(AHeight, 1)) {
  CreateList();
}

TImageList::~TImageList() {
  for (TChangeLink* link : FLinks) link->FSender = nullptr;
  if (FHandle) ImageList_Destroy(FHandle);
}

void TImageList::CreateList() {
  FHandle = ImageList_Create(FWidth, FHeight, ILC_COLOR32 | ILC_MASK, 0, 4);
  if (!FHandle) throw EOSError(u"Cannot create an image list", GetLastError());
  ImageList_SetBkColor(FHandle, CLR_NONE);
}

void TImageList::SetSize(int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 1);
  AHeight = std::max(AHeight, 1);
  if (AWidth == FWidth && AHeight == FHeight) return;
  ImageList_Destroy(FHandle);
  FHandle = nullptr;
  FWidth = AWidth;
  FHeight = AHeight;
  CreateList();
  Change();
}

int TImageList::Count() const { return ImageList_GetImageCount(FHandle); }

void TImageList::CheckIndex(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) throw EProgrammingError(Format(u"Image index out of range (%d)", {AIndex}));
}

int TImageList::Add(const TBitmap& AImage, const TBitmap* AMask) {
  if (AImage.Empty() || AImage.Width() < FWidth) return -1;
  int index = ImageList_Add(FHandle, AImage.Handle(), AMask ? AMask->Handle() : nullptr);
  if (index < 0) throw EOSError(u"Cannot add an image to the image list", GetLastError());
  Change();
  return index;
}

int TImageList::AddMasked(const TBitmap& AImage, TColor AMaskColor) {
  if (AImage.Empty() || AImage.Width() < FWidth) return -1;
  // comctl32 blackens the masked pixels of the bitmap it is given: hand it a copy.
  TBitmap copy;
  copy.Assign(&AImage);
  int index = ImageList_AddMasked(FHandle, copy.Handle(), ColorToRef(AMaskColor));
  if (index < 0) throw EOSError(u"Cannot add an image to the image list", GetLastError());
  Change();
  return index;
}

int TImageList::AddIcon(const TIcon& AIcon) {
  if (AIcon.Empty()) return -1;
  int index = ImageList_AddIcon(FHandle, AIcon.Handle());
  if (index < 0) throw EOSError(u"Cannot add an icon to the image list", GetLastError());
  Change();
  return index;
}

int TImageList::AddImageStrip(const TBitmap& AStrip) {
  int first = Count();
  ::AddImageStrip(AStrip.Handle(), FHandle);
  if (Count() != first) Change();
  return first;
}

void TImageList::Delete(int AIndex) {
  CheckIndex(AIndex);
  ImageList_Remove(FHandle, AIndex);
  Change();
}

void TImageList::Clear() {
  if (Count() == 0) return;
  ImageList_Remove(FHandle, -1);
  Change();
}

void TImageList::GetBitmap(int AIndex, TBitmap& ADest) const {
  CheckIndex(AIndex);
  IMAGEINFO info{};
  ImageList_GetImageInfo(FHandle, AIndex, &info);
  BITMAP listBitmap{};
  GetObjectW(info.hbmImage, sizeof(listBitmap), &listBitmap);
  int w = info.rcImage.right - info.rcImage.left, h = info.rcImage.bottom - info.rcImage.top;
  // Bottom-up reads: scan 0 is the list bitmap's last row, so this image's rows start at height - bottom.
  int firstScan = listBitmap.bmHeight - info.rcImage.bottom;
  HDC screen = GetDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = listBitmap.bmWidth;
  bi.bmiHeader.biHeight = listBitmap.bmHeight;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> color(static_cast<size_t>(listBitmap.bmWidth) * h);
  GetDIBits(screen, info.hbmImage, firstScan, h, color.data(), &bi, DIB_RGB_COLORS);
  TMaskBits mask;
  if (info.hbmMask) mask = ReadMaskBits(screen, info.hbmMask, listBitmap.bmWidth, listBitmap.bmHeight, firstScan, h);
  ReleaseDC(nullptr, screen);

  ADest.SetPixelFormat(TPixelFormat::pf32bit);
  ADest.SetSize(w, h);
  bool hasAlpha = false;
  for (int y = 0; y < h && !hasAlpha; ++y)
    for (int x = 0; x < w && !hasAlpha; ++x)
      hasAlpha = (color[static_cast<size_t>(y) * listBitmap.bmWidth + info.rcImage.left + x] >> 24) != 0;
  for (int y = 0; y < h; ++y) {
    int row = h - 1 - y;  // bottom-up buffer
    auto* dest = static_cast<uint32_t*>(ADest.ScanLine(y));
    for (int x = 0; x < w; ++x) {
      int lx = info.rcImage.left + x;
      uint32_t pixel = color[static_cast<size_t>(row) * listBitmap.bmWidth + lx];
      if (!hasAlpha) {
        bool transparent = !mask.Bits.empty() && mask.Transparent(lx, row);
        pixel = (pixel & 0x00FFFFFF) | (transparent ? 0 : 0xFF000000u);
      }
      dest[x] = pixel;
    }
  }
  ADest.SetAlphaFormat(TAlphaFormat::afDefined);
}

void TImageList::Draw(TCanvas& ACanvas, int X, int Y, int AIndex, TImageDrawState AState) {
  if (AIndex < 0 || AIndex >= Count()) return;
  if (AState != TImageDrawState::idsDisabled) {
    UINT style = ILD_TRANSPARENT | (AState == TImageDrawState::idsFocused ? ILD_FOCUS : 0);
    ImageList_Draw(FHandle, AIndex, ACanvas.Handle(), X, Y, style);
    return;
  }
  TBitmap image;
  GetBitmap(AIndex, image);
  for (int y = 0; y < image.Height(); ++y) {
    auto* row = static_cast<uint8_t*>(image.ScanLine(y));
    for (int x = 0; x < image.Width(); ++x) {
      uint8_t* p = row + 4 * x;
      auto grey = static_cast<uint8_t>((p[2] * 77 + p[1] * 151 + p[0] * 28) >> 8);
      p[0] = p[1] = p[2] = grey;
      p[3] = static_cast<uint8_t>((p[3] + 1) / 2);
    }
  }
  ACanvas.Draw(X, Y, image);
}

void TImageList::RegisterChanges(TChangeLink* ALink) {
  if (!ALink || ALink->FSender == this) return;
  if (ALink->FSender) ALink->FSender->UnRegisterChanges(ALink);
  ALink->FSender = this;
  FLinks.push_back(ALink);
}

void TImageList::UnRegisterChanges(TChangeLink* ALink) {
  auto it = std::find(FLinks.begin(), FLinks.end(), ALink);
  if (it == FLinks.end()) return;
  FLinks.erase(it);
  ALink->FSender = nullptr;
}

void TImageList::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0 && FChanged) Change();
}

void TImageList::Change() {
  if (FUpdateCount > 0) {
    FChanged = true;
    return;
  }
  FChanged = false;
  if (OnChange) OnChange(this);
  std::vector<TChangeLink*> links = FLinks;
  for (TChangeLink* link : links)
    if (std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end() && link->OnChange) link->OnChange(this);
}

// ---------------------------------------------------------------------------------------------------------------
// Image strips

namespace {

struct TScreenDC {
  HDC DC = GetDC(nullptr);
  ~TScreenDC() { ReleaseDC(nullptr, DC); }
};

struct TOwnedBitmap {
  HBITMAP Handle;
  ~TOwnedBitmap() {
    if (Handle) DeleteObject(Handle);
  }
};

bool HasPartialAlpha(std::span<const uint32_t> APixels) {
  return std::any_of(APixels.begin(), APixels.end(), [](uint32_t p) { return (p >> 24) != 0xFF; });
}

void AddTiles(std::span<const uint32_t> APixels, int AWidth, int AHeight, bool AAlpha, HIMAGELIST AImageList) {
  int tileWidth = 0, tileHeight = 0;
  if (!ImageList_GetIconSize(AImageList, &tileWidth, &tileHeight) || tileWidth <= 0 || tileHeight <= 0)
    throw EProgrammingError(u"The image list has no image size");
  const BITMAPINFO info = TopDownBitmapInfo(tileWidth, tileHeight);
  TScreenDC screen;
  for (int row = 0; row < AHeight / tileHeight; ++row)
    for (int column = 0; column < AWidth / tileWidth; ++column) {
      void* bits = nullptr;
      TOwnedBitmap tile{CreateDIBSection(screen.DC, &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
      if (!tile.Handle) throw EOSError(u"Cannot create an image tile", GetLastError());
      auto* target = static_cast<uint32_t*>(bits);
      for (int y = 0; y < tileHeight; ++y) {
        const uint32_t* source = &APixels[size_t(row * tileHeight + y) * AWidth + size_t(column) * tileWidth];
        for (int x = 0; x < tileWidth; ++x) target[y * tileWidth + x] = AAlpha ? source[x] : source[x] & 0x00FFFFFF;
      }
      int added;
      if (AAlpha) {
        added = ImageList_Add(AImageList, tile.Handle, nullptr);
      } else {
        const uint32_t corner = target[(tileHeight - 1) * tileWidth];
        const COLORREF transparent = RGB((corner >> 16) & 0xFF, (corner >> 8) & 0xFF, corner & 0xFF);
        added = ImageList_AddMasked(AImageList, tile.Handle, transparent);
      }
      if (added < 0) throw EOSError(u"Cannot add an image to the image list", GetLastError());
    }
}

}  // namespace

void AddImageStrip(HBITMAP ABitmap, HIMAGELIST AImageList) {
  BITMAP header{};
  if (!GetObjectW(ABitmap, sizeof(header), &header)) throw EProgrammingError(u"Not a bitmap");
  std::vector<uint32_t> pixels(size_t(header.bmWidth) * header.bmHeight);
  BITMAPINFO info = TopDownBitmapInfo(header.bmWidth, header.bmHeight);
  TScreenDC screen;
  if (!pixels.empty() &&
      GetDIBits(screen.DC, ABitmap, 0, header.bmHeight, pixels.data(), &info, DIB_RGB_COLORS) != header.bmHeight)
    throw EOSError(u"Cannot read the image strip", GetLastError());
  // Only a 32-bit bitmap carries alpha; one whose alpha is all zero carries none.
  const bool alpha = header.bmBitsPixel == 32 &&
                     std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 24) != 0; }) &&
                     HasPartialAlpha(pixels);
  AddTiles(pixels, header.bmWidth, header.bmHeight, alpha, AImageList);
}

void AddImageStripPixels(std::span<const uint32_t> APixels, int AWidth, int AHeight, HIMAGELIST AImageList) {
  const size_t count = size_t(std::max(AWidth, 0)) * size_t(std::max(AHeight, 0));
  if (APixels.size() < count) throw EProgrammingError(u"The strip's pixels do not fill its size");
  AddTiles(APixels.first(count), AWidth, AHeight, HasPartialAlpha(APixels.first(count)), AImageList);
}
