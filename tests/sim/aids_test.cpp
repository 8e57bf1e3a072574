// aids_test.cpp -- the riding aids on a bike held still: the steering controller and its
// lock, automatic and foot dab, walking backwards, antilock, the wheelie stopper, and the
// control and setting setters.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "sim/bike_fixtures.h"

namespace {

using bike_fixtures::BikeTest;
using bike_fixtures::kDegree;

class AidsTest : public BikeTest {
 protected:
  void SetUp() override {
    BikeTest::SetUp();
    bike = new_bike();
    put(bike, 100, 100);
  }

  // Rolls the frame alone to a lean (> 0 leaning left) and a roll rate about its own z axis.
  void lean_frame(double lean, double roll_rate = 0) {
    dMatrix3 r;
    dRFromAxisAndAngle(r, 0, 0, 1, lean);
    dBodySetRotation(bike->body[sim::kFrame], r);
    const sim::V3 w = bike_fixtures::axis_of(bike->body[sim::kFrame], 0, 0, 1) * roll_rate;
    dBodySetAngularVel(bike->body[sim::kFrame], w.x, w.y, w.z);
  }

  // Turns the bars (head, sliders and front wheel) by `angle` about the steering axis.
  void turn_bars(double angle) {
    const sim::V3 axis = bike_fixtures::axis_of(bike->body[sim::kFrame], bike->fork_axis[0],
                                                bike->fork_axis[1], bike->fork_axis[2]);
    const sim::V3 pivot = sim::position(bike->body[sim::kSteeringHead]);
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, axis.x, axis.y, axis.z, angle);
    for (sim::BodyPart part : {sim::kSteeringHead, sim::kForkLower, sim::kFrontWheel}) {
      dBodyID body = bike->body[part];
      const sim::V3 d = sim::position(body) - pivot;
      dBodySetPosition(body, pivot.x + turn[0] * d.x + turn[1] * d.y + turn[2] * d.z,
                       pivot.y + turn[4] * d.x + turn[5] * d.y + turn[6] * d.z,
                       pivot.z + turn[8] * d.x + turn[9] * d.y + turn[10] * d.z);
      dMatrix3 r;
      dMultiply0_333(r, turn, dBodyGetRotation(body));
      dBodySetRotation(body, r);
    }
  }

  void set_frame_velocity(double x, double y, double z) {
    dBodySetLinearVel(bike->body[sim::kFrame], x, y, z);
  }

  sim::Bike* bike = nullptr;
};

TEST_F(AidsTest, SteeringLockNarrowsWithSpeedAndOnSlipperyGround) {
  struct Case {
    double friction, full_lock_speed, restricted_lock_speed, speed, lock_degrees;
  };
  const Case cases[] = {
      {1, 10, 50, 0, 45},
      {1, 10, 50, 10, 45},
      {1, 10, 50, 20, 20},
      {1, 10, 50, 50, 5},
      {1, 10, 50, 80, 5},
      {0.5, 10, 50, 50, 10},
      {0.5, 10, 50, 5, 45},
      {0.5, 10, 50, 20, 23.125},
      // Friction counts as at least 1/8: 5 degrees become 40, not the full 45.
      {0.01, 10, 50, 60, 40},
      // A restricted-lock speed below the full-lock one is taken as 1 ft/s above it.
      {1, 60, 50, 60, 45},
      {1, 60, 50, 61, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "friction " << c.friction << " speed " << c.speed);
    sim::g_terrain.surfaces[0].friction_coef[0] = static_cast<float>(c.friction);
    sim::bike_set_aid(bike, &sim::AidSettings::full_lock_speed, c.full_lock_speed);
    sim::bike_set_aid(bike, &sim::AidSettings::restricted_lock_speed, c.restricted_lock_speed);
    sim::bike_set_aid(bike, &sim::AidSettings::restricted_lock, 5 * kDegree);
    EXPECT_NEAR(sim::steering_lock(bike, c.speed), c.lock_degrees * kDegree, 1e-6);
  }
}

// With the front wheel rolling on the ground the steering torque is 1.5 x (stability +
// rider): stability from the roll rate and the lean, the rider's own torque direct.
TEST_F(AidsTest, SteeringTorqueWithTheFrontWheelDown) {
  struct Case {
    const char* name;
    double strength, steer, lean, roll_rate, landing_damping;
    int collision_timer;
    double max_force, torque;
  };
  // The roll-limit boost at a lean of 1 rad.
  const double limit = 1 + (1 - std::numbers::pi / 4) * 10;
  const Case cases[] = {
      {"direct", 75, 0.5, 0, 0, 1, 0, 400, 1.5 * 75 * 0.5},
      {"direct, full left", 100, -1, 0, 0, 1, 0, 400, -150},
      {"direct, limited", 40, 1, 0, 0, 1, 0, 50, 50},
      {"leveling", 75, 0, 0.2, 0, 1, 0, 400, 1.5 * 20 * 0.2},
      {"roll damping", 75, 0, 0, 0.5, 1, 0, 400, 1.5 * 60 * 0.5},
      {"roll damping after a landing", 75, 0, 0, 0.5, 2, 0, 400, 1.5 * 60 * 0.5 * 2},
      {"rolling further past the roll limit", 75, 0, 1, 0.5, 1, 0, 400,
       1.5 * (60 * 0.5 * limit + 20)},
      {"rolling back from past the roll limit", 75, 0, 1, -0.5, 1, 0, 400, 1.5 * (-30 + 20)},
      {"a rammer's stability is capped", 75, 0.5, 0, 5, 1, 96, 400, 1.5 * (100 + 37.5)},
      {"then reversed", 75, 0.5, 0, 0.5, 1, 256, 400, 1.5 * (-30 + 37.5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(bike, 100, 100);
    launch(bike, 10);
    bike_fixtures::set_touching(bike, true, true);
    lean_frame(c.lean, c.roll_rate);
    bike->controls.steer = static_cast<float>(c.steer);
    bike->landing_damping = c.landing_damping;
    bike->collision_timer = c.collision_timer;
    sim::bike_set_aid(bike, &sim::AidSettings::steering_strength, c.strength);
    sim::bike_set_aid(bike, &sim::AidSettings::max_steering_force, c.max_force);
    sim::steering_control(bike);
    EXPECT_NEAR(bike->last_steer_torque, c.torque, 1e-9);
  }
  // Lean-following steering (direct steering below 1) at 10 ft/s, steering 0.5 while leaning
  // 0.2 rad and rolling back at 0.6 rad/s: the lean it wants is 0.295 rad the other way, so
  // it asks for a roll rate of -0.869, limited to 0.125 beyond the present one; the
  // following torque is 75 x 4 x 0.1439 = 43.15. Stability: 60 x -0.6 + 20 x 0.2 = -32.
  struct Following {
    double direct, torque;
  };
  const Following following[] = {{0, 16.731350546528663}, {0.5, -1.5718247267356684}};
  for (const Following& c : following) {
    SCOPED_TRACE(testing::Message() << "direct steering " << c.direct);
    put(bike, 100, 100);
    launch(bike, 10);
    bike_fixtures::set_touching(bike, true, true);
    lean_frame(0.2, -0.6);
    sim::bike_set_aid(bike, &sim::AidSettings::steering_strength, 75);
    bike->landing_damping = 1;
    bike->controls.steer = 0.5f;
    sim::bike_set_aid(bike, &sim::AidSettings::direct_steering, c.direct);
    sim::steering_control(bike);
    EXPECT_NEAR(bike->last_steer_torque, c.torque, 1e-6);
  }
}

TEST_F(AidsTest, DirectSteeringThroughTheBikeStepTurnsTheFrontWheel) {
  sim::bike_translate(bike, 0, -0.05, 0);  // tyres pressed into the ground
  launch(bike, 10);
  sim::bike_collide(bike);
  dJointGroupEmpty(sim::contact_group());
  ASSERT_GT(bike->wheel[0].depth, 0);
  sim::set_steer(bike, 0.6);
  const dReal* before = dBodyGetTorque(bike->body[sim::kFrontWheel]);
  ASSERT_EQ(before[0], 0);
  sim::bike_step(bike);
  const double s = 1.5 * bike->aids.steering_strength * bike->controls.steer;
  EXPECT_DOUBLE_EQ(bike->last_steer_torque, s);
  // All of it goes to the front wheel about the steering axis (the wheel only spins, so
  // the steering damper adds nothing).
  const sim::V3 axis = bike_fixtures::axis_of(bike->body[sim::kFrame], bike->fork_axis[0],
                                              bike->fork_axis[1], bike->fork_axis[2]);
  const dReal* t = dBodyGetTorque(bike->body[sim::kFrontWheel]);
  EXPECT_NEAR(t[0], s * axis.x, 1e-9);
  EXPECT_NEAR(t[1], s * axis.y, 1e-9);
  EXPECT_NEAR(t[2], s * axis.z, 1e-9);
}

// A light front wheel: the bars are centred and the rider's torque counts only with the
// in-air flag.
TEST_F(AidsTest, SteeringWithTheFrontWheelInTheAir) {
  struct Case {
    double bars, steer;
    bool torque_in_air;
  };
  const Case cases[] = {{0, 0.5, true}, {0, 0.5, false}, {0.2, 0, true}, {-0.3, 0.4, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "bars " << c.bars << " steer " << c.steer);
    put(bike, 100, 100);
    bike_fixtures::set_touching(bike, false, true);
    turn_bars(c.bars);
    EXPECT_NEAR(sim::steering_angle(bike), c.bars, 1e-9);  // > 0 turned left
    sim::bike_set_flag(bike, sim::kFlagRiderTorqueInAir, c.torque_in_air);
    bike->controls.steer = static_cast<float>(c.steer);
    bike->landing_damping = 1;
    sim::steering_control(bike);
    const double rider = c.torque_in_air ? 75 * bike->controls.steer : 0;
    EXPECT_NEAR(bike->last_steer_torque, 1.5 * (-50 * c.bars + rider), 1e-6);
    EXPECT_EQ(bike->landing_damping, 2);  // ready for the landing
  }
}

// Automatic dab: `dab` = 1 - speed / max dab speed where it applies.
TEST_F(AidsTest, AutomaticDab) {
  struct Case {
    const char* name;
    double speed, lean_degrees;
    float throttle, clutch;
    int collision_timer;
    bool crashed;
    double dab;
  };
  const Case cases[] = {
      {"upright at 20 ft/s", 20, 0, 0, 1, 0, false, 0},
      {"leaning 30 degrees at 20 ft/s", 20, 30, 0, 1, 0, false, 1 - 20.0 / 30},
      {"leaning right 30 degrees at 20 ft/s", 20, -30, 0, 1, 0, false, 1 - 20.0 / 30},
      {"leaning 10 degrees at 20 ft/s", 20, 10, 0, 1, 0, false, 0},
      {"upright at 10 ft/s", 10, 0, 0, 1, 0, false, 1 - 10.0 / 30},
      {"leaning 50 degrees at 40 ft/s", 40, 50, 0, 1, 0, false, 0},
      {"rammed, 40 ft/s", 40, 50, 0, 1, -600, false, 1 - 40.0 / 75},
      {"driving on upright", 10, 0, 0.5f, 1, 0, false, 0},
      {"driving on leaning 20 degrees", 10, 20, 0.5f, 1, 0, false, 1 - 10.0 / 30},
      {"throttle with the clutch out", 10, 0, 0.5f, 0, 0, false, 1 - 10.0 / 30},
      {"crashed", 10, 0, 0, 1, 0, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(bike, 100, 100);
    sim::bike_set_flag(bike, sim::kFlagAutoDab, true);
    lean_frame(c.lean_degrees * kDegree);
    set_frame_velocity(0, 0, -c.speed);
    bike->controls.throttle = c.throttle;
    bike->controls.clutch = c.clutch;
    bike->collision_timer = c.collision_timer;
    if (c.crashed) bike->crash_timer = 600;
    sim::back_up_and_auto_dab(bike);
    EXPECT_NEAR(bike->controls.dab, c.dab, 1e-6);
  }
  // Without the aid nothing dabs.
  put(bike, 100, 100);
  sim::bike_set_flag(bike, sim::kFlagAutoDab, false);
  set_frame_velocity(0, 0, -10);
  sim::back_up_and_auto_dab(bike);
  EXPECT_EQ(bike->controls.dab, 0);
}

// Nearly stopped with both wheels down and no drive, the aid holds the bike: full brakes for
// the tick and a force against the frame's motion.
TEST_F(AidsTest, AutomaticDabHoldsAStoppingBikeForOneTick) {
  sim::bike_set_flag(bike, sim::kFlagAutoDab, true);
  set_frame_velocity(0, 0, -3);
  bike_fixtures::set_touching(bike, true, true);
  sim::back_up_and_auto_dab(bike);
  EXPECT_EQ(bike->controls.front_brake, 1);
  EXPECT_EQ(bike->controls.rear_brake, 1);
  const dReal* f = dBodyGetForce(bike->body[sim::kFrame]);
  EXPECT_NEAR(f[0], 0, 1e-9);
  EXPECT_NEAR(f[2], 1000, 1e-9);

  // Through the bike step: the brakes bite this tick, the controls come back unchanged.
  put(bike, 100, 100);
  sim::bike_set_flag(bike, sim::kFlagAutoDab, true);
  set_frame_velocity(0, 0, -3);
  bike_fixtures::set_touching(bike, true, true);
  sim::bike_step(bike);
  EXPECT_EQ(dJointGetHingeParam(bike->joint[sim::kFrontAxle], dParamFMax), 250);
  EXPECT_EQ(dJointGetHingeParam(bike->joint[sim::kRearAxle], dParamFMax), 250);
  EXPECT_EQ(bike->controls.front_brake, 0);
  EXPECT_EQ(bike->controls.rear_brake, 0);
  EXPECT_EQ(bike->controls.dab, 0);

  // With a wheel in the air the bike is not held.
  put(bike, 100, 100);
  sim::bike_set_flag(bike, sim::kFlagAutoDab, true);
  set_frame_velocity(0, 0, -3);
  bike_fixtures::set_touching(bike, false, true);
  sim::back_up_and_auto_dab(bike);
  EXPECT_EQ(bike->controls.front_brake, 0);
  EXPECT_NEAR(bike->controls.dab, 0.9, 1e-6);
}

// Walking backwards pushes the frame towards its own rear in one-second steps.
TEST_F(AidsTest, BackingUpPushesTheFrameBackwards) {
  put(bike, 100, 100, std::numbers::pi / 2);  // facing -x, so backwards is +x
  sim::set_back_up(bike, 1);
  sim::g_sim.tick = 64;  // the middle of a step: the target is 4 ft/s
  sim::back_up_and_auto_dab(bike);
  EXPECT_EQ(bike->controls.dab, 1);
  const dReal* f = dBodyGetForce(bike->body[sim::kFrame]);
  EXPECT_NEAR(f[0], 2000, 1e-6);
  EXPECT_NEAR(f[1], 0, 1e-9);
  EXPECT_NEAR(f[2], 0, 1e-6);
  dJointGroupEmpty(sim::contact_group());

  // Between steps the target is 0 and a bike at rest gets no push.
  dBodySetForce(bike->body[sim::kFrame], 0, 0, 0);
  sim::g_sim.tick = 128;
  sim::back_up_and_auto_dab(bike);
  EXPECT_EQ(dBodyGetForce(bike->body[sim::kFrame])[0], 0);
  dJointGroupEmpty(sim::contact_group());
}

// The foot pushes the top of the frame away from the side the bike falls to, only while it
// rolls that way faster than the foot allows: pi/8 rad/s, less within pi/16 of upright.
TEST_F(AidsTest, FootDabRightsAFallingBike) {
  struct Case {
    double lean_degrees, roll_rate, speed;
    double push;  // expected force across the frame (+x: to the right), 0 for none
  };
  const double full = 400 + 200 * std::cos(20 * kDegree);
  const double near_upright = 400 + 200 * std::cos(8 * kDegree);
  const Case cases[] = {
      {20, 0.5, 0, full},  // falling left faster than pi/8 rad/s: pushed right
      {-20, -0.5, 0, -full},
      {20, 0.3, 0, 0},  // slower than pi/8 rad/s: the foot lets it roll
      {30, 0.3, 0, 0},  // past a lean of pi/8, still slower than pi/8 rad/s
      {30, 0.45, 0, 400 + 200 * std::cos(30 * kDegree)},
      {8, 0.25, 0, 0},            // near upright the allowed rate shrinks to 0.279 rad/s ...
      {8, 0.3, 0, near_upright},  // ... and faster is pushed back
      {20, 0, 0, 0},              // settling back towards the foot: no push
      {20, 0.5, 20, 0},           // too fast to dab at this lean
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lean_degrees << " degrees rolling " << c.roll_rate);
    put(bike, 100, 100);
    bike_fixtures::set_touching(bike, true, true);
    lean_frame(c.lean_degrees * kDegree, c.roll_rate);
    set_frame_velocity(0, 0, -c.speed);
    bike->controls.dab = 1;
    sim::foot_dab_and_realign(bike);
    EXPECT_NEAR(dBodyGetForce(bike->body[sim::kFrame])[0], c.push, 1e-6);
    EXPECT_NEAR(bike->dab_extension, c.speed > 0 ? 0 : 8.0 / 128, 1e-12);
  }
}

TEST_F(AidsTest, AntilockAndWheelieStopperTakeTheBrakesAway) {
  struct Case {
    const char* name;
    unsigned flags;
    bool front_down, rear_down;
    double front_slip, rear_slip;  // ft/s at the contact patch
    double front, rear;            // brake torques, ft·lbf
  };
  constexpr unsigned kDefault = sim::kDefaultBikeFlags;
  const Case cases[] = {
      {"front sliding at 3 ft/s", kDefault, true, true, 3, 0, 0, 250},
      {"front sliding at 1 ft/s", kDefault, true, true, 1, 0, 250, 250},
      {"front sliding at exactly 2 ft/s", kDefault, true, true, 2, 0, 250, 250},
      {"front wheel off the ground", kDefault, false, true, 3, 0, 250, 250},
      {"no front antilock", kDefault & ~sim::kFlagFrontAntilock, true, true, 3, 0, 250, 250},
      {"rear without antilock", kDefault, true, true, 0, 3, 250, 250},
      {"rear antilock", kDefault | sim::kFlagRearAntilock, true, true, 0, 3, 250, 0},
      {"stoppie: rear in the air", kDefault, true, false, 0, 0, 0, 250},
      {"stoppie without the stopper", kDefault & ~sim::kFlagWheelieStopBrake, true, false, 0, 0,
       250, 250},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bike->flags = c.flags;
    bike_fixtures::set_touching(bike, c.front_down, c.rear_down);
    const double slips[2] = {c.front_slip, c.rear_slip};
    for (int w = 0; w < 2; ++w) {
      bike->wheel[w].velocity[0] = 0.6 * slips[w];
      bike->wheel[w].velocity[1] = 0;
      bike->wheel[w].velocity[2] = -0.8 * slips[w];
    }
    bike->controls.front_brake = 1;
    bike->controls.rear_brake = 1;
    double front = -1, rear = -1;
    sim::brake_torques(bike, &front, &rear);
    EXPECT_NEAR(front, c.front, 1e-9);
    EXPECT_NEAR(rear, c.rear, 1e-9);
  }
  // The levers scale the torque.
  bike->flags = 0;
  bike->controls.front_brake = 0.5f;
  bike->controls.rear_brake = 0.25f;
  double front = 0, rear = 0;
  sim::brake_torques(bike, &front, &rear);
  EXPECT_NEAR(front, 125, 1e-9);
  EXPECT_NEAR(rear, 62.5, 1e-9);
}

TEST_F(AidsTest, WheelieStopperCutsTheDriveOnlyWhileTheFrontRises) {
  struct Case {
    int mode;  // 0 off, 2 front only, 3 both
    bool front_down, rear_down;
    double pitch_rate;  // rad/s about the frame's x axis; > 0 lifts the front
    bool cut;
  };
  const Case cases[] = {
      {3, false, true, 0, true},     {3, false, true, 0.5, true},
      {3, false, true, -0.1, false},  // the front is coming down already
      {3, true, true, 0, false},     {3, false, false, 0, false},
      {2, false, true, 0, false},    {0, false, true, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " pitch " << c.pitch_rate);
    sim::bike_set_wheelie_stopper(bike, c.mode);
    bike_fixtures::set_touching(bike, c.front_down, c.rear_down);
    dBodySetAngularVel(bike->body[sim::kFrame], c.pitch_rate, 0, 0);
    EXPECT_EQ(sim::wheelie_stopper_cuts_drive(bike), c.cut);
  }
  // The setup's "Yes" also takes the front brake in a stoppie; "Front Only" only that.
  sim::bike_set_wheelie_stopper(bike, 3);
  EXPECT_EQ(bike->flags & (sim::kFlagWheelieStopEngine | sim::kFlagWheelieStopBrake),
            sim::kFlagWheelieStopEngine | sim::kFlagWheelieStopBrake);
  sim::bike_set_wheelie_stopper(bike, 2);
  EXPECT_EQ(bike->flags & (sim::kFlagWheelieStopEngine | sim::kFlagWheelieStopBrake),
            sim::kFlagWheelieStopBrake);
}

// Every 32nd tick, with the rear suspension loaded and the rear tyre gripping or in the air,
// the gear follows the engine speed the rear wheel implies: up past 10500 rpm, down below
// 6000 rpm.
TEST_F(AidsTest, AutomaticShifting) {
  struct Case {
    const char* name;
    int tick, gear;
    double rpm, swingarm;  // the rear wheel's engine speed; the swingarm angle (rad)
    bool rear_down;
    double slip;  // ft/s at the rear contact patch
    bool crashed;
    int shifted_to;
  };
  const Case cases[] = {
      {"revving in first", 32, 0, 11000, -0.05, true, 0, false, 1},
      {"not the 32nd tick", 33, 0, 11000, -0.05, true, 0, false, 0},
      {"lugging in third", 64, 2, 5000, -0.05, true, 0, false, 1},
      {"in between", 64, 2, 8000, -0.05, true, 0, false, 2},
      {"suspension unloaded", 64, 0, 11000, -0.005, true, 0, false, 0},
      {"rear tyre spinning", 64, 0, 11000, -0.05, true, 3, false, 0},
      {"rear wheel in the air", 64, 0, 11000, -0.05, false, 3, false, 1},
      {"top gear", 64, 4, 11000, -0.05, true, 0, false, 4},  // the sixth has no ratio
      {"crashed", 64, 0, 11000, -0.05, true, 0, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put(bike, 100, 100);
    sim::bike_set_flag(bike, sim::kFlagAutoShift, true);
    // Swing the arm and the wheel up about the pivot.
    const sim::V3 pivot =
        sim::to_world_point(bike->body[sim::kFrame], sim::vec(bike->k.swingarm_pivot) -
                                                         sim::rest_position(bike, sim::kFrame));
    dMatrix3 swing;
    dRFromAxisAndAngle(swing, 1, 0, 0, c.swingarm);
    for (sim::BodyPart part : {sim::kSwingarm, sim::kRearWheel}) {
      const sim::V3 d = sim::position(bike->body[part]) - pivot;
      dBodySetPosition(bike->body[part], pivot.x + swing[0] * d.x + swing[1] * d.y + swing[2] * d.z,
                       pivot.y + swing[4] * d.x + swing[5] * d.y + swing[6] * d.z,
                       pivot.z + swing[8] * d.x + swing[9] * d.y + swing[10] * d.z);
      dBodySetRotation(bike->body[part], swing);
    }
    ASSERT_NEAR(sim::swingarm_angle(bike), c.swingarm, 1e-9);
    bike->controls.gear = c.gear;
    const double ratio = bike->k.gear_ratios[c.gear] * bike->k.primary_ratio * bike->final_ratio;
    dBodySetAngularVel(bike->body[sim::kRearWheel], -c.rpm / sim::kRadPerSecToRpm / ratio, 0, 0);
    bike_fixtures::set_touching(bike, true, c.rear_down);
    bike->wheel[1].velocity[2] = c.slip;
    if (c.crashed) bike->crash_timer = 600;
    sim::g_sim.tick = c.tick;
    sim::automatic_shift(bike);
    EXPECT_EQ(bike->controls.gear, c.shifted_to);
  }
}

TEST_F(AidsTest, NewBikesHaveTheDefaultAids) {
  EXPECT_EQ(bike->flags, sim::kFlagRiderTorqueInAir | sim::kFlagWheelieStopBrake |
                             sim::kFlagFrontAntilock | sim::kFlagRealign);
  EXPECT_FALSE(bike->flags & sim::kFlagArcade);
  EXPECT_FALSE(bike->out_of_range);
}

// --- Controls and settings ------------------------------------------------------------------

TEST_F(AidsTest, ControlSettersClamp) {
  using Setter = void (*)(sim::Bike*, double);
  struct Case {
    const char* name;
    Setter set;
    float sim::Controls::*field;
    bool signed_range;
  };
  const Case cases[] = {
      {"throttle", sim::set_throttle, &sim::Controls::throttle, false},
      {"front brake", sim::set_front_brake, &sim::Controls::front_brake, false},
      {"rear brake", sim::set_rear_brake, &sim::Controls::rear_brake, false},
      {"dab", sim::set_dab, &sim::Controls::dab, false},
      {"back up", sim::set_back_up, &sim::Controls::back_up, false},
      {"clutch", sim::set_clutch, &sim::Controls::clutch, false},
      {"steer", sim::set_steer, &sim::Controls::steer, true},
      {"lean", sim::set_lean, &sim::Controls::lean, true},
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const float low = c.signed_range ? -1.0f : 0.0f;
    c.set(bike, 0.25);
    EXPECT_EQ(bike->controls.*c.field, 0.25f);
    c.set(bike, 1.5);
    EXPECT_EQ(bike->controls.*c.field, 1.0f);
    c.set(bike, -3);
    EXPECT_EQ(bike->controls.*c.field, low);
    c.set(bike, -0.5);
    EXPECT_EQ(bike->controls.*c.field, c.signed_range ? -0.5f : 0.0f);
    c.set(bike, nan);
    EXPECT_EQ(bike->controls.*c.field, 0.0f);
  }
}

TEST_F(AidsTest, ACrashedRiderNeitherTwistsDabsBacksUpNorLeans) {
  sim::set_throttle(bike, 1);
  sim::set_lean(bike, 1);
  sim::crash_bike(bike);
  // The crash itself lets go of everything the rider holds.
  EXPECT_EQ(bike->controls.throttle, 0);
  EXPECT_EQ(bike->controls.lean, 0);
  sim::set_throttle(bike, 1);
  sim::set_dab(bike, 1);
  sim::set_back_up(bike, 1);
  sim::set_lean(bike, -1);
  sim::set_front_brake(bike, 1);
  sim::set_steer(bike, 0.5);
  sim::set_clutch(bike, 0.5);
  EXPECT_EQ(bike->controls.throttle, 0);
  EXPECT_EQ(bike->controls.dab, 0);
  EXPECT_EQ(bike->controls.back_up, 0);
  EXPECT_EQ(bike->controls.lean, 0);
  // The brakes, the bars and the clutch still work.
  EXPECT_EQ(bike->controls.front_brake, 1);
  EXPECT_EQ(bike->controls.steer, 0.5f);
  EXPECT_EQ(bike->controls.clutch, 0.5f);
}

TEST_F(AidsTest, AShiftRequestShiftsOnceUntilReleased) {
  for (int i = 0; i < 5; ++i) sim::shift(bike, 1);
  EXPECT_EQ(bike->controls.gear, 1);
  sim::shift(bike, 0);
  sim::shift(bike, 7);  // any positive request is +1
  EXPECT_EQ(bike->controls.gear, 2);
  for (int i = 0; i < 3; ++i) sim::shift(bike, -1);
  EXPECT_EQ(bike->controls.gear, 1);
  sim::shift(bike, 1);  // straight from down to up is a new request
  EXPECT_EQ(bike->controls.gear, 2);
  // No shifting while crashed, and the request held through the crash does not count after.
  sim::shift(bike, 0);
  bike->crash_timer = 100;
  sim::shift(bike, 1);
  EXPECT_EQ(bike->controls.gear, 2);
  bike->crash_timer = 0;
  sim::shift(bike, 1);
  EXPECT_EQ(bike->controls.gear, 2);
  sim::shift(bike, 0);
  sim::shift(bike, 1);
  EXPECT_EQ(bike->controls.gear, 3);
  // Down past first stays in first.
  for (int i = 0; i < 8; ++i) {
    sim::shift(bike, -1);
    sim::shift(bike, 0);
  }
  EXPECT_EQ(bike->controls.gear, 0);
}

TEST_F(AidsTest, GearsWithoutARatioCannotBeEntered) {
  // The catalogue's box has five gears: the sixth ratio is not positive.
  ASSERT_LE(bike->k.gear_ratios[5], 0);
  for (int i = 0; i < 8; ++i) {
    sim::shift(bike, 1);
    sim::shift(bike, 0);
  }
  EXPECT_EQ(bike->controls.gear, 4);

  // A box with a hole: up from second lands back in second; down from fourth skips it.
  info_.constants.gear_ratios[2] = 0;
  info_.constants.gear_ratios[4] = -1;
  sim::Bike* holed = new_bike();
  sim::shift(holed, 1);
  sim::shift(holed, 0);
  sim::shift(holed, 1);
  EXPECT_EQ(holed->controls.gear, 1);
  holed->controls.gear = 3;
  sim::shift(holed, 0);
  sim::shift(holed, -1);
  EXPECT_EQ(holed->controls.gear, 1);
  EXPECT_EQ(sim::lowest_usable_gear(holed, 5), 3);
}

TEST_F(AidsTest, AidSettersClampAndFlagValuesFarOutside) {
  struct Case {
    double sim::AidSettings::*field;
    double value, stored;
    bool out_of_range;  // more than an eighth of the range outside it
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {&sim::AidSettings::roll_damping, 50, 50, false},
      {&sim::AidSettings::roll_damping, 110, 100, false},
      {&sim::AidSettings::roll_damping, 112.5, 100, false},
      {&sim::AidSettings::roll_damping, 113, 100, true},
      {&sim::AidSettings::roll_damping, -13, 0, true},
      {&sim::AidSettings::max_dab_speed, 0, 7, false},  // 7..100: the slack is 11.6
      {&sim::AidSettings::max_dab_speed, -5, 7, true},
      {&sim::AidSettings::restricted_lock, 0.85, std::numbers::pi / 4, false},
      {&sim::AidSettings::restricted_lock, 1.0, std::numbers::pi / 4, true},
      {&sim::AidSettings::direct_steering, 1.1, 1, false},
      {&sim::AidSettings::direct_steering, 1.2, 1, true},
      {&sim::AidSettings::land_damping_factor, 0.9, 1, false},
      {&sim::AidSettings::slow_damping_factor, nan, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "value " << c.value);
    bike->out_of_range = false;
    sim::bike_set_aid(bike, c.field, c.value);
    EXPECT_EQ(bike->aids.*c.field, c.stored);
    EXPECT_EQ(bike->out_of_range, c.out_of_range);
  }
  // The flag stays raised for the setup to report.
  sim::bike_set_aid(bike, &sim::AidSettings::leveling, 30);
  EXPECT_TRUE(bike->out_of_range);
  EXPECT_EQ(bike->aids.leveling, 30);
}

}  // namespace
