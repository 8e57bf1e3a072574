// jimage.cpp -- read_jimage: Korvex's own predictive image format, "J6" (RGB) and "J7" (RGBA).
//
// After the magic: comment lines and the width, comment lines and the height, one separator
// byte, then one byte per channel of every pixel, top row first. Each byte is added (modulo
// 256) to a prediction from the pixels already decoded: 0 for the first pixel, the left
// neighbour along the top row, the upper neighbour down the left column, and elsewhere
// upper + left - upper-left clamped to 0..255, channel by channel.
#include <algorithm>
#include <cstdlib>

#include "data/data.h"
#include "data/data_internal.h"
#include "platform/platform.h"

namespace data {

namespace {

bool read_number(DataStream* stream, int* value) {
  char hash[2];
  while (ds_scanf(stream, " %1[#]%*[^\n]", hash) == 1) {
  }
  return ds_scanf(stream, "%d", value) == 1;
}

}  // namespace

int read_jimage(DataStream* stream, int channels, Image& image) {
  image = Image{};
  const int magic = channels == 4 ? 7 : 6;
  int width = 0;
  int height = 0;
  if ((channels != 3 && channels != 4) || !read_number(stream, &width) ||
      !read_number(stream, &height) || !image_size_ok(width, height)) {
    set_image_error("Can't get J%d dimensions", magic);
    return 0;
  }
  ds_getc(stream);  // separator

  image_allocate(image, width, height, channels);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * channels;
  for (int y = 0; y < height; ++y) {
    unsigned char* row = image.pixels + y * row_bytes;
    if (ds_read(stream, row, row_bytes) != row_bytes) {
      image_free(image);
      set_image_error("J%d image cut short", magic);
      return 0;
    }
    const unsigned char* up = y > 0 ? row - row_bytes : nullptr;
    for (std::size_t i = 0; i < row_bytes; ++i) {
      int prediction;
      const bool left_edge = i < static_cast<std::size_t>(channels);
      if (y == 0) {
        prediction = left_edge ? 0 : row[i - channels];
      } else if (left_edge) {
        prediction = up[i];
      } else {
        prediction = std::clamp(up[i] + row[i - channels] - up[i - channels], 0, 255);
      }
      row[i] = static_cast<unsigned char>(row[i] + prediction);
    }
  }
  build_mip_chain(image, false);
  return 1;
}

}  // namespace data
