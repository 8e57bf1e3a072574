// history.cpp -- the rings of state records per rider slot, and bikes posed from them.
#include <algorithm>
#include <cmath>

#include "platform/platform.h"
#include "race/history_internal.h"
#include "race/race.h"

namespace race {

History g_history;

namespace {

// Two codes blended in code space. Every field's encoding is affine, so this is the blend of
// the decoded values, and no terrain ranges are needed. Floored like the encoder; the small
// bias keeps a blend that lands on a code (10 + 20 x 0.3) from falling to the one below.
unsigned blend_code(unsigned a, unsigned b, double f, unsigned steps) {
  const double v = a + (static_cast<double>(b) - a) * f;
  if (!(v > 0)) return 0;
  if (v >= steps) return steps;
  return std::min(steps, static_cast<unsigned>(std::floor(v + 1e-9)));
}

// The shorter way between the two rotations, blended (never past `b`) and normalised.
void blend_quaternion(const unsigned char* a, const unsigned char* b, double f,
                      unsigned char* out) {
  double qa[4], qb[4];
  double dot = 0;
  for (int i = 0; i < 4; ++i) {
    qa[i] = quaternion_component(get16(a + 2 * i));
    qb[i] = quaternion_component(get16(b + 2 * i));
    dot += qa[i] * qb[i];
  }
  if (dot < 0) {
    for (double& c : qb) c = -c;
  }
  const double g = std::min(f, 1.0);
  double q[4];
  double length = 0;
  for (int i = 0; i < 4; ++i) {
    q[i] = qa[i] + (qb[i] - qa[i]) * g;
    length += q[i] * q[i];
  }
  length = std::sqrt(length);
  // Only records that hold no rotation at all come near this; keep a's.
  if (!(length > 1e-6)) return;
  for (int i = 0; i < 4; ++i) put16(out + 2 * i, quaternion_code(q[i] / length));
}

// Wheel angles as fractions of a turn. Wheels roll forward: a later angle more than an eighth
// of a turn behind the earlier one has come round through a whole turn.
unsigned blend_wheel(unsigned code_a, unsigned code_b, double f) {
  double a = code_a / static_cast<double>(kCode8);
  double b = code_b / static_cast<double>(kCode8);
  if (b < a - 0.125) {
    a -= 1;
  } else if (b > a + 1 - 0.125) {
    b -= 1;
  }
  double v = a + (b - a) * f;
  if (v < 0) v += 1;
  v = std::clamp(v, 0.0, 1.0);
  return std::min(kCode8, static_cast<unsigned>(std::floor(v * kCode8 + 1e-9)));
}

}  // namespace

void history_clear(History& history) {
  for (HistoryRing& ring : history.rings) ring = HistoryRing{};
}

void add_state(History& history, int slot, const sim::StateRecord& record, int tick) {
  if (slot < 0 || slot >= kHistorySlots) {
    platform::message("add_state_to_history: slot out of range");
    return;
  }
  HistoryRing& ring = history.rings[slot];
  // Back from the newest to the newest entry at or before the tick; empty entries (-1) stop it.
  int back = 0;
  while (back < kHistoryLength && ring.entries[ring_index(ring.head - back)].tick > tick) ++back;
  // Older than a whole ring: it would be the oldest entry and overwritten at once.
  if (back == kHistoryLength) return;
  const int found = ring_index(ring.head - back);
  if (ring.entries[found].tick == tick) return;
  // The `back` newer entries move one place toward the new head, over the oldest entry.
  const int new_head = ring_index(ring.head + 1);
  for (int i = 0; i < back; ++i) {
    const int to = ring_index(new_head - i);
    ring.entries[to] = ring.entries[ring_index(to - 1)];
  }
  HistoryEntry& entry = ring.entries[ring_index(found + 1)];
  entry.record = record;
  entry.tick = tick;
  ring.head = new_head;
  ring.unflushed = std::min(ring.unflushed + 1, kHistoryLength);
}

int newest_tick(const History& history, int slot) {
  if (slot < 0 || slot >= kHistorySlots) return -1;
  const HistoryRing& ring = history.rings[slot];
  return ring.entries[ring.head].tick;
}

HistoryPose history_pose(const History& history, int slot, int tick, int version) {
  HistoryPose pose;
  if (slot < 0 || slot >= kHistorySlots) return pose;
  const HistoryRing& ring = history.rings[slot];
  const HistoryEntry& newest = ring.entries[ring.head];
  if (newest.tick < 0) return pose;
  const int t = std::max(tick, 0);

  // Back from the newest to the newest entry older than t; the one after it is the first at
  // or after t. Ring ticks are never below -1, so an empty entry stops the walk.
  int back = 0;
  while (back < kHistoryLength && ring.entries[ring_index(ring.head - back)].tick >= t) ++back;
  const HistoryEntry* earlier;
  const HistoryEntry* later;
  if (back == 0) {
    // Everything is older than t: carry on from the newest two.
    later = &newest;
    earlier = &ring.entries[ring_index(ring.head - 1)];
  } else {
    later = &ring.entries[ring_index(ring.head - back + 1)];
    earlier = back < kHistoryLength ? &ring.entries[ring_index(ring.head - back)] : later;
  }
  // Nothing before the later one (a single record, or t before the oldest): it stands alone.
  if (earlier->tick < 0) earlier = later;

  pose.found = true;
  pose.before = earlier->record;
  pose.after = later->record;
  pose.distance = std::max(1, later->tick - earlier->tick);
  if (earlier->tick >= t || earlier->tick == later->tick) {
    pose.record = earlier->record;
  } else if (later->tick == t) {
    pose.record = later->record;
  } else if (version == 4) {
    pose.record = earlier->record;
  } else {
    const long long until = std::min(static_cast<long long>(t),
                                     static_cast<long long>(later->tick) + kExtrapolationLimit);
    const double f = static_cast<double>(until - earlier->tick) / (later->tick - earlier->tick);
    pose.record = interpolate_records(earlier->record, later->record, f);
  }
  return pose;
}

void pose_from_history(const History& history, int slot, sim::Bike* bike, int tick, int version) {
  const HistoryPose pose = history_pose(history, slot, tick, version);
  if (!pose.found || !bike) return;
  sim::bike_pose(bike, pose.record, &pose.before, &pose.after, pose.distance);
}

sim::StateRecord interpolate_records(const sim::StateRecord& a, const sim::StateRecord& b,
                                     double f) {
  if (f == 0) return a;
  sim::StateRecord r = a;
  const unsigned char* pa = a.bytes;
  const unsigned char* pb = b.bytes;
  unsigned char* out = r.bytes;
  for (int i = 0; i < 3; ++i) {
    const int at = kFramePosition + 3 * i;
    put24(out + at, blend_code(get24(pa + at), get24(pb + at), f, kCode24));
  }
  blend_quaternion(pa + kFrameQuaternion, pb + kFrameQuaternion, f, out + kFrameQuaternion);
  for (int at : {kSteering, kRearSuspension, kFrontSuspension}) {
    out[at] = static_cast<unsigned char>(blend_code(pa[at], pb[at], f, kCode8));
  }
  for (int i = 0; i < 3; ++i) {
    const int at = kRiderOffset + 2 * i;
    put16(out + at, blend_code(get16(pa + at), get16(pb + at), f, kCode16));
  }
  blend_quaternion(pa + kRiderQuaternion, pb + kRiderQuaternion, f, out + kRiderQuaternion);
  for (int at : {kFrontWheel, kRearWheel}) {
    out[at] = static_cast<unsigned char>(blend_wheel(pa[at], pb[at], f));
  }
  out[kStateByte] = pa[kStateByte];
  put16(out + kEngineSpeed,
        blend_code(get16(pa + kEngineSpeed), get16(pb + kEngineSpeed), f, kCode16));
  // Made here, not sampled from a simulated bike.
  out[kRearSuspension] &= 0xfe;
  return r;
}

}  // namespace race
