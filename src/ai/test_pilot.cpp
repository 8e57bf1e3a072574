// test_pilot.cpp -- a stand-in computer rider that rides the lap gate to gate: it keeps
// computer riders moving until the racing lines arrive, and the ride and screenshot tools
// ride with it.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "ai/ai.h"
#include "race/race.h"
#include "sim/sim.h"

namespace ai {

namespace {

double wrap(double a) { return std::remainder(a, 2 * std::numbers::pi); }

double heading(const sim::Bike* bike) {
  const dReal* r = dBodyGetRotation(bike->body[sim::kFrame]);
  // The forward axis (0, 0, -1) in the world is minus the third column.
  return std::atan2(r[2], r[10]);
}

}  // namespace

// Throttle and brakes that hold a speed.
void pilot_hold_speed(sim::Bike* bike, double target) {
  const double v = sim::frame_speed(bike);
  sim::set_throttle(bike, std::clamp((target - v) * 0.25 + 0.15, 0.0, 1.0));
  const double over = v - target - 3;
  sim::set_front_brake(bike, std::clamp(over * 0.1, 0.0, 1.0));
  sim::set_rear_brake(bike, std::clamp(over * 0.1, 0.0, 1.0));
}

// Steers for a point: positive steer turns right. With lean-following aids the input is a
// lean to hold, so the rider asks for the lean of a turn whose rate grows with the heading
// error (never more than 40 degrees); otherwise the input is a torque and a plain
// proportional steer does.
void pilot_steer_towards(sim::Bike* bike, double x, double z) {
  const dReal* p = sim::body_position(bike, sim::kFrame);
  const double want = std::atan2(-(x - p[0]), -(z - p[2]));
  const double error = wrap(want - heading(bike));
  double steer = -error * 1.5;
  if (bike->aids.direct_steering < 1 && !(bike->flags & sim::kFlagArcade)) {
    const double v = sim::frame_speed(bike);
    const double yaw_rate = std::clamp(error * 1.5, -1.2, 1.2);
    const double lean = std::clamp(std::atan(v * yaw_rate / 32), -0.7, 0.7);
    const double full = std::max(sim::full_steer_lean(bike, v), 0.05);
    steer = -lean / full;
  }
  sim::set_steer(bike, std::clamp(steer, -1.0, 1.0));
}

// The checkpoints of the normal lap, in order.
std::vector<int> lap_checkpoints() {
  const race::Track& t = race::g_track;
  std::vector<int> gates;
  for (int i = 0; i < t.normal_lap_length; ++i) {
    int e = t.lap_sequences[t.first_lap_length + i];
    if (e >= race::kSilentGateBase) e -= race::kSilentGateBase;
    gates.push_back(e);
  }
  return gates;
}

// The test rider: steers for the next gate of the lap and rides at a moderate pace, slower
// where the lap turns sharply within the next few gates.
void pilot_ride(sim::Bike* bike, const TestPilot& r, const std::vector<int>& gates) {
  if (gates.empty()) return;
  const std::vector<race::TimingGate>& cps = race::g_track.checkpoints;
  auto gate = [&](int k) -> const race::TimingGate& {
    return cps[gates[std::size_t(k) % gates.size()]];
  };
  const race::TimingGate& g = gate(r.gate);
  const race::TimingGate& next = gate(r.gate + 1);
  // Waiting for the gate leaves the clutch out and a foot down; the pilot rides with the
  // clutch in and its feet up.
  sim::set_clutch(bike, 1);
  sim::set_dab(bike, 0);
  const dReal* p = sim::body_position(bike, sim::kFrame);
  const double dx = g.centre.x - p[0], dz = g.centre.z - p[2];
  const double d = std::sqrt(dx * dx + dz * dz);
  // Aim a little past the gate's centre, towards the next one, when close; a pilot with a
  // lane keeps to its side of the gate, so that a field of them does not ride one line.
  const double blend = std::clamp(1 - d / 40, 0.0, 0.5);
  double ax = g.centre.x + (next.centre.x - g.centre.x) * blend;
  double az = g.centre.z + (next.centre.z - g.centre.z) * blend;
  const double lx = next.centre.x - g.centre.x, lz = next.centre.z - g.centre.z;
  const double leg = std::hypot(lx, lz);
  if (leg > 1e-3 && r.lane != 0) {
    const double offset = r.lane * std::min<double>(std::max(g.radius, 4.0f), 12.0);
    ax += -lz / leg * offset;
    az += lx / leg * offset;
  }
  pilot_steer_towards(bike, ax, az);
  // The sharpest change of direction over the next three legs, weighed by how soon it comes.
  double sharp = 0, ahead = d;
  double from = std::atan2(-dx, -dz);
  for (int k = 0; k < 3; ++k) {
    const race::TimingGate& a = gate(r.gate + k);
    const race::TimingGate& b = gate(r.gate + k + 1);
    const double leg = std::atan2(-(b.centre.x - a.centre.x), -(b.centre.z - a.centre.z));
    const double turn = std::fabs(wrap(leg - from));
    sharp = std::max(sharp, turn * std::clamp(1.5 - ahead / 120, 0.0, 1.0));
    ahead += std::hypot(b.centre.x - a.centre.x, b.centre.z - a.centre.z);
    from = leg;
  }
  const double target = std::clamp(48 - sharp * 40, 22.0, 48.0) * r.pace;
  sim::Bike* b = bike;
  if (b->wheel[0].depth == 0 && b->wheel[1].depth == 0) {
    // In the air: the throttle spins the rear wheel up and lifts the nose, the rear brake
    // drops it; hold the frame's pitch near level.
    dBodyID frame = b->body[sim::kFrame];
    const dReal* rot = dBodyGetRotation(frame);
    const double pitch = std::asin(std::clamp(double(-rot[6]), -1.0, 1.0));  // nose up > 0
    const dReal* w = dBodyGetAngularVel(frame);
    const double pitch_rate = w[0] * rot[0] + w[1] * rot[4] + w[2] * rot[8];
    const double want = -(pitch * 2 + pitch_rate * 0.5);
    sim::set_throttle(b, std::clamp(0.5 + want, 0.0, 1.0));
    sim::set_rear_brake(b, std::clamp(-want - 0.5, 0.0, 1.0));
    sim::set_front_brake(b, 0);
    // Throwing the body back lifts the nose, forward drops it.
    sim::set_lean(b, std::clamp(want * 2, -1.0, 1.0));
  } else {
    sim::set_lean(b, 0);
    pilot_hold_speed(b, target);
    // Climbing a jump's face: stay on the gas and off the brakes up to the lip.
    const dReal* rot = dBodyGetRotation(b->body[sim::kFrame]);
    if (-rot[6] > 0.14) {
      sim::set_lean(b, 0.6);
      sim::set_throttle(b, std::max<double>(b->controls.throttle, 0.6));
      sim::set_front_brake(b, 0);
      sim::set_rear_brake(b, 0);
    }
  }
  if (b->crash_timer > 0) sim::set_throttle(b, 0);
  // Automatic shifting drops to neutral when the bike stops (after a fall, or held up in a
  // crowd) and never shifts out of it: the pilot clicks first gear itself.
  sim::shift(b, b->controls.gear == 0 && b->crash_timer == 0 ? 1 : 0);
}

namespace {

constexpr int kStuckTicks = 5 * sim::kTicksPerSecond;

// Puts the bike at rest on the ground at gate `from`'s centre, facing gate `to`.
void set_back_on_track(sim::Bike* bike, const race::TimingGate& from, const race::TimingGate& to) {
  sim::bike_reset(bike);
  const dReal* p = sim::body_position(bike, sim::kFrame);
  const double x = from.centre.x, z = from.centre.z;
  sim::bike_translate(bike, x - p[0], sim::terrain_height(float(x), float(z)), z - p[2]);
  const double want = std::atan2(-(to.centre.x - x), -(to.centre.z - z));
  sim::bike_rotate_yaw(bike, want - heading(bike));
  sim::bike_place(bike);
}

}  // namespace

void pilot_note_gates(sim::Bike* bike, TestPilot& r, const std::vector<int>& gates, int tick) {
  if (gates.empty()) return;
  const bool riding = tick >= 0 && bike->crash_timer == 0 && sim::g_sim.race_running;
  r.still_ticks = riding && std::fabs(sim::frame_speed(bike)) < 1 ? r.still_ticks + 1 : 0;
  if (r.still_ticks > kStuckTicks) {
    r.still_ticks = 0;
    const std::size_t n = gates.size();
    const std::size_t last = (r.gate + n - 1) % n;
    set_back_on_track(bike, race::g_track.checkpoints[gates[last]],
                      race::g_track.checkpoints[gates[r.gate % n]]);
    return;
  }
  const race::TimingGate& g = race::g_track.checkpoints[gates[r.gate % gates.size()]];
  const dReal* p = sim::body_position(bike, sim::kFrame);
  const double dx = g.centre.x - p[0], dz = g.centre.z - p[2];
  const double radius = std::max(double(g.radius), 10.0);
  if (dx * dx + dz * dz < radius * radius) {
    ++r.gate;
    ++r.gates_passed;
    if (r.gate % gates.size() == 0) {
      ++r.laps;
      const double lap = (tick - r.lap_start_tick) * sim::kTickSeconds;
      if (r.best_lap_s == 0 || lap < r.best_lap_s) r.best_lap_s = lap;
      r.lap_start_tick = tick;
    }
  }
}

}  // namespace ai
