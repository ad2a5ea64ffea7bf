// Graphics objects over GDI: colours, fonts, pens, brushes, the canvas that draws with them on a device context,
// and margins.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "foundation/cuWin32.h"
#include "foundation/cuDeviceContextManager.h"
#include "framework/fwComponents.h"

class TGraphic;
class TBitmap;

// ---------------------------------------------------------------------------------------------------------------
// Colours: 0x00BBGGRR, or a system colour (clSystemColor or'ed with a COLOR_ index), or one of the two markers.

using TColor = int32_t;

constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clNone = 0x1FFFFFFF;     // no colour at all
constexpr TColor clDefault = 0x20000000;  // whatever the user of the colour takes by default

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080, clNavy = 0x800000,
                 clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0, clRed = 0x0000FF,
                 clLime = 0x00FF00, clYellow = 0x00FFFF, clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00,
                 clWhite = 0xFFFFFF;

constexpr TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR;
constexpr TColor clBackground = clSystemColor | COLOR_BACKGROUND;
constexpr TColor clActiveCaption = clSystemColor | COLOR_ACTIVECAPTION;
constexpr TColor clInactiveCaption = clSystemColor | COLOR_INACTIVECAPTION;
constexpr TColor clMenu = clSystemColor | COLOR_MENU;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowFrame = clSystemColor | COLOR_WINDOWFRAME;
constexpr TColor clMenuText = clSystemColor | COLOR_MENUTEXT;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clCaptionText = clSystemColor | COLOR_CAPTIONTEXT;
constexpr TColor clActiveBorder = clSystemColor | COLOR_ACTIVEBORDER;
constexpr TColor clInactiveBorder = clSystemColor | COLOR_INACTIVEBORDER;
constexpr TColor clAppWorkSpace = clSystemColor | COLOR_APPWORKSPACE;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clInactiveCaptionText = clSystemColor | COLOR_INACTIVECAPTIONTEXT;
constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
constexpr TColor cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW;
constexpr TColor cl3DLight = clSystemColor | COLOR_3DLIGHT;
constexpr TColor clInfoText = clSystemColor | COLOR_INFOTEXT;
constexpr TColor clInfoBk = clSystemColor | COLOR_INFOBK;
constexpr TColor clHotLight = clSystemColor | COLOR_HOTLIGHT;

// A system colour becomes its present RGB value; every other value is returned as it is.
TColor ColorToRGB(TColor AColor);
inline COLORREF ColorToRef(TColor AColor) { return static_cast<COLORREF>(ColorToRGB(AColor)) & 0x00FFFFFF; }
constexpr TColor RGBToColor(uint8_t R, uint8_t G, uint8_t B) { return R | (G << 8) | (B << 16); }

// Pixels per logical inch of the screen (LOGPIXELSY), read once.
int ScreenPixelsPerInch();

// ---------------------------------------------------------------------------------------------------------------
// Fonts, pens and brushes: the GDI object is made on first request and remade after a change. OnChange fires
// while the old object still exists, so a canvas can select it out before it is deleted.

class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed() {
    if (OnChange) OnChange(this);
  }
};

// The GDI object of a font, pen or brush, owned unless it is a stock object: deleted with the graphics object,
// and after a change that needs a new one once OnChange has let its users select it out.
template <class H>
class TOwnedGdiObject : public TGraphicsObject {
 public:
  ~TOwnedGdiObject() override {
    if (FHandle && FOwnsHandle) DeleteObject(FHandle);
  }

 protected:
  // Fires OnChange; with AHandleChanged the present object is dropped first and deleted after the event.
  void Changed(bool AHandleChanged) {
    H old = nullptr;
    bool owned = false;
    if (AHandleChanged) {
      old = FHandle;
      owned = FOwnsHandle;
      FHandle = nullptr;
      FOwnsHandle = false;
    }
    TGraphicsObject::Changed();
    if (old && owned) DeleteObject(old);
  }
  // Takes the object just made (AOwned) or a stock object; raises EOSError with AWhat when there is none.
  H Adopt(H AHandle, const char16_t* AWhat, bool AOwned = true) {
    if (!AHandle) throw EOSError(AWhat, GetLastError());
    FHandle = AHandle;
    FOwnsHandle = AOwned;
    return AHandle;
  }

  H FHandle = nullptr;
  bool FOwnsHandle = false;
};

// Default: "Tahoma", height -11 (8 points at 96 dpi), window-text colour, no style, default character set.
class TFont : public TOwnedGdiObject<HFONT> {
 public:
  TFont();
  // From another TFont: every property including the colour and the resolution.
  void Assign(const TPersistent* ASource) override;

  const std::u16string& Name() const { return FName; }
  void SetName(std::u16string AValue);
  // Negative: character height in pixels; positive: cell height.
  int Height() const { return FHeight; }
  void SetHeight(int AValue);
  // In points at PixelsPerInch: Size = -Height * 72 / PixelsPerInch, rounded.
  int Size() const;
  void SetSize(int AValue);
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int AValue);
  TColor Color() const { return FColor; }
  void SetColor(TColor AValue);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles AValue);
  uint8_t Charset() const { return FCharset; }
  void SetCharset(uint8_t AValue);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch AValue);

  // Takes face, height, style, character set and pitch from a logical font (the colour stays).
  void AssignLogFont(const LOGFONTW& ALogFont);
  LOGFONTW LogFont() const;
  HFONT Handle();

 private:
  std::u16string FName = u"Tahoma";
  int FHeight = -11;
  int FPixelsPerInch;
  TColor FColor = clWindowText;
  TFontStyles FStyle = 0;
  uint8_t FCharset = DEFAULT_CHARSET;
  TFontPitch FPitch = TFontPitch::fpDefault;
};

enum class TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

// Default: black, width 1, solid.
class TPen : public TOwnedGdiObject<HPEN> {
 public:
  void Assign(const TPersistent* ASource) override;

  TColor Color() const { return FColor; }
  void SetColor(TColor AValue);
  int Width() const { return FWidth; }
  void SetWidth(int AValue);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle AValue);
  HPEN Handle();

 private:
  TColor FColor = clBlack;
  int FWidth = 1;
  TPenStyle FStyle = TPenStyle::psSolid;
};

enum class TBrushStyle : uint8_t {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};

// Default: white, solid. A pattern bitmap, when set, wins over colour and style; the brush does not own it and
// it must outlive the brush's use of it.
class TBrush : public TOwnedGdiObject<HBRUSH> {
 public:
  void Assign(const TPersistent* ASource) override;

  TColor Color() const { return FColor; }
  void SetColor(TColor AValue);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle AValue);
  TBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap* AValue);
  HBRUSH Handle();

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = TBrushStyle::bsSolid;
  TBitmap* FBitmap = nullptr;
};

// ---------------------------------------------------------------------------------------------------------------
// Canvas: draws with its font, pen and brush on a device context. The context is either bound from outside
// (SetHandle; the canvas never frees it) or made by a subclass on demand (CreateHandle). The font, pen and brush
// are selected only when an operation needs them; whatever the context held before is selected back when the
// context is unbound or the canvas is freed, so a bound foreign context comes back as it was given.

class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;

  // The device context; a subclass makes one on demand, a plain canvas raises EComponentError without one.
  HDC Handle();
  // Binds a context (nullptr unbinds); the previous one gets its own objects back.
  void SetHandle(HDC ADC);
  bool HandleAllocated() const { return FHandle != nullptr; }

  TFont& Font() { return FFont; }
  TPen& Pen() { return FPen; }
  TBrush& Brush() { return FBrush; }

  POINT PenPos();
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  void Polyline(const POINT* APoints, int ACount);
  void Polygon(const POINT* APoints, int ACount);

  // Brush only.
  void FillRect(const RECT& ARect);
  void FrameRect(const RECT& ARect);
  // Pen for the outline, brush for the inside.
  void Rectangle(int ALeft, int ATop, int ARight, int ABottom);
  void Rectangle(const RECT& ARect) { Rectangle(ARect.left, ARect.top, ARect.right, ARect.bottom); }
  void RoundRect(int ALeft, int ATop, int ARight, int ABottom, int ACornerWidth, int ACornerHeight);
  void Ellipse(int ALeft, int ATop, int ARight, int ABottom);
  // The dotted focus frame, in the text (font) and background (brush) colours.
  void DrawFocusRect(const RECT& ARect);

  // Text in the font's colour; the brush fills behind it unless its style is bsClear.
  void TextOut(int X, int Y, std::u16string_view AText);
  // The same, clipped to ARect (which the brush fills first unless clear).
  void TextRect(const RECT& ARect, int X, int Y, std::u16string_view AText);
  // DrawTextW with the font and brush; returns the text height (DT_CALCRECT measures into ARect).
  int DrawText(std::u16string_view AText, RECT& ARect, UINT AFlags);
  SIZE TextExtent(std::u16string_view AText);
  int TextWidth(std::u16string_view AText) { return TextExtent(AText).cx; }
  int TextHeight(std::u16string_view AText) { return TextExtent(AText).cy; }

  // A graphic at its own size, or stretched into ARect.
  void Draw(int X, int Y, TGraphic& AGraphic);
  void StretchDraw(const RECT& ARect, TGraphic& AGraphic);
  // SRCCOPY of ASource's rectangle into ADest, stretched when the sizes differ.
  void CopyRect(const RECT& ADest, TCanvas& ASource, const RECT& ASourceRect);

  TColor Pixel(int X, int Y);
  void SetPixel(int X, int Y, TColor AColor);

  // The clip box of the context in logical coordinates.
  RECT ClipRect();

  // Serialises users of one canvas (shared measuring canvases).
  void Lock() { FLock.lock(); }
  bool TryLock() { return FLock.try_lock(); }
  void Unlock() { FLock.unlock(); }

  // Before and after every drawing operation.
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

 protected:
  // Called when a context is needed and none is bound; the default does nothing.
  virtual void CreateHandle();
  void Changing();
  void Changed();

 private:
  enum : uint8_t { kFontValid = 1, kPenValid = 2, kBrushValid = 4 };
  HDC RequiredState(uint8_t AState);
  void DeselectHandles();
  void FontChanged(TObject* ASender);
  void PenChanged(TObject* ASender);
  void BrushChanged(TObject* ASender);

  HDC FHandle = nullptr;
  uint8_t FState = 0;
  HGDIOBJ FOldFont = nullptr;
  HGDIOBJ FOldPen = nullptr;
  HGDIOBJ FOldBrush = nullptr;
  TFont FFont;
  TPen FPen;
  TBrush FBrush;
  std::recursive_mutex FLock;
};

// ---------------------------------------------------------------------------------------------------------------
// Four distances (margins around or padding inside a rectangle) with a change event.

class TMargins : public TPersistent {
 public:
  explicit TMargins(int ADefault = 0) : FLeft(ADefault), FTop(ADefault), FRight(ADefault), FBottom(ADefault) {}
  void Assign(const TPersistent* ASource) override;

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Right() const { return FRight; }
  int Bottom() const { return FBottom; }
  void SetLeft(int AValue) { SetBounds(AValue, FTop, FRight, FBottom); }
  void SetTop(int AValue) { SetBounds(FLeft, AValue, FRight, FBottom); }
  void SetRight(int AValue) { SetBounds(FLeft, FTop, AValue, FBottom); }
  void SetBottom(int AValue) { SetBounds(FLeft, FTop, FRight, AValue); }
  // One change event for all four.
  void SetBounds(int ALeft, int ATop, int ARight, int ABottom);
  // ARect shrunk by the four distances.
  RECT Inset(const RECT& ARect) const;

  TNotifyEvent OnChange;

 private:
  int FLeft, FTop, FRight, FBottom;
};
