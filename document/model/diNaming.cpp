#include "document/model/diNaming.h"

std::unique_ptr<TNamingSettings, TNodeDeleter> NamingSettings;

TNamingSettings::TNamingSettings(TProperty* AParent) : TProperty(AParent, u"Naming") {
  FillEnabled = new TBooleanProperty(this, u"FillEnabled", true);
  FillMode = new TEnumProperty(this, u"FillMode", {u"", u"Upper", u"Lower", u"Extra"});
  FillNumberFirst = new TBooleanProperty(this, u"FillNumberFirst", true);
  FillUnderscore = new TBooleanProperty(this, u"FillUnderscore", false);
  FillDigits = new TIntegerProperty(this, u"FillDigits", 1, 1, 12);
}

void InitializeNamingSettings() { NamingSettings.reset(new TNamingSettings(nullptr)); }

void FinalizeNamingSettings() { NamingSettings.reset(); }

std::u16string MakeValidFileName(std::u16string_view AText) {
  std::u16string r;
  for (char16_t c : AText.substr(0, 260))
    if (c >= 32 && std::u16string_view(u"\"*/:<>?\\|").find(c) == std::u16string_view::npos) r += c;
  return r;
}
