#pragma once
// Builders of small icon and BMP files, byte by byte, for the image tests.

#include <cstdint>
#include <initializer_list>
#include <vector>

using TBytes = std::vector<uint8_t>;

inline void Put16(TBytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(TBytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

inline void PutBytes(TBytes& b, const TBytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A 40-byte information header. Height is the stored value (twice the picture in an icon frame).
inline TBytes InfoHeader(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression = 0,
                         uint32_t colorsUsed = 0, uint32_t imageSize = 0) {
  TBytes b;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(width));
  Put32(b, static_cast<uint32_t>(height));
  Put16(b, 1);
  Put16(b, bitCount);
  Put32(b, compression);
  Put32(b, imageSize);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, colorsUsed);
  Put32(b, 0);
  return b;
}

// Colour-table entries given as 0x00RRGGBB.
inline TBytes Palette(std::initializer_list<uint32_t> colors) {
  TBytes b;
  for (uint32_t c : colors) Put32(b, c & 0xFFFFFF);
  return b;
}

struct TIconPart {
  uint8_t Width = 0;  // directory byte (0 = 256)
  uint8_t Height = 0;
  uint16_t BitCount = 0;
  TBytes Data;
  uint32_t DeclaredSize = 0;  // 0: the data's size
};

inline TBytes IconFile(const std::vector<TIconPart>& parts, uint16_t type = 1) {
  TBytes b;
  Put16(b, 0);
  Put16(b, type);
  Put16(b, static_cast<uint32_t>(parts.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(parts.size());
  for (const TIconPart& p : parts) {
    const uint32_t size = p.DeclaredSize ? p.DeclaredSize : static_cast<uint32_t>(p.Data.size());
    b.push_back(p.Width);
    b.push_back(p.Height);
    b.push_back(0);
    b.push_back(0);
    Put16(b, 1);
    Put16(b, p.BitCount);
    Put32(b, size);
    Put32(b, offset);
    offset += size;
  }
  for (const TIconPart& p : parts) PutBytes(b, p.Data);
  return b;
}

// A BMP file around an information header with everything after it (masks, colour table, pixels); the pixel data
// offset is the end of Header plus Gap bytes of padding, unless DataOffset is given.
inline TBytes BmpFile(const TBytes& header, const TBytes& table, const TBytes& pixels, uint32_t gap = 0,
                      int64_t dataOffset = -1) {
  TBytes b{'B', 'M'};
  const uint32_t offset = dataOffset >= 0 ? static_cast<uint32_t>(dataOffset)
                                          : 14 + static_cast<uint32_t>(header.size() + table.size()) + gap;
  Put32(b, static_cast<uint32_t>(14 + header.size() + table.size() + gap + pixels.size()));
  Put32(b, 0);
  Put32(b, offset);
  PutBytes(b, header);
  PutBytes(b, table);
  b.insert(b.end(), gap, 0xEE);
  PutBytes(b, pixels);
  return b;
}

// A valid 1 x 1 PNG signature and header start: enough for the icon reader, which only looks at the signature.
inline TBytes PngSignatureBytes() { return {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}; }
