#include "graphics/pixels/pxImageSize.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Reads fixed-size fields from where it stands; a field past the end fails and leaves the position as it was.
class THeaderReader {
 public:
  explicit THeaderReader(std::span<const uint8_t> data, bool bigEndian = false) : FData(data), FBigEndian(bigEndian) {}

  bool Seek(uint64_t position) {
    if (position > FData.size()) return false;
    FPos = static_cast<size_t>(position);
    return true;
  }
  bool Skip(uint64_t count) { return count <= FData.size() - FPos && Seek(FPos + count); }
  bool Byte(uint8_t& value) {
    if (FPos >= FData.size()) return false;
    value = FData[FPos++];
    return true;
  }
  bool U16LE(uint32_t& value) { return Number(2, false, value); }
  bool U16BE(uint32_t& value) { return Number(2, true, value); }
  bool U32LE(uint32_t& value) { return Number(4, false, value); }
  bool U32BE(uint32_t& value) { return Number(4, true, value); }
  // In the byte order the reader was made with.
  bool U16(uint32_t& value) { return Number(2, FBigEndian, value); }
  bool U32(uint32_t& value) { return Number(4, FBigEndian, value); }

 private:
  bool Number(size_t bytes, bool bigEndian, uint32_t& value) {
    if (FData.size() - FPos < bytes) return false;
    value = 0;
    for (size_t i = 0; i < bytes; ++i) value = value << 8 | FData[FPos + (bigEndian ? i : bytes - 1 - i)];
    FPos += bytes;
    return true;
  }

  std::span<const uint8_t> FData;
  bool FBigEndian;
  size_t FPos = 0;
};

constexpr uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool StartsWith(std::span<const uint8_t> data, const void* bytes, size_t count, size_t offset = 0) {
  return data.size() >= offset + count && std::memcmp(data.data() + offset, bytes, count) == 0;
}

uint32_t AbsoluteSide(uint32_t stored) {
  const int64_t side = static_cast<int32_t>(stored);
  return static_cast<uint32_t>(std::abs(side));
}

bool IsStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

uint64_t SaturatedSum(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// Sub-blocks of a GIF extension or image: a length byte and that many bytes, up to a length 0.
bool SkipGifSubBlocks(THeaderReader& reader) {
  for (;;) {
    uint8_t length = 0;
    if (!reader.Byte(length)) return false;
    if (length == 0) return true;
    if (!reader.Skip(length)) return false;
  }
}

// The screen, widened by every frame whose place and size reach beyond it; a decoder keeps every frame, so their
// pixels count together. The walk ends at the trailer, at a block no GIF has, or where the data does: a decoder
// sees no frame past that.
bool ReadGifExtent(std::span<const uint8_t> data, TPictureHeader& header) {
  THeaderReader reader(data);
  uint32_t width = 0, height = 0;
  uint8_t flags = 0;
  if (!reader.Skip(6) || !reader.U16LE(width) || !reader.U16LE(height) || !reader.Byte(flags) || !reader.Skip(2))
    return false;
  if ((flags & 0x80) != 0 && !reader.Skip(3u << ((flags & 7) + 1))) return false;
  header.Width = width;
  header.Height = height;
  for (;;) {
    uint8_t block = 0;
    if (!reader.Byte(block) || block == 0x3B) break;
    if (block == 0x21) {
      if (!reader.Skip(1) || !SkipGifSubBlocks(reader)) break;
      continue;
    }
    uint32_t left = 0, top = 0;
    if (block != 0x2C || !reader.U16LE(left) || !reader.U16LE(top) || !reader.U16LE(width) || !reader.U16LE(height) ||
        !reader.Byte(flags))
      break;
    header.Width = std::max<uint64_t>(header.Width, uint64_t(left) + width);
    header.Height = std::max<uint64_t>(header.Height, uint64_t(top) + height);
    header.Pixels = SaturatedSum(header.Pixels, uint64_t(width) * height);
    if ((flags & 0x80) != 0 && !reader.Skip(3u << ((flags & 7) + 1))) break;
    if (!reader.Skip(1) || !SkipGifSubBlocks(reader)) break;
  }
  // Frames are drawn over a picture of the whole extent.
  header.Pixels = std::max(header.Pixels, header.Width * header.Height);
  return true;
}

// The frame's own header decides what a decoder makes of it, whatever its directory entry says.
bool ReadIconFrameSize(std::span<const uint8_t> data, uint32_t offset, TPictureSize& size) {
  if (offset > data.size()) return false;
  const std::span<const uint8_t> frame = data.subspan(offset);
  if (StartsWith(frame, PngSignature, sizeof PngSignature))
    return StartsWith(frame, "IHDR", 4, 12) && ReadPngSize(frame, size);
  THeaderReader reader(frame);
  uint32_t headerSize = 0, width = 0, height = 0;
  if (!reader.U32LE(headerSize)) return false;
  if (headerSize == 12) {
    if (!reader.U16LE(width) || !reader.U16LE(height)) return false;
  } else if (!reader.U32LE(width) || !reader.U32LE(height)) {
    return false;
  }
  // The stored height covers the colour image and the mask.
  size = {width, AbsoluteSide(height) / 2};
  return true;
}

// The frames one after another in entry order, as the icon reader takes them. GDI+ takes each at its entry's
// offset instead: a frame that lies elsewhere is two answers, and damage.
bool ReadIconExtent(std::span<const uint8_t> data, TPictureHeader& header) {
  THeaderReader reader(data);
  uint32_t reserved = 0, type = 0, count = 0;
  if (!reader.U16LE(reserved) || !reader.U16LE(type) || !reader.U16LE(count) || count == 0) return false;
  uint64_t position = 6 + 16 * uint64_t(count);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t widthByte = 0, heightByte = 0;
    uint32_t size = 0, offset = 0;
    TPictureSize frame;
    if (!reader.Byte(widthByte) || !reader.Byte(heightByte) || !reader.Skip(6) || !reader.U32LE(size) ||
        !reader.U32LE(offset) || offset != position || position > UINT32_MAX ||
        !ReadIconFrameSize(data, uint32_t(position), frame))
      return false;
    const uint64_t width = std::max<uint64_t>(widthByte == 0 ? 256u : widthByte, frame.Width);
    const uint64_t height = std::max<uint64_t>(heightByte == 0 ? 256u : heightByte, frame.Height);
    header.Width = std::max(header.Width, width);
    header.Height = std::max(header.Height, height);
    header.Pixels = SaturatedSum(header.Pixels, width * height);
    position += size;
  }
  return true;
}

// The first page's ImageWidth (256) and ImageLength (257) tags, each one SHORT or one LONG. Decoders differ on a
// tag stated twice or in another form (one takes the first, another the last), so either is damage.
bool ReadTiffExtent(std::span<const uint8_t> data, TPictureHeader& header) {
  THeaderReader reader(data, data[0] == 'M');
  uint32_t magic = 0, offset = 0, count = 0;
  if (!reader.Skip(2) || !reader.U16(magic) || !reader.U32(offset) || !reader.Seek(offset) || !reader.U16(count))
    return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t tag = 0, type = 0, values = 0, value = 0, unused = 0;
    if (!reader.U16(tag) || !reader.U16(type) || !reader.U32(values)) return false;
    if (type == 3) {
      if (!reader.U16(value) || !reader.U16(unused)) return false;
    } else if (!reader.U32(value)) {
      return false;
    }
    if (tag != 256 && tag != 257) continue;
    uint64_t& side = tag == 256 ? header.Width : header.Height;
    if (side != 0 || (type != 3 && type != 4) || values != 1 || value == 0) return false;
    side = value;
  }
  return true;
}

uint64_t Clamped(double pixels) { return pixels < 1e12 ? static_cast<uint64_t>(pixels) : uint64_t(1e12); }

// An enhanced metafile becomes a picture of its frame (hundredths of a millimetre) at the device resolution it
// records, or at the one of its EMF+ header when the first record after the header carries one; its bounds in
// device pixels may be larger still.
bool ReadEmfExtent(std::span<const uint8_t> data, TPictureHeader& header) {
  THeaderReader reader(data);
  uint32_t type = 0, headerSize = 0, r[8] = {}, device[2] = {}, millimetres[2] = {};
  if (!reader.U32LE(type) || !reader.U32LE(headerSize)) return false;
  for (uint32_t& value : r)
    if (!reader.U32LE(value)) return false;
  if (!reader.Seek(72) || !reader.U32LE(device[0]) || !reader.U32LE(device[1]) || !reader.U32LE(millimetres[0]) ||
      !reader.U32LE(millimetres[1]))
    return false;
  const auto extent = [](uint32_t from, uint32_t to) {
    return std::abs(double(static_cast<int32_t>(to)) - double(static_cast<int32_t>(from)));
  };
  const double bounds[2] = {extent(r[0], r[2]) + 1, extent(r[1], r[3]) + 1};
  const double frame[2] = {extent(r[4], r[6]), extent(r[5], r[7])};
  double dpi[2] = {};
  for (int i = 0; i < 2; ++i) {
    const double mm = static_cast<int32_t>(millimetres[i]);
    const double pixels = static_cast<int32_t>(device[i]);
    if (mm <= 0 || pixels <= 0) return false;
    dpi[i] = pixels / mm * 25.4;
  }
  uint32_t record = 0, size = 0, dataSize = 0, signature = 0, plusType = 0, plusDpi[2] = {};
  if (reader.Seek(headerSize) && reader.U32LE(record) && record == 70 && reader.U32LE(size) && reader.U32LE(dataSize) &&
      reader.U32LE(signature) && signature == 0x2B464D45 && reader.U16LE(plusType) && plusType == 0x4001 &&
      reader.Skip(18) && reader.U32LE(plusDpi[0]) && reader.U32LE(plusDpi[1])) {
    dpi[0] = std::max(dpi[0], double(plusDpi[0]));
    dpi[1] = std::max(dpi[1], double(plusDpi[1]));
  }
  header.Width = Clamped(std::max(bounds[0], frame[0] / 2540 * dpi[0]));
  header.Height = Clamped(std::max(bounds[1], frame[1] / 2540 * dpi[1]));
  return true;
}

// A placeable Windows metafile: its box in logical units, which it says how many make an inch; a picture of the
// box's units, or of its inches at the screen's 96 dots, whichever is larger.
bool ReadWmfExtent(std::span<const uint8_t> data, TPictureHeader& header) {
  THeaderReader reader(data);
  uint32_t box[4] = {}, inch = 0;
  if (!reader.Skip(6)) return false;
  for (uint32_t& value : box)
    if (!reader.U16LE(value)) return false;
  if (!reader.U16LE(inch) || inch == 0) return false;
  const auto extent = [inch](uint32_t from, uint32_t to) {
    const double units = std::abs(double(int16_t(to)) - double(int16_t(from)));
    return Clamped(std::max(units, units * 96 / inch));
  };
  header.Width = extent(box[0], box[2]);
  header.Height = extent(box[1], box[3]);
  return true;
}

// A bitmap whose pixels are a JPEG or PNG file (compression 4 or 5) has two sizes, its header's and that file's.
bool HoldsAnotherPicture(std::span<const uint8_t> data) {
  THeaderReader reader(data);
  uint32_t headerSize = 0, compression = 0;
  if (!reader.Seek(14) || !reader.U32LE(headerSize) || headerSize < 40 || !reader.Seek(30) ||
      !reader.U32LE(compression))
    return false;
  return compression == 4 || compression == 5;
}

// Segments up to the image data: a second start of frame before it states the size twice. A walk that ends
// before the image data is left to the decoder, which finds no picture there.
bool HasOneFrame(std::span<const uint8_t> data) {
  THeaderReader reader(data);
  int frames = 0;
  if (!reader.Skip(2)) return false;
  for (;;) {
    uint8_t code = 0;
    if (!reader.Byte(code) || code != 0xFF) return true;
    while (code == 0xFF)
      if (!reader.Byte(code)) return true;
    if (code == 0xD9 || code == 0xDA) return true;
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;
    uint32_t length = 0;
    if (!reader.U16BE(length) || length < 2 || !reader.Skip(length - 2)) return true;
    if (IsStartOfFrame(code) && ++frames > 1) return false;
  }
}

bool ReadExtent(TPictureFormat format, std::span<const uint8_t> data, TPictureHeader& header) {
  TPictureSize size;
  uint8_t marker = 0;
  switch (format) {
    case TPictureFormat::Bmp:
      if (!ReadBmpSize(data, size) || HoldsAnotherPicture(data)) return false;
      break;
    case TPictureFormat::Jpeg:
      if (!ReadJpegSize(data, size, marker) || !HasOneFrame(data)) return false;
      break;
    case TPictureFormat::Png:
      if (!StartsWith(data, "IHDR", 4, 12) || !ReadPngSize(data, size)) return false;
      break;
    case TPictureFormat::Gif:
      return ReadGifExtent(data, header);
    case TPictureFormat::Icon:
      return ReadIconExtent(data, header);
    case TPictureFormat::Tiff:
      return ReadTiffExtent(data, header);
    case TPictureFormat::Emf:
      return ReadEmfExtent(data, header);
    case TPictureFormat::Wmf:
      return ReadWmfExtent(data, header);
    case TPictureFormat::Unknown:
      return false;
  }
  // A negative width of a bitmap, or a side a PNG may not have, is damage rather than size.
  if (size.Width > uint32_t(INT32_MAX) || size.Height > uint32_t(INT32_MAX)) return false;
  header.Width = size.Width;
  header.Height = size.Height;
  return true;
}

TPictureFormat FormatOf(std::span<const uint8_t> data) {
  if (StartsWith(data, PngSignature, sizeof PngSignature)) return TPictureFormat::Png;
  if (StartsWith(data, "GIF87a", 6) || StartsWith(data, "GIF89a", 6)) return TPictureFormat::Gif;
  if (StartsWith(data, "\xFF\xD8", 2)) return TPictureFormat::Jpeg;
  if (StartsWith(data, "BM", 2)) return TPictureFormat::Bmp;
  if (StartsWith(data, "II*\0", 4) || StartsWith(data, "MM\0*", 4)) return TPictureFormat::Tiff;
  if (StartsWith(data, "\0\0\1\0", 4) || StartsWith(data, "\0\0\2\0", 4)) return TPictureFormat::Icon;
  if (StartsWith(data, "\x01\0\0\0", 4) && StartsWith(data, " EMF", 4, 40)) return TPictureFormat::Emf;
  if (StartsWith(data, "\xD7\xCD\xC6\x9A", 4)) return TPictureFormat::Wmf;
  return TPictureFormat::Unknown;
}

}  // namespace

bool ReadBmpSize(std::span<const uint8_t> data, TPictureSize& size) {
  THeaderReader reader(data);
  uint32_t type = 0, headerSize = 0, width = 0, height = 0;
  if (!reader.U16LE(type) || type != 0x4D42 || !reader.Skip(12) || !reader.U32LE(headerSize)) return false;
  if (headerSize == 12) {
    if (!reader.U16LE(width) || !reader.U16LE(height)) return false;
  } else if (!reader.U32LE(width) || !reader.U32LE(height) || !reader.Skip(28)) {
    return false;
  }
  size = {width, AbsoluteSide(height)};
  return true;
}

bool ReadIconDirectorySize(std::span<const uint8_t> data, bool cursor, TPictureSize& size) {
  THeaderReader reader(data);
  uint32_t reserved = 0, type = 0, count = 0;
  if (!reader.U16LE(reserved) || !reader.U16LE(type) || !reader.U16LE(count) || (type != 1 && type != 2)) return false;
  TPictureSize widest;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t widthByte = 0, heightByte = 0;
    if (!reader.Byte(widthByte) || !reader.Byte(heightByte) || !reader.Skip(14)) return false;
    const uint32_t width = widthByte == 0 ? 256 : widthByte;
    const uint32_t height = heightByte == 0 ? 256 : heightByte;
    if (width > widest.Width) widest = {width, cursor ? width : height};
  }
  size = widest;
  return true;
}

bool ReadJpegSize(std::span<const uint8_t> data, TPictureSize& size, uint8_t& marker) {
  THeaderReader reader(data);
  uint32_t start = 0;
  if (!reader.U16BE(start) || start != 0xFFD8) return false;
  for (;;) {
    uint8_t code = 0;
    if (!reader.Byte(code) || code != 0xFF) return false;
    // Any number of fill bytes may stand before a marker.
    while (code == 0xFF)
      if (!reader.Byte(code)) return false;
    if (code == 0xD9 || code == 0xDA || code == 0x00) return false;
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;  // markers without a segment
    uint32_t length = 0;
    if (!reader.U16BE(length)) return false;
    if (IsStartOfFrame(code)) {
      uint8_t precision = 0;
      uint32_t height = 0, width = 0;
      if (!reader.Byte(precision) || !reader.U16BE(height) || !reader.U16BE(width)) return false;
      size = {width, height};
      marker = code;
      return true;
    }
    // The length counts its own two bytes; less is damage, and would never move on.
    if (length < 2 || !reader.Skip(length - 2)) return false;
  }
}

bool ReadGifScreenSize(std::span<const uint8_t> data, TPictureSize& size) {
  THeaderReader reader(data);
  uint32_t width = 0, height = 0;
  if (!reader.Skip(6) || !reader.U16LE(width) || !reader.U16LE(height)) return false;
  size = {width, height};
  return true;
}

bool ReadPngSize(std::span<const uint8_t> data, TPictureSize& size) {
  THeaderReader reader(data);
  uint32_t width = 0, height = 0;
  if (!reader.Skip(16) || !reader.U32BE(width) || !reader.U32BE(height)) return false;
  size = {width, height};
  return true;
}

bool WithinImageLimits(const TPictureHeader& header) {
  return WithinImageLimits(header.Width, header.Height) && header.Pixels <= MaxImagePixels;
}

bool ReadIconPicture(std::span<const uint8_t> data, TPictureHeader& header) {
  header = TPictureHeader();
  header.Format = TPictureFormat::Icon;
  return ReadIconExtent(data, header);
}

TImageFormatError ReadPictureHeader(std::span<const uint8_t> data, TPictureHeader& header) {
  header = TPictureHeader();
  header.Format = FormatOf(data);
  if (header.Format == TPictureFormat::Unknown) return TImageFormatError::Unsupported;
  if (!ReadExtent(header.Format, data, header) || header.Width == 0 || header.Height == 0)
    return TImageFormatError::Truncated;
  if (header.Pixels == 0)
    header.Pixels =
        header.Width <= UINT32_MAX && header.Height <= UINT32_MAX ? header.Width * header.Height : UINT64_MAX;
  return WithinImageLimits(header) ? TImageFormatError::None : TImageFormatError::TooLarge;
}
