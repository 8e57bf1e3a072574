// fuzz_statues.cpp -- the statues reader on arbitrary text, its writer, the grid and the digest.
//
// Statues are finite with sound shapes, the grid names statues that exist, and writing then
// reading back gives the same names in the same order.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/data.h"
#include "race/race.h"
#include "track_fuzz.h"

namespace {

using track_fuzz::check;

std::string g_input;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = track_fuzz::set_up("statues");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  data::DataStream* stream = fuzz_support::open_input(g_input, bytes, size);
  race::Track track;
  race::read_statues(stream, track, {});
  data::close_data(stream);
  track_fuzz::check_statues(track);
  track_fuzz::check_grid(track);
  for (const race::Statue& s : track.statues) {
    for (const char* suffix : {"_norm", "_spec"}) {
      check(race::statue_map_candidates(s.model, s.texture, suffix).size() >= 3);
    }
  }
  race::compute_track_digest(g_input.c_str(), track.statues);

  const std::string out = track_fuzz::output_folder(g_input);
  check(race::write_statues(track, out.c_str()));
  data::DataStream* written = data::open_data((out + "/statues").c_str(), "rb");
  check(written != nullptr);
  race::Track again;
  race::read_statues(written, again, {});
  data::close_data(written);
  check(again.statues.size() == track.statues.size());
  for (std::size_t i = 0; i < track.statues.size(); ++i) {
    const race::Statue& a = track.statues[i];
    const race::Statue& b = again.statues[i];
    check(a.model == b.model && a.texture == b.texture && a.shape_name == b.shape_name);
  }
  return 0;
}
