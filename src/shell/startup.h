// startup.h -- start-up state and the command line (private to the shell).
//
// Start-up runs once, as a sequence of named steps (startup.cpp), and leaves the parsed
// options in `g_startup` for the main loop and the parts that read them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "shell/settings.h"

namespace shell {

// The process-wide start-up state: set once at start-up, read for the whole run.
struct StartupState {
  bool sound_disabled = false;
  std::string record_audio_file;     // empty: none
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
  int debug_level = 0;                           // 0..2
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

// The result of parsing the command line.
struct ParseResult {
  bool stop = false;  // end the program now with `status`
  int status = 0;
  std::string error_text;  // written to standard error (notices included)
  bool open_home = false;  // "--open-home": open the per-user folder, return 0
};

// Parses the arguments (without the program name) into `state` and
// `settings`. Prints nothing and opens nothing: the caller writes
// `error_text` to standard error and acts on `stop` and `open_home`.
ParseResult parse_command_line(const std::vector<std::string>& args, StartupState& state,
                               Settings& settings);

// Switches the open window to the "Video Mode" setting (the graphics menu's "Switch To
// Selected Mode Now"); shows a message and returns false when the platform refuses.
bool switch_video_mode();

// The digest of the seven stock shape files, lower-case hex.
std::string stock_shapes_digest();

}  // namespace shell
