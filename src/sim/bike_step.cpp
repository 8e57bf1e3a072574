// bike_step.cpp -- one tick of a bike's own forces: suspension, the rider's body springs,
// steering, the drivetrain, brakes, crashing and getting back on.
#include <cstring>
#include <numbers>

#include "sim/bike_internal.h"

namespace sim {

namespace {

constexpr double kMassScale = 0.21333333333333335;

double wrap_angle(double a) {
  if (!std::isfinite(a)) return 0;
  a = std::remainder(a, 2 * std::numbers::pi);
  return a;
}

double curve(const float* table, double rpm) {
  const double x = clampd(rpm * (1.0 / kTorqueRpmStep), 0, kTorquePoints - 1);
  const int i = std::min(static_cast<int>(x), kTorquePoints - 2);
  const double f = x - i;
  return table[i] + (table[i + 1] - table[i]) * f;
}

void fork_force(Bike* bike) {
  dJointID fork = bike->joint[kForkJoint];
  const double force =
      fork_force_lbf(bike, dJointGetSliderPosition(fork), dJointGetSliderPositionRate(fork));
  // The motor extends the fork with at most the spring's force.
  dJointSetSliderParam(fork, dParamVel, force >= 0 ? 100 : 0);
  dJointSetSliderParam(fork, dParamFMax, std::fabs(force));
}

void shock_torque(Bike* bike) {
  dJointID pivot = bike->joint[kSwingarmPivot];
  const double theta = dJointGetHingeAngle(pivot);
  const double omega = dJointGetHingeAngleRate(pivot);
  const double travel = bike->k.swingarm_travel;
  const double q = -theta / travel;
  const double a = bike->k.linkage_top, b = bike->k.linkage_bottom;
  const double u = (b - a) / travel * q;
  const double s = a * q + q * u / 2;
  const double leverage = a + u;
  const double e = -omega * (omega >= 0 ? bike->shock_rebound : bike->shock_compression);
  const double torque =
      (leverage * (s + bike->shock_preload) * bike->shock_spring_rate + leverage * leverage * e) *
      clampd(32 * q, 0, 1);
  dJointSetHingeParam(pivot, dParamVel, torque >= 0 ? 100 : 0);
  dJointSetHingeParam(pivot, dParamFMax, std::fabs(torque));
}

void rider_springs(Bike* bike) {
  dBodyID frame = bike->body[kFrame], rider = bike->body[kRider];
  const V3 rest_offset = rest_position(bike, kRider) - rest_position(bike, kFrame);
  const V3 rest = to_world_point(frame, rest_offset);
  const V3 at = position(rider);
  const V3 d = rest - at;
  const V3 y = to_world_vector(frame, V3{0, 1, 0});
  const V3 z = to_world_vector(frame, V3{0, 0, 1});
  const double dy = dot(d, y), dz = dot(d, z);
  const double m = bike->k.rider_mass * kMassScale;
  const Controls& c = bike->controls;

  const double target = clampd(dy * (0.5 + 0.5 * c.dab) - c.lean, -0.75, 0.75);
  const double ez = dz - target;
  double kp, kd;
  if (dz >= -0.75 && dz <= 0.75) {
    kp = (600 * bike->rider_zspring + 100 * std::fabs(ez)) * m;
    kd = 0;
  } else {
    kp = kd = 2500 * m;
  }
  if (kp > 0 && ez != 0) soft_push(rider, frame, at, ez > 0 ? z : -z, std::fabs(ez), kp, kd);

  const double ey = dy + 0.125 - 0.5 * c.dab;
  if (dy >= -0.75 && dy <= 0.5) {
    kp = 400 * bike->rider_yspring * m;
    kd = 100 * bike->rider_ydamping * m;
  } else {
    kp = kd = 2500 * m;
  }
  if (kp > 0 && ey != 0) soft_push(rider, frame, at, ey > 0 ? y : -y, std::fabs(ey), kp, kd);

  dJointSetHinge2Param(bike->joint[kRiderJoint], dParamSuspensionERP, 0);
  dJointSetHinge2Param(bike->joint[kRiderJoint], dParamSuspensionCFM,
                       1 / (m * (30 * bike->rider_zdamping + 5)));
}

void drivetrain(Bike* bike) {
  const BikeConstants& k = bike->k;
  Controls& c = bike->controls;
  const double ratio = k.gear_ratios[std::clamp(c.gear, 0, kMaxGears - 1)];
  const double g = ratio * k.primary_ratio * bike->final_ratio;
  const double rpm = bike->engine_speed * kRadPerSecToRpm;

  const double closed = curve(k.closed_throttle_torque, rpm);
  const double full = curve(k.full_throttle_torque, rpm);
  double engine = closed + (full - closed) * c.throttle;
  if (engine > 0 && wheelie_stopper_cuts_drive(bike)) engine = 0;

  dJointID axle = bike->joint[kRearAxle];
  const double phi = dJointGetHingeAngle(axle);
  const double wind_up = wrap_angle(bike->engine_angle - phi);
  const double wheel_rate = dJointGetHingeAngleRate(axle);

  const double auto_rpm = bike->aids.auto_clutch_rpms;
  const double automatic = rpm > auto_rpm + 2000
                               ? c.clutch
                               : std::min<double>(clampd((rpm - auto_rpm) / 2000, 0, 1), c.clutch);

  if (!(g > 0)) {
    // Neutral (or a gear without a ratio): the engine runs free.
    bike->engine_speed += kTickSeconds * engine / k.engine_inertia;
    bike->engine_speed = std::max(bike->engine_speed, 0.0);
    bike->engine_angle = wrap_angle(phi);
    return;
  }
  double x = clampd((bike->engine_speed - wheel_rate * g) * k.driveline_damping, -500, 500) +
             wind_up * k.driveline_stiffness;
  x = clampd(x, -1000000, 1000000);
  const double engagement = x >= 0 ? automatic : c.clutch;
  // The clutch slips once the driveline winds up past what its engagement holds.
  const double hold = engagement * std::numbers::pi / 4;
  if (wind_up > hold) bike->engine_angle = wrap_angle(phi + hold);
  if (wind_up < -hold) bike->engine_angle = wrap_angle(phi - hold);

  const double transmitted = engagement * engagement * x;
  dBodyAddRelTorque(bike->body[kRearWheel], -transmitted, 0, 0);
  dBodyAddRelTorque(bike->body[kFrame], transmitted, 0, 0);

  bike->engine_speed += kTickSeconds * (engine - transmitted / g) / k.engine_inertia;
  if (!std::isfinite(bike->engine_speed)) bike->engine_speed = 0;
  bike->engine_angle = wrap_angle(bike->engine_angle + kTickSeconds * bike->engine_speed / g);
}

void brakes(Bike* bike) {
  double front = 0, rear = 0;
  brake_torques(bike, &front, &rear);
  dJointSetHingeParam(bike->joint[kFrontAxle], dParamVel, 0);
  dJointSetHingeParam(bike->joint[kFrontAxle], dParamFMax, front);
  dJointSetHingeParam(bike->joint[kRearAxle], dParamVel, 0);
  dJointSetHingeParam(bike->joint[kRearAxle], dParamFMax, rear);
}

void steering_damping(Bike* bike) {
  dBodyID wheel = bike->body[kFrontWheel];
  const V3 w = angular_velocity(wheel);
  const V3 a = to_world_vector(wheel, V3{1, 0, 0});
  const V3 t = (a * dot(w, a) - w) * bike->aids.steering_damping;
  dBodyAddTorque(wheel, t.x, t.y, t.z);
  dBodyAddTorque(bike->body[kFrame], -t.x, -t.y, -t.z);
}

// The bike's own joints must never push the whole bike: whatever their forces add up to
// (drift of the joint anchors, mostly) is taken back off the frame.
void cancel_internal_forces(Bike* bike) {
  if (bike->ticks_stepped < 1 || bike->crash_timer > 0) return;
  const V3 c = position(bike->body[kFrame]);
  V3 force, torque;
  for (int j = 0; j < kBikeJoints; ++j) {
    dJointID joint = bike->joint[j];
    dBodyID b1 = dJointGetBody(joint, 0), b2 = dJointGetBody(joint, 1);
    if (!b1 || !b2) return;
    const dJointFeedback& f = bike->joint_feedback[j];
    const V3 f1 = v3(f.f1), f2 = v3(f.f2);
    force = force + f1 + f2;
    torque =
        torque + v3(f.t1) + v3(f.t2) + cross(position(b1) - c, f1) + cross(position(b2) - c, f2);
  }
  dBodyAddForce(bike->body[kFrame], -force.x, -force.y, -force.z);
  dBodyAddTorque(bike->body[kFrame], -torque.x, -torque.y, -torque.z);
}

V3 hand_point(const Bike* bike, bool left) {
  const float* h = bike->info->contacts.hand;
  return to_world_point(bike->body[kRider], V3{left ? -h[0] : h[0], h[1], h[2]});
}

V3 handlebar_point(const Bike* bike, bool left) {
  const float* h = bike->info->contacts.handlebar;
  return to_world_point(bike->body[kSteeringHead], V3{left ? -h[0] : h[0], h[1], h[2]});
}

// The rider's shape against the frame's and the steering head's while tumbling.
void rider_against_bike(Bike* bike) {
  const Shape& rider = bike->shape[kRider];
  for (BodyPart part : {kFrame, kSteeringHead}) {
    const Shape& other = bike->shape[part];
    for (const ShapeSphere& s : rider.spheres) {
      const V3 p = to_world_point(bike->body[kRider], V3{s.centre.x, s.centre.y, s.centre.z});
      for (const ShapeSphere& t : other.spheres) {
        const V3 q = to_world_point(bike->body[part], V3{t.centre.x, t.centre.y, t.centre.z});
        const V3 d = p - q;
        const double l = length(d);
        const double depth = s.radius + t.radius - l;
        if (depth > 0 && l > 1e-9) {
          soft_push(bike->body[kRider], bike->body[part], q + d * (t.radius / l), d * (1 / l),
                    depth, 2500, 250);
        }
      }
    }
  }
}

void recover(Bike* bike) {
  const double reach =
      5 * clampd((bike->crash_timer - kTicksPerSecond) / (3.0 * kTicksPerSecond), 0, 1);
  dBodyID frame = bike->body[kFrame], rider = bike->body[kRider];
  const V3 rest = rest_position(bike, kRider) - rest_position(bike, kFrame);
  tether(frame, to_world_point(frame, rest), rider, position(rider), reach);
  for (double side : {-5.0, 5.0}) {
    tether(frame, to_world_point(frame, rest + V3{side, 10, 0}), rider,
           to_world_point(rider, V3{side, 10, 0}), reach);
  }
}

void put_rider_back(Bike* bike) {
  dBodyID frame = bike->body[kFrame], rider = bike->body[kRider];
  const V3 rest = to_world_point(frame, rest_position(bike, kRider) - rest_position(bike, kFrame));
  dBodySetPosition(rider, rest.x, rest.y, rest.z);
  dBodySetRotation(rider, dBodyGetRotation(frame));
  const V3 v = point_velocity(frame, rest);
  dBodySetLinearVel(rider, v.x, v.y, v.z);
  const V3 w = angular_velocity(frame);
  dBodySetAngularVel(rider, w.x, w.y, w.z);
  attach_rider(bike);
  // The joint's last feedback dates from before the crash; it must not be cancelled now.
  std::memset(&bike->joint_feedback[kRiderJoint], 0, sizeof bike->joint_feedback[kRiderJoint]);
}

void detect_crash(Bike* bike) {
  if (bike->crash_timer > 0 || bike->collision_timer < 0) return;
  dBodyID rider = bike->body[kRider];
  const V3 at = position(rider);
  const V3 v = velocity(rider);
  const V3 carried = point_velocity(bike->body[kFrame], at);
  if (length2(v - carried) > 961) {
    crash_bike(bike);
    return;
  }
  if (bike->ticks_stepped >= 4) {
    const V3 before = v3(bike->rider_velocity[g_sim.tick & 3]);
    const V3 accel = (v - before) * (0.25 / kTickSeconds) + V3{0, 32, 0};
    if (length2(accel) > 1893376) crash_bike(bike);
  }
}

void handle_crash(Bike* bike) {
  if (bike->crash_timer <= 0) return;
  dBodyID rider = bike->body[kRider];
  if (length2(velocity(rider)) >= 4) {
    const float* reach = bike->k.arm_reach;
    const double arm = 0.875 * (reach[0] + reach[1]);
    for (bool left : {false, true}) {
      tether(rider, hand_point(bike, left), bike->body[kSteeringHead], handlebar_point(bike, left),
             arm);
    }
    if (bike->crash_timer > 511) {
      const RiderContacts& c = bike->info->contacts;
      const V3 from = to_world_point(rider, vec(c.rider_tether));
      const V3 to =
          to_world_point(bike->body[kSteeringHead], vec(c.steering_tether) + V3{0, 0, 10});
      tether(rider, from, bike->body[kSteeringHead], to, 8);
      rider_against_bike(bike);
    }
  } else {
    --bike->crash_timer;
  }
  if (bike->crash_timer <= 511 && bike->crash_timer > 0) recover(bike);
  if (bike->crash_timer <= 0) {
    bike->crash_timer = 0;
    put_rider_back(bike);
  }
}

}  // namespace

double fork_force_lbf(const Bike* bike, double x, double v) {
  const double c = -x;
  const double travel = bike->k.fork_travel;
  const double damping = v * (v >= 0 ? bike->fork_rebound : bike->fork_compression);
  const double spring = (bike->fork_preload - x) * bike->fork_spring_rate - damping;
  const double oil = bike->fork_oil_level;
  // The air above the oil compresses adiabatically.
  const double air =
      82.46169 * std::pow((travel + oil) / (travel + oil - std::min(c, travel)), 1.4) - 82.46169;
  // The force fades in over the first 1/32 of the travel.
  return c >= 0 ? (air + spring) * std::min(1.0, 32 * c / travel) : 0;
}

void crash_bike(Bike* bike) {
  dJointAttach(bike->joint[kRiderJoint], nullptr, nullptr);
  const int extra = g_sim.extra_crash_ticks[std::min(bike->crash_count, 15)];
  ++bike->crash_count;
  bike->crash_timer = 512 + std::max(extra, 0);
  Controls& c = bike->controls;
  c.throttle = 0;
  c.dab = 0;
  c.back_up = 0;
  c.lean = 0;
}

void apply_steering_torque(Bike* bike, double torque) {
  bike->last_steer_torque = torque;
  const V3 axis = to_world_vector(bike->body[kFrame], v3(bike->fork_axis)) * torque;
  dBodyAddTorque(bike->body[kFrontWheel], axis.x, axis.y, axis.z);
  dBodyAddTorque(bike->body[kFrame], -axis.x, -axis.y, -axis.z);
}

void bike_step(Bike* bike) {
  // A replayed bike's engine, crash and foot come from its records (bike_pose).
  if (bike->presence > 0.25f && !bike->replayed) {
    if (bike->collision_timer > 1) {
      --bike->collision_timer;
    } else if (bike->collision_timer < -1) {
      ++bike->collision_timer;
    } else {
      bike->collision_timer = 0;
    }
    detect_crash(bike);
    handle_crash(bike);

    Controls& c = bike->controls;
    const float saved_dab = c.dab, saved_front = c.front_brake, saved_rear = c.rear_brake;
    back_up_and_auto_dab(bike);
    rider_springs(bike);
    fork_force(bike);
    shock_torque(bike);
    if (bike->flags & kFlagArcade) {
      arcade_control(bike);
    } else {
      steering_control(bike);
    }
    automatic_shift(bike);
    drivetrain(bike);
    brakes(bike);
    steering_damping(bike);
    cancel_internal_forces(bike);
    foot_dab_and_realign(bike);
    c.dab = saved_dab;
    c.front_brake = saved_front;
    c.rear_brake = saved_rear;
  }
  const V3 v = velocity(bike->body[kRider]);
  dReal* slot = bike->rider_velocity[g_sim.tick & 3];
  slot[0] = v.x;
  slot[1] = v.y;
  slot[2] = v.z;
  if (bike->replayed) {
    ++bike->ticks_stepped;
    return;
  }
  const double dab_target = (bike->crash_timer > 0 || bike->controls.dab > 0) ? 1 : 0;
  bike->dab_animation = dab_target > bike->dab_animation
                            ? std::min(1.0, bike->dab_animation + 8 * kTickSeconds)
                            : std::max(0.0, bike->dab_animation - 8 * kTickSeconds);
  ++bike->ticks_stepped;
}

double engine_torque(const Bike* bike) {
  const double rpm = bike->engine_speed * kRadPerSecToRpm;
  const double closed = curve(bike->k.closed_throttle_torque, rpm);
  const double full = curve(bike->k.full_throttle_torque, rpm);
  return closed + (full - closed) * bike->controls.throttle;
}

}  // namespace sim
