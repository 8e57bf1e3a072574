// start_gate_test.cpp -- the starting-gate object a start position shows when its line names none.
#include <gtest/gtest.h>

#include <algorithm>

#include "content/generated_data.h"
#include "data/data.h"
#include "race/race.h"
#include "render/render.h"
#include "sim/sim.h"

namespace {

using generated_data::parses;

class StartGateTest : public generated_data::GeneratedDataTest {};

TEST_F(StartGateTest, DefaultModelTextureAndShapeRead) {
  EXPECT_TRUE(parses(race::kStartGateModel));
  EXPECT_TRUE(parses(race::kStartGateShape));
  data::DataStream* stream = data::open_data(race::kStartGateTexture, "rb");
  ASSERT_NE(stream, nullptr);
  data::Image image;
  EXPECT_EQ(data::read_ppm(stream, image), 1) << data::image_error();
  data::close_data(stream);
  data::image_free(image);
}

// The gate stands on its hinge at the object's origin, ahead of the rider
// (towards -z), and drops forwards; once down, only the hinge beam is left
// for a wheel to roll over.
TEST_F(StartGateTest, GateStandsOnItsHingeAheadOfTheRider) {
  data::DataStream* stream = data::open_data(race::kStartGateModel, "rb");
  ASSERT_NE(stream, nullptr);
  render::Model* model = render::read_jm(stream, race::kStartGateModel);
  data::close_data(stream);
  ASSERT_NE(model, nullptr);
  float lowest = 1e9f, highest = -1e9f, nearest = -1e9f;
  for (const render::Mesh* mesh = model->meshes; mesh; mesh = mesh->next) {
    for (int v = 0; v < mesh->vertex_count; ++v) {
      lowest = std::min(lowest, mesh->positions[3 * v + 1]);
      highest = std::max(highest, mesh->positions[3 * v + 1]);
      nearest = std::max(nearest, mesh->positions[3 * v + 2]);
    }
  }
  render::model_free(model);
  EXPECT_NEAR(lowest, 0, 0.02f);
  EXPECT_GT(highest, 1.0f);  // taller than the front tyre's axle
  EXPECT_LE(nearest, 0.05f);

  sim::Shape shape;
  ASSERT_TRUE(sim::shape_load(race::kStartGateShape, shape));
  for (const sim::ShapeSphere& s : shape.spheres) EXPECT_LE(s.centre.y + s.radius, 0.15f);
}

}  // namespace
