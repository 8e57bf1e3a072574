// view_tool_test.cpp -- korvex-view draws a model into a PNG, with and without programs, and
// finds the game's own models as korvex does.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/data.h"
#include "gl_fixture.h"
#include "support/test_support.h"

namespace {

constexpr int kViewSize = 512;

// Runs korvex-view and reads back the picture it wrote as RGB rows; empty when the run or
// the file failed.
std::vector<unsigned char> view(const std::vector<std::string>& args, const std::string& out,
                                const std::map<std::string, std::string>& env) {
  std::vector<std::string> full = args;
  full.insert(full.end(), {"--out", out});
  const test_support::ProcessResult result = test_support::run_program(KORVEX_VIEW_EXE, full, env);
  EXPECT_EQ(result.status, 0) << result.err;
  for (const char* refusal : {"Can't", "can't"}) {
    EXPECT_EQ(result.err.find(refusal), std::string::npos) << result.err;
  }
  data::Image image;
  std::string hints;
  if (data::read_png(out.c_str(), image, hints) != 1) return {};
  std::vector<unsigned char> rgb;
  if (image.width == kViewSize && image.height == kViewSize && image.channels == 3) {
    rgb.assign(image.pixels, image.pixels + image.width * image.height * image.channels);
  }
  data::image_free(image);
  EXPECT_FALSE(rgb.empty()) << out << " is not a " << kViewSize << " pixel square RGB picture";
  return rgb;
}

double covered_share(const std::vector<unsigned char>& rgb) {
  return rgb.empty() ? 0.0 : gl_fixture::covered(rgb) / (rgb.size() / 3.0);
}

// Pixels where the checker's orange shows: red well above blue, which neither the background
// nor an untextured (white) model has.
double orange_share(const std::vector<unsigned char>& rgb) {
  long orange = 0;
  for (std::size_t i = 0; i < rgb.size(); i += 3) orange += rgb[i] > rgb[i + 2] + 60;
  return rgb.empty() ? 0.0 : orange / (rgb.size() / 3.0);
}

// The checkered ball covers the middle quarter of the view with both of its colours and
// leaves the corners to the background.
void expect_checkered_ball(const std::vector<unsigned char>& rgb, const std::string& label) {
  ASSERT_EQ(rgb.size(), static_cast<std::size_t>(kViewSize * kViewSize * 3)) << label;
  std::vector<unsigned char> middle;
  for (int y = kViewSize * 3 / 8; y < kViewSize * 5 / 8; ++y) {
    const auto row = rgb.begin() + (static_cast<long>(y) * kViewSize + kViewSize * 3 / 8) * 3;
    middle.insert(middle.end(), row, row + kViewSize / 4 * 3);
  }
  EXPECT_GT(covered_share(middle), 0.98) << label;
  EXPECT_GT(orange_share(middle), 0.25) << label;
  EXPECT_LT(orange_share(middle), 0.75) << label;
  for (int y : {1, kViewSize - 2}) {
    for (int x : {1, kViewSize - 2}) {
      const std::size_t i = (static_cast<std::size_t>(y) * kViewSize + x) * 3;
      EXPECT_EQ(gl_fixture::covered({rgb.begin() + i, rgb.begin() + i + 3}), 0)
          << label << " corner " << x << "," << y;
    }
  }
}

TEST(ViewToolTest, DrawsTheTexturedModelWithAndWithoutShaders) {
  test_support::TempDir folder;
  folder.write("data/ball.jm", gl_fixture::sphere_jm(false));
  const std::vector<unsigned char> pixels = gl_fixture::checker();
  ASSERT_TRUE(
      data::write_png(folder.file("data/ball.png").c_str(), pixels.data(), 64, 64, 3, false));
  const std::map<std::string, std::string> env = {{"SDL_VIDEODRIVER", "offscreen"},
                                                  {"KV_HOME", folder.file("data")},
                                                  {"XDG_DATA_HOME", folder.file("user")},
                                                  {"TAVO_LOGFILE", folder.file("log.txt")}};
  std::vector<std::vector<unsigned char>> pictures;
  for (const char* shaders : {"on", "off"}) {
    pictures.push_back(view({"@ball.jm", "--texture", "@ball.png", "--shaders", shaders},
                            folder.file(std::string("ball-") + shaders + ".png"), env));
    expect_checkered_ball(pictures.back(), std::string("shaders ") + shaders);
  }
  // The programs light and texture the ball as the fixed path does.
  ASSERT_EQ(pictures[0].size(), pictures[1].size());
  long differing = 0;
  for (std::size_t i = 0; i < pictures[0].size(); ++i) {
    differing += std::abs(pictures[0][i] - pictures[1][i]) > 40;
  }
  EXPECT_LT(differing, static_cast<long>(pictures[0].size() / 50));

  const test_support::ProcessResult missing = test_support::run_program(
      KORVEX_VIEW_EXE, {"@nothing.jm", "--out", folder.file("x.png")}, env);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Can't load @nothing.jm"), std::string::npos);
  const test_support::ProcessResult bad_argument =
      test_support::run_program(KORVEX_VIEW_EXE, {"--shaders", "maybe", "@ball.jm"}, env);
  EXPECT_EQ(bad_argument.status, 2);
}

// Without KV_HOME the viewer looks beside itself, where the build puts the game's pack.
TEST(ViewToolTest, FindsTheGameModelsWithoutKvHome) {
  test_support::TempDir folder;
  const std::map<std::string, std::string> env = {{"SDL_VIDEODRIVER", "offscreen"},
                                                  {"XDG_DATA_HOME", folder.file("user")},
                                                  {"TAVO_LOGFILE", folder.file("log.txt")}};
  const std::vector<unsigned char> frame =
      view({"@125sx_frame.jm", "--texture", "@125sx.png"}, folder.file("frame.png"), env);
  EXPECT_GT(covered_share(frame), 0.05);
  EXPECT_GT(orange_share(frame), 0.005);  // the maker's orange
}

}  // namespace
