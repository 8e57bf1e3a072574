// settings.h -- the settings table and the configuration file (private to the shell).
#pragma once

#include <string>
#include <vector>

#include "data/data.h"

namespace shell {

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
  kThrottleKey,
  kFrontBrakeKey,
  kRearBrakeKey,
  kLeftKey,
  kRightKey,
  kClutchKey,
  kUpshiftKey,
  kDownshiftKey,
  kDabKey,
  kBackUpKey,
  kLeanForwardKey,
  kLeanBackwardKey,
  kPauseKey,
  kStepKey,
  kRewindKey,
  kSkipKey,
  kPrevKey,
  kNextKey,
  kConsoleKey,
  kScreenshotKey,
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
  std::string server_name;                     // at most 127 characters
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

// At start-up: the Stability preset, the graphics preset and the lists of texture
// variants, then "@config" read over them.
void settings_startup();

}  // namespace shell
