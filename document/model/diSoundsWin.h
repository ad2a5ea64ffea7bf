// The player of the short sounds held as resources.
#pragma once

#include <string_view>

// Plays the WAVE data of the RCDATA resource AName asynchronously; a sound asked for while another plays is
// dropped, and a missing resource is ignored. The caller decides whether sounds are enabled. True when the player
// took the sound; false for a missing resource or a dropped sound, which are no failures.
bool PlayResourceSound(std::u16string_view AName);

// Makes PlayResourceSound the player of the engine's sounds, and takes it away again.
void InitializeSoundPlayer();
void FinalizeSoundPlayer();
