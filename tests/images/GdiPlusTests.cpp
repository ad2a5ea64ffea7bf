#include "graphics/images/umGDIPlus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "graphics/pixels/pxPngReader.h"
#include "tests/images/ImageBytes.h"
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

void PutBe32(TBytes& b, uint32_t v) {
  for (int shift : {24, 16, 8, 0}) b.push_back(static_cast<uint8_t>(v >> shift));
}

TBytes PngHeader(uint32_t width, uint32_t height) {
  TBytes b = PngSignatureBytes();
  PutBe32(b, 13);
  PutBytes(b, {'I', 'H', 'D', 'R'});
  PutBe32(b, width);
  PutBe32(b, height);
  PutBytes(b, {1, 0, 0, 0, 0, 0, 0, 0, 0});  // one-bit grey, then the checksum
  return b;
}

// A screen, then one frame at (Left, Top) of its own size.
TBytes GifHeader(uint16_t screenWidth, uint16_t screenHeight, uint16_t left, uint16_t top, uint16_t width,
                 uint16_t height) {
  TBytes b{'G', 'I', 'F', '8', '9', 'a'};
  for (uint16_t v : {screenWidth, screenHeight}) Put16(b, v);
  PutBytes(b, {0, 0, 0, 0x21, 0xF9, 4, 0, 0, 0, 0, 0, 0x2C});
  for (uint16_t v : {left, top, width, height}) Put16(b, v);
  PutBytes(b, {0, 2, 1, 0, 0, 0x3B});
  return b;
}

// An application segment, then a start-of-frame segment with this marker.
TBytes JpegHeader(uint8_t marker, uint16_t width, uint16_t height) {
  TBytes b{0xFF, 0xD8, 0xFF, 0xE0, 0, 6, 'J', 'F', 'I', 'F', 0xFF, marker, 0, 11, 8};
  for (uint16_t v : {height, width}) PutBytes(b, {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
  PutBytes(b, {1, 1, 0x11, 0});
  return b;
}

// One page with its width and length as LONG values, in either byte order.
TBytes TiffHeader(bool bigEndian, uint32_t width, uint32_t height) {
  TBytes b;
  const auto put16 = [&](uint32_t v) { bigEndian ? PutBytes(b, {uint8_t(v >> 8), uint8_t(v)}) : Put16(b, v); };
  const auto put32 = [&](uint32_t v) { bigEndian ? PutBe32(b, v) : Put32(b, v); };
  PutBytes(b, bigEndian ? TBytes{'M', 'M'} : TBytes{'I', 'I'});
  put16(42);
  put32(8);
  put16(2);
  for (const auto& [tag, value] : {std::pair{256u, width}, std::pair{257u, height}}) {
    put16(tag);
    put16(4);
    put32(1);
    put32(value);
  }
  put32(0);
  return b;
}

// An enhanced metafile header whose bounds, in device pixels, are Width x Height.
TBytes EmfHeader(int32_t width, int32_t height) {
  TBytes b;
  // Type and size; the bounds in device pixels, the frame in hundredths of a millimetre.
  for (uint32_t v : {1u, 88u, 0u, 0u, uint32_t(width - 1), uint32_t(height - 1), 0u, 0u, 100u, 100u}) Put32(b, v);
  // Signature, version, bytes, records, handles, description and palette; the device in pixels, in millimetres.
  for (uint32_t v : {0x464D4520u, 0x10000u, 88u, 1u, 1u, 0u, 0u, 0u, 1920u, 1080u, 508u, 286u}) Put32(b, v);
  return b;
}

// A placeable Windows metafile header whose box is Width x Height units, 96 of them an inch.
TBytes WmfHeader(uint16_t width, uint16_t height) {
  TBytes b{0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0};
  for (uint16_t v : {width, height, uint16_t(96)}) Put16(b, v);
  PutBytes(b, TBytes(6, 0));
  return b;
}

TBytes Encoded(void (TGDIPlusImage::*ASave)(TStream&), int32_t AWidth, int32_t AHeight) {
  const std::vector<uint32_t> pixels = SmoothOpaquePattern(AWidth, AHeight);
  TGDIPlusImage image;
  image.LoadFromPixels(pixels.data(), AWidth, AHeight);
  TMemoryStream stream;
  (image.*ASave)(stream);
  return TBytes(stream.Memory(), stream.Memory() + stream.Size());
}

// A decoder takes the pixel memory a header asks for: beyond MaxImageSide or MaxImagePixels GDI+ never sees the
// bytes, nor when a header it needs cannot be read; within them every format still decodes.
TEST(GdiPlus, PicturesBeyondTheSizeLimitsAreRefusedBeforeDecoding) {
  struct TRow {
    const char* Name;
    TBytes Bytes;
    int Status;  // 0: decodes to Width x Height
    int32_t Width = 0;
    int32_t Height = 0;
  };
  const TRow rows[] = {
      {"PNG one side too long", PngHeader(65536, 1), GdipValueOverflow},
      {"PNG too many pixels", PngHeader(16384, 16384), GdipValueOverflow},
      {"GIF screen", GifHeader(8193, 8193, 0, 0, 1, 1), GdipValueOverflow},
      {"GIF frame reaching past a small screen", GifHeader(1, 1, 8000, 0, 193, 8193), GdipValueOverflow},
      {"BMP", BmpFile(InfoHeader(8193, 8193, 1), {}, {}), GdipValueOverflow},
      {"BMP stored top-down", BmpFile(InfoHeader(8193, -8193, 1), {}, {}), GdipValueOverflow},
      {"BMP one side too long", BmpFile(InfoHeader(65536, 1, 1), {}, {}), GdipValueOverflow},
      {"JPEG baseline", JpegHeader(0xC0, 8193, 8193), GdipValueOverflow},
      {"JPEG progressive", JpegHeader(0xC2, 65535, 1025), GdipValueOverflow},
      {"TIFF little-endian", TiffHeader(false, 8193, 8193), GdipValueOverflow},
      {"TIFF big-endian, one side too long", TiffHeader(true, 1, 65536), GdipValueOverflow},
      {"icon frame larger than its entry", IconFile({{16, 16, 1, InfoHeader(8193, 2 * 8193, 1)}}), GdipValueOverflow},
      {"enhanced metafile", EmfHeader(8193, 8193), GdipValueOverflow},
      {"placeable metafile", WmfHeader(8193, 8193), GdipValueOverflow},
      {"PNG without its header chunk",
       TBytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82},
       GdipUnknownImageFormat},
      {"JPEG image data before any frame", TBytes{0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xD9}, GdipUnknownImageFormat},
      {"PNG", Encoded(&TGDIPlusImage::SaveAsPng, 7, 5), 0, 7, 5},
      {"PNG as wide as the side limit", Encoded(&TGDIPlusImage::SaveAsPng, 65535, 1), 0, 65535, 1},
      {"GIF", Encoded(&TGDIPlusImage::SaveAsGif, 7, 5), 0, 7, 5},
      {"BMP", Encoded(&TGDIPlusImage::SaveAsBmp, 7, 5), 0, 7, 5},
      {"JPEG", Encoded(&TGDIPlusImage::SaveAsJpeg, 7, 5), 0, 7, 5},
      {"TIFF", Encoded(&TGDIPlusImage::SaveAsTiff, 7, 5), 0, 7, 5},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    TMemoryStream stream;
    stream.WriteBuffer(row.Bytes.data(), row.Bytes.size());
    stream.SetPosition(0);
    TGDIPlusImage image;
    int status = 0;
    try {
      image.LoadFromStream(stream);
    } catch (const EGdipException& e) {
      status = e.Status();
    }
    EXPECT_EQ(status, row.Status);
    EXPECT_EQ(image.HasImage(), status == 0);
    if (status != 0 || row.Status != 0) continue;
    int32_t width = 0;
    int32_t height = 0;
    image.GetSize(width, height);
    EXPECT_EQ(width, row.Width);
    EXPECT_EQ(height, row.Height);
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
