#include "graphics/pixels/pxTextGDI.h"

#include <memory>

#include "framework/fwBitmaps.h"

namespace {

std::unique_ptr<TBitmap> MeasuringBitmap;

}  // namespace

SIZE MeasureTextOnSharedContext(HFONT AFont, std::u16string_view AText) {
  SIZE size = {};
  if (!MeasuringBitmap) throw EProgrammingError(u"Text is measured before the graphics library has started");
  TCanvas& canvas = MeasuringBitmap->Canvas();
  canvas.Lock();
  const HDC dc = canvas.Handle();
  const HGDIOBJ old = SelectObject(dc, AFont);
  GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(AText.data()), static_cast<int>(AText.size()), &size);
  SelectObject(dc, old);
  canvas.Unlock();
  return size;
}

void InitializeTextGDI() {
  if (!MeasuringBitmap) MeasuringBitmap = std::make_unique<TBitmap>(8, 8, TPixelFormat::pf32bit);
}

void FinalizeTextGDI() { MeasuringBitmap.reset(); }
