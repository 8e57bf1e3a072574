// frame_loop.h -- wall-clock time into whole ticks, and the control inputs gathered each
// tick from the bindings (private to the shell).
#pragma once

#include <vector>

#include "platform/platform.h"
#include "render/render.h"
#include "shell/settings.h"
#include "sim/sim.h"

namespace shell {

constexpr int kMaxTicksPerFrame = 16;

// The wall clock, replaceable so that tests can drive the loop with a fake one.
struct ClockSource {
  double (*now)();  // s
  void (*sleep)(double seconds);
};
ClockSource system_clock();

struct FrameClock {
  double last_wall = 0;   // s, wall time of the last frame
  double target = 0;      // s, simulated target time
  double simulated = 0;   // s, simulated time reached by whole ticks
  double total = 0;       // s, drives message expiry
  int histogram[8] = {};  // frames by elapsed time: bucket k holds elapsed < tick * 2^k
  double shortest = 0;    // s, shortest and longest frame advance
  double longest = 0;
  int frames = 0;
};

// How a connected game paces itself against the server.
struct CatchUp {
  bool connected = false;
  double behind = 0;       // s: the server's latest tick minus one, less ours
  bool past_mark = false;  // the server has passed the catch-up mark
};

// The start of a frame: measures (sleeping as needed) and returns the
// frame's advance in seconds, which is added to the target and total times.
double frame_advance(FrameClock& clock, const ClockSource& source, bool warp, double lock_fps,
                     const CatchUp& catch_up);

// The tick loop: runs `tick(wall_moment)` while the simulated time is behind
// the target; the moment is the wall time the tick stands for. Returns the
// number of ticks run.
template <typename TickFn>
int run_ticks(FrameClock& clock, TickFn&& tick) {
  int ticks = 0;
  while (clock.simulated < clock.target) {
    clock.simulated += sim::kTickSeconds;
    tick(clock.last_wall - (clock.target - clock.simulated));
    ++ticks;
  }
  return ticks;
}

// The nine control inputs, summed each tick from the bindings.
enum ControlInput {
  kInputSteer,
  kInputThrottle,
  kInputFrontBrake,
  kInputRearBrake,
  kInputShift,
  kInputClutch,
  kInputDab,
  kInputBackUp,
  kInputLean,
  kControlInputs,
};

// A binding with its name resolved to a key code or an open axis.
struct ResolvedBinding {
  unsigned code = 0;  // key, mouse or controller button; 0 for none
  platform::Axis axis;
  bool has_axis = false;
  double a = 0, b = 1;
};

// Resolves the configured bindings (start-up, and after the controls menu).
void resolve_bindings(const Settings& settings, ResolvedBinding out[kBindings]);

// Which keys are held, from the queue's press and release events.
struct HeldKeys {
  std::vector<unsigned> codes;
  void press(unsigned code);
  void release(unsigned code);
  bool held(unsigned code) const;
};

// Sums the bindings' contributions: a held key gives 1, an axis
// clamp((raw / 32768 - a) / (b - a), 0, 1). `read_axis` reads a raw axis.
void gather_control_inputs(const ResolvedBinding bindings[kBindings], const HeldKeys& held,
                           int (*read_axis)(const platform::Axis&), float inputs[kControlInputs]);

// The control inputs that move the cameras when they do not ride a bike.
render::CameraControls camera_controls(const float inputs[kControlInputs]);

}  // namespace shell
