// audio.cpp -- the audio output devices (to come: the mixer and its SDL back-end).
#include "platform/platform.h"

namespace platform {

// Until the mixer lands every device fails to open, which the game treats
// like a machine without sound.
bool open_audio_output() { return false; }

bool open_recording_audio(int, int) { return false; }

void close_audio() {}

}  // namespace platform
