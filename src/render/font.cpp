// font.cpp -- bitmap fonts: marker-cell images, colour escapes, layout and drawing.
#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/data.h"
#include "platform/platform.h"
#include "render/render.h"
#include "render/render_internal.h"

namespace render {

Font g_font_text;
Font g_font_digits;
Font g_font_condensed;

const float kTextPalette[16][4] = {
    {0, 0, 0, 1},     {0.75f, 0, 0, 1},     {0, 0.75f, 0, 1},     {0.75f, 0.75f, 0, 1},
    {0, 0, 0.75f, 1}, {0.75f, 0, 0.75f, 1}, {0, 0.75f, 0.75f, 1}, {0.75f, 0.75f, 0.75f, 1},
    {0, 0, 0, 1},     {1, 0, 0, 1},         {0, 1, 0, 1},         {1, 1, 0, 1},
    {0, 0, 1, 1},     {1, 0, 1, 1},         {0, 1, 1, 1},         {1, 1, 1, 1},
};

namespace {

constexpr int kMaxEscapeParameters = 64;
constexpr float kNoGlyphAdvance = 0.6666667f;

bool is_marker(const unsigned char* rgba, int width, int x, int y, const unsigned char* marker) {
  return std::memcmp(rgba + (static_cast<std::size_t>(y) * width + x) * 4, marker, 4) == 0;
}

// The walking state of one string.
struct Pen {
  float x = 0, y = 0;
  int colour = 0;      // palette index, bit 3 the bright flag
  bool caller = true;  // use the caller's colour
};

// Applies one escape sequence at `text` (just after the escape byte); returns the byte after it.
const unsigned char* escape(const unsigned char* text, Pen& pen, bool shadow, bool ignore) {
  const unsigned char* start = text;
  const bool bracket = *text == '[';
  if (bracket) ++text;
  while (*text && !(*text >= '@' && *text <= '~')) ++text;
  const unsigned char final_byte = *text;
  const unsigned char* end = *text ? text + 1 : text;
  if (ignore || !bracket || final_byte != 'm') return end;
  int parameters[kMaxEscapeParameters];
  int count = 0;
  const unsigned char* p = start + 1;
  while (p < text && count < kMaxEscapeParameters) {
    int value = 0;
    bool digits = false;
    while (p < text && *p >= '0' && *p <= '9') {
      if (value < 100000) value = value * 10 + (*p - '0');
      digits = true;
      ++p;
    }
    if (digits) parameters[count++] = value;
    while (p < text && !(*p >= '0' && *p <= '9')) ++p;
  }
  if (count == 0) {
    pen.caller = true;
    pen.colour &= 7;
  }
  for (int i = 0; i < count; ++i) {
    const int n = parameters[i];
    if (n == 0) {
      pen.caller = true;
      pen.colour &= 7;
    } else if (n == 1) {
      pen.colour |= 8;
    } else if (n == 22) {
      pen.colour &= 7;
    } else if (n >= 30 && n <= 37 && !shadow) {
      pen.colour = (pen.colour & 8) | (n - 30);
      pen.caller = false;
    } else if (n >= 40 && n <= 47 && shadow) {
      pen.colour = (pen.colour & 8) | (n - 40);
      pen.caller = false;
    }
  }
  return end;
}

// Walks `text` moving the pen; calls `glyph` for every drawn byte. Shared by layout and width.
template <typename OnGlyph>
void walk(const Font& font, const char* text, Pen& pen, bool shadow, bool ignore, OnGlyph&& glyph) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r') ++s;
  const float space = font.glyphs[static_cast<unsigned char>(' ')].advance;
  while (*s) {
    const unsigned char c = *s++;
    if (c == 27) {
      s = escape(s, pen, shadow, ignore);
    } else if (c == ' ') {
      pen.x += space;
    } else if (c == '\t') {
      const float stop = 8.0f * space;
      if (stop > 0.0f) {
        float next = (std::floor(pen.x / stop) + 1.0f) * stop;
        if (next <= pen.x) next += stop;
        pen.x = next;
      }
    } else if (c == '\r') {
      pen.x = 0.0f;
    } else if (c == '\n') {
      pen.x = 0.0f;
      pen.y -= 1.0f;
    } else {
      glyph(c);
      pen.x += font.glyphs[c].advance;
    }
  }
}

void gl_flush(const TextQuad* quads, int count, void*) {
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < count; ++i) {
    const TextQuad& q = quads[i];
    glColor4fv(q.rgba);
    // Two triangles; texture v runs from the image's top, the quad's top is y1.
    const float corners[6][4] = {{q.x0, q.y0, q.u0, q.v1}, {q.x1, q.y0, q.u1, q.v1},
                                 {q.x1, q.y1, q.u1, q.v0}, {q.x0, q.y0, q.u0, q.v1},
                                 {q.x1, q.y1, q.u1, q.v0}, {q.x0, q.y1, q.u0, q.v0}};
    for (const auto& c : corners) {
      glTexCoord2f(c[2], c[3]);
      glVertex2f(c[0], c[1]);
    }
  }
  glEnd();
}

void draw_with_gl(const Font& font, const char* text, float x, float y, const float rgba[4],
                  bool shadow) {
  if (!font.texture) return;
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, font.texture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  lay_out_text(font, text, x, y, rgba, shadow, false, gl_flush, nullptr);
  glPopAttrib();
}

}  // namespace

void font_from_image(Font& font, unsigned char* rgba, int width, int height,
                     const char* characters) {
  for (Glyph& g : font.glyphs) g = Glyph{};
  if (!rgba || width <= 0 || height <= 0) return;
  unsigned char marker[4];
  std::memcpy(marker, rgba, 4);
  const unsigned char* next = reinterpret_cast<const unsigned char*>(characters);
  // A band starts at every marker pixel of the left column; its top row marks the cell edges.
  for (int top = 0; top < height && *next;) {
    int bottom = top + 1;
    while (bottom < height && !is_marker(rgba, width, 0, bottom, marker)) ++bottom;
    const int band_height = bottom - top - 1;
    if (band_height > 0) {
      for (int left = 0; left < width && *next;) {
        int right = left + 1;
        while (right < width && !is_marker(rgba, width, right, top, marker)) ++right;
        const int cell_width = right - left - 1;
        if (cell_width > 0) {
          Glyph& g = font.glyphs[*next++];
          g.u0 = static_cast<float>(left + 1) / width;
          g.u1 = static_cast<float>(right) / width;
          g.v0 = static_cast<float>(top + 1) / height;
          g.v1 = static_cast<float>(bottom) / height;
          g.advance = static_cast<float>(cell_width) / band_height;
        }
        left = right;
      }
    }
    top = bottom;
  }
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
    if (std::memcmp(rgba + i * 4, marker, 4) == 0) std::memset(rgba + i * 4, 0, 4);
  }
}

bool font_load(Font& font, const char* image_name, const char* characters) {
  font = Font{};
  int width = 0, height = 0;
  const unsigned char* pixels = nullptr;
  const char* name = image_name[0] == '!' ? image_name + 1 : image_name;
  if (!data::image_load(name, &width, &height, &pixels) || width <= 0 || height <= 0) {
    platform::log("Can't open font '%.512s'\n", image_name);
    return false;
  }
  const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
  unsigned char* copy = static_cast<unsigned char*>(platform::xmalloc(bytes));
  std::memcpy(copy, pixels, bytes);
  font_from_image(font, copy, width, height, characters);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, copy);
  std::free(copy);
  font.texture = texture;
  return true;
}

void fonts_load() {
  font_load(g_font_text, "@font.png",
            "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
            "abcdefghijklmnopqrstuvwxyz{|}~");
  font_load(g_font_digits, "@numbers.png", "0123456789");
  font_load(g_font_condensed, "@numbers-condensed.png", "0123456789");
}

void lay_out_text(const Font& font, const char* text, float x, float y, const float rgba[4],
                  bool shadow, bool ignore_escapes, TextFlush flush, void* context) {
  if (!text) return;
  TextQuad batch[kTextBatchQuads];
  int count = 0;
  Pen pen;
  pen.x = x;
  pen.y = y;
  walk(font, text, pen, shadow, ignore_escapes, [&](unsigned char c) {
    const Glyph& g = font.glyphs[c];
    TextQuad& q = batch[count++];
    q = {pen.x, pen.y, pen.x + g.advance, pen.y + 1.0f, g.u0, g.v0, g.u1, g.v1, {}};
    if (pen.caller) {
      const float lift = (pen.colour & 8) ? 0.25f : 0.0f;
      for (int k = 0; k < 3; ++k) q.rgba[k] = rgba[k] + lift > 1.0f ? 1.0f : rgba[k] + lift;
    } else {
      for (int k = 0; k < 3; ++k) q.rgba[k] = kTextPalette[pen.colour][k];
    }
    q.rgba[3] = rgba[3];
    if (count == kTextBatchQuads) {
      flush(batch, count, context);
      count = 0;
    }
  });
  if (count) flush(batch, count, context);
}

float text_width(const Font& font, const char* text) {
  if (!text) return 0.0f;
  Pen pen;
  walk(font, text, pen, false, false, [](unsigned char) {});
  return pen.x;
}

void draw_text(const Font& font, const char* text, float r, float g, float b, float a) {
  const float rgba[4] = {r, g, b, a};
  draw_with_gl(font, text, 0.0f, 0.0f, rgba, false);
}

void draw_text_white(const Font& font, const char* text) { draw_text(font, text, 1, 1, 1, 1); }

void draw_text_shadowed(const Font& font, const char* text, float r, float g, float b, float a) {
  const float shadow[4] = {0, 0, 0, a * 0.5f};
  draw_with_gl(font, text, 0.0625f, -0.0625f, shadow, true);
  const float rgba[4] = {r, g, b, a};
  draw_with_gl(font, text, 0.0f, 0.0f, rgba, false);
}

void draw_text_shadowed(const Font& font, const char* text, float a) {
  draw_text_shadowed(font, text, 0.75f, 0.75f, 0.75f, a);
}

void draw_text_centred(const Font& font, const char* text, float left, float right, float r,
                       float g, float b, float a) {
  const float rgba[4] = {r, g, b, a};
  draw_with_gl(font, text, left + (right - left - text_width(font, text)) / 2.0f, 0.0f, rgba,
               false);
}

}  // namespace render

namespace render {

void push_pixel_projection(float width, float height) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, width, 0, height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
}

void pop_pixel_projection() {
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

void draw_screen_line(const char* text, float centre_y, float height_fraction) {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  const float width = static_cast<float>(viewport[2]), height = static_cast<float>(viewport[3]);
  if (!(width > 0) || !(height > 0) || !g_font_text.texture) return;
  const float size = height * height_fraction;  // pixels per text height
  push_pixel_projection(width, height);
  glTranslatef(0, height * centre_y - size / 2, 0);
  glScalef(size, size, 1);
  glPushAttrib(GL_DEPTH_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  const float span = width / size;
  const float shadow[4] = {0, 0, 0, 0.5f};
  draw_with_gl(g_font_text, text, (span - text_width(g_font_text, text)) / 2 + 0.0625f, -0.0625f,
               shadow, true);
  const float white[4] = {1, 1, 1, 1};
  draw_with_gl(g_font_text, text, (span - text_width(g_font_text, text)) / 2, 0, white, false);
  glPopAttrib();
  pop_pixel_projection();
}

}  // namespace render
