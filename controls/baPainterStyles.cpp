#include "controls/baPainterStyles.h"

#include <algorithm>
#include <array>

namespace {

bool VisualStylesInUse() { return ThemeServices && ThemeServices->Enabled(); }

constexpr TPainterStyleValues EdgeValues{svEdgeColor, svEdgeOuter, svEdgeInner, svEdges};
constexpr TPainterStyleValues FillValues{svFillColor, svFillKind, svFillSecondColor};

// ---------------------------------------------------------------------------------------------------------------
// Edges

void ShrinkSides(RECT& ARect, TEdges AEdges) {
  if (AEdges.Contains(eLeft)) ++ARect.left;
  if (AEdges.Contains(eTop)) ++ARect.top;
  if (AEdges.Contains(eRight)) --ARect.right;
  if (AEdges.Contains(eBottom)) --ARect.bottom;
}

UINT BorderFlags(TEdges AEdges) {
  UINT flags = BF_ADJUST;
  if (AEdges.Contains(eLeft)) flags |= BF_LEFT;
  if (AEdges.Contains(eTop)) flags |= BF_TOP;
  if (AEdges.Contains(eRight)) flags |= BF_RIGHT;
  if (AEdges.Contains(eBottom)) flags |= BF_BOTTOM;
  return flags;
}

void SolidBrush(TCanvas& ACanvas, TColor AColor) {
  TBrush& brush = ACanvas.Brush();
  brush.SetBitmap(nullptr);
  brush.SetColor(AColor);
  brush.SetStyle(TBrushStyle::bsSolid);
}

// One-pixel lines along the sides in AEdges; the end points are exclusive. Round edges leave out each corner
// pixel that two drawn sides share.
void PaintLineEdge(TCanvas& ACanvas, RECT& ARect, TEdgeKind AKind, TColor AColor, TEdges AEdges) {
  const RECT r = ARect;
  if (AKind == ekDot) {
    ACanvas.Pen().SetColor(AColor);
    ACanvas.Pen().SetWidth(1);
    ACanvas.Pen().SetStyle(TPenStyle::psDot);
    ACanvas.Brush().SetStyle(TBrushStyle::bsClear);
    auto line = [&](int X1, int Y1, int X2, int Y2) {
      ACanvas.MoveTo(X1, Y1);
      ACanvas.LineTo(X2, Y2);
    };
    if (AEdges.Contains(eLeft)) line(r.left, r.top, r.left, r.bottom);
    if (AEdges.Contains(eTop)) line(r.left, r.top, r.right, r.top);
    if (AEdges.Contains(eRight)) line(r.right - 1, r.top, r.right - 1, r.bottom);
    if (AEdges.Contains(eBottom)) line(r.left, r.bottom - 1, r.right, r.bottom - 1);
  } else {
    // Solid lines as one-pixel fills: exact pixels whatever the pen would do at the ends.
    SolidBrush(ACanvas, AColor);
    const bool round = AKind == ekRound;
    auto cut = [&](TEdge ASide) { return round && AEdges.Contains(ASide) ? 1 : 0; };
    if (AEdges.Contains(eLeft)) ACanvas.FillRect(RECT{r.left, r.top + cut(eTop), r.left + 1, r.bottom - cut(eBottom)});
    if (AEdges.Contains(eTop)) ACanvas.FillRect(RECT{r.left + cut(eLeft), r.top, r.right - cut(eRight), r.top + 1});
    if (AEdges.Contains(eRight))
      ACanvas.FillRect(RECT{r.right - 1, r.top + cut(eTop), r.right, r.bottom - cut(eBottom)});
    if (AEdges.Contains(eBottom))
      ACanvas.FillRect(RECT{r.left + cut(eLeft), r.bottom - 1, r.right - cut(eRight), r.bottom});
  }
  ShrinkSides(ARect, AEdges);
}

void PaintEdge(TCanvas& ACanvas, RECT& ARect, TEdgeKind AKind, bool AOuter, const TBackground& ABackground) {
  const TEdges edges = ABackground.Edges();
  switch (AKind) {
    case ekNone:
      break;
    case ekLowered:
      DrawEdge(ACanvas.Handle(), &ARect, AOuter ? BDR_SUNKENOUTER : BDR_SUNKENINNER, BorderFlags(edges));
      break;
    case ekRaised:
      DrawEdge(ACanvas.Handle(), &ARect, AOuter ? BDR_RAISEDOUTER : BDR_RAISEDINNER, BorderFlags(edges));
      break;
    case ekSpace:
      ShrinkSides(ARect, edges);
      break;
    case ekDot:
    case ekRound:
    case ekSolid:
      PaintLineEdge(ACanvas, ARect, AKind, ABackground.EdgeColor(), edges);
      break;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Fills

using TPattern = std::array<uint8_t, 8>;
// One byte per row from the top, the most significant bit the leftmost pixel; a 1 takes the fill colour.
constexpr TPattern DitherPattern{0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
constexpr TPattern BDiagonalPattern{0x07, 0x0E, 0x1C, 0x38, 0x70, 0xE0, 0xC1, 0x83};
constexpr TPattern FDiagonalPattern{0x38, 0x1C, 0x0E, 0x07, 0x83, 0xC1, 0xE0, 0x70};
constexpr TPattern GridPattern{0x00, 0x00, 0x22, 0x00, 0x00, 0x00, 0x22, 0x00};

void FillPattern(TCanvas& ACanvas, const RECT& ARect, const TPattern& APattern, TColor AOne, TColor AZero) {
  TBitmap pattern(8, 8);
  const COLORREF one = ColorToRef(AOne), zero = ColorToRef(AZero);
  for (int y = 0; y < 8; ++y) {
    auto* row = static_cast<uint8_t*>(pattern.ScanLine(y));
    for (int x = 0; x < 8; ++x) {
      COLORREF c = (APattern[y] >> (7 - x)) & 1 ? one : zero;
      row[3 * x] = GetBValue(c);
      row[3 * x + 1] = GetGValue(c);
      row[3 * x + 2] = GetRValue(c);
    }
  }
  TBrush& brush = ACanvas.Brush();
  brush.SetBitmap(&pattern);
  ACanvas.FillRect(ARect);
  brush.SetBitmap(nullptr);
}

void FillGradient(TCanvas& ACanvas, const RECT& ARect, TColor AFrom, TColor ATo, bool AHorizontal) {
  if (ARect.right <= ARect.left || ARect.bottom <= ARect.top) return;
  auto vertex = [](LONG X, LONG Y, TColor AColor) {
    COLORREF c = ColorToRef(AColor);
    return TRIVERTEX{X,
                     Y,
                     static_cast<COLOR16>(GetRValue(c) << 8),
                     static_cast<COLOR16>(GetGValue(c) << 8),
                     static_cast<COLOR16>(GetBValue(c) << 8),
                     0};
  };
  TRIVERTEX vertices[2] = {vertex(ARect.left, ARect.top, AFrom), vertex(ARect.right, ARect.bottom, ATo)};
  GRADIENT_RECT mesh{0, 1};
  GradientFill(ACanvas.Handle(), vertices, 2, &mesh, 1, AHorizontal ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V);
}

void Fill(const TBackground& ABackground, TCanvas& ACanvas, const RECT& ARect, TColor AParentColor) {
  const TColor color = ABackground.FillColor(), second = ABackground.FillSecondColor();
  switch (ABackground.FillKind()) {
    case fkParentColor:
      SolidBrush(ACanvas, AParentColor);
      ACanvas.FillRect(ARect);
      break;
    case fkSolid:
      SolidBrush(ACanvas, color);
      ACanvas.FillRect(ARect);
      break;
    case fkClear:
      break;
    case fkDither:
      FillPattern(ACanvas, ARect, DitherPattern, color, second);
      break;
    case fkGradientHorz:
    case fkGradientVert:
      FillGradient(ACanvas, ARect, color, second, ABackground.FillKind() == fkGradientHorz);
      break;
    case fkBDiagonal:
      FillPattern(ACanvas, ARect, BDiagonalPattern, color, second);
      break;
    case fkFDiagonal:
      FillPattern(ACanvas, ARect, FDiagonalPattern, color, second);
      break;
    case fkGrid:
      FillPattern(ACanvas, ARect, GridPattern, color, second);
      break;
    case fkBitmap:
      if (!ABackground.Bitmap().Empty()) {
        StretchBitmapZones(ABackground.Bitmap(), ABackground.BitmapZones(), ACanvas, ARect);
      } else {
        SolidBrush(ACanvas, AParentColor);
        ACanvas.FillRect(ARect);
      }
      break;
  }
}

// Where two edge zones of A and B pixels with nothing between them meet when they share ALength in proportion,
// rounded half up.
int MeetingPoint(int ALength, int A, int B) {
  const int64_t sum = int64_t(A) + B;
  return sum > 0 ? static_cast<int>((2 * int64_t(ALength) * A + sum) / (2 * sum)) : 0;
}

}  // namespace

int OffsetAmount(TOffsetKind AKind) {
  switch (AKind) {
    case okNone:
      return 0;
    case okYes:
      return 1;
    case okInClassicMode:
      return VisualStylesInUse() ? 0 : 1;
    case okBack:
      return -1;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------------------------
// TBackground

TBackground::TBackground() : FBitmap(std::make_unique<TBitmap>()), FBitmapZones(std::make_unique<TMargins>(3)) {
  FBitmap->OnChange = MakeMethod<&TBackground::BitmapChanged>(this);
  FBitmapZones->OnChange = MakeMethod<&TBackground::ZonesChanged>(this);
}

TBackground::~TBackground() = default;

void TBackground::Assign(const TPersistent* ASource) {
  if (auto* source = dynamic_cast<const TBackground*>(ASource)) {
    if (source != this) AssignValues(*source, AllPainterStyleValues);
    return;
  }
  TPersistent::Assign(ASource);
}

void TBackground::SetBitmap(const TBitmap* AValue) {
  if (AValue)
    FBitmap->Assign(AValue);
  else
    FBitmap->SetSize(0, 0);
}

bool TBackground::IsTransparent() const {
  switch (FFillKind) {
    case fkClear:
      return true;
    case fkBDiagonal:
    case fkFDiagonal:
    case fkGrid:
      if (IsBkColorTransparent()) return true;
      break;
    default:
      break;
  }
  if (FEdges.Empty()) return false;
  auto open = [](TEdgeKind AKind) { return AKind == ekSpace || AKind == ekDot || AKind == ekRound; };
  if (!open(FEdgeInner) && !open(FEdgeOuter)) return false;
  return !IsFillUnderEdges();
}

int TBackground::EdgeWidth() const { return (FEdgeInner != ekNone ? 1 : 0) + (FEdgeOuter != ekNone ? 1 : 0); }

RECT TBackground::InsetByEdges(const RECT& ARect) const {
  const int w = EdgeWidth();
  RECT r = ARect;
  if (FEdges.Contains(eLeft)) r.left += w;
  if (FEdges.Contains(eTop)) r.top += w;
  if (FEdges.Contains(eRight)) r.right -= w;
  if (FEdges.Contains(eBottom)) r.bottom -= w;
  return r;
}

void TBackground::AssignValues(const TBackground& ASource, TPainterStyleValues AValues) {
  {
    TUpdateScope scope(*this);
    CopyValues(ASource, AValues);
  }
  Changed(std::nullopt);
}

void TBackground::CopyValues(const TBackground& ASource, TPainterStyleValues AValues) {
  if (AValues.Contains(svBitmap)) FBitmap->Assign(ASource.FBitmap.get());
  if (AValues.Contains(svBitmapZones)) FBitmapZones->Assign(ASource.FBitmapZones.get());
  if (AValues.Contains(svEdgeColor)) FEdgeColor = ASource.FEdgeColor;
  if (AValues.Contains(svEdgeOuter)) FEdgeOuter = ASource.FEdgeOuter;
  if (AValues.Contains(svEdgeInner)) FEdgeInner = ASource.FEdgeInner;
  if (AValues.Contains(svEdges)) FEdges = ASource.FEdges;
  if (AValues.Contains(svFillColor)) FFillColor = ASource.FFillColor;
  if (AValues.Contains(svFillKind)) FFillKind = ASource.FFillKind;
  if (AValues.Contains(svFillSecondColor)) FFillSecondColor = ASource.FFillSecondColor;
}

void TBackground::ResetValue(TPainterStyleValue AValue) {
  TUpdateScope scope(*this);
  switch (AValue) {
    case svBitmap:
      FBitmap->SetSize(0, 0);
      break;
    case svBitmapZones:
      FBitmapZones->SetBounds(3, 3, 3, 3);
      break;
    case svEdgeColor:
      FEdgeColor = clBlack;
      break;
    case svEdgeOuter:
      FEdgeOuter = ekNone;
      break;
    case svEdgeInner:
      FEdgeInner = ekNone;
      break;
    case svEdges:
      FEdges = AllEdges;
      break;
    case svFillColor:
      FFillColor = clBtnFace;
      break;
    case svFillKind:
      FFillKind = fkParentColor;
      break;
    case svFillSecondColor:
      FFillSecondColor = clBtnHighlight;
      break;
    default:
      break;
  }
}

void TBackground::Changed(std::optional<TPainterStyleValue> AValue) {
  if (OnChange) OnChange(this);
}

void TBackground::BitmapChanged(TObject* ASender) {
  if (FUpdateLock == 0) Changed(svBitmap);
}

void TBackground::ZonesChanged(TObject* ASender) {
  if (FUpdateLock == 0) Changed(svBitmapZones);
}

// ---------------------------------------------------------------------------------------------------------------
// TPainterStyle, TPainterStyleEx

void TPainterStyle::ResetValue(TPainterStyleValue AValue) {
  switch (AValue) {
    case svCaptionShade:
      FCaptionShade = okNone;
      break;
    case svContentOffset:
      FContentOffset = okNone;
      break;
    case svImageEffects:
      FImageEffects = {};
      break;
    case svOptions:
      FOptions = {};
      break;
    case svShadeColor:
      FShadeColor = clBtnHighlight;
      break;
    default:
      TBackground::ResetValue(AValue);
      break;
  }
}

void TPainterStyle::CopyValues(const TBackground& ASource, TPainterStyleValues AValues) {
  TBackground::CopyValues(ASource, AValues);
  auto* source = dynamic_cast<const TPainterStyle*>(&ASource);
  if (!source) return;
  if (AValues.Contains(svCaptionShade)) FCaptionShade = source->FCaptionShade;
  if (AValues.Contains(svContentOffset)) FContentOffset = source->FContentOffset;
  if (AValues.Contains(svImageEffects)) FImageEffects = source->FImageEffects;
  if (AValues.Contains(svOptions)) FOptions = source->FOptions;
  if (AValues.Contains(svShadeColor)) FShadeColor = source->FShadeColor;
}

void TPainterStyleEx::Assign(const TPersistent* ASource) {
  if (auto* source = dynamic_cast<const TPainterStyleEx*>(ASource)) FAssignedValues = source->FAssignedValues;
  TPainterStyle::Assign(ASource);
}

void TPainterStyleEx::SetAssignedValues(TPainterStyleValues AValue) {
  if (AValue == FAssignedValues) return;
  FAssignedValues = AValue;
  // Straight to the defaults: a setter's Changed would put the value back into the set.
  for (unsigned bit = 1; bit <= 0x8000; bit <<= 1) {
    auto value = static_cast<TPainterStyleValue>(bit);
    if (!AValue.Contains(value)) ResetValue(value);
  }
  Changed(std::nullopt);
}

void TPainterStyleEx::ResetValue(TPainterStyleValue AValue) {
  switch (AValue) {
    case svFontColor:
      FFontColor = clBtnText;
      break;
    case svFontStyle:
      FFontStyle = 0;
      break;
    default:
      TPainterStyle::ResetValue(AValue);
      break;
  }
}

void TPainterStyleEx::Changed(std::optional<TPainterStyleValue> AValue) {
  if (AValue) FAssignedValues.Include(*AValue);
  TPainterStyle::Changed(AValue);
}

void TPainterStyleEx::CopyValues(const TBackground& ASource, TPainterStyleValues AValues) {
  TPainterStyle::CopyValues(ASource, AValues);
  auto* source = dynamic_cast<const TPainterStyleEx*>(&ASource);
  if (!source) return;
  if (AValues.Contains(svFontColor)) FFontColor = source->FFontColor;
  if (AValues.Contains(svFontStyle)) FFontStyle = source->FFontStyle;
}

void SetZoneBitmap(TBackground& AStyle, const TBitmap& ABitmap, const TMargins& AZones) {
  AStyle.SetBitmap(&ABitmap);
  AStyle.SetBitmapZones(AZones);
  AStyle.SetFillKind(fkBitmap);
}

// ---------------------------------------------------------------------------------------------------------------
// TPainterStyles

TPainterStyles::TPainterStyles()
    : FAdapt(std::make_unique<TPainterStyle>()),
      FChecked(std::make_unique<TPainterStyleEx>()),
      FDisabled(std::make_unique<TPainterStyleEx>()),
      FFocused(std::make_unique<TPainterStyleEx>()),
      FHot(std::make_unique<TPainterStyleEx>()),
      FPressed(std::make_unique<TPainterStyleEx>()) {
  for (TBackground* style : {static_cast<TBackground*>(FAdapt.get()), static_cast<TBackground*>(FChecked.get()),
                             static_cast<TBackground*>(FDisabled.get()), static_cast<TBackground*>(FFocused.get()),
                             static_cast<TBackground*>(FHot.get()), static_cast<TBackground*>(FPressed.get())})
    style->OnChange = MakeMethod<&TPainterStyles::StyleChanged>(this);
}

TPainterStyles::~TPainterStyles() = default;

void TPainterStyles::Assign(const TPersistent* ASource) {
  auto* source = dynamic_cast<const TPainterStyles*>(ASource);
  if (!source) {
    TPersistent::Assign(ASource);
    return;
  }
  if (source == this) return;
  FAssigning = true;
  try {
    FAdapt->Assign(source->FAdapt.get());
    FChecked->Assign(source->FChecked.get());
    FDisabled->Assign(source->FDisabled.get());
    FFocused->Assign(source->FFocused.get());
    FHot->Assign(source->FHot.get());
    FPressed->Assign(source->FPressed.get());
  } catch (...) {
    FAssigning = false;
    throw;
  }
  FAssigning = false;
  ClearCache();
  if (OnChange) OnChange(this);
}

bool TPainterStyles::IsTransparent() const {
  return FAdapt->IsTransparent() || FChecked->IsTransparent() || FDisabled->IsTransparent() ||
         FFocused->IsTransparent() || FHot->IsTransparent() || FPressed->IsTransparent();
}

std::unique_ptr<TPainterStyleEx> TPainterStyles::ComposeStyle(TClientState AState, const TFont& AFont,
                                                              TPushStylerOptions AOptions) const {
  // The styles that apply, weakest first.
  const TPainterStyleEx* list[3];
  int count = 0;
  if (AState.Contains(stChecked)) list[count++] = FChecked.get();
  if (AState.Contains(stDisabled)) {
    list[count++] = FDisabled.get();
  } else {
    if (AState.Contains(stFocused)) list[count++] = FFocused.get();
    if (AState.Contains(stPressed))
      list[count++] = FPressed.get();
    else if (AState.Contains(stHot))
      list[count++] = FHot.get();
  }
  std::unique_ptr<TPainterStyleEx> result;
  TPainterStyleValues taken;
  for (int i = count - 1; i >= 0; --i) {
    const TPainterStyleEx* style = list[i];
    TPainterStyleValues values = style->AssignedValues() - taken;
    if (style == FHot.get() && AState.Contains(stChecked)) {
      if (AOptions.Contains(psoCheckedEdgesOverHot)) values -= EdgeValues;
      if (AOptions.Contains(psoCheckedFillOverHot)) values -= FillValues;
    }
    if (values.Empty()) continue;
    if (!result) {
      result = std::make_unique<TPainterStyleEx>();
      result->Assign(FAdapt.get());
      result->SetFontColor(AFont.Color());
      result->SetFontStyle(AFont.Style());
    }
    result->AssignValues(*style, values);
    taken |= values;
  }
  return result;
}

TPainterStyle& TPainterStyles::GetStateStyle(TClientState AState, const TFont& AFont, TPushStylerOptions AOptions) {
  auto found = FCache.find(AState.Bits());
  if (found != FCache.end()) return *found->second;
  std::unique_ptr<TPainterStyleEx> composed = ComposeStyle(AState, AFont, AOptions);
  if (!composed) return *FAdapt;
  TPainterStyleEx& style = *composed;
  FCache.emplace(AState.Bits(), std::move(composed));
  return style;
}

void TPainterStyles::StyleChanged(TObject* ASender) {
  if (FAssigning) return;
  ClearCache();
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------------------------------------------
// Stylers

TStyler::TStyler(TComponent* AOwner) : TComponent(AOwner), FNotifier(std::make_unique<TNotifier>()) {
  FFont.OnChange = MakeMethod<&TStyler::FontChange>(this);
}

TStyler::~TStyler() = default;

void TStyler::BeforeDestruction() {
  // The painters hear of it while the styler is whole.
  FNotifier.reset();
  TComponent::BeforeDestruction();
}

void TStyler::SetCursor(TCursor AValue) {
  if (AValue == FCursor) return;
  FCursor = AValue;
  Changed(pcCursor);
}

void TStyler::SetMode(TStylerMode AValue) {
  if (AValue == FMode) return;
  FMode = AValue;
  Changed(pcRepaint | pcRemeasure);
}

void TStyler::SetOptions(TStylerOptions AValue) {
  if (AValue == FOptions) return;
  FOptions = AValue;
  Changed(pcRepaint | pcRemeasure);
}

bool TStyler::IsTransparent() const { return FMode != smClassic && VisualStylesInUse(); }

void TStyler::Changed(TPainterChanges AFlags) {
  const bool was = FLastTransparent;
  FLastTransparent = IsTransparent();
  if (FLastTransparent != was) AFlags |= pcTransparency;
  if (!AFlags.Empty() && FNotifier) FNotifier->PostFlags(AFlags.Bits());
}

void TStyler::FontChanged() { Changed(pcRepaint | pcRemeasure); }

TStaticStyler::TStaticStyler(TComponent* AOwner) : TStyler(AOwner), FStyle(std::make_unique<TPainterStyle>()) {
  FStyle->OnChange = MakeMethod<&TStaticStyler::StyleChanged>(this);
}

TStaticStyler::~TStaticStyler() = default;

bool TStaticStyler::IsTransparent() const { return TStyler::IsTransparent() || FStyle->IsTransparent(); }

void TStaticStyler::StyleChanged(TObject* ASender) { Changed(pcRepaint | pcRemeasure); }

TPushStyler::TPushStyler(TComponent* AOwner) : TStyler(AOwner), FStyles(std::make_unique<TPainterStyles>()) {
  FStyles->OnChange = MakeMethod<&TPushStyler::StylesChanged>(this);
}

TPushStyler::~TPushStyler() = default;

void TPushStyler::SetOptionsEx(TPushStylerOptions AValue) {
  if (AValue == FOptionsEx) return;
  FOptionsEx = AValue;
  FStyles->ClearCache();
  Changed(pcRepaint | pcRemeasure);
}

bool TPushStyler::IsTransparent() const { return TStyler::IsTransparent() || FStyles->IsTransparent(); }

TPainterStyle& TPushStyler::GetStyle(TClientState AState) { return FStyles->GetStateStyle(AState, Font(), FOptionsEx); }

void TPushStyler::FontChanged() {
  // Composed styles carry the font's colour and style.
  FStyles->ClearCache();
  TStyler::FontChanged();
}

void TPushStyler::StylesChanged(TObject* ASender) { Changed(pcRepaint | pcRemeasure); }

// ---------------------------------------------------------------------------------------------------------------
// Painting

RECT PaintBackground(const TBackground& ABackground, TCanvas& ACanvas, const RECT& ARect,
                     const TThemedElementDetails* ATheme, bool ADrawDefaultFrame, TColor AParentColor) {
  RECT content = ARect;
  if (ATheme) {
    ThemeServices->DrawElement(ACanvas.Handle(), *ATheme, content);
  } else {
    if (ADrawDefaultFrame) {
      SolidBrush(ACanvas, clWindowFrame);
      ACanvas.FrameRect(content);
      InflateRect(&content, -1, -1);
    }
    PaintBackgroundPlain(ABackground, ACanvas, content, AParentColor);
  }
  return ABackground.InsetByEdges(content);
}

void PaintBackgroundPlain(const TBackground& ABackground, TCanvas& ACanvas, const RECT& ARect, TColor AParentColor) {
  const bool underEdges = ABackground.IsFillUnderEdges();
  if (underEdges) Fill(ABackground, ACanvas, ARect, AParentColor);
  RECT r = ARect;
  const TEdges edges = ABackground.Edges();
  if (!edges.Empty()) {
    const TEdgeKind outer = ABackground.EdgeOuter(), inner = ABackground.EdgeInner();
    if (edges == AllEdges && outer == inner && (outer == ekRaised || outer == ekLowered)) {
      UINT state = DFCS_BUTTONPUSH | DFCS_TRANSPARENT | DFCS_ADJUSTRECT;
      if (outer == ekLowered) state |= DFCS_PUSHED;
      DrawFrameControl(ACanvas.Handle(), &r, DFC_BUTTON, state);
    } else {
      PaintEdge(ACanvas, r, outer, true, ABackground);
      PaintEdge(ACanvas, r, inner, false, ABackground);
    }
  }
  if (!underEdges) Fill(ABackground, ACanvas, r, AParentColor);
}

std::pair<int, int> ShrinkZones(int ALength, int A, int B) {
  const int64_t length = std::max(ALength, 0), a = std::max(A, 0), b = std::max(B, 0);
  const int64_t sum = a + b;
  if (length >= sum) return {static_cast<int>(a), static_cast<int>(b)};
  // Here sum > length >= 0: the division is safe. Round half to even.
  const int64_t product = length * a;
  int64_t first = product / sum;
  const int64_t twice = 2 * (product % sum);
  if (twice > sum || (twice == sum && (first & 1))) ++first;
  first = std::min(first, a);
  return {static_cast<int>(first), static_cast<int>(length - first)};
}

void StretchBitmapZones(TBitmap& ABitmap, const TMargins& AZones, TCanvas& ACanvas, const RECT& ADstRect) {
  const int width = ABitmap.Width(), height = ABitmap.Height();
  const int dstWidth = ADstRect.right - ADstRect.left, dstHeight = ADstRect.bottom - ADstRect.top;
  if (width <= 0 || height <= 0 || dstWidth <= 0 || dstHeight <= 0) return;
  // Zones wider than the bitmap shrink to it first, so every source zone lies inside the bitmap.
  const auto [zoneLeft, zoneRight] = ShrinkZones(width, AZones.Left(), AZones.Right());
  const auto [zoneTop, zoneBottom] = ShrinkZones(height, AZones.Top(), AZones.Bottom());
  const auto [left, right] = ShrinkZones(dstWidth, zoneLeft, zoneRight);
  const auto [top, bottom] = ShrinkZones(dstHeight, zoneTop, zoneBottom);
  const int srcX[4] = {0, left, width - right, width};
  const int srcY[4] = {0, top, height - bottom, height};
  int dstX[4] = {ADstRect.left, ADstRect.left + left, ADstRect.right - right, ADstRect.right};
  int dstY[4] = {ADstRect.top, ADstRect.top + top, ADstRect.bottom - bottom, ADstRect.bottom};
  // Nothing between the edges to stretch over the middle: the edges stretch to meet instead of leaving a hole.
  if (srcX[1] >= srcX[2] && dstX[1] < dstX[2]) dstX[1] = dstX[2] = ADstRect.left + MeetingPoint(dstWidth, left, right);
  if (srcY[1] >= srcY[2] && dstY[1] < dstY[2]) dstY[1] = dstY[2] = ADstRect.top + MeetingPoint(dstHeight, top, bottom);
  // Stretching straight from the zone of the source gives the pixels of a copy stretched from its own origin
  // (the tests compare both), without a temporary bitmap per zone.
  TCanvas& source = ABitmap.Canvas();
  for (int column = 0; column < 3; ++column) {
    if (srcX[column + 1] <= srcX[column] || dstX[column + 1] <= dstX[column]) continue;
    for (int row = 0; row < 3; ++row) {
      if (srcY[row + 1] <= srcY[row] || dstY[row + 1] <= dstY[row]) continue;
      ACanvas.CopyRect(RECT{dstX[column], dstY[row], dstX[column + 1], dstY[row + 1]}, source,
                       RECT{srcX[column], srcY[row], srcX[column + 1], srcY[row + 1]});
    }
  }
}
