#include "app/unSettings.h"

#include "document/model/diCanvas.h"
#include "foundation/cuLocalization.h"

#include <utility>

// The string that names a language in its own table: its presence makes the language available.
constexpr int IdLanguageName = 2011;

TGeneralSettings::TGeneralSettings(TProperty* AParent, std::u16string AName, std::u16string ADataFileName)
    : TProperty(AParent, std::move(AName)) {
  Language = new TStringProperty(this, u"Language", u"");
  DataFileName = new TStringProperty(this, u"DataFileName", std::move(ADataFileName));
  AutoStart = new TBooleanProperty(this, u"AutoStart", true);
  ShowInTray = new TBooleanProperty(this, u"ShowInTray", true);
  ShowByHotKey = new TBooleanProperty(this, u"ShowByHotKey", true);
  HotKey = new TStringProperty(this, u"HotKey", u"Ctrl+Shift+E");
  HideByEsc = new TBooleanProperty(this, u"HideByEsc", true);
  HideToTrayByMinimizeButton = new TBooleanProperty(this, u"HideToTrayByMinimizeButton", false);
}

bool TGeneralSettings::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  const bool handled = TProperty::HandleMessage(AMsg, AParam1, AParam2);
  if (AMsg == pmApplyFirstStartDefaults) Language->SetValue(GetDefaultLanguage());
  return handled;
}

TSearchSettings::TSearchSettings(TProperty* AParent, std::u16string AName) : TProperty(AParent, std::move(AName)) {
  CaseSensitiveByDefault = new TBooleanProperty(this, u"CaseSensitiveByDefault", false);
  VisibleOnlyByDefault = new TBooleanProperty(this, u"VisibleOnlyByDefault", false);
  EnabledOnlyByDefault = new TBooleanProperty(this, u"EnabledOnlyByDefault", false);
}

TSettings::TSettings(std::u16string ADataFileName) : TProperty(nullptr, u"") {
  General = new TGeneralSettings(this, u"General", std::move(ADataFileName));
  Sheet = new TSheetSettings(this, u"Sheet");
  Search = new TSearchSettings(this, u"Search");
  Print = new TPrintSettings(this, u"Print");
  Misc = new TMiscSettings(this, u"Misc");
}

bool HasInterfaceTable(LANGID ALanguage) {
  return !TLocalization::LoadStringForLanguage(IdLanguageName, ALanguage).empty();
}

std::vector<std::u16string> AvailableLanguagesAmong(const std::vector<TInstalledLanguage>& AInstalled) {
  std::vector<std::u16string> result;
  for (const TInstalledLanguage& language : AInstalled)
    if (HasInterfaceTable(language.Id)) result.push_back(language.Abbreviation);
  return result;
}

std::vector<std::u16string> GetAvailableLanguages() { return AvailableLanguagesAmong(GetInstalledLanguages()); }

std::u16string DefaultLanguageFor(LANGID AUserLanguage, const std::vector<std::u16string>& AAvailable) {
  if (AAvailable.size() == 1) return AAvailable.front();
  switch (AUserLanguage & 0x3FF) {
    case LANG_JAPANESE:
      return u"JPN";
    case LANG_GERMAN:
      return u"DEU";
    case LANG_SPANISH:
      return u"ESP";
    case LANG_CHINESE:
      return u"CHS";
    case LANG_FRENCH:
      return u"FRA";
    case LANG_ITALIAN:
      return u"ITA";
    case LANG_RUSSIAN:
      return u"RUS";
    case LANG_PORTUGUESE:
      return u"PTB";
    case LANG_DUTCH:
      return u"NLD";
    case LANG_POLISH:
      return u"PLK";
    default:
      return u"ENU";
  }
}

std::u16string GetDefaultLanguage() { return DefaultLanguageFor(GetUserDefaultLangID(), GetAvailableLanguages()); }
