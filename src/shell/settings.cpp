// settings.cpp -- the settings table and the configuration file "@config".
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data.h"
#include "shell/frame_loop.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"

namespace shell {

Settings g_settings;

namespace {

constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kServerNameMax = 127;
constexpr std::size_t kServerHistoryMax = 126;
// No one owns a default race server yet; this is where one would live.
constexpr const char* kDefaultServer = "race.korvex.example";

const std::vector<std::string> kNoYes = {"No", "Yes"};

ChoiceSetting choice(const char* label, std::vector<std::string> names, int index) {
  return make_choice(label, std::move(names), index);
}

NumberSetting number(const char* label, double value, double step, double minimum, double maximum) {
  return make_number(label, value, step, minimum, maximum);
}

struct BindingDefault {
  const char* key;
  const char* label;
  const char* name;
};

constexpr BindingDefault kBindingDefaults[kBindings] = {
    {"throttle_key", "Throttle", "x"},
    {"front_brake_key", "Front Brake", "c"},
    {"rear_brake_key", "Rear Brake", "v"},
    {"left_key", "Left", "left"},
    {"right_key", "Right", "right"},
    {"clutch_key", "Clutch", "z"},
    {"upshift_key", "Upshift", "up"},
    {"downshift_key", "Downshift", "down"},
    {"dab_key", "Sit/Dab", "right ctrl"},
    {"back_up_key", "Back up", "b"},
    {"lean_forward_key", "Lean Forward", "n"},
    {"lean_backward_key", "Lean Backward", "m"},
    {"pause_key", "Pause", "pause"},
    {"step_key", "Step", "."},
    {"rewind_key", "Rewind", "\\"},
    {"skip_key", "Skip", "/"},
    {"prev_key", "Previous Bike", "["},
    {"next_key", "Next Bike", "]"},
    {"console_key", "Chat", "t"},
    {"screenshot_key", "Screenshot", "s"},
};

// The twelve graphics settings, with one value per preset: a number's value
// or a choice's index.
struct PresetRow {
  NumberSetting Settings::*number;
  ChoiceSetting Settings::*choice;
  double values[kGraphicsPresets];
};

const PresetRow kPresetRows[] = {
    {&Settings::roost_density, nullptr, {1000, 0, 1000, 1000}},
    {nullptr, &Settings::reflections, {1, 0, 1, 1}},
    {nullptr, &Settings::lens_flare, {1, 0, 1, 1}},
    {&Settings::model_texture_detail, nullptr, {9, 7, 9, 10}},
    {&Settings::model_detail, nullptr, {50, 25, 50, 75}},
    {nullptr, &Settings::use_shader, {1, 0, 1, 1}},
    // Software, Hardware/Direct, Shaders/Direct, Shaders/Direct
    {nullptr, &Settings::render_texture, {0, 2, 4, 4}},
    {nullptr, &Settings::texture_compress, {0, 1, 1, 0}},
    {nullptr, &Settings::ground_mipmaps, {1, 1, 1, 1}},
    // 64x64, 64x64, 128x128, 256x256
    {nullptr, &Settings::ground_texture_dim, {1, 1, 2, 3}},
    {&Settings::ground_texture_detail, nullptr, {9, 7, 9, 10}},
    {&Settings::ground_detail, nullptr, {70, 50, 70, 90}},
};

constexpr const char* kPresetNames[kGraphicsPresets] = {"Compatibility", "High FPS", "Normal",
                                                        "High Detail"};

// "%d": a leading integer; false when there is none. Saturates.
bool scan_int(const char* text, int& out) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (end == text) return false;
  out = value > 0x7fffffffL        ? 0x7fffffff
        : value < -0x7fffffffL - 1 ? -0x7fffffff - 1
                                   : static_cast<int>(value);
  return true;
}

// A setting of the file: its key and how to read and write it.
struct Entry {
  std::string key;
  int* integer = nullptr;
  NumberSetting* number = nullptr;
  ChoiceSetting* choice = nullptr;
  std::string* text = nullptr;
  std::size_t text_max = 0;
  Binding* binding = nullptr;
};

// Every key of the file, in the order it is written. The rider setup's lines
// go where `rider_setup_at` says; `use_fbo` and `ground_texture_distance` are
// read but never written.
std::vector<Entry> entries(Settings& s, std::size_t* rider_setup_at) {
  std::vector<Entry> list;
  auto integer = [&](const char* key, int& value) { list.push_back(Entry{key, &value}); };
  auto num = [&](const char* key, NumberSetting& value) {
    Entry e{key};
    e.number = &value;
    list.push_back(e);
  };
  auto ch = [&](const std::string& key, ChoiceSetting& value) {
    Entry e{key};
    e.choice = &value;
    list.push_back(e);
  };
  auto text = [&](const std::string& key, std::string& value, std::size_t max) {
    Entry e{key};
    e.text = &value;
    e.text_max = max;
    list.push_back(e);
  };
  integer("xres", s.xres);
  integer("yres", s.yres);
  integer("draw_fps", s.draw_fps);
  integer("draw_time", s.draw_time);
  integer("draw_ping", s.draw_ping);
  integer("spy", s.spy);
  text("track", s.track, 1023);
  ch("record", s.record);
  ch("skill", s.skill);
  num("minutes", s.minutes);
  num("laps", s.laps);
  for (int i = 0; i < kLineupSlots; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "slot%02d", i);
    ch(key, s.slots[i]);
  }
  num("ghost_fade_distance", s.ghost_fade_distance);
  ch("time_trial_abort", s.time_trial_abort);
  *rider_setup_at = list.size();
  ch("video_mode", s.video_mode);
  text("server_name", s.server_name, kServerNameMax);
  for (int i = 0; i < kServerHistory; ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "server_name_hist%02d", i);
    text(key, s.server_history[i], kServerHistoryMax);
  }
  num("ground_detail", s.ground_detail);
  num("ground_texture_detail", s.ground_texture_detail);
  ch("ground_texture_dim", s.ground_texture_dim);
  ch("ground_mipmaps", s.ground_mipmaps);
  ch("texture_compress", s.texture_compress);
  ch("render_texture", s.render_texture);
  ch("use_shader", s.use_shader);
  num("roost_density", s.roost_density);
  ch("lens_flare", s.lens_flare);
  ch("reflections", s.reflections);
  ch("hide_rider", s.hide_rider);
  ch("rigid_camera", s.rigid_camera);
  num("model_detail", s.model_detail);
  num("model_texture_detail", s.model_texture_detail);
  num("fov", s.fov);
  num("first_person_height", s.first_person_height);
  num("first_person_angle", s.first_person_angle);
  num("third_person_height", s.third_person_height);
  num("third_person_distance", s.third_person_distance);
  num("volume", s.volume);
  num("comp_volume", s.comp_volume);
  ch("playback_mode", s.playback_mode);
  integer("billboard_optimize_lookahead", s.billboard_optimize_lookahead);
  integer("message_lines", s.message_lines);
  integer("demo_backups", s.demo_backups);
  for (int i = 0; i < kBindings; ++i) {
    Entry e{kBindingDefaults[i].key};
    e.binding = &s.bindings[i];
    list.push_back(e);
  }
  return list;
}

void read_entry(const Entry& entry, const char* value) {
  if (entry.integer) {
    scan_int(value, *entry.integer);
  } else if (entry.number) {
    set_number_text(*entry.number, value);
  } else if (entry.choice) {
    set_choice_text(*entry.choice, value);
  } else if (entry.text) {
    // Values too long for the setting are ignored rather than cut.
    if (std::strlen(value) <= entry.text_max) *entry.text = value;
  } else if (entry.binding) {
    parse_binding(value, *entry.binding);
  }
}

void write_entry(data::DataStream* out, const Entry& entry) {
  const char* key = entry.key.c_str();
  if (entry.integer) {
    data::ds_printf(out, "%s=%d\n", key, *entry.integer);
  } else if (entry.number) {
    data::ds_printf(out, "%s=%f\n", key, entry.number->value);
  } else if (entry.choice) {
    data::ds_printf(out, "%s=%s\n", key, entry.choice->name().c_str());
  } else if (entry.text) {
    data::ds_printf(out, "%s=%s\n", key, entry.text->c_str());
  } else if (entry.binding) {
    // An unbound control is written with an empty value: left out, it would
    // come back bound to its default at the next start.
    const bool bound = !entry.binding->key.empty() || !entry.binding->axis.empty();
    data::ds_printf(out, "%s=%s\n", key, bound ? format_binding(*entry.binding).c_str() : "");
  }
}

}  // namespace

ChoiceSetting make_choice(const char* label, std::vector<std::string> names, int index) {
  ChoiceSetting setting;
  setting.label = label;
  setting.names = std::move(names);
  setting.index = index;
  return setting;
}

NumberSetting make_number(const char* label, double value, double step, double minimum,
                          double maximum) {
  return NumberSetting{label, value, step, minimum, maximum};
}

void set_number_text(NumberSetting& setting, const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  // Text that does not start with a number, or a number that is none (NaN) or
  // unbounded (infinite, or too large for a double), leaves the setting alone.
  if (end == text || !std::isfinite(value)) return;
  setting.value = value < setting.minimum   ? setting.minimum
                  : value > setting.maximum ? setting.maximum
                                            : value;
}

bool set_choice_text(ChoiceSetting& setting, const char* text) {
  for (std::size_t i = 0; i < setting.names.size(); ++i) {
    if (setting.names[i] == text) {
      setting.index = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

Settings default_settings() {
  Settings s;
  s.record = choice("Record Demo", kNoYes, 0);
  s.skill = choice("Robot Skill", {"Novice", "Amateur", "Expert"}, 0);
  s.minutes = number("Minutes", 0, 1, 0, 60);
  s.laps = number("Laps", 5, 1, 0, 50);
  static char gate_labels[kLineupSlots][16];
  for (int i = 0; i < kLineupSlots; ++i) {
    std::snprintf(gate_labels[i], sizeof gate_labels[i], "Gate %d", i + 1);
    s.slots[i] = choice(gate_labels[i],
                        {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"}, 0);
  }
  s.slots[19].index = 1;  // the human at Gate 20, robots beside
  for (int gate : {17, 18, 20, 21, 22}) s.slots[gate].index = 2;
  s.ghost_fade_distance = number("Ghost Fade Distance", 10, 1, 0, 40);
  s.time_trial_abort = choice("Backing Up Aborts Attempt", kNoYes, 1);
  s.video_mode = choice("Video Mode", {"Default Fullscreen", "Windowed"}, 0);
  s.server_name = kDefaultServer;
  s.ground_detail = number("Ground Geometric Detail", 70, 1, 0, 100);
  s.ground_texture_detail = number("Ground Texture Levels", 9, 1, 0, 10);
  s.ground_texture_dim =
      choice("Ground Texture Resolution",
             {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"}, 1);
  s.ground_mipmaps = choice("Enable Ground Mipmaps", kNoYes, 1);
  s.texture_compress = choice("Compress Textures", {"No", "Yes", "Always"}, 0);
  s.use_fbo = choice("Use Framebuffer Objects", kNoYes, 1);
  s.render_texture =
      choice("Terrain Rendering Method",
             {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy", "Shaders/Direct"}, 0);
  s.use_shader = choice("Use Shader Programs", kNoYes, 1);
  s.model_detail = number("Model Geometric Detail", 50, 1, 0, 100);
  s.model_texture_detail = number("Model Texture Detail", 9, 1, 0, 10);
  s.roost_density = number("Roost Density", 1000, 10, 0, 1000);
  s.lens_flare = choice("Enable Lens Flares", kNoYes, 1);
  s.reflections = choice("Enable Reflections", kNoYes, 1);
  s.hide_rider = choice("Hide 1st Person Rider", kNoYes, 0);
  s.rigid_camera = choice("Rigid 3rd person camera", kNoYes, 0);
  s.fov = number("Field Of View", 110, 1, 10, 170);
  s.first_person_height = number("1st Person Height", 0, 0.03125, 0, 1);
  s.first_person_angle = number("1st Person Angle", 0, 1, 0, 40);
  s.third_person_height = number("3rd Person Height", 5, 1, 0, 20);
  s.third_person_distance = number("3rd Person Distance", 10, 1, 5, 40);
  s.volume = number("Volume", 10, 1, 0, 10);
  s.comp_volume = number("Competitor Volume", 8, 1, 0, 10);
  s.playback_mode = choice("Playback Mode", {"Playback Only", "Race Against"}, 0);
  for (int i = 0; i < kBindings; ++i) {
    s.bindings[i].label = kBindingDefaults[i].label;
    s.bindings[i].key = kBindingDefaults[i].name;
  }
  apply_graphics_preset(s, kCompatibility);
  return s;
}

const char* binding_key(int index) {
  return index >= 0 && index < kBindings ? kBindingDefaults[index].key : "";
}

void apply_graphics_preset(Settings& settings, int preset) {
  if (preset < 0 || preset >= kGraphicsPresets) return;
  for (const PresetRow& row : kPresetRows) {
    if (row.number)
      (settings.*row.number).value = row.values[preset];
    else
      (settings.*row.choice).index = static_cast<int>(row.values[preset]);
  }
}

int current_graphics_preset(const Settings& settings) {
  for (int preset = 0; preset < kGraphicsPresets; ++preset) {
    bool all = true;
    for (const PresetRow& row : kPresetRows) {
      const double value = row.number ? (settings.*row.number).value : (settings.*row.choice).index;
      all = all && value == row.values[preset];
    }
    if (all) return preset;
  }
  return -1;
}

std::string current_graphics_text(const Settings& settings) {
  const int preset = current_graphics_preset(settings);
  return std::string("Current Settings: ") + (preset < 0 ? "Custom" : kPresetNames[preset]);
}

void parse_binding(const char* value, Binding& binding) {
  binding.key.clear();
  binding.axis.clear();
  binding.a = 0;
  binding.b = 1;
  while (*value == ' ' || *value == '\t' || *value == '\n' || *value == '\r' || *value == '\v' ||
         *value == '\f') {
    ++value;
  }
  if (value[0] == '(' && std::strchr(value, ')')) {
    double a = 0, b = 0;
    int end = -1;
    if (std::sscanf(value, "(%lf,%lf)%n", &a, &b, &end) == 2 && end > 0) {
      // A range that is not finite would feed NaN to the controls: the binding is refused
      // and stays empty.
      if (!std::isfinite(a) || !std::isfinite(b)) return;
      binding.a = a;
      binding.b = b;
      binding.axis = value + end;
      return;
    }
  }
  if (std::strncmp(value, "(k)", 3) == 0) value += 3;
  binding.key = value;
}

std::string format_binding(const Binding& binding) {
  char text[1200];
  if (!binding.axis.empty()) {
    std::snprintf(text, sizeof text, "(%f,%f)%.1000s", binding.a, binding.b, binding.axis.c_str());
  } else {
    std::snprintf(text, sizeof text, "(k)%.1000s", binding.key.c_str());
  }
  return text;
}

void read_config(Settings& settings) {
  data::DataStream* in = data::open_data("@config", "rb");
  if (!in) return;
  std::size_t rider_setup_at = 0;
  const std::vector<Entry> list = entries(settings, &rider_setup_at);
  char line[kMaxLine + 1];
  while (data::ds_read_line(in, line, sizeof line)) {
    // A line longer than the buffer continues in the next read: the rest of
    // it is read as a line of its own and, having no key it could match,
    // is skipped like any other unknown line.
    char* equals = std::strchr(line, '=');
    if (!equals) continue;
    *equals = '\0';
    char* value = equals + 1;
    std::size_t length = std::strlen(value);
    while (length > 0 && (value[length - 1] == '\n' || value[length - 1] == '\r'))
      value[--length] = '\0';
    const char* key = line;
    if (rider_setup_read_line(key, value)) continue;
    if (std::strcmp(key, "use_fbo") == 0) {
      const int before = settings.use_fbo.index;
      set_choice_text(settings.use_fbo, value);
      if (std::strcmp(value, "Yes") == 0 || std::strcmp(value, "No") == 0) {
        set_choice_text(settings.render_texture,
                        settings.use_fbo.index ? "Hardware/Direct" : "Hardware/Copy");
      } else {
        settings.use_fbo.index = before;
      }
      continue;
    }
    for (const Entry& entry : list) {
      if (entry.key == key) {
        read_entry(entry, value);
        break;
      }
    }
  }
  data::close_data(in);
}

bool write_config(const Settings& settings) {
  data::DataStream* out = data::open_data("@config.tmp", "wb");
  if (!out) return false;
  std::size_t rider_setup_at = 0;
  const std::vector<Entry> list = entries(const_cast<Settings&>(settings), &rider_setup_at);
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i == rider_setup_at) rider_setup_write_lines(out);
    write_entry(out, list[i]);
  }
  const bool flushed = data::ds_flush(out) == 0 && !std::ferror(out->file);
  data::close_data(out);
  if (!flushed) return false;
  return data::replace_data("@config.tmp", "@config") == 1;
}

void settings_startup() {
  const std::vector<std::string> modes = g_settings.video_mode.names;
  g_settings = default_settings();
  // The video modes were listed before the settings: keep them.
  if (modes.size() > 2) g_settings.video_mode.names = modes;
  // The rider setup's lists and Stability preset must be in place before its lines are read.
  rider_setup_startup();
  read_config(g_settings);
  platform::set_message_lines(g_settings.message_lines);
}

}  // namespace shell
