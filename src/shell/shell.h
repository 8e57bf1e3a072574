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
#include "race/race.h"  // the free camera is a TrackCamera
#include "sim/sim.h"

namespace render {
struct Camera;
}

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
  // The chosen name; empty when the choice has none (not yet filled in).
  const std::string& name() const {
    static const std::string kNone;
    return index >= 0 && static_cast<std::size_t>(index) < names.size()
               ? names[static_cast<std::size_t>(index)]
               : kNone;
  }
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

// Builders and text setters shared by every table of settings.
ChoiceSetting make_choice(const char* label, std::vector<std::string> names, int index);
NumberSetting make_number(const char* label, double value, double step, double minimum,
                          double maximum);
// "%f" text, clamped to the range; text that is not a number (or NaN) leaves
// the value as it was.
void set_number_text(NumberSetting& setting, const char* text);
// An exact, case-sensitive match with one of the names; false when none.
bool set_choice_text(ChoiceSetting& setting, const char* text);

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

// ---------------------------------------------------------------------------
// Bike catalogue (catalogue.cpp, catalogue_data.cpp): the 45 built-in models.
//
// The catalogue's types (sim.h) live with the simulation that reads them.

constexpr int kCatalogueSize = 45;
using sim::BikeConstants;
using sim::BikeFile;
using sim::BikeInfo;
using sim::RiderContacts;
using sim::RiderInfo;
using sim::WheelInfo;
using sim::kBikeFiles;
using sim::kMaxGears;
using sim::kTorquePoints;
using sim::kTorqueRpmStep;
using enum sim::BikeFile;

// The catalogue in list order, ending with nullptr.
const BikeInfo* const* bike_catalogue();

// The entry named exactly `name`; otherwise the first whose name contains
// "125" (when `name` does) or "250f", with the message "bike info for '...'
// not found using '...' instead". Never nullptr.
const BikeInfo* find_bike_info(const char* name);

// "crf250" -> "crf250(2008)" and the like; any other name is returned as it is.
const char* bike_alias(const char* name);

// The engine sound a class has when none is given: "@default450f.braap" and
// so on; nullptr for a class without one.
const char* default_engine_sound(const char* bike_class);

// The setup menu's "Bike" names, in menu order, and their bike-graphics prefixes.
const char* bike_menu_name(int index);
const char* bike_graphics_prefix(int index);

// "default", then "@" + every data path whose file name starts with `prefix`
// and that is a colour texture (".png" or ".png.scram", not "_norm"/"_spec"),
// ".scram" removed.
std::vector<std::string> texture_variants(const char* prefix);

// Number-plate colours, 0..255 RGB.
struct PlateColours {
  unsigned char background[3] = {255, 255, 255};
  unsigned char foreground[3] = {0, 0, 0};
};
// From a bike texture's embedded text: "[numberbackground:r,g,b" and
// "[numberforeground:r,g,b", each component 0..1.
PlateColours plate_colours(const std::string& texture_text);

constexpr int kPlateSide = 128;   // pixels
constexpr int kPlateMaxChars = 7;
// The number text (at most 7 characters are drawn) on a 128 x 128 RGB plate,
// rows top first.
std::vector<unsigned char> number_plate_image(const char* number, const PlateColours& colours);

// What bike creation takes from the catalogue: the entry, the textures to
// use and the number plate.
struct BikeAssets {
  const BikeInfo* info = nullptr;
  std::string rider_body_texture;
  std::string bike_texture;
  std::string wheel_texture;
  std::string rider_head_texture;
  PlateColours plate;
  std::vector<unsigned char> plate_image;  // kPlateSide x kPlateSide RGB
};
// Whether a texture loads; the default asks the texture cache (GL context needed).
using TextureProbe = bool (*)(const char* name);
// Looks up the model and picks each texture: the given path when it loads,
// else the entry's own file. Any path may be nullptr or empty.
BikeAssets bike_assets(const char* model, const char* number, const char* rider_body,
                       const char* bike, const char* wheels, const char* rider_head,
                       TextureProbe probe = nullptr);

// ---------------------------------------------------------------------------
// Rider setup (rider_setup.cpp): the player's bike, identity, graphics, riding
// aids and adjustments, kept as "key=value" lines in "@config" and in setup
// files under "@setups/".

constexpr int kSetupNameMax = 63;
constexpr int kSetupNumberMax = 3;

struct RiderSetup {
  ChoiceSetting bike;
  std::string name = "Joe Motocross";
  std::string number = "999";
  ChoiceSetting rider_texture;  // texture variants: "default" or a data name
  ChoiceSetting head_texture;
  ChoiceSetting bike_texture;
  ChoiceSetting wheel_texture;
  NumberSetting stability;
  NumberSetting leveling;
  NumberSetting roll_damping;
  NumberSetting roll_limit_angle;  // degrees
  NumberSetting roll_limit_factor;
  NumberSetting steering_damping;
  NumberSetting steering_strength;
  NumberSetting max_steering_force;
  NumberSetting direct_steering;
  NumberSetting slow_damping_speed;  // ft/s
  NumberSetting slow_damping_factor;
  NumberSetting land_damping_falloff;  // s
  NumberSetting land_damping_factor;
  NumberSetting full_lock_speed;        // ft/s
  NumberSetting restricted_lock_speed;  // ft/s
  NumberSetting restricted_lock;        // degrees
  ChoiceSetting arcade;
  ChoiceSetting front_brake;  // "Normal", "Antilock"
  ChoiceSetting rear_brake;
  ChoiceSetting stop_wheelies;  // "No", "Yes", "Front Only"
  ChoiceSetting auto_shift;
  ChoiceSetting auto_dab;
  ChoiceSetting auto_align;
  ChoiceSetting sticky_dab;
  ChoiceSetting reverse_steering;
  ChoiceSetting lean_indicator;
  NumberSetting auto_clutch_rpms;
  NumberSetting brake_torque;       // ft·lbf, front
  NumberSetting rear_brake_torque;  // ft·lbf
  NumberSetting max_dab_speed;      // mph
  NumberSetting front_sprocket_adjustment;  // teeth
  NumberSetting rear_sprocket_adjustment;   // teeth
  NumberSetting fork_compression_adjustment;
  NumberSetting fork_rebound_adjustment;
  NumberSetting fork_spring_rate_adjustment;
  NumberSetting fork_preload_adjustment;
  NumberSetting fork_oil_level_adjustment;
  NumberSetting shock_compression_adjustment;
  NumberSetting shock_rebound_adjustment;
  NumberSetting shock_spring_rate_adjustment;
  NumberSetting shock_preload_adjustment;
  NumberSetting rider_yspring;
  NumberSetting rider_ydamping;
  NumberSetting rider_zspring;
  NumberSetting rider_zdamping;
  NumberSetting rider_mass_distribution;
};

extern RiderSetup g_rider_setup;

// The built-in values, with empty texture variant lists ("default" only) and
// before the Stability preset.
RiderSetup default_rider_setup();

// Start-up step 8: the built-in setup, its texture variant lists from the
// data names, and the Stability preset with the built-in stability.
void rider_setup_startup();

// Rebuilds the "Bike Graphics" list for the chosen bike and selects "default".
void rebuild_bike_graphics(RiderSetup& setup);

// Sets the fifteen riding aids from `setup.stability`.
void apply_stability_preset(RiderSetup& setup);

// One "key=value" line. False when the key is not a setup key. A bad value
// leaves the setting as it was; numbers are clamped to their range.
bool rider_setup_parse(RiderSetup& setup, const char* key, const char* value);
// Every setup line, in order.
void rider_setup_write(const RiderSetup& setup, data::DataStream* stream);

// Setup files: "@setups/" + name (trailing white space removed). A name
// that is empty, starts with "." or holds "/" or "\" is refused (false).
// Reading fails when the file cannot be opened; writing goes through a
// temporary file renamed over the old one.
bool read_setup_file(RiderSetup& setup, const char* name);
bool write_setup_file(const RiderSetup& setup, const char* name);

// What the mechanic hands a bike, in the bike's units and in the order it is
// handed over.
struct BikeAdjustments {
  double leveling = 0;
  double roll_damping = 0;
  double roll_limit_angle = 0;  // rad
  double roll_limit_factor = 0;
  double steering_damping = 0;
  double steering_strength = 0;
  double max_steering_force = 0;
  bool arcade = false;
  bool front_antilock = false;
  bool rear_antilock = false;
  int stop_wheelies = 0;  // 0 off, 2 front only, 3 both wheels
  bool auto_shift = false;
  bool auto_dab = false;
  bool auto_align = false;
  double direct_steering = 0;
  double slow_damping_speed = 0;  // ft/s
  double slow_damping_factor = 1;
  double land_damping_falloff = 0;  // s
  double land_damping_factor = 1;
  double full_lock_speed = 1;        // ft/s
  double restricted_lock_speed = 1;  // ft/s
  double restricted_lock = 0;        // rad
  double auto_clutch_rpms = 0;
  double brake_torque = 0;       // ft·lbf
  double rear_brake_torque = 0;  // ft·lbf
  double max_dab_speed = 7;      // ft/s
  double front_sprocket_adjustment = 0;  // teeth
  double rear_sprocket_adjustment = 0;
  double final_ratio = 1;  // rear teeth / countershaft teeth
  double fork_compression = 0;  // lbf per ft/s
  double fork_rebound = 0;
  double fork_spring_rate = 0;  // lbf/ft
  double fork_preload = 0;      // ft
  double fork_oil_level = 0;    // ft
  double shock_compression = 0;
  double shock_rebound = 0;
  double shock_spring_rate = 0;  // lbf/ft
  double shock_preload = 0;      // ft
  double rider_yspring = 0;      // 0..1
  double rider_zspring = 0;
  double rider_ydamping = 0;
  double rider_zdamping = 0;
  double rider_mass_distribution = 1.0 / 3;  // share of the rider's mass on the upper body
  double rider_upper_mass = 0;  // slugs, on the rider body
  double rider_lower_mass = 0;  // slugs, added to the frame
  bool out_of_range = false;    // the setup-out-of-range flag of the recorded state
};

// The bike's side of the hand-over: every riding aid clamped to the range the
// bike accepts; a value beyond it by more than an eighth of the range's width
// sets `out_of_range`.
BikeAdjustments bike_accept(const BikeAdjustments& handed);

// The setup converted for `info`'s bike and accepted by it. `no_arcade`:
// the multiplayer server forbids arcade physics.
BikeAdjustments setup_adjustments(const RiderSetup& setup, const BikeInfo& info, bool no_arcade);

// Sets every adjustment on a bike, through the bike's clamping setters.
void apply_bike_adjustments(sim::Bike* bike, const BikeAdjustments& adjustments);

// The mechanic: refuses while the bike moves faster than 0.125 ft/s, showing
// "Settings not applied.  Mechanic can't keep up error." when 10 s or more
// have passed since the last refusal (`now_s`: total time in seconds).
// Otherwise fills `out` and returns true.
struct Mechanic {
  bool refused_before = false;
  double last_refusal_s = 0;
};
extern Mechanic g_mechanic;
bool mechanic_apply(Mechanic& mechanic, const RiderSetup& setup, const BikeInfo& info,
                    double bike_speed_ft_s, double now_s, bool no_arcade, BikeAdjustments* out);

// The "Suspension and Gearing" page's values beside the adjustments.
enum SetupDisplay {
  kShowForkSpringRate, kShowForkPreload, kShowForkOilLevel, kShowShockSpringRate,
  kShowShockPreload, kShowCountershaft, kShowRearSprocket,
};
std::string setup_display_value(const RiderSetup& setup, const BikeInfo& info, SetupDisplay which);

// Race driver: rider slots, race set-up, the main loop, shutdown.

constexpr int kRiderSlots = 160;

// Driver kinds of a rider slot.
enum DriverKind { kDriverLocal = 0, kDriverHistory = 1, kDriverAutoPilot = 2 };

// A computer rider's identity: number, personality, bike and looks.
struct RiderIdentity {
  const char* number;       // "20" .. "99"
  const char* personality;  // "harrier", "kestrel" or "merlin"
  const char* model;        // catalogue name before the alias table
  const char* body_texture;  // nullptr: the default look
  const char* head_texture;
  const char* bike_texture;
  const char* wheel_texture;
};

constexpr int kIdentities = 80;
// The built-in roster, numbers 20 to 99 in order.
const RiderIdentity* rider_identities();

struct RiderSlot {
  sim::Bike* bike = nullptr;  // the slot's bike, or none; owned by the race driver
  int driver = kDriverHistory;
  std::string model;     // the catalogue name the slot's bike is built from; empty: none
  const BikeInfo* info = nullptr;  // its catalogue entry, looked up once at set-up
  std::string name;      // the rider's name as listed
  int identity = -1;     // index into the roster for computer riders
};

struct RaceDriver {
  int tick = 0;        // the race tick counter, 0 at set-up
  int start_tick = 0;  // the tick at which the start gate drops
  int time_limit = 0;  // ticks; 0 is none
  int laps = 0;
  bool time_trial = false;
  RiderSlot slots[kRiderSlots];
  int lineup[kRiderSlots] = {};  // 0 empty, 1 local human, 2 computer rider, ...
  int identity_order[kIdentities] = {};  // the shuffled roster
  platform::Mt19937 random;
  int watched = 0;            // the slot the camera follows
  sim::InputAids aids;        // the local rider's input mapping
  std::string track;          // directory of the loaded track; empty: none
  std::string playback_track; // the playback demo's track
  bool race_loaded = false;
  int local_slot = -1;         // the local human's slot, or -1
  double start_spot[3] = {};   // where the local human's frame stood at set-up (ft)
  int held_until = 0;          // a false start holds the local bike until this tick
  float gate_fall = 1;         // the start-gate bars: 1 standing, 0 down (drawn turned by it)
  bool record_demo = false;    // the set-up's choices, kept for a restart
  int robot_skill = 0;
};

// A false start: before the gate drops, the frame has moved this far (ft) from its spot.
constexpr double kFalseStartDistance = 3;
// Whether a frame at `at` has left the starting spot by the false-start distance.
bool false_start(const double spot[3], const double at[3]);

extern RaceDriver g_race;

// Empties every slot (no bike, replayed from history, lineup 0).
void reset_rider_slots();

// Shuffles the roster order with the race's generator: for j from 79 down to
// 1, entry j swaps with entry (r / 65536) mod j, so no entry stays in place.
void shuffle_identities(platform::Mt19937& random, int order[kIdentities]);

// The start tick of a race: the whole ticks in 13 + 2u seconds, u from the
// generator's next number (so the gate drops between 13 and 15 s).
int draw_start_tick(platform::Mt19937& random);

// Fills the slots from a lineup (the lineup values of the driver's table):
// driver kind, model, name and identity of every slot. Only the first local
// human stays one.
void plan_slots(int lineup[kRiderSlots], const int identity_order[kIdentities], bool playback,
                const std::string& human_model, RiderSlot slots[kRiderSlots]);

// Sets up a race: a lineup (nullptr for a time trial), playback, the demo
// choice, the time limit in ticks (0 none), laps and robot skill. The track
// is the playback demo's when playing back, else the chosen one. Returns
// with no race when the track cannot be loaded.
void setup_race(const int* lineup, bool playback, bool record_demo, int time_limit_ticks,
                int laps, int robot_skill);

// Runs frames until the program ends; then shuts down. Returns the exit status.
int main_loop();

// Prepares the loop (the clock, the resolved bindings); main_loop calls it.
void main_loop_begin();

// One tick step: takes the input events stamped up to the tick's wall moment
// (event-clock seconds) and acts on them, gathers the control inputs, hands
// them over, and runs the race tick unless paused.
void tick_step(double wall_moment);

// Advances the race by one tick: collisions, roost, the physics world, erosion, each
// bike's step (held before the gate drops), particles, then the tick counter.
void race_tick();

// Frees every slot's bike.
void free_bikes();

// Puts a bike at rest on a slot's start position: on the track's start positions, rows of
// them 10 ft apart; without them in a line across the middle of the ground.
void place_on_grid(sim::Bike* bike, int slot);

// Time trial: puts the local rider back at the lap start, at rest.
void abort_attempt();

// Skips forward (seconds > 0) or rewinds, only while every bike is replayed from history;
// false (nothing done) otherwise. With "--accurate-skip" a skip rides the time with roost off.
bool skip_rewind(int seconds);

// The laps the race leader has completed (0 until lap counting lands).
int leader_completed_laps();

// Slot i's lineup value moves to slot i + 1, the last to slot 0 (warp mode's next race).
void rotate_lineup(int lineup[kRiderSlots]);

// The engine sounds' master factor: 1 while riding (not paused, no editor, no menu);
// 0.25 with a menu open over someone else's bike; otherwise 0.
double engine_sound_master(bool paused, bool editor, bool menu, bool watched_is_local);

// The tick's exchange with the multiplayer server; nothing while not connected.
void network_exchange();

// The frame's texts over the scene: "Paused" while paused (unless --hidden-pause).
void draw_frame_texts();

// The controls menu's wait for a binding: the next pressed key becomes binding `binding`'s
// key (its axis cleared), or a controller axis moved more than half way from where it
// rested becomes its axis, with the range (0.0625, 0.9375) or (-0.0625, -0.9375) by the
// side it moved to; the bindings are then resolved again. Esc cancels the wait.
void begin_binding_capture(int binding);
bool capturing_binding();

// One engine voice's volume: master x "Volume" x 0.1, further x "Competitor Volume" x 0.1 for
// every bike but the watched one; 0 for a replayed bike with no recent state.
double engine_voice_volume(double master, double volume, double competitor_volume, bool watched,
                           bool stale_history);

// Whether the main menu or the chat and command line has the keys.
bool menu_open();
bool console_open();

// Creates the slots' bikes from their models at their grid spots and hands each its
// aids: the rider setup for the local human, fixed aids for bikes replayed from history,
// the built-in Stability preset for computer riders.
void create_bikes();

// Gives the tick's nine control inputs to the watched bike when it is driven
// locally (else to the camera of the view).
void hand_over_controls(const float inputs[]);

// The view the frame loop draws (render::kView...), and the track camera the digit keys
// chose (1..9; 0 the free camera).
int current_view();
int chosen_track_camera();

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

// ---------------------------------------------------------------------------
// Test pilot (test_pilot.cpp): rides the lap gate to gate at a moderate pace. Computer
// riders ride with it until they follow racing lines; the tools use it too.

struct TestPilot {
  int gate = 0;  // the next gate, an index into the lap's checkpoints
  int gates_passed = 0;
  int laps = 0;
  int lap_start_tick = 0;
  double best_lap_s = 0;
  float lane = 0;  // -1..1: which side of the gates it keeps to (a share of up to 12 ft)
  float pace = 1;  // a factor on its speeds
};
// The checkpoints of the loaded track's normal lap, in order.
std::vector<int> lap_checkpoints();
// Throttle and brakes that hold a speed (ft/s).
void pilot_hold_speed(sim::Bike* bike, double target);
// Steers for a world point.
void pilot_steer_towards(sim::Bike* bike, double x, double z);
// One tick of riding for the next gate: sets the bike's controls.
void pilot_ride(sim::Bike* bike, const TestPilot& pilot, const std::vector<int>& gates);
// Moves on to the next gate when the bike is within its radius (at least 10 ft), and
// counts laps.
void pilot_note_gates(const sim::Bike* bike, TestPilot& pilot, const std::vector<int>& gates, int tick);

// A race without a screen (tool_race.cpp), for korvex-shot and the benchmarks: an
// offscreen window of the given size, the default configuration with the given drawing
// choices, the local rider and bikes - 1 computer riders on the grid, the gate already down.
struct ToolRace {
  const char* tool = "korvex";  // for messages
  std::string track = "rabbithill";
  int bikes = 1;
  int width = 1280, height = 720;
  bool shaders = true;
  int method = -1;  // "Terrain Rendering Method" index; -1 the configuration's
  bool fugly = false;
  double erode = 0;
};
bool tool_race_begin(const ToolRace& race);
// One tick: the watched (local) bike rides with the test pilot, then the race tick.
void tool_race_tick();
// Frees the race; `close` also closes the window (the next race then opens a new one).
void tool_race_end(bool close);

// ---------------------------------------------------------------------------
// Cameras (cameras.cpp): where each view is seen from, and the engine sound's listener.

struct Listener {
  float position[3] = {};  // ft
  float right[3] = {1, 0, 0};
  float velocity[3] = {};  // ft/s
};
extern Listener g_listener;

// A point of a camera path, recorded from the free camera by `add_camera_keyframe`.
struct CameraKeyframe {
  float position[3] = {};               // ft
  float quaternion[4] = {0, 0, 0, 1};  // x, y, z, w
  float fov = 90;                       // degrees
  int tick = 0;                         // the race tick it stands for
};

// The cameras' state. It lives for the whole run: a race set-up only moves the free camera
// above the watched bike.
struct CameraState {
  race::TrackCamera free_camera;  // flown with the controls; not part of any track
  int selected = -1;              // -1 the free camera, else an index into the track's cameras
  float free_speed = 0;           // ft/s along the free camera's view direction
  bool tracking = false;          // the selected camera follows the watched bike by itself
  bool dab_held = false;          // the sit/dab input was at 0.5 or more on the last tick
  float orbit_angle = 0;          // rad, -pi..pi: the chase view of a bike not ridden here
  float orbit_distance = 10;      // ft
  float orbit_height = 5;         // ft
  bool keyframe_mode = false;     // the trackside view follows the keyframes
  std::vector<CameraKeyframe> keyframes;  // by tick
};
extern CameraState g_cameras;

// Orientation (3x3 row by row, columns the camera's axes) of a yaw and a pitch (rad).
void yaw_pitch_matrix(float yaw, float pitch, float m[9]);
// The ground height averaged over a disc of radius r (ft) around (x, z).
float terrain_height_around(float x, float z, float r);
// The tick step's camera work when the watched slot is not driven locally: the orbit
// camera in the chase view; tracking, switching, aim and free flight in the trackside view.
// Nothing without a watched bike.
void camera_update_tick(int view, const float controls[kControlInputs]);
// The camera a view (rider, chase, trackside) is seen from; the listener follows it. The
// rider view writes the "--print-orientation" line. Without a watched bike every view is
// the trackside one.
render::Camera camera_for_view(int view);
// Computes the camera of a view and draws the scene from it.
void camera_draw_view(int view);
// Race set-up: the free camera goes 5 ft above the watched bike's frame.
void cameras_race_setup();
// A digit key: "0" the free camera, n the n-th track camera (clamped to the count).
void select_track_camera(int digit);
// The track camera that takes over when the watched bike heads for sequence position
// `position` (its checkpoint's entry in the track's table), or -1.
int sequence_camera(int position);
// The console's "addkey": the free camera's position, turn and the "Field Of View" setting
// at the current tick become a keyframe.
void add_camera_keyframe();

// Hands the drawing settings (ground, scene) to the renderer: at start-up and after the
// menus change them.
void apply_render_settings();

// Scene and HUD inputs (scene_input.cpp, hud_input.cpp): copy what the renderer shows from
// the race before a frame is drawn.
void update_scene_input(int view);
void update_hud_input();

// The program's entry: start-up, the main loop, shutdown. Returns the exit status.
int korvex_main(int argc, char** argv, const platform::BuildDigests& digests);

}  // namespace shell
