// model_render_test.cpp -- models drawn with the programs and with fixed function agree.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/data.h"
#include "gl_fixture.h"
#include "render/render.h"

namespace {

using gl_fixture::compare;
using gl_fixture::covered;
using gl_fixture::kSize;
using gl_fixture::read_frame;

class ModelRenderTest : public gl_fixture::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const std::vector<unsigned char> pixels = gl_fixture::checker();
    ASSERT_TRUE(data::write_png(home.file("checker.png").c_str(), pixels.data(), 64, 64, 3, false));
    texture = data::texture_load("@checker.png");
    ASSERT_NE(texture, 0u);
  }
  // Draws the model file with or without the programs; the model is loaded in that mode
  // because display lists are recorded for it.
  std::vector<unsigned char> draw(const std::string& jm, bool shaders, const render::BonePose* pose,
                                  bool vertex_arrays = true) {
    render::release_programs();
    render::g_render_settings.use_shaders = shaders;
    render::g_render_settings.vertex_arrays = vertex_arrays;
    if (shaders) {
      EXPECT_TRUE(render::build_programs());
    }
    home.write("model.jm", jm);
    render::Model* model = render::load_model("@model.jm");
    EXPECT_NE(model, nullptr);
    render::draw_model_view(model, texture, pose, kSize, kSize);
    std::vector<unsigned char> rgb = read_frame();
    render::model_free(model);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return rgb;
  }
  unsigned texture = 0;
};

TEST_F(ModelRenderTest, ProgramsAndFixedFunctionDrawTheSamePicture) {
  // Bone 1 (the upper half) turns 0.6 rad about z round the centre and rises 0.3 ft.
  const float c = std::cos(0.6f), s = std::sin(0.6f);
  const float centres[6] = {0, 0, 0, 0, 0, 0};
  const float translations[6] = {0, 0, 0, 0, 0.3f, 0};
  const float rotations[18] = {1, 0, 0, 0, 1, 0, 0, 0, 1, c, -s, 0, s, c, 0, 0, 0, 1};
  const render::BonePose pose = {2, centres, translations, rotations};
  const struct {
    const char* name;
    bool bones;
    const render::BonePose* pose;
  } cases[] = {{"lit", false, nullptr}, {"skinned", true, &pose}};
  for (const auto& k : cases) {
    const std::string jm = gl_fixture::sphere_jm(k.bones);
    const std::vector<unsigned char> programs = draw(jm, true, k.pose);
    const std::vector<unsigned char> fixed = draw(jm, false, k.pose);
    const std::vector<unsigned char> immediate = draw(jm, false, k.pose, false);
    gl_fixture::keep_picture(std::string(k.name) + "_shaders.png", programs);
    gl_fixture::keep_picture(std::string(k.name) + "_fixed.png", fixed);
    EXPECT_GT(covered(programs), 8000) << k.name;
    const gl_fixture::Difference d = compare(programs, fixed);
    EXPECT_LT(d.mean, 4.0) << k.name;
    EXPECT_LT(d.far_share, 0.02) << k.name;
    const gl_fixture::Difference same = compare(fixed, immediate);
    EXPECT_LT(same.mean, 0.5) << k.name << ": immediate mode against vertex arrays";
  }
  // The pose must show: the skinned sphere differs from its bind pose on both paths.
  const std::string jm = gl_fixture::sphere_jm(true);
  for (const bool shaders : {true, false}) {
    const gl_fixture::Difference moved =
        compare(draw(jm, shaders, &pose), draw(jm, shaders, nullptr));
    EXPECT_GT(moved.far_share, 0.05) << (shaders ? "programs" : "fixed function");
  }
}

// A sphere whose only mesh is reflective: the normal pass stops before it, and the
// reflection pass maps the same environment on both paths.
TEST_F(ModelRenderTest, ReflectionPassAgreesOnBothPaths) {
  std::vector<unsigned char> gradient(64 * 64 * 3);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      unsigned char* p = &gradient[(y * 64 + x) * 3];
      p[0] = static_cast<unsigned char>(x * 4), p[1] = static_cast<unsigned char>(y * 4);
      p[2] = 160;
    }
  }
  ASSERT_TRUE(data::write_png(home.file("sky.png").c_str(), gradient.data(), 64, 64, 3, false));
  const unsigned sky = data::texture_load("@sky.png");
  ASSERT_NE(sky, 0u);
  std::string reflective = gl_fixture::sphere_jm(false, 64, 48);
  reflective.replace(reflective.find("32 1 1 1 1"), 10, "-1 0.8 1 1 1");
  home.write("shiny.jm", reflective);
  const float env[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0};  // the map's pole along model z
  std::vector<unsigned char> pictures[2];
  for (const bool shaders : {true, false}) {
    render::release_programs();
    render::g_render_settings.use_shaders = shaders;
    if (shaders) {
      ASSERT_TRUE(render::build_programs());
    }
    render::Model* model = render::load_model("@shiny.jm");
    ASSERT_NE(model, nullptr);
    EXPECT_TRUE(model->has_reflective);
    render::g_draw_counters = {};
    render::draw_model_view(model, texture, nullptr, kSize, kSize);  // draws nothing
    EXPECT_EQ(render::g_draw_counters.model_polygons, 0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, sky);
    render::draw_model_reflection(model, nullptr, env);
    EXPECT_EQ(render::g_draw_counters.model_polygons, 64 * 48 * 2);
    pictures[shaders ? 0 : 1] = read_frame();
    render::model_free(model);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
  gl_fixture::keep_picture("reflection_shaders.png", pictures[0]);
  gl_fixture::keep_picture("reflection_fixed.png", pictures[1]);
  EXPECT_GT(covered(pictures[0]), 8000);
  const gl_fixture::Difference d = compare(pictures[0], pictures[1]);
  EXPECT_LT(d.mean, 4.0);
  EXPECT_LT(d.far_share, 0.02);
}

}  // namespace
