// The advance widths of one logical font's characters, each measured by GDI once, so that text is measured by
// adding them up instead of asking GDI for every run again.
#pragma once

#include "foundation/cuWin32.h"

#include <array>
#include <cstdint>
#include <memory>

// GDI's extent of a run of characters that need no shaping is the sum of the extents of its single characters: it
// applies no kerning pairs there, and a character the font lacks comes from a fallback font on its own. The table
// answers with that sum; a run that holds a character outside that set (surrogates, combining marks, scripts that
// shape, format controls) is measured by GDI as a whole, and so is every run of a font whose extents do not add up
// (an overhang added once per run, or kerning that GDI applies after all).
class TFontAdvances {
 public:
  // Makes its own font of AFont; raises EOSError.
  explicit TFontAdvances(const LOGFONTW& AFont);
  ~TFontAdvances();
  TFontAdvances(const TFontAdvances&) = delete;
  TFontAdvances& operator=(const TFontAdvances&) = delete;

  // AText's extent on ADC as GetTextExtentPoint32W gives it with the font selected; ALength > 0.
  SIZE TextExtent(HDC ADC, const char16_t* AText, int ALength);

 private:
  // Slot values besides advances: not measured yet, and a character whose runs GDI measures whole.
  static constexpr int32_t Unmeasured = -1;
  static constexpr int32_t Shaped = -2;
  using TPage = std::array<int32_t, 256>;

  // Whether runs of kerning pairs measure as the sums of their characters; notes the height GDI gives every run.
  bool ProbeAdds(HDC ADC);
  SIZE GdiExtent(HDC ADC, const char16_t* AText, int ALength);
  int32_t& Slot(char16_t AChar);

  HFONT FFont = nullptr;
  // Checked when the first run is measured: 0 not yet, 1 the extents add up, -1 they do not.
  int FAdds = 0;
  int32_t FHeight = 0;
  std::array<std::unique_ptr<TPage>, 256> FPages;
};
