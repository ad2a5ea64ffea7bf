#include "document/model/diCanvas.h"

#include "document/model/diSchemeImagesWin.h"
#include "document/model/diThemesWin.h"
#include "foundation/cuDeviceContextManager.h"
#include "framework/fwImageList.h"
#include "graphics/pixels/pxBackendsGDI.h"

#include <commctrl.h>

#include <algorithm>

namespace {

// Font delta and percent of each font size.
constexpr int ScaleDelta[3] = {0, 2, 4};
constexpr int ScalePercent[3] = {100, 140, 180};

COLORREF ToColorRef(TColor32 AColor) { return RGB((AColor >> 16) & 0xFF, (AColor >> 8) & 0xFF, AColor & 0xFF); }

bool IsEmptyRect(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Settings

TSheetSettings::TSheetSettings(TProperty* AParent, std::u16string AName) : TProperty(AParent, std::move(AName)) {
  Theme = new TStringProperty(this, u"Theme", u"Default");
  FontSize = new TEnumProperty(this, u"FontSize", {u"", u"Large", u"Great"});
  NonPrintingCharacters = new TBooleanProperty(this, u"NonPrintingCharacters", false);
  CaretSize = new TIntegerProperty(this, u"CaretSize", GetSystemMetrics(SM_CXBORDER), 1, 20);
  FocusNew = new TBooleanProperty(this, u"FocusNew", false);
  DropDownOnFocusNew = new TBooleanProperty(this, u"DropDownOnFocusNew", true);
  IncreaseWorkspaceHeight = new TBooleanProperty(this, u"IncreaseWorkspaceHeight", true);
}

TSheetSettings::~TSheetSettings() = default;

void TSheetSettings::DropAttributes() {
  for (auto& a : FAttributes) a = {};
}

TSheetTheme& TSheetSettings::RefreshTheme() {
  if (!FTheme || FThemeName != Theme->Value()) {
    DropAttributes();
    auto theme = std::make_unique<TSheetTheme>();
    FThemeProblem = LoadTheme(*theme, Theme->Value());
    FTheme = std::move(theme);
    FThemeName = Theme->Value();
    FThemeScale = -1;
  }
  const int scale = std::clamp(FontSize->Value(), 0, 2);
  if (scale != FThemeScale) {
    DropAttributes();
    FTheme->SetScale(ScaleDelta[scale], ScalePercent[scale]);
    FThemeScale = scale;
  }
  FThemeStores = Theme->Stores();
  return *FTheme;
}

TRichTextAttributes* TSheetSettings::MakeTextAttributes(int AFont, TSheetTheme& ATheme) {
  if (AFont < tfCodeFont || AFont > tfCommentFont) throw EProgrammingError(u"No text attributes for this font");
  const TSheetThemeFontData& font = ATheme.GetFont(AFont);
  TRichTextAttributes model;
  model.SetFontName(font.FontName);
  model.SetFontSize(font.ScaledSize);
  model.SetColor(font.FontColor);
  model.SetStyle(font.FontStyle);
  auto& slot = FAttributes[static_cast<size_t>(AFont - tfCodeFont)];
  slot = TAttributesRef<TRichTextAttributes>(static_cast<TRichTextAttributes*>(model.Acquire()));
  return slot.get();
}

int TSheetSettings::ScaleValue(int AValue) const {
  switch (FontSize->Value()) {
    case fsLarge:
      return AValue * 140 / 100;
    case fsGreat:
      return AValue * 180 / 100;
    default:
      return AValue;
  }
}

bool TSheetSettings::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  // A changed theme or font size is made again on use; dropping the attributes now frees their fonts early.
  if (AMsg == 1 && (AParam1 == reinterpret_cast<intptr_t>(Theme) || AParam1 == reinterpret_cast<intptr_t>(FontSize)))
    DropAttributes();
  return TProperty::HandleMessage(AMsg, AParam1, AParam2);
}

TPrintSettings::TPrintSettings(TProperty* AParent, std::u16string AName) : TProperty(AParent, std::move(AName)) {
  Theme = new TStringProperty(this, u"Theme", u"Default");
  FontSize = new TEnumProperty(this, u"FontSize", {u"", u"Large", u"Great"});
  Scale = new TIntegerProperty(this, u"Scale", 50, 1, 500);
}

// ---------------------------------------------------------------------------------------------------------------
// Canvas

TCustomSheetCanvas::TCustomSheetCanvas(TSheetSettings* ASettings)
    : FSettings(ASettings), FMeasure(std::make_unique<TBitmap32>()) {
  FMeasure->SetSize(1, 1);
  ResetCaches();
}

TCustomSheetCanvas::~TCustomSheetCanvas() {
  FBitmap.reset();
  FMeasure.reset();
  DropFonts();
}

void TCustomSheetCanvas::DropFonts() {
  for (auto& f : FFonts) f = {};
}

HFONT TCustomSheetCanvas::KindFont(int AKind) {
  auto& f = FFonts.at(static_cast<size_t>(AKind - 1));
  if (!f) {
    const TSheetThemeFontData& font = Theme().GetFont(AKind - 1);
    TRichTextAttributes model;
    model.SetFontName(font.FontName);
    model.SetFontSize(font.ScaledSize);
    model.SetStyle(font.FontStyle);
    f = TAttributesRef<TRichTextAttributes>(static_cast<TRichTextAttributes*>(model.Acquire()));
  }
  return f->Font();
}

void TCustomSheetCanvas::SelectKind(HDC ADC, int& ASelected, int AKind) {
  if (ASelected == AKind) return;
  SelectObject(ADC, KindFont(AKind));
  ASelected = AKind;
}

void TCustomSheetCanvas::ResetCaches() {
  FWidths.clear();
  FPaintFont = ckNone;
  if (FBitmap && FBitmap->Handle()) SelectObject(FBitmap->Handle(), GetStockObject(SYSTEM_FONT));
  DropFonts();
  for (int kind = ckElement; kind <= ckFixed; ++kind) FDigitWidths[kind - 1] = TextExtent(kind, u"0").cx;
}

TRect TCustomSheetCanvas::ToBitmap(const TRect& ARect) const {
  return {ARect.Left + FOrigin.x, ARect.Top + FOrigin.y, ARect.Right + FOrigin.x, ARect.Bottom + FOrigin.y};
}

void TCustomSheetCanvas::BeginPaint(HDC ADC, const TRect& ARect) {
  if (IsEmptyRect(ARect)) return;
  FPaintRect = ARect;
  FBitmap = std::make_unique<TBitmap32>();
  FBitmap->SetSize(static_cast<int32_t>(ARect.Width()), static_cast<int32_t>(ARect.Height()));
  FBitmap->Clear(Color32(GetSysColor(COLOR_WINDOW)));
  FBitmap->SetDrawMode(dmOpaque);
  FOrigin = {-ARect.Left, -ARect.Top};
  SetViewportOrgEx(FBitmap->Handle(), FOrigin.x, FOrigin.y, nullptr);
  FPaintFont = ckNone;
}

void TCustomSheetCanvas::EndPaint(HDC ADC) {
  if (!FBitmap) return;
  SetViewportOrgEx(FBitmap->Handle(), 0, 0, nullptr);
  FBitmap->DrawToDC(ADC, FPaintRect.Left, FPaintRect.Top);
  SelectObject(FBitmap->Handle(), GetStockObject(SYSTEM_FONT));
  FBitmap.reset();
  FPaintFont = ckNone;
}

void TCustomSheetCanvas::MoveOrigin(int DX, int DY) {
  FOrigin.x += DX;
  FOrigin.y += DY;
  if (FBitmap) SetViewportOrgEx(FBitmap->Handle(), FOrigin.x, FOrigin.y, nullptr);
}

bool TCustomSheetCanvas::MeetsClip(const TRect& ARect) const {
  if (!FBitmap) return false;
  const TRect r = ToBitmap(ARect);
  const TRect& clip = FBitmap->ClipRect();
  return r.Left < clip.Right && r.Right > clip.Left && r.Top < clip.Bottom && r.Bottom > clip.Top;
}

TRect TCustomSheetCanvas::ClipRect() const {
  if (!FBitmap) return {INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};
  const TRect& clip = FBitmap->ClipRect();
  return {clip.Left - FOrigin.x, clip.Top - FOrigin.y, clip.Right - FOrigin.x, clip.Bottom - FOrigin.y};
}

HDC TCustomSheetCanvas::GetHandle() const { return FBitmap ? FBitmap->Handle() : nullptr; }

void TCustomSheetCanvas::DrawThemeElement(int AIndex, const TRect& ARect, TColor32 ATint) {
  if (FBitmap) Theme().GetElement(AIndex).Draw(FBitmap.get(), ToBitmap(ARect), ATint);
}

void TCustomSheetCanvas::DrawThemeIcon(int AIndex, int X, int Y, TColor32 ATint) {
  if (FBitmap) Theme().GetElement(AIndex).DrawIcon(FBitmap.get(), X + FOrigin.x, Y + FOrigin.y, ATint);
}

SIZE TCustomSheetCanvas::GetThemeImageSize(int AIndex) const {
  TSheetThemeElementData& e = Theme().GetElement(AIndex);
  return {e.Width(), e.Height()};
}

void TCustomSheetCanvas::FillRect(const TRect& ARect, TColor32 AColor) {
  if (FBitmap && AColor != clNone32) FBitmap->FillRectTS(ToBitmap(ARect), AColor);
}

void TCustomSheetCanvas::PaintDisabledVeil(const TRect& ARect) { FillRect(ARect, Theme().DisableColor()); }

void TCustomSheetCanvas::FillSelection(const TRect& ARect, bool AActive) {
  FillRect(ARect, AActive ? Theme().SelectColor() : Theme().SelectInactiveColor());
}

namespace {

// APremultiplied over ABack, channel by channel with the back's share rounded: the image list's own blend.
TColor32 OverPremultiplied(TColor32 APremultiplied, TColor32 ABack) {
  const uint32_t rest = 255 - (APremultiplied >> 24);
  TColor32 result = 0;
  for (int shift = 0; shift < 32; shift += 8)
    result |= ((APremultiplied >> shift & 0xFF) + ((ABack >> shift & 0xFF) * rest + 127) / 255) << shift;
  return result;
}

}  // namespace

void TCustomSheetCanvas::DrawImage(const TSchemeImages& AImages, int AIndex, int X, int Y) {
  if (!FBitmap || AIndex < 0 || AIndex >= AImages.Count()) return;
  const int32_t size = AImages.Width();
  const int32_t left = X + FOrigin.x, top = Y + FOrigin.y;
  const TRect& clip = FBitmap->ClipRect();
  const int32_t x0 = std::max(left, clip.Left), x1 = std::min(left + size, clip.Right);
  const int32_t y0 = std::max(top, clip.Top), y1 = std::min(top + AImages.Height(), clip.Bottom);
  for (int32_t y = y0; y < y1; ++y) {
    const TColor32* source = AImages.Atlas().ScanLine(y - top) + AIndex * size + (x0 - left);
    TColor32* target = FBitmap->ScanLine(y) + x0;
    for (int32_t x = x0; x < x1; ++x, ++source, ++target) *target = OverPremultiplied(*source, *target);
  }
}

void TCustomSheetCanvas::DrawText(int X, int Y, const std::u16string& AText, HFONT AFont, TColor32 AColor) {
  if (!FBitmap || AText.empty()) return;
  HDC dc = FBitmap->Handle();
  SelectObject(dc, AFont);
  FPaintFont = ckNone;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ToColorRef(AColor));
  ExtTextOutW(dc, X, Y, 0, nullptr, WStr(AText), static_cast<UINT>(AText.size()), nullptr);
}

void TCustomSheetCanvas::TextOut(int X, int Y, const std::u16string& AText, TColor32 AColor) {
  if (!FBitmap || AText.empty()) return;
  HDC dc = FBitmap->Handle();
  SelectKind(dc, FPaintFont, ckFixed);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, ToColorRef(AColor));
  ExtTextOutW(dc, X, Y, 0, nullptr, WStr(AText), static_cast<UINT>(AText.size()), nullptr);
}

void TCustomSheetCanvas::ElementTextOut(int X, int Y, const std::u16string& AText) {
  if (!FBitmap || AText.empty()) return;
  const TSheetThemeFontData& font = Theme().GetFont(tfElementFont);
  HDC dc = FBitmap->Handle();
  SelectKind(dc, FPaintFont, ckElement);
  SetBkMode(dc, TRANSPARENT);
  if (font.SecondColor != clNone32) {
    SetTextColor(dc, ToColorRef(font.SecondColor));
    ExtTextOutW(dc, X + 1, Y + 1, 0, nullptr, WStr(AText), static_cast<UINT>(AText.size()), nullptr);
  }
  SetTextColor(dc, ToColorRef(font.FontColor));
  ExtTextOutW(dc, X, Y, 0, nullptr, WStr(AText), static_cast<UINT>(AText.size()), nullptr);
}

SIZE TCustomSheetCanvas::TextExtent(int AKind, const std::u16string& AText) {
  ++FMeasureCount;
  return DeviceContextManager->TextExtent(FMeasure->Handle(), KindFont(AKind), AText.data(),
                                          static_cast<int>(AText.size()));
}

int TCustomSheetCanvas::TextAscent(int AKind) {
  // The measuring context's font is the text cache's to choose: put back what it had.
  HDC dc = FMeasure->Handle();
  HGDIOBJ previous = SelectObject(dc, KindFont(AKind));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, previous);
  return metrics.tmAscent;
}

int TCustomSheetCanvas::TextWidth(const std::u16string& AText) {
  auto it = FWidths.find(AText);
  if (it != FWidths.end()) return it->second;
  const int width = TextExtent(ckElement, AText).cx;
  FWidths.emplace(AText, width);
  return width;
}

void TCustomSheetCanvas::FillFrame(const TRect& ARect, int ARadius, TColor32 AFill, TColor32 AFrame) {
  if (!FBitmap || IsEmptyRect(ARect)) return;
  if (ARadius > 0) {
    HDC dc = FBitmap->Handle();
    HPEN pen =
        AFrame == clNone32 ? static_cast<HPEN>(GetStockObject(NULL_PEN)) : CreatePen(PS_SOLID, 1, ToColorRef(AFrame));
    HBRUSH brush =
        AFill == clNone32 ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)) : CreateSolidBrush(ToColorRef(AFill));
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
    RoundRect(dc, ARect.Left, ARect.Top, ARect.Right, ARect.Bottom, ARadius, ARadius);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    if (AFrame != clNone32) DeleteObject(pen);
    if (AFill != clNone32) DeleteObject(brush);
    return;
  }
  const TRect r = ToBitmap(ARect);
  if (AFrame != clNone32) FBitmap->FrameRectS(r, AFrame);
  if (AFill != clNone32) {
    const int inset = AFrame != clNone32 ? 1 : 0;
    FBitmap->FillRectS(r.Left + inset, r.Top + inset, r.Right - inset, r.Bottom - inset, AFill);
  }
}

void TCustomSheetCanvas::DrawButtonFocus(const TRect& ARect) {
  if (!FBitmap || IsEmptyRect(ARect)) return;
  HDC dc = FBitmap->Handle();
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  const RECT r{ARect.Left, ARect.Top, ARect.Right, ARect.Bottom};
  ::DrawFocusRect(dc, &r);
}

void TCustomSheetCanvas::DrawDataFocus(const TRect& ARect) {
  DrawButtonFocus(ARect);
  const TRect inner{ARect.Left + 1, ARect.Top + 1, ARect.Right - 1, ARect.Bottom - 1};
  if (!IsEmptyRect(inner)) DrawButtonFocus(inner);
}
