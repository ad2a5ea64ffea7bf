#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <zlib.h>

#include "foundation/cuStreams.h"
#include "framework/fwBitmaps.h"
#include "framework/fwImageList.h"
#include "graphics/images/umImageStrips.h"

namespace {

// A PNG (8-bit RGBA, no filter) of AWidth x AHeight from ARGB words.
std::string EncodePng(int AWidth, int AHeight, const std::vector<uint32_t>& APixels) {
  auto bigEndian = [](uint32_t AValue) {
    return std::string{char(AValue >> 24), char(AValue >> 16), char(AValue >> 8), char(AValue)};
  };
  auto chunk = [&](const char* AType, const std::string& AData) {
    std::string body = std::string(AType, 4) + AData;
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())));
    return bigEndian(uint32_t(AData.size())) + body + bigEndian(crc);
  };
  std::string raw;
  for (int y = 0; y < AHeight; ++y) {
    raw += '\0';
    for (int x = 0; x < AWidth; ++x) {
      const uint32_t p = APixels[size_t(y) * AWidth + x];
      raw += {char(p >> 16), char(p >> 8), char(p), char(p >> 24)};
    }
  }
  std::string packed(compressBound(uLong(raw.size())), '\0');
  uLongf packedSize = uLongf(packed.size());
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
           uLong(raw.size()));
  packed.resize(packedSize);
  const std::string header =
      bigEndian(uint32_t(AWidth)) + bigEndian(uint32_t(AHeight)) + std::string("\x08\x06\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) + chunk("IEND", "");
}

// A 32-bit top-down DIB section of the given colour, selected into its own DC.
class TCanvas32 {
 public:
  TCanvas32(int AWidth, int AHeight, uint32_t AFill) : FWidth(AWidth) {
    const BITMAPINFO info = TopDownBitmapInfo(AWidth, AHeight);
    void* bits = nullptr;
    FBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    FBits = static_cast<uint32_t*>(bits);
    std::fill(FBits, FBits + AWidth * AHeight, AFill);
    FDC = CreateCompatibleDC(nullptr);
    FOld = SelectObject(FDC, FBitmap);
  }
  ~TCanvas32() {
    SelectObject(FDC, FOld);
    DeleteDC(FDC);
    DeleteObject(FBitmap);
  }
  HDC DC() const { return FDC; }
  HBITMAP Bitmap() const { return FBitmap; }
  uint32_t Pixel(int AX, int AY) const {
    GdiFlush();
    return FBits[AY * FWidth + AX] & 0xFFFFFF;
  }
  void SetPixel(int AX, int AY, uint32_t AValue) { FBits[AY * FWidth + AX] = AValue; }

 private:
  int FWidth;
  HBITMAP FBitmap;
  uint32_t* FBits;
  HDC FDC;
  HGDIOBJ FOld;
};

struct TRawImageList {
  HIMAGELIST Handle = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 4);
  ~TRawImageList() { ImageList_Destroy(Handle); }
};

TEST(ImageStrips, APngWithAlphaIsCutRowByRowIntoAlphaTilesIgnoringTheRemainder) {
  // 40 x 36: two columns and two rows of 16 x 16 tiles; tile n has its top-left pixel opaque in colour n.
  const int width = 40, height = 36;
  std::vector<uint32_t> pixels(size_t(width) * height, 0x00000000);
  const uint32_t colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
  for (int tile = 0; tile < 4; ++tile) pixels[size_t((tile / 2) * 16) * width + (tile % 2) * 16] = colours[tile];
  const std::string png = EncodePng(width, height, pixels);
  TMemoryStream stream;
  stream.WriteBytes(png);
  TRawImageList list;
  AddImageStripPng(stream, list.Handle);
  ASSERT_EQ(ImageList_GetImageCount(list.Handle), 4);
  for (int tile = 0; tile < 4; ++tile) {
    TCanvas32 canvas(16, 16, 0x00000000);
    ASSERT_TRUE(ImageList_Draw(list.Handle, tile, canvas.DC(), 0, 0, ILD_NORMAL));
    EXPECT_EQ(canvas.Pixel(0, 0), colours[tile] & 0xFFFFFF) << "tile " << tile;
    EXPECT_EQ(canvas.Pixel(5, 5), 0u) << "transparent stays as it was";
  }
}

TEST(ImageStrips, AnOpaqueBitmapIsMaskedWithEachTilesBottomLeftColour) {
  TCanvas32 strip(32, 16, 0x00FF00FF);  // magenta: the transparent colour of both tiles
  strip.SetPixel(3, 3, 0x00123456);
  strip.SetPixel(16 + 4, 4, 0x00654321);
  TRawImageList list;
  AddImageStrip(strip.Bitmap(), list.Handle);
  ASSERT_EQ(ImageList_GetImageCount(list.Handle), 2);
  TCanvas32 canvas(16, 16, 0x00FFFFFF);
  ASSERT_TRUE(ImageList_Draw(list.Handle, 1, canvas.DC(), 0, 0, ILD_NORMAL));
  EXPECT_EQ(canvas.Pixel(4, 4), 0x654321u);
  EXPECT_EQ(canvas.Pixel(0, 15), 0xFFFFFFu);
  EXPECT_EQ(canvas.Pixel(10, 2), 0xFFFFFFu);
}

TEST(ImageStrips, AnUndecodablePngRaisesAStreamError) {
  TMemoryStream stream;
  stream.WriteBytes("\x89PNG but not really");
  TRawImageList list;
  EXPECT_THROW(AddImageStripPng(stream, list.Handle), EStreamError);
  EXPECT_EQ(ImageList_GetImageCount(list.Handle), 0);
}

}  // namespace
