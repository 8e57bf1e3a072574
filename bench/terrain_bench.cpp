// terrain_bench.cpp -- how fast the terrain answers height and normal queries, runs the brush
// and loads, on a 1025 x 1025 field.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "data/data.h"
#include "sim/sim.h"

namespace {

constexpr int kSizeLog2 = 9;  // 1025 points a side
constexpr int kPoints = (1 << (kSizeLog2 + 1)) + 1;
constexpr float kSpacing = 2.0f;  // feet

// A track folder made once per run and removed at exit.
struct Fixture : bench_support::BenchFolder {
  Fixture() {
    std::mt19937 random(1);
    std::string hf = std::to_string(kSizeLog2) + " " + std::to_string(kSpacing) + " 0 200\n:";
    // Rolling ground with some noise, as a track has.
    for (int iz = 0; iz < kPoints; ++iz) {
      for (int ix = 0; ix < kPoints; ++ix) {
        const int v = 32768 + static_cast<int>(12000 * std::sin(ix * 0.02) * std::cos(iz * 0.03)) +
                      static_cast<int>(random() % 512);
        hf.push_back(static_cast<char>(v & 0xff));
        hf.push_back(static_cast<char>(v >> 8));
      }
    }
    write("track/terrain.hf", hf);
    write("track/shadingx2.ppm", "P6\n" + std::to_string(kPoints) + " " + std::to_string(kPoints) +
                                     "\n255\n" + std::string(kPoints * kPoints * 3, '\x60'));
    write("track/tilemap", std::string((kPoints / 2) * (kPoints / 2), '\x01'));
    write("track/tileinfo",
          "texture @dirt.png\nfriction 1.1 2\nfriction 0.8 20\nroost count=12\naddtile\n"
          "texture @sand.png\nroll_resist 8 30 5\nroost splash=1\naddtile\n");
    use_as_data();
  }
  ~Fixture() { sim::terrain_free(); }
};

void load_fixture() {
  static Fixture fixture;
  if (!sim::g_terrain.heights && !sim::terrain_load("@track", 0)) std::abort();
}

// One height and one face normal at a random point; items are query pairs.
void BM_HeightAndFaceNormal(benchmark::State& state) {
  load_fixture();
  std::mt19937 random(2);
  std::uniform_real_distribution<float> where(0.0f, sim::g_terrain.extent);
  std::vector<float> points(8192);
  for (float& p : points) p = where(random);
  std::size_t i = 0;
  for (auto _ : state) {
    const float x = points[i], z = points[i + 1];
    i = (i + 2) & (points.size() - 1);
    benchmark::DoNotOptimize(sim::terrain_height(x, z));
    benchmark::DoNotOptimize(sim::terrain_face_normal(x, z));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HeightAndFaceNormal);

// One brush stroke of radius 4 ft, with its shading refresh; raising and lowering in turn.
void BM_Deform4ft(benchmark::State& state) {
  load_fixture();
  float amount = 0.01f;
  float x = 500;
  for (auto _ : state) {
    sim::terrain_deform(x, 700, 4.0f, amount);
    amount = -amount;
    x = x < 1500 ? x + 0.37f : 500;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Deform4ft);

// Loading the whole track: heights, digest, pyramid, shading, surfaces, tilemap.
void BM_LoadTrack(benchmark::State& state) {
  load_fixture();
  for (auto _ : state) {
    if (!sim::terrain_load("@track", 0)) state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_LoadTrack)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
