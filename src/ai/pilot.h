// pilot.h -- computer riders ("auto pilots") following racing lines, and the per-rider side
// of the line library: recording the laps of riders who are not computer riders, and the
// tests and cancels of the lines computer riders follow.
//
// The race driver's calls:
//   set-up:   pilots_setup, then pilot_begin for every slot with a bike; the timing hooks
//             (pass, rollback) go to lines_on_pass / lines_on_rollback;
//   each tick, for each bike in the physics' before-step hook, after its gate step:
//             lines_tick (every bike that runs its gate step), then auto_pilot_step for
//             computer riders.
#pragma once

#include <array>
#include <vector>

#include "ai/lines.h"
#include "sim/sim.h"

namespace ai {

constexpr int kPilotSlots = 160;

struct Personality {
  const char* name;
  int normal_type;                    // plan type normally
  int lead_type;                      // ... when leading by more than the threshold
  double lead_threshold;              // s
  double reaction_min, reaction_max;  // s after the gate drops
};
constexpr int kPersonalities = 5;  // index 0 is a placeholder no name selects
const Personality* personalities();
// The index of a personality by name; an unknown name logs and gives 1 (`kestrel`).
int find_personality(const char* name);

// The plan type a computer rider picks lines by: its personality's normal type, or its
// leading type while it leads the second rider by more than the threshold.
int plan_type(int slot);

struct Pilot {
  bool in_use = false;
  bool computer = false;
  int personality = 0;
  // Riders who are not computer riders: the segment being recorded, by parity, and whether
  // something went wrong in it.
  std::vector<LinePoint> buffer[2];
  bool cancel[2] = {};
  int incident = 0;  // 1 raised (a crash, a stall); computer riders move it to 2 once counted
  // Computer riders: the line followed in segment s is ring[s % 4].
  std::array<int, 4> ring{};
  std::vector<LinePoint> path;  // the followed path: whole lines, chained
  int progress = 0;             // the next path point to reach
  int next_segment = 0;         // the segment whose line is picked next
  int last_progress_tick = 0;
  int lost = 0;            // 3 after getting lost, counting down with progress
  double start_timer = 0;  // s; 0 unset
  double throttle = 0;     // last tick's throttle
  int correction_tick = -1000000;
  bool finished = false;  // the slowing after the finish was applied
  double launch_at = 0;   // s: when the launch begins (the reaction's moment); 0 unset
  int stuck_ticks = 0;    // ticks lying on its side or stopped, riding
  // Where the last rescue found the rider (the nearest path point) and how many rescues in
  // a row found him there: each one puts him further along, out of a hole he keeps ending in.
  float rescue_x = 0, rescue_z = 0;
  int rescues = 0;
};

extern std::array<Pilot, kPilotSlots> g_pilots;

// What the auto pilot needs of the race beside its own bike.
struct PilotRace {
  sim::Bike* const* bikes = nullptr;
  int count = 0;
  int ready_tick = 640;    // the set-up time: 5 s after the race was set up (tick 0)
  int start_tick = 0;      // the gate drops
  double now_seconds = 0;  // since set-up
};
extern PilotRace g_pilot_race;

// Set-up: every pilot emptied; `seed` seeds the pilots' generator.
void pilots_setup(unsigned seed);
// A slot with a bike: a computer rider with a personality, or a rider whose laps teach lines.
void pilot_begin(int slot, bool computer, const char* personality);
// Sets a computer rider's personality by name.
void set_personality(int slot, const char* name);

// Every tick for a bike whose gate step runs: raises the incident flag (crashed, or slower
// than 5 ft/s more than 2 s after the start), records points, counts computer riders' cancels.
void lines_tick(const sim::Bike* bike, int now, int start_tick);
// A timing pass of sequence position `position` by `slot`, before `passed` advances.
void lines_on_pass(int slot, int position);
// `passed` was set back.
void lines_on_rollback(int slot);

// The segment count among the first `passed` sequence positions, and whether a position is
// a split gate.
int segments_before(int passed);
bool is_split(int position);

// One tick of a computer rider: writes the bike's controls.
void auto_pilot_step(sim::Bike* bike);
// The racing line's heading near a computer rider (the realign after a fall).
bool racing_line_heading(const sim::Bike* bike, double* heading);

}  // namespace ai
