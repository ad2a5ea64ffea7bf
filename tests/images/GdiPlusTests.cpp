#include "graphics/images/umGDIPlus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "graphics/pixels/pxPngReader.h"
#include "tests/images/ImageTestSupport.h"

namespace {

std::vector<uint32_t> Decode(TStream& AStream, int32_t& AWidth, int32_t& AHeight) {
  TGDIPlusImage image;
  image.LoadFromStream(AStream);
  image.GetSize(AWidth, AHeight);
  std::vector<uint32_t> pixels(static_cast<size_t>(AWidth) * AHeight);
  image.CopyPixels(pixels.data(), AWidth, AHeight);
  return pixels;
}

TEST(GdiPlus, FindsEveryEncoderIgnoringCase) {
  ASSERT_TRUE(GdiPlusAvailable());
  GUID lower = {};
  GUID upper = {};
  for (const char16_t* mime : {u"image/bmp", u"image/gif", u"image/jpeg", u"image/png", u"image/tiff"})
    EXPECT_EQ(FindEncoderClsid(mime, lower), 0) << Utf16ToUtf8(mime);
  EXPECT_EQ(FindEncoderClsid(u"image/png", lower), 0);
  EXPECT_EQ(FindEncoderClsid(u"IMAGE/PNG", upper), 0);
  EXPECT_EQ(lower, upper);
  EXPECT_EQ(FindEncoderClsid(u"image/x-none", lower), 1);
}

TEST(GdiPlus, ExceptionCarriesStatusAndText) {
  const EGdipException e(7);
  EXPECT_EQ(e.Status(), 7);
  EXPECT_EQ(e.Message(), u"Invalid GDI+ operation (7)");
}

TEST(GdiPlus, StreamAtItsEndRaisesStatusTwo) {
  TMemoryStream stream;
  stream.WriteBytes("abc");
  TGDIPlusImage image;
  try {
    image.LoadFromStream(stream);
    FAIL() << "no exception";
  } catch (const EGdipException& e) {
    EXPECT_EQ(e.Status(), GdipInvalidParameter);
  }
  EXPECT_FALSE(image.HasImage());
}

TEST(GdiPlus, UndecodableBytesRaise) {
  TMemoryStream stream;
  stream.WriteBytes(std::string(64, 'x'));
  stream.SetPosition(0);
  TGDIPlusImage image;
  EXPECT_THROW(image.LoadFromStream(stream), EGdipException);
  EXPECT_FALSE(image.HasImage());
}

struct TCodecCase {
  const char* Name;
  void (TGDIPlusImage::*Save)(TStream&);
  int Tolerance;  // largest difference of a colour channel
  bool KeepsAlpha;
};

TEST(GdiPlus, RoundTripsThroughEveryEncoder) {
  const int w = 37;
  const int h = 23;
  const std::vector<TCodecCase> cases = {
      {"PNG", &TGDIPlusImage::SaveAsPng, 0, true},
      {"BMP", &TGDIPlusImage::SaveAsBmp, 0, false},
      {"TIFF", &TGDIPlusImage::SaveAsTiff, 0, false},
      {"JPEG", &TGDIPlusImage::SaveAsJpeg, 40, false},
  };
  for (const TCodecCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint32_t> source = c.KeepsAlpha ? AlphaPattern(w, h) : SmoothOpaquePattern(w, h);
    TGDIPlusImage image;
    image.LoadFromPixels(source.data(), w, h);
    TMemoryStream encoded;
    ASSERT_NO_THROW((image.*c.Save)(encoded)) << c.Name;
    ASSERT_GT(encoded.Size(), 0) << c.Name;
    encoded.SetPosition(0);
    int32_t dw = 0;
    int32_t dh = 0;
    std::vector<uint32_t> decoded;
    ASSERT_NO_THROW(decoded = Decode(encoded, dw, dh)) << c.Name;
    ASSERT_EQ(dw, w) << c.Name;
    ASSERT_EQ(dh, h) << c.Name;
    if (c.Tolerance == 0) {
      EXPECT_EQ(decoded, source) << c.Name;
    } else {
      EXPECT_LE(LargestChannelDifference(decoded, source), c.Tolerance) << c.Name;
      for (uint32_t p : decoded) ASSERT_EQ(p >> 24, 0xFFu) << c.Name;
    }
  }
}

TEST(GdiPlus, GifIsDecodableWithinItsPalette) {
  // A few colours and a transparent hole come back exactly.
  const int w = 16;
  const int h = 8;
  std::vector<uint32_t> few(static_cast<size_t>(w) * h, 0xFF2040C0);
  for (int x = 0; x < w; ++x) few[x] = 0xFFFFFF00;
  few[w + 3] = 0x00000000;
  TGDIPlusImage image;
  image.LoadFromPixels(few.data(), w, h);
  TMemoryStream encoded;
  image.SaveAsGif(encoded);
  ASSERT_GT(encoded.Size(), 100);
  encoded.SetPosition(0);
  int32_t dw = 0;
  int32_t dh = 0;
  std::vector<uint32_t> decoded = Decode(encoded, dw, dh);
  ASSERT_EQ(dw, w);
  ASSERT_EQ(dh, h);
  EXPECT_EQ(decoded[w + 3] >> 24, 0u);
  decoded[w + 3] = few[w + 3];
  EXPECT_EQ(decoded, few);

  // Thousands of colours come back as at most 256, close to the source.
  const std::vector<uint32_t> smooth = SmoothOpaquePattern(64, 64);
  image.LoadFromPixels(smooth.data(), 64, 64);
  TMemoryStream many;
  image.SaveAsGif(many);
  many.SetPosition(0);
  const std::vector<uint32_t> back = Decode(many, dw, dh);
  ASSERT_EQ(back.size(), smooth.size());
  std::vector<uint32_t> colours(back);
  std::sort(colours.begin(), colours.end());
  EXPECT_LE(std::unique(colours.begin(), colours.end()) - colours.begin(), 256);
  EXPECT_LE(LargestChannelDifference(back, smooth), 24);
}

TEST(GdiPlus, EncodingAppendsAtTheDestinationsPosition) {
  const std::vector<uint32_t> pixels = AlphaPattern(4, 4);
  TGDIPlusImage image;
  image.LoadFromPixels(pixels.data(), 4, 4);
  TMemoryStream dest;
  dest.WriteBytes("prefix");
  image.SaveAsPng(dest);
  EXPECT_EQ(dest.Position(), dest.Size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(dest.Memory()), 6), "prefix");
  EXPECT_EQ(dest.Memory()[7], 'P');  // the PNG signature follows
  dest.SetPosition(6);
  int32_t w = 0;
  int32_t h = 0;
  EXPECT_EQ(Decode(dest, w, h), pixels);
}

TEST(GdiPlus, LoadingAgainReplacesTheImage) {
  const std::vector<uint32_t> small = AlphaPattern(3, 2);
  const std::vector<uint32_t> large = AlphaPattern(9, 5);
  TMemoryStream first;
  TMemoryStream second;
  TGDIPlusImage image;
  image.LoadFromPixels(small.data(), 3, 2);
  image.SaveAsPng(first);
  image.LoadFromPixels(large.data(), 9, 5);
  image.SaveAsPng(second);
  first.SetPosition(0);
  second.SetPosition(0);
  image.LoadFromStream(first);
  image.LoadFromStream(second);
  int32_t w = 0;
  int32_t h = 0;
  image.GetSize(w, h);
  EXPECT_EQ(w, 9);
  EXPECT_EQ(h, 5);
}

// ReadPng must give what GDI+ gives for the same file, pixel for pixel: the program's own pictures go through it.
void ExpectReadLikeGdiPlus(TMemoryStream& APng, const std::vector<uint32_t>* AExpected = nullptr) {
  int32_t w = 0;
  int32_t h = 0;
  std::vector<uint32_t> own;
  ASSERT_EQ(ReadPng({APng.Memory(), static_cast<size_t>(APng.Size())}, w, h, own), TImageFormatError::None);
  APng.SetPosition(0);
  int32_t gw = 0;
  int32_t gh = 0;
  const std::vector<uint32_t> gdip = Decode(APng, gw, gh);
  EXPECT_EQ(w, gw);
  EXPECT_EQ(h, gh);
  EXPECT_EQ(own, gdip);
  if (AExpected) {
    EXPECT_EQ(own, *AExpected);
  }
}

TEST(GdiPlus, EveryPngTheProgramCarriesReadsAsGdiPlusReadsIt) {
  int found = 0;
  for (const char16_t* folder : {u"" QB_SOURCE_DIR "/document/model/resources/", u"" QB_SOURCE_DIR "/app/resources/"}) {
    WIN32_FIND_DATAW entry;
    const std::u16string mask = std::u16string(folder) + u"*.png";
    HANDLE search = FindFirstFileW(WStr(mask), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << Utf16ToUtf8(mask);
    do {
      const std::u16string name = FromWide(entry.cFileName);
      SCOPED_TRACE(Utf16ToUtf8(name));
      TMemoryStream png;
      png.LoadFromFile(folder + name);
      ExpectReadLikeGdiPlus(png);
      ++found;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  EXPECT_GE(found, 12);
}

TEST(GdiPlus, PngsGdiPlusWritesReadBackExactly) {
  std::mt19937 random(11);
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{37, 23}, std::pair{300, 2}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h);
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
    for (uint32_t& p : pixels) p = random();
    TGDIPlusImage image;
    image.LoadFromPixels(pixels.data(), w, h);
    TMemoryStream png;
    image.SaveAsPng(png);
    ExpectReadLikeGdiPlus(png, &pixels);
  }
}

// PNG data at the stream's position is read without GDI+; anything else reaches GDI+ and decodes or raises as before.
TEST(GdiPlus, DecodePictureReadsPngsItselfAndLeavesTheRestToGdiPlus) {
  const std::vector<uint32_t> pixels = AlphaPattern(5, 3);
  TGDIPlusImage image;
  image.LoadFromPixels(pixels.data(), 5, 3);
  struct TCase {
    const char* Name;
    void (TGDIPlusImage::*Save)(TStream&);
  };
  for (const TCase& c : {TCase{"PNG", &TGDIPlusImage::SaveAsPng}, TCase{"BMP", &TGDIPlusImage::SaveAsBmp}}) {
    SCOPED_TRACE(c.Name);
    TMemoryStream stream;
    stream.WriteBytes("prefix");
    (image.*c.Save)(stream);
    stream.SetPosition(6);
    int32_t w = 0;
    int32_t h = 0;
    const std::vector<uint32_t> expected = Decode(stream, w, h);
    stream.SetPosition(6);
    int32_t dw = 0;
    int32_t dh = 0;
    std::vector<uint32_t> decoded;
    DecodePicture(stream, dw, dh, decoded);
    EXPECT_EQ(dw, w);
    EXPECT_EQ(dh, h);
    EXPECT_EQ(decoded, expected);
  }
  for (const std::string& bytes : {std::string(), std::string("\x89PNG but not really")}) {
    TMemoryStream stream;
    stream.WriteBytes(bytes);
    stream.SetPosition(0);
    int32_t w = 0;
    int32_t h = 0;
    std::vector<uint32_t> decoded;
    EXPECT_THROW(DecodePicture(stream, w, h, decoded), EGdipException) << bytes.size() << " bytes";
  }
}

TEST(GdiPlus, ShutdownWaitsForTheLastImage) {
  auto image = std::make_unique<TGDIPlusImage>();
  const std::vector<uint32_t> pixels = AlphaPattern(2, 2);
  image->LoadFromPixels(pixels.data(), 2, 2);
  EXPECT_THROW(FinalizeGdiPlus(), EProgrammingError);
  image.reset();
  FinalizeGdiPlus();
  try {
    TGDIPlusImage unstarted;
    FAIL() << "an image without GDI+";
  } catch (const EGdipException& e) {
    EXPECT_EQ(e.Status(), GdipNotInitialized);
  }
  InitializeGdiPlus();
  ASSERT_TRUE(GdiPlusAvailable());
  TGDIPlusImage again;
  again.LoadFromPixels(pixels.data(), 2, 2);
  TMemoryStream out;
  again.SaveAsPng(out);
  EXPECT_GT(out.Size(), 0);
}

}  // namespace
