// scene_bench.cpp -- frames per second of the chase view on Rabbit Hill at 1280 x 720, with 1
// and with 20 bikes, for each "Terrain Rendering Method", on whatever GL the offscreen driver
// gives (a software renderer on a machine without a GPU). Reports the ground polygons of a
// frame and the heap allocations a frame makes once the race is set up.
//
// The race rides on between frames (four ticks a frame, about 32 frames a second of game
// time), so the ground texture windows move as they do in play.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "allocation_count.h"
#include "render/render.h"
#include "shell/shell.h"

using bench_support::g_allocations;

namespace {

const char* const kMethods[] = {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy",
                                "Shaders/Direct"};

void frame() {
  for (int t = 0; t < 4; ++t) shell::tool_race_tick();
  shell::camera_draw_view(render::kViewChase);
  shell::update_hud_input();
  render::draw_hud();
  render::terrain_refresh_slice();
  glFinish();
}

void BM_ChaseView(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  shell::ToolRace race;
  race.tool = "scene_bench";
  race.bikes = static_cast<int>(state.range(1));
  race.method = method;
  race.shaders = method >= render::kTerrainShadersCopy;
  if (!shell::tool_race_begin(race)) {
    state.SkipWithError("no race");
    return;
  }
  state.SetLabel(kMethods[method]);
  glViewport(0, 0, race.width, race.height);
  // Settle: the ground textures and the model cache fill, the riders get going.
  for (int i = 0; i < 30; ++i) frame();
  const long before = g_allocations.load();
  long polygons = 0;
  for (auto _ : state) {
    frame();
    polygons += render::g_frame_counters.ground_polygons;
  }
  // Read before the counters below, which allocate themselves.
  const long allocations = g_allocations.load() - before;
  const double frames = static_cast<double>(state.iterations());
  state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["ground_polygons"] = static_cast<double>(polygons) / frames;
  state.counters["allocations_per_frame"] = static_cast<double>(allocations) / frames;
  shell::tool_race_end(false);
}

}  // namespace

BENCHMARK(BM_ChaseView)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {1, 20}})
    ->ArgNames({"method", "bikes"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

BENCHMARK_MAIN();
