// terrain_render_test.cpp -- the ground mesh stays closed from every camera, and the
// ground texture windows follow the camera without redoing what did not change.
#include <cmath>
#include <vector>

#include "gl_fixture.h"
#include "race/race.h"
#include "sim/sim.h"

namespace {

constexpr float kSpacing = 1.5f;
constexpr int kLog2 = 6;  // 129 x 129 points, 192 ft a side

// A field with sharp features: a cliff, a row of spikes, a pit, a sawtooth and a gentle swell,
// so that neighbouring nodes end up at different levels of detail.
void make_rough_field() {
  ASSERT_TRUE(sim::terrain_create(kLog2, kSpacing));
  sim::HeightField& t = sim::g_terrain;
  const int s = t.points_per_side;
  for (int iz = 0; iz < s; ++iz) {
    for (int ix = 0; ix < s; ++ix) {
      float h = 2.0f * std::sin(ix * 0.07f) * std::cos(iz * 0.05f);
      if (ix > 80) h += 9.0f;                                             // cliff
      if (ix % 9 == 4 && iz % 11 == 5) h += 6.0f;                         // spikes
      if ((ix - 40) * (ix - 40) + (iz - 90) * (iz - 90) < 60) h -= 5.0f;  // pit
      if (iz > 20 && iz < 40) h += static_cast<float>(ix % 6) * 0.8f;     // sawtooth
      t.heights[iz * s + ix] = h;
    }
  }
  sim::terrain_refresh();
}

render::Camera camera_at(float x, float y, float z, float yaw, float pitch, float fov) {
  render::Camera c;
  c.position[0] = x;
  c.position[1] = y;
  c.position[2] = z;
  c.fov = fov;
  // Columns: x = (-cos yaw, 0, sin yaw); y and z from the pitch; the view looks along -z,
  // that is (sin yaw cos pitch, sin pitch, cos yaw cos pitch).
  const float cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
  const float ax[3] = {-cy, 0, sy};
  const float ay[3] = {-sp * sy, cp, -sp * cy};
  const float az[3] = {-cp * sy, -sp, -cp * cy};
  for (int r = 0; r < 3; ++r) {
    c.axes[r * 3 + 0] = ax[r];
    c.axes[r * 3 + 1] = ay[r];
    c.axes[r * 3 + 2] = az[r];
  }
  return c;
}

class TerrainRenderTest : public gl_fixture::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    race::g_track = race::Track{};
    render::g_scene = render::SceneState{};
    make_rough_field();
    glViewport(0, 0, gl_fixture::kSize, gl_fixture::kSize);
  }
  void TearDown() override {
    render::terrain_render_release();
    sim::terrain_free();
    GlTest::TearDown();
  }
};

// A sky pixel is a crack when its ray reaches the lowest ground level inside the field: a
// ray from above the ground cannot get there without passing through the surface.
int cracks(const render::Camera& c, const std::vector<unsigned char>& rgb) {
  const sim::HeightField& t = sim::g_terrain;
  const int n = gl_fixture::kSize;
  const float half = std::tan(c.fov * 0.5f * 0.01745329f);
  int found = 0;
  for (int py = 0; py < n; ++py) {
    for (int px = 0; px < n; ++px) {
      const unsigned char* p = &rgb[(static_cast<std::size_t>(py) * n + px) * 3];
      if (!(p[0] > 240 && p[1] < 15 && p[2] > 240)) continue;
      const float u = ((px + 0.5f) / n * 2 - 1) * half, v = ((py + 0.5f) / n * 2 - 1) * half;
      float d[3];
      for (int r = 0; r < 3; ++r)
        d[r] = c.axes[r * 3] * u + c.axes[r * 3 + 1] * v - c.axes[r * 3 + 2];
      if (d[1] >= -1e-4f) continue;
      const float k = (t.min_height - c.position[1]) / d[1];
      const float x = c.position[0] + d[0] * k, z = c.position[2] + d[2] * k;
      const float margin = 2 * kSpacing;
      if (x > margin && z > margin && x < t.extent - margin && z < t.extent - margin) ++found;
    }
  }
  return found;
}

TEST_F(TerrainRenderTest, TheGroundHasNoCracksFromAnyCamera) {
  glClearColor(1, 0, 1, 1);  // no sky textures: the clear colour is the sky
  const float pitches[] = {-0.35f, -0.9f, -1.45f};
  int frames = 0, worst = 0;
  for (double detail : {20.0, 70.0, 100.0}) {
    render::g_render_settings.ground_detail = detail;
    render::terrain_render_setup();
    // Inside the field: from outside, rays may pass under its undrawn edge.
    for (float x : {20.0f, 96.0f, 170.0f}) {
      for (float z : {25.0f, 100.0f, 150.0f}) {
        for (int k = 0; k < 6; ++k) {
          for (float pitch : pitches) {
            for (float above : {4.0f, 30.0f}) {
              const float ground = sim::terrain_height(x, z);
              const render::Camera c =
                  camera_at(x, std::max(ground, sim::g_terrain.max_height * (above > 10)) + above,
                            z, static_cast<float>(k) * 1.0471976f, pitch, 60);
              render::draw_scene(c);
              const std::vector<unsigned char> rgb = gl_fixture::read_frame();
              const int n = cracks(c, rgb);
              if (n > worst) {
                worst = n;
                gl_fixture::keep_picture("terrain-crack.png", rgb);
              }
              EXPECT_EQ(n, 0) << "detail " << detail << " at " << x << "," << z << " yaw " << k * 60
                              << " pitch " << pitch << " above " << above;
              ++frames;
              if (n > 0) return;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(frames, 0);
}

TEST_F(TerrainRenderTest, ZeroThresholdsSubdivideOnlyThePrefixAndTheCameraWindows) {
  render::terrain_render_setup();
  render::terrain_set_thresholds_for_test(0);
  // Over the field's corner (0, 0): the windows hug that corner.
  render::terrain_prepare(camera_at(3, 20, 3, 0, -0.5f, 60));
  EXPECT_TRUE(render::terrain_node_subdivided(kLog2, 0, 0));  // the camera's own tile
  EXPECT_TRUE(render::terrain_node_subdivided(kLog2, 3, 3));
  EXPECT_FALSE(render::terrain_node_subdivided(kLog2, 40, 40));  // far away
  EXPECT_FALSE(render::terrain_node_subdivided(kLog2 - 1, 20, 20));
  EXPECT_TRUE(render::terrain_node_subdivided(0, 0, 0));  // the root
  // With real thresholds the rough ground is refined farther out than flat ground would be.
  render::terrain_render_setup();
  render::terrain_prepare(camera_at(3, 20, 3, 0, -0.5f, 60));
  int refined = 0;
  for (int b = 0; b < 64; ++b) {
    for (int a = 0; a < 64; ++a)
      refined += render::terrain_node_subdivided(kLog2 - 1, a / 2, b / 2);
  }
  EXPECT_GT(refined, 16 * 4);
}

TEST_F(TerrainRenderTest, TextureWindowsFollowTheCameraAndRedoOnlyWhatMoved) {
  render::terrain_render_setup();
  render::Camera c = camera_at(60, 30, 60, 0, -0.8f, 60);
  render::terrain_prepare(c);
  const int first = render::ground_texture_renders();
  EXPECT_GT(first, 0);
  // A still camera renders nothing more.
  render::terrain_prepare(c);
  EXPECT_EQ(render::ground_texture_renders(), first);
  // One level-0 block (a tile, two cells) along x: every level whose window moved renders
  // one column of four.
  int before[render::kGroundLevels];
  for (int l = 0; l < render::kGroundLevels; ++l) before[l] = render::ground_window_origin(l, 0);
  c.position[0] += 2 * kSpacing;
  render::terrain_prepare(c);
  int moved = 0;
  for (int l = 0; l < render::kGroundLevels; ++l) {
    const int step = render::ground_window_origin(l, 0) - before[l];
    EXPECT_LE(std::abs(step), 1) << "level " << l;
    moved += std::abs(step);
  }
  EXPECT_GE(moved, 1);
  EXPECT_EQ(render::ground_texture_renders() - first, 4 * moved);

  // Outside the field every window is clamped to the nearest edge and still full.
  render::terrain_prepare(camera_at(-500, 30, 5000, 0, -0.5f, 60));
  for (int l = 0; l < render::kGroundLevels; ++l) {
    const int side = 1 << (kLog2 - l);
    EXPECT_EQ(render::ground_window_origin(l, 0), 0) << "level " << l;
    EXPECT_EQ(render::ground_window_origin(l, 1), std::max(side - 4, 0)) << "level " << l;
  }
}

TEST_F(TerrainRenderTest, RutsRenderTheGroundUnderThemAgain) {
  render::terrain_render_setup();
  const render::Camera c = camera_at(60, 30, 60, 0, -0.8f, 60);
  render::terrain_prepare(c);
  const int before = render::ground_texture_renders();
  sim::terrain_deform(62, 58, 3, -0.5f);
  render::terrain_refresh_slice();
  render::terrain_prepare(c);
  // At least the finest texture under the rut and the far block are done again, but not
  // every window slot.
  const int again = render::ground_texture_renders() - before;
  EXPECT_GE(again, 2);
  EXPECT_LT(again, 6 * 16);
}

// A red decal on grey ground, seen from straight above its middle: the ground under it turns
// red whichever way the ground textures are made, and the ground beside it does not.
TEST_F(TerrainRenderTest, DecalsLieOnTheGroundInEveryMethod) {
  std::vector<unsigned char> red(16 * 16 * 4);
  for (std::size_t i = 0; i < red.size(); i += 4) {
    red[i] = 230;
    red[i + 1] = 20;
    red[i + 2] = 20;
    red[i + 3] = 255;
  }
  ASSERT_TRUE(data::write_png(home.file("red.png").c_str(), red.data(), 16, 16, 4, false));
  sim::Decal decal;
  decal.x = 96;
  decal.z = 96;
  decal.angle = 0.5f;
  decal.size[0] = 12;
  decal.size[1] = 6;
  decal.texture = "@red.png";
  sim::g_terrain.decals.push_back(decal);
  for (int method :
       {render::kTerrainSoftware, render::kTerrainHardwareDirect, render::kTerrainHardwareCopy}) {
    render::g_render_settings.terrain_method = method;
    const render::Camera c = camera_at(96, sim::terrain_height(96, 96) + 25, 96, 0, -1.5707f, 60);
    render::draw_scene(c);  // the first frame renders the windows
    render::draw_scene(c);
    const std::vector<unsigned char> rgb = gl_fixture::read_frame();
    gl_fixture::keep_picture("terrain-decal-" + std::to_string(method) + ".png", rgb);
    auto at = [&](int x, int y) {
      return &rgb[(static_cast<std::size_t>(y) * gl_fixture::kSize + x) * 3];
    };
    const unsigned char* middle = at(gl_fixture::kSize / 2, gl_fixture::kSize / 2);
    EXPECT_GT(middle[0], middle[1] + 60) << "method " << method;
    const unsigned char* corner = at(10, 10);
    EXPECT_LT(std::abs(corner[0] - corner[1]), 40) << "method " << method;
  }
}

}  // namespace
