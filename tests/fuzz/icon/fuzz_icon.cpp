// Feeds arbitrary bytes to the icon, BMP and GIF header code and decodes every frame they accept into a buffer of
// exactly the size they report: the sanitizers catch any read or write outside the input or the buffer.
#include "graphics/pixels/pxImageFormats.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace {
// Huge pictures with little data (run-length bitmaps) are valid; decoding them only slows the search down.
constexpr size_t MaxFuzzPixels = size_t(1) << 22;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);

  TIconLayout icon;
  ReadIcon(bytes, icon);
  for (const TIconFrameLayout& frame : icon.Frames) {
    if (frame.IsPng || static_cast<size_t>(frame.Width()) * static_cast<size_t>(frame.Height()) > MaxFuzzPixels)
      continue;
    std::vector<uint32_t> pixels(static_cast<size_t>(frame.Width()) * static_cast<size_t>(frame.Height()));
    DecodeIconFrame(bytes, frame, pixels.data());
  }
  TImageFormatError error;
  IconBytesNeeded(bytes, error);

  TDibLayout bmp;
  if (ReadBmp(bytes, bmp) == TImageFormatError::None &&
      static_cast<size_t>(bmp.Width) * static_cast<size_t>(bmp.Height) <= MaxFuzzPixels) {
    std::vector<uint32_t> pixels(static_cast<size_t>(bmp.Width) * static_cast<size_t>(bmp.Height));
    DecodeDib(bytes, bmp, pixels.data());
  }

  std::vector<uint8_t> gif(bytes.begin(), bytes.end());
  SetGifTransparentIndex(gif, 0);
  return 0;
}
