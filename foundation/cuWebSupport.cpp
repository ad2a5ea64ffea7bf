#include "foundation/cuWebSupport.h"

#include "foundation/cuKnot.h"
#include "foundation/cuSystem.h"
#include "foundation/cuUnicode.h"
#include "foundation/cuUtils.h"

#include <algorithm>

namespace {

std::u16string ParamOf(TKnot* AKnot, std::u16string_view AName) {
  if (!AKnot) return {};
  const TKnotParam* param = AKnot->FindParam(AName);
  return param ? param->Value() : std::u16string();
}

}  // namespace

std::u16string DecodeAppInfo(const void* ABytes, size_t ACount) {
  const auto* bytes = static_cast<const unsigned char*>(ABytes);
  if (ACount >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    return Utf8ToUtf16(bytes + 3, ACount - 3);
  return AnsiToString(bytes, ACount);
}

void ParseAppInfo(TKnot& AInfo, std::u16string_view AText) {
  AInfo.Clear();
  AInfo.LoadFromString(AText);
}

std::u16string ApplicationKey(std::u16string_view AProductName) {
  std::u16string key(AProductName);
  std::erase(key, u' ');
  return key;
}

std::u16string ApplicationAttribute(TKnot& AInfo, std::u16string_view AKey, std::u16string_view AAttribute) {
  TKnot* applications = AInfo.FindKnot(u"Applications");
  // An empty key names no knot: a program without a version block finds nothing.
  if (!applications || AKey.empty()) return {};
  return ParamOf(applications->FindKnot(AKey), AAttribute);
}

std::u16string ResourceAttribute(TKnot& AInfo, std::u16string_view AAttribute) {
  return ParamOf(AInfo.FindKnot(u"Resources"), AAttribute);
}

std::u16string MapAppLangToWebLang(TKnot& AInfo, std::u16string_view ALanguage) {
  TKnot* map = AInfo.FindKnot(u"AppLangToWebLang");
  if (!map) return {};
  for (TKnot* k = map->FirstKnot(); k; k = k->NextKnot()) {
    const TKnotParam* lang = k->FindParam(u"AppLang");
    if (lang && lang->Value() == ALanguage) return ParamOf(k, u"WebLang");
  }
  return ParamOf(map, u"DefaultWebLang");
}

std::u16string LocalizeWebAddress(std::u16string_view AAddress, std::u16string_view AWebLang) {
  static constexpr std::u16string_view Placeholder = u"%lang%";
  std::u16string result;
  size_t from = 0;
  for (size_t at = AAddress.find(Placeholder); at != std::u16string_view::npos; at = AAddress.find(Placeholder, from)) {
    result.append(AAddress.substr(from, at - from)).append(AWebLang);
    from = at + Placeholder.size();
  }
  result.append(AAddress.substr(from));
  return result;
}

// The server's addresses carry no blanks: one with a blank is refused rather than guessed at.
std::vector<std::u16string> SplitVersionList(std::u16string_view AList) {
  std::vector<std::u16string> entries;
  if (AList.empty()) return entries;
  std::u16string entry;
  bool quoted = false;
  for (size_t i = 0; i < AList.size(); ++i) {
    const char16_t c = AList[i];
    if (c == u'"') {
      if (quoted && i + 1 < AList.size() && AList[i + 1] == u'"') {
        entry += u'"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == u',' && !quoted) {
      entries.push_back(std::move(entry));
      entry.clear();
    } else {
      entry += c;
    }
  }
  entries.push_back(std::move(entry));
  return entries;
}

bool IsCurrentVersion(const std::vector<std::u16string>& AList, std::u16string_view AVersion) {
  const std::u16string version = Trim(AVersion);
  return std::any_of(AList.begin(), AList.end(),
                     [&](const std::u16string& AEntry) { return SameTextFolded(Trim(AEntry), version); });
}

std::u16string JoinVersionList(const std::vector<std::u16string>& AList) {
  std::u16string text;
  for (const std::u16string& entry : AList) {
    if (!text.empty()) text += u", ";
    text += Trim(entry);
  }
  return text;
}
