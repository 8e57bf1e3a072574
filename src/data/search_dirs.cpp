// search_dirs.cpp -- the search directories: per-user folder, KV_HOME or the executable's.
#include <spawn.h>     // posix_spawnp for xdg-open
#include <sys/stat.h>  // mkdir
#include <sys/wait.h>
#include <unistd.h>  // readlink

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data.h"
#include "data/data_internal.h"
#include "platform/platform.h"

extern char** environ;

namespace data {

namespace {

constexpr int kMaxSearchDirectories = 3;

struct SearchDirectories {
  bool computed = false;
  int count = 0;
  std::string dirs[kMaxSearchDirectories];
  std::string user;  // the per-user folder, even when it is not usable
};

SearchDirectories g_search;

void compute_search_directories() {
  if (g_search.computed) return;
  g_search.computed = true;

  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (xdg && xdg[0]) {
    g_search.user = normalise_path(std::string(xdg) + "/Korvex/");
  } else if (home && home[0]) {
    g_search.user = normalise_path(std::string(home) + "/.local/share/Korvex/");
  }
  if (!g_search.user.empty()) g_search.dirs[g_search.count++] = g_search.user;

  // An empty KV_HOME counts as unset: it would otherwise name "/", the whole disk.
  const char* kv_home = std::getenv("KV_HOME");
  if (kv_home && kv_home[0]) {
    g_search.dirs[g_search.count++] = normalise_path(std::string(kv_home) + "/");
    return;
  }
  char exe[4096];
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe);
  if (length <= 0 || length >= static_cast<ssize_t>(sizeof exe)) return;
  std::string path(exe, static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return;
  g_search.dirs[g_search.count++] = normalise_path(path.substr(0, slash + 1));
}

}  // namespace

std::string normalise_path(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '\\') c = '/';
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  return out;
}

const char* search_directory(int index) {
  compute_search_directories();
  if (index < 0 || index >= g_search.count) return nullptr;
  return g_search.dirs[index].c_str();
}

int search_directory_count() {
  compute_search_directories();
  return g_search.count;
}

const char* user_folder() {
  compute_search_directories();
  return g_search.user.c_str();
}

void make_directories(const char* path) {
  const std::size_t length = std::strlen(path);
  if (length + 1 > 1024) return;
  std::string prefix;
  for (std::size_t i = 0; i < length; ++i) {
    if (path[i] == '/' && i > 0 && path[i - 1] != '/') {
      // Existing directories are the usual case; any real failure shows up
      // when the file itself is opened.
      mkdir(prefix.c_str(), 0755);
    }
    prefix.push_back(path[i]);
  }
}

bool open_home_folder() {
  const char* folder = user_folder();
  if (!folder[0]) return false;
  make_directories(folder);
  std::string target = folder;
  while (target.size() > 1 && target.back() == '/') target.pop_back();

  char program[] = "xdg-open";
  char* argv[] = {program, target.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // posix_spawnp reports a missing program through the child's exit status.
  return WIFEXITED(status) && WEXITSTATUS(status) != 127;
}

void reset_search_directories() { g_search = SearchDirectories{}; }

}  // namespace data
