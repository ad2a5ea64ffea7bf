// The hint window of palette buttons: the item's name in bold with its shortcut beside it, the description
// indented below, on the themed tooltip background.
#pragma once

#include "foundation/cuWin32.h"
#include "framework/fwHints.h"

#include <string>
#include <vector>

// A palette hint cut into what is drawn apart: the first line up to its first "(" (bold), the rest of that line
// (the shortcut part), then the remaining lines.
struct TPaletteHintParts {
  std::u16string Title;
  std::u16string Shortcut;
  std::vector<std::u16string> Lines;
};
TPaletteHintParts SplitPaletteHint(const std::u16string& AHint);

// Lays the hint out in ARect on ADC with ABoldFont and ANormalFont (either may be selected on return): measures
// only with ACalculate, else draws. Answers the size the text takes, the other lines wrapped at AWidth - 8.
SIZE LayoutPaletteHint(HDC ADC, HFONT ABoldFont, HFONT ANormalFont, const RECT& ARect, const std::u16string& AHint,
                       bool ACalculate);

class TPaletteHintWindow : public THintWindow {
 public:
  explicit TPaletteHintWindow(TComponent* AOwner);

  RECT CalcHintRect(int AMaxWidth, const std::u16string& AHint, void* AData) override;

 protected:
  void Paint() override;
};
