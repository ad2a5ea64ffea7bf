#include "document/model/diTextorAttributesWin.h"

#include "document/model/diCanvas.h"
#include "document/model/diThemes.h"
#include "foundation/cuDeviceContextManager.h"
#include "graphics/pixels/pxBitmap.h"

#include <algorithm>
#include <utility>

const TClassInfo<TAttributes> TRichParagraphAttributes::ClassInfo{u"TRichParagraphAttributes",
                                                                  &TParagraphAttributes::ClassInfo,
                                                                  &ClassFactory<TRichParagraphAttributes, TAttributes>};
const TClassInfo<TAttributes> TRichTextAttributes::ClassInfo{u"TRichTextAttributes", &TTextAttributes::ClassInfo,
                                                             &ClassFactory<TRichTextAttributes, TAttributes>};

void TRichParagraphAttributes::Assign(const TAttributes& ASource) {
  TParagraphAttributes::Assign(ASource);
  if (auto* s = dynamic_cast<const TRichParagraphAttributes*>(&ASource)) {
    BackColor = s->BackColor;
    FirstLineIndent = s->FirstLineIndent;
    LeftIndent = s->LeftIndent;
    MarkerIndent = s->MarkerIndent;
    HasMarker = s->HasMarker;
    RightIndent = s->RightIndent;
    SpaceBefore = s->SpaceBefore;
    SpaceAfter = s->SpaceAfter;
  }
}

bool TRichParagraphAttributes::IsEqual(const TAttributes& AOther) const {
  if (!TParagraphAttributes::IsEqual(AOther)) return false;
  auto& o = static_cast<const TRichParagraphAttributes&>(AOther);
  return BackColor == o.BackColor && FirstLineIndent == o.FirstLineIndent && LeftIndent == o.LeftIndent &&
         MarkerIndent == o.MarkerIndent && HasMarker == o.HasMarker && RightIndent == o.RightIndent &&
         SpaceBefore == o.SpaceBefore && SpaceAfter == o.SpaceAfter;
}

void TRichParagraphAttributes::PaintBackground(TCustomSheetCanvas& ACanvas, const TRect& ARect) {
  if (BackColor != clNone32) ACanvas.FillRect(ARect, BackColor);
}

TRichTextAttributes::TRichTextAttributes() : FTextColor(Color32(GetSysColor(COLOR_WINDOWTEXT))) {}

TRichTextAttributes::~TRichTextAttributes() { DropFont(); }

void TRichTextAttributes::DropFont() {
  if (FFont && DeviceContextManager) DeviceContextManager->DeleteFont(FFont);
  FFont = nullptr;
  FAscent = FDescent = -1;
}

void TRichTextAttributes::SetBackColor(TColor32 AValue) {
  BeginChange();
  FBackColor = AValue;
  EndChange();
}

template <class T>
void TRichTextAttributes::ChangeFontValue(T& AField, T AValue) {
  BeginChange();
  if (AValue != AField) {
    AField = std::move(AValue);
    DropFont();
  }
  EndChange();
}

void TRichTextAttributes::SetFontName(std::u16string AValue) { ChangeFontValue(FFontName, std::move(AValue)); }

void TRichTextAttributes::SetFontSize(int AValue) { ChangeFontValue(FFontSize, AValue); }

void TRichTextAttributes::SetStyle(uint8_t AValue) { ChangeFontValue(FStyle, AValue); }

void TRichTextAttributes::SetColor(TColor32 AValue) {
  BeginChange();
  FTextColor = AValue;
  EndChange();
}

void TRichTextAttributes::SetCharset(uint8_t AValue) { ChangeFontValue(FCharset, AValue); }

void TRichTextAttributes::Assign(const TAttributes& ASource) {
  TTextAttributes::Assign(ASource);
  if (auto* s = dynamic_cast<const TRichTextAttributes*>(&ASource)) {
    FBackColor = s->FBackColor;
    FTextColor = s->FTextColor;
    if (FFontName != s->FFontName || FCharset != s->FCharset || FPitch != s->FPitch || FFontSize != s->FFontSize ||
        FStyle != s->FStyle) {
      FFontName = s->FFontName;
      FCharset = s->FCharset;
      FPitch = s->FPitch;
      FFontSize = s->FFontSize;
      FStyle = s->FStyle;
      DropFont();
    }
  }
}

bool TRichTextAttributes::IsEqual(const TAttributes& AOther) const {
  if (!TTextAttributes::IsEqual(AOther)) return false;
  auto& o = static_cast<const TRichTextAttributes&>(AOther);
  return FBackColor == o.FBackColor && FFontName == o.FFontName && FCharset == o.FCharset &&
         FTextColor == o.FTextColor && FPitch == o.FPitch && FFontSize == o.FFontSize && FStyle == o.FStyle;
}

HFONT TRichTextAttributes::Font() {
  if (!FFont) {
    FFont =
        DeviceContextManager->CreateFont(FFontName, FFontSize, FStyle, FCharset, static_cast<TFontPitch>(FPitch), 0, 0);
  }
  return FFont;
}

void TRichTextAttributes::Measure() {
  if (FAscent >= 0) return;
  HDC dc = DeviceContextManager->DC();
  auto selection = DeviceContextManager->SelectFont(Font());
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  FAscent = tm.tmAscent;
  FDescent = tm.tmDescent;
  FTabWidth = 8 * tm.tmAveCharWidth;
}

int TRichTextAttributes::GetAscent() {
  Measure();
  return FAscent;
}

int TRichTextAttributes::GetDescent() {
  Measure();
  return FDescent;
}

int TRichTextAttributes::GetTabWidth() {
  Measure();
  return FTabWidth;
}

int TRichTextAttributes::TextWidth(const char16_t* AText, int ALength) {
  if (ALength <= 0) return 0;
  if (std::none_of(AText, AText + ALength, [](char16_t c) { return c < 32; }))
    return DeviceContextManager->TextWidth(Font(), AText, ALength);
  const std::u16string text = VisibleText(AText, ALength);
  return DeviceContextManager->TextWidth(Font(), text.data(), ALength);
}

void TRichTextAttributes::PaintSelection(TCustomSheetCanvas& ACanvas, uint32_t AFlags, const TRect& ARect) {
  if (AFlags & afSelected) ACanvas.FillSelection(ARect, !(AFlags & afInactive));
}

void TRichTextAttributes::PaintBackground(TCustomSheetCanvas& ACanvas, uint32_t AFlags, const TRect& ARect) {
  if (FBackColor != clNone32) ACanvas.FillRect(ARect, FBackColor);
}

void TRichTextAttributes::PaintBlank(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int AWidth, int X,
                                     const TRect& ARect) {
  PaintSelection(ACanvas, AFlags, TRect{X, ARect.Top, X + AWidth, ARect.Bottom});
}

void TRichTextAttributes::TextOut(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int& X, const char16_t* AText,
                                  int ALength, const TRect& ARect) {
  const int width = TextWidth(AText, ALength);
  if (ALength > 0) {
    const std::u16string text = VisibleText(AText, ALength);
    ACanvas.DrawText(X, ARect.Top, text, Font(), FTextColor);
  }
  PaintSelection(ACanvas, AFlags, TRect{X, ARect.Top, X + width, ARect.Bottom});
  X += width;
}
