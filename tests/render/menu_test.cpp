// menu_test.cpp -- the menu pages' layout over window sizes, and the pages drawn with the
// game's own font over a bright scene.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "gl_fixture.h"
#include "render/render.h"
#include "render/render_internal.h"

namespace {

using render::HudBox;
using render::MenuLayout;
using render::MenuLine;
using render::MenuView;

const struct WindowSize {
  int width, height;
} kSizes[] = {{640, 480}, {800, 600}, {1920, 1080}, {480, 640}};

std::string size_name(const WindowSize& s) {
  return std::to_string(s.width) + "x" + std::to_string(s.height);
}

MenuLine button(const std::string& label) { return {label, "", true, true, false}; }
MenuLine setting(const std::string& label, const std::string& value) {
  return {label, value, true, true, false};
}
MenuLine heading(const std::string& label) { return {label, "", false, true, false}; }

MenuView select(MenuView view, int line) {
  view.lines[static_cast<std::size_t>(line)].selected = true;
  return view;
}

// The main menu: a few buttons under the product name, the notice at the bottom.
MenuView main_menu() {
  MenuView v;
  v.title = "Korvex";
  for (const char* label :
       {"New Race", "Bike Setup", "Rider Setup", "Controls", "Graphics/Sound Setup", "Exit"}) {
    v.lines.push_back(button(label));
  }
  v.notice_alpha = 1;
  return select(v, 0);
}

// The New Race page: 47 lines, the 40 gates last.
MenuView new_race(int selected) {
  MenuView v;
  v.title = "New Race";
  v.lines = {button("Start"),
             button("Back to Main Menu"),
             setting("Track", "Rabbit Hill"),
             setting("Laps", "3"),
             setting("Minutes", "0"),
             setting("Robot Skill", "Normal"),
             setting("Record Demo", "No")};
  const char* gates[] = {"Robot (2 stroke)", "Robot (4 stroke)", "Empty"};
  for (int g = 1; g <= 40; ++g) {
    v.lines.push_back(setting("Gate " + std::to_string(g), g == 1 ? "Human" : gates[g % 3]));
  }
  return select(v, selected);
}

// The list picker: twenty entries and the page buttons.
MenuView picker(int selected) {
  MenuView v;
  v.title = "Choose Track";
  for (int i = 1; i <= 20; ++i) v.lines.push_back(button("Track " + std::to_string(i)));
  for (const char* label : {"Next Page", "Prev Page", "Cancel"}) v.lines.push_back(button(label));
  return select(v, selected);
}

// The graphics page: headings, greyed items, and the driver's strings in the footer, one of
// them longer than any window is wide.
MenuView graphics(int selected) {
  MenuView v;
  v.title = "Graphics/Sound Setup";
  v.lines = {heading("Current Settings: Custom"),
             setting("Preset", "Normal"),
             setting("Terrain Rendering Method", "Shaders (Direct)"),
             setting("Ground Texture Resolution", "256"),
             setting("Ground Geometric Detail", "70"),
             setting("Enable Ground Mipmaps", "Yes"),
             setting("Use Framebuffer Objects", "Yes"),
             setting("Use Shader Programs", "Yes"),
             setting("Enable Reflections", "Yes"),
             setting("Enable Lens Flares", "No"),
             setting("Field Of View", "90"),
             setting("1st Person Height", "0.50"),
             setting("Hide 1st Person Rider", "No"),
             setting("Anti-aliasing", "Off"),
             setting("Full Screen", "No"),
             setting("Sound Volume", "80"),
             setting("Engine Volume", "100"),
             button("Back to Main Menu"),
             heading("Driver info:")};
  v.lines[13].enabled = v.lines[14].enabled = false;
  std::string renderer = "Renderer: llvmpipe (LLVM 15.0.7, 256 bits)";
  while (renderer.size() < 300) renderer += " and then some more words";
  v.footer = {"Vendor: Mesa", renderer, "Version: 2.1 Mesa 23.2.1"};
  return select(v, selected);
}

// Bike set-up, with display values beside the numbers.
MenuView bike_setup(int selected) {
  MenuView v;
  v.title = "Bike Setup";
  v.lines = {heading("Current Settings: Custom"),
             setting("Bike", "250 (4 stroke)"),
             heading("Suspension and Gearing"),
             setting("Fork Spring Rate", "52  (0.412 kg/mm)"),
             setting("Shock Spring Rate", "48  (5.10 kg/mm)"),
             setting("Fork Compression", "12"),
             setting("Steering Offset", "-3  (Negative)"),
             setting("Final Drive [13/50]", "3.85 {stock}"),
             button("Back to Main Menu")};
  return select(v, selected);
}

MenuView exit_screen() {
  MenuView v;
  v.exit_screen = true;
  v.footer = {"Press any key to exit or ESC to keep playing"};
  return v;
}

bool inside(const HudBox& b, float width, float height) {
  return b.x >= 0 && b.y >= 0 && b.x + b.w <= width && b.y + b.h <= height && b.w > 0 && b.h > 0;
}

bool apart(const HudBox& a, const HudBox& b) {
  return a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y || b.y + b.h <= a.y;
}

int selected_of(const MenuView& v) {
  for (std::size_t i = 0; i < v.lines.size(); ++i) {
    if (v.lines[i].selected) return static_cast<int>(i);
  }
  return -1;
}

struct PageCase {
  const char* name;
  MenuView view;
};

std::vector<PageCase> page_cases() {
  return {{"main menu", main_menu()},          {"new race, first line", new_race(0)},
          {"new race, middle", new_race(23)},  {"new race, last gate", new_race(46)},
          {"list picker, cancel", picker(22)}, {"graphics with footer", graphics(17)},
          {"bike setup", bike_setup(3)}};
}

// Every shown line inside the window, in order top to bottom and apart from each other and
// from the title, footer and notice; the selected line always shown and a long page showing
// a good part of itself round it; text that reads; and the pointer picks each line anywhere
// on its row, except headings and greyed items.
TEST(MenuLayoutTest, LinesFitInOrderAndArePickedAtEveryWindowSize) {
  for (const WindowSize& s : kSizes) {
    for (const PageCase& c : page_cases()) {
      SCOPED_TRACE(size_name(s) + " " + c.name);
      const MenuView& v = c.view;
      const float w = static_cast<float>(s.width), h = static_cast<float>(s.height);
      const MenuLayout l = render::menu_layout(v, s.width, s.height);
      const int n = static_cast<int>(v.lines.size());
      ASSERT_EQ(l.lines.size(), v.lines.size());
      EXPECT_GE(l.text_height, 16.0f);
      EXPECT_LE(l.text_height, 40.0f);
      EXPECT_GE(l.count, std::min(n, 15));
      ASSERT_GE(l.first, 0);
      ASSERT_LE(l.first + l.count, n);
      const int selected = selected_of(v);
      EXPECT_GE(selected, l.first);
      EXPECT_LT(selected, l.first + l.count);
      // Scrolled pages keep the selection away from the edge that hides lines.
      if (l.first > 0) {
        EXPECT_GE(selected - l.first, l.count / 2 - 1);
      }
      if (l.first + l.count < n) {
        EXPECT_GE(l.first + l.count - 1 - selected, l.count / 2 - 1);
      }

      std::vector<HudBox> parts = {l.title};
      EXPECT_EQ(l.footer.h > 0, !v.footer.empty());
      EXPECT_EQ(l.notice.h > 0, v.notice_alpha > 0);
      if (l.footer.h > 0) parts.push_back(l.footer);
      if (l.notice.h > 0) parts.push_back(l.notice);
      for (std::size_t a = 0; a < parts.size(); ++a) {
        EXPECT_TRUE(inside(parts[a], w, h)) << "part " << a;
        for (std::size_t b = a + 1; b < parts.size(); ++b) {
          EXPECT_TRUE(apart(parts[a], parts[b])) << "parts " << a << " " << b;
        }
      }
      for (int i = 0; i < n; ++i) {
        const HudBox& b = l.lines[static_cast<std::size_t>(i)];
        if (i < l.first || i >= l.first + l.count) {
          EXPECT_EQ(b.h, 0.0f) << "line " << i << " is not shown";
          continue;
        }
        EXPECT_TRUE(inside(b, w, h)) << "line " << i;
        EXPECT_GE(b.h, l.text_height) << "line " << i;
        for (const HudBox& p : parts) EXPECT_TRUE(apart(b, p)) << "line " << i;
        if (i + 1 < l.first + l.count) {
          const HudBox& next = l.lines[static_cast<std::size_t>(i + 1)];
          EXPECT_LE(next.y + next.h, b.y) << "line " << i + 1 << " under line " << i;
        }
        const MenuLine& line = v.lines[static_cast<std::size_t>(i)];
        const int expected = line.item && line.enabled ? i : -1;
        const float middle = h - (b.y + b.h / 2);
        for (float x : {b.x + 0.5f, b.x + b.w / 2, b.x + b.w - 0.5f}) {
          EXPECT_EQ(render::menu_line_at(v, s.width, s.height, x, middle), expected)
              << "line " << i << " at x " << x;
        }
        EXPECT_EQ(render::menu_line_at(v, s.width, s.height, b.x - 1, middle), -1);
        EXPECT_EQ(render::menu_line_at(v, s.width, s.height, b.x + b.w + 1, middle), -1);
      }
      EXPECT_EQ(render::menu_line_at(v, s.width, s.height, w / 2, h - (l.title.y + l.title.h / 2)),
                -1);
      EXPECT_EQ(render::menu_line_at(v, s.width, s.height, w / 2, h + 5), -1);
    }
  }
  // The text grows with the window, and every page is laid out alike.
  EXPECT_GE(render::menu_layout(new_race(0), 1920, 1080).text_height,
            1.5f * render::menu_layout(new_race(0), 640, 480).text_height);
  EXPECT_EQ(render::menu_layout(main_menu(), 800, 600).text_height,
            render::menu_layout(graphics(1), 800, 600).text_height);
}

// Moving the selection down a long page scrolls it one line at a time once the selection is
// past the middle, and never past the page's end.
TEST(MenuLayoutTest, LongPageScrollsWithTheSelection) {
  const MenuLayout top = render::menu_layout(new_race(0), 640, 480);
  ASSERT_LT(top.count, 47);
  int last_first = 0;
  for (int sel = 0; sel < 47; ++sel) {
    const MenuLayout l = render::menu_layout(new_race(sel), 640, 480);
    EXPECT_EQ(l.count, top.count) << sel;
    EXPECT_GE(l.first, last_first) << sel;
    EXPECT_LE(l.first, last_first + 1) << sel;
    last_first = l.first;
  }
  EXPECT_EQ(last_first, 47 - top.count);
  // Without a selected item the page shows its top.
  MenuView none = new_race(0);
  none.lines[0].selected = false;
  EXPECT_EQ(render::menu_layout(none, 640, 480).first, 0);
}

// The exit screen has no lines to show or pick: the name in the middle, the footer under it.
// A window with no size shows nothing.
TEST(MenuLayoutTest, ExitScreenAndEmptyWindow) {
  MenuView v = exit_screen();
  v.lines = {button("Start")};
  for (const WindowSize& s : kSizes) {
    SCOPED_TRACE(size_name(s));
    const float w = static_cast<float>(s.width), h = static_cast<float>(s.height);
    const MenuLayout l = render::menu_layout(v, s.width, s.height);
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.lines[0].h, 0.0f);
    EXPECT_TRUE(inside(l.title, w, h));
    EXPECT_TRUE(inside(l.footer, w, h));
    EXPECT_LE(l.footer.y + l.footer.h, l.title.y);
    EXPECT_GT(l.title.y, h / 3);
    EXPECT_LT(l.title.y + l.title.h, h * 3 / 4);
    for (float y = 0; y < h; y += 4) {
      ASSERT_EQ(render::menu_line_at(v, s.width, s.height, w / 2, y), -1) << y;
    }
  }
  const MenuLayout empty = render::menu_layout(new_race(3), 0, 0);
  EXPECT_EQ(empty.count, 0);
  EXPECT_EQ(empty.lines.size(), 47u);
  EXPECT_EQ(render::menu_line_at(new_race(3), 0, 0, 0, 0), -1);
}

// ---------------------------------------------------------------------------
// Drawing, with the build's own pack and fonts, into offscreen framebuffers of any size.

struct Rgb {
  int r = 0, g = 0, b = 0;
};

class MenuDrawTest : public gl_fixture::GamePackGlTest {
 protected:
  void SetUp() override {
    GamePackGlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!render::g_gl_caps.framebuffer_object || !render::g_gl.GenFramebuffers) {
      GTEST_SKIP() << "no framebuffer objects";
    }
    render::fonts_load();
    ASSERT_NE(render::g_font_text.texture, 0u) << "the pack has no @font.png";
  }
  void TearDown() override {
    for (render::Font* f :
         {&render::g_font_text, &render::g_font_digits, &render::g_font_condensed}) {
      if (f->texture) glDeleteTextures(1, &f->texture);
      *f = render::Font{};
    }
    GlTest::TearDown();
  }

  // A width x height frame of a bright scene, a pale sky over sunlit ground, with `paint` drawn
  // over it; RGB rows, bottom first, kept as `picture` when named.
  std::vector<unsigned char> draw(int width, int height, const std::function<void()>& paint,
                                  const std::string& picture = "") {
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
      glEnable(GL_SCISSOR_TEST);
      glScissor(0, height / 2, width, height - height / 2);
      glClearColor(0.72f, 0.86f, 1.0f, 1.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      glScissor(0, 0, width, height / 2);
      glClearColor(0.8f, 0.66f, 0.45f, 1.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      glDisable(GL_SCISSOR_TEST);
      paint();
      glFinish();
      render::read_frame_rgb(width, height, rgb);
    }
    render::g_gl.BindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
    render::g_gl.DeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    EXPECT_EQ(rgb.size(), static_cast<std::size_t>(width) * height * 3) << "framebuffer incomplete";
    if (!picture.empty() && !rgb.empty()) gl_fixture::keep_picture(picture, rgb, width, height);
    return rgb;
  }

  std::vector<unsigned char> draw_page(const MenuView& v, int width, int height,
                                       const std::string& picture = "") {
    return draw(
        width, height, [&] { render::draw_menu(v, width, height); }, picture);
  }
};

Rgb pixel(const std::vector<unsigned char>& rgb, int width, int x, int y) {
  const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
  if (x < 0 || y < 0 || x >= width || i + 2 >= rgb.size()) return {};
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

bool orange(const Rgb& p) { return p.r > 170 && p.g < 140 && p.b < 80 && p.r - p.g > 70; }
bool light(const Rgb& p) { return p.r > 170 && p.g > 170 && p.b > 170; }
bool heading_blue(const Rgb& p) { return p.b > 200 && p.b - p.r > 60; }
bool scene(const Rgb& p) {
  auto near = [](const Rgb& p, int r, int g, int b) {
    return std::abs(p.r - r) + std::abs(p.g - g) + std::abs(p.b - b) <= 6;
  };
  return near(p, 184, 219, 255) || near(p, 204, 168, 115);
}

// The share of a box's pixels (window pixels from the lower left) that pass `test`.
template <typename Test>
double share(const std::vector<unsigned char>& rgb, int width, float x, float y, float w, float h,
             Test test) {
  long hits = 0, all = 0;
  for (int py = static_cast<int>(y); py < static_cast<int>(y + h); ++py) {
    for (int px = static_cast<int>(x); px < static_cast<int>(x + w); ++px) {
      ++all;
      hits += test(pixel(rgb, width, px, py));
    }
  }
  return all ? static_cast<double>(hits) / all : 0;
}

// The characters every page's labels and values use are all in the game's text font (kept as
// a picture of the page with the most of them).
TEST_F(MenuDrawTest, TheFontHasEveryCharacterThePagesUse) {
  draw_page(bike_setup(3), 800, 600, "menu-bike-setup-800x600.png");
  std::vector<MenuView> views = {main_menu(), new_race(0),   picker(0),
                                 graphics(1), bike_setup(1), exit_screen()};
  for (const MenuView& v : views) {
    std::vector<std::string> texts = v.footer;
    texts.push_back(v.title);
    for (const MenuLine& line : v.lines) {
      texts.push_back(line.label);
      texts.push_back(line.value);
    }
    for (const std::string& t : texts) {
      for (char c : t) {
        if (c == ' ') continue;
        const render::Glyph& g = render::g_font_text.glyphs[static_cast<unsigned char>(c)];
        EXPECT_GT(g.u1, g.u0) << "'" << c << "' of \"" << t << "\"";
      }
    }
  }
}

// The selected row lies on the highlight, no other does; every shown row has its label inked
// at its left; values stand in a column of their own right of their labels (drawing the page
// without them changes nothing else). Kept as pictures of the long page at both sizes.
TEST_F(MenuDrawTest, SelectionStandsOutAndLabelsAndValuesAreDrawnInColumns) {
  for (const WindowSize& s : {kSizes[0], kSizes[2]}) {
    SCOPED_TRACE(size_name(s));
    const MenuView v = new_race(23);
    MenuView bare = v;
    for (MenuLine& line : bare.lines) line.value.clear();
    const std::vector<unsigned char> rgb =
        draw_page(v, s.width, s.height, "menu-new-race-" + size_name(s) + ".png");
    const std::vector<unsigned char> without = draw_page(bare, s.width, s.height);
    if (rgb.empty() || without.empty()) return;
    const MenuLayout l = render::menu_layout(v, s.width, s.height);
    ASSERT_EQ(l.first, render::menu_layout(bare, s.width, s.height).first);
    const float th = l.text_height;
    for (int i = l.first; i < l.first + l.count; ++i) {
      SCOPED_TRACE("line " + std::to_string(i));
      const MenuLine& line = v.lines[static_cast<std::size_t>(i)];
      const HudBox& b = l.lines[static_cast<std::size_t>(i)];
      const double highlight = share(rgb, s.width, b.x, b.y, b.w, b.h, orange);
      if (line.selected) {
        EXPECT_GT(highlight, 0.5);
      } else {
        EXPECT_LT(highlight, 0.01);
      }
      const float label_end =
          b.x + th / 2 + render::text_width(render::g_font_text, line.label.c_str()) * th;
      EXPECT_GT(share(rgb, s.width, b.x, b.y, label_end - b.x, b.h, light), 0.05);
      // Where the value's ink is: right of the label by a gap, and only there.
      int changed = 0, left_of_column = 0;
      for (int py = static_cast<int>(b.y); py < static_cast<int>(b.y + b.h); ++py) {
        for (int px = static_cast<int>(b.x); px < static_cast<int>(b.x + b.w); ++px) {
          const Rgb a = pixel(rgb, s.width, px, py), c = pixel(without, s.width, px, py);
          if (a.r == c.r && a.g == c.g && a.b == c.b) continue;
          ++changed;
          left_of_column += px < label_end + th / 2;
        }
      }
      EXPECT_EQ(changed > 0, !line.value.empty());
      EXPECT_EQ(left_of_column, 0);
    }
  }
}

// Marks in the panel's border show there is more above and below the shown lines.
TEST_F(MenuDrawTest, ScrollMarksShowLinesOffThePage) {
  for (int selected : {0, 23, 46}) {
    SCOPED_TRACE(selected);
    const MenuView v = new_race(selected);
    const std::vector<unsigned char> rgb = draw_page(v, 640, 480);
    if (rgb.empty()) return;
    const MenuLayout l = render::menu_layout(v, 640, 480);
    const HudBox& top = l.lines[static_cast<std::size_t>(l.first)];
    const HudBox& bottom = l.lines[static_cast<std::size_t>(l.first + l.count - 1)];
    const float th = l.text_height, x = top.x + top.w - 2 * th;
    const double above = share(rgb, 640, x, top.y + top.h, 2 * th, th * 0.6f, heading_blue);
    const double below = share(rgb, 640, x, bottom.y - th * 0.6f, 2 * th, th * 0.6f, heading_blue);
    EXPECT_EQ(above > 0.02, l.first > 0) << above;
    EXPECT_EQ(below > 0.02, l.first + l.count < 47) << below;
  }
}

// The driver's strings are cut at the panel's edge, however long; the notice fits between the
// window's margins at 640 wide and in a portrait window, and fades with its alpha.
TEST_F(MenuDrawTest, FooterAndNoticeStayInTheirBoxes) {
  for (const WindowSize& s : {kSizes[0], kSizes[3]}) {
    SCOPED_TRACE(size_name(s));
    MenuView v = graphics(1);
    v.notice_alpha = 1;
    MenuView faded = v;
    faded.notice_alpha = 0.3f;
    const std::vector<unsigned char> rgb =
        draw_page(v, s.width, s.height, "menu-graphics-" + size_name(s) + ".png");
    const std::vector<unsigned char> dim = draw_page(faded, s.width, s.height);
    if (rgb.empty() || dim.empty()) return;
    const MenuLayout l = render::menu_layout(v, s.width, s.height);
    const float w = static_cast<float>(s.width);
    const HudBox& f = l.footer;
    EXPECT_GT(share(rgb, s.width, f.x, f.y, f.w, f.h, light), 0.03);
    // Beyond the panel (a quarter text height past the rows) the scene shows untouched.
    const float panel_right = f.x + f.w + l.text_height * 0.25f + 1;
    EXPECT_EQ(share(rgb, s.width, panel_right, f.y, w - panel_right, f.h, scene), 1.0);
    const HudBox& n = l.notice;
    EXPECT_EQ(share(rgb, s.width, 0, n.y, n.x, n.h, scene), 1.0);
    EXPECT_EQ(share(rgb, s.width, n.x + n.w, n.y, w - n.x - n.w, n.h, scene), 1.0);
    // Both lines inked, the faded ones less.
    for (float y : {n.y, n.y + n.h / 2}) {
      EXPECT_GT(share(rgb, s.width, n.x, y, n.w, n.h / 2, light), 0.02) << y;
    }
    EXPECT_LT(share(dim, s.width, n.x, n.y, n.w, n.h, light),
              share(rgb, s.width, n.x, n.y, n.w, n.h, light) / 2);
  }
}

// The pointer is drawn last, its tip at the given position (y down), white outlined in black.
TEST_F(MenuDrawTest, PointerOnTopWithItsTipAtThePosition) {
  const int width = 640, height = 480;
  MenuView v = main_menu();
  const MenuLayout l = render::menu_layout(v, width, height);
  const HudBox& row = l.lines[0];
  const float tip_x = row.x + 20, tip_y = height - (row.y + row.h * 0.75f);
  MenuView pointed = v;
  pointed.pointer = true;
  pointed.pointer_x = tip_x;
  pointed.pointer_y = tip_y;
  const std::vector<unsigned char> plain = draw_page(v, width, height);
  const std::vector<unsigned char> rgb = draw_page(pointed, width, height, "menu-main-640x480.png");
  if (rgb.empty() || plain.empty()) return;
  int changed = 0, white = 0, black = 0;
  int min_x = width, max_x = -1, min_down = height, max_down = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb a = pixel(rgb, width, x, y), b = pixel(plain, width, x, y);
      if (a.r == b.r && a.g == b.g && a.b == b.b) continue;
      ++changed;
      white += a.r > 240 && a.g > 240 && a.b > 240;
      black += a.r < 30 && a.g < 30 && a.b < 30;
      const int down = height - 1 - y;
      min_x = std::min(min_x, x);
      max_x = std::max(max_x, x);
      min_down = std::min(min_down, down);
      max_down = std::max(max_down, down);
    }
  }
  const float unit = l.text_height / 16;
  EXPECT_GT(changed, 60);
  EXPECT_GT(white, 30);
  EXPECT_GT(black, 20);
  // Down and right of the tip, a small arrow's size.
  EXPECT_GE(min_x, tip_x - 3);
  EXPECT_LE(max_x, tip_x + 14 * unit);
  EXPECT_GE(min_down, tip_y - 3);
  EXPECT_LE(max_down, tip_y + 22 * unit);
  EXPECT_GT(max_down - min_down, 12 * unit);
}

// The exit screen: the name large in the middle, the footer under it, no highlight.
TEST_F(MenuDrawTest, ExitScreenShowsTheNameAndFooter) {
  const std::vector<unsigned char> rgb =
      draw_page(exit_screen(), 640, 480, "menu-exit-640x480.png");
  if (rgb.empty()) return;
  const MenuLayout l = render::menu_layout(exit_screen(), 640, 480);
  EXPECT_GT(share(rgb, 640, l.title.x, l.title.y, l.title.w, l.title.h, light), 0.05);
  EXPECT_GT(share(rgb, 640, l.footer.x, l.footer.y, l.footer.w, l.footer.h, light), 0.03);
  EXPECT_EQ(share(rgb, 640, 0, 0, 640, 480, orange), 0.0);
  EXPECT_EQ(share(rgb, 640, 0, 0, 640, 480, scene), 0.0);  // dimmed all over
}

// The progress frame: the sky all over but for the two centred lines.
TEST_F(MenuDrawTest, ProgressScreenIsTheSkyWithTwoCentredLines) {
  const int width = 800, height = 600;
  const std::vector<unsigned char> rgb = draw(
      width, height,
      [&] { render::draw_progress_screen("Rabbit Hill", "Loading bikes...", width, height); },
      "menu-progress-800x600.png");
  if (rgb.empty()) return;
  auto sky = [](const Rgb& p) {
    return std::abs(p.r - 50) <= 1 && std::abs(p.g - 153) <= 1 && std::abs(p.b - 204) <= 1;
  };
  EXPECT_EQ(share(rgb, width, 0, 0, width, height / 3.0f, sky), 1.0);
  EXPECT_EQ(share(rgb, width, 0, height * 2 / 3.0f, width, height / 3.0f, sky), 1.0);
  EXPECT_EQ(share(rgb, width, 0, 0, width / 4.0f, height, sky), 1.0);
  EXPECT_EQ(share(rgb, width, width * 3 / 4.0f, 0, width / 4.0f, height, sky), 1.0);
  const float middle = height / 2.0f;
  EXPECT_GT(share(rgb, width, width / 4.0f, middle, width / 2.0f, height / 12.0f, light), 0.05);
  EXPECT_GT(
      share(rgb, width, width / 4.0f, middle - height / 12.0f, width / 2.0f, height / 12.0f, light),
      0.03);
}

// A page and the progress frame leave the GL state as the scene had it, and raise no error.
TEST_F(MenuDrawTest, DrawingKeepsTheCallersGlState) {
  MenuView v = graphics(5);
  v.notice_alpha = 0.5f;
  v.pointer = true;
  v.pointer_x = 300;
  v.pointer_y = 200;
  const std::function<void()> calls[] = {
      [&] { render::draw_menu(v, 640, 480); }, [&] { render::draw_menu(exit_screen(), 640, 480); },
      [&] { render::draw_progress_screen("Rabbit Hill", "Loading bikes...", 640, 480); }};
  for (std::size_t k = 0; k < std::size(calls); ++k) {
    SCOPED_TRACE(k);
    draw(640, 480, [&] {
      glEnable(GL_DEPTH_TEST);
      glEnable(GL_CULL_FACE);
      glEnable(GL_LIGHTING);
      glEnable(GL_TEXTURE_2D);
      glDisable(GL_BLEND);
      glViewport(10, 20, 300, 200);
      glClearColor(0.1f, 0.2f, 0.3f, 0.4f);
      glMatrixMode(GL_PROJECTION);
      glLoadIdentity();
      glFrustum(-1, 1, -1, 1, 1, 100);
      GLfloat projection_before[16], projection_after[16];
      glGetFloatv(GL_PROJECTION_MATRIX, projection_before);
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      glTranslatef(1, 2, 3);

      calls[k]();

      EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
      EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
      EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
      EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
      EXPECT_FALSE(glIsEnabled(GL_BLEND));
      GLint viewport[4] = {};
      glGetIntegerv(GL_VIEWPORT, viewport);
      EXPECT_EQ(viewport[0], 10);
      EXPECT_EQ(viewport[3], 200);
      GLfloat clear[4] = {};
      glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
      EXPECT_FLOAT_EQ(clear[2], 0.3f);
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
      glDisable(GL_DEPTH_TEST);
      glDisable(GL_CULL_FACE);
      glDisable(GL_LIGHTING);
      glDisable(GL_TEXTURE_2D);
      glLoadIdentity();
    });
  }
}

}  // namespace
