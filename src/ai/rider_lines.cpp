// rider_lines.cpp -- the riders' side of the line library: recording the laps of riders who
// are not computer riders and learning from them at split gates; counting the runs of
// computer riders as tests or cancels of the lines they followed.
#include <algorithm>
#include <cmath>

#include "ai/pilot.h"
#include "platform/platform.h"
#include "race/race.h"

namespace ai {

std::array<Pilot, kPilotSlots> g_pilots;

namespace {

bool valid(int slot) { return slot >= 0 && slot < kPilotSlots; }

int entry_at(int position) {
  const race::Track& t = race::g_track;
  const int f = t.first_lap_length, n = t.normal_lap_length;
  if (position < f) return t.lap_sequences[static_cast<std::size_t>(position)];
  if (n <= 0) return race::kSilentGateBase;
  return t.lap_sequences[static_cast<std::size_t>(f + (position - f) % n)];
}

// The split position before `position` (-1 when none).
int previous_split(int position) {
  for (int k = position - 1; k >= 0; --k) {
    if (is_split(k)) return k;
  }
  return -1;
}

int tick_of(int slot, int position) {
  return position < 0 ? 0 : race::pass_tick(race::g_timing, slot, position);
}

bool all_recorded(int slot, int from, int to) {
  for (int k = std::max(from, 0); k <= to; ++k) {
    if (race::pass_tick(race::g_timing, slot, k) == -1) return false;
  }
  return true;
}

void add_cancel(int row, int id) {
  const int slot = find_line(g_lines, row, id);
  if (slot >= 0) ++g_lines.rows[static_cast<std::size_t>(row)][slot].cancels;
}

void cancel_segment(Pilot& p, int segment) {
  if (segment < 0) return;
  add_cancel(segment_row(g_lines, segment), p.ring[static_cast<std::size_t>(segment % 4)]);
}

void learn(int slot, int position) {
  Pilot& p = g_pilots[slot];
  const int m = segments_before(position);
  if (m >= 1 && !g_lines.rows.empty()) {
    const int p2 = position, p1 = previous_split(p2), p0 = p1 < 0 ? -1 : previous_split(p1);
    if (p1 >= 0 && all_recorded(slot, p0, p2)) {
      const int l = m - 1;
      const int row = segment_row(g_lines, l);
      const int a = tick_of(slot, p1) - tick_of(slot, p0);
      const int b = tick_of(slot, p2) - tick_of(slot, p0);
      std::vector<LinePoint>& points = p.buffer[l % 2];
      if (points.empty() || p.cancel[l % 2]) {
        if (g_lines.verbose) platform::log("auto pilot: %d canceled\n", row);
      } else {
        learn_line(g_lines, row, points, a, b);
      }
    }
  }
  // The buffer of the other parity records the segment that starts now.
  p.buffer[(m + 1) % 2].clear();
  p.cancel[(m + 1) % 2] = false;
}

void test(int slot, int position, const sim::Bike* bike) {
  Pilot& p = g_pilots[slot];
  const int m = segments_before(position);
  if (m < 1 || g_lines.rows.empty()) return;
  bool on_line = false;
  if (!p.path.empty() && bike) {
    const int n = static_cast<int>(p.path.size());
    const int qi = std::clamp(p.progress, 0, n - 1);
    const int pi = std::clamp(p.progress - 1, 0, n - 1);
    const LinePoint& a = p.path[static_cast<std::size_t>(pi)];
    const LinePoint& b = p.path[static_cast<std::size_t>(qi)];
    const dReal* at = sim::body_position(bike, sim::kFrame);
    const double ex = b.x - a.x, ey = b.y - a.y, ez = b.z - a.z;
    const double len2 = ex * ex + ey * ey + ez * ez;
    double t = len2 > 0 ? ((at[0] - a.x) * ex + (at[1] - a.y) * ey + (at[2] - a.z) * ez) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = at[0] - (a.x + ex * t), dy = at[1] - (a.y + ey * t),
                 dz = at[2] - (a.z + ez * t);
    const double fastest = std::max(std::fabs(a.speed), std::fabs(b.speed));
    on_line = dx * dx + dy * dy + dz * dz <= 16 && fastest >= 0.9375 * sim::frame_speed(bike);
  }
  if (!on_line) {
    cancel_segment(p, m);
    p.ring.fill(0);
    return;
  }
  const int p2 = position, p1 = previous_split(p2), p0 = p1 < 0 ? -1 : previous_split(p1);
  if (p1 < 0) return;
  for (int k = p0 + 1; k <= p1; ++k) {
    if (race::pass_tick(race::g_timing, slot, k) == -1) {
      cancel_segment(p, segments_before(k));
      p.ring.fill(0);
      return;
    }
  }
  if (!all_recorded(slot, p0, p2)) return;
  const int row = segment_row(g_lines, m - 1);
  const int s = find_line(g_lines, row, p.ring[static_cast<std::size_t>((m - 1) % 4)]);
  if (s < 0) return;
  LineSlot& line = g_lines.rows[static_cast<std::size_t>(row)][s];
  const int a = tick_of(slot, p1) - tick_of(slot, p0);
  const int b = tick_of(slot, p2) - tick_of(slot, p0);
  ++line.tested;
  line.best_a = std::min(line.best_a, a);
  line.best_b = std::min(line.best_b, b);
  line.sum_a += a;
  line.sum_b += b;
}

const sim::Bike* bike_of(int slot) {
  for (int i = 0; i < g_pilot_race.count; ++i) {
    if (g_pilot_race.bikes[i]->slot == slot) return g_pilot_race.bikes[i];
  }
  return nullptr;
}

}  // namespace

bool is_split(int position) {
  const race::Track& t = race::g_track;
  if (position < 0 || t.lap_sequences.empty()) return false;
  return entry_at(position) < race::kSilentGateBase;
}

int segments_before(int passed) {
  const race::Track& t = race::g_track;
  const int f = t.first_lap_length, n = t.normal_lap_length;
  if (passed <= 0 || t.lap_sequences.empty()) return 0;
  int count = 0;
  const int first = std::min(passed, f);
  for (int k = 0; k < first; ++k) count += is_split(k) ? 1 : 0;
  if (passed <= f || n <= 0) return count;
  const int beyond = passed - f;
  count += beyond / n * t.normal_lap_splits;
  for (int k = 0; k < beyond % n; ++k) count += is_split(f + k) ? 1 : 0;
  return count;
}

void lines_tick(const sim::Bike* bike, int now, int start_tick) {
  const int slot = bike->slot;
  if (!valid(slot) || !g_pilots[slot].in_use) return;
  Pilot& p = g_pilots[slot];
  const race::BikeTiming& timing = race::g_timing.bikes[static_cast<std::size_t>(slot)];
  if (sim::bike_crashed(bike) ||
      (now > start_tick + 2 * sim::kTicksPerSecond && sim::frame_speed(bike) < 5)) {
    if (p.incident == 0) p.incident = 1;
  }
  if (p.computer) {
    if (p.incident == 1) {
      p.incident = 2;
      const int m = segments_before(timing.passed);
      cancel_segment(p, m);
      const int last =
          timing.passed > 0 ? race::pass_tick(race::g_timing, slot, timing.passed - 1) : -1;
      if (last >= 0 && now - last < sim::kTicksPerSecond) cancel_segment(p, m - 1);
      p.ring.fill(0);
    }
    return;
  }
  if (now % kLineSampleTicks != 0 || timing.finished || g_lines.rows.empty()) return;
  const dReal* at = sim::body_position(bike, sim::kFrame);
  const bool airborne = bike->wheel[0].depth == 0 && bike->wheel[1].depth == 0;
  const float speed = static_cast<float>(sim::frame_speed(bike));
  LinePoint point{static_cast<float>(at[0]), static_cast<float>(at[1]), static_cast<float>(at[2]),
                  airborne ? -speed : speed, static_cast<float>(sim::bike_lean(bike))};
  p.buffer[segments_before(timing.passed) % 2].push_back(point);
}

void lines_on_pass(int slot, int position) {
  if (!valid(slot) || !g_pilots[slot].in_use) return;
  Pilot& p = g_pilots[slot];
  const race::BikeTiming& timing = race::g_timing.bikes[static_cast<std::size_t>(slot)];
  const bool exact = position == timing.passed;
  if (!p.computer && p.incident) p.cancel[segments_before(timing.passed) % 2] = true;
  if (is_split(position)) {
    if (p.computer) {
      test(slot, position, bike_of(slot));
    } else if (exact) {
      learn(slot, position);
    }
  }
  p.incident = 0;
}

void lines_on_rollback(int slot) {
  if (!valid(slot)) return;
  Pilot& p = g_pilots[slot];
  p.incident = 0;
  p.ring.fill(0);
  // The recording restarts: what was recorded no longer lines up with the passes.
  for (int i = 0; i < 2; ++i) {
    p.buffer[i].clear();
    p.cancel[i] = false;
  }
}

}  // namespace ai
