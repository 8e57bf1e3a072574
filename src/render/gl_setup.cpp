// gl_setup.cpp -- GL start-up (probe, strings, programs), initial state, frame read-back.
#include <GL/gl.h>

#include "platform/platform.h"
#include "render/render.h"

namespace render {

void gl_startup(bool flat_shading) {
  probe_capabilities();
  platform::log("GL_VENDOR: %s\n", g_gl_caps.vendor.c_str());
  platform::log("GL_RENDERER: %s\n", g_gl_caps.renderer.c_str());
  platform::log("GL_VERSION: %s\n", g_gl_caps.version.c_str());
  platform::log("GL_EXTENSIONS: %s\n", g_gl_caps.extensions.c_str());
  // Without the programs every model falls back to fixed-function lighting.
  if (g_render_settings.use_shaders) build_programs();
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(0.196078f, 0.6f, 0.8f, 0.0f);
  glEnable(GL_CULL_FACE);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (flat_shading) glShadeModel(GL_FLAT);
}

// Until the scene is drawn, a frame is the clear colour: the sky's blue.
void draw_frame(int, bool) { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

void read_frame_rgb(int width, int height, std::vector<unsigned char>& rgb) {
  rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  if (rgb.empty()) return;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

void finish() { glFinish(); }

}  // namespace render
