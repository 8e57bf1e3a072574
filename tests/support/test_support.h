// test_support.h -- temporary folders, small files and running the korvex executable.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

// Whether this build runs under AddressSanitizer: whole races in real time or at full speed
// are left to the normal build.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string file(const std::string& relative) const;
  // Writes a file (and the folders along its path); returns its full path.
  std::string write(const std::string& relative, const std::string& contents) const;

 private:
  std::string path_;
};

// Sends the log to a file of its own while started, so a test can read what
// was logged. The log is reset (as if never opened) on start and on stop.
class LogCapture {
 public:
  explicit LogCapture(const std::string& file_name) : path_(dir_.file(file_name)) {}
  ~LogCapture() { stop(); }
  void start();
  void stop();
  // Closes the log and returns everything written to the file.
  std::string text();

 private:
  TempDir dir_;
  std::string path_;
  bool started_ = false;
};

// A test whose per-user folder (XDG_DATA_HOME, so `xdg`/Korvex/) and data
// folder (KV_HOME, `home`) are fresh temporary folders; the data lookup
// forgets what it had found before and after.
class DataFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The path of a file in the per-user folder, relative to `xdg`.
  static std::string user_file(const std::string& name) { return "Korvex/" + name; }
  TempDir xdg;
  TempDir home;
};

std::string read_file(const std::string& path);

// The "key=value" lines of a tool's output (other lines are skipped), by key.
std::map<std::string, std::string> key_values(const std::string& output);
// The same, each value read as a number.
std::map<std::string, double> key_numbers(const std::string& output);

// The power-weighted mean frequency (Hz) of a Hann-windowed stretch of sound sampled at
// `rate`, over the bins up to `max_hz`.
double spectral_centroid(const std::vector<double>& samples, double rate, double max_hz);

// The bytes deflated by zlib at its best; `window_bits` as deflateInit2 takes them (negative:
// a raw stream, 16 added: a gzip file).
std::string deflate_bytes(const std::string& plain, int window_bits);

// The bytes of a .saf pack holding (name, contents) entries in this order.
std::string make_pack(const std::vector<std::pair<std::string, std::string>>& entries);
bool file_exists(const std::string& path);

// Whether a test that finds no window or GL context must fail rather than skip: where
// CI is set (CI=true) or KORVEX_REQUIRE_DISPLAY is, as scripts/test.sh sets it. A set
// KORVEX_REQUIRE_DISPLAY decides alone; "0", "false" or an empty value mean no.
bool require_display();

struct ProcessResult {
  int status = -1;  // exit status; 128 + signal when killed by one
  std::string out;
  std::string err;
};

// Runs a program with exactly the given environment (plus PATH and the
// sanitizer options of the test's own environment), capturing its output.
ProcessResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env);

// A program started in the background, with its output going to files.
struct Spawned {
  int pid = -1;
  std::string out_path;
  std::string err_path;
};
Spawned spawn_program(const std::string& program, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env, const TempDir& outputs);
// Waits for a spawned program to end.
ProcessResult wait_program(const Spawned& spawned);

// Runs the korvex executable of this build.
ProcessResult run_korvex(const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env);

// Points every environment variable start-up reads at the given folders:
// the per-user folder under `user`, KV_HOME at `data` (empty: unset, so the
// executable's folder with the build's game data is searched).
std::map<std::string, std::string> korvex_env(const TempDir& user, const std::string& data = "");

}  // namespace test_support
