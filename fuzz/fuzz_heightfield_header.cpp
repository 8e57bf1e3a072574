// fuzz_heightfield_header.cpp -- terrain_load with an arbitrary terrain.hf.
//
// The rest of the track is a valid one-tile field (3 x 3 shading, one tilemap byte, a tile
// table), so inputs with a size exponent of 0 load all the way and are queried and brushed;
// every other input must fail cleanly, leaving nothing loaded.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "sim/sim.h"

namespace {

std::string g_folder;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void write(const std::string& name, const void* bytes, std::size_t size) {
  FILE* out = std::fopen((g_folder + "/" + name).c_str(), "wb");
  check(out != nullptr);
  std::fwrite(bytes, 1, size, out);
  std::fclose(out);
}

void write(const std::string& name, const std::string& text) {
  write(name, text.data(), text.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/korvex_fuzz_heightfield_XXXXXX";
  if (!mkdtemp(folder)) std::abort();
  g_folder = folder;
  setenv("TAVO_LOGFILE", "/dev/null", 1);
  platform::log_control("NOFLUSH");
  write("shadingx2.ppm", "P6\n3 3\n255\n" + std::string(27, '\x40'));
  write("tilemap", "\x00", 1);
  write("tileinfo", "texture @dirt.png\nfriction 1 2\naddtile\n");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  write("terrain.hf", bytes, size);
  if (!sim::terrain_load(g_folder.c_str(), 0)) {
    check(sim::g_terrain.heights == nullptr);
    return 0;
  }
  const sim::HeightField& field = sim::g_terrain;
  check(field.points_per_side == 3 && field.heights != nullptr);
  check(std::isfinite(field.extent) && field.extent > 0);
  for (float at : {-1.0f, 0.0f, 0.3f, 1.7f, field.extent, 1e30f, NAN, INFINITY}) {
    volatile float h = sim::terrain_height(at, field.extent - at);
    const sim::Vec3 n = sim::terrain_face_normal(at, at);
    check(!(n.y < 0));
    check(sim::terrain_surface_at(at, at) == 0);
    (void)h;
  }
  sim::terrain_deform(field.extent / 2, field.extent / 2, field.spacing * 1.5f, 1.0f);
  sim::terrain_free();
  return 0;
}
