// control_inputs.cpp -- the nine control inputs summed from the rider's bindings.
#include <algorithm>
#include <cmath>

#include "shell/frame_loop.h"
#include "shell/settings.h"

namespace shell {

namespace {

// Which input each of the first twelve bindings feeds, and with what sign.
struct Feed {
  ControlInput input;
  float scale;
};

constexpr Feed kFeeds[12] = {
    {kInputThrottle, 1},    // Throttle
    {kInputFrontBrake, 1},  // Front Brake
    {kInputRearBrake, 1},   // Rear Brake
    {kInputSteer, 1},       // Left
    {kInputSteer, -1},      // Right
    {kInputClutch, 1},      // Clutch
    {kInputShift, 1},       // Upshift
    {kInputShift, -1},      // Downshift
    {kInputDab, 1},         // Sit/Dab
    {kInputBackUp, 1},      // Back up
    {kInputLean, -1},       // Lean Forward
    {kInputLean, 1},        // Lean Backward
};

}  // namespace

void resolve_bindings(const Settings& settings, ResolvedBinding out[kBindings]) {
  for (int i = 0; i < kBindings; ++i) {
    if (out[i].has_axis) platform::close_axis(&out[i].axis);
    out[i] = ResolvedBinding{};
    const Binding& binding = settings.bindings[i];
    out[i].a = binding.a;
    out[i].b = binding.b;
    if (!binding.axis.empty()) {
      out[i].has_axis = platform::open_axis(binding.axis.c_str(), &out[i].axis);
    } else if (!binding.key.empty()) {
      out[i].code = platform::key_code_for_name(binding.key.c_str());
    }
  }
}

void HeldKeys::press(unsigned code) {
  if (!held(code)) codes.push_back(code);
}

void HeldKeys::release(unsigned code) {
  codes.erase(std::remove(codes.begin(), codes.end(), code), codes.end());
}

bool HeldKeys::held(unsigned code) const {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

void gather_control_inputs(const ResolvedBinding bindings[kBindings], const HeldKeys& held,
                           int (*read_axis)(const platform::Axis&), float inputs[kControlInputs]) {
  std::fill(inputs, inputs + kControlInputs, 0.0f);
  for (int i = 0; i < 12; ++i) {
    const ResolvedBinding& binding = bindings[i];
    double value = 0;
    if (binding.has_axis) {
      const double raw = read_axis(binding.axis) / 32768.0;
      // A range of no width would divide by zero; such a binding gives nothing.
      if (binding.b != binding.a) value = (raw - binding.a) / (binding.b - binding.a);
      // std::clamp lets NaN through; a range that is not finite gives nothing either.
      value = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0;
    } else if (binding.code && held.held(binding.code)) {
      value = 1;
    }
    inputs[kFeeds[i].input] += static_cast<float>(kFeeds[i].scale * value);
  }
}

}  // namespace shell
