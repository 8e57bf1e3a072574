// pack_writer.cpp -- writes .saf packs: a text index, "-", then the data back to back.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"

namespace data {

namespace {

struct PackFile {
  std::string name;  // relative to the packed directory
  std::string path;
  long size = 0;
};

bool collect(const std::string& root, const std::string& relative, std::vector<PackFile>& out) {
  const std::string dir = root + "/" + relative;
  DIR* handle = opendir(dir.c_str());
  if (!handle) {
    std::fprintf(stderr, "kvpack: can't read directory %s\n", dir.c_str());
    return false;
  }
  std::vector<std::string> children;
  while (dirent* entry = readdir(handle)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    children.emplace_back(entry->d_name);
  }
  closedir(handle);
  for (const std::string& child : children) {
    const std::string path = dir + child;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      if (!collect(root, relative + child + "/", out)) return false;
    } else {
      out.push_back(PackFile{relative + child, path, static_cast<long>(info.st_size)});
    }
  }
  return true;
}

}  // namespace

bool write_pack(const char* directory, const char* pack_path) {
  std::vector<PackFile> files;
  if (!collect(directory, "", files)) return false;
  // Directory listings come in no fixed order; the pack must not depend on it.
  std::sort(files.begin(), files.end(),
            [](const PackFile& a, const PackFile& b) { return a.name < b.name; });

  const std::string temporary = std::string(pack_path) + ".tmp";
  FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "kvpack: can't create %s\n", temporary.c_str());
    return false;
  }
  bool ok = true;
  for (const PackFile& file : files) {
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
