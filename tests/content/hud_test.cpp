// hud_test.cpp -- the generated HUD pictures: they load as the game loads them at start-up,
// sit on a clear ground inside their edges, and the tachometer's dial matches its sweep.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "content/generated_data.h"
#include "data/data.h"
#include "data/data_internal.h"
#include "render/gl_fixture.h"

namespace {

// Which edges of a picture must stay clear: everything drawn sits inside them.
enum Edge { kLeft = 1, kRight = 2, kTop = 4, kBottom = 8, kAll = 15 };

struct HudCase {
  const char* name;  // as start-up loads it
  int clear_edges;
  double least_ink;  // share of the picture that must be painted
};

const HudCase kHud[] = {
    {"!@tach.png", kAll, 0.6},
    {"!@shifter.png", kAll, 0.7},
    {"!@pitboard.png", kLeft | kRight | kTop, 0.5},  // the pole runs off the bottom
    {"!@title.png", kAll, 0.15},
};

struct Rgba {
  int r, g, b, a;
};

class HudPictureTest : public generated_data::GeneratedDataTest {
 protected:
  void TearDown() override {
    data::image_free(image);
    GeneratedDataTest::TearDown();
  }
  ::testing::AssertionResult read(const char* name) {
    data::image_free(image);
    std::string hints;
    if (!data::read_png(name + 1, image, hints)) {  // the "!" only matters to the texture loader
      return ::testing::AssertionFailure() << name << ": " << data::image_error();
    }
    return ::testing::AssertionSuccess();
  }
  Rgba pixel(int x, int y) const {
    const unsigned char* p = image.pixels + (static_cast<std::size_t>(y) * image.width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
  }
  data::Image image;
};

TEST_F(HudPictureTest, EveryPictureReadsWithAClearGround) {
  for (const HudCase& c : kHud) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(read(c.name));
    ASSERT_EQ(image.channels, 4);
    EXPECT_EQ(image.width & (image.width - 1), 0);  // no resampling on upload
    EXPECT_EQ(image.height & (image.height - 1), 0);
    long painted = 0;
    int edge_ink = 0;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const int a = pixel(x, y).a;
        painted += a > 128;
        const bool on_clear_edge = ((c.clear_edges & kLeft) && x == 0) ||
                                   ((c.clear_edges & kRight) && x == image.width - 1) ||
                                   ((c.clear_edges & kTop) && y == 0) ||
                                   ((c.clear_edges & kBottom) && y == image.height - 1);
        if (on_clear_edge && a > 0) ++edge_ink;
      }
    }
    EXPECT_EQ(edge_ink, 0) << "painted up to an edge that must stay clear";
    EXPECT_GT(static_cast<double>(painted) / (image.width * image.height), c.least_ink);
  }
}

// The dial's marks sit where the HUD will turn the needle: engine speed v at
// 225 - 270 v / 14000 degrees round the picture's centre, red from 12,000.
TEST_F(HudPictureTest, TachometerMarksFollowTheSweep) {
  ASSERT_TRUE(read("!@tach.png"));
  const float cx = image.width / 2.0f, cy = image.height / 2.0f;
  const float band = image.width * 200.0f / 512;  // the radius of the red zone and the ticks
  auto at = [&](float rpm, float radius) {
    const float a = (225 - 270 * rpm / 14000) * std::numbers::pi_v<float> / 180;
    return pixel(static_cast<int>(cx + radius * std::cos(a)),
                 static_cast<int>(cy - radius * std::sin(a)));
  };
  struct Mark {
    float rpm;
    const char* what;
    bool red, white;
  } marks[] = {
      {12600, "red zone between ticks", true, false},
      {13400, "red zone between ticks", true, false},
      {3000, "a thousand tick", false, true},
      {7000, "a thousand tick", false, true},
      {4125, "the face between ticks", false, false},
      {9875, "the face between ticks", false, false},
  };
  for (const Mark& m : marks) {
    const Rgba p = at(m.rpm, band);
    SCOPED_TRACE(std::to_string(static_cast<int>(m.rpm)) + " rpm: " + m.what);
    EXPECT_EQ(p.a, 255);
    EXPECT_EQ(p.r > 150 && p.g < 90 && p.b < 90, m.red) << p.r << " " << p.g << " " << p.b;
    EXPECT_EQ(p.r > 200 && p.g > 200 && p.b > 200, m.white) << p.r << " " << p.g << " " << p.b;
  }
  // Outside the dial the ground is clear.
  EXPECT_EQ(pixel(4, 4).a, 0);
}

// Start-up loads the four pictures as textures, every detail level, without
// a warning (a missing file or a side that is no power of two).
class GeneratedHudGlTest : public gl_fixture::GamePackGlTest {};

TEST_F(GeneratedHudGlTest, StartUpLoadsEveryPicture) {
  data::g_texture_settings.debug_level = 1;  // report files that don't open
  for (const HudCase& c : kHud) EXPECT_NE(data::texture_load(c.name), 0u) << c.name;
  data::g_texture_settings.debug_level = 0;
  EXPECT_EQ(logged().find("Can't"), std::string::npos) << logged();
  EXPECT_EQ(logged().find("Non power of 2"), std::string::npos) << logged();
}

}  // namespace
