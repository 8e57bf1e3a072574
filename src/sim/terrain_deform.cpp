// terrain_deform.cpp -- the circular brush that raises and lowers the ground, and the shading
// it bakes again where it went.
#include <algorithm>
#include <cmath>

#include "sim/sim.h"
#include "sim/terrain_internal.h"

namespace sim {

namespace {

// Grid indices [first, last] of a range given in grid units, cut to 0..points-1. Worked out in
// double so that a brush far away or huge never overflows an int. False when nothing is left.
bool grid_span(double first, double last, int points, int* out_first, int* out_last) {
  first = std::max(first, 0.0);
  last = std::min(last, static_cast<double>(points - 1));
  if (first > last) return false;
  *out_first = static_cast<int>(first);
  *out_last = static_cast<int>(last);
  return true;
}

void widen(GridRect& rect, int x0, int z0, int x1, int z1) {
  if (rect.x0 > rect.x1 || rect.z0 > rect.z1) {
    rect = {x0, z0, x1, z1};
    return;
  }
  rect = {std::min(rect.x0, x0), std::min(rect.z0, z0), std::max(rect.x1, x1),
          std::max(rect.z1, z1)};
}

}  // namespace

void bake_shading(HeightField& field, int x0, int z0, int x1, int z1) {
  if (!field.shading) return;
  const TerrainLight& light = field.light;
  const Vec3& sun = light.sun_direction;
  for (int iz = z0; iz <= z1; ++iz) {
    for (int ix = x0; ix <= x1; ++ix) {
      const Vec3 n = vertex_normal(field, ix, iz);
      const float lit = std::max(0.0f, n.x * sun.x + n.y * sun.y + n.z * sun.z);
      unsigned char* rgb =
          field.shading + (static_cast<std::size_t>(iz) * field.points_per_side + ix) * 3;
      for (int c = 0; c < 3; ++c) {
        // Stored at half intensity: 1.0 of light is 127.5, and up to 2.0 fits the byte.
        const float value = (light.ambient[c] + light.sun[c] * lit) * 127.5f;
        rgb[c] = static_cast<unsigned char>(std::clamp(std::lround(value), 0L, 255L));
      }
    }
  }
}

void terrain_deform(float x, float z, float radius, float amount) {
  HeightField& field = g_terrain;
  if (amount == 0 || !field.heights) return;
  // A non-finite brush would have no square to work on.
  if (!std::isfinite(x) || !std::isfinite(z) || !std::isfinite(radius) || !std::isfinite(amount)) {
    return;
  }
  const int points = field.points_per_side;
  const double gx = static_cast<double>(x) / field.spacing;
  const double gz = static_cast<double>(z) / field.spacing;
  const double rc = static_cast<double>(radius) / field.spacing;  // radius in cells
  // The brush square: 2 * half points a side, from half - 1 before the centre's cell on.
  const double half = std::ceil(rc);
  const double cx = std::floor(gx);
  const double cz = std::floor(gz);
  int x0, x1, z0, z1;
  if (half >= 1 && grid_span(cx - half + 1, cx + half, points, &x0, &x1) &&
      grid_span(cz - half + 1, cz + half, points, &z0, &z1)) {
    for (int iz = z0; iz <= z1; ++iz) {
      float* row = field.heights + static_cast<std::size_t>(iz) * points;
      for (int ix = x0; ix <= x1; ++ix) {
        const double q = std::sqrt((gx - ix) * (gx - ix) + (gz - iz) * (gz - iz));
        if (q > rc) continue;
        const double u = q / rc;
        const double weight = 2 * u * u * u - 3 * u * u + 1;
        if (weight <= 0 || field.deform_locked) continue;
        row[ix] += static_cast<float>(amount * weight);
        field.min_height = std::min(field.min_height, row[ix]);
        field.max_height = std::max(field.max_height, row[ix]);
        field.modified = true;
      }
    }
    // The normals of the ring around the square depend on the changed points too.
    const int last = points - 1;
    const int sx0 = std::max(x0 - 1, 0), sz0 = std::max(z0 - 1, 0);
    const int sx1 = std::min(x1 + 1, last), sz1 = std::min(z1 + 1, last);
    bake_shading(field, sx0, sz0, sx1, sz1);
    widen(field.shading_dirty, sx0, sz0, sx1, sz1);
  }
  ++field.edit_count;
}

}  // namespace sim
