// fuzz_pack_index.cpp -- .saf packs with arbitrary indexes: the index reader and the lookup.
//
// The input is the whole pack. Every entry the lookup finds is read to its
// end, which must come within the entry's size.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/data.h"

namespace {

struct Folder {
  std::string path;
  Folder() {
    char pattern[] = "/tmp/korvex-fuzz-pack-XXXXXX";
    path = mkdtemp(pattern);
    setenv("KV_HOME", path.c_str(), 1);
    setenv("XDG_DATA_HOME", (path + "/nobody").c_str(), 1);
  }
  ~Folder() {
    std::remove((path + "/zzzz.saf").c_str());
    rmdir(path.c_str());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static Folder folder;
  const std::string pack = folder.path + "/zzzz.saf";
  FILE* file = std::fopen(pack.c_str(), "wb");
  if (!file) __builtin_trap();
  std::fwrite(bytes, 1, size, file);
  std::fclose(file);

  std::vector<data::PackEntry> entries;
  if (data::read_pack_index(pack.c_str(), entries)) {
    long offset = -1;
    for (const data::PackEntry& entry : entries) {
      if (entry.size < 0 || entry.offset < offset) __builtin_trap();
      offset = entry.offset;
    }
  } else if (!entries.empty()) {
    __builtin_trap();
  }

  data::data_reset_for_test();
  for (const char* const* name = data::data_names(); *name; ++name) {
    const std::string data_name = std::string("@") + *name;
    data::DataStream* stream = data::open_data(data_name.c_str(), "rb");
    if (!stream) continue;
    char buffer[256];
    std::size_t total = 0;
    while (std::size_t got = data::ds_read(stream, buffer, sizeof buffer)) {
      total += got;
      if (total > size) __builtin_trap();  // never more than the pack holds
    }
    data::close_data(stream);
  }
  return 0;
}
