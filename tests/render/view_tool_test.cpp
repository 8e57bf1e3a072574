// view_tool_test.cpp -- korvex-view draws a model into a PNG, with and without programs.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/data.h"
#include "gl_fixture.h"
#include "support/test_support.h"

namespace {

TEST(ViewToolTest, WritesThePictureWithAndWithoutShaders) {
  const std::string tool = std::string(KORVEX_BUILD_DIR) + "/tools/korvex-view";
  if (!test_support::file_exists(tool)) GTEST_SKIP() << "korvex-view not built";
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
    const std::string out = folder.file(std::string("ball-") + shaders + ".png");
    const test_support::ProcessResult result = test_support::run_program(
        tool, {"@ball.jm", "--texture", "@ball.png", "--shaders", shaders, "--out", out}, env);
    ASSERT_EQ(result.status, 0) << result.err;
    data::Image image;
    std::string hints;
    ASSERT_EQ(data::read_png(out.c_str(), image, hints), 1) << shaders;
    EXPECT_EQ(image.width, 512);
    pictures.emplace_back(image.pixels, image.pixels + image.width * image.height * image.channels);
    data::image_free(image);
  }
  ASSERT_EQ(pictures[0].size(), pictures[1].size());
  long differing = 0;
  for (std::size_t i = 0; i < pictures[0].size(); ++i) {
    differing += std::abs(pictures[0][i] - pictures[1][i]) > 40;
  }
  EXPECT_LT(differing, static_cast<long>(pictures[0].size() / 50));

  const test_support::ProcessResult missing =
      test_support::run_program(tool, {"@nothing.jm", "--out", folder.file("x.png")}, env);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Can't load @nothing.jm"), std::string::npos);
  EXPECT_EQ(test_support::run_program(tool, {"--shaders", "maybe", "@ball.jm"}, env).status, 2);
}

}  // namespace
