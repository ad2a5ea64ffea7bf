// The Windows half of the text attributes: rich paragraphs and rich text runs drawn with GDI fonts.
#pragma once

#include "document/model/diTextorAttributes.h"
#include "foundation/cuWin32.h"

#include <cstdint>
#include <string>

class TRichParagraphAttributes : public TParagraphAttributes {
 public:
  static const TClassInfo<TAttributes> ClassInfo;
  TAttributesClass ClassRef() const override { return &ClassInfo; }

  TColor32 BackColor = 0x1FFFFFFF;
  int32_t FirstLineIndent = 0;
  int32_t LeftIndent = 0;
  int32_t MarkerIndent = 0;
  bool HasMarker = false;
  int32_t RightIndent = 0;
  int32_t SpaceBefore = 0;
  int32_t SpaceAfter = 0;

  void Assign(const TAttributes& ASource) override;
  bool IsEqual(const TAttributes& AOther) const override;

  void PaintBackground(TCustomSheetCanvas& ACanvas, const TRect& ARect) override;
  int GetFirstLineIndent() override { return FirstLineIndent; }
  int GetLeftIndent(int AMarkerWidth) override { return LeftIndent + (HasMarker ? AMarkerWidth : 0); }
  int GetRightIndent() override { return RightIndent; }
};

// Rich text: a GDI font made through the device-context manager, measured once per pooled instance.
class TRichTextAttributes : public TTextAttributes {
 public:
  static const TClassInfo<TAttributes> ClassInfo;
  TAttributesClass ClassRef() const override { return &ClassInfo; }

  TRichTextAttributes();
  ~TRichTextAttributes() override;

  TColor32 BackColor() const { return FBackColor; }
  const std::u16string& FontName() const { return FFontName; }
  uint8_t Charset() const { return FCharset; }
  TColor32 TextColor() const { return FTextColor; }
  uint8_t Pitch() const { return FPitch; }
  int FontSize() const { return FFontSize; }
  uint8_t Style() const { return FStyle; }

  // Each drops the font and its metrics when the value changes.
  void SetBackColor(TColor32 AValue);
  void SetFontName(std::u16string AValue);
  void SetFontSize(int AValue);
  void SetStyle(uint8_t AValue);
  void SetColor(TColor32 AValue);
  void SetCharset(uint8_t AValue);

  void Assign(const TAttributes& ASource) override;
  bool IsEqual(const TAttributes& AOther) const override;

  int GetAscent() override;
  int GetDescent() override;
  int GetTabWidth() override;
  int TextWidth(const char16_t* AText, int ALength) override;
  void PaintBackground(TCustomSheetCanvas& ACanvas, uint32_t AFlags, const TRect& ARect) override;
  void PaintBlank(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int AWidth, int X, const TRect& ARect) override;
  void TextOut(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int& X, const char16_t* AText, int ALength,
               const TRect& ARect) override;

  HFONT Font();

 private:
  // Stores AValue inside a change bracket, dropping the font and its metrics when it changed.
  template <class T>
  void ChangeFontValue(T& AField, T AValue);
  void DropFont();
  void Measure();
  void PaintSelection(TCustomSheetCanvas& ACanvas, uint32_t AFlags, const TRect& ARect);

  TColor32 FBackColor = 0x1FFFFFFF;
  std::u16string FFontName = u"Tahoma";
  uint8_t FCharset = DEFAULT_CHARSET;
  TColor32 FTextColor;
  uint8_t FPitch = 0;
  int FFontSize = 8;
  uint8_t FStyle = 0;
  int FAscent = -1;
  int FDescent = -1;
  int FTabWidth = 0;
  HFONT FFont = nullptr;
};
