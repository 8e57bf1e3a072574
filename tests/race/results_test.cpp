// results_test.cpp -- the results file, the results table, the pit board and the running-order
// ticker, from races ridden through the timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "race/race.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

constexpr int kSecond = sim::kTicksPerSecond;
constexpr int kStart = 14 * kSecond;
constexpr long kDate = 1700000000;

// Five checkpoints along x, each passed going +z. The first lap runs through 0, 1, 2, every
// later lap through 3, 4, 2, so laps end at positions 2, 5, 8, ... and a gate missed in the
// first lap is never met again.
race::Track make_track() {
  race::Track track;
  for (int c = 0; c < 5; ++c) {
    race::TimingGate gate;
    gate.centre = {100.0f * c, 0, 0};
    gate.forward = {0, 0, 1};
    gate.radius = 5;
    track.checkpoints.push_back(gate);
  }
  track.lap_sequences = {0, 1, 2, 3, 4, 2};
  track.first_lap_length = 3;
  track.normal_lap_length = 3;
  return track;
}

struct Pass {
  int slot;
  int position;
  int tick;  // after the start
};

class ResultsTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    labels[0] = {"12", "cr250", "Bob"};
    labels[1] = {"7", "yz125", "Ann"};
    labels[2] = {"42", "kx500", "Cid"};
  }
  void start(const race::RaceRules& rules, int riders) {
    race::timing_setup(timing, track, rules);
    const double spot[3] = {};
    for (int slot = 0; slot < riders; ++slot)
      race::timing_add_bike(timing, slot, race::kRiderLocal, spot);
    race::update_order(timing, 0);
  }
  void ride(const std::vector<Pass>& passes) {
    for (const Pass& p : passes) {
      const int checkpoint = race::sequence_checkpoint(track, p.position);
      race::gate_step(timing, p.slot, 100.0 * checkpoint, 1, kStart + p.tick);
      ASSERT_EQ(race::pass_tick(timing, p.slot, p.position), kStart + p.tick)
          << "slot " << p.slot << " position " << p.position;
    }
  }
  static race::RaceRules laps_race(int laps) {
    race::RaceRules rules;
    rules.start_tick = kStart;
    rules.extra_laps = laps;
    return rules;
  }
  std::string results_file() { return test_support::read_file(xdg.file(user_file("results.txt"))); }

  race::Track track = make_track();
  race::Timing timing;
  race::RiderLabels labels{};
};

// Two laps. Slot 0 rides cleanly, laps of 30 and 25 s. Slot 1 cuts from position 0 to 2 in
// 1108 ticks where the field took 2560 (so 1580 ticks, 12.34 s, are added) and finishes
// last on the road. Slot 2 ends its first lap after the leader has finished: one lap down.
const std::vector<Pass> kFixtureRace = {
    {0, 0, 1280}, {1, 0, 1408}, {1, 2, 2516}, {0, 1, 2624}, {0, 2, 3840},
    {2, 0, 4544}, {1, 3, 5008}, {0, 3, 5120}, {1, 4, 6000}, {2, 1, 6000},
    {0, 4, 6400}, {0, 5, 7040}, {2, 2, 7104}, {1, 5, 7424},
};

std::vector<Pass> until(int tick) {
  std::vector<Pass> out;
  for (const Pass& p : kFixtureRace) {
    if (p.tick <= tick) out.push_back(p);
  }
  return out;
}

TEST(ResultsTextTest, TimesTruncateAndRaceLengths) {
  const struct {
    double seconds;
    const char* full;
    const char* short_form;
  } times[] = {
      {0, "0:00.000", "0:00.0"},
      {83.4567, "1:23.456", "1:23.4"},
      {59.9999, "0:59.999", "0:59.9"},
      {3600, "60:00.000", "60:00.0"},
      {7040 / 128.0, "0:55.000", "0:55.0"},
      {-3, "0:00.000", "0:00.0"},
  };
  char text[32];
  for (const auto& t : times) {
    race::format_time(text, sizeof text, t.seconds);
    EXPECT_STREQ(text, t.full) << t.seconds;
    race::format_time_short(text, sizeof text, t.seconds);
    EXPECT_STREQ(text, t.short_form) << t.seconds;
  }
  const struct {
    int duration;
    int extra_laps;
    const char* text;
  } lengths[] = {
      {15 * 60 * kSecond, 2, "15 minutes + 2 laps"},
      {20 * 60 * kSecond, 0, "20 minutes"},
      {0, 5, "5 laps"},
      {(14 * 60 + 30) * kSecond, 0, "15 minutes"},  // rounded to the nearest minute
      {(14 * 60 + 29) * kSecond, 1, "14 minutes + 1 laps"},
  };
  for (const auto& l : lengths) {
    race::RaceRules rules;
    rules.duration = l.duration;
    rules.extra_laps = l.extra_laps;
    race::race_length_text(rules, text, sizeof text);
    EXPECT_STREQ(text, l.text);
  }
}

TEST_F(ResultsTest, ResultsFileOfATwoLapRace) {
  start(laps_race(2), 3);
  ride(kFixtureRace);
  ASSERT_TRUE(timing.classified);
  ASSERT_EQ(timing.penalty_ticks[1], 1580);
  ASSERT_TRUE(race::write_results(timing, labels, "mx/dunes", kDate));
  EXPECT_EQ(results_file(),
            "Time=0.00|Laps=2|Track=mx/dunes|Date=1700000000\r\n"
            " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"
            "  12 |        cr250 |    2 |   0:55.000 |    2 |   0:25.000\r\n"
            "   7 |        yz125 |    2 |   1:10.343 |    2 |   0:38.343\r\n"
            "  42 |        kx500 |    1 |   0:55.500 |    0 |   0:00.000\r\n"
            "\r\n6\r\n"
            "  10.000   20.500   30.000\r\n"
            "  40.000   50.000   55.000\r\n"
            "\r\n6\r\n"
            "  11.000       -1   19.656\r\n"
            "  39.125   46.875   58.000\r\n"
            "\r\n3\r\n"
            "  35.500   46.875   55.500\r\n");
}

TEST_F(ResultsTest, ResultsFileWaitsForTheClassificationAndGivesTheRaceTime) {
  // Before the field has finished there is nothing to write.
  start(laps_race(2), 3);
  ride(until(7104));
  EXPECT_FALSE(race::write_results(timing, labels, "mx/dunes", kDate));
  EXPECT_FALSE(test_support::file_exists(xdg.file(user_file("results.txt"))));

  // A 20-minute race: one rider past the time at the first lap line finishes there.
  race::RaceRules rules = laps_race(0);
  rules.duration = 20 * 60 * kSecond;
  start(rules, 1);
  const int late = 20 * 60 * kSecond + 5 * kSecond;
  ride({{0, 0, late}, {0, 1, late + kSecond}, {0, 2, late + 2 * kSecond}});
  ASSERT_TRUE(timing.classified);
  ASSERT_TRUE(race::write_results(timing, labels, "mx/dunes", kDate));
  const std::string file = results_file();
  EXPECT_EQ(file.substr(0, file.find("\r\n")),
            "Time=1200.00|Laps=0|Track=mx/dunes|Date=1700000000");
}

TEST_F(ResultsTest, FinalResultsTable) {
  start(laps_race(2), 3);
  ride(kFixtureRace);
  race::ResultsTable table;
  race::results_table(timing, labels, 2, table);
  ASSERT_TRUE(table.shown);
  EXPECT_TRUE(table.classified);
  EXPECT_STREQ(table.title, "Final Results");
  const struct {
    const char *position, *number, *laps, *gap, *best_time, *best_lap;
    bool viewed;
  } rows[] = {
      {"1", " 12", "L2", "  0.000", "0:25.000", "(2)", false},
      // 9004 - 7040 ticks behind the winner, both through six gates.
      {"2", "  7", "L2", " 15.344", "0:38.343", "(2)", false},
      // A lap down: compared at position 2, where it was 7104 - 2516 ticks behind slot 1,
      // not by its earlier finishing tick. One lap: no best lap.
      {"3", " 42", "L1", " 35.844", "", "", true},
  };
  ASSERT_EQ(table.row_count, 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const race::ResultsRow& r = table.rows[i];
    EXPECT_STREQ(r.position, rows[i].position);
    EXPECT_STREQ(r.number, rows[i].number);
    EXPECT_STREQ(r.laps, rows[i].laps);
    EXPECT_STREQ(r.gap, rows[i].gap);
    EXPECT_STREQ(r.best_time, rows[i].best_time);
    EXPECT_STREQ(r.best_lap, rows[i].best_lap);
    EXPECT_EQ(r.viewed, rows[i].viewed);
  }
  EXPECT_STREQ(table.total, "Total Race Time: 0:55.000");
  ASSERT_EQ(table.penalty_count, 1);
  EXPECT_STREQ(table.penalties[0].data(), "  7 penalized 12.34 seconds for cutting track");
}

TEST_F(ResultsTest, UnofficialResultsListOnlyTheFinished) {
  start(laps_race(2), 3);
  race::ResultsTable table;
  ride(until(6400));
  race::results_table(timing, labels, 0, table);
  EXPECT_FALSE(table.shown) << "nobody has finished";
  ride({{0, 5, 7040}});
  race::results_table(timing, labels, 0, table);
  ASSERT_TRUE(table.shown);
  EXPECT_FALSE(table.classified);
  EXPECT_STREQ(table.title, "Unofficial Results");
  ASSERT_EQ(table.row_count, 1);
  EXPECT_STREQ(table.rows[0].number, " 12");
  EXPECT_TRUE(table.rows[0].viewed);
  EXPECT_STREQ(table.total, "");
  EXPECT_EQ(table.penalty_count, 0);
}

TEST_F(ResultsTest, PenaltyLinesNameTheLapsTakenOff) {
  // A classification put together by hand: slot 1's last pass at 100 s, classified later.
  start(laps_race(2), 2);
  race::set_pass_tick(timing, 0, 0, kStart + 50 * kSecond);
  race::set_passed(timing, 0, 1);
  race::set_pass_tick(timing, 1, 0, kStart + 100 * kSecond);
  race::set_passed(timing, 1, 1);
  race::update_order(timing, kStart + 100 * kSecond);
  timing.classified = true;
  timing.classification_length = 2;
  timing.classification[0] = {0, 1, kStart + 50 * kSecond};
  timing.bikes[0].finished = true;
  const struct {
    int laps;
    int ticks;
    const char* text;
  } cases[] = {
      {0, 1580, "  7 penalized 12.34 seconds for cutting track"},
      {1, 640, "  7 penalized 1 lap 5.00 seconds for cutting track"},
      {2, 64, "  7 penalized 2 laps 0.50 seconds for cutting track"},
  };
  for (const auto& c : cases) {
    timing.penalty_laps[1] = c.laps;
    timing.penalty_ticks[1] = c.ticks;
    timing.classification[1] = {1, 1, kStart + 100 * kSecond + c.ticks};
    race::ResultsTable table;
    race::results_table(timing, labels, 0, table);
    ASSERT_EQ(table.penalty_count, 1);
    EXPECT_STREQ(table.penalties[0].data(), c.text);
  }
}

TEST_F(ResultsTest, PitBoardAndTickerMidRace) {
  // Slot 1 leads through four gates by 112 ticks; slot 2 is through one.
  start(laps_race(2), 3);
  ride(until(5120));
  const race::TimeTrialLaps no_trial;
  const struct {
    int slot;
    const char *number, *lap_position, *gap;
  } boards[] = {
      {1, "7", "L2 P1", "+0.9 "},
      {0, "12", "L2 P2", "-0.9 "},
      {2, "42", "L1 P3", "-25.5 "},  // at position 0: 4544 - 1280 ticks
  };
  for (const auto& b : boards) {
    SCOPED_TRACE(b.slot);
    race::PitBoard board;
    race::pit_board(timing, labels, b.slot, no_trial, board);
    ASSERT_TRUE(board.shown);
    EXPECT_STREQ(board.number, b.number);
    EXPECT_STREQ(board.lap_position, b.lap_position);
    EXPECT_STREQ(board.gap, b.gap);
    EXPECT_STREQ(board.last, "") << "one lap completed";
    EXPECT_STREQ(board.best, "");
    EXPECT_STREQ(board.closing, "");
  }
  race::PitBoard board;
  race::pit_board(timing, labels, 5, no_trial, board);
  EXPECT_FALSE(board.shown) << "a slot not in the race";

  race::Ticker ticker;
  race::running_order_ticker(timing, labels, ticker);
  const struct {
    const char *position, *number, *name, *gap;
  } entries[] = {
      {"1", "  7", "Ann", ""}, {"2", " 12", "Bob", "  0.875"}, {"3", " 42", "Cid", " 25.500"}};
  ASSERT_EQ(ticker.count, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(ticker.entries[i].position, entries[i].position);
    EXPECT_STREQ(ticker.entries[i].number, entries[i].number);
    EXPECT_STREQ(ticker.entries[i].name, entries[i].name);
    EXPECT_STREQ(ticker.entries[i].gap, entries[i].gap);
  }
  EXPECT_STREQ(ticker.lap, "Lap 2");
  EXPECT_EQ(ticker.lap_box, race::kLapBoxLastLap);
}

TEST_F(ResultsTest, LapBoxThroughTheRace) {
  const struct {
    int until;
    const char* lap;
    race::LapBox box;
  } cases[] = {
      {0, "Lap 1", race::kLapBoxRacing},
      {2000, "Lap 1", race::kLapBoxRacing},
      {2516, "Lap 2", race::kLapBoxLastLap},  // slot 1 leads through the first lap line
      {7040, "", race::kLapBoxChequered},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.until);
    start(laps_race(2), 3);
    ride(until(c.until));
    race::Ticker ticker;
    race::running_order_ticker(timing, labels, ticker);
    EXPECT_STREQ(ticker.lap, c.lap);
    EXPECT_EQ(ticker.lap_box, c.box);
  }
}

TEST_F(ResultsTest, PitBoardLapTimesAndClosingRiders) {
  // Five laps. Slot 0 laps in 30, 25 and 28 s; slots 1 and 2 come through its last lap line
  // (position 8, at 83 s) a lap later, 2 s and 3 s after it; slot 0 is a lap behind them.
  start(laps_race(5), 3);
  std::vector<Pass> passes;
  const int own[] = {10, 20, 30, 40, 50, 55, 65, 75, 83};
  for (int k = 0; k < 9; ++k) passes.push_back({0, k, own[k] * kSecond});
  for (int slot = 1; slot < 3; ++slot) {
    for (int k = 0; k < 12; ++k) passes.push_back({slot, k, (7 * k + slot) * kSecond});
  }
  std::stable_sort(passes.begin(), passes.end(),
                   [](const Pass& a, const Pass& b) { return a.tick < b.tick; });
  ride(passes);
  ASSERT_EQ(race::pass_tick(timing, 1, 11), kStart + 78 * kSecond);
  race::set_pass_tick(timing, 1, 11, kStart + 85 * kSecond);
  race::set_pass_tick(timing, 2, 11, kStart + 86 * kSecond);
  race::update_order(timing, kStart + 86 * kSecond);

  race::PitBoard board;
  race::pit_board(timing, labels, 0, race::TimeTrialLaps{}, board);
  EXPECT_STREQ(board.lap_position, "L4 P3");
  EXPECT_STREQ(board.last, "Last - 0:28.0 ");
  EXPECT_STREQ(board.best, "Best - 0:25.0");
  EXPECT_STREQ(board.closing, " 7 (2.0) ") << "within 3 s only";

  // A time trial shows its own laps and no position, gap or closing riders.
  race::TimeTrialLaps trial;
  trial.active = true;
  trial.last_ticks = 40 * kSecond + 77;
  trial.best_ticks = 39 * kSecond + 12;
  race::pit_board(timing, labels, 0, trial, board);
  EXPECT_STREQ(board.lap_position, "L4");
  EXPECT_STREQ(board.gap, "");
  EXPECT_STREQ(board.last, "Last - 0:40.6 ");
  EXPECT_STREQ(board.best, "Best - 0:39.0");
  EXPECT_STREQ(board.closing, "");
}

}  // namespace
