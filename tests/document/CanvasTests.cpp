// The Windows half of the model: the built-in resources, the sheet settings and canvas, rich text attributes,
// element image lists and the sound player.
#include "document/model/diCanvas.h"
#include "document/model/diMessages.h"
#include "document/model/diSchemeImages.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSounds.h"
#include "document/model/diSoundsWin.h"
#include "document/model/diTextorAttributesWin.h"
#include "document/model/diThemesWin.h"
#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuLocalizationWin.h"
#include "foundation/cuStreams.h"
#include "foundation/cuUtils.h"
#include "framework/fwImageList.h"
#include "graphics/pixels/pxBackendsGDI.h"

#include <gtest/gtest.h>

#include <array>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

TEST(BuiltInThemeResource, LoadsWithItsAtlasFontsAndColours) {
  TSheetTheme theme;
  EXPECT_EQ(LoadTheme(theme, u"default"), u"");
  ASSERT_NE(theme.Atlas(), nullptr);
  EXPECT_EQ(theme.Atlas()->Width(), 150);
  EXPECT_EQ(theme.Atlas()->Height(), 129);
  for (int i = 0; i < ThemeElementCount; ++i) EXPECT_GT(theme.GetElement(i).Width(), 0) << i;
  EXPECT_EQ(theme.GetFont(tfElementFont).FontName, u"Tahoma");
  EXPECT_EQ(theme.DisableColor(), 0xBEDCDCDCu);  // (220, 220, 220, 190) from its swatch
  EXPECT_EQ(theme.SelectColor(), 0x825F8FD8u);
  EXPECT_EQ(theme.GetFont(tfArtFont).FontStyle, ftBold);
  EXPECT_NE(theme.GetFont(tfArtFont).SecondColor, clNone32);
}

TEST(ThemeFallback, AMissingOrBrokenThemeFallsBackToTheBuiltInOneWithAReason) {
  const fs::path folder(GetThemeFolder());
  fs::create_directories(folder);
  {
    TFileStream text((folder / "Broken.txt").u16string(), TFileMode::fmCreate);
    text.WriteBytes("<ThemeInfo><Element Cut=\"0,0,3,3\"/></ThemeInfo>");
    TFileStream png((folder / "Broken.png").u16string(), TFileMode::fmCreate);
    png.WriteBytes("\x89PNG\r\n\x1a\n this is not a picture");
  }
  for (const char16_t* name : {u"Missing", u"Broken"}) {
    TElementMessages log;
    TSheetTheme theme;
    const std::u16string reason = LoadTheme(theme, name, &log);
    EXPECT_NE(reason, u"");
    EXPECT_NE(reason.find(name), std::u16string::npos);
    ASSERT_EQ(log.GetCount(), 1);
    EXPECT_EQ(log.GetItem(0)->Kind(), mkWarning);
    ASSERT_NE(theme.Atlas(), nullptr);
    EXPECT_EQ(theme.Atlas()->Width(), 150);
  }
  fs::remove_all(folder);
}

TEST(SheetSettings, FontSizeScalesTheThemeAndSwitchingBackRestoresIt) {
  TSheetSettings settings(nullptr);
  TSheetTheme& theme = settings.GetTheme();
  const TRect margins = theme.GetElement(teElement).Margins();
  const int size = theme.GetFont(tfElementFont).ScaledSize;
  settings.FontSize->SetValue(fsGreat);
  TSheetTheme& great = settings.GetTheme();
  EXPECT_EQ(&great, &theme);  // rescaled, not reloaded
  EXPECT_EQ(great.GetElement(teElement).Margins().Left, theme.GetElement(teElement).UnscaledMargins().Left * 180 / 100);
  EXPECT_EQ(great.GetFont(tfElementFont).ScaledSize, size + 4);
  EXPECT_EQ(settings.ScaleValue(10), 18);
  settings.FontSize->SetValue(fsNormal);
  EXPECT_EQ(settings.GetTheme().GetElement(teElement).Margins(), margins);
  EXPECT_EQ(settings.GetTheme().GetFont(tfElementFont).ScaledSize, size);
  EXPECT_EQ(settings.ScaleValue(10), 10);
}

TEST(SheetSettings, AMissingThemeIsReplacedByTheBuiltInOneOnceAndItsReasonKept) {
  TSheetSettings settings(nullptr);
  settings.Theme->SetValue(u"NoSuchTheme");
  TSheetTheme& theme = settings.GetTheme();
  ASSERT_NE(theme.Atlas(), nullptr);
  EXPECT_EQ(theme.Atlas()->Width(), 150);
  EXPECT_NE(settings.ThemeProblem().find(u"NoSuchTheme"), std::u16string::npos);
  EXPECT_EQ(&settings.GetTheme(), &theme);  // not tried again on every use
  settings.Theme->SetValue(u"Default");
  settings.GetTheme();
  EXPECT_EQ(settings.ThemeProblem(), u"");
}

TEST(SheetSettings, TextAttributesFollowTheThemeFontsAndAreShared) {
  TSheetSettings a(nullptr), b(nullptr);
  TRichTextAttributes* code = a.GetTextAttributes(tfCodeFont);
  EXPECT_EQ(code, b.GetTextAttributes(tfCodeFont));
  EXPECT_EQ(code->RefCount(), 2);
  EXPECT_EQ(code->FontName(), a.GetTheme().GetFont(tfCodeFont).FontName);
  a.FontSize->SetValue(fsLarge);
  TRichTextAttributes* larger = a.GetTextAttributes(tfCodeFont);
  EXPECT_NE(larger, code);
  EXPECT_EQ(larger->FontSize(), code->FontSize() + 2);
  EXPECT_EQ(code->RefCount(), 1);
}

TEST(RichTextAttributes, BoldMadeTwiceIsOneInstanceAndControlsMeasureAsReplacement) {
  TRichTextAttributes first, second;
  first.SetStyle(ftBold);
  second.SetStyle(ftBold);
  TAttributesRef<TRichTextAttributes> a(static_cast<TRichTextAttributes*>(first.Acquire()));
  TAttributesRef<TRichTextAttributes> b(static_cast<TRichTextAttributes*>(second.Acquire()));
  EXPECT_EQ(a.get(), b.get());
  EXPECT_EQ(a->RefCount(), 2);
  EXPECT_GT(a->GetAscent(), 0);
  EXPECT_GT(a->GetHeight(), a->GetAscent());
  EXPECT_GT(a->GetTabWidth(), 0);
  const std::u16string tab = u"a\tb", shown = u"a\uFFFDb";
  EXPECT_EQ(a->TextWidth(tab.data(), 3), a->TextWidth(shown.data(), 3));
  EXPECT_GT(a->TextWidth(tab.data(), 3), a->TextWidth(u"ab", 2));
}

// The run's pixels after drawing AText on a fresh white paint, and how far X moved.
std::vector<TColor32> DrawnRun(TSheetCanvas& ACanvas, TRichTextAttributes& AAttributes, const std::u16string& AText,
                               uint32_t AFlags, int& AAdvance) {
  TBitmap32 target;
  target.SetSize(80, 24);
  ACanvas.BeginPaint(target.Handle(), TRect{0, 0, 80, 24});
  ACanvas.FillRect(TRect{0, 0, 80, 24}, 0xFFFFFFFF);
  int x = 4;
  AAttributes.TextOut(ACanvas, AFlags, x, AText.data(), static_cast<int>(AText.size()), TRect{0, 2, 80, 22});
  AAdvance = x - 4;
  ACanvas.EndPaint(target.Handle());
  std::vector<TColor32> pixels;
  for (int y = 0; y < 24; ++y)
    for (int x2 = 0; x2 < 80; ++x2) pixels.push_back(target.Pixel(x2, y) & 0xFFFFFF);
  return pixels;
}

TEST(RichTextAttributes, ControlCharactersAreDrawnAsReplacementCharactersAndTheSelectionIsBlendedOver) {
  TSheetSettings settings(nullptr);
  TSheetCanvas canvas(&settings);
  TRichTextAttributes attributes;
  attributes.SetColor(0xFF000000);
  int tabAdvance = 0, shownAdvance = 0, selectedAdvance = 0;
  const std::vector<TColor32> tab = DrawnRun(canvas, attributes, u"a\tb", 0, tabAdvance);
  const std::vector<TColor32> shown = DrawnRun(canvas, attributes, u"a\uFFFDb", 0, shownAdvance);
  EXPECT_GT(std::count_if(tab.begin(), tab.end(), [](TColor32 c) { return c != 0xFFFFFF; }), 10);
  EXPECT_EQ(tab, shown);
  EXPECT_EQ(tabAdvance, shownAdvance);
  EXPECT_EQ(tabAdvance, attributes.TextWidth(u"a\tb", 3));
  const std::vector<TColor32> selected = DrawnRun(canvas, attributes, u"a\tb", afSelected, selectedAdvance);
  EXPECT_EQ(selectedAdvance, tabAdvance);
  EXPECT_NE(selected, tab);
  EXPECT_EQ(selected[10 * 80 + 2], 0xFFFFFFu);  // left of the run: untouched
}

// The note's font has no CJK glyphs: they come through the system's font links. A character without a glyph draws
// the same box as an unassigned code point (a glyph index check would call every linked glyph missing).
TEST(RichTextAttributes, CjkTextInTheNotesFontDrawsItsGlyphsRatherThanMissingGlyphBoxes) {
  TSheetSettings settings(nullptr);
  TSheetCanvas canvas(&settings);
  TRichTextAttributes& note = *settings.GetTextAttributes(tfFixedFont);
  EXPECT_EQ(note.FontName(), u"Courier New");
  int advance = 0;
  const std::vector<TColor32> missing = DrawnRun(canvas, note, u"\u0378", 0, advance);
  for (const std::u16string text : {u"\u65E5", u"\u672C", u"\u4E2D", u"\u6587", u"\u3042"}) {
    SCOPED_TRACE(static_cast<int>(text[0]));
    const std::vector<TColor32> drawn = DrawnRun(canvas, note, text, 0, advance);
    EXPECT_GT(std::count_if(drawn.begin(), drawn.end(), [](TColor32 c) { return c != 0xFFFFFF; }), 10);
    EXPECT_NE(drawn, missing);
  }
}

TEST(SheetCanvas, AnEmptyRectangleMakesNoBitmapAndTextIsMeasuredOnce) {
  TSheetSettings settings(nullptr);
  TSheetCanvas canvas(&settings);
  HDC screen = GetDC(nullptr);
  canvas.BeginPaint(screen, TRect{10, 10, 10, 40});
  EXPECT_FALSE(canvas.Painting());
  canvas.EndPaint(screen);
  ReleaseDC(nullptr, screen);
  const int before = canvas.MeasureCount();
  const int w = canvas.TextWidth(u"Quillbox");
  EXPECT_GT(w, 0);
  EXPECT_EQ(canvas.TextWidth(u"Quillbox"), w);
  EXPECT_EQ(canvas.MeasureCount(), before + 1);
  EXPECT_GT(canvas.DigitWidth(ckFixed), 0);
  canvas.ResetCaches();
  EXPECT_EQ(canvas.TextWidth(u"Quillbox"), w);
  EXPECT_EQ(canvas.MeasureCount(), before + 1 + 3 + 1);  // three digits and the text again
}

TEST(SheetCanvas, PaintsInSheetCoordinatesAndCopiesTheRectangleToTheTarget) {
  TSheetSettings settings(nullptr);
  TSheetCanvas canvas(&settings);
  TBitmap32 target;
  target.SetSize(60, 40);
  target.Clear(0xFF000000);
  canvas.BeginPaint(target.Handle(), TRect{20, 10, 50, 30});
  ASSERT_TRUE(canvas.Painting());
  canvas.FillFrame(TRect{20, 10, 30, 20}, 0, 0xFF00FF00, 0xFFFF0000);
  canvas.MoveOrigin(10, 5);
  canvas.FillRect(TRect{20, 10, 22, 12}, 0xFF0000FF);  // sheet (30, 15)
  EXPECT_TRUE(canvas.MeetsClip(TRect{0, 0, 11, 6}));
  EXPECT_FALSE(canvas.MeetsClip(TRect{-20, -20, 0, 0}));
  // The clip in current coordinates: the painted rectangle less the moved origin.
  const TRect clip = canvas.ClipRect();
  EXPECT_EQ((std::array<int32_t, 4>{clip.Left, clip.Top, clip.Right, clip.Bottom}),
            (std::array<int32_t, 4>{10, 5, 40, 25}));
  canvas.EndPaint(target.Handle());
  EXPECT_EQ(target.Pixel(20, 10) & 0xFFFFFF, 0xFF0000u);  // frame
  EXPECT_EQ(target.Pixel(25, 15) & 0xFFFFFF, 0x00FF00u);  // fill
  EXPECT_EQ(target.Pixel(30, 15) & 0xFFFFFF, 0x0000FFu);  // after the origin moved
  EXPECT_EQ(target.Pixel(5, 5) & 0xFFFFFF, 0u);           // outside the painted rectangle
}

TEST(SchemeImages, StripsAreCutIntoImagesOfTheListWidth) {
  TSchemeImages small(16, 16);
  EXPECT_EQ(small.AddFromResource(u"diClassesSmallImages"), 0);
  EXPECT_EQ(small.Count(), 3);  // a strip 48 pixels wide
  EXPECT_EQ(small.AddFromResource(u"diClassesSmallImages"), 3);
  TSchemeImages large(32, 32);
  EXPECT_EQ(large.AddFromResource(u"diClassesLargeImages"), 0);
  EXPECT_EQ(large.Count(), 3);
  std::unique_ptr<TSchemeImages> greyed = small.CreateGreyed();
  ASSERT_EQ(greyed->Count(), 6);
  TBitmap corner;
  greyed->List().GetBitmap(1, corner);
  EXPECT_EQ(*static_cast<const uint32_t*>(corner.ScanLine(0)) >> 24, 0u);  // transparent stays transparent
  // Each greyed image is its original read back and greyed pixel by pixel.
  for (int i = 0; i < small.Count(); ++i) {
    TBitmap original, grey;
    small.List().GetBitmap(i, original);
    greyed->List().GetBitmap(i, grey);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        ASSERT_EQ(static_cast<const uint32_t*>(grey.ScanLine(y))[x],
                  GreyedPixel(static_cast<const uint32_t*>(original.ScanLine(y))[x]))
            << i << " " << x << "," << y;
  }
  // A greyed list greys again as its own strips.
  EXPECT_EQ(greyed->CreateGreyed()->Count(), 6);
}

TEST(SheetCanvas, DrawsEveryElementImageAsTheImageListDrawsIt) {
  InitializeSchemeImages();
  const std::unique_ptr<TSchemeImages> greyed = SchemeSmallImages->CreateGreyed();
  const TSchemeImages* lists[] = {SchemeCharImages.get(), SchemeSmallImages.get(), SchemeLargeImages.get(),
                                  greyed.get()};
  // Backgrounds of every level under the half-transparent edges; origins that cut images at each side.
  const auto background = [](TBitmap32& ABitmap, int AKind) {
    for (int32_t y = 0; y < ABitmap.Height(); ++y)
      for (int32_t x = 0; x < ABitmap.Width(); ++x)
        ABitmap.ScanLine(y)[x] = AKind == 0   ? 0xFFFFFFFFu
                                 : AKind == 1 ? 0xFF000000u
                                              : 0xFF000000u | uint32_t((x * 37 + y * 11) & 0xFF) << 16 |
                                                    uint32_t((x * 5 + y * 71) & 0xFF) << 8 | uint32_t((x ^ y) * 13 & 0xFF);
  };
  TSheetSettings settings(nullptr);
  for (const TSchemeImages* list : lists)
    for (int index = 0; index < list->Count(); ++index)
      for (int kind = 0; kind < 3; ++kind)
        for (const int at : {-5, 3, 30}) {
          SCOPED_TRACE(::testing::Message() << list->Width() << " px, image " << index << ", background " << kind
                                            << ", at " << at);
          TBitmap32 expected, painted;
          for (TBitmap32* b : {&expected, &painted}) {
            b->SetSize(40, 40);
            background(*b, kind);
          }
          ImageList_Draw(list->List().Handle(), index, expected.Handle(), at, at + 1, ILD_TRANSPARENT);
          TSheetCanvas canvas(&settings);
          canvas.BeginPaint(painted.Handle(), TRect{0, 0, 40, 40});
          background(*canvas.Bitmap(), kind);
          canvas.MoveOrigin(at, 1);
          canvas.DrawImage(*list, index, 0, at);
          canvas.EndPaint(painted.Handle());
          for (int32_t y = 0; y < 40; ++y)
            for (int32_t x = 0; x < 40; ++x) ASSERT_EQ(painted.Pixel(x, y), expected.Pixel(x, y)) << x << "," << y;
        }
  FinalizeSchemeImages();
}

TEST(Sounds, PlayingAResourceOrAMissingOneNeverFails) {
  for (const wchar_t* name : {L"diClassesItemSound", L"diClassesValueSound"}) {
    std::unique_ptr<TStream> wave = CreateResourceStream(nullptr, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
    char head[12] = {};
    wave->ReadBuffer(head, sizeof(head));
    EXPECT_EQ(std::string(head, 4) + std::string(head + 8, 4), "RIFFWAVE");  // data the player can take
  }
  EXPECT_TRUE(PlayResourceSound(u"diClassesItemSound"));  // taken, with or without a sound device
  // Dropped while the first plays, or taken when it has ended: neither raises.
  EXPECT_NO_THROW(PlayResourceSound(u"diClassesValueSound"));
  EXPECT_FALSE(PlayResourceSound(u"NoSuchSound"));
}

}  // namespace

#ifdef QB_HAVE_STRINGS
TEST(StringTable, CarriesTheMessagesOfTheModel) {
  TLocalization strings;
  strings.SetDefaultLanguage(LangEnglishUS);
  EXPECT_EQ(strings.GetLocStr(IdDataCorrupt), u"Data provided are corrupt");
  EXPECT_EQ(strings.FormatLocStr(IdNodeNotRead, {u"a.b"}), u"Node \"a.b\" was not read");
  EXPECT_EQ(strings.FormatLocStr(IdAttributeNotRead, {u"a.b"}), u"Attribute \"a.b\" was not read");
  EXPECT_EQ(strings.GetLocStr(IdValueMustBeSet), u"The value must be [set]");
  EXPECT_EQ(strings.GetLocStr(IdUnsupportedElement), u"[Unsupported] element \"%1\" in this editor");
  EXPECT_EQ(strings.FormatLocStr(IdMoreNotRead, {u"7"}), u"And 7 more nodes and attributes were not read");
  EXPECT_EQ(strings.FormatLocStr(IdInvalidText, {u"9"}),
            u"Data provided contain invalid UTF-8 (first at byte 9): the characters there read as \"\uFFFD\" and a "
            u"save keeps them so");
  EXPECT_EQ(strings.GetLocStr(IdNewerFormat).substr(0, 52), u"The format of the data provided is of a newer versio");
  EXPECT_EQ(strings.GetLocStr(IdSaveFailed), u"Cannot save \"%s\". %s The text stays in the window, unsaved.");
  EXPECT_NE(strings.GetLocStr(IdThemeNotUsable), u"");
}
#endif
