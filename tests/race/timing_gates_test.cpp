// timing_gates_test.cpp -- starting gates, checkpoints, lap sequences and their writer.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "race/race.h"
#include "race/track_fixtures.h"
#include "support/test_support.h"

namespace {

using race::Track;
using track_fixtures::kGround;

class TimingGatesTest : public track_fixtures::TrackTest {
 protected:
  void read(const std::string& contents, Track& track, int debug_level = 0) {
    race::TrackLoadOptions options;
    options.debug_level = debug_level;
    race::read_timing_gates(text(contents), track, options);
  }
};

TEST_F(TimingGatesTest, ReadsGatesCheckpointsAndNormalisedLaps) {
  load_ground();
  home.write("shapes/gate.shp", "1 0 0 0 1 1 0 0\n");
  const std::string shape = home.file("shapes/gate.shp");
  Track track;
  read(
      "startinggate:\n"
      "[ 20 1 30 ] 0\n"
      "[20 0 34] 4.0 @gate.jm null " +
          shape +
          "\n"
          "checkpoints:\n"
          "5 [ 1 2 3 ] [ 0 0 1 ]\n"
          "6 [4 5 6] [1 0 0]\n"
          "7 [7 8 9] [0 0 -1] 8 [1 1 1] [1 0 0] 9 [2 2 2] [0 1 0]\n"
          "firstlap: 0 1 100007 -3 4\n"
          "normallap: 100001 2 7\n",
      track, 1);

  ASSERT_EQ(track.starting_gates.size(), 2u);
  const race::StartingGate& plain = track.starting_gates[0];
  EXPECT_EQ(plain.x, 20);
  EXPECT_EQ(plain.y, 1);
  EXPECT_EQ(plain.yaw, 0);
  const race::Statue& plain_object = track.statues[plain.statue];
  EXPECT_EQ(plain_object.model, "@startgate.jm");
  EXPECT_EQ(plain_object.texture, "@startgate.ppm");
  EXPECT_EQ(plain_object.shape_name, "@startgate.shp");
  // 3 ft behind the start point, on the ground plus the gate's height.
  EXPECT_FLOAT_EQ(plain_object.x, 20);
  EXPECT_FLOAT_EQ(plain_object.z, 27);
  EXPECT_FLOAT_EQ(plain_object.y, kGround + 1);

  const race::StartingGate& turned = track.starting_gates[1];
  EXPECT_NEAR(turned.yaw, 4.0f - 2 * std::numbers::pi_v<float>, 1e-5f);
  const race::Statue& turned_object = track.statues[turned.statue];
  EXPECT_EQ(turned_object.model, "@gate.jm");
  EXPECT_EQ(turned_object.texture, "");
  EXPECT_TRUE(turned_object.has_shape);
  EXPECT_NEAR(turned_object.x, 20 - 3 * std::sin(turned.yaw), 1e-4f);
  EXPECT_NEAR(turned_object.z, 34 - 3 * std::cos(turned.yaw), 1e-4f);

  ASSERT_EQ(track.checkpoints.size(), 5u);
  EXPECT_EQ(track.checkpoints[1].radius, 6);
  EXPECT_EQ(track.checkpoints[1].centre.y, 5);
  EXPECT_EQ(track.checkpoints[1].forward.x, 1);
  EXPECT_EQ(track.first_lap_length, 5);
  EXPECT_EQ(track.normal_lap_length, 3);
  EXPECT_EQ(track.lap_sequences, (std::vector<std::int32_t>{0, 1, 100004, 0, 4, 100001, 2, 4}));
  EXPECT_EQ(track.first_lap_splits, 4);
  EXPECT_EQ(track.normal_lap_splits, 2);
  EXPECT_NE(logged().find("Found 5 timing gates, first lap has 5 gates, normal lap has 3\n"),
            std::string::npos);
}

TEST_F(TimingGatesTest, UnusableTimingLeavesAnUntimedTrackWithItsGates) {
  const char* const gate = "startinggate:\n[1 0 1] 0\n";
  const char* const checkpoint = "checkpoints:\n5 [1 2 3] [0 0 1]\n";
  struct Case {
    const char* what;
    std::string file;
  } cases[] = {
      {"empty normal lap", std::string(gate) + checkpoint + "firstlap: 0\nnormallap:\n"},
      {"no normal lap", std::string(gate) + checkpoint + "firstlap: 0\n"},
      {"no first lap keyword", std::string(gate) + checkpoint + "0\nnormallap: 0\n"},
      {"only silent gates in a lap",
       std::string(gate) + checkpoint + "firstlap: 100000\nnormallap: 0\n"},
      {"no checkpoints", std::string(gate) + "checkpoints:\nfirstlap: 0\nnormallap: 0\n"},
      {"malformed checkpoint", std::string(gate) + "checkpoints:\n5 [1 2] [0 0 1]\n"
                                                   "firstlap: 0\nnormallap: 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Track track;
    read(c.file, track);
    EXPECT_EQ(track.starting_gates.size(), 1u);
    EXPECT_TRUE(track.checkpoints.empty());
    EXPECT_TRUE(track.lap_sequences.empty());
    EXPECT_EQ(track.first_lap_length + track.normal_lap_length, 0);
  }
}

TEST_F(TimingGatesTest, GateSectionEndsAtAMalformedLineOrTheLimit) {
  const std::string timing = "checkpoints:\n5 [1 2 3] [0 0 1]\nfirstlap: 0\nnormallap: 0\n";
  {
    // A line with three numbers ends the section; the checkpoints after it still count.
    Track track;
    read("startinggate:\n[1 0 1] 0\n[2 0 2]\n" + timing, track);
    EXPECT_EQ(track.starting_gates.size(), 1u);
    EXPECT_EQ(track.checkpoints.size(), 1u);
  }
  {
    std::string many = "startinggate:\n";
    for (int i = 0; i < 170; ++i) many += "[" + std::to_string(i) + " 0 1] 0\n";
    Track track;
    read(many + timing, track);
    EXPECT_EQ(track.starting_gates.size(), 160u);
    EXPECT_EQ(track.statues.size(), 160u);
  }
  {
    // Infinity (a number too large for a float) would be written back as "inf", which nothing
    // reads; the record is malformed instead.
    Track track;
    read("startinggate:\n[1 0 1] 0\n[1e50 0 1] 0\n" + timing, track);
    EXPECT_EQ(track.starting_gates.size(), 1u);
  }
}

TEST_F(TimingGatesTest, WrittenFileReadsBackTheSame) {
  load_ground();
  Track track;
  read(
      "startinggate:\n[1.5 0 2.25] 0.5\n[3 0.125 4] -1 @a.jm @a.png null\n"
      "checkpoints:\n5 [1 2 3] [0 0 1]\n6.5 [4 5 6] [1 0 0]\n"
      "firstlap: 0 100001\nnormallap: 1 0\n",
      track);
  ASSERT_TRUE(race::write_timing_gates(track, "@saved"));
  const std::string written = test_support::read_file(xdg.file(user_file("saved/timing_gates")));
  EXPECT_EQ(written.find("@startgate"), std::string::npos) << written;
  EXPECT_NE(written.find(" @a.jm @a.png null\n"), std::string::npos) << written;

  Track again;
  read(written, again);
  ASSERT_EQ(again.starting_gates.size(), track.starting_gates.size());
  for (std::size_t i = 0; i < track.starting_gates.size(); ++i) {
    const race::StartingGate& a = track.starting_gates[i];
    const race::StartingGate& b = again.starting_gates[i];
    EXPECT_EQ(std::vector<float>({a.x, a.y, a.z, a.yaw}),
              std::vector<float>({b.x, b.y, b.z, b.yaw}));
    EXPECT_EQ(track.statues[a.statue].model, again.statues[b.statue].model);
    EXPECT_EQ(track.statues[a.statue].texture, again.statues[b.statue].texture);
    EXPECT_EQ(track.statues[a.statue].shape_name, again.statues[b.statue].shape_name);
  }
  ASSERT_EQ(again.checkpoints.size(), 2u);
  EXPECT_EQ(again.checkpoints[1].radius, 6.5f);
  EXPECT_EQ(again.checkpoints[1].centre.z, 6);
  EXPECT_EQ(again.lap_sequences, track.lap_sequences);
  EXPECT_EQ(again.first_lap_length, 2);
  // No temporary file is left beside it.
  EXPECT_FALSE(test_support::file_exists(xdg.file(user_file("saved/timing_gates.tmp"))));
}

TEST_F(TimingGatesTest, WritersReportAFolderThatCannotBeWritten) {
  Track track;
  struct Case {
    bool (*write)(const Track&, const char*);
    const char* message;
  } cases[] = {
      {race::write_timing_gates, "Can't open 'timing_gates'\n"},
      {race::write_billboards, "Can't open 'billboards'\n"},
      {race::write_statues, "Can't open 'statues'\n"},
  };
  const std::string blocked = home.write("plain_file", "x") + "/track";
  for (const Case& c : cases) {
    EXPECT_FALSE(c.write(track, blocked.c_str()));
    EXPECT_NE(logged().find(c.message), std::string::npos) << c.message;
  }
}

}  // namespace
