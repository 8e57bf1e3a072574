// erosion_test.cpp -- wheels that dig ruts, the roost they throw and the particles' flight.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sim/bike_fixtures.h"

namespace {

using bike_fixtures::BikeTest;

class ErosionTest : public BikeTest {
 protected:
  void SetUp() override {
    BikeTest::SetUp();
    bike = new_bike();
    put(bike, 400, 400);
  }
  static sim::SurfaceType& ground() { return sim::g_terrain.surfaces[0]; }
  void push_event(float x, float z, float gx, float gz) {
    bike->erosion[bike->erosion_write] = {x, z, gx, gz};
    bike->erosion_write = (bike->erosion_write + 1) % sim::kErosionRing;
  }
  // The rear wheel touching the ground with the contact joint's force on it, moving at `speed`.
  void rear_contact(double speed, double fx, double fy, double fz) {
    sim::WheelContact& w = bike->wheel[1];
    w.depth = 0.1;
    w.has_feedback = true;
    w.point[0] = 50.5;
    w.point[1] = 0;
    w.point[2] = 60.25;
    w.feedback.f1[0] = fx;
    w.feedback.f1[1] = fy;
    w.feedback.f1[2] = fz;
    dBodySetLinearVel(w.body, 0, 0, -speed);
  }
  static double height_at(double x, double z) {
    const sim::HeightField& f = sim::g_terrain;
    const int ix = static_cast<int>(std::lround(x / f.spacing));
    const int iz = static_cast<int>(std::lround(z / f.spacing));
    return f.heights[static_cast<std::size_t>(iz) * f.points_per_side + ix];
  }
  // Accelerating hard in second gear.
  void dig(int ticks) {
    ride({bike}, ticks, [](sim::Bike* b, int) {
      sim::set_throttle(b, 1);
      b->controls.gear = 1;
    });
  }
  sim::Bike* bike = nullptr;
};

TEST_F(ErosionTest, NoScaleNoErosion) {
  ground().erode_lower = 5;
  ground().erode_off_speed = 0;
  ground().erode_on_speed = 1;
  for (float scale : {50.0f, 0.0f}) {
    SCOPED_TRACE(scale);
    sim::g_sim.erosion_scale = scale;
    put(bike, 200, 400);
    launch(bike, 30);
    const int edits = sim::g_terrain.edit_count;
    const int events = bike->erosion_events;
    dig(128);
    if (scale > 0) {
      // The same ride digs with a scale: the control case.
      EXPECT_GT(bike->erosion_events, events);
      EXPECT_GT(sim::g_terrain.edit_count, edits);
    } else {
      EXPECT_EQ(bike->erosion_events, events);
      EXPECT_EQ(sim::g_terrain.edit_count, edits);
    }
  }
  // Called directly with a wheel that would dig: nothing either.
  sim::g_sim.erosion_scale = 0;
  rear_contact(30, 500, 0, 0);
  const int events = bike->erosion_events;
  sim::erosion_record(bike);
  EXPECT_EQ(bike->erosion_events, events);
}

// An event is the horizontal part of the contact force, scaled in between the surface's
// off and on speeds (10 and 15 ft/s), kept when stronger than its lower force (50 lbf).
TEST_F(ErosionTest, RecordTakesTheHorizontalContactForce) {
  sim::g_sim.erosion_scale = 100;
  struct Case {
    const char* name;
    double speed;
    bool feedback;
    double scale;  // of the horizontal force (120, -160) in the event; 0 for none
  };
  const Case cases[] = {
      {"fast", 20, true, 1},
      {"half on", 12.5, true, 0.5},
      {"a fifth on: 40 lbf is too weak", 11, true, 0},
      {"below the off speed", 8, true, 0},
      {"no feedback from the joint", 20, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bike->erosion_read = bike->erosion_write = 0;
    const int events = bike->erosion_events;
    rear_contact(c.speed, 120, 900, -160);
    bike->wheel[1].has_feedback = c.feedback;
    bike->wheel[0].depth = 0;
    sim::erosion_record(bike);
    if (c.scale == 0) {
      EXPECT_EQ(bike->erosion_write, 0);
      EXPECT_EQ(bike->erosion_events, events);
      continue;
    }
    ASSERT_EQ(bike->erosion_write, 1);
    EXPECT_EQ(bike->erosion_events, events + 1);
    const sim::ErosionEvent& e = bike->erosion[0];
    EXPECT_FLOAT_EQ(e.x, 50.5f);
    EXPECT_FLOAT_EQ(e.z, 60.25f);
    EXPECT_NEAR(e.gx, 120 * c.scale, 1e-4);
    EXPECT_NEAR(e.gz, -160 * c.scale, 1e-4);
  }
  // A full ring drops the new event.
  bike->erosion_write = 10;
  bike->erosion_read = 11;
  const int events = bike->erosion_events;
  rear_contact(20, 120, 0, -160);
  sim::erosion_record(bike);
  EXPECT_EQ(bike->erosion_write, 10);
  EXPECT_EQ(bike->erosion_events, events);
}

// An event digs at its point and throws the dirt against its force: by scale / 2048 x the
// surface's depth factor at the brushes' centres, D = displacement x (|g| - lower) /
// (upper - lower) away.
TEST_F(ErosionTest, AnEventMovesDirtAgainstTheForce) {
  struct Case {
    float scale, depth, gx, gz;
    double to_x, to_z;  // where the dirt lands
  };
  const Case cases[] = {
      {100, 1, 200, 0, 76, 100},      // full force: thrown the whole 24 ft back
      {40, 0.5f, 0, -100, 100, 112},  // 100 lbf is half way: 12 ft
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scale);
    flat_ground();
    ground().erode_displacement = 24;  // the two brushes (radius 4 ft) stay apart
    ground().erode_depth = c.depth;
    sim::g_sim.erosion_scale = c.scale;
    bike->erosion_read = bike->erosion_write = 0;
    push_event(100, 100, c.gx, c.gz);
    const int edits = sim::g_terrain.edit_count;
    sim::erosion_apply(bike);
    const double amount = c.scale / 2048.0 * c.depth;
    EXPECT_NEAR(height_at(100, 100), -amount, 1e-6);
    EXPECT_NEAR(height_at(c.to_x, c.to_z), amount, 1e-6);
    EXPECT_EQ(sim::g_terrain.edit_count, edits + 2);
    EXPECT_EQ(bike->erosion_read, bike->erosion_write);
  }
}

TEST_F(ErosionTest, EventsNearTheBikeWaitUntilItHasMovedOn) {
  sim::g_sim.erosion_scale = 50;
  const dReal* frame = sim::body_position(bike, sim::kFrame);
  const float fx = static_cast<float>(frame[0]), fz = static_cast<float>(frame[2]);
  push_event(100, 100, 0, 0);      // far away, too weak to dig
  push_event(fx + 9, fz, 200, 0);  // 9 ft from the frame
  push_event(120, 100, 200, 0);    // far away
  int edits = sim::g_terrain.edit_count;
  sim::erosion_apply(bike);
  // The weak one went; the near one and everything after it wait.
  EXPECT_EQ(bike->erosion_read, 1);
  EXPECT_EQ(sim::g_terrain.edit_count, edits);
  sim::erosion_apply(bike);
  EXPECT_EQ(bike->erosion_read, 1);

  sim::bike_translate(bike, 0, 0, -30);
  sim::erosion_apply(bike);
  EXPECT_EQ(bike->erosion_read, 3);
  EXPECT_EQ(sim::g_terrain.edit_count, edits + 4);

  // At most four events a tick.
  for (int i = 0; i < 6; ++i) push_event(50.0f + 20 * i, 50, 200, 0);
  edits = sim::g_terrain.edit_count;
  sim::erosion_apply(bike);
  EXPECT_EQ(bike->erosion_read, 7);
  EXPECT_EQ(sim::g_terrain.edit_count, edits + 8);
  sim::erosion_apply(bike);
  EXPECT_EQ(bike->erosion_read, bike->erosion_write);
}

// Dirt is not thrown up a slope steeper than the surface allows (0.25 ft per ft): the event
// is dropped.
TEST_F(ErosionTest, DirtIsNotThrownUpASteepSlope) {
  sim::g_sim.erosion_scale = 100;
  for (double slope : {0.3, 0.2, -0.5}) {
    SCOPED_TRACE(slope);
    shape_ground([&](double x, double) { return slope * x; });
    bike->erosion_read = bike->erosion_write = 0;
    // Pushing towards -x throws the dirt 2 ft towards +x.
    push_event(100, 100, -200, 0);
    const int edits = sim::g_terrain.edit_count;
    const double before = height_at(100, 100);
    sim::erosion_apply(bike);
    EXPECT_EQ(bike->erosion_read, 1);  // taken either way
    const bool applied = 2 * slope <= 0.5;
    EXPECT_EQ(sim::g_terrain.edit_count, edits + (applied ? 2 : 0));
    EXPECT_EQ(height_at(100, 100) < before, applied);
  }
}

// --- Roost -----------------------------------------------------------------------------------

class RoostTest : public ErosionTest {
 protected:
  // The rear wheel spinning on the spot at `spin` rad/s, touching the ground.
  void spin_rear_wheel(double spin) {
    sim::bike_translate(bike, 0, -0.05, 0);
    ASSERT_TRUE(sim::wheel_contact(bike, 1, 1));
    bike->wheel[0].depth = 0;
    dJointGroupEmpty(sim::contact_group());
    const sim::V3 w = bike_fixtures::axis_of(bike->wheel[1].body, 1, 0, 0) * -spin;
    dBodySetAngularVel(bike->wheel[1].body, w.x, w.y, w.z);
  }
  static std::vector<sim::Particle> alive() {
    std::vector<sim::Particle> out;
    for (int i = 0; i < sim::kParticles; ++i) {
      if (sim::particles()[i].alive) out.push_back(sim::particles()[i]);
    }
    return out;
  }
};

TEST_F(RoostTest, RoostNeedsARoostSlotSlipAndFrequency) {
  spin_rear_wheel(30);
  struct Case {
    const char* name;
    int mode;
    int frequency;
    float slip_threshold;
    int low, high;  // particles thrown
  };
  const Case cases[] = {
      {"surface without roost", 0, 1000, 4, 0, 0}, {"roost", 1, 1000, 4, 10, 10},
      {"no roost at frequency 0", 1, 0, 4, 0, 0},  {"three a wheel at 300", 1, 300, 4, 3, 3},
      {"two or three at 250", 1, 250, 4, 2, 3},    {"not slipping enough", 1, 1000, 100, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::particles_clear();
    ground().roost[0].mode = c.mode;
    ground().roost[0].slip_threshold = c.slip_threshold;
    sim::g_sim.roost_frequency = c.frequency;
    sim::roost_emit(bike, true);
    EXPECT_GE(sim::live_particles(), c.low);
    EXPECT_LE(sim::live_particles(), c.high);
  }
}

TEST_F(RoostTest, RoostLeavesTheRimAtTheRimsSpeed) {
  spin_rear_wheel(30);
  sim::RoostType& roost = ground().roost[0];
  roost.mode = 1;
  roost.randomize = 0;
  roost.vscale = 1;
  sim::roost_emit(bike, true);
  const std::vector<sim::Particle> thrown = alive();
  ASSERT_EQ(thrown.size(), 10u);
  const sim::V3 centre = sim::position(bike->wheel[1].body);
  const double rim = sim::length(sim::v3(bike->wheel[1].point) - centre);
  for (const sim::Particle& p : thrown) {
    const double speed = std::sqrt(p.velocity[0] * p.velocity[0] + p.velocity[1] * p.velocity[1] +
                                   p.velocity[2] * p.velocity[2]);
    EXPECT_NEAR(speed, 30 * rim, 1e-3);
    EXPECT_NEAR(p.velocity[0], 0, 1e-4);  // in the wheel's plane
    EXPECT_EQ(p.type, &roost);
    EXPECT_EQ(p.size, roost.size);
  }
}

// A splash throws two jets at 45 degrees, out of the ground and to either side, as fast as
// the wheel moves along the ground.
TEST_F(RoostTest, SplashThrowsTwoJetsSideways) {
  spin_rear_wheel(0);
  dBodySetLinearVel(bike->wheel[1].body, 0, 0, -10);
  sim::RoostType& splash = ground().roost[0];
  splash.mode = 2;
  splash.randomize = 0;
  splash.vscale = 1;
  sim::roost_emit(bike, true);
  const std::vector<sim::Particle> thrown = alive();
  ASSERT_EQ(thrown.size(), 10u);
  int left = 0, right = 0;
  for (const sim::Particle& p : thrown) {
    EXPECT_NEAR(p.velocity[2], 0, 1e-4);  // nothing along the direction of travel
    EXPECT_NEAR(std::fabs(p.velocity[0]), p.velocity[1], 1e-4);
    EXPECT_GE(p.velocity[1], 0);
    EXPECT_LE(p.velocity[1], 10 * std::sqrt(0.5) + 1e-4);
    (p.velocity[0] < 0 ? left : right) += 1;
  }
  EXPECT_EQ(left, 5);
  EXPECT_EQ(right, 5);
}

TEST_F(RoostTest, ParticlesFlyFallAndDieUnderTheGround) {
  sim::RoostType type;
  type.size = 0.25f;
  type.grow = 4;
  type.drag = 0.5f;
  type.color[3] = 1;
  type.fade[2] = -3;
  type.fade[3] = -2;
  const float at[3] = {50, 1, 50};
  const float velocity[3] = {2, 0, 0};
  ASSERT_TRUE(sim::particle_spawn(at, velocity, type));
  const float under[3] = {60, -1, 60};
  const float rising[3] = {0, 10, 0};
  ASSERT_TRUE(sim::particle_spawn(under, rising, type));
  EXPECT_EQ(sim::live_particles(), 2);

  sim::particles_update();
  std::vector<sim::Particle> now = alive();
  ASSERT_EQ(now.size(), 2u);  // the one under the ground is still rising
  const sim::Particle& p = now[0].position[0] < 55 ? now[0] : now[1];
  const float h = 1.0f / 128;
  EXPECT_FLOAT_EQ(p.position[0], 50 + 2 * h);
  EXPECT_FLOAT_EQ(p.position[1], 1);
  EXPECT_FLOAT_EQ(p.velocity[0], 2 - 2 * h * 0.5f);
  EXPECT_FLOAT_EQ(p.velocity[1], -32 * h);
  EXPECT_FLOAT_EQ(p.size, 0.25f + 4 * h);
  EXPECT_EQ(p.color[2], 252);
  EXPECT_EQ(p.color[3], 0);  // faded out, not wrapped round

  // Dropped from 1 ft it lands after about a quarter of a second (32 ticks).
  for (int t = 1; t < 28; ++t) sim::particles_update();
  EXPECT_EQ(sim::live_particles(), 2);
  for (int t = 28; t < 40; ++t) sim::particles_update();
  EXPECT_EQ(sim::live_particles(), 1);
}

TEST_F(RoostTest, AFullPoolDropsNewParticles) {
  sim::RoostType type;
  const float falling[3] = {0, -1, 0};
  for (int i = 0; i < sim::kParticles; ++i) {
    const float at[3] = {10.0f + i % 100, -0.5f, 10.0f + i / 100};
    ASSERT_TRUE(sim::particle_spawn(at, falling, type));
  }
  const float at[3] = {5, 5, 5};
  EXPECT_FALSE(sim::particle_spawn(at, falling, type));
  EXPECT_EQ(sim::live_particles(), sim::kParticles);
  // Under the ground and falling: all of them die and their places are free again.
  sim::particles_update();
  EXPECT_EQ(sim::live_particles(), 0);
  EXPECT_TRUE(sim::particle_spawn(at, falling, type));
  EXPECT_EQ(sim::live_particles(), 1);
}

}  // namespace
