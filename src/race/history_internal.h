// history_internal.h -- what the state history and the demo files share: the fields of a
// state record and the ring's indexing.
#pragma once

#include <cstdint>

#include "race/race.h"
#include "sim/record_codes.h"

namespace race {

using sim::get16;
using sim::get24;
using sim::kCode16;
using sim::kCode24;
using sim::kCode8;
using sim::put16;
using sim::put24;
using sim::record_code;

static_assert((kHistoryLength & (kHistoryLength - 1)) == 0, "rings are indexed by masking");

// Index `i` (any integer, negative included) of a ring.
inline int ring_index(int i) { return i & (kHistoryLength - 1); }

// Record byte offsets (sim/state_record.cpp packs them).
constexpr int kFramePosition = 0;    // x, y, z: 24 bits each
constexpr int kFrameQuaternion = 9;  // w, x, y, z: 16 bits each over [-1, 1]
constexpr int kSteering = 17;
constexpr int kRearSuspension = 18;  // bit 0: sampled from a simulated bike
constexpr int kFrontSuspension = 19;
constexpr int kRiderOffset = 20;  // x, y, z: 16 bits each over [-16, 16] ft
constexpr int kRiderQuaternion = 26;
constexpr int kFrontWheel = 34;  // wheel angles: 8 bits over [-pi, pi], a fraction of a turn
constexpr int kRearWheel = 35;
constexpr int kStateByte = 36;
constexpr int kEngineSpeed = 37;  // 16 bits over [0, 32768] rpm

constexpr double kRiderOffsetRange = 16;  // ft

inline std::uint32_t get32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void put32(unsigned char* p, std::uint32_t v) {
  p[0] = v & 0xff;
  p[1] = (v >> 8) & 0xff;
  p[2] = (v >> 16) & 0xff;
  p[3] = (v >> 24) & 0xff;
}

inline double quaternion_component(unsigned code) { return -1 + 2.0 * code / kCode16; }
inline unsigned quaternion_code(double component) { return record_code(component, -1, 1, kCode16); }

}  // namespace race
