// demo_driver.cpp -- the race driver's side of the state history: sampling the simulated bikes,
// recording and playing back demos, skip and rewind, and the time trial's laps and ghost.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "shell/catalogue.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"

namespace shell {

namespace {

constexpr const char* kLastLap = "lastlap.kvdemo";
constexpr const char* kFastLap = "fastlap.kvdemo";

// A file of the track's per-user folder: "@", the track directory, "/", the file.
std::string track_demo(const char* file) { return "@" + g_race.track + "/" + file; }

bool demo_exists(const std::string& name) {
  data::DataStream* stream = data::open_data(name.c_str(), "rb");
  if (!stream) return false;
  data::close_data(stream);
  return true;
}

// Byte for byte; false when either file cannot be opened or a write falls short.
bool copy_demo(const std::string& from, const std::string& to) {
  data::DataStream* in = data::open_data(from.c_str(), "rb");
  if (!in) return false;
  data::DataStream* out = data::open_data(to.c_str(), "wb");
  if (!out) {
    data::close_data(in);
    return false;
  }
  bool ok = true;
  char buffer[8192];
  for (std::size_t n; ok && (n = data::ds_read(in, buffer, sizeof buffer)) > 0;) {
    ok = data::ds_write(out, buffer, n) == n;
  }
  data::close_data(in);
  data::close_data(out);
  return ok;
}

// Whose motion the demo keeps: offline the riders simulated here (not those replayed from
// another demo); online every rider.
bool recorded_rider(const RiderSlot& slot) {
  if (!slot.bike) return false;
  return race_online() || slot.driver != kDriverHistory;
}

// The bikes of the demo's riders in their slots: rider index -> slot.
void bind_playback() {
  std::vector<int> slots(race::g_playback.header.riders.size(), -1);
  for (int i = 0; i < kRiderSlots; ++i) {
    const RiderSlot& slot = g_race.slots[i];
    if (slot.bike && slot.demo_rider >= 0 && slot.demo_rider < static_cast<int>(slots.size())) {
      slots[static_cast<std::size_t>(slot.demo_rider)] = i;
    }
  }
  race::playback_bind(race::g_playback, slots);
}

// Starts writing `name` with the recorded riders of the race.
void start_recording(const std::string& name) {
  race::DemoHeader header;
  header.duration = g_race.time_limit;
  header.extra_laps = g_race.laps;
  header.start_tick = g_race.start_tick;
  header.track = g_race.track;
  std::vector<int> slots;
  for (int i = 0; i < kRiderSlots; ++i) {
    const RiderSlot& slot = g_race.slots[i];
    if (!recorded_rider(slot)) continue;
    race::DemoRider rider;
    rider.model = slot.info ? slot.info->name : slot.model;
    rider.rider_texture = slot.rider_texture;
    rider.bike_texture = slot.bike_texture;
    rider.wheel_texture = slot.wheel_texture;
    rider.head_texture = slot.head_texture;
    rider.number = slot.number;
    rider.name = slot.driver == kDriverLocal ? g_rider_setup.name : slot.name;
    header.riders.push_back(rider);
    slots.push_back(i);
  }
  race::record_start(race::g_recording, name.c_str(), header, slots);
}

// A lap of the time trial, from sequence position F - 1 to F - 1 + N: its ticks, or 0 when
// a position of it was missed.
int trial_lap_ticks(int slot) {
  const race::Timing& t = race::g_timing;
  const int f = race::g_track.first_lap_length, n = race::g_track.normal_lap_length;
  if (f <= 0 || n <= 0) return 0;
  for (int k = f - 1; k <= f - 1 + n; ++k) {
    if (race::pass_tick(t, slot, k) < 0) return 0;
  }
  return race::pass_tick(t, slot, f - 1 + n) - race::pass_tick(t, slot, f - 1);
}

void keep_best(int ticks) {
  if (ticks > 0 && (g_race.trial_best_ticks == 0 || ticks < g_race.trial_best_ticks)) {
    g_race.trial_best_ticks = ticks;
  }
}

// The time trial's ghost: the fast lap's riders in the slots after the rider's.
void remove_ghosts() {
  for (int i = 0; i < kRiderSlots; ++i) {
    RiderSlot& slot = g_race.slots[i];
    if (slot.driver != kDriverHistory || !slot.bike) continue;
    free_engine_voice(i);
    sim::bike_destroy(slot.bike);
    slot = RiderSlot{};
    race::g_history.rings[static_cast<std::size_t>(i)] = race::HistoryRing{};
    race::g_timing.bikes[static_cast<std::size_t>(i)].in_use = false;
  }
}

void load_ghosts(const std::string& name) {
  race::playback_close(race::g_playback);
  if (!race::playback_open(race::g_playback, name.c_str(), true)) return;
  const std::vector<race::DemoRider>& riders = race::g_playback.header.riders;
  int next = 0;
  for (int i = 0; i < kRiderSlots && next < static_cast<int>(riders.size()); ++i) {
    RiderSlot& slot = g_race.slots[i];
    if (slot.bike) continue;
    seat_demo_rider(slot, riders[static_cast<std::size_t>(next)], next);
    ++next;
    slot.info = find_bike_info(slot.model.c_str());
    if (!slot.info) continue;
    slot.bike = sim::bike_create(slot.info, i, slot.number.c_str());
    make_replayed(slot.bike);
    place_on_grid(slot.bike, i);
    race::g_history.rings[static_cast<std::size_t>(i)] = race::HistoryRing{};
    const dReal* p = sim::body_position(slot.bike, sim::kFrame);
    const double at[3] = {p[0], p[1], p[2]};
    race::timing_add_bike(race::g_timing, i, race::kRiderComputer, at);
  }
  sync_engine_voices();
  bind_playback();
}

}  // namespace

void make_replayed(sim::Bike* bike) {
  bike->replayed = true;
  sim::bike_set_aid(bike, &sim::AidSettings::roll_damping, 100);
  sim::bike_set_aid(bike, &sim::AidSettings::full_lock_speed, 5);
  sim::bike_set_aid(bike, &sim::AidSettings::restricted_lock_speed, 50);
  sim::bike_set_aid(bike, &sim::AidSettings::restricted_lock, 0.04363323);
}

bool demo_setup_playback(bool playback) {
  race::record_stop(race::g_recording);
  race::playback_close(race::g_playback);
  race::history_clear(race::g_history);
  g_race.playing_back = false;
  g_race.playback_version = 6;
  g_race.trial_rider_laps = g_race.trial_ghost_laps = 0;
  g_race.trial_last_ticks = g_race.trial_best_ticks = 0;
  g_race.trial_laps_ended = 0;
  g_race.trial_fast_lap_written = false;
  if (!playback) return false;
  const std::string name =
      g_race.playback_file.empty() ? race::kDefaultDemoName : g_race.playback_file;
  if (!race::playback_open(race::g_playback, name.c_str(), false)) return false;
  g_race.playing_back = true;
  g_race.playback_version = race::g_playback.header.version;
  g_race.playback_track = race::g_playback.header.track;
  return true;
}

void demo_setup_finish(bool record) {
  if (g_race.playing_back) bind_playback();
  if (g_race.time_trial) {
    // The fastest lap so far rides with the rider from the first lap on.
    const std::string fast = track_demo(kFastLap);
    if (demo_exists(fast)) load_ghosts(fast);
    start_recording(track_demo(kLastLap));
    return;
  }
  if (!record) return;
  const std::string playing =
      g_race.playback_file.empty() ? std::string(race::kDefaultDemoName) : g_race.playback_file;
  if (g_race.playing_back && playing == race::kDefaultDemoName) {
    platform::message("Can't record and play from same file - recording disabled");
    return;
  }
  if (!g_race.record_file.empty()) {
    start_recording(g_race.record_file);
    return;
  }
  race::rotate_demo_backups(g_settings.demo_backups);
  start_recording(race::kDefaultDemoName);
}

void demo_tick_begin() {
  if (race::g_playback.stream) {
    int now = sim::g_sim.tick;
    race::playback_step(race::g_playback, race::g_history, &now);
    if (now != sim::g_sim.tick) sim::g_sim.tick = now;
  }
  const int version = race::g_playback.stream ? g_race.playback_version : 6;
  for (int i = 0; i < kRiderSlots; ++i) {
    const RiderSlot& slot = g_race.slots[i];
    if (slot.bike && slot.driver == kDriverHistory) {
      race::pose_from_history(race::g_history, i, slot.bike, sim::g_sim.tick, version);
    }
  }
}

void sample_states(bool force) {
  const int tick = sim::g_sim.tick;
  if (!force && tick % race::kSampleInterval != 0) return;
  sim::StateRecord record;
  for (int i = 0; i < kRiderSlots; ++i) {
    const RiderSlot& slot = g_race.slots[i];
    if (!slot.bike || slot.driver == kDriverHistory) continue;
    sim::state_pack(slot.bike, &record);
    race::add_state(race::g_history, i, record, tick);
  }
}

void demo_tick_end() {
  sample_states(false);
  if (race::g_recording.stream) {
    race::record_flush(race::g_recording, race::g_history, sim::g_sim.tick, false);
  }
}

void demo_race_end() {
  if (race::g_recording.stream) {
    sample_states(true);
    race::record_flush(race::g_recording, race::g_history, sim::g_sim.tick, true);
  }
  race::record_stop(race::g_recording);
  race::playback_close(race::g_playback);
}

void time_trial_note_laps() {
  if (!g_race.time_trial) return;
  g_race.trial_rider_laps = race::laps_completed(race::g_timing, 0);
  g_race.trial_ghost_laps = g_race.slots[1].bike ? race::laps_completed(race::g_timing, 1) : 0;
}

void time_trial_lap_step() {
  if (!g_race.time_trial || g_race.local_slot != 0 || !g_race.slots[0].bike) return;
  race::Timing& timing = race::g_timing;
  const int now = sim::g_sim.tick;
  if (g_race.slots[1].bike && race::laps_completed(timing, 1) > g_race.trial_ghost_laps) {
    keep_best(trial_lap_ticks(1));
  }
  const int laps = race::laps_completed(timing, 0);
  if (laps <= g_race.trial_rider_laps) return;

  const int lap = trial_lap_ticks(0);
  g_race.trial_last_ticks = lap;
  keep_best(lap);
  // The lap's demo is complete: it ends where the rider crossed the line.
  sample_states(true);
  race::record_flush(race::g_recording, race::g_history, now, true);
  race::record_stop(race::g_recording);
  const bool ghost_behind = g_race.slots[1].bike && timing.bikes[1].passed < timing.bikes[0].passed;
  remove_ghosts();
  const std::string fast = track_demo(kFastLap);
  g_race.trial_fast_lap_written =
      (!demo_exists(fast) || (ghost_behind && lap > 0)) && copy_demo(track_demo(kLastLap), fast);
  ++g_race.trial_laps_ended;
  load_ghosts(fast);

  // Everyone starts the next lap from the lap line.
  const int lap_line = race::g_track.first_lap_length - 1;
  for (int i = 1; i < kRiderSlots; ++i) {
    if (g_race.slots[i].bike) race::set_passed(timing, i, lap_line);
  }
  race::set_passed(timing, 0, lap_line);
  race::gate_step(timing, *g_race.slots[0].bike, now);
  start_recording(track_demo(kLastLap));
  sample_states(true);
  race::record_flush(race::g_recording, race::g_history, now, true);
  race::update_order(timing, now);
  g_race.trial_rider_laps = race::laps_completed(timing, 0);
}

void demo_reposition(int tick) {
  race::playback_seek(race::g_playback, tick);
  race::history_clear(race::g_history);
  race::Timing& timing = race::g_timing;
  for (int i = 0; i < race::kTimingSlots; ++i) {
    const race::BikeTiming& bike = timing.bikes[static_cast<std::size_t>(i)];
    if (!bike.in_use) continue;
    // The positions passed by the new tick stay passed.
    int keep = 0;
    for (int k = 0; k < bike.passed; ++k) {
      const int at = race::pass_tick(timing, i, k);
      if (at >= 0 && at <= tick) keep = k + 1;
    }
    if (keep < bike.passed) {
      race::set_passed(timing, i, keep);
      timing.classified = false;
    }
  }
  race::update_order(timing, tick);
}

bool history_fresh(int slot, int tick) {
  const int newest = race::newest_tick(race::g_history, slot);
  return newest >= 0 && newest >= tick - sim::kTicksPerSecond;
}

}  // namespace shell
