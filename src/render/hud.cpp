// hud.cpp -- the riding HUD over the scene.
//
// Bottom right: the speed over the tachometer, the shifter with its knob and gear number
// beside it, the lean meter over the shifter. Top left: the message lines, oldest first.
// Top right: the frame-rate and race-clock lines when they are switched on. Everything is
// drawn in window pixels with the fixed-function pipeline, once per frame, without
// allocating.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "data/data.h"
#include "platform/platform.h"
#include "render/render.h"
#include "render/render_internal.h"

namespace render {

HudState g_hud;

namespace {

// The pictures' own geometry, in their pixels (y down), as the content generator paints it.
constexpr float kTachPixels = 512;
constexpr float kTachFullScaleRpm = 14000;  // the last mark of the dial
constexpr float kShifterPixels = 256;
constexpr float kShifterKnobX = 62;
// Knob heights for 1, N, 2, 3, 4, 5; a sixth gear shares the top detent.
constexpr float kShifterDetentY[6] = {216, 188, 160, 132, 104, 76};
constexpr float kGearWindow[4] = {126, 66, 236, 226};  // x0, y0, x1, y1

// The HUD is laid out for a 640 x 480 window and scaled from there.
constexpr float kBaseWidth = 640, kBaseHeight = 480;

// The dial angle of an engine speed, radians counter-clockwise from the right: 0 rpm at
// lower left, full scale at lower right.
float tach_angle(float rpm) {
  const float clamped = std::clamp(rpm, 0.0f, kTachFullScaleRpm);
  return (225.0f - 270.0f * clamped / kTachFullScaleRpm) * std::numbers::pi_v<float> / 180.0f;
}

void fill_disc(float cx, float cy, float radius, float r, float g, float b, float a) {
  constexpr int kSegments = 24;
  glDisable(GL_TEXTURE_2D);
  glColor4f(r, g, b, a);
  glBegin(GL_TRIANGLE_FAN);
  glVertex2f(cx, cy);
  for (int i = 0; i <= kSegments; ++i) {
    const float t = 2 * std::numbers::pi_v<float> * static_cast<float>(i) / kSegments;
    glVertex2f(cx + radius * std::cos(t), cy + radius * std::sin(t));
  }
  glEnd();
}

// One line of text with its lower left corner at (x, y), `height` pixels tall.
void text_at(const Font& font, const char* text, float x, float y, float height, float r, float g,
             float b) {
  glPushMatrix();
  glTranslatef(x, y, 0);
  glScalef(height, height, 1);
  draw_text_shadowed(font, text, r, g, b, 1);
  glPopMatrix();
}

// The needle from a short tail behind the hub to just inside the marks, tapering.
void draw_needle(const HudBox& tach, float rpm, bool over_limit) {
  const float scale = tach.w / kTachPixels;
  const float cx = tach.x + tach.w / 2, cy = tach.y + tach.h / 2;
  const float a = tach_angle(rpm);
  const float ux = std::cos(a), uy = std::sin(a);  // along the needle
  const float px = -uy, py = ux;                   // across it
  const float tip = 208 * scale, tail = 36 * scale;
  const float base = 9 * scale, point = 2.5f * scale;
  glDisable(GL_TEXTURE_2D);
  if (over_limit) {
    glColor4f(1.0f, 0.15f, 0.1f, 1);
  } else {
    glColor4f(1.0f, 0.55f, 0.12f, 1);
  }
  glBegin(GL_QUADS);
  glVertex2f(cx - ux * tail + px * base, cy - uy * tail + py * base);
  glVertex2f(cx - ux * tail - px * base, cy - uy * tail - py * base);
  glVertex2f(cx + ux * tip - px * point, cy + uy * tip - py * point);
  glVertex2f(cx + ux * tip + px * point, cy + uy * tip + py * point);
  glEnd();
  // The picture's hub lies under the needle: cover the needle's root again.
  fill_disc(cx, cy, 22 * scale, 0.55f, 0.56f, 0.6f, 1);
  fill_disc(cx, cy, 10 * scale, 0.1f, 0.1f, 0.11f, 1);
}

void draw_shifter(const HudBox& shifter, int gear) {
  const float scale = shifter.w / kShifterPixels;
  // Picture y (down from the top) to window y.
  auto window_y = [&](float picture_y) { return shifter.y + shifter.h - picture_y * scale; };
  const int detent = gear <= 0 ? 1 : gear == 1 ? 0 : std::min(gear, 5);
  const float kx = shifter.x + kShifterKnobX * scale, ky = window_y(kShifterDetentY[detent]);
  fill_disc(kx, ky, 13 * scale, 0.05f, 0.05f, 0.06f, 1);
  fill_disc(kx, ky, 11 * scale, 0.85f, 0.86f, 0.9f, 1);

  const float x0 = shifter.x + kGearWindow[0] * scale, x1 = shifter.x + kGearWindow[2] * scale;
  const float window_h = (kGearWindow[3] - kGearWindow[1]) * scale;
  const float height = window_h * 0.7f;
  const float y = window_y(kGearWindow[3]) + (window_h - height) / 2;
  char text[12];
  if (gear <= 0) {
    const float width = text_width(g_font_text, "N") * height;
    text_at(g_font_text, "N", (x0 + x1 - width) / 2, y, height, 0.35f, 0.9f, 0.43f);
  } else {
    std::snprintf(text, sizeof text, "%d", gear);
    const float width = text_width(g_font_digits, text) * height;
    text_at(g_font_digits, text, (x0 + x1 - width) / 2, y, height, 1, 1, 1);
  }
}

void draw_speed(const HudBox& box, float mph) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", static_cast<int>(std::lround(std::max(mph, 0.0f))));
  const float unit_height = box.h * 0.42f;
  const float unit_width = text_width(g_font_text, "mph") * unit_height;
  const float gap = box.h * 0.12f;
  const float digits_width = text_width(g_font_digits, digits) * box.h;
  const float right = box.x + box.w;
  text_at(g_font_digits, digits, right - unit_width - gap - digits_width, box.y, box.h, 1, 1, 1);
  text_at(g_font_text, "mph", right - unit_width, box.y, unit_height, 0.85f, 0.85f, 0.85f);
}

// A bar that fills and reddens as the bike nears falling into the turn.
void draw_lean(const HudBox& box, float lean) {
  const float t = std::clamp(lean, 0.0f, 1.0f);
  const float border = std::max(1.0f, box.h * 0.15f);
  fill_rect(box.x - border, box.y - border, box.w + 2 * border, box.h + 2 * border, 0, 0, 0, 0.6f);
  fill_rect(box.x, box.y, box.w, box.h, 0.25f, 0.26f, 0.3f, 0.8f);
  if (t > 0) {
    const float red = std::min(1.0f, 2 * t), green = std::min(1.0f, 2 * (1 - t));
    fill_rect(box.x, box.y, box.w * t, box.h, red, green, 0.1f, 1);
  }
  const float label = box.h * 1.3f;
  text_at(g_font_text, "Lean", box.x, box.y + box.h + border * 2, label, 0.8f, 0.8f, 0.8f);
}

// The message lines from the top left, oldest first.
void draw_messages(const HudLayout& layout, float window_height) {
  const int count = platform::visible_message_count();
  const float line = layout.text_height * 1.15f;
  for (int i = 0; i < count; ++i) {
    const char* text = platform::visible_message(i);
    if (!text) continue;
    const float y = window_height - layout.margin - line * static_cast<float>(i + 1);
    text_at(g_font_text, text, layout.margin, y, layout.text_height, 1, 1, 1);
  }
}

// The frame-rate and clock lines, right-aligned at the top right.
void draw_timing_lines(const HudLayout& layout, float window_width, float window_height) {
  char lines[2][48];
  int count = 0;
  if (g_hud.show_fps) {
    std::snprintf(lines[count++], sizeof lines[0], "FPS - %d",
                  static_cast<int>(std::lround(std::max(g_hud.fps, 0.0f))));
  }
  if (g_hud.show_clock) {
    // Truncated to milliseconds, shown to the tenth; 0 until the gate drops.
    const long ms = static_cast<long>(std::max(g_hud.race_seconds, 0.0) * 1000);
    const long minutes = ms / 60000;
    std::snprintf(lines[count++], sizeof lines[0], "Time - %d:%02d.%d ", static_cast<int>(minutes),
                  static_cast<int>(ms / 1000 - minutes * 60), static_cast<int>(ms % 1000 / 100));
  }
  const float line = layout.text_height * 1.15f;
  for (int i = 0; i < count; ++i) {
    // Aligned by the ink: the clock line's trailing blank is measured out.
    char* end = lines[i] + std::strlen(lines[i]);
    while (end > lines[i] && end[-1] == ' ') --end;
    const char kept = *end;
    *end = '\0';
    const float width = text_width(g_font_text, lines[i]) * layout.text_height;
    *end = kept;
    const float y = window_height - layout.margin - line * static_cast<float>(i + 1);
    text_at(g_font_text, lines[i], window_width - layout.margin - width, y, layout.text_height, 1,
            1, 1);
  }
}

}  // namespace

HudLayout hud_layout(int width, int height) {
  HudLayout l;
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  const float u = std::min(w / kBaseWidth, h / kBaseHeight);
  l.margin = 10 * u;
  l.text_height = 16 * u;
  const float tach = 150 * u, shifter = 90 * u, gap = 6 * u;
  l.tach = {w - l.margin - tach, l.margin, tach, tach};
  l.shifter = {l.tach.x - gap - shifter, l.margin, shifter, shifter};
  l.speed = {l.tach.x, l.tach.y + tach + gap, tach, 40 * u};
  l.lean = {l.shifter.x + 8 * u, l.shifter.y + shifter + 2 * gap, shifter - 16 * u, 8 * u};
  return l;
}

void draw_hud() {
  const int width = g_hud.window_width, height = g_hud.window_height;
  if (width <= 0 || height <= 0) return;
  const HudLayout layout = hud_layout(width, height);

  begin_overlay(width, height);

  if (g_hud.active) {
    // Loaded at start-up: these are lookups in the texture cache.
    draw_picture(data::texture_load("!@tach.png"), layout.tach);
    draw_needle(layout.tach, g_hud.rpm, g_hud.rpm >= g_hud.rev_limit_rpm);
    draw_picture(data::texture_load("!@shifter.png"), layout.shifter);
    draw_shifter(layout.shifter, g_hud.gear);
    draw_speed(layout.speed, g_hud.speed_mph);
    if (g_hud.show_lean) draw_lean(layout.lean, g_hud.lean);
  }
  draw_messages(layout, static_cast<float>(height));
  draw_timing_lines(layout, static_cast<float>(width), static_cast<float>(height));

  end_overlay();
}

// A picture drawn over a box; v runs from the image's top.
void draw_picture(unsigned texture, const HudBox& box) {
  if (!texture) return;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 1);
  glVertex2f(box.x, box.y);
  glTexCoord2f(1, 1);
  glVertex2f(box.x + box.w, box.y);
  glTexCoord2f(1, 0);
  glVertex2f(box.x + box.w, box.y + box.h);
  glTexCoord2f(0, 0);
  glVertex2f(box.x, box.y + box.h);
  glEnd();
}

void fill_rect(float x, float y, float w, float h, float r, float g, float b, float a) {
  glDisable(GL_TEXTURE_2D);
  glColor4f(r, g, b, a);
  glBegin(GL_QUADS);
  glVertex2f(x, y);
  glVertex2f(x + w, y);
  glVertex2f(x + w, y + h);
  glVertex2f(x, y + h);
  glEnd();
}

void begin_overlay(int width, int height) {
  use_program(0);
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT |
               GL_CURRENT_BIT | GL_VIEWPORT_BIT | GL_TRANSFORM_BIT | GL_POLYGON_BIT |
               GL_SCISSOR_BIT);
  glViewport(0, 0, width, height);
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glLoadIdentity();
  push_pixel_projection(static_cast<float>(width), static_cast<float>(height));
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glDisable(GL_CULL_FACE);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_SCISSOR_TEST);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void end_overlay() {
  pop_pixel_projection();
  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopAttrib();
}

}  // namespace render
