// settings_test.cpp -- the settings table, bindings, graphics presets and the configuration file.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "shell/settings.h"
#include "support/test_support.h"

using shell::Settings;
using test_support::read_file;

namespace {

class ConfigTest : public test_support::DataFoldersTest {
 protected:
  // Settings read from a configuration file holding `text`.
  Settings read_text(const std::string& text) {
    xdg.write(user_file("config"), text);
    Settings settings = shell::default_settings();
    shell::read_config(settings);
    return settings;
  }
  std::string written(const Settings& settings) {
    EXPECT_TRUE(shell::write_config(settings));
    return read_file(xdg.file(user_file("config")));
  }
};

// Every setting moved away from its default.
Settings changed_settings() {
  Settings s = shell::default_settings();
  s.xres = 1280;
  s.yres = 720;
  s.draw_fps = 1;
  s.draw_time = 1;
  s.draw_ping = 0;
  s.spy = 3;
  s.track = "series/outdoor";
  s.record.index = 1;
  s.skill.index = 2;
  s.minutes.value = 12;
  s.laps.value = 7;
  for (int i = 0; i < shell::kLineupSlots; ++i) s.slots[i].index = (i * 3 + 1) % 5;
  s.ghost_fade_distance.value = 22.5;
  s.time_trial_abort.index = 0;
  s.video_mode.names.push_back("1024x768");
  s.video_mode.index = 2;
  s.server_name = "race.example.org:19800";
  for (int i = 0; i < shell::kServerHistory; i += 3)
    s.server_history[i] = "host" + std::to_string(i);
  s.ground_detail.value = 33;
  s.ground_texture_detail.value = 4;
  s.ground_texture_dim.index = 5;
  s.ground_mipmaps.index = 0;
  s.texture_compress.index = 2;
  s.render_texture.index = 3;
  s.use_shader.index = 0;
  s.roost_density.value = 120;
  s.lens_flare.index = 0;
  s.reflections.index = 0;
  s.hide_rider.index = 1;
  s.rigid_camera.index = 1;
  s.model_detail.value = 99;
  s.model_texture_detail.value = 1;
  s.fov.value = 90;
  s.first_person_height.value = 0.25;
  s.first_person_angle.value = 12;
  s.third_person_height.value = 8;
  s.third_person_distance.value = 30;
  s.volume.value = 3;
  s.comp_volume.value = 2;
  s.playback_mode.index = 1;
  s.billboard_optimize_lookahead = 3;
  s.message_lines = 9;
  s.demo_backups = 4;
  s.bindings[shell::kThrottleKey].key.clear();
  s.bindings[shell::kThrottleKey].axis = "Joystick1.axis[2]";
  s.bindings[shell::kThrottleKey].a = 0.0625;
  s.bindings[shell::kThrottleKey].b = 0.9375;
  s.bindings[shell::kClutchKey].key = "Joystick1 button 4";
  s.bindings[shell::kScreenshotKey].key.clear();  // unbound
  return s;
}

}  // namespace

TEST_F(ConfigTest, WrittenAndReadBackReproducesEverySetting) {
  const std::string defaults = written(shell::default_settings());
  const Settings original = changed_settings();
  const std::string first = written(original);
  ASSERT_NE(first, defaults);

  Settings back = shell::default_settings();
  back.video_mode.names = original.video_mode.names;  // the modes come from the display
  shell::read_config(back);
  EXPECT_EQ(written(back), first);
  EXPECT_EQ(back.bindings[shell::kThrottleKey].axis, "Joystick1.axis[2]");
  EXPECT_EQ(back.bindings[shell::kScreenshotKey].key, "");  // stays unbound
  EXPECT_EQ(back.use_fbo.index, 1);                         // never written, keeps its default

  // The file holds what a player would expect, in order.
  EXPECT_EQ(first.rfind("xres=1280\nyres=720\n", 0), 0u);
  EXPECT_NE(first.find("laps=7.000000\nslot00=Human\n"), std::string::npos);
  EXPECT_NE(first.find("throttle_key=(0.062500,0.937500)Joystick1.axis[2]\n"), std::string::npos);
  EXPECT_NE(first.find("clutch_key=(k)Joystick1 button 4\n"), std::string::npos);
  EXPECT_EQ(first.find("use_fbo"), std::string::npos);
  EXPECT_NE(first.find("\nscreenshot_key=\n"), std::string::npos);
  EXPECT_FALSE(test_support::file_exists(xdg.file(user_file("config.tmp"))));
}

TEST_F(ConfigTest, LinesAndTheirEffect) {
  struct Case {
    std::string text;
    std::function<void(const Settings&)> check;
  } cases[] = {
      {"laps=99\n", [](const Settings& s) { EXPECT_EQ(s.laps.value, 50); }},
      {"laps=lots\n", [](const Settings& s) { EXPECT_EQ(s.laps.value, 5); }},
      {"laps=nan\n", [](const Settings& s) { EXPECT_EQ(s.laps.value, 5); }},
      {"fov=-40\r\n", [](const Settings& s) { EXPECT_EQ(s.fov.value, 10); }},
      {"skill=expert\n", [](const Settings& s) { EXPECT_EQ(s.skill.index, 0); }},
      {"skill=Expert\n", [](const Settings& s) { EXPECT_EQ(s.skill.index, 2); }},
      {"laps =3\n", [](const Settings& s) { EXPECT_EQ(s.laps.value, 5); }},  // key with a space
      {"xres=1600\nyres=900x\n",
       [](const Settings& s) {
         EXPECT_EQ(s.xres, 1600);
         EXPECT_EQ(s.yres, 900);
       }},
      {"xres=wide\n", [](const Settings& s) { EXPECT_EQ(s.xres, 640); }},
      {"throttle_key=(0.1,0.9)Joystick1.axis[2]\n",
       [](const Settings& s) {
         const shell::Binding& b = s.bindings[shell::kThrottleKey];
         EXPECT_EQ(b.axis, "Joystick1.axis[2]");
         EXPECT_EQ(b.key, "");
         EXPECT_DOUBLE_EQ(b.a, 0.1);
         EXPECT_DOUBLE_EQ(b.b, 0.9);
       }},
      {"dab_key=(k)right ctrl\nclutch_key=  right ctrl\n",
       [](const Settings& s) {
         EXPECT_EQ(s.bindings[shell::kDabKey].key, "right ctrl");
         EXPECT_EQ(s.bindings[shell::kClutchKey].key, "right ctrl");
       }},
      {"step_key=(oops\n",
       [](const Settings& s) { EXPECT_EQ(s.bindings[shell::kStepKey].key, "(oops"); }},
      {"use_fbo=No\n",
       [](const Settings& s) {
         EXPECT_EQ(s.use_fbo.index, 0);
         EXPECT_EQ(s.render_texture.name(), "Hardware/Copy");
       }},
      {"use_fbo=Yes\n",
       [](const Settings& s) { EXPECT_EQ(s.render_texture.name(), "Hardware/Direct"); }},
      {"ground_texture_distance=500\n",
       [](const Settings& s) { EXPECT_EQ(s.render_texture.name(), "Software"); }},
      {"server_name_hist03=" + std::string(127, 'h') +
           "\nserver_name_hist04=" + std::string(126, 'h') + "\n",
       [](const Settings& s) {
         EXPECT_EQ(s.server_history[3], "");
         EXPECT_EQ(s.server_history[4].size(), 126u);
       }},
      {"slot05=Robot (4 stroke)\nslot06=Robot (5 stroke)\n",
       [](const Settings& s) {
         EXPECT_EQ(s.slots[5].index, 4);
         EXPECT_EQ(s.slots[6].index, 0);
       }},
      {"track=rabbithill\ntrack=\n", [](const Settings& s) { EXPECT_EQ(s.track, ""); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    c.check(read_text(c.text));
  }
}

TEST_F(ConfigTest, GarbageLoadsWithoutHarmAndKeepsDefaults) {
  std::mt19937 random(1234);
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage.push_back(static_cast<char>(random()));
  garbage += "\nlaps=3\n";
  garbage += std::string(5000, 'k') + "=x\n";  // a line far longer than a line may be
  garbage += std::string("fov=9\0\0=1\n", 10);
  garbage += "volume=4";  // a last line without its line feed
  const Settings s = read_text(garbage);
  EXPECT_EQ(s.laps.value, 3);
  EXPECT_EQ(s.fov.value, 10);  // "9" clamped to the minimum
  EXPECT_EQ(s.volume.value, 4);
  EXPECT_EQ(s.xres, 640);
  EXPECT_EQ(s.bindings[shell::kThrottleKey].key, "x");

  // No file at all: every default in place.
  std::remove(xdg.file(user_file("config")).c_str());
  Settings missing = shell::default_settings();
  shell::read_config(missing);
  EXPECT_EQ(written(missing), written(shell::default_settings()));
}

TEST(GraphicsPresets, AppliedPresetIsRecognisedUntilASettingChanges) {
  Settings s = shell::default_settings();
  EXPECT_EQ(shell::current_graphics_text(s), "Current Settings: Compatibility");
  const char* names[] = {"Compatibility", "High FPS", "Normal", "High Detail"};
  for (int preset = 0; preset < shell::kGraphicsPresets; ++preset) {
    shell::apply_graphics_preset(s, preset);
    EXPECT_EQ(shell::current_graphics_preset(s), preset);
    EXPECT_EQ(shell::current_graphics_text(s), std::string("Current Settings: ") + names[preset]);
  }
  EXPECT_EQ(s.render_texture.name(), "Shaders/Direct");
  EXPECT_EQ(s.ground_texture_dim.name(), "256x256");
  s.fov.value = 60;  // not a graphics setting
  EXPECT_EQ(shell::current_graphics_preset(s), shell::kHighDetail);
  s.ground_detail.value = 89;
  EXPECT_EQ(shell::current_graphics_text(s), "Current Settings: Custom");
}

// A number setting takes finite numbers, clamped to its range; anything else leaves it.
TEST(NumberSettings, TextOutsideTheFiniteNumbersLeavesTheValue) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"12.5", 12.5}, {"250", 100},  {"-3", 0},   {"nan", 40}, {"inf", 40},
      {"-inf", 40},   {"1e999", 40}, {"abc", 40}, {"", 40},    {"7xyz", 7},
  };
  for (const auto& c : cases) {
    shell::NumberSetting setting = shell::make_number("Test", 40, 1, 0, 100);
    shell::set_number_text(setting, c.text);
    EXPECT_EQ(setting.value, c.value) << c.text;
  }
}

TEST(Bindings, FormatAndParseRoundTrip) {
  struct Case {
    const char* text;
    const char* formatted;
  } cases[] = {
      {"x", "(k)x"},
      {"(k)right ctrl", "(k)right ctrl"},
      {"(-0.0625,-0.9375)Joystick1.axis[1]", "(-0.062500,-0.937500)Joystick1.axis[1]"},
      {"(1, 2)mouse-x", "(1.000000,2.000000)mouse-x"},
      {"(1;2)mouse-x", "(k)(1;2)mouse-x"},  // not an axis range: a (strange) key name
      {"(nan,1)Joystick1.axis[0]", "(k)"},  // a range that is not finite: refused, unbound
      {"(inf,0)Joystick1.axis[0]", "(k)"},
      {"(0,-inf)Joystick1.axis[0]", "(k)"},
  };
  for (const Case& c : cases) {
    shell::Binding binding;
    shell::parse_binding(c.text, binding);
    EXPECT_EQ(shell::format_binding(binding), c.formatted) << c.text;
    shell::Binding again;
    shell::parse_binding(shell::format_binding(binding).c_str(), again);
    EXPECT_EQ(again.key, binding.key);
    EXPECT_EQ(again.axis, binding.axis);
  }
}
