// terrain_save.cpp -- terrain_save: the track editor writes the terrain back into its folder.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "sim/sim.h"
#include "sim/terrain_internal.h"

namespace sim {

namespace {

data::DataStream* open_for_writing(const char* track_dir, const char* name) {
  data::DataStream* stream = data::open_data(track_file(track_dir, name).c_str(), "wb");
  if (!stream) platform::messagef("Can't open '%s'", name);
  return stream;
}

// Closes a written stream; false when anything failed to reach the file.
bool finish(data::DataStream* stream, bool ok) {
  if (data::ds_flush(stream) != 0 || std::ferror(stream->file)) ok = false;
  data::close_data(stream);
  return ok;
}

bool write_shading(const HeightField& field, const char* track_dir, const char* name,
                   bool doubled) {
  data::DataStream* stream = open_for_writing(track_dir, name);
  if (!stream) return false;
  const int points = field.points_per_side;
  data::ds_printf(stream, "P6\n%d %d\n255\n", points, points);
  const std::size_t bytes = static_cast<std::size_t>(points) * points * 3;
  unsigned char block[4096];
  for (std::size_t done = 0; done < bytes;) {
    const std::size_t n = std::min(sizeof block, bytes - done);
    for (std::size_t i = 0; i < n; ++i) {
      const int v = field.shading[done + i];
      block[i] = static_cast<unsigned char>(doubled ? std::min(2 * v, 255) : v);
    }
    data::ds_write(stream, block, n);
    done += n;
  }
  return finish(stream, true);
}

}  // namespace

bool terrain_save(const char* track_dir) {
  const HeightField& field = g_terrain;
  if (!field.heights) return false;
  const int points = field.points_per_side;
  const std::size_t count = static_cast<std::size_t>(points) * points;
  float lowest = field.heights[0], highest = field.heights[0];
  for (std::size_t i = 1; i < count; ++i) {
    lowest = std::min(lowest, field.heights[i]);
    highest = std::max(highest, field.heights[i]);
  }
  bool ok = true;

  if (data::DataStream* hf = open_for_writing(track_dir, "terrain.hf")) {
    data::ds_printf(hf, "%d %f %f %f\n", field.size_log2, field.spacing, lowest, highest);
    ok = finish(hf, true) && ok;
  } else {
    ok = false;
  }

  auto* samples = static_cast<unsigned short*>(platform::xmalloc(count * sizeof(unsigned short)));
  const double range = static_cast<double>(highest) - lowest;
  for (std::size_t i = 0; i < count; ++i) {
    // A flat field has no range to divide by: every sample is the minimum.
    const double v = range > 0 ? std::floor((field.heights[i] - lowest) / range * 65535 + 0.5) : 0;
    samples[i] = static_cast<unsigned short>(std::clamp(v, 0.0, 65535.0));
  }
  if (!write_height_image(track_file(track_dir, "terrain.png").c_str(), points, samples)) {
    platform::message("Can't open 'terrain.png'");
    ok = false;
  }
  std::free(samples);

  if (field.shading) {
    ok = write_shading(field, track_dir, "shading.ppm", true) && ok;
    ok = write_shading(field, track_dir, "shadingx2.ppm", false) && ok;
  }

  if (data::DataStream* tilemap = open_for_writing(track_dir, "tilemap")) {
    const std::size_t tiles = static_cast<std::size_t>(field.tiles_per_side) * field.tiles_per_side;
    data::ds_write(tilemap, field.tilemap, tiles);
    ok = finish(tilemap, true) && ok;
  } else {
    ok = false;
  }

  if (!field.decals.empty()) {
    if (data::DataStream* decals = open_for_writing(track_dir, "decals")) {
      for (const Decal& d : field.decals) {
        data::ds_printf(decals, "[%f %f] %f %f %f %s\n", d.x, d.z, d.angle, d.size[0], d.size[1],
                        d.texture.c_str());
      }
      ok = finish(decals, true) && ok;
    } else {
      ok = false;
    }
  }
  return ok;
}

}  // namespace sim
