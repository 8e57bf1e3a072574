// fuzz_shape.cpp -- the ".shp" reader on arbitrary text.
//
// A shape is read whole or not at all; its spheres are finite and inside its bounding radius.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/data.h"
#include "fuzz_support.h"
#include "sim/sim.h"

namespace {

using fuzz_support::check;

std::string g_input;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = fuzz_support::input_path("shape");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  data::DataStream* stream = fuzz_support::open_input(g_input, bytes, size);
  sim::Shape shape;
  const bool ok = sim::read_shape(stream, shape);
  data::close_data(stream);
  if (!ok) check(shape.spheres.empty() && shape.bounding_radius == 0);
  for (const sim::ShapeSphere& s : shape.spheres) {
    const float reach =
        std::sqrt(s.centre.x * s.centre.x + s.centre.y * s.centre.y + s.centre.z * s.centre.z) +
        s.radius;
    check(!std::isnan(reach));
    check(!(reach > shape.bounding_radius));
  }
  return 0;
}
