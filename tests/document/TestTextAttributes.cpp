#include "TestTextAttributes.h"

#ifdef _WIN32
#include "document/model/diCanvas.h"
#endif

int TTestTextAttributes::TextWidth(const char16_t* AText, int ALength) {
  ++WidthCalls;
  MeasuredChars += ALength;
  return ALength * CharWidth;
}

void TTestTextAttributes::PaintBackground(TCustomSheetCanvas& ACanvas, uint32_t AFlags, const TRect& ARect) {
  Painted.push_back({TTestPaintCall::pcBackground, AFlags, ARect.Left, static_cast<int32_t>(ARect.Width()), ARect, {}});
}

void TTestTextAttributes::PaintBlank(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int AWidth, int X,
                                     const TRect& ARect) {
  Painted.push_back({TTestPaintCall::pcBlank, AFlags, X, AWidth, ARect, {}});
}

void TTestTextAttributes::TextOut(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int& X, const char16_t* AText,
                                  int ALength, const TRect& ARect) {
  const int width = ALength * CharWidth;
  Painted.push_back({TTestPaintCall::pcText, AFlags, X, width, ARect, std::u16string(AText, size_t(ALength))});
  X += width;
}

void TTestEmbeddedElement::SetEmbeddedBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight,
                                             int32_t ADescent) {
  Bounds = {ALeft, ATop, ALeft + AWidth, ATop + AHeight};
  Descent = ADescent;
}

void TTestEmbeddedElement::MoveEmbedded(int32_t ADX, int32_t ADY) {
  Bounds = {Bounds.Left + ADX, Bounds.Top + ADY, Bounds.Right + ADX, Bounds.Bottom + ADY};
}

void TTestEmbeddedElement::PaintEmbedded(TCustomSheetCanvas& ACanvas, int32_t AOriginX, int32_t AOriginY) {
  ++Paints;
  PaintOrigin = {AOriginX, AOriginY};
}

void TTestEmbeddedElement::FreeEmbedded() {
  if (FreedCount) ++*FreedCount;
  delete this;
}

void TTestTextor::FormatText(bool AChanged) {
  ++FormatTextCalls;
  LastFormatChanged = AChanged;
  TTextor::FormatText(AChanged);
}

void TTestTextor::FormatParagraph(TParagraph* AParagraph, int32_t AWrapWidth, const TRect& APadding,
                                  const TRect& AMargins) {
  ++FormatParagraphCalls;
  if (BeforeFormatParagraph) BeforeFormatParagraph(AParagraph);
  TTextor::FormatParagraph(AParagraph, AWrapWidth, APadding, AMargins);
}

#ifdef _WIN32
TCustomSheetCanvas& TestCanvas() {
  // Never drawn on, and left to the end of the process, after which nothing paints.
  static TSheetSettings* settings = new TSheetSettings(nullptr);
  static TCustomSheetCanvas* canvas = new TCustomSheetCanvas(settings);
  return *canvas;
}
#else
// The canvas exists only in the Windows build; painting on the host only hands it on to the attributes.
class TCustomSheetCanvas {};

TCustomSheetCanvas& TestCanvas() {
  static TCustomSheetCanvas canvas;
  return canvas;
}
#endif
