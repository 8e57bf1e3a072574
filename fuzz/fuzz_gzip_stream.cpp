// fuzz_gzip_stream.cpp -- the gzip reader on arbitrary files and pack entries.
//
// Byte 0 of the input picks the entry size (0: a whole file), byte 1 the
// size of the reads; the rest is the file. Each input is read twice, byte by
// byte with peeks and in chunks, and both must give the same bytes without
// reading the file past the entry.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "data/data.h"
#include "data/data_internal.h"
#include "fuzz_support.h"

namespace {

// Enough to see every path of the reader without spending the run on
// inputs that inflate to megabytes.
constexpr std::size_t kMaxOutput = 1 << 18;

// Opens the bytes as a compressed stream holding `length` bytes, as
// open_data does for a pack entry; nullptr when the header is refused.
data::DataStream* open_gzip(std::vector<std::uint8_t>& file, long length) {
  FILE* handle = fmemopen(file.data(), file.size(), "rb");
  if (!handle) __builtin_trap();
  data::DataStream* stream = new data::DataStream;
  stream->file = handle;
  stream->length = length;
  stream->compressed = true;
  if (!data::gz_begin(stream)) {
    data::close_data(stream);
    return nullptr;
  }
  return stream;
}

void check_within(data::DataStream* stream, long length) {
  if (std::ftell(stream->file) > length) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 2) return 0;
  // A trailing byte beyond the entry stands for the next entry of a pack;
  // fmemopen also needs at least one byte.
  std::vector<std::uint8_t> file(bytes + 2, bytes + size);
  file.push_back(0x1f);
  const long data_size = static_cast<long>(size - 2);
  const long length = bytes[0] == 0 ? 0x7fffffff : data_size * bytes[0] / 255;
  const long limit = bytes[0] == 0 ? static_cast<long>(file.size()) : length;
  const std::size_t chunk = 1 + bytes[1] % 97;

  data::DataStream* one = open_gzip(file, length);
  data::DataStream* two = open_gzip(file, length);
  if (!one != !two) __builtin_trap();
  if (!one) return 0;
  if (data::ds_seek(one, 0) != 0) __builtin_trap();

  fuzz_support::read_both_ways(one, two, chunk, kMaxOutput);
  check_within(one, limit);
  check_within(two, limit);
  data::close_data(one);
  data::close_data(two);
  return 0;
}
