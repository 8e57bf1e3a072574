// new_player_test.cpp -- a new player's first ride, end to end in a real X window: the game
// started bare, real key events (xdotool), pictures through the game's own screenshot key.
//
// Esc, New Race, Start; once the gate drops, the throttle key held makes the speed on the
// HUD rise; then Esc, Quit and a key end the program with status 0 and the configuration
// written. Needs Xvfb and xdotool (scripts/deps.sh installs them).
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "data/data.h"
#include "render/render.h"
#include "support/test_support.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// The full path of a program on PATH, or "".
std::string on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
    const std::string full = (dir.empty() ? "." : dir) + "/" + name;
    if (access(full.c_str(), X_OK) == 0) return full;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return "";
}

void sleep_s(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Whether a spawned child has ended (it stays a zombie until it is waited for).
bool ended(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const std::size_t close = line.rfind(')');
  return close == std::string::npos || line.compare(close + 2, 1, "Z") == 0;
}

class NewPlayerTest : public test_support::DataFoldersTest {
 protected:
  void TearDown() override {
    for (const test_support::Spawned* s : {&game, &xvfb}) {
      if (s->pid > 0 && !ended(s->pid)) kill(s->pid, SIGKILL);
      if (s->pid > 0) test_support::wait_program(*s);
    }
    DataFoldersTest::TearDown();
  }
  void xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"20", xdotool_path};
    all.insert(all.end(), args.begin(), args.end());
    const test_support::ProcessResult r =
        test_support::run_program(timeout_path, all, {{"DISPLAY", display}});
    EXPECT_EQ(r.status, 0) << "xdotool " << args.front() << ": " << r.err;
  }
  void key(const std::string& name) {
    xdotool({"key", name});
    sleep_s(0.4);
  }
  std::string lastlog() { return test_support::read_file(xdg.file(user_file("lastlog.txt"))); }
  // Waits for a screenshot to be written and reads it (RGB, rows top first).
  bool shot(int n, data::Image& image) {
    char name[32];
    std::snprintf(name, sizeof name, "screenshot%03d.png", n);
    key("s");
    for (int i = 0; i < 50 && !test_support::file_exists(xdg.file(user_file(name))); ++i) {
      sleep_s(0.2);
    }
    sleep_s(0.3);  // written whole
    data::data_reset_for_test();
    std::string hints;
    return data::read_png((std::string("@") + name).c_str(), image, hints) == 1;
  }
  test_support::TempDir outputs;
  test_support::Spawned xvfb, game;
  std::string xdotool_path = on_path("xdotool"), timeout_path = on_path("timeout");
  std::string display;
};

// How far the HUD's speed readout differs between two pictures of the window: the mean
// difference per channel over its box.
double speed_box_difference(const data::Image& a, const data::Image& b) {
  const render::HudBox box = render::hud_layout(kWidth, kHeight).speed;
  double sum = 0;
  int count = 0;
  for (int y = static_cast<int>(box.y); y < static_cast<int>(box.y + box.h); ++y) {
    const int row = kHeight - 1 - y;  // pictures are top row first, the layout bottom up
    for (int x = static_cast<int>(box.x); x < static_cast<int>(box.x + box.w); ++x) {
      for (int c = 0; c < 3; ++c) {
        const std::size_t i = (static_cast<std::size_t>(row) * kWidth + x) * 3 + c;
        sum += std::abs(static_cast<int>(a.pixels[i]) - static_cast<int>(b.pixels[i]));
        ++count;
      }
    }
  }
  return count ? sum / count : 0;
}

}  // namespace

TEST_F(NewPlayerTest, EscNewRaceStartThrottleAndQuit) {
  if (test_support::kSanitized)
    GTEST_SKIP() << "a whole ride in real time: the normal build runs it";
  const std::string xvfb_path = on_path("Xvfb");
  if (xvfb_path.empty() || xdotool_path.empty() || timeout_path.empty()) {
    const std::string why = "needs Xvfb, xdotool and timeout (scripts/deps.sh installs them)";
    if (test_support::require_display()) GTEST_FAIL() << why;
    GTEST_SKIP() << why;
  }
  // A display of its own: Xvfb picks a free number and writes it out.
  xvfb = test_support::spawn_program(
      xvfb_path, {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"}, {},
      outputs);
  for (int i = 0; i < 100 && display.empty(); ++i) {
    sleep_s(0.1);
    const std::string out = test_support::read_file(xvfb.out_path);
    if (!out.empty() && out.back() == '\n') display = ":" + out.substr(0, out.size() - 1);
  }
  ASSERT_FALSE(display.empty()) << test_support::read_file(xvfb.err_path);

  std::map<std::string, std::string> env = test_support::korvex_env(outputs);
  env["XDG_DATA_HOME"] = xdg.path();
  env["DISPLAY"] = display;
  env["SDL_VIDEODRIVER"] = "x11";
  game = test_support::spawn_program(KORVEX_EXE, {}, env, outputs);
  xdotool({"search", "--sync", "--name", "^Korvex$"});
  for (int i = 0; i < 100 && lastlog().find("GL_EXTENSIONS") == std::string::npos; ++i) {
    sleep_s(0.1);
  }
  sleep_s(1);

  data::Image menu, at_rest, riding;
  key("Escape");
  ASSERT_TRUE(shot(1, menu));
  key("Return");  // "New Race"
  key("Return");  // "Start"
  for (int i = 0; i < 300 && lastlog().find("Loading bikes...") == std::string::npos; ++i) {
    sleep_s(0.1);
  }
  ASSERT_NE(lastlog().find("Loading bikes..."), std::string::npos);
  sleep_s(1);
  ASSERT_TRUE(shot(2, at_rest));
  ASSERT_EQ(at_rest.width, kWidth);
  ASSERT_EQ(at_rest.height, kHeight);

  // The gate drops 13 to 15 s after the set-up; the throttle is held through it.
  xdotool({"keydown", "x"});
  double moved = 0;
  for (int n = 3; n < 20 && moved < 8; ++n) {
    sleep_s(2);
    data::image_free(riding);
    ASSERT_TRUE(shot(n, riding));
    moved = speed_box_difference(at_rest, riding);
  }
  xdotool({"keyup", "x"});
  EXPECT_GE(moved, 8) << "the speed on the HUD never changed";

  key("Escape");
  for (int i = 0; i < 9; ++i) key("Down");
  key("Return");  // "Quit"
  key("a");
  for (int i = 0; i < 300 && !ended(game.pid); ++i) sleep_s(0.1);
  ASSERT_TRUE(ended(game.pid));
  const test_support::ProcessResult result = test_support::wait_program(game);
  game.pid = -1;
  EXPECT_EQ(result.status, 0) << result.err;
  const std::string config = test_support::read_file(xdg.file(user_file("config")));
  EXPECT_NE(config.find("track=rabbithill"), std::string::npos);
  data::image_free(menu);
  data::image_free(at_rest);
  data::image_free(riding);
}
