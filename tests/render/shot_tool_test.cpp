// shot_tool_test.cpp -- korvex-shot as people judge the picture with it: every camera, with
// and without shader programs and flat shaded, shows sky above ground with the bikes on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/data.h"
#include "support/test_support.h"

namespace {

using test_support::TempDir;

struct Shot {
  int status = -1;
  std::string err;
  std::map<std::string, double> figures;
  int width = 0, height = 0;
  // Shares of the picture that look like sky (blue) and like ground (green or brown).
  double sky = 0, ground = 0;
  double sky_in_top_rows = 0;
  // Across the middle third of the picture's middle row: the share of blue-green paint, and
  // how much the brightness changes from one pixel to the next (relief shows as ribs).
  double middle_paint = 0, middle_ripple = 0;
};

Shot shoot(const std::vector<std::string>& extra) {
  TempDir user;
  const std::string out = user.file("shot.png");
  std::vector<std::string> args = {"--track", "rabbithill", "--bikes",  "3",   "--ticks", "300",
                                   "--width", "320",        "--height", "240", "--out",   out};
  args.insert(args.end(), extra.begin(), extra.end());
  const auto result =
      test_support::run_program(KORVEX_SHOT_EXE, args, test_support::korvex_env(user));
  Shot s;
  s.status = result.status;
  s.err = result.err;
  s.figures = test_support::key_numbers(result.out);
  if (s.status != 0) return s;
  data::Image image;
  std::string hints;
  if (data::read_png(out.c_str(), image, hints) != 1) return s;
  s.width = image.width;
  s.height = image.height;
  long sky = 0, ground = 0, top_sky = 0;
  const int c = image.channels;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const unsigned char* p = image.pixels + (static_cast<long>(y) * image.width + x) * c;
      const bool blue = p[2] > p[0] + 30 && p[2] > p[1] && p[2] > 120;
      const bool earth = (p[1] > p[2] + 10) || (p[0] > p[2] + 15);
      sky += blue;
      ground += earth;
      if (y < image.height / 8) top_sky += blue;
    }
  }
  const unsigned char* row = image.pixels + static_cast<long>(image.height / 2) * image.width * c;
  int previous = -1, paint = 0, steps = 0;
  for (int x = image.width / 3; x < 2 * image.width / 3; ++x) {
    const unsigned char* p = row + static_cast<long>(x) * c;
    paint += p[2] > p[0] + 40 && p[1] > p[0] + 20;
    const int brightness = p[0] + p[1] + p[2];
    if (previous >= 0) {
      s.middle_ripple += std::abs(brightness - previous);
      ++steps;
    }
    previous = brightness;
  }
  s.middle_paint = static_cast<double>(paint) / (image.width / 3);
  s.middle_ripple /= steps;
  const double pixels = static_cast<double>(image.width) * image.height;
  s.sky = static_cast<double>(sky) / pixels;
  s.ground = static_cast<double>(ground) / pixels;
  s.sky_in_top_rows = static_cast<double>(top_sky) / (pixels / 8);
  data::image_free(image);
  return s;
}

TEST(ShotToolTest, EveryCameraAndDrawingPathShowsSkyAndGround) {
  const std::vector<std::vector<std::string>> cases = {
      {"--camera", "chase"},
      {"--camera", "rider"},
      {"--camera", "trackside"},
      {"--camera", "free"},
      {"--camera", "chase", "--shaders", "off"},
      {"--camera", "chase", "--fugly"},
      {"--camera", "chase", "--method", "Hardware/Direct"},
      {"--camera", "chase", "--method", "Shaders/Copy", "--no-hud"},
  };
  for (const auto& extra : cases) {
    std::string name;
    for (const std::string& a : extra) name += a + " ";
    Shot s = shoot(extra);
    ASSERT_EQ(s.status, 0) << name << s.err;
    EXPECT_EQ(s.width, 320) << name;
    EXPECT_EQ(s.height, 240) << name;
    EXPECT_GT(s.sky, 0.1) << name;
    EXPECT_GT(s.ground, 0.25) << name;
    // The rider view tilts with the bike; the others keep the horizon level.
    if (extra[1] != "rider") {
      EXPECT_GT(s.sky_in_top_rows, 0.9) << name;
    }
    EXPECT_GT(s.figures["ground_polygons"], 100) << name;
    EXPECT_GT(s.figures["model_polygons"], 1000) << name;  // bikes and statues
    EXPECT_GT(s.figures["speed_mph"], 5) << name;          // the pilot rides
  }
}

// "--statue" turns the camera onto Rabbit Hill's container, which the shader programs draw
// with its normal map under both Shaders methods: its corrugated wall ripples from rib to rib,
// where fixed function draws it flat.
TEST(ShotToolTest, TheStatueCameraShowsTheContainersRelief) {
  double flat = 0;
  for (const char* method : {"", "Shaders/Copy", "Shaders/Direct"}) {
    std::vector<std::string> extra = {"--statue", "container.jm", "--no-hud"};
    if (*method) {
      extra.insert(extra.end(), {"--method", method});
    } else {
      extra.insert(extra.end(), {"--shaders", "off"});
    }
    const Shot s = shoot(extra);
    ASSERT_EQ(s.status, 0) << method << s.err;
    // Most of the middle is the container's paint; the deepest grooves between the ribs are
    // too dark to tell its colour.
    EXPECT_GT(s.middle_paint, 0.7) << method;
    if (!*method) {
      flat = s.middle_ripple;
    } else {
      EXPECT_GT(s.middle_ripple, 2 * flat + 4) << method;
    }
  }
}

// Until the gate drops the bikes wait on their brakes, the pilot's throttle or not; once it
// has dropped they ride.
TEST(ShotToolTest, BikesWaitForTheDropThenRide) {
  Shot waiting = shoot({"--drop-tick", "1000"});  // 300 ticks are ridden
  ASSERT_EQ(waiting.status, 0) << waiting.err;
  EXPECT_LT(waiting.figures["speed_mph"], 0.5);
  Shot riding = shoot({"--drop-tick", "60"});
  ASSERT_EQ(riding.status, 0) << riding.err;
  EXPECT_GT(riding.figures["speed_mph"], 5);
}

// The rider view at the gate with and without the rider's own body: he sees his arms come in
// from the bottom corners to the grips, a small part of the view at its bottom, as through a
// helmet.
TEST(ShotToolTest, TheRidersOwnBodyStaysLowInTheRiderView) {
  TempDir user;
  const auto env = test_support::korvex_env(user);
  data::Image pictures[2];
  for (int hide = 0; hide < 2; ++hide) {
    const std::string out = user.file(hide ? "hidden.png" : "body.png");
    std::vector<std::string> args = {"--track",  "rabbithill", "--camera", "rider",    "--ticks",
                                     "10",       "--width",    "320",      "--height", "200",
                                     "--no-hud", "--out",      out};
    if (hide) args.push_back("--hide-rider");
    const auto result = test_support::run_program(KORVEX_SHOT_EXE, args, env);
    ASSERT_EQ(result.status, 0) << result.err;
    std::string hints;
    ASSERT_EQ(data::read_png(out.c_str(), pictures[hide], hints), 1);
  }
  data::Image& body = pictures[0];
  data::Image& hidden = pictures[1];
  ASSERT_EQ(body.width, hidden.width);
  ASSERT_EQ(body.height, hidden.height);
  long changed = 0;
  int highest = -1;  // rows from the bottom
  for (int y = 0; y < body.height; ++y) {
    for (int x = 0; x < body.width; ++x) {
      const long at = (static_cast<long>(y) * body.width + x) * body.channels;
      int worst = 0;
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(body.pixels[at + c] - hidden.pixels[at + c]));
      if (worst <= 24) continue;
      ++changed;
      highest = std::max(highest, body.height - 1 - y);
    }
  }
  const double share = static_cast<double>(changed) / (body.width * body.height);
  EXPECT_GT(share, 0.005);  // the arms are there
  EXPECT_LT(share, 0.08);
  EXPECT_LT(highest, body.height / 3);
  data::image_free(body);
  data::image_free(hidden);
}

TEST(ShotToolTest, RefusesBadArgumentsAndMissingTracks) {
  TempDir user;
  const auto env = test_support::korvex_env(user);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--camera", "sideways"},
                                             {"--shaders", "maybe"},
                                             {"--bikes", "0"},
                                             {"--width"},
                                             {"--method", "Crayons"},
                                             {"--statue"},
                                             {"--eye", "1,2"},
                                             {"--fov", "0"},
                                             {"--drop-tick", "-1"},
                                             {"--watch", "0"},
                                             {"--frobnicate"}}) {
    EXPECT_EQ(test_support::run_program(KORVEX_SHOT_EXE, args, env).status, 2) << args[0];
  }
  const auto missing = test_support::run_program(
      KORVEX_SHOT_EXE, {"--track", "nowhere", "--out", user.file("x.png")}, env);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("can't load track nowhere"), std::string::npos) << missing.err;
  EXPECT_FALSE(test_support::file_exists(user.file("x.png")));
  const auto no_statue = test_support::run_program(
      KORVEX_SHOT_EXE, {"--statue", "castle.jm", "--out", user.file("y.png")}, env);
  EXPECT_EQ(no_statue.status, 1);
  EXPECT_NE(no_statue.err.find("no statue of @castle.jm on rabbithill"), std::string::npos)
      << no_statue.err;
  EXPECT_FALSE(test_support::file_exists(user.file("y.png")));
  const auto no_rider = test_support::run_program(
      KORVEX_SHOT_EXE, {"--bikes", "2", "--watch", "3", "--out", user.file("z.png")}, env);
  EXPECT_EQ(no_rider.status, 1);
  EXPECT_NE(no_rider.err.find("no rider in place 3"), std::string::npos) << no_rider.err;
  EXPECT_FALSE(test_support::file_exists(user.file("z.png")));
}

}  // namespace
