// hud_input.cpp -- what the riding HUD shows, copied from the race before each frame.
#include <cmath>
#include <cstdint>

#include "platform/platform.h"
#include "render/render.h"
#include "shell/catalogue.h"
#include "shell/frame_loop.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "sim/sim.h"

namespace shell {

namespace {

constexpr double kMphPerFootPerSecond = 3600.0 / 5280.0;

// Frames counted since `since_ms`; the rate is refreshed once a second has gone by.
struct FrameRate {
  std::uint64_t since_ms = 0;
  int frames = 0;
  bool started = false;
};
FrameRate g_frame_rate;

float measure_frame_rate(float previous) {
  const std::uint64_t now = platform::uptime_ms();
  FrameRate& r = g_frame_rate;
  if (!r.started) {
    r = {now, 0, true};
    return previous;
  }
  ++r.frames;
  const std::uint64_t elapsed = now - r.since_ms;
  if (elapsed < 1000) return previous;
  const float fps = static_cast<float>(r.frames * 1000.0 / static_cast<double>(elapsed));
  r.since_ms = now;
  r.frames = 0;
  return fps;
}

}  // namespace

void update_hud_input() {
  render::HudState& hud = render::g_hud;
  int width = 0, height = 0;
  platform::window_size(&width, &height);
  if (width > 0 && height > 0) {
    hud.window_width = width;
    hud.window_height = height;
  }
  hud.fps = measure_frame_rate(hud.fps);
  hud.show_fps = g_settings.draw_fps != 0;
  hud.show_clock = g_settings.draw_time != 0;
  hud.race_seconds = (sim::g_sim.tick - g_race.start_tick) * sim::kTickSeconds;

  const sim::Bike* bike = g_race.watched >= 0 && g_race.watched < kRiderSlots
                              ? g_race.slots[g_race.watched].bike
                              : nullptr;
  hud.active = bike != nullptr;
  if (!bike) return;
  hud.speed_mph = static_cast<float>(std::fabs(sim::frame_speed(bike)) * kMphPerFootPerSecond);
  hud.rpm = static_cast<float>(sim::engine_rpm(bike));
  hud.rev_limit_rpm = bike->k.rev_limit_rpm;
  // The gearbox counts from 0 for first; a bike without a positive ratio there has no gears
  // and shows neutral.
  const int gear = bike->controls.gear;
  const bool geared = gear >= 0 && gear < sim::kMaxGears && bike->k.gear_ratios[gear] > 0;
  hud.gear = geared ? gear + 1 : 0;
  hud.show_lean = g_rider_setup.lean_indicator.index == 1;  // "No", "Yes"
  hud.lean = static_cast<float>(bike->lean_indicator);
}

}  // namespace shell
