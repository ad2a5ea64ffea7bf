// Row blending over a 1920 x 1080 surface, in Mpixel/s: the bound BlendLine, BlendLineEx (M = 128) and MergeLine,
// their portable forms, the SSE2 BlendLine (the one bound where the processor has no AVX2), pixman's OVER of
// a8r8g8b8 onto a8r8g8b8 on the same pixels, and a memcpy of the same bytes as the bandwidth limit. Argument 0
// draws pixels with uniformly random alpha; 1 a sprite-like mix (half transparent, a third opaque, the rest
// partial).
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "graphics/pixels/pxBindings.h"
#include "graphics/pixels/pxBlend.h"
#include "graphics/pixels/pxLowLevel.h"
#include "graphics/pixels/pxSystem.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kPixels = size_t(kWidth) * kHeight;

struct TSurfaces {
  std::vector<TColor32> Src, Dst;
  explicit TSurfaces(int AKind) : Src(kPixels), Dst(kPixels) {
    std::mt19937 rng(1);
    for (size_t i = 0; i < kPixels; ++i) {
      uint32_t alpha = rng() & 0xFF;
      if (AKind == 1) {
        const uint32_t pick = rng() % 10;
        alpha = pick < 5 ? 0 : pick < 8 ? 255 : alpha;
      }
      // Colour channels at most the alpha, so that pixman reads valid premultiplied pixels.
      const uint32_t r = alpha ? rng() % (alpha + 1) : 0, g = alpha ? rng() % (alpha + 1) : 0,
                     b = alpha ? rng() % (alpha + 1) : 0;
      Src[i] = alpha << 24 | r << 16 | g << 8 | b;
      Dst[i] = 0xFF000000 | (rng() & 0xFFFFFF);
    }
  }
};

void Report(benchmark::State& AState) {
  AState.counters["Mpix/s"] =
      benchmark::Counter(double(AState.iterations()) * kPixels / 1e6, benchmark::Counter::kIsRate);
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(kPixels) * 4);
}

template <class TRowRoutine>
void RunRows(benchmark::State& AState, TRowRoutine ARow) {
  TSurfaces s(int(AState.range(0)));
  for (auto _ : AState) {
    for (int y = 0; y < kHeight; ++y)
      ARow(s.Src.data() + size_t(y) * kWidth, s.Dst.data() + size_t(y) * kWidth, kWidth);
    benchmark::ClobberMemory();
  }
  Report(AState);
}

void BM_BlendLine(benchmark::State& S) {
  RunRows(S, [](auto s, auto d, int n) { BlendLine(s, d, n); });
}
void BM_BlendLinePortable(benchmark::State& S) { RunRows(S, BlendLinePortable); }
void BM_BlendLineSSE2(benchmark::State& S) { RunRows(S, BlendLineSSE2); }
void BM_BlendLineEx128(benchmark::State& S) {
  RunRows(S, [](auto s, auto d, int n) { BlendLineEx(s, d, n, 128); });
}
void BM_BlendLineEx128Portable(benchmark::State& S) {
  RunRows(S, [](auto s, auto d, int n) { BlendLineExPortable(s, d, n, 128); });
}
void BM_MergeLine(benchmark::State& S) {
  RunRows(S, [](auto s, auto d, int n) { MergeLine(s, d, n); });
}
void BM_MergeLinePortable(benchmark::State& S) { RunRows(S, MergeLinePortable); }

void BM_PixmanOver(benchmark::State& AState) {
  TSurfaces s(int(AState.range(0)));
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, s.Src.data(), kWidth * 4);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, s.Dst.data(), kWidth * 4);
  for (auto _ : AState) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
  Report(AState);
}

void BM_Memcpy(benchmark::State& AState) {
  TSurfaces s(int(AState.range(0)));
  for (auto _ : AState) {
    std::memcpy(s.Dst.data(), s.Src.data(), kPixels * 4);
    benchmark::ClobberMemory();
  }
  Report(AState);
}

double Fastest(const std::vector<double>& AValues) { return *std::min_element(AValues.begin(), AValues.end()); }

}  // namespace

// With --benchmark_repetitions, "min" is the figure least disturbed by other work on the machine.
#define PIXEL_BENCHMARK(F) BENCHMARK(F)->ComputeStatistics("min", Fastest)->Unit(benchmark::kMillisecond)

PIXEL_BENCHMARK(BM_BlendLine)->Arg(0)->Arg(1);
PIXEL_BENCHMARK(BM_PixmanOver)->Arg(0)->Arg(1);
PIXEL_BENCHMARK(BM_BlendLinePortable)->Arg(0)->Arg(1);
PIXEL_BENCHMARK(BM_BlendLineSSE2)->Arg(0)->Arg(1);
PIXEL_BENCHMARK(BM_BlendLineEx128)->Arg(0)->Arg(1);
PIXEL_BENCHMARK(BM_BlendLineEx128Portable)->Arg(0)->Arg(1);
PIXEL_BENCHMARK(BM_MergeLine)->Arg(0)->Arg(1);
PIXEL_BENCHMARK(BM_MergeLinePortable)->Arg(0)->Arg(1);
PIXEL_BENCHMARK(BM_Memcpy)->Arg(0);

int main(int argc, char** argv) {
  pxSystemStart();
  pxLowLevelStart();
  pxBlendStart();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  pxBindingsEnd();
  return 0;
}
