// fuzz_lighting.cpp -- the lighting reader on arbitrary text.
//
// Whatever the file says, the planes end up in their ranges, the sun vector has unit length,
// every sky face has a texture and no flare holds more than eight elements.
#include <cmath>
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
  g_input = track_fuzz::set_up("lighting");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  data::DataStream* stream = fuzz_support::open_input(g_input, bytes, size);
  race::LightingSettings l;
  race::read_lighting(stream, l);
  data::close_data(stream);
  check(l.near_plane >= 1.0f / 1024 && l.near_plane <= 0.875f);
  check(l.far_plane >= l.near_plane && l.far_plane <= 1048576);
  const sim::Vec3& s = l.sun_vector;
  check(std::fabs(s.x * s.x + s.y * s.y + s.z * s.z - 1) < 1e-3f);
  for (const std::string& face : l.sky) check(!face.empty());
  check(!l.sky_env.empty());
  for (const race::LensFlare& flare : l.flares) {
    check(flare.kind == 0 || flare.kind == 1);
    check(flare.elements.size() <= race::kMaxFlareElements);
  }
  return 0;
}
