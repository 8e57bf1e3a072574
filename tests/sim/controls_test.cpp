// controls_test.cpp -- player inputs to a bike's controls: steering, dab, clutch and shifting.
#include <gtest/gtest.h>

#include <limits>

#include "sim/sim.h"

namespace {

constexpr float kRatios[6] = {3.0f, 2.2f, 1.7f, 1.4f, 1.2f, 0.0f};  // a five-speed box

sim::Controls step(const sim::PlayerInputs& in, sim::InputAids& aids, sim::Controls controls,
                   bool crashed = false) {
  sim::apply_player_inputs(in, aids, crashed, kRatios, controls);
  return controls;
}

}  // namespace

TEST(PlayerInputs, ReversedSteeringTurnsTheOtherWay) {
  sim::PlayerInputs in;
  in.steer = 0.75f;
  sim::InputAids normal, reversed;
  reversed.reverse_steering = true;
  EXPECT_FLOAT_EQ(step(in, normal, {}).steer, 0.75f);
  EXPECT_FLOAT_EQ(step(in, reversed, {}).steer, -0.75f);
}

TEST(PlayerInputs, ClutchDropsAtOnceAndTakesAQuarterSecondToEngage) {
  sim::InputAids aids;
  sim::Controls controls;
  sim::PlayerInputs in;
  in.clutch_lever = 1;
  controls = step(in, aids, controls);
  EXPECT_FLOAT_EQ(controls.clutch, 0);  // pulling the lever disengages at once
  in.clutch_lever = 0;
  int ticks = 0;
  while (controls.clutch < 1 && ticks < 1000) {
    controls = step(in, aids, controls);
    ++ticks;
  }
  EXPECT_GE(ticks, 32);
  EXPECT_LE(ticks, 33);
  // The clutch is fully out with the lever seven eighths of the way in.
  in.clutch_lever = 0.875f;
  EXPECT_FLOAT_EQ(step(in, aids, controls).clutch, 0);
  in.clutch_lever = 0.5f;
  EXPECT_FLOAT_EQ(step(in, aids, controls).clutch, 1 - 0.5f * 8 / 7);
}

TEST(PlayerInputs, StickyDabTogglesOnEachRise) {
  sim::InputAids aids;
  aids.sticky_dab = true;
  sim::Controls controls;
  sim::PlayerInputs in;
  const float presses[] = {0, 1, 1, 0, 0.4f, 0.9f, 0};
  const float dab[] = {0, 1, 1, 1, 1, 0, 0};
  for (int i = 0; i < 7; ++i) {
    in.dab = presses[i];
    controls = step(in, aids, controls);
    EXPECT_FLOAT_EQ(controls.dab, dab[i]) << i;
  }
}

TEST(PlayerInputs, ShiftingNeedsANewRequestAndAPositiveRatio) {
  sim::InputAids aids;
  sim::Controls controls;
  sim::PlayerInputs in;
  in.shift = 1;
  controls = step(in, aids, controls);
  EXPECT_EQ(controls.gear, 1);
  controls = step(in, aids, controls);  // held: no second shift
  EXPECT_EQ(controls.gear, 1);
  in.shift = 0;
  controls = step(in, aids, controls);
  for (int i = 0; i < 6; ++i) {
    in.shift = 0.9f;
    controls = step(in, aids, controls);
    in.shift = 0;
    controls = step(in, aids, controls);
  }
  EXPECT_EQ(controls.gear, 4);  // the sixth gear has no ratio
  in.shift = -1;
  EXPECT_EQ(step(in, aids, controls, true).gear, 4);  // not while crashed
  const sim::Controls down = step(in, aids, controls);
  EXPECT_EQ(down.gear, 3);
  EXPECT_EQ(down.last_shift, -1);
}

// Inputs that are no numbers (a broken axis, a bad binding) reach the bike as released
// controls, never as NaN.
TEST(PlayerInputs, InputsThatAreNoNumbersCountAsReleased) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  sim::PlayerInputs in{nan, nan, nan, nan, nan, nan, nan, nan, nan};
  sim::InputAids aids;
  sim::Controls controls;
  sim::apply_player_inputs(in, aids, false, kRatios, controls);
  for (float value : {controls.steer, controls.throttle, controls.front_brake, controls.rear_brake,
                      controls.dab, controls.back_up, controls.lean, controls.clutch}) {
    EXPECT_EQ(value, 0);
  }
  EXPECT_EQ(controls.gear, 0);
  in = sim::PlayerInputs{inf, inf, inf, inf, 0, 0, inf, inf, -inf};
  sim::apply_player_inputs(in, aids, false, kRatios, controls);
  EXPECT_EQ(controls.steer, 1);
  EXPECT_EQ(controls.throttle, 1);
  EXPECT_EQ(controls.lean, -1);
}
