// game_data_check.cpp -- the start-up log in the per-user folder and the game-data presence check.
#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "platform/platform.h"  // the log and SHA-1

namespace data {

namespace {

// The check digests this much of the pack, read in blocks of this size.
constexpr std::size_t kCheckedBytes = 1048576;
constexpr std::size_t kCheckBlock = 256;

bool pack_matches(const std::string& path, const unsigned char reference[20]) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  platform::Sha1 sha;
  platform::sha1_begin(sha);
  unsigned char block[kCheckBlock];
  std::size_t total = 0;
  while (total < kCheckedBytes) {
    const std::size_t got = std::fread(block, 1, kCheckBlock, file);
    if (got == 0) break;
    platform::sha1_add(sha, block, got);
    total += got;
  }
  std::fclose(file);
  unsigned char digest[20];
  platform::sha1_finish(sha, digest);
  return std::memcmp(digest, reference, 20) == 0;
}

}  // namespace

int open_startup_log_and_check_data(const char* game_data_sha1) {
  const char* folder = search_directory(0);
  const char* user = user_folder();
  // The per-user folder is search directory 0 only when it could be found.
  const bool have_user_folder = folder && user[0] && std::strcmp(folder, user) == 0;
  if (have_user_folder && std::strlen(folder) + 1 <= 1024) make_directories(folder);
  if (have_user_folder) {
    // The whole directive is limited to 1023 characters.
    char name[1024 - 13];
    std::snprintf(name, sizeof name, "%slastlog.txt", folder);
    platform::log_directive(name);
  }

  unsigned char reference[20];
  // A build without a valid reference can never find its data.
  if (!platform::sha1_parse_hex(game_data_sha1, reference)) return 0;
  for (int i = 0; const char* dir = search_directory(i); ++i) {
    if (pack_matches(std::string(dir) + "zzzz.saf", reference)) return 1;
  }
  return 0;
}

}  // namespace data
