// startup_check.cpp -- the start-up log, the game-data presence check, the working set, MMX.
#include <sys/sysinfo.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "data/data.h"
#include "platform/platform.h"

namespace platform {

namespace {

// The check digests this much of the pack, read in blocks of this size.
constexpr std::size_t kCheckedBytes = 1048576;
constexpr std::size_t kCheckBlock = 256;

bool pack_matches(const std::string& path, const unsigned char reference[20]) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  Sha1 sha;
  sha1_begin(sha);
  unsigned char block[kCheckBlock];
  std::size_t total = 0;
  while (total < kCheckedBytes) {
    const std::size_t got = std::fread(block, 1, kCheckBlock, file);
    if (got == 0) break;
    sha1_add(sha, block, got);
    total += got;
  }
  std::fclose(file);
  unsigned char digest[20];
  sha1_finish(sha, digest);
  return std::memcmp(digest, reference, 20) == 0;
}

}  // namespace

int open_startup_log_and_check_data(const char* game_data_sha1) {
  const char* folder = data::search_directory(0);
  const char* user = data::user_folder();
  // The per-user folder is search directory 0 only when it could be found.
  const bool have_user_folder = folder && user[0] && std::strcmp(folder, user) == 0;
  if (have_user_folder && std::strlen(folder) + 1 <= 1024) data::make_directories(folder);
  if (have_user_folder) {
    // The whole directive is limited to 1023 characters.
    char name[1024 - 13];
    std::snprintf(name, sizeof name, "%slastlog.txt", folder);
    log_directive(name);
  }

  unsigned char reference[20];
  // A build without a valid reference can never find its data.
  if (!sha1_parse_hex(game_data_sha1, reference)) return 0;
  for (int i = 0; const char* dir = data::search_directory(i); ++i) {
    if (pack_matches(std::string(dir) + "zzzz.saf", reference)) return 1;
  }
  return 0;
}

void set_working_set() {
  struct sysinfo info {};
  unsigned long long physical = 0;
  if (sysinfo(&info) == 0) physical = static_cast<unsigned long long>(info.totalram) * info.mem_unit;
  if (physical < 67108864ull) {
    log("Working set left alone - less than 64 MB physical memory\n");
    return;
  }
  const unsigned long long two_gib = 2147483648ull;
  const unsigned long long maximum = (physical < two_gib ? physical : two_gib) - 33554432ull;
  const unsigned long long minimum = maximum < 1073741824ull ? maximum : 1073741824ull;
  log("Setting working set range to %u - %u\n", static_cast<unsigned>(minimum),
      static_cast<unsigned>(maximum));
  // Linux has no call that pins a process's resident set to a range, so the
  // request cannot be carried out; say so rather than claim it worked.
  log("Working set update failed\n");
}

bool cpu_has_mmx() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("mmx");
#else
  return false;
#endif
}

}  // namespace platform
