// model_maps.cpp -- drawing a model with its normal and specular maps: which program, and the
// maps on texture units 1 and 2.
#include <GL/gl.h>
#include <GL/glext.h>

#include "render/render.h"
#include "render/render_internal.h"

namespace render {

unsigned flat_normal_map() {
  static unsigned texture = 0;
  if (texture && glIsTexture(texture)) return texture;
  const unsigned char up[3] = {128, 128, 255};
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, up);
  return texture;
}

int model_program(bool normal_map, bool specular_map) {
  if (!shaders_active() || g_render_settings.flat_shading) return kProgramFixed;
  if (specular_map) return kProgramNormSpecLit;
  return normal_map ? kProgramNormLit : kProgramLit;
}

void begin_model_maps(unsigned normal_map, unsigned specular_map) {
  const int program = model_program(normal_map != 0, specular_map != 0);
  use_program(program);
  if (program != kProgramNormLit && program != kProgramNormSpecLit) return;
  // Units 1 and 2 only: the colour texture the caller bound on unit 0 stays.
  g_gl.ActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, normal_map ? normal_map : flat_normal_map());
  if (program == kProgramNormSpecLit) {
    g_gl.ActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, specular_map);
  }
  g_gl.ActiveTexture(GL_TEXTURE0);
}

void end_model_maps() {
  const int program = current_program();
  if (program == kProgramNormLit || program == kProgramNormSpecLit) {
    for (GLenum unit : {GL_TEXTURE2, GL_TEXTURE1}) {
      g_gl.ActiveTexture(unit);
      glBindTexture(GL_TEXTURE_2D, 0);
    }
    g_gl.ActiveTexture(GL_TEXTURE0);
  }
  use_program(model_program(false, false));
}

}  // namespace render
