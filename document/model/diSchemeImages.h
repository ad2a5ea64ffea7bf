// The element image lists: one strip of pictures per unit appended to three lists of 12, 16 and 32 pixels.
#pragma once

#include "foundation/cuSystem.h"
#include "graphics/pixels/pxTypes.h"

#include <memory>
#include <string_view>

// A pixel of a disabled command: grey (61 R + 174 G + 21 B) / 256 with 0.22 of its alpha, rounded. The lists hold
// straight alpha, so the colour needs no division by alpha and a transparent pixel stays transparent.
TColor32 GreyedPixel(TColor32 APixel);

class TCustomBitmap32;

// The picture a data element starts from when it has none: 60 x 40 pixels of red 160, green 160, blue 164.
// Written as the colour value 0xA4A0A0 (blue in the high byte) it is this ARGB value.
constexpr TColor32 BlankImageColor = 0xFFA0A0A4;
constexpr int BlankImageWidth = 60;
constexpr int BlankImageHeight = 40;
std::unique_ptr<TCustomBitmap32> CreateBlankImage();

#ifdef _WIN32
class TImageList;
class TStream;

class TSchemeImages : public TObject {
public:
  TSchemeImages(int AWidth, int AHeight);
  ~TSchemeImages() override;

  // The PNG strip of the RCDATA resource AName cut into images of the list's width; returns the first index.
  int AddFromResource(std::u16string_view AName);
  int AddFromStream(TStream& APng);
  // A list of the same size with a greyed copy of every image.
  std::unique_ptr<TSchemeImages> CreateGreyed() const;

  TImageList& List() const { return *FList; }
  int Width() const;
  int Height() const;
  int Count() const;

private:
  std::unique_ptr<TImageList> FList;
};

// The three lists and the first index of the engine's own strip in each, alive between InitializeSchemeImages
// and FinalizeSchemeImages.
extern std::unique_ptr<TSchemeImages> SchemeCharImages;
extern std::unique_ptr<TSchemeImages> SchemeSmallImages;
extern std::unique_ptr<TSchemeImages> SchemeLargeImages;
extern int ClassesCharImagesIndex;
extern int ClassesSmallImagesIndex;
extern int ClassesLargeImagesIndex;
void InitializeSchemeImages();
void FinalizeSchemeImages();
#endif
