#pragma once
// Pixel sizes read from the headers of picture files without decoding them: what the data element's hint tells,
// and what the GDI+ route checks against MaxImageSide and MaxImagePixels before a decoder sees the bytes (a decoder
// takes its pixel memory from the header's word, before it finds the data missing). No platform calls. The bytes
// are untrusted: nothing is read outside the span and every walk ends inside it.

#include <cstdint>
#include <span>

#include "graphics/pixels/pxImageFormats.h"

// Sides as the header stores them; the caller decides what 0, or a side past the signed range, stands for.
struct TPictureSize {
  uint32_t Width = 0;
  uint32_t Height = 0;
};

// Each reads the header at the span's first byte; false when it is cut short or damaged.
// "BM", then a core header's 16-bit sides or a longer header's; the height's absolute value (top-down rows).
bool ReadBmpSize(std::span<const uint8_t> data, TPictureSize& size);
// An icon or cursor directory (type 1 or 2): the widest entry, a strictly wider one replacing it, a side byte 0
// standing for 256; a cursor's height is its width.
bool ReadIconDirectorySize(std::span<const uint8_t> data, bool cursor, TPictureSize& size);
// After FF D8, the first start-of-frame segment, whichever process its marker (C0..CF but C4, C8, CC) names; false
// when the image data (FF DA) or the end (FF D9) comes first.
bool ReadJpegSize(std::span<const uint8_t> data, TPictureSize& size, uint8_t& marker);
// The logical screen of a GIF; its frames may reach beyond it.
bool ReadGifScreenSize(std::span<const uint8_t> data, TPictureSize& size);
// The two 32-bit big-endian numbers at byte 16, where the header chunk keeps the sides.
bool ReadPngSize(std::span<const uint8_t> data, TPictureSize& size);

enum class TPictureFormat : uint8_t { Unknown, Bmp, Icon, Jpeg, Gif, Png, Tiff, Emf, Wmf };

struct TPictureHeader {
  TPictureFormat Format = TPictureFormat::Unknown;
  // The largest picture a decoder makes of the data: a GIF's screen or any frame reaching beyond it, an icon's
  // largest frame by its own header, a TIFF's first page, a metafile at each resolution it records.
  uint64_t Width = 0;
  uint64_t Height = 0;
  // The pixels of all the frames a picture holds together: an icon's every frame, a GIF's every frame but at least
  // its extent, else Width x Height; at most UINT64_MAX.
  uint64_t Pixels = 0;
};

// Sides within MaxImageSide and all the frames together within MaxImagePixels.
bool WithinImageLimits(const TPictureHeader& header);

// An icon or cursor, its frames one after another in entry order, each where its entry's offset says: its largest
// frame and the pixels of all of them, each frame as large as its entry or its own header says, whichever is
// larger (a PNG frame is decoded at its header's size). False when the directory or a frame's header is cut short,
// or a frame lies elsewhere than its offset says.
bool ReadIconPicture(std::span<const uint8_t> data, TPictureHeader& header);

// The format by its signature (those GDI+ knows), then its size by its headers. None when the size lies within
// MaxImageSide and MaxImagePixels, TooLarge beyond them, Unsupported for a signature of none of these formats,
// Truncated when a header the size needs is cut short or damaged, or gives two answers where a decoder takes one
// (a size stated twice, or in a form no decoder reads as a size): which one a decoder takes is not known here.
TImageFormatError ReadPictureHeader(std::span<const uint8_t> data, TPictureHeader& header);
