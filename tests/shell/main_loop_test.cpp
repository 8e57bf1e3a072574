// main_loop_test.cpp -- the tick step on a real (offscreen) window: keys, pause and screenshots.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "shell/shell.h"
#include "support/test_support.h"

namespace {

class TickStepTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    if (!platform::create_window("Korvex test", 96, 64, 24, 16, false)) {
      GTEST_SKIP() << "no window: " << platform::last_platform_error();
    }
    window_open = true;
    shell::g_settings = shell::default_settings();
    shell::main_loop_begin();
    platform::clear_events();
  }
  void TearDown() override {
    if (window_open) platform::close_window();
    DataFoldersTest::TearDown();
  }
  // A key pressed at `ms` on the event clock.
  static void press(const char* key, unsigned ms, int pressed = 1) {
    platform::Event event;
    event.code = platform::key_code_for_name(key);
    event.pressed = pressed;
    event.seconds = ms / 1000;
    event.microseconds = (ms % 1000) * 1000;
    platform::queue_event(event);
  }
  bool window_open = false;
};

}  // namespace

TEST_F(TickStepTest, DefaultBindingsReachTheControlInputs) {
  press("x", 1000);            // throttle
  press("left", 1000);         // steer left
  press("right ctrl", 1001);   // sit/dab
  press("right ctrl", 3000, 0);  // released later: not yet due
  shell::tick_step(2.0);
  const float* inputs = shell::control_inputs();
  EXPECT_EQ(inputs[shell::kInputThrottle], 1);
  EXPECT_EQ(inputs[shell::kInputSteer], 1);
  EXPECT_EQ(inputs[shell::kInputDab], 1);
  shell::tick_step(3.0);
  EXPECT_EQ(shell::control_inputs()[shell::kInputDab], 0);
  EXPECT_EQ(shell::control_inputs()[shell::kInputThrottle], 1);  // still held
}

TEST_F(TickStepTest, PauseKeyToggles) {
  const bool before = shell::game_paused();
  press("pause", 100);
  shell::tick_step(1.0);
  EXPECT_NE(shell::game_paused(), before);
  press("pause", 200);
  shell::tick_step(1.0);
  EXPECT_EQ(shell::game_paused(), before);
}

TEST_F(TickStepTest, ScreenshotKeyWritesTheNextFreeNumber) {
  xdg.write(user_file("screenshot007.png"), "an older shot");
  press("s", 100);
  shell::tick_step(1.0);
  EXPECT_TRUE(test_support::file_exists(xdg.file(user_file("screenshot008.png"))));
  EXPECT_EQ(std::string(platform::visible_message(platform::visible_message_count() - 1)),
            "Saved \"screenshot008.png\"");
  press("s", 200);
  shell::tick_step(1.0);
  EXPECT_TRUE(test_support::file_exists(xdg.file(user_file("screenshot009.png"))));
  const std::string png = test_support::read_file(xdg.file(user_file("screenshot009.png")));
  EXPECT_EQ(png.compare(1, 3, "PNG"), 0);
}
