#include "document/model/diThemesWin.h"

#include "document/model/diMessages.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalizationWin.h"
#include "foundation/cuUtilsWin.h"
#include "graphics/images/umGDIPlus.h"
#include "graphics/pixels/pxBitmap.h"

#include <algorithm>
#include <vector>

namespace {

std::unique_ptr<TCustomBitmap32> DecodeAtlas(TStream& APng) {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  DecodePicture(APng, width, height, pixels);
  auto atlas = std::make_unique<TCustomBitmap32>();
  atlas->SetSize(width, height);
  if (atlas->Empty()) throw EStreamError(u"the picture is empty");
  std::copy(pixels.begin(), pixels.end(), atlas->Bits());
  atlas->Changed();
  return atlas;
}

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM AFound) {
  *reinterpret_cast<bool*>(AFound) = true;
  return 0;
}

}  // namespace

bool IsScreenFontInstalled(std::u16string_view AName) {
  if (AName.empty() || AName.size() >= LF_FACESIZE) return false;
  LOGFONTW font{};
  font.lfCharSet = DEFAULT_CHARSET;
  std::copy(AName.begin(), AName.end(), font.lfFaceName);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &font, FontFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

void LoadThemeFromResource(TSheetTheme& ATheme, std::u16string_view APrefix) {
  const std::u16string info = std::u16string(APrefix) + u"Info";
  const std::u16string image = std::u16string(APrefix) + u"Image";
  std::unique_ptr<TStream> text = CreateResourceStream(nullptr, WStr(info), RT_RCDATA);
  std::unique_ptr<TStream> png = CreateResourceStream(nullptr, WStr(image), RT_RCDATA);
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromStream(*text);
  ATheme.LoadFromKnot(*knot, DecodeAtlas(*png), IsScreenFontInstalled);
}

void LoadThemeFromFile(TSheetTheme& ATheme, const std::u16string& AFileName) {
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromFile(AFileName);
  if (knot->HasParseError()) throw EStreamError(u"the description is damaged");
  const size_t dot = AFileName.find_last_of(u".\\/");
  const std::u16string png =
      (dot != std::u16string::npos && AFileName[dot] == u'.' ? AFileName.substr(0, dot) : AFileName) + u".png";
  if (!FileExists(png)) RaiseFileNotFound(png);
  TFileStream stream(png, TFileMode::fmOpenRead);
  ATheme.LoadFromKnot(*knot, DecodeAtlas(stream), IsScreenFontInstalled);
}

std::u16string GetThemeFolder() { return GetApplicationFolder() + u"Themes\\"; }

std::u16string LoadTheme(TSheetTheme& ATheme, const std::u16string& AName, TElementMessages* AMessages) {
  static constexpr char16_t BuiltIn[] = u"RavelwrightDefaultTheme";
  if (SameTextAscii(AName, u"Default")) {
    LoadThemeFromResource(ATheme, BuiltIn);
    return {};
  }
  std::u16string reason;
  try {
    LoadThemeFromFile(ATheme, GetThemeFolder() + AName + u".txt");
    return {};
  } catch (const Exception& e) {
    reason = e.Message();
  }
  LoadThemeFromResource(ATheme, BuiltIn);
  const std::u16string message = FormatLocStrOr(
      IdThemeNotUsable, u"The theme \"%1\" cannot be used (%2); the built-in theme is shown instead", {AName, reason});
  if (AMessages) AMessages->Add(mkWarning, message);
  return message;
}
