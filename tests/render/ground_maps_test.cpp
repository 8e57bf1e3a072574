// ground_maps_test.cpp -- with the "Shaders" methods every ground texture gets a normal map, the
// terrain's own normals bent by the surfaces' detail normals, and a specular map from the
// surfaces' specular maps; the terrain program lights the ground with them.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "data/data.h"
#include "gl_fixture.h"
#include "race/race.h"
#include "render/render.h"
#include "sim/sim.h"

namespace {

constexpr float kSpacing = 1.5f;
constexpr float kSlope = 0.3f;  // ft of rise per ft along z
constexpr float kMiddle = 96;   // ft: the two surfaces meet at x = 96
constexpr float kPlainX = 90;   // ft, on the plain surface
constexpr float kBumpyX = 102;  // ft, on the surface with maps
constexpr float kMiddleZ = 96;

// The centre half of a texture (n x n, RGB): the channel's mean, least and greatest value.
struct ChannelSpread {
  double mean = 0;
  int least = 255, most = 0;
};
ChannelSpread spread(const std::vector<unsigned char>& rgb, int n, int channel) {
  ChannelSpread s;
  int count = 0;
  for (int y = n / 4; y < 3 * n / 4; ++y) {
    for (int x = n / 4; x < 3 * n / 4; ++x) {
      const int v = rgb[(static_cast<std::size_t>(y) * n + x) * 3 + channel];
      s.mean += v;
      s.least = std::min(s.least, v);
      s.most = std::max(s.most, v);
      ++count;
    }
  }
  s.mean /= count;
  return s;
}

std::vector<unsigned char> texture_pixels(unsigned texture, int n) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(n) * n * 3);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

class GroundMapsTest : public gl_fixture::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    race::g_track = race::Track{};
    render::g_scene = render::SceneState{};
    ASSERT_TRUE(render::build_programs());
    // Ground rising towards +z; plain grey to the west of x = 96, the same grey with a detail
    // normal map that leans every normal 45 degrees towards +x, and a specular map, east of it.
    const unsigned char grey[4] = {150, 150, 150, 255};
    const unsigned char towards_x[4] = {38, 128, 218, 255};
    const unsigned char shine[4] = {200, 40, 0, 255};
    picture("plain.png", grey);
    picture("bumpy.png", grey);
    picture("bumpy_norm.png", towards_x);
    picture("bumpy_spec.png", shine);
    ASSERT_TRUE(sim::terrain_create(6, kSpacing));
    sim::HeightField& t = sim::g_terrain;
    for (int iz = 0; iz < t.points_per_side; ++iz) {
      for (int ix = 0; ix < t.points_per_side; ++ix)
        t.heights[iz * t.points_per_side + ix] = kSlope * kSpacing * static_cast<float>(iz);
    }
    sim::terrain_refresh();
    t.surface_count = 2;
    t.surfaces[0].texture = "@plain.png";
    t.surfaces[1].texture = "@bumpy.png";
    const int r = t.tiles_per_side;
    for (int tz = 0; tz < r; ++tz) {
      for (int tx = 0; tx < r; ++tx)
        t.tilemap[tz * r + tx] = 2 * kSpacing * static_cast<float>(tx) < kMiddle ? 0 : 1;
    }
    race::g_track.lighting.sun_vector = {0.7071f, 0.7071f, 0};  // from the east
    glViewport(0, 0, gl_fixture::kSize, gl_fixture::kSize);
  }
  void TearDown() override {
    render::terrain_render_release();
    sim::terrain_free();
    GlTest::TearDown();
  }
  // 30 ft above the meeting line, looking straight down with +x to the right of the picture.
  static render::Camera camera_above() {
    render::Camera c;
    c.position[0] = kMiddle;
    c.position[1] = sim::terrain_height(kMiddle, kMiddleZ) + 30;
    c.position[2] = kMiddleZ;
    const float axes[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0};
    std::copy(axes, axes + 9, c.axes);
    c.fov = 60;
    return c;
  }
};

TEST_F(GroundMapsTest, DetailNormalsAndSpecularMapsReachTheGroundAndItsLight) {
  const struct {
    const char* name;
    int method;
    int texture_size;  // larger than the 256-pixel viewport: composed on the CPU instead
  } cases[] = {
      {"Shaders/Copy", render::kTerrainShadersCopy, 64},
      {"Shaders/Direct", render::kTerrainShadersDirect, 64},
      {"Shaders/Copy, composed on the CPU", render::kTerrainShadersCopy, 512},
  };
  // The ground's own normal, (0, 1, -0.3) made unit, in the normal map's bytes; bent 45
  // degrees towards +x in its own frame, it leans to (0.70, 0.68, -0.20).
  const double flat_x = 127.5, flat_z = (1 - kSlope / std::hypot(1.0, kSlope)) * 127.5;
  const double bent_x = 217, bent_z = 102;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    render::g_render_settings.terrain_method = c.method;
    render::g_render_settings.ground_texture_size = c.texture_size;
    render::g_render_settings.ground_texture_levels = 2;  // 16 x 16 tiles and up: fewer to make
    render::terrain_render_setup();
    const render::Camera camera = camera_above();
    render::draw_scene(camera);
    render::draw_scene(camera);
    const std::vector<unsigned char> frame = gl_fixture::read_frame();
    gl_fixture::keep_picture(std::string("ground-maps-") + std::to_string(c.method) + "-" +
                                 std::to_string(c.texture_size) + ".png",
                             frame);
    const int n = c.texture_size;
    const render::GroundTextureSet plain = render::ground_textures_at(kPlainX, kMiddleZ);
    const render::GroundTextureSet bumpy = render::ground_textures_at(kBumpyX, kMiddleZ);
    ASSERT_NE(plain.normal, 0u);
    ASSERT_NE(bumpy.specular, 0u);
    const std::vector<unsigned char> plain_normal = texture_pixels(plain.normal, n);
    const std::vector<unsigned char> bumpy_normal = texture_pixels(bumpy.normal, n);
    EXPECT_NEAR(spread(plain_normal, n, 0).mean, flat_x, 4);
    EXPECT_NEAR(spread(plain_normal, n, 2).mean, flat_z, 4);
    EXPECT_NEAR(spread(bumpy_normal, n, 0).mean, bent_x, 4);
    EXPECT_NEAR(spread(bumpy_normal, n, 2).mean, bent_z, 4);
    // No shadows: the baked light in green is full on both.
    EXPECT_GT(spread(bumpy_normal, n, 1).least, 250);
    const std::vector<unsigned char> plain_specular = texture_pixels(plain.specular, n);
    const std::vector<unsigned char> bumpy_specular = texture_pixels(bumpy.specular, n);
    EXPECT_EQ(spread(plain_specular, n, 0).most, 0);
    EXPECT_NEAR(spread(bumpy_specular, n, 0).mean, 200, 3);
    EXPECT_NEAR(spread(bumpy_specular, n, 1).mean, 40, 3);
    // The sun stands in the east: the ground whose normals lean to it is the brighter.
    double halves[2] = {0, 0};
    for (int y = 64; y < 192; ++y) {
      for (int x = 16; x < 240; ++x) {
        if (x >= 112 && x < 144) continue;  // where the surfaces meet
        const unsigned char* p = &frame[(static_cast<std::size_t>(y) * gl_fixture::kSize + x) * 3];
        halves[x >= 128] += p[0] + p[1] + p[2];
      }
    }
    EXPECT_GT(halves[1], halves[0] * 1.15);
    render::terrain_render_release();
  }
}

// Drawing the ground leaves the material as it found it, so the models drawn after it are
// lit as they would be over any other ground.
TEST_F(GroundMapsTest, TheGroundLeavesTheMaterialAsItFoundIt) {
  for (int method : {render::kTerrainSoftware, render::kTerrainHardwareCopy,
                     render::kTerrainShadersCopy, render::kTerrainShadersDirect}) {
    SCOPED_TRACE(method);
    const float ambient[4] = {0.2f, 0.3f, 0.4f, 1}, diffuse[4] = {0.5f, 0.6f, 0.7f, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    render::g_render_settings.terrain_method = method;
    render::g_render_settings.ground_texture_size = 64;
    render::g_render_settings.ground_texture_levels = 2;
    render::terrain_render_setup();
    render::terrain_prepare(camera_above());
    render::terrain_draw(camera_above());
    float after_ambient[4], after_diffuse[4];
    glGetMaterialfv(GL_FRONT, GL_AMBIENT, after_ambient);
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, after_diffuse);
    for (int i = 0; i < 4; ++i) {
      EXPECT_FLOAT_EQ(after_ambient[i], ambient[i]) << i;
      EXPECT_FLOAT_EQ(after_diffuse[i], diffuse[i]) << i;
    }
  }
}

}  // namespace
