// gl_setup.cpp -- the GL driver's strings, the initial GL state and reading frames back.
#include <GL/gl.h>

#include "platform/platform.h"
#include "render/render.h"

namespace render {

namespace {

const char* gl_text(GLenum name) {
  const GLubyte* text = glGetString(name);
  return text ? reinterpret_cast<const char*>(text) : "";
}

}  // namespace

void gl_startup(bool flat_shading) {
  platform::log("GL_VENDOR: %s\n", gl_text(GL_VENDOR));
  platform::log("GL_RENDERER: %s\n", gl_text(GL_RENDERER));
  platform::log("GL_VERSION: %s\n", gl_text(GL_VERSION));
  platform::log("GL_EXTENSIONS: %s\n", gl_text(GL_EXTENSIONS));
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
