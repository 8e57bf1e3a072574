// race_driver.cpp -- rider slots, race set-up, the main loop and shutdown (to come).
#include <time.h>  // nanosleep

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

// Until the frame loop lands: show the window and wait for it to be closed
// (the close button, SIGINT or SIGTERM), then shut down normally.
int main_loop() {
  for (;;) {
    platform::Event event;
    bool closing = false;
    while (platform::next_event(&event)) closing = closing || event.code == platform::kCloseRequest;
    if (closing) break;
    platform::swap_window();
    timespec wait{0, 16000000};
    nanosleep(&wait, nullptr);
  }
  shutdown();
  return 0;
}

void shutdown() {
  platform::close_audio();
  platform::close_window();
  write_config(g_settings);
  platform::log("Shutdown complete\n");
  platform::log_close();
}

}  // namespace shell
