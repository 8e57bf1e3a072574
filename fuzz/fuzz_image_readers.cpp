// fuzz_image_readers.cpp -- every image reader, and the texture cache over them, on arbitrary
// files.
//
// Byte 0 of the input picks the reader (modulo 7): PNG, PPM, PGM, J6, J7, a ".seq" after its
// magic, or texture_load (which dispatches on the file's first word, follows links and plays
// animations) with a device that only hands out ids. The rest is the file. A successful read
// must give an image within the size limits whose every byte can be read.
#include <png.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data.h"
#include "data/data_internal.h"
#include "platform/platform.h"

namespace {

std::string g_folder;
std::string g_input;

unsigned g_next_id = 1;
unsigned fake_create(const data::Image&, const data::TextureUpload&, long* bytes) {
  *bytes = 1;
  return g_next_id++;
}
void fake_replace(unsigned, const data::Image&, int) {}
void fake_destroy(unsigned) {}
const data::TextureDevice kFakeDevice = {fake_create, fake_replace, fake_destroy};

// Reads every byte of the image and its chain, so a short buffer shows.
void check(const data::Image& image, bool chain) {
  if (!data::image_size_ok(image.width, image.height)) __builtin_trap();
  if (image.channels < 1 || image.channels > 4) __builtin_trap();
  const std::size_t size =
      chain ? data::mip_chain_bytes(image.width, image.height, image.channels)
            : static_cast<std::size_t>(image.width) * image.height * image.channels;
  volatile unsigned sum = 0;
  for (std::size_t i = 0; i < size; i += 61) sum = sum + image.pixels[i];
  sum = sum + image.pixels[size - 1];
}

void read_stream(int mode) {
  data::DataStream* stream = data::open_data(g_input.c_str(), "rb");
  if (!stream) __builtin_trap();
  data::Image image;
  data::Animation animation;
  int ok = 0;
  switch (mode) {
    case 1:
      ok = data::read_ppm(stream, image);
      break;
    case 2:
      ok = data::read_pgm(stream, image);
      break;
    case 3:
      ok = data::read_jimage(stream, 3, image);
      break;
    case 4:
      ok = data::read_jimage(stream, 4, image);
      break;
    case 5:
      ok = data::read_animation(stream, animation);
      for (const data::Image& frame : animation.images) check(frame, true);
      data::animation_free(animation);
      break;
  }
  data::close_data(stream);
  if (ok && mode != 5) check(image, mode != 2);
  if (!ok && image.pixels) __builtin_trap();
  data::image_free(image);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/korvex_fuzz_images_XXXXXX";
  if (!mkdtemp(folder)) std::abort();
  g_folder = folder;
  g_input = g_folder + "/input-repeat.tex";
  setenv("KV_HOME", folder, 1);
  setenv("XDG_DATA_HOME", folder, 1);
  // Failed loads are logged; a flushed and synced log file would slow every run down.
  setenv("TAVO_LOGFILE", "/dev/null", 1);
  platform::log_control("NOFLUSH");
  // "@frame.png" for animations that name a PNG.
  png_image frame{};
  frame.version = PNG_IMAGE_VERSION;
  frame.width = 2;
  frame.height = 2;
  frame.format = PNG_FORMAT_RGBA;
  const unsigned char pixels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 9};
  if (!png_image_write_to_file(&frame, (g_folder + "/frame.png").c_str(), 0, pixels, 0, nullptr)) {
    std::abort();
  }
  data::set_texture_device(&kFakeDevice);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 1) return 0;
  const int mode = bytes[0] % 7;
  const std::string file(reinterpret_cast<const char*>(bytes + 1), size - 1);
  // Animations and links name other files; keep them off devices that never end or block.
  if ((mode == 5 || mode == 6) &&
      (file.find("/dev") != std::string::npos || file.find("/proc") != std::string::npos ||
       file.find("/sys") != std::string::npos)) {
    return 0;
  }
  FILE* out = std::fopen(g_input.c_str(), "wb");
  if (!out) __builtin_trap();
  std::fwrite(file.data(), 1, file.size(), out);
  std::fclose(out);

  if (mode == 0) {
    data::Image image;
    std::string hints;
    if (data::read_png(g_input.c_str(), image, hints)) {
      if (image.channels != 3 && image.channels != 4) __builtin_trap();
      check(image, true);
    } else if (image.pixels) {
      __builtin_trap();
    }
    data::image_free(image);
  } else if (mode == 6) {
    const unsigned id = data::texture_load(g_input.c_str());
    data::anim_start(id, 0);
    for (int tick = 0; tick < 64; tick += 7) data::anim_update(tick);
    data::texture_new_generation();
    data::texture_sweep();
    data::texture_cache_reset_for_test();
  } else {
    read_stream(mode);
  }
  return 0;
}
