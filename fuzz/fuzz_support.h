// fuzz_support.h -- checks the stream fuzz targets share.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/data.h"

namespace fuzz_support {

// Reads `one` byte by byte (peeking before every byte) and `two` in chunks of
// `chunk` bytes, up to `max_output` bytes each; traps unless both give the
// same bytes. Returns the bytes read one at a time.
inline std::vector<std::uint8_t> read_both_ways(data::DataStream* one, data::DataStream* two,
                                                std::size_t chunk, std::size_t max_output) {
  std::vector<std::uint8_t> by_byte;
  while (by_byte.size() < max_output) {
    const int peeked = data::ds_peek(one);
    const int c = data::ds_getc(one);
    if (c != peeked) __builtin_trap();
    if (c < 0) break;
    by_byte.push_back(static_cast<std::uint8_t>(c));
  }
  std::vector<std::uint8_t> by_chunk(max_output + chunk);
  std::size_t got = 0;
  while (got < max_output) {
    const std::size_t n = data::ds_read(two, by_chunk.data() + got, chunk);
    if (n == 0) break;
    got += n;
  }
  // Either read may stop at the cap; below it both must end together.
  if ((by_byte.size() < max_output || got < max_output) && by_byte.size() != got) __builtin_trap();
  for (std::size_t i = 0; i < std::min(by_byte.size(), got); ++i) {
    if (by_byte[i] != by_chunk[i]) __builtin_trap();
  }
  return by_byte;
}

}  // namespace fuzz_support
