// fuzz_texturelist.cpp -- the older texturelist reader on arbitrary text.
//
// At most 256 surfaces, each with flat curves, one roost and a texture name that starts with
// "@"; transition codes must name surfaces of the table.
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = fuzz_support::input_path("texturelist");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  data::DataStream* stream = fuzz_support::open_input(g_input, bytes, size);
  sim::HeightField& field = sim::g_terrain;
  sim::read_texturelist(stream, field);
  data::close_data(stream);
  sim::compute_transitions(field);

  check(field.surface_count >= 0 && field.surface_count <= sim::kMaxSurfaces);
  for (int k = 0; k < field.surface_count; ++k) {
    const sim::SurfaceType& s = field.surfaces[k];
    check(!s.texture.empty() && s.texture[0] == '@');
    check(s.friction_slip[0] == 1.0f && s.friction_slip[1] == 0.0f);
    check(s.roost[0].mode == 1 && s.roost[1].mode == 0);
    check((s.transition >> 16) < static_cast<std::uint32_t>(field.surface_count));
    check(((s.transition >> 8) & 0xff) < static_cast<std::uint32_t>(field.surface_count));
    volatile float f = sim::surface_friction(k, 3.0f);
    (void)f;
  }
  return 0;
}
