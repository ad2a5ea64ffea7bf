// Feeds arbitrary bytes to the PNG reader: the sanitizers catch any read outside the input or write outside the
// pixels, and a picture it accepts must come with exactly Width x Height pixels and sides within the limits. Each
// input is read as it is and again with every chunk's checksum made right, or mutations would rarely get past them.
#include "graphics/pixels/pxPngReader.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

std::vector<uint8_t> WithChecksumsMadeRight(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  size_t position = 8;
  while (size >= position + 12) {
    const uint64_t length = Be32(bytes.data() + position);
    if (length > size - position - 12) break;
    uint8_t* crc = bytes.data() + position + 8 + length;
    const uint32_t value = static_cast<uint32_t>(crc32(0, bytes.data() + position + 4, static_cast<uInt>(length + 4)));
    for (int i = 0; i < 4; ++i) crc[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    position += 12 + length;
  }
  return bytes;
}

void Check(std::span<const uint8_t> bytes) {
  int32_t width = -1;
  int32_t height = -1;
  std::vector<uint32_t> pixels(1);
  if (ReadPng(bytes, width, height, pixels) == TImageFormatError::None) {
    if (width <= 0 || height <= 0 || width > MaxImageSide || height > MaxImageSide ||
        pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
      std::abort();
  } else if (width != 0 || height != 0 || !pixels.empty()) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(std::span<const uint8_t>(data, size));
  Check(WithChecksumsMadeRight(data, size));
  return 0;
}
