// race_tool.cpp -- a whole race without a window or GL, through the game's own race set-up
// and race tick: the headless race of korvex-race.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "ai/ai.h"
#include "ai/pilot.h"
#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/startup.h"
#include "shell/track_list.h"

namespace shell {

namespace {

// The gate the New Race page puts the player at by default (Gate 20).
constexpr int kHomeSlot = 19;

// The time trial: laps wanted, the stand-in pilot, the laps timed so far.
int g_trial_laps = 0;
ai::TestPilot g_trial_pilot;
std::vector<int> g_trial_gates;
std::vector<RaceToolLap> g_laps;
std::vector<double> g_paces;

}  // namespace

bool race_tool_begin(const RaceToolOptions& options, std::string* error) {
  g_startup = StartupState{};
  g_settings = default_settings();
  rider_setup_startup();
  g_startup.erosion_rate = options.erode;
  g_tracks = build_track_list(0);
  const int track = find_track(g_tracks, options.track);
  if (track < 0) {
    *error = "no track \"" + options.track + "\" is installed";
    return false;
  }
  g_settings.track = options.track;
  g_settings.track_index = track;
  if (options.riders < 1 || options.riders > kLineupSlots) {
    *error = "--riders must be 1 to " + std::to_string(kLineupSlots);
    return false;
  }
  sim::create_world();
  reset_rider_slots();
  g_race.record_file = options.record;
  g_laps.clear();
  g_trial_laps = 0;
  if (!options.playback.empty()) {
    // The demo names its track; the race takes everything else from it too.
    std::string track_dir;
    if (!race::read_demo(options.playback.c_str(), track_dir)) {
      *error = "can't play back \"" + options.playback + "\"";
      return false;
    }
    g_race.playback_file = options.playback;
    g_race.playback_track = track_dir;
    sim::g_sim.tick = static_cast<int>(options.seed);
    setup_race(g_race.lineup, true, false, 0, 1000, options.skill);
    if (!g_race.race_loaded || !g_race.playing_back) {
      *error = "can't play back \"" + options.playback + "\"";
      return false;
    }
    return true;
  }
  if (options.time_trial) {
    setup_race(nullptr, false, false, 0, 1000, options.skill);
    if (!g_race.race_loaded) {
      *error = "can't load track \"" + options.track + "\"";
      return false;
    }
    if (race::g_track.checkpoints.empty()) {
      *error = "track \"" + options.track + "\" has no timing gates: no lap is ever timed";
      return false;
    }
    g_trial_laps = options.laps;
    g_paces = options.paces;
    g_trial_pilot = ai::TestPilot{};
    g_trial_gates = ai::lap_checkpoints();
    return true;
  }
  // Consecutive gates round Gate 20, as the New Race page's default field stands.
  int first = kHomeSlot - (options.riders - 1) / 2;
  if (first + options.riders > kLineupSlots) first = kLineupSlots - options.riders;
  if (first < 0) first = 0;
  int lineup[kRiderSlots] = {};
  for (int i = 0; i < options.riders; ++i) lineup[first + i] = 2;
  // The race's generator is seeded from the tick counter at set-up, as in the game.
  sim::g_sim.tick = static_cast<int>(options.seed);
  const int time_limit = static_cast<int>(std::lround(options.minutes * 60 * sim::kTicksPerSecond));
  g_startup.learn_lines = options.learn;
  g_startup.practice = options.practice;
  setup_race(lineup, false, !options.record.empty(), time_limit, options.laps, options.skill);
  if (!g_race.race_loaded) {
    *error = "can't load track \"" + options.track + "\"";
    return false;
  }
  if (options.scripted) {
    for (int slot = 0; slot < kRiderSlots; ++slot) {
      const RiderSlot& s = g_race.slots[slot];
      if (!s.bike || s.driver != kDriverAutoPilot) continue;
      ai::TestPilot& pilot = make_scripted(slot);
      pilot.lane = static_cast<float>(slot % 5 - 2) * 0.35f;
      const double pace = options.paces.empty() ? 1.0 : options.paces[slot % options.paces.size()];
      pilot.pace = static_cast<float>(pace);
    }
  }
  if (race::g_track.checkpoints.empty()) {
    *error = "track \"" + options.track + "\" has no timing gates: a race on it never ends";
    return false;
  }
  return true;
}

bool race_tool_tick() {
  if (!g_race.time_trial) {
    race_tick();
    return race::g_timing.classified;
  }
  sim::Bike* bike = g_race.slots[0].bike;
  if (!g_paces.empty()) {
    const std::size_t lap = std::min(g_laps.size(), g_paces.size() - 1);
    g_trial_pilot.pace = static_cast<float>(g_paces[lap]);
  }
  ai::pilot_ride(bike, g_trial_pilot, g_trial_gates);
  const int ended = g_race.trial_laps_ended;
  race_tick();
  ai::pilot_note_gates(bike, g_trial_pilot, g_trial_gates, sim::g_sim.tick);
  if (g_race.trial_laps_ended != ended) {
    RaceToolLap lap;
    lap.lap = g_race.trial_laps_ended;
    lap.ticks = g_race.trial_last_ticks;
    lap.best_ticks = g_race.trial_best_ticks;
    lap.fast_lap_written = g_race.trial_fast_lap_written;
    g_laps.push_back(lap);
  }
  return static_cast<int>(g_laps.size()) >= g_trial_laps;
}

const std::vector<RaceToolLap>& race_tool_laps() { return g_laps; }

RaceToolProgress race_tool_progress() {
  RaceToolProgress p;
  p.leader_lap = race::leader_laps(race::g_timing) + 1;
  p.race_laps = race::g_timing.race_laps;
  if (race::g_timing.order_length > 0) {
    p.leader_gate = race::gate_in_lap(race::g_timing, race::g_timing.order[0].slot);
  }
  p.seconds = static_cast<double>(sim::g_sim.tick - g_race.start_tick) / sim::kTicksPerSecond;
  p.track = g_race.track;
  for (const RiderSlot& slot : g_race.slots) p.riders += slot.bike ? 1 : 0;
  p.minutes = static_cast<double>(g_race.time_limit) / sim::kTicksPerSecond / 60;
  return p;
}

std::vector<RaceToolRider> race_tool_classification() {
  std::vector<RaceToolRider> riders;
  const race::Timing& t = race::g_timing;
  const int first_lap = race::g_track.first_lap_length;
  const int normal_lap = race::g_track.normal_lap_length;
  for (int i = 0; i < t.classification_length; ++i) {
    const race::OrderEntry& e = t.classification[static_cast<std::size_t>(i)];
    const RiderSlot& slot = g_race.slots[e.slot];
    RaceToolRider r;
    r.position = i + 1;
    r.slot = e.slot;
    r.number = slot.number;
    r.bike = slot.model;
    r.laps = e.passed < first_lap || normal_lap <= 0 ? 0 : (e.passed - first_lap) / normal_lap + 1;
    r.finished = t.bikes[static_cast<std::size_t>(e.slot)].finished;
    r.total_s = static_cast<double>(e.last_tick - t.rules.start_tick) / sim::kTicksPerSecond;
    const race::BestLap best = race::best_lap(t, e.slot);
    r.best_lap = best.lap;
    r.best_lap_s = static_cast<double>(best.ticks) / sim::kTicksPerSecond;
    r.penalty_s = static_cast<double>(t.penalty_ticks[static_cast<std::size_t>(e.slot)]) /
                  sim::kTicksPerSecond;
    r.penalty_laps = t.penalty_laps[static_cast<std::size_t>(e.slot)];
    r.crashes = slot.bike ? slot.bike->crash_count : 0;
    const ai::Pilot& pilot = ai::g_pilots[static_cast<std::size_t>(e.slot)];
    if (pilot.computer) r.personality = ai::personalities()[pilot.personality].name;
    for (int k = 0; k < t.bikes[static_cast<std::size_t>(e.slot)].passed; ++k) {
      if (race::pass_tick(t, e.slot, k) != -1) continue;
      if (!r.missed.empty()) r.missed += ',';
      r.missed += std::to_string(k);
    }
    if (r.missed.empty()) r.missed = "-";
    riders.push_back(r);
  }
  return riders;
}

void race_tool_end() {
  demo_race_end();
  save_learned_lines();
  free_bikes();
  race::track_free();
  g_race.race_loaded = false;
  g_race.track.clear();
}

}  // namespace shell
