// The editor's and the printer's settings nodes, and the sheet canvas elements draw on: one 32-bit bitmap per
// paint of a rectangle, copied to the window at the end, with the theme's pictures and the sheet fonts.
#pragma once

#include "document/model/diTextorAttributesWin.h"
#include "document/model/diThemes.h"
#include "foundation/cuProps.h"
#include "foundation/cuWin32.h"
#include "graphics/pixels/pxTypes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class TBitmap32;
class TSchemeImages;

// The font sizes of the settings, as their indexes.
enum : int { fsNormal = 0, fsLarge = 1, fsGreat = 2 };

// "Sheet": the editor view's settings. Owns the theme and the shared text attributes of the theme's fonts 1 to 4,
// both made on first use and made again after a change of "Theme" or "FontSize".
class TSheetSettings : public TProperty {
 public:
  explicit TSheetSettings(TProperty* AParent, std::u16string AName = u"Sheet");
  ~TSheetSettings() override;

  TStringProperty* Theme;
  TEnumProperty* FontSize;  // "", "Large", "Great"
  TBooleanProperty* NonPrintingCharacters;
  TIntegerProperty* CaretSize;  // 1..20
  TBooleanProperty* FocusNew;
  TBooleanProperty* DropDownOnFocusNew;
  TBooleanProperty* IncreaseWorkspaceHeight;

  // Loaded by name (a theme that cannot be read falls back to the built-in one) and scaled by the font size.
  // Inline, the name's store count standing for the name: a layout asks for it several times per element.
  TSheetTheme& GetTheme() {
    if (FTheme && FThemeStores == Theme->Stores() && FThemeScale == std::clamp(FontSize->Value(), 0, 2))
      return *FTheme;
    return RefreshTheme();
  }
  // The reason the named theme could not be used at the last load; empty when it was.
  const std::u16string& ThemeProblem() const { return FThemeProblem; }
  // Shared rich text attributes of theme font AFont (tfCodeFont .. tfCommentFont). Inline once they are made: a
  // layout asks for them for every text it lays out.
  TRichTextAttributes* GetTextAttributes(int AFont) {
    TSheetTheme& theme = GetTheme();
    const size_t slot = static_cast<size_t>(AFont - tfCodeFont);
    if (slot < FAttributes.size() && FAttributes[slot]) return FAttributes[slot].get();
    return MakeTextAttributes(AFont, theme);
  }
  // AValue x 140 / 100 for "Large", x 180 / 100 for "Great".
  int ScaleValue(int AValue) const;

  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;

 private:
  void DropAttributes();
  TRichTextAttributes* MakeTextAttributes(int AFont, TSheetTheme& ATheme);
  // Loads or rescales the theme after the settings changed (also when they were loaded, without a message).
  TSheetTheme& RefreshTheme();

  std::unique_ptr<TSheetTheme> FTheme;
  std::u16string FThemeName;
  uint32_t FThemeStores = 0;  // the name's store count when the theme was last checked against it
  int FThemeScale = -1;
  std::u16string FThemeProblem;
  std::array<TAttributesRef<TRichTextAttributes>, 4> FAttributes;
};

// "Print": the printing counterpart.
class TPrintSettings : public TProperty {
 public:
  explicit TPrintSettings(TProperty* AParent, std::u16string AName = u"Print");
  TStringProperty* Theme;
  TEnumProperty* FontSize;
  TIntegerProperty* Scale;  // 1..500
};

// Font kinds selected on a bitmap.
enum : int { ckNone = 0, ckElement = 1, ckCode = 2, ckFixed = 3 };

class TCustomSheetCanvas : public TObject {
 public:
  explicit TCustomSheetCanvas(TSheetSettings* ASettings);
  ~TCustomSheetCanvas() override;

  TSheetSettings* Settings() const { return FSettings; }
  TSheetTheme& Theme() const { return FSettings->GetTheme(); }

  // A new bitmap for ARect (none for an empty rectangle), cleared with the window colour; sheet coordinates
  // apply until EndPaint copies it to ADC at ARect's top-left.
  void BeginPaint(HDC ADC, const TRect& ARect);
  void EndPaint(HDC ADC);
  bool Painting() const { return FBitmap != nullptr; }
  TBitmap32* Bitmap() const { return FBitmap.get(); }
  const TRect& PaintRect() const { return FPaintRect; }
  // Moves the origin of the current coordinates (element painting).
  void MoveOrigin(int DX, int DY);
  // Whether ARect, in current coordinates, meets the bitmap's clip rectangle.
  bool MeetsClip(const TRect& ARect) const;
  // The bitmap's clip rectangle in current coordinates; everything while not painting.
  TRect ClipRect() const;
  HDC GetHandle() const;

  // Theme pictures.
  void DrawThemeElement(int AIndex, const TRect& ARect, TColor32 ATint = 0);
  void DrawThemeIcon(int AIndex, int X, int Y, TColor32 ATint = 0);
  // Inline: a layout asks for them several times for every element.
  TRect GetThemeMargins(int AIndex) const { return Theme().GetElement(AIndex).Margins(); }
  TRect GetThemePadding(int AIndex) const { return Theme().GetElement(AIndex).Padding(); }
  SIZE GetThemeImageSize(int AIndex) const;
  void PaintDisabledVeil(const TRect& ARect);
  void FillSelection(const TRect& ARect, bool AActive);
  // AColor blended over ARect.
  void FillRect(const TRect& ARect, TColor32 AColor);

  // Image AIndex of an element image list with its top-left corner at (X, Y).
  void DrawImage(const TSchemeImages& AImages, int AIndex, int X, int Y);

  // Text in the fixed font, in AColor.
  void TextOut(int X, int Y, const std::u16string& AText, TColor32 AColor);
  // Text in the element font: first in its second colour one pixel right and down when it has one.
  void ElementTextOut(int X, int Y, const std::u16string& AText);
  // Text with its top at (X, Y) in AFont, transparent, in AColor.
  void DrawText(int X, int Y, const std::u16string& AText, HFONT AFont, TColor32 AColor);
  // Element-font widths through the cache; each text is measured once until ResetCaches.
  int TextWidth(const std::u16string& AText);
  // Widths and heights in one of the three sheet fonts, as the device-context manager measures them.
  SIZE TextExtent(int AKind, const std::u16string& AText);
  // The ascent of one of the three sheet fonts: where a line of it has its baseline, from its top.
  int TextAscent(int AKind);
  int DigitWidth(int AKind) const { return FDigitWidths.at(AKind - 1); }
  int MeasureCount() const { return FMeasureCount; }

  // With ARadius a rounded rectangle through GDI, else a one-pixel frame and an inner fill on the bitmap;
  // clNone32 leaves that part out.
  void FillFrame(const TRect& ARect, int ARadius, TColor32 AFill, TColor32 AFrame);
  void DrawButtonFocus(const TRect& ARect);
  // Two dotted frames, the second one pixel inside.
  void DrawDataFocus(const TRect& ARect);

  // Empties the width cache, forgets the fonts and measures "0" in the three sheet fonts.
  void ResetCaches();

 private:
  HFONT KindFont(int AKind);
  void SelectKind(HDC ADC, int& ASelected, int AKind);
  TRect ToBitmap(const TRect& ARect) const;
  void DropFonts();

  TSheetSettings* FSettings;
  std::unique_ptr<TBitmap32> FBitmap;
  TRect FPaintRect;
  POINT FOrigin{0, 0};
  std::unique_ptr<TBitmap32> FMeasure;
  int FPaintFont = ckNone;
  // The three sheet fonts as pooled rich text attributes, whose fonts are made through the device-context manager.
  std::array<TAttributesRef<TRichTextAttributes>, 3> FFonts;
  std::array<int, 3> FDigitWidths{};
  std::unordered_map<std::u16string, int> FWidths;
  int FMeasureCount = 0;
};

class TSheetCanvas : public TCustomSheetCanvas {
 public:
  using TCustomSheetCanvas::TCustomSheetCanvas;
};
