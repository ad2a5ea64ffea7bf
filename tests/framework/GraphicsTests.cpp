#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/fwBitmaps.h"
#include "framework/fwGraphics.h"
#include "framework/fwThemes.h"

namespace {

uint32_t PixelAt(TBitmap& ABitmap, int X, int Y) { return static_cast<const uint32_t*>(ABitmap.ScanLine(Y))[X]; }

// A memory DC with its own bitmap, to bind canvases to from outside.
struct TForeignDC {
  HDC DC = CreateCompatibleDC(nullptr);
  HBITMAP Bitmap;
  HGDIOBJ OldBitmap;
  TForeignDC() {
    HDC screen = GetDC(nullptr);
    Bitmap = CreateCompatibleBitmap(screen, 32, 32);
    ReleaseDC(nullptr, screen);
    OldBitmap = SelectObject(DC, Bitmap);
  }
  ~TForeignDC() {
    SelectObject(DC, OldBitmap);
    DeleteObject(Bitmap);
    DeleteDC(DC);
  }
};

TEST(Canvas, BoundContextGetsItsOwnObjectsBackOnUnbind) {
  TForeignDC foreign;
  HGDIOBJ font = GetCurrentObject(foreign.DC, OBJ_FONT);
  HGDIOBJ pen = GetCurrentObject(foreign.DC, OBJ_PEN);
  HGDIOBJ brush = GetCurrentObject(foreign.DC, OBJ_BRUSH);
  {
    TCanvas canvas;
    canvas.SetHandle(foreign.DC);
    canvas.Font().SetStyle(fsBold);
    canvas.TextOut(0, 0, u"text");
    canvas.Rectangle(0, 0, 10, 10);
    EXPECT_NE(GetCurrentObject(foreign.DC, OBJ_FONT), font);
    // A change while selected swaps the object in the context; the old one is selected out before it goes.
    canvas.Font().SetSize(14);
    canvas.Pen().SetColor(clRed);
    canvas.Brush().SetColor(clBlue);
    canvas.TextOut(0, 0, u"again");
    canvas.Rectangle(0, 0, 10, 10);
    EXPECT_EQ(GetObjectType(GetCurrentObject(foreign.DC, OBJ_FONT)), static_cast<DWORD>(OBJ_FONT));
    canvas.SetHandle(nullptr);
    EXPECT_EQ(GetCurrentObject(foreign.DC, OBJ_FONT), font);
    EXPECT_EQ(GetCurrentObject(foreign.DC, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(foreign.DC, OBJ_BRUSH), brush);
    // Bound again and freed while bound: the destructor restores too.
    canvas.SetHandle(foreign.DC);
    canvas.FillRect(RECT{0, 0, 4, 4});
    canvas.TextOut(0, 0, u"x");
  }
  EXPECT_EQ(GetCurrentObject(foreign.DC, OBJ_FONT), font);
  EXPECT_EQ(GetCurrentObject(foreign.DC, OBJ_BRUSH), brush);
}

TEST(Canvas, SelectObjectGuardRestoresPreviousObject) {
  TForeignDC foreign;
  HGDIOBJ before = GetCurrentObject(foreign.DC, OBJ_BRUSH);
  {
    TSelectObjectGuard guard(foreign.DC, GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(GetCurrentObject(foreign.DC, OBJ_BRUSH), GetStockObject(BLACK_BRUSH));
  }
  EXPECT_EQ(GetCurrentObject(foreign.DC, OBJ_BRUSH), before);
}

TEST(Canvas, DrawsWithPenBrushAndFontColours) {
  TBitmap bitmap(8, 8, TPixelFormat::pf32bit);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Brush().SetColor(clRed);
  canvas.Pen().SetColor(clBlue);
  canvas.Rectangle(0, 0, 8, 8);
  EXPECT_EQ(PixelAt(bitmap, 0, 0) & 0xFFFFFF, 0x0000FFu);  // blue frame (BGRA in memory)
  EXPECT_EQ(PixelAt(bitmap, 4, 4) & 0xFFFFFF, 0xFF0000u);  // red inside
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  canvas.Pen().SetStyle(TPenStyle::psClear);
  canvas.Brush().SetColor(clLime);  // a colour makes a clear brush solid again
  EXPECT_EQ(canvas.Brush().Style(), TBrushStyle::bsSolid);
  canvas.FillRect(RECT{2, 2, 4, 4});
  EXPECT_EQ(PixelAt(bitmap, 2, 2) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(canvas.Pixel(2, 2), clLime);
  RECT clip = canvas.ClipRect();
  EXPECT_EQ(clip.right, 8);
  EXPECT_EQ(clip.bottom, 8);
}

TEST(Canvas, TextExtentFollowsFontSize) {
  TBitmap bitmap(4, 4);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetSize(8);
  int small = canvas.TextHeight(u"Wg");
  canvas.Font().SetSize(20);
  int large = canvas.TextHeight(u"Wg");
  EXPECT_GT(large, small);
  EXPECT_GT(canvas.TextWidth(u"WWWW"), canvas.TextWidth(u"W"));
}

TEST(Font, SizeAndHeightConvertAtTheFontsResolution) {
  TFont font;
  font.SetPixelsPerInch(96);
  font.SetSize(9);
  EXPECT_EQ(font.Height(), -12);
  font.SetHeight(-16);
  EXPECT_EQ(font.Size(), 12);
  font.SetPixelsPerInch(120);
  font.SetSize(10);
  EXPECT_EQ(font.Height(), -17);
}

TEST(Font, ColourChangeKeepsHandleOtherChangesRemakeIt) {
  struct TCounter : TObject {
    int Changes = 0;
    void Changed(TObject*) { ++Changes; }
  } counter;
  TFont font;
  font.OnChange = MakeMethod<&TCounter::Changed>(&counter);
  HFONT first = font.Handle();
  font.SetColor(clRed);
  EXPECT_EQ(font.Handle(), first);
  font.SetStyle(fsItalic | fsUnderline);
  LOGFONTW lf{};
  GetObjectW(font.Handle(), sizeof(lf), &lf);
  EXPECT_TRUE(lf.lfItalic);
  EXPECT_TRUE(lf.lfUnderline);
  EXPECT_EQ(lf.lfWeight, FW_NORMAL);
  font.SetStyle(fsItalic | fsUnderline);  // unchanged: no event
  EXPECT_EQ(counter.Changes, 2);

  TFont copy;
  copy.Assign(&font);
  EXPECT_EQ(copy.Color(), clRed);
  EXPECT_EQ(copy.Style(), fsItalic | fsUnderline);
  EXPECT_EQ(copy.Name(), font.Name());
  TPen pen;
  EXPECT_THROW(copy.Assign(&pen), EComponentError);
}

TEST(Colors, SystemColoursResolveThroughTheSystem) {
  EXPECT_EQ(ColorToRGB(clBtnFace), static_cast<TColor>(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(ColorToRGB(clWindowText), static_cast<TColor>(GetSysColor(COLOR_WINDOWTEXT)));
  EXPECT_EQ(ColorToRGB(RGBToColor(1, 2, 3)), 0x030201);
  EXPECT_EQ(ColorToRef(clRed), RGB(255, 0, 0));
}

TEST(Margins, SetBoundsFiresOneChangeAndInsets) {
  struct TCounter : TObject {
    int Changes = 0;
    void Changed(TObject*) { ++Changes; }
  } counter;
  TMargins margins(3);
  margins.OnChange = MakeMethod<&TCounter::Changed>(&counter);
  margins.SetBounds(1, 2, 3, 4);
  margins.SetBounds(1, 2, 3, 4);
  EXPECT_EQ(counter.Changes, 1);
  RECT inner = margins.Inset(RECT{0, 0, 20, 10});
  EXPECT_EQ(inner.left, 1);
  EXPECT_EQ(inner.top, 2);
  EXPECT_EQ(inner.right, 17);
  EXPECT_EQ(inner.bottom, 6);
  TMargins copy;
  copy.Assign(&margins);
  EXPECT_EQ(copy.Bottom(), 4);
}

// ---------------------------------------------------------------------------------------------------------------

TEST(Bitmap, NewBitmapIsWhiteAndFormatChangeKeepsColours) {
  TBitmap bitmap(3, 2);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  const auto* row = static_cast<const uint8_t*>(bitmap.ScanLine(1));
  EXPECT_EQ(row[0], 0xFF);
  EXPECT_EQ(row[8], 0xFF);
  bitmap.Canvas().SetPixel(1, 1, RGBToColor(10, 20, 30));
  bitmap.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_EQ(PixelAt(bitmap, 1, 1), 0xFF0A141Eu);
  EXPECT_EQ(PixelAt(bitmap, 0, 0), 0xFFFFFFFFu);
}

TEST(Bitmap, ChangesThroughCanvasAndSizeFireOnChange) {
  struct TCounter : TObject {
    int Changes = 0;
    void Changed(TObject*) { ++Changes; }
  } counter;
  TBitmap bitmap;
  bitmap.OnChange = MakeMethod<&TCounter::Changed>(&counter);
  bitmap.SetSize(4, 4);
  bitmap.Canvas().FillRect(RECT{0, 0, 2, 2});
  bitmap.SetSize(4, 4);  // unchanged
  EXPECT_EQ(counter.Changes, 2);
}

TEST(Bitmap, StreamRoundTripKeepsPixelsAndAlpha) {
  for (TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    TBitmap source(5, 3, format);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        auto* row = static_cast<uint8_t*>(source.ScanLine(y));
        int bytes = format == TPixelFormat::pf32bit ? 4 : 3;
        for (int b = 0; b < bytes; ++b) row[x * bytes + b] = static_cast<uint8_t>(x * 40 + y * 7 + b);
      }
    TMemoryStream stream;
    source.SaveToStream(stream);
    EXPECT_EQ(stream.Size(), 54 + 3 * (format == TPixelFormat::pf32bit ? 20 : 16));
    stream.SetPosition(0);
    TBitmap loaded;
    loaded.LoadFromStream(stream);
    ASSERT_EQ(loaded.Width(), 5);
    ASSERT_EQ(loaded.Height(), 3);
    EXPECT_EQ(loaded.PixelFormat(), format);
    for (int y = 0; y < 3; ++y)
      EXPECT_EQ(std::memcmp(loaded.ScanLine(y), source.ScanLine(y), format == TPixelFormat::pf32bit ? 20 : 15), 0);
  }
}

TEST(Bitmap, LoadsPaletteBitmapAsTwentyFourBits) {
  // A 2 x 1 bitmap of 8 bits with a two-colour table: red, then blue.
  std::vector<uint8_t> dib(40 + 8 + 4);
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = 2;
  h.biHeight = 1;
  h.biPlanes = 1;
  h.biBitCount = 8;
  h.biClrUsed = 2;
  std::memcpy(dib.data(), &h, 40);
  const uint8_t table[] = {0, 0, 255, 0, 255, 0, 0, 0};
  std::memcpy(dib.data() + 40, table, 8);
  dib[48] = 0;
  dib[49] = 1;
  TBitmap bitmap;
  bitmap.LoadFromDIB(dib.data(), dib.size());
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(bitmap.Canvas().Pixel(0, 0), clRed);
  EXPECT_EQ(bitmap.Canvas().Pixel(1, 0), clBlue);
  EXPECT_THROW(bitmap.LoadFromDIB(dib.data(), 30), EInvalidGraphic);
}

TEST(Bitmap, LoadsBitmapResource) {
  TBitmap bitmap;
  bitmap.LoadFromResourceName(GetModuleHandleW(nullptr), u"ProbeBitmap");
  ASSERT_EQ(bitmap.Width(), 3);
  ASSERT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(bitmap.Canvas().Pixel(0, 0), clRed);
  EXPECT_EQ(bitmap.Canvas().Pixel(2, 0), clBlue);
  EXPECT_EQ(bitmap.Canvas().Pixel(2, 1), RGBToColor(0x80, 0x80, 0x80));
  EXPECT_EQ(bitmap.TransparentColor(), clWhite);  // bottom-left pixel
  EXPECT_THROW(bitmap.LoadFromResourceName(GetModuleHandleW(nullptr), u"Missing"), EInvalidGraphic);
}

TEST(Bitmap, DrawsTransparentAndAlphaBitmaps) {
  TBitmap target(4, 1, TPixelFormat::pf32bit);
  target.Canvas().Brush().SetColor(clBlue);
  target.Canvas().FillRect(RECT{0, 0, 4, 1});

  TBitmap keyed(4, 1);
  keyed.Canvas().Brush().SetColor(RGBToColor(128, 0, 0));
  keyed.Canvas().FillRect(RECT{0, 0, 4, 1});
  keyed.Canvas().SetPixel(1, 0, clLime);
  keyed.SetTransparentColor(RGBToColor(128, 0, 0));
  keyed.SetTransparent(true);
  target.Canvas().Draw(0, 0, keyed);
  EXPECT_EQ(PixelAt(target, 0, 0) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(PixelAt(target, 1, 0) & 0xFFFFFF, 0x00FF00u);

  TBitmap alpha(2, 1, TPixelFormat::pf32bit);
  auto* px = static_cast<uint32_t*>(alpha.ScanLine(0));
  px[0] = 0x80FF0000;  // red at half opacity, straight alpha
  px[1] = 0x00FFFFFF;  // fully transparent
  alpha.SetAlphaFormat(TAlphaFormat::afDefined);
  target.Canvas().Draw(2, 0, alpha);
  uint32_t blended = PixelAt(target, 2, 0);
  EXPECT_NEAR(static_cast<int>((blended >> 16) & 0xFF), 128, 2);
  EXPECT_NEAR(static_cast<int>(blended & 0xFF), 127, 2);
  EXPECT_EQ(PixelAt(target, 3, 0) & 0xFFFFFF, 0x0000FFu);
}

TEST(Bitmap, AssignCopiesPixelsAndProperties) {
  TBitmap source(2, 2, TPixelFormat::pf32bit);
  static_cast<uint32_t*>(source.ScanLine(1))[1] = 0x12345678;
  source.SetAlphaFormat(TAlphaFormat::afPremultiplied);
  source.SetTransparent(true);
  TBitmap copy;
  copy.Assign(&source);
  EXPECT_EQ(copy.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(PixelAt(copy, 1, 1), 0x12345678u);
  EXPECT_EQ(copy.AlphaFormat(), TAlphaFormat::afPremultiplied);
  EXPECT_TRUE(copy.Transparent());
}

TEST(Icon, SaveAndLoadRoundTripKeepsSizeAndPixels) {
  TBitmap color(16, 16, TPixelFormat::pf32bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) static_cast<uint32_t*>(color.ScanLine(y))[x] = x < 8 ? 0xFF00FF00 : 0x00000000;
  ICONINFO info{TRUE, 0, 0, CreateBitmap(16, 16, 1, 1, nullptr), color.Handle()};
  HICON handle = CreateIconIndirect(&info);
  DeleteObject(info.hbmMask);
  ASSERT_NE(handle, nullptr);
  TIcon icon;
  icon.SetHandle(handle);
  EXPECT_EQ(icon.Width(), 16);
  TMemoryStream stream;
  icon.SaveToStream(stream);
  stream.SetPosition(0);
  TIcon loaded;
  loaded.SetSize(16, 16);
  loaded.LoadFromStream(stream);
  EXPECT_EQ(loaded.Width(), 16);
  EXPECT_EQ(loaded.Height(), 16);
  TBitmap target(16, 16, TPixelFormat::pf32bit);
  target.Canvas().Brush().SetColor(clBlue);
  target.Canvas().FillRect(RECT{0, 0, 16, 16});
  target.Canvas().Draw(0, 0, loaded);
  EXPECT_EQ(PixelAt(target, 2, 2) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(PixelAt(target, 12, 2) & 0xFFFFFF, 0x0000FFu);  // transparent half shows the background
}

TEST(Metafile, EnhancedAndPlaceableRoundTrips) {
  HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  RECT r{0, 0, 50, 30};
  FillRect(recorder, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  TMetafile metafile;
  metafile.SetHandle(CloseEnhMetaFile(recorder));
  ASSERT_FALSE(metafile.Empty());
  EXPECT_GT(metafile.Width(), 0);

  for (bool enhanced : {true, false}) {
    metafile.SetEnhanced(enhanced);
    TMemoryStream stream;
    metafile.SaveToStream(stream);
    const uint8_t* bytes = stream.Memory();
    if (enhanced)
      EXPECT_EQ(bytes[0], 1);  // EMR_HEADER
    else
      EXPECT_EQ(bytes[0], 0xD7);  // placeable key, low byte first
    stream.SetPosition(0);
    TMetafile loaded;
    loaded.LoadFromStream(stream);
    EXPECT_EQ(loaded.Enhanced(), enhanced);
    TBitmap target(60, 40);
    target.Canvas().StretchDraw(RECT{0, 0, 60, 40}, loaded);
    EXPECT_EQ(target.Canvas().Pixel(30, 20), clBlack);
  }
  TMemoryStream junk;
  junk.WriteBytes("not a metafile at all, just some bytes to read");
  junk.SetPosition(0);
  TMetafile none;
  EXPECT_THROW(none.LoadFromStream(junk), EInvalidGraphic);
}

// ---------------------------------------------------------------------------------------------------------------

// The filled cells of a bitmap as rows of '#' and '.'.
std::vector<std::string> Cells(TBitmap& ABitmap) {
  std::vector<std::string> rows;
  for (int y = 0; y < ABitmap.Height(); ++y) {
    std::string row;
    for (int x = 0; x < ABitmap.Width(); ++x) row += ABitmap.Canvas().Pixel(x, y) == clBlack ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

TEST(Shapes, ArrowsPointWhereAsked) {
  struct TCase {
    TArrowDirection Direction;
    std::vector<std::string> Expected;
  };
  const TCase cases[] = {
      {TArrowDirection::adRight, {"#...", "##..", "###.", "##..", "#...", "...."}},
      {TArrowDirection::adLeft, {"..#.", ".##.", "###.", ".##.", "..#.", "...."}},
      {TArrowDirection::adDown, {"#####.", ".###..", "..#...", "......"}},
      {TArrowDirection::adUp, {"..#...", ".###..", "#####.", "......"}},
  };
  for (const TCase& c : cases) {
    bool across = c.Direction == TArrowDirection::adDown || c.Direction == TArrowDirection::adUp;
    TBitmap bitmap(across ? 6 : 4, across ? 4 : 6);
    DrawArrow(bitmap.Canvas(), c.Direction, POINT{0, 0}, 2, clBlack);
    EXPECT_EQ(Cells(bitmap), c.Expected);
  }
}

TEST(Shapes, CheckMarkAndChevronFillTheirBoxes) {
  TBitmap tick(5, 6);
  DrawCheckMark(tick.Canvas(), POINT{0, 0}, 1, clBlack);
  std::vector<std::string> expected{"...#.", "#.##.", "####.", "###..", ".#...", "....."};
  EXPECT_EQ(Cells(tick), expected);

  TBitmap chevron(8, 3);
  DrawChevron(chevron.Canvas(), TArrowDirection::adRight, POINT{0, 0}, 1, clBlack);
  std::vector<std::string> chev{"##.##...", ".##.##..", "##.##..."};
  EXPECT_EQ(Cells(chevron), chev);
}

}  // namespace
