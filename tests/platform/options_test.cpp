// options_test.cpp -- platform options from TAVO_OPTIONS and the alias table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/log_internal.h"
#include "platform/platform.h"
#include "support/test_support.h"

TEST(PlatformOptions, BooleansAndIntegers) {
  const std::string long_name(70, 'n');
  const std::string options =
      "[sound-rate:44100][threaded:yes][dsnd:off][fullscreen:on]"
      "[waveout:no][dinput:maybe][sound-channels:][sound-mixahead:250"
      "[" +
      long_name.substr(0, 60) + ":yes]";
  setenv("TAVO_OPTIONS", options.c_str(), 1);
  platform::options_reload();

  struct Case {
    const char* name;
    bool boolean;
    int default_value;
    int expected;
  } cases[] = {
      {"sound-rate", false, 22050, 44100},
      {"threaded", true, 0, 1},
      {"dsnd", true, 1, 0},
      {"fullscreen", true, 0, 1},
      {"waveout", true, 1, 0},
      {"dinput", true, 1, 1},               // "maybe" is no setting: the default
      {"sound-channels", false, 16, 16},    // no digits: the default
      {"sound-mixahead", false, 125, 250},  // no closing bracket needed
      {"dinputsticksonly", true, 1, 1},     // absent
      {"rate", false, 5, 5},                // only whole names match
  };
  for (const Case& c : cases) {
    const int value = c.boolean ? platform::option_bool(c.name, c.default_value)
                                : platform::option_int(c.name, c.default_value);
    EXPECT_EQ(value, c.expected) << c.name;
  }
  // A name longer than 60 characters is looked up by its first 60.
  EXPECT_EQ(platform::option_bool(long_name.c_str(), 0), 1);

  unsetenv("TAVO_OPTIONS");
  platform::options_reload();
  EXPECT_EQ(platform::option_int("sound-rate", 22050), 22050);
}

TEST(PlatformOptions, UnrecognisedSettingIsLogged) {
  test_support::TempDir dir;
  platform::log_reset_for_test();
  setenv("TAVO_LOGFILE", dir.file("options.log").c_str(), 1);
  setenv("TAVO_OPTIONS", "[threaded:maybe][sound-rate:fast]", 1);
  platform::options_reload();
  EXPECT_EQ(platform::option_bool("threaded", 0), 0);
  EXPECT_EQ(platform::option_int("sound-rate", 22050), 22050);
  platform::log_close();
  const std::string text = test_support::read_file(dir.file("options.log"));
  EXPECT_NE(text.find("unrecognized setting for threaded\n"), std::string::npos);
  EXPECT_NE(text.find("unrecognized setting for sound-rate\n"), std::string::npos);
  platform::log_reset_for_test();
  unsetenv("TAVO_LOGFILE");
  unsetenv("TAVO_OPTIONS");
  platform::options_reload();
}

TEST(Aliases, DefaultsResolveAndSecondAliasIsIgnored) {
  test_support::TempDir dir;
  platform::log_reset_for_test();
  setenv("TAVO_LOGFILE", dir.file("alias.log").c_str(), 1);

  platform::alias_add_defaults();
  EXPECT_STREQ(platform::alias_resolve("mouse-x"), "Mouse.axis[0]");
  EXPECT_STREQ(platform::alias_resolve("cursor-left"), "Mouse Left");
  EXPECT_STREQ(platform::alias_resolve("joystick-b-2"), "Joystick2.key[1]");
  const char* unknown = "Right Ctrl";
  EXPECT_EQ(platform::alias_resolve(unknown), unknown);         // the name itself
  EXPECT_STREQ(platform::alias_resolve("Mouse-X"), "Mouse-X");  // case matters

  EXPECT_EQ(platform::alias_add("mouse-x", "Joystick1.axis[0]"), 0);
  EXPECT_STREQ(platform::alias_resolve("mouse-x"), "Mouse.axis[0]");
  EXPECT_EQ(platform::alias_add("throttle-axis", "Joystick1.axis[2]"), 1);
  EXPECT_STREQ(platform::alias_resolve("throttle-axis"), "Joystick1.axis[2]");

  platform::log_close();
  EXPECT_NE(test_support::read_file(dir.file("alias.log"))
                .find("Second alias for 'mouse-x' ('Joystick1.axis[0]') ignored\n"),
            std::string::npos);
  platform::log_reset_for_test();
  unsetenv("TAVO_LOGFILE");
}
