#include "document/model/diSchemeImages.h"

#include "graphics/pixels/pxBitmap.h"

#include <algorithm>
#include <cmath>

TColor32 GreyedPixel(TColor32 APixel) {
  const uint32_t r = (APixel >> 16) & 0xFF, g = (APixel >> 8) & 0xFF, b = APixel & 0xFF;
  const uint32_t grey = (61 * r + 174 * g + 21 * b) >> 8;
  const uint32_t alpha = std::min<uint32_t>(255, static_cast<uint32_t>(std::lround((APixel >> 24) * 0.22)));
  return alpha << 24 | grey << 16 | grey << 8 | grey;
}

std::unique_ptr<TCustomBitmap32> CreateBlankImage() {
  auto image = std::make_unique<TCustomBitmap32>();
  image->SetSize(BlankImageWidth, BlankImageHeight);
  image->Clear(BlankImageColor);
  return image;
}
