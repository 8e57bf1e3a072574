// audio.cpp -- the audio device table: choosing a back-end, the SDL output and the null device.
#include <SDL.h>

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/audio_internal.h"

namespace platform {

namespace {

AudioDevice* g_audio = nullptr;

// The SDL back-end's own device; it is open while this is set.
MixerDevice* g_sdl = nullptr;

// Holds the device's mutex when it has one.
std::unique_lock<std::mutex> hold(MixerDevice& device) {
  return device.use_mutex ? std::unique_lock<std::mutex>(device.mutex)
                          : std::unique_lock<std::mutex>();
}

// SDL's callback: hands over the mixed fragments, mixing the next one under
// the mutex whenever the last is used up. SDL asks for any number of bytes;
// the fragments stay 1/64 s.
void sdl_callback(void* user, Uint8* stream, int length) {
  MixerDevice& device = *static_cast<MixerDevice*>(user);
  while (length > 0) {
    if (device.fragment_left == 0) {
      {
        std::lock_guard<std::mutex> lock(device.mutex);
        device.fragment = static_cast<const std::uint8_t*>(mixer_mix(*device.mixer));
      }
      device.fragment_left = device.fragment_bytes;
      ++device.fragments_written;
    }
    const int part = length < device.fragment_left ? length : device.fragment_left;
    std::memcpy(stream, device.fragment + (device.fragment_bytes - device.fragment_left),
                static_cast<std::size_t>(part));
    stream += part;
    length -= part;
    device.fragment_left -= part;
  }
}

AudioDevice* sdl_open(int, int) {
  log("Opening waveOut audio...\n");
  if (g_sdl) {
    log("Audio already open\n");
    return nullptr;
  }
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    log("No audio device\n");
    log("SDL audio: %s\n", SDL_GetError());
    return nullptr;
  }
  const char* driver = SDL_GetCurrentAudioDriver();
  const char* name = SDL_GetAudioDeviceName(0, 0);
  log("Found a %s\n", name ? name : (driver ? driver : "sound device"));
  log("SDL audio driver: %s\n", driver ? driver : "none");

  const AudioPlan plan = audio_plan_from_options();
  // The device's own channel count decides stereo; SDL converts either way.
  SDL_AudioSpec preferred;
  const bool stereo = SDL_GetAudioDeviceSpec(0, 0, &preferred) != 0 || preferred.channels != 1;

  log("Waveout rate: %d\n", plan.rate);
  log("Waveout channels: %d\n", plan.voice_limit);
  log("Waveout mixahead: %d\n", plan.mixahead_ms);

  // Below 64 Hz a fragment would hold no frame at all.
  if (plan.fragment_frames < 1) {
    log("Can't open waveOut\n");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }

  MixerSettings settings;
  settings.rate = plan.rate;
  settings.stereo = stereo;
  settings.sixteen_bit = false;
  settings.voice_limit = plan.voice_limit;
  settings.block_frames = plan.fragment_frames;
  MixerDevice* device = mixer_device_create(&g_sdl_audio_ops, settings);
  device->use_mutex = true;
  device->plan = plan;
  device->fragment_bytes = plan.fragment_frames * (stereo ? 2 : 1);

  // SDL's buffer is the mix-ahead, so that it bounds the latency as before.
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = plan.rate;
  want.format = AUDIO_U8;
  want.channels = static_cast<Uint8>(stereo ? 2 : 1);
  const long long buffer = static_cast<long long>(plan.fragment_frames) * plan.mixahead_fragments;
  want.samples = static_cast<Uint16>(buffer > 65535 ? 65535 : buffer);
  want.callback = sdl_callback;
  want.userdata = device;
  SDL_AudioSpec have;
  device->sdl_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device->sdl_device == 0) {
    log("Can't open waveOut\n");
    log("SDL audio: %s\n", SDL_GetError());
    mixer_device_destroy(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  g_sdl = device;
  SDL_PauseAudioDevice(device->sdl_device, 0);
  // SDL's callback thread is the audio thread; it is not logged from, since
  // the log has no lock.
  log("Audio thread begin\n");
  log("Audio opened!\n");
  return &device->device;
}

void sdl_close(AudioDevice* handle) {
  MixerDevice* device = mixer_device(handle);
  if (!device || device != g_sdl) {
    log("Can't close audio, not open\n");
    return;
  }
  log("Closing audio\n");
  // Returns once the callback has finished for good.
  SDL_CloseAudioDevice(device->sdl_device);
  log("Audio thread end\n");
  g_sdl = nullptr;
  mixer_device_destroy(device);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

const std::int16_t* no_mix(AudioDevice*) { return nullptr; }

AudioDevice* null_open(int rate, int block_frames) {
  MixerSettings settings;
  settings.rate = rate;
  settings.block_frames = block_frames > 0 ? block_frames : rate / 64;
  settings.voice_limit = option_int("sound-channels", 16);
  MixerDevice* device = mixer_device_create(&g_null_audio_ops, settings);
  return device ? &device->device : nullptr;
}

void null_close(AudioDevice* device) { mixer_device_destroy(mixer_device(device)); }

// Checks the table, opens through it and makes the result the open device.
AudioDevice* open_through(const AudioOps& ops, int rate, int block_frames) {
  if (g_audio) return nullptr;
  if (!audio_ops_complete(ops)) {
    assert(!"incomplete audio back-end");
    log("Audio back-end %s is incomplete\n", ops.name ? ops.name : "?");
    return nullptr;
  }
  AudioDevice* device = ops.open(rate, block_frames);
  if (device) {
    g_audio = device;
    set_fatal_audio_closer(close_audio);
  }
  return device;
}

}  // namespace

const AudioOps g_sdl_audio_ops = mixer_backed_ops("sdl", sdl_open, sdl_close, no_mix);

const AudioOps g_null_audio_ops = mixer_backed_ops("null", null_open, null_close, no_mix);

AudioPlan audio_plan_from_options() {
  AudioPlan plan;
  plan.voice_limit = option_int("sound-channels", 16);
  plan.rate = option_int("sound-rate", 22050);
  const int mixahead = option_int("sound-mixahead", 125);
  plan.fragment_frames = plan.rate / 64;
  long long fragments = static_cast<long long>(mixahead) * 64 / 1000;
  if (fragments < 1) fragments = 1;
  if (fragments > 32) fragments = 32;
  plan.mixahead_fragments = static_cast<int>(fragments);
  plan.mixahead_ms = plan.mixahead_fragments * 1000 / 64;
  return plan;
}

MixerDevice* mixer_device(AudioDevice* device) {
  return device ? static_cast<MixerDevice*>(device->backend) : nullptr;
}

MixerDevice* mixer_device_create(const AudioOps* ops, const MixerSettings& settings) {
  Mixer* mixer = mixer_create(settings);
  if (!mixer) return nullptr;
  MixerDevice* device = new (xmalloc(sizeof(MixerDevice))) MixerDevice;
  device->device.ops = ops;
  device->device.backend = device;
  device->mixer = mixer;
  return device;
}

void mixer_device_destroy(MixerDevice* device) {
  if (!device) return;
  mixer_destroy(device->mixer);
  device->~MixerDevice();
  std::free(device);
}

int sdl_fragment_frames(AudioDevice* device) {
  MixerDevice* mixer = mixer_device(device);
  return mixer ? mixer->plan.fragment_frames : 0;
}

// The shared voice operations. Allocation happens outside the mutex: running
// out of memory closes the device, which waits for the callback, which may be
// waiting for the mutex.

AudioVoice* mixer_op_create_voice(AudioDevice* handle, int length, const std::uint8_t* samples,
                                  int source_rate) {
  MixerDevice& device = *mixer_device(handle);
  AudioVoice* voice = mixer_new_voice(*device.mixer, length, samples, source_rate);
  if (!voice) return nullptr;
  auto lock = hold(device);
  mixer_add_voice(*device.mixer, voice);
  return voice;
}

AudioVoice* mixer_op_duplicate_voice(AudioDevice* handle, AudioVoice* original) {
  if (!original) return nullptr;
  MixerDevice& device = *mixer_device(handle);
  AudioVoice* voice = mixer_new_voice_like(*device.mixer);
  auto lock = hold(device);
  mixer_share_data(voice, original);
  mixer_add_voice(*device.mixer, voice);
  return voice;
}

void mixer_op_free_voice(AudioDevice* handle, AudioVoice* voice) {
  if (!voice) return;
  MixerDevice& device = *mixer_device(handle);
  auto lock = hold(device);
  mixer_free_voice(*device.mixer, voice);
}

void mixer_op_start(AudioDevice* handle, AudioVoice* voice) {
  if (!voice) return;
  MixerDevice& device = *mixer_device(handle);
  auto lock = hold(device);
  mixer_start(*device.mixer, voice);
}

void mixer_op_stop(AudioDevice* handle, AudioVoice* voice) {
  if (!voice) return;
  MixerDevice& device = *mixer_device(handle);
  auto lock = hold(device);
  mixer_stop(*device.mixer, voice);
}

void mixer_op_set_rate(AudioDevice* handle, AudioVoice* voice, int hz) {
  if (!voice) return;
  MixerDevice& device = *mixer_device(handle);
  auto lock = hold(device);
  mixer_set_rate(*device.mixer, voice, hz);
}

void mixer_op_set_volume(AudioDevice* handle, AudioVoice* voice, int volume) {
  if (!voice) return;
  MixerDevice& device = *mixer_device(handle);
  auto lock = hold(device);
  mixer_set_volume(*device.mixer, voice, volume);
}

void mixer_op_set_pan(AudioDevice* handle, AudioVoice* voice, int pan) {
  if (!voice) return;
  MixerDevice& device = *mixer_device(handle);
  auto lock = hold(device);
  mixer_set_pan(*device.mixer, voice, pan);
}

void mixer_op_set_looping(AudioDevice* handle, AudioVoice* voice, int looping) {
  if (!voice) return;
  MixerDevice& device = *mixer_device(handle);
  auto lock = hold(device);
  mixer_set_looping(*device.mixer, voice, looping);
}

int mixer_op_play_position(AudioDevice* handle, AudioVoice* voice) {
  if (!voice) return 0;
  MixerDevice& device = *mixer_device(handle);
  auto lock = hold(device);
  return mixer_play_position(voice);
}

void mixer_op_write_data(AudioDevice* handle, AudioVoice* voice, int length,
                         const std::uint8_t* samples, int position) {
  if (!voice) return;
  MixerDevice& device = *mixer_device(handle);
  auto lock = hold(device);
  mixer_write_data(voice, length, samples, position);
}

// The mixing is driven by the callback or by the caller; nothing per frame.
void audio_op_frame(AudioDevice*) {}

bool audio_ops_complete(const AudioOps& ops) {
  return ops.open && ops.close && ops.frame && ops.mix && ops.create_voice && ops.duplicate_voice &&
         ops.free_voice && ops.start && ops.stop && ops.set_rate && ops.set_volume && ops.set_pan &&
         ops.set_looping && ops.play_position && ops.write_data;
}

AudioDevice* audio_open() {
  if (g_audio) return nullptr;
  const int dsnd = option_bool("dsnd", 1);
  const int waveout = option_bool("waveout", 1);
  if (!dsnd && !waveout) return nullptr;
  // Both back-ends the options name are SDL audio on this system; one try
  // serves either, since a second would fail the same way.
  if (dsnd) log("No DirectSound here: using SDL audio\n");
  return open_through(g_sdl_audio_ops, 0, 0);
}

AudioDevice* audio_open_readback(int rate, int block_frames) {
  return open_through(g_readback_audio_ops, rate, block_frames);
}

AudioDevice* audio_open_null(int rate) { return open_through(g_null_audio_ops, rate, 0); }

void audio_close(AudioDevice* device) {
  if (!device) return;
  if (device == g_audio) {
    g_audio = nullptr;
    set_fatal_audio_closer(nullptr);
  }
  device->ops->close(device);
}

AudioDevice* audio_device() { return g_audio; }

bool open_audio_output() { return audio_open() != nullptr; }

bool open_recording_audio(int rate, int values_per_tick) {
  return audio_open_readback(rate, values_per_tick) != nullptr;
}

void close_audio() { audio_close(g_audio); }

}  // namespace platform
