// model_maps_test.cpp -- statues with normal and specular maps are drawn through the programs
// that read them: the maps found beside a statue's texture change how the sun lights it.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/data.h"
#include "gl_fixture.h"
#include "race/race.h"
#include "render/render.h"
#include "sim/sim.h"

namespace {

// A 4 x 4 ft panel standing on the ground and facing +z, its texture's u along +x and v up.
// No material specular, so any highlight comes from a specular map.
const char kPanel[] =
    "JM1\n"
    "16 1 0 0 0 4 2\n"
    "-2 0 0 0 0 1 0 0\n"
    "2 0 0 0 0 1 1 0\n"
    "2 4 0 0 0 1 1 1\n"
    "-2 4 0 0 0 1 0 1\n"
    "0 1 2\n"
    "0 2 3\n";

class ModelMapsTest : public gl_fixture::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(sim::terrain_create(6, 1.0f));
    race::g_track = race::Track{};
    render::g_scene = render::SceneState{};
    home.write("panel.jm", kPanel);
    ASSERT_TRUE(render::build_programs());
    glViewport(0, 0, gl_fixture::kSize, gl_fixture::kSize);
  }
  void TearDown() override {
    race::g_track = race::Track{};
    render::terrain_render_release();
    sim::terrain_free();
    GlTest::TearDown();
  }
  // The panel (or another model) with texture `texture`, lit by a sun from `sun`, seen from
  // 6 ft in front: the mean brightness of the middle of the picture.
  double brightness(const std::string& texture, const float sun[3], bool shaders = true,
                    const char* model = "@panel.jm") {
    render::g_render_settings.use_shaders = shaders;
    race::g_track.statues.clear();
    race::StatueSpec spec;
    spec.x = 64;
    spec.z = 54;
    spec.model = model;
    spec.texture = "@" + texture;
    race::add_statue(race::g_track, spec, true);
    const float length = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    race::g_track.lighting.sun_vector = {sun[0] / length, sun[1] / length, sun[2] / length};
    render::Camera camera;
    camera.position[0] = 64;
    camera.position[1] = 2;
    camera.position[2] = 60;
    camera.fov = 60;
    render::draw_scene(camera);
    const std::vector<unsigned char> rgb = gl_fixture::read_frame();
    gl_fixture::keep_picture("statue-" + texture, rgb);
    double sum = 0;
    int count = 0;
    for (int y = 108; y < 148; ++y) {
      for (int x = 108; x < 148; ++x) {
        const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * gl_fixture::kSize + x) * 3];
        sum += p[0] + p[1] + p[2];
        count += 3;
      }
    }
    return sum / count;
  }
};

// Normal maps encode the turned normal with red towards the texture's left (-u), green
// towards its bottom and blue out of the face. The sun stands to the panel's right.
TEST_F(ModelMapsTest, NormalMapsTurnTheSurfaceToOrFromTheSun) {
  const unsigned char grey[4] = {160, 160, 160, 255};
  const unsigned char to_the_right[4] = {38, 128, 218, 255};  // 45 degrees towards +x
  const unsigned char to_the_left[4] = {218, 128, 218, 255};
  for (const char* name : {"plain.png", "towards.png", "away.png"}) picture(name, grey);
  picture("towards_norm.png", to_the_right);
  picture("away_norm.png", to_the_left);
  const float sun[3] = {1, 0, 1};
  const double plain = brightness("plain.png", sun);
  const double towards = brightness("towards.png", sun);
  const double away = brightness("away.png", sun);
  EXPECT_GT(plain, 40);
  EXPECT_GT(towards, plain + 15);
  EXPECT_LT(away, plain - 15);
  // Without the programs the maps are not drawn.
  EXPECT_NEAR(brightness("towards.png", sun, false), brightness("plain.png", sun, false), 2);
}

// A specular map alone still reaches the program that reads it: with the sun behind the
// camera, the panel's middle mirrors it.
TEST_F(ModelMapsTest, ASpecularMapAddsTheSunsHighlight) {
  const unsigned char grey[4] = {120, 120, 120, 255};
  const unsigned char dull[4] = {0, 0, 0, 255};
  const unsigned char shiny[4] = {255, 255, 255, 32};  // exponent 16
  for (const char* name : {"plain.png", "dull.png", "shiny.png"}) picture(name, grey);
  picture("dull_spec.png", dull);
  picture("shiny_spec.png", shiny);
  const float sun[3] = {0, 0.1f, 1};
  const double plain = brightness("plain.png", sun);
  EXPECT_NEAR(brightness("dull.png", sun), plain, 3);
  EXPECT_GT(brightness("shiny.png", sun), plain + 40);
}

// A mirror panel reflects the sky's environment map; its normal map bends the reflection
// (`norm_env`) as it bends the light.
TEST_F(ModelMapsTest, NormalMapsBendAMirrorsReflection) {
  std::string mirror = kPanel;
  mirror.replace(mirror.find("16 1 0 0 0"), 10, "-1 1 1 1 1");
  home.write("mirror.jm", mirror);
  // The environment map: dark round its pole (up), brightening towards the horizon and
  // beyond, so that a reflection turned up or down lands on another brightness.
  std::vector<unsigned char> sky(64 * 64 * 3);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const double r = std::hypot(x - 31.5, y - 31.5) / 32;
      for (int c = 0; c < 3; ++c)
        sky[(y * 64 + x) * 3 + c] = static_cast<unsigned char>(40 + 200 * std::min(r, 1.0));
    }
  }
  ASSERT_TRUE(data::write_png(home.file("env.png").c_str(), sky.data(), 64, 64, 3, false));
  race::g_track.lighting.sky_env = "@env.png";
  const unsigned char grey[4] = {160, 160, 160, 255};
  const unsigned char upwards[4] = {128, 38, 218, 255};  // 45 degrees towards +y
  for (const char* name : {"glass.png", "bent.png"}) picture(name, grey);
  picture("bent_norm.png", upwards);
  const float sun[3] = {0, 1, 1};
  const double straight = brightness("glass.png", sun, true, "@mirror.jm");
  const double bent = brightness("bent.png", sun, true, "@mirror.jm");
  EXPECT_GT(straight, 20);
  EXPECT_GT(std::fabs(bent - straight), 20);
}

}  // namespace
