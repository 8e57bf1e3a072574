// track_list.h -- the installed tracks and the recorded demos (private to the shell).
#pragma once

#include <string>
#include <vector>

namespace shell {

// The installed tracks: parallel lists of directories and display names,
// sorted by display name case-insensitively. Menus, the console and the race
// driver index them by track number.
struct TrackList {
  std::vector<std::string> directories;
  std::vector<std::string> names;
};

// The demos: data paths under "demos/" ending in ".kvdemo", with the file
// name without directory and extension as display name.
struct DemoList {
  std::vector<std::string> paths;
  std::vector<std::string> names;
};

extern TrackList g_tracks;
extern DemoList g_demos;

// Builds the lists from the data names (logging them at debug level 1).
TrackList build_track_list(int debug_level);
DemoList build_demo_list(int debug_level);

// The track whose directory is `directory`, or -1.
int find_track(const TrackList& tracks, const std::string& directory);

}  // namespace shell
