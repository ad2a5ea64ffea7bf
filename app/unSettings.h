// The settings tree: every user setting in one property tree, saved as the settings file, and the interface
// languages the program offers.
#pragma once

#include "foundation/cuProps.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"

#include <cstdint>
#include <string>
#include <vector>

class TSheetSettings;
class TPrintSettings;

// Broadcast over the whole tree when there is no settings file yet: nodes fill in their first-start values.
constexpr int pmApplyFirstStartDefaults = 2;

// "General".
class TGeneralSettings : public TProperty {
 public:
  // ADataFileName is DataFileName's default, which the data module knows once it has placed its folders.
  TGeneralSettings(TProperty* AParent, std::u16string AName, std::u16string ADataFileName = {});

  TStringProperty* Language;  // three-letter code; empty until the first start fills it in
  // Set to the default at start when it is empty.
  TStringProperty* DataFileName;
  TBooleanProperty* AutoStart;
  TBooleanProperty* ShowInTray;
  TBooleanProperty* ShowByHotKey;
  TStringProperty* HotKey;
  TBooleanProperty* HideByEsc;
  TBooleanProperty* HideToTrayByMinimizeButton;

  // pmApplyFirstStartDefaults sets Language to GetDefaultLanguage.
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
};

// "Search".
class TSearchSettings : public TProperty {
 public:
  TSearchSettings(TProperty* AParent, std::u16string AName);

  TBooleanProperty* CaseSensitiveByDefault;
  TBooleanProperty* VisibleOnlyByDefault;
  TBooleanProperty* EnabledOnlyByDefault;
};

// "Misc": no keys of its own yet.
class TMiscSettings : public TProperty {
 public:
  using TProperty::TProperty;
};

// The root, without parent and name. Nodes of other units are hung in by the data module after it is built.
class TSettings : public TProperty {
 public:
  explicit TSettings(std::u16string ADataFileName = {});

  TGeneralSettings* General;
  TSheetSettings* Sheet;
  TSearchSettings* Search;
  TPrintSettings* Print;
  TMiscSettings* Misc;
};

// Whether the program's string tables hold a table in exactly ALanguage that names it (string 2011): a table of
// another sublanguage does not count.
bool HasInterfaceTable(LANGID ALanguage);
// The abbreviations of the languages of AInstalled, in its order, that have an interface table.
std::vector<std::u16string> AvailableLanguagesAmong(const std::vector<TInstalledLanguage>& AInstalled);
// The same over the platform's installed languages.
std::vector<std::u16string> GetAvailableLanguages();

// A single available language wins; otherwise the primary language of AUserLanguage picks one of the program's
// eleven, "ENU" for any other.
std::u16string DefaultLanguageFor(LANGID AUserLanguage, const std::vector<std::u16string>& AAvailable);
// For the user's default language and the available languages.
std::u16string GetDefaultLanguage();
