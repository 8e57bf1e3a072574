// demo_tool_test.cpp -- demos as a maintainer uses them through the tools: a race recorded
// by korvex-race replays to the same classification; kvdemo reads what was written; a time
// trial keeps its fastest lap; a rewound replay shows what a straight one shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "data/data.h"
#include "support/test_support.h"

namespace {

using test_support::TempDir;

std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

std::string value_of(const std::string& text, const std::string& key) {
  const std::vector<std::string> lines = lines_starting(text, key + "=");
  return lines.empty() ? std::string() : lines.front().substr(key.size() + 1);
}

test_support::ProcessResult run(const char* program, const std::vector<std::string>& args,
                                const TempDir& user) {
  return test_support::run_program(program, args, test_support::korvex_env(user));
}

// Two riders, one lap, recorded: a short race the tools look into.
class RecordedRace : public ::testing::Test {
 protected:
  static void TearDownTestSuite() {
    delete user_;
    user_ = nullptr;
  }
  void SetUp() override {
    // Raced once per process, by the first test that runs.
    if (!user_) {
      user_ = new TempDir;
      demo_ = user_->file("race.kvdemo");
      race_ = run(KORVEX_RACE_EXE,
                  {"--track", "rabbithill", "--riders", "2", "--laps", "1", "--seed", "5",
                   "--record", demo_},
                  *user_);
    }
    ASSERT_EQ(race_.status, 0) << race_.err;
  }
  static TempDir* user_;
  static std::string demo_;
  static test_support::ProcessResult race_;
};

TempDir* RecordedRace::user_ = nullptr;
std::string RecordedRace::demo_;
test_support::ProcessResult RecordedRace::race_;

// The same race, pictured: two windowed replays, for the normal build.
class RecordedRacePicture : public RecordedRace {
 protected:
  void SetUp() override {
    if (test_support::kSanitized) GTEST_SKIP() << "two replays drawn: the normal build runs them";
    RecordedRace::SetUp();
  }
};

}  // namespace

// The end-to-end test of the history, the demo writer and reader and the posing: six riders
// over two laps, replayed, classify the same riders in the same order with the same laps and
// times, to the tick.
TEST(DemoRace, ReplayEqualsRace) {
  if (test_support::kSanitized) GTEST_SKIP() << "a whole race: the normal build runs it";
  TempDir user;
  const std::string demo = user.file("a.kvdemo");
  const test_support::ProcessResult race =
      run(KORVEX_RACE_EXE,
          {"--track", "rabbithill", "--riders", "6", "--laps", "2", "--record", demo}, user);
  ASSERT_EQ(race.status, 0) << race.err;
  const std::vector<std::string> raced = lines_starting(race.out, "rider=");
  ASSERT_EQ(raced.size(), 6u) << race.out;
  EXPECT_EQ(value_of(race.out, "record"), demo);

  const test_support::ProcessResult replay = run(KORVEX_RACE_EXE, {"--playback", demo}, user);
  ASSERT_EQ(replay.status, 0) << replay.err;
  EXPECT_EQ(value_of(replay.out, "track"), "rabbithill");
  EXPECT_EQ(value_of(replay.out, "riders"), "6");
  EXPECT_EQ(value_of(replay.out, "laps"), "2");
  EXPECT_EQ(value_of(replay.out, "finished"), "1");
  // The replay knows the classification, not who rode how (falls, personalities). The bikes
  // are sampled every fourth tick and blended between, so a gate whose edge a bike grazed may
  // be judged a tick apart (and a cut's penalty with it): the order, the numbers and the laps
  // are the race's, every time within two ticks.
  const std::regex rider_line(
      R"(rider=(\d+) number=(\S+) bike=(\S+) laps=(\d+) total_s=([\d.]+) best_lap=(\d+) )"
      R"(best_lap_s=([\d.]+) penalty_s=([\d.]+) penalty_laps=(\d+) finished=(\d).*)");
  const std::vector<std::string> replayed = lines_starting(replay.out, "rider=");
  ASSERT_EQ(replayed.size(), raced.size());
  for (std::size_t i = 0; i < raced.size(); ++i) {
    std::smatch a, b;
    ASSERT_TRUE(std::regex_match(raced[i], a, rider_line)) << raced[i];
    ASSERT_TRUE(std::regex_match(replayed[i], b, rider_line)) << replayed[i];
    for (int k : {1, 2, 3, 4, 6, 9, 10}) EXPECT_EQ(a[k], b[k]) << raced[i] << "\n" << replayed[i];
    for (int k : {5, 7, 8}) {
      EXPECT_NEAR(std::stod(a[k]), std::stod(b[k]), 2.0 / 128 + 1e-9) << raced[i] << "\n"
                                                                      << replayed[i];
    }
  }
  EXPECT_EQ(value_of(replay.out, "race_time_s"), value_of(race.out, "race_time_s"));

  // What is not a demo leaves korvex-race with a clear word.
  const test_support::ProcessResult missing =
      run(KORVEX_RACE_EXE, {"--playback", user.file("none.kvdemo")}, user);
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("can't play back"), std::string::npos) << missing.err;
}

// kvdemo reads the header back as written, finds a record every fourth tick for every rider
// and a block every 16 ticks, and exports each rider's track with sane speeds and gears.
TEST_F(RecordedRace, KvdemoDescribesAndExportsIt) {
  const test_support::ProcessResult info = run(KVDEMO_EXE, {"info", demo_}, *user_);
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(value_of(info.out, "version"), "6");
  EXPECT_EQ(value_of(info.out, "track"), "rabbithill");
  EXPECT_EQ(value_of(info.out, "riders"), "2");
  EXPECT_EQ(value_of(info.out, "extra_laps"), "1");
  EXPECT_EQ(value_of(info.out, "race_ticks"), "0");
  const std::vector<std::string> riders = lines_starting(info.out, "rider=");
  ASSERT_EQ(riders.size(), 2u);
  // The demo's riders are the race's, in slot order: every classified number is among them.
  for (const std::string& line : lines_starting(race_.out, "rider=")) {
    const std::string number = line.substr(line.find("number=") + 7, 2);
    bool found = false;
    for (const std::string& r : riders)
      found = found || r.find(" number=" + number) != std::string::npos;
    EXPECT_TRUE(found) << number;
  }
  const int first = std::stoi(value_of(info.out, "first_tick"));
  const int last = std::stoi(value_of(info.out, "last_tick"));
  ASSERT_GT(last, first);
  const long records = std::stol(value_of(info.out, "records"));
  // A record every fourth tick per rider, give or take the forced ones at the ends.
  const long expected = 2L * ((last - first) / 4 + 1);
  EXPECT_NEAR(static_cast<double>(records), static_cast<double>(expected), 12.0);
  const int blocks = std::stoi(value_of(info.out, "state_blocks"));
  EXPECT_NEAR(blocks, (last - first) / 16 + 1, 2);

  const test_support::ProcessResult csv = run(KVDEMO_EXE, {"csv", demo_}, *user_);
  ASSERT_EQ(csv.status, 0) << csv.err;
  std::istringstream in(csv.out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "rider,tick,x,y,z,speed,gear,rpm");
  long rows = 0;
  std::vector<double> speeds;
  std::map<int, int> last_tick;
  const std::regex row(R"((\d),(\d+),([-\d.]+),([-\d.]+),([-\d.]+),([\d.]+),(-?\d),(\d+))");
  while (std::getline(in, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, row)) << line;
    const int rider = std::stoi(m[1]), tick = std::stoi(m[2]);
    if (last_tick.count(rider)) {
      EXPECT_GT(tick, last_tick[rider]) << line;
    }
    last_tick[rider] = tick;
    speeds.push_back(std::stod(m[6]));
    ++rows;
  }
  EXPECT_EQ(rows, records);
  // A motocross bike on a dirt track: moving, and not at a jet's speed (ft/s). The median,
  // since a stuck rider set back at a gate moves far in one record.
  ASSERT_FALSE(speeds.empty());
  std::nth_element(speeds.begin(), speeds.begin() + speeds.size() / 2, speeds.end());
  EXPECT_GT(speeds[speeds.size() / 2], 15.0);
  EXPECT_LT(speeds[speeds.size() / 2], 80.0);

  // What is not a demo is refused with a clear word and a failing status.
  const std::string junk = user_->file("junk.kvdemo");
  std::ofstream(junk) << "KV09 1 0\nrabbithill\n";
  const test_support::ProcessResult bad = run(KVDEMO_EXE, {"info", junk}, *user_);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("can't read demo"), std::string::npos) << bad.err;
  const test_support::ProcessResult usage = run(KVDEMO_EXE, {"plot", demo_}, *user_);
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.err.find("unknown command 'plot'"), std::string::npos);
}

// Rewinding a replay by 10 s at 30 s and playing on shows at 30 s the picture a replay that
// ran straight through shows.
TEST_F(RecordedRacePicture, RewoundReplayShowsTheSamePicture) {
  const std::string straight = user_->file("straight.png"), rewound = user_->file("rewound.png");
  const std::vector<std::string> common = {"--playback", demo_,  "--ticks",  "3840",
                                           "--width",    "320",  "--height", "180",
                                           "--camera",   "chase"};
  std::vector<std::string> a = common, b = common;
  a.insert(a.end(), {"--out", straight});
  b.insert(b.end(), {"--rewind-at", "30", "--rewind-by", "10", "--out", rewound});
  const test_support::ProcessResult first = run(KORVEX_SHOT_EXE, a, *user_);
  ASSERT_EQ(first.status, 0) << first.err;
  const test_support::ProcessResult second = run(KORVEX_SHOT_EXE, b, *user_);
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(value_of(first.out, "tick"), "3840");
  EXPECT_EQ(value_of(second.out, "tick"), "3840");
  EXPECT_EQ(value_of(first.out, "bike"), value_of(second.out, "bike"));
  EXPECT_EQ(value_of(first.out, "camera"), value_of(second.out, "camera"));

  data::Image x, y;
  std::string hints;
  ASSERT_EQ(data::read_png(straight.c_str(), x, hints), 1);
  ASSERT_EQ(data::read_png(rewound.c_str(), y, hints), 1);
  ASSERT_EQ(x.width, y.width);
  ASSERT_EQ(x.height, y.height);
  const std::size_t bytes = static_cast<std::size_t>(x.width) * x.height * x.channels;
  long differing = 0;
  for (std::size_t i = 0; i < bytes; ++i) differing += x.pixels[i] != y.pixels[i];
  EXPECT_EQ(differing, 0);
  data::image_free(x);
  data::image_free(y);
}

// The time trial keeps its fastest lap: the first lap line writes "fastlap.kvdemo", a faster
// lap replaces it, a slower one leaves it as it was; a lap of missed gates never counts.
TEST(TimeTrial, TheFastestLapIsKept) {
  if (test_support::kSanitized) GTEST_SKIP() << "four laps ridden: the normal build runs them";
  TempDir user;
  const test_support::ProcessResult trial = run(
      KORVEX_RACE_EXE,
      {"--track", "rabbithill", "--time-trial", "--laps", "4", "--pace", "0.6,0.85,0.7,1"}, user);
  ASSERT_EQ(trial.status, 0) << trial.err;
  const std::vector<std::string> laps = lines_starting(trial.out, "lap=");
  ASSERT_EQ(laps.size(), 4u) << trial.out;
  const std::regex lap(R"(lap=(\d) lap_s=([\d.]+) best_s=([\d.]+) valid=(\d) fast_lap=(\d))");
  struct Lap {
    double seconds, best;
    bool valid, fast;
  };
  std::vector<Lap> got;
  for (const std::string& line : laps) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, lap)) << line;
    got.push_back({std::stod(m[2]), std::stod(m[3]), m[4] == "1", m[5] == "1"});
  }
  const struct {
    const char* what;
    bool valid, fast;
  } expected[] = {
      {"the run to the first lap line is no lap, yet becomes the first fast lap", false, true},
      {"a lap faster than that run replaces it", true, true},
      {"a slower lap keeps the fast lap", true, false},
      {"a faster lap replaces it", true, true},
  };
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(expected[i].what);
    EXPECT_EQ(got[i].valid, expected[i].valid) << laps[i];
    EXPECT_EQ(got[i].fast, expected[i].fast) << laps[i];
  }
  EXPECT_GT(got[2].seconds, got[1].seconds);
  EXPECT_LT(got[3].seconds, got[1].seconds);
  EXPECT_DOUBLE_EQ(got[3].best, got[3].seconds);
  // The ghost's own laps count too: lap 2 replayed, timed where its records put it.
  EXPECT_NEAR(got[2].best, got[1].seconds, 0.25);

  // Both lap files in the track's per-user folder; the fast lap is a demo of the track.
  const std::string folder = user.file("xdg/Korvex/rabbithill/");
  const std::string fast = test_support::read_file(folder + "fastlap.kvdemo");
  const std::string last = test_support::read_file(folder + "lastlap.kvdemo");
  EXPECT_EQ(fast.rfind("KV06 1 0 1000 ", 0), 0u) << fast.substr(0, 40);
  EXPECT_NE(fast.find("\nrabbithill\n"), std::string::npos);
  EXPECT_EQ(last.rfind("KV06 1 ", 0), 0u);
}
