// gzip_stream.cpp -- reading gzip-compressed data files through zlib's raw inflate.
//
// The gzip header is checked here and the deflate data handed to zlib as a
// raw stream. The trailer (CRC-32 and length) is not checked: a damaged
// file shows up as a parse failure in the reader above, and a corrupt
// deflate stream simply ends the data where zlib gives up.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "data/data.h"
#include "data/data_internal.h"

namespace data {

namespace {

constexpr std::size_t kInputBlock = 16384;  // compressed bytes read at a time
constexpr std::size_t kOutputBlock = 1024;  // decompressed bytes produced at a time

// gzip header flags (RFC 1952).
constexpr unsigned kFlagHeaderCrc = 2;
constexpr unsigned kFlagExtra = 4;
constexpr unsigned kFlagName = 8;
constexpr unsigned kFlagComment = 16;
constexpr unsigned kFlagsReserved = 0xe0;

}  // namespace

// The decompression state of a compressed stream.
struct Inflater {
  long compressed_length = 0;    // compressed bytes available (entry size, or the whole file)
  long compressed_consumed = 0;  // compressed bytes taken so far
  bool end_of_data = false;
  bool input_ended = false;  // the source gave no more compressed bytes
  z_stream zip{};
  unsigned char input[kInputBlock];
  unsigned char output[kOutputBlock];
  unsigned char* read = nullptr;  // next decompressed byte to deliver
  unsigned char* end = nullptr;   // end of the valid bytes in `output`
};

namespace {

// Reads the next block of compressed input into the input buffer, never
// more than what is left of the compressed length, so that a pack entry is
// never read past its size. Returns the number of bytes read.
std::size_t read_compressed(DataStream* stream, Inflater* z) {
  const long left = z->compressed_length - z->compressed_consumed;
  if (left <= 0) return 0;
  const std::size_t want = std::min(kInputBlock, static_cast<std::size_t>(left));
  std::size_t got;
  if (stream->scrambled) {
    got = scram_read(stream->decipher, z->input, want);
  } else {
    got = std::fread(z->input, 1, want, stream->file);
    stream->raw_read += static_cast<long>(got);
  }
  z->compressed_consumed += static_cast<long>(got);
  z->zip.next_in = z->input;
  z->zip.avail_in = static_cast<uInt>(got);
  return got;
}

// The size of the gzip header at the start of `bytes`, or 0 when it is not
// a header this reader accepts or is cut short.
std::size_t gzip_header_size(const unsigned char* bytes, std::size_t size) {
  if (size < 10) return 0;
  if (bytes[0] != 0x1f || bytes[1] != 0x8b || bytes[2] != 8) return 0;
  const unsigned flags = bytes[3];
  if (flags & kFlagsReserved) return 0;
  std::size_t at = 10;  // magic, method, flags, mtime, extra flags, OS
  if (flags & kFlagExtra) {
    if (size - at < 2) return 0;
    const std::size_t extra = bytes[at] | (static_cast<std::size_t>(bytes[at + 1]) << 8);
    at += 2;
    if (size - at < extra) return 0;
    at += extra;
  }
  for (const unsigned text : {kFlagName, kFlagComment}) {
    if (!(flags & text)) continue;
    const void* zero = std::memchr(bytes + at, 0, size - at);
    if (!zero) return 0;
    at = static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - bytes) + 1;
  }
  if (flags & kFlagHeaderCrc) {
    if (size - at < 2) return 0;
    at += 2;
  }
  return at;
}

// Runs inflate until the output buffer holds something or the data has
// ended.
void refill(DataStream* stream, Inflater* z) {
  z->read = z->end = z->output;
  while (z->read == z->end && !z->end_of_data) {
    if (z->zip.avail_in == 0 && !z->input_ended) {
      if (read_compressed(stream, z) == 0) z->input_ended = true;
    }
    z->zip.next_out = z->output;
    z->zip.avail_out = kOutputBlock;
    const int result = inflate(&z->zip, Z_NO_FLUSH);
    z->end = z->output + (kOutputBlock - z->zip.avail_out);
    if (result == Z_STREAM_END) {
      z->end_of_data = true;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      // A corrupt stream ends the data where the damage starts; what was
      // decompressed before it is still delivered.
      z->end_of_data = true;
    } else if (z->read == z->end && z->input_ended) {
      // Cut short: no input left and nothing more comes out.
      z->end_of_data = true;
    } else if (result == Z_BUF_ERROR && z->zip.avail_in > 0) {
      z->end_of_data = true;  // no progress possible; never spin
    }
  }
}

}  // namespace

int gz_begin(DataStream* stream) {
  Inflater* z = new Inflater;
  z->compressed_length = stream->length;
  stream->length = 0x7fffffff;

  // The whole header has to be in the first block of input.
  const std::size_t got = read_compressed(stream, z);
  const std::size_t header = gzip_header_size(z->input, got);
  if (header == 0 || inflateInit2(&z->zip, -MAX_WBITS) != Z_OK) {
    delete z;
    return 0;
  }
  z->zip.next_in = z->input + header;
  z->zip.avail_in = static_cast<uInt>(got - header);
  z->read = z->end = z->output;
  stream->inflater = z;
  return 1;
}

std::size_t gz_read(DataStream* stream, void* buffer, std::size_t count) {
  Inflater* z = stream->inflater;
  unsigned char* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    if (z->read < z->end) {
      const std::size_t n = std::min(count - done, static_cast<std::size_t>(z->end - z->read));
      std::memcpy(out + done, z->read, n);
      z->read += n;
      done += n;
      continue;
    }
    if (z->end_of_data) break;
    refill(stream, z);
  }
  return done;
}

void gz_end(DataStream* stream) {
  if (!stream->inflater) return;
  inflateEnd(&stream->inflater->zip);
  delete stream->inflater;
  stream->inflater = nullptr;
}

}  // namespace data
