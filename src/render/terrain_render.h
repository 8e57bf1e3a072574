// terrain_render.h -- the terrain renderer's state, shared by the level-of-detail and the
// ground-texture code.
#pragma once

#include <cstdint>
#include <vector>

#include "render/render.h"

namespace render {

struct GroundSlot {
  unsigned colour = 0;    // the ground texture
  unsigned normal = 0;    // with shaders: normal map (baked light in green)
  unsigned specular = 0;  // with shaders: specular map
  int status = 0;         // 1 up to date, 0 must be rendered
  int a = -1, b = -1;     // the node it covers
};

// Node indexing: level d starts at (4^d - 1) / 3; node (a, b) is at a + b * 2^d.
inline int node_index(int depth, int a, int b) {
  return ((1 << (2 * depth)) - 1) / 3 + a + (b << depth);
}

struct TerrainRender {
  bool ready = false;
  const float* heights = nullptr;  // what the tables were built for
  unsigned char heights_sha1[20] = {};
  int levels = -1;  // L: the quadtree's depth
  int points = 0;   // S
  float spacing = 0;
  int method = 0;  // the "Terrain Rendering Method" the textures were made with
  int texture_size = 0;

  // Level of detail.
  std::vector<float> error;      // per node: largest height error of its fan (ft)
  std::vector<float> threshold;  // per node: squared distance of subdivision
  std::vector<unsigned char> marked;
  // The sliced refresh: the depth and node it resumes at (depth -1: idle), and the edit
  // count the thresholds are computed for.
  int slice_depth = -1;
  int slice_node = 0;
  int slice_for = 0;

  // This frame's camera.
  float eye[3] = {};
  float view[3] = {0, 0, -1};
  int cell[2] = {};
  float min_height = 0, max_height = 0;

  // Ground textures.
  GroundSlot near_slots[kGroundLevels][16];
  int near_origin[kGroundLevels][2] = {};
  int far_depth = 0;  // depth of the far blocks' nodes
  std::vector<GroundSlot> far_slots;
  int renders = 0;
  unsigned framebuffer = 0;
  unsigned base_normals = 0;  // with maps: the region's base normals, for terrain_normals
  // Shading textures of 384 x 384-cell blocks (the methods that draw with the GL).
  struct ShadingBlock {
    unsigned texture = 0;
    int origin[2] = {};  // grid point of texel (0, 0): 64 points before the block
    int size = 0;        // texels a side
  };
  std::vector<ShadingBlock> blocks;
  int blocks_per_side = 0;

  // Drawing.
  unsigned last_texture = 0;
  int last_level = -2;
  int polygons = 0;
  float staging[10 * 5] = {};  // one fan: x, y, z, s, t
  bool ati_workaround = false;
  bool checked_renderer = false;
};

extern TerrainRender g_tr;

// The near-camera window start of depth-i nodes for camera cell c (one axis).
int window_start(int levels, int depth, int c);

// ground_textures.cpp
void ground_textures_setup();
void ground_textures_release();
void ground_textures_update();
// The texture (and its level, -1 far) to draw node (a, b) of depth d with; binds it unless
// it is the one bound last. Gives the texture's world origin and span.
void bind_ground_texture(int depth, int a, int b, float origin[2], float* span);
// Marks every texture covering grid points [x0, x1] x [z0, z1] to be rendered again.
void ground_textures_invalidate(int x0, int z0, int x1, int z1);
// After the ground changed: the textures over the changed square are rendered again and
// its shading is sent to the block textures.
void shading_blocks_refresh();

}  // namespace render
