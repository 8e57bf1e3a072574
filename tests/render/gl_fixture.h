// gl_fixture.h -- an offscreen GL context for the rendering tests, and small scene helpers.
#pragma once

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/data_internal.h"
#include "platform/log_internal.h"
#include "platform/platform.h"
#include "render/render.h"
#include "support/test_support.h"

namespace gl_fixture {

constexpr int kSize = 256;

// The one context of the process. It stays until the process ends: unloading the GL driver
// first would leave its allocations without a module name for the leak checker.
inline SDL_GLContext context() {
  static SDL_GLContext made = [] {
    SDL_GLContext c = nullptr;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return c;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_Window* window =
        SDL_CreateWindow("render test", 0, 0, kSize, kSize, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (window) c = SDL_GL_CreateContext(window);
    return c;
  }();
  return made;
}

// A data-folder test with a probed GL context and the log in a file of its own.
class GlTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    log_capture.start();
    render::g_render_settings = {};
    if (!context()) {
      const std::string why = std::string("no OpenGL context: ") + SDL_GetError();
      if (test_support::require_display()) GTEST_FAIL() << why;
      GTEST_SKIP() << why;
    }
    render::probe_capabilities();
  }
  void TearDown() override {
    render::model_cache_clear();
    data::texture_cache_reset_for_test();
    render::release_programs();
    render::set_program_source_for_test(render::kProgramNormSpecLit, nullptr, nullptr);
    render::g_render_settings = {};
    log_capture.stop();
    DataFoldersTest::TearDown();
  }
  std::string logged() { return log_capture.text(); }
  // A 16 x 16 picture of one colour (RGBA), written as `name` in the data folder.
  void picture(const std::string& name, const unsigned char rgba[4]) {
    std::vector<unsigned char> pixels(16 * 16 * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = rgba[i % 4];
    ASSERT_TRUE(data::write_png(home.file(name).c_str(), pixels.data(), 16, 16, 4, false));
  }
  test_support::LogCapture log_capture{"render.log"};
};

// A GL test whose data folder holds the build's own pack (a link to it), so every name is
// looked up as korvex does: the generated fonts, HUD pictures and tracks.
class GamePackGlTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(symlink(KORVEX_PACK, home.file("zzzz.saf").c_str()), 0);
    data::data_reset_for_test();
  }
};

// Clears the whole test viewport to the views' blue-grey, depth test off, with a projection
// of `units` x `units` text units (origin bottom left) and an identity model-view.
inline void begin_text_view(float units) {
  glViewport(0, 0, kSize, kSize);
  glClearColor(0.2f, 0.3f, 0.4f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, units, 0, units, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The frame as RGB rows, bottom first.
inline std::vector<unsigned char> read_frame() {
  std::vector<unsigned char> rgb;
  glFinish();
  render::read_frame_rgb(kSize, kSize, rgb);
  return rgb;
}

// Keeps a picture (RGB rows, bottom first) for people to look at, under the build tree.
inline void keep_picture(const std::string& name, const std::vector<unsigned char>& rgb,
                         int width = kSize, int height = kSize) {
  const std::string folder = std::string(KORVEX_BUILD_DIR) + "/test-artefacts/render/";
  data::make_directories(folder.c_str());
  data::write_png((folder + name).c_str(), rgb.data(), width, height, 3, true);
}

// Mean absolute channel difference, and the share of pixels with a channel off by more than 40.
struct Difference {
  double mean = 0;
  double far_share = 0;
};
inline Difference compare(const std::vector<unsigned char>& a,
                          const std::vector<unsigned char>& b) {
  Difference d;
  if (a.size() != b.size() || a.empty()) return {255, 1};
  long far = 0;
  for (std::size_t i = 0; i < a.size(); i += 3) {
    int worst = 0;
    for (int k = 0; k < 3; ++k) {
      const int delta = std::abs(a[i + k] - b[i + k]);
      d.mean += delta;
      worst = delta > worst ? delta : worst;
    }
    if (worst > 40) ++far;
  }
  d.mean /= static_cast<double>(a.size());
  d.far_share = static_cast<double>(far) / (a.size() / 3);
  return d;
}

// Pixels that differ from the view's clear colour.
inline int covered(const std::vector<unsigned char>& rgb) {
  int n = 0;
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    if (std::abs(rgb[i] - 51) + std::abs(rgb[i + 1] - 77) + std::abs(rgb[i + 2] - 102) > 6) ++n;
  }
  return n;
}

// A UV sphere of radius 1 as .jm text. With `bones`, version 2 with two bones: the upper
// half follows bone 1, the lower bone 0, blended across the equator.
inline std::string sphere_jm(bool bones, int slices = 24, int stacks = 16) {
  std::string out = bones ? "JM2 2 sphere\n" : "JM1\n";
  const int vertices = (slices + 1) * (stacks + 1);
  out +=
      "32 1 1 1 1 " + std::to_string(vertices) + " " + std::to_string(slices * stacks * 2) + "\n";
  char line[256];
  for (int j = 0; j <= stacks; ++j) {
    const double lat = M_PI * (static_cast<double>(j) / stacks - 0.5);
    for (int i = 0; i <= slices; ++i) {
      const double lon = 2 * M_PI * i / slices;
      const double x = std::cos(lat) * std::sin(lon), y = std::sin(lat),
                   z = std::cos(lat) * std::cos(lon);
      std::snprintf(line, sizeof line, "%.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f", x, y, z, x, y, z,
                    static_cast<double>(i) / slices, static_cast<double>(j) / stacks);
      out += line;
      if (bones) {
        const double up = std::fmin(std::fmax((y + 0.3) / 0.6, 0.0), 1.0);
        std::snprintf(line, sizeof line, " %.6f %.6f", 1.0 - up, up);
        out += line;
      }
      out += "\n";
    }
  }
  for (int j = 0; j < stacks; ++j) {
    for (int i = 0; i < slices; ++i) {
      const int a = j * (slices + 1) + i, b = a + 1, c = a + slices + 1, d = c + 1;
      out += std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(d) + "\n";
      out += std::to_string(a) + " " + std::to_string(d) + " " + std::to_string(c) + "\n";
    }
  }
  return out;
}

// An 8 x 8 checker of orange and pale blue, 64 pixels square, as RGB rows.
inline std::vector<unsigned char> checker() {
  std::vector<unsigned char> rgb(64 * 64 * 3);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const bool odd = ((x / 8) + (y / 8)) % 2;
      unsigned char* p = &rgb[(y * 64 + x) * 3];
      p[0] = odd ? 240 : 150;
      p[1] = odd ? 140 : 200;
      p[2] = odd ? 40 : 240;
    }
  }
  return rgb;
}

}  // namespace gl_fixture
