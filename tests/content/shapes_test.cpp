// shapes_test.cpp -- the generated stock collision shapes against the catalogue's bikes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "content/generated_data.h"
#include "data/data.h"
#include "shell/catalogue.h"
#include "sim/sim.h"

namespace {

using generated_data::GeneratedDataTest;
using generated_data::parses;

constexpr const char* kStockShapes[] = {
    "@generic_frame.shp",    "@generic_fork_upper.shp", "@generic_fork_lower.shp",
    "@generic_swingarm.shp", "@front_wheel.shp",        "@rear_wheel.shp",
    "@generic_rider.shp",
};

sim::Shape load(const char* name) {
  sim::Shape shape;
  EXPECT_TRUE(sim::shape_load(name, shape)) << name;
  return shape;
}

class StockShapesTest : public GeneratedDataTest {};

TEST_F(StockShapesTest, EveryShapeTheCatalogueNamesReads) {
  std::set<std::string> names(std::begin(kStockShapes), std::end(kStockShapes));
  for (const sim::BikeInfo* const* bike = shell::bike_catalogue(); *bike; ++bike) {
    for (sim::BikeFile file :
         {sim::kFrameShape, sim::kForkUpperShape, sim::kForkLowerShape, sim::kSwingarmShape,
          sim::kFrontWheelShape, sim::kRearWheelShape, sim::kRiderShape}) {
      names.insert((*bike)->files[file]);
    }
  }
  for (const std::string& name : names) {
    EXPECT_TRUE(parses(name));
    const sim::Shape shape = load(name.c_str());
    for (const sim::ShapeSphere& s : shape.spheres) {
      EXPECT_GT(s.radius, 0) << name;
      EXPECT_GE(s.friction, 0.5f) << name;
      EXPECT_LE(s.friction, 0.8f) << name;
    }
  }
}

// A bike is set down by raising it until nothing touches the ground: only its
// tyres may reach down there, or it would stand on its frame or its rider.
TEST_F(StockShapesTest, AtRestOnlyTheTyresReachTheGround) {
  struct Part {
    sim::BikeFile file;
    const float* (*rest)(const sim::BikeConstants&);
  } parts[] = {
      {sim::kFrameShape, [](const sim::BikeConstants& k) { return k.frame_position; }},
      {sim::kForkUpperShape, [](const sim::BikeConstants& k) { return k.steering_head_position; }},
      {sim::kForkLowerShape, [](const sim::BikeConstants& k) { return k.fork_lower_position; }},
      {sim::kSwingarmShape, [](const sim::BikeConstants& k) { return k.swingarm_position; }},
      {sim::kRiderShape, [](const sim::BikeConstants& k) { return k.rider_position; }},
  };
  for (const sim::BikeInfo* const* bike = shell::bike_catalogue(); *bike; ++bike) {
    const sim::BikeInfo& info = **bike;
    for (const Part& part : parts) {
      const sim::Shape shape = load(info.files[part.file]);
      ASSERT_FALSE(shape.spheres.empty()) << info.files[part.file];
      const float* rest = part.rest(info.constants);
      float lowest = INFINITY;
      for (const sim::ShapeSphere& s : shape.spheres) {
        lowest = std::min(lowest, rest[1] + s.centre.y - s.radius);
      }
      EXPECT_GE(lowest, 0.6f) << info.name << " " << info.files[part.file];
    }
  }
}

// The frame covers the bike from the steering head to the tail, from the
// engine up to the seat; the rider's spheres run from the seat to the helmet.
TEST_F(StockShapesTest, FrameAndRiderCoverTheirBodies) {
  const sim::BikeConstants& k = shell::bike_catalogue()[0]->constants;
  auto extent = [](const sim::Shape& shape, const float rest[3], int axis, bool high) {
    float value = high ? -INFINITY : INFINITY;
    for (const sim::ShapeSphere& s : shape.spheres) {
      const float c[3] = {s.centre.x, s.centre.y, s.centre.z};
      value = high ? std::max(value, rest[axis] + c[axis] + s.radius)
                   : std::min(value, rest[axis] + c[axis] - s.radius);
    }
    return value;
  };
  const sim::Shape frame = load("@generic_frame.shp");
  EXPECT_LT(extent(frame, k.frame_position, 2, false), k.steering_head_position[2] + 1);
  EXPECT_GT(extent(frame, k.frame_position, 2, true), k.rear_wheel_position[2]);
  EXPECT_LT(extent(frame, k.frame_position, 1, false), 1.3f);  // the engine hangs low
  EXPECT_GT(extent(frame, k.frame_position, 1, true), 3.1f);   // the seat and tank stand high

  const sim::Shape rider = load("@generic_rider.shp");
  EXPECT_GT(extent(rider, k.rider_position, 1, true), 5.6f);   // the helmet
  EXPECT_LT(extent(rider, k.rider_position, 1, false), 3.3f);  // hips and knees at the seat
}

// The wheel shapes are the tyres: spheres round the axle on the tyre's ring,
// as thick as its tube, so at rest their lowest point is on the ground.
TEST_F(StockShapesTest, WheelShapesMatchTheTyres) {
  const sim::BikeConstants& k = shell::bike_catalogue()[0]->constants;
  const struct {
    const char* name;
    sim::WheelInfo wheel;
    float rest_height;
  } wheels[] = {
      {"@front_wheel.shp", k.front_wheel, k.front_wheel_position[1]},
      {"@rear_wheel.shp", k.rear_wheel, k.rear_wheel_position[1]},
  };
  for (const auto& w : wheels) {
    SCOPED_TRACE(w.name);
    const sim::Shape shape = load(w.name);
    ASSERT_GE(shape.spheres.size(), 12u);
    float lowest = INFINITY;
    for (const sim::ShapeSphere& s : shape.spheres) {
      EXPECT_NEAR(s.centre.x, 0, 1e-4f);
      EXPECT_NEAR(std::hypot(s.centre.y, s.centre.z), w.wheel.ring_radius, 1e-3f);
      EXPECT_NEAR(s.radius, w.wheel.tube_radius, 1e-4f);
      lowest = std::min(lowest, w.rest_height + s.centre.y - s.radius);
    }
    EXPECT_NEAR(lowest, 0, 0.01f);
  }
}

}  // namespace
