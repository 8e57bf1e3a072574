// track_list_test.cpp -- the track and demo lists built from the data names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "data/data.h"
#include "shell/shell.h"
#include "support/test_support.h"

using test_support::TempDir;

namespace {

class TrackListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_DATA_HOME", user.path().c_str(), 1);
    setenv("KV_HOME", home.path().c_str(), 1);
    data::data_reset_for_test();
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    unsetenv("KV_HOME");
    data::data_reset_for_test();
  }
  TempDir user;
  TempDir home;
};

}  // namespace

TEST_F(TrackListTest, SortedByDisplayNameIgnoringCase) {
  home.write("b/terrain.hf", "h");
  home.write("b/desc", "beta\nsecond line");
  home.write("a/terrain.hf.gz", "h");
  home.write("a/desc", "gamma\r\n");
  home.write("c/terrain.hf", "h");
  home.write("c/desc", std::string("Alpha\0hidden", 12));
  home.write("plain/terrain.hf", "h");  // no desc: shown by its directory
  home.write("nottrack/terrain.hfx", "h");

  const shell::TrackList tracks = shell::build_track_list(0);
  ASSERT_EQ(tracks.names.size(), 4u);
  EXPECT_EQ(tracks.names[0], "Alpha");
  EXPECT_EQ(tracks.directories[0], "c");
  EXPECT_EQ(tracks.names[1], "beta");
  EXPECT_EQ(tracks.directories[1], "b");
  EXPECT_EQ(tracks.names[2], "gamma");
  EXPECT_EQ(tracks.directories[2], "a");
  EXPECT_EQ(tracks.names[3], "plain");
  EXPECT_EQ(shell::find_track(tracks, "b"), 1);
  EXPECT_EQ(shell::find_track(tracks, "B"), -1);
}

TEST_F(TrackListTest, TracksInPacksAndNestedFolders) {
  const std::string desc = "Rabbit Hill";
  home.write("zzzz.saf", "1 rabbithill/terrain.hf\n" + std::to_string(desc.size()) +
                             " rabbithill/desc\n-\nh" + desc);
  home.write("series/outdoor/terrain.hf.gz.scram", "h");
  // A track both loose and packed, and with two terrain variants, is listed once.
  user.write("Korvex/rabbithill/terrain.hf.scram", "h");

  const shell::TrackList tracks = shell::build_track_list(0);
  ASSERT_EQ(tracks.names.size(), 2u);
  EXPECT_EQ(tracks.names[0], "Rabbit Hill");
  EXPECT_EQ(tracks.directories[0], "rabbithill");
  EXPECT_EQ(tracks.names[1], "series/outdoor");
}

TEST_F(TrackListTest, DemosUnderTheDemosFolder) {
  user.write("Korvex/demos/default.kvdemo", "d");
  user.write("Korvex/demos/rabbithill/fastlap.kvdemo", "d");
  user.write("Korvex/demos/.kvdemo", "d");
  user.write("Korvex/demos/notes.txt", "d");
  user.write("Korvex/other/x.kvdemo", "d");

  const shell::DemoList demos = shell::build_demo_list(0);
  ASSERT_EQ(demos.paths.size(), 3u);
  EXPECT_EQ(demos.paths[0], "demos/.kvdemo");
  EXPECT_EQ(demos.names[0], "demos/.kvdemo");  // no name left: the path itself
  EXPECT_EQ(demos.names[1], "default");
  EXPECT_EQ(demos.paths[2], "demos/rabbithill/fastlap.kvdemo");
  EXPECT_EQ(demos.names[2], "fastlap");
}
