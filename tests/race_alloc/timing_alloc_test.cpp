// timing_alloc_test.cpp -- once a race is set up, its timing allocates nothing tick by tick.
// It counts through the benchmarks' replacement of the global operator new, which is why it
// is an executable of its own.
#include <gtest/gtest.h>

#include <cmath>

#include "allocation_count.h"
#include "race/race.h"
#include "sim/sim.h"

namespace {

// Four gates around a square, each facing along the course; a lap of four positions.
race::Track square_track() {
  race::Track track;
  const float centres[4][2] = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
  const float forward[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  for (int c = 0; c < 4; ++c) {
    race::TimingGate gate;
    gate.centre = {centres[c][0], 0, centres[c][1]};
    gate.forward = {forward[c][0], 0, forward[c][1]};
    gate.radius = 8;
    track.checkpoints.push_back(gate);
  }
  track.lap_sequences = {0, 1, 2, 3, 0, 1, 2, 3};
  track.first_lap_length = 4;
  track.normal_lap_length = 4;
  track.first_lap_splits = 4;
  track.normal_lap_splits = 4;
  return track;
}

TEST(TimingAllocation, ARaceToItsClassificationAllocatesNothing) {
  const race::Track track = square_track();
  race::Timing timing;
  race::RaceRules rules;
  rules.start_tick = 14 * sim::kTicksPerSecond;
  rules.extra_laps = 20;
  rules.online = true;
  rules.local_slot = 0;
  race::timing_setup(timing, track, rules);
  constexpr int kRiders = 40;
  const double spot[3] = {};
  for (int slot = 0; slot < kRiders; ++slot) {
    race::timing_add_bike(timing, slot, slot == 0 ? race::kRiderLocal : race::kRiderRemote, spot);
  }

  const long before = bench_support::g_allocations.load();
  // Every rider reaches its next gate every 16 + slot / 8 ticks, some cutting a gate now and
  // then, and is elsewhere in between; the race of 20 laps (80 positions) ends within it.
  for (int now = 0; now < 4000; ++now) {
    for (int slot = 0; slot < kRiders; ++slot) {
      race::BikeTiming& bike = timing.bikes[slot];
      bike.last_update = now;
      sim::Controls controls;
      const double at[3] = {0, 0, 0};
      race::false_start_step(timing, slot, at, now, controls);
      const int period = 16 + slot / 8;
      if (now < rules.start_tick || now % period != 0) {
        race::gate_step(timing, slot, 5000, 5000, now);
        continue;
      }
      const int k = bike.passed + ((now / period + slot) % 23 == 0 ? 1 : 0);
      const race::TimingGate& gate = track.checkpoints[race::sequence_checkpoint(track, k)];
      race::gate_step(timing, slot, gate.centre.x + gate.forward.x, gate.centre.z + gate.forward.z,
                      now);
      race::is_ghost(timing, slot, now);
    }
    if (now % 512 == 510) race::update_order(timing, now);
  }
  const long allocations = bench_support::g_allocations.load() - before;

  EXPECT_TRUE(timing.classified);
  EXPECT_EQ(allocations, 0);
}

}  // namespace
