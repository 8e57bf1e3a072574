// fuzz_cameras.cpp -- the cameras reader on arbitrary text.
//
// Fields of view are never negative and every checkpoint names a camera that exists, or none.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/data.h"
#include "race/race.h"
#include "track_fuzz.h"

namespace {

using track_fuzz::check;

std::string g_input;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = track_fuzz::set_up("cameras");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  data::DataStream* stream = fuzz_support::open_input(g_input, bytes, size);
  race::Track track;
  race::read_cameras(stream, track, {});
  data::close_data(stream);
  for (const race::TrackCamera& c : track.cameras) {
    check(!(c.fov < 0) && !(c.auto_fov_size < 0));
  }
  for (int camera : track.checkpoint_camera) {
    check(camera >= -1 && camera < static_cast<int>(track.cameras.size()));
  }
  return 0;
}
