// output.cpp -- the generator's output: files written whole, and the manifest that records them.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "content/content.h"
#include "platform/platform.h"

namespace content {

namespace {

bool sha1_of_file(const std::string& path, char hex[41]) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  platform::Sha1 sha;
  platform::sha1_begin(sha);
  unsigned char block[65536];
  while (const std::size_t got = std::fread(block, 1, sizeof block, file))
    platform::sha1_add(sha, block, got);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  platform::sha1_finish_hex(sha, hex);
  return ok;
}

}  // namespace

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), fmt, args);
  va_end(args);
  text.pop_back();
  return text;
}

void write_file(Output& out, const std::string& relative, const std::string& contents) {
  const std::filesystem::path path = out.root + relative;
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "kvgen: can't create %s\n", path.c_str());
    out.ok = false;
    return;
  }
  const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  if (std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "kvgen: can't write %s\n", path.c_str());
    out.ok = false;
  }
}

ManifestTotals write_manifest(Output& out) {
  // Names relative to the root, '/'-separated, sorted byte-wise: the listing's own order
  // differs from one file system to the next.
  std::vector<std::string> names;
  const std::filesystem::path root(out.root);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().lexically_relative(root).generic_string();
    if (name != kManifest) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::string text;
  ManifestTotals totals;
  for (const std::string& name : names) {
    char hex[41];
    if (!sha1_of_file(out.root + name, hex)) {
      std::fprintf(stderr, "kvgen: can't read back %s\n", name.c_str());
      out.ok = false;
      continue;
    }
    text += std::string(hex) + "  " + name + "\n";
    ++totals.files;
    totals.bytes += static_cast<long long>(std::filesystem::file_size(out.root + name));
  }
  write_file(out, kManifest, text);
  return totals;
}

}  // namespace content
