// terrain_image.cpp -- terrain.png: the height samples as a 16-bit greyscale PNG, through libpng.
//
// The image cache reads PNGs as 8-bit colour, which would throw away the low byte of every
// height, so the terrain reads and writes its image itself. libpng reports errors by longjmp
// back to the setjmp below; nothing with a destructor lives in those frames.
#include <png.h>

#include <csetjmp>
#include <cstdlib>

#include "data/data.h"
#include "platform/platform.h"
#include "sim/terrain_internal.h"

namespace sim {

namespace {

struct PngJob {
  data::DataStream* stream = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  unsigned char* pixels = nullptr;  // whole image, 2 bytes a sample, big-endian
  png_bytep* rows = nullptr;
};

void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

void read_bytes(png_structp png, png_bytep out, std::size_t count) {
  auto* stream = static_cast<data::DataStream*>(png_get_io_ptr(png));
  if (data::ds_read(stream, out, count) != count) png_error(png, "file cut short");
}

void write_bytes(png_structp png, png_bytep in, std::size_t count) {
  auto* stream = static_cast<data::DataStream*>(png_get_io_ptr(png));
  if (data::ds_write(stream, in, count) != count) png_error(png, "write failed");
}

void flush_bytes(png_structp) {}

// Decodes into 16-bit grey and copies the samples the grid uses. 0 on failure.
int decode(PngJob& job, int points, unsigned short* samples) {
  if (setjmp(png_jmpbuf(job.png))) return 0;
  png_structp png = job.png;
  png_set_read_fn(png, job.stream, read_bytes);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, data::kMaxImageSide, data::kMaxImageSide);
  png_read_info(png, job.info);
  const png_uint_32 width = png_get_image_width(png, job.info);
  const png_uint_32 height = png_get_image_height(png, job.info);
  if (width == 0 || height == 0 ||
      static_cast<long>(width) * static_cast<long>(height) > data::kMaxImagePixels) {
    png_error(png, "image too large");
  }
  const int colour = png_get_color_type(png, job.info);
  png_set_expand(png);
  png_set_expand_16(png);
  png_set_strip_alpha(png);
  // Colour images give their luminance; a terrain image is normally grey already.
  if (colour & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray_fixed(png, 1, -1, -1);
  png_set_interlace_handling(png);
  png_read_update_info(png, job.info);
  if (png_get_channels(png, job.info) != 1 || png_get_bit_depth(png, job.info) != 16 ||
      png_get_rowbytes(png, job.info) != static_cast<std::size_t>(width) * 2) {
    png_error(png, "unexpected pixel layout");
  }
  job.pixels =
      static_cast<unsigned char*>(platform::xmalloc(static_cast<std::size_t>(width) * height * 2));
  job.rows = static_cast<png_bytep*>(platform::xmalloc(sizeof(png_bytep) * height));
  for (png_uint_32 y = 0; y < height; ++y) {
    job.rows[y] = job.pixels + static_cast<std::size_t>(y) * width * 2;
  }
  png_read_image(png, job.rows);

  for (int iz = 0; iz < points; ++iz) {
    const png_uint_32 row = static_cast<png_uint_32>(iz) < height ? iz : height - 1;
    for (int ix = 0; ix < points; ++ix) {
      const png_uint_32 column = static_cast<png_uint_32>(ix) < width ? ix : width - 1;
      const unsigned char* p = job.rows[row] + column * 2;
      samples[static_cast<std::size_t>(iz) * points + ix] =
          static_cast<unsigned short>(p[0] << 8 | p[1]);
    }
  }
  return 1;
}

int encode(PngJob& job, int points, const unsigned short* samples) {
  if (setjmp(png_jmpbuf(job.png))) return 0;
  png_structp png = job.png;
  png_set_write_fn(png, job.stream, write_bytes, flush_bytes);
  png_set_IHDR(png, job.info, points, points, 16, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, job.info);
  job.pixels = static_cast<unsigned char*>(platform::xmalloc(static_cast<std::size_t>(points) * 2));
  for (int iz = 0; iz < points; ++iz) {
    for (int ix = 0; ix < points; ++ix) {
      const unsigned short v = samples[static_cast<std::size_t>(iz) * points + ix];
      job.pixels[ix * 2] = static_cast<unsigned char>(v >> 8);
      job.pixels[ix * 2 + 1] = static_cast<unsigned char>(v & 0xff);
    }
    png_write_row(png, job.pixels);
  }
  png_write_end(png, job.info);
  return 1;
}

}  // namespace

bool read_height_image(const char* name, int points_per_side, unsigned short* samples) {
  PngJob job;
  job.stream = data::open_data(name, "rb");
  if (!job.stream) return false;
  unsigned char signature[8];
  if (data::ds_read(job.stream, signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
    data::close_data(job.stream);
    return false;
  }
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, on_error, on_warning);
  if (!job.png) platform::fatal_out_of_memory();
  job.info = png_create_info_struct(job.png);
  if (!job.info) platform::fatal_out_of_memory();
  const int ok = decode(job, points_per_side, samples);
  png_destroy_read_struct(&job.png, &job.info, nullptr);
  std::free(job.rows);
  std::free(job.pixels);
  data::close_data(job.stream);
  return ok != 0;
}

bool write_height_image(const char* name, int points_per_side, const unsigned short* samples) {
  PngJob job;
  job.stream = data::open_data(name, "wb");
  if (!job.stream) return false;
  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, on_error, on_warning);
  if (!job.png) platform::fatal_out_of_memory();
  job.info = png_create_info_struct(job.png);
  if (!job.info) platform::fatal_out_of_memory();
  int ok = encode(job, points_per_side, samples);
  png_destroy_write_struct(&job.png, &job.info);
  std::free(job.pixels);
  if (data::ds_flush(job.stream) != 0) ok = 0;
  data::close_data(job.stream);
  return ok != 0;
}

}  // namespace sim
