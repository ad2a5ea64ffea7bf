#include "document/model/diSchemeImagesWin.h"

#include "document/model/diSchemeImages.h"
#include "foundation/cuLocalizationWin.h"
#include "foundation/cuStreams.h"
#include "foundation/cuWin32.h"
#include "framework/fwBitmaps.h"
#include "framework/fwImageList.h"
#include "graphics/images/umGDIPlus.h"

#include <cstring>
#include <string>
#include <vector>

std::unique_ptr<TSchemeImages> SchemeCharImages;
std::unique_ptr<TSchemeImages> SchemeSmallImages;
std::unique_ptr<TSchemeImages> SchemeLargeImages;
int ClassesCharImagesIndex = -1;
int ClassesSmallImagesIndex = -1;
int ClassesLargeImagesIndex = -1;

TSchemeImages::TSchemeImages(int AWidth, int AHeight) : FList(std::make_unique<TImageList>(nullptr, AWidth, AHeight)) {}

TSchemeImages::~TSchemeImages() = default;

int TSchemeImages::Width() const { return FList->Width(); }
int TSchemeImages::Height() const { return FList->Height(); }
int TSchemeImages::Count() const { return FList->Count(); }

int TSchemeImages::AddFromStream(TStream& APng) {
  int32_t w = 0, h = 0;
  std::vector<uint32_t> pixels;
  DecodePicture(APng, w, h, pixels);
  TBitmap strip(w, h, TPixelFormat::pf32bit);
  strip.SetAlphaFormat(TAlphaFormat::afDefined);
  for (int y = 0; y < h; ++y) std::memcpy(strip.ScanLine(y), &pixels[static_cast<size_t>(y) * w], size_t(w) * 4);
  return FList->Add(strip);
}

int TSchemeImages::AddFromResource(std::u16string_view AName) {
  std::unique_ptr<TStream> png = CreateResourceStream(nullptr, WStr(std::u16string(AName)), RT_RCDATA);
  return AddFromStream(*png);
}

std::unique_ptr<TSchemeImages> TSchemeImages::CreateGreyed() const {
  auto greyed = std::make_unique<TSchemeImages>(Width(), Height());
  for (int i = 0; i < Count(); ++i) {
    TBitmap image;
    FList->GetBitmap(i, image);
    for (int y = 0; y < image.Height(); ++y) {
      auto* row = static_cast<uint32_t*>(image.ScanLine(y));
      for (int x = 0; x < image.Width(); ++x) row[x] = GreyedPixel(row[x]);
    }
    greyed->FList->Add(image);
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
