#include "app/unSettings.h"
#include "controls/baAppCmpns.h"
#include "document/model/diCanvas.h"
#include "document/model/diNaming.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwComponents.h"
#include "tests/app/AppFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

const std::vector<std::u16string> AllEleven{u"DEU", u"ENU", u"ESP", u"FRA", u"ITA", u"JPN",
                                            u"NLD", u"PLK", u"PTB", u"RUS", u"CHS"};

TEST(DefaultLanguage, PrimaryLanguageOfTheUserChoosesAndASingleAvailableLanguageWins) {
  struct TCase {
    LANGID User;
    std::vector<std::u16string> Available;
    const char16_t* Expected;
  };
  const TCase cases[] = {
      {0x0407, AllEleven, u"DEU"},  // German (Germany)
      {0x0807, AllEleven, u"DEU"},  // German (Switzerland): the primary language counts
      {0x0412, AllEleven, u"ENU"},  // Korean: not one of the program's
      {0x0404, AllEleven, u"CHS"},  // Chinese (Taiwan)
      {0x0411, AllEleven, u"JPN"}, {0x0416, AllEleven, u"PTB"}, {0x0419, {u"ENU", u"RUS"}, u"RUS"},
      {0x0412, {u"DEU"}, u"DEU"},  {0x0407, {u"ENU"}, u"ENU"},  {0x0407, {}, u"DEU"},
  };
  for (const TCase& c : cases) EXPECT_EQ(DefaultLanguageFor(c.User, c.Available), c.Expected) << std::hex << c.User;
}

TEST(AvailableLanguages, OnlyLanguagesWithATableOfTheirOwnAreOffered) {
  EXPECT_TRUE(HasInterfaceTable(0x0409));
  EXPECT_TRUE(HasInterfaceTable(0x0407));
  // The German table does not serve Swiss German, nor English the British.
  EXPECT_FALSE(HasInterfaceTable(0x0807));
  EXPECT_FALSE(HasInterfaceTable(0x0809));
  EXPECT_FALSE(HasInterfaceTable(0x0412));
  const std::vector<TInstalledLanguage> installed{
      {0x0807, u"DES"}, {0x0407, u"DEU"}, {0x0412, u"KOR"}, {0x0409, u"ENU"}, {0x0809, u"ENG"}};
  EXPECT_EQ(AvailableLanguagesAmong(installed), (std::vector<std::u16string>{u"DEU", u"ENU"}));
}

// The interface languages the program carries a table for, each with its own name (string 2011).
struct TShippedLanguage {
  LANGID Id;
  const char16_t* Code;
  const char16_t* Name;
};
const TShippedLanguage ShippedLanguages[] = {
    {0x0407, u"DEU", u"Deutsch"},    {0x0409, u"ENU", u"English"},  {0x040A, u"ESP", u"Español"},
    {0x040C, u"FRA", u"Français"},   {0x0410, u"ITA", u"Italiano"}, {0x0411, u"JPN", u"日本語"},
    {0x0413, u"NLD", u"Nederlands"}, {0x0415, u"PLK", u"Polski"},   {0x0416, u"PTB", u"Português (Brasil)"},
    {0x0419, u"RUS", u"Русский"},    {0x0804, u"CHS", u"简体中文"},
};

TEST(AvailableLanguages, EveryShippedTableIsOfferedOnceUnderItsCodeAndNamesItsOwnLanguage) {
  std::vector<std::u16string> expected;
  for (const TShippedLanguage& language : ShippedLanguages) {
    expected.push_back(language.Code);
    EXPECT_EQ(TLocalization::LoadStringForLanguage(2011, language.Id), language.Name) << language.Id;
    // The stored code leads back to the table's language, not to another sort or country of it.
    LANGID found = 0;
    EXPECT_TRUE(FindLanguageLocale(language.Code, found)) << language.Id;
    EXPECT_EQ(found, language.Id);
  }
  std::vector<std::u16string> available = GetAvailableLanguages();
  std::sort(expected.begin(), expected.end());
  std::sort(available.begin(), available.end());
  EXPECT_EQ(available, expected);
}

TEST(SettingsTree, NodesStandInFileOrderAndFirstStartDefaultsFillTheLanguage) {
  TNodePtr<TSettings> settings(new TSettings());
  std::vector<std::u16string> names;
  for (TProperty* p = settings->FirstProperty(); p; p = p->NextProperty()) names.push_back(p->Name());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"General", u"Sheet", u"Search", u"Print", u"Misc"}));
  EXPECT_EQ(settings->Name(), u"");
  EXPECT_EQ(settings->Sheet->CaretSize->Value(), GetSystemMetrics(SM_CXBORDER));

  EXPECT_EQ(settings->General->Language->Value(), u"");
  settings->Broadcast(pmApplyFirstStartDefaults, 0, 0, true, true);
  EXPECT_EQ(settings->General->Language->Value(), GetDefaultLanguage());
}

TEST(SettingsTree, AMissingGeneralKnotKeepsValuesAndALanguageKnotWithoutValueEmptiesIt) {
  TNodePtr<TSettings> settings(new TSettings());
  settings->General->Language->SetValue(u"FRA");
  settings->General->AutoStart->SetValue(false);
  settings->General->HotKey->SetValue(u"Ctrl+Alt+Q");

  TKnot withoutGeneral;
  withoutGeneral.FindOrAddKnot(u"Search")->FindOrAddKnot(u"CaseSensitiveByDefault")->WriteBool(u"Value", true);
  settings->LoadFromKnot(withoutGeneral);
  EXPECT_EQ(settings->General->Language->Value(), u"FRA");
  EXPECT_FALSE(settings->General->AutoStart->Value());
  EXPECT_EQ(settings->General->HotKey->Value(), u"Ctrl+Alt+Q");
  EXPECT_TRUE(settings->Search->CaseSensitiveByDefault->Value());

  TKnot languageWithoutValue;
  languageWithoutValue.FindOrAddKnot(u"General")->FindOrAddKnot(u"Language");
  settings->LoadFromKnot(languageWithoutValue);
  EXPECT_EQ(settings->General->Language->Value(), u"");
  EXPECT_EQ(settings->General->HotKey->Value(), u"Ctrl+Alt+Q");
}

TEST(SettingsTree, ACaretSizeOutsideItsRangeLoadsAsTheDefault) {
  for (const char16_t* stored : {u"0", u"25", u"-3", u"x"}) {
    TNodePtr<TSettings> settings(new TSettings());
    settings->Sheet->CaretSize->SetValue(5);
    TKnot knot;
    knot.FindOrAddKnot(u"Sheet")->FindOrAddKnot(u"CaretSize")->WriteString(u"Value", stored);
    settings->LoadFromKnot(knot);
    EXPECT_EQ(settings->Sheet->CaretSize->Value(), 1) << std::u16string(stored).size();
  }
  TNodePtr<TSettings> settings(new TSettings());
  TKnot knot;
  knot.FindOrAddKnot(u"Sheet")->FindOrAddKnot(u"CaretSize")->WriteString(u"Value", u"20");
  settings->LoadFromKnot(knot);
  EXPECT_EQ(settings->Sheet->CaretSize->Value(), 20);
}

class SettingsFileTest : public TStartedUnitsTest {
 protected:
  std::unique_ptr<TSessionFile, TComponentDeleter> NewFile() {
    std::unique_ptr<TSessionFile, TComponentDeleter> file(New<TSessionFile>(nullptr));
    file->SetFileName(Scratch() + u"Quillbox.settings");
    return file;
  }

  // The leaves in tree order.
  static std::vector<TOneValueProperty*> Leaves(TSettings& ASettings) {
    std::vector<TOneValueProperty*> leaves;
    ASettings.CollectNodes(leaves, true);
    return leaves;
  }

  static std::u16string ValueText(TOneValueProperty& AProperty) {
    if (auto* b = dynamic_cast<TBooleanProperty*>(&AProperty)) return b->Value() ? u"1" : u"0";
    if (auto* i = dynamic_cast<TIntegerProperty*>(&AProperty)) return IntToStr(i->Value());
    if (auto* s = dynamic_cast<TStringProperty*>(&AProperty)) return u"'" + s->Value() + u"'";
    if (auto* e = dynamic_cast<TEnumProperty*>(&AProperty)) return e->ValueName();
    return u"?";
  }
};

TEST_F(SettingsFileTest, RandomTreesComeBackFromTheFileValueForValue) {
  const std::u16string pool = u"aZ09 _-.,;:=\"'%\\/<>&#\tЖюλ中文🙂";
  std::mt19937 random(20241207);
  auto pick = [&random](int ALow, int AHigh) { return std::uniform_int_distribution<int>(ALow, AHigh)(random); };
  for (int round = 0; round < 40; ++round) {
    TNodePtr<TSettings> written(new TSettings());
    new TNamingSettings(written->Sheet);
    for (TOneValueProperty* leaf : Leaves(*written)) {
      if (pick(0, 3) == 0) continue;  // some keys keep their defaults
      if (auto* b = dynamic_cast<TBooleanProperty*>(leaf)) {
        b->SetValue(pick(0, 1) == 1);
      } else if (auto* i = dynamic_cast<TIntegerProperty*>(leaf)) {
        i->SetValue(pick(i->Min(), i->Max()));
      } else if (auto* e = dynamic_cast<TEnumProperty*>(leaf)) {
        e->SetValue(pick(0, static_cast<int>(e->Names().size()) - 1));
      } else if (auto* s = dynamic_cast<TStringProperty*>(leaf)) {
        std::u16string text;
        for (int n = pick(0, 12); n > 0; --n) {
          const size_t at = static_cast<size_t>(pick(0, static_cast<int>(pool.size()) - 1));
          // A surrogate pair goes whole.
          if ((pool[at] & 0xFC00) == 0xDC00)
            text += pool.substr(at - 1, 2);
          else if ((pool[at] & 0xFC00) == 0xD800)
            text += pool.substr(at, 2);
          else
            text += pool[at];
        }
        s->SetValue(text);
      }
    }
    auto file = NewFile();
    written->SaveToKnot(file->Knot());
    ASSERT_TRUE(file->Save());

    auto reread = NewFile();
    reread->Load();
    ASSERT_EQ(reread->State(), TSessionFile::TState::sfLoaded);
    ASSERT_FALSE(reread->Knot().HasParseError());
    TNodePtr<TSettings> read(new TSettings());
    new TNamingSettings(read->Sheet);
    read->LoadFromKnot(reread->Knot());

    const auto expected = Leaves(*written);
    const auto actual = Leaves(*read);
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t k = 0; k < expected.size(); ++k)
      EXPECT_EQ(ValueText(*actual[k]), ValueText(*expected[k])) << "round " << round << ", key " << k;
  }
}

TEST_F(SettingsFileTest, ATreeOfDefaultsLeavesTheRootAloneInTheFile) {
  TNodePtr<TSettings> settings(new TSettings());
  new TNamingSettings(settings->Sheet);
  auto file = NewFile();
  settings->SaveToKnot(file->Knot());
  // The node knots are there in memory; the file skips them while they are empty.
  EXPECT_NE(file->Knot().FindKnot(u"Sheet"), nullptr);
  ASSERT_TRUE(file->Save());
  auto reread = NewFile();
  reread->Load();
  EXPECT_EQ(reread->Knot().Name(), u"Quillbox");
  EXPECT_EQ(reread->Knot().FirstKnot(), nullptr);
}

}  // namespace
