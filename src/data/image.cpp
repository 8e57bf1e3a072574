// image.cpp -- images in memory: size limits, mip chains, custom mips, resampling, border colour.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/data.h"
#include "data/data_internal.h"
#include "platform/platform.h"

namespace data {

namespace {

char g_image_error[256] = "";

// Halves one side of a mip level, never below 1.
int half(int side) { return side > 1 ? side / 2 : 1; }

int next_power_of_two(int value) {
  int result = 1;
  while (result < value) result *= 2;
  return result;
}

// Copies a w x h rectangle at (x, y) of a picture `stride` pixels wide.
void copy_rect(const unsigned char* from, int stride, int x, int y, int w, int h, int channels,
               unsigned char* to) {
  const std::size_t row = static_cast<std::size_t>(w) * channels;
  for (int r = 0; r < h; ++r) {
    const std::size_t at = (static_cast<std::size_t>(y + r) * stride + x) * channels;
    std::memcpy(to + r * row, from + at, row);
  }
}

std::size_t level_bytes(int width, int height, int channels) {
  return static_cast<std::size_t>(width) * height * channels;
}

}  // namespace

void set_image_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(g_image_error, sizeof g_image_error, format, args);
  va_end(args);
}

const char* image_error() { return g_image_error; }

void image_free(Image& image) {
  std::free(image.pixels);
  image = Image{};
}

bool image_size_ok(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         static_cast<long>(width) * height <= kMaxImagePixels;
}

bool is_power_of_two(int value) { return value > 0 && (value & (value - 1)) == 0; }

std::size_t mip_chain_bytes(int width, int height, int channels) {
  std::size_t total = level_bytes(width, height, channels);
  while (width > 1 || height > 1) {
    width = half(width);
    height = half(height);
    total += level_bytes(width, height, channels);
  }
  return total;
}

void image_allocate(Image& image, int width, int height, int channels) {
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.pixels =
      static_cast<unsigned char*>(platform::xmalloc(mip_chain_bytes(width, height, channels)));
}

void reduce(const unsigned char* in, int width, int height, int channels, bool max_alpha,
            unsigned char* out) {
  const int out_w = half(width);
  const int out_h = half(height);
  // A side of 1 is not halved: its boxes are pairs along the other side.
  const int step_x = width > 1 ? 1 : 0;
  const int step_y = height > 1 ? 1 : 0;
  for (int y = 0; y < out_h; ++y) {
    for (int x = 0; x < out_w; ++x) {
      const unsigned char* box[4];
      int n = 0;
      for (int dy = 0; dy <= step_y; ++dy) {
        for (int dx = 0; dx <= step_x; ++dx) {
          const std::size_t at =
              (static_cast<std::size_t>(y * 2 * step_y + dy) * width + x * 2 * step_x + dx) *
              channels;
          box[n++] = in + at;
        }
      }
      unsigned char* pixel = out + (static_cast<std::size_t>(y) * out_w + x) * channels;
      const int colours = channels == 4 ? 3 : channels;
      int alpha_sum = 0;
      int alpha_max = 0;
      if (channels == 4) {
        for (int i = 0; i < n; ++i) {
          alpha_sum += box[i][3];
          alpha_max = std::max<int>(alpha_max, box[i][3]);
        }
        pixel[3] = static_cast<unsigned char>(max_alpha ? alpha_max : alpha_sum / n);
      }
      // All transparent or all opaque boxes have no weights worth using.
      const bool weighted = channels == 4 && alpha_sum != 0 && alpha_sum != 255 * n;
      for (int c = 0; c < colours; ++c) {
        int sum = 0;
        if (weighted) {
          for (int i = 0; i < n; ++i) sum += box[i][c] * box[i][3];
          pixel[c] = static_cast<unsigned char>(sum / alpha_sum);
        } else {
          for (int i = 0; i < n; ++i) sum += box[i][c];
          pixel[c] = static_cast<unsigned char>(sum / n);
        }
      }
    }
  }
}

void build_mip_chain(Image& image, bool max_alpha) {
  int width = image.width;
  int height = image.height;
  unsigned char* level = image.pixels;
  while (width > 1 || height > 1) {
    unsigned char* next = level + level_bytes(width, height, image.channels);
    reduce(level, width, height, image.channels, max_alpha, next);
    level = next;
    width = half(width);
    height = half(height);
  }
}

bool take_custom_mips(Image& image, bool max_alpha) {
  const int full_w = image.width;
  const int full_h = image.height;
  if ((2L * full_h) % 3 != 0) return false;
  const int base_h = 2 * full_h / 3;
  const int channels = image.channels;

  Image out;
  image_allocate(out, full_w, base_h, channels);
  copy_rect(image.pixels, full_w, 0, 0, full_w, base_h, channels, out.pixels);

  // Level 1 sits below the base at the left, level 2 to its right, and every
  // further level below the one before. Pictures too narrow or too flat for
  // the layout run out of room; the levels from there on are reduced instead.
  int width = full_w;
  int height = base_h;
  int x = 0;
  int y = 0;
  unsigned char* level = out.pixels;
  bool from_file = true;
  for (int index = 1; width > 1 || height > 1; ++index) {
    const int prev_w = width;
    const int prev_h = height;
    unsigned char* next = level + level_bytes(width, height, channels);
    width = half(width);
    height = half(height);
    if (index == 1) {
      x = 0;
      y = base_h;
    } else if (index == 2) {
      x = full_w / 2;
      y = base_h;
    } else {
      y += prev_h;
    }
    from_file = from_file && x + width <= full_w && y + height <= full_h;
    if (from_file) {
      copy_rect(image.pixels, full_w, x, y, width, height, channels, next);
    } else {
      reduce(level, prev_w, prev_h, channels, max_alpha, next);
    }
    level = next;
  }
  image_free(image);
  image = out;
  return true;
}

Image resample_to_power_of_two(const Image& image, bool max_alpha) {
  Image out;
  const int width = next_power_of_two(image.width);
  const int height = next_power_of_two(image.height);
  image_allocate(out, width, height, image.channels);
  const int channels = image.channels;
  for (int y = 0; y < height; ++y) {
    const int from_y = static_cast<int>(static_cast<long>(y) * image.height / height);
    for (int x = 0; x < width; ++x) {
      const int from_x = static_cast<int>(static_cast<long>(x) * image.width / width);
      std::memcpy(
          out.pixels + (static_cast<std::size_t>(y) * width + x) * channels,
          image.pixels + (static_cast<std::size_t>(from_y) * image.width + from_x) * channels,
          channels);
    }
  }
  build_mip_chain(out, max_alpha);
  return out;
}

void border_colour(const Image& image, float rgb[3]) {
  int count[512] = {};
  long sum[512][3] = {};
  const int w = image.width;
  const int h = image.height;
  auto add = [&](int x, int y) {
    const unsigned char* p = image.pixels + (static_cast<std::size_t>(y) * w + x) * image.channels;
    const int bin = (p[0] >> 5) << 6 | (p[1] >> 5) << 3 | p[2] >> 5;
    ++count[bin];
    for (int c = 0; c < 3; ++c) sum[bin][c] += p[c];
  };
  for (int x = 0; x < w; ++x) {
    add(x, 0);
    if (h > 1) add(x, h - 1);
  }
  for (int y = 1; y < h - 1; ++y) {
    add(0, y);
    if (w > 1) add(w - 1, y);
  }
  int best = 0;
  for (int bin = 1; bin < 512; ++bin) {
    if (count[bin] > count[best]) best = bin;
  }
  for (int c = 0; c < 3; ++c) {
    rgb[c] = count[best] ? static_cast<float>(sum[best][c]) / count[best] / 255.0f : 0.0f;
  }
}

}  // namespace data
