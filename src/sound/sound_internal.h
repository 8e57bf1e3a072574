// sound_internal.h -- what the engine sound's files share among themselves.
#pragma once

#include <vector>

#include "sound/sound.h"

namespace sound {

// Makes and caches a built-in sound table of one row and two columns from a waveform: load 0
// plays it at a quarter, load 1 as it is.
const SoundTable* builtin_table(const char* name, const std::vector<float>& waveform);

}  // namespace sound
