// Random bitmaps, rectangles, modes and alphas through block and stretch transfer, fills, lines and stream
// reading. Besides the sanitizers it checks that nothing is drawn outside the destination's clip rectangle and
// that the vector row forms equal the portable ones on the same rows.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "foundation/cuStreams.h"
#include "graphics/pixels/pxBitmap.h"
#include "graphics/pixels/pxBlend.h"
#include "graphics/pixels/pxBindings.h"
#include "graphics/pixels/pxLowLevel.h"
#include "graphics/pixels/pxResamplers.h"
#include "graphics/pixels/pxSystem.h"

namespace {

int32_t Coordinate(FuzzedDataProvider& F) {
  switch (F.ConsumeIntegralInRange<int>(0, 15)) {
    case 0:
      return std::numeric_limits<int32_t>::min();
    case 1:
      return std::numeric_limits<int32_t>::max();
    case 2:
      return F.ConsumeIntegral<int32_t>();
    default:
      return F.ConsumeIntegralInRange<int32_t>(-80, 80);
  }
}

TRect AnyRect(FuzzedDataProvider& F) { return TRect{Coordinate(F), Coordinate(F), Coordinate(F), Coordinate(F)}; }

void XorCombine(void*, TColor32 AF, TColor32& AB, uint32_t AM) { AB = (AB ^ AF) + AM; }

// Traps when a pixel outside the clip rectangle changed.
void CheckOutsideClip(const TCustomBitmap32& B, const std::vector<TColor32>& ABefore) {
  if (B.Empty() || ABefore.size() != size_t(B.Width()) * B.Height()) return;
  const TRect c = B.ClipRect();
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x)
      if ((x < c.Left || x >= c.Right || y < c.Top || y >= c.Bottom) &&
          B.Pixel(x, y) != ABefore[size_t(y) * B.Width() + x])
        __builtin_trap();
}

std::vector<TColor32> Snapshot(const TCustomBitmap32& B) {
  return B.Empty() ? std::vector<TColor32>()
                   : std::vector<TColor32>(B.Bits(), B.Bits() + size_t(B.Width()) * B.Height());
}

void CompareRowForms(FuzzedDataProvider& F) {
#if defined(__SSE2__)
  const int32_t count = F.ConsumeIntegralInRange<int32_t>(0, 70);
  const uint32_t m = F.ConsumeIntegral<uint8_t>();
  const int offset = F.ConsumeIntegralInRange<int>(0, 3);
  std::vector<TColor32> src(size_t(count) + 4), dst(size_t(count) + 4);
  for (TColor32& p : src) p = F.ConsumeIntegral<uint32_t>();
  for (TColor32& p : dst) p = F.ConsumeIntegral<uint32_t>();
  auto Same = [&](auto AReference, auto AVector) {
    std::vector<TColor32> a = dst, b = dst;
    AReference(src.data() + offset, a.data() + offset, count);
    AVector(src.data() + offset, b.data() + offset, count);
    if (a != b) __builtin_trap();
  };
  Same(BlendLinePortable, BlendLineSSE2);
  Same(MergeLinePortable, MergeLineSSE2);
  Same([m](auto s, auto d, int32_t n) { BlendLineExPortable(s, d, n, m); },
       [m](auto s, auto d, int32_t n) { BlendLineExSSE2(s, d, n, m); });
  Same([m](auto s, auto d, int32_t n) { MergeLineExPortable(s, d, n, m); },
       [m](auto s, auto d, int32_t n) { MergeLineExSSE2(s, d, n, m); });
  TColor32 y1 = dst[0], y2 = dst[0];
  CombineMemPortable(src[0], y1, m);
  CombineMemSSE2(src[0], y2, m);
  if (y1 != y2) __builtin_trap();
#if defined(__x86_64__)
  // Only where this machine can run them.
  if (ProcessorFeatures().Contains(pfAVX2)) {
    Same(BlendLinePortable, BlendLineAVX2);
    Same(MergeLinePortable, MergeLineAVX2);
    Same([m](auto s, auto d, int32_t n) { BlendLineExPortable(s, d, n, m); },
         [m](auto s, auto d, int32_t n) { BlendLineExAVX2(s, d, n, m); });
    TColor32 y3 = dst[0];
    CombineMemAVX2(src[0], y3, m);
    if (y1 != y3) __builtin_trap();
  }
#endif
#endif
}

void ReadStream(FuzzedDataProvider& F, TCustomBitmap32& B) {
  const std::vector<uint8_t> bytes = F.ConsumeBytes<uint8_t>(F.ConsumeIntegralInRange<size_t>(0, 300));
  TMemoryStream s;
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), bytes.size());
  s.SetPosition(0);
  try {
    if (F.ConsumeBool())
      B.ReadData(s);
    else
      B.LoadFromStream(s);
  } catch (const Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pxSystemStart();
  pxLowLevelStart();
  pxBlendStart();
  pxResamplersStart();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  FuzzedDataProvider f(AData, ASize);
  TCustomBitmap32 bitmaps[2];
  for (TCustomBitmap32& b : bitmaps)
    b.SetSize(f.ConsumeIntegralInRange<int32_t>(-2, 40), f.ConsumeIntegralInRange<int32_t>(-2, 40));
  for (int step = 0; step < 40 && f.remaining_bytes() > 0; ++step) {
    TCustomBitmap32& a = bitmaps[f.ConsumeIntegralInRange<int>(0, 1)];
    TCustomBitmap32& b = bitmaps[f.ConsumeIntegralInRange<int>(0, 1)];  // may be the same bitmap
    const TColor32 colour = f.ConsumeIntegral<uint32_t>();
    try {
      switch (f.ConsumeIntegralInRange<int>(0, 15)) {
        case 0:
          a.SetSize(f.ConsumeIntegralInRange<int32_t>(-2, 48), f.ConsumeIntegralInRange<int32_t>(-2, 48));
          break;
        case 1:
          a.SetClipRect(AnyRect(f));
          break;
        case 2:
          a.SetDrawMode(TDrawMode(f.ConsumeIntegralInRange<int>(0, 3)));
          a.SetCombineMode(TCombineMode(f.ConsumeIntegralInRange<int>(0, 1)));
          a.SetMasterAlpha(f.ConsumeIntegral<uint16_t>());
          a.SetOuterColor(colour);
          if (f.ConsumeBool())
            a.OnPixelCombine = MakeMethod<&XorCombine>(static_cast<void*>(nullptr));
          else
            a.OnPixelCombine = nullptr;
          break;
        case 3: {
          const std::vector<TColor32> before = Snapshot(b);
          const int32_t x = Coordinate(f), y = Coordinate(f);
          a.DrawTo(&b, x, y, AnyRect(f));
          if (&a != &b) CheckOutsideClip(b, before);
          break;
        }
        case 4: {
          const std::vector<TColor32> before = Snapshot(b);
          const TRect dstRect = AnyRect(f);
          a.StretchDrawTo(&b, dstRect, AnyRect(f));
          if (&a != &b) CheckOutsideClip(b, before);
          break;
        }
        case 5: {
          const TRect dstRect = AnyRect(f), clip = AnyRect(f), srcRect = AnyRect(f);
          StretchNearest(&b, dstRect, clip, &a, srcRect, a.DrawMode(), a.OnPixelCombine);
          break;
        }
        case 6: {
          const std::vector<TColor32> before = Snapshot(a);
          a.FillRectS(AnyRect(f), colour);
          CheckOutsideClip(a, before);
          break;
        }
        case 7: {
          const std::vector<TColor32> before = Snapshot(a);
          a.FillRectTS(AnyRect(f), colour);
          CheckOutsideClip(a, before);
          break;
        }
        case 8: {
          const std::vector<TColor32> before = Snapshot(a);
          a.FrameRectS(AnyRect(f), colour);
          const int32_t x = Coordinate(f), y1 = Coordinate(f), y2 = Coordinate(f);
          a.HorzLineS(x, y1, y2, colour);
          a.VertLineS(x, y1, y2, colour);
          CheckOutsideClip(a, before);
          break;
        }
        case 9:
          a.Clear(colour);
          break;
        case 10:
          a.ResetAlpha(uint8_t(colour));
          break;
        case 11:
          a.Resampler()->SetPixelAccessMode(TPixelAccessMode(f.ConsumeIntegralInRange<int>(0, 3)));
          break;
        case 12:
          b.Assign(&a);
          break;
        case 13:
          ReadStream(f, a);
          break;
        case 14:
          CompareRowForms(f);
          break;
        case 15: {
          TMemoryStream s;
          a.SaveToStream(s, f.ConsumeBool());
          s.SetPosition(0);
          b.LoadFromStream(s);
          break;
        }
      }
    } catch (const Exception&) {
      // "Invalid SrcRect" from a direct stretch, short or oversized streams: expected for random input.
    }
  }
  return 0;
}
