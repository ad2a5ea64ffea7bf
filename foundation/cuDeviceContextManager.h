// One shared memory device context for making fonts at the screen's resolution without a window.
#pragma once

#include "foundation/cuSystem.h"
#include "foundation/cuWin32.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

class TFontAdvances;

// Font style bits.
using TFontStyles = uint8_t;
enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

enum TFontPitch : uint8_t { fpDefault = 0, fpVariable = 1, fpFixed = 2 };

// A GDI object (font, pen, brush, bitmap) selected into a device context for one scope; the previous one comes
// back when the scope ends.
class TSelectObjectGuard {
 public:
  TSelectObjectGuard(HDC ADC, HGDIOBJ AObject) : FDC(ADC), FPrevious(SelectObject(ADC, AObject)) {}
  ~TSelectObjectGuard() {
    if (FPrevious) SelectObject(FDC, FPrevious);
  }
  TSelectObjectGuard(const TSelectObjectGuard&) = delete;
  TSelectObjectGuard& operator=(const TSelectObjectGuard&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FPrevious;
};

// The logical font of a face (cut to LF_FACESIZE - 1 characters), a height in pixels (negative: the character
// height, positive: the cell height), styles, character set and pitch; default precision and quality.
LOGFONTW MakeLogFont(std::u16string_view AName, int AHeight, TFontStyles AStyle, BYTE ACharset, TFontPitch APitch);

class TDeviceContextManager : public TObject {
 public:
  // A DC compatible with the screen.
  TDeviceContextManager();
  ~TDeviceContextManager() override;

  HDC DC() const { return FDC; }
  int LogPixelsY() const { return FLogPixelsY; }

  // Releases what is held and makes a memory DC compatible with AReferenceDC (nil = the screen), with a 1 x 1
  // bitmap selected into it. Raises EOSError.
  void Recreate(HDC AReferenceDC);
  void Reset() { Recreate(nullptr); }

  // ASize in points; the caller frees the font with DeleteFont. Raises EOSError.
  HFONT CreateFont(const std::u16string& AName, int ASize, TFontStyles AStyle, BYTE ACharset, TFontPitch APitch,
                   int AEscapement = 0, int AOrientation = 0);
  // The logical font CreateFont asks for.
  LOGFONTW MakeFont(const std::u16string& AName, int ASize, TFontStyles AStyle, BYTE ACharset, TFontPitch APitch,
                    int AEscapement = 0, int AOrientation = 0) const;
  // A font still selected into DC is deselected first, so a font is never deleted while in use.
  void DeleteFont(HFONT AFont);
  // AText's extent in AFont as GetTextExtentPoint32W gives it on ADC, a DC at the screen's resolution. For a font
  // made by CreateFont it comes from the advances of its logical font, each character measured once on DC for all
  // fonts made alike; other fonts, and empty texts, ask GDI.
  SIZE TextExtent(HDC ADC, HFONT AFont, const char16_t* AText, int ALength);
  int TextWidth(HFONT AFont, const char16_t* AText, int ALength) { return TextExtent(FDC, AFont, AText, ALength).cx; }
  // With the cache off every width comes from GDI, as the layout's equality tests compare.
  void SetAdvanceCache(bool AOn) { FAdvanceCache = AOn; }
  bool AdvanceCache() const { return FAdvanceCache; }
  // AFont selected into DC until the result goes out of scope.
  [[nodiscard]] TSelectObjectGuard SelectFont(HFONT AFont) const { return TSelectObjectGuard(FDC, AFont); }

 private:
  void ReleaseDC();

  HDC FDC = nullptr;
  HBITMAP FBitmap = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
  HGDIOBJ FOriginalFont = nullptr;
  int FLogPixelsY = 0;

  // Logical fonts ordered by their bytes: MakeLogFont leaves no stray bytes behind the face name.
  struct TLogFontLess {
    bool operator()(const LOGFONTW& A, const LOGFONTW& B) const;
  };
  // The advances by logical font, valid for this DC, and the fonts made here with theirs.
  std::map<LOGFONTW, std::unique_ptr<TFontAdvances>, TLogFontLess> FAdvances;
  std::unordered_map<HFONT, TFontAdvances*> FFontAdvances;
  bool FAdvanceCache = true;
};

// The shared manager, alive between InitializeDeviceContextManager and FinalizeDeviceContextManager.
extern std::unique_ptr<TDeviceContextManager> DeviceContextManager;
void InitializeDeviceContextManager();
void FinalizeDeviceContextManager();
