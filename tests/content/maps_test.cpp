// maps_test.cpp -- the normal and specular maps of the generated data hold what the shader
// programs read from them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "content/generated_data.h"
#include "data/data.h"

namespace {

bool ends_with(const std::string& s, const char* tail) {
  const std::size_t n = std::char_traits<char>::length(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

std::vector<std::string> names_ending(const char* tail) {
  std::vector<std::string> names;
  for (const char* const* n = data::data_names(); n && *n; ++n) {
    if (ends_with(*n, tail)) names.push_back(std::string("@") + *n);
  }
  return names;
}

using MapsTest = generated_data::GeneratedDataTest;

// Every texel is a unit vector (to the bytes' precision) that leans out of the surface, and
// every map has relief to show: some texels lean by 20 degrees or more.
TEST_F(MapsTest, NormalMapsHoldUnitNormalsLeaningOutOfTheirSurfaces) {
  const std::vector<std::string> maps = names_ending("_norm.png");
  EXPECT_GE(maps.size(), 3u);
  for (const std::string& name : maps) {
    data::Image image;
    std::string hints;
    ASSERT_EQ(data::read_png(name.c_str(), image, hints), 1) << name;
    int wrong = 0, leaning = 0;
    for (int i = 0; i < image.width * image.height; ++i) {
      const unsigned char* p = image.pixels + static_cast<long>(i) * image.channels;
      const double x = p[0] / 127.5 - 1, y = p[1] / 127.5 - 1, z = p[2] / 127.5 - 1;
      if (std::fabs(std::sqrt(x * x + y * y + z * z) - 1) > 0.03 || z <= 0) ++wrong;
      if (z < std::cos(20 * 0.017453292519943295)) ++leaning;
    }
    data::image_free(image);
    EXPECT_EQ(wrong, 0) << name;
    EXPECT_GT(leaning, 0) << name;
  }
}

// A model's specular map gives the shine in its colour and the sharpness in alpha; a
// surface's gives the shine in red and the sharpness in green. Either way none is dull all over.
TEST_F(MapsTest, SpecularMapsShine) {
  const std::vector<std::string> maps = names_ending("_spec.png");
  EXPECT_GE(maps.size(), 3u);
  for (const std::string& name : maps) {
    data::Image image;
    std::string hints;
    ASSERT_EQ(data::read_png(name.c_str(), image, hints), 1) << name;
    int brightest = 0;
    for (int i = 0; i < image.width * image.height; ++i)
      brightest = std::max<int>(brightest, image.pixels[static_cast<long>(i) * image.channels]);
    data::image_free(image);
    EXPECT_GT(brightest, 40) << name;
  }
}

}  // namespace
