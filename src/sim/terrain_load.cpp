// terrain_load.cpp -- terrain_load and terrain_free: the track's height field and its side files.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "sim/sim.h"
#include "sim/terrain_internal.h"

namespace sim {

HeightField g_terrain;

const char* const kTerrainDigestFiles[5] = {"tilemap", "terrain.hf", "terrain.png", "texturelist",
                                            "tileinfo"};

namespace {

// The header's size exponent is limited by the shading image, which must be S x S and which no
// image reader takes beyond these limits; refusing larger fields here keeps a hostile header
// from allocating gigabytes (or overflowing S) before the shading check would fail anyway.
bool field_fits_images(int n) {
  if (n < 0 || n > 13) return false;
  const long side = (1L << (n + 1)) + 1;
  return side <= data::kMaxImageSide && side * side <= data::kMaxImagePixels;
}

bool header_ok(int n, float spacing, float lowest, float highest) {
  return field_fits_images(n) && std::isfinite(spacing) && spacing > 0 &&
         std::isfinite(std::ldexp(spacing, n + 1)) && std::isfinite(lowest) &&
         std::isfinite(highest);
}

template <class T>
T* allocate(std::size_t count) {
  return static_cast<T*>(platform::xmalloc(count * sizeof(T)));
}

// Fills `samples` from the inline block or from terrain.png. Samples a cut-short block or a
// missing image does not give stay 0, the minimum height.
void read_samples(data::DataStream* hf, const char* track_dir, int points,
                  unsigned short* samples) {
  const std::size_t count = static_cast<std::size_t>(points) * points;
  std::memset(samples, 0, count * sizeof *samples);
  if (data::ds_getc(hf) == ':') {
    // Little-endian 16-bit samples, read in blocks.
    unsigned char block[8192];
    std::size_t done = 0;
    while (done < count) {
      const std::size_t want = std::min(sizeof block / 2, count - done);
      const std::size_t got = data::ds_read(hf, block, want * 2) / 2;
      for (std::size_t i = 0; i < got; ++i) {
        samples[done + i] = static_cast<unsigned short>(block[2 * i] | block[2 * i + 1] << 8);
      }
      done += got;
      if (got < want) break;
    }
    if (done < count) {
      platform::messagef("Height field cut short: %zu of %zu samples", done, count);
    }
    return;
  }
  // Without the image the field is flat at the minimum height.
  read_height_image(track_file(track_dir, "terrain.png").c_str(), points, samples);
}

void digest_samples(HeightField& field, const unsigned short* samples, int debug_level) {
  const std::size_t count = static_cast<std::size_t>(field.points_per_side) * field.points_per_side;
  platform::Sha1 sha;
  platform::sha1_begin(sha);
  unsigned char block[8192];
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    block[used++] = static_cast<unsigned char>(samples[i] & 0xff);
    block[used++] = static_cast<unsigned char>(samples[i] >> 8);
    if (used == sizeof block) {
      platform::sha1_add(sha, block, used);
      used = 0;
    }
  }
  platform::sha1_add(sha, block, used);
  platform::sha1_finish(sha, field.heights_sha1);
  if (debug_level >= 2) {
    char hex[41];
    for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02x", field.heights_sha1[i]);
    platform::log("%s\n", hex);
  }
}

// Opens a track file that must exist, reporting it when it does not.
data::DataStream* open_required(const std::string& name) {
  data::DataStream* stream = data::open_data(name.c_str(), "rb");
  if (!stream) platform::messagef("Can't open '%.950s'", name.c_str());
  return stream;
}

bool read_shading(HeightField& field, const char* track_dir) {
  const int points = field.points_per_side;
  bool doubled = true;
  data::DataStream* stream = data::open_data(track_file(track_dir, "shadingx2.ppm").c_str(), "rb");
  if (!stream) {
    doubled = false;
    stream = open_required(track_file(track_dir, "shading.ppm"));
    if (!stream) return false;
  }
  data::Image image;
  const int ok = data::read_ppm(stream, image);
  data::close_data(stream);
  if (!ok) {
    platform::message("Error reading shading");
    return false;
  }
  if (image.width != points || image.height != points) {
    platform::messagef("Bad shading dimensions (%dx%d)", image.width, image.height);
    data::image_free(image);
    return false;
  }
  const std::size_t bytes = static_cast<std::size_t>(points) * points * 3;
  field.shading = allocate<unsigned char>(bytes);
  std::memcpy(field.shading, image.pixels, bytes);
  if (!doubled) {
    for (std::size_t i = 0; i < bytes; ++i) field.shading[i] >>= 1;
  }
  data::image_free(image);
  return true;
}

bool read_shadows(HeightField& field, const char* track_dir) {
  const int points = field.points_per_side;
  const std::size_t bytes = static_cast<std::size_t>(points) * points;
  field.shadows = allocate<unsigned char>(bytes);
  std::memset(field.shadows, 0, bytes);
  data::DataStream* stream = data::open_data(track_file(track_dir, "shadows.pgm").c_str(), "rb");
  if (!stream) return true;
  data::Image image;
  const int ok = data::read_pgm(stream, image);
  data::close_data(stream);
  if (!ok) {
    platform::message("Error reading shadows");
    return false;
  }
  if (image.width != points || image.height != points) {
    platform::log("Bad shadow dimensions (%dx%d)\n", image.width, image.height);
    data::image_free(image);
    return false;
  }
  for (std::size_t i = 0; i < bytes; ++i) {
    field.shadows[i] = static_cast<unsigned char>(255 - image.pixels[i]);
  }
  data::image_free(image);
  return true;
}

bool read_surfaces(HeightField& field, const char* track_dir) {
  const std::string tileinfo = track_file(track_dir, "tileinfo");
  if (data::DataStream* stream = data::open_data(tileinfo.c_str(), "rb")) {
    read_tileinfo(stream, field);
    data::close_data(stream);
  } else {
    data::DataStream* list = open_required(track_file(track_dir, "texturelist"));
    if (!list) return false;
    read_texturelist(list, field);
    data::close_data(list);
  }
  // Every tile must name a surface; a table left empty by its file gets one with the defaults.
  if (field.surface_count == 0) {
    platform::message("No surfaces in tileinfo or texturelist; using one default surface");
    field.surfaces[0] = SurfaceType{};
    field.surface_count = 1;
  }
  compute_transitions(field);
  return true;
}

bool read_tilemap(HeightField& field, const char* track_dir) {
  data::DataStream* stream = open_required(track_file(track_dir, "tilemap"));
  if (!stream) return false;
  const std::size_t count = static_cast<std::size_t>(field.tiles_per_side) * field.tiles_per_side;
  field.tilemap = allocate<unsigned char>(count);
  std::memset(field.tilemap, 0, count);
  const std::size_t got = data::ds_read(stream, field.tilemap, count);
  data::close_data(stream);
  if (got < count) platform::messagef("tilemap cut short: %zu of %zu bytes", got, count);
  const int last = field.surface_count - 1;
  for (std::size_t i = 0; i < count; ++i) {
    if (field.tilemap[i] > last) field.tilemap[i] = static_cast<unsigned char>(last);
  }
  return true;
}

void read_decals(HeightField& field, const char* track_dir) {
  data::DataStream* stream = data::open_data(track_file(track_dir, "decals").c_str(), "rb");
  if (!stream) return;
  char texture[1024];
  for (;;) {
    Decal decal;
    if (data::ds_scanf(stream, "[ %f %f ] %f %f %f %1023s ", &decal.x, &decal.z, &decal.angle,
                       &decal.size[0], &decal.size[1], texture) != 6) {
      break;
    }
    decal.texture = texture;
    field.decals.push_back(decal);
  }
  data::close_data(stream);
}

}  // namespace

namespace {

// The grid's geometry from n and the spacing; returns the points per side.
int set_grid(HeightField& field, int n, float spacing) {
  const int points = (1 << (n + 1)) + 1;
  field.size_log2 = n;
  field.points_per_side = points;
  field.spacing = spacing;
  field.tile_size = 2 * spacing;
  field.extent = std::ldexp(spacing, n + 1);
  field.tiles_per_side = 1 << n;
  return points;
}

}  // namespace

bool terrain_load(const char* track_dir, int render_mode, int debug_level) {
  terrain_free();
  HeightField& field = g_terrain;
  data::DataStream* hf = open_required(track_file(track_dir, "terrain.hf"));
  if (!hf) return false;
  int n = 0;
  float spacing = 0, lowest = 0, highest = 0;
  if (data::ds_scanf(hf, "%d %f %f %f ", &n, &spacing, &lowest, &highest) != 4 ||
      !header_ok(n, spacing, lowest, highest)) {
    data::close_data(hf);
    platform::message("Bad height field parameters");
    platform::message("Error reading heights");
    return false;
  }
  const int points = set_grid(field, n, spacing);
  field.min_height = lowest;
  field.max_height = highest;
  field.render_mode = render_mode;

  const std::size_t count = static_cast<std::size_t>(points) * points;
  unsigned short* samples = allocate<unsigned short>(count);
  read_samples(hf, track_dir, points, samples);
  data::close_data(hf);
  field.heights = allocate<float>(count);
  for (std::size_t i = 0; i < count; ++i) {
    field.heights[i] = lowest + static_cast<float>(samples[i]) * (highest - lowest) / 65535.0f;
  }
  digest_samples(field, samples, debug_level);
  std::free(samples);

  terrain_build_pyramid();
  if (!read_shading(field, track_dir) || !read_shadows(field, track_dir) ||
      !read_surfaces(field, track_dir) || !read_tilemap(field, track_dir)) {
    terrain_free();
    return false;
  }
  read_decals(field, track_dir);
  return true;
}

bool terrain_create(int size_log2, float spacing) {
  terrain_free();
  if (size_log2 < 1 || size_log2 > 12 || !(spacing > 0)) return false;
  HeightField& field = g_terrain;
  const int points = set_grid(field, size_log2, spacing);
  const std::size_t count = static_cast<std::size_t>(points) * points;
  field.heights = allocate<float>(count);
  std::fill(field.heights, field.heights + count, 0.0f);
  const std::size_t tiles = static_cast<std::size_t>(field.tiles_per_side) * field.tiles_per_side;
  field.tilemap = allocate<unsigned char>(tiles);
  std::memset(field.tilemap, 0, tiles);
  field.shading = allocate<unsigned char>(count * 3);
  std::memset(field.shading, 128, count * 3);
  field.shadows = allocate<unsigned char>(count);
  std::memset(field.shadows, 0, count);
  field.surface_count = 1;
  terrain_build_pyramid();
  return true;
}

void terrain_refresh() {
  HeightField& field = g_terrain;
  if (!field.heights) return;
  const std::size_t count = static_cast<std::size_t>(field.points_per_side) * field.points_per_side;
  field.min_height = field.max_height = field.heights[0];
  for (std::size_t i = 0; i < count; ++i) {
    field.min_height = std::fmin(field.min_height, field.heights[i]);
    field.max_height = std::fmax(field.max_height, field.heights[i]);
  }
  terrain_build_pyramid();
  bake_shading(field, 0, 0, field.points_per_side - 1, field.points_per_side - 1);
}

void terrain_free() {
  HeightField& field = g_terrain;
  std::free(field.heights);
  std::free(field.tilemap);
  std::free(field.pyramid_min);
  std::free(field.pyramid_max);
  std::free(field.pyramid_bits);
  std::free(field.shading);
  std::free(field.shadows);
  // In place: the field is too large to build a fresh copy on the stack.
  std::destroy_at(&field);
  std::construct_at(&field);
}

void terrain_build_pyramid() {
  HeightField& field = g_terrain;
  if (!field.heights) return;
  const int n = field.size_log2;
  const int tiles = field.tiles_per_side;
  const int points = field.points_per_side;
  const int nodes = (4 * tiles * tiles) / 3;
  if (nodes != field.pyramid_nodes) {
    std::free(field.pyramid_min);
    std::free(field.pyramid_max);
    std::free(field.pyramid_bits);
    field.pyramid_nodes = nodes;
    field.pyramid_min = allocate<float>(nodes);
    field.pyramid_max = allocate<float>(nodes);
    field.pyramid_bits = allocate<unsigned char>((nodes + 7) / 8);
  }
  std::memset(field.pyramid_bits, 0, (nodes + 7) / 8);
  // Level k holds 2^k x 2^k nodes and starts at (4^k - 1) / 3.
  auto level_start = [](int k) { return ((1 << (2 * k)) - 1) / 3; };
  const int leaves = level_start(n);
  for (int tz = 0; tz < tiles; ++tz) {
    for (int tx = 0; tx < tiles; ++tx) {
      float lo = field.heights[static_cast<std::size_t>(2 * tz) * points + 2 * tx];
      float hi = lo;
      for (int dz = 0; dz <= 2; ++dz) {
        const float* row = field.heights + static_cast<std::size_t>(2 * tz + dz) * points;
        for (int dx = 0; dx <= 2; ++dx) {
          lo = std::fmin(lo, row[2 * tx + dx]);
          hi = std::fmax(hi, row[2 * tx + dx]);
        }
      }
      field.pyramid_min[leaves + tz * tiles + tx] = lo;
      field.pyramid_max[leaves + tz * tiles + tx] = hi;
    }
  }
  for (int k = n - 1; k >= 0; --k) {
    const int side = 1 << k;
    const int start = level_start(k);
    const int below = level_start(k + 1);
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const int c = below + (2 * y) * (2 * side) + 2 * x;
        const int children[4] = {c, c + 1, c + 2 * side, c + 2 * side + 1};
        float lo = field.pyramid_min[children[0]];
        float hi = field.pyramid_max[children[0]];
        for (int child : children) {
          lo = std::fmin(lo, field.pyramid_min[child]);
          hi = std::fmax(hi, field.pyramid_max[child]);
        }
        field.pyramid_min[start + y * side + x] = lo;
        field.pyramid_max[start + y * side + x] = hi;
      }
    }
  }
}

void terrain_feed_digest(platform::Sha1& digest, const char* track_dir) {
  for (const char* name : kTerrainDigestFiles) {
    data::DataStream* stream = data::open_data(track_file(track_dir, name).c_str(), "rb");
    if (!stream) continue;
    unsigned char block[1024];
    for (std::size_t got; (got = data::ds_read(stream, block, sizeof block)) > 0;) {
      platform::sha1_add(digest, block, got);
    }
    data::close_data(stream);
  }
}

}  // namespace sim
