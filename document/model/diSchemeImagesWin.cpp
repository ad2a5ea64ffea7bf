#include "document/model/diSchemeImagesWin.h"

#include "document/model/diSchemeImages.h"
#include "foundation/cuLocalizationWin.h"
#include "foundation/cuStreams.h"
#include "foundation/cuWin32.h"
#include "framework/fwBitmaps.h"
#include "framework/fwImageList.h"
#include "graphics/images/umGDIPlus.h"
#include "graphics/pixels/pxBackendsGDI.h"

#include <cstring>
#include <string>
#include <vector>

std::unique_ptr<TSchemeImages> SchemeCharImages;
std::unique_ptr<TSchemeImages> SchemeSmallImages;
std::unique_ptr<TSchemeImages> SchemeLargeImages;
int ClassesCharImagesIndex = -1;
int ClassesSmallImagesIndex = -1;
int ClassesLargeImagesIndex = -1;

namespace {

// Each colour times alpha, rounded down.
uint32_t Premultiplied(uint32_t APixel) {
  const uint32_t a = APixel >> 24;
  uint32_t result = APixel & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) result |= ((APixel >> shift & 0xFF) * a / 255) << shift;
  return result;
}

}  // namespace

TSchemeImages::TSchemeImages(int AWidth, int AHeight)
    : FList(std::make_unique<TImageList>(nullptr, AWidth, AHeight)), FAtlas(std::make_unique<TBitmap32>()) {}

TSchemeImages::~TSchemeImages() = default;

int TSchemeImages::Width() const { return FList->Width(); }
int TSchemeImages::Height() const { return FList->Height(); }
int TSchemeImages::Count() const { return FList->Count(); }

int TSchemeImages::AddFromStream(TStream& APng) {
  TStrip strip{};
  DecodePicture(APng, strip.Width, strip.Height, strip.Pixels);
  return AddStrip(std::move(strip));
}

int TSchemeImages::AddStrip(TStrip AStrip) {
  const int32_t w = AStrip.Width, h = AStrip.Height;
  TBitmap bitmap(w, h, TPixelFormat::pf32bit);
  bitmap.SetAlphaFormat(TAlphaFormat::afDefined);
  for (int y = 0; y < h; ++y)
    std::memcpy(bitmap.ScanLine(y), &AStrip.Pixels[static_cast<size_t>(y) * w], size_t(w) * 4);
  const int first = FList->Add(bitmap);
  if (first < 0) return first;
  // The list took the whole images the strip holds, from its left.
  const int32_t size = Width(), height = Height();
  const int32_t before = FAtlas->Width(), after = Count() * size;
  TBitmap32 grown;
  grown.SetSize(after, height);
  for (int32_t y = 0; y < height; ++y) {
    if (before > 0) std::memcpy(grown.ScanLine(y), FAtlas->ScanLine(y), size_t(before) * 4);
    for (int32_t x = 0; x < after - before; ++x)
      grown.ScanLine(y)[before + x] = y < h ? Premultiplied(AStrip.Pixels[static_cast<size_t>(y) * w + x]) : 0;
  }
  FAtlas->Assign(&grown);
  FStrips.push_back(std::move(AStrip));
  return first;
}

int TSchemeImages::AddFromResource(std::u16string_view AName) {
  std::unique_ptr<TStream> png = CreateResourceStream(nullptr, WStr(std::u16string(AName)), RT_RCDATA);
  return AddFromStream(*png);
}

std::unique_ptr<TSchemeImages> TSchemeImages::CreateGreyed() const {
  auto greyed = std::make_unique<TSchemeImages>(Width(), Height());
  for (TStrip strip : FStrips) {
    for (uint32_t& pixel : strip.Pixels) pixel = GreyedPixel(pixel);
    greyed->AddStrip(std::move(strip));
  }
  return greyed;
}

void InitializeSchemeImages() {
  SchemeCharImages = std::make_unique<TSchemeImages>(12, 12);
  SchemeSmallImages = std::make_unique<TSchemeImages>(16, 16);
  SchemeLargeImages = std::make_unique<TSchemeImages>(32, 32);
  ClassesCharImagesIndex = SchemeCharImages->AddFromResource(u"diClassesCharImages");
  ClassesSmallImagesIndex = SchemeSmallImages->AddFromResource(u"diClassesSmallImages");
  ClassesLargeImagesIndex = SchemeLargeImages->AddFromResource(u"diClassesLargeImages");
}

void FinalizeSchemeImages() {
  SchemeLargeImages.reset();
  SchemeSmallImages.reset();
  SchemeCharImages.reset();
  ClassesCharImagesIndex = ClassesSmallImagesIndex = ClassesLargeImagesIndex = -1;
}
