// ground_textures.cpp -- the ground's textures: six nested 4 x 4 windows round the camera
// and one far texture per 64 x 64-tile block, composed from the tile textures and the baked
// shading on the CPU ("Software") or drawn by the GL and copied from the back buffer or
// rendered straight into them through a framebuffer object.
//
// Window slots are addressed toroidally: node (A, B) of a level lives in slot
// (A & 3) + 4 (B & 3), so when the window moves only the slots whose node changed are
// rendered again.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "render/render_internal.h"
#include "render/terrain_render.h"
#include "sim/sim.h"

namespace render {

namespace {

constexpr int kBlockCells = 384;                          // shading blocks
constexpr int kBlockMargin = 64;                          // shading texels before a block's corner
constexpr unsigned char kPlainDirt[3] = {128, 118, 100};  // a surface without a texture
constexpr int kTileRepeat = 2;  // tiles a side that one surface texture spans

// A tile texture on the CPU: RGB levels, each half the one before, down to 1 x 1.
struct TileImage {
  int size = 0;
  std::vector<std::vector<unsigned char>> levels;
};

// A ground decal's picture on the CPU (RGBA, rows along its length) and where it lies.
struct DecalImage {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  float x = 0, z = 0;  // centre (ft)
  float cos_a = 1, sin_a = 0;
  float across = 1, along = 1;  // its two sizes (ft)
  float reach = 0;              // radius of a circle round it (ft)
};

// A surface's detail normal map and specular map, found beside its texture.
struct SurfaceMaps {
  std::string normal, specular;  // data names; empty: none
};

struct Composer {
  std::vector<TileImage> tiles;  // by surface
  std::vector<SurfaceMaps> maps;
  // By surface, for the CPU composer: detail normals and specular maps (size 0: none).
  std::vector<TileImage> normal_tiles, specular_tiles;
  std::vector<DecalImage> decals;
  std::vector<int> region_decals;                       // the decals over the region being composed
  std::vector<unsigned char> colour, normal, specular;  // one texture's pixels
  std::vector<sim::Vec3> point_normals;                 // the grid's normals over one region
} g_composer;

bool hardware() { return g_tr.method != kTerrainSoftware; }
bool with_maps() { return g_tr.method >= kTerrainShadersCopy && shaders_active(); }
bool direct() {
  return (g_tr.method == kTerrainHardwareDirect || g_tr.method == kTerrainShadersDirect) &&
         g_render_settings.use_fbo && g_gl_caps.framebuffer_object && g_gl.BindFramebuffer;
}

int lowest_level() {
  return std::clamp(kGroundLevels - g_render_settings.ground_texture_levels, 0, 5);
}

// Square RGB texture of the ground size, linear, clamped at its edges.
unsigned new_texture() {
  unsigned id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  const bool mip = g_render_settings.ground_mipmaps;
  if (mip && g_gl_caps.generate_mipmap)
    glTexParameteri(GL_TEXTURE_2D, 0x8191 /*GENERATE_MIPMAP*/, GL_TRUE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                  mip && g_gl_caps.generate_mipmap ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  const int n = g_tr.texture_size;
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, n, n, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  return id;
}

void make_slot(GroundSlot& slot) {
  if (!slot.colour) slot.colour = new_texture();
  if (with_maps()) {
    if (!slot.normal) slot.normal = new_texture();
    if (!slot.specular) slot.specular = new_texture();
  }
}

void free_slot(GroundSlot& slot) {
  for (unsigned* t : {&slot.colour, &slot.normal, &slot.specular}) {
    if (*t) glDeleteTextures(1, t);
    *t = 0;
  }
  slot.status = 0;
  slot.a = slot.b = -1;
}

// A surface texture on the CPU: nearest sampled to a square power of two, and its mip levels.
// False when the picture cannot be read.
bool load_tile_image(const std::string& name, TileImage& tile) {
  int w = 0, h = 0;
  const unsigned char* rgba = nullptr;
  if (name.empty() || !data::image_load(name.c_str(), &w, &h, &rgba) || w <= 0 || h <= 0)
    return false;
  int size = 1;
  while (size * 2 <= std::min(w, h) && size < 1024) size *= 2;
  tile.size = size;
  tile.levels.clear();
  std::vector<unsigned char> level(static_cast<std::size_t>(size) * size * 3);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const unsigned char* p = rgba + (static_cast<long>(y * h / size) * w + x * w / size) * 4;
      std::copy(p, p + 3, &level[(static_cast<std::size_t>(y) * size + x) * 3]);
    }
  }
  tile.levels.push_back(level);
  for (int s = size; s > 1; s /= 2) {
    std::vector<unsigned char> next(static_cast<std::size_t>(s / 2) * (s / 2) * 3);
    data::reduce(tile.levels.back().data(), s, s, 3, false, next.data());
    tile.levels.push_back(std::move(next));
  }
  return true;
}

// The picture named like a surface texture with `suffix` before its extension
// ("@sand.png" -> "@sand_norm.png"), or empty when there is none.
std::string surface_map(const std::string& texture, const char* suffix) {
  if (texture.empty()) return std::string();
  const std::size_t dot = texture.rfind('.');
  const std::string stem = dot == std::string::npos ? texture : texture.substr(0, dot);
  for (const char* kind : {".png", ".ppm"}) {
    const std::string name = stem + suffix + kind;
    if (data::DataStream* stream = data::open_data(name.c_str(), "rb")) {
      data::close_data(stream);
      return name;
    }
  }
  return std::string();
}

void load_tile_images() {
  const sim::HeightField& t = sim::g_terrain;
  const std::size_t count = static_cast<std::size_t>(t.surface_count);
  g_composer.tiles.assign(count, TileImage{});
  g_composer.maps.assign(count, SurfaceMaps{});
  g_composer.normal_tiles.assign(count, TileImage{});
  g_composer.specular_tiles.assign(count, TileImage{});
  for (std::size_t k = 0; k < count; ++k) {
    TileImage& tile = g_composer.tiles[k];
    if (!load_tile_image(t.surfaces[k].texture, tile)) {
      // No texture: plain dirt, so that the shading still shows the ground's shape.
      tile.size = 1;
      tile.levels.assign(1, {kPlainDirt[0], kPlainDirt[1], kPlainDirt[2]});
    }
    if (!with_maps()) continue;
    SurfaceMaps& maps = g_composer.maps[k];
    maps.normal = surface_map(t.surfaces[k].texture, "_norm");
    maps.specular = surface_map(t.surfaces[k].texture, "_spec");
    if (!load_tile_image(maps.normal, g_composer.normal_tiles[k])) maps.normal.clear();
    if (!load_tile_image(maps.specular, g_composer.specular_tiles[k])) maps.specular.clear();
  }
}

// Decals: their pictures are copied, so that a texture sweep cannot take them away.
void load_decals() {
  const std::vector<sim::Decal>& decals = sim::g_terrain.decals;
  g_composer.decals.clear();
  for (const sim::Decal& d : decals) {
    DecalImage image;
    const unsigned char* rgba = nullptr;
    if (d.texture.empty() ||
        !data::image_load(d.texture.c_str(), &image.width, &image.height, &rgba) ||
        image.width <= 0 || image.height <= 0 || !(d.size[0] > 0) || !(d.size[1] > 0)) {
      continue;
    }
    image.rgba.assign(rgba, rgba + static_cast<std::size_t>(image.width) * image.height * 4);
    image.x = d.x;
    image.z = d.z;
    image.cos_a = std::cos(d.angle);
    image.sin_a = std::sin(d.angle);
    image.across = d.size[0];
    image.along = d.size[1];
    image.reach = 0.5f * std::hypot(d.size[0], d.size[1]);
    g_composer.decals.push_back(std::move(image));
  }
  g_composer.region_decals.reserve(g_composer.decals.size());
}

// A decal's colour and cover at world (x, z); false when (x, z) is off it.
bool decal_at(const DecalImage& d, float x, float z, float rgba[4]) {
  const float dx = x - d.x, dz = z - d.z;
  // Into the decal's own axes: `across` along its x, `along` along its z.
  const float u = (d.cos_a * dx + d.sin_a * dz) / d.across + 0.5f;
  const float v = (-d.sin_a * dx + d.cos_a * dz) / d.along + 0.5f;
  if (!(u >= 0 && u < 1 && v >= 0 && v < 1)) return false;
  const int px = std::min(static_cast<int>(u * static_cast<float>(d.width)), d.width - 1);
  const int py = std::min(static_cast<int>(v * static_cast<float>(d.height)), d.height - 1);
  const unsigned char* p = &d.rgba[(static_cast<std::size_t>(py) * d.width + px) * 4];
  for (int c = 0; c < 4; ++c) rgba[c] = static_cast<float>(p[c]);
  return true;
}

// --- Composing on the CPU ----------------------------------------------------------------------

// The baked light (three channels, half intensity) and the shadow at grid coordinates
// (gx, gz), bilinear between the grid points.
void shading_at(float gx, float gz, float out[4]) {
  const sim::HeightField& t = sim::g_terrain;
  const int s = t.points_per_side;
  gx = std::clamp(gx, 0.0f, static_cast<float>(s - 1));
  gz = std::clamp(gz, 0.0f, static_cast<float>(s - 1));
  const int x0 = std::min(static_cast<int>(gx), s - 2), z0 = std::min(static_cast<int>(gz), s - 2);
  const float fx = gx - static_cast<float>(x0), fz = gz - static_cast<float>(z0);
  for (int channel = 0; channel < 4; ++channel) {
    auto at = [&](int x, int z) {
      const long i = static_cast<long>(z) * s + x;
      if (channel < 3) return static_cast<float>(t.shading[i * 3 + channel]);
      return static_cast<float>(t.shadows ? t.shadows[i] : 0);
    };
    const float top = at(x0, z0) + (at(x0 + 1, z0) - at(x0, z0)) * fx;
    const float bottom = at(x0, z0 + 1) + (at(x0 + 1, z0 + 1) - at(x0, z0 + 1)) * fx;
    out[channel] = top + (bottom - top) * fz;
  }
}

// The share of the neighbouring tile at a position `f` (0..1) across a tile: none in the
// middle half, rising to one half at the edge.
float blend_weight(float f) {
  const float edge = std::min(f, 1 - f);  // 0 at the edge, 0.5 in the middle
  if (edge >= 0.25f) return 0;
  const float x = 1 - edge / 0.25f;
  return 0.5f * x * x;
}

// A surface's texel at world tile coordinates (u, v), from the mip level that has about one
// texel per ground texel. A surface texture spans kTileRepeat x kTileRepeat tiles, so that its
// pattern does not repeat on every tile.
const unsigned char* tile_texel(const TileImage& tile, float u, float v, float per_texel) {
  int level = 0;
  int side = tile.size;
  while (side > 1 && static_cast<float>(side) * per_texel / kTileRepeat > 1.5f &&
         level + 1 < static_cast<int>(tile.levels.size())) {
    side /= 2;
    ++level;
  }
  const float su = (u - kTileRepeat * std::floor(u / kTileRepeat)) / kTileRepeat;
  const float sv = (v - kTileRepeat * std::floor(v / kTileRepeat)) / kTileRepeat;
  const int px = std::min(static_cast<int>(su * static_cast<float>(side)), side - 1);
  const int py = std::min(static_cast<int>(sv * static_cast<float>(side)), side - 1);
  return &tile.levels[static_cast<std::size_t>(level)]
                     [(static_cast<std::size_t>(py) * side + px) * 3];
}

// The base normal map of `size` tiles from tile (x0, z0) into g_composer.normal: per texel the
// ground's normal, bilinear between the grid points' normals, x in red and z in blue, and the
// light the shadows leave in green.
void compose_base_normals(int x0, int z0, int size) {
  const sim::HeightField& t = sim::g_terrain;
  const int n = g_tr.texture_size;
  const int last = t.points_per_side - 1;
  const float per_texel = static_cast<float>(size) / static_cast<float>(n);
  // The grid points' normals over the region, one more each way for the bilinear step.
  const int side = 2 * size + 2;
  std::vector<sim::Vec3>& points = g_composer.point_normals;
  for (int b = 0; b < side; ++b) {
    for (int a = 0; a < side; ++a) {
      points[static_cast<std::size_t>(b) * side + a] = sim::terrain_vertex_normal(
          std::clamp(2 * x0 + a, 0, last), std::clamp(2 * z0 + b, 0, last));
    }
  }
  for (int j = 0; j < n; ++j) {
    const float gz = (static_cast<float>(z0) + (static_cast<float>(j) + 0.5f) * per_texel) * 2;
    const float lz = gz - static_cast<float>(2 * z0);
    const int bz = std::clamp(static_cast<int>(lz), 0, side - 2);
    const float fz = lz - static_cast<float>(bz);
    for (int i = 0; i < n; ++i) {
      const float gx = (static_cast<float>(x0) + (static_cast<float>(i) + 0.5f) * per_texel) * 2;
      const float lx = gx - static_cast<float>(2 * x0);
      const int bx = std::clamp(static_cast<int>(lx), 0, side - 2);
      const float fx = lx - static_cast<float>(bx);
      float normal[3] = {0, 0, 0};
      for (int k = 0; k < 4; ++k) {
        const float w = ((k & 1) ? fx : 1 - fx) * ((k & 2) ? fz : 1 - fz);
        const sim::Vec3& p = points[static_cast<std::size_t>(bz + (k >> 1)) * side + bx + (k & 1)];
        normal[0] += w * p.x;
        normal[1] += w * p.y;
        normal[2] += w * p.z;
      }
      const float length =
          std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
      if (length > 0) {
        for (float& c : normal) c /= length;
      }
      float light[4];
      shading_at(gx, gz, light);
      const float lit = 1.0f - 0.6f * light[3] / 255.0f;
      unsigned char* nm = &g_composer.normal[(static_cast<std::size_t>(j) * n + i) * 3];
      nm[0] = static_cast<unsigned char>(std::clamp((normal[0] + 1) * 127.5f, 0.0f, 255.0f));
      nm[1] = static_cast<unsigned char>(std::clamp(lit * 255.0f, 0.0f, 255.0f));
      nm[2] = static_cast<unsigned char>(std::clamp((normal[2] + 1) * 127.5f, 0.0f, 255.0f));
    }
  }
}

// Bends a texel of the base normal map (x, light, z) by a detail normal (stored x, z, y, its x
// towards the detail texture's left), as the terrain_normals program does.
void bend_normal(unsigned char base[3], const float detail[3]) {
  float d[3] = {1 - detail[0] / 127.5f, detail[2] / 127.5f - 1, detail[1] / 127.5f - 1};
  float up[3] = {base[0] / 127.5f - 1, 0, base[2] / 127.5f - 1};
  up[1] = std::sqrt(std::max(1 - up[0] * up[0] - up[2] * up[2], 0.0f));
  // The detail's own frame: x across the ground as near world x as it can be, y the base normal.
  auto unit = [](float v[3]) {
    const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l > 0) {
      for (int k = 0; k < 3; ++k) v[k] /= l;
    }
  };
  float z[3] = {0, -up[2], up[1]};  // (1, 0, 0) x up
  unit(z);
  float x[3] = {up[1] * z[2] - up[2] * z[1], up[2] * z[0] - up[0] * z[2],
                up[0] * z[1] - up[1] * z[0]};
  unit(x);
  float n[3];
  for (int k = 0; k < 3; ++k) n[k] = x[k] * d[0] + up[k] * d[1] + z[k] * d[2];
  unit(n);
  // The terrain program rebuilds y from x and z: keep them inside the unit circle.
  constexpr float kMostLean = 126.0f / 128.0f;
  if (std::hypot(n[0], n[2]) > kMostLean) {
    n[1] = 0;
    unit(n);
    for (float& c : n) c *= kMostLean;
  }
  base[0] = static_cast<unsigned char>(std::clamp((n[0] + 1) * 127.5f, 0.0f, 255.0f));
  base[2] = static_cast<unsigned char>(std::clamp((n[2] + 1) * 127.5f, 0.0f, 255.0f));
}

// The texture of `size` tiles from tile (x0, z0): colour (with the baked light unless the
// maps carry it), and with maps the normal map (x, light, z) with the surfaces' detail normals
// and the specular map (intensity, exponent / 128) from their specular maps.
void compose(int x0, int z0, int size) {
  const sim::HeightField& t = sim::g_terrain;
  const int n = g_tr.texture_size;
  const int r = t.tiles_per_side;
  const bool maps = with_maps();
  const float per_texel = static_cast<float>(size) / static_cast<float>(n);
  const float tile_feet = 2 * t.spacing;
  if (maps) compose_base_normals(x0, z0, size);
  // The decals that reach into the region.
  g_composer.region_decals.clear();
  for (int k = 0; k < static_cast<int>(g_composer.decals.size()); ++k) {
    const DecalImage& d = g_composer.decals[static_cast<std::size_t>(k)];
    const float x0f = static_cast<float>(x0) * tile_feet, z0f = static_cast<float>(z0) * tile_feet;
    const float span = static_cast<float>(size) * tile_feet;
    if (d.x + d.reach >= x0f && d.x - d.reach <= x0f + span && d.z + d.reach >= z0f &&
        d.z - d.reach <= z0f + span) {
      g_composer.region_decals.push_back(k);
    }
  }
  for (int j = 0; j < n; ++j) {
    const float v = static_cast<float>(z0) + (static_cast<float>(j) + 0.5f) * per_texel;
    const int tz = std::clamp(static_cast<int>(std::floor(v)), 0, r - 1);
    const float fv = v - static_cast<float>(tz);
    for (int i = 0; i < n; ++i) {
      const float u = static_cast<float>(x0) + (static_cast<float>(i) + 0.5f) * per_texel;
      const int tx = std::clamp(static_cast<int>(std::floor(u)), 0, r - 1);
      const float fu = u - static_cast<float>(tx);
      // Where two surfaces meet, the tiles blend over the outer quarter of each, so that
      // the border is not a staircase of tile edges. The maps blend the same way; a surface
      // without them is flat and dull.
      float mixed[3] = {0, 0, 0}, detail[3] = {0, 0, 0}, shine[3] = {0, 0, 0};
      const int bx = fu < 0.5f ? -1 : 1, bz = fv < 0.5f ? -1 : 1;
      const float wx = blend_weight(fu), wz = blend_weight(fv);
      for (int k = 0; k < 4; ++k) {
        const float w = ((k & 1) ? wx : 1 - wx) * ((k & 2) ? wz : 1 - wz);
        if (w <= 0) continue;
        const int nx = std::clamp(tx + ((k & 1) ? bx : 0), 0, r - 1);
        const int nz = std::clamp(tz + ((k & 2) ? bz : 0), 0, r - 1);
        const std::size_t surface = t.tilemap[static_cast<long>(nz) * r + nx];
        const unsigned char* texel = tile_texel(g_composer.tiles[surface], u, v, per_texel);
        for (int c = 0; c < 3; ++c) mixed[c] += w * static_cast<float>(texel[c]);
        if (!maps) continue;
        static const unsigned char kFlat[3] = {128, 128, 255}, kDull[3] = {0, 0, 0};
        const TileImage& bumps = g_composer.normal_tiles[surface];
        const TileImage& specular = g_composer.specular_tiles[surface];
        const unsigned char* d = bumps.size ? tile_texel(bumps, u, v, per_texel) : kFlat;
        const unsigned char* e = specular.size ? tile_texel(specular, u, v, per_texel) : kDull;
        for (int c = 0; c < 3; ++c) {
          detail[c] += w * static_cast<float>(d[c]);
          shine[c] += w * static_cast<float>(e[c]);
        }
      }
      for (int k : g_composer.region_decals) {
        float decal[4];
        if (!decal_at(g_composer.decals[static_cast<std::size_t>(k)], u * tile_feet, v * tile_feet,
                      decal))
          continue;
        const float a = decal[3] / 255.0f;
        for (int c = 0; c < 3; ++c) mixed[c] = mixed[c] * (1 - a) + decal[c] * a;
      }
      const std::size_t at = (static_cast<std::size_t>(j) * n + i) * 3;
      unsigned char* out = &g_composer.colour[at];
      if (maps) {
        for (int c = 0; c < 3; ++c) {
          out[c] = static_cast<unsigned char>(mixed[c]);
          g_composer.specular[at + c] = static_cast<unsigned char>(shine[c]);
        }
        bend_normal(&g_composer.normal[at], detail);
        continue;
      }
      float light[4];
      shading_at(u * 2, v * 2, light);  // two cells a tile
      const float dark = 1.0f - 0.5f * light[3] / 255.0f;
      for (int c = 0; c < 3; ++c) {
        // The shading is stored at half intensity.
        const float lit = light[c] * 2.0f / 255.0f * dark;
        out[c] = static_cast<unsigned char>(std::clamp(mixed[c] * lit, 0.0f, 255.0f));
      }
    }
  }
}

void upload(unsigned texture, const std::vector<unsigned char>& pixels) {
  glBindTexture(GL_TEXTURE_2D, texture);
  const int n = g_tr.texture_size;
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, n, n, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
}

void render_software(const GroundSlot& slot, int x0, int z0, int size) {
  compose(x0, z0, size);
  upload(slot.colour, g_composer.colour);
  if (with_maps()) {
    upload(slot.normal, g_composer.normal);
    upload(slot.specular, g_composer.specular);
  }
}

// --- Drawing with the GL -----------------------------------------------------------------------

// The tiles of surface `k` within the region, each with its share of the surface's texture,
// which spans kTileRepeat tiles a side. The region's units are tiles.
void draw_surface_tiles(int k, int x0, int z0, int size) {
  const sim::HeightField& t = sim::g_terrain;
  const int r = t.tiles_per_side;
  glBegin(GL_QUADS);
  for (int tz = std::max(z0, 0); tz < std::min(z0 + size, r); ++tz) {
    for (int tx = std::max(x0, 0); tx < std::min(x0 + size, r); ++tx) {
      if (t.tilemap[static_cast<long>(tz) * r + tx] != k) continue;
      const float x = static_cast<float>(tx), z = static_cast<float>(tz);
      const float s0 = static_cast<float>(tx % kTileRepeat) / kTileRepeat,
                  s1 = s0 + 1.0f / kTileRepeat;
      const float t0 = static_cast<float>(tz % kTileRepeat) / kTileRepeat,
                  t1 = t0 + 1.0f / kTileRepeat;
      glTexCoord2f(s0, t0);
      glVertex2f(x, z);
      glTexCoord2f(s1, t0);
      glVertex2f(x + 1, z);
      glTexCoord2f(s1, t1);
      glVertex2f(x + 1, z + 1);
      glTexCoord2f(s0, t1);
      glVertex2f(x, z + 1);
    }
  }
  glEnd();
}

// Draws the region's tiles with their textures, then, unless the maps carry the light, the
// shading blocks over them doubled (the shading is stored at half intensity).
void draw_region_colour(int x0, int z0, int size) {
  const sim::HeightField& t = sim::g_terrain;
  glEnable(GL_TEXTURE_2D);
  for (int k = 0; k < t.surface_count; ++k) {
    const unsigned texture =
        t.surfaces[k].texture.empty() ? 0 : data::texture_load(t.surfaces[k].texture.c_str());
    glBindTexture(GL_TEXTURE_2D, texture);
    // Without a texture: the same plain dirt the CPU composer uses.
    if (texture) {
      glColor4f(1, 1, 1, 1);
    } else {
      glColor4ub(kPlainDirt[0], kPlainDirt[1], kPlainDirt[2], 255);
    }
    draw_surface_tiles(k, x0, z0, size);
  }
  // Decals over the tiles, in tile units.
  glColor4f(1, 1, 1, 1);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  const float tile_feet = 2 * t.spacing;
  for (const sim::Decal& d : t.decals) {
    if (d.texture.empty()) continue;
    glBindTexture(GL_TEXTURE_2D, data::texture_load(d.texture.c_str()));
    const float c = std::cos(d.angle), s = std::sin(d.angle);
    const float ax = 0.5f * d.size[0], az = 0.5f * d.size[1];
    glBegin(GL_QUADS);
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const float* k : corners) {
      const float lx = k[0] * ax, lz = k[1] * az;
      glTexCoord2f(0.5f * (k[0] + 1), 0.5f * (k[1] + 1));
      glVertex2f((d.x + c * lx - s * lz) / tile_feet, (d.z + s * lx + c * lz) / tile_feet);
    }
    glEnd();
  }
  if (with_maps()) {
    glDisable(GL_BLEND);
    return;
  }
  glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
  for (const TerrainRender::ShadingBlock& block : g_tr.blocks) {
    // The block's own cells, in tiles.
    const int bx = block.origin[0] + kBlockMargin, bz = block.origin[1] + kBlockMargin;
    const float cx0 = static_cast<float>(std::max(bx, x0 * 2)),
                cz0 = static_cast<float>(std::max(bz, z0 * 2));
    const float cx1 = static_cast<float>(std::min(bx + kBlockCells, (x0 + size) * 2));
    const float cz1 = static_cast<float>(std::min(bz + kBlockCells, (z0 + size) * 2));
    if (cx0 >= cx1 || cz0 >= cz1) continue;
    glBindTexture(GL_TEXTURE_2D, block.texture);
    const float inv = 1.0f / static_cast<float>(block.size);
    auto corner = [&](float cx, float cz) {
      glTexCoord2f((cx - static_cast<float>(block.origin[0]) + 0.5f) * inv,
                   (cz - static_cast<float>(block.origin[1]) + 0.5f) * inv);
      glVertex2f(cx * 0.5f, cz * 0.5f);
    };
    glBegin(GL_QUADS);
    corner(cx0, cz0);
    corner(cx1, cz0);
    corner(cx1, cz1);
    corner(cx0, cz1);
    glEnd();
  }
  glDisable(GL_BLEND);
}

// The region's normal map: the terrain_normals program bends the base normals (unit 1, laid
// over the region by texture matrix 1) by each surface's detail normals (unit 0); a surface
// without them keeps the base normal.
void draw_region_normals(int x0, int z0, int size) {
  const sim::HeightField& t = sim::g_terrain;
  const int previous = current_program();
  use_program(kProgramTerrainNormals);
  g_gl.ActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, g_tr.base_normals);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glScalef(1.0f / static_cast<float>(size), 1.0f / static_cast<float>(size), 1);
  glTranslatef(static_cast<float>(-x0), static_cast<float>(-z0), 0);
  glMatrixMode(GL_MODELVIEW);
  g_gl.ActiveTexture(GL_TEXTURE0);
  glColor4f(1, 1, 1, 1);
  for (int k = 0; k < t.surface_count; ++k) {
    const std::string& name = g_composer.maps[static_cast<std::size_t>(k)].normal;
    glBindTexture(GL_TEXTURE_2D,
                  name.empty() ? flat_normal_map() : data::texture_load(name.c_str()));
    draw_surface_tiles(k, x0, z0, size);
  }
  g_gl.ActiveTexture(GL_TEXTURE1);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glBindTexture(GL_TEXTURE_2D, 0);
  g_gl.ActiveTexture(GL_TEXTURE0);
  use_program(previous);
}

// The region's specular map: each surface's specular map; a surface without one stays black.
void draw_region_specular(int x0, int z0, int size) {
  const sim::HeightField& t = sim::g_terrain;
  glEnable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  for (int k = 0; k < t.surface_count; ++k) {
    const std::string& name = g_composer.maps[static_cast<std::size_t>(k)].specular;
    if (name.empty()) continue;
    glBindTexture(GL_TEXTURE_2D, data::texture_load(name.c_str()));
    draw_surface_tiles(k, x0, z0, size);
  }
}

// Renders one target texture of a region with the GL: into it through the framebuffer
// object, or into the back buffer and copied.
template <typename Draw>
void render_target(unsigned texture, int x0, int z0, int size, Draw&& draw) {
  const int n = g_tr.texture_size;
  bool into_texture = false;
  if (direct()) {
    if (!g_tr.framebuffer) g_gl.GenFramebuffers(1, &g_tr.framebuffer);
    g_gl.BindFramebuffer(GL_FRAMEBUFFER_EXT, g_tr.framebuffer);
    g_gl.FramebufferTexture2D(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture,
                              0);
    const unsigned status = g_gl.CheckFramebufferStatus(GL_FRAMEBUFFER_EXT);
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
      platform::log("Framebuffer error %x\n", status);
      g_gl.BindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
    } else {
      into_texture = true;
    }
  }
  glViewport(0, 0, n, n);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(x0, x0 + size, z0, z0 + size, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  draw();
  glBindTexture(GL_TEXTURE_2D, texture);
  if (into_texture) {
    g_gl.BindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
    if (g_render_settings.ground_mipmaps && g_gl.GenerateMipmap) g_gl.GenerateMipmap(GL_TEXTURE_2D);
  } else {
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, n, n);
  }
}

void render_hardware(const GroundSlot& slot, int x0, int z0, int size) {
  int viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  float clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glDisable(GL_CULL_FACE);
  glDisable(GL_ALPHA_TEST);
  glDepthMask(GL_FALSE);
  render_target(slot.colour, x0, z0, size, [&] { draw_region_colour(x0, z0, size); });
  if (with_maps()) {
    // The base normals come from the CPU; the detail and the specular maps from the GL.
    compose_base_normals(x0, z0, size);
    upload(g_tr.base_normals, g_composer.normal);
    render_target(slot.normal, x0, z0, size, [&] { draw_region_normals(x0, z0, size); });
    render_target(slot.specular, x0, z0, size, [&] { draw_region_specular(x0, z0, size); });
  }
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  glClearColor(clear[0], clear[1], clear[2], clear[3]);
}

void render_region(GroundSlot& slot, int x0, int z0, int size) {
  make_slot(slot);
  // The copy path needs the back buffer to hold the whole texture.
  int viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  const bool fits = viewport[2] >= g_tr.texture_size && viewport[3] >= g_tr.texture_size;
  if (hardware() && (direct() || fits)) {
    render_hardware(slot, x0, z0, size);
  } else {
    render_software(slot, x0, z0, size);
  }
  slot.status = 1;
  ++g_tr.renders;
}

// --- Shading blocks ----------------------------------------------------------------------------

// Uploads the shading of grid points [x0, x1) x [z0, z1) (texel coordinates of the block)
// into the block's texture, creating it on the first call with the whole block.
void upload_block(TerrainRender::ShadingBlock& block, int x0, int z0, int x1, int z1) {
  const sim::HeightField& t = sim::g_terrain;
  const int s = t.points_per_side;
  const int w = x1 - x0, h = z1 - z0;
  if (w <= 0 || h <= 0) return;
  std::vector<unsigned char>& pixels = g_composer.colour;  // sized for a whole block at set-up
  for (int j = 0; j < h; ++j) {
    const int iz = std::clamp(block.origin[1] + z0 + j, 0, s - 1);
    for (int i = 0; i < w; ++i) {
      const int ix = std::clamp(block.origin[0] + x0 + i, 0, s - 1);
      const long g = static_cast<long>(iz) * s + ix;
      const float dark = 1.0f - 0.5f * static_cast<float>(t.shadows ? t.shadows[g] : 0) / 255.0f;
      unsigned char* out = &pixels[(static_cast<std::size_t>(j) * w + i) * 3];
      for (int c = 0; c < 3; ++c)
        out[c] = static_cast<unsigned char>(static_cast<float>(t.shading[g * 3 + c]) * dark);
    }
  }
  if (!block.texture) {
    glGenTextures(1, &block.texture);
    glBindTexture(GL_TEXTURE_2D, block.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, block.size, block.size, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 nullptr);
  }
  glBindTexture(GL_TEXTURE_2D, block.texture);
  glTexSubImage2D(GL_TEXTURE_2D, 0, x0, z0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
}

void setup_blocks() {
  const int s = sim::g_terrain.points_per_side;
  g_tr.blocks_per_side = (s - 1 + kBlockCells - 1) / kBlockCells;
  g_tr.blocks.assign(static_cast<std::size_t>(g_tr.blocks_per_side) * g_tr.blocks_per_side, {});
  for (int bz = 0; bz < g_tr.blocks_per_side; ++bz) {
    for (int bx = 0; bx < g_tr.blocks_per_side; ++bx) {
      TerrainRender::ShadingBlock& block =
          g_tr.blocks[static_cast<std::size_t>(bz * g_tr.blocks_per_side + bx)];
      block.origin[0] = bx * kBlockCells - kBlockMargin;
      block.origin[1] = bz * kBlockCells - kBlockMargin;
      // From the margin to past the grid's far edge, a power of two of at most 512.
      const int reach = std::max(s - block.origin[0], s - block.origin[1]);
      int size = 1;
      while (size < reach && size < kBlockCells + 2 * kBlockMargin) size *= 2;
      block.size = size;
      if (hardware()) upload_block(block, 0, 0, size, size);
    }
  }
}

// Which slot a node of a near level lives in, and whether the level's window holds it.
GroundSlot* near_slot(int level, int a, int b) {
  const int* o = g_tr.near_origin[level];
  if (a < o[0] || b < o[1] || a >= o[0] + 4 || b >= o[1] + 4) return nullptr;
  GroundSlot& slot = g_tr.near_slots[level][(a & 3) + 4 * (b & 3)];
  return slot.a == a && slot.b == b ? &slot : nullptr;
}

void bind_slot(const GroundSlot& slot, int level) {
  if (slot.colour == g_tr.last_texture && level == g_tr.last_level) return;
  g_tr.last_texture = slot.colour;
  g_tr.last_level = level;
  glBindTexture(GL_TEXTURE_2D, slot.colour);
  ++g_frame_counters.texture_changes;
  if (with_maps()) {
    g_gl.ActiveTexture(GL_TEXTURE1);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, slot.normal);
    g_gl.ActiveTexture(GL_TEXTURE2);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, slot.specular);
    g_gl.ActiveTexture(GL_TEXTURE0);
  }
}

}  // namespace

void ground_textures_setup() {
  const int n = g_render_settings.ground_texture_size;
  g_tr.texture_size = n;
  const std::size_t bytes = static_cast<std::size_t>(std::max(n, kBlockCells + 2 * kBlockMargin));
  g_composer.colour.assign(bytes * bytes * 3, 0);
  g_composer.normal.assign(static_cast<std::size_t>(n) * n * 3, 0);
  g_composer.specular.assign(static_cast<std::size_t>(n) * n * 3, 0);
  load_tile_images();
  load_decals();
  g_tr.far_depth = std::max(0, g_tr.levels - 6);
  // The largest region is a far block, or a texture of the coarsest near level.
  const int widest = std::max(1 << (g_tr.levels - g_tr.far_depth), 1 << (kGroundLevels - 1));
  g_composer.point_normals.assign(static_cast<std::size_t>(2 * widest + 2) * (2 * widest + 2),
                                  sim::Vec3{});
  if (with_maps()) g_tr.base_normals = new_texture();
  const int far_side = 1 << g_tr.far_depth;
  g_tr.far_slots.assign(static_cast<std::size_t>(far_side) * far_side, GroundSlot{});
  for (int level = 0; level < kGroundLevels; ++level) {
    for (GroundSlot& slot : g_tr.near_slots[level]) slot = GroundSlot{};
    g_tr.near_origin[level][0] = g_tr.near_origin[level][1] = -100;
  }
  g_tr.renders = 0;
  setup_blocks();
  if (!g_tr.checked_renderer) {
    g_tr.checked_renderer = true;
    if (g_gl_caps.renderer.find("ATI Radeon X1270") != std::string::npos) {
      platform::log("Working around ATI Radeon X1270 bug\n");
      g_tr.ati_workaround = true;
    }
  }
}

void ground_textures_release() {
  for (GroundSlot& slot : g_tr.far_slots) free_slot(slot);
  g_tr.far_slots.clear();
  for (auto& level : g_tr.near_slots) {
    for (GroundSlot& slot : level) free_slot(slot);
  }
  for (TerrainRender::ShadingBlock& block : g_tr.blocks) {
    if (block.texture) glDeleteTextures(1, &block.texture);
  }
  g_tr.blocks.clear();
  if (g_tr.base_normals) glDeleteTextures(1, &g_tr.base_normals);
  g_tr.base_normals = 0;
  if (g_tr.framebuffer && g_gl.DeleteFramebuffers) g_gl.DeleteFramebuffers(1, &g_tr.framebuffer);
  g_tr.framebuffer = 0;
  g_composer = Composer{};
}

void ground_textures_update() {
  const int L = g_tr.levels;
  const int far_side = 1 << g_tr.far_depth;
  const int far_tiles = 1 << (L - g_tr.far_depth);
  for (int i = 0; i < static_cast<int>(g_tr.far_slots.size()); ++i) {
    GroundSlot& slot = g_tr.far_slots[static_cast<std::size_t>(i)];
    if (slot.status) continue;
    slot.a = i % far_side;
    slot.b = i / far_side;
    render_region(slot, slot.a * far_tiles, slot.b * far_tiles, far_tiles);
  }
  const int lowest = lowest_level();
  for (int level = kGroundLevels - 1; level >= 0; --level) {
    const int depth = L - level;
    if (depth < 0) continue;
    int* o = g_tr.near_origin[level];
    o[0] = window_start(L, depth, g_tr.cell[0]);
    o[1] = window_start(L, depth, g_tr.cell[1]);
    const int side = 1 << depth;
    for (int k = 0; k < 16; ++k) {
      GroundSlot& slot = g_tr.near_slots[level][k];
      // The node of the window with this slot's residues.
      const int a = o[0] + (((k & 3) - o[0]) & 3);
      const int b = o[1] + (((k >> 2) - o[1]) & 3);
      if (a >= side || b >= side) {
        slot.status = 0;
        slot.a = slot.b = -1;
        continue;
      }
      if (slot.a != a || slot.b != b) {
        slot.a = a;
        slot.b = b;
        slot.status = 0;
      }
    }
  }
  for (int level = kGroundLevels - 1; level >= lowest; --level) {
    if (L - level < 0) continue;
    const int tiles = 1 << level;
    for (GroundSlot& slot : g_tr.near_slots[level]) {
      if (slot.status || slot.a < 0) continue;
      render_region(slot, slot.a * tiles, slot.b * tiles, tiles);
    }
  }
}

void bind_ground_texture(int depth, int a, int b, float origin[2], float* span) {
  const int L = g_tr.levels;
  const float tile = 2 * g_tr.spacing;
  for (int level = std::max(L - depth, lowest_level()); level < kGroundLevels; ++level) {
    const int up = level - (L - depth);  // levels above the node's own
    if (L - level < 0) break;
    const GroundSlot* slot = near_slot(level, a >> up, b >> up);
    if (!slot || slot->status != 1) continue;
    bind_slot(*slot, level);
    *span = static_cast<float>(1 << level) * tile;
    origin[0] = static_cast<float>(slot->a) * *span;
    origin[1] = static_cast<float>(slot->b) * *span;
    return;
  }
  const int up = depth - g_tr.far_depth;
  const int fa = up >= 0 ? a >> up : 0, fb = up >= 0 ? b >> up : 0;
  const int far_side = 1 << g_tr.far_depth;
  const GroundSlot& slot = g_tr.far_slots[static_cast<std::size_t>(fb * far_side + fa)];
  bind_slot(slot, -1);
  *span = static_cast<float>(1 << (L - g_tr.far_depth)) * tile;
  origin[0] = static_cast<float>(fa) * *span;
  origin[1] = static_cast<float>(fb) * *span;
}

void ground_textures_invalidate(int x0, int z0, int x1, int z1) {
  // Grid points to tiles; a point on a tile edge touches both tiles.
  const int tx0 = (x0 - 1) >> 1, tz0 = (z0 - 1) >> 1, tx1 = x1 >> 1, tz1 = z1 >> 1;
  auto touches = [&](int a, int b, int tiles) {
    return a * tiles <= tx1 && (a + 1) * tiles > tx0 && b * tiles <= tz1 && (b + 1) * tiles > tz0;
  };
  const int far_tiles = 1 << (g_tr.levels - g_tr.far_depth);
  for (GroundSlot& slot : g_tr.far_slots) {
    if (slot.a >= 0 && touches(slot.a, slot.b, far_tiles)) slot.status = 0;
  }
  for (int level = 0; level < kGroundLevels; ++level) {
    for (GroundSlot& slot : g_tr.near_slots[level]) {
      if (slot.a >= 0 && touches(slot.a, slot.b, 1 << level)) slot.status = 0;
    }
  }
}

void shading_blocks_refresh() {
  sim::GridRect& dirty = sim::g_terrain.shading_dirty;
  if (dirty.x0 > dirty.x1 || dirty.z0 > dirty.z1) return;
  // Only the changed square's textures are rendered again, and only its shading is sent
  // again, so that a rut costs a few texels rather than whole blocks.
  ground_textures_invalidate(dirty.x0, dirty.z0, dirty.x1, dirty.z1);
  if (hardware()) {
    for (TerrainRender::ShadingBlock& block : g_tr.blocks) {
      const int x0 = std::max(dirty.x0 - block.origin[0], 0);
      const int z0 = std::max(dirty.z0 - block.origin[1], 0);
      const int x1 = std::min(dirty.x1 + 1 - block.origin[0], block.size);
      const int z1 = std::min(dirty.z1 + 1 - block.origin[1], block.size);
      upload_block(block, x0, z0, x1, z1);
    }
  }
  dirty = sim::GridRect{};
}

int ground_window_origin(int level, int axis) {
  if (level < 0 || level >= kGroundLevels || axis < 0 || axis > 1) return 0;
  return g_tr.near_origin[level][axis];
}

int ground_texture_renders() { return g_tr.renders; }

GroundTextureSet ground_textures_at(float x, float z) {
  if (!g_tr.ready || g_tr.far_slots.empty()) return {};
  const int last = (1 << g_tr.levels) - 1;
  const float tile = 2 * g_tr.spacing;
  const int tx = std::clamp(static_cast<int>(std::floor(x / tile)), 0, last);
  const int tz = std::clamp(static_cast<int>(std::floor(z / tile)), 0, last);
  const GroundSlot* slot = nullptr;
  for (int level = lowest_level(); level < kGroundLevels && !slot; ++level) {
    if (g_tr.levels - level < 0) break;
    slot = near_slot(level, tx >> level, tz >> level);
    if (slot && slot->status != 1) slot = nullptr;
  }
  if (!slot) {
    const int up = g_tr.levels - g_tr.far_depth;
    slot =
        &g_tr.far_slots[static_cast<std::size_t>((tz >> up) * (1 << g_tr.far_depth) + (tx >> up))];
  }
  return {slot->colour, slot->normal, slot->specular};
}

}  // namespace render
