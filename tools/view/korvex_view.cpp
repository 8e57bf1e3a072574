// korvex_view.cpp -- the model viewer: korvex-view MODEL [--texture NAME] [--shaders on|off]
// [--out FILE.png] draws a .jm model lit from a fixed three-quarter view into a PNG.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "render/render.h"

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 512;

int usage() {
  std::fprintf(stderr,
               "usage: korvex-view MODEL [--texture NAME] [--shaders on|off] [--out FILE.png]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* model_name = nullptr;
  const char* texture_name = nullptr;
  std::string out = "view.png";
  bool shaders = true;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--texture") == 0 && has_value) {
      texture_name = argv[++i];
    } else if (std::strcmp(argv[i], "--shaders") == 0 && has_value) {
      const char* value = argv[++i];
      if (std::strcmp(value, "on") != 0 && std::strcmp(value, "off") != 0) return usage();
      shaders = std::strcmp(value, "on") == 0;
    } else if (std::strcmp(argv[i], "--out") == 0 && has_value) {
      out = argv[++i];
    } else if (argv[i][0] != '-' && !model_name) {
      model_name = argv[i];
    } else {
      return usage();
    }
  }
  if (!model_name) return usage();

  if (!platform::create_window("korvex-view", kWidth, kHeight, 32, 24, false)) {
    std::fprintf(stderr, "korvex-view: no OpenGL window: %s\n", platform::last_platform_error());
    return 1;
  }
  for (int poll = 0; poll < 100 && !platform::window_ready(); ++poll) {
  }
  render::g_render_settings.use_shaders = shaders;
  render::gl_startup(false);
  if (shaders && !render::shaders_active()) {
    std::fprintf(stderr, "korvex-view: shader programs unavailable, drawing without them\n");
  }
  render::Model* model = render::model_request(model_name);
  if (!model) {
    std::fprintf(stderr, "korvex-view: Warning: Can't load %.900s\n", model_name);
    platform::close_window();
    return 1;
  }
  const unsigned texture = texture_name ? data::texture_load(texture_name) : 0;
  if (texture_name && !texture) {
    std::fprintf(stderr, "korvex-view: can't load texture %s\n", texture_name);
  }
  int width = 0, height = 0;
  platform::window_size(&width, &height);
  if (width <= 0 || height <= 0) width = kWidth, height = kHeight;
  render::draw_model_view(model, texture, nullptr, width, height);
  std::vector<unsigned char> rgb;
  render::read_frame_rgb(width, height, rgb);
  const bool written = data::write_png(out.c_str(), rgb.data(), width, height, 3, true);
  render::model_cache_clear();
  render::release_programs();
  platform::close_window();
  if (!written) {
    std::fprintf(stderr, "korvex-view: can't write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
