// fuzz_ds_scanf.cpp -- ds_scanf, ds_skip_comments and ds_read_int over arbitrary text.
//
// The input is written to a temporary plain file; each format below is then scanned over it
// again and again until the stream ends. Destination buffers are exactly as large as the
// formats' widths allow, so AddressSanitizer sees any write past them.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>  // mkstemp
#include <cstring>
#include <string>

#include "data/data.h"

namespace {

using data::DataStream;
using data::ds_scanf;

// The input's file: created and unlinked at once, so nothing is left behind however the fuzzer
// stops, and reached again through /proc for open_data.
struct InputFile {
  int fd = -1;
  std::string path;
};

const InputFile& input_file() {
  static const InputFile file = [] {
    char name[] = "/tmp/fuzz_ds_scanf-XXXXXX";
    InputFile made;
    made.fd = mkstemp(name);
    if (made.fd < 0) __builtin_trap();
    unlink(name);
    made.path = "/proc/self/fd/" + std::to_string(made.fd);
    return made;
  }();
  return file;
}

void check(bool ok) {
  if (!ok) __builtin_trap();
}

long consumed(const DataStream* stream) {
  return stream->position - (stream->pushback >= 0 ? 1 : 0);
}

// Runs `scan` over the whole input. `most` is the largest result the format allows.
template <class Scan>
void scan_to_end(long size, int most, Scan scan) {
  DataStream* stream = data::open_data(input_file().path.c_str(), "rb");
  check(stream != nullptr);
  while (data::ds_peek(stream) >= 0) {
    const long before = consumed(stream);
    const int result = scan(stream, before);
    check(result >= -1 && result <= most);
    check(stream->position <= size);
    // A format that stops at once on this byte would never get past it.
    if (consumed(stream) == before) data::ds_getc(stream);
  }
  check(consumed(stream) == size);
  data::close_data(stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const InputFile& file = input_file();
  check(ftruncate(file.fd, 0) == 0);
  check(pwrite(file.fd, bytes, size, 0) == static_cast<ssize_t>(size));
  const long length = static_cast<long>(size);

  scan_to_end(length, 5, [](DataStream* s, long) {
    float v[5];
    return ds_scanf(s, " [ %f %f %f ] %f %f ", &v[0], &v[1], &v[2], &v[3], &v[4]);
  });
  scan_to_end(length, 2, [](DataStream* s, long) {
    int size[2];
    return ds_scanf(s, "SOUNDTABLE %d %d", &size[0], &size[1]);
  });
  scan_to_end(length, 5, [](DataStream* s, long) {
    float f[3];
    int i[2];
    return ds_scanf(s, "pipe %f %f %f %d %d", &f[0], &f[1], &f[2], &i[0], &i[1]);
  });
  scan_to_end(length, 2, [](DataStream* s, long) {
    int a, b;
    return ds_scanf(s, "ct03 %d JM%d", &a, &b);
  });
  scan_to_end(length, 1, [](DataStream* s, long) {
    char word[1024];
    const int result = ds_scanf(s, " %1023s ", word);
    if (result == 1) {
      for (const char* p = word; *p; ++p) check(!std::strchr(" \t\n\v\f\r", *p));
    }
    return result;
  });
  scan_to_end(length, 1, [](DataStream* s, long before) {
    char line[1024];
    int n = -1;
    const int result = ds_scanf(s, "%1023[^\n]%n", line, &n);
    if (result == 1) check(n >= 1 && n <= 1023 && n == consumed(s) - before);
    return result;
  });
  scan_to_end(length, 0, [](DataStream* s, long before) {
    int n = -1;
    const int result = ds_scanf(s, "%*[^\n]%n", &n);
    if (n >= 0) check(n == consumed(s) - before);
    return result;
  });
  scan_to_end(length, 0, [](DataStream* s, long) {
    int n = -1;
    const int result = ds_scanf(s, "%n", &n);
    check(result == 0 && n == 0);
    return result;
  });
  scan_to_end(length, 4, [](DataStream* s, long) {
    int i[3];
    short h;
    return ds_scanf(s, "%3d%2x%*9X%4i%5ho", &i[0], &i[1], &i[2], &h);
  });
  scan_to_end(length, 4, [](DataStream* s, long) {
    float f;
    double d;
    long double e[2];
    return ds_scanf(s, "%7f%3lf%*f%Lf %qf", &f, &d, &e[0], &e[1]);
  });
  scan_to_end(length, 3, [](DataStream* s, long) {
    short h, n;
    char two[2];
    char word[16];
    return ds_scanf(s, "%hd %hn%*5c%2c%*s %15s", &h, &n, two, word);
  });
  scan_to_end(length, 2, [](DataStream* s, long) {
    char hash[2];
    char set[10];
    return ds_scanf(s, " %1[#]%*[^\n]%9[]a-z^-]", hash, set);
  });
  scan_to_end(length, 0, [](DataStream* s, long) { return data::ds_skip_comments(s); });
  scan_to_end(length, 0, [](DataStream* s, long) {
    data::ds_read_int(s);
    return 0;
  });
  return 0;
}
