// Shared helpers of the pixel tests.
#pragma once

#include <random>
#include <vector>

#include "graphics/pixels/pxBitmap.h"

// Records what a bitmap reports.
struct TChangeRecorder {
  std::vector<TRect> Areas;
  int Changes = 0;
  int Resizes = 0;

  void Area(TObject*, const TRect& AArea, uint32_t AInfo) {
    EXPECT_EQ(AInfo, AREAINFO_RECT);
    Areas.push_back(AArea);
  }
  void Change(TObject*) { ++Changes; }
  void Resize(TObject*) { ++Resizes; }

  void Watch(TCustomBitmap32& ABitmap) {
    ABitmap.OnAreaChanged = MakeMethod<&TChangeRecorder::Area>(this);
    ABitmap.OnChange = MakeMethod<&TChangeRecorder::Change>(this);
    ABitmap.OnResize = MakeMethod<&TChangeRecorder::Resize>(this);
  }
  void Reset() {
    Areas.clear();
    Changes = 0;
    Resizes = 0;
  }
};

inline std::ostream& operator<<(std::ostream& S, const TRect& R) {
  return S << "(" << R.Left << ", " << R.Top << ", " << R.Right << ", " << R.Bottom << ")";
}

// Pixel (x, y) of a pattern bitmap: distinct, opaque, and telling where it came from.
inline TColor32 PatternPixel(int32_t X, int32_t Y) { return 0xFF000000 | uint32_t(Y) << 12 | uint32_t(X); }

inline void FillPattern(TCustomBitmap32& B) {
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x) B.SetPixel(x, y, PatternPixel(x, y));
}

inline void FillRandom(TCustomBitmap32& B, std::mt19937& ARng) {
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x) B.SetPixel(x, y, ARng());
}

inline std::vector<TColor32> Pixels(const TCustomBitmap32& B) {
  return B.Empty() ? std::vector<TColor32>()
                   : std::vector<TColor32>(B.Bits(), B.Bits() + size_t(B.Width()) * B.Height());
}
