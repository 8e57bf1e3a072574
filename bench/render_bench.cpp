// render_bench.cpp -- drawing a 5,000-triangle model 100 times a frame at 1280 x 720 on the
// offscreen (software) renderer: programs on and off, display lists against vertex arrays.
#include <GL/gl.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "bench_support.h"
#include "platform/platform.h"
#include "render/render.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

bool make_context() {
  static const bool made = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("TAVO_LOGFILE", "/dev/null", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_Window* window = SDL_CreateWindow("render bench", 0, 0, kWidth, kHeight,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window || !SDL_GL_CreateContext(window)) return false;
    render::probe_capabilities();
    return true;
  }();
  return made;
}

// A UV sphere of 50 x 50 quads: 5,000 triangles.
std::string sphere_jm() {
  const int slices = 50, stacks = 50;
  std::string out = "JM1\n32 1 1 1 1 " + std::to_string((slices + 1) * (stacks + 1)) + " " +
                    std::to_string(slices * stacks * 2) + "\n";
  char line[200];
  for (int j = 0; j <= stacks; ++j) {
    const double lat = std::numbers::pi * (static_cast<double>(j) / stacks - 0.5);
    for (int i = 0; i <= slices; ++i) {
      const double lon = 2 * std::numbers::pi * i / slices;
      const double x = std::cos(lat) * std::sin(lon), y = std::sin(lat),
                   z = std::cos(lat) * std::cos(lon);
      std::snprintf(line, sizeof line, "%f %f %f %f %f %f %f %f\n", x, y, z, x, y, z,
                    static_cast<double>(i) / slices, static_cast<double>(j) / stacks);
      out += line;
    }
  }
  for (int j = 0; j < stacks; ++j) {
    for (int i = 0; i < slices; ++i) {
      const int a = j * (slices + 1) + i, b = a + 1, c = a + slices + 1, d = c + 1;
      out += std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(d) + "\n" +
             std::to_string(a) + " " + std::to_string(d) + " " + std::to_string(c) + "\n";
    }
  }
  return out;
}

// Arguments: shaders (0/1), display lists (0/1; 0 draws through client vertex arrays).
void BM_Draw100Models(benchmark::State& state) {
  if (!make_context()) {
    state.SkipWithError("no OpenGL context");
    return;
  }
  static bench_support::BenchFolder folder;
  folder.write("ball.jm", sphere_jm());
  folder.use_as_data();
  const bool shaders = state.range(0) != 0;
  render::release_programs();
  render::g_render_settings.use_shaders = shaders;
  if (shaders && !render::build_programs()) {
    state.SkipWithError("no shader programs");
    return;
  }
  render::Model* model = render::load_model("@ball.jm");
  if (!model) {
    state.SkipWithError("model not loaded");
    return;
  }
  if (state.range(1) == 0) {
    for (render::Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
      if (mesh->display_list) glDeleteLists(mesh->display_list, 1);
      mesh->display_list = 0;
    }
  }
  for (auto _ : state) {
    render::draw_model_view(model, 0, nullptr, kWidth, kHeight);
    render::use_program(shaders ? render::kProgramLit : render::kProgramFixed);
    glEnable(GL_LIGHTING);
    for (int i = 1; i < 100; ++i) {
      glPushMatrix();
      glTranslatef(static_cast<float>(i % 10 - 5) * 0.25f, static_cast<float>(i / 10 - 5) * 0.2f,
                   -0.1f * static_cast<float>(i % 7));
      glScalef(0.2f, 0.2f, 0.2f);
      render::draw_model(model, nullptr);
      glPopMatrix();
    }
    render::use_program(render::kProgramFixed);
    glFinish();
  }
  state.counters["triangles_per_frame"] = 100.0 * 5000.0;
  render::model_free(model);
  render::release_programs();
}
BENCHMARK(BM_Draw100Models)
    ->ArgNames({"shaders", "display_lists"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
