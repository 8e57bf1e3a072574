// hud.cpp -- the riding HUD's pictures: tachometer, shifter, pit board, title.
//
// The pictures are painted on a canvas of premultiplied colour: shapes by
// their signed distance (anti-aliased over one pixel), lettering with the
// same DejaVu faces as the font sheets. What the HUD draws over them:
//
// - tach.png (512 x 512): a dial centred in the picture. Engine speed v (rpm)
//   sits at the angle 225 - 270 * v / 14000 degrees, counter-clockwise from
//   the right-hand side: 0 at lower left, 7000 straight up, 14000 at lower
//   right. The needle turns about the centre; the red zone starts at 12000.
// - shifter.png (256 x 256): the gear slot on the left with its positions
//   bottom to top 1, N, 2, 3, 4, 5 at y = 216, 188, 160, 132, 104, 76 (the
//   knob goes at x = 62); a dark window at x 126..236, y 66..226 takes the
//   gear number.
// - pitboard.png (256 x 256): a blank black board on a pole; the pit board's
//   lines are chalked on it between x = 26 and 232, y = 17 and 183.
// - title.png (1024 x 512): the game's name over a clear ground.
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "content/content.h"
#include "content/typeface.h"

namespace content {

namespace {

// Colours as 0..255 components with alpha 0..1, before premultiplying.
struct Colour {
  float r, g, b, a = 1;
};

Colour mix(Colour x, Colour y, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t,
          x.a + (y.a - x.a) * t};
}

using Paint = std::function<Colour(float x, float y)>;

Paint solid(Colour c) {
  return [c](float, float) { return c; };
}

// A picture being painted: premultiplied colour (0..255) and alpha (0..1) per pixel.
struct Canvas {
  int width, height;
  std::vector<float> rgba;
  Canvas(int w, int h) : width(w), height(h), rgba(std::size_t(w) * h * 4, 0.0f) {}

  // Source-over of `c` with `coverage` at pixel (x, y).
  void blend(int x, int y, Colour c, float coverage) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    const float a = std::clamp(c.a * coverage, 0.0f, 1.0f);
    if (a <= 0) return;
    float* px = &rgba[(std::size_t(y) * width + x) * 4];
    px[0] = c.r * a + px[0] * (1 - a);
    px[1] = c.g * a + px[1] * (1 - a);
    px[2] = c.b * a + px[2] * (1 - a);
    px[3] = a + px[3] * (1 - a);
  }
};

// Fills a shape given by its signed distance (px, negative inside) over the
// box [x0, x1) x [y0, y1), softened over `soft` pixels.
template <typename Distance>
void fill_shape(Canvas& canvas, float x0, float y0, float x1, float y1, const Paint& paint,
                Distance distance, float soft = 1) {
  const int ix0 = std::max(0, static_cast<int>(std::floor(x0 - soft)));
  const int iy0 = std::max(0, static_cast<int>(std::floor(y0 - soft)));
  const int ix1 = std::min(canvas.width, static_cast<int>(std::ceil(x1 + soft)) + 1);
  const int iy1 = std::min(canvas.height, static_cast<int>(std::ceil(y1 + soft)) + 1);
  for (int y = iy0; y < iy1; ++y) {
    for (int x = ix0; x < ix1; ++x) {
      const float px = x + 0.5f, py = y + 0.5f;
      const float coverage = std::clamp(0.5f - distance(px, py) / soft, 0.0f, 1.0f);
      if (coverage > 0) canvas.blend(x, y, paint(px, py), coverage);
    }
  }
}

void disc(Canvas& c, float cx, float cy, float r, const Paint& paint, float soft = 1) {
  fill_shape(
      c, cx - r, cy - r, cx + r, cy + r, paint,
      [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; }, soft);
}

void ring(Canvas& c, float cx, float cy, float r0, float r1, const Paint& paint) {
  const float mid = (r0 + r1) / 2, half = (r1 - r0) / 2;
  fill_shape(c, cx - r1, cy - r1, cx + r1, cy + r1, paint,
             [=](float x, float y) { return std::fabs(std::hypot(x - cx, y - cy) - mid) - half; });
}

// The part of a ring between two angles (degrees, counter-clockwise from +x, y up;
// a0 < a1, less than half a turn apart).
void ring_sector(Canvas& c, float cx, float cy, float r0, float r1, float a0, float a1,
                 const Paint& paint) {
  const float mid = (r0 + r1) / 2, half = (r1 - r0) / 2;
  const float s0 = std::sin(a0 * std::numbers::pi_v<float> / 180);
  const float c0 = std::cos(a0 * std::numbers::pi_v<float> / 180);
  const float s1 = std::sin(a1 * std::numbers::pi_v<float> / 180);
  const float c1 = std::cos(a1 * std::numbers::pi_v<float> / 180);
  fill_shape(c, cx - r1, cy - r1, cx + r1, cy + r1, paint, [=](float x, float y) {
    const float dx = x - cx, dy = cy - y;  // y up
    const float radial = std::fabs(std::hypot(dx, dy) - mid) - half;
    // Outside the start ray is clockwise of it, outside the end ray counter-clockwise.
    const float before = dx * s0 - dy * c0;
    const float after = dy * c1 - dx * s1;
    return std::max({radial, before, after});
  });
}

// A stroke from (ax, ay) to (bx, by), `width` px across, with round ends.
void line(Canvas& c, float ax, float ay, float bx, float by, float width, const Paint& paint) {
  const float half = width / 2;
  fill_shape(c, std::min(ax, bx) - half, std::min(ay, by) - half, std::max(ax, bx) + half,
             std::max(ay, by) + half, paint, [=](float x, float y) {
               const float vx = bx - ax, vy = by - ay;
               const float length2 = vx * vx + vy * vy;
               const float t =
                   length2 > 0 ? std::clamp(((x - ax) * vx + (y - ay) * vy) / length2, 0.0f, 1.0f)
                               : 0;
               return std::hypot(x - ax - t * vx, y - ay - t * vy) - half;
             });
}

float rounded_box_distance(float x, float y, float x0, float y0, float x1, float y1, float r) {
  const float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  const float qx = std::fabs(x - cx) - ((x1 - x0) / 2 - r);
  const float qy = std::fabs(y - cy) - ((y1 - y0) / 2 - r);
  return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - r;
}

void rounded_box(Canvas& c, float x0, float y0, float x1, float y1, float r, const Paint& paint,
                 float soft = 1) {
  fill_shape(
      c, x0, y0, x1, y1, paint,
      [=](float x, float y) { return rounded_box_distance(x, y, x0, y0, x1, y1, r); }, soft);
}

// The outline band of a rounded box, `width` px inside its edge.
void rounded_frame(Canvas& c, float x0, float y0, float x1, float y1, float r, float width,
                   const Paint& paint) {
  fill_shape(c, x0, y0, x1, y1, paint, [=](float x, float y) {
    const float d = rounded_box_distance(x, y, x0, y0, x1, y1, r);
    return std::max(d, -d - width);
  });
}

// Lettering: one line of text from the pen (x, baseline); `grow` paints the
// glyphs grown by that many pixels (an outline, or a shadow when offset).
struct TextStyle {
  const Typeface* face;
  float tracking = 0;  // px added between letters
};

void text(Canvas& c, const TextStyle& style, const std::string& s, float x, float baseline,
          const Paint& paint, float grow = 0) {
  float pen = x;
  for (char ch : s) {
    const GlyphImage g = render_glyph(*style.face, ch, grow);
    const int left = static_cast<int>(std::lround(pen)) + g.left;
    const int top = static_cast<int>(std::lround(baseline)) - g.top;
    for (int row = 0; row < g.rows; ++row) {
      for (int col = 0; col < g.width; ++col) {
        const unsigned char a = g.coverage[std::size_t(row) * g.width + col];
        if (a)
          c.blend(left + col, top + row, paint(left + col + 0.5f, top + row + 0.5f), a / 255.0f);
      }
    }
    pen += g.advance + style.tracking;
  }
}

// The ink box of a line of text set from pen 0 on baseline 0 (y down).
struct InkBox {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
};

InkBox ink_box(const TextStyle& style, const std::string& s) {
  InkBox box;
  float pen = 0;
  for (char ch : s) {
    const GlyphImage g = render_glyph(*style.face, ch);
    if (g.width > 0) {
      box.x0 = std::min(box.x0, pen + g.left);
      box.x1 = std::max(box.x1, pen + g.left + g.width);
      box.y0 = std::min(box.y0, static_cast<float>(-g.top));
      box.y1 = std::max(box.y1, static_cast<float>(g.rows - g.top));
    }
    pen += g.advance + style.tracking;
  }
  return box;
}

// Text whose ink is centred on (cx, cy).
void text_centred(Canvas& c, const TextStyle& style, const std::string& s, float cx, float cy,
                  const Paint& paint, float grow = 0) {
  const InkBox box = ink_box(style, s);
  const float x = std::round(cx - (box.x0 + box.x1) / 2);
  const float baseline = std::round(cy - (box.y0 + box.y1) / 2);
  text(c, style, s, x, baseline, paint, grow);
}

// Mottles the colour (not the alpha) of every covered pixel by up to
// `amount`, from a fixed seed: chalk on a board, brushed metal.
void grain(Canvas& c, unsigned seed, float amount) {
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < c.rgba.size(); i += 4) {
    const float n = static_cast<float>(random()) / 4294967296.0f * 2 - 1;
    for (int k = 0; k < 3; ++k)
      c.rgba[i + k] = std::clamp(c.rgba[i + k] * (1 + amount * n), 0.0f, 255.0f * c.rgba[i + 3]);
  }
}

// The canvas as an RGBA picture. Clear pixels take the colour of their
// neighbours, so that filtering at the edges of the painted parts blends
// towards their own colour rather than towards black.
Picture to_picture(const Canvas& c) {
  Picture p(c.width, c.height, 4);
  std::vector<float> rgb(std::size_t(c.width) * c.height * 3, 0.0f);
  std::vector<unsigned char> known(std::size_t(c.width) * c.height, 0);
  for (std::size_t i = 0; i < known.size(); ++i) {
    const float a = c.rgba[i * 4 + 3];
    if (a > 0.002f) {
      for (int k = 0; k < 3; ++k) rgb[i * 3 + k] = std::clamp(c.rgba[i * 4 + k] / a, 0.0f, 255.0f);
      known[i] = 1;
    }
  }
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<unsigned char> next = known;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const std::size_t i = std::size_t(y) * c.width + x;
        if (known[i]) continue;
        float sum[3] = {0, 0, 0};
        int n = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= c.width || ny >= c.height) continue;
            const std::size_t j = std::size_t(ny) * c.width + nx;
            if (!known[j]) continue;
            for (int k = 0; k < 3; ++k) sum[k] += rgb[j * 3 + k];
            ++n;
          }
        }
        if (n) {
          for (int k = 0; k < 3; ++k) rgb[i * 3 + k] = sum[k] / n;
          next[i] = 1;
        }
      }
    }
    known.swap(next);
  }
  for (std::size_t i = 0; i < known.size(); ++i) {
    unsigned char* px = &p.pixels[i * 4];
    for (int k = 0; k < 3; ++k) px[k] = static_cast<unsigned char>(std::lround(rgb[i * 3 + k]));
    px[3] =
        static_cast<unsigned char>(std::lround(std::clamp(c.rgba[i * 4 + 3], 0.0f, 1.0f) * 255));
  }
  return p;
}

// ---------------------------------------------------------------------------
// Tachometer

constexpr float kTachMaxRpm = 14000;
constexpr float kTachRedline = 12000;

// The dial angle of an engine speed (degrees, counter-clockwise from +x).
float tach_angle(float rpm) { return 225 - 270 * rpm / kTachMaxRpm; }

void tachometer(Output& out) {
  const Typeface numbers_face(out, FontFile::kSansBold, 40);
  const Typeface label_face(out, FontFile::kSans, 26);
  if (!numbers_face.ok() || !label_face.ok()) return;
  Canvas c(512, 512);
  const float cx = 256, cy = 256;

  // A soft shadow under the case, the metal bezel lit from the upper left, the face.
  disc(c, cx, cy + 4, 246, solid({0, 0, 0, 0.45f}), 8);
  disc(c, cx, cy, 248, [&](float x, float y) {
    const float light = ((cx - x) + (cy - y)) / (2 * 248 * 0.7071f);  // -1..1
    return mix({70, 72, 78}, {228, 230, 236}, 0.5f + 0.5f * light);
  });
  ring(c, cx, cy, 228, 232, solid({20, 20, 22}));
  disc(c, cx, cy, 229, [&](float x, float y) {
    return mix({50, 53, 60}, {14, 15, 18}, std::hypot(x - cx, y - cy) / 229);
  });

  // Warning band, then the red zone.
  ring_sector(c, cx, cy, 182, 222, tach_angle(kTachRedline), tach_angle(11000),
              solid({240, 150, 30, 0.9f}));
  ring_sector(c, cx, cy, 182, 222, tach_angle(kTachMaxRpm), tach_angle(kTachRedline),
              solid({215, 30, 22, 0.95f}));

  // Ticks every 250 rpm, longer at 500, longest at every thousand.
  for (int rpm = 0; rpm <= kTachMaxRpm; rpm += 250) {
    const float a = tach_angle(static_cast<float>(rpm)) * std::numbers::pi_v<float> / 180;
    const float ux = std::cos(a), uy = -std::sin(a);
    const bool major = rpm % 1000 == 0, half = rpm % 500 == 0;
    const float inner = major ? 186 : half ? 202 : 210;
    const float width = major ? 6.5f : half ? 3.5f : 2.0f;
    line(c, cx + ux * inner, cy + uy * inner, cx + ux * 220, cy + uy * 220, width,
         solid({240, 240, 240}));
  }

  const TextStyle numbers{&numbers_face};
  for (int k = 0; k <= 14; ++k) {
    const float a = tach_angle(k * 1000.0f) * std::numbers::pi_v<float> / 180;
    const float x = cx + std::cos(a) * 146, y = cy - std::sin(a) * 146;
    const Colour colour = k * 1000 >= kTachRedline ? Colour{255, 80, 60} : Colour{245, 245, 245};
    text_centred(c, numbers, std::to_string(k), x, y, solid(colour));
  }
  const TextStyle label{&label_face, 2};
  text_centred(c, label, "RPM", cx, cy + 92, solid({175, 178, 186}));
  text_centred(c, label, "x1000", cx, cy + 124, solid({140, 143, 150}));

  // The hub the needle turns on, and a faint reflection across the glass.
  disc(c, cx, cy, 24, [&](float x, float y) {
    return mix({200, 202, 208}, {60, 62, 68}, ((x - cx) + (y - cy) + 24) / 48);
  });
  disc(c, cx, cy, 10, solid({25, 25, 28}));
  fill_shape(
      c, cx - 229, cy - 229, cx + 229, cy + 229, solid({255, 255, 255, 0.07f}),
      [&](float x, float y) {
        const float inside = std::hypot(x - cx, y - cy) - 226;
        const float crescent = 300 - std::hypot(x - cx - 110, y - cy - 150);
        return std::max(inside, crescent);
      },
      20);
  write_picture(out, "tach.png", to_picture(c));
}

// ---------------------------------------------------------------------------
// Shifter

void shifter(Output& out) {
  const Typeface gear_face(out, FontFile::kSansBold, 26);
  const Typeface title_face(out, FontFile::kSansBold, 22);
  if (!gear_face.ok() || !title_face.ok()) return;
  Canvas c(256, 256);

  rounded_box(c, 10, 12, 248, 250, 22, solid({0, 0, 0, 0.4f}), 5);  // shadow
  rounded_box(c, 6, 6, 250, 250, 22, [](float, float y) {
    return mix({46, 49, 56, 0.92f}, {20, 21, 25, 0.92f}, y / 256);
  });
  rounded_frame(c, 6, 6, 250, 250, 22, 3, solid({150, 156, 168}));
  text_centred(c, TextStyle{&title_face, 3}, "GEAR", 128, 36, solid({170, 174, 184}));

  // The slot, its detents and their labels: 1 at the bottom, N a step above.
  rounded_box(c, 48, 60, 76, 232, 14, solid({8, 8, 10}));
  rounded_frame(c, 48, 60, 76, 232, 14, 2, solid({90, 94, 104}));
  const char* const labels[] = {"1", "N", "2", "3", "4", "5"};
  for (int i = 0; i < 6; ++i) {
    const float y = 216 - 28.0f * i;
    line(c, 80, y, 92, y, 2.5f, solid({150, 156, 168}));
    const Colour colour = i == 1 ? Colour{90, 225, 110} : Colour{240, 240, 240};
    text_centred(c, TextStyle{&gear_face}, labels[i], 106, y, solid(colour));
  }

  // The window for the gear number, sunk into the panel.
  rounded_box(c, 126, 66, 236, 226, 12, solid({4, 4, 6}));
  rounded_frame(c, 126, 66, 236, 226, 12, 3, [](float, float y) {
    return mix({20, 20, 24}, {120, 124, 134}, (y - 66) / 160);
  });
  write_picture(out, "shifter.png", to_picture(c));
}

// ---------------------------------------------------------------------------
// Pit board

void pit_board(Output& out) {
  Canvas c(256, 256);

  // The pole, brushed and round-lit.
  rounded_box(c, 119, 170, 137, 256, 3, [](float x, float) {
    const float t = (x - 119) / 18;
    return mix({120, 122, 128}, {225, 228, 232}, 1 - std::fabs(t - 0.35f) * 1.6f);
  });
  rounded_box(c, 14, 16, 250, 198, 8, solid({0, 0, 0, 0.45f}), 5);  // shadow
  // The aluminium frame and the black board inside it, chalk-dusted.
  rounded_box(c, 8, 8, 248, 192, 8, [](float x, float y) {
    return mix({235, 238, 242}, {130, 134, 140}, (x + y) / 440);
  });
  rounded_box(c, 17, 17, 239, 183, 3, solid({16, 16, 18}));
  grain(c, 7, 0.06f);
  write_picture(out, "pitboard.png", to_picture(c));
}

// ---------------------------------------------------------------------------
// Title

void title(Output& out) {
  const float slant = 0.2f;
  const Typeface name_face(out, FontFile::kSansBold, 196, 1, slant);
  const Typeface sub_face(out, FontFile::kSansBold, 60, 1, slant);
  if (!name_face.ok() || !sub_face.ok()) return;
  Canvas c(1024, 512);

  // Roost thrown back from under the first letters: heavy clods near the
  // wheel, finer dirt and a haze of dust further out.
  std::mt19937 random(4242);
  const auto unit = [&random] { return static_cast<float>(random()) / 4294967296.0f; };
  const float ox = 250, oy = 372;
  for (int i = 0; i < 60; ++i) {  // dust
    const float t = 0.2f + 0.8f * unit();
    const float a = (150 + 40 * (unit() - 0.5f)) * std::numbers::pi_v<float> / 180;
    disc(c, ox + std::cos(a) * 200 * t, oy - std::sin(a) * 200 * t, 10 + 16 * t,
         solid({170, 140, 105, 0.10f}), 10);
  }
  for (int i = 0; i < 360; ++i) {       // clods
    const float t = std::sqrt(unit());  // more of them further out, where the spray fans
    const float a = (150 + 40 * (unit() - 0.5f)) * std::numbers::pi_v<float> / 180;
    const float reach = 240 * t;
    const float x = ox + std::cos(a) * reach, y = oy - std::sin(a) * reach + 30 * t * t;
    const float radius = 1.2f + (1 - t) * 6 * unit() + 1.2f * unit();
    const Colour dirt = mix({96, 66, 42}, {170, 128, 84}, unit());
    disc(c, x, y, radius, solid({dirt.r, dirt.g, dirt.b, 0.95f - 0.5f * t}));
  }

  // A swoosh under the name, heavier at the right.
  fill_shape(
      c, 60, 300, 990, 400,
      [](float x, float) {
        return mix({255, 200, 40}, {225, 45, 20}, (x - 60) / 930);
      },
      [](float x, float y) {
        const float t = (x - 70) / 900;
        const float centre = 372 - 30 * t;
        const float half = 2 + 12 * std::clamp(t, 0.0f, 1.0f);
        const float along = std::max(-t * 900, (t - 1) * 900);  // past either end
        return std::max(std::fabs(y - centre) - half, along);
      });

  const TextStyle name{&name_face, -4};
  const std::string game = "KORVEX";
  const InkBox box = ink_box(name, game);
  const float x = std::round(512 - (box.x0 + box.x1) / 2), baseline = 300;
  text(c, name, game, x + 10, baseline + 12, solid({0, 0, 0, 0.5f}), 12);  // shadow
  text(c, name, game, x, baseline, solid({22, 18, 16}), 9);                // outline
  const float top = baseline + box.y0, bottom = baseline + box.y1;
  text(c, name, game, x, baseline, [=](float, float y) {
    const float t = (y - top) / (bottom - top);
    return t < 0.5f ? mix({255, 236, 120}, {255, 180, 30}, t * 2)
                    : mix({255, 180, 30}, {220, 60, 20}, t * 2 - 1);
  });
  // A highlight along the top of the letters.
  text(c, name, game, x, baseline, [=](float, float y) {
    return Colour{255, 255, 255,
                  0.35f * std::clamp(1 - (y - top) / (0.18f * (bottom - top)), 0.0f, 1.0f)};
  });

  const TextStyle sub{&sub_face, 22};
  const InkBox sub_box = ink_box(sub, "MOTOCROSS");
  const float sx = std::round(512 - (sub_box.x0 + sub_box.x1) / 2) + 20;
  text(c, sub, "MOTOCROSS", sx, 458, solid({22, 18, 16}), 5);
  text(c, sub, "MOTOCROSS", sx, 458, solid({248, 248, 248}));
  write_picture(out, "title.png", to_picture(c));
}

}  // namespace

void write_hud(Output& out) {
  tachometer(out);
  shifter(out);
  pit_board(out);
  title(out);
}

}  // namespace content
