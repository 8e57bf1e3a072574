// bike_fixtures.h -- bikes on small in-memory fields for the physics tests: a catalogue model
// without data files, shaped ground, placing and launching bikes, one-sphere shapes.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

#include "shell/catalogue.h"
#include "sim/bike_internal.h"
#include "sim/sim.h"

namespace bike_fixtures {

constexpr double kDegree = std::numbers::pi / 180;

// A catalogue model with its data files left out: the bike gets no shapes unless a test
// gives it some, whatever the data folders hold.
inline sim::BikeInfo model_without_files(const char* name = "crf450(2013)") {
  sim::BikeInfo info = *shell::find_bike_info(name);
  for (const char*& file : info.files) file = "";
  return info;
}

// A shape of one sphere centred at (x, y, z) in the body's coordinates.
inline sim::Shape ball(float x, float y, float z, float radius, float friction = 0.5f) {
  sim::Shape shape;
  sim::ShapeSphere s;
  s.centre = {x, y, z};
  s.radius = radius;
  s.friction = friction;
  shape.spheres.push_back(s);
  shape.bounding_radius = std::sqrt(x * x + y * y + z * z) + radius;
  return shape;
}

// The world direction a body's own axis points in.
inline sim::V3 axis_of(dBodyID body, double x, double y, double z) {
  return sim::to_world_vector(body, sim::V3{x, y, z});
}

// Ground-contact records as the contact code fills them, for tests that call the aids
// without stepping the world.
inline void set_touching(sim::Bike* bike, bool front, bool rear, double depth = 0.05) {
  bike->wheel[0].depth = front ? depth : 0;
  bike->wheel[1].depth = rear ? depth : 0;
}

class BikeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::create_world();
    sim::g_sim = sim::SimState{};
    sim::particles_clear();
    flat_ground();
  }

  void TearDown() override {
    dJointGroupEmpty(sim::contact_group());
    for (sim::Bike* bike : bikes_) sim::bike_destroy(bike);
    bikes_.clear();
    sim::terrain_free();
    sim::particles_clear();
    sim::g_sim = sim::SimState{};
    sim::g_racing_line_heading = nullptr;
  }

  // A flat field at height 0, 2^(n+1)+1 points a side `spacing` ft apart (512 ft square).
  static void flat_ground(int n = 6, float spacing = 4) {
    ASSERT_TRUE(sim::terrain_create(n, spacing));
  }

  // Every height from `height(x, z)` (world feet), then the field's bounds and pyramid.
  template <class F>
  static void shape_ground(F height) {
    sim::HeightField& f = sim::g_terrain;
    for (int iz = 0; iz < f.points_per_side; ++iz) {
      for (int ix = 0; ix < f.points_per_side; ++ix) {
        f.heights[static_cast<std::size_t>(iz) * f.points_per_side + ix] =
            static_cast<float>(height(ix * f.spacing, iz * f.spacing));
      }
    }
    sim::terrain_refresh();
  }

  // A bike of the test's model at its rest pose; the fixture destroys it.
  sim::Bike* new_bike() {
    sim::Bike* bike = sim::bike_create(&info_, static_cast<int>(bikes_.size()), "7");
    bikes_.push_back(bike);
    return bike;
  }

  void destroy(sim::Bike* bike) {
    dJointGroupEmpty(sim::contact_group());
    for (std::size_t i = 0; i < bikes_.size(); ++i) {
      if (bikes_[i] == bike) bikes_.erase(bikes_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    sim::bike_destroy(bike);
  }

  // Rest pose with the frame over (x, z), turned by `yaw` (0 faces -z, positive turns
  // left), standing on the ground.
  static void put(sim::Bike* bike, double x, double z, double yaw = 0) {
    sim::bike_reset(bike);
    const dReal* p = sim::body_position(bike, sim::kFrame);
    sim::bike_translate(bike, x - p[0], sim::terrain_height(float(x), float(z)), z - p[2]);
    sim::bike_rotate_yaw(bike, yaw);
    sim::bike_place(bike);
  }

  // Every body moving along the frame's forward axis at `speed` ft/s, the wheels rolling.
  static void launch(sim::Bike* bike, double speed) {
    const sim::V3 forward = axis_of(bike->body[sim::kFrame], 0, 0, -1) * speed;
    for (dBodyID body : bike->body) {
      dBodySetLinearVel(body, forward.x, forward.y, forward.z);
      dBodySetAngularVel(body, 0, 0, 0);
    }
    for (const sim::WheelContact& w : bike->wheel) {
      // Rolling forward (-z) turns the wheel backwards about its own +x axle.
      const sim::V3 spin = axis_of(w.body, 1, 0, 0) * (-speed / (w.ring_radius + w.tube_radius));
      dBodySetAngularVel(w.body, spin.x, spin.y, spin.z);
    }
  }

  // Simulates `ticks` ticks of the given bikes; `drive(bike, tick)` sets the controls of
  // each bike before its step (tick counts from 0 within this call).
  template <class Drive>
  static void ride(std::vector<sim::Bike*> riders, int ticks, Drive drive) {
    struct Context {
      Drive* drive;
      int tick;
    } context{&drive, 0};
    auto hook = [](sim::Bike* bike, void* c) {
      Context* ctx = static_cast<Context*>(c);
      (*ctx->drive)(bike, ctx->tick);
    };
    for (int t = 0; t < ticks; ++t) {
      context.tick = t;
      sim::simulate_tick(riders.data(), static_cast<int>(riders.size()), hook, &context);
    }
  }
  static void ride(sim::Bike* bike, int ticks) {
    ride({bike}, ticks, [](sim::Bike*, int) {});
  }

  sim::BikeInfo info_ = model_without_files();
  std::vector<sim::Bike*> bikes_;
};

}  // namespace bike_fixtures
