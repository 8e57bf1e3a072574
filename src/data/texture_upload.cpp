// texture_upload.cpp -- the OpenGL texture device: levels, wrap, filters, compression, border.
#include <GL/gl.h>
#include <GL/glext.h>  // GL_COMPRESSED_*_ARB and the compressed-size query

#include <cstddef>

#include "data/data.h"
#include "data/data_internal.h"

namespace data {

namespace {

int half(int side) { return side > 1 ? side / 2 : 1; }

// Walks the chain from level `first` on, calling visit(level - first, width, height, pixels).
template <class Visit>
void for_each_level(const Image& image, int first, bool all, Visit visit) {
  int width = image.width;
  int height = image.height;
  const unsigned char* pixels = image.pixels;
  for (int level = 0;; ++level) {
    if (level >= first) {
      visit(level - first, width, height, pixels);
      if (!all) return;
    }
    if (width == 1 && height == 1) return;
    pixels += static_cast<std::size_t>(width) * height * image.channels;
    width = half(width);
    height = half(height);
  }
}

// The bytes a level takes, as the driver reports them.
long level_memory(int level) {
  GLint compressed = GL_FALSE;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED_ARB, &compressed);
  if (compressed) {
    GLint size = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &size);
    return size;
  }
  GLint width = 0;
  GLint height = 0;
  GLint bits = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
  for (GLenum component :
       {GL_TEXTURE_RED_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE, GL_TEXTURE_ALPHA_SIZE}) {
    GLint size = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, component, &size);
    bits += size;
  }
  return static_cast<long>(width) * height * bits / 8;
}

void clear_gl_errors() {
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

unsigned gl_create(const Image& image, const TextureUpload& upload, long* bytes) {
  *bytes = 0;
  GLuint id = 0;
  glGenTextures(1, &id);
  if (id == 0) return 0;
  glBindTexture(GL_TEXTURE_2D, id);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);  // RGB rows of odd width are not 4-byte aligned

  // Clamped textures clamp to the edge where the driver has it; plain clamp blends in the
  // border colour, which is why RGB textures get their border's own colour below. A driver
  // that lists clamp-to-edge and then refuses it gets nearest filtering instead.
  bool nearest = false;
  const GLint repeat[2] = {upload.repeat_s, upload.repeat_t};
  const GLenum wrap[2] = {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T};
  for (int i = 0; i < 2; ++i) {
    if (repeat[i]) {
      glTexParameteri(GL_TEXTURE_2D, wrap[i], GL_REPEAT);
      continue;
    }
    if (g_texture_settings.has_clamp_to_edge) {
      clear_gl_errors();
      glTexParameteri(GL_TEXTURE_2D, wrap[i], GL_CLAMP_TO_EDGE);
      if (glGetError() == GL_NO_ERROR) continue;
      nearest = true;
    }
    glTexParameteri(GL_TEXTURE_2D, wrap[i], GL_CLAMP);
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  GLint min_filter;
  if (upload.mipmaps) {
    min_filter = nearest ? GL_NEAREST_MIPMAP_NEAREST : GL_LINEAR_MIPMAP_NEAREST;
  } else {
    min_filter = nearest ? GL_NEAREST : GL_LINEAR;
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);

  const bool rgba = image.channels == 4;
  const GLenum format = rgba ? GL_RGBA : GL_RGB;
  GLint internal = rgba ? GL_RGBA : GL_RGB;
  if (upload.compress && g_texture_settings.has_compression) {
    internal = rgba ? GL_COMPRESSED_RGBA_ARB : GL_COMPRESSED_RGB_ARB;
  }
  if (!rgba) {
    float colour[4] = {0, 0, 0, 1};
    border_colour(image, colour);
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, colour);
  }
  for_each_level(image, upload.first_level, upload.mipmaps,
                 [&](int level, int width, int height, const unsigned char* pixels) {
                   glTexImage2D(GL_TEXTURE_2D, level, internal, width, height, 0, format,
                                GL_UNSIGNED_BYTE, pixels);
                   *bytes += level_memory(level);
                 });
  return id;
}

void gl_replace(unsigned texture, const Image& image, int first_level) {
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;
  for_each_level(image, first_level, true,
                 [&](int level, int width, int height, const unsigned char* pixels) {
                   glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, width, height, format,
                                   GL_UNSIGNED_BYTE, pixels);
                 });
}

void gl_destroy(unsigned texture) {
  const GLuint id = texture;
  glDeleteTextures(1, &id);
}

}  // namespace

const TextureDevice kGlTextureDevice = {gl_create, gl_replace, gl_destroy};

}  // namespace data
