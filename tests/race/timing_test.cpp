// timing_test.cpp -- gate passes, laps, the running order, the race's length, finishing, the
// cut-track and false-start penalties, slow riders and ghosts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "race/race.h"
#include "sim/bike_fixtures.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

constexpr int kSecond = sim::kTicksPerSecond;
constexpr int kStart = 14 * kSecond;
constexpr int kF = 6;  // first-lap length
constexpr int kN = 5;  // normal-lap length: laps end at positions 5, 10, 15, ...

// Six checkpoints in a row, each facing its own way so that x and z cannot be confused, at
// heights that play no part. The first lap runs through all six, every later lap through
// 1 .. 5 (the second of them a silent gate).
race::Track make_track() {
  race::Track track;
  for (int c = 0; c < 6; ++c) {
    race::TimingGate gate;
    gate.centre = {30.0f * c, 7.0f + c, -20.0f * c};
    const float angle = 0.6f * c + 0.3f;
    gate.forward = {std::cos(angle), 0.5f, std::sin(angle)};
    gate.radius = 5;
    track.checkpoints.push_back(gate);
  }
  track.lap_sequences = {0, 1, 2, 3, 4, 5, 1, race::kSilentGateBase + 2, 3, 4, 5};
  track.first_lap_length = kF;
  track.normal_lap_length = kN;
  track.first_lap_splits = 6;
  track.normal_lap_splits = 4;
  return track;
}

race::RaceRules laps_race(int laps) {
  race::RaceRules rules;
  rules.start_tick = kStart;
  rules.extra_laps = laps;
  return rules;
}

class TimingTest : public ::testing::Test {
 public:
  void SetUp() override { start(laps_race(3), 3); }

  // A new race with the first `riders` slots in use, each standing at the origin.
  void start(const race::RaceRules& rules, int riders, race::RiderKind kind = race::kRiderLocal) {
    race::timing_setup(timing, track, rules);
    const double spot[3] = {0, 0, 0};
    for (int slot = 0; slot < riders; ++slot) race::timing_add_bike(timing, slot, kind, spot);
    race::update_order(timing, 0);
  }

  // The gate of sequence position k: its centre and its unit forward direction (x, z).
  void gate_of(int k, double& x, double& z, double& fx, double& fz) const {
    const race::TimingGate& gate = track.checkpoints[race::sequence_checkpoint(track, k)];
    const double length = std::hypot(gate.forward.x, gate.forward.z);
    x = gate.centre.x;
    z = gate.centre.z;
    fx = gate.forward.x / length;
    fz = gate.forward.z / length;
  }
  // The front wheel `ahead` ft along the forward direction of position k's gate (negative:
  // behind it), `aside` ft to its side.
  void at_gate(int slot, int k, int now, double ahead = 1, double aside = 0) {
    double x, z, fx, fz;
    gate_of(k, x, z, fx, fz);
    race::gate_step(timing, slot, x + ahead * fx - aside * fz, z + ahead * fz + aside * fx, now);
  }
  void nowhere(int slot, int now) { race::gate_step(timing, slot, 5000, 5000, now); }
  // Rides through every position up to k, the last at `tick`, the ones before a second apart.
  void ride_to(int slot, int k, int tick) {
    for (int j = timing.bikes[slot].passed; j <= k; ++j) at_gate(slot, j, tick - (k - j) * kSecond);
    ASSERT_EQ(timing.bikes[slot].passed, k + 1) << "slot " << slot;
  }
  // Rides through the given positions in turn, one a second from `tick`.
  void ride(int slot, const std::vector<int>& positions, int tick = kStart + kSecond) {
    for (const int k : positions) {
      at_gate(slot, k, tick);
      tick += kSecond;
    }
  }
  int passed(int slot) const { return timing.bikes[slot].passed; }

  race::Track track = make_track();
  race::Timing timing;
};

TEST_F(TimingTest, GatePassesFollowTheSequence) {
  // Each case rides `ridden` (a second apart from the start), then puts the front wheel at
  // `ahead` ft from the gate of `stand_at` and takes one more gate step.
  const struct {
    const char* what;
    std::vector<int> ridden;
    int stand_at;
    double ahead;
    int expect_passed;
    std::vector<int> expect_missed;  // positions below the new `passed` read as skipped
  } cases[] = {
      {"the next gate", {0, 1, 2}, 3, 1, 4, {}},
      {"on the gate's own line", {0, 1, 2}, 3, 0, 4, {}},
      {"at the edge of the half-disc", {0, 1, 2}, 3, 4.99, 4, {}},
      {"beyond the radius", {0, 1, 2}, 3, 5.01, 3, {}},
      {"cut from gate 3 straight into gate 5", {0, 1, 2, 3}, 5, 1, 6, {4}},
      {"two gates skipped", {0, 1}, 4, 1, 5, {2, 3}},
      {"three gates ahead is not counted", {0}, 4, 1, 1, {}},
      {"in front of the next gate", {0, 1}, 2, -0.01, 2, {}},
      {"in front of a gate far ahead", {0, 1}, 3, -3, 2, {}},
      {"the lap-ending gate skipped", {0, 1, 2, 3}, 6, 1, 4, {}},
      {"the lap-ending gate skipped, still in the next lap", {0, 1, 2, 3, 4}, 6, 1, 5, {}},
      {"the lap-ending gate then the next lap", {0, 1, 2, 3, 4, 5}, 7, 1, 8, {6}},
      {"back into a gate missed two positions back", {0, 1, 3}, 2, 1, 3, {}},
      {"back into a gate missed three positions back", {0, 1, 3, 4}, 2, 1, 3, {}},
      {"back into a gate missed four positions back", {0, 2, 3, 4}, 1, 1, 5, {1}},
      {"back into a gate already taken", {0, 1, 2, 3}, 1, 1, 4, {}},
      {"the gate just passed", {0, 1, 2, 3}, 3, 1, 4, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    start(laps_race(3), 1);
    ride(0, c.ridden);
    const int before = passed(0);
    const int now = kStart + 100 * kSecond;
    at_gate(0, c.stand_at, now, c.ahead);
    EXPECT_EQ(passed(0), c.expect_passed);
    for (int k = 0; k < c.expect_passed; ++k) {
      const bool missed =
          std::find(c.expect_missed.begin(), c.expect_missed.end(), k) != c.expect_missed.end();
      EXPECT_EQ(race::pass_tick(timing, 0, k) == -1, missed) << "position " << k;
    }
    const bool took = c.expect_passed != before;
    if (took) {
      EXPECT_EQ(race::pass_tick(timing, 0, c.stand_at), now);
    }
  }
}

TEST_F(TimingTest, TakingBackAMissedGateKeepsTheLaterPasses) {
  start(laps_race(3), 1);
  ride(0, {0, 1, 3});  // position 3 at start + 3 s
  at_gate(0, 2, kStart + 10 * kSecond);
  EXPECT_EQ(passed(0), 3);
  EXPECT_EQ(race::pass_tick(timing, 0, 2), kStart + 10 * kSecond);
  // The later pass stays in the list beyond `passed` and is taken again in turn.
  EXPECT_EQ(race::pass_tick(timing, 0, 3), kStart + 3 * kSecond);
  at_gate(0, 3, kStart + 12 * kSecond);
  EXPECT_EQ(passed(0), 4);
  EXPECT_EQ(race::pass_tick(timing, 0, 3), kStart + 12 * kSecond);
}

class TimingBikeTest : public bike_fixtures::BikeTest {};

TEST_F(TimingBikeTest, PassesReadTheFrontWheelOfABike) {
  // A gate facing the bike's forward direction (-z), crossed by the front wheel while the
  // frame is still behind it.
  sim::Bike* bike = new_bike();
  put(bike, 200, 200);
  const dReal* frame = sim::body_position(bike, sim::kFrame);
  const dReal* wheel = sim::body_position(bike, sim::kFrontWheel);
  ASSERT_LT(wheel[2], frame[2] - 1);
  race::Track track;
  race::TimingGate gate;
  gate.centre = {200, 0, static_cast<float>((frame[2] + wheel[2]) / 2)};
  gate.forward = {0, 0, -1};
  gate.radius = 10;
  track.checkpoints = {gate};
  track.lap_sequences = {0, 0};
  track.first_lap_length = 1;
  track.normal_lap_length = 1;
  race::Timing timing;
  race::timing_setup(timing, track, laps_race(3));
  const double spot[3] = {};
  race::timing_add_bike(timing, bike->slot, race::kRiderLocal, spot);
  race::gate_step(timing, *bike, kStart + kSecond);
  EXPECT_EQ(timing.bikes[bike->slot].passed, 1);
}

TEST_F(TimingTest, LapsAndLapTimes) {
  start(laps_race(5), 1);
  // Lap 1 ends at 100 s, lap 2 at 190 s, lap 3 at 270 s, lap 4 at 360 s.
  const int lap_ends[] = {100, 190, 270, 360};
  const struct {
    int passed;
    int laps;
    int gate_in_lap;
  } counts[] = {{0, 0, 0},  {3, 0, 3},  {5, 0, 5},  {6, 1, 1}, {7, 1, 2},
                {10, 1, 5}, {11, 2, 1}, {16, 3, 1}, {21, 4, 1}};
  for (const auto& c : counts) {
    SCOPED_TRACE(c.passed);
    if (c.passed > 0) ride_to(0, c.passed - 1, kStart + c.passed * 10 * kSecond);
    EXPECT_EQ(race::laps_completed(timing, 0), c.laps);
    EXPECT_EQ(race::gate_in_lap(timing, 0), c.gate_in_lap);
  }
  start(laps_race(5), 1);
  for (int lap = 0; lap < 4; ++lap) ride_to(0, kF - 1 + lap * kN, kStart + lap_ends[lap] * kSecond);
  EXPECT_EQ(race::lap_time(timing, 0, 1), 100 * kSecond);  // from the gate drop
  EXPECT_EQ(race::lap_time(timing, 0, 2), 90 * kSecond);
  EXPECT_EQ(race::lap_time(timing, 0, 3), 80 * kSecond);
  EXPECT_EQ(race::lap_time(timing, 0, 4), 90 * kSecond);
  EXPECT_EQ(race::lap_time(timing, 0, -1), 90 * kSecond);
  EXPECT_EQ(race::lap_time(timing, 0, 5), 0);
  EXPECT_EQ(race::lap_time(timing, 0, 0), 0);
  const race::BestLap best = race::best_lap(timing, 0);
  EXPECT_EQ(best.lap, 3);
  EXPECT_EQ(best.ticks, 80 * kSecond);

  // A lap line without a recorded pass (from the network) gives that lap and the next no time.
  race::set_pass_tick(timing, 0, kF - 1 + kN, -1);
  EXPECT_EQ(race::lap_time(timing, 0, 2), 0);
  EXPECT_EQ(race::lap_time(timing, 0, 3), 0);
  EXPECT_EQ(race::best_lap(timing, 0).lap, 4);

  // One lap is no best lap: the first starts at the gate.
  start(laps_race(5), 1);
  ride_to(0, kF, kStart + 100 * kSecond);
  EXPECT_EQ(race::best_lap(timing, 0).lap, 0);
}

TEST_F(TimingTest, AnUntimedTrackCountsNothing) {
  track.checkpoints.clear();
  start(laps_race(1), 2);
  race::gate_step(timing, 0, 0, 0, kStart);
  race::set_passed(timing, 1, 7);
  race::update_order(timing, kStart);
  EXPECT_EQ(passed(0), 0);
  EXPECT_EQ(race::laps_completed(timing, 1), 0);
  EXPECT_EQ(race::gate_in_lap(timing, 1), 0);
  EXPECT_EQ(race::lap_time(timing, 1, 1), 0);
  EXPECT_EQ(race::segment_time(timing, 1, 3), 0);
  EXPECT_FALSE(race::is_finished(timing, 1));
  EXPECT_FALSE(race::is_slow(timing, 0, 1, kStart + 1000 * kSecond));
  EXPECT_FALSE(timing.classified);
}

TEST_F(TimingTest, RollbackAndNetworkPasses) {
  start(laps_race(1), 1);
  ride_to(0, kF - 1, kStart + 90 * kSecond);
  ASSERT_TRUE(timing.bikes[0].finished);
  // The same count, or more, keeps the rider finished.
  race::set_passed(timing, 0, kF);
  EXPECT_TRUE(timing.bikes[0].finished);
  race::set_passed(timing, 0, 3);
  EXPECT_FALSE(timing.bikes[0].finished);
  EXPECT_EQ(passed(0), 3);
  EXPECT_EQ(timing.bikes[0].passes.size(), 3u);
  EXPECT_EQ(race::pass_tick(timing, 0, 3), -1);

  race::set_pass_tick(timing, 0, 8, 1234);
  EXPECT_EQ(race::pass_tick(timing, 0, 8), 1234);
  EXPECT_EQ(race::pass_tick(timing, 0, 5), -1);
  EXPECT_EQ(race::pass_tick(timing, 0, 9), -1);
  EXPECT_EQ(race::pass_tick(timing, 0, -1), -1);
  // A garbled position from the network is refused, not given gigabytes.
  race::set_pass_tick(timing, 0, 0x7fffffff, 99);
  race::set_pass_tick(timing, 0, -5, 99);
  EXPECT_EQ(timing.bikes[0].passes.size(), 9u);
}

TEST_F(TimingTest, PassHooksSeeThePositionBeforePassedAdvances) {
  struct Seen {
    std::vector<std::pair<int, int>> passes;  // position, `passed` at the call
    int rollbacks = 0;
    race::Timing* timing = nullptr;
  } seen;
  seen.timing = &timing;
  start(laps_race(3), 1);
  timing.hooks.context = &seen;
  timing.hooks.pass = [](void* context, int slot, int position) {
    Seen& s = *static_cast<Seen*>(context);
    s.passes.push_back({position, s.timing->bikes[slot].passed});
  };
  timing.hooks.rollback = [](void* context, int) { ++static_cast<Seen*>(context)->rollbacks; };
  ride(0, {0, 1, 3, 2});
  race::set_passed(timing, 0, 1);
  EXPECT_EQ(seen.passes, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {3, 2}, {2, 4}}));
  EXPECT_EQ(seen.rollbacks, 1);
  timing.hooks = {};
}

TEST_F(TimingTest, RunningOrderSortsByGatesThenTimeThenSlot) {
  start(laps_race(3), 4);
  ride_to(2, 4, kStart + 30 * kSecond);
  ride_to(1, 4, kStart + 29 * kSecond);
  ride_to(3, 4, kStart + 30 * kSecond);
  ride_to(0, 5, kStart + 40 * kSecond);
  std::vector<int> slots;
  for (int i = 0; i < timing.order_length; ++i) slots.push_back(timing.order[i].slot);
  EXPECT_EQ(slots, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(timing.order[0].passed, 6);
  EXPECT_EQ(timing.order[0].last_tick, kStart + 40 * kSecond);
  EXPECT_EQ(race::leader_laps(timing), 1);
}

TEST_F(TimingTest, ATimedRaceRunsToTheLeadersLapPlusTheExtraLaps) {
  // 20 minutes + 2 laps: the leader crosses the lap line at 19:58 into lap 9 and at 22:10
  // out of it.
  race::RaceRules rules;
  rules.start_tick = kStart;
  rules.duration = 20 * 60 * kSecond;
  rules.extra_laps = 2;
  start(rules, 2);
  EXPECT_EQ(timing.race_laps, race::kLapsUnknown);
  EXPECT_EQ(timing.halfway_lap, race::kLapsUnknown);
  auto lap_line = [](int lap) { return kF - 1 + (lap - 1) * kN; };
  for (int lap = 1; lap <= 8; ++lap)
    ride_to(0, lap_line(lap), kStart + lap * 14975 * kSecond / 100);
  ASSERT_EQ(race::pass_tick(timing, 0, lap_line(8)), kStart + (19 * 60 + 58) * kSecond);
  // Half the time ran out during lap 5.
  EXPECT_EQ(timing.halfway_lap, 5);
  // The time runs out during lap 9; its length is not known until the leader ends it.
  ride_to(0, lap_line(9) - 1, kStart + (22 * 60 + 9) * kSecond);
  EXPECT_EQ(timing.race_laps, race::kLapsUnknown);
  ride_to(0, lap_line(9), kStart + (22 * 60 + 10) * kSecond);
  EXPECT_EQ(timing.race_laps, 11);
  EXPECT_EQ(timing.halfway_lap, 5);

  ride_to(0, lap_line(10), kStart + 24 * 60 * kSecond);
  EXPECT_FALSE(timing.bikes[0].finished);
  ride_to(0, lap_line(11), kStart + 26 * 60 * kSecond);
  EXPECT_TRUE(timing.bikes[0].finished);
  EXPECT_EQ(timing.race_laps, 11);
  // Finished riders take no more gates.
  at_gate(0, lap_line(11) + 1, kStart + 27 * 60 * kSecond);
  EXPECT_EQ(passed(0), lap_line(11) + 1);
}

TEST_F(TimingTest, ATimedRaceEndsTheLapInWhichTheTimeRanOut) {
  // The lap line crossed at 20:01 ends the lap in which the time ran out.
  race::RaceRules rules;
  rules.start_tick = kStart;
  rules.duration = 20 * 60 * kSecond;
  rules.extra_laps = 1;
  start(rules, 1);
  ride_to(0, kF - 1 + 7 * kN, kStart + (19 * 60 + 50) * kSecond);  // lap 8
  ride_to(0, kF - 1 + 8 * kN, kStart + (20 * 60 + 1) * kSecond);   // lap 9
  EXPECT_EQ(timing.race_laps, 10);
}

TEST_F(TimingTest, EveryoneFinishesAtTheirNextLapLineOnceTheLeaderHas) {
  // Three laps: the race ends at position 15.
  int classified_calls = 0;
  start(laps_race(3), 3);
  timing.hooks.context = &classified_calls;
  timing.hooks.classified = [](void* context) { ++*static_cast<int*>(context); };
  ride_to(0, 10, kStart + 200 * kSecond);  // the leader, two laps done
  ride_to(1, 9, kStart + 250 * kSecond);   // a lap down, about to end its second lap
  ride_to(2, 10, kStart + 210 * kSecond);  // close behind the leader
  EXPECT_FALSE(timing.bikes[0].finished);
  EXPECT_FALSE(timing.bikes[2].finished);

  ride_to(0, 15, kStart + 300 * kSecond);
  EXPECT_TRUE(timing.bikes[0].finished);
  // The others are not finished until they cross a lap line after the leader did.
  EXPECT_FALSE(race::is_finished(timing, 1));
  EXPECT_FALSE(race::is_finished(timing, 2));
  ride_to(2, 14, kStart + 305 * kSecond);
  EXPECT_FALSE(timing.bikes[2].finished);
  ride_to(2, 15, kStart + 306 * kSecond);
  EXPECT_TRUE(timing.bikes[2].finished);
  EXPECT_FALSE(timing.classified);
  ride_to(1, 10, kStart + 320 * kSecond);
  EXPECT_TRUE(timing.bikes[1].finished);
  EXPECT_EQ(race::laps_completed(timing, 1), 2);

  ASSERT_TRUE(timing.classified);
  EXPECT_EQ(classified_calls, 1);
  ASSERT_EQ(timing.classification_length, 3);
  EXPECT_EQ(timing.classification[0].slot, 0);
  EXPECT_EQ(timing.classification[1].slot, 2);
  EXPECT_EQ(timing.classification[2].slot, 1);
  EXPECT_EQ(timing.classification[2].last_tick, kStart + 320 * kSecond);
  // Made once per race.
  race::update_order(timing, kStart + 400 * kSecond);
  EXPECT_EQ(classified_calls, 1);
  timing.hooks = {};
}

TEST_F(TimingTest, AFinishedRiderIsFoundWhenItsLastLapLineCameAfterTheLeaders) {
  // Passes from the network: rider 1 crossed the lap line after the leader finished, but its
  // own pass never set the flag.
  start(laps_race(1), 2);
  ride_to(0, kF - 1, kStart + 100 * kSecond);
  race::set_pass_tick(timing, 1, kF - 1, kStart + 100 * kSecond);
  race::set_passed(timing, 1, kF);
  EXPECT_FALSE(timing.bikes[1].finished);
  EXPECT_TRUE(race::is_finished(timing, 1));
  EXPECT_TRUE(timing.bikes[1].finished);
  // One whose lap line came before the leader's finish is still racing.
  start(laps_race(2), 2);
  ride_to(0, kF - 1 + kN, kStart + 200 * kSecond);
  race::set_pass_tick(timing, 1, kF - 1, kStart + 150 * kSecond);
  race::set_passed(timing, 1, kF + 2);
  EXPECT_FALSE(race::is_finished(timing, 1));
}

// The cut penalty of one rider who rides the first lap through positions 0, 1, 2, 4, 5,
// taking `cut` ticks from 2 to 4; a second rider may ride 2 .. 4 cleanly in `clean` ticks.
TEST_F(TimingTest, CutPenaltyAgainstTheFieldsTimeThroughTheCut) {
  const struct {
    const char* what;
    int cut;
    int clean;  // 0: the second rider cuts too
    int expect_penalty;
  } cases[] = {
      {"nobody rode it cleanly: 60 s expected, cut in 30 s", 30 * kSecond, 0, 31 * kSecond},
      {"nobody rode it cleanly, cut a tick under 61 s", 61 * kSecond - 1, 0, 1},
      {"nobody rode it cleanly, cut in 61 s", 61 * kSecond, 0, 0},
      {"the field took 20 s, cut in 10 s", 10 * kSecond, 20 * kSecond, 11 * kSecond},
      {"the field took 20 s, cut in 25 s", 25 * kSecond, 20 * kSecond, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    start(laps_race(1), 2);
    const int t2 = kStart + 20 * kSecond;
    if (c.clean != 0) {
      ride_to(1, 2, t2);
      ride_to(1, 4, t2 + c.clean);
    } else {
      ride(1, {0, 1, 2, 4}, t2 - 2 * kSecond);
    }
    ride(0, {0, 1, 2}, t2 - 2 * kSecond);
    at_gate(0, 4, t2 + c.cut);
    ASSERT_EQ(race::pass_tick(timing, 0, 3), -1);
    at_gate(0, 5, t2 + c.cut + 10 * kSecond);  // the leader finishes
    ASSERT_TRUE(timing.bikes[0].finished);
    ride_to(1, 5, t2 + c.cut + 200 * kSecond);
    ASSERT_TRUE(timing.classified);
    EXPECT_EQ(timing.penalty_ticks[0], c.expect_penalty);
    EXPECT_EQ(timing.penalty_laps[0], 0);
    const race::OrderEntry* entry = nullptr;
    for (int i = 0; i < timing.classification_length; ++i) {
      if (timing.classification[i].slot == 0) entry = &timing.classification[i];
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->last_tick, t2 + c.cut + 10 * kSecond + c.expect_penalty);
    EXPECT_EQ(entry->passed, kF);
  }
}

TEST_F(TimingTest, APenaltyOfTwoAndAHalfBestLapsCostsTwoLapsAndHalfALap) {
  // Five laps. Rider 1 rides 1 -> 3 cleanly in 300 s; rider 0 cuts from 1 to 3 in 51 s
  // (250 s under the 301 s expected) and then laps in 100, 120, 100 and 100 s.
  start(laps_race(5), 2);
  ride(1, {0, 1}, kStart + kSecond);
  ride_to(1, 3, kStart + 2 * kSecond + 300 * kSecond);
  ride(0, {0, 1}, kStart + kSecond);
  at_gate(0, 3, kStart + 2 * kSecond + 51 * kSecond);
  ride_to(0, 5, kStart + 100 * kSecond);
  const int laps[] = {100, 120, 100, 100};
  int tick = kStart + 100 * kSecond;
  for (int lap = 0; lap < 4; ++lap) {
    tick += laps[lap] * kSecond;
    ride_to(0, kF - 1 + (lap + 1) * kN, tick);
  }
  ASSERT_TRUE(timing.bikes[0].finished);
  EXPECT_EQ(race::segment_time(timing, 1, 3), 300 * kSecond);
  ride_to(1, 5, tick + 60 * kSecond);
  ASSERT_TRUE(timing.classified);
  EXPECT_EQ(timing.penalty_laps[0], 2);
  EXPECT_EQ(timing.penalty_ticks[0], 50 * kSecond);
  EXPECT_EQ(timing.classification[0].slot, 0);
  EXPECT_EQ(timing.classification[0].passed, kF + 4 * kN - 2 * kN);
  EXPECT_EQ(timing.classification[0].last_tick, tick + 50 * kSecond);
  EXPECT_EQ(timing.penalty_ticks[1], 0);
  EXPECT_EQ(timing.classification[1].last_tick, tick + 60 * kSecond);
}

TEST_F(TimingTest, SegmentTimesOfLaterLapsAverageEveryCleanLap) {
  // Rider 0 rides positions 7 -> 9 (the second to fourth gates of a normal lap) in 20 s in
  // lap 2 and 30 s in lap 3, and cuts through them in lap 4; rider 1 takes 40 s in lap 2.
  start(laps_race(9), 2);
  auto ride_through = [&](int slot, int from, int seconds, int at) {
    ride_to(slot, from, at);
    ride_to(slot, from + 2, at + seconds * kSecond);
  };
  ride_through(0, 7, 20, kStart + 200 * kSecond);
  ride_through(0, 12, 30, kStart + 300 * kSecond);
  ride_to(0, 16, kStart + 400 * kSecond);
  at_gate(0, 19, kStart + 405 * kSecond);
  ride_through(1, 7, 40, kStart + 250 * kSecond);
  ride_to(1, 12, kStart + 350 * kSecond);
  // Rider 0 contributes (20 + 30) / 2, rider 1 40.
  EXPECT_EQ(race::segment_time(timing, 17, 19), (25 + 40) / 2 * kSecond + kSecond / 2);
  EXPECT_EQ(race::segment_time(timing, 7, 9), (25 + 40) / 2 * kSecond + kSecond / 2);
  // The first lap's positions are their own: rode by both a second apart.
  EXPECT_EQ(race::segment_time(timing, 1, 2), kSecond);
  // From before the first position, timed from tick 0.
  EXPECT_EQ(race::segment_time(timing, -1, 0),
            (race::pass_tick(timing, 0, 0) + race::pass_tick(timing, 1, 0)) / 2);
}

TEST_F(TimingTest, SlowRiders) {
  // The leader (slot 0) rides 2 -> 3 in 20 s: slow is 1.5 x 20 + 10 = 40 s or more.
  const struct {
    const char* what;
    std::vector<std::pair<int, int>> passes;  // of rider 1: position, seconds after the start
    int now;                                  // seconds after the start
    int k;
    bool slow;
  } cases[] = {
      {"took 39 s", {{0, 5}, {1, 10}, {2, 20}, {3, 59}}, 100, 3, false},
      {"took 40 s", {{0, 5}, {1, 10}, {2, 20}, {3, 60}}, 100, 3, true},
      {"on the way for 30 s", {{0, 5}, {1, 10}, {2, 20}}, 50, 3, false},
      {"on the way for 40 s", {{0, 5}, {1, 10}, {2, 20}}, 60, 3, true},
      {"missed 2: timed from 1", {{0, 5}, {1, 10}, {3, 49}}, 100, 3, false},
      {"missed 2: timed from 1, too long", {{0, 5}, {1, 10}, {3, 51}}, 100, 3, true},
      {"missed 3: timed to 4", {{0, 5}, {1, 10}, {2, 20}, {4, 59}}, 100, 3, false},
      {"nobody ahead has passed 4", {{0, 5}, {1, 10}, {2, 20}, {3, 30}}, 500, 4, false},
      {"k = 1 timed from position 0", {{0, 5}, {1, 46}}, 100, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    start(laps_race(3), 2);
    // The leader: position 0 at 1 s, 1 at 2 s (so k = 1 allows 11.5 s), 2 at 20 s, 3 at 40 s.
    ride(0, {0, 1}, kStart + kSecond);
    at_gate(0, 2, kStart + 20 * kSecond);
    at_gate(0, 3, kStart + 40 * kSecond);
    for (const auto& [k, seconds] : c.passes) at_gate(1, k, kStart + seconds * kSecond);
    EXPECT_EQ(race::is_slow(timing, 1, c.k, kStart + c.now * kSecond), c.slow);
  }
}

class GhostTest : public TimingTest {
 public:
  // An online race: the local rider in slot 0, remote riders in 1 and 2, a computer rider
  // in 3. Both humans ride 0 .. 3 at 5, 10, 15, 20 s; the local rider 4 at 25 s. Now is
  // 30 s after the start and every remote rider was heard from this tick.
  void SetUp() override {
    race::RaceRules rules = laps_race(3);
    rules.online = true;
    rules.local_slot = 0;
    start(rules, 0);
    const double spot[3] = {};
    race::timing_add_bike(timing, 0, race::kRiderLocal, spot);
    race::timing_add_bike(timing, 1, race::kRiderRemote, spot);
    race::timing_add_bike(timing, 2, race::kRiderRemote, spot);
    race::timing_add_bike(timing, 3, race::kRiderComputer, spot);
    for (const int slot : {0, 1, 2}) {
      for (int k = 0; k <= 3; ++k) at_gate(slot, k, kStart + (5 + 5 * k) * kSecond);
    }
    at_gate(0, 4, kStart + 25 * kSecond);
    now = kStart + 30 * kSecond;
    for (const int slot : {1, 2}) timing.bikes[slot].last_update = now;
  }
  int now = 0;
};

TEST_F(GhostTest, WhoIsAGhost) {
  using Change = void (*)(GhostTest&);
  const struct {
    const char* what;
    Change change;
    int slot;
    bool ghost;
  } cases[] = {
      {"a remote rider racing", [](GhostTest&) {}, 1, false},
      {"a remote rider finished", [](GhostTest& t) { t.timing.bikes[1].finished = true; }, 1, true},
      {"a remote rider at no gate yet", [](GhostTest& t) { race::set_passed(t.timing, 1, 0); }, 1,
       true},
      {"a remote rider slow through its next gate",
       [](GhostTest& t) {
         t.now = kStart + 60 * kSecond;
         t.timing.bikes[1].last_update = t.now;
       },
       1, true},
      {"a remote rider not heard from for a second",
       [](GhostTest& t) { t.timing.bikes[1].last_update = t.now - kSecond; }, 1, true},
      {"a remote rider heard from a tick under a second ago",
       [](GhostTest& t) { t.timing.bikes[1].last_update = t.now - kSecond + 1; }, 1, false},
      {"the first 10 s after the start",
       [](GhostTest& t) {
         t.timing.bikes[1].finished = true;
         t.now = kStart + 10 * kSecond - 1;
       },
       1, false},
      {"10 s after the start",
       [](GhostTest& t) {
         t.timing.bikes[1].finished = true;
         t.now = kStart + 10 * kSecond;
         t.timing.bikes[1].last_update = t.now;
       },
       1, true},
      {"the local rider finished",
       [](GhostTest& t) {
         t.timing.bikes[0].finished = true;
         t.timing.bikes[1].finished = true;
       },
       1, false},
      {"the local rider at no gate yet",
       [](GhostTest& t) {
         race::set_passed(t.timing, 0, 0);
         t.timing.bikes[1].finished = true;
       },
       1, false},
      {"the local rider slow",
       [](GhostTest& t) {
         // Rider 1 goes ahead through 4 and 5 quickly; the local rider dawdles from 4.
         t.at_gate(1, 4, kStart + 21 * kSecond);
         t.at_gate(1, 5, kStart + 22 * kSecond);
         t.now = kStart + 40 * kSecond;
         t.timing.bikes[1].last_update = t.timing.bikes[2].last_update = t.now;
         race::set_passed(t.timing, 2, 0);
       },
       2, false},
      {"the same remote rider while the local rider keeps up",
       [](GhostTest& t) {
         t.at_gate(1, 4, kStart + 21 * kSecond);
         t.at_gate(1, 5, kStart + 22 * kSecond);
         t.now = kStart + 26 * kSecond;
         t.timing.bikes[2].last_update = t.now;
         race::set_passed(t.timing, 2, 0);
       },
       2, true},
      {"a computer rider at no gate", [](GhostTest&) {}, 3, false},
      {"the local rider itself", [](GhostTest& t) { t.timing.bikes[0].finished = true; }, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    c.change(*this);
    race::update_order(timing, now);
    EXPECT_EQ(race::is_ghost(timing, c.slot, now), c.ghost);
  }
}

TEST_F(GhostTest, NobodyIsAGhostWithFewerThanTwoRiders) {
  for (const int slot : {0, 2, 3}) timing.bikes[slot].in_use = false;
  timing.bikes[1].finished = true;
  race::update_order(timing, now);
  EXPECT_FALSE(race::is_ghost(timing, 1, now));
}

TEST_F(TimingTest, FalseStarts) {
  const struct {
    const char* what;
    bool online;
    race::RiderKind kind;
    double moved;    // ft, along a slant
    int moved_at;    // ticks from the start
    int held_ticks;  // 0: no penalty
  } cases[] = {
      {"3 ft two seconds early", true, race::kRiderLocal, 3, -2 * kSecond, 17 * kSecond},
      {"2.9 ft two seconds early", true, race::kRiderLocal, 2.9, -2 * kSecond, 0},
      {"3 ft as the gate drops", true, race::kRiderLocal, 3, 0, 15 * kSecond},
      {"3 ft a tick after the gate drops", true, race::kRiderLocal, 3, 1, 0},
      {"offline", false, race::kRiderLocal, 10, -2 * kSecond, 0},
      {"a remote rider", true, race::kRiderRemote, 10, -2 * kSecond, 0},
  };
  test_support::LogCapture log("timing.log");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    log.start();
    race::RaceRules rules = laps_race(3);
    rules.online = c.online;
    rules.local_slot = 0;
    race::timing_setup(timing, track, rules);
    const double spot[3] = {10, 2, -4};
    race::timing_add_bike(timing, 0, c.kind, spot);
    // Along (2, -1, 2) / 3, so that 3 ft is exactly a squared distance of 9.
    const double d = c.moved / 3;
    const double moved[3] = {spot[0] + 2 * d, spot[1] - d, spot[2] + 2 * d};
    int held = 0;
    bool given = false;
    for (int now = kStart - 3 * kSecond; now < kStart + 20 * kSecond; ++now) {
      sim::Controls controls;
      controls.throttle = 1;
      controls.clutch = 1;
      controls.back_up = 1;
      const bool at_spot = now < kStart + c.moved_at;
      given |= race::false_start_step(timing, 0, at_spot ? spot : moved, now, controls);
      if (controls.throttle == 0) {
        ++held;
        EXPECT_EQ(controls.front_brake, 1);
        EXPECT_EQ(controls.rear_brake, 1);
        EXPECT_EQ(controls.clutch, 0);
        EXPECT_EQ(controls.dab, 1);
        EXPECT_EQ(controls.back_up, 0);
        EXPECT_LT(now, kStart + 15 * kSecond);
      }
    }
    EXPECT_EQ(held, c.held_ticks);
    EXPECT_EQ(given, c.held_ticks > 0);
    const bool shown = log.text().find("15 second false start penalty") != std::string::npos;
    EXPECT_EQ(shown, c.held_ticks > 0);
    log.stop();
  }
}

}  // namespace
