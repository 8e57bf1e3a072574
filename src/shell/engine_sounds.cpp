// engine_sounds.cpp -- the rider slots' engine voices: one per bike while an audio device is
// open, rendered once a frame with the volume settings.
#include "platform/platform.h"
#include "render/render.h"
#include "shell/catalogue.h"
#include "shell/race_driver.h"
#include "shell/settings.h"
#include "sound/sound.h"

namespace shell {

namespace {

// Kept beside the slots rather than in them: a slot is reset by assignment in several places,
// and a voice must be freed, not dropped.
struct EngineSounds {
  sound::EngineVoice* voice[kRiderSlots] = {};
  const sim::Bike* bike[kRiderSlots] = {};  // the bike each voice was made for
};

EngineSounds g_engine_sounds;

}  // namespace

void free_engine_voice(int slot) {
  sound::engine_voice_free(g_engine_sounds.voice[slot]);
  g_engine_sounds.voice[slot] = nullptr;
  g_engine_sounds.bike[slot] = nullptr;
}

void free_engine_voices() {
  for (int slot = 0; slot < kRiderSlots; ++slot) free_engine_voice(slot);
}

void sync_engine_voices() {
  platform::AudioDevice* device = platform::audio_device();
  for (int t = 0; t < kRiderSlots; ++t) {
    const RiderSlot& slot = g_race.slots[t];
    if (g_engine_sounds.bike[t] == slot.bike && (g_engine_sounds.voice[t] || !slot.bike)) continue;
    free_engine_voice(t);
    // Without a device nothing could be heard: no voices at all.
    if (!slot.bike || !device || !slot.bike->info) continue;
    const sim::BikeInfo& info = *slot.bike->info;
    const std::string& texture =
        slot.bike_texture.empty() ? std::string(info.files[sim::kBikeTexture]) : slot.bike_texture;
    g_engine_sounds.voice[t] = sound::engine_voice_create(device, info.bike_class, texture.c_str(),
                                                          default_engine_sound(info.bike_class));
    g_engine_sounds.bike[t] = slot.bike;
  }
}

const sound::EngineVoice* slot_engine_voice(int slot) { return g_engine_sounds.voice[slot]; }

double engine_voice_level(int t, bool paused, bool editor) {
  const int watched = g_race.watched;
  const RiderSlot& w = g_race.slots[watched];
  const double master =
      engine_sound_master(paused, editor, menu_open(), w.bike && w.driver == kDriverLocal);
  const RiderSlot& slot = g_race.slots[t];
  const bool stale = slot.driver == kDriverHistory && !history_fresh(t, sim::g_sim.tick);
  return engine_voice_volume(master, g_settings.volume.value, g_settings.comp_volume.value,
                             t == watched, stale);
}

void render_engine_voices(bool paused, bool editor) {
  platform::AudioDevice* device = platform::audio_device();
  if (!device) return;
  // A rider who joined since the last frame gets a voice; one who left loses it.
  sync_engine_voices();
  for (int t = 0; t < kRiderSlots; ++t) {
    const RiderSlot& slot = g_race.slots[t];
    sound::EngineVoice* voice = g_engine_sounds.voice[t];
    if (!slot.bike || !voice) continue;
    sound::engine_voice_render(slot.bike, *voice, engine_voice_level(t, paused, editor));
  }
  device->ops->frame(device);
}

}  // namespace shell
