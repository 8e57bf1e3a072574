// race_driver.cpp -- rider slots, race set-up, the main loop and shutdown (to come).
#include "platform/platform.h"
#include "shell/shell.h"

namespace shell {

RaceDriver g_race;

void reset_rider_slots() {
  for (int i = 0; i < kRiderSlots; ++i) {
    g_race.slots[i] = RiderSlot{};
    g_race.lineup[i] = 0;
  }
}

void setup_race(const std::string& track, bool, bool, int, int, int) {
  platform::messagef("Can't set up a race on '%.150s' yet", track.c_str());
  g_race.race_loaded = false;
}

// Until the physics lands there is no bike to hand the controls to.
void hand_over_controls(const float*) {}

void race_tick() { ++g_race.tick; }

void shutdown() {
  platform::close_audio();
  platform::close_window();
  write_config(g_settings);
  platform::log("Shutdown complete\n");
  platform::log_close();
}

}  // namespace shell
