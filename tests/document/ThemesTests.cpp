#include "document/model/diThemes.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuStreams.h"
#include "graphics/pixels/pxBitmap.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

namespace {

// An atlas whose pixel (x, y) is opaque with red x and green y, so a drawn pixel tells where it came from.
std::unique_ptr<TCustomBitmap32> CoordinateAtlas(int W, int H) {
  auto a = std::make_unique<TCustomBitmap32>();
  a->SetSize(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) a->SetPixel(x, y, Color32FromRGBA(uint8_t(x), uint8_t(y), 0x80));
  return a;
}

int SourceX(TColor32 C) { return (C >> 16) & 0xFF; }
int SourceY(TColor32 C) { return (C >> 8) & 0xFF; }

bool AllInstalled(std::u16string_view) { return true; }

void Load(TSheetTheme& ATheme, std::u16string_view AText, int W = 150, int H = 129,
          const TFontInstalledFunc& AInstalled = AllInstalled) {
  ATheme.LoadFromText(AText, CoordinateAtlas(W, H), AInstalled);
}

TEST(ThemeDescription, RectanglesAreLimitedAndIncomplete) {
  struct Case {
    const char16_t* text;
    int min, max;
    TRect r;
  };
  const Case cases[] = {
      {u"1,2,3,4", 0, 10000, {1, 2, 3, 4}},
      {u"1,2", 0, 10000, {1, 2, 0, 0}},
      {u"x,5,,7", 0, 10000, {0, 5, 0, 7}},
      {u"-5,20000,3,4,9", 0, 10000, {0, 10000, 3, 4}},
      {u"-5,-20000", -10000, 10000, {-5, -10000, 0, 0}},
      {u"", 0, 10000, {0, 0, 0, 0}},
      {u" 7 , 8 ", 0, 10000, {7, 8, 0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseThemeRect(c.text, c.min, c.max), c.r);
}

TEST(ThemeDescription, CutIsInclusiveClippedToTheAtlasAndZeroMeansAll) {
  TSheetTheme t;
  Load(t,
       u"<ThemeInfo><Element Cut=\"0,0,9,9\"/><Field Cut=\"140,120,500,500\"/><Name Cut=\"200,200,300,300\"/>"
       u"<Comment Cut=\"9,9,3,3\"/></ThemeInfo>");
  EXPECT_EQ(t.GetElement(teElement).Cut(), (TRect{0, 0, 10, 10}));
  EXPECT_EQ(t.GetElement(teField).Cut(), (TRect{140, 120, 150, 129}));
  EXPECT_EQ(t.GetElement(teName).Cut().Width(), 0);
  EXPECT_EQ(t.GetElement(teComment).Cut().Width(), 0);
  EXPECT_EQ(t.GetElement(teSheet).Cut(), (TRect{0, 0, 150, 129}));  // not described: the whole atlas
}

TEST(ThemeDescription, ZonesNeverReachBeyondTheCut) {
  TSheetTheme t;
  Load(t, u"<ThemeInfo><Element Cut=\"0,0,9,5\" Zone=\"8,4,8,9\"/></ThemeInfo>");
  EXPECT_EQ(t.GetElement(teElement).Zone(), (TRect{8, 4, 2, 2}));
}

TEST(ThemeDescription, ColoursArePixelsOfTheAtlasClampedToIt) {
  TSheetTheme t;
  Load(t,
       u"<ThemeInfo SelectColor=\"3,4\" DisableColor=\"900,-2\"><ElementFont Color=\"5,6\"/>"
       u"</ThemeInfo>");
  EXPECT_EQ(t.SelectColor(), Color32FromRGBA(3, 4, 0x80));
  EXPECT_EQ(t.DisableColor(), Color32FromRGBA(149, 0, 0x80));
  EXPECT_EQ(t.SelectInactiveColor(), Color32FromRGBA(237, 237, 230, 185));  // missing: default
  EXPECT_EQ(t.GetFont(tfElementFont).FontColor, Color32FromRGBA(5, 6, 0x80));
  EXPECT_EQ(t.GetFont(tfElementFont).SecondColor, clNone32);
  EXPECT_EQ(t.GetFont(tfCodeFont).FontColor, 0xFF000000u);
}

TEST(ThemeDescription, FontTakesTheFirstInstalledNameOfItsList) {
  auto installed = [](std::u16string_view n) { return n == u"Second" || n == u"Third"; };
  TSheetTheme t;
  Load(t,
       u"<ThemeInfo><ElementFont Name=\"First, Second,Third\" Size=\"9\" Bold=\"1\" Underline=\"1\"/>"
       u"<CodeFont Name=\"Nothing,Here\"/></ThemeInfo>",
       150, 129, installed);
  EXPECT_EQ(t.GetFont(tfElementFont).FontName, u"Second");
  EXPECT_EQ(t.GetFont(tfElementFont).FontSize, 9);
  EXPECT_EQ(t.GetFont(tfElementFont).FontStyle, uint8_t(ftBold) | uint8_t(ftUnderline));
  EXPECT_EQ(t.GetFont(tfCodeFont).FontName, u"");
}

TEST(ThemeScale, ScalingAlwaysStartsFromTheUnscaledValues) {
  TSheetTheme t;
  Load(t,
       u"<ThemeInfo><ElementFont Size=\"8\"/><Element Margins=\"5,-3,10,1\" Padding=\"7,7,7,7\""
       u" Zone=\"4,4,4,4\" Cut=\"0,0,19,19\"/><SmallImages Margins=\"2,1,2,1\"/></ThemeInfo>");
  t.SetScale(4, 180);
  EXPECT_EQ(t.GetFont(tfElementFont).ScaledSize, 12);
  EXPECT_EQ(t.GetElement(teElement).Margins(), (TRect{9, -5, 18, 1}));
  EXPECT_EQ(t.GetElement(teElement).Padding(), (TRect{12, 12, 12, 12}));
  EXPECT_EQ(t.GetImage(tiSmallImages).ScaledMargins, (TRect{3, 1, 3, 1}));
  EXPECT_EQ(t.SpacingX(), 5);
  EXPECT_EQ(t.TextMargins(), (TRect{5, 0, 5, 0}));
  t.SetScale(2, 140);
  t.SetScale(0, 100);
  EXPECT_EQ(t.GetFont(tfElementFont).ScaledSize, 8);
  EXPECT_EQ(t.GetElement(teElement).Margins(), (TRect{5, -3, 10, 1}));
  EXPECT_EQ(t.GetElement(teElement).ScaledZone(), (TRect{4, 4, 4, 4}));
  EXPECT_EQ(t.SpacingY(), 3);
}

TEST(ThemeTint, KeepsAlphaAndMixesByTheTintsAlpha) {
  struct Case {
    TColor32 source, tint, result;
  };
  const Case cases[] = {
      {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF}, {0x80FF0000, 0xFF0000FF, 0x800000FF}, {0x40102030, 0x00FFFFFF, 0x40102030},
      {0xFF000000, 0x80FF8000, 0xFF804000}, {0x00FFFFFF, 0xFF000000, 0x00000000},
  };
  for (const Case& c : cases) EXPECT_EQ(TintPixel(c.source, c.tint), c.result) << std::hex << c.source << " " << c.tint;
}

TEST(ThemeTint, ATintedCopyIsMadeOncePerColour) {
  TSheetTheme t;
  Load(t, u"<ThemeInfo><Error Cut=\"0,0,3,3\"/></ThemeInfo>");
  TCustomBitmap32 dst;
  dst.SetSize(8, 8);
  TSheetThemeElementData& e = t.GetElement(teError);
  e.DrawIcon(&dst, 0, 0, 0xFF0000FF);
  e.DrawIcon(&dst, 2, 2, 0xFF0000FF);
  e.DrawIcon(&dst, 4, 4, 0xFF00FF00);
  e.DrawIcon(&dst, 4, 4);
  EXPECT_EQ(e.TintCacheSize(), 2);
  EXPECT_EQ(dst.Pixel(2, 2), 0xFF0000FFu);
}

TEST(ThemeNineGrid, NarrowTargetsShareTheBordersInProportion) {
  // Cut 10 x 3 at x 0..9: zones of 4 and 4; a 6-pixel target gets 3 and 3.
  TSheetTheme t;
  Load(t, u"<ThemeInfo><Element Cut=\"0,0,9,2\" Zone=\"4,0,4,0\"/></ThemeInfo>");
  TCustomBitmap32 dst;
  dst.SetSize(6, 3);
  t.GetElement(teElement).Draw(&dst, TRect{0, 0, 6, 3});
  std::vector<int> columns;
  for (int x = 0; x < 6; ++x) columns.push_back(SourceX(dst.Pixel(x, 1)));
  for (int x = 0; x < 3; ++x) EXPECT_LT(columns[x], 4) << x;
  for (int x = 3; x < 6; ++x) EXPECT_GE(columns[x], 6) << x;
}

TEST(ThemeNineGrid, CornersAreCopiedAndEdgesFollowTheirFillMode) {
  // Cut 12 x 12 with zones of 4: a 20 x 20 target; left edge tiled, right edge empty, centre stretched.
  TSheetTheme t;
  Load(t,
       u"<ThemeInfo><Element Cut=\"10,10,21,21\" Zone=\"4,4,4,4\" FillModeLeft=\"1\""
       u" FillModeRight=\"2\"/></ThemeInfo>");
  TCustomBitmap32 dst;
  dst.SetSize(20, 20);
  dst.Clear(0);
  t.GetElement(teElement).Draw(&dst, TRect{0, 0, 20, 20});
  EXPECT_EQ(SourceX(dst.Pixel(0, 0)), 10);
  EXPECT_EQ(SourceY(dst.Pixel(19, 19)), 21);
  EXPECT_EQ(SourceX(dst.Pixel(19, 0)), 21);
  // Left edge: rows 4..15 tile the 4-pixel source rows 14..17.
  for (int y = 4; y < 16; ++y) EXPECT_EQ(SourceY(dst.Pixel(1, y)), 14 + (y - 4) % 4) << y;
  // Right edge left empty.
  EXPECT_EQ(dst.Pixel(18, 10), 0u);
  // Centre stretched from source 14..17.
  EXPECT_GE(SourceX(dst.Pixel(10, 10)), 14);
  EXPECT_LE(SourceX(dst.Pixel(10, 10)), 17);
}

TEST(ThemeNineGrid, TilingAnEmptyCellDrawsNothingAndEnds) {
  TSheetTheme t;
  Load(t,
       u"<ThemeInfo><Element Cut=\"0,0,7,7\" Zone=\"4,4,4,4\" FillModeClient=\"1\""
       u" FillModeTop=\"1\"/></ThemeInfo>");
  TCustomBitmap32 dst;
  dst.SetSize(300, 300);
  dst.Clear(0);
  t.GetElement(teElement).Draw(&dst, TRect{0, 0, 300, 300});
  EXPECT_EQ(dst.Pixel(150, 150), 0u);
  EXPECT_NE(dst.Pixel(0, 0), 0u);
}

TEST(ThemeNineGrid, ElementsThatDoNotStretchKeepTheirSizeCentred) {
  TSheetTheme t;
  Load(t, u"<ThemeInfo><Error Cut=\"0,0,3,3\"/><Line Cut=\"0,0,3,1\"/></ThemeInfo>");
  TCustomBitmap32 dst;
  dst.SetSize(20, 20);
  dst.Clear(0);
  t.GetElement(teError).Draw(&dst, TRect{0, 0, 20, 20});
  EXPECT_EQ(dst.Pixel(7, 7), 0u);
  EXPECT_NE(dst.Pixel(8, 8), 0u);
  EXPECT_NE(dst.Pixel(11, 11), 0u);
  EXPECT_EQ(dst.Pixel(12, 12), 0u);
  dst.Clear(0);
  t.GetElement(teLine).Draw(&dst, TRect{0, 0, 20, 10});
  EXPECT_NE(dst.Pixel(0, 4), 0u);
  EXPECT_NE(dst.Pixel(19, 5), 0u);
  EXPECT_EQ(dst.Pixel(0, 3), 0u);
}

TEST(ThemeDescription, BadTextAndHugeValuesNeverBreakDrawing) {
  const char16_t* texts[] = {
      u"",
      u"<",
      u"<ThemeInfo",
      u"<ThemeInfo><Element Cut=\"-1,-1,-1,-1\" Zone=\"99999,99999\"/>",
      u"<ThemeInfo><Element Cut=\"1,1\" Zone=\"1,1,1,1\" FillModeClient=\"9\" FillModeLeft=\"1\"/></ThemeInfo>",
      u"<X><Sheet Cut=\"10000,10000,10000,10000\"/><ElementFont Size=\"-4\" Name=\",,,\"/></X>"};
  // Where an element may draw: the rectangle, or the cut's size centred in it along an axis that does not stretch.
  auto reach = [](TSheetThemeElementData& AElement, const TRect& ARect) {
    TRect r = ARect;
    if (!AElement.StretchH()) {
      r.Left = static_cast<int32_t>(ARect.Left + (ARect.Width() - AElement.Width()) / 2);
      r.Right = r.Left + AElement.Width();
    }
    if (!AElement.StretchV()) {
      r.Top = static_cast<int32_t>(ARect.Top + (ARect.Height() - AElement.Height()) / 2);
      r.Bottom = r.Top + AElement.Height();
    }
    return r;
  };
  for (const char16_t* text : texts) {
    const std::string name(text, text + std::char_traits<char16_t>::length(text));
    TSheetTheme t;
    Load(t, text, 5, 3);
    for (int i = 0; i < ThemeElementCount; ++i) {
      TSheetThemeElementData& e = t.GetElement(i);
      // Whatever the text says, a cut lies inside the 5 x 3 atlas and the zone's borders fit inside the cut.
      const TRect& cut = e.Cut();
      EXPECT_TRUE(cut.Left >= 0 && cut.Top >= 0 && cut.Right <= 5 && cut.Bottom <= 3) << name << " " << i;
      EXPECT_TRUE(e.Zone().Left >= 0 && e.Zone().Right >= 0 && e.Zone().Left + e.Zone().Right <= e.Width())
          << name << " " << i;
      EXPECT_TRUE(e.Zone().Top >= 0 && e.Zone().Bottom >= 0 && e.Zone().Top + e.Zone().Bottom <= e.Height())
          << name << " " << i;
      // Drawing touches no pixel outside its reach, even for rectangles partly off the bitmap.
      struct Draw {
        TRect rect;
        bool icon;
      };
      for (const Draw d : {Draw{{-5, -5, 50, 33}, false}, Draw{{3, 3, 4, 4}, false}, Draw{{38, -1, 0, 0}, true}}) {
        TCustomBitmap32 dst;
        dst.SetSize(40, 40);
        dst.Clear(0);
        TRect allowed;
        if (d.icon) {
          e.DrawIcon(&dst, d.rect.Left, d.rect.Top, 0x80FF0000);
          allowed = {d.rect.Left, d.rect.Top, d.rect.Left + e.Width(), d.rect.Top + e.Height()};
        } else {
          e.Draw(&dst, d.rect);
          allowed = reach(e, d.rect);
        }
        int outside = 0;
        for (int y = 0; y < 40; ++y)
          for (int x = 0; x < 40; ++x) {
            const bool inside = x >= allowed.Left && x < allowed.Right && y >= allowed.Top && y < allowed.Bottom;
            if (dst.Pixel(x, y) != 0 && !inside) ++outside;
          }
        EXPECT_EQ(outside, 0) << name << " " << i << " " << d.rect.Left;
      }
    }
  }
}

// The generated built-in description, read against an atlas of its size: every element, font and image entry is
// described, every cut lies inside the atlas and nothing is left unread.
TEST(BuiltInTheme, DescribesEverythingWithinItsAtlas) {
  TMemoryStream bytes;
  bytes.LoadFromFile(u"" QB_RESOURCES_DIR "/RavelwrightDefaultTheme.txt");
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromStream(bytes);
  ASSERT_FALSE(knot->HasParseError());
  ASSERT_EQ(knot->Name(), u"ThemeInfo");
  TSheetTheme t;
  t.LoadFromKnot(*knot, CoordinateAtlas(150, 129), AllInstalled);
  std::vector<TKnot*> unreadKnots;
  std::vector<TKnotParam*> unreadParams;
  EXPECT_FALSE(knot->CollectUnread(&unreadKnots, &unreadParams, false));
  std::set<std::u16string> named;
  for (TKnot* k = knot->FirstKnot(); k; k = k->NextKnot()) named.insert(k->Name());
  EXPECT_EQ(named.size(), size_t(int(ThemeElementCount) + int(ThemeFontCount) + int(ThemeImageCount)));
  for (int i = 0; i < ThemeElementCount; ++i) {
    EXPECT_TRUE(named.count(ThemeElementNames[i])) << i;
    const TRect& cut = t.GetElement(i).Cut();
    EXPECT_GT(cut.Width(), 0) << i;
    EXPECT_LT(cut.Width(), 150) << i;
  }
  for (int i = 0; i < ThemeFontCount; ++i) EXPECT_FALSE(t.GetFont(i).FontName.empty()) << i;
}

}  // namespace
