#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/cuLocalization.h"
#ifdef _WIN32
#include "foundation/cuLocalizationWin.h"
#endif

namespace {

struct TPlaceholderCase {
  const char16_t* Template;
  std::vector<std::u16string_view> Args;
  const char16_t* Expected;
};

TEST(FormatPlaceholders, ReplacesEachNumberedPlaceholderOnceInOnePass) {
  const TPlaceholderCase cases[] = {
      {u"File not found: %1", {u"C:\\a.qbx"}, u"File not found: C:\\a.qbx"},
      {u"%2 before %1", {u"a", u"b"}, u"b before a"},
      {u"%1 and %1", {u"a"}, u"a and %1"},  // only the first occurrence
      {u"%1%2", {u"%2", u"b"}, u"%2b"},     // inserted text is never substituted again
      {u"%10 %1", {u"a"}, u"%10 a"},        // "%1" is not the start of "%10"
      {u"%10|%1", {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"ten"}, u"ten|1"},
      {u"%3 stays", {u"a"}, u"%3 stays"},  // no argument for it
      {u"%01 %0 %", {u"a"}, u"%01 %0 %"},
      {u"100%% %1", {u"a"}, u"100%% a"},
      {u"%99999999999 %1", {u"a"}, u"%99999999999 a"},
      {u"", {u"a"}, u""},
      {u"[%1] ends", {}, u"[%1] ends"},
  };
  for (const TPlaceholderCase& c : cases)
    EXPECT_EQ(FormatPlaceholders(c.Template, c.Args), c.Expected)
        << std::string(c.Template, c.Template + std::char_traits<char16_t>::length(c.Template));
}

class TLanguageChanges {
 public:
  explicit TLanguageChanges(TLocalization& ALocalization) {
    ALocalization.AddNotifyEvent(MakeMethod<&TLanguageChanges::Handle>(this));
  }
  std::vector<intptr_t> Codes;

 private:
  void Handle(TObject*, intptr_t ANotify, intptr_t, intptr_t) { Codes.push_back(ANotify); }
};

TEST(Localization, SettingALanguageNotifiesOnlyOnAChange) {
  TLocalization localization;
  TLanguageChanges changes(localization);
  localization.SetLanguage(0x0407);
  localization.SetLanguage(0x0407);
  localization.SetDefaultLanguage(LangEnglishUS);
  localization.SetDefaultLanguage(LangEnglishUS);
  EXPECT_EQ(changes.Codes, (std::vector<intptr_t>{1, 1}));
  EXPECT_EQ(localization.Language(), 0x0407);
  EXPECT_EQ(localization.DefaultLanguage(), LangEnglishUS);
}

class LocalizationGlobal : public ::testing::Test {
 protected:
  void SetUp() override { InitializeLocalization(); }
  void TearDown() override { FinalizeLocalization(); }
};

TEST_F(LocalizationGlobal, InitializeAndFinalizeCreateAndFreeTheGlobal) {
  ASSERT_TRUE(Localization != nullptr);
  EXPECT_EQ(Localization->Language(), 0);
  EXPECT_EQ(Localization->DefaultLanguage(), 0);
  FinalizeLocalization();
  EXPECT_TRUE(Localization == nullptr);
  InitializeLocalization();
}

TEST(FormatLocStrOr, UsesTheEnglishTemplateWithoutALocalizationObject) {
  ASSERT_TRUE(Localization == nullptr);
  EXPECT_EQ(FormatLocStrOr(2066, u"File not found: %1", {u"x"}), u"File not found: x");
}

#ifdef _WIN32

TEST(LoadStringForLanguage, ReadsEntriesAnywhereInTheirBlock) {
  EXPECT_EQ(TLocalization::LoadStringForLanguage(2066, 0x0409), u"File not found: %1");
  EXPECT_EQ(TLocalization::LoadStringForLanguage(2067, 0x0409), u"Path not found: %1");
  EXPECT_EQ(TLocalization::LoadStringForLanguage(2011, 0x0409), u"English");
  EXPECT_EQ(TLocalization::LoadStringForLanguage(4000, 0x0409), u"Quillbox");
  EXPECT_EQ(TLocalization::LoadStringForLanguage(65000, 0x0409), u"Only in English");
  EXPECT_EQ(TLocalization::LoadStringForLanguage(65015, 0x0409), u"Last of its block");
  EXPECT_EQ(TLocalization::LoadStringForLanguage(65001, 0x0419), u"Привет");
}

TEST(LoadStringForLanguage, IsEmptyForAMissingEntryBlockOrLanguage) {
  EXPECT_EQ(TLocalization::LoadStringForLanguage(2065, 0x0409), u"");   // block exists, entry does not
  EXPECT_EQ(TLocalization::LoadStringForLanguage(65010, 0x0409), u"");  // inside a block with a later entry
  EXPECT_EQ(TLocalization::LoadStringForLanguage(30000, 0x0409), u"");  // no such block
  EXPECT_EQ(TLocalization::LoadStringForLanguage(2066, 0x0411), u"");   // no Japanese table
  EXPECT_EQ(TLocalization::LoadStringForLanguage(-1, 0x0409), u"");
}

TEST(Localization, FallsBackToTheDefaultLanguageThenToNothing) {
  TLocalization localization;
  localization.SetDefaultLanguage(LangEnglishUS);
  localization.SetLanguage(0x0419);
  EXPECT_EQ(localization.GetLocStr(65001), u"Привет");
  EXPECT_EQ(localization.GetLocStr(65000), u"Only in English");
  EXPECT_EQ(localization.GetLocStr(65002), u"");
  localization.SetLanguage(0);
  EXPECT_EQ(localization.GetLocStr(65001), u"Hello") << "no language chosen: the default language";
  localization.SetDefaultLanguage(0);
  localization.SetLanguage(0x0419);
  EXPECT_EQ(localization.GetLocStr(65000), u"") << "no default language: no fallback";
}

TEST(Localization, FormatLocStrFillsTheProgramsTemplate) {
  TLocalization localization;
  localization.SetLanguage(LangEnglishUS);
  EXPECT_EQ(localization.FormatLocStr(2066, {u"C:\\Notes\\a.qbx"}), u"File not found: C:\\Notes\\a.qbx");
}

TEST_F(LocalizationGlobal, FormatLocStrOrPrefersTheTable) {
  Localization->SetLanguage(0x0419);
  Localization->SetDefaultLanguage(LangEnglishUS);
  EXPECT_EQ(FormatLocStrOr(65001, u"Hi", {}), u"Привет");
  EXPECT_EQ(FormatLocStrOr(65002, u"Fallback %1", {u"x"}), u"Fallback x");
}

TEST(CreateResourceStream, ReadsANamedResourceAndRefusesWriting) {
  std::unique_ptr<TStream> stream = CreateResourceStream(nullptr, L"TESTDATA", MAKEINTRESOURCEW(10));
  ASSERT_EQ(stream->Size(), 3);
  char text[4] = {};
  EXPECT_EQ(stream->Read(text, 10), 3u);
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(stream->Read(text, 1), 0u);
  stream->SetPosition(1);
  EXPECT_EQ(stream->Read(text, 1), 1u);
  EXPECT_EQ(text[0], 'b');
  EXPECT_THROW(stream->WriteBuffer("x", 1), EStreamError);
  EXPECT_THROW(CreateResourceStream(nullptr, L"MISSING", MAKEINTRESOURCEW(10)), EStreamError);
}

#endif

}  // namespace
