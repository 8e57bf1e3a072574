// state_record.cpp -- a bike's pose packed into 39 bytes, and a bike posed from them.
#include <cstring>
#include <numbers>

#include "sim/bike_internal.h"
#include "sim/record_codes.h"

namespace sim {

namespace {

// The ranges positions are packed over: the loaded field's, or a generous box without one.
struct Ranges {
  double side, low, height;
};

// Heights are packed over the ground's range plus this much above it: a bike rides
// 2 ft above the ground and flies higher off a jump, and on a flat field the range
// alone would be nothing at all.
constexpr double kHeadroom = 32;

Ranges ranges() {
  if (g_terrain.heights && g_terrain.extent > 0) {
    const double h = g_terrain.max_height - g_terrain.min_height;
    return {g_terrain.extent, g_terrain.min_height, std::max(h, 0.0) + kHeadroom};
  }
  return {4096, -512, 1024};
}

void put_quaternion(unsigned char* p, const dReal* q) {
  for (int i = 0; i < 4; ++i) put16(p + 2 * i, record_code(q[i], -1, 1, kCode16));
}

void get_quaternion(const unsigned char* p, dQuaternion q) {
  double l = 0;
  for (int i = 0; i < 4; ++i) {
    q[i] = record_value(get16(p + 2 * i), -1, 1, kCode16);
    l += q[i] * q[i];
  }
  l = std::sqrt(l);
  if (!(l > 0)) {
    q[0] = 1;
    q[1] = q[2] = q[3] = 0;
    return;
  }
  for (int i = 0; i < 4; ++i) q[i] /= l;
}

constexpr unsigned char kCrashedGear = 7;

// What a record says, decoded.
struct Pose {
  V3 frame;
  dQuaternion frame_q;
  double steering, swingarm, fork;
  V3 rider_offset;
  dQuaternion rider_q;
  double wheel_angle[2];
  unsigned char state;
  double rpm;
};

Pose decode(const StateRecord& record, const Bike* bike) {
  using std::numbers::pi;
  const unsigned char* b = record.bytes;
  const Ranges r = ranges();
  Pose p;
  p.frame = {record_value(get24(b), 0, r.side, kCode24),
             record_value(get24(b + 3), r.low, r.low + r.height, kCode24),
             record_value(get24(b + 6), 0, r.side, kCode24)};
  get_quaternion(b + 9, p.frame_q);
  p.steering = record_value(b[17], -pi / 4, pi / 4, kCode8);
  p.swingarm = record_value(b[18] & 0xfe, -bike->k.swingarm_travel, 0, kCode8);
  p.fork = record_value(b[19], -bike->k.fork_travel, 0, kCode8);
  p.rider_offset = {record_value(get16(b + 20), -16, 16, kCode16),
                    record_value(get16(b + 22), -16, 16, kCode16),
                    record_value(get16(b + 24), -16, 16, kCode16)};
  get_quaternion(b + 26, p.rider_q);
  p.wheel_angle[0] = record_value(b[34], -pi, pi, kCode8);
  p.wheel_angle[1] = record_value(b[35], -pi, pi, kCode8);
  p.state = b[36];
  p.rpm = record_value(get16(b + 37), 0, 32768, kCode16);
  return p;
}

// Rotation matrix times vector.
V3 rotate(const dMatrix3 r, V3 v) {
  return {r[0] * v.x + r[1] * v.y + r[2] * v.z, r[4] * v.x + r[5] * v.y + r[6] * v.z,
          r[8] * v.x + r[9] * v.y + r[10] * v.z};
}

void place(dBodyID body, V3 at, const dMatrix3 r) {
  dBodySetPosition(body, at.x, at.y, at.z);
  dBodySetRotation(body, r);
}

// Forward kinematics: every body from the frame's pose and the joint values. The joint
// values use the joints' own sign conventions, so a packed record poses what was packed.
void place_bodies(Bike* bike, const Pose& p) {
  dMatrix3 frame_r;
  dRfromQ(frame_r, p.frame_q);
  const V3 frame_rest = rest_position(bike, kFrame);
  auto world_of = [&](V3 rest_point) { return p.frame + rotate(frame_r, rest_point - frame_rest); };
  place(bike->body[kFrame], p.frame, frame_r);

  // Steering: head and sliders turn about the steering axis through the head.
  const V3 axis_body = v3(bike->fork_axis);
  dMatrix3 turn, head_r;
  dRFromAxisAndAngle(turn, axis_body.x, axis_body.y, axis_body.z, p.steering);
  dMultiply0_333(head_r, frame_r, turn);
  const V3 head_rest = rest_position(bike, kSteeringHead);
  const V3 head_at = world_of(head_rest);
  place(bike->body[kSteeringHead], head_at, head_r);
  auto head_world = [&](V3 rest_point) { return head_at + rotate(head_r, rest_point - head_rest); };
  // The sliders move up the axis as the fork compresses.
  const V3 slide = axis_body * -p.fork;
  const V3 lower_rest = rest_position(bike, kForkLower);
  const V3 lower_at = head_world(lower_rest + slide);
  place(bike->body[kForkLower], lower_at, head_r);
  dMatrix3 spin, wheel_r;
  dRFromAxisAndAngle(spin, 1, 0, 0, -p.wheel_angle[0]);
  dMultiply0_333(wheel_r, head_r, spin);
  place(bike->body[kFrontWheel], head_world(rest_position(bike, kFrontWheel) + slide), wheel_r);

  // Swingarm about its pivot, the rear wheel on it.
  const V3 pivot = vec(bike->k.swingarm_pivot);
  dMatrix3 swing, arm_r;
  dRFromAxisAndAngle(swing, 1, 0, 0, p.swingarm);
  dMultiply0_333(arm_r, frame_r, swing);
  auto arm_world = [&](V3 rest_point) {
    return world_of(pivot) + rotate(arm_r, rest_point - pivot);
  };
  place(bike->body[kSwingarm], arm_world(rest_position(bike, kSwingarm)), arm_r);
  dRFromAxisAndAngle(spin, 1, 0, 0, -p.wheel_angle[1]);
  dMultiply0_333(wheel_r, arm_r, spin);
  place(bike->body[kRearWheel], arm_world(rest_position(bike, kRearWheel)), wheel_r);

  dMatrix3 rider_r;
  dRfromQ(rider_r, p.rider_q);
  place(bike->body[kRider], p.frame + p.rider_offset, rider_r);
}

struct Snapshot {
  V3 at[kBodyParts];
  dQuaternion q[kBodyParts];
};

Snapshot snapshot(const Bike* bike) {
  Snapshot s;
  for (int i = 0; i < kBodyParts; ++i) {
    s.at[i] = position(bike->body[i]);
    const dReal* q = dBodyGetQuaternion(bike->body[i]);
    for (int j = 0; j < 4; ++j) s.q[i][j] = q[j];
  }
  return s;
}

}  // namespace

StateValues state_values(const StateRecord& record) {
  const unsigned char* b = record.bytes;
  const Ranges r = ranges();
  StateValues v;
  v.frame[0] = record_value(get24(b), 0, r.side, kCode24);
  v.frame[1] = record_value(get24(b + 3), r.low, r.low + r.height, kCode24);
  v.frame[2] = record_value(get24(b + 6), 0, r.side, kCode24);
  get_quaternion(b + 9, v.frame_q);
  v.crashed = (b[36] & 7) == kCrashedGear;
  v.gear = v.crashed ? 0 : b[36] & 7;
  v.throttle = v.crashed ? 0 : (b[36] >> 4) / 15.0;
  v.rpm = record_value(get16(b + 37), 0, 32768, kCode16);
  return v;
}

void state_pack(const Bike* bike, StateRecord* record) {
  using std::numbers::pi;
  unsigned char* b = record->bytes;
  std::memset(b, 0, kStateRecordSize);
  const Ranges r = ranges();
  const V3 frame = position(bike->body[kFrame]);
  put24(b, record_code(frame.x, 0, r.side, kCode24));
  put24(b + 3, record_code(frame.y, r.low, r.low + r.height, kCode24));
  put24(b + 6, record_code(frame.z, 0, r.side, kCode24));
  put_quaternion(b + 9, dBodyGetQuaternion(bike->body[kFrame]));
  b[17] = static_cast<unsigned char>(record_code(steering_angle(bike), -pi / 4, pi / 4, kCode8));
  const double travel = bike->k.swingarm_travel;
  b[18] = static_cast<unsigned char>(record_code(swingarm_angle(bike), -travel, 0, kCode8) | 1u);
  b[19] =
      static_cast<unsigned char>(record_code(fork_position(bike), -bike->k.fork_travel, 0, kCode8));
  const V3 offset = position(bike->body[kRider]) - frame;
  put16(b + 20, record_code(offset.x, -16, 16, kCode16));
  put16(b + 22, record_code(offset.y, -16, 16, kCode16));
  put16(b + 24, record_code(offset.z, -16, 16, kCode16));
  put_quaternion(b + 26, dBodyGetQuaternion(bike->body[kRider]));
  b[34] = static_cast<unsigned char>(
      record_code(dJointGetHingeAngle(bike->joint[kFrontAxle]), -pi, pi, kCode8));
  b[35] = static_cast<unsigned char>(
      record_code(dJointGetHingeAngle(bike->joint[kRearAxle]), -pi, pi, kCode8));
  const Controls& c = bike->controls;
  if (bike->crash_timer > 0) {
    const int k = std::min(15, (bike->crash_timer * 15 - 15) / 127);
    b[36] = static_cast<unsigned char>(kCrashedGear | (std::max(k, 0) << 4));
  } else {
    const int throttle = static_cast<int>(clampd(c.throttle, 0, 1) * 15 + 0.5);
    b[36] = static_cast<unsigned char>(std::clamp(c.gear, 0, 6) |
                                       (bike->dab_animation > 0 ? 8 : 0) | (throttle << 4));
  }
  put16(b + 37, record_code(engine_rpm(bike), 0, 32768, kCode16));
}

void bike_pose(Bike* bike, const StateRecord& record, const StateRecord* a, const StateRecord* b,
               int n) {
  const Pose p = decode(record, bike);
  V3 linear[kBodyParts];
  V3 angular[kBodyParts];
  const bool moving = a && b;
  if (moving) {
    const double dt = std::max(n, 1) * kTickSeconds;
    place_bodies(bike, decode(*a, bike));
    const Snapshot before = snapshot(bike);
    place_bodies(bike, decode(*b, bike));
    const Snapshot after = snapshot(bike);
    for (int i = 0; i < kBodyParts; ++i) {
      linear[i] = (after.at[i] - before.at[i]) * (1 / dt);
      // The rotation from a to b as an axis times an angle.
      dQuaternion inverse = {before.q[i][0], -before.q[i][1], -before.q[i][2], -before.q[i][3]};
      dQuaternion d;
      dQMultiply0(d, after.q[i], inverse);
      if (d[0] < 0) {
        for (double& c : d) c = -c;
      }
      const double s = std::sqrt(d[1] * d[1] + d[2] * d[2] + d[3] * d[3]);
      const double angle = 2 * std::atan2(s, d[0]);
      angular[i] = s > 1e-12 ? V3{d[1], d[2], d[3]} * (angle / s / dt) : V3{};
    }
  }
  place_bodies(bike, p);
  for (int i = 0; i < kBodyParts; ++i) {
    const V3 v = moving ? linear[i] : V3{};
    const V3 w = moving ? angular[i] : V3{};
    dBodySetLinearVel(bike->body[i], v.x, v.y, v.z);
    dBodySetAngularVel(bike->body[i], w.x, w.y, w.z);
  }

  const bool crashed = (p.state & 7) == kCrashedGear;
  if (crashed) {
    dJointAttach(bike->joint[kRiderJoint], nullptr, nullptr);
  } else {
    dJointAttach(bike->joint[kRiderJoint], bike->body[kRider], bike->body[kFrame]);
    bike->controls.gear = p.state & 7;
    bike->controls.throttle = static_cast<float>((p.state >> 4) / 15.0);
  }
  bike->engine_speed = p.rpm * std::numbers::pi / 30;

  // Never below the ground: records are coarse and the ground may have changed.
  dBodyID frame = bike->body[kFrame];
  const V3 under = to_world_point(frame, V3{0, -bike->k.frame_underside, 0});
  const double ground = terrain_height(static_cast<float>(under.x), static_cast<float>(under.z));
  if (under.y < ground) bike_translate(bike, 0, ground - under.y, 0);

  if (crashed || (p.state & 8)) {
    bike->dab_animation = std::min(1.0, bike->dab_animation + 8 * kTickSeconds);
  } else {
    bike->dab_animation = std::max(0.0, bike->dab_animation - 8 * kTickSeconds);
  }
}

}  // namespace sim
