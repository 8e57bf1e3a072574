// audio_internal.h -- the software mixer and the audio back-ends' shared state.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/platform.h"

namespace platform {

// ---------------------------------------------------------------------------
// The software mixer. Nothing here locks: a back-end with a mixing thread
// holds its mutex around every call that touches voices or mixes.

struct Mixer;

struct MixerSettings {
  int rate = 22050;          // output frames per second (Hz)
  bool stereo = false;       // interleaved left and right output
  bool sixteen_bit = false;  // signed 16-bit output, else 8-bit unsigned
  int voice_limit = 16;      // halves mixed audibly per block ("sound-channels")
  int block_frames = 344;    // frames per mixed block
};

// The mixer, or nullptr for a rate or block length below 1.
Mixer* mixer_create(const MixerSettings& settings);
// Frees the mixer and every voice still created on it.
void mixer_destroy(Mixer* mixer);

int mixer_rate(const Mixer& mixer);
int mixer_block_frames(const Mixer& mixer);
bool mixer_stereo(const Mixer& mixer);

// Mixes one block and returns it: block_frames frames (two values each when
// stereo) of bytes (8-bit) or int16_t values (16-bit). The block stays valid
// until the next call.
const void* mixer_mix(Mixer& mixer);

// Voice creation is split so that a locking back-end can allocate (which may
// end in the fatal sequence) without holding its mutex, and link under it.
// `mixer_new_voice` only reads the mixer's fixed settings. It copies `length`
// 8-bit unsigned samples (nullptr: silence, 128), resampled by nearest sample
// to the output rate when `source_rate` > 0. nullptr when length < 1.
AudioVoice* mixer_new_voice(const Mixer& mixer, int length, const std::uint8_t* samples,
                            int source_rate);
// A stopped voice without data, for mixer_share_data.
AudioVoice* mixer_new_voice_like(const Mixer& mixer);
// Makes `copy` (fresh from mixer_new_voice_like) share `original`'s data.
void mixer_share_data(AudioVoice* copy, AudioVoice* original);
// Links a voice from mixer_new_voice* into the mixer.
void mixer_add_voice(Mixer& mixer, AudioVoice* voice);
// Takes the voice out of the mixer and frees it, and its data with the last
// reference.
void mixer_free_voice(Mixer& mixer, AudioVoice* voice);

void mixer_start(Mixer& mixer, AudioVoice* voice);
void mixer_stop(Mixer& mixer, AudioVoice* voice);
void mixer_set_rate(Mixer& mixer, AudioVoice* voice, int hz);
void mixer_set_volume(Mixer& mixer, AudioVoice* voice, int volume);
void mixer_set_pan(Mixer& mixer, AudioVoice* voice, int pan);
void mixer_set_looping(Mixer& mixer, AudioVoice* voice, int looping);
int mixer_play_position(const AudioVoice* voice);
void mixer_write_data(AudioVoice* voice, int length, const std::uint8_t* samples, int position);

// In the mix lists (started and neither stopped nor finished).
bool mixer_voice_playing(const AudioVoice* voice);
int mixer_voice_length(const AudioVoice* voice);
// The voice's data (tests).
const std::uint8_t* mixer_voice_data(const AudioVoice* voice);

// The value the volume table gives an 8-bit sample at a level (0..31).
int mixer_volume_table(int level, std::uint8_t sample);

// ---------------------------------------------------------------------------
// Back-ends

// What the output back-end makes of "sound-channels", "sound-rate" and
// "sound-mixahead".
struct AudioPlan {
  int voice_limit = 16;
  int rate = 22050;            // Hz
  int fragment_frames = 344;   // 1/64 s
  int mixahead_fragments = 8;  // 1..32
  int mixahead_ms = 125;       // fragments * 1000 / 64, as logged
};
AudioPlan audio_plan_from_options();

// Every back-end here runs the software mixer; the mutex is used only by the
// one with a mixing thread.
struct MixerDevice {
  AudioDevice device;
  Mixer* mixer = nullptr;
  bool use_mutex = false;
  std::mutex mutex;
  // SDL back-end.
  std::uint32_t sdl_device = 0;
  AudioPlan plan;
  const std::uint8_t* fragment = nullptr;  // the fragment being handed to SDL
  int fragment_bytes = 0;
  int fragment_left = 0;                // bytes of it not yet handed over
  std::uint64_t fragments_written = 0;  // only the callback touches these
};

MixerDevice* mixer_device(AudioDevice* device);
// Allocates a device on `ops` around a fresh mixer; nullptr when the mixer
// settings are unusable.
MixerDevice* mixer_device_create(const AudioOps* ops, const MixerSettings& settings);
void mixer_device_destroy(MixerDevice* device);

// The voice operations every mixer back-end shares (create_voice to
// write_data); they take the device's mutex when it has one.
AudioVoice* mixer_op_create_voice(AudioDevice* device, int length, const std::uint8_t* samples,
                                  int source_rate);
AudioVoice* mixer_op_duplicate_voice(AudioDevice* device, AudioVoice* voice);
void mixer_op_free_voice(AudioDevice* device, AudioVoice* voice);
void mixer_op_start(AudioDevice* device, AudioVoice* voice);
void mixer_op_stop(AudioDevice* device, AudioVoice* voice);
void mixer_op_set_rate(AudioDevice* device, AudioVoice* voice, int hz);
void mixer_op_set_volume(AudioDevice* device, AudioVoice* voice, int volume);
void mixer_op_set_pan(AudioDevice* device, AudioVoice* voice, int pan);
void mixer_op_set_looping(AudioDevice* device, AudioVoice* voice, int looping);
int mixer_op_play_position(AudioDevice* device, AudioVoice* voice);
void mixer_op_write_data(AudioDevice* device, AudioVoice* voice, int length,
                         const std::uint8_t* samples, int position);
void audio_op_frame(AudioDevice* device);

// A back-end's operation table: its own open, close and mix, and the
// mixer's operations for everything about voices.
constexpr AudioOps mixer_backed_ops(const char* name, AudioDevice* (*open)(int, int),
                                    void (*close)(AudioDevice*),
                                    const std::int16_t* (*mix)(AudioDevice*)) {
  return AudioOps{name,
                  open,
                  close,
                  audio_op_frame,
                  mix,
                  mixer_op_create_voice,
                  mixer_op_duplicate_voice,
                  mixer_op_free_voice,
                  mixer_op_start,
                  mixer_op_stop,
                  mixer_op_set_rate,
                  mixer_op_set_volume,
                  mixer_op_set_pan,
                  mixer_op_set_looping,
                  mixer_op_play_position,
                  mixer_op_write_data};
}

extern const AudioOps g_sdl_audio_ops;
extern const AudioOps g_readback_audio_ops;
extern const AudioOps g_null_audio_ops;

// The SDL back-end's fragment length in frames (tests).
int sdl_fragment_frames(AudioDevice* device);

}  // namespace platform
