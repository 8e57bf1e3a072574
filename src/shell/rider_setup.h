// rider_setup.h -- the player's bike, identity, graphics, riding aids and adjustments,
// kept as "key=value" lines in "@config" and in setup files under "@setups/" (private to
// the shell).
#pragma once

#include <string>

#include "shell/catalogue.h"
#include "shell/settings.h"

namespace shell {

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
  NumberSetting brake_torque;               // ft·lbf, front
  NumberSetting rear_brake_torque;          // ft·lbf
  NumberSetting max_dab_speed;              // mph
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

// At start-up: the built-in setup, its texture variant lists from the
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
  double brake_torque = 0;               // ft·lbf
  double rear_brake_torque = 0;          // ft·lbf
  double max_dab_speed = 7;              // ft/s
  double front_sprocket_adjustment = 0;  // teeth
  double rear_sprocket_adjustment = 0;
  double final_ratio = 1;       // rear teeth / countershaft teeth
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
  double rider_upper_mass = 0;               // slugs, on the rider body
  double rider_lower_mass = 0;               // slugs, added to the frame
  bool out_of_range = false;                 // the setup-out-of-range flag of the recorded state
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
  kShowForkSpringRate,
  kShowForkPreload,
  kShowForkOilLevel,
  kShowShockSpringRate,
  kShowShockPreload,
  kShowCountershaft,
  kShowRearSprocket,
};
std::string setup_display_value(const RiderSetup& setup, const BikeInfo& info, SetupDisplay which);

}  // namespace shell
