// controls.cpp -- the player's control inputs turned into a bike's controls each tick.
#include <algorithm>

#include "sim/sim.h"

namespace sim {

namespace {

// Full engagement from a fully pulled lever takes at least a quarter second.
constexpr float kClutchRisePerTick = 4 * static_cast<float>(kTickSeconds);

// std::clamp passes NaN through; an input that is no number counts as released.
float clamp(float value, float low, float high) {
  return value == value ? std::clamp(value, low, high) : 0.0f;
}

}  // namespace

void apply_player_inputs(const PlayerInputs& in, InputAids& aids, bool crashed,
                         const float gear_ratios[6], Controls& controls) {
  controls.steer = clamp(aids.reverse_steering ? -in.steer : in.steer, -1, 1);
  controls.front_brake = clamp(in.front_brake, 0, 1);
  controls.rear_brake = clamp(in.rear_brake, 0, 1);
  controls.throttle = clamp(in.throttle, 0, 1);
  if (aids.sticky_dab) {
    if (in.dab > 0.5f && !(aids.dab_input_before > 0.5f))
      controls.dab = controls.dab > 0.5f ? 0 : 1;
  } else {
    controls.dab = clamp(in.dab, 0, 1);
  }
  aids.dab_input_before = in.dab;
  controls.back_up = clamp(in.back_up, 0, 1);
  controls.lean = clamp(in.lean, -1, 1);

  const float target = clamp(1 - in.clutch_lever * 8 / 7, 0, 1);
  controls.clutch =
      target > controls.clutch ? std::min(target, controls.clutch + kClutchRisePerTick) : target;

  const int request = in.shift > 0.5f ? 1 : in.shift < -0.5f ? -1 : 0;
  if (request != 0 && request != controls.last_shift && !crashed) {
    int gear = std::clamp(controls.gear + request, 0, 5);
    while (gear > 0 && !(gear_ratios[gear] > 0)) --gear;
    controls.gear = gear;
  }
  controls.last_shift = request;
}

}  // namespace sim
