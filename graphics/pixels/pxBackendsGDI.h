#pragma once
// The GDI backend: a bitmap's pixels as a 32-bit top-down device-independent section selected into a memory
// device context, so GDI can draw into them and they can be copied to windows; with the bitmap's font and, on
// demand, a canvas. TBitmap32 is the bitmap on this backend, with text, device-context drawing and the exchange
// with the framework's pictures and the clipboard.

#include <memory>
#include <string_view>

#include "foundation/cuWin32.h"
#include "framework/fwBitmaps.h"
#include "framework/fwGraphics.h"
#include "graphics/pixels/pxBackends.h"
#include "graphics/pixels/pxBitmap.h"

class TGDIBackend : public TCustomBackend,
                    public ICanvasSupport,
                    public IFontSupport,
                    public ITextSupport,
                    public IDeviceContextSupport {
 public:
  static const TClassInfo<TCustomBackend, TCustomBitmap32*> ClassInfo;
  TBackendClass ClassRef() const override { return &ClassInfo; }

  explicit TGDIBackend(TCustomBitmap32* AOwner);

  bool Empty() const override { return FBitmapHandle == nullptr; }
  HBITMAP BitmapHandle() const { return FBitmapHandle; }
  // Binds a canvas that still exists to the new device context, then OnChange.
  void Changed() override;

  // ICanvasSupport
  TNotifyEvent OnCanvasChange() const override { return FOnCanvasChange; }
  void SetOnCanvasChange(TNotifyEvent AHandler) override { FOnCanvasChange = AHandler; }
  TCanvas& Canvas() override;
  void DeleteCanvas() override;
  bool CanvasAllocated() const override { return FCanvas != nullptr; }

  // IFontSupport
  TNotifyEvent OnFontChange() const override { return FOnFontChange; }
  void SetOnFontChange(TNotifyEvent AHandler) override { FOnFontChange = AHandler; }
  TFont& Font() override { return FFont; }
  void SetFont(const TFont& AFont) override;
  void UpdateFont() override;

  // ITextSupport
  void Textout(int32_t X, int32_t Y, std::u16string_view AText) override;
  void Textout(int32_t X, int32_t Y, const TRect& AClipRect, std::u16string_view AText) override;
  void Textout(TRect& ADstRect, uint32_t AFlags, std::u16string_view AText) override;
  SIZE TextExtent(std::u16string_view AText) override;

  // IDeviceContextSupport
  HDC Handle() const override { return FDC; }
  void Draw(const TRect& ADstRect, const TRect& ASrcRect, HDC ASrc) override;
  void DrawTo(HDC ADst, int32_t X, int32_t Y) override;
  void DrawTo(HDC ADst, const TRect& ADstRect, const TRect& ASrcRect) override;

 protected:
  ~TGDIBackend() override;
  // Raises "Can't allocate the DIB handle", "Can't create compatible DC" or "Can't select an object into DC",
  // having freed whatever it made.
  void InitializeSurface(int32_t ANewWidth, int32_t ANewHeight, bool AClearBuffer) override;
  void FinalizeSurface() override;

 private:
  void FontChanged(TObject* ASender);
  void CanvasChanged(TObject* ASender);
  void TextChanged(int32_t X, int32_t Y, std::u16string_view AText);

  BITMAPINFO FBitmapInfo = {};
  HBITMAP FBitmapHandle = nullptr;
  HDC FDC = nullptr;
  TFont FFont;
  std::unique_ptr<TCanvas> FCanvas;
  HFONT FFontHandle = nullptr;  // last selected into the device context; nullptr: select the font again
  TNotifyEvent FOnFontChange;
  TNotifyEvent FOnCanvasChange;
};

class TClipboard;

// The bitmap the program draws with: a TCustomBitmap32 on the GDI backend.
class TBitmap32 : public TCustomBitmap32 {
 public:
  TBitmap32();
  // On another backend; it must offer a device context for the drawing and text below.
  explicit TBitmap32(TBackendClass ABackendClass);
  ~TBitmap32() override;

  // After every new surface or size.
  TNotifyEvent OnHandleChanged;

  // ----- device context and canvas (nullptr / no-ops while the backend offers none)
  HDC Handle() const;
  TCanvas& Canvas();
  void DeleteCanvas();
  bool CanvasAllocated() const;
  // The whole bitmap, unscaled, at (ADstX, ADstY); nothing while empty.
  void DrawToDC(HDC ADC, int32_t ADstX, int32_t ADstY);
  // ASrcRect stretched into ADstRect; nothing while empty.
  void DrawRectToDC(HDC ADC, const TRect& ADstRect, const TRect& ASrcRect);

  // ----- text: transparent background in the font's colour. GDI writes alpha 0 into the pixels it draws;
  // callers that need them opaque call ResetAlpha afterwards.
  TFont& Font();
  void SetFont(const TFont& AFont);
  void Textout(int32_t X, int32_t Y, std::u16string_view AText);
  void Textout(int32_t X, int32_t Y, const TRect& AClipRect, std::u16string_view AText);
  void Textout(TRect& ADstRect, uint32_t AFlags, std::u16string_view AText);
  SIZE TextExtent(std::u16string_view AText);
  int32_t TextWidth(std::u16string_view AText) { return TextExtent(AText).cx; }
  int32_t TextHeight(std::u16string_view AText) { return TextExtent(AText).cy; }

  // ----- exchange with the framework's pictures and the clipboard
  using TCustomBitmap32::Assign;
  // The picture drawn in at its own size: bitmaps keep a 32-bit source's alpha (else alpha 255) and their
  // transparent colour; icons keep their alpha or, without any, are made opaque where they draw; metafiles and
  // other pictures are opaque where they draw.
  void Assign(TGraphic& AGraphic);
  // A 32-bit device-independent bitmap of the same size and pixels, with the bitmap's font on its canvas.
  void AssignTo(TBitmap& ADest) const;
  // The clipboard's bitmap (or metafile); false, and the bitmap unchanged, when it holds neither.
  bool AssignFromClipboard(TClipboard& AClipboard);
  void AssignToClipboard(TClipboard& AClipboard) const;

  // A 32-bit uncompressed BMP whose pixels do not follow a plain 54-byte header (a longer header, or a gap before
  // the pixel data) goes to the full reader too.
  void LoadFromStream(TStream& AStream) override;
  // A file that starts with "BM" is read as a BMP whatever its name; any other is loaded by the picture class its
  // extension names (bmp, ico, emf, wmf) and drawn in as Assign draws it. Other extensions raise EInvalidGraphic.
  void LoadFromFile(const std::u16string& AFileName) override;

  void CopyPropertiesTo(TCustomBitmap32* ADst) const override;
  void SetBackend(TCustomBackend* ABackend) override;

 protected:
  virtual void HandleChanged();
  void FinalizeBackend() override;
  void BackendChangedHandler(TObject* ASender) override;
  void BackendChangingHandler(TObject* ASender) override;
  // BMP pictures of any other depth or compression, read by the hardened DIB reader; alpha 255 unless stored.
  void LoadFromOtherFormat(TStream& AStream) override;

 private:
  void HookBackend();
  void UnhookBackend();
  void FontChanged(TObject* ASender) {}
  void CanvasChanged(TObject* ASender) { Changed(); }
  // Draws AGraphic on a canvas over the device context into (0, 0, Width, Height) after filling AFillColor.
  void DrawGraphic(TGraphic& AGraphic, TColor32 AFillColor);
};

// Start and end of the unit: the stock system font, selected into device contexts whose font is changing.
void InitializeGDIBackend();
void FinalizeGDIBackend();
