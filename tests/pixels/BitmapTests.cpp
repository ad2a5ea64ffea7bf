#include <gtest/gtest.h>

#include <type_traits>

#include "foundation/cuStreams.h"
#include "graphics/pixels/pxBitmap.h"
#include "graphics/pixels/pxHeapBackend.h"
#include "graphics/pixels/pxResamplers.h"
#include "tests/pixels/PixelTestSupport.h"

namespace {

// ----- size and surface ------------------------------------------------------------------------------------------

TEST(BitmapSize, NegativeSizesBecomeZeroAndLeaveNoSurface) {
  TCustomBitmap32 b;
  b.SetSize(-5, 10);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 10);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Bits(), nullptr);
}

TEST(BitmapSize, ANewSurfaceReadsTransparentBlackAndReportsOnce) {
  TCustomBitmap32 b;
  TChangeRecorder rec;
  rec.Watch(b);
  b.SetSize(7, 5);
  EXPECT_EQ(rec.Changes, 1);
  EXPECT_EQ(rec.Resizes, 1);
  ASSERT_EQ(rec.Areas.size(), 1u);
  EXPECT_EQ(rec.Areas[0], MakeRect(0, 0, 7, 5));
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(35, 0));
  EXPECT_EQ(b.ClipRect(), MakeRect(0, 0, 7, 5));

  b.Clear(0xFF112233);
  rec.Reset();
  b.SetSize(7, 5);  // the same size: nothing happens
  EXPECT_EQ(rec.Changes, 0);
  EXPECT_EQ(rec.Resizes, 0);
  b.SetSize(3, 3);  // a new surface: old pixels are gone
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(9, 0));
}

// A backend that fails to make a surface on demand.
class TFailingBackend : public THeapBackend {
 public:
  static const TClassInfo<TCustomBackend, TCustomBitmap32*> ClassInfo;
  static inline bool Fail = false;
  using THeapBackend::THeapBackend;

 protected:
  void InitializeSurface(int32_t W, int32_t H, bool AClear) override {
    if (Fail) throw EOutOfMemory(u"no surface");
    THeapBackend::InitializeSurface(W, H, AClear);
  }
};
const TClassInfo<TCustomBackend, TCustomBitmap32*> TFailingBackend::ClassInfo{
    u"TFailingBackend", &THeapBackend::ClassInfo, &ClassFactory<TFailingBackend, TCustomBackend, TCustomBitmap32*>};

TEST(BitmapSize, AFailedResizeLeavesAnEmptyBitmapAndPropagates) {
  TCustomBitmap32 b(&TFailingBackend::ClassInfo);
  b.SetSize(8, 6);
  b.SetClipRect(MakeRect(1, 1, 4, 4));
  TFailingBackend::Fail = true;
  EXPECT_THROW(b.SetSize(20, 20), EOutOfMemory);
  TFailingBackend::Fail = false;
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_EQ(b.Bits(), nullptr);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.ClipRect(), MakeRect(0, 0, 0, 0));
  b.FillRectS(0, 0, 20, 20, 0xFFFFFFFF);  // harmless on the empty bitmap
  b.SetSize(2, 2);
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(4, 0));
}

TEST(BitmapSize, SizesBeyondThe32BitPixelCountAreRefusedBeforeAllocating) {
  TCustomBitmap32 b;
  b.SetSize(4, 4);
  EXPECT_THROW(b.SetSize(70000, 70000), EBitmapException);  // 4.9 G pixels: the product needs 64 bits
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Bits(), nullptr);
  EXPECT_THROW(b.SetSize(0x7FFFFFFF, 2), EBitmapException);
  EXPECT_EQ(CheckedPixelCount(46340, 46340), int64_t(46340) * 46340);
}

TEST(BitmapBackend, ANewBackendTakesOverSizeAndPixelsAndTheOldOneIsReleased) {
  TCustomBitmap32 b;
  b.SetSize(3, 2);
  FillPattern(b);
  const std::vector<TColor32> before = Pixels(b);
  TCustomBackend* old = b.Backend();
  old->AddRef();  // keep it to look at after the switch
  TCustomBackend* fresh = THeapBackend::ClassInfo.Create(nullptr);
  b.SetBackend(fresh);
  EXPECT_EQ(b.Backend(), fresh);
  EXPECT_EQ(fresh->Owner(), &b);
  EXPECT_EQ(fresh->RefCount(), 1);
  EXPECT_EQ(Pixels(b), before);
  EXPECT_NE(b.Bits(), old->Bits());
  EXPECT_EQ(old->Owner(), nullptr);
  EXPECT_EQ(old->RefCount(), 1);
  old->Release();
}

TEST(BitmapBackend, AHeldBackendOutlivesItsBitmap) {
  TCustomBackend* backend;
  {
    TCustomBitmap32 b;
    b.SetSize(2, 2);
    backend = b.Backend();
    EXPECT_EQ(backend->AddRef(), 2);
  }
  EXPECT_EQ(backend->Owner(), nullptr);
  EXPECT_TRUE(backend->Empty());
  EXPECT_EQ(backend->Release(), 0);
}

// Backends go only through their reference count: never by a plain delete.
static_assert(!std::is_destructible_v<TCustomBackend> && !std::is_destructible_v<THeapBackend>);

TEST(BitmapBackend, FreeingAHeldBackendRaisesAndLeavesItInUse) {
  TCustomBitmap32 b;
  b.SetSize(2, 2);
  TCustomBackend* backend = b.Backend();
  try {
    backend->Free();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Unmatched reference counting.");
  }
  EXPECT_EQ(backend->RefCount(), 1);
  b.FillRect(0, 0, 2, 2, 0xFF123456);
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(4, 0xFF123456));

  TCustomBackend* loose = THeapBackend::ClassInfo.Create(nullptr);  // nobody holds it yet
  EXPECT_EQ(loose->RefCount(), 0);
  loose->Free();
}

// ----- clipping ----------------------------------------------------------------------------------------------------

TEST(BitmapClip, ClipRectIsCutToTheBoundsAndChoosesWrapProcedures) {
  TCustomBitmap32 b;
  b.SetSize(16, 10);
  EXPECT_FALSE(b.Clipping());
  b.SetClipRect(MakeRect(-4, 3, 8, 40));
  EXPECT_EQ(b.ClipRect(), MakeRect(0, 3, 8, 10));
  EXPECT_TRUE(b.Clipping());
  b.SetWrapMode(wmRepeat);
  EXPECT_EQ(b.WrapProcHorz(), WrapPow2);  // 0..7
  EXPECT_EQ(b.WrapProcVert(), Wrap);      // 3..9
  b.SetClipRect(MakeRect(20, 20, 30, 30));
  EXPECT_EQ(b.ClipRect(), MakeRect(0, 0, 0, 0));
  b.ResetClipRect();
  EXPECT_FALSE(b.Clipping());
}

TEST(BitmapClip, AClipWithoutAreaBecomesTheZeroRectangle) {
  TCustomBitmap32 b;
  b.SetSize(16, 10);
  const TRect cases[] = {
      MakeRect(3, 3, 3, 8),     // no width
      MakeRect(2, 6, 9, 6),     // no height
      MakeRect(16, 0, 20, 10),  // touches the right edge from outside
      MakeRect(-5, 10, 4, 12),  // touches the bottom edge from outside
      MakeRect(5, 5, 5, 5),
  };
  for (const TRect& r : cases) {
    b.SetClipRect(r);
    EXPECT_EQ(b.ClipRect(), MakeRect(0, 0, 0, 0)) << r;
    EXPECT_TRUE(b.Clipping()) << r;
    b.Clear(0xFF123456);  // draws nothing
  }
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(160, 0));
  b.SetClipRect(MakeRect(3, 3, 4, 8));
  EXPECT_EQ(b.ClipRect(), MakeRect(3, 3, 4, 8));  // one column is kept
}

// ----- fills and lines ---------------------------------------------------------------------------------------------

TEST(BitmapFill, ClearOfAnEmptyBitmapSendsNothingAndClippedClearFillsTheClipOnly) {
  TCustomBitmap32 b;
  TChangeRecorder rec;
  rec.Watch(b);
  b.Clear();
  EXPECT_EQ(rec.Changes, 0);
  b.SetSize(4, 3);
  b.Clear();
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(12, 0xFF000000));
  b.SetClipRect(MakeRect(1, 1, 3, 2));
  b.Clear(0xFFFFFFFF);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Pixel(x, y), y == 1 && (x == 1 || x == 2) ? 0xFFFFFFFF : 0xFF000000);
}

TEST(BitmapFill, FillRectSClampsToTheClipAndReports) {
  TCustomBitmap32 b;
  b.SetSize(6, 6);
  b.SetClipRect(MakeRect(1, 1, 5, 5));
  TChangeRecorder rec;
  rec.Watch(b);
  b.FillRectS(-3, 2, 3, 9, 0xFF0000FF);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(b.Pixel(x, y), x >= 1 && x < 3 && y >= 2 && y < 5 ? 0xFF0000FFu : 0u);
  ASSERT_FALSE(rec.Areas.empty());
  EXPECT_EQ(rec.Areas.back(), MakeRect(1, 2, 3, 5));
  rec.Reset();
  b.FillRectS(5, 5, 9, 9, 0xFFFFFFFF);  // outside the clip: nothing drawn, the rectangle still reported
  EXPECT_EQ(b.Pixel(5, 5), 0u);
  ASSERT_EQ(rec.Areas.size(), 1u);
  EXPECT_EQ(rec.Areas[0], MakeRect(5, 5, 9, 9));
}

TEST(BitmapFill, FillRectTBlendsByTheColoursAlpha) {
  TCustomBitmap32 b;
  b.SetSize(3, 1);
  b.Clear(0xFF000000);
  TChangeRecorder rec;
  rec.Watch(b);
  b.FillRectT(0, 0, 3, 1, 0x00FFFFFF);  // alpha 0: nothing, not even a report
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(3, 0xFF000000));
  EXPECT_EQ(rec.Changes, 0);
  EXPECT_TRUE(rec.Areas.empty());

  b.FillRectT(0, 0, 2, 1, 0x80FFFFFF);
  TColor32 expected = 0xFF000000;
  CombineMemPortable(0x80FFFFFF, expected, 0x80);
  EXPECT_EQ(b.Pixel(0, 0), expected);
  EXPECT_EQ(b.Pixel(2, 0), 0xFF000000u);
  ASSERT_EQ(rec.Areas.size(), 1u);
  EXPECT_EQ(rec.Areas[0], MakeRect(0, 0, 2, 1));

  b.FillRectT(0, 0, 3, 1, 0xFF123456);  // opaque: a plain fill
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(3, 0xFF123456));

  b.SetCombineMode(cmMerge);
  b.Clear(0x800000FF);
  b.FillRectTS(MakeRect(-1, -1, 9, 9), 0x80FF0000);
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(3, 0xC0AA0055));
}

TEST(BitmapLines, FrameRectSDrawsTheBorderOnly) {
  TCustomBitmap32 b;
  b.SetSize(4, 4);
  b.FrameRectS(0, 0, 1, 1, 0xFFFFFFFF);
  EXPECT_EQ(b.Pixel(0, 0), 0xFFFFFFFFu);
  const std::vector<TColor32> pixels = Pixels(b);
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0xFFFFFFFFu), 1);

  b.Clear(0);
  b.FrameRectS(0, 0, 3, 3, 0xFFFFFFFF);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool border = x < 3 && y < 3 && !(x == 1 && y == 1);
      EXPECT_EQ(b.Pixel(x, y), border ? 0xFFFFFFFFu : 0u) << x << "," << y;
    }

  b.Clear(0);
  b.SetClipRect(MakeRect(1, 1, 4, 4));
  b.FrameRectS(0, 0, 4, 4, 0xFFFFFFFF);  // only the right and bottom sides fall inside the clip
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Pixel(x, y), (x == 3 || y == 3) && x >= 1 && y >= 1 ? 0xFFFFFFFFu : 0u);
  b.Clear(0);
  b.FrameRectS(-5, -5, 0, 0, 0xFFFFFFFF);  // wholly outside
  b.FrameRectS(3, 3, 3, 9, 0xFFFFFFFF);    // no width
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(16, 0));
}

TEST(BitmapLines, ClippedLinesReportWhatTheyDraw) {
  TCustomBitmap32 b;
  b.SetSize(5, 5);
  TChangeRecorder rec;
  rec.Watch(b);
  b.HorzLineS(7, 2, -3, 0xFF00FF00);  // ends in any order
  ASSERT_EQ(rec.Areas.size(), 1u);
  EXPECT_EQ(rec.Areas[0], MakeRect(0, 2, 5, 3));
  for (int x = 0; x < 5; ++x) EXPECT_EQ(b.Pixel(x, 2), 0xFF00FF00u);
  b.VertLineS(4, 1, 3, 0xFFFF0000);
  EXPECT_EQ(rec.Areas.back(), MakeRect(4, 1, 5, 4));
  EXPECT_EQ(b.Pixel(4, 0), 0u);
  EXPECT_EQ(b.Pixel(4, 3), 0xFFFF0000u);
  rec.Reset();
  b.HorzLineS(0, 5, 4, 0xFFFFFFFF);
  b.VertLineS(-1, 0, 4, 0xFFFFFFFF);
  EXPECT_TRUE(rec.Areas.empty());
}

TEST(BitmapAlpha, ResetAlphaKeepsTheColours) {
  TCustomBitmap32 b;
  b.SetSize(2, 1);
  b.SetPixel(0, 0, 0x00123456);
  b.SetPixel(1, 0, 0x7F654321);
  b.ResetAlpha();
  EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0xFF123456, 0xFF654321}));
  b.ResetAlpha(0);
  EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0x00123456, 0x00654321}));
}

// ----- properties and copying --------------------------------------------------------------------------------------

TEST(BitmapProperties, SettersReportOnlyChangesAndMasterAlphaStopsAt255) {
  TCustomBitmap32 b;
  TChangeRecorder rec;
  rec.Watch(b);
  b.SetDrawMode(dmOpaque);
  b.SetMasterAlpha(255);
  EXPECT_EQ(rec.Changes, 0);
  b.SetDrawMode(dmBlend);
  b.SetMasterAlpha(1000);
  EXPECT_EQ(b.MasterAlpha(), 255u);
  b.SetMasterAlpha(100);
  b.SetCombineMode(cmMerge);
  EXPECT_EQ(b.BlendProc(), MergeMem);
  EXPECT_EQ(rec.Changes, 3);
}

TEST(BitmapProperties, ResamplerClassNameFindsRegisteredClassesOnly) {
  TCustomBitmap32 b;
  EXPECT_EQ(b.ResamplerClassName(), u"TNearestResampler");
  TCustomResampler* first = b.Resampler();
  b.SetResamplerClassName(u"tnearestresampler");
  b.SetResamplerClassName(u"TNoSuchResampler");
  EXPECT_EQ(b.Resampler(), first);
  EXPECT_EQ(b.Resampler()->Bitmap(), &b);
}

TEST(BitmapCopy, AssignCopiesPixelsAndPropertiesAndNilEmpties) {
  TCustomBitmap32 src, dst;
  src.SetSize(3, 2);
  FillPattern(src);
  src.SetDrawMode(dmBlend);
  src.SetCombineMode(cmMerge);
  src.SetWrapMode(wmMirror);
  src.SetMasterAlpha(90);
  src.SetOuterColor(0x11223344);
  src.Resampler()->SetPixelAccessMode(pamTransparentEdge);
  TChangeRecorder rec;
  rec.Watch(dst);
  dst.Assign(&src);
  EXPECT_EQ(Pixels(dst), Pixels(src));
  EXPECT_EQ(dst.DrawMode(), dmBlend);
  EXPECT_EQ(dst.CombineMode(), cmMerge);
  EXPECT_EQ(dst.WrapMode(), wmMirror);
  EXPECT_EQ(dst.MasterAlpha(), 90u);
  EXPECT_EQ(dst.OuterColor(), 0x11223344u);
  EXPECT_EQ(dst.Resampler()->PixelAccessMode(), pamTransparentEdge);
  EXPECT_EQ(rec.Changes, 1);  // one change after the update bracket
  dst.Assign(nullptr);
  EXPECT_TRUE(dst.Empty());
  TNearestResampler notABitmap(&src);
  EXPECT_THROW(dst.Assign(&notABitmap), EConvertError);
}

// ----- streams ------------------------------------------------------------------------------------------------------

TEST(BitmapStreams, BmpRoundTripsKeepAlphaInBothRowOrders) {
  std::mt19937 rng(5);
  for (bool bottomUp : {false, true}) {
    TCustomBitmap32 a, b;
    a.SetSize(5, 3);
    FillRandom(a, rng);
    TMemoryStream s;
    a.SaveToStream(s, bottomUp);
    EXPECT_EQ(s.Size(), 54 + 5 * 3 * 4);
    EXPECT_EQ(s.Memory()[0], 'B');
    EXPECT_EQ(int32_t(s.Memory()[22] | s.Memory()[23] << 8 | s.Memory()[24] << 16 | s.Memory()[25] << 24),
              bottomUp ? 3 : -3);
    s.SetPosition(0);
    b.LoadFromStream(s);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_EQ(Pixels(b), Pixels(a));
  }
}

TEST(BitmapStreams, DataRoundTripsAndTruncatedDataIsRefusedBeforeSizing) {
  TCustomBitmap32 a, b;
  a.SetSize(4, 2);
  FillPattern(a);
  TMemoryStream s;
  a.WriteData(s);
  EXPECT_EQ(s.Size(), 8 + 32);
  s.SetPosition(0);
  b.ReadData(s);
  EXPECT_EQ(Pixels(b), Pixels(a));

  s.SetSize(20);  // the header promises 32 bytes of pixels
  s.SetPosition(0);
  TCustomBitmap32 c;
  EXPECT_THROW(c.ReadData(s), EStreamError);
  EXPECT_TRUE(c.Empty());
}

TEST(BitmapStreams, HugeOrShortBmpHeadersAreRefusedAndOtherFormatsAreLeftToPlatformBitmaps) {
  TCustomBitmap32 a;
  a.SetSize(1, 1);
  TMemoryStream s;
  a.SaveToStream(s);
  auto SetI32 = [&](int AOffset, int32_t V) {
    for (int i = 0; i < 4; ++i) s.Memory()[AOffset + i] = uint8_t(uint32_t(V) >> (8 * i));
  };
  TCustomBitmap32 b;
  SetI32(18, 0x40000000);
  SetI32(22, 0x40000000);
  s.SetPosition(0);
  EXPECT_THROW(b.LoadFromStream(s), EBitmapException);
  SetI32(18, 100);
  SetI32(22, INT32_MIN);
  s.SetPosition(0);
  EXPECT_THROW(b.LoadFromStream(s), EBitmapException);
  SetI32(22, -100);
  s.SetPosition(0);
  EXPECT_THROW(b.LoadFromStream(s), EStreamError);
  EXPECT_TRUE(b.Empty());
  s.Memory()[28] = 24;  // 24 bits per pixel
  s.SetPosition(0);
  EXPECT_THROW(b.LoadFromStream(s), EBitmapException);
  TMemoryStream shortStream;
  shortStream.WriteBytes("BM");
  shortStream.SetPosition(0);
  EXPECT_THROW(b.LoadFromStream(shortStream), EStreamError);
}

// ----- helpers ------------------------------------------------------------------------------------------------------

TEST(ColourHelpers, ConvertBetweenPlatformAndARGBOrder) {
  EXPECT_EQ(Color32(0x00332211), 0xFF112233u);
  EXPECT_EQ(WinColor(0x80112233), 0x00332211u);
  EXPECT_EQ(Color32FromRGBA(0x11, 0x22, 0x33, 0x44), 0x44112233u);
  uint8_t r, g, b, a;
  Color32ToRGBA(0x44112233, r, g, b, a);
  EXPECT_EQ(r, 0x11);
  EXPECT_EQ(g, 0x22);
  EXPECT_EQ(b, 0x33);
  EXPECT_EQ(a, 0x44);
}

TEST(RectHelpers, TouchingRectanglesMeetAndDisjointOnesGiveZero) {
  TRect r;
  EXPECT_TRUE(IntersectRect(r, MakeRect(0, 0, 10, 10), MakeRect(10, 0, 20, 10)));
  EXPECT_EQ(r, MakeRect(10, 0, 10, 10));
  EXPECT_TRUE(IsRectEmpty(r));
  EXPECT_FALSE(IntersectRect(r, MakeRect(0, 0, 10, 10), MakeRect(11, 0, 20, 10)));
  EXPECT_EQ(r, MakeRect(0, 0, 0, 0));
  EXPECT_TRUE(IntersectRect(r, MakeRect(0, 0, 10, 10), MakeRect(5, -5, 20, 5)));
  EXPECT_EQ(r, MakeRect(5, 0, 10, 5));
  EXPECT_EQ(OffsetRect(MakeRect(1, 2, 3, 4), 10, -10), MakeRect(11, -8, 13, -6));
  EXPECT_EQ(OffsetRect(MakeRect(0, 0, 1, 1), int64_t(1) << 40, 0).Left, INT32_MAX);
}

}  // namespace
