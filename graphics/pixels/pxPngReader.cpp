#include "graphics/pixels/pxPngReader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr uint8_t Signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t MaxChunkLength = 0x7FFFFFFF;

// Deflate writes at most 258 bytes for one length code and one distance code, and neither takes less than a bit:
// 129 bytes a bit at most, so compressed data never stands for more than 1032 times its size. A file whose data
// cannot hold the rows its header announces is refused before any pixel memory is taken.
constexpr uint64_t MaxInflateRatio = 1032;

constexpr uint32_t ChunkName(const char (&name)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 | static_cast<uint8_t>(name[3]);
}

constexpr uint32_t Ihdr = ChunkName("IHDR");
constexpr uint32_t Plte = ChunkName("PLTE");
constexpr uint32_t Trns = ChunkName("tRNS");
constexpr uint32_t Idat = ChunkName("IDAT");
constexpr uint32_t Iend = ChunkName("IEND");

enum TColourType : uint8_t { ctGrey = 0, ctRgb = 2, ctPalette = 3, ctGreyAlpha = 4, ctRgba = 6 };

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A chunk the reader does not know may be skipped only when the case bit of its first letter marks it ancillary.
bool IsCritical(uint32_t type) { return (type & 0x20000000u) == 0; }

struct THeader {
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint8_t Depth = 0;
  uint8_t ColourType = 0;

  uint32_t Channels() const {
    switch (ColourType) {
      case ctRgb:
        return 3;
      case ctGreyAlpha:
        return 2;
      case ctRgba:
        return 4;
      default:
        return 1;
    }
  }
  uint32_t PixelBits() const { return Channels() * Depth; }
  uint64_t RowBytes() const { return (static_cast<uint64_t>(Width) * PixelBits() + 7) / 8; }
};

// What the chunk walk gathers; the spans point into the file.
struct TPngParts {
  THeader Header;
  std::array<uint32_t, 256> Palette{};  // opaque unless tRNS gives alpha
  uint32_t PaletteCount = 0;
  bool HasKey = false;  // tRNS of a grey or truecolour file: pixels of exactly these samples are transparent
  uint16_t Key[3] = {};
  std::vector<std::span<const uint8_t>> Data;  // IDAT bodies in file order
  uint64_t DataBytes = 0;
};

bool ValidDepth(uint8_t colourType, uint8_t depth) {
  switch (colourType) {
    case ctGrey:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case ctPalette:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case ctRgb:
    case ctGreyAlpha:
    case ctRgba:
      return depth == 8 || depth == 16;
    default:
      return false;
  }
}

TImageFormatError ReadHeader(std::span<const uint8_t> body, THeader& header) {
  if (body.size() != 13) return TImageFormatError::BadPng;
  const uint8_t* p = body.data();
  header.Width = Be32(p);
  header.Height = Be32(p + 4);
  header.Depth = p[8];
  header.ColourType = p[9];
  const uint8_t compression = p[10];
  const uint8_t filter = p[11];
  const uint8_t interlace = p[12];
  if (header.Width == 0 || header.Height == 0 || header.Width > MaxChunkLength || header.Height > MaxChunkLength ||
      !ValidDepth(header.ColourType, header.Depth) || compression != 0 || filter != 0 || interlace > 1)
    return TImageFormatError::BadPng;
  if (!WithinImageLimits(header.Width, header.Height)) return TImageFormatError::TooLarge;
  return interlace == 0 ? TImageFormatError::None : TImageFormatError::Unsupported;
}

TImageFormatError ReadPalette(std::span<const uint8_t> body, TPngParts& parts) {
  const uint8_t colourType = parts.Header.ColourType;
  if (colourType == ctGrey || colourType == ctGreyAlpha) return TImageFormatError::BadPng;
  const size_t count = body.size() / 3;
  if (body.size() % 3 != 0 || count == 0 || count > 256) return TImageFormatError::BadPng;
  // Truecolour files may suggest a palette for displays with few colours; the pixels do not use it.
  if (colourType != ctPalette) return TImageFormatError::None;
  if (count > (size_t(1) << parts.Header.Depth)) return TImageFormatError::BadPng;
  for (size_t i = 0; i < count; ++i) parts.Palette[i] = Argb(255, body[3 * i], body[3 * i + 1], body[3 * i + 2]);
  parts.PaletteCount = static_cast<uint32_t>(count);
  return TImageFormatError::None;
}

TImageFormatError ReadTransparency(std::span<const uint8_t> body, TPngParts& parts) {
  switch (parts.Header.ColourType) {
    case ctPalette:
      if (parts.PaletteCount == 0 || body.size() > parts.PaletteCount) return TImageFormatError::BadPng;
      for (size_t i = 0; i < body.size(); ++i)
        parts.Palette[i] = (parts.Palette[i] & 0x00FFFFFFu) | static_cast<uint32_t>(body[i]) << 24;
      return TImageFormatError::None;
    case ctGrey:
      if (body.size() != 2) return TImageFormatError::BadPng;
      parts.Key[0] = Be16(body.data());
      parts.HasKey = true;
      return TImageFormatError::None;
    case ctRgb:
      if (body.size() != 6) return TImageFormatError::BadPng;
      for (int i = 0; i < 3; ++i) parts.Key[i] = Be16(body.data() + 2 * i);
      parts.HasKey = true;
      return TImageFormatError::None;
    default:  // alpha channels leave no room for it
      return TImageFormatError::BadPng;
  }
}

// Walks the chunks up to IEND, checking every length, checksum and the order the format requires.
TImageFormatError ReadChunks(std::span<const uint8_t> data, TPngParts& parts) {
  if (data.size() < sizeof Signature) return TImageFormatError::Truncated;
  if (std::memcmp(data.data(), Signature, sizeof Signature) != 0) return TImageFormatError::BadPng;
  uint64_t position = sizeof Signature;
  uint32_t previous = 0;  // the type of the chunk before, 0 before the first
  bool seenPalette = false;
  bool seenTransparency = false;
  for (;;) {
    if (data.size() - position < 8) return TImageFormatError::Truncated;
    const uint8_t* p = data.data() + position;
    const uint32_t length = Be32(p);
    const uint32_t type = Be32(p + 4);
    if (length > MaxChunkLength || !IsLetter(p[4]) || !IsLetter(p[5]) || !IsLetter(p[6]) || !IsLetter(p[7]))
      return TImageFormatError::BadPng;
    if (data.size() - position - 8 < static_cast<uint64_t>(length) + 4) return TImageFormatError::Truncated;
    const uLong crc = crc32(0, p + 4, length + 4);
    if (crc != Be32(p + 8 + length)) return TImageFormatError::BadPng;
    const std::span<const uint8_t> body = data.subspan(position + 8, length);
    position += 12 + static_cast<uint64_t>(length);
    if ((previous == 0) != (type == Ihdr)) return TImageFormatError::BadPng;
    const bool afterData = !parts.Data.empty();

    TImageFormatError error = TImageFormatError::None;
    switch (type) {
      case Ihdr:
        error = ReadHeader(body, parts.Header);
        break;
      case Plte:
        if (seenPalette || seenTransparency || afterData) return TImageFormatError::BadPng;
        seenPalette = true;
        error = ReadPalette(body, parts);
        break;
      case Trns:
        if (seenTransparency || afterData) return TImageFormatError::BadPng;
        seenTransparency = true;
        error = ReadTransparency(body, parts);
        break;
      case Idat:
        if (afterData && previous != Idat) return TImageFormatError::BadPng;
        if (parts.Header.ColourType == ctPalette && parts.PaletteCount == 0) return TImageFormatError::BadPng;
        parts.Data.push_back(body);
        parts.DataBytes += length;
        break;
      case Iend:
        return length == 0 && afterData ? TImageFormatError::None : TImageFormatError::BadPng;
      default:
        if (IsCritical(type)) return TImageFormatError::Unsupported;
        break;
    }
    if (error != TImageFormatError::None) return error;
    previous = type;
  }
}

uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p;
  const int pb = p > b ? p - b : b - p;
  const int pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Undoes the row's filter in place. Step: bytes of a whole pixel, at least 1; bytes left of the first pixel and the
// row above the first row read as 0.
bool Unfilter(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t size, size_t step) {
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (size_t i = step; i < size; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - step]);
      return true;
    case 2:
      for (size_t i = 0; i < size; ++i) row[i] = static_cast<uint8_t>(row[i] + prior[i]);
      return true;
    case 3:
      for (size_t i = 0; i < std::min(step, size); ++i) row[i] = static_cast<uint8_t>(row[i] + (prior[i] >> 1));
      for (size_t i = step; i < size; ++i) row[i] = static_cast<uint8_t>(row[i] + ((row[i - step] + prior[i]) >> 1));
      return true;
    case 4:
      // With nothing to the left the predictor is the byte above.
      for (size_t i = 0; i < std::min(step, size); ++i) row[i] = static_cast<uint8_t>(row[i] + prior[i]);
      for (size_t i = step; i < size; ++i)
        row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - step], prior[i], prior[i - step]));
      return true;
    default:
      return false;
  }
}

// Sample X of a row of 1-, 2- or 4-bit samples, the leftmost in the highest bits.
uint32_t PackedSample(const uint8_t* row, size_t x, uint32_t depth) {
  const size_t bit = x * depth;
  return (row[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
}

// False when a palette index lies beyond the palette.
bool ConvertRow(const TPngParts& parts, const uint8_t* row, uint32_t* out) {
  const THeader& h = parts.Header;
  const size_t width = h.Width;
  const uint32_t depth = h.Depth;
  switch (h.ColourType) {
    case ctGrey:
      for (size_t x = 0; x < width; ++x) {
        uint32_t sample;
        uint32_t grey;
        if (depth == 16) {
          sample = Be16(row + 2 * x);
          grey = sample >> 8;
        } else if (depth == 8) {
          sample = grey = row[x];
        } else {
          sample = PackedSample(row, x, depth);
          grey = sample * (255 / ((1u << depth) - 1));
        }
        const uint32_t alpha = parts.HasKey && sample == parts.Key[0] ? 0 : 255;
        out[x] = Argb(alpha, grey, grey, grey);
      }
      return true;
    case ctRgb:
      for (size_t x = 0; x < width; ++x) {
        if (depth == 16) {
          const uint8_t* p = row + 6 * x;
          const bool key =
              parts.HasKey && Be16(p) == parts.Key[0] && Be16(p + 2) == parts.Key[1] && Be16(p + 4) == parts.Key[2];
          out[x] = Argb(key ? 0 : 255, p[0], p[2], p[4]);
        } else {
          const uint8_t* p = row + 3 * x;
          const bool key = parts.HasKey && p[0] == parts.Key[0] && p[1] == parts.Key[1] && p[2] == parts.Key[2];
          out[x] = Argb(key ? 0 : 255, p[0], p[1], p[2]);
        }
      }
      return true;
    case ctPalette:
      for (size_t x = 0; x < width; ++x) {
        const uint32_t index = depth == 8 ? row[x] : PackedSample(row, x, depth);
        if (index >= parts.PaletteCount) return false;
        out[x] = parts.Palette[index];
      }
      return true;
    case ctGreyAlpha:
      for (size_t x = 0; x < width; ++x) {
        const uint8_t* p = depth == 16 ? row + 4 * x : row + 2 * x;
        const uint32_t grey = p[0];
        out[x] = Argb(depth == 16 ? p[2] : p[1], grey, grey, grey);
      }
      return true;
    case ctRgba:
      for (size_t x = 0; x < width; ++x) {
        if (depth == 16) {
          const uint8_t* p = row + 8 * x;
          out[x] = Argb(p[6], p[0], p[2], p[4]);
        } else {
          const uint8_t* p = row + 4 * x;
          out[x] = Argb(p[3], p[0], p[1], p[2]);
        }
      }
      return true;
    default:
      return false;
  }
}

class TInflater {
 public:
  TInflater() {
    if (inflateInit(&FStream) != Z_OK) throw std::bad_alloc();
  }
  ~TInflater() { inflateEnd(&FStream); }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;
  z_stream& Stream() { return FStream; }

 private:
  z_stream FStream{};
};

// Inflates the IDAT data a row at a time into two line buffers and writes each row's pixels into Out. Inflate is
// never given room beyond the current row; once every row is in, one byte of room tells data too long from the end
// of the stream.
TImageFormatError DecodeRows(const TPngParts& parts, uint32_t* out) {
  const THeader& h = parts.Header;
  const size_t rowBytes = static_cast<size_t>(h.RowBytes());
  const size_t lineBytes = rowBytes + 1;  // the filter type first
  const size_t step = std::max<size_t>(1, h.PixelBits() / 8);
  std::vector<uint8_t> lines(2 * lineBytes);
  uint8_t* line = lines.data();
  uint8_t* prior = lines.data() + lineBytes;  // zeros: the row above the first

  TInflater inflater;
  z_stream& z = inflater.Stream();
  uint32_t row = 0;
  size_t filled = 0;
  int status = Z_OK;
  uint8_t spare = 0;
  for (std::span<const uint8_t> chunk : parts.Data) {
    z.next_in = const_cast<Bytef*>(chunk.data());
    z.avail_in = static_cast<uInt>(chunk.size());
    while (z.avail_in > 0 && status != Z_STREAM_END) {
      const bool rowsDone = row == h.Height;
      z.next_out = rowsDone ? &spare : line + filled;
      z.avail_out = rowsDone ? 1 : static_cast<uInt>(lineBytes - filled);
      status = inflate(&z, Z_NO_FLUSH);
      if (status == Z_MEM_ERROR) throw std::bad_alloc();
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) return TImageFormatError::BadPng;
      if (rowsDone) {
        if (z.avail_out == 0) return TImageFormatError::BadPng;
      } else {
        filled = lineBytes - z.avail_out;
        if (filled == lineBytes) {
          if (!Unfilter(line[0], line + 1, prior + 1, rowBytes, step) ||
              !ConvertRow(parts, line + 1, out + static_cast<size_t>(row) * h.Width))
            return TImageFormatError::BadPng;
          std::swap(line, prior);
          filled = 0;
          ++row;
        }
      }
      if (status == Z_BUF_ERROR) break;
    }
    if (status == Z_STREAM_END) break;
  }
  if (row < h.Height) return TImageFormatError::Truncated;
  if (status != Z_STREAM_END) {
    // Inflate may still hold output back for want of room, or the stream's end may be missing.
    z.next_in = nullptr;
    z.avail_in = 0;
    z.next_out = &spare;
    z.avail_out = 1;
    status = inflate(&z, Z_NO_FLUSH);
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    if (z.avail_out == 0 || (status != Z_STREAM_END && status != Z_BUF_ERROR && status != Z_OK))
      return TImageFormatError::BadPng;
    if (status != Z_STREAM_END) return TImageFormatError::Truncated;
  }
  return TImageFormatError::None;
}

}  // namespace

TImageFormatError ReadPng(std::span<const uint8_t> data, int32_t& width, int32_t& height,
                          std::vector<uint32_t>& pixels) {
  width = 0;
  height = 0;
  pixels.clear();
  TPngParts parts;
  TImageFormatError error = ReadChunks(data, parts);
  if (error != TImageFormatError::None) return error;
  const THeader& h = parts.Header;
  if (static_cast<uint64_t>(h.Height) * (h.RowBytes() + 1) > parts.DataBytes * MaxInflateRatio)
    return TImageFormatError::Truncated;
  std::vector<uint32_t> result(static_cast<size_t>(h.Width) * h.Height);
  error = DecodeRows(parts, result.data());
  if (error != TImageFormatError::None) return error;
  width = static_cast<int32_t>(h.Width);
  height = static_cast<int32_t>(h.Height);
  pixels = std::move(result);
  return TImageFormatError::None;
}
