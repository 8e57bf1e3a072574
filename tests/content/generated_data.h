// generated_data.h -- the build's own generated data set, found the way the game finds it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "data/data.h"
#include "data/data_internal.h"
#include "render/render.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace generated_data {

inline std::string build_file(const std::string& name) {
  return std::string(KORVEX_BUILD_DIR) + "/" + name;
}

// The data folder holds the build's zzzz.saf (a link to it), so every name is
// looked up through the pack exactly as korvex does.
class GeneratedDataTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    ASSERT_EQ(symlink(KORVEX_PACK, home.file("zzzz.saf").c_str()), 0);
    data::data_reset_for_test();
  }
  void TearDown() override {
    sim::shape_cache_clear();
    DataFoldersTest::TearDown();
  }
};

// Whether a data name opens and reads as what its name says: a PNG or PPM picture,
// a ".seq" animation, a .jm model or a .shp shape.
inline ::testing::AssertionResult parses(const std::string& name) {
  if (name.empty()) return ::testing::AssertionFailure() << "an empty name";
  const std::size_t dot = name.rfind('.');
  const std::string kind = dot == std::string::npos ? "" : name.substr(dot);
  if (kind == ".png") {
    data::Image image;
    std::string hints;
    const int ok = data::read_png(name.c_str(), image, hints);
    data::image_free(image);
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << name << ": " << data::image_error();
  }
  data::DataStream* stream = data::open_data(name.c_str(), "rb");
  if (!stream) return ::testing::AssertionFailure() << name << " does not open";
  if (kind == ".seq") {
    char magic[8] = {};
    data::Animation animation;
    const bool ok = data::ds_scanf(stream, " %7s", magic) == 1 && std::string(magic) == "ANIM1" &&
                    data::read_animation(stream, animation) == 1;
    data::animation_free(animation);
    data::close_data(stream);
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << name << ": " << data::image_error();
  }
  if (kind == ".ppm") {
    data::Image image;
    const int ok = data::read_ppm(stream, image);
    data::image_free(image);
    data::close_data(stream);
    if (ok) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << name << ": " << data::image_error();
  }
  bool ok = false;
  if (kind == ".jm") {
    render::Model* model = render::read_jm(stream, name.c_str());
    ok = model != nullptr;
    render::model_free(model);
  } else if (kind == ".shp") {
    sim::Shape shape;
    ok = sim::read_shape(stream, shape) && !shape.spheres.empty();
  }
  data::close_data(stream);
  if (ok) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << name << " does not parse as " << kind;
}

}  // namespace generated_data
