// typeface.h -- DejaVu faces through FreeType, shared by the font sheets and the HUD pictures.
//
// Glyphs are rendered unhinted, so their shapes depend only on the font file
// and the FreeType version, never on the machine's settings.
#pragma once

#include <string>
#include <vector>

#include "content/content.h"

namespace content {

enum class FontFile { kSans, kSansBold, kMonoBold };

// The Debian package that installs the DejaVu files the generator renders from.
constexpr const char* kFontPackage = "fonts-dejavu-core";

// Where that package puts them.
constexpr const char* kFontFolder = "/usr/share/fonts/truetype/dejavu/";

// The full path of a DejaVu file.
std::string font_path(FontFile file);

// One face at one size. `x_scale` below 1 condenses the glyphs; `slant` leans
// them right by that many pixels per pixel of height.
struct Typeface {
  // On failure (a missing font file) prints why, naming the package, and marks `out` failed.
  Typeface(Output& out, FontFile file, float em_px, float x_scale = 1, float slant = 0);
  ~Typeface();
  Typeface(const Typeface&) = delete;
  Typeface& operator=(const Typeface&) = delete;

  bool ok() const { return face != nullptr; }

  void* library = nullptr;  // FT_Library
  void* face = nullptr;     // FT_Face
};

// A rendered glyph: 8-bit coverage, rows top first, placed from the pen on the baseline.
struct GlyphImage {
  int width = 0;
  int rows = 0;
  int left = 0;       // px from the pen to the first column
  int top = 0;        // px from the baseline up to the first row
  float advance = 0;  // px
  std::vector<unsigned char> coverage;
};

// With `grow_px`, the glyph grown by that much all round (round joins), for
// outlines drawn under it. An empty image with no advance for a face that failed to open.
GlyphImage render_glyph(const Typeface& face, char c, float grow_px = 0);

}  // namespace content
