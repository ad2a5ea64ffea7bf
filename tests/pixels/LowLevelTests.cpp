#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "graphics/pixels/pxLowLevel.h"
#include "graphics/pixels/pxMath.h"

namespace {

std::vector<TFillLongword*> FillForms() {
  std::vector<TFillLongword*> forms{FillLongwordPortable};
#if defined(__SSE2__)
  forms.push_back(FillLongwordSSE2);
#endif
  return forms;
}

// A buffer aligned to 16 bytes with guard values around the run.
struct TGuarded {
  alignas(16) uint32_t Data[256];
  TGuarded() { std::fill(std::begin(Data), std::end(Data), 0xDEADBEEF); }
};

TEST(FillLongword, EveryFormWritesExactlyTheRunAtAnyStartAndCount) {
  for (TFillLongword* fill : FillForms())
    for (int offset = 0; offset < 8; ++offset)
      for (int count = 0; count <= 100; ++count) {
        TGuarded g;
        fill(g.Data + 16 + offset, count, 0x12345678);
        for (int i = 0; i < 256; ++i) {
          const bool inside = i >= 16 + offset && i < 16 + offset + count;
          ASSERT_EQ(g.Data[i], inside ? 0x12345678u : 0xDEADBEEFu) << "offset " << offset << " count " << count;
        }
      }
}

TEST(FillLongword, ThirtyThreeValuesAtASixteenByteBoundary) {
  for (TFillLongword* fill : FillForms()) {
    TGuarded g;
    fill(g.Data + 4, 33, 7);
    EXPECT_EQ(g.Data[3], 0xDEADBEEFu);
    EXPECT_EQ(g.Data[4], 7u);
    EXPECT_EQ(g.Data[36], 7u);
    EXPECT_EQ(g.Data[37], 0xDEADBEEFu);
  }
}

TEST(MoveLongword, CopiesForwardFromFirstToLast) {
  uint32_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  MoveLongword(a, a + 2, 5);  // the destination starts inside the source: the head repeats
  EXPECT_EQ(std::vector<uint32_t>(a, a + 8), (std::vector<uint32_t>{1, 2, 1, 2, 1, 2, 1, 8}));
  uint32_t b[6] = {1, 2, 3, 4, 5, 6};
  MoveLongword(b + 2, b, 4);
  EXPECT_EQ(std::vector<uint32_t>(b, b + 6), (std::vector<uint32_t>{3, 4, 5, 6, 5, 6}));
  MoveLongword(b, b, 6);
  uint32_t c[3] = {9, 9, 9};
  MoveLongword(b, c, 0);
  EXPECT_EQ(c[0], 9u);
}

TEST(TestClip, OrdersAndClipsASpan) {
  int32_t a = 5, b = 2;
  EXPECT_TRUE(TestClip(a, b, 0, 4));
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 3);
  a = 6, b = 9;
  EXPECT_FALSE(TestClip(a, b, 0, 4));
  a = -3, b = 1;
  EXPECT_TRUE(TestClip(a, b, 0, 4));
  EXPECT_EQ(a, 0);
}

TEST(TestClip, StopsAtTheEndsOfTheRangeWithoutOverflow) {
  constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;
  struct Case {
    int32_t a, b, start, stop;
    bool expected;
    int32_t a2, b2;  // the span afterwards, when something is left
  };
  const Case cases[] = {
      {kMin, 5, kMin, kMin, false, 0, 0},  // Stop - 1 is below the 32-bit range: nothing is left
      {kMin, kMin, kMin, kMin, false, 0, 0},
      {kMax, kMin, kMin, kMin, false, 0, 0},
      {kMin, kMax, kMin, kMin + 1, true, kMin, kMin},
      {kMin, kMax, kMin, kMax, true, kMin, kMax - 1},
      {kMax, kMax, 0, kMax, false, 0, 0},
      {kMax, kMin, kMin, kMax, true, kMin, kMax - 1},
  };
  for (const Case& c : cases) {
    int32_t a = c.a, b = c.b;
    EXPECT_EQ(TestClip(a, b, c.start, c.stop), c.expected) << c.a << " " << c.b << " " << c.start << " " << c.stop;
    if (c.expected) {
      EXPECT_EQ(a, c.a2);
      EXPECT_EQ(b, c.b2);
    }
  }
}

TEST(WrapProcedures, MapCoordinatesIntoTheRange) {
  struct Case {
    TWrapProc proc;
    int32_t value, min, max, expected;
  };
  const Case cases[] = {
      {Clamp, 5, 10, 0, 0},       {Clamp, -3, 0, 9, 0},         {Clamp, 12, 0, 9, 9},  {Clamp, 4, 0, 9, 4},
      {Wrap, -1, 0, 9, 9},        {Wrap, 10, 0, 9, 0},          {Wrap, -11, 0, 9, 9},  {Wrap, -10, 0, 9, 0},
      {Wrap, 25, 0, 9, 5},        {Wrap, -5, 0, 9, 5},          {Wrap, 3, 2, 4, 3},    {Wrap, 1, 2, 4, 4},
      {Mirror, 10, 0, 9, 9},      {Mirror, -1, 0, 9, 0},        {Mirror, -2, 0, 9, 1}, {Mirror, -11, 0, 9, 9},
      {Mirror, 19, 0, 9, 0},      {Mirror, 20, 0, 9, 0},        {Mirror, 5, 0, 9, 5},  {Mirror, -10, 0, 9, 9},
      {Wrap, INT32_MIN, 0, 9, 2}, {Mirror, INT32_MAX, 0, 9, 7},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.proc(c.value, c.min, c.max), c.expected) << c.value << " in " << c.min << ".." << c.max;
}

TEST(WrapProcedures, PowerOfTwoFormsEqualTheGeneralOnes) {
  for (int32_t min : {0, 3, 64})
    for (int32_t size : {1, 2, 8, 128})
      for (int32_t v = -300; v <= 300; ++v) {
        ASSERT_EQ(WrapPow2(v, min, min + size - 1), Wrap(v, min, min + size - 1)) << v << " " << min << " " << size;
        ASSERT_EQ(MirrorPow2(v, min, min + size - 1), Mirror(v, min, min + size - 1)) << v << " " << min << " " << size;
      }
}

TEST(WrapProcedures, GetWrapProcExPicksThePowerOfTwoFormsOnlyForTheirRanges) {
  EXPECT_EQ(GetWrapProc(wmClamp), Clamp);
  EXPECT_EQ(GetWrapProc(wmRepeat), Wrap);
  EXPECT_EQ(GetWrapProc(wmMirror), Mirror);
  EXPECT_EQ(GetWrapProcEx(wmRepeat, 0, 99), Wrap);
  EXPECT_EQ(GetWrapProcEx(wmRepeat, 0, 127), WrapPow2);
  EXPECT_EQ(GetWrapProcEx(wmRepeat, -1, 126), Wrap);
  EXPECT_EQ(GetWrapProcEx(wmMirror, 16, 31), MirrorPow2);
  EXPECT_EQ(GetWrapProcEx(wmClamp, 0, 127), Clamp);
  EXPECT_EQ(GetWrapProcEx(wmRepeat, 5, 4), Wrap);  // an empty clip range
}

TEST(FixedPoint, RoundsHalfDownAndShiftsArithmetically) {
  EXPECT_EQ(FixedRound(0x18000), 1);  // exactly 1.5
  EXPECT_EQ(FixedRound(0x18001), 2);
  EXPECT_EQ(FixedRound(-0x8000), -1);
  EXPECT_EQ(FixedFloor(-1), -1);
  EXPECT_EQ(FixedCeil(1), 1);
  EXPECT_EQ(FixedCeil(0x10000), 1);
  EXPECT_EQ(FixedMul(3 * FixedOne, FixedOne / 2), 0x18000);
  EXPECT_EQ(FixedMul(-FixedOne, FixedOne / 2), -0x8000);
  EXPECT_EQ(FixedDiv(FixedOne, 3 * FixedOne), 0x5555);
  EXPECT_EQ(FixedDiv(-FixedOne, 3 * FixedOne), -0x5555);  // toward zero
}

}  // namespace
