// audio_record.cpp -- the readback device: the mixer run on demand, a 16-bit mono block at a time.
#include "platform/audio_internal.h"

namespace platform {

namespace {

// No thread and no mutex: the caller mixes each block itself.
AudioDevice* readback_open(int rate, int block_frames) {
  log("Opening readback audio...\n");
  MixerSettings settings;
  settings.rate = rate;
  settings.stereo = false;
  settings.sixteen_bit = true;
  settings.voice_limit = option_int("sound-channels", 16);
  settings.block_frames = block_frames;
  // Allocation failures end in the fatal sequence; only unusable sizes fail here.
  MixerDevice* device = mixer_device_create(&g_readback_audio_ops, settings);
  if (!device) {
    log("Can't open readback audio at %d Hz, %d frames a block\n", rate, block_frames);
    return nullptr;
  }
  log("Audio opened!\n");
  return &device->device;
}

void readback_close(AudioDevice* device) { mixer_device_destroy(mixer_device(device)); }

const std::int16_t* readback_mix(AudioDevice* device) {
  return static_cast<const std::int16_t*>(mixer_mix(*mixer_device(device)->mixer));
}

}  // namespace

const AudioOps g_readback_audio_ops =
    mixer_backed_ops("readback", readback_open, readback_close, readback_mix);

}  // namespace platform
