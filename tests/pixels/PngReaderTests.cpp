#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string_view>
#include <vector>

#include "graphics/pixels/pxPngReader.h"

namespace {

using TBytes = std::vector<uint8_t>;

constexpr uint8_t Grey = 0, Rgb = 2, Indexed = 3, GreyAlpha = 4, Rgba = 6;

void PutBe32(TBytes& b, uint32_t v) {
  for (int shift : {24, 16, 8, 0}) b.push_back(static_cast<uint8_t>(v >> shift));
}

// One chunk: length, type, body and the checksum of type and body.
TBytes Chunk(std::string_view type, const TBytes& body) {
  TBytes b;
  PutBe32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), type.begin(), type.end());
  b.insert(b.end(), body.begin(), body.end());
  PutBe32(b, static_cast<uint32_t>(crc32(0, b.data() + 4, static_cast<uInt>(body.size() + 4))));
  return b;
}

TBytes Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType, uint8_t interlace = 0,
              uint8_t compression = 0, uint8_t filter = 0) {
  TBytes b;
  PutBe32(b, width);
  PutBe32(b, height);
  b.insert(b.end(), {depth, colourType, compression, filter, interlace});
  return b;
}

TBytes Deflate(const TBytes& raw) {
  TBytes packed(compressBound(static_cast<uLong>(raw.size())));
  uLongf size = static_cast<uLongf>(packed.size());
  compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(size);
  return packed;
}

TBytes PngFile(const std::vector<TBytes>& chunks) {
  TBytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (const TBytes& c : chunks) b.insert(b.end(), c.begin(), c.end());
  return b;
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Rows of RowBytes unfiltered bytes, each filtered with the next type of Filters in turn and prefixed with it.
TBytes FilterRows(const TBytes& rows, size_t rowBytes, size_t step, const std::vector<uint8_t>& filters) {
  TBytes out;
  for (size_t y = 0; y * rowBytes < rows.size(); ++y) {
    const uint8_t filter = filters[y % filters.size()];
    out.push_back(filter);
    for (size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= step ? rows[y * rowBytes + i - step] : 0;
      const int b = y > 0 ? rows[(y - 1) * rowBytes + i] : 0;
      const int c = i >= step && y > 0 ? rows[(y - 1) * rowBytes + i - step] : 0;
      const int predictor = filter == 1   ? a
                            : filter == 2 ? b
                            : filter == 3 ? (a + b) / 2
                            : filter == 4 ? Paeth(a, b, c)
                                          : 0;
      out.push_back(static_cast<uint8_t>(rows[y * rowBytes + i] - predictor));
    }
  }
  return out;
}

// A whole file of unfiltered rows (filter type 0 each), with PLTE and tRNS when given.
TBytes SimplePng(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType, const TBytes& rows,
                 const TBytes& palette = {}, const TBytes& transparency = {}) {
  const size_t rowBytes = rows.size() / height;
  std::vector<TBytes> chunks = {Chunk("IHDR", Header(width, height, depth, colourType))};
  if (!palette.empty()) chunks.push_back(Chunk("PLTE", palette));
  if (!transparency.empty()) chunks.push_back(Chunk("tRNS", transparency));
  chunks.push_back(Chunk("IDAT", Deflate(FilterRows(rows, rowBytes, 1, {0}))));
  chunks.push_back(Chunk("IEND", {}));
  return PngFile(chunks);
}

struct TDecoded {
  TImageFormatError Error = TImageFormatError::None;
  int32_t Width = -1;
  int32_t Height = -1;
  std::vector<uint32_t> Pixels;
};

TDecoded Decode(const TBytes& file) {
  TDecoded d;
  d.Pixels.assign(3, 0xDEADBEEF);
  d.Error = ReadPng(file, d.Width, d.Height, d.Pixels);
  return d;
}

struct TFormatCase {
  const char* Name;
  uint8_t ColourType;
  uint8_t Depth;
  uint32_t Width;
  TBytes Row;  // one row, unfiltered
  TBytes Palette;
  TBytes Transparency;
  std::vector<uint32_t> Expected;
};

TEST(PngReader, EveryColourTypeAndDepthGivesStraightArgb) {
  const TFormatCase cases[] = {
      {"grey 1, key 0",
       Grey,
       1,
       10,
       {0xA6, 0xC0},
       {},
       {0, 0},
       {0xFFFFFFFF, 0x00000000, 0xFFFFFFFF, 0x00000000, 0x00000000, 0xFFFFFFFF, 0xFFFFFFFF, 0x00000000, 0xFFFFFFFF,
        0xFFFFFFFF}},
      {"grey 2, key 2",
       Grey,
       2,
       5,
       {0x1B, 0x40},
       {},
       {0, 2},
       {0xFF000000, 0xFF555555, 0x00AAAAAA, 0xFFFFFFFF, 0xFF555555}},
      {"grey 4", Grey, 4, 3, {0x07, 0xF0}, {}, {}, {0xFF000000, 0xFF777777, 0xFFFFFFFF}},
      {"grey 8, key 0x40", Grey, 8, 3, {0x40, 0x41, 0xFF}, {}, {0, 0x40}, {0x00404040, 0xFF414141, 0xFFFFFFFF}},
      // The key compares all 16 bits; the colour is the high byte.
      {"grey 16, key 0x1234", Grey, 16, 2, {0x12, 0x34, 0x12, 0x35}, {}, {0x12, 0x34}, {0x00121212, 0xFF121212}},
      {"rgb 8, key", Rgb, 8, 2, {1, 2, 3, 1, 2, 4}, {}, {0, 1, 0, 2, 0, 3}, {0x00010203, 0xFF010204}},
      {"rgb 16, key",
       Rgb,
       16,
       2,
       {0x10, 1, 0x20, 2, 0x30, 3, 0x10, 1, 0x20, 2, 0x30, 4},
       {},
       {0x10, 1, 0x20, 2, 0x30, 3},
       {0x00102030, 0xFF102030}},
      {"palette 1",
       Indexed,
       1,
       9,
       {0x55, 0x80},
       {1, 2, 3, 4, 5, 6},
       {0x80},
       {0x80010203, 0xFF040506, 0x80010203, 0xFF040506, 0x80010203, 0xFF040506, 0x80010203, 0xFF040506, 0xFF040506}},
      {"palette 2",
       Indexed,
       2,
       3,
       {0x24},
       {1, 2, 3, 4, 5, 6, 7, 8, 9},
       {0, 0x7F},
       {0x00010203, 0xFF070809, 0x7F040506}},
      {"palette 4", Indexed, 4, 3, {0x20, 0x10}, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {}, {0xFF070809, 0xFF010203, 0xFF040506}},
      {"palette 8", Indexed, 8, 2, {1, 0}, {1, 2, 3, 4, 5, 6}, {0x10, 0x20}, {0x20040506, 0x10010203}},
      {"grey alpha 8", GreyAlpha, 8, 2, {0x11, 0x80, 0xEE, 0x00}, {}, {}, {0x80111111, 0x00EEEEEE}},
      {"grey alpha 16", GreyAlpha, 16, 1, {0x11, 0xFF, 0x80, 0x01}, {}, {}, {0x80111111}},
      {"rgba 8", Rgba, 8, 2, {1, 2, 3, 4, 5, 6, 7, 0}, {}, {}, {0x04010203, 0x00050607}},
      {"rgba 16", Rgba, 16, 1, {1, 0xFF, 2, 0xFF, 3, 0xFF, 4, 0xFF}, {}, {}, {0x04010203}},
  };
  for (const TFormatCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TDecoded d = Decode(SimplePng(c.Width, 1, c.Depth, c.ColourType, c.Row, c.Palette, c.Transparency));
    ASSERT_EQ(d.Error, TImageFormatError::None);
    EXPECT_EQ(d.Width, static_cast<int32_t>(c.Width));
    EXPECT_EQ(d.Height, 1);
    EXPECT_EQ(d.Pixels, c.Expected);
  }
}

// Every filter type, alone and mixed row by row, gives the pixels the unfiltered rows give: for steps of one byte
// (sub-byte and 8-bit grey), three, four and eight bytes a pixel.
TEST(PngReader, EveryFilterUndoesWhatItsEncoderDid) {
  struct TLayout {
    uint8_t ColourType;
    uint8_t Depth;
    size_t Step;
    size_t BitsPerPixel;
  };
  const TLayout layouts[] = {{Grey, 2, 1, 2}, {Grey, 8, 1, 8}, {Rgb, 8, 3, 24}, {Rgba, 8, 4, 32}, {Rgba, 16, 8, 64}};
  const std::vector<std::vector<uint8_t>> filterSets = {{0}, {1}, {2}, {3}, {4}, {4, 3, 2, 1, 0}};
  const uint32_t width = 7, height = 5;
  std::mt19937 random(7);
  for (const TLayout& l : layouts) {
    const size_t rowBytes = (width * l.BitsPerPixel + 7) / 8;
    TBytes rows(rowBytes * height);
    for (uint8_t& b : rows) b = static_cast<uint8_t>(random());
    const TDecoded plain = Decode(SimplePng(width, height, l.Depth, l.ColourType, rows));
    ASSERT_EQ(plain.Error, TImageFormatError::None);
    for (const std::vector<uint8_t>& filters : filterSets) {
      SCOPED_TRACE(testing::Message() << "colour type " << int(l.ColourType) << " depth " << int(l.Depth)
                                      << " first filter " << int(filters[0]) << " of " << filters.size());
      const TBytes file =
          PngFile({Chunk("IHDR", Header(width, height, l.Depth, l.ColourType)),
                   Chunk("IDAT", Deflate(FilterRows(rows, rowBytes, l.Step, filters))), Chunk("IEND", {})});
      const TDecoded d = Decode(file);
      ASSERT_EQ(d.Error, TImageFormatError::None);
      EXPECT_EQ(d.Pixels, plain.Pixels);
    }
  }
}

// A 2 x 2 grey picture: row 0 holds C and B, row 1 starts with A; its second byte is Paeth-filtered to 0, so it
// decodes to whichever of left (A), above (B) and upper left (C) the predictor picks.
TEST(PngReader, PaethBreaksTiesLeftThenAboveThenUpperLeft) {
  struct TCase {
    uint8_t A, B, C;
    uint8_t Expected;
  };
  const TCase cases[] = {
      {10, 10, 10, 10},     // all equal: left
      {30, 60, 50, 30},     // left and upper left tie: left
      {60, 30, 50, 30},     // above and upper left tie: above
      {250, 200, 10, 250},  // an estimate beyond 255 is not cut to a byte
      {100, 10, 90, 10},    // above nearest
      {40, 60, 50, 50},     // upper left nearest
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.A) << " " << int(c.B) << " " << int(c.C));
    const TBytes raw = {0, c.C, c.B, 4, static_cast<uint8_t>(c.A - c.C), 0};
    const TBytes file = PngFile({Chunk("IHDR", Header(2, 2, 8, Grey)), Chunk("IDAT", Deflate(raw)), Chunk("IEND", {})});
    const TDecoded d = Decode(file);
    ASSERT_EQ(d.Error, TImageFormatError::None);
    ASSERT_EQ(d.Pixels.size(), 4u);
    EXPECT_EQ(d.Pixels[2], 0xFF000000u | c.A * 0x010101u);
    EXPECT_EQ(d.Pixels[3], 0xFF000000u | c.Expected * 0x010101u);
  }
}

// The 2 x 2 RGBA file every bad input below is made from, with its parts at hand.
struct TBase {
  TBytes Ihdr = Chunk("IHDR", Header(2, 2, 8, Rgba));
  TBytes Rows = {0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 9, 10, 11, 12, 13, 14, 15, 16};
  TBytes Idat = Chunk("IDAT", Deflate(Rows));
  TBytes Iend = Chunk("IEND", {});
  TBytes Text = Chunk("tEXt", {'a', 0, 'b'});
  TBytes File() const { return PngFile({Ihdr, Idat, Iend}); }
};

TBytes WithByte(TBytes file, size_t at, uint8_t value) {
  file[at] = value;
  return file;
}

TBytes Cut(TBytes file, size_t size) {
  file.resize(size);
  return file;
}

TEST(PngReader, BadInputIsReportedAndLeavesNoPicture) {
  const TBase base;
  ASSERT_EQ(Decode(base.File()).Error, TImageFormatError::None);
  TBytes extraRow = base.Rows;
  extraRow.insert(extraRow.end(), base.Rows.begin(), base.Rows.begin() + 9);
  TBytes lastRowShort = base.Rows;
  lastRowShort.pop_back();
  const TBytes deflated = Deflate(base.Rows);
  TBytes badSum = deflated;
  badSum.back() ^= 1;  // the stream's own checksum

  auto header = [&](TBytes body) { return PngFile({Chunk("IHDR", body), base.Idat, base.Iend}); };
  const TBytes paletteFile = SimplePng(2, 1, 8, Indexed, {0, 2}, {1, 2, 3, 4, 5, 6});
  struct TCase {
    const char* Name;
    TBytes File;
    TImageFormatError Expected;
  };
  const TCase cases[] = {
      {"empty", {}, TImageFormatError::Truncated},
      {"signature cut", Cut(base.File(), 7), TImageFormatError::Truncated},
      {"wrong signature", WithByte(base.File(), 1, 'p'), TImageFormatError::BadPng},
      {"bad checksum of IHDR", WithByte(base.File(), 8 + 8 + 13, 0xFF), TImageFormatError::BadPng},
      {"bad checksum of an ancillary chunk", PngFile({base.Ihdr, WithByte(base.Text, 8, 'c'), base.Idat, base.Iend}),
       TImageFormatError::BadPng},
      {"no IHDR", PngFile({base.Idat, base.Iend}), TImageFormatError::BadPng},
      {"IHDR not first", PngFile({base.Text, base.Ihdr, base.Idat, base.Iend}), TImageFormatError::BadPng},
      {"two IHDR", PngFile({base.Ihdr, base.Ihdr, base.Idat, base.Iend}), TImageFormatError::BadPng},
      {"IHDR too short", header(Cut(Header(2, 2, 8, Rgba), 12)), TImageFormatError::BadPng},
      {"width 0", header(Header(0, 2, 8, Rgba)), TImageFormatError::BadPng},
      {"height 0", header(Header(2, 0, 8, Rgba)), TImageFormatError::BadPng},
      {"width beyond 2^31", header(Header(0x80000000, 2, 8, Rgba)), TImageFormatError::BadPng},
      {"depth 4 with alpha", header(Header(2, 2, 4, Rgba)), TImageFormatError::BadPng},
      {"depth 16 with a palette", header(Header(2, 2, 16, Indexed)), TImageFormatError::BadPng},
      {"colour type 5", header(Header(2, 2, 8, 5)), TImageFormatError::BadPng},
      {"compression 1", header(Header(2, 2, 8, Rgba, 0, 1)), TImageFormatError::BadPng},
      {"filter method 1", header(Header(2, 2, 8, Rgba, 0, 0, 1)), TImageFormatError::BadPng},
      {"interlace 2", header(Header(2, 2, 8, Rgba, 2)), TImageFormatError::BadPng},
      {"interlaced", header(Header(2, 2, 8, Rgba, 1)), TImageFormatError::Unsupported},
      {"unknown critical chunk", PngFile({base.Ihdr, Chunk("QBXX", {}), base.Idat, base.Iend}),
       TImageFormatError::Unsupported},
      {"chunk cut", Cut(base.File(), base.File().size() - base.Iend.size() - 3), TImageFormatError::Truncated},
      {"no IEND", PngFile({base.Ihdr, base.Idat}), TImageFormatError::Truncated},
      {"no IDAT", PngFile({base.Ihdr, base.Iend}), TImageFormatError::BadPng},
      {"IDAT split by another chunk",
       PngFile({base.Ihdr, Chunk("IDAT", TBytes(deflated.begin(), deflated.begin() + 4)), base.Text,
                Chunk("IDAT", TBytes(deflated.begin() + 4, deflated.end())), base.Iend}),
       TImageFormatError::BadPng},
      {"IDAT one byte short", PngFile({base.Ihdr, Chunk("IDAT", Deflate(lastRowShort)), base.Iend}),
       TImageFormatError::Truncated},
      {"IDAT a row too long", PngFile({base.Ihdr, Chunk("IDAT", Deflate(extraRow)), base.Iend}),
       TImageFormatError::BadPng},
      {"IDAT without its stream end",
       PngFile({base.Ihdr, Chunk("IDAT", Cut(deflated, deflated.size() - 4)), base.Iend}),
       TImageFormatError::Truncated},
      {"IDAT stream checksum", PngFile({base.Ihdr, Chunk("IDAT", badSum), base.Iend}), TImageFormatError::BadPng},
      {"IDAT not deflate", PngFile({base.Ihdr, Chunk("IDAT", base.Rows), base.Iend}), TImageFormatError::BadPng},
      {"filter type 5", PngFile({base.Ihdr, Chunk("IDAT", Deflate(WithByte(base.Rows, 9, 5))), base.Iend}),
       TImageFormatError::BadPng},
      {"index beyond the palette", paletteFile, TImageFormatError::BadPng},
      {"no palette", SimplePng(2, 1, 8, Indexed, {0, 0}), TImageFormatError::BadPng},
      {"palette in a grey file", SimplePng(2, 1, 8, Grey, {0, 0}, {1, 2, 3}), TImageFormatError::BadPng},
      {"palette beyond the depth", SimplePng(2, 1, 1, Indexed, {0}, {1, 2, 3, 4, 5, 6, 7, 8, 9}),
       TImageFormatError::BadPng},
      {"tRNS longer than the palette", SimplePng(2, 1, 8, Indexed, {0, 0}, {1, 2, 3}, {1, 2}),
       TImageFormatError::BadPng},
      {"tRNS with an alpha channel", SimplePng(2, 1, 8, Rgba, TBytes(8), {}, {0, 1}), TImageFormatError::BadPng},
      {"side beyond MaxImageSide", header(Header(MaxImageSide + 1, 1, 8, Rgba)), TImageFormatError::TooLarge},
      {"pixels beyond MaxImagePixels", header(Header(8193, 8193, 8, Rgba)), TImageFormatError::TooLarge},
      // Within the limits, but a few bytes of data cannot inflate to 30000 x 2000 pixels.
      {"data too small for its size", header(Header(30000, 2000, 8, Rgba)), TImageFormatError::Truncated},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TDecoded d = Decode(c.File);
    EXPECT_EQ(d.Error, c.Expected);
    EXPECT_EQ(d.Width, 0);
    EXPECT_EQ(d.Height, 0);
    EXPECT_TRUE(d.Pixels.empty());
  }
}

TEST(PngReader, AncillaryChunksAndSplitDataAreRead) {
  const TBase base;
  const TBytes deflated = Deflate(base.Rows);
  TBytes file = PngFile({base.Ihdr, Chunk("gAMA", {0, 1, 0x86, 0xA0}), base.Text});
  for (size_t i = 0; i < deflated.size(); i += 3)
    for (uint8_t b : Chunk("IDAT", TBytes(deflated.begin() + i, deflated.begin() + std::min(i + 3, deflated.size()))))
      file.push_back(b);
  for (const TBytes& tail : {base.Text, base.Iend}) file.insert(file.end(), tail.begin(), tail.end());
  const TDecoded d = Decode(file);
  ASSERT_EQ(d.Error, TImageFormatError::None);
  EXPECT_EQ(d.Pixels, (std::vector<uint32_t>{0x04010203, 0x08050607, 0x0C090A0B, 0x100D0E0F}));
}

}  // namespace
