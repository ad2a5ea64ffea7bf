#include "document/model/diSounds.h"

#include <utility>

std::unique_ptr<TSoundsSettings, TNodeDeleter> SoundsSettings;

namespace {

// Empty until the program's start-up gives it the system's player.
TSoundPlayer& Player() {
  static TSoundPlayer player;
  return player;
}

}  // namespace

TSoundsSettings::TSoundsSettings(TProperty* AParent) : TProperty(AParent, u"Sounds") {
  Enabled = new TBooleanProperty(this, u"Enabled", true);
}

void InitializeSoundsSettings() { SoundsSettings.reset(new TSoundsSettings(nullptr)); }

void FinalizeSoundsSettings() { SoundsSettings.reset(); }

void PlaySchemeSound(std::u16string_view AName) {
  if (SoundsSettings && SoundsSettings->Enabled->Value() && Player()) Player()(AName);
}

TSoundPlayer SetSoundPlayer(TSoundPlayer APlayer) {
  TSoundPlayer previous = std::move(Player());
  Player() = std::move(APlayer);
  return previous;
}
