// Theme descriptions are untrusted files: read any bytes as a description against a small atlas, then draw every
// element at a few sizes and scales. Nothing may crash, hang or touch memory outside the bitmaps.
#include "document/model/diThemes.h"
#include "graphics/pixels/pxBitmap.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 2) return 0;
  // The first two bytes choose the atlas size, the rest is the description in UTF-8.
  const int w = AData[0] % 48, h = AData[1] % 48;
  auto atlas = std::make_unique<TCustomBitmap32>();
  atlas->SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) atlas->SetPixel(x, y, 0x80000000u | uint32_t(x * 5) << 16 | uint32_t(y * 5));
  const std::u16string text = Utf8ToUtf16(reinterpret_cast<const char*>(AData + 2), ASize - 2);

  TSheetTheme theme;
  theme.LoadFromText(text, std::move(atlas), [](std::u16string_view n) { return n.size() % 2 == 0; });
  TCustomBitmap32 dst;
  dst.SetSize(33, 21);
  for (int scale : {100, 180}) {
    theme.SetScale(scale / 50, scale);
    for (int i = 0; i < ThemeElementCount; ++i) {
      TSheetThemeElementData& e = theme.GetElement(i);
      e.Draw(&dst, TRect{-3, -2, 40, 25});
      e.Draw(&dst, TRect{5, 5, 7, 6});
      e.Draw(&dst, TRect{10, 3, 10 + w * 3, 3 + h * 2}, 0x80102030);
      e.DrawIcon(&dst, 30, 18);
    }
  }
  return 0;
}
