// track_list.cpp -- the installed tracks and demos, from the data names.
#include <cctype>
#include <cstring>
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "shell/settings.h"
#include "shell/track_list.h"

namespace shell {

namespace {

constexpr const char* kTerrainSuffixes[] = {"/terrain.hf", "/terrain.hf.gz", "/terrain.hf.scram",
                                            "/terrain.hf.gz.scram"};

bool ends_with(const std::string& text, const char* suffix) {
  const std::size_t length = std::strlen(suffix);
  return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// The first line of the track's "desc", or the directory itself.
std::string display_name(const std::string& directory) {
  const std::string name = "@" + directory + "/desc";
  data::DataStream* desc = data::open_data(name.c_str(), "rb");
  if (!desc) return directory;
  std::string first_line;
  for (int c = data::ds_getc(desc); c > 0 && c != '\r' && c != '\n'; c = data::ds_getc(desc)) {
    first_line.push_back(static_cast<char>(c));
  }
  data::close_data(desc);
  return first_line;
}

int compare_case_insensitive(const std::string& a, const std::string& b) {
  for (std::size_t i = 0;; ++i) {
    const int ca = i < a.size() ? std::tolower(static_cast<unsigned char>(a[i])) : 0;
    const int cb = i < b.size() ? std::tolower(static_cast<unsigned char>(b[i])) : 0;
    if (ca != cb || ca == 0) return ca - cb;
  }
}

}  // namespace

TrackList g_tracks;
DemoList g_demos;

TrackList build_track_list(int debug_level) {
  TrackList tracks;
  for (const char* const* name = data::data_names(); *name; ++name) {
    const std::string path = *name;
    for (const char* suffix : kTerrainSuffixes) {
      if (!ends_with(path, suffix)) continue;
      const std::string directory = path.substr(0, path.rfind('/'));
      // One track even when several variants of its terrain are installed.
      if (find_track(tracks, directory) >= 0) break;
      tracks.directories.push_back(directory);
      tracks.names.push_back(display_name(directory));
      break;
    }
  }
  // Selection sort, swapping directory and name together.
  const std::size_t count = tracks.names.size();
  for (std::size_t i = 0; i + 1 < count; ++i) {
    std::size_t least = i;
    for (std::size_t j = i + 1; j < count; ++j) {
      if (compare_case_insensitive(tracks.names[j], tracks.names[least]) < 0) least = j;
    }
    std::swap(tracks.names[i], tracks.names[least]);
    std::swap(tracks.directories[i], tracks.directories[least]);
  }
  if (debug_level >= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      platform::log("%s -> %s\n", tracks.directories[i].c_str(), tracks.names[i].c_str());
    }
  }
  return tracks;
}

DemoList build_demo_list(int debug_level) {
  DemoList demos;
  for (const char* const* name = data::data_names(); *name; ++name) {
    const std::string path = *name;
    if (path.compare(0, 6, "demos/") != 0 || !ends_with(path, ".kvdemo")) continue;
    const std::size_t slash = path.rfind('/');
    std::string display = path.substr(slash + 1, path.size() - slash - 1 - 7);
    if (display.empty()) display = path;
    demos.paths.push_back(path);
    demos.names.push_back(display);
    if (debug_level >= 1) platform::log("%s -> %s\n", path.c_str(), display.c_str());
  }
  return demos;
}

int find_track(const TrackList& tracks, const std::string& directory) {
  for (std::size_t i = 0; i < tracks.directories.size(); ++i) {
    if (tracks.directories[i] == directory) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace shell
