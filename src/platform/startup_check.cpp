// startup_check.cpp -- the start-up checks of the machine: the working set and MMX.
#include <sys/sysinfo.h>

#include "platform/platform.h"

namespace platform {

void set_working_set() {
  struct sysinfo info {};
  unsigned long long physical = 0;
  if (sysinfo(&info) == 0)
    physical = static_cast<unsigned long long>(info.totalram) * info.mem_unit;
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
