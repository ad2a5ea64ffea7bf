#include "app/diPaletteHintWindow.h"

#include "framework/fwGraphics.h"
#include "framework/fwThemes.h"

#include <algorithm>

namespace {

constexpr UINT kTextFlags = DT_LEFT | DT_NOPREFIX | DT_SINGLELINE;
constexpr UINT kWrappedFlags = DT_LEFT | DT_NOPREFIX | DT_WORDBREAK;

SIZE TextSize(HDC ADC, HFONT AFont, const std::u16string& AText, UINT AFlags, int AWidth) {
  SelectObject(ADC, AFont);
  RECT r{0, 0, std::max(AWidth, 1), 0};
  DrawTextW(ADC, WStr(AText), static_cast<int>(AText.size()), &r, AFlags | DT_CALCRECT);
  return SIZE{r.right, r.bottom};
}

}  // namespace

TPaletteHintParts SplitPaletteHint(const std::u16string& AHint) {
  TPaletteHintParts parts;
  size_t start = 0;
  bool first = true;
  while (start <= AHint.size()) {
    size_t end = AHint.find(u"\r\n", start);
    const std::u16string line = AHint.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    if (first) {
      const size_t bracket = line.find(u'(');
      parts.Title = line.substr(0, bracket);
      if (bracket != std::u16string::npos) parts.Shortcut = line.substr(bracket);
      first = false;
    } else {
      parts.Lines.push_back(line);
    }
    if (end == std::u16string::npos) break;
    start = end + 2;
  }
  return parts;
}

SIZE LayoutPaletteHint(HDC ADC, HFONT ABoldFont, HFONT ANormalFont, const RECT& ARect, const std::u16string& AHint,
                       bool ACalculate) {
  const TPaletteHintParts parts = SplitPaletteHint(AHint);
  const int width = ARect.right - ARect.left;
  const SIZE title = TextSize(ADC, ABoldFont, parts.Title, kTextFlags, width);
  const SIZE shortcut = TextSize(ADC, ANormalFont, parts.Shortcut, kTextFlags, width);
  const int firstWidth = title.cx + shortcut.cx;
  const int firstHeight = std::max(title.cy, shortcut.cy);
  if (!ACalculate) {
    RECT r{ARect.left + 4, ARect.top + 2, ARect.right, ARect.top + 2 + firstHeight};
    SelectObject(ADC, ABoldFont);
    DrawTextW(ADC, WStr(parts.Title), static_cast<int>(parts.Title.size()), &r, kTextFlags);
    r.left += title.cx;
    SelectObject(ADC, ANormalFont);
    DrawTextW(ADC, WStr(parts.Shortcut), static_cast<int>(parts.Shortcut.size()), &r, kTextFlags);
  }
  int y = 2 + firstHeight + 4;
  int widest = 0;
  for (const std::u16string& line : parts.Lines) {
    const SIZE size = TextSize(ADC, ANormalFont, line, kWrappedFlags, width - 8);
    if (!ACalculate) {
      RECT r{ARect.left + 12, ARect.top + y, ARect.left + 12 + width - 8, ARect.top + y + size.cy};
      DrawTextW(ADC, WStr(line), static_cast<int>(line.size()), &r, kWrappedFlags);
    }
    widest = std::max<int>(widest, size.cx);
    y += size.cy + 5;
  }
  return SIZE{std::max(firstWidth + 4, parts.Lines.empty() ? 0 : widest + 20),
              parts.Lines.empty() ? 2 + firstHeight + 2 : y};
}

TPaletteHintWindow::TPaletteHintWindow(TComponent* AOwner) : THintWindow(AOwner) {}

RECT TPaletteHintWindow::CalcHintRect(int, const std::u16string& AHint, void*) {
  TFont bold;
  bold.Assign(&Font());
  bold.SetStyle(fsBold);
  HDC dc = Canvas().Handle();
  const int saved = SaveDC(dc);
  const RECT bounds{0, 0, GetSystemMetrics(SM_CXSCREEN) / 3, 0};
  const SIZE size = LayoutPaletteHint(dc, bold.Handle(), Font().Handle(), bounds, AHint, true);
  RestoreDC(dc, saved);
  return RECT{0, 0, size.cx + 2, size.cy};
}

void TPaletteHintWindow::Paint() {
  RECT r = ClientRect();
  HDC dc = Canvas().Handle();
  if (ThemeServices && ThemeServices->Enabled()) {
    RECT back = r;
    InflateRect(&back, 4, 4);
    ThemeServices->DrawElement(dc, GetElementDetails(TThemedToolTip::tttStandardNormal), back);
  }
  TFont bold;
  bold.Assign(&Font());
  bold.SetStyle(fsBold);
  const int saved = SaveDC(dc);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
  LayoutPaletteHint(dc, bold.Handle(), Font().Handle(), r, Caption(), false);
  RestoreDC(dc, saved);
}
