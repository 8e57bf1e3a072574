// scene_input.cpp -- what the scene draws of the race, copied before each frame.
#include <cstring>

#include "race/race.h"
#include "render/render.h"
#include "shell/catalogue.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/startup.h"

namespace shell {

namespace {

void assign(std::string& to, const char* from) {
  if (!from) from = "";
  if (to != from) to = from;
}

// The bike each slot was last dressed for.
const sim::Bike* g_dressed[kRiderSlots] = {};
int g_plate_stamp = 0;

// Textures and number plate of a slot, as set up for its rider.
void dress(int i, render::SceneRider& r) {
  const RiderSlot& slot = g_race.slots[i];
  BikeAssets assets =
      bike_assets(slot.model.c_str(), slot.number.c_str(), slot.rider_texture.c_str(),
                  slot.bike_texture.c_str(), slot.wheel_texture.c_str(), slot.head_texture.c_str());
  assign(r.number, slot.number.c_str());
  assign(r.bike_texture, assets.bike_texture.c_str());
  assign(r.wheel_texture, assets.wheel_texture.c_str());
  assign(r.body_texture, assets.rider_body_texture.c_str());
  assign(r.head_texture, assets.rider_head_texture.c_str());
  r.plate_rgb = std::move(assets.plate_image);
  r.plate_stamp = ++g_plate_stamp;
}

}  // namespace

int race_phase() {
  if (!g_race.race_loaded || sim::g_sim.tick < g_race.start_tick) return render::kPhaseCountdown;
  const race::Timing& timing = race::g_timing;
  const int lap = race::leader_laps(timing) + 1;  // the leader's lap
  if (timing.race_laps > 0 && lap > timing.race_laps) return render::kPhaseFinished;
  if (timing.race_laps > 0 && lap == timing.race_laps) return render::kPhaseLastLap;
  if (lap == timing.halfway_lap) return render::kPhaseHalfway;
  return render::kPhaseRacing;
}

void update_scene_input(int view) {
  render::SceneState& s = render::g_scene;
  if (s.riders.size() != static_cast<std::size_t>(kRiderSlots)) s.riders.resize(kRiderSlots);
  for (int i = 0; i < kRiderSlots; ++i) {
    const RiderSlot& slot = g_race.slots[i];
    render::SceneRider& r = s.riders[static_cast<std::size_t>(i)];
    r.bike = g_race.race_loaded ? slot.bike : nullptr;
    if (!r.bike) {
      g_dressed[i] = nullptr;
      continue;
    }
    r.info = slot.info;
    if (g_dressed[i] != slot.bike) {
      // A new bike: its textures and number plate, once.
      g_dressed[i] = slot.bike;
      dress(i, r);
    }
    // Replayed laps sharing a time trial are its ghosts.
    r.ghost = g_race.time_trial && slot.driver == kDriverHistory;
    // A replayed rider whose records do not reach the present is not drawn.
    r.has_state = slot.driver != kDriverHistory || history_fresh(i, sim::g_sim.tick);
  }
  s.tick = sim::g_sim.tick;
  s.start_tick = g_race.start_tick;
  s.gate_fall = g_race.gate_fall;
  s.phase = race_phase();
  // The checkpoints the riders head for next light up their course flaggers.
  const race::Timing& timing = race::g_timing;
  const int checkpoints = static_cast<int>(race::g_track.checkpoints.size());
  s.next_gate_wanted.assign(static_cast<std::size_t>(checkpoints), 0);
  if (checkpoints > 0 && g_race.race_loaded) {
    for (int i = 0; i < kRiderSlots; ++i) {
      if (!g_race.slots[i].bike || !timing.bikes[static_cast<std::size_t>(i)].in_use) continue;
      const int cp = race::sequence_checkpoint(race::g_track,
                                               timing.bikes[static_cast<std::size_t>(i)].passed);
      if (cp >= 0 && cp < checkpoints) s.next_gate_wanted[static_cast<std::size_t>(cp)] = 1;
    }
  }
  s.view_mode = view;
  s.connected = race_online();
}

}  // namespace shell

namespace shell {

void apply_render_settings() {
  render::RenderSettings& r = render::g_render_settings;
  r.terrain_method = g_settings.render_texture.index;
  r.ground_texture_size = g_startup.ground_texture_size;
  // "Ground Texture Levels" counts from the coarsest; beyond six every level is used.
  r.ground_texture_levels = static_cast<int>(g_settings.ground_texture_detail.value);
  if (r.ground_texture_levels < 1) r.ground_texture_levels = 1;
  if (r.ground_texture_levels > render::kGroundLevels)
    r.ground_texture_levels = render::kGroundLevels;
  r.ground_detail = g_settings.ground_detail.value;
  r.ground_mipmaps = g_settings.ground_mipmaps.index == 1;
  r.use_fbo = g_settings.use_fbo.index == 1;
  r.lens_flares = g_settings.lens_flare.index == 1;
  r.hide_first_person_rider = g_settings.hide_rider.index == 1;
  r.ghost_fade_distance = g_settings.ghost_fade_distance.value;
  r.billboard_lookahead = g_settings.billboard_optimize_lookahead;
  r.flat_shading = g_startup.fugly;
  r.reflections = g_settings.reflections.index == 1;
}

}  // namespace shell
