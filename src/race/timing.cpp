// timing.cpp -- gate passes, laps, the running order, the race's length, finishing, penalties,
// slow riders and ghosts.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "race/race.h"
#include "sim/sim.h"

namespace race {

Timing g_timing;

namespace {

constexpr int kTicks = sim::kTicksPerSecond;
// The expected time of a segment nobody has ridden cleanly.
constexpr int kUnriddenSegment = 60 * kTicks;
// No race has this many sequence positions; a position beyond it (a garbled network
// update, say) is refused rather than growing a pass list by gigabytes.
constexpr int kMaxSequencePositions = 1 << 20;

bool valid_slot(int slot) { return slot >= 0 && slot < kTimingSlots; }

bool timed(const Timing& t) {
  return t.track && !t.track->checkpoints.empty() && t.track->first_lap_length > 0 &&
         t.track->normal_lap_length > 0;
}

int first_lap(const Timing& t) { return t.track->first_lap_length; }
int normal_lap(const Timing& t) { return t.track->normal_lap_length; }

// The position that ends lap `lap` (>= 1).
int lap_end_position(const Timing& t, int lap) {
  return first_lap(t) - 1 + (lap - 1) * normal_lap(t);
}

bool is_lap_end(const Timing& t, int k) {
  const int f = first_lap(t);
  return k >= f - 1 && (k - (f - 1)) % normal_lap(t) == 0;
}

// The position whose pass ends the race: the end of lap `race_laps` (0 when there are none).
int race_end_position(const Timing& t) {
  return t.race_laps == 0 ? 0 : lap_end_position(t, t.race_laps);
}

int leader_passed(const Timing& t) { return t.order_length > 0 ? t.order[0].passed : 0; }

int laps_of(const Timing& t, int passed) {
  return passed < first_lap(t) ? 0 : (passed - first_lap(t)) / normal_lap(t) + 1;
}

// Extends a pass list with skipped entries so that it holds position k. The storage grows a
// chunk at a time, so a race rarely allocates once it has begun.
bool grow_passes(std::vector<std::int32_t>& passes, int k) {
  if (k < 0 || k >= kMaxSequencePositions) return false;
  const int size = k + 1;
  if (size <= static_cast<int>(passes.size())) return true;
  if (static_cast<std::size_t>(size) > passes.capacity()) {
    const int chunks = (size + kPassListChunk - 1) / kPassListChunk;
    passes.reserve(static_cast<std::size_t>(chunks) * kPassListChunk);
  }
  passes.resize(size, -1);
  return true;
}

// The running order: more gates first, then the earlier last pass, then the lower slot.
bool ahead(const OrderEntry& a, const OrderEntry& b) {
  if (a.passed != b.passed) return a.passed > b.passed;
  if (a.last_tick != b.last_tick) return a.last_tick < b.last_tick;
  return a.slot < b.slot;
}

// Whether every position from a to b (both included) has a recorded pass.
bool recorded_through(const Timing& t, int slot, int a, int b) {
  for (int k = a; k <= b; ++k) {
    if (pass_tick(t, slot, k) == -1) return false;
  }
  return true;
}

bool racing(const Timing& t, int slot) {
  return !(t.rules.online && t.rules.spectator && slot == t.rules.local_slot);
}

// The time by which the rider's cuts beat the field's usual times through them.
int cut_penalty(const Timing& t, int slot) {
  const BikeTiming& bike = t.bikes[slot];
  int penalty = 0;
  int last = 0;  // the tick of the last recorded pass
  int run = 0;   // skipped positions since it
  for (int r = 0; r < bike.passed; ++r) {
    const int tick = pass_tick(t, slot, r);
    if (tick == -1) {
      ++run;
      continue;
    }
    if (run >= 1) {
      const int expected = segment_time(t, r - run - 1, r) + kTicks;
      if (tick - last < expected) penalty += expected - (tick - last);
    }
    run = 0;
    last = tick;
  }
  return penalty;
}

void make_classification(Timing& t) {
  const int n = t.order_length;
  std::copy(t.order.begin(), t.order.begin() + n, t.classification.begin());
  std::sort(t.classification.begin(), t.classification.begin() + n,
            [](const OrderEntry& a, const OrderEntry& b) { return a.slot < b.slot; });
  for (int i = 0; i < n; ++i) {
    OrderEntry& entry = t.classification[i];
    int penalty = cut_penalty(t, entry.slot);
    int laps_off = 0;
    if (laps_completed(t, entry.slot) >= 2) {
      const BestLap best = best_lap(t, entry.slot);
      // A penalty longer than a good lap costs laps rather than time.
      while (best.ticks > 0 && best.ticks < penalty && entry.passed > first_lap(t)) {
        entry.passed -= normal_lap(t);
        penalty -= best.ticks;
        ++laps_off;
      }
    }
    entry.last_tick += penalty;
    t.penalty_ticks[entry.slot] = penalty;
    t.penalty_laps[entry.slot] = laps_off;
  }
  std::sort(t.classification.begin(), t.classification.begin() + n, ahead);
  t.classification_length = n;
  t.classified = true;
  if (t.hooks.classified) t.hooks.classified(t.hooks.context);
}

// A timed race lasts until the leader ends the lap in which the time ran out, plus the
// extra laps.
void update_race_laps(Timing& t) {
  const int limit = t.rules.start_tick + t.rules.duration;
  const int h = laps_of(t, leader_passed(t)) - 1;
  for (int lap = h < 1 ? 1 : std::min(t.race_laps, h);; ++lap) {
    const int position = lap_end_position(t, lap);
    int earliest = -1;
    for (int slot = 0; slot < kTimingSlots; ++slot) {
      if (!t.bikes[slot].in_use) continue;
      const int tick = pass_tick(t, slot, position);
      if (tick != -1 && (earliest == -1 || tick < earliest)) earliest = tick;
    }
    if (earliest == -1) return;
    if (earliest >= limit) {
      t.race_laps = std::min(t.race_laps, lap + t.rules.extra_laps);
      return;
    }
    t.race_laps = std::max(t.race_laps, lap + t.rules.extra_laps + 1);
  }
}

bool field_complete(Timing& t, int now) {
  if (t.order_length == 0) return false;
  for (int i = 0; i < t.order_length; ++i) {
    const int slot = t.order[i].slot;
    if (!racing(t, slot) || is_finished(t, slot)) continue;
    // Online, a rider gone quiet does not keep the others from their results.
    if (t.rules.online && slot != t.rules.local_slot && now - t.bikes[slot].last_update >= kTicks) {
      continue;
    }
    return false;
  }
  return true;
}

void record_pass(Timing& t, int slot, int k, int now) {
  BikeTiming& bike = t.bikes[slot];
  if (!grow_passes(bike.passes, k)) return;
  bike.passes[k] = now;
  if (t.hooks.pass) t.hooks.pass(t.hooks.context, slot, k);
  bike.passed = k + 1;
  if (is_lap_end(t, k) && !bike.finished) {
    const bool leader_racing = race_end_position(t) >= leader_passed(t);
    if (!leader_racing || laps_completed(t, slot) >= t.race_laps) bike.finished = true;
  }
  update_order(t, now);
}

// Whether the rider is slow at any of its last few positions.
bool slow_lately(const Timing& t, int slot, int now) {
  const int passed = t.bikes[slot].passed;
  for (int k = std::max(1, passed - 3); k <= passed; ++k) {
    if (is_slow(t, slot, k, now)) return true;
  }
  return false;
}

}  // namespace

void timing_setup(Timing& timing, const Track& track, const RaceRules& rules) {
  timing.track = &track;
  timing.rules = rules;
  if (rules.duration != 0) {
    timing.race_laps = kLapsUnknown;
    timing.halfway_lap = kLapsUnknown;
  } else {
    timing.race_laps = rules.extra_laps;
    timing.halfway_lap = (rules.extra_laps + 1) / 2;
  }
  timing.order_length = 0;
  timing.classification_length = 0;
  timing.classified = false;
  timing.penalty_ticks.fill(0);
  timing.penalty_laps.fill(0);
  for (BikeTiming& bike : timing.bikes) {
    std::vector<std::int32_t> passes = std::move(bike.passes);
    passes.clear();  // the storage stays for the next race
    bike = BikeTiming{};
    bike.passes = std::move(passes);
  }
}

void timing_add_bike(Timing& timing, int slot, RiderKind kind, const double start_position[3]) {
  if (!valid_slot(slot)) return;
  BikeTiming& bike = timing.bikes[slot];
  bike.in_use = true;
  bike.kind = kind;
  std::copy(start_position, start_position + 3, bike.start_position);
  if (bike.passes.capacity() < static_cast<std::size_t>(kPassListChunk)) {
    bike.passes.reserve(kPassListChunk);
  }
}

int sequence_checkpoint(const Track& track, int k) {
  const int f = track.first_lap_length;
  const int n = track.normal_lap_length;
  const int entry = track.lap_sequences[k < f ? k : f + (k - f) % n];
  return entry >= kSilentGateBase ? entry - kSilentGateBase : entry;
}

void gate_step(Timing& timing, int slot, double x, double z, int now) {
  if (!valid_slot(slot) || !timed(timing)) return;
  const BikeTiming& bike = timing.bikes[slot];
  if (bike.finished) return;
  const int passed = bike.passed;
  // The gate just passed is not looked at again; up to two gates may be skipped ahead, and
  // the three behind may be taken back while one of them is missing.
  const int examined[5] = {passed - 3, passed - 2, passed, passed + 1, passed + 2};
  bool missing_before = false;
  for (const int k : examined) {
    if (k < 0) continue;
    const bool unrecorded = pass_tick(timing, slot, k) == -1;
    if (unrecorded) missing_before = true;
    const TimingGate& gate = timing.track->checkpoints[sequence_checkpoint(*timing.track, k)];
    const double dx = x - gate.centre.x;
    const double dz = z - gate.centre.z;
    const double radius = gate.radius;
    // A half-disc on the forward side of the gate.
    const bool inside =
        radius * radius >= dx * dx + dz * dz && dx * gate.forward.x + dz * gate.forward.z >= 0;
    if (inside) {
      if (k >= passed || missing_before) {
        record_pass(timing, slot, k, now);
        return;
      }
    } else if (unrecorded && is_lap_end(timing, k)) {
      return;  // never past a lap line not yet crossed
    }
  }
}

void gate_step(Timing& timing, const sim::Bike& bike, int now) {
  const dReal* p = sim::body_position(&bike, sim::kFrontWheel);
  gate_step(timing, bike.slot, p[0], p[2], now);
}

void set_passed(Timing& timing, int slot, int n) {
  if (!valid_slot(slot)) return;
  BikeTiming& bike = timing.bikes[slot];
  n = std::clamp(n, 0, kMaxSequencePositions);
  if (n < bike.passed) bike.finished = false;
  if (static_cast<int>(bike.passes.size()) > n) bike.passes.resize(n);
  bike.passed = n;
  if (timing.hooks.rollback) timing.hooks.rollback(timing.hooks.context, slot);
}

void set_pass_tick(Timing& timing, int slot, int k, int tick) {
  if (!valid_slot(slot)) return;
  BikeTiming& bike = timing.bikes[slot];
  if (grow_passes(bike.passes, k)) bike.passes[k] = tick;
}

int pass_tick(const Timing& timing, int slot, int k) {
  if (!valid_slot(slot) || k < 0) return -1;
  const std::vector<std::int32_t>& passes = timing.bikes[slot].passes;
  return k < static_cast<int>(passes.size()) ? passes[k] : -1;
}

int laps_completed(const Timing& timing, int slot) {
  if (!valid_slot(slot) || !timed(timing)) return 0;
  return laps_of(timing, timing.bikes[slot].passed);
}

int gate_in_lap(const Timing& timing, int slot) {
  if (!valid_slot(slot) || !timed(timing)) return 0;
  const int passed = timing.bikes[slot].passed;
  const int f = first_lap(timing);
  return passed < f ? passed : (passed - f) % normal_lap(timing) + 1;
}

int lap_time(const Timing& timing, int slot, int lap) {
  const int completed = laps_completed(timing, slot);
  if (lap == -1) lap = completed;
  if (lap < 1 || lap > completed) return 0;
  const int end = pass_tick(timing, slot, lap_end_position(timing, lap));
  const int begin = lap == 1 ? timing.rules.start_tick
                             : pass_tick(timing, slot, lap_end_position(timing, lap - 1));
  if (end == -1 || begin == -1) return 0;
  return end - begin;
}

BestLap best_lap(const Timing& timing, int slot) {
  BestLap best;
  const int completed = laps_completed(timing, slot);
  for (int lap = 2; lap <= completed; ++lap) {
    // A lap of no time (a missing pass) is no lap; nor is a negative one, which only a
    // garbled network update could give.
    const int ticks = lap_time(timing, slot, lap);
    if (ticks > 0 && (best.lap == 0 || ticks < best.ticks)) best = {lap, ticks};
  }
  return best;
}

int leader_laps(const Timing& timing) {
  if (!timed(timing)) return 0;
  return laps_of(timing, leader_passed(timing));
}

bool is_finished(Timing& timing, int slot) {
  if (!valid_slot(slot)) return false;
  BikeTiming& bike = timing.bikes[slot];
  if (bike.finished) return true;
  if (!timed(timing)) return false;
  const int race_end = race_end_position(timing);
  if (leader_passed(timing) <= race_end) return false;
  const int leader_tick = pass_tick(timing, timing.order[0].slot, race_end);
  if (leader_tick == -1) return false;
  const int f = first_lap(timing);
  const int own_position =
      bike.passed < f ? 0 : f - 1 + normal_lap(timing) * ((bike.passed - f) / normal_lap(timing));
  const int own_tick = pass_tick(timing, slot, own_position);
  if (own_tick == -1 || own_tick < leader_tick) return false;
  bike.finished = true;
  return true;
}

void update_order(Timing& timing, int now) {
  int n = 0;
  for (int slot = 0; slot < kTimingSlots; ++slot) {
    const BikeTiming& bike = timing.bikes[slot];
    if (!bike.in_use) continue;
    const int last = bike.passed > 0 ? pass_tick(timing, slot, bike.passed - 1) : 0;
    timing.order[n++] = {slot, bike.passed, last};
  }
  // The order is total (slots differ), so any sort gives the same result.
  std::sort(timing.order.begin(), timing.order.begin() + n, ahead);
  timing.order_length = n;
  if (!timed(timing)) return;

  const RaceRules& rules = timing.rules;
  if (rules.duration != 0) {
    if (timing.halfway_lap == kLapsUnknown && now >= rules.start_tick + rules.duration / 2) {
      timing.halfway_lap = leader_laps(timing) + 1;
    }
    if (now >= rules.start_tick + rules.duration) update_race_laps(timing);
  }
  if (!timing.classified && field_complete(timing, now)) make_classification(timing);
}

int segment_time(const Timing& timing, int a, int b) {
  if (!timed(timing)) return 0;
  const int f = first_lap(timing);
  const int n = normal_lap(timing);
  std::int64_t sum = 0;
  int riders = 0;
  for (int i = 0; i < timing.order_length; ++i) {
    const int slot = timing.order[i].slot;
    if (!racing(timing, slot)) continue;
    std::int64_t contribution = 0;
    if (a < f) {
      const int from = a < 0 ? 0 : pass_tick(timing, slot, a);
      const int to = pass_tick(timing, slot, b);
      if (from == -1 || to == -1 || !recorded_through(timing, slot, a + 1, b - 1)) continue;
      contribution = to - from;
    } else {
      // The same stretch in every later lap the rider has ridden through.
      const int passed = timing.bikes[slot].passed;
      std::int64_t total = 0;
      int laps = 0;
      for (int from = f + (a - f) % n; from + (b - a) < passed; from += n) {
        const int to = from + (b - a);
        if (!recorded_through(timing, slot, from, to)) continue;
        total += pass_tick(timing, slot, to) - pass_tick(timing, slot, from);
        ++laps;
      }
      if (laps == 0) continue;
      contribution = total / laps;
    }
    if (contribution < 0) continue;
    sum += contribution;
    ++riders;
  }
  return riders == 0 ? kUnriddenSegment : static_cast<int>(sum / riders);
}

bool is_slow(const Timing& timing, int slot, int k, int now) {
  if (!valid_slot(slot) || !timed(timing) || k < 1) return false;
  int begin = timing.rules.start_tick;
  for (int j = k - 1; j >= std::max(k - 3, 0); --j) {
    if (pass_tick(timing, slot, j) != -1) {
      begin = pass_tick(timing, slot, j);
      break;
    }
  }
  int end = now;
  for (int j = k; j < timing.bikes[slot].passed; ++j) {
    if (pass_tick(timing, slot, j) != -1) {
      end = pass_tick(timing, slot, j);
      break;
    }
  }
  for (int i = 0; i < timing.order_length; ++i) {
    const OrderEntry& other = timing.order[i];
    if (other.passed <= k) return false;
    const int from = pass_tick(timing, other.slot, k - 1);
    const int to = pass_tick(timing, other.slot, k);
    if (from == -1 || to == -1) continue;
    const double taken = (end - begin) / double(kTicks);
    return taken >=
           timing.rules.slow_factor * ((to - from) / double(kTicks)) + timing.rules.slow_allowance;
  }
  return false;
}

bool is_ghost(const Timing& timing, int slot, int now) {
  if (!valid_slot(slot)) return false;
  const BikeTiming& bike = timing.bikes[slot];
  if (!bike.in_use || bike.kind != kRiderRemote) return false;
  if (now < timing.rules.start_tick + timing.rules.slow_allowance * kTicks ||
      timing.order_length < 2) {
    return false;
  }
  // A rider not heard from lately is not where it is shown.
  if (now - bike.last_update >= kTicks) return true;
  const int local = timing.rules.local_slot;
  if (valid_slot(local) && timing.bikes[local].in_use) {
    const BikeTiming& own = timing.bikes[local];
    // A local rider out of the fight meets everybody.
    if (own.finished || own.passed == 0 || slow_lately(timing, local, now)) return false;
  }
  return bike.finished || bike.passed == 0 || slow_lately(timing, slot, now);
}

bool false_start_step(Timing& timing, int slot, const double at[3], int now,
                      sim::Controls& controls) {
  if (!valid_slot(slot) || !timing.rules.online) return false;
  BikeTiming& bike = timing.bikes[slot];
  if (!bike.in_use || bike.kind != kRiderLocal) return false;
  bool given = false;
  if (now <= timing.rules.start_tick && bike.false_start_hold == 0) {
    double moved = 0;
    for (int i = 0; i < 3; ++i)
      moved += (at[i] - bike.start_position[i]) * (at[i] - bike.start_position[i]);
    if (moved >= 9) {
      bike.false_start_hold = timing.rules.start_tick + kFalseStartSeconds * kTicks - now;
      platform::message("15 second false start penalty");
      given = true;
    }
  }
  if (bike.false_start_hold >= 1) {
    --bike.false_start_hold;
    controls.throttle = 0;
    controls.front_brake = 1;
    controls.rear_brake = 1;
    controls.clutch = 0;
    controls.dab = 1;
    controls.back_up = 0;
  }
  return given;
}

}  // namespace race
