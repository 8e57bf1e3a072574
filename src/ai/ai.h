// ai.h -- computer riders.
//
// Until racing lines are learned, computer riders ride with the test pilot: it rides the lap
// gate to gate at a moderate pace, each rider in its own lane and at its own pace. The ride
// and screenshot tools ride with it too.
#pragma once

#include <vector>

#include "sim/sim.h"

namespace ai {

struct TestPilot {
  int gate = 0;  // the next gate, an index into the lap's checkpoints
  int gates_passed = 0;
  int laps = 0;
  int lap_start_tick = 0;
  double best_lap_s = 0;
  float lane = 0;       // -1..1: which side of the gates it keeps to (a share of up to 12 ft)
  float pace = 1;       // a factor on its speeds
  int still_ticks = 0;  // how long the bike has stood still, riding
};
// The checkpoints of the loaded track's normal lap, in order.
std::vector<int> lap_checkpoints();
// Throttle and brakes that hold a speed (ft/s).
void pilot_hold_speed(sim::Bike* bike, double target);
// Steers for a world point.
void pilot_steer_towards(sim::Bike* bike, double x, double z);
// One tick of riding for the next gate: sets the bike's controls.
void pilot_ride(sim::Bike* bike, const TestPilot& pilot, const std::vector<int>& gates);
// Moves on to the next gate when the bike is within its radius (at least 10 ft), and
// counts laps. A bike that has stood still for 5 s while riding (high-centred on a lip,
// wedged in a pile of bikes) is set back on its wheels at the gate it last passed, facing
// the next one.
void pilot_note_gates(sim::Bike* bike, TestPilot& pilot, const std::vector<int>& gates, int tick);

}  // namespace ai
