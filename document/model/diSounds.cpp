#include "document/model/diSounds.h"

#include <utility>

#ifdef _WIN32
#include "foundation/cuWin32.h"

#include <mmsystem.h>

#include <string>
#endif

std::unique_ptr<TSoundsSettings, TNodeDeleter> SoundsSettings;

namespace {

TSoundPlayer& Player() {
#ifdef _WIN32
  static TSoundPlayer player = [](std::u16string_view AName) { PlayResourceSound(AName); };
#else
  static TSoundPlayer player;
#endif
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

#ifdef _WIN32
bool PlayResourceSound(std::u16string_view AName) {
  const std::u16string name(AName);
  HRSRC info = FindResourceW(nullptr, WStr(name), RT_RCDATA);
  if (!info) return false;
  HGLOBAL data = LoadResource(nullptr, info);
  const void* wave = data ? LockResource(data) : nullptr;
  // Resource memory lives as long as the program, so the asynchronous player may keep reading it.
  return wave &&
         PlaySoundW(static_cast<LPCWSTR>(wave), nullptr, SND_ASYNC | SND_NODEFAULT | SND_MEMORY | SND_NOSTOP);
}
#endif
