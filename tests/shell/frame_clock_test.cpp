// frame_clock_test.cpp -- tick accounting over many frames with a fake clock, and the control
// inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "shell/frame_loop.h"
#include "shell/settings.h"

namespace {

// A wall clock that only moves when told to, or when the loop sleeps.
struct FakeClock {
  static double now;
  static double now_fn() { return now; }
  // Like a real sleep, never shorter than the clock can tell apart.
  static void sleep_fn(double seconds) { now += std::max(seconds, 1e-9); }
  static shell::ClockSource source() { return shell::ClockSource{now_fn, sleep_fn}; }
};
double FakeClock::now = 0;

// Ticks run by each of `frames` frames, each taking `frame_time` of wall time
// before it is measured.
std::vector<int> run_frames(shell::FrameClock& clock, int frames, double frame_time,
                            double lock_fps = 0) {
  std::vector<int> ticks;
  for (int i = 0; i < frames; ++i) {
    FakeClock::now += frame_time;
    shell::frame_advance(clock, FakeClock::source(), false, lock_fps, shell::CatchUp{});
    ticks.push_back(shell::run_ticks(clock, [](double) {}));
  }
  return ticks;
}

}  // namespace

TEST(FrameClock, SixtyFramesASecondRunTwoOrThreeTicksEach) {
  FakeClock::now = 100;
  shell::FrameClock clock;
  run_frames(clock, 1, 0);  // the first frame only starts the clock
  const std::vector<int> ticks = run_frames(clock, 600, 1.0 / 60);
  for (int t : ticks) EXPECT_TRUE(t == 2 || t == 3) << t;
  const int total = std::accumulate(ticks.begin(), ticks.end(), 0);
  EXPECT_NEAR(total, 1280, 1);         // ten seconds of 128 ticks
  EXPECT_EQ(clock.histogram[2], 600);  // 1/60 s lies between 2 and 4 ticks
}

TEST(FrameClock, AStallRunsSixteenTicksNotTheBacklog) {
  FakeClock::now = 0;
  shell::FrameClock clock;
  run_frames(clock, 10, 1.0 / 60);
  const std::vector<int> stalled = run_frames(clock, 1, 2.0);
  EXPECT_EQ(stalled[0], 16);
  EXPECT_EQ(clock.histogram[7], 1);
  EXPECT_DOUBLE_EQ(clock.longest, 0.125);
}

TEST(FrameClock, LockedFrameRateAdvancesExactlyAFrameWhateverTheMachine) {
  for (double frame_time : {0.001, 0.02, 0.2}) {  // fast, a little slow, very slow
    FakeClock::now = 0;
    shell::FrameClock clock;
    const std::vector<int> ticks = run_frames(clock, 300, frame_time, 30);
    const double per_frame = std::accumulate(ticks.begin(), ticks.end(), 0) / 300.0;
    EXPECT_NEAR(per_frame, 128.0 / 30, 0.02) << frame_time;
  }
}

TEST(FrameClock, FastFramesSleepUntilATickHasPassed) {
  FakeClock::now = 0;
  shell::FrameClock clock;
  const std::vector<int> ticks = run_frames(clock, 200, 0.0001);
  for (std::size_t i = 1; i < ticks.size(); ++i) EXPECT_GE(ticks[i], 1);
  EXPECT_GE(clock.shortest, sim::kTickSeconds);
}

TEST(FrameClock, WarpAndServerCatchUp) {
  FakeClock::now = 0;
  shell::FrameClock clock;
  EXPECT_DOUBLE_EQ(shell::frame_advance(clock, FakeClock::source(), true, 0, {}), 0.78125);
  EXPECT_EQ(shell::run_ticks(clock, [](double) {}), 100);

  struct Case {
    double behind;
    bool past_mark;
    double scale;
  } cases[] = {
      {-2.0, false, 0.5}, {-0.5, false, 0.75},    {0.0, false, 1.0},  {0.5, false, 2.5},
      {3.0, false, 4.0},  {0.0625, true, 1.0625}, {1.0, true, 1.125},
  };
  for (const Case& c : cases) {
    shell::FrameClock connected;
    FakeClock::now = 10;
    shell::frame_advance(connected, FakeClock::source(), false, 0, {});
    FakeClock::now += 0.05;
    const shell::CatchUp catch_up{true, c.behind, c.past_mark};
    // Warp and lock-fps do not apply while connected.
    EXPECT_NEAR(shell::frame_advance(connected, FakeClock::source(), true, 30, catch_up),
                0.05 * c.scale, 1e-12)
        << c.behind;
  }
}

TEST(FrameClock, TickMomentsStepThroughTheFrame) {
  FakeClock::now = 50;
  shell::FrameClock clock;
  run_frames(clock, 1, 0);
  FakeClock::now += 3 * sim::kTickSeconds;
  shell::frame_advance(clock, FakeClock::source(), false, 0, {});
  std::vector<double> moments;
  shell::run_ticks(clock, [&](double moment) { moments.push_back(moment); });
  ASSERT_EQ(moments.size(), 3u);
  // The last tick stands for the frame's own wall time; earlier ones before it.
  EXPECT_DOUBLE_EQ(moments[2], FakeClock::now);
  EXPECT_DOUBLE_EQ(moments[1], FakeClock::now - sim::kTickSeconds);
}

TEST(ControlInputs, KeysAndAxesSumIntoTheNineInputs) {
  shell::ResolvedBinding bindings[shell::kBindings];
  bindings[shell::kLeftKey].code = 1;
  bindings[shell::kRightKey].code = 2;
  bindings[shell::kUpshiftKey].code = 3;
  bindings[shell::kLeanForwardKey].code = 4;
  // The throttle on an axis with a captured range; the clutch on a reversed one.
  static platform::InputDevice* const kFake = reinterpret_cast<platform::InputDevice*>(8);
  bindings[shell::kThrottleKey].has_axis = true;
  bindings[shell::kThrottleKey].axis = platform::Axis{kFake, 0};
  bindings[shell::kThrottleKey].a = 0.0625;
  bindings[shell::kThrottleKey].b = 0.9375;
  bindings[shell::kClutchKey].has_axis = true;
  bindings[shell::kClutchKey].axis = platform::Axis{kFake, 1};
  bindings[shell::kClutchKey].a = -0.0625;
  bindings[shell::kClutchKey].b = -0.9375;
  bindings[shell::kDabKey].has_axis = true;
  bindings[shell::kDabKey].axis = platform::Axis{kFake, 2};
  bindings[shell::kDabKey].a = 0.5;
  bindings[shell::kDabKey].b = 0.5;  // no width: contributes nothing
  bindings[shell::kRearBrakeKey].has_axis = true;
  bindings[shell::kRearBrakeKey].axis = platform::Axis{kFake, 2};
  bindings[shell::kRearBrakeKey].a = std::numeric_limits<double>::quiet_NaN();  // not finite:
  bindings[shell::kRearBrakeKey].b = 1;                                         // nothing

  shell::HeldKeys held;
  held.press(1);
  held.press(2);
  held.press(3);
  held.press(3);
  held.press(4);
  auto read = [](const platform::Axis& axis) -> int {
    const int raw[] = {16384, -32768, 32767};  // half, full negative, full
    return raw[axis.index];
  };
  float inputs[shell::kControlInputs];
  shell::gather_control_inputs(bindings, held, read, inputs);
  EXPECT_FLOAT_EQ(inputs[shell::kInputSteer], 0);  // left and right cancel
  EXPECT_FLOAT_EQ(inputs[shell::kInputShift], 1);
  EXPECT_FLOAT_EQ(inputs[shell::kInputLean], -1);
  EXPECT_FLOAT_EQ(inputs[shell::kInputThrottle], (0.5f - 0.0625f) / 0.875f);
  EXPECT_FLOAT_EQ(inputs[shell::kInputClutch], 1);
  EXPECT_FLOAT_EQ(inputs[shell::kInputDab], 0);
  EXPECT_EQ(inputs[shell::kInputRearBrake], 0);

  held.release(2);
  held.release(3);
  shell::gather_control_inputs(bindings, held, read, inputs);
  EXPECT_FLOAT_EQ(inputs[shell::kInputSteer], 1);
  EXPECT_FLOAT_EQ(inputs[shell::kInputShift], 0);
}

TEST(ControlInputs, DefaultBindingsResolveToKeys) {
  shell::ResolvedBinding bindings[shell::kBindings];
  shell::resolve_bindings(shell::default_settings(), bindings);
  for (int i = 0; i < shell::kBindings; ++i) {
    EXPECT_NE(bindings[i].code, 0u) << shell::binding_key(i);
    EXPECT_FALSE(bindings[i].has_axis);
  }
  EXPECT_EQ(bindings[shell::kDabKey].code, 4096u + 285);
  EXPECT_EQ(bindings[shell::kThrottleKey].code, 4096u + 45);
}
