// standings_test.cpp -- the results table, pit board, ticker and statistics lines: laid out
// clear of the HUD and of each other, and drawn with the game's own fonts and pit board.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "data/data.h"
#include "gl_fixture.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "render/render_internal.h"

namespace {

template <std::size_t N>
void set(char (&out)[N], const char* text) {
  std::snprintf(out, N, "%s", text);
}

// A field of three at the end of the race, the second of them watched and penalised, with
// every part shown.
render::StandingsState everything(int width, int height) {
  render::StandingsState s;
  s.window_width = width;
  s.window_height = height;
  race::ResultsTable& t = s.table;
  t.shown = t.classified = true;
  set(t.title, "Final Results");
  const char* const rows[3][6] = {{"1", " 12", "L5", "  0.000", "2:05.125", "(3)"},
                                  {"2", "  7", "L5", " 15.344", "2:07.500", "(2)"},
                                  {"3", " 42", "L4", " 35.844", "2:11.000", "(4)"}};
  for (int i = 0; i < 3; ++i) {
    race::ResultsRow& r = t.rows[i];
    set(r.position, rows[i][0]);
    set(r.number, rows[i][1]);
    set(r.laps, rows[i][2]);
    set(r.gap, rows[i][3]);
    set(r.best_time, rows[i][4]);
    set(r.best_lap, rows[i][5]);
    r.viewed = i == 1;
  }
  t.row_count = 3;
  set(t.total, "Total Race Time: 10:31.250");
  std::snprintf(t.penalties[0].data(), race::kResultsPenaltyText, "%s",
                "  7 penalized 12.34 seconds for cutting track");
  t.penalty_count = 1;

  race::PitBoard& b = s.pit_board;
  b.shown = true;
  set(b.number, "7");
  set(b.lap_position, "L5 P2");
  set(b.gap, "-15.3 ");
  set(b.last, "Last - 2:09.4 ");
  set(b.best, "Best - 2:07.5");
  set(b.closing, " 12 (1.5) ");

  s.show_ticker = true;
  race::Ticker& k = s.ticker;
  const char* const entries[3][4] = {{"1", " 12", "Bob Rider", ""},
                                     {"2", "  7", "Ann Racer", " 15.344"},
                                     {"3", " 42", "Cid Jumper", " 20.500"}};
  for (int i = 0; i < 3; ++i) {
    set(k.entries[i].position, entries[i][0]);
    set(k.entries[i].number, entries[i][1]);
    set(k.entries[i].name, entries[i][2]);
    set(k.entries[i].gap, entries[i][3]);
  }
  k.count = 3;
  set(k.lap, "Lap 5");
  k.lap_box = race::kLapBoxLastLap;

  s.show_ping = true;
  s.ping_ms = 48;
  s.ping_offset_ms = -3;
  s.show_render_stats = true;
  return s;
}

render::HudState riding(int width, int height) {
  render::HudState h;
  h.active = true;
  h.speed_mph = 42;
  h.gear = 3;
  h.rpm = 7000;
  h.show_lean = true;
  h.lean = 0.4f;
  h.show_clock = h.show_fps = true;
  h.race_seconds = 631.25;
  h.fps = 60;
  h.window_width = width;
  h.window_height = height;
  return h;
}

bool apart(const render::HudBox& a, const render::HudBox& b) {
  return a.h == 0 || b.h == 0 || a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y ||
         b.y + b.h <= a.y;
}

const struct WindowSize {
  int width, height;
} kSizes[] = {{640, 480}, {1920, 1080}, {800, 600}, {1280, 1024}};

TEST(StandingsLayoutTest, PartsKeepClearOfTheHudAndOfEachOther) {
  for (const WindowSize& size : kSizes) {
    SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
    const render::StandingsState s = everything(size.width, size.height);
    const render::HudState hud_state = riding(size.width, size.height);
    const render::StandingsLayout l = render::standings_layout(s, hud_state);
    const render::HudLayout hud = render::hud_layout(size.width, size.height);
    const float w = static_cast<float>(size.width), h = static_cast<float>(size.height);
    const float line = 1.15f * hud.text_height;
    // The HUD's own parts, with its messages and timing lines at the top as bands.
    const render::HudBox messages = {0, h - hud.margin - 5 * line, w, 5 * line + hud.margin};
    const render::HudBox lean_label = {hud.lean.x, hud.lean.y, hud.lean.w, hud.lean.h * 3.5f};
    const render::HudBox hud_parts[] = {hud.tach, hud.shifter, hud.speed, lean_label};
    const render::HudBox own[] = {l.table, l.pit_board, l.ticker, l.lap_box};
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      EXPECT_GT(own[i].h, 0);
      EXPECT_GE(own[i].x, 0);
      EXPECT_LE(own[i].x + own[i].w, w);
      EXPECT_GE(own[i].y, 0);
      EXPECT_LE(own[i].y + own[i].h, h);
      for (const render::HudBox& part : hud_parts) EXPECT_TRUE(apart(own[i], part));
      EXPECT_TRUE(apart(own[i], messages));
      EXPECT_TRUE(apart(own[i], l.timing_lines));
      for (int j = i + 1; j < 4; ++j) EXPECT_TRUE(apart(own[i], own[j])) << j;
    }
    // Ping and six statistics lines under the HUD's two timing lines.
    EXPECT_NEAR(l.timing_lines.y + l.timing_lines.h, h - hud.margin - 2 * line, 0.01);
    EXPECT_NEAR(l.timing_lines.h, 7 * l.timing_line, 0.01);
    // Every line of the table fits, big enough to read.
    EXPECT_EQ(l.table_lines, 5);
    EXPECT_GE(l.table_row, 14.0f);
    EXPECT_GE(l.pit_board.w, 150.0f);
  }
  // A field too large for the window shows the rows that fit and keeps clear of the ticker.
  render::StandingsState s = everything(640, 480);
  s.table.row_count = race::kTimingSlots;
  const render::StandingsLayout l = render::standings_layout(s, riding(640, 480));
  EXPECT_GT(l.table_lines, 3);
  EXPECT_LT(l.table_lines, race::kTimingSlots);
  EXPECT_TRUE(apart(l.table, l.ticker));
}

// The build's own data with its fonts and pit board, drawn into a 640 x 480 framebuffer.
class StandingsDrawTest : public gl_fixture::GamePackGlTest {
 protected:
  void SetUp() override {
    GamePackGlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!render::g_gl_caps.framebuffer_object || !render::g_gl.GenFramebuffers) {
      GTEST_SKIP() << "no framebuffer objects";
    }
    render::fonts_load();
    ASSERT_NE(render::g_font_text.texture, 0u) << "the pack has no @font.png";
    ASSERT_NE(data::texture_load("!@pitboard.png"), 0u);
    platform::messages_clear();
    saved_hud_ = render::g_hud;
    saved_ = render::g_standings;
    render::g_frame_counters = {};
    render::g_frame_counters.ground_polygons = 5120;
    render::g_frame_counters.texture_changes = 31;
    render::reset_render_stats();
  }
  void TearDown() override {
    render::g_hud = saved_hud_;
    render::g_standings = saved_;
    render::g_frame_counters = {};
    render::reset_render_stats();
    platform::messages_clear();
    for (render::Font* f :
         {&render::g_font_text, &render::g_font_digits, &render::g_font_condensed}) {
      if (f->texture) glDeleteTextures(1, &f->texture);
      *f = render::Font{};
    }
    GlTest::TearDown();
  }

  // The HUD, then the standings, over a plain ground; RGB rows, bottom first.
  std::vector<unsigned char> draw(const render::StandingsState& s, const char* picture,
                                  bool standings = true) {
    const int width = s.window_width, height = s.window_height;
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
      render::g_hud = riding(width, height);
      render::draw_hud();
      render::g_standings = s;
      if (standings) render::draw_standings();
      glFinish();
      render::read_frame_rgb(width, height, rgb);
    }
    render::g_gl.BindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
    render::g_gl.DeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    EXPECT_EQ(rgb.size(), static_cast<std::size_t>(width) * height * 3) << "framebuffer incomplete";
    if (picture && !rgb.empty()) gl_fixture::keep_picture(picture, rgb, width, height);
    return rgb;
  }

  render::HudState saved_hud_;
  render::StandingsState saved_;
};

struct Rgb {
  int r = 0, g = 0, b = 0;
};
Rgb pixel(const std::vector<unsigned char>& rgb, int width, int x, int y) {
  const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

// Pixels of a box that pass a test.
template <typename Test>
int count(const std::vector<unsigned char>& rgb, int width, const render::HudBox& box, Test test) {
  int n = 0;
  for (int y = static_cast<int>(box.y); y < static_cast<int>(box.y + box.h); ++y) {
    for (int x = static_cast<int>(box.x); x < static_cast<int>(box.x + box.w); ++x) {
      n += test(pixel(rgb, width, x, y)) ? 1 : 0;
    }
  }
  return n;
}
bool white(const Rgb& p) { return p.r > 235 && p.g > 235 && p.b > 235; }
bool grey_text(const Rgb& p) { return p.r > 150 && p.r < 215 && std::abs(p.r - p.b) < 12; }
bool red(const Rgb& p) { return p.r > 200 && p.g < 110 && p.b < 110; }
bool green(const Rgb& p) { return p.g > 110 && p.r < 60 && p.b < 90; }

TEST_F(StandingsDrawTest, TablePitBoardTickerAndStatisticsAt640x480) {
  platform::message("Lap 5 of 5");
  render::StandingsState s = everything(640, 480);
  const std::vector<unsigned char> rgb = draw(s, "standings-640x480.png");
  if (rgb.empty()) return;
  const render::StandingsLayout l = render::standings_layout(s, riding(640, 480));

  // The table's rows: the viewed one (the second) in white, the others in grey; the penalty
  // line in red below the total.
  const float row = l.table_row;
  const float first_row_y = l.table.y + l.table.h - 6 - 20 - 13 - row;  // title, heads
  const auto row_box = [&](int i) {
    return render::HudBox{l.table.x, first_row_y - i * row, l.table.w, row * 0.8f};
  };
  EXPECT_GT(count(rgb, 640, row_box(0), grey_text), 40);
  EXPECT_LT(count(rgb, 640, row_box(0), white), 5);
  EXPECT_GT(count(rgb, 640, row_box(1), white), 60);
  EXPECT_GT(count(rgb, 640, row_box(4), red), 60);
  EXPECT_EQ(count(rgb, 640, row_box(3), red), 0);

  // The pit board picture with chalk on it, the ticker's white number fields, the lap box
  // white on the last lap, the statistics at the top right.
  EXPECT_GT(count(rgb, 640, l.pit_board, white), 300);
  EXPECT_GT(count(rgb, 640, l.ticker, white), 300);
  EXPECT_GT(count(rgb, 640, l.lap_box, white), l.lap_box.w * l.lap_box.h * 0.6f);
  EXPECT_GT(count(rgb, 640, l.timing_lines, white), 400);

  // The lap box: green while racing, chequered at the end (half of it black).
  s.ticker.lap_box = race::kLapBoxRacing;
  const std::vector<unsigned char> racing = draw(s, nullptr);
  if (racing.empty()) return;
  EXPECT_GT(count(racing, 640, l.lap_box, green), l.lap_box.w * l.lap_box.h * 0.5f);
  s.ticker.lap_box = race::kLapBoxChequered;
  s.ticker.lap[0] = '\0';
  const std::vector<unsigned char> chequered = draw(s, "standings-chequered.png");
  if (chequered.empty()) return;
  const int black = count(chequered, 640, l.lap_box,
                          [](const Rgb& p) { return p.r < 20 && p.g < 20 && p.b < 20; });
  EXPECT_NEAR(black, l.lap_box.w * l.lap_box.h / 2, l.lap_box.w * l.lap_box.h * 0.1f);
}

// The ticker scrolls with its clock; what goes out at the left comes in again at the right.
TEST_F(StandingsDrawTest, TickerScrolls) {
  render::StandingsState s = everything(640, 480);
  s.table.shown = s.pit_board.shown = false;
  std::vector<std::vector<unsigned char>> strips;
  const render::StandingsLayout l = render::standings_layout(s, riding(640, 480));
  for (const double seconds : {0.0, 1.0, 2.0}) {
    s.ticker_seconds = seconds;
    const std::vector<unsigned char> rgb =
        draw(s, seconds == 1.0 ? "standings-ticker.png" : nullptr);
    if (rgb.empty()) return;
    std::vector<unsigned char> strip;
    for (int y = static_cast<int>(l.ticker.y); y < static_cast<int>(l.ticker.y + l.ticker.h); ++y) {
      const std::size_t at = (static_cast<std::size_t>(y) * 640 + static_cast<int>(l.ticker.x)) * 3;
      strip.insert(strip.end(), rgb.begin() + at,
                   rgb.begin() + at + static_cast<int>(l.ticker.w) * 3);
    }
    strips.push_back(strip);
  }
  EXPECT_NE(strips[0], strips[1]);
  EXPECT_NE(strips[1], strips[2]);
}

// Nothing to show draws nothing, and the GL state the scene left is kept.
TEST_F(StandingsDrawTest, NothingShownDrawsNothingAndStateIsKept) {
  render::StandingsState s;
  s.window_width = 640;
  s.window_height = 480;
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-1, 1, -1, 1, 1, 100);
  GLfloat before[16], after[16];
  glGetFloatv(GL_PROJECTION_MATRIX, before);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1, 2, 3);

  const std::vector<unsigned char> hud_alone = draw(s, nullptr, false);
  const std::vector<unsigned char> empty = draw(s, nullptr);
  if (empty.empty()) return;
  EXPECT_EQ(empty, hud_alone);
  // A full set of parts leaves the state as it was, too.
  const std::vector<unsigned char> full = draw(everything(640, 480), nullptr);
  if (full.empty()) return;
  EXPECT_NE(empty, full);

  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  glGetFloatv(GL_PROJECTION_MATRIX, after);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(after[i], before[i]) << i;
  GLfloat modelview[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  EXPECT_FLOAT_EQ(modelview[12], 1);
  EXPECT_FLOAT_EQ(modelview[14], 3);
  EXPECT_EQ(render::current_program(), 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
