// statue_grid.cpp -- the 8 x 8 grid that finds the statues near a point of the ground.
#include <cmath>
#include <cstdint>

#include "race/race.h"

namespace race {

int statue_grid_cell(float u, float side) {
  // The grid spans S/8 .. 7S/8. Without a terrain, or for a NaN position, the cell is 0.
  if (!(side > 0)) return 0;
  const double v = std::floor(8.0 * 4.0 / 3.0 * (static_cast<double>(u) / side - 0.125));
  if (!(v >= 0)) return 0;
  if (v >= kStatueGridSide - 1) return kStatueGridSide - 1;
  return static_cast<int>(v);
}

void statue_grid_rebuild(Track& track, float side) {
  for (auto& row : track.grid.cells) {
    for (auto& cell : row) {
      cell.clear();
      cell.reserve(16);
    }
  }
  for (std::size_t k = 0; k < track.statues.size(); ++k) {
    const Statue& statue = track.statues[k];
    if (!statue.has_shape) continue;
    const float r = std::fmax(statue.shape.bounding_radius, 0.0f);
    const int row0 = statue_grid_cell(statue.z - r, side);
    const int row1 = statue_grid_cell(statue.z + r, side);
    const int column0 = statue_grid_cell(statue.x - r, side);
    const int column1 = statue_grid_cell(statue.x + r, side);
    for (int row = row0; row <= row1; ++row) {
      for (int column = column0; column <= column1; ++column) {
        track.grid.cells[row][column].push_back(static_cast<std::uint32_t>(k));
      }
    }
  }
}

}  // namespace race
