// fuzz_billboards.cpp -- the billboards reader on arbitrary text, then its writer.
//
// Every record read is finite and has its renderer state beside it; writing the billboards
// that have a texture and reading them back gives the same names and colours.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "data/data.h"
#include "race/race.h"
#include "track_fuzz.h"

namespace {

using track_fuzz::check;

std::string g_input;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_input = track_fuzz::set_up("billboards");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  data::DataStream* stream = fuzz_support::open_input(g_input, bytes, size);
  race::Track track;
  race::read_billboards(stream, track);
  data::close_data(stream);
  check(track.billboards.size() == track.billboard_render.size());
  for (const race::Billboard& b : track.billboards) {
    check(std::isfinite(b.x) && std::isfinite(b.size) && b.color[3] == 255);
  }

  const std::string out = track_fuzz::output_folder(g_input);
  check(race::write_billboards(track, out.c_str()));
  data::DataStream* written = data::open_data((out + "/billboards").c_str(), "rb");
  check(written != nullptr);
  race::Track again;
  race::read_billboards(written, again);
  data::close_data(written);
  std::size_t next = 0;
  for (const race::Billboard& b : track.billboards) {
    if (b.texture.empty()) continue;
    check(next < again.billboards.size());
    const race::Billboard& a = again.billboards[next++];
    check(a.texture == b.texture && std::memcmp(a.color, b.color, 4) == 0);
  }
  check(next == again.billboards.size());
  return 0;
}
