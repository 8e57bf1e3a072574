// race_driver.cpp -- rider slots, the race tick and shutdown.
#include "platform/platform.h"
#include "race/race.h"
#include "shell/shell.h"

namespace shell {

RaceDriver g_race;

void reset_rider_slots() {
  for (int i = 0; i < kRiderSlots; ++i) {
    g_race.slots[i] = RiderSlot{};
    g_race.lineup[i] = 0;
  }
}

void hand_over_controls(const float inputs[]) {
  if (!g_race.race_loaded) return;
  RiderSlot& slot = g_race.slots[g_race.watched];
  // A watched bike driven from elsewhere leaves the controls to the camera.
  if (slot.driver != kDriverLocal || !slot.info) return;
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
  // Crashes come with the physics; until then a bike is never down.
  sim::apply_player_inputs(in, g_race.aids, false, slot.info->constants.gear_ratios,
                           slot.controls);
}

void race_tick() { ++g_race.tick; }

void shutdown() {
  platform::log("Deallocating bikes\n");
  for (RiderSlot& slot : g_race.slots) slot = RiderSlot{};
  platform::log("Deallocating track\n");
  race::track_free();
  g_race.race_loaded = false;
  platform::log("Finished deallocating track\n");
  platform::close_audio();
  platform::close_window();
  write_config(g_settings);
  platform::log("Shutdown complete\n");
  platform::log_close();
}

}  // namespace shell
