// terrain_internal.h -- what the terrain's files share among themselves.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "sim/sim.h"

namespace sim {

using data::scan_text;
using data::TextStream;

using data::track_file;

// Heights of terrain.png as 16-bit grey samples: grid point (ix, iz) takes
// the pixel at column min(ix, width - 1), row min(iz, height - 1). False when
// the image cannot be read (samples untouched).
bool read_height_image(const char* name, int points_per_side, unsigned short* samples);
// Writes S x S 16-bit grey samples as a PNG. False when it cannot be written.
bool write_height_image(const char* name, int points_per_side, const unsigned short* samples);

// Unit normal at a grid point of `field` (clamped to the grid).
Vec3 vertex_normal(const HeightField& field, int ix, int iz);

// Bakes the shading of grid points [x0, x1] x [z0, z1] (inside the grid) from
// their vertex normals and `field.light`.
void bake_shading(HeightField& field, int x0, int z0, int x1, int z1);

}  // namespace sim
