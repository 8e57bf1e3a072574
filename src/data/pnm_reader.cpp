// pnm_reader.cpp -- read_ppm and read_pgm: binary and ASCII PPM (RGB) and PGM (grey) images.
#include <cstdlib>
#include <cstring>

#include "data/data.h"
#include "data/data_internal.h"
#include "platform/platform.h"

namespace data {

namespace {

struct PnmFormat {
  int channels;
  const char* header_error;
  const char* dimensions_error;
  const char* pixels_error;
};

constexpr PnmFormat kPpm = {3, "Can't parse PPM header", "Can't get PPM dimensions",
                            "Can't read PPM pixels"};
constexpr PnmFormat kPgm = {1, "Can't parse PGM header", "Can't get PGM dimensions",
                            "Can't read PGM pixels"};

// A number, with comment lines allowed before it.
bool read_number(DataStream* stream, int* value) {
  char hash[2];
  while (ds_scanf(stream, " %1[#]%*[^\n]", hash) == 1) {
  }
  return ds_scanf(stream, "%d", value) == 1;
}

unsigned char scaled(int value, int maximum) {
  if (value <= 0) return 0;
  if (maximum == 255) return static_cast<unsigned char>(value > 255 ? 255 : value);
  const long result = static_cast<long>(value) * 255 / maximum;
  return static_cast<unsigned char>(result > 255 ? 255 : result);
}

// Everything after the magic. PGM keeps no room for a chain; PPM builds one.
int read_body(DataStream* stream, bool binary, const PnmFormat& format, Image& image) {
  image = Image{};
  int width = 0;
  int height = 0;
  int maximum = 0;
  if (!read_number(stream, &width) || !read_number(stream, &height) ||
      !read_number(stream, &maximum) || !image_size_ok(width, height) || maximum <= 0 ||
      maximum > 65535) {
    set_image_error("%s", format.dimensions_error);
    return 0;
  }
  const std::size_t count = static_cast<std::size_t>(width) * height * format.channels;
  if (format.channels == 3) {
    image_allocate(image, width, height, 3);
  } else {
    image.width = width;
    image.height = height;
    image.channels = format.channels;
    image.pixels = static_cast<unsigned char*>(platform::xmalloc(count));
  }
  bool ok = true;
  if (binary) {
    ds_getc(stream);  // the one separator byte after the maximum
    ok = ds_read(stream, image.pixels, count) == count;
    if (ok && maximum != 255) {
      for (std::size_t i = 0; i < count; ++i) image.pixels[i] = scaled(image.pixels[i], maximum);
    }
  } else {
    for (std::size_t i = 0; i < count && ok; ++i) {
      int value = 0;
      ok = read_number(stream, &value);
      image.pixels[i] = scaled(value, maximum);
    }
  }
  if (!ok) {
    image_free(image);
    set_image_error("%s", format.pixels_error);
    return 0;
  }
  if (format.channels == 3) build_mip_chain(image, false);
  return 1;
}

int read_with_magic(DataStream* stream, const char* binary_magic, const char* ascii_magic,
                    const PnmFormat& format, Image& image) {
  image = Image{};
  char magic[16] = "";
  if (ds_scanf(stream, " %15s", magic) != 1 ||
      (std::strcmp(magic, binary_magic) != 0 && std::strcmp(magic, ascii_magic) != 0)) {
    set_image_error("%s", format.header_error);
    return 0;
  }
  return read_body(stream, std::strcmp(magic, binary_magic) == 0, format, image);
}

}  // namespace

int read_ppm_body(DataStream* stream, bool binary, Image& image) {
  return read_body(stream, binary, kPpm, image);
}

int read_ppm(DataStream* stream, Image& image) {
  return read_with_magic(stream, "P6", "P3", kPpm, image);
}

int read_pgm(DataStream* stream, Image& image) {
  return read_with_magic(stream, "P5", "P2", kPgm, image);
}

}  // namespace data
