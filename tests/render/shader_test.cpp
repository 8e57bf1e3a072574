// shader_test.cpp -- the capability probe, building the programs, slot switching and fallback.
#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <string>

#include "gl_fixture.h"
#include "render/render.h"

namespace {

TEST(ExtensionTest, NamesMatchOnlyAsWholeWords) {
  const struct {
    const char* extensions;
    bool present;
  } cases[] = {
      {"GL_ARB_vertex_shader", true},
      {"GL_ARB_multitexture GL_ARB_vertex_shader", true},
      {"GL_ARB_vertex_shader GL_ARB_multitexture", true},
      {"GL_A GL_ARB_vertex_shader GL_B ", true},
      {"GL_ARB_vertex_shader_tessellator GL_ARB_multitexture", false},
      {"XGL_ARB_vertex_shader", false},
      {"GL_ARB_vertex_shader_tessellator GL_ARB_vertex_shader", true},
      {"", false},
      {nullptr, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(render::has_extension(c.extensions, "GL_ARB_vertex_shader"), c.present)
        << (c.extensions ? c.extensions : "(null)");
  }
}

using ShaderTest = gl_fixture::GlTest;

TEST_F(ShaderTest, ProbeFindsTheShaderExtensionsOnTheSoftwareRenderer) {
  EXPECT_TRUE(render::g_gl_caps.multitexture);
  EXPECT_TRUE(render::g_gl_caps.vertex_shader);
  EXPECT_TRUE(render::g_gl_caps.fragment_shader);
  EXPECT_GE(render::g_gl_caps.version_major, 2);
  EXPECT_GE(render::g_gl_caps.texture_units, 4);
  EXPECT_NE(logged().find(std::to_string(render::g_gl_caps.texture_units) + " texture units\n"),
            std::string::npos);
}

TEST_F(ShaderTest, BuildsEverySlotAndCountsOnlyRealSwitches) {
  ASSERT_TRUE(render::build_programs());
  EXPECT_TRUE(render::shaders_active());
  EXPECT_EQ(render::current_program(), render::kProgramFixed);
  for (int slot = 1; slot < render::kProgramSlots; ++slot) EXPECT_NE(render::program_of(slot), 0u);
  EXPECT_EQ(render::program_of(0), 0u);
  EXPECT_EQ(render::program_of(8), 0u);

  render::reset_shader_changes();
  render::set_bone_pose(0, nullptr, nullptr, nullptr);  // slot 0: nothing to do
  render::use_program(8);
  render::use_program(-1);
  render::use_program(render::kProgramFixed);
  EXPECT_EQ(render::shader_changes(), 0);
  render::use_program(render::kProgramLit);
  render::use_program(render::kProgramLit);
  EXPECT_EQ(render::shader_changes(), 1);
  const float centre[3] = {0, 0, 0}, move[3] = {1, 0, 0};
  const float turn[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  render::set_bone_pose(1, centre, move, turn);
  const float env[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  render::set_env_matrix(env);  // through slots 2 and 4, back to 0
  EXPECT_EQ(render::current_program(), render::kProgramFixed);
  EXPECT_EQ(render::shader_changes(), 4);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  render::g_render_settings.use_shaders = false;
  EXPECT_FALSE(render::shaders_active());
}

// A driver that refuses slot 5: its info log reaches the log, nothing stays alive, and
// models are still drawn, by fixed function.
TEST_F(ShaderTest, AFailedCompileLogsAndFallsBackToFixedFunction) {
  render::set_program_source_for_test(render::kProgramNormSpecLit, nullptr,
                                      "#define MAX_BONE 10\nvoid main() { this is wrong; }\n");
  EXPECT_FALSE(render::build_programs());
  EXPECT_FALSE(render::shaders_active());
  for (int slot = 0; slot < render::kProgramSlots; ++slot) EXPECT_EQ(render::program_of(slot), 0u);
  auto is_program = reinterpret_cast<GLboolean (*)(GLuint)>(SDL_GL_GetProcAddress("glIsProgram"));
  auto is_shader = reinterpret_cast<GLboolean (*)(GLuint)>(SDL_GL_GetProcAddress("glIsShader"));
  ASSERT_TRUE(is_program && is_shader);
  for (GLuint name = 1; name < 256; ++name) {
    EXPECT_FALSE(is_program(name)) << name;
    EXPECT_FALSE(is_shader(name)) << name;
  }

  home.write("ball.jm", gl_fixture::sphere_jm(false));
  render::Model* model = render::model_request("@ball.jm");
  ASSERT_NE(model, nullptr);
  render::draw_model_view(model, 0, nullptr, gl_fixture::kSize, gl_fixture::kSize);
  EXPECT_GT(gl_fixture::covered(gl_fixture::read_frame()), 2000);
  const std::string log = logged();
  EXPECT_NE(log.find("fragment shader status for norm_spec_lit:\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("for terrain_normals"), std::string::npos);
}

}  // namespace
