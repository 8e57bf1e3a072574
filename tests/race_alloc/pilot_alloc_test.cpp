// pilot_alloc_test.cpp -- computer riders allocate nothing tick by tick once the race is set
// up: picking lines, following the path, the start and the driving. It counts through the
// benchmarks' replacement of the global operator new, which is why it is an executable of
// its own.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ai/pilot.h"
#include "allocation_count.h"
#include "race/race.h"
#include "sim/bike_fixtures.h"

namespace {

constexpr double kCentre = 512, kRadius = 150;

// A quarter of a circle round the middle of the field, from angle `quarter` x 90 degrees,
// anticlockwise seen from above, a point every 10 ft at 30 ft/s.
std::vector<ai::LinePoint> quarter(int quarter, float offset) {
  std::vector<ai::LinePoint> points;
  const double r = kRadius + offset;
  const int n = static_cast<int>(std::numbers::pi / 2 * r / 10);
  for (int i = 0; i < n; ++i) {
    const double a = (quarter + static_cast<double>(i) / n) * std::numbers::pi / 2;
    points.push_back(ai::LinePoint{static_cast<float>(kCentre + r * std::cos(a)), 0,
                                   static_cast<float>(kCentre - r * std::sin(a)), 30, 0});
  }
  return points;
}

class PilotAllocation : public bike_fixtures::BikeTest {};

TEST_F(PilotAllocation, RacingAlongLinesAllocatesNothingPerTick) {
  flat_ground(7);  // 1024 ft square
  ai::lines_reset(ai::g_lines, 1, 4);
  for (int row = 0; row < 5; ++row) {
    for (int k = 0; k < 3; ++k) {
      ai::learn_line(ai::g_lines, row, quarter(row % 4, static_cast<float>(4 * k)), 300, 600);
    }
  }
  ai::plan_lines(ai::g_lines);
  race::RaceRules rules;
  race::timing_setup(race::g_timing, race::g_track, rules);
  ai::pilots_setup(3);
  constexpr int kRiders = 4;
  sim::Bike* bikes[kRiders];
  const char* who[kRiders] = {"kestrel", "harrier", "merlin", "tester"};
  for (int i = 0; i < kRiders; ++i) {
    bikes[i] = new_bike();
    bikes[i]->slot = i;
    // On the circle's start, facing along it (-z), a rider's width apart.
    put(bikes[i], kCentre + kRadius + 4 * i, kCentre + 10 * (i % 2));
    ai::pilot_begin(i, true, who[i]);
  }
  ai::g_pilot_race.bikes = bikes;
  ai::g_pilot_race.count = kRiders;
  ai::g_pilot_race.ready_tick = 0;
  ai::g_pilot_race.start_tick = 0;
  sim::g_sim.race_running = true;
  auto tick = [&] {
    ai::g_pilot_race.now_seconds = static_cast<double>(sim::g_sim.tick) / sim::kTicksPerSecond;
    sim::simulate_tick(bikes, kRiders, [](sim::Bike* bike, void*) { ai::auto_pilot_step(bike); });
  };
  for (int i = 0; i < 3 * sim::kTicksPerSecond; ++i) tick();
  const long before = bench_support::g_allocations.load();
  for (int i = 0; i < 20 * sim::kTicksPerSecond; ++i) tick();
  EXPECT_EQ(bench_support::g_allocations.load() - before, 0);
  // They rode: each has picked lines well past the first row.
  for (int i = 0; i < kRiders; ++i) EXPECT_GT(ai::g_pilots[i].next_segment, 3) << i;
  ai::lines_reset(ai::g_lines, 0, 0);
}

}  // namespace
