// shell.h -- the program shell: start-up, the command line, the track and demo lists.
//
// Start-up runs once, in a fixed order (see startup.cpp), and leaves the parsed
// options in `g_startup` for the main loop and the parts that read them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace shell {

// The process-wide start-up state: set once at start-up, read for the whole run.
struct StartupState {
  bool sound_disabled = false;
  std::string record_audio_file;  // empty: none
  FILE* record_audio_out = nullptr;  // each tick's samples go here
  bool record_video = false;
  bool warp = false;
  double lock_fps = 0.0;  // frames per second; 0 is off
  int colour_depth = 16;  // bits
  int depth_buffer_depth = 16;
  bool show_pause_text = true;
  bool show_hud = true;
  bool gl_finish = false;
  float chase_center[3] = {0.0f, 2.52f, 0.52f};  // ft, in the bike body's frame
  int debug_level = 0;  // 0..2
  bool practice = false;
  std::string start_track;      // track directory; empty: none
  std::string server_address;   // empty: none
  std::string server_password;  // empty: none
  std::string playback_file;    // empty: none
  bool learn_lines = false;
  bool editor_allowed = false;
  double fake_lag = 0.0;  // seconds, 0..1
  int fake_loss = 0;      // percent, 0..100
  int lineup_rotation = 0;
  bool mmx = false;
  bool stock_shapes = false;  // the stock collision shapes are the released ones

  // Drawing switches.
  bool fugly = false;  // flat shading, clear colour and depth every frame
  bool no_vertex_arrays = false;
  bool accurate_skip = false;
  bool print_orientation = false;
  int draw_render_stats = 0;

  // The renderer's working values, derived from the settings and then
  // overridden by the command line.
  int terrain_texture_detail = 1;  // 0..10, 0 is the finest
  int model_texture_detail = 1;
  int ground_texture_size = 64;  // pixels
  int roost_frequency = 1000;
  double erosion_rate = 0.0;  // 0..100; 0 is no erosion while riding
  double terrain_detail = 1.0;
  double max_detail_distance = 16.0;  // ft; the fade ends 5 ft further
  double lod_scale = 1.0;             // 1e-6..1e6
  double lod_bias = 0.0;
};

extern StartupState g_startup;

// The settings that start-up reads and the command line may change. The
// configuration file keeps the full table; these are its start-up values.
struct StartupSettings {
  int xres = 640;  // window size in pixels
  int yres = 480;
  int draw_fps = 0;
  int draw_time = 0;
  int draw_ping = 1;
  std::string track = "rabbithill";
  int video_mode = 0;  // 0 "Default Fullscreen", 1 "Windowed", then the modes
  double ground_texture_levels = 9;  // 0..10
  double model_texture_detail = 9;   // 0..10
  int ground_texture_resolution = 1;  // index of "32x32" .. "1024x1024"
  double roost_density = 1000;
  int robot_skill = 0;
};

extern StartupSettings g_startup_settings;

// The result of parsing the command line.
struct ParseResult {
  bool stop = false;       // end the program now with `status`
  int status = 0;
  std::string error_text;  // written to standard error (notices included)
  bool open_home = false;  // "--open-home": open the per-user folder, return 0
};

// Parses the arguments (without the program name) into `state` and
// `settings`. Prints nothing and opens nothing: the caller writes
// `error_text` to standard error and acts on `stop` and `open_home`.
ParseResult parse_command_line(const std::vector<std::string>& args, StartupState& state,
                               StartupSettings& settings);

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

// The digest of the seven stock shape files, lower-case hex.
std::string stock_shapes_digest();

// Settings (the configuration file owns the full table).

// Start-up defaults: the Stability preset, the graphics preset and the lists
// of texture variants; then reads "@config" over them.
void settings_startup();

// Race driver: rider slots, race set-up, the main loop, shutdown.

constexpr int kRiderSlots = 160;

// Driver kinds of a rider slot.
enum DriverKind { kDriverLocal = 0, kDriverHistory = 1, kDriverAutoPilot = 2 };

struct RiderSlot {
  void* bike = nullptr;  // the slot's bike, or none
  int driver = kDriverHistory;
};

struct RaceDriver {
  RiderSlot slots[kRiderSlots];
  int lineup[kRiderSlots] = {};  // 0 empty, 1 local human, 2 computer rider, ...
  bool race_loaded = false;
};

extern RaceDriver g_race;

// Empties every slot (no bike, replayed from history, lineup 0).
void reset_rider_slots();

// Sets up a race on `track`; returns with no race when the track cannot be loaded.
void setup_race(const std::string& track, bool playback, bool record_demo, int time_limit_ticks,
                int laps, int robot_skill);

// Runs frames until the program ends; then shuts down. Returns the exit status.
int main_loop();

// Closes the network session, frees the race, closes audio and window, writes
// the configuration.
void shutdown();

// The program's entry: start-up, the main loop, shutdown. Returns the exit status.
int korvex_main(int argc, char** argv, const platform::BuildDigests& digests);

}  // namespace shell
