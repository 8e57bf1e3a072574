// file_table.cpp -- the table of every reachable data file, packs included, and the name list.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/data_internal.h"

namespace data {

namespace {

// An index line, line feed included, is at most this long.
constexpr std::size_t kMaxIndexLine = 1023;
// Sizes beyond this are not a pack's index but garbage; refusing them keeps
// the offset arithmetic far from overflow.
constexpr long kMaxEntrySize = 1L << 40;

struct FileTable {
  bool built = false;
  std::vector<FileEntry> entries;
  std::vector<const char*> names;  // distinct names, then nullptr
};

FileTable g_table;

int compare_names(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool entry_less(const FileEntry& a, const FileEntry& b) {
  const int c = compare_names(a.name, b.name);
  if (c != 0) return c < 0;
  return a.source < b.source;
}

void sort_table() { std::stable_sort(g_table.entries.begin(), g_table.entries.end(), entry_less); }

bool ends_with_saf(const std::string& name) {
  if (name.size() < 5) return false;
  const std::string tail = name.substr(name.size() - 4);
  return compare_names(tail, ".saf") == 0;
}

std::string collapse_slashes(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (*p == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(*p);
  }
  return out;
}

// Adds the entries of one pack. A malformed index drops the pack whole.
void read_pack(const std::string& path, int source) {
  std::vector<PackEntry> index;
  if (!read_pack_index(path.c_str(), index)) return;
  for (PackEntry& entry : index) {
    g_table.entries.push_back(
        FileEntry{path, std::move(entry.name), entry.offset, entry.size, source});
  }
}

void build_table() {
  if (g_table.built) return;
  g_table.built = true;
  const int directories = search_directory_count();
  for (int i = 0; i < directories; ++i) {
    // Unreadable folders are skipped silently: the rest is still reachable.
    std::vector<FoundFile> files;
    walk_files(search_directory(i), "", files);
    for (FoundFile& file : files) {
      g_table.entries.push_back(
          FileEntry{std::move(file.path), std::move(file.name), 0, file.size, i});
    }
  }
  sort_table();

  // Only the files present before any pack is read can be packs themselves;
  // packs are numbered in the table's sorted order.
  const std::size_t plain_count = g_table.entries.size();
  int ordinal = 0;
  for (std::size_t i = 0; i < plain_count; ++i) {
    if (!ends_with_saf(g_table.entries[i].name)) continue;
    const std::string pack_path = g_table.entries[i].path;  // copied: the table grows
    read_pack(pack_path, directories + ordinal);
    ++ordinal;
  }
  sort_table();

  for (std::size_t i = 0; i < g_table.entries.size(); ++i) {
    if (i > 0 && compare_names(g_table.entries[i].name, g_table.entries[i - 1].name) == 0) continue;
    g_table.names.push_back(g_table.entries[i].name.c_str());
  }
  g_table.names.push_back(nullptr);
}

}  // namespace

bool read_pack_index(const char* path, std::vector<PackEntry>& entries) {
  entries.clear();
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  long header_length = 0;
  bool complete = false;
  char line[kMaxIndexLine + 1];
  while (std::fgets(line, sizeof line, file)) {
    const std::size_t length = std::strlen(line);
    // No line feed: the line is longer than allowed, cut by the end of the
    // file, or holds a NUL byte. Any of these means the index is broken.
    if (length == 0 || line[length - 1] != '\n') break;
    header_length += static_cast<long>(length);
    line[length - 1] = '\0';
    if (std::strcmp(line, "-") == 0) {
      complete = true;
      break;
    }
    if (!std::isdigit(static_cast<unsigned char>(line[0]))) break;
    char* end = nullptr;
    const long size = std::strtol(line, &end, 10);
    if (size > kMaxEntrySize) break;
    // Exactly one separator character follows the number.
    const char* name = *end ? end + 1 : end;
    entries.push_back(PackEntry{collapse_slashes(name), 0, size});
  }
  std::fclose(file);
  if (!complete) {
    entries.clear();
    return false;
  }
  long offset = header_length;
  for (PackEntry& entry : entries) {
    entry.offset = offset;
    offset += entry.size;
  }
  return true;
}

const FileEntry* find_entry(const char* name) {
  build_table();
  const std::string key = collapse_slashes(name);
  auto it = std::lower_bound(g_table.entries.begin(), g_table.entries.end(), key,
                             [](const FileEntry& entry, const std::string& k) {
                               return compare_names(entry.name, k) < 0;
                             });
  if (it == g_table.entries.end() || compare_names(it->name, key) != 0) return nullptr;
  return &*it;
}

const char* const* data_names() {
  build_table();
  return g_table.names.data();
}

int describe_entry(int index, char* buffer, std::size_t size) {
  build_table();
  if (index < 0 || static_cast<std::size_t>(index) >= g_table.entries.size()) return 0;
  if (size == 0) return 1;
  const FileEntry& entry = g_table.entries[static_cast<std::size_t>(index)];
  std::snprintf(buffer, size, "%s -> %s", entry.name.c_str(), entry.path.c_str());
  return 1;
}

void reset_file_table() { g_table = FileTable{}; }

void data_reset_for_test() {
  reset_file_table();
  reset_search_directories();
}

}  // namespace data
