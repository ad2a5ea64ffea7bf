#include "document/model/diSounds.h"

std::unique_ptr<TSoundsSettings, TNodeDeleter> SoundsSettings;

TSoundsSettings::TSoundsSettings(TProperty* AParent) : TProperty(AParent, u"Sounds") {
  Enabled = new TBooleanProperty(this, u"Enabled", true);
}

void InitializeSoundsSettings() { SoundsSettings.reset(new TSoundsSettings(nullptr)); }

void FinalizeSoundsSettings() { SoundsSettings.reset(); }
