// command_line.cpp -- the option table and the command-line parser.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shell/catalogue.h"
#include "shell/settings.h"
#include "shell/startup.h"

namespace shell {

namespace {

enum class Value {
  None,      // a switch
  Required,  // takes a value; a missing or unparsable one is reported
  Lenient,   // takes a value; parsed without error checks (or ignored)
};

struct Option {
  const char* name;
  Value value;
  // Applies the option. `text` is the value (nullptr for switches). Returns
  // false when the value cannot be parsed ("Bad arg for ...").
  bool (*apply)(const char* text, StartupState& state, Settings& settings, std::string& notices);
};

// Parses a leading integer the way "%d" does: optional white space and sign,
// then digits; anything after them is ignored. Saturates instead of
// overflowing.
bool scan_int(const char* text, int& out) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (end == text) return false;
  if (value > 0x7fffffffL)
    out = 0x7fffffff;
  else if (value < -0x7fffffffL - 1)
    out = -0x7fffffff - 1;
  else
    out = static_cast<int>(value);
  return true;
}

// Parses a leading number the way "%f" does. Values that are not finite are
// refused: a NaN or infinite rate would poison every later computation.
bool scan_float(const char* text, double& out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || !std::isfinite(value)) return false;
  out = value;
  return true;
}

// A plain decimal conversion: non-numbers give 0.
int decimal(const char* text) {
  int value = 0;
  return scan_int(text, value) ? value : 0;
}

template <typename T>
T clamp(T value, T low, T high) {
  return value < low ? low : value > high ? high : value;
}

#define KV_APPLY [](const char* v, StartupState& s, Settings& g, std::string& notices) -> bool
#define KV_UNUSED (void)v, (void)s, (void)g, (void)notices

// In matching order.
const Option kOptions[] = {{"--fugly", Value::None, KV_APPLY{KV_UNUSED;
s.fugly = true;
return true;
}  // namespace
}  // namespace shell
, {"--nosound", Value::None, KV_APPLY{KV_UNUSED;
s.sound_disabled = true;
return true;
}
}
, {"--novertexarrays", Value::None, KV_APPLY{KV_UNUSED;
s.no_vertex_arrays = true;
return true;
}
}
, {"--learn", Value::None, KV_APPLY{KV_UNUSED;
s.learn_lines = true;
return true;
}
}
, {"--nolearn", Value::None, KV_APPLY{KV_UNUSED;
s.learn_lines = false;
return true;
}
}
, {"--nommx", Value::None, KV_APPLY{KV_UNUSED;
if (s.mmx) platform::log("Ignoring MMX\n");
s.mmx = false;
return true;
}
}
, {"--debug", Value::None, KV_APPLY{KV_UNUSED;
s.debug_level = 1;
return true;
}
}
, {"--super-debug", Value::None, KV_APPLY{KV_UNUSED;
s.debug_level = 2;
return true;
}
}
, {"--practice", Value::None, KV_APPLY{KV_UNUSED;
s.practice = true;
return true;
}
}
, {"--warp", Value::None, KV_APPLY{KV_UNUSED;
s.warp = true;
return true;
}
}
, {"--texture-detail", Value::Required, KV_APPLY{KV_UNUSED;
int level = 0;
if (!scan_int(v, level)) return false;
s.model_texture_detail = s.terrain_texture_detail = clamp(level, 0, 4);
return true;
}
}
, {"--ground-texture-detail", Value::Required, KV_APPLY{KV_UNUSED;
int level = 0;
if (!scan_int(v, level)) return false;
s.terrain_texture_detail = clamp(level, 0, 4);
return true;
}
}
, {"--roostfrequency", Value::Required, KV_APPLY{KV_UNUSED;
int frequency = 0;
if (!scan_int(v, frequency)) return false;
s.roost_frequency = clamp(frequency, 0, 1000);
return true;
}
}
, {"--erode", Value::Required, KV_APPLY{KV_UNUSED;
double rate = 0;
if (!scan_float(v, rate)) return false;
s.erosion_rate = clamp(rate, 0.0, 100.0);
return true;
}
}
, {"--detail", Value::Required, KV_APPLY{KV_UNUSED;
return scan_float(v, s.terrain_detail);
}
}
, {"--max-detail-distance", Value::Required, KV_APPLY{KV_UNUSED;
return scan_float(v, s.max_detail_distance);
}
}
, {"--lod-scale", Value::Required, KV_APPLY{KV_UNUSED;
double scale = 0;
if (!scan_float(v, scale)) return false;
s.lod_scale = clamp(scale, 0.000001, 1000000.0);
return true;
}
}
, {"--lod-bias", Value::Required, KV_APPLY{KV_UNUSED;
return scan_float(v, s.lod_bias);
}
}
, {"--lock-fps", Value::Required, KV_APPLY{KV_UNUSED;
return scan_float(v, s.lock_fps);
}
}
, {"--fake-lag", Value::Required, KV_APPLY{KV_UNUSED;
double milliseconds = 0;
if (!scan_float(v, milliseconds)) return false;
s.fake_lag = clamp(milliseconds / 1000.0, 0.0, 1.0);
return true;
}
}
, {"--fake-loss", Value::Required, KV_APPLY{KV_UNUSED;
int percent = 0;
if (!scan_int(v, percent)) return false;
s.fake_loss = clamp(percent, 0, 100);
return true;
}
}
, {"--record-audio", Value::Required, KV_APPLY{KV_UNUSED;
s.record_audio_file = v;
return true;
}
}
, {"--record-video", Value::None, KV_APPLY{KV_UNUSED;
s.record_video = true;
return true;
}
}
, {"--rotate-lineup", Value::Lenient, KV_APPLY{KV_UNUSED;
scan_int(v, s.lineup_rotation);
return true;
}
}
, {"--editor", Value::None, KV_APPLY{KV_UNUSED;
s.editor_allowed = true;
return true;
}
}
, {"--hidden-pause", Value::None, KV_APPLY{KV_UNUSED;
s.show_pause_text = false;
return true;
}
}
, {"--hidden-hud", Value::None, KV_APPLY{KV_UNUSED;
s.show_hud = false;
return true;
}
}
, {"--bikes", Value::Lenient, KV_APPLY{KV_UNUSED;
notices += "--bikes doesn't do anything anymore\n";
return true;
}
}
, {"--width", Value::Lenient, KV_APPLY{KV_UNUSED;
scan_int(v, g.xres);
return true;
}
}
, {"--height", Value::Lenient, KV_APPLY{KV_UNUSED;
scan_int(v, g.yres);
return true;
}
}
, {"--depth", Value::Lenient, KV_APPLY{KV_UNUSED;
s.colour_depth = decimal(v);
return true;
}
}
, {"--zdepth", Value::Lenient, KV_APPLY{KV_UNUSED;
s.depth_buffer_depth = decimal(v);
return true;
}
}
, {"--draw-fps", Value::Lenient, KV_APPLY{KV_UNUSED;
g.draw_fps = decimal(v);
return true;
}
}
, {"--draw-time", Value::Lenient, KV_APPLY{KV_UNUSED;
g.draw_time = decimal(v);
return true;
}
}
, {"--draw-ping", Value::Lenient, KV_APPLY{KV_UNUSED;
g.draw_ping = decimal(v);
return true;
}
}
, {"--draw-render-stats", Value::Lenient, KV_APPLY{KV_UNUSED;
s.draw_render_stats = decimal(v);
return true;
}
}
, {"--accurate-skip", Value::None, KV_APPLY{KV_UNUSED;
s.accurate_skip = true;
return true;
}
}
, {"--track", Value::Required, KV_APPLY{KV_UNUSED;
s.start_track = v;
return true;
}
}
, {"--connect", Value::Required, KV_APPLY{KV_UNUSED;
if (std::strncmp(v, "korvex:", 7) == 0) v += 7;
s.server_address = v;
return true;
}
}
, {"--password", Value::Required, KV_APPLY{KV_UNUSED;
s.server_password = v;
return true;
}
}
, {"--chase-center", Value::Required, KV_APPLY{KV_UNUSED;
// "%f,%f,%f": three numbers separated by commas, white space allowed
// before each number.
double xyz[3];
const char* p = v;
for (int i = 0; i < 3; ++i) {
  char* end = nullptr;
  xyz[i] = std::strtod(p, &end);
  if (end == p || !std::isfinite(xyz[i])) return false;
  p = end;
  if (i < 2) {
    if (*p != ',') return false;
    ++p;
  }
}
for (int i = 0; i < 3; ++i) s.chase_center[i] = static_cast<float>(xyz[i]);
return true;
}
}
, {"--open-home", Value::None, KV_APPLY{KV_UNUSED;
return true;
}
}
, {"--glfinish", Value::None, KV_APPLY{KV_UNUSED;
s.gl_finish = true;
return true;
}
}
, {"--print-orientation", Value::None, KV_APPLY{KV_UNUSED;
s.print_orientation = true;
return true;
}
}
,
}
;

#undef KV_APPLY
#undef KV_UNUSED

}  // namespace

ParseResult parse_command_line(const std::vector<std::string>& args, StartupState& state,
                               Settings& settings) {
  ParseResult result;
  bool options_ended = false;
  bool have_file = false;
  auto stop = [&](int status, const std::string& text) {
    result.stop = true;
    result.status = status;
    result.error_text += text;
    return result;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const Option* matched = nullptr;
    const char* value = nullptr;
    bool value_missing = false;

    if (!options_ended) {
      if (arg == "--") {
        options_ended = true;
        continue;
      }
      for (const Option& option : kOptions) {
        const std::size_t length = std::strlen(option.name);
        if (arg == option.name) {
          matched = &option;
          if (option.value != Value::None) {
            if (i + 1 < args.size())
              value = args[++i].c_str();
            else
              value_missing = true;
          }
          break;
        }
        if (option.value != Value::None && arg.size() > length &&
            arg.compare(0, length, option.name) == 0 && arg[length] == '=') {
          matched = &option;
          value = arg.c_str() + length + 1;
          break;
        }
      }
    }

    if (matched) {
      if (value_missing) {
        // "--bikes" ignores its value anyway; every other option cannot go
        // on without one.
        if (std::strcmp(matched->name, "--bikes") == 0) {
          result.error_text += "--bikes doesn't do anything anymore\n";
          continue;
        }
        return stop(1, std::string("Bad arg for ") + matched->name + "\n");
      }
      if (!matched->apply(value, state, settings, result.error_text)) {
        return stop(1, std::string("Bad arg for ") + matched->name + "\n");
      }
      if (std::strcmp(matched->name, "--open-home") == 0) {
        result.open_home = true;
        return stop(0, "");
      }
      continue;
    }

    if (!options_ended && !arg.empty() && arg[0] == '-') {
      return stop(1, "bad option '" + arg + "'\n");
    }
    if (have_file) return stop(1, "Too many files!\n");
    have_file = true;
    state.playback_file = arg;
  }

  // The server chooses the track.
  if (!state.server_address.empty()) state.start_track.clear();
  return result;
}

}  // namespace shell
