// test_support.cpp -- temporary folders, small files and running the korvex executable.
#include "support/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

#include "data/data.h"
#include "platform/log_internal.h"
#include "platform/platform.h"

namespace test_support {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "korvex-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  path_ = made ? made : "";
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& relative) const { return path_ + "/" + relative; }

std::string TempDir::write(const std::string& relative, const std::string& contents) const {
  const std::string full = file(relative);
  data::make_directories(full.c_str());
  std::ofstream out(full, std::ios::binary);
  out << contents;
  return full;
}

void LogCapture::start() {
  platform::log_reset_for_test();
  setenv("TAVO_LOGFILE", path_.c_str(), 1);
  started_ = true;
}

void LogCapture::stop() {
  if (!started_) return;
  platform::log_reset_for_test();
  unsetenv("TAVO_LOGFILE");
  started_ = false;
}

std::string LogCapture::text() {
  platform::log_close();
  return read_file(path_);
}

void DataFoldersTest::SetUp() {
  setenv("XDG_DATA_HOME", xdg.path().c_str(), 1);
  setenv("KV_HOME", home.path().c_str(), 1);
  data::data_reset_for_test();
}

void DataFoldersTest::TearDown() {
  unsetenv("XDG_DATA_HOME");
  unsetenv("KV_HOME");
  data::data_reset_for_test();
}

std::string deflate_bytes(const std::string& plain, int window_bits) {
  z_stream zip{};
  EXPECT_EQ(deflateInit2(&zip, 9, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&zip, plain.size()), '\0');
  zip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  zip.avail_in = static_cast<uInt>(plain.size());
  zip.next_out = reinterpret_cast<Bytef*>(out.data());
  zip.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zip, Z_FINISH), Z_STREAM_END);
  out.resize(zip.total_out);
  deflateEnd(&zip);
  return out;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string make_pack(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string index, body;
  for (const auto& [name, contents] : entries) {
    index += std::to_string(contents.size()) + " " + name + "\n";
    body += contents;
  }
  return index + "-\n" + body;
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

bool require_display() {
  auto yes = [](const char* value) {
    return value && *value && std::strcmp(value, "0") != 0 && strcasecmp(value, "false") != 0;
  };
  if (const char* required = std::getenv("KORVEX_REQUIRE_DISPLAY")) return yes(required);
  return yes(std::getenv("CI"));
}

Spawned spawn_program(const std::string& program, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env, const TempDir& outputs) {
  Spawned spawned;
  spawned.out_path = outputs.file("out");
  spawned.err_path = outputs.file("err");

  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::map<std::string, std::string> full_env = env;
  for (const char* inherited : {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(inherited); value && !full_env.count(inherited)) {
      full_env[inherited] = value;
    }
  }
  std::vector<std::string> env_text;
  for (const auto& [key, value] : full_env) env_text.push_back(key + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, spawned.out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, spawned.err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    spawned.pid = pid;
  }
  posix_spawn_file_actions_destroy(&actions);
  return spawned;
}

ProcessResult wait_program(const Spawned& spawned) {
  ProcessResult result;
  if (spawned.pid < 0) return result;
  int status = 0;
  waitpid(spawned.pid, &status, 0);
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.status = 128 + WTERMSIG(status);
  result.out = read_file(spawned.out_path);
  result.err = read_file(spawned.err_path);
  return result;
}

ProcessResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env) {
  TempDir outputs;
  return wait_program(spawn_program(program, args, env, outputs));
}

ProcessResult run_korvex(const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env) {
  return run_program(KORVEX_EXE, args, env);
}

std::map<std::string, std::string> korvex_env(const TempDir& user, const std::string& data) {
  std::map<std::string, std::string> env{
      {"HOME", user.path()},
      {"XDG_DATA_HOME", user.file("xdg")},
      {"SDL_VIDEODRIVER", "offscreen"},
      {"SDL_AUDIODRIVER", "dummy"},
  };
  if (!data.empty()) env["KV_HOME"] = data;
  return env;
}

std::map<std::string, std::string> key_values(const std::string& output) {
  std::map<std::string, std::string> values;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

std::map<std::string, double> key_numbers(const std::string& output) {
  std::map<std::string, double> numbers;
  for (const auto& [key, value] : key_values(output)) numbers[key] = std::atof(value.c_str());
  return numbers;
}

double spectral_centroid(const std::vector<double>& samples, double rate, double max_hz) {
  const int n = static_cast<int>(samples.size());
  if (n < 2) return 0;
  std::vector<double> windowed(samples.size());
  for (int i = 0; i < n; ++i) {
    windowed[static_cast<std::size_t>(i)] =
        samples[static_cast<std::size_t>(i)] *
        (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (n - 1)));
  }
  double weighted = 0, total = 0;
  const int top = static_cast<int>(static_cast<double>(n) * max_hz / rate);
  for (int bin = 1; bin < top; ++bin) {
    // Goertzel: the power of one frequency bin.
    const double w = 2 * std::numbers::pi * bin / n, coefficient = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (double v : windowed) {
      const double s0 = v + coefficient * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    weighted += power * bin * rate / n;
    total += power;
  }
  return total > 0 ? weighted / total : 0;
}

}  // namespace test_support
