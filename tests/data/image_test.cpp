// image_test.cpp -- the image readers, mip chains, resampling and border colour (no OpenGL).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/data_internal.h"
#include "data/image_fixtures.h"
#include "platform/log_internal.h"
#include "platform/platform.h"
#include "support/test_support.h"

using image_fixtures::make_jimage;
using image_fixtures::make_png;
using image_fixtures::PngSpec;
using image_fixtures::solid;

namespace {

using Bytes = std::vector<unsigned char>;

class ImageTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    log_capture.start();
  }
  void TearDown() override {
    image_free(image);
    log_capture.stop();
    DataFoldersTest::TearDown();
  }
  std::string logged() { return log_capture.text(); }
  // Writes `contents` as "@name" and reads it with `reader`.
  int read_with(int (*reader)(data::DataStream*, data::Image&), const std::string& contents) {
    home.write("image", contents);
    data::DataStream* stream = data::open_data("@image", "rb");
    EXPECT_NE(stream, nullptr);
    const int ok = reader(stream, image);
    data::close_data(stream);
    return ok;
  }
  int read_png_file(const std::string& contents, std::string& hints) {
    home.write("image.png", contents);
    return data::read_png("@image.png", image, hints);
  }
  // Level 0 of the image as bytes.
  Bytes level0() const {
    return Bytes(image.pixels, image.pixels + image.width * image.height * image.channels);
  }
  // Mip level `index` of the image's chain.
  Bytes level(int index) const {
    int w = image.width, h = image.height;
    const unsigned char* at = image.pixels;
    for (int i = 0; i < index; ++i) {
      at += w * h * image.channels;
      w = w > 1 ? w / 2 : 1;
      h = h > 1 ? h / 2 : 1;
    }
    return Bytes(at, at + w * h * image.channels);
  }
  test_support::LogCapture log_capture{"images.log"};
  data::Image image;
};

int read_jimage7(data::DataStream* stream, data::Image& image) {
  return data::read_jimage(stream, 4, image);
}
int read_jimage6(data::DataStream* stream, data::Image& image) {
  return data::read_jimage(stream, 3, image);
}

// Sets a PNG chunk's big-endian 32-bit field and recomputes the chunk's CRC.
void patch_ihdr(std::string& png, int width, int height) {
  auto put = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<char>(value >> (24 - 8 * i));
  };
  put(16, width);
  put(20, height);
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
  put(29, static_cast<std::uint32_t>(crc));
}

}  // namespace

TEST_F(ImageTest, PngColourTypesBecomeRgbOrRgba) {
  struct Case {
    const char* what;
    PngSpec spec;
    int channels;
    Bytes pixels;  // level 0
  };
  std::vector<Case> cases;
  {
    PngSpec s;
    s.width = 2;
    s.rows = {1, 2, 3, 4, 5, 6};
    cases.push_back({"rgb", s, 3, {1, 2, 3, 4, 5, 6}});
  }
  {
    PngSpec s;
    s.colour_type = PNG_COLOR_TYPE_RGBA;
    s.rows = {1, 2, 3, 4};
    cases.push_back({"rgba", s, 4, {1, 2, 3, 4}});
  }
  {
    PngSpec s;
    s.width = 2;
    s.colour_type = PNG_COLOR_TYPE_GRAY;
    s.rows = {7, 9};
    cases.push_back({"grey", s, 3, {7, 7, 7, 9, 9, 9}});
  }
  {
    PngSpec s;
    s.colour_type = PNG_COLOR_TYPE_GRAY_ALPHA;
    s.rows = {7, 100};
    cases.push_back({"grey and alpha", s, 4, {7, 7, 7, 100}});
  }
  {
    PngSpec s;
    s.width = 3;
    s.colour_type = PNG_COLOR_TYPE_GRAY;
    s.bit_depth = 1;
    s.rows = {0xa0};  // 1 0 1
    cases.push_back({"1-bit grey", s, 3, {255, 255, 255, 0, 0, 0, 255, 255, 255}});
  }
  {
    PngSpec s;
    s.width = 2;
    s.colour_type = PNG_COLOR_TYPE_PALETTE;
    s.palette = {{10, 20, 30}, {40, 50, 60}};
    s.rows = {1, 0};
    cases.push_back({"palette", s, 3, {40, 50, 60, 10, 20, 30}});
  }
  {
    PngSpec s;
    s.width = 2;
    s.colour_type = PNG_COLOR_TYPE_PALETTE;
    s.palette = {{10, 20, 30}, {40, 50, 60}};
    s.trans = {0};
    s.rows = {1, 0};
    cases.push_back({"palette with transparency", s, 4, {40, 50, 60, 255, 10, 20, 30, 0}});
  }
  {
    PngSpec s;
    s.width = 2;
    s.trans_colour = true;
    s.colour = {0, 4, 5, 6, 0};
    s.rows = {1, 2, 3, 4, 5, 6};
    cases.push_back({"rgb with a transparent colour", s, 4, {1, 2, 3, 255, 4, 5, 6, 0}});
  }
  {
    PngSpec s;
    s.bit_depth = 16;
    s.rows = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc};
    cases.push_back({"16-bit rgb", s, 3, {0x12, 0x56, 0x9a}});
  }
  {
    PngSpec s;
    s.width = 3;
    s.height = 3;
    s.interlaced = true;
    for (int i = 0; i < 27; ++i) s.rows.push_back(static_cast<unsigned char>(i * 9));
    cases.push_back({"interlaced", s, 3, s.rows});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string hints;
    ASSERT_EQ(read_png_file(make_png(c.spec), hints), 1) << data::image_error();
    EXPECT_EQ(image.width, c.spec.width);
    EXPECT_EQ(image.height, c.spec.height);
    EXPECT_EQ(image.channels, c.channels);
    EXPECT_EQ(level0(), c.pixels);
    image_free(image);
  }
}

TEST_F(ImageTest, PngHintsAreTextChunksInFileOrderThenTheSideFile) {
  PngSpec spec;
  spec.colour_type = PNG_COLOR_TYPE_RGBA;
  spec.width = 2;
  spec.height = 2;
  spec.rows = {0, 0, 0, 255, 200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  spec.text_before = {"[mip_max_alpha]", " before2"};
  spec.text_after = {" after"};
  home.write("image.png.info", " [side]\n");
  std::string hints;
  ASSERT_EQ(read_png_file(make_png(spec), hints), 1);
  EXPECT_EQ(hints, "[mip_max_alpha] before2 after [side]\n");
  // "[mip_max_alpha]" makes level 1's alpha the largest of the four.
  EXPECT_EQ(level(1), (Bytes{0, 0, 0, 255}));
}

TEST_F(ImageTest, PngCustomMipLevelsAreTakenFromTheirPlaces) {
  // 4 x 6: the base 4 x 4 on top, level 1 (2 x 2) below it at the left,
  // level 2 (1 x 1) to its right.
  Bytes pixels = solid(4, 6, {9, 9, 9});
  auto set = [&](int x, int y, unsigned char v) {
    for (int c = 0; c < 3; ++c) pixels[(y * 4 + x) * 3 + c] = v;
  };
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) set(x, y, 100);
  for (int y = 4; y < 6; ++y)
    for (int x = 0; x < 2; ++x) set(x, y, 50);
  set(2, 4, 25);
  std::string hints;
  ASSERT_EQ(read_png_file(make_png(4, 6, 3, pixels, {"[mip_custom]"}), hints), 1);
  EXPECT_EQ(image.height, 4);
  EXPECT_EQ(level0(), solid(4, 4, {100, 100, 100}));
  EXPECT_EQ(level(1), solid(2, 2, {50, 50, 50}));
  EXPECT_EQ(level(2), solid(1, 1, {25, 25, 25}));
}

TEST_F(ImageTest, PngCustomMipLevelsThatRunOutOfRoomAreReduced) {
  // 8 x 3: base 8 x 2; level 1 (4 x 1) at (0, 2), level 2 (2 x 1) at (4, 2);
  // level 3 would sit at row 3, below the picture, so it is reduced from level 2.
  Bytes pixels = solid(8, 3, {0, 0, 0});
  pixels[(2 * 8 + 4) * 3] = 100;
  pixels[(2 * 8 + 5) * 3] = 50;
  std::string hints;
  ASSERT_EQ(read_png_file(make_png(8, 3, 3, pixels, {"[mip_custom]"}), hints), 1);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(level(2), (Bytes{100, 0, 0, 50, 0, 0}));
  EXPECT_EQ(level(3), (Bytes{75, 0, 0}));
}

TEST_F(ImageTest, PngCustomMipWithABadHeightWarnsAndIsUsedAsLoaded) {
  std::string hints;
  ASSERT_EQ(read_png_file(make_png(4, 100, 3, solid(4, 100, {1, 2, 3}), {"[mip_custom]"}), hints),
            1);
  EXPECT_EQ(image.height, 100);
  EXPECT_EQ(level(2), solid(1, 25, {1, 2, 3}));
  EXPECT_NE(logged().find("Warning: Invalid height for custom MIP map in '@image.png'"),
            std::string::npos);
}

TEST_F(ImageTest, PngCutShortOrCorruptOrHugeIsRefused) {
  const std::string good = make_png(3, 2, 4, solid(3, 2, {1, 2, 3, 4}), {"hint"});
  std::string hints;
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(read_png_file(good.substr(0, cut), hints), 0);
    EXPECT_EQ(image.pixels, nullptr);
  }
  std::string flipped = good;
  flipped[good.find("IDAT") + 6] ^= 0x55;
  EXPECT_EQ(read_png_file(flipped, hints), 0);

  for (auto [width, height] :
       {std::pair{100000, 100000}, std::pair{16384, 16384}, std::pair{0, 4}}) {
    std::string huge = good;
    patch_ihdr(huge, width, height);
    EXPECT_EQ(read_png_file(huge, hints), 0) << width << " x " << height;
  }
  EXPECT_EQ(data::read_png("@missing.png", image, hints), 0);
}

TEST_F(ImageTest, PpmAndPgmReadBothKindsOrFailWithTheirMessage) {
  struct Case {
    const char* what;
    bool pgm;
    std::string file;
    int width;  // 0: the read fails
    Bytes pixels;
    const char* error;
  };
  const Case cases[] = {
      {"binary ppm",
       false,
       "P6\n# made by hand\n2 1\n255\n" + std::string("\x01\x02\x03\xff\x00\x80", 6),
       2,
       {1, 2, 3, 255, 0, 128},
       ""},
      {"ascii ppm, comments between values, scaled",
       false,
       "P3\n# c\n2 1 # width and height\n15\n15 0 0\n# mid\n0 15 5\n",
       2,
       {255, 0, 0, 0, 255, 85},
       ""},
      {"ascii ppm value above the maximum", false, "P3 1 1 1 2 0 1", 1, {255, 0, 255}, ""},
      {"binary pgm", true, "P5 3 1 255 " + std::string("\x00\x7f\xff", 3), 3, {0, 127, 255}, ""},
      {"ascii pgm", true, "P2\n2 1\n1\n0 1\n", 2, {0, 255}, ""},
      {"not a ppm", false, "P5 1 1 255 x", 0, {}, "Can't parse PPM header"},
      {"empty ppm", false, "", 0, {}, "Can't parse PPM header"},
      {"not a pgm", true, "P6 1 1 255 xyz", 0, {}, "Can't parse PGM header"},
      {"no height", false, "P6\n2\n", 0, {}, "Can't get PPM dimensions"},
      {"zero width", false, "P6 0 5 255\n", 0, {}, "Can't get PPM dimensions"},
      {"negative height", true, "P5 5 -1 255\n", 0, {}, "Can't get PGM dimensions"},
      {"zero maximum", false, "P3 1 1 0 0 0 0", 0, {}, "Can't get PPM dimensions"},
      {"absurd size", false, "P6 100000 100000 255\n", 0, {}, "Can't get PPM dimensions"},
      {"overflowing size", true, "P5 4294967296 2 255\n", 0, {}, "Can't get PGM dimensions"},
      {"binary cut short", false, "P6 2 2 255\n12345", 0, {}, "Can't read PPM pixels"},
      {"ascii cut short", true, "P2 2 2 255\n1 2 3", 0, {}, "Can't read PGM pixels"},
      {"ascii not a number", false, "P3 1 1 255 1 x 3", 0, {}, "Can't read PPM pixels"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int ok = read_with(c.pgm ? data::read_pgm : data::read_ppm, c.file);
    if (c.width == 0) {
      EXPECT_EQ(ok, 0);
      EXPECT_STREQ(data::image_error(), c.error);
      EXPECT_EQ(image.pixels, nullptr);
    } else {
      ASSERT_EQ(ok, 1) << data::image_error();
      EXPECT_EQ(image.width, c.width);
      EXPECT_EQ(image.channels, c.pgm ? 1 : 3);
      EXPECT_EQ(level0(), c.pixels);
    }
    image_free(image);
  }
}

TEST_F(ImageTest, PpmGetsAMipChain) {
  ASSERT_EQ(read_with(data::read_ppm, std::string("P6 2 1 255\n") + "\x0a\x14\x1e\x14\x28\x3c"), 1);
  EXPECT_EQ(level(1), (Bytes{15, 30, 45}));
}

TEST_F(ImageTest, JImagePredictsFromLeftUpAndTheClampedGradient) {
  // Worked by hand. J6: the bottom-right pixel is predicted from
  // up + left - upper-left = (17, 27, 37).
  const std::string j6 = std::string("\n# comment\n2\n# another\n2\n") +
                         "\x0a\x14\x1e"
                         "\x05\x05\x05"
                         "\x02\x02\x02"
                         "\xb7\xe5\xda";
  ASSERT_EQ(read_with(read_jimage6, j6), 1) << data::image_error();
  EXPECT_EQ(level0(), (Bytes{10, 20, 30, 15, 25, 35, 12, 22, 32, 200, 0, 255}));
  image_free(image);

  // J7 whose gradient prediction leaves 0..255 and is clamped: (400, -255, 0, 255)
  // becomes (255, 0, 0, 255).
  const std::string j7 = std::string(" 2 2 ") + std::string("\x00\xff\x00\xff", 4) +
                         std::string("\xc8\x01\x00\x00", 4) + std::string("\xc8\x01\x00\x00", 4) +
                         "\xfb\x05\x07\x81";
  ASSERT_EQ(read_with(read_jimage7, j7), 1) << data::image_error();
  EXPECT_EQ(level0(), (Bytes{0, 255, 0, 255, 200, 0, 0, 255, 200, 0, 0, 255, 250, 5, 7, 128}));
  EXPECT_EQ(level(1), (Bytes{150, 73, 1, 223}));  // alpha-weighted colour
}

TEST_F(ImageTest, JImageCutShortOrWithoutSizeIsRefused) {
  Bytes pixels;
  for (int i = 0; i < 5 * 3 * 4; ++i) pixels.push_back(static_cast<unsigned char>(i * 37));
  const std::string good = make_jimage(5, 3, 4, pixels).substr(2);  // after "J7"
  ASSERT_EQ(read_with(read_jimage7, good), 1);
  EXPECT_EQ(level0(), pixels);
  image_free(image);
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(read_with(read_jimage7, good.substr(0, cut)), 0);
  }
  EXPECT_EQ(read_with(read_jimage6, " 70000 2 "), 0);
  EXPECT_STREQ(data::image_error(), "Can't get J6 dimensions");
  EXPECT_EQ(read_with(read_jimage6, " 2 x "), 0);
  EXPECT_EQ(read_with(read_jimage6, " 2 2\n123"), 0);
  EXPECT_STREQ(data::image_error(), "J6 image cut short");
}

TEST(Reduce, AveragesBoxesWeightingColourByAlpha) {
  struct Case {
    const char* what;
    int width, height, channels;
    bool max_alpha;
    Bytes in, out;
  };
  const Case cases[] = {
      {"rgb", 2, 2, 3, false, {0, 10, 20, 2, 10, 20, 4, 10, 20, 6, 10, 23}, {3, 10, 20}},
      {"one visible pixel keeps its colour",
       2,
       2,
       4,
       false,
       {200, 0, 0, 255, 0, 0, 250, 0, 0, 0, 250, 0, 0, 0, 250, 0},
       {200, 0, 0, 63}},
      {"weights",
       2,
       2,
       4,
       false,
       {100, 0, 0, 30, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0},
       {75, 0, 0, 10}},
      {"all transparent: plain average",
       2,
       2,
       4,
       false,
       {200, 0, 0, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       {50, 0, 25, 0}},
      {"all opaque: plain average",
       2,
       2,
       4,
       false,
       {200, 0, 0, 255, 0, 0, 100, 255, 0, 0, 0, 255, 0, 0, 0, 255},
       {50, 0, 25, 255}},
      {"largest alpha",
       2,
       2,
       4,
       true,
       {200, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       {200, 0, 0, 255}},
      {"column of width 1 averages pairs",
       1,
       4,
       3,
       false,
       {10, 0, 0, 20, 0, 0, 30, 0, 0, 50, 0, 0},
       {15, 0, 0, 40, 0, 0}},
      {"row of height 1 averages pairs",
       4,
       1,
       3,
       false,
       {10, 0, 0, 20, 0, 0, 30, 0, 0, 50, 0, 0},
       {15, 0, 0, 40, 0, 0}},
      {"odd sizes drop the last row and column",
       3,
       3,
       3,
       false,
       {4, 0, 0, 8, 0, 0, 99, 0, 0, 12, 0, 0, 16, 0, 0, 99, 0, 0, 99, 0, 0, 99, 0, 0, 99, 0, 0},
       {10, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes out(c.out.size() + 8, 0xee);  // bytes past the level stay untouched
    data::reduce(c.in.data(), c.width, c.height, c.channels, c.max_alpha, out.data());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + c.out.size()), c.out);
    EXPECT_EQ(out.back(), 0xee);
  }
}

TEST(MipChain, SizesHalveDownToOneByOne) {
  EXPECT_EQ(data::mip_chain_bytes(1, 1, 4), 4u);
  EXPECT_EQ(data::mip_chain_bytes(4, 1, 3), 3u * (4 + 2 + 1));
  EXPECT_EQ(data::mip_chain_bytes(300, 200, 4), 4u * (300 * 200 + 150 * 100 + 75 * 50 + 37 * 25 +
                                                      18 * 12 + 9 * 6 + 4 * 3 + 2 * 1 + 1 * 1));
}

TEST(Resample, NonPowersOfTwoGrowToTheNextByNearestPixel) {
  data::Image image;
  data::image_allocate(image, 3, 1, 3);
  const Bytes pixels = {10, 0, 0, 20, 0, 0, 30, 0, 0};
  std::memcpy(image.pixels, pixels.data(), pixels.size());
  data::Image out = data::resample_to_power_of_two(image, false);
  EXPECT_EQ(out.width, 4);
  EXPECT_EQ(out.height, 1);
  EXPECT_EQ(Bytes(out.pixels, out.pixels + 12), (Bytes{10, 0, 0, 10, 0, 0, 20, 0, 0, 30, 0, 0}));
  EXPECT_EQ(Bytes(out.pixels + 12, out.pixels + 18), (Bytes{10, 0, 0, 25, 0, 0}));
  data::image_free(out);
  data::image_free(image);

  data::image_allocate(image, 300, 200, 4);
  std::memset(image.pixels, 7, 300 * 200 * 4);
  out = data::resample_to_power_of_two(image, false);
  EXPECT_EQ(out.width, 512);
  EXPECT_EQ(out.height, 256);
  data::image_free(out);
  data::image_free(image);
}

TEST(BorderColour, IsTheBordersCommonestColour) {
  // 5 x 4 RGB: the border is mostly (200, 12, 40) with two other pixels; the
  // inside, all (0, 255, 0), is not looked at.
  data::Image image;
  data::image_allocate(image, 5, 4, 3);
  const Bytes edge = {200, 12, 40};
  const Bytes inside = {0, 255, 0};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      const bool border = x == 0 || y == 0 || x == 4 || y == 3;
      std::memcpy(image.pixels + (y * 5 + x) * 3, (border ? edge : inside).data(), 3);
    }
  }
  image.pixels[0] = 0;
  image.pixels[(3 * 5 + 4) * 3 + 1] = 128;
  float rgb[3];
  data::border_colour(image, rgb);
  EXPECT_FLOAT_EQ(rgb[0], 200 / 255.0f);
  EXPECT_FLOAT_EQ(rgb[1], 12 / 255.0f);
  EXPECT_FLOAT_EQ(rgb[2], 40 / 255.0f);
  data::image_free(image);
}

TEST(DetailLevels, SkipWhileBothSidesAreAbove128) {
  struct Case {
    int width, height, detail, skip;
  } cases[] = {{1024, 1024, 2, 2}, {256, 128, 2, 0},  {512, 512, 4, 2},
               {1024, 1024, 0, 0}, {2048, 256, 4, 1}, {64, 64, 4, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(data::detail_levels_to_skip(c.width, c.height, c.detail), c.skip)
        << c.width << " x " << c.height << " at " << c.detail;
  }
}
