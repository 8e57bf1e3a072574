// fuzz_demo.cpp -- arbitrary bytes played back as a demo file: the header, then the body of
// whichever version it claims, as playback and as a ghost, with a seek on the way.
//
// Nothing crashes, reads out of bounds or loops forever (every step is bounded); the rings
// stay in tick order and the reader keeps one cut-short flag per rider.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "race/race.h"

namespace {

using fuzz_support::check;

constexpr int kSteps = 400;
constexpr int kTicksPerStep = 4;

std::string g_input;
race::History* g_history = nullptr;  // 900 KB, kept from input to input

int clamped(long long tick) {
  return static_cast<int>(std::clamp<long long>(tick, INT_MIN, INT_MAX));
}

void check_rings(const race::History& history) {
  for (const race::HistoryRing& ring : history.rings) {
    check(ring.head >= 0 && ring.head < race::kHistoryLength);
    check(ring.unflushed >= 0 && ring.unflushed <= race::kHistoryLength);
    int previous = -1;
    for (int i = 1; i <= race::kHistoryLength; ++i) {
      const int tick = ring.entries[(ring.head + i) % race::kHistoryLength].tick;
      check(tick >= -1);
      if (tick < 0) continue;
      check(tick > previous);
      previous = tick;
    }
  }
}

void play(bool ghost) {
  race::history_clear(*g_history);
  race::DemoReader reader;
  if (!race::playback_open(reader, g_input.c_str(), ghost)) {
    check(reader.stream == nullptr);
    return;
  }
  const int riders = static_cast<int>(reader.header.riders.size());
  check(riders <= race::kHistorySlots);
  check(reader.header.version >= 4 && reader.header.version <= 6);
  std::vector<int> slots;
  for (int i = 0; i < riders; ++i) slots.push_back(race::kHistorySlots - 1 - i);
  race::playback_bind(reader, slots);

  // Half way, or when the body ends first, a rewind: the rings cleared, reading from 100 ticks
  // back.
  int clock = 0;
  bool rewound = false;
  for (int step = 0; step < kSteps; ++step) {
    if (reader.ended || step == kSteps / 2) {
      if (rewound) break;
      rewound = true;
      race::history_clear(*g_history);
      race::playback_seek(reader, clamped(static_cast<long long>(clock) - 100));
    }
    race::playback_step(reader, *g_history, &clock);
    clock = clamped(static_cast<long long>(clock) + kTicksPerStep);
  }
  check(reader.cut_short.size() == static_cast<std::size_t>(riders));
  check_rings(*g_history);
  for (int slot : slots) {
    for (int back : {0, 3, 50, 130}) {
      race::history_pose(*g_history, slot, clamped(static_cast<long long>(clock) - back),
                         reader.header.version);
    }
  }
  race::playback_close(reader);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = fuzz_support::input_path("demo");
  g_history = new race::History;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  fuzz_support::write_input(g_input, bytes, size);
  play(false);
  play(true);
  return 0;
}
