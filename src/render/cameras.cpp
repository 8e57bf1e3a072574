// cameras.cpp -- the rider, chase and trackside cameras, and the engine sound's listener.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "race/race.h"
#include "render/render.h"

namespace render {

Listener g_listener;
CameraState g_cameras;

namespace {

constexpr double kDegrees = 0.017453292519943295;  // rad per degree
constexpr double kH = sim::kTickSeconds;           // s, one tick

// Track cameras and the free camera each turn by at most this much acceleration (rad/s^2).
constexpr double kTurnAcceleration = std::numbers::pi;
constexpr double kMaxFeedForward = 2 * std::numbers::pi;  // rad/s

// Free flight (ft/s and ft/s^2).
constexpr double kFlightAcceleration = 80;
constexpr double kFlightDrag = 60;
constexpr double kFlightTopSpeed = 100;
constexpr float kFlightClearance = 2;  // ft above the averaged ground
constexpr float kChaseClearance = 5;
constexpr float kGroundRadius = 10;  // ft, the disc the cameras average the ground over

double wrapped(double a) {
  while (a > std::numbers::pi) a -= 2 * std::numbers::pi;
  while (a < -std::numbers::pi) a += 2 * std::numbers::pi;
  return a;
}

bool same_sign(double a, double b) { return a * b > 0; }

// Moves `rate` towards `target` by at most `step`, never past it.
double approach(double rate, double target, double step) {
  if (rate < target) return std::min(rate + step, target);
  return std::max(rate - step, target);
}

// Column j of an ODE rotation (3x4 row by row).
void rotation_column(const dReal* r, int j, double out[3]) {
  out[0] = r[j];
  out[1] = r[4 + j];
  out[2] = r[8 + j];
}

void set_column(float m[9], int j, const double v[3]) {
  m[j] = static_cast<float>(v[0]);
  m[3 + j] = static_cast<float>(v[1]);
  m[6 + j] = static_cast<float>(v[2]);
}

void copy3(float out[3], const dReal* v) {
  for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(v[i]);
}

// The camera the selection names: a track camera, else the free one.
race::TrackCamera& selected_camera() {
  const int n = static_cast<int>(race::g_track.cameras.size());
  if (g_cameras.selected >= 0 && g_cameras.selected < n) {
    return race::g_track.cameras[static_cast<std::size_t>(g_cameras.selected)];
  }
  return g_cameras.free_camera;
}

Camera rider_view(const CameraInput& in) {
  const dBodyID body = in.watched->body[sim::kRider];
  const double h = in.first_person_height;
  double eye_body[3];
  for (int i = 0; i < 3; ++i)
    eye_body[i] = kRiderEyeLow[i] + h * (kRiderEyeHigh[i] - kRiderEyeLow[i]);
  dVector3 eye;
  dBodyGetRelPointPos(body, eye_body[0], eye_body[1], eye_body[2], eye);
  const dReal* r = dBodyGetRotation(body);
  double x[3], y[3], z[3];
  rotation_column(r, 0, x);
  rotation_column(r, 1, y);
  rotation_column(r, 2, z);
  if (in.print_orientation) {
    std::printf("t=%f p0=%f p1=%f p2=%f x0=%f x1=%f x2=%f z0=%f z1=%f z2=%f\n",
                in.tick * sim::kTickSeconds, eye[0], eye[1], eye[2], x[0], x[1], x[2], z[0], z[1],
                z[2]);
  }
  // Tilting about the camera's x axis dips the view below the rider's forward direction.
  const double a = in.first_person_angle * kDegrees;
  const double c = std::cos(a), s = std::sin(a);
  double y_tilted[3], z_tilted[3];
  for (int i = 0; i < 3; ++i) {
    y_tilted[i] = c * y[i] - s * z[i];
    z_tilted[i] = s * y[i] + c * z[i];
  }
  Camera camera;
  copy3(camera.position, eye);
  set_column(camera.axes, 0, x);
  set_column(camera.axes, 1, y_tilted);
  set_column(camera.axes, 2, z_tilted);
  camera.fov = static_cast<float>(in.fov);
  camera.view_rider = in.watched_slot;
  copy3(g_listener.velocity, dBodyGetLinearVel(body));
  return camera;
}

Camera chase_view(const CameraInput& in) {
  const dBodyID frame = in.watched->body[sim::kFrame];
  const float* centre = in.chase_center;
  dVector3 target;
  dBodyGetRelPointPos(frame, centre[0], centre[1], centre[2], target);

  // b: from the target towards the camera.
  double b[3];
  double distance, height;
  if (in.watched_local) {
    distance = in.third_person_distance;
    height = in.third_person_height;
    double forward[3];
    rotation_column(dBodyGetRotation(frame), 2, forward);
    for (double& f : forward) f = -f;
    const dReal* vel = dBodyGetLinearVel(frame);
    const double v[3] = {vel[0], 0, vel[2]};
    const double speed = std::hypot(v[0], v[2]);
    if (in.rigid_camera) {
      b[0] = -forward[0];
      b[1] = 0;
      b[2] = -forward[2];
    } else if (speed >= 30) {
      for (int i = 0; i < 3; ++i) b[i] = -v[i];
    } else {
      // Between 10 and 30 ft/s the camera swings from behind the heading to behind the
      // direction of travel.
      const double u = std::clamp((speed - 10) / 20, 0.0, 1.0);
      for (int i = 0; i < 3; ++i) b[i] = -(forward[i] + u * (v[i] - forward[i]));
    }
  } else {
    distance = g_cameras.orbit_distance;
    height = g_cameras.orbit_height;
    b[0] = std::sin(g_cameras.orbit_angle);
    b[1] = 0;
    b[2] = std::cos(g_cameras.orbit_angle);
  }
  const double length = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
  if (length > 1e-9) {
    for (double& c : b) c /= length;
  } else {
    b[0] = 0, b[1] = 0, b[2] = 1;  // a frame pointing straight up: any side will do
  }
  // The vertical part of b only shortens the horizontal offset; the height is its own.
  double eye[3];
  eye[0] = target[0] + b[0] * distance;
  eye[2] = target[2] + b[2] * distance;
  eye[1] = std::max<double>(
      terrain_height_around(static_cast<float>(eye[0]), static_cast<float>(eye[2]), kGroundRadius) +
          kChaseClearance,
      target[1] + height);

  double d[3] = {eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]};
  double across = d[0] * d[0] + d[2] * d[2];
  if (across < 1e-12) {
    d[2] = 1e-6;  // straight above the target: look down from just behind it
    across = d[2] * d[2];
  }
  const double d_length = std::sqrt(across + d[1] * d[1]);
  const double across_length = std::sqrt(across);
  const double z[3] = {d[0] / d_length, d[1] / d_length, d[2] / d_length};
  const double x[3] = {d[2] / across_length, 0, -d[0] / across_length};
  double y[3] = {-d[0] * d[1], across, -d[2] * d[1]};
  const double y_length = std::sqrt(y[0] * y[0] + y[1] * y[1] + y[2] * y[2]);
  for (double& c : y) c /= y_length;

  Camera camera;
  for (int i = 0; i < 3; ++i) camera.position[i] = static_cast<float>(eye[i]);
  set_column(camera.axes, 0, x);
  set_column(camera.axes, 1, y);
  set_column(camera.axes, 2, z);
  camera.fov = static_cast<float>(in.fov);
  camera.view_rider = -1;
  copy3(g_listener.velocity, dBodyGetLinearVel(frame));
  return camera;
}

// The rotation matrix of a keyframe's quaternion, its first and third rows negated: the
// axes `yaw_pitch_matrix` gives for the turn the quaternion was made from.
void keyframe_axes(const float q[4], float m[9]) {
  const double x = q[0], y = q[1], z = q[2], w = q[3];
  const double r[9] = {
      1 - 2 * (y * y + z * z), 2 * (x * y - z * w),     2 * (x * z + y * w),
      2 * (x * y + z * w),     1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
      2 * (x * z - y * w),     2 * (y * z + x * w),     1 - 2 * (x * x + y * y),
  };
  for (int i = 0; i < 9; ++i) {
    const int row = i / 3;
    m[i] = static_cast<float>(row == 1 ? r[i] : -r[i]);
  }
}

// The camera path at the current tick: the keyframes around it, blended.
Camera keyframe_view(int tick) {
  const std::vector<CameraKeyframe>& keys = g_cameras.keyframes;
  std::size_t next = 0;
  while (next < keys.size() && keys[next].tick <= tick) ++next;
  Camera camera;
  camera.view_rider = -1;
  if (next == 0 || next == keys.size()) {
    const CameraKeyframe& k = next == 0 ? keys.front() : keys.back();
    for (int i = 0; i < 3; ++i) camera.position[i] = k.position[i];
    keyframe_axes(k.quaternion, camera.axes);
    camera.fov = k.fov;
    return camera;
  }
  const CameraKeyframe& k0 = keys[next - 1];
  const CameraKeyframe& k1 = keys[next];
  const double span = static_cast<double>(k1.tick) - k0.tick;
  const double u = span == 0 ? 0 : std::clamp((tick - k0.tick) / span, 0.0, 1.0);
  for (int i = 0; i < 3; ++i) {
    camera.position[i] = static_cast<float>(k0.position[i] + u * (k1.position[i] - k0.position[i]));
  }
  camera.fov = static_cast<float>(k0.fov + u * (k1.fov - k0.fov));
  // q and -q are the same turn: blend along the shorter way.
  double dot = 0;
  for (int i = 0; i < 4; ++i) dot += static_cast<double>(k0.quaternion[i]) * k1.quaternion[i];
  const double sign = dot < 0 ? -1 : 1;
  double q[4], norm = 0;
  for (int i = 0; i < 4; ++i) {
    q[i] = sign * k0.quaternion[i] + u * (k1.quaternion[i] - sign * k0.quaternion[i]);
    norm += q[i] * q[i];
  }
  norm = std::sqrt(norm);
  float qf[4] = {0, 0, 0, 1};
  if (norm > 1e-12) {
    for (int i = 0; i < 4; ++i) qf[i] = static_cast<float>(q[i] / norm);
  }
  keyframe_axes(qf, camera.axes);
  return camera;
}

Camera trackside_view(int tick) {
  if (g_cameras.keyframe_mode && !g_cameras.keyframes.empty()) return keyframe_view(tick);
  const race::TrackCamera& c = selected_camera();
  Camera camera;
  camera.position[0] = c.x;
  camera.position[1] = c.y;
  camera.position[2] = c.z;
  yaw_pitch_matrix(c.yaw, c.pitch, camera.axes);
  camera.fov = c.fov;
  camera.view_rider = -1;
  for (float& v : g_listener.velocity) v = 0;
  return camera;
}

void orbit_tick(const CameraControls& controls) {
  g_cameras.orbit_angle = static_cast<float>(
      wrapped(g_cameras.orbit_angle + controls.steer * (std::numbers::pi / 512)));
  if (controls.throttle > 0.5f) {
    g_cameras.orbit_distance = std::max(g_cameras.orbit_distance - 1.0f / 64, 0.25f);
  }
  if (controls.front_brake > 0.5f) g_cameras.orbit_distance += 1.0f / 64;
  g_cameras.orbit_height += static_cast<float>(kH * controls.shift);
}

// Turns the selected camera: after the watched bike while tracking, else by the controls.
void aim_tick(const CameraControls& controls, const sim::Bike* bike, bool paused, bool switched) {
  race::TrackCamera& c = selected_camera();
  double yaw0 = c.yaw, pitch0 = c.pitch;
  double yaw_target, pitch_target;
  const dReal* p = sim::body_position(bike, sim::kFrame);
  if (g_cameras.tracking) {
    const dReal* vel = dBodyGetLinearVel(bike->body[sim::kFrame]);
    double v[3] = {vel[0], vel[1], vel[2]};
    if (paused) v[0] = v[1] = v[2] = 0;
    const double dx = p[0] - c.x, dy = p[1] - c.y, dz = p[2] - c.z;
    const double nx = dx + kH * v[0], ny = dy + kH * v[1], nz = dz + kH * v[2];
    const double bearing = std::atan2(dx, dz);
    const double bearing_next = std::atan2(nx, nz);
    const double yaw_feed =
        std::clamp(wrapped(bearing_next - bearing) / kH, -kMaxFeedForward, kMaxFeedForward);
    if (switched) yaw0 = bearing;
    const double yaw_error =
        std::clamp(wrapped(bearing - yaw0), -std::numbers::pi / 2, std::numbers::pi / 2);
    yaw_target = yaw_error + (same_sign(yaw_feed, yaw_error) ? yaw_feed : 0);
    const double elevation = std::atan2(dy, std::hypot(dx, dz));
    const double elevation_next = std::atan2(ny, std::hypot(nx, nz));
    const double pitch_feed =
        std::clamp((elevation_next - elevation) / kH, -kMaxFeedForward, kMaxFeedForward);
    if (switched) pitch0 = elevation;
    const double pitch_error = elevation - pitch0;
    pitch_target = (same_sign(pitch_feed, pitch_error) ? pitch_feed : 0) +
                   pitch_error * (std::numbers::pi / 4);
  } else {
    yaw_target = controls.steer * (3 * std::numbers::pi / 8);
    pitch_target = controls.shift * (std::numbers::pi / 4);
  }
  if (switched) {
    c.yaw_rate = static_cast<float>(yaw_target);
    c.pitch_rate = static_cast<float>(pitch_target);
  } else {
    c.yaw_rate = static_cast<float>(approach(c.yaw_rate, yaw_target, kH * kTurnAcceleration));
    c.pitch_rate = static_cast<float>(approach(c.pitch_rate, pitch_target, kH * kTurnAcceleration));
  }
  c.yaw = static_cast<float>(wrapped(yaw0 + kH * c.yaw_rate));
  c.pitch = static_cast<float>(
      std::clamp(pitch0 + kH * c.pitch_rate, -std::numbers::pi / 2, std::numbers::pi / 2));

  if (g_cameras.tracking && c.auto_fov_size > 0) {
    const double d = std::sqrt((p[0] - c.x) * (p[0] - c.x) + (p[1] - c.y) * (p[1] - c.y) +
                               (p[2] - c.z) * (p[2] - c.z));
    // The whole auto-fov size fills twice the angle it subtends, in degrees.
    const double fov = std::atan2(c.auto_fov_size, d) * 114.59155902616465;
    if (switched) {
      c.fov = static_cast<float>(fov);
    } else {
      const double delta = c.fov - fov;
      const double step = kH * (2 * std::fabs(delta) + 1);
      c.fov = static_cast<float>(delta >= 0 ? fov + std::max(delta - step, 0.0)
                                            : fov + std::min(delta + step, 0.0));
    }
  }
}

void free_flight_tick(const CameraControls& controls, double fov) {
  race::TrackCamera& c = g_cameras.free_camera;
  double speed = g_cameras.free_speed;
  if (controls.throttle > 0.5f) {
    speed = std::min(speed + kFlightAcceleration * kH, kFlightTopSpeed);
  }
  if (controls.front_brake > 0.5f) {
    speed = std::max(speed - kFlightAcceleration * kH, -kFlightTopSpeed);
  }
  speed = approach(speed, 0, kFlightDrag * kH);
  g_cameras.free_speed = static_cast<float>(speed);
  if (std::fabs(speed) > 0.0001) {
    const double step = speed * kH;
    c.x += static_cast<float>(step * std::sin(c.yaw) * std::cos(c.pitch));
    c.y += static_cast<float>(step * std::sin(c.pitch));
    c.z += static_cast<float>(step * std::cos(c.yaw) * std::cos(c.pitch));
    c.y = std::max(c.y, terrain_height_around(c.x, c.z, kGroundRadius) + kFlightClearance);
  }
  c.fov = static_cast<float>(fov);
}

void trackside_tick(const CameraControls& controls, const CameraInput& in) {
  const bool dab_held = controls.dab >= 0.5f;
  if (dab_held && !g_cameras.dab_held) g_cameras.tracking = !g_cameras.tracking;
  g_cameras.dab_held = dab_held;

  bool switched = false;
  if (g_cameras.tracking && g_cameras.selected != -1) {
    const int camera = sequence_camera(in.watched_sequence_position);
    if (camera != -1 && camera != g_cameras.selected) {
      g_cameras.selected = camera;
      switched = true;
    }
  }
  aim_tick(controls, in.watched, in.paused, switched);
  free_flight_tick(controls, in.fov);
}

}  // namespace

void yaw_pitch_matrix(float yaw, float pitch, float m[9]) {
  const double cy = std::cos(yaw), sy = std::sin(yaw);
  const double cp = std::cos(pitch), sp = std::sin(pitch);
  const double x[3] = {-cy, 0, sy};
  const double y[3] = {-sp * sy, cp, -sp * cy};
  const double z[3] = {-cp * sy, -sp, -cp * cy};
  set_column(m, 0, x);
  set_column(m, 1, y);
  set_column(m, 2, z);
}

float terrain_height_around(float x, float z, float r) {
  const sim::HeightField& field = sim::g_terrain;
  const int n = field.points_per_side;
  if (n <= 0 || field.spacing <= 0 || !field.heights) return sim::terrain_height(x, z);
  const double s = field.spacing;
  const int i0 = static_cast<int>(std::floor((x - r) / s));
  const int i1 = static_cast<int>(std::ceil((x + r) / s));
  const int j0 = static_cast<int>(std::floor((z - r) / s));
  const int j1 = static_cast<int>(std::ceil((z + r) / s));
  auto sample = [&](int i, int j) {
    return field.heights[std::clamp(j, 0, n - 1) * n + std::clamp(i, 0, n - 1)];
  };
  const double inner = static_cast<double>(r) * r;
  const double outer = (r + s) * (r + s);
  double sum = 0, weights = 0;
  for (int j = j0; j <= j1; ++j) {
    for (int i = i0; i <= i1; ++i) {
      const double dx = i * s - x, dz = j * s - z;
      const double d2 = dx * dx + dz * dz;
      // Full weight inside the disc, fading to none one grid step beyond its edge.
      double w = 0;
      if (d2 < inner) {
        w = 1;
      } else if (d2 < outer) {
        w = (r + s - std::sqrt(d2)) / s;
      }
      sum += w * sample(i, j);
      weights += w;
    }
  }
  if (weights == 0) return sample(i0, j0);
  return static_cast<float>(sum / weights);
}

int sequence_camera(int position) {
  const race::Track& track = race::g_track;
  const int first = track.first_lap_length;
  const int normal = track.normal_lap_length;
  if (position < 0) return -1;
  std::size_t entry;
  if (position < first) {
    entry = static_cast<std::size_t>(position);
  } else if (normal > 0) {
    entry = static_cast<std::size_t>(first + (position - first) % normal);
  } else {
    return -1;
  }
  if (entry >= track.lap_sequences.size()) return -1;
  int checkpoint = track.lap_sequences[entry];
  if (checkpoint >= race::kSilentGateBase) checkpoint -= race::kSilentGateBase;
  if (checkpoint < 0 || checkpoint >= race::kCheckpointCameraSlots) return -1;
  const int camera = track.checkpoint_camera[static_cast<std::size_t>(checkpoint)];
  if (camera < 0 || camera >= static_cast<int>(track.cameras.size())) return -1;
  return camera;
}

void camera_update_tick(int view, const CameraInput& in, const CameraControls& controls) {
  if (!in.watched) return;
  if (view == kViewChase) {
    orbit_tick(controls);
  } else if (view == kViewTrackCamera) {
    trackside_tick(controls, in);
  }
}

Camera camera_for_view(int view, const CameraInput& in) {
  Camera camera;
  if (in.watched && view == kViewRider) {
    camera = rider_view(in);
  } else if (in.watched && view == kViewChase) {
    camera = chase_view(in);
  } else {
    camera = trackside_view(in.tick);
  }
  for (int i = 0; i < 3; ++i) {
    g_listener.position[i] = camera.position[i];
    g_listener.right[i] = camera.axes[3 * i];
  }
  return camera;
}

void cameras_race_setup(const sim::Bike* bike) {
  if (!bike) return;
  const dReal* p = sim::body_position(bike, sim::kFrame);
  g_cameras.free_camera.x = static_cast<float>(p[0]);
  g_cameras.free_camera.y = static_cast<float>(p[1] + 5);
  g_cameras.free_camera.z = static_cast<float>(p[2]);
}

void select_track_camera(int digit) {
  const int count = static_cast<int>(race::g_track.cameras.size());
  g_cameras.selected = std::clamp(digit, 0, count) - 1;
}

void add_camera_keyframe(double fov, int tick) {
  const race::TrackCamera& c = g_cameras.free_camera;
  const double cy = std::cos(c.yaw / 2), sy = std::sin(c.yaw / 2);
  const double cp = std::cos(c.pitch / 2), sp = std::sin(c.pitch / 2);
  CameraKeyframe k;
  k.position[0] = c.x;
  k.position[1] = c.y;
  k.position[2] = c.z;
  // The yaw about y after the pitch about x.
  k.quaternion[0] = static_cast<float>(cy * sp);
  k.quaternion[1] = static_cast<float>(sy * cp);
  k.quaternion[2] = static_cast<float>(-sy * sp);
  k.quaternion[3] = static_cast<float>(cy * cp);
  k.fov = static_cast<float>(fov);
  k.tick = tick;
  g_cameras.keyframes.push_back(k);
}

}  // namespace render
