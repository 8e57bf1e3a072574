// bike.cpp -- a bike and its rider as seven bodies and six joints: creation, reset, placing,
// contacts, the readers and the setters.
#include <cstring>
#include <numbers>

#include "sim/bike_internal.h"

namespace sim {

RacingLineHeading g_racing_line_heading = nullptr;

namespace {

void set_wheel_mass(dMass* mass, const WheelInfo& w) {
  dMassSetSphereTotal(mass, w.hub_mass, w.hub_radius);
  // The tyre and rim as sixteen spheres round the axle: a torus for mass as for contact.
  for (int i = 0; i < 16; ++i) {
    const double angle = i * std::numbers::pi / 8;
    dMass ball;
    dMassSetSphereTotal(&ball, w.tyre_mass / 16, w.tube_radius);
    dMassTranslate(&ball, 0, w.ring_radius * std::cos(angle), w.ring_radius * std::sin(angle));
    dMassAdd(mass, &ball);
  }
}

void set_fork_mass(dMass* mass, const BikeConstants& k) {
  dMass leg;
  const double radius = k.fork_width / 8;
  const double length = k.fork_length * 2 / 3;
  dMassSetCylinderTotal(mass, k.fork_mass / 2, 3, radius, length);
  dMassTranslate(mass, k.fork_width / 2, 0, 0);
  dMassSetCylinderTotal(&leg, k.fork_mass / 2, 3, radius, length);
  dMassTranslate(&leg, -k.fork_width / 2, 0, 0);
  dMassAdd(mass, &leg);
  const double dy = k.fork_lower_position[1] - k.steering_head_position[1];
  const double dz = k.fork_lower_position[2] - k.steering_head_position[2];
  dMatrix3 r;
  dRFromAxisAndAngle(r, 1, 0, 0, std::atan(dz / dy));
  dMassRotate(mass, r);
}

void set_swingarm_mass(dMass* mass, const BikeConstants& k) {
  const double w = k.frame_size[0];
  const double dy = k.rear_wheel_position[1] - k.swingarm_pivot[1];
  const double dz = k.rear_wheel_position[2] - k.swingarm_pivot[2];
  const double arm = std::sqrt(dy * dy + dz * dz);
  dMass side;
  dMassSetBoxTotal(mass, k.swingarm_mass, w / 4, w / 4, arm);
  dMassTranslate(mass, w / 2, 0, 0);
  dMassSetBoxTotal(&side, k.swingarm_mass, w / 4, w / 4, arm);
  dMassTranslate(&side, -w / 2, 0, 0);
  dMassAdd(mass, &side);
  dMatrix3 r;
  dRFromAxisAndAngle(r, 1, 0, 0, -std::atan(dy / dz));
  dMassRotate(mass, r);
}

void set_frame_mass(Bike* bike) {
  dMass mass;
  const BikeConstants& k = bike->k;
  dMassSetBoxTotal(&mass, k.frame_mass + (1 - bike->rider_mass_distribution) * k.rider_mass,
                   k.frame_size[0], k.frame_size[1], k.frame_size[2]);
  dBodySetMass(bike->body[kFrame], &mass);
  dMass rider;
  dMassSetSphereTotal(&rider, bike->rider_mass_distribution * k.rider_mass, 1);
  dBodySetMass(bike->body[kRider], &rider);
}

double mass_of(dBodyID body) {
  dMass m;
  dBodyGetMass(body, &m);
  return m.mass;
}

void load_shape(Bike* bike, BodyPart part, BikeFile file) {
  const char* name = bike->info->files[file];
  if (name && *name) shape_load(name, bike->shape[part]);
}

double mid(const float range[2]) { return 0.5 * (range[0] + range[1]); }

}  // namespace

void attach_rider(Bike* bike) {
  const BikeConstants& k = bike->k;
  dJointAttach(bike->joint[kRiderJoint], bike->body[kRider], bike->body[kFrame]);
  // The anchor lies 50 ft ahead, so the rider moves up and down on a long, nearly straight arc.
  const V3 anchor = to_world_point(bike->body[kFrame],
                                   V3{0, k.rider_position[1], -50} - rest_position(bike, kFrame));
  dJointSetHinge2Anchor(bike->joint[kRiderJoint], anchor.x, anchor.y, anchor.z);
  const V3 axis1 = to_world_vector(bike->body[kFrame], normalized(V3{0, 1, 1}));
  const V3 axis2 = to_world_vector(bike->body[kFrame], V3{1, 0, 0});
  const dReal a1[3] = {axis1.x, axis1.y, axis1.z};
  const dReal a2[3] = {axis2.x, axis2.y, axis2.z};
  dJointSetHinge2Axes(bike->joint[kRiderJoint], a1, a2);
  dJointSetHinge2Param(bike->joint[kRiderJoint], dParamLoStop, 0);
  dJointSetHinge2Param(bike->joint[kRiderJoint], dParamHiStop, 0);
  dJointSetFeedback(bike->joint[kRiderJoint], &bike->joint_feedback[kRiderJoint]);
}

namespace {

void make_joints(Bike* bike) {
  const BikeConstants& k = bike->k;
  dWorldID world = physics_world();
  dBodyID* b = bike->body;
  dJointID* j = bike->joint;
  auto hinge = [&](BikeJoint which, dBodyID b1, dBodyID b2, V3 anchor, V3 axis) {
    j[which] = dJointCreateHinge(world, nullptr);
    dJointAttach(j[which], b1, b2);
    dJointSetHingeAnchor(j[which], anchor.x, anchor.y, anchor.z);
    dJointSetHingeAxis(j[which], axis.x, axis.y, axis.z);
    dJointSetFeedback(j[which], &bike->joint_feedback[which]);
  };
  const V3 fork_axis = vec(k.steering_head_position) - vec(k.fork_lower_position);
  hinge(kFrontAxle, b[kForkLower], b[kFrontWheel], vec(k.front_wheel_position), V3{1, 0, 0});
  hinge(kRearAxle, b[kSwingarm], b[kRearWheel], vec(k.rear_wheel_position), V3{1, 0, 0});
  hinge(kSteeringJoint, b[kSteeringHead], b[kFrame], vec(k.steering_head_position), fork_axis);
  dJointSetHingeParam(j[kSteeringJoint], dParamLoStop, -std::numbers::pi / 4);
  dJointSetHingeParam(j[kSteeringJoint], dParamHiStop, std::numbers::pi / 4);
  hinge(kSwingarmPivot, b[kSwingarm], b[kFrame], vec(k.swingarm_pivot), V3{1, 0, 0});
  dJointSetHingeParam(j[kSwingarmPivot], dParamLoStop, -k.swingarm_travel);
  dJointSetHingeParam(j[kSwingarmPivot], dParamHiStop, 0);
  dJointSetHingeParam(j[kSwingarmPivot], dParamBounce, 0);

  j[kForkJoint] = dJointCreateSlider(world, nullptr);
  dJointAttach(j[kForkJoint], b[kSteeringHead], b[kForkLower]);
  dJointSetSliderAxis(j[kForkJoint], fork_axis.x, fork_axis.y, fork_axis.z);
  dJointSetSliderParam(j[kForkJoint], dParamLoStop, -k.fork_travel);
  dJointSetSliderParam(j[kForkJoint], dParamHiStop, 0);
  dJointSetSliderParam(j[kForkJoint], dParamBounce, 0);
  dJointSetFeedback(j[kForkJoint], &bike->joint_feedback[kForkJoint]);

  j[kRiderJoint] = dJointCreateHinge2(world, nullptr);
  attach_rider(bike);
}

// Every body at its rest pose relative to the frame's current pose.
void pose_at_rest(Bike* bike, const V3& frame_at, const dReal* rotation) {
  const V3 frame_rest = rest_position(bike, kFrame);
  for (int part = 0; part < kBodyParts; ++part) {
    const V3 offset = rest_position(bike, part) - frame_rest;
    const V3 world = V3{rotation[0] * offset.x + rotation[1] * offset.y + rotation[2] * offset.z,
                        rotation[4] * offset.x + rotation[5] * offset.y + rotation[6] * offset.z,
                        rotation[8] * offset.x + rotation[9] * offset.y + rotation[10] * offset.z};
    dBodySetPosition(bike->body[part], frame_at.x + world.x, frame_at.y + world.y,
                     frame_at.z + world.z);
    dBodySetRotation(bike->body[part], rotation);
  }
}

}  // namespace

dJointID soft_contact(dBodyID a, dBodyID b, V3 point, V3 normal, double depth, double mu, double kp,
                      double kd, int extra_mode) {
  dContact contact;
  std::memset(&contact, 0, sizeof contact);
  contact.surface.mode = dContactSoftERP | dContactSoftCFM | extra_mode;
  contact.surface.mu = mu;
  contact.surface.soft_erp = soft_erp(kp, kd);
  contact.surface.soft_cfm = soft_cfm(kp, kd);
  contact.geom.pos[0] = point.x;
  contact.geom.pos[1] = point.y;
  contact.geom.pos[2] = point.z;
  contact.geom.normal[0] = normal.x;
  contact.geom.normal[1] = normal.y;
  contact.geom.normal[2] = normal.z;
  contact.geom.depth = depth;
  dJointID joint = dJointCreateContact(physics_world(), contact_group(), &contact);
  dJointAttach(joint, a, b);
  return joint;
}

void soft_push(dBodyID a, dBodyID b, V3 point, V3 normal, double depth, double kp, double kd) {
  soft_contact(a, b, point, normal, depth, 0, kp, kd, 0);
}

void tether(dBodyID a, V3 p, dBodyID b, V3 q, double max_length) {
  const V3 d = q - p;
  const double l = length(d);
  if (!(l > max_length) || !(l > 0)) return;
  soft_push(a, b, p, d * (1 / l), l - max_length, 5000, 500);
}

Bike* bike_create(const BikeInfo* info, int slot, const char* number) {
  Bike* bike = new Bike;
  bike->info = info;
  bike->k = info->constants;
  bike->slot = slot;
  bike->number = number ? number : "";
  const BikeConstants& k = bike->k;
  dWorldID world = physics_world();
  for (int part = 0; part < kBodyParts; ++part) bike->body[part] = dBodyCreate(world);

  set_frame_mass(bike);
  dMass mass;
  set_wheel_mass(&mass, k.front_wheel);
  dBodySetMass(bike->body[kFrontWheel], &mass);
  set_wheel_mass(&mass, k.rear_wheel);
  dBodySetMass(bike->body[kRearWheel], &mass);
  set_fork_mass(&mass, k);
  dBodySetMass(bike->body[kSteeringHead], &mass);
  dBodySetMass(bike->body[kForkLower], &mass);
  set_swingarm_mass(&mass, k);
  dBodySetMass(bike->body[kSwingarm], &mass);
  dBodySetFiniteRotationMode(bike->body[kFrontWheel], 1);
  dBodySetFiniteRotationMode(bike->body[kRearWheel], 1);

  const V3 axis = normalized(vec(k.steering_head_position) - vec(k.fork_lower_position));
  bike->fork_axis[0] = axis.x;
  bike->fork_axis[1] = axis.y;
  bike->fork_axis[2] = axis.z;

  for (int part = 0; part < kBodyParts; ++part) {
    const V3 p = rest_position(bike, part);
    dBodySetPosition(bike->body[part], p.x, p.y, p.z);
  }
  make_joints(bike);

  const WheelInfo* wheels[2] = {&k.front_wheel, &k.rear_wheel};
  for (int w = 0; w < 2; ++w) {
    bike->wheel[w].body = bike->body[w == 0 ? kFrontWheel : kRearWheel];
    bike->wheel[w].ring_radius = wheels[w]->ring_radius;
    bike->wheel[w].tube_radius = wheels[w]->tube_radius;
  }
  load_shape(bike, kFrame, kFrameShape);
  load_shape(bike, kSteeringHead, kForkUpperShape);
  load_shape(bike, kForkLower, kForkLowerShape);
  load_shape(bike, kSwingarm, kSwingarmShape);
  load_shape(bike, kFrontWheel, kFrontWheelShape);
  load_shape(bike, kRearWheel, kRearWheelShape);
  load_shape(bike, kRider, kRiderShape);

  // The adjustments at the middle of their ranges until the mechanic hands over a setup.
  bike->final_ratio = k.rear_sprocket_teeth / k.countershaft_teeth;
  bike->fork_compression = k.fork_compression;
  bike->fork_rebound = k.fork_rebound;
  bike->fork_spring_rate = mid(k.fork_spring_rate);
  bike->fork_preload = mid(k.fork_preload);
  bike->fork_oil_level = mid(k.fork_oil_level);
  bike->shock_compression = k.shock_compression;
  bike->shock_rebound = k.shock_rebound;
  bike->shock_spring_rate = mid(k.shock_spring_rate);
  bike->shock_preload = mid(k.shock_preload);

  bike->total_mass = 0;
  for (int part = 0; part < kBodyParts; ++part) bike->total_mass += mass_of(bike->body[part]);
  bike_reset(bike);
  return bike;
}

void bike_destroy(Bike* bike) {
  if (!bike) return;
  for (dJointID joint : bike->joint) {
    if (joint) dJointDestroy(joint);
  }
  for (dBodyID body : bike->body) {
    if (body) dBodyDestroy(body);
  }
  delete bike;
}

void bike_reset(Bike* bike) {
  const V3 frame = rest_position(bike, kFrame);
  dMatrix3 identity;
  dRSetIdentity(identity);
  pose_at_rest(bike, frame, identity);
  for (dBodyID body : bike->body) {
    dBodySetLinearVel(body, 0, 0, 0);
    dBodySetAngularVel(body, 0, 0, 0);
    dBodySetForce(body, 0, 0, 0);
    dBodySetTorque(body, 0, 0, 0);
    dBodyEnable(body);
  }
  attach_rider(bike);
  const int gear = 0;
  bike->controls = Controls{};
  bike->controls.gear = gear;
  bike->engine_speed = bike->k.idle_rpm / kRadPerSecToRpm;
  bike->engine_angle = 0;
  bike->crash_timer = 0;
  bike->collision_timer = 0;
  bike->collision_tick = -1;
  bike->dab_extension = 0;
  bike->dab_animation = 0;
  bike->landing_damping = 1;
  std::memset(bike->rider_velocity, 0, sizeof bike->rider_velocity);
  bike->lean_indicator = 0;
  bike->realign_done = false;
  bike->ticks_stepped = 0;
  for (WheelContact& w : bike->wheel) {
    w.depth = 0;
    w.has_feedback = false;
    std::memset(&w.feedback, 0, sizeof w.feedback);
  }
  std::memset(bike->joint_feedback, 0, sizeof bike->joint_feedback);
  bike->erosion_read = bike->erosion_write = 0;
}

void bike_translate(Bike* bike, double dx, double dy, double dz) {
  for (dBodyID body : bike->body) {
    const dReal* p = dBodyGetPosition(body);
    dBodySetPosition(body, p[0] + dx, p[1] + dy, p[2] + dz);
  }
}

void bike_rotate_yaw(Bike* bike, double yaw) {
  dMatrix3 turn;
  dRFromAxisAndAngle(turn, 0, 1, 0, yaw);
  const V3 centre = position(bike->body[kFrame]);
  for (dBodyID body : bike->body) {
    const V3 p = position(body) - centre;
    const V3 q{turn[0] * p.x + turn[1] * p.y + turn[2] * p.z,
               turn[4] * p.x + turn[5] * p.y + turn[6] * p.z,
               turn[8] * p.x + turn[9] * p.y + turn[10] * p.z};
    dBodySetPosition(body, centre.x + q.x, centre.y + q.y, centre.z + q.z);
    dMatrix3 r;
    dMultiply0_333(r, turn, dBodyGetRotation(body));
    dBodySetRotation(body, r);
    const V3 v = velocity(body);
    dBodySetLinearVel(body, turn[0] * v.x + turn[1] * v.y + turn[2] * v.z,
                      turn[4] * v.x + turn[5] * v.y + turn[6] * v.z,
                      turn[8] * v.x + turn[9] * v.y + turn[10] * v.z);
    const V3 w = angular_velocity(body);
    dBodySetAngularVel(body, turn[0] * w.x + turn[1] * w.y + turn[2] * w.z,
                       turn[4] * w.x + turn[5] * w.y + turn[6] * w.z,
                       turn[8] * w.x + turn[9] * w.y + turn[10] * w.z);
  }
  if (bike->crash_timer == 0) attach_rider(bike);
}

void bike_place(Bike* bike) {
  bike_translate(bike, 0, 0.125, 0);
  // A bike buried under a cliff still ends: 4096 raises are 1024 ft.
  for (int i = 0; i < 4096 && bike_collide(bike); ++i) {
    dJointGroupEmpty(contact_group());
    bike_translate(bike, 0, 0.25, 0);
  }
  dJointGroupEmpty(contact_group());
  bike_translate(bike, 0, -0.125, 0);
  for (WheelContact& w : bike->wheel) w.depth = 0;
}

bool bike_collide(Bike* bike) {
  double friction = 1;
  if (bike->flags & kFlagArcade) {
    friction = 1 - 0.375 * clampd(4 * std::fabs(bike_lean(bike)) / std::numbers::pi, 0, 1);
  }
  bool touching = wheel_contact(bike, 0, friction);
  touching = wheel_contact(bike, 1, friction) || touching;
  static constexpr BodyPart kShaped[] = {kFrame, kSteeringHead, kForkLower, kSwingarm};
  for (BodyPart part : kShaped) {
    touching = shape_contacts(bike->shape[part], bike->body[part]) || touching;
  }
  const bool rider_touches = shape_contacts(bike->shape[kRider], bike->body[kRider]);
  touching = rider_touches || touching;
  // A rider sliding on the ground upside down has fallen off.
  if (rider_touches && bike->crash_timer == 0 && bike->collision_timer >= 0) {
    const dReal* r = dBodyGetRotation(bike->body[kRider]);
    if (r[5] < 0 && length2(velocity(bike->body[kRider])) > 25) crash_bike(bike);
  }
  return touching;
}

const dReal* body_position(const Bike* bike, BodyPart part) {
  return dBodyGetPosition(bike->body[part]);
}

double frame_speed(const Bike* bike) { return length(velocity(bike->body[kFrame])); }

double lean_angle(dBodyID body) {
  const V3 up = to_world_vector(body, V3{0, 1, 0});
  const V3 forward = to_world_vector(body, V3{0, 0, -1});
  const double h = std::sqrt(forward.x * forward.x + forward.z * forward.z);
  if (!(h > 0)) return 0;
  const V3 side{-forward.z / h, 0, forward.x / h};
  return std::acos(clampd(dot(up, side), -1, 1)) - std::numbers::pi / 2;
}

double bike_lean(const Bike* bike) { return lean_angle(bike->body[kFrame]); }

double engine_rpm(const Bike* bike) { return bike->engine_speed * kRadPerSecToRpm; }

bool bike_crashed(const Bike* bike) { return bike->crash_timer > 0; }

double fork_position(const Bike* bike) { return dJointGetSliderPosition(bike->joint[kForkJoint]); }

double swingarm_angle(const Bike* bike) { return dJointGetHingeAngle(bike->joint[kSwingarmPivot]); }

double steering_angle(const Bike* bike) { return dJointGetHingeAngle(bike->joint[kSteeringJoint]); }

double front_slip_angle(const Bike* bike) {
  dBodyID head = bike->body[kSteeringHead];
  const V3 v = to_body_vector(head, velocity(bike->body[kFrontWheel]));
  const V3 axis = v3(bike->fork_axis);
  // Backwards along the bike, square to the steering axis.
  const V3 back = normalized(V3{0, 0, 1} - axis * axis.z);
  const double lateral = v.x;
  const double along = dot(v, back);
  if (!(lateral * lateral + along * along > 1)) return 0;
  return -std::atan2(lateral, -along);
}

// --- Setters ---------------------------------------------------------------

namespace {

struct AidRange {
  double AidSettings::*field;
  double low, high;
};

const AidRange kAidRanges[] = {
    {&AidSettings::roll_damping, 0, 100},
    {&AidSettings::leveling, 0, 100},
    {&AidSettings::roll_limit_factor, 0, 64},
    {&AidSettings::roll_limit_angle, 0, std::numbers::pi},
    {&AidSettings::steering_damping, 0, 100},
    {&AidSettings::steering_strength, 0, 100},
    {&AidSettings::max_steering_force, 0, 1000},
    {&AidSettings::direct_steering, 0, 1},
    {&AidSettings::slow_damping_speed, 0, 100},
    {&AidSettings::slow_damping_factor, 1, 10},
    {&AidSettings::land_damping_falloff, 0, 0.5},
    {&AidSettings::land_damping_factor, 1, 3},
    {&AidSettings::auto_clutch_rpms, 0, 5000},
    {&AidSettings::brake_torque, 0, 500},
    {&AidSettings::rear_brake_torque, 0, 500},
    {&AidSettings::max_dab_speed, 7, 100},
    {&AidSettings::full_lock_speed, 1, 100},
    {&AidSettings::restricted_lock_speed, 1, 100},
    {&AidSettings::restricted_lock, 0, std::numbers::pi / 4},
};

double clamp_noting(Bike* bike, double value, double low, double high) {
  const double slack = (high - low) / 8;
  if (!(value >= low - slack && value <= high + slack)) bike->out_of_range = true;
  if (!(value == value)) return low;
  return clampd(value, low, high);
}

double unit(double v) { return v == v ? clampd(v, 0, 1) : 0; }
double signed_unit(double v) { return v == v ? clampd(v, -1, 1) : 0; }

}  // namespace

void bike_set_aid(Bike* bike, double AidSettings::*field, double value) {
  for (const AidRange& range : kAidRanges) {
    if (range.field == field) {
      bike->aids.*field = clamp_noting(bike, value, range.low, range.high);
      return;
    }
  }
}

void bike_set_flag(Bike* bike, unsigned flag, bool on) {
  bike->flags = on ? (bike->flags | flag) : (bike->flags & ~flag);
}

void bike_set_wheelie_stopper(Bike* bike, int mode) {
  bike->flags &= ~(kFlagWheelieStopEngine | kFlagWheelieStopBrake);
  bike->flags |= (static_cast<unsigned>(mode) & 3u) << 1;
}

void bike_set_rider_mass_distribution(Bike* bike, double share) {
  bike->rider_mass_distribution = clamp_noting(bike, share, 0.33, 0.5);
  set_frame_mass(bike);
  bike->total_mass = 0;
  for (int part = 0; part < kBodyParts; ++part) bike->total_mass += mass_of(bike->body[part]);
}

void bike_set_sprockets(Bike* bike, double front_adjust, double rear_adjust) {
  const double front = std::max(3.0, bike->k.countershaft_teeth + clampd(front_adjust, -2, 2));
  const double rear = std::max(3.0, bike->k.rear_sprocket_teeth + clampd(rear_adjust, -2, 2));
  bike->final_ratio = rear / front;
}

void set_throttle(Bike* bike, double v) {
  bike->controls.throttle = bike_crashed(bike) ? 0 : static_cast<float>(unit(v));
}
void set_front_brake(Bike* bike, double v) {
  bike->controls.front_brake = static_cast<float>(unit(v));
}
void set_rear_brake(Bike* bike, double v) {
  bike->controls.rear_brake = static_cast<float>(unit(v));
}
void set_dab(Bike* bike, double v) {
  bike->controls.dab = bike_crashed(bike) ? 0 : static_cast<float>(unit(v));
}
void set_back_up(Bike* bike, double v) {
  bike->controls.back_up = bike_crashed(bike) ? 0 : static_cast<float>(unit(v));
}
void set_steer(Bike* bike, double v) { bike->controls.steer = static_cast<float>(signed_unit(v)); }
void set_lean(Bike* bike, double v) {
  bike->controls.lean = bike_crashed(bike) ? 0 : static_cast<float>(signed_unit(v));
}
void set_clutch(Bike* bike, double v) { bike->controls.clutch = static_cast<float>(unit(v)); }

void shift(Bike* bike, int request) {
  Controls& c = bike->controls;
  request = request > 0 ? 1 : (request < 0 ? -1 : 0);
  if (request != 0 && request != c.last_shift && !bike_crashed(bike)) {
    c.gear = lowest_usable_gear(bike, std::clamp(c.gear + request, 0, 5));
  }
  c.last_shift = request;
}

int lowest_usable_gear(const Bike* bike, int gear) {
  while (gear > 0 && !(bike->k.gear_ratios[gear] > 0)) --gear;
  return gear;
}

}  // namespace sim
