// mixer.cpp -- the integer software mixer: 8-bit voices at any rate into one output block.
#include <cassert>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/audio_internal.h"

namespace platform {

namespace {

constexpr int kLevels = 32;
constexpr std::uint32_t kFractionOne = 1u << 31;
constexpr std::uint32_t kFractionMask = kFractionOne - 1;
// Far above any rate the game asks for; keeps the stepping inside 32 bits.
constexpr int kMaxVoiceRate = 1 << 24;

// Row 0 is silence: a half whose level in use is 0 adds nothing.
struct VolumeTable {
  std::int16_t row[kLevels][256];
};

constexpr VolumeTable make_volume_table() {
  VolumeTable table{};
  for (int level = 1; level < kLevels; ++level) {
    for (int byte = 0; byte < 256; ++byte) {
      const int x = byte - 128;
      int value = 0;
      if (x == -128) {
        value = -(127 * level / 32);
      } else if (x > 0) {
        value = (x - 1) * level / 32;
      } else if (x < 0) {
        value = -((-x - 1) * level / 32);
      }
      table.row[level][byte] = static_cast<std::int16_t>(value);
    }
  }
  return table;
}

// Built by the compiler, so the mixing thread never races its construction.
constexpr VolumeTable kVolumeTable = make_volume_table();

struct VoiceData {
  int references;
  int length;
  std::uint8_t samples[1];  // `length` of them
};

struct VoiceHalf {
  AudioVoice* voice = nullptr;
  VoiceHalf* previous = nullptr;
  VoiceHalf* next = nullptr;
  std::uint32_t position = 0;  // read index into the data
  std::uint32_t fraction = 0;  // 31 bits
  int target_level = 0;        // 0..31, also the list it is in
  int level = 0;               // the level in use
  // A restart waits for a centre crossing. Each half keeps its own flag so
  // that whichever half the walk reaches first, both restart together.
  bool restart = false;
  int list = -1;  // the level list it is linked into; -1 when none
};

}  // namespace

struct AudioVoice {
  bool looping = false;
  bool playing = false;  // in the mix lists
  bool stereo = false;   // the right half is used
  bool finished = false;
  VoiceHalf half[2];
  int output_rate = 0;  // Hz
  int rate = 0;         // Hz
  int volume = 32767;
  int pan = 0;
  VoiceData* data = nullptr;
  AudioVoice* previous = nullptr;  // every voice of the mixer, for its destruction
  AudioVoice* next = nullptr;
};

struct Mixer {
  int rate = 0;
  bool stereo = false;
  bool sixteen_bit = false;
  int voice_limit = 16;
  int block_frames = 0;
  std::int32_t* accumulator[2] = {nullptr, nullptr};
  void* block = nullptr;
  VoiceHalf* head[2][kLevels] = {};
  VoiceHalf* tail[2][kLevels] = {};
  AudioVoice* voices = nullptr;
};

namespace {

VoiceData* new_data(int length) {
  auto* data = static_cast<VoiceData*>(xmalloc(offsetof(VoiceData, samples) + length));
  data->references = 1;
  data->length = length;
  return data;
}

void drop_data(VoiceData* data) {
  if (data && --data->references == 0) std::free(data);
}

void link_half(Mixer& m, int side, VoiceHalf& half) {
  const int level = half.target_level;
  half.previous = m.tail[side][level];
  half.next = nullptr;
  if (half.previous) {
    half.previous->next = &half;
  } else {
    m.head[side][level] = &half;
  }
  m.tail[side][level] = &half;
  half.list = level;
}

void unlink_half(Mixer& m, int side, VoiceHalf& half) {
  if (half.list < 0) return;
  const int level = half.list;
  if (half.previous) {
    half.previous->next = half.next;
  } else {
    m.head[side][level] = half.next;
  }
  if (half.next) {
    half.next->previous = half.previous;
  } else {
    m.tail[side][level] = half.previous;
  }
  half.previous = half.next = nullptr;
  half.list = -1;
}

int sides(const AudioVoice& voice) { return voice.stereo ? 2 : 1; }

void remove_from_lists(Mixer& m, AudioVoice& voice) {
  for (int side = 0; side < 2; ++side) unlink_half(m, side, voice.half[side]);
  voice.playing = false;
}

// The target levels (0..31) that volume and pan give the two halves.
void levels_of(const AudioVoice& voice, int level[2]) {
  const long long v = voice.volume;
  const long long pan = voice.stereo ? voice.pan : -32768;
  level[0] = static_cast<int>(((32767 - pan) * v) >> 26);
  level[1] = static_cast<int>((v * (pan + 32768)) >> 26);
}

// New target levels from volume and pan; a playing voice's halves move to
// the tails of their new lists, a stopped voice takes them at once.
void update_levels(Mixer& m, AudioVoice& voice) {
  int level[2];
  levels_of(voice, level);
  for (int side = 0; side < sides(voice); ++side) {
    VoiceHalf& half = voice.half[side];
    if (half.target_level == level[side]) continue;
    half.target_level = level[side];
    if (voice.playing) {
      unlink_half(m, side, half);
      link_half(m, side, half);
    } else {
      half.level = half.target_level;
    }
  }
}

struct Step {
  std::uint32_t whole;
  std::uint32_t fraction;  // 31 bits
};

Step voice_step(const AudioVoice& voice, int output_rate) {
  const auto rate = static_cast<std::uint32_t>(voice.rate);
  const auto out = static_cast<std::uint32_t>(output_rate);
  return {rate / out,
          static_cast<std::uint32_t>((static_cast<std::uint64_t>(rate % out) << 31) / out)};
}

// Advances one frame; false when a non-looping voice ran off its data.
inline bool advance(std::uint32_t& position, std::uint32_t& fraction, Step step,
                    std::uint32_t length, bool looping) {
  fraction += step.fraction;
  position += step.whole + (fraction >> 31);
  fraction &= kFractionMask;
  if (position < length) return true;
  if (!looping) return false;
  position %= length;
  return true;
}

// Mixes `frames` frames of one half into `out`, or only moves it along when
// `out` is nullptr (a half beyond the voice budget or at level 0).
void mix_half(VoiceHalf& half, std::int32_t* out, int frames, Step step) {
  AudioVoice& voice = *half.voice;
  const std::uint8_t* samples = voice.data->samples;
  const auto length = static_cast<std::uint32_t>(voice.data->length);
  std::uint32_t position = half.position;
  std::uint32_t fraction = half.fraction;
  int frame = 0;
  bool running = true;

  if (half.level != half.target_level || half.restart) {
    // The old level holds until the waveform crosses the centre, so that the
    // change (and a restart) does not click.
    const std::uint8_t first_sign = samples[position] & 0x80;
    const std::int16_t* row = kVolumeTable.row[half.level];
    for (; frame < frames; ++frame) {
      if ((samples[position] & 0x80) != first_sign) {
        half.level = half.target_level;
        if (half.restart) {
          half.restart = false;
          position = 0;
          fraction = 0;
        }
        break;
      }
      if (out) out[frame] += row[samples[position]];
      if (!advance(position, fraction, step, length, voice.looping)) {
        running = false;
        break;
      }
    }
  }

  if (running && frame < frames) {
    if (out) {
      const std::int16_t* row = kVolumeTable.row[half.level];
      for (; frame < frames; ++frame) {
        out[frame] += row[samples[position]];
        if (!advance(position, fraction, step, length, voice.looping)) {
          running = false;
          break;
        }
      }
    } else {
      // Timing only: the same stepping, summed.
      const std::uint64_t remaining = static_cast<std::uint64_t>(frames - frame);
      const std::uint64_t total = fraction + remaining * step.fraction;
      const std::uint64_t end = position + remaining * step.whole + (total >> 31);
      fraction = static_cast<std::uint32_t>(total & kFractionMask);
      if (end < length) {
        position = static_cast<std::uint32_t>(end);
      } else if (voice.looping) {
        position = static_cast<std::uint32_t>(end % length);
      } else {
        running = false;
      }
    }
  }

  half.position = position;
  half.fraction = fraction;
  if (!running) voice.finished = true;
}

inline int clamp(int value, int low, int high) {
  return value < low ? low : (value > high ? high : value);
}

}  // namespace

Mixer* mixer_create(const MixerSettings& settings) {
  if (settings.rate < 1 || settings.block_frames < 1) return nullptr;
  Mixer* m = new (xmalloc(sizeof(Mixer))) Mixer;
  m->rate = settings.rate;
  m->stereo = settings.stereo;
  m->sixteen_bit = settings.sixteen_bit;
  m->voice_limit = settings.voice_limit;
  m->block_frames = settings.block_frames;
  const std::size_t frames = static_cast<std::size_t>(settings.block_frames);
  for (int side = 0; side < 2; ++side) {
    m->accumulator[side] = static_cast<std::int32_t*>(xmalloc(frames * sizeof(std::int32_t)));
  }
  const std::size_t values = frames * (m->stereo ? 2 : 1);
  m->block = xmalloc(values * (m->sixteen_bit ? sizeof(std::int16_t) : 1));
  return m;
}

void mixer_destroy(Mixer* m) {
  if (!m) return;
  while (m->voices) mixer_free_voice(*m, m->voices);
  std::free(m->accumulator[0]);
  std::free(m->accumulator[1]);
  std::free(m->block);
  m->~Mixer();
  std::free(m);
}

int mixer_rate(const Mixer& m) { return m.rate; }
int mixer_block_frames(const Mixer& m) { return m.block_frames; }
bool mixer_stereo(const Mixer& m) { return m.stereo; }

const void* mixer_mix(Mixer& m) {
  const int frames = m.block_frames;
  const int channels = m.stereo ? 2 : 1;
  for (int side = 0; side < channels; ++side) {
    std::memset(m.accumulator[side], 0, static_cast<std::size_t>(frames) * sizeof(std::int32_t));
  }

  int budget = m.voice_limit;
  for (int level = kLevels - 1; level >= 0; --level) {
    VoiceHalf* walk[2] = {m.head[0][level], m.head[1][level]};
    while (walk[0] || walk[1]) {
      for (int side = 0; side < 2; ++side) {
        VoiceHalf* half = walk[side];
        if (!half) continue;
        walk[side] = half->next;
        const bool audible = budget > 0 && level > 0;
        if (audible) --budget;
        mix_half(*half, audible ? m.accumulator[side] : nullptr, frames,
                 voice_step(*half->voice, m.rate));
      }
    }
  }

  // The halves stay in step, and finished voices leave the mix. Every
  // playing voice has its left half in one of the left lists.
  for (int level = 0; level < kLevels; ++level) {
    for (VoiceHalf* half = m.head[0][level]; half;) {
      VoiceHalf* next = half->next;
      AudioVoice& voice = *half->voice;
      if (voice.stereo) {
        voice.half[1].position = half->position;
        voice.half[1].fraction = half->fraction;
      }
      if (voice.finished) remove_from_lists(m, voice);
      half = next;
    }
  }

  if (m.sixteen_bit) {
    auto* out = static_cast<std::int16_t*>(m.block);
    for (int frame = 0; frame < frames; ++frame) {
      for (int side = 0; side < channels; ++side) {
        *out++ = static_cast<std::int16_t>(clamp(m.accumulator[side][frame], -127, 127) * 256);
      }
    }
  } else {
    auto* out = static_cast<std::uint8_t*>(m.block);
    for (int frame = 0; frame < frames; ++frame) {
      for (int side = 0; side < channels; ++side) {
        *out++ = static_cast<std::uint8_t>(clamp(m.accumulator[side][frame], -128, 127) + 128);
      }
    }
  }
  return m.block;
}

AudioVoice* mixer_new_voice_like(const Mixer& m) {
  AudioVoice* voice = new (xmalloc(sizeof(AudioVoice))) AudioVoice;
  voice->stereo = m.stereo;
  voice->output_rate = m.rate;
  voice->rate = m.rate;
  // Full volume at the centre; a mono mixer is always full left.
  if (!voice->stereo) voice->pan = -32768;
  int level[2];
  levels_of(*voice, level);
  for (int side = 0; side < 2; ++side) {
    VoiceHalf& half = voice->half[side];
    half.voice = voice;
    half.target_level = half.level = voice->stereo || side == 0 ? level[side] : 0;
  }
  return voice;
}

AudioVoice* mixer_new_voice(const Mixer& m, int length, const std::uint8_t* samples,
                            int source_rate) {
  if (length < 1) return nullptr;
  int kept = length;
  if (source_rate > 0 && source_rate != m.rate) {
    const long long resampled = static_cast<long long>(length) * m.rate / source_rate;
    if (resampled < 1 || resampled > 0x7fffffff - 64) return nullptr;
    kept = static_cast<int>(resampled);
  }
  AudioVoice* voice = mixer_new_voice_like(m);
  voice->data = new_data(kept);
  std::uint8_t* out = voice->data->samples;
  if (!samples) {
    std::memset(out, 128, static_cast<std::size_t>(kept));
  } else if (kept == length) {
    std::memcpy(out, samples, static_cast<std::size_t>(kept));
  } else {
    // The source sample at or just before each output sample's moment.
    for (long long i = 0; i < kept; ++i) {
      const long long from = i * source_rate / m.rate;
      out[i] = samples[from < length ? from : length - 1];
    }
  }
  return voice;
}

void mixer_share_data(AudioVoice* copy, AudioVoice* original) {
  assert(copy && original && !copy->data);
  copy->data = original->data;
  ++copy->data->references;
}

void mixer_add_voice(Mixer& m, AudioVoice* voice) {
  voice->previous = nullptr;
  voice->next = m.voices;
  if (m.voices) m.voices->previous = voice;
  m.voices = voice;
}

void mixer_free_voice(Mixer& m, AudioVoice* voice) {
  remove_from_lists(m, *voice);
  if (voice->previous) {
    voice->previous->next = voice->next;
  } else {
    m.voices = voice->next;
  }
  if (voice->next) voice->next->previous = voice->previous;
  drop_data(voice->data);
  voice->~AudioVoice();
  std::free(voice);
}

void mixer_start(Mixer& m, AudioVoice* voice) {
  if (voice->playing) {
    // Restarting a sounding voice waits for a centre crossing in the next block.
    for (int side = 0; side < sides(*voice); ++side) voice->half[side].restart = true;
    return;
  }
  voice->finished = false;
  for (int side = 0; side < sides(*voice); ++side) {
    VoiceHalf& half = voice->half[side];
    half.position = 0;
    half.fraction = 0;
    half.level = half.target_level;
    half.restart = false;
    link_half(m, side, half);
  }
  voice->playing = true;
}

void mixer_stop(Mixer& m, AudioVoice* voice) {
  remove_from_lists(m, *voice);
  for (VoiceHalf& half : voice->half) half.restart = false;
}

void mixer_set_rate(Mixer&, AudioVoice* voice, int hz) {
  // A negative rate would step backwards out of the data.
  voice->rate = clamp(hz, 0, kMaxVoiceRate);
}

void mixer_set_volume(Mixer& m, AudioVoice* voice, int volume) {
  voice->volume = clamp(volume, 0, 32767);
  update_levels(m, *voice);
}

void mixer_set_pan(Mixer& m, AudioVoice* voice, int pan) {
  // On a mono mixer full left is the single channel at full level.
  voice->pan = voice->stereo ? clamp(pan, -32768, 32767) : -32768;
  update_levels(m, *voice);
}

void mixer_set_looping(Mixer&, AudioVoice* voice, int looping) { voice->looping = looping != 0; }

int mixer_play_position(const AudioVoice* voice) {
  return voice->playing ? static_cast<int>(voice->half[0].position) : 0;
}

void mixer_write_data(AudioVoice* voice, int length, const std::uint8_t* samples, int position) {
  if (length < 1 || !samples) return;
  const int size = voice->data->length;
  // Only the last `size` samples survive a longer write; they land where a
  // sample-by-sample write would have left them.
  if (length > size) {
    const int skipped = length - size;
    samples += skipped;
    position = static_cast<int>((static_cast<long long>(position) + skipped) % size);
    length = size;
  }
  position %= size;
  if (position < 0) position += size;
  std::uint8_t* data = voice->data->samples;
  const int first = length < size - position ? length : size - position;
  std::memcpy(data + position, samples, static_cast<std::size_t>(first));
  std::memcpy(data, samples + first, static_cast<std::size_t>(length - first));
}

bool mixer_voice_playing(const AudioVoice* voice) { return voice->playing; }
int mixer_voice_length(const AudioVoice* voice) { return voice->data->length; }
const std::uint8_t* mixer_voice_data(const AudioVoice* voice) { return voice->data->samples; }

int mixer_volume_table(int level, std::uint8_t sample) {
  return kVolumeTable.row[clamp(level, 0, kLevels - 1)][sample];
}

}  // namespace platform
