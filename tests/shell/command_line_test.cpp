// command_line_test.cpp -- the option table: values, clamping, errors, files and "--".
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "shell/settings.h"
#include "shell/startup.h"

using shell::ParseResult;
using shell::Settings;
using shell::StartupState;

namespace {

struct Parsed {
  ParseResult result;
  StartupState state;
  Settings settings;
};

Parsed parse(const std::vector<std::string>& args) {
  Parsed p;
  p.result = shell::parse_command_line(args, p.state, p.settings);
  return p;
}

}  // namespace

TEST(CommandLine, ValuesAreParsedAndClamped) {
  struct Case {
    std::vector<std::string> args;
    std::function<void(const Parsed&)> check;
  } cases[] = {
      {{"--texture-detail", "9"},
       [](const Parsed& p) {
         EXPECT_EQ(p.state.model_texture_detail, 4);
         EXPECT_EQ(p.state.terrain_texture_detail, 4);
       }},
      {{"--texture-detail", "-3"},
       [](const Parsed& p) { EXPECT_EQ(p.state.model_texture_detail, 0); }},
      {{"--ground-texture-detail=2"},
       [](const Parsed& p) {
         EXPECT_EQ(p.state.terrain_texture_detail, 2);
         EXPECT_EQ(p.state.model_texture_detail, 1);  // untouched
       }},
      {{"--texture-detail", "3xyz"},
       [](const Parsed& p) { EXPECT_EQ(p.state.model_texture_detail, 3); }},
      {{"--fake-lag", "2500"}, [](const Parsed& p) { EXPECT_DOUBLE_EQ(p.state.fake_lag, 1.0); }},
      {{"--fake-lag", "50"}, [](const Parsed& p) { EXPECT_DOUBLE_EQ(p.state.fake_lag, 0.05); }},
      {{"--fake-lag=-20"}, [](const Parsed& p) { EXPECT_DOUBLE_EQ(p.state.fake_lag, 0.0); }},
      {{"--fake-loss", "250"}, [](const Parsed& p) { EXPECT_EQ(p.state.fake_loss, 100); }},
      {{"--erode", "150"}, [](const Parsed& p) { EXPECT_DOUBLE_EQ(p.state.erosion_rate, 100.0); }},
      {{"--erode", "2.5"}, [](const Parsed& p) { EXPECT_DOUBLE_EQ(p.state.erosion_rate, 2.5); }},
      {{"--lod-scale", "0"},
       [](const Parsed& p) { EXPECT_DOUBLE_EQ(p.state.lod_scale, 0.000001); }},
      {{"--lod-scale", "1e9"},
       [](const Parsed& p) { EXPECT_DOUBLE_EQ(p.state.lod_scale, 1000000.0); }},
      {{"--roostfrequency", "5000"},
       [](const Parsed& p) { EXPECT_EQ(p.state.roost_frequency, 1000); }},
      {{"--lock-fps", "30"}, [](const Parsed& p) { EXPECT_DOUBLE_EQ(p.state.lock_fps, 30.0); }},
      {{"--chase-center", "1,-2.5,3"},
       [](const Parsed& p) {
         EXPECT_FLOAT_EQ(p.state.chase_center[0], 1.0f);
         EXPECT_FLOAT_EQ(p.state.chase_center[1], -2.5f);
         EXPECT_FLOAT_EQ(p.state.chase_center[2], 3.0f);
       }},
      {{"--width", "800", "--height=600"},
       [](const Parsed& p) {
         EXPECT_EQ(p.settings.xres, 800);
         EXPECT_EQ(p.settings.yres, 600);
       }},
      {{"--width", "wide"}, [](const Parsed& p) { EXPECT_EQ(p.settings.xres, 640); }},  // no check
      {{"--depth", "abc", "--zdepth", "24"},
       [](const Parsed& p) {
         EXPECT_EQ(p.state.colour_depth, 0);  // plain conversion: non-numbers give 0
         EXPECT_EQ(p.state.depth_buffer_depth, 24);
       }},
      {{"--draw-fps", "1", "--draw-time=1", "--draw-ping", "0", "--draw-render-stats", "2"},
       [](const Parsed& p) {
         EXPECT_EQ(p.settings.draw_fps, 1);
         EXPECT_EQ(p.settings.draw_time, 1);
         EXPECT_EQ(p.settings.draw_ping, 0);
         EXPECT_EQ(p.state.draw_render_stats, 2);
       }},
      {{"--rotate-lineup", "x"}, [](const Parsed& p) { EXPECT_EQ(p.state.lineup_rotation, 0); }},
      {{"--rotate-lineup", "7"}, [](const Parsed& p) { EXPECT_EQ(p.state.lineup_rotation, 7); }},
      {{"--texture-detail", "99999999999999999999"},
       [](const Parsed& p) { EXPECT_EQ(p.state.model_texture_detail, 4); }},  // no overflow
      {{"--debug", "--practice", "--warp", "--learn", "--nolearn", "--hidden-hud",
        "--hidden-pause"},
       [](const Parsed& p) {
         EXPECT_EQ(p.state.debug_level, 1);
         EXPECT_TRUE(p.state.practice);
         EXPECT_TRUE(p.state.warp);
         EXPECT_FALSE(p.state.learn_lines);  // the later switch wins
         EXPECT_FALSE(p.state.show_hud);
         EXPECT_FALSE(p.state.show_pause_text);
       }},
      {{"--super-debug"}, [](const Parsed& p) { EXPECT_EQ(p.state.debug_level, 2); }},
      {{"--record-audio", "out.raw", "--record-video", "--nosound"},
       [](const Parsed& p) {
         EXPECT_EQ(p.state.record_audio_file, "out.raw");
         EXPECT_TRUE(p.state.record_video);
         EXPECT_TRUE(p.state.sound_disabled);
       }},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.args);
    SCOPED_TRACE(c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : ""));
    EXPECT_FALSE(p.result.stop) << p.result.error_text;
    c.check(p);
  }
}

TEST(CommandLine, TrackJoinedOrSeparateSelectsTheSame) {
  EXPECT_EQ(parse({"--track=rabbithill"}).state.start_track, "rabbithill");
  EXPECT_EQ(parse({"--track", "rabbithill"}).state.start_track, "rabbithill");
  // "=" binds to the value: a value may itself hold "=".
  EXPECT_EQ(parse({"--password=a=b"}).state.server_password, "a=b");
}

TEST(CommandLine, ServerAddressDropsTheStartTrack) {
  const Parsed p = parse({"--track", "rabbithill", "--connect", "korvex:10.0.0.7:19800"});
  EXPECT_EQ(p.state.server_address, "10.0.0.7:19800");
  EXPECT_EQ(p.state.start_track, "");
  EXPECT_EQ(parse({"--connect=host"}).state.server_address, "host");
}

TEST(CommandLine, ErrorsStopWithTheirMessages) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* text;
  } cases[] = {
      {{"--bogus"}, 1, "bad option '--bogus'\n"},
      {{"-x"}, 1, "bad option '-x'\n"},
      {{"--track-x"}, 1, "bad option '--track-x'\n"},  // not "--track" plus a value
      {{"a.kvdemo", "b.kvdemo"}, 1, "Too many files!\n"},
      {{"--texture-detail", "x"}, 1, "Bad arg for --texture-detail\n"},
      {{"--texture-detail="}, 1, "Bad arg for --texture-detail\n"},
      {{"--erode", "lots"}, 1, "Bad arg for --erode\n"},
      {{"--lock-fps", "nan"}, 1, "Bad arg for --lock-fps\n"},
      {{"--detail", "inf"}, 1, "Bad arg for --detail\n"},
      {{"--chase-center", "1,2"}, 1, "Bad arg for --chase-center\n"},
      {{"--chase-center", "1;2;3"}, 1, "Bad arg for --chase-center\n"},
      {{"--debug", "--fake-lag"}, 1, "Bad arg for --fake-lag\n"},  // value missing
      {{"--open-home", "--bogus"}, 0, ""},                         // returns at once
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.args);
    EXPECT_TRUE(p.result.stop) << c.args.front();
    EXPECT_EQ(p.result.status, c.status) << c.args.front();
    EXPECT_EQ(p.result.error_text, c.text) << c.args.front();
  }
  EXPECT_TRUE(parse({"--open-home"}).result.open_home);
}

TEST(CommandLine, EveryOptionWithAValueReportsItMissing) {
  for (const char* option : {"--texture-detail",
                             "--ground-texture-detail",
                             "--roostfrequency",
                             "--erode",
                             "--detail",
                             "--max-detail-distance",
                             "--lod-scale",
                             "--lod-bias",
                             "--lock-fps",
                             "--fake-lag",
                             "--fake-loss",
                             "--record-audio",
                             "--rotate-lineup",
                             "--width",
                             "--height",
                             "--depth",
                             "--zdepth",
                             "--draw-fps",
                             "--draw-time",
                             "--draw-ping",
                             "--draw-render-stats",
                             "--track",
                             "--connect",
                             "--password",
                             "--chase-center"}) {
    const Parsed p = parse({option});
    EXPECT_TRUE(p.result.stop) << option;
    EXPECT_EQ(p.result.status, 1) << option;
    EXPECT_EQ(p.result.error_text, std::string("Bad arg for ") + option + "\n");
  }
}

TEST(CommandLine, BikesIsANoticeAndStartUpGoesOn) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--bikes", "3"}, {"--bikes=12"}, {"--bikes"}}) {
    const Parsed p = parse(args);
    EXPECT_FALSE(p.result.stop);
    EXPECT_EQ(p.result.error_text, "--bikes doesn't do anything anymore\n");
    EXPECT_EQ(p.state.playback_file, "");  // its value is not a playback file
  }
}

TEST(CommandLine, FilesAndTheEndOfOptions) {
  EXPECT_EQ(parse({"race.kvdemo"}).state.playback_file, "race.kvdemo");
  const Parsed after_end = parse({"--debug", "--", "-dash.kvdemo"});
  EXPECT_FALSE(after_end.result.stop);
  EXPECT_EQ(after_end.state.playback_file, "-dash.kvdemo");
  // After "--" options are files too.
  const Parsed two = parse({"--", "--debug", "x.kvdemo"});
  EXPECT_EQ(two.result.error_text, "Too many files!\n");
  EXPECT_EQ(two.state.debug_level, 0);
}

TEST(CommandLine, NoArgumentEverCrashesTheParser) {
  // Random arguments built from the pieces options are made of; the fuzz
  // target goes further, this keeps a quick check in every build.
  const std::vector<std::string> pieces = {"--",
                                           "-",
                                           "=",
                                           "--track",
                                           "--chase-center",
                                           ",",
                                           "1e308",
                                           "-1e308",
                                           "nan",
                                           "0x10",
                                           "--fake-lag",
                                           "--erode=",
                                           "--bikes",
                                           "korvex:",
                                           "\xff",
                                           std::string(1, '\0'),
                                           std::string(5000, '9'),
                                           "--texture-detail",
                                           "%s%n",
                                           "--open-home"};
  std::mt19937 random(2026);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::string> args(random() % 6);
    for (std::string& arg : args) {
      for (int n = static_cast<int>(random() % 3) + 1; n > 0; --n)
        arg += pieces[random() % pieces.size()];
    }
    const Parsed p = parse(args);
    if (p.result.stop && p.result.status != 0) {
      EXPECT_FALSE(p.result.error_text.empty());
    }
    EXPECT_GE(p.state.fake_lag, 0.0);
    EXPECT_LE(p.state.fake_lag, 1.0);
  }
  const Parsed huge = parse({std::string(1 << 20, '-')});
  EXPECT_EQ(huge.result.status, 1);
}
