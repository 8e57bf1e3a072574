// fonts.cpp -- the text font and the two digit fonts, rendered with FreeType.
//
// A font sheet is an RGBA picture of white glyphs on a clear ground, cut into
// cells by marker pixels in the sheet's top-left colour: each band of cells
// starts with a row that has a marker in the left column and one at every
// cell edge, and the characters fill the cells in reading order. The glyph
// quad the game draws is the whole cell, one text height tall and the cell's
// width across, so a cell is exactly the glyph's advance wide and every cell
// of a sheet has the same line box.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_STROKER_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "content/content.h"
#include "content/typeface.h"

namespace content {

namespace {

// Copies 8-bit grey rows (any pitch) into the glyph.
void copy_bitmap(const FT_Bitmap& bitmap, GlyphImage& glyph) {
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
  glyph.width = static_cast<int>(bitmap.width);
  glyph.rows = static_cast<int>(bitmap.rows);
  glyph.coverage.resize(static_cast<std::size_t>(glyph.width) * glyph.rows);
  for (int y = 0; y < glyph.rows; ++y) {
    const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
    std::copy(row, row + glyph.width,
              glyph.coverage.begin() + static_cast<std::ptrdiff_t>(y) * glyph.width);
  }
}

const Rgba kMarker{255, 0, 255, 255};

struct SheetSpec {
  const char* file;  // the file name the game asks for
  FontFile font;
  float em_px;
  float x_scale;
  const char* characters;  // in cell order
  int width;               // px, a power of two
};

const SheetSpec kSheets[] = {
    // Menus, messages and the console: bold reads best drawn small over the scene.
    {"font.png", FontFile::kSansBold, 36, 1,
     "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
     "abcdefghijklmnopqrstuvwxyz{|}~",
     512},
    // The HUD's large numbers.
    {"numbers.png", FontFile::kSansBold, 96, 1, "0123456789", 1024},
    // Narrow numbers where space is short (lap times, results columns).
    {"numbers-condensed.png", FontFile::kMonoBold, 96, 0.72f, "0123456789", 512},
};

int power_of_two_at_least(int n) {
  int p = 1;
  while (p < n) p *= 2;
  return p;
}

void put(Picture& p, int x, int y, Rgba c) {
  unsigned char* px = p.at(x, y);
  px[0] = static_cast<unsigned char>(c.r);
  px[1] = static_cast<unsigned char>(c.g);
  px[2] = static_cast<unsigned char>(c.b);
  px[3] = static_cast<unsigned char>(c.a);
}

void write_sheet(Output& out, const SheetSpec& spec) {
  const Typeface face(out, spec.font, spec.em_px, spec.x_scale);
  if (!face.ok()) return;
  const std::string characters = spec.characters;
  std::vector<GlyphImage> glyphs;
  for (char c : characters) glyphs.push_back(render_glyph(face, c));

  // The line box: from the highest ink to the lowest over the sheet's own
  // characters, with a pixel to spare above and below.
  int above = 0, below = 0;
  for (const GlyphImage& g : glyphs) {
    above = std::max(above, g.top);
    below = std::max(below, g.rows - g.top);
  }
  above += 1;
  below += 1;
  const int band = above + below;

  // Cells left to right, a new band when the row is full.
  struct Cell {
    int x, y, width;  // the cell's first pixel, and its width
  };
  std::vector<Cell> cells;
  int x = 1, y = 1;
  for (const GlyphImage& g : glyphs) {
    const int width = std::max(1, static_cast<int>(std::lround(g.advance)));
    if (x + width + 1 > spec.width) {
      x = 1;
      y += band + 1;
    }
    cells.push_back({x, y, width});
    x += width + 1;
  }
  const int used_height = y + band + 1;  // and the closing marker row
  Picture sheet(spec.width, power_of_two_at_least(used_height), 4);
  fill(sheet, Rgba{255, 255, 255, 0});

  // Markers: a band's top row has one at the left column and one at every cell
  // edge, and runs solid after the band's last cell; a solid row closes the sheet.
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const Cell& cell = cells[i];
    const int top = cell.y - 1;
    if (i == 0 || cells[i - 1].y != cell.y) put(sheet, 0, top, kMarker);
    const bool last_in_band = i + 1 == cells.size() || cells[i + 1].y != cell.y;
    const int end = last_in_band ? spec.width : cell.x + cell.width + 1;
    for (int mx = cell.x + cell.width; mx < end; ++mx) put(sheet, mx, top, kMarker);
  }
  for (int mx = 0; mx < spec.width; ++mx) put(sheet, mx, used_height - 1, kMarker);

  // Glyphs: white, their coverage in alpha, on the baseline of the line box,
  // moved sideways where the ink would cross the cell's edge.
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    const GlyphImage& g = glyphs[i];
    const Cell& cell = cells[i];
    int gx = g.left;
    if (gx + g.width > cell.width) gx = cell.width - g.width;
    if (gx < 0) gx = g.width > cell.width ? (cell.width - g.width) / 2 : 0;
    const int gy = above - g.top;
    for (int row = 0; row < g.rows; ++row) {
      for (int col = 0; col < g.width; ++col) {
        const int px = gx + col, py = gy + row;
        if (px < 0 || px >= cell.width || py < 0 || py >= band) continue;
        sheet.at(cell.x + px, cell.y + py)[3] =
            g.coverage[static_cast<std::size_t>(row) * g.width + col];
      }
    }
  }
  write_picture(out, spec.file, sheet);
}

}  // namespace

std::string font_path(FontFile file) {
  // KVGEN_FONT_DIR points elsewhere for a test of the missing-font failure.
  const char* folder = std::getenv("KVGEN_FONT_DIR");
  std::string path = folder && *folder ? std::string(folder) + "/" : kFontFolder;
  switch (file) {
    case FontFile::kSans:
      return path + "DejaVuSans.ttf";
    case FontFile::kSansBold:
      return path + "DejaVuSans-Bold.ttf";
    case FontFile::kMonoBold:
      return path + "DejaVuSansMono-Bold.ttf";
  }
  return path;
}

Typeface::Typeface(Output& out, FontFile file, float em_px, float x_scale, float slant) {
  const std::string path = font_path(file);
  FT_Library ft_library = nullptr;
  FT_Face ft_face = nullptr;
  if (FT_Init_FreeType(&ft_library) != 0) {
    std::fprintf(stderr, "kvgen: can't start FreeType\n");
    out.ok = false;
    return;
  }
  library = ft_library;
  if (FT_New_Face(ft_library, path.c_str(), 0, &ft_face) != 0) {
    // Once per file: every picture with lettering asks for it again.
    static bool reported[3] = {false, false, false};
    bool& said = reported[static_cast<int>(file)];
    if (!said) {
      std::fprintf(stderr, "kvgen: can't read the font %s (install the Debian package %s)\n",
                   path.c_str(), kFontPackage);
    }
    said = true;
    out.ok = false;
    return;
  }
  face = ft_face;
  // 72 dots per inch: one point is one pixel, so the size is the em in pixels.
  FT_Set_Char_Size(ft_face, 0, static_cast<FT_F26Dot6>(std::lround(em_px * 64)), 72, 72);
  FT_Matrix matrix;
  matrix.xx = static_cast<FT_Fixed>(std::lround(x_scale * 65536));
  matrix.xy = static_cast<FT_Fixed>(std::lround(slant * 65536));
  matrix.yx = 0;
  matrix.yy = 65536;
  FT_Set_Transform(ft_face, &matrix, nullptr);
}

Typeface::~Typeface() {
  if (face) FT_Done_Face(static_cast<FT_Face>(face));
  if (library) FT_Done_FreeType(static_cast<FT_Library>(library));
}

GlyphImage render_glyph(const Typeface& typeface, char c, float grow_px) {
  GlyphImage glyph;
  if (!typeface.ok()) return glyph;
  const FT_Face face = static_cast<FT_Face>(typeface.face);
  const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(c));
  if (grow_px <= 0) {
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) return glyph;
    glyph.advance = static_cast<float>(face->glyph->advance.x) / 64.0f;
    glyph.left = face->glyph->bitmap_left;
    glyph.top = face->glyph->bitmap_top;
    copy_bitmap(face->glyph->bitmap, glyph);
    return glyph;
  }
  if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return glyph;
  glyph.advance = static_cast<float>(face->glyph->advance.x) / 64.0f;
  FT_Glyph outline = nullptr;
  if (FT_Get_Glyph(face->glyph, &outline) != 0) return glyph;
  FT_Stroker stroker = nullptr;
  if (FT_Stroker_New(static_cast<FT_Library>(typeface.library), &stroker) == 0) {
    FT_Stroker_Set(stroker, static_cast<FT_Fixed>(std::lround(grow_px * 64)),
                   FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND, 0);
    // The outer border alone encloses the glyph and the band round it.
    if (FT_Glyph_StrokeBorder(&outline, stroker, 0, 1) == 0 &&
        FT_Glyph_To_Bitmap(&outline, FT_RENDER_MODE_NORMAL, nullptr, 1) == 0) {
      const FT_BitmapGlyph bitmap = reinterpret_cast<FT_BitmapGlyph>(outline);
      glyph.left = bitmap->left;
      glyph.top = bitmap->top;
      copy_bitmap(bitmap->bitmap, glyph);
    }
    FT_Stroker_Done(stroker);
  }
  FT_Done_Glyph(outline);
  return glyph;
}

void write_fonts(Output& out) {
  for (const SheetSpec& spec : kSheets) write_sheet(out, spec);
}

}  // namespace content
