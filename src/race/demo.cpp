// demo.cpp -- demo files (to come): until then no demo can be played back.
#include "platform/platform.h"
#include "race/race.h"

namespace race {

bool read_demo(const char* file, std::string&) {
  platform::messagef("Can't play back '%.150s': demo playback is not available yet", file);
  return false;
}

}  // namespace race
