#include "graphics/pixels/pxImageFormats.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Bit X of a row of 1-bit pixels, the leftmost pixel in the highest bit.
bool MaskBit(const uint8_t* row, size_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

bool Fits(std::span<const uint8_t> data, uint64_t offset, uint64_t size) {
  return offset <= data.size() && size <= data.size() - offset;
}

constexpr uint8_t PngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t MngSignature[8] = {0x8A, 0x4D, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

constexpr uint32_t DibCoreHeaderSize = 12;

// How one colour channel sits in a 16- or 32-bit pixel.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;  // the channel's largest value after the shift

  explicit TChannel(uint32_t mask) : Mask(mask) {
    if (mask != 0) {
      Shift = std::countr_zero(mask);
      Max = mask >> Shift;
    }
  }
  uint32_t Get(uint32_t pixel, uint32_t missing) const {
    if (Max == 0) return missing;
    const uint32_t v = (pixel & Mask) >> Shift;
    if (Max == 255) return v;
    return static_cast<uint32_t>((static_cast<uint64_t>(v) * 255 + Max / 2) / Max);
  }
};

bool ValidMask(uint32_t mask, uint16_t bitCount) {
  if (mask == 0) return true;
  if (bitCount == 16 && mask > 0xFFFF) return false;
  const uint32_t shifted = mask >> std::countr_zero(mask);
  return (shifted & (shifted + 1)) == 0;  // one run of set bits
}

TImageFormatError BadHeader(bool iconFrame) {
  return iconFrame ? TImageFormatError::BadIcon : TImageFormatError::BadBitmap;
}

// Colour table as opaque 32-bit colours; indices past the stored table read opaque black.
std::array<uint32_t, 256> ReadPalette(std::span<const uint8_t> data, const TDibLayout& layout) {
  std::array<uint32_t, 256> palette;
  palette.fill(0xFF000000u);
  const uint32_t count = std::min<uint32_t>(layout.PaletteCount, 256);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = data.data() + layout.PaletteOffset + static_cast<uint64_t>(i) * layout.PaletteEntrySize;
    palette[i] = 0xFF000000u | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
  }
  return palette;
}

void DecodeRow(const uint8_t* row, const TDibLayout& layout, const std::array<uint32_t, 256>& palette,
               const TChannel (&channels)[4], uint32_t* out) {
  const int32_t width = layout.Width;
  switch (layout.BitCount) {
    case 1:
      for (int32_t x = 0; x < width; ++x) out[x] = palette[MaskBit(row, static_cast<size_t>(x))];
      break;
    case 4:
      for (int32_t x = 0; x < width; ++x) out[x] = palette[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)];
      break;
    case 8:
      for (int32_t x = 0; x < width; ++x) out[x] = palette[row[x]];
      break;
    case 16:
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t v = Le16(row + 2 * x);
        out[x] = (channels[3].Get(v, 255) << 24) | (channels[0].Get(v, 0) << 16) | (channels[1].Get(v, 0) << 8) |
                 channels[2].Get(v, 0);
      }
      break;
    case 24:
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t* p = row + 3 * x;
        out[x] = 0xFF000000u | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
      }
      break;
    case 32:
      if (layout.Compression == DibRgb) {
        for (int32_t x = 0; x < width; ++x) out[x] = Le32(row + 4 * x);
      } else {
        for (int32_t x = 0; x < width; ++x) {
          const uint32_t v = Le32(row + 4 * x);
          out[x] = (channels[3].Get(v, 255) << 24) | (channels[0].Get(v, 0) << 16) | (channels[1].Get(v, 0) << 8) |
                   channels[2].Get(v, 0);
        }
      }
      break;
    default:
      break;
  }
}

TImageFormatError DecodeRle(std::span<const uint8_t> data, const TDibLayout& layout,
                            const std::array<uint32_t, 256>& palette, uint32_t* dest) {
  const bool four = layout.Compression == DibRle4;
  const int64_t width = layout.Width;
  const int64_t height = layout.Height;
  const uint8_t* p = data.data() + layout.PixelOffset;
  const uint8_t* const end = p + layout.PixelSize;
  int64_t x = 0;
  int64_t y = 0;  // stored rows count from the bottom
  auto put = [&](uint32_t index) {
    if (x < width && y < height) dest[(height - 1 - y) * width + x] = palette[index];
    ++x;
  };
  while (y < height) {
    if (end - p < 2) return TImageFormatError::Truncated;
    const uint8_t count = p[0];
    const uint8_t value = p[1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(four ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
      continue;
    }
    switch (value) {
      case 0:
        x = 0;
        ++y;
        break;
      case 1:
        return TImageFormatError::None;
      case 2:
        if (end - p < 2) return TImageFormatError::Truncated;
        x += p[0];
        y += p[1];
        p += 2;
        break;
      default: {
        const int64_t bytes = four ? (value + 1) / 2 : value;
        const int64_t padded = bytes + (bytes & 1);
        if (end - p < padded) return TImageFormatError::Truncated;
        for (int i = 0; i < value; ++i) put(four ? ((i & 1) ? (p[i >> 1] & 0x0F) : (p[i >> 1] >> 4)) : p[i]);
        p += padded;
        break;
      }
    }
  }
  return TImageFormatError::None;
}

}  // namespace

TImageFormatError ReadDibHeader(std::span<const uint8_t> data, bool iconFrame, TDibLayout& layout) {
  layout = TDibLayout();
  if (data.size() < 4) return TImageFormatError::Truncated;
  uint32_t headerSize = Le32(data.data());
  if (iconFrame) {
    // An icon frame's header is an information header; only its longer variants move the colour table.
    if (headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124) headerSize = DibInfoHeaderSize;
  } else if (headerSize == 64) {
    return TImageFormatError::Unsupported;
  } else if (headerSize != DibCoreHeaderSize && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
             headerSize != 108 && headerSize != 124) {
    return TImageFormatError::BadBitmap;
  }
  if (data.size() < headerSize) return TImageFormatError::Truncated;
  const uint8_t* h = data.data();
  layout.HeaderSize = headerSize;

  int64_t width;
  int64_t height;
  uint32_t colorsUsed = 0;
  if (headerSize == DibCoreHeaderSize) {
    width = Le16(h + 4);
    height = Le16(h + 6);
    layout.BitCount = Le16(h + 10);
    layout.PaletteEntrySize = 3;
  } else {
    width = static_cast<int32_t>(Le32(h + 4));
    height = static_cast<int32_t>(Le32(h + 8));
    layout.BitCount = Le16(h + 14);
    layout.Compression = Le32(h + 16);
    colorsUsed = Le32(h + 32);
  }
  if (iconFrame) height /= 2;
  if (height < 0) {
    layout.TopDown = true;
    height = -height;
  }
  if (width <= 0 || height == 0) return BadHeader(iconFrame);
  if (!WithinImageLimits(static_cast<uint64_t>(width), static_cast<uint64_t>(height)))
    return TImageFormatError::TooLarge;
  layout.Width = static_cast<int32_t>(width);
  layout.Height = static_cast<int32_t>(height);

  const uint16_t bc = layout.BitCount;
  if (layout.Compression == 4 || layout.Compression == 5) return TImageFormatError::Unsupported;  // JPEG, PNG
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return BadHeader(iconFrame);
  if (headerSize == DibCoreHeaderSize && (bc == 16 || bc == 32)) return TImageFormatError::BadBitmap;

  uint32_t maskBytes = 0;
  switch (layout.Compression) {
    case DibRgb:
      break;
    case DibRle8:
    case DibRle4:
      if (iconFrame || layout.TopDown) return TImageFormatError::Unsupported;
      if (bc != (layout.Compression == DibRle8 ? 8 : 4)) return BadHeader(iconFrame);
      break;
    case DibBitfields:
    case DibAlphaBitfields:
      if (bc != 16 && bc != 32) return BadHeader(iconFrame);
      // In the plain information header the masks follow it; longer headers hold them.
      if (headerSize == DibInfoHeaderSize) maskBytes = layout.Compression == DibBitfields ? 12 : 16;
      break;
    default:
      return BadHeader(iconFrame);
  }
  if (!Fits(data, headerSize, maskBytes)) return TImageFormatError::Truncated;

  if (layout.Compression == DibBitfields || layout.Compression == DibAlphaBitfields) {
    const uint8_t* m = headerSize == DibInfoHeaderSize ? h + headerSize : h + 40;
    const uint32_t maskCount = headerSize == DibInfoHeaderSize ? maskBytes / 4 : (headerSize >= 56 ? 4 : 3);
    for (uint32_t i = 0; i < maskCount; ++i) layout.Masks[i] = Le32(m + 4 * i);
    for (uint32_t mask : layout.Masks)
      if (!ValidMask(mask, bc)) return BadHeader(iconFrame);
    layout.StoredAlpha = layout.Masks[3] != 0;
  } else if (bc == 16) {
    layout.Masks[0] = 0x7C00;
    layout.Masks[1] = 0x03E0;
    layout.Masks[2] = 0x001F;
  } else if (bc == 32) {
    layout.Masks[0] = 0x00FF0000;
    layout.Masks[1] = 0x0000FF00;
    layout.Masks[2] = 0x000000FF;
    layout.StoredAlpha = true;
  }

  // In a BMP the table may be shorter than the bit count allows, and past 8 bits it is only a hint, skipped over.
  // An icon frame's table always has the full size of its bit count, and none past 8 bits: its colour count plays
  // no part.
  uint32_t colors = iconFrame ? 0 : std::min<uint32_t>(colorsUsed, 256);
  if (colors == 0 && bc <= 8) colors = 1u << bc;
  if (bc <= 8) colors = std::min<uint32_t>(colors, 1u << bc);
  layout.PaletteOffset = static_cast<uint64_t>(headerSize) + maskBytes;
  layout.PaletteCount = bc <= 8 ? colors : 0;
  const uint64_t paletteBytes = static_cast<uint64_t>(colors) * layout.PaletteEntrySize;
  if (!Fits(data, layout.PaletteOffset, paletteBytes)) return TImageFormatError::Truncated;

  layout.Stride = (static_cast<uint64_t>(width) * bc + 31) / 32 * 4;
  layout.PixelOffset = layout.PaletteOffset + paletteBytes;
  if (layout.Compression == DibRle8 || layout.Compression == DibRle4)
    layout.PixelSize = headerSize >= DibInfoHeaderSize ? Le32(h + 20) : 0;
  else
    layout.PixelSize = layout.Stride * static_cast<uint64_t>(height);
  return TImageFormatError::None;
}

TImageFormatError ReadBmp(std::span<const uint8_t> data, TDibLayout& layout) {
  layout = TDibLayout();
  if (data.size() < BmpFileHeaderSize) return TImageFormatError::Truncated;
  if (data[0] != 'B' || data[1] != 'M') return TImageFormatError::BadBitmap;
  const uint32_t dataOffset = Le32(data.data() + 10);
  const TImageFormatError error = ReadDibHeader(data.subspan(BmpFileHeaderSize), false, layout);
  if (error != TImageFormatError::None) return error;
  layout.PaletteOffset += BmpFileHeaderSize;
  layout.PixelOffset += BmpFileHeaderSize;
  if (dataOffset != 0) {
    if (dataOffset < BmpFileHeaderSize + layout.HeaderSize) return TImageFormatError::BadBitmap;
    layout.PixelOffset = dataOffset;
  }
  const bool rle = layout.Compression == DibRle8 || layout.Compression == DibRle4;
  if (rle && layout.PixelSize == 0) {
    if (layout.PixelOffset > data.size()) return TImageFormatError::Truncated;
    layout.PixelSize = data.size() - layout.PixelOffset;
  }
  if (!Fits(data, layout.PixelOffset, layout.PixelSize)) return TImageFormatError::Truncated;
  return TImageFormatError::None;
}

TImageFormatError DecodeDib(std::span<const uint8_t> data, const TDibLayout& layout, uint32_t* dest) {
  if (layout.Width <= 0 || layout.Height <= 0) return TImageFormatError::BadBitmap;
  if (!Fits(data, layout.PixelOffset, layout.PixelSize) ||
      !Fits(data, layout.PaletteOffset, static_cast<uint64_t>(layout.PaletteCount) * layout.PaletteEntrySize))
    return TImageFormatError::Truncated;
  const std::array<uint32_t, 256> palette = ReadPalette(data, layout);
  const size_t width = static_cast<size_t>(layout.Width);
  const size_t height = static_cast<size_t>(layout.Height);

  if (layout.Compression == DibRle8 || layout.Compression == DibRle4) {
    std::fill(dest, dest + width * height, 0u);
    return DecodeRle(data, layout, palette, dest);
  }
  if (layout.Stride * height > layout.PixelSize) return TImageFormatError::Truncated;
  const TChannel channels[4] = {TChannel(layout.Masks[0]), TChannel(layout.Masks[1]), TChannel(layout.Masks[2]),
                                TChannel(layout.Masks[3])};
  for (size_t row = 0; row < height; ++row) {
    const uint8_t* src = data.data() + layout.PixelOffset + row * layout.Stride;
    const size_t y = layout.TopDown ? row : height - 1 - row;
    DecodeRow(src, layout, palette, channels, dest + y * width);
  }
  return TImageFormatError::None;
}

uint64_t IconBytesNeeded(std::span<const uint8_t> directory, TImageFormatError& error) {
  error = TImageFormatError::Truncated;
  if (directory.size() < 6) return 0;
  const uint64_t count = Le16(directory.data() + 4);
  const uint64_t directoryEnd = 6 + 16 * count;
  if (directory.size() < directoryEnd) return 0;
  uint64_t total = directoryEnd;
  for (uint64_t i = 0; i < count; ++i) total += Le32(directory.data() + 6 + 16 * i + 8);
  error = TImageFormatError::None;
  return total;
}

TImageFormatError ReadIcon(std::span<const uint8_t> data, TIconLayout& layout) {
  layout = TIconLayout();
  if (data.size() < 6) return TImageFormatError::Truncated;
  layout.Type = Le16(data.data() + 2);
  const uint32_t count = Le16(data.data() + 4);
  const uint64_t directoryEnd = 6 + 16 * static_cast<uint64_t>(count);
  if (data.size() < directoryEnd) return TImageFormatError::Truncated;

  uint64_t position = directoryEnd;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = data.data() + 6 + 16 * static_cast<uint64_t>(i);
    TIconFrameLayout frame;
    frame.Entry.Width = e[0] ? e[0] : 256;
    frame.Entry.Height = e[1] ? e[1] : 256;
    frame.Entry.BitCount = Le16(e + 6);
    frame.Entry.Size = Le32(e + 8);
    frame.Offset = position;
    if (!Fits(data, position, frame.Entry.Size)) return TImageFormatError::Truncated;
    const std::span<const uint8_t> bytes = data.subspan(position, frame.Entry.Size);
    position += frame.Entry.Size;

    if (bytes.size() >= 8 &&
        (std::memcmp(bytes.data(), PngSignature, 8) == 0 || std::memcmp(bytes.data(), MngSignature, 8) == 0)) {
      frame.IsPng = true;
      layout.Frames.push_back(frame);
      continue;
    }
    TImageFormatError error = ReadDibHeader(bytes, true, frame.Dib);
    if (error == TImageFormatError::Truncated) error = TImageFormatError::BadIcon;
    if (error != TImageFormatError::None) return error;
    frame.MaskStride = (static_cast<uint64_t>(frame.Dib.Width) + 31) / 32 * 4;
    frame.MaskOffset = frame.Dib.PixelOffset + frame.Dib.PixelSize;
    if (!Fits(bytes, frame.MaskOffset, frame.MaskStride * static_cast<uint64_t>(frame.Dib.Height)))
      return TImageFormatError::BadIcon;
    layout.Frames.push_back(frame);
  }
  return TImageFormatError::None;
}

TImageFormatError DecodeIconFrame(std::span<const uint8_t> data, const TIconFrameLayout& frame, uint32_t* dest) {
  if (frame.IsPng) return TImageFormatError::Unsupported;
  if (!Fits(data, frame.Offset, frame.Entry.Size)) return TImageFormatError::Truncated;
  const std::span<const uint8_t> bytes = data.subspan(frame.Offset, frame.Entry.Size);
  const TDibLayout& dib = frame.Dib;
  const size_t width = static_cast<size_t>(dib.Width);
  const size_t height = static_cast<size_t>(dib.Height);
  if (!Fits(bytes, frame.MaskOffset, frame.MaskStride * height)) return TImageFormatError::BadIcon;
  const TImageFormatError error = DecodeDib(bytes, dib, dest);
  if (error != TImageFormatError::None)
    return error == TImageFormatError::Truncated ? TImageFormatError::BadIcon : error;

  const size_t count = width * height;
  // A frame with alpha is drawn by its alpha alone, as the system draws it: real icons mark their soft edges in
  // the mask too, and reading those as inverted pixels would give them dark rims. Old 32-bit icons leave every
  // alpha byte 0 and rely on the mask alone.
  if (dib.StoredAlpha && std::any_of(dest, dest + count, [](uint32_t c) { return (c >> 24) != 0; }))
    return TImageFormatError::None;
  for (size_t row = 0; row < height; ++row) {
    const uint8_t* mask = bytes.data() + frame.MaskOffset + row * frame.MaskStride;
    uint32_t* out = dest + (dib.TopDown ? row : height - 1 - row) * width;
    for (size_t x = 0; x < width; ++x) {
      if (!MaskBit(mask, x))
        out[x] |= 0xFF000000u;
      else
        out[x] = (out[x] & 0x00FFFFFFu) != 0 ? 0xFF000000u : 0u;
    }
  }
  return TImageFormatError::None;
}

namespace {

constexpr size_t Bins = 1 << 15;

uint32_t BinOf(uint32_t c) { return ((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F); }

struct TBinStats {
  uint64_t Count = 0;
  uint64_t Red = 0, Green = 0, Blue = 0;
};

struct TBox {
  std::vector<uint32_t> Bins;  // used bins of the box
  uint64_t Count = 0;
};

uint32_t Channel(uint32_t bin, int channel) { return (bin >> (10 - 5 * channel)) & 0x1F; }

// Median cut: repeatedly split the box with the most pixels (among those with more than one bin) across its widest
// channel at the pixel median.
std::vector<TBox> MedianCut(const std::vector<TBinStats>& stats, size_t colors) {
  std::vector<TBox> boxes(1);
  for (uint32_t b = 0; b < Bins; ++b)
    if (stats[b].Count) {
      boxes[0].Bins.push_back(b);
      boxes[0].Count += stats[b].Count;
    }
  while (boxes.size() < colors) {
    size_t pick = boxes.size();
    for (size_t i = 0; i < boxes.size(); ++i)
      if (boxes[i].Bins.size() > 1 && (pick == boxes.size() || boxes[i].Count > boxes[pick].Count)) pick = i;
    if (pick == boxes.size()) break;
    TBox& box = boxes[pick];
    int widest = 0;
    uint32_t widestRange = 0;
    for (int ch = 0; ch < 3; ++ch) {
      uint32_t lo = 31, hi = 0;
      for (uint32_t b : box.Bins) {
        lo = std::min(lo, Channel(b, ch));
        hi = std::max(hi, Channel(b, ch));
      }
      if (hi - lo >= widestRange) {
        widestRange = hi - lo;
        widest = ch;
      }
    }
    std::sort(box.Bins.begin(), box.Bins.end(),
              [widest](uint32_t a, uint32_t b) { return Channel(a, widest) < Channel(b, widest); });
    uint64_t half = 0;
    size_t split = 1;
    for (; split < box.Bins.size(); ++split) {
      half += stats[box.Bins[split - 1]].Count;
      if (half * 2 >= box.Count) break;
    }
    split = std::min(split, box.Bins.size() - 1);
    TBox upper;
    upper.Bins.assign(box.Bins.begin() + static_cast<std::ptrdiff_t>(split), box.Bins.end());
    box.Bins.resize(split);
    for (uint32_t b : upper.Bins) upper.Count += stats[b].Count;
    box.Count -= upper.Count;
    boxes.push_back(std::move(upper));
  }
  return boxes;
}

}  // namespace

void QuantizeTo8Bit(const uint32_t* pixels, int32_t width, int32_t height, TIndexedImage& image) {
  image = TIndexedImage();
  if (width <= 0 || height <= 0) return;
  image.Width = width;
  image.Height = height;
  image.Stride = (static_cast<uint32_t>(width) + 3) & ~3u;
  image.Indices.assign(static_cast<size_t>(image.Stride) * static_cast<size_t>(height), 0);
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  auto opaque = [](uint32_t c) { return (c >> 24) >= 128; };
  const bool transparent = std::any_of(pixels, pixels + count, [&](uint32_t c) { return !opaque(c); });
  const size_t limit = transparent ? 255 : 256;

  // Exact palette when the colours fit; each pixel then finds its colour by binary search.
  std::vector<uint32_t> distinct;
  std::vector<uint64_t> seen(size_t(1) << 18);  // one bit per 24-bit colour
  for (size_t i = 0; i < count && distinct.size() <= limit; ++i) {
    if (!opaque(pixels[i])) continue;
    const uint32_t c = pixels[i] & 0x00FFFFFF;
    uint64_t& word = seen[c >> 6];
    const uint64_t bit = uint64_t(1) << (c & 63);
    if (word & bit) continue;
    word |= bit;
    distinct.push_back(c);
  }
  const bool exact = distinct.size() <= limit;
  std::sort(distinct.begin(), distinct.end());

  std::vector<uint8_t> binIndex;
  if (exact) {
    for (uint32_t c : distinct) image.Palette.push_back(0xFF000000u | c);
  } else {
    std::vector<TBinStats> stats(Bins);
    for (size_t i = 0; i < count; ++i) {
      const uint32_t c = pixels[i];
      if (!opaque(c)) continue;
      TBinStats& s = stats[BinOf(c)];
      ++s.Count;
      s.Red += (c >> 16) & 0xFF;
      s.Green += (c >> 8) & 0xFF;
      s.Blue += c & 0xFF;
    }
    const std::vector<TBox> boxes = MedianCut(stats, limit);
    binIndex.assign(Bins, 0);
    for (const TBox& box : boxes) {
      TBinStats sum;
      for (uint32_t b : box.Bins) {
        sum.Count += stats[b].Count;
        sum.Red += stats[b].Red;
        sum.Green += stats[b].Green;
        sum.Blue += stats[b].Blue;
      }
      const uint64_t n = std::max<uint64_t>(sum.Count, 1);
      const uint8_t index = static_cast<uint8_t>(image.Palette.size());
      image.Palette.push_back(0xFF000000u |
                              static_cast<uint32_t>((sum.Red / n) << 16 | (sum.Green / n) << 8 | (sum.Blue / n)));
      for (uint32_t b : box.Bins) binIndex[b] = index;
    }
  }
  const uint8_t transparentIndex = static_cast<uint8_t>(image.Palette.size());
  if (transparent) image.Palette.push_back(0x00000000);

  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
    uint8_t* dst = image.Indices.data() + static_cast<size_t>(y) * image.Stride;
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t c = src[x];
      if (!opaque(c))
        dst[x] = transparentIndex;
      else if (exact)
        dst[x] =
            static_cast<uint8_t>(std::lower_bound(distinct.begin(), distinct.end(), c & 0x00FFFFFF) - distinct.begin());
      else
        dst[x] = binIndex[BinOf(c)];
    }
  }
}

bool SetGifTransparentIndex(std::vector<uint8_t>& gif, uint8_t index) {
  if (gif.size() < 13 || std::memcmp(gif.data(), "GIF8", 4) != 0) return false;
  size_t pos = 13;
  if (gif[10] & 0x80) pos += 3 * (size_t(2) << (gif[10] & 7));
  size_t control = 0;  // position of the last control extension seen, 0 when none
  while (pos < gif.size() && gif[pos] == 0x21) {
    if (pos + 2 >= gif.size()) return false;
    if (gif[pos + 1] == 0xF9 && gif[pos + 2] == 4) control = pos;
    pos += 2;
    while (pos < gif.size() && gif[pos] != 0) pos += size_t(gif[pos]) + 1;
    ++pos;
  }
  if (pos >= gif.size() || gif[pos] != 0x2C) return false;
  if (control != 0) {
    if (control + 7 >= gif.size()) return false;
    gif[control + 3] |= 0x01;
    gif[control + 6] = index;
    return true;
  }
  const uint8_t extension[8] = {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, index, 0x00};
  gif.insert(gif.begin() + static_cast<std::ptrdiff_t>(pos), extension, extension + 8);
  std::memcpy(gif.data() + 3, "89a", 3);
  return true;
}
