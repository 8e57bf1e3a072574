// sim_bench.cpp -- simulated ticks per second for 1, 10 and 40 bikes riding on rolling ground,
// and how many heap allocations a tick makes once the bikes are set up.
//
// Real time is 128 ticks a second; "real_time_x" is the multiple of it one core keeps up.
// Allocations are counted through operator new, that is everything Korvex's own code
// allocates; ODE's joint group and world arena use their own memory.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "allocation_count.h"
#include "shell/catalogue.h"
#include "shell/shell.h"
#include "sim/sim.h"

using bench_support::g_allocations;

namespace {

// Rolling ground, 2048 ft a side, hard-packed.
void make_ground() {
  sim::terrain_create(9, 2);
  sim::HeightField& f = sim::g_terrain;
  for (int iz = 0; iz < f.points_per_side; ++iz) {
    for (int ix = 0; ix < f.points_per_side; ++ix) {
      f.heights[static_cast<std::size_t>(iz) * f.points_per_side + ix] =
          static_cast<float>(3 * std::sin(ix * 0.05) * std::cos(iz * 0.04));
    }
  }
  f.surfaces[0].friction_coef[0] = 1.1f;
  sim::terrain_refresh();
}

// Each bike rides its own circle at about 40 ft/s.
void ride(sim::Bike* bike, void*) {
  const double v = sim::frame_speed(bike);
  sim::set_throttle(bike, std::clamp((40 - v) * 0.25 + 0.2, 0.0, 1.0));
  sim::set_steer(bike, 0.08);
}

void BM_SimulateTick(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  sim::create_world();
  make_ground();
  const sim::BikeInfo* info = shell::find_bike_info("crf450(2013)");
  std::vector<sim::Bike*> bikes;
  for (int i = 0; i < count; ++i) {
    sim::Bike* bike = sim::bike_create(info, i, "1");
    shell::apply_default_rider_setup(bike, *info);
    const double x = 300 + 150 * (i % 8), z = 300 + 150 * (i / 8);
    sim::bike_translate(bike, x, sim::terrain_height(float(x), float(z)), z);
    sim::bike_place(bike);
    bikes.push_back(bike);
  }
  // Get going before the clock starts.
  for (int t = 0; t < 256; ++t) sim::simulate_tick(bikes.data(), count, ride, nullptr);
  const long before = g_allocations.load();
  long ticks = 0;
  for (auto _ : state) {
    sim::simulate_tick(bikes.data(), count, ride, nullptr);
    ++ticks;
  }
  const long allocations = g_allocations.load() - before;
  state.counters["ticks_per_s"] =
      benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
  state.counters["real_time_x"] = benchmark::Counter(
      static_cast<double>(ticks) / sim::kTicksPerSecond, benchmark::Counter::kIsRate);
  state.counters["allocs_per_tick"] = ticks ? static_cast<double>(allocations) / ticks : 0;
  for (sim::Bike* bike : bikes) sim::bike_destroy(bike);
  sim::terrain_free();
}
BENCHMARK(BM_SimulateTick)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
