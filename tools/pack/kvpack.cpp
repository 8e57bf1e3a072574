// kvpack.cpp -- builds, lists and extracts .saf packs.
//
//   kvpack FOLDER PACK            pack every file under FOLDER (sorted names)
//   kvpack --list PACK            print "size name" for every entry
//   kvpack --extract PACK FOLDER  write every entry under FOLDER
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: kvpack FOLDER PACK\n"
               "       kvpack --list PACK\n"
               "       kvpack --extract PACK FOLDER\n");
  return 2;
}

bool read_index(const char* pack, std::vector<data::PackEntry>& entries) {
  if (data::read_pack_index(pack, entries)) return true;
  std::fprintf(stderr, "kvpack: %s is not a readable pack\n", pack);
  return false;
}

// Entry names come from the pack: refuse any that would land outside FOLDER.
bool safe_name(const std::string& name) {
  if (name.empty() || name[0] == '/') return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = name.find('/', start);
    const std::string part =
        name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part == ".." || part.empty()) return false;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

int extract(const char* pack, const char* folder) {
  std::vector<data::PackEntry> entries;
  if (!read_index(pack, entries)) return 1;
  FILE* in = std::fopen(pack, "rb");
  if (!in) return 1;
  int status = 0;
  std::vector<char> buffer(1 << 16);
  for (const data::PackEntry& entry : entries) {
    if (!safe_name(entry.name)) {
      std::fprintf(stderr, "kvpack: skipping unsafe name '%s'\n", entry.name.c_str());
      status = 1;
      continue;
    }
    const std::string path = std::string(folder) + "/" + entry.name;
    data::make_directories(path.c_str());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fseek(in, entry.offset, SEEK_SET) != 0) {
      std::fprintf(stderr, "kvpack: can't write %s\n", path.c_str());
      if (out) std::fclose(out);
      status = 1;
      continue;
    }
    long left = entry.size;
    while (left > 0) {
      const std::size_t want =
          left < static_cast<long>(buffer.size()) ? static_cast<std::size_t>(left) : buffer.size();
      const std::size_t got = std::fread(buffer.data(), 1, want, in);
      if (got == 0) break;
      std::fwrite(buffer.data(), 1, got, out);
      left -= static_cast<long>(got);
    }
    if (std::fclose(out) != 0 || left > 0) {
      std::fprintf(stderr, "kvpack: %s is cut short\n", entry.name.c_str());
      status = 1;
    }
  }
  std::fclose(in);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--list") == 0) {
    std::vector<data::PackEntry> entries;
    if (!read_index(argv[2], entries)) return 1;
    for (const data::PackEntry& entry : entries)
      std::printf("%ld %s\n", entry.size, entry.name.c_str());
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "--extract") == 0) return extract(argv[2], argv[3]);
  if (argc == 3 && argv[1][0] != '-') return data::write_pack(argv[1], argv[2]) ? 0 : 1;
  return usage();
}
