// fuzz_flaggers.cpp -- the flaggers reader on arbitrary text.
//
// Flaggers name billboards that exist, and course flaggers' checkpoints stay in -1 .. count - 1.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/data.h"
#include "race/race.h"
#include "track_fuzz.h"

namespace {

using track_fuzz::check;

std::string g_input;

bool names_billboard(const race::Track& track, int index) {
  return index == -1 || (index >= 0 && index < static_cast<int>(track.billboards.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = track_fuzz::set_up("flaggers");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  // The first byte picks the number of checkpoints the flaggers are clamped to.
  const int count = size > 0 ? bytes[0] % 5 : 0;
  data::DataStream* stream =
      fuzz_support::open_input(g_input, size > 0 ? bytes + 1 : bytes, size > 0 ? size - 1 : 0);
  race::Track track;
  track.checkpoints.resize(count);
  race::read_flaggers(stream, track);
  data::close_data(stream);
  const race::Flaggers& f = track.flaggers;
  check(names_billboard(track, f.start.billboard) && names_billboard(track, f.finish.billboard));
  check(f.finish.billboard == -1 || f.start.billboard >= 0);
  for (const race::CourseFlagger& c : f.course) {
    check(c.billboard >= 0 && names_billboard(track, c.billboard));
    for (int gate : c.checkpoints) check(gate >= -1 && gate <= count - 1);
  }
  check(track.billboards.size() == track.billboard_render.size());
  return 0;
}
