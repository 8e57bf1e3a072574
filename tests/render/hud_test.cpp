// hud_test.cpp -- the riding HUD's layout, and the HUD drawn with the game's own pictures and
// fonts.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "data/data.h"
#include "gl_fixture.h"
#include "platform/platform.h"
#include "render/render.h"
#include "render/render_internal.h"

namespace {

const struct WindowSize {
  int width, height;
} kSizes[] = {{640, 480}, {1920, 1080}, {800, 600}, {1280, 1024}, {480, 640}};

bool inside(const render::HudBox& b, float width, float height) {
  return b.x >= 0 && b.y >= 0 && b.x + b.w <= width && b.y + b.h <= height && b.w > 0 && b.h > 0;
}

bool apart(const render::HudBox& a, const render::HudBox& b) {
  return a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y || b.y + b.h <= a.y;
}

// Every part inside the window, none on another, the text lines (five messages on the left,
// two timing lines on the right) above the gauges, and big enough to read.
TEST(HudLayoutTest, PartsFitApartAndReadable) {
  for (const WindowSize& s : kSizes) {
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
    const float w = static_cast<float>(s.width), h = static_cast<float>(s.height);
    const render::HudLayout l = render::hud_layout(s.width, s.height);
    const render::HudBox parts[] = {l.tach, l.shifter, l.speed, l.lean};
    for (const render::HudBox& p : parts) EXPECT_TRUE(inside(p, w, h));
    for (int i = 0; i < 4; ++i) {
      for (int j = i + 1; j < 4; ++j) EXPECT_TRUE(apart(parts[i], parts[j])) << i << " " << j;
    }
    const float text_bottom = h - l.margin - 5 * 1.15f * l.text_height;
    // The lean label stands 1.3 bar heights over the bar.
    EXPECT_GT(text_bottom, l.lean.y + l.lean.h * 2.6f);
    EXPECT_GT(text_bottom, l.speed.y + l.speed.h);
    EXPECT_GE(l.text_height, 12.0f);
    EXPECT_GE(l.speed.h, 30.0f);
    EXPECT_GE(l.tach.w, 110.0f);
    EXPECT_FLOAT_EQ(l.tach.w, l.tach.h);  // the dial stays round
  }
  // The HUD grows with the window: 1080 rows is 2.25 times 480.
  EXPECT_FLOAT_EQ(render::hud_layout(1920, 1080).tach.w,
                  2.25f * render::hud_layout(640, 480).tach.w);
}

// The build's own data (the generated pack) with its fonts, and an offscreen framebuffer of
// any size to draw into. Skips when the driver has no framebuffer objects.
class HudDrawTest : public gl_fixture::GamePackGlTest {
 protected:
  void SetUp() override {
    GamePackGlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!render::g_gl_caps.framebuffer_object || !render::g_gl.GenFramebuffers) {
      GTEST_SKIP() << "no framebuffer objects";
    }
    render::fonts_load();
    ASSERT_NE(render::g_font_text.texture, 0u) << "the pack has no @font.png";
    ASSERT_NE(render::g_font_digits.texture, 0u) << "the pack has no @numbers.png";
    platform::messages_clear();
    platform::set_game_time(0);
    saved_ = render::g_hud;
  }
  void TearDown() override {
    render::g_hud = saved_;
    platform::messages_clear();
    for (render::Font* f :
         {&render::g_font_text, &render::g_font_digits, &render::g_font_condensed}) {
      if (f->texture) glDeleteTextures(1, &f->texture);
      *f = render::Font{};
    }
    GlTest::TearDown();
  }

  // A riding HUD at 7000 rpm in third, 42 mph, half-way to falling, both timing lines on.
  static render::HudState riding(int width, int height) {
    render::HudState h;
    h.active = true;
    h.speed_mph = 42;
    h.gear = 3;
    h.rpm = 7000;
    h.rev_limit_rpm = 12000;
    h.show_lean = true;
    h.lean = 0.5f;
    h.show_clock = true;
    h.race_seconds = 83.45;
    h.show_fps = true;
    h.fps = 59.7f;
    h.window_width = width;
    h.window_height = height;
    return h;
  }

  // Draws the HUD over a plain ground into a width x height framebuffer; RGB rows, bottom first.
  std::vector<unsigned char> draw(const render::HudState& hud, const char* picture = nullptr) {
    const int width = hud.window_width, height = hud.window_height;
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    render::g_gl.GenFramebuffers(1, &framebuffer);
    render::g_gl.BindFramebuffer(GL_FRAMEBUFFER_EXT, framebuffer);
    render::g_gl.FramebufferTexture2D(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                      texture, 0);
    std::vector<unsigned char> rgb;
    if (render::g_gl.CheckFramebufferStatus(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT) {
      glViewport(0, 0, width, height);
      glClearColor(0.2f, 0.3f, 0.4f, 1.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      render::g_hud = hud;
      render::draw_hud();
      glFinish();
      render::read_frame_rgb(width, height, rgb);
    }
    render::g_gl.BindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
    render::g_gl.DeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    EXPECT_EQ(rgb.size(), static_cast<std::size_t>(width) * height * 3) << "framebuffer incomplete";
    if (picture && !rgb.empty()) {
      const std::string folder = std::string(KORVEX_BUILD_DIR) + "/test-artefacts/render/";
      data::make_directories(folder.c_str());
      data::write_png((folder + picture).c_str(), rgb.data(), width, height, 3, true);
    }
    return rgb;
  }

  render::HudState saved_;
};

struct Rgb {
  int r = 0, g = 0, b = 0;
};

Rgb pixel(const std::vector<unsigned char>& rgb, int width, float x, float y) {
  const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(x)) *
                        3;
  if (i + 2 >= rgb.size()) return {};
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

bool is_ground(const Rgb& p) {
  return std::abs(p.r - 51) + std::abs(p.g - 77) + std::abs(p.b - 102) <= 6;
}
bool is_light(const Rgb& p) { return p.r > 200 && p.g > 200 && p.b > 200; }

// Share of a box's pixels that are not the plain ground, and of those that are light (text).
struct Cover {
  double drawn = 0, light = 0;
};
Cover cover(const std::vector<unsigned char>& rgb, int width, float x, float y, float w, float h) {
  long drawn = 0, light = 0, all = 0;
  for (int py = static_cast<int>(y); py < static_cast<int>(y + h); ++py) {
    for (int px = static_cast<int>(x); px < static_cast<int>(x + w); ++px) {
      const Rgb p = pixel(rgb, width, static_cast<float>(px), static_cast<float>(py));
      ++all;
      drawn += !is_ground(p);
      light += is_light(p);
    }
  }
  if (!all) return {};
  return {static_cast<double>(drawn) / all, static_cast<double>(light) / all};
}

TEST_F(HudDrawTest, DrawsGaugesSpeedMessagesAndTimingAtBothSizes) {
  platform::message("Lap 2 of 5");
  for (const WindowSize& s : {kSizes[0], kSizes[1]}) {
    const std::string name = std::to_string(s.width) + "x" + std::to_string(s.height);
    SCOPED_TRACE(name);
    const std::vector<unsigned char> rgb =
        draw(riding(s.width, s.height), ("hud-" + name + ".png").c_str());
    if (rgb.empty()) continue;
    const render::HudLayout l = render::hud_layout(s.width, s.height);
    const float w = static_cast<float>(s.width), h = static_cast<float>(s.height);
    // The dial fills its circle: most of its square.
    EXPECT_GT(cover(rgb, s.width, l.tach.x, l.tach.y, l.tach.w, l.tach.h).drawn, 0.7);
    EXPECT_GT(cover(rgb, s.width, l.shifter.x, l.shifter.y, l.shifter.w, l.shifter.h).drawn, 0.8);
    const Cover speed = cover(rgb, s.width, l.speed.x, l.speed.y, l.speed.w, l.speed.h);
    EXPECT_GT(speed.light, 0.05);
    EXPECT_GT(cover(rgb, s.width, l.lean.x, l.lean.y, l.lean.w, l.lean.h).drawn, 0.95);
    // The message at the top left, the timing lines at the top right.
    const float line = 1.15f * l.text_height;
    EXPECT_GT(cover(rgb, s.width, l.margin, h - l.margin - line, w / 4, line).light, 0.03);
    EXPECT_GT(
        cover(rgb, s.width, w * 3 / 4, h - l.margin - 2 * line, w / 4 - l.margin, 2 * line).light,
        0.03);
    // The middle of the window, where the scene is, stays as it was.
    EXPECT_EQ(cover(rgb, s.width, w / 4, h / 4, w / 4, h / 2).drawn, 0.0);
  }
}

// The needle lies along the dial angle of the engine speed (0 at lower left, 7000 straight
// up, 14000 at lower right), orange below the rev limit and red from it on.
TEST_F(HudDrawTest, NeedleFollowsEngineSpeed) {
  const int width = 1920, height = 1080;
  const render::HudLayout l = render::hud_layout(width, height);
  const float cx = l.tach.x + l.tach.w / 2, cy = l.tach.y + l.tach.h / 2;
  const float radius = l.tach.w * 110 / 512;  // a needle's width from the hub, on the dark face
  auto along = [&](float rpm) {
    const float a = (225 - 270 * rpm / 14000) * std::numbers::pi_v<float> / 180;
    return std::pair<float, float>{cx + radius * std::cos(a), cy + radius * std::sin(a)};
  };
  auto orange = [](const Rgb& p) { return p.r > 200 && p.g > 100 && p.g < 180 && p.b < 80; };
  auto red = [](const Rgb& p) { return p.r > 200 && p.g < 80 && p.b < 80; };
  const float rpms[] = {0, 3500, 7000, 10500, 12500};
  std::vector<std::vector<unsigned char>> frames;
  for (float rpm : rpms) {
    render::HudState hud = riding(width, height);
    hud.rpm = rpm;
    frames.push_back(draw(hud, rpm == 12500 ? "hud-over-limit.png" : nullptr));
    if (frames.back().empty()) return;
  }
  for (std::size_t i = 0; i < frames.size(); ++i) {
    for (std::size_t j = 0; j < frames.size(); ++j) {
      const auto [x, y] = along(rpms[j]);
      const Rgb p = pixel(frames[i], width, x, y);
      SCOPED_TRACE("drawn at " + std::to_string(rpms[i]) + ", looked at " +
                   std::to_string(rpms[j]));
      const bool over = rpms[i] >= 12000;
      EXPECT_EQ(i == j && !over, orange(p)) << p.r << " " << p.g << " " << p.b;
      EXPECT_EQ(i == j && over, red(p)) << p.r << " " << p.g << " " << p.b;
    }
  }
}

// The knob sits at the gear's detent (1 at the bottom, neutral a step above it), and the
// window beside it shows the gear.
TEST_F(HudDrawTest, ShifterKnobAndWindowFollowTheGear) {
  const int width = 640, height = 480;
  const render::HudLayout l = render::hud_layout(width, height);
  const float scale = l.shifter.w / 256;
  const struct {
    int gear;
    float detent_y;  // in the picture, y down
  } gears[] = {{1, 216}, {0, 188}, {2, 160}, {5, 76}, {6, 76}};
  std::vector<std::vector<unsigned char>> frames;
  for (const auto& g : gears) {
    render::HudState hud = riding(width, height);
    hud.gear = g.gear;
    frames.push_back(draw(hud, g.gear == 0 ? "hud-neutral.png" : nullptr));
    if (frames.back().empty()) return;
  }
  const float knob_x = l.shifter.x + 62 * scale;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    for (const auto& g : gears) {
      const float y = l.shifter.y + l.shifter.h - g.detent_y * scale;
      EXPECT_EQ(is_light(pixel(frames[i], width, knob_x, y)), g.detent_y == gears[i].detent_y)
          << "gear " << gears[i].gear << " at the detent of " << g.gear;
    }
  }
  // The window: x 126..236, y 66..226 of the picture.
  auto window = [&](const std::vector<unsigned char>& rgb) {
    std::vector<unsigned char> out;
    for (int y = static_cast<int>(l.shifter.y + l.shifter.h - 226 * scale);
         y < static_cast<int>(l.shifter.y + l.shifter.h - 66 * scale); ++y) {
      for (int x = static_cast<int>(l.shifter.x + 126 * scale);
           x < static_cast<int>(l.shifter.x + 236 * scale); ++x) {
        const Rgb p = pixel(rgb, width, static_cast<float>(x), static_cast<float>(y));
        out.push_back(static_cast<unsigned char>(p.r / 2 + p.g / 2));
      }
    }
    return out;
  };
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
    EXPECT_NE(window(frames[i]), window(frames[i + 1]))
        << "gears " << gears[i].gear << " and " << gears[i + 1].gear;
  }
}

// Without a watched bike only the text is drawn; the GL state the scene left is kept.
TEST_F(HudDrawTest, WithoutABikeOnlyTextAndTheSceneStateKept) {
  platform::message("Waiting for the gate");
  render::HudState hud = riding(640, 480);
  hud.active = false;
  hud.show_fps = hud.show_clock = false;

  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-1, 1, -1, 1, 1, 100);
  GLfloat projection_before[16], projection_after[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection_before);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1, 2, 3);

  const std::vector<unsigned char> rgb = draw(hud, "hud-inactive.png");
  if (rgb.empty()) return;
  const render::HudLayout l = render::hud_layout(640, 480);
  EXPECT_EQ(cover(rgb, 640, l.tach.x, l.tach.y, l.tach.w, l.speed.y + l.speed.h - l.tach.y).drawn,
            0.0);
  EXPECT_EQ(cover(rgb, 640, l.shifter.x, l.shifter.y, l.shifter.w, l.shifter.h).drawn, 0.0);
  EXPECT_GT(
      cover(rgb, 640, l.margin, 480 - l.margin - 1.15f * l.text_height, 160, 1.15f * l.text_height)
          .light,
      0.03);
  EXPECT_EQ(cover(rgb, 640, 480, 400, 150, 70).drawn, 0.0);  // no timing lines

  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  glGetFloatv(GL_PROJECTION_MATRIX, projection_after);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(projection_after[i], projection_before[i]) << i;
  GLfloat modelview[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  EXPECT_FLOAT_EQ(modelview[12], 1);
  EXPECT_FLOAT_EQ(modelview[14], 3);
  EXPECT_EQ(render::current_program(), 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
