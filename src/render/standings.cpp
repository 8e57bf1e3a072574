// standings.cpp -- the results table, the pit board, the running-order ticker with its lap
// box, and the ping and render-statistics lines, drawn over the frame after the HUD.
//
// Everything keeps clear of the HUD: the table fills the middle between the top lines (the
// messages and the timing lines) and the ticker, which runs just above the gauges; the pit
// board stands at the bottom left. Drawn in window pixels with the fixed-function pipeline,
// without allocating.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "data/data.h"
#include "render/render.h"
#include "render/render_internal.h"

namespace render {

StandingsState g_standings;

namespace {

// Laid out for a 640 x 480 window and scaled from there, as the HUD is.
constexpr float kBaseWidth = 640, kBaseHeight = 480;
constexpr int kMessageLines = 5;          // the HUD's message lines at the top left
constexpr float kHudLineSpacing = 1.15f;  // the HUD's lines are this many text heights apart

// The results table: 38 character widths wide, the columns starting at these widths.
constexpr float kTableChars = 38;
constexpr float kColumns[6] = {0, 4, 8, 12.5f, 23, 33};
constexpr float kCharPerHeight = 0.62f;  // a character width of the text font, in heights
constexpr float kTitleSize = 20, kHeadSize = 10, kRowSize = 13, kPad = 6;

// The pit board picture's writing area, in its pixels (y down), and its lines: centre y and
// height of each.
constexpr float kBoardPixels = 256;
constexpr float kBoardLeft = 26, kBoardRight = 232;
constexpr float kBoardTop = 8;  // the frame's top edge
struct BoardLine {
  float centre, height;
};
constexpr BoardLine kBoardLines[6] = {{42, 38},  {80, 26},  {107, 22},
                                      {132, 17}, {153, 17}, {174, 13}};

constexpr float kTickerSpeed = 60;  // pixels a second at 640 x 480

// The render statistics' largest values since they were reset.
int g_stat_max[6] = {};

struct Colour {
  float r, g, b;
};
constexpr Colour kWhite = {1, 1, 1}, kGrey = {0.75f, 0.75f, 0.75f}, kBlack = {0, 0, 0};
constexpr Colour kRed = {1, 0.25f, 0.2f}, kYellow = {1, 0.82f, 0.16f};

float unit(int width, int height) {
  return std::min(static_cast<float>(width) / kBaseWidth, static_cast<float>(height) / kBaseHeight);
}

// Text with its lower left corner at (x, y), `height` pixels tall; shadowed over the scene.
void text_at(const char* text, float x, float y, float height, Colour c, bool shadow = true) {
  glPushMatrix();
  glTranslatef(x, y, 0);
  glScalef(height, height, 1);
  if (shadow) {
    draw_text_shadowed(g_font_text, text, c.r, c.g, c.b, 1);
  } else {
    draw_text(g_font_text, text, c.r, c.g, c.b, 1);
  }
  glPopMatrix();
}

float width_of(const char* text, float height) { return text_width(g_font_text, text) * height; }

// The text height that fits `text` within `width`, at most `height`.
float fitting(const char* text, float height, float width) {
  const float w = width_of(text, height);
  return w > width ? height * width / w : height;
}

// ---------------------------------------------------------------------------
// Results table

void draw_table(const StandingsLayout& l, const race::ResultsTable& table, float u) {
  const HudBox& box = l.table;
  fill_rect(box.x, box.y, box.w, box.h, 0, 0, 0, 0.6f);
  const float left = box.x + kPad * u, inner = box.w - 2 * kPad * u;
  float y = box.y + box.h - kPad * u - kTitleSize * u;
  const float title = fitting(table.title, kTitleSize * u, inner);
  text_at(table.title, box.x + (box.w - width_of(table.title, title)) / 2, y, title, kWhite);
  y -= kHeadSize * u * 1.3f;
  static const char* const kHeads[6] = {"Pos.", "No.", "Lap", "Gap", "Best Time", "BLap"};
  for (int c = 0; c < 6; ++c) {
    text_at(kHeads[c], left + kColumns[c] * l.table_char, y, kHeadSize * u, kYellow);
  }
  const float row = l.table_row;
  int lines = l.table_lines;
  for (int i = 0; i < table.row_count && lines > 0; ++i, --lines) {
    y -= row;
    const race::ResultsRow& r = table.rows[i];
    if (i % 2 == 1)
      fill_rect(box.x + kPad * u / 2, y - row * 0.12f, box.w - kPad * u, row, 1, 1, 1, 0.12f);
    const Colour c = r.viewed ? kWhite : kGrey;
    const float h = row / kHudLineSpacing;
    const char* const cells[6] = {r.position, r.number, r.laps, r.gap, r.best_time, r.best_lap};
    for (int k = 0; k < 6; ++k) text_at(cells[k], left + kColumns[k] * l.table_char, y, h, c);
  }
  if (table.total[0] && lines > 0) {
    y -= row;
    --lines;
    text_at(table.total, left, y, fitting(table.total, row / kHudLineSpacing, inner), kWhite);
  }
  for (int i = 0; i < table.penalty_count && lines > 0; ++i, --lines) {
    y -= row;
    const char* text = table.penalties[i].data();
    text_at(text, left, y, fitting(text, row / kHudLineSpacing, inner), kRed);
  }
}

// ---------------------------------------------------------------------------
// Pit board

void draw_pit_board(const HudBox& box, const race::PitBoard& board) {
  if (const unsigned texture = data::texture_load("!@pitboard.png")) {
    draw_picture(texture, box);
  } else {
    // No picture: the writing area on a plain board.
    const float s = box.w / kBoardPixels;
    fill_rect(box.x + 17 * s, box.y + box.h - 183 * s, 222 * s, 166 * s, 0.06f, 0.06f, 0.07f, 1);
  }
  const float s = box.w / kBoardPixels;
  const char* const lines[6] = {board.number, board.lap_position, board.gap,
                                board.last,   board.best,         board.closing};
  const Colour colours[6] = {kYellow, kWhite, kWhite, kWhite, kWhite, kRed};
  const float width = (kBoardRight - kBoardLeft) * s;
  for (int i = 0; i < 6; ++i) {
    if (!lines[i][0]) continue;
    const float h = fitting(lines[i], kBoardLines[i].height * s, width);
    // The glyphs stand on the pen's line and fill about 0.8 of the height.
    const float y = box.y + box.h - kBoardLines[i].centre * s - h * 0.4f;
    text_at(lines[i], box.x + kBoardLeft * s, y, h, colours[i], false);
  }
}

// ---------------------------------------------------------------------------
// Ticker and lap box

// One entry's parts along the strip, from its left end; returns its width.
float draw_ticker_entry(const race::TickerEntry& e, float x, float y, float h, bool draw) {
  const float text = h * 0.72f, base = y + (h - text) / 2 + text * 0.1f, gap = text * 0.4f;
  float at = x + gap;
  if (draw) text_at(e.position, at, base, text, kYellow);
  at += width_of(e.position, text) + gap;
  const float field = width_of("000", text) + gap;
  if (draw) {
    fill_rect(at, y + h * 0.1f, field, h * 0.8f, 1, 1, 1, 1);
    text_at(e.number, at + gap / 2, base, text, kBlack, false);
  }
  at += field + gap;
  if (draw) text_at(e.name, at, base, text, kWhite);
  at += width_of(e.name, text);
  if (e.gap[0]) {
    at += gap;
    if (draw) text_at(e.gap, at, base, text, kGrey);
    at += width_of(e.gap, text);
  }
  return at + 2 * gap - x;
}

void draw_ticker(const StandingsLayout& l, const StandingsState& s, float u) {
  const HudBox& strip = l.ticker;
  fill_rect(strip.x, strip.y, strip.w, strip.h, 0.02f, 0.05f, 0.15f, 0.8f);
  const race::Ticker& t = s.ticker;
  float total = 0;
  for (int i = 0; i < t.count; ++i) total += draw_ticker_entry(t.entries[i], 0, 0, strip.h, false);
  if (total > 0) {
    // Scrolls right to left; the order comes round again once it has gone by.
    glEnable(GL_SCISSOR_TEST);
    glScissor(static_cast<GLint>(strip.x), static_cast<GLint>(strip.y),
              static_cast<GLsizei>(strip.w), static_cast<GLsizei>(strip.h));
    const float shift =
        static_cast<float>(std::fmod(std::max(s.ticker_seconds, 0.0) * kTickerSpeed * u, total));
    for (float x = strip.x - shift; x < strip.x + strip.w;) {
      for (int i = 0; i < t.count && x < strip.x + strip.w; ++i) {
        const float w = draw_ticker_entry(t.entries[i], 0, 0, strip.h, false);
        if (x + w > strip.x) draw_ticker_entry(t.entries[i], x, strip.y, strip.h, true);
        x += w;
      }
    }
    glDisable(GL_SCISSOR_TEST);
  }

  const HudBox& box = l.lap_box;
  if (t.lap_box == race::kLapBoxChequered) {
    constexpr int kColumns = 8, kRows = 2;
    const float w = box.w / kColumns, h = box.h / kRows;
    for (int r = 0; r < kRows; ++r) {
      for (int c = 0; c < kColumns; ++c) {
        const float v = (r + c) % 2 ? 0.0f : 1.0f;
        fill_rect(box.x + c * w, box.y + r * h, w, h, v, v, v, 1);
      }
    }
    return;
  }
  const bool last = t.lap_box == race::kLapBoxLastLap;
  if (last) {
    fill_rect(box.x, box.y, box.w, box.h, 1, 1, 1, 1);
  } else {
    fill_rect(box.x, box.y, box.w, box.h, 0.1f, 0.55f, 0.2f, 1);
  }
  const float h = fitting(t.lap, box.h * 0.72f, box.w * 0.9f);
  text_at(t.lap, box.x + (box.w - width_of(t.lap, h)) / 2, box.y + (box.h - h) / 2 + h * 0.1f, h,
          last ? kBlack : kWhite, !last);
}

// ---------------------------------------------------------------------------
// Ping and render statistics

void draw_timing_lines(const StandingsLayout& l, const StandingsState& s, float right) {
  char text[64];
  float y = l.timing_lines.y + l.timing_lines.h;
  const float h = l.timing_line / kHudLineSpacing;
  const auto line = [&] {
    y -= l.timing_line;
    text_at(text, right - width_of(text, h), y, h, kWhite);
  };
  if (s.show_ping) {
    std::snprintf(text, sizeof text, "Ping - %dms (%dms offset)", s.ping_ms, s.ping_offset_ms);
    line();
  }
  if (!s.show_render_stats) return;
  // Decals are not drawn by this renderer: their count stays 0.
  const int counts[6] = {g_frame_counters.ground_polygons, g_frame_counters.model_polygons,
                         g_frame_counters.billboards,      0,
                         g_frame_counters.texture_changes, g_frame_counters.shader_changes};
  static const char* const kFormats[6] = {
      "Ground polygons - %d max=%d", "Model polygons - %d max=%d",  "Billboards - %d max=%d",
      "Decals - %d max=%d",          "Texture Changes - %d max=%d", "Shader Changes - %d max=%d"};
  for (int i = 0; i < 6; ++i) {
    g_stat_max[i] = std::max(g_stat_max[i], counts[i]);
    std::snprintf(text, sizeof text, kFormats[i], counts[i], g_stat_max[i]);
    line();
  }
}

}  // namespace

StandingsLayout standings_layout(const StandingsState& s, const HudState& hud_state) {
  StandingsLayout l;
  const float w = static_cast<float>(s.window_width), h = static_cast<float>(s.window_height);
  const float u = unit(s.window_width, s.window_height);
  const HudLayout hud = hud_layout(s.window_width, s.window_height);
  const float hud_line = hud.text_height * kHudLineSpacing;
  const float gap = 6 * u;

  // The top: the HUD's messages on the left, its timing lines and then these on the right.
  const int hud_lines = (hud_state.show_fps ? 1 : 0) + (hud_state.show_clock ? 1 : 0);
  const int own_lines = (s.show_ping ? 1 : 0) + (s.show_render_stats ? 6 : 0);
  l.timing_line = 11 * u * kHudLineSpacing;
  const float lines_top = h - hud.margin - hud_lines * hud_line;
  if (own_lines > 0) {
    const float width = 240 * u;
    l.timing_lines = {w - hud.margin - width, lines_top - own_lines * l.timing_line, width,
                      own_lines * l.timing_line};
  }
  const float messages_bottom = h - hud.margin - kMessageLines * hud_line;

  // The bottom: the gauges at the right, the ticker just over them, the pit board at the left.
  const float gauges_top = std::max(hud.speed.y + hud.speed.h, hud.lean.y + hud.lean.h * 3.5f);
  const float strip_h = 22 * u, lap_w = 78 * u;
  const float strip_y = gauges_top + gap;
  if (s.show_ticker) {
    l.ticker = {hud.margin, strip_y, w - 2 * hud.margin - lap_w - gap, strip_h};
    l.lap_box = {w - hud.margin - lap_w, strip_y, lap_w, strip_h};
  }
  if (s.pit_board.shown) {
    // As large as fits under the ticker, the board's frame a gap below it.
    const float size = std::min(190 * u, (strip_y - gap) / (1 - kBoardTop / kBoardPixels));
    l.pit_board = {hud.margin, 0, size, size};
  }

  if (s.table.shown) {
    const float bottom = strip_y + strip_h + gap;
    l.table_row = kRowSize * u * kHudLineSpacing;
    l.table_char = kRowSize * u * kCharPerHeight;
    const float width = kTableChars * l.table_char + 2 * kPad * u;
    // Centred under the messages; with the statistics lines reaching down, beside them when
    // there is room there, else under them.
    float x = (w - width) / 2, top = messages_bottom - gap;
    if (own_lines > 0 && l.timing_lines.y < top) {
      const float room = l.timing_lines.x - gap - hud.margin;
      if (room >= width) {
        x = std::min(x, hud.margin + (room - width) / 2);
      } else {
        top = l.timing_lines.y - gap;
      }
    }
    const float fixed = 2 * kPad * u + kTitleSize * u + kHeadSize * u * 1.3f + l.table_row * 0.3f;
    const int wanted = s.table.row_count + (s.table.total[0] ? 1 : 0) + s.table.penalty_count;
    // A field too big for the room gets smaller rows first (down to 60%), then loses its tail.
    const float room = top - bottom - fixed;
    if (wanted > 0 && room < wanted * l.table_row) {
      const float scale = std::clamp(room / (wanted * l.table_row), 0.6f, 1.0f);
      l.table_row *= scale;
      l.table_char *= scale;
    }
    const int fit = static_cast<int>(std::floor(room / l.table_row + 1e-3f));
    l.table_lines = std::clamp(wanted, 0, std::max(fit, 0));
    const float height = fixed + l.table_lines * l.table_row;
    l.table = {x, top - height, width, height};
  }
  return l;
}

void reset_render_stats() { std::fill(std::begin(g_stat_max), std::end(g_stat_max), 0); }

void draw_standings() {
  const StandingsState& s = g_standings;
  const int width = s.window_width, height = s.window_height;
  if (width <= 0 || height <= 0) return;
  const StandingsLayout l = standings_layout(s, g_hud);
  const float u = unit(width, height);

  begin_overlay(width, height);

  if (l.timing_lines.h > 0) draw_timing_lines(l, s, l.timing_lines.x + l.timing_lines.w);
  if (l.pit_board.h > 0) draw_pit_board(l.pit_board, s.pit_board);
  if (l.ticker.h > 0) draw_ticker(l, s, u);
  if (l.table.h > 0) draw_table(l, s.table, u);

  end_overlay();
}

}  // namespace render
