#include "framework/fwGraphics.h"

#include <algorithm>

#include "framework/fwBitmaps.h"

TColor ColorToRGB(TColor AColor) {
  if (AColor < 0) return static_cast<TColor>(GetSysColor(AColor & 0xFF));
  return AColor;
}

int ScreenPixelsPerInch() {
  static const int value = [] {
    HDC dc = GetDC(nullptr);
    int ppi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc) ReleaseDC(nullptr, dc);
    return ppi > 0 ? ppi : 96;
  }();
  return value;
}

// ---------------------------------------------------------------------------------------------------------------
// TFont

TFont::TFont() : FPixelsPerInch(ScreenPixelsPerInch()) {}

void TFont::Assign(const TPersistent* ASource) {
  if (auto* font = dynamic_cast<const TFont*>(ASource)) {
    if (font == this) return;
    FName = font->FName;
    FHeight = font->FHeight;
    FPixelsPerInch = font->FPixelsPerInch;
    FColor = font->FColor;
    FStyle = font->FStyle;
    FCharset = font->FCharset;
    FPitch = font->FPitch;
    Changed(true);
    return;
  }
  TGraphicsObject::Assign(ASource);
}

void TFont::SetName(std::u16string AValue) {
  if (AValue.empty() || AValue == FName) return;
  FName = std::move(AValue);
  Changed(true);
}

void TFont::SetHeight(int AValue) {
  if (AValue == FHeight) return;
  FHeight = AValue;
  Changed(true);
}

int TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int AValue) { SetHeight(-MulDiv(AValue, FPixelsPerInch, 72)); }

void TFont::SetPixelsPerInch(int AValue) {
  if (AValue <= 0 || AValue == FPixelsPerInch) return;
  FPixelsPerInch = AValue;
  Changed(false);
}

void TFont::SetColor(TColor AValue) {
  if (AValue == FColor) return;
  FColor = AValue;
  Changed(false);
}

void TFont::SetStyle(TFontStyles AValue) {
  if (AValue == FStyle) return;
  FStyle = AValue;
  Changed(true);
}

void TFont::SetCharset(uint8_t AValue) {
  if (AValue == FCharset) return;
  FCharset = AValue;
  Changed(true);
}

void TFont::SetPitch(TFontPitch AValue) {
  if (AValue == FPitch) return;
  FPitch = AValue;
  Changed(true);
}

void TFont::AssignLogFont(const LOGFONTW& ALogFont) {
  FName = FromWide(ALogFont.lfFaceName);
  FHeight = ALogFont.lfHeight;
  FStyle = (ALogFont.lfWeight >= FW_BOLD ? fsBold : 0) | (ALogFont.lfItalic ? fsItalic : 0) |
           (ALogFont.lfUnderline ? fsUnderline : 0) | (ALogFont.lfStrikeOut ? fsStrikeOut : 0);
  FCharset = ALogFont.lfCharSet;
  switch (ALogFont.lfPitchAndFamily & 3) {
    case VARIABLE_PITCH:
      FPitch = TFontPitch::fpVariable;
      break;
    case FIXED_PITCH:
      FPitch = TFontPitch::fpFixed;
      break;
    default:
      FPitch = TFontPitch::fpDefault;
      break;
  }
  Changed(true);
}

LOGFONTW TFont::LogFont() const { return MakeLogFont(FName, FHeight, FStyle, FCharset, FPitch); }

HFONT TFont::Handle() {
  if (!FHandle) {
    const LOGFONTW lf = LogFont();
    Adopt(CreateFontIndirectW(&lf), (u"Cannot create the font " + FName).c_str());
  }
  return FHandle;
}

// ---------------------------------------------------------------------------------------------------------------
// TPen

void TPen::Assign(const TPersistent* ASource) {
  if (auto* pen = dynamic_cast<const TPen*>(ASource)) {
    if (pen == this) return;
    FColor = pen->FColor;
    FWidth = pen->FWidth;
    FStyle = pen->FStyle;
    Changed(true);
    return;
  }
  TGraphicsObject::Assign(ASource);
}

void TPen::SetColor(TColor AValue) {
  if (AValue == FColor) return;
  FColor = AValue;
  Changed(true);
}

void TPen::SetWidth(int AValue) {
  if (AValue < 0 || AValue == FWidth) return;
  FWidth = AValue;
  Changed(true);
}

void TPen::SetStyle(TPenStyle AValue) {
  if (AValue == FStyle) return;
  FStyle = AValue;
  Changed(true);
}

HPEN TPen::Handle() {
  if (!FHandle) {
    static constexpr int kStyles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
    Adopt(CreatePen(kStyles[static_cast<int>(FStyle)], FWidth, ColorToRef(FColor)), u"Cannot create a pen");
  }
  return FHandle;
}

// ---------------------------------------------------------------------------------------------------------------
// TBrush

void TBrush::Assign(const TPersistent* ASource) {
  if (auto* brush = dynamic_cast<const TBrush*>(ASource)) {
    if (brush == this) return;
    FColor = brush->FColor;
    FStyle = brush->FStyle;
    FBitmap = brush->FBitmap;
    Changed(true);
    return;
  }
  TGraphicsObject::Assign(ASource);
}

void TBrush::SetColor(TColor AValue) {
  if (AValue == FColor && FStyle != TBrushStyle::bsClear) return;
  FColor = AValue;
  // A colour given to a clear brush makes it solid again.
  if (FStyle == TBrushStyle::bsClear) FStyle = TBrushStyle::bsSolid;
  Changed(true);
}

void TBrush::SetStyle(TBrushStyle AValue) {
  if (AValue == FStyle) return;
  FStyle = AValue;
  Changed(true);
}

void TBrush::SetBitmap(TBitmap* AValue) {
  if (AValue == FBitmap) return;
  FBitmap = AValue;
  Changed(true);
}

HBRUSH TBrush::Handle() {
  if (!FHandle) {
    static constexpr char16_t What[] = u"Cannot create a brush";
    if (FBitmap && !FBitmap->Empty()) {
      Adopt(CreatePatternBrush(FBitmap->Handle()), What);
    } else if (FStyle == TBrushStyle::bsClear) {
      Adopt(static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)), What, false);
    } else if (FStyle == TBrushStyle::bsSolid) {
      Adopt(CreateSolidBrush(ColorToRef(FColor)), What);
    } else {
      static constexpr int kHatches[] = {HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL,
                                         HS_BDIAGONAL,  HS_CROSS,    HS_DIAGCROSS};
      Adopt(CreateHatchBrush(kHatches[static_cast<int>(FStyle) - static_cast<int>(TBrushStyle::bsHorizontal)],
                             ColorToRef(FColor)),
            What);
    }
  }
  return FHandle;
}

// ---------------------------------------------------------------------------------------------------------------
// TCanvas

TCanvas::TCanvas() {
  FFont.OnChange = MakeMethod<&TCanvas::FontChanged>(this);
  FPen.OnChange = MakeMethod<&TCanvas::PenChanged>(this);
  FBrush.OnChange = MakeMethod<&TCanvas::BrushChanged>(this);
}

TCanvas::~TCanvas() { DeselectHandles(); }

void TCanvas::CreateHandle() {}

HDC TCanvas::Handle() {
  if (!FHandle) CreateHandle();
  if (!FHandle) throw EComponentError(u"Canvas does not allow drawing");
  return FHandle;
}

void TCanvas::SetHandle(HDC ADC) {
  if (ADC == FHandle) return;
  DeselectHandles();
  FHandle = ADC;
}

void TCanvas::DeselectHandles() {
  if (FHandle) {
    if (FOldFont) SelectObject(FHandle, FOldFont);
    if (FOldPen) SelectObject(FHandle, FOldPen);
    if (FOldBrush) SelectObject(FHandle, FOldBrush);
  }
  FOldFont = FOldPen = FOldBrush = nullptr;
  FState = 0;
}

HDC TCanvas::RequiredState(uint8_t AState) {
  HDC dc = Handle();
  uint8_t need = AState & ~FState;
  if (need & kFontValid) {
    HGDIOBJ old = SelectObject(dc, FFont.Handle());
    if (!FOldFont) FOldFont = old;
    SetTextColor(dc, ColorToRef(FFont.Color()));
    FState |= kFontValid;
  }
  if (need & kPenValid) {
    HGDIOBJ old = SelectObject(dc, FPen.Handle());
    if (!FOldPen) FOldPen = old;
    FState |= kPenValid;
  }
  if (need & kBrushValid) {
    HGDIOBJ old = SelectObject(dc, FBrush.Handle());
    if (!FOldBrush) FOldBrush = old;
    SetBkColor(dc, ColorToRef(FBrush.Color()));
    SetBkMode(dc, FBrush.Style() == TBrushStyle::bsClear ? TRANSPARENT : OPAQUE);
    FState |= kBrushValid;
  }
  return dc;
}

// The changed object is selected out before its old GDI handle is deleted; the next operation selects the new one.
void TCanvas::FontChanged(TObject*) {
  if (FHandle && (FState & kFontValid)) {
    SelectObject(FHandle, FOldFont);
    FState &= ~kFontValid;
  }
}

void TCanvas::PenChanged(TObject*) {
  if (FHandle && (FState & kPenValid)) {
    SelectObject(FHandle, FOldPen);
    FState &= ~kPenValid;
  }
}

void TCanvas::BrushChanged(TObject*) {
  if (FHandle && (FState & kBrushValid)) {
    SelectObject(FHandle, FOldBrush);
    FState &= ~kBrushValid;
  }
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

POINT TCanvas::PenPos() {
  POINT p{};
  GetCurrentPositionEx(Handle(), &p);
  return p;
}

void TCanvas::MoveTo(int X, int Y) { MoveToEx(Handle(), X, Y, nullptr); }

void TCanvas::LineTo(int X, int Y) {
  Changing();
  ::LineTo(RequiredState(kPenValid | kBrushValid), X, Y);
  Changed();
}

void TCanvas::Polyline(const POINT* APoints, int ACount) {
  Changing();
  ::Polyline(RequiredState(kPenValid | kBrushValid), APoints, ACount);
  Changed();
}

void TCanvas::Polygon(const POINT* APoints, int ACount) {
  Changing();
  ::Polygon(RequiredState(kPenValid | kBrushValid), APoints, ACount);
  Changed();
}

void TCanvas::FillRect(const RECT& ARect) {
  Changing();
  ::FillRect(RequiredState(kBrushValid), &ARect, FBrush.Handle());
  Changed();
}

void TCanvas::FrameRect(const RECT& ARect) {
  Changing();
  ::FrameRect(RequiredState(kBrushValid), &ARect, FBrush.Handle());
  Changed();
}

void TCanvas::Rectangle(int ALeft, int ATop, int ARight, int ABottom) {
  Changing();
  ::Rectangle(RequiredState(kPenValid | kBrushValid), ALeft, ATop, ARight, ABottom);
  Changed();
}

void TCanvas::RoundRect(int ALeft, int ATop, int ARight, int ABottom, int ACornerWidth, int ACornerHeight) {
  Changing();
  ::RoundRect(RequiredState(kPenValid | kBrushValid), ALeft, ATop, ARight, ABottom, ACornerWidth, ACornerHeight);
  Changed();
}

void TCanvas::Ellipse(int ALeft, int ATop, int ARight, int ABottom) {
  Changing();
  ::Ellipse(RequiredState(kPenValid | kBrushValid), ALeft, ATop, ARight, ABottom);
  Changed();
}

void TCanvas::DrawFocusRect(const RECT& ARect) {
  Changing();
  ::DrawFocusRect(RequiredState(kFontValid | kBrushValid), &ARect);
  Changed();
}

void TCanvas::TextOut(int X, int Y, std::u16string_view AText) {
  Changing();
  ExtTextOutW(RequiredState(kFontValid | kBrushValid), X, Y, 0, nullptr, reinterpret_cast<const wchar_t*>(AText.data()),
              static_cast<UINT>(AText.size()), nullptr);
  Changed();
}

void TCanvas::TextRect(const RECT& ARect, int X, int Y, std::u16string_view AText) {
  Changing();
  UINT options = ETO_CLIPPED | (FBrush.Style() != TBrushStyle::bsClear ? ETO_OPAQUE : 0);
  ExtTextOutW(RequiredState(kFontValid | kBrushValid), X, Y, options, &ARect,
              reinterpret_cast<const wchar_t*>(AText.data()), static_cast<UINT>(AText.size()), nullptr);
  Changed();
}

int TCanvas::DrawText(std::u16string_view AText, RECT& ARect, UINT AFlags) {
  Changing();
  int height = DrawTextW(RequiredState(kFontValid | kBrushValid), reinterpret_cast<const wchar_t*>(AText.data()),
                         static_cast<int>(AText.size()), &ARect, AFlags);
  Changed();
  return height;
}

SIZE TCanvas::TextExtent(std::u16string_view AText) {
  SIZE size{};
  GetTextExtentPoint32W(RequiredState(kFontValid), reinterpret_cast<const wchar_t*>(AText.data()),
                        static_cast<int>(AText.size()), &size);
  return size;
}

void TCanvas::Draw(int X, int Y, TGraphic& AGraphic) {
  if (AGraphic.Empty()) return;
  StretchDraw(RECT{X, Y, X + AGraphic.Width(), Y + AGraphic.Height()}, AGraphic);
}

void TCanvas::StretchDraw(const RECT& ARect, TGraphic& AGraphic) {
  if (AGraphic.Empty()) return;
  Changing();
  RequiredState(0);
  AGraphic.Draw(*this, ARect);
  Changed();
}

void TCanvas::CopyRect(const RECT& ADest, TCanvas& ASource, const RECT& ASourceRect) {
  Changing();
  HDC dest = RequiredState(0);
  HDC source = ASource.Handle();
  int dw = ADest.right - ADest.left, dh = ADest.bottom - ADest.top;
  int sw = ASourceRect.right - ASourceRect.left, sh = ASourceRect.bottom - ASourceRect.top;
  if (dw == sw && dh == sh) {
    BitBlt(dest, ADest.left, ADest.top, dw, dh, source, ASourceRect.left, ASourceRect.top, SRCCOPY);
  } else {
    int oldMode = SetStretchBltMode(dest, COLORONCOLOR);
    StretchBlt(dest, ADest.left, ADest.top, dw, dh, source, ASourceRect.left, ASourceRect.top, sw, sh, SRCCOPY);
    SetStretchBltMode(dest, oldMode);
  }
  Changed();
}

TColor TCanvas::Pixel(int X, int Y) { return static_cast<TColor>(GetPixel(Handle(), X, Y)); }

void TCanvas::SetPixel(int X, int Y, TColor AColor) {
  Changing();
  ::SetPixel(Handle(), X, Y, ColorToRef(AColor));
  Changed();
}

RECT TCanvas::ClipRect() {
  RECT r{};
  GetClipBox(Handle(), &r);
  return r;
}

// ---------------------------------------------------------------------------------------------------------------
// TMargins

void TMargins::Assign(const TPersistent* ASource) {
  if (auto* margins = dynamic_cast<const TMargins*>(ASource)) {
    SetBounds(margins->FLeft, margins->FTop, margins->FRight, margins->FBottom);
    return;
  }
  TPersistent::Assign(ASource);
}

void TMargins::SetBounds(int ALeft, int ATop, int ARight, int ABottom) {
  if (ALeft == FLeft && ATop == FTop && ARight == FRight && ABottom == FBottom) return;
  FLeft = ALeft;
  FTop = ATop;
  FRight = ARight;
  FBottom = ABottom;
  if (OnChange) OnChange(this);
}

RECT TMargins::Inset(const RECT& ARect) const {
  return RECT{ARect.left + FLeft, ARect.top + FTop, ARect.right - FRight, ARect.bottom - FBottom};
}
