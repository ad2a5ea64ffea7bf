#pragma once
// Readers of icon directories and device-independent bitmap headers, and the conversion of their pixels to 32-bit
// ARGB (alpha in bits 24-31, then red, green, blue). No platform calls: the Windows units and the host fuzzers share
// them. Files are untrusted: every size is computed in 64 bits and checked against the bytes at hand, and nothing
// here reads outside the span it is given or writes beyond Width x Height pixels of the layout it reported.

#include <cstdint>
#include <span>
#include <vector>

enum class TImageFormatError : uint8_t {
  None,
  Truncated,    // the data ends before a part its headers announce
  BadIcon,      // an icon directory or frame that breaks the format
  BadBitmap,    // a bitmap header that breaks the format
  TooLarge,     // dimensions beyond MaxImageSide or MaxImagePixels
  Unsupported,  // a valid header in a form this reader does not decode (JPEG or PNG inside a BMP, top-down RLE...)
  BadPng,       // a PNG file that breaks the format: signature, chunk order, checksum, header values, pixel data
};

// Pictures larger than this are refused before any pixel memory is taken, by these readers, the PNG reader and the
// GDI+ route alike. The side is the widest a JPEG or GIF can state: a strip that wide is still a small picture.
constexpr int32_t MaxImageSide = 65535;
constexpr uint64_t MaxImagePixels = uint64_t(1) << 26;
constexpr bool WithinImageLimits(uint64_t width, uint64_t height) {
  return width <= uint64_t(MaxImageSide) && height <= uint64_t(MaxImageSide) && width * height <= MaxImagePixels;
}

// Compression values of the information header.
constexpr uint32_t DibRgb = 0;
constexpr uint32_t DibRle8 = 1;
constexpr uint32_t DibRle4 = 2;
constexpr uint32_t DibBitfields = 3;
constexpr uint32_t DibAlphaBitfields = 6;

constexpr uint32_t BmpFileHeaderSize = 14;
constexpr uint32_t DibInfoHeaderSize = 40;

// Where the parts of one device-independent bitmap lie, all offsets from the start of the span it was read from.
struct TDibLayout {
  int32_t Width = 0;
  int32_t Height = 0;    // rows of the picture (half the stored height in an icon frame), always positive
  bool TopDown = false;  // rows stored top row first (a negative height in the header)
  uint16_t BitCount = 0;
  uint32_t Compression = DibRgb;
  uint32_t HeaderSize = 0;
  uint32_t Masks[4] = {};  // red, green, blue, alpha; used for 16 and 32 bits per pixel
  uint64_t PaletteOffset = 0;
  uint32_t PaletteCount = 0;
  uint32_t PaletteEntrySize = 4;  // 3 in the old core header
  uint64_t Stride = 0;            // bytes of one stored row of an uncompressed bitmap
  uint64_t PixelOffset = 0;
  uint64_t PixelSize = 0;
  bool StoredAlpha = false;  // the pixels carry their own alpha (32-bit, or an alpha mask)
};

// Reads the information header (and colour masks and colour table) at the start of Data. IconFrame: the stored
// height covers the colour image and the mask, so the picture is half as high; only headers an icon may hold pass.
// PixelOffset is set right after the colour table and PixelSize to what the header announces; both lie inside Data.
TImageFormatError ReadDibHeader(std::span<const uint8_t> data, bool iconFrame, TDibLayout& layout);

// Reads a whole BMP file: the 14-byte file header, the information header, and the pixel data at the offset the
// file header gives (or right after the colour table when that offset is 0). Everything must lie inside Data.
TImageFormatError ReadBmp(std::span<const uint8_t> data, TDibLayout& layout);

// Writes Width x Height pixels, top row first, into Dest. Pixels without stored alpha get alpha 255; 32-bit BI_RGB
// pixels keep the alpha byte as stored. Pixels an RLE stream skips stay 0x00000000.
TImageFormatError DecodeDib(std::span<const uint8_t> data, const TDibLayout& layout, uint32_t* dest);

// One directory entry of an icon or cursor file.
struct TIconDirEntry {
  int32_t Width = 0;  // 0 in the file means 256
  int32_t Height = 0;
  uint16_t BitCount = 0;
  uint32_t Size = 0;  // bytes of the frame's data
};

// One frame: PNG or MNG data, or a colour image followed by its 1-bit mask.
struct TIconFrameLayout {
  TIconDirEntry Entry;
  uint64_t Offset = 0;  // start of the frame's data in the file
  bool IsPng = false;   // PNG or MNG data; Entry gives the size
  TDibLayout Dib;       // offsets from Offset; the colour image
  uint64_t MaskOffset = 0;
  uint64_t MaskStride = 0;
  int32_t Width() const { return IsPng ? Entry.Width : Dib.Width; }
  int32_t Height() const { return IsPng ? Entry.Height : Dib.Height; }
};

struct TIconLayout {
  uint16_t Type = 0;  // 1 icon, 2 cursor; not validated
  std::vector<TIconFrameLayout> Frames;
};

// Bytes an icon with this 6-byte header and directory needs in all (header, directory and every frame's data,
// frames following each other in entry order); Directory must hold at least the header. Returns 0 with Error set
// when the header or directory is incomplete.
uint64_t IconBytesNeeded(std::span<const uint8_t> directory, TImageFormatError& error);

// Reads an icon or cursor file whose frames follow the directory one after another in entry order.
TImageFormatError ReadIcon(std::span<const uint8_t> data, TIconLayout& layout);

// Writes a DIB frame's Width x Height pixels, top row first. A frame with stored alpha that is not 0 everywhere
// keeps its pixels as they are and ignores the mask. Any other frame is combined with the mask: where the mask is
// clear the pixel is opaque; where it is set the pixel is transparent, or opaque black where the colour image is
// not black (inverted pixels).
TImageFormatError DecodeIconFrame(std::span<const uint8_t> data, const TIconFrameLayout& frame, uint32_t* dest);

// A picture of at most 256 colours, for encoders that take only indexed images (GIF).
struct TIndexedImage {
  int32_t Width = 0;
  int32_t Height = 0;
  uint32_t Stride = 0;            // bytes a row, a multiple of 4
  std::vector<uint32_t> Palette;  // 32-bit ARGB; the entry for transparent pixels is 0x00000000
  std::vector<uint8_t> Indices;   // Stride x Height, top row first
};

// Pixels with alpha below 128 share one transparent entry. The palette is exact when the other pixels have at most
// 256 colours (255 with a transparent entry); otherwise it is a median cut over their 15-bit colours.
void QuantizeTo8Bit(const uint32_t* pixels, int32_t width, int32_t height, TIndexedImage& image);

// Marks palette entry AIndex of the first image of a GIF as transparent: sets the flag and index of the graphic
// control extension in front of it, or inserts one (and makes the header "GIF89a"). False when the data is not a
// GIF this can follow.
bool SetGifTransparentIndex(std::vector<uint8_t>& gif, uint8_t index);
