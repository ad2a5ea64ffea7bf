// The styled painter measured and painted into bitmaps, with the graphics library's theme services (visual styles
// on, the everyday path under Wine) or the classic-look ones.
#include "controls/baStyledPainter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/fwBitmaps.h"
#include "framework/fwImageList.h"
#include "framework/fwThemes.h"
#include "graphics/pixels/pxThemeServices.h"
#include "graphics/pixels/pxXPThemes.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace {

// A client whose parts a test sets, recording every change it is told of.
class TTestClient : public TControlPainterClient {
 public:
  void Changed(TPainterChanges AFlags) override { Flags.push_back(AFlags); }
  TSignAt GetSignAt(TSignPlace APlace) const override { return APlace == spCenter ? CenterSign : saNone; }
  bool IsDefault() const override { return Default; }
  TColor GetColor() const override { return clWhite; }

  std::vector<TPainterChanges> Flags;
  TSignAt CenterSign = saNone;
  bool Default = false;
};

template <class T>
using TOwned = std::unique_ptr<T, TComponentDeleter>;

template <class T>
TOwned<T> Make() {
  return TOwned<T>(New<T>(nullptr));
}

// The pixel at (X, Y) of a 32-bit bitmap as 0xRRGGBB.
uint32_t RGBAt(TBitmap& ABitmap, int X, int Y) {
  return static_cast<const uint32_t*>(ABitmap.ScanLine(Y))[X] & 0xFFFFFF;
}

class StyledPainterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeXPThemes();
    StartFramework();
    InstallXPThemeServices();
    styler = Make<TPushStyler>();
    painter = Make<TStyledPainter>();
    painter->SetStyler(styler.get());
    styler->Styles().Adapt().SetFillKind(fkSolid);
    styler->Styles().Adapt().SetFillColor(clWhite);
    client.SetPainter(painter.get());
    client.Flags.clear();
  }
  void TearDown() override {
    client.SetPainter(nullptr);
    painter.reset();
    styler.reset();
    UninstallXPThemeServices();
    EndFramework();
    FinalizeXPThemes();
  }
  static void UseClassicLook() { InstallThemeServices(nullptr); }

  SIZE Measure(int AWidth = 0) {
    SIZE size{};
    painter->Measure(client, bitmap.Canvas(), size, AWidth);
    return size;
  }
  // The extent DrawTextW gives on the context the painter measured on, with the painter's flags.
  SIZE TextExtent(const wchar_t* AText) {
    RECT r{0, 0, 0x7FFFFFF, 0x7FFFFFF};
    DrawTextW(bitmap.Canvas().Handle(), AText, -1, &r, painter->GetDrawTextFlags() | DT_CALCRECT);
    return {r.right - r.left, r.bottom - r.top};
  }

  TOwned<TPushStyler> styler;
  TOwned<TStyledPainter> painter;
  TTestClient client;
  TBitmap bitmap{100, 40, TPixelFormat::pf32bit};
};

TEST_F(StyledPainterTest, WithoutStylerMeasuresTheBasePainterSize) {
  painter->SetStyler(nullptr);
  const SIZE free = Measure(0), fixed = Measure(57);
  EXPECT_EQ(free.cx, 20);
  EXPECT_EQ(free.cy, 20);
  EXPECT_EQ(fixed.cx, 57);
  EXPECT_EQ(fixed.cy, 20);
}

TEST_F(StyledPainterTest, CaptionOnlyMeasuresTextExtentPlusPaddingAndDefaultFrame) {
  styler->SetOptions(soAllowFrameDefault);
  painter->Padding().SetBounds(4, 4, 4, 4);
  client.SetCaption(u"Apply changes");
  const SIZE size = Measure();
  const SIZE text = TextExtent(L"Apply changes");
  ASSERT_GT(text.cx, 0);
  EXPECT_EQ(size.cx, text.cx + 10);
  EXPECT_EQ(size.cy, text.cy + 10);

  client.SetCaption(u"");
  const SIZE empty = Measure();
  EXPECT_EQ(empty.cx, 20);
  EXPECT_EQ(empty.cy, 20);
}

TEST_F(StyledPainterTest, ImageAndCaptionAreLaidOutByAlignKind) {
  struct TCase {
    TImageLayout Layout;
    TAlignKind Align;
    int ImageX, CaptionX;
  };
  const TCase cases[] = {
      {ilLeft, akCenter, 20, 40},  {ilLeft, akBegin, 0, 20},  {ilLeft, akEnd, 40, 60},
      {ilLeft, akOpposite, 0, 60}, {ilRight, akBegin, 44, 0}, {ilRight, akOpposite, 84, 0},
  };
  for (const TCase& c : cases) {
    const TContentLayout l = LayoutContent(RECT{0, 0, 100, 20}, SIZE{16, 16}, SIZE{40, 12}, 4, c.Layout, c.Align);
    EXPECT_EQ(l.Image.left, c.ImageX) << static_cast<int>(c.Layout) << "/" << static_cast<int>(c.Align);
    EXPECT_EQ(l.Caption.left, c.CaptionX) << static_cast<int>(c.Layout) << "/" << static_cast<int>(c.Align);
    EXPECT_EQ(l.Image.top, 2);
    EXPECT_EQ(l.Caption.top, 4);
  }
  // Across a vertical layout each item is centred on its own.
  const TContentLayout top = LayoutContent(RECT{0, 0, 100, 60}, SIZE{16, 16}, SIZE{40, 12}, 4, ilTop, akCenter);
  EXPECT_EQ(top.Image.left, 42);
  EXPECT_EQ(top.Image.top, 14);
  EXPECT_EQ(top.Caption.left, 30);
  EXPECT_EQ(top.Caption.top, 34);
}

TEST_F(StyledPainterTest, CentreBoxSignIsFiveByFivePixels) {
  UseClassicLook();
  styler->Font().SetColor(clRed);
  client.CenterSign = saBox;
  painter->Paint(client, bitmap.Canvas(), RECT{0, 0, 20, 20});
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool inside = x >= 8 && x <= 12 && y >= 8 && y <= 12;
      EXPECT_EQ(RGBAt(bitmap, x, y), inside ? 0xFF0000u : 0xFFFFFFu) << x << "," << y;
    }
}

TEST_F(StyledPainterTest, GreyscaleAndLightenFollowTheirFormulas) {
  TBitmap pixel(1, 1);
  auto set = [&](uint8_t R, uint8_t G, uint8_t B) {
    auto* p = static_cast<uint8_t*>(pixel.ScanLine(0));
    p[0] = B, p[1] = G, p[2] = R;
  };
  auto channel = [&](int C) { return static_cast<const uint8_t*>(pixel.ScanLine(0))[C]; };
  set(10, 200, 30);
  GrayscaleBitmap(pixel);
  EXPECT_EQ(channel(0), 124);
  EXPECT_EQ(channel(1), 124);
  EXPECT_EQ(channel(2), 124);
  const int lightened[][2] = {{0, 100}, {124, 175}, {255, 255}};
  for (const auto& c : lightened) {
    set(c[0], c[0], c[0]);
    LightenBitmap(pixel, 100);
    EXPECT_EQ(channel(1), c[1]) << c[0];
  }
}

TEST_F(StyledPainterTest, HotChangeRepaintsOnlyWhenItsLookChanges) {
  // Classic mode: a hot style that assigns nothing answers the same style object, so nothing is repainted.
  UseClassicLook();
  client.SetHot(true);
  ASSERT_EQ(client.Flags.size(), 1u);
  EXPECT_FALSE(client.Flags[0].Contains(pcRepaint));
  // Assigning a hot fill gives the hot state a look of its own.
  styler->Styles().Hot().SetFillColor(clYellow);
  client.Flags.clear();
  client.SetHot(false);
  ASSERT_EQ(client.Flags.size(), 1u);
  EXPECT_TRUE(client.Flags[0].Contains(pcRepaint));

  // A themed mode with visual styles in use repaints every state change.
  InstallXPThemeServices();
  ASSERT_TRUE(ThemeServices->Enabled());
  styler->Styles().Hot().SetAssignedValues({});
  styler->SetMode(smThemeStdBtn);
  client.Flags.clear();
  client.SetHot(true);
  ASSERT_FALSE(client.Flags.empty());
  EXPECT_TRUE(client.Flags.back().Contains(pcRepaint));
}

// Theme services that say styles are on and keep the last element they were asked to draw.
class TRecordingThemes : public TStubThemeServices {
 public:
  void DrawElement(HDC, const TThemedElementDetails& ADetails, const RECT&, const RECT*) override { *Drawn = ADetails; }
  TThemedElementDetails* Drawn = nullptr;
};

TEST_F(StyledPainterTest, ThemedModesMapTheStateToTheirElement) {
  TThemedElementDetails drawn{};
  auto themes = std::make_unique<TRecordingThemes>();
  themes->Drawn = &drawn;
  InstallThemeServices(std::move(themes));
  styler->SetOptions(soAllowFrameDefault);
  struct TCase {
    TStylerMode Mode;
    TClientState State;
    bool Default;
    TThemedElementDetails Expected;
  };
  const TCase cases[] = {
      {smThemeStdBtn, {}, false, GetElementDetails(TThemedButton::tbPushButtonNormal)},
      {smThemeStdBtn, {}, true, GetElementDetails(TThemedButton::tbPushButtonDefaulted)},
      {smThemeStdBtn, stPressed, true, GetElementDetails(TThemedButton::tbPushButtonHot)},
      {smThemeStdBtn, stPressed | stHot, false, GetElementDetails(TThemedButton::tbPushButtonPressed)},
      {smThemeStdBtn, stChecked, false, GetElementDetails(TThemedButton::tbPushButtonPressed)},
      {smThemeStdBtn, stDisabled | stChecked, false, GetElementDetails(TThemedButton::tbPushButtonDisabled)},
      {smThemeToolBtn, stChecked, false, GetElementDetails(TThemedToolBar::ttbButtonChecked)},
      {smThemeToolBtn, stChecked | stHot, false, GetElementDetails(TThemedToolBar::ttbButtonCheckedHot)},
      {smThemeToolBtn, stPressed, false, GetElementDetails(TThemedToolBar::ttbButtonHot)},
      {smThemeToolBtn, stPressed | stHot | stChecked, false, GetElementDetails(TThemedToolBar::ttbButtonPressed)},
      {smThemeToolBtn, stDisabled | stHot, false, GetElementDetails(TThemedToolBar::ttbButtonDisabled)},
      {smThemeHeader, stChecked, false, GetElementDetails(TThemedHeader::thHeaderItemPressed)},
      {smThemeHeader, stPressed, false, GetElementDetails(TThemedHeader::thHeaderItemHot)},
      {smThemeHeader, stDisabled, false, GetElementDetails(TThemedHeader::thHeaderItemNormal)},
      {smThemeStatusPane, stHot, false, GetElementDetails(TThemedStatus::tsPane)},
  };
  for (const TCase& c : cases) {
    styler->SetMode(c.Mode);
    client.SetState(c.State);
    client.Default = c.Default;
    drawn = {};
    painter->Paint(client, bitmap.Canvas(), RECT{0, 0, 60, 22});
    const std::string what = std::to_string(static_cast<int>(c.Mode)) + "/" + std::to_string(c.State.Bits());
    EXPECT_EQ(drawn.Element, c.Expected.Element) << what;
    EXPECT_EQ(drawn.Part, c.Expected.Part) << what;
    EXPECT_EQ(drawn.State, c.Expected.State) << what;
  }
}

// A 32-bit picture of AWidth x AHeight: the left half red, the right half blue, or with AHole a green square in
// the middle of a fully transparent field.
std::unique_ptr<TBitmap> Picture(int AWidth, int AHeight, bool AHole) {
  auto picture = std::make_unique<TBitmap>(AWidth, AHeight, TPixelFormat::pf32bit);
  for (int y = 0; y < AHeight; ++y) {
    auto* row = static_cast<uint32_t*>(picture->ScanLine(y));
    for (int x = 0; x < AWidth; ++x) {
      if (!AHole)
        row[x] = x < AWidth / 2 ? 0xFFFF0000u : 0xFF0000FFu;
      else
        row[x] = x >= 5 && x < 11 && y >= 5 && y < 11 ? 0xFF008000u : 0x00000000u;
    }
  }
  return picture;
}

TEST_F(StyledPainterTest, LargerListImagesAreScaledIntoTheCell) {
  UseClassicLook();
  TOwned<TImageList> list(New<TImageList>(nullptr, 32, 32));
  list->Add(*Picture(32, 32, false));
  painter->SetImages(list.get());
  client.SetImageIndex(0);
  painter->Paint(client, bitmap.Canvas(), RECT{0, 0, 16, 16});
  EXPECT_EQ(RGBAt(bitmap, 3, 8), 0xFF0000u);
  EXPECT_EQ(RGBAt(bitmap, 12, 8), 0x0000FFu);
  EXPECT_EQ(RGBAt(bitmap, 20, 8), 0xFFFFFFu);
  painter->SetImages(nullptr);
}

TEST_F(StyledPainterTest, GreyedOrLightenedImageKeepsItsTransparentField) {
  UseClassicLook();
  TOwned<TImageList> list(New<TImageList>(nullptr, 16, 16));
  list->Add(*Picture(16, 16, true));
  painter->SetImages(list.get());
  client.SetImageIndex(0);
  struct TCase {
    TPainterStyleImageEffects Effects;
    uint32_t Centre;
  };
  // Green (0, 128, 0): grey round(0.59 * 128) = 76; lightened 128 + 127 * 100 / 255 = 177 and 0 + 100; both 146.
  const TCase cases[] = {{pieGray, 0x4C4C4C}, {pieLight, 0x64B164}, {pieGray | pieLight, 0x929292}};
  for (const TCase& c : cases) {
    styler->Styles().Adapt().SetImageEffects(c.Effects);
    painter->Paint(client, bitmap.Canvas(), RECT{0, 0, 16, 16});
    EXPECT_EQ(RGBAt(bitmap, 8, 8), c.Centre) << c.Effects.Bits();
    for (const POINT p : {POINT{0, 0}, POINT{15, 15}, POINT{4, 8}, POINT{11, 8}})
      EXPECT_EQ(RGBAt(bitmap, p.x, p.y), 0xFFFFFFu) << c.Effects.Bits() << " at " << p.x << "," << p.y;
  }
  painter->SetImages(nullptr);
}

TEST_F(StyledPainterTest, FreedPainterLeavesItsStylerAndImageLists) {
  TOwned<TImageList> list(New<TImageList>(nullptr, 16, 16));
  painter->SetImages(list.get());
  EXPECT_EQ(styler->Notifier().SubscriberCount(), 1);
  client.SetPainter(nullptr);
  painter.reset();
  EXPECT_EQ(styler->Notifier().SubscriberCount(), 0);
  // Neither reaches the freed painter.
  styler->SetMode(smThemeToolBtn);
  list->Add(*Picture(16, 16, false));
}

TEST_F(StyledPainterTest, FreedStylerLeavesThePainterWithoutOne) {
  styler.reset();
  EXPECT_EQ(painter->Styler(), nullptr);
  EXPECT_EQ(Measure().cx, 20);
}

}  // namespace
