// input_test.cpp -- the event queue, key names, controllers and the window on SDL's offscreen
// driver.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/input_internal.h"
#include "platform/platform.h"
#include "support/test_support.h"

using platform::Event;

namespace {

Event at(unsigned code, unsigned ms) {
  Event event;
  event.code = code;
  event.pressed = 1;
  event.seconds = ms / 1000;
  event.microseconds = (ms % 1000) * 1000;
  return event;
}

std::vector<unsigned> drain() {
  std::vector<unsigned> codes;
  Event event;
  while (platform::next_event(&event)) codes.push_back(event.code);
  return codes;
}

}  // namespace

TEST(EventQueue, TimeOrderAndCapacity) {
  platform::clear_events();
  platform::queue_event(at(1, 300));
  platform::queue_event(at(2, 100));  // late, stamped earlier: comes out first
  platform::queue_event(at(3, 300));  // same stamp as 1: after it
  platform::queue_event(at(4, 200));
  EXPECT_EQ(drain(), (std::vector<unsigned>{2, 4, 1, 3}));

  for (unsigned i = 0; i < platform::kEventQueueSize + 1; ++i) platform::queue_event(at(i, 10 + i));
  const std::vector<unsigned> codes = drain();
  ASSERT_EQ(codes.size(), static_cast<std::size_t>(platform::kEventQueueSize));
  EXPECT_EQ(codes.back(),
            static_cast<unsigned>(platform::kEventQueueSize - 1));  // the 257th dropped
}

TEST(EventQueue, NextEventUntilTakesOnlyWhatIsDue) {
  platform::clear_events();
  platform::queue_event(at(7, 1500));
  Event event;
  EXPECT_FALSE(platform::next_event_until(&event, 1, 499999));
  EXPECT_TRUE(platform::next_event_until(&event, 1, 500000));  // not after: due
  EXPECT_EQ(event.code, 7u);
  EXPECT_EQ(event.seconds, 1u);
  EXPECT_EQ(event.microseconds, 500000u);
  EXPECT_FALSE(platform::next_event_until(&event, 99, 0));
}

TEST(KeyNames, LookupByNameAliasAndLooseComparison) {
  struct Case {
    const char* name;
    unsigned code;
  } cases[] = {
      {"right_ctrl", 4096 + 285},
      {"RIGHT CTRL", 4096 + 285},
      {"Right Ctrl", 4096 + 285},
      {"x", 4096 + 45},
      {"left", 4096 + 331},
      {"up", 4096 + 328},
      {"enter", 4096 + 28},
      {"keypad enter", 4096 + 284},
      {"esc", 4096 + 1},
      {"page up", 4096 + 329},
      {"page\tdown", 4096 + 337},
      {"pause", 4096 + 69},
      {".", 4096 + 52},
      {"\\", 4096 + 43},
      {"[", 4096 + 26},
      {"0x1ff", 4096 + 511},
      {"0x0", 4096},
      {"0x200", 0},
      {"Mouse Left", 8192},
      {"mouse_right", 8194},
      {"cursor-left", 8192},
      {"Close", 57005},
      {"no such key", 0},
      {"", 0},
      {"Joystick9.key[0]", 0},
  };
  platform::alias_add("cursor-left", "Mouse Left");
  for (const Case& c : cases) EXPECT_EQ(platform::key_code_for_name(c.name), c.code) << c.name;
}

TEST(KeyNames, NamesOfCodesArePooled) {
  EXPECT_STREQ(platform::name_for_code(4096 + 285), "Right Ctrl");
  EXPECT_STREQ(platform::name_for_code(8193), "Mouse Middle");
  EXPECT_STREQ(platform::name_for_code(57005), "Close");
  EXPECT_STREQ(platform::name_for_code(4096 + 0x1ff), "0x1ff");  // no name anywhere
  EXPECT_EQ(platform::name_for_code(300), nullptr);
  EXPECT_EQ(platform::name_for_code(4096 + 45), platform::name_for_code(4096 + 45));
  // Every name a key has leads back to the key.
  for (unsigned code = 4096; code < 4096 + 512; ++code) {
    EXPECT_EQ(platform::key_code_for_name(platform::name_for_code(code)), code) << code;
  }
}

TEST(DeviceIds, FromTheNameSkippingIdsInUse) {
  const unsigned id = platform::device_id_for_name("Joystick1", [](unsigned) { return false; });
  // J,y,t,c,1 at even positions; o,s,i,k at odd ones.
  const unsigned even = 'J' + 'y' + 't' + 'c' + '1';
  const unsigned odd = ('o' + 's' + 'i' + 'k') & 0xff;
  EXPECT_EQ(id, ((even + 256 * odd) % 32768) * 65536);
  static unsigned taken;
  taken = id;
  EXPECT_EQ(platform::device_id_for_name("Joystick1", [](unsigned i) { return i == taken; }),
            id + 65536);
  // A name hashing to 0 never gets 0, which would clash with keys and mice.
  EXPECT_EQ(platform::device_id_for_name("", [](unsigned) { return false; }), 65536u);
  EXPECT_EQ(platform::device_id_for_name("x", [](unsigned) { return true; }), 0u);
}

TEST(FullscreenMode, SmallestThatFits) {
  const std::vector<platform::DisplayMode> modes = {
      {800, 600, 32}, {1280, 1024, 32}, {1024, 768, 32}};
  const platform::DisplayMode desktop{1920, 1080, 24};
  struct Case {
    int width, height, want_width, want_height;
  } cases[] = {
      {1000, 700, 1024, 768},
      {800, 600, 800, 600},
      {1024, 800, 1280, 1024},
      {2000, 2000, 1920, 1080},  // nothing fits: the desktop
  };
  for (const Case& c : cases) {
    const platform::DisplayMode mode =
        platform::choose_fullscreen_mode(modes, desktop, c.width, c.height);
    EXPECT_EQ(mode.width, c.want_width);
    EXPECT_EQ(mode.height, c.want_height);
    EXPECT_EQ(mode.bits_per_pixel, 24);  // the depth never changes
  }
}

// A controller that SDL itself believes in, so that plugging, buttons and
// axes go through the same path as real hardware.
TEST(Controllers, PluggedInWhileRunningButtonsAndAxes) {
  ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS | SDL_INIT_JOYSTICK), 0) << SDL_GetError();
  platform::input_devices_open();
  EXPECT_EQ(platform::key_code_for_name("Joystick1.key[3]"), 0u);  // no such device yet

  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = 2;
  desc.nbuttons = 4;
  desc.nhats = 1;
  desc.name = "Joystick 1.";
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(index, 0) << SDL_GetError();
  platform::clear_events();
  drain();  // pumps the plug-in

  const unsigned button3 = platform::key_code_for_name("Joystick1.key[3]");
  ASSERT_NE(button3, 0u);
  EXPECT_EQ(button3 % 65536, 3u);
  EXPECT_EQ(platform::key_code_for_name("Joystick1 button 3"), button3);
  EXPECT_STREQ(platform::name_for_code(button3), "Joystick1 button 3");
  EXPECT_EQ(platform::key_code_for_name("Joystick1.key[8]"), 0u);  // 4 buttons + 4 hat directions
  EXPECT_EQ(platform::key_code_for_name("Joystick1.key[7]"), button3 + 4);

  platform::Axis axis;
  ASSERT_TRUE(platform::open_axis("Joystick1.axis[1]", &axis));
  EXPECT_FALSE(platform::open_axis("Joystick1.axis[2]", &axis));

  SDL_Joystick* joystick = SDL_JoystickOpen(index);
  ASSERT_NE(joystick, nullptr);
  SDL_JoystickSetVirtualButton(joystick, 3, SDL_PRESSED);
  SDL_JoystickSetVirtualAxis(joystick, 1, -20000);
  SDL_JoystickSetVirtualHat(joystick, 0, SDL_HAT_LEFT);
  SDL_JoystickUpdate();
  Event event;
  std::vector<std::pair<unsigned, int>> got;
  while (platform::next_event(&event)) got.emplace_back(event.code, event.pressed);
  EXPECT_NE(std::find(got.begin(), got.end(), std::make_pair(button3, 1)), got.end());
  EXPECT_NE(std::find(got.begin(), got.end(), std::make_pair(button3 + 4, 1)), got.end());
  EXPECT_EQ(platform::read_axis(axis), -20000);
  platform::close_axis(&axis);

  SDL_JoystickClose(joystick);
  SDL_JoystickDetachVirtual(index);
  drain();
  EXPECT_NE(platform::key_code_for_name("Joystick1.key[3]"), 0u);  // bindings outlive an unplug
  platform::input_devices_close();
  SDL_Quit();
}

// With "dinputsticksonly" off the roll call takes the mouse as well: its movement becomes
// relative axes, each read giving the movement since the last. With it on (the default)
// there is no such device.
TEST(Controllers, TheMouseJoinsTheRollCallUnlessSticksOnly) {
  const struct {
    const char* options;
    bool mouse;
  } cases[] = {{"", false}, {"[dinputsticksonly:yes]", false}, {"[dinputsticksonly:no]", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    setenv("TAVO_OPTIONS", c.options, 1);
    platform::options_reload();
    ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS | SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    platform::input_devices_open();
    platform::Axis x, wheel;
    const bool opened = platform::open_axis("Mouse.axis[0]", &x);
    EXPECT_EQ(opened, c.mouse);
    EXPECT_EQ(platform::open_axis("Mouse.axis[2]", &wheel), c.mouse);
    EXPECT_FALSE(platform::open_axis("Mouse.axis[3]", &wheel));
    if (opened) {
      for (int dx : {5, -2}) {
        SDL_Event motion{};
        motion.type = SDL_MOUSEMOTION;
        motion.motion.xrel = dx;
        motion.motion.yrel = 7;
        SDL_PushEvent(&motion);
      }
      SDL_Event scroll{};
      scroll.type = SDL_MOUSEWHEEL;
      scroll.wheel.y = -1;
      SDL_PushEvent(&scroll);
      drain();  // pumps the window's events
      EXPECT_EQ(platform::read_axis(x), 3);
      EXPECT_EQ(platform::read_axis(x), 0);  // read: starts again from nothing
      EXPECT_EQ(platform::read_axis(wheel), -1);
      platform::close_axis(&x);
      platform::close_axis(&wheel);
    }
    platform::input_devices_close();
    SDL_Quit();
  }
  unsetenv("TAVO_OPTIONS");
  platform::options_reload();
}

TEST(Window, OpensWithAGlContextAndQueuesItsEvents) {
  if (!platform::create_window("Korvex test", 320, 240, 24, 16, false)) {
    const std::string why =
        std::string("no window on this machine: ") + platform::last_platform_error();
    if (test_support::require_display()) GTEST_FAIL() << why;
    GTEST_SKIP() << why;
  }
  using GetString = const unsigned char* (*)(unsigned);
  auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  ASSERT_NE(get_string, nullptr);
  const unsigned char* version = get_string(0x1F02 /* GL_VERSION */);
  ASSERT_NE(version, nullptr);
  EXPECT_GE(std::atof(reinterpret_cast<const char*>(version)), 2.1);
  int width = 0, height = 0;
  platform::window_size(&width, &height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);

  platform::clear_events();
  // SDL stamps pushed events itself, in the order they are pushed.
  SDL_Event key{};
  key.type = SDL_KEYDOWN;
  key.key.keysym.scancode = SDL_SCANCODE_RCTRL;
  SDL_PushEvent(&key);
  key.type = SDL_KEYUP;
  SDL_PushEvent(&key);
  SDL_Event click{};
  click.type = SDL_MOUSEBUTTONDOWN;
  click.button.button = SDL_BUTTON_MIDDLE;
  SDL_PushEvent(&click);
  SDL_Event text{};
  text.type = SDL_TEXTINPUT;
  std::strcpy(text.text.text, "a\xc3\xa9\xe2\x82\xac");  // a, e-acute, and a euro sign
  SDL_PushEvent(&text);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);

  Event event;
  std::vector<std::pair<unsigned, int>> got;
  while (platform::next_event(&event)) got.emplace_back(event.code, event.pressed);
  // The euro sign has no one-byte code and is left out.
  const std::vector<std::pair<unsigned, int>> want = {{4096 + 285, 1}, {4096 + 285, 0}, {8193, 1},
                                                      {'a', 1},        {0xe9, 1},       {57005, 1}};
  EXPECT_EQ(got, want);
  platform::close_window();
}
