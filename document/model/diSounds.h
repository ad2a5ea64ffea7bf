// The sounds settings node and the player of the short sounds held as resources.
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
// the sound player: PlayResourceSound on Windows, nothing elsewhere. Sheets play every sound through here.
void PlaySchemeSound(std::u16string_view AName);
// Replaces the sound player (tests record the names); returns the previous one. An empty player plays nothing.
using TSoundPlayer = std::function<void(std::u16string_view AName)>;
TSoundPlayer SetSoundPlayer(TSoundPlayer APlayer);

#ifdef _WIN32
// Plays the WAVE data of the RCDATA resource AName asynchronously; a sound asked for while another plays is
// dropped, and a missing resource is ignored. The caller decides whether sounds are enabled. True when the player
// took the sound; false for a missing resource or a dropped sound, which are no failures.
bool PlayResourceSound(std::u16string_view AName);
#endif
