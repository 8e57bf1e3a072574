// tool_race.cpp -- a race without a screen for the tools and benchmarks: an offscreen
// window, the game's drawing set-up, a grid of bikes that start at once and ride with the
// test pilot.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "ai/ai.h"
#include "data/data.h"
#include "platform/platform.h"
#include "render/render.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/startup.h"

namespace shell {

namespace {

ai::TestPilot g_tool_pilot;
std::vector<int> g_tool_gates;
// The window (and its GL context, which the texture and model caches hold names from)
// stays open from one race to the next.
bool g_window_open = false;

}  // namespace

bool tool_race_begin(const ToolRace& race) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  g_startup = StartupState{};
  g_settings = default_settings();
  rider_setup_startup();
  g_settings.use_shader.index = race.shaders ? 1 : 0;
  if (race.method >= 0) g_settings.render_texture.index = race.method;
  g_settings.track = race.track;
  g_startup.fugly = race.fugly;
  g_startup.erosion_rate = race.erode;
  g_startup.ground_texture_size = 32 << g_settings.ground_texture_dim.index;
  render::g_render_settings.use_shaders = race.shaders;
  apply_render_settings();

  if (!g_window_open) {
    if (!platform::create_window(race.tool, race.width, race.height, 32, 24, false)) {
      std::fprintf(stderr, "%s: no OpenGL window: %s\n", race.tool,
                   platform::last_platform_error());
      return false;
    }
    for (int poll = 0; poll < 100 && !platform::window_ready(); ++poll) SDL_Delay(10);
    g_window_open = true;
    render::gl_startup(race.fugly);
    render::fonts_load();
    for (const char* hud : {"!@tach.png", "!@shifter.png"}) data::texture_load(hud);
    sim::create_world();
  }
  // A later race may want the programs the first one went without.
  if (race.shaders && !render::shaders_active()) render::build_programs();

  reset_rider_slots();
  if (!race.playback.empty()) {
    std::string track;
    if (!race::read_demo(race.playback.c_str(), track)) {
      std::fprintf(stderr, "%s: can't play back %s\n", race.tool, race.playback.c_str());
      return false;
    }
    g_race.playback_file = race.playback;
    g_race.playback_track = track;
    setup_race(g_race.lineup, true, false, 0, 1000, 0);
    if (!g_race.race_loaded || !g_race.playing_back) {
      std::fprintf(stderr, "%s: can't play back %s\n", race.tool, race.playback.c_str());
      return false;
    }
    g_tool_pilot = ai::TestPilot{};
    g_tool_gates.clear();
    return true;
  }
  g_race.lineup[0] = 1;
  for (int i = 1; i < race.bikes && i < kRiderSlots; ++i) g_race.lineup[i] = 2;
  setup_race(race.time_trial ? nullptr : g_race.lineup, false, false, 0, race.laps, 0);
  if (!g_race.race_loaded) {
    std::fprintf(stderr, "%s: can't load track %s\n", race.tool, race.track.c_str());
    return false;
  }
  if (race.time_trial) {
    g_tool_pilot = ai::TestPilot{};
    g_tool_pilot.pace = race.pace;
    g_tool_gates = ai::lap_checkpoints();
    return true;
  }
  // The gate is down from the start, or drops when asked.
  g_race.start_tick = race.drop_tick;
  race::g_timing.rules.start_tick = race.drop_tick;
  g_race.gate_fall = race.drop_tick > 0 ? render::kGateStandingFall : 0;
  g_tool_pilot = ai::TestPilot{};
  g_tool_pilot.pace = race.pace;
  g_tool_gates = ai::lap_checkpoints();
  return true;
}

void tool_race_tick() {
  // A replayed bike rides by its records.
  sim::Bike* bike = g_race.slots[g_race.watched].driver == kDriverLocal
                        ? g_race.slots[g_race.watched].bike
                        : nullptr;
  if (bike) ai::pilot_ride(bike, g_tool_pilot, g_tool_gates);
  race_tick();
  if (bike) ai::pilot_note_gates(bike, g_tool_pilot, g_tool_gates, sim::g_sim.tick);
}

bool tool_watch_place(int place) {
  const race::Timing& t = race::g_timing;
  if (place < 1 || place > t.order_length) return false;
  const int slot = t.order[static_cast<std::size_t>(place - 1)].slot;
  if (!g_race.slots[slot].bike) return false;
  g_race.watched = slot;
  return true;
}

void tool_race_end(bool close) {
  demo_race_end();
  render::terrain_render_release();
  free_bikes();
  race::track_free();
  g_race.race_loaded = false;
  g_race.track.clear();
  if (close && g_window_open) {
    platform::close_window();
    g_window_open = false;
    // The textures went with the window; what the cache kept in memory goes now.
    data::texture_cache_free();
  }
}

}  // namespace shell
