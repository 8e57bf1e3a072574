// fuzz_scrambled_stream.cpp -- the deciphering stream (and gzip over it) on arbitrary files.
//
// Byte 0 of the input: bit 0 set builds a valid header (plaintext length
// from bytes 2..5) in front of the rest, else the rest is the whole file;
// bit 1 reads it as compressed too; bits 2..7 pick the entry size (0: a
// whole file). Byte 1 picks the size of the reads. Each input is read twice,
// byte by byte with peeks and in chunks, and both must give the same bytes
// without reading the file past the entry or delivering more than the
// header promises.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "data/data.h"
#include "data/data_internal.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kMaxOutput = 1 << 18;

data::DataStream* open_scrambled(std::vector<std::uint8_t>& file, long length, bool compressed) {
  FILE* handle = fmemopen(file.data(), file.size(), "rb");
  if (!handle) __builtin_trap();
  data::DataStream* stream = new data::DataStream;
  stream->file = handle;
  stream->length = length;
  stream->scrambled = true;
  stream->compressed = compressed;
  stream->decipher = data::scram_open(handle, length);
  if (!stream->decipher || (compressed && !data::gz_begin(stream))) {
    data::close_data(stream);
    return nullptr;
  }
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 6) return 0;
  const bool build_header = bytes[0] & 1;
  const bool compressed = bytes[0] & 2;
  const unsigned entry = bytes[0] >> 2;
  const std::size_t chunk = 1 + bytes[1] % 97;
  const std::uint32_t plain_length =
      bytes[2] | (bytes[3] << 8) | (bytes[4] << 16) | (static_cast<std::uint32_t>(bytes[5]) << 24);

  std::vector<std::uint8_t> file;
  if (build_header) {
    static const unsigned char kMaterial[32] = {7};
    file.resize(data::kScramHeaderSize);
    data::scram_make_header(kMaterial, plain_length, file.data());
    file.insert(file.end(), bytes + 6, bytes + size);
  } else {
    file.assign(bytes + 2, bytes + size);
  }
  const long file_size = static_cast<long>(file.size());
  const long length = entry == 0 ? 0x7fffffff : file_size * entry / 63;
  file.push_back(0x5a);  // the next entry of a pack, or the last byte of a whole file
  const long limit = entry == 0 ? file_size + 1 : length;

  data::DataStream* one = open_scrambled(file, length, compressed);
  data::DataStream* two = open_scrambled(file, length, compressed);
  if (!one != !two) __builtin_trap();
  if (!one) return 0;
  if (data::ds_seek(one, 0) != 0) __builtin_trap();

  const std::vector<std::uint8_t> by_byte =
      fuzz_support::read_both_ways(one, two, chunk, kMaxOutput);
  // Deciphered data never exceeds what the header promises nor what the
  // entry holds after its header.
  if (!compressed) {
    if (by_byte.size() > plain_length && build_header) __builtin_trap();
    if (static_cast<long>(by_byte.size()) > limit - static_cast<long>(data::kScramHeaderSize)) {
      __builtin_trap();
    }
  }
  if (std::ftell(one->file) > limit || std::ftell(two->file) > limit) __builtin_trap();
  data::close_data(one);
  data::close_data(two);
  return 0;
}
