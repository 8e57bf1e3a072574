// state_record_test.cpp -- a bike packed into 39 bytes and posed back from them.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "sim/bike_fixtures.h"

namespace {

using bike_fixtures::BikeTest;

// Every body's position and rotation.
struct Pose {
  sim::V3 at[sim::kBodyParts];
  dReal r[sim::kBodyParts][12];
};

Pose pose_of(const sim::Bike* bike) {
  Pose p;
  for (int i = 0; i < sim::kBodyParts; ++i) {
    p.at[i] = sim::position(bike->body[i]);
    const dReal* r = dBodyGetRotation(bike->body[i]);
    for (int j = 0; j < 12; ++j) p.r[i][j] = r[j];
  }
  return p;
}

class StateRecordTest : public BikeTest {
 protected:
  void SetUp() override {
    BikeTest::SetUp();
    // Rolling ground with a 30 ft mound in a corner: the record's height range covers a
    // bike riding anywhere on the rest.
    shape_ground([](double x, double z) {
      const double mound = std::hypot(x - 480, z - 480);
      return 0.8 * std::sin(x / 13) * std::cos(z / 9) + (mound < 30 ? 30 - mound : 0);
    });
    bike = new_bike();
  }
  sim::Bike* bike = nullptr;
};

TEST_F(StateRecordTest, APackedRidePosesBackWithinTheRecordsResolution) {
  put(bike, 200, 400);
  launch(bike, 25);
  sim::shift(bike, 1);
  // Ride over the bumps, weaving, until the moment both ends are compressed and the bars
  // are turned: something worth packing.
  auto drive = [](sim::Bike* b, int t) {
    sim::set_throttle(b, 0.5);
    sim::set_steer(b, 0.5 * std::sin(t / 40.0));
  };
  int ticks = 0;
  for (; ticks < 1000; ++ticks) {
    ride({bike}, 1, [&](sim::Bike* b, int) { drive(b, ticks); });
    if (ticks > 150 && sim::fork_position(bike) < -0.05 && sim::swingarm_angle(bike) < -0.05 &&
        std::fabs(sim::steering_angle(bike)) > 0.02) {
      break;
    }
  }
  ASSERT_LT(ticks, 1000);
  ASSERT_FALSE(sim::bike_crashed(bike));
  const double steering = sim::steering_angle(bike), fork = sim::fork_position(bike);
  const double swingarm = sim::swingarm_angle(bike);
  const Pose before = pose_of(bike);
  sim::StateRecord record;
  sim::state_pack(bike, &record);
  EXPECT_EQ(record.bytes[18] & 1, 1);  // sampled from a simulated bike

  sim::bike_reset(bike);  // somewhere else entirely
  sim::bike_pose(bike, record);
  const Pose after = pose_of(bike);
  // The frame and the rider are packed directly (to 1/16777215 of the field and 1/65535 of
  // 32 ft); the other bodies follow from joint values in steps of 1/255 of their ranges, the
  // swingarm's in steps of 2/255 (its lowest bit marks a sampled record): up to 0.013 ft at
  // the rear axle. ODE's joints have drifted a little from those values too.
  const double position_tolerance[sim::kBodyParts] = {0.001, 0.01, 0.02, 0.005, 0.01, 0.01, 0.001};
  // Wheel angles come in 1/255 of a turn.
  const double rotation_tolerance[sim::kBodyParts] = {0.001, 0.03, 0.03, 0.01, 0.01, 0.01, 0.001};
  for (int i = 0; i < sim::kBodyParts; ++i) {
    SCOPED_TRACE(testing::Message() << "body " << i);
    EXPECT_NEAR(after.at[i].x, before.at[i].x, position_tolerance[i]);
    EXPECT_NEAR(after.at[i].y, before.at[i].y, position_tolerance[i]);
    EXPECT_NEAR(after.at[i].z, before.at[i].z, position_tolerance[i]);
    for (int j = 0; j < 12; ++j) {
      if (j % 4 == 3) continue;
      EXPECT_NEAR(after.r[i][j], before.r[i][j], rotation_tolerance[i]) << j;
    }
  }
  // The joints read back what was packed.
  EXPECT_NEAR(sim::steering_angle(bike), steering, std::numbers::pi / 2 / 255 + 0.002);
  EXPECT_NEAR(sim::fork_position(bike), fork, bike->k.fork_travel / 255 + 0.002);
  EXPECT_NEAR(sim::swingarm_angle(bike), swingarm, 2 * bike->k.swingarm_travel / 255 + 0.002);
  EXPECT_TRUE(dJointGetBody(bike->joint[sim::kRiderJoint], 0) == bike->body[sim::kRider]);
  EXPECT_EQ(bike->controls.gear, 1);
}

TEST_F(StateRecordTest, StateByteEngineAndRiderJoint) {
  struct Case {
    const char* name;
    int crash_timer, gear;
    float throttle;
    double dab_animation;
    unsigned char state;
  };
  const Case cases[] = {
      {"riding", 0, 3, 0.5f, 0, 3 | 8 << 4},
      {"riding, foot down", 0, 3, 0.5f, 0.25, 3 | 8 | 8 << 4},
      {"full throttle in first", 0, 0, 1, 0, 15 << 4},
      {"just crashed", 512, 0, 0, 1, 7 | 15 << 4},
      {"getting up", 64, 0, 0, 1, 7 | 7 << 4},  // (64 x 15 - 15) / 127
      {"nearly up", 1, 0, 0, 1, 7},
  };
  put(bike, 200, 200);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::bike_reset(bike);
    sim::bike_translate(bike, 200, sim::terrain_height(200, 200), 200);
    if (c.crash_timer > 0) sim::crash_bike(bike);
    bike->crash_timer = c.crash_timer;
    bike->controls.gear = c.gear;
    bike->controls.throttle = c.throttle;
    bike->dab_animation = c.dab_animation;
    bike->engine_speed = 6000 / sim::kRadPerSecToRpm;
    sim::StateRecord record;
    sim::state_pack(bike, &record);
    EXPECT_EQ(record.bytes[36], c.state);

    sim::Bike* copy = new_bike();
    sim::bike_pose(copy, record);
    const bool crashed = c.crash_timer > 0;
    EXPECT_EQ(dJointGetBody(copy->joint[sim::kRiderJoint], 0),
              crashed ? nullptr : copy->body[sim::kRider]);
    if (!crashed) {
      EXPECT_EQ(copy->controls.gear, c.gear);
      EXPECT_NEAR(copy->controls.throttle, std::round(c.throttle * 15) / 15, 1e-6);
    }
    EXPECT_NEAR(sim::engine_rpm(copy), 6000, 1);
    // The foot-down picture eases in for a record with the dab bit or a crash.
    EXPECT_NEAR(copy->dab_animation, (c.state & 8) || crashed ? 8.0 / 128 : 0, 1e-12);
    destroy(copy);
  }
}

// Posed between two records n ticks apart, every body moves as it did between them.
TEST_F(StateRecordTest, BracketingRecordsGiveTheVelocities) {
  put(bike, 200, 200, 0.3);
  sim::StateRecord a, b;
  sim::state_pack(bike, &a);
  const Pose from = pose_of(bike);
  sim::bike_rotate_yaw(bike, 0.05);
  sim::bike_translate(bike, 0.4, 0.1, -0.8);
  sim::state_pack(bike, &b);
  const Pose to = pose_of(bike);
  for (int n : {4, 0}) {  // a distance below one tick counts as one
    SCOPED_TRACE(n);
    const double dt = std::max(n, 1) / 128.0;
    sim::bike_reset(bike);
    sim::bike_pose(bike, b, &a, &b, n);
    for (int i = 0; i < sim::kBodyParts; ++i) {
      SCOPED_TRACE(testing::Message() << "body " << i);
      const dReal* v = dBodyGetLinearVel(bike->body[i]);
      const sim::V3 moved = (to.at[i] - from.at[i]) * (1 / dt);
      const double tolerance = 0.002 / dt;
      EXPECT_NEAR(v[0], moved.x, tolerance);
      EXPECT_NEAR(v[1], moved.y, tolerance);
      EXPECT_NEAR(v[2], moved.z, tolerance);
      const dReal* w = dBodyGetAngularVel(bike->body[i]);
      EXPECT_NEAR(w[0], 0, 0.002 / dt);
      EXPECT_NEAR(w[1], 0.05 / dt, 0.002 / dt);
      EXPECT_NEAR(w[2], 0, 0.002 / dt);
    }
    // Posed from b itself.
    EXPECT_NEAR(sim::body_position(bike, sim::kFrame)[0], to.at[sim::kFrame].x, 0.001);
    EXPECT_NEAR(sim::body_position(bike, sim::kFrame)[2], to.at[sim::kFrame].z, 0.001);
  }
  // Without the pair the bodies stand still.
  sim::bike_pose(bike, b);
  for (dBodyID body : bike->body) {
    const dReal* v = dBodyGetLinearVel(body);
    const dReal* w = dBodyGetAngularVel(body);
    EXPECT_EQ(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + w[0] * w[0] + w[1] * w[1] + w[2] * w[2], 0);
  }
}

TEST_F(StateRecordTest, APosedBikeIsNeverLeftUnderTheGround) {
  put(bike, 200, 200);
  sim::StateRecord record;
  sim::state_pack(bike, &record);
  const double bounds[2] = {sim::g_terrain.min_height, sim::g_terrain.max_height};
  // The ground rises 1.5 ft under the bike (the field's height range stays as it was).
  sim::terrain_deform(200, 200, 8, 1.5f);
  ASSERT_EQ(sim::g_terrain.min_height, bounds[0]);
  ASSERT_EQ(sim::g_terrain.max_height, bounds[1]);
  sim::bike_pose(bike, record);
  const sim::V3 under =
      sim::to_world_point(bike->body[sim::kFrame], sim::V3{0, -bike->k.frame_underside, 0});
  EXPECT_NEAR(under.y, sim::terrain_height(float(under.x), float(under.z)), 1e-4);
  // Every body went up with the frame.
  EXPECT_NEAR(
      sim::body_position(bike, sim::kRearWheel)[1] - sim::body_position(bike, sim::kFrame)[1],
      bike->k.rear_wheel_position[1] - bike->k.frame_position[1], 0.01);
}

}  // namespace
