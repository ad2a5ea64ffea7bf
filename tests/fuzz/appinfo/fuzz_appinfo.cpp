// Arbitrary bytes as a downloaded application-information file: decoded, parsed, every address looked up, mapped
// and localized, the version list split and compared. Nothing may crash, and no address the check accepts may hold
// what a browser's command line must not see.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/cuKnot.h"
#include "foundation/cuUtils.h"
#include "foundation/cuWebSupport.h"

namespace {

void Check(bool ACondition, const char* AWhat) {
  if (ACondition) return;
  std::fprintf(stderr, "appinfo: %s\n", AWhat);
  std::abort();
}

bool StartsWithNoCase(const std::u16string& AText, std::u16string_view APrefix) {
  if (AText.size() <= APrefix.size()) return false;
  for (size_t i = 0; i < APrefix.size(); ++i) {
    char16_t c = AText[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != APrefix[i]) return false;
  }
  return true;
}

// The rule written out again, independently of the check.
void CheckAddress(const std::u16string& AAddress) {
  if (!IsBrowsableUrl(AAddress)) return;
  Check(StartsWithNoCase(AAddress, u"http://") || StartsWithNoCase(AAddress, u"https://"), "scheme accepted");
  for (char16_t c : AAddress) Check(c > u' ' && c != u'"' && c != 0x7F, "character accepted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::u16string text = DecodeAppInfo(AData, ASize);
  TKnot info;
  ParseAppInfo(info, text);

  // The program's key and language: the first knot under "Applications" and the first mapping when there are.
  std::u16string key = u"QuillBox";
  if (TKnot* applications = info.FindKnot(u"Applications"))
    if (TKnot* first = applications->FirstKnot()) key = ApplicationKey(first->Name());
  std::u16string language = u"ENU";
  if (TKnot* map = info.FindKnot(u"AppLangToWebLang"))
    if (TKnot* first = map->FirstKnot())
      if (const TKnotParam* lang = first->FindParam(u"AppLang")) language = lang->Value();
  const std::u16string web = MapAppLangToWebLang(info, language);

  for (const char16_t* attribute : {u"DownloadPage", u"OnlineHelpPage", u"HomePage", u"CommunityPage", u"ForumPage"}) {
    const std::u16string address = ApplicationAttribute(info, key, attribute);
    CheckAddress(address);
    CheckAddress(LocalizeWebAddress(address, web));
  }
  CheckAddress(LocalizeWebAddress(ResourceAttribute(info, u"ThemesPage"), web));
  CheckAddress(text);

  const std::vector<std::u16string> versions = SplitVersionList(ApplicationAttribute(info, key, u"ActualVersions"));
  const std::u16string joined = JoinVersionList(versions);
  for (const std::u16string& entry : versions) Check(IsCurrentVersion(versions, entry), "an entry is not current");
  IsCurrentVersion(versions, joined);
  // Splitting the raw text too reaches quotes and commas the knot reader would not leave in a value.
  const std::vector<std::u16string> raw = SplitVersionList(text);
  if (!raw.empty()) Check(IsCurrentVersion(raw, raw.front()), "the first raw entry is not current");
  return 0;
}
