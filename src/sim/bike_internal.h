// bike_internal.h -- small vector helpers and the pieces the bike's files share.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/sim.h"

namespace sim {

constexpr double kRadPerSecToRpm = 30 / std::numbers::pi;

struct V3 {
  double x = 0, y = 0, z = 0;
};

inline V3 v3(const dReal* p) { return {p[0], p[1], p[2]}; }
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator-(V3 a) { return {-a.x, -a.y, -a.z}; }
inline V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline V3 operator*(double s, V3 a) { return a * s; }
inline double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length2(V3 a) { return dot(a, a); }
inline double length(V3 a) { return std::sqrt(dot(a, a)); }
inline V3 normalized(V3 a) {
  const double l = length(a);
  return l > 0 ? a * (1 / l) : V3{};
}
inline double clampd(double v, double lo, double hi) { return std::min(std::max(v, lo), hi); }

// A body's axis or point between its own and world coordinates.
inline V3 to_world_vector(dBodyID body, V3 v) {
  dVector3 out;
  dBodyVectorToWorld(body, v.x, v.y, v.z, out);
  return v3(out);
}
inline V3 to_body_vector(dBodyID body, V3 v) {
  dVector3 out;
  dBodyVectorFromWorld(body, v.x, v.y, v.z, out);
  return v3(out);
}
inline V3 to_world_point(dBodyID body, V3 p) {
  dVector3 out;
  dBodyGetRelPointPos(body, p.x, p.y, p.z, out);
  return v3(out);
}
inline V3 point_velocity(dBodyID body, V3 p) {
  dVector3 out;
  dBodyGetPointVel(body, p.x, p.y, p.z, out);
  return v3(out);
}
inline V3 position(dBodyID body) { return v3(dBodyGetPosition(body)); }
inline V3 velocity(dBodyID body) { return v3(dBodyGetLinearVel(body)); }
inline V3 angular_velocity(dBodyID body) { return v3(dBodyGetAngularVel(body)); }

inline V3 vec(const float* p) { return {p[0], p[1], p[2]}; }

// Rest position of a body part, in the catalogue's coordinates.
inline V3 rest_position(const Bike* bike, int part) {
  const BikeConstants& k = bike->k;
  switch (part) {
    case kFrame:
      return vec(k.frame_position);
    case kFrontWheel:
      return vec(k.front_wheel_position);
    case kRearWheel:
      return vec(k.rear_wheel_position);
    case kSteeringHead:
      return vec(k.steering_head_position);
    case kForkLower:
      return vec(k.fork_lower_position);
    case kSwingarm:
      return vec(k.swingarm_position);
    default:
      return vec(k.rider_position);
  }
}

// Soft-contact parameters from a spring and a damper.
inline double soft_erp(double kp, double kd) {
  return kTickSeconds * kp / (kTickSeconds * kp + kd);
}
inline double soft_cfm(double kp, double kd) { return 1 / (kTickSeconds * kp + kd); }

// A soft contact joint between two bodies (b may be 0, the world) at `point`, pushing `a`
// along `normal` by `depth`, with friction `mu` and ODE mode bits beyond the softness.
dJointID soft_contact(dBodyID a, dBodyID b, V3 point, V3 normal, double depth, double mu, double kp,
                      double kd, int extra_mode);
// A frictionless soft contact between two bodies (b may be 0, the world) at `point`
// pushing `a` along `normal` by `depth`.
void soft_push(dBodyID a, dBodyID b, V3 point, V3 normal, double depth, double kp, double kd);
// Pulls point p of body a and point q of body b together when they are further apart than
// `max_length`.
void tether(dBodyID a, V3 p, dBodyID b, V3 q, double max_length);

// The riding aids' parts of the bike step (bike_aids.cpp).
void steering_control(Bike* bike);
void arcade_control(Bike* bike);
void back_up_and_auto_dab(Bike* bike);
void automatic_shift(Bike* bike);
void foot_dab_and_realign(Bike* bike);
// The brake torques after antilock and the wheelie stopper.
void brake_torques(const Bike* bike, double* front, double* rear);
// The steering actuator: torque S about the fork axis between front wheel and frame.
void apply_steering_torque(Bike* bike, double torque);
// The engine torque may be cut by the wheelie stopper.
bool wheelie_stopper_cuts_drive(const Bike* bike);
// Friction of the surface under the frame at no slip, at least 1/8.
double friction_under_frame(const Bike* bike);
// Velocity-tracking horizontal force on the frame towards `target` (world x, z).
void hold_frame_velocity(Bike* bike, double target_x, double target_z, double strength);
// The frame's roll rate about its own z axis (rad/s, > 0 rolling to the left).
double roll_rate(const Bike* bike);

}  // namespace sim

namespace sim {
// Joins the rider to the frame where both are now.
void attach_rider(Bike* bike);
// The fork's force (lbf) at slider position x (<= 0) moving at v (ft/s).
double fork_force_lbf(const Bike* bike, double x, double v);
// The steering lock (rad) the realistic controller allows at a front-wheel ground speed.
double steering_lock(const Bike* bike, double front_speed);
// Tyre contact spring and damper at a sinkage (depth / tube radius, 0..1).
void tyre_stiffness(double sinkage, double* kp, double* kd);
// Throws the rider off: detaches the rider joint and starts the crash timer.
void crash_bike(Bike* bike);
// The gear itself, or the highest lower gear with a positive ratio.
int lowest_usable_gear(const Bike* bike, int gear);
}  // namespace sim
