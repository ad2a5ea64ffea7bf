#include "graphics/pixels/pxBackendsGDI.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "foundation/cuUtils.h"
#include "framework/fwClipboard.h"
#include "graphics/pixels/pxHeapBackend.h"
#include "tests/images/ImageTestSupport.h"

namespace {

struct TEvents {
  int HandleChanges = 0;
  std::vector<TRect> Areas;
  void HandleChanged(TObject*) { ++HandleChanges; }
  void AreaChanged(TObject*, const TRect& AArea, uint32_t) { Areas.push_back(AArea); }
};

class BitmapGdi : public ::testing::Test {};

std::vector<TColor32> Pixels(const TCustomBitmap32& ABitmap) {
  return std::vector<TColor32>(ABitmap.Bits(), ABitmap.Bits() + size_t(ABitmap.Width()) * ABitmap.Height());
}

void Fill(TCustomBitmap32& ABitmap, const std::vector<uint32_t>& APixels) {
  std::copy(APixels.begin(), APixels.end(), ABitmap.Bits());
}

TEST_F(BitmapGdi, EverySizeGetsAFreshZeroSurfaceWithItsOwnContext) {
  TBitmap32 bitmap;
  TEvents events;
  bitmap.OnHandleChanged = MakeMethod<&TEvents::HandleChanged>(&events);
  EXPECT_EQ(bitmap.Handle(), nullptr);
  bitmap.SetSize(5, 3);
  ASSERT_NE(bitmap.Handle(), nullptr);
  EXPECT_EQ(events.HandleChanges, 1);
  EXPECT_EQ(Pixels(bitmap), std::vector<TColor32>(15, 0));
  bitmap.Clear(0xFF112233);
  bitmap.SetSize(5, 4);
  EXPECT_EQ(events.HandleChanges, 2);
  EXPECT_EQ(Pixels(bitmap), std::vector<TColor32>(20, 0));
  auto* backend = dynamic_cast<TGDIBackend*>(bitmap.Backend());
  ASSERT_NE(backend, nullptr);
  BITMAP info = {};
  ASSERT_EQ(GetObjectW(backend->BitmapHandle(), sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.bmWidth, 5);
  EXPECT_EQ(info.bmHeight, 4);
  EXPECT_EQ(info.bmBits, bitmap.Bits());
  bitmap.SetSize(0, 4);
  EXPECT_EQ(bitmap.Handle(), nullptr);
  EXPECT_EQ(backend->BitmapHandle(), nullptr);
  EXPECT_EQ(bitmap.Bits(), nullptr);
}

TEST_F(BitmapGdi, FailedSurfaceLeavesTheBitmapEmpty) {
  TBitmap32 bitmap;
  bitmap.SetSize(4, 4);
  try {
    bitmap.SetSize(40000, 40000);  // 6.4 GB: within the pixel count a bitmap allows, beyond a section
    FAIL() << "no exception";
  } catch (const EBitmapException& e) {
    EXPECT_EQ(e.Message(), u"Can't allocate the DIB handle");
  }
  EXPECT_EQ(bitmap.Width(), 0);
  EXPECT_EQ(bitmap.Height(), 0);
  EXPECT_TRUE(bitmap.Empty());
  EXPECT_EQ(bitmap.Bits(), nullptr);
  EXPECT_EQ(bitmap.Handle(), nullptr);
  bitmap.SetSize(2, 2);
  EXPECT_NE(bitmap.Handle(), nullptr);
}

TEST_F(BitmapGdi, DrawnToAWindowAndReadBack) {
  const HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 64,
                                      48, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  UpdateWindow(window);
  TBitmap32 source;
  source.SetSize(64, 48);
  const std::vector<uint32_t> pattern = SmoothOpaquePattern(64, 48);
  Fill(source, pattern);
  const HDC dc = GetDC(window);
  source.DrawToDC(dc, 0, 0);
  GdiFlush();
  TBitmap32 back;
  back.SetSize(64, 48);
  auto* backDC = BackendAs<IDeviceContextSupport>(back.Backend());
  backDC->Draw(back.BoundsRect(), back.BoundsRect(), dc);
  GdiFlush();
  ReleaseDC(window, dc);
  DestroyWindow(window);
  std::vector<TColor32> read = Pixels(back);
  for (TColor32& c : read) c |= 0xFF000000;
  EXPECT_EQ(read, pattern);
}

TEST_F(BitmapGdi, RectangleStretchesIntoAContext) {
  TBitmap32 source;
  source.SetSize(2, 1);
  Fill(source, {0xFF0000FF, 0xFFFF0000});
  TBitmap32 target;
  target.SetSize(4, 2);
  source.DrawRectToDC(target.Handle(), TRect{0, 0, 4, 2}, TRect{0, 0, 2, 1});
  GdiFlush();
  std::vector<TColor32> read = Pixels(target);
  for (TColor32& c : read) c |= 0xFF000000;
  EXPECT_EQ(read, (std::vector<TColor32>{0xFF0000FF, 0xFF0000FF, 0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF,
                                         0xFFFF0000, 0xFFFF0000}));
  TBitmap32 empty;
  empty.DrawRectToDC(target.Handle(), TRect{0, 0, 4, 2}, TRect{0, 0, 2, 1});
  empty.DrawToDC(target.Handle(), 0, 0);
  EXPECT_EQ(Pixels(target)[0] | 0xFF000000, 0xFF0000FFu);
}

TEST_F(BitmapGdi, TextIsDrawnInTheFontColourAndReportsItsArea) {
  TBitmap32 bitmap;
  bitmap.SetSize(120, 40);
  bitmap.Clear(0xFFFFFFFF);
  TEvents events;
  bitmap.OnAreaChanged = MakeMethod<&TEvents::AreaChanged>(&events);
  bitmap.Font().SetColor(clRed);
  bitmap.Font().SetHeight(-20);
  const SIZE extent = bitmap.TextExtent(u"Quill");
  ASSERT_GT(extent.cx, 10);
  ASSERT_GT(extent.cy, 10);
  bitmap.Textout(5, 4, u"Quill");
  GdiFlush();
  ASSERT_FALSE(events.Areas.empty());
  EXPECT_EQ(events.Areas.back(), (TRect{5, 4, 5 + extent.cx + 1, 4 + extent.cy + 1}));
  int red = 0;
  int outside = 0;
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      const TColor32 c = bitmap.Pixel(x, y) & 0x00FFFFFF;
      if (c == 0xFFFFFF) continue;
      if (x < 5 || y < 4 || x > 5 + extent.cx || y > 4 + extent.cy) ++outside;
      if (c == 0xFF0000) ++red;
    }
  EXPECT_GT(red, 20);
  EXPECT_EQ(outside, 0);
  // GDI leaves alpha 0 where it drew; ResetAlpha makes the whole bitmap opaque again.
  EXPECT_TRUE(std::any_of(bitmap.Bits(), bitmap.Bits() + 120 * 40, [](TColor32 c) { return c >> 24 != 0xFF; }));
  bitmap.ResetAlpha();
  EXPECT_TRUE(std::all_of(bitmap.Bits(), bitmap.Bits() + 120 * 40, [](TColor32 c) { return c >> 24 == 0xFF; }));
}

TEST_F(BitmapGdi, TextIsClippedToTheClipRectangle) {
  TBitmap32 bitmap;
  bitmap.SetSize(100, 30);
  bitmap.Clear(0xFFFFFFFF);
  bitmap.Font().SetColor(clBlack);
  bitmap.SetClipRect(TRect{0, 0, 10, 30});
  bitmap.Textout(2, 2, u"WWWWWWWW");
  GdiFlush();
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 10; x < 100; ++x) ASSERT_EQ(bitmap.Pixel(x, y), 0xFFFFFFFFu) << x << "," << y;
  EXPECT_NE(std::count(bitmap.Bits(), bitmap.Bits() + 3000, 0xFFFFFFFFu), 3000);
}

TEST_F(BitmapGdi, MeasuringNeedsNoSurfaceAndFollowsFontChanges) {
  TBitmap32 empty;
  TBitmap32 sized;
  sized.SetSize(10, 10);
  const std::u16string text = u"Measure me";
  EXPECT_EQ(empty.TextWidth(text), sized.TextWidth(text));
  EXPECT_EQ(empty.TextHeight(text), sized.TextHeight(text));
  const int32_t before = sized.TextWidth(text);
  sized.Font().SetHeight(-30);
  EXPECT_GT(sized.TextWidth(text), before);
  TFont bold;
  bold.Assign(&sized.Font());
  bold.SetStyle(fsBold);
  sized.SetFont(bold);
  EXPECT_EQ(sized.Font().Style(), fsBold);
}

TEST_F(BitmapGdi, DrawTextMeasuresIntoTheRectangle) {
  TBitmap32 bitmap;
  bitmap.SetSize(50, 50);
  TRect r{0, 0, 1000, 0};
  bitmap.Textout(r, DT_CALCRECT | DT_SINGLELINE, u"abc");
  EXPECT_EQ(r.Width(), bitmap.TextWidth(u"abc"));
  EXPECT_EQ(r.Height(), bitmap.TextHeight(u"abc"));
}

TEST_F(BitmapGdi, CanvasDrawsIntoThePixelsAndGoesWithTheSurface) {
  TBitmap32 bitmap;
  bitmap.SetSize(8, 8);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Brush().SetColor(clBlue);
  const RECT r = {0, 0, 4, 4};
  canvas.FillRect(r);
  GdiFlush();
  EXPECT_EQ(bitmap.Pixel(1, 1) & 0x00FFFFFF, 0x0000FFu);
  EXPECT_EQ(bitmap.Pixel(6, 6), 0u);
  EXPECT_TRUE(bitmap.CanvasAllocated());
  bitmap.SetSize(9, 9);
  EXPECT_FALSE(bitmap.CanvasAllocated());
}

TEST_F(BitmapGdi, BmpOfOtherDepthsLoadsOpaqueAndBadDataRaises) {
  // A 2 x 2 24-bit bottom-up BMP.
  const std::vector<uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,
                                    1,   0,   24, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> file(bmp.begin(), bmp.begin() + 54);
  const uint8_t rows[] = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0, 0xFF, 0x00, 0x00, 0x80, 0x80, 0x80, 0, 0};
  file.insert(file.end(), rows, rows + sizeof rows);
  TMemoryStream stream;
  stream.WriteBuffer(file.data(), file.size());
  stream.SetPosition(0);
  TBitmap32 bitmap;
  bitmap.LoadFromStream(stream);
  EXPECT_EQ(Pixels(bitmap), (std::vector<TColor32>{0xFF0000FF, 0xFF808080, 0xFFFF0000, 0xFF00FF00}));

  for (size_t cut : {size_t(20), size_t(60)}) {
    TMemoryStream bad;
    bad.WriteBuffer(file.data(), cut);
    bad.SetPosition(0);
    EXPECT_ANY_THROW(bitmap.LoadFromStream(bad)) << cut;
  }
  std::vector<uint8_t> huge = file;
  huge[18] = 0xFF;
  huge[19] = 0xFF;
  huge[20] = 0xFF;
  huge[21] = 0x00;
  TMemoryStream tooLarge;
  tooLarge.WriteBuffer(huge.data(), huge.size());
  tooLarge.SetPosition(0);
  EXPECT_THROW(bitmap.LoadFromStream(tooLarge), EBitmapException);
  EXPECT_TRUE(bitmap.Empty());
}

TEST_F(BitmapGdi, SavedBmpComesBackWithAlpha) {
  TBitmap32 bitmap;
  bitmap.SetSize(7, 5);
  const std::vector<uint32_t> pattern = AlphaPattern(7, 5);
  Fill(bitmap, pattern);
  for (bool bottomUp : {false, true}) {
    TMemoryStream stream;
    bitmap.SaveToStream(stream, bottomUp);
    stream.SetPosition(0);
    TBitmap32 back;
    back.LoadFromStream(stream);
    EXPECT_EQ(Pixels(back), pattern) << bottomUp;
  }
}

TEST_F(BitmapGdi, ThirtyTwoBitBmpWithLongHeaderOrGapFindsItsPixels) {
  TBitmap32 bitmap;
  bitmap.SetSize(3, 2);
  const std::vector<uint32_t> pattern = AlphaPattern(3, 2);
  Fill(bitmap, pattern);
  TMemoryStream plain;
  bitmap.SaveToStream(plain, true);
  const uint8_t* bytes = plain.Memory();
  const std::vector<uint8_t> header(bytes + 14, bytes + 54);
  const std::vector<uint8_t> pixels(bytes + 54, bytes + plain.Size());
  for (uint32_t headerSize : {40u, 124u}) {
    for (uint32_t gap : {0u, 10u}) {
      if (headerSize == 40 && gap == 0) continue;
      std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
      const uint32_t offset = 14 + headerSize + gap;
      for (int i = 0; i < 4; ++i) file.push_back(uint8_t(offset >> (8 * i)));
      std::vector<uint8_t> info = header;
      info[0] = uint8_t(headerSize);
      info.resize(headerSize, 0);
      file.insert(file.end(), info.begin(), info.end());
      file.resize(file.size() + gap, 0xEE);
      file.insert(file.end(), pixels.begin(), pixels.end());
      TMemoryStream stream;
      stream.WriteBuffer(file.data(), file.size());
      stream.SetPosition(0);
      TBitmap32 back;
      back.LoadFromStream(stream);
      EXPECT_EQ(Pixels(back), pattern) << headerSize << " " << gap;
    }
  }
}

TEST_F(BitmapGdi, PlatformBitmapsAreExchangedExactly) {
  TBitmap32 bitmap;
  bitmap.SetSize(6, 4);
  const std::vector<uint32_t> pattern = AlphaPattern(6, 4);
  Fill(bitmap, pattern);
  bitmap.Font().SetName(u"Courier New");
  TBitmap platform;
  bitmap.AssignTo(platform);
  EXPECT_EQ(platform.Width(), 6);
  EXPECT_EQ(platform.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(platform.Canvas().Font().Name(), u"Courier New");
  TBitmap32 back;
  back.Assign(platform);
  EXPECT_EQ(Pixels(back), pattern);

  TBitmap rgb(3, 1, TPixelFormat::pf24bit);
  uint8_t* row = static_cast<uint8_t*>(rgb.ScanLine(0));
  const uint8_t bytes[] = {0x10, 0x20, 0x30, 0, 0, 0, 0xFF, 0xFF, 0xFF};
  std::copy(bytes, bytes + 9, row);
  back.Assign(rgb);
  EXPECT_EQ(Pixels(back), (std::vector<TColor32>{0xFF302010, 0xFF000000, 0xFFFFFFFF}));
  rgb.SetTransparentColor(clBlack);
  rgb.SetTransparent(true);
  back.Assign(rgb);
  EXPECT_EQ(Pixels(back), (std::vector<TColor32>{0xFF302010, 0x00000000, 0xFFFFFFFF}));
}

TEST_F(BitmapGdi, ClipboardCarriesTheBitmap) {
  TClipboard clipboard;
  TBitmap32 bitmap;
  bitmap.SetSize(5, 3);
  const std::vector<uint32_t> pattern = SmoothOpaquePattern(5, 3);
  Fill(bitmap, pattern);
  bitmap.AssignToClipboard(clipboard);
  TBitmap32 back;
  ASSERT_TRUE(back.AssignFromClipboard(clipboard));
  EXPECT_EQ(Pixels(back), pattern);
}

// A 4 x 4 icon from a 24-bit grey bitmap and a mask that leaves the left half transparent.
void MakeHalfMaskedIcon(TIcon& AIcon) {
  TBitmap colour(4, 4, TPixelFormat::pf24bit);
  for (int y = 0; y < 4; ++y) {
    uint8_t* row = static_cast<uint8_t*>(colour.ScanLine(y));
    for (int x = 0; x < 12; ++x) row[x] = 0x40;
  }
  const uint16_t maskBits[4] = {0xC0, 0xC0, 0xC0, 0xC0};  // one word a row: the left two pixels set
  const HBITMAP mask = CreateBitmap(4, 4, 1, 1, maskBits);
  ICONINFO info = {TRUE, 0, 0, mask, colour.Handle()};
  AIcon.SetHandle(CreateIconIndirect(&info));
  DeleteObject(mask);
}

TEST_F(BitmapGdi, IconWithoutAlphaBecomesOpaqueWhereItDraws) {
  TIcon icon;
  MakeHalfMaskedIcon(icon);
  ASSERT_FALSE(icon.Empty());
  TBitmap32 bitmap;
  bitmap.Assign(icon);
  ASSERT_EQ(bitmap.Width(), 4);
  EXPECT_EQ(bitmap.Pixel(0, 0) >> 24, 0u);
  EXPECT_EQ(bitmap.Pixel(3, 0), 0xFF404040u);
  EXPECT_EQ(bitmap.Pixel(2, 3), 0xFF404040u);
}

TEST_F(BitmapGdi, FilesOtherThanBmpLoadThroughThePictureTheirExtensionNames) {
  const std::u16string folder = GetTempFolder();
  TIcon icon;
  MakeHalfMaskedIcon(icon);
  const std::u16string iconFile = folder + u"qb-picture.ICO";
  icon.SaveToFile(iconFile);
  TBitmap32 bitmap;
  bitmap.LoadFromFile(iconFile);
  ASSERT_EQ(bitmap.Width(), 4);
  ASSERT_EQ(bitmap.Height(), 4);
  EXPECT_EQ(bitmap.Pixel(0, 0) >> 24, 0u);
  EXPECT_EQ(bitmap.Pixel(3, 0), 0xFF404040u);

  // A BMP is read as one whatever its name.
  TBitmap32 source;
  source.SetSize(3, 2);
  const std::vector<uint32_t> pattern = AlphaPattern(3, 2);
  Fill(source, pattern);
  const std::u16string bmpAsIcon = folder + u"qb-bitmap.ico";
  source.SaveToFile(bmpAsIcon);
  bitmap.LoadFromFile(bmpAsIcon);
  EXPECT_EQ(Pixels(bitmap), pattern);

  // An extension no picture class reads.
  const std::u16string unknown = folder + u"qb-picture.xyz";
  icon.SaveToFile(unknown);
  EXPECT_THROW(bitmap.LoadFromFile(unknown), EInvalidGraphic);
  for (const std::u16string& name : {iconFile, bmpAsIcon, unknown}) DeleteFileW(WStr(name));
}

// A backend that holds pixels on the heap and offers a canvas only.
class TCanvasOnlyBackend : public THeapBackend, public ICanvasSupport {
 public:
  static const TClassInfo<TCustomBackend, TCustomBitmap32*> ClassInfo;
  using THeapBackend::THeapBackend;
  TNotifyEvent OnCanvasChange() const override { return {}; }
  void SetOnCanvasChange(TNotifyEvent) override {}
  TCanvas& Canvas() override { return FCanvas; }
  void DeleteCanvas() override {}
  bool CanvasAllocated() const override { return true; }

 private:
  TCanvas FCanvas;
};

const TClassInfo<TCustomBackend, TCustomBitmap32*> TCanvasOnlyBackend::ClassInfo{
    u"TCanvasOnlyBackend", &THeapBackend::ClassInfo,
    &ClassFactory<TCanvasOnlyBackend, TCustomBackend, TCustomBitmap32*>};

TEST_F(BitmapGdi, RequirementsSwitchBackendsOnlyWhenUnmet) {
  TBitmap32 gdi;
  TCustomBackend* released = nullptr;
  RequireBackendInterfaces(gdi, {Offers<IDeviceContextSupport>}, TRequireMode::rmAny, false, released);
  EXPECT_EQ(released, nullptr);
  RequireBackendInterfaces(gdi, {Offers<IDeviceContextSupport>, Offers<ICanvasSupport>}, TRequireMode::rmAll, true,
                           released);
  EXPECT_EQ(released, nullptr);

  TCustomBitmap32 canvasOnly(&TCanvasOnlyBackend::ClassInfo);
  RequireBackendInterfaces(canvasOnly, {Offers<IDeviceContextSupport>, Offers<ICanvasSupport>}, TRequireMode::rmAny,
                           true, released);
  EXPECT_EQ(released, nullptr);
  RequireBackendInterfaces(canvasOnly, {}, TRequireMode::rmAny, false, released);
  ASSERT_NE(released, nullptr);  // an empty list is never met
  ReinstateBackend(canvasOnly, released);

  TCustomBitmap32 heap;
  heap.SetSize(3, 2);
  const std::vector<uint32_t> pattern = AlphaPattern(3, 2);
  Fill(heap, pattern);
  TCustomBackend* original = heap.Backend();
  RequireBackendInterfaces(heap, {Offers<IDeviceContextSupport>}, TRequireMode::rmAny, false, released);
  ASSERT_EQ(released, original);
  EXPECT_NE(BackendAs<IDeviceContextSupport>(heap.Backend()), nullptr);
  EXPECT_EQ(Pixels(heap), pattern);
  ReinstateBackend(heap, released);
  EXPECT_EQ(heap.Backend(), original);
  EXPECT_EQ(Pixels(heap), pattern);

  RequireBackendInterfaces(heap, {Offers<IDeviceContextSupport>}, TRequireMode::rmAny, true, released);
  EXPECT_TRUE(heap.Empty());
  ReinstateBackend(heap, released);
  EXPECT_EQ(heap.Backend(), original);
}

}  // namespace
