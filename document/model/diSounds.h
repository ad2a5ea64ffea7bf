// The sounds settings node.
#pragma once

#include "foundation/cuProps.h"

#include <functional>
#include <memory>
#include <string_view>

// "Sounds" with "Enabled".
class TSoundsSettings : public TProperty {
 public:
  explicit TSoundsSettings(TProperty* AParent);
  TBooleanProperty* Enabled;
};

// The program's sounds settings, alive between InitializeSoundsSettings and FinalizeSoundsSettings.
extern std::unique_ptr<TSoundsSettings, TNodeDeleter> SoundsSettings;
void InitializeSoundsSettings();
void FinalizeSoundsSettings();

// Plays one of the engine's sounds when "Sounds"/"Enabled" is on (never before the settings node exists), through
// the sound player: the system's once the program has started, nothing before. Sheets play every sound through here.
void PlaySchemeSound(std::u16string_view AName);
// Replaces the sound player (tests record the names); returns the previous one. An empty player plays nothing.
using TSoundPlayer = std::function<void(std::u16string_view AName)>;
TSoundPlayer SetSoundPlayer(TSoundPlayer APlayer);
