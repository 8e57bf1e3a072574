// frame_clock.cpp -- turning wall-clock time into whole ticks, at most 16 a frame.
#include <time.h>

#include <algorithm>
#include <cmath>

#include "shell/frame_loop.h"

namespace shell {

namespace {

constexpr double kWarpAdvance = 100 * sim::kTickSeconds;  // s: 100 ticks a frame
constexpr double kMaxAdvance =
    kMaxTicksPerFrame * sim::kTickSeconds;  // s: a stall does not snowball

double monotonic_now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void sleep_for(double seconds) {
  if (seconds <= 0) return;
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(seconds);
  wait.tv_nsec = static_cast<long>((seconds - static_cast<double>(wait.tv_sec)) * 1e9);
  nanosleep(&wait, nullptr);
}

double clamp01(double x) { return std::clamp(x, 0.0, 1.0); }

}  // namespace

ClockSource system_clock() { return ClockSource{monotonic_now, sleep_for}; }

double frame_advance(FrameClock& clock, const ClockSource& source, bool warp, double lock_fps,
                     const CatchUp& catch_up) {
  double now = source.now();
  if (clock.frames == 0) clock.last_wall = now;
  double elapsed = now - clock.last_wall;
  double advance;
  if (!catch_up.connected && warp) {
    advance = kWarpAdvance;
  } else if (!catch_up.connected && lock_fps > 0) {
    const double period = 1.0 / lock_fps;
    if (elapsed < period) {
      source.sleep(period - elapsed);
      now = source.now();
      elapsed = now - clock.last_wall;
    }
    advance = period;
  } else {
    while (elapsed < sim::kTickSeconds) {
      source.sleep(sim::kTickSeconds - elapsed);
      now = source.now();
      elapsed = now - clock.last_wall;
    }
    advance = std::min(elapsed, kMaxAdvance);
  }

  int bucket = 0;
  while (bucket < 7 && !(elapsed < sim::kTickSeconds * std::ldexp(1.0, bucket))) ++bucket;
  ++clock.histogram[bucket];

  if (catch_up.connected) {
    const double d = catch_up.behind;
    if (d < 0)
      advance *= 0.5 + 0.5 * clamp01(d + 1);
    else if (!catch_up.past_mark)
      advance *= 1 + 3 * clamp01(d);
    else
      advance *= 1 + 0.125 * clamp01(8 * d);
  }
  if (clock.frames == 0 || advance < clock.shortest) clock.shortest = advance;
  if (clock.frames == 0 || advance > clock.longest) clock.longest = advance;
  ++clock.frames;
  clock.last_wall = now;
  clock.target += advance;
  clock.total += advance;
  return advance;
}

}  // namespace shell
