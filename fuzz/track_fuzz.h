// track_fuzz.h -- what the track-file fuzz targets share: a quiet set-up and the track checks.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "race/race.h"

namespace track_fuzz {

using fuzz_support::check;

// The input path, as fuzz_support::input_path. Standard input is closed off: a file may name
// "/dev/stdin" as a shape, and a fuzz run must never wait on a terminal.
inline std::string set_up(const char* name) {
  if (!std::freopen("/dev/null", "r", stdin)) std::abort();
  return fuzz_support::input_path(name);
}

// The folder next to the input that the writers write into.
inline std::string output_folder(const std::string& input) {
  return input.substr(0, input.rfind('/')) + "/out";
}

// Every statue stands where its numbers say and its shape is sound.
inline void check_statues(const race::Track& track) {
  for (const race::Statue& s : track.statues) {
    check(std::isfinite(s.x) && std::isfinite(s.z) && std::isfinite(s.yaw));
    if (!s.has_shape) check(s.shape.spheres.empty());
    for (const sim::ShapeSphere& sphere : s.shape.spheres) {
      check(std::isfinite(sphere.radius) &&
            !(sphere.radius +
                  std::sqrt(sphere.centre.x * sphere.centre.x + sphere.centre.y * sphere.centre.y +
                            sphere.centre.z * sphere.centre.z) >
              s.shape.bounding_radius * 1.0001f + 1e-6f));
    }
  }
}

// The grid holds valid statue indices only.
inline void check_grid(race::Track& track) {
  race::statue_grid_rebuild(track, 64);
  for (const auto& row : track.grid.cells) {
    for (const auto& cell : row) {
      for (std::uint32_t k : cell) check(k < track.statues.size());
    }
  }
}

}  // namespace track_fuzz
