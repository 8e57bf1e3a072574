// race_driver.cpp -- rider slots, the race tick and shutdown.
#include <algorithm>
#include <cmath>

#include "ai/pilot.h"
#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/frame_loop.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/standings_input.h"
#include "shell/startup.h"

namespace shell {

RaceDriver g_race;

void free_bikes() {
  free_engine_voices();
  for (RiderSlot& slot : g_race.slots) {
    sim::bike_destroy(slot.bike);
    slot.bike = nullptr;
  }
}

void reset_rider_slots() {
  free_bikes();
  for (int i = 0; i < kRiderSlots; ++i) {
    g_race.slots[i] = RiderSlot{};
    g_race.lineup[i] = 0;
  }
}

bool race_online() {
  // Until the multiplayer client lands, a race is online when a server was named.
  return !g_startup.server_address.empty();
}

bool false_start(const double spot[3], const double at[3]) {
  const double dx = at[0] - spot[0], dy = at[1] - spot[1], dz = at[2] - spot[2];
  return dx * dx + dy * dy + dz * dz >= kFalseStartDistance * kFalseStartDistance;
}

void hand_over_controls(const float inputs[]) {
  if (!g_race.race_loaded) return;
  RiderSlot& slot = g_race.slots[g_race.watched];
  // A watched bike driven from elsewhere leaves the controls to the camera.
  if (slot.driver != kDriverLocal || !slot.bike) {
    if (current_view() != render::kViewNoRace) {
      render::camera_update_tick(current_view(), camera_input(), camera_controls(inputs));
    }
    return;
  }
  sim::PlayerInputs in;
  in.steer = inputs[kInputSteer];
  in.throttle = inputs[kInputThrottle];
  in.front_brake = inputs[kInputFrontBrake];
  in.rear_brake = inputs[kInputRearBrake];
  in.shift = inputs[kInputShift];
  in.clutch_lever = inputs[kInputClutch];
  in.dab = inputs[kInputDab];
  in.back_up = inputs[kInputBackUp];
  in.lean = inputs[kInputLean];
  g_race.aids.reverse_steering = g_rider_setup.reverse_steering.name() == "Yes";
  g_race.aids.sticky_dab = g_rider_setup.sticky_dab.name() == "Yes";
  sim::Bike* bike = slot.bike;
  const bool crashed = sim::bike_crashed(bike);
  sim::apply_player_inputs(in, g_race.aids, crashed, bike->k.gear_ratios, bike->controls);
  if (crashed) {
    sim::Controls& c = bike->controls;
    c.throttle = c.dab = c.back_up = c.lean = 0;
  }
}

namespace {

// A bike waiting for the gate (or serving a false-start penalty) stands on its brakes.
void hold(sim::Bike* bike) {
  sim::Controls& c = bike->controls;
  c.front_brake = c.rear_brake = 1;
  c.dab = 1;
  c.clutch = 0;
  c.throttle = 0;
  c.back_up = 0;
}

ai::TestPilot g_scripted[kRiderSlots];
std::vector<int> g_scripted_gates;

void before_bike_step(sim::Bike* bike, void*) {
  RiderSlot& slot = g_race.slots[bike->slot];
  // A replayed bike is judged where its records put it after this tick, as the bike that was
  // recorded was judged where the physics put it: the same gates at the same ticks.
  if (slot.driver == kDriverHistory && !race_online()) {
    race::pose_from_history(race::g_history, bike->slot, bike, sim::g_sim.tick + 1,
                            race::g_playback.stream ? g_race.playback_version : 6);
  }
  // The gates: offline every bike's passes are decided here; online only the local rider's
  // (the others' come from the server).
  if (!race_online() || bike->slot == g_race.local_slot) {
    const bool was_classified = race::g_timing.classified;
    race::gate_step(race::g_timing, *bike, sim::g_sim.tick);
    if (race::g_timing.classified && !was_classified) race_classified();
    ai::lines_tick(bike, sim::g_sim.tick, g_race.start_tick);
  }
  if (slot.driver == kDriverHistory) return;
  if (slot.driver == kDriverScripted) {
    ai::pilot_ride(bike, g_scripted[bike->slot], g_scripted_gates);
  }
  if (slot.driver == kDriverAutoPilot) {
    // The auto pilot holds its bike at the gate itself, revving for the drop.
    ai::auto_pilot_step(bike);
    return;
  }
  const bool before_gate = sim::g_sim.tick < g_race.start_tick;
  // Only an online race penalises a rider who rolls before the gate drops.
  if (race_online() && bike->slot == g_race.local_slot && before_gate && g_race.held_until == 0 &&
      !g_race.time_trial) {
    const dReal* p = sim::body_position(bike, sim::kFrame);
    const double at[3] = {p[0], p[1], p[2]};
    if (false_start(g_race.start_spot, at)) {
      g_race.held_until = g_race.start_tick + 15 * sim::kTicksPerSecond;
      platform::message("15 second false start penalty");
    }
  }
  const bool penalised = bike->slot == g_race.local_slot && sim::g_sim.tick < g_race.held_until;
  if ((before_gate && !g_race.time_trial) || penalised) hold(bike);
}

}  // namespace

ai::TestPilot& make_scripted(int slot) {
  g_race.slots[slot].driver = kDriverScripted;
  g_scripted_gates = ai::lap_checkpoints();  // the loaded track's
  ai::pilot_begin(slot, false, nullptr);
  return g_scripted[slot] = ai::TestPilot{};
}

int leader_completed_laps() { return race::leader_laps(race::g_timing); }

int watched_sequence_position() {
  const int slot = g_race.watched;
  return slot >= 0 && slot < race::kTimingSlots ? race::g_timing.bikes[slot].passed : 0;
}

void race_classified() { write_race_results(); }

int neighbour_in_order(int step) {
  const race::Timing& t = race::g_timing;
  for (int i = 0; i < t.order_length; ++i) {
    if (t.order[static_cast<std::size_t>(i)].slot != g_race.watched) continue;
    for (int k = 1; k < t.order_length; ++k) {
      const int j = ((i + step * k) % t.order_length + t.order_length) % t.order_length;
      const int slot = t.order[static_cast<std::size_t>(j)].slot;
      if (slot >= 0 && slot < kRiderSlots && g_race.slots[slot].bike) return slot;
    }
    return g_race.watched;
  }
  // Not in the order (an untimed track): the next occupied slot round the end.
  for (int k = 1; k <= kRiderSlots; ++k) {
    const int slot = ((g_race.watched + step * k) % kRiderSlots + kRiderSlots) % kRiderSlots;
    if (g_race.slots[slot].bike) return slot;
  }
  return g_race.watched;
}

bool skip_rewind(int seconds) {
  bool any = false;
  for (const RiderSlot& slot : g_race.slots) {
    if (!slot.bike) continue;
    if (slot.driver != kDriverHistory) return false;  // someone rides live: time runs on
    any = true;
  }
  if (!any || !g_race.race_loaded) return false;
  const int ticks = seconds * sim::kTicksPerSecond;
  if (seconds > 0 && g_startup.accurate_skip) {
    // Ride the skipped time, without throwing roost.
    const int roost = g_startup.roost_frequency;
    g_startup.roost_frequency = 0;
    const int target = sim::g_sim.tick + ticks;
    while (sim::g_sim.tick < target) race_tick();
    g_startup.roost_frequency = roost;
    return true;
  }
  sim::g_sim.tick = std::max(0, sim::g_sim.tick + ticks - 1);
  // The demo reads on from the new tick with empty rings and the gates passed after it taken
  // back; one tick then poses every bike.
  demo_reposition(sim::g_sim.tick);
  race_tick();
  return true;
}

void race_tick() {
  // Kept between ticks: the race tick allocates nothing once the race is set up.
  static sim::Bike* bikes[kRiderSlots];
  // Replayed bikes take their recorded states (a demo's first states may move the clock).
  demo_tick_begin();
  time_trial_note_laps();
  int count = 0;
  for (RiderSlot& slot : g_race.slots) {
    if (slot.bike) bikes[count++] = slot.bike;
  }
  // The race clock is the simulation's: `simulate_tick` advances it.
  const int tick = sim::g_sim.tick;
  sim::g_sim.race_running = tick >= g_race.start_tick;
  sim::g_sim.erosion_scale = static_cast<float>(g_startup.erosion_rate);
  sim::g_sim.roost_frequency = g_startup.roost_frequency;
  ai::g_pilot_race.bikes = bikes;
  ai::g_pilot_race.count = count;
  ai::g_pilot_race.start_tick = g_race.start_tick;
  ai::g_pilot_race.ready_tick = kReadyTicks;
  ai::g_pilot_race.now_seconds = static_cast<double>(tick) / sim::kTicksPerSecond;
  sim::simulate_tick(bikes, count, before_bike_step, nullptr);
  for (RiderSlot& slot : g_race.slots) {
    if (!slot.bike || slot.driver != kDriverScripted) continue;
    ai::TestPilot& pilot = g_scripted[slot.bike->slot];
    const int laps = pilot.laps;
    ai::pilot_note_gates(slot.bike, pilot, g_scripted_gates, tick);
    // Another lane every lap, so that the laps teach a spread of lines.
    if (pilot.laps != laps) {
      pilot.lane = static_cast<float>((slot.bike->slot * 3 + pilot.laps * 2) % 5 - 2) * 0.35f;
    }
  }
  // The start-gate bars fall from standing to flat in a third of a second after the gate's tick.
  if (tick >= g_race.start_tick && tick < g_race.start_tick + 10 * sim::kTicksPerSecond) {
    g_race.gate_fall = std::max(0.0f, g_race.gate_fall - 8.0f / sim::kTicksPerSecond);
  }
  // The tick goes into the history and the demo; then the time trial's lap ends, if one did.
  demo_tick_end();
  time_trial_lap_step();
}

void shutdown() {
  demo_race_end();
  save_learned_lines();
  platform::log("Deallocating bikes\n");
  free_bikes();
  for (RiderSlot& slot : g_race.slots) slot = RiderSlot{};
  platform::log("Deallocating track\n");
  race::track_free();
  g_race.race_loaded = false;
  platform::log("Finished deallocating track\n");
  platform::close_audio();
  platform::close_window();
  data::texture_cache_free();
  write_config(g_settings);
  platform::log("Shutdown complete\n");
  platform::log_close();
}

}  // namespace shell
