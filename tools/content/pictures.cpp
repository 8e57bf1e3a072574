// pictures.cpp -- drawing the generator's pictures: fills, discs, tiling noise, PNG output.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "content/content.h"
#include "data/data.h"

namespace content {

namespace {

unsigned char to_byte(float v) {
  return static_cast<unsigned char>(std::clamp(std::lround(v), 0L, 255L));
}

// Blends `colour` over a pixel with coverage 0..1 (the colour's own alpha scales it).
void blend(Picture& p, int x, int y, Rgba colour, float coverage) {
  unsigned char* px = p.at(x, y);
  const float a = coverage * colour.a / 255.0f;
  const float rgb[3] = {colour.r, colour.g, colour.b};
  for (int c = 0; c < 3; ++c) px[c] = to_byte(px[c] + (rgb[c] - px[c]) * a);
  if (p.channels == 4) px[3] = to_byte(px[3] + (255 - px[3]) * a);
}

// One octave of value noise on a `cells` x `cells` lattice that wraps.
struct Lattice {
  int cells;
  std::vector<float> values;

  Lattice(int n, std::mt19937& random) : cells(n), values(std::size_t(n) * n) {
    std::uniform_real_distribution<float> unit(-1, 1);
    for (float& v : values) v = unit(random);
  }
  float value(int x, int y) const {
    x = ((x % cells) + cells) % cells;
    y = ((y % cells) + cells) % cells;
    return values[std::size_t(y) * cells + x];
  }
  // u, v in [0, 1): smooth interpolation between the lattice values.
  float sample(float u, float v) const {
    const float gx = u * cells, gy = v * cells;
    const int ix = static_cast<int>(std::floor(gx)), iy = static_cast<int>(std::floor(gy));
    float fx = gx - ix, fy = gy - iy;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const float top = value(ix, iy) + (value(ix + 1, iy) - value(ix, iy)) * fx;
    const float bottom = value(ix, iy + 1) + (value(ix + 1, iy + 1) - value(ix, iy + 1)) * fx;
    return top + (bottom - top) * fy;
  }
};

// Octaves of value noise from `base_cells` a side up to `finest`, each weighing 0.6 of the one
// before; their sum is scaled back into -1..1.
struct Octaves {
  std::vector<Lattice> lattices;
  Octaves(unsigned seed, int base_cells, int finest) {
    std::mt19937 random(seed);
    for (int cells = base_cells; cells <= finest; cells *= 2) lattices.emplace_back(cells, random);
  }
  float sample(float u, float v) const {
    float n = 0, weight = 1, total = 0;
    for (const Lattice& octave : lattices) {
      n += weight * octave.sample(u, v);
      total += weight;
      weight *= 0.6f;
    }
    return total > 0 ? n / total : 0;
  }
};

}  // namespace

void fill(Picture& p, Rgba colour) { fill_rect(p, 0, 0, p.width, p.height, colour); }

void fill_rect(Picture& p, int x0, int y0, int x1, int y1, Rgba colour) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, p.width);
  y1 = std::min(y1, p.height);
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      unsigned char* px = p.at(x, y);
      px[0] = to_byte(colour.r);
      px[1] = to_byte(colour.g);
      px[2] = to_byte(colour.b);
      if (p.channels == 4) px[3] = to_byte(colour.a);
    }
  }
}

void fill_disc(Picture& p, float cx, float cy, float radius, Rgba colour) {
  const int x0 = std::max(0, static_cast<int>(std::floor(cx - radius - 1)));
  const int x1 = std::min(p.width - 1, static_cast<int>(std::ceil(cx + radius + 1)));
  const int y0 = std::max(0, static_cast<int>(std::floor(cy - radius - 1)));
  const int y1 = std::min(p.height - 1, static_cast<int>(std::ceil(cy + radius + 1)));
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
      const float coverage = std::clamp(radius + 0.5f - d, 0.0f, 1.0f);
      if (coverage > 0) blend(p, x, y, colour, coverage);
    }
  }
}

void add_noise(Picture& p, unsigned seed, float amount, int base_cells) {
  const Octaves octaves(seed, base_cells, std::min(p.width, p.height));
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const float n =
          octaves.sample(static_cast<float>(x) / p.width, static_cast<float>(y) / p.height);
      const float scale = 1 + amount * n;
      unsigned char* px = p.at(x, y);
      for (int c = 0; c < 3; ++c) px[c] = to_byte(px[c] * scale);
    }
  }
}

void add_height_noise(HeightMap& h, unsigned seed, float amplitude, int base_cells) {
  const Octaves octaves(seed, base_cells, std::min(h.width, h.height));
  for (int y = 0; y < h.height; ++y) {
    for (int x = 0; x < h.width; ++x) {
      h.at(x, y) += amplitude * octaves.sample(static_cast<float>(x) / h.width,
                                               static_cast<float>(y) / h.height);
    }
  }
}

Picture normal_map(const HeightMap& h) {
  Picture p(h.width, h.height, 3);
  auto height = [&](int x, int y) {
    return h.values[static_cast<std::size_t>((y + h.height) % h.height) * h.width +
                    (x + h.width) % h.width];
  };
  for (int y = 0; y < h.height; ++y) {
    for (int x = 0; x < h.width; ++x) {
      // Rise per pixel to the right and down the picture.
      const float right = (height(x + 1, y) - height(x - 1, y)) / 2;
      const float down = (height(x, y + 1) - height(x, y - 1)) / 2;
      const float length = std::sqrt(right * right + down * down + 1);
      // The normal leans away from the rise: its part along the picture's left is `right`,
      // along its bottom `-down` (each over the length).
      unsigned char* px = p.at(x, y);
      px[0] = to_byte(127.5f + 127.5f * right / length);
      px[1] = to_byte(127.5f - 127.5f * down / length);
      px[2] = to_byte(127.5f + 127.5f / length);
    }
  }
  return p;
}

void write_picture(Output& out, const std::string& relative, const Picture& p, const char* text) {
  const std::string path = out.root + relative;
  data::make_directories(path.c_str());
  if (!data::write_png(path.c_str(), p.pixels.data(), p.width, p.height, p.channels, false, text)) {
    std::fprintf(stderr, "kvgen: can't write %s\n", path.c_str());
    out.ok = false;
  }
}

}  // namespace content
