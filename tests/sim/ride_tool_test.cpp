// ride_tool_test.cpp -- korvex-ride as a maintainer runs it: every scenario runs and reports,
// and the figures that say the bike rides stay where they belong.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using test_support::TempDir;

struct Ride {
  int status = -1;
  std::map<std::string, double> figures;
  std::string err;
};

Ride ride(const std::vector<std::string>& args) {
  TempDir user;
  const auto result =
      test_support::run_program(KORVEX_RIDE_EXE, args, test_support::korvex_env(user));
  Ride r;
  r.status = result.status;
  r.err = result.err;
  r.figures = test_support::key_numbers(result.out);
  return r;
}

// The arguments as a line, to say which case failed.
std::string joined(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) line += a + " ";
  return line;
}

TEST(RideTool, EveryScenarioRunsAndReports) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> keys;
  } cases[] = {
      {{"--scenario", "accel", "--ticks", "640"}, {"crashes", "max_speed_mph", "time_to_60_mph_s"}},
      {{"--scenario", "brake"}, {"crashes", "stop_distance_ft"}},
      {{"--scenario", "turn", "--ticks", "1280"}, {"crashes", "lean_deg", "circles"}},
      {{"--scenario", "arcade-turn", "--ticks", "1280"}, {"crashes", "lean_deg", "circles"}},
      {{"--scenario", "jump", "--ticks", "1280"}, {"crashes", "overshoot_crashes", "airtime_s"}},
      {{"--scenario", "rest"}, {"crashes", "frame_speed_after_2s_fts"}},
      {{"--scenario", "crash", "--ticks", "1280"}, {"crashes", "rider_detached"}},
      {{"--scenario", "erode"}, {"crashes", "rut_depth_ft", "events_without_erode"}},
      {{"--scenario", "lap", "--track", "@practice", "--ticks", "640"}, {"crashes", "laps"}},
      // A track is named by its directory, as korvex --track takes it; "@" is optional.
      {{"--scenario", "lap", "--track", "rabbithill", "--ticks", "64"}, {"crashes", "laps"}},
      {{"--scenario", "bench", "--ticks", "8"}, {"ticks_per_second_1", "ticks_per_second_40"}},
  };
  for (const Case& c : cases) {
    const std::string label = joined(c.args);
    const Ride r = ride(c.args);
    EXPECT_EQ(r.status, 0) << label << "\n" << r.err;
    for (const std::string& key : c.keys) EXPECT_EQ(r.figures.count(key), 1u) << label << key;
  }
}

TEST(RideTool, BadCommandLinesAreRefused) {
  struct Case {
    std::vector<std::string> args;
    std::string says;  // part of the message on standard error
  } cases[] = {
      {{}, "usage: korvex-ride"},
      {{"--scenario"}, "usage: korvex-ride"},
      {{"--scenario", "fly"}, "usage: korvex-ride"},
      {{"--scenario", "lap"}, "the lap scenario needs --track"},
      {{"--scenario", "accel", "--bikes", "0"}, "usage: korvex-ride"},
      {{"--scenario", "lap", "--track", "nowhere"}, "can't load track nowhere"},
      {{"--scenario", "bench", "--track", "@nowhere", "--ticks", "8"}, "can't load track nowhere"},
  };
  for (const Case& c : cases) {
    const std::string label = joined(c.args);
    const Ride r = ride(c.args);
    EXPECT_NE(r.status, 0) << label;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << label << "\n" << r.err;
  }
}

// A 450f gets to 60 mph in 2.5 to 5 s and tops out between 60 and 85 mph, a 125 two-stroke
// is slower to 60, and the automatic shifting climbs through the gears.
TEST(RideTool, StandingStartFigures) {
  const Ride big = ride({"--scenario", "accel", "--bike", "crf450(2013)"});
  const Ride small = ride({"--scenario", "accel", "--bike", "cr125"});
  EXPECT_EQ(big.figures.at("crashes"), 0);
  EXPECT_GE(big.figures.at("time_to_60_mph_s"), 2.5);
  EXPECT_LE(big.figures.at("time_to_60_mph_s"), 5);
  EXPECT_GE(big.figures.at("max_speed_mph"), 60);
  EXPECT_LE(big.figures.at("max_speed_mph"), 85);
  EXPECT_GT(small.figures.at("time_to_60_mph_s"), big.figures.at("time_to_60_mph_s"));
}

TEST(RideTool, RidingFigures) {
  const Ride brake = ride({"--scenario", "brake"});
  EXPECT_EQ(brake.figures.at("crashes"), 0);
  EXPECT_GT(brake.figures.at("stop_distance_ft"), 30);
  EXPECT_LT(brake.figures.at("stop_distance_ft"), 150);

  for (const char* scenario : {"turn", "arcade-turn"}) {
    const Ride turn = ride({"--scenario", scenario});
    EXPECT_EQ(turn.figures.at("crashes"), 0) << scenario;
    EXPECT_GE(turn.figures.at("circles"), 1) << scenario;
    EXPECT_GT(std::abs(turn.figures.at("lean_deg")), 10) << scenario;
  }

  const Ride rest = ride({"--scenario", "rest"});
  EXPECT_EQ(rest.figures.at("crashes"), 0);
  EXPECT_LT(rest.figures.at("frame_speed_after_2s_fts"), 0.1);

  const Ride crash = ride({"--scenario", "crash"});
  EXPECT_GE(crash.figures.at("crashes"), 1);
  EXPECT_EQ(crash.figures.at("rider_detached"), 1);
  EXPECT_LT(crash.figures.at("rider_speed_at_countdown_fts"), 2);
  EXPECT_EQ(crash.figures.at("rider_attached_at_end"), 1);

  const Ride erode = ride({"--scenario", "erode"});
  EXPECT_GT(erode.figures.at("rut_depth_ft"), 0.05);
  EXPECT_GE(erode.figures.at("nearest_applied_event_ft"), 10);
  EXPECT_EQ(erode.figures.at("events_without_erode"), 0);

  const Ride lap = ride({"--scenario", "lap", "--track", "@practice"});
  EXPECT_EQ(lap.figures.at("laps"), 1);
  EXPECT_EQ(lap.figures.at("crashes"), 0);
}

}  // namespace
