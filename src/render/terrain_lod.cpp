// terrain_lod.cpp -- the ground's level of detail: node thresholds from the height error,
// the per-frame subdivision around the camera, and the far-to-near fans that draw it.
//
// A node of depth d covers 2^(L-d) tiles a side; a leaf is one tile (2 x 2 cells, its fan
// the 3 x 3 samples). A node that is not subdivided is one fan: its centre, then its four
// corners and those edge midpoints whose neighbour across the edge is subdivided (or off
// the grid). After marking, a balance pass makes every subdivided node's edge neighbours'
// parents subdivided, so no drawn node borders ground drawn two or more levels coarser:
// that is what keeps the mesh free of T-junctions and cracks.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/render_internal.h"
#include "render/terrain_render.h"
#include "sim/sim.h"

namespace render {

TerrainRender g_tr;

namespace {

constexpr int kSliceWork = 8000;  // threshold work units per frame

float height_at(int ix, int iz) {
  const int s = g_tr.points;
  ix = std::clamp(ix, 0, s - 1);
  iz = std::clamp(iz, 0, s - 1);
  return sim::g_terrain.heights[static_cast<long>(iz) * s + ix];
}

// The error of drawing the node as its own fan instead of its children's finer fans: every
// sample of the children's fans that the node's fan skips lies halfway along one of the
// node's fan edges. Leaves compare their edge midpoints with the corners. Returns the units
// of work done.
int local_error(int depth, int a, int b, float* out) {
  const int h = (g_tr.points - 1) >> (depth + 1);
  const int x0 = 2 * a * h, z0 = 2 * b * h;
  float e = 0;
  int work = 10;
  if (h == 1) {
    const float c00 = height_at(x0, z0), c20 = height_at(x0 + 2, z0);
    const float c02 = height_at(x0, z0 + 2), c22 = height_at(x0 + 2, z0 + 2);
    e = std::max({std::fabs(height_at(x0 + 1, z0) - 0.5f * (c00 + c20)),
                  std::fabs(height_at(x0 + 1, z0 + 2) - 0.5f * (c02 + c22)),
                  std::fabs(height_at(x0, z0 + 1) - 0.5f * (c00 + c02)),
                  std::fabs(height_at(x0 + 2, z0 + 1) - 0.5f * (c20 + c22))});
    work += 8;
  } else {
    const int q = h / 2;
    // Points of the 5 x 5 children grid (unit q) with an odd coordinate: the midpoint of
    // the fan edge through them.
    for (int j = 0; j <= 4; ++j) {
      for (int i = 0; i <= 4; ++i) {
        if (i % 2 == 0 && j % 2 == 0) continue;
        int ai = i, aj = j, bi = i, bj = j;
        if (i % 2 && j % 2) {
          // On a diagonal from the centre (2, 2) to a corner.
          ai = 2;
          aj = 2;
          bi = i < 2 ? 0 : 4;
          bj = j < 2 ? 0 : 4;
        } else if (i % 2) {
          ai = i - 1;
          bi = i + 1;
        } else {
          aj = j - 1;
          bj = j + 1;
        }
        const float mid =
            0.5f * (height_at(x0 + ai * q, z0 + aj * q) + height_at(x0 + bi * q, z0 + bj * q));
        e = std::max(e, std::fabs(height_at(x0 + i * q, z0 + j * q) - mid));
        work += 3;
      }
    }
  }
  *out = e;
  return work;
}

// Squared distance within which an error of `e` feet is refined. "Ground Geometric
// Detail" 70 refines a foot of error within about 160 ft; every 10 points double it.
float threshold_of(float e) {
  const double k = 40.0 * std::exp2((g_render_settings.ground_detail - 50.0) / 10.0);
  const double d = k * e;
  return static_cast<float>(d * d);
}

// One node's threshold: its own error and its children's (already computed).
int compute_node(int depth, int a, int b) {
  float e = 0;
  const int work = local_error(depth, a, b, &e);
  if (depth < g_tr.levels) {
    for (int k = 0; k < 4; ++k) {
      e = std::max(e, g_tr.error[node_index(depth + 1, 2 * a + (k & 1), 2 * b + (k >> 1))]);
    }
  }
  const int i = node_index(depth, a, b);
  g_tr.error[i] = e;
  g_tr.threshold[i] = threshold_of(e);
  return work;
}

// Runs the threshold refresh for at most `budget` units (all of it when negative); true
// when it finished.
bool run_thresholds(int budget) {
  int work = 0;
  while (g_tr.slice_depth >= 0) {
    const int side = 1 << g_tr.slice_depth;
    const int count = side * side;
    while (g_tr.slice_node < count) {
      const int n = g_tr.slice_node++;
      work += compute_node(g_tr.slice_depth, n % side, n / side);
      if (budget >= 0 && work >= budget) return false;
    }
    --g_tr.slice_depth;
    g_tr.slice_node = 0;
  }
  return true;
}

void start_thresholds() {
  g_tr.slice_depth = g_tr.levels;
  g_tr.slice_node = 0;
  g_tr.slice_for = sim::g_terrain.edit_count;
}

bool is_marked(int depth, int a, int b) {
  return g_tr.marked[static_cast<std::size_t>(node_index(depth, a, b))] != 0;
}
void mark(int depth, int a, int b) {
  g_tr.marked[static_cast<std::size_t>(node_index(depth, a, b))] = 1;
}

void mark_by_threshold(int depth, int a, int b) {
  const int h = (g_tr.points - 1) >> (depth + 1);
  const float dx = static_cast<float>((2 * a + 1) * h) * g_tr.spacing - g_tr.eye[0];
  const float dz = static_cast<float>((2 * b + 1) * h) * g_tr.spacing - g_tr.eye[2];
  if (!(g_tr.threshold[node_index(depth, a, b)] > dx * dx + dz * dz)) return;
  mark(depth, a, b);
  if (depth == g_tr.levels) return;
  for (int k = 0; k < 4; ++k) mark_by_threshold(depth + 1, 2 * a + (k & 1), 2 * b + (k >> 1));
}

// Every subdivided node's parent, and its edge neighbours' parents, are subdivided.
void balance() {
  for (int d = g_tr.levels; d >= 1; --d) {
    const int side = 1 << d;
    const int base = node_index(d, 0, 0);
    for (int b = 0; b < side; ++b) {
      for (int a = 0; a < side; ++a) {
        if (!g_tr.marked[static_cast<std::size_t>(base + a + b * side)]) continue;
        mark(d - 1, a >> 1, b >> 1);
        if (a > 0) mark(d - 1, (a - 1) >> 1, b >> 1);
        if (a + 1 < side) mark(d - 1, (a + 1) >> 1, b >> 1);
        if (b > 0) mark(d - 1, a >> 1, (b - 1) >> 1);
        if (b + 1 < side) mark(d - 1, a >> 1, (b + 1) >> 1);
      }
    }
  }
}

void subdivide() {
  std::fill(g_tr.marked.begin(), g_tr.marked.end(), 0);
  const int L = g_tr.levels;
  // The coarse prefix: far ground is never drawn with nodes bigger than a far texture.
  for (int d = 0; d <= L - 6; ++d) {
    std::memset(&g_tr.marked[static_cast<std::size_t>(node_index(d, 0, 0))], 1,
                static_cast<std::size_t>(1) << (2 * d));
  }
  if (L - 5 >= 0) mark(L - 5, 0, 0);
  // Full detail in nested windows round the camera, each finer one strictly inside.
  int finer[2] = {0, 0};
  for (int i = L; i >= 1; --i) {
    const int side = 1 << i;
    int start[2], end[2];
    for (int axis = 0; axis < 2; ++axis) {
      start[axis] = window_start(L, i, g_tr.cell[axis]);
      end[axis] = std::min(start[axis] + 4, side);
      if (i < L) {
        if (finer[axis] == 2 * start[axis]) start[axis] = std::max(start[axis] - 1, 0);
        if (std::min(finer[axis] + 4, 2 * side) == 2 * end[axis])
          end[axis] = std::min(end[axis] + 1, side);
      }
    }
    for (int b = start[1]; b < end[1]; ++b) {
      for (int a = start[0]; a < end[0]; ++a) mark(i, a, b);
    }
    finer[0] = window_start(L, i, g_tr.cell[0]);
    finer[1] = window_start(L, i, g_tr.cell[1]);
  }
  mark_by_threshold(0, 0, 0);
  balance();
}

// --- Drawing ---------------------------------------------------------------------------------

// Farthest child first, by the camera's quadrant of the node.
constexpr int kChildOrder[4][4] = {{3, 2, 1, 0}, {2, 0, 3, 1}, {1, 3, 0, 2}, {0, 1, 2, 3}};

bool behind(int depth, int a, int b) {
  const int h = (g_tr.points - 1) >> (depth + 1);
  const float x0 = static_cast<float>(2 * a * h) * g_tr.spacing;
  const float z0 = static_cast<float>(2 * b * h) * g_tr.spacing;
  const float size = static_cast<float>(2 * h) * g_tr.spacing;
  const float* v = g_tr.view;
  const float nx = (v[0] >= 0 ? x0 + size : x0) - g_tr.eye[0];
  const float ny = (v[1] >= 0 ? g_tr.max_height : g_tr.min_height) - g_tr.eye[1];
  const float nz = (v[2] >= 0 ? z0 + size : z0) - g_tr.eye[2];
  return v[0] * nx + v[1] * ny + v[2] * nz < 0;
}

void emit_fan(int count) {
  if (g_render_settings.vertex_arrays) {
    glDrawArrays(GL_TRIANGLE_FAN, 0, count);
  } else {
    glBegin(GL_TRIANGLE_FAN);
    for (int i = 0; i < count; ++i) {
      glTexCoord2fv(&g_tr.staging[i * 5 + 3]);
      glVertex3fv(&g_tr.staging[i * 5]);
    }
    glEnd();
  }
  g_tr.polygons += count - 2;
}

// One node as a fan; every edge midpoint when `all`.
void draw_fan(int depth, int a, int b, bool all) {
  float origin[2], span = 1;
  bind_ground_texture(depth, a, b, origin, &span);
  const int h = (g_tr.points - 1) >> (depth + 1);
  const int cx = (2 * a + 1) * h, cz = (2 * b + 1) * h;
  const int side = 1 << depth;
  int n = 0;
  auto put = [&](int ix, int iz) {
    float* v = &g_tr.staging[n++ * 5];
    v[0] = static_cast<float>(ix) * g_tr.spacing;
    v[1] = height_at(ix, iz);
    v[2] = static_cast<float>(iz) * g_tr.spacing;
    v[3] = (v[0] - origin[0]) / span;
    v[4] = (v[2] - origin[1]) / span;
  };
  auto needs_mid = [&](int na, int nb) {
    return all || na < 0 || nb < 0 || na >= side || nb >= side || is_marked(depth, na, nb);
  };
  // Counter-clockwise seen from above: +x, -z, -x, +z.
  put(cx, cz);
  put(cx + h, cz + h);
  if (needs_mid(a + 1, b)) put(cx + h, cz);
  put(cx + h, cz - h);
  if (needs_mid(a, b - 1)) put(cx, cz - h);
  put(cx - h, cz - h);
  if (needs_mid(a - 1, b)) put(cx - h, cz);
  put(cx - h, cz + h);
  if (needs_mid(a, b + 1)) put(cx, cz + h);
  put(cx + h, cz + h);
  emit_fan(n);
}

void draw_node(int depth, int a, int b) {
  if (behind(depth, a, b)) return;
  const bool marked = is_marked(depth, a, b);
  if (!marked || depth == g_tr.levels) {
    draw_fan(depth, a, b, marked);
    return;
  }
  const int h = (g_tr.points - 1) >> (depth + 1);
  const int q =
      (g_tr.cell[0] >= (2 * a + 1) * h ? 1 : 0) | (g_tr.cell[1] >= (2 * b + 1) * h ? 2 : 0);
  for (int child : kChildOrder[q]) draw_node(depth + 1, 2 * a + (child & 1), 2 * b + (child >> 1));
}

bool terrain_matches() {
  const sim::HeightField& t = sim::g_terrain;
  return g_tr.ready && t.heights == g_tr.heights && t.points_per_side == g_tr.points &&
         std::memcmp(t.heights_sha1, g_tr.heights_sha1, sizeof g_tr.heights_sha1) == 0 &&
         t.spacing == g_tr.spacing && g_render_settings.terrain_method == g_tr.method &&
         g_render_settings.ground_texture_size == g_tr.texture_size;
}

}  // namespace

int window_start(int levels, int depth, int c) {
  const int shift = levels - depth;
  const int t = ((c - (1 << shift)) >> (shift + 1)) - 1;
  return std::clamp(t, 0, std::max((1 << depth) - 4, 0));
}

void terrain_render_setup() {
  terrain_render_release();
  const sim::HeightField& t = sim::g_terrain;
  if (!t.heights || t.points_per_side < 3) return;
  g_tr.heights = t.heights;
  std::memcpy(g_tr.heights_sha1, t.heights_sha1, sizeof g_tr.heights_sha1);
  g_tr.points = t.points_per_side;
  g_tr.spacing = t.spacing;
  g_tr.levels = t.size_log2;
  g_tr.method = g_render_settings.terrain_method;
  g_tr.texture_size = g_render_settings.ground_texture_size;
  const std::size_t nodes = static_cast<std::size_t>(node_index(g_tr.levels + 1, 0, 0));
  g_tr.error.assign(nodes, 0.0f);
  g_tr.threshold.assign(nodes, 0.0f);
  g_tr.marked.assign(nodes, 0);
  start_thresholds();
  run_thresholds(-1);
  g_tr.ready = true;
  ground_textures_setup();
}

void terrain_render_release() {
  ground_textures_release();
  g_tr.error.clear();
  g_tr.threshold.clear();
  g_tr.marked.clear();
  g_tr.ready = false;
  g_tr.heights = nullptr;
  g_tr.slice_depth = -1;
}

void terrain_prepare(const Camera& camera) {
  if (!terrain_matches()) terrain_render_setup();
  if (!g_tr.ready) return;
  std::copy(camera.position, camera.position + 3, g_tr.eye);
  // The view direction is minus the camera's z axis (the third column).
  g_tr.view[0] = -camera.axes[2];
  g_tr.view[1] = -camera.axes[5];
  g_tr.view[2] = -camera.axes[8];
  g_tr.cell[0] = static_cast<int>(std::floor(camera.position[0] / g_tr.spacing));
  g_tr.cell[1] = static_cast<int>(std::floor(camera.position[2] / g_tr.spacing));
  g_tr.min_height = sim::g_terrain.min_height;
  g_tr.max_height = sim::g_terrain.max_height;
  g_tr.polygons = 0;
  subdivide();
  ground_textures_update();
}

void terrain_draw(const Camera&) {
  if (!g_tr.ready) return;
  g_tr.last_texture = 0;
  g_tr.last_level = -2;
  const bool shaders = shaders_active() && g_tr.method >= kTerrainShadersCopy;
  // The lighting bit brings the material back: the ground's white one would otherwise
  // light every model drawn after it brighter than it is.
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_LIGHTING_BIT);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  if (shaders) {
    use_program(kProgramTerrain);
    const unsigned p = program_of(kProgramTerrain);
    g_gl.Uniform1i(g_gl.GetUniformLocation(p, "tex"), 0);
    g_gl.Uniform1i(g_gl.GetUniformLocation(p, "nmap"), 1);
    g_gl.Uniform1i(g_gl.GetUniformLocation(p, "smap"), 2);
    const float white[4] = {1, 1, 1, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
  } else {
    // The light is baked into the ground textures.
    glDisable(GL_LIGHTING);
  }
  if (g_render_settings.vertex_arrays) {
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 5 * sizeof(float), g_tr.staging);
    glTexCoordPointer(2, GL_FLOAT, 5 * sizeof(float), g_tr.staging + 3);
  }
  draw_node(0, 0, 0);
  if (g_render_settings.vertex_arrays) glPopClientAttrib();
  if (shaders) {
    for (int unit = 2; unit >= 1; --unit) {
      g_gl.ActiveTexture(GL_TEXTURE0 + unit);
      glBindTexture(GL_TEXTURE_2D, 0);
      glDisable(GL_TEXTURE_2D);
    }
    g_gl.ActiveTexture(GL_TEXTURE0);
    use_program(kProgramFixed);
  }
  glPopAttrib();
}

void terrain_refresh_slice() {
  if (!g_tr.ready || !terrain_matches()) return;
  // A change while a refresh runs starts it again from the finest level.
  if (sim::g_terrain.edit_count != g_tr.slice_for) start_thresholds();
  if (g_tr.slice_depth >= 0) run_thresholds(kSliceWork);
  shading_blocks_refresh();
}

bool terrain_node_subdivided(int depth, int a, int b) {
  if (!g_tr.ready || depth < 0 || depth > g_tr.levels) return false;
  const int side = 1 << depth;
  if (a < 0 || b < 0 || a >= side || b >= side) return false;
  return is_marked(depth, a, b);
}

int ground_polygons() { return g_tr.polygons; }

void terrain_set_thresholds_for_test(float value) {
  std::fill(g_tr.threshold.begin(), g_tr.threshold.end(), value);
  g_tr.slice_for = sim::g_terrain.edit_count;
  g_tr.slice_depth = -1;
}

}  // namespace render
