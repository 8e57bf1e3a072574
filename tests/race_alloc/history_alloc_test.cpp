// history_alloc_test.cpp -- once recording or playback has started, the state history and the
// demo files allocate nothing tick by tick. It counts through the benchmarks' replacement of
// the global operator new, which is why it is an executable of its own.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "allocation_count.h"
#include "race/race.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

constexpr int kRiders = 40;
constexpr int kTicks = 4000;

sim::StateRecord record_of(int slot, int tick) {
  sim::StateRecord r;
  for (int i = 0; i < sim::kStateRecordSize; ++i) {
    r.bytes[i] = static_cast<unsigned char>(slot * 13 + tick + i);
  }
  return r;
}

class HistoryAllocation : public test_support::DataFoldersTest {
 protected:
  std::unique_ptr<race::History> history = std::make_unique<race::History>();
};

TEST_F(HistoryAllocation, RecordingAndPlaybackAllocateNothingPerTick) {
  race::history_clear(*history);
  race::DemoHeader header;
  header.track = "hill";
  header.riders.resize(kRiders);
  std::vector<int> slots;
  for (int i = 0; i < kRiders; ++i) slots.push_back(i);
  race::DemoWriter writer;
  ASSERT_TRUE(race::record_start(writer, "@demos/default.kvdemo", header, slots));

  long before = bench_support::g_allocations.load();
  for (int now = 0; now < kTicks; ++now) {
    for (int slot = 0; slot < kRiders; ++slot) {
      if ((now + slot) % race::kSampleInterval == 0) {
        race::add_state(*history, slot, record_of(slot, now), now);
      }
      race::history_pose(*history, slot, now, 6);
    }
    if (now % 1000 == 500) race::record_message(writer, "a rider joined", now);
    race::record_flush(writer, *history, now, false);
  }
  race::record_flush(writer, *history, kTicks, true);
  EXPECT_EQ(bench_support::g_allocations.load() - before, 0) << "recording";
  race::record_stop(writer);

  race::history_clear(*history);
  race::DemoReader reader;
  ASSERT_TRUE(race::playback_open(reader, "@demos/default.kvdemo", false));
  std::vector<int> bound;
  for (int i = 0; i < kRiders; ++i) bound.push_back(kRiders + i);
  race::playback_bind(reader, bound);
  before = bench_support::g_allocations.load();
  int clock = 0;
  for (int step = 0; step < kTicks; ++step, ++clock) {
    race::playback_step(reader, *history, &clock);
    for (int slot : bound) race::history_pose(*history, slot, clock, 6);
    if (step == kTicks / 2) race::playback_seek(reader, clock - 500);
  }
  EXPECT_EQ(bench_support::g_allocations.load() - before, 0) << "playback";
  EXPECT_EQ(race::newest_tick(*history, kRiders), kTicks - race::kSampleInterval);
  race::playback_close(reader);
}

}  // namespace
