// history_test.cpp -- the rings of state records, poses taken from them and records blended.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "race/race.h"
#include "sim/bike_fixtures.h"
#include "sim/sim.h"

namespace {

// The little-endian fields of a record, written and read back by byte offset and width.
unsigned field(const sim::StateRecord& r, int at, int width) {
  unsigned v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | r.bytes[at + i];
  return v;
}
void set_field(sim::StateRecord& r, int at, int width, unsigned v) {
  for (int i = 0; i < width; ++i) r.bytes[at + i] = (v >> (8 * i)) & 0xff;
}

// A record whose every byte follows from `n`, so that a record read back shows which one it is.
sim::StateRecord numbered(int n) {
  sim::StateRecord r;
  for (int i = 0; i < sim::kStateRecordSize; ++i)
    r.bytes[i] = static_cast<unsigned char>(n * 7 + i);
  return r;
}

bool same(const sim::StateRecord& a, const sim::StateRecord& b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

// The ring's ticks from the oldest entry to the newest, with a check that each entry still
// holds the record added with its tick.
std::vector<int> ring_ticks(const race::History& history, int slot) {
  const race::HistoryRing& ring = history.rings[slot];
  std::vector<int> ticks;
  for (int i = 1; i <= race::kHistoryLength; ++i) {
    const race::HistoryEntry& e = ring.entries[(ring.head + i) % race::kHistoryLength];
    if (e.tick < 0) continue;
    EXPECT_TRUE(same(e.record, numbered(e.tick))) << "the record moved without its tick " << e.tick;
    ticks.push_back(e.tick);
  }
  return ticks;
}

std::vector<int> range(int from, int to, int step = 1) {
  std::vector<int> v;
  for (int t = from; t <= to; t += step) v.push_back(t);
  return v;
}

std::string newest_message() {
  const int n = platform::visible_message_count();
  return n > 0 ? platform::visible_message(n - 1) : "";
}

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override { race::history_clear(*history); }
  // 900 KB: too much for the stack.
  std::unique_ptr<race::History> history = std::make_unique<race::History>();
};

TEST_F(HistoryTest, RingsKeepTickOrderAndTheNewest128) {
  struct Case {
    const char* name;
    std::vector<int> added;
    std::vector<int> kept;  // oldest first
    int unflushed;
  };
  std::vector<int> evens = range(0, 254, 2);  // a full ring
  std::vector<int> evens_and_101 = evens;
  evens_and_101.push_back(101);
  std::vector<int> kept_101 = range(2, 100, 2);
  kept_101.push_back(101);
  for (int t : range(102, 254, 2)) kept_101.push_back(t);
  const Case cases[] = {
      {"in order", {10, 20, 30}, {10, 20, 30}, 3},
      {"a tick already there is dropped", {10, 20, 20, 30, 10}, {10, 20, 30}, 3},
      {"late records are put in their place", {10, 30, 20, 40, 15}, {10, 15, 20, 30, 40}, 5},
      {"older than everything, with room", {50, 40}, {40, 50}, 2},
      {"round past 128: the oldest go", range(0, 199), range(72, 199), 128},
      {"a late record in a full ring pushes out the oldest", evens_and_101, kept_101, 128},
      {"older than a full ring: nothing changes",
       [&] {
         std::vector<int> v = range(100, 227);
         v.push_back(50);
         return v;
       }(),
       range(100, 227), 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    race::history_clear(*history);
    for (int t : c.added) race::add_state(*history, 5, numbered(t), t);
    EXPECT_EQ(ring_ticks(*history, 5), c.kept);
    EXPECT_EQ(race::newest_tick(*history, 5), c.kept.back());
    EXPECT_EQ(history->rings[5].unflushed, c.unflushed);
    EXPECT_EQ(ring_ticks(*history, 4), std::vector<int>{}) << "another slot's ring was touched";
  }
}

TEST_F(HistoryTest, ASlotOutsideTheRingsIsRefusedWithAMessage) {
  platform::set_message_lines(5);
  for (int slot : {-1, race::kHistorySlots}) {
    platform::messages_clear();
    race::add_state(*history, slot, numbered(1), 1);
    EXPECT_EQ(newest_message(), "add_state_to_history: slot out of range") << slot;
    EXPECT_EQ(race::newest_tick(*history, slot), -1);
    EXPECT_FALSE(race::history_pose(*history, slot, 1, 6).found);
  }
}

// Records of slot 2 at ticks 100, 108 and 116 whose frame x codes are 1000, 2000 and 4000;
// each is marked as sampled from a simulated bike.
class PoseTest : public HistoryTest {
 protected:
  void SetUp() override {
    HistoryTest::SetUp();
    const int ticks[] = {100, 108, 116};
    const unsigned x[] = {1000, 2000, 4000};
    for (int i = 0; i < 3; ++i) {
      records[i] = numbered(i);
      set_field(records[i], 0, 3, x[i]);
      records[i].bytes[18] |= 1;
      race::add_state(*history, 2, records[i], ticks[i]);
    }
  }
  sim::StateRecord records[3];
};

TEST_F(PoseTest, ExactInterpolatedOrExtrapolatedByHalfASecondAtMost) {
  struct Case {
    const char* name;
    int tick, version;
    unsigned x;
    bool copied;  // a stored record unchanged (its sampled bit kept)
    int before, after, distance;
  };
  const Case cases[] = {
      {"the oldest record's tick", 100, 6, 1000, true, 0, 0, 1},
      {"a record's tick", 108, 6, 2000, true, 0, 1, 8},
      {"the newest record's tick", 116, 6, 4000, true, 1, 2, 8},
      {"midway", 104, 6, 1500, false, 0, 1, 8},
      {"a quarter of the way", 110, 6, 2500, false, 1, 2, 8},
      {"a little past the newest", 120, 6, 5000, false, 1, 2, 8},
      // 128 ticks on: only 64 past the newest, (180 - 108) / 8 of the last step.
      {"a second past the newest", 244, 6, 20000, false, 1, 2, 8},
      {"before the oldest", 50, 6, 1000, true, 0, 0, 1},
      {"a negative tick", -5, 6, 1000, true, 0, 0, 1},
      {"version 4 copies the earlier", 104, 4, 1000, true, 0, 1, 8},
      {"version 4 on a record's tick", 108, 4, 2000, true, 0, 1, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const race::HistoryPose pose = race::history_pose(*history, 2, c.tick, c.version);
    ASSERT_TRUE(pose.found);
    EXPECT_EQ(field(pose.record, 0, 3), c.x);
    EXPECT_EQ(pose.record.bytes[18] & 1, c.copied ? 1 : 0);
    EXPECT_TRUE(same(pose.before, records[c.before]));
    EXPECT_TRUE(same(pose.after, records[c.after]));
    EXPECT_EQ(pose.distance, c.distance);
  }
}

TEST_F(HistoryTest, ASingleRecordPosesAloneAndAnEmptyRingNotAtAll) {
  EXPECT_FALSE(race::history_pose(*history, 9, 100, 6).found);
  const sim::StateRecord only = numbered(3);
  race::add_state(*history, 9, only, 100);
  for (int tick : {0, 100, 1000}) {
    const race::HistoryPose pose = race::history_pose(*history, 9, tick, 6);
    ASSERT_TRUE(pose.found) << tick;
    EXPECT_TRUE(same(pose.record, only)) << tick;
    EXPECT_EQ(pose.distance, 1);
  }
}

// The bike in the middle between two records, moving as they do.
class PoseBikeTest : public bike_fixtures::BikeTest {
 protected:
  std::unique_ptr<race::History> history = std::make_unique<race::History>();
};

TEST_F(PoseBikeTest, ABikeIsPosedBetweenTwoRecordsWithTheirVelocity) {
  race::history_clear(*history);
  sim::Bike* bike = new_bike();
  put(bike, 200, 200);
  sim::StateRecord first, second;
  sim::state_pack(bike, &first);
  const sim::V3 from = sim::position(bike->body[sim::kFrame]);
  sim::bike_translate(bike, 8, 0, 0);
  sim::state_pack(bike, &second);
  race::add_state(*history, 0, first, 100);
  race::add_state(*history, 0, second, 108);

  sim::bike_reset(bike);
  race::pose_from_history(*history, 0, bike, 104, 6);
  const sim::V3 at = sim::position(bike->body[sim::kFrame]);
  EXPECT_NEAR(at.x, from.x + 4, 0.01);
  EXPECT_NEAR(at.z, from.z, 0.01);
  // 8 ft in 8 ticks.
  const dReal* v = dBodyGetLinearVel(bike->body[sim::kFrame]);
  EXPECT_NEAR(v[0], 8.0 / (8 * sim::kTickSeconds), 0.5);
  EXPECT_NEAR(v[2], 0, 0.5);

  // An empty ring leaves the bike where it is.
  race::pose_from_history(*history, 1, bike, 104, 6);
  EXPECT_NEAR(sim::position(bike->body[sim::kFrame]).x, at.x, 1e-9);
}

TEST(InterpolateRecords, EachFieldBlendsByItsOwnRule) {
  struct Case {
    const char* name;
    int at, width;  // the field: byte offset and bytes
    unsigned a, b;
    double f;
    std::vector<unsigned> expected;  // any of these
  };
  const Case cases[] = {
      {"frame x midway", 0, 3, 1000, 3000, 0.5, {2000}},
      {"frame z a tenth of the way", 6, 3, 0, 16777215, 0.1, {1677721}},
      {"frame y clamped past the range", 3, 3, 16777000, 16777200, 5, {16777215}},
      {"frame y clamped below the range", 3, 3, 200, 100, 5, {0}},
      {"rider offset", 22, 2, 30000, 30010, 0.3, {30003}},
      {"engine speed", 37, 2, 100, 300, 0.25, {150}},
      {"steering", 17, 1, 200, 100, 0.5, {150}},
      {"steering clamped", 17, 1, 200, 250, 2, {255}},
      {"front suspension", 19, 1, 0, 100, 0.5, {50}},
      {"rear suspension: the sampled bit cleared", 18, 1, 101, 201, 0.5, {150}},
      {"state byte from a", 36, 1, 0x37, 0x52, 0.9, {0x37}},
      {"wheel rolling forward", 34, 1, 10, 30, 0.5, {20}},
      {"wheel rolling back a little", 35, 1, 30, 20, 0.5, {25}},
      // 0.95 to 0.05 of a turn passes forward through a whole turn, not back through 0.5.
      {"wheel through a whole turn", 34, 1, 242, 13, 0.5, {0, 1, 2, 253, 254, 255}},
      {"wheel back through a whole turn", 35, 1, 5, 250, 0.5, {0, 1, 254, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::StateRecord a = numbered(1), b = numbered(2);
    set_field(a, c.at, c.width, c.a);
    set_field(b, c.at, c.width, c.b);
    const sim::StateRecord r = race::interpolate_records(a, b, c.f);
    const unsigned got = field(r, c.at, c.width);
    EXPECT_NE(std::find(c.expected.begin(), c.expected.end(), got), c.expected.end()) << got;
    EXPECT_EQ(r.bytes[18] & 1, 0);
    EXPECT_EQ(r.bytes[36], a.bytes[36]);
  }
  sim::StateRecord a = numbered(1);
  a.bytes[18] |= 1;
  EXPECT_TRUE(same(race::interpolate_records(a, numbered(2), 0), a)) << "f = 0 copies a";
}

// A quaternion's four codes, of a rotation by `angle` about y, negated with `flip` (the same
// rotation).
void set_rotation(sim::StateRecord& r, int at, double angle, bool flip) {
  const double s = flip ? -1 : 1;
  const double q[4] = {s * std::cos(angle / 2), 0, s * std::sin(angle / 2), 0};
  for (int i = 0; i < 4; ++i) set_field(r, at + 2 * i, 2, std::floor((q[i] + 1) / 2 * 65535));
}

double component(const sim::StateRecord& r, int at, int i) {
  return -1 + 2.0 * field(r, at + 2 * i, 2) / 65535;
}

TEST(InterpolateRecords, QuaternionsTakeTheShortWayEvenWhenStoredNegated) {
  for (int at : {9, 26}) {
    for (bool flip : {false, true}) {
      SCOPED_TRACE(testing::Message() << "quaternion at " << at << (flip ? ", b negated" : ""));
      sim::StateRecord a = numbered(1), b = numbered(2);
      set_rotation(a, at, 0, false);
      set_rotation(b, at, 0.4, flip);
      const sim::StateRecord r = race::interpolate_records(a, b, 0.5);
      // A rotation by 0.2 about y, of unit length.
      double dot = 0, length = 0;
      const double expected[4] = {std::cos(0.1), 0, std::sin(0.1), 0};
      for (int i = 0; i < 4; ++i) {
        dot += component(r, at, i) * expected[i];
        length += component(r, at, i) * component(r, at, i);
      }
      EXPECT_NEAR(std::fabs(dot), 1, 1e-4);
      EXPECT_NEAR(length, 1, 1e-4);
      // Past b (extrapolating) the rotation stops at b's.
      const sim::StateRecord past = race::interpolate_records(a, b, 3);
      dot = 0;
      const double at_b[4] = {std::cos(0.2), 0, std::sin(0.2), 0};
      for (int i = 0; i < 4; ++i) dot += component(past, at, i) * at_b[i];
      EXPECT_NEAR(std::fabs(dot), 1, 1e-4);
    }
  }
}

}  // namespace
