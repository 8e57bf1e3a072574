// shell.h -- the program shell: start-up, the command line, the track and demo lists.
//
// Start-up runs once, in a fixed order (see startup.cpp), and leaves the parsed
// options in `g_startup` for the main loop and the parts that read them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "data/data.h"
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

// ---------------------------------------------------------------------------
// Settings: one process-wide table, shared by the menus, the configuration
// file "@config", the rider setup and the console.

// One of a list of names; set from text only by an exact match.
struct ChoiceSetting {
  const char* label = "";
  std::vector<std::string> names;
  int index = 0;
  const std::string& name() const { return names[static_cast<std::size_t>(index)]; }
};

// A number with a menu step, kept within [minimum, maximum].
struct NumberSetting {
  const char* label = "";
  double value = 0;
  double step = 1;
  double minimum = 0;
  double maximum = 0;
};

// A key name, or an axis name with its range (a, b); at most one is set.
struct Binding {
  const char* label = "";
  std::string key;
  std::string axis;
  double a = 0;
  double b = 1;
};

constexpr int kLineupSlots = 40;
constexpr int kServerHistory = 16;
constexpr int kBindings = 20;
// The first twelve bindings feed the rider's controls, the rest are actions.
enum BindingIndex {
  kThrottleKey, kFrontBrakeKey, kRearBrakeKey, kLeftKey, kRightKey, kClutchKey, kUpshiftKey,
  kDownshiftKey, kDabKey, kBackUpKey, kLeanForwardKey, kLeanBackwardKey, kPauseKey, kStepKey,
  kRewindKey, kSkipKey, kPrevKey, kNextKey, kConsoleKey, kScreenshotKey,
};

// Graphics presets of the graphics menu.
enum GraphicsPreset { kCompatibility, kHighFps, kNormal, kHighDetail, kGraphicsPresets };

struct Settings {
  int xres = 640;  // window size in pixels
  int yres = 480;
  int draw_fps = 0;
  int draw_time = 0;
  int draw_ping = 1;
  int spy = 0;
  std::string track = "rabbithill";  // directory of the chosen track
  int track_index = 0;               // in the track list, once it is built
  ChoiceSetting record;
  ChoiceSetting skill;
  NumberSetting minutes;
  NumberSetting laps;
  ChoiceSetting slots[kLineupSlots];
  NumberSetting ghost_fade_distance;  // ft
  ChoiceSetting time_trial_abort;
  ChoiceSetting video_mode;
  std::string server_name;  // at most 127 characters
  std::string server_history[kServerHistory];  // at most 126 characters each
  NumberSetting ground_detail;
  NumberSetting ground_texture_detail;
  ChoiceSetting ground_texture_dim;
  ChoiceSetting ground_mipmaps;
  ChoiceSetting texture_compress;
  ChoiceSetting use_fbo;  // read only
  ChoiceSetting render_texture;
  ChoiceSetting use_shader;
  NumberSetting model_detail;
  NumberSetting model_texture_detail;
  NumberSetting roost_density;
  ChoiceSetting lens_flare;
  ChoiceSetting reflections;
  ChoiceSetting hide_rider;
  ChoiceSetting rigid_camera;
  NumberSetting fov;                    // degrees
  NumberSetting first_person_height;    // 0..1
  NumberSetting first_person_angle;     // degrees
  NumberSetting third_person_height;    // ft
  NumberSetting third_person_distance;  // ft
  NumberSetting volume;
  NumberSetting comp_volume;
  ChoiceSetting playback_mode;
  int billboard_optimize_lookahead = 8;
  int message_lines = 5;
  int demo_backups = 0;
  Binding bindings[kBindings];
};

extern Settings g_settings;

// The built-in defaults (the Compatibility graphics preset included).
Settings default_settings();

// The configuration file's keys of the bindings, in their order.
const char* binding_key(int index);

// Copies one preset's values into the twelve graphics settings.
void apply_graphics_preset(Settings& settings, int preset);
// The preset all twelve graphics settings equal, or -1 ("Custom").
int current_graphics_preset(const Settings& settings);
// "Current Settings: Normal" and so on, or "Current Settings: Custom".
std::string current_graphics_text(const Settings& settings);

// Binding values: "(k)name" or "name" for a key, "(a,b)name" for an axis.
void parse_binding(const char* value, Binding& binding);
std::string format_binding(const Binding& binding);

// Reads "@config" over the settings; a missing file leaves them as they are.
void read_config(Settings& settings);
// Writes every setting to "@config" (through a temporary file renamed over
// it). False when the file cannot be written; the old one then stays.
bool write_config(const Settings& settings);

// The rider setup's part of the configuration file. Returns true when the
// rider setup took the key.
bool rider_setup_read_line(const char* key, const char* value);
void rider_setup_write_lines(data::DataStream* stream);

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
                               Settings& settings);

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

// Start-up step 8: the Stability preset, the graphics preset and the lists
// of texture variants, then "@config" read over them.
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
  int tick = 0;  // the race tick counter, 0 at set-up
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

// Prepares the loop (the clock, the resolved bindings); main_loop calls it.
void main_loop_begin();

// One tick step: takes the input events stamped up to the tick's wall moment
// (event-clock seconds) and acts on them, gathers the control inputs, hands
// them over, and runs the race tick unless paused.
void tick_step(double wall_moment);

// Advances the race by one tick.
void race_tick();

// Gives the tick's nine control inputs to the watched bike when it is driven
// locally (else to the camera of the view).
void hand_over_controls(const float inputs[]);

// The control inputs of the last tick, and whether the game is paused.
const float* control_inputs();
bool game_paused();

// Closes the network session, frees the race, closes audio and window, writes
// the configuration.
void shutdown();

// ---------------------------------------------------------------------------
// Frame loop: wall-clock time into whole ticks.

constexpr double kTick = 0.0078125;  // s, 1/128
constexpr int kMaxTicksPerFrame = 16;

// The wall clock, replaceable so that tests can drive the loop with a fake one.
struct ClockSource {
  double (*now)();                // s
  void (*sleep)(double seconds);
};
ClockSource system_clock();

struct FrameClock {
  double last_wall = 0;  // s, wall time of the last frame
  double target = 0;     // s, simulated target time
  double simulated = 0;  // s, simulated time reached by whole ticks
  double total = 0;      // s, drives message expiry
  int histogram[8] = {};  // frames by elapsed time: bucket k holds elapsed < tick * 2^k
  double shortest = 0;   // s, shortest and longest frame advance
  double longest = 0;
  int frames = 0;
};

// How a connected game paces itself against the server.
struct CatchUp {
  bool connected = false;
  double behind = 0;       // s: the server's latest tick minus one, less ours
  bool past_mark = false;  // the server has passed the catch-up mark
};

// Step 4 and 5 of a frame: measures (sleeping as needed) and returns the
// frame's advance in seconds, which is added to the target and total times.
double frame_advance(FrameClock& clock, const ClockSource& source, bool warp, double lock_fps,
                     const CatchUp& catch_up);

// The tick loop: runs `tick(wall_moment)` while the simulated time is behind
// the target; the moment is the wall time the tick stands for. Returns the
// number of ticks run.
template <typename TickFn>
int run_ticks(FrameClock& clock, TickFn&& tick) {
  int ticks = 0;
  while (clock.simulated < clock.target) {
    clock.simulated += kTick;
    tick(clock.last_wall - (clock.target - clock.simulated));
    ++ticks;
  }
  return ticks;
}

// The nine control inputs, summed each tick from the bindings.
enum ControlInput {
  kInputSteer, kInputThrottle, kInputFrontBrake, kInputRearBrake, kInputShift, kInputClutch,
  kInputDab, kInputBackUp, kInputLean, kControlInputs,
};

// A binding with its name resolved to a key code or an open axis.
struct ResolvedBinding {
  unsigned code = 0;  // key, mouse or controller button; 0 for none
  platform::Axis axis;
  bool has_axis = false;
  double a = 0, b = 1;
};

// Resolves the configured bindings (start-up, and after the controls menu).
void resolve_bindings(const Settings& settings, ResolvedBinding out[kBindings]);

// Which keys are held, from the queue's press and release events.
struct HeldKeys {
  std::vector<unsigned> codes;
  void press(unsigned code);
  void release(unsigned code);
  bool held(unsigned code) const;
};

// Sums the bindings' contributions: a held key gives 1, an axis
// clamp((raw / 32768 - a) / (b - a), 0, 1). `read_axis` reads a raw axis.
void gather_control_inputs(const ResolvedBinding bindings[kBindings], const HeldKeys& held,
                           int (*read_axis)(const platform::Axis&), float inputs[kControlInputs]);

// The program's entry: start-up, the main loop, shutdown. Returns the exit status.
int korvex_main(int argc, char** argv, const platform::BuildDigests& digests);

}  // namespace shell
