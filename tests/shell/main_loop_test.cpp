// main_loop_test.cpp -- the tick step on a real (offscreen) window: keys, pause and screenshots.
#include <gtest/gtest.h>

#include <string>

#include <unistd.h>
#include <vector>

#include <SDL.h>

#include "../sim/terrain_fixtures.h"
#include "data/data.h"
#include "platform/input_internal.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/frame_loop.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "support/test_support.h"

namespace {

class TickStepTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    if (!platform::create_window("Korvex test", 96, 64, 24, 16, false)) {
      const std::string why = std::string("no window: ") + platform::last_platform_error();
      if (test_support::require_display()) GTEST_FAIL() << why;
      GTEST_SKIP() << why;
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
  // A small flat track folder, "practice", in the data folder.
  void write_practice_track() {
    home.write(
        "practice/terrain.hf",
        terrain_fixtures::track_with(2, 8.0f, 0, 10, std::vector<std::uint16_t>(81, 0)).terrain_hf);
    home.write("practice/shadingx2.ppm", terrain_fixtures::ppm(9, 9, 100));
    home.write("practice/tilemap", std::string(16, '\0'));
    home.write("practice/tileinfo", "texture @dirt.png\naddtile\n");
  }
  bool window_open = false;
};

}  // namespace

TEST_F(TickStepTest, DefaultBindingsReachTheControlInputs) {
  press("x", 1000);              // throttle
  press("left", 1000);           // steer left
  press("right ctrl", 1001);     // sit/dab
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

// Esc opens the menu, which then takes the keys (pause does nothing) until Esc closes it;
// the chat key opens the chat line, which takes the keys until Enter (or Esc) closes it.
TEST_F(TickStepTest, MenuAndChatLineTakeTheKeys) {
  struct Step {
    const char* key;
    bool menu, console, paused_changed;
  } steps[] = {
      {"esc", true, false, false},    {"pause", true, false, false}, {"esc", false, false, false},
      {"t", false, true, false},      {"pause", false, true, false}, {"enter", false, false, false},
      {"t", false, true, false},      {"esc", false, false, false},  {"pause", false, false, true},
      {"pause", false, false, false},
  };
  const bool before = shell::game_paused();
  unsigned ms = 100;
  for (const Step& s : steps) {
    press(s.key, ms);
    ms += 10;
    shell::tick_step(ms / 1000.0);
    EXPECT_EQ(shell::menu_open(), s.menu) << s.key;
    EXPECT_EQ(shell::console_open(), s.console) << s.key;
    EXPECT_EQ(shell::game_paused() != before, s.paused_changed) << s.key;
  }
}

// While paused the frame says so, in the game's own font; running, it does not.
TEST_F(TickStepTest, PausedIsWrittenOverTheFrame) {
  ASSERT_EQ(symlink(KORVEX_PACK, home.file("zzzz.saf").c_str()), 0);
  data::data_reset_for_test();
  render::fonts_load();
  ASSERT_NE(render::g_font_text.texture, 0u);
  auto bright_pixels = [] {
    int width = 0, height = 0;
    platform::window_size(&width, &height);
    std::vector<unsigned char> rgb;
    render::read_frame_rgb(width, height, rgb);
    int bright = 0;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
      if (rgb[i] > 200 && rgb[i + 1] > 200 && rgb[i + 2] > 200) ++bright;
    }
    return bright;
  };
  const bool before = shell::game_paused();
  for (int round = 0; round < 2; ++round) {
    render::draw_frame(render::kViewNoRace, false);
    shell::draw_frame_texts();
    EXPECT_EQ(bright_pixels() > 0, shell::game_paused()) << round;
    press("pause", 100 + 100 * static_cast<unsigned>(round));
    shell::tick_step(1.0);
  }
  EXPECT_EQ(shell::game_paused(), before);
  // The font's texture belongs to this test's window.
  render::g_font_text = render::Font{};
  render::g_font_digits = render::Font{};
  render::g_font_condensed = render::Font{};
}

// The controls menu's wait for a binding takes the next key; Esc cancels and keeps the old one.
TEST_F(TickStepTest, BindingCaptureTakesTheNextKey) {
  shell::begin_binding_capture(shell::kThrottleKey);
  EXPECT_TRUE(shell::capturing_binding());
  press("esc", 100);
  shell::tick_step(0.2);
  EXPECT_FALSE(shell::capturing_binding());
  EXPECT_FALSE(shell::menu_open());  // the Esc went to the capture, not to the menu
  EXPECT_EQ(shell::g_settings.bindings[shell::kThrottleKey].key, "x");

  shell::begin_binding_capture(shell::kThrottleKey);
  press("q", 300);
  shell::tick_step(0.4);
  EXPECT_FALSE(shell::capturing_binding());
  EXPECT_EQ(
      platform::key_code_for_name(shell::g_settings.bindings[shell::kThrottleKey].key.c_str()),
      platform::key_code_for_name("q"));
  // The new key now gives throttle.
  press("q", 500);
  shell::tick_step(0.6);
  EXPECT_EQ(shell::control_inputs()[shell::kInputThrottle], 1);
  press("q", 700, 0);
  shell::tick_step(0.8);
}

// A controller axis pushed more than half way becomes the binding, ranged on the side it
// moved to; a small wobble does not.
TEST_F(TickStepTest, BindingCaptureTakesAMovedAxis) {
  // The test's window never has the focus; SDL would drop the controller's axis motion.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
  platform::input_devices_open();
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = 2;
  desc.nbuttons = 2;
  desc.name = "Joystick 1.";
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(index, 0) << SDL_GetError();
  platform::Event event;
  while (platform::next_event(&event)) {
  }
  SDL_Joystick* joystick = SDL_JoystickOpen(index);
  ASSERT_NE(joystick, nullptr);
  struct Case {
    int push;
    const char* axis;  // the binding's axis after the tick, "" while still waiting
    double a, b;
  } cases[] = {{-20000, "Joystick1.axis[1]", -0.0625, -0.9375},
               {30000, "Joystick1.axis[1]", 0.0625, 0.9375}};
  unsigned ms = 100;
  for (const Case& c : cases) {
    SDL_JoystickSetVirtualAxis(joystick, 1, 0);
    SDL_JoystickUpdate();
    shell::begin_binding_capture(shell::kFrontBrakeKey);
    SDL_JoystickSetVirtualAxis(joystick, 1, c.push / 4);  // a wobble
    SDL_JoystickUpdate();
    shell::tick_step((ms += 10) / 1000.0);
    EXPECT_TRUE(shell::capturing_binding()) << c.push;
    SDL_JoystickSetVirtualAxis(joystick, 1, c.push);
    SDL_JoystickUpdate();
    shell::tick_step((ms += 10) / 1000.0);
    EXPECT_FALSE(shell::capturing_binding()) << c.push;
    const shell::Binding& b = shell::g_settings.bindings[shell::kFrontBrakeKey];
    EXPECT_EQ(b.axis, c.axis);
    EXPECT_EQ(b.key, "");
    EXPECT_EQ(b.a, c.a);
    EXPECT_EQ(b.b, c.b);
  }
  // The bound axis now works the front brake, scaled over its range.
  EXPECT_NEAR(shell::control_inputs()[shell::kInputFrontBrake], (30000 / 32768.0 - 0.0625) / 0.875,
              1e-4);

  SDL_JoystickClose(joystick);
  SDL_JoystickDetachVirtual(index);
  while (platform::next_event(&event)) {
  }
  shell::g_settings = shell::default_settings();
  shell::main_loop_begin();  // no binding keeps the controller's axis open
  platform::input_devices_close();
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
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

TEST_F(TickStepTest, DefaultKeysReachTheWatchedBikesControls) {
  write_practice_track();
  shell::g_settings.track = "practice";
  shell::g_rider_setup = shell::default_rider_setup();
  shell::g_rider_setup.reverse_steering.index = 0;  // "No"
  shell::g_race = shell::RaceDriver{};
  int lineup[shell::kRiderSlots] = {};
  lineup[3] = 1;  // the local rider at the fourth gate
  lineup[0] = 2;
  shell::setup_race(lineup, false, false, 0, 5, 0);
  ASSERT_TRUE(shell::g_race.race_loaded);
  ASSERT_EQ(shell::g_race.watched, 3);

  shell::g_race.start_tick = 0;  // the gate is down: nothing holds the bike
  press("x", 100);               // throttle
  press("left", 100);            // steer left
  press("c", 100);               // front brake
  press("up", 100);              // upshift
  shell::tick_step(1.0);
  ASSERT_NE(shell::g_race.slots[3].bike, nullptr);
  const sim::Controls& controls = shell::g_race.slots[3].bike->controls;
  EXPECT_EQ(controls.throttle, 1);
  EXPECT_EQ(controls.steer, 1);
  EXPECT_EQ(controls.front_brake, 1);
  EXPECT_EQ(controls.gear, 1);
  EXPECT_EQ(shell::g_race.slots[0].bike->controls.throttle, 0);  // the computer rider's are its own

  // Reversed steering turns the other way.
  shell::g_rider_setup.reverse_steering.index = 1;
  shell::tick_step(1.0);
  EXPECT_EQ(shell::g_race.slots[3].bike->controls.steer, -1);

  // The bike keys walk the occupied slots round the end; the digits pick a track camera.
  struct Step {
    const char* key;
    int watched;
    int camera;
  } steps[] = {{"]", 0, 0}, {"]", 3, 0}, {"[", 0, 0}, {"4", 0, 4}, {"0", 0, 0}, {"9", 0, 9}};
  unsigned ms = 200;
  for (const Step& s : steps) {
    press(s.key, ms);
    press(s.key, ms + 1, 0);
    ms += 10;
    shell::tick_step(ms / 1000.0);
    EXPECT_EQ(shell::g_race.watched, s.watched) << s.key;
    EXPECT_EQ(shell::chosen_track_camera(), s.camera) << s.key;
  }
  shell::free_bikes();
  race::track_free();
}

// In a time trial, backing up (with "Backing Up Aborts Attempt") puts the rider back at the
// lap start; with the setting off it does not.
TEST_F(TickStepTest, BackingUpAbortsATimeTrialAttempt) {
  write_practice_track();
  shell::g_settings.track = "practice";
  shell::g_rider_setup = shell::default_rider_setup();
  shell::g_race = shell::RaceDriver{};
  shell::setup_race(nullptr, false, false, 0, 0, 0);
  ASSERT_TRUE(shell::g_race.time_trial);
  sim::Bike* bike = shell::g_race.slots[0].bike;
  ASSERT_NE(bike, nullptr);
  const double start_x = sim::body_position(bike, sim::kFrame)[0];
  struct Case {
    int setting;  // "No", "Yes"
    bool back_at_start;
  } cases[] = {{0, false}, {1, true}};
  unsigned ms = 100;
  for (const Case& c : cases) {
    shell::g_settings.time_trial_abort.index = c.setting;
    sim::bike_translate(bike, 20, 0, 0);
    press("b", ms);
    shell::tick_step(ms / 1000.0 + 0.001);
    press("b", ms + 2, 0);
    ms += 100;
    EXPECT_EQ(std::abs(sim::body_position(bike, sim::kFrame)[0] - start_x) < 1, c.back_at_start)
        << c.setting;
  }
  shell::free_bikes();
  race::track_free();
}
