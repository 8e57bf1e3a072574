// bike_aids.cpp -- the riding aids: the steering controllers, walking backwards, dabbing,
// getting up after a fall, automatic shifting, antilock and the wheelie stopper.
#include <numbers>

#include "sim/bike_internal.h"

namespace sim {

namespace {

// The walking pace's phase advance, rad a tick: a whole cycle at a second's last tick.
constexpr double kBackUpStepPhase = 2 * std::numbers::pi / (kTicksPerSecond - 1);

double sign_of(double v) { return v >= 0 ? 1 : -1; }

bool on_ground(const Bike* bike, int wheel) { return bike->wheel[wheel].depth > 0; }

double contact_slip2(const Bike* bike, int wheel) { return length2(v3(bike->wheel[wheel].velocity)); }

V3 horizontal(V3 v) { return {v.x, 0, v.z}; }

double heading_of(dBodyID body) {
  const V3 f = to_world_vector(body, V3{0, 0, -1});
  // 0 facing -z, positive turning left (towards -x).
  return std::atan2(-f.x, -f.z);
}

// A one-step angular motor on the frame about a world axis.
void frame_motor(Bike* bike, V3 axis, double speed, double max_torque) {
  dJointID motor = dJointCreateAMotor(physics_world(), contact_group());
  dJointAttach(motor, bike->body[kFrame], nullptr);
  dJointSetAMotorMode(motor, dAMotorUser);
  dJointSetAMotorNumAxes(motor, 1);
  dJointSetAMotorAxis(motor, 0, 0, axis.x, axis.y, axis.z);
  dJointSetAMotorParam(motor, dParamVel, speed);
  dJointSetAMotorParam(motor, dParamFMax, max_torque);
}

double front_ground_speed(const Bike* bike) {
  return dJointGetHingeAngleRate(bike->joint[kFrontAxle]) *
         (bike->k.front_wheel.ring_radius + bike->k.front_wheel.tube_radius);
}

}  // namespace

double roll_rate(const Bike* bike) {
  dBodyID frame = bike->body[kFrame];
  return dot(angular_velocity(frame), to_world_vector(frame, V3{0, 0, 1}));
}

double friction_under_frame(const Bike* bike) {
  const dReal* p = dBodyGetPosition(bike->body[kFrame]);
  const int k = terrain_surface_at(static_cast<float>(p[0]), static_cast<float>(p[2]));
  const double mu = g_terrain.heights ? g_terrain.surfaces[k].friction_coef[0] : 1.0;
  return std::max(mu, 0.125);
}

void hold_frame_velocity(Bike* bike, double target_x, double target_z, double strength) {
  dBodyID frame = bike->body[kFrame];
  const V3 v = velocity(frame);
  const V3 dv{v.x - target_x, 0, v.z - target_z};
  const double l = length(dv);
  if (l < 0.25) return;
  const V3 f = dv * (-strength * clampd((l - 0.25) * 0.8, 0, 1) / l);
  dBodyAddForce(frame, f.x, 0, f.z);
}

bool wheelie_stopper_cuts_drive(const Bike* bike) {
  if (!(bike->flags & kFlagWheelieStopEngine)) return false;
  dBodyID frame = bike->body[kFrame];
  const double pitch = dot(angular_velocity(frame), to_world_vector(frame, V3{1, 0, 0}));
  return !on_ground(bike, 0) && on_ground(bike, 1) && pitch > -1.0 / 32;
}

void brake_torques(const Bike* bike, double* front, double* rear) {
  const Controls& c = bike->controls;
  *front = bike->aids.brake_torque * c.front_brake;
  *rear = bike->aids.rear_brake_torque * c.rear_brake;
  if ((bike->flags & kFlagFrontAntilock) && on_ground(bike, 0) && contact_slip2(bike, 0) > 4) *front = 0;
  if ((bike->flags & kFlagRearAntilock) && on_ground(bike, 1) && contact_slip2(bike, 1) > 4) *rear = 0;
  if ((bike->flags & kFlagWheelieStopBrake) && on_ground(bike, 0) && !on_ground(bike, 1)) *front = 0;
}

double full_steer_lean(const Bike* bike, double speed) {
  const AidSettings& a = bike->aids;
  const double m = a.max_dab_speed;
  if (speed >= m) return 2 * std::numbers::pi;
  if (speed <= kSlowSpeed) {
    const double x = 1 - clampd(speed * speed / (m * m), 0, 1);
    return (1 - x * x * x * x) * a.roll_limit_angle;
  }
  return a.roll_limit_angle + (2 * std::numbers::pi - a.roll_limit_angle) *
                                 clampd((speed * speed - 225) / (m * m - 225), 0, 1);
}

double steering_lock(const Bike* bike, double front_speed) {
  // Full lock at walking pace, restricted at speed, and more so on slippery ground.
  const AidSettings& a = bike->aids;
  const double l2 = std::max(a.restricted_lock_speed, a.full_lock_speed + 1);
  const double blend =
      clampd((1 / std::max(front_speed, 1.0) - 1 / l2) / (1 / a.full_lock_speed - 1 / l2), 0, 1);
  const double lock0 =
      std::min(std::numbers::pi / 4, a.restricted_lock / friction_under_frame(bike));
  return lock0 + (std::numbers::pi / 4 - lock0) * blend;
}

void steering_control(Bike* bike) {
  if (bike->crash_timer > 0) return;
  const AidSettings& a = bike->aids;
  const Controls& c = bike->controls;
  const WheelInfo& fw = bike->k.front_wheel;
  const double v = front_ground_speed(bike);
  const double lean = bike_lean(bike);
  const double sigma = steering_angle(bike);
  const double phi = front_slip_angle(bike);
  const double s = c.steer;
  const double speed = frame_speed(bike);

  const double lock = steering_lock(bike, v);

  // 3: beyond the lock the torque that would steer further is withdrawn, then reversed.
  double lower = -a.max_steering_force, upper = a.max_steering_force;
  const dReal* wheel_at = dBodyGetPosition(bike->body[kFrontWheel]);
  const double above = wheel_at[1] -
                       terrain_height(static_cast<float>(wheel_at[0]), static_cast<float>(wheel_at[2])) -
                       (fw.ring_radius + fw.tube_radius);
  if (v > 1 && above < 0.5) {
    const double lock1 = lock + (std::numbers::pi / 4 - lock) * clampd(2 * above, 0, 1);
    const double e = 1.125 * lock1 + 0.015;
    if (phi > lock1) {
      const double u = clampd((phi - e) / (lock1 - e), 0, 1);
      lower = -a.max_steering_force * (1.25 * u - 0.25);
    } else if (phi < -lock1) {
      const double u = clampd((phi + e) / (e - lock1), 0, 1);
      upper = a.max_steering_force * (1.25 * u - 0.25);
    }
  }

  const double direct = a.steering_strength * s * a.direct_steering;
  double stability = 0, rider = 0;
  const double spin = dJointGetHingeAngleRate(bike->joint[kFrontAxle]);
  if (!on_ground(bike, 0) || std::fabs(spin) < std::numbers::pi / 4) {
    // 4: the front wheel is light: centre the bars.
    bike->landing_damping = a.land_damping_factor;
    stability = -50 * sigma;
    rider = (bike->flags & kFlagRiderTorqueInAir) ? direct : 0;
  } else {
    // 5-7: roll damping and leveling.
    const double rho = roll_rate(bike);
    double damping = rho * a.roll_damping * bike->landing_damping;
    double leveling = lean * a.leveling;
    if (a.land_damping_falloff > 0) {
      bike->landing_damping =
          std::max(1.0, bike->landing_damping -
                            (a.land_damping_factor - 1) / a.land_damping_falloff * kTickSeconds);
    } else {
      bike->landing_damping = 1;
    }
    if (speed < a.slow_damping_speed) {
      const double f = a.slow_damping_factor +
                       (1 - a.slow_damping_factor) * clampd(speed / a.slow_damping_speed, 0, 1);
      damping *= f;
      leveling *= f;
    }
    if (rho * lean > 0 && std::fabs(lean) > a.roll_limit_angle) {
      damping *= 1 + (std::fabs(lean) - a.roll_limit_angle) * a.roll_limit_factor;
    }
    stability = damping + leveling;

    // 8: the rider's own torque, direct and lean-following.
    rider = direct;
    if (a.direct_steering < 1) {
      const double target = full_steer_lean(bike, speed);
      double want = (-s * target - lean) * 2.5;
      const double limit = want * lean > 0 ? 3.926991 : 9.817477;
      want = clampd(want, -limit, limit);
      const double follow =
          a.steering_strength * clampd((rho - (want - clampd(want - rho, -0.125, 0.125))) * 4, -1, 1);
      rider = (direct - follow) * a.direct_steering + follow;
    }
  }

  // 9: a rider who rammed someone loses, then reverses, his stability.
  if (bike->collision_timer >= 1 && bike->collision_timer <= 192) {
    const double cap = 200 * clampd((192 - bike->collision_timer) / 192.0, 0, 1);
    stability = clampd(stability, -cap, cap);
  } else if (bike->collision_timer > 192) {
    stability = -stability * clampd((bike->collision_timer - 192) / 64.0, 0, 1);
  }

  apply_steering_torque(bike, clampd((stability + rider) * 1.5, lower, upper));

  // 11: how close the bike is to falling into the turn.
  const double g = lean >= 0 ? 1 : -1;
  const double ia = clampd((g * sigma - 0.2617994) * 3.8197186, 0, 1);
  const double cc = clampd((v - 5) / 10, 0, 1);
  const double den = (0.625 * cc + 0.125) * lock - 0.25 * cc * lock;
  const double ib = den != 0 ? clampd((-g * phi - 0.25 * cc * lock) / den, 0, 1) : 0;
  bike->lean_indicator = std::max(ia, ib);
}

void arcade_control(Bike* bike) {
  if (bike->crash_timer > 0) return;
  const AidSettings& a = bike->aids;
  const double s = bike->controls.steer;
  dBodyID frame = bike->body[kFrame];
  const double lean = bike_lean(bike);
  const double target = -s * std::numbers::pi / 4;
  const double gain = 1.5 - 0.5 * clampd((a.roll_damping - 40) * 0.025, 0, 1);
  const double rate = gain * std::min(std::fabs(lean - target), 1.0 / 16) * 16;
  // Turning about the forward axis by a positive angle leans the bike to the right.
  const V3 forward = to_world_vector(frame, V3{0, 0, -1});
  frame_motor(bike, forward, lean > target ? rate : -rate, 1000);

  const double sigma = steering_angle(bike);
  const double sigma_rate = dJointGetHingeAngleRate(bike->joint[kSteeringJoint]);
  const double e = (front_slip_angle(bike) - 0.5 * s) - sigma;
  double command;
  if (e < -0.25) {
    command = -1.75 - sigma_rate;
  } else if (e > 0.25) {
    command = 1.75 - sigma_rate;
  } else if (std::fabs(e) <= 1.0 / 32) {
    command = -sigma_rate;
  } else {
    command = 8 * (e - sign_of(e) / 32) - sigma_rate;
  }
  if (std::fabs(command) < 0.000416667) command = 0;
  command = clampd(command * 0.5, -2.0 / 3, 2.0 / 3);
  apply_steering_torque(bike, command * a.steering_strength);

  // Directional stability: damp yaw and side slip at a point far ahead.
  dVector3 ahead;
  dBodyGetRelPointVel(frame, 0, 0, 20, ahead);
  const V3 v = v3(ahead);
  dBodyAddForceAtRelPos(frame, -0.25 * v.x, -0.25 * v.y, -0.25 * v.z, 0, 0, 20);
  bike->lean_indicator = 0;
}

void back_up_and_auto_dab(Bike* bike) {
  Controls& c = bike->controls;
  const double speed = frame_speed(bike);
  const bool crashed = bike->crash_timer > 0;
  if (c.back_up > 0 && speed < kStopSpeed) {
    if (!crashed) c.dab = 1;
    // One step a second.
    const double p = (1 - std::cos((g_sim.tick % kTicksPerSecond) * kBackUpStepPhase)) / 2;
    const V3 back = normalized(horizontal(to_world_vector(bike->body[kFrame], V3{0, 0, 1})));
    hold_frame_velocity(bike, back.x * 4 * p, back.z * 4 * p, 2000);
    frame_motor(bike, V3{0, 1, 0}, -c.steer * p * std::numbers::pi / 2, 2000);
    return;
  }
  if (!(bike->flags & kFlagAutoDab) || c.back_up > 0) return;
  double m = bike->aids.max_dab_speed;
  if (bike->collision_timer <= -512) m = std::max(m, 75.0);
  if (speed > m) return;
  const double lean = std::fabs(bike_lean(bike));
  if (speed > kSlowSpeed && speed < 2 * kSlowSpeed &&
      !(lean > std::numbers::pi / 4 * clampd((speed - kSlowSpeed) / kSlowSpeed, 0, 1))) {
    return;
  }
  if (c.throttle > 0 && c.clutch > 0 && speed >= kStopSpeed && !(lean > std::numbers::pi / 16)) {
    return;
  }
  if (!crashed) c.dab = static_cast<float>(std::max<double>(c.dab, clampd(1 - speed / m, 0, 1)));
  if (speed < kStopSpeed && (c.throttle == 0 || c.clutch == 0) && on_ground(bike, 0) &&
      on_ground(bike, 1)) {
    c.front_brake = 1;
    c.rear_brake = 1;
    hold_frame_velocity(bike, 0, 0, 1000);
  }
}

void automatic_shift(Bike* bike) {
  if (!(bike->flags & kFlagAutoShift) || bike->crash_timer > 0 || g_sim.tick % 32 != 0) return;
  if (!(swingarm_angle(bike) < -0.01)) return;
  if (on_ground(bike, 1) && contact_slip2(bike, 1) > 4) return;
  const BikeConstants& k = bike->k;
  Controls& c = bike->controls;
  const double ratio = k.gear_ratios[std::clamp(c.gear, 0, kMaxGears - 1)];
  const double rpm = dJointGetHingeAngleRate(bike->joint[kRearAxle]) * ratio * k.primary_ratio *
                     bike->final_ratio * kRadPerSecToRpm;
  int gear = c.gear;
  if (rpm < k.downshift_rpm) {
    --gear;
  } else if (rpm > k.upshift_rpm) {
    ++gear;
  }
  c.gear = lowest_usable_gear(bike, std::clamp(gear, 0, 5));
}

void foot_dab_and_realign(Bike* bike) {
  Controls& c = bike->controls;
  const bool crashed = bike->crash_timer > 0;
  const double speed = frame_speed(bike);
  const double lean = bike_lean(bike);
  dBodyID frame = bike->body[kFrame];

  bool dabbing = c.dab != 0 && !crashed && !(bike->flags & kFlagArcade);
  double m = bike->aids.max_dab_speed;
  if (bike->collision_timer <= -512) m = std::max(m, 75.0);
  if (dabbing && !on_ground(bike, 0)) {
    dabbing = sphere_terrain(dBodyGetPosition(bike->body[kRider]), bike->k.rider_position[1] + 1).hit;
  }
  if (dabbing && speed > m) dabbing = false;
  if (dabbing && speed > kSlowSpeed &&
      !(on_ground(bike, 0) && on_ground(bike, 1) && std::fabs(lean) >= 0.5890486)) {
    dabbing = false;
  }
  if (dabbing) {
    using std::numbers::pi;
    bike->dab_extension = std::min(1.0, bike->dab_extension + 8 * kTickSeconds);
    const double g = sign_of(lean);
    const double abs_lean = std::fabs(lean);
    // The foot lets the bike settle onto it at a lean of pi/8 and no faster than pi/8 rad/s.
    double target_rate = clampd((g * pi / 8 - lean) * 2, -pi / 8, pi / 8);
    if (abs_lean < pi / 16) target_rate *= abs_lean * 16 / pi;
    const double rho = roll_rate(bike);
    if ((rho - target_rate) * g > 0) {
      double force = 400;
      if (abs_lean < pi / 32) force *= abs_lean * 32 / pi;
      if (bike->collision_timer < 0 && (bike->flags & kFlagAutoDab)) force *= 3;
      if (c.back_up <= 0) {
        // Steering away from the lean (right, positive, while leaning left) takes the
        // foot's help away.
        force *= clampd(1 - g * c.steer, 0, 1);
        if (speed > kStopSpeed) force *= bike->lean_indicator;
      }
      // Push the frame's top towards the other side: right when leaning left.
      const V3 forward = normalized(horizontal(to_world_vector(frame, V3{0, 0, -1})));
      const V3 right{-forward.z, 0, forward.x};
      const V3 f = right * (g * force);
      dBodyAddForceAtRelPos(frame, f.x, f.y, f.z, 0, 4, 0);
      if (to_world_vector(frame, V3{0, 1, 0}).y >= 0.707) {
        const V3 side = to_world_vector(frame, V3{1, 0, 0}) * (g * force * 0.5);
        dBodyAddForceAtRelPos(frame, side.x, side.y, side.z, 0, 4, 0);
      }
    }
  } else {
    bike->dab_extension = std::max(0.0, bike->dab_extension - 8 * kTickSeconds);
  }

  // Realign after a fall: turn a bike lying on its side towards where the track goes.
  if ((bike->flags & kFlagRealign) && g_sim.race_running && speed < kStopSpeed &&
      std::fabs(lean) > 0.3926991 && std::fabs(lean) < 1.0995574) {
    double heading = heading_of(frame);
    double wanted = heading;
    if (!(g_racing_line_heading && g_racing_line_heading(bike, &wanted))) wanted = heading;
    const double turn = std::remainder(wanted - heading, 2 * std::numbers::pi);
    frame_motor(bike, V3{0, 1, 0}, clampd(turn * 2, -1, 1), 500);
  }
}

}  // namespace sim
