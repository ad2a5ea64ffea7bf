// Pictures that draw themselves on a canvas: the device-independent bitmap, the icon and the metafile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/cuStreams.h"
#include "foundation/cuWin32.h"
#include "framework/fwGraphics.h"

// A picture could not be read or made.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

class TGraphic : public TPersistent {
 public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const = 0;
  // Transparent pictures leave the background visible where they have no pixels.
  virtual bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool AValue);

  // Raises EInvalidGraphic for data the class cannot read.
  virtual void LoadFromStream(TStream& AStream) = 0;
  virtual void SaveToStream(TStream& AStream) = 0;
  void LoadFromFile(const std::u16string& AFileName);
  void SaveToFile(const std::u16string& AFileName);

  TNotifyEvent OnChange;

 protected:
  friend class TCanvas;
  // Draws the picture stretched into ARect of ACanvas.
  virtual void Draw(TCanvas& ACanvas, const RECT& ARect) = 0;
  void Changed();

  bool FTransparent = false;
};

enum class TPixelFormat : uint8_t { pf24bit, pf32bit };
// How the fourth byte of a 32-bit bitmap is drawn: ignored, straight alpha, or alpha already multiplied in.
enum class TAlphaFormat : uint8_t { afIgnored, afDefined, afPremultiplied };
// Auto: the transparent colour is the bottom-left pixel; fixed: the colour set with SetTransparentColor.
enum class TTransparentMode : uint8_t { tmAuto, tmFixed };

class TBitmapCanvas;

// A top-down device-independent section of 24 or 32 bits per pixel with a canvas on a memory device context.
// New and resized bitmaps are white (alpha 255 in 32 bits). Every change of size, format or pixels through the
// canvas fires OnChange.
class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int AWidth, int AHeight, TPixelFormat AFormat = TPixelFormat::pf24bit);
  ~TBitmap() override;

  // From another TBitmap: size, format, pixels and transparency. From another picture: this bitmap takes its
  // size, is filled white and has the picture drawn in.
  void Assign(const TPersistent* ASource) override;

  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  bool Empty() const override { return FWidth == 0 || FHeight == 0; }
  void SetSize(int AWidth, int AHeight);
  void SetWidth(int AValue) { SetSize(AValue, FHeight); }
  void SetHeight(int AValue) { SetSize(FWidth, AValue); }

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // Converts the pixels; 24 to 32 bits gives alpha 255.
  void SetPixelFormat(TPixelFormat AValue);
  TAlphaFormat AlphaFormat() const { return FAlphaFormat; }
  void SetAlphaFormat(TAlphaFormat AValue);

  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode AValue);
  TColor TransparentColor() const;
  // Fixes the transparent colour (mode becomes fixed).
  void SetTransparentColor(TColor AValue);

  // The DIB section (nullptr while empty), owned by the bitmap. Asking for it releases the canvas's device
  // context (made again by the next drawing), so the section can be selected into another context.
  HBITMAP Handle() const {
    FreeCanvasContext();
    return FHandle;
  }
  // Row Y (0 = top); rows are BytesPerLine() apart.
  void* ScanLine(int Y);
  const void* ScanLine(int Y) const;
  int BytesPerLine() const;

  TCanvas& Canvas();

  // BMP data of any bit depth; 32-bit data keeps its fourth byte, every other depth becomes 24 bits.
  void LoadFromStream(TStream& AStream) override;
  // A bottom-up BMP of the bitmap's own depth.
  void SaveToStream(TStream& AStream) override;
  // A bitmap resource (RT_BITMAP) of the module.
  void LoadFromResourceName(HINSTANCE AInstance, std::u16string_view AName);
  void LoadFromResourceID(HINSTANCE AInstance, int AId);
  // A packed DIB (BITMAPINFO, colour table, pixels), as found in resources and on the clipboard.
  void LoadFromDIB(const void* AData, size_t ASize);
  // Takes the picture of a device-dependent or DIB handle (the handle stays the caller's).
  void LoadFromHandle(HBITMAP ABitmap);

 protected:
  void Draw(TCanvas& ACanvas, const RECT& ARect) override;

 private:
  friend class TBitmapCanvas;
  void NewSurface(int AWidth, int AHeight, TPixelFormat AFormat, bool AWhite);
  void FreeCanvasContext() const;
  void CanvasChanged(TObject* ASender);

  int FWidth = 0;
  int FHeight = 0;
  TPixelFormat FPixelFormat = TPixelFormat::pf24bit;
  TAlphaFormat FAlphaFormat = TAlphaFormat::afIgnored;
  TTransparentMode FTransparentMode = TTransparentMode::tmAuto;
  TColor FTransparentColor = clDefault;
  HBITMAP FHandle = nullptr;
  uint8_t* FBits = nullptr;
  std::unique_ptr<TBitmapCanvas> FCanvas;
};

// An icon handle owned by the object, drawn with DrawIconEx (always transparent).
class TIcon : public TGraphic {
 public:
  TIcon();
  ~TIcon() override;
  void Assign(const TPersistent* ASource) override;

  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  bool Empty() const override { return FHandle == nullptr; }
  // The size asked for by the next load; 0 takes the system's default icon size.
  void SetSize(int AWidth, int AHeight);

  HICON Handle() const { return FHandle; }
  // Takes ownership of AIcon (nullptr empties the icon).
  void SetHandle(HICON AIcon);
  // Gives the handle to the caller; the icon becomes empty.
  HICON ReleaseHandle();

  // An icon resource (RT_GROUP_ICON) of the module at the requested size.
  void LoadFromResourceName(HINSTANCE AInstance, std::u16string_view AName);
  // An .ico file: the image nearest the requested size.
  void LoadFromStream(TStream& AStream) override;
  // An .ico file with one 32-bit image and its mask.
  void SaveToStream(TStream& AStream) override;

 protected:
  void Draw(TCanvas& ACanvas, const RECT& ARect) override;

 private:
  void TakeHandle(HICON AIcon);

  HICON FHandle = nullptr;
  int FWidth = 0;
  int FHeight = 0;
  int FRequestWidth = 0;
  int FRequestHeight = 0;
};

// An enhanced metafile; Enhanced false marks one that came from (and is saved as) a placeable Windows metafile.
class TMetafile : public TGraphic {
 public:
  TMetafile();
  ~TMetafile() override;
  void Assign(const TPersistent* ASource) override;

  // Pixels at the screen's resolution.
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  bool Empty() const override { return FHandle == nullptr; }
  bool Enhanced() const { return FEnhanced; }
  void SetEnhanced(bool AValue) { FEnhanced = AValue; }

  HENHMETAFILE Handle() const { return FHandle; }
  // Takes ownership of AMetafile.
  void SetHandle(HENHMETAFILE AMetafile);
  // Copies a Windows metafile given with its picture record (as on the clipboard).
  void LoadFromMetafilePict(const METAFILEPICT& APict);

  // EMF or placeable WMF data.
  void LoadFromStream(TStream& AStream) override;
  // EMF when Enhanced, else placeable WMF.
  void SaveToStream(TStream& AStream) override;

 protected:
  void Draw(TCanvas& ACanvas, const RECT& ARect) override;

 private:
  void Clear();

  HENHMETAFILE FHandle = nullptr;
  bool FEnhanced = true;
  int FWidth = 0;
  int FHeight = 0;
};

// ---------------------------------------------------------------------------------------------------------------
// Device-independent bitmap helpers

// The header of an uncompressed device-independent bitmap, its top row first.
BITMAPINFO TopDownBitmapInfo(int AWidth, int AHeight, int ABitsPerPixel = 32);

// A 1-bit mask (of an icon or an image list) as GetDIBits gives it: rows bottom-up, each padded to four bytes.
struct TMaskBits {
  int Stride = 0;
  std::vector<uint8_t> Bits;
  // Set where the mask makes pixel X transparent; ARow counts the rows read, the bottom one first.
  bool Transparent(int X, int ARow) const {
    return (Bits[static_cast<size_t>(ARow) * Stride + X / 8] >> (7 - X % 8)) & 1;
  }
};
// ALines rows of the mask AMask, AWidth x AHeight, from row AFirstScan counted from the bottom.
TMaskBits ReadMaskBits(HDC ADC, HBITMAP AMask, int AWidth, int AHeight, int AFirstScan, int ALines);
