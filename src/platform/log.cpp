// log.cpp -- the time-stamped log file and the last platform error.
#include <unistd.h>  // fsync
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/log_internal.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr char kDirective[] = "TAVO_LOGFILE=";
constexpr std::size_t kDirectiveLength = sizeof kDirective - 1;  // 13

struct LogState {
  FILE* file = nullptr;
  bool initialised = false;
  bool flush = true;
};

LogState g_log;

// A copy, so that callers may pass texts that do not outlive the call.
char g_last_error[256] = "Unknown";

// Writes one entry; the file is open and the format is an ordinary one.
void write_entry(const char* format, va_list args) {
  char stamp[48];
  format_log_stamp(stamp, sizeof stamp, uptime_ms());
  std::fputs(stamp, g_log.file);
  std::vfprintf(g_log.file, format, args);
  if (g_log.flush) {
    std::fflush(g_log.file);
    fsync(fileno(g_log.file));
  }
}

void log_entry(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_entry(const char* format, ...) {
  if (!g_log.file) return;
  va_list args;
  va_start(args, format);
  write_entry(format, args);
  va_end(args);
}

// The first call of `log`: opens the file named by the environment or by a
// naming directive. Returns true when the call was a directive.
bool open_log(const char* format) {
  const char* name = std::getenv("TAVO_LOGFILE");
  const char* flags = std::getenv("TAVO_LOGFILE_FLAGS");
  const bool directive = format && std::strncmp(format, kDirective, kDirectiveLength) == 0;
  // The environment always wins over the directive.
  if (directive && !name) name = format + kDirectiveLength;

  g_log.initialised = true;
  if (name) {
    const char* mode = "w";
    if (name[0] == '>' && name[1] == '>') {
      name += 2;
      mode = "a";
    } else if (name[0] == '>') {
      name += 1;
    }
    if (flags) mode = flags;
    g_log.file = std::fopen(name, mode);
    log_entry("Logfile \"%s\" opened\n", name);
    log_entry("TAVO 0.31\n");
  }
  return directive;
}

void log_v(const char* format, va_list args) {
  if (!g_log.initialised) {
    if (open_log(format)) return;
  }
  if (!format) {
    if (g_log.file) std::fclose(g_log.file);
    g_log.file = nullptr;
    return;
  }
  if (static_cast<unsigned char>(format[0]) == 0x13) {
    if (std::strcmp(format + 1, "FLUSH") == 0)
      g_log.flush = true;
    else if (std::strcmp(format + 1, "NOFLUSH") == 0)
      g_log.flush = false;
    return;
  }
  if (g_log.file) write_entry(format, args);
}

// `log` without the compiler's format check, for formats that are never
// formatted: controls, whose bytes are the message itself.
void log_unchecked(const char* format, ...) {
  va_list args;
  va_start(args, format);
  log_v(format, args);
  va_end(args);
}

}  // namespace

void log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  log_v(format, args);
  va_end(args);
}

void log_directive(const char* name) {
  char directive[1024];
  std::snprintf(directive, sizeof directive, "%s%s", kDirective, name);
  if (!g_log.initialised) {
    open_log(directive);
    return;
  }
  // After the first call a directive is an ordinary entry.
  log("%s", directive);
}

void log_close() {
  // Like every first call, a close that comes first opens the log before it
  // closes it; either way the log stays initialised and never reopens.
  if (!g_log.initialised) open_log(nullptr);
  if (g_log.file) std::fclose(g_log.file);
  g_log.file = nullptr;
}

void log_control(const char* word) {
  char control[32];
  std::snprintf(control, sizeof control, "\x13%s", word);
  log_unchecked(control);
}

void format_log_stamp(char* out, std::size_t size, std::uint64_t uptime_ms) {
  const std::uint64_t seconds = uptime_ms / 1000;
  const unsigned hundredths = static_cast<unsigned>((uptime_ms % 1000) / 10);
  std::snprintf(
      out, size, "[%llu:%02u:%02u.%02u] ", static_cast<unsigned long long>(seconds / 3600),
      static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60), hundredths);
}

std::uint64_t uptime_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

void platform_error(const char* text) {
  log("Error: %s\n", text);
  std::snprintf(g_last_error, sizeof g_last_error, "%s", text);
}

const char* last_platform_error() { return g_last_error; }

void log_reset_for_test() {
  if (g_log.file) std::fclose(g_log.file);
  g_log = LogState{};
  std::snprintf(g_last_error, sizeof g_last_error, "%s", "Unknown");
}

bool log_is_open() { return g_log.file != nullptr; }

bool log_flushing() { return g_log.flush; }

}  // namespace platform
