// data_bench [runs]: times the data element's work on large data against the bare work beneath it.
//
//   bare decode          TUniversalImage::LoadFromStream of a 6000 x 4000 PNG: the reference
//   preview              the element's preview of the same bytes: decode, then scaled to 720 pixels wide
//   pack old + new       CompressStream of an 8 MB element's old bytes and of its new bytes: the reference
//   undoable change      SetPlainDataUndoable of the new bytes: the new bytes packed, the old ones packed by the
//                        operation and the new ones unpacked into the element
// Each figure is the median of the runs, in milliseconds.
#include "bench/BenchTiming.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "document/elements/diDataElement.h"
#include "foundation/cuDeviceContextManager.h"
#include "foundation/cuUndoRedo.h"
#include "foundation/cuUtils.h"
#include "foundation/cuWin32.h"
#include "graphics/images/umGDIPlus.h"
#include "graphics/images/umUniversalImage.h"
#include "graphics/pixels/pxTextGDI.h"

namespace {

// Gradients with a little noise: compresses like a photograph's smooth areas, not like a flat fill.
std::vector<uint32_t> Picture(int32_t AWidth, int32_t AHeight) {
  std::vector<uint32_t> pixels(size_t(AWidth) * AHeight);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < AHeight; ++y)
    for (int32_t x = 0; x < AWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t noise = (seed >> 28) & 7;
      const uint32_t r = (x * 255 / AWidth + noise) & 0xFF;
      const uint32_t g = (y * 255 / AHeight + noise) & 0xFF;
      const uint32_t b = ((x + y) / 12 + noise) & 0xFF;
      pixels[size_t(y) * AWidth + x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  return pixels;
}

void Row(const char* AName, double AMs, double ABaseMs) {
  if (ABaseMs > 0)
    std::printf("%-18s %9.1f ms   (%.2fx the reference above)\n", AName, AMs, AMs / ABaseMs);
  else
    std::printf("%-18s %9.1f ms\n", AName, AMs);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  InitializeTextGDI();
  InitializeGdiPlus();
  InitializeDeviceContextManager();
  {
    TScheme scheme(nullptr, u"bench");
    TUndoRedo history;
    scheme.SetUndoRedo(&history);
    auto* element = TElement::CreateIn<TElement_Image>(&scheme, nullptr);

    // The preview of a large photograph.
    TMemoryStream png;
    {
      const std::vector<uint32_t> pixels = Picture(6000, 4000);
      TGDIPlusImage image;
      image.LoadFromPixels(pixels.data(), 6000, 4000);
      image.SaveAsPng(png);
    }
    std::printf("6000 x 4000 PNG, %lld bytes, median of %d runs\n", static_cast<long long>(png.Size()), runs);
    const double decode = MedianMs(runs, [&] {
      TUniversalImage image;
      png.SetPosition(0);
      image.LoadFromStream(png);
    });
    Row("bare decode", decode, 0);
    element->SetData(png, u"png");
    const double preview = MedianMs(
        runs, [&] { element->Preview(); }, [&] { element->SetData(png, u"png"); });
    Row("preview", preview, decode);
    if (!element->Preview() || element->Scale() != 10) {
      std::fprintf(stderr, "the preview is not the 10%% one\n");
      return 1;
    }

    // An undoable change of 8 MB.
    TMemoryStream before;
    TMemoryStream after;
    {
      const std::vector<uint32_t> a = Picture(1448, 1448);
      const std::vector<uint32_t> b = Picture(1449, 1447);
      before.WriteBuffer(a.data(), a.size() * 4);
      after.WriteBuffer(b.data(), b.size() * 4);
    }
    std::printf("%lld bytes replaced by %lld bytes\n", static_cast<long long>(before.Size()),
                static_cast<long long>(after.Size()));
    const double direct = MedianMs(runs, [&] {
      TMemoryStream packedBefore;
      TMemoryStream packedAfter;
      CompressStream(before, packedBefore);
      CompressStream(after, packedAfter);
    });
    Row("pack old + new", direct, 0);
    element->SetData(before, u"bin");
    const double undoable = MedianMs(
        runs, [&] { element->SetPlainDataUndoable(after, u"bin"); },
        [&] {
          history.Undo();
          history.Clear();
        });
    Row("undoable change", undoable, direct);
    element->Destroy();
  }
  FinalizeDeviceContextManager();
  FinalizeGdiPlus();
  FinalizeTextGDI();
  return 0;
}
