// contact_test.cpp -- spheres and wheels against the height field, the tyre's contact record,
// stiffness and rolling resistance, and bikes running into each other.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "sim/bike_fixtures.h"

namespace {

using bike_fixtures::BikeTest;

class ContactTest : public BikeTest {
 protected:
  // A 16 ft square of 17 x 17 points 1 ft apart.
  template <class F>
  static void small_ground(F height) {
    ASSERT_TRUE(sim::terrain_create(3, 1));
    shape_ground(height);
  }
};

void expect_vec(const dReal* got, double x, double y, double z, double tolerance = 1e-6) {
  EXPECT_NEAR(got[0], x, tolerance);
  EXPECT_NEAR(got[1], y, tolerance);
  EXPECT_NEAR(got[2], z, tolerance);
}

// A sphere over the plane y = slope * x: depth, foot of the perpendicular and plane normal.
TEST_F(ContactTest, SphereOnFlatAndSlopedGround) {
  struct Case {
    double slope, above, radius;  // centre `above` ft over the plane, measured along its normal
  };
  const Case cases[] = {
      {0, 0.9, 1},                         // resting 0.1 ft deep
      {0, -0.5, 1},                        // centre under the ground: pushed out along the face
      {0.5, 0.8, 1},                       // uphill towards +x
      {-0.75, 0.25, 0.5}, {0.5, 1.01, 1},  // clear of the ground
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "slope " << c.slope << " above " << c.above);
    small_ground([&](double x, double) { return c.slope * x + 8; });
    const double k = 1 / std::sqrt(1 + c.slope * c.slope);
    const double n[3] = {-c.slope * k, k, 0};
    const double foot[3] = {8.3, c.slope * 8.3 + 8, 8.6};
    const dReal centre[3] = {foot[0] + n[0] * c.above, foot[1] + n[1] * c.above, foot[2]};
    const sim::TerrainHit hit = sim::sphere_terrain(centre, c.radius);
    if (c.above >= c.radius) {
      EXPECT_FALSE(hit.hit);
      continue;
    }
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.depth, c.radius - c.above, 1e-5);
    expect_vec(hit.point, foot[0], foot[1], foot[2], 1e-5);
    expect_vec(hit.normal, n[0], n[1], n[2], 1e-6);
  }
}

// Two slopes meeting in a valley under the sphere: the nearer (steeper) face is the deepest
// contact whichever side of the valley it lies on.
TEST_F(ContactTest, DeepestTriangleWins) {
  for (double side : {1.0, -1.0}) {
    SCOPED_TRACE(side > 0 ? "steep side after the valley" : "steep side before the valley");
    // Slope 2 on one side of x = 8, slope 1 on the other; the centre 0.5 ft over the floor.
    small_ground([&](double x, double) {
      const double d = (x - 8) * side;
      return d >= 0 ? 2 * d : -d;
    });
    const dReal centre[3] = {8, 0.5, 8.5};
    const sim::TerrainHit hit = sim::sphere_terrain(centre, 1);
    ASSERT_TRUE(hit.hit);
    const double k = 1 / std::sqrt(5.0);
    EXPECT_NEAR(hit.depth, 1 - 0.5 * k, 1e-6);
    expect_vec(hit.normal, -2 * k * side, k, 0);
    expect_vec(hit.point, 8 + 0.2 * side, 0.4, 8.5);
  }
}

// Under a V-shaped valley the nearest ground is the valley floor above the centre, so the
// contact normal points down: it turns sideways, or straight up when nearly vertical.
TEST_F(ContactTest, DownwardNormalsTurnSidewaysOrUp) {
  small_ground([](double x, double) { return std::fabs(x - 8); });
  struct Case {
    double dx;  // centre offset from the valley floor, 5 ft below it
    double nx, ny;
  };
  // The normal's horizontal part squared is dx^2 / (dx^2 + 25): the switch is at 2^-10,
  // dx = 0.1563.
  const Case cases[] = {{0, 0, 1},     {0.15, 0, 1}, {0.158, 1, 0},
                        {0.165, 1, 0}, {0.3, 1, 0},  {-0.3, -1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dx);
    const dReal centre[3] = {8 + c.dx, -5, 8.5};
    const sim::TerrainHit hit = sim::sphere_terrain(centre, 6);
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.depth, 6 - std::sqrt(c.dx * c.dx + 25), 1e-6);
    expect_vec(hit.point, 8, 0, 8.5);
    expect_vec(hit.normal, c.nx, c.ny, 0);
  }
}

TEST_F(ContactTest, WheelTorusUprightLeaningLyingAndOnASlope) {
  const double R = 0.96, r = 0.13;
  const double lean = 30 * bike_fixtures::kDegree;
  struct Case {
    const char* name;
    double slope;     // ground y = slope * (z - 8) + 4; < 0 for the crest
    dReal centre[3];  // relative to (8.2, 4, 8)
    dReal axle[3];
    double depth;     // < 0: no contact
    double point[3];  // relative, as the centre
    double normal[3];
  };
  const double a = 0.3, k = 1 / std::sqrt(1 + a * a), up = R + r - 0.05;
  const Case cases[] = {
      {"upright on flat ground", 0, {0, R + r - 0.1, 0}, {1, 0, 0}, 0.1, {0, 0, 0}, {0, 1, 0}},
      {"clear of the ground", 0, {0, R + r + 0.01, 0}, {1, 0, 0}, -1, {}, {}},
      // The axle along x lies in the slope, so the circle's lowest point faces the plane.
      {"upright across a slope",
       a,
       {0, up / k, 0},
       {1, 0, 0},
       0.05,
       {0, up / k - up * k, up * a * k},
       {0, k, -a * k}},
      {"leaning 30 degrees",
       0,
       {0, R * std::cos(lean) + r - 0.07, 0},
       {std::cos(lean), std::sin(lean), 0},
       0.07,
       {R * std::sin(lean), 0, 0},
       {0, 1, 0}},
      {"lying on its side", 0, {0, r - 0.04, 0}, {0, 1, 0}, 0.04, {}, {0, 1, 0}},
      // Over a sharp crest (the ground falls away 0.5 ft per ft on both sides of z = 8)
      // the ring's bottom meets the crest line.
      {"over a crest", -1, {0, R + r - 0.06, 0}, {1, 0, 0}, 0.06, {0, 0, 0}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    small_ground([&](double, double z) {
      return c.slope < 0 ? 4 - 0.5 * std::fabs(z - 8) : c.slope * (z - 8) + 4;
    });
    const dReal centre[3] = {8.2 + c.centre[0], 4 + c.centre[1], 8 + c.centre[2]};
    const sim::TerrainHit hit = sim::torus_terrain(centre, c.axle, R, r);
    if (c.depth < 0) {
      EXPECT_FALSE(hit.hit);
      continue;
    }
    ASSERT_TRUE(hit.hit);
    EXPECT_NEAR(hit.depth, c.depth, 1e-6);
    expect_vec(hit.normal, c.normal[0], c.normal[1], c.normal[2]);
    if (c.axle[1] == 1) {
      // Lying flat: the contact is somewhere on the ring, R from the axle.
      EXPECT_NEAR(std::hypot(hit.point[0] - centre[0], hit.point[2] - centre[2]), R, 1e-6);
      EXPECT_NEAR(hit.point[1], 4, 1e-6);
    } else {
      expect_vec(hit.point, 8.2 + c.point[0], 4 + c.point[1], 8 + c.point[2]);
    }
  }
}

// A wheel whose axle has sunk below the ground still touches it, as deep as its lowest point.
TEST_F(ContactTest, AWheelSunkPastItsAxleStillTouches) {
  const double R = 0.96, r = 0.13;
  const dReal axle[3] = {1, 0, 0};
  for (double sunk : {0.01, 0.3, 0.8}) {
    SCOPED_TRACE(sunk);
    const dReal centre[3] = {100, -sunk, 101.11};
    const sim::TerrainHit hit = sim::torus_terrain(centre, axle, R, r);
    ASSERT_TRUE(hit.hit);
    // At least the whole tube is in the ground (the ring's bottom is R + sunk deep).
    EXPECT_GE(hit.depth, r);
    expect_vec(hit.normal, 0, 1, 0);
  }
}

TEST_F(ContactTest, NonFiniteInputsTouchNothing) {
  small_ground([](double, double) { return 0; });
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const dReal buried[3] = {8, -1, 8};
  const dReal bad_centres[][3] = {{nan, -1, 8}, {8, nan, 8}, {8, -1, inf}, {-inf, -1, 8}};
  const dReal axle[3] = {1, 0, 0};
  for (const dReal* centre : bad_centres) {
    EXPECT_FALSE(sim::sphere_terrain(centre, 2).hit);
    EXPECT_FALSE(sim::torus_terrain(centre, axle, 1, 0.2).hit);
  }
  const dReal bad_axle[3] = {nan, 1, 0};
  EXPECT_FALSE(sim::torus_terrain(buried, bad_axle, 1, 0.2).hit);
  EXPECT_FALSE(sim::sphere_terrain(buried, nan).hit);
  // The same queries with good numbers do touch.
  EXPECT_TRUE(sim::sphere_terrain(buried, 2).hit);
  EXPECT_TRUE(sim::torus_terrain(buried, axle, 1, 0.2).hit);
}

TEST(TyreStiffness, SpringAndDamperRiseWithTheCubeOfSinkage) {
  struct Case {
    double sinkage, kp, kd;
  };
  // A wheel 0.1 ft into the ground on a 1/3 ft tube sinks 0.3.
  const Case cases[] = {{0, 1000, 200}, {0.1 / (1.0 / 3), 1648, 262.1}, {1, 25000, 2500}};
  for (const Case& c : cases) {
    double kp = 0, kd = 0;
    sim::tyre_stiffness(c.sinkage, &kp, &kd);
    EXPECT_NEAR(kp, c.kp, 1e-9) << c.sinkage;
    EXPECT_NEAR(kd, c.kd, 1e-9) << c.sinkage;
  }
}

// The contact joint a wheel made this tick, or nullptr.
dJointID contact_joint(dBodyID body) {
  for (int i = 0; i < dBodyGetNumJoints(body); ++i) {
    dJointID joint = dBodyGetJoint(body, i);
    if (dJointGetType(joint) == dJointTypeContact) return joint;
  }
  return nullptr;
}

TEST_F(ContactTest, WheelContactFillsTheRecordAndJoinsTheWheelToTheGround) {
  sim::Bike* bike = new_bike();
  put(bike, 100, 100);
  // Sink the front wheel 0.1 ft, move it forwards at 3 ft/s and roll it a little.
  dBodyID wheel = bike->body[sim::kFrontWheel];
  const dReal* at = dBodyGetPosition(wheel);
  const double height = bike->k.front_wheel.ring_radius + bike->k.front_wheel.tube_radius;
  dBodySetPosition(wheel, at[0], height - 0.1, at[2]);
  dBodySetLinearVel(wheel, 0, 0, -3);
  dBodySetAngularVel(wheel, -2, 0, 0);
  ASSERT_TRUE(sim::wheel_contact(bike, 0, 1));
  const sim::WheelContact& w = bike->wheel[0];
  EXPECT_NEAR(w.depth, 0.1, 1e-6);
  expect_vec(w.point, at[0], 0, at[2]);
  expect_vec(w.normal, 0, 1, 0);
  // The patch lies height - 0.1 below the axle: rolling at 2 rad/s takes (height - 0.1) * 2
  // ft/s off the wheel's own 3 ft/s there.
  expect_vec(w.velocity, 0, 0, -3 + 2 * (height - 0.1));
  EXPECT_TRUE(w.has_feedback);
  dJointID joint = contact_joint(wheel);
  ASSERT_NE(joint, nullptr);
  EXPECT_EQ(dJointGetBody(joint, 0), wheel);
  EXPECT_EQ(dJointGetBody(joint, 1), nullptr);  // the static ground
  dJointGroupEmpty(sim::contact_group());

  // Lifted clear: no contact, no joint, the record says so.
  dBodySetPosition(wheel, at[0], height + 0.01, at[2]);
  EXPECT_FALSE(sim::wheel_contact(bike, 0, 1));
  EXPECT_EQ(w.depth, 0);
  EXPECT_FALSE(w.has_feedback);
  EXPECT_EQ(contact_joint(wheel), nullptr);
}

// Rolling resistance opposes the wheel's motion along the ground at the surface's force,
// fading linearly to nothing below 1 ft/s.
TEST_F(ContactTest, RollingResistanceFadesBelowOneFootPerSecond) {
  sim::Bike* bike = new_bike();
  put(bike, 100, 100);
  dBodyID wheel = bike->body[sim::kFrontWheel];
  const dReal* at = dBodyGetPosition(wheel);
  const double height = bike->k.front_wheel.ring_radius + bike->k.front_wheel.tube_radius;
  dBodySetPosition(wheel, at[0], height - 0.1, at[2]);
  const double sinkage = 0.1 / bike->k.front_wheel.tube_radius;
  const double dir[2] = {0.6, -0.8};  // along the ground; the wheel also moves into it
  double force_at_1 = 0;
  for (double speed : {1.0, 0.5, 0.25, 2.0, 6.0}) {
    SCOPED_TRACE(speed);
    dBodySetLinearVel(wheel, dir[0] * speed, -0.3, dir[1] * speed);
    dBodySetAngularVel(wheel, 0, 0, 0);
    dBodySetForce(wheel, 0, 0, 0);
    ASSERT_TRUE(sim::wheel_contact(bike, 0, 1));
    dJointGroupEmpty(sim::contact_group());
    const dReal* f = dBodyGetForce(wheel);
    const double full =
        sim::surface_roll_resist(0, static_cast<float>(speed), static_cast<float>(sinkage));
    ASSERT_GT(full, 0);
    const double expected = full * std::min(speed, 1.0);
    expect_vec(f, -dir[0] * expected, 0, -dir[1] * expected, 1e-4);
    if (speed == 1.0) force_at_1 = std::hypot(f[0], f[2]);
    if (speed == 0.5) {
      EXPECT_NEAR(std::hypot(f[0], f[2]), force_at_1 / 2, 1e-5);
    }
  }
}

TEST_F(ContactTest, ShapeSpheresFollowTheirBody) {
  dBodyID body = dBodyCreate(sim::physics_world());
  sim::Shape shape = bike_fixtures::ball(0, 2, 0, 0.5f);
  shape.spheres.push_back(bike_fixtures::ball(3, 0, 0, 0.25f).spheres[0]);
  dBodySetPosition(body, 50, 1.8, 50);
  // Upright the 2 ft sphere is high above the ground and the other one 1.55 ft clear.
  EXPECT_FALSE(sim::shape_contacts(shape, body));
  EXPECT_EQ(dBodyGetNumJoints(body), 0);
  // Upside down the first sphere's centre is 0.2 ft under the ground.
  dMatrix3 flip;
  dRFromAxisAndAngle(flip, 0, 0, 1, std::numbers::pi);
  dBodySetRotation(body, flip);
  EXPECT_TRUE(sim::shape_contacts(shape, body));
  ASSERT_EQ(dBodyGetNumJoints(body), 1);
  EXPECT_EQ(dJointGetType(dBodyGetJoint(body, 0)), dJointTypeContact);
  dJointGroupEmpty(sim::contact_group());
  dBodyDestroy(body);
}

// Bikes whose front wheels and frames are single spheres, to run into each other.
class BikeAgainstBikeTest : public ContactTest {
 protected:
  sim::Bike* shaped_bike() {
    sim::Bike* bike = new_bike();
    const float wheel =
        static_cast<float>(bike->k.front_wheel.ring_radius + bike->k.front_wheel.tube_radius);
    bike->shape[sim::kFrontWheel] = bike_fixtures::ball(0, 0, 0, wheel);
    bike->shape[sim::kFrame] = bike_fixtures::ball(0, 0, 0, 0.8f);
    return bike;
  }
  static void set_speed(sim::Bike* bike, double speed) {
    const sim::V3 v = bike_fixtures::axis_of(bike->body[sim::kFrame], 0, 0, -1) * speed;
    dBodySetLinearVel(bike->body[sim::kFrame], v.x, v.y, v.z);
  }
};

TEST_F(BikeAgainstBikeTest, TheRammerAndTheVictimGetTheirTimers) {
  struct Case {
    const char* name;
    bool head_on;  // front wheel into front wheel; else a's front into b's side
    double speed_a, speed_b;
    int timer_a, timer_b;  // after the contact
  };
  const Case cases[] = {
      {"a rides into b's side", false, 12, 6, 256, -640},
      {"b too slow to count as rammed", false, 12, 4, 0, 0},
      {"a not fast enough to ram", false, 9, 6, 0, 0},
      {"head on, both fast", true, 10, 12, 192, 192},
      {"head on, b slow", true, 10, 3, 192, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Bike* a = shaped_bike();
    sim::Bike* b = shaped_bike();
    put(a, 100, 100);
    const dReal* front = sim::body_position(a, sim::kFrontWheel);
    const double fx = front[0], fz = front[2];
    if (c.head_on) {
      // b faces a, its front wheel 2 ft ahead of a's.
      put(b, 100, 100 - 2 * (100 - fz) - 2, std::numbers::pi);
    } else {
      // b crosses in front of a, facing -x, its frame 1.5 ft ahead of a's front axle.
      put(b, 100, 100, std::numbers::pi / 2);
      const dReal* frame = sim::body_position(b, sim::kFrame);
      sim::bike_translate(b, fx - frame[0], 0, fz - 1.5 - frame[2]);
    }
    set_speed(a, c.speed_a);
    set_speed(b, c.speed_b);
    sim::g_sim.tick = 77;
    sim::bike_bike_collide(a, b);
    EXPECT_EQ(a->collision_timer, c.timer_a);
    EXPECT_EQ(b->collision_timer, c.timer_b);
    EXPECT_EQ(a->collision_tick, 77);
    EXPECT_EQ(b->collision_tick, 77);
    destroy(a);
    destroy(b);
  }
}

TEST_F(BikeAgainstBikeTest, BikesApartDoNotTouch) {
  sim::Bike* a = shaped_bike();
  sim::Bike* b = shaped_bike();
  put(a, 100, 100);
  put(b, 100, 90);  // 10 ft ahead: the frames are close but no spheres overlap
  set_speed(a, 20);
  sim::bike_bike_collide(a, b);
  EXPECT_EQ(a->collision_timer, 0);
  EXPECT_EQ(a->collision_tick, -1);
  EXPECT_EQ(b->collision_tick, -1);
}

}  // namespace
