// pack_writer.cpp -- writes .saf packs: a text index, "-", then the data back to back.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/data_internal.h"

namespace data {

bool write_pack(const char* directory, const char* pack_path) {
  std::vector<FoundFile> files;
  if (!walk_files(directory, "", files)) {
    std::fprintf(stderr, "kvpack: can't read all of %s\n", directory);
    return false;
  }
  // Directory listings come in no fixed order; the pack must not depend on it.
  std::sort(files.begin(), files.end(),
            [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });

  const std::string temporary = std::string(pack_path) + ".tmp";
  FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "kvpack: can't create %s\n", temporary.c_str());
    return false;
  }
  bool ok = true;
  for (const FoundFile& file : files) {
    // The reader takes index lines of at most 1023 bytes.
    if (file.name.size() + 24 > 1023 || file.name.find('\n') != std::string::npos) {
      std::fprintf(stderr, "kvpack: name too long or not a single line: %s\n", file.name.c_str());
      ok = false;
      break;
    }
    std::fprintf(out, "%ld %s\n", file.size, file.name.c_str());
  }
  if (ok) std::fputs("-\n", out);
  std::vector<char> buffer(1 << 16);
  for (std::size_t i = 0; ok && i < files.size(); ++i) {
    FILE* in = std::fopen(files[i].path.c_str(), "rb");
    if (!in) {
      std::fprintf(stderr, "kvpack: can't read %s\n", files[i].path.c_str());
      ok = false;
      break;
    }
    long copied = 0;
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in)) {
      ok = ok && std::fwrite(buffer.data(), 1, got, out) == got;
      copied += static_cast<long>(got);
    }
    std::fclose(in);
    if (copied != files[i].size) {
      std::fprintf(stderr, "kvpack: %s changed while it was packed\n", files[i].path.c_str());
      ok = false;
    }
  }
  ok = (std::fclose(out) == 0) && ok;
  if (ok && std::rename(temporary.c_str(), pack_path) != 0) {
    std::fprintf(stderr, "kvpack: can't rename %s to %s\n", temporary.c_str(), pack_path);
    ok = false;
  }
  if (!ok) std::remove(temporary.c_str());
  return ok;
}

}  // namespace data
