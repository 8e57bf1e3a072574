// fonts_test.cpp -- the generated font sheets cut into glyphs with the game's font reader,
// sit on one baseline, and set text when the game loads and draws them.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "content/generated_data.h"
#include "data/data.h"
#include "data/data_internal.h"
#include "render/gl_fixture.h"
#include "render/render.h"
#include "support/test_support.h"

namespace {

constexpr const char* kTextCharacters =
    "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
    "abcdefghijklmnopqrstuvwxyz{|}~";

struct SheetCase {
  const char* name;
  const char* characters;  // as the game lists them for the sheet
};

const SheetCase kSheets[] = {
    {"@font.png", kTextCharacters},
    {"@numbers.png", "0123456789"},
    {"@numbers-condensed.png", "0123456789"},
};

// A sheet as the game cuts it, with its pixels (markers cleared).
struct Sheet {
  render::Font font;
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;

  // The rows of a glyph's cell (0 = the cell's top) holding ink, first and last; -1 for none.
  std::pair<int, int> ink_rows(char c) const {
    const render::Glyph& g = font.glyphs[static_cast<unsigned char>(c)];
    const int x0 = static_cast<int>(g.u0 * width + 0.5f),
              x1 = static_cast<int>(g.u1 * width + 0.5f);
    const int y0 = static_cast<int>(g.v0 * height + 0.5f),
              y1 = static_cast<int>(g.v1 * height + 0.5f);
    int first = -1, last = -1;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        if (rgba[(static_cast<std::size_t>(y) * width + x) * 4 + 3] >= 128) {
          if (first < 0) first = y - y0;
          last = y - y0;
          break;
        }
      }
    }
    return {first, last};
  }
  float advance(char c) const { return font.glyphs[static_cast<unsigned char>(c)].advance; }
  int cell_height(char c) const {
    const render::Glyph& g = font.glyphs[static_cast<unsigned char>(c)];
    return static_cast<int>((g.v1 - g.v0) * height + 0.5f);
  }
};

class FontSheetTest : public generated_data::GeneratedDataTest {
 protected:
  void TearDown() override {
    data::texture_cache_reset_for_test();
    GeneratedDataTest::TearDown();
  }
  Sheet load(const SheetCase& c) {
    Sheet sheet;
    const unsigned char* pixels = nullptr;
    EXPECT_TRUE(data::image_load(c.name, &sheet.width, &sheet.height, &pixels)) << c.name;
    if (!pixels) return sheet;
    sheet.rgba.assign(pixels, pixels + static_cast<std::size_t>(sheet.width) * sheet.height * 4);
    render::font_from_image(sheet.font, sheet.rgba.data(), sheet.width, sheet.height, c.characters);
    return sheet;
  }
};

// Every character gets a cell with a glyph in it, and all cells of a sheet are
// one line box tall (the bands are cut where the sheet means them to be).
TEST_F(FontSheetTest, EveryCharacterHasAnInkedCellOfOneHeight) {
  for (const SheetCase& c : kSheets) {
    SCOPED_TRACE(c.name);
    const Sheet sheet = load(c);
    ASSERT_GT(sheet.width, 0);
    EXPECT_EQ(sheet.width & (sheet.width - 1), 0);
    EXPECT_EQ(sheet.height & (sheet.height - 1), 0);
    for (const char* p = c.characters; *p; ++p) {
      const render::Glyph& g = sheet.font.glyphs[static_cast<unsigned char>(*p)];
      EXPECT_GT(g.u1, g.u0) << *p;
      EXPECT_EQ(sheet.cell_height(*p), sheet.cell_height(c.characters[0])) << *p;
      EXPECT_GE(sheet.ink_rows(*p).first, 0) << "no ink for " << *p;
    }
  }
}

// Letters stand on one baseline and descenders hang below it; digits fill their line box
// from a common top to a common foot.
TEST_F(FontSheetTest, GlyphsShareABaseline) {
  const Sheet text = load(kSheets[0]);
  const int foot = text.ink_rows('H').second;
  for (char c : std::string("xNz0Ea#")) EXPECT_NEAR(text.ink_rows(c).second, foot, 1) << c;
  for (char c : std::string("gpyj")) EXPECT_GT(text.ink_rows(c).second, foot + 3) << c;
  EXPECT_NEAR(text.ink_rows('d').first, text.ink_rows('H').first, 2);
  EXPECT_GT(text.ink_rows('x').first, text.ink_rows('H').first + 3);

  for (const SheetCase& c : {kSheets[1], kSheets[2]}) {
    SCOPED_TRACE(c.name);
    const Sheet digits = load(c);
    const auto zero = digits.ink_rows('0');
    EXPECT_LE(zero.first, 3);
    EXPECT_GE(zero.second, digits.cell_height('0') - 4);
    for (char d = '1'; d <= '9'; ++d) {
      EXPECT_NEAR(digits.ink_rows(d).first, zero.first, 2) << d;
      EXPECT_NEAR(digits.ink_rows(d).second, zero.second, 2) << d;
    }
  }
}

// Advances set text as DejaVu does: proportional letters, tabular digits, and
// a condensed sheet that really is narrower.
TEST_F(FontSheetTest, AdvancesFitTheFaces) {
  const Sheet text = load(kSheets[0]);
  EXPECT_GT(text.advance('M'), 0.6f);
  EXPECT_LT(text.advance('M'), 1.1f);
  EXPECT_GT(text.advance('i'), 0.15f);
  EXPECT_LT(text.advance('i'), 0.45f);
  EXPECT_GT(render::text_width(text.font, "WWWW"), 2 * render::text_width(text.font, "iiii"));

  const Sheet numbers = load(kSheets[1]);
  const Sheet condensed = load(kSheets[2]);
  for (char d = '1'; d <= '9'; ++d) {
    EXPECT_NEAR(numbers.advance(d), numbers.advance('0'), 0.02f) << d;
    EXPECT_NEAR(condensed.advance(d), condensed.advance('0'), 0.02f) << d;
  }
  EXPECT_GT(numbers.advance('0'), 0.6f);
  EXPECT_LT(numbers.advance('0'), 1.0f);
  EXPECT_LT(condensed.advance('0'), 0.8f * numbers.advance('0'));
}

// Without the DejaVu files the generator fails, saying once per file which
// package puts it there, rather than shipping a data set without its lettering.
TEST(FontFilesTest, GeneratorFailsNamingThePackageOfAMissingFont) {
  test_support::TempDir out, no_fonts;
  const auto run =
      test_support::run_program(KVGEN_EXE, {out.path()}, {{"KVGEN_FONT_DIR", no_fonts.path()}});
  EXPECT_NE(run.status, 0);
  for (const char* file : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono-Bold.ttf"}) {
    const std::string line = "can't read the font " + no_fonts.path() + "/" + file +
                             " (install the Debian package fonts-dejavu-core)";
    const std::size_t at = run.err.find(line);
    EXPECT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(line, at + 1), std::string::npos) << "said more than once";
  }
}

// The game's own start-up loading finds all three fonts, and text drawn with
// them shows up where it is set.
class GeneratedFontGlTest : public gl_fixture::GamePackGlTest {};

TEST_F(GeneratedFontGlTest, GameLoadsAndDrawsItsFonts) {
  render::fonts_load();
  EXPECT_NE(render::g_font_text.texture, 0u);
  EXPECT_NE(render::g_font_digits.texture, 0u);
  EXPECT_NE(render::g_font_condensed.texture, 0u);
  EXPECT_EQ(logged().find("Can't open font"), std::string::npos) << logged();

  gl_fixture::begin_text_view(16);
  glTranslatef(0.5f, 13, 0);
  glScalef(1.5f, 1.5f, 1);
  render::draw_text_shadowed(render::g_font_text, "Rabbit Hill", 1.0f);
  glLoadIdentity();
  glTranslatef(0.5f, 8, 0);
  glScalef(3, 3, 1);
  render::draw_text_white(render::g_font_digits, "450");
  glLoadIdentity();
  glTranslatef(0.5f, 3, 0);
  glScalef(3, 3, 1);
  render::draw_text(render::g_font_condensed, "1234", 1, 0.8f, 0.2f, 1);
  const std::vector<unsigned char> rgb = gl_fixture::read_frame();
  gl_fixture::keep_picture("generated_fonts.png", rgb);

  // Each line covers part of its own strip of the frame and nothing is drawn between them.
  auto covered_rows = [&](float y0, float y1) {  // in the 16 x 16 units of the view
    int n = 0;
    for (int y = static_cast<int>(y0 * 16); y < static_cast<int>(y1 * 16); ++y) {
      for (int x = 0; x < gl_fixture::kSize; ++x) {
        const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * gl_fixture::kSize + x) * 3];
        if (std::abs(p[0] - 51) + std::abs(p[1] - 77) + std::abs(p[2] - 102) > 30) ++n;
      }
    }
    return n;
  };
  EXPECT_GT(covered_rows(13, 14.5f), 400);
  EXPECT_GT(covered_rows(8, 11), 1500);
  EXPECT_GT(covered_rows(3, 6), 1000);
  EXPECT_EQ(covered_rows(6.2f, 7.8f), 0);
}

}  // namespace
