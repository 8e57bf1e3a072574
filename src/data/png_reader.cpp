// png_reader.cpp -- read_png: PNG images through libpng, their hint text and custom mip levels.
//
// libpng reports errors by longjmp back to the setjmp in `decode`. That frame and everything
// libpng calls back into hold nothing with a destructor: whatever must be released on an error
// lives in PngRead and is released by read_png after `decode` returns.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data.h"
#include "data/data_internal.h"
#include "platform/platform.h"

namespace data {

namespace {

// The side file is a few words of hints; more than this is not read.
constexpr std::size_t kMaxSideFileBytes = 65536;
// libpng's own buffers: rows, inflate state, and ancillary chunks, which it reads whole. A
// chunk too large for its limit is only warned about and still allocated, so a text chunk
// claiming hundreds of megabytes would be; the allocator below refuses such a request instead,
// and libpng then skips the chunk (and finds the file cut short).
constexpr png_alloc_size_t kMaxLibpngAllocation = 16 << 20;

struct PngRead {
  DataStream* stream = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_infop end_info = nullptr;
  Image image;
  png_bytep* rows = nullptr;
  std::string* hints = nullptr;
  char error[200] = "";
};

void on_error(png_structp png, png_const_charp text) {
  auto* read = static_cast<PngRead*>(png_get_error_ptr(png));
  std::snprintf(read->error, sizeof read->error, "%s", text);
  png_longjmp(png, 1);
}

// Warnings are about ancillary chunks libpng skipped; nothing to tell.
void on_warning(png_structp, png_const_charp) {}

png_voidp allocate(png_structp, png_alloc_size_t size) {
  if (size > kMaxLibpngAllocation) return nullptr;
  return platform::xmalloc(size);
}

void release(png_structp, png_voidp block) { std::free(block); }

void read_bytes(png_structp png, png_bytep out, std::size_t count) {
  auto* stream = static_cast<DataStream*>(png_get_io_ptr(png));
  if (ds_read(stream, out, count) != count) png_error(png, "file cut short");
}

void append_text(png_structp png, png_infop info, std::string& hints) {
  png_textp text = nullptr;
  int count = 0;
  png_get_text(png, info, &text, &count);
  for (int i = 0; i < count; ++i) {
    if (text[i].text) hints += text[i].text;
  }
}

// Decodes into read.image (level 0, room left for the chain); 0 with
// read.error set on failure.
int decode(PngRead& read) {
  if (setjmp(png_jmpbuf(read.png))) return 0;
  png_structp png = read.png;
  png_set_read_fn(png, read.stream, read_bytes);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_read_info(png, read.info);
  append_text(png, read.info, *read.hints);

  const png_uint_32 width = png_get_image_width(png, read.info);
  const png_uint_32 height = png_get_image_height(png, read.info);
  if (!image_size_ok(static_cast<int>(width), static_cast<int>(height))) {
    png_error(png, "image too large");
  }
  const int colour = png_get_color_type(png, read.info);
  png_set_expand(png);  // palette to RGB, grey to 8 bits, transparency chunk to alpha
  png_set_strip_16(png);
  if (!(colour & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, read.info);

  const int channels = png_get_channels(png, read.info);
  if ((channels != 3 && channels != 4) ||
      png_get_rowbytes(png, read.info) != static_cast<std::size_t>(width) * channels) {
    png_error(png, "unexpected pixel layout");
  }
  image_allocate(read.image, static_cast<int>(width), static_cast<int>(height), channels);
  read.rows = static_cast<png_bytep*>(platform::xmalloc(sizeof(png_bytep) * height));
  for (png_uint_32 y = 0; y < height; ++y) {
    read.rows[y] = read.image.pixels + static_cast<std::size_t>(y) * width * channels;
  }
  png_read_image(png, read.rows);
  png_read_end(png, read.end_info);
  append_text(png, read.end_info, *read.hints);
  return 1;
}

void append_side_file(const char* name, std::string& hints) {
  const std::string side = std::string(name) + ".info";
  DataStream* stream = open_data(side.c_str(), "rb");
  if (!stream) return;
  char buffer[4096];
  std::size_t total = 0;
  while (total < kMaxSideFileBytes) {
    const std::size_t got = ds_read(stream, buffer, sizeof buffer);
    if (got == 0) break;
    hints.append(buffer, got);
    total += got;
  }
  close_data(stream);
}

}  // namespace

int read_png(const char* name, Image& image, std::string& hints) {
  image = Image{};
  hints.clear();
  PngRead read;
  read.hints = &hints;
  read.stream = open_data(name, "rb");
  if (!read.stream) {
    set_image_error("Can't open PNG '%.900s'", name);
    return 0;
  }
  unsigned char signature[8];
  if (ds_read(read.stream, signature, 8) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
    close_data(read.stream);
    set_image_error("Not a PNG file '%.900s'", name);
    return 0;
  }
  read.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &read, on_error, on_warning, nullptr,
                                      allocate, release);
  if (!read.png) platform::fatal_out_of_memory();
  read.info = png_create_info_struct(read.png);
  read.end_info = png_create_info_struct(read.png);
  if (!read.info || !read.end_info) platform::fatal_out_of_memory();

  const int ok = decode(read);
  png_destroy_read_struct(&read.png, &read.info, &read.end_info);
  std::free(read.rows);
  close_data(read.stream);
  if (!ok) {
    image_free(read.image);
    hints.clear();
    set_image_error("Can't read PNG '%.900s': %s", name, read.error);
    return 0;
  }

  append_side_file(name, hints);
  const bool max_alpha = hints.find("[mip_max_alpha]") != std::string::npos;
  if (hints.find("[mip_custom]") != std::string::npos) {
    if (take_custom_mips(read.image, max_alpha)) {
      image = read.image;
      return 1;
    }
    platform::messagef("Warning: Invalid height for custom MIP map in '%.950s'", name);
  }
  build_mip_chain(read.image, max_alpha);
  image = read.image;
  return 1;
}

}  // namespace data
