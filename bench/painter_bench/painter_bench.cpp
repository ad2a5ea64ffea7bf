// painter_bench [buttons] [runs]: the styled painter measuring and painting palette-style buttons (nine-zone bitmap
// background, a 16 x 16 image, a caption and a drop-down sign, all hot) into a 32-bit DIB, beside bare GDI drawing
// the same rectangles (FillRect, ImageList_Draw, DrawTextW) into another in the same run. Each figure is the median
// of the runs, in microseconds per button; the painter should stay within five times bare GDI.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchTiming.h"
#include "controls/baStyledPainter.h"
#include "framework/fwApplication.h"
#include "framework/fwBitmaps.h"
#include "framework/fwImageList.h"
#include "framework/fwScreen.h"
#include "framework/fwThemes.h"
#include "foundation/cuWin32.h"

namespace {

constexpr int Columns = 10;
constexpr int CellWidth = 120;
constexpr int CellHeight = 24;
constexpr double Floor = 5.0;

class TBenchClient : public TControlPainterClient {
 public:
  explicit TBenchClient(TPainter* APainter) { SetPainter(APainter); }
  void Changed(TPainterChanges) override {}
  TSignAt GetSignAt(TSignPlace APlace) const override { return APlace == spRight ? saArrowDown : saNone; }
  TColor GetColor() const override { return clBtnFace; }
};

// A hot-zone picture like the palette's: a dark frame around a light gradient.
void FillZoneBitmap(TBitmap& ABitmap) {
  for (int y = 0; y < ABitmap.Height(); ++y) {
    auto* row = static_cast<uint8_t*>(ABitmap.ScanLine(y));
    for (int x = 0; x < ABitmap.Width(); ++x, row += 3) {
      const bool frame = x == 0 || y == 0 || x == ABitmap.Width() - 1 || y == ABitmap.Height() - 1;
      const auto shade = static_cast<uint8_t>(frame ? 120 : 250 - 3 * y);
      row[0] = shade, row[1] = shade, row[2] = static_cast<uint8_t>(frame ? 140 : 255);
    }
  }
}

// Eight 16 x 16 images with alpha: coloured discs on a transparent field.
void FillImages(TImageList& AList) {
  TBitmap strip(16 * 8, 16, TPixelFormat::pf32bit);
  for (int y = 0; y < 16; ++y) {
    auto* row = static_cast<uint32_t*>(strip.ScanLine(y));
    for (int x = 0; x < 16 * 8; ++x) {
      const int dx = x % 16 - 8, dy = y - 8;
      const uint32_t colour = 0x203040u * static_cast<uint32_t>(x / 16 + 1);
      row[x] = dx * dx + dy * dy < 49 ? 0xFF000000u | (colour & 0xFFFFFF) : 0;
    }
  }
  AList.Add(strip);
}

RECT Cell(int AIndex, int AWidth) {
  const int x = AIndex % Columns * CellWidth, y = AIndex / Columns * CellHeight;
  return RECT{x, y, x + AWidth, y + CellHeight - 2};
}

}  // namespace

int main(int argc, char** argv) {
  const int buttons = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
  StartApplication();
  StartScreen();
  StartThemeServices();
  {
    TBitmap zone(24, 22);
    FillZoneBitmap(zone);
    std::unique_ptr<TPushStyler, TComponentDeleter> styler(New<TPushStyler>(nullptr));
    styler->SetOptions(soChevronArrows | soLargeSigns);
    styler->Styles().Adapt().SetFillKind(fkClear);
    SetZoneBitmap(styler->Styles().Hot(), zone, TMargins(3));
    std::unique_ptr<TImageList, TComponentDeleter> images(New<TImageList>(nullptr, 16, 16));
    FillImages(*images);
    std::unique_ptr<TStyledPainter, TComponentDeleter> painter(New<TStyledPainter>(nullptr));
    painter->SetStyler(styler.get());
    painter->SetImages(images.get());
    painter->SetAlignKind(akBegin);
    painter->Padding().SetBounds(3, 2, 6, 2);
    painter->SetSignsSpacing(10);

    std::vector<std::unique_ptr<TBenchClient>> clients;
    for (int i = 0; i < buttons; ++i) {
      auto client = std::make_unique<TBenchClient>(painter.get());
      client->SetCaption(u"Element " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)));
      client->SetImageIndex(i % 8);
      client->SetHot(true);
      clients.push_back(std::move(client));
    }

    const int width = Columns * CellWidth, height = (buttons + Columns - 1) / Columns * CellHeight;
    TBitmap styled(width, height, TPixelFormat::pf32bit);
    TCanvas& canvas = styled.Canvas();
    std::vector<int> widths(static_cast<size_t>(buttons));
    const double painterUs = MedianMs(runs,
                                      [&] {
                                        for (int i = 0; i < buttons; ++i) {
                                          SIZE size{};
                                          painter->Measure(*clients[i], canvas, size, 0);
                                          widths[i] = std::min<int>(size.cx, CellWidth - 2);
                                          painter->Paint(*clients[i], canvas, Cell(i, widths[i]));
                                        }
                                      }) *
                             1000 / buttons;

    // Bare GDI: the same rectangles, font, images and captions on a DIB of its own.
    TBitmap bare(width, height, TPixelFormat::pf32bit);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, bare.Handle());
    const LOGFONTW logFont = styler->Font().LogFont();
    HFONT font = CreateFontIndirectW(&logFont);
    HGDIOBJ oldFont = SelectObject(dc, font);
    HBRUSH brush = CreateSolidBrush(RGB(250, 230, 255));
    SetBkMode(dc, TRANSPARENT);
    const double bareUs =
        MedianMs(runs,
                 [&] {
                   for (int i = 0; i < buttons; ++i) {
                     RECT r = Cell(i, widths[i]);
                     FillRect(dc, &r, brush);
                     ImageList_Draw(images->Handle(), i % 8, dc, r.left + 3, r.top + 3, ILD_TRANSPARENT);
                     RECT text{r.left + 23, r.top + 4, r.right - 16, r.bottom};
                     const std::u16string caption = clients[i]->GetCaption();
                     DrawTextW(dc, reinterpret_cast<const wchar_t*>(caption.c_str()), static_cast<int>(caption.size()),
                               &text, DT_NOCLIP | DT_EXPANDTABS);
                   }
                 }) *
        1000 / buttons;
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(brush);
    DeleteDC(dc);

    std::printf(
        "%d palette buttons (nine-zone hot background, 16 x 16 image, caption, drop-down sign), median of %d "
        "runs\n\n",
        buttons, runs);
    std::printf("%-31s %10.2f us/button\n", "styled painter (measure+paint)", painterUs);
    std::printf("%-31s %10.2f us/button\n", "bare GDI", bareUs);
    std::printf("%-31s %10.2fx (floor %.0fx: %s)\n", "ratio", painterUs / bareUs, Floor,
                painterUs / bareUs <= Floor ? "met" : "missed");
    clients.clear();
  }
  EndThemeServices();
  EndScreen();
  EndApplication();
  return 0;
}
