#include "foundation/cuDeviceContextManager.h"

#include <algorithm>

std::unique_ptr<TDeviceContextManager> DeviceContextManager;

void InitializeDeviceContextManager() { DeviceContextManager = std::make_unique<TDeviceContextManager>(); }

void FinalizeDeviceContextManager() { DeviceContextManager.reset(); }

TDeviceContextManager::TDeviceContextManager() { Reset(); }

TDeviceContextManager::~TDeviceContextManager() { ReleaseDC(); }

void TDeviceContextManager::ReleaseDC() {
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

HFONT TDeviceContextManager::CreateFont(const std::u16string& AName, int ASize, TFontStyles AStyle, BYTE ACharset,
                                        TFontPitch APitch, int AEscapement, int AOrientation) const {
  const LOGFONTW font = MakeFont(AName, ASize, AStyle, ACharset, APitch, AEscapement, AOrientation);
  HFONT handle = CreateFontIndirectW(&font);
  if (!handle) throw EOSError(u"Cannot create the font " + AName, GetLastError());
  return handle;
}

void TDeviceContextManager::DeleteFont(HFONT AFont) {
  if (!AFont) return;
  if (FDC && GetCurrentObject(FDC, OBJ_FONT) == AFont) SelectObject(FDC, FOriginalFont);
  DeleteObject(AFont);
}
