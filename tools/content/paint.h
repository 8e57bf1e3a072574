// paint.h -- painting the bike and rider textures: blends, gradients, polygons, stencil digits.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "content/content.h"

namespace content {

inline Rgba mix(Rgba a, Rgba b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
          a.a + (b.a - a.a) * t};
}
inline Rgba shade(Rgba c, float f) { return {c.r * f, c.g * f, c.b * f, c.a}; }

inline void put(Picture& p, int x, int y, Rgba c, float coverage = 1) {
  if (x < 0 || y < 0 || x >= p.width || y >= p.height || coverage <= 0) return;
  unsigned char* px = p.at(x, y);
  const float a = std::min(coverage, 1.0f) * c.a / 255.0f;
  const float rgb[3] = {c.r, c.g, c.b};
  for (int k = 0; k < 3; ++k) {
    px[k] =
        static_cast<unsigned char>(std::clamp(std::lround(px[k] + (rgb[k] - px[k]) * a), 0L, 255L));
  }
  if (p.channels == 4)
    px[3] =
        static_cast<unsigned char>(std::clamp(std::lround(px[3] + (255 - px[3]) * a), 0L, 255L));
}

// Colours every pixel of [x0, x1) x [y0, y1) by `paint(x, y)`, in the
// rectangle's own 0..1 coordinates (s across, t down).
inline void paint_rect(Picture& p, int x0, int y0, int x1, int y1,
                       const std::function<Rgba(float s, float t)>& paint) {
  for (int y = std::max(y0, 0); y < std::min(y1, p.height); ++y) {
    for (int x = std::max(x0, 0); x < std::min(x1, p.width); ++x) {
      const float s = (x + 0.5f - x0) / static_cast<float>(x1 - x0);
      const float t = (y + 0.5f - y0) / static_cast<float>(y1 - y0);
      put(p, x, y, paint(s, t));
    }
  }
}

// Top-to-bottom gradient.
inline void gradient(Picture& p, int x0, int y0, int x1, int y1, Rgba top, Rgba bottom) {
  paint_rect(p, x0, y0, x1, y1, [&](float, float t) { return mix(top, bottom, t); });
}

// A filled polygon of (x, y) pixel points, clipped to [x0, x1) x [y0, y1);
// edges smoothed by 4 x 4 samples a pixel.
inline void fill_polygon(Picture& p, const std::vector<float>& points, Rgba colour, int x0 = 0,
                         int y0 = 0, int x1 = 1 << 20, int y1 = 1 << 20) {
  const int count = static_cast<int>(points.size() / 2);
  float lo_x = 1e9f, lo_y = 1e9f, hi_x = -1e9f, hi_y = -1e9f;
  for (int i = 0; i < count; ++i) {
    lo_x = std::min(lo_x, points[2 * i]);
    hi_x = std::max(hi_x, points[2 * i]);
    lo_y = std::min(lo_y, points[2 * i + 1]);
    hi_y = std::max(hi_y, points[2 * i + 1]);
  }
  const int ax = std::max({x0, 0, static_cast<int>(std::floor(lo_x))});
  const int bx = std::min({x1, p.width, static_cast<int>(std::ceil(hi_x)) + 1});
  const int ay = std::max({y0, 0, static_cast<int>(std::floor(lo_y))});
  const int by = std::min({y1, p.height, static_cast<int>(std::ceil(hi_y)) + 1});
  auto inside = [&](float x, float y) {
    bool in = false;
    for (int i = 0, j = count - 1; i < count; j = i++) {
      const float xi = points[2 * i], yi = points[2 * i + 1];
      const float xj = points[2 * j], yj = points[2 * j + 1];
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
  };
  for (int y = ay; y < by; ++y) {
    for (int x = ax; x < bx; ++x) {
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) hits += inside(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4);
      }
      put(p, x, y, colour, hits / 16.0f);
    }
  }
}

// A band of `width` pixels from (ax, ay) to (bx, by), clipped like fill_polygon.
inline void fill_band(Picture& p, float ax, float ay, float bx, float by, float width, Rgba colour,
                      int x0 = 0, int y0 = 0, int x1 = 1 << 20, int y1 = 1 << 20) {
  const float dx = bx - ax, dy = by - ay;
  const float l = std::max(std::hypot(dx, dy), 1e-6f);
  const float nx = -dy / l * width / 2, ny = dx / l * width / 2;
  fill_polygon(p, {ax + nx, ay + ny, bx + nx, by + ny, bx - nx, by - ny, ax - nx, ay - ny}, colour,
               x0, y0, x1, y1);
}

// Block digits (and a few letters) on a 5 x 7 grid, top row first, high bit left.
inline const unsigned char* stencil_glyph(char c) {
  static const unsigned char kDigits[10][7] = {
      {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}, {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e},
      {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}, {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e},
      {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}, {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e},
      {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}, {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
      {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}, {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c}};
  static const unsigned char kF[7] = {0x1f, 0x10, 0x10, 0x1e, 0x10, 0x10, 0x10};
  static const unsigned char kK[7] = {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11};
  static const unsigned char kV[7] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x0a, 0x04};
  static const unsigned char kX[7] = {0x11, 0x11, 0x0a, 0x04, 0x0a, 0x11, 0x11};
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  switch (c) {
    case 'F':
      return kF;
    case 'K':
      return kK;
    case 'V':
      return kV;
    case 'X':
      return kX;
    default:
      return nullptr;
  }
}

// Text in block letters, each grid cell `cell` pixels square, leaning right by
// `slant` pixels a row; (x, y) is the top left. Mirrored reads right to left.
inline void stencil_text(Picture& p, const char* text, float x, float y, float cell, float slant,
                         Rgba colour, bool mirrored = false) {
  const int length = static_cast<int>(std::char_traits<char>::length(text));
  const float advance = 6 * cell;
  for (int i = 0; i < length; ++i) {
    const unsigned char* rows = stencil_glyph(text[i]);
    if (!rows) continue;
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (!(rows[row] & (0x10 >> col))) continue;
        const int place = mirrored ? length - 1 - i : i;
        const int c = mirrored ? 4 - col : col;
        const float sl = mirrored ? -slant : slant;
        const float px = x + place * advance + c * cell + sl * static_cast<float>(6 - row);
        const float py = y + row * cell;
        fill_polygon(p, {px + sl, py, px + cell + sl, py, px + cell, py + cell, px, py + cell},
                     colour);
      }
    }
  }
}

}  // namespace content
