// window.cpp -- the game window and its input controls (to come: SDL2 back-end).
#include "platform/platform.h"

namespace platform {

// Until the SDL back-end lands there is no window: start-up reports the
// failure and ends, and nothing is drawn.
std::vector<DisplayMode> display_modes() { return {}; }

bool create_window(const char*, int, int, int, int, bool) {
  log("No window back-end in this build\n");
  return false;
}

bool window_ready() { return false; }

void close_window() {}

void register_control(const char*) {}

}  // namespace platform
