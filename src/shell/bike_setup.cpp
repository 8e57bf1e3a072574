// bike_setup.cpp -- the mechanic's hand-over: a rider setup's adjustments set on a bike.
#include "shell/rider_setup.h"

namespace shell {

void apply_bike_adjustments(sim::Bike* bike, const BikeAdjustments& a) {
  using sim::AidSettings;
  struct Aid {
    double AidSettings::*field;
    double value;
  };
  const Aid aids[] = {
      {&AidSettings::leveling, a.leveling},
      {&AidSettings::roll_damping, a.roll_damping},
      {&AidSettings::roll_limit_angle, a.roll_limit_angle},
      {&AidSettings::roll_limit_factor, a.roll_limit_factor},
      {&AidSettings::steering_damping, a.steering_damping},
      {&AidSettings::steering_strength, a.steering_strength},
      {&AidSettings::max_steering_force, a.max_steering_force},
      {&AidSettings::direct_steering, a.direct_steering},
      {&AidSettings::slow_damping_speed, a.slow_damping_speed},
      {&AidSettings::slow_damping_factor, a.slow_damping_factor},
      {&AidSettings::land_damping_falloff, a.land_damping_falloff},
      {&AidSettings::land_damping_factor, a.land_damping_factor},
      {&AidSettings::full_lock_speed, a.full_lock_speed},
      {&AidSettings::restricted_lock_speed, a.restricted_lock_speed},
      {&AidSettings::restricted_lock, a.restricted_lock},
      {&AidSettings::auto_clutch_rpms, a.auto_clutch_rpms},
      {&AidSettings::brake_torque, a.brake_torque},
      {&AidSettings::rear_brake_torque, a.rear_brake_torque},
      {&AidSettings::max_dab_speed, a.max_dab_speed},
  };
  for (const Aid& aid : aids) sim::bike_set_aid(bike, aid.field, aid.value);
  sim::bike_set_flag(bike, sim::kFlagArcade, a.arcade);
  sim::bike_set_flag(bike, sim::kFlagFrontAntilock, a.front_antilock);
  sim::bike_set_flag(bike, sim::kFlagRearAntilock, a.rear_antilock);
  sim::bike_set_wheelie_stopper(bike, a.stop_wheelies);
  sim::bike_set_flag(bike, sim::kFlagAutoShift, a.auto_shift);
  sim::bike_set_flag(bike, sim::kFlagAutoDab, a.auto_dab);
  sim::bike_set_flag(bike, sim::kFlagRealign, a.auto_align);
  sim::bike_set_sprockets(bike, a.front_sprocket_adjustment, a.rear_sprocket_adjustment);
  bike->fork_compression = a.fork_compression;
  bike->fork_rebound = a.fork_rebound;
  bike->fork_spring_rate = a.fork_spring_rate;
  bike->fork_preload = a.fork_preload;
  bike->fork_oil_level = a.fork_oil_level;
  bike->shock_compression = a.shock_compression;
  bike->shock_rebound = a.shock_rebound;
  bike->shock_spring_rate = a.shock_spring_rate;
  bike->shock_preload = a.shock_preload;
  bike->rider_yspring = a.rider_yspring;
  bike->rider_ydamping = a.rider_ydamping;
  bike->rider_zspring = a.rider_zspring;
  bike->rider_zdamping = a.rider_zdamping;
  sim::bike_set_rider_mass_distribution(bike, a.rider_mass_distribution);
  if (a.out_of_range) bike->out_of_range = true;
}

}  // namespace shell
