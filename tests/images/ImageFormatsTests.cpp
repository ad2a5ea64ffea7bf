#include "graphics/pixels/pxImageFormats.h"
#include "graphics/pixels/pxImageSize.h"
#include "tests/images/ImageBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

std::vector<uint32_t> DecodeFrame(const TBytes& file, size_t index = 0) {
  TIconLayout layout;
  EXPECT_EQ(ReadIcon(file, layout), TImageFormatError::None);
  if (index >= layout.Frames.size()) return {};
  const TIconFrameLayout& frame = layout.Frames[index];
  std::vector<uint32_t> pixels(static_cast<size_t>(frame.Width()) * frame.Height(), 0xDEADBEEF);
  EXPECT_EQ(DecodeIconFrame(file, frame, pixels.data()), TImageFormatError::None);
  return pixels;
}

std::vector<uint32_t> DecodeBmp(const TBytes& file) {
  TDibLayout layout;
  EXPECT_EQ(ReadBmp(file, layout), TImageFormatError::None);
  std::vector<uint32_t> pixels(static_cast<size_t>(layout.Width) * layout.Height, 0xDEADBEEF);
  if (!pixels.empty()) {
    EXPECT_EQ(DecodeDib(file, layout, pixels.data()), TImageFormatError::None);
  }
  return pixels;
}

// A DIB icon frame: header (stored height doubled), table, colour rows and mask rows, both bottom-up.
TBytes DibFrame(int32_t w, int32_t h, uint16_t bits, const TBytes& table, const TBytes& colorRows,
                const TBytes& maskRows) {
  TBytes b = InfoHeader(w, 2 * h, bits);
  PutBytes(b, table);
  PutBytes(b, colorRows);
  PutBytes(b, maskRows);
  return b;
}

TEST(IconReader, OneBitFrameMapsTableAndMask) {
  // 2 x 2: bottom row (stored first) colours 1,0; top row 0,1. Mask: bottom-left transparent.
  const TBytes colors = {0x80, 0, 0, 0, 0x40, 0, 0, 0};
  const TBytes mask = {0x80, 0, 0, 0, 0x00, 0, 0, 0};
  const TBytes file = IconFile({{2, 2, 1, DibFrame(2, 2, 1, Palette({0x000000, 0x112233}), colors, mask)}});
  // Top row first: (0,0)=colour 0 black opaque, (1,0)=colour 1; bottom-left is masked and not black -> inverted.
  EXPECT_EQ(DecodeFrame(file), (std::vector<uint32_t>{0xFF000000, 0xFF112233, 0xFF000000, 0xFF000000}));
}

TEST(IconReader, MaskedBlackPixelIsFullyTransparent) {
  const TBytes file = IconFile({{1, 1, 24, DibFrame(1, 1, 24, {}, {0, 0, 0, 0}, {0x80, 0, 0, 0})}});
  EXPECT_EQ(DecodeFrame(file), (std::vector<uint32_t>{0x00000000}));
}

TEST(IconReader, FourAndEightBitFramesUseTheirTables) {
  TBytes table4;
  for (uint32_t i = 0; i < 16; ++i) Put32(table4, i * 0x010101);
  const TBytes four = IconFile({{2, 1, 4, DibFrame(2, 1, 4, table4, {0x3F, 0, 0, 0}, {0, 0, 0, 0})}});
  EXPECT_EQ(DecodeFrame(four), (std::vector<uint32_t>{0xFF030303, 0xFF0F0F0F}));

  TBytes table8;
  for (uint32_t i = 0; i < 256; ++i) Put32(table8, i << 8);
  const TBytes eight = IconFile({{3, 1, 8, DibFrame(3, 1, 8, table8, {7, 200, 255, 0}, {0, 0, 0, 0})}});
  EXPECT_EQ(DecodeFrame(eight), (std::vector<uint32_t>{0xFF000700, 0xFF00C800, 0xFF00FF00}));
}

TEST(IconReader, TheHeadersColourCountPlaysNoPartInAFrame) {
  // A 1-bit frame claiming one colour still carries (and uses) both entries of its table.
  TBytes oneBit = InfoHeader(2, 2, 1, 0, 1);
  PutBytes(oneBit, Palette({0x000000, 0x112233}));
  PutBytes(oneBit, {0x40, 0, 0, 0});
  PutBytes(oneBit, {0, 0, 0, 0});
  EXPECT_EQ(DecodeFrame(IconFile({{2, 1, 1, oneBit}})), (std::vector<uint32_t>{0xFF000000, 0xFF112233}));
  // Past 8 bits there is no table, whatever the count says: the pixels follow the header.
  TBytes trueColour = InfoHeader(1, 2, 24, 0, 3);
  PutBytes(trueColour, {1, 2, 3, 0});
  PutBytes(trueColour, {0, 0, 0, 0});
  EXPECT_EQ(DecodeFrame(IconFile({{1, 1, 24, trueColour}})), (std::vector<uint32_t>{0xFF030201}));
}

TEST(IconReader, TwentyFourBitRowsArePaddedToFourBytes) {
  // 1 x 2: each 3-byte row padded to 4; bottom row red, top row blue.
  const TBytes rows = {0, 0, 0xFF, 0, 0xFF, 0, 0, 0};
  const TBytes file = IconFile({{1, 2, 24, DibFrame(1, 2, 24, {}, rows, {0, 0, 0, 0, 0, 0, 0, 0})}});
  EXPECT_EQ(DecodeFrame(file), (std::vector<uint32_t>{0xFF0000FF, 0xFFFF0000}));
}

// One 32-bit frame of three pixels against the mask 0110: with alpha anywhere the frame's alpha decides and the mask
// is ignored (soft edges that real icons mark in their mask keep their colour); with alpha 0 everywhere the mask
// decides.
TEST(IconReader, ThirtyTwoBitFrameTakesItsAlphaOrElseItsMask) {
  struct TCase {
    uint32_t Stored[3];
    uint32_t Expected[3];
  };
  const TCase cases[] = {
      // Alpha present: kept as stored, masked pixels included.
      {{0x80102030, 0x40FFFFFF, 0x7F000000}, {0x80102030, 0x40FFFFFF, 0x7F000000}},
      {{0x00102030, 0x01FFFFFF, 0x00000000}, {0x00102030, 0x01FFFFFF, 0x00000000}},
      {{0xFF102030, 0xFF112233, 0xFF000000}, {0xFF102030, 0xFF112233, 0xFF000000}},
      // Alpha all zero: clear mask opaque, masked colour inverted (opaque black), masked black transparent.
      {{0x00102030, 0x00FFFFFF, 0x00000000}, {0xFF102030, 0xFF000000, 0x00000000}},
  };
  for (const TCase& c : cases) {
    TBytes rows;
    for (uint32_t pixel : c.Stored) Put32(rows, pixel);
    const TBytes file = IconFile({{3, 1, 32, DibFrame(3, 1, 32, {}, rows, {0x60, 0, 0, 0})}});
    EXPECT_EQ(DecodeFrame(file), (std::vector<uint32_t>(std::begin(c.Expected), std::end(c.Expected))))
        << std::hex << c.Stored[0] << " " << c.Stored[1] << " " << c.Stored[2];
  }
}

TEST(IconReader, ThirtyTwoBitFrameWithoutAlphaUsesTheMask) {
  TBytes rows;
  Put32(rows, 0x00102030);
  Put32(rows, 0x00000000);
  const TBytes file = IconFile({{2, 1, 32, DibFrame(2, 1, 32, {}, rows, {0x40, 0, 0, 0})}});
  EXPECT_EQ(DecodeFrame(file), (std::vector<uint32_t>{0xFF102030, 0x00000000}));
}

TEST(IconReader, PngFramesKeepDirectorySizesAndZeroMeans256) {
  TBytes png = PngSignatureBytes();
  png.resize(40, 0);
  const TBytes dib = DibFrame(16, 16, 32, {}, TBytes(16 * 16 * 4, 0), TBytes(16 * 4, 0));
  const TBytes file = IconFile({{16, 16, 32, dib}, {0, 0, 32, png}}, 2);
  TIconLayout layout;
  ASSERT_EQ(ReadIcon(file, layout), TImageFormatError::None);
  ASSERT_EQ(layout.Frames.size(), 2u);
  EXPECT_EQ(layout.Type, 2);
  EXPECT_FALSE(layout.Frames[0].IsPng);
  EXPECT_EQ(layout.Frames[0].Width(), 16);
  EXPECT_TRUE(layout.Frames[1].IsPng);
  EXPECT_EQ(layout.Frames[1].Width(), 256);
  EXPECT_EQ(layout.Frames[1].Height(), 256);
  EXPECT_EQ(layout.Frames[1].Offset, 6 + 32 + dib.size());
  TImageFormatError error;
  EXPECT_EQ(IconBytesNeeded(file, error), file.size());
  EXPECT_EQ(error, TImageFormatError::None);
}

TEST(IconReader, ExcessFrameBytesAreSkipped) {
  TBytes first = DibFrame(1, 1, 24, {}, {1, 2, 3, 0}, {0, 0, 0, 0});
  first.resize(first.size() + 10, 0xAA);
  const TBytes second = DibFrame(1, 1, 24, {}, {4, 5, 6, 0}, {0, 0, 0, 0});
  const TBytes file = IconFile({{1, 1, 24, first}, {1, 1, 24, second}});
  EXPECT_EQ(DecodeFrame(file, 1), (std::vector<uint32_t>{0xFF060504}));
}

TEST(IconReader, EmptyDirectoryGivesNoFrames) {
  TIconLayout layout;
  EXPECT_EQ(ReadIcon(IconFile({}), layout), TImageFormatError::None);
  EXPECT_TRUE(layout.Frames.empty());
}

TEST(IconReader, NegativeHeightReadsRowsTopDown) {
  const TBytes rows = {0, 0, 0xFF, 0, 0xFF, 0, 0, 0};  // first stored row red
  TBytes frame = InfoHeader(1, -4, 24);
  PutBytes(frame, rows);
  PutBytes(frame, {0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(DecodeFrame(IconFile({{1, 2, 24, frame}})), (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
}

struct TBadIcon {
  const char* Name;
  TBytes File;
  TImageFormatError Expected;
};

TEST(IconReader, MalformedFilesGiveErrors) {
  const TBytes good = DibFrame(2, 2, 32, {}, TBytes(16, 0), TBytes(8, 0));
  TBytes shortFrame = good;
  shortFrame.resize(good.size() - 1);
  TBytes truncatedFile = IconFile({{2, 2, 32, good}});
  truncatedFile.resize(truncatedFile.size() - 5);
  TBytes hugeHeader = InfoHeader(100000, 200000, 32);
  const std::vector<TBadIcon> cases = {
      {"header cut short", {0, 0, 1}, TImageFormatError::Truncated},
      {"directory cut short", {0, 0, 1, 0, 2, 0, 16, 16}, TImageFormatError::Truncated},
      {"frame data past the end", truncatedFile, TImageFormatError::Truncated},
      {"declared size below its parts", IconFile({{2, 2, 32, shortFrame}}), TImageFormatError::BadIcon},
      {"header bigger than the frame", IconFile({{2, 2, 32, TBytes(20, 0)}}), TImageFormatError::BadIcon},
      {"huge dimensions", IconFile({{0, 0, 32, hugeHeader}}), TImageFormatError::TooLarge},
      {"zero width", IconFile({{1, 1, 32, InfoHeader(0, 2, 32)}}), TImageFormatError::BadIcon},
      {"unknown bit count", IconFile({{1, 1, 7, InfoHeader(1, 2, 7)}}), TImageFormatError::BadIcon},
      {"compressed colour image", IconFile({{1, 1, 8, InfoHeader(1, 2, 8, 1)}}), TImageFormatError::Unsupported},
      {"size field near 4 GiB", IconFile({{1, 1, 32, good, 0xFFFFFFF0}}), TImageFormatError::Truncated},
  };
  for (const TBadIcon& c : cases) {
    TIconLayout layout;
    EXPECT_EQ(ReadIcon(c.File, layout), c.Expected) << c.Name;
  }
}

TEST(BmpReader, ThirtyTwoBitKeepsAlphaInBothRowOrders) {
  TBytes rows;
  Put32(rows, 0x11223344);
  Put32(rows, 0x00AABBCC);
  EXPECT_EQ(DecodeBmp(BmpFile(InfoHeader(1, 2, 32), {}, rows)), (std::vector<uint32_t>{0x00AABBCC, 0x11223344}));
  EXPECT_EQ(DecodeBmp(BmpFile(InfoHeader(1, -2, 32), {}, rows)), (std::vector<uint32_t>{0x11223344, 0x00AABBCC}));
}

TEST(BmpReader, PaletteImageIsOpaque) {
  const TBytes file = BmpFile(InfoHeader(2, 1, 8, 0, 2), Palette({0x102030, 0x405060}), {1, 0, 0, 0});
  EXPECT_EQ(DecodeBmp(file), (std::vector<uint32_t>{0xFF405060, 0xFF102030}));
}

TEST(BmpReader, PixelDataOffsetIsHonoured) {
  const TBytes file = BmpFile(InfoHeader(1, 1, 24), {}, {0x33, 0x22, 0x11, 0}, 6);
  EXPECT_EQ(DecodeBmp(file), (std::vector<uint32_t>{0xFF112233}));
}

TEST(BmpReader, BitfieldsExpandEachChannel) {
  TBytes masks;
  Put32(masks, 0xF800);
  Put32(masks, 0x07E0);
  Put32(masks, 0x001F);
  TBytes rows;
  Put16(rows, 0xF800);
  Put16(rows, 0x07FF);
  EXPECT_EQ(DecodeBmp(BmpFile(InfoHeader(2, 1, 16, DibBitfields), masks, rows)),
            (std::vector<uint32_t>{0xFFFF0000, 0xFF00FFFF}));
}

TEST(BmpReader, FiveFiveFiveIsTheSixteenBitDefault) {
  TBytes rows;
  Put16(rows, 0x7C00);
  Put16(rows, 0x001F);
  EXPECT_EQ(DecodeBmp(BmpFile(InfoHeader(2, 1, 16), {}, rows)), (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
}

TEST(BmpReader, VersionFiveHeaderCarriesAnAlphaMask) {
  TBytes header = InfoHeader(1, 1, 32, DibBitfields);
  header[0] = 124;
  Put32(header, 0x000000FF);  // red in the low byte
  Put32(header, 0x0000FF00);
  Put32(header, 0x00FF0000);
  Put32(header, 0xFF000000);
  header.resize(124, 0);
  TBytes rows;
  Put32(rows, 0x80332211);
  EXPECT_EQ(DecodeBmp(BmpFile(header, {}, rows)), (std::vector<uint32_t>{0x80112233}));
}

TEST(BmpReader, CoreHeaderUsesThreeByteTable) {
  TBytes header;
  Put32(header, 12);
  Put16(header, 2);
  Put16(header, 1);
  Put16(header, 1);
  Put16(header, 1);
  const TBytes table = {0x00, 0x00, 0x00, 0x30, 0x20, 0x10};
  EXPECT_EQ(DecodeBmp(BmpFile(header, table, {0x40, 0, 0, 0})), (std::vector<uint32_t>{0xFF000000, 0xFF102030}));
}

TEST(BmpReader, RunLengthEightBitDecodesRunsDeltasAndLiterals) {
  // 4 x 2, bottom row first: a run of one 1, then the literal 2, 3, 1 (padded); end of line; a delta over one
  // pixel, one 1; end of bitmap.
  const TBytes rle = {1, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 1, 0, 1, 1, 0, 1};
  const TBytes file = BmpFile(InfoHeader(4, 2, 8, DibRle8, 4), Palette({0, 0x0000FF, 0x00FF00, 0xFF0000}), rle);
  EXPECT_EQ(DecodeBmp(file),
            (std::vector<uint32_t>{0, 0xFF0000FF, 0, 0, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF0000FF}));
}

TEST(BmpReader, RunLengthFourBitAlternatesNibbles) {
  const TBytes rle = {3, 0x12, 0, 1};
  const TBytes file = BmpFile(InfoHeader(3, 1, 4, DibRle4, 3), Palette({0, 0x0000FF, 0x00FF00}), rle);
  EXPECT_EQ(DecodeBmp(file), (std::vector<uint32_t>{0xFF0000FF, 0xFF00FF00, 0xFF0000FF}));
}

struct TBadBmp {
  const char* Name;
  TBytes File;
  TImageFormatError Expected;
};

TEST(BmpReader, MalformedFilesGiveErrors) {
  TBytes truncated = BmpFile(InfoHeader(4, 4, 32), {}, TBytes(64, 0));
  truncated.resize(truncated.size() - 1);
  TBytes notBm = BmpFile(InfoHeader(1, 1, 32), {}, TBytes(4, 0));
  notBm[0] = 'X';
  const std::vector<TBadBmp> cases = {
      {"shorter than the file header", {'B', 'M', 0}, TImageFormatError::Truncated},
      {"not BM", notBm, TImageFormatError::BadBitmap},
      {"pixels cut short", truncated, TImageFormatError::Truncated},
      {"offset past the end", BmpFile(InfoHeader(1, 1, 32), {}, TBytes(4, 0), 0, 4000), TImageFormatError::Truncated},
      {"offset inside the header", BmpFile(InfoHeader(1, 1, 32), {}, TBytes(4, 0), 0, 20),
       TImageFormatError::BadBitmap},
      {"unknown header size", BmpFile({33, 0, 0, 0}, {}, {}), TImageFormatError::BadBitmap},
      {"huge dimensions", BmpFile(InfoHeader(40000, 40000, 1), {}, {}), TImageFormatError::TooLarge},
      {"negative width", BmpFile(InfoHeader(-4, 4, 32), {}, TBytes(64, 0)), TImageFormatError::BadBitmap},
      {"embedded PNG", BmpFile(InfoHeader(1, 1, 0, 5), {}, {}), TImageFormatError::Unsupported},
      {"top-down RLE", BmpFile(InfoHeader(1, -1, 8, DibRle8), Palette({0}), {0, 1}), TImageFormatError::Unsupported},
      {"bit fields with a split mask",
       BmpFile(InfoHeader(1, 1, 16, DibBitfields), {0x01, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, TBytes(4, 0)),
       TImageFormatError::BadBitmap},
  };
  for (const TBadBmp& c : cases) {
    TDibLayout layout;
    EXPECT_EQ(ReadBmp(c.File, layout), c.Expected) << c.Name;
  }
}

TEST(BmpReader, TruncatedRunLengthDataIsAnError) {
  const TBytes file = BmpFile(InfoHeader(4, 2, 8, DibRle8, 1), Palette({0}), {0, 5, 1});
  TDibLayout layout;
  ASSERT_EQ(ReadBmp(file, layout), TImageFormatError::None);
  std::vector<uint32_t> pixels(8);
  EXPECT_EQ(DecodeDib(file, layout, pixels.data()), TImageFormatError::Truncated);
}

TEST(Quantizer, FewColoursAreKeptExactlyWithOneTransparentEntry) {
  const std::vector<uint32_t> pixels = {0xFF102030, 0x00FFFFFF, 0xFF405060, 0xFF102030, 0x7F000000};
  TIndexedImage image;
  QuantizeTo8Bit(pixels.data(), 5, 1, image);
  EXPECT_EQ(image.Stride, 8u);
  ASSERT_EQ(image.Palette, (std::vector<uint32_t>{0xFF102030, 0xFF405060, 0x00000000}));
  EXPECT_EQ(std::vector<uint8_t>(image.Indices.begin(), image.Indices.begin() + 5),
            (std::vector<uint8_t>{0, 2, 1, 0, 2}));
}

TEST(Quantizer, ManyColoursFitInTheLimitAndStayClose) {
  // A 64 x 64 gradient over red and green has 4096 colours.
  std::vector<uint32_t> pixels;
  for (uint32_t y = 0; y < 64; ++y)
    for (uint32_t x = 0; x < 64; ++x) pixels.push_back(0xFF000000u | (x * 4) << 16 | (y * 4) << 8 | 0x40);
  for (int transparent = 0; transparent < 2; ++transparent) {
    if (transparent) pixels[0] = 0;
    TIndexedImage image;
    QuantizeTo8Bit(pixels.data(), 64, 64, image);
    ASSERT_LE(image.Palette.size(), 256u);
    int worst = 0;
    for (size_t i = transparent; i < pixels.size(); ++i) {
      const uint32_t q = image.Palette[image.Indices[(i / 64) * image.Stride + i % 64]];
      for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(int((pixels[i] >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
    }
    EXPECT_LE(worst, 16);
    if (transparent) {
      EXPECT_EQ(image.Palette[image.Indices[0]], 0x00000000u);
    }
  }
}

TEST(GifTransparency, InsertsAControlExtensionBeforeTheFirstImage) {
  TBytes gif = {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0x80, 0, 0, 1, 2, 3, 4, 5, 6, 0x2C, 9, 9};
  ASSERT_TRUE(SetGifTransparentIndex(gif, 1));
  EXPECT_EQ(gif, (TBytes{'G', 'I', 'F', '8', '9',  'a',  1, 0, 1, 0, 0x80, 0, 0,    1, 2,
                         3,   4,   5,   6,   0x21, 0xF9, 4, 1, 0, 0, 1,    0, 0x2C, 9, 9}));
}

TEST(GifTransparency, UpdatesAnExistingControlExtension) {
  TBytes gif = {'G',  'I', 'F', '8', '9', 'a',  1,    0, 1,    0, 0, 0, 0, 0x21,
                0xFE, 2,   'h', 'i', 0,   0x21, 0xF9, 4, 0x08, 5, 0, 0, 0, 0x2C};
  ASSERT_TRUE(SetGifTransparentIndex(gif, 7));
  EXPECT_EQ(gif[22], 0x09);
  EXPECT_EQ(gif[25], 7);
  EXPECT_EQ(gif.size(), 28u);
}

TEST(GifTransparency, RefusesDataItCannotFollow) {
  for (TBytes bad :
       {TBytes{'G', 'I', 'F'}, TBytes(20, 0), TBytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x87, 0, 0, 0x2C},
        TBytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xFE, 5, 1}}) {
    const TBytes before = bad;
    EXPECT_FALSE(SetGifTransparentIndex(bad, 0));
    EXPECT_EQ(bad, before);
  }
}

}  // namespace

namespace {

void PutBe32(TBytes& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}

// A PNG signature and header chunk, all a size reader needs.
TBytes PngStart(uint32_t width, uint32_t height) {
  TBytes b{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  PutBe32(b, width);
  PutBe32(b, height);
  PutBytes(b, {1, 0, 0, 0, 0, 0, 0, 0, 0});
  return b;
}

struct TTiffEntry {
  uint16_t Tag, Type;
  uint32_t Count, Value;
};

// A little-endian TIFF of one directory with these entries in this order.
TBytes Tiff(std::initializer_list<TTiffEntry> entries) {
  TBytes b{'I', 'I', 42, 0};
  Put32(b, 8);
  Put16(b, static_cast<uint32_t>(entries.size()));
  for (const TTiffEntry& e : entries) {
    Put16(b, e.Tag);
    Put16(b, e.Type);
    Put32(b, e.Count);
    Put32(b, e.Value);
  }
  Put32(b, 0);
  return b;
}

// A GIF screen of Side x Side with this many frames as large, each of one empty data sub-block.
TBytes Gif(uint16_t side, int frames) {
  TBytes b{'G', 'I', 'F', '8', '9', 'a'};
  for (uint16_t v : {side, side}) Put16(b, v);
  PutBytes(b, {0, 0, 0});
  for (int i = 0; i < frames; ++i) {
    b.push_back(0x2C);
    for (uint16_t v : {uint16_t(0), uint16_t(0), side, side}) Put16(b, v);
    PutBytes(b, {0, 2, 0});
  }
  b.push_back(0x3B);
  return b;
}

// SOI, then a start-of-frame segment for each size.
TBytes Jpeg(std::initializer_list<std::pair<uint16_t, uint16_t>> frames) {
  TBytes b{0xFF, 0xD8};
  for (const auto& [width, height] : frames)
    PutBytes(b, {0xFF, 0xC0, 0, 11, 8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width), 1,
                 1, 0x11, 0});
  PutBytes(b, {0xFF, 0xDA, 0, 2, 0xFF, 0xD9});
  return b;
}

}  // namespace

// A header that states a size twice lets one reading pass while a decoder takes the other and its memory: such a
// header is damage. An icon's or a GIF's frames are decoded together, so the limit holds for all of them at once.
TEST(PictureHeader, TwoAnswersInOneHeaderAreDamageAndAllFramesCount) {
  const TBytes bigPng = PngStart(4096, 4096);
  const auto icon = [&](size_t frames) {
    return IconFile(std::vector<TIconPart>(frames, TIconPart{0, 0, 32, bigPng}));
  };
  // The first entry's offset names the small second frame; the icon reader takes the large one that follows.
  TBytes elsewhere = IconFile({{16, 16, 32, PngStart(9000, 9000)}, {16, 16, 32, PngStart(16, 16)}});
  elsewhere[6 + 12] = static_cast<uint8_t>(6 + 32 + bigPng.size());
  const struct {
    const char* Name;
    TBytes Bytes;
    TImageFormatError Result;
  } rows[] = {
      {"TIFF", Tiff({{256, 4, 1, 9000}, {257, 3, 1, 9000}}), TImageFormatError::TooLarge},
      {"TIFF sides stated again, smaller",
       Tiff({{256, 4, 1, 9000}, {257, 4, 1, 9000}, {256, 4, 1, 64}, {257, 4, 1, 64}}), TImageFormatError::Truncated},
      {"TIFF width stated again as a signed LONG", Tiff({{256, 3, 1, 64}, {257, 4, 1, 64}, {256, 9, 1, 9000}}),
       TImageFormatError::Truncated},
      {"TIFF width of two values", Tiff({{256, 4, 2, 64}, {257, 4, 1, 64}}), TImageFormatError::Truncated},
      {"JPEG", Jpeg({{64, 64}}), TImageFormatError::None},
      {"JPEG with a second frame", Jpeg({{64, 64}, {9000, 9000}}), TImageFormatError::Truncated},
      {"BMP", BmpFile(InfoHeader(64, 64, 24), {}, TBytes(64 * 64 * 3)), TImageFormatError::None},
      {"BMP holding a PNG", BmpFile(InfoHeader(64, 64, 0, 5), {}, PngStart(9000, 9000)), TImageFormatError::Truncated},
      {"icon of four 4096 x 4096 frames", icon(4), TImageFormatError::None},
      {"icon of five 4096 x 4096 frames", icon(5), TImageFormatError::TooLarge},
      {"icon of sixteen 4096 x 4096 frames", icon(16), TImageFormatError::TooLarge},
      {"icon entry naming another frame", elsewhere, TImageFormatError::Truncated},
      {"GIF of four 4096 x 4096 frames", Gif(4096, 4), TImageFormatError::None},
      {"GIF of sixteen 4096 x 4096 frames", Gif(4096, 16), TImageFormatError::TooLarge},
  };
  for (const auto& row : rows) {
    TPictureHeader header;
    EXPECT_EQ(ReadPictureHeader(row.Bytes, header), row.Result) << row.Name;
  }
}
