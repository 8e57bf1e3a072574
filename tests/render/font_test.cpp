// font_test.cpp -- font images, colour escapes, layout, widths, batches and drawing.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "gl_fixture.h"
#include "render/render.h"

namespace {

struct Recorded {
  std::vector<render::TextQuad> quads;
  std::vector<int> batches;
};

void record(const render::TextQuad* quads, int count, void* context) {
  Recorded* r = static_cast<Recorded*>(context);
  r->quads.insert(r->quads.end(), quads, quads + count);
  r->batches.push_back(count);
}

// Every glyph 0.5 wide, space 0.25, "a" 0.1 wide.
render::Font test_font() {
  render::Font font;
  for (render::Glyph& g : font.glyphs) g.advance = 0.5f;
  font.glyphs[static_cast<unsigned char>(' ')].advance = 0.25f;
  font.glyphs[static_cast<unsigned char>('a')].advance = 0.1f;
  font.texture = 1;
  return font;
}

Recorded lay_out(const char* text, bool shadow = false, bool ignore = false) {
  static const render::Font font = test_font();
  const float caller[4] = {0.2f, 0.4f, 0.6f, 0.8f};
  Recorded r;
  render::lay_out_text(font, text, 0, 0, caller, shadow, ignore, record, &r);
  return r;
}

void expect_colour(const render::TextQuad& q, float r, float g, float b, const char* what) {
  EXPECT_FLOAT_EQ(q.rgba[0], r) << what;
  EXPECT_FLOAT_EQ(q.rgba[1], g) << what;
  EXPECT_FLOAT_EQ(q.rgba[2], b) << what;
  EXPECT_FLOAT_EQ(q.rgba[3], 0.8f) << what;  // alpha is always the caller's
}

TEST(TextLayoutTest, ColourEscapes) {
  Recorded r = lay_out("\x1b[31mA\x1b[0mB");
  ASSERT_EQ(r.quads.size(), 2u);
  expect_colour(r.quads[0], 0.75f, 0, 0, "31: palette 1");
  expect_colour(r.quads[1], 0.2f, 0.4f, 0.6f, "0: the caller's colour");
  EXPECT_FLOAT_EQ(r.quads[1].x0, 0.5f);  // escapes take no space

  r = lay_out("\x1b[1;32mX");
  expect_colour(r.quads.at(0), 0, 1, 0, "1;32: palette 10");
  r = lay_out("\x1b[1mX\x1b[22mY");
  expect_colour(r.quads.at(0), 0.45f, 0.65f, 0.85f, "bright caller colour");
  expect_colour(r.quads.at(1), 0.2f, 0.4f, 0.6f, "22 clears bright");
  r = lay_out("\x1b[41mX");
  expect_colour(r.quads.at(0), 0.2f, 0.4f, 0.6f, "41 in the main pass");
  r = lay_out("\x1b[41mX", true);
  expect_colour(r.quads.at(0), 0.75f, 0, 0, "41 in the shadow pass");
  r = lay_out("\x1b[31mX", true);
  expect_colour(r.quads.at(0), 0.2f, 0.4f, 0.6f, "31 in the shadow pass");
  r = lay_out("\x1b[31mX", false, true);
  expect_colour(r.quads.at(0), 0.2f, 0.4f, 0.6f, "escapes ignored");
  // Sequences other than "[...m" are skipped without effect; one cut short ends the text.
  r = lay_out(
      "\x1b[2JX\x1b"
      "AY\x1b[31");
  ASSERT_EQ(r.quads.size(), 2u);
  EXPECT_FLOAT_EQ(r.quads[1].x0, 0.5f);
}

TEST(TextLayoutTest, PenMovesForSpacesTabsAndLineBreaks) {
  const struct {
    const char* text;
    float x, y;  // of the last glyph
  } cases[] = {
      {"  \tA", 0.0f, 0.0f},  // leading blanks are skipped
      {"a\tB", 2.0f, 0.0f},   // tab from 0.1 with a space of 0.25
      {"A B", 0.75f, 0.0f},  {"AB\nC", 0.0f, -1.0f}, {"AB\rC", 0.0f, 0.0f}, {"A\n\nB", 0.0f, -2.0f},
  };
  for (const auto& c : cases) {
    const Recorded r = lay_out(c.text);
    ASSERT_FALSE(r.quads.empty()) << c.text;
    EXPECT_FLOAT_EQ(r.quads.back().x0, c.x) << c.text;
    EXPECT_FLOAT_EQ(r.quads.back().y0, c.y) << c.text;
    EXPECT_FLOAT_EQ(r.quads.back().y1, c.y + 1.0f) << c.text;
  }
  EXPECT_TRUE(lay_out("   \n ").quads.empty());
  EXPECT_TRUE(lay_out("").batches.empty());

  const render::Font font = test_font();
  EXPECT_FLOAT_EQ(render::text_width(font, "AB\x1b[31mC"), 1.5f);
  EXPECT_FLOAT_EQ(render::text_width(font, "ABCD\nA B"), 1.25f);  // the last line's
  EXPECT_FLOAT_EQ(render::text_width(font, "a\t"), 2.0f);
}

TEST(TextLayoutTest, QuadsGoInBatchesOf256) {
  const Recorded r = lay_out(std::string(300, 'X').c_str());
  EXPECT_EQ(r.batches, (std::vector<int>{256, 44}));
  EXPECT_FLOAT_EQ(r.quads.back().x0, 299 * 0.5f);
}

// A 13 x 12 image: band one (rows 1-5) holds cells 3, 4 and 2 pixels wide, band two
// (rows 7-11) a cell 5 wide and one 6 wide that runs to the right edge unclosed.
TEST(FontImageTest, MarkerCellsGiveRectanglesAndAdvances) {
  const int w = 13, h = 12;
  std::vector<unsigned char> rgba(w * h * 4, 200);
  auto mark = [&](int x, int y) {
    unsigned char* p = &rgba[(y * w + x) * 4];
    p[0] = 255, p[1] = 0, p[2] = 255, p[3] = 255;
  };
  for (int x : {0, 4, 9, 12}) mark(x, 0);
  for (int x : {0, 6}) mark(x, 6);
  render::Font font;
  render::font_from_image(font, rgba.data(), w, h, "ABCDE");
  const struct {
    char c;
    float advance, u0, u1, v0, v1;
  } cases[] = {
      {'A', 3 / 5.0f, 1 / 13.0f, 4 / 13.0f, 1 / 12.0f, 6 / 12.0f},
      {'B', 4 / 5.0f, 5 / 13.0f, 9 / 13.0f, 1 / 12.0f, 6 / 12.0f},
      {'C', 2 / 5.0f, 10 / 13.0f, 12 / 13.0f, 1 / 12.0f, 6 / 12.0f},
      {'D', 5 / 5.0f, 1 / 13.0f, 6 / 13.0f, 7 / 12.0f, 1.0f},
      {'E', 6 / 5.0f, 7 / 13.0f, 1.0f, 7 / 12.0f, 1.0f},
  };
  for (const auto& c : cases) {
    const render::Glyph& g = font.glyphs[static_cast<unsigned char>(c.c)];
    EXPECT_FLOAT_EQ(g.advance, c.advance) << c.c;
    EXPECT_FLOAT_EQ(g.u0, c.u0) << c.c;
    EXPECT_FLOAT_EQ(g.u1, c.u1) << c.c;
    EXPECT_FLOAT_EQ(g.v0, c.v0) << c.c;
    EXPECT_FLOAT_EQ(g.v1, c.v1) << c.c;
  }
  EXPECT_FLOAT_EQ(font.glyphs[static_cast<unsigned char>('F')].advance, 0.6666667f);  // no glyph
  EXPECT_EQ(rgba[3], 0);  // markers made transparent
  EXPECT_EQ(rgba[(6 * w + 6) * 4 + 3], 0);
  EXPECT_EQ(rgba[(1 * w + 1) * 4 + 3], 200);
}

using FontDrawTest = gl_fixture::GlTest;

// Glyph cells filled white: drawn text shows the escape colours and the shadow.
TEST_F(FontDrawTest, DrawsColouredShadowedText) {
  const int w = 41, h = 11;
  std::vector<unsigned char> rgba(w * h * 4, 255);
  for (int x = 0; x < w; x += 10) std::memcpy(&rgba[x * 4], "\x00\x00\xff\xff", 4);
  ASSERT_TRUE(data::write_png(home.file("font.png").c_str(), rgba.data(), w, h, 4, false));
  render::Font font;
  EXPECT_FALSE(render::font_load(font, "@nofont.png", "AB"));
  ASSERT_TRUE(render::font_load(font, "@font.png", "ABCD"));
  EXPECT_NE(logged().find("Can't open font '@nofont.png'"), std::string::npos);

  gl_fixture::begin_text_view(8);
  glTranslatef(1, 5, 0);
  render::draw_text_shadowed(font, "A\x1b[31mB\x1b[0mC", 1.0f);
  glTranslatef(0, -3, 0);
  render::draw_text_centred(font, "\x1b[32mABCD", -1, 7, 1, 1, 1, 1);
  const std::vector<unsigned char> rgb = gl_fixture::read_frame();
  gl_fixture::keep_picture("text.png", rgb);
  auto pixel = [&](float x, float y) {  // in the 8 x 8 text units of the ortho view
    const int px = static_cast<int>(x * gl_fixture::kSize / 8), py = static_cast<int>(y * 32);
    const unsigned char* p = &rgb[(py * gl_fixture::kSize + px) * 3];
    return std::vector<int>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(pixel(1.4f, 5.5f), (std::vector<int>{191, 191, 191}));  // A in 0.75 grey
  EXPECT_EQ(pixel(2.3f, 5.5f), (std::vector<int>{191, 0, 0}));      // B in palette 1
  const std::vector<int> shadow = pixel(1.3f, 4.97f);               // below A: half black
  EXPECT_LT(shadow[2], 60);
  EXPECT_EQ(pixel(3.0f, 2.5f), (std::vector<int>{0, 191, 0}));    // centred, palette 2
  EXPECT_EQ(pixel(0.9f, 2.5f), (std::vector<int>{51, 76, 102}));  // left of the centred text
}

}  // namespace
