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

double contact_slip2(const Bike* bike, int wheel) {
  return length2(v3(bike->wheel[wheel].velocity));
}

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
  if ((bike->flags & kFlagFrontAntilock) && on_ground(bike, 0) && contact_slip2(bike, 0) > 4)
    *front = 0;
  if ((bike->flags & kFlagRearAntilock) && on_ground(bike, 1) && contact_slip2(bike, 1) > 4)
    *rear = 0;
  if ((bike->flags & kFlagWheelieStopBrake) && on_ground(bike, 0) && !on_ground(bike, 1))
    *front = 0;
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

namespace {

// The realistic steering controller's tuning. Torques are ft·lbf about the steering axis.

// Below this spin (rad/s) a front wheel on the ground is as light as one in the air.
constexpr double kLightWheelSpin = std::numbers::pi / 4;
// Self-centring of the bars while the front wheel is light, ft·lbf per rad of steering.
constexpr double kBarCentring = 50;
// The lean-following rider wants a roll rate of this (1/s) times the lean still to go...
constexpr double kLeanToRollRate = 2.5;
// ...but no faster than these (rad/s) into the lean, about 5π/4, and back out of it,
// about 25π/8.
constexpr double kMostRollIntoLean = 3.926991;
constexpr double kMostRollOutOfLean = 9.817477;
// He lets a roll rate this close to the wanted one be (rad/s), and uses his whole steering
// strength at this gain (per rad/s) beyond it.
constexpr double kRollDeadBand = 0.125;
constexpr double kRollFollowGain = 4;
// A rider who rams another bike has his collision timer raised (to 192 or 256 ticks, counting
// down). Above kRamCapTicks his stability torque is reversed, less so as the timer falls
// towards it; from there it is capped, the cap growing back to kRamFullCap as the timer runs
// out.
constexpr int kRamCapTicks = 192;
constexpr int kRamReversedTicks = 64;
constexpr double kRamFullCap = 200;  // ft·lbf
// The sum of the stability and rider torques is applied at this gain.
constexpr double kSteeringGain = 1.5;
// The lean indicator's share from the bars turned into the lean starts at about 15° (rad)
// and is full at about 30° (the scale, 1/rad, is about 12/π).
constexpr double kIndicatorSteerFrom = 0.2617994;
constexpr double kIndicatorSteerScale = 3.8197186;

struct TorqueRange {
  double lower, upper;  // ft·lbf
};

// The front tyre's height above the ground (ft).
double front_wheel_clearance(const Bike* bike) {
  const WheelInfo& wheel = bike->k.front_wheel;
  const dReal* at = dBodyGetPosition(bike->body[kFrontWheel]);
  return at[1] - terrain_height(static_cast<float>(at[0]), static_cast<float>(at[2])) -
         (wheel.ring_radius + wheel.tube_radius);
}

// The limits of the steering torque. While the front wheel rolls on the ground, the torque
// that would turn its slip angle further past the lock is withdrawn, then reversed: from the
// whole steering force at the lock to a quarter of it reversed at an eighth of the lock and
// 0.015 rad further. The lock opens out to the steering stops as the tyre lifts, fully at
// half a foot.
TorqueRange steering_torque_range(const Bike* bike, double wheel_speed, double lock,
                                  double slip_angle) {
  const double most = bike->aids.max_steering_force;
  TorqueRange range{-most, most};
  const double clearance = front_wheel_clearance(bike);
  if (wheel_speed > 1 && clearance < 0.5) {
    const double opened_lock = lock + (std::numbers::pi / 4 - lock) * clampd(2 * clearance, 0, 1);
    const double reversed_at = 1.125 * opened_lock + 0.015;
    if (slip_angle > opened_lock) {
      const double kept = clampd((slip_angle - reversed_at) / (opened_lock - reversed_at), 0, 1);
      range.lower = -most * (1.25 * kept - 0.25);
    } else if (slip_angle < -opened_lock) {
      const double kept = clampd((slip_angle + reversed_at) / (reversed_at - opened_lock), 0, 1);
      range.upper = most * (1.25 * kept - 0.25);
    }
  }
  return range;
}

// Roll damping and leveling with the front wheel rolling on the ground: softened at low
// speed, stiffened past the roll limit, and damped harder just after a landing, an extra
// that wears off here.
double roll_stability(Bike* bike, double lean, double roll, double speed) {
  const AidSettings& a = bike->aids;
  double damping = roll * a.roll_damping * bike->landing_damping;
  double leveling = lean * a.leveling;
  if (a.land_damping_falloff > 0) {
    bike->landing_damping =
        std::max(1.0, bike->landing_damping -
                          (a.land_damping_factor - 1) / a.land_damping_falloff * kTickSeconds);
  } else {
    bike->landing_damping = 1;
  }
  if (speed < a.slow_damping_speed) {
    const double slow = a.slow_damping_factor +
                        (1 - a.slow_damping_factor) * clampd(speed / a.slow_damping_speed, 0, 1);
    damping *= slow;
    leveling *= slow;
  }
  if (roll * lean > 0 && std::fabs(lean) > a.roll_limit_angle) {
    damping *= 1 + (std::fabs(lean) - a.roll_limit_angle) * a.roll_limit_factor;
  }
  return damping + leveling;
}

// The rider's own torque with the front wheel on the ground: the direct share follows the
// steering input; the rest steers the bike to roll towards the lean a full input asks for at
// this speed.
double rider_torque(const Bike* bike, double direct, double steer, double lean, double roll,
                    double speed) {
  const AidSettings& a = bike->aids;
  if (a.direct_steering < 1) {
    const double target_lean = -steer * full_steer_lean(bike, speed);
    double wanted_roll = (target_lean - lean) * kLeanToRollRate;
    const double most = wanted_roll * lean > 0 ? kMostRollIntoLean : kMostRollOutOfLean;
    wanted_roll = clampd(wanted_roll, -most, most);
    const double band_edge =
        wanted_roll - clampd(wanted_roll - roll, -kRollDeadBand, kRollDeadBand);
    const double follow = a.steering_strength * clampd((roll - band_edge) * kRollFollowGain, -1, 1);
    return (direct - follow) * a.direct_steering + follow;
  }
  return direct;
}

// The stability torque of a rider who rammed another bike.
double after_ramming(const Bike* bike, double stability) {
  const int timer = bike->collision_timer;
  if (timer >= 1 && timer <= kRamCapTicks) {
    const double cap =
        kRamFullCap * clampd((kRamCapTicks - timer) / static_cast<double>(kRamCapTicks), 0, 1);
    return clampd(stability, -cap, cap);
  }
  if (timer > kRamCapTicks) {
    return -stability *
           clampd((timer - kRamCapTicks) / static_cast<double>(kRamReversedTicks), 0, 1);
  }
  return stability;
}

// How close the bike is to falling into the turn (0..1): the bars turned into the lean, or
// the front tyre's slip angle against it past a share of the lock: full at an eighth of it
// up to 5 ft/s of front wheel speed, from a quarter to three quarters of it from 15 ft/s on.
double lean_indicator(double lean, double steer_angle, double slip_angle, double wheel_speed,
                      double lock) {
  const double side = lean >= 0 ? 1 : -1;
  const double bars =
      clampd((side * steer_angle - kIndicatorSteerFrom) * kIndicatorSteerScale, 0, 1);
  const double at_speed = clampd((wheel_speed - 5) / 10, 0, 1);
  const double slip_from = 0.25 * at_speed * lock;
  const double slip_span = (0.625 * at_speed + 0.125) * lock - slip_from;
  const double slip =
      slip_span != 0 ? clampd((-side * slip_angle - slip_from) / slip_span, 0, 1) : 0;
  return std::max(bars, slip);
}

}  // namespace

void steering_control(Bike* bike) {
  if (bike->crash_timer > 0) return;
  const AidSettings& a = bike->aids;
  const double wheel_speed = front_ground_speed(bike);  // ft/s
  const double lean = bike_lean(bike);
  const double steer_angle = steering_angle(bike);
  const double slip_angle = front_slip_angle(bike);
  const double steer = bike->controls.steer;
  const double speed = frame_speed(bike);
  const double lock = steering_lock(bike, wheel_speed);
  const TorqueRange range = steering_torque_range(bike, wheel_speed, lock, slip_angle);

  const double direct = a.steering_strength * steer * a.direct_steering;
  double stability = 0, rider = 0;
  const double spin = dJointGetHingeAngleRate(bike->joint[kFrontAxle]);
  if (!on_ground(bike, 0) || std::fabs(spin) < kLightWheelSpin) {
    // A light front wheel: centre the bars, ready to damp the landing harder.
    bike->landing_damping = a.land_damping_factor;
    stability = -kBarCentring * steer_angle;
    rider = (bike->flags & kFlagRiderTorqueInAir) ? direct : 0;
  } else {
    const double roll = roll_rate(bike);
    stability = roll_stability(bike, lean, roll, speed);
    rider = rider_torque(bike, direct, steer, lean, roll, speed);
  }
  stability = after_ramming(bike, stability);

  apply_steering_torque(bike,
                        clampd((stability + rider) * kSteeringGain, range.lower, range.upper));
  bike->lean_indicator = lean_indicator(lean, steer_angle, slip_angle, wheel_speed, lock);
}

double arcade_steering_command(const Bike* bike, double steer) {
  const double sigma = steering_angle(bike);
  const double sigma_rate = dJointGetHingeAngleRate(bike->joint[kSteeringJoint]);
  const double e = (front_slip_angle(bike) - 0.5 * steer) - sigma;
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
  return clampd(command * 0.5, -2.0 / 3, 2.0 / 3);
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

  apply_steering_torque(bike, arcade_steering_command(bike, s) * a.steering_strength);

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
    dabbing =
        sphere_terrain(dBodyGetPosition(bike->body[kRider]), bike->k.rider_position[1] + 1).hit;
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
    // The foot lets the bike roll onto it no faster than pi/8 rad/s, and slower still near
    // upright, where a faster fall would throw the rider over the foot.
    double target_rate = g * pi / 8;
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
