#include "document/model/diSoundsWin.h"

#include "document/model/diSounds.h"

#include "foundation/cuWin32.h"

#include <mmsystem.h>

#include <string>

bool PlayResourceSound(std::u16string_view AName) {
  const std::u16string name(AName);
  HRSRC info = FindResourceW(nullptr, WStr(name), RT_RCDATA);
  if (!info) return false;
  HGLOBAL data = LoadResource(nullptr, info);
  const void* wave = data ? LockResource(data) : nullptr;
  // Resource memory lives as long as the program, so the asynchronous player may keep reading it.
  return wave && PlaySoundW(static_cast<LPCWSTR>(wave), nullptr, SND_ASYNC | SND_NODEFAULT | SND_MEMORY | SND_NOSTOP);
}

void InitializeSoundPlayer() {
  SetSoundPlayer([](std::u16string_view AName) { PlayResourceSound(AName); });
}

void FinalizeSoundPlayer() { SetSoundPlayer(nullptr); }
