// options.cpp -- platform options from the TAVO_OPTIONS environment variable.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

struct OptionSource {
  bool read = false;
  std::string text;
};

OptionSource g_options;

const std::string& option_text() {
  if (!g_options.read) {
    const char* text = std::getenv("TAVO_OPTIONS");
    g_options.text = text ? text : "";
    g_options.read = true;
  }
  return g_options.text;
}

// The text right after "[name:" in the option source, or nullptr.
const char* find_option(const char* name) {
  char key[64];
  // The name is cut to 60 characters, as every reader of options expects.
  std::snprintf(key, sizeof key, "[%.60s:", name);
  const std::string& text = option_text();
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return nullptr;
  return text.c_str() + at + std::strlen(key);
}

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

int option_bool(const char* name, int default_value) {
  const char* value = find_option(name);
  if (!value) return default_value;
  if (starts_with(value, "yes]") || starts_with(value, "on]")) return 1;
  if (starts_with(value, "no]") || starts_with(value, "off]")) return 0;
  log("unrecognized setting for %s\n", name);
  return default_value;
}

int option_int(const char* name, int default_value) {
  const char* value = find_option(name);
  if (!value) return default_value;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(value, &end, 10);
  if (end == value) {
    log("unrecognized setting for %s\n", name);
    return default_value;
  }
  // Out-of-range numbers saturate rather than wrap into something surprising.
  if (number > 0x7fffffffL) return 0x7fffffff;
  if (number < -0x7fffffffL - 1) return -0x7fffffff - 1;
  return static_cast<int>(number);
}

void options_reload() { g_options = OptionSource{}; }

}  // namespace platform
