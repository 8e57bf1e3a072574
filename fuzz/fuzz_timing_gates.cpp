// fuzz_timing_gates.cpp -- the timing_gates reader on arbitrary text, then its writer.
//
// Gates, checkpoints and lap entries stay within their limits; a kept timing has at least one
// split gate a lap and entries that name checkpoints; what is written reads back as sound.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/data.h"
#include "race/race.h"
#include "track_fuzz.h"

namespace {

using track_fuzz::check;

std::string g_input;

void check_timing(const race::Track& track) {
  check(track.starting_gates.size() <= race::kMaxStartingGates);
  for (const race::StartingGate& gate : track.starting_gates) {
    check(gate.statue >= 0 && gate.statue < static_cast<int>(track.statues.size()));
    check(std::fabs(gate.yaw) <= 3.1415930f);
  }
  const int count = static_cast<int>(track.checkpoints.size());
  check(count <= race::kMaxTimingGates);
  if (count == 0) {
    check(track.lap_sequences.empty() && track.first_lap_length == 0);
    return;
  }
  check(track.first_lap_length > 0 && track.normal_lap_length > 0);
  check(track.first_lap_length <= race::kMaxLapEntries);
  check(track.normal_lap_length <= race::kMaxLapEntries);
  check(static_cast<int>(track.lap_sequences.size()) ==
        track.first_lap_length + track.normal_lap_length);
  check(track.first_lap_splits > 0 && track.normal_lap_splits > 0);
  for (std::int32_t e : track.lap_sequences) {
    const std::int32_t gate = e >= race::kSilentGateBase ? e - race::kSilentGateBase : e;
    check(gate >= 0 && gate < count);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = track_fuzz::set_up("timing_gates");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  data::DataStream* stream = fuzz_support::open_input(g_input, bytes, size);
  race::Track track;
  race::read_timing_gates(stream, track, {});
  data::close_data(stream);
  check_timing(track);
  track_fuzz::check_statues(track);

  const std::string out = track_fuzz::output_folder(g_input);
  check(race::write_timing_gates(track, out.c_str()));
  data::DataStream* written = data::open_data((out + "/timing_gates").c_str(), "rb");
  check(written != nullptr);
  race::Track again;
  race::read_timing_gates(written, again, {});
  data::close_data(written);
  check_timing(again);
  // Checkpoints and laps are tokens, so they come back whole.
  check(again.checkpoints.size() == track.checkpoints.size() || track.starting_gates.size() > 0);
  if (track.starting_gates.empty()) check(again.lap_sequences == track.lap_sequences);
  return 0;
}
