#include "graphics/images/umImageStrips.h"

#include <vector>

#include "framework/fwImageList.h"
#include "graphics/images/umGDIPlus.h"

void AddImageStripPng(TStream& APng, HIMAGELIST AImageList) {
  if (!GdiPlusAvailable()) throw EStreamError(u"The image strip cannot be decoded");
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  try {
    TGDIPlusImage image;
    APng.SetPosition(0);
    image.LoadFromStream(APng);
    image.GetSize(width, height);
    pixels.resize(size_t(std::max(width, 0)) * size_t(std::max(height, 0)));
    image.CopyPixels(pixels.data(), width, height);
  } catch (const EGdipException&) {
    throw EStreamError(u"The image strip cannot be decoded");
  }
  AddImageStripPixels(pixels, width, height, AImageList);
}
