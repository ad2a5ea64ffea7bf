// The application-information file's platform-free half: decoding, look-ups, the language map, version lists and
// the address check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/cuKnot.h"
#include "foundation/cuUtils.h"
#include "foundation/cuWebSupport.h"

namespace {

const char16_t* const AppInfo =
    u"<AppInfo>\r\n"
    u"  <Applications>\r\n"
    u"    <QuillBox ActualVersions=\"1.0.4, 1.0.5\" OnlineHelpPage=\"http://h.example/%lang%/help/%lang%.html\"/>\r\n"
    u"  </Applications>\r\n"
    u"  <Resources ThemesPage=\"http://h.example/themes\"/>\r\n"
    u"  <AppLangToWebLang DefaultWebLang=\"en\">\r\n"
    u"    <Map AppLang=\"DEU\" WebLang=\"de\"/>\r\n"
    u"    <Map AppLang=\"RUS\" WebLang=\"ru\"/>\r\n"
    u"    <Map AppLang=\"DEU\" WebLang=\"second\"/>\r\n"
    u"  </AppLangToWebLang>\r\n"
    u"</AppInfo>\r\n";

TEST(WebSupport, BytesAreUtf8AfterAByteOrderMarkAndAnsiOtherwise) {
  EXPECT_EQ(DecodeAppInfo("\xEF\xBB\xBF\xC3\x84x", 6), u"\u00C4x");
  // Without a mark the same UTF-8 bytes are two ANSI characters.
  EXPECT_EQ(DecodeAppInfo("\xC3\x84x", 3), u"\u00C3\u201Ex");
  EXPECT_EQ(DecodeAppInfo("\xC4", 1), u"\u00C4");
  EXPECT_EQ(DecodeAppInfo("\xEF\xBB", 2), u"\u00EF\u00BB");
  EXPECT_EQ(DecodeAppInfo("", 0), u"");
}

TEST(WebSupport, AttributesAreFoundUnderTheProgramsKeyAndUnderResources) {
  TKnot info;
  ParseAppInfo(info, AppInfo);
  EXPECT_EQ(ApplicationKey(u"Quill Box"), u"QuillBox");
  EXPECT_EQ(ApplicationAttribute(info, u"QuillBox", u"ActualVersions"), u"1.0.4, 1.0.5");
  EXPECT_EQ(ApplicationAttribute(info, u"QuillBox", u"HomePage"), u"");
  EXPECT_EQ(ApplicationAttribute(info, u"Other", u"ActualVersions"), u"");
  EXPECT_EQ(ApplicationAttribute(info, u"", u"ActualVersions"), u"");
  EXPECT_EQ(ResourceAttribute(info, u"ThemesPage"), u"http://h.example/themes");
  EXPECT_EQ(ResourceAttribute(info, u"Other"), u"");
  // A file cut short keeps what came before the cut.
  ParseAppInfo(info, std::u16string(AppInfo).substr(0, 120));
  EXPECT_EQ(ApplicationAttribute(info, u"QuillBox", u"ActualVersions"), u"1.0.4, 1.0.5");
  EXPECT_EQ(MapAppLangToWebLang(info, u"DEU"), u"");
}

TEST(WebSupport, TheFirstExactMappingWinsAndOthersTakeTheDefault) {
  TKnot info;
  ParseAppInfo(info, AppInfo);
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"DEU", u"de"}, {u"RUS", u"ru"}, {u"ENU", u"en"}, {u"deu", u"en"}, {u"", u"en"}};
  for (const auto& [language, web] : cases)
    EXPECT_EQ(MapAppLangToWebLang(info, language), web) << std::u16string(language).size();
}

TEST(WebSupport, EveryLangPlaceholderIsReplaced) {
  EXPECT_EQ(LocalizeWebAddress(u"http://h.example/%lang%/help/%lang%.html", u"en"),
            u"http://h.example/en/help/en.html");
  EXPECT_EQ(LocalizeWebAddress(u"%lang%%lang%", u"%lang%"), u"%lang%%lang%");
  EXPECT_EQ(LocalizeWebAddress(u"http://h.example/%LANG%/%lan", u"de"), u"http://h.example/%LANG%/%lan");
}

TEST(WebSupport, OnlyPlainHttpAddressesWithoutBlanksOrQuotesAreSafe) {
  for (const char16_t* good : {u"http://h.example/", u"HTTPS://h.example/a?b=c&d%20e"})
    EXPECT_TRUE(IsBrowsableUrl(good)) << std::u16string(good).size();
  for (const char16_t* bad : {u"http://h.example/a b", u"http://h.example/\"x", u"http://h\texample", u"file:///C:/x",
                              u"ftp://h.example/", u"", u"https://", u"http://h.example/\x7F"})
    EXPECT_FALSE(IsBrowsableUrl(bad)) << std::u16string(bad).size();
}

TEST(WebSupport, VersionListsSplitAtCommasOutsideQuotesAndKeepBlanks) {
  const std::pair<const char16_t*, std::vector<std::u16string>> cases[] = {
      {u"1.0.4, 1.0.5", {u"1.0.4", u" 1.0.5"}},
      {u"\"1.0,beta\", 1.0.5", {u"1.0,beta", u" 1.0.5"}},
      {u"a\"\"b", {u"ab"}},
      {u"\"say \"\"hi\"\"\",x", {u"say \"hi\"", u"x"}},
      {u",", {u"", u""}},
      {u"\"open, never closed", {u"open, never closed"}},
      {u"", {}},
  };
  for (const auto& [text, entries] : cases) EXPECT_EQ(SplitVersionList(text), entries) << std::u16string(text).size();
}

TEST(WebSupport, VersionsCompareTrimmedIgnoringCase) {
  const std::vector<std::u16string> list = SplitVersionList(u"1.0.4,  1.0.5-RC \t, \"2.0,x\"");
  EXPECT_TRUE(IsCurrentVersion(list, u"1.0.4"));
  EXPECT_TRUE(IsCurrentVersion(list, u"1.0.5-rc"));
  EXPECT_TRUE(IsCurrentVersion(list, u" 1.0.5-Rc "));
  EXPECT_TRUE(IsCurrentVersion(list, u"2.0,X"));
  EXPECT_FALSE(IsCurrentVersion(list, u"1.0.3"));
  EXPECT_FALSE(IsCurrentVersion(list, u"1.0.5"));
  EXPECT_FALSE(IsCurrentVersion({}, u""));
  EXPECT_EQ(JoinVersionList(list), u"1.0.4, 1.0.5-RC, 2.0,x");
}

}  // namespace
