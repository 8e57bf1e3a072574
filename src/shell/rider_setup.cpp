// rider_setup.cpp -- the rider setup: its keys, setup files, the Stability preset and the mechanic.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>

#include "data/data.h"
#include "platform/platform.h"
#include "shell/catalogue.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"

namespace shell {

RiderSetup g_rider_setup;
Mechanic g_mechanic;

namespace {

constexpr double kMph = 1.4666667;                // ft/s per mph
constexpr double kDegree = 0.017453292519943295;  // rad per degree
constexpr double kMechanicSpeed = 0.125;          // ft/s
constexpr double kMechanicMessageInterval = 10;   // s
constexpr std::size_t kMaxLine = 1024;

const std::vector<std::string> kNoYes = {"No", "Yes"};
const std::vector<std::string> kBrakes = {"Normal", "Antilock"};

ChoiceSetting choice(const char* label, std::vector<std::string> names, int index) {
  return make_choice(label, std::move(names), index);
}

NumberSetting number(const char* label, double value, double step, double minimum, double maximum) {
  return make_number(label, value, step, minimum, maximum);
}

ChoiceSetting texture_choice(const char* label, std::vector<std::string> variants) {
  return choice(label, std::move(variants), 0);
}

// A key of the setup and the setting it holds; exactly one member pointer is set.
struct SetupKey {
  const char* key;
  ChoiceSetting RiderSetup::*choice;
  NumberSetting RiderSetup::*number;
  std::string RiderSetup::*text;
  std::size_t text_max;
};

constexpr SetupKey C(const char* key, ChoiceSetting RiderSetup::*member) {
  return {key, member, nullptr, nullptr, 0};
}
constexpr SetupKey N(const char* key, NumberSetting RiderSetup::*member) {
  return {key, nullptr, member, nullptr, 0};
}
constexpr SetupKey T(const char* key, std::string RiderSetup::*member, std::size_t max) {
  return {key, nullptr, nullptr, member, max};
}

// Every key, in the order they are written: `stability` ahead of the aids it sets, so
// that a written setup reads back unchanged.
const SetupKey kKeys[] = {
    C("bike", &RiderSetup::bike),
    T("name", &RiderSetup::name, kSetupNameMax),
    T("number", &RiderSetup::number, kSetupNumberMax),
    C("rider_texture", &RiderSetup::rider_texture),
    C("head_texture", &RiderSetup::head_texture),
    C("bike_texture", &RiderSetup::bike_texture),
    C("wheel_texture", &RiderSetup::wheel_texture),
    N("stability", &RiderSetup::stability),
    N("leveling", &RiderSetup::leveling),
    N("roll_damping", &RiderSetup::roll_damping),
    N("roll_limit_angle", &RiderSetup::roll_limit_angle),
    N("roll_limit_factor", &RiderSetup::roll_limit_factor),
    N("steering_damping", &RiderSetup::steering_damping),
    N("steering_strength", &RiderSetup::steering_strength),
    N("max_steering_force", &RiderSetup::max_steering_force),
    N("direct_steering", &RiderSetup::direct_steering),
    N("slow_damping_speed", &RiderSetup::slow_damping_speed),
    N("slow_damping_factor", &RiderSetup::slow_damping_factor),
    N("land_damping_falloff", &RiderSetup::land_damping_falloff),
    N("land_damping_factor", &RiderSetup::land_damping_factor),
    N("full_lock_speed", &RiderSetup::full_lock_speed),
    N("restricted_lock_speed", &RiderSetup::restricted_lock_speed),
    N("restricted_lock", &RiderSetup::restricted_lock),
    C("arcade", &RiderSetup::arcade),
    C("front_brake", &RiderSetup::front_brake),
    C("rear_brake", &RiderSetup::rear_brake),
    C("stop_wheelies", &RiderSetup::stop_wheelies),
    C("auto_shift", &RiderSetup::auto_shift),
    C("auto_dab", &RiderSetup::auto_dab),
    C("auto_align", &RiderSetup::auto_align),
    C("sticky_dab", &RiderSetup::sticky_dab),
    C("reverse_steering", &RiderSetup::reverse_steering),
    C("lean_indicator", &RiderSetup::lean_indicator),
    N("auto_clutch_rpms", &RiderSetup::auto_clutch_rpms),
    N("brake_torque", &RiderSetup::brake_torque),
    N("rear_brake_torque", &RiderSetup::rear_brake_torque),
    N("max_dab_speed", &RiderSetup::max_dab_speed),
    N("front_sprocket_adjustment", &RiderSetup::front_sprocket_adjustment),
    N("rear_sprocket_adjustment", &RiderSetup::rear_sprocket_adjustment),
    N("fork_compression_adjustment", &RiderSetup::fork_compression_adjustment),
    N("fork_rebound_adjustment", &RiderSetup::fork_rebound_adjustment),
    N("fork_spring_rate_adjustment", &RiderSetup::fork_spring_rate_adjustment),
    N("fork_preload_adjustment", &RiderSetup::fork_preload_adjustment),
    N("fork_oil_level_adjustment", &RiderSetup::fork_oil_level_adjustment),
    N("shock_compression_adjustment", &RiderSetup::shock_compression_adjustment),
    N("shock_rebound_adjustment", &RiderSetup::shock_rebound_adjustment),
    N("shock_spring_rate_adjustment", &RiderSetup::shock_spring_rate_adjustment),
    N("shock_preload_adjustment", &RiderSetup::shock_preload_adjustment),
    N("rider_yspring", &RiderSetup::rider_yspring),
    N("rider_ydamping", &RiderSetup::rider_ydamping),
    N("rider_zspring", &RiderSetup::rider_zspring),
    N("rider_zdamping", &RiderSetup::rider_zdamping),
    N("rider_mass_distribution", &RiderSetup::rider_mass_distribution),
};

// The Stability preset: the fifteen aids at stability 0, 20, 40, 60, 80 and 100.
struct PresetRow {
  NumberSetting RiderSetup::*aid;
  double at[6];
};

const PresetRow kStabilityRows[] = {
    {&RiderSetup::leveling, {20, 20, 20, 20, 20, 20}},
    {&RiderSetup::roll_damping, {40, 50, 60, 70, 75, 80}},
    {&RiderSetup::roll_limit_angle, {90, 45, 45, 40, 35, 35}},
    {&RiderSetup::roll_limit_factor, {0, 5, 10, 32, 32, 32}},
    {&RiderSetup::steering_damping, {45, 45, 45, 45, 45, 45}},
    {&RiderSetup::steering_strength, {75, 75, 75, 75, 75, 75}},
    {&RiderSetup::direct_steering, {1, 1, 1, 1, 1, 0}},
    {&RiderSetup::max_steering_force, {400, 400, 400, 400, 400, 400}},
    {&RiderSetup::slow_damping_speed, {40, 40, 40, 40, 40, 40}},
    {&RiderSetup::slow_damping_factor, {1, 1, 1.5, 2, 2, 2}},
    {&RiderSetup::land_damping_falloff, {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {&RiderSetup::land_damping_factor, {1, 1.5, 2, 2, 2, 2}},
    {&RiderSetup::full_lock_speed, {10, 10, 10, 10, 10, 10}},
    {&RiderSetup::restricted_lock_speed, {50, 50, 50, 50, 50, 50}},
    {&RiderSetup::restricted_lock, {45, 15, 10, 5, 5, 5}},
};

double clamp(double value, double low, double high) {
  return value < low ? low : value > high ? high : value;
}

// A text value as it may be written: one line, so a name cannot smuggle keys into the file.
std::string one_line(const std::string& text) {
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::replace(line.begin(), line.end(), '\r', ' ');
  return line;
}

// The setting's value 0..100 as a position in a catalogue range.
double in_range(double setting, const float range[2]) {
  const double t = clamp(setting * 0.01, 0, 1);
  return range[0] + (range[1] - range[0]) * t;
}

double damping(double setting, float base) {
  return clamp(std::exp2(setting * 0.02 - 1), 0.5, 2) * base;
}

double teeth(float stock, double adjustment) {
  return std::max(3.0, std::floor(stock + clamp(adjustment, -2, 2)));
}

// The bike's acceptance of one riding aid.
double accept(double value, double low, double high, bool& out_of_range) {
  const double slack = (high - low) / 8;
  if (value < low - slack || value > high + slack || std::isnan(value)) out_of_range = true;
  return std::isnan(value) ? low : clamp(value, low, high);
}

// "@setups/" + the name with trailing white space removed; empty for a name that would leave
// the setups folder.
std::string setup_path(const char* name) {
  std::string trimmed = name ? name : "";
  while (!trimmed.empty() && std::strchr(" \t\r\n\v\f", trimmed.back())) trimmed.pop_back();
  if (trimmed.empty() || trimmed[0] == '.' || trimmed.find_first_of("/\\") != std::string::npos) {
    return "";
  }
  return "@setups/" + trimmed;
}

}  // namespace

RiderSetup default_rider_setup() {
  RiderSetup s;
  std::vector<std::string> bikes;
  for (int i = 0; i < kCatalogueSize; ++i) bikes.push_back(bike_menu_name(i));
  s.bike = choice("Bike", bikes, 0);
  s.rider_texture = texture_choice("Riding Gear", {"default"});
  s.head_texture = texture_choice("Helmet", {"default"});
  s.bike_texture = texture_choice("Bike Graphics", {"default"});
  s.wheel_texture = texture_choice("Wheel Graphics", {"default"});
  s.stability = number("Stability", 100, 1, 0, 100);
  s.leveling = number("Leveling", 20, 1, 0, 100);
  s.roll_damping = number("Roll Damping", 60, 1, 0, 100);
  s.roll_limit_angle = number("Roll Limit Angle", 45, 1, 0, 180);
  s.roll_limit_factor = number("Roll Limit Factor", 10, 1, 0, 64);
  s.steering_damping = number("Steering Damping", 45, 1, 0, 100);
  s.steering_strength = number("Steering Strength", 75, 1, 0, 100);
  s.max_steering_force = number("Max Steering Force", 400, 5, 0, 1000);
  s.direct_steering = number("Direct Steering", 1, 0.125, 0, 1);
  s.slow_damping_speed = number("Slow Damping Speed", 40, 1, 0, 100);
  s.slow_damping_factor = number("Slow Damping Factor", 2, 0.25, 1, 10);
  s.land_damping_falloff = number("Landing Damping Falloff", 0.25, 0.0625, 0, 0.5);
  s.land_damping_factor = number("Landing Damping Factor", 2, 0.25, 1, 3);
  s.full_lock_speed = number("Full Lock Speed", 10, 1, 1, 100);
  s.restricted_lock_speed = number("Restricted Lock Speed", 50, 1, 1, 100);
  s.restricted_lock = number("Restricted Lock Angle", 7.5, 0.125, 0, 45);
  s.arcade = choice("Arcade Physics", kNoYes, 1);
  s.front_brake = choice("Front Brake", kBrakes, 1);
  s.rear_brake = choice("Rear Brake", kBrakes, 0);
  s.stop_wheelies = choice("Stop Wheelies", {"No", "Yes", "Front Only"}, 0);
  s.auto_shift = choice("Automatic Shifting", kNoYes, 1);
  s.auto_dab = choice("Dab When Stopped", kNoYes, 1);
  s.auto_align = choice("Realign After Fall", kNoYes, 1);
  s.sticky_dab = choice("Sticky Sit/Dab", kNoYes, 0);
  s.reverse_steering = choice("Reversed Steering", kNoYes, 1);
  s.lean_indicator = choice("Lean Indicator", kNoYes, 1);
  s.auto_clutch_rpms = number("Auto Clutch RPMs", 5000, 100, 0, 5000);
  s.brake_torque = number("Braking Torque (Front)", 250, 10, 0, 500);
  s.rear_brake_torque = number("Braking Torque (Rear)", 250, 10, 0, 500);
  s.max_dab_speed = number("Max Dab Speed (MPH)", 20, 1, 5, 60);
  s.front_sprocket_adjustment = number("Countershaft Sprocket", 0, 1, -2, 2);
  s.rear_sprocket_adjustment = number("Rear Sprocket", 0, 1, -2, 2);
  s.fork_compression_adjustment = number("Fork Compression Damping", 50, 1, 0, 100);
  s.fork_rebound_adjustment = number("Fork Rebound Damping", 50, 1, 0, 100);
  s.fork_spring_rate_adjustment = number("Fork Spring Rate", 50, 1, 0, 100);
  s.fork_preload_adjustment = number("Fork Preload", 50, 1, 0, 100);
  s.fork_oil_level_adjustment = number("Fork Oil Level", 50, 1, 0, 100);
  s.shock_compression_adjustment = number("Shock Compression Damping", 50, 1, 0, 100);
  s.shock_rebound_adjustment = number("Shock Rebound Damping", 50, 1, 0, 100);
  s.shock_spring_rate_adjustment = number("Shock Spring Rate", 50, 1, 0, 100);
  s.shock_preload_adjustment = number("Shock Preload", 50, 1, 0, 100);
  s.rider_yspring = number("Rider Vertical Spring", 50, 1, 0, 100);
  s.rider_ydamping = number("Rider Vertical Damping", 50, 1, 0, 100);
  s.rider_zspring = number("Rider Forward Spring", 50, 1, 0, 100);
  s.rider_zdamping = number("Rider Forward Damping", 50, 1, 0, 100);
  s.rider_mass_distribution = number("Rider Mass Distribution", 0.33, 0.01, 0.33, 0.5);
  return s;
}

void rider_setup_startup() {
  g_rider_setup = default_rider_setup();
  g_rider_setup.rider_texture.names = texture_variants("rider_body-");
  g_rider_setup.head_texture.names = texture_variants("rider_head-");
  g_rider_setup.wheel_texture.names = texture_variants("wheels-");
  rebuild_bike_graphics(g_rider_setup);
  apply_stability_preset(g_rider_setup);
}

void rebuild_bike_graphics(RiderSetup& setup) {
  setup.bike_texture.names = texture_variants(bike_graphics_prefix(setup.bike.index));
  setup.bike_texture.index = 0;
}

void apply_stability_preset(RiderSetup& setup) {
  const double level = clamp(setup.stability.value * 5 * 0.01, 0, 5);
  const int i = std::min(static_cast<int>(std::floor(level)), 4);
  const double f = level - i;
  for (const PresetRow& row : kStabilityRows) {
    (setup.*row.aid).value = row.at[i] + (row.at[i + 1] - row.at[i]) * f;
  }
}

bool rider_setup_parse(RiderSetup& setup, const char* key, const char* value) {
  for (const SetupKey& k : kKeys) {
    if (std::strcmp(k.key, key) != 0) continue;
    if (k.number) {
      set_number_text(setup.*k.number, value);
      if (k.number == &RiderSetup::stability) apply_stability_preset(setup);
    } else if (k.text) {
      (setup.*k.text).assign(value, strnlen(value, k.text_max));
    } else if (k.choice == &RiderSetup::bike) {
      if (set_choice_text(setup.bike, bike_alias(value))) rebuild_bike_graphics(setup);
    } else {
      set_choice_text(setup.*k.choice, value);
    }
    return true;
  }
  return false;
}

void rider_setup_write(const RiderSetup& setup, data::DataStream* stream) {
  for (const SetupKey& k : kKeys) {
    if (k.number) {
      data::ds_printf(stream, "%s=%f\n", k.key, (setup.*k.number).value);
    } else if (k.text) {
      data::ds_printf(stream, "%s=%s\n", k.key, one_line(setup.*k.text).c_str());
    } else {
      const ChoiceSetting& c = setup.*k.choice;
      data::ds_printf(stream, "%s=%s\n", k.key, c.names.empty() ? "" : c.name().c_str());
    }
  }
}

bool rider_setup_read_line(const char* key, const char* value) {
  return rider_setup_parse(g_rider_setup, key, value);
}

void rider_setup_write_lines(data::DataStream* stream) { rider_setup_write(g_rider_setup, stream); }

bool read_setup_file(RiderSetup& setup, const char* name) {
  const std::string path = setup_path(name);
  if (path.empty()) return false;
  data::DataStream* in = data::open_data(path.c_str(), "rb");
  if (!in) return false;
  char line[kMaxLine + 1];
  while (data::ds_read_line(in, line, sizeof line)) {
    char* equals = std::strchr(line, '=');
    if (!equals) continue;
    *equals = '\0';
    char* value = equals + 1;
    std::size_t length = std::strlen(value);
    while (length > 0 && (value[length - 1] == '\n' || value[length - 1] == '\r')) {
      value[--length] = '\0';
    }
    rider_setup_parse(setup, line, value);
  }
  data::close_data(in);
  return true;
}

bool write_setup_file(const RiderSetup& setup, const char* name) {
  const std::string path = setup_path(name);
  if (path.empty()) return false;
  const std::string temporary = path + ".tmp";
  data::DataStream* out = data::open_data(temporary.c_str(), "wb");
  if (!out) return false;
  rider_setup_write(setup, out);
  const bool flushed = data::ds_flush(out) == 0 && !std::ferror(out->file);
  data::close_data(out);
  if (!flushed) return false;
  return data::replace_data(temporary.c_str(), path.c_str()) == 1;
}

BikeAdjustments bike_accept(const BikeAdjustments& handed) {
  BikeAdjustments b = handed;
  bool& flag = b.out_of_range;
  b.leveling = accept(b.leveling, 0, 100, flag);
  b.roll_damping = accept(b.roll_damping, 0, 100, flag);
  b.roll_limit_angle = accept(b.roll_limit_angle, 0, std::numbers::pi, flag);
  b.roll_limit_factor = accept(b.roll_limit_factor, 0, 64, flag);
  b.steering_damping = accept(b.steering_damping, 0, 100, flag);
  b.steering_strength = accept(b.steering_strength, 0, 100, flag);
  b.max_steering_force = accept(b.max_steering_force, 0, 1000, flag);
  b.direct_steering = accept(b.direct_steering, 0, 1, flag);
  b.slow_damping_speed = accept(b.slow_damping_speed, 0, 100, flag);
  b.slow_damping_factor = accept(b.slow_damping_factor, 1, 10, flag);
  b.land_damping_falloff = accept(b.land_damping_falloff, 0, 0.5, flag);
  b.land_damping_factor = accept(b.land_damping_factor, 1, 3, flag);
  b.full_lock_speed = accept(b.full_lock_speed, 1, 100, flag);
  b.restricted_lock_speed = accept(b.restricted_lock_speed, 1, 100, flag);
  b.restricted_lock = accept(b.restricted_lock, 0, std::numbers::pi / 4, flag);
  b.auto_clutch_rpms = accept(b.auto_clutch_rpms, 0, 5000, flag);
  b.brake_torque = accept(b.brake_torque, 0, 500, flag);
  b.rear_brake_torque = accept(b.rear_brake_torque, 0, 500, flag);
  b.max_dab_speed = accept(b.max_dab_speed, 7, 100, flag);
  return b;
}

BikeAdjustments setup_adjustments(const RiderSetup& s, const BikeInfo& info, bool no_arcade) {
  const BikeConstants& k = info.constants;
  BikeAdjustments b;
  b.leveling = s.leveling.value;
  b.roll_damping = s.roll_damping.value;
  b.roll_limit_angle = s.roll_limit_angle.value * kDegree;
  b.roll_limit_factor = s.roll_limit_factor.value;
  b.steering_damping = s.steering_damping.value;
  b.steering_strength = s.steering_strength.value;
  b.max_steering_force = s.max_steering_force.value;
  b.arcade = s.arcade.index == 1 && !no_arcade;
  b.front_antilock = s.front_brake.index == 1;
  b.rear_antilock = s.rear_brake.index == 1;
  constexpr int kWheelieModes[] = {0, 3, 2};  // No, Yes (both wheels), Front Only
  b.stop_wheelies = kWheelieModes[std::clamp(s.stop_wheelies.index, 0, 2)];
  b.auto_shift = s.auto_shift.index == 1;
  b.auto_dab = s.auto_dab.index == 1;
  b.auto_align = s.auto_align.index == 1;
  b.direct_steering = s.direct_steering.value;
  b.slow_damping_speed = s.slow_damping_speed.value;
  b.slow_damping_factor = s.slow_damping_factor.value;
  b.land_damping_falloff = s.land_damping_falloff.value;
  b.land_damping_factor = s.land_damping_factor.value;
  b.full_lock_speed = s.full_lock_speed.value;
  b.restricted_lock_speed = s.restricted_lock_speed.value;
  b.restricted_lock = s.restricted_lock.value * kDegree;
  b.auto_clutch_rpms = s.auto_clutch_rpms.value;
  b.brake_torque = s.brake_torque.value;
  b.rear_brake_torque = s.rear_brake_torque.value;
  b.max_dab_speed = s.max_dab_speed.value * kMph;
  b.front_sprocket_adjustment = clamp(s.front_sprocket_adjustment.value, -2, 2);
  b.rear_sprocket_adjustment = clamp(s.rear_sprocket_adjustment.value, -2, 2);
  b.final_ratio = teeth(k.rear_sprocket_teeth, b.rear_sprocket_adjustment) /
                  teeth(k.countershaft_teeth, b.front_sprocket_adjustment);
  b.fork_compression = damping(s.fork_compression_adjustment.value, k.fork_compression);
  b.fork_rebound = damping(s.fork_rebound_adjustment.value, k.fork_rebound);
  b.fork_spring_rate = in_range(s.fork_spring_rate_adjustment.value, k.fork_spring_rate);
  b.fork_preload = in_range(s.fork_preload_adjustment.value, k.fork_preload);
  b.fork_oil_level = in_range(s.fork_oil_level_adjustment.value, k.fork_oil_level);
  b.shock_compression = damping(s.shock_compression_adjustment.value, k.shock_compression);
  b.shock_rebound = damping(s.shock_rebound_adjustment.value, k.shock_rebound);
  b.shock_spring_rate = in_range(s.shock_spring_rate_adjustment.value, k.shock_spring_rate);
  b.shock_preload = in_range(s.shock_preload_adjustment.value, k.shock_preload);
  b.rider_yspring = clamp(s.rider_yspring.value * 0.01, 0, 1);
  b.rider_zspring = clamp(s.rider_zspring.value * 0.01, 0, 1);
  b.rider_ydamping = clamp(s.rider_ydamping.value * 0.01, 0, 1);
  b.rider_zdamping = clamp(s.rider_zdamping.value * 0.01, 0, 1);
  b.rider_mass_distribution = clamp(s.rider_mass_distribution.value, 0.33, 0.5);
  b.rider_upper_mass = b.rider_mass_distribution * k.rider_mass;
  b.rider_lower_mass = (1 - b.rider_mass_distribution) * k.rider_mass;
  return bike_accept(b);
}

bool mechanic_apply(Mechanic& mechanic, const RiderSetup& setup, const BikeInfo& info,
                    double bike_speed_ft_s, double now_s, bool no_arcade, BikeAdjustments* out) {
  // NaN speed counts as moving: nothing unknown is handed to a bike in motion.
  if (!(bike_speed_ft_s <= kMechanicSpeed)) {
    if (!mechanic.refused_before || now_s - mechanic.last_refusal_s >= kMechanicMessageInterval) {
      platform::message("Settings not applied.  Mechanic can't keep up error.");
    }
    mechanic.refused_before = true;
    mechanic.last_refusal_s = now_s;
    return false;
  }
  *out = setup_adjustments(setup, info, no_arcade);
  return true;
}

std::string setup_display_value(const RiderSetup& s, const BikeInfo& info, SetupDisplay which) {
  const BikeConstants& k = info.constants;
  constexpr double kMm = 304.8;                         // mm per ft
  constexpr double kShockKgMm = 0.0014881639448175144;  // kg/mm per lbf/ft
  constexpr double kForkKgMm = 0.0007440819724087572;   // per leg: half the rate
  char text[64];
  switch (which) {
    case kShowForkSpringRate:
      std::snprintf(text, sizeof text, "%.3f kg/mm",
                    in_range(s.fork_spring_rate_adjustment.value, k.fork_spring_rate) * kForkKgMm);
      break;
    case kShowForkPreload:
      std::snprintf(text, sizeof text, "%.2f mm",
                    in_range(s.fork_preload_adjustment.value, k.fork_preload) * kMm);
      break;
    case kShowForkOilLevel:
      std::snprintf(text, sizeof text, "%.2f mm",
                    in_range(s.fork_oil_level_adjustment.value, k.fork_oil_level) * kMm);
      break;
    case kShowShockSpringRate:
      std::snprintf(
          text, sizeof text, "%.2f kg/mm",
          in_range(s.shock_spring_rate_adjustment.value, k.shock_spring_rate) * kShockKgMm);
      break;
    case kShowShockPreload:
      std::snprintf(text, sizeof text, "%.2f mm",
                    in_range(s.shock_preload_adjustment.value, k.shock_preload) * kMm);
      break;
    case kShowCountershaft:
      std::snprintf(text, sizeof text, "%.2f teeth",
                    k.countershaft_teeth + s.front_sprocket_adjustment.value);
      break;
    case kShowRearSprocket:
      std::snprintf(text, sizeof text, "%.2f teeth",
                    k.rear_sprocket_teeth + s.rear_sprocket_adjustment.value);
      break;
  }
  return text;
}

void apply_default_rider_setup(sim::Bike* bike, const sim::BikeInfo& info, int arcade) {
  RiderSetup setup = default_rider_setup();
  apply_stability_preset(setup);
  if (arcade >= 0) setup.arcade.index = arcade;
  apply_bike_adjustments(bike, setup_adjustments(setup, info, false));
}

}  // namespace shell
