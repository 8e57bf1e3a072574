// shape_test.cpp -- the ".shp" reader and the shape cache.
#include <gtest/gtest.h>

#include <string>

#include "data/data.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

class ShapeTest : public test_support::DataFoldersTest {
 protected:
  void TearDown() override {
    sim::shape_cache_clear();
    DataFoldersTest::TearDown();
  }
  bool read(const std::string& contents, sim::Shape& shape) {
    const std::string path = home.write("s.shp", contents);
    data::DataStream* stream = data::open_data(path.c_str(), "rb");
    EXPECT_NE(stream, nullptr);
    const bool ok = sim::read_shape(stream, shape);
    data::close_data(stream);
    return ok;
  }
};

TEST_F(ShapeTest, ReadsSpheresAndTheirBoundingRadius) {
  sim::Shape shape;
  ASSERT_TRUE(read("2\n 0 1 0   0.5 0.8 7 8\n3 0 4\n1 1.2 0 0\n", shape));
  ASSERT_EQ(shape.spheres.size(), 2u);
  const sim::ShapeSphere& s = shape.spheres[0];
  EXPECT_EQ(s.centre.y, 1);
  EXPECT_EQ(s.radius, 0.5f);
  EXPECT_EQ(s.friction, 0.8f);
  EXPECT_EQ(s.extra[0], 7);
  EXPECT_EQ(s.extra[1], 8);
  EXPECT_FLOAT_EQ(shape.bounding_radius, 6);
}

TEST_F(ShapeTest, ShortOrMalformedFilesGiveNoShape) {
  for (const char* contents : {"", "x", "-1", "2\n0 0 0 1 1 0 0\n", "1\n0 0 0 1 1 0\n",
                               "1\n0 0 0 1e99 1 0 0\n", "2000000000\n0 0 0 1 1 0 0\n"}) {
    SCOPED_TRACE(contents);
    sim::Shape shape;
    shape.spheres.resize(1);
    EXPECT_FALSE(read(contents, shape));
    EXPECT_TRUE(shape.spheres.empty());
  }
  sim::Shape empty;
  EXPECT_TRUE(read("0", empty));
  EXPECT_EQ(empty.bounding_radius, 0);
}

TEST_F(ShapeTest, CacheHandsOutCopiesByExactName) {
  home.write("a.shp", "1 0 0 0 1 1 0 0\n");
  sim::Shape first, second;
  ASSERT_TRUE(sim::shape_load("@a.shp", first));
  first.spheres[0].radius = 99;  // a user's copy is its own
  home.write("a.shp", "1 0 0 0 2 1 0 0\n");
  ASSERT_TRUE(sim::shape_load("@a.shp", second));
  EXPECT_EQ(second.spheres[0].radius, 1);  // cached, and untouched by the first user
  sim::shape_cache_clear();
  ASSERT_TRUE(sim::shape_load("@a.shp", second));
  EXPECT_EQ(second.spheres[0].radius, 2);
  EXPECT_FALSE(sim::shape_load("@missing.shp", second));
  EXPECT_FALSE(sim::shape_load("", second));
}

}  // namespace
