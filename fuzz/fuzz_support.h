// fuzz_support.h -- checks the stream fuzz targets share.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"

namespace fuzz_support {

// Stops the run when a property does not hold.
inline void check(bool ok) {
  if (!ok) __builtin_trap();
}

// The path of `name` in a fresh temporary folder, for the inputs of one
// fuzz target; the log goes nowhere. Call once, from LLVMFuzzerInitialize.
inline std::string input_path(const char* name) {
  std::string folder = std::string("/tmp/korvex_fuzz_") + name + "_XXXXXX";
  if (!mkdtemp(folder.data())) std::abort();
  setenv("TAVO_LOGFILE", "/dev/null", 1);
  platform::log_control("NOFLUSH");
  return folder + "/" + name;
}

// Writes the input to `path`, for targets that open the file by name themselves.
inline void write_input(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
  FILE* out = std::fopen(path.c_str(), "wb");
  check(out != nullptr);
  check(std::fwrite(bytes, 1, size, out) == size);
  std::fclose(out);
}

// Writes the input to `path` and opens it as a data stream.
inline data::DataStream* open_input(const std::string& path, const std::uint8_t* bytes,
                                    std::size_t size) {
  write_input(path, bytes, size);
  data::DataStream* stream = data::open_data(path.c_str(), "rb");
  check(stream != nullptr);
  return stream;
}

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
