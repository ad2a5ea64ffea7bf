// Appearance themes: five fonts, a few colours and 35 nine-grid pictures cut out of one atlas, read from a knot
// description. Theme files are untrusted: every rectangle is clipped to the atlas and every zone to its cut.
#pragma once

#include "foundation/cuSystem.h"
#include "graphics/pixels/pxTypes.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class TCustomBitmap32;
class TElementMessages;
class TKnot;
class TSheetTheme;

// "No colour" in theme and attribute records.
constexpr TColor32 clNone32 = 0x1FFFFFFF;

// Font style bits (the same bits as the device-context manager's font styles).
enum : uint8_t { ftBold = 1, ftItalic = 2, ftUnderline = 4 };

// Fill modes of the nine-grid edges and centre.
enum : uint8_t { tfStretch = 0, tfTile = 1, tfEmpty = 2 };

enum : int {
  tfElementFont = 0,
  tfCodeFont = 1,
  tfFixedFont = 2,
  tfArtFont = 3,
  tfCommentFont = 4,
  ThemeFontCount = 5,
};

enum : int {
  teSheet = 0,
  teLine,
  teUnaccepted,
  teElement,
  teElementCommand,
  teElementTechnical,
  teElementExpression,
  teDescription,
  teCollapsed,
  teCollapsedData,
  teExpanded,
  teExpandedData,
  teField,
  teName,
  teNamePrivate,
  teNamePublic,
  teCheckBox,
  teCheckBoxChecked,
  teCheckBoxUnchecked,
  teContainer,
  teImageContainer,
  teSubstitution,
  teSubstitutionBegin,
  teSubstitutionContinue,
  teSubstitutionEnd,
  teComment,
  teError,
  teNeedValue,
  teReferenced,
  teFrameDot,
  teFrameSingle,
  teMark,
  teExternalEditingMode,
  teLogicFrame,
  teImageChess,
  ThemeElementCount
};

// The image entries: metrics of the 12-, 16- and 32-pixel element image lists.
enum : int { tiCharImages = 0, tiSmallImages = 1, tiLargeImages = 2, ThemeImageCount = 3 };

extern const std::array<const char16_t*, ThemeFontCount> ThemeFontNames;
extern const std::array<const char16_t*, ThemeElementCount> ThemeElementNames;
extern const std::array<const char16_t*, ThemeImageCount> ThemeImageNames;

// String identifier of the message that a theme could not be used.
constexpr int IdThemeNotUsable = 2337;

// Whether a font face is installed; the theme takes the first installed name of each font's list.
using TFontInstalledFunc = std::function<bool(std::u16string_view AName)>;

struct TSheetThemeFontData {
  std::u16string FontName;
  int FontSize = 8;
  int ScaledSize = 8;
  uint8_t FontStyle = 0;
  TColor32 FontColor = 0xFF000000;
  TColor32 SecondColor = clNone32;
};

struct TSheetThemeImageData {
  TRect Margins;
  TRect ScaledMargins;
};

class TSheetThemeElementData : public TObject {
 public:
  bool StretchH() const { return FStretchH; }
  bool StretchV() const { return FStretchV; }
  // In the atlas, right and bottom exclusive, always inside it.
  const TRect& Cut() const { return FCut; }
  TColor32 ColorOver() const { return FColorOver; }
  const TRect& MouseTransparent() const { return FMouseTransparent; }
  const TRect& Margins() const { return FScaledMargins; }
  const TRect& Padding() const { return FScaledPadding; }
  const TRect& Zone() const { return FZone; }
  const TRect& UnscaledMargins() const { return FMargins; }
  const TRect& UnscaledPadding() const { return FPadding; }
  const TRect& ScaledZone() const { return FScaledZone; }
  // Left, top, right and bottom edge, then the centre.
  uint8_t FillMode(int AIndex) const { return FFillModes[AIndex]; }
  int Width() const { return static_cast<int>(FCut.Width()); }
  int Height() const { return static_cast<int>(FCut.Height()); }

  // The cut image unscaled at (X, Y); a tint (given, or ColorOver) draws a tinted copy made once per colour.
  void DrawIcon(TCustomBitmap32* ADst, int32_t X, int32_t Y, TColor32 ATint = 0);
  // The nine-grid into ARect. An element that does not stretch one way keeps its cut's extent that way,
  // centred in ARect.
  void Draw(TCustomBitmap32* ADst, const TRect& ARect, TColor32 ATint = 0);
  // Whether drawn taller it draws the same rows above a line inside its middle and the same rows moved down below
  // it: it stretches that way and the rows of its middle are alike.
  bool EvenDown() const;

  // Tinted copies made so far (for tests of the cache).
  int TintCacheSize() const { return static_cast<int>(FTints.size()); }

 private:
  friend class TSheetTheme;
  void Reset(TSheetTheme* ATheme, int AIndex);
  void Load(TKnot* AKnot);
  void Scale(int APercent);
  TCustomBitmap32* Source(TColor32 ATint, TRect& ACut);

  TSheetTheme* FTheme = nullptr;
  bool FStretchH = true;
  bool FStretchV = true;
  TRect FCut;
  TColor32 FColorOver = 0;
  TRect FMouseTransparent, FMargins, FPadding, FZone;
  TRect FScaledMargins, FScaledPadding, FScaledZone;
  std::array<uint8_t, 5> FFillModes{};
  std::map<TColor32, std::unique_ptr<TCustomBitmap32>> FTints;
};

class TSheetTheme : public TObject {
 public:
  // The empty theme with the default colours and metrics.
  TSheetTheme();
  ~TSheetTheme() override;

  // Platform-free: the description (root "ThemeInfo") read against an atlas the theme takes over. Bad values are
  // limited or replaced by defaults; nothing raises.
  void LoadFromKnot(TKnot& AKnot, std::unique_ptr<TCustomBitmap32> AAtlas, const TFontInstalledFunc& AInstalled);
  void LoadFromText(std::u16string_view AText, std::unique_ptr<TCustomBitmap32> AAtlas,
                    const TFontInstalledFunc& AInstalled);

  const TSheetThemeFontData& GetFont(int AIndex) const { return FFonts.at(AIndex); }
  TSheetThemeElementData& GetElement(int AIndex) { return FElements.at(AIndex); }
  const TSheetThemeImageData& GetImage(int AIndex) const { return FImages.at(AIndex); }
  TCustomBitmap32* Atlas() const { return FAtlas.get(); }

  TColor32 DisableColor() const { return FDisableColor; }
  TColor32 SelectColor() const { return FSelectColor; }
  TColor32 SelectInactiveColor() const { return FSelectInactiveColor; }
  // Spacing used by titles and between table cells, and the margins of title texts; scaled.
  int SpacingX() const { return FScaledSpacingX; }
  int SpacingY() const { return FScaledSpacingY; }
  const TRect& TextMargins() const { return FScaledTextMargins; }

  // Every scaled font size = size + AFontDelta; margins, padding, zones, image margins, spacing and text margins
  // = value x APercent / 100. Always from the unscaled values.
  void SetScale(int AFontDelta, int APercent);
  int FontDelta() const { return FFontDelta; }
  int Percent() const { return FPercent; }

 private:
  friend class TSheetThemeElementData;
  void Reset();
  TColor32 ReadColor(TKnot* AKnot, std::u16string_view AName, TColor32 ADefault);

  std::unique_ptr<TCustomBitmap32> FAtlas;
  std::array<TSheetThemeFontData, ThemeFontCount> FFonts;
  std::array<TSheetThemeElementData, ThemeElementCount> FElements;
  std::array<TSheetThemeImageData, ThemeImageCount> FImages;
  TColor32 FDisableColor, FSelectColor, FSelectInactiveColor;
  int FSpacingX = 3, FSpacingY = 3, FScaledSpacingX = 3, FScaledSpacingY = 3;
  TRect FTextMargins{3, 0, 3, 0}, FScaledTextMargins{3, 0, 3, 0};
  int FFontDelta = 0;
  int FPercent = 100;
};

// Rectangles and colours of a description, exposed for tests: "l,t,r,b" with each value limited to
// [AMin, AMax]; missing or invalid values are 0.
TRect ParseThemeRect(std::u16string_view AText, int AMin, int AMax);
// Each pixel keeps its alpha; its colour becomes source x (1 - a) + tint x a, a being the tint's alpha.
TColor32 TintPixel(TColor32 ASource, TColor32 ATint);
