#include "foundation/cuFontAdvances.h"

#include "foundation/cuDeviceContextManager.h"
#include "foundation/cuSystem.h"

#include <algorithm>
#include <iterator>

namespace {

struct TCharRange {
  char16_t First, Last;
};

// The characters that GDI draws one by one without shaping or reordering, by block. Left out: the soft hyphen,
// combining marks, the right-to-left and Indic and South-East Asian scripts, zero-width and bidirectional format
// characters, surrogates, private use and the presentation forms that shape.
constexpr TCharRange AddingRanges[] = {
    {0x0020, 0x00AC}, {0x00AE, 0x02FF}, {0x0370, 0x0482}, {0x048A, 0x058F}, {0x10A0, 0x10FF},
    {0x1E00, 0x1FFF}, {0x2000, 0x200A}, {0x2010, 0x2027}, {0x2030, 0x205F}, {0x2070, 0x20CF},
    {0x2100, 0x2BFF}, {0x2E00, 0x2E7F}, {0x3000, 0x3029}, {0x3030, 0x3098}, {0x309B, 0x9FFF},
    {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFF01, 0xFFEF}, {0xFFFD, 0xFFFD},
};

bool Adds(char16_t AChar) {
  const auto* range = std::upper_bound(std::begin(AddingRanges), std::end(AddingRanges), AChar,
                                       [](char16_t c, const TCharRange& r) { return c < r.First; });
  return range != std::begin(AddingRanges) && AChar <= std::prev(range)->Last;
}

// Pairs that fonts commonly kern.
constexpr char16_t ProbeText[] = u"AVTo.WaYe,LTfiP.";

}  // namespace

TFontAdvances::TFontAdvances(const LOGFONTW& AFont) : FFont(CreateFontIndirectW(&AFont)) {
  if (!FFont) throw EOSError(u"Cannot create a font to measure", GetLastError());
}

TFontAdvances::~TFontAdvances() { DeleteObject(FFont); }

SIZE TFontAdvances::GdiExtent(HDC ADC, const char16_t* AText, int ALength) {
  TSelectObjectGuard selection(ADC, FFont);
  SIZE size{};
  GetTextExtentPoint32W(ADC, reinterpret_cast<const wchar_t*>(AText), ALength, &size);
  return size;
}

int32_t& TFontAdvances::Slot(char16_t AChar) {
  std::unique_ptr<TPage>& page = FPages[AChar >> 8];
  if (!page) {
    page = std::make_unique<TPage>();
    page->fill(Unmeasured);
  }
  return (*page)[AChar & 0xFF];
}

bool TFontAdvances::ProbeAdds(HDC ADC) {
  const int length = static_cast<int>(std::size(ProbeText)) - 1;
  const SIZE whole = GdiExtent(ADC, ProbeText, length);
  FHeight = whole.cy;
  bool adds = true;
  int sum = 0;
  for (int i = 0; i < length; ++i) {
    const SIZE size = GdiExtent(ADC, ProbeText + i, 1);
    sum += size.cx;
    adds = adds && size.cy == FHeight;
  }
  return adds && whole.cx == sum;
}

SIZE TFontAdvances::TextExtent(HDC ADC, const char16_t* AText, int ALength) {
  if (FAdds == 0) FAdds = ProbeAdds(ADC) ? 1 : -1;
  if (FAdds < 0) return GdiExtent(ADC, AText, ALength);
  SIZE size{0, FHeight};
  for (int i = 0; i < ALength; ++i) {
    int32_t& advance = Slot(AText[i]);
    if (advance == Unmeasured) advance = Adds(AText[i]) ? GdiExtent(ADC, AText + i, 1).cx : Shaped;
    if (advance == Shaped) return GdiExtent(ADC, AText, ALength);
    size.cx += advance;
  }
  return size;
}
