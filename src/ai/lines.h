// lines.h -- the racing-line library: lines learned from riders who are not computer riders,
// tested by the computer riders who follow them, and the planner that chains them into laps.
//
// The split gates of a track cut a lap into segments. Segments 0 .. S1 - 1 belong to the first
// lap; later segments fold onto S2 rows of the normal lap. Each row keeps up to 45 candidate
// lines. Times are ticks of 1/128 s.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace ai {

constexpr int kLineSlots = 45;
constexpr int kNoTime = 1000000;        // the times of a free slot, and an unusable cost
constexpr int kRiskTicks = 640;         // the unit of the risk penalty (5 s)
constexpr int kLineSampleTicks = 32;    // lines are sampled every quarter second
constexpr int kPlanTypes = 3;           // the planner's cost types 0..2; 3 explores
constexpr int kNeverPicked = -1000000;  // last picked at set-up

struct LinePoint {
  float x, y, z;  // world feet
  float speed;    // ft/s, negative while neither wheel touches the ground
  float lean;     // rad
};
static_assert(sizeof(LinePoint) == 20);

struct LineSlot {
  std::vector<LinePoint> points;  // empty: a free slot
  int a = kNoTime;                // the recording rider's time over the segment
  int b = kNoTime;                // ... over the segment and the next one
  int tested = 0;                 // successful runs of computer riders
  int best_a = kNoTime, best_b = kNoTime;
  std::int64_t sum_a = 0, sum_b = 0;
  int cancels = 0;  // failed runs
  int last_picked = kNeverPicked;
  int id = 0;  // unique and positive; 0 none

  bool empty() const { return points.empty(); }
};

using LineRow = std::array<LineSlot, kLineSlots>;

struct LineLibrary {
  int first_rows = 0;   // S1: split gates of the first lap
  int normal_rows = 0;  // S2: split gates of the normal lap
  std::vector<LineRow> rows;
  std::array<std::vector<int>, kPlanTypes> plans;  // line id per row, 0 none
  double plan_cost[2] = {};                        // the last type-0 chains (ticks)
  std::string file;                                // the lines file it was loaded from
  int next_id = 0;                                 // the track's line id counter
  // The planner's predecessor tables: max(S1, S2) rows of 45 x 45 bytes.
  std::vector<std::uint8_t> work;
  bool verbose = false;
};

extern LineLibrary g_lines;

// Empties the library and sizes it for a lap of `first_splits` and `normal_splits` split gates.
void lines_reset(LineLibrary& lib, int first_splits, int normal_splits);
// The row of segment s (-1 when the library has no rows).
int segment_row(const LineLibrary& lib, int segment);
// The row after row r along a lap (the last normal-lap row is followed by the first).
int next_row(const LineLibrary& lib, int row);

// Costs: the planner's by type 0..3 (kNoTime when unusable), and the replacement cost of a
// stored line (a free slot: 1250000).
int line_cost(const LineSlot& slot, int type);
std::int64_t replacement_cost(const LineSlot& slot);
// The slot to evict from a full row.
int choose_victim(const LineRow& row);
// Whether line j may follow line i (the circle through i's last three points meets j's start).
bool lines_connect(const LineSlot& i, const LineSlot& j);
// The circle through three points in the x-z plane; collinear points give a centre 1000000 ft
// away along the perpendicular of the first pair.
void circle_fit(const LinePoint& p0, const LinePoint& p1, const LinePoint& p2, double* cx,
                double* cz);

// Offers a line for row `row`: stored when a free slot exists or the victim's replacement
// cost is at least 5/4 of its B. Duplicates are rejected. Returns the slot, or -1.
int learn_line(LineLibrary& lib, int row, const std::vector<LinePoint>& points, int a, int b);
// Pruning after loading: thins first-lap rows holding 44 lines or more.
void prune_lines(LineLibrary& lib);
// Rebuilds the three plans.
void plan_lines(LineLibrary& lib);
// The cheapest chain cost starting with each slot of `row` over it and the next `rows` rows,
// for cost type `type` (kNoTime-based sums for unusable chains).
void chain_costs(const LineLibrary& lib, int row, int rows, int type,
                 std::array<std::int64_t, kLineSlots>& out);
// The slot of row `row` holding line `id`, or -1.
int find_line(const LineLibrary& lib, int row, int id);

// The lines files: "ct03" text. Reading returns false (library left empty) when the file is
// missing or made for another track.
bool read_lines(LineLibrary& lib, const char* name);
bool write_lines(const LineLibrary& lib, const char* name);
// The lines file of a track folder for a robot skill (0 novice, 1 amateur, 2 expert).
std::string lines_file(const std::string& track, int skill);

}  // namespace ai
