// lines_test.cpp -- the racing-line library: learning and eviction, the lines files, the
// planner, and what a rider's lap teaches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ai/lines.h"
#include "ai/pilot.h"
#include "data/data.h"
#include "race/race.h"
#include "support/test_support.h"

namespace {

using ai::LineLibrary;
using ai::LinePoint;
using ai::LineSlot;

// A straight line along x from (x0, z) with n points 10 ft apart at a speed.
std::vector<LinePoint> straight(float x0, float z, int n = 5, float speed = 40) {
  std::vector<LinePoint> points;
  for (int i = 0; i < n; ++i) points.push_back(LinePoint{x0 + 10.0f * i, 0, z, speed, 0});
  return points;
}

LineSlot tested_line(std::vector<LinePoint> points, int tested, int mean_a, int id,
                     int cancels = 0) {
  LineSlot s;
  s.points = std::move(points);
  s.a = mean_a;
  s.b = 2 * mean_a;
  s.tested = tested;
  s.sum_a = static_cast<std::int64_t>(mean_a) * tested;
  s.sum_b = static_cast<std::int64_t>(2 * mean_a) * tested;
  s.best_a = mean_a;
  s.best_b = 2 * mean_a;
  s.cancels = cancels;
  s.id = id;
  return s;
}

TEST(LineLearning, StoresEvictsAndRejectsByReplacementCost) {
  struct Case {
    const char* name;
    bool full;        // every slot holds an untested line with the row's B
    int stored_b;     // the B of the stored lines
    int candidate_b;  // the new line's B
    bool stored;      // the candidate goes in
  };
  const Case cases[] = {
      {"a free slot takes any line up to 1000000 ticks", false, 0, 1000000, true},
      {"800 replaces untested 900 (1125 >= 1000)", true, 900, 800, true},
      {"800 does not replace untested 780 (975 < 1000)", true, 780, 800, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineLibrary lib;
    ai::lines_reset(lib, 1, 1);
    if (c.full) {
      // All start at one point (no spread bonus) and differ further on (no duplicates).
      for (int i = 0; i < ai::kLineSlots; ++i) {
        std::vector<LinePoint> p = straight(0, 0);
        p.back().z = static_cast<float>(i);
        ASSERT_GE(ai::learn_line(lib, 0, p, c.stored_b / 2, c.stored_b), 0);
      }
    }
    std::vector<LinePoint> candidate = straight(0, 0);
    candidate.back().z = 100;
    const int slot = ai::learn_line(lib, 0, candidate, c.candidate_b / 2, c.candidate_b);
    EXPECT_EQ(slot >= 0, c.stored);
    if (slot >= 0) {
      EXPECT_EQ(lib.rows[0][slot].b, c.candidate_b);
      EXPECT_EQ(lib.rows[0][slot].tested, 0);
      EXPECT_EQ(lib.rows[0][slot].id, lib.next_id);
    }
  }
}

TEST(LineLearning, RejectsADuplicateAndProtectsGoodLines) {
  LineLibrary lib;
  ai::lines_reset(lib, 1, 0);
  ASSERT_EQ(ai::learn_line(lib, 0, straight(0, 0), 100, 200), 0);
  // The same line within 1/16 ft/s and 1/16 ft is the same line.
  std::vector<LinePoint> again = straight(0, 0);
  again[2].speed += 0.05f;
  again[3].x += 0.05f;
  EXPECT_EQ(ai::learn_line(lib, 0, again, 90, 180), -1);

  // A full row: slot 7 is good (tested more often than cancelled) but the dearest to keep.
  ai::LineRow& row = lib.rows[0];
  for (int i = 0; i < ai::kLineSlots; ++i) {
    row[i] = tested_line(straight(0, 0), 1, 100, i + 1, 1);
    row[i].points.back().z = static_cast<float>(i);
  }
  row[7] = tested_line(straight(0, 0), 5, 900, 8);
  row[12].sum_b = 400;  // the dearest of the others
  EXPECT_EQ(ai::choose_victim(row), 12);
  // With 23 good lines the good ones are fair game.
  for (int i = 20; i < 42; ++i) row[i].cancels = 0;
  EXPECT_EQ(ai::choose_victim(row), 7);
  // A line that starts apart from all the others counts three quarters of its cost: the
  // dearest untested line (1000 against 950) stays when it starts 5 ft away from the rest.
  for (int i = 0; i < ai::kLineSlots; ++i) {
    row[i] = LineSlot{};
    row[i].points = straight(0, 0);
    row[i].points.back().z = static_cast<float>(i);
    row[i].b = i == 30 ? 1000 : 950;
  }
  EXPECT_EQ(ai::choose_victim(row), 30);
  for (LinePoint& q : row[30].points) q.z += 5;
  EXPECT_EQ(ai::choose_victim(row), 0);
  EXPECT_EQ(ai::replacement_cost(LineSlot{}), 1250000);
}

TEST(LinesFile, HalvesHugeCountsAndDropsWhatCannotBeRead) {
  test_support::TempDir dir;
  struct Case {
    const char* name;
    std::string text;
    bool read;
    int tested, cancels;
    std::int64_t sum_a, sum_b;
    std::size_t points;
  };
  const Case cases[] = {
      {"tested 70000 is halved once",
       "ct03 2\n1\n2 100 200 70000 90 190 7000000 14000000 3\n"
       "[0 0 0] 10 0\n[1 0 0] 10 0\n0\n",
       true, 35000, 1, 3500000, 7000000, 2},
      {"a sum B over 1e8 is halved until it fits",
       "ct03 2\n1\n1 100 200 10 90 190 1000 200000010 0\n"
       "[0 0 0] 10 0\n0\n",
       true, 2, 0, 200, 40000002, 1},
      {"a point that does not parse drops the slot's points",
       "ct03 2\n1\n2 100 200 1 90 190 100 200 0\n"
       "[0 0 0] 10 0\n[x 0 0] 10 0\n",
       true, 1, 0, 100, 200, 0},
      {"a file for another track is ignored", "ct03 3\n0\n0\n0\n", false, 0, 0, 0, 0, 0},
      {"not a lines file", "hello\n", false, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.write("lines", c.text);
    LineLibrary lib;
    ai::lines_reset(lib, 1, 1);
    EXPECT_EQ(ai::read_lines(lib, path.c_str()), c.read);
    if (!c.read) {
      for (const ai::LineRow& row : lib.rows) {
        for (const LineSlot& s : row) EXPECT_TRUE(s.empty());
      }
      continue;
    }
    const LineSlot& s = lib.rows[0][0];
    EXPECT_EQ(s.tested, c.tested);
    EXPECT_EQ(s.cancels, c.cancels);
    EXPECT_EQ(s.sum_a, c.sum_a);
    EXPECT_EQ(s.sum_b, c.sum_b);
    EXPECT_EQ(s.points.size(), c.points);
    EXPECT_EQ(s.id, 1);
    EXPECT_EQ(s.last_picked, ai::kNeverPicked);
  }
}

TEST(LinesFile, WhatIsWrittenReadsBack) {
  test_support::TempDir dir;
  LineLibrary lib;
  ai::lines_reset(lib, 2, 1);
  lib.rows[0][0] = tested_line(straight(1.5f, 2.25f), 7, 300, 1, 2);
  lib.rows[2][0] = tested_line(straight(-4, 8, 3, -12.5f), 0, 80, 2);
  const std::string path = dir.file("lines_expert");
  ASSERT_TRUE(ai::write_lines(lib, path.c_str()));
  LineLibrary back;
  ai::lines_reset(back, 2, 1);
  ASSERT_TRUE(ai::read_lines(back, path.c_str()));
  for (int r : {0, 2}) {
    const LineSlot& a = lib.rows[r][0];
    const LineSlot& b = back.rows[r][0];
    ASSERT_EQ(a.points.size(), b.points.size());
    EXPECT_EQ(b.tested, a.tested);
    EXPECT_EQ(b.sum_a, a.sum_a);
    EXPECT_EQ(b.cancels, a.cancels);
    for (std::size_t i = 0; i < a.points.size(); ++i) {
      EXPECT_FLOAT_EQ(b.points[i].x, a.points[i].x);
      EXPECT_FLOAT_EQ(b.points[i].speed, a.points[i].speed);
    }
  }
  EXPECT_TRUE(back.rows[1][0].empty());
}

// Two rows of the first lap and two of the normal lap, each with a fast and a slow line that
// carry on from the lines of the row before.
LineLibrary small_lap(int tests_in_row_2) {
  LineLibrary lib;
  ai::lines_reset(lib, 2, 2);
  int id = 0;
  for (int r = 0; r < 4; ++r) {
    const float x = 50.0f * r;
    lib.rows[r][0] = tested_line(straight(x, 0), 5, 300, ++id);     // slow
    lib.rows[r][1] = tested_line(straight(x, 0.5f), 5, 100, ++id);  // fast
    // A faster line that connects to nothing: 30 ft off to one side, then to the other.
    lib.rows[r][2] = tested_line(straight(x, r % 2 ? 30.0f : -30.0f), 5, 10, ++id);
  }
  for (int i = 0; i < 3; ++i) lib.rows[2][i].tested = tests_in_row_2;
  for (int i = 0; i < 3; ++i) {
    lib.rows[2][i].sum_a = 100LL * (i == 0 ? 3 : 1) * tests_in_row_2;
  }
  return lib;
}

TEST(LinePlanner, ChainsTheCheapestConnectedLines) {
  LineLibrary lib = small_lap(5);
  ai::plan_lines(lib);
  for (int type = 0; type < ai::kPlanTypes; ++type) {
    SCOPED_TRACE(type);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(lib.plans[type][r], lib.rows[r][1].id) << "row " << r;
  }
  // Lines connect along the way; the one 30 ft aside does not.
  EXPECT_TRUE(ai::lines_connect(lib.rows[0][1], lib.rows[1][1]));
  EXPECT_FALSE(ai::lines_connect(lib.rows[0][1], lib.rows[1][2]));
  // Too fast for the next line: more than 15 ft/s above its start.
  LineSlot fast = lib.rows[0][1];
  fast.points.back().speed = 60;
  EXPECT_FALSE(ai::lines_connect(fast, lib.rows[1][1]));
}

TEST(LinePlanner, ARowTestedFewerThanFiveTimesLeavesNoPlanOfTypesZeroAndOne) {
  LineLibrary lib = small_lap(4);
  ai::plan_lines(lib);
  for (int type = 0; type < 2; ++type) {
    for (int r = 0; r < 4; ++r) EXPECT_EQ(lib.plans[type][r], 0) << "type " << type << " row " << r;
  }
  // Type 2 takes lines tested once, but plans only lines tested five times.
  for (int r : {0, 1, 3}) EXPECT_EQ(lib.plans[2][r], lib.rows[r][1].id);
  EXPECT_EQ(lib.plans[2][2], 0);
}

TEST(LineCosts, ByType) {
  LineSlot s = tested_line(straight(0, 0), 6, 200, 1, 2);  // r = 2/8
  EXPECT_EQ(ai::line_cost(s, 0), 200 + 160);
  EXPECT_EQ(ai::line_cost(s, 1), 200 + 182);
  EXPECT_EQ(ai::line_cost(s, 2), 200 + 640);
  EXPECT_EQ(ai::line_cost(s, 3), (4 + 4) * 1000);  // 6 + 4 x 2 = 14: 4 bits
  s.tested = 4;
  EXPECT_EQ(ai::line_cost(s, 0), ai::kNoTime);
  s.tested = 1, s.cancels = 5;  // mostly failing
  EXPECT_EQ(ai::line_cost(s, 3), 100000);
  EXPECT_EQ(ai::line_cost(LineSlot{}, 3), 0);
}

// A rider's laps over a lap of split gates only: eight on the first lap, seven on the normal lap.
class RiderLearning : public ::testing::Test {
 protected:
  void SetUp() override {
    track_ = race::Track{};
    track_.lap_sequences = {0, 1, 2, 3, 4, 5, 6, 7, 1, 2, 3, 4, 5, 6, 7};
    track_.first_lap_length = 8;
    track_.normal_lap_length = 7;
    track_.first_lap_splits = 8;
    track_.normal_lap_splits = 7;
    saved_ = race::g_track.lap_sequences;
    race::g_track.lap_sequences = track_.lap_sequences;
    race::g_track.first_lap_length = 8;
    race::g_track.normal_lap_length = 7;
    race::g_track.normal_lap_splits = 7;
    race::RaceRules rules;
    race::timing_setup(race::g_timing, track_, rules);
    ai::lines_reset(ai::g_lines, 8, 7);
    ai::pilots_setup(1);
    ai::pilot_begin(kSlot, false, nullptr);
  }
  void TearDown() override {
    race::g_track.lap_sequences = saved_;
    race::g_track.first_lap_length = race::g_track.normal_lap_length = 0;
    race::g_track.normal_lap_splits = 0;
    ai::lines_reset(ai::g_lines, 0, 0);
  }
  // Rides to sequence position k and passes it: a few points on the way, then the pass.
  void ride_and_pass(int k, bool crash_on_the_way = false) {
    ai::Pilot& p = ai::g_pilots[kSlot];
    const int segment = ai::segments_before(race::g_timing.bikes[kSlot].passed);
    for (int i = 0; i < 3; ++i) {
      p.buffer[segment % 2].push_back(LinePoint{10.0f * k + i, 0, 0, 30, 0});
    }
    if (crash_on_the_way) p.incident = 1;
    race::set_pass_tick(race::g_timing, kSlot, k, 100 * (k + 1));
    ai::lines_on_pass(kSlot, k);
    race::g_timing.bikes[kSlot].passed = k + 1;
  }
  static constexpr int kSlot = 3;
  race::Track track_;
  std::vector<std::int32_t> saved_;
};

TEST_F(RiderLearning, ACrashInSegmentFourStoresNothingForIt) {
  for (int k = 0; k < 8; ++k) ride_and_pass(k, k == 4);
  const ai::LineLibrary& lib = ai::g_lines;
  // Segment l is learned at the end of segment l + 1: rows 0 to 6 had their chance.
  for (int row = 0; row <= 6; ++row) {
    const bool stored = !lib.rows[row][0].empty();
    EXPECT_EQ(stored, row != 4) << "row " << row;
  }
  EXPECT_EQ(lib.rows[3][0].a, 100);  // position 2 to 3
  EXPECT_EQ(lib.rows[3][0].b, 200);  // position 2 to 4
  EXPECT_EQ(lib.rows[3][0].points.size(), 3u);
}

TEST_F(RiderLearning, NormalLapSegmentsFoldOntoTheirRows) {
  EXPECT_EQ(ai::segment_row(ai::g_lines, 7), 7);
  EXPECT_EQ(ai::segment_row(ai::g_lines, 8), 8);
  EXPECT_EQ(ai::segment_row(ai::g_lines, 15), 8);
  EXPECT_EQ(ai::segment_row(ai::g_lines, 21), 14);
  EXPECT_EQ(ai::next_row(ai::g_lines, 14), 8);
  EXPECT_EQ(ai::segments_before(15), 15);
  for (int k = 0; k < 17; ++k) ride_and_pass(k);
  // The second normal lap's lines went into the first's rows: two in row 8.
  int lines = 0;
  for (const LineSlot& s : ai::g_lines.rows[8]) lines += s.empty() ? 0 : 1;
  EXPECT_EQ(lines, 2);
}

}  // namespace
