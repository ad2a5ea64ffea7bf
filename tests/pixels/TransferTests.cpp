#include <gtest/gtest.h>

#include <random>

#include "graphics/pixels/pxBitmap.h"
#include "graphics/pixels/pxResamplers.h"
#include "tests/pixels/PixelTestSupport.h"

namespace {

constexpr TColor32 kBackground = 0xFF0000AA;

struct TPair {
  TCustomBitmap32 Src, Dst;
  TChangeRecorder Rec;
  TPair(int32_t SW, int32_t SH, int32_t DW, int32_t DH) {
    Src.SetSize(SW, SH);
    FillPattern(Src);
    Dst.SetSize(DW, DH);
    Dst.Clear(kBackground);
    Rec.Watch(Dst);
  }
};

// ----- block transfer ----------------------------------------------------------------------------------------------

TEST(BlockTransfer, ClipsAtEveryEdgeAndReportsTheDrawnRectangle) {
  struct Case {
    int32_t x, y;
    TRect clip, srcRect;
  };
  const TRect all{-100, -100, 100, 100};
  const Case cases[] = {
      {2, 2, all, {0, 0, 4, 3}},   {-2, 1, all, {0, 0, 4, 3}}, {8, 1, all, {0, 0, 4, 3}},
      {3, -1, all, {0, 0, 4, 3}},  {3, 6, all, {0, 0, 4, 3}},  {-3, -2, all, {0, 0, 4, 3}},
      {9, 7, all, {0, 0, 4, 3}},   {-5, 0, all, {0, 0, 4, 3}}, {3, 2, {4, 3, 6, 4}, {0, 0, 4, 3}},
      {3, 2, all, {-2, -1, 2, 9}}, {3, 2, all, {1, 1, 3, 2}},  {3, 2, all, {2, 1, 1, 2}},
      {10, 2, all, {0, 0, 4, 3}},  {-4, 2, all, {0, 0, 4, 3}}, {0, 0, {2, 2, 1, 1}, {0, 0, 4, 3}},
  };
  for (const Case& c : cases) {
    TPair p(4, 3, 10, 8);
    BlockTransfer(&p.Dst, c.x, c.y, c.clip, &p.Src, c.srcRect, dmOpaque, nullptr);
    // Expected: every destination pixel inside the clip whose source lies inside both SrcRect and the source.
    TRect drawn{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 10; ++x) {
        const int32_t sx = x - c.x + c.srcRect.Left, sy = y - c.y + c.srcRect.Top;
        const bool inClip = x >= c.clip.Left && x < c.clip.Right && y >= c.clip.Top && y < c.clip.Bottom;
        const bool inSrc = sx >= std::max(0, c.srcRect.Left) && sx < std::min(4, c.srcRect.Right) &&
                           sy >= std::max(0, c.srcRect.Top) && sy < std::min(3, c.srcRect.Bottom);
        const bool draws = inClip && inSrc;
        ASSERT_EQ(p.Dst.Pixel(x, y), draws ? PatternPixel(sx, sy) : kBackground)
            << "at " << x << "," << y << " drawing to " << c.x << "," << c.y << " clip " << c.clip << " src "
            << c.srcRect;
        if (draws)
          drawn = {std::min(drawn.Left, x), std::min(drawn.Top, y), std::max(drawn.Right, x + 1),
                   std::max(drawn.Bottom, y + 1)};
      }
    if (drawn.Left == INT32_MAX) {
      EXPECT_TRUE(p.Rec.Areas.empty()) << c.x << "," << c.y;
    } else {
      ASSERT_EQ(p.Rec.Areas.size(), 1u);
      EXPECT_EQ(p.Rec.Areas[0], drawn);
    }
  }
}

TEST(BlockTransfer, FarCoordinatesDoNotOverflow) {
  TPair p(4, 3, 10, 8);
  BlockTransfer(&p.Dst, INT32_MIN, INT32_MAX, p.Dst.BoundsRect(), &p.Src, MakeRect(INT32_MAX - 1, INT32_MIN, 3, 3),
                dmOpaque, nullptr);
  BlockTransfer(&p.Dst, INT32_MAX, INT32_MIN, p.Dst.BoundsRect(), &p.Src,
                MakeRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), dmOpaque, nullptr);
  EXPECT_EQ(Pixels(p.Dst), std::vector<TColor32>(80, kBackground));
  EXPECT_TRUE(p.Rec.Areas.empty());
}

TEST(BlockTransfer, NilBitmapsRaiseBeforeDrawing) {
  TCustomBitmap32 b;
  b.SetSize(1, 1);
  try {
    BlockTransfer(nullptr, 0, 0, TRect{}, &b, b.BoundsRect(), dmOpaque, nullptr);
    FAIL();
  } catch (const EBitmapException& e) {
    EXPECT_EQ(e.Message(), u"Destination bitmap is nil");
  }
  try {
    StretchTransfer(&b, b.BoundsRect(), b.BoundsRect(), nullptr, b.BoundsRect(), nullptr, dmOpaque, nullptr);
    FAIL();
  } catch (const EBitmapException& e) {
    EXPECT_EQ(e.Message(), u"Source bitmap is nil");
  }
}

TEST(BlockTransfer, BlendWithZeroMasterAlphaNeitherDrawsNorReports) {
  TPair p(4, 3, 10, 8);
  p.Src.SetDrawMode(dmBlend);
  p.Src.SetMasterAlpha(0);
  p.Src.DrawTo(&p.Dst, 0, 0);
  EXPECT_EQ(Pixels(p.Dst), std::vector<TColor32>(80, kBackground));
  EXPECT_TRUE(p.Rec.Areas.empty());
  EXPECT_EQ(p.Rec.Changes, 0);
}

TEST(BlockTransfer, BlendUsesTheRowRoutineOfTheCombineModeAndMasterAlpha) {
  std::mt19937 rng(9);
  for (TCombineMode cm : {cmBlend, cmMerge})
    for (uint32_t m : {255u, 128u}) {
      TPair p(5, 4, 7, 6);
      FillRandom(p.Src, rng);
      FillRandom(p.Dst, rng);
      p.Src.SetDrawMode(dmBlend);
      p.Src.SetCombineMode(cm);
      p.Src.SetMasterAlpha(m);
      std::vector<TColor32> expected = Pixels(p.Dst);
      for (int y = 0; y < 4; ++y) {
        TColor32* row = expected.data() + (y + 1) * 7 + 2;
        const TColor32* src = p.Src.ScanLine(y);
        if (m < 255)
          (cm == cmBlend ? BlendLineExPortable : MergeLineExPortable)(src, row, 5, m);
        else
          (cm == cmBlend ? BlendLinePortable : MergeLinePortable)(src, row, 5);
      }
      p.Src.DrawTo(&p.Dst, 2, 1);
      EXPECT_EQ(Pixels(p.Dst), expected) << "mode " << int(cm) << " M " << m;
    }
}

TEST(BlockTransfer, TransparentModeSkipsTheOuterColourAndCustomModeCallsTheHandler) {
  TPair p(3, 1, 3, 1);
  p.Src.SetPixel(1, 0, 0);
  p.Src.SetDrawMode(dmTransparent);
  p.Src.DrawTo(&p.Dst, 0, 0);
  EXPECT_EQ(Pixels(p.Dst), (std::vector<TColor32>{PatternPixel(0, 0), kBackground, PatternPixel(2, 0)}));

  p.Dst.Clear(kBackground);
  p.Src.SetDrawMode(dmCustom);
  p.Src.DrawTo(&p.Dst, 0, 0);  // no handler: a plain copy
  EXPECT_EQ(Pixels(p.Dst), (std::vector<TColor32>{PatternPixel(0, 0), 0, PatternPixel(2, 0)}));

  struct TXor {
    uint32_t SeenM = 0;
    void Combine(TColor32 F, TColor32& B, uint32_t M) {
      B ^= F;
      SeenM = M;
    }
  } handler;
  p.Src.OnPixelCombine = MakeMethod<&TXor::Combine>(&handler);
  p.Src.SetMasterAlpha(77);
  p.Dst.Clear(kBackground);
  p.Src.DrawTo(&p.Dst, 0, 0);
  EXPECT_EQ(Pixels(p.Dst),
            (std::vector<TColor32>{kBackground ^ PatternPixel(0, 0), kBackground, kBackground ^ PatternPixel(2, 0)}));
  EXPECT_EQ(handler.SeenM, 77u);
}

// ----- stretch transfer --------------------------------------------------------------------------------------------

TEST(StretchTransfer, TwoByTwoIntoFourByFourRepeatsEachPixelInABlock) {
  TPair p(2, 2, 4, 4);
  p.Src.StretchDrawTo(&p.Dst, MakeRect(0, 0, 4, 4), p.Src.BoundsRect());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(p.Dst.Pixel(x, y), PatternPixel(x / 2, y / 2));
  ASSERT_EQ(p.Rec.Areas.size(), 1u);
  EXPECT_EQ(p.Rec.Areas[0], MakeRect(0, 0, 4, 4));
}

TEST(StretchTransfer, IntoOnePixelTakesTheMiddleByIntegerDivision) {
  TPair p(2, 2, 3, 3);
  p.Src.StretchDrawTo(&p.Dst, MakeRect(1, 1, 2, 2), p.Src.BoundsRect());
  EXPECT_EQ(p.Dst.Pixel(1, 1), PatternPixel(0, 0));
  TPair q(5, 7, 3, 3);
  q.Src.StretchDrawTo(&q.Dst, MakeRect(1, 1, 2, 2), q.Src.BoundsRect());
  EXPECT_EQ(q.Dst.Pixel(1, 1), PatternPixel(2, 3));
}

TEST(StretchTransfer, ANegativeSourceRectangleIsCutWithTheDestinationInProportion) {
  TPair p(10, 10, 40, 20);
  p.Src.StretchDrawTo(&p.Dst, MakeRect(0, 0, 40, 20), MakeRect(-10, 0, 10, 10));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(p.Dst.Pixel(x, y), x < 20 ? kBackground : PatternPixel((x - 20) / 2, y / 2)) << x << "," << y;
  ASSERT_EQ(p.Rec.Areas.size(), 1u);
  EXPECT_EQ(p.Rec.Areas[0], MakeRect(20, 0, 40, 20));
}

TEST(StretchTransfer, SourceRectanglesPastTheRightAndBottomAreCutToo) {
  TPair p(4, 4, 16, 16);
  p.Src.StretchDrawTo(&p.Dst, MakeRect(0, 0, 16, 16), MakeRect(0, 0, 8, 8));  // scale 2; the right half is cut
  ASSERT_EQ(p.Rec.Areas.size(), 1u);
  EXPECT_EQ(p.Rec.Areas[0], MakeRect(0, 0, 8, 8));
  EXPECT_EQ(p.Dst.Pixel(7, 7), PatternPixel(3, 3));
  EXPECT_EQ(p.Dst.Pixel(8, 8), kBackground);
}

TEST(StretchTransfer, TheWholeDestinationRectangleIsReportedWhenClipped) {
  TPair p(2, 2, 8, 8);
  p.Dst.SetClipRect(MakeRect(0, 0, 3, 3));
  p.Src.StretchDrawTo(&p.Dst, MakeRect(0, 0, 6, 6), p.Src.BoundsRect());
  ASSERT_EQ(p.Rec.Areas.size(), 1u);
  EXPECT_EQ(p.Rec.Areas[0], MakeRect(0, 0, 6, 6));
  EXPECT_EQ(p.Dst.Pixel(2, 2), PatternPixel(0, 0));
  EXPECT_EQ(p.Dst.Pixel(3, 3), kBackground);
  p.Rec.Reset();
  p.Src.StretchDrawTo(&p.Dst, MakeRect(4, 4, 8, 8), p.Src.BoundsRect());  // outside the clip: no report
  EXPECT_TRUE(p.Rec.Areas.empty());
}

TEST(StretchTransfer, EqualSizesBehaveExactlyLikeBlockTransfer) {
  std::mt19937 rng(21);
  for (int round = 0; round < 300; ++round) {
    const int32_t sw = 1 + rng() % 9, sh = 1 + rng() % 9;
    TCustomBitmap32 src;
    src.SetSize(sw, sh);
    FillRandom(src, rng);
    src.SetDrawMode(TDrawMode(rng() % 4 == 2 ? 3 : rng() % 2));
    src.SetOuterColor(src.Pixel(0, 0));
    src.SetMasterAlpha(rng() % 3 == 0 ? 255 : rng() % 256);
    src.SetCombineMode(TCombineMode(rng() % 2));
    const int32_t x = int32_t(rng() % 16) - 6, y = int32_t(rng() % 16) - 6;
    const TRect srcRect{int32_t(rng() % 8) - 3, int32_t(rng() % 8) - 3, int32_t(rng() % 12) - 1,
                        int32_t(rng() % 12) - 1};
    const TRect clip{int32_t(rng() % 6), int32_t(rng() % 6), int32_t(rng() % 12), int32_t(rng() % 12)};
    TCustomBitmap32 a, b;
    for (TCustomBitmap32* d : {&a, &b}) {
      d->SetSize(10, 9);
      d->SetClipRect(clip);
    }
    FillRandom(a, rng);
    b.Assign(&a);
    b.SetClipRect(clip);
    TChangeRecorder ra, rb;
    ra.Watch(a);
    rb.Watch(b);
    BlockTransfer(&a, x, y, clip, &src, srcRect, src.DrawMode(), nullptr);
    const TRect dstRect{x, y, x + srcRect.Right - srcRect.Left, y + srcRect.Bottom - srcRect.Top};
    StretchTransfer(&b, dstRect, clip, &src, srcRect, src.Resampler(), src.DrawMode(), nullptr);
    ASSERT_EQ(Pixels(a), Pixels(b)) << "round " << round;
    // Block transfer reports the clipped rectangle, stretch transfer the whole cut one; both report or neither.
    ASSERT_EQ(ra.Areas.empty(), rb.Areas.empty()) << "round " << round;
  }
}

// ----- nearest-neighbour stretch ----------------------------------------------------------------------------------

TEST(StretchNearest, TwoSourceColumnsSplitFiftyDestinationColumnsEvenly) {
  for (int32_t columns : {50, 98, 1000}) {
    TPair p(2, 1, columns, 1);
    p.Src.StretchDrawTo(&p.Dst, p.Dst.BoundsRect(), p.Src.BoundsRect());
    for (int32_t x = 0; x < columns; ++x)
      ASSERT_EQ(p.Dst.Pixel(x, 0), PatternPixel(x < columns / 2 ? 0 : 1, 0)) << x << " of " << columns;
  }
}

TEST(StretchNearest, EveryDestinationPixelTakesTheSourcePixelUnderItsTopLeftEdge) {
  for (int32_t sw : {1, 3, 7})
    for (int32_t dw : {2, 5, 11, 49}) {
      TPair p(sw, sw + 1, dw, dw + 2);
      p.Src.StretchDrawTo(&p.Dst, p.Dst.BoundsRect(), p.Src.BoundsRect());
      for (int32_t y = 0; y < dw + 2; ++y)
        for (int32_t x = 0; x < dw; ++x)
          ASSERT_EQ(p.Dst.Pixel(x, y), PatternPixel(x * sw / dw, y * (sw + 1) / (dw + 2))) << sw << "->" << dw;
    }
}

TEST(StretchNearest, EveryModeMatchesTheOpaqueStretchCombinedAfterwards) {
  std::mt19937 rng(4);
  for (TDrawMode mode : {dmBlend, dmTransparent, dmCustom})
    for (uint32_t m : {255u, 99u}) {
      TCustomBitmap32 src, stretched, dst;
      src.SetSize(3, 4);
      FillRandom(src, rng);
      src.SetPixel(1, 1, 0);
      stretched.SetSize(7, 9);
      src.StretchDrawTo(&stretched, stretched.BoundsRect(), src.BoundsRect());
      dst.SetSize(9, 11);
      FillRandom(dst, rng);
      std::vector<TColor32> expected = Pixels(dst);
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 7; ++x) {
          TColor32& d = expected[size_t(y + 1) * 9 + x + 2];
          const TColor32 s = stretched.Pixel(x, y);
          if (mode == dmBlend) {
            if (m < 255)
              BlendLineExPortable(&s, &d, 1, m);
            else
              BlendLinePortable(&s, &d, 1);
          } else if (mode == dmTransparent) {
            if (s != 0) d = s;
          } else {
            d = (d + s) ^ m;
          }
        }
      struct TSum {
        void Combine(TColor32 F, TColor32& B, uint32_t M) { B = (B + F) ^ M; }
      } sum;
      src.OnPixelCombine = MakeMethod<&TSum::Combine>(&sum);
      src.SetDrawMode(mode);
      src.SetMasterAlpha(m);
      src.StretchDrawTo(&dst, MakeRect(2, 1, 9, 10), src.BoundsRect());
      EXPECT_EQ(Pixels(dst), expected) << "mode " << int(mode) << " M " << m;
    }
}

TEST(StretchNearest, ASourceRectangleOutsideTheSourceRaises) {
  TPair p(4, 4, 8, 8);
  try {
    StretchNearest(&p.Dst, p.Dst.BoundsRect(), p.Dst.BoundsRect(), &p.Src, MakeRect(-1, 0, 4, 4), dmOpaque, nullptr);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Invalid SrcRect");
  }
  EXPECT_THROW(
      StretchNearest(&p.Dst, p.Dst.BoundsRect(), p.Dst.BoundsRect(), &p.Src, MakeRect(0, 0, 5, 4), dmOpaque, nullptr),
      Exception);
  // An empty source rectangle inside the source draws nothing.
  StretchNearest(&p.Dst, p.Dst.BoundsRect(), p.Dst.BoundsRect(), &p.Src, MakeRect(4, 0, 4, 4), dmOpaque, nullptr);
  EXPECT_EQ(Pixels(p.Dst), std::vector<TColor32>(64, kBackground));
}

}  // namespace
