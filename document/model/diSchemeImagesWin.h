// The element image lists: one strip of pictures per unit appended to three lists of 12, 16 and 32 pixels.
#pragma once

#include "foundation/cuSystem.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class TBitmap32;
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
  // The images side by side in list order, each colour multiplied by its alpha as the list draws them: the sheet
  // blends them itself, for the list draws each through two device contexts and two bitmaps of its own.
  const TBitmap32& Atlas() const { return *FAtlas; }
  int Width() const;
  int Height() const;
  int Count() const;

 private:
  struct TStrip {
    int32_t Width, Height;
    std::vector<uint32_t> Pixels;
  };
  int AddStrip(TStrip AStrip);

  std::unique_ptr<TImageList> FList;
  // The pixels of every strip added, kept for the greyed copies: read back from the list one image at a time,
  // they cost the start several milliseconds.
  std::vector<TStrip> FStrips;
  std::unique_ptr<TBitmap32> FAtlas;
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
