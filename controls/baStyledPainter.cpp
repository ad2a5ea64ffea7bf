#include "controls/baStyledPainter.h"

#include <algorithm>
#include <cstdint>

#include "framework/fwThemes.h"

namespace {

constexpr int UnboundedExtent = 0x7FFFFFF;

bool Horizontal(TImageLayout ALayout) { return ALayout == ilLeft || ALayout == ilRight; }

bool ThemesInUse() { return ThemeServices && ThemeServices->Enabled(); }

// The themed element of a mode for a client's state.
TThemedElementDetails ThemedDetails(TStylerMode AMode, TClientState AState, bool AFrameDefault) {
  const bool pressed = AState.Contains(stPressed), hot = AState.Contains(stHot);
  const bool checked = AState.Contains(stChecked), disabled = AState.Contains(stDisabled);
  switch (AMode) {
    case smThemeHeader:
      if (checked || (pressed && hot)) return GetElementDetails(TThemedHeader::thHeaderItemPressed);
      if (pressed || hot) return GetElementDetails(TThemedHeader::thHeaderItemHot);
      return GetElementDetails(TThemedHeader::thHeaderItemNormal);
    case smThemeToolBtn:
      if (disabled) return GetElementDetails(TThemedToolBar::ttbButtonDisabled);
      if (pressed && hot) return GetElementDetails(TThemedToolBar::ttbButtonPressed);
      if (!pressed && !hot)
        return GetElementDetails(checked ? TThemedToolBar::ttbButtonChecked : TThemedToolBar::ttbButtonNormal);
      return GetElementDetails(checked ? TThemedToolBar::ttbButtonCheckedHot : TThemedToolBar::ttbButtonHot);
    case smThemeStatusPane:
      return GetElementDetails(TThemedStatus::tsPane);
    default:
      if (disabled) return GetElementDetails(TThemedButton::tbPushButtonDisabled);
      if (checked || (pressed && hot)) return GetElementDetails(TThemedButton::tbPushButtonPressed);
      if (pressed || hot) return GetElementDetails(TThemedButton::tbPushButtonHot);
      return GetElementDetails(AFrameDefault ? TThemedButton::tbPushButtonDefaulted
                                             : TThemedButton::tbPushButtonNormal);
  }
}

// Saves the clip region of a context and puts it back, whatever the painting between does.
class TClipScope {
 public:
  explicit TClipScope(HDC ADC) : FDC(ADC), FSaved(CreateRectRgn(0, 0, 0, 0)) {
    FHadRegion = GetClipRgn(FDC, FSaved) == 1;
  }
  ~TClipScope() {
    SelectClipRgn(FDC, FHadRegion ? FSaved : nullptr);
    DeleteObject(FSaved);
  }
  TClipScope(const TClipScope&) = delete;
  TClipScope& operator=(const TClipScope&) = delete;

 private:
  HDC FDC;
  HRGN FSaved;
  bool FHadRegion = false;
};

uint8_t ClampByte(int AValue) { return static_cast<uint8_t>(std::clamp(AValue, 0, 255)); }

// Calls AChange(b, g, r) on every pixel's colour channels; a fourth byte (the image's mask) is left alone.
template <class F>
void ForEachPixel(TBitmap& ABitmap, F&& AChange) {
  const int step = ABitmap.PixelFormat() == TPixelFormat::pf32bit ? 4 : 3;
  for (int y = 0; y < ABitmap.Height(); ++y) {
    auto* p = static_cast<uint8_t*>(ABitmap.ScanLine(y));
    for (int x = 0; x < ABitmap.Width(); ++x, p += step) AChange(p);
  }
}

// What the image list's disabled drawing does: grey by (77 R + 151 G + 28 B) >> 8 at half the opacity.
void DisableBitmap(TBitmap& ABitmap) {
  ForEachPixel(ABitmap, [](uint8_t* p) {
    const auto grey = static_cast<uint8_t>((77 * p[2] + 151 * p[1] + 28 * p[0]) >> 8);
    p[0] = p[1] = p[2] = grey;
    p[3] = static_cast<uint8_t>((p[3] + 1) / 2);
  });
}

}  // namespace

TContentLayout LayoutContent(const RECT& ARect, SIZE AImage, SIZE ACaption, int AGap, TImageLayout ALayout,
                             TAlignKind AAlign) {
  const bool horizontal = Horizontal(ALayout);
  const bool imageFirst = ALayout == ilLeft || ALayout == ilTop;
  const int lo = horizontal ? ARect.left : ARect.top, hi = horizontal ? ARect.right : ARect.bottom;
  const int crossLo = horizontal ? ARect.top : ARect.left, crossHi = horizontal ? ARect.bottom : ARect.right;
  const SIZE first = imageFirst ? AImage : ACaption, second = imageFirst ? ACaption : AImage;
  const int firstLen = horizontal ? first.cx : first.cy, secondLen = horizontal ? second.cx : second.cy;
  const int total = firstLen + AGap + secondLen;

  int firstPos = lo;
  if (AAlign == akCenter)
    firstPos = lo + (hi - lo - total) / 2;
  else if (AAlign == akEnd)
    firstPos = hi - total;
  const int secondPos = AAlign == akCenter || AAlign == akBegin ? firstPos + firstLen + AGap : hi - secondLen;

  auto place = [&](SIZE ASize, int APos) {
    const int across = horizontal ? ASize.cy : ASize.cx;
    const int crossPos = crossLo + (crossHi - crossLo - across) / 2;
    return horizontal ? RECT{APos, crossPos, APos + ASize.cx, crossPos + ASize.cy}
                      : RECT{crossPos, APos, crossPos + ASize.cx, APos + ASize.cy};
  };
  const RECT firstRect = place(first, firstPos), secondRect = place(second, secondPos);
  return imageFirst ? TContentLayout{firstRect, secondRect} : TContentLayout{secondRect, firstRect};
}

void GrayscaleBitmap(TBitmap& ABitmap) {
  ForEachPixel(ABitmap, [](uint8_t* p) {
    // round(0.30 R + 0.59 G + 0.11 B) in integers: the weights are hundredths.
    const auto grey = ClampByte((30 * p[2] + 59 * p[1] + 11 * p[0] + 50) / 100);
    p[0] = p[1] = p[2] = grey;
  });
}

void LightenBitmap(TBitmap& ABitmap, int AAmount) {
  ForEachPixel(ABitmap, [AAmount](uint8_t* p) {
    for (int c = 0; c < 3; ++c) p[c] = ClampByte(p[c] + (255 - p[c]) * AAmount / 255);
  });
}

// ---------------------------------------------------------------------------------------------------------------

TStyledPainter::TStyledPainter(TComponent* AOwner) : TSinglePainter(AOwner) {
  FImagesLink.OnChange = MakeMethod<&TStyledPainter::ImagesChanged>(this);
  FDisabledImagesLink.OnChange = MakeMethod<&TStyledPainter::ImagesChanged>(this);
  FPadding.OnChange = MakeMethod<&TStyledPainter::PaddingChanged>(this);
}

TStyledPainter::~TStyledPainter() {
  DetachStyler();
  if (FImages) FImages->UnRegisterChanges(&FImagesLink);
  if (FDisabledImages) FDisabledImages->UnRegisterChanges(&FDisabledImagesLink);
}

void TStyledPainter::Changed3() { Changed(pcRepaint | pcRemeasure); }

void TStyledPainter::SetAlignKind(TAlignKind AValue) {
  if (AValue == FAlignKind) return;
  FAlignKind = AValue;
  Changed3();
}

void TStyledPainter::SetImageList(TImageList*& AField, TChangeLink& ALink, TImageList* AValue) {
  if (AValue == AField) return;
  if (AField) {
    AField->UnRegisterChanges(&ALink);
    RemoveFreeNotification(AField);
  }
  AField = AValue;
  if (AField) {
    AField->RegisterChanges(&ALink);
    FreeNotification(AField);
  }
  Changed3();
}

void TStyledPainter::SetImages(TImageList* AValue) { SetImageList(FImages, FImagesLink, AValue); }

void TStyledPainter::SetDisabledImages(TImageList* AValue) {
  SetImageList(FDisabledImages, FDisabledImagesLink, AValue);
}

void TStyledPainter::SetImagesWidth(int AValue) {
  if (AValue == FImagesWidth) return;
  FImagesWidth = AValue;
  Changed3();
}

void TStyledPainter::SetImagesHeight(int AValue) {
  if (AValue == FImagesHeight) return;
  FImagesHeight = AValue;
  Changed3();
}

void TStyledPainter::SetLayout(TImageLayout AValue) {
  if (AValue == FLayout) return;
  FLayout = AValue;
  Changed3();
}

void TStyledPainter::SetOptions(TPainterOptions AValue) {
  if (AValue == FOptions) return;
  FOptions = AValue;
  Changed3();
}

void TStyledPainter::SetSignsSpacing(int AValue) {
  if (AValue == FSignsSpacing) return;
  FSignsSpacing = AValue;
  Changed3();
}

void TStyledPainter::SetSpacing(int AValue) {
  if (AValue == FSpacing) return;
  FSpacing = AValue;
  Changed3();
}

void TStyledPainter::SetStyler(TStyler* AValue) {
  if (AValue == FStyler) return;
  DetachStyler();
  FStyler = AValue;
  if (FStyler) FStyler->Notifier().Subscribe(MakeMethod<&TStyledPainter::StylerNotified>(this));
  Changed(pcAll);
}

void TStyledPainter::DetachStyler() {
  if (!FStyler) return;
  FStyler->Notifier().Unsubscribe(MakeMethod<&TStyledPainter::StylerNotified>(this));
  FStyler = nullptr;
}

void TStyledPainter::StylerNotified(TNotifier* ASender, TNotify* AFirst) {
  // The styler goes: its notifier calls once with nil and is gone after.
  if (!AFirst) {
    FStyler = nullptr;
    return;
  }
  TPainterChanges flags;
  for (TNotify* n = AFirst; n; n = n->Next())
    if (auto* f = dynamic_cast<TFlagsNotify*>(n)) flags |= TPainterChanges::FromBits(f->Flags());
  Changed(flags);
}

void TStyledPainter::ImagesChanged(TObject* ASender) { Changed3(); }

void TStyledPainter::PaddingChanged(TObject* ASender) { Changed3(); }

void TStyledPainter::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TSinglePainter::Notification(AComponent, AOperation);
  if (AOperation != TComponentOperation::opRemove) return;
  if (AComponent == FImages) FImages = nullptr;
  if (AComponent == FDisabledImages) FDisabledImages = nullptr;
}

TPainterStyle& TStyledPainter::GetStyle(TClientState AState) const { return FStyler->GetStyle(AState); }

bool TStyledPainter::ShowsImage(const TPainterClient& AClient, int AIndex) const {
  if (FOptions.Contains(poNoImages)) return false;
  if (AClient.GetImageKind() != ikListImage) return true;
  return AIndex >= 0 && FImages;
}

UINT TStyledPainter::GetDrawTextFlags() const {
  UINT flags = DT_NOCLIP | DT_EXPANDTABS;
  if (FOptions.Contains(poNoAccelChar)) flags |= DT_NOPREFIX;
  if (FOptions.Contains(poWordWrap)) flags |= DT_WORDBREAK;
  if (FOptions.Contains(poEditControl)) flags |= DT_EDITCONTROL;
  if (FOptions.Contains(poEndEllipsis)) flags |= DT_END_ELLIPSIS;
  if (!Horizontal(FLayout)) flags |= DT_CENTER;
  return flags;
}

bool TStyledPainter::Themed() const { return FStyler && FStyler->Mode() != smClassic && ThemesInUse(); }

void TStyledPainter::TakeFont(TCanvas& ACanvas, const TPainterStyle& AStyle) const {
  // Property by property: an unchanged font keeps its GDI object.
  const TFont& source = FStyler->Font();
  TFont& font = ACanvas.Font();
  font.SetName(source.Name());
  font.SetHeight(source.Height());
  font.SetPixelsPerInch(source.PixelsPerInch());
  font.SetCharset(source.Charset());
  font.SetPitch(source.Pitch());
  const auto* state = dynamic_cast<const TPainterStyleEx*>(&AStyle);
  font.SetColor(state ? state->FontColor() : source.Color());
  font.SetStyle(state ? state->FontStyle() : source.Style());
}

SIZE TStyledPainter::CaptionSize(TPainterClient& AClient, TCanvas& ACanvas, int AWidth, int AImageWidth) const {
  if (FOptions.Contains(poNoCaptions)) return {0, 0};
  const std::u16string caption = AClient.GetCaption();
  if (caption.empty()) return {0, 0};
  RECT r{0, 0, AWidth > 0 ? AWidth : UnboundedExtent, UnboundedExtent};
  if (AImageWidth > 0 && Horizontal(FLayout)) OffsetRect(&r, AImageWidth + FSpacing, 0);
  ACanvas.DrawText(caption, r, GetDrawTextFlags() | DT_CALCRECT);
  return {r.right - r.left, r.bottom - r.top};
}

SIZE TStyledPainter::ContentSize(TPainterClient& AClient, TCanvas& ACanvas, int AWidth) const {
  const SIZE image = ShowsImage(AClient, AClient.GetImageIndex()) ? SIZE{FImagesWidth, FImagesHeight} : SIZE{0, 0};
  const SIZE caption = CaptionSize(AClient, ACanvas, AWidth, image.cx);
  if (Horizontal(FLayout))
    return {image.cx + caption.cx + (image.cx >= 1 && caption.cx >= 1 ? FSpacing : 0), std::max(image.cy, caption.cy)};
  return {std::max(image.cx, caption.cx), image.cy + caption.cy + (image.cy >= 1 && caption.cy >= 1 ? FSpacing : 0)};
}

void TStyledPainter::Measure(TPainterClient& AClient, TCanvas& ACanvas, SIZE& ASize, int AWidth) {
  if (!FStyler) return TSinglePainter::Measure(AClient, ACanvas, ASize, AWidth);
  const TPainterStyle& style = GetStyle(AClient.GetState());
  TakeFont(ACanvas, style);

  const TEdges edges = style.Edges();
  const int edge = style.EdgeWidth();
  auto sign = [&](TSignPlace APlace) { return AClient.GetSignAt(APlace) != saNone ? FSignsSpacing : 0; };
  auto side = [&](TEdge ASide) { return edges.Contains(ASide) ? edge : 0; };
  int extraX = sign(spLeft) + FPadding.Left() + FPadding.Right() + sign(spRight) + side(eLeft) + side(eRight);
  int extraY = sign(spTop) + FPadding.Top() + FPadding.Bottom() + sign(spBottom) + side(eTop) + side(eBottom);
  if (FStyler->Options().Contains(soAllowFrameDefault)) {
    extraX += 2;
    extraY += 2;
  }

  SIZE content;
  if (AWidth < 1) {
    content = ContentSize(AClient, ACanvas, 0);
    ASize.cx = (content.cx ? content.cx : 10) + extraX;
  } else {
    content = ContentSize(AClient, ACanvas, std::max(1, AWidth - extraX));
    ASize.cx = AWidth;
  }
  ASize.cy = (content.cy ? content.cy : 10) + extraY;
}

RECT TStyledPainter::PaintBack(TPainterClient& AClient, TCanvas& ACanvas, const RECT& ARect,
                               const TPainterStyle& AStyle) const {
  const bool frameDefault = FStyler->Options().Contains(soAllowFrameDefault);
  const bool drawnDefault = frameDefault && AClient.IsDefault();
  RECT content;
  if (Themed()) {
    const TThemedElementDetails details = ThemedDetails(FStyler->Mode(), AClient.GetState(), drawnDefault);
    content = PaintBackground(AStyle, ACanvas, ARect, &details, false, AClient.GetColor());
  } else {
    content = PaintBackground(AStyle, ACanvas, ARect, nullptr, drawnDefault, AClient.GetColor());
    // Without the frame a button keeps the content area of one drawn with it.
    if (frameDefault && !drawnDefault) InflateRect(&content, -1, -1);
  }
  if (AStyle.Options().Contains(psoFocusRect)) {
    ACanvas.Pen().SetColor(clWindowFrame);
    ACanvas.Brush().SetColor(clBtnFace);
    RECT focus = content;
    if (!EqualRect(&focus, &ARect)) InflateRect(&focus, -1, -1);
    ACanvas.DrawFocusRect(focus);
  }
  return content;
}

void TStyledPainter::PaintSign(TCanvas& ACanvas, const RECT& ARect, TSignAt ASign, const TPainterStyle& AStyle) const {
  const int offset = OffsetAmount(AStyle.ContentOffset());
  const POINT centre{(ARect.left + ARect.right) / 2 + offset, (ARect.top + ARect.bottom) / 2 + offset};
  const int size = FStyler->Options().Contains(soLargeSigns) ? 3 : 2;
  const bool chevrons = FStyler->Options().Contains(soChevronArrows);

  auto draw = [&](POINT C, TColor AColor) {
    switch (ASign) {
      case saBox:
        ACanvas.Brush().SetColor(AColor);
        ACanvas.FillRect(RECT{C.x - size, C.y - size, C.x + size + 1, C.y + size + 1});
        break;
      case saCircle:
        ACanvas.Pen().SetColor(AColor);
        ACanvas.Brush().SetColor(AColor);
        ACanvas.RoundRect(C.x - size, C.y - size, C.x + size + 1, C.y + size + 1, 6, 6);
        break;
      case saCheck: {
        const int s = size - 1;
        DrawCheckMark(ACanvas, POINT{C.x - (3 * s + 1) / 2, C.y - (2 * s + 3) / 2}, s, AColor);
        break;
      }
      case saArrowLeft:
      case saArrowRight:
      case saArrowUp:
      case saArrowDown: {
        const auto direction = static_cast<TArrowDirection>(static_cast<int>(ASign) - static_cast<int>(saArrowLeft));
        const bool across = ASign == saArrowLeft || ASign == saArrowRight;
        // The box's top-left corner: the arrow is size + 1 long, the chevron size + 5, both 2 * size + 1 across.
        const int along = chevrons ? (size + 5) / 2 : size / 2 + size % 2;
        const POINT origin = across ? POINT{C.x - along, C.y - size} : POINT{C.x - size, C.y - along};
        if (chevrons)
          DrawChevron(ACanvas, direction, origin, size, AColor);
        else
          DrawArrow(ACanvas, direction, origin, size, AColor);
        break;
      }
      default:
        break;
    }
  };
  if (const int shade = OffsetAmount(AStyle.CaptionShade()))
    draw(POINT{centre.x + shade, centre.y + shade}, AStyle.ShadeColor());
  draw(centre, ACanvas.Font().Color());
}

void TStyledPainter::PaintSigns(TPainterClient& AClient, TCanvas& ACanvas, RECT& ARect,
                                const TPainterStyle& AStyle) const {
  for (int p = 0; p < SignPlaceCount; ++p) {
    const auto place = static_cast<TSignPlace>(p);
    const TSignAt sign = AClient.GetSignAt(place);
    if (sign == saNone) continue;
    RECT strip = ARect;
    switch (place) {
      case spLeft:
        strip.right = strip.left + FSignsSpacing;
        ARect.left = strip.right;
        break;
      case spRight:
        strip.left = strip.right - FSignsSpacing;
        ARect.right = strip.left;
        break;
      case spTop:
        strip.bottom = strip.top + FSignsSpacing;
        ARect.top = strip.bottom;
        break;
      case spBottom:
        strip.top = strip.bottom - FSignsSpacing;
        ARect.bottom = strip.top;
        break;
      case spCenter:
        break;
    }
    PaintSign(ACanvas, strip, sign, AStyle);
  }
}

void TStyledPainter::DrawListImage(TCanvas& ACanvas, int X, int Y, int AIndex,
                                   TPainterStyleImageEffects AEffects) const {
  if (AEffects.Contains(pieDisable) && FDisabledImages) {
    FDisabledImages->Draw(ACanvas, X, Y, AIndex, TImageDrawState::idsNormal);
    return;
  }
  TImageDrawState state = TImageDrawState::idsNormal;
  if (AEffects.Contains(pieDisable))
    state = TImageDrawState::idsDisabled;
  else if (AEffects.Contains(pieFocus))
    state = TImageDrawState::idsFocused;
  FImages->Draw(ACanvas, X, Y, AIndex, state);
}

void TStyledPainter::PaintImage(TPainterClient& AClient, TCanvas& ACanvas, POINT APos,
                                const TPainterStyle& AStyle) const {
  const RECT cell{APos.x, APos.y, APos.x + FImagesWidth, APos.y + FImagesHeight};
  const TImageKind kind = AClient.GetImageKind();
  const int index = AClient.GetImageIndex();
  if (kind == ikClientImage) return AClient.PaintImage(ACanvas, cell);

  const TPainterStyleImageEffects effects = AStyle.ImageEffects();
  const bool recolour = effects.ContainsAny(pieGray | pieLight);
  if (kind == ikListImage && !recolour && FImages->Width() == FImagesWidth && FImages->Height() == FImagesHeight)
    return DrawListImage(ACanvas, APos.x, APos.y, index, effects);

  TBitmap image;
  if (kind == ikColorSwatch) {
    image.SetSize(FImagesWidth, FImagesHeight);
    TCanvas& canvas = image.Canvas();
    canvas.Brush().SetColor(static_cast<TColor>(index));
    canvas.Pen().SetColor(clBlack);
    canvas.Rectangle(0, 0, FImagesWidth, FImagesHeight);
  } else {
    // The list image with its alpha, which is the mask taken before any effect: a greyed or lightened image
    // keeps its shape and never stands in a box of its recoloured background.
    const bool ownDisabled = effects.Contains(pieDisable) && FDisabledImages;
    TImageList& list = ownDisabled ? *FDisabledImages : *FImages;
    if (index >= list.Count()) return;
    list.GetBitmap(index, image);
    if (effects.Contains(pieDisable) && !ownDisabled) DisableBitmap(image);
    image.SetAlphaFormat(TAlphaFormat::afDefined);
  }
  if (effects.Contains(pieGray)) GrayscaleBitmap(image);
  if (effects.Contains(pieLight)) LightenBitmap(image, 100);
  ACanvas.StretchDraw(cell, image);
}

void TStyledPainter::PaintContent(TPainterClient& AClient, TCanvas& ACanvas, const RECT& ARect,
                                  const TPainterStyle& AStyle) const {
  const bool showsImage = ShowsImage(AClient, AClient.GetImageIndex());
  const SIZE image = showsImage ? SIZE{FImagesWidth, FImagesHeight} : SIZE{0, 0};
  const SIZE caption = CaptionSize(AClient, ACanvas, std::max(0L, ARect.right - ARect.left), image.cx);
  const int gap = image.cx >= 1 && caption.cx >= 1 ? FSpacing : 0;
  TContentLayout layout = LayoutContent(ARect, image, caption, gap, FLayout, FAlignKind);
  // The classic look of a standard button sits its caption a pixel higher.
  if (FStyler->Mode() == smThemeStdBtn && !ThemesInUse()) OffsetRect(&layout.Caption, 0, -1);
  const int offset = OffsetAmount(AStyle.ContentOffset());
  OffsetRect(&layout.Image, offset, offset);
  OffsetRect(&layout.Caption, offset, offset);

  const std::u16string text = FOptions.Contains(poNoCaptions) ? std::u16string() : AClient.GetCaption();
  if (!text.empty()) {
    const UINT flags = GetDrawTextFlags();
    ACanvas.Brush().SetStyle(TBrushStyle::bsClear);
    if (const int shade = OffsetAmount(AStyle.CaptionShade())) {
      const TColor fontColor = ACanvas.Font().Color();
      RECT shaded = layout.Caption;
      OffsetRect(&shaded, shade, shade);
      ACanvas.Font().SetColor(AStyle.ShadeColor());
      ACanvas.DrawText(text, shaded, flags);
      ACanvas.Font().SetColor(fontColor);
    }
    RECT r = layout.Caption;
    ACanvas.DrawText(text, r, flags);
  }
  if (showsImage) PaintImage(AClient, ACanvas, POINT{layout.Image.left, layout.Image.top}, AStyle);
}

void TStyledPainter::Paint(TPainterClient& AClient, TCanvas& ACanvas, const RECT& ARect) {
  if (!FStyler) return TSinglePainter::Paint(AClient, ACanvas, ARect);
  const TPainterStyle& style = GetStyle(AClient.GetState());
  if (style.IsTransparent() || Themed()) AClient.PaintParentBackground(ACanvas, ARect);
  TakeFont(ACanvas, style);
  AClient.BeforePaintBackground(ACanvas, ARect);
  const RECT content = PaintBack(AClient, ACanvas, ARect, style);
  AClient.AfterPaintBackground(ACanvas, ARect);
  {
    TClipScope clip(ACanvas.Handle());
    IntersectClipRect(ACanvas.Handle(), content.left, content.top, content.right, content.bottom);
    AClient.BeforePaintContent(ACanvas, content);
    RECT rest = content;
    PaintSigns(AClient, ACanvas, rest, style);
    PaintContent(AClient, ACanvas, FPadding.Inset(rest), style);
    AClient.AfterPaintContent(ACanvas, content);
  }
}

TCursor TStyledPainter::GetCursor(TPainterClient& AClient) {
  return FStyler ? FStyler->Cursor() : TSinglePainter::GetCursor(AClient);
}

void TStyledPainter::QueryUpdate(TPainterClient& AClient, bool ACaptionChanged, TClientState AOldState,
                                 TClientState ANewState, int AOldImageIndex, int ANewImageIndex, bool& ANeedRepaint,
                                 bool& ANeedRemeasure) {
  if (!FStyler) return;
  if (ACaptionChanged && !FOptions.Contains(poNoCaptions)) ANeedRepaint = ANeedRemeasure = true;
  if (AOldImageIndex != ANewImageIndex && !FOptions.Contains(poNoImages) &&
      (FImages || AClient.GetImageKind() != ikListImage)) {
    ANeedRepaint = true;
    if (ShowsImage(AClient, AOldImageIndex) != ShowsImage(AClient, ANewImageIndex)) ANeedRemeasure = true;
  }
  if (AOldState != ANewState) {
    if (Themed() || &GetStyle(AOldState) != &GetStyle(ANewState)) ANeedRepaint = ANeedRemeasure = true;
  }
}

bool TStyledPainter::IsTransparent(TPainterClient& AClient) { return FStyler && FStyler->LastTransparent(); }
