#include "graphics/images/umUniversalImage.h"

#include <gtest/gtest.h>

#include <vector>

#include "graphics/images/umGDIPlus.h"
#include "graphics/images/umIcon.h"
#include "tests/images/ImageBytes.h"
#include "tests/images/ImageTestSupport.h"

namespace {

std::vector<TColor32> Pixels(const TCustomBitmap32& ABitmap) {
  return std::vector<TColor32>(ABitmap.Bits(), ABitmap.Bits() + size_t(ABitmap.Width()) * ABitmap.Height());
}

void Put(TMemoryStream& AStream, const TBytes& ABytes) {
  AStream.WriteBuffer(ABytes.data(), ABytes.size());
  AStream.SetPosition(0);
}

TBytes EncodePng(const std::vector<uint32_t>& APixels, int32_t AWidth, int32_t AHeight) {
  TGDIPlusImage image;
  image.LoadFromPixels(APixels.data(), AWidth, AHeight);
  TMemoryStream png;
  image.SaveAsPng(png);
  return TBytes(png.Memory(), png.Memory() + png.Size());
}

// A 32-bit DIB frame of the pattern with a clear mask: every pixel keeps its own alpha.
TBytes AlphaDibFrame(const std::vector<uint32_t>& APixels, int32_t AWidth, int32_t AHeight) {
  TBytes frame = InfoHeader(AWidth, 2 * AHeight, 32);
  for (int32_t y = AHeight - 1; y >= 0; --y)
    for (int32_t x = 0; x < AWidth; ++x) Put32(frame, APixels[size_t(y) * AWidth + x]);
  frame.resize(frame.size() + size_t((AWidth + 31) / 32 * 4) * AHeight, 0);
  return frame;
}

std::u16string TempFile(const char16_t* AName) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return FromWide(folder) + AName;
}

void WriteFile(const std::u16string& AName, const TBytes& ABytes) {
  TFileStream file(AName, TFileMode::fmCreate);
  file.WriteBuffer(ABytes.data(), ABytes.size());
}

TEST(UniversalImage, IconFramesOfSeveralSizesIncludingPng256) {
  std::vector<uint32_t> small = AlphaPattern(16, 16);
  for (uint32_t& c : small) c |= 0x01000000;  // no frame without alpha: the mask plays no part
  const std::vector<uint32_t> medium = AlphaPattern(48, 48);
  const std::vector<uint32_t> large = AlphaPattern(256, 256);
  const TBytes file = IconFile({{16, 16, 32, AlphaDibFrame(small, 16, 16)},
                                {48, 48, 32, AlphaDibFrame(medium, 48, 48)},
                                {0, 0, 32, EncodePng(large, 256, 256)}});
  TMemoryStream stream;
  Put(stream, file);
  TUniversalImage image;
  image.LoadFromStream(stream);
  ASSERT_EQ(image.Count(), 3);
  EXPECT_EQ(image.GetSize().cx, 16);
  EXPECT_EQ(Pixels(*image.GetFrame(0)), small);
  EXPECT_EQ(image.GetFrame(1)->Width(), 48);
  EXPECT_EQ(image.GetFrame(2)->Width(), 256);
  EXPECT_EQ(image.GetFrame(2)->Height(), 256);
  EXPECT_EQ(Pixels(*image.GetFrame(2)), large);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(image.GetFrame(i)->DrawMode(), dmBlend);
    EXPECT_EQ(image.GetFrame(i)->CombineMode(), cmBlend);
  }
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(UniversalImage, PaletteIconFrameBecomesOpaqueColoursAndHoles) {
  TBytes table;
  for (uint32_t i = 0; i < 256; ++i) Put32(table, i * 0x010203);
  TBytes frame = InfoHeader(4, 8, 8);
  PutBytes(frame, table);
  for (int y = 0; y < 4; ++y) PutBytes(frame, {uint8_t(y), 10, 20, 30});
  PutBytes(frame, {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // bottom-left masked
  TMemoryStream stream;
  Put(stream, IconFile({{4, 4, 8, frame}}));
  TUniversalImage image;
  image.LoadFromStream(stream);
  ASSERT_EQ(image.Count(), 1);
  const TBitmap32& f = *image.First();
  EXPECT_EQ(f.Pixel(0, 0), 0xFF000000u | 3 * 0x010203u);
  EXPECT_EQ(f.Pixel(1, 0), 0xFF000000u | 10 * 0x010203u);
  EXPECT_EQ(f.Pixel(0, 3), 0x00000000u);  // colour 0 is black: a transparent hole
}

TEST(UniversalImage, FrameWrittenByThePlatformIconReadsBack) {
  TBitmap colour(8, 8, TPixelFormat::pf32bit);
  for (int y = 0; y < 8; ++y) {
    auto* row = static_cast<uint32_t*>(colour.ScanLine(y));
    for (int x = 0; x < 8; ++x) row[x] = 0x80000000u | uint32_t(x * 30) << 16 | uint32_t(y * 30);
  }
  const HBITMAP mask = CreateBitmap(8, 8, 1, 1, nullptr);
  ICONINFO info = {TRUE, 0, 0, mask, colour.Handle()};
  TIcon icon;
  icon.SetHandle(CreateIconIndirect(&info));
  DeleteObject(mask);
  TMemoryStream ico;
  icon.SaveToStream(ico);
  ico.SetPosition(0);
  TUniversalImage image;
  image.LoadFromStream(ico);
  ASSERT_EQ(image.Count(), 1);
  ASSERT_EQ(image.First()->Width(), 8);
  EXPECT_EQ(image.First()->Pixel(3, 2) >> 24, 0x80u);
}

struct TBadIconCase {
  const char* Name;
  TBytes File;
};

TEST(UniversalImage, MalformedIconsRaiseAndLeaveNoEmptyFrame) {
  const TBytes good = AlphaDibFrame(AlphaPattern(2, 2), 2, 2);
  TBytes truncated = IconFile({{2, 2, 32, good}});
  truncated.resize(truncated.size() - 3);
  TBytes shortFrame = good;
  shortFrame.resize(good.size() - 4);
  // The first entry's offset names the second frame.
  TBytes elsewhere = IconFile({{2, 2, 32, good}, {2, 2, 32, good}});
  elsewhere[6 + 12] = static_cast<uint8_t>(6 + 32 + good.size());
  const std::vector<TBadIconCase> cases = {
      {"truncated", truncated},
      {"declared size below its parts", IconFile({{2, 2, 32, shortFrame}})},
      {"zero height", IconFile({{2, 2, 32, InfoHeader(2, 0, 32)}})},
      {"negative width", IconFile({{2, 2, 32, InfoHeader(-2, 4, 32)}})},
      {"huge dimensions", IconFile({{0, 0, 32, InfoHeader(60000, 120000, 1)}})},
      {"directory only", TBytes{0, 0, 1, 0, 3, 0}},
      {"frame elsewhere than its offset says", elsewhere},
  };
  for (const TBadIconCase& c : cases) {
    TMemoryStream stream;
    Put(stream, c.File);
    TUniversalImage image;
    try {
      image.LoadFromStream(stream);
      ADD_FAILURE() << c.Name << ": no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), u"Invalid icon format") << c.Name;
    }
    EXPECT_EQ(image.Count(), 0) << c.Name;
  }

  // The frames before a bad one stay; the bad one leaves nothing behind.
  TMemoryStream partly;
  Put(partly, IconFile({{2, 2, 32, good}, {2, 2, 32, shortFrame}}));
  TUniversalImage image;
  EXPECT_ANY_THROW(image.LoadFromStream(partly));
  EXPECT_LE(image.Count(), 1);
  for (int i = 0; i < image.Count(); ++i) EXPECT_FALSE(image.GetFrame(i)->Empty());
}

TEST(UniversalImage, IconWithoutFramesIsAReadError) {
  TMemoryStream stream;
  Put(stream, IconFile({}));
  TUniversalImage image;
  try {
    image.LoadFromStream(stream);
    FAIL() << "no exception";
  } catch (const EStreamError& e) {
    EXPECT_EQ(e.Message(), u"Stream read error");
  }
}

// Sixteen frames of 4096 x 4096 are within the limits one by one but not together: the icon is refused before
// any frame is decoded, as a picture too large for GDI+ is.
TEST(UniversalImage, AnIconBeyondTheLimitsWithAllItsFramesIsRefusedBeforeDecoding) {
  // The start of a one-bit grey PNG of 4096 x 4096: its header chunk.
  const TBytes frame = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D',
                        'R',  0,   0,   0x10, 0,    0,    0,    0x10, 0, 1, 0, 0,  0,   0};
  TMemoryStream stream;
  Put(stream, IconFile(std::vector<TIconPart>(16, TIconPart{0, 0, 1, frame})));
  TUniversalImage image;
  try {
    image.LoadFromStream(stream);
    FAIL() << "no exception";
  } catch (const EGdipException& e) {
    EXPECT_EQ(e.Status(), GdipValueOverflow);
  }
  EXPECT_TRUE(image.Empty());
}

TEST(UniversalImage, ReaderIsChosenByFirstBytesFromTheCurrentPosition) {
  const TBytes png = EncodePng(AlphaPattern(3, 3), 3, 3);
  const TBytes icon = IconFile({{2, 2, 32, AlphaDibFrame(AlphaPattern(2, 2), 2, 2)}}, 2);
  for (const TBytes* content : {&png, &icon}) {
    TMemoryStream stream;
    Put(stream, TBytes{'j', 'u', 'n', 'k'});
    stream.Seek(0, TSeekOrigin::soEnd);
    stream.WriteBuffer(content->data(), content->size());
    stream.SetPosition(4);
    TUniversalImage image;
    image.LoadFromStream(stream);
    ASSERT_EQ(image.Count(), 1);
    EXPECT_EQ(image.First()->Width(), content == &png ? 3 : 2);
  }
  // 00 00 03 00 is no icon: GDI+ gets it and cannot decode it.
  TMemoryStream other;
  Put(other, TBytes{0, 0, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0});
  TUniversalImage image;
  EXPECT_THROW(image.LoadFromStream(other), EGdipException);
  // Fewer than two bytes: GDI+, which finds nothing to decode.
  TMemoryStream tiny;
  Put(tiny, TBytes{0});
  tiny.SetPosition(1);
  try {
    image.LoadFromStream(tiny);
    FAIL() << "no exception";
  } catch (const EGdipException& e) {
    EXPECT_EQ(e.Status(), GdipInvalidParameter);
  }
  EXPECT_TRUE(image.Empty());
}

TEST(UniversalImage, FilesAreReadByTheirExtension) {
  const TBytes png = EncodePng(AlphaPattern(5, 4), 5, 4);
  const TBytes icon = IconFile({{2, 2, 32, AlphaDibFrame(AlphaPattern(2, 2), 2, 2)}});
  const std::u16string logo = TempFile(u"qb-logo");
  const std::u16string logoPng = TempFile(u"qb-logo.PNG");
  const std::u16string x = TempFile(u"qb-x.Ico");
  WriteFile(logo, png);
  WriteFile(logoPng, png);
  WriteFile(x, icon);
  TUniversalImage image;
  image.LoadFromFile(logo);
  image.LoadFromFile(logoPng);
  image.LoadFromFile(x);
  ASSERT_EQ(image.Count(), 3);  // loading appends
  EXPECT_EQ(image.GetFrame(0)->Width(), 5);
  EXPECT_EQ(image.GetFrame(2)->Width(), 2);
  // An icon extension wins over the content.
  WriteFile(x, png);
  EXPECT_ANY_THROW(image.LoadFromFile(x));
  EXPECT_EQ(image.Count(), 3);
  for (const std::u16string& name : {logo, logoPng, x}) DeleteFileW(WStr(name));
  EXPECT_THROW(image.LoadFromFile(TempFile(u"qb-missing.png")), EFileError);
}

TEST(UniversalImage, AssignCopiesFramesIndependently) {
  TUniversalImage source;
  for (int i = 1; i <= 3; ++i) {
    TBitmap32* frame = source.AddFrame();
    frame->SetSize(i, i);
    frame->Clear(0x80000000u | uint32_t(i));
  }
  TUniversalImage copy;
  copy.AddFrame();
  copy.Assign(source);
  ASSERT_EQ(copy.Count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Pixels(*copy.GetFrame(i)), Pixels(*source.GetFrame(i)));
  source.GetFrame(0)->Clear(0xFFFFFFFF);
  EXPECT_EQ(copy.GetFrame(0)->Pixel(0, 0), 0x80000001u);
  EXPECT_THROW(copy.GetFrame(3), EProgrammingError);
  copy.Clear();
  EXPECT_EQ(copy.First(), nullptr);
}

TEST(UniversalImage, DrawsAFrameOrNothing) {
  TBitmap32 target;
  target.SetSize(4, 4);
  TUniversalImage empty;
  empty.Draw(target.Handle(), 0, 0);
  EXPECT_EQ(target.Pixel(0, 0), 0u);
  TUniversalImage image;
  TBitmap32* frame = image.AddFrame();
  frame->SetSize(2, 2);
  frame->Clear(0xFF00FF00);
  image.Draw(target.Handle(), 1, 1);
  GdiFlush();
  EXPECT_EQ(target.Pixel(1, 1) & 0x00FFFFFF, 0x00FF00u);
  EXPECT_EQ(target.Pixel(0, 0), 0u);
}

TEST(UniversalImage, FailedDecodeAddsNoFrame) {
  TUniversalImage image;
  TMemoryStream garbage;
  Put(garbage, TBytes(100, 0x5A));
  EXPECT_THROW(image.LoadGdiPlusFrame(garbage), EGdipException);
  EXPECT_TRUE(image.Empty());
}

TEST(UniversalImage, ConvertsBetweenFormats) {
  const std::vector<uint32_t> pixels = SmoothOpaquePattern(20, 10);
  TBytes png = EncodePng(pixels, 20, 10);
  using TConvert = void (*)(TStream&, TStream&);
  const TConvert converters[] = {&TUniversalImage::ConvertToBmp, &TUniversalImage::ConvertToGif,
                                 &TUniversalImage::ConvertToJpeg, &TUniversalImage::ConvertToPng,
                                 &TUniversalImage::ConvertToTiff};
  for (TConvert convert : converters) {
    TMemoryStream source;
    Put(source, png);
    TMemoryStream converted;
    convert(source, converted);
    converted.SetPosition(0);
    TUniversalImage image;
    image.LoadFromStream(converted);
    ASSERT_EQ(image.Count(), 1);
    EXPECT_EQ(image.First()->Width(), 20);
    EXPECT_LE(LargestChannelDifference(Pixels(*image.First()), pixels), 40);
  }
}

}  // namespace
