// menu.cpp -- the front end's pages drawn over the frame, and the progress screen.
//
// A page is its title at the top, a list of lines on a dark panel under it (with the page's
// footer lines at the panel's foot) and, on the main menu, a fading notice at the window's
// bottom. Everything is placed by menu_layout alone, from the view and the window size, so
// the shell picks lines under the pointer from the very rectangles drawn here. The layout
// never measures text: how wide a string is depends on the loaded font, and pointing must
// work the same whether or not it is loaded. Drawing fits the text into the rectangles
// instead, cutting what is too long.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <string>

#include "render/render.h"
#include "render/render_internal.h"

namespace render {

namespace {

constexpr const char* kProductName = "Korvex";
constexpr const char* kNotice[2] = {
    "Although this software depicts real objects and places, it is not",
    "endorsed by or affiliated with any of the subjects depicted.",
};

// The game's clear colour, which the progress screen fills the window with.
constexpr float kSky[3] = {0.196078f, 0.6f, 0.8f};

// Sizes in pixels for a window. The text follows the window's shorter side and stays between
// a size that reads at 640 x 480 and one that still leaves room for a long page on a large
// screen. Sizes are whole pixels so the glyphs land on the pixel grid.
struct Metrics {
  float text = 0;         // a list line's text height
  float pitch = 0;        // from one list line to the next: the line's box height
  float margin = 0;       // from the window's edges
  float title = 0;        // the title's text height
  float small = 0;        // footer and notice text height
  float small_pitch = 0;  // from one footer or notice line to the next
  float pad = 0;          // the panel's border round the lines; the scroll marks live in it
  float gap = 0;          // between the title, the panel and the notice
};

Metrics metrics(int width, int height) {
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  Metrics m;
  m.text = std::floor(std::clamp(std::min(w, h) / 30, 16.0f, 32.0f));
  m.pitch = std::round(m.text * 1.3f);
  m.margin = std::round(m.text * 0.75f);
  m.title = std::round(m.text * 1.75f);
  m.small = std::max(13.0f, std::round(m.text * 0.75f));
  m.small_pitch = std::round(m.small * 1.25f);
  m.pad = std::round(m.text * 0.6f);
  m.gap = std::round(m.text * 0.5f);
  return m;
}

// The panel's width: the window less its margins, but no wider than a long label and value
// need, so lines stay together on a wide screen.
float panel_width(const Metrics& m, float window_width) {
  return std::min(window_width - 2 * m.margin, 34 * m.text);
}

// The line the page scrolls to: the selected item, or the first line when none is.
int selected_line(const MenuView& view) {
  for (std::size_t i = 0; i < view.lines.size(); ++i) {
    if (view.lines[i].item && view.lines[i].selected) return static_cast<int>(i);
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Drawing helpers, in window pixels from the lower left corner.

void fill_triangle(const float (&p)[6], float r, float g, float b, float a) {
  glDisable(GL_TEXTURE_2D);
  glColor4f(r, g, b, a);
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < 3; ++i) glVertex2f(p[2 * i], p[2 * i + 1]);
  glEnd();
}

float width_px(const std::string& text, float height) {
  return text_width(g_font_text, text.c_str()) * height;
}

// `text` as it fits in `room` pixels at `height`: whole, or cut with "..." at its end.
std::string fitted(const std::string& text, float height, float room) {
  if (width_px(text, height) <= room) return text;
  std::string cut = text;
  while (!cut.empty()) {
    cut.pop_back();
    while (!cut.empty() && cut.back() == ' ') cut.pop_back();
    if (width_px(cut + "...", height) <= room) return cut + "...";
  }
  return width_px("...", height) <= room ? "..." : "";
}

// One line of shadowed text with its cell's lower left corner at (x, y).
void text_at(const std::string& text, float x, float y, float height, float r, float g, float b,
             float a) {
  if (text.empty()) return;
  glPushMatrix();
  glTranslatef(x, y, 0);
  glScalef(height, height, 1);
  draw_text_shadowed(g_font_text, text.c_str(), r, g, b, a);
  glPopMatrix();
}

// The shadow's offset right of the text, in text heights.
constexpr float kShadowOffset = 0.0625f;

// Text centred across a box at a height no larger than `height`, shrunk to the box's width
// (shadow included) when it is wider; its cell's foot at `y`.
void centred_at(const std::string& text, const HudBox& box, float y, float height, float r, float g,
                float b, float a) {
  const float units = text_width(g_font_text, text.c_str());
  if (units <= 0) return;
  const float size = std::min(height, box.w / (units + kShadowOffset));
  text_at(text, box.x + (box.w - units * size) / 2, y, size, r, g, b, a);
}

// The line colours: labels, their values, greyed items, and the headings between items.
struct Colour {
  float r, g, b;
};
constexpr Colour kLabel{0.9f, 0.9f, 0.9f};
constexpr Colour kValue{1.0f, 0.8f, 0.35f};
constexpr Colour kSelected{1.0f, 1.0f, 1.0f};
constexpr Colour kDisabled{0.5f, 0.5f, 0.52f};
constexpr Colour kHeading{0.55f, 0.8f, 1.0f};
constexpr Colour kHighlight{0.92f, 0.42f, 0.08f};
constexpr Colour kHighlightEdge{1.0f, 0.78f, 0.3f};

// A small arrowhead in the panel's border, pointing up or down: there is more that way.
void scroll_mark(float centre_x, float centre_y, float size, bool up) {
  const float half = size / 2, dir = up ? 1.0f : -1.0f;
  const float p[6] = {centre_x - size, centre_y - dir * half,
                      centre_x + size, centre_y - dir * half,
                      centre_x,        centre_y + dir * half};
  fill_triangle(p, kHeading.r, kHeading.g, kHeading.b, 0.9f);
}

// The mouse pointer: an arrow with its tip at (x, y), outlined in black so it shows on light
// and dark alike. `unit` is the pixels per step of the shape, which is 19 steps tall.
void draw_pointer(float x, float y, float unit) {
  // The arrow's corners from the tip, y down as the cursor's (flipped when drawn): the head
  // is a fan from the tip, the tail a quad.
  static constexpr float kShape[7][2] = {{0, 0},    {0, 16},     {4, 12.5},   {7, 19},
                                         {9.5, 18}, {6.5, 11.5}, {11.5, 11.5}};
  static constexpr int kTriangles[5][3] = {{0, 1, 2}, {0, 2, 5}, {0, 5, 6}, {2, 3, 4}, {2, 4, 5}};
  auto shape = [&](float dx, float dy, float grey) {
    glColor4f(grey, grey, grey, 1);
    glBegin(GL_TRIANGLES);
    for (const auto& t : kTriangles) {
      for (int k : t) glVertex2f(x + dx + kShape[k][0] * unit, y + dy - kShape[k][1] * unit);
    }
    glEnd();
  };
  glDisable(GL_TEXTURE_2D);
  // The outline: the shape in black shifted round its own position, then the shape itself.
  const float o = std::max(1.0f, unit);
  for (int i = 0; i < 8; ++i) {
    const float a = static_cast<float>(i) * std::numbers::pi_v<float> / 4;
    shape(o * std::cos(a), o * std::sin(a), 0);
  }
  shape(0, 0, 1);
}

// The footer's lines in its box, from the top: left-aligned on a page, centred on the exit
// screen, and cut to the box's width either way (the driver's strings can be long).
void draw_footer(const MenuView& view, const MenuLayout& layout, const Metrics& m) {
  const HudBox& box = layout.footer;
  if (box.h <= 0 || view.footer.empty()) return;
  const float pitch = box.h / static_cast<float>(view.footer.size());
  const float size = view.exit_screen ? m.text : m.small;
  const float inset = view.exit_screen ? 0.0f : m.text * 0.5f;
  for (std::size_t i = 0; i < view.footer.size(); ++i) {
    const float y = box.y + box.h - pitch * static_cast<float>(i + 1) + (pitch - size) / 2;
    const std::string text = fitted(view.footer[i], size, box.w - 2 * inset);
    if (view.exit_screen) {
      const float w = width_px(text, size);
      text_at(text, std::round(box.x + (box.w - w) / 2), y, size, 0.9f, 0.9f, 0.9f, 1);
    } else {
      text_at(text, box.x + inset, y, size, 0.75f, 0.75f, 0.75f, 1);
    }
  }
}

void draw_lines(const MenuView& view, const MenuLayout& layout, const Metrics& m) {
  if (layout.count <= 0) return;
  const HudBox& top_row = layout.lines[static_cast<std::size_t>(layout.first)];
  const float text_x = top_row.x + m.text * 0.5f;
  const float text_room = top_row.w - m.text;

  // The value column starts a little past the widest label that has a value beside it, over
  // the whole page so that the column stays put while the page scrolls. When the widest label
  // and the widest value do not fit side by side, the row is shared between them in
  // proportion, and both are cut.
  float label_w = 0, value_w = 0;
  for (const MenuLine& line : view.lines) {
    if (line.value.empty()) continue;
    label_w = std::max(label_w, width_px(line.label, m.text) + m.text * 1.5f);
    value_w = std::max(value_w, width_px(line.value, m.text));
  }
  float column = label_w;
  if (label_w + value_w > text_room) column = text_room * label_w / (label_w + value_w);
  const float value_x = std::round(text_x + std::clamp(column, text_room * 0.3f, text_room * 0.7f));
  const float value_room = text_x + text_room - value_x;

  for (int i = layout.first; i < layout.first + layout.count; ++i) {
    const MenuLine& line = view.lines[static_cast<std::size_t>(i)];
    const HudBox& box = layout.lines[static_cast<std::size_t>(i)];
    const bool selected = line.item && line.selected;
    if (selected) {
      fill_rect(box.x, box.y, box.w, box.h, kHighlight.r, kHighlight.g, kHighlight.b, 0.9f);
      const float edge = std::max(2.0f, std::round(m.text * 0.2f));
      fill_rect(box.x, box.y, edge, box.h, kHighlightEdge.r, kHighlightEdge.g, kHighlightEdge.b, 1);
    }
    Colour label = kLabel, value = kValue;
    if (!line.item) {
      label = value = kHeading;
    } else if (!line.enabled) {
      label = value = kDisabled;
    } else if (selected) {
      label = value = kSelected;
    }
    const float y = box.y + (box.h - m.text) / 2;
    const float label_room = line.value.empty() ? text_room : value_x - text_x - m.text * 0.5f;
    text_at(fitted(line.label, m.text, label_room), text_x, y, m.text, label.r, label.g, label.b,
            1);
    if (!line.value.empty()) {
      text_at(fitted(line.value, m.text, value_room), value_x, y, m.text, value.r, value.g, value.b,
              1);
    }
  }

  // More above or below: marks in the panel's border at the row's right end.
  const HudBox& bottom_row =
      layout.lines[static_cast<std::size_t>(layout.first + layout.count - 1)];
  const float mark_x = top_row.x + top_row.w - m.text;
  if (layout.first > 0) scroll_mark(mark_x, top_row.y + top_row.h + m.pad / 2, m.pad * 0.6f, true);
  if (layout.first + layout.count < static_cast<int>(view.lines.size())) {
    scroll_mark(mark_x, bottom_row.y - m.pad / 2, m.pad * 0.6f, false);
  }
}

}  // namespace

MenuLayout menu_layout(const MenuView& view, int width, int height) {
  MenuLayout layout;
  layout.lines.assign(view.lines.size(), HudBox{});
  if (width <= 0 || height <= 0) return layout;
  const Metrics m = metrics(width, height);
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  layout.text_height = m.text;
  const float footer_h = m.small_pitch * static_cast<float>(view.footer.size());

  if (view.exit_screen) {
    // The name a little above the middle, a sixth of the window's shorter side but not so
    // large that the font's picture blurs; the footer under it at the list's text size, as it
    // says what the keys do.
    const float name_h = std::round(std::min({h / 6, w / 6, 120.0f}));
    layout.title = {m.margin, std::round(h * 0.55f), w - 2 * m.margin, name_h};
    if (!view.footer.empty()) {
      const float lines_h = m.pitch * static_cast<float>(view.footer.size());
      layout.footer = {m.margin, layout.title.y - m.gap * 2 - lines_h, w - 2 * m.margin, lines_h};
    }
    return layout;
  }

  layout.title = {m.margin, h - m.margin - m.title, w - 2 * m.margin, m.title};
  float bottom = m.margin;
  if (view.notice_alpha > 0) {
    layout.notice = {m.margin, bottom, w - 2 * m.margin, 2 * m.small_pitch};
    bottom += layout.notice.h + m.gap;
  }
  // The panel: from under the title down to the lines' foot, then the footer lines.
  const float panel_w = panel_width(m, w);
  const float row_x = std::round((w - panel_w) / 2 + m.text * 0.25f);
  const float row_w = std::round(panel_w - m.text * 0.5f);
  const float rows_top = layout.title.y - m.gap - m.pad;
  const float footer_room = view.footer.empty() ? 0.0f : footer_h + m.gap;
  const float room = rows_top - (bottom + m.pad + footer_room);
  const int total = static_cast<int>(view.lines.size());
  const int fits = room > 0 ? static_cast<int>(std::floor(room / m.pitch)) : 0;
  layout.count = std::min(total, fits);
  // A stateless scroll: the selected line in the middle, clamped to the page's ends.
  layout.first = std::clamp(selected_line(view) - layout.count / 2, 0, total - layout.count);
  for (int k = 0; k < layout.count; ++k) {
    layout.lines[static_cast<std::size_t>(layout.first + k)] = {
        row_x, rows_top - m.pitch * static_cast<float>(k + 1), row_w, m.pitch};
  }
  if (!view.footer.empty() && (layout.count > 0 || view.lines.empty())) {
    const float rows_bottom = rows_top - m.pitch * static_cast<float>(layout.count);
    const float top = layout.count > 0 ? rows_bottom - m.gap : rows_top;
    layout.footer = {row_x, top - footer_h, row_w, footer_h};
  }
  return layout;
}

int menu_line_at(const MenuView& view, int width, int height, float x, float y) {
  const MenuLayout layout = menu_layout(view, width, height);
  const float up = static_cast<float>(height) - y;
  for (int i = layout.first; i < layout.first + layout.count; ++i) {
    const MenuLine& line = view.lines[static_cast<std::size_t>(i)];
    const HudBox& b = layout.lines[static_cast<std::size_t>(i)];
    if (line.item && line.enabled && b.h > 0 && x >= b.x && x < b.x + b.w && up >= b.y &&
        up < b.y + b.h) {
      return i;
    }
  }
  return -1;
}

void draw_menu(const MenuView& view, int width, int height) {
  if (width <= 0 || height <= 0) return;
  const MenuLayout layout = menu_layout(view, width, height);
  const Metrics m = metrics(width, height);
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  begin_overlay(width, height);

  if (view.exit_screen) {
    fill_rect(0, 0, w, h, 0, 0, 0, 0.55f);
    centred_at(kProductName, layout.title, layout.title.y, layout.title.h, 1, 1, 1, 1);
    draw_footer(view, layout, m);
  } else {
    // The panel behind the lines and the footer, so they read over a bright sky or ground.
    float panel_top = 0, panel_bottom = 0;
    bool panel = false;
    if (layout.count > 0) {
      const HudBox& top_row = layout.lines[static_cast<std::size_t>(layout.first)];
      const HudBox& bottom_row =
          layout.lines[static_cast<std::size_t>(layout.first + layout.count - 1)];
      panel_top = top_row.y + top_row.h + m.pad;
      panel_bottom = bottom_row.y - m.pad;
      panel = true;
    }
    if (layout.footer.h > 0) {
      if (!panel) panel_top = layout.footer.y + layout.footer.h + m.pad;
      panel_bottom = layout.footer.y - m.pad;
      panel = true;
    }
    if (panel) {
      const float panel_w = panel_width(m, w), panel_x = std::round((w - panel_w) / 2);
      fill_rect(panel_x, panel_bottom, panel_w, panel_top - panel_bottom, 0.02f, 0.03f, 0.05f,
                0.72f);
    }
    // The title on a band of its own dimming, as wide as the panel.
    const float band_w = panel_width(m, w);
    fill_rect(std::round((w - band_w) / 2), layout.title.y - m.gap / 2, band_w,
              layout.title.h + m.gap, 0.02f, 0.03f, 0.05f, 0.5f);
    centred_at(view.title, layout.title, layout.title.y, m.title, 1.0f, 0.86f, 0.45f, 1);
    draw_lines(view, layout, m);
    draw_footer(view, layout, m);
    if (layout.notice.h > 0) {
      // Both lines at one size: the small text's, or less when the longer one needs it.
      const float a = std::min(view.notice_alpha, 1.0f);
      const HudBox& box = layout.notice;
      const float widest =
          std::max(width_px(kNotice[0], 1), width_px(kNotice[1], 1)) + kShadowOffset;
      const float size = std::min(m.small, box.w / widest);
      for (int i = 0; i < 2; ++i) {
        const float y =
            box.y + box.h - m.small_pitch * static_cast<float>(i + 1) + (m.small_pitch - size) / 2;
        centred_at(kNotice[i], box, y, size, 0.85f, 0.85f, 0.85f, a);
      }
    }
  }

  if (view.pointer) draw_pointer(view.pointer_x, h - view.pointer_y, m.text / 16);
  end_overlay();
}

void draw_progress_screen(const char* title, const char* text, int width, int height) {
  if (width <= 0 || height <= 0) return;
  const Metrics m = metrics(width, height);
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  begin_overlay(width, height);
  glClearColor(kSky[0], kSky[1], kSky[2], 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const HudBox across{m.margin, 0, w - 2 * m.margin, h};
  const float middle = std::round(h / 2);
  if (title) centred_at(title, across, middle + m.gap, m.title, 1, 1, 1, 1);
  if (text) centred_at(text, across, middle - m.gap - m.text, m.text, 1, 1, 1, 1);
  end_overlay();
}

}  // namespace render
