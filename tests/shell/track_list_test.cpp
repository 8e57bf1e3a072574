// track_list_test.cpp -- the track and demo lists built from the data names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "data/data.h"
#include "shell/settings.h"
#include "shell/track_list.h"
#include "support/test_support.h"

using TrackListTest = test_support::DataFoldersTest;
using Texts = std::vector<std::string>;

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
  EXPECT_EQ(tracks.names, (Texts{"Alpha", "beta", "gamma", "plain"}));
  EXPECT_EQ(tracks.directories, (Texts{"c", "b", "a", "plain"}));
  EXPECT_EQ(shell::find_track(tracks, "b"), 1);
  EXPECT_EQ(shell::find_track(tracks, "B"), -1);
}

TEST_F(TrackListTest, TracksInPacksAndNestedFolders) {
  const std::string desc = "Rabbit Hill";
  home.write("zzzz.saf", "1 rabbithill/terrain.hf\n" + std::to_string(desc.size()) +
                             " rabbithill/desc\n-\nh" + desc);
  home.write("series/outdoor/terrain.hf.gz.scram", "h");
  // A track both loose and packed, and with two terrain variants, is listed once.
  xdg.write("Korvex/rabbithill/terrain.hf.scram", "h");

  const shell::TrackList tracks = shell::build_track_list(0);
  EXPECT_EQ(tracks.names, (Texts{"Rabbit Hill", "series/outdoor"}));
  EXPECT_EQ(tracks.directories, (Texts{"rabbithill", "series/outdoor"}));
}

TEST_F(TrackListTest, DemosUnderTheDemosFolder) {
  xdg.write("Korvex/demos/default.kvdemo", "d");
  xdg.write("Korvex/demos/rabbithill/fastlap.kvdemo", "d");
  xdg.write("Korvex/demos/.kvdemo", "d");
  xdg.write("Korvex/demos/notes.txt", "d");
  xdg.write("Korvex/other/x.kvdemo", "d");

  const shell::DemoList demos = shell::build_demo_list(0);
  EXPECT_EQ(demos.paths,
            (Texts{"demos/.kvdemo", "demos/default.kvdemo", "demos/rabbithill/fastlap.kvdemo"}));
  // With no name left, the path itself.
  EXPECT_EQ(demos.names, (Texts{"demos/.kvdemo", "default", "fastlap"}));
}
