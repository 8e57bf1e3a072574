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

// Until the physics lands there is no bike to hand the controls to.
void hand_over_controls(const float*) {}

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
