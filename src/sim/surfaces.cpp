// surfaces.cpp -- the surface table: tileinfo, the older texturelist, transition codes, and the
// friction and rolling-resistance curves.
#include <cmath>
#include <cstring>
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "sim/sim.h"
#include "sim/terrain_internal.h"

namespace sim {

namespace {

constexpr float kLeastCurveKey = 9.5367432e-07f;  // 2^-20: keys never reach the "empty" 0
constexpr std::size_t kLineBytes = 1024;

// The text after the last "/", without a leading "@".
std::string base_name(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  if (!base.empty() && base[0] == '@') base.erase(0, 1);
  return base;
}

// A whole number text; false when it is not one. What was parsed is stored either way (0 when
// nothing).
bool parse_number(const char* text, float* value) {
  float parsed = 0;
  int used = 0;
  const int got = scan_text(text, "%f%n", &parsed, &used);
  *value = got == 1 ? parsed : 0;
  return got == 1 && static_cast<std::size_t>(used) == std::strlen(text);
}

// Float to byte through truncation, held to the byte's range rather than wrapping (a
// conversion out of range would be undefined).
int truncate_clamped(float value, int lowest, int highest) {
  if (std::isnan(value)) return 0;
  const float t = std::trunc(value);
  if (t < lowest) return lowest;
  if (t > highest) return highest;
  return static_cast<int>(t);
}

// The surface being built between two "addtile" lines.
struct Builder {
  SurfaceType surface;
  int friction_points = 0;
  int roll_points = 0;
  int roost_slots = 0;
};

struct RoostNumber {
  const char* key;  // with its "="
  float RoostType::*member;
  const char* warning;
};

constexpr RoostNumber kRoostNumbers[] = {
    {"count=", &RoostType::count, "tileinfo warning: bad count\n"},
    {"dig=", &RoostType::dig, "tileinfo warning: bad dig\n"},
    {"slip_threshold=", &RoostType::slip_threshold, "tileinfo warning: bad slip_threshold\n"},
    {"slow_angle=", &RoostType::slow_angle, "tileinfo warning: bad slow_angle\n"},
    {"fast_angle=", &RoostType::fast_angle, "tileinfo warning: bad fast_angle\n"},
    {"slow_speed=", &RoostType::slow_speed, "tileinfo warning: bad slow_speed\n"},
    {"fast_speed=", &RoostType::fast_speed, "tileinfo warning: bad fast_speed\n"},
    {"size=", &RoostType::size, "tileinfo warning: bad size\n"},
    {"grow=", &RoostType::grow, "tileinfo warning: bad grow\n"},
    {"drag=", &RoostType::drag, "tileinfo warning: bad drag\n"},
    {"vscale=", &RoostType::vscale, "tileinfo warning: bad vscale\n"},
    {"randomize=", &RoostType::randomize, "tileinfo warning: bad randomize\n"},
};

constexpr const char* kChannelKeys[4] = {"r=", "g=", "b=", "a="};
constexpr const char* kFadeKeys[4] = {"fade_r=", "fade_g=", "fade_b=", "fade_a="};

struct ErodeKey {
  const char* key;
  float SurfaceType::*member;
};

constexpr ErodeKey kErodeKeys[] = {
    {"erode_depth", &SurfaceType::erode_depth},
    {"erode_lower", &SurfaceType::erode_lower},
    {"erode_upper", &SurfaceType::erode_upper},
    {"erode_displacement", &SurfaceType::erode_displacement},
    {"erode_radius", &SurfaceType::erode_radius},
    {"erode_max_slope", &SurfaceType::erode_max_slope},
    {"erode_off_speed", &SurfaceType::erode_off_speed},
    {"erode_on_speed", &SurfaceType::erode_on_speed},
};

void apply_roost_word(RoostType& roost, const char* word) {
  const char* equals = std::strchr(word, '=');
  const std::size_t key_length = equals ? static_cast<std::size_t>(equals - word) + 1 : 0;
  auto is_key = [&](const char* key) {
    return key_length == std::strlen(key) && std::strncmp(word, key, key_length) == 0;
  };
  const char* value = word + key_length;
  float number = 0;
  if (is_key("texture=")) {
    roost.texture = value;
    return;
  }
  if (is_key("splash=")) {
    parse_number(value, &number);
    if (number != 0) roost.mode = 2;
    return;
  }
  for (const RoostNumber& entry : kRoostNumbers) {
    if (!is_key(entry.key)) continue;
    if (!parse_number(value, &number)) platform::message(entry.warning);
    roost.*entry.member = number;
    return;
  }
  for (int c = 0; c < 4; ++c) {
    if (is_key(kChannelKeys[c])) {
      if (!parse_number(value, &number)) {
        platform::messagef("tileinfo warning: bad %c\n", "rgba"[c]);
      }
      roost.color[c] = static_cast<unsigned char>(truncate_clamped(number, 0, 255));
      return;
    }
    if (is_key(kFadeKeys[c])) {
      if (!parse_number(value, &number)) {
        platform::messagef("tileinfo warning: bad fade_%c\n", "rgba"[c]);
      }
      const float per_tick = number * static_cast<float>(kTickSeconds);
      roost.fade[c] = static_cast<signed char>(truncate_clamped(per_tick, -128, 127));
      return;
    }
  }
  platform::messagef("tileinfo warning: unknown roost parameter '%.40s'\n", word);
}

// Splits the argument into words at blanks, form feeds, line ends, tabs and backspaces; a
// double quote starts a run up to the next one that may hold separators. The quotes go and the
// text around them joins into one word.
void apply_roost(RoostType& roost, const char* argument) {
  char word[kLineBytes];
  std::size_t length = 0;
  bool quoted = false;
  bool in_word = false;
  for (const char* p = argument;; ++p) {
    const char c = *p;
    const bool separator = c == '\0' || (!quoted && std::strchr(" \f\n\r\t\b", c));
    if (separator) {
      if (in_word) {
        word[length] = '\0';
        apply_roost_word(roost, word);
      }
      length = 0;
      in_word = false;
      if (c == '\0') return;
      continue;
    }
    in_word = true;
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (length + 1 < sizeof word) word[length++] = c;
  }
}

// Sorts a curve's points by key; empty points (key 0) go behind the filled ones. Stable.
template <int kArrays>
void sort_curve(float* key, float* (&values)[kArrays]) {
  auto before = [](float a, float b) { return b == 0 ? a != 0 : a != 0 && a < b; };
  for (int i = 1; i < kCurvePoints; ++i) {
    for (int j = i; j > 0 && before(key[j], key[j - 1]); --j) {
      std::swap(key[j], key[j - 1]);
      for (float* v : values) std::swap(v[j], v[j - 1]);
    }
  }
}

void add_surface(HeightField& field, Builder& builder) {
  SurfaceType& s = builder.surface;
  float* friction_values[1] = {s.friction_coef};
  sort_curve(s.friction_slip, friction_values);
  float* roll_values[2] = {s.roll_resist_low, s.roll_resist_high};
  sort_curve(s.roll_resist_speed, roll_values);
  field.surfaces[field.surface_count++] = s;
  builder = Builder{};
}

void apply_line(HeightField& field, Builder& builder, const char* key, const char* argument) {
  SurfaceType& s = builder.surface;
  if (std::strcmp(key, "addtile") == 0) {
    add_surface(field, builder);
  } else if (std::strcmp(key, "texture") == 0) {
    s.texture = argument;
    s.texture_name = base_name(argument);
  } else if (std::strcmp(key, "friction") == 0) {
    float coef = 0, slip = 0;
    if (scan_text(argument, "%f %f", &coef, &slip) != 2) {
      platform::message("tileinfo warning: bad friction parameters\n");
    } else if (builder.friction_points == kCurvePoints) {
      platform::message("tileinfo warning: too many friction points\n");
    } else {
      const int i = builder.friction_points++;
      s.friction_coef[i] = coef < 0 ? 0 : coef;
      s.friction_slip[i] = slip < kLeastCurveKey ? kLeastCurveKey : slip;
    }
  } else if (std::strcmp(key, "roll_resist") == 0) {
    float low = 0, high = 0, speed = 0;
    if (scan_text(argument, "%f %f %f", &low, &high, &speed) != 3) {
      platform::message("tileinfo warning: bad roll_resist parameters\n");
    } else if (builder.roll_points == kCurvePoints) {
      platform::message("tileinfo warning: too many roll_resist points\n");
    } else {
      const int i = builder.roll_points++;
      s.roll_resist_low[i] = low < 0 ? 0 : low;
      s.roll_resist_high[i] = high < 0 ? 0 : high;
      s.roll_resist_speed[i] = speed < kLeastCurveKey ? kLeastCurveKey : speed;
    }
  } else if (std::strcmp(key, "roost") == 0) {
    if (builder.roost_slots == kRoostSlots) {
      platform::message("tileinfo warning: too many roost types\n");
      return;
    }
    RoostType& roost = s.roost[builder.roost_slots++];
    roost.mode = 1;
    apply_roost(roost, argument);
  } else {
    for (const ErodeKey& erode : kErodeKeys) {
      if (std::strcmp(key, erode.key) != 0) continue;
      float value = 0;
      if (scan_text(argument, "%f", &value) == 1) {
        s.*erode.member = value;
      } else {
        platform::messagef("tileinfo warning: bad %s\n", erode.key);
      }
      return;
    }
    platform::messagef("tileinfo warning: Unknown identifier '%.950s'\n", key);
  }
}

void clear_table(HeightField& field) {
  for (int i = 0; i < field.surface_count; ++i) field.surfaces[i] = SurfaceType{};
  field.surface_count = 0;
}

// Index of the first surface whose texture name begins with `stem` and a ".", or -1.
int surface_with_stem(const HeightField& field, const std::string& stem) {
  const std::string prefix = stem + ".";
  for (int i = 0; i < field.surface_count; ++i) {
    if (field.surfaces[i].texture_name.compare(0, prefix.size(), prefix) == 0) return i;
  }
  return -1;
}

// The end of a texture name after its coded part: nothing, or the extension.
bool at_extension(const std::string& name, std::size_t at) {
  return at == name.size() || name[at] == '.';
}

std::uint32_t transition_code(const HeightField& field, int k) {
  const std::string& name = field.surfaces[k].texture_name;
  const auto self = static_cast<std::uint32_t>(k);
  const std::uint32_t own = self << 16 | self << 8;
  const std::size_t dash = name.find('-');
  if (dash == std::string::npos) return own;
  const int i = surface_with_stem(field, name.substr(0, dash));
  if (i < 0) return own;
  const std::uint32_t from = static_cast<std::uint32_t>(i);
  // "a-alt1.png": another look of surface a.
  const std::size_t rest = dash + 1;
  if (name.compare(rest, 3, "alt") == 0 && rest + 3 < name.size() && name[rest + 3] >= '0' &&
      name[rest + 3] <= '9' && at_extension(name, rest + 4)) {
    return from << 16 | from << 8;
  }
  // "a-b-0110.png": a blend of a and b, the digits marking b's corners.
  const std::size_t second = name.find('-', rest);
  if (second == std::string::npos) return own;
  const int j = surface_with_stem(field, name.substr(rest, second - rest));
  if (j < 0 || second + 5 > name.size() || !at_extension(name, second + 5)) return own;
  std::uint32_t corners = 0;
  for (std::size_t d = second + 1; d < second + 5; ++d) {
    if (name[d] != '0' && name[d] != '1') return own;
    corners = corners << 1 | static_cast<std::uint32_t>(name[d] - '0');
  }
  return from << 16 | static_cast<std::uint32_t>(j) << 8 | corners;
}

}  // namespace

void read_tileinfo(data::DataStream* stream, HeightField& field) {
  clear_table(field);
  Builder builder;
  char key[kLineBytes];
  char argument[kLineBytes];
  while (field.surface_count < kMaxSurfaces) {
    if (data::ds_scanf(stream, " %1023s", key) != 1) break;
    data::ds_scanf(stream, "%*[ \t]");
    argument[0] = '\0';
    data::ds_scanf(stream, "%1023[^\r\n]", argument);
    data::ds_scanf(stream, "%*[^\r\n]");  // the rest of an overlong line
    apply_line(field, builder, key, argument);
  }
}

void read_texturelist(data::DataStream* stream, HeightField& field) {
  clear_table(field);
  char line[kLineBytes];
  while (field.surface_count < kMaxSurfaces && data::ds_read_line(stream, line, sizeof line)) {
    std::size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] != '\n') {
      // Longer than a line may be: the rest is dropped.
      for (int c = data::ds_getc(stream); c >= 0 && c != '\n'; c = data::ds_getc(stream)) {
      }
    }
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
      line[--length] = '\0';
    }
    const char* text = line + std::strspn(line, " \t\f\v");
    if (!*text) continue;  // a blank line is no surface

    float friction = 0, low = 0, high = 0;
    int used = 0;
    const char* name = text;
    if (scan_text(line, "%f %f %f %n", &friction, &low, &high, &used) == 3) {
      name = line + used;
    } else {
      friction = 1.0f;
      low = 5.0f;
      high = 15.0f;
    }
    SurfaceType& s = field.surfaces[field.surface_count++];
    s = SurfaceType{};
    for (int i = 0; i < kCurvePoints; ++i) {
      s.friction_coef[i] = friction;
      s.friction_slip[i] = i == 0 ? 1.0f : 0.0f;
      s.roll_resist_low[i] = low;
      s.roll_resist_high[i] = high;
      s.roll_resist_speed[i] = i == 0 ? 1.0f : 0.0f;
    }
    s.roost[0].mode = 1;
    s.texture = std::string("@") + name;
    s.texture_name = base_name(s.texture);
  }
}

void compute_transitions(HeightField& field) {
  for (int k = 0; k < field.surface_count; ++k) {
    field.surfaces[k].transition = transition_code(field, k);
  }
}

namespace {

const SurfaceType& surface_or_first(int surface) {
  const int count = g_terrain.surface_count;
  if (surface < 0 || surface >= count) surface = 0;
  return g_terrain.surfaces[surface];
}

}  // namespace

float surface_friction(int surface, float slip_speed) {
  const SurfaceType& s = surface_or_first(surface);
  const float v2 = slip_speed * slip_speed;
  int i = 0;
  while (i < kCurvePoints && s.friction_slip[i] != 0 &&
         !(s.friction_slip[i] * s.friction_slip[i] > v2)) {
    ++i;
  }
  if (i == 0) return s.friction_coef[0];
  if (i == kCurvePoints || s.friction_slip[i] == 0) return s.friction_coef[i - 1];
  const float a = s.friction_slip[i - 1] * s.friction_slip[i - 1];
  const float b = s.friction_slip[i] * s.friction_slip[i];
  const float t = std::fmin(std::fmax((v2 - a) / (b - a), 0.0f), 1.0f);
  return s.friction_coef[i - 1] + t * (s.friction_coef[i] - s.friction_coef[i - 1]);
}

float surface_roll_resist(int surface, float speed, float sinkage) {
  const SurfaceType& s = surface_or_first(surface);
  int i = 0;
  while (i < kCurvePoints && s.roll_resist_speed[i] != 0 && !(s.roll_resist_speed[i] > speed)) {
    ++i;
  }
  float low, high;
  if (i == 0 || i == kCurvePoints || s.roll_resist_speed[i] == 0) {
    const int k = i == 0 ? 0 : i - 1;
    low = s.roll_resist_low[k];
    high = s.roll_resist_high[k];
  } else {
    const float a = s.roll_resist_speed[i - 1];
    const float b = s.roll_resist_speed[i];
    const float t = std::fmin(std::fmax((speed - a) / (b - a), 0.0f), 1.0f);
    low = s.roll_resist_low[i - 1] + t * (s.roll_resist_low[i] - s.roll_resist_low[i - 1]);
    high = s.roll_resist_high[i - 1] + t * (s.roll_resist_high[i] - s.roll_resist_high[i - 1]);
  }
  return low + (high - low) * sinkage;
}

}  // namespace sim
