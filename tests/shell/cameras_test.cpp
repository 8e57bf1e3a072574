// cameras_test.cpp -- the rider, chase and trackside cameras, free flight, keyframes and the
// averaged ground under the cameras.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "../sim/terrain_fixtures.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/frame_loop.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/startup.h"

namespace {

constexpr double kH = sim::kTickSeconds;

struct Vec {
  double x = 0, y = 0, z = 0;
};

Vec column(const float m[9], int j) { return {m[j], m[3 + j], m[6 + j]}; }
double dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(const Vec& a, const Vec& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

void expect_rotation(const float m[9], const char* what) {
  const Vec x = column(m, 0), y = column(m, 1), z = column(m, 2);
  EXPECT_NEAR(dot(x, x), 1, 1e-5) << what;
  EXPECT_NEAR(dot(y, y), 1, 1e-5) << what;
  EXPECT_NEAR(dot(z, z), 1, 1e-5) << what;
  EXPECT_NEAR(dot(x, y), 0, 1e-5) << what;
  EXPECT_NEAR(dot(y, z), 0, 1e-5) << what;
  EXPECT_NEAR(dot(x, z), 0, 1e-5) << what;
  EXPECT_NEAR(dot(cross(x, y), z), 1, 1e-5) << what;  // right-handed, no mirror
}

void expect_same_axes(const float a[9], const float b[9], const char* what) {
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(a[i], b[i], 1e-5) << what << " element " << i;
}

// The control inputs of one tick.
struct Controls {
  float in[shell::kControlInputs] = {};
  Controls& set(int input, float value) {
    in[input] = value;
    return *this;
  }
};

void run_ticks(int view, const Controls& controls, int ticks) {
  for (int i = 0; i < ticks; ++i)
    render::camera_update_tick(view, shell::camera_input(), shell::camera_controls(controls.in));
}

void reset_cameras() {
  render::g_cameras = render::CameraState{};
  render::g_listener = render::Listener{};
  shell::g_startup.print_orientation = false;
}

}  // namespace

// The yaw-pitch orientation is a rotation whose view (-z) points along
// (sin yaw cos pitch, sin pitch, cos yaw cos pitch); a keyframe made by addkey turns the
// camera exactly the same way.
TEST(Cameras, YawPitchMatrixAndAddkeyAgree) {
  reset_cameras();
  shell::g_race = shell::RaceDriver{};  // no bikes: the trackside view
  shell::g_settings = shell::default_settings();
  const struct {
    float yaw, pitch;
  } cases[] = {{0, 0}, {1.2f, 0.3f}, {-2.9f, -1.1f}, {3.1f, 1.5f}, {-0.4f, 0.8f}};
  for (const auto& c : cases) {
    const std::string what = std::to_string(c.yaw) + "," + std::to_string(c.pitch);
    float m[9];
    render::yaw_pitch_matrix(c.yaw, c.pitch, m);
    expect_rotation(m, what.c_str());
    const Vec view = column(m, 2);
    EXPECT_NEAR(-view.x, std::sin(c.yaw) * std::cos(c.pitch), 1e-6) << what;
    EXPECT_NEAR(-view.y, std::sin(c.pitch), 1e-6) << what;
    EXPECT_NEAR(-view.z, std::cos(c.yaw) * std::cos(c.pitch), 1e-6) << what;
    EXPECT_NEAR(column(m, 0).y, 0, 1e-7) << what;  // no roll

    render::g_cameras.keyframes.clear();
    render::g_cameras.keyframe_mode = true;
    render::g_cameras.free_camera.x = 4;
    render::g_cameras.free_camera.y = 5;
    render::g_cameras.free_camera.z = 6;
    render::g_cameras.free_camera.yaw = c.yaw;
    render::g_cameras.free_camera.pitch = c.pitch;
    shell::g_settings.fov.value = 65;
    sim::g_sim.tick = 300;
    render::add_camera_keyframe(shell::g_settings.fov.value, sim::g_sim.tick);
    ASSERT_EQ(render::g_cameras.keyframes.size(), 1u);
    const render::CameraKeyframe& k = render::g_cameras.keyframes[0];
    EXPECT_EQ(k.tick, 300);
    EXPECT_EQ(k.fov, 65);
    const render::Camera camera =
        render::camera_for_view(render::kViewTrackCamera, shell::camera_input());
    expect_same_axes(camera.axes, m, what.c_str());
    EXPECT_EQ(camera.position[0], 4);
    EXPECT_EQ(camera.position[2], 6);
    EXPECT_EQ(camera.fov, 65);
  }
  reset_cameras();
}

// Between two keyframes the path blends position, fov and turn; before the first and after
// the last it holds them. A quaternion of the opposite sign is the same turn and blends the
// short way.
TEST(Cameras, KeyframePathBlendsNeighbours) {
  reset_cameras();
  shell::g_race = shell::RaceDriver{};
  shell::g_settings = shell::default_settings();
  render::g_cameras.keyframe_mode = true;
  auto add = [](int tick, float x, float yaw, float fov) {
    render::g_cameras.free_camera.x = x;
    render::g_cameras.free_camera.y = 2 * x;
    render::g_cameras.free_camera.yaw = yaw;
    shell::g_settings.fov.value = fov;
    sim::g_sim.tick = tick;
    render::add_camera_keyframe(shell::g_settings.fov.value, sim::g_sim.tick);
  };
  add(100, 0, 0, 60);
  add(200, 10, 1.5f, 100);

  render::g_listener.velocity[0] = 7;  // the path leaves the listener's velocity alone
  const struct {
    int tick;
    float x, yaw, fov;
  } cases[] = {{50, 0, 0, 60},      {100, 0, 0, 60},      {150, 5, 0.75f, 80},
               {175, 7.5f, -1, 90}, {200, 10, 1.5f, 100}, {400, 10, 1.5f, 100}};
  for (int flipped = 0; flipped < 2; ++flipped) {
    if (flipped) {
      for (float& q : render::g_cameras.keyframes[1].quaternion) q = -q;
    }
    for (const auto& c : cases) {
      sim::g_sim.tick = c.tick;
      const render::Camera camera =
          render::camera_for_view(render::kViewTrackCamera, shell::camera_input());
      const std::string what = std::to_string(c.tick) + (flipped ? " flipped" : "");
      EXPECT_NEAR(camera.position[0], c.x, 1e-5) << what;
      EXPECT_NEAR(camera.position[1], 2 * c.x, 1e-5) << what;
      EXPECT_NEAR(camera.fov, c.fov, 1e-4) << what;
      expect_rotation(camera.axes, what.c_str());
      if (c.yaw >= 0) {  // a blend of two yaws about one axis is halfway only at u = 1/2
        float m[9];
        render::yaw_pitch_matrix(c.yaw, 0, m);
        expect_same_axes(camera.axes, m, what.c_str());
      }
      EXPECT_EQ(camera.view_rider, -1);
    }
  }
  EXPECT_EQ(render::g_listener.velocity[0], 7);

  // Keyframes sharing a tick: the path goes on from the later of them.
  render::g_cameras.keyframes.clear();
  add(100, 0, 0, 60);
  add(100, 10, 0, 100);
  add(300, 20, 0, 120);
  sim::g_sim.tick = 200;
  EXPECT_NEAR(render::camera_for_view(render::kViewTrackCamera, shell::camera_input()).position[0],
              15, 1e-5);

  // Keyframe mode off: the selected camera again, standing still for the listener.
  render::g_cameras.keyframe_mode = false;
  render::g_cameras.free_camera.x = -3;
  EXPECT_EQ(render::camera_for_view(render::kViewTrackCamera, shell::camera_input()).position[0],
            -3);
  EXPECT_EQ(render::g_listener.velocity[0], 0);
  reset_cameras();
}

// The ground under a camera: full weight inside the disc, fading over one grid step beyond
// it, samples past the edge of the field clamped to it.
TEST(Cameras, TerrainHeightAroundWeighsADisc) {
  ASSERT_TRUE(sim::terrain_create(2, 4.0f));  // 9 x 9 points, 4 ft apart
  sim::HeightField& field = sim::g_terrain;
  const int n = field.points_per_side;
  ASSERT_EQ(n, 9);
  auto fill = [&](auto height) {
    for (int iz = 0; iz < n; ++iz) {
      for (int ix = 0; ix < n; ++ix) field.heights[iz * n + ix] = height(ix, iz);
    }
    sim::terrain_refresh();
  };
  // One raised point beside the centre: the centre and its four neighbours weigh 1 (the
  // neighbours lie on the disc's edge), the diagonals 2 - sqrt 2.
  fill([](int ix, int iz) { return ix == 5 && iz == 4 ? 10.0f : 0.0f; });
  EXPECT_NEAR(render::terrain_height_around(16, 16, 4), 10 / (5 + 4 * (2 - std::sqrt(2.0))), 1e-5);
  // A small disc: the neighbours fade in at an eighth, the diagonals are too far.
  EXPECT_NEAR(render::terrain_height_around(16, 16, 0.5f), 10 * 0.125 / 1.5, 1e-5);

  fill([](int ix, int) { return static_cast<float>(ix); });  // a slope along x, 1 ft a point
  const struct {
    float x, z, r, height;
  } cases[] = {
      {16, 16, 6, 4},     // symmetric about a grid point: the slope's own height
      {16, 16, 20, 4},    // a disc reaching past the grid on both sides
      {-100, 16, 10, 0},  // beyond the edge the edge continues
      {200, 30, 10, 8},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(render::terrain_height_around(c.x, c.z, c.r), c.height, 1e-5) << c.x << "," << c.r;
  }
  fill([](int, int) { return 3.0f; });
  EXPECT_NEAR(render::terrain_height_around(13.3f, 7.9f, 10), 3, 1e-5);
  sim::terrain_free();
}

// Digit 0 selects the free camera; a digit beyond the count the last track camera.
TEST(Cameras, DigitsSelectTrackCameras) {
  reset_cameras();
  const struct {
    int count, digit, selected;
  } cases[] = {{3, 0, -1}, {3, 1, 0}, {3, 3, 2}, {3, 9, 2}, {0, 4, -1}, {0, 0, -1}};
  for (const auto& c : cases) {
    race::g_track.cameras.assign(static_cast<std::size_t>(c.count), race::TrackCamera{});
    render::select_track_camera(c.digit);
    EXPECT_EQ(render::g_cameras.selected, c.selected) << c.count << " cameras, digit " << c.digit;
  }
  race::g_track.cameras.clear();
  reset_cameras();
}

// A sequence position names a checkpoint through the lap sequences (the first lap once,
// then the normal lap over and over, with 100000 taken off the entries that carry it); the
// checkpoint's table entry names the camera.
TEST(Cameras, SequencePositionsMapToTheirCheckpointCamera) {
  race::Track& track = race::g_track;
  track.cameras.assign(3, race::TrackCamera{});
  track.checkpoint_camera.fill(-1);
  track.lap_sequences = {100001, 3, 100002, 4};
  track.first_lap_length = 2;
  track.normal_lap_length = 2;
  track.checkpoint_camera[1] = 0;
  track.checkpoint_camera[2] = 1;
  track.checkpoint_camera[4] = 2;
  const struct {
    int position, camera;
  } cases[] = {{0, 0}, {1, -1}, {2, 1}, {3, 2}, {4, 1}, {7, 2}, {-1, -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(render::sequence_camera(c.position), c.camera) << c.position;
  }
  track.checkpoint_camera[4] = 5;  // a table entry past the camera list names none
  EXPECT_EQ(render::sequence_camera(3), -1);
  track.normal_lap_length = 0;  // no normal lap: nothing past the first
  EXPECT_EQ(render::sequence_camera(0), 0);
  EXPECT_EQ(render::sequence_camera(2), -1);
  track = race::Track{};
}

namespace {

// A race on a flat 64 ft practice field: the first rider stands at (32, ~2, 32) facing -z.
class CamerasRaceTest : public terrain_fixtures::TerrainFilesTest {
 protected:
  void SetUp() override {
    TerrainFilesTest::SetUp();
    shell::g_settings = shell::default_settings();
    shell::g_rider_setup = shell::default_rider_setup();
    shell::g_race = shell::RaceDriver{};
    reset_cameras();
    write_track(terrain_fixtures::track_with(2, 8.0f, 0, 10, std::vector<std::uint16_t>(81, 0)),
                "practice");
    shell::g_settings.track = "practice";
  }
  void TearDown() override {
    shell::free_bikes();
    race::track_free();
    reset_cameras();
    TerrainFilesTest::TearDown();
  }
  // A race whose first slot holds the given lineup value (1 the local rider, 2 a computer).
  sim::Bike* start_race(int first) {
    int lineup[shell::kRiderSlots] = {};
    lineup[0] = first;
    shell::setup_race(lineup, false, false, 0, 5, 0);
    EXPECT_TRUE(shell::g_race.race_loaded);
    EXPECT_EQ(shell::g_race.watched, 0);
    return shell::g_race.slots[0].bike;
  }
  static Vec frame_position(const sim::Bike* bike) {
    const dReal* p = sim::body_position(bike, sim::kFrame);
    return {p[0], p[1], p[2]};
  }
  // Heights of the grid points from z = 40 ft on.
  static void raise_ridge(float height) {
    sim::HeightField& field = sim::g_terrain;
    const int n = field.points_per_side;
    for (int iz = 5; iz < n; ++iz) {
      for (int ix = 0; ix < n; ++ix) field.heights[iz * n + ix] = height;
    }
    sim::terrain_refresh();
  }
};

}  // namespace

// "1st Person Height" 0 puts the eye 0.5 ft above and 0.4 ft ahead of the rider body's
// centre, 1 at (0, 1.058383, -1.1933695); "1st Person Angle" dips the view below the
// rider's forward direction. The listener rides along.
TEST_F(CamerasRaceTest, RiderViewEyeAndTilt) {
  sim::Bike* bike = start_race(1);
  ASSERT_NE(bike, nullptr);
  const dBodyID rider = bike->body[sim::kRider];
  dBodySetLinearVel(rider, 3, 4, 5);
  const struct {
    double height, angle;
    Vec eye;  // in the rider body's frame
  } cases[] = {{0, 0, {0, 0.5, -0.4}},
               {1, 0, {0, 1.058383, -1.1933695}},
               {0.5, 20, {0, 0.7791915, -0.79668475}}};
  for (const auto& c : cases) {
    shell::g_settings.first_person_height.value = c.height;
    shell::g_settings.first_person_angle.value = c.angle;
    shell::g_settings.fov.value = 75;
    const render::Camera camera =
        render::camera_for_view(render::kViewRider, shell::camera_input());
    dVector3 eye;
    dBodyGetPosRelPoint(rider, camera.position[0], camera.position[1], camera.position[2], eye);
    EXPECT_NEAR(eye[0], c.eye.x, 1e-4) << c.height;
    EXPECT_NEAR(eye[1], c.eye.y, 1e-4) << c.height;
    EXPECT_NEAR(eye[2], c.eye.z, 1e-4) << c.height;
    expect_rotation(camera.axes, "rider");
    // The view direction in the rider's frame: forward (-z), dipped by the angle.
    const Vec view = column(camera.axes, 2);
    dVector3 local;
    dBodyVectorFromWorld(rider, -view.x, -view.y, -view.z, local);
    const double a = c.angle * 0.017453292519943295;
    EXPECT_NEAR(local[0], 0, 1e-5) << c.angle;
    EXPECT_NEAR(local[1], -std::sin(a), 1e-5) << c.angle;
    EXPECT_NEAR(local[2], -std::cos(a), 1e-5) << c.angle;
    EXPECT_EQ(camera.fov, 75);
    EXPECT_EQ(camera.view_rider, 0);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(render::g_listener.position[i], camera.position[i]);
      EXPECT_EQ(render::g_listener.right[i], camera.axes[3 * i]);
    }
    EXPECT_EQ(render::g_listener.velocity[0], 3);
    EXPECT_EQ(render::g_listener.velocity[2], 5);
  }
}

// "--print-orientation" writes the eye and the rider's x and z axes before the tilt.
TEST_F(CamerasRaceTest, RiderViewPrintsItsOrientation) {
  sim::Bike* bike = start_race(1);
  ASSERT_NE(bike, nullptr);
  shell::g_settings.first_person_angle.value = 30;
  shell::g_startup.print_orientation = true;
  sim::g_sim.tick = 320;
  testing::internal::CaptureStdout();
  const render::Camera camera = render::camera_for_view(render::kViewRider, shell::camera_input());
  const std::string out = testing::internal::GetCapturedStdout();
  double t, p[3], x[3], z[3];
  ASSERT_EQ(std::sscanf(out.c_str(),
                        "t=%lf p0=%lf p1=%lf p2=%lf x0=%lf x1=%lf x2=%lf z0=%lf "
                        "z1=%lf z2=%lf\n",
                        &t, &p[0], &p[1], &p[2], &x[0], &x[1], &x[2], &z[0], &z[1], &z[2]),
            10)
      << out;
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(t, 2.5);
  const dReal* r = dBodyGetRotation(bike->body[sim::kRider]);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(p[i], camera.position[i], 1e-5);
    EXPECT_NEAR(x[i], r[4 * i], 1e-6);
    EXPECT_NEAR(z[i], r[4 * i + 2], 1e-6);  // the rider's own axis, not the tilted view
  }
  shell::g_startup.print_orientation = false;
  testing::internal::CaptureStdout();
  render::camera_for_view(render::kViewRider, shell::camera_input());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// The chase camera of the local rider sits behind the heading with "Rigid 3rd person
// camera", behind the direction of travel from 30 ft/s, behind the heading at 10 ft/s or
// less, and swings between the two in between. It looks at the chase centre.
TEST_F(CamerasRaceTest, ChaseCameraFollowsHeadingOrTravel) {
  sim::Bike* bike = start_race(1);
  ASSERT_NE(bike, nullptr);
  const dBodyID frame = bike->body[sim::kFrame];
  const dReal* r = dBodyGetRotation(frame);
  ASSERT_NEAR(-r[10], -1, 1e-3);  // the frame's forward axis points along -z
  dVector3 target;
  const float* centre = shell::g_startup.chase_center;
  dBodyGetRelPointPos(frame, centre[0], centre[1], centre[2], target);

  const struct {
    bool rigid;
    double speed;   // ft/s, sliding sideways along +x
    double bx, bz;  // the camera's horizontal direction from the target
  } cases[] = {
      {true, 30, 0, 1},
      {true, 60, 0, 1},
      {false, 40, -1, 0},
      {false, 30, -1, 0},
      {false, 10, 0, 1},
      {false, 0, 0, 1},
      // At 20 ft/s halfway: -(D/2 + V/2) = (-10, 0, 0.5).
      {false, 20, -10 / std::hypot(10.0, 0.5), 0.5 / std::hypot(10.0, 0.5)},
  };
  shell::g_settings.third_person_distance.value = 12;
  shell::g_settings.third_person_height.value = 4;
  for (const auto& c : cases) {
    shell::g_settings.rigid_camera.index = c.rigid ? 1 : 0;
    dBodySetLinearVel(frame, c.speed, 0, 0);
    const render::Camera camera =
        render::camera_for_view(render::kViewChase, shell::camera_input());
    const Vec d{camera.position[0] - target[0], camera.position[1] - target[1],
                camera.position[2] - target[2]};
    const double across = std::hypot(d.x, d.z);
    const std::string what = std::to_string(c.rigid) + " at " + std::to_string(c.speed);
    EXPECT_NEAR(d.x / across, c.bx, 2e-3) << what;
    EXPECT_NEAR(d.z / across, c.bz, 2e-3) << what;
    EXPECT_NEAR(across, 12, 0.05) << what;
    EXPECT_NEAR(d.y, 4, 1e-4) << what;  // flat ground far below: the height setting rules
    expect_rotation(camera.axes, what.c_str());
    const Vec z = column(camera.axes, 2);
    const double length = std::sqrt(dot(d, d));
    EXPECT_NEAR(z.x, d.x / length, 1e-5) << what;  // -z looks at the target
    EXPECT_NEAR(z.y, d.y / length, 1e-5) << what;
    EXPECT_NEAR(z.z, d.z / length, 1e-5) << what;
    EXPECT_EQ(camera.view_rider, -1);
    EXPECT_EQ(camera.fov, shell::g_settings.fov.value);
    EXPECT_EQ(render::g_listener.velocity[0], static_cast<float>(c.speed));
  }
}

// Over a ridge higher than the bike the chase camera keeps 5 ft above the averaged ground.
TEST_F(CamerasRaceTest, ChaseCameraStaysAboveARidge) {
  sim::Bike* bike = start_race(1);
  ASSERT_NE(bike, nullptr);
  raise_ridge(30);  // the camera stands behind the bike at z ~ 42 ft
  const render::Camera camera = render::camera_for_view(render::kViewChase, shell::camera_input());
  const float ground = render::terrain_height_around(camera.position[0], camera.position[2], 10);
  EXPECT_GT(ground, 10);
  EXPECT_NEAR(camera.position[1], ground + 5, 1e-4);
  EXPECT_GT(camera.position[1], frame_position(bike).y + 10);
  expect_rotation(camera.axes, "ridge");
  EXPECT_GT(column(camera.axes, 2).y, 0.5);  // looking steeply down at the bike
}

// The orbit camera round a bike ridden by someone else: steer turns it (wrapping at pi),
// throttle and front brake move it in and out (never closer than 0.25 ft), shift raises it.
TEST_F(CamerasRaceTest, OrbitCameraAroundABikeRiddenElsewhere) {
  sim::Bike* bike = start_race(2);
  ASSERT_NE(bike, nullptr);
  const struct {
    int input;
    float value;
    int ticks;
    float angle, distance, height;
  } steps[] = {
      {shell::kInputSteer, 1, 256, std::numbers::pi / 2, 10, 5},
      {shell::kInputSteer, 1, 512, -std::numbers::pi / 2, 10,
       5},  // past pi: round to the other side
      {shell::kInputSteer, -0.5f, 256, -3 * std::numbers::pi / 4, 10, 5},
      {shell::kInputThrottle, 1, 64, -3 * std::numbers::pi / 4, 9, 5},
      {shell::kInputThrottle, 1, 1000, -3 * std::numbers::pi / 4, 0.25f, 5},
      {shell::kInputFrontBrake, 1, 128, -3 * std::numbers::pi / 4, 2.25f, 5},
      {shell::kInputThrottle, 0.5f, 10, -3 * std::numbers::pi / 4, 2.25f,
       5},  // half way is not pressed
      {shell::kInputShift, -1, 128, -3 * std::numbers::pi / 4, 2.25f, 4},
  };
  for (const auto& s : steps) {
    run_ticks(render::kViewChase, Controls{}.set(s.input, s.value), s.ticks);
    EXPECT_NEAR(render::g_cameras.orbit_angle, s.angle, 1e-3) << s.input << " x" << s.ticks;
    EXPECT_NEAR(render::g_cameras.orbit_distance, s.distance, 1e-4) << s.input;
    EXPECT_NEAR(render::g_cameras.orbit_height, s.height, 1e-4) << s.input;
  }
  // The other views' ticks leave the orbit alone, and so does a tick without a watched bike.
  run_ticks(render::kViewRider, Controls{}.set(shell::kInputSteer, 1), 10);
  run_ticks(render::kViewTrackCamera, Controls{}.set(shell::kInputSteer, 1), 10);
  shell::g_race.watched = 5;
  run_ticks(render::kViewChase, Controls{}.set(shell::kInputSteer, 1), 10);
  shell::g_race.watched = 0;
  EXPECT_NEAR(render::g_cameras.orbit_angle, -3 * std::numbers::pi / 4, 1e-3);

  render::g_cameras.orbit_distance = 10;
  const render::Camera camera = render::camera_for_view(render::kViewChase, shell::camera_input());
  dVector3 target;
  const float* centre = shell::g_startup.chase_center;
  dBodyGetRelPointPos(bike->body[sim::kFrame], centre[0], centre[1], centre[2], target);
  EXPECT_NEAR(camera.position[0] - target[0], 10 * std::sin(-3 * std::numbers::pi / 4), 1e-2);
  EXPECT_NEAR(camera.position[2] - target[2], 10 * std::cos(-3 * std::numbers::pi / 4), 1e-2);
  // 4 ft above the target would be below 5 ft over the ground.
  EXPECT_NEAR(camera.position[1], std::max(target[1] + 4, 5.0), 1e-4);
}

// A race set-up puts the free camera 5 ft above the watched bike; the orbit and the
// selection live on.
TEST_F(CamerasRaceTest, RaceSetupMovesOnlyTheFreeCamera) {
  render::g_cameras.orbit_angle = 1;
  render::g_cameras.orbit_distance = 3;
  render::g_cameras.selected = 2;
  render::g_cameras.tracking = true;
  sim::Bike* bike = start_race(2);
  ASSERT_NE(bike, nullptr);
  const Vec p = frame_position(bike);
  EXPECT_FLOAT_EQ(render::g_cameras.free_camera.x, p.x);
  EXPECT_FLOAT_EQ(render::g_cameras.free_camera.y, p.y + 5);
  EXPECT_FLOAT_EQ(render::g_cameras.free_camera.z, p.z);
  EXPECT_EQ(render::g_cameras.orbit_angle, 1);
  EXPECT_EQ(render::g_cameras.orbit_distance, 3);
  EXPECT_EQ(render::g_cameras.selected, 2);
  EXPECT_TRUE(render::g_cameras.tracking);
}

// The trackside view shows the selected camera, or the free one when the selection is -1 or
// past the track's cameras; without a watched bike every view is the trackside one.
TEST_F(CamerasRaceTest, TracksideViewShowsTheSelectedCamera) {
  ASSERT_NE(start_race(2), nullptr);
  race::TrackCamera a;
  a.x = 1, a.y = 2, a.z = 3, a.yaw = 0.5f, a.pitch = -0.2f, a.fov = 40;
  race::g_track.cameras = {race::TrackCamera{}, a};
  render::g_cameras.free_camera.x = 50;
  render::g_cameras.free_camera.fov = 70;
  render::g_listener.velocity[1] = 9;
  const struct {
    int selected;
    float x, fov;
  } cases[] = {{1, 1, 40}, {-1, 50, 70}, {2, 50, 70}};
  for (const auto& c : cases) {
    render::g_cameras.selected = c.selected;
    const render::Camera camera =
        render::camera_for_view(render::kViewTrackCamera, shell::camera_input());
    EXPECT_EQ(camera.position[0], c.x) << c.selected;
    EXPECT_EQ(camera.fov, c.fov) << c.selected;
    EXPECT_EQ(camera.view_rider, -1);
    EXPECT_EQ(render::g_listener.velocity[1], 0);
    EXPECT_EQ(render::g_listener.position[0], c.x);
  }
  render::g_cameras.selected = 1;
  float m[9];
  render::yaw_pitch_matrix(0.5f, -0.2f, m);
  expect_same_axes(render::camera_for_view(render::kViewTrackCamera, shell::camera_input()).axes, m,
                   "track camera");
  shell::g_race.watched = 7;  // an empty slot
  EXPECT_EQ(render::camera_for_view(render::kViewRider, shell::camera_input()).position[0], 1);
  EXPECT_EQ(render::camera_for_view(render::kViewChase, shell::camera_input()).position[0], 1);
}

// The sit/dab input toggles tracking on its press; with the free camera selected nothing
// switches, but the free camera turns to the bike, its rate changing by at most pi rad/s^2.
TEST_F(CamerasRaceTest, TrackingTurnsTheFreeCameraWithoutSwitching) {
  sim::Bike* bike = start_race(2);
  ASSERT_NE(bike, nullptr);
  race::g_track.cameras.assign(3, race::TrackCamera{});
  race::g_track.lap_sequences = {100000};
  race::g_track.first_lap_length = 1;
  race::g_track.normal_lap_length = 1;
  race::g_track.checkpoint_camera[0] = 1;
  race::TrackCamera& free = render::g_cameras.free_camera;
  free.x = 32, free.y = 12, free.z = 0, free.yaw = 2, free.pitch = 0;
  const Vec p = frame_position(bike);
  const double bearing = std::atan2(p.x - 32, p.z - 0);
  const double elevation = std::atan2(p.y - 12, std::hypot(p.x - 32, p.z - 0));

  const Controls dab = Controls{}.set(shell::kInputDab, 1);
  float last_rate = 0;
  for (int i = 0; i < 1024; ++i) {
    run_ticks(render::kViewTrackCamera, dab, 1);  // held: toggles once
    ASSERT_TRUE(render::g_cameras.tracking) << i;
    ASSERT_LE(std::fabs(free.yaw_rate - last_rate), kH * std::numbers::pi + 1e-5) << i;
    last_rate = free.yaw_rate;
  }
  EXPECT_EQ(render::g_cameras.selected, -1);
  EXPECT_NEAR(free.yaw, bearing, 0.01);
  EXPECT_NEAR(free.pitch, elevation, 0.01);
  EXPECT_EQ(free.x, 32);  // it turned where it stood
  EXPECT_EQ(free.fov, shell::g_settings.fov.value);

  run_ticks(render::kViewTrackCamera, Controls{}, 1);
  EXPECT_TRUE(render::g_cameras.tracking);
  run_ticks(render::kViewTrackCamera, dab, 1);
  EXPECT_FALSE(render::g_cameras.tracking);
}

// Switching to a new track camera points it straight at the bike and sets its auto fov at
// once; afterwards its rates change by at most pi rad/s^2 and its fov eases after the bike.
TEST_F(CamerasRaceTest, SwitchingPointsTheNewCameraAtTheBike) {
  sim::Bike* bike = start_race(2);
  ASSERT_NE(bike, nullptr);
  race::TrackCamera far;
  far.x = 64, far.y = 20, far.z = 64, far.auto_fov_size = 6;
  far.yaw = -1, far.pitch = 1, far.yaw_rate = 3, far.pitch_rate = -2, far.fov = 90;
  race::g_track.cameras = {race::TrackCamera{}, race::TrackCamera{}, far};
  race::g_track.lap_sequences = {100007};
  race::g_track.first_lap_length = 1;
  race::g_track.normal_lap_length = 1;
  race::g_track.checkpoint_camera[7] = 2;
  render::select_track_camera(1);

  // The bike heads for the checkpoint of sequence position 0, seen by camera 2.
  run_ticks(render::kViewTrackCamera, Controls{}.set(shell::kInputDab, 1), 1);
  ASSERT_EQ(render::g_cameras.selected, 2);
  const race::TrackCamera& c = race::g_track.cameras[2];
  Vec p = frame_position(bike);
  auto distance = [&] {
    return std::sqrt((p.x - 64) * (p.x - 64) + (p.y - 20) * (p.y - 20) + (p.z - 64) * (p.z - 64));
  };
  EXPECT_NEAR(c.yaw, std::atan2(p.x - 64, p.z - 64), 1e-5);
  EXPECT_NEAR(c.pitch, std::atan2(p.y - 20, std::hypot(p.x - 64, p.z - 64)), 1e-5);
  EXPECT_NEAR(c.yaw_rate, 0, 1e-5);  // a bike at rest: nothing to feed forward
  EXPECT_NEAR(c.pitch_rate, 0, 1e-5);
  EXPECT_NEAR(c.fov, 2 * std::atan(6 / distance()) * 180 / std::numbers::pi, 1e-4);

  // The bike jumps aside: the camera catches up within its angular acceleration, and its fov
  // eases towards the new size without overshooting.
  sim::bike_translate(bike, 25, 0, 5);
  p = frame_position(bike);
  const double target_fov = 2 * std::atan(6 / distance()) * 180 / std::numbers::pi;
  ASSERT_GT(target_fov, c.fov + 5);
  float last_yaw_rate = c.yaw_rate, last_pitch_rate = c.pitch_rate, last_fov = c.fov;
  for (int i = 0; i < 1280; ++i) {
    run_ticks(render::kViewTrackCamera, Controls{}, 1);
    ASSERT_EQ(render::g_cameras.selected, 2);
    ASSERT_LE(std::fabs(c.yaw_rate - last_yaw_rate), kH * std::numbers::pi + 1e-5) << i;
    ASSERT_LE(std::fabs(c.pitch_rate - last_pitch_rate), kH * std::numbers::pi + 1e-5) << i;
    ASSERT_GE(c.fov, last_fov) << i;
    ASSERT_LE(c.fov, target_fov + 1e-4) << i;
    if (i == 0) {
      EXPECT_NEAR(std::fabs(c.yaw_rate - last_yaw_rate), kH * std::numbers::pi, 1e-5);
      EXPECT_LT(c.fov, target_fov - 1);
    }
    last_yaw_rate = c.yaw_rate, last_pitch_rate = c.pitch_rate, last_fov = c.fov;
  }
  EXPECT_NEAR(c.yaw, std::atan2(p.x - 64, p.z - 64), 0.01);
  EXPECT_NEAR(c.pitch, std::atan2(p.y - 20, std::hypot(p.x - 64, p.z - 64)), 0.01);
  EXPECT_NEAR(c.fov, target_fov, 1e-3);
}

// Aimed by hand the yaw wraps within -pi..pi and the pitch stops at +-pi/2, however long the
// inputs are held.
TEST_F(CamerasRaceTest, AimStaysWithinItsRanges) {
  ASSERT_NE(start_race(2), nullptr);
  race::g_track.cameras.assign(1, race::TrackCamera{});
  const struct {
    int selected;
    float steer, shift, final_pitch;
  } cases[] = {{-1, 1, 1, std::numbers::pi / 2},
               {0, -1, -1, -std::numbers::pi / 2},
               {0, 0.5f, 0.25f, std::numbers::pi / 2}};
  for (const auto& c : cases) {
    render::g_cameras.selected = c.selected;
    const race::TrackCamera& camera =
        c.selected < 0 ? render::g_cameras.free_camera : race::g_track.cameras[0];
    const Controls controls =
        Controls{}.set(shell::kInputSteer, c.steer).set(shell::kInputShift, c.shift);
    bool wrapped = false;
    float last_yaw = camera.yaw;
    for (int i = 0; i < 2560; ++i) {
      run_ticks(render::kViewTrackCamera, controls, 1);
      ASSERT_LE(std::fabs(camera.yaw), std::numbers::pi + 1e-6) << i;
      ASSERT_LE(std::fabs(camera.pitch), std::numbers::pi / 2 + 1e-6) << i;
      if (std::fabs(camera.yaw - last_yaw) > std::numbers::pi) wrapped = true;
      last_yaw = camera.yaw;
    }
    EXPECT_TRUE(wrapped) << c.steer;
    EXPECT_NEAR(camera.pitch, c.final_pitch, 1e-6) << c.shift;
    EXPECT_NEAR(camera.yaw_rate, c.steer * 3 * std::numbers::pi / 8, 1e-4) << c.steer;
  }
}

// The free camera flies along its view: throttle speeds it up to at most 100 ft/s, it keeps
// coasting once released and slows by 60 ft/s^2 to a stop, and it never goes lower than
// 2 ft above the averaged ground.
TEST_F(CamerasRaceTest, FreeCameraCoastsAndKeepsOffTheGround) {
  ASSERT_NE(start_race(2), nullptr);
  race::TrackCamera& free = render::g_cameras.free_camera;
  free.x = 32, free.y = 20, free.z = 4, free.yaw = 0, free.pitch = 0;
  const Controls throttle = Controls{}.set(shell::kInputThrottle, 1);

  run_ticks(render::kViewTrackCamera, throttle, 128);
  EXPECT_NEAR(render::g_cameras.free_speed, 20, 1e-3);  // 80 up, 60 down: 20 ft/s^2
  EXPECT_NEAR(free.z, 4 + 10, 0.1);                     // half of 20 ft/s^2 over a second
  EXPECT_EQ(free.x, 32);
  EXPECT_EQ(free.y, 20);

  // Released: 20 ft/s less 60 ft/s^2 for a quarter second.
  run_ticks(render::kViewTrackCamera, Controls{}, 32);
  EXPECT_NEAR(render::g_cameras.free_speed, 5, 1e-3);
  run_ticks(render::kViewTrackCamera, Controls{}, 32);
  EXPECT_EQ(render::g_cameras.free_speed, 0);  // stopped, not reversing
  const float stopped = free.z;
  run_ticks(render::kViewTrackCamera, Controls{}, 32);
  EXPECT_EQ(free.z, stopped);

  const struct {
    int input;
    float limit;
  } limits[] = {{shell::kInputThrottle, 100}, {shell::kInputFrontBrake, -100}};
  for (const auto& l : limits) {
    free.z = 4;
    run_ticks(render::kViewTrackCamera, Controls{}.set(l.input, 1), 1280);
    EXPECT_LE(std::fabs(render::g_cameras.free_speed), 100) << l.input;
    EXPECT_GT(std::fabs(render::g_cameras.free_speed), 99) << l.input;
    EXPECT_GT(render::g_cameras.free_speed * l.limit, 0) << l.input;
  }
  run_ticks(render::kViewTrackCamera, Controls{}, 640);

  // Diving into a slope: held 2 ft above the averaged ground all the way.
  raise_ridge(30);
  free.x = 32, free.y = 40, free.z = 0, free.pitch = -0.5f;
  for (int i = 0; i < 384; ++i) {
    run_ticks(render::kViewTrackCamera, throttle, 1);
    ASSERT_GE(free.y, render::terrain_height_around(free.x, free.z, 10) + 2 - 1e-4) << i;
  }
  EXPECT_GT(free.z, 40);  // over the ridge by now
  EXPECT_NEAR(free.y, render::terrain_height_around(free.x, free.z, 10) + 2, 1e-4);
  EXPECT_EQ(free.fov, shell::g_settings.fov.value);
}
