#include "document/model/diThemes.h"

#include "document/model/diMessages.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "graphics/pixels/pxBitmap.h"
#include "graphics/pixels/pxResamplers.h"

#include <algorithm>
#include <cmath>

const std::array<const char16_t*, ThemeFontCount> ThemeFontNames = {u"ElementFont", u"CodeFont", u"FixedFont",
                                                                    u"ArtFont", u"CommentFont"};

const std::array<const char16_t*, ThemeElementCount> ThemeElementNames = {u"Sheet",
                                                                          u"Line",
                                                                          u"Unaccepted",
                                                                          u"Element",
                                                                          u"ElementCommand",
                                                                          u"ElementTechnical",
                                                                          u"ElementExpression",
                                                                          u"Description",
                                                                          u"Collapsed",
                                                                          u"CollapsedData",
                                                                          u"Expanded",
                                                                          u"ExpandedData",
                                                                          u"Field",
                                                                          u"Name",
                                                                          u"NamePrivate",
                                                                          u"NamePublic",
                                                                          u"CheckBox",
                                                                          u"CheckBoxChecked",
                                                                          u"CheckBoxUnchecked",
                                                                          u"Container",
                                                                          u"ImageContainer",
                                                                          u"Substitution",
                                                                          u"SubstitutionBegin",
                                                                          u"SubstitutionContinue",
                                                                          u"SubstitutionEnd",
                                                                          u"Comment",
                                                                          u"Error",
                                                                          u"NeedValue",
                                                                          u"Referenced",
                                                                          u"FrameDot",
                                                                          u"FrameSingle",
                                                                          u"Mark",
                                                                          u"ExternalEditingMode",
                                                                          u"LogicFrame",
                                                                          u"ImageChess"};

const std::array<const char16_t*, ThemeImageCount> ThemeImageNames = {u"CharImages", u"SmallImages", u"LargeImages"};

namespace {

constexpr int MaxThemeValue = 10000;

bool IsEmptyRect(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

TRect Intersect(const TRect& A, const TRect& B) {
  TRect r{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right), std::min(A.Bottom, B.Bottom)};
  if (IsEmptyRect(r)) return {};
  return r;
}

TRect ScaleRect(const TRect& R, int APercent) {
  return {R.Left * APercent / 100, R.Top * APercent / 100, R.Right * APercent / 100, R.Bottom * APercent / 100};
}

// Splits "a,b,c" at commas; missing or invalid values are 0.
int ListValue(std::u16string_view AText, int AIndex) {
  for (int i = 0; i < AIndex; ++i) {
    const size_t comma = AText.find(u',');
    if (comma == std::u16string_view::npos) return 0;
    AText.remove_prefix(comma + 1);
  }
  int value;
  return TryStrToInt(Trim(AText.substr(0, AText.find(u','))), value) ? value : 0;
}

// The first border width when a target of AExtent is narrower than both borders: shared in proportion.
void FitBorders(int AExtent, int& AFirst, int& ASecond) {
  const int64_t both = int64_t(AFirst) + ASecond;
  if (AExtent >= both) return;
  AFirst = both > 0 ? static_cast<int>(std::llround(double(AExtent) * AFirst / double(both))) : 0;
  ASecond = AExtent - AFirst;
}

// Tiles ASrc over ADst from its origin; an empty cell draws nothing.
void TileCell(TCustomBitmap32* ADst, const TRect& ADstCell, TCustomBitmap32* ASrc, const TRect& ASrcCell) {
  const int w = static_cast<int>(ASrcCell.Width()), h = static_cast<int>(ASrcCell.Height());
  if (w <= 0 || h <= 0) return;
  const TRect clip = Intersect(ADstCell, ADst->ClipRect());
  if (IsEmptyRect(clip)) return;
  // Start at the first tile that reaches the clip: tiles that are wholly clipped away cost nothing.
  const int32_t x0 = ADstCell.Left + static_cast<int32_t>((clip.Left - ADstCell.Left) / w * w);
  const int32_t y0 = ADstCell.Top + static_cast<int32_t>((clip.Top - ADstCell.Top) / h * h);
  for (int64_t y = y0; y < clip.Bottom; y += h)
    for (int64_t x = x0; x < clip.Right; x += w)
      BlockTransfer(ADst, static_cast<int32_t>(x), static_cast<int32_t>(y), clip, ASrc, ASrcCell, dmBlend, nullptr);
}

}  // namespace

TRect ParseThemeRect(std::u16string_view AText, int AMin, int AMax) {
  auto v = [&](int i) { return std::clamp(ListValue(AText, i), AMin, AMax); };
  return {v(0), v(1), v(2), v(3)};
}

TColor32 TintPixel(TColor32 ASource, TColor32 ATint) {
  const uint32_t a = ATint >> 24;
  auto channel = [&](int AShift) {
    const uint32_t s = (ASource >> AShift) & 0xFF, t = (ATint >> AShift) & 0xFF;
    return ((s * (255 - a) + t * a + 127) / 255) << AShift;
  };
  return (ASource & 0xFF000000) | channel(16) | channel(8) | channel(0);
}

// ---------------------------------------------------------------------------------------------------------------
// Theme elements

void TSheetThemeElementData::Reset(TSheetTheme* ATheme, int AIndex) {
  FTheme = ATheme;
  const bool icon = (AIndex >= teCollapsed && AIndex <= teExpandedData) || AIndex == teCheckBoxChecked ||
                    AIndex == teCheckBoxUnchecked || (AIndex >= teError && AIndex <= teReferenced);
  FStretchH = !icon;
  FStretchV = !icon && AIndex != teLine;
  FCut = FMouseTransparent = FMargins = FPadding = FZone = {};
  FScaledMargins = FScaledPadding = FScaledZone = {};
  FColorOver = 0;
  FFillModes = {};
  FTints.clear();
}

void TSheetThemeElementData::Load(TKnot* AKnot) {
  TCustomBitmap32* atlas = FTheme->FAtlas.get();
  const TRect bounds = atlas ? atlas->BoundsRect() : TRect{};
  if (AKnot) {
    TRect cut = ParseThemeRect(AKnot->ReadString(u"Cut", u""), 0, MaxThemeValue);
    if (cut == TRect{}) {
      cut = bounds;
    } else {
      ++cut.Right;
      ++cut.Bottom;
    }
    // Clipped to the atlas; a cut turned inside out collapses to nothing.
    FCut.Left = std::clamp(cut.Left, bounds.Left, bounds.Right);
    FCut.Top = std::clamp(cut.Top, bounds.Top, bounds.Bottom);
    FCut.Right = std::clamp(cut.Right, FCut.Left, bounds.Right);
    FCut.Bottom = std::clamp(cut.Bottom, FCut.Top, bounds.Bottom);
    FColorOver = FTheme->ReadColor(AKnot, u"ColorOver", 0);
    FMouseTransparent = ParseThemeRect(AKnot->ReadString(u"MouseTransparent", u""), 0, MaxThemeValue);
    FMargins = ParseThemeRect(AKnot->ReadString(u"Margins", u""), -MaxThemeValue, MaxThemeValue);
    FPadding = ParseThemeRect(AKnot->ReadString(u"Padding", u""), 0, MaxThemeValue);
    FZone = ParseThemeRect(AKnot->ReadString(u"Zone", u""), 0, MaxThemeValue);
    if (FStretchH || FStretchV) {
      static const char16_t* const modes[5] = {u"FillModeLeft", u"FillModeTop", u"FillModeRight", u"FillModeBottom",
                                               u"FillModeClient"};
      for (int i = 0; i < 5; ++i) FFillModes[i] = static_cast<uint8_t>(AKnot->ReadInteger(modes[i], 0, 0, 2));
    }
  } else {
    FCut = bounds;
  }
  // Zones never reach beyond the cut.
  const int w = static_cast<int>(FCut.Width()), h = static_cast<int>(FCut.Height());
  FZone.Left = std::min(FZone.Left, w);
  FZone.Right = std::min(FZone.Right, w - FZone.Left);
  FZone.Top = std::min(FZone.Top, h);
  FZone.Bottom = std::min(FZone.Bottom, h - FZone.Top);
}

void TSheetThemeElementData::Scale(int APercent) {
  FScaledMargins = ScaleRect(FMargins, APercent);
  FScaledPadding = ScaleRect(FPadding, APercent);
  FScaledZone = ScaleRect(FZone, APercent);
}

TCustomBitmap32* TSheetThemeElementData::Source(TColor32 ATint, TRect& ACut) {
  if (!ATint) ATint = FColorOver;
  if (!ATint) {
    ACut = FCut;
    return FTheme->FAtlas.get();
  }
  auto& tinted = FTints[ATint];
  if (!tinted) {
    tinted = std::make_unique<TCustomBitmap32>();
    const int w = Width(), h = Height();
    tinted->SetSize(w, h);
    TCustomBitmap32* atlas = FTheme->FAtlas.get();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) tinted->SetPixel(x, y, TintPixel(atlas->Pixel(FCut.Left + x, FCut.Top + y), ATint));
  }
  ACut = tinted->BoundsRect();
  return tinted.get();
}

void TSheetThemeElementData::DrawIcon(TCustomBitmap32* ADst, int32_t X, int32_t Y, TColor32 ATint) {
  if (!FTheme || !FTheme->FAtlas || IsEmptyRect(FCut)) return;
  TRect src;
  TCustomBitmap32* bitmap = Source(ATint, src);
  BlockTransfer(ADst, X, Y, ADst->ClipRect(), bitmap, src, dmBlend, nullptr);
}

void TSheetThemeElementData::Draw(TCustomBitmap32* ADst, const TRect& ARect, TColor32 ATint) {
  if (!FTheme || !FTheme->FAtlas || IsEmptyRect(FCut) || IsEmptyRect(ARect)) return;
  TRect target = ARect;
  if (!FStretchH) {
    target.Left = static_cast<int32_t>(ARect.Left + (ARect.Width() - Width()) / 2);
    target.Right = target.Left + Width();
  }
  if (!FStretchV) {
    target.Top = static_cast<int32_t>(ARect.Top + (ARect.Height() - Height()) / 2);
    target.Bottom = target.Top + Height();
  }
  TRect src;
  TCustomBitmap32* bitmap = Source(ATint, src);

  const int32_t sx[4] = {src.Left, src.Left + FZone.Left, src.Right - FZone.Right, src.Right};
  const int32_t sy[4] = {src.Top, src.Top + FZone.Top, src.Bottom - FZone.Bottom, src.Bottom};
  int left = FScaledZone.Left, right = FScaledZone.Right, top = FScaledZone.Top, bottom = FScaledZone.Bottom;
  FitBorders(static_cast<int>(target.Width()), left, right);
  FitBorders(static_cast<int>(target.Height()), top, bottom);
  const int32_t dx[4] = {target.Left, target.Left + left, target.Right - right, target.Right};
  const int32_t dy[4] = {target.Top, target.Top + top, target.Bottom - bottom, target.Bottom};

  // Fill mode index of each cell: -1 for the corners, which always stretch.
  static const int mode[3][3] = {{-1, 1, -1}, {0, 4, 2}, {-1, 3, -1}};
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      const TRect s{sx[i], sy[j], sx[i + 1], sy[j + 1]};
      const TRect d{dx[i], dy[j], dx[i + 1], dy[j + 1]};
      if (IsEmptyRect(s) || IsEmptyRect(d)) continue;
      const uint8_t fill = mode[j][i] < 0 ? uint8_t(tfStretch) : FFillModes[mode[j][i]];
      if (fill == tfEmpty) continue;
      if (fill == tfTile)
        TileCell(ADst, d, bitmap, s);
      else
        StretchTransfer(ADst, d, ADst->ClipRect(), bitmap, s, bitmap->Resampler(), dmBlend, nullptr);
    }
}

bool TSheetThemeElementData::EvenDown() const {
  if (!FTheme || !FTheme->FAtlas || IsEmptyRect(FCut)) return true;
  if (!FStretchV) return false;
  // A tint colours each pixel alone: rows alike in the atlas stay alike tinted.
  const TCustomBitmap32* atlas = FTheme->FAtlas.get();
  const int32_t top = FCut.Top + FZone.Top, bottom = FCut.Bottom - FZone.Bottom;
  for (int32_t y = top + 1; y < bottom; ++y)
    for (int32_t x = FCut.Left; x < FCut.Right; ++x)
      if (atlas->Pixel(x, y) != atlas->Pixel(x, top)) return false;
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Theme

TSheetTheme::TSheetTheme() { Reset(); }

TSheetTheme::~TSheetTheme() = default;

void TSheetTheme::Reset() {
  FDisableColor = Color32FromRGBA(220, 220, 220, 190);
  FSelectColor = Color32FromRGBA(95, 143, 216, 130);
  FSelectInactiveColor = Color32FromRGBA(237, 237, 230, 185);
  FFonts = {};
  for (int i = 0; i < ThemeElementCount; ++i) FElements[i].Reset(this, i);
  for (TSheetThemeImageData& image : FImages) image = {};
  FSpacingX = FSpacingY = 3;
  FTextMargins = {3, 0, 3, 0};
  SetScale(FFontDelta, FPercent);
}

TColor32 TSheetTheme::ReadColor(TKnot* AKnot, std::u16string_view AName, TColor32 ADefault) {
  TKnotParam* p = AKnot->FindParam(AName);
  if (!p) return ADefault;
  const std::u16string text = p->GetAsString();
  if (!FAtlas || FAtlas->Empty()) return FAtlas ? FAtlas->OuterColor() : ADefault;
  const int x = std::clamp(ListValue(text, 0), 0, FAtlas->Width() - 1);
  const int y = std::clamp(ListValue(text, 1), 0, FAtlas->Height() - 1);
  const TRect& clip = FAtlas->ClipRect();
  if (x < clip.Left || x >= clip.Right || y < clip.Top || y >= clip.Bottom) return FAtlas->OuterColor();
  return FAtlas->Pixel(x, y);
}

void TSheetTheme::LoadFromKnot(TKnot& AKnot, std::unique_ptr<TCustomBitmap32> AAtlas,
                               const TFontInstalledFunc& AInstalled) {
  Reset();
  FAtlas = std::move(AAtlas);
  FDisableColor = ReadColor(&AKnot, u"DisableColor", FDisableColor);
  FSelectColor = ReadColor(&AKnot, u"SelectColor", FSelectColor);
  FSelectInactiveColor = ReadColor(&AKnot, u"SelectInactiveColor", FSelectInactiveColor);

  for (int i = 0; i < ThemeFontCount; ++i) {
    TSheetThemeFontData& font = FFonts[i];
    TKnot* k = AKnot.FindKnot(ThemeFontNames[i]);
    if (!k) continue;
    const std::u16string names = k->ReadString(u"Name", u"");
    font.FontName.clear();
    for (size_t start = 0; start <= names.size();) {
      size_t comma = names.find(u',', start);
      if (comma == std::u16string::npos) comma = names.size();
      const std::u16string name = Trim(std::u16string_view(names).substr(start, comma - start));
      if (!name.empty() && (!AInstalled || AInstalled(name))) {
        font.FontName = name;
        break;
      }
      start = comma + 1;
    }
    font.FontSize = k->ReadInteger(u"Size", font.FontSize, 1, 200);
    font.FontStyle = static_cast<uint8_t>((k->ReadBool(u"Bold", false) ? ftBold : 0) |
                                          (k->ReadBool(u"Italic", false) ? ftItalic : 0) |
                                          (k->ReadBool(u"Underline", false) ? ftUnderline : 0));
    font.FontColor = ReadColor(k, u"Color", 0xFF000000);
    font.SecondColor = ReadColor(k, u"SecondColor", clNone32);
  }
  for (int i = 0; i < ThemeElementCount; ++i) FElements[i].Load(AKnot.FindKnot(ThemeElementNames[i]));
  for (int i = 0; i < ThemeImageCount; ++i)
    if (TKnot* k = AKnot.FindKnot(ThemeImageNames[i]))
      FImages[i].Margins = ParseThemeRect(k->ReadString(u"Margins", u""), -MaxThemeValue, MaxThemeValue);
  SetScale(FFontDelta, FPercent);
}

void TSheetTheme::LoadFromText(std::u16string_view AText, std::unique_ptr<TCustomBitmap32> AAtlas,
                               const TFontInstalledFunc& AInstalled) {
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromString(AText);
  LoadFromKnot(*knot, std::move(AAtlas), AInstalled);
}

void TSheetTheme::SetScale(int AFontDelta, int APercent) {
  FFontDelta = AFontDelta;
  FPercent = APercent;
  for (TSheetThemeFontData& font : FFonts) font.ScaledSize = font.FontSize + AFontDelta;
  for (TSheetThemeElementData& e : FElements) e.Scale(APercent);
  for (TSheetThemeImageData& image : FImages) image.ScaledMargins = ScaleRect(image.Margins, APercent);
  FScaledSpacingX = FSpacingX * APercent / 100;
  FScaledSpacingY = FSpacingY * APercent / 100;
  FScaledTextMargins = ScaleRect(FTextMargins, APercent);
}
