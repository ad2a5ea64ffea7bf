#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "controls/baPainterStyles.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace {

using TStylerPtr = std::unique_ptr<TPushStyler, TComponentDeleter>;

// A 24-bit bitmap of one colour.
std::unique_ptr<TBitmap> Filled(int AWidth, int AHeight, TColor AColor = clWhite) {
  auto bitmap = std::make_unique<TBitmap>(AWidth, AHeight);
  bitmap->Canvas().Brush().SetColor(AColor);
  bitmap->Canvas().FillRect(RECT{0, 0, AWidth, AHeight});
  return bitmap;
}

TColor PixelAt(TBitmap& ABitmap, int X, int Y) {
  auto* p = static_cast<const uint8_t*>(ABitmap.ScanLine(Y)) + 3 * X;
  return RGBToColor(p[2], p[1], p[0]);
}

bool SamePixels(TBitmap& A, TBitmap& B) {
  for (int y = 0; y < A.Height(); ++y)
    if (std::memcmp(A.ScanLine(y), B.ScanLine(y), 3 * static_cast<size_t>(A.Width())) != 0) return false;
  return true;
}

bool SameRect(const RECT& A, const RECT& B) {
  return A.left == B.left && A.top == B.top && A.right == B.right && A.bottom == B.bottom;
}

class PainterStyles : public FrameworkTest {};

// ---------------------------------------------------------------------------------------------------------------
// Zones

TEST(ShrinkZones, SharesRoundHalfToEvenAndNeverGoBelowZero) {
  struct Case {
    int Length, A, B, First, Second;
  };
  const Case cases[] = {
      {4, 3, 3, 2, 2},  {10, 3, 3, 3, 3}, {3, 2, 2, 2, 1},  {1, 2, 2, 0, 1}, {0, 0, 0, 0, 0},
      {-5, 3, 3, 0, 0}, {6, 3, 3, 3, 3},  {5, 2, 2, 2, 2},  {5, 0, 0, 0, 0}, {2, 0, 3, 0, 2},
      {5, 3, 5, 2, 3},  {7, 1, 9, 1, 6},  {3, -2, 4, 0, 3}, {2, 1, 1, 1, 1}, {1, 1, 1, 0, 1},
  };
  for (const Case& c : cases) {
    auto [first, second] = ShrinkZones(c.Length, c.A, c.B);
    EXPECT_EQ(first, c.First) << c.Length << ", " << c.A << ", " << c.B;
    EXPECT_EQ(second, c.Second) << c.Length << ", " << c.A << ", " << c.B;
  }
}

// The rule as written: each zone copied into a bitmap of its own and that stretched into the destination zone;
// without a middle zone in the source the edges share the destination in proportion (half up).
void ReferenceZones(TBitmap& ABitmap, const TMargins& AZones, TCanvas& ACanvas, const RECT& ADst) {
  const int w = ABitmap.Width(), h = ABitmap.Height();
  const int dw = ADst.right - ADst.left, dh = ADst.bottom - ADst.top;
  if (dw <= 0 || dh <= 0) return;
  auto [zl, zr] = ShrinkZones(w, AZones.Left(), AZones.Right());
  auto [zt, zb] = ShrinkZones(h, AZones.Top(), AZones.Bottom());
  auto [l, r] = ShrinkZones(dw, zl, zr);
  auto [t, b] = ShrinkZones(dh, zt, zb);
  const int sx[4] = {0, l, w - r, w}, sy[4] = {0, t, h - b, h};
  int dx[4] = {ADst.left, ADst.left + l, ADst.right - r, ADst.right};
  int dy[4] = {ADst.top, ADst.top + t, ADst.bottom - b, ADst.bottom};
  if (sx[1] == sx[2] && dx[1] < dx[2]) dx[1] = dx[2] = ADst.left + int(std::floor(double(dw) * l / (l + r) + 0.5));
  if (sy[1] == sy[2] && dy[1] < dy[2]) dy[1] = dy[2] = ADst.top + int(std::floor(double(dh) * t / (t + b) + 0.5));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int zw = sx[i + 1] - sx[i], zh = sy[j + 1] - sy[j];
      if (zw <= 0 || zh <= 0 || dx[i + 1] <= dx[i] || dy[j + 1] <= dy[j]) continue;
      TBitmap zone(zw, zh);
      zone.Canvas().CopyRect(RECT{0, 0, zw, zh}, ABitmap.Canvas(), RECT{sx[i], sy[j], sx[i + 1], sy[j + 1]});
      ACanvas.StretchDraw(RECT{dx[i], dy[j], dx[i + 1], dy[j + 1]}, zone);
    }
}

TEST_F(PainterStyles, StretchedZonesEqualZonesCopiedThenStretchedForRandomSizes) {
  std::mt19937 random(18);
  auto pick = [&](int ALow, int AHigh) { return std::uniform_int_distribution<int>(ALow, AHigh)(random); };
  for (int round = 0; round < 150; ++round) {
    const int w = pick(1, 24), h = pick(1, 24);
    TBitmap source(w, h);
    for (int y = 0; y < h; ++y) {
      auto* row = static_cast<uint8_t*>(source.ScanLine(y));
      for (int i = 0; i < 3 * w; ++i) row[i] = static_cast<uint8_t>(pick(0, 255));
    }
    // Zones up to twice the bitmap: bitmaps smaller than their zones come up often.
    TMargins zones;
    zones.SetBounds(pick(0, w), pick(0, h), pick(0, w), pick(0, h));
    const RECT dst{pick(-3, 6), pick(-3, 6), pick(-3, 40), pick(-3, 40)};
    auto actual = Filled(40, 40, clFuchsia), expected = Filled(40, 40, clFuchsia);
    StretchBitmapZones(source, zones, actual->Canvas(), dst);
    ReferenceZones(source, zones, expected->Canvas(), dst);
    ASSERT_TRUE(SamePixels(*actual, *expected))
        << "bitmap " << w << " x " << h << ", zones " << zones.Left() << " " << zones.Top() << " " << zones.Right()
        << " " << zones.Bottom() << ", destination " << dst.left << " " << dst.top << " " << dst.right << " "
        << dst.bottom;
  }
}

TEST_F(PainterStyles, CornersKeepTheirSizeAndEdgesWithNothingBetweenThemMeet) {
  // 6 x 6 in 2 x 2 blocks of nine colours; zones 2 on every side.
  const TColor colours[3][3] = {
      {0x000001, 0x000002, 0x000003}, {0x000004, 0x000005, 0x000006}, {0x000007, 0x000008, 0x000009}};
  TBitmap source(6, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) source.Canvas().SetPixel(x, y, colours[y / 2][x / 2]);
  TMargins zones(2);
  auto target = Filled(10, 8);
  StretchBitmapZones(source, zones, target->Canvas(), RECT{0, 0, 10, 8});
  struct Probe {
    int X, Y;
    TColor Colour;
  };
  const Probe probes[] = {{0, 0, 0x000001}, {1, 1, 0x000001}, {2, 0, 0x000002}, {7, 1, 0x000002}, {8, 0, 0x000003},
                          {9, 7, 0x000009}, {5, 4, 0x000005}, {0, 5, 0x000004}, {8, 6, 0x000009}, {2, 6, 0x000008}};
  for (const Probe& p : probes) EXPECT_EQ(PixelAt(*target, p.X, p.Y), p.Colour) << p.X << ", " << p.Y;

  // A 4-pixel-wide bitmap under zones of 3 and 3: the zones shrink to 2 and 2 and no centre column is left, so the
  // two edge columns of a wider destination stretch to meet in its middle.
  TBitmap narrow(4, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 4; ++x) narrow.Canvas().SetPixel(x, y, x < 2 ? clRed : clBlue);
  zones.SetBounds(3, 0, 3, 0);
  auto wide = Filled(10, 6);
  StretchBitmapZones(narrow, zones, wide->Canvas(), RECT{0, 0, 10, 6});
  for (int x = 0; x < 10; ++x) EXPECT_EQ(PixelAt(*wide, x, 3), x < 5 ? clRed : clBlue) << x;
}

TEST_F(PainterStyles, ABitmapWithoutAMiddleZoneStretchesItsEdgesToFillTheWholeTarget) {
  for (const int size : {4, 6, 7}) {
    SCOPED_TRACE(size);
    auto source = Filled(size, size, clRed);
    auto target = Filled(20, 20, clFuchsia);
    StretchBitmapZones(*source, TMargins(3), target->Canvas(), RECT{0, 0, 20, 20});
    int unpainted = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) unpainted += PixelAt(*target, x, y) != clRed;
    EXPECT_EQ(unpainted, 0);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Fills and edges

TEST_F(PainterStyles, PatternsLayTheirBitsFromTheTopLeftPixel) {
  TBackground grid;
  grid.SetFillKind(fkGrid);
  grid.SetFillColor(clBlack);
  grid.SetFillSecondColor(clWhite);
  auto target = Filled(8, 8, clRed);
  PaintBackground(grid, target->Canvas(), RECT{0, 0, 8, 8}, nullptr, false, clYellow);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      bool dot = (x == 2 || x == 6) && (y == 2 || y == 6);
      EXPECT_EQ(PixelAt(*target, x, y), dot ? clBlack : clWhite) << x << ", " << y;
    }

  TBackground diagonal;
  diagonal.SetFillKind(fkBDiagonal);
  diagonal.SetFillColor(clBlack);
  diagonal.SetFillSecondColor(clWhite);
  PaintBackground(diagonal, target->Canvas(), RECT{0, 0, 8, 8}, nullptr, false, clYellow);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(PixelAt(*target, x, 0), x >= 5 ? clBlack : clWhite) << x;
}

TEST_F(PainterStyles, BitmapFillWithoutBitmapTakesTheParentColour) {
  TBackground background;
  background.SetFillKind(fkBitmap);
  auto target = Filled(6, 6);
  PaintBackground(background, target->Canvas(), RECT{0, 0, 6, 6}, nullptr, false, clGreen);
  EXPECT_EQ(PixelAt(*target, 3, 3), clGreen);
}

TEST_F(PainterStyles, ContentRectLosesTheEdgesAndTheDefaultFrame) {
  struct Case {
    TEdgeKind Outer, Inner;
    TEdges Edges;
    bool DefaultFrame;
    RECT Content;
  };
  const Case cases[] = {
      {ekRaised, ekRaised, AllEdges, false, {2, 2, 18, 18}},    {ekRaised, ekRaised, AllEdges, true, {3, 3, 17, 17}},
      {ekLowered, ekLowered, AllEdges, false, {2, 2, 18, 18}},  {ekSolid, ekNone, eLeft | eTop, false, {1, 1, 20, 20}},
      {ekSpace, ekDot, eRight | eBottom, true, {1, 1, 17, 17}}, {ekNone, ekNone, AllEdges, false, {0, 0, 20, 20}},
  };
  for (const Case& c : cases) {
    TBackground background;
    background.SetEdgeOuter(c.Outer);
    background.SetEdgeInner(c.Inner);
    background.SetEdges(c.Edges);
    background.SetFillKind(fkSolid);
    background.SetFillColor(clRed);
    auto target = Filled(20, 20);
    RECT content = PaintBackground(background, target->Canvas(), RECT{0, 0, 20, 20}, nullptr, c.DefaultFrame, clWhite);
    EXPECT_TRUE(SameRect(content, c.Content))
        << static_cast<int>(c.Outer) << "/" << static_cast<int>(c.Inner) << " frame " << c.DefaultFrame << ": "
        << content.left << " " << content.top << " " << content.right << " " << content.bottom;
    // The fill covers the content and stops at the edges.
    EXPECT_EQ(PixelAt(*target, content.left, content.top), clRed);
    EXPECT_EQ(PixelAt(*target, content.right - 1, content.bottom - 1), clRed);
    if (content.left > 0) {
      EXPECT_NE(PixelAt(*target, content.left - 1, content.top), clRed);
    }
    if (content.right < 20) {
      EXPECT_NE(PixelAt(*target, content.right, content.bottom - 1), clRed);
    }
  }
}

TEST_F(PainterStyles, LineEdgesFollowThePixelRules) {
  // Solid on the left and the top: the whole first column and row, nothing on the other sides.
  TBackground solid;
  solid.SetEdgeOuter(ekSolid);
  solid.SetEdges(eLeft | eTop);
  solid.SetEdgeColor(clBlue);
  solid.SetFillKind(fkClear);
  auto target = Filled(10, 10);
  PaintBackground(solid, target->Canvas(), RECT{0, 0, 10, 10}, nullptr, false, clWhite);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(PixelAt(*target, 0, i), clBlue) << i;
    EXPECT_EQ(PixelAt(*target, i, 0), clBlue) << i;
    EXPECT_EQ(PixelAt(*target, 9, i), i == 0 ? clBlue : clWhite) << i;
    EXPECT_EQ(PixelAt(*target, i, 9), i == 0 ? clBlue : clWhite) << i;
  }

  // Round on all four sides: the lines stop short of the four corners.
  TBackground round;
  round.SetEdgeOuter(ekRound);
  round.SetEdgeColor(clBlue);
  round.SetFillKind(fkClear);
  target = Filled(10, 10);
  PaintBackground(round, target->Canvas(), RECT{0, 0, 10, 10}, nullptr, false, clWhite);
  for (int i = 0; i < 10; ++i) {
    const TColor edge = i == 0 || i == 9 ? clWhite : clBlue;
    EXPECT_EQ(PixelAt(*target, 0, i), edge) << i;
    EXPECT_EQ(PixelAt(*target, 9, i), edge) << i;
    EXPECT_EQ(PixelAt(*target, i, 0), edge) << i;
    EXPECT_EQ(PixelAt(*target, i, 9), edge) << i;
  }
  EXPECT_EQ(PixelAt(*target, 1, 1), clWhite);
}

TEST(Background, TransparencyFollowsFillEdgesAndOptions) {
  struct Case {
    TFillKind Fill;
    TPainterStyleOptions Options;
    TEdges Edges;
    TEdgeKind Outer, Inner;
    bool Transparent;
  };
  const TEdges none;
  const Case cases[] = {
      {fkClear, {}, none, ekNone, ekNone, true},
      {fkSolid, {}, AllEdges, ekNone, ekNone, false},
      {fkGrid, psoBkColorTransparent, none, ekNone, ekNone, true},
      {fkBDiagonal, psoBkColorTransparent, AllEdges, ekSolid, ekNone, true},
      {fkGrid, {}, AllEdges, ekSolid, ekNone, false},
      {fkSolid, psoBkColorTransparent, AllEdges, ekNone, ekNone, false},
      {fkSolid, {}, AllEdges, ekRound, ekNone, true},
      {fkSolid, {}, AllEdges, ekRaised, ekDot, true},
      {fkSolid, {}, eTop, ekSpace, ekNone, true},
      {fkSolid, {}, none, ekSpace, ekRound, false},
      {fkSolid, psoFillUnderEdges, AllEdges, ekRound, ekNone, false},
      {fkSolid, {}, AllEdges, ekLowered, ekSolid, false},
  };
  for (const Case& c : cases) {
    TPainterStyle style;
    style.SetFillKind(c.Fill);
    style.SetOptions(c.Options);
    style.SetEdges(c.Edges);
    style.SetEdgeOuter(c.Outer);
    style.SetEdgeInner(c.Inner);
    EXPECT_EQ(style.IsTransparent(), c.Transparent) << "row " << (&c - cases);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// State styles and their composition

TEST(PainterStyleEx, AssignedValuesFollowTheSettersAndResetWhatTheyLeaveOut) {
  TPainterStyleEx style;
  int changes = 0;
  struct Counter {
    int* Count;
    void Changed(TObject*) { ++*Count; }
  } counter{&changes};
  style.OnChange = MakeMethod<&Counter::Changed>(&counter);
  EXPECT_TRUE(style.AssignedValues().Empty());

  style.SetFillColor(clRed);
  style.SetFontColor(clBlue);
  style.SetBitmapZones(TMargins(5));
  TBitmap bitmap(4, 4);
  style.SetBitmap(&bitmap);
  EXPECT_EQ(style.AssignedValues(), svFillColor | svFontColor | svBitmapZones | svBitmap);
  // A value set to what it holds assigns nothing.
  style.SetEdgeColor(clBlack);
  EXPECT_FALSE(style.AssignedValues().Contains(svEdgeColor));

  changes = 0;
  style.SetAssignedValues(svFillColor);
  EXPECT_EQ(style.AssignedValues(), TPainterStyleValues(svFillColor));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(style.FillColor(), clRed);
  EXPECT_EQ(style.FontColor(), clBtnText);
  EXPECT_TRUE(style.Bitmap().Empty());
  EXPECT_EQ(style.BitmapZones().Left(), 3);

  // Copying values assigns nothing by itself.
  TPainterStyleEx other;
  other.AssignValues(style, AllPainterStyleValues);
  EXPECT_TRUE(other.AssignedValues().Empty());
  EXPECT_EQ(other.FillColor(), clRed);
}

TEST(PainterStyleEx, ZoneBitmapSetsBitmapZonesAndFill) {
  TPainterStyleEx style;
  TBitmap bitmap(12, 9);
  TMargins zones;
  zones.SetBounds(4, 3, 4, 3);
  SetZoneBitmap(style, bitmap, zones);
  EXPECT_EQ(style.Bitmap().Width(), 12);
  EXPECT_EQ(style.BitmapZones().Left(), 4);
  EXPECT_EQ(style.BitmapZones().Top(), 3);
  EXPECT_EQ(style.FillKind(), fkBitmap);
  EXPECT_EQ(style.AssignedValues(), svBitmap | svBitmapZones | svFillKind);
}

class PushStyler : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    Styler.reset(New<TPushStyler>(nullptr));
  }
  void TearDown() override {
    Styler.reset();
    FrameworkTest::TearDown();
  }
  TPainterStyles& Styles() { return Styler->Styles(); }

  TStylerPtr Styler;
};

TEST_F(PushStyler, CheckedEdgesOverHotTakeEdgesFromCheckedAndFillFromHot) {
  Styles().Checked().SetEdgeOuter(ekLowered);
  Styles().Checked().SetFillColor(clRed);
  Styles().Hot().SetEdgeOuter(ekRaised);
  Styles().Hot().SetFillColor(clBlue);
  const TClientState state = stChecked | stHot;

  TPainterStyle& plain = Styler->GetStyle(state);
  EXPECT_EQ(plain.EdgeOuter(), ekRaised);
  EXPECT_EQ(plain.FillColor(), clBlue);

  // A new option must not answer the style composed without it.
  Styler->SetOptionsEx(psoCheckedEdgesOverHot);
  TPainterStyle& edges = Styler->GetStyle(state);
  EXPECT_EQ(edges.EdgeOuter(), ekLowered);
  EXPECT_EQ(edges.FillColor(), clBlue);

  Styler->SetOptionsEx(psoCheckedEdgesOverHot | psoCheckedFillOverHot);
  TPainterStyle& both = Styler->GetStyle(state);
  EXPECT_EQ(both.EdgeOuter(), ekLowered);
  EXPECT_EQ(both.FillColor(), clRed);
}

TEST_F(PushStyler, DisabledWinsOverCheckedAndLeavesFocusedAndHotOut) {
  Styles().Checked().SetFillColor(clRed);
  Styles().Checked().SetEdgeColor(clGreen);
  Styles().Disabled().SetFillColor(clGray);
  Styles().Focused().SetOptions(psoFocusRect);
  Styles().Hot().SetFontStyle(fsBold);
  Styles().Pressed().SetShadeColor(clLime);
  Styler->Font().SetStyle(fsItalic);

  TPainterStyle& style = Styler->GetStyle(stDisabled | stFocused | stHot | stChecked | stPressed);
  EXPECT_EQ(style.FillColor(), clGray);
  EXPECT_EQ(style.EdgeColor(), clGreen);
  EXPECT_FALSE(style.Options().Contains(psoFocusRect));
  EXPECT_EQ(style.ShadeColor(), clBtnHighlight);
  auto* composed = dynamic_cast<TPainterStyleEx*>(&style);
  ASSERT_NE(composed, nullptr);
  EXPECT_EQ(composed->FontStyle(), fsItalic);

  // Pressed wins over hot and focused when enabled.
  TPainterStyle& pressed = Styler->GetStyle(stFocused | stHot | stPressed);
  EXPECT_EQ(pressed.ShadeColor(), clLime);
  EXPECT_TRUE(pressed.Options().Contains(psoFocusRect));
  EXPECT_EQ(dynamic_cast<TPainterStyleEx&>(pressed).FontStyle(), fsItalic);
}

TEST_F(PushStyler, NothingAssignedAnswersAdaptAndCachesNothing) {
  Styles().Adapt().SetFillColor(clRed);
  for (TClientState state : {TClientState(), TClientState(stHot), stChecked | stPressed, stDisabled | stFocused}) {
    EXPECT_EQ(&Styler->GetStyle(state), &Styles().Adapt()) << static_cast<int>(state.Bits());
  }
  EXPECT_EQ(Styles().CachedStyleCount(), 0);

  Styles().Hot().SetFillKind(fkSolid);
  TPainterStyle& hot = Styler->GetStyle(stHot);
  EXPECT_NE(&hot, &Styles().Adapt());
  EXPECT_EQ(hot.FillColor(), clRed);
  EXPECT_EQ(&Styler->GetStyle(stHot), &hot);
  EXPECT_EQ(Styles().CachedStyleCount(), 1);
  Styles().Hot().SetFillColor(clBlue);
  EXPECT_EQ(Styles().CachedStyleCount(), 0);
}

TEST_F(PushStyler, AFontChangeYieldsANewComposedStyle) {
  Styles().Hot().SetFillKind(fkSolid);
  Styler->Font().SetColor(clMaroon);
  EXPECT_EQ(dynamic_cast<TPainterStyleEx&>(Styler->GetStyle(stHot)).FontColor(), clMaroon);
  Styler->Font().SetColor(clNavy);
  Styler->Font().SetStyle(fsUnderline);
  auto& style = dynamic_cast<TPainterStyleEx&>(Styler->GetStyle(stHot));
  EXPECT_EQ(style.FontColor(), clNavy);
  EXPECT_EQ(style.FontStyle(), fsUnderline);
}

// Flags posted through a styler's notifier, in order.
struct TFlagRecorder {
  std::vector<uint32_t> Flags;
  bool Gone = false;
  void Notified(TNotifier*, TNotify* AFirst) {
    if (!AFirst) Gone = true;
    for (TNotify* n = AFirst; n; n = n->Next())
      if (auto* flags = dynamic_cast<TFlagsNotify*>(n)) Flags.push_back(flags->Flags());
  }
};

TEST_F(PushStyler, ChangesPostPainterFlags) {
  TFlagRecorder recorder;
  Styler->Notifier().Subscribe(MakeMethod<&TFlagRecorder::Notified>(&recorder));
  Styler->SetCursor(crHandPoint);
  Styles().Hot().SetFillColor(clRed);
  Styles().Adapt().SetFillKind(fkClear);
  Styler->Font().SetHeight(-13);
  Styler->SetOptionsEx(psoCheckedFillOverHot);
  Styler->SetOptionsEx(psoCheckedFillOverHot);
  const std::vector<uint32_t> expected{TPainterChanges(pcCursor).Bits(), (pcRepaint | pcRemeasure).Bits(),
                                       (pcRepaint | pcRemeasure | pcTransparency).Bits(),
                                       (pcRepaint | pcRemeasure).Bits(), (pcRepaint | pcRemeasure).Bits()};
  EXPECT_EQ(recorder.Flags, expected);
  EXPECT_TRUE(Styler->LastTransparent());
  Styler.reset();
  EXPECT_TRUE(recorder.Gone);
}

}  // namespace
