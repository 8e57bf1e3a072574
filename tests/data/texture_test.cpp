// texture_test.cpp -- the texture and image caches, links, animations, and the OpenGL upload.
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>
#include <gtest/gtest.h>

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
using image_fixtures::solid;

namespace {

using Bytes = std::vector<unsigned char>;

// What the cache asked of the device.
struct Created {
  unsigned id;
  int width, height, channels;
  data::TextureUpload upload;
  Bytes first_pixel;  // of the first level uploaded
};

struct Replaced {
  unsigned id;
  Bytes first_pixel;
};

struct FakeDevice {
  static inline std::vector<Created> created;
  static inline std::vector<Replaced> replaced;
  static inline std::vector<unsigned> destroyed;
  static inline unsigned next_id = 1;

  static Bytes first_pixel(const data::Image& image, int first_level) {
    std::size_t at = 0;
    int w = image.width, h = image.height;
    for (int i = 0; i < first_level; ++i) {
      at += static_cast<std::size_t>(w) * h * image.channels;
      w = w > 1 ? w / 2 : 1;
      h = h > 1 ? h / 2 : 1;
    }
    return Bytes(image.pixels + at, image.pixels + at + image.channels);
  }
  static unsigned create(const data::Image& image, const data::TextureUpload& upload, long* bytes) {
    const unsigned id = next_id++;
    created.push_back({id, image.width, image.height, image.channels, upload,
                       first_pixel(image, upload.first_level)});
    *bytes =
        (image.width >> upload.first_level) * (image.height >> upload.first_level) * image.channels;
    return id;
  }
  static void replace(unsigned id, const data::Image& image, int first_level) {
    replaced.push_back({id, first_pixel(image, first_level)});
  }
  static void destroy(unsigned id) { destroyed.push_back(id); }
  static void reset() {
    created.clear();
    replaced.clear();
    destroyed.clear();
  }
};

const data::TextureDevice kFake = {FakeDevice::create, FakeDevice::replace, FakeDevice::destroy};

class TextureCacheTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    log_capture.start();
    data::texture_cache_reset_for_test();
    data::g_texture_settings = {};
    data::set_texture_device(&kFake);
    FakeDevice::reset();
  }
  void TearDown() override {
    data::texture_cache_reset_for_test();
    data::set_texture_device(nullptr);
    data::g_texture_settings = {};
    log_capture.stop();
    DataFoldersTest::TearDown();
  }
  std::string logged() { return log_capture.text(); }
  static int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++n;
    }
    return n;
  }
  // A w x h RGB PNG of one colour in the data folder.
  void png(const std::string& name, int w, int h, Bytes colour = {10, 20, 30},
           std::vector<std::string> text = {}) {
    home.write(name, make_png(w, h, static_cast<int>(colour.size()), solid(w, h, colour),
                              std::move(text)));
  }
  test_support::LogCapture log_capture{"textures.log"};
};

}  // namespace

TEST_F(TextureCacheTest, SharedByNameAndACaseMismatchWarnsOnEveryRequest) {
  png("skin.png", 2, 2);
  const unsigned id = data::texture_load("@skin.png");
  ASSERT_NE(id, 0u);
  EXPECT_EQ(data::texture_load("@skin.png"), id);
  EXPECT_EQ(data::texture_load("@SKIN.png"), id);
  EXPECT_EQ(data::texture_load("@SKIN.png"), id);
  EXPECT_EQ(FakeDevice::created.size(), 1u);
  EXPECT_EQ(count(logged(), "Warning: case mismatch on '@SKIN.png'"), 2);
}

TEST_F(TextureCacheTest, WrapComesFromTheName) {
  struct Case {
    const char* name;
    bool repeat_s, repeat_t;
  } cases[] = {{"@a-repeat.png", true, true},
               {"@b-hrepeat.png", true, false},
               {"@c-vrepeat.png", false, true},
               {"@d.png", false, false},
               {"@f-repeatx.png", false, false}};
  for (const Case& c : cases) {
    png(c.name + 1, 2, 2);
    ASSERT_NE(data::texture_load(c.name), 0u) << c.name;
    EXPECT_EQ(FakeDevice::created.back().upload.repeat_s, c.repeat_s) << c.name;
    EXPECT_EQ(FakeDevice::created.back().upload.repeat_t, c.repeat_t) << c.name;
  }
}

TEST_F(TextureCacheTest, DetailLevelSkipsLargeLevelsUnlessTheNameStartsWithBang) {
  data::g_texture_settings.model_detail = 2;
  png("big.png", 1024, 1024);
  png("big2.png", 1024, 1024);
  png("wide.png", 256, 128);
  ASSERT_NE(data::texture_load("@big.png"), 0u);
  EXPECT_EQ(FakeDevice::created.back().upload.first_level, 2);
  ASSERT_NE(data::texture_load("!@big2.png"), 0u);
  EXPECT_EQ(FakeDevice::created.back().upload.first_level, 0);
  ASSERT_NE(data::texture_load("@wide.png"), 0u);
  EXPECT_EQ(FakeDevice::created.back().upload.first_level, 0);
  // "!" only changes how it is loaded: the cache knows it by the bare name.
  EXPECT_EQ(data::texture_load("@big2.png"), FakeDevice::created[1].id);
}

TEST_F(TextureCacheTest, NonPowerOfTwoIsResampledAndWarned) {
  png("npot.png", 300, 200);
  ASSERT_NE(data::texture_load("@npot.png"), 0u);
  EXPECT_EQ(FakeDevice::created.back().width, 512);
  EXPECT_EQ(FakeDevice::created.back().height, 256);
  EXPECT_EQ(FakeDevice::created.back().first_pixel, (Bytes{10, 20, 30}));
  EXPECT_NE(logged().find("Warning: Non power of 2 texture '@npot.png'"), std::string::npos);
}

TEST_F(TextureCacheTest, CompressionSettingOverridesTheFilesHint) {
  png("plain.png", 2, 2);
  png("packed.png", 2, 2, {1, 2, 3}, {"[compress]"});
  struct Case {
    int setting;
    bool plain, packed;
  } cases[] = {{0, false, false}, {1, false, true}, {2, true, true}};
  for (const Case& c : cases) {
    data::texture_cache_reset_for_test();
    data::g_texture_settings.compression = c.setting;
    ASSERT_NE(data::texture_load("@plain.png"), 0u);
    EXPECT_EQ(FakeDevice::created.back().upload.compress, c.plain) << c.setting;
    ASSERT_NE(data::texture_load("@packed.png"), 0u);
    EXPECT_EQ(FakeDevice::created.back().upload.compress, c.packed) << c.setting;
  }
}

TEST_F(TextureCacheTest, ReadsEachFormatByItsFirstWord) {
  home.write("j7.tex", make_jimage(2, 2, 4, solid(2, 2, {1, 2, 3, 4})));
  home.write("j6.tex", make_jimage(2, 2, 3, solid(2, 2, {5, 6, 7})));
  home.write("p6.tex", std::string("P6 1 1 255\n") + "\x08\x09\x0a");
  home.write("p3.tex", "P3 1 1 255\n11 12 13\n");
  png("png.tex", 1, 1, {14, 15, 16, 17});
  home.write("junk.tex", "P5 1 1 255\nx");
  struct Case {
    const char* name;
    Bytes pixel;
  } cases[] = {{"@j7.tex", {1, 2, 3, 4}},
               {"@j6.tex", {5, 6, 7}},
               {"@p6.tex", {8, 9, 10}},
               {"@p3.tex", {11, 12, 13}},
               {"@png.tex", {14, 15, 16, 17}}};
  for (const Case& c : cases) {
    ASSERT_NE(data::texture_load(c.name), 0u) << c.name;
    EXPECT_EQ(FakeDevice::created.back().first_pixel, c.pixel) << c.name;
  }
  EXPECT_EQ(data::texture_load("@junk.tex"), 0u);
  EXPECT_EQ(FakeDevice::created.size(), 5u);
}

TEST_F(TextureCacheTest, OpenFailureIsShownFromDebugLevelOne) {
  EXPECT_EQ(data::texture_load("@quiet.png"), 0u);
  data::g_texture_settings.debug_level = 1;
  EXPECT_EQ(data::texture_load("@loud.png"), 0u);
  int width, height;
  const unsigned char* pixels;
  EXPECT_EQ(data::image_load("@loud_image.png", &width, &height, &pixels), 0);
  const std::string log = logged();
  EXPECT_EQ(log.find("@quiet.png"), std::string::npos);
  EXPECT_NE(log.find("Can't open texture \"@loud.png\""), std::string::npos);
  EXPECT_NE(log.find("Can't open texture \"@loud_image.png\""), std::string::npos);
}

TEST_F(TextureCacheTest, LinksAreFollowedAndRemembered) {
  png("target.png", 2, 2);
  home.write("first.link", "LINK @second.link\n");
  home.write("second.link", "LINK \n\t @target.png  \n");
  const unsigned id = data::texture_load("@first.link");
  ASSERT_NE(id, 0u);
  EXPECT_EQ(data::texture_load("@target.png"), id);
  EXPECT_EQ(data::texture_load("!@second.link"), id);
  EXPECT_EQ(FakeDevice::created.size(), 1u);

  // Once read, a link is known without its file.
  std::remove(home.file("first.link").c_str());
  EXPECT_EQ(data::texture_load("@first.link"), id);

  home.write("self.link", "LINK @self.link");
  home.write("ping.link", "LINK @pong.link");
  home.write("pong.link", "LINK @ping.link");
  home.write("empty.link", "LINK   \n");
  EXPECT_EQ(data::texture_load("@self.link"), 0u);
  EXPECT_EQ(data::texture_load("@ping.link"), 0u);
  EXPECT_EQ(data::texture_load("@ping.link"), 0u);
  EXPECT_EQ(data::texture_load("@empty.link"), 0u);
}

TEST_F(TextureCacheTest, SweepDeletesWhatTheNewGenerationDidNotUse) {
  data::g_texture_settings.debug_level = 1;
  png("hud.png", 2, 2);
  png("old.png", 4, 4);
  png("kept.png", 2, 1);
  const unsigned hud = data::texture_load("@hud.png");  // generation 0: never swept

  data::texture_new_generation();
  const unsigned old_id = data::texture_load("@old.png");
  const unsigned kept = data::texture_load("@kept.png");
  EXPECT_EQ(data::texture_memory(), 4 * 4 * 3 + 2 * 1 * 3);

  data::texture_new_generation();
  EXPECT_EQ(data::texture_memory(), 0);
  EXPECT_EQ(data::texture_load("@kept.png"), kept);  // used again: counted again
  EXPECT_EQ(data::texture_memory(), 2 * 1 * 3);
  data::texture_sweep();
  EXPECT_EQ(FakeDevice::destroyed, std::vector<unsigned>{old_id});

  data::texture_new_generation();
  data::texture_new_generation();
  data::texture_sweep();
  EXPECT_EQ(FakeDevice::destroyed, (std::vector<unsigned>{old_id, kept}));
  EXPECT_EQ(data::texture_load("@hud.png"), hud);
  const unsigned reloaded = data::texture_load("@old.png");
  EXPECT_NE(reloaded, 0u);
  EXPECT_EQ(FakeDevice::created.size(), 4u);
  EXPECT_NE(logged().find("deleting tid " + std::to_string(old_id) + " (@old.png)"),
            std::string::npos);
}

TEST_F(TextureCacheTest, ImageCacheGivesRgbaAndIsSweptLikeTextures) {
  data::g_texture_settings.debug_level = 1;
  png("map.png", 2, 1, {7, 8, 9});
  home.write("alpha.img", make_jimage(1, 1, 4, {1, 2, 3, 4}));
  int width = 0, height = 0;
  const unsigned char* pixels = nullptr;
  ASSERT_EQ(data::image_load("@map.png", &width, &height, &pixels), 1);
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 1);
  EXPECT_EQ(Bytes(pixels, pixels + 8), (Bytes{7, 8, 9, 255, 7, 8, 9, 255}));
  const unsigned char* cached = nullptr;
  ASSERT_EQ(data::image_load("@MAP.png", &width, &height, &cached), 1);
  EXPECT_EQ(cached, pixels);
  ASSERT_EQ(data::image_load("@alpha.img", &width, &height, &pixels), 1);
  EXPECT_EQ(Bytes(pixels, pixels + 4), (Bytes{1, 2, 3, 4}));

  data::texture_new_generation();
  ASSERT_EQ(data::image_load("@alpha.img", &width, &height, &pixels), 1);
  data::texture_new_generation();
  data::texture_sweep();  // map.png is of generation 0 and stays
  EXPECT_EQ(data::image_load("@map.png", &width, &height, &cached), 1);
  const std::string log = logged();
  EXPECT_NE(log.find("deleting image @alpha.img"), std::string::npos);
  EXPECT_EQ(count(log, "Warning: case mismatch on '@MAP.png'"), 1);
}

// Images are named as textures are: "!" (full detail) is dropped, and a LINK file, or a
// link the texture cache already knows, leads to the same cached image.
TEST_F(TextureCacheTest, ImageNamesFollowTheTextureRules) {
  png("picture.png", 1, 1, {5, 6, 7});
  home.write("picture.link", "LINK @picture.png\n");
  home.write("known.link", "LINK @picture.png\n");
  home.write("self.link", "LINK @self.link");
  ASSERT_NE(data::texture_load("@known.link"), 0u);
  std::remove(home.file("known.link").c_str());  // known without its file now

  int width = 0, height = 0;
  const unsigned char* plain = nullptr;
  ASSERT_EQ(data::image_load("@picture.png", &width, &height, &plain), 1);
  for (const char* name : {"!@picture.png", "@picture.link", "!@picture.link", "@known.link"}) {
    const unsigned char* pixels = nullptr;
    ASSERT_EQ(data::image_load(name, &width, &height, &pixels), 1) << name;
    EXPECT_EQ(pixels, plain) << name;  // one cached copy
  }
  const unsigned char* none = nullptr;
  EXPECT_EQ(data::image_load("@self.link", &width, &height, &none), 0);
  EXPECT_EQ(data::image_load("", &width, &height, &none), 0);
}

namespace {

std::string j7(int w, int h, Bytes colour) { return make_jimage(w, h, 4, solid(w, h, colour)); }

}  // namespace

TEST_F(TextureCacheTest, AnimationShowsTheFrameOfTheTick) {
  // Frames 0 1 1 2 of images red, green, blue (blue from a PNG), 4 ticks each.
  png("blue.png", 2, 2, {0, 0, 255, 255});
  for (bool loop : {true, false}) {
    SCOPED_TRACE(loop);
    data::texture_cache_reset_for_test();
    FakeDevice::reset();
    home.write("flag.seq", "ANIM1 4 3 4 " + std::to_string(loop) + "\n0 1 1 2\n" +
                               j7(2, 2, {255, 0, 0, 255}) + "\n" + j7(2, 2, {0, 255, 0, 255}) +
                               "\nPNG  @blue.png \n");
    const unsigned id = data::texture_load("@flag.seq");
    ASSERT_NE(id, 0u) << data::image_error();
    EXPECT_EQ(FakeDevice::created.back().first_pixel, (Bytes{255, 0, 0, 255}));

    data::anim_start(id, 100);
    struct Step {
      int now;
      int shown;  // 0 red, 1 green, 2 blue, -1 no change
    };
    const std::vector<Step> steps = {{50, -1},
                                     {100, -1},
                                     {104, 1},
                                     {111, -1},
                                     {112, 2},
                                     {115, -1},
                                     {116, loop ? 0 : -1},
                                     {120, loop ? 1 : -1},
                                     {132, loop ? 0 : -1}};
    const Bytes colours[3] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
    int shown = 0;
    for (const Step& step : steps) {
      FakeDevice::replaced.clear();
      data::anim_update(step.now);
      const int expected = step.shown < 0 || step.shown == shown ? -1 : step.shown;
      if (expected < 0) {
        EXPECT_TRUE(FakeDevice::replaced.empty()) << step.now;
      } else {
        ASSERT_EQ(FakeDevice::replaced.size(), 1u) << step.now;
        EXPECT_EQ(FakeDevice::replaced[0].id, id);
        EXPECT_EQ(FakeDevice::replaced[0].first_pixel, colours[expected]) << step.now;
        shown = expected;
      }
    }
    data::anim_pause(id);
    FakeDevice::replaced.clear();
    data::anim_update(1000);
    EXPECT_TRUE(FakeDevice::replaced.empty());
  }
}

TEST_F(TextureCacheTest, AnimationIsSweptWithItsTexture) {
  data::g_texture_settings.debug_level = 1;
  home.write("flag.seq",
             "ANIM1 2 2 1 1\n0 1\n" + j7(1, 1, {1, 1, 1, 1}) + "\n" + j7(1, 1, {2, 2, 2, 2}));
  data::texture_new_generation();
  const unsigned id = data::texture_load("@flag.seq");
  ASSERT_NE(id, 0u);
  data::texture_new_generation();
  data::texture_sweep();
  data::anim_start(id, 0);
  data::anim_update(1);
  EXPECT_TRUE(FakeDevice::replaced.empty());
  EXPECT_NE(logged().find("deleting anim 0 for tid " + std::to_string(id)), std::string::npos);
}

TEST_F(TextureCacheTest, BrokenAnimationsFailWithTheirMessage) {
  png("rgb.png", 2, 2);
  const std::string red = j7(2, 2, {255, 0, 0, 255});
  struct Case {
    std::string file;
    const char* error;
  } cases[] = {
      {"ANIM1 2 2 4 1\n0 1\n" + red + "\n" + j7(1, 1, {0, 0, 0, 0}),
       "Width/height mismatch reading .seq"},
      {"ANIM1 2 2 4 1\n0 1\n" + red + "\nPNG @rgb.png\n", "Depth mismatch reading .seq"},
      {"ANIM1 2 1 4 1\n0", "EOF while reading .seq"},
      {"ANIM1 2 2", "EOF while reading .seq"},
      {"ANIM1 1 2 4 1\n0\n" + red, "EOF while reading .seq"},
      {"ANIM1 1 1 4 1\n0\n" + red.substr(0, red.size() - 1), "EOF while reading .seq"},
      {"ANIM1 1 2 4 1\n0\n" + red + "\nGIF89a", "Error reading .seq frame 1"},
      {"ANIM1 1 1 4 1\n0\nJ6 1 1\nabc", "Error reading .seq frame 0"},
      {"ANIM1 1 1 4 1\n0\nPNG @nowhere.png\n", "Can't read @nowhere.png"},
      {"ANIM1 1 1 4 1\n1\n" + red, "Bad image index in .seq"},
      {"ANIM1 1 1 4 1\n-1\n" + red, "Bad image index in .seq"},
      {"ANIM1 0 1 4 1\n" + red, "Bad counts in .seq header"},
      {"ANIM1 1 0 4 1\n0\n", "Bad counts in .seq header"},
      {"ANIM1 1 1 0 1\n0\n" + red, "Bad counts in .seq header"},
      {"ANIM1 2000000000 1 4 1\n0\n", "Bad counts in .seq header"},
  };
  int index = 0;
  for (const Case& c : cases) {
    const std::string name = "bad" + std::to_string(index++) + ".seq";
    home.write(name, c.file);
    EXPECT_EQ(data::texture_load(("@" + name).c_str()), 0u) << c.error;
    EXPECT_STREQ(data::image_error(), c.error) << name;
  }
  EXPECT_TRUE(FakeDevice::created.empty());
}

// ---------------------------------------------------------------------------
// The OpenGL device, on SDL's offscreen driver.

namespace {

class GlTextureTest : public TextureCacheTest {
 protected:
  static void SetUpTestSuite() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    window = SDL_CreateWindow("texture test", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (window) context = SDL_GL_CreateContext(window);
  }
  // The context stays until the process ends: unloading the GL driver first would leave its
  // allocations without a module name, and the leak checker's suppressions could not match them.
  void SetUp() override {
    TextureCacheTest::SetUp();
    if (!context) {
      const std::string why = std::string("no OpenGL context: ") + SDL_GetError();
      if (test_support::require_display()) GTEST_FAIL() << why;
      GTEST_SKIP() << why;
    }
    data::set_texture_device(nullptr);
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    data::g_texture_settings.has_compression =
        extensions && std::strstr(extensions, "GL_ARB_texture_compression");
  }
  static GLint level_parameter(unsigned id, int level, GLenum name) {
    glBindTexture(GL_TEXTURE_2D, id);
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, name, &value);
    return value;
  }
  static GLint parameter(unsigned id, GLenum name) {
    glBindTexture(GL_TEXTURE_2D, id);
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
  }
  static Bytes pixels(unsigned id, int level, GLenum format, int size) {
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    Bytes out(size);
    glGetTexImage(GL_TEXTURE_2D, level, format, GL_UNSIGNED_BYTE, out.data());
    return out;
  }
  static inline SDL_Window* window = nullptr;
  static inline SDL_GLContext context = nullptr;
};

}  // namespace

TEST_F(GlTextureTest, NonPowerOfTwoUploadsTheResampledChain) {
  // 3 x 3 -> 4 x 4: nearest pixel doubles column 0 and row 0.
  Bytes rgb;
  for (int i = 0; i < 9; ++i) rgb.insert(rgb.end(), {static_cast<unsigned char>(i * 20), 0, 9});
  home.write("odd.png", make_png(3, 3, 3, rgb));
  const unsigned id = data::texture_load("@odd.png");
  ASSERT_NE(id, 0u);
  EXPECT_EQ(level_parameter(id, 0, GL_TEXTURE_WIDTH), 4);
  EXPECT_EQ(level_parameter(id, 0, GL_TEXTURE_HEIGHT), 4);
  EXPECT_EQ(level_parameter(id, 2, GL_TEXTURE_WIDTH), 1);
  const Bytes level0 = pixels(id, 0, GL_RGB, 4 * 4 * 3);
  const int columns[4] = {0, 0, 1, 2};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(level0[(y * 4 + x) * 3], (columns[y] * 3 + columns[x]) * 20) << x << "," << y;
    }
  }
  EXPECT_GE(data::texture_memory(), 4 * 4 * 3);
}

TEST_F(GlTextureTest, DetailLevelStartsFromASmallerLevel) {
  data::g_texture_settings.model_detail = 2;
  png("big.png", 1024, 512, {1, 2, 3, 4});
  png("small.png", 256, 128);
  const unsigned big = data::texture_load("@big.png");
  const unsigned small = data::texture_load("@small.png");
  EXPECT_EQ(level_parameter(big, 0, GL_TEXTURE_WIDTH), 256);
  EXPECT_EQ(level_parameter(big, 0, GL_TEXTURE_HEIGHT), 128);
  EXPECT_EQ(pixels(big, 8, GL_RGBA, 4), (Bytes{1, 2, 3, 4}));  // 1 x 1 at level 8
  EXPECT_EQ(level_parameter(small, 0, GL_TEXTURE_WIDTH), 256);
}

TEST_F(GlTextureTest, WrapFilterAndBorderColour) {
  png("clamped.png", 4, 4, {51, 102, 204});
  png("tiles-repeat.png", 4, 4);
  const unsigned clamped = data::texture_load("@clamped.png");
  const unsigned tiles = data::texture_load("@tiles-repeat.png");
  EXPECT_EQ(parameter(clamped, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
  EXPECT_EQ(parameter(clamped, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
  EXPECT_EQ(parameter(tiles, GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(parameter(tiles, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
  EXPECT_EQ(parameter(tiles, GL_TEXTURE_MAG_FILTER), GL_LINEAR);

  data::g_texture_settings.has_clamp_to_edge = false;
  png("old-card.png", 4, 4, {51, 102, 204});
  const unsigned old_card = data::texture_load("@old-card.png");
  EXPECT_EQ(parameter(old_card, GL_TEXTURE_WRAP_S), GL_CLAMP);
  glBindTexture(GL_TEXTURE_2D, old_card);
  float border[4] = {};
  glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
  EXPECT_FLOAT_EQ(border[0], 0.2f);
  EXPECT_FLOAT_EQ(border[1], 0.4f);
  EXPECT_FLOAT_EQ(border[2], 0.8f);
  EXPECT_FLOAT_EQ(border[3], 1.0f);
}

TEST_F(GlTextureTest, CompressedWhenAskedAndSupported) {
  if (!data::g_texture_settings.has_compression) GTEST_SKIP() << "no texture compression";
  data::g_texture_settings.compression = 2;
  png("packed.png", 64, 64, {9, 9, 9, 255});
  const unsigned id = data::texture_load("@packed.png");
  ASSERT_NE(id, 0u);
  const GLint internal = level_parameter(id, 0, GL_TEXTURE_INTERNAL_FORMAT);
  EXPECT_NE(internal, GL_RGBA);
  EXPECT_NE(internal, GL_RGBA8);
}

TEST_F(GlTextureTest, AnimationReplacesEveryLevel) {
  home.write("flag.seq", "ANIM1 2 2 2 1\n0 1\n" + j7(2, 2, {255, 0, 0, 255}) + "\n" +
                             j7(2, 2, {0, 0, 255, 255}));
  const unsigned id = data::texture_load("@flag.seq");
  ASSERT_NE(id, 0u);
  EXPECT_EQ(pixels(id, 1, GL_RGBA, 4), (Bytes{255, 0, 0, 255}));
  data::anim_start(id, 0);
  data::anim_update(2);
  EXPECT_EQ(pixels(id, 0, GL_RGBA, 16), solid(2, 2, {0, 0, 255, 255}));
  EXPECT_EQ(pixels(id, 1, GL_RGBA, 4), (Bytes{0, 0, 255, 255}));
}
