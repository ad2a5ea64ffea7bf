// image_bench [runs]: times pictures through the image units against GDI+ alone, on a 1920 x 1080 PNG with alpha.
//
//   GDI+ load alone      GdipLoadImageFromStream over the PNG bytes, then disposed: the reference
//   decode to frame      TUniversalImage::LoadFromStream: the same decode, then the pixels as a 32-bit frame
//   encode PNG           a frame's pixels handed to GDI+ and written as PNG
//   re-encode PNG        TUniversalImage::ConvertToPng: decode and encode with no frame in between
//   quantise             a frame's pixels reduced to an indexed image of 256 colours (part of encode GIF)
//   encode GIF           a frame quantised to 256 colours and written as GIF
// Each figure is the median of the runs, in milliseconds.
#include "bench/BenchTiming.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "foundation/cuWin32.h"
#include "graphics/images/umGDIPlus.h"
#include "graphics/images/umUniversalImage.h"
#include "graphics/pixels/pxImageFormats.h"
#include "graphics/pixels/pxTextGDI.h"

namespace {

constexpr int32_t Width = 1920;
constexpr int32_t Height = 1080;

// Gradients with a little noise and varying alpha: compresses like a screenshot with soft shadows, not like a
// flat fill.
std::vector<uint32_t> Picture() {
  std::vector<uint32_t> pixels(size_t(Width) * Height);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t noise = (seed >> 28) & 7;
      const uint32_t r = (x * 255 / Width + noise) & 0xFF;
      const uint32_t g = (y * 255 / Height + noise) & 0xFF;
      const uint32_t b = ((x + y) / 12 + noise) & 0xFF;
      const uint32_t a = x < Width / 2 ? 255 : 128 + (y & 127);
      pixels[size_t(y) * Width + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return pixels;
}

using TLoadImage = int(WINAPI*)(IStream*, void**);
using TDisposeImage = int(WINAPI*)(void*);

// The bytes in a movable block under a COM stream, as the image units hand them to GDI+.
void GdiPlusLoadAlone(const TMemoryStream& APng, TLoadImage ALoad, TDisposeImage ADispose) {
  const size_t size = size_t(const_cast<TMemoryStream&>(APng).Size());
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(memory), APng.Memory(), size);
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(memory, FALSE, &stream);
  void* image = nullptr;
  if (ALoad(stream, &image) != 0) {
    std::fprintf(stderr, "GdipLoadImageFromStream failed\n");
    std::exit(1);
  }
  ADispose(image);
  stream->Release();
  GlobalFree(memory);
}

void Row(const char* AName, double AMs, double ABaseMs) {
  if (ABaseMs > 0)
    std::printf("%-18s %8.1f ms   (%+.1f ms over GDI+ alone)\n", AName, AMs, AMs - ABaseMs);
  else
    std::printf("%-18s %8.1f ms\n", AName, AMs);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  InitializeTextGDI();
  InitializeGdiPlus();
  {
    const std::vector<uint32_t> pixels = Picture();
    TMemoryStream png;
    {
      TGDIPlusImage image;
      image.LoadFromPixels(pixels.data(), Width, Height);
      image.SaveAsPng(png);
    }
    std::printf("%d x %d PNG with alpha, %lld bytes, median of %d runs\n", Width, Height,
                static_cast<long long>(png.Size()), runs);

    const HMODULE gdiplus = GetModuleHandleW(L"gdiplus.dll");
    const auto load =
        reinterpret_cast<TLoadImage>(reinterpret_cast<void*>(GetProcAddress(gdiplus, "GdipLoadImageFromStream")));
    const auto dispose =
        reinterpret_cast<TDisposeImage>(reinterpret_cast<void*>(GetProcAddress(gdiplus, "GdipDisposeImage")));
    const double alone = MedianMs(runs, [&] { GdiPlusLoadAlone(png, load, dispose); });
    Row("GDI+ load alone", alone, 0);

    TUniversalImage decoded;
    Row("decode to frame",
        MedianMs(runs,
                 [&] {
                   TUniversalImage image;
                   png.SetPosition(0);
                   image.LoadFromStream(png);
                 }),
        alone);
    png.SetPosition(0);
    decoded.LoadFromStream(png);
    if (decoded.Count() != 1 || decoded.First()->Width() != Width ||
        !std::equal(pixels.begin(), pixels.end(), decoded.First()->Bits())) {
      std::fprintf(stderr, "the decoded frame differs from the picture\n");
      return 1;
    }

    Row("encode PNG",
        MedianMs(runs,
                 [&] {
                   TGDIPlusImage image;
                   image.LoadFromBitmap32(*decoded.First());
                   TMemoryStream out;
                   image.SaveAsPng(out);
                 }),
        0);
    Row("re-encode PNG",
        MedianMs(runs,
                 [&] {
                   png.SetPosition(0);
                   TMemoryStream out;
                   TUniversalImage::ConvertToPng(png, out);
                 }),
        0);
    Row("quantise",
        MedianMs(runs,
                 [&] {
                   TIndexedImage indexed;
                   QuantizeTo8Bit(decoded.First()->Bits(), Width, Height, indexed);
                 }),
        0);
    Row("encode GIF",
        MedianMs(runs,
                 [&] {
                   TGDIPlusImage image;
                   image.LoadFromBitmap32(*decoded.First());
                   TMemoryStream out;
                   image.SaveAsGif(out);
                 }),
        0);
  }
  FinalizeGdiPlus();
  FinalizeTextGDI();
  return 0;
}
