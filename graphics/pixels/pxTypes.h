// Value types shared by the pixel units: the 32-bit colour, rectangles and the drawing modes.
#pragma once

#include <cstdint>

// Alpha in bits 24-31, then red, green, blue; in memory the bytes blue, green, red, alpha.
using TColor32 = uint32_t;
using PColor32 = TColor32*;

// A 64-bit coordinate stopped at the ends of the 32-bit range.
constexpr int32_t ClampToInt32(int64_t AValue) {
  return AValue < INT32_MIN ? INT32_MIN : AValue > INT32_MAX ? INT32_MAX : int32_t(AValue);
}

// Right and bottom are exclusive.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  int64_t Width() const { return int64_t(Right) - Left; }
  int64_t Height() const { return int64_t(Bottom) - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// The smallest rectangle holding both.
constexpr TRect UnionRect(const TRect& A, const TRect& B) {
  return {A.Left < B.Left ? A.Left : B.Left, A.Top < B.Top ? A.Top : B.Top, A.Right > B.Right ? A.Right : B.Right,
          A.Bottom > B.Bottom ? A.Bottom : B.Bottom};
}

enum TDrawMode : uint8_t { dmOpaque, dmBlend, dmCustom, dmTransparent };
enum TCombineMode : uint8_t { cmBlend, cmMerge };
enum TWrapMode : uint8_t { wmClamp, wmRepeat, wmMirror };
