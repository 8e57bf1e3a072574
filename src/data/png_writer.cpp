// png_writer.cpp -- writes RGB and RGBA pictures as PNG files through libpng.
#include <png.h>

#include <csetjmp>

#include "data/data.h"
#include "platform/platform.h"

namespace data {

namespace {

void write_bytes(png_structp png, png_bytep bytes, png_size_t size) {
  auto* stream = static_cast<DataStream*>(png_get_io_ptr(png));
  if (ds_write(stream, bytes, size) != size) png_error(png, "write failed");
}

void flush_bytes(png_structp png) { ds_flush(static_cast<DataStream*>(png_get_io_ptr(png))); }

void on_error(png_structp png, png_const_charp text) {
  platform::log("PNG write error: %s\n", text);
  // libpng's only way out of a failed write; nothing on the way needs unwinding.
  longjmp(png_jmpbuf(png), 1);
}

void on_warning(png_structp, png_const_charp) {}

// The part that may jump back: kept apart so no C++ object lives across it.
bool encode(DataStream* stream, const unsigned char* pixels, int width, int height, int channels,
            bool bottom_up, const char* text) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, stream, write_bytes, flush_bytes);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_text chunk{};
  if (text) {
    chunk.compression = PNG_TEXT_COMPRESSION_NONE;
    chunk.key = const_cast<char*>("Comment");
    chunk.text = const_cast<char*>(text);
    png_set_text(png, info, &chunk, 1);
  }
  png_write_info(png, info);
  const std::size_t row_bytes =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
  for (int y = 0; y < height; ++y) {
    const int row = bottom_up ? height - 1 - y : y;
    png_write_row(png, pixels + static_cast<std::size_t>(row) * row_bytes);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool write_png(const char* name, const unsigned char* pixels, int width, int height, int channels,
               bool bottom_up, const char* text) {
  if (!pixels || width <= 0 || height <= 0 || (channels != 3 && channels != 4)) return false;
  DataStream* stream = open_data(name, "wb");
  if (!stream) return false;
  const bool ok = encode(stream, pixels, width, height, channels, bottom_up, text);
  const bool flushed = ds_flush(stream) == 0;
  close_data(stream);
  return ok && flushed;
}

}  // namespace data
