#include "graphics/images/umImageStrips.h"

#include <vector>

#include "framework/fwImageList.h"
#include "graphics/images/umGDIPlus.h"

void AddImageStripPng(TStream& APng, HIMAGELIST AImageList) {
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  try {
    APng.SetPosition(0);
    DecodePicture(APng, width, height, pixels);
  } catch (const EGdipException&) {
    throw EStreamError(u"The image strip cannot be decoded");
  }
  AddImageStripPixels(pixels, width, height, AImageList);
}
