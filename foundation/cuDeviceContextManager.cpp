#include "foundation/cuDeviceContextManager.h"

#include "foundation/cuFontAdvances.h"

#include <algorithm>
#include <cstring>

std::unique_ptr<TDeviceContextManager> DeviceContextManager;

void InitializeDeviceContextManager() { DeviceContextManager = std::make_unique<TDeviceContextManager>(); }

void FinalizeDeviceContextManager() { DeviceContextManager.reset(); }

TDeviceContextManager::TDeviceContextManager() { Reset(); }

TDeviceContextManager::~TDeviceContextManager() { ReleaseDC(); }

void TDeviceContextManager::ReleaseDC() {
  FFontAdvances.clear();
  FAdvances.clear();
  if (!FDC) return;
  SelectObject(FDC, FOldBitmap);
  if (FOriginalFont) SelectObject(FDC, FOriginalFont);
  DeleteObject(FBitmap);
  DeleteDC(FDC);
  FDC = nullptr;
  FBitmap = nullptr;
  FOldBitmap = nullptr;
  FOriginalFont = nullptr;
  FLogPixelsY = 0;
}

void TDeviceContextManager::Recreate(HDC AReferenceDC) {
  ReleaseDC();
  HDC dc = CreateCompatibleDC(AReferenceDC);
  if (!dc) throw EOSError(u"Cannot create a memory device context", GetLastError());
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 1, 1);
  if (!bitmap) {
    const DWORD error = GetLastError();
    DeleteDC(dc);
    throw EOSError(u"Cannot create the device context's bitmap", error);
  }
  FDC = dc;
  FBitmap = bitmap;
  FOldBitmap = SelectObject(dc, bitmap);
  FOriginalFont = GetCurrentObject(dc, OBJ_FONT);
  FLogPixelsY = GetDeviceCaps(dc, LOGPIXELSY);
}

LOGFONTW MakeLogFont(std::u16string_view AName, int AHeight, TFontStyles AStyle, BYTE ACharset, TFontPitch APitch) {
  LOGFONTW font{};
  font.lfHeight = AHeight;
  font.lfWeight = (AStyle & fsBold) ? FW_BOLD : FW_NORMAL;
  font.lfItalic = (AStyle & fsItalic) ? 1 : 0;
  font.lfUnderline = (AStyle & fsUnderline) ? 1 : 0;
  font.lfStrikeOut = (AStyle & fsStrikeOut) ? 1 : 0;
  font.lfCharSet = ACharset;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = APitch == fpVariable ? VARIABLE_PITCH : APitch == fpFixed ? FIXED_PITCH : DEFAULT_PITCH;
  const size_t length = std::min<size_t>(AName.size(), LF_FACESIZE - 1);
  std::copy_n(AName.data(), length, reinterpret_cast<char16_t*>(font.lfFaceName));
  return font;
}

LOGFONTW TDeviceContextManager::MakeFont(const std::u16string& AName, int ASize, TFontStyles AStyle, BYTE ACharset,
                                         TFontPitch APitch, int AEscapement, int AOrientation) const {
  LOGFONTW font = MakeLogFont(AName, -MulDiv(ASize, FLogPixelsY, 72), AStyle, ACharset, APitch);
  font.lfEscapement = AEscapement;
  font.lfOrientation = AOrientation;
  return font;
}

bool TDeviceContextManager::TLogFontLess::operator()(const LOGFONTW& A, const LOGFONTW& B) const {
  return std::memcmp(&A, &B, sizeof(LOGFONTW)) < 0;
}

HFONT TDeviceContextManager::CreateFont(const std::u16string& AName, int ASize, TFontStyles AStyle, BYTE ACharset,
                                        TFontPitch APitch, int AEscapement, int AOrientation) {
  const LOGFONTW font = MakeFont(AName, ASize, AStyle, ACharset, APitch, AEscapement, AOrientation);
  std::unique_ptr<TFontAdvances>& advances = FAdvances[font];
  if (!advances) advances = std::make_unique<TFontAdvances>(font);
  HFONT handle = CreateFontIndirectW(&font);
  if (!handle) throw EOSError(u"Cannot create the font " + AName, GetLastError());
  FFontAdvances[handle] = advances.get();
  return handle;
}

SIZE TDeviceContextManager::TextExtent(HDC ADC, HFONT AFont, const char16_t* AText, int ALength) {
  if (FAdvanceCache && ALength > 0) {
    auto it = FFontAdvances.find(AFont);
    if (it != FFontAdvances.end()) return it->second->TextExtent(FDC, AText, ALength);
  }
  TSelectObjectGuard selection(ADC, AFont);
  SIZE size{};
  GetTextExtentPoint32W(ADC, reinterpret_cast<const wchar_t*>(AText), ALength, &size);
  return size;
}

void TDeviceContextManager::DeleteFont(HFONT AFont) {
  if (!AFont) return;
  FFontAdvances.erase(AFont);
  if (FDC && GetCurrentObject(FDC, OBJ_FONT) == AFont) SelectObject(FDC, FOriginalFont);
  DeleteObject(AFont);
}
