// fuzz_tileinfo.cpp -- the tileinfo reader on arbitrary text, and the curves of what it built.
//
// Whatever the file holds, the table must stay within its limits with its curves sorted and
// raised to their least values, and every curve must evaluate without trouble.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/data.h"
#include "fuzz_support.h"
#include "platform/platform.h"
#include "sim/sim.h"

namespace {

using fuzz_support::check;

std::string g_input;

// Filled keys ascending (at least 2^-20) in front, empty ones (0) behind.
void check_curve(const float* keys) {
  bool empty = false;
  for (int i = 0; i < sim::kCurvePoints; ++i) {
    if (keys[i] == 0) {
      empty = true;
      continue;
    }
    check(!empty && !(keys[i] < 9.5367432e-07f));
    if (i > 0) check(!(keys[i] < keys[i - 1]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = fuzz_support::input_path("tileinfo");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  data::DataStream* stream = fuzz_support::open_input(g_input, bytes, size);
  sim::HeightField& field = sim::g_terrain;
  sim::read_tileinfo(stream, field);
  data::close_data(stream);
  sim::compute_transitions(field);

  check(field.surface_count >= 0 && field.surface_count <= sim::kMaxSurfaces);
  for (int k = 0; k < field.surface_count; ++k) {
    const sim::SurfaceType& s = field.surfaces[k];
    check_curve(s.friction_slip);
    check_curve(s.roll_resist_speed);
    for (int i = 0; i < sim::kCurvePoints; ++i) {
      check(!(s.friction_coef[i] < 0) && !(s.roll_resist_low[i] < 0) &&
            !(s.roll_resist_high[i] < 0));
    }
    for (const sim::RoostType& roost : s.roost) check(roost.mode >= 0 && roost.mode <= 2);
    const std::uint32_t transition = s.transition;
    check((transition >> 16) < static_cast<std::uint32_t>(field.surface_count));
    check(((transition >> 8) & 0xff) < static_cast<std::uint32_t>(field.surface_count));
    check((transition & 0xff) < 16);
    for (float speed : {-3.0f, 0.0f, 0.5f, 7.0f, 1e6f, NAN}) {
      volatile float f = sim::surface_friction(k, speed);
      volatile float r = sim::surface_roll_resist(k, speed, 0.5f);
      (void)f;
      (void)r;
    }
  }
  return 0;
}
