#include "document/elements/diDataSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

void PutLE(TBytes& B, size_t APos, uint32_t AValue, int ABytes) {
  for (int i = 0; i < ABytes; ++i) B[APos + i] = static_cast<uint8_t>(AValue >> 8 * i);
}
void PutBE(TBytes& B, size_t APos, uint32_t AValue, int ABytes) {
  for (int i = 0; i < ABytes; ++i) B[APos + i] = static_cast<uint8_t>(AValue >> 8 * (ABytes - 1 - i));
}

TBytes Png(uint32_t W, uint32_t H) {
  TBytes b{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  b.resize(33);
  PutBE(b, 16, W, 4);
  PutBE(b, 20, H, 4);
  return b;
}

TBytes Gif(uint16_t W, uint16_t H) {
  TBytes b{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0};
  PutLE(b, 6, W, 2);
  PutLE(b, 8, H, 2);
  return b;
}

TBytes Bmp(int32_t W, int32_t H) {
  TBytes b(54);
  b[0] = 'B';
  b[1] = 'M';
  PutLE(b, 14, 40, 4);
  PutLE(b, 18, static_cast<uint32_t>(W), 4);
  PutLE(b, 22, static_cast<uint32_t>(H), 4);
  return b;
}

// Directory entries of width and height bytes (0 = 256).
TBytes Icon(uint16_t AType, std::vector<std::pair<uint8_t, uint8_t>> AEntries) {
  TBytes b(6 + 16 * AEntries.size());
  PutLE(b, 2, AType, 2);
  PutLE(b, 4, static_cast<uint32_t>(AEntries.size()), 2);
  for (size_t i = 0; i < AEntries.size(); ++i) {
    b[6 + 16 * i] = AEntries[i].first;
    b[7 + 16 * i] = AEntries[i].second;
  }
  return b;
}

// SOI, an APP0 segment, then a frame header with the given code.
TBytes Jpeg(uint8_t AFrameCode, uint16_t W, uint16_t H) {
  TBytes b{0xFF, 0xD8, 0xFF, 0xE0, 0, 6, 'J', 'F', 'I', 'F', 0xFF, AFrameCode, 0, 11, 8, 0, 0, 0, 0, 1, 1, 0x11, 0};
  PutBE(b, 15, H, 2);
  PutBE(b, 17, W, 2);
  return b;
}

TEST(DataTypeTable, NamesMapToTheirIndexWithoutRegardToCase) {
  struct Case {
    std::u16string name;
    TDataType ext, file;
  };
  const Case cases[] = {
      {u"JPG", 7, dtOther},   {u"jfif", 9, dtOther},    {u"tiff", 13, dtOther},   {u"TXT", 0, 0},
      {u"", 0, 0},            {u"a.b.PNG", 0, 11},      {u"bmp", 1, 0},           {u"x.Cur", 0, 3},
      {u"dir.png\\file", 0, 0}, {u"dir.x/f.wmf", 0, 5}, {u"png.", 0, 0},          {u"jpe", 8, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DataTypeOfExtension(c.name), c.ext) << std::string(c.name.begin(), c.name.end());
    EXPECT_EQ(DataTypeOfFileName(c.name), c.file) << std::string(c.name.begin(), c.name.end());
  }
  EXPECT_EQ(DataTypeExtension(6), u"jpeg");
  EXPECT_EQ(DataTypeFormatName(5), u"Metafile");
  EXPECT_EQ(DataTypeCategory(0), TDataCategory::dcOther);
  EXPECT_EQ(DataTypeCategory(13), TDataCategory::dcBitmaps);
  EXPECT_EQ(DataTypeCategory(2), TDataCategory::dcIcons);
  EXPECT_EQ(DataTypeCategory(3), TDataCategory::dcCursors);
  EXPECT_EQ(DataTypeCategory(4), TDataCategory::dcMetafiles);
  EXPECT_TRUE(SameDataFormat(6, 9));
  EXPECT_TRUE(SameDataFormat(7, 7));
  EXPECT_FALSE(SameDataFormat(7, 11));
  EXPECT_FALSE(SameDataFormat(0, 11));
}

TEST(TypeName, KeepsLettersAndDigitsInLowerCaseUpToTen) {
  EXPECT_EQ(SanitizeTypeName(u"PNG"), u"png");
  EXPECT_EQ(SanitizeTypeName(u"e x\\e.;\"&"), u"exe");
  EXPECT_EQ(SanitizeTypeName(u"abcdefghijKLMNOP"), u"abcdefghij");
  EXPECT_EQ(SanitizeTypeName(u"..\\..\\a1"), u"a1");
  EXPECT_EQ(SanitizeTypeName(u"\u00E9t\u00E9"), u"t");
}

TEST(EditingFileName, OnlyFileAndANumberWithASafeExtension) {
  const std::pair<std::u16string, bool> cases[] = {
      {u"C:\\docs\\File1.png", true}, {u"/tmp/file12.jpeg", true}, {u"File7", true},
      {u"FILE3.PNG", false},  // a type name is lower case
      {u"File0.png", false},  {u"File01.png", false}, {u"File.png", false},     {u"File1.", false},
      {u"File1.p-g", false},  {u"File1.png.exe", false}, {u"MyFile1.png", false}, {u"C:\\File1.png\\x", false},
      {u"File1.abcdefghijk", false},
  };
  for (const auto& [name, ok] : cases) EXPECT_EQ(IsEditingFileNamePattern(name), ok) << std::string(name.begin(), name.end());
}

TEST(ImageSize, ReadsHeadersAndDefaultsWhatItCannotRead) {
  struct Case {
    const char* what;
    TBytes data;
    TDataType type;
    bool ok;
    TImageSize size;
  };
  const Case cases[] = {
      {"png", Png(300, 200), dtPng, true, {300, 200}},
      {"gif", Gif(300, 200), dtGif, true, {300, 200}},
      {"progressive jpeg", Jpeg(0xC2, 640, 480), 7, true, {640, 480}},
      {"baseline jpeg", Jpeg(0xC0, 17, 9), 9, true, {17, 9}},
      {"only FF C1", Jpeg(0xC1, 640, 480), 6, false, {100, 100}},
      {"jpeg end first", TBytes{0xFF, 0xD8, 0xFF, 0xD9, 0, 11, 8, 0, 9, 0, 9}, 6, false, {100, 100}},
      {"jpeg without SOI", TBytes{0xFF, 0xC0, 0, 11, 8, 0, 9, 0, 9}, 6, false, {100, 100}},
      {"jpeg zero length", TBytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0xFF, 0xC0, 0, 11, 8, 0, 9, 0, 9}, 6, false, {100, 100}},
      {"icon 48 and 32", Icon(1, {{48, 48}, {32, 32}}), dtIco, true, {48, 48}},
      {"icon 256 and 48", Icon(1, {{0, 0}, {48, 48}}), dtIco, true, {256, 256}},
      {"icon takes its height", Icon(1, {{16, 16}, {64, 40}}), dtIco, true, {64, 40}},
      {"cursor takes its width twice", Icon(2, {{32, 64}}), dtCur, true, {32, 32}},
      {"icon of type 3", Icon(3, {{48, 48}}), dtIco, false, {32, 32}},
      {"icon without entries", Icon(1, {}), dtIco, false, {32, 32}},
      {"bmp bottom-up", Bmp(30, 50), dtBmp, true, {30, 50}},
      {"bmp top-down", Bmp(30, -50), dtBmp, true, {30, 50}},
      {"bmp most negative height", Bmp(30, INT32_MIN), dtBmp, false, {30, 100}},
      {"bmp negative width", Bmp(-30, 50), dtBmp, false, {100, 50}},
      {"not BM", [] { TBytes b = Bmp(30, 50); b[0] = 'X'; return b; }(), dtBmp, false, {100, 100}},
      {"tiff", TBytes{'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, dtTiff, false, {100, 100}},
      {"other", Png(300, 200), dtOther, false, {100, 100}},
      {"png beyond the signed range", Png(0x80000000u, 5), dtPng, false, {100, 5}},
  };
  for (const Case& c : cases) {
    TImageSize size{-7, -7};
    EXPECT_EQ(GetImageSize(c.data, c.type, size), c.ok) << c.what;
    EXPECT_EQ(size, c.size) << c.what << ": " << size.Width << "x" << size.Height;
  }
  TImageSize size;
  EXPECT_FALSE(GetImageSize(Icon(1, {}), dtCur, size, {48, 40}));
  EXPECT_EQ(size, (TImageSize{48, 40}));
}

TEST(ImageSize, EveryCutShortHeaderReadsAsNothing) {
  // Each with the number of bytes its size is read from.
  const std::tuple<TBytes, TDataType, size_t> whole[] = {
      {Png(300, 200), dtPng, 24}, {Gif(300, 200), dtGif, 10}, {Jpeg(0xC2, 640, 480), 6, 19},
      {Icon(1, {{48, 48}, {32, 32}}), dtIco, 38}, {Icon(2, {{48, 48}}), dtCur, 22}, {Bmp(30, 50), dtBmp, 54},
  };
  for (const auto& [data, type, needed] : whole) {
    TImageSize size;
    ASSERT_TRUE(GetImageSize(std::span(data).first(needed), type, size)) << type;
    for (size_t n = 0; n < needed; ++n) {
      const TBytes cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_FALSE(GetImageSize(cut, type, size)) << type << " cut at " << n;
    }
  }
}

TEST(PreviewScale, ChoosesTheLargestStepThatFitsSevenHundredTwenty) {
  const std::pair<int32_t, int> cases[] = {{700, 100}, {720, 100}, {721, 75}, {961, 75}, {962, 50},
                                          {2000, 25}, {36049, 2}, {36050, 1}, {INT32_MAX, 1}, {0, 100}};
  for (const auto& [width, scale] : cases) EXPECT_EQ(PreviewScale(width), scale) << width;
  EXPECT_EQ(PreviewSize({2000, 1000}, 25), (TImageSize{500, 250}));
  EXPECT_EQ(PreviewSize({40000, 20}, PreviewScale(40000)), (TImageSize{400, 1}));
  EXPECT_EQ(PreviewSize({20, 40000}, 1), (TImageSize{1, 400}));
}

TEST(HexLine, ShowsPairsThenCharactersFromColumnFortyEight) {
  const TBytes hello{0x48, 0x65, 0x6C, 0x6C, 0x6F, 0x01};
  EXPECT_EQ(FormatHexLine(hello, 0), u"48 65 6C 6C 6F 01 " + std::u16string(30, u' ') + u"Hello\u00B7");
  EXPECT_EQ(FormatHexLine(hello, 1), u"");

  TBytes twenty(20);
  for (size_t i = 0; i < twenty.size(); ++i) twenty[i] = static_cast<uint8_t>(0xF0 + i);
  ASSERT_EQ(HexLineCount(twenty.size()), 2u);
  const std::u16string first = FormatHexLine(twenty, 0);
  ASSERT_EQ(first.size(), HexLineChars);
  EXPECT_EQ(first.substr(0, 48), u"F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF ");
  EXPECT_EQ(first[48], u'\u00F0');
  EXPECT_EQ(first[63], u'\u00FF');
  EXPECT_EQ(FormatHexLine(twenty, 1), u"00 01 02 03 " + std::u16string(36, u' ') + u"\u00B7\u00B7\u00B7\u00B7");

  EXPECT_EQ(HexLineCount(0), 0u);
  EXPECT_EQ(HexLineCount(16), 1u);
  EXPECT_EQ(HexLineCount(17), 2u);
  EXPECT_EQ(FormatHexLine({}, 0), u"");
  EXPECT_EQ(FormatHexLine(TBytes{0x1F, 0x20, 0x7F}, 0).substr(48), u"\u00B7 \u007F");
}

}  // namespace
