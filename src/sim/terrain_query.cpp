// terrain_query.cpp -- the per-tick questions: height, triangle normal, vertex normal, surface.
#include <cmath>

#include "sim/sim.h"
#include "sim/terrain_internal.h"

namespace sim {

namespace {

int clamp_index(int i, int last) { return i < 0 ? 0 : (i > last ? last : i); }

// Grid coordinate of a world coordinate, held to [-1, S] before it becomes an integer: every
// index outside the grid reads the edge heights anyway, and this keeps far, infinite or NaN
// positions (NaN reads as -1) from overflowing the conversion.
float grid_coordinate(float world, float spacing, int points) {
  return std::fmin(std::fmax(world / spacing, -1.0f), static_cast<float>(points));
}

// The cell under a point: its lower corner, the fractions inside it and its corner heights.
struct Cell {
  int ix;
  int iz;
  float fx;
  float fz;
  float h00;  // (ix, iz)
  float h10;  // (ix + 1, iz)
  float h01;  // (ix, iz + 1)
  float h11;  // (ix + 1, iz + 1)
  bool odd() const { return ((ix + iz) & 1) != 0; }
};

Cell locate(const HeightField& field, float x, float z) {
  const int points = field.points_per_side;
  const float gx = grid_coordinate(x, field.spacing, points);
  const float gz = grid_coordinate(z, field.spacing, points);
  Cell cell;
  const float flx = std::floor(gx);
  const float flz = std::floor(gz);
  cell.ix = static_cast<int>(flx);
  cell.iz = static_cast<int>(flz);
  cell.fx = gx - flx;
  cell.fz = gz - flz;
  const int last = points - 1;
  const int x0 = clamp_index(cell.ix, last);
  const int x1 = clamp_index(cell.ix + 1, last);
  const float* row0 = field.heights + static_cast<std::size_t>(clamp_index(cell.iz, last)) * points;
  const float* row1 =
      field.heights + static_cast<std::size_t>(clamp_index(cell.iz + 1, last)) * points;
  cell.h00 = row0[x0];
  cell.h10 = row0[x1];
  cell.h01 = row1[x0];
  cell.h11 = row1[x1];
  return cell;
}

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// e1 x e2, turned to face up.
Vec3 upward_cross(const Vec3& e1, const Vec3& e2) {
  Vec3 n = cross(e1, e2);
  if (n.y < 0) n = {-n.x, -n.y, -n.z};
  return n;
}

// Neighbours of a grid point in order around it; consecutive pairs make the eight triangles of
// the vertex normal.
constexpr int kRing[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};

}  // namespace

float terrain_height(float x, float z) {
  const HeightField& field = g_terrain;
  if (!field.heights) return 0;
  const Cell c = locate(field, x, z);
  if (c.odd()) {
    if (c.fx + c.fz <= 1) return c.h00 + c.fx * (c.h10 - c.h00) + c.fz * (c.h01 - c.h00);
    return c.h11 + (1 - c.fx) * (c.h01 - c.h11) + (1 - c.fz) * (c.h10 - c.h11);
  }
  if (c.fz <= c.fx) return c.h10 + (1 - c.fx) * (c.h00 - c.h10) + c.fz * (c.h11 - c.h10);
  return c.h01 + c.fx * (c.h11 - c.h01) + (1 - c.fz) * (c.h00 - c.h01);
}

Vec3 terrain_face_normal(float x, float z) {
  const HeightField& field = g_terrain;
  if (!field.heights) return {0, 1, 0};
  const Cell c = locate(field, x, z);
  const float s = field.spacing;
  // Two edges from the triangle's corner that is off the diagonal.
  if (c.odd()) {
    if (c.fx + c.fz <= 1) return upward_cross({s, c.h10 - c.h00, 0}, {0, c.h01 - c.h00, s});
    return upward_cross({-s, c.h01 - c.h11, 0}, {0, c.h10 - c.h11, -s});
  }
  if (c.fz <= c.fx) return upward_cross({-s, c.h00 - c.h10, 0}, {0, c.h11 - c.h10, s});
  return upward_cross({s, c.h11 - c.h01, 0}, {0, c.h00 - c.h01, -s});
}

Vec3 vertex_normal(const HeightField& field, int ix, int iz) {
  if (!field.heights) return {0, 1, 0};
  const int last = field.points_per_side - 1;
  ix = clamp_index(ix, last);
  iz = clamp_index(iz, last);
  const float s = field.spacing;
  auto height = [&](int x, int z) {
    return field.heights[static_cast<std::size_t>(clamp_index(z, last)) * field.points_per_side +
                         clamp_index(x, last)];
  };
  const float centre = height(ix, iz);
  // Edge from the point to a neighbour; at the grid's edge a neighbour clamps onto the
  // point's own row or column, and the triangles that collapse add nothing.
  auto edge = [&](int k) {
    const int nx = clamp_index(ix + kRing[k][0], last);
    const int nz = clamp_index(iz + kRing[k][1], last);
    return Vec3{(nx - ix) * s, height(nx, nz) - centre, (nz - iz) * s};
  };
  Vec3 sum;
  for (int k = 0; k < 8; ++k) {
    const Vec3 n = upward_cross(edge(k), edge((k + 1) % 8));
    const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (!(length > 0)) continue;
    sum = {sum.x + n.x / length, sum.y + n.y / length, sum.z + n.z / length};
  }
  const float length = std::sqrt(sum.x * sum.x + sum.y * sum.y + sum.z * sum.z);
  if (!(length > 0)) return {0, 1, 0};
  return {sum.x / length, sum.y / length, sum.z / length};
}

Vec3 terrain_vertex_normal(int ix, int iz) { return vertex_normal(g_terrain, ix, iz); }

int terrain_surface_at(float x, float z) {
  const HeightField& field = g_terrain;
  if (!field.tilemap) return 0;
  const int tiles = field.tiles_per_side;
  const float last = static_cast<float>(tiles - 1);
  const float tile = 2 * field.spacing;
  const int tx = static_cast<int>(std::fmin(std::fmax(x / tile, 0.0f), last));
  const int tz = static_cast<int>(std::fmin(std::fmax(z / tile, 0.0f), last));
  return field.tilemap[static_cast<std::size_t>(tz) * tiles + tx];
}

}  // namespace sim
