// How an owner-drawn control looks: a background (fill and edges), a painter style (background plus caption shade,
// content offset, image effects, options), state styles that override only the values they assign, the style set
// of a push button composed per state, and the stylers that painters ask for the style of a state. Also paints a
// background into a rectangle and stretches a bitmap by nine zones.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "controls/baPainters.h"
#include "foundation/cuNotifier.h"
#include "foundation/cuSet.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwBitmaps.h"
#include "framework/fwComponents.h"
#include "framework/fwGraphics.h"
#include "framework/fwThemes.h"

enum class TEdgeKind : uint8_t { ekNone, ekLowered, ekRaised, ekSpace, ekDot, ekRound, ekSolid };
using enum TEdgeKind;

enum class TEdge : uint8_t { eLeft = 0x01, eTop = 0x02, eRight = 0x04, eBottom = 0x08 };
constexpr bool IsFlagFamily(TEdge) { return true; }
using enum TEdge;
using TEdges = TSet<TEdge>;
inline constexpr TEdges AllEdges{eLeft, eTop, eRight, eBottom};

enum class TFillKind : uint8_t {
  fkParentColor,
  fkSolid,
  fkClear,
  fkDither,
  fkGradientHorz,
  fkGradientVert,
  fkBDiagonal,
  fkFDiagonal,
  fkGrid,
  fkBitmap
};
using enum TFillKind;

enum class TOffsetKind : uint8_t { okNone, okYes, okInClassicMode, okBack };
using enum TOffsetKind;
// In pixels: okNone 0, okYes 1, okInClassicMode 1 while visual styles are off and 0 while they are on, okBack -1.
int OffsetAmount(TOffsetKind AKind);

enum class TPainterStyleImageEffect : uint8_t { pieDisable = 0x01, pieGray = 0x02, pieLight = 0x04, pieFocus = 0x08 };
constexpr bool IsFlagFamily(TPainterStyleImageEffect) { return true; }
using enum TPainterStyleImageEffect;
using TPainterStyleImageEffects = TSet<TPainterStyleImageEffect>;

enum class TPainterStyleOption : uint8_t {
  psoFillUnderEdges = 0x01,
  psoBkColorTransparent = 0x02,
  psoFocusRect = 0x04
};
constexpr bool IsFlagFamily(TPainterStyleOption) { return true; }
using enum TPainterStyleOption;
using TPainterStyleOptions = TSet<TPainterStyleOption>;

// The values a state style may assign, one bit each.
enum class TPainterStyleValue : uint16_t {
  svBitmap = 0x0001,
  svBitmapZones = 0x0002,
  svEdgeColor = 0x0004,
  svEdgeOuter = 0x0008,
  svEdgeInner = 0x0010,
  svEdges = 0x0020,
  svFillColor = 0x0040,
  svFillKind = 0x0080,
  svFillSecondColor = 0x0100,
  svCaptionShade = 0x0200,
  svContentOffset = 0x0400,
  svFontColor = 0x0800,
  svFontStyle = 0x1000,
  svImageEffects = 0x2000,
  svOptions = 0x4000,
  svShadeColor = 0x8000,
};
constexpr bool IsFlagFamily(TPainterStyleValue) { return true; }
using enum TPainterStyleValue;
using TPainterStyleValues = TSet<TPainterStyleValue>;
inline constexpr TPainterStyleValues AllPainterStyleValues = TPainterStyleValues::FromBits(0xFFFF);

enum class TStylerMode : uint8_t { smClassic, smThemeHeader, smThemeStdBtn, smThemeToolBtn, smThemeStatusPane };
using enum TStylerMode;

enum class TStylerOption : uint8_t { soAllowFrameDefault = 0x01, soChevronArrows = 0x02, soLargeSigns = 0x04 };
constexpr bool IsFlagFamily(TStylerOption) { return true; }
using enum TStylerOption;
using TStylerOptions = TSet<TStylerOption>;

enum class TPushStylerOption : uint8_t { psoCheckedEdgesOverHot = 0x01, psoCheckedFillOverHot = 0x02 };
constexpr bool IsFlagFamily(TPushStylerOption) { return true; }
using enum TPushStylerOption;
using TPushStylerOptions = TSet<TPushStylerOption>;

// ---------------------------------------------------------------------------------------------------------------
// Backgrounds and styles

// Fill and edges of a rectangle. Every setter that changes a value calls Changed with that value; the bitmap and
// its zones are owned and report their own changes the same way, unless an update is under way.
class TBackground : public TPersistent {
 public:
  TBackground();
  ~TBackground() override;
  // From another background: every value this class and the source share, then one Changed for all.
  void Assign(const TPersistent* ASource) override;

  TColor EdgeColor() const { return FEdgeColor; }
  void SetEdgeColor(TColor AValue) { SetValue(FEdgeColor, AValue, svEdgeColor); }
  TEdgeKind EdgeInner() const { return FEdgeInner; }
  void SetEdgeInner(TEdgeKind AValue) { SetValue(FEdgeInner, AValue, svEdgeInner); }
  TEdgeKind EdgeOuter() const { return FEdgeOuter; }
  void SetEdgeOuter(TEdgeKind AValue) { SetValue(FEdgeOuter, AValue, svEdgeOuter); }
  TEdges Edges() const { return FEdges; }
  void SetEdges(TEdges AValue) { SetValue(FEdges, AValue, svEdges); }
  TColor FillColor() const { return FFillColor; }
  void SetFillColor(TColor AValue) { SetValue(FFillColor, AValue, svFillColor); }
  TFillKind FillKind() const { return FFillKind; }
  void SetFillKind(TFillKind AValue) { SetValue(FFillKind, AValue, svFillKind); }
  TColor FillSecondColor() const { return FFillSecondColor; }
  void SetFillSecondColor(TColor AValue) { SetValue(FFillSecondColor, AValue, svFillSecondColor); }
  // Owned; changing it in place reports svBitmap. Drawing needs its canvas, hence not const.
  TBitmap& Bitmap() const { return *FBitmap; }
  // Copies AValue (nil empties the bitmap).
  void SetBitmap(const TBitmap* AValue);
  // Owned nine-grid margins of the bitmap (3 on every side); changing them in place reports svBitmapZones.
  TMargins& BitmapZones() const { return *FBitmapZones; }
  void SetBitmapZones(const TMargins& AValue) { FBitmapZones->Assign(&AValue); }

  virtual bool IsBkColorTransparent() const { return false; }
  virtual bool IsFillUnderEdges() const { return false; }
  // Whether painting leaves parts of the rectangle for the parent to show through.
  bool IsTransparent() const;
  // 0, 1 or 2: a pixel for each of EdgeOuter and EdgeInner that is not ekNone.
  int EdgeWidth() const;
  // ARect less the edge width on each side in Edges.
  RECT InsetByEdges(const RECT& ARect) const;

  // Copies the values in AValues from ASource (those its class has), then one Changed for all.
  void AssignValues(const TBackground& ASource, TPainterStyleValues AValues);
  // Puts one value back to its default; tells nobody (the caller reports the whole change).
  virtual void ResetValue(TPainterStyleValue AValue);

  TNotifyEvent OnChange;

 protected:
  // AValue changed, or several values at once (nullopt). Fires OnChange.
  virtual void Changed(std::optional<TPainterStyleValue> AValue);
  // Copies the values in AValues that ASource and this class both have, reporting nothing; overrides copy their
  // own and call the inherited one.
  virtual void CopyValues(const TBackground& ASource, TPainterStyleValues AValues);

  template <class T>
  void SetValue(T& AField, T AValue, TPainterStyleValue AWhich) {
    if (AField == AValue) return;
    AField = AValue;
    Changed(AWhich);
  }
  // Keeps the owned bitmap and zones from reporting while values are copied or reset.
  class TUpdateScope {
   public:
    explicit TUpdateScope(TBackground& AOwner) : FOwner(AOwner) { ++FOwner.FUpdateLock; }
    ~TUpdateScope() { --FOwner.FUpdateLock; }
    TUpdateScope(const TUpdateScope&) = delete;
    TUpdateScope& operator=(const TUpdateScope&) = delete;

   private:
    TBackground& FOwner;
  };

 private:
  void BitmapChanged(TObject* ASender);
  void ZonesChanged(TObject* ASender);

  TColor FEdgeColor = clBlack;
  TEdgeKind FEdgeInner = ekNone;
  TEdgeKind FEdgeOuter = ekNone;
  TEdges FEdges = AllEdges;
  TColor FFillColor = clBtnFace;
  TFillKind FFillKind = fkParentColor;
  TColor FFillSecondColor = clBtnHighlight;
  std::unique_ptr<TBitmap> FBitmap;
  std::unique_ptr<TMargins> FBitmapZones;
  int FUpdateLock = 0;
};

// A background with caption shade, content offset, image effects and options.
class TPainterStyle : public TBackground {
 public:
  TOffsetKind CaptionShade() const { return FCaptionShade; }
  void SetCaptionShade(TOffsetKind AValue) { SetValue(FCaptionShade, AValue, svCaptionShade); }
  TOffsetKind ContentOffset() const { return FContentOffset; }
  void SetContentOffset(TOffsetKind AValue) { SetValue(FContentOffset, AValue, svContentOffset); }
  TPainterStyleImageEffects ImageEffects() const { return FImageEffects; }
  void SetImageEffects(TPainterStyleImageEffects AValue) { SetValue(FImageEffects, AValue, svImageEffects); }
  TPainterStyleOptions Options() const { return FOptions; }
  void SetOptions(TPainterStyleOptions AValue) { SetValue(FOptions, AValue, svOptions); }
  TColor ShadeColor() const { return FShadeColor; }
  void SetShadeColor(TColor AValue) { SetValue(FShadeColor, AValue, svShadeColor); }

  bool IsBkColorTransparent() const override { return FOptions.Contains(psoBkColorTransparent); }
  bool IsFillUnderEdges() const override { return FOptions.Contains(psoFillUnderEdges); }
  void ResetValue(TPainterStyleValue AValue) override;

 protected:
  void CopyValues(const TBackground& ASource, TPainterStyleValues AValues) override;

 private:
  TOffsetKind FCaptionShade = okNone;
  TOffsetKind FContentOffset = okNone;
  TPainterStyleImageEffects FImageEffects;
  TPainterStyleOptions FOptions;
  TColor FShadeColor = clBtnHighlight;
};

// A state style: overrides the base style only with its assigned values. Setting any value assigns it.
class TPainterStyleEx : public TPainterStyle {
 public:
  // From another state style the assigned values come along.
  void Assign(const TPersistent* ASource) override;

  TPainterStyleValues AssignedValues() const { return FAssignedValues; }
  // Values left out of the new set go back to their defaults.
  void SetAssignedValues(TPainterStyleValues AValue);
  TColor FontColor() const { return FFontColor; }
  void SetFontColor(TColor AValue) { SetValue(FFontColor, AValue, svFontColor); }
  TFontStyles FontStyle() const { return FFontStyle; }
  void SetFontStyle(TFontStyles AValue) { SetValue(FFontStyle, AValue, svFontStyle); }

  void ResetValue(TPainterStyleValue AValue) override;

 protected:
  void Changed(std::optional<TPainterStyleValue> AValue) override;
  void CopyValues(const TBackground& ASource, TPainterStyleValues AValues) override;

 private:
  TPainterStyleValues FAssignedValues;
  TColor FFontColor = clBtnText;
  TFontStyles FFontStyle = 0;
};

// The bitmap becomes AStyle's fill, cut into nine zones by AZones (Bitmap, BitmapZones and FillKind fkBitmap).
void SetZoneBitmap(TBackground& AStyle, const TBitmap& ABitmap, const TMargins& AZones);

// ---------------------------------------------------------------------------------------------------------------
// The styles of a push button

// Adapt is the base; the state styles override it for the states that apply. Composed styles are cached per
// state until one of the six styles changes (or the styler clears the cache).
class TPainterStyles : public TPersistent {
 public:
  TPainterStyles();
  ~TPainterStyles() override;
  // From other styles: all six, then one OnChange.
  void Assign(const TPersistent* ASource) override;

  TPainterStyle& Adapt() const { return *FAdapt; }
  TPainterStyleEx& Checked() const { return *FChecked; }
  TPainterStyleEx& Disabled() const { return *FDisabled; }
  TPainterStyleEx& Focused() const { return *FFocused; }
  TPainterStyleEx& Hot() const { return *FHot; }
  TPainterStyleEx& Pressed() const { return *FPressed; }

  bool IsTransparent() const;

  // The effective style of AState: a new style when a state style contributes (font colour and style from
  // AFont unless assigned), nil when none does and Adapt applies as it is.
  std::unique_ptr<TPainterStyleEx> ComposeStyle(TClientState AState, const TFont& AFont,
                                                TPushStylerOptions AOptions) const;
  // The cached composed style of AState, composed on first use; Adapt itself when nothing contributes.
  TPainterStyle& GetStateStyle(TClientState AState, const TFont& AFont, TPushStylerOptions AOptions);
  void ClearCache() { FCache.clear(); }
  int CachedStyleCount() const { return static_cast<int>(FCache.size()); }

  TNotifyEvent OnChange;

 private:
  void StyleChanged(TObject* ASender);

  std::unique_ptr<TPainterStyle> FAdapt;
  std::unique_ptr<TPainterStyleEx> FChecked;
  std::unique_ptr<TPainterStyleEx> FDisabled;
  std::unique_ptr<TPainterStyleEx> FFocused;
  std::unique_ptr<TPainterStyleEx> FHot;
  std::unique_ptr<TPainterStyleEx> FPressed;
  std::map<TClientState::TBits, std::unique_ptr<TPainterStyleEx>> FCache;
  bool FAssigning = false;
};

// ---------------------------------------------------------------------------------------------------------------
// Stylers: the components painters ask for the style of a state. Changes reach the painters through the
// notifier as painter change flags.

class TStyler : public TComponent {
 public:
  explicit TStyler(TComponent* AOwner);
  ~TStyler() override;

  // Painters subscribe here; it fires once with nil when the styler goes.
  TNotifier& Notifier() { return *FNotifier; }

  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor AValue);
  TFont& Font() { return FFont; }
  void SetFont(const TFont& AValue) { FFont.Assign(&AValue); }
  TStylerMode Mode() const { return FMode; }
  void SetMode(TStylerMode AValue);
  TStylerOptions Options() const { return FOptions; }
  void SetOptions(TStylerOptions AValue);

  // True in a themed mode while visual styles are in use.
  virtual bool IsTransparent() const;
  // The answer IsTransparent gave at the last change.
  bool LastTransparent() const { return FLastTransparent; }
  virtual TPainterStyle& GetStyle(TClientState AState) = 0;

 protected:
  void BeforeDestruction() override;
  // Asks IsTransparent again (a new answer adds pcTransparency) and posts the flags when there are any.
  void Changed(TPainterChanges AFlags);
  // The font changed; overrides drop what they composed with it and call the inherited one.
  virtual void FontChanged();

 private:
  void FontChange(TObject* ASender) { FontChanged(); }

  std::unique_ptr<TNotifier> FNotifier;
  TCursor FCursor = crDefault;
  TFont FFont;
  TStylerMode FMode = smClassic;
  TStylerOptions FOptions;
  bool FLastTransparent = false;
};

// One style for every state.
class TStaticStyler : public TStyler {
 public:
  explicit TStaticStyler(TComponent* AOwner);
  ~TStaticStyler() override;

  TPainterStyle& Style() const { return *FStyle; }
  void SetStyle(const TPainterStyle& AValue) { FStyle->Assign(&AValue); }

  bool IsTransparent() const override;
  TPainterStyle& GetStyle(TClientState AState) override { return *FStyle; }

 private:
  void StyleChanged(TObject* ASender);

  std::unique_ptr<TPainterStyle> FStyle;
};

// A push button's styles composed per state.
class TPushStyler : public TStyler {
 public:
  explicit TPushStyler(TComponent* AOwner);
  ~TPushStyler() override;

  TPainterStyles& Styles() const { return *FStyles; }
  void SetStyles(const TPainterStyles& AValue) { FStyles->Assign(&AValue); }
  TPushStylerOptions OptionsEx() const { return FOptionsEx; }
  void SetOptionsEx(TPushStylerOptions AValue);

  bool IsTransparent() const override;
  TPainterStyle& GetStyle(TClientState AState) override;

 protected:
  void FontChanged() override;

 private:
  void StylesChanged(TObject* ASender);

  std::unique_ptr<TPainterStyles> FStyles;
  TPushStylerOptions FOptionsEx;
};

// ---------------------------------------------------------------------------------------------------------------
// Painting

// Paints ABackground into ARect and answers the content rectangle: the themed element ATheme when given, else a
// one-pixel window-frame border with ADrawDefaultFrame and then the plain background inside it; the content is
// what remains less the edge width on each side in Edges. AParentColor fills fkParentColor.
RECT PaintBackground(const TBackground& ABackground, TCanvas& ACanvas, const RECT& ARect,
                     const TThemedElementDetails* ATheme, bool ADrawDefaultFrame, TColor AParentColor);
// Edges from the outside in, then the fill (first, over the whole rectangle, with IsFillUnderEdges).
void PaintBackgroundPlain(const TBackground& ABackground, TCanvas& ACanvas, const RECT& ARect, TColor AParentColor);

// Stretches ABitmap into ADstRect by nine zones: corners copied at their size, sides stretched along one axis,
// the centre along both. A destination (or bitmap) too small for the zones shares it out with ShrinkZones and
// cuts the borders, not scales them; a bitmap without a middle zone has its edges stretched to meet.
void StretchBitmapZones(TBitmap& ABitmap, const TMargins& AZones, TCanvas& ACanvas, const RECT& ADstRect);
// Shares ALength between two zones A and B: A and B when it holds both, else the first gets ALength * A / (A + B)
// rounded half to even (at most A) and the second the rest. Negative lengths and zones count as 0.
std::pair<int, int> ShrinkZones(int ALength, int A, int B);
